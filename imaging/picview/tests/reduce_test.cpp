// Colour reduction: the count of colours is kept, the error stays within 1.5 times
// Pillow's quantize (median cut and fast octree) on generated gradient-and-noise
// images, the fixed palettes and the caller's palette map to their nearest entries, and
// the refusals and special counts of one table.
#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <random>
#include <set>

#include "imaging/picview/tests/ops_fixtures.h"

using namespace picview_test;

namespace {

HIMG gradient_noise(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> px(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto n = [&] { return int(rng() % 41) - 20; };
      int r = ImgClamp(x * 255 / w + n()), g = ImgClamp(y * 255 / h + n()), b = ImgClamp((x + y) * 128 / (w + h) + 64 + n());
      px[size_t(y * w + x)] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
  return make_image(w, h, 24, [&](int x, int y) { return px[size_t(y * w + x)]; });
}

double mse(const Pixels& a, const Pixels& b) {
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i)
    for (int s = 0; s < 24; s += 8) {
      double d = double(a.rgb[i] >> s & 255) - double(b.rgb[i] >> s & 255);
      sum += d * d;
    }
  return sum / double(a.rgb.size() * 3);
}

uint32_t nearest(const std::vector<uint32_t>& table, uint32_t c) {
  uint32_t best = 0;
  int64_t best_d = -1;
  for (uint32_t i = 0; i < table.size(); ++i) {
    int64_t d = 0;
    for (int s = 0; s < 24; s += 8) {
      int64_t v = int64_t(table[i] >> s & 255) - int64_t(c >> s & 255);
      d += v * v;
    }
    if (best_d < 0 || d < best_d) best_d = d, best = i;
  }
  return best;
}

// A logical palette of 0xRRGGBB colours (a whole-size record, so that no entry is
// written past a declared one-entry array).
HPALETTE make_palette(const std::vector<uint32_t>& colours) {
  struct {
    WORD version, count;
    PALETTEENTRY entries[256];
  } pal{0x300, WORD(colours.size()), {}};
  for (size_t i = 0; i < colours.size(); ++i)
    pal.entries[i] = PALETTEENTRY{uint8_t(colours[i] >> 16), uint8_t(colours[i] >> 8), uint8_t(colours[i]), 0};
  static_assert(offsetof(LOGPALETTE, palPalEntry) == 4, "palette layout");
  return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&pal));
}

int64_t distance(uint32_t a, uint32_t b) {
  int64_t d = 0;
  for (int s = 0; s < 24; s += 8) {
    int64_t v = int64_t(a >> s & 255) - int64_t(b >> s & 255);
    d += v * v;
  }
  return d;
}

TEST(PicviewReduce, KeepsTheCountAndStaysNearPillow) {
  qm::test::TempDir dir("qm-picview-reduce-");
  for (uint32_t seed : {1u, 2u}) {
    HIMG img = gradient_noise(96, 64, seed);
    Closer c{img};
    Pixels src = pixels_of(img);
    ASSERT_TRUE(save_bmp(img, dir / "in.bmp"));
    for (uint32_t count : {3u, 8u, 16u, 17u, 64u, 256u}) {
      for (auto [flags, method] : {std::pair{uint32_t(IMG_REDUCE_MEDIAN_CUT), 0}, std::pair{0u, 2}}) {
        std::string name = "seed " + std::to_string(seed) + " count " + std::to_string(count) + " flags " + std::to_string(flags);
        HIMG out = ImgReduceColors(img, count, flags);
        ASSERT_NE(out, nullptr) << name << " status " << ImgGetStatus();
        Closer co{out};
        Pixels p = pixels_of(out);
        EXPECT_EQ(p.bpp, count > 16 ? 8 : 4) << name;
        // At most count entries are filled; the entries the palette step left black take
        // part in the search, so pixels use those colours or black.
        std::set<uint32_t> filled(p.table.begin() + count, p.table.end());
        EXPECT_TRUE(filled.empty() || filled == std::set<uint32_t>{0}) << name;
        std::set<uint32_t> palette(p.table.begin(), p.table.begin() + count);
        for (uint32_t colour : p.rgb) ASSERT_TRUE(palette.count(colour) || colour == 0) << name;
        Pixels pil = pillow("quantize " + dir / "in.bmp " + std::to_string(count) + " " + std::to_string(method));
        ASSERT_EQ(pil.rgb.size(), src.rgb.size()) << name;
        double ours = mse(src, p), theirs = mse(src, pil);
        EXPECT_LE(ours, 1.5 * theirs) << name << ": " << ours << " against Pillow's " << theirs;
      }
    }
  }
}

