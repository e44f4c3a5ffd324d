// Page output, escaping, entity decoding and the markup scanner.
#include "common/html.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "common/strings.h"
#include "testsupport/test_files.h"

namespace {

class HtmlOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::html_reset();
    out_ = std::tmpfile();
    qm::prog_set_output(out_);
  }
  void TearDown() override {
    qm::prog_set_output(nullptr);
    std::fclose(out_);
    qm::html_reset();
    qm::prog_quiet(1);
  }
  std::string written() { return qm::test::file_contents(out_); }
  std::FILE* out_ = nullptr;
};

TEST_F(HtmlOutput, OneHeaderThenTextAndLines) {
  qm::html_set_content_type("text/html; charset=big5");
  EXPECT_FALSE(qm::html_header_written());
  qm::html_content_type();
  qm::html_content_type();
  EXPECT_TRUE(qm::html_header_written());
  qm::html_put_text("<P>");
  qm::html_put_char('x');
  qm::html_put_bytes("ab\0c", 4);
  qm::html_put_line("\xAF\xF9");  // 茶
  static const char expected[] = "Content-Type: text/html; charset=big5\r\n\r\n<P>xab\0c\xAF\xF9<BR>\n";
  EXPECT_EQ(written(), std::string(expected, sizeof expected - 1));
}

TEST_F(HtmlOutput, ScriptBlockFrame) {
  qm::html_script_begin();
  qm::html_script_end();
  EXPECT_EQ(written(), "<SCRIPT LANGUAGE = \"JavaScript\">\n<!--\n// -->\n</SCRIPT>");
}

TEST_F(HtmlOutput, QuietSuppressesHeaderButSetsTheFlag) {
  qm::prog_quiet(0);
  qm::html_content_type();
  qm::prog_quiet(1);
  qm::html_content_type();
  EXPECT_EQ(written(), "");
}

TEST(HtmlEncode, EscapesMarkupKeepsBig5) {
  struct Case {
    std::string text, out;
    size_t size;
  } cases[] = {
      {"a<b>&c", "a&lt;b&gt;&amp;c", 1 + 4 + 1 + 4 + 5 + 1},
      {"line1\r\nline2\r\n", "line1<BR>\rline2<BR>\r", 5 + 5 + 5 + 5},
      {"tea time", "tea time", 3 + 6 + 4},
      // 許 (trail 0x5C) and 台 (trail "x") pass unchanged; a pair counts 2
      {"\xB3\x5C\xA5\x78<", "\xB3\x5C\xA5\x78&lt;", 2 + 2 + 4},
      // a lead byte before "<" is no pair: "<" is still escaped
      {"\xA4<", "\xA4&lt;", 1 + 4},
      {"ab\xFFgone", "ab", 2},
      {std::string("ab\0cd", 5), "ab", 2},
  };
  for (const auto& c : cases) {
    std::string out;
    qm::html_encode(c.text, out);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(qm::html_encoded_size(c.text), c.size) << c.text;
  }
}

TEST(HtmlDecode, NamedEntitiesCaseBlind) {
  struct Case {
    std::string text, out;
  } cases[] = {
      {"&lt;b&gt;", "<b>"},
      {"a&NBSP;b&Amp;c&quot;", "a b&c\""},
      {"&#65; & &bogus;", "&#65; & &bogus;"},
      {"x&", "x&"},
      {"&amp", "&amp"},
      {"\xA4\x26lt;", "\xA4\x26lt;"},  // not a pair (0x26 < 0x40): the entity is decoded below
  };
  for (const auto& c : cases) {
    std::string out;
    qm::html_decode_entities(c.text, out);
    if (c.text == "\xA4\x26lt;")
      EXPECT_EQ(out, "\xA4<");
    else
      EXPECT_EQ(out, c.out) << c.text;
  }
}

TEST(HtmlScanner, SkipsTagsCommentsAndScripts) {
  struct Case {
    const char* text;
    const char* rest;  // what follows the position; nullptr for none
  } cases[] = {
      {"<B>bold", "bold"},
      {"<!-- a > b -->after", "after"},
      {"<!-- unterminated > x", " x"},
      {"<script type=x>if (a<b) {}</SCRIPT>tail", ">tail"},
      {"<SCRIPT><!-- </SCRIPT> --></script>z", ">z"},
      {"< 3 apples", " 3 apples"},  // not markup: only "<" is passed
      {"<A HREF=x", ""},
      {"<script>never ends", nullptr},
  };
  for (const auto& c : cases) {
    const char* p = qm::html_skip_tag(c.text);
    if (!c.rest)
      EXPECT_EQ(p, nullptr) << c.text;
    else {
      ASSERT_NE(p, nullptr) << c.text;
      EXPECT_STREQ(p, c.rest) << c.text;
    }
  }
  const char* plain = "abc";
  EXPECT_EQ(qm::html_skip_tag(plain), plain);
  EXPECT_TRUE(qm::html_is_tag_char('%'));
  EXPECT_FALSE(qm::html_is_tag_char(' '));
}

TEST(HtmlScanner, EndTagAndFindOutsideMarkup) {
  const char* page = "<TITLE>a</B></title x>rest";
  EXPECT_STREQ(qm::html_skip_to_end_tag(page, "TITLE"), " x>rest");
  EXPECT_EQ(qm::html_skip_to_end_tag("<p>none", "TITLE"), nullptr);

  struct Case {
    const char* text;
    const char* find;
    const char* rest;
  } cases[] = {
      {"<!-- <body> --><BODY>text", "<body>", "text"},
      {"<!-- <body> -->", "<body>", nullptr},
      {"\xA5\x78yz xyz", "xyz", ""},  // 台's trail "x" does not start a match
      {"<body>", "<body>x", nullptr},  // the text runs out before the pattern does
      {"x<!-- a", "a", nullptr},       // an unended comment hides the rest
  };
  for (const auto& c : cases) {
    const char* p = qm::html_find_outside_markup(c.text, c.find);
    if (!c.rest)
      EXPECT_EQ(p, nullptr);
    else {
      ASSERT_NE(p, nullptr) << c.text;
      EXPECT_STREQ(p, c.rest);
    }
  }
}

}  // namespace
