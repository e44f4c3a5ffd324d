// The character joins and the word search as they were before they read the posting
// lists in place: decoded vectors, reduction to the shortest list, cursors that move one
// entry at a time (the fault-tolerant join with its skip-ahead). Kept in the tests as the
// reference the in-place joins must agree with, hit for hit. Built on postings.h (types,
// the tolerance table and the paragraph filter) and the index reader.
#include "searcher/tests/reference_join.h"

#include <algorithm>
#include <new>

#include "common/strings.h"
#include "index/index_format.h"
#include "searcher/english_match.h"

namespace qm::reference {
namespace {

// (document, paragraph) order only.
int paragraph_compare(const PostingEntry& a, const PostingEntry& b) {
  if (a.document != b.document) return a.document < b.document ? -1 : 1;
  if (a.paragraph != b.paragraph) return a.paragraph < b.paragraph ? -1 : 1;
  return 0;
}

// An entry as one number that orders like posting_compare: document, paragraph,
// position. Shifted right by 16 it is the (document, paragraph) key alone.
uint64_t entry_key(const PostingEntry& e) {
  return uint64_t(e.document) << 32 | uint64_t(e.paragraph) << 16 | e.position;
}
uint64_t paragraph_of(uint64_t key) { return key >> 16; }
int position_of(uint64_t key) { return int(key & 0xFFFF); }

// Cursors over the character lists of one join. The key of each list's current entry is
// kept at hand, since the join compares current entries at every step.
class JoinCursors {
 public:
  explicit JoinCursors(const std::vector<PostingList>& lists)
      : lists_(lists), index_(lists.size(), 0), key_(lists.size(), 0), active_(lists.size()) {
    for (size_t i = 0; i < lists.size(); ++i) {
      if (lists[i].empty()) continue;
      active_[i] = 1;
      key_[i] = entry_key(lists[i][0]);
      ++active_count_;
    }
    // The same character twice in the word: the lists start with equal entries.
    for (size_t i = 0; i < lists.size() && !duplicates_; ++i)
      for (size_t j = i + 1; j < lists.size(); ++j)
        if (active_[i] && active_[j] && key_[i] == key_[j]) duplicates_ = true;
  }

  size_t size() const { return lists_.size(); }
  bool duplicates() const { return duplicates_; }
  bool active(size_t i) const { return active_[i]; }
  size_t active_count() const { return active_count_; }
  const PostingEntry& current(size_t i) const { return lists_[i][index_[i]]; }
  uint64_t key(size_t i) const { return key_[i]; }  // of the current entry

  // Moves list i on; false when it ran out (it then leaves the join).
  bool advance(size_t i) {
    if (++index_[i] < lists_[i].size()) {
      key_[i] = entry_key(lists_[i][index_[i]]);
      return true;
    }
    return leave(i);
  }

  // Moves list i on to its first entry whose key is key or more (galloping, then a binary
  // search); false when it ran out (it then leaves the join).
  bool seek(size_t i, uint64_t key) {
    const PostingList& l = lists_[i];
    auto before = [key](const PostingEntry& e) { return entry_key(e) < key; };
    size_t lo = index_[i], step = 1, hi = lo + 1;
    while (hi < l.size() && before(l[hi])) {
      lo = hi;
      step *= 2;
      hi = lo + step;
    }
    if (hi > l.size()) hi = l.size();
    // l[lo] is before the key; l[hi] (when there is one) is not.
    index_[i] = size_t(std::partition_point(l.begin() + long(lo), l.begin() + long(hi), before) - l.begin());
    if (index_[i] < l.size()) {
      key_[i] = entry_key(l[index_[i]]);
      return true;
    }
    return leave(i);
  }

  // With duplicate checking on: a later list whose current entry equals an earlier one's
  // moves on, until no two are equal. False when a list ran out and fewer than needed
  // lists remain.
  bool skip_duplicates(size_t needed) {
    if (!duplicates_) return true;
    bool again = true;
    while (again) {
      again = false;
      for (size_t i = 0; i < size() && !again; ++i) {
        if (!active_[i]) continue;
        for (size_t j = i + 1; j < size(); ++j) {
          if (active_[j] && key_[i] == key_[j]) {
            advance(j);
            if (active_count_ < needed) return false;
            again = true;
            break;
          }
        }
      }
    }
    return true;
  }

