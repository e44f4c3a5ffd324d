// The GIF and bitmap writers: exact bytes of small cases, the code stream's widths and
// clears, and decoding by giflib (DGifSlurp) and Pillow as independent readers.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <random>

#include "filters/graphics/image_writers.h"
#include "filters/graphics/tests/gfx_fixtures.h"
#include "platform/le.h"
#include "testsupport/test_files.h"

namespace gfx::test {
namespace {

struct Indexed {
  uint32_t w, h;
  std::vector<uint8_t> rows;  // stride-padded, top row first
  uint32_t stride;
  std::vector<uint8_t> palette;  // bgr
};

Indexed indexed(uint32_t w, uint32_t h, uint32_t seed, uint32_t colours) {
  Indexed p{w, h, {}, uint32_t(row_bytes(w, 8)), {}};
  std::mt19937 rng(seed);
  p.rows.assign(size_t(p.stride) * h, 0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) p.rows[size_t(y) * p.stride + x] = uint8_t(rng() % colours);
  for (uint32_t i = 0; i < colours; ++i) p.palette.insert(p.palette.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(255 - i)});
  return p;
}

WriterInput input(MemoryIO& io, const Indexed& p, uint32_t format = PIX_8_INDEXED) {
  return {&io.io, p.rows.data(), uint32_t(p.rows.size()), format, p.w, -int32_t(p.h), p.stride,
          p.palette.data(), uint32_t(p.palette.size() / 3)};
}

std::string hex(const std::string& s, size_t from, size_t n) {
  std::string out;
  char b[4];
  for (size_t i = from; i < from + n && i < s.size(); ++i) {
    std::snprintf(b, sizeof b, "%02x ", uint8_t(s[i]));
    out += b;
  }
  return out;
}

// Decodes with giflib; checks pixels, the padded table and the transparency block.
void check_with_giflib(const std::string& path, const Indexed& p, int transparent) {
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
  ASSERT_NE(gif, nullptr) << err;
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << gif->Error;
  ASSERT_EQ(gif->ImageCount, 1);
  ASSERT_NE(gif->SColorMap, nullptr);
  EXPECT_EQ(gif->SColorMap->ColorCount, 256);
  for (int i = 0; i < 256; ++i) {
    size_t n = p.palette.size() / 3;
    GifColorType c = gif->SColorMap->Colors[i];
    if (size_t(i) < n) {
      EXPECT_EQ(c.Red, p.palette[3 * size_t(i) + 2]);
      EXPECT_EQ(c.Blue, p.palette[3 * size_t(i)]);
    } else {
      EXPECT_EQ(c.Red | c.Green | c.Blue, 0) << i;
    }
  }
  SavedImage& img = gif->SavedImages[0];
  ASSERT_EQ(uint32_t(img.ImageDesc.Width), p.w);
  ASSERT_EQ(uint32_t(img.ImageDesc.Height), p.h);
  // DGifSlurp puts interlaced rows back in order itself.
  int bad = 0;
  for (uint32_t r = 0; r < p.h; ++r)
    for (uint32_t x = 0; x < p.w; ++x)
      if (img.RasterBits[size_t(r) * p.w + x] != p.rows[size_t(r) * p.stride + x]) ++bad;
  EXPECT_EQ(bad, 0);
  GraphicsControlBlock gcb{};
  bool has_gcb = DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK;
  if (transparent >= 0) {
    ASSERT_TRUE(has_gcb);
    EXPECT_EQ(gcb.TransparentColor, transparent);
  } else {
    EXPECT_TRUE(!has_gcb || gcb.TransparentColor == NO_TRANSPARENT_COLOR);
  }
  DGifCloseFile(gif, &err);
}

// Pillow's reading: "W H" and the pixel values (indexes for GIF, "r,g,b" for BMP).
std::string pillow(const std::string& path) {
  std::string out;
  int rc = qm::test::command_output(
      "/usr/bin/python3 -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]); im.load(); "
      "print(im.width, im.height, im.mode); d=list(im.getdata()); "
      "print(' '.join(str(v) if not isinstance(v, tuple) else ','.join(map(str, v)) for v in d))\" " + path + " 2>&1",
      out);
  EXPECT_EQ(rc, 0) << out;
  return out;
}

class GifWriterTest : public BlockTest {};

TEST_F(GifWriterTest, OnePixelIsThreeCodesInOneSubBlock) {
  Indexed p = indexed(1, 1, 1, 1);
  MemoryIO io;
  ASSERT_EQ(WriteGif(input(io, p), false, false, 0), KVX_OK);
  // Header 13, table 768, descriptor 10, code size 1, then the sub-block.
  EXPECT_EQ(hex(io.bytes, 13 + 768 + 10, 8), "08 04 00 01 04 04 00 3b ");
  EXPECT_EQ(io.bytes.size(), 13 + 768 + 10 + 1 + 5 + 2u);
  EXPECT_EQ(hex(io.bytes, 10, 3), "f7 ff 00 ");
}

TEST_F(GifWriterTest, InterlacedRowsGoByPasses) {
  Indexed p = indexed(1, 3, 1, 3);
  p.rows = {0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0};
  std::vector<uint16_t> codes;
  WriterInput in{nullptr, p.rows.data(), 12, PIX_8_INDEXED, 1, -3, 4, nullptr, 0};
  ASSERT_EQ(gif_codes(in, true, codes), KVX_OK);
  EXPECT_EQ(codes, (std::vector<uint16_t>{256, 0, 2, 1, 257}));
  ASSERT_EQ(gif_codes(in, false, codes), KVX_OK);
  EXPECT_EQ(codes, (std::vector<uint16_t>{256, 0, 1, 2, 257}));
  // A positive height takes the last memory row first.
  in.height = 3;
  ASSERT_EQ(gif_codes(in, false, codes), KVX_OK);
  EXPECT_EQ(codes, (std::vector<uint16_t>{256, 2, 1, 0, 257}));
}

TEST_F(GifWriterTest, FullDictionaryClearsAtTwelveBits) {
  Indexed p = indexed(300, 200, 7, 256);
  std::vector<uint16_t> codes;
  MemoryIO io;
  ASSERT_EQ(gif_codes(input(io, p), false, codes), KVX_OK);
  int clears = 0, width = 9;
  for (size_t i = 1; i < codes.size(); ++i) {
    if (codes[i] == 0xFFFF) {
      if (width == 12) {
        ASSERT_LT(i + 1, codes.size());
        EXPECT_EQ(codes[i + 1], 256);
      }
      width = std::min(width + 1, 12);
      continue;
    }
    if (codes[i] == 256) {
      EXPECT_EQ(width, 12);
      ++clears;
      width = 9;
    }
    EXPECT_LT(codes[i], 4096);
  }
  EXPECT_GT(clears, 1);
}

TEST_F(GifWriterTest, DecodersReadTheSourceIndexes) {
  struct Case {
    uint32_t w, h, colours;
    bool interlace;
    int transparent;
  } cases[] = {{1, 1, 1, false, -1}, {300, 200, 256, false, -1}, {300, 200, 256, true, 5},
               {17, 9, 3, true, -1}, {64, 64, 200, false, 199}, {1000, 3, 2, true, 0}};
  qm::test::TempDir dir("gfx-gif-");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    Indexed p = indexed(c.w, c.h, c.w * 31 + c.h, c.colours);
    MemoryIO io;
    ASSERT_EQ(WriteGif(input(io, p), c.interlace, c.transparent >= 0, uint8_t(c.transparent)), KVX_OK);
    std::string path = dir / "t.gif";
    qm::test::write_file(path, io.bytes);
    check_with_giflib(path, p, c.transparent);
    std::string out = pillow(path);
    std::string want = std::to_string(c.w) + " " + std::to_string(c.h) + " P\n";
    for (uint32_t y = 0; y < c.h; ++y)
      for (uint32_t x = 0; x < c.w; ++x)
        want += std::to_string(p.rows[size_t(y) * p.stride + x]) + (y + 1 == c.h && x + 1 == c.w ? "\n" : " ");
    EXPECT_EQ(out, want);
  }
}

