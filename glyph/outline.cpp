// Outline scan conversion (outline.h): body parsing, the vertical fit of end-user-
// defined characters, bands over the node pool, crossings and pending runs, curve
// splitting and even-odd emission.
#include "glyph/outline.h"

#include <algorithm>
#include <cstdlib>

#include "glyph/stroke_program.h"
#include "platform/le.h"

namespace qm::glyph {

namespace {

constexpr size_t kContourHeader = 6;  // i16 length, i16 start x, i16 start y
constexpr int kMaxSplitDepth = 16;

// Calls `contour(start offset)` and `group(kind, first point offset, count)` for the
// body's contours and groups, within the body's bytes: a contour length that is negative,
// shorter than its header or past the body ends the outline; a group's points are cut
// to its contour.
template <typename OnContour, typename OnGroup>
void ParseBody(const unsigned char* body, size_t length, OnContour contour, OnGroup group) {
  if (!body || length < 2) return;
  size_t count = le::get16(body);
  size_t pos = 2;
  for (size_t c = 0; c < count; ++c) {
    if (length - pos < kContourHeader) return;
    int16_t len = int16_t(le::get16(body + pos));
    if (len < int16_t(kContourHeader) || size_t(len) > length - pos) return;
    size_t end = pos + size_t(len);
    contour(pos + 2);
    size_t at = pos + kContourHeader;
    while (end - at >= 2) {
      uint8_t kind = body[at];
      size_t n = body[at + 1];
      at += 2;
      n = std::min(n, (end - at) / 4);
      group(kind, at, n);
      at += 4 * n;
    }
    pos = end;
  }
}

int16_t S16(const unsigned char* p) { return int16_t(le::get16(p)); }

}  // namespace

int OutlineSubpixelBits(int box_width, int box_height) {
  if (box_width < 0 || box_height < 0) return -1;
  int larger = std::max(box_width, box_height);
  int s = larger > 4096 ? 1 : larger > 1024 ? 2 : 4;
  if ((int64_t(larger) << s) > 32767) return -1;
  return s;
}

void FitOutlineVertically(unsigned char* body, size_t length, int extent) {
  std::vector<size_t> ys;  // offsets of every y
  ParseBody(
      body, length, [&](size_t start) { ys.push_back(start + 2); },
      [&](uint8_t, size_t first, size_t n) {
        for (size_t i = 0; i < n; ++i) ys.push_back(first + 4 * i + 2);
      });
  if (ys.empty()) return;
  int lo = 32767, hi = -32768;
  for (size_t at : ys) {
    int y = S16(body + at);
    lo = std::min(lo, y);
    hi = std::max(hi, y);
  }
  int a = extent, d = 0;
  if (lo >= 0 && hi > a) d = hi - a >= lo ? -lo : a - hi;
  else if (lo < 0 && hi <= a) d = -lo >= a - hi ? a - hi : -lo;
  if (d == 0) return;
  for (size_t at : ys) le::put16(body + at, uint16_t(S16(body + at) + d));
}

OutlineConverter::OutlineConverter(const OutlineGeometry& g, int16_t* pool) : g_(g), pool_(pool) {
  s_ = OutlineSubpixelBits(g.box_width, g.box_height);
  usable_ = pool_ != nullptr && s_ >= 0;
  if (s_ < 0) s_ = 4;
  t_ = s_ == 4 ? 3 : 1;
  plain_shift_ = g.box_width > 40 || g.box_height > 40;
}

void OutlineConverter::Start(const unsigned char* body, size_t length) {
  contours_.clear();
  groups_.clear();
  points_.clear();
  ParseBody(
      body, length,
      [&](size_t start) {
        Contour c;
        c.x = S16(body + start);
        c.y = S16(body + start + 2);
        c.first_group = groups_.size();
        contours_.push_back(c);
      },
      [&](uint8_t kind, size_t first, size_t n) {
        groups_.push_back({kind, points_.size() / 2, n});
        for (size_t i = 0; i < 2 * n; ++i) points_.push_back(S16(body + first + 2 * i));
        ++contours_.back().group_count;
      });
  next_first_ = 0;
  band_ready_ = false;
  done_ = !usable_ || g_.row_count <= 0;
  band_height_ = kBandRows;
  bands_.clear();
}

OutlineConverter::Point OutlineConverter::Map(int16_t x, int16_t y) const {
  int64_t dx = int64_t(x) - g_.left, dy = int64_t(y) - g_.top;
  int64_t w = g_.box_width, h = g_.box_height;
  if (g_.box_height > 128) {
    return {int32_t(dx * (int64_t(1) << s_) * w / kOutlineGrid),
            int32_t(dy * (int64_t(1) << s_) * h / kOutlineGrid)};
  }
  return {int32_t((dx * w / kOutlineGrid) * (int64_t(1) << s_)),
          int32_t((dy * h / kOutlineGrid) * (int64_t(1) << s_))};
}

// ---- One band -------------------------------------------------------------------------

bool OutlineConverter::BuildBand() {
  for (;;) {
    first_ = next_first_;
    last_ = std::min(first_ + band_height_ - 1, g_.row_count - 1);
    single_row_ = first_ == last_;
    std::fill(std::begin(heads_), std::end(heads_), int16_t(-1));
    runs_ = runs_tail_ = -1;
    used_ = 0;
    pending_ = {};
    overflow_ = false;
    Walk();
    if (!overflow_ || single_row_) break;
    band_height_ = std::max(1, band_height_ / 2);  // too many nodes: redo the band lower
  }
  bands_.push_back(last_ - first_ + 1);
  return !overflow_;
}

void OutlineConverter::Walk() {
  for (const Contour& c : contours_) {
    Point start = Map(c.x, c.y), cur = start;
    for (size_t gi = c.first_group; gi < c.first_group + c.group_count; ++gi) {
      const Group& g = groups_[gi];
      const int16_t* p = points_.data() + 2 * g.first;
      if (g.kind == 1) {
        for (size_t i = 0; i < g.count; ++i) {
          Point next = Map(p[2 * i], p[2 * i + 1]);
          Straight(cur, next);
          cur = next;
        }
      } else if (g.kind == 2 && g.count > 0) {
        if (g.count == 1) {
          Point next = Map(p[0], p[1]);
          Straight(cur, next);
          cur = next;
        } else {
          // Every point but the last is a control point; between two control points the
          // curve passes through their midpoint.
          for (size_t i = 0; i + 1 < g.count; ++i) {
            Point ctl = Map(p[2 * i], p[2 * i + 1]);
            Point end = Map(p[2 * i + 2], p[2 * i + 3]);
            if (i + 2 < g.count) end = {(ctl.x + end.x) >> 1, (ctl.y + end.y) >> 1};
            Quadratic(cur, ctl, end);
            cur = end;
          }
        }
      }
    }
    if (cur.x != start.x || cur.y != start.y) Straight(cur, start);
  }
}

void OutlineConverter::Straight(Point a, Point b) {
  if (a.x == b.x && a.y == b.y) return;  // a point has no extent
  if (a.y == b.y) {
    int32_t row = a.y >> s_;
    if (row >= first_ && row <= last_) AddRun(row, std::min(a.x, b.x), std::max(a.x, b.x));
    return;
  }
  if (a.y > b.y) std::swap(a, b);
  int64_t top = int64_t(first_) << s_, bottom = int64_t(last_ + 1) << s_;
  if (b.y < top || a.y >= bottom) return;  // wholly above or below the band
  int32_t r_first = (a.y >> s_) + 1, r_last = b.y >> s_;
  if (r_first > r_last) {
    // Within one pixel row: joins the pending run where it meets one of its ends.
    int32_t row = a.y >> s_, l = std::min(a.x, b.x), r = std::max(a.x, b.x);
    if (pending_.on && pending_.row == row) {
      if (r == pending_.left) pending_.left = l;
      else if (l == pending_.right) pending_.right = r;
    } else {
      pending_ = {true, row, l, r};
    }
    return;
  }
  if (pending_.on) {
    if (pending_.row >= first_ && pending_.row <= last_) AddRun(pending_.row, pending_.left, pending_.right);
    pending_.on = false;
  }
  int32_t from = std::max(r_first, first_), to = std::min(r_last, last_);
  int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
  for (int32_t r = from; r <= to; ++r) {
    int64_t x = a.x + ((int64_t(r) << s_) - a.y) * dx / dy;
    AddCrossing(r, int32_t(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)));
  }
}

