// Colour reduction: exact palettes in order of first appearance, the octree's bounds and
// means, the entry kept free for transparency and the pixels marked, standard palettes.
#include <gtest/gtest.h>

#include <map>

#include "filters/graphics/colour_reduce.h"
#include "filters/graphics/tests/gfx_fixtures.h"

namespace gfx::test {
namespace {

class ReduceTest : public BlockTest {};

uint32_t bgr_key(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

// Every palette entry is the integer mean of the source pixels mapped to it.
void expect_means(const RasterImage& src, const RasterImage& out) {
  std::map<unsigned, std::array<uint64_t, 4>> sums;
  for (uint32_t y = 0; y < src.height; ++y)
    for (uint32_t x = 0; x < src.width; ++x) {
      auto& s = sums[out.row(y)[x]];
      const uint8_t* p = src.row(y) + 3 * x;
      s[0] += p[0], s[1] += p[1], s[2] += p[2], ++s[3];
    }
  for (auto& [i, s] : sums) {
    ASSERT_LT(i, out.palette_count);
    EXPECT_EQ(out.palette[3 * i], s[0] / s[3]) << i;
    EXPECT_EQ(out.palette[3 * i + 1], s[1] / s[3]) << i;
    EXPECT_EQ(out.palette[3 * i + 2], s[2] / s[3]) << i;
  }
}

TEST_F(ReduceTest, FewColoursKeepFirstAppearanceOrder) {
  const uint32_t colours[] = {0x102030, 0x0000FF, 0x102030, 0xFFFFFF, 0x0000FF, 0x777777};
  RasterImage img = make_image(6, 2, PIX_24_BGR, [&](uint8_t* row, uint32_t x, uint32_t y) {
    uint32_t c = colours[(x + y) % 6];
    row[3 * x] = uint8_t(c), row[3 * x + 1] = uint8_t(c >> 8), row[3 * x + 2] = uint8_t(c >> 16);
  });
  RasterImage out;
  ASSERT_EQ(ReduceColours(img, 8, 1, &out, nullptr), KVX_OK);
  EXPECT_EQ(out.format, PIX_8_INDEXED);
  ASSERT_EQ(out.palette_count, 4);
  EXPECT_EQ(bgr_key(out.palette), 0x102030u);
  EXPECT_EQ(bgr_key(out.palette + 3), 0x0000FFu);
  EXPECT_EQ(bgr_key(out.palette + 6), 0xFFFFFFu);
  EXPECT_EQ(bgr_key(out.palette + 9), 0x777777u);
  EXPECT_EQ(out.row(1)[0], 1);
  raster_free(out);
  // Nothing to do before the depth is looked at.
  EXPECT_EQ(ReduceColours(img, 24, 1, &out, nullptr), kNothingToDo);
  EXPECT_EQ(ReduceColours(img, 3, 1, &out, nullptr), KVXERR_BADPARAM);
  raster_free(img);
}

TEST_F(ReduceTest, OctreeStaysWithinTheLimitWithMeans) {
  struct Case {
    uint32_t w, h, colours, seed;
    uint32_t kind;
  } cases[] = {{30, 20, 300, 1, 0}, {200, 150, 5000, 2, 0}, {64, 64, 257, 3, 0}, {100, 100, 1000, 4, TR_COLOUR},
               {120, 80, 100000, 5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    RasterImage img = random_bgr(c.w, c.h, c.colours, c.seed);
    TransparencyRequest req;
    req.kind = c.kind;
    const uint8_t* first = img.row(0);
    req.blue = first[0], req.green = first[1], req.red = first[2];
    RasterImage out;
    ASSERT_EQ(ReduceColours(img, 8, 1, &out, c.kind ? &req : nullptr), KVX_OK);
    EXPECT_LE(out.palette_count, c.kind ? 255 : 256);
    EXPECT_GT(out.palette_count, 1);
    expect_means(img, out);
    if (c.kind) {
      EXPECT_EQ(req.reserved, 1u);
      ASSERT_EQ(MarkTransparency(img, out, req), KVX_OK);
      EXPECT_EQ(req.transparent, 1u);
      EXPECT_EQ(req.transparent_index, 255);
      for (uint32_t y = 0; y < c.h; ++y)
        for (uint32_t x = 0; x < c.w; ++x) {
          const uint8_t* p = img.row(y) + 3 * x;
          bool same = p[0] == req.blue && p[1] == req.green && p[2] == req.red;
          ASSERT_EQ(out.row(y)[x] == 255, same) << x << "," << y;
        }
    }
    raster_free(out);
    raster_free(img);
  }
}

TEST_F(ReduceTest, SmallerDepthsKeepTheirLimits) {
  RasterImage img = random_bgr(40, 30, 300, 11);
  for (uint32_t depth : {1u, 4u}) {
    RasterImage out, wide;
    ASSERT_EQ(ReduceColours(img, depth, 1, &out, nullptr), KVX_OK);
    EXPECT_EQ(pix_bits(out.format), depth);
    EXPECT_LE(out.palette_count, 1u << depth);
    ASSERT_EQ(ConvertImage(out, PIX_8_INDEXED, 1, &wide, nullptr), KVX_OK);
    expect_means(img, wide);
    raster_free(wide);
    raster_free(out);
  }
  raster_free(img);
}

TEST_F(ReduceTest, ColourOfAFullIndexedPaletteFreesTheLastEntry) {
  // 256 colours in use; colour 17 is the transparent one.
  RasterImage img = make_image(16, 16, PIX_8_INDEXED, [](uint8_t* row, uint32_t x, uint32_t y) {
    row[x] = uint8_t(16 * y + x);
  });
  for (int i = 0; i < 256; ++i) img.palette[3 * i] = uint8_t(i), img.palette[3 * i + 1] = 1, img.palette[3 * i + 2] = 2;
  img.palette_count = 256;
  TransparencyRequest req;
  req.kind = TR_COLOUR;
  req.blue = 17, req.green = 1, req.red = 2;
  RasterImage out;
  ASSERT_EQ(ConvertImage(img, PIX_8_INDEXED, 1, &out, &req), KVX_OK);
  EXPECT_EQ(req.transparent_index, 255);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 16; ++x) {
      unsigned src = 16 * y + x, got = out.row(y)[x];
      if (src == 17) EXPECT_EQ(got, 255u);
      else if (src == 255) EXPECT_EQ(got, 254u);  // its nearest neighbour
      else EXPECT_EQ(got, src);
    }
  raster_free(out);
  raster_free(img);
}

TEST_F(ReduceTest, MaskKindsMarkByBrightness) {
  RasterImage img = random_bgr(8, 4, 3, 9);
  TransparencyRequest req;
  req.kind = TR_MASK8;
  ASSERT_EQ(raster_alloc(req.mask, 8, 4, PIX_8_GRAY), KVX_OK);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x) req.mask.row(y)[x] = uint8_t(x * 36);  // x >= 4: 144 and up
  RasterImage out;
  ASSERT_EQ(ConvertImage(img, PIX_8_INDEXED, 1, &out, &req), KVX_OK);
  for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(out.row(2)[x] == 255, x >= 4) << x;
  EXPECT_EQ(req.mask.pixels, nullptr);  // freed after marking
  raster_free(out);
  // Direction: at or below 127.
  req = TransparencyRequest{};
  req.kind = TR_INDEXMASK;
  req.threshold = 127, req.direction = 1;
  ASSERT_EQ(raster_alloc(req.mask, 8, 4, PIX_8_GRAY), KVX_OK);
  for (uint32_t y = 0; y < 4; ++y) req.mask.row(y)[1] = 255;
  ASSERT_EQ(ConvertImage(img, PIX_8_INDEXED, 1, &out, &req), KVX_OK);
  EXPECT_NE(out.row(0)[1], 255);
  EXPECT_EQ(out.row(0)[0], 255);
  raster_free(out);
  // A mask of the wrong size is missing data.
  req = TransparencyRequest{};
  req.kind = TR_MASK8;
  ASSERT_EQ(raster_alloc(req.mask, 3, 3, PIX_8_GRAY), KVX_OK);
  EXPECT_EQ(ConvertImage(img, PIX_8_INDEXED, 1, &out, &req), KVXERR_BADFORMAT);
  request_release(req);
  raster_free(img);
}

TEST_F(ReduceTest, StandardPalettes) {
  RasterImage img;
  ASSERT_EQ(raster_alloc(img, 1, 1, PIX_8_INDEXED), KVX_OK);
  ASSERT_EQ(StandardPalette(img, PIX_8_INDEXED, 0), KVX_OK);
  EXPECT_EQ(bgr_key(img.palette), 0u);
  EXPECT_EQ(bgr_key(img.palette + 3 * 255), 0xFFFFFFu);
  EXPECT_EQ(bgr_key(img.palette + 9), 0xFF0000u);  // blue 0, green 0, red 255
  ASSERT_EQ(StandardPalette(img, PIX_8_GRAY, 0), KVX_OK);
  EXPECT_EQ(img.palette[3 * 200], 200);
  ASSERT_EQ(StandardPalette(img, PIX_8_INDEXED, kPictureGray | kPictureInverse), KVX_OK);
  EXPECT_EQ(img.palette[0], 255);
  EXPECT_EQ(img.palette[3], 255);
  EXPECT_EQ(img.palette[3 * 128], 128);
  raster_free(img);
  ASSERT_EQ(raster_alloc(img, 1, 1, PIX_4_INDEXED), KVX_OK);
  EXPECT_EQ(StandardPalette(img, PIX_4_INDEXED, 0), KVXERR_BADPARAM);
  ASSERT_EQ(StandardPalette(img, PIX_4_INDEXED, kPictureGray), KVX_OK);
  EXPECT_EQ(img.palette[3 * 8], 128);
  raster_free(img);
  ASSERT_EQ(raster_alloc(img, 1, 1, PIX_1_BLACK), KVX_OK);
  ASSERT_EQ(StandardPalette(img, PIX_1_BLACK, 0), KVX_OK);
  EXPECT_EQ(bgr_key(img.palette), 0xFFFFFFu);
  raster_free(img);
}

}  // namespace
}  // namespace gfx::test
