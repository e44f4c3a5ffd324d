// DIBs through the drawing layer: StretchDIBits of every depth and both row orders
// against Pillow's decode of the same DIB saved as a BMP file, stretching and mirroring,
// GetDIBits, DIB sections, the BMP reader's checks and the PNG writer.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/gdi/qmgdi.h"
#include "platform/le.h"
#include "testsupport/test_files.h"

namespace {

// A packed DIB built in memory: header, colour table or masks, bits.
struct Dib {
  std::vector<uint8_t> bytes;
  const BITMAPINFO* info() const { return reinterpret_cast<const BITMAPINFO*>(bytes.data()); }
  const uint8_t* bits() const {
    const auto& h = info()->bmiHeader;
    uint32_t n = h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount) : 0;
    return bytes.data() + h.biSize + 4 * n + (h.biCompression == BI_BITFIELDS ? 12 : 0);
  }
};

Dib make_dib(int w, int h, int bpp, bool top_down, uint32_t seed, const uint32_t* masks = nullptr) {
  std::mt19937 rng(seed);
  Dib d;
  BITMAPINFOHEADER hd{40, w, top_down ? -h : h, 1, WORD(bpp), masks ? DWORD(BI_BITFIELDS) : DWORD(BI_RGB), 0, 0, 0, 0, 0};
  d.bytes.resize(40);
  std::memcpy(d.bytes.data(), &hd, 40);
  if (bpp <= 8)
    for (int i = 0; i < (1 << bpp); ++i) {
      uint32_t c = rng() & 0xFFFFFF;
      for (int k = 0; k < 4; ++k) d.bytes.push_back(k < 3 ? uint8_t(c >> (8 * k)) : 0);
    }
  if (masks)
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 4; ++k) d.bytes.push_back(uint8_t(masks[i] >> (8 * k)));
  size_t stride = size_t(((w * bpp + 31) / 32) * 4);
  for (size_t i = 0; i < stride * size_t(h); ++i) d.bytes.push_back(uint8_t(rng()));
  return d;
}

