// Posting-list operations (see postings.h).
#include "searcher/postings.h"

#include <algorithm>

namespace qm {
namespace {

bool same_paragraph(const PostingEntry& a, const PostingEntry& b) {
  return a.document == b.document && a.paragraph == b.paragraph;
}

// (document, paragraph) order only.
int paragraph_compare(const PostingEntry& a, const PostingEntry& b) {
  if (a.document != b.document) return a.document < b.document ? -1 : 1;
  if (a.paragraph != b.paragraph) return a.paragraph < b.paragraph ? -1 : 1;
  return 0;
}

bool equal_entries(const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) == 0; }

// Cursors over the character lists of one join.
class JoinCursors {
 public:
  explicit JoinCursors(const std::vector<PostingList>& lists)
      : lists_(lists), index_(lists.size(), 0), active_(lists.size()) {
    for (size_t i = 0; i < lists.size(); ++i) active_[i] = !lists[i].empty();
    active_count_ = size_t(std::count(active_.begin(), active_.end(), true));
    // The same character twice in the word: the lists start with equal entries.
    for (size_t i = 0; i < lists.size() && !duplicates_; ++i)
      for (size_t j = i + 1; j < lists.size(); ++j)
        if (active_[i] && active_[j] && equal_entries(current(i), current(j))) duplicates_ = true;
  }

  size_t size() const { return lists_.size(); }
  bool active(size_t i) const { return active_[i]; }
  size_t active_count() const { return active_count_; }
  const PostingEntry& current(size_t i) const { return lists_[i][index_[i]]; }

  // Moves list i on; false when it ran out (it then leaves the join).
  bool advance(size_t i) {
    if (++index_[i] < lists_[i].size()) return true;
    active_[i] = false;
    --active_count_;
    return false;
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
          if (active_[j] && equal_entries(current(i), current(j))) {
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
      if (best == size()) {
        best = i;
        continue;
      }
      int c = posting_compare(current(i), current(best));
      if (c < 0 || (c == 0 && last_on_ties)) best = i;
    }
    return best;
  }

 private:
  const std::vector<PostingList>& lists_;
  std::vector<size_t> index_;
  std::vector<bool> active_;
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
      match = same_paragraph(c.current(i), c.current(0)) &&
              int(c.current(i).position) == int(c.current(i - 1).position) + 2;
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
  const int first = c.current(chain.front()).position;
  const int last = c.current(chain.back()).position;
  for (size_t k = from; k < group.size(); ++k) {
    int p = c.current(group[k]).position;
    if (p <= last || p - first > span) continue;
    chain.push_back(group[k]);
    if (find_chain(c, group, k + 1, needed, span, chain)) return true;
    chain.pop_back();
  }
  return false;
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
  for (;;) {
    if (!c.skip_duplicates(needed)) break;
    // The first group of at least needed lists standing in one paragraph.
    group.clear();
    size_t remaining = c.active_count();
    for (size_t i = 0; i < n; ++i) {
      if (!c.active(i)) continue;
      if (remaining < needed) break;
      --remaining;
      group.assign(1, i);
      for (size_t j = i + 1; j < n; ++j)
        if (c.active(j) && same_paragraph(c.current(j), c.current(i))) group.push_back(j);
      if (group.size() >= needed) break;
      group.clear();
    }
    // It must hold the smallest entry; members before that one are dropped.
    if (!group.empty()) {
      size_t m = c.smallest(false);
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

bool ParagraphFilter::passes(uint16_t paragraph) const {
  return !active_ || paragraph >= open_start_ || marks_[paragraph];
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
  if (lists.empty()) return {};
  if (fault_tolerant) return join_tolerant(lists);
  return join_exact(lists);
}

}  // namespace qm
