// The image display class: its edge cases through pvshow (one process per screen, as
// the screen's colour count is asked once per process), Display2, a second Display
// without Initial, a C caller that loads libpicview.so with dlopen, and seeded corrupt
// DIBs with random settings through the class and through pvshow, and a table of hostile
// rectangles, scales and rotations through the class.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <climits>
#include <optional>
#include <set>

#include "imaging/picview/picview.h"
#include "imaging/picview/tests/ops_fixtures.h"
#include "testsupport/corrupt.h"

using namespace picview_test;

namespace {

const std::string kPvshow = std::string(QM_DIST_DIR) + "/pvshow";

int run(const std::string& args, std::string* out = nullptr) {
  std::string text;
  int status = qm::test::command_output(kPvshow + " " + args + " 2>&1", text);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t coded(int x, int y) { return uint32_t(x * 9) << 16 | uint32_t(y * 9) << 8 | 0x80; }

class PicviewDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    HIMG img = make_image(13, 9, 24, coded);
    ASSERT_NE(img, nullptr);
    ASSERT_TRUE(save_bmp(img, dir / "in.bmp"));
    source = pixels_of(img);
    ImgClose(img);
  }
  // pvshow's picture with the given options.
  Pixels show(const std::string& options) {
    std::string out;
    int code = run(dir / "in.bmp " + options + " --out " + dir / "out.png", &out);
    EXPECT_EQ(code, 0) << options << ": " << out;
    return code == 0 ? decode(dir / "out.png") : Pixels{};
  }
  qm::test::TempDir dir{"qm-picview-display-"};
  Pixels source;
};

TEST_F(PicviewDisplay, SettingsThatChangeNothing) {
  Pixels plain = show("");
  ASSERT_EQ(plain.w, 13);
  ASSERT_EQ(plain.h, 9);
  EXPECT_EQ(plain.rgb, source.rgb);
  const char* same[] = {"--src 0,0,13,9", "--scale 1/1",  "--scale 0/1",     "--scale 1/0",     "--scale -2/1",
                        "--rotate 0",     "--rotate 36000", "--bright 0",    "--gamma 10",      "--gamma 99",
                        "--dither",       "--dither --screen truecolor", "--printer", "--rop 0xCC0020"};
  for (const char* o : same) EXPECT_EQ(show(o).rgb, source.rgb) << o;
}

