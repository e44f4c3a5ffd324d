// Tone operations against independent answers: brightness by clamped sums, gamma
// against the tone tables computed in Python, gray conversion with and without the tone
// curve, and bilevel conversion by threshold, ordered dither (against ImageMagick's
// o8x8) and error diffusion (block means kept).
#include <gtest/gtest.h>

#include <climits>

#include "imaging/picview/tests/ops_fixtures.h"

using namespace picview_test;

namespace {

uint32_t gray(uint32_t v) { return v * 0x010101u; }

TEST(PicviewTones, BrightnessClampsEverySumWhateverTheValue) {
  const int values[] = {0, 1, -1, 100, -100, 256, -256, 300, -300, INT_MAX, INT_MIN};
  for (int value : values) {
    // 24-bit: every byte of every pixel; a width of 3 leaves row padding to skip.
    HIMG img = make_image(3, 2, 24, [](int x, int y) { return uint32_t(x * 100 + y * 50) * 0x010101u ^ 0x0A0000u; });
    Closer c{img};
    Pixels before = pixels_of(img);
    ASSERT_EQ(ImgBrightness(img, value), 1) << value;
    Pixels after = pixels_of(img);
    for (size_t i = 0; i < before.rgb.size(); ++i)
      for (int s = 0; s < 24; s += 8) {
        int64_t want = int64_t(before.rgb[i] >> s & 255) + value;
        want = want < 0 ? 0 : want > 255 ? 255 : want;
        ASSERT_EQ(int64_t(after.rgb[i] >> s & 255), want) << value;
      }
  }
  // 100 + 300 is 255, 100 - 300 is 0.
  for (auto [value, want] : {std::pair{300, 255u}, std::pair{-300, 0u}}) {
    HIMG img = make_image(1, 1, 24, [](int, int) { return gray(100); });
    Closer c{img};
    ImgBrightness(img, value);
    EXPECT_EQ(pixels_of(img).at(0, 0), gray(want));
  }
}

TEST(PicviewTones, BrightnessOfPaletteImagesChangesTheTableOnly) {
  HIMG img = make_image(4, 1, 8, [](int x, int) { return uint32_t(x); }, {0x102030, 0xF0F0F0, 0x000000, 0x7F8081});
  Closer c{img};
  Pixels before = pixels_of(img);
  ASSERT_EQ(ImgBrightness(img, 20), 1);
  Pixels after = pixels_of(img);
  EXPECT_EQ(after.raw, before.raw);
  EXPECT_EQ(after.table[0], 0x243444u);
  EXPECT_EQ(after.table[1], 0xFFFFFFu);
  EXPECT_EQ(after.table[2], 0x141414u);
  EXPECT_EQ(after.table[3], 0x939495u);
}

TEST(PicviewTones, GammaMatchesTheTablesComputedInPython) {
  for (int value : {10, 12, 15, 20, 25, 29, 30, 50}) {
    std::string out;
    ASSERT_EQ(qm::test::command_output("/usr/bin/python3 " QM_SOURCE_DIR "/imaging/picview/tests/pil_ops.py gamma " +
                                           std::to_string(value),
                                       out),
              0);
    std::vector<uint32_t> want;
    for (size_t pos = 0; pos < out.size();) {
      size_t used = 0;
      want.push_back(uint32_t(std::stoul(out.substr(pos), &used)));
      pos += used;
      while (pos < out.size() && (out[pos] == ' ' || out[pos] == '\n')) ++pos;
    }
    ASSERT_EQ(want.size(), 256u);
    uint8_t table[256];
    ImgGammaTable(value, table);
    HIMG img = make_image(256, 1, 24, [](int x, int) { return uint32_t(x) << 16 | uint32_t(255 - x) << 8 | uint32_t(x); });
    Closer c{img};
    ASSERT_EQ(ImgGamma(img, value), 1);
    Pixels p = pixels_of(img);
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(table[v], want[size_t(v)]) << "gamma " << value << " at " << v;
      ASSERT_EQ(p.at(v, 0), want[size_t(v)] << 16 | want[size_t(255 - v)] << 8 | want[size_t(v)]) << value;
    }
  }
  uint8_t t30[256], t50[256];
  ImgGammaTable(30, t30);
  ImgGammaTable(50, t50);
  EXPECT_EQ(0, std::memcmp(t30, t50, 256));
}

TEST(PicviewTones, GammaOutsideItsRangeChangesNothing) {
  for (int value : {9, 51, 0, -10}) {
    HIMG img = make_image(2, 1, 24, [](int x, int) { return gray(uint32_t(60 * x + 7)); });
    Closer c{img};
    EXPECT_EQ(ImgGamma(img, value), 0);
    EXPECT_EQ(ImgGetStatus(), IMG_BAD_ARGUMENT);
    EXPECT_EQ(pixels_of(img).at(1, 0), gray(67));
  }
  EXPECT_EQ(ImgGamma(nullptr, 20), 0);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
}

