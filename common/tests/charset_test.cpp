// Tests of charset detection and conversion to Big5.
#include "common/charset.h"

#include <gtest/gtest.h>

#include "common/tests/random_text.h"

namespace {

using qm::Charset;

// "中文" in Big5, UTF-8 and GBK.
const std::string kBig5Zhongwen = "\xA4\xA4\xA4\xE5";
const std::string kUtf8Zhongwen = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kGbkZhongwen = "\xD6\xD0\xCE\xC4";

TEST(ExtractCharset, Utf8Validity) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii", true},
      {kUtf8Zhongwen, true},
      {kBig5Zhongwen, false},
      {"\xC0\x80", false},          // overlong NUL
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"abc\xE4\xB8", true},        // cut in its last character
      {"abc\xE4\xB8x", false},      // broken in the middle
      {"\x80", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(qm::utf8_is_valid(c.bytes), c.valid);
  }
}

TEST(ExtractCharset, DetectionByMarkAndValidity) {
  struct Case {
    std::string bytes;
    Charset expected;
  } cases[] = {
      {"\xEF\xBB\xBFhello", Charset::Utf8},
      {"\xFF\xFEh\0", Charset::Utf16LE},
      {"\xFE\xFF\0h", Charset::Utf16BE},
      {"hello " + kUtf8Zhongwen, Charset::Utf8},
      {"hello " + kBig5Zhongwen, Charset::Big5},
      {"only ascii", Charset::Big5},  // ASCII is the same either way
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(qm::charset_detect(c.bytes), c.expected);
  }
}

