// Test helper: a 1-bit bitmap with rows of whole bytes, shown and compared as ASCII art
// ("#" ink, "." blank) so expected glyphs can be typed as pictures.
#pragma once
#include <string>
#include <vector>

#include "glyph/span_fill.h"

namespace qm::glyph::test {

struct Bitmap {
  Bitmap(int w, int h, unsigned char fill = 0)
      : width(w), height(h), row_bytes((w + 7) / 8), bytes(size_t(row_bytes) * size_t(h), fill) {}
  int width, height, row_bytes;
  std::vector<unsigned char> bytes;

  FillTarget target() { return {bytes.data(), row_bytes, height}; }
  bool at(int x, int y) const { return bytes[size_t(y * row_bytes + x / 8)] & (0x80 >> (x % 8)); }
  // Rows of the first `width` columns.
  std::vector<std::string> art() const {
    std::vector<std::string> out;
    for (int y = 0; y < height; ++y) {
      std::string row;
      for (int x = 0; x < width; ++x) row += at(x, y) ? '#' : '.';
      out.push_back(row);
    }
    return out;
  }
};

inline std::string Show(const std::vector<std::string>& rows) {
  std::string s = "\n";
  for (const std::string& r : rows) s += r + "\n";
  return s;
}

}  // namespace qm::glyph::test
