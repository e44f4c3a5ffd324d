// Posting-list operations (see postings.h).
#include "searcher/postings.h"

#include <algorithm>

namespace qm {
namespace {

// (document, paragraph) order only.
int paragraph_compare(const PostingEntry& a, const PostingEntry& b) {
  if (a.document != b.document) return a.document < b.document ? -1 : 1;
  if (a.paragraph != b.paragraph) return a.paragraph < b.paragraph ? -1 : 1;
  return 0;
}

uint64_t paragraph_of(uint64_t key) { return key >> 16; }
int position_of(uint64_t key) { return int(key & 0xFFFF); }

// The first index after from (which is before the key) whose key is key or more:
// galloping, then a binary search; l.size() when there is none.
size_t gallop_on(const PostingSpan& l, size_t from, uint64_t key) {
  size_t lo = from, step = 1, hi = lo + 1;
  while (hi < l.size() && l.key(hi) < key) {
    lo = hi;
    step *= 2;
    hi = lo + step;
  }
  if (hi > l.size()) hi = l.size();
  // l[lo] is before the key; l[hi] (when there is one) is not.
  while (hi - lo > 1) {
    const size_t mid = lo + (hi - lo) / 2;
    if (l.key(mid) < key) lo = mid; else hi = mid;
  }
  return hi;
}

// The first index at or after from whose key is key or more; l.size() when there is none.
inline size_t gallop(const PostingSpan& l, size_t from, uint64_t key) {
  if (from >= l.size() || l.key(from) >= key) return from;
  return gallop_on(l, from, key);
}

// A cursor over one list. With a restricting list it only shows the entries whose
// (document, paragraph) occurs in that list: what postings_restrict_to_shortest leaves,
// without copying anything.
struct ListCursor {
  PostingSpan list;
  const PostingSpan* restrict = nullptr;
  size_t index = 0;
  size_t filter = 0;  // where it stands in the restricting list
  uint64_t key = 0;   // of the current entry

  // Puts the cursor on its first shown entry at or after index; false when there is none.
  bool settle() {
    for (;;) {
      if (index >= list.size()) return false;
      key = list.key(index);
      if (restrict == nullptr) return true;
      filter = gallop(*restrict, filter, key & ~uint64_t(0xFFFF));
      if (filter >= restrict->size()) return false;
      const uint64_t paragraph = paragraph_of(restrict->key(filter));
      if (paragraph == paragraph_of(key)) return true;
      index = gallop(list, index, paragraph << 16);
    }
  }
  bool advance() {
    ++index;
    return settle();
  }
  // To the first shown entry whose key is key or more.
  bool seek(uint64_t to) {
    index = gallop(list, index, to);
    return settle();
  }
  PostingEntry current() const { return list.entry(index); }
};

// Cursors over the character lists of one join. The key of each list's current entry is
// kept at hand, since the join compares current entries at every step. With a restricting
// list r, every other list only shows its entries whose (document, paragraph) occurs in
// list r.
class JoinCursors {
 public:
  static constexpr size_t kNone = size_t(-1);

  explicit JoinCursors(const std::vector<PostingSpan>& lists, size_t restrict_to = kNone)
      : cursors_(lists.size()), active_(lists.size(), 1) {
    active_count_ = lists.size();
    for (size_t i = 0; i < lists.size(); ++i) {
      cursors_[i].list = lists[i];
      if (restrict_to != kNone && i != restrict_to) cursors_[i].restrict = &lists[restrict_to];
      if (!cursors_[i].settle()) leave(i);
    }
    // The same character twice in the word: the lists start with equal entries.
    for (size_t i = 0; i < lists.size() && !duplicates_; ++i)
      for (size_t j = i + 1; j < lists.size(); ++j)
        if (active_[i] && active_[j] && key(i) == key(j)) duplicates_ = true;
  }

  size_t size() const { return cursors_.size(); }
  bool duplicates() const { return duplicates_; }
  bool active(size_t i) const { return active_[i]; }
  size_t active_count() const { return active_count_; }
  PostingEntry current(size_t i) const { return cursors_[i].current(); }
  uint64_t key(size_t i) const { return cursors_[i].key; }  // of the current entry

  // Moves list i on; false when it ran out (it then leaves the join).
  bool advance(size_t i) { return cursors_[i].advance() || leave(i); }

  // Moves list i on to its first entry whose key is key or more; false when it ran out
  // (it then leaves the join).
  bool seek(size_t i, uint64_t key) { return cursors_[i].seek(key) || leave(i); }

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
          if (active_[j] && key(i) == key(j)) {
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
      if (best == size() || key(i) < key(best) || (last_on_ties && key(i) == key(best))) best = i;
    }
    return best;
  }

 private:
  bool leave(size_t i) {
    if (active_[i]) {
      active_[i] = false;
      --active_count_;
    }
    return false;
  }

