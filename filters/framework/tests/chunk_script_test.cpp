// Chunk scripts: the document fixture builds, dumps (kvxdump) and writes back identically;
// raw forms and gaps round-trip; malformed lines fail with their line number; seeded
// corruptions of the fixture load or fail with KVXERR_BADFORMAT, and whatever loads
// writes back to a script that builds the same model.
#include <gtest/gtest.h>

#include "filters/framework/chunk_script.h"
#include "filters/framework/tests/chunk_fixtures.h"
#include "testsupport/corrupt.h"
#include "testsupport/test_files.h"

namespace kvx::test {
namespace {

std::string round_trip(const std::string& script, std::string* error = nullptr) {
  std::unique_ptr<ChunkModel> model;
  std::string why;
  if (read_chunk_script(script, model, &why) != KVX_OK) {
    if (error) *error = why;
    return "";
  }
  std::string out;
  if (!write_chunk_script(*model, out, &why)) {
    if (error) *error = why;
    return "";
  }
  return out;
}

TEST(ChunkScriptTest, DocumentFixtureWritesBackIdentically) {
  std::string error;
  EXPECT_EQ(round_trip(kDocumentScript, &error), kDocumentScript) << error;
  EXPECT_EQ(round_trip(kAllRangesScript, &error), kAllRangesScript) << error;
}

TEST(ChunkScriptTest, ModelOfTheFixture) {
  std::unique_ptr<ChunkModel> m;
  ASSERT_EQ(read_chunk_script(kDocumentScript, m, nullptr), KVX_OK);
  ASSERT_EQ(m->sections().size(), 2u);
  EXPECT_EQ(m->sections()[0].charset, KVXCS_BIG5);
  // The first text run: 中 as lead << 8 | trail, tagged with its set.
  EXPECT_EQ(m->word(0, 0, 0), uint32_t(KVXITEM_TEXT));
  EXPECT_EQ(m->word(0, 0, 1), KVXCS_BIG5);
  const uint8_t* t = m->bytes(KVXRANGE_TEXT).data();
  EXPECT_EQ(t[0] | t[1] << 8, 0xA4A4);
  // The merged cell spans two columns; the second section starts chunk 1.
  uint32_t merged = 0;
  for (uint32_t i = 0; i < m->unit_count(KVXRANGE_CELLS); ++i)
    if (m->word(KVXRANGE_CELLS, i, 3) == (2u | 1u << 16)) ++merged;
  EXPECT_EQ(merged, 1u);
  EXPECT_EQ(m->id_at(0, m->sections()[1].first_index), 1u << 16);
  // Six sheet cells in a 3-column grid, one range-15 entry for them.
  ASSERT_EQ(m->unit_count(KVXRANGE_CELLRANGES), 1u);
  EXPECT_EQ(m->word(KVXRANGE_CELLRANGES, 0, 0), 1u << 16 | 1);
  EXPECT_EQ(m->word(KVXRANGE_CELLRANGES, 0, 2), 6u);
  EXPECT_EQ(m->unit_count(KVXRANGE_VALUES), 3u);
}

TEST(ChunkScriptTest, KvxdumpPrintsRangesTextAndScript) {
  qm::test::TempDir dir("kvxdump-");
  std::string path = dir / "doc.kvx";
  qm::test::write_file(path, kDocumentScript);
  std::string dump = std::string(QM_DIST_DIR) + "/kvxdump ";
  std::string out;
  ASSERT_EQ(qm::test::command_output(dump + "--script " + path, out), 0);
  EXPECT_EQ(out, kDocumentScript);
  out.clear();
  ASSERT_EQ(qm::test::command_output(dump + "--text " + path, out), 0);
  EXPECT_EQ(out.substr(0, 12), "中文 text\n") << out;
  EXPECT_NE(out.find("合併\t\na\tb\t\n"), std::string::npos) << out;
  std::string body;  // the fixture has no page parts: the same text
  ASSERT_EQ(qm::test::command_output(dump + "--body-text " + path, body), 0);
  EXPECT_EQ(body, out);
  out.clear();
  ASSERT_EQ(qm::test::command_output(dump + path, out), 0);
  EXPECT_NE(out.find("range 0: 38 units of 16 bytes\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  00000000: 00000007 13B60000 00000000 00000007\n"), std::string::npos) << out;
  qm::test::write_file(path, "kvx-chunks 1\nsection wp\nbogus 1\n");
  out.clear();
  EXPECT_NE(qm::test::command_output(dump + path + " 2>&1", out), 0);
  EXPECT_NE(out.find("line 3: unknown line bogus"), std::string::npos) << out;
  // A source without an end is refused at the readers' limit, before it is read whole.
  out.clear();
  EXPECT_NE(qm::test::command_output(dump + "/dev/zero 2>&1", out), 0);
  EXPECT_EQ(out, "kvxdump: /dev/zero: larger than 256 MB\n");
}

TEST(ChunkScriptTest, RawFormsAndGapsRoundTrip) {
  // Records that no line accounts for come back as record lines before the line that
  // follows them; items that no line describes as raw items.
  const char* script =
      "kvx-chunks 1\n"
      "section 12\n"
      "record 2 41004200\n"
      "text cp1252 \"c\"\n"
      "item 7 0x14E40100 0 2\n"
      "item 0 1 2 3\n"
      "text 0x12345678 \"\\u{0041}\"\n"
      "group 0xA0150000 9 1\n"
      "end\n"
      "record 9 4100\n"
      "bookmark \"\\u{0001}\"\n"
      "end\n";
  std::string error;
  EXPECT_EQ(round_trip(script, &error), script) << error;
  // The raw item's bytes form: written back as a record line and the item.
  EXPECT_EQ(round_trip("kvx-chunks 1\nsection wp\nitem 5 0 0 0 AABB\n"),
            "kvx-chunks 1\nsection wp\nitem 5 0 0 0\nrecord 3 AABB\n");
}

// The plain text with and without the texts of page parts: a header's group (with a group
// of its own inside) is left out whole, the body text around it stays.
TEST(ChunkScriptTest, PlainTextWithoutPagePartsLeavesOutTheirGroups) {
  std::unique_ptr<ChunkModel> m;
  ASSERT_EQ(read_chunk_script("kvx-chunks 1\nsection wp\ntext unicode \"before\"\npara\nitem 47 8 1 0\n"
                              "group 0xA00B0000 1 8\ntext unicode \"Head \"\nbookmark \"m\"\ntext unicode \"mark\"\nend\n"
                              "text unicode \"ed\"\npara\nend\nitem 43 0 1 0\ntext unicode \"after\"\npara\n",
                              m, nullptr),
            KVX_OK);
  EXPECT_EQ(model_text(*m), "before\nHead marked\nafter\n");
  EXPECT_EQ(model_text(*m, false), "before\nafter\n");
}

TEST(ChunkScriptTest, MalformedLinesFailWithTheirLineNumber) {
  struct Case {
    const char* body;
    const char* error;
  } cases[] = {
      {"text cp1252 \"x\"\n", "line 2: text before the first section"},
      {"section wp\nend\n", "line 3: end without an open group"},
      {"section wp\ngroup 1 2\n", "group(s) left open"},
      {"section wp\ntext big5 \"\xC3\xA9\"\n", "line 3: U+00E9 has no character in set big5"},
      {"section wp\ntext cp1252 \"abc\n", "line 3: text without its closing quote"},
      {"section wp\ntext cp1252 \"\\u{12345}\"\n", "line 3: bad \\u{} escape"},
      {"section wp\ntext klingon \"x\"\n", "line 3: unknown character set klingon"},
      {"section wp\nrecord 7 00\n", "line 3: range 7 takes units of 40 bytes"},
      {"section wp\nrecord 16 000000000000000000000000\n", "line 3: range 16 is not filled by records"},
      {"section wp\nrecord 99 00\n", "line 3: range 99 is not filled by records"},
      {"section wp\nitem 67 1 2 3\n", "line 3: groups are opened with group and closed with end"},
      {"section wp\nitem 1 2 3\n", "line 3: item takes 4-5 arguments"},
      {"section wp\nbreak 4294967296\n", "line 3: argument 1 of break must be a number"},
      {"section ss\ncell\n", "line 3: a sheet cell before columns"},
      {"section wp\nvalue nan\n", "line 3: value takes a number"},
      {"section wp\nobject 1 ABC\n", "line 3: object bytes must be hex pairs"},
      {"section wp\n\"x\"\n", "line 3: a line starts with its name"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ChunkModel> m;
    std::string error;
    EXPECT_EQ(read_chunk_script(std::string("kvx-chunks 1\n") + c.body, m, &error), KVXERR_BADFORMAT) << c.body;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.body << " gave " << error;
    EXPECT_EQ(m, nullptr);
  }
  std::unique_ptr<ChunkModel> m;
  EXPECT_EQ(read_chunk_script("", m, nullptr), KVXERR_BADFORMAT);
  EXPECT_EQ(read_chunk_script("kvx-chunks 2\n", m, nullptr), KVXERR_BADFORMAT);
  // Comments, blank lines and CR LF line ends are allowed.
  EXPECT_EQ(read_chunk_script("kvx-chunks 1\r\n# note\r\n\r\nsection wp\r\npara\r\n", m, nullptr), KVX_OK);
}

TEST(ChunkScriptTest, SeededCorruptionsLoadOrFailCleanly) {
  qm::test::VariantTrace trace;
  qm::test::Corruptor corrupt(26);
  std::string base = kDocumentScript;
  size_t loaded = 0;
  for (int v = 0; v < 400; ++v) {
    qm::test::Edits edits = corrupt.any(base.size());
    std::string text = base;
    qm::test::apply_edits(text, edits);
    trace.set("document script", edits);
    std::unique_ptr<ChunkModel> m;
    KVXSTATUS st = read_chunk_script(text, m, nullptr);
    ASSERT_TRUE(st == KVX_OK || st == KVXERR_BADFORMAT) << qm::test::describe(edits);
    if (st != KVX_OK) continue;
    ++loaded;
    std::string once, twice;
    ASSERT_TRUE(write_chunk_script(*m, once, nullptr)) << qm::test::describe(edits);
    EXPECT_EQ(round_trip(once), once) << qm::test::describe(edits);
  }
  EXPECT_GT(loaded, 5u);
}

}  // namespace
}  // namespace kvx::test
