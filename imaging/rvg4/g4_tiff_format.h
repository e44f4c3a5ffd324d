// The smallest TIFF around one Group 4 strip: a little-endian classic-TIFF header and
// one directory of eleven entries, followed directly by the coded bytes. The decoder
// codec reads its received data through it (with an image longer than the strip), and
// g4tool --tiff writes it so that libtiff's tools and others can read a stream.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qm::rvg4 {

// Header (8 bytes), entry count (2), 11 entries of 12 bytes, next-directory offset (4):
// the strip starts at this offset.
constexpr size_t kG4TiffStripAt = 8 + 2 + 11 * 12 + 4;

// Writes the kG4TiffStripAt bytes in front of a strip of stripBytes coded bytes: width,
// rows (image length and rows per strip), 1 bit a sample, compression 4
// (CCITT Group 4), min-is-white, most-significant-bit-first fill order, the strip's
// offset and byte count, 1 sample a pixel, contiguous planes.
void put_g4_tiff_directory(unsigned char* out, uint32_t width, uint32_t rows, uint32_t stripBytes);

}  // namespace qm::rvg4
