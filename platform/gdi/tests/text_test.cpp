// Tests of fonts and text in the drawing layer over a private fontconfig configuration:
// cell and em heights, glyph bitmaps and metrics against FreeType's own rendering of the
// same font file (Latin and a Big5 code), extents as sums of glyph advances, sfnt tables
// against the file's own bytes, and text output: ink where the glyph bitmaps say, the
// current position after turned text, opaque and clipped rectangles, advance arrays and
// lone lead bytes.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gdi/qmgdi.h"
#include "platform/gdi/tests/private_fonts.h"
#include "platform/gdi/tests/ttx_values.h"

namespace {

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kUming = "/usr/share/fonts/truetype/arphic/uming.ttc";

class Text : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qm::test::UsePrivateFonts(); }
  void SetUp() override {
    dc_ = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc_, nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 200;
    bi.bmiHeader.biHeight = -200;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bm_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bm_, nullptr);
    old_bm_ = SelectObject(dc_, bm_);
    PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
  }
  void TearDown() override {
    SelectObject(dc_, old_bm_);
    if (old_font_) SelectObject(dc_, old_font_);
    for (HFONT f : fonts_) EXPECT_TRUE(DeleteObject(f));
    DeleteObject(bm_);
    DeleteDC(dc_);
  }
  void Use(const char* face, int32_t height, BYTE set = ANSI_CHARSET, int32_t escapement = 0) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = set;
    lf.lfEscapement = escapement;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    HFONT f = CreateFontIndirectA(&lf);
    ASSERT_NE(f, nullptr);
    fonts_.push_back(f);
    HGDIOBJ old = SelectObject(dc_, f);
    if (!old_font_) old_font_ = old;
  }
  int Ink(const RECT& r) {
    int n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) n += GetPixel(dc_, x, y) == 0;
    return n;
  }
  HDC dc_ = nullptr;
  HBITMAP bm_ = nullptr;
  HGDIOBJ old_bm_ = nullptr, old_font_ = nullptr;
  std::vector<HFONT> fonts_;
};

// FreeType's own mono rendering of one character of a font file.
struct Oracle {
  std::vector<std::vector<bool>> rows;
  int left = 0, top = 0, advance = 0;
};
Oracle Render(const char* file, long index, int em_px, unsigned long code) {
  Oracle o;
  FT_Library lib;
  EXPECT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face face;
  EXPECT_EQ(FT_New_Face(lib, file, index, &face), 0);
  FT_Set_Char_Size(face, em_px * 64, em_px * 64, 72, 72);
  EXPECT_EQ(FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO), 0);
  const FT_Bitmap& b = face->glyph->bitmap;
  for (unsigned r = 0; r < b.rows; ++r) {
    std::vector<bool> row;
    for (unsigned c = 0; c < b.width; ++c) row.push_back(b.buffer[r * unsigned(b.pitch) + c / 8] & (0x80 >> (c % 8)));
    o.rows.push_back(row);
  }
  o.left = face->glyph->bitmap_left;
  o.top = face->glyph->bitmap_top;
  o.advance = int((face->glyph->advance.x + 32) >> 6);
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return o;
}

TEST_F(Text, CellAndEmHeights) {
  for (int32_t h : {-12, -24, -37, 12, 24, 37}) {
    Use("DejaVu Sans", h);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(dc_, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    if (h < 0) {
      EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -h) << h;
    } else {
      EXPECT_GE(tm.tmHeight, h);  // ascent and descent each rounded up
      EXPECT_LE(tm.tmHeight, h + 1);
    }
  }
}