TEST(PicviewReduce, DiffusionKeepsBlockColours) {
  HIMG img = gradient_noise(128, 64, 3);
  Closer c{img};
  Pixels src = pixels_of(img);
  HIMG out = ImgReduceColors(img, 16, IMG_REDUCE_DIFFUSE | IMG_REDUCE_MEDIAN_CUT);
  ASSERT_NE(out, nullptr);
  Closer co{out};
  Pixels p = pixels_of(out);
  for (int by = 0; by < 64; by += 32)
    for (int bx = 0; bx < 128; bx += 32)
      for (int s = 0; s < 24; s += 8) {
        int64_t want = 0, got = 0;
        for (int y = by; y < by + 32; ++y)
          for (int x = bx; x < bx + 32; ++x) want += src.at(x, y) >> s & 255, got += p.at(x, y) >> s & 255;
        EXPECT_LE(std::abs(want - got) / 1024, 8) << bx << "," << by << " channel " << s;
      }
}

TEST(PicviewReduce, FixedPalettesAndTheCallersPaletteMapToNearest) {
  HIMG img = gradient_noise(40, 30, 4);
  Closer c{img};
  Pixels src = pixels_of(img);
  std::vector<uint32_t> golden;
  std::ifstream in(QM_SOURCE_DIR "/imaging/picview/tests/fixed256.txt");
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') golden.push_back(uint32_t(std::stoul(line, nullptr, 16)));
  ASSERT_EQ(golden.size(), 256u);
  const uint8_t(*f)[3] = ImgFixed256();
  for (size_t i = 0; i < 256; ++i) EXPECT_EQ(uint32_t(f[i][0]) << 16 | uint32_t(f[i][1]) << 8 | f[i][2], golden[i]) << i;
  std::vector<uint32_t> fixed16;
  for (const auto& e : kImgFixed16) fixed16.push_back(uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2]);

  std::vector<uint32_t> mine = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080};
  HPALETTE hp = make_palette(mine);

  struct Case {
    uint32_t count;
    uint32_t flags;
    HPALETTE palette;
    const std::vector<uint32_t>* table;
  } cases[] = {{16, IMG_REDUCE_FIXED, nullptr, &fixed16}, {200, IMG_REDUCE_FIXED, nullptr, &golden}, {99, 0, hp, &mine}};
  for (const Case& k : cases) {
    HIMG out = ImgReduceColors(img, k.count, k.flags, k.palette);
    ASSERT_NE(out, nullptr) << k.count;
    Closer co{out};
    Pixels p = pixels_of(out);
    for (size_t i = 0; i < k.table->size(); ++i) ASSERT_EQ(p.table[i], (*k.table)[i]) << k.count;
    // The map works on 15-bit keys: a pixel takes the entry nearest to the first colour
    // of its key, which is never much further than its own nearest.
    for (size_t i = 0; i < src.rgb.size(); ++i) {
      uint32_t want = nearest(p.table, src.rgb[i]);
      int64_t dg = distance(p.table[p.raw[i]], src.rgb[i]), dw = distance(p.table[want], src.rgb[i]);
      ASSERT_LE(std::sqrt(double(dg)), std::sqrt(double(dw)) + 14.0) << k.count << " pixel " << i;
    }
  }
  DeleteObject(hp);
}

