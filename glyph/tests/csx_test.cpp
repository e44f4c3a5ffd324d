// Tests of librvcsp32.so through its CSX_ functions, loaded with dlopen: slots (the 21st
// document, an empty directory, unbound slots, two documents alternating, ending one, the
// caller's file position), faces and escapements (turns of 90, 180 and 270 degrees),
// outline and stroke glyphs as exact bitmaps, the vertical fit of end-user-defined
// characters, installed families under the system-font switch, the glyph cache behind a
// null buffer, font information sizes, extents under window extents and with a trailing
// lead byte, and random fonts and extents through every function.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "glyph/dbcs.h"
#include "glyph/tests/bitmap_art.h"
#include "glyph/tests/csx_loader.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/font_writer.h"
#include "platform/gdi/tests/private_fonts.h"

namespace qm::glyph::test {
namespace {

using Art = std::vector<std::string>;

HeadSpec Head(const std::string& face) {
  HeadSpec h;
  h.face = face;
  h.units_per_em = 1024;
  h.ascent = 880;
  h.descent = -144;
  h.max_ascent = 900;
  h.max_descent = 124;
  h.half_advance = 512;
  h.full_advance = 1024;
  h.line_metric[0] = 50;
  h.line_metric[1] = -100;
  h.line_metric[2] = 50;
  h.line_metric[3] = 300;
  return h;
}

const MetricsSpec kFullCell{1024, 1024, 0, 0, 1024};

std::string Square() { return OutlineBody({Polygon({{256, 256}, {768, 256}, {768, 768}, {256, 768}})}); }
// An L shape: not symmetric under any turn.
std::string LShape() {
  return OutlineBody({Polygon({{128, 128}, {384, 128}, {384, 640}, {896, 640}, {896, 896}, {128, 896}})});
}
// A bar lying below the line extent (y 1100..1300 of 1024).
std::string LowBar() { return OutlineBody({Polygon({{200, 1100}, {800, 1100}, {800, 1300}, {200, 1300}})}); }

// A document font "Ming" (Big5) and, beside it, "Sung" with other shapes.
std::string TestDocument() {
  std::map<uint16_t, std::string> ming = {
      {0x41, GlyphRecord(0, std::nullopt, LShape())},
      {0xA440, GlyphRecord(0, kFullCell, Square())},
      {0xA441, GlyphRecord(0, kFullCell, LShape())},
      {0xFA3F, GlyphRecord(0, kFullCell, LowBar())},
      {0xFA40, GlyphRecord(0, kFullCell, LowBar())},
      // A stroke glyph: a horizontal bar drawn by an inline program.
      {0xA442, GlyphRecord(-1, std::nullopt,
                           InlineCall({}, "line 2 3 112 32 143 32; line.r 4 5 112 224 143 224; end 0 0"))},
  };
  std::map<uint16_t, std::string> sung = {{0xA440, GlyphRecord(0, kFullCell, LShape())}};
  return "PGX!" + Directory({Font({{"head", HeadTable(Head("Ming"))}, {"cdat", CdatTable(ming)}}),
                             Font({{"head", HeadTable(Head("Sung"))}, {"cdat", CdatTable(sung)}}),
                             Font({{"head", HeadTable(Head("DejaVu Sans"))}, {"cdat", CdatTable(sung)}}),
                             Font({{"head", HeadTable(Head("@Ming"))}, {"cdat", CdatTable(ming)}})});
}
constexpr uint32_t kDir = 4;

class CsxTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qm::test::UsePrivateFonts(); }
  void SetUp() override { csx().EndAll(); }
  void TearDown() override { csx().EndAll(); }
  int Bind(const FontFile& f) { return csx().SetDoc(f.fd(), kDir); }
  int BindWithFont(const FontFile& f, const char* face, int32_t height, int32_t esc = 0) {
    int slot = Bind(f);
    LOGFONTA lf = Font(face, height, esc);
    EXPECT_EQ(csx().SetFont(slot, &lf), 1);
    return slot;
  }
};

const Art kSquare16 = {
    ".................", ".................", ".................", ".................",
    "....########.....", "....########.....", "....########.....", "....########.....",
    "....########.....", "....########.....", "....########.....", "....########.....",
    "....########.....", ".................", ".................", "................."};

