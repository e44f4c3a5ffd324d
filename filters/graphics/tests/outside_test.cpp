// TIFF and JPEG through the pixport32 stand-in: files read back by tiffinfo, Pillow and
// djpeg; the settings handed over; the source and sink routines on their own; each
// failure variant of the stand-in answering 18 with no filter library left mapped.
#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "filters/graphics/image_writers.h"
#include "filters/graphics/outside_binding.h"
#include "filters/graphics/tests/gfx_export_fixture.h"
#include "filters/graphics/tests/gfx_fixtures.h"

namespace gfx::test {
namespace {

// A smooth 24-bit picture: (r, g, b) = (4x, 3y, 100).
std::string smooth(uint32_t w, uint32_t h) {
  uint32_t stride = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> bytes(size_t(stride) * h, 0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &bytes[size_t(y) * stride + 3 * x];
      p[0] = 100, p[1] = uint8_t(3 * y), p[2] = uint8_t(4 * x);
    }
  return "section bm\nbitmap " + std::to_string(w) + " " + std::to_string(h) + " 24 0 0\nband " + std::to_string(w) +
         " " + std::to_string(h) + " " + hexs(bytes) + "\nendbitmap\n";
}

std::string expected(uint32_t w, uint32_t h) {
  std::string s = std::to_string(w) + " " + std::to_string(h) + "\n";
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      s += std::to_string(4 * x) + "," + std::to_string(3 * y) + ",100" + (y + 1 == h && x + 1 == w ? "\n" : " ");
  return s;
}

// Filter libraries of the stand-in mapped into this process.
bool standin_mapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("libpixport32.so") != std::string::npos || line.find("/libpx") != std::string::npos) return true;
  return false;
}

using OutsideTest = GfxExportTest;

TEST_F(OutsideTest, TiffReadsBackWithItsResolution) {
  Host host;
  RunResult r = run(smooth(40, 30), KVXEXPORT_TIFF, {}, host);
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("a.tif"), r.bytes);
  std::string info = shell("tiffinfo " + path("a.tif"));
  EXPECT_NE(info.find("Image Width: 40 Image Length: 30"), std::string::npos) << info;
  EXPECT_NE(info.find("Resolution: 72, 72 pixels/inch"), std::string::npos) << info;
  EXPECT_EQ(pillow_rgb(path("a.tif")), expected(40, 30));
  // LZW and resolution through options 20, 23 and 24; tiffcmp finds the same pixels.
  r = run(smooth(40, 30), KVXEXPORT_TIFF, {{KVXOPT_TIFF20, {1}}, {KVXOPT_TIFF23, {300}}, {KVXOPT_TIFF24, {150}}}, host);
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("b.tif"), r.bytes);
  info = shell("tiffinfo " + path("b.tif"));
  EXPECT_NE(info.find("Resolution: 300, 150 pixels/inch"), std::string::npos) << info;
  EXPECT_NE(info.find("LZW"), std::string::npos) << info;
  shell("tiffcp -c none " + path("b.tif") + " " + path("c.tif"));
  EXPECT_EQ(shell("tiffcmp -t " + path("a.tif") + " " + path("c.tif") + " | grep -vi -e resolution -e orientation -e rowsperstrip || true"), "");
  EXPECT_FALSE(standin_mapped());
}

// PSNR of a djpeg decode against the smooth picture.
double psnr(const std::string& jpeg_file, uint32_t w, uint32_t h) {
  std::string ppm = shell("djpeg -pnm " + jpeg_file);
  std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  EXPECT_EQ(ppm.substr(0, head.size()), head);
  if (ppm.size() != head.size() + size_t(w) * h * 3) return 0;
  double se = 0;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(ppm.data()) + head.size() + 3 * (size_t(y) * w + x);
      int want[3] = {int(4 * x), int(3 * y), 100};
      for (int c = 0; c < 3; ++c) se += double(p[c] - want[c]) * (p[c] - want[c]);
    }
  double mse = se / (double(w) * h * 3);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(OutsideTest, JpegDecodesCloseToTheSource) {
  Host host;
  RunResult r = run(smooth(48, 32), KVXEXPORT_JPEG, {}, host);  // quality 100 by default
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("a.jpg"), r.bytes);
  EXPECT_GE(psnr(path("a.jpg"), 48, 32), 40.0);
  size_t best = r.bytes.size();
  r = run(smooth(48, 32), KVXEXPORT_JPEG, {{KVXOPT_JPEGQUALITY, {10}}}, host);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_LT(r.bytes.size(), best);
  EXPECT_FALSE(standin_mapped());
}

