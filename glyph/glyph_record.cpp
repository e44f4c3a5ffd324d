// Glyph record view and bitmap layout (glyph_record.h).
#include "glyph/glyph_record.h"

#include <cstdlib>

#include "glyph/span.h"
#include "platform/le.h"

namespace qm::glyph {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t n = int64_t(a) * b;
  int64_t q = (std::llabs(n) + std::llabs(int64_t(c)) / 2) / std::llabs(int64_t(c));
  if ((n < 0) != (c < 0)) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return int32_t(q);
}

std::optional<GlyphRecordView> ParseGlyphRecord(const unsigned char* data, size_t length) {
  if (length < 4) return std::nullopt;
  GlyphRecordView v;
  v.kind = int16_t(le::get16(data));
  int16_t m = int16_t(le::get16(data + 2));
  if (m < 0 || size_t(m) + 6 > length) return std::nullopt;
  if (m > 0) {
    unsigned char block[10] = {};
    for (size_t i = 0; i < 10 && i < size_t(m); ++i) block[i] = data[4 + i];
    v.has_metrics = true;
    v.ink_width = le::get16(block);
    v.ink_height = le::get16(block + 2);
    int16_t left = int16_t(le::get16(block + 4)), top = int16_t(le::get16(block + 6));
    v.left = left <= 0 ? left : 0;
    v.top = top <= 0 ? top : 0;
    v.advance = int16_t(le::get16(block + 8));
  }
  size_t body_at = 6 + size_t(m);
  v.body = data + body_at;
  v.body_length = le::get16(data + 4 + m);
  if (v.body_length > length - body_at) v.body_length = length - body_at;
  return v;
}

GlyphLayout LayoutGlyph(const GlyphRecordView& rec, const GlyphLayoutInput& in) {
  GlyphLayout out;
  int32_t w = in.widening;
  if (!rec.has_metrics || in.units_per_em <= 0) {
    out.width = in.cell_width;
    out.height = in.line_height;
    out.advance = in.fixed_pitch ? in.fixed_advance : in.cell_width;
    return out;
  }
  int32_t left = rec.left < 0 ? -rec.left : rec.left;
  out.width = MulDiv(rec.ink_width + left, in.cell_width - w, in.units_per_em) + w + 1;
  out.height = rec.ink_height > in.max_ascent + in.max_descent
                   ? MulDiv(rec.ink_height, in.cell_height - w, in.units_per_em) + w + 1
                   : in.line_height;
  out.origin_x = MulDiv(rec.left, in.cell_width, in.units_per_em);
  out.origin_y = MulDiv(rec.top, in.cell_height, in.units_per_em);
  out.advance = in.fixed_pitch ? in.fixed_advance : MulDiv(rec.advance, in.cell_width, in.units_per_em);
  return out;
}

}  // namespace qm::glyph
