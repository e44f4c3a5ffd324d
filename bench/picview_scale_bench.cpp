// Speed of picview's ImgCopy scaling (nearest pixel) on 24- and 8-bit images of
// 24 MPixels at 1/3, 1/2, 2 and 3, against Pillow's resize(NEAREST) on the same sizes
// in the same run, with ImageMagick's -sample printed beside them. Plain program (no
// Google Benchmark); prints output MPixels per second, the median of three runs.
// Usage: picview_scale_bench [MPIXELS]   (default 24)
// Builds on imaging/picview; the oracles are /usr/bin/python3 with python3-pil and
// ImageMagick's convert-im6.q16.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/picview/img_ops.h"

namespace {

HIMG make(int w, int h, int bpp) {
  size_t stride = size_t(((w * bpp + 31) / 32) * 4), table = bpp == 8 ? 1024 : 0;
  HGLOBAL g = GlobalAlloc(GHND, 40 + table + stride * size_t(h));
  auto* p = static_cast<uint8_t*>(GlobalLock(g));
  BITMAPINFOHEADER hd{40, w, h, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(p, &hd, 40);
  for (size_t i = 0; i < table; ++i) p[40 + i] = uint8_t(i / 4);
  uint32_t seed = 1;
  for (size_t i = 0; i < stride * size_t(h); ++i) p[40 + table + i] = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
  GlobalUnlock(g);
  return ImgFromDIB(g);
}

double median3(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Seconds of the run of a shell command that prints its own timing as a number.
double command_seconds(const std::string& cmd) {
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return -1;
  double s = -1;
  if (std::fscanf(f, "%lf", &s) != 1) s = -1;
  pclose(f);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  double mp = argc > 1 ? std::atof(argv[1]) : 24.0;
  const int w = int(std::max(16.0, std::sqrt(mp * 1e6 * 3.0 / 2.0))), h = int(mp * 1e6 / w);
  const struct {
    const char* name;
    int num, den;
  } factors[] = {{"1/3", 1, 3}, {"1/2", 1, 2}, {"2", 2, 1}, {"3", 3, 1}};
  std::printf("source %dx%d (%.1f MPixels); output MPixels/s, median of 3\n", w, h, double(w) * h / 1e6);
  std::printf("%-6s %-6s %12s %12s %12s %8s\n", "depth", "factor", "ImgCopy", "Pillow", "IM -sample", "ratio");
  for (int bpp : {24, 8}) {
    HIMG img = make(w, h, bpp);
    if (!img) {
      std::fprintf(stderr, "cannot make the source image\n");
      return 1;
    }
    for (const auto& f : factors) {
      const int nw = int(int64_t(w) * f.num / f.den), nh = int(int64_t(h) * f.num / f.den);
      const double out_mp = double(nw) * nh / 1e6;
      std::vector<double> ours;
      for (int r = 0; r < 3; ++r) {
        auto start = std::chrono::steady_clock::now();
        HIMG out = ImgCopy(img, nw, nh, nullptr, bpp == 24 ? uint32_t(IMG_COPY_COLOUR) : 0u);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!out) {
          std::fprintf(stderr, "ImgCopy failed: status %d\n", ImgGetStatus());
          return 1;
        }
        ImgClose(out);
        ours.push_back(s);
      }
      const char* mode = bpp == 24 ? "RGB" : "L";
      std::string py = "/usr/bin/python3 -c \"import time; from PIL import Image; im = Image.new('" + std::string(mode) +
                       "', (" + std::to_string(w) + ", " + std::to_string(h) +
                       "), 7); t = []\nfor _ in range(3):\n s = time.perf_counter(); im.resize((" + std::to_string(nw) +
                       ", " + std::to_string(nh) +
                       "), Image.NEAREST); t.append(time.perf_counter() - s)\nprint(sorted(t)[1])\" 2>/dev/null";
      double pil = command_seconds(py);
      std::string im = "/usr/bin/convert-im6.q16 -size " + std::to_string(w) + "x" + std::to_string(h) + " xc:gray" +
                       (bpp == 8 ? " -type grayscale" : "") + " -sample " + std::to_string(nw) + "x" +
                       std::to_string(nh) + "! null: 2>/dev/null";
      auto im_start = std::chrono::steady_clock::now();
      double imagick = std::system(im.c_str()) == 0
                           ? std::chrono::duration<double>(std::chrono::steady_clock::now() - im_start).count()
                           : -1;
      double ours_rate = out_mp / median3(ours);
      double pil_rate = pil > 0 ? out_mp / pil : 0;
      std::printf("%-6d %-6s %12.1f %12.1f %12.1f %8.2f\n", bpp, f.name, ours_rate, pil_rate,
                  imagick > 0 ? out_mp / imagick : 0.0, pil_rate > 0 ? ours_rate / pil_rate : 0.0);
      std::fflush(stdout);
    }
    ImgClose(img);
  }
  return 0;
}
