// Blits of the drawing layer: BitBlt, StretchBlt, PatBlt, FillRect, StretchDIBits,
// GetDIBits, LineTo, GetPixel and SetPixel. Every raster operation is evaluated from its ternary
// code over the bits of the destination's pixels; stretching takes the nearest source
// pixel; source pixels are first brought into the destination's format (a mono source
// onto colour: 0 takes the text colour, 1 the background colour; a colour source onto
// mono: the background colour becomes 1, anything else 0). Built on gdi_objects.cpp and
// gdi_dc.cpp.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/gdi/gdi_internal.h"

using namespace qm::gdi;

bool qm::gdi::dib_header_usable(const BITMAPINFOHEADER& h) {
  const int bpp = h.biBitCount;
  if (h.biSize < 40 || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
  if (h.biHeight == INT32_MIN) return false;
  return !(bpp <= 8 && h.biClrUsed > (1u << bpp));
}

void qm::gdi::dib_read_colours(Bitmap& b, const BITMAPINFO* info, UINT usage, const Dc* dc, bool keep_reserved) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int bpp = b.bpp;
  const uint8_t* after = reinterpret_cast<const uint8_t*>(info) + h.biSize;
  if (bpp <= 8) {
    uint32_t n = h.biClrUsed ? h.biClrUsed : (1u << bpp);
    b.colours.assign(size_t(1) << bpp, RGBQUAD{0, 0, 0, 0});
    for (uint32_t i = 0; i < n; ++i) {
      if (usage == DIB_PAL_COLORS) {
        WORD idx;
        std::memcpy(&idx, after + 2 * i, 2);
        COLORREF c = resolve(*dc, PALETTEINDEX(idx));
        b.colours[i] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
      } else {
        std::memcpy(&b.colours[i], after + 4 * i, 4);
        if (!keep_reserved) b.colours[i].rgbReserved = 0;
      }
    }
  } else if (h.biCompression == BI_BITFIELDS) {
    std::memcpy(b.masks, h.biSize >= 52 ? reinterpret_cast<const uint8_t*>(info) + 40 : after, 12);
  } else {
    dib_default_masks(b);
  }
}

void qm::gdi::dib_default_masks(Bitmap& b) {
  if (b.bpp == 16) {
    b.masks[0] = 0x7C00;
    b.masks[1] = 0x03E0;
    b.masks[2] = 0x001F;
  } else if (b.bpp == 32) {
    b.masks[0] = 0xFF0000;
    b.masks[1] = 0xFF00;
    b.masks[2] = 0xFF;
  }
}

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

uint32_t rop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i)
    if ((code >> i) & 1) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  return r;
}

bool uses_source(uint8_t code) { return ((code >> 2) & 0x33) != (code & 0x33); }
bool uses_pattern(uint8_t code) { return ((code >> 4) & 0x0F) != (code & 0x0F); }

uint32_t bits_mask(int bpp) { return bpp >= 32 ? 0xFFFFFFFFu : ((1u << bpp) - 1); }

bool same_format(const Bitmap& a, const Bitmap& b) {
  if (a.bpp != b.bpp) return false;
  if (a.bpp <= 8) {
    const auto &ta = a.table(), &tb = b.table();
    if (ta.size() != tb.size()) return false;
    for (size_t i = 0; i < ta.size(); ++i)
      if (ta[i].rgbRed != tb[i].rgbRed || ta[i].rgbGreen != tb[i].rgbGreen || ta[i].rgbBlue != tb[i].rgbBlue)
        return false;
    return true;
  }
  return a.bpp == 24 || std::memcmp(a.masks, b.masks, sizeof a.masks) == 0;
}

// Brings raw source pixels into the destination's format.
class Converter {
 public:
  // bk_for_mono: the colour that becomes 1 when a colour source goes onto a mono bitmap.
  Converter(const Bitmap& src, const Bitmap& dst, const Dc& ddc, COLORREF bk_for_mono)
      : src_(src), dst_(dst) {
    if (dst.mono_ddb() && !src.mono_ddb()) {
      mode_ = ToMono;
      bk_ = resolve(ddc, bk_for_mono);
    } else if (src.mono_ddb() && !dst.mono_ddb()) {
      mode_ = FromMono;
      zero_ = dst.from_rgb(resolve(ddc, ddc.s.text));
      one_ = dst.from_rgb(resolve(ddc, ddc.s.bk));
    } else if (same_format(src, dst) || (src.mono_ddb() && dst.mono_ddb())) {
      mode_ = Raw;
    } else if (src.bpp <= 8) {
      mode_ = ByTable;  // every index converted once
      for (uint32_t i = 0; i < (1u << src.bpp); ++i) table_.push_back(dst.from_rgb(src.to_rgb(i)));
    } else if (dst.bpp > 8) {
      mode_ = Direct;
    } else {
      mode_ = Nearest;  // a nearest-colour search per colour, remembered in a small cache
      cache_key_.assign(kCache, 0xFFFFFFFFu);
      cache_value_.assign(kCache, 0);
    }
  }
  uint32_t operator()(uint32_t raw) {
    switch (mode_) {
      case Raw: return raw;
      case FromMono: return raw ? one_ : zero_;
      case ToMono: return src_.to_rgb(raw) == bk_ ? 1 : 0;
      case ByTable: return table_[raw];
      case Direct: return dst_.from_rgb(src_.to_rgb(raw));
      default: {
        uint32_t slot = (raw * 2654435761u) >> 20;
        if (cache_key_[slot] != raw) {
          cache_key_[slot] = raw;
          cache_value_[slot] = dst_.from_rgb(src_.to_rgb(raw));
        }
        return cache_value_[slot];
      }
    }
  }

