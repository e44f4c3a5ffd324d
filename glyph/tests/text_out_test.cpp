// Tests of RVExtTextOut through librvcsp32.so (dlopen): a bad slot draws nothing, ink
// lies where the glyph bitmaps of CSX_CSP say, the current position after turned text
// is the start plus the advances, the last character ignores the advance array, and
// clipped and opaque rectangles; gray document text against the plain glyphs and where it
// does not apply; random bytes, options, rectangles and arrays never crash.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "glyph/rvcsp32.h"
#include "glyph/tests/csx_loader.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/font_writer.h"
#include "platform/gdi/tests/private_fonts.h"

namespace qm::glyph::test {
namespace {

std::string Document(const char* face = "Ming") {
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
  std::string square = OutlineBody({Polygon({{256, 256}, {768, 256}, {768, 768}, {256, 768}})});
  std::map<uint16_t, std::string> recs;
  for (uint16_t c : {0xA440, 0xA441, 0xFA40}) recs[c] = GlyphRecord(0, MetricsSpec{1024, 1024, 0, 0, 1024}, square);
  return Directory({Font({{"head", HeadTable(h)}, {"cdat", CdatTable(recs)}})});
}

using TextOut = decltype(&RVExtTextOut);
TextOut Rv() {
  static TextOut f = reinterpret_cast<TextOut>(::dlsym(csx().lib, "RVExtTextOut"));
  return f;
}
decltype(&RVExtTextOutEU) RvEu() {
  static auto f = reinterpret_cast<decltype(&RVExtTextOutEU)>(::dlsym(csx().lib, "RVExtTextOutEU"));
  return f;
}
decltype(&CSX_GetTextExtentEU) ExtentEu() {
  static auto f = reinterpret_cast<decltype(&CSX_GetTextExtentEU)>(::dlsym(csx().lib, "CSX_GetTextExtentEU"));
  return f;
}
decltype(&CSX_ExtTextOutG) TextOutG() {
  static auto f = reinterpret_cast<decltype(&CSX_ExtTextOutG)>(::dlsym(csx().lib, "CSX_ExtTextOutG"));
  return f;
}
decltype(&CSX_SetGrayScale) SetGray() {
  static auto f = reinterpret_cast<decltype(&CSX_SetGrayScale)>(::dlsym(csx().lib, "CSX_SetGrayScale"));
  return f;
}

LOGFONTA Installed(const char* face, BYTE set, int32_t height) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = set;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return lf;
}

class RvText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qm::test::UsePrivateFonts(); }
  void SetUp() override {
    ASSERT_NE(Rv(), nullptr);
    csx().EndAll();
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 200;
    bi.bmiHeader.biHeight = -200;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bm_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bm_);
    PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
    SetBkMode(dc_, TRANSPARENT);
  }
  void TearDown() override {
    csx().EndAll();
    SelectObject(dc_, old_);
    DeleteObject(bm_);
    DeleteDC(dc_);
  }
  int Slot(const FontFile& f, int32_t height, int32_t esc = 0) {
    int slot = csx().SetDoc(f.fd(), 0);
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfEscapement = esc;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = 136;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
    EXPECT_EQ(csx().SetFont(slot, &lf), 1);
    return slot;
  }
  std::vector<COLORREF> Pixels() {
    std::vector<COLORREF> out;
    for (int32_t y = 0; y < 200; ++y)
      for (int32_t x = 0; x < 200; ++x) out.push_back(GetPixel(dc_, x, y));
    return out;
  }
  int Ink(const RECT& r) {
    int n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) n += GetPixel(dc_, x, y) == 0;
    return n;
  }
  HDC dc_ = nullptr;
  HBITMAP bm_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

TEST_F(RvText, BadSlotDrawsNothing) {
  EXPECT_EQ(Rv()(3, dc_, 0, 0, 0, nullptr, "\xA4\x40", 2, nullptr), 0);
  EXPECT_EQ(Ink(RECT{0, 0, 200, 200}), 0);
}

