// Tests of header texts: encoded words (broken, nested, control bytes, Big5, UTF-8 and
// GB2312 words made Big5 by iconv's CP950 table), unfolding and parameters, Big5 cuts.
#include "mail/decode/header.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace qm::mail;

// 中文 in Big5.
const std::string kZhongWen = "\xA4\xA4\xA4\xE5";

struct WordCase {
  const char* text;
  std::string expected;
};

TEST(EncodedWords, DecodeIntoBig5) {
  const WordCase cases[] = {
      {"=?big5?B?pKSk5Q==?=", kZhongWen},
      {"=?BIG5?b?pKSk5Q==?=", kZhongWen},                 // letter in either case
      {"=?utf-8?B?5Lit5paH?=", kZhongWen},                // UTF-8 made Big5
      {"=?gb2312?B?1tDOxA==?=", kZhongWen},               // GB2312 made Big5
      {"=?utf-8?Q?=E4=B8=AD=E6=96=87?=", kZhongWen},
      {"Re: =?big5?B?pKQ=?= =?big5?B?pOU=?= x", "Re: " + kZhongWen + " x"},  // blanks between words go
      {"=?big5?B?pKQ=?=\r\n\t=?big5?B?pOU=?=", kZhongWen},
      {"=?us-ascii?Q?a?= b", "a b"},
      {"=?us-ascii?Q?Meeting_notes_for_Monday?=", "Meeting notes for Monday"},  // "_" is a blank
      {"=?us-ascii?q?a=5Fb_?= c", "a_b  c"},              // "=5F" is the underscore
      {"=?us-ascii?B?YV9i?=", "a_b"},                     // "_" of base64 bytes stays
      {"a_b =?us-ascii?Q?x?=", "a_b x"},                  // and outside words
      {"=?us-ascii?Q?a?b?=", "=?us-ascii?Q?a?b?="},       // a "?" inside: no word
      {"=?big5?B?pKSk5Q==", "=?big5?B?pKSk5Q=="},         // unclosed: left as it stands
      {"=?x?Z?bad?= =?us-ascii?Q?ok?=", "=?x?Z?bad?= ok"},  // malformed, then the scan goes on
      {"=?big5?B?p K?= t", "=?big5?B?p K?= t"},           // blanks inside: no word
      {"=?us-ascii?Q?=3D=3Fus-ascii=3FQ=3Fx=3F=3D?=", "=?us-ascii?Q?x?="},  // not decoded twice
      {"=?big5?B?SG=sbG8=?=", "=?big5?B?SG=sbG8=?="},     // bad base64 inside
      {"=?utf-8*en?Q?ok?=", "ok"},                        // language suffix
      {"\xE4\xB8\xAD\xE6\x96\x87", kZhongWen},            // undeclared UTF-8
      {"\xA4\xA4\xA4\xE5", kZhongWen},                    // undeclared Big5 stays
      {"plain", "plain"},
  };
  for (const WordCase& c : cases) EXPECT_EQ(decode_encoded_words(c.text), c.expected) << c.text;
}

// Values of a megabyte whose every "=?" opens a word that never closes, or that a blank
// or a "?" breaks, come back as they are (each attempt reads only its own word); a
// decoder that looked to the end of the value for each word would take hours here.
TEST(EncodedWords, MegabyteOfBrokenWordsComesBackWhole) {
  const std::string units[] = {"=?utf-8?q?abc ", "=?utf-8?b?QUJD", "=?", "=?x?q?a?b", "=?big5?B?pKSk5Q=="};
  for (const std::string& unit : units) {
    std::string value;
    while (value.size() < (size_t(1) << 20)) value += unit;
    EXPECT_EQ(decode_encoded_words(value), value) << unit;
    // A good word at the end is still found and decoded.
    EXPECT_EQ(decode_encoded_words(value + " =?us-ascii?Q?the_end?="), value + " the end") << unit;
  }
}

TEST(EncodedWords, ControlBytesBecomeBlanks) {
  const WordCase cases[] = {
      {"=?us-ascii?Q?a=00b?=", "a b"},
      {"=?us-ascii?Q?a=0D=0Ab?=", "a  b"},
      {"=?us-ascii?B?YQ1i?=", "a b"},
  };
  for (const WordCase& c : cases) {
    std::string text = decode_encoded_words(c.text);
    blank_controls(text);
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(Big5Cut, NeverSplitsAPair) {
  EXPECT_EQ(big5_cut("ab" + kZhongWen, 3), "ab");
  EXPECT_EQ(big5_cut("ab" + kZhongWen, 4), "ab\xA4\xA4");
  EXPECT_EQ(big5_cut("a" + kZhongWen, 4), "a\xA4\xA4");
  EXPECT_EQ(big5_cut("abc", 5), "abc");
  EXPECT_EQ(big5_cut("a\xA4<", 2), "a\xA4");  // 0x3C is no trail byte: 0xA4 stands alone
}

TEST(HeaderBlock, UnfoldsBlankAndTabContinuations) {
  const auto fields = parse_header_block(
      "From - Thu Dec 10 00:00:00 2026\r\n"
      "Subject: one\r\n two\r\n\tthree\r\n"
      "From: a@b\nTo: c@d,\r\n    e@f\r\n"
      "X-Empty:\r\n"
      "Content-Type: multipart/mixed;\r\n\tboundary=\"b1\"");
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(*find_field(fields, "subject"), "one two\tthree");
  EXPECT_EQ(*find_field(fields, "FROM"), "a@b");
  EXPECT_EQ(*find_field(fields, "To"), "c@d,    e@f");
  EXPECT_EQ(*find_field(fields, "x-empty"), "");
  EXPECT_EQ(field_parameter(*find_field(fields, "Content-Type"), "boundary"), "b1");
  EXPECT_EQ(find_field(fields, "Date"), nullptr);
}

struct ParamCase {
  const char* value;
  const char* name;
  const char* expected;
};

TEST(HeaderBlock, Parameters) {
  const ParamCase cases[] = {
      {"multipart/mixed; boundary=abc def", "boundary", "abc"},  // unquoted stops at a blank
      {"multipart/mixed; boundary=abc;x=1", "boundary", "abc"},  // or at ";"
      {"multipart/mixed; BOUNDARY=\"a;b c\"", "boundary", "a;b c"},
      {"text/plain; filename=x.txt; name=y.txt", "name", "y.txt"},  // "filename" is not "name"
      {"text/plain; x=\"q;name=no\"; name=yes", "name", "yes"},
      {"text/plain", "charset", ""},
      {"text/plain; charset = big5", "charset", "big5"},
  };
  for (const ParamCase& c : cases) EXPECT_EQ(field_parameter(c.value, c.name), c.expected) << c.value;
  EXPECT_EQ(field_main_value(" Text/Plain ; charset=x", 79), "Text/Plain");
}

TEST(CharsetText, DeclaredAndUndeclared) {
  EXPECT_EQ(mail_text_to_big5("\xE4\xB8\xAD\xE6\x96\x87", "utf-8"), kZhongWen);
  EXPECT_EQ(mail_text_to_big5(kZhongWen, "big5"), kZhongWen);
  EXPECT_EQ(mail_text_to_big5(kZhongWen, "utf-8"), kZhongWen);  // mislabelled Big5 kept
  EXPECT_EQ(mail_text_to_big5(kZhongWen, "iso-8859-1"), kZhongWen);
  EXPECT_EQ(mail_text_to_big5("caf\xC3\xA9", "utf-8"), "caf ");  // no Big5 form: a blank
}

}  // namespace