 private:
  static constexpr size_t kCache = 4096;
  enum Mode { Raw, FromMono, ToMono, ByTable, Direct, Nearest } mode_ = Raw;
  const Bitmap& src_;
  const Bitmap& dst_;
  COLORREF bk_ = 0;
  uint32_t zero_ = 0, one_ = 0;
  std::vector<uint32_t> table_, cache_key_, cache_value_;
};

struct Span {
  int32_t x, y, w, h;  // device pixels; w and h may be negative (mirrored)
};

// Draws into dst's surface. src may be null for operations without a source.
bool blit(Dc& dst, Span d, const Bitmap* src, Span s, Converter* conv, DWORD rop) {
  Bitmap* out = dst.s.bitmap;
  if (!out) return false;
  uint8_t code = uint8_t(rop >> 16);
  bool need_src = uses_source(code), need_pat = uses_pattern(code);
  if (need_src && !src) return false;
  uint32_t pat = 0;
  if (need_pat) {
    const Brush* b = dst.s.brush;
    if (!b || b->null) return true;  // a null brush paints nothing
    pat = out->from_rgb(resolve(dst, b->colour));
  }
  bool flip_x = false, flip_y = false;
  if (d.w < 0) {
    d.x += d.w;
    d.w = -d.w;
    flip_x = !flip_x;
  }
  if (d.h < 0) {
    d.y += d.h;
    d.h = -d.h;
    flip_y = !flip_y;
  }
  if (need_src) {
    if (s.w < 0) {
      s.x += s.w;
      s.w = -s.w;
      flip_x = !flip_x;
    }
    if (s.h < 0) {
      s.y += s.h;
      s.h = -s.h;
      flip_y = !flip_y;
    }
    if (s.w == 0 || s.h == 0) return d.w == 0 || d.h == 0;
  }
  if (d.w == 0 || d.h == 0) return true;
  RECT area = drawable(dst);
  int32_t x0 = std::max(d.x, area.left), x1 = std::min<int64_t>(int64_t(d.x) + d.w, area.right);
  int32_t y0 = std::max(d.y, area.top), y1 = std::min<int64_t>(int64_t(d.y) + d.h, area.bottom);
  uint32_t mask = bits_mask(out->bpp);
  for (int32_t y = y0; y < y1; ++y) {
    int32_t sy = 0;
    if (need_src) {
      int64_t j = ((2 * int64_t(y - d.y) + 1) * s.h) / (2 * int64_t(d.h));
      if (flip_y) j = s.h - 1 - j;
      sy = int32_t(s.y + j);
      if (sy < 0 || sy >= src->height) continue;
    }
    for (int32_t x = x0; x < x1; ++x) {
      uint32_t sv = 0;
      if (need_src) {
        int64_t i = ((2 * int64_t(x - d.x) + 1) * s.w) / (2 * int64_t(d.w));
        if (flip_x) i = s.w - 1 - i;
        int64_t sx = s.x + i;
        if (sx < 0 || sx >= src->width) continue;
        sv = (*conv)(src->get(int32_t(sx), sy));
      }
      if (code == 0xCC) {
        out->set(x, y, sv);
      } else if (code == 0xF0) {
        out->set(x, y, pat);
      } else {
        out->set(x, y, rop3(code, pat, sv, out->get(x, y)) & mask);
      }
    }
  }
  return true;
}

Span device_span(const Dc& dc, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  POINT a = to_device(dc.s, POINT{x, y});
  POINT b = to_device(dc.s, POINT{clamp32(int64_t(x) + cx), clamp32(int64_t(y) + cy)});
  return Span{a.x, a.y, clamp32(int64_t(b.x) - a.x), clamp32(int64_t(b.y) - a.y)};
}