TEST_F(RvText, InkWhereTheGlyphBitmapSays) {
  FontFile f(Document());
  int slot = Slot(f, -32);
  CSX_GlyphMetrics m{};
  int32_t size = csx().CSP(slot, 0xA440, nullptr, &m);
  ASSERT_GT(size, 0);
  std::vector<unsigned char> bits(size_t(size), 0xFF);
  csx().CSP(slot, 0xA440, bits.data(), &m);
  SetTextColor(dc_, RGB(0, 0, 0));
  ASSERT_EQ(Rv()(slot, dc_, 20, 30, 0, nullptr, "\xA4\x40", 2, nullptr), 1);
  const int row = (m.width + 15) / 16 * 2;
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 100; ++x) {
      const int gx = x - 20 - m.originX, gy = y - 30 - m.originY;
      const bool want = gx >= 0 && gy >= 0 && gx < m.width && gy < m.height &&
                        !(bits[size_t(gy * row + gx / 8)] & (0x80 >> (gx % 8)));
      ASSERT_EQ(GetPixel(dc_, x, y) == 0, want) << x << "," << y;
    }
}

TEST_F(RvText, CurrentPositionAfterTurnedText) {
  struct Case {
    int32_t esc, dx, dy;
  } cases[] = {{0, 1, 0}, {900, 0, -1}, {1800, -1, 0}, {2700, 0, 1}};
  FontFile f(Document());
  for (const Case& c : cases) {
    int slot = Slot(f, -20, c.esc);
    int32_t advance = 0, height = 0;
    ASSERT_EQ(csx().GetCharExtent(slot, 0xA440, &advance, &height), 1);
    SetTextAlign(dc_, TA_UPDATECP);
    MoveToEx(dc_, 100, 100, nullptr);
    ASSERT_EQ(Rv()(slot, dc_, 0, 0, 0, nullptr, "\xA4\x40\xA4\x41\xFA\x40", 6, nullptr), 1);
    POINT p{};
    GetCurrentPositionEx(dc_, &p);
    EXPECT_EQ(p.x, 100 + 3 * advance * c.dx) << c.esc;
    EXPECT_EQ(p.y, 100 + 3 * advance * c.dy) << c.esc;
    SetTextAlign(dc_, 0);
    csx().End(slot);
  }
}

TEST_F(RvText, LastCharacterIgnoresTheAdvanceArray) {
  FontFile f(Document());
  int slot = Slot(f, -20);
  int32_t advance = 0, height = 0;
  csx().GetCharExtent(slot, 0xA440, &advance, &height);
  SetTextAlign(dc_, TA_UPDATECP);
  MoveToEx(dc_, 0, 0, nullptr);
  const int32_t steps[4] = {10, 15, 500, 500};
  ASSERT_EQ(Rv()(slot, dc_, 0, 0, 0, nullptr, "\xA4\x40\xA4\x41", 4, steps), 1);
  POINT p{};
  GetCurrentPositionEx(dc_, &p);
  EXPECT_EQ(p.x, 25 + advance);
}

TEST_F(RvText, ClippedAndOpaqueRectangles) {
  FontFile f(Document());
  int slot = Slot(f, -32);
  SetBkColor(dc_, RGB(0, 0, 255));
  RECT r{0, 0, 40, 40};
  ASSERT_EQ(Rv()(slot, dc_, 10, 10, ETO_CLIPPED | ETO_OPAQUE, &r, "\xA4\x40\xA4\x40\xA4\x40", 6, nullptr), 1);
  EXPECT_EQ(GetPixel(dc_, 0, 0), RGB(0, 0, 255));
  EXPECT_GT(Ink(RECT{0, 0, 40, 40}), 0);
  EXPECT_EQ(Ink(RECT{40, 0, 200, 200}), 0);
  EXPECT_EQ(GetPixel(dc_, 41, 1), RGB(255, 255, 255));
}