TEST_F(GifWriterTest, RefusesOtherDepthsAndShortWrites) {
  Indexed p = indexed(4, 4, 1, 4);
  MemoryIO io;
  EXPECT_EQ(WriteGif(input(io, p, PIX_24_BGR), false, false, 0), KVXERR_BADPARAM);
  EXPECT_TRUE(io.bytes.empty());
  WriterInput bad = input(io, p);
  bad.data_size = 8;  // rows beyond the data
  EXPECT_EQ(WriteGif(bad, false, false, 0), KVXERR_BADPARAM);
  io.budget = 100;
  EXPECT_EQ(WriteGif(input(io, p), false, false, 0), KVXERR_SHORTWRITE);
}

class BitmapWriterTest : public BlockTest {};

TEST_F(BitmapWriterTest, ThreeByTwoIsSeventyEightBytes) {
  std::vector<uint8_t> rows(24);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i * 10);
  MemoryIO io;
  WriterInput in{&io.io, rows.data(), 24, PIX_24_BGR, 3, -2, 12, nullptr, 0};
  ASSERT_EQ(WriteBitmap(in), KVX_OK);
  ASSERT_EQ(io.bytes.size(), 78u);
  const auto* b = reinterpret_cast<const uint8_t*>(io.bytes.data());
  EXPECT_EQ(qm::le::get32(b + 2), 78u);
  EXPECT_EQ(qm::le::get32(b + 10), 54u);
  EXPECT_EQ(int32_t(qm::le::get32(b + 22)), -2);
  EXPECT_EQ(qm::le::get16(b + 28), 24);
  qm::test::TempDir dir("gfx-bmp-");
  qm::test::write_file(dir / "t.bmp", io.bytes);
  // Pillow: top row first (negative height), blue, green, red in memory.
  EXPECT_EQ(pillow(dir / "t.bmp"), "3 2 RGB\n20,10,0 50,40,30 80,70,60 140,130,120 170,160,150 200,190,180\n");
}