// A copy of a packed DIB's pixels as a bitmap, or null when the header is not one this
// layer draws. Rows are read as stored; the caller's buffer must hold them.
Bitmap* dib_view(const Dc& dc, const BITMAPINFO* info, const void* bits, UINT usage) {
  if (!info || !bits) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int bpp = h.biBitCount;
  if (!dib_header_usable(h) || h.biWidth <= 0 || h.biHeight == 0) return nullptr;
  int32_t height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  uint64_t bytes = uint64_t(dib_stride(h.biWidth, bpp)) * uint64_t(height);
  if (bytes > (uint64_t(1) << 31)) return nullptr;
  auto* b = new (std::nothrow) Bitmap;
  if (!b) return nullptr;
  b->width = h.biWidth;
  b->height = height;
  b->bpp = bpp;
  b->stride = dib_stride(h.biWidth, bpp);
  b->dib = true;
  b->top_down = h.biHeight < 0;
  try {
    b->store.assign(static_cast<const uint8_t*>(bits), static_cast<const uint8_t*>(bits) + bytes);
  } catch (const std::bad_alloc&) {
    delete b;
    return nullptr;
  }
  dib_read_colours(*b, info, usage, &dc, true);
  return b;
}

}  // namespace

extern "C" {

BOOL StretchBlt(HDC hdst, int32_t x, int32_t y, int32_t cx, int32_t cy, HDC hsrc, int32_t sx, int32_t sy,
                int32_t scx, int32_t scy, DWORD rop) {
  Lock lock(state().mu);
  Dc* dst = dc_of(hdst);
  if (!dst) return 0;
  Dc* src = hsrc ? dc_of(hsrc) : nullptr;
  if (hsrc && !src) return 0;
  Span d = device_span(*dst, x, y, cx, cy);
  if (!src || !src->s.bitmap) {
    if (uses_source(uint8_t(rop >> 16))) return 0;
    return blit(*dst, d, nullptr, Span{}, nullptr, rop);
  }
  Span s = device_span(*src, sx, sy, scx, scy);
  Bitmap* sb = src->s.bitmap;
  if (sb == dst->s.bitmap) {  // a copy within one surface reads the pixels as they were
    Bitmap copy = *sb;
    copy.selected = nullptr;
    Converter conv(copy, *dst->s.bitmap, *dst, resolve(*src, src->s.bk));
    return blit(*dst, d, &copy, s, &conv, rop);
  }
  Converter conv(*sb, *dst->s.bitmap, *dst, resolve(*src, src->s.bk));
  return blit(*dst, d, sb, s, &conv, rop);
}

BOOL BitBlt(HDC dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HDC src, int32_t sx, int32_t sy, DWORD rop) {
  return StretchBlt(dst, x, y, cx, cy, src, sx, sy, cx, cy, rop);
}

BOOL PatBlt(HDC hdc, int32_t x, int32_t y, int32_t cx, int32_t cy, DWORD rop) {
  if (uses_source(uint8_t(rop >> 16))) return 0;
  return StretchBlt(hdc, x, y, cx, cy, nullptr, 0, 0, 0, 0, rop);
}

int32_t FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc || !rect) return 0;
  Brush* b = find<Brush>(brush, Kind::Brush);
  if (!b) return 0;
  POINT a = to_device(dc->s, POINT{rect->left, rect->top});
  POINT c = to_device(dc->s, POINT{rect->right, rect->bottom});
  Span d{std::min(a.x, c.x), std::min(a.y, c.y), std::abs(c.x - a.x), std::abs(c.y - a.y)};
  Brush* old = dc->s.brush;
  dc->s.brush = b;
  bool ok = blit(*dc, d, nullptr, Span{}, nullptr, PATCOPY);
  dc->s.brush = old;
  return ok ? 1 : 0;
}

int32_t StretchDIBits(HDC hdc, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t sx, int32_t sy,
                      int32_t scx, int32_t scy, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc || !dc->s.bitmap) return 0;
  if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return 0;
  Bitmap* src = dib_view(*dc, info, bits, usage);
  if (!src) return 0;
  // Source y counts from the bottom row of a bottom-up DIB.
  int32_t top = src->top_down ? sy : src->height - sy - scy;
  Span d = device_span(*dc, x, y, cx, cy);
  Converter conv(*src, *dc->s.bitmap, *dc, resolve(*dc, dc->s.bk));
  bool ok = blit(*dc, d, src, Span{sx, top, scx, scy}, &conv, rop);
  delete src;
  if (!ok) return 0;
  return scy < 0 ? -scy : scy;
}