// The square glyph (a quarter to three quarters of the em) drawn gray: only the five
// levels reach the target, the square's inside is black, its edges at a size whose double
// does not put them on pixel borders are partly gray, and the ink box is the plain one's
// within a pixel, at every escapement.
TEST_F(RvText, GrayDocumentTextAgainstPlain) {
  FontFile f(Document());
  const std::set<COLORREF> levels = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
  for (int32_t esc : {0, 900, 1800, 2700}) {
    for (int32_t height : {-24, -25, -31}) {
      int slot = Slot(f, height, esc);
      auto box = [&](bool any_ink) {
        RECT r{200, 200, -1, -1};
        for (int32_t y = 0; y < 200; ++y)
          for (int32_t x = 0; x < 200; ++x) {
            const COLORREF c = GetPixel(dc_, x, y);
            if (any_ink ? c != 0xFFFFFF : c == 0)
              r = RECT{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x), std::max(r.bottom, y)};
          }
        return r;
      };
      SetGray()(0);
      PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
      ASSERT_EQ(Rv()(slot, dc_, 100, 100, 0, nullptr, "\xA4\x40", 2, nullptr), 1);
      const RECT plain = box(true);
      SetGray()(1);
      PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
      ASSERT_EQ(Rv()(slot, dc_, 100, 100, 0, nullptr, "\xA4\x40", 2, nullptr), 1);
      const RECT gray = box(true), black = box(false);
      std::set<COLORREF> seen;
      for (COLORREF c : Pixels()) seen.insert(c);
      for (COLORREF c : seen) EXPECT_TRUE(levels.count(c)) << std::hex << c;
      EXPECT_TRUE(seen.count(0)) << esc << " " << height;
      if (height == -31) {
        EXPECT_GE(seen.size(), 3u) << esc << " " << height;  // gray edges
      }
      const int slack = 1;
      EXPECT_NEAR(gray.left, plain.left, slack) << esc << " " << height;
      EXPECT_NEAR(gray.top, plain.top, slack) << esc << " " << height;
      EXPECT_NEAR(gray.right, plain.right, slack) << esc << " " << height;
      EXPECT_NEAR(gray.bottom, plain.bottom, slack) << esc << " " << height;
      // Inside the gray box less its edge pixels everything is black.
      EXPECT_LE(black.left, gray.left + 1);
      EXPECT_GE(black.right, gray.right - 1);
      EXPECT_LE(black.top, gray.top + 1);
      EXPECT_GE(black.bottom, gray.bottom - 1);
      csx().End(slot);
    }
  }
  SetGray()(0);
}

// Underline and strike-out lie across the writing direction as at escapement 0: text at
// 900, 1800 and 2700 is the text at 0 turned about the start point, lines included, pixel
// for pixel (the square glyph sits above the underline and across the strike-out); at
// 2700 with top alignment the glyph column, and its lines with it, sits one cell height
// (20 pixels) further left.
TEST_F(RvText, TurnedTextWithLinesIsTheUprightTextTurned) {
  FontFile f(Document());
  auto draw = [&](int32_t esc) {
    int slot = csx().SetDoc(f.fd(), 0);
    LOGFONTA lf{};
    lf.lfHeight = -20;
    lf.lfEscapement = esc;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = 136;
    lf.lfUnderline = 1;
    lf.lfStrikeOut = 1;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
    EXPECT_EQ(csx().SetFont(slot, &lf), 1);
    PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
    EXPECT_EQ(Rv()(slot, dc_, 100, 100, 0, nullptr, "\xA4\x40\xA4\x41", 4, nullptr), 1);
    csx().End(slot);
    return Pixels();
  };
  const std::vector<COLORREF> upright = draw(0);
  int ink = 0;
  for (COLORREF c : upright) ink += c == 0;
  ASSERT_GT(ink, 0);
  std::vector<COLORREF> want = upright;
  for (int quarter = 1; quarter < 4; ++quarter) {
    // Pixel (x, y) turned a quarter anticlockwise about the corner point (100, 100).
    std::vector<COLORREF> turned(want.size(), 0xFFFFFF);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) {
        const int tx = 100 + (y - 100), ty = 100 - 1 - (x - 100);
        if (tx >= 0 && ty >= 0 && tx < 200 && ty < 200) turned[size_t(ty * 200 + tx)] = want[size_t(y * 200 + x)];
      }
    want = turned;
    const std::vector<COLORREF> got = draw(quarter * 900);
    const int shift = quarter == 3 ? 20 : 0;
    int differ = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x)
        differ += got[size_t(y * 200 + x)] != (x + shift < 200 ? want[size_t(y * 200 + x + shift)] : 0xFFFFFF);
    EXPECT_EQ(differ, 0) << "escapement " << quarter * 900;
  }
}

