// The raster engine: row padding, row converters, ConvertImage (format, row order,
// palettes) and ScaleImage (nearest, area average and linear).
#include <gtest/gtest.h>

#include "filters/graphics/colour_reduce.h"
#include "filters/graphics/raster.h"
#include "filters/graphics/tests/gfx_fixtures.h"

namespace gfx::test {
namespace {

class RasterTest : public BlockTest {};

TEST_F(RasterTest, RowsArePaddedToFourBytes) {
  struct Case {
    uint32_t w, format;
    uint64_t bytes;
  } cases[] = {{5, PIX_1_INDEXED, 4}, {5, PIX_24_BGR, 16}, {33, PIX_1_WHITE, 8}, {3, PIX_4_INDEXED, 4},
               {4, PIX_8_GRAY, 4},    {5, PIX_8_INDEXED, 8}};
  for (const Case& c : cases) {
    EXPECT_EQ(row_bytes(c.w, pix_bits(c.format)), c.bytes);
    RasterImage img;
    ASSERT_EQ(raster_alloc(img, c.w, 3, c.format), KVX_OK);
    EXPECT_EQ(img.data_size, c.bytes * 3);
    EXPECT_EQ(img.palette_capacity, pix_bits(c.format) <= 8 ? 1u << pix_bits(c.format) : 0u);
    raster_free(img);
  }
  RasterImage img;
  EXPECT_EQ(raster_alloc(img, 0, 3, PIX_24_BGR), KVXERR_BADPARAM);
  EXPECT_EQ(raster_alloc(img, 40000, 40000, PIX_24_BGR), KVXERR_NOMEMORY);  // above 1 GB
}

TEST_F(RasterTest, RowConverters) {
  const uint8_t pal[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  struct Case {
    uint32_t from, to, start, count;
    std::vector<uint8_t> src, want;
  } cases[] = {
      {PIX_1_WHITE, PIX_8_GRAY, 0, 4, {0xA0}, {255, 0, 255, 0}},
      {PIX_1_BLACK, PIX_8_GRAY, 0, 4, {0xA0}, {0, 255, 0, 255}},
      {PIX_1_INDEXED, PIX_8_INDEXED, 2, 3, {0x30}, {1, 1, 0}},
      {PIX_1_INDEXED, PIX_1_INDEXED, 3, 5, {0x1F}, {0xF8}},
      {PIX_1_INDEXED, PIX_24_BGR, 0, 2, {0x40}, {1, 2, 3, 4, 5, 6}},
      {PIX_4_INDEXED, PIX_8_INDEXED, 1, 3, {0x12, 0x30}, {2, 3, 0}},
      {PIX_4_INDEXED, PIX_24_BGR, 0, 2, {0x23}, {7, 8, 9, 10, 11, 12}},
      {PIX_8_INDEXED, PIX_24_BGR, 1, 1, {0, 3}, {10, 11, 12}},
      {PIX_8_GRAY, PIX_24_BGR, 0, 2, {9, 200}, {9, 9, 9, 200, 200, 200}},
      {PIX_24_RGB, PIX_24_BGR, 0, 2, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
      {PIX_24_BGR | PIX_BOTTOMUP, PIX_24_BGR, 1, 1, {1, 2, 3, 4, 5, 6}, {4, 5, 6}},
  };
  for (const Case& c : cases) {
    RowConverter conv = find_row_converter(c.from, c.to);
    ASSERT_NE(conv, nullptr) << std::hex << c.from << " " << c.to;
    std::vector<uint8_t> out(c.want.size(), 0xEE);
    conv(c.src.data(), c.start, c.count, out.data(), pal);
    EXPECT_EQ(out, c.want) << std::hex << c.from << " " << c.to;
  }
  for (auto [from, to] : {std::pair{PIX_24_BGR, PIX_24_RGB}, {PIX_8_GRAY, PIX_8_INDEXED}, {PIX_8_INDEXED, PIX_8_GRAY},
                          {PIX_24_BGR, PIX_8_GRAY}})
    EXPECT_EQ(find_row_converter(from, to), nullptr);
}

TEST_F(RasterTest, ConvertSwapsRgbAndReversesRows) {
  RasterImage img = make_image(2, 2, PIX_24_RGB, [](uint8_t* row, uint32_t x, uint32_t y) {
    row[3 * x] = uint8_t(10 * y + x), row[3 * x + 1] = 100, row[3 * x + 2] = 200;
  });
  ASSERT_EQ(ConvertImage(img, PIX_24_BGR, 1, nullptr, nullptr), KVX_OK);
  EXPECT_EQ(img.format, PIX_24_BGR);
  EXPECT_EQ(img.row(1)[3 + 2], 11);
  EXPECT_EQ(img.row(1)[3], 200);
  RasterImage rev;
  ASSERT_EQ(ConvertImage(img, 0x2180000, 1, &rev, nullptr), KVX_OK);
  EXPECT_EQ(rev.format, 0x2180000u);
  EXPECT_EQ(rev.row(0)[2], 10);
  EXPECT_EQ(rev.row(1)[2], 0);
  raster_free(rev);
  // No converter: 15, the input kept.
  EXPECT_EQ(ConvertImage(img, PIX_24_RGB, 1, nullptr, nullptr), KVXERR_BADPARAM);
  EXPECT_EQ(img.format, PIX_24_BGR);
  raster_free(img);
}

TEST_F(RasterTest, ConvertKeepsPalettesAndGivesGrayARamp) {
  RasterImage img = make_image(3, 1, PIX_4_INDEXED, [](uint8_t* row, uint32_t x, uint32_t) {
    row[x / 2] |= uint8_t((x + 1) << ((x & 1) ? 0 : 4));
  });
  for (int i = 0; i < 16; ++i) img.palette[3 * i] = uint8_t(i * 3);
  img.palette_count = 16;
  RasterImage out;
  ASSERT_EQ(ConvertImage(img, PIX_8_INDEXED, 1, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.row(0)[2], 3);
  EXPECT_EQ(out.palette_count, 16);
  EXPECT_EQ(out.palette[3 * 5], 15);
  raster_free(out);
  raster_free(img);
  RasterImage white = make_image(8, 1, PIX_1_WHITE, [](uint8_t* row, uint32_t, uint32_t) { row[0] = 0xF0; });
  ASSERT_EQ(ConvertImage(white, PIX_8_GRAY, 1, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.row(0)[0], 255);
  EXPECT_EQ(out.row(0)[7], 0);
  EXPECT_EQ(out.palette_count, 256);
  EXPECT_EQ(out.palette[3 * 255], 255);
  raster_free(out);
  raster_free(white);
}

TEST_F(RasterTest, ScaleByAreaAndLine) {
  RasterImage img = make_image(4, 1, PIX_8_GRAY, [](uint8_t* row, uint32_t x, uint32_t) {
    const uint8_t v[4] = {10, 20, 100, 200};
    row[x] = v[x];
  });
  RasterImage out;
  ASSERT_EQ(ScaleImage(img, 2, 1, 1, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.row(0)[0], 15);
  EXPECT_EQ(out.row(0)[1], 150);
  raster_free(out);
  ASSERT_EQ(ScaleImage(img, 3, 1, 1, &out, nullptr), KVX_OK);
  // Positions 0, 1.333, 2.667: 10*256+20*85 over 341 = 12; 20*171+100*170 / 341 = 59; ...
  EXPECT_EQ(out.row(0)[0], (10 * 256 + 20 * 85) / 341);
  EXPECT_EQ(out.row(0)[2], (100 * 86 + 200 * 256) / 342);
  raster_free(out);
  raster_free(img);
  RasterImage two = make_image(2, 1, PIX_24_BGR, [](uint8_t* row, uint32_t x, uint32_t) {
    row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = uint8_t(x ? 200 : 100);
  });
  ASSERT_EQ(ScaleImage(two, 4, 1, 1, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.row(0)[0], 100);
  EXPECT_EQ(out.row(0)[3], 150);
  EXPECT_EQ(out.row(0)[6], 200);
  EXPECT_EQ(out.row(0)[9], 200);
  raster_free(out);
  EXPECT_EQ(ScaleImage(two, 2, 1, 1, &out, nullptr), kNothingToDo);
  EXPECT_EQ(ScaleImage(two, 70000, 1, 1, &out, nullptr), KVXERR_BADPARAM);
  EXPECT_EQ(ScaleImage(two, 3, 1, 3, &out, nullptr), KVXERR_BADPARAM);
  raster_free(two);
}

TEST_F(RasterTest, ScaleNearestKeepsIndexes) {
  RasterImage img = make_image(4, 2, PIX_1_INDEXED, [](uint8_t* row, uint32_t, uint32_t y) { row[0] = y ? 0x50 : 0xA0; });
  RasterImage out;
  ASSERT_EQ(ScaleImage(img, 8, 4, 0, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.format, PIX_1_INDEXED);
  EXPECT_EQ(out.row(0)[0], 0xCC);
  EXPECT_EQ(out.row(1)[0], 0xCC);
  EXPECT_EQ(out.row(2)[0], 0x33);
  raster_free(out);
  // Method 1 on an indexed picture gives 24 bits.
  ASSERT_EQ(ScaleImage(img, 2, 1, 1, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.format, PIX_24_BGR);
  raster_free(out);
  raster_free(img);
}

}  // namespace
}  // namespace gfx::test