  std::vector<ListCursor> cursors_;
  std::vector<char> active_;  // still in the join
  size_t active_count_ = 0;
  bool duplicates_ = false;
};

void join_exact(const std::vector<PostingSpan>& lists, size_t restrict_to, PostingList& out) {
  const size_t n = lists.size();
  JoinCursors c(lists, restrict_to);
  if (c.active_count() < n) return;
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
      continue;
    }
    const size_t s = c.smallest(true);
    // The smallest list moves on one entry at a time for as long as it stays below all
    // the others and does not complete a hit with them where they stand (a hit needs it
    // at one key, given by any other list). Do that in one go. (Not with duplicate
    // checking on, which moves other lists in between.)
    uint64_t target = 0;
    if (!c.duplicates()) {
      target = ~uint64_t(0);
      for (size_t j = 0; j < n; ++j)
        if (j != s) target = std::min(target, c.key(j));
      const size_t j = s == 0 ? 1 : 0;
      const int position = position_of(c.key(j)) + 2 * (int(s) - int(j));
      if (position >= 0 && position <= 0xFFFF)
        target = std::min(target, paragraph_of(c.key(j)) << 16 | uint64_t(position));
    }
    if (!c.advance(s)) break;
    if (c.key(s) < target && !c.seek(s, target)) break;
  }
}

// The first index after from whose key is key or more, and that key (not read when the
// index is l.size()). A few entries are stepped through one by one (lists of like size
// mostly move a step or two), then gallop_on takes the rest.
inline size_t step_on(const PostingSpan& l, size_t from, uint64_t key, uint64_t& found) {
  const size_t near = std::min(l.size(), from + 9);
  for (size_t i = from + 1; i < near; ++i) {
    found = l.key(i);
    if (found >= key) return i;
  }
  if (near == l.size()) return near;
  const size_t i = gallop_on(l, near - 1, key);
  if (i < l.size()) found = l.key(i);
  return i;
}

// join_exact_pair without a restricting list: the same steps, with the two current
// entries in registers. A hit is tested on the stored form (document, paragraph and
// position 2 further on: the second entry is the first plus 2 in its position field),
// so the entries of a run of hits are never reordered into keys; a hit is copied as
// stored (the bytes of a PostingEntry).
void join_pair_unrestricted(const PostingSpan& a, const PostingSpan& b, PostingList& out) {
  constexpr uint64_t kNextPosition = uint64_t(2) << 48;
  constexpr uint64_t kLastPosition = 0xFFFD;
  auto stored = [](const PostingSpan& l, size_t i) {
    uint64_t v;
    std::memcpy(&v, l.data + i * 8, 8);
    return v;
  };
  const size_t na = a.size(), nb = b.size();
  size_t i = 0, j = 0;
  uint64_t ra = stored(a, 0), rb = stored(b, 0);
  for (;;) {
    if (rb == ra + kNextPosition && (ra >> 48) <= kLastPosition) {
      std::memcpy(static_cast<void*>(&out.emplace_back()), &ra, 8);
      if (++i >= na || ++j >= nb) return;
      ra = stored(a, i);
      rb = stored(b, j);
      continue;
    }
    uint64_t ka = a.key(i), kb = b.key(j);
    if (ka < kb) {
      const uint64_t target = position_of(kb) >= 2 ? kb - 2 : kb;
      i = step_on(a, i, target, ka);
      if (i >= na) return;
      ra = stored(a, i);
    } else {
      j = step_on(b, j, ka, kb);
      if (j >= nb) return;
      rb = stored(b, j);
    }
  }
}

// The exact join of two lists as join_exact does it, with the cursors at hand; false
// when the lists start with equal entries (duplicate checking: join_exact's business).
bool join_exact_pair(const std::vector<PostingSpan>& lists, size_t restrict_to, PostingList& out) {
  if (restrict_to == JoinCursors::kNone) {
    if (lists[0].empty() || lists[1].empty()) return true;
    if (lists[0].key(0) == lists[1].key(0)) return false;
    join_pair_unrestricted(lists[0], lists[1], out);
    return true;
  }
  ListCursor a{lists[0]}, b{lists[1]};
  if (restrict_to == 0) b.restrict = &lists[0];
  if (restrict_to == 1) a.restrict = &lists[1];
  if (!a.settle() || !b.settle()) return true;
  if (a.key == b.key) return false;
  for (;;) {
    if (b.key == a.key + 2 && position_of(a.key) <= 0xFFFD) {
      out.push_back(a.current());
      const bool more = a.advance();
      if (!b.advance() || !more) return true;
    } else if (a.key < b.key) {
      // The first list moves on up to where the second would complete a hit, or past it.
      const uint64_t target = position_of(b.key) >= 2 ? b.key - 2 : b.key;
      ++a.index;
      if (!a.seek(target)) return true;
    } else {
      // The second list (the last of equal ones) moves on up to the first list's entry.
      ++b.index;
      if (!b.seek(a.key)) return true;
    }
  }
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

void join_tolerant(const std::vector<PostingSpan>& lists, PostingList& out) {
  const size_t n = lists.size();
  const size_t needed = n - size_t(character_tolerance(n));
  const int span = int(4 * n) - 2;
  JoinCursors c(lists);
  if (needed == 0 || c.active_count() < needed) return;
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
}

}  // namespace

