// Character maps, names, lead bytes, wide strings and framework texts through libkvx.so.
// Big5 is checked against Python's cp950 codec as an independent table.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "filters/framework/tests/framework_fixture.h"

namespace kvx::test {
namespace {

KVXCHARMAPREQUEST request(uint32_t source, uint32_t target) {
  KVXCHARMAPREQUEST r{};
  r.Size = sizeof r;
  r.Replacement = '@';
  r.Word2 = 1;
  r.Source = source;
  r.Target = target;
  return r;
}

using CharmapTest = FrameworkTest;

TEST_F(CharmapTest, RequestAndMapLayouts) {
  EXPECT_EQ(sizeof(KVXCHARMAPREQUEST), 416u);
  EXPECT_EQ(offsetof(KVXCHARMAPREQUEST, Source), 12u);
  EXPECT_EQ(offsetof(KVXCHARMAP, Page), 4u);
  EXPECT_EQ(sizeof(KVXNUMBERFORMATS), 32u);
}

TEST_F(CharmapTest, ChineseAndCp1252Characters) {
  struct Case {
    uint32_t source, target, in, out;
  } cases[] = {
      {KVXCS_UNICODE, KVXCS_BIG5, 0x4E2D, 0xA4A4},  // 中
      {KVXCS_BIG5, KVXCS_UNICODE, 0xA4A4, 0x4E2D},
      {KVXCS_BIG5, KVXCS_UNICODE, 'A', 'A'},
      {KVXCS_CP1252, KVXCS_UNICODE, 0x93, 0x201C},
      {KVXCS_ASCII, KVXCS_UNICODE, 0x93, 0x201C},   // generic ids are CP1252
      {KVXCS_UTF8, KVXCS_CP1252, 0x20AC, 0x80},     // the UTF-8 id maps as Unicode
      {KVXCS_BIG5, KVXCS_CP1252, 0xA4A4, '@'},      // no such character: the replacement
      {KVXCS_BIG5, KVXCS_UNICODE, 0xA4, '@'},       // a lead byte alone
      // One byte in three sets whose ids differ in their top bits: each answers its own.
      {0x80000100, KVXCS_UNICODE, 0x80, 0xC4},      // Mac Roman: Ä
      {0x00080101, KVXCS_UNICODE, 0x80, 0x80},      // ISO 8859-1: a C1 control
      {KVXCS_CP1252, KVXCS_UNICODE, 0x80, 0x20AC},  // €
      {0x80000100, KVXCS_UNICODE, 0x80, 0xC4},      // asked again
      {KVXCS_UNICODE, KVXCS_BIG5, 0xD800, '@'},     // a lone surrogate is no character
  };
  for (const Case& c : cases) {
    KVXCHARMAP* map = nullptr;
    KVXCHARMAPREQUEST r = request(c.source, c.target);
    ASSERT_EQ(UTCreateMap(&map, &r), KVX_OK);
    uint32_t result = 0;
    ASSERT_EQ(UTMapCharRtn(map, c.in, &result), KVX_OK);
    EXPECT_EQ(result >> 16, c.out) << std::hex << c.source << " " << c.in;
    EXPECT_EQ(result & 1, c.out == '@' ? 1u : 0u);
    // The loaded page agrees with the routine.
    EXPECT_EQ(map->LoadedPage, 0);
    for (uint32_t ch = 0; ch < 256; ch += 37) {
      uint32_t via = 0;
      UTMapCharRtn(map, ch, &via);
      EXPECT_EQ(map->Page[ch], via);
    }
    EXPECT_EQ(UTReleaseMap(map), KVX_OK);
  }
}

TEST_F(CharmapTest, Big5AgreesWithPythonCp950) {
  // Python prints "code unicode encoding" for every code of the two ranges that it
  // decodes; the encoding differs from the code for the few duplicate codes.
  std::string py =
      "import sys\n"
      "for lo, hi in ((0xA140, 0xC67E), (0xC940, 0xF9D5)):\n"
      "  for c in range(lo, hi + 1):\n"
      "    t = c & 0xFF\n"
      "    if not (0x40 <= t <= 0x7E or 0xA1 <= t <= 0xFE): continue\n"
      "    try: u = bytes([c >> 8, t]).decode('cp950')\n"
      "    except UnicodeDecodeError: continue\n"
      "    if len(u) == 1: print('%X %X %s' % (c, ord(u), u.encode('cp950').hex()))\n";
  qm::test::write_file(dir_ / "cp950.py", py);
  std::string out;
  ASSERT_EQ(qm::test::command_output("python3 " + dir_ / "cp950.py", out), 0);
  KVXCHARMAP* to_unicode = nullptr;
  KVXCHARMAP* to_big5 = nullptr;
  KVXCHARMAPREQUEST r1 = request(KVXCS_BIG5, KVXCS_UNICODE), r2 = request(KVXCS_UNICODE, KVXCS_BIG5);
  ASSERT_EQ(UTCreateMap(&to_unicode, &r1), KVX_OK);
  ASSERT_EQ(UTCreateMap(&to_big5, &r2), KVX_OK);
  std::istringstream in(out);
  unsigned code = 0, uni = 0;
  std::string encoded;
  size_t checked = 0, mismatches = 0;
  while (in >> std::hex >> code >> uni >> encoded) {
    uint32_t got = 0, back = 0;
    UTMapCharRtn(to_unicode, code, &got);
    UTMapCharRtn(to_big5, uni, &back);
    unsigned want_back = unsigned(std::stoul(encoded, nullptr, 16));
    if (((got >> 16) != uni || (back >> 16) != want_back) && ++mismatches <= 10)
      ADD_FAILURE() << std::hex << code << " -> " << (got >> 16) << " (" << uni << "), back " << (back >> 16) << " ("
                    << want_back << ")";
    ++checked;
  }
  EXPECT_GT(checked, 13000u);
  EXPECT_EQ(mismatches, 0u);
  UTReleaseMap(to_unicode);
  UTReleaseMap(to_big5);
}

TEST_F(CharmapTest, SetsNamesAndUnsupportedSets) {
  EXPECT_EQ(UTGetUnknownCharSet(0), KVXCS_CP1252);
  EXPECT_EQ(UTGetUnknownCharSet(KVXCS_GENERIC1), KVXCS_CP1252);
  EXPECT_EQ(UTGetUnknownCharSet(KVXCS_GENERIC2), KVXCS_CP1252);
  EXPECT_EQ(UTGetUnknownCharSet(KVXCS_ASCII), KVXCS_CP1252);
  EXPECT_EQ(UTGetUnknownCharSet(KVXCS_BIG5), KVXCS_BIG5);
  EXPECT_EQ(UTGetUnknownCharSet(KVXCS_UTF8), KVXCS_UNICODE);
  auto name = [](const char* s) {
    std::vector<uint16_t> w(s, s + std::strlen(s));
    w.push_back(0);
    return UTCharSetFromName(w.data());
  };
  EXPECT_EQ(name("big5"), KVXCS_BIG5);
  EXPECT_EQ(name("BIG5"), KVXCS_BIG5);
  EXPECT_EQ(name("windows-1252"), KVXCS_CP1252);
  EXPECT_EQ(name("UTF-8"), KVXCS_UTF8);
  EXPECT_EQ(name("klingon"), 0u);
  const uint16_t wide[] = {0x4E2D, 0};
  EXPECT_EQ(UTCharSetFromName(wide), 0u);
  EXPECT_EQ(UTCharSetFromName(nullptr), 0u);
  // Sets without a glibc table: a documented status, no map.
  for (uint32_t set : {0x80060100u, 0x80030100u, 0x0F0C0000u, 0x12345678u}) {
    KVXCHARMAP* map = reinterpret_cast<KVXCHARMAP*>(1);
    KVXCHARMAPREQUEST r = request(set, KVXCS_UNICODE);
    EXPECT_EQ(UTCreateMap(&map, &r), KVXERR_UNSUPPORTED) << std::hex << set;
    EXPECT_EQ(map, nullptr);
  }
  KVXCHARMAP* map = nullptr;
  KVXCHARMAPREQUEST bad = request(KVXCS_BIG5, KVXCS_UNICODE);
  bad.Size = 12;
  EXPECT_EQ(UTCreateMap(&map, &bad), KVXERR_BADPARAM);
}

TEST_F(CharmapTest, LeadBytesAndWidening) {
  EXPECT_EQ(UTIsLeadByte(KVXCS_BIG5, 0xA4), 1);
  EXPECT_EQ(UTIsLeadByte(KVXCS_BIG5, 0xF9), 1);
  EXPECT_EQ(UTIsLeadByte(KVXCS_BIG5, 0xFF), 0);
  EXPECT_EQ(UTIsLeadByte(KVXCS_BIG5, 0x41), 0);
  EXPECT_EQ(UTIsLeadByte(KVXCS_BIG5, 0x80), 0);
  EXPECT_EQ(UTIsLeadByte(KVXCS_CP1252, 0xA4), 0);
  EXPECT_EQ(UTIsLeadByte(KVXCS_UNICODE, 0xA4), 0);
  uint16_t out[8];
  const char text[] = "\xA4\xA4" "a\xA4";  // 中, a, a lead byte at the end
  EXPECT_EQ(UTMultiToDoubleByte(KVXCS_BIG5, text, 4, out, 8), 3u);
  EXPECT_EQ(out[0], 0xA4A4);
  EXPECT_EQ(out[1], 'a');
  EXPECT_EQ(out[2], 0xA4);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(UTMultiToDoubleByte(KVXCS_BIG5, text, 4, out, 2), 1u);  // capacity counts the 0
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(UTMultiToDoubleByte(KVXCS_CP1252, text, 4, out, 8), 4u);
}

TEST_F(CharmapTest, WideStringsAndFileNames) {
  uint16_t buf[16];
  const uint16_t ab[] = {'a', 'b', 0}, c[] = {'c', 0};
  EXPECT_EQ(UTwstrlen(ab), 2u);
  UTwstrcpy(buf, ab);
  UTwstrcat(buf, c);
  EXPECT_EQ(UTwstrlen(buf), 3u);
  EXPECT_EQ(UTwstrcmp(buf, ab), 1);
  EXPECT_EQ(UTwstrcmp(ab, buf), -1);
  EXPECT_EQ(UTwstrcmp(ab, ab), 0);
  EXPECT_STREQ(UTGetFileNameFromPath("/a/b/c.doc"), "c.doc");
  EXPECT_STREQ(UTGetFileNameFromPath("C:\\dir\\x.doc"), "x.doc");
  // 0x5C as the trail byte of a Big5 character is no separator (功 is A5 5C).
  EXPECT_STREQ(UTGetFileNameFromPath("/d/\xA5\x5C.doc"), "\xA5\x5C.doc");
  const uint16_t wpath[] = {'/', 'x', '/', 0x4E2D, 0};
  EXPECT_EQ(UTGetWideFileNameFromPath(wpath), wpath + 3);
}

TEST_F(CharmapTest, FrameworkTexts) {
  char buf[64];
  EXPECT_EQ(UTGetString(0x12EE1, buf, sizeof buf, 0), KVX_OK);
  EXPECT_STREQ(buf, "Document");
  EXPECT_EQ(UTGetString(0x10107, buf, sizeof buf, 0), KVX_OK);
  EXPECT_STREQ(buf, "TRUE");
  EXPECT_EQ(UTGetString(0x100DC, buf, sizeof buf, 0), KVX_OK);
  EXPECT_STREQ(buf, "January");
  EXPECT_EQ(UTGetString(0x14268 + 5, buf, sizeof buf, 0), KVX_OK);
  EXPECT_STREQ(buf, "Title");
  EXPECT_EQ(UTGetString(0x12EE1, buf, 4, 0), KVX_OK);
  EXPECT_STREQ(buf, "Doc");
  EXPECT_EQ(UTGetString(0x99999, buf, sizeof buf, 0), KVXERR_NOTFOUND);
  EXPECT_STREQ(buf, "");
  KVXTestStringMode(1);
  EXPECT_EQ(UTGetString(0x12EE1, buf, sizeof buf, 0), KVX_OK);
  EXPECT_STREQ(buf, "#12EE1#");
  KVXTestStringMode(0);
  EXPECT_EQ(UTGetString(1, nullptr, 0, 0), KVXERR_BADPARAM);
}

}  // namespace
}  // namespace kvx::test
