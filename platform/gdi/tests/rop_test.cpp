// Raster operations of the drawing layer: every ternary code over every combination of
// pattern, source and destination bits, and the rules that carry a mono source onto
// colour and a colour source onto mono.
#include <gtest/gtest.h>

#include "platform/gdi/qmgdi.h"

namespace {

// A memory DC with its own bitmap, released at the end of a test.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  Surface(HBITMAP b) : bm(b) {
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
};

HBITMAP dib32(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = 40;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
}

TEST(RasterOps, EveryTernaryCodeOverEveryBitCombination) {
  // Destination bits 10101010 and source bits 11001100 give all four (S, D) pairs twice;
  // the brush is black (P = 0) or white (P = 1) on a mono bitmap.
  const unsigned char src_bits[2] = {0xCC, 0};
  Surface src(CreateBitmap(8, 1, 1, 1, src_bits));
  Surface dst(CreateBitmap(8, 1, 1, 1, nullptr));
  const unsigned char dst_bits[2] = {0xAA, 0};
  Surface init(CreateBitmap(8, 1, 1, 1, dst_bits));
  HBRUSH brushes[2] = {static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                       static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))};
  for (int code = 0; code < 256; ++code) {
    for (int p = 0; p < 2; ++p) {
      ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 8, 1, init.dc, 0, 0, SRCCOPY));
      SelectObject(dst.dc, brushes[p]);
      ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 8, 1, src.dc, 0, 0, DWORD(code) << 16)) << code;
      for (int x = 0; x < 8; ++x) {
        int s = (0xCC >> (7 - x)) & 1, d = (0xAA >> (7 - x)) & 1;
        int want = (code >> ((p << 2) | (s << 1) | d)) & 1;
        EXPECT_EQ(GetPixel(dst.dc, x, 0), want ? 0xFFFFFFu : 0u) << "code " << code << " P" << p << " S" << s
                                                                 << " D" << d;
      }
    }
  }
}

TEST(RasterOps, NamedCodesMeanWhatTheirNamesSay) {
  // The code of an operation is its result over the bytes P = F0, S = CC, D = AA.
  const unsigned P = 0xF0, S = 0xCC, D = 0xAA;
  struct Case {
    DWORD rop;
    unsigned truth;
  } cases[] = {
      {SRCCOPY, S},           {SRCPAINT, S | D},      {SRCAND, S & D},       {SRCINVERT, S ^ D},
      {SRCERASE, S & ~D},     {NOTSRCCOPY, ~S},       {NOTSRCERASE, ~(S | D)}, {MERGECOPY, P & S},
      {MERGEPAINT, ~S | D},   {PATCOPY, P},           {PATPAINT, P | ~S | D}, {PATINVERT, P ^ D},
      {DSTINVERT, ~D},        {BLACKNESS, 0},         {WHITENESS, 0xFF},
  };
  for (const Case& c : cases) EXPECT_EQ((c.rop >> 16) & 0xFF, c.truth & 0xFF) << std::hex << c.rop;
}

TEST(RasterOps, MonoSourceOntoColourTakesTextAndBackgroundColours) {
  const unsigned char bits[2] = {0xA0, 0};  // 1 0 1 0
  Surface src(CreateBitmap(4, 1, 1, 1, bits));
  Surface dst(dib32(4, 1));
  SetTextColor(dst.dc, RGB(255, 0, 0));
  SetBkColor(dst.dc, RGB(0, 0, 255));
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY));
  const COLORREF want[4] = {RGB(0, 0, 255), RGB(255, 0, 0), RGB(0, 0, 255), RGB(255, 0, 0)};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(GetPixel(dst.dc, x, 0), want[x]) << x;
}

TEST(RasterOps, ColourSourceOntoMonoMakesTheBackgroundColourOne) {
  Surface src(dib32(4, 1));
  const COLORREF colours[4] = {RGB(0, 255, 0), RGB(255, 255, 255), RGB(0, 254, 0), RGB(0, 255, 0)};
  for (int x = 0; x < 4; ++x) SetPixel(src.dc, x, 0, colours[x]);
  SetBkColor(src.dc, RGB(0, 255, 0));
  Surface dst(CreateBitmap(4, 1, 1, 1, nullptr));
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY));
  const COLORREF want[4] = {0xFFFFFF, 0, 0, 0xFFFFFF};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(GetPixel(dst.dc, x, 0), want[x]) << x;
}

TEST(RasterOps, TransparentGlyphBlitKeepsTheBackground) {
  // The two-step glyph blit of the text output: ink (0 bits) takes the text colour,
  // other pixels keep what was there.
  const unsigned char bits[2] = {0x50, 0};  // 0 1 0 1: ink at 0 and 2
  Surface glyph(CreateBitmap(4, 1, 1, 1, bits));
  Surface dst(dib32(4, 1));
  for (int x = 0; x < 4; ++x) SetPixel(dst.dc, x, 0, RGB(10, 20, 30));
  SetTextColor(dst.dc, 0);
  SetBkColor(dst.dc, 0xFFFFFF);
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, glyph.dc, 0, 0, MERGEPAINT));
  SetTextColor(dst.dc, RGB(200, 0, 0));
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, glyph.dc, 0, 0, SRCAND));
  // MERGEPAINT turns ink pixels white; SRCAND then gives them the text colour and
  // leaves the others (white source) as they were.
  for (int x = 0; x < 4; ++x) EXPECT_EQ(GetPixel(dst.dc, x, 0), x % 2 ? RGB(10, 20, 30) : RGB(200, 0, 0)) << x;
}

}  // namespace
