// Tests of the embedded font reader: the hand-typed fixtures against the writer, the
// directory and face lookup (rescan past 30 fonts), the index cache, the three fetches
// with their size limits, bounded reads of damaged fonts, and the caller's file offset.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "glyph/font_format.h"
#include "glyph/font_reader.h"
#include "glyph/tests/fixtures.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/font_writer.h"
#include "platform/le.h"

namespace qm::glyph::test {
namespace {

// "<prefix><n>", built by appending.
std::string Numbered(const char* prefix, int n) {
  std::string s(prefix);
  s.append(std::to_string(n));
  return s;
}

std::string Bytes(const unsigned char* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

HeadSpec Named(const std::string& face, size_t stored = 104) {
  HeadSpec h;
  h.face = face;
  h.stored_length = stored;
  return h;
}

// A font with a head named `face` and a cdat table of `glyphs` one-byte-body records.
std::string SimpleFont(const std::string& face, int glyphs, char mark = 'x') {
  std::map<uint16_t, std::string> recs;
  for (int i = 0; i < glyphs; ++i) recs[uint16_t(0x100 + i)] = GlyphRecord(-1, std::nullopt, std::string(1, mark));
  return Font({{"head", HeadTable(Named(face))}, {"cdat", CdatTable(recs)}});
}

// ---- Fixtures -----------------------------------------------------------------------

TEST(FontFixtures, HandTypedBytesEqualTheWriter) {
  std::string full = Directory({Font({{"head", HeadTable(Named("Ming"))},
                                      {"cdat", CdatTable({{0xA440, GlyphRecord(-1, std::nullopt,
                                                                               Call(7, {}, {{16, 32}}))}})}})});
  HeadSpec sans;
  sans.char_set = 0;
  sans.units_per_em = 1000;
  sans.third_word = 5;
  sans.face = "Sans";
  sans.second = "Alt";
  sans.stored_length = 70;
  std::array<uint8_t, 16> block;
  for (int i = 0; i < 16; ++i) block[size_t(i)] = uint8_t(i + 1);
  BitmapSpec g{3, 2, 0, 10, 4, 0, {"#.#", ".#."}};
  std::string shorthead =
      "PGX!" + Directory({Font({{"head", HeadTable(sans)},
                                {"strk", StrkTable({{3, Program(0, 2, "draw 0 1; end 0 0")}}, block, 0x1234)},
                                {"bmpd", BmpdTable({{12, {{0x41, BitmapGlyphBytes(g)}}}})}})},
                         7);
  std::string two = Directory({Font({{"kern", "zz"}, {"head", HeadTable(Named("A", 38))}}),
                               Font({{"cdat", "", true}, {"head", HeadTable(Named("B", 38))}})});
  struct Case {
    const char* name;
    std::string typed, written;
  } cases[] = {{"full", FixtureFullFont(), full},
               {"short head", FixtureShortHeadFont(), shorthead},
               {"two fonts", FixtureTwoFonts(), two}};
  for (const Case& c : cases) EXPECT_EQ(c.typed, c.written) << c.name;
}

TEST(FontReader, FullFixtureReadsHeadAndGlyph) {
  FontFile f(FixtureFullFont());
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
  FontHeader h;
  EXPECT_EQ(r.ReadHeadTable("MING", h), 104u);  // names compare case-blind
  EXPECT_EQ(h.char_set, 136);
  EXPECT_EQ(h.units_per_em, 256);
  EXPECT_EQ(h.face_name, "Ming");
  EXPECT_EQ(h.line_metric[1], -20);
  EXPECT_EQ(h.ascent, 220);
  EXPECT_EQ(h.descent, -36);
  EXPECT_EQ(h.max_ascent, 224);
  EXPECT_EQ(h.max_descent, 32);
  EXPECT_EQ(h.half_advance, 128);
  EXPECT_EQ(h.full_advance, 256);
  unsigned char buf[kGlyphRecordBuffer];
  ASSERT_EQ(r.ReadGlyphRecord(0xA440, buf, sizeof buf), 9u);
  EXPECT_EQ(Bytes(buf, 9), std::string("\xFF\xFF\x00\x00\x03\x00\x07\x10\x20", 9));
  EXPECT_EQ(r.ReadGlyphRecord(0xA441, buf, sizeof buf), 0u);
  EXPECT_EQ(r.ReadBitmapGlyph(0xA440, 16, buf, sizeof buf), 0u);  // no bmpd
  StrokeParameters p;
  EXPECT_FALSE(r.ReadStrokeParameters(p));                           // no strk
  EXPECT_EQ(r.ReadStrokeProgram(7, buf, sizeof buf), 0u);
}

TEST(FontReader, ShortHeadGetsDefaultsAndFetchesWork) {
  FontFile f(FixtureShortHeadFont());
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), kShortHeadDirOffset), kDirLoaded);
  FontHeader h;
  EXPECT_EQ(r.ReadHeadTable("sans", h), 70u);
  EXPECT_EQ(h.third_word, 5);
  EXPECT_EQ(h.second_name, "Alt");
  EXPECT_EQ(h.max_ascent, 0);      // = ascent
  EXPECT_EQ(h.max_descent, 0);     // = |descent|
  EXPECT_EQ(h.line_gap, -1000);    // ascent - descent - units per em
  EXPECT_EQ(h.further_metric, 0);
  EXPECT_EQ(h.half_advance, 500);
  EXPECT_EQ(h.full_advance, 1000);

