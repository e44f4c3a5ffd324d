// Device contexts of the drawing layer: memory DCs and the screen's DC, their state
// (mapping modes with origins and extents, colours, background mode, text alignment,
// current position, stretch mode, one clip rectangle), SaveDC/RestoreDC, object and
// palette selection, palette realisation on a palette screen, and GetDeviceCaps. Built
// on gdi_objects.cpp; the blits in gdi_blit.cpp read the state through to_device() and
// drawable().
#include <algorithm>
#include <new>
#include <utility>

#include "platform/gdi/gdi_internal.h"

namespace qm::gdi {

bool live_dc(HDC hdc) {
  State& st = state();
  Dc* dc = reinterpret_cast<Dc*>(hdc);
  return dc && (dc == st.screen_dc || std::find(st.dcs.begin(), st.dcs.end(), dc) != st.dcs.end());
}

Dc* dc_of(HDC hdc) { return live_dc(hdc) ? reinterpret_cast<Dc*>(hdc) : nullptr; }

namespace {

int32_t scale(int32_t v, int32_t num, int32_t den) {
  if (num == den) return v;
  int32_t r = MulDiv(v, num, den);
  return r;
}

}  // namespace

POINT to_device(const DcState& s, POINT p) {
  int64_t x = int64_t(p.x) - s.window_org.x, y = int64_t(p.y) - s.window_org.y;
  if (s.map_mode != MM_TEXT) {
    x = scale(clamp32(x), s.viewport_ext.cx, s.window_ext.cx);
    y = scale(clamp32(y), s.viewport_ext.cy, s.window_ext.cy);
  }
  return POINT{clamp32(x + s.viewport_org.x), clamp32(y + s.viewport_org.y)};
}

RECT drawable(const Dc& dc) {
  RECT r{0, 0, 0, 0};
  if (!dc.s.bitmap) return r;
  r.right = dc.s.bitmap->width;
  r.bottom = dc.s.bitmap->height;
  if (dc.s.clipped) {
    r.left = std::max(r.left, dc.s.clip.left);
    r.top = std::max(r.top, dc.s.clip.top);
    r.right = std::min(r.right, dc.s.clip.right);
    r.bottom = std::min(r.bottom, dc.s.clip.bottom);
  }
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

}  // namespace qm::gdi

using namespace qm::gdi;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Runs f on the DC's state under the layer's lock; fallback for a dead handle.
template <class R, class F>
R with_dc(HDC hdc, R fallback, F f) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc) return fallback;
  return f(*dc);
}

}  // namespace

