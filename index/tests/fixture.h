// Shared helpers of the index tests: file checks, the small hand-checked fixture, and a
// walk that reads every record of an open set (scratch directories and whole files come
// from testsupport/test_files.h).
#pragma once
#include <string>
#include <vector>

#include "index/index_reader.h"
#include "index/index_writer.h"
#include "testsupport/test_files.h"

namespace qm::test {

bool file_exists(const std::string& path);
std::vector<std::string> list_dir(const std::string& dir);

// Two documents with Chinese, English, a repeated character and a 26-letter word:
//   0 "d0.txt"      20240105: [1] 中文            [0] "Hello 中中 world"
//   1 "sub/d1.txt"  19991231: [1] a..z (26 letters) [0] "hello 文中"
std::vector<IndexDocument> small_fixture();

// Writes documents into dir; fails the test on any writer failure.
IndexWriterStats build(const std::string& dir, const std::vector<IndexDocument>& docs,
                       IndexWriterOptions options = {});

// Reads every record of the open set through every accessor (cross, path, paragraphs,
// character hash with its postings or pairs, word hash with lists and signatures).
void walk_all(IndexFileSet& set);

}  // namespace qm::test
