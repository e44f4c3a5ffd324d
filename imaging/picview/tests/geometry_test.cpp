// Cropping, scaling and rotation on coordinate-coded images (each pixel's colour names
// its position): crops copy exactly, every scaled pixel is one source pixel, integer
// enlargements equal Pillow's NEAREST and other factors stay near it; 1-bit gray
// counting and AND/OR merges on small fixtures; right angles against ImageMagick and
// arbitrary angles against Pillow.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/picview/tests/ops_fixtures.h"

using namespace picview_test;

namespace {

// Red = column, green = row, blue = 0x80 marks a picture pixel.
uint32_t coded(int x, int y) { return uint32_t(x) << 16 | uint32_t(y) << 8 | 0x80; }
int col_of(uint32_t c) { return int(c >> 16); }
int row_of(uint32_t c) { return int(c >> 8 & 255); }

// An image of any depth whose pixels tell their source: 24-bit coded colours, else an
// index that a table turns into the column (palette depths code columns only, by
// index modulo the table size).
HIMG coded_image(int w, int h, int bpp) {
  if (bpp == 24) return make_image(w, h, 24, coded);
  uint32_t n = 1u << bpp;
  std::vector<uint32_t> table;
  for (uint32_t i = 0; i < n; ++i) table.push_back(i << 16 | 0x80);
  return make_image(w, h, bpp, [n](int x, int y) { return uint32_t(x + 3 * y) % n; }, table);
}

TEST(PicviewCopy, CropsCopyTheRectangleExactly) {
  for (int bpp : {1, 4, 8, 24}) {
    HIMG img = make_image(37, 11, bpp, [bpp](int x, int y) { return bpp == 24 ? coded(x, y) : uint32_t(x * 7 + y * 3) % (1u << bpp); });
    Closer c{img};
    Pixels src = pixels_of(img);
    for (RECT r : {RECT{0, 0, 36, 10}, RECT{3, 2, 20, 9}, RECT{5, 0, 5, 0}, RECT{9, 1, 36, 10}}) {
      HIMG out = ImgCopy(img, r.right - r.left + 1, r.bottom - r.top + 1, &r, 0);
      ASSERT_NE(out, nullptr) << bpp;
      Closer co{out};
      Pixels p = pixels_of(out);
      ASSERT_EQ(p.w, r.right - r.left + 1);
      EXPECT_EQ(p.bpp, bpp);
      for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) ASSERT_EQ(p.raw_at(x, y), src.raw_at(r.left + x, r.top + y)) << bpp;
    }
    // Zero sizes mean the rectangle's own; a null rectangle the whole image.
    HIMG whole = ImgCopy(img, 0, 0, nullptr, 0);
    ASSERT_NE(whole, nullptr);
    Closer cw{whole};
    EXPECT_EQ(pixels_of(whole).raw, src.raw);
  }
}

