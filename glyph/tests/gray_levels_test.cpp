// Tests of the gray level reduction: every block sum in one table, the weights of left
// and right pixels, odd source heights (a zero row below), padding bits past the width,
// 32-bit source rows wider than one byte, and short buffers refused untouched.
#include <gtest/gtest.h>

#include <vector>

#include "glyph/gray_levels.h"

namespace qm::glyph::test {
namespace {

TEST(GrayLevel, EveryBlock) {
  // upper pair, lower pair (left x 2 + right), level.
  struct Case {
    unsigned up, down;
    uint8_t level;
  };
  const Case cases[] = {
      {0, 0, 0},  // s 0
      {1, 0, 1}, {0, 1, 1},  // s 1: one right pixel
      {2, 0, 1}, {0, 2, 1}, {1, 1, 1},  // s 2: one left pixel, or both right pixels
      {3, 0, 2}, {2, 1, 2}, {1, 2, 2},  // s 3
      {2, 2, 2}, {3, 1, 2}, {1, 3, 2},  // s 4: both left pixels
      {3, 2, 3}, {2, 3, 3},  // s 5
      {3, 3, 4},  // s 6: all four
  };
  for (const Case& c : cases) EXPECT_EQ(GrayLevel(c.up, c.down), c.level) << c.up << "," << c.down;
}

TEST(GrayShape, HalvesRoundsAndPads) {
  struct Case {
    uint32_t w, h, ow, oh, row;
  };
  const Case cases[] = {{0, 0, 0, 0, 0}, {1, 1, 1, 1, 4}, {2, 2, 1, 1, 4}, {9, 3, 5, 2, 8}, {16, 16, 8, 8, 8}};
  for (const Case& c : cases) {
    GrayImageShape s = GrayShape(c.w, c.h);
    EXPECT_EQ(s.width, c.ow);
    EXPECT_EQ(s.height, c.oh);
    EXPECT_EQ(s.row_bytes, c.row);
    EXPECT_EQ(s.bytes, size_t(c.row) * (c.oh + 2));
  }
}

// Builds a 1-bit bitmap with 32-bit rows from strings of '#' and '.'.
std::vector<uint8_t> Mono(const std::vector<const char*>& rows, uint32_t width) {
  const size_t row = MonoRowBytes(width);
  std::vector<uint8_t> bits(row * rows.size(), 0);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; rows[y][x]; ++x)
      if (rows[y][x] == '#') bits[y * row + x / 8] |= uint8_t(0x80 >> (x % 8));
  return bits;
}

std::vector<uint8_t> Reduce(const std::vector<uint8_t>& src, uint32_t w, uint32_t h) {
  GrayImageShape s = GrayShape(w, h);
  std::vector<uint8_t> out(s.bytes, 0xEE);
  EXPECT_TRUE(ReduceToGrayLevels(src.data(), src.size(), w, h, out.data(), out.size()));
  return out;
}

TEST(ReduceToGrayLevels, LeftPairRightPairAllFour) {
  auto src = Mono({"#..###", "#..###"}, 6);
  auto out = Reduce(src, 6, 2);
  // Row of 3 pixels padded to 4, then two spare zero rows.
  EXPECT_EQ(out, (std::vector<uint8_t>{2, 1, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ReduceToGrayLevels, OddHeightReadsZeroRowBelow) {
  auto src = Mono({"####", "####", "####"}, 4);
  auto out = Reduce(src, 4, 3);
  ASSERT_EQ(out.size(), 4u * 4);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[1], 4);
  EXPECT_EQ(out[4], 2);  // upper pair 3, lower pair 0
  EXPECT_EQ(out[5], 2);
  for (size_t i = 8; i < out.size(); ++i) EXPECT_EQ(out[i], 0) << i;
}

TEST(ReduceToGrayLevels, WideRowsAndPaddingBits) {
  // 35 pixels: two 32-bit words per row. The last pixel is a left pixel whose right
  // neighbour is padding; set padding bits must not count.
  const uint32_t w = 35;
  auto src = Mono({"#.................................#", "...............................##.#"}, w);
  const size_t row = MonoRowBytes(w);
  ASSERT_EQ(row, 8u);
  src[4] = uint8_t(src[4] | 0x1F);  // padding bits 35-63 of row 0 set
  src[5] = src[6] = src[7] = 0xFF;
  auto out = Reduce(src, w, 2);
  GrayImageShape s = GrayShape(w, 2);
  ASSERT_EQ(s.width, 18u);
  ASSERT_EQ(s.row_bytes, 20u);
  EXPECT_EQ(out[0], 1);   // one left pixel: s 2
  EXPECT_EQ(out[15], 1);  // pixels 30-31: lower right pixel lit, s 1
  EXPECT_EQ(out[16], 1);  // pixels 32-33: lower left pixel lit, s 2
  EXPECT_EQ(out[17], 2);  // pixel 34 in both rows, padding ignored: s 4
  EXPECT_EQ(out[18], 0);
  EXPECT_EQ(out[19], 0);
}

TEST(ReduceToGrayLevels, ShortBuffersRefusedUntouched) {
  auto src = Mono({"####", "####"}, 4);
  GrayImageShape s = GrayShape(4, 2);
  std::vector<uint8_t> out(s.bytes - 1, 0xEE);
  EXPECT_FALSE(ReduceToGrayLevels(src.data(), src.size(), 4, 2, out.data(), out.size()));
  EXPECT_EQ(out, std::vector<uint8_t>(s.bytes - 1, 0xEE));
  out.assign(s.bytes, 0xEE);
  EXPECT_FALSE(ReduceToGrayLevels(src.data(), src.size() - 1, 4, 2, out.data(), out.size()));
  EXPECT_FALSE(ReduceToGrayLevels(nullptr, 0, 4, 2, out.data(), out.size()));
  EXPECT_EQ(out, std::vector<uint8_t>(s.bytes, 0xEE));
  EXPECT_FALSE(ReduceToGrayLevels(src.data(), src.size(), 1u << 20, 2, out.data(), out.size()));
}

}  // namespace
}  // namespace qm::glyph::test
