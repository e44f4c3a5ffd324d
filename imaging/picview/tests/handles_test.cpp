// picview's image handles: making images from DIBs (the DIBs refused, the header kinds
// and depths brought into one form), the handle checks, palettes, drawing, the
// per-thread status, and closing without leaks.
#include <gtest/gtest.h>

#include <thread>

#include "imaging/picview/tests/fixtures.h"

using namespace picview_test;

namespace {

class ImageHandles : public ::testing::Test {
 protected:
  void SetUp() override {
    QmScreenKind k{0, 0, 32, 32};
    ASSERT_TRUE(QmSetScreen(&k));
    blocks_ = QmLiveGlobalBlocks();
    objects_ = QmLiveGdiObjects();
  }
  void TearDown() override {
    EXPECT_EQ(QmLiveGlobalBlocks(), blocks_) << "global blocks left behind";
    EXPECT_EQ(QmLiveGdiObjects(), objects_) << "GDI objects left behind";
  }
  int blocks_ = 0, objects_ = 0;
};

TEST_F(ImageHandles, DrawnImageShowsTheDibAndCloseLeavesNothing) {
  for (int bpp : {1, 4, 8, 24}) {
    std::vector<uint8_t> bytes = dib_bytes(5, 3, bpp, uint32_t(bpp));
    HIMG img = ImgFromDIB(to_global(bytes));
    ASSERT_NE(img, nullptr) << bpp;
    uint32_t flags = 0;
    const BITMAPINFOHEADER* h = ImgGetInfo(img, &flags);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(flags, uint32_t(IMG_FLAG_FROM_DIB));
    EXPECT_EQ(h->biWidth, 5);
    // The image drawn with a null source rectangle equals the DIB drawn directly.
    Canvas a(5, 3), b(5, 3);
    RECT dest{0, 0, 4, 2};
    EXPECT_EQ(ImgDrawImage(img, a.dc, &dest, nullptr), IMG_OK);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes.data());
    size_t table = bpp <= 8 ? 4u << bpp : 0;
    StretchDIBits(b.dc, 0, 0, 5, 3, 0, 0, 5, 3, bytes.data() + 40 + table, info, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(a.rgb(), b.rgb()) << bpp;
    EXPECT_EQ(ImgClose(img), 1);
  }
}

TEST_F(ImageHandles, SourceRectangleIsInclusiveAndCountsFromTheTop) {
  std::vector<uint8_t> bytes = dib_bytes(4, 4, 24, 9);
  HIMG img = ImgFromDIB(to_global(bytes));
  ASSERT_NE(img, nullptr);
  Canvas whole(4, 4), part(2, 2);
  RECT all{0, 0, 3, 3}, dest{0, 0, 1, 1}, src{1, 1, 2, 2};
  ASSERT_EQ(ImgDrawImage(img, whole.dc, &all, nullptr), IMG_OK);
  ASSERT_EQ(ImgDrawImage(img, part.dc, &dest, &src), IMG_OK);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(part.px[y * 2 + x], whole.px[(y + 1) * 4 + x + 1]) << x << "," << y;
  // ImgSetROP changes how the next draw combines: DSTINVERT ignores the image.
  ASSERT_EQ(ImgSetROP(img, DSTINVERT), 1);
  ASSERT_EQ(ImgDrawImage(img, whole.dc, &all, nullptr), IMG_OK);
  Canvas again(4, 4);
  ImgSetROP(img, SRCCOPY);
  ImgDrawImage(img, again.dc, &all, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(whole.px[i] & 0xFFFFFF, ~again.px[i] & 0xFFFFFF);
  // The print path draws the same.
  Canvas printed(4, 4);
  EXPECT_EQ(ImgPrintImage(img, printed.dc, &all, nullptr), 1);
  EXPECT_EQ(printed.rgb(), again.rgb());
  ImgClose(img);
}

TEST_F(ImageHandles, WhatIsNotAnImageGivesStatus8) {
  HGLOBAL other = GlobalAlloc(GHND, sizeof(ImgRecord));
  std::memcpy(GlobalLock(other), "IM21", 4);
  GlobalUnlock(other);
  HGLOBAL small = GlobalAlloc(GHND, 4);
  HIMG closed = ImgFromDIB(to_global(dib_bytes(2, 2, 8, 1)));
  ImgClose(closed);
  Canvas c(2, 2);
  RECT r{0, 0, 1, 1};
  for (HIMG bad : {other, small, closed, static_cast<HIMG>(nullptr)}) {
    EXPECT_EQ(ImgSetROP(bad, SRCCOPY), 0);
    EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
    EXPECT_STREQ(ImgGetMessage(), "Invalid File;");
    EXPECT_EQ(ImgGetInfo(bad, nullptr), nullptr);
    EXPECT_EQ(ImgGetPalette(bad), nullptr);
    EXPECT_EQ(ImgDrawImage(bad, c.dc, &r, nullptr), IMG_NOT_IMAGE);
    EXPECT_EQ(ImgPrintImage(bad, c.dc, &r, nullptr), 0);
    EXPECT_EQ(ImgClose(bad), 0);
    EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
  }
  EXPECT_EQ(c.px[0], 0xFFFFFFFFu);  // nothing was drawn
  GlobalFree(other);
  GlobalFree(small);
}

TEST_F(ImageHandles, PaletteOfPaletteImagesOnly) {
  HIMG rgb = ImgFromDIB(to_global(dib_bytes(2, 2, 24, 3)));
  EXPECT_EQ(ImgGetPalette(rgb), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_OK);
  ImgClose(rgb);
  std::vector<uint8_t> bytes = dib_bytes(2, 2, 4, 4, 5);  // five colours used
  HIMG pal_img = ImgFromDIB(to_global(bytes));
  HPALETTE pal = ImgGetPalette(pal_img);
  ASSERT_NE(pal, nullptr);
  PALETTEENTRY e[16];
  ASSERT_EQ(GetPaletteEntries(pal, 0, 16, e), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(e[i].peRed, bytes[40 + 4 * i + 2]);
    EXPECT_EQ(e[i].peGreen, bytes[40 + 4 * i + 1]);
    EXPECT_EQ(e[i].peBlue, bytes[40 + 4 * i]);
    EXPECT_EQ(e[i].peFlags, 0);
  }
  DeleteObject(pal);
  ImgClose(pal_img);
}

TEST_F(ImageHandles, RefusedDibsGiveStatus29AndStayTheCallers) {
  struct Case {
    const char* name;
    void (*edit)(std::vector<uint8_t>&);
  } cases[] = {
      {"more colours used than the depth holds", [](std::vector<uint8_t>& d) { d[32] = 17; }},
      {"zero width", [](std::vector<uint8_t>& d) { std::memset(&d[4], 0, 4); }},
      {"negative width", [](std::vector<uint8_t>& d) { std::memset(&d[4], 0xFF, 4); }},
      {"zero height", [](std::vector<uint8_t>& d) { std::memset(&d[8], 0, 4); }},
      {"top-down height", [](std::vector<uint8_t>& d) { std::memset(&d[8], 0xFF, 4); }},
      {"bits overrun the block", [](std::vector<uint8_t>& d) { d.pop_back(); }},
      {"stride times height overflows", [](std::vector<uint8_t>& d) { d[6] = 0x7F; d[10] = 0x7F; }},
      {"run-length compression", [](std::vector<uint8_t>& d) { d[16] = BI_RLE4; }},
      {"unknown compression", [](std::vector<uint8_t>& d) { d[16] = 9; }},
      {"bit count 5", [](std::vector<uint8_t>& d) { d[14] = 5; }},
      {"header larger than the block", [](std::vector<uint8_t>& d) { d[0] = 0xFF; d[1] = 0xFF; }},
      {"header size 20", [](std::vector<uint8_t>& d) { d[0] = 20; }},
      {"block of two bytes", [](std::vector<uint8_t>& d) { d.resize(2); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = dib_bytes(3, 2, 4, 7);
    c.edit(bytes);
    HGLOBAL dib = to_global(bytes);
    EXPECT_EQ(ImgFromDIB(dib), nullptr) << c.name;
    EXPECT_EQ(ImgGetStatus(), IMG_BAD_ARGUMENT) << c.name;
    EXPECT_STREQ(ImgGetMessage(), "Invalid File;");
    ASSERT_EQ(GlobalSize(dib), bytes.size()) << c.name;  // still the caller's block
    EXPECT_EQ(GlobalFree(dib), nullptr);
  }
  EXPECT_EQ(ImgFrompDIB(nullptr), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_BAD_ARGUMENT);
}

TEST_F(ImageHandles, SixteenAndThirtyTwoBitDibsBecomeTwentyFourBitImages) {
  struct Case {
    int bpp;
    uint32_t compression;
    std::vector<uint32_t> masks;
  } cases[] = {{16, BI_RGB, {}}, {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}}, {32, BI_RGB, {}},
               {32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = dib_bytes(3, 2, c.bpp, 11);
    bytes[16] = uint8_t(c.compression);
    for (size_t i = 0; i < c.masks.size(); ++i)
      bytes.insert(bytes.begin() + 40 + 4 * long(i),
                   {uint8_t(c.masks[i]), uint8_t(c.masks[i] >> 8), uint8_t(c.masks[i] >> 16), uint8_t(c.masks[i] >> 24)});
    Canvas direct(3, 2);
    StretchDIBits(direct.dc, 0, 0, 3, 2, 0, 0, 3, 2, bytes.data() + 40 + 4 * c.masks.size(),
                  reinterpret_cast<const BITMAPINFO*>(bytes.data()), DIB_RGB_COLORS, SRCCOPY);
    HIMG img = ImgFromDIB(to_global(bytes));
    ASSERT_NE(img, nullptr) << c.bpp;
    const BITMAPINFOHEADER* h = ImgGetInfo(img, nullptr);
    EXPECT_EQ(h->biBitCount, 24);
    EXPECT_EQ(h->biCompression, uint32_t(BI_RGB));
    EXPECT_EQ(h->biSize, 40u);
    Canvas shown(3, 2);
    RECT dest{0, 0, 2, 1};
    ImgDrawImage(img, shown.dc, &dest, nullptr);
    EXPECT_EQ(shown.rgb(), direct.rgb()) << c.bpp << " " << c.compression;
    ImgClose(img);
  }
}

TEST_F(ImageHandles, HeaderKindsShowTheSamePictureAsPillow) {
  qm::test::TempDir dir("qm-picview-");
  // BMP3: 40-byte header; BMP: V5 header; BMP2: 12-byte core header.
  struct Case {
    const char* format;
    const char* extra;
  } cases[] = {{"BMP3", ""},     {"BMP", ""},     {"BMP2", ""},
               {"BMP3", "-type palette"}, {"BMP2", "-type palette"}, {"BMP3", "-monochrome"}};
  std::string source = dir / "source.png";
  ASSERT_TRUE(convert("-size 9x6 plasma:fractal -seed 3 " + source)) << "ImageMagick failed";
  for (const Case& c : cases) {
    std::string path = dir / (std::string(c.format) + ".bmp");
    ASSERT_TRUE(convert(source + " -compress None " + c.extra + " " + c.format + ":" + path)) << c.format;
    HGLOBAL dib = nullptr;
    ASSERT_EQ(QmReadBmpFile(path.c_str(), &dib), QMGDI_FILE_OK) << c.format << " " << c.extra;
    HIMG img = ImgFromDIB(dib);
    ASSERT_NE(img, nullptr) << c.format << " " << c.extra;
    EXPECT_EQ(ImgGetInfo(img, nullptr)->biSize, 40u);
    Canvas shown(9, 6);
    RECT dest{0, 0, 8, 5};
    ASSERT_EQ(ImgDrawImage(img, shown.dc, &dest, nullptr), IMG_OK);
    ImgClose(img);
    int w = 0, h = 0;
    EXPECT_EQ(shown.rgb(), pillow_rgb(path, &w, &h)) << c.format << " " << c.extra;
  }
}

TEST_F(ImageHandles, EachThreadKeepsItsOwnStatus) {
  HIMG img = ImgFromDIB(to_global(dib_bytes(2, 2, 8, 2)));
  ImgSetROP(nullptr, 0);  // this thread: status 8
  int32_t other_status = 0;
  std::string other_message;
  std::thread t([&] {
    other_status = ImgGetStatus();  // a new thread starts at 1
    std::vector<uint8_t> bad = dib_bytes(2, 2, 8, 2);
    bad[14] = 3;
    HGLOBAL dib = to_global(bad);
    ImgFromDIB(dib);  // that thread: status 29
    GlobalFree(dib);
    other_message = std::to_string(ImgGetStatus());
  });
  t.join();
  EXPECT_EQ(other_status, IMG_OK);
  EXPECT_EQ(other_message, "29");
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
  EXPECT_EQ(ImgSetROP(img, SRCCOPY), 1);
  EXPECT_EQ(ImgGetStatus(), IMG_OK);
  ImgClose(img);
}

TEST_F(ImageHandles, PixelStoreBuilds) {
  // Copy: reads only the colour entries the source holds and zeroes the rest.
  std::vector<uint8_t> bytes = dib_bytes(3, 2, 8, 5, 3);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes.data());
  ImgDib* copy = ImgDibCopy(info, bytes.data() + 40 + 12);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->section, nullptr);
  EXPECT_EQ(std::memcmp(copy->info->bmiColors, bytes.data() + 40, 12), 0);
  for (int i = 3; i < 256; ++i) EXPECT_EQ(copy->info->bmiColors[i].rgbRed, 0);
  EXPECT_EQ(std::memcmp(copy->bits, bytes.data() + 52, 8), 0);
  HIMG img = ImgFrompDIB(copy);
  ASSERT_NE(img, nullptr);
  ImgClose(img);  // releases the store too
  // New: a fresh 1-bit header gets black and white; a template gives its table.
  ImgDib* mono = ImgDibNew(9, 3, 1, true, nullptr);
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(mono->info->bmiHeader.biBitCount, 1);
  EXPECT_EQ(mono->info->bmiColors[0].rgbRed, 0);
  EXPECT_EQ(mono->info->bmiColors[1].rgbRed, 255);
  EXPECT_EQ(ImgDibStride(&mono->info->bmiHeader), 4u);
  EXPECT_EQ(ImgDibPadding(&mono->info->bmiHeader), 2u);
  ImgDibRelease(mono);
  ImgDib* like = ImgDibNew(7, 7, 8, false, info);
  ASSERT_NE(like, nullptr);
  EXPECT_EQ(like->info->bmiHeader.biWidth, 7);
  EXPECT_EQ(like->info->bmiHeader.biClrUsed, 3u);
  EXPECT_EQ(std::memcmp(like->info->bmiColors, bytes.data() + 40, 12), 0);
  EXPECT_EQ(like->bits, nullptr);
  ImgDibRelease(like);
}

}  // namespace

namespace {

TEST_F(ImageHandles, ExtremeRectanglesDrawOnlyInsideTheSurface) {
  HIMG img = ImgFromDIB(to_global(dib_bytes(3, 3, 24, 8)));
  ASSERT_NE(img, nullptr);
  Canvas c(4, 4);
  const RECT cases[][2] = {
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 2, 2}},
      {{0, 0, 3, 3}, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}},
      {{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}, {-5, -5, 100, 100}},
      {{-1000000000, 0, 1000000000, 3}, {2, 2, 2, 2}},
  };
  for (const auto& rects : cases) ImgDrawImage(img, c.dc, &rects[0], &rects[1]);
  // The surface took only what fell on it; the anisotropic mapping holds extreme points too.
  SetMapMode(c.dc, MM_ANISOTROPIC);
  SetWindowExtEx(c.dc, 1, 1, nullptr);
  SetViewportExtEx(c.dc, 1000, -1000, nullptr);
  RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  EXPECT_EQ(ImgDrawImage(img, c.dc, &huge, nullptr), IMG_OK);
  POINT p{INT32_MAX, INT32_MIN};
  EXPECT_TRUE(LPtoDP(c.dc, &p, 1));
  EXPECT_TRUE(DPtoLP(c.dc, &p, 1));
  ImgClose(img);
}

}  // namespace
