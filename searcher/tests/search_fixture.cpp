// Test helpers: fixture databases (see search_fixture.h).
#include "searcher/tests/search_fixture.h"

#include <filesystem>

namespace qm::test {

bool write_database(const std::string& directory, const std::vector<IndexDocument>& documents, bool phrase) {
  std::filesystem::create_directories(directory);
  IndexWriterOptions options;
  options.phrase = phrase;
  options.sync = false;
  IndexWriter writer(directory, options);
  if (writer.failed()) return false;
  for (const IndexDocument& d : documents)
    if (!writer.add_document(d)) return false;
  return writer.finish();
}

IndexDocument make_document(size_t n, const std::vector<std::string>& paragraphs) {
  IndexDocument d;
  d.path = "doc" + std::to_string(n);
  d.date = 20240101;
  for (const std::string& p : paragraphs) d.paragraphs.push_back({0, p});
  return d;
}

std::string big5(uint16_t code) {
  return std::string{char(code >> 8), char(code & 0xFF)};
}

}  // namespace qm::test
