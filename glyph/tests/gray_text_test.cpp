// Tests of the gray text of installed fonts through librvcsp32.so (dlopen): every case
// where gray output does not apply draws exactly what ExtTextOutA draws; gray output
// against FreeType's own anti-aliasing of the same face at single size (ink box and mean
// difference); only the five gray levels reach the target; advance arrays and the current
// position; the halved double-size extent.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "glyph/rvcsp32.h"
#include "platform/gdi/tests/private_fonts.h"
#include "platform/gdi/tests/ttx_values.h"

namespace {

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Gray {
  void* lib = nullptr;
  decltype(&CSX_SetGrayScale) SetGrayScale = nullptr;
  decltype(&CSX_ExtTextOutG) ExtTextOutG = nullptr;
  decltype(&CSX_GetTextExtentPoint32G) GetTextExtentPoint32G = nullptr;
  Gray() {
    qm::test::UsePrivateFonts();
    std::string path = std::string(QM_DIST_DIR) + "/librvcsp32.so";
    lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      ADD_FAILURE() << ::dlerror();
      return;
    }
    SetGrayScale = reinterpret_cast<decltype(SetGrayScale)>(::dlsym(lib, "CSX_SetGrayScale"));
    ExtTextOutG = reinterpret_cast<decltype(ExtTextOutG)>(::dlsym(lib, "CSX_ExtTextOutG"));
    GetTextExtentPoint32G = reinterpret_cast<decltype(GetTextExtentPoint32G)>(::dlsym(lib, "CSX_GetTextExtentPoint32G"));
    if (!SetGrayScale || !ExtTextOutG || !GetTextExtentPoint32G) ADD_FAILURE() << "missing export";
  }
};
Gray& gray() {
  static Gray g;
  return g;
}

// A 32-bit white surface with a font selected.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old_bm = nullptr, old_font = nullptr;
  HFONT font = nullptr;
  int32_t w, h;
  Surface(const LOGFONTA& lf, int32_t width = 160, int32_t height = 80) : w(width), h(height) {
    dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_bm = SelectObject(dc, bm);
    PatBlt(dc, 0, 0, w, h, WHITENESS);
    font = CreateFontIndirectA(&lf);
    old_font = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
  }
  ~Surface() {
    SelectObject(dc, old_font);
    SelectObject(dc, old_bm);
    DeleteObject(font);
    DeleteObject(bm);
    DeleteDC(dc);
  }
  std::vector<COLORREF> Pixels() const {
    std::vector<COLORREF> out;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) out.push_back(GetPixel(dc, x, y));
    return out;
  }
};

LOGFONTA Font(int32_t height, int32_t weight = FW_NORMAL) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  std::strncpy(lf.lfFaceName, "DejaVu Sans", LF_FACESIZE - 1);
  return lf;
}

// The metrics of the font lf as selected into dc (which keeps its own font).
TEXTMETRICA MetricsOf(HDC dc, const LOGFONTA& lf) {
  HFONT f = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc, f);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  DeleteObject(f);
  return tm;
}

class GrayText : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(gray().lib, nullptr); }
  void TearDown() override {
    gray().SetGrayScale(0);
    QmScreenKind normal{0, 0, 640, 480};
    QmSetScreen(&normal);
  }
};

