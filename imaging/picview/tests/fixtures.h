// Shared helpers of picview's tests: packed DIBs built in global blocks, a 32-bit
// canvas to draw on, Pillow's decode of an image file, and ImageMagick by its Debian
// path.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/picview/img_record.h"
#include "testsupport/test_files.h"

namespace picview_test {

inline const char* kConvert = "/usr/bin/convert-im6.q16";

// Header, colour table (2^bpp random entries for palette depths), random bits.
inline std::vector<uint8_t> dib_bytes(int w, int h, int bpp, uint32_t seed, uint32_t used = 0) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> d(40);
  BITMAPINFOHEADER hd{40, w, h, 1, WORD(bpp), BI_RGB, 0, 0, 0, used, 0};
  std::memcpy(d.data(), &hd, 40);
  uint32_t entries = bpp <= 8 ? (used ? used : 1u << bpp) : 0;
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t c = rng();
    d.insert(d.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  }
  size_t stride = size_t(((w * bpp + 31) / 32) * 4);
  for (size_t i = 0; i < stride * size_t(h); ++i) {
    uint8_t b = uint8_t(rng());
    // Palette indexes stay inside the table.
    if (bpp == 8 && entries) b = uint8_t(b % entries);
    if (bpp == 4 && entries) b = uint8_t(((b >> 4) % entries) << 4 | ((b & 15) % entries));
    d.push_back(b);
  }
  return d;
}

inline HGLOBAL to_global(const std::vector<uint8_t>& bytes) {
  HGLOBAL h = GlobalAlloc(GHND, bytes.size());
  if (!bytes.empty()) std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
  else GlobalLock(h);
  GlobalUnlock(h);
  return h;
}

// A 32-bit top-down DIB section in a memory DC, filled white.
struct Canvas {
  HDC dc;
  HBITMAP bm;
  HGDIOBJ old;
  uint32_t* px = nullptr;
  int w, h;
  Canvas(int w_, int h_) : w(w_), h(h_) {
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    px = static_cast<uint32_t*>(bits);
    std::memset(px, 0xFF, size_t(w) * size_t(h) * 4);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  std::vector<uint8_t> rgb() const {
    std::vector<uint8_t> out;
    for (int i = 0; i < w * h; ++i) out.insert(out.end(), {uint8_t(px[i] >> 16), uint8_t(px[i] >> 8), uint8_t(px[i])});
    return out;
  }
};

// Pillow's RGB decode of an image file; empty when it cannot decode it.
inline std::vector<uint8_t> pillow_rgb(const std::string& path, int* w, int* h) {
  std::string out;
  int status = qm::test::command_output(
      "/usr/bin/python3 " QM_SOURCE_DIR "/platform/gdi/tests/pil_decode.py '" + path + "' 2>/dev/null", out);
  std::vector<uint8_t> rgb;
  if (status != 0 || std::sscanf(out.c_str(), "%d %d", w, h) != 2) return rgb;
  std::string hex = out.substr(out.find('\n') + 1);
  for (size_t i = 0; i + 1 < hex.size() && hex[i] != '\n'; i += 2)
    rgb.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return rgb;
}

// Runs ImageMagick; true when it succeeded.
inline bool convert(const std::string& args) {
  std::string out;
  return qm::test::command_output(std::string(kConvert) + " " + args + " 2>&1", out) == 0;
}

}  // namespace picview_test