TEST(PicviewCopy, RefusesRectanglesOutsideOrInverted) {
  HIMG img = coded_image(10, 6, 8);
  Closer c{img};
  for (RECT r : {RECT{-1, 0, 3, 3}, RECT{0, 0, 10, 5}, RECT{0, 0, 9, 6}, RECT{5, 0, 4, 3}, RECT{0, 4, 3, 3}}) {
    EXPECT_EQ(ImgCopy(img, 2, 2, &r, 0), nullptr);
    EXPECT_EQ(ImgGetStatus(), IMG_SOURCE_OUTSIDE);
  }
  EXPECT_EQ(ImgCopy(img, -2, 2, nullptr, 0), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_BAD_ARGUMENT);
  EXPECT_EQ(ImgCopy(nullptr, 2, 2, nullptr, 0), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
}

// The source column of each output column (and row of each output row) of a scale.
void check_scale(int sw, int sh, int nw, int nh, const std::string& dir) {
  std::string name = std::to_string(sw) + "x" + std::to_string(sh) + " to " + std::to_string(nw) + "x" + std::to_string(nh);
  HIMG img = coded_image(sw, sh, 24);
  Closer c{img};
  HIMG out = ImgCopy(img, nw, nh, nullptr, IMG_COPY_COLOUR);
  ASSERT_NE(out, nullptr) << name;
  Closer co{out};
  Pixels p = pixels_of(out);
  ASSERT_EQ(p.w, nw);
  ASSERT_EQ(p.h, nh);
  // Every output pixel is one source pixel; columns depend on x only, rows on y only.
  std::vector<int> cols(static_cast<size_t>(nw)), rows(static_cast<size_t>(nh));
  for (int x = 0; x < nw; ++x) cols[size_t(x)] = col_of(p.at(x, 0));
  for (int y = 0; y < nh; ++y) rows[size_t(y)] = row_of(p.at(0, y));
  for (int y = 0; y < nh; ++y)
    for (int x = 0; x < nw; ++x) ASSERT_EQ(p.at(x, y), coded(cols[size_t(x)], rows[size_t(y)])) << name;
  ASSERT_TRUE(save_bmp(img, dir + "/scale.bmp"));
  Pixels pil = pillow("resize " + dir + "/scale.bmp " + std::to_string(nw) + " " + std::to_string(nh));
  ASSERT_EQ(pil.rgb.size(), size_t(nw) * size_t(nh)) << name;
  auto check_axis = [&](const std::vector<int>& ours, int n, int m, bool is_col) {
    bool integer = n % m == 0;
    for (int i = 0; i < n; ++i) {
      uint32_t theirs = is_col ? pil.at(i, 0) : pil.at(0, i);
      int want = is_col ? col_of(theirs) : row_of(theirs);
      if (integer) {
        ASSERT_EQ(ours[size_t(i)], want) << name << (is_col ? " column " : " row ") << i;
      } else {
        // Within half a step plus one of Pillow's.
        ASSERT_LE(2 * std::abs(ours[size_t(i)] - want), (m + n - 1) / n + 2) << name << " at " << i;
      }
      if (i > 0) {
        int step = ours[size_t(i)] - ours[size_t(i) - 1];
        if (n < m) {
          ASSERT_TRUE(step == m / n || step == m / n + 1) << name << " step " << step;
        } else {
          ASSERT_TRUE(step == 0 || step == 1) << name << " step " << step;
        }
      }
    }
    if (n >= m) {
      // Enlarging: each source pixel is repeated n / m or one more times.
      std::vector<int> repeats(static_cast<size_t>(m), 0);
      for (int v : ours) ++repeats[size_t(v)];
      for (int r : repeats) ASSERT_TRUE(r == n / m || r == n / m + 1) << name;
    }
  };
  check_axis(cols, nw, sw, true);
  check_axis(rows, nh, sh, false);
}

TEST(PicviewCopy, ScalesPickOneSourcePixelNearPillowsNearest) {
  qm::test::TempDir dir("qm-picview-scale-");
  const int cases[][4] = {{3, 2, 6, 4},    {2, 3, 6, 9},    {7, 5, 21, 10}, {40, 30, 13, 10}, {40, 30, 20, 15},
                          {31, 17, 10, 6}, {100, 9, 33, 9}, {13, 7, 29, 16}, {9, 9, 4, 17},   {200, 150, 66, 50},
                          {5, 5, 1, 1},    {1, 1, 7, 3},   {4, 4, 12, 12}, {8, 2, 8, 5}};
  for (const auto& c : cases) check_scale(c[0], c[1], c[2], c[3], dir.path());
}

TEST(PicviewCopy, PaletteDepthsScaleLike24Bit) {
  for (int bpp : {1, 4, 8}) {
    for (auto [nw, nh] : {std::pair{50, 9}, std::pair{9, 40}, std::pair{13, 3}}) {
      HIMG img = make_image(19, 13, bpp, [bpp](int x, int y) { return uint32_t(x + 5 * y) % (1u << bpp); });
      HIMG ref = make_image(19, 13, 24, coded);
      Closer c{img}, cr{ref};
      HIMG out = ImgCopy(img, nw, nh, nullptr, 0), rout = ImgCopy(ref, nw, nh, nullptr, 0);
      ASSERT_NE(out, nullptr);
      Closer co{out}, cro{rout};
      Pixels p = pixels_of(out), r = pixels_of(rout);
      EXPECT_EQ(p.bpp, bpp);
      for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
          uint32_t s = r.at(x, y);
          ASSERT_EQ(p.raw_at(x, y), uint32_t(col_of(s) + 5 * row_of(s)) % (1u << bpp)) << bpp;
        }
    }
  }
}

