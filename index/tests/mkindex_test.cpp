// The mkindex tool and its text-folder reading: title and paragraph blocks, UTF-8 to
// Big5, and a database built by the real program that the readers open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "index/index_reader.h"
#include "index/tests/fixture.h"
#include "index/tools/text_folder.h"

namespace qm {
namespace {

using test::TempDir;

TEST(TextFolder, TitleAndBlocks) {
  struct Case { std::string text; std::vector<std::string> paragraphs; };
  const Case cases[] = {
      {"Title\nline one\nline two\n\n\nnext block\n", {"Title", "line one line two", "next block"}},
      {"T\r\n\r\na\r\nb\r\n", {"T", "a b"}},
      {"T\r\rx", {"T", "x"}},
      {"only a title", {"only a title"}},
      {"", {""}},
      {"\n\nbody", {"", "body"}},
      // Two Big5 characters across a line end join directly (中 / 文).
      {"T\n\xA4\xA4\n\xA4\xE5 x\n \t\ny", {"T", "\xA4\xA4\xA4\xE5 x", "y"}},
  };
  for (const auto& c : cases) {
    auto paras = text_paragraphs(c.text);
    ASSERT_EQ(paras.size(), c.paragraphs.size()) << c.text;
    for (size_t i = 0; i < paras.size(); ++i) {
      EXPECT_EQ(paras[i].text, c.paragraphs[i]) << c.text;
      EXPECT_EQ(paras[i].kind, i == 0 ? kTitleParagraph : kBodyParagraph);
    }
  }
}

TEST(TextFolder, Utf8BecomesBig5) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"\xE4\xB8\xAD\xE6\x96\x87", "\xA4\xA4\xA4\xE5"},          // 中文
      {"\xEF\xBB\xBF" "abc", "abc"},                             // BOM removed
      {"a\xF0\x9F\x98\x80" "b", "ab"},                           // no Big5 form: dropped
      {"\xA4\xA4\xA4\xE5", "\xA4\xA4\xA4\xE5"},                  // Big5 already
      {"plain", "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(text_to_big5(c.in), c.out) << c.in;
}

void expect_opens(const std::string& db, int type) {
  IndexFileSet set;
  ASSERT_TRUE(set.open(db, type, true));
  EXPECT_GT(set.document_count(), 0u);
  EXPECT_EQ(set.property_layout(), PropertyLayout::Value);
  test::walk_all(set);
}

int run(const std::string& command) { return std::system((command + " > /dev/null").c_str()); }

TEST(Mkindex, BuildsReadableDatabase) {
  TempDir src, db;
  std::filesystem::create_directories(src / "sub");
  std::filesystem::create_directories(src / ".hidden");
  test::write_file(src / "a.txt", "First title\nHello \xE4\xB8\xAD\xE6\x96\x87 world\n\nSecond\n");
  test::write_file(src / "sub/b.txt", "Big5 \xA4\xA4\n\nbody \xA4\xE5\n");
  test::write_file(src / ".hidden/c.txt", "skipped\n");
  const std::string tool = std::string(QM_DIST_DIR) + "/mkindex";
  ASSERT_EQ(run(tool + " " + src.path() + " " + db.path()), 0);
  IndexFileSet set;
  ASSERT_TRUE(set.open(db.path(), 0, true));
  ASSERT_EQ(set.document_count(), 2u);
  std::string path;
  ASSERT_TRUE(set.read_path(1, path));
  EXPECT_EQ(path, "sub/b.txt");
  CrossRecord cross;
  ASSERT_TRUE(set.read_cross(0, cross));
  EXPECT_EQ(set.read_paragraph(cross.fulltext_offset, 0).text, "First title");
  EXPECT_EQ(set.read_paragraph(cross.fulltext_offset, 1).text, "Hello \xA4\xA4\xA4\xE5 world");
  set.close();

  ASSERT_EQ(run(tool + " " + src.path() + " " + db.path() + " --phrase"), 0);
  expect_opens(db.path(), 1);
  EXPECT_NE(run(tool + " " + (src / "nothing") + " " + db.path()), 0);
  EXPECT_NE(run(tool), 0);
}

TEST(Mkindex, BuildsSamples) {
  const std::string samples = std::string(QM_SOURCE_DIR) + "/samples";
  if (test::list_dir(samples).empty()) GTEST_SKIP() << "no samples yet";
  TempDir db;
  ASSERT_EQ(run(std::string(QM_DIST_DIR) + "/mkindex " + samples + " " + db.path()), 0);
  expect_opens(db.path(), 0);
}

}  // namespace
}  // namespace qm