TEST_F(PicviewDisplay, CropScaleRotateAndTones) {
  Pixels crop = show("--src 2,1,9,7");
  ASSERT_EQ(crop.w, 7);
  ASSERT_EQ(crop.h, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(crop.at(x, y), source.at(x + 2, y + 1));

  Pixels twice = show("--scale 2/1");
  Pixels pil = pillow("resize " + dir / "in.bmp 26 18");
  EXPECT_EQ(twice.rgb, pil.rgb);
  Pixels third = show("--scale 1/3");
  EXPECT_EQ(third.w, 4);
  EXPECT_EQ(third.h, 3);
  // A size that truncates to 0 becomes 1.
  Pixels tiny = show("--scale 1/100");
  EXPECT_EQ(tiny.w, 1);
  EXPECT_EQ(tiny.h, 1);
  // A crop that fails (the rectangle reaches outside) leaves the image as it was.
  EXPECT_EQ(show("--src 0,0,20,9 --size 13,9").rgb, source.rgb);

  ASSERT_TRUE(convert(dir / "in.bmp -rotate -90 " + dir / "r90.png"));
  EXPECT_EQ(show("--rotate 9000").rgb, decode(dir / "r90.png").rgb);
  EXPECT_EQ(show("--rotate 45000").rgb, decode(dir / "r90.png").rgb);
  ASSERT_TRUE(convert(dir / "in.bmp -rotate 180 " + dir / "r180.png"));
  EXPECT_EQ(show("--rotate 18000").rgb, decode(dir / "r180.png").rgb);

  Pixels bright = show("--bright 300");
  for (uint32_t c : bright.rgb) ASSERT_EQ(c, 0xFFFFFFu);
  Pixels dark = show("--bright -40 --gamma 30");
  uint8_t g[256];
  ImgGammaTable(30, g);
  for (size_t i = 0; i < source.rgb.size(); ++i)
    for (int s = 0; s < 24; s += 8) {
      int want = ImgClamp(int32_t(g[source.rgb[i] >> s & 255]) - 40);
      ASSERT_EQ(int(dark.rgb[i] >> s & 255), want) << i;
    }
}

TEST_F(PicviewDisplay, DitherOnPaletteScreens) {
  for (int n : {16, 64, 256}) {
    Pixels p = show("--dither --screen palette:" + std::to_string(n));
    ASSERT_EQ(p.rgb.size(), source.rgb.size());
    std::set<uint32_t> colours(p.rgb.begin(), p.rgb.end());
    EXPECT_LE(colours.size(), size_t(n)) << n;
  }
  // Two colours: the bilevel conversion.
  Pixels two = show("--dither --screen palette:2");
  for (uint32_t c : two.rgb) ASSERT_TRUE(c == 0 || c == 0xFFFFFF) << std::hex << c;
}

TEST_F(PicviewDisplay, OneBitImagesReduceToGray) {
  HIMG one = make_image(8, 6, 1, [](int x, int y) { return uint32_t((x + y) & 1); });
  ASSERT_TRUE(save_bmp(one, dir / "one.bmp"));
  ImgClose(one);
  std::string out;
  ASSERT_EQ(run(dir / "one.bmp --scale 1/2 --out " + dir / "gray.png", &out), 0) << out;
  Pixels p = decode(dir / "gray.png");
  ASSERT_EQ(p.w, 4);
  ASSERT_EQ(p.h, 3);
  // Each output pixel counts a 2 x 2 checker: half white, 4-bit gray 7 (0x77).
  for (uint32_t c : p.rgb) EXPECT_EQ(c, 0x777777u);
}

TEST_F(PicviewDisplay, Display2DrawsTheSameIntoBothSurfaces) {
  std::string out;
  ASSERT_EQ(run(dir / "in.bmp --scale 3/2 --rotate 3000 --out " + dir / "a.png --out " + dir / "b.png", &out), 0) << out;
  Pixels a = decode(dir / "a.png"), b = decode(dir / "b.png");
  ASSERT_FALSE(a.rgb.empty());
  EXPECT_EQ(a.rgb, b.rgb);
  // The rotated picture has a white background in its corners.
  EXPECT_EQ(a.at(0, 0), 0xFFFFFFu);
}

TEST(PicviewDisplayClass, StateAcrossDisplays) {
  CRVImageDisplay d;
  EXPECT_EQ(d.m_scaleNumerator, 1);
  EXPECT_EQ(d.m_scaleDenominator, 1);
  EXPECT_EQ(d.m_rotation, 0u);
  EXPECT_EQ(d.m_ditherOn | d.m_gammaOn | d.m_gammaValue | d.m_brightnessOn | d.m_brightnessValue, 0);
  int blocks = QmLiveGlobalBlocks(), objects = QmLiveGdiObjects();
  {
    HIMG img = make_image(4, 3, 8, [](int x, int y) { return uint32_t(x * 3 + y); });
    std::vector<uint8_t> packed;
    auto* r = static_cast<ImgRecord*>(GlobalLock(img));
    const BITMAPINFOHEADER& h = r->pixels->info->bmiHeader;
    packed.resize(ImgDibHeaderSize(&h) + ImgDibImageSize(&h));
    std::memcpy(packed.data(), r->pixels->info, ImgDibHeaderSize(&h));
    std::memcpy(packed.data() + ImgDibHeaderSize(&h), r->pixels->bits, ImgDibImageSize(&h));
    GlobalUnlock(img);
    ImgClose(img);
    HGLOBAL dib = to_global(packed);
    d.Initial(dib);
    GlobalFree(dib);
    EXPECT_EQ(d.m_width, 4);
    EXPECT_EQ(d.m_height, 3);
    EXPECT_EQ(d.m_bitsPerSample, 8);
    EXPECT_EQ(d.m_samplesPerPixel, 1);
    Canvas c(4, 3);
    RECT dest{0, 0, 3, 2};
    d.Display(CRVDC{c.dc}, nullptr, &dest, 0, SRCCOPY);
    EXPECT_NE(c.px[0], 0xFFFFFFFFu);
    // The copy is consumed: a second Display draws nothing.
    std::memset(c.px, 0xFF, 4 * 3 * 4);
    d.Display(CRVDC{c.dc}, nullptr, &dest, 0, SRCCOPY);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(c.px[i], 0xFFFFFFFFu);
    // A block too short for its header is not taken.
    HGLOBAL tiny = to_global({40, 0, 0, 0, 4, 0});
    d.Initial(tiny);
    GlobalFree(tiny);
    d.Display(CRVDC{c.dc}, nullptr, &dest, 0, SRCCOPY);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(c.px[i], 0xFFFFFFFFu);
    d.Initial(nullptr);
  }
  EXPECT_EQ(QmLiveGlobalBlocks(), blocks);
  EXPECT_EQ(QmLiveGdiObjects(), objects);
}

TEST(PicviewDisplayClass, CCallerThroughDlopen) {
  std::string out;
  std::string client = std::string(QM_DIST_DIR) + "/../tests/picview_c_client";
  ASSERT_EQ(qm::test::command_output(client + " " + QM_DIST_DIR + "/libpicview.so 2>&1", out), 0) << out;
  EXPECT_EQ(out,
            "constructed 1/1 0\n"
            "initial 2x2 8 3\n"
            "0000FF 0000FF FFFFFF FFFFFF\n"
            "0000FF 0000FF FFFFFF FFFFFF\n"
            "FF0000 FF0000 00FF00 00FF00\n"
            "FF0000 FF0000 00FF00 00FF00\n"
            "leaks 0 0\n");
}

// Hostile rectangles, scales and rotations through the class (the test build stops at
// any undefined behaviour): each gives the picture of a plain setting it stands for, or
// draws nothing. A rectangle that is empty, inverted, outside the image or wider than
// 32 bits is no crop; a scale with a part of 0 or less, or one that would make a picture
// beyond 2 GiB, is no scale; an angle is taken within one turn.
TEST(PicviewRobustness, HostileRectanglesScalesAndRotations) {
  constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  struct Settings {
    bool crop = false;
    RECT src{};
    RECT dest{0, 0, 15, 15};
    int32_t num = 1, den = 1;
    uint32_t rotation = 0;
    int32_t bright = 0;
  };
  auto crop = [](RECT r) { Settings s; s.crop = true; s.src = r; return s; };
  auto dest = [](RECT r) { Settings s; s.dest = r; return s; };
  auto scale = [](int32_t n, int32_t d) { Settings s; s.num = n; s.den = d; return s; };
  auto turn = [](uint32_t a) { Settings s; s.rotation = a; return s; };
  auto bright = [](int32_t b) { Settings s; s.bright = b; return s; };
  const Settings plain;
  struct Case {
    const char* name;
    Settings hostile;
    std::optional<Settings> same_as;  // none: nothing is drawn
  } cases[] = {
      {"right edge INT32_MIN", crop({10, kMax, kMin, 1}), plain},
      {"whole 32-bit plane", crop({kMin, kMin, kMax, kMax}), plain},
      {"inverted plane", crop({kMax, kMax, kMin, kMin}), plain},
      {"left of the image", crop({-5, -5, 3, 3}), plain},
      {"empty", crop({0, 0, 0, 0}), plain},
      {"at INT32_MAX", crop({kMax - 1, 0, kMax, 1}), plain},
      {"at INT32_MIN", crop({kMin, 0, kMin + 1, 1}), plain},
      {"tall as 32 bits", crop({0, kMin, 13, kMax}), plain},
      {"last pixel", crop({12, 8, 13, 9}), crop({12, 8, 13, 9})},
      // The drawing layer holds sizes to 2^30 pixels: the picture ends left of the surface.
      {"destination over the plane", dest({kMin, kMin, kMax, kMax}), std::nullopt},
      {"destination far right", dest({kMax - 1, kMax - 1, kMax, kMax}), std::nullopt},
      {"destination far left", dest({kMin, kMin, kMin + 3, kMin + 3}), std::nullopt},
      {"scale 7/0", scale(7, 0), plain},
      {"scale 0/7", scale(0, 7), plain},
      {"scale INT32_MIN/-1", scale(kMin, -1), plain},
      {"scale -7/-2", scale(-7, -2), plain},
      {"scale INT32_MAX/1", scale(kMax, 1), plain},
      {"scale INT32_MAX/INT32_MIN", scale(kMax, kMin), plain},
      {"scale INT32_MAX/(INT32_MAX-1)", scale(kMax, kMax - 1), plain},
      {"scale 1/INT32_MAX", scale(1, kMax), scale(1, 100)},
      {"rotation 119304 turns", turn(36000u * 119304u), plain},
      {"rotation 4294962000", turn(4294962000u), turn(18000)},
      {"rotation UINT32_MAX", turn(UINT32_MAX), turn(UINT32_MAX % 36000)},
      {"rotation 2^31", turn(0x80000000u), turn(0x80000000u % 36000)},
      {"brightness INT32_MAX", bright(kMax), bright(255)},
      {"brightness INT32_MIN", bright(kMin), bright(-255)},
  };
  int blocks = QmLiveGlobalBlocks(), objects = QmLiveGdiObjects();
  for (int bpp : {1, 4, 8, 24}) {
    const std::vector<uint8_t> dib = dib_bytes(13, 9, bpp, uint32_t(40 + bpp));
    auto show = [&](const Settings& s, int print_path) {
      CRVImageDisplay d;
      d.SetScale(s.num, s.den);
      d.SetRotate(s.rotation);
      d.EnableBrightness(s.bright != 0, s.bright);
      HGLOBAL g = to_global(dib);
      d.Initial(g);
      GlobalFree(g);
      Canvas c(16, 16);
      RECT src = s.src, dst = s.dest;
      d.Display(CRVDC{c.dc}, s.crop ? &src : nullptr, &dst, print_path, SRCCOPY);
      return c.rgb();
    };
    const std::vector<uint8_t> blank = Canvas(16, 16).rgb();
    ASSERT_NE(show(plain, 0), blank);
    for (const Case& c : cases)
      for (int print_path : {0, 1})
        EXPECT_EQ(show(c.hostile, print_path), c.same_as ? show(*c.same_as, print_path) : blank)
            << c.name << ", " << bpp << " bits, print path " << print_path;
  }
  EXPECT_EQ(QmLiveGlobalBlocks(), blocks);
  EXPECT_EQ(QmLiveGdiObjects(), objects);
}

TEST(PicviewRobustness, CorruptDibsWithRandomSettingsThroughTheClass) {
  qm::test::VariantTrace trace;
  int blocks = QmLiveGlobalBlocks(), objects = QmLiveGdiObjects();
  std::mt19937 rng(77);
  for (int bpp : {1, 4, 8, 24}) {
    std::vector<uint8_t> good = dib_bytes(7, 5, bpp, uint32_t(bpp));
    size_t header = 40 + (bpp <= 8 ? 4u << bpp : 0);
    qm::test::Corruptor corrupt(uint32_t(300 + bpp));
    for (int v = 0; v < 150; ++v) {
      std::string bytes(good.begin(), good.end());
      qm::test::Edits edits = corrupt.any(header + 8);
      trace.set("dib" + std::to_string(bpp), edits);
      qm::test::apply_edits(bytes, edits);
      HGLOBAL dib = to_global(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      CRVImageDisplay d;
      d.SetScale(int32_t(rng() % 9) - 1, int32_t(rng() % 5) - 1);
      d.SetRotate(rng() % 3 ? uint32_t(rng() % 40000) : uint32_t(rng()));
      d.EnableGamma(int32_t(rng() & 1), int32_t(rng() % 70) - 5);
      d.EnableBrightness(int32_t(rng() & 1), int32_t(rng()));
      d.Initial(dib);
      GlobalFree(dib);
      // Pictures that a corruption made huge are left to pvshow's size check.
      if (int64_t(d.m_width) * d.m_height > 4096 || d.m_width < 0 || d.m_height < 0) continue;
      Canvas c(16, 16);
      RECT src{int32_t(rng() % 9) - 1, int32_t(rng() % 7) - 1, int32_t(rng() % 9), int32_t(rng() % 7)};
      RECT dest{0, 0, 15, 15};
      d.Display(CRVDC{c.dc}, rng() & 1 ? &src : nullptr, &dest, int(rng() & 1), SRCCOPY);
    }
  }
  EXPECT_EQ(QmLiveGlobalBlocks(), blocks);
  EXPECT_EQ(QmLiveGdiObjects(), objects);
}

TEST(PicviewRobustness, CorruptBmpsWithRandomSettingsThroughPvshow) {
  qm::test::TempDir dir("qm-picview-display-");
  HIMG img = make_image(6, 5, 8, [](int x, int y) { return uint32_t(x * 40 + y); });
  ASSERT_TRUE(save_bmp(img, dir / "good.bmp"));
  ImgClose(img);
  std::string good = qm::test::read_file(dir / "good.bmp");
  qm::test::Corruptor corrupt(11);
  std::mt19937 rng(12);
  for (int v = 0; v < 30; ++v) {
    std::string bytes = good;
    qm::test::Edits edits = corrupt.any(14 + 40 + 16);
    qm::test::apply_edits(bytes, edits);
    qm::test::write_file(dir / "variant.bmp", bytes);
    std::string options = " --scale " + std::to_string(rng() % 7) + "/" + std::to_string(rng() % 4) + " --rotate " +
                          std::to_string(rng() % 36001) + " --gamma " + std::to_string(rng() % 60) + " --bright " +
                          std::to_string(int(rng() % 601) - 300) + (rng() & 1 ? " --dither --screen palette:16" : "");
    std::string out;
    int code = run(dir / "variant.bmp" + options + " --out " + dir / "variant.png", &out);
    EXPECT_TRUE(code == 0 || (code == 1 && out.find("pvshow: ") == 0))
        << qm::test::describe(edits) << options << ": exit " << code << "\n" << out;
  }
}

}  // namespace
