// Fonts and text of the drawing layer (qmgdi.h): CreateFontIndirectA matches the face by
// fontconfig, FreeType opens and sizes it; text metrics, extents, 1-bit glyph bitmaps,
// sfnt tables and monochrome text output. Bytes of text are decoded to Unicode with iconv
// by the font's character set. Built on FreeType, fontconfig and iconv; used by the glyph
// renderer's text output and gray text, and by programs drawing text.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/gdi/gdi_internal.h"

namespace qm::gdi {

Font::~Font() {
  if (face) FT_Done_Face(static_cast<FT_Face>(face));
}

Font* default_font() { return static_cast<Font*>(GetStockObject(SYSTEM_FONT)); }

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
constexpr FT_Int32 kLoad = FT_LOAD_TARGET_MONO;

FT_Library library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) l = nullptr;
    return l;
  }();
  return lib;
}

bool IsDoubleByteSet(BYTE set) { return set == 128 || set == 129 || set == 134 || set == 136; }

// Finds the installed face of the font by fontconfig and opens it.
FT_Face OpenFace(Font& f) {
  if (f.face) return static_cast<FT_Face>(f.face);
  if (!library() || !FcInit()) return nullptr;
  if (f.file.empty()) {
    std::string raw(f.lf.lfFaceName, strnlen(f.lf.lfFaceName, LF_FACESIZE));
    if (!raw.empty() && raw[0] == '@') raw.erase(0, 1);  // a vertical-writing name: its family
    std::string name;
    if (!convert(raw, codeset_of(f.lf.lfCharSet), "UTF-8", name)) name.clear();
    FcPattern* p = FcPatternCreate();
    if (!p) return nullptr;
    if (!name.empty()) FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    int weight = f.lf.lfWeight > 0 ? std::min<int32_t>(f.lf.lfWeight, 1000) : FW_NORMAL;
    FcPatternAddInteger(p, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(p, FC_SLANT, f.lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(p, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result = FcResultNoMatch;
    FcPattern* m = FcFontMatch(nullptr, p, &result);
    FcPatternDestroy(p);
    if (!m) return nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) f.file = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(m, FC_INDEX, 0, &index) == FcResultMatch) f.index = index;
    FcPatternDestroy(m);
    if (f.file.empty()) return nullptr;
  }
  FT_Face face = nullptr;
  if (FT_New_Face(library(), f.file.c_str(), f.index, &face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face)) {
    FT_Done_Face(face);
    return nullptr;
  }
  f.face = face;
  return face;
}

int32_t ToDevice(const DcState& s, int32_t v, bool vertical) {
  if (s.map_mode == MM_TEXT) return v;
  const int32_t vp = vertical ? s.viewport_ext.cy : s.viewport_ext.cx;
  const int32_t win = vertical ? s.window_ext.cy : s.window_ext.cx;
  if (win == 0) return v;
  return MulDiv(v, std::abs(vp), std::abs(win));
}

int32_t ToLogical(const DcState& s, int32_t v, bool vertical) {
  if (s.map_mode == MM_TEXT) return v;
  const int32_t vp = vertical ? s.viewport_ext.cy : s.viewport_ext.cx;
  const int32_t win = vertical ? s.window_ext.cy : s.window_ext.cx;
  if (vp == 0) return v;
  return MulDiv(v, std::abs(win), std::abs(vp));
}

// A face sized for a DC, with the cell metrics in device pixels.
struct Sized {
  FT_Face face = nullptr;
  Font* font = nullptr;
  int32_t ascent = 0, descent = 0, em = 0;
  int32_t avg_width = 0, max_width = 0;
  double scale = 0;  // device pixels a font unit (vertical)
};

bool SizeFor(const Dc& dc, Sized& out) {
  Font* f = dc.s.font ? dc.s.font : default_font();
  if (!f) return false;
  FT_Face face = OpenFace(*f);
  if (!face || face->units_per_EM == 0) return false;
  const double upem = face->units_per_EM;
  double asc = face->ascender, desc = -face->descender, avg = 0;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
    if (os2->usWinAscent + os2->usWinDescent > 0) {
      asc = os2->usWinAscent;
      desc = os2->usWinDescent;
    }
    avg = os2->xAvgCharWidth;
  }
  if (asc + desc <= 0) asc = upem, desc = 0;
  const int64_t h = std::abs(int64_t(ToDevice(dc.s, f->lf.lfHeight, true)));
  const bool em_given = f->lf.lfHeight < 0;
  double em_px = h == 0 ? 16 * upem / (asc + desc) : em_given ? double(h) : double(h) * upem / (asc + desc);
  em_px = std::clamp(em_px, 1.0, 16384.0);
  double em_x = em_px;
  const int32_t w = std::abs(ToDevice(dc.s, f->lf.lfWidth, false));
  if (w > 0 && avg > 0) em_x = std::clamp(double(w) * upem / avg, 1.0, 16384.0);
  if (FT_Set_Char_Size(face, FT_F26Dot6(std::lround(em_x * 64)), FT_F26Dot6(std::lround(em_px * 64)), 72, 72) != 0)
    return false;
  out.face = face;
  out.font = f;
  out.ascent = int32_t(std::ceil(asc * em_px / upem - 1e-9));
  out.descent = int32_t(std::ceil(desc * em_px / upem - 1e-9));
  out.em = int32_t(std::lround(em_px));
  out.scale = em_px / upem;
  out.avg_width = avg > 0 ? int32_t(std::lround(avg * em_x / upem)) : out.em / 2;
  out.max_width = int32_t(std::lround(face->max_advance_width * em_x / upem));
  return true;
}

