// Helpers of the pixel-operation tests: images made from a pixel function, their
// pixels read back as RGB (top row first), BMP files of them for the oracles, and
// Pillow's answers through pil_ops.py.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "imaging/picview/img_ops.h"
#include "imaging/picview/tests/fixtures.h"

namespace picview_test {

// A 1/4/8/24-bit image whose pixel at (x, y from the top) is f(x, y): an index below 24
// bits (into the given table, black past its end, or a gray ramp), else 0xRRGGBB (the packed form of the
// blue, green, red bytes).
inline HIMG make_image(int w, int h, int bpp, const std::function<uint32_t(int, int)>& f,
                       const std::vector<uint32_t>& table = {}) {
  std::vector<uint8_t> d(40);
  uint32_t entries = bpp <= 8 ? 1u << bpp : 0;
  BITMAPINFOHEADER hd{40, w, h, 1, WORD(bpp), BI_RGB, 0, 2835, 2835, 0, 0};
  std::memcpy(d.data(), &hd, 40);
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t c = i < table.size() ? table[i] : table.empty() ? (i * 255 / (entries - 1)) * 0x010101u : 0;
    d.insert(d.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  }
  size_t stride = size_t(((w * bpp + 31) / 32) * 4), head = d.size();
  d.resize(head + stride * size_t(h));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = d.data() + head + stride * size_t(h - 1 - y);
    for (int x = 0; x < w; ++x) {
      uint32_t v = f(x, y);
      ImgPixelSet(row, x, bpp, v);
    }
  }
  HGLOBAL g = to_global(d);
  HIMG img = ImgFromDIB(g);
  if (!img) GlobalFree(g);
  return img;
}

struct Pixels {
  int w = 0, h = 0, bpp = 0;
  std::vector<uint32_t> raw;  // index or 0xRRGGBB
  std::vector<uint32_t> rgb;  // 0xRRGGBB
  std::vector<uint32_t> table;
  uint32_t at(int x, int y) const { return rgb[size_t(y) * size_t(w) + size_t(x)]; }
  uint32_t raw_at(int x, int y) const { return raw[size_t(y) * size_t(w) + size_t(x)]; }
};

inline Pixels pixels_of(HIMG img) {
  Pixels p;
  auto* r = static_cast<ImgRecord*>(GlobalLock(img));
  const ImgDib* d = r->pixels;
  const BITMAPINFOHEADER& h = d->info->bmiHeader;
  p.w = h.biWidth, p.h = h.biHeight, p.bpp = h.biBitCount;
  for (uint32_t i = 0; i < ImgDibColours(&h); ++i) {
    const RGBQUAD& q = d->info->bmiColors[i];
    p.table.push_back(uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue);
  }
  for (int y = 0; y < p.h; ++y) {
    const uint8_t* row = ImgRowFromTop(d, y);
    for (int x = 0; x < p.w; ++x) {
      uint32_t v = ImgPixelGet(row, x, p.bpp);
      p.raw.push_back(v);
      p.rgb.push_back(p.bpp == 24 ? v : v < p.table.size() ? p.table[v] : 0);
    }
  }
  GlobalUnlock(img);
  return p;
}

// Writes an image as a BMP file.
inline bool save_bmp(HIMG img, const std::string& path) {
  auto* r = static_cast<ImgRecord*>(GlobalLock(img));
  const ImgDib* d = r->pixels;
  const BITMAPINFOHEADER& h = d->info->bmiHeader;
  size_t head = ImgDibHeaderSize(&h), bits = ImgDibImageSize(&h);
  std::vector<uint8_t> packed(head + bits);
  std::memcpy(packed.data(), d->info, head);
  std::memcpy(packed.data() + head, d->bits, bits);
  GlobalUnlock(img);
  return QmWriteBmpFile(path.c_str(), reinterpret_cast<const BITMAPINFO*>(packed.data()), packed.size()) ==
         QMGDI_FILE_OK;
}

// Pillow's answer of an image operation (pil_ops.py) as 0xRRGGBB pixels.
inline Pixels pillow(const std::string& args) {
  std::string out;
  Pixels p;
  int status = qm::test::command_output(
      "/usr/bin/python3 " QM_SOURCE_DIR "/imaging/picview/tests/pil_ops.py " + args + " 2>/dev/null", out);
  if (status != 0 || std::sscanf(out.c_str(), "%d %d", &p.w, &p.h) != 2) return p;
  std::string hex = out.substr(out.find('\n') + 1);
  for (size_t i = 0; i + 5 < hex.size() && hex[i] != '\n'; i += 6)
    p.rgb.push_back(uint32_t(std::stoul(hex.substr(i, 6), nullptr, 16)));
  p.bpp = 24;
  p.raw = p.rgb;
  return p;
}

// Decodes an image file with Pillow as 0xRRGGBB pixels.
inline Pixels decode(const std::string& path) {
  Pixels p;
  std::vector<uint8_t> rgb = pillow_rgb(path, &p.w, &p.h);
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) p.rgb.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
  p.raw = p.rgb;
  p.bpp = 24;
  return p;
}

// Closes an image handle at the end of a scope.
struct Closer {
  HIMG img;
  ~Closer() {
    if (img) ImgClose(img);
  }
};

}  // namespace picview_test