TEST_F(Text, GlyphBitmapsMatchFreeType) {
  struct Case {
    const char* face;
    BYTE set;
    UINT ch;
    const char* file;
    long index;
    unsigned long unicode;
  } cases[] = {
      {"DejaVu Sans", ANSI_CHARSET, 'A', kDejaVu, 0, 'A'},
      {"DejaVu Sans", ANSI_CHARSET, 0xE9, kDejaVu, 0, 0xE9},   // CP1252 e acute
      {"DejaVu Sans", ANSI_CHARSET, 0x80, kDejaVu, 0, 0x20AC},  // CP1252 euro sign
      {"AR PL UMing TW", CHINESEBIG5_CHARSET, 0xA440, kUming, 2, 0x4E00},
      {"AR PL UMing TW", CHINESEBIG5_CHARSET, 0xA4A4, kUming, 2, 0x4E2D},
  };
  for (const Case& c : cases) {
    Use(c.face, -30, c.set);
    GLYPHMETRICS gm{};
    MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    DWORD size = GetGlyphOutlineA(dc_, c.ch, GGO_BITMAP, &gm, 0, nullptr, &identity);
    ASSERT_NE(size, GDI_ERROR) << c.ch;
    std::vector<uint8_t> bits(size);
    ASSERT_EQ(GetGlyphOutlineA(dc_, c.ch, GGO_BITMAP, &gm, size, bits.data(), &identity), size);
    // The face index of the TW family in the collection is what fontconfig matched.
    Oracle o = Render(c.file, c.index, 30, c.unicode);
    ASSERT_EQ(gm.gmBlackBoxY, o.rows.size()) << c.ch;
    ASSERT_EQ(gm.gmBlackBoxX, o.rows[0].size()) << c.ch;
    EXPECT_EQ(gm.gmptGlyphOrigin.x, o.left);
    EXPECT_EQ(gm.gmptGlyphOrigin.y, o.top);
    EXPECT_EQ(gm.gmCellIncX, o.advance);
    const size_t stride = (gm.gmBlackBoxX + 31) / 32 * 4;
    ASSERT_EQ(size, stride * gm.gmBlackBoxY);
    for (size_t r = 0; r < o.rows.size(); ++r)
      for (size_t x = 0; x < stride * 8; ++x) {
        bool lit = bits[r * stride + x / 8] & (0x80 >> (x % 8));
        EXPECT_EQ(lit, x < o.rows[r].size() && o.rows[r][x]) << c.ch << " " << r << "," << x;
      }
  }
}

