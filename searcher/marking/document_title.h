// The title that the result list and the hit viewer show for a document of an index
// database: chosen among its stored paragraphs (index/index_reader.h) and cut at a word
// end with common/strings.h. Used by the searcher's result page (searcher/app) and by
// marker.
#pragma once
#include <cstdint>
#include <string>

#include "index/index_reader.h"

namespace qm {

// A title is at most this many bytes, then "..." when its paragraph is longer.
inline constexpr size_t kTitleBytes = 50;

// The title of the document whose paragraphs start at fulltext_offset: from paragraph
// title_paragraph - 1 on (TitleParagraph, 1-based; kept inside the document), the first
// paragraph that still holds 3 bytes or more once its leading bytes below "0" are dropped
// and it is cut at a word end within 50 bytes; when none does, fallback_paragraph taken as
// it comes out. "..." follows when the chosen paragraph is longer than 50 bytes. Empty
// for a document without paragraphs.
std::string document_title(IndexFileSet& set, uint32_t fulltext_offset, long long title_paragraph,
                           uint32_t fallback_paragraph);

}  // namespace qm