TEST_F(GrayText, PlainOutputWhereGrayDoesNotApply) {
  struct Case {
    const char* what;
    uint32_t gray_switch;
    int32_t height, weight;
    COLORREF colour;
    bool printer;
  } cases[] = {
      {"switch off", 0, -20, FW_NORMAL, 0, false},
      {"bold", 1, -20, FW_BOLD, 0, false},
      {"red text", 1, -20, FW_NORMAL, RGB(255, 0, 0), false},
      {"printer", 1, -20, FW_NORMAL, 0, true},
      {"300-pixel font", 1, -300, FW_NORMAL, 0, false},
  };
  for (const Case& c : cases) {
    QmScreenKind kind{0, c.printer ? 1 : 0, 640, 480};
    ASSERT_TRUE(QmSetScreen(&kind));
    gray().SetGrayScale(c.gray_switch);
    LOGFONTA lf = Font(c.height, c.weight);
    Surface a(lf), b(lf);
    SetTextColor(a.dc, c.colour);
    SetTextColor(b.dc, c.colour);
    RECT r{5, 5, 120, 60};
    const int32_t adv[3] = {30, 25, 20};
    EXPECT_EQ(gray().ExtTextOutG(&lf, a.dc, 10, 10, ETO_CLIPPED, &r, "Abc", 3, adv), 1) << c.what;
    EXPECT_EQ(ExtTextOutA(b.dc, 10, 10, ETO_CLIPPED, &r, "Abc", 3, adv), 1);
    EXPECT_TRUE(a.Pixels() == b.Pixels()) << c.what;
  }
}

TEST_F(GrayText, OnlyTheFiveLevelsReachTheTarget) {
  gray().SetGrayScale(1);
  LOGFONTA lf = Font(-24);
  Surface s(lf);
  ASSERT_EQ(gray().ExtTextOutG(&lf, s.dc, 4, 4, 0, nullptr, "Rag", 3, nullptr), 1);
  std::set<COLORREF> seen;
  for (COLORREF c : s.Pixels()) seen.insert(c);
  const std::set<COLORREF> allowed = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
  for (COLORREF c : seen) EXPECT_TRUE(allowed.count(c)) << std::hex << c;
  EXPECT_GE(seen.size(), 4u);  // anti-aliased edges, not just black and white
}

