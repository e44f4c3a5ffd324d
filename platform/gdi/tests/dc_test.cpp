// Device-context state of the drawing layer: anisotropic mapping, clipping and FillRect,
// SaveDC/RestoreDC, device capabilities, and colours on a palette screen.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/qmgdi.h"

namespace {

HBITMAP dib32(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = 40;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
}

class DcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QmScreenKind k{0, 0, 64, 48};
    ASSERT_TRUE(QmSetScreen(&k));
    objects_ = QmLiveGdiObjects();
    dc = CreateCompatibleDC(nullptr);
    bm = dib32(8, 8);
    old = SelectObject(dc, bm);
    RECT all{0, 0, 8, 8};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  void TearDown() override {
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(QmLiveGdiObjects(), objects_);
  }
  // The 8x8 surface as rows of '#' (black) and '.' (white).
  std::vector<std::string> picture() {
    std::vector<std::string> rows;
    for (int y = 0; y < 8; ++y) {
      std::string r;
      for (int x = 0; x < 8; ++x) {
        COLORREF c = GetPixel(dc, x, y);
        r += c == 0 ? '#' : c == 0xFFFFFF ? '.' : '?';
      }
      rows.push_back(r);
    }
    return rows;
  }
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  int objects_ = 0;
};

TEST_F(DcTest, AnisotropicMapping) {
  struct Case {
    POINT worg;
    SIZE wext;
    POINT vorg;
    SIZE vext;
    POINT in, want;
  } cases[] = {
      {{0, 0}, {100, 100}, {0, 0}, {50, 50}, {10, 10}, {5, 5}},
      {{0, 0}, {100, 100}, {0, 0}, {50, 50}, {3, 3}, {2, 2}},       // 1.5 rounds away from zero
      {{0, 0}, {100, 100}, {0, 0}, {50, 50}, {-3, -3}, {-2, -2}},
      {{10, 20}, {1, 1}, {100, 200}, {1, 1}, {10, 20}, {100, 200}},
      {{10, 20}, {2, 4}, {100, 200}, {6, 8}, {12, 24}, {106, 208}},
      {{0, 0}, {100, 100}, {0, 0}, {-50, 50}, {10, 0}, {-5, 0}},   // mirrored x
      {{0, 0}, {1440, 1440}, {0, 0}, {96, -96}, {720, 720}, {48, -48}},
      {{5, 5}, {3, 3}, {0, 0}, {1, 1}, {5, 6}, {0, 0}},            // a third rounds down
  };
  ASSERT_EQ(SetMapMode(dc, MM_ANISOTROPIC), MM_TEXT);
  for (const Case& c : cases) {
    SetWindowOrgEx(dc, c.worg.x, c.worg.y, nullptr);
    SetWindowExtEx(dc, c.wext.cx, c.wext.cy, nullptr);
    SetViewportOrgEx(dc, c.vorg.x, c.vorg.y, nullptr);
    SetViewportExtEx(dc, c.vext.cx, c.vext.cy, nullptr);
    POINT p = c.in;
    ASSERT_TRUE(LPtoDP(dc, &p, 1));
    EXPECT_EQ(p.x, c.want.x) << c.in.x << "," << c.in.y << " ext " << c.wext.cx << "/" << c.vext.cx;
    EXPECT_EQ(p.y, c.want.y) << c.in.x << "," << c.in.y;
  }
  // MM_TEXT ignores extents and keeps the origins.
  SetMapMode(dc, MM_TEXT);
  SetWindowOrgEx(dc, 1, 2, nullptr);
  SetViewportOrgEx(dc, 10, 20, nullptr);
  EXPECT_TRUE(SetWindowExtEx(dc, 7, 7, nullptr));
  POINT p{5, 5};
  LPtoDP(dc, &p, 1);
  EXPECT_EQ(p.x, 14);
  EXPECT_EQ(p.y, 23);
}