// Red text, a printer and a 300-pixel face draw the plain glyphs with the switch on.
TEST_F(RvText, GrayDoesNotApply) {
  FontFile f(Document());
  struct Case {
    const char* what;
    COLORREF colour;
    bool printer;
    int32_t height;
  } cases[] = {{"red", RGB(255, 0, 0), false, -24}, {"printer", 0, true, -24}, {"300 pixels", 0, false, -300}};
  for (const Case& c : cases) {
    QmScreenKind kind{0, c.printer ? 1 : 0, 640, 480};
    ASSERT_TRUE(QmSetScreen(&kind));
    int slot = Slot(f, c.height);
    SetTextColor(dc_, c.colour);
    std::vector<COLORREF> want, got;
    for (uint32_t on : {0u, 1u}) {
      SetGray()(on);
      PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
      ASSERT_EQ(Rv()(slot, dc_, -60, -60, 0, nullptr, "\xA4\x40\xA4\x41", 4, nullptr), 1);
      (on ? got : want) = Pixels();
    }
    EXPECT_TRUE(got == want) << c.what;
    csx().End(slot);
  }
  SetGray()(0);
  SetTextColor(dc_, 0);
  QmScreenKind normal{0, 0, 640, 480};
  QmSetScreen(&normal);
}

TEST_F(RvText, SlotMinus2IsTheInstalledFontAlone) {
  LOGFONTA lf = Installed("DejaVu Sans", ANSI_CHARSET, -20);
  ASSERT_EQ(RvEu()(-2, &lf, dc_, 10, 10, 0, nullptr, "Quill", 5, nullptr), 1);
  const auto got = Pixels();
  PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
  HFONT f = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc_, f);
  ExtTextOutA(dc_, 10, 10, 0, nullptr, "Quill", 5, nullptr);
  SIZE size{};
  GetTextExtentPointA(dc_, "Quill", 5, &size);
  SelectObject(dc_, old);
  DeleteObject(f);
  EXPECT_TRUE(got == Pixels());
  const uint32_t e = ExtentEu()(-2, &lf, dc_, "Quill", 5);
  EXPECT_EQ(int32_t(e & 0xFFFF), size.cx);
  EXPECT_EQ(int32_t(e >> 16), size.cy);
  EXPECT_EQ(RvEu()(0, &lf, dc_, 10, 10, 0, nullptr, "Quill", 5, nullptr), 0);
  EXPECT_EQ(ExtentEu()(21, &lf, dc_, "Quill", 5), 0u);
}

TEST_F(RvText, EudcInTheMiddleMakesThreeRuns) {
  // The document face carries the name of an installed family: EUDC characters come from
  // the document, the rest from the installed font.
  FontFile f(Document("AR PL UMing TW"));
  int slot = csx().SetDoc(f.fd(), 0);
  LOGFONTA lf = Installed("AR PL UMing TW", 136, -24);
  const char text[] = "\xA4\x40\xFA\x40\xA4\x41";
  ASSERT_EQ(RvEu()(slot, &lf, dc_, 10, 10, 0, nullptr, text, 6, nullptr), 1);
  const auto got = Pixels();
  POINT cp{};
  GetCurrentPositionEx(dc_, &cp);
  EXPECT_EQ(cp.x, 0);  // the caller's current position is kept
  EXPECT_EQ(GetTextAlign(dc_), 0u);
  // The same drawn run by run by hand.
  PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc_, font);
  SetTextAlign(dc_, TA_UPDATECP);
  MoveToEx(dc_, 10, 10, nullptr);
  ExtTextOutA(dc_, 0, 0, 0, nullptr, text, 2, nullptr);
  csx().EnableSystemFont(slot, 0);  // the document face, as the mixed call chooses it
  EXPECT_EQ(csx().SetFont(slot, &lf), 1);
  csx().EnableSystemFont(slot, 1);
  Rv()(slot, dc_, 0, 0, 0, nullptr, text + 2, 2, nullptr);
  ExtTextOutA(dc_, 0, 0, 0, nullptr, text + 4, 2, nullptr);
  SetTextAlign(dc_, 0);
  EXPECT_TRUE(got == Pixels());
  // All in the installed font differs where the EUDC glyph stands.
  PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
  ExtTextOutA(dc_, 10, 10, 0, nullptr, text, 6, nullptr);
  EXPECT_FALSE(got == Pixels());
  // The extent: installed runs plus the document run.
  SIZE a{}, c{};
  GetTextExtentPoint32A(dc_, text, 2, &a);
  GetTextExtentPoint32A(dc_, text + 4, 2, &c);
  SelectObject(dc_, old);
  DeleteObject(font);
  const uint32_t mid = csx().GetTextExtent(slot, text + 2, 2);
  const uint32_t e = ExtentEu()(slot, &lf, dc_, text, 6);
  EXPECT_EQ(int32_t(e & 0xFFFF), a.cx + int32_t(mid & 0xFFFF) + c.cx);
}

