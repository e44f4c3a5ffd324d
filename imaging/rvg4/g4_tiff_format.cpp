// Writes the TIFF directory of g4_tiff_format.h field by field, little-endian.
#include "imaging/rvg4/g4_tiff_format.h"

#include "platform/le.h"

namespace qm::rvg4 {
namespace {

// TIFF field types and the tags written, in the ascending order TIFF requires.
constexpr uint16_t kShort = 3, kLong = 4;
constexpr uint16_t kImageWidth = 256, kImageLength = 257, kBitsPerSample = 258, kCompression = 259,
                   kPhotometric = 262, kFillOrder = 266, kStripOffsets = 273, kSamplesPerPixel = 277,
                   kRowsPerStrip = 278, kStripByteCounts = 279, kPlanarConfig = 284;
constexpr uint16_t kGroup4 = 4, kMinIsWhite = 0, kMsbFirst = 1, kContiguous = 1;
constexpr uint32_t kDirectoryAt = 8;
constexpr uint16_t kEntries = 11;

}  // namespace

void put_g4_tiff_directory(unsigned char* out, uint32_t width, uint32_t rows, uint32_t stripBytes) {
  out[0] = 'I';
  out[1] = 'I';
  le::put16(out + 2, 42);
  le::put32(out + 4, kDirectoryAt);
  unsigned char* e = out + kDirectoryAt;
  le::put16(e, kEntries);
  e += 2;
  auto entry = [&e](uint16_t tag, uint16_t type, uint32_t value) {
    le::put16(e, tag);
    le::put16(e + 2, type);
    le::put32(e + 4, 1);  // one value, held in the entry itself
    le::put32(e + 8, 0);
    if (type == kShort)
      le::put16(e + 8, uint16_t(value));
    else
      le::put32(e + 8, value);
    e += 12;
  };
  entry(kImageWidth, kLong, width);
  entry(kImageLength, kLong, rows);
  entry(kBitsPerSample, kShort, 1);
  entry(kCompression, kShort, kGroup4);
  entry(kPhotometric, kShort, kMinIsWhite);
  entry(kFillOrder, kShort, kMsbFirst);
  entry(kStripOffsets, kLong, uint32_t(kG4TiffStripAt));
  entry(kSamplesPerPixel, kShort, 1);
  entry(kRowsPerStrip, kLong, rows);
  entry(kStripByteCounts, kLong, stripBytes);
  entry(kPlanarConfig, kShort, kContiguous);
  le::put32(e, 0);  // no further directory
}

}  // namespace qm::rvg4
