// Span fill (span_fill.h): turns, slants, bold widening and masked byte writes.
#include "glyph/span_fill.h"

#include <algorithm>

namespace qm::glyph {

namespace {

class Writer {
 public:
  Writer(const FillTarget& t, const FillState& s) : t_(t), s_(s) {}

  // Columns x1..x2 of row r.
  void Row(long r, long x1, long x2) const {
    if (r < 0 || x1 < 0 || x2 < 0 || !RowWritable(r)) return;
    x2 = std::min<long>(x2, long(t_.row_bytes) * 8 - 1);
    if (x1 > x2) return;
    unsigned char* row = t_.bits + r * t_.row_bytes;
    long b1 = x1 / 8, b2 = x2 / 8;
    unsigned char left = uint8_t(0xFF >> (x1 % 8));
    unsigned char right = uint8_t(0xFF << (7 - x2 % 8));
    if (b1 == b2) {
      Put(row[b1], uint8_t(left & right));
      return;
    }
    Put(row[b1], left);
    for (long b = b1 + 1; b < b2; ++b) Put(row[b], 0xFF);
    Put(row[b2], right);
  }

  // Rows y1..y2 of column c.
  void Column(long c, long y1, long y2) const {
    if (c < 0 || y1 < 0 || y2 < 0 || c >= long(t_.row_bytes) * 8) return;
    for (long y = y1; y <= y2; ++y) Pixel(c, y);
  }

  void Pixel(long c, long r) const {
    if (c < 0 || r < 0 || c >= long(t_.row_bytes) * 8 || !RowWritable(r)) return;
    Put(t_.bits[r * t_.row_bytes + c / 8], uint8_t(0x80 >> (c % 8)));
  }

 private:
  bool RowWritable(long r) const {
    return r >= s_.first_row && r <= s_.last_row && r < t_.rows;
  }
  void Put(unsigned char& byte, unsigned char mask) const {
    if (s_.set) byte = uint8_t(byte | mask);
    else byte = uint8_t(byte & ~mask);
  }

  const FillTarget& t_;
  const FillState& s_;
};

// Slant along a span of the vertical-face modes: d(p) grows from 0 at p = 0 to T at
// p = W1, stepped with the error term 2T against 2 W1 (rounded to the nearest).
long SlantAt(long p, long total, long w1) {
  if (w1 <= 0) return 0;
  return (p * 2 * total + w1) / (2 * w1);
}

// One unturned row span (row r, columns x1..x2, bold offsets already applied).
void WriteOne(const Writer& out, const FillState& s, long r, long x1, long x2) {
  long b = s.bold_step;
  long row_side = s.vertical_stroke ? b : 0;
  bool column = false;
  long fixed = 0, a1 = 0, a2 = 0;  // row (or column) and its extent
  switch (s.angle) {
    case 90:
      column = true;
      fixed = r;
      a1 = s.w1 + b - x2;
      a2 = s.w1 + b - x1;
      break;
    case 180:
      fixed = s.h1 + row_side - r;
      a1 = s.w1 + b - x2;
      a2 = s.w1 + b - x1;
      break;
    case 270:
      column = true;
      fixed = s.h1 + row_side - r;
      a1 = x1;
      a2 = x2;
      break;
    default:
      fixed = r;
      a1 = x1;
      a2 = x2;
      break;
  }
  if (s.italic_mode == kItalicUpright || s.italic_mode == kItalicTurned) {
    long c = r * 83 / 256;
    long shift = s.italic_mode == kItalicUpright ? s.slant_total - c : c;
    a1 += shift;
    a2 += shift;
  } else if (s.italic_mode == kItalicVertical || s.italic_mode == kItalicVerticalBack) {
    if (a1 < 0 || fixed < 0) return;
    for (long p = a1; p <= a2; ++p) {
      long d = SlantAt(p, s.slant_total, s.w1);
      long across = s.italic_mode == kItalicVertical ? fixed + d : fixed + s.slant_total - d;
      if (column) out.Pixel(across, p);
      else out.Pixel(p, across);
    }
    return;
  }
  if (column) out.Column(fixed, a1, a2);
  else out.Row(fixed, a1, a2);
}

}  // namespace

void FillSpans(const FillTarget& target, const FillState& s, const Span* spans, size_t count) {
  if (!target.bits || target.row_bytes <= 0 || target.rows <= 0) return;
  Writer out(target, s);
  long w = std::max(s.widening, 0);
  long off = (w + 1) / 2;
  long rows = w + 1 + (s.vertical_stroke ? s.bold_step : 0);
  long extend = s.vertical_stroke ? 0 : s.bold_step;
  for (size_t i = 0; i < count; ++i) {
    const Span& sp = spans[i];
    long row = sp.row;
    if (row < s.first_row || row > long(s.last_row) - w) continue;
    long limit = long(s.right_limit) - off;
    long m = std::min<long>(std::min(sp.left, sp.right) - off, limit);
    long o = std::min<long>(long(std::max(sp.left, sp.right)) + w / 2, limit);
    for (long k = 0; k < rows; ++k) {
      long r = row - off + k + off;
      WriteOne(out, s, r, m + off, o + off + extend);
    }
  }
}

}  // namespace qm::glyph
