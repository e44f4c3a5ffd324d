// Inner records of the drawing layer: GDI objects (bitmaps with their pixel surfaces,
// brushes, pens, regions, palettes), device contexts and the screen, with the registry
// that tells live handles from stale ones. Shared by the gdi_*.cpp files of libqmgdi;
// nothing outside the library sees these types.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi/qmgdi.h"

namespace qm::gdi {

enum class Kind : uint32_t { Bitmap = 1, Brush, Pen, Region, Palette, Font };

struct Dc;

}  // namespace qm::gdi

// Every GDI handle points at one of these; the registry knows which are alive.
struct QmGdiObject {
  explicit QmGdiObject(qm::gdi::Kind k) : kind(k) {}
  virtual ~QmGdiObject() = default;
  qm::gdi::Kind kind;
  bool stock = false;
};

namespace qm::gdi {

// A pixel surface: rows of 1, 4, 8, 16, 24 or 32 bits per pixel, 32-bit aligned.
struct Bitmap : QmGdiObject {
  Bitmap() : QmGdiObject(Kind::Bitmap) {}
  int32_t width = 0, height = 0;
  int bpp = 1;
  uint32_t stride = 0;
  bool top_down = false;     // rows stored from the top (DDBs, negative-height DIBs)
  bool dib = false;          // a DIB section (its colour table describes 1-bit pixels too)
  bool screen_format = false;  // a device bitmap of a palette screen: colours are the screen's
  std::vector<uint8_t> store;
  std::vector<RGBQUAD> colours;  // colour table of 1, 4 and 8-bit pixels
  uint32_t masks[3] = {0, 0, 0}; // red, green, blue masks of 16 and 32-bit pixels
  Dc* selected = nullptr;

