// GDI objects of the drawing layer: the registry of live handles, stock objects, the
// process-wide screen (true colour or a palette device, display or printer), bitmaps
// (mono and compatible device bitmaps, DIB sections) with their pixel access and colour
// conversion, solid brushes, pens, rectangle regions and palettes. Built on
// gdi_internal.h; the device contexts (gdi_dc.cpp) and blits (gdi_blit.cpp) use it.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdi/gdi_internal.h"

namespace qm::gdi {

namespace {

// The 20 colours of the default palette: ten at the start, ten at the end.
const uint8_t kDefaultColours[20][3] = {
    {0, 0, 0},       {0x80, 0, 0},    {0, 0x80, 0},    {0x80, 0x80, 0},    {0, 0, 0x80},
    {0x80, 0, 0x80}, {0, 0x80, 0x80}, {0xC0, 0xC0, 0xC0}, {0xC0, 0xDC, 0xC0}, {0xA6, 0xCA, 0xF0},
    {0xFF, 0xFB, 0xF0}, {0xA0, 0xA0, 0xA4}, {0x80, 0x80, 0x80}, {0xFF, 0, 0},   {0, 0xFF, 0},
    {0xFF, 0xFF, 0},  {0, 0, 0xFF},   {0xFF, 0, 0xFF}, {0, 0xFF, 0xFF},    {0xFF, 0xFF, 0xFF}};

RGBQUAD quad(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

void reset_system_palette(State& st) {
  st.system_palette.clear();
  int n = st.kind.paletteEntries;
  if (n <= 0) return;
  st.system_palette.assign(size_t(n), quad(0, 0, 0));
  int front = std::min(10, (n + 1) / 2), back = std::min(10, n / 2);
  for (int i = 0; i < front; ++i)
    st.system_palette[size_t(i)] = quad(kDefaultColours[i][0], kDefaultColours[i][1], kDefaultColours[i][2]);
  for (int i = 0; i < back; ++i) {
    const uint8_t* c = kDefaultColours[19 - i];
    st.system_palette[size_t(n - 1 - i)] = quad(c[0], c[1], c[2]);
  }
}

int screen_bpp(const QmScreenKind& k) {
  if (k.paletteEntries <= 0) return 32;
  return k.paletteEntries > 16 ? 8 : 4;
}

Bitmap* new_bitmap(int32_t w, int32_t h, int bpp) {
  auto* b = new (std::nothrow) Bitmap;
  if (!b) return nullptr;
  b->width = w;
  b->height = h;
  b->bpp = bpp;
  b->stride = dib_stride(w, bpp);
  try {
    b->store.assign(size_t(b->stride) * size_t(h), 0);
  } catch (const std::bad_alloc&) {
    delete b;
    return nullptr;
  }
  return b;
}

// A device bitmap in the screen's own format.
Bitmap* screen_format_bitmap(State& st, int32_t w, int32_t h) {
  Bitmap* b = new_bitmap(w, h, screen_bpp(st.kind));
  if (!b) return nullptr;
  b->top_down = true;
  if (b->bpp == 32) {
    b->masks[0] = 0xFF0000;
    b->masks[1] = 0xFF00;
    b->masks[2] = 0xFF;
  } else {
    b->screen_format = true;
  }
  return b;
}

Bitmap* mono_bitmap(int32_t w, int32_t h) {
  Bitmap* b = new_bitmap(w, h, 1);
  if (!b) return nullptr;
  b->top_down = true;
  b->colours = {quad(0, 0, 0), quad(255, 255, 255)};
  return b;
}

bool sizes_ok(int32_t w, int32_t h, int bpp) {
  if (w <= 0 || h <= 0) return false;
  uint64_t bytes = uint64_t(dib_stride(w, bpp)) * uint64_t(h);
  return bytes <= (uint64_t(1) << 31);
}

uint32_t mask_shift_get(uint32_t raw, uint32_t mask) {
  if (!mask) return 0;
  int shift = __builtin_ctz(mask);
  uint32_t m = mask >> shift;
  uint32_t v = (raw & mask) >> shift;
  int bits = 32 - __builtin_clz(m);
  if (bits >= 8) return v >> (bits - 8);
  // Widen to 8 bits by repeating the top bits, so that full values give 255.
  uint32_t out = 0;
  int have = 0;
  while (have < 8) {
    out = (out << bits) | v;
    have += bits;
  }
  return out >> (have - 8);
}

uint32_t mask_shift_put(uint32_t v8, uint32_t mask) {
  if (!mask) return 0;
  int shift = __builtin_ctz(mask);
  uint32_t m = mask >> shift;
  int bits = 32 - __builtin_clz(m);
  uint32_t v = bits >= 8 ? (v8 << (bits - 8)) : (v8 >> (8 - bits));
  return (v << shift) & mask;
}

}  // namespace

State& state() {
  static State* s = new State;  // never destroyed: objects may be freed during exit
  return *s;
}

bool live_object(HGDIOBJ h) {
  State& st = state();
  for (QmGdiObject* s : st.stock)
    if (s == h) return true;
  if (h && (h == st.default_bitmap || h == st.screen_bitmap)) return true;
  return std::find(st.objects.begin(), st.objects.end(), h) != st.objects.end();
}

void register_object(QmGdiObject* o) { state().objects.push_back(o); }

void ensure_screen() {
  State& st = state();
  if (st.screen_dc) return;
  if (st.system_palette.empty()) reset_system_palette(st);
  st.screen_bitmap = screen_format_bitmap(st, st.kind.width, st.kind.height);
  if (st.screen_bitmap && st.screen_bitmap->bpp == 32) std::fill(st.screen_bitmap->store.begin(), st.screen_bitmap->store.end(), 0xFF);
  auto* dc = new Dc;
  dc->screen = true;
  dc->s.bitmap = st.screen_bitmap;
  dc->s.brush = static_cast<Brush*>(GetStockObject(WHITE_BRUSH));
  dc->s.pen = static_cast<Pen*>(GetStockObject(BLACK_PEN));
  dc->s.palette = static_cast<Palette*>(GetStockObject(DEFAULT_PALETTE));
  if (st.screen_bitmap) st.screen_bitmap->selected = dc;
  st.screen_dc = dc;
}

Bitmap* default_bitmap() {
  State& st = state();
  if (!st.default_bitmap) {
    st.default_bitmap = mono_bitmap(1, 1);
    st.default_bitmap->stock = true;
  }
  return st.default_bitmap;
}

const std::vector<RGBQUAD>& Bitmap::table() const {
  return screen_format ? state().system_palette : colours;
}

uint32_t Bitmap::get(int32_t x, int32_t y) const {
  const uint8_t* r = row(y);
  switch (bpp) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
    case 8: return r[x];
    case 16: return uint32_t(r[2 * x] | (r[2 * x + 1] << 8));
    case 24: return uint32_t(r[3 * x] | (r[3 * x + 1] << 8) | (r[3 * x + 2] << 16));
    default: {
      const uint8_t* p = r + 4 * size_t(x);
      return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
  }
}

void Bitmap::set(int32_t x, int32_t y, uint32_t v) {
  uint8_t* r = row(y);
  switch (bpp) {
    case 1: {
      uint8_t bit = uint8_t(0x80 >> (x & 7));
      r[x >> 3] = (v & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit);
      break;
    }
    case 4:
      if (x & 1)
        r[x >> 1] = uint8_t((r[x >> 1] & 0xF0) | (v & 0x0F));
      else
        r[x >> 1] = uint8_t((r[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
      break;
    case 8: r[x] = uint8_t(v); break;
    case 16:
      r[2 * x] = uint8_t(v);
      r[2 * x + 1] = uint8_t(v >> 8);
      break;
    case 24:
      r[3 * x] = uint8_t(v);
      r[3 * x + 1] = uint8_t(v >> 8);
      r[3 * x + 2] = uint8_t(v >> 16);
      break;
    default: {
      uint8_t* p = r + 4 * size_t(x);
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
      p[2] = uint8_t(v >> 16);
      p[3] = uint8_t(v >> 24);
    }
  }
}

COLORREF Bitmap::to_rgb(uint32_t raw) const {
  if (bpp <= 8) {
    const auto& t = table();
    if (raw >= t.size()) return 0;
    return RGB(t[raw].rgbRed, t[raw].rgbGreen, t[raw].rgbBlue);
  }
  if (bpp == 24) return RGB(raw >> 16, raw >> 8, raw);
  return RGB(mask_shift_get(raw, masks[0]), mask_shift_get(raw, masks[1]), mask_shift_get(raw, masks[2]));
}

uint32_t nearest_entry(const std::vector<RGBQUAD>& t, COLORREF c) {
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  uint32_t best = 0;
  int best_d = -1;
  for (size_t i = 0; i < t.size(); ++i) {
    int dr = r - t[i].rgbRed, dg = g - t[i].rgbGreen, db = b - t[i].rgbBlue;
    int d = dr * dr + dg * dg + db * db;
    if (best_d < 0 || d < best_d) {
      best_d = d;
      best = uint32_t(i);
      if (d == 0) break;
    }
  }
  return best;
}

uint32_t Bitmap::from_rgb(COLORREF c) const {
  if (bpp <= 8) return nearest_entry(table(), c);
  if (bpp == 24) return uint32_t(GetBValue(c)) | (uint32_t(GetGValue(c)) << 8) | (uint32_t(GetRValue(c)) << 16);
  return mask_shift_put(GetRValue(c), masks[0]) | mask_shift_put(GetGValue(c), masks[1]) |
         mask_shift_put(GetBValue(c), masks[2]);
}

COLORREF resolve(const Dc& dc, COLORREF c) {
  if ((c >> 24) == 1) {
    const Palette* p = dc.s.palette;
    uint32_t i = c & 0xFFFF;
    if (!p || i >= p->entries.size()) return 0;
    return RGB(p->entries[i].peRed, p->entries[i].peGreen, p->entries[i].peBlue);
  }
  return c & 0xFFFFFF;
}

}  // namespace qm::gdi

using namespace qm::gdi;

extern "C" {

BOOL QmSetScreen(const QmScreenKind* kind) {
  if (!kind) return 0;
  if (kind->paletteEntries != 0 && (kind->paletteEntries < 2 || kind->paletteEntries > 256)) return 0;
  if (kind->width <= 0 || kind->height <= 0 || kind->width > 16384 || kind->height > 16384) return 0;
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  st.kind = *kind;
  reset_system_palette(st);
  if (st.screen_dc) {
    delete st.screen_bitmap;
    st.screen_bitmap = screen_format_bitmap(st, kind->width, kind->height);
    if (!st.screen_bitmap) return 0;
    st.screen_bitmap->selected = st.screen_dc;
    st.screen_dc->s = DcState{};
    st.screen_dc->saved.clear();
    st.screen_dc->s.bitmap = st.screen_bitmap;
    st.screen_dc->s.brush = static_cast<Brush*>(GetStockObject(WHITE_BRUSH));
    st.screen_dc->s.pen = static_cast<Pen*>(GetStockObject(BLACK_PEN));
    st.screen_dc->s.palette = static_cast<Palette*>(GetStockObject(DEFAULT_PALETTE));
  } else {
    ensure_screen();
  }
  Bitmap* b = st.screen_bitmap;
  if (b->bpp == 32)
    std::fill(b->store.begin(), b->store.end(), 0xFF);
  else
    for (int32_t y = 0; y < b->height; ++y)
      for (int32_t x = 0; x < b->width; ++x) b->set(x, y, b->from_rgb(0xFFFFFF));
  return 1;
}

HDC GetDC(void* window) {
  if (window) return nullptr;
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  ensure_screen();
  return reinterpret_cast<HDC>(st.screen_dc);
}

int32_t ReleaseDC(void*, HDC dc) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  return reinterpret_cast<Dc*>(dc) == st.screen_dc ? 1 : 0;
}

HBITMAP QmScreenBitmap(void) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  ensure_screen();
  return st.screen_bitmap;
}

HGDIOBJ GetStockObject(int32_t which) {
  if (which < 0 || which > DEFAULT_PALETTE) return nullptr;
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  if (st.stock[which]) return st.stock[which];
  QmGdiObject* o = nullptr;
  static const COLORREF kBrushes[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
  if (which <= BLACK_BRUSH) {
    auto* b = new Brush;
    b->colour = kBrushes[which];
    o = b;
  } else if (which == NULL_BRUSH) {
    auto* b = new Brush;
    b->null = true;
    o = b;
  } else if (which <= NULL_PEN) {
    auto* p = new Pen;
    p->colour = which == WHITE_PEN ? 0xFFFFFF : 0;
    p->style = which == NULL_PEN ? 5 : 0;
    o = p;
  } else if (which == SYSTEM_FONT) {
    auto* f = new Font;
    f->lf.lfHeight = 16;
    f->lf.lfWeight = FW_NORMAL;
    o = f;
  } else if (which == DEFAULT_PALETTE) {
    auto* p = new Palette;
    for (const auto& c : kDefaultColours) p->entries.push_back(PALETTEENTRY{c[0], c[1], c[2], 0});
    o = p;
  } else {
    return nullptr;
  }
  o->stock = true;
  st.stock[which] = o;
  return o;
}

BOOL DeleteObject(HGDIOBJ obj) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  if (!obj || !live_object(obj)) return 0;
  if (obj->stock) return 1;
  if (obj->kind == Kind::Bitmap && static_cast<Bitmap*>(obj)->selected) return 0;
  for (Dc* dc : st.dcs) {
    if (dc->s.brush == obj || dc->s.pen == obj || dc->s.palette == obj || dc->s.font == obj) return 0;
  }
  st.objects.erase(std::find(st.objects.begin(), st.objects.end(), obj));
  delete obj;
  return 1;
}

int32_t QmLiveGdiObjects(void) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  return int32_t(st.objects.size() + st.dcs.size());
}

int32_t GetObjectA(HGDIOBJ obj, int32_t size, void* out) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  if (Bitmap* b = find<Bitmap>(obj, Kind::Bitmap)) {
    if (!out) return int32_t(sizeof(BITMAP));
    if (size < int32_t(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmWidth = b->width;
    bm.bmHeight = b->height;
    bm.bmWidthBytes = b->dib ? int32_t(b->stride) : int32_t(((b->width * b->bpp + 15) / 16) * 2);
    bm.bmPlanes = 1;
    bm.bmBitsPixel = WORD(b->bpp);
    bm.bmBits = b->dib ? b->store.data() : nullptr;
    std::memcpy(out, &bm, sizeof bm);
    return int32_t(sizeof bm);
  }
  if (Palette* p = find<Palette>(obj, Kind::Palette)) {
    if (!out || size < 2) return 2;
    WORD n = WORD(p->entries.size());
    std::memcpy(out, &n, 2);
    return 2;
  }
  return 0;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  auto* b = new (std::nothrow) Brush;
  if (!b) return nullptr;
  b->colour = colour;
  register_object(b);
  return b;
}

HPEN CreatePen(int32_t style, int32_t width, COLORREF colour) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  auto* p = new (std::nothrow) Pen;
  if (!p) return nullptr;
  p->style = style;
  p->width = width;
  p->colour = colour;
  register_object(p);
  return p;
}

HBITMAP CreateBitmap(int32_t width, int32_t height, UINT planes, UINT bitCount, const void* bits) {
  if (planes != 1 || (bitCount != 1 && bitCount != 32) || !sizes_ok(width, height, int(bitCount))) return nullptr;
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  Bitmap* b = nullptr;
  if (bitCount == 1) {
    b = mono_bitmap(width, height);
  } else {
    b = new_bitmap(width, height, 32);
    if (b) {
      b->top_down = true;
      b->masks[0] = 0xFF0000;
      b->masks[1] = 0xFF00;
      b->masks[2] = 0xFF;
    }
  }
  if (!b) return nullptr;
  if (bits) {  // rows of the caller's bits are aligned to 16 bits
    size_t in_stride = size_t(((width * int64_t(bitCount) + 15) / 16) * 2);
    for (int32_t y = 0; y < height; ++y)
      std::memcpy(b->row(y), static_cast<const uint8_t*>(bits) + in_stride * size_t(y), in_stride);
  }
  register_object(b);
  return b;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int32_t width, int32_t height) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  Dc* dc = dc_of(hdc);
  if (!dc) return nullptr;
  const Bitmap* cur = dc->s.bitmap;
  Bitmap* b = nullptr;
  if (!dc->screen && cur && cur->mono_ddb()) {
    if (!sizes_ok(width, height, 1)) return nullptr;
    b = mono_bitmap(width, height);
  } else {
    if (!sizes_ok(width, height, 32)) return nullptr;
    b = screen_format_bitmap(st, width, height);
  }
  if (!b) return nullptr;
  register_object(b);
  return b;
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int bpp = h.biBitCount;
  if (!dib_header_usable(h) || h.biPlanes != 1) return nullptr;
  if (!sizes_ok(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, bpp)) return nullptr;
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  Dc* dc = hdc ? dc_of(hdc) : nullptr;
  if (usage == DIB_PAL_COLORS && !dc) return nullptr;
  Bitmap* b = new_bitmap(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, bpp);
  if (!b) return nullptr;
  b->dib = true;
  b->top_down = h.biHeight < 0;
  dib_read_colours(*b, info, usage, dc, false);
  register_object(b);
  if (bits) *bits = b->store.data();
  return b;
}

HRGN CreateRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  auto* r = new (std::nothrow) Region;
  if (!r) return nullptr;
  r->rect = RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  register_object(r);
  return r;
}