// A font with an escapement gives its glyphs turned: the bitmap is the upright one turned
// a quarter anticlockwise per 900, the origin the turned box's corner from the pen (y up)
// and the cell increment the turned advance on the device; the bitmap may differ by ties of
// the rasteriser's pixel-centre rule, at most a pixel in fifty of the ink.
TEST_F(Text, GlyphOutlineTurnsByTheEscapement) {
  struct Upright {
    GLYPHMETRICS gm;
    std::vector<std::vector<bool>> rows;
  };
  auto fetch = [&](UINT ch, Upright& out) {
    GLYPHMETRICS gm{};
    DWORD size = GetGlyphOutlineA(dc_, ch, GGO_BITMAP, &gm, 0, nullptr, nullptr);
    ASSERT_NE(size, GDI_ERROR);
    std::vector<uint8_t> bits(size);
    ASSERT_EQ(GetGlyphOutlineA(dc_, ch, GGO_BITMAP, &gm, size, bits.data(), nullptr), size);
    const size_t stride = (gm.gmBlackBoxX + 31) / 32 * 4;
    out.gm = gm;
    out.rows.assign(gm.gmBlackBoxY, std::vector<bool>(gm.gmBlackBoxX));
    for (size_t r = 0; r < gm.gmBlackBoxY; ++r)
      for (size_t x = 0; x < gm.gmBlackBoxX; ++x) out.rows[r][x] = bits[r * stride + x / 8] & (0x80 >> (x % 8));
  };
  for (UINT ch : {UINT('g'), UINT('R'), UINT('7')}) {
    Use("DejaVu Sans", -31);
    Upright want;
    fetch(ch, want);
    for (int quarter = 1; quarter < 4; ++quarter) {
      // One more quarter turn of the previous one: (x, y) up from the pen becomes (-y, x).
      Upright t;
      const int32_t w = int32_t(want.gm.gmBlackBoxX), h = int32_t(want.gm.gmBlackBoxY);
      t.gm = want.gm;
      t.gm.gmBlackBoxX = UINT(h);
      t.gm.gmBlackBoxY = UINT(w);
      t.gm.gmptGlyphOrigin = POINT{-want.gm.gmptGlyphOrigin.y, want.gm.gmptGlyphOrigin.x + w};
      t.gm.gmCellIncX = int16_t(want.gm.gmCellIncY);
      t.gm.gmCellIncY = int16_t(-want.gm.gmCellIncX);
      t.rows.assign(size_t(w), std::vector<bool>(size_t(h)));
      for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c) t.rows[size_t(w - 1 - c)][size_t(r)] = want.rows[size_t(r)][size_t(c)];
      want = t;
      Use("DejaVu Sans", -31, ANSI_CHARSET, quarter * 900);
      Upright got;
      fetch(ch, got);
      EXPECT_EQ(got.gm.gmBlackBoxX, want.gm.gmBlackBoxX) << ch << " " << quarter;
      EXPECT_EQ(got.gm.gmBlackBoxY, want.gm.gmBlackBoxY) << ch << " " << quarter;
      EXPECT_EQ(got.gm.gmptGlyphOrigin.x, want.gm.gmptGlyphOrigin.x) << ch << " " << quarter;
      EXPECT_EQ(got.gm.gmptGlyphOrigin.y, want.gm.gmptGlyphOrigin.y) << ch << " " << quarter;
      EXPECT_EQ(got.gm.gmCellIncX, want.gm.gmCellIncX) << ch << " " << quarter;
      EXPECT_EQ(got.gm.gmCellIncY, want.gm.gmCellIncY) << ch << " " << quarter;
      int differ = 0, ink = 0;
      for (size_t r = 0; r < want.rows.size() && r < got.rows.size(); ++r)
        for (size_t x = 0; x < want.rows[r].size() && x < got.rows[r].size(); ++x) {
          differ += got.rows[r][x] != want.rows[r][x];
          ink += want.rows[r][x];
        }
      // Outline points lying exactly on pixel centres may fall either way once turned.
      EXPECT_LE(differ * 50, ink) << ch << " turned " << quarter * 900;
    }
  }
}

TEST_F(Text, GlyphOutlineRefusals) {
  Use("DejaVu Sans", -20);
  GLYPHMETRICS gm{};
  MAT2 turned{{0, 0}, {0, 1}, {0, -1}, {0, 0}};
  EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, 0, nullptr, &turned), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', 2, &gm, 0, nullptr, nullptr), GDI_ERROR);
  DWORD size = GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, 0, nullptr, nullptr);
  ASSERT_NE(size, GDI_ERROR);
  std::vector<uint8_t> small(size - 1);
  EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, size - 1, small.data(), nullptr), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(dc_, ' ', GGO_BITMAP, &gm, 0, nullptr, nullptr), 0u);  // no ink
  EXPECT_EQ(gm.gmBlackBoxX, 1u);
}

TEST_F(Text, ExtentIsTheSumOfAdvances) {
  struct Case {
    const char* face;
    BYTE set;
    std::string text;
    std::vector<UINT> codes;
  } cases[] = {
      {"DejaVu Sans", ANSI_CHARSET, "Wave", {'W', 'a', 'v', 'e'}},
      {"AR PL UMing TW", CHINESEBIG5_CHARSET, "\xA4\x40" "A\xA4\xA4", {0xA440, 'A', 0xA4A4}},
      {"AR PL UMing TW", CHINESEBIG5_CHARSET, "A\xA4", {'A', 0xA4}},  // lone lead byte: one character
  };
  for (const Case& c : cases) {
    Use(c.face, -20, c.set);
    int32_t sum = 0;
    for (UINT code : c.codes) {
      GLYPHMETRICS gm{};
      ASSERT_NE(GetGlyphOutlineA(dc_, code, GGO_METRICS, &gm, 0, nullptr, nullptr), GDI_ERROR);
      sum += gm.gmCellIncX;
    }
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc_, c.text.data(), int32_t(c.text.size()), &size));
    EXPECT_EQ(size.cx, sum) << c.text;
    TEXTMETRICA tm{};
    GetTextMetricsA(dc_, &tm);
    EXPECT_EQ(size.cy, tm.tmHeight);
  }
}