TEST(ExtractCharset, HtmlDeclaredCharset) {
  struct Case {
    std::string page;
    Charset expected;
    std::string name;
  } cases[] = {
      {"<html><head><meta charset=\"big5\"></head>", Charset::Big5, ""},
      {"<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">",
       Charset::Utf8, ""},
      {"<meta http-equiv=content-type content='text/html;charset = x-x-big5'>", Charset::Big5, ""},
      {"<?xml version=\"1.0\" encoding=\"Big5\"?><html>", Charset::Big5, ""},
      {"<meta charset=gb2312>", Charset::Other, "GB18030"},
      // Western labels say nothing useful here: the bytes decide.
      {"<meta charset=\"iso-8859-1\">", Charset::Unknown, ""},
      {"<meta charset=\"no-such-charset\">", Charset::Unknown, ""},
      {"<meta name=\"keywords\" content=\"charset\"><meta charset=utf-8>", Charset::Utf8, ""},
      // Declarations inside the body do not count.
      {"<html><body><p>x</p><meta charset=big5>", Charset::Unknown, ""},
      {"<html><head><title>none</title></head>", Charset::Unknown, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    qm::CharsetChoice choice = qm::html_declared_charset(c.page);
    EXPECT_EQ(choice.charset, c.expected);
    EXPECT_EQ(choice.name, c.name);
  }
}

// Declarations that disagree, or do not fit the bytes, give way to what the bytes are.
TEST(ExtractCharset, ChoiceWhenDeclarationsDisagree) {
  const std::string xml_utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  struct Case {
    const char* what;
    std::string page;
    Charset expected;
  } cases[] = {
      {"xml utf-8 over meta big5, big5 bytes",
       xml_utf8 + "<html><head><meta charset=big5></head><body>" + kBig5Zhongwen, Charset::Big5},
      {"xml utf-8 over meta big5, utf-8 bytes",
       xml_utf8 + "<html><head><meta charset=big5></head><body>" + kUtf8Zhongwen, Charset::Utf8},
      {"one declaration that fits", "<meta charset=big5><body>" + kBig5Zhongwen, Charset::Big5},
      {"utf-8 declared, big5 bytes", "<meta charset=utf-8><body>" + kBig5Zhongwen, Charset::Big5},
      {"big5 declared, utf-8 bytes", "<meta charset=big5><body>" + kUtf8Zhongwen, Charset::Utf8},
      {"gbk declared and fitting", "<meta charset=gbk><body>" + kGbkZhongwen, Charset::Other},
      // A damaged byte in a UTF-8 page that fits nothing: the declaration still holds.
      {"nothing fits", "<meta charset=utf-8><body>" + kUtf8Zhongwen + "\xFF" + kUtf8Zhongwen,
       Charset::Utf8},
      {"ascii only", xml_utf8 + "<meta charset=big5><body>plain", Charset::Utf8},
      {"nothing declared", "<body>" + kBig5Zhongwen, Charset::Unknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(qm::html_choose_charset(c.page).charset, c.expected);
  }
  EXPECT_TRUE(qm::big5_is_strict("ab" + kBig5Zhongwen));
  EXPECT_FALSE(qm::big5_is_strict(kUtf8Zhongwen));
  EXPECT_FALSE(qm::big5_is_strict("\xA4"));
  EXPECT_FALSE(qm::big5_is_strict("\xA4\x80"));
}

// GCC 12 warns falsely (-Wmaybe-uninitialized) about the strings of the cases built
// from "{}" when it inlines their destruction.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
TEST(ExtractCharset, ConversionToBig5) {
  struct Case {
    const char* what;
    std::string bytes;
    qm::CharsetChoice choice;
    std::string expected;
  } cases[] = {
      {"utf-8 detected", "a " + kUtf8Zhongwen, {}, "a " + kBig5Zhongwen},
      {"big5 detected", "a " + kBig5Zhongwen, {}, "a " + kBig5Zhongwen},
      {"utf-8 mark dropped", "\xEF\xBB\xBF" + kUtf8Zhongwen, {}, kBig5Zhongwen},
      // An emoji and a Hangul syllable have no Big5 form: a blank each, so their
      // neighbours stay apart; a soft hyphen and a zero-width joiner just vanish.
      {"no big5 form", "x\xF0\x9F\x98\x80y\xED\x95\x9Cz", {Charset::Utf8, ""}, "x y z"},
      {"invisible", "hy\xC2\xADphen\xE2\x80\x8Dx", {Charset::Utf8, ""}, "hyphenx"},
      {"no-break space", "a\xC2\xA0" "b", {Charset::Utf8, ""}, "a b"},
      {"euro sign", "\xE2\x82\xAC", {Charset::Utf8, ""}, "\xA3\xE1"},
      // Control bytes become blanks in UTF-8 text as in Big5 text; white space stays.
      {"utf-8 control bytes", std::string("a\x01\0b\x7F\tc\r\n", 9) + kUtf8Zhongwen,
       {Charset::Utf8, ""}, "a  b \tc\r\n" + kBig5Zhongwen},
      {"bad utf-8 bytes", "a\xFF" "b" + kUtf8Zhongwen, {Charset::Utf8, ""},
       "a b" + kBig5Zhongwen},
      // Stray high bytes, a lead without its trail, NUL and control bytes part words.
      {"big5 cleaned", std::string("a\x80" "b\0c\x01", 6) + kBig5Zhongwen + "\xA4",
       {Charset::Big5, ""}, "a b c " + kBig5Zhongwen + " "},
      {"gbk bytes iconv cannot read", "a\xFF" "b", {Charset::Other, "GB18030"}, "a b"},
      {"line breaks kept", "a\r\nb\tc\fd", {Charset::Big5, ""}, "a\r\nb\tc\fd"},
      {"utf-16le", std::string("\xFF\xFE" "-\0\x2D\x4E\x87\x65", 8), {}, "-" + kBig5Zhongwen},
      {"utf-16be", std::string("\xFE\xFF\x4E\x2D\x65\x87", 6), {}, kBig5Zhongwen},
      {"gbk through iconv", kGbkZhongwen, {Charset::Other, "GB18030"}, kBig5Zhongwen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(qm::text_to_big5(c.bytes, c.choice), c.expected);
  }
}
#pragma GCC diagnostic pop

TEST(ExtractCharset, CodePointToBig5) {
  struct Case {
    char32_t code;
    bool ok;
    std::string expected;
  } cases[] = {
      {U'A', true, "A"},
      {0x4E2D, true, "\xA4\xA4"},   // 中
      {0x3002, true, "\xA1\x43"},   // 。
      {0x3000, true, "\xA1\x40"},   // ideographic space
      {0xA0, true, " "},
      {0x1F600, false, ""},
      {0xAC00, false, ""},          // Hangul
      {0, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(unsigned(c.code));
    std::string out;
    EXPECT_EQ(qm::big5_append_code_point(out, c.code), c.ok);
    EXPECT_EQ(out, c.expected);
  }
}

// Seeded random and mutated documents in every charset: nothing reads out of bounds (the
// sanitizer build) and the converted and cleaned texts hold only ASCII (tab, line breaks
// and form feed among the control bytes) and whole Big5 pairs.
TEST(CharsetRobustness, RandomBytesConvertToCleanBig5) {
  const std::vector<std::string> samples = {
      "\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87 text\r\n\xF0\x9F\x98\x80",
      std::string("\xFF\xFE\x2D\x4E\x00\xD8\x41\x00", 8),
      std::string("\xFE\xFF\x4E\x2D\xDC\x00", 6),
      "\xA4\xA4\xA4\xE5\xB3\x5C\x80\xFF\x1A",
  };
  const qm::CharsetChoice choices[] = {
      {qm::Charset::Unknown, ""}, {qm::Charset::Big5, ""}, {qm::Charset::Utf8, ""},
      {qm::Charset::Utf16LE, ""}, {qm::Charset::Utf16BE, ""}, {qm::Charset::Other, "GB18030"},
      {qm::Charset::Other, "ISO-8859-1"}};
  std::vector<std::string> inputs = {std::string("\xA4", 1), std::string("\xE4\xB8", 2),
                                     std::string("\xFF\xFE\x41", 3), std::string("\0", 1)};
  qm::test::RandomText rnd(0xC5E7);
  for (int n = 0; n < 1500; ++n) inputs.push_back(rnd.input(samples, 300));

  for (size_t n = 0; n < inputs.size(); ++n) {
    const std::string& input = inputs[n];
    qm::test::InputTrace trace(input);
    std::string clean = qm::big5_clean(input);
    EXPECT_TRUE(qm::test::only_ascii_and_pairs(clean, "\t\n\r\f")) << ::testing::PrintToString(clean);
    EXPECT_EQ(qm::big5_clean(clean), clean);
    const qm::CharsetChoice& choice = choices[n % std::size(choices)];
    std::string big5 = qm::text_to_big5(input, choice);
    EXPECT_TRUE(qm::test::only_ascii_and_pairs(big5, "\t\n\r\f")) << ::testing::PrintToString(big5);
    qm::charset_detect(input);
    qm::html_declared_charset(input);
    qm::html_choose_charset(input);
    qm::utf8_is_valid(input);
  }
}

}  // namespace
