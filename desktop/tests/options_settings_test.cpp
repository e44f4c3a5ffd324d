// Tests of the options dialog's settings without Qt: the composed MarkBeginText, the
// re-application of a highlight to stored brief views (inside the mark tags only, lengths
// kept), the extension rules, the labels and page size read back, and the keys written by
// the four save steps, read back with Python's configparser.
#include "desktop/options_settings.h"

#include <gtest/gtest.h>

#include "testsupport/test_files.h"

namespace qm {
namespace {

TEST(MarkBeginText, ComposedFromSizeAndColours) {
  struct Case {
    HighlightChoice choice;
    const char* text;
  } cases[] = {
      {{9, 15, 0}, "<FONT SIZE=5 COLOR=#ff0000 STYLE=BACKGROUND:#ffffff>"},
      {{-1, -1, 5}, "<FONT>"},
      {{12, -1, 5}, "<FONT COLOR=#0000ff>"},
      {{-1, 0, 2}, "<FONT SIZE=3 STYLE=BACKGROUND:#000000>"},
      {{1, 4, 4}, "<FONT SIZE=1 COLOR=#800000 STYLE=BACKGROUND:#000080>"},
  };
  for (const Case& c : cases) EXPECT_EQ(MarkBeginText(c.choice), c.text);
  EXPECT_EQ(KeyColorText(12), "0000ff");
  EXPECT_EQ(KeyColorText(8), "c0c0c0");
  EXPECT_EQ(KeyColorText(-1), "");
  EXPECT_EQ(KeyColorText(16), "");
  const HighlightMarks off = HighlightMarksOf({-1, -1, 5});
  EXPECT_EQ(off, (HighlightMarks{-1, "", ""}));
  EXPECT_EQ(HighlightMarksOf({9, 15, 1}), (HighlightMarks{4, "ff0000", "ffffff"}));
}

TEST(ReapplyHighlight, ChangesOnlyTheMarkTags) {
  const std::string mark = "<FONT SIZE=5 COLOR=#ff0000 STYLE=BACKGROUND:#ffffff>";
  struct Case {
    const char* name;
    std::string view;
    HighlightMarks marks;
    std::string expected;
  } cases[] = {
      {"new values", "a " + mark + "tea</FONT> b", {3, "0000ff", "00ff00"},
       "a <FONT SIZE=3 COLOR=#0000ff STYLE=BACKGROUND:#00ff00>tea</FONT> b"},
      {"all off", mark + "x</FONT>", {-1, "", ""},
       "<FONT" + std::string(7, ' ') + std::string(15, ' ') + "STYLE=" + std::string(18, ' ') +
           ">x</FONT>"},
      {"document text untouched", "SIZE=7 COLOR=#123456 " + mark + "x</FONT> BACKGROUND:#abcdef",
       {2, "800000", "000000"},
       "SIZE=7 COLOR=#123456 <FONT SIZE=2 COLOR=#800000 STYLE=BACKGROUND:#000000>x</FONT> "
       "BACKGROUND:#abcdef"},
      {"every mark of a long view",
       std::string(1500, 'z') + mark + "a</FONT>" + std::string(800, 'y') + mark + "b</FONT>",
       {1, "ffff00", "000080"},
       std::string(1500, 'z') + "<FONT SIZE=1 COLOR=#ffff00 STYLE=BACKGROUND:#000080>a</FONT>" +
           std::string(800, 'y') + "<FONT SIZE=1 COLOR=#ffff00 STYLE=BACKGROUND:#000080>b</FONT>"},
      {"a mark cut at the end stays", "x<FONT SIZE=5 COLOR=#ff", {2, "000000", ""},
       "x<FONT SIZE=2 COLOR=#ff"},
      {"other tags", "<FONTX SIZE=5><font size=5>", {2, "", ""}, "<FONTX SIZE=5><font size=5>"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = c.view.size();
    ReapplyHighlight(c.view, c.marks);
    EXPECT_EQ(c.view, c.expected);
    EXPECT_EQ(c.view.size(), before);
  }
}

TEST(Extensions, Rules) {
  const std::vector<std::string> list{"txt", "log"};
  struct Case {
    const char* typed;
    bool accepted;
  } cases[] = {{"TXT", false}, {"Pdf", false}, {"c++", false}, {"HTML", false}, {"pgx", false},
               {"LOG", false}, {"", false},    {"abcdef", false}, {"Ini", true}, {"c", true},
               {"mp3", true},  {"\xA4\xA4", false}};
  for (const Case& c : cases)
    EXPECT_EQ(OptionsExtAccept(list, OptionsExtNormalise(c.typed)), c.accepted) << c.typed;
  EXPECT_EQ(OptionsExtNormalise("AbC"), "abc");
  // Removing a selection with "txt" in it keeps "txt" first.
  EXPECT_EQ(OptionsExtRemove({"txt", "c", "h", "bas"}, {0, 1, 3}), (std::vector<std::string>{"txt", "h"}));
  EXPECT_EQ(OptionsExtRemove({"txt"}, {0}), (std::vector<std::string>{"txt"}));
}

TEST(OtherPage, LabelsAndPageSize) {
  EXPECT_EQ(OptionsLeadingNumber("85%"), 85);
  EXPECT_EQ(OptionsLeadingNumber("-20%"), -20);
  EXPECT_EQ(OptionsLeadingNumber(""), 0);
  EXPECT_EQ(OptionsPercentLabel(85), "85%");
  const std::pair<const char*, int> counts[] = {{"5", 50}, {"100", 100}, {"", 50}, {"x", 50},
                                                {"30", 30}, {"500", 100}};
  for (auto [value, shown] : counts) EXPECT_EQ(OptionsResultCount(value), shown) << value;
}

TEST(OptionsFile, LoadDefaultsAndStoredValues) {
  test::TempDir dir("qm-options-");
  const std::string ini = dir / "vesprin.ini";
  const OptionsValues none = OptionsLoad(ini);
  // No keys: the search engine's own mark, red text of the page's size.
  EXPECT_EQ(none.highlight.fg_index, 9);
  EXPECT_EQ(none.highlight.bg_index, -1);
  EXPECT_EQ(none.highlight.size_index, 5);
  EXPECT_EQ(none.extensions, std::vector<std::string>{"txt"});
  EXPECT_EQ(none.result_count, 50);
  EXPECT_FALSE(none.idx_animate);

  test::write_file(ini, "[VESPRIN]\nKeyColorIndex=-1\nKeyColorBGIndex=99\nKeySize=3\n"
                        "TxtExtType=c,h,,bas\nMatchRate=85%\nPrecision=-20%\nIdxAnimate=1\n"
                        "ResultCount=5\n[DB-4]\nAutoIndex=1\n[DB-5]\nAutoIndex=yes\n");
  const OptionsValues v = OptionsLoad(ini);
  EXPECT_EQ(v.highlight.fg_index, -1);
  EXPECT_EQ(v.highlight.bg_index, -1);  // outside the grid: the mark in force has none
  EXPECT_EQ(v.highlight.size_index, 3);
  EXPECT_EQ(v.extensions, (std::vector<std::string>{"txt", "c", "h"}));
  EXPECT_EQ(v.match_rate_label, "85%");
  EXPECT_EQ(v.precision_label, "-20%");
  EXPECT_TRUE(v.idx_animate);
  EXPECT_EQ(v.result_count, 50);
  EXPECT_TRUE(OptionsAutoIndex(ini, 4));
  EXPECT_FALSE(OptionsAutoIndex(ini, 5));
  EXPECT_FALSE(OptionsAutoIndex(ini, 6));
}

// The keys after a save, as Python's configparser reads the file.
TEST(OptionsFile, SavedKeysReadByConfigparser) {
  test::TempDir dir("qm-options-");
  const std::string ini = dir / "vesprin.ini";
  test::write_file(ini, "[VESPRIN]\nCacheFile=1\n[DB-3]\nDescription=Docs\n");
  OptionsValues v;
  v.highlight = {12, -1, 1};
  v.extensions = {"txt", "c", "log"};
  v.match_rate_label = "85%";
  v.precision_label = "-20%";
  v.idx_animate = true;
  v.result_count = 30;
  v.auto_index = {{3, true}, {7, false}};
  bool saved = false;
  const HighlightMarks marks = OptionsSave(ini, v, &saved);
  EXPECT_TRUE(saved);
  EXPECT_EQ(marks, (HighlightMarks{4, "0000ff", ""}));
  std::string out;
  const std::string script =
      "import configparser,sys\n"
      "c=configparser.ConfigParser(interpolation=None)\nc.optionxform=str\n"
      "c.read(sys.argv[1])\n"
      "for s in c.sections():\n"
      "  for k in c[s]: print(s+'/'+k+'='+c[s][k])\n";
  test::write_file(dir / "read.py", script);
  ASSERT_EQ(test::command_output("python3 " + dir / "read.py" + " " + ini, out), 0);
  EXPECT_EQ(out,
            "VESPRIN/CacheFile=1\n"
            "VESPRIN/TxtExtType=c,log\n"
            "VESPRIN/MarkBeginText=<FONT SIZE=4 COLOR=#0000ff>\n"
            "VESPRIN/KeyColorIndex=12\n"
            "VESPRIN/KeyColorBGIndex=-1\n"
            "VESPRIN/KeySize=1\n"
            "VESPRIN/MatchRate=85%\n"
            "VESPRIN/Precision=-20%\n"
            "VESPRIN/IdxAnimate=1\n"
            "VESPRIN/ResultCount=30\n"
            "DB-3/Description=Docs\n"
            "DB-3/AutoIndex=1\n"
            "DB-7/AutoIndex=0\n");
  // Read back, the same values.
  const OptionsValues back = OptionsLoad(ini);
  EXPECT_EQ(back.highlight.fg_index, 12);
  EXPECT_EQ(back.highlight.bg_index, -1);
  EXPECT_EQ(back.extensions, v.extensions);
  EXPECT_EQ(back.result_count, 30);
}

// A file that cannot be read is written new by the first three steps; the fourth is left out.
// The dialog opens on the highlight in force: saved unchanged, the mark stays as it was,
// whether it came with its index keys or alone (as the setup and older files write it).
TEST(OptionsFile, UnchangedSaveKeepsTheMarkInForce) {
  const struct {
    const char* keys;
    const char* mark_after;
  } cases[] = {
      {"", "<FONT COLOR=#ff0000>"},
      {"MarkBeginText=<FONT COLOR=#FF0000>\n", "<FONT COLOR=#ff0000>"},
      {"MarkBeginText=<FONT SIZE=3 COLOR=#0000ff>\n", "<FONT SIZE=3 COLOR=#0000ff>"},
      {"MarkBeginText=<font size=2 style=background:#ffff00>\n", "<FONT SIZE=2 STYLE=BACKGROUND:#ffff00>"},
      {"MarkBeginText=<FONT SIZE=5 COLOR=#ff0000 STYLE=BACKGROUND:#ffffff>\n",
       "<FONT SIZE=5 COLOR=#ff0000 STYLE=BACKGROUND:#ffffff>"},
      {"MarkBeginText=<FONT>\n", "<FONT>"},
      // The index keys, when present, are the dialog's own record and win.
      {"MarkBeginText=<FONT COLOR=#FF0000>\nKeySize=2\nKeyColorIndex=12\nKeyColorBGIndex=-1\n",
       "<FONT SIZE=3 COLOR=#0000ff>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    test::TempDir dir("qm-options-");
    const std::string ini = dir / "vesprin.ini";
    test::write_file(ini, std::string("[VESPRIN]\n") + c.keys);
    bool saved = false;
    OptionsSave(ini, OptionsLoad(ini), &saved);
    const std::string text = test::read_file(ini);
    EXPECT_NE(text.find(std::string("MarkBeginText=") + c.mark_after), std::string::npos) << text;
  }
}

TEST(OptionsFile, MissingFileGetsTheFirstThreeSteps) {
  test::TempDir dir("qm-options-");
  const std::string ini = dir / "vesprin.ini";
  OptionsValues v;
  v.result_count = 70;
  bool saved = true;
  OptionsSave(ini, v, &saved);
  const std::string text = test::read_file(ini);
  EXPECT_NE(text.find("MarkBeginText=<FONT SIZE=5 COLOR=#ff0000 STYLE=BACKGROUND:#ffffff>"), std::string::npos);
  EXPECT_NE(text.find("KeySize=0"), std::string::npos);
  EXPECT_EQ(text.find("ResultCount"), std::string::npos);
  EXPECT_FALSE(saved);
}

}  // namespace
}  // namespace qm
