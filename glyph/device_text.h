// The device-pixel frame shared by the library's text calls (text_out.cpp, gray_text.cpp):
// logical lengths in device pixels, and the start point, clip rectangle and advances of
// one call turned into device pixels while the DC is put in MM_TEXT at zero origins.
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

}  // namespace qm::glyph
