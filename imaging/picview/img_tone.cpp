// Tone operations of picview: brightness and gamma in place (on 24-bit pixels or on the
// colour table), and two conversions into new images: gray (an 8-bit ramp image or a
// gray colour table) and bilevel (1 bit, by threshold, ordered dither or Burkes or
// Floyd-Steinberg diffusion through the tone curve). Built on the image handles; called
// by the display class and by colour reduction.
#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/picview/img_ops.h"

const uint8_t kImgToneCurve[256] = {
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   1,   1,   1,   1,   1,   1,   1,   2,   3,   4,   5,   6,
    7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,
    29,  30,  31,  32,  32,  33,  34,  35,  35,  36,  37,  39,  39,  40,  41,  42,  43,  44,  45,  46,  47,  47,
    48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  58,  59,  60,  61,  62,  63,  64,  65,  66,  67,  68,
    69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  80,  81,  82,  83,  85,  86,  87,  88,  89,  90,  91,  93,
    94,  95,  96,  97,  99,  100, 101, 102, 103, 105, 106, 107, 108, 110, 112, 114, 115, 116, 118, 120, 122, 124,
    126, 128, 130, 132, 134, 136, 138, 140, 143, 145, 147, 149, 152, 154, 156, 159, 161, 164, 166, 169, 171, 174,
    176, 178, 179, 181, 183, 185, 186, 188, 189, 190, 192, 194, 196, 198, 200, 202, 204, 206, 208, 210, 212, 214,
    217, 219, 221, 224, 227, 230, 232, 235, 237, 239, 242, 245, 248, 251, 254, 254, 254, 254, 254, 254, 254, 254,
    254, 254, 254, 254, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

const uint8_t kImgBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

namespace {

// round(255 (v/255)^(1/g)), half up, for g = 1.5, 2.0, 2.5, 3.0 (index 1..4); index 0
// is the identity.
struct GammaTables {
  uint8_t t[5][256];
  GammaTables() {
    const double g[5] = {1.0, 1.5, 2.0, 2.5, 3.0};
    for (int k = 0; k < 5; ++k)
      for (int v = 0; v < 256; ++v)
        t[k][v] = k == 0 ? uint8_t(v) : uint8_t(std::floor(255.0 * std::pow(v / 255.0, 1.0 / g[k]) + 0.5));
  }
};

const GammaTables& gamma_tables() {
  static const GammaTables tables;
  return tables;
}

// Common start of the in-place operations: a locked record whose pixels may change.
ImgRecord* lock_for_tones(HIMG img) {
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return nullptr;
  if (r->flags & IMG_FLAG_METAFILE || !r->pixels || !r->pixels->bits) {
    GlobalUnlock(img);
    ImgSetError(IMG_PIXELS_METAFILE);
    return nullptr;
  }
  if (r->device_bitmap) {
    DeleteObject(r->device_bitmap);
    r->device_bitmap = nullptr;
  }
  return r;
}

// Applies a byte map to every pixel byte of a 24-bit image, or to the blue, green and
// red bytes of every colour-table entry of the others.
void map_bytes(ImgRecord* r, const uint8_t table[256]) {
  ImgDib* d = r->pixels;
  const BITMAPINFOHEADER& h = d->info->bmiHeader;
  if (h.biBitCount == 24) {
    size_t stride = ImgDibStride(&h), used = size_t(h.biWidth) * 3;
    for (int32_t y = 0; y < h.biHeight; ++y) {
      uint8_t* p = d->bits + stride * size_t(y);
      for (size_t i = 0; i < used; ++i) p[i] = table[p[i]];
    }
    return;
  }
  uint32_t n = ImgDibColours(&h);
  for (uint32_t i = 0; i < n; ++i) {
    RGBQUAD& q = d->info->bmiColors[i];
    q.rgbBlue = table[q.rgbBlue];
    q.rgbGreen = table[q.rgbGreen];
    q.rgbRed = table[q.rgbRed];
  }
  // The record's header is the store's own, so it sees the new table already.
}

// Luminance of pixel x of a row, through the colour table below 24 bits.
inline uint32_t luminance_at(const uint8_t* row, int32_t x, int32_t bpp, const RGBQUAD* table, uint32_t entries) {
  uint32_t v = ImgPixelGet(row, x, bpp);
  if (bpp == 24) return ImgLuminance(v >> 16 & 255, v >> 8 & 255, v & 255);
  if (v >= entries) return 0;  // an index past the table reads as black
  return ImgLuminance(table[v].rgbRed, table[v].rgbGreen, table[v].rgbBlue);
}

}  // namespace

void ImgGammaTable(int32_t value, uint8_t out[256]) {
  const GammaTables& g = gamma_tables();
  if (value >= 30) {
    std::memcpy(out, g.t[4], 256);
    return;
  }
  int32_t q = value / 5, w = 2 * (value % 5);
  if (q < 2) {
    std::memcpy(out, g.t[0], 256);
    return;
  }
  const uint8_t* lower = g.t[q - 2];
  const uint8_t* upper = g.t[q - 1];
  for (int v = 0; v < 256; ++v) out[v] = uint8_t((upper[v] * w + lower[v] * (10 - w) + 5) / 10);
}

int32_t ImgBrightness(HIMG img, int32_t value) {
  ImgResetStatus();
  ImgRecord* r = lock_for_tones(img);
  if (!r) return 0;
  uint8_t table[256];
  // Any value is taken: the sum is clamped as it is computed, in 64 bits.
  for (int v = 0; v < 256; ++v) {
    int64_t sum = int64_t(v) + value;
    table[v] = uint8_t(sum < 0 ? 0 : sum > 255 ? 255 : sum);
  }
  map_bytes(r, table);
  GlobalUnlock(img);
  return 1;
}

int32_t ImgGamma(HIMG img, int32_t value) {
  ImgResetStatus();
  if (value < 10 || value > 50) {
    ImgSetError(IMG_BAD_ARGUMENT);
    return 0;
  }
  ImgRecord* r = lock_for_tones(img);
  if (!r) return 0;
  uint8_t table[256];
  ImgGammaTable(value, table);
  map_bytes(r, table);
  GlobalUnlock(img);
  return 1;
}

HIMG ImgToGray(HIMG img) {
  ImgResetStatus();
  ImgRecord* r = lock_for_tones(img);
  if (!r) return nullptr;
  const ImgDib* s = r->pixels;
  const BITMAPINFOHEADER& h = s->info->bmiHeader;
  ImgDib* d = nullptr;
  int32_t status = IMG_OK;
  if (h.biBitCount == 1) {
    status = IMG_CANNOT_REDUCE;  // two colours are already as few as gray can give
  } else if (h.biBitCount <= 8) {
    d = ImgDibCopy(s->info, s->bits);
    if (d) {
      uint32_t n = ImgDibColours(&d->info->bmiHeader);
      for (uint32_t i = 0; i < n; ++i) {
        RGBQUAD& q = d->info->bmiColors[i];
        uint8_t g = kImgToneCurve[ImgLuminance(q.rgbRed, q.rgbGreen, q.rgbBlue)];
        q = RGBQUAD{g, g, g, 0};
      }
    }
  } else {
    d = ImgDibNew(h.biWidth, h.biHeight, 8, true, nullptr);
    if (d) {
      BITMAPINFOHEADER& o = d->info->bmiHeader;
      o.biXPelsPerMeter = h.biXPelsPerMeter;
      o.biYPelsPerMeter = h.biYPelsPerMeter;
      for (int i = 0; i < 256; ++i) d->info->bmiColors[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
      size_t sin = ImgDibStride(&h), sout = ImgDibStride(&o);
      for (int32_t y = 0; y < h.biHeight; ++y) {
        const uint8_t* p = s->bits + sin * size_t(y);
        uint8_t* q = d->bits + sout * size_t(y);
        for (int32_t x = 0; x < h.biWidth; ++x) q[x] = uint8_t(ImgLuminance(p[3 * x + 2], p[3 * x + 1], p[3 * x]));
      }
    }
  }
  GlobalUnlock(img);
  if (status != IMG_OK) {
    ImgSetError(status);
    return nullptr;
  }
  if (!d) {
    ImgSetError(IMG_NO_MEMORY);
    return nullptr;
  }
  return ImgWrap(d);
}

HIMG ImgToBilevel(HIMG img, uint32_t flags) {
  ImgResetStatus();
  ImgRecord* r = lock_for_tones(img);
  if (!r) return nullptr;
  const ImgDib* s = r->pixels;
  const BITMAPINFOHEADER& h = s->info->bmiHeader;
  const int32_t w = h.biWidth, ht = h.biHeight, bpp = h.biBitCount;
  ImgDib* d = ImgDibNew(w, ht, 1, true, nullptr);
  if (!d) {
    GlobalUnlock(img);
    ImgSetError(IMG_NO_MEMORY);
    return nullptr;
  }
  d->info->bmiHeader.biXPelsPerMeter = h.biXPelsPerMeter;
  d->info->bmiHeader.biYPelsPerMeter = h.biYPelsPerMeter;
  std::memset(d->bits, 0, ImgDibImageSize(&d->info->bmiHeader));
  const int mode = flags & 1 ? 1 : flags & 2 ? 2 : flags & 4 ? 3 : 0;
  // Error rows with two spare places at each end; this line's and the next.
  std::vector<int32_t> cur(size_t(w) + 4, 0), next(size_t(w) + 4, 0);
  const uint32_t entries = ImgDibColours(&h);
  for (int32_t y = 0; y < ht; ++y) {
    const uint8_t* in = ImgRowFromTop(s, y);
    uint8_t* out = ImgRowFromTop(d, y);
    for (int32_t x = 0; x < w; ++x) {
      int32_t v = kImgToneCurve[luminance_at(in, x, bpp, s->info->bmiColors, entries)];
      bool white;
      if (mode == 0) {
        white = v >= 128;
      } else if (mode == 1) {
        white = (v + 1) / 4 > kImgBayer[x & 7][y & 7];
      } else {
        int32_t* e = cur.data() + 2;
        int32_t* n = next.data() + 2;
        int32_t t = ImgClamp(v + e[x] / (mode == 2 ? 32 : 16));
        white = t > 127;
        int32_t dd = t - (white ? 255 : 0);
        if (mode == 2) {
          e[x + 1] += 8 * dd;
          e[x + 2] += 4 * dd;
          n[x - 2] += 2 * dd;
          n[x - 1] += 4 * dd;
          n[x] += 8 * dd;
          n[x + 1] += 4 * dd;
          n[x + 2] += 2 * dd;
        } else {
          e[x + 1] += 7 * dd;
          n[x - 1] += 3 * dd;
          n[x] += 5 * dd;
          n[x + 1] += 1 * dd;
        }
      }
      if (white) out[x >> 3] = uint8_t(out[x >> 3] | 0x80 >> (x & 7));
    }
    cur.swap(next);
    std::fill(next.begin(), next.end(), 0);
  }
  GlobalUnlock(img);
  return ImgWrap(d);
}
