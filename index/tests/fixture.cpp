// Shared helpers of the index tests; see fixture.h.
#include "index/tests/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace qm::test {

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<IndexDocument> small_fixture() {
  return {
      {"d0.txt", 20240105,
       {{1, "\xA4\xA4\xA4\xE5"},                     // 中文
        {0, "Hello \xA4\xA4\xA4\xA4 world"}}},      // Hello 中中 world
      {"sub/d1.txt", 19991231,
       {{1, "abcdefghijklmnopqrstuvwxyz"},
        {0, "hello \xA4\xE5\xA4\xA4"}}},            // hello 文中
  };
}

IndexWriterStats build(const std::string& dir, const std::vector<IndexDocument>& docs,
                       IndexWriterOptions options) {
  options.sync = false;
  IndexWriter writer(dir, options);
  EXPECT_FALSE(writer.failed()) << writer.error();
  for (const auto& d : docs) EXPECT_TRUE(writer.add_document(d)) << writer.error();
  EXPECT_TRUE(writer.finish()) << writer.error();
  return writer.stats();
}

void walk_all(IndexFileSet& set) {
  std::string path;
  for (uint32_t d = 0; d < set.document_count(); ++d) {
    CrossRecord cross;
    set.read_cross(d, cross);
    set.read_path(d, path);
    uint16_t count = 0;
    set.read_paragraph_count(cross.fulltext_offset, count);
    for (uint32_t p = 0; p <= count; ++p) set.read_paragraph(cross.fulltext_offset, p);
  }
  std::vector<PostingEntry> postings;
  std::vector<CharPairRecord> pairs;
  for (uint32_t slot = 0; slot < index_format::kCharSlots; ++slot) {
    CharHashRecord h;
    set.read_char_hash(slot, h);
    if (h.count == 0) continue;
    if (set.has_char_pairs()) {
      set.read_char_pairs(h.offset, h.count, pairs);
      for (const auto& pr : pairs) set.append_char_postings(pr.offset, pr.count, postings);
    } else {
      set.append_char_postings(h.offset, h.count, postings);
    }
  }
  std::vector<WordSignature> sigs;
  set.read_word_signatures(0, set.word_count(), sigs);
  for (uint32_t w = 0; w < set.word_count(); ++w) {
    WordHashRecord rec;
    set.read_word_hash(w, rec);
    uint32_t offset = 0, count = 0;
    set.word_list_range(w, offset, count);
    set.append_word_postings(offset, count, postings);
  }
}

}  // namespace qm::test