TEST(PicviewTones, GrayOf24BitIsLuminanceAndOfPaletteImagesTheToneCurve) {
  HIMG img = make_image(3, 2, 24, [](int x, int y) { return x == 0 ? 0xFF0000u : x == 1 ? 0x00FF00u : uint32_t(0x123456 * (y + 1)); });
  Closer c{img};
  HIMG g = ImgToGray(img);
  ASSERT_NE(g, nullptr);
  Closer cg{g};
  Pixels p = pixels_of(g), src = pixels_of(img);
  EXPECT_EQ(p.bpp, 8);
  ASSERT_EQ(p.table.size(), 256u);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(p.table[i], gray(i));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint32_t s = src.at(x, y);
      EXPECT_EQ(p.raw_at(x, y), ImgLuminance(s >> 16, s >> 8 & 255, s & 255));
    }
  EXPECT_EQ(p.raw_at(0, 0), 76u);  // 30 x 255 / 100

  const std::vector<uint32_t> table = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
  for (int bpp : {4, 8}) {
    HIMG pal = make_image(4, 1, bpp, [](int x, int) { return uint32_t(x); }, table);
    Closer cp{pal};
    HIMG pg = ImgToGray(pal);
    ASSERT_NE(pg, nullptr);
    Closer cpg{pg};
    Pixels q = pixels_of(pg);
    EXPECT_EQ(q.bpp, bpp);
    for (int x = 0; x < 4; ++x) {
      uint32_t s = table[size_t(x)];
      EXPECT_EQ(q.at(x, 0), gray(kImgToneCurve[ImgLuminance(s >> 16, s >> 8 & 255, s & 255)])) << bpp << " " << x;
    }
  }
  HIMG one = make_image(9, 2, 1, [](int x, int) { return uint32_t(x & 1); });
  Closer co{one};
  EXPECT_EQ(ImgToGray(one), nullptr);
}

// The tone-mapped level of each pixel of a gradient.
std::vector<int> tone_mapped(const Pixels& p) {
  std::vector<int> v;
  for (uint32_t c : p.rgb) v.push_back(kImgToneCurve[ImgLuminance(c >> 16, c >> 8 & 255, c & 255)]);
  return v;
}

TEST(PicviewTones, BilevelThresholdAndOrderedDitherAgainstImageMagick) {
  const int w = 128, h = 64;
  HIMG img = make_image(w, h, 24, [](int x, int y) { return uint32_t(x * 2) << 16 | uint32_t(y * 4) << 8 | uint32_t((x + y) & 255); });
  Closer c{img};
  std::vector<int> tone = tone_mapped(pixels_of(img));

  HIMG plain = ImgToBilevel(img, 0);
  ASSERT_NE(plain, nullptr);
  Closer cp{plain};
  Pixels pp = pixels_of(plain);
  EXPECT_EQ(pp.bpp, 1);
  EXPECT_EQ(pp.table, (std::vector<uint32_t>{0x000000, 0xFFFFFF}));
  for (size_t i = 0; i < tone.size(); ++i) ASSERT_EQ(pp.raw[i], tone[i] >= 128 ? 1u : 0u) << i;

  // ImageMagick dithers the tone-mapped picture.
  qm::test::TempDir dir("qm-picview-tone-");
  HIMG mapped = make_image(w, h, 24, [&](int x, int y) { return gray(uint32_t(tone[size_t(y * w + x)])); });
  Closer cm{mapped};
  ASSERT_TRUE(save_bmp(mapped, dir / "mapped.bmp"));
  ASSERT_TRUE(convert(dir / "mapped.bmp -ordered-dither o8x8 " + dir / "im.png"));
  Pixels im = decode(dir / "im.png");
  ASSERT_EQ(im.rgb.size(), tone.size());
  HIMG ordered = ImgToBilevel(img, 1 | 2 | 4);  // bit 0 wins
  ASSERT_NE(ordered, nullptr);
  Closer co{ordered};
  Pixels po = pixels_of(ordered);
  size_t agree = 0;
  for (size_t i = 0; i < tone.size(); ++i) agree += (po.raw[i] == 1) == ((im.rgb[i] & 255) >= 128);
  EXPECT_GE(agree * 100, tone.size() * 95) << agree << " of " << tone.size();
}

TEST(PicviewTones, DiffusionKeepsEveryBlockMean) {
  const int w = 256, h = 96;
  for (int bpp : {8, 24}) {
    HIMG img = bpp == 24 ? make_image(w, h, 24, [](int x, int y) { return gray(uint32_t(x)) ^ uint32_t(y & 3); })
                         : make_image(w, h, 8, [](int x, int) { return uint32_t(x); });
    Closer c{img};
    std::vector<int> tone = tone_mapped(pixels_of(img));
    for (uint32_t flags : {2u, 4u, 6u}) {
      HIMG out = ImgToBilevel(img, flags);
      ASSERT_NE(out, nullptr);
      Closer co{out};
      Pixels p = pixels_of(out);
      for (int by = 0; by + 32 <= h; by += 32)
        for (int bx = 0; bx < w; bx += 32) {
          int64_t want = 0, got = 0;
          for (int y = by; y < by + 32; ++y)
            for (int x = bx; x < bx + 32; ++x) {
              want += tone[size_t(y * w + x)];
              got += p.raw_at(x, y) ? 255 : 0;
            }
          EXPECT_LE(std::abs(want - got) / 1024, 8) << "bpp " << bpp << " flags " << flags << " block " << bx << "," << by;
        }
    }
  }
}

TEST(PicviewTones, RefusedHandles) {
  EXPECT_EQ(ImgBrightness(nullptr, 3), 0);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
  HGLOBAL junk = GlobalAlloc(GHND, 200);
  EXPECT_EQ(ImgToGray(junk), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
  EXPECT_EQ(ImgToBilevel(junk, 1), nullptr);
  EXPECT_EQ(ImgGetStatus(), IMG_NOT_IMAGE);
  GlobalFree(junk);
}

}  // namespace