  // The active list with the smallest current entry: the last of equal ones, or the
  // first of them.
  size_t smallest(bool last_on_ties) const {
    size_t best = size();
    for (size_t i = 0; i < size(); ++i) {
      if (!active_[i]) continue;
      if (best == size() || key_[i] < key_[best] || (last_on_ties && key_[i] == key_[best])) best = i;
    }
    return best;
  }

 private:
  bool leave(size_t i) {
    active_[i] = false;
    --active_count_;
    return false;
  }

  const std::vector<PostingList>& lists_;
  std::vector<size_t> index_;
  std::vector<uint64_t> key_;
  std::vector<char> active_;  // still in the join
  size_t active_count_ = 0;
  bool duplicates_ = false;
};

PostingList join_exact(const std::vector<PostingList>& lists) {
  PostingList out;
  for (const auto& l : lists)
    if (l.empty()) return out;
  const size_t n = lists.size();
  JoinCursors c(lists);
  for (;;) {
    if (!c.skip_duplicates(n)) break;
    bool match = true;
    for (size_t i = 1; i < n && match; ++i)
      match = paragraph_of(c.key(i)) == paragraph_of(c.key(0)) &&
              position_of(c.key(i)) == position_of(c.key(i - 1)) + 2;
    if (match) {
      out.push_back(c.current(0));
      bool all = true;
      for (size_t i = 0; i < n; ++i) all = c.advance(i) && all;
      if (!all) break;
    } else if (!c.advance(c.smallest(true))) {
      break;
    }
  }
  return out;
}

// Depth-first search for a chain of group members in list order with strictly increasing
// positions and a span of at most span bytes; true with chain holding needed members.
bool find_chain(const JoinCursors& c, const std::vector<size_t>& group, size_t from, size_t needed,
                int span, std::vector<size_t>& chain) {
  if (chain.size() >= needed) return true;
  const int first = position_of(c.key(chain.front()));
  const int last = position_of(c.key(chain.back()));
  for (size_t k = from; k < group.size(); ++k) {
    const int p = position_of(c.key(group[k]));
    if (p <= last || p - first > span) continue;
    chain.push_back(group[k]);
    if (find_chain(c, group, k + 1, needed, span, chain)) return true;
    chain.pop_back();
  }
  return false;
}

// The needed-th smallest of the values (needed >= 1, values.size() >= needed).
uint64_t nth_smallest(std::vector<uint64_t>& values, size_t needed) {
  std::nth_element(values.begin(), values.begin() + long(needed - 1), values.end());
  return values[needed - 1];
}

// Moves every list whose current entry lies before the first place where a fault-tolerant
// hit can start to its first entry at or after that place (see join_tolerant); true when
// anything moved. m is the list with the smallest current entry.
bool skip_ahead(JoinCursors& c, size_t m, size_t needed, int span, std::vector<uint64_t>& values) {
  const uint64_t smallest = c.key(m);
  // Counts the lists in the join whose current entry lies in [smallest, last].
  auto count_up_to = [&](uint64_t last) {
    size_t k = 0;
    for (size_t i = 0; i < c.size(); ++i) k += c.active(i) && c.key(i) <= last ? 1 : 0;
    return k;
  };
  uint64_t target;
  if (count_up_to(smallest | 0xFFFF) < needed) {
    // Too few lists in the first paragraph: on to the needed-th smallest one.
    values.clear();
    for (size_t i = 0; i < c.size(); ++i)
      if (c.active(i)) values.push_back(paragraph_of(c.key(i)));
    target = nth_smallest(values, needed) << 16;
  } else if (position_of(smallest) + span < 0xFFFF && count_up_to(smallest + uint64_t(span)) < needed) {
    // Too few lists within span bytes: on to span bytes before the needed-th smallest
    // position of the paragraph.
    values.clear();
    for (size_t i = 0; i < c.size(); ++i)
      if (c.active(i) && paragraph_of(c.key(i)) == paragraph_of(smallest)) values.push_back(c.key(i));
    target = nth_smallest(values, needed) - uint64_t(span);
  } else {
    return false;
  }
  for (size_t i = 0; i < c.size(); ++i)
    if (c.active(i) && c.key(i) < target) c.seek(i, target);
  return true;
}

PostingList join_tolerant(const std::vector<PostingList>& lists) {
  PostingList out;
  const size_t n = lists.size();
  const size_t needed = n - size_t(character_tolerance(n));
  const int span = int(4 * n) - 2;
  JoinCursors c(lists);
  if (needed == 0 || c.active_count() < needed) return out;
  std::vector<size_t> group;
  std::vector<size_t> chain;
  std::vector<uint64_t> scratch;
  for (;;) {
    if (!c.skip_duplicates(needed)) break;
    // Skipping ahead where no hit can be. A hit needs needed lists standing at once in one
    // paragraph within span bytes, and cursors never go back. So no hit starts before
    // the needed-th smallest current paragraph, nor, in that paragraph, more than span
    // bytes before the needed-th smallest current position: the steps below would only
    // move the lists standing there on, one entry at a time, to their first entry at or
    // beyond that point. Do that in one go. (Not with duplicate checking on, whose skips
    // depend on the order of those steps.)
    const size_t m = c.smallest(false);
    if (!c.duplicates() && skip_ahead(c, m, needed, span, scratch)) {
      if (c.active_count() < needed) break;
      continue;
    }
    // The first group of at least needed lists standing in one paragraph.
    group.clear();
    size_t remaining = c.active_count();
    for (size_t i = 0; i < n; ++i) {
      if (!c.active(i)) continue;
      if (remaining < needed) break;
      --remaining;
      group.assign(1, i);
      const uint64_t paragraph = paragraph_of(c.key(i));
      for (size_t j = i + 1; j < n; ++j)
        if (c.active(j) && paragraph_of(c.key(j)) == paragraph) group.push_back(j);
      if (group.size() >= needed) break;
      group.clear();
    }
    // It must hold the smallest entry; members before that one are dropped.
    if (!group.empty()) {
      auto it = std::find(group.begin(), group.end(), m);
      if (it == group.end()) {
        group.clear();
      } else {
        group.erase(group.begin(), it);
        if (group.size() < needed) group.clear();
      }
    }
    chain.clear();
    if (!group.empty()) {
      chain.push_back(group.front());
      if (!find_chain(c, group, 1, needed, span, chain)) chain.clear();
    }
    if (!chain.empty()) {
      out.push_back(c.current(chain.front()));
      for (size_t i : chain) c.advance(i);
    } else {
      // Move the smallest entry on. A list that runs out just leaves: the entries of the
      // others are all still tested as the start of a hit.
      c.advance(c.smallest(true));
    }
    if (c.active_count() < needed) break;
  }
  return out;
}

}  // namespace

PostingList postings_union(PostingList a, PostingList b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  PostingList out;
  out.reserve(a.size() + b.size());
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    int c = posting_compare(a[i], b[j]);
    if (c < 0) {
      out.push_back(a[i++]);
    } else if (c > 0) {
      out.push_back(b[j++]);
    } else {
      out.push_back(a[i++]);
      out.push_back(b[j++]);
    }
  }
  out.insert(out.end(), a.begin() + long(i), a.end());
  out.insert(out.end(), b.begin() + long(j), b.end());
  return out;
}

