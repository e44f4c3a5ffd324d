// The device-pixel frame of the library's text calls (see device_text.h).
#include "glyph/device_text.h"

#include <algorithm>

namespace qm::glyph {

int32_t DeviceLength(HDC dc, int32_t v, bool vertical) {
  POINT p[2] = {{0, 0}, {vertical ? 0 : v, vertical ? v : 0}};
  if (!LPtoDP(dc, p, 2)) return v;
  return vertical ? p[1].y - p[0].y : p[1].x - p[0].x;
}

DeviceTextFrame EnterDeviceText(HDC dc, int32_t x, int32_t y, const RECT* rect, const int32_t* advances,
                                size_t length) {
  DeviceTextFrame f{GetTextAlign(dc), POINT{x, y}, RECT{}, {}, 0};
  if (f.align & TA_UPDATECP) GetCurrentPositionEx(dc, &f.start);
  LPtoDP(dc, &f.start, 1);
  if (rect) {
    POINT c[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    LPtoDP(dc, c, 2);
    f.clip = RECT{std::min(c[0].x, c[1].x), std::min(c[0].y, c[1].y), std::max(c[0].x, c[1].x),
                  std::max(c[0].y, c[1].y)};
  }
  if (advances)
    for (size_t i = 0; i < length; ++i) f.advances.push_back(DeviceLength(dc, advances[i], false));
  f.saved = SaveDC(dc);
  SetMapMode(dc, MM_TEXT);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  return f;
}

}  // namespace qm::glyph
