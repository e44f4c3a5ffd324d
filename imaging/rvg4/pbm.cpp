// P4 reading and writing (pbm.h): the header is "P4", width and height as decimal
// numbers separated by white space and "#" comments, one white-space byte, then the
// raster.
#include "imaging/rvg4/pbm.h"

#include <cctype>

namespace qm::rvg4 {
namespace {

void skip_space(const std::string& s, size_t& i) {
  for (;;) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '#') {
      while (i < s.size() && s[i] != '\n' && s[i] != '\r') ++i;
      continue;
    }
    return;
  }
}

// A positive decimal number below 2^31.
bool number(const std::string& s, size_t& i, int32_t& value) {
  skip_space(s, i);
  int64_t v = 0;
  size_t start = i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && v <= INT32_MAX) v = v * 10 + (s[i++] - '0');
  if (i == start || v > INT32_MAX) return false;
  value = int32_t(v);
  return true;
}

}  // namespace

bool pbm_parse(const std::string& bytes, Bilevel& image, std::string& error) {
  size_t i = 0;
  if (bytes.compare(0, 2, "P4") != 0) {
    error = "not a binary PBM (P4) file";
    return false;
  }
  i = 2;
  int32_t w = 0, h = 0;
  if (!number(bytes, i, w) || !number(bytes, i, h) || w < 1 || i >= bytes.size() ||
      !std::isspace(static_cast<unsigned char>(bytes[i]))) {
    error = "bad PBM header";
    return false;
  }
  ++i;
  uint64_t size = uint64_t((int64_t(w) + 7) / 8) * uint64_t(h);
  if (bytes.size() - i < size) {
    error = "PBM raster shorter than its header says";
    return false;
  }
  image.width = w;
  image.height = h;
  image.bits.assign(bytes.begin() + i, bytes.begin() + i + size);
  // P4 leaves the bits past the width open; ours are white.
  if (w % 8 && h > 0) {
    int32_t rb = image.row_bytes();
    unsigned char mask = static_cast<unsigned char>(0xFF << (8 - w % 8));
    for (int32_t r = 0; r < h; ++r) image.bits[size_t(r) * rb + rb - 1] &= mask;
  }
  return true;
}

std::string pbm_format(const Bilevel& image) {
  std::string out = "P4\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n";
  out.append(image.bits.begin(), image.bits.end());
  return out;
}

}  // namespace qm::rvg4
