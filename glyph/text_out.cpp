// Text output of document faces in librvcsp32.so: RVExtTextOut draws a string glyph by
// glyph with the slot's face (CSX_CSP bitmaps blitted as 1-bit bitmaps in the text
// colour), along the escapement, with alignment, current position, opaque and clipped
// rectangles, advance arrays, underline and strike-out. RVExtTextOutEU and
// CSX_GetTextExtentEU mix the document face (end-user-defined characters) with an
// installed font (the rest), run by run. Built on the CSX_ functions, run splitting
// (text_runs.h) and libqmgdi; called by page viewers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "glyph/dbcs.h"
#include "glyph/device_text.h"
#include "glyph/rvcsp32.h"
#include "glyph/text_runs.h"

namespace qm::glyph {
// Defined with the renderer's exports: the device font of the slot's current face, and
// the gray glyph images of document faces.
bool SlotDeviceFont(int32_t slot, LOGFONTA& out, uint8_t& char_set);
int32_t RenderGrayGlyph(int32_t slot, uint32_t code, uint8_t* gray, CSX_GlyphMetrics* metrics);
}  // namespace qm::glyph

namespace {

// Draws a 1-bit glyph (ink where a bit is 0, rows of 16-bit units) at device (x, y):
// transparent backgrounds keep the target under the paper, opaque ones paint it.
void BlitGlyph(HDC dc, HDC mem, const std::vector<unsigned char>& bits, int32_t w, int32_t h, int32_t x, int32_t y,
               int32_t sx, int32_t sy, int32_t cw, int32_t ch) {
  HBITMAP bm = CreateBitmap(w, h, 1, 1, bits.data());
  if (!bm) return;
  HGDIOBJ old = SelectObject(mem, bm);
  if (GetBkMode(dc) == TRANSPARENT) {
    const COLORREF text = GetTextColor(dc), bk = GetBkColor(dc);
    SetTextColor(dc, 0);
    SetBkColor(dc, 0xFFFFFF);
    BitBlt(dc, x, y, cw, ch, mem, sx, sy, MERGEPAINT);  // ink -> white
    SetTextColor(dc, text);
    BitBlt(dc, x, y, cw, ch, mem, sx, sy, SRCAND);  // white ink -> text colour
    SetBkColor(dc, bk);
  } else {
    BitBlt(dc, x, y, cw, ch, mem, sx, sy, SRCCOPY);
  }
  SelectObject(mem, old);
  DeleteObject(bm);
}

int32_t CountFace(const LOGFONTA*, const void*, DWORD, intptr_t data) {
  ++*reinterpret_cast<int*>(data);
  return 0;
}

bool InstalledFamily(const LOGFONTA& lf) {
  std::string name(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  if (name.empty()) return false;
  int found = 0;
  QmEnumFontFamiliesCharSet(nullptr, name.c_str(), lf.lfCharSet, CountFace, reinterpret_cast<intptr_t>(&found));
  return found > 0;
}

uint32_t Gray();

// Installed-font text: gray when the switch is on, else ExtTextOutA; single-byte text
// with bytes of 0x80 or more goes in runs (each such byte alone) along the current position.
int32_t DrawInstalled(const LOGFONTA& lf, HDC dc, int32_t x, int32_t y, uint32_t options, const RECT* rect,
                      const char* text, uint32_t length, const int32_t* advances) {
  auto draw = [&](int32_t px, int32_t py, const char* t, uint32_t n, const int32_t* a) {
    return Gray() ? CSX_ExtTextOutG(&lf, dc, px, py, options, rect, t, n, a)
                  : ExtTextOutA(dc, px, py, options, rect, t, n, a);
  };
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  bool high = false;
  for (uint32_t i = 0; i < length && !high; ++i) high = bytes[i] >= 0x80;
  if (lf.lfCharSet != 0 || !high) return draw(x, y, text, length, advances);
  const UINT align = GetTextAlign(dc);
  POINT kept{};
  if (!(align & TA_UPDATECP)) {
    GetCurrentPositionEx(dc, &kept);
    SetTextAlign(dc, align | TA_UPDATECP);
    MoveToEx(dc, x, y, nullptr);
  }
  int32_t result = 0;
  for (const qm::glyph::TextRun& r : qm::glyph::SplitHighByteRuns(bytes, length))
    result = draw(x, y, text + r.start, uint32_t(r.length), advances ? advances + r.start : nullptr);
  if (!(align & TA_UPDATECP)) {
    SetTextAlign(dc, align);
    MoveToEx(dc, kept.x, kept.y, nullptr);
  }
  return result;
}

// The document face of the slot for lf (system-font switch off while choosing, then on),
// and whether an installed family of the face name exists.
bool DocumentFace(int32_t slot, const LOGFONTA& lf) {
  CSX_EnableSystemFont(slot, 0);
  const bool found = CSX_SetFont(slot, &lf) == 1;
  CSX_EnableSystemFont(slot, 1);
  return found;
}

}  // namespace

namespace qm::glyph {
uint32_t GraySwitch();
}  // namespace qm::glyph

namespace {
uint32_t Gray() { return qm::glyph::GraySwitch(); }
}  // namespace

extern "C" {

CSX_API int32_t RVExtTextOut(int32_t slot, HDC dc, int32_t x, int32_t y, uint32_t options, const RECT* rect,
                             const char* text, int32_t length, const int32_t* advances) {
  LOGFONTA lf{};
  uint8_t set = 0;
  CSX_FontInfo info{};
  info.size = sizeof info;
  if (!qm::glyph::SlotDeviceFont(slot, lf, set) || !CSX_QueryFontInfo(slot, &info)) return 0;
  if (length < 0 || (length > 0 && !text)) length = 0;
  if (GetMapMode(dc) != MM_TEXT) {
    SIZE we{}, ve{};
    GetWindowExtEx(dc, &we);
    GetViewportExtEx(dc, &ve);
    CSX_SetWindowExt(slot, we.cx == 0 ? 1 : we.cx, we.cy == 0 ? 1 : std::abs(we.cy));
    CSX_SetViewportExt(slot, ve.cx == 0 ? 1 : ve.cx, ve.cy == 0 ? 1 : std::abs(ve.cy));
    CSX_QueryFontInfo(slot, &info);
  }
  HDC mem = CreateCompatibleDC(dc);
  if (!mem) return 0;
  // Gray glyphs: black text on a display, the device height below 256 pixels either way.
  const bool gray = Gray() != 0 && (GetTextColor(dc) & 0xFFFFFF) == 0 && (GetDeviceCaps(dc, TECHNOLOGY) & 1) &&
                    std::abs(int64_t(lf.lfHeight)) < 256;
  auto glyph = [&](uint16_t code, unsigned char* bits, CSX_GlyphMetrics* m) {
    return gray ? qm::glyph::RenderGrayGlyph(slot, code, bits, m) : CSX_CSP(slot, code, bits, m);
  };

  auto [align, start, clip, device_advances, saved] =
      qm::glyph::EnterDeviceText(dc, x, y, rect, advances, size_t(length));

  const int32_t escapement = ((lf.lfEscapement % 3600) + 3600) % 3600;
  const double theta = double((3600 - escapement) % 3600) * 0.001745329253;
  const double cs = std::cos(theta), sn = std::sin(theta);
  const POINT origin = start;
  const int32_t ascent = info.ascent, descent = info.descent;
  if (align & 24) {
    const int32_t lift = (align & 24) == TA_BASELINE ? ascent : ascent + descent;
    if (escapement == 900) start.x -= lift;
    else start.y -= lift;
    if ((align & 24) == TA_BASELINE && rect && clip.bottom - clip.top > lift) clip.top = start.y;
  }
  int32_t column = 0;  // turned by 2700: glyphs sit left of the pen
  if (!(align & 24) && escapement == 2700) column = -(ascent + descent);
  if ((options & ETO_OPAQUE) && rect) {
    HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
    FillRect(dc, &clip, brush);
    DeleteObject(brush);
  }
  const bool clipped = (options & ETO_CLIPPED) && rect;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  int64_t moved_x = 0, moved_y = 0;
  for (size_t pos = 0; pos < size_t(length);) {
    size_t n = 1;
    const uint16_t code = qm::glyph::NextCharacter(set, bytes, size_t(length), pos, n);
    const bool last = pos + n >= size_t(length);
    CSX_GlyphMetrics m{};
    const int32_t size = glyph(code, nullptr, &m);
    int32_t a = m.advance;
    if (advances && !last) a = device_advances[pos] + (n == 2 ? device_advances[pos + 1] : 0);
    const int64_t pen_x = start.x + moved_x + (escapement == 2700 ? column : 0), pen_y = start.y + moved_y;
    if (size > 0 && !(rect && clip.right <= pen_x)) {
      std::vector<unsigned char> bits(size_t(size), gray ? 0 : 0xFF);
      if (glyph(code, bits.data(), &m) == size && m.width > 0 && m.height > 0) {
        int32_t dx = m.originX, dy = m.originY;
        if (escapement == 900) dx = m.originY, dy = -(m.originX + m.height);
        else if (escapement == 1800) dx = -(m.originX + m.width), dy = -(m.originY + m.height);
        else if (escapement == 2700) dx = -(m.originY + m.width), dy = m.originX;
        int32_t gx = int32_t(pen_x) + dx, gy = int32_t(pen_y) + dy, w = m.width, h = m.height, sx = 0, sy = 0;
        if (clipped) {
          const int32_t l = std::max(gx, clip.left), t = std::max(gy, clip.top);
          const int32_t r = std::min(gx + w, clip.right), b = std::min(gy + h, clip.bottom);
          sx = l - gx, sy = t - gy, w = r - l, h = b - t, gx = l, gy = t;
        }
        if (w > 0 && h > 0 && gray)
          qm::glyph::BlendGray(dc, bits.data(), uint32_t(m.width + 3) / 4 * 4, w, h, gx, gy, sx, sy);
        else if (w > 0 && h > 0)
          BlitGlyph(dc, mem, bits, m.width, m.height, gx, gy, sx, sy, w, h);
      }
    }
    moved_x += int64_t(a * cs);
    moved_y += int64_t(a * sn);
    pos += n;
  }
  if ((moved_x != 0 || moved_y != 0) && (lf.lfUnderline || lf.lfStrikeOut)) {
    // Lines run from the start point across the glyphs' cells, turned as they are; at
    // 2700 they move with the glyph column.
    const int64_t length = std::llround(std::hypot(double(moved_x), double(moved_y)));
    const POINT corner{start.x + (escapement == 2700 ? column : 0), start.y};
    const COLORREF ink = GetTextColor(dc);
    if (lf.lfUnderline)
      qm::glyph::FillTextLine(dc, corner, escapement, length, ascent - info.lineMetric[1], info.lineMetric[0], ink);
    if (lf.lfStrikeOut)
      qm::glyph::FillTextLine(dc, corner, escapement, length, ascent - info.lineMetric[3], info.lineMetric[2], ink);
  }
  RestoreDC(dc, saved);
  DeleteDC(mem);
  if (align & TA_UPDATECP) {
    POINT end{int32_t(origin.x + moved_x), int32_t(origin.y + moved_y)};
    DPtoLP(dc, &end, 1);
    MoveToEx(dc, end.x, end.y, nullptr);
  }
  return 1;
}

CSX_API int32_t RVExtTextOutEU(int32_t slot, const LOGFONTA* lf, HDC dc, int32_t x, int32_t y, uint32_t options,
                               const RECT* rect, const char* text, int32_t length, const int32_t* advances) {
  if (!lf || !(slot == -2 || (slot >= 1 && slot <= 20))) return 0;
  if (length < 0 || (length > 0 && !text)) length = 0;
  bool found = false;
  if (slot != -2) {
    found = DocumentFace(slot, *lf);
    if (found && !InstalledFamily(*lf)) return RVExtTextOut(slot, dc, x, y, options, rect, text, length, advances);
  }
  HFONT font = CreateFontIndirectA(lf);
  if (!font) return 0;
  HGDIOBJ old = SelectObject(dc, font);
  int32_t result = 0;
  if (!found) {
    result = slot == -2 ? DrawInstalled(*lf, dc, x, y, options, rect, text, uint32_t(length), advances)
                        : ExtTextOutA(dc, x, y, options, rect, text, uint32_t(length), advances);
  } else {
    const UINT align = GetTextAlign(dc);
    POINT kept{};
    if (!(align & TA_UPDATECP)) {
      GetCurrentPositionEx(dc, &kept);
      SetTextAlign(dc, align | TA_UPDATECP);
      MoveToEx(dc, x, y, nullptr);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (const qm::glyph::TextRun& r : qm::glyph::SplitEudcRuns(lf->lfCharSet, bytes, size_t(length))) {
      const int32_t* a = advances ? advances + r.start : nullptr;
      result = r.special ? RVExtTextOut(slot, dc, x, y, options, rect, text + r.start, int32_t(r.length), a)
                         : DrawInstalled(*lf, dc, x, y, options, rect, text + r.start, uint32_t(r.length), a);
    }
    if (!(align & TA_UPDATECP)) {
      SetTextAlign(dc, align);
      MoveToEx(dc, kept.x, kept.y, nullptr);
    }
  }
  SelectObject(dc, old);
  DeleteObject(font);
  return result;
}

CSX_API uint32_t CSX_GetTextExtentEU(int32_t slot, const LOGFONTA* lf, HDC dc, const char* text, int32_t length) {
  if (!lf || !(slot == -2 || (slot >= 1 && slot <= 20))) return 0;
  if (length < 0 || (length > 0 && !text)) length = 0;
  auto pack = [](int32_t w, int32_t h) { return uint32_t(uint16_t(h)) << 16 | uint16_t(w); };
  bool found = false;
  if (slot != -2) {
    found = DocumentFace(slot, *lf);
    if (found && !InstalledFamily(*lf)) return CSX_GetTextExtent(slot, text, length);
  }
  HFONT font = CreateFontIndirectA(lf);
  if (!font) return 0;
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  uint32_t result = 0;
  if (slot == -2) {
    if (Gray()) CSX_GetTextExtentPoint32G(lf, dc, text, length, &size);
    else GetTextExtentPointA(dc, text, length, &size);
    result = pack(size.cx, size.cy);
  } else if (!found || length == 0) {
    GetTextExtentPoint32A(dc, text, length, &size);
    result = pack(size.cx, size.cy);
  } else {
    int32_t width = 0, height = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (const qm::glyph::TextRun& r : qm::glyph::SplitEudcRuns(lf->lfCharSet, bytes, size_t(length))) {
      if (r.special) {
        const uint32_t e = CSX_GetTextExtent(slot, text + r.start, int32_t(r.length));
        width += int32_t(e & 0xFFFF);
        height = std::max(height, int32_t(e >> 16));
      } else {
        SIZE s{};
        if (Gray()) CSX_GetTextExtentPoint32G(lf, dc, text + r.start, int32_t(r.length), &s);
        else GetTextExtentPoint32A(dc, text + r.start, int32_t(r.length), &s);
        width += s.cx;
        height = std::max(height, int32_t(s.cy));
      }
    }
    result = pack(width, height);
  }
  SelectObject(dc, old);
  DeleteObject(font);
  return result;
}

}  // extern "C"