void OutlineConverter::Quadratic(Point p0, Point c, Point p1) {
  struct Piece {
    Point p0, c, p1;
    int depth;
  };
  Piece stack[kMaxSplitDepth + 2];
  int top = 0;
  stack[top++] = {p0, c, p1, 0};
  int32_t step = 1 << t_;
  auto avg = [](Point u, Point v) { return Point{(u.x + v.x) >> 1, (u.y + v.y) >> 1}; };
  while (top > 0) {
    Piece q = stack[--top];
    Point m01 = avg(q.p0, q.c), m12 = avg(q.c, q.p1), mid = avg(m01, m12);
    if ((std::abs(mid.x - q.c.x) <= step && std::abs(mid.y - q.c.y) <= step) ||
        q.depth >= kMaxSplitDepth) {
      Straight(q.p0, q.p1);
      continue;
    }
    stack[top++] = {mid, m12, q.p1, q.depth + 1};
    stack[top++] = {q.p0, m01, mid, q.depth + 1};
  }
}

namespace {
int16_t ClampX(int32_t x) { return int16_t(std::clamp(x, 0, 32767)); }
}  // namespace

void OutlineConverter::AddRun(int32_t row, int32_t left, int32_t right) {
  if (used_ + 4 > int32_t(kPoolUnits)) {
    overflow_ = true;
    return;
  }
  int32_t n = used_;
  used_ += 4;
  pool_[n] = int16_t(row);
  pool_[n + 1] = ClampX(left);
  pool_[n + 2] = ClampX(right);
  pool_[n + 3] = -1;
  if (runs_tail_ < 0) runs_ = n;
  else pool_[runs_tail_ + 3] = int16_t(n);
  runs_tail_ = n;
}