  uint8_t* row(int32_t y) { return store.data() + size_t(top_down ? y : height - 1 - y) * stride; }
  const uint8_t* row(int32_t y) const {
    return store.data() + size_t(top_down ? y : height - 1 - y) * stride;
  }
  uint32_t get(int32_t x, int32_t y) const;
  void set(int32_t x, int32_t y, uint32_t v);
  const std::vector<RGBQUAD>& table() const;  // the colour table in force
  COLORREF to_rgb(uint32_t raw) const;
  uint32_t from_rgb(COLORREF c) const;  // nearest entry for palette pixels
  bool mono_ddb() const { return bpp == 1 && !dib; }
};

struct Brush : QmGdiObject {
  Brush() : QmGdiObject(Kind::Brush) {}
  COLORREF colour = 0;
  bool null = false;
};

struct Pen : QmGdiObject {
  Pen() : QmGdiObject(Kind::Pen) {}
  int32_t style = 0, width = 1;
  COLORREF colour = 0;
};

struct Region : QmGdiObject {
  Region() : QmGdiObject(Kind::Region) {}
  RECT rect{};
};

// A logical font; the installed face it stands for is opened on first use (gdi_text.cpp).
struct Font : QmGdiObject {
  Font() : QmGdiObject(Kind::Font) {}
  ~Font() override;
  LOGFONTA lf{};
  std::string file;   // the face fontconfig matched, and its index in the file
  int index = 0;
  void* face = nullptr;  // FT_Face, owned
};

struct Palette : QmGdiObject {
  Palette() : QmGdiObject(Kind::Palette) {}
  std::vector<PALETTEENTRY> entries;
};

// The state that SaveDC keeps and RestoreDC brings back.
struct DcState {
  int32_t map_mode = MM_TEXT;
  POINT window_org{0, 0}, viewport_org{0, 0};
  SIZE window_ext{1, 1}, viewport_ext{1, 1};
  COLORREF text = 0, bk = 0xFFFFFF;
  int32_t bk_mode = OPAQUE;
  UINT align = 0;
  int32_t stretch = BLACKONWHITE;
  POINT pos{0, 0};
  bool clipped = false;
  RECT clip{};  // device pixels, when clipped
  Bitmap* bitmap = nullptr;
  Brush* brush = nullptr;
  Pen* pen = nullptr;
  Palette* palette = nullptr;
  Font* font = nullptr;  // null: the default font
};

struct Dc {
  bool screen = false;
  DcState s;
  std::vector<DcState> saved;
};

// The process-wide state of the layer.
struct State {
  std::recursive_mutex mu;
  std::vector<QmGdiObject*> objects;  // live non-stock objects
  std::vector<Dc*> dcs;
  QmScreenKind kind{0, 0, 640, 480};
  std::vector<RGBQUAD> system_palette;  // palette screens only
  Bitmap* screen_bitmap = nullptr;
  Dc* screen_dc = nullptr;
  QmGdiObject* stock[16] = {};
  Bitmap* default_bitmap = nullptr;  // the 1x1 mono bitmap every memory DC starts with
};

State& state();
// Looks a handle up among the live objects; null when it is not one of the given kind.
bool live_object(HGDIOBJ h);
template <class T>
T* find(HGDIOBJ h, Kind k) {
  if (!h || !live_object(h) || h->kind != k) return nullptr;
  return static_cast<T*>(h);
}
bool live_dc(HDC dc);
Dc* dc_of(HDC dc);
void ensure_screen();
Bitmap* default_bitmap();
// The font a DC uses before one is selected: a 16-pixel cell of the default sans face.
Font* default_font();
void register_object(QmGdiObject* o);

// iconv code set of a LOGFONTA character set (136 CP950, 134 CP936, 128 CP932, 129 CP949,
// else CP1252), and a conversion that fails on any invalid sequence.
const char* codeset_of(BYTE char_set);
bool convert(const std::string& in, const char* from, const char* to, std::string& out);

// Index of the nearest colour of a table by squared distance; the first wins a tie.
uint32_t nearest_entry(const std::vector<RGBQUAD>& table, COLORREF c);
// Colour of a COLORREF as the DC resolves it (palette indexes through its palette).
COLORREF resolve(const Dc& dc, COLORREF c);
// Stride in bytes of a 32-bit aligned row.
inline uint32_t dib_stride(int64_t width, int bpp) { return uint32_t(((width * bpp + 31) / 32) * 4); }
// Whether a device-independent bitmap's header is one this layer reads: 40 bytes or more,
// 1, 4, 8, 16, 24 or 32 bits a pixel, BI_RGB (or BI_BITFIELDS at 16 and 32 bits), a
// height other than INT32_MIN and no more colours than the bit depth has. The callers
// add their own size checks.
bool dib_header_usable(const BITMAPINFOHEADER& h);
// Fills the colour table (1, 4 and 8 bits) or the masks (16 and 32 bits) of b, whose size
// and depth are set, from the header info: DIB_PAL_COLORS indexes resolved through dc
// (which must then be given), otherwise RGBQUADs, their fourth byte kept as stored or
// cleared. The masks of BI_BITFIELDS come after a 40-byte header or inside a longer one.
void dib_read_colours(Bitmap& b, const BITMAPINFO* info, UINT usage, const Dc* dc, bool keep_reserved);
// The BI_RGB masks of 16 (5-5-5) and 32-bit (8-8-8) pixels; other depths are left.
void dib_default_masks(Bitmap& b);
// A 64-bit coordinate held to the 32-bit range, so that extreme rectangles stay defined.
inline int32_t clamp32(int64_t v) {
  return v < INT32_MIN / 2 ? INT32_MIN / 2 : v > INT32_MAX / 2 ? INT32_MAX / 2 : int32_t(v);
}
// Maps a logical point to device pixels.
POINT to_device(const DcState& s, POINT p);
// The device rectangle a DC may draw in: its surface, narrowed by its clip rectangle.
RECT drawable(const Dc& dc);

}  // namespace qm::gdi