// A 32-bit top-down DIB section in a memory DC.
struct Canvas {
  HDC dc;
  HBITMAP bm;
  HGDIOBJ old;
  uint32_t* px = nullptr;
  int w, h;
  Canvas(int w_, int h_) : w(w_), h(h_) {
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    px = static_cast<uint32_t*>(bits);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  // Pixels as R, G, B bytes, top row first.
  std::vector<uint8_t> rgb() const {
    std::vector<uint8_t> out;
    for (int i = 0; i < w * h; ++i) {
      out.push_back(uint8_t(px[i] >> 16));
      out.push_back(uint8_t(px[i] >> 8));
      out.push_back(uint8_t(px[i]));
    }
    return out;
  }
};

std::vector<uint8_t> pillow_rgb(const std::string& path, int* w, int* h) {
  std::string out;
  int status = qm::test::command_output(
      "/usr/bin/python3 " QM_SOURCE_DIR "/platform/gdi/tests/pil_decode.py '" + path + "' 2>&1", out);
  std::vector<uint8_t> rgb;
  if (status != 0 || std::sscanf(out.c_str(), "%d %d", w, h) != 2) {
    ADD_FAILURE() << "Pillow could not decode " << path << ": " << out;
    return rgb;
  }
  std::string hex = out.substr(out.find('\n') + 1);
  for (size_t i = 0; i + 1 < hex.size() && hex[i] != '\n'; i += 2) rgb.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return rgb;
}

TEST(StretchDIBits, EveryDepthAndRowOrderMatchesPillow) {
  qm::test::TempDir dir("qm-gdi-");
  const uint32_t m565[3] = {0xF800, 0x07E0, 0x001F};
  const uint32_t m32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  struct Case {
    int bpp;
    const uint32_t* masks;
    int tolerance;
  } cases[] = {{1, nullptr, 0}, {4, nullptr, 0},  {8, nullptr, 0}, {16, nullptr, 4},
               {16, m565, 4},    {24, nullptr, 0}, {32, nullptr, 0}, {32, m32, 0}};
  for (const Case& c : cases) {
    for (bool top_down : {false, true}) {
      const int w = 13, h = 5;
      Dib d = make_dib(w, h, c.bpp, top_down, uint32_t(c.bpp * 7 + top_down));
      if (c.masks) d = make_dib(w, h, c.bpp, top_down, uint32_t(c.bpp * 7 + top_down), c.masks);
      std::string name = std::to_string(c.bpp) + (c.masks ? "bf" : "") + (top_down ? "td" : "bu");
      std::string path = dir / (name + ".bmp");
      ASSERT_EQ(QmWriteBmpFile(path.c_str(), d.info(), d.bytes.size()), QMGDI_FILE_OK);
      Canvas canvas(w, h);
      ASSERT_EQ(StretchDIBits(canvas.dc, 0, 0, w, h, 0, 0, w, h, d.bits(), d.info(), DIB_RGB_COLORS, SRCCOPY), h)
          << name;
      int pw = 0, ph = 0;
      std::vector<uint8_t> want = pillow_rgb(path, &pw, &ph);
      ASSERT_EQ(pw, w);
      ASSERT_EQ(ph, h);
      std::vector<uint8_t> got = canvas.rgb();
      ASSERT_EQ(got.size(), want.size());
      for (size_t i = 0; i < got.size(); ++i)
        ASSERT_LE(std::abs(int(got[i]) - int(want[i])), c.tolerance) << name << " byte " << i;
    }
  }
}

TEST(StretchDIBits, StretchesByNearestPixelAndMirrors) {
  // One bottom-up 24-bit row of three pixels: red, green, blue.
  Dib d = make_dib(3, 1, 24, false, 1);
  uint8_t* bits = d.bytes.data() + 40;
  const uint8_t row[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};
  std::memcpy(bits, row, 9);
  const COLORREF R = RGB(255, 0, 0), G = RGB(0, 255, 0), B = RGB(0, 0, 255);
  struct Case {
    int x, cx, sx, scx;
    std::vector<COLORREF> want;
  } cases[] = {
      {0, 6, 0, 3, {R, R, G, G, B, B}},
      {0, 3, 0, 3, {R, G, B, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
      {3, -3, 0, 3, {B, G, R, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},  // negative width mirrors
      {0, 2, 1, 2, {G, B, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
      {0, 1, 0, 3, {G, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},  // the middle of three
  };
  for (const Case& c : cases) {
    Canvas canvas(6, 1);
    RECT all{0, 0, 6, 1};
    FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(StretchDIBits(canvas.dc, c.x, 0, c.cx, 1, c.sx, 0, c.scx, 1, bits, d.info(), DIB_RGB_COLORS, SRCCOPY), 1);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(GetPixel(canvas.dc, x, 0), c.want[size_t(x)]) << c.x << "," << c.cx << " at " << x;
  }
}

TEST(StretchDIBits, SourceRowsCountFromTheBottomOfABottomUpDib) {
  // Four rows, stored bottom-up: stored row k has blue value 10 * k.
  Dib d = make_dib(1, 4, 24, false, 2);
  uint8_t* bits = d.bytes.data() + 40;
  for (int k = 0; k < 4; ++k) {
    bits[4 * k] = uint8_t(10 * k);
    bits[4 * k + 1] = bits[4 * k + 2] = 0;
  }
  Canvas canvas(1, 2);
  // Source y 1, height 2: stored rows 1 and 2; the top of the picture is stored row 2.
  ASSERT_EQ(StretchDIBits(canvas.dc, 0, 0, 1, 2, 0, 1, 1, 2, bits, d.info(), DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(0, 0, 20));
  EXPECT_EQ(GetPixel(canvas.dc, 0, 1), RGB(0, 0, 10));
}

TEST(StretchDIBits, RefusesHeadersItCannotDraw) {
  Canvas canvas(2, 2);
  struct Case {
    const char* name;
    void (*edit)(BITMAPINFOHEADER&);
  } cases[] = {
      {"zero width", [](BITMAPINFOHEADER& h) { h.biWidth = 0; }},
      {"negative width", [](BITMAPINFOHEADER& h) { h.biWidth = -2; }},
      {"zero height", [](BITMAPINFOHEADER& h) { h.biHeight = 0; }},
      {"bit count 7", [](BITMAPINFOHEADER& h) { h.biBitCount = 7; }},
      {"run-length coded", [](BITMAPINFOHEADER& h) { h.biCompression = BI_RLE8; }},
      {"too many colours", [](BITMAPINFOHEADER& h) { h.biClrUsed = 257; }},
      {"small header", [](BITMAPINFOHEADER& h) { h.biSize = 12; }},
      {"huge", [](BITMAPINFOHEADER& h) { h.biWidth = 0x7FFFFFFF; h.biHeight = 0x7FFFFFFF; }},
  };
  for (const Case& c : cases) {
    Dib d = make_dib(2, 2, 8, false, 3);
    c.edit(*reinterpret_cast<BITMAPINFOHEADER*>(d.bytes.data()));
    EXPECT_EQ(StretchDIBits(canvas.dc, 0, 0, 2, 2, 0, 0, 2, 2, d.bits(), d.info(), DIB_RGB_COLORS, SRCCOPY), 0) << c.name;
  }
}

TEST(GetDIBits, ReadsBackEveryTrueColourDepthAndItsOwnPaletteDepth) {
  Dib d = make_dib(5, 3, 8, false, 4);
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(dc, d.info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bm, nullptr);
  std::memcpy(bits, d.bits(), 8 * 3);
  // Same depth: indexes and colour table come back as they are.
  std::vector<uint8_t> info(40 + 256 * 4), out(8 * 3);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader = BITMAPINFOHEADER{40, 5, 3, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  ASSERT_EQ(GetDIBits(dc, bm, 0, 3, out.data(), bi, DIB_RGB_COLORS), 3);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(out.data() + 8 * y, d.bits() + 8 * y, 5), 0);
  EXPECT_EQ(std::memcmp(info.data() + 40, d.bytes.data() + 40, 1024), 0);
  // 24-bit top-down: colours through the table, rows flipped.
  bi->bmiHeader = BITMAPINFOHEADER{40, 5, -3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint8_t> rgb(16 * 3);
  ASSERT_EQ(GetDIBits(dc, bm, 0, 3, rgb.data(), bi, DIB_RGB_COLORS), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      uint8_t idx = d.bits()[8 * (2 - y) + x];
      EXPECT_EQ(std::memcmp(&rgb[size_t(16 * y + 3 * x)], d.bytes.data() + 40 + 4 * idx, 3), 0) << x << "," << y;
    }
  bi->bmiHeader.biBitCount = 4;  // another palette depth is not offered
  EXPECT_EQ(GetDIBits(dc, bm, 0, 3, rgb.data(), bi, DIB_RGB_COLORS), 0);
  DeleteObject(bm);
  DeleteDC(dc);
}

TEST(BmpFiles, ReaderChecksLengthsAndKeepsTheHeaderKind) {
  qm::test::TempDir dir("qm-gdi-");
  Dib d = make_dib(3, 2, 4, false, 5);
  std::string good = dir / "good.bmp";
  ASSERT_EQ(QmWriteBmpFile(good.c_str(), d.info(), d.bytes.size()), QMGDI_FILE_OK);
  HGLOBAL h = nullptr;
  ASSERT_EQ(QmReadBmpFile(good.c_str(), &h), QMGDI_FILE_OK);
  ASSERT_EQ(GlobalSize(h), d.bytes.size());
  EXPECT_EQ(std::memcmp(GlobalLock(h), d.bytes.data(), d.bytes.size()), 0);
  GlobalUnlock(h);
  GlobalFree(h);
  std::string file = qm::test::read_file(good);
  struct Case {
    const char* name;
    std::string bytes;
    int32_t want;
  } cases[] = {
      {"truncated bits", file.substr(0, file.size() - 1), QMGDI_FILE_BAD},
      {"truncated header", file.substr(0, 30), QMGDI_FILE_BAD},
      {"not BM", "XY" + file.substr(2), QMGDI_FILE_BAD},
      {"empty", "", QMGDI_FILE_BAD},
  };
  for (const Case& c : cases) {
    std::string path = dir / "case.bmp";
    qm::test::write_file(path, c.bytes);
    HGLOBAL out = reinterpret_cast<HGLOBAL>(1);
    EXPECT_EQ(QmReadBmpFile(path.c_str(), &out), c.want) << c.name;
    EXPECT_EQ(out, nullptr) << c.name;
  }
  HGLOBAL out = nullptr;
  EXPECT_EQ(QmReadBmpFile((dir / "missing.bmp").c_str(), &out), QMGDI_FILE_UNREADABLE);
  // A gap between the colour table and the bits is closed up.
  std::string gapped = file;
  gapped.insert(14 + 40 + 64, "GAPGAP");
  qm::le::put32(reinterpret_cast<unsigned char*>(gapped.data()) + 10, 14 + 40 + 64 + 6);
  qm::test::write_file(dir / "gap.bmp", gapped);
  ASSERT_EQ(QmReadBmpFile((dir / "gap.bmp").c_str(), &out), QMGDI_FILE_OK);
  EXPECT_EQ(std::memcmp(GlobalLock(out), d.bytes.data(), d.bytes.size()), 0);
  GlobalUnlock(out);
  GlobalFree(out);
}

TEST(PngFiles, PillowReadsBackTheBitmap) {
  qm::test::TempDir dir("qm-gdi-");
  Canvas canvas(3, 2);
  const COLORREF colours[6] = {RGB(1, 2, 3), RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), 0, 0xFFFFFF};
  for (int i = 0; i < 6; ++i) SetPixel(canvas.dc, i % 3, i / 3, colours[i]);
  std::string path = dir / "out.png";
  ASSERT_EQ(QmWritePngFile(path.c_str(), canvas.bm), QMGDI_FILE_OK);
  int w = 0, h = 0;
  EXPECT_EQ(pillow_rgb(path, &w, &h), canvas.rgb());
  EXPECT_EQ(QmWritePngFile((dir / "x.png").c_str(), nullptr), QMGDI_FILE_BAD);
}

}  // namespace

namespace {

TEST(StretchDIBits, PaletteIndexColourTablesGoThroughTheSelectedPalette) {
  Canvas canvas(2, 1);
  LOGPALETTE lp[3] = {};  // room for three entries
  lp[0].palVersion = 0x300;
  lp[0].palNumEntries = 3;
  PALETTEENTRY* e = lp[0].palPalEntry;
  e[0] = PALETTEENTRY{10, 20, 30, 0};
  e[1] = PALETTEENTRY{40, 50, 60, 0};
  e[2] = PALETTEENTRY{70, 80, 90, 0};
  HPALETTE pal = CreatePalette(lp);
  HPALETTE old = SelectPalette(canvas.dc, pal, 0);
  // An 8-bit DIB of two colours whose table holds palette indexes 2 and 0.
  struct {
    BITMAPINFOHEADER h;
    WORD table[2];
    uint8_t bits[4];
  } dib{{40, 2, 1, 1, 8, BI_RGB, 0, 0, 0, 2, 0}, {2, 0}, {0, 1, 0, 0}};
  ASSERT_EQ(StretchDIBits(canvas.dc, 0, 0, 2, 1, 0, 0, 2, 1, dib.bits, reinterpret_cast<BITMAPINFO*>(&dib),
                          DIB_PAL_COLORS, SRCCOPY),
            1);
  EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(70, 80, 90));
  EXPECT_EQ(GetPixel(canvas.dc, 1, 0), RGB(10, 20, 30));
  // PatBlt with the selected brush: PATINVERT flips what lies under the brush's bits.
  HBRUSH brush = CreateSolidBrush(RGB(0xFF, 0x0F, 0));
  HGDIOBJ old_brush = SelectObject(canvas.dc, brush);
  ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 1, 1, PATINVERT));
  EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(70 ^ 0xFF, 80 ^ 0x0F, 90));
  EXPECT_FALSE(PatBlt(canvas.dc, 0, 0, 1, 1, SRCCOPY));  // an operation that needs a source
  SelectObject(canvas.dc, old_brush);
  DeleteObject(brush);
  SelectPalette(canvas.dc, old, 0);
  DeleteObject(pal);
}

}  // namespace
