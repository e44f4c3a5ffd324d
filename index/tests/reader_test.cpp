// The readers: opening rules, paragraphs, property layouts, the prefix table, and a
// table of damaged files that must fail with the read error rather than crash.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "index/index_reader.h"
#include "index/prefix_table.h"
#include "index/tests/fixture.h"
#include "platform/fatal.h"
#include "platform/le.h"

namespace qm {
namespace {

namespace fmt = index_format;
using test::TempDir;
using test::read_file;
using test::write_file;

class IndexReader : public ::testing::Test {
 protected:
  void SetUp() override {
    fatal_reset();
    index_reset();
    test::build(dir.path(), test::small_fixture());
  }
  void TearDown() override {
    index_reset();
    fatal_reset();
  }
  TempDir dir;
};

TEST_F(IndexReader, OpensAndReadsThroughFlatFunctions) {
  ASSERT_TRUE(index_open(dir.path(), 0, true));
  CrossRecord cross;
  ASSERT_TRUE(index_read_cross(1, cross));
  EXPECT_EQ(cross.fulltext_offset, 38u);
  EXPECT_EQ(cross.path_offset, 7u);
  Paragraph p = index_read_paragraph(cross.fulltext_offset, 1);
  EXPECT_EQ(p.kind, 0);
  EXPECT_EQ(p.text, "hello \xA4\xE5\xA4\xA4");
  // A number at or beyond the count is the empty paragraph, not an error.
  p = index_read_paragraph(cross.fulltext_offset, 2);
  EXPECT_EQ(p.kind, 0);
  EXPECT_EQ(p.text, "");
  CharHashRecord h;
  ASSERT_TRUE(index_read_char_hash(fmt::char_slot(0xA4, 0xE5), h));
  EXPECT_EQ(h.count, 2u);
  EXPECT_EQ(h.offset, 32u);
  PropertyValue date = 0;
  ASSERT_TRUE(index_read_property(0, date));
  EXPECT_EQ(date, 20240105);
  EXPECT_FALSE(index_read_property(2, date));  // beyond the documents: failure, no error
  // The last word's list ends at the end of eindex.db.
  uint32_t offset = 0, count = 0;
  ASSERT_TRUE(index_set().word_list_range(2, offset, count));
  EXPECT_EQ(offset, 24u);
  EXPECT_EQ(count, 1u);
  index_close();
  index_close();  // harmless twice
  EXPECT_FALSE(index_set().is_open());
  EXPECT_FALSE(index_read_property(0, date));
}

TEST_F(IndexReader, PairListFollowsIndexType) {
  // A character database has no clist.db: type 1 fails, type 0 opens.
  EXPECT_FALSE(index_open(dir.path(), 1, false));
  EXPECT_TRUE(index_set().failed());
  EXPECT_FALSE(index_set().is_open());
  // Type 0 ignores a clist.db that is there.
  write_file(dir / "clist.db", std::string(12, '\x01'));
  ASSERT_TRUE(index_open(dir.path(), 0, false));
  EXPECT_FALSE(index_set().has_char_pairs());
  ASSERT_TRUE(index_open(dir.path(), 2, false));
  EXPECT_TRUE(index_set().has_char_pairs());
}

TEST_F(IndexReader, PropertyLayouts) {
  auto record = [](int32_t y, int32_t m, int32_t d) {
    std::string r(fmt::kDocPropertyRecordSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(r.data());
    le::put32(p + fmt::kDocPropertyYear, uint32_t(y));
    le::put32(p + fmt::kDocPropertyMonth, uint32_t(m));
    le::put32(p + fmt::kDocPropertyDay, uint32_t(d));
    return r;
  };
  struct Case { std::string bytes; PropertyLayout layout; PropertyValue first, second; };
  const Case cases[] = {
      {read_file(dir / "property.db"), PropertyLayout::Value, 20240105, 19991231},
      {record(2000, 12, 31) + record(1998, 1, 5), PropertyLayout::Record, 20001231, 19980105},
      {record(0, 0, 0) + record(-5, 1, 1), PropertyLayout::Record, 0, 0},
      {std::string(12, '\0'), PropertyLayout::None, 0, 0},
      {std::string(4, '\0'), PropertyLayout::None, 0, 0},
      {"", PropertyLayout::None, 0, 0},
  };
  for (const auto& c : cases) {
    write_file(dir / "property.db", c.bytes);
    ASSERT_TRUE(index_open(dir.path(), 0, true));
    EXPECT_EQ(index_set().property_layout(), c.layout) << c.bytes.size();
    PropertyValue v = -1;
    EXPECT_EQ(index_read_property(0, v), c.layout != PropertyLayout::None);
    if (c.layout != PropertyLayout::None) {
      EXPECT_EQ(v, c.first);
      ASSERT_TRUE(index_read_property(1, v));
      EXPECT_EQ(v, c.second);
    }
  }
  // Without the property flag, or without the file, the set opens without it.
  ASSERT_TRUE(index_open(dir.path(), 0, false));
  PropertyValue v;
  EXPECT_FALSE(index_read_property(0, v));
  std::remove((dir / "property.db").c_str());
  ASSERT_TRUE(index_open(dir.path(), 0, true));
  EXPECT_FALSE(index_read_property(0, v));
}

TEST_F(IndexReader, CheckFiles) {
  EXPECT_TRUE(index_check_files(dir.path()));
  std::remove((dir / "rehash.db").c_str());
  std::remove((dir / "property.db").c_str());
  EXPECT_TRUE(index_check_files(dir.path()));  // neither is required
  std::remove((dir / "esign.db").c_str());
  EXPECT_FALSE(index_check_files(dir.path()));
}

TEST_F(IndexReader, PrefixTableAndSignatures) {
  std::string written = read_file(dir / "rehash.db");
  std::remove((dir / "rehash.db").c_str());
  EXPECT_FALSE(index_load_prefix_signatures(dir.path(), "HELLO"));
  ASSERT_EQ(index_build_prefix_table(dir.path()), 1);
  EXPECT_EQ(read_file(dir / "rehash.db"), written);

  auto hello = index_load_prefix_signatures(dir.path(), "HEAVY");
  ASSERT_TRUE(hello);
  EXPECT_EQ(hello->first, 1u);
  EXPECT_EQ(hello->count, 1u);
  ASSERT_EQ(hello->signatures.size(), 1u);
  EXPECT_EQ(hello->signatures[0], word_signature("HELLO"));
  auto none = index_load_prefix_signatures(dir.path(), "QQ");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->count, 0u);
  EXPECT_FALSE(index_load_prefix_signatures(dir.path(), "hello"));  // no slot
  EXPECT_FALSE(index_load_prefix_signatures(dir.path(), ""));
  // A range beyond esign.db fails instead of reading short.
  std::string bad = written;
  le::put32(reinterpret_cast<unsigned char*>(bad.data()) + 662 * 8 + 4, 99);
  write_file(dir / "rehash.db", bad);
  EXPECT_FALSE(index_load_prefix_signatures(dir.path(), "HE"));
  write_file(dir / "rehash.db", written.substr(0, 100));
  EXPECT_FALSE(index_load_prefix_signatures(dir.path(), "HE"));

  std::remove((dir / "ehash.db").c_str());
  EXPECT_EQ(index_build_prefix_table(dir.path()), 0);
  EXPECT_EQ(u32_compare(2, 1), 1);
  EXPECT_EQ(u32_compare(1, 2), -1);
  EXPECT_EQ(u32_compare(0xFFFFFFFF, 0xFFFFFFFF), 0);
}

TEST_F(IndexReader, PrefixRunsFromUnsortedOrShortWords) {
  // Runs are by the first two bytes: "A" (A, NUL) and "AB" are separate prefixes.
  std::string words;
  for (const char* w : {"A", "AB", "AC", "B9", "~X"}) {
    std::string r(28, '\0');
    r.replace(0, std::strlen(w), w);
    words += r;
  }
  std::string table = prefix_table_build(words);
  auto rec = [&](int slot) {
    auto* p = reinterpret_cast<const unsigned char*>(table.data()) + slot * 8;
    return std::pair<uint32_t, uint32_t>(le::get32(p), le::get32(p + 4));
  };
  EXPECT_EQ(rec(fmt::prefix_slot("A")), std::make_pair(0u, 1u));
  EXPECT_EQ(rec(fmt::prefix_slot("AB")), std::make_pair(1u, 1u));
  EXPECT_EQ(rec(fmt::prefix_slot("AC")), std::make_pair(2u, 1u));
  EXPECT_EQ(rec(fmt::prefix_slot("B9")), std::make_pair(3u, 1u));
}

// ---- Damaged files ------------------------------------------------------------------------

struct Damage {
  const char* name;
  std::function<void(const std::string& dir)> apply;
};

void patch32(const std::string& path, size_t at, uint32_t v) {
  std::string s = read_file(path);
  le::put32(reinterpret_cast<unsigned char*>(s.data()) + at, v);
  write_file(path, s);
}
void patch16(const std::string& path, size_t at, uint16_t v) {
  std::string s = read_file(path);
  le::put16(reinterpret_cast<unsigned char*>(s.data()) + at, v);
  write_file(path, s);
}
void truncate_to(const std::string& path, size_t n) { write_file(path, read_file(path).substr(0, n)); }

const uint32_t kZhong = fmt::char_slot(0xA4, 0xA4);

TEST_F(IndexReader, DamagedFilesFailCleanly) {
  const Damage cases[] = {
      {"missing cross.db", [](auto d) { std::remove((d + "cross.db").c_str()); }},
      {"missing eindex.db", [](auto d) { std::remove((d + "eindex.db").c_str()); }},
      {"cross.db not whole records", [](auto d) { truncate_to(d + "cross.db", 12); }},
      {"cross offset past fulltext.db", [](auto d) { patch32(d + "cross.db", 8, 5000); }},
      {"cross path offset past path.db", [](auto d) { patch32(d + "cross.db", 12, 18); }},
      {"path without NUL", [](auto d) { write_file(d + "path.db", std::string(300, 'p')); }},
      {"fulltext truncated", [](auto d) { truncate_to(d + "fulltext.db", 80); }},
      {"paragraph count too large", [](auto d) { patch16(d + "fulltext.db", 38, 60000); }},
      {"paragraph offset past the end", [](auto d) { patch32(d + "fulltext.db", 2, 0xFFFFFFF0); }},
      {"paragraph length past the end", [](auto d) { patch16(d + "fulltext.db", 78 + 2, 500); }},
      {"chash.db short", [](auto d) { truncate_to(d + "chash.db", 143624); }},
      {"chash count too large", [](auto d) { patch32(d + "chash.db", kZhong * 8, 0x40000000); }},
      {"chash offset misaligned", [](auto d) { patch32(d + "chash.db", kZhong * 8 + 4, 3); }},
      {"chash offset past cindex.db", [](auto d) { patch32(d + "chash.db", kZhong * 8 + 4, 0xFFFFFFF8); }},
      {"cindex.db not whole entries", [](auto d) { truncate_to(d + "cindex.db", 45); }},
      {"cindex.db truncated", [](auto d) { truncate_to(d + "cindex.db", 40); }},
      {"ehash.db not whole records", [](auto d) { truncate_to(d + "ehash.db", 30); }},
      {"esign.db does not match ehash.db", [](auto d) { truncate_to(d + "esign.db", 16); }},
      {"ehash offsets decreasing", [](auto d) { patch32(d + "ehash.db", 24, 16); }},
      {"ehash offset past eindex.db", [](auto d) { patch32(d + "ehash.db", 28 + 24, 4096); }},
      {"ehash offset misaligned", [](auto d) { patch32(d + "ehash.db", 28 + 24, 9); }},
      {"eindex.db truncated", [](auto d) { truncate_to(d + "eindex.db", 16); }},
  };
  for (const auto& c : cases) {
    TempDir damaged;
    test::build(damaged.path(), test::small_fixture());
    c.apply(damaged.path());
    IndexFileSet set;
    if (set.open(damaged.path(), 0, true)) test::walk_all(set);
    EXPECT_TRUE(set.failed()) << c.name << ": no error";
  }
}

TEST_F(IndexReader, DamagedPairListFailsCleanly) {
  const Damage cases[] = {
      {"clist.db not whole records", [](auto d) { truncate_to(d + "clist.db", 30); }},
      {"clist run past the end", [](auto d) { patch32(d + "chash.db", kZhong * 8, 9); }},
      {"pair list past cindex.db", [](auto d) { patch32(d + "clist.db", 4, 1000); }},
  };
  for (const auto& c : cases) {
    TempDir damaged;
    IndexWriterOptions phrase;
    phrase.phrase = true;
    test::build(damaged.path(), test::small_fixture(), phrase);
    c.apply(damaged.path());
    IndexFileSet set;
    if (set.open(damaged.path(), 1, false)) test::walk_all(set);
    EXPECT_TRUE(set.failed()) << c.name << ": no error";
  }
}

// Every failed read returns its failure result and marks the set failed, in every
// program; the mark lasts until the set is closed or opened again.
TEST_F(IndexReader, FailedReadsGiveFailureResults) {
  patch16(dir / "fulltext.db", 38, 60000);
  ASSERT_TRUE(index_open(dir.path(), 0, false));
  EXPECT_FALSE(index_set().failed());
  CrossRecord cross;
  EXPECT_FALSE(index_read_cross(5, cross));
  EXPECT_TRUE(index_set().failed());
  ASSERT_TRUE(index_open(dir.path(), 0, false));
  EXPECT_FALSE(index_set().failed());
  ASSERT_TRUE(index_read_cross(1, cross));
  Paragraph p = index_read_paragraph(cross.fulltext_offset, 100);
  EXPECT_EQ(p.text, "");
  EXPECT_TRUE(index_set().failed());
  ASSERT_TRUE(index_open(dir.path(), 0, false));
  std::vector<PostingEntry> list;
  EXPECT_FALSE(index_set().append_char_postings(0, 1000, list));
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(index_set().failed());
  std::remove((dir / "cindex.db").c_str());
  EXPECT_FALSE(index_open(dir.path(), 0, false));
  EXPECT_FALSE(index_set().is_open());
  EXPECT_TRUE(index_set().failed());
  index_close();
  EXPECT_FALSE(index_set().failed());
}

TEST_F(IndexReader, LexiconSubset) {
  std::remove((dir / "cross.db").c_str());
  IndexFileSet set;
  ASSERT_TRUE(set.open_lexicon(dir.path()));
  EXPECT_EQ(set.word_count(), 3u);
  EXPECT_EQ(set.file_bytes(IndexFile::Fulltext).size(), 92u);
  std::remove((dir / "esign.db").c_str());
  EXPECT_FALSE(set.open_lexicon(dir.path()));  // no error reported
}

}  // namespace
}  // namespace qm