// The whole file and its head table, for DejaVu Sans and the generated "Quill Test" (the
// latter also shows fontconfig finding the generated font by its family).
TEST_F(Text, FontDataIsTheFilesBytes) {
  ASSERT_FALSE(qm::test::TestFontPath().empty()) << "make_test_font.py needs python3-fonttools";
  for (const auto& [face, path] : {std::pair<std::string, std::string>{"DejaVu Sans", kDejaVu},
                                   std::pair<std::string, std::string>{"Quill Test", qm::test::TestFontPath()}}) {
    Use(face.c_str(), -20);
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 12u);
    EXPECT_EQ(GetFontData(dc_, 0, 0, nullptr, 0), file.size());
    // The table directory gives where "head" lies.
    auto be32 = [&](size_t at) {
      return uint32_t(uint8_t(file[at])) << 24 | uint32_t(uint8_t(file[at + 1])) << 16 |
             uint32_t(uint8_t(file[at + 2])) << 8 | uint8_t(file[at + 3]);
    };
    const unsigned tables = uint8_t(file[4]) << 8 | uint8_t(file[5]);
    uint32_t offset = 0, length = 0;
    for (unsigned i = 0; i < tables; ++i)
      if (file.compare(12 + 16 * i, 4, "head") == 0) offset = be32(12 + 16 * i + 8), length = be32(12 + 16 * i + 12);
    ASSERT_GT(length, 20u);
    const DWORD head = 'h' | 'e' << 8 | 'a' << 16 | DWORD('d') << 24;
    EXPECT_EQ(GetFontData(dc_, head, 0, nullptr, 0), length);
    std::vector<char> got(length);
    ASSERT_EQ(GetFontData(dc_, head, 4, got.data(), length), length - 4);
    EXPECT_EQ(std::string(got.data(), length - 4), file.substr(offset + 4, length - 4));
    EXPECT_EQ(GetFontData(dc_, head, length + 1, got.data(), length), GDI_ERROR);
    EXPECT_EQ(GetFontData(dc_, 'z' | 'z' << 8 | 'z' << 16 | DWORD('z') << 24, 0, nullptr, 0), GDI_ERROR);
  }
}

