// Pixel operations of picview over image handles: tones (brightness, gamma, gray and
// bilevel conversions), cropping and scaling, rotation, and colour reduction, with the
// tables they share. Each takes an image handle of img_record.h and either changes it
// in place or returns a new handle that the caller closes. Used by the image display
// class, pvshow and the tests.
#pragma once
#include <cstdint>

#include "imaging/picview/img_record.h"

// ---- Tables (img_tone.cpp) -------------------------------------------------------------
// Clamp of -256..511 to 0..255; values beyond that range clamp the same way.
inline uint8_t ImgClamp(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
// The tone curve of gray levels, indexed by luminance.
extern const uint8_t kImgToneCurve[256];
// The 8 x 8 ordered-dither matrix, M[row][column].
extern const uint8_t kImgBayer[8][8];
// Luminance of a colour: (11 blue + 59 green + 30 red) / 100.
inline uint32_t ImgLuminance(uint32_t r, uint32_t g, uint32_t b) { return (11 * b + 59 * g + 30 * r) / 100; }
// The 256-entry tone table of a gamma value (10..50, gamma x 10).
void ImgGammaTable(int32_t value, uint8_t out[256]);

// ---- Tones (img_tone.cpp) --------------------------------------------------------------
int32_t ImgBrightness(HIMG img, int32_t value);
int32_t ImgGamma(HIMG img, int32_t value);
HIMG ImgToGray(HIMG img);
// flags bit 0: ordered dither; bit 1: Burkes diffusion; bit 2: Floyd-Steinberg.
HIMG ImgToBilevel(HIMG img, uint32_t flags);

// ---- Geometry (img_geometry.cpp) -------------------------------------------------------
// Flags of ImgCopy.
enum : uint32_t {
  IMG_COPY_AND = 1,     // 1-bit reduction: a 1 only where every source pixel is 1
  IMG_COPY_OR = 2,      // 1-bit reduction: a 1 where any source pixel is 1
  IMG_COPY_COLOUR = 4,  // passed for 24-bit images; rows are repeated, never blended
  IMG_COPY_GRAY4 = 16,  // 1-bit reduction counted into 4-bit gray
  IMG_COPY_GRAY8 = 32,  // 1-bit reduction counted into 8-bit gray
};
HIMG ImgCopy(HIMG img, int32_t newWidth, int32_t newHeight, const RECT* source, uint32_t flags);
HIMG ImgRotate(HIMG img, uint32_t angle, uint32_t background);

// ---- Colour reduction (img_reduce.cpp) -------------------------------------------------
enum : uint32_t {
  IMG_REDUCE_DIFFUSE = 2,  // 2 or 4: Floyd-Steinberg error diffusion
  IMG_REDUCE_DIFFUSE2 = 4,
  IMG_REDUCE_GRAY = 8,
  IMG_REDUCE_FIXED = 16,
  IMG_REDUCE_MEDIAN_CUT = 64,
};
HIMG ImgReduceColors(HIMG img, uint32_t count, uint32_t flags, HPALETTE palette);
HIMG ImgReduceColors(HIMG img, uint32_t count, uint32_t flags);
// The fixed palettes (red, green, blue per entry).
extern const uint8_t kImgFixed16[16][3];
const uint8_t (*ImgFixed256())[3];

// ---- Shared by the operations (img_handles.cpp) ---------------------------------------
// Locks a handle for a pixel operation: status 8 for a bad handle; nullptr then.
ImgRecord* ImgLockRecord(HIMG img);
// A pixel value (index or packed blue-green-red) of a 1/4/8/24-bit row.
inline uint32_t ImgPixelGet(const uint8_t* row, int32_t x, int32_t bpp) {
  switch (bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    case 8: return row[x];
    case 24: return uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16;
    default: return 0;
  }
}
inline void ImgPixelSet(uint8_t* row, int32_t x, int32_t bpp, uint32_t v) {
  switch (bpp) {
    case 1: {
      uint8_t m = uint8_t(0x80 >> (x & 7));
      row[x >> 3] = uint8_t(v & 1 ? row[x >> 3] | m : row[x >> 3] & ~m);
      break;
    }
    case 4:
      row[x >> 1] = uint8_t((x & 1) ? (row[x >> 1] & 0xF0) | (v & 15) : (row[x >> 1] & 0x0F) | (v & 15) << 4);
      break;
    case 8: row[x] = uint8_t(v); break;
    case 24:
      row[3 * x] = uint8_t(v);
      row[3 * x + 1] = uint8_t(v >> 8);
      row[3 * x + 2] = uint8_t(v >> 16);
      break;
    default: break;
  }
}
// Row y counted from the top of the picture (DIB rows are stored bottom-up).
inline uint8_t* ImgRowFromTop(const ImgDib* d, int32_t y) {
  const BITMAPINFOHEADER& h = d->info->bmiHeader;
  return d->bits + size_t(ImgDibStride(&h)) * size_t(h.biHeight - 1 - y);
}
// Wraps a new store into a handle; releases the store when that fails.
HIMG ImgWrap(ImgDib* dib);
