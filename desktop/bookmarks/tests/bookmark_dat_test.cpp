// Bookmark.dat: the tree of root, folder A holding bookmark b, and separator s written
// byte for byte as Python's struct module packs the records (an independent oracle) and
// read back into the same tree; damaged files (level jumps, a bookmark with a child, a
// huge count, a long caption, a cut record) load into sound trees.
#include <gtest/gtest.h>

#include <cstdlib>

#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/bookmarks/bookmark_format.h"
#include "desktop/bookmarks/bookmark_tree.h"
#include "platform/le.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace bd = bookmark_dat;

BookmarkRecord rec(uint8_t kind, int level, std::string caption, std::string path = {}) {
  BookmarkRecord r;
  r.kind = kind;
  r.level = level;
  r.caption = std::move(caption);
  r.path = std::move(path);
  return r;
}

// Bytes of a file from raw records (levels and count as given, nothing corrected).
std::string raw_file(int32_t count, const std::vector<BookmarkRecord>& records) {
  std::string out;
  le::append32(out, uint32_t(count));
  le::append32(out, 0);
  for (const BookmarkRecord& r : records) {
    std::string b(bd::kRecordSize, '\0');
    b[bd::kKindAt] = char(r.kind);
    le::put32(reinterpret_cast<unsigned char*>(&b[bd::kIndexAt]), uint32_t(r.index));
    b.replace(bd::kPathAt, std::min(r.path.size(), bd::kPathField), r.path, 0, bd::kPathField);
    le::put32(reinterpret_cast<unsigned char*>(&b[bd::kLevelAt]), uint32_t(r.level));
    b.replace(bd::kCaptionAt, std::min(r.caption.size(), bd::kCaptionField), r.caption, 0,
              bd::kCaptionField);
    out += b;
  }
  return out;
}