// One character of a text: its Unicode value and where its bytes are.
struct Char {
  uint32_t code = 0;  // 0: no Unicode value (the face's missing glyph)
  size_t pos = 0, bytes = 1;
};

class Decoder {
 public:
  explicit Decoder(BYTE set) : set_(set), cd_(iconv_open("UTF-32LE", codeset_of(set))) {}
  ~Decoder() {
    if (cd_ != iconv_t(-1)) iconv_close(cd_);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Unicode of 1 or 2 bytes taken as one character; 0 when they are not one.
  uint32_t One(const unsigned char* bytes, size_t n) {
    if (cd_ == iconv_t(-1)) return n == 1 ? bytes[0] : 0;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {char(bytes[0]), n > 1 ? char(bytes[1]) : '\0'};
    char out[8];
    char* src = in;
    size_t src_left = n;
    char* dst = out;
    size_t dst_left = sizeof out;
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == size_t(-1) || src_left != 0 || dst_left != 4) {
      // A single byte the code set leaves undefined is read as Latin-1 in single-byte sets.
      return n == 1 && !IsDoubleByteSet(set_) ? bytes[0] : 0;
    }
    return uint32_t(uint8_t(out[0])) | uint32_t(uint8_t(out[1])) << 8 | uint32_t(uint8_t(out[2])) << 16 |
           uint32_t(uint8_t(out[3])) << 24;
  }

  std::vector<Char> Text(const unsigned char* text, size_t length) {
    std::vector<Char> chars;
    for (size_t pos = 0; pos < length;) {
      Char c;
      c.pos = pos;
      if (IsDoubleByteSet(set_) && text[pos] >= 0x81 && pos + 1 < length) {
        uint32_t u = One(text + pos, 2);
        if (u != 0) {
          c.code = u;
          c.bytes = 2;
          chars.push_back(c);
          pos += 2;
          continue;
        }
      }
      c.code = One(text + pos, 1);  // a lead byte without its trail byte is one character
      chars.push_back(c);
      pos += 1;
    }
    return chars;
  }

 private:
  BYTE set_;
  iconv_t cd_;
};

// Row r (from the top) of a FreeType bitmap, whichever way its pitch runs.
const uint8_t* MonoRow(const FT_Bitmap& b, unsigned r) {
  return b.pitch >= 0 ? b.buffer + size_t(r) * size_t(b.pitch) : b.buffer + size_t(b.rows - 1 - r) * size_t(-b.pitch);
}

int32_t Advance(FT_Face face, uint32_t code) {
  if (FT_Load_Glyph(face, FT_Get_Char_Index(face, code), kLoad) != 0) return 0;
  return int32_t((face->glyph->advance.x + 32) >> 6);
}

