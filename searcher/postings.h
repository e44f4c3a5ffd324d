// Posting-list operations of the word searches: the union of alternative characters'
// lists, the paragraph filter of request value k, the reduction to the shortest list's
// (document, paragraph) pairs, and the join that finds a Chinese word from the lists of
// its characters, exactly or with missing characters tolerated. Lists are ordered by
// document, then paragraph, then position (posting_compare, common/posting.h).
// The joins work on PostingSpans: lists read in place from the mapped index file (or
// viewed over a decoded vector), moved through with galloping skips.
// Used by database_search.cpp and english_match.cpp; reads no file itself.
#pragma once
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/posting.h"

namespace qm {

using PostingList = std::vector<PostingEntry>;

// A posting list as the index stores it, read in place: entries of 8 bytes, u32 document,
// u16 paragraph, u16 position, little-endian. On a little-endian machine a PostingList
// has the same bytes, so a span can view a decoded list too.
struct PostingSpan {
  const unsigned char* data = nullptr;
  size_t count = 0;

  size_t size() const { return count; }
  bool empty() const { return count == 0; }
  // The entry as one number ordered like posting_compare: document, paragraph, position.
  uint64_t key(size_t i) const {
    uint64_t v;
    std::memcpy(&v, data + i * 8, 8);
    return v << 32 | (v >> 16 & 0xFFFF0000u) | v >> 48;
  }
  PostingEntry entry(size_t i) const {
    const uint64_t k = key(i);
    return PostingEntry{uint32_t(k >> 32), uint16_t(k >> 16), uint16_t(k)};
  }
  static PostingSpan of(const PostingList& list) {
    return PostingSpan{reinterpret_cast<const unsigned char*>(list.data()), list.size()};
  }
};
static_assert(std::endian::native == std::endian::little && sizeof(PostingEntry) == 8,
              "PostingSpan views PostingEntry vectors as stored bytes");

// The documents a search is kept to (database_search.cpp): ascending, each once.
using DocumentSet = std::vector<uint32_t>;

// A run of document numbers [first, end) a search is kept to; the whole list by default.
// Searching run after run gives the hits of searching whole, run by run, since every hit
// lies within one document.
struct DocumentRange {
  uint32_t first = 0;
  uint64_t end = uint64_t(UINT32_MAX) + 1;
  bool whole() const { return first == 0 && end > UINT32_MAX; }
};

// The part of list whose documents lie in range (a view of the same entries).
PostingSpan postings_within(PostingSpan list, DocumentRange range);

// The index just after the last entry of the document of entry from (from < list.size()),
// found by galloping.
size_t postings_document_end(PostingSpan list, size_t from);

// Appends the entries of list whose document is in documents, in list order, skipping
// ahead in the list from one document to the next.
void postings_append_documents(PostingSpan list, const DocumentSet& documents, PostingList& out);

// Characters that may be missing from a word of n characters in fault-tolerant mode.
inline constexpr std::array<int, 11> kCharacterTolerance = {0, 0, 0, 0, 1, 2, 2, 2, 3, 3, 3};
int character_tolerance(size_t n);

// Sorted union; entries equal in both are both kept, a's first.
PostingList postings_union(PostingList a, PostingList b);

// The paragraph filter of request value k: items separated by ",", each a paragraph
// number a, a range a~b or an open range a~ (paragraphs counted from 1; numbers outside
// 1..65,535 are ignored).
class ParagraphFilter {
 public:
  ParagraphFilter() = default;  // inactive: every paragraph passes
  explicit ParagraphFilter(std::string_view k);

  bool active() const { return active_; }
  // Paragraph numbers as postings hold them, counted from 0.
  bool passes(uint16_t paragraph) const { return !active_ || paragraph >= open_start_ || marks_[paragraph]; }

 private:
  bool active_ = false;
  uint32_t open_start_ = 65535;
  std::vector<bool> marks_;
};

// Keeps the entries whose paragraph passes; gives the new count.
size_t postings_filter_paragraphs(PostingList& list, const ParagraphFilter& filter);

// Shortens every list but the shortest (the first on ties) to the entries whose
// (document, paragraph) occurs in the shortest list.
void postings_restrict_to_shortest(std::vector<PostingList>& lists);

// The hits of a word from the lists of its characters (list i: character i, positions in
// bytes). Exact: the characters stand next to each other (positions 2 apart). Fault-
// tolerant: at least n - character_tolerance(n) of them in order within 4n - 2 bytes of
// one paragraph. One entry per hit: the entry of the first matched character.
PostingList postings_join_characters(const std::vector<PostingList>& lists, bool fault_tolerant);

// The same join over lists read in place. Exact: restricted as postings_restrict_to_shortest
// would (the lists are not changed), with the hits appended to out. The result is the
// same as decoding, restricting and joining the vectors.
void postings_join_spans(const std::vector<PostingSpan>& lists, bool fault_tolerant, PostingList& out);

}  // namespace qm
