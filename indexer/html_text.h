// Text of an HTML page for the index: the <title>, the body cut into paragraphs at
// block elements (and at two <br> in a row), character references decoded (named and
// numeric), scripts, styles and comments dropped, the declared charset honoured.
// Works on Big5 text (common/charset.h) with the paragraph builder of text_blocks.h; HTML's
// syntax characters are all below 0x40, so they never occur inside a Big5 pair.
#pragma once
#include <string>
#include <string_view>

#include "indexer/text_blocks.h"

namespace qm {

struct HtmlOptions {
  // Every <br> ends a paragraph (the RTF converter writes one per paragraph).
  bool br_ends_paragraph = false;
};

// The page, already Big5.
ExtractedText html_extract(std::string_view big5, const HtmlOptions& options = {});

// The page as stored: read in the charset html_choose_charset gives (its declaration,
// unless declarations disagree or do not fit the bytes), else UTF-8 or Big5 by validity.
ExtractedText html_extract_raw(std::string_view bytes, const HtmlOptions& options = {});

// Decodes the character reference at text[pos] ('&'); on success appends its Big5 form
// (a blank when it has none, nothing for an invisible format character) to out and returns the bytes consumed; 0 when the text
// there is no reference (a literal '&').
size_t html_decode_reference(std::string_view text, size_t pos, std::string& out);

}  // namespace qm