TEST_F(DcTest, ClippingAndFillRect) {
  struct Case {
    const char* name;
    bool clip;
    RECT clip_rect;  // logical, for IntersectClipRect
    RECT fill;
    bool scaled;     // MM_ANISOTROPIC with two device pixels per logical unit
    std::vector<std::string> want;
  } cases[] = {
      {"plain fill, right and bottom excluded", false, {}, {1, 1, 4, 3}, false,
       {"........", ".###....", ".###....", "........", "........", "........", "........", "........"}},
      {"clip cuts the fill", true, {2, 0, 8, 2}, {1, 1, 4, 3}, false,
       {"........", "..##....", "........", "........", "........", "........", "........", "........"}},
      {"disjoint clip draws nothing", true, {6, 6, 8, 8}, {0, 0, 3, 3}, false,
       {"........", "........", "........", "........", "........", "........", "........", "........"}},
      {"fill past the surface stops at its edge", false, {}, {5, 6, 20, 20}, false,
       {"........", "........", "........", "........", "........", "........", ".....###", ".....###"}},
      {"negative corner", false, {}, {-5, -5, 1, 2}, false,
       {"#.......", "#.......", "........", "........", "........", "........", "........", "........"}},
      {"scaled fill", false, {}, {1, 1, 2, 3}, true,
       {"........", "........", "..##....", "..##....", "..##....", "..##....", "........", "........"}},
      {"scaled clip in logical units", true, {0, 0, 2, 2}, {1, 1, 3, 3}, true,
       {"........", "........", "..##....", "..##....", "........", "........", "........", "........"}},
  };
  HBRUSH black = CreateSolidBrush(0);
  for (const Case& c : cases) {
    RECT all{0, 0, 8, 8};
    SelectClipRgn(dc, nullptr);
    SetMapMode(dc, MM_TEXT);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    int saved = SaveDC(dc);
    if (c.scaled) {
      SetMapMode(dc, MM_ANISOTROPIC);
      SetWindowExtEx(dc, 1, 1, nullptr);
      SetViewportExtEx(dc, 2, 2, nullptr);
    }
    if (c.clip) IntersectClipRect(dc, c.clip_rect.left, c.clip_rect.top, c.clip_rect.right, c.clip_rect.bottom);
    EXPECT_EQ(FillRect(dc, &c.fill, black), 1) << c.name;
    RestoreDC(dc, saved);
    EXPECT_EQ(picture(), c.want) << c.name;
  }
  DeleteObject(black);
}

TEST_F(DcTest, LinesInThePen) {
  struct Case {
    const char* name;
    POINT from, to;
    int32_t width;
    bool clip;
    std::vector<std::string> want;
  } cases[] = {
      {"horizontal, end point left out", {1, 1}, {5, 1}, 1, false,
       {"........", ".####...", "........", "........", "........", "........", "........", "........"}},
      {"vertical upward", {6, 6}, {6, 2}, 1, false,
       {"........", "........", "........", "......#.", "......#.", "......#.", "......#.", "........"}},
      {"diagonal", {0, 0}, {4, 4}, 1, false,
       {"#.......", ".#......", "..#.....", "...#....", "........", "........", "........", "........"}},
      {"three wide: a square on every point", {2, 4}, {6, 4}, 3, false,
       {"........", "........", "........", ".######.", ".######.", ".######.", "........", "........"}},
      {"clipped", {0, 2}, {8, 2}, 1, true,
       {"........", "........", "..###...", "........", "........", "........", "........", "........"}},
      {"from far outside", {-1000000, 7}, {3, 7}, 1, false,
       {"........", "........", "........", "........", "........", "........", "........", "###....."}},
  };
  for (const Case& c : cases) {
    RECT all{0, 0, 8, 8};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    int saved = SaveDC(dc);
    HPEN pen = CreatePen(PS_SOLID, c.width, 0);
    SelectObject(dc, pen);
    if (c.clip) IntersectClipRect(dc, 2, 0, 5, 8);
    MoveToEx(dc, c.from.x, c.from.y, nullptr);
    EXPECT_TRUE(LineTo(dc, c.to.x, c.to.y)) << c.name;
    POINT pos;
    GetCurrentPositionEx(dc, &pos);
    EXPECT_EQ(pos.x, c.to.x) << c.name;
    RestoreDC(dc, saved);
    DeleteObject(pen);
    EXPECT_EQ(picture(), c.want) << c.name;
  }
}