TEST(PicviewCopy, EdgeCasesOfRepeats) {
  // Doubling a 3-pixel row repeats each pixel twice; tripling a 2-pixel row three times.
  HIMG three = make_image(3, 1, 8, [](int x, int) { return uint32_t(10 + x); });
  HIMG two = make_image(2, 1, 24, [](int x, int) { return uint32_t(0x102030 * (x + 1)); });
  Closer c3{three}, c2{two};
  HIMG d = ImgCopy(three, 6, 1, nullptr, 0), t = ImgCopy(two, 6, 1, nullptr, IMG_COPY_COLOUR);
  Closer cd{d}, ct{t};
  EXPECT_EQ(pixels_of(d).raw, (std::vector<uint32_t>{10, 10, 11, 11, 12, 12}));
  EXPECT_EQ(pixels_of(t).raw, (std::vector<uint32_t>{0x102030, 0x102030, 0x102030, 0x204060, 0x204060, 0x204060}));
}

TEST(PicviewCopy, OneBitReductionsCountGrayOrMerge) {
  // 4 x 4 fixture, rows from the top; 1 = white (colour-table entry 1).
  const char* rows[] = {"1100", "1000", "1111", "0011"};
  HIMG img = make_image(4, 4, 1, [&](int x, int y) { return uint32_t(rows[y][x] == '1'); });
  Closer c{img};
  struct Case {
    uint32_t flags;
    int bpp;
    std::vector<uint32_t> want;  // 2 x 2, rows from the top
  } cases[] = {
      {IMG_COPY_GRAY8, 8, {3 * 255 / 4, 0, 2 * 255 / 4, 4 * 255 / 4}},
      {IMG_COPY_GRAY4, 4, {3 * 15 / 4, 0, 2 * 15 / 4, 15}},
      {IMG_COPY_AND, 1, {0, 0, 0, 1}},
      {IMG_COPY_OR, 1, {1, 0, 1, 1}},
  };
  for (const Case& k : cases) {
    HIMG out = ImgCopy(img, 2, 2, nullptr, k.flags);
    ASSERT_NE(out, nullptr);
    Closer co{out};
    Pixels p = pixels_of(out);
    EXPECT_EQ(p.bpp, k.bpp) << k.flags;
    EXPECT_EQ(p.raw, k.want) << k.flags;
    if (k.bpp == 8) {
      ASSERT_EQ(p.table.size(), 256u);
      EXPECT_EQ(p.table[255], 0xFFFFFFu);
      EXPECT_EQ(p.table[17], 0x111111u);
    }
    if (k.bpp == 4) {
      EXPECT_EQ(p.table[1], 0x111111u);
    }
  }
  // Gray output only when reducing the height: the same height keeps 1 bit.
  HIMG same = ImgCopy(img, 2, 4, nullptr, IMG_COPY_GRAY8);
  Closer cs{same};
  EXPECT_EQ(pixels_of(same).bpp, 1);
}

