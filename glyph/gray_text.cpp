// Gray text of installed fonts in librvcsp32.so: CSX_ExtTextOutG renders each character
// at twice the size with GetGlyphOutlineA (high single bytes of ANSI text on a Chinese
// code page, and single bytes of a vertical "@" face, as their whole character cell drawn
// with TextOutA), reduces it to five gray levels and blends it
// into the device context through a mask (SRCINVERT, SRCAND, SRCINVERT), and
// CSX_GetTextExtentPoint32G measures at twice the size and halves. Whenever gray output
// does not apply the calls are the drawing layer's own ExtTextOutA and
// GetTextExtentPoint32A. Built on the gray reduction (gray_levels.h), the double-byte
// rules (dbcs.h) and libqmgdi; called by page viewers and RVExtTextOutEU's runs.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "glyph/dbcs.h"
#include "glyph/device_text.h"
#include "glyph/gray_levels.h"
#include "glyph/rvcsp32.h"

namespace qm::glyph {

namespace {

// The characters of a text as (position, byte count): the double-byte rules of the set;
// set 127 reads two bytes at a time while two remain.
struct Piece {
  size_t pos, bytes;
  uint32_t code;
};
std::vector<Piece> Characters(uint8_t set, const unsigned char* text, size_t length) {
  std::vector<Piece> out;
  for (size_t pos = 0; pos < length;) {
    size_t bytes = 1;
    uint32_t code = text[pos];
    if (set == 127 && pos + 1 < length) {
      bytes = 2;
      code = uint32_t(text[pos]) << 8 | text[pos + 1];
    } else {
      code = NextCharacter(set, text, length, pos, bytes);
    }
    out.push_back(Piece{pos, bytes, code});
    pos += bytes;
  }
  return out;
}

// A double-size glyph bitmap (1-bit, rows of 32-bit units) moved onto the grid of 2 by 2
// blocks: an odd origin gets one blank column on the left or one blank row on top, so that
// the blocks start on even double-size pixels from the pen and the baseline and the
// halved origin is exact. Without it a block would straddle two single-size pixels and
// the gray glyph would sit half a pixel off, often a whole one after rounding.
struct AlignedGlyph {
  std::vector<uint8_t> bits;
  uint32_t width = 0, height = 0;
  int32_t origin_x = 0, origin_y = 0;  // double-size, both even
};
AlignedGlyph AlignToBlocks(const std::vector<uint8_t>& bits, uint32_t width, uint32_t height, int32_t origin_x,
                           int32_t origin_y) {
  const uint32_t left = uint32_t(origin_x) & 1, top = uint32_t(origin_y) & 1;
  AlignedGlyph a;
  a.width = width + left;
  a.height = height + top;
  a.origin_x = origin_x - int32_t(left);
  a.origin_y = origin_y + int32_t(top);  // up from the baseline: a blank row above
  const size_t from = MonoRowBytes(width), to = MonoRowBytes(a.width);
  a.bits.assign(to * a.height, 0);
  for (uint32_t r = 0; r < height && (r + 1) * from <= bits.size(); ++r)
    for (uint32_t x = 0; x < width; ++x)
      if (bits[r * from + x / 8] & (0x80 >> (x % 8))) {
        const uint32_t nx = x + left;
        a.bits[(r + top) * to + nx / 8] |= uint8_t(0x80 >> (nx % 8));
      }
  return a;
}

// A double-size glyph: 1-bit rows of 32-bit units, ink 1, and the corner of its box from
// the pen on the baseline (x right, y up), as glyph outlines give it.
struct DoubleGlyph {
  std::vector<uint8_t> bits;
  uint32_t width = 0, height = 0;
  int32_t origin_x = 0, origin_y = 0;
};

// The glyph outline of the double-size font selected in `dc`; false when the font cannot
// give it. A glyph without ink has no bits.
bool OutlineGlyph(HDC dc, uint32_t code, DoubleGlyph& g) {
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GLYPHMETRICS gm{};
  const DWORD size = GetGlyphOutlineA(dc, code, GGO_BITMAP, &gm, 0, nullptr, &identity);
  if (size == GDI_ERROR) return false;
  g.bits.assign(size, 0);
  if (size > 0 && GetGlyphOutlineA(dc, code, GGO_BITMAP, &gm, size, g.bits.data(), &identity) != size) return false;
  if (size == 0) return true;
  g.width = gm.gmBlackBoxX;
  g.height = gm.gmBlackBoxY;
  g.origin_x = gm.gmptGlyphOrigin.x;
  g.origin_y = gm.gmptGlyphOrigin.y;
  return g.bits.size() >= MonoRowBytes(g.width) * g.height;
}

// The whole character cell of one byte drawn with TextOutA in the double-size font into a
// white monochrome bitmap (the cell turned with the escapement; an even number of rows),
// its ink read back; the corner comes from the text metrics: the cell's top left on the
// ascent above the pen, turned.
bool CellGlyph(HDC dc, HFONT double_font, const char* byte, int32_t escapement, const TEXTMETRICA& tm,
               DoubleGlyph& g) {
  SIZE cell{};
  if (!GetTextExtentPoint32A(dc, byte, 1, &cell)) return false;
  const int32_t along = cell.cx, across = tm.tmHeight;
  if (along <= 0 || across <= 0) return true;  // nothing to draw
  const bool turned = escapement == 900 || escapement == 2700;
  const int32_t w = turned ? across : along, h0 = turned ? along : across, h = h0 + (h0 & 1);
  POINT at{0, 0};  // where TextOutA puts the cell's top left corner (turned) in the bitmap
  if (escapement == 900) at = POINT{0, along};
  else if (escapement == 1800) at = POINT{along, across};
  else if (escapement == 2700) at = POINT{across, 0};
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bm = mem ? CreateBitmap(w, h, 1, 1, nullptr) : nullptr;
  bool ok = false;
  if (bm) {
    HGDIOBJ old_bm = SelectObject(mem, bm), old_font = SelectObject(mem, double_font);
    PatBlt(mem, 0, 0, w, h, WHITENESS);
    SetTextColor(mem, 0);
    SetBkMode(mem, TRANSPARENT);
    SetTextAlign(mem, TA_TOP | TA_LEFT);
    ok = TextOutA(mem, at.x, at.y, byte, 1) != 0;
    const size_t row = MonoRowBytes(uint32_t(w));
    g.bits.assign(row * size_t(h), 0);
    for (int32_t y = 0; ok && y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        if (GetPixel(mem, x, y) == 0) g.bits[size_t(y) * row + size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    SelectObject(mem, old_font);
    SelectObject(mem, old_bm);
    DeleteObject(bm);
  }
  if (mem) DeleteDC(mem);
  if (!ok) return false;
  g.width = uint32_t(w);
  g.height = uint32_t(h);
  const int32_t ascent = tm.tmAscent, descent = tm.tmDescent;
  g.origin_x = escapement == 900 ? -ascent : escapement == 1800 ? -along : escapement == 2700 ? -descent : 0;
  g.origin_y = escapement == 900 ? along : escapement == 1800 ? descent : escapement == 2700 ? 0 : ascent;
  return true;
}

// A big-endian 16-bit field of an sfnt table of the selected font.
bool TableWord(HDC dc, const char tag[4], DWORD offset, int32_t& out, bool is_signed) {
  const DWORD t = DWORD(uint8_t(tag[0])) | DWORD(uint8_t(tag[1])) << 8 | DWORD(uint8_t(tag[2])) << 16 |
                  DWORD(uint8_t(tag[3])) << 24;
  uint8_t b[2];
  if (GetFontData(dc, t, offset, b, 2) != 2) return false;
  const uint16_t v = uint16_t(b[0] << 8 | b[1]);
  out = is_signed ? int32_t(int16_t(v)) : int32_t(v);
  return true;
}

// Underline and strike-out: position (up from the baseline) and thickness in device
// pixels, scaled by the ascent over the units per em. A font without the tables takes
// the underline half the descent below the baseline and the strike-out a third of the
// ascent above it, both a twentieth of the height thick (at least 1).
struct Lines {
  int32_t under_pos, under_size, strike_pos, strike_size;
};
Lines LineMetrics(HDC dc, int32_t ascent, int32_t descent) {
  int32_t upem = 0, up = 0, ut = 0, ss = 0, sp = 0;
  const int32_t fallback = std::max(1, (ascent + descent) / 20);
  if (TableWord(dc, "head", 18, upem, false) && upem > 0 && TableWord(dc, "post", 8, up, true) &&
      TableWord(dc, "post", 10, ut, true) && TableWord(dc, "OS/2", 26, ss, true) && TableWord(dc, "OS/2", 28, sp, true))
    return Lines{MulDiv(up, ascent, upem), std::max(1, MulDiv(ut, ascent, upem)), MulDiv(sp, ascent, upem),
                 std::max(1, MulDiv(ss, ascent, upem))};
  return Lines{-std::max(1, descent / 2), fallback, ascent / 3, fallback};
}

}  // namespace

void BlendGray(HDC dc, const uint8_t* gray, uint32_t row_bytes, int32_t width, int32_t height, int32_t x, int32_t y,
               int32_t sx, int32_t sy) {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colours[256];
  } info{};
  info.h.biSize = sizeof info.h;
  info.h.biWidth = int32_t(row_bytes);
  info.h.biHeight = -(sy + height);
  info.h.biPlanes = 1;
  info.h.biBitCount = 8;
  info.h.biClrUsed = 5;
  for (int i = 0; i < 5; ++i) {
    info.colours[i].rgbRed = uint8_t(kGrayPalette[i] >> 16);
    info.colours[i].rgbGreen = uint8_t(kGrayPalette[i] >> 8);
    info.colours[i].rgbBlue = uint8_t(kGrayPalette[i]);
  }
  void* bits = nullptr;
  HDC gdc = CreateCompatibleDC(dc), mdc = CreateCompatibleDC(dc), sdc = CreateCompatibleDC(dc);
  HBITMAP gbm = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  HBITMAP mbm = CreateBitmap(int32_t(row_bytes), sy + height, 1, 1, nullptr);
  HBITMAP sbm = CreateCompatibleBitmap(dc, width, height);
  if (gdc && mdc && sdc && gbm && bits && mbm && sbm) {
    std::memcpy(bits, gray, size_t(row_bytes) * size_t(sy + height));
    HGDIOBJ og = SelectObject(gdc, gbm), om = SelectObject(mdc, mbm), os = SelectObject(sdc, sbm);
    SetBkColor(gdc, kGrayPalette[0]);
    BitBlt(mdc, 0, 0, int32_t(row_bytes), sy + height, gdc, 0, 0, SRCCOPY);  // level 0 -> 1, others 0
    SetTextColor(sdc, 0);
    SetBkColor(sdc, 0xFFFFFF);
    BitBlt(sdc, 0, 0, width, height, dc, x, y, SRCCOPY);
    BitBlt(sdc, 0, 0, width, height, gdc, sx, sy, SRCINVERT);
    BitBlt(sdc, 0, 0, width, height, mdc, sx, sy, SRCAND);
    BitBlt(sdc, 0, 0, width, height, gdc, sx, sy, SRCINVERT);
    BitBlt(dc, x, y, width, height, sdc, 0, 0, SRCCOPY);
    SelectObject(gdc, og);
    SelectObject(mdc, om);
    SelectObject(sdc, os);
  }
  if (gbm) DeleteObject(gbm);
  if (mbm) DeleteObject(mbm);
  if (sbm) DeleteObject(sbm);
  if (gdc) DeleteDC(gdc);
  if (mdc) DeleteDC(mdc);
  if (sdc) DeleteDC(sdc);
}

// Defined with the renderer's exports: the gray switch and the ANSI code page read when
// the library was loaded.
uint32_t GraySwitch();
int LoadedCodePage();

}  // namespace qm::glyph

using namespace qm::glyph;

extern "C" {

CSX_API int32_t CSX_GetTextExtentPoint32G(const LOGFONTA* lf, HDC dc, const char* text, int32_t length, SIZE* out) {
  if (GraySwitch() == 0 || length <= 0 || !text || !lf) return GetTextExtentPoint32A(dc, text, length, out);
  if (!out) return 0;
  LOGFONTA doubled = *lf;
  doubled.lfHeight = int32_t(std::clamp<int64_t>(int64_t(lf->lfHeight) * 2, INT32_MIN, INT32_MAX));
  doubled.lfWidth = int32_t(std::clamp<int64_t>(int64_t(lf->lfWidth) * 2, INT32_MIN, INT32_MAX));
  HFONT font = CreateFontIndirectA(&doubled);
  if (!font) return GetTextExtentPoint32A(dc, text, length, out);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  BOOL ok = GetTextExtentPoint32A(dc, text, length, &size);
  if (old) SelectObject(dc, old);
  DeleteObject(font);
  if (!ok) return 0;
  out->cx = size.cx / 2;
  out->cy = size.cy / 2;
  return 1;
}

CSX_API int32_t CSX_ExtTextOutG(const LOGFONTA* lf, HDC dc, int32_t x, int32_t y, uint32_t options,
                                const RECT* rect, const char* text, uint32_t length, const int32_t* advances) {
  const int32_t device_height = lf ? DeviceLength(dc, lf->lfHeight, true) : 0;
  if (!lf || GraySwitch() == 0 || lf->lfWeight == FW_BOLD || !(GetDeviceCaps(dc, TECHNOLOGY) & 1) ||
      (GetTextColor(dc) & 0xFFFFFF) != 0 || std::abs(int64_t(device_height)) >= 256 || (length > 0 && !text))
    return ExtTextOutA(dc, x, y, options, rect, text, length, advances);
  HDC probe = CreateCompatibleDC(dc);
  if (!probe) return 0;
  DeleteDC(probe);

  // Everything below is in device pixels: the target is put in MM_TEXT at zero origins
  // for the duration and brought back with RestoreDC.
  auto [align, start, clip, device_advances, saved] = EnterDeviceText(dc, x, y, rect, advances, length);
  LOGFONTA plain = *lf, doubled = *lf;
  plain.lfHeight = device_height;
  plain.lfWidth = DeviceLength(dc, lf->lfWidth, false);
  doubled.lfHeight = device_height * 2;
  doubled.lfWidth = plain.lfWidth * 2;
  HFONT plain_font = CreateFontIndirectA(&plain), double_font = CreateFontIndirectA(&doubled);
  HGDIOBJ old_font = SelectObject(dc, double_font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  const int32_t H = (tm.tmHeight + 1) / 2, D = (tm.tmDescent + 1) / 2;
  const int32_t escapement = ((lf->lfEscapement % 3600) + 3600) % 3600;
  // Direction: theta in tenths of a degree, y downward on the device.
  const double theta = double((3600 - escapement) % 3600) * 0.001745329253;
  const double cs = std::cos(theta), sn = std::sin(theta);
  const POINT origin = start;  // the current position moves from here
  if (align & 24) {  // TA_BASELINE or TA_BOTTOM lift the start by the ascent or the height
    const int32_t lift = (align & 24) == TA_BASELINE ? H - D : H;
    if (escapement == 900) start.x -= lift;
    else start.y -= lift;
    if ((align & 24) == TA_BASELINE && rect && clip.bottom - clip.top > lift) clip.top = start.y;
  } else if (escapement == 2700) {
    start.x -= H;
  }
  if ((options & ETO_OPAQUE) && rect) {
    HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
    FillRect(dc, &clip, brush);
    DeleteObject(brush);
  }
  const bool clipped = (options & ETO_CLIPPED) && rect;

  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const auto chars = Characters(lf->lfCharSet, bytes, length);
  int32_t result = 1;
  int64_t pen_x = start.x, pen_y = start.y, moved_x = 0, moved_y = 0;
  const int code_page = LoadedCodePage();
  const bool vertical_face = lf->lfFaceName[0] == '@';
  for (size_t i = 0; i < chars.size(); ++i) {
    const Piece& c = chars[i];
    const bool last = i + 1 == chars.size();
    // High single bytes of ANSI text on a Chinese code page, and single bytes of a
    // vertical face, are drawn as their whole character cell; the rest by glyph outline.
    const bool by_cell = c.bytes == 1 && ((lf->lfCharSet == ANSI_CHARSET && c.code >= 128 && c.code <= 255 &&
                                           (code_page == 950 || code_page == 936)) ||
                                          (vertical_face && c.code <= 255));
    DoubleGlyph g;
    const bool have = by_cell ? CellGlyph(dc, double_font, text + c.pos, escapement, tm, g) : OutlineGlyph(dc, c.code, g);
    int32_t a = 0;
    if (!have) {
      SelectObject(dc, plain_font);
      ExtTextOutA(dc, int32_t(pen_x), int32_t(pen_y), 0, nullptr, text + c.pos, uint32_t(c.bytes), nullptr);
      SIZE s{};
      GetTextExtentPoint32A(dc, text + c.pos, int32_t(c.bytes), &s);
      SelectObject(dc, double_font);
      a = (advances && !last) ? device_advances[c.pos] + (c.bytes == 2 ? device_advances[c.pos + 1] : 0) : s.cx;
      result = 0;
    } else {
      if (advances && !last) {
        a = device_advances[c.pos] + (c.bytes == 2 ? device_advances[c.pos + 1] : 0);
      } else {
        SIZE upto{}, with{};
        GetTextExtentPoint32A(dc, text, int32_t(c.pos), &upto);
        GetTextExtentPoint32A(dc, text, int32_t(c.pos + c.bytes), &with);
        a = (with.cx - upto.cx) / 2;
      }
      const bool left_of_pen = rect && clip.right <= pen_x;
      if (g.width > 0 && g.height > 0 && !left_of_pen) {
        const AlignedGlyph aligned = AlignToBlocks(g.bits, g.width, g.height, g.origin_x, g.origin_y);
        const GrayImageShape shape = GrayShape(aligned.width, aligned.height);
        std::vector<uint8_t> gray(shape.bytes);
        if (ReduceToGrayLevels(aligned.bits.data(), aligned.bits.size(), aligned.width, aligned.height, gray.data(),
                               gray.size())) {
          const int32_t ox = aligned.origin_x / 2, oy = aligned.origin_y / 2;  // even: exact halves
          int32_t dx = ox, dy = H - D - oy;
          if (escapement == 900) dx = H + ox - D, dy = -oy;
          else if (escapement == 1800) dx = ox, dy = D - H - oy;
          else if (escapement == 2700) dx = D + ox - H, dy = -oy;
          int32_t gx = int32_t(pen_x) + dx, gy = int32_t(pen_y) + dy;
          int32_t w = int32_t(shape.width), h = int32_t(shape.height), sx = 0, sy = 0;
          if (clipped) {
            const int32_t l = std::max(gx, clip.left), t = std::max(gy, clip.top);
            const int32_t r = std::min(gx + w, clip.right), b = std::min(gy + h, clip.bottom);
            sx = l - gx, sy = t - gy, w = r - l, h = b - t, gx = l, gy = t;
          }
          if (w > 0 && h > 0) BlendGray(dc, gray.data(), shape.row_bytes, w, h, gx, gy, sx, sy);
        }
      }
    }
    pen_x += int64_t(a * cs);
    pen_y += int64_t(a * sn);
    moved_x += int64_t(a * cs);
    moved_y += int64_t(a * sn);
  }
  if (result == 1 && (moved_x != 0 || moved_y != 0) && (lf->lfUnderline || lf->lfStrikeOut)) {
    SelectObject(dc, plain_font);
    const Lines lines = LineMetrics(dc, H - D, D);
    // Each line from the start point to the pen, its position up from the baseline, turned
    // with the glyphs about the start point.
    const int64_t length = std::llround(std::hypot(double(moved_x), double(moved_y)));
    const COLORREF ink = GetTextColor(dc);
    if (lf->lfUnderline)
      FillTextLine(dc, start, escapement, length, H - D - lines.under_pos, lines.under_size, ink);
    if (lf->lfStrikeOut)
      FillTextLine(dc, start, escapement, length, H - D - lines.strike_pos, lines.strike_size, ink);
  }
  SelectObject(dc, old_font);
  DeleteObject(plain_font);
  DeleteObject(double_font);
  RestoreDC(dc, saved);
  if (align & TA_UPDATECP) {
    POINT end{int32_t(origin.x + moved_x), int32_t(origin.y + moved_y)};
    DPtoLP(dc, &end, 1);
    MoveToEx(dc, end.x, end.y, nullptr);
  }
  return result;
}

}  // extern "C"
