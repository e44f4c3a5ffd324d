// Helpers shared by the search tests: a temporary directory and fixture databases
// written with the index writer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "index/index_writer.h"

namespace qm::test {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // ends with "/"
  std::string sub(const std::string& name) const;    // created, ends with "/"

 private:
  std::string path_;
};

// Writes a database of the documents into directory (created); false on failure.
bool write_database(const std::string& directory, const std::vector<IndexDocument>& documents,
                    bool phrase = false);

// A document of paragraphs (kind 0), path "doc<n>".
IndexDocument make_document(size_t n, const std::vector<std::string>& paragraphs);

// The two bytes of a Big5 code lead * 256 + trail.
std::string big5(uint16_t code);

}  // namespace qm::test