void postings_restrict_to_shortest(std::vector<PostingList>& lists) {
  if (lists.size() < 2) return;
  size_t s = 0;
  for (size_t i = 1; i < lists.size(); ++i)
    if (lists[i].size() < lists[s].size()) s = i;
  const PostingList& shortest = lists[s];
  for (size_t l = 0; l < lists.size(); ++l) {
    if (l == s) continue;
    PostingList& list = lists[l];
    size_t read = 0, kept = 0;
    for (const PostingEntry& e : shortest) {
      while (read < list.size() && paragraph_compare(list[read], e) < 0) ++read;
      while (read < list.size() && paragraph_compare(list[read], e) == 0) list[kept++] = list[read++];
      if (read >= list.size()) break;
    }
    list.resize(kept);
  }
}

PostingList postings_join_characters(const std::vector<PostingList>& lists, bool fault_tolerant) {
  if (lists.empty()) return {};
  if (fault_tolerant) return join_tolerant(lists);
  return join_exact(lists);
}

}  // namespace qm::reference

namespace qm::reference {

HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks) {
  size_t n = 0;
  while (n < word.size() && n < kChineseWordCharacters && !word[n].empty()) ++n;
  if (n == 0) return {};
  std::vector<PostingList> lists(n);
  for (size_t i = 0; i < n; ++i) {
    for (uint16_t code : word[i]) {
      auto lead = static_cast<unsigned char>(code >> 8);
      auto trail = static_cast<unsigned char>(code & 0xFF);
      if (!big5_is_pair(lead, trail)) continue;
      CharHashRecord record;
      if (!set.read_char_hash(index_format::char_slot(lead, trail), record)) return {};
      if (record.count == 0) continue;
      PostingList list;
      if (!set.append_char_postings(record.offset, record.count, list)) return {};
      lists[i] = reference::postings_union(std::move(lists[i]), std::move(list));
    }
  }
  const bool tolerant = options.flags.fault_tolerant;
  size_t empty = 0;
  for (const PostingList& l : lists) empty += l.empty() ? 1 : 0;
  if (empty > size_t(tolerant ? character_tolerance(n) : 0)) return {};
  PostingList found;
  if (n == 1) {
    found = std::move(lists[0]);
  } else {
    if (!tolerant) reference::postings_restrict_to_shortest(lists);
    found = reference::postings_join_characters(lists, tolerant);
  }
  if (!options.paragraphs.empty()) postings_filter_paragraphs(found, ParagraphFilter(options.paragraphs));
  if (n >= 2 && !tolerant && options.flags.word_boundary && hooks.word_boundary)
    hooks.word_boundary(set, n, found);
  HitList hits;
  for (const PostingEntry& e : found) {
    HitRecord h;
    h.database = database;
    h.document = e.document;
    h.paragraph = e.paragraph;
    h.position = e.position;
    h.score = 1;
    h.hit_count = 1;
    hits.push_back(h);
  }
  return hits;
}

