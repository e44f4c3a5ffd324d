// Output character sets: MapText16 in-process against Python's cp1252 and cp950 codecs and
// the 0x90-0x97 replacements; the charset names and the output set rule through whole
// exports (the template asks for Pragma.Charset).
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "filters/html/pc_charsets.h"
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

std::string run_python(const std::string& code) {
  qm::test::TempDir dir("pagecast-charset-");
  return python(dir.path(), code);
}

TEST(PagecastMapText16Test, Cp1252ToUnicodeAgreesWithPython) {
  std::vector<uint16_t> units(256);
  for (int i = 0; i < 256; ++i) units[size_t(i)] = uint16_t(i);
  ASSERT_EQ(MapText16(units.data(), 256, KVXCS_CP1252, KVXCS_UNICODE), KVX_OK);
  std::istringstream in(run_python(
      "for b in range(256):\n"
      "    try: print(ord(bytes([b]).decode('cp1252')))\n"
      "    except UnicodeDecodeError: print(64)\n"));
  for (int i = 0; i < 256; ++i) {
    int expected = 0;
    ASSERT_TRUE(in >> expected);
    if (i == 0) expected = 0x40;  // a mapped 0 is written as "@"
    EXPECT_EQ(units[size_t(i)], expected) << i;
  }
}

TEST(PagecastMapText16Test, UnicodeToCp1252AndCp950AgreeWithPython) {
  std::vector<uint16_t> sample;
  for (uint32_t c = 0x20; c < 0x3000; c += 7) sample.push_back(uint16_t(c));
  for (uint32_t c = 0x4E00; c < 0x9FA5; c += 97) sample.push_back(uint16_t(c));
  std::string list;
  for (uint16_t c : sample) list += std::to_string(c) + ",";
  std::string code =
      "import sys\ncodec = sys.argv[1] if len(sys.argv) > 1 else ''\n"
      "for name in ('cp1252', 'cp950'):\n"
      "    out = []\n"
      "    for c in [" + list + "]:\n"
      "        try:\n"
      "            b = chr(c).encode(name)\n"
      "            out.append(b[0] if len(b) == 1 else b[0] << 8 | b[1])\n"
      "        except UnicodeEncodeError: out.append(64)\n"
      "    print(' '.join(map(str, out)))\n";
  std::istringstream in(run_python(code));
  for (uint32_t target : {KVXCS_CP1252, KVXCS_BIG5}) {
    std::vector<uint16_t> units = sample;
    ASSERT_EQ(MapText16(units.data(), uint32_t(units.size()), KVXCS_UNICODE, target), KVX_OK);
    for (size_t i = 0; i < units.size(); ++i) {
      int expected = 0;
      ASSERT_TRUE(in >> expected);
      // C1 controls take the ASCII replacements (below); the framework's Big5 table is
      // glibc's, compared with Python's for ASCII and the ideographs.
      if (sample[i] >= 0x90 && sample[i] <= 0x97) continue;
      if (target == KVXCS_BIG5 && sample[i] >= 0x80 && sample[i] < 0x4E00) continue;
      EXPECT_EQ(units[i], expected) << std::hex << target << " U+" << sample[i];
    }
  }
}

TEST(PagecastMapText16Test, QuotesAndDashesOfTheWindowsRange) {
  struct Case {
    uint32_t source, target;
    std::vector<uint16_t> in, out;
  } cases[] = {
      // Windows to ISO-8859-1: curly quotes and dashes become their ASCII forms.
      {KVXCS_CP1252, 0x00080101, {0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x90},
       {0x27, 0x27, 0x22, 0x22, 0x40, 0x2D, 0x2D, 0x40}},
      // ISO-8859-1's C1 controls into a Windows set keep 0x91-0x94, 0x96 and 0x97.
      {0x00080101, 0x14E20100, {0x90, 0x91, 0x93, 0x95, 0x97}, {0x40, 0x91, 0x93, 0x40, 0x97}},
      // Both ids resolve to the same set: untouched.
      {KVXCS_ASCII, KVXCS_CP1252, {0x93, 0x00, 0x4E2D}, {0x93, 0x00, 0x4E2D}},
      // A double-byte target keeps "@".
      {0x00080101, KVXCS_BIG5, {0x93}, {0x40}},
  };
  for (Case& c : cases) {
    std::vector<uint16_t> v = c.in;
    ASSERT_EQ(MapText16(v.data(), uint32_t(v.size()), c.source, c.target), KVX_OK);
    EXPECT_EQ(v, c.out) << std::hex << c.source << " " << c.target;
  }
}

TEST(PagecastCharsetTableTest, ThirtySixRowsAndTheFallback) {
  size_t n = 0;
  const CharsetRow* rows = charset_table(&n);
  EXPECT_EQ(n, 36u);
  EXPECT_STREQ(charset_row(0x80050100).name, "x-mac-cyrillic");
  EXPECT_STREQ(charset_row(KVXCS_CP1252).name, "us-ascii");
  EXPECT_EQ(charset_row(0x12345678).id, 0x00030100u);
  EXPECT_STREQ(rows[35].name, "iso-2022-jp");
}

using PagecastCharsetExportTest = PagecastTest;

TEST_F(PagecastCharsetExportTest, NamesAndTheOutputSetRule) {
  struct Case {
    const char* doc;
    uint32_t option;
    const char* name;
  } cases[] = {
      {"section wp\ntext cp1252 \"a\"\n", KVXCS_BIG5, "big5"},
      {"section wp\ntext cp1252 \"a\"\n", KVXCS_UTF8, "UTF-8"},
      {"section wp\ntext big5 \"中\"\n", 0x00080101, "big5"},          // not narrowed to one byte
      {"section wp\ntext cp1252 \"a\"\n", 0x00080101, "iso-8859-1"},
      {"section wp\ntext unicode \"a\"\n", 0x00080102, "iso-8859-2"},
      {"section wp\ntext cp1252 \"a\"\n", 0x12345678, "us-ascii"},
      {"section wp\ntext cp1252 \"a\"\n", 0x80050100, "x-mac-cyrillic"},
  };
  for (const Case& c : cases) {
    Result r = run(c.doc, "{VELMINS ELEMENT=Pragma.Charset}", {word(KVXOPT_CHARSET, c.option)});
    EXPECT_EQ(r.run, KVX_OK) << c.name;
    EXPECT_EQ(r.out, c.name);
  }
  // UTF-8 is written as 16-bit Unicode text in the UTF-8 form.
  Result u = run("section wp\ntext big5 \"中\"\n", "{VELMINS ELEMENT=Sections.1.Body}", {word(KVXOPT_CHARSET, KVXCS_UTF8)});
  EXPECT_EQ(u.out, "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>\xE4\xB8\xAD</P>\r\n");
}

}  // namespace
}  // namespace pc::test
