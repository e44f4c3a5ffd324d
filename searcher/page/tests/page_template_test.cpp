// Tests of the page-template engine: parsing, setting values, loops and rendering.
#include "searcher/page/page_template.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "common/strings.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string render(std::string_view text, const std::vector<std::pair<std::string, std::string>>& sets) {
  PageTemplate t = tmpl_parse(text);
  for (const auto& [name, value] : sets) tmpl_set_value(t, name, value);
  tmpl_render(t);
  return t.page().value_or("<no page>");
}

struct RenderCase {
  const char* label;
  std::string text;
  std::vector<std::pair<std::string, std::string>> sets;  // tmpl_set_value, in order
  std::string expected;
};

TEST(PageTemplateRender, TagKindsByteExact) {
  const RenderCase cases[] = {
      {"no tags", "plain <b>text</b>\n<!-- c -->", {}, "plain <b>text</b>\n<!-- c -->"},
      {"value tag", "A<!%KEYWORDS%!>B", {{"KEYWORDS", "x"}}, "AxB"},
      {"names are case-blind, leading blanks skipped", "A<!%   Keywords%!>B",
       {{"KEYWORDS", "x"}}, "AxB"},
      {"a blank before the close is part of the name", "[<!%KEYWORDS %!>]",
       {{"KEYWORDS", "x"}}, "[]"},
      {"... and that name fills it", "[<!%KEYWORDS %!>]", {{"keywords ", "x"}}, "[x]"},
      {"unfilled value writes nothing", "a<!%X%!>b", {}, "ab"},
      {"CRs after the close dropped, LF kept", "<!%A%!>\r\r\nx\r\n", {{"A", "v"}}, "v\nx\r\n"},
      {"set fills the next unfilled place", "<!%N%!>,<!%N%!>,<!%N%!>", {{"N", "1"}, {"N", "2"}},
       "1,2,"},
      {"loop of 3, two values: third copy skipped",
       "<!%T_Loop 3%!>[<!%N%!>]<!%/T_Loop%!>.", {{"N", "1"}, {"N", "2"}}, "[1][2]."},
      {"loop without NOT_SKIP_ALL: one unfilled tag skips the copy",
       "<!%T_Loop 2%!>(<!%A%!>,<!%B%!>)<!%/T_Loop%!>", {{"A", "1"}}, ""},
      {"NOT_SKIP_ALL: one filled tag writes the copy",
       "<!%T_Loop 2 NOT_SKIP_ALL%!>(<!%A%!>,<!%B%!>)<!%/T_Loop%!>", {{"A", "1"}}, "(1,)"},
      {"not_skip_all in any case", "<!%T_LOOP 2 not_skip_all%!>(<!%A%!>)<!%/t_loop%!>",
       {{"A", "1"}}, "(1)"},
      {"keyword ends at a digit; case-blind keyword", "<!%t_loop10%!>x<!%/T_LOOP%!>", {},
       "xxxxxxxxxx"},
      {"loop without count stands once", "<!%T_Loop%!>x<!%/T_Loop%!>", {}, "x"},
      {"loop with count 0 stands once", "<!%T_Loop 0%!>x<!%/T_Loop%!>", {}, "x"},
      {"empty value counts as filled", "<!%T_Loop 1%!>[<!%A%!>]<!%/T_Loop%!>", {{"A", ""}},
       "[]"},
      {"a skipped copy takes later copies with it",
       "<!%T_Loop 3%!>[<!%A%!>]<!%/T_Loop%!>", {{"A", "1"}}, "[1]"},
      {"nested loops", "<!%T_Loop 2%!>[<!%T_Loop 3%!>x<!%/T_Loop%!>]<!%/T_Loop%!>", {},
       "[xxx][xxx]"},
      {"nested loops fill in document order",
       "<!%T_Loop 2%!>(<!%T_Loop 2%!><!%V%!><!%/T_Loop%!>)<!%/T_Loop%!>",
       {{"V", "a"}, {"V", "b"}, {"V", "c"}, {"V", "d"}}, "(ab)(cd)"},
      {"outer NOT_SKIP_ALL holds for every outer copy, inner flag aside",
       "<!%T_Loop 2 NOT_SKIP_ALL%!>(<!%A%!><!%B%!><!%T_Loop%!>i<!%/T_Loop%!>)<!%/T_Loop%!>",
       {{"A", "1"}, {"A", "2"}}, "(1i)(2i)"},
      {"unknown T_ word: block without NOT_SKIP_ALL always skipped",
       "<!%T_Loop 2%!>a<!%T_Bogus%!>b<!%/T_Loop%!>.", {}, "."},
      {"unknown T_ word outside blocks writes nothing", "a<!%T_Bogus 3%!><!%SQLX%!>b", {}, "ab"},
      {"unknown T_ word is never filled", "a<!%T_Bogus%!>b", {{"T_Bogus", "x"}, {"", "y"}}, "ab"},
      {"declaration block hides its text and its tags",
       "a<!%T_Declare%!>hidden<!%K%!><!%/T_Declare%!>b<!%K%!>", {{"K", "v"}}, "abv"},
      {"unclosed declaration block reaches to the end", "a<!%T_Declare%!>b<!%K%!>",
       {{"K", "v"}}, "a"},
      {"constant outside a declaration block is written",
       "<!% T_CONST  PROPERTY_FORMAT=Date \t%!>|", {}, "PROPERTY_FORMAT=Date|"},
      {"constant without = is dropped", "a<!%T_CONST X%!>b", {}, "ab"},
      {"SQL words are inert", "a<!%SQL_RECNO%!><!%sql_result%!><!%SQL_RECCOUNT 3%!>b", {},
       "ab"},
      {"SQL_CMD keeps the text from SELECT on", "<!%SQL_CMD xx select * from t %!>", {},
       "select * from t "},
      {"SQL_CMD without SELECT is dropped", "a<!%SQL_CMD delete t%!>b", {}, "ab"},
      {"closing T_Loop without a block is ignored", "a<!%/T_Loop%!>b<!%X%!>", {{"X", "x"}},
       "abx"},
      {"unclosed tag ends the template", "a<!%X%!>b<!% c d", {{"X", "x"}}, "axb"},
      {"empty tag is an unreachable value", "a<!%%!>b", {{"", "x"}}, "ab"},
      {"tag text may hold <!%", "<!%a <!% b%!>", {{"a <!% b", "x"}}, "x"},
      // Big5: trail bytes 0x5C and 0x7C, lead bytes right before a tag; no Big5
      // character can hold "<", "!", "%" or ">", so tags are found byte by byte.
      {"Big5 text around tags", "\xA5\x5C<!%K%!>\xA6\x7C\xA4\x40<!%K%!>\xB3\x5C",
       {{"K", "\xA7\x41"}, {"K", "!"}}, "\xA5\x5C\xA7\x41\xA6\x7C\xA4\x40!\xB3\x5C"},
      {"Big5 tag name", "<!%\xA5\x5C\xA6\x7C%!>", {{"\xA5\x5C\xA6\x7C", "v"}}, "v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(render(c.text, c.sets), c.expected);
  }
}

TEST(PageTemplateSet, AllPlacesAndNumbers) {
  PageTemplate t = tmpl_parse("<!%H%!>|<!%T_Loop 3%!><!%h%!>;<!%N%!>,<!%/T_Loop%!>|<!%N%!>");
  EXPECT_EQ(tmpl_set_value(t, "N", "a"), 1);
  EXPECT_EQ(tmpl_set_text(t, "H", "x"), 4);
  EXPECT_EQ(tmpl_set_text(t, "H", "y"), 0);
  EXPECT_EQ(tmpl_set_value_number(t, "n", -5), 1);
  EXPECT_EQ(tmpl_set_number(t, "N", 2147483647), 2);
  EXPECT_EQ(tmpl_set_value(t, "N", "z"), 0);
  EXPECT_EQ(tmpl_set_value(t, "MISSING", "z"), 0);
  tmpl_render(t);
  EXPECT_EQ(*t.page(), "x|x;a,x;-5,x;2147483647,|2147483647");
}

TEST(PageTemplateConst, ReadsConstantsEverywhere) {
  PageTemplate t = tmpl_parse(
      "<!%T_Declare%!><!%T_CONST PROPERTY_FORMAT=%04d%!><!%T_CONST A=1=2%!><!%/T_Declare%!>"
      "<!%T_CONST B = x%!><!%T_CONST PROPERTY_FORMAT=second%!>");
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"property_format", "%04d"},  // first one wins, declaration blocks included
      {"A", "1=2"},
      {"B ", " x"},  // the text before "=" as written
      {"B", std::nullopt},
      {"C", std::nullopt},
  };
  for (const auto& [name, want] : cases) {
    std::string out = "unchanged";
    EXPECT_EQ(tmpl_get_const(t, name, out), want ? 1 : 0) << name;
    EXPECT_EQ(out, want.value_or("unchanged")) << name;
  }
  tmpl_render(t);
  EXPECT_EQ(*t.page(), "B = xPROPERTY_FORMAT=second");
}

