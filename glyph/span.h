// One horizontal span of a glyph, {row, left x, right x} in the unturned glyph box: the
// form in which the stroke interpreter (stroke_program.h) hands a glyph to the span fill
// (span_fill.h).
#pragma once
#include <cstdint>

namespace qm::glyph {

struct Span {
  int32_t row = 0;
  int32_t left = 0;
  int32_t right = 0;
  bool operator==(const Span&) const = default;
};

// Windows-style MulDiv: a * b / c rounded half away from zero, -1 when c is 0 or the
// result does not fit 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

}  // namespace qm::glyph