TermHits search_database(const QueryTermTable& table, const HomophoneSlots& slots,
                         const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                         const SearchHooks& hooks) {
  TermHits hits(table.terms.size());
  const HomophoneSlots plain = slots.empty() ? homophone_slots_plain(table) : HomophoneSlots{};
  const HomophoneSlots& word_slots = slots.empty() ? plain : slots;
  IndexFileSet set;
  for (const SearchDatabase& db : databases) {
    if (!set.open(db.work_dir, db.index_type, false)) continue;
    size_t chinese = 0;
    for (size_t k = 0; k < table.terms.size(); ++k) {
      const QueryTerm& term = table.terms[k];
      if (!term.is_word() || term.text.empty()) continue;
      HitList found;
      if (term.is_chinese()) {
        if (chinese < word_slots.size()) found = reference::search_chinese_word(set, db.id, word_slots[chinese], options, hooks);
        ++chinese;
      } else if (is_alnum_ascii(static_cast<unsigned char>(term.text[0]))) {
        found = qm::search_english_word(set, db.id, term.text, options);
      }
      hits[k].insert(hits[k].end(), found.begin(), found.end());
    }
    set.close();
  }
  return hits;
}

HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const HomophoneSlots& slots) {
  QueryTermTable table = term_table_build(expression);
  TermHits lists = reference::search_database(table, slots.empty() ? homophone_slots_plain(table) : slots, databases, options, {});
  return query_evaluate(table, std::move(lists), {});
}

}  // namespace qm::reference