TEST_F(CsxTest, OutlineGlyphIsDrawnWithInkZero) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -16);
  Glyph g = Render(slot, 0xA440);
  EXPECT_EQ(g.result, 4 * 16);
  EXPECT_EQ(g.m.advance, 16);
  EXPECT_EQ(g.art(), kSquare16) << Show(g.art());
}

TEST_F(CsxTest, StrokeGlyphBesideOutlines) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -16);
  Glyph g = Render(slot, 0xA442);
  Art bar(16, std::string(16, '.'));
  bar[7] = bar[8] = "..############..";
  EXPECT_EQ(g.art(), bar) << Show(g.art());
}

TEST_F(CsxTest, VerticalFaceTurnsStrokeGlyphsOnly) {
  // A face whose name begins with "@" turns stroke glyphs a quarter more; outlines not.
  FontFile f(TestDocument());
  int plain = BindWithFont(f, "Ming", -16, 900);
  int vertical = BindWithFont(f, "@Ming", -16, 0);
  EXPECT_EQ(Render(vertical, 0xA442), Render(plain, 0xA442));
  LOGFONTA lf = Font("Ming", -16, 0);
  ASSERT_EQ(csx().SetFont(plain, &lf), 1);
  EXPECT_EQ(Render(vertical, 0xA441), Render(plain, 0xA441));
}

TEST_F(CsxTest, TwentySlotsThenNoFreeSlot) {
  FontFile f(TestDocument());
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(Bind(f), i);
  EXPECT_EQ(Bind(f), -1);
  csx().End(7);
  EXPECT_EQ(Bind(f), 7);
}

TEST_F(CsxTest, DirectoryWithoutFontsBindsNothing) {
  FontFile empty(Directory({}));
  EXPECT_EQ(csx().SetDoc(empty.fd(), 0), -2);
  FontFile bad("xx");
  EXPECT_EQ(csx().SetDoc(bad.fd(), 0), -3);
  FontFile f(TestDocument());
  EXPECT_EQ(Bind(f), 1);
}

TEST_F(CsxTest, UnboundAndOutOfRangeSlotsFailAlike) {
  FontFile f(TestDocument());
  ASSERT_EQ(Bind(f), 1);
  LOGFONTA lf = Font("Ming", -16);
  CSX_GlyphMetrics m{};
  unsigned char buf[256];
  CSX_FontInfo info{};
  info.size = 128;
  int32_t a = 7, h = 7;
  for (int slot : {0, 2, 20, 21, -2}) {
    EXPECT_EQ(csx().SetFont(slot, &lf), 0) << slot;
    EXPECT_EQ(csx().CSP(slot, 0xA440, buf, &m), 0) << slot;
    EXPECT_EQ(csx().QueryFontInfo(slot, &info), 0) << slot;
    EXPECT_EQ(csx().GetCharExtent(slot, 0xA440, &a, &h), 0) << slot;
    EXPECT_EQ(csx().GetTextExtent(slot, "A", 1), 0u) << slot;
    EXPECT_EQ(csx().SetWindowExt(slot, 2, 2), 0) << slot;
    EXPECT_EQ(csx().SetViewportExt(slot, 2, 2), 0) << slot;
    csx().EnableSystemFont(slot, 1);
    csx().End(slot);
  }
  // Slot 1 is still bound and works.
  EXPECT_EQ(csx().SetFont(1, &lf), 1);
  EXPECT_GT(Render(1, 0xA440).result, 0);
}