TEST_F(RvText, RandomMixedAndGrayInputNeverCrashes) {
  FontFile f(Document("AR PL UMing TW"));
  int slot = csx().SetDoc(f.fd(), 0);
  std::mt19937 rng(4343);
  for (int round = 0; round < 200; ++round) {
    SetGray()(rng() % 2);
    static const char* const kFaces[] = {"AR PL UMing TW", "DejaVu Sans", "@AR PL UMing TW"};  // "@": cells
    LOGFONTA lf = Installed(kFaces[rng() % 3], rng() % 2 ? 136 : 0, int32_t(rng() % 60) - 30);
    lf.lfEscapement = int32_t(rng() % 4) * 900;
    std::string text(rng() % 10, '\0');
    for (char& c : text) c = char(rng() % 3 == 0 ? 0xFA : rng() % 3 == 0 ? 0x40 : rng());
    std::vector<int32_t> adv(text.size());
    for (int32_t& a : adv) a = int32_t(rng() % 100) - 50;
    RECT r{int32_t(rng() % 300) - 100, int32_t(rng() % 300) - 100, int32_t(rng() % 300) - 100, int32_t(rng() % 300) - 100};
    const int32_t length = rng() % 8 == 0 ? -int32_t(rng() % 5) : int32_t(text.size());
    SetTextAlign(dc_, UINT(rng() % 32));
    const int which = int(rng() % 3);
    const int s = rng() % 4 == 0 ? -2 : slot;
    const int32_t* a = rng() % 2 ? adv.data() : nullptr;
    const RECT* pr = rng() % 2 ? &r : nullptr;
    const uint32_t options = rng() % 8;
    if (which == 0) RvEu()(s, &lf, dc_, int32_t(rng() % 300), int32_t(rng() % 300), options, pr, text.data(), length, a);
    else if (which == 1) ExtentEu()(s, &lf, dc_, text.data(), length);
    else if (length >= 0) {
      HFONT font = CreateFontIndirectA(&lf);
      HGDIOBJ old = SelectObject(dc_, font);
      TextOutG()(&lf, dc_, int32_t(rng() % 300), int32_t(rng() % 300), options, pr, text.data(), uint32_t(length), a);
      SelectObject(dc_, old);
      DeleteObject(font);
    }
  }
  SetGray()(0);
  SetTextAlign(dc_, 0);
  SUCCEED();
}

TEST_F(RvText, RandomInputNeverCrashes) {
  FontFile f(Document());
  int slot = Slot(f, -12);
  std::mt19937 rng(43);
  for (int round = 0; round < 300; ++round) {
    std::string text(rng() % 12, '\0');
    for (char& c : text) c = char(rng() % 3 == 0 ? 0xA4 : rng() % 3 == 0 ? 0xFA : rng());
    std::vector<int32_t> adv(text.size());
    for (int32_t& a : adv) a = int32_t(rng() % 200) - 100;
    RECT r{int32_t(rng() % 300) - 100, int32_t(rng() % 300) - 100, int32_t(rng() % 300) - 100, int32_t(rng() % 300) - 100};
    const int32_t length = rng() % 8 == 0 ? -int32_t(rng() % 5) : int32_t(text.size());
    SetTextAlign(dc_, UINT(rng() % 32));
    SetGray()(rng() % 2);  // gray glyphs of the document face too
    Rv()(slot, dc_, int32_t(rng() % 400) - 100, int32_t(rng() % 400) - 100, rng() % 8, rng() % 2 ? &r : nullptr,
         text.data(), length, rng() % 2 ? adv.data() : nullptr);
  }
  SetGray()(0);
  SetTextAlign(dc_, 0);
  SUCCEED();
}

}  // namespace
}  // namespace qm::glyph::test
