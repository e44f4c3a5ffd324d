// Shared helpers of the index tests: temporary directories, whole-file access, the
// small hand-checked fixture, and a walk that reads every record of an open set.
#pragma once
#include <string>
#include <vector>

#include "index/index_reader.h"
#include "index/index_writer.h"

namespace qm::test {

// A fresh directory (ending with "/") removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);
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