void OutlineConverter::AddCrossing(int32_t row, int32_t x) {
  if (used_ + 2 > int32_t(kPoolUnits)) {
    overflow_ = true;
    return;
  }
  int32_t n = used_;
  used_ += 2;
  int16_t v = ClampX(x);
  pool_[n] = v;
  // Before the first crossing with a larger x, after equal ones.
  int16_t* link = &heads_[row - first_];
  while (*link >= 0 && pool_[*link] <= v) link = &pool_[*link + 1];
  pool_[n + 1] = *link;
  *link = int16_t(n);
}

// ---- Emission -------------------------------------------------------------------------

size_t OutlineConverter::NextBatch(std::vector<Span>& out, size_t max) {
  size_t made = 0;
  while (made < max && !done_) {
    if (!band_ready_) {
      if (next_first_ > g_.row_count - 1) {
        done_ = true;
        break;
      }
      BuildBand();
      band_ready_ = true;
      emit_run_ = runs_;
      emit_row_ = 0;
      emit_node_ = heads_[0];
    }
    while (made < max && emit_run_ >= 0) {
      Span sub{pool_[emit_run_], pool_[emit_run_ + 1], pool_[emit_run_ + 2]};
      out.push_back(SpanToPixels(sub, s_, plain_shift_));
      ++made;
      emit_run_ = pool_[emit_run_ + 3];
    }
    while (made < max && emit_row_ <= last_ - first_) {
      if (emit_node_ < 0 || pool_[emit_node_ + 1] < 0) {  // no complete pair left in the row
        ++emit_row_;
        emit_node_ = emit_row_ <= last_ - first_ ? heads_[emit_row_] : -1;
        continue;
      }
      int32_t second = pool_[emit_node_ + 1];
      Span sub{first_ + emit_row_, pool_[emit_node_], pool_[second]};
      out.push_back(SpanToPixels(sub, s_, plain_shift_));
      ++made;
      emit_node_ = pool_[second + 1];
    }
    if (emit_run_ < 0 && emit_row_ > last_ - first_) {
      band_ready_ = false;
      next_first_ = last_ + 1;
      band_height_ = kBandRows;
    }
  }
  return made;
}

}  // namespace qm::glyph
