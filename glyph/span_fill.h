// Span fill: writes a glyph's spans {row, left x, right x} into a 1-bit bitmap (most
// significant bit leftmost), turning the glyph by 0, 90, 180 or 270 degrees, slanting
// it for synthetic italic and thickening it for synthetic bold. It sets the span bits
// (ink 1) or clears them (ink 0). Every write is clipped to the bitmap's rows and row
// bytes as well as to the row window, whatever the turn, slant or bold.
// Built on span.h; called by the renderer's glyph requests and text output with the
// batches of the stroke interpreter.
#pragma once
#include <cstddef>

#include "glyph/span.h"

namespace qm::glyph {

struct FillTarget {
  unsigned char* bits = nullptr;
  int row_bytes = 0;
  int rows = 0;
};

inline constexpr int kItalicNone = 0;
inline constexpr int kItalicUpright = 512;   // slant of an upright glyph
inline constexpr int kItalicTurned = 1024;   // slant of a turned glyph
inline constexpr int kItalicVertical = 1536; // slants of turned glyphs of a vertical face
inline constexpr int kItalicVerticalBack = 2048;

struct FillState {
  int first_row = 0, last_row = 0;  // row window
  int right_limit = 0;              // glyph width - 1: spans are cut there
  int w1 = 0, h1 = 0;               // glyph width - 1, glyph height - 1
  int angle = 0;                    // 0, 90, 180, 270
  int italic_mode = kItalicNone;
  int slant_total = 0;              // SlantTotal(unturned glyph height)
  int widening = 0;                 // synthetic bold w
  int bold_step = 0;                // b
  bool vertical_stroke = false;     // stroke glyph of a face whose name begins with "@"
  bool set = true;                  // set the bits; false clears them
};

// T = height x 83 / 256.
inline int SlantTotal(int height) { return height * 83 / 256; }

void FillSpans(const FillTarget& target, const FillState& state, const Span* spans, size_t count);

}  // namespace qm::glyph