TEST(BookmarkDat, ExampleTreeMatchesPythonStructAndReadsBack) {
  test::TempDir dir("qm-bookmark-");
  BookmarkTree tree;
  tree.set_separator_labels({"----"});
  tree.load_records({}, "Bookmarks");
  BookmarkNode* a = tree.add_folder_beside(tree.root(), "A");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(tree.drop_bookmark(a, BookmarkDrop::Into, "b", "/docs/b.htm"), nullptr);
  ASSERT_NE(tree.add_separator_beside(a), nullptr);
  const std::string path = dir / "Bookmark.dat";
  ASSERT_TRUE(tree.save(path));

  const std::string script =
      "import struct,sys\n"
      "recs=[(1,0,b'',0,b'Bookmarks'),(1,1,b'',1,b'A'),(0,2,b'/docs/b.htm',2,b'b'),"
      "(1,3,b'',1,b'----')]\n"
      "out=struct.pack('<ii',len(recs),2)\n"
      "for k,i,p,l,c in recs: out+=struct.pack('<B3xi200si100s',k,i,p,l,c)\n"
      "sys.stdout.write(out.hex())\n";
  test::write_file(dir / "pack.py", script);
  std::string hex;
  ASSERT_EQ(test::command_output("python3 " + dir / "pack.py", hex), 0);
  std::string expected;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    expected.push_back(char(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
  EXPECT_EQ(test::read_file(path), expected);

  BookmarkTree again;
  again.set_separator_labels({"----"});
  EXPECT_EQ(again.load(path, "unused"), BookmarkDatStatus::Ok);
  const std::vector<BookmarkRecord> records = again.records();
  ASSERT_EQ(records.size(), 4u);
  const int levels[] = {0, 1, 2, 1};
  const int kinds[] = {1, 1, 0, 1};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(records[i].level, levels[i]) << i;
    EXPECT_EQ(records[i].kind, kinds[i]) << i;
  }
  EXPECT_EQ(again.root()->caption, "Bookmarks");
  EXPECT_EQ(again.path_of_tag(2), "/docs/b.htm");
  EXPECT_EQ(again.path_of_tag(7), "Error");
  EXPECT_TRUE(again.is_separator(*again.node_at(3)));
  EXPECT_EQ(again.image_of(*again.node_at(2)), kImageBookmark);
}

TEST(BookmarkDat, DamagedFilesLoadSafely) {
  const std::string long_caption(150, 'x');
  // A caption of 98 ASCII bytes then a Big5 pair: the pair would end past 99 bytes.
  const std::string pair_caption = std::string(98, 'y') + "\xA4\xA4";
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<int> levels;  // of the records read, after correction
    std::vector<int> kinds;
    BookmarkDatStatus status;
  } cases[] = {
      {"level jump", raw_file(3, {rec(1, 0, "r"), rec(1, 1, "A"), rec(0, 5, "deep")}),
       {0, 1, 2}, {1, 1, 0}, BookmarkDatStatus::Ok},
      {"bookmark with a child",
       raw_file(4, {rec(1, 0, "r"), rec(0, 1, "b"), rec(0, 2, "child"), rec(1, 3, "f")}),
       {0, 1, 1, 1}, {1, 0, 0, 1}, BookmarkDatStatus::Ok},
      {"level zero and negative later",
       raw_file(3, {rec(1, 0, "r"), rec(1, 0, "A"), rec(0, -7, "b")}), {0, 1, 1}, {1, 1, 0},
       BookmarkDatStatus::Ok},
      {"root given as bookmark at level 3", raw_file(2, {rec(0, 3, "r"), rec(0, 1, "b")}),
       {0, 1}, {1, 0}, BookmarkDatStatus::Ok},
      {"huge count", raw_file(0x7fffffff, {rec(1, 0, "r"), rec(0, 1, "b")}), {0, 1}, {1, 0},
       BookmarkDatStatus::Damaged},
      {"cut record", raw_file(2, {rec(1, 0, "r"), rec(0, 1, "b")}).substr(0, 8 + 312 + 100),
       {0}, {1}, BookmarkDatStatus::Damaged},
      {"long caption", raw_file(2, {rec(1, 0, "r"), rec(0, 1, long_caption)}), {0, 1}, {1, 0},
       BookmarkDatStatus::Ok},
      {"negative count", raw_file(-1, {rec(1, 0, "r")}), {}, {}, BookmarkDatStatus::Missing},
      {"short header", std::string("\x01\x00\x00", 3), {}, {}, BookmarkDatStatus::Missing},
  };
  for (const Case& c : cases) {
    std::vector<BookmarkRecord> out;
    EXPECT_EQ(bookmark_dat_parse(c.bytes, out), c.status) << c.name;
    ASSERT_EQ(out.size(), c.levels.size()) << c.name;
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].level, c.levels[i]) << c.name << " " << i;
      EXPECT_EQ(out[i].kind, c.kinds[i]) << c.name << " " << i;
      EXPECT_LE(out[i].caption.size(), bd::kMaxCaption) << c.name;
    }
    // The tree takes the records as they are: every node hangs under a folder.
    BookmarkTree tree;
    tree.load_records(out, "root");
    EXPECT_EQ(tree.records().size(), std::max<size_t>(out.size(), 1)) << c.name;
    for (BookmarkNode* n : tree.nodes()) {
      EXPECT_TRUE(!n->parent || !n->parent->is_bookmark()) << c.name;
    }
  }

  // Levels past 30 stop at 29; a 150-byte caption keeps 99 bytes; a Big5 pair is not split.
  std::vector<BookmarkRecord> deep{rec(1, 0, "r")};
  for (int i = 1; i < 40; ++i) deep.push_back(rec(1, i, "f"));
  deep.push_back(rec(0, 1, pair_caption, std::string(250, 'p')));
  std::vector<BookmarkRecord> out;
  ASSERT_EQ(bookmark_dat_parse(raw_file(int32_t(deep.size()), deep), out), BookmarkDatStatus::Ok);
  for (const BookmarkRecord& r : out) EXPECT_LT(r.level, bd::kMaxLevels);
  EXPECT_EQ(out[39].level, 29);
  EXPECT_EQ(out.back().caption, std::string(98, 'y'));
  EXPECT_EQ(out.back().path.size(), bd::kMaxPath);
  std::vector<BookmarkRecord> long_one;
  bookmark_dat_parse(raw_file(2, {rec(1, 0, "r"), rec(0, 1, long_caption)}), long_one);
  EXPECT_EQ(long_one[1].caption, std::string(99, 'x'));
}

TEST(BookmarkDat, UnwritableFileLeavesTheOldOne) {
  test::TempDir dir("qm-bookmark-");
  const std::string path = dir / "Bookmark.dat";
  ASSERT_TRUE(bookmark_dat_write(path, {rec(1, 0, "root")}));
  const std::string before = test::read_file(path);
  EXPECT_FALSE(bookmark_dat_write(dir / "missing/Bookmark.dat", {rec(1, 0, "x")}));
  EXPECT_EQ(test::read_file(path), before);
  BookmarkTree tree;
  EXPECT_EQ(tree.load(dir / "none.dat", "Bookmarks"), BookmarkDatStatus::Missing);
  EXPECT_EQ(tree.nodes().size(), 1u);
  EXPECT_EQ(tree.root()->caption, "Bookmarks");
}

}  // namespace
}  // namespace qm