int32_t GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  Bitmap* b = find<Bitmap>(hbm, Kind::Bitmap);
  if (!dc || !b || !info || usage != DIB_RGB_COLORS) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < 40) return 0;
  if (!bits && h.biBitCount == 0) {  // describe the bitmap
    h.biWidth = b->width;
    h.biHeight = b->height;
    h.biPlanes = 1;
    h.biBitCount = WORD(b->bpp);
    h.biCompression = BI_RGB;
    h.biSizeImage = dib_stride(b->width, b->bpp) * uint32_t(b->height);
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    return 1;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (h.biCompression != BI_RGB) return 0;
  if (bpp <= 8 && bpp != b->bpp) return 0;  // palette output only at the bitmap's own depth
  if (h.biWidth != b->width || h.biHeight == 0) return 0;
  bool top_down = h.biHeight < 0;
  int32_t rows = top_down ? -h.biHeight : h.biHeight;
  if (rows != b->height) return 0;
  h.biSizeImage = dib_stride(b->width, bpp) * uint32_t(rows);
  if (bpp <= 8) {
    const auto& t = b->table();
    for (size_t i = 0; i < (size_t(1) << bpp); ++i)
      info->bmiColors[i] = i < t.size() ? RGBQUAD{t[i].rgbBlue, t[i].rgbGreen, t[i].rgbRed, 0} : RGBQUAD{0, 0, 0, 0};
  }
  if (!bits) return 1;
  if (start >= UINT(rows)) return 0;
  UINT n = std::min<UINT>(lines, UINT(rows) - start);
  Bitmap out;
  out.width = b->width;
  out.height = int32_t(n);
  out.bpp = bpp;
  out.stride = dib_stride(b->width, bpp);
  out.dib = true;
  out.top_down = true;
  out.store.assign(size_t(out.stride) * n, 0);
  dib_default_masks(out);
  if (bpp <= 8) out.colours = b->table();
  for (UINT i = 0; i < n; ++i) {
    UINT dib_row = start + i;  // rows in the caller's DIB order
    int32_t src_y = top_down ? int32_t(dib_row) : rows - 1 - int32_t(dib_row);
    for (int32_t x = 0; x < b->width; ++x) {
      uint32_t raw = b->get(x, src_y);
      out.set(x, int32_t(i), bpp <= 8 ? raw : out.from_rgb(b->to_rgb(raw)));
    }
  }
  std::memcpy(bits, out.store.data(), out.store.size());
  return int32_t(n);
}

BOOL LineTo(HDC hdc, int32_t x, int32_t y) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc) return 0;
  POINT from = to_device(dc->s, dc->s.pos), to = to_device(dc->s, POINT{x, y});
  dc->s.pos = POINT{x, y};
  const Pen* pen = dc->s.pen;
  Bitmap* b = dc->s.bitmap;
  if (!b || !pen || pen->style == PS_NULL) return 1;
  // The pen's width in device pixels, along x.
  int64_t width = pen->width <= 1 ? 1 : pen->width;
  if (dc->s.map_mode != MM_TEXT) width = std::abs(int64_t(MulDiv(int32_t(width), dc->s.viewport_ext.cx, dc->s.window_ext.cx)));
  if (width < 1) width = 1;
  if (width > 4096) width = 4096;
  uint32_t v = b->from_rgb(resolve(*dc, pen->colour));
  RECT area = drawable(*dc);
  int64_t lo = -(width - 1) / 2, hi = width / 2;
  auto plot = [&](int64_t px, int64_t py) {
    for (int64_t yy = py + lo; yy <= py + hi; ++yy)
      for (int64_t xx = px + lo; xx <= px + hi; ++xx)
        if (xx >= area.left && xx < area.right && yy >= area.top && yy < area.bottom) b->set(int32_t(xx), int32_t(yy), v);
  };
  // Bresenham's walk; the last point is left out.
  int64_t x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
  int64_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int64_t err = dx + dy;
  // Points far outside the surface are walked only while they can still reach it.
  int64_t steps = std::max(dx, -dy);
  if (steps > int64_t(1) << 24) return 1;
  while (x0 != x1 || y0 != y1) {
    plot(x0, y0);
    int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  return 1;
}

COLORREF GetPixel(HDC hdc, int32_t x, int32_t y) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc || !dc->s.bitmap) return CLR_INVALID;
  POINT p = to_device(dc->s, POINT{x, y});
  RECT r = drawable(*dc);
  if (p.x < r.left || p.x >= r.right || p.y < r.top || p.y >= r.bottom) return CLR_INVALID;
  return dc->s.bitmap->to_rgb(dc->s.bitmap->get(p.x, p.y));
}

COLORREF SetPixel(HDC hdc, int32_t x, int32_t y, COLORREF colour) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc || !dc->s.bitmap) return CLR_INVALID;
  POINT p = to_device(dc->s, POINT{x, y});
  RECT r = drawable(*dc);
  if (p.x < r.left || p.x >= r.right || p.y < r.top || p.y >= r.bottom) return CLR_INVALID;
  Bitmap* b = dc->s.bitmap;
  uint32_t v = b->from_rgb(resolve(*dc, colour));
  b->set(p.x, p.y, v);
  return b->to_rgb(v);
}

}  // extern "C"
