// Turns a folder of plain-text files (UTF-8 or Big5) into IndexDocuments for the
// mkindex tool and the index tests: the text becomes Big5, the first line is the title
// paragraph (kind 1), then each block of lines between blank lines is one paragraph
// (kind 0).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "index/index_writer.h"

namespace qm {

inline constexpr uint16_t kTitleParagraph = 1;
inline constexpr uint16_t kBodyParagraph = 0;

// Text that is valid UTF-8 with at least one byte above 0x7F is converted to Big5
// (iconv, CP950); characters without a Big5 form are dropped. Anything else is taken
// as Big5 (or ASCII) already and returned unchanged. A UTF-8 byte-order mark is removed.
std::string text_to_big5(std::string_view bytes);

// Paragraphs of a Big5 text: the first line, then one per block of non-blank lines
// (lines end with LF, CR LF or CR). Lines of a block are joined with a blank, or
// directly when the join falls between two Big5 characters.
std::vector<IndexParagraph> text_paragraphs(std::string_view text);

// The regular files under folder, recursively, as paths relative to it ("/"-separated),
// sorted bytewise. Hidden files and folders (name beginning ".") are skipped.
std::vector<std::string> text_folder_files(const std::string& folder);

// Reads one file into a document: path = relative path, date = modification date
// (local time, yyyymmdd). false when it cannot be read.
bool text_file_document(const std::string& folder, const std::string& relative,
                        IndexDocument& out);

}  // namespace qm