TEST(PicviewReduce, EdgeCases) {
  HIMG rgb = gradient_noise(16, 8, 5);
  HIMG few = make_image(12, 4, 24, [](int x, int) { return x < 4 ? 0xFF0000u : x < 8 ? 0x00FF00u : 0x0000FFu; });
  HIMG eight = make_image(8, 4, 8, [](int x, int y) { return uint32_t(x * 4 + y); });
  HIMG four = make_image(8, 4, 4, [](int x, int) { return uint32_t(x); });
  HIMG one = make_image(8, 4, 1, [](int x, int) { return uint32_t(x & 1); });
  Closer c1{rgb}, c2{few}, c3{eight}, c4{four}, c5{one};
  struct Case {
    const char* name;
    HIMG img;
    uint32_t count, flags;
    int32_t status;  // 1: a result
    int bpp;
  } cases[] = {
      {"8-bit to 256 without a palette", eight, 256, 64, IMG_CANNOT_REDUCE, 0},
      {"4-bit to 256", four, 256, 64, IMG_CANNOT_REDUCE, 0},
      {"4-bit to its own 16", four, 16, 0, IMG_CANNOT_REDUCE, 0},
      {"1-bit to 2", one, 2, 0, IMG_CANNOT_REDUCE, 0},
      {"count 0", rgb, 0, 64, IMG_BAD_ARGUMENT, 0},
      {"count over 256", rgb, 300, 64, IMG_BAD_ARGUMENT, 0},
      {"two colours: bilevel", rgb, 2, 2, IMG_OK, 1},
      {"gray", rgb, 100, 8, IMG_OK, 8},
      {"gray of 1-bit", one, 100, 8, IMG_CANNOT_REDUCE, 0},
      {"8-bit to 16 by octree", eight, 16, 0, IMG_OK, 4},
      {"4-bit to 8 by median cut", four, 8, 64, IMG_OK, 4},
      {"1-bit to more than its 2 colours", one, 16, 16, IMG_CANNOT_REDUCE, 0},
      {"24-bit through the fixed palette", rgb, 16, 16, IMG_OK, 4},
      {"one colour by octree", rgb, 1, 0, IMG_OK, 4},
      {"one colour by median cut", rgb, 1, 64, IMG_OK, 4},
      {"three colours by octree", rgb, 3, 2, IMG_OK, 4},
  };
  for (const Case& k : cases) {
    HIMG out = ImgReduceColors(k.img, k.count, k.flags);
    EXPECT_EQ(ImgGetStatus(), k.status) << k.name;
    EXPECT_EQ(out != nullptr, k.status == IMG_OK) << k.name;
    if (!out) continue;
    EXPECT_EQ(pixels_of(out).bpp, k.bpp) << k.name;
    ImgClose(out);
  }
  // Fewer distinct colours than the count: that many boxes, the rest of the table black.
  HIMG out = ImgReduceColors(few, 50, 64);
  ASSERT_NE(out, nullptr);
  Closer co{out};
  Pixels p = pixels_of(out);
  std::set<uint32_t> colours(p.table.begin(), p.table.begin() + 3);
  EXPECT_EQ(colours, (std::set<uint32_t>{0xFC0404, 0x04FC04, 0x0404FC}));
  for (size_t i = 3; i < 256; ++i) EXPECT_EQ(p.table[i], 0u) << i;
  EXPECT_EQ(p.at(0, 0), 0xFC0404u);
  EXPECT_EQ(p.at(11, 3), 0x0404FCu);
  EXPECT_EQ(ImgReduceColors(nullptr, 16, 0), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
}

TEST(PicviewReduce, TiesGoToTheEntryFoundFirst) {
  // (20, 0, 0) lies as far from (10, 0, 0) as from (30, 0, 0); the search starts at the
  // first entry of red 20 or more, so the second entry wins, every time.
  HPALETTE hp = make_palette({0x0A0000, 0x1E0000, 0xC8C8C8});
  HIMG img = make_image(2, 1, 24, [](int, int) { return 0x140000u; });
  Closer c{img};
  HIMG out = ImgReduceColors(img, 0, 0, hp);
  ASSERT_NE(out, nullptr);
  Closer co{out};
  EXPECT_EQ(pixels_of(out).raw, (std::vector<uint32_t>{1, 1}));
  DeleteObject(hp);
}

}  // namespace
