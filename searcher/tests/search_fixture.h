// Helpers shared by the search tests: fixture databases written with the index writer
// (scratch directories come from testsupport/test_files.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "index/index_writer.h"
#include "testsupport/test_files.h"

namespace qm::test {

// Writes a database of the documents into directory (created); false on failure.
bool write_database(const std::string& directory, const std::vector<IndexDocument>& documents,
                    bool phrase = false);

// A document of paragraphs (kind 0), path "doc<n>".
IndexDocument make_document(size_t n, const std::vector<std::string>& paragraphs);

// The two bytes of a Big5 code lead * 256 + trail.
std::string big5(uint16_t code);

}  // namespace qm::test