// Rotated pixels against ImageMagick: our 90 (counter-clockwise) is ImageMagick's -rotate -90.
TEST(PicviewRotate, RightAnglesEqualImageMagick) {
  qm::test::TempDir dir("qm-picview-rotate-");
  for (int bpp : {1, 4, 8, 24}) {
    HIMG img = bpp == 24 ? make_image(13, 7, 24, coded)
                         : make_image(13, 7, bpp, [bpp](int x, int y) { return uint32_t(x * 5 + y * 3) % (1u << bpp); });
    Closer c{img};
    ASSERT_TRUE(save_bmp(img, dir / "in.bmp"));
    for (auto [angle, im] : {std::pair{9000u, "-90"}, std::pair{18000u, "180"}, std::pair{27000u, "90"},
                             std::pair{45000u, "-90"}, std::pair{0u, "0"}, std::pair{36000u, "0"}}) {
      HIMG out = ImgRotate(img, angle, 0xFFFFFF);
      ASSERT_NE(out, nullptr);
      Closer co{out};
      ASSERT_TRUE(convert(dir / "in.bmp -rotate " + im + " " + dir / "want.png"));
      Pixels want = decode(dir / "want.png"), got = pixels_of(out);
      ASSERT_EQ(got.w, want.w) << bpp << " " << angle;
      ASSERT_EQ(got.h, want.h);
      EXPECT_EQ(got.rgb, want.rgb) << bpp << " " << angle;
    }
  }
}

// Output positions of a rotation whose pixels come from the picture, away from its
// edge (two pixels from any background pixel).
bool interior(const Pixels& p, int x, int y, bool (*background)(uint32_t)) {
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx) {
      int xx = x + dx, yy = y + dy;
      if (xx < 0 || yy < 0 || xx >= p.w || yy >= p.h || background(p.at(xx, yy))) return false;
    }
  return true;
}

TEST(PicviewRotate, AnyAngleNearPillow) {
  qm::test::TempDir dir("qm-picview-rotate-");
  HIMG img = make_image(61, 37, 24, coded);
  Closer c{img};
  ASSERT_TRUE(save_bmp(img, dir / "in.bmp"));
  for (uint32_t angle : {1000u, 3000u, 4500u, 12000u, 20000u, 31500u, 8999u, 9001u}) {
    HIMG out = ImgRotate(img, angle, 0xFFFFFF);
    ASSERT_NE(out, nullptr);
    Closer co{out};
    Pixels got = pixels_of(out);
    Pixels want = pillow("rotate " + dir / "in.bmp " + std::to_string(angle / 100.0));
    ASSERT_FALSE(want.rgb.empty());
    // The size is the bounding box's extent (maximum - minimum + 0.5, truncated);
    // Pillow rounds its box outward on both sides, so it is up to 2 larger.
    const double a = angle / 100.0 * 3.14159265358979323846 / 180.0;
    const double ew = std::fabs(61 * std::cos(a)) + std::fabs(37 * std::sin(a));
    const double eh = std::fabs(61 * std::sin(a)) + std::fabs(37 * std::cos(a));
    EXPECT_EQ(got.w, int(ew + 0.5)) << angle;
    EXPECT_EQ(got.h, int(eh + 0.5)) << angle;
    EXPECT_TRUE(want.w >= got.w && want.w <= got.w + 2) << angle << ": " << got.w << " against " << want.w;
    EXPECT_TRUE(want.h >= got.h && want.h <= got.h + 2) << angle << ": " << got.h << " against " << want.h;
    // Pictures centred on each other.
    const int ox = (want.w - got.w) / 2, oy = (want.h - got.h) / 2;
    int compared = 0;
    for (int y = 0; y < got.h; ++y)
      for (int x = 0; x < got.w; ++x) {
        if (!interior(got, x, y, [](uint32_t v) { return (v & 255) != 0x80; }) ||
            !interior(want, x + ox, y + oy, [](uint32_t v) { return (v & 255) != 0x80; }))
          continue;
        ++compared;
        uint32_t theirs = want.at(x + ox, y + oy);
        ASSERT_LE(std::abs(col_of(got.at(x, y)) - col_of(theirs)), 2) << angle << " at " << x << "," << y;
        ASSERT_LE(std::abs(row_of(got.at(x, y)) - row_of(theirs)), 2) << angle << " at " << x << "," << y;
      }
    EXPECT_GT(compared, 61 * 37 / 3) << angle;
    // Outside the picture: the background colour.
    if (angle % 9000 > 500 && angle % 9000 < 8500) {
      EXPECT_EQ(got.at(0, 0), 0xFFFFFFu) << angle;
    }
  }
}

