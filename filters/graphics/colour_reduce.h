// Colour reduction of the graphics export filter: an exact palette in order of first
// appearance while the picture has few enough colours, else a fixed-memory octree; the
// marking of transparent pixels by a TransparencyRequest; the standard palettes of
// pictures stored without one. Used by the raster engine (raster.cpp) and the chunk
// bitmap reader.
#pragma once
#include <cstdint>

#include "filters/graphics/raster.h"

namespace gfx {

enum TransparencyKind : uint32_t {
  TR_INDEX = 1,       // a palette index
  TR_COLOUR = 2,      // a colour
  TR_MASKBRIGHT = 4,  // brightness of a 24-bit mask made through the request's palette
  TR_BRIGHT = 8,      // brightness of the source pixels through the request's palette
  TR_MASK8 = 0x10,    // 8-bit mask
  TR_MASK24 = 0x20,   // 24-bit mask
  TR_INDEXMASK = 0x40 // 8-bit mask standing for an index
};

struct TransparencyRequest {
  uint32_t kind = 0;
  RasterImage mask;            // PIX_8_GRAY for 0x10, 0x40; PIX_24_BGR for 0x20, 4
  uint16_t index = 0;          // kinds 1 and 0x40
  uint8_t blue = 0, green = 0, red = 0;  // kind 2
  uint8_t palette[256 * 3] = {};         // kinds 4 and 8: blue, green, red
  uint16_t palette_count = 0;
  uint32_t inverse = 0;        // kind 0x40: mask inverted
  // Results.
  uint32_t transparent = 0;
  uint16_t transparent_index = 0;
  uint16_t threshold = 128;
  uint16_t direction = 0;      // 0: transparent at or above the threshold; else at or below
  uint32_t reserved = 0;       // set to 1 when a reduction kept an entry free
};

bool transparent_level(const TransparencyRequest& r, unsigned level);
// Frees the mask blocks of a request.
void request_release(TransparencyRequest& r);

// Reduces to depth bits (1, 2, 4, 8): kNothingToDo, 0, 15 or 18. result gets a new image.
KVXSTATUS ReduceColours(const RasterImage& image, uint32_t depth, uint32_t method, RasterImage* result,
                        TransparencyRequest* request);
// Marks the transparent pixels of reduced (an indexed image made from source) by the
// request; sets its flag and index. 0 or 18.
KVXSTATUS MarkTransparency(const RasterImage& source, RasterImage& reduced, TransparencyRequest& request);

// Picture flags for StandardPalette.
constexpr uint32_t kPictureGray = 1;
constexpr uint32_t kPictureInverse = 2;
// Fills the palette of image (its capacity by its depth) with the standard palette of the
// format; 0, or 15 when there is none.
KVXSTATUS StandardPalette(RasterImage& image, uint32_t format, uint32_t flags);

}  // namespace gfx