  StrokeParameters p;
  ASSERT_TRUE(r.ReadStrokeParameters(p));
  EXPECT_EQ(p.program_count, 1);
  EXPECT_EQ(p.block[0], 1);
  EXPECT_EQ(p.block[15], 16);
  EXPECT_EQ(p.word, 0x1234);

  unsigned char buf[kStrokeProgramBuffer];
  ASSERT_EQ(r.ReadStrokeProgram(3, buf, sizeof buf), 6u);
  EXPECT_EQ(Bytes(buf, 6), std::string("\x00\x02\x03\x01\x70\x00", 6));
  EXPECT_EQ(r.ReadStrokeProgram(3, buf, 5), 0u);  // longer than the buffer: missing
  EXPECT_EQ(r.ReadStrokeProgram(4, buf, sizeof buf), 0u);

  ASSERT_EQ(r.ReadBitmapGlyph(0x41, 12, buf, sizeof buf), 14u);
  auto g = ParseBitmapGlyph(buf, 14);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->width, 3);
  EXPECT_EQ(g->height, 2);
  EXPECT_EQ(g->origin_y, 10);
  EXPECT_EQ(g->advance, 4);
  EXPECT_EQ(g->rows[0], 0xA0);
  EXPECT_EQ(g->rows[1], 0x40);
  EXPECT_FALSE(ParseBitmapGlyph(buf, 13));  // rows cut short
  EXPECT_EQ(r.ReadBitmapGlyph(0x41, 13, buf, sizeof buf), 0u);
  EXPECT_EQ(r.ReadBitmapGlyph(0x41, 12, buf, 13), 0u);
}

TEST(FontReader, UnknownTagsAndAbsentTablesAreSkipped) {
  FontFile f(FixtureTwoFonts());
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
  ASSERT_EQ(r.fonts().size(), 2u);
  EXPECT_EQ(r.fonts()[0].face_name, "A");
  EXPECT_EQ(r.fonts()[1].face_name, "B");
  EXPECT_EQ(r.fonts()[1].cdat, 0u);
  EXPECT_TRUE(r.FindFace("b"));
  unsigned char buf[16];
  EXPECT_EQ(r.ReadGlyphRecord(0x100, buf, sizeof buf), 0u);
  EXPECT_FALSE(r.FindFace("C"));
  EXPECT_FALSE(r.FindFace(""));
}

// ---- Directory ----------------------------------------------------------------------

