// One occurrence of a word in an index: the document, the paragraph within it and the
// word position within the paragraph. Shared by the index readers, phrase search and
// the common library's ordering helper.
#pragma once
#include <cstdint>

namespace qm {

struct PostingEntry {
  uint32_t document = 0;
  uint16_t paragraph = 0;
  uint16_t position = 0;
};

// Orders by document, then paragraph, then position, ascending: -1, 0 or 1.
// The sort order of phrase search. Defined in common/strings.cpp.
int posting_compare(const PostingEntry& a, const PostingEntry& b);

}  // namespace qm