extern "C" {

HDC CreateCompatibleDC(HDC hdc) {
  State& st = state();
  Lock lock(st.mu);
  ensure_screen();
  if (hdc && !dc_of(hdc)) return nullptr;
  auto* dc = new (std::nothrow) Dc;
  if (!dc) return nullptr;
  dc->s.bitmap = default_bitmap();
  dc->s.brush = static_cast<Brush*>(GetStockObject(WHITE_BRUSH));
  dc->s.pen = static_cast<Pen*>(GetStockObject(BLACK_PEN));
  dc->s.palette = static_cast<Palette*>(GetStockObject(DEFAULT_PALETTE));
  st.dcs.push_back(dc);
  return reinterpret_cast<HDC>(dc);
}

BOOL DeleteDC(HDC hdc) {
  State& st = state();
  Lock lock(st.mu);
  Dc* dc = dc_of(hdc);
  if (!dc || dc->screen) return 0;
  if (dc->s.bitmap && !dc->s.bitmap->stock) dc->s.bitmap->selected = nullptr;
  st.dcs.erase(std::find(st.dcs.begin(), st.dcs.end(), dc));
  delete dc;
  return 1;
}

int32_t GetDeviceCaps(HDC hdc, int32_t index) {
  return with_dc(hdc, 0, [&](Dc& dc) -> int32_t {
    const QmScreenKind& k = state().kind;
    bool palette = k.paletteEntries > 0;
    switch (index) {
      case TECHNOLOGY: return k.printer ? DT_RASPRINTER : DT_RASDISPLAY;
      case HORZRES: return dc.screen || !dc.s.bitmap ? k.width : dc.s.bitmap->width;
      case VERTRES: return dc.screen || !dc.s.bitmap ? k.height : dc.s.bitmap->height;
      case BITSPIXEL: return palette ? (k.paletteEntries > 16 ? 8 : 4) : 32;
      case PLANES: return 1;
      case NUMCOLORS: return palette ? std::min(20, k.paletteEntries) : -1;
      case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB |
               (palette ? RC_PALETTE : 0);
      case LOGPIXELSX:
      case LOGPIXELSY: return k.printer ? 300 : 96;
      case SIZEPALETTE: return palette ? k.paletteEntries : 0;
      case NUMRESERVED: return palette ? std::min(20, k.paletteEntries) : 0;
      case COLORRES: return palette ? 18 : 24;
      default: return 0;
    }
  });
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  return with_dc(hdc, HGDIOBJ(nullptr), [&](Dc& dc) -> HGDIOBJ {
    if (!obj || !live_object(obj)) return nullptr;
    switch (obj->kind) {
      case Kind::Bitmap: {
        auto* b = static_cast<Bitmap*>(obj);
        if (dc.screen) return nullptr;
        if (b == dc.s.bitmap) return b;
        if (b->selected) return nullptr;  // a bitmap lives in one DC at a time
        Bitmap* old = dc.s.bitmap;
        if (old && !old->stock) old->selected = nullptr;
        if (!b->stock) b->selected = &dc;
        dc.s.bitmap = b;
        return old;
      }
      case Kind::Brush: {
        HGDIOBJ old = dc.s.brush;
        dc.s.brush = static_cast<Brush*>(obj);
        return old;
      }
      case Kind::Pen: {
        HGDIOBJ old = dc.s.pen;
        dc.s.pen = static_cast<Pen*>(obj);
        return old;
      }
      case Kind::Region:
        return reinterpret_cast<HGDIOBJ>(intptr_t(SelectClipRgn(hdc, obj)));
      case Kind::Font: {
        HGDIOBJ old = dc.s.font ? dc.s.font : default_font();
        dc.s.font = obj == default_font() ? nullptr : static_cast<Font*>(obj);
        return old;
      }
      default:
        return nullptr;
    }
  });
}

HPALETTE SelectPalette(HDC hdc, HPALETTE pal, BOOL) {
  return with_dc(hdc, HPALETTE(nullptr), [&](Dc& dc) -> HPALETTE {
    Palette* p = find<Palette>(pal, Kind::Palette);
    if (!p) return nullptr;
    HPALETTE old = dc.s.palette;
    dc.s.palette = p;
    return old;
  });
}

UINT RealizePalette(HDC hdc) {
  return with_dc(hdc, UINT(0), [&](Dc& dc) -> UINT {
    State& st = state();
    if (st.kind.paletteEntries == 0 || !dc.s.palette || dc.s.palette->stock) return 0;
    UINT n = UINT(std::min<size_t>(dc.s.palette->entries.size(), st.system_palette.size()));
    for (UINT i = 0; i < n; ++i) {
      const PALETTEENTRY& e = dc.s.palette->entries[i];
      st.system_palette[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
    return n;
  });
}

int32_t SaveDC(HDC hdc) {
  return with_dc(hdc, 0, [&](Dc& dc) {
    dc.saved.push_back(dc.s);
    return int32_t(dc.saved.size());
  });
}

BOOL RestoreDC(HDC hdc, int32_t saved) {
  return with_dc(hdc, 0, [&](Dc& dc) -> BOOL {
    int32_t n = int32_t(dc.saved.size());
    int32_t level = saved < 0 ? n + 1 + saved : saved;
    if (level < 1 || level > n) return 0;
    DcState s = dc.saved[size_t(level - 1)];
    dc.saved.resize(size_t(level - 1));
    // Objects deleted since the save are not brought back.
    if (!live_object(s.brush)) s.brush = dc.s.brush;
    if (!live_object(s.pen)) s.pen = dc.s.pen;
    if (!live_object(s.palette)) s.palette = dc.s.palette;
    s.bitmap = dc.s.bitmap;
    dc.s = s;
    return 1;
  });
}

int32_t SetMapMode(HDC hdc, int32_t mode) {
  return with_dc(hdc, 0, [&](Dc& dc) -> int32_t {
    if (mode != MM_TEXT && mode != MM_ANISOTROPIC) return 0;
    int32_t old = dc.s.map_mode;
    dc.s.map_mode = mode;
    if (mode == MM_TEXT) {
      dc.s.window_ext = SIZE{1, 1};
      dc.s.viewport_ext = SIZE{1, 1};
    }
    return old;
  });
}

int32_t GetMapMode(HDC hdc) {
  return with_dc(hdc, 0, [&](Dc& dc) { return dc.s.map_mode; });
}

BOOL SetWindowOrgEx(HDC hdc, int32_t x, int32_t y, POINT* old) {
  return with_dc(hdc, 0, [&](Dc& dc) {
    if (old) *old = dc.s.window_org;
    dc.s.window_org = POINT{x, y};
    return 1;
  });
}

BOOL SetViewportOrgEx(HDC hdc, int32_t x, int32_t y, POINT* old) {
  return with_dc(hdc, 0, [&](Dc& dc) {
    if (old) *old = dc.s.viewport_org;
    dc.s.viewport_org = POINT{x, y};
    return 1;
  });
}

// Extents change only under MM_ANISOTROPIC; a zero extent is refused.
BOOL SetWindowExtEx(HDC hdc, int32_t x, int32_t y, SIZE* old) {
  return with_dc(hdc, 0, [&](Dc& dc) -> BOOL {
    if (old) *old = dc.s.window_ext;
    if (dc.s.map_mode != MM_ANISOTROPIC) return 1;
    if (x == 0 || y == 0) return 0;
    dc.s.window_ext = SIZE{x, y};
    return 1;
  });
}

BOOL SetViewportExtEx(HDC hdc, int32_t x, int32_t y, SIZE* old) {
  return with_dc(hdc, 0, [&](Dc& dc) -> BOOL {
    if (old) *old = dc.s.viewport_ext;
    if (dc.s.map_mode != MM_ANISOTROPIC) return 1;
    if (x == 0 || y == 0) return 0;
    dc.s.viewport_ext = SIZE{x, y};
    return 1;
  });
}

BOOL GetWindowOrgEx(HDC hdc, POINT* out) {
  return with_dc(hdc, 0, [&](Dc& dc) { return out ? (*out = dc.s.window_org, 1) : 0; });
}
BOOL GetWindowExtEx(HDC hdc, SIZE* out) {
  return with_dc(hdc, 0, [&](Dc& dc) { return out ? (*out = dc.s.window_ext, 1) : 0; });
}
BOOL GetViewportOrgEx(HDC hdc, POINT* out) {
  return with_dc(hdc, 0, [&](Dc& dc) { return out ? (*out = dc.s.viewport_org, 1) : 0; });
}
BOOL GetViewportExtEx(HDC hdc, SIZE* out) {
  return with_dc(hdc, 0, [&](Dc& dc) { return out ? (*out = dc.s.viewport_ext, 1) : 0; });
}

BOOL LPtoDP(HDC hdc, POINT* points, int32_t count) {
  return with_dc(hdc, 0, [&](Dc& dc) -> BOOL {
    if (!points || count < 0) return 0;
    for (int32_t i = 0; i < count; ++i) points[i] = to_device(dc.s, points[i]);
    return 1;
  });
}

BOOL DPtoLP(HDC hdc, POINT* points, int32_t count) {
  return with_dc(hdc, 0, [&](Dc& dc) -> BOOL {
    if (!points || count < 0) return 0;
    const DcState& s = dc.s;
    for (int32_t i = 0; i < count; ++i) {
      POINT p = points[i];
      if (s.map_mode == MM_TEXT) {
        points[i] = POINT{clamp32(int64_t(p.x) - s.viewport_org.x + s.window_org.x),
                          clamp32(int64_t(p.y) - s.viewport_org.y + s.window_org.y)};
      } else {
        points[i] = POINT{clamp32(int64_t(MulDiv(clamp32(int64_t(p.x) - s.viewport_org.x), s.window_ext.cx,
                                                 s.viewport_ext.cx)) + s.window_org.x),
                          clamp32(int64_t(MulDiv(clamp32(int64_t(p.y) - s.viewport_org.y), s.window_ext.cy,
                                                 s.viewport_ext.cy)) + s.window_org.y)};
      }
    }
    return 1;
  });
}

COLORREF SetTextColor(HDC hdc, COLORREF c) {
  return with_dc(hdc, CLR_INVALID, [&](Dc& dc) { return std::exchange(dc.s.text, c); });
}
COLORREF GetTextColor(HDC hdc) {
  return with_dc(hdc, CLR_INVALID, [&](Dc& dc) { return dc.s.text; });
}
COLORREF SetBkColor(HDC hdc, COLORREF c) {
  return with_dc(hdc, CLR_INVALID, [&](Dc& dc) { return std::exchange(dc.s.bk, c); });
}
COLORREF GetBkColor(HDC hdc) {
  return with_dc(hdc, CLR_INVALID, [&](Dc& dc) { return dc.s.bk; });
}
int32_t SetBkMode(HDC hdc, int32_t mode) {
  return with_dc(hdc, 0, [&](Dc& dc) -> int32_t {
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    return std::exchange(dc.s.bk_mode, mode);
  });
}
int32_t GetBkMode(HDC hdc) {
  return with_dc(hdc, 0, [&](Dc& dc) { return dc.s.bk_mode; });
}
UINT SetTextAlign(HDC hdc, UINT align) {
  return with_dc(hdc, UINT(0xFFFFFFFF), [&](Dc& dc) { return std::exchange(dc.s.align, align); });
}
UINT GetTextAlign(HDC hdc) {
  return with_dc(hdc, UINT(0xFFFFFFFF), [&](Dc& dc) { return dc.s.align; });
}
int32_t SetStretchBltMode(HDC hdc, int32_t mode) {
  return with_dc(hdc, 0, [&](Dc& dc) -> int32_t {
    if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
    return std::exchange(dc.s.stretch, mode);
  });
}
int32_t GetStretchBltMode(HDC hdc) {
  return with_dc(hdc, 0, [&](Dc& dc) { return dc.s.stretch; });
}

BOOL MoveToEx(HDC hdc, int32_t x, int32_t y, POINT* old) {
  return with_dc(hdc, 0, [&](Dc& dc) {
    if (old) *old = dc.s.pos;
    dc.s.pos = POINT{x, y};
    return 1;
  });
}

BOOL GetCurrentPositionEx(HDC hdc, POINT* out) {
  return with_dc(hdc, 0, [&](Dc& dc) { return out ? (*out = dc.s.pos, 1) : 0; });
}

// The region's rectangle is in device pixels, as the platform has it; null removes the clip.
int32_t SelectClipRgn(HDC hdc, HRGN rgn) {
  return with_dc(hdc, ERROR, [&](Dc& dc) -> int32_t {
    if (!rgn) {
      dc.s.clipped = false;
      return SIMPLEREGION;
    }
    Region* r = find<Region>(rgn, Kind::Region);
    if (!r) return ERROR;
    dc.s.clipped = true;
    dc.s.clip = r->rect;
    return r->rect.left >= r->rect.right || r->rect.top >= r->rect.bottom ? NULLREGION : SIMPLEREGION;
  });
}

int32_t IntersectClipRect(HDC hdc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return with_dc(hdc, ERROR, [&](Dc& dc) -> int32_t {
    POINT a = to_device(dc.s, POINT{left, top}), b = to_device(dc.s, POINT{right, bottom});
    RECT r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    if (dc.s.clipped) {
      r.left = std::max(r.left, dc.s.clip.left);
      r.top = std::max(r.top, dc.s.clip.top);
      r.right = std::min(r.right, dc.s.clip.right);
      r.bottom = std::min(r.bottom, dc.s.clip.bottom);
    }
    dc.s.clipped = true;
    dc.s.clip = r;
    return r.left >= r.right || r.top >= r.bottom ? NULLREGION : SIMPLEREGION;
  });
}

// The clip box in logical units (the whole surface when there is no clip).
int32_t GetClipBox(HDC hdc, RECT* out) {
  if (!out) return ERROR;
  RECT d;
  int32_t kind = with_dc(hdc, ERROR, [&](Dc& dc) -> int32_t {
    d = drawable(dc);
    return d.left >= d.right || d.top >= d.bottom ? NULLREGION : SIMPLEREGION;
  });
  if (kind == ERROR) return ERROR;
  POINT p[2] = {{d.left, d.top}, {d.right, d.bottom}};
  DPtoLP(hdc, p, 2);
  *out = RECT{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x), std::max(p[0].y, p[1].y)};
  return kind;
}

BOOL GdiFlush(void) { return 1; }

}  // extern "C"
