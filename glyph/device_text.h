// The device-pixel frame shared by the library's text calls (text_out.cpp, gray_text.cpp):
// logical lengths in device pixels, and the start point, clip rectangle and advances of
// one call turned into device pixels while the DC is put in MM_TEXT at zero origins; and
// the blend of gray glyph images (defined in gray_text.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/qmgdi.h"

namespace qm::glyph {

// Device pixels of a logical length along x or y of the DC.
int32_t DeviceLength(HDC dc, int32_t v, bool vertical);

struct DeviceTextFrame {
  UINT align;                     // the DC's text alignment
  POINT start;                    // (x, y), or the current position with TA_UPDATECP
  RECT clip;                      // the rectangle, ordered; empty without one
  std::vector<int32_t> advances;  // one a byte, when advances are given
  int saved;                      // the DC state to give RestoreDC when done
};

// Reads the call's frame in device pixels, then saves the DC and puts it in MM_TEXT with
// zero window and viewport origins; the caller ends with RestoreDC(dc, frame.saved).
DeviceTextFrame EnterDeviceText(HDC dc, int32_t x, int32_t y, const RECT* rect, const int32_t* advances,
                                size_t length);

// Fills an underline or strike-out: the band of pixels u in [0, length) along the
// writing direction and v in [offset - (thickness - 1) / 2, offset + thickness / 2]
// across it (downward at escapement 0) from the corner point, turned with the text about
// that point by the escapement (0, 900, 1800 or 2700) as the glyphs are.
void FillTextLine(HDC dc, POINT corner, int32_t escapement, int64_t length, int32_t offset, int32_t thickness,
                  COLORREF colour);

// Blends a gray image (levels 0-4, rows of row_bytes; the part from row sy, column sx,
// width by height) at device (x, y) of `dc` (in MM_TEXT while drawing) through a mask:
// level 0 leaves the target, the others paint their gray.
void BlendGray(HDC dc, const uint8_t* gray, uint32_t row_bytes, int32_t width, int32_t height, int32_t x, int32_t y,
               int32_t sx, int32_t sy);

}  // namespace qm::glyph