TEST(PageTemplateLoop, CopiesAreCapped) {
  PageTemplate one = tmpl_parse("<!%T_Loop 2000000000%!>x<!%/T_Loop%!>");
  tmpl_render(one);
  EXPECT_EQ(one.page()->size(), static_cast<size_t>(kTemplateMaxLoopCopies));

  // Nested blocks share the budget: the page stays bounded whatever the counts say.
  PageTemplate nested = tmpl_parse(
      "<!%T_Loop 100000%!>[<!%T_Loop 100000%!>x<!%/T_Loop%!>]<!%/T_Loop%!>");
  tmpl_render(nested);
  EXPECT_LE(nested.page()->size(), static_cast<size_t>(3 * kTemplateMaxLoopCopies));
  EXPECT_EQ(nested.page()->substr(0, 3), "[xx");

  // Values still fill every copy in order.
  PageTemplate filled = tmpl_parse("<!%T_Loop 20000%!><!%V%!><!%/T_Loop%!>");
  EXPECT_EQ(tmpl_set_text(filled, "V", "v"), kTemplateMaxLoopCopies);
}

TEST(PageTemplateLoop, OnlyOneHundredOpenBlocksAreRemembered) {
  // 100 open blocks of one copy each, then a block of 3 at depth 101: its opening tag is
  // not remembered, so its closing tag ends the 100th block and "x" stands once; the
  // closing tag left over at the end has no open block and is ignored.
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<!%T_Loop%!>";
    text += "<!%T_Loop 3%!>x<!%/T_Loop%!>";
    for (int i = 0; i < depth; ++i) text += "<!%/T_Loop%!>";
    return text + ".";
  };
  const std::pair<int, std::string> cases[] = {{99, "xxx."}, {100, "x."}};
  for (const auto& [depth, page] : cases) EXPECT_EQ(render(nested(depth), {}), page) << depth;
}