// The writing direction of an escapement (tenths of a degree) on the device, y downward.
// Quarter turns are exact: the cosine of 270 degrees is not quite 0 in floating point, and
// a pen a hair above a pixel row would floor into the row above.
void Direction(int32_t escapement, double& ux, double& uy) {
  const int32_t e = ((escapement % 3600) + 3600) % 3600;
  switch (e) {
    case 0: ux = 1, uy = 0; return;
    case 900: ux = 0, uy = -1; return;
    case 1800: ux = -1, uy = 0; return;
    case 2700: ux = 0, uy = 1; return;
    default: {
      const double theta = double(e) * M_PI / 1800.0;
      ux = std::cos(theta);
      uy = -std::sin(theta);
    }
  }
}

void SetPixelClipped(Bitmap& b, const RECT& clip, int32_t x, int32_t y, uint32_t raw) {
  if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
  b.set(x, y, raw);
}

// Fills the parallelogram origin + a*u + b*v (a in 0..len, b in -up..down) in device pixels.
void FillCell(Bitmap& bm, const RECT& clip, double ox, double oy, double ux, double uy, double len, int32_t up,
              int32_t down, uint32_t raw) {
  const double vx = -uy, vy = ux;  // the downward perpendicular
  double xs[4], ys[4];
  const double as[4] = {0, len, 0, len}, bs[4] = {double(-up), double(-up), double(down), double(down)};
  for (int i = 0; i < 4; ++i) xs[i] = ox + as[i] * ux + bs[i] * vx, ys[i] = oy + as[i] * uy + bs[i] * vy;
  const int32_t x0 = std::max<int32_t>(clip.left, int32_t(std::floor(*std::min_element(xs, xs + 4))));
  const int32_t x1 = std::min<int32_t>(clip.right, int32_t(std::ceil(*std::max_element(xs, xs + 4))));
  const int32_t y0 = std::max<int32_t>(clip.top, int32_t(std::floor(*std::min_element(ys, ys + 4))));
  const int32_t y1 = std::min<int32_t>(clip.bottom, int32_t(std::ceil(*std::max_element(ys, ys + 4))));
  for (int32_t y = y0; y < y1; ++y)
    for (int32_t x = x0; x < x1; ++x) {
      const double px = x + 0.5 - ox, py = y + 0.5 - oy;
      const double a = px * ux + py * uy, b = px * vx + py * vy;
      if (a >= 0 && a < len && b >= -up && b < down) bm.set(x, y, raw);
    }
}

}  // namespace
}  // namespace qm::gdi

using namespace qm::gdi;

extern "C" {

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
  if (!lf) return nullptr;
  Lock lock(state().mu);
  auto* f = new (std::nothrow) Font;
  if (!f) return nullptr;
  f->lf = *lf;
  register_object(f);
  return f;
}

BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* tm) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  Sized s;
  if (!dc || !tm || !SizeFor(*dc, s)) return 0;
  std::memset(tm, 0, sizeof *tm);
  const LOGFONTA& lf = s.font->lf;
  tm->tmAscent = ToLogical(dc->s, s.ascent, true);
  tm->tmDescent = ToLogical(dc->s, s.descent, true);
  tm->tmHeight = tm->tmAscent + tm->tmDescent;
  tm->tmInternalLeading = std::max(0, tm->tmHeight - ToLogical(dc->s, s.em, true));
  tm->tmAveCharWidth = ToLogical(dc->s, s.avg_width, false);
  tm->tmMaxCharWidth = ToLogical(dc->s, s.max_width, false);
  tm->tmWeight = lf.lfWeight > 0 ? lf.lfWeight : FW_NORMAL;
  tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFF;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = lf.lfItalic;
  tm->tmUnderlined = lf.lfUnderline;
  tm->tmStruckOut = lf.lfStrikeOut;
  tm->tmPitchAndFamily = 0x06;  // variable pitch, TrueType
  tm->tmCharSet = lf.lfCharSet;
  return 1;
}