TEST(FontReader, DirectoryResults) {
  std::string one = Directory({SimpleFont("F", 1)});
  std::string no_fonts("\x00\x00\x00\x00", 4);
  std::string offsets_cut = Directory({SimpleFont("F", 1)}).substr(0, 6);
  std::string big_count = one;
  le::put16(reinterpret_cast<unsigned char*>(big_count.data()) + 2, 0xFFFF);  // fonts past 30 unread
  struct Case {
    const char* name;
    std::string bytes;
    uint64_t at;
    int result;
  } cases[] = {
      {"loaded", one, 0, kDirLoaded},
      {"count 0", no_fonts, 0, kDirNoFonts},
      {"three bytes", std::string("\x00\x00\x01", 3), 0, kDirUnreadable},
      {"directory past the end", one, one.size(), kDirUnreadable},
      {"offset table cut", offsets_cut, 0, kDirUnreadable},
      {"offsets of the first 30 fit", big_count, 0, kDirLoaded},
      {"second offset past the end", std::string("\x00\x00\x02\x00\x08\x00\x00\x00", 8), 0,
       kDirUnreadable},
  };
  for (const Case& c : cases) {
    FontFile f(c.bytes);
    FontReader r;
    EXPECT_EQ(r.LoadFontDirectory(f.fd(), c.at), c.result) << c.name;
  }
  FontReader r;
  EXPECT_EQ(r.LoadFontDirectory(-1, 0), kDirUnreadable);
  EXPECT_FALSE(r.FindFace("F"));
}

TEST(FontReader, ThirtyFirstFontIsFoundByRescanAsOverflowFace) {
  std::vector<std::string> fonts;
  for (int i = 0; i < 31; ++i) fonts.push_back(SimpleFont(Numbered("Face", i), 1, char('a' + i % 26)));
  FontFile f(Directory(fonts));
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
  EXPECT_EQ(r.fonts().size(), 30u);
  EXPECT_EQ(r.directory_font_count(), 31);
  ASSERT_TRUE(r.FindFace("face29"));
  EXPECT_FALSE(r.current_is_overflow());
  ASSERT_TRUE(r.FindFace("FACE30"));
  EXPECT_TRUE(r.current_is_overflow());
  EXPECT_EQ(r.current_face()->face_name, "Face30");
  unsigned char buf[64];
  ASSERT_EQ(r.ReadGlyphRecord(0x100, buf, sizeof buf), 7u);
  EXPECT_EQ(buf[6], 'a' + 30 % 26);
  EXPECT_FALSE(r.FindFace("Face31"));
}

// ---- Strikes ------------------------------------------------------------------------

std::string StrikeGlyph(char mark) {
  return BitmapGlyphBytes({8, 1, 0, 0, 8, 0, {mark == '#' ? "#" : "##"}});
}

TEST(FontReader, OnlyFourStrikesAreSearchedAndTheLaterOfTwoSizesWins) {
  std::vector<Strike> strikes = {
      {10, {{0x41, StrikeGlyph('#')}}}, {12, {{0x41, StrikeGlyph('#')}}},
      {12, {{0x41, StrikeGlyph('.')}}},  // same size as the second: this one is used
      {14, {{0x41, StrikeGlyph('#')}}}, {16, {{0x41, StrikeGlyph('#')}}},
      {18, {{0x41, StrikeGlyph('#')}}}};
  FontFile f(Directory({Font({{"head", HeadTable(Named("S"))}, {"bmpd", BmpdTable(strikes)}})}));
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
  ASSERT_TRUE(r.FindFace("S"));
  EXPECT_EQ(r.current_face()->strike_count, 4);
  unsigned char buf[64];
  struct Case {
    uint16_t size;
    size_t length;
  } cases[] = {{10, 13}, {12, 13}, {14, 13}, {16, 0}, {18, 0}};
  for (const Case& c : cases) EXPECT_EQ(r.ReadBitmapGlyph(0x41, c.size, buf, sizeof buf), c.length) << c.size;
  ASSERT_EQ(r.ReadBitmapGlyph(0x41, 12, buf, sizeof buf), 13u);
  EXPECT_EQ(buf[12], 0xC0);  // the later 12-pixel strike's "##"
}

// ---- Record size limits -------------------------------------------------------------

TEST(FontReader, RecordLongerThanTheBufferIsMissing) {
  std::map<uint16_t, std::string> recs = {
      {1, GlyphRecord(-1, std::nullopt, std::string(5120 - 6, 'b'))},
      {2, GlyphRecord(-1, std::nullopt, std::string(5121 - 6, 'b'))}};
  FontFile f(Directory({Font({{"head", HeadTable(Named("R"))}, {"cdat", CdatTable(recs)}})}));
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
  ASSERT_TRUE(r.FindFace("R"));
  std::vector<unsigned char> buf(kGlyphRecordBuffer);
  EXPECT_EQ(r.ReadGlyphRecord(1, buf.data(), buf.size()), 5120u);
  EXPECT_EQ(r.ReadGlyphRecord(2, buf.data(), buf.size()), 0u);
}

