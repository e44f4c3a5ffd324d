// The character joins and the word search as their rules say, apart from the in-place
// joins of postings.cpp: decoded vectors, reduction to the shortest list, and joins
// whose cursors move one entry at a time, without galloping or skipping ahead. Kept in
// the tests as the reference the in-place joins must agree with, hit for hit. Built on
// postings.h (types, the tolerance table and the paragraph filter) and the index reader.
#include "searcher/tests/reference_join.h"

#include <algorithm>
#include <functional>
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

// The exact join taken step by step as its rules say, one entry at a time: a list whose
// current entry repeats an earlier list's moves on; when every list i stands 2i bytes
// after list 0 in list 0's paragraph, that is a hit and every list moves on; otherwise
// the list with the smallest current entry (the last of equal ones) moves on. The join
// ends when a list runs out.
PostingList join_exact(const std::vector<PostingList>& lists) {
  PostingList out;
  for (const auto& l : lists)
    if (l.empty()) return out;
  const size_t n = lists.size();
  std::vector<size_t> at(n, 0);
  auto cur = [&](size_t i) { return lists[i][at[i]]; };
  auto same = [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) == 0; };
  auto step = [&](size_t i) { return ++at[i] < lists[i].size(); };
  bool duplicates = false;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) duplicates = duplicates || same(cur(i), cur(j));
  for (;;) {
    bool skipped = duplicates;
    while (skipped) {
      skipped = false;
      for (size_t i = 0; i < n && !skipped; ++i)
        for (size_t j = i + 1; j < n && !skipped; ++j)
          if (same(cur(i), cur(j))) {
            if (!step(j)) return out;
            skipped = true;
          }
    }
    bool match = true;
    for (size_t i = 1; i < n && match; ++i)
      match = paragraph_compare(cur(i), cur(0)) == 0 && cur(i).position == cur(i - 1).position + 2;
    if (match) {
      out.push_back(cur(0));
      bool all = true;
      for (size_t i = 0; i < n; ++i) all = step(i) && all;
      if (!all) return out;
      continue;
    }
    size_t smallest = 0;
    for (size_t i = 1; i < n; ++i)
      if (posting_compare(cur(i), cur(smallest)) <= 0) smallest = i;
    if (!step(smallest)) return out;
  }
}

// The fault-tolerant join taken step by step as its rules say, one entry at a time: the
// reference for the join, which skips ahead where no hit can be.
PostingList join_tolerant(const std::vector<PostingList>& lists) {
  const size_t n = lists.size();
  const size_t needed = n - size_t(character_tolerance(n));
  const int span = int(4 * n) - 2;
  std::vector<size_t> at(n, 0);
  std::vector<bool> in(n);
  size_t alive = 0;
  for (size_t i = 0; i < n; ++i) alive += (in[i] = !lists[i].empty()) ? 1 : 0;
  auto cur = [&](size_t i) { return lists[i][at[i]]; };
  auto same = [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) == 0; };
  auto step = [&](size_t i) {
    if (++at[i] == lists[i].size()) {
      in[i] = false;
      --alive;
    }
  };
  bool duplicates = false;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) duplicates = duplicates || (in[i] && in[j] && same(cur(i), cur(j)));
  PostingList out;
  if (needed == 0) return out;
  while (alive >= needed) {
    bool skipped = duplicates;
    while (skipped && alive >= needed) {
      skipped = false;
      for (size_t i = 0; i < n && !skipped; ++i)
        for (size_t j = i + 1; j < n && !skipped; ++j)
          if (in[i] && in[j] && same(cur(i), cur(j))) {
            step(j);
            skipped = true;
          }
    }
    if (alive < needed) break;
    std::vector<size_t> group;
    for (size_t i = 0; i < n && group.empty(); ++i) {
      if (!in[i]) continue;
      if (size_t(std::count(in.begin() + long(i), in.end(), true)) < needed) break;
      for (size_t j = i; j < n; ++j)
        if (in[j] && cur(j).document == cur(i).document && cur(j).paragraph == cur(i).paragraph) group.push_back(j);
      if (group.size() < needed) group.clear();
    }
    size_t first_smallest = n, last_smallest = n;
    for (size_t i = 0; i < n; ++i) {
      if (!in[i]) continue;
      if (first_smallest == n || posting_compare(cur(i), cur(first_smallest)) < 0) first_smallest = i;
      if (last_smallest == n || posting_compare(cur(i), cur(last_smallest)) <= 0) last_smallest = i;
    }
    auto m = std::find(group.begin(), group.end(), first_smallest);
    group.erase(group.begin(), m);
    std::vector<size_t> chain;
    std::function<bool(size_t)> extend = [&](size_t from) {
      if (chain.size() >= needed) return true;
      for (size_t k = from; k < group.size(); ++k) {
        const int p = cur(group[k]).position;
        if (p <= int(cur(chain.back()).position) || p - int(cur(chain.front()).position) > span) continue;
        chain.push_back(group[k]);
        if (extend(k + 1)) return true;
        chain.pop_back();
      }
      return false;
    };
    if (group.size() >= needed) {
      chain.push_back(group.front());
      if (!extend(1)) chain.clear();
    }
    if (!chain.empty()) {
      out.push_back(cur(chain.front()));
      for (size_t i : chain) step(i);
    } else {
      step(last_smallest);
    }
  }
  return out;
}

}  // namespace

PostingList postings_union(PostingList a, PostingList b) {
  // Equal entries are alike in every field, so the order among them does not show.
  PostingList out(a.size() + b.size());
  std::merge(a.begin(), a.end(), b.begin(), b.end(), out.begin(),
             [](const PostingEntry& x, const PostingEntry& y) { return posting_compare(x, y) < 0; });
  return out;
}

void postings_restrict_to_shortest(std::vector<PostingList>& lists) {
  if (lists.size() < 2) return;
  size_t s = 0;
  for (size_t i = 1; i < lists.size(); ++i)
    if (lists[i].size() < lists[s].size()) s = i;
  // Every other list keeps the entries whose paragraph the shortest list has.
  const PostingList shortest = lists[s];
  auto in_shortest = [&shortest](const PostingEntry& e) {
    return std::binary_search(shortest.begin(), shortest.end(), e,
                              [](const PostingEntry& a, const PostingEntry& b) { return paragraph_compare(a, b) < 0; });
  };
  for (size_t l = 0; l < lists.size(); ++l)
    if (l != s) std::erase_if(lists[l], [&](const PostingEntry& e) { return !in_shortest(e); });
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