TEST_F(OutsideTest, SettingsHandedOver) {
  std::string log = path("settings.log");
  ::setenv("PIXPORT_STANDIN_LOG", log.c_str(), 1);
  ::setenv("QM_PIXPORT_DIR", QM_DIST_DIR, 1);  // this binary's own copy of the binding lies elsewhere
  MemoryIO io;
  std::vector<uint8_t> rows(16, 9);
  auto header = BuildBitmapHeader(16, 0x2180000, 2, 2, nullptr, 0);
  uint32_t options[6] = {100, 0, 0, 0, 72, 72};
  ASSERT_EQ(FilterConversion(&io.io, header.data(), uint32_t(header.size()), rows.data(), 16, KVXEXPORT_TIFF, options),
            KVX_OK);
  EXPECT_EQ(qm::test::read_file(log), "9=0\n10=0\n65=0\n18=3\n11=72\n12=72\n");
  struct Case {
    uint32_t quality, handed;
  } cases[] = {{0, 1}, {150, 100}, {100, 100}, {55, 55}};
  for (const Case& c : cases) {
    std::remove(log.c_str());
    uint32_t opts[6] = {c.quality, 0, 0, 0, 72, 72};
    ASSERT_EQ(FilterConversion(&io.io, header.data(), uint32_t(header.size()), rows.data(), 16, KVXEXPORT_JPEG, opts),
              KVX_OK);
    EXPECT_EQ(opts[0], c.handed);
    EXPECT_EQ(qm::test::read_file(log), "44=242," + std::to_string(c.handed) + "\n");
  }
  EXPECT_EQ(FilterConversion(&io.io, header.data(), uint32_t(header.size()), rows.data(), 16, KVXEXPORT_GIF, options),
            KVXERR_BADPARAM);
  ::unsetenv("PIXPORT_STANDIN_LOG");
  ::unsetenv("QM_PIXPORT_DIR");
}

TEST_F(OutsideTest, FailureVariantsAreEighteenAndUnloadEverything) {
  qm::test::TempDir empty("gfx-nopixport-");
  struct Case {
    const char* fail;
    std::string dir;
    KVXSTATUS status;
  } cases[] = {{"import", "", KVXERR_BADFORMAT},
               {"throw", "", KVXERR_BADFORMAT},
               {"", QM_GFX_MISSING_DIR, KVXERR_BADFORMAT},  // no ImportFile
               {"", empty.dir(), KVXERR_BADFORMAT},          // no pixport32 at all
               {"noflush", "", KVX_OK}};
  for (const Case& c : cases) {
    for (uint32_t type : {KVXEXPORT_TIFF, KVXEXPORT_JPEG}) {
      SCOPED_TRACE(std::string(c.fail) + c.dir + " " + std::to_string(type));
      if (*c.fail) ::setenv("PIXPORT_STANDIN_FAIL", c.fail, 1);
      if (!c.dir.empty()) ::setenv("QM_PIXPORT_DIR", c.dir.c_str(), 1);
      Host host;
      RunResult r = run(smooth(40, 30), type, {{KVXOPT_FALLBACKPICTURE, {1}}}, host);
      ::unsetenv("PIXPORT_STANDIN_FAIL");
      ::unsetenv("QM_PIXPORT_DIR");
      EXPECT_EQ(r.run, c.status);
      EXPECT_FALSE(standin_mapped());
      if (c.status == KVX_OK) {
        // Without the filter's last flush the file is still whole.
        qm::test::write_file(path("whole.pic"), r.bytes);
        EXPECT_EQ(pillow_rgb(path("whole.pic")).substr(0, 6), "40 30\n");
      } else if (type == KVXEXPORT_JPEG) {
        EXPECT_EQ(r.bytes.size(), 283u);  // the placeholder
      }
    }
  }
}