TEST_F(CsxTest, EscapementsTurnOnlyByRightAngles) {
  FontFile f(TestDocument());
  int slot = Bind(f);
  LOGFONTA lf = Font("Ming", -16, 100);
  EXPECT_EQ(csx().SetFont(slot, &lf), 0);
  lf = Font("Ming", -16, 0);
  ASSERT_EQ(csx().SetFont(slot, &lf), 1);
  Glyph upright = Render(slot, 0xA441);
  lf = Font("Ming", -16, 450);
  ASSERT_EQ(csx().SetFont(slot, &lf), 1);
  EXPECT_EQ(Render(slot, 0xA441), upright);
  // Where pixel (x, y) of the upright glyph lands for each turn (W1, H1: its width and
  // height less one).
  struct Turn {
    int32_t escapement;
    bool swaps;
    int (*col)(int x, int y, int w1, int h1);
    int (*row)(int x, int y, int w1, int h1);
  } turns[] = {
      {900, true, [](int, int y, int, int) { return y; }, [](int x, int, int w1, int) { return w1 - x; }},
      {1800, false, [](int x, int, int w1, int) { return w1 - x; }, [](int, int y, int, int h1) { return h1 - y; }},
      {2700, true, [](int, int y, int, int h1) { return h1 - y; }, [](int x, int, int, int) { return x; }},
  };
  for (const Turn& t : turns) {
    lf = Font("Ming", -16, t.escapement);
    ASSERT_EQ(csx().SetFont(slot, &lf), 1);
    Glyph turned = Render(slot, 0xA441);
    ASSERT_EQ(turned.m.width, t.swaps ? upright.m.height : upright.m.width) << t.escapement;
    ASSERT_EQ(turned.m.height, t.swaps ? upright.m.width : upright.m.height) << t.escapement;
    int w1 = upright.m.width - 1, h1 = upright.m.height - 1;
    int wrong = 0;
    for (int y = 0; y < upright.m.height; ++y)
      for (int x = 0; x < upright.m.width; ++x)
        wrong += turned.ink(t.col(x, y, w1, h1), t.row(x, y, w1, h1)) != upright.ink(x, y);
    EXPECT_EQ(wrong, 0) << t.escapement << Show(turned.art()) << Show(upright.art());
  }
}

TEST_F(CsxTest, InstalledFamilyStandsInOnlyWithTheSwitchOn) {
  FontFile f(TestDocument());
  int slot = Bind(f);
  struct Case {
    int32_t on;
    const char* face;
    int32_t result;
  } cases[] = {{0, "DejaVu Sans", 1}, {1, "DejaVu Sans", 0}, {1, "Ming", 1}, {1, "Nope", 0}, {0, "Ming", 1}};
  for (const Case& c : cases) {
    csx().EnableSystemFont(slot, c.on);
    LOGFONTA lf = Font(c.face, -16, 0, 400, 0);
    EXPECT_EQ(csx().SetFont(slot, &lf), c.result) << c.on << " " << c.face;
  }
}

TEST_F(CsxTest, FontInfoSizeField) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -32);
  struct Case {
    uint32_t size;
    int32_t result;
    size_t written;
  } cases[] = {{125, 0, 0}, {126, 104, 126}, {127, 104, 127}, {128, 104, 128}, {4000, 104, 128}};
  for (const Case& c : cases) {
    unsigned char raw[sizeof(CSX_FontInfo)];
    std::memset(raw, 0xAB, sizeof raw);
    std::memcpy(raw, &c.size, 4);
    EXPECT_EQ(csx().QueryFontInfo(slot, reinterpret_cast<CSX_FontInfo*>(raw)), c.result) << c.size;
    for (size_t i = 4; i < sizeof raw; ++i)
      if (i >= c.written) {
        EXPECT_EQ(raw[i], 0xAB) << c.size << " byte " << i;
      }
  }
  CSX_FontInfo info{};
  info.size = 128;
  ASSERT_EQ(csx().QueryFontInfo(slot, &info), 104);
  EXPECT_EQ(info.charSet, 136u);
  EXPECT_EQ(info.unitsPerEm, 1024u);
  EXPECT_STREQ(info.faceName, "Ming");
  EXPECT_EQ(info.descent, 4);         // 124 of 1024 at 32 pixels
  EXPECT_EQ(info.ascent, 32 - 4);
  EXPECT_EQ(info.halfAdvance, 16);
  EXPECT_EQ(info.fullAdvance, 32);
  EXPECT_EQ(info.lineMetric[2], 2);   // 50 of 1024 at 32 pixels
}

