// Outline scan conversion: glyph records whose kind is not -1 hold closed contours of
// straight lines and quadratic chains on a 1,024-unit grid per glyph box. They are
// converted with the even-odd rule into the same span batches {row, left x, right x}
// that the stroke interpreter gives, so the span fill serves both.
//
// Memory stays constant whatever the glyph size: the glyph is converted in bands of at
// most 256 pixel rows, with the crossings of one band in the renderer's 32,768-byte work
// buffer used as a node pool; the outline is walked again for each band. When one band
// needs more nodes than the pool holds, it is redone at half height, down to one row; a
// single row that still overflows keeps the crossings that fit.
//
// The body is read within its bytes: a contour length that is negative, too short or
// past the body ends the outline, and a group's point count is cut to the contour.
// Built on span.h and the sub-pixel rules of stroke_program.h; called by the renderer's
// glyph requests (CSX_CSP).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "glyph/span.h"

namespace qm::glyph {

inline constexpr size_t kWorkBufferSize = 32768;
inline constexpr size_t kPoolUnits = kWorkBufferSize / 2;  // 16-bit units
inline constexpr int kBandRows = 256;
inline constexpr int kOutlineGrid = 1024;

// Sub-pixel bits for a glyph box: 4 up to 1,024 pixels, 2 above, 1 above 4,096 (the
// larger side); -1 when a side shifted by them would not fit 16 bits (the glyph is then
// treated as missing).
int OutlineSubpixelBits(int box_width, int box_height);

// Vertical fit of an end-user-defined character: moves every y of the outline (start
// points included) so that its points lie within 0..`extent` where they can, in place.
void FitOutlineVertically(unsigned char* body, size_t length, int extent);

struct OutlineGeometry {
  int box_width = 0, box_height = 0;  // pixels (the cell less the bold widening)
  int left = 0, top = 0;              // offsets of the record's metrics block (0 or negative)
  int row_count = 0;                  // rows 0 .. row_count - 1 of the glyph
};

class OutlineConverter {
 public:
  // `pool` is the work buffer as kPoolUnits 16-bit units, or null when it cannot be
  // had, in which case the glyph yields no spans.
  OutlineConverter(const OutlineGeometry& g, int16_t* pool);

  // Starts on an outline body (the bytes must outlive the conversion).
  void Start(const unsigned char* body, size_t length);
  // Appends up to `max` spans (pixel units) to `out`; 0 once every band is done.
  size_t NextBatch(std::vector<Span>& out, size_t max);

  int subpixel_bits() const { return s_; }
  // Bands converted so far and the height of each (for tests).
  const std::vector<int>& band_heights() const { return bands_; }

 private:
  struct Point {
    int32_t x = 0, y = 0;
  };
  bool BuildBand();  // false when the pool overflowed
  void Walk();
  void Straight(Point a, Point b);
  void Quadratic(Point p0, Point c, Point p1);
  void AddRun(int32_t row, int32_t left, int32_t right);
  void AddCrossing(int32_t row, int32_t x);
  Point Map(int16_t x, int16_t y) const;

  OutlineGeometry g_;
  int16_t* pool_ = nullptr;
  int s_ = 4, t_ = 3;
  bool plain_shift_ = false;
  bool usable_ = true;

  // The body, parsed once: per contour its start point and groups of points.
  struct Group {
    uint8_t kind = 0;
    size_t first = 0, count = 0;  // into points_
  };
  struct Contour {
    int16_t x = 0, y = 0;
    size_t first_group = 0, group_count = 0;
  };
  std::vector<Contour> contours_;
  std::vector<Group> groups_;
  std::vector<int16_t> points_;  // x, y pairs

  // Band state.
  int first_ = 0, last_ = -1, next_first_ = 0;
  bool band_ready_ = false, done_ = false;
  int band_height_ = kBandRows;
  bool overflow_ = false;
  bool single_row_ = false;  // a one-row band keeps what fits
  int16_t heads_[kBandRows];
  int32_t runs_ = -1;        // first run node, or -1 (kept in insertion order)
  int32_t runs_tail_ = -1;
  int32_t used_ = 0;         // pool units taken
  struct Pending {
    bool on = false;
    int32_t row = 0, left = 0, right = 0;
  } pending_;
  // Emission position within the band.
  int32_t emit_run_ = -1;
  int emit_row_ = 0;
  int32_t emit_node_ = -1;
  bool runs_started_ = false;
  std::vector<int> bands_;
};

}  // namespace qm::glyph
