// pvshow end to end against Pillow, its failures, and seeded corruptions of DIB headers
// (through ImgFromDIB) and of BMP files (through pvshow): every variant ends with a
// clear status or exit code, no crash and no leak.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "imaging/picview/tests/fixtures.h"
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

TEST(Pvshow, GivesPillowsDecodeOfTheBmp) {
  qm::test::TempDir dir("qm-pvshow-");
  std::string source = dir / "source.png";
  ASSERT_TRUE(convert("-size 11x7 plasma:fractal -seed 5 " + source));
  struct Case {
    const char* options;  // ImageMagick's
    const char* format;
    const char* screen;   // pvshow's
  } cases[] = {
      {"", "BMP3", ""},
      {"", "BMP", ""},
      {"", "BMP2", ""},
      {"-define bmp:subtype=RGB565", "BMP", ""},
      {"-type palette", "BMP3", ""},
      {"-type palette", "BMP3", "--screen palette:256"},
      {"-colors 12 -type palette", "BMP3", "--screen palette:16"},
      {"-monochrome", "BMP3", "--screen palette:2"},
      {"", "BMP3", "--printer"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string bmp = dir / ("in" + std::to_string(n) + ".bmp"), png = dir / ("out" + std::to_string(n) + ".png");
    ++n;
    std::string name = std::string(c.options) + " " + c.format + " " + c.screen;
    ASSERT_TRUE(convert(source + " -compress None " + c.options + " " + c.format + ":" + bmp)) << name;
    std::string out;
    ASSERT_EQ(run(bmp + " " + c.screen + " --out " + png, &out), 0) << name << ": " << out;
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    std::vector<uint8_t> want = pillow_rgb(bmp, &w1, &h1);
    ASSERT_FALSE(want.empty()) << name;
    std::vector<uint8_t> got = pillow_rgb(png, &w2, &h2);
    EXPECT_EQ(w2, 11);
    EXPECT_EQ(h2, 7);
    ASSERT_EQ(got.size(), want.size()) << name;
    int tolerance = name.find("RGB565") != std::string::npos ? 4 : 0;
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_LE(std::abs(int(got[i]) - int(want[i])), tolerance) << name << " byte " << i;
  }
}

TEST(Pvshow, FailuresAreReportedByExitCode) {
  qm::test::TempDir dir("qm-pvshow-");
  std::string rle = dir / "rle.bmp";
  ASSERT_TRUE(convert("-size 8x4 gradient:red-blue -type palette -compress RLE BMP3:" + rle));
  struct Case {
    std::string args;
    int want;
    const char* says;
  } cases[] = {
      {"", 2, "usage"},
      {"a --screen palette:1 --out b", 2, "usage"},
      {"a --bogus --out b", 2, "usage"},
      {"a --scale 1 --out b", 2, "usage"},
      {"a --src 1,2,3 --out b", 2, "usage"},
      {"a", 2, "usage"},
      {dir / "missing.bmp --out " + dir / "out.png", 1, "cannot read"},
      {rle + " --out " + dir / "out.png", 1, "not a BMP file that can be shown"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(run(c.args, &out), c.want) << c.args;
    EXPECT_NE(out.find(c.says), std::string::npos) << c.args << ": " << out;
  }
}

TEST(PicviewRobustness, CorruptedDibHeadersGiveAClearStatus) {
  QmScreenKind k{0, 0, 16, 16};
  ASSERT_TRUE(QmSetScreen(&k));
  qm::test::VariantTrace trace;
  int blocks = QmLiveGlobalBlocks(), objects = QmLiveGdiObjects();
  for (int bpp : {1, 4, 8, 24}) {
    std::vector<uint8_t> good = dib_bytes(6, 5, bpp, uint32_t(bpp));
    size_t header = 40 + (bpp <= 8 ? 4u << bpp : 0);
    qm::test::Corruptor corrupt(uint32_t(1000 + bpp));
    for (int v = 0; v < 400; ++v) {
      std::string bytes(good.begin(), good.end());
      qm::test::Edits edits = corrupt.any(header);
      trace.set("dib" + std::to_string(bpp), edits);
      qm::test::apply_edits(bytes, edits);
      HGLOBAL dib = to_global(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      HIMG img = ImgFromDIB(dib);
      if (!img) {
        EXPECT_EQ(ImgGetStatus(), IMG_BAD_ARGUMENT) << qm::test::describe(edits);
        GlobalFree(dib);
        continue;
      }
      Canvas c(6, 5);
      RECT dest{0, 0, 5, 4};
      EXPECT_EQ(ImgDrawImage(img, c.dc, &dest, nullptr), IMG_OK) << qm::test::describe(edits);
      HPALETTE pal = ImgGetPalette(img);
      if (pal) DeleteObject(pal);
      EXPECT_EQ(ImgClose(img), 1);
    }
  }
  EXPECT_EQ(QmLiveGlobalBlocks(), blocks);
  EXPECT_EQ(QmLiveGdiObjects(), objects);
}

TEST(PicviewRobustness, CorruptedBmpFilesThroughTheReaderAndImgFromDIB) {
  qm::test::TempDir dir("qm-pvshow-");
  std::string source = dir / "source.png";
  ASSERT_TRUE(convert("-size 6x3 plasma:fractal -seed 4 " + source));
  QmScreenKind k{0, 0, 8, 8};
  ASSERT_TRUE(QmSetScreen(&k));
  qm::test::VariantTrace trace;
  int blocks = QmLiveGlobalBlocks(), objects = QmLiveGdiObjects();
  const char* kinds[] = {"BMP3:", "BMP:", "BMP2:", "-type palette BMP3:", "-define bmp:subtype=RGB565 BMP:"};
  int k_index = 0;
  for (const char* kind : kinds) {
    std::string good_path = dir / ("good" + std::to_string(k_index++) + ".bmp");
    ASSERT_TRUE(convert(source + " -compress None " + kind + good_path)) << kind;
    std::string good = qm::test::read_file(good_path);
    qm::test::Corruptor corrupt(uint32_t(50 + k_index));
    for (int v = 0; v < 300; ++v) {
      std::string bytes = good;
      qm::test::Edits edits = corrupt.any(std::min<size_t>(bytes.size(), 14 + 124 + 16));
      trace.set(kind, edits);
      qm::test::apply_edits(bytes, edits);
      std::string path = dir / "variant.bmp";
      qm::test::write_file(path, bytes);
      HGLOBAL dib = nullptr;
      int32_t r = QmReadBmpFile(path.c_str(), &dib);
      if (r != QMGDI_FILE_OK) {
        EXPECT_EQ(r, QMGDI_FILE_BAD) << kind << " " << qm::test::describe(edits);
        EXPECT_EQ(dib, nullptr);
        continue;
      }
      HIMG img = ImgFromDIB(dib);
      if (!img) {
        EXPECT_EQ(ImgGetStatus(), IMG_BAD_ARGUMENT) << kind << " " << qm::test::describe(edits);
        GlobalFree(dib);
        continue;
      }
      Canvas c(6, 3);
      RECT dest{0, 0, 5, 2};
      EXPECT_EQ(ImgDrawImage(img, c.dc, &dest, nullptr), IMG_OK);
      ImgClose(img);
    }
  }
  EXPECT_EQ(QmLiveGlobalBlocks(), blocks);
  EXPECT_EQ(QmLiveGdiObjects(), objects);
}

TEST(PicviewRobustness, CorruptedBmpFilesThroughPvshow) {
  qm::test::TempDir dir("qm-pvshow-");
  std::string source = dir / "source.png";
  ASSERT_TRUE(convert("-size 5x4 plasma:fractal -seed 2 " + source));
  const char* kinds[] = {"BMP3", "BMP", "BMP2"};
  for (const char* kind : kinds) {
    std::string good_path = dir / (std::string(kind) + ".bmp");
    ASSERT_TRUE(convert(source + " -compress None -type palette " + kind + ":" + good_path));
    std::string good = qm::test::read_file(good_path);
    qm::test::Corruptor corrupt(7);
    for (int v = 0; v < 25; ++v) {
      std::string bytes = good;
      qm::test::Edits edits = corrupt.any(std::min<size_t>(bytes.size(), 14 + 124 + 16));
      qm::test::apply_edits(bytes, edits);
      std::string path = dir / "variant.bmp";
      qm::test::write_file(path, bytes);
      std::string out;
      int code = run(path + " --out " + dir / "variant.png", &out);
      EXPECT_TRUE(code == 0 || (code == 1 && out.find("pvshow: ") == 0))
          << kind << " " << qm::test::describe(edits) << ": exit " << code << "\n" << out;
    }
  }
}

}  // namespace
