// Tests of the content decoders: base64 and quoted-printable against hand-made broken
// input, uuencoded lines made by sharutils' uuencode and BinHex 4.0 texts made by
// macutils' binhex (a bad header check gives no data, so the caller keeps a plain copy).
#include "mail/decode/codecs.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qm::mail::base64_decode;
using qm::mail::binhex_decode;
using qm::mail::quoted_printable_decode;
using qm::mail::uu_decode_lines;

struct Base64Case {
  const char* text;
  bool ok;
  const char* expected;
};

TEST(Base64, DecodesAndRejectsStrayPadding) {
  const Base64Case cases[] = {
      {"SGVsbG8=", true, "Hello"},
      {"SGVs\r\nbG8h", true, "Hello!"},             // line ends passed over
      {"SGVsbA==", true, "Hell"},
      {"SGVsbG8", true, "Hello"},                   // cut group gives its bytes
      {"SGVsbA", true, "Hell"},
      {"SGVsb", true, "Hel"},                       // a lone last character carries no byte
      {"SG=sbG8=", false, ""},                      // "=" in the second place
      {"=SGVs", false, ""},
      {"SG=x", false, ""},                          // "=" third without a partner
      {"SG=", false, ""},
      {"SGV=bG8=", true, "Helo"},                   // "=" fourth ends a group
      {"SGVsbA==SGk=", true, "HellHi"},             // groups after padding go on
      {"", true, ""},
  };
  for (const Base64Case& c : cases) {
    std::string out;
    EXPECT_EQ(base64_decode(c.text, out), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(out, c.expected) << c.text;
    }
  }
}

struct QpCase {
  const char* text;
  const char* expected;
};

TEST(QuotedPrintable, DecodesEscapesSoftBreaksAndKeepsBadEscapes) {
  const QpCase cases[] = {
      {"caf=C3=A9", "caf\xC3\xA9"},
      {"a=3db=3D", "a=b="},
      {"soft=\r\nbreak", "softbreak"},
      {"soft=\rbreak", "softbreak"},
      {"soft=\nbreak", "softbreak"},
      {"trail   \r\nnext", "trail\r\nnext"},  // blanks before a line end go
      {"100% =ZZ sure", "100% =ZZ sure"},     // not an escape: kept, decoding goes on
      {"end =4", "end =4"},
      {"end =", "end ="},
      {"under_score", "under_score"},         // "_" stays "_"
  };
  for (const QpCase& c : cases) EXPECT_EQ(quoted_printable_decode(c.text), c.expected) << c.text;
}

TEST(Uuencode, DecodesSharutilsOutputAndRejectsShortLines) {
  // uuencode hello.txt < "Hello, uuencode world!\nSecond line.\n"
  const std::string good = "D2&5L;&\\L('5U96YC;V1E('=O<FQD(0I396-O;F0@;&EN92X*\r\n`\r\nend\r\n";
  std::string out;
  ASSERT_TRUE(uu_decode_lines(good, out));
  EXPECT_EQ(out, "Hello, uuencode world!\nSecond line.\n");
  // LF line ends and an upper-case end line read the same.
  ASSERT_TRUE(uu_decode_lines("%2&5L;&\\ \n`\nEND\nignored", out));
  EXPECT_EQ(out, "Hello");
  // Trailing pad blanks stripped in transit still decode.
  ASSERT_TRUE(uu_decode_lines("%2&5L;&\\\r\nend\r\n", out));
  EXPECT_EQ(out, "Hello");
  // A line shorter than its count makes the whole decoding fail.
  EXPECT_FALSE(uu_decode_lines("D2&5L;&\\L('5U96YC\r\nend\r\n", out));
}

// binhex -d file with "Hello, uuencode world!\nSecond line.\n" (name h35_hello.txt).
const char kHello[] =
    "(This file must be converted; you knew that already.)\r\n\r\n"
    ":$@Jc09pSC@aXEbjdH(3!9%9B9%e\"3d%!N!8N!!!!!2d65'9XE'mX)(9eC@jMEf4\r\n"
    "P)(G[FQaN)3T6C@0[EQ3JE'PZC5i+rlF!!!:\r\n";
// binhex -d with bytes 0x90 x5 and a run of 26 "a" (run-length coded).
const char kRuns[] =
    "(This file must be converted; you knew that already.)\n\n"
    ":#fJc09pbE'8ZBQPZ!&4&@&40380\"!*!&-3!!!!\"P4f&LBj!!N!#3!*!!N!!JFQ9\n"
    "`C@&dC@3JBC!D)'9ZC!SAY`!!:\n";

TEST(BinHex, DecodesDataForkOfMacutilsOutput) {
  std::string out, name;
  ASSERT_TRUE(binhex_decode(kHello, out, &name));
  EXPECT_EQ(out, "Hello, uuencode world!\nSecond line.\n");
  EXPECT_EQ(name, "h35_hello.txt");
  ASSERT_TRUE(binhex_decode(kRuns, out));
  EXPECT_EQ(out, std::string("abc\x90\x90\x90\x90\x90 repeated ") + std::string(26, 'a') + " end\n");
}

TEST(BinHex, RejectsWhatIsNotBinHexOrFailsItsHeaderCheck) {
  std::string out;
  std::string bad_crc = kHello;
  bad_crc[bad_crc.find(":$@") + 8] = 'X';  // a name byte changed: the header CRC fails
  const std::string cases[] = {
      bad_crc,
      "plain text, not binhex",
      "(This file must be converted)\r\nno colon here",
      "(This file must be converted)\r\n\r\n:!!!:",  // header cut off
      "(This file must be converted)\r\n\r\n:",
  };
  for (const std::string& c : cases) EXPECT_FALSE(binhex_decode(c, out)) << c;
}

TEST(BinHex, ClampsDataLengthToDecodedBytes) {
  // The stream cut after the header: the promised data is not there; what is, is given.
  std::string cut = kHello;
  cut.resize(cut.find("P)(G["));
  std::string out;
  ASSERT_TRUE(binhex_decode(cut, out));
  EXPECT_LT(out.size(), 36u);
  EXPECT_EQ(std::string("Hello, uuencode world!\nSecond line.\n").substr(0, out.size()), out);
}

}  // namespace