TEST_F(DcTest, RestoreDcBringsBackTheSavedLevel) {
  SetTextColor(dc, RGB(1, 2, 3));
  int first = SaveDC(dc);
  SetTextColor(dc, RGB(4, 5, 6));
  SetMapMode(dc, MM_ANISOTROPIC);
  IntersectClipRect(dc, 0, 0, 2, 2);
  int second = SaveDC(dc);
  EXPECT_EQ(second, first + 1);
  SetBkMode(dc, TRANSPARENT);
  ASSERT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
  ASSERT_TRUE(RestoreDC(dc, first));
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  RECT box;
  EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 8);
  EXPECT_FALSE(RestoreDC(dc, first));  // that level is gone
  EXPECT_FALSE(RestoreDC(dc, -1));
}

TEST_F(DcTest, DeletingSelectedObjectsIsRefused) {
  HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
  HGDIOBJ prev = SelectObject(dc, b);
  EXPECT_FALSE(DeleteObject(b));
  EXPECT_FALSE(DeleteObject(bm));
  SelectObject(dc, prev);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_FALSE(DeleteObject(b));  // already gone
}

TEST(GdiScreen, KindsAnswerInDeviceCaps) {
  struct Case {
    QmScreenKind kind;
    int raster_palette, size_palette, technology;
  } cases[] = {
      {{0, 0, 32, 32}, 0, 0, DT_RASDISPLAY},
      {{256, 0, 32, 32}, RC_PALETTE, 256, DT_RASDISPLAY},
      {{16, 0, 32, 32}, RC_PALETTE, 16, DT_RASDISPLAY},
      {{0, 1, 32, 32}, 0, 0, DT_RASPRINTER},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(QmSetScreen(&c.kind));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, c.raster_palette);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), c.size_palette);
    EXPECT_EQ(GetDeviceCaps(screen, TECHNOLOGY), c.technology);
    ReleaseDC(nullptr, screen);
  }
  QmScreenKind bad{1, 0, 32, 32};
  EXPECT_FALSE(QmSetScreen(&bad));
}

TEST(GdiScreen, TrueColourPixelsOnAPaletteScreenTakeTheNearestRealisedEntry) {
  QmScreenKind k{256, 0, 16, 16};
  ASSERT_TRUE(QmSetScreen(&k));
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 4, 1);
  HGDIOBJ old = SelectObject(mem, bm);
  // A palette of 256 grays in steps of one; realised, it fills the system palette.
  std::vector<unsigned char> buf(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) lp->palPalEntry[i] = PALETTEENTRY{BYTE(i / 4 * 4), BYTE(i / 4 * 4), BYTE(i / 4 * 4), 0};
  HPALETTE pal = CreatePalette(lp);
  HPALETTE prev = SelectPalette(mem, pal, 0);
  EXPECT_EQ(RealizePalette(mem), 256u);
  // A 24-bit DIB of four colours.
  struct {
    BITMAPINFOHEADER h;
    unsigned char bits[12];
  } dib{};
  dib.h = BITMAPINFOHEADER{40, 4, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const unsigned char px[12] = {0, 0, 0, 10, 10, 10, 255, 0, 0, 101, 102, 103};  // blue, green, red
  std::copy(px, px + 12, dib.bits);
  ASSERT_EQ(StretchDIBits(mem, 0, 0, 4, 1, 0, 0, 4, 1, dib.bits, reinterpret_cast<BITMAPINFO*>(&dib),
                          DIB_RGB_COLORS, SRCCOPY),
            1);
  EXPECT_EQ(GetPixel(mem, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(mem, 1, 0), RGB(8, 8, 8));     // 10 lies nearer 8 than 12
  EXPECT_EQ(GetPixel(mem, 2, 0), RGB(84, 84, 84));  // pure blue: the gray of least squared distance
  EXPECT_EQ(GetPixel(mem, 3, 0), RGB(100, 100, 100));
  SelectPalette(mem, prev, 1);
  SelectObject(mem, old);
  DeleteObject(bm);
  DeleteDC(mem);
  DeleteObject(pal);
  ReleaseDC(nullptr, screen);
}

}  // namespace