BOOL GetTextExtentPoint32A(HDC hdc, const char* text, int32_t length, SIZE* out) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  Sized s;
  if (!dc || !out || length < 0 || (length > 0 && !text) || !SizeFor(*dc, s)) return 0;
  Decoder decoder(s.font->lf.lfCharSet);
  int64_t width = 0;
  for (const Char& c : decoder.Text(reinterpret_cast<const unsigned char*>(text), size_t(length)))
    width += Advance(s.face, c.code);
  out->cx = ToLogical(dc->s, clamp32(width), false);
  out->cy = ToLogical(dc->s, s.ascent + s.descent, true);
  return 1;
}

BOOL GetTextExtentPointA(HDC hdc, const char* text, int32_t length, SIZE* out) {
  return GetTextExtentPoint32A(hdc, text, length, out);
}

DWORD GetGlyphOutlineA(HDC hdc, UINT ch, UINT format, GLYPHMETRICS* gm, DWORD size, void* buffer,
                       const MAT2* m) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  Sized s;
  if (!dc || !gm || (format != GGO_BITMAP && format != GGO_METRICS) || !SizeFor(*dc, s)) return GDI_ERROR;
  if (m && (m->eM11.value != 1 || m->eM11.fract || m->eM12.value || m->eM12.fract || m->eM21.value ||
            m->eM21.fract || m->eM22.value != 1 || m->eM22.fract))
    return GDI_ERROR;  // only the identity matrix is offered
  Decoder decoder(s.font->lf.lfCharSet);
  unsigned char bytes[2] = {uint8_t(ch >> 8), uint8_t(ch)};
  uint32_t code = ch > 0xFF ? (IsDoubleByteSet(s.font->lf.lfCharSet) ? decoder.One(bytes, 2) : 0)
                            : decoder.One(bytes + 1, 1);
  if (ch > 0xFFFF) return GDI_ERROR;
  // The glyph is turned by the font's escapement, as the text is: the origin is then the
  // turned box's corner from the pen on the baseline (y up) and the cell increment the
  // turned advance on the device (y down).
  double ux = 1, uy = 0;
  Direction(s.font->lf.lfEscapement, ux, uy);
  uy = -uy;  // up
  FT_Matrix turn{FT_Fixed(std::lround(ux * 65536)), FT_Fixed(std::lround(-uy * 65536)),
                 FT_Fixed(std::lround(uy * 65536)), FT_Fixed(std::lround(ux * 65536))};
  FT_Set_Transform(s.face, s.font->lf.lfEscapement % 3600 == 0 ? nullptr : &turn, nullptr);
  const FT_Error loaded = FT_Load_Glyph(s.face, FT_Get_Char_Index(s.face, code), kLoad | FT_LOAD_RENDER);
  FT_Set_Transform(s.face, nullptr, nullptr);
  if (loaded != 0) return GDI_ERROR;
  FT_GlyphSlot g = s.face->glyph;
  const FT_Bitmap& b = g->bitmap;
  if (b.pixel_mode != FT_PIXEL_MODE_MONO && b.width > 0) return GDI_ERROR;
  const uint32_t stride = dib_stride(b.width, 1);
  const size_t row_bytes = (b.width + 7) / 8;
  bool ink = false;
  for (unsigned r = 0; r < b.rows && !ink; ++r)
    for (size_t k = 0; k < row_bytes && !ink; ++k) ink = MonoRow(b, r)[k] != 0;
  // A glyph without ink (a space) has a 1 by 1 box and no bytes.
  const DWORD bytes_needed = ink ? DWORD(stride * b.rows) : 0;
  gm->gmBlackBoxX = ink ? b.width : 1;
  gm->gmBlackBoxY = ink ? b.rows : 1;
  gm->gmptGlyphOrigin = POINT{g->bitmap_left, g->bitmap_top};
  gm->gmCellIncX = int16_t((g->advance.x + 32) >> 6);
  gm->gmCellIncY = int16_t(-((g->advance.y + 32) >> 6));
  if (format == GGO_METRICS) return 0;
  if (!buffer || size == 0) return bytes_needed;
  if (size < bytes_needed) return GDI_ERROR;
  auto* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, bytes_needed);
  for (unsigned r = 0; r < b.rows && ink; ++r) {
    std::memcpy(out + size_t(r) * stride, MonoRow(b, r), row_bytes);
  }
  return bytes_needed;
}

