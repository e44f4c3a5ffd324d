// Interpreter of stroke glyphs: a glyph body is a list of stroke calls, each running a
// small program (shared in the strk table, or inline) with a few parameter bytes and
// points on a 256 by 256 grid. Programs compute points, draw straight and quadratic
// segments and record, row by row, the left and right boundary of each stroke; the
// result is horizontal spans in pixel units, handed out in batches to the span fill.
//
// Every read is bounded by the call's and the program's length, so a truncated body or
// program just ends; a call keeps its first 8 parameters and 16 points; curve splitting
// stops at 16 levels; registers are 16-bit values that wrap. Programs are fetched
// through a callback (FontReader::ReadStrokeProgram in the renderer).
//
// Each call starts with every point at (0, 0) (an inline program: point 1 at the far
// corner of the box) and with the frame origin (0, 0), axis (dy 256, dx 0), so that a
// rotated point (c, d) reads as (y c, x d) until the program sets a frame of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "glyph/span.h"

namespace qm::glyph {

// Fetches stored program `id` into the buffer; its length, or 0 when missing.
using ProgramFetch = std::function<size_t(uint16_t id, unsigned char* buffer, size_t size)>;

// Brings a span from sub-pixel units (`s` bits) to pixels: by a plain shift when
// `plain`, else by the pixel-centre rule.
Span SpanToPixels(const Span& sub, int s, bool plain);

class StrokeInterpreter {
 public:
  static constexpr size_t kMaxParams = 8;
  static constexpr size_t kMaxPoints = 16;
  static constexpr int kMaxSplitDepth = 16;

  // The glyph box is box_width by box_height pixels (the cell less the bold widening);
  // rows 0 to row_count - 1 may be recorded.
  StrokeInterpreter(int box_width, int box_height, int row_count, ProgramFetch fetch);

  // Starts on a glyph body (the bytes must outlive the interpreter's use of them).
  void Start(const unsigned char* body, size_t length);
  // Appends up to `max` spans (pixel units) to `out`; 0 once the body is exhausted.
  size_t NextBatch(std::vector<Span>& out, size_t max);

  int subpixel_bits() const { return s_; }
  // Point registers as the last call left them (for tests).
  int16_t point_x(size_t i) const { return X_[i % kMaxPoints]; }
  int16_t point_y(size_t i) const { return Y_[i % kMaxPoints]; }
  bool small_mode() const { return small_; }

 private:
  struct Point {
    int32_t x = 0, y = 0;
  };
  struct Side {
    bool pending = false;
    int32_t row = 0, x = 0;
    std::map<int32_t, int32_t> rows;  // emitted values by row
  };
  // The words of the running program.
  struct Words {
    const unsigned char* p = nullptr;
    size_t count = 0;
    size_t pc = 0;
    bool Next(int16_t& w);
  };

  bool RunNextCall();  // false when the body is used up
  void RunProgram(Words words);
  bool ReadFramePoint(Words& w, bool rotated, int16_t& y, int16_t& x);
  Point DrawPoint(int16_t x, int16_t y) const;
  void Straight(Point p0, Point p1);
  void Quadratic(Point p0, Point c, Point p1);
  void Record(int32_t row, int32_t x);
  void Emit(Side& side, bool right);
  void FlushSides();
  void ResetSides();
  void MakeSpans();
  int16_t Coord(uint8_t v, bool horizontal) const;
  int16_t Snap(int32_t v) const;

  int box_w_, box_h_, row_count_;
  ProgramFetch fetch_;
  bool small_ = true;
  int s_ = 4;
  int t_ = 3;
  bool plain_shift_ = false;

  const unsigned char* body_ = nullptr;
  size_t body_len_ = 0, body_pos_ = 0;
  std::deque<Span> queue_;
  std::vector<unsigned char> program_;

  int16_t X_[kMaxPoints] = {}, Y_[kMaxPoints] = {};
  uint8_t raw_[kMaxParams] = {};
  int16_t W_[kMaxParams] = {}, H_[kMaxParams] = {};
  int16_t yo_ = 0, xo_ = 0, dy_ = 256, dx_ = 0;
  bool right_side_ = false;
  Side left_, right_;
};

}  // namespace qm::glyph