// An underlined or struck-out font draws its line along the text: as many rows as the
// table's thickness scaled to the em, centred (the lower middle row for an even thickness)
// the scaled position above the baseline, the values as ttx reads them; for DejaVu Sans and
// the generated "Quill Test".
TEST_F(Text, UnderlineAndStrikeOutFromTheFontTables) {
  ASSERT_FALSE(qm::test::TestFontPath().empty()) << "make_test_font.py needs python3-fonttools";
  for (const auto& [face, path] : {std::pair<std::string, std::string>{"DejaVu Sans", kDejaVu},
                                   std::pair<std::string, std::string>{"Quill Test", qm::test::TestFontPath()}}) {
    qm::test::TtxTableValues t;
    ASSERT_TRUE(qm::test::TtxValues(path, t)) << path;
    for (bool underline : {true, false}) {
      LOGFONTA lf{};
      lf.lfHeight = -40;
      lf.lfWeight = FW_NORMAL;
      lf.lfUnderline = underline;
      lf.lfStrikeOut = !underline;
      std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face.c_str());
      HFONT f = CreateFontIndirectA(&lf);
      fonts_.push_back(f);
      HGDIOBJ old = SelectObject(dc_, f);
      if (!old_font_) old_font_ = old;
      PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
      SetTextAlign(dc_, TA_BASELINE);
      ASSERT_TRUE(TextOutA(dc_, 10, 100, "   ", 3));  // spaces: only the line
      SetTextAlign(dc_, 0);
      std::vector<int32_t> rows;
      for (int32_t y = 0; y < 200; ++y)
        if (GetPixel(dc_, 20, y) == 0) rows.push_back(y);
      ASSERT_FALSE(rows.empty()) << face;
      auto scaled = [&](int32_t v) { return int32_t(std::lround(double(v) * 40 / t.upem)); };
      const int32_t size = std::max(1, scaled(underline ? t.under_size : t.strike_size));
      const int32_t centre = 100 - scaled(underline ? t.under_pos : t.strike_pos);
      EXPECT_EQ(int32_t(rows.size()), size) << face << " " << underline;
      EXPECT_EQ(rows.front(), centre - (size - 1) / 2) << face << " " << underline;
      EXPECT_EQ(rows.back(), centre + size / 2) << face << " " << underline;
      EXPECT_EQ(GetPixel(dc_, 9, rows.front()), RGB(255, 255, 255));  // from the start point on
    }
  }
}

TEST_F(Text, InkWhereTheGlyphBitmapSays) {
  Use("DejaVu Sans", -40);
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, 0);
  GLYPHMETRICS gm{};
  DWORD size = GetGlyphOutlineA(dc_, 'R', GGO_BITMAP, &gm, 0, nullptr, nullptr);
  std::vector<uint8_t> bits(size);
  GetGlyphOutlineA(dc_, 'R', GGO_BITMAP, &gm, size, bits.data(), nullptr);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc_, &tm);
  ASSERT_TRUE(TextOutA(dc_, 30, 20, "R", 1));
  const int32_t left = 30 + gm.gmptGlyphOrigin.x, top = 20 + tm.tmAscent - gm.gmptGlyphOrigin.y;
  const size_t stride = (gm.gmBlackBoxX + 31) / 32 * 4;
  int lit = 0;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 200; ++x) {
      const int32_t gx = x - left, gy = y - top;
      bool want = gx >= 0 && gy >= 0 && gx < int32_t(gm.gmBlackBoxX) && gy < int32_t(gm.gmBlackBoxY) &&
                  (bits[size_t(gy) * stride + size_t(gx) / 8] & (0x80 >> (gx % 8)));
      ASSERT_EQ(GetPixel(dc_, x, y) == 0, want) << x << "," << y;
      lit += want;
    }
  EXPECT_GT(lit, 50);
}

TEST_F(Text, CurrentPositionFollowsTurnedText) {
  struct Case {
    int32_t escapement, dx, dy;  // unit direction
  } cases[] = {{0, 1, 0}, {900, 0, -1}, {1800, -1, 0}, {2700, 0, 1}};
  for (const Case& c : cases) {
    Use("DejaVu Sans", -16, ANSI_CHARSET, c.escapement);
    SIZE ext{};
    GetTextExtentPoint32A(dc_, "abc", 3, &ext);
    SetTextAlign(dc_, TA_UPDATECP);
    MoveToEx(dc_, 100, 100, nullptr);
    ASSERT_TRUE(TextOutA(dc_, 0, 0, "abc", 3));
    POINT p{};
    GetCurrentPositionEx(dc_, &p);
    EXPECT_EQ(p.x, 100 + c.dx * ext.cx) << c.escapement;
    EXPECT_EQ(p.y, 100 + c.dy * ext.cx) << c.escapement;
    SetTextAlign(dc_, 0);
  }
}