DWORD GetFontData(HDC hdc, DWORD table, DWORD offset, void* buffer, DWORD size) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  Sized s;
  if (!dc || !SizeFor(*dc, s)) return GDI_ERROR;
  // The tag arrives with its first letter in the lowest byte.
  const FT_ULong tag = table == 0 ? 0
                                  : FT_MAKE_TAG(table & 0xFF, (table >> 8) & 0xFF, (table >> 16) & 0xFF,
                                                (table >> 24) & 0xFF);
  FT_ULong total = 0;
  if (FT_Load_Sfnt_Table(s.face, tag, 0, nullptr, &total) != 0 || offset > total) return GDI_ERROR;
  FT_ULong len = total - offset;
  if (!buffer) return DWORD(len);
  len = std::min<FT_ULong>(len, size);
  if (len == 0) return 0;
  if (FT_Load_Sfnt_Table(s.face, tag, FT_Long(offset), static_cast<FT_Byte*>(buffer), &len) != 0) return GDI_ERROR;
  return DWORD(len);
}

BOOL ExtTextOutA(HDC hdc, int32_t x, int32_t y, UINT options, const RECT* rect, const char* text, UINT length,
                 const int32_t* advances) {
  Lock lock(state().mu);
  Dc* dc = dc_of(hdc);
  if (!dc || (length > 0 && !text) || length > 0x7FFFFFFF) return 0;
  Sized s;
  if (!SizeFor(*dc, s)) return 0;
  Bitmap* bm = dc->s.bitmap;
  if (!bm) return 0;
  RECT clip = drawable(*dc);
  RECT dev_rect{};
  if (rect) {
    POINT a = to_device(dc->s, POINT{rect->left, rect->top}), b = to_device(dc->s, POINT{rect->right, rect->bottom});
    dev_rect = RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  }
  if ((options & ETO_OPAQUE) && rect) {
    const uint32_t raw = bm->from_rgb(resolve(*dc, dc->s.bk));
    RECT r{std::max(clip.left, dev_rect.left), std::max(clip.top, dev_rect.top), std::min(clip.right, dev_rect.right),
           std::min(clip.bottom, dev_rect.bottom)};
    for (int32_t yy = r.top; yy < r.bottom; ++yy)
      for (int32_t xx = r.left; xx < r.right; ++xx) bm->set(xx, yy, raw);
  }
  if ((options & ETO_CLIPPED) && rect) {
    clip.left = std::max(clip.left, dev_rect.left);
    clip.top = std::max(clip.top, dev_rect.top);
    clip.right = std::max(clip.left, std::min(clip.right, dev_rect.right));
    clip.bottom = std::max(clip.top, std::min(clip.bottom, dev_rect.bottom));
  }
  const bool update_cp = dc->s.align & TA_UPDATECP;
  POINT start = to_device(dc->s, update_cp ? dc->s.pos : POINT{x, y});

  Decoder decoder(s.font->lf.lfCharSet);
  const auto chars = decoder.Text(reinterpret_cast<const unsigned char*>(text), length);
  std::vector<int32_t> steps;
  steps.reserve(chars.size());
  int64_t total = 0;
  for (const Char& c : chars) {
    int32_t a = 0;
    if (advances) {
      int64_t logical = advances[c.pos];
      if (c.bytes == 2) logical += advances[c.pos + 1];  // within the text: bytes were counted
      a = ToDevice(dc->s, clamp32(logical), false);
    } else {
      a = Advance(s.face, c.code);
    }
    steps.push_back(a);
    total += a;
  }
  double ux = 1, uy = 0;
  Direction(s.font->lf.lfEscapement, ux, uy);  // writing direction, y downward
  const double vx = -uy, vy = ux;                            // the downward perpendicular
  double ox = start.x, oy = start.y;
  const UINT horizontal = dc->s.align & 6;
  const double shift = horizontal == TA_CENTER ? double(total) / 2 : horizontal == TA_RIGHT ? double(total) : 0;
  ox -= shift * ux, oy -= shift * uy;
  const UINT vertical = dc->s.align & 24;
  const double down = vertical == TA_BASELINE ? 0 : vertical == TA_BOTTOM ? -s.descent : s.ascent;
  ox += down * vx, oy += down * vy;  // (ox, oy) is now the baseline start

  if (dc->s.bk_mode == OPAQUE && total > 0)
    FillCell(*bm, clip, ox, oy, ux, uy, double(total), s.ascent, s.descent, bm->from_rgb(resolve(*dc, dc->s.bk)));
  FT_Matrix matrix{FT_Fixed(std::lround(ux * 65536)), FT_Fixed(std::lround(uy * 65536)),
                   FT_Fixed(std::lround(-uy * 65536)), FT_Fixed(std::lround(ux * 65536))};
  FT_Set_Transform(s.face, &matrix, nullptr);
  const uint32_t ink = bm->from_rgb(resolve(*dc, dc->s.text));
  double pen = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    const double px = ox + pen * ux, py = oy + pen * uy;
    if (FT_Load_Glyph(s.face, FT_Get_Char_Index(s.face, chars[i].code), kLoad | FT_LOAD_RENDER) == 0) {
      const FT_Bitmap& b = s.face->glyph->bitmap;
      const int32_t gx = int32_t(std::floor(px)) + s.face->glyph->bitmap_left;
      const int32_t gy = int32_t(std::floor(py)) - s.face->glyph->bitmap_top;
      if (b.pixel_mode == FT_PIXEL_MODE_MONO)
        for (unsigned r = 0; r < b.rows; ++r) {
          const uint8_t* row = MonoRow(b, r);
          for (unsigned c = 0; c < b.width; ++c)
            if (row[c / 8] & (0x80 >> (c % 8))) SetPixelClipped(*bm, clip, gx + int32_t(c), gy + int32_t(r), ink);
        }
    }
    pen += steps[i];
  }
  FT_Set_Transform(s.face, nullptr, nullptr);
  if (total > 0 && (s.font->lf.lfUnderline || s.font->lf.lfStrikeOut)) {
    // Underline and strike-out along the text, from the font's post and OS/2 values (up
    // from the baseline, in font units); a font without OS/2 strikes out a third of the
    // ascent up, as thick as its underline.
    auto px = [&](double units) { return int32_t(std::lround(units * s.scale)); };
    double under_pos = s.face->underline_position, under_thick = s.face->underline_thickness;
    if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(s.face, FT_SFNT_POST))) {
      under_pos = post->underlinePosition;  // the table's own value: the line's middle
      under_thick = post->underlineThickness;
    }
    const int32_t under_size = std::max(1, px(under_thick));
    int32_t strike_pos = s.ascent / 3, strike_size = under_size;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(s.face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
      strike_pos = px(os2->yStrikeoutPosition);
      strike_size = std::max(1, px(os2->yStrikeoutSize));
    }
    auto band = [&](int32_t up_from_baseline, int32_t thickness) {
      const int32_t c = -up_from_baseline;  // downward across the text
      FillCell(*bm, clip, ox, oy, ux, uy, double(total), (thickness - 1) / 2 - c, c + thickness / 2 + 1, ink);
    };
    if (s.font->lf.lfUnderline) band(px(under_pos), under_size);
    if (s.font->lf.lfStrikeOut) band(strike_pos, strike_size);
  }
  if (update_cp) {
    // The current position moves along the writing direction from the start point.
    POINT end{clamp32(std::lround(double(start.x) + double(total) * ux)),
              clamp32(std::lround(double(start.y) + double(total) * uy))};
    if (horizontal == TA_LEFT) {
      DPtoLP(hdc, &end, 1);
      dc->s.pos = end;
    }
  }
  return 1;
}

BOOL TextOutA(HDC hdc, int32_t x, int32_t y, const char* text, int32_t length) {
  if (length < 0) return 0;
  return ExtTextOutA(hdc, x, y, 0, nullptr, text, UINT(length), nullptr);
}

}  // extern "C"
