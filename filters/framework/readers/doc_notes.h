// The notes of a Word (.doc, Word 97 and later) file, read by ourselves since antiword
// gives no footnote text: the file-information block of the WordDocument stream, the
// piece table of its table stream (compressed CP1252 and UTF-16 pieces), and the
// footnote and endnote reference and text tables. Built on ole_file.h; called by the Word
// reader (doc_reader.cpp), which sets each note at the place of antiword's note mark.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace kvx::readers {

struct WordNote {
  uint32_t type = 1;      // 1 footnote, 2 endnote
  uint32_t position = 0;  // character position of its reference in the main text
  bool numbered = true;   // the reference is the automatic number, not a mark of its own
  std::vector<uint16_t> text;  // paragraphs end with '\n'; field codes and marks left out
};

// The notes in the order of their references; empty when the file has none or its
// tables are damaged (every offset and count is checked against its stream).
std::vector<WordNote> word_notes(std::string_view bytes);

}  // namespace kvx::readers
