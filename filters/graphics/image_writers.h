// The file writers of the graphics export filter: the GIF89a writer (our LZW coder,
// interlacing, one transparent index) and the Windows bitmap header builder and writer.
// They write through a framework IO object; the export writer (gfx_export.cpp) and the
// outside-library binding (outside_binding.cpp) call them.
#pragma once
#include <cstdint>
#include <vector>

#include "filters/common/kvx_abi.h"

namespace gfx {

struct WriterInput {
  KVXIO* output = nullptr;
  const uint8_t* rows = nullptr;
  uint32_t data_size = 0;
  uint32_t format = 0;
  uint32_t width = 0;
  int32_t height = 0;  // negative: the first row in memory is the top row
  uint32_t stride = 0;
  const uint8_t* palette = nullptr;  // blue, green, red
  uint32_t palette_count = 0;
};

// The LZW code stream of the rows (width marks 0xFFFF included), for tests; 13 on memory.
KVXSTATUS gif_codes(const WriterInput& in, bool interlace, std::vector<uint16_t>& codes);
// 0, 15 (not 8 bits per pixel or rows outside the data), 13 (memory), 47 (short write).
KVXSTATUS WriteGif(const WriterInput& in, bool interlace, bool transparent, uint8_t transparent_index);

// The bitmap file header, information header and colour table; empty on a bad format.
std::vector<uint8_t> BuildBitmapHeader(uint32_t data_size, uint32_t format, int32_t width, int32_t height,
                                       const uint8_t* palette, uint32_t palette_count);
// 0, 13 (no header), 47 (short write).
KVXSTATUS WriteBitmap(const WriterInput& in);

// Writes all bytes; 47 when the IO object takes fewer.
KVXSTATUS write_all(KVXIO* io, const void* data, uint32_t size);

}  // namespace gfx