HPALETTE CreatePalette(const LOGPALETTE* lp) {
  if (!lp || lp->palVersion != 0x300 || lp->palNumEntries == 0) return nullptr;
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  auto* p = new (std::nothrow) Palette;
  if (!p) return nullptr;
  p->entries.assign(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries);
  register_object(p);
  return p;
}

UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, PALETTEENTRY* out) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  Palette* p = find<Palette>(pal, Kind::Palette);
  if (!p) return 0;
  if (!out) return UINT(p->entries.size());
  UINT n = 0;
  for (UINT i = start; i < p->entries.size() && n < count; ++i) out[n++] = p->entries[i];
  return n;
}

UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF colour) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  Palette* p = find<Palette>(pal, Kind::Palette);
  if (!p) return CLR_INVALID;
  std::vector<RGBQUAD> t;
  for (const auto& e : p->entries) t.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  return nearest_entry(t, colour & 0xFFFFFF);
}

UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* out) {
  State& st = state();
  std::lock_guard<std::recursive_mutex> lock(st.mu);
  if (!dc_of(hdc) || st.kind.paletteEntries == 0) return 0;
  if (!out) return UINT(st.system_palette.size());
  UINT n = 0;
  for (UINT i = start; i < st.system_palette.size() && n < count; ++i) {
    const RGBQUAD& q = st.system_palette[i];
    out[n++] = PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
  }
  return n;
}

}  // extern "C"
