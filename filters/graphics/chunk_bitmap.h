// Reading a bitmap picture out of a document's chunks (a bitmap section: header, palette,
// transparency item and pixel bands; kvx_abi.h) into a raster of the engine, cropped,
// scaled and converted as an export asks. Called by the graphic access routines.
#pragma once
#include <cstdint>

#include "filters/graphics/colour_reduce.h"
#include "filters/graphics/gfx_records.h"
#include "filters/graphics/raster.h"

namespace gfx {

struct BitmapRead {
  KVXHANDLE chunker = 0;
  uint32_t data_item = 0;       // the picture's first item
  GraphicSelector selector{};   // its rectangle: crop amounts in percent
  GraphicInfo info{};           // the picture's size and units per inch
  uint32_t wanted_format = 0;
  uint32_t wanted_width = 0, wanted_height = 0;
  uint32_t option25 = 0, option26 = 0;
  uint32_t fallback_size = 0;
  uint32_t method = 0;          // scaling method (KVXOPT_30)
  uint32_t export_type = 0;
  // Results.
  RasterImage image;
  uint32_t transparent = 0;
  uint16_t transparent_index = 0;
};

// The crop box of a picture of w x h (inclusive corners).
void crop_box(const GraphicSelector& selector, uint32_t w, uint32_t h, uint32_t box[4]);
// The wanted size from the request, the resolution options and the box.
void wanted_size(const BitmapRead& read, uint32_t box_w, uint32_t box_h, uint32_t& w, uint32_t& h);
// Reads, scales and converts; 0, 13, 15 or 18. Every intermediate raster is released.
KVXSTATUS read_chunk_bitmap(BitmapRead& read);

}  // namespace gfx