TEST_F(BitmapWriterTest, HeaderSizesByPalette) {
  std::vector<uint8_t> pal(256 * 3, 7);
  struct Case {
    uint32_t format, count;
    size_t size;
    uint32_t used;
  } cases[] = {{PIX_8_INDEXED, 256, 1078, 0}, {PIX_8_INDEXED, 200, 854, 200}, {PIX_24_BGR, 256, 54, 0},
               {PIX_1_INDEXED, 2, 62, 0},     {PIX_4_INDEXED, 3, 66, 3}};
  for (const Case& c : cases) {
    auto h = BuildBitmapHeader(100, c.format, 10, 10, pal.data(), c.count);
    ASSERT_EQ(h.size(), c.size);
    EXPECT_EQ(qm::le::get32(&h[46]), c.used);
    EXPECT_EQ(qm::le::get32(&h[50]), c.used);
    EXPECT_EQ(qm::le::get32(&h[10]), c.size);
    EXPECT_EQ(qm::le::get32(&h[2]), c.size + 100);
  }
  // An 8-bit picture of 200 colours through Pillow.
  Indexed p = indexed(13, 5, 3, 200);
  MemoryIO io;
  ASSERT_EQ(WriteBitmap(input(io, p)), KVX_OK);
  qm::test::TempDir dir("gfx-bmp-");
  qm::test::write_file(dir / "p.bmp", io.bytes);
  std::string out = pillow(dir / "p.bmp");
  EXPECT_EQ(out.substr(0, out.find('\n')), "13 5 P");
}

}  // namespace
}  // namespace gfx::test