TEST(PageTemplateRender, RenderAgainAndClone) {
  PageTemplate t = tmpl_parse("<!%A%!>-<!%B%!>");
  tmpl_set_value(t, "A", "1");
  PageTemplate copy = tmpl_clone(t);
  tmpl_render(t);
  EXPECT_EQ(*t.page(), "1-");
  EXPECT_FALSE(copy.page().has_value());

  tmpl_set_value(copy, "B", "2");
  tmpl_render(copy);
  EXPECT_EQ(*copy.page(), "1-2");

  tmpl_set_value(t, "B", "3");
  tmpl_render(t);
  EXPECT_EQ(*t.page(), "1-3");

  tmpl_free(t);
  EXPECT_TRUE(t.empty());
  EXPECT_FALSE(t.page().has_value());
}

class PageTemplateFiles : public ::testing::Test {
 protected:
  void TearDown() override { prog_set_output(nullptr); }
  std::string write_file(const std::string& name, const std::string& data) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  qm::test::TempDir tmp_{"qm_page_t"};
  fs::path dir_ = tmp_.dir();
};

TEST_F(PageTemplateFiles, LoadCases) {
  EXPECT_FALSE(tmpl_load((dir_ / "missing.htm").string()).has_value());
  EXPECT_FALSE(tmpl_load(write_file("empty.htm", "")).has_value());
  EXPECT_FALSE(tmpl_load("").has_value());
  EXPECT_FALSE(tmpl_load(write_file("unclosed.htm", "<!% never closed")).has_value());
  EXPECT_FALSE(tmpl_load("", std::string_view("")).has_value());

  // A given text is parsed instead of the file.
  auto given = tmpl_load((dir_ / "missing.htm").string(), std::string_view("t<!%X%!>"));
  ASSERT_TRUE(given.has_value());
  tmpl_set_value(*given, "X", "1");
  tmpl_render(*given);
  EXPECT_EQ(*given->page(), "t1");

  // Templates are read as text: CR LF line ends come out as LF.
  auto crlf = tmpl_load(write_file("crlf.htm", "<HTML>\r\n<!%X%!>\r\n</HTML>\r\n"));
  ASSERT_TRUE(crlf.has_value());
  tmpl_set_value(*crlf, "X", "v");
  tmpl_render(*crlf);
  EXPECT_EQ(*crlf->page(), "<HTML>\nv\n</HTML>\n");
}

TEST_F(PageTemplateFiles, WriteToFileAndOutput) {
  PageTemplate t = tmpl_parse("<HTML><!%X%!></HTML>\n");
  tmpl_set_value(t, "X", "\xA5\x5C");
  std::string path = (dir_ / "page.htm").string();
  // Renders on demand.
  EXPECT_TRUE(tmpl_render_file(t, &path));
  EXPECT_EQ(read(path), "<HTML>\xA5\x5C</HTML>\n");

  std::string out_path = (dir_ / "stdout.txt").string();
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  prog_set_output(out);
  EXPECT_TRUE(tmpl_render_file(t, nullptr));
  prog_set_output(nullptr);
  std::fclose(out);
  EXPECT_EQ(read(out_path), "<HTML>\xA5\x5C</HTML>\n");

  // A page that rendered to nothing writes nothing (and creates no file).
  PageTemplate nothing = tmpl_parse("<!%X%!>");
  std::string none_path = (dir_ / "none.htm").string();
  EXPECT_TRUE(tmpl_render_file(nothing, &none_path));
  EXPECT_FALSE(fs::exists(none_path));

  // A page already rendered is written as it is.
  PageTemplate once = tmpl_parse("<!%X%!>.");
  tmpl_render(once);
  tmpl_set_value(once, "X", "late");
  std::string once_path = (dir_ / "once.htm").string();
  EXPECT_TRUE(tmpl_render_file(once, &once_path));
  EXPECT_EQ(read(once_path), ".");
}

}  // namespace
}  // namespace qm
