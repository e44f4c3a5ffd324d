// Gray level reduction (gray_levels.h): 2 by 2 blocks of a double-size 1-bit bitmap to
// levels 0 to 4, four output pixels from each pair of source bytes.
#include "gray_levels.h"

#include <cstring>

namespace qm::glyph {

namespace {
// Largest double-size side accepted: gray output is limited to fonts below 256 device
// pixels, so real glyphs stay far below this; the bound keeps the sizes in range.
constexpr uint32_t kMaxSide = 1u << 16;
}  // namespace

uint8_t GrayLevel(unsigned upper_pair, unsigned lower_pair) {
  unsigned s = (upper_pair & 3) + (lower_pair & 3);
  return s < 6 ? uint8_t((s + 1) / 2) : uint8_t(4);
}

GrayImageShape GrayShape(uint32_t src_width, uint32_t src_height) {
  GrayImageShape shape;
  if (src_width > kMaxSide || src_height > kMaxSide) return shape;
  shape.width = (src_width + 1) / 2;
  shape.height = (src_height + 1) / 2;
  shape.row_bytes = (shape.width + 3) / 4 * 4;
  shape.bytes = size_t(shape.row_bytes) * (shape.height + 2);
  return shape;
}

bool ReduceToGrayLevels(const uint8_t* src, size_t src_size, uint32_t src_width, uint32_t src_height,
                        uint8_t* dst, size_t dst_size) {
  if (src_width > kMaxSide || src_height > kMaxSide) return false;
  const GrayImageShape shape = GrayShape(src_width, src_height);
  const size_t src_row = MonoRowBytes(src_width);
  if (dst_size < shape.bytes || (src_row * src_height > 0 && (src == nullptr || src_size < src_row * src_height)))
    return false;
  if (shape.bytes == 0) return true;
  std::memset(dst, 0, shape.bytes);
  for (uint32_t r = 0; r < shape.height; ++r) {
    const uint8_t* upper = src + size_t(2 * r) * src_row;
    const uint8_t* lower = 2 * r + 1 < src_height ? upper + src_row : nullptr;
    uint8_t* out = dst + size_t(r) * shape.row_bytes;
    for (size_t b = 0; b < src_row; ++b) {
      const unsigned up = upper[b];
      const unsigned down = lower ? lower[b] : 0;
      for (unsigned k = 0; k < 4; ++k) {
        const size_t x = b * 4 + k;
        if (x >= shape.row_bytes) break;
        const unsigned shift = 6 - 2 * k;
        // Padding bits past the source width count as unlit.
        const unsigned keep = 2 * x >= src_width ? 0u : 2 * x + 1 >= src_width ? 2u : 3u;
        out[x] = GrayLevel((up >> shift) & keep, (down >> shift) & keep);
      }
    }
  }
  return true;
}

}  // namespace qm::glyph