// Every glyph on its own, at three sizes: the ink box within a pixel of FreeType's and the
// mean difference over the two boxes together at most 15% of full scale. (Double-size
// glyphs are moved onto the grid of 2 by 2 blocks before the reduction; without that a
// glyph with odd double-size origins, "g" at 24 pixels among them, sat a pixel off and
// reached 20%.)
TEST_F(GrayText, CloseToFreeTypeAntiAliasing) {
  gray().SetGrayScale(1);
  FT_Library lib;
  FT_Face face;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  ASSERT_EQ(FT_New_Face(lib, kDejaVu, 0, &face), 0);
  for (int em : {16, 24, 31}) {
    LOGFONTA lf = Font(-em);
    Surface s(lf);
    TEXTMETRICA tm{};
    GetTextMetricsA(s.dc, &tm);
    for (char ch : std::string("AgW8@jy")) {
      PatBlt(s.dc, 0, 0, s.w, s.h, WHITENESS);
      const char text[1] = {ch};
      ASSERT_EQ(gray().ExtTextOutG(&lf, s.dc, 20, 10, 0, nullptr, text, 1, nullptr), 1);
      // FreeType's 8-bit coverage (unhinted outlines) of the same glyph at the single
      // size, on the baseline the plain text metrics give.
      FT_Set_Char_Size(face, em * 64, em * 64, 72, 72);
      ASSERT_EQ(FT_Load_Char(face, FT_ULong(uint8_t(ch)), FT_LOAD_RENDER | FT_LOAD_NO_HINTING), 0);
      const FT_Bitmap& b = face->glyph->bitmap;
      std::vector<double> want(size_t(s.w * s.h), 0.0), got(size_t(s.w * s.h), 0.0);
      const int gx = 20 + face->glyph->bitmap_left, gy = 10 + tm.tmAscent - face->glyph->bitmap_top;
      for (unsigned r = 0; r < b.rows; ++r)
        for (unsigned c = 0; c < b.width; ++c) {
          int x = gx + int(c), y = gy + int(r);
          if (x >= 0 && y >= 0 && x < s.w && y < s.h)
            want[size_t(y * s.w + x)] = b.buffer[r * unsigned(b.pitch) + c] / 255.0;
        }
      for (int32_t y = 0; y < s.h; ++y)
        for (int32_t x = 0; x < s.w; ++x) got[size_t(y * s.w + x)] = (255 - GetRValue(GetPixel(s.dc, x, y))) / 255.0;
      // Ink boxes: pixels of at least a quarter coverage.
      auto box = [&](const std::vector<double>& v) {
        RECT r{s.w, s.h, -1, -1};
        for (int32_t y = 0; y < s.h; ++y)
          for (int32_t x = 0; x < s.w; ++x)
            if (v[size_t(y * s.w + x)] >= 0.25)
              r = RECT{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x), std::max(r.bottom, y)};
        return r;
      };
      const RECT bw = box(want), bg = box(got);
      EXPECT_NEAR(bg.left, bw.left, 1) << ch << " " << em;
      EXPECT_NEAR(bg.top, bw.top, 1) << ch << " " << em;
      EXPECT_NEAR(bg.right, bw.right, 1) << ch << " " << em;
      EXPECT_NEAR(bg.bottom, bw.bottom, 1) << ch << " " << em;
      double sum = 0;
      int n = 0;
      for (int32_t y = std::min(bw.top, bg.top); y <= std::max(bw.bottom, bg.bottom); ++y)
        for (int32_t x = std::min(bw.left, bg.left); x <= std::max(bw.right, bg.right); ++x, ++n)
          sum += std::abs(want[size_t(y * s.w + x)] - got[size_t(y * s.w + x)]);
      ASSERT_GT(n, 0);
      EXPECT_LE(sum / n, 0.15) << ch << " " << em;
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

// Gray text at 900, 1800 and 2700 is the text at 0 turned about the start point, its
// underline and strike-out included: the same pixels are inked and the same are black (the middle levels weigh a block's left pixels
// above its right ones, so they turn only as footprints), up to a pixel in fifty where the
// rasteriser's ties fall the other way once turned. At 2700 with top alignment the glyph
// column sits one cell height further left.
TEST_F(GrayText, TurnedGrayTextIsTheUprightTextTurned) {
  gray().SetGrayScale(1);
  const int32_t side = 160;
  auto draw = [&](int32_t esc, int32_t& height) {
    LOGFONTA lf = Font(-23);
    lf.lfEscapement = esc;
    lf.lfUnderline = 1;
    lf.lfStrikeOut = 1;
    Surface s(lf, side, side);
    const TEXTMETRICA tm = MetricsOf(s.dc, Font(-46));
    height = (tm.tmHeight + 1) / 2;
    EXPECT_EQ(gray().ExtTextOutG(&lf, s.dc, 80, 80, 0, nullptr, "Rg7", 3, nullptr), 1);
    return s.Pixels();
  };
  int32_t height = 0;
  std::vector<COLORREF> want = draw(0, height);
  for (int quarter = 1; quarter < 4; ++quarter) {
    std::vector<COLORREF> turned(want.size(), 0xFFFFFF);
    for (int32_t y = 0; y < side; ++y)
      for (int32_t x = 0; x < side; ++x) {
        const int32_t tx = 80 + (y - 80), ty = 80 - 1 - (x - 80);
        if (tx >= 0 && ty >= 0 && tx < side && ty < side) turned[size_t(ty * side + tx)] = want[size_t(y * side + x)];
      }
    want = turned;
    const std::vector<COLORREF> got = draw(quarter * 900, height);
    const int32_t shift = quarter == 3 ? height : 0;
    int ink = 0, differ = 0;
    for (int32_t y = 0; y < side; ++y)
      for (int32_t x = 0; x < side; ++x) {
        const COLORREF w = x + shift < side ? want[size_t(y * side + x + shift)] : 0xFFFFFF;
        const COLORREF g = got[size_t(y * side + x)];
        ink += w != 0xFFFFFF;
        differ += (w != 0xFFFFFF) != (g != 0xFFFFFF) || (w == 0) != (g == 0);
      }
    ASSERT_GT(ink, 100);
    EXPECT_LE(differ * 50, ink) << "escapement " << quarter * 900 << ": " << differ << " of " << ink;
  }
}

// Gray text of "Rg7" and a high byte at each escapement, as the pixels of a 160 by 160
// surface; `face` names the font.
std::vector<COLORREF> GrayPixels(const char* face, int32_t esc) {
  LOGFONTA lf = Font(-21);
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  lf.lfEscapement = esc;
  Surface s(lf, 160, 160);
  EXPECT_EQ(gray().ExtTextOutG(&lf, s.dc, 80, 80, 0, nullptr, "R\xE9g7\xA9", 5, nullptr), 1);
  return s.Pixels();
}

// A vertical face ("@" before the family) draws its single bytes as whole character
// cells: the same gray text as the family's glyph outlines give, at every escapement.
TEST_F(GrayText, VerticalFaceCellsEqualTheOutlines) {
  gray().SetGrayScale(1);
  for (int32_t esc : {0, 900, 1800, 2700}) {
    const std::vector<COLORREF> cells = GrayPixels("@DejaVu Sans", esc), outlines = GrayPixels("DejaVu Sans", esc);
    int ink = 0;
    for (COLORREF c : outlines) ink += c != 0xFFFFFF;
    EXPECT_GT(ink, 100);
    EXPECT_TRUE(cells == outlines) << esc;
  }
}

// On the Big5 code page (read when the library is loaded, so in a child process of this
// test program) the high bytes of ANSI text are drawn as character cells: the child's
// gray text equals the glyph outlines' drawn here.
TEST_F(GrayText, HighBytesOnABig5CodePageEqualTheOutlines) {
  if (const char* dump = std::getenv("QM_GRAY_CELL_DUMP")) {
    // The child: draws and writes the pixels.
    gray().SetGrayScale(1);
    std::FILE* f = std::fopen(dump, "wb");
    ASSERT_NE(f, nullptr);
    for (int32_t esc : {0, 900, 1800, 2700}) {
      const std::vector<COLORREF> p = GrayPixels("DejaVu Sans", esc);
      std::fwrite(p.data(), sizeof(COLORREF), p.size(), f);
    }
    std::fclose(f);
    return;
  }
  const std::string dump = std::string(::testing::TempDir()) + "qm_gray_cells_" + std::to_string(::getpid());
  const std::string cmd = "QUILLMERE_CODEPAGE=950 QM_GRAY_CELL_DUMP=" + dump +
                          " /proc/self/exe --gtest_filter=GrayText.HighBytesOnABig5CodePageEqualTheOutlines >/dev/null";
  // /proc/self/exe of the shell would be the shell: name this program.
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string command = cmd;
  command.replace(command.find("/proc/self/exe"), 14, self);
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::FILE* f = std::fopen(dump.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  gray().SetGrayScale(1);
  for (int32_t esc : {0, 900, 1800, 2700}) {
    const std::vector<COLORREF> want = GrayPixels("DejaVu Sans", esc);
    std::vector<COLORREF> got(want.size());
    ASSERT_EQ(std::fread(got.data(), sizeof(COLORREF), got.size(), f), got.size());
    EXPECT_TRUE(got == want) << esc;
  }
  std::fclose(f);
  std::remove(dump.c_str());
}

TEST_F(GrayText, AdvanceArrayAndCurrentPosition) {
  gray().SetGrayScale(1);
  LOGFONTA lf = Font(-16);
  Surface s(lf);
  SetTextAlign(s.dc, TA_UPDATECP);
  MoveToEx(s.dc, 10, 10, nullptr);
  // The last character ignores the array: its advance is measured.
  const int32_t adv[3] = {40, 40, 1000};
  ASSERT_EQ(gray().ExtTextOutG(&lf, s.dc, 0, 0, 0, nullptr, "iii", 3, adv), 1);
  POINT p{};
  GetCurrentPositionEx(s.dc, &p);
  SIZE one{};
  gray().GetTextExtentPoint32G(&lf, s.dc, "i", 1, &one);
  EXPECT_NEAR(p.x, 10 + 80 + one.cx, 1);
  EXPECT_EQ(p.y, 10);
}

// a * b / c rounded half away from zero.
int32_t Scaled(int32_t a, int32_t b, int32_t c) {
  const int64_t p = int64_t(a) * b;
  return int32_t((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

// The lines of gray text lie where the font's tables say, scaled by the ascent over the
// units per em: as many rows as the scaled thickness, centred (the lower middle row for an
// even thickness) the scaled position above the baseline; for DejaVu Sans and the
// generated "Quill Test", whose values ttx reads back from the files.
TEST_F(GrayText, UnderlineAndStrikeOutFromTheFontTables) {
  ASSERT_FALSE(qm::test::TestFontPath().empty()) << "make_test_font.py needs python3-fonttools";
  struct FontCase {
    const char* face;
    std::string file;
  } fonts[] = {{"DejaVu Sans", kDejaVu}, {"Quill Test", qm::test::TestFontPath()}};
  gray().SetGrayScale(1);
  for (const FontCase& font : fonts) {
    qm::test::TtxTableValues t;
    ASSERT_TRUE(qm::test::TtxValues(font.file, t)) << font.file;
    struct Case {
      bool underline;
      int32_t pos, size;
    } cases[] = {{true, t.under_pos, t.under_size}, {false, t.strike_pos, t.strike_size}};
    for (const Case& c : cases) {
      LOGFONTA lf = Font(-40);
      std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", font.face);
      lf.lfUnderline = c.underline;
      lf.lfStrikeOut = !c.underline;
      Surface s(lf);
      // H and D: the double-size height and descent halved.
      LOGFONTA big = lf;
      big.lfHeight = -80;
      const TEXTMETRICA tm = MetricsOf(s.dc, big);
      const int32_t ascent = (tm.tmHeight + 1) / 2 - (tm.tmDescent + 1) / 2;
      ASSERT_EQ(gray().ExtTextOutG(&lf, s.dc, 10, 5, 0, nullptr, "   ", 3, nullptr), 1);  // spaces: only the line
      std::vector<int32_t> rows;
      for (int32_t y = 0; y < s.h; ++y)
        if (GetPixel(s.dc, 30, y) == 0) rows.push_back(y);
      ASSERT_FALSE(rows.empty()) << font.face;
      const int32_t want_size = std::max(1, Scaled(c.size, ascent, t.upem));
      const int32_t want_centre = 5 + ascent - Scaled(c.pos, ascent, t.upem);
      EXPECT_EQ(int32_t(rows.size()), want_size) << font.face << " " << c.underline;
      EXPECT_EQ(rows.front(), want_centre - (want_size - 1) / 2) << font.face << " " << c.underline;
      EXPECT_EQ(rows.back(), want_centre + want_size / 2) << font.face << " " << c.underline;
    }
  }
}

TEST_F(GrayText, ExtentIsTheDoubleSizeHalved) {
  LOGFONTA lf = Font(-15);
  Surface s(lf);
  LOGFONTA doubled = Font(-30);
  HFONT big = CreateFontIndirectA(&doubled);
  HGDIOBJ old = SelectObject(s.dc, big);
  SIZE twice{};
  GetTextExtentPoint32A(s.dc, "Quill", 5, &twice);
  SelectObject(s.dc, old);
  DeleteObject(big);
  gray().SetGrayScale(1);
  SIZE got{};
  ASSERT_EQ(gray().GetTextExtentPoint32G(&lf, s.dc, "Quill", 5, &got), 1);
  EXPECT_EQ(got.cx, twice.cx / 2);
  EXPECT_EQ(got.cy, twice.cy / 2);
  gray().SetGrayScale(0);
  SIZE plain{}, direct{};
  gray().GetTextExtentPoint32G(&lf, s.dc, "Quill", 5, &plain);
  GetTextExtentPoint32A(s.dc, "Quill", 5, &direct);
  EXPECT_EQ(plain.cx, direct.cx);
}

}  // namespace