TEST(OutsideRoutines, SourceReadsHeaderThenRows) {
  std::vector<uint8_t> header(54), rows(30);
  for (size_t i = 0; i < header.size(); ++i) header[i] = uint8_t(i);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(200 + i);
  MemorySource s{0, header.data(), 54, rows.data(), 30, 84};
  uint8_t buf[16];
  EXPECT_EQ(SourceReadRoutine(&s, 1, nullptr, 0), 1);
  int32_t at = 50;
  EXPECT_EQ(SourceReadRoutine(&s, 4, &at, 0), 50);
  ASSERT_EQ(SourceReadRoutine(&s, 2, buf, 10), 10);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 10), (std::vector<uint8_t>{50, 51, 52, 53, 200, 201, 202, 203, 204, 205}));
  int32_t zero = 0;
  EXPECT_EQ(SourceReadRoutine(&s, 4, &zero, 2), 83);  // the last byte
  EXPECT_EQ(SourceReadRoutine(&s, 2, buf, 16), 1);
  EXPECT_EQ(buf[0], 229);
  EXPECT_EQ(SourceReadRoutine(&s, 2, buf, 16), 0);
  int32_t back = -4;
  EXPECT_EQ(SourceReadRoutine(&s, 4, &back, 1), 80);
  int32_t far = 84;
  EXPECT_EQ(SourceReadRoutine(&s, 4, &far, 0), -1);
  s.position = 90;
  EXPECT_EQ(SourceReadRoutine(&s, 2, buf, 1), -1);
  EXPECT_EQ(SourceReadRoutine(&s, 3, buf, 1), -1);
  EXPECT_EQ(SourceReadRoutine(&s, 6, buf, 1), 0);
}

TEST(OutsideRoutines, SinkBuffersAndWritesLargePiecesDirectly) {
  MemoryIO io;
  std::vector<uint8_t> buffer(4096);
  OutputSink sink{&io.io, buffer.data(), 4096, 0, KVX_OK};
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
  EXPECT_EQ(SinkWriteRoutine(&sink, 1, nullptr, 0), 1);
  EXPECT_EQ(SinkWriteRoutine(&sink, 3, data.data(), 100), 100);
  EXPECT_TRUE(io.bytes.empty());
  EXPECT_EQ(SinkWriteRoutine(&sink, 3, data.data() + 100, 9900), 9900);
  EXPECT_EQ(io.bytes.size(), 100u + 8192u);  // the held bytes, then two whole pieces
  EXPECT_EQ(SinkWriteRoutine(&sink, 5, nullptr, 0), 0);
  EXPECT_EQ(io.bytes, std::string(data.begin(), data.end()));
  int32_t off = 4;
  EXPECT_EQ(SinkWriteRoutine(&sink, 4, &off, 0), 4);
  uint8_t four[4];
  EXPECT_EQ(SinkWriteRoutine(&sink, 2, four, 4), 4);
  EXPECT_EQ(four[0], data[4]);
  // A short write is -1 and remembered.
  io.budget = 10;
  EXPECT_EQ(SinkWriteRoutine(&sink, 3, data.data(), 5000), -1);
  EXPECT_EQ(sink.failed, KVXERR_SHORTWRITE);
}

TEST(OutsideRoutines, LibraryBesideAPath) {
  EXPECT_EQ(LoadLibraryBeside("/nonexistent/dir/libpxbmpi.so"), nullptr);
  void* lib = LoadLibraryBeside(std::string(QM_GFX_MISSING_DIR) + "/libpxbmpi.so");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(::dlclose(lib), 0);
}

}  // namespace
}  // namespace gfx::test