// Turned text is the upright text turned about the start point, glyph for glyph, up to a
// pixel in fifty where the rasteriser's ties fall the other way once turned. The start
// points lie on the surface's edge where a direction a hair off its axis (cos 270 degrees
// is not quite 0 in floating point) would floor every glyph into the row above.
TEST_F(Text, TurnedTextIsTheUprightTextTurned) {
  Use("DejaVu Sans", -21);
  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(dc_, &tm));
  struct Case {
    int quarters;
    POINT corner;
  } cases[] = {{1, {100, 100}}, {2, {120, tm.tmAscent}}, {3, {40, 0}}};
  for (const Case& c : cases) {
    auto draw = [&](int32_t esc) {
      Use("DejaVu Sans", -21, ANSI_CHARSET, esc);
      PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
      EXPECT_TRUE(TextOutA(dc_, c.corner.x, c.corner.y, "Rg7", 3));
      std::vector<bool> ink(200 * 200);
      for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 200; ++x) ink[size_t(y * 200 + x)] = GetPixel(dc_, x, y) == 0;
      return ink;
    };
    const std::vector<bool> upright = draw(0);
    std::vector<bool> want(upright.size());
    for (int32_t y = 0; y < 200; ++y)
      for (int32_t x = 0; x < 200; ++x) {
        // Quarters anticlockwise about the corner point.
        int32_t tx = x, ty = y;
        for (int q = 0; q < c.quarters; ++q) {
          const int32_t nx = c.corner.x + (ty - c.corner.y), ny = c.corner.y - 1 - (tx - c.corner.x);
          tx = nx, ty = ny;
        }
        if (tx >= 0 && ty >= 0 && tx < 200 && ty < 200) want[size_t(ty * 200 + tx)] = upright[size_t(y * 200 + x)];
      }
    const std::vector<bool> got = draw(c.quarters * 900);
    int ink = 0, differ = 0;
    for (size_t i = 0; i < got.size(); ++i) ink += want[i], differ += got[i] != want[i];
    ASSERT_GT(ink, 60) << c.quarters;
    EXPECT_LE(differ * 50, ink) << "escapement " << c.quarters * 900 << ": " << differ << " of " << ink;
  }
}

TEST_F(Text, OpaqueAndClippedRectangles) {
  Use("DejaVu Sans", -40);
  SetBkMode(dc_, TRANSPARENT);
  SetBkColor(dc_, RGB(0, 0, 255));
  RECT r{10, 10, 60, 60};
  ASSERT_TRUE(ExtTextOutA(dc_, 20, 20, ETO_OPAQUE | ETO_CLIPPED, &r, "WWWW", 4, nullptr));
  EXPECT_EQ(GetPixel(dc_, 10, 10), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc_, 60, 60), RGB(255, 255, 255));
  EXPECT_GT(Ink(RECT{10, 10, 60, 60}), 0);
  EXPECT_EQ(Ink(RECT{60, 0, 200, 200}), 0);  // the text ran on past the rectangle
  PatBlt(dc_, 0, 0, 200, 200, WHITENESS);
  ASSERT_TRUE(ExtTextOutA(dc_, 20, 20, 0, &r, "WWWW", 4, nullptr));
  EXPECT_GT(Ink(RECT{60, 0, 200, 200}), 0);  // no clipping without ETO_CLIPPED
}

TEST_F(Text, AdvanceArraysPlaceEachCharacter) {
  Use("AR PL UMing TW", -20, CHINESEBIG5_CHARSET);
  SetBkMode(dc_, TRANSPARENT);
  // A double-byte character steps by its two entries; the lone lead byte at the end
  // reads only its own entry.
  const char text[] = "\xA4\x40" "\xA4\x40" "\xA4";
  const int32_t steps[5] = {30, 30, 0, 50, 0};
  ASSERT_TRUE(ExtTextOutA(dc_, 0, 0, 0, nullptr, text, 5, steps));
  EXPECT_GT(Ink(RECT{0, 0, 22, 40}), 0);
  EXPECT_EQ(Ink(RECT{22, 0, 58, 40}), 0);
  EXPECT_GT(Ink(RECT{60, 0, 82, 40}), 0);
}

}  // namespace