TEST(PicviewRotate, NearlyRightAnglesNearlyAgree) {
  HIMG img = make_image(40, 24, 24, coded);
  Closer c{img};
  HIMG exact = ImgRotate(img, 9000, 0xFFFFFF);
  Closer ce{exact};
  Pixels e = pixels_of(exact);
  for (uint32_t angle : {8999u, 9001u}) {
    HIMG near = ImgRotate(img, angle, 0xFFFFFF);
    Closer cn{near};
    Pixels n = pixels_of(near);
    EXPECT_LE(std::abs(n.w - e.w), 1);
    EXPECT_LE(std::abs(n.h - e.h), 1);
    for (int y = 2; y < std::min(n.h, e.h) - 2; ++y)
      for (int x = 2; x < std::min(n.w, e.w) - 2; ++x) {
        ASSERT_LE(std::abs(col_of(n.at(x, y)) - col_of(e.at(x, y))), 1) << angle;
        ASSERT_LE(std::abs(row_of(n.at(x, y)) - row_of(e.at(x, y))), 1) << angle;
      }
  }
}

TEST(PicviewRotate, BackgroundIsTheNearestPaletteEntry) {
  struct Case {
    std::vector<uint32_t> table;
    uint32_t background;
    uint32_t want;
  } cases[] = {
      {{0x000000, 0x102030, 0xFFFFFF, 0xFFFFFF}, 0xFFFFFF, 2},          // equal entry
      {{0x000000, 0xF0F0F0, 0xEEEEEE, 0x808080}, 0xFFFFFF, 1},          // nearest
      {{0x000000, 0xFFFFFD, 0xFDFFFF, 0x808080}, 0xFFFFFF, 1},          // tie: the lower index
      {{0x000000, 0x0000FF, 0xFF0000, 0x808080}, 0x0000FF, 2},          // a COLORREF is red first
      {{0x000000, 0xFFFFFF, 0x0000FF, 0x808080}, 0x01000003, 3},        // a palette index
  };
  for (const Case& k : cases) {
    HIMG img = make_image(9, 5, 8, [](int, int) { return 0u; }, k.table);
    Closer c{img};
    HIMG out = ImgRotate(img, 3000, k.background);
    ASSERT_NE(out, nullptr);
    Closer co{out};
    EXPECT_EQ(pixels_of(out).raw_at(0, 0), k.want) << std::hex << k.background;
  }
  HIMG rgb = make_image(9, 5, 24, [](int, int) { return 0u; });
  Closer cr{rgb};
  HIMG out = ImgRotate(rgb, 3000, 0x0000FF);
  Closer co{out};
  EXPECT_EQ(pixels_of(out).at(0, 0), 0xFF0000u);
}

TEST(PicviewRotate, AnyAngleOfEveryDepthKeepsPixelValues) {
  for (int bpp : {1, 4, 8}) {
    HIMG img = make_image(21, 14, bpp, [bpp](int x, int y) { return uint32_t(x + y) % (1u << bpp); });
    Closer c{img};
    HIMG out = ImgRotate(img, 2500, 0xFFFFFF);
    ASSERT_NE(out, nullptr);
    Closer co{out};
    Pixels p = pixels_of(out);
    EXPECT_EQ(p.bpp, bpp);
    for (uint32_t v : p.raw) ASSERT_LT(v, 1u << bpp);
  }
  EXPECT_EQ(ImgRotate(nullptr, 100, 0), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
}

}  // namespace
