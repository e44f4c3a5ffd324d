// Stroke glyph interpreter (stroke_program.h): call parsing, the coordinate model, the
// opcode table, segment drawing, per-side recording and span pairing.
#include "glyph/stroke_program.h"

#include <algorithm>
#include <cstdlib>

#include "glyph/font_format.h"
#include "platform/le.h"

namespace qm::glyph {

namespace {

// 16-bit registers wrap, as the words they model do.
int16_t Wrap16(int64_t v) { return int16_t(uint16_t(uint64_t(v) & 0xFFFF)); }
// Box sides beyond this are taken as this, so that no coordinate arithmetic overflows.
constexpr int kMaxBox = 65535;
// Signed 16 x 16 bits, shifted right by 8 (8.8 fixed point).
int32_t Mul88(int32_t a, int32_t b) { return (a * b) >> 8; }

}  // namespace

Span SpanToPixels(const Span& sub, int s, bool plain) {
  Span out{sub.row, sub.left >> s, sub.right >> s};
  if (plain) return out;
  int32_t unit = 1 << s, half = unit >> 1, mask = unit - 1;
  int32_t lf = sub.left & mask, rf = sub.right & mask;
  int32_t left = sub.left >> s, right = sub.right >> s;
  if (!(lf < half || (lf == half && rf != half))) ++left;
  if (rf < half) right = std::max(right - 1, 0);
  if (right < left) right = left = sub.left >> s;  // narrower than a pixel
  out.left = left;
  out.right = right;
  return out;
}

StrokeInterpreter::StrokeInterpreter(int box_width, int box_height, int row_count, ProgramFetch fetch)
    : box_w_(std::clamp(box_width, 0, kMaxBox)), box_h_(std::clamp(box_height, 0, kMaxBox)),
      row_count_(row_count),
      fetch_(std::move(fetch)) {
  int larger = std::max(box_w_, box_h_);
  small_ = box_w_ <= 128 && box_h_ <= 128;
  s_ = larger > 4096 ? 1 : larger > 1024 ? 2 : 4;
  t_ = s_ == 4 ? 3 : 1;
  plain_shift_ = box_w_ > 40 || box_h_ > 40;
  program_.resize(kStrokeProgramBuffer);
}

void StrokeInterpreter::Start(const unsigned char* body, size_t length) {
  body_ = body;
  body_len_ = body ? length : 0;
  body_pos_ = 0;
  queue_.clear();
}

size_t StrokeInterpreter::NextBatch(std::vector<Span>& out, size_t max) {
  while (queue_.size() < max && RunNextCall()) {
  }
  size_t n = std::min(max, queue_.size());
  for (size_t i = 0; i < n; ++i) {
    out.push_back(queue_.front());
    queue_.pop_front();
  }
  return n;
}

// ---- Coordinates --------------------------------------------------------------------

int16_t StrokeInterpreter::Coord(uint8_t v, bool horizontal) const {
  int32_t size = horizontal ? box_w_ : box_h_;
  if (small_) return Wrap16((int32_t(v) << s_) * size / 256);
  return Wrap16(int32_t(v) << s_);
}

int16_t StrokeInterpreter::Snap(int32_t v) const { return Wrap16(v & ~((1 << s_) - 1)); }

StrokeInterpreter::Point StrokeInterpreter::DrawPoint(int16_t x, int16_t y) const {
  if (small_) return {x, y};
  return {int32_t(x) * box_w_ / 256, int32_t(y) * box_h_ / 256};
}

bool StrokeInterpreter::Words::Next(int16_t& w) {
  if (pc >= count) return false;
  w = int16_t(le::get16(p + 2 * pc));
  ++pc;
  return true;
}

bool StrokeInterpreter::ReadFramePoint(Words& w, bool rotated, int16_t& y, int16_t& x) {
  int16_t c = 0, d = 0;
  if (!w.Next(c) || !w.Next(d)) return false;
  if (rotated) {
    y = Wrap16(yo_ + ((int64_t(c) * dy_ - int64_t(d) * dx_) >> 8));
    x = Wrap16(xo_ + ((int64_t(d) * dy_ + int64_t(c) * dx_) >> 8));
  } else {
    y = Wrap16(yo_ + ((int64_t(c) * dy_) >> 8));
    x = Wrap16(xo_ + ((int64_t(d) * dx_) >> 8));
  }
  return true;
}

// ---- Calls ----------------------------------------------------------------------------

bool StrokeInterpreter::RunNextCall() {
  if (body_pos_ >= body_len_) return false;
  const unsigned char* p = body_;
  size_t end = body_len_;
  size_t pos = body_pos_;
  uint8_t kind = p[pos++];

  ResetSides();
  for (size_t i = 0; i < kMaxPoints; ++i) X_[i] = Y_[i] = 0;
  for (size_t i = 0; i < kMaxParams; ++i) raw_[i] = 0;
  yo_ = xo_ = 0;
  dy_ = 256;
  dx_ = 0;

  Words words;
  size_t n_params = 0, n_points = 0;
  if (kind == 250) {
    if (pos >= end) return body_pos_ = end, false;
    n_params = p[pos++];
    size_t after = pos + n_params + (n_params & 1);
    if (after + 2 > end) return body_pos_ = end, false;
    for (size_t i = 0; i < n_params && i < kMaxParams; ++i) raw_[i] = p[pos + i];
    pos = after;
    size_t len = le::get16(p + pos);
    pos += 2;
    if (len > end - pos) return body_pos_ = end, false;  // a truncated program ends the body
    words = {p + pos, len / 2, 0};
    pos += len;
    X_[1] = small_ ? Wrap16((box_w_ << s_) - 1) : Wrap16((256 << s_) - 1);
    Y_[1] = small_ ? Wrap16((box_h_ << s_) - 1) : Wrap16((256 << s_) - 1);
  } else {
    uint16_t id = kind;
    if (kind == 255) {
      if (pos + 2 > end) return body_pos_ = end, false;
      id = le::get16(p + pos);
      pos += 2;
    }
    size_t len = fetch_ ? fetch_(id, program_.data(), program_.size()) : 0;
    if (len > program_.size()) len = 0;
    // A missing program is empty: it takes no parameters or points and draws nothing.
    n_params = len >= 1 ? program_[0] : 0;
    n_points = len >= 2 ? program_[1] : 0;
    if (n_params + 2 * n_points > end - pos) return body_pos_ = end, false;
    for (size_t i = 0; i < n_params && i < kMaxParams; ++i) raw_[i] = p[pos + i];
    pos += n_params;
    for (size_t i = 0; i < n_points; ++i) {
      if (i < kMaxPoints) {
        X_[i] = Coord(p[pos], true);
        Y_[i] = Coord(p[pos + 1], false);
      }
      pos += 2;
    }
    words = {program_.data() + 2, len >= 2 ? (len - 2) / 2 : 0, 0};
  }
  body_pos_ = pos;
  for (size_t i = 0; i < kMaxParams; ++i) {
    W_[i] = Coord(raw_[i], true);
    H_[i] = Coord(raw_[i], false);
  }
  RunProgram(words);
  return true;
}

// ---- Programs -------------------------------------------------------------------------

void StrokeInterpreter::RunProgram(Words w) {
  int16_t word = 0;
  while (w.Next(word)) {
    uint16_t u = uint16_t(word);
    int op = u & 0xFF;
    int a = (u >> 12) & 15, b = (u >> 8) & 15;
    auto line = [&] { Straight(DrawPoint(X_[a], Y_[a]), DrawPoint(X_[b], Y_[b])); };
    if (op < 32) {
      int base = op & ~4 & ~16;  // 0, 2, 3, 8, 10, 11 (others draw nothing)
      bool rotated = (op & 16) == 0;
      if (base != 0 && base != 2 && base != 3 && base != 8 && base != 10 && base != 11) continue;
      if (base == 3 && (op & 16)) continue;  // 19 and 23 are not drawing opcodes
      right_side_ = (op & 4) != 0;
      int16_t y = 0, x = 0;
      switch (base) {
        case 0:
          if (!ReadFramePoint(w, rotated, Y_[a], X_[a])) return;
          if (!ReadFramePoint(w, rotated, Y_[b], X_[b])) return;
          line();
          break;
        case 2:
          if (!ReadFramePoint(w, rotated, Y_[b], X_[b])) return;
          line();
          break;
        case 3:
          line();
          break;
        case 8:
        case 10: {
          int16_t n = 0;
          if (!w.Next(n)) return;
          int32_t counter = int32_t(uint16_t(n));
          if (base == 8) {
            if (!ReadFramePoint(w, rotated, Y_[a], X_[a])) return;
            counter -= 1;
          }
          int16_t py = Y_[a], px = X_[a];
          do {
            int16_t cy, cx;
            if (!ReadFramePoint(w, rotated, cy, cx) || !ReadFramePoint(w, rotated, y, x)) return;
            Quadratic(DrawPoint(px, py), DrawPoint(cx, cy), DrawPoint(x, y));
            py = y;
            px = x;
            Y_[b] = y;
            X_[b] = x;
            counter -= 2;
          } while (counter >= 1);
          break;
        }
        case 11: {
          int16_t n = 0;
          if (!w.Next(n)) return;
          uint16_t counter = uint16_t(n);
          int16_t py = Y_[a], px = X_[a], cy, cx;
          if (!ReadFramePoint(w, rotated, cy, cx)) return;
          while (counter > 2 && counter < 32770) {
            if (!ReadFramePoint(w, rotated, y, x)) return;
            Quadratic(DrawPoint(px, py), DrawPoint(cx, cy), DrawPoint(x, y));
            py = y;
            px = x;
            if (!ReadFramePoint(w, rotated, cy, cx)) return;
            counter = uint16_t(counter - 2);
          }
          Quadratic(DrawPoint(px, py), DrawPoint(cx, cy), DrawPoint(X_[b], Y_[b]));
          break;
        }
      }
      continue;
    }
    int k = op & 7;
    int16_t c = 0, d = 0;
    if (op >= 32 && op < 48) {
      if (!w.Next(c) || !w.Next(d)) return;
      int32_t delta = Snap(Mul88(H_[k], c));
      Y_[b] = Wrap16(op < 40 ? Y_[a] + delta : Y_[a] - delta);
    } else if (op >= 64 && op < 80) {
      if (!w.Next(c) || !w.Next(d)) return;
      int32_t delta = Snap(Mul88(W_[k], c));
      X_[b] = Wrap16(op < 72 ? X_[a] + delta : X_[a] - delta);
    } else if (op >= 80 && op < 96) {
      if (!w.Next(c)) return;
      int32_t delta = Snap(Mul88(H_[k], c));
      Y_[b] = Wrap16(op < 88 ? Y_[a] + delta : Y_[a] - delta);
    } else if (op >= 96 && op < 112) {
      if (!w.Next(c)) return;
      int32_t delta = Snap(Mul88(W_[k], c));
      X_[b] = Wrap16(op < 104 ? X_[a] + delta : X_[a] - delta);
    } else if (op == 48) {
      yo_ = Y_[a];
      xo_ = X_[a];
      dy_ = Wrap16(Y_[b] - Y_[a]);
      dx_ = Wrap16(X_[b] - X_[a]);
    } else if (op == 49) {
      yo_ = Y_[a];
      xo_ = X_[b];
      dy_ = Wrap16(Y_[b] - Y_[a]);
      dx_ = Wrap16(X_[a] - X_[b]);
    } else if (op == 50) {
      Y_[b] = Y_[a];
    } else if (op == 51) {
      X_[b] = X_[a];
    } else if (op == 52 || op == 53) {
      if (!ReadFramePoint(w, op == 52, Y_[a], X_[a])) return;
    } else if (op == 112 || op == 113) {
      FlushSides();
      MakeSpans();
      return;
    }
    // 54, 55 and every other opcode: no effect.
  }
  MakeSpans();  // the program ran out of words: values still pending are dropped
}

// ---- Drawing --------------------------------------------------------------------------

void StrokeInterpreter::Straight(Point p0, Point p1) {
  int32_t r0 = p0.y >> s_, r1 = p1.y >> s_;
  if (r0 == r1) {
    Record(r0, std::min(p0.x, p1.x));  // one pixel row: only the start row, with the smaller x
    return;
  }
  Record(r0, p0.x);
  int64_t dxs = int64_t(p1.x) - p0.x, dys = int64_t(p1.y) - p0.y;
  auto x_at = [&](int64_t y) { return int32_t(p0.x + (y - p0.y) * dxs / dys); };
  if (r1 > r0) {
    for (int32_t r = r0 + 1; r <= r1; ++r) Record(r, x_at(int64_t(r) << s_));
  } else {
    for (int32_t r = r0 - 1; r >= r1; --r) Record(r, x_at(int64_t(r + 1) << s_));
  }
  Record(r1, p1.x);
}

void StrokeInterpreter::Quadratic(Point p0, Point c, Point p1) {
  struct Piece {
    Point p0, c, p1;
    int depth;
  };
  Piece stack[kMaxSplitDepth + 2];
  int top = 0;
  stack[top++] = {p0, c, p1, 0};
  int32_t step = 1 << t_;
  while (top > 0) {
    Piece q = stack[--top];
    if (std::abs(q.p1.y - q.p0.y) <= step || q.depth >= kMaxSplitDepth) {
      Straight(q.p0, q.p1);
      continue;
    }
    auto avg = [](Point u, Point v) { return Point{(u.x + v.x) >> 1, (u.y + v.y) >> 1}; };
    Point m01 = avg(q.p0, q.c), m12 = avg(q.c, q.p1), mid = avg(m01, m12);
    // Second half below the first, so the first half is drawn first.
    stack[top++] = {mid, m12, q.p1, q.depth + 1};
    stack[top++] = {q.p0, m01, mid, q.depth + 1};
  }
}

// ---- Recording ----------------------------------------------------------------------

void StrokeInterpreter::Record(int32_t row, int32_t x) {
  if (row < 0 || row >= row_count_) return;
  Side& side = right_side_ ? right_ : left_;
  if (side.pending && side.row == row) {
    side.x = right_side_ ? std::max(side.x, x) : std::min(side.x, x);
    return;
  }
  if (side.pending) Emit(side, right_side_);
  side.pending = true;
  side.row = row;
  side.x = x;
}

void StrokeInterpreter::Emit(Side& side, bool right) {
  auto [it, fresh] = side.rows.try_emplace(side.row, side.x);
  if (!fresh) it->second = right ? std::max(it->second, side.x) : std::min(it->second, side.x);
  side.pending = false;
}

void StrokeInterpreter::FlushSides() {
  if (left_.pending) Emit(left_, false);
  if (right_.pending) Emit(right_, true);
}

void StrokeInterpreter::ResetSides() {
  left_ = Side{};
  right_ = Side{};
  right_side_ = false;
}

namespace {

// The value of the nearest recorded row (the earlier one of two equally near).
int32_t Nearest(const std::map<int32_t, int32_t>& rows, int32_t row) {
  auto hi = rows.lower_bound(row);
  if (hi != rows.end() && hi->first == row) return hi->second;
  if (hi == rows.begin()) return hi->second;
  auto lo = std::prev(hi);
  if (hi == rows.end() || row - lo->first <= hi->first - row) return lo->second;
  return hi->second;
}

}  // namespace

void StrokeInterpreter::MakeSpans() {
  const auto& l = left_.rows;
  const auto& r = right_.rows;
  if (l.empty() && r.empty()) return;
  std::map<int32_t, bool> rows;
  for (const auto& [row, x] : l) rows[row] = true;
  for (const auto& [row, x] : r) rows[row] = true;
  bool have_prev = false;
  Span prev;
  for (const auto& [row, unused] : rows) {
    int32_t a = l.empty() ? Nearest(r, row) : Nearest(l, row);
    int32_t b = r.empty() ? Nearest(l, row) : Nearest(r, row);
    Span sp{row, std::min(a, b), std::max(a, b)};
    if (have_prev && prev.row == row - 1) {  // no gap between this row and the one above
      if (sp.left > prev.right) sp.left = prev.right;
      if (sp.right < prev.left) sp.right = prev.left;
    }
    prev = sp;
    have_prev = true;
    queue_.push_back(SpanToPixels(sp, s_, plain_shift_));
  }
  left_.rows.clear();
  right_.rows.clear();
}

}  // namespace qm::glyph