int character_tolerance(size_t n) { return n < kCharacterTolerance.size() ? kCharacterTolerance[n] : 3; }

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

namespace {

// Reads a whole decimal number at k[i]; false when no digit stands there. Values are
// capped so that an overlong number stays out of range instead of wrapping.
bool read_number(std::string_view k, size_t& i, uint32_t& value) {
  size_t start = i;
  uint64_t v = 0;
  while (i < k.size() && k[i] >= '0' && k[i] <= '9') {
    if (v < 1000000) v = v * 10 + uint64_t(k[i] - '0');
    ++i;
  }
  value = uint32_t(v);
  return i > start;
}

bool in_range(uint32_t v) { return v >= 1 && v <= 65535; }

}  // namespace

ParagraphFilter::ParagraphFilter(std::string_view k) : active_(!k.empty()), marks_(65536, false) {
  size_t i = 0;
  while (i < k.size()) {
    while (i < k.size() && k[i] == ',') ++i;
    if (i >= k.size()) break;
    uint32_t a = 0;
    if (read_number(k, i, a)) {
      if (i < k.size() && k[i] == '~') {
        ++i;
        uint32_t b = 0;
        if (!read_number(k, i, b)) {
          if (in_range(a)) open_start_ = a - 1;
        } else if (in_range(a) && in_range(b) && b - 1 <= open_start_ && a - 1 < b) {
          for (uint32_t p = a - 1; p <= b - 1; ++p) marks_[p] = true;
        }
      } else if (in_range(a)) {
        marks_[a - 1] = true;
      }
    }
    // Anything else up to the next comma is not part of an item.
    while (i < k.size() && k[i] != ',') ++i;
  }
}

size_t postings_filter_paragraphs(PostingList& list, const ParagraphFilter& filter) {
  if (!filter.active()) return list.size();
  std::erase_if(list, [&](const PostingEntry& e) { return !filter.passes(e.paragraph); });
  return list.size();
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
  std::vector<PostingSpan> spans;
  spans.reserve(lists.size());
  for (const PostingList& l : lists) spans.push_back(PostingSpan::of(l));
  PostingList out;
  if (fault_tolerant) {
    join_tolerant(spans, out);
  } else if (!spans.empty()) {
    join_exact(spans, JoinCursors::kNone, out);
  }
  return out;
}

void postings_join_spans(const std::vector<PostingSpan>& lists, bool fault_tolerant, PostingList& out) {
  if (lists.empty()) return;
  if (fault_tolerant) {
    join_tolerant(lists, out);
    return;
  }
  // The shortest list (the first on ties) restricts the others, when it is much shorter
  // than the longest: between lists of like size, looking each entry up in it costs more
  // than stepping through them side by side (a quarter fewer instructions for frequent
  // words).
  size_t s = 0;
  for (size_t i = 1; i < lists.size(); ++i)
    if (lists[i].size() < lists[s].size()) s = i;
  size_t longest = 0;
  for (const PostingSpan& l : lists) longest = std::max(longest, l.size());
  const size_t restrict_to = lists.size() < 2 || longest < 4 * lists[s].size() ? JoinCursors::kNone : s;
  if (lists.size() == 2 && join_exact_pair(lists, restrict_to, out)) return;
  join_exact(lists, restrict_to, out);
}

namespace {

// Index of the first entry whose document is at least document.
size_t first_of_document(PostingSpan list, uint64_t document) {
  if (document > UINT32_MAX) return list.size();
  const uint64_t first = document << 32;
  size_t low = 0, high = list.size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    if (list.key(mid) < first) low = mid + 1; else high = mid;
  }
  return low;
}

}  // namespace

size_t postings_document_end(PostingSpan list, size_t from) {
  const uint64_t key = list.key(from);
  if (key >> 32 == UINT32_MAX) return list.size();
  return gallop_on(list, from, (key | 0xFFFFFFFFu) + 1);
}

PostingSpan postings_within(PostingSpan list, DocumentRange range) {
  if (range.whole() || list.empty()) return list;
  const size_t begin = first_of_document(list, range.first);
  const size_t end = std::max(begin, first_of_document(list, range.end));
  return PostingSpan{list.data + begin * 8, end - begin};
}

void postings_append_documents(PostingSpan list, const DocumentSet& documents, PostingList& out) {
  size_t at = 0;
  for (const uint32_t document : documents) {
    const uint64_t first = uint64_t(document) << 32;
    // Gallop to the first entry of the document, then search the last step.
    size_t step = 1, low = at;
    while (low + step < list.size() && list.key(low + step) < first) {
      low += step;
      step *= 2;
    }
    size_t high = std::min(low + step, list.size());
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      if (list.key(mid) < first) low = mid + 1; else high = mid;
    }
    at = low;
    if (at == list.size()) return;
    for (; at < list.size() && list.key(at) >> 32 == document; ++at) out.push_back(list.entry(at));
  }
}

}  // namespace qm
