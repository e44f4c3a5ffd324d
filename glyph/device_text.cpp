// The device-pixel frame of the library's text calls (see device_text.h).
#include "glyph/device_text.h"

#include <algorithm>
#include <cmath>
#include <utility>

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

void FillTextLine(HDC dc, POINT corner, int32_t escapement, int64_t length, int32_t offset, int32_t thickness,
                  COLORREF colour) {
  if (length <= 0) return;
  thickness = std::max(1, thickness);
  if (escapement % 900 != 0) {
    // Slanted text: a pen line of the thickness, offset across the direction.
    const double theta = double(escapement) * 0.001745329253;
    const double cs = std::cos(theta), sn = -std::sin(theta);  // y downward
    const double x0 = corner.x - sn * offset, y0 = corner.y + cs * offset;
    HPEN pen = CreatePen(PS_SOLID, thickness, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, int32_t(std::lround(x0)), int32_t(std::lround(y0)), nullptr);
    LineTo(dc, int32_t(std::lround(x0 + cs * double(length))), int32_t(std::lround(y0 + sn * double(length))));
    SelectObject(dc, old);
    DeleteObject(pen);
    return;
  }
  const int64_t v0 = int64_t(offset) - (thickness - 1) / 2, v1 = int64_t(offset) + thickness / 2;
  auto turn = [&](int64_t u, int64_t v) {
    const int64_t sx = corner.x, sy = corner.y;
    switch (escapement) {
      case 900: return std::pair<int64_t, int64_t>{sx + v, sy - 1 - u};
      case 1800: return std::pair<int64_t, int64_t>{sx - 1 - u, sy - 1 - v};
      case 2700: return std::pair<int64_t, int64_t>{sx - 1 - v, sy + u};
      default: return std::pair<int64_t, int64_t>{sx + u, sy + v};
    }
  };
  const auto a = turn(0, v0), b = turn(length - 1, v1);
  auto held = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
  RECT band{held(std::min(a.first, b.first)), held(std::min(a.second, b.second)),
            held(std::max(a.first, b.first) + 1), held(std::max(a.second, b.second) + 1)};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &band, brush);
  DeleteObject(brush);
}

}  // namespace qm::glyph