TEST_F(CsxTest, TextExtentUnderWindowExtentsIsInLogicalUnits) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -32);
  // At window (2, 2) over viewport (1, 1) the device font is 16 pixels high ...
  ASSERT_EQ(csx().SetWindowExt(slot, 2, 2), 1);
  uint32_t logical = csx().GetTextExtent(slot, "\xA4\x40\x41", 3);
  // ... and the extent is twice what a 16-pixel font measures on the device.
  int other = BindWithFont(f, "Ming", -16);
  uint32_t device = csx().GetTextExtent(other, "\xA4\x40\x41", 3);
  ASSERT_NE(device, 0u);
  EXPECT_EQ(logical & 0xFFFF, 2 * (device & 0xFFFF));
  EXPECT_EQ(logical >> 16, 2 * (device >> 16));
  EXPECT_EQ(device >> 16, 16u);
}

TEST_F(CsxTest, TrailingLeadByteIsOneSingleByteCharacter) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -16);
  uint32_t whole = csx().GetTextExtent(slot, "\xA4\x40\xA4", 3);
  uint32_t first = csx().GetTextExtent(slot, "\xA4\x40", 2);
  uint32_t last = csx().GetTextExtent(slot, "\xA4", 1);
  EXPECT_EQ(whole & 0xFFFF, (first & 0xFFFF) + (last & 0xFFFF));
  EXPECT_EQ(first & 0xFFFF, 16u);  // the square's advance
  // A lead byte followed by a byte that is no trail byte is two characters too.
  uint32_t pair = csx().GetTextExtent(slot, "\xA4\x20", 2);
  EXPECT_EQ(pair & 0xFFFF, (last & 0xFFFF) + (csx().GetTextExtent(slot, " ", 1) & 0xFFFF));
}

TEST(DoubleByteRules, EudcAreasAndTrailBytes) {
  struct Case {
    uint8_t set;
    uint16_t code;
    bool eudc;
  } cases[] = {{136, 0xFA40, true},  {136, 0xFA3F, false}, {136, 0x8140, true}, {136, 0xA0FE, true},
               {136, 0xA140, false}, {136, 0xC6A1, true},  {136, 0xFA80, false}, {128, 0xF040, true},
               {128, 0xF07F, false}, {129, 0xC9A1, true},  {129, 0xC9A0, false}, {134, 0xAAA1, true},
               {134, 0xF8A0, false}, {0, 0xFA40, false}};
  for (const Case& c : cases) EXPECT_EQ(IsEudc(c.set, c.code), c.eudc) << int(c.set) << " " << std::hex << c.code;
}

TEST_F(CsxTest, EndUserCharactersAreFittedIntoTheLine) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -32);
  Glyph eudc = Render(slot, 0xFA40);
  Glyph plain = Render(slot, 0xFA3F);
  ASSERT_GT(eudc.result, 0);
  ASSERT_GT(plain.result, 0);
  auto ink_rows = [](const Glyph& g) {
    int n = 0;
    for (const std::string& r : g.art()) n += r.find('#') != std::string::npos;
    return n;
  };
  // The bar lies below the cell: only the fitted one shows.
  EXPECT_EQ(ink_rows(plain), 0) << Show(plain.art());
  EXPECT_GT(ink_rows(eudc), 4) << Show(eudc.art());
  // Asking again gives the same glyph (the fit is not applied twice).
  EXPECT_EQ(Render(slot, 0xFA40), eudc);
}

TEST_F(CsxTest, NullBufferFillsTheCacheForTheSizedCall) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -24);
  CSX_GlyphMetrics m{};
  int32_t size = csx().CSP(slot, 0xA441, nullptr, &m);
  ASSERT_GT(size, 0);
  // The sized call is served from the cache: the background of the buffer stays, as the
  // scratch rendering's 0xFF background was stored with the glyph.
  std::vector<unsigned char> cached(size_t(size), 0x00);
  ASSERT_EQ(csx().CSP(slot, 0xA441, cached.data(), &m), size);
  std::vector<unsigned char> fresh(size_t(size), 0xFF);
  CSX_GlyphMetrics zero{};
  ASSERT_EQ(csx().CSP(slot, 0xA441, fresh.data(), &zero), size);
  EXPECT_EQ(cached, fresh);
}

