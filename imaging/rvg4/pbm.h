// Binary PBM (P4) images: the bilevel picture format of g4tool and of the filter's
// tests. P4 rows are the filter's rows: (width + 7) / 8 bytes, most significant bit
// first, 1 = black, the bits past the width zero.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qm::rvg4 {

struct Bilevel {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<unsigned char> bits;  // height rows of row_bytes() bytes
  int32_t row_bytes() const { return (width + 7) / 8; }
};

// Parses a P4 file; false (with error) when it is not one or its raster is short.
bool pbm_parse(const std::string& bytes, Bilevel& image, std::string& error);
// The P4 file of the image.
std::string pbm_format(const Bilevel& image);

}  // namespace qm::rvg4
