// The raster engine of the graphics export filter: pictures as padded rows in movable
// blocks of the framework's block layer, named by a 32-bit pixel format; row converters,
// format and row-order conversion, nearest and area-average scaling. Colour reduction and
// transparency marking are in colour_reduce.h; the chunk bitmap reader, the GIF and
// bitmap writers and the graphic access routines build on this.
#pragma once
#include <cstdint>

#include "filters/common/kvx_abi.h"

namespace gfx {

constexpr uint32_t PIX_TOPDOWN = 0x1000000;
constexpr uint32_t PIX_BOTTOMUP = 0x2000000;
constexpr uint32_t PIX_1_INDEXED = 0x1010000;
constexpr uint32_t PIX_1_WHITE = 0x1010001;
constexpr uint32_t PIX_1_BLACK = 0x1010002;
constexpr uint32_t PIX_4_INDEXED = 0x1040000;
constexpr uint32_t PIX_8_INDEXED = 0x1080000;
constexpr uint32_t PIX_8_GRAY = 0x1080001;
constexpr uint32_t PIX_24_BGR = 0x1180000;
constexpr uint32_t PIX_24_RGB = 0x1180001;

// Answer of ScaleImage and ReduceColours when there is nothing to do.
constexpr KVXSTATUS kNothingToDo = -1;
// Largest raster the engine makes (bytes of rows); larger ones are out of memory.
constexpr uint64_t kMaxRasterBytes = uint64_t(1) << 30;

inline uint32_t pix_bits(uint32_t format) { return (format >> 16) & 0xFF; }
// The format with bit 25 folded onto bit 24, for table lookups.
inline uint32_t pix_topdown_form(uint32_t format) {
  return (format & PIX_BOTTOMUP) ? (format & ~PIX_BOTTOMUP) | PIX_TOPDOWN : format;
}
inline bool pix_bottomup(uint32_t format) { return (format & PIX_BOTTOMUP) != 0; }
// Row bytes padded to 4; 0 when the width is too large to compute.
uint64_t row_bytes(uint32_t width, uint32_t bits);

struct RasterImage {
  KVXBLOCK pixel_block = 0;
  uint8_t* pixels = nullptr;
  uint32_t data_size = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;
  KVXBLOCK palette_block = 0;
  uint8_t* palette = nullptr;  // 3-byte entries blue, green, red
  uint16_t palette_capacity = 0;
  uint16_t palette_count = 0;

  uint32_t stride() const { return height ? data_size / height : 0; }
  uint8_t* row(uint32_t y) const { return pixels + size_t(y) * stride(); }
};

// Allocates the blocks (locked) of a raster; 15 for a zero size or unknown depth, 13 for
// memory or more than kMaxRasterBytes.
KVXSTATUS raster_alloc(RasterImage& image, uint32_t width, uint32_t height, uint32_t format);
// Frees both blocks and clears the record.
void raster_free(RasterImage& image);
// Unlocks the blocks and hands their handles out (the record forgets them).
void raster_release_blocks(RasterImage& image, KVXBLOCK* pixel_block, KVXBLOCK* palette_block);
// A copy of the image.
KVXSTATUS raster_copy(const RasterImage& from, RasterImage& to);

// (source row, start pixel, pixel count, target row, palette of the source)
using RowConverter = void (*)(const uint8_t*, uint32_t, uint32_t, uint8_t*, const uint8_t*);
// The converter of a (source, target) pair, or null.
RowConverter find_row_converter(uint32_t source, uint32_t target);
// One row of any format as 24-bit blue, green, red through its palette (gray levels and
// 1-bit forms as gray); false for an unknown format.
bool row_to_bgr(const RasterImage& image, uint32_t y, uint8_t* out);

struct TransparencyRequest;

// Converts to the target format (0: unchanged): colour reduction with method, marking of
// the request, row order, row conversion. With result null the image is replaced.
KVXSTATUS ConvertImage(RasterImage& image, uint32_t target, uint32_t method, RasterImage* result,
                       TransparencyRequest* request);
// Scales to new_width x new_height by method (0 nearest, 1 and 2 area average and linear).
KVXSTATUS ScaleImage(const RasterImage& image, uint32_t new_width, uint32_t new_height, uint32_t method,
                     RasterImage* result, TransparencyRequest* request);

}  // namespace gfx
