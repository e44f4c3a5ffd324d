// Tests of the main window's settings in vesprin.ini: the history round trip, the layout
// clamps and store, the pending page size, CacheDir, and the lexicon check.
#include "desktop/main_settings.h"

#include <gtest/gtest.h>

#include "testsupport/test_files.h"

namespace {

qm::IniTree tree_of(const std::string& text) {
  qm::IniTree t;
  t.parse(text);
  return t;
}

TEST(History, RoundTrip) {
  qm::IniTree empty = tree_of("[HISTORY]\n[VESPRIN]\nA=1\n");
  EXPECT_TRUE(qm::history_read(empty).empty());

  // Keys are read in order up to the first missing one.
  qm::IniTree gap = tree_of("[HISTORY]\n0=first\n1=\xA4\xA4\xA4\xE5\n3=after gap\n");
  EXPECT_EQ(qm::history_read(gap), (std::vector<std::string>{"first", "\xA4\xA4\xA4\xE5"}));

  // Written back as keys 0..n-1, the old section (and a duplicate of it) removed.
  qm::IniTree t = tree_of("[HISTORY]\n0=old\n7=stale\n[VESPRIN]\nA=1\n[history]\n0=dup\n");
  qm::history_write(t, {"x", "y", "z"});
  EXPECT_EQ(t.serialize(), "\n[VESPRIN]\nA=1\n\n[HISTORY]\n0=x\n1=y\n2=z\n");
  EXPECT_EQ(qm::history_read(t), (std::vector<std::string>{"x", "y", "z"}));
  qm::history_write(t, {});
  EXPECT_FALSE(t.has_section("HISTORY"));
}

TEST(Layout, ClampsToTheScreen) {
  struct Case {
    const char* name;
    const char* size;
    int width, height, left, top;
    bool maximized;
  };
  const Case cases[] = {
      {"missing section: the whole screen", "", 1024, 768, 0, 0, false},
      {"wider than the screen", "Width=5000\nHeight=600\n", 1024, 600, 0, 0, false},
      {"negative size", "Width=-5\nHeight=-1\n", 1024, 768, 0, 0, false},
      {"left past the screen", "Width=800\nHeight=600\nLeft=2000\nTop=100\n", 800, 600, 224, 100,
       false},
      {"top past the screen", "Width=800\nHeight=600\nLeft=10\nTop=900\n", 800, 600, 10, 168,
       false},
      {"fits", "Width=640\nHeight=480\nLeft=30\nTop=40\n", 640, 480, 30, 40, false},
      {"maximized", "MAXIMIZED=1\nWidth=640\n", 640, 768, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qm::WindowLayout l = qm::layout_read(tree_of(std::string("[SIZE]\n") + c.size), 1024, 768);
    EXPECT_EQ(l.width, c.width);
    EXPECT_EQ(l.height, c.height);
    EXPECT_EQ(l.left, c.left);
    EXPECT_EQ(l.top, c.top);
    EXPECT_EQ(l.maximized, c.maximized);
    EXPECT_TRUE(l.tool && l.catalog && l.preview);
  }
  qm::WindowLayout hidden =
      qm::layout_read(tree_of("[SIZE]\nTool=0\nCatalog=x\nPreview=0\n"), 1024, 768);
  EXPECT_FALSE(hidden.tool);
  EXPECT_TRUE(hidden.catalog);  // only "0" hides
  EXPECT_FALSE(hidden.preview);
}

TEST(Layout, StoreThenRead) {
  qm::IniTree t;
  qm::WindowLayout l;
  l.width = 700, l.height = 500, l.left = 12, l.top = 34;
  l.catalog = false;
  qm::layout_write(t, l);
  EXPECT_EQ(t.serialize(),
            "\n[SIZE]\nMAXIMIZED=0\nWidth=700\nHeight=500\nLeft=12\nTop=34\nTool=1\nCatalog=0\n"
            "Preview=1\n");
  qm::WindowLayout back = qm::layout_read(t, 1024, 768);
  EXPECT_EQ(back.width, 700);
  EXPECT_EQ(back.left, 12);
  EXPECT_FALSE(back.catalog);
}

TEST(PageSize, ResultCount) {
  const std::pair<const char*, int> cases[] = {
      {"", 100}, {"ResultCount=5\n", 100}, {"ResultCount=10\n", 10}, {"ResultCount=50\n", 50},
      {"ResultCount=abc\n", 100}, {"ResultCount=-20\n", 100}};
  for (auto [text, size] : cases)
    EXPECT_EQ(qm::pending_page_size(tree_of(std::string("[VESPRIN]\n") + text)), size) << text;
}

TEST(StartUp, CacheDirLexiconAndCloseStore) {
  qm::test::TempDir dir;
  EXPECT_FALSE(qm::desktop_config_readable(dir.path()));
  qm::test::write_file(dir / "VESPRIN.INI", "[VESPRIN]\nSearcher=/s\n[HISTORY]\n0=a\n");
  EXPECT_TRUE(qm::desktop_config_readable(dir.path()));  // found case-blind
  ASSERT_TRUE(qm::desktop_write_cache_dir(dir.path()));
  const std::string ini = qm::test::read_file(dir / "VESPRIN.INI");
  EXPECT_NE(ini.find("CacheDir=" + dir.path() + "Cache/\n"), std::string::npos) << ini;

  EXPECT_FALSE(qm::desktop_lexicon_present(dir.path()));
  qm::test::write_file(dir.sub("lexdb") + "CINDEX.DB", "x");
  EXPECT_TRUE(qm::desktop_lexicon_present(dir.path()));

  qm::WindowLayout l;
  l.width = 800, l.height = 600;
  ASSERT_TRUE(qm::desktop_store_on_close(dir.path(), {"b", "c"}, l));
  qm::IniTree t;
  ASSERT_TRUE(t.load(dir / "VESPRIN.INI"));
  EXPECT_EQ(qm::history_read(t), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(t.get("SIZE", "Width"), "800");
  EXPECT_EQ(t.get("VESPRIN", "Searcher"), "/s");
}

}  // namespace

namespace {

TEST(PageSize, PageStartOfThePagingButtons) {
  struct Case {
    int start, size, hits, direction, want;
  };
  const Case cases[] = {
      {1, 100, 250, +1, 101}, {101, 100, 250, +1, 201}, {201, 100, 250, +1, 201},
      {201, 100, 250, -1, 101}, {1, 100, 250, -1, 1},   {51, 100, 250, -1, 1},
      {1, 100, 100, +1, 1},     {1, 0, 250, +1, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qm::page_start_after(c.start, c.size, c.hits, c.direction), c.want)
        << c.start << " " << c.size << " " << c.hits << " " << c.direction;
}

}  // namespace