// ---- Index cache --------------------------------------------------------------------

TEST(FontReader, FifthFaceEvictsTheFaceWithFewestRecords) {
  const int counts[] = {5, 2, 7, 3, 4};
  std::vector<std::string> fonts;
  for (int i = 0; i < 5; ++i) fonts.push_back(SimpleFont(Numbered("C", i), counts[i]));
  FontFile f(Directory(fonts));
  FontReader r;
  ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(r.FindFace(Numbered("C", i)));
  EXPECT_EQ(r.cached_faces(), (std::array<std::string, 4>{"C0", "C1", "C2", "C3"}));
  ASSERT_TRUE(r.FindFace("C4"));
  EXPECT_EQ(r.cached_faces(), (std::array<std::string, 4>{"C0", "C4", "C2", "C3"}));
  ASSERT_TRUE(r.FindFace("C2"));  // already cached: nothing moves
  EXPECT_EQ(r.cached_faces(), (std::array<std::string, 4>{"C0", "C4", "C2", "C3"}));
  unsigned char buf[16];
  EXPECT_EQ(r.ReadGlyphRecord(0x106, buf, sizeof buf), 7u);
  r.ClearIndexCache();
  EXPECT_EQ(r.cached_faces(), (std::array<std::string, 4>{}));
  EXPECT_EQ(r.ReadGlyphRecord(0x106, buf, sizeof buf), 7u);  // from the file
}

TEST(FontReader, IndexRunningPastTheFileIsNotCachedAndLookupsStayInside) {
  std::string font = Directory({Font({{"head", HeadTable(Named("X"))},
                                      {"cdat", CdatTable({{0x100, GlyphRecord(-1, std::nullopt, "q")}})},
                                      {"strk", StrkTable({{9, Program(0, 0, "end 0 0")}})}})});
  // Find the cdat and strk counts through the reader, then raise them.
  FontReader probe;
  uint64_t cdat = 0, strk = 0;
  {
    FontFile f(font);
    ASSERT_EQ(probe.LoadFontDirectory(f.fd(), 0), kDirLoaded);
    cdat = probe.fonts()[0].cdat;
    strk = probe.fonts()[0].strk;
  }
  for (uint64_t at : {cdat, strk}) {
    std::string bad = font;
    le::put16(reinterpret_cast<unsigned char*>(bad.data()) + at, 0xFFFF);
    FontFile f(bad);
    FontReader r;
    ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
    ASSERT_TRUE(r.FindFace("X"));
    EXPECT_EQ(r.cached_faces()[0], "");
    unsigned char buf[64];
    // Lookups read the file; entries past its end are never read.
    r.ReadGlyphRecord(0x100, buf, sizeof buf);
    r.ReadGlyphRecord(0xFFFF, buf, sizeof buf);
    r.ReadStrokeProgram(9, buf, sizeof buf);
    r.ReadStrokeProgram(0xFFFF, buf, sizeof buf);
  }
}

// ---- The caller's file offset -------------------------------------------------------

TEST(FontReader, CallersFileOffsetNeverMoves) {
  FontFile f(FixtureShortHeadFont());
  ASSERT_EQ(::lseek(f.fd(), 3, SEEK_SET), 3);
  FontReader r;
  unsigned char buf[kGlyphRecordBuffer];
  FontHeader h;
  StrokeParameters p;
  r.LoadFontDirectory(f.fd(), kShortHeadDirOffset);
  EXPECT_EQ(::lseek(f.fd(), 0, SEEK_CUR), 3);
  r.FindFace("Sans");
  EXPECT_EQ(::lseek(f.fd(), 0, SEEK_CUR), 3);
  r.ReadHeadTable("Sans", h);
  r.ReadStrokeParameters(p);
  EXPECT_EQ(::lseek(f.fd(), 0, SEEK_CUR), 3);
  r.ReadStrokeProgram(3, buf, sizeof buf);
  r.ClearIndexCache();
  r.ReadStrokeProgram(3, buf, sizeof buf);
  r.ReadBitmapGlyph(0x41, 12, buf, sizeof buf);
  r.ReadGlyphRecord(0x41, buf, sizeof buf);
  EXPECT_EQ(::lseek(f.fd(), 0, SEEK_CUR), 3);
}

}  // namespace
}  // namespace qm::glyph::test
