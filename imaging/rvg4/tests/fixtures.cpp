// Test images of fixtures.h, drawn with a small seeded generator so that every run sees
// the same pixels.
#include "imaging/rvg4/tests/fixtures.h"

#include <algorithm>
#include <cstring>

namespace qm::rvg4::test {
namespace {

struct Rng {
  uint64_t s;
  explicit Rng(uint32_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return uint32_t(s >> 11);
  }
  int32_t below(int32_t n) { return n <= 0 ? 0 : int32_t(next() % uint32_t(n)); }
};

void set(Bilevel& im, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= im.width || y >= im.height) return;
  im.bits[size_t(y) * im.row_bytes() + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
}

void clear_padding(Bilevel& im) {
  if (im.width % 8 == 0) return;
  int32_t rb = im.row_bytes();
  for (int32_t y = 0; y < im.height; ++y) im.bits[size_t(y) * rb + rb - 1] &= uint8_t(0xFF << (8 - im.width % 8));
}

// Lines of glyphs: each glyph a few strokes and dots inside a small cell, with word gaps,
// margins and blank lines, like a scanned page of text.
void draw_text(Bilevel& im, Rng& rng) {
  const int32_t line = 28, cell = 14, margin = im.width > 200 ? 100 : 0;
  for (int32_t top = margin / 2; top + line <= im.height; top += line) {
    if (rng.below(8) == 0) continue;  // a blank line
    int32_t x = margin;
    int32_t end = im.width - margin - rng.below(im.width / 4 + 1);
    while (x + cell <= end) {
      if (rng.below(6) == 0) {  // word gap
        x += cell;
        continue;
      }
      int32_t strokes = 2 + rng.below(3);
      for (int32_t s = 0; s < strokes; ++s) {
        int32_t x0 = x + rng.below(cell - 3), y0 = top + rng.below(line / 2);
        bool vertical = rng.below(2) == 0;
        int32_t len = 4 + rng.below(line / 2);
        for (int32_t k = 0; k < len; ++k)
          for (int32_t t = 0; t < 2; ++t)
            vertical ? set(im, x0 + t, y0 + k) : set(im, x0 + k % (cell - 2), y0 + t);
      }
      x += cell;
    }
  }
}

}  // namespace

const char* pattern_name(Pattern p) {
  switch (p) {
    case Pattern::kWhite: return "white";
    case Pattern::kBlack: return "black";
    case Pattern::kChecker: return "checker";
    case Pattern::kRandom: return "random";
    case Pattern::kText: return "text";
  }
  return "?";
}

Bilevel make_image(Pattern p, int32_t width, int32_t height, uint32_t seed) {
  Bilevel im;
  im.width = width;
  im.height = height;
  im.bits.assign(size_t(im.row_bytes()) * size_t(height), 0);
  Rng rng(seed);
  switch (p) {
    case Pattern::kWhite: break;
    case Pattern::kBlack: std::fill(im.bits.begin(), im.bits.end(), uint8_t(0xFF)); break;
    case Pattern::kChecker:
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
          if (((x / 4) + (y / 4)) % 2) set(im, x, y);
      break;
    case Pattern::kRandom:
      for (auto& b : im.bits) b = uint8_t(rng.next());
      break;
    case Pattern::kText: draw_text(im, rng); break;
  }
  clear_padding(im);
  return im;
}

const std::vector<Pattern>& all_patterns() {
  static const std::vector<Pattern> v = {Pattern::kWhite, Pattern::kBlack, Pattern::kChecker, Pattern::kRandom,
                                         Pattern::kText};
  return v;
}
const std::vector<int32_t>& fixture_widths() {
  static const std::vector<int32_t> v = {1, 7, 8, 9, 1727, 1728, 2479};
  return v;
}
const std::vector<int32_t>& fixture_heights() {
  static const std::vector<int32_t> v = {0, 1, 1000};
  return v;
}

std::vector<unsigned char> with_stride(const Bilevel& image, int32_t stride) {
  std::vector<unsigned char> out(size_t(stride) * size_t(image.height), 0);
  for (int32_t y = 0; y < image.height; ++y)
    std::memcpy(out.data() + size_t(y) * stride, image.bits.data() + size_t(y) * image.row_bytes(),
                size_t(image.row_bytes()));
  return out;
}

}  // namespace qm::rvg4::test