TEST_F(CsxTest, TwoDocumentsAlternateAsEachDoesAlone) {
  FontFile a(TestDocument());
  std::string other = TestDocument();
  FontFile b(other);
  int sa = BindWithFont(a, "Ming", -20);
  Glyph a_alone = Render(sa, 0xA440);
  csx().End(sa);
  int sb = BindWithFont(b, "Sung", -28, 900);
  Glyph b_alone = Render(sb, 0xA440);
  csx().End(sb);

  sa = BindWithFont(a, "Ming", -20);
  sb = BindWithFont(b, "Sung", -28, 900);
  ASSERT_NE(sa, sb);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Render(sa, 0xA440), a_alone);
    EXPECT_EQ(Render(sb, 0xA440), b_alone);
  }
  csx().End(sa);
  EXPECT_EQ(Render(sb, 0xA440), b_alone);
  EXPECT_EQ(Render(sa, 0xA440).result, 0);
}

TEST_F(CsxTest, CallerFilePositionIsKept) {
  FontFile f(TestDocument());
  ASSERT_EQ(::lseek(f.fd(), 3, SEEK_SET), 3);
  int slot = BindWithFont(f, "Ming", -40);
  Render(slot, 0xA441);
  csx().GetTextExtent(slot, "\xA4\x40", 2);
  csx().End(slot);
  EXPECT_EQ(::lseek(f.fd(), 0, SEEK_CUR), 3);
  // The descriptor stays open.
  char c = 0;
  EXPECT_EQ(::read(f.fd(), &c, 1), 1);
}

TEST_F(CsxTest, GlyphBoxBeyondSixteenBitSubpixelsIsMissing) {
  FontFile f(TestDocument());
  int slot = BindWithFont(f, "Ming", -20000);
  CSX_GlyphMetrics m{};
  EXPECT_EQ(csx().CSP(slot, 0xA440, nullptr, &m), 0);
  int32_t a = 0, h = 0;
  EXPECT_EQ(csx().GetCharExtent(slot, 0xA440, &a, &h), 1);
  EXPECT_EQ(a, 20000);
}

TEST_F(CsxTest, RandomFontsAndExtentsThroughEveryFunction) {
  FontFile f(TestDocument());
  std::mt19937 rng(7);
  const char* faces[] = {"Ming", "Sung", "", "ming", "@Ming", "Nope"};
  const uint16_t codes[] = {0x41, 0xA440, 0xA441, 0xA442, 0xFA40, 0xFA3F, 0x20, 0xFFFF};
  int slot = Bind(f);
  for (int i = 0; i < 400; ++i) {
    LOGFONTA lf{};
    lf.lfHeight = int32_t(rng() % 200001) - 100000;
    if (i % 3) lf.lfHeight = int32_t(rng() % 161) - 80;
    lf.lfWidth = i % 4 ? 0 : int32_t(rng() % 401) - 200;
    const int32_t escapements[] = {0, 900, 1800, 2700, 450, 100, -900, 3600};
    lf.lfEscapement = escapements[rng() % 8];
    lf.lfWeight = rng() % 2 ? 700 : int32_t(rng() % 1001);
    lf.lfItalic = uint8_t(rng() % 2);
    lf.lfCharSet = uint8_t(rng() % 2 ? 136 : rng() % 256);
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", faces[rng() % 6]);
    csx().SetFont(slot, &lf);
    if (i % 5 == 0) csx().SetWindowExt(slot, int32_t(rng() % 7) - 3, int32_t(rng() % 7) - 3);
    if (i % 7 == 0) csx().SetViewportExt(slot, int32_t(rng() % 7) - 3, int32_t(rng() % 7) - 3);
    if (i % 11 == 0) csx().EnableSystemFont(slot, int32_t(rng() % 3));
    uint16_t code = codes[rng() % 8];
    CSX_GlyphMetrics m{};
    int32_t size = csx().CSP(slot, code, nullptr, &m);
    if (size > 0 && size < (1 << 22)) {
      std::vector<unsigned char> buf(size_t(size), 0xFF);
      EXPECT_EQ(csx().CSP(slot, code, buf.data(), &m), size);
    }
    int32_t a = 0, h = 0;
    csx().GetCharExtent(slot, code, &a, &h);
    csx().GetTextExtent(slot, "\xA4\x40\x41\xFA\x40\xA4", 6);
    CSX_FontInfo info{};
    info.size = 128;
    csx().QueryFontInfo(slot, &info);
  }
}

}  // namespace
}  // namespace qm::glyph::test
