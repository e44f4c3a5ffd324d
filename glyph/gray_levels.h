// Five-level gray images of glyphs: a 1-bit bitmap rendered at twice the size is reduced
// block by block (2 by 2 source pixels to one level 0 to 4) into one byte per pixel.
// Builds on nothing; used by the gray text output of installed fonts and of document
// faces in librvcsp32.so.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qm::glyph {

// Colours of the five levels (0x00RRGGBB): level 0 is white and leaves the target alone.
inline constexpr uint32_t kGrayPalette[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};

// Level of one 2 by 2 block from the 2-bit values (left pixel x 2 + right pixel) of its
// upper and lower row. A lit left pixel weighs 2 and a lit right one 1.
uint8_t GrayLevel(unsigned upper_pair, unsigned lower_pair);

// Shape of the gray image reduced from a double-size bitmap of src_width x src_height:
// half the size rounded up, rows of width rounded up to 4 bytes, and two spare zero rows
// behind the image rows (counted in `bytes`).
struct GrayImageShape {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t row_bytes = 0;
  size_t bytes = 0;
};
GrayImageShape GrayShape(uint32_t src_width, uint32_t src_height);

// Row size of a 1-bit bitmap with 32-bit aligned rows.
inline size_t MonoRowBytes(uint32_t width) { return (size_t(width) + 31) / 32 * 4; }

// Reduces the 1-bit bitmap `src` (rows 32-bit aligned, most significant bit leftmost,
// src_height rows; an odd height reads a zero row below the last) into `dst`, which
// must hold GrayShape(...).bytes. Returns false, writing nothing, when either buffer is
// shorter than the shape needs or a size is out of range.
bool ReduceToGrayLevels(const uint8_t* src, size_t src_size, uint32_t src_width, uint32_t src_height,
                        uint8_t* dst, size_t dst_size);

}  // namespace qm::glyph
