// The glyph renderer's state and requests (renderer.h): slots and their switching,
// derived sizes, glyph bitmaps from strikes, stroke programs and outlines, extents and
// font information.
#include "glyph/renderer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "glyph/dbcs.h"
#include "glyph/font_format.h"
#include "glyph/gray_levels.h"
#include "glyph/outline.h"
#include "glyph/span_fill.h"
#include "glyph/stroke_program.h"

namespace qm::glyph {

namespace {

constexpr size_t kLogFontHead = 28;  // height through pitch and family
constexpr size_t kBitmapGlyphBuffer = 65536;
// The widest and tallest a glyph may be, in cells of the device size: a record whose ink
// box reaches further, or a face whose line height does (a damaged font, or one whose
// units per em are near 0), gives missing glyphs, not bitmaps hundreds of cells across.
constexpr int64_t kMaxGlyphCells = 8;

std::string FaceNameOf(const LOGFONTA& lf) {
  size_t n = strnlen(lf.lfFaceName, LF_FACESIZE - 1);
  return std::string(lf.lfFaceName, n);
}

int32_t Abs32(int32_t v) { return v == INT32_MIN ? INT32_MAX : std::abs(v); }
int32_t Twice(int32_t v) { return int32_t(std::clamp<int64_t>(int64_t(v) * 2, INT32_MIN, INT32_MAX)); }

// Bitmap bytes of a glyph with 16-bit padded rows; -1 when it does not fit 31 bits.
int64_t BitmapBytes(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return -1;
  int64_t n = (width + 15) / 16 * 2 * height;
  return n > INT32_MAX ? -1 : n;
}

}  // namespace

int AnsiCodePage() {
  if (const char* forced = std::getenv("QUILLMERE_CODEPAGE"); forced && std::atoi(forced) > 0)
    return std::atoi(forced);
  const char* locale = nullptr;
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) {
      locale = v;
      break;
    }
  }
  if (!locale) return 1252;
  std::string codeset;
  if (const char* dot = std::strchr(locale, '.')) {
    for (const char* p = dot + 1; *p && *p != '@'; ++p)
      if (*p != '-' && *p != '_') codeset += char(std::toupper(uint8_t(*p)));
  }
  if (codeset.rfind("BIG5", 0) == 0) return 950;
  if (codeset == "GBK" || codeset == "GB2312" || codeset == "GB18030") return 936;
  if (codeset == "SJIS" || codeset == "SHIFTJIS") return 932;
  if (codeset == "EUCKR") return 949;
  return 1252;
}

CspRenderer::CspRenderer() { Reset(); }

void CspRenderer::Reset() {
  for (Slot& s : slots_) s = Slot{};
  current_ = -1;
  bound_ = 0;
  std::memset(&device_, 0, sizeof device_);
  doubled_ = device_;
  head_ = FontHeader{};
  has_strk_ = false;
  face_.clear();
  selected_ = false;
  memo_ = -1;
  record_.assign(kGlyphRecordBuffer, 0);
  record_len_ = 0;
  work_.clear();
  work_.shrink_to_fit();
  size_ = DerivedSize{};
  reader_.ClearIndexCache();
  cache_.Free();
  cache_ready_ = false;
  gray_ = 0;
}

int32_t CspRenderer::SetGrayScale(uint32_t on) {
  if (on == gray_) return int32_t(on);
  gray_ = on;
  // The cache lives while a slot is bound; without one there is nothing to empty.
  cache_.Free();
  cache_ready_ = bound_ > 0 && cache_.Init();
  memo_ = -1;
  if (selected_) SelectCacheFace();  // the face in use takes a fresh cache face
  return bound_ > 0 && !cache_ready_ ? 0 : 1;
}

CspRenderer::Slot* CspRenderer::Bound(int32_t slot) {
  if (slot < 1 || slot > kSlotCount) return nullptr;
  Slot& s = slots_[size_t(slot - 1)];
  return s.in_use ? &s : nullptr;
}

// ---- Slots ----------------------------------------------------------------------------

void CspRenderer::MakeCurrent(int index) {
  if (current_ == index) return;
  if (current_ >= 0) slots_[size_t(current_)].font = device_;
  reader_.ClearIndexCache();
  current_ = index;
  Slot& s = slots_[size_t(index)];
  reader_.LoadFontDirectory(s.fd, s.dir_offset);
  face_.clear();
  selected_ = false;
  memo_ = -1;
  // The slot's font comes back even when its face is gone, so that it is saved intact.
  device_ = s.font;
  doubled_ = device_;
  doubled_.lfHeight = Twice(device_.lfHeight);
  doubled_.lfWidth = Twice(device_.lfWidth);
  std::string name = FaceNameOf(s.font);
  if (!reader_.FindFace(name)) return;
  reader_.ReadHeadTable(name, head_);
  has_strk_ = reader_.ReadStrokeParameters(strk_);
  face_ = name;
  Recompute();
  SelectCacheFace();
  selected_ = true;
}

int32_t CspRenderer::SetDoc(int fd, uint32_t dir_offset) {
  if (current_ >= 0) slots_[size_t(current_)].font = device_;
  int r = reader_.LoadFontDirectory(fd, dir_offset);
  if (r < 0) {
    current_ = -1;
    selected_ = false;
    return r;
  }
  if (work_.empty()) {
    try {
      work_.assign(kPoolUnits, 0);
    } catch (const std::bad_alloc&) {
      current_ = -1;
      return -3;
    }
  }
  face_.clear();
  selected_ = false;
  memo_ = -1;
  if (bound_ == 0) cache_ready_ = cache_.Init();
  for (int i = 0; i < kSlotCount; ++i) {
    Slot& s = slots_[size_t(i)];
    if (s.in_use) continue;
    s = Slot{};
    s.in_use = true;
    s.fd = fd;
    s.dir_offset = dir_offset;
    ++bound_;
    // The new document's directory is the one loaded: the slot is current, without a face.
    current_ = i;
    std::memset(&device_, 0, sizeof device_);
    doubled_ = device_;
    return i + 1;
  }
  current_ = -1;  // the loaded directory belongs to no slot
  return -1;
}

void CspRenderer::End(int32_t slot) {
  Slot* s = Bound(slot);
  if (!s) return;
  reader_.ClearIndexCache();
  current_ = -1;
  *s = Slot{};
  if (--bound_ == 0) {
    work_.clear();
    work_.shrink_to_fit();
    cache_.Free();
    cache_ready_ = false;
  }
  memo_ = -1;
  selected_ = false;
  face_.clear();
}

void CspRenderer::EnableSystemFont(int32_t slot, int32_t on) {
  Slot* s = Bound(slot);
  if (!s) return;
  MakeCurrent(slot - 1);
  s->system_switch = on;
}

// ---- Fonts and sizes --------------------------------------------------------------------

void CspRenderer::ApplyExtents(Slot& s) {
  device_.lfHeight = MulDiv(s.caller_height, s.viewport_y, s.window_y);
  device_.lfWidth = MulDiv(s.caller_width, s.viewport_x, s.window_x);
  doubled_ = device_;
  doubled_.lfHeight = Twice(device_.lfHeight);
  doubled_.lfWidth = Twice(device_.lfWidth);
}

int32_t CspRenderer::SetFont(int32_t slot, const LOGFONTA* font) {
  Slot* s = Bound(slot);
  if (!s || !font) return 0;
  MakeCurrent(slot - 1);
  if (s->system_switch == 1 && family_check_ && family_check_(*font)) {
    s->system_in_use = true;
    s->system_font = *font;
    return 0;
  }
  s->system_in_use = false;
  if (font->lfEscapement % 90 != 0) return 0;
  std::string name = FaceNameOf(*font);
  if (name.empty() || name != face_) {
    if (!reader_.FindFace(name)) return 0;
    reader_.ReadHeadTable(name, head_);
    has_strk_ = reader_.ReadStrokeParameters(strk_);
    face_ = name;
  } else if (selected_ && std::memcmp(font, &device_, kLogFontHead) == 0) {
    return 1;
  }
  std::memcpy(&device_, font, kLogFontHead);
  std::memset(device_.lfFaceName, 0, LF_FACESIZE);
  std::memcpy(device_.lfFaceName, name.data(), name.size());
  s->caller_height = font->lfHeight;
  s->caller_width = font->lfWidth;
  ApplyExtents(*s);
  Recompute();
  SelectCacheFace();
  selected_ = true;
  memo_ = -1;
  return 1;
}

int32_t CspRenderer::SetWindowExt(int32_t slot, int32_t x, int32_t y) {
  Slot* s = Bound(slot);
  if (!s) return 0;
  MakeCurrent(slot - 1);
  if (s->window_x == x && s->window_y == y) return 1;
  s->window_x = x;
  s->window_y = y;
  ApplyExtents(*s);
  if (selected_) {
    Recompute();
    SelectCacheFace();
  }
  return 1;
}

int32_t CspRenderer::SetViewportExt(int32_t slot, int32_t x, int32_t y) {
  Slot* s = Bound(slot);
  if (!s) return 0;
  MakeCurrent(slot - 1);
  if (s->viewport_x == x && s->viewport_y == y) return 1;
  s->viewport_x = x;
  s->viewport_y = y;
  ApplyExtents(*s);
  if (selected_) {
    Recompute();
    SelectCacheFace();
  }
  return 1;
}

int32_t CspRenderer::Scale(int32_t v) const {
  if (head_.units_per_em == 0) return 0;
  return MulDiv(v, size_.cell_height, head_.units_per_em);
}

void CspRenderer::Recompute() {
  DerivedSize& d = size_;
  d = DerivedSize{};
  int32_t h = Abs32(device_.lfHeight), lw = Abs32(device_.lfWidth);
  d.cell_height = h;
  d.half_advance = Scale(head_.half_advance);
  d.full_advance = Scale(head_.full_advance);
  d.cell_width = h;
  if (lw != 0 && head_.half_advance != 0 && d.half_advance != lw)
    d.cell_width = MulDiv(lw, head_.units_per_em, head_.half_advance);
  int32_t extent = std::max<int32_t>(int32_t(head_.max_ascent) + head_.max_descent, head_.units_per_em);
  d.line_height = Scale(extent);
  if (h != 0 && d.line_height < 1) d.line_height = 1;
  for (int i = 0; i < 4; ++i) d.line_metric[i] = Scale(head_.line_metric[i]);
  d.line_metric[0] = std::max(d.line_metric[0], 1);
  d.line_metric[2] = std::max(d.line_metric[2], 1);
  d.ascent = Scale(head_.ascent);
  d.max_descent = Scale(head_.max_descent);
  d.further = Scale(head_.further_metric);
  if (head_.half_advance == 0) d.single_advance = int32_t((int64_t(d.cell_width) + 1) / 2);
  else if (lw != 0) d.single_advance = lw;
  else d.single_advance = d.half_advance;
  d.bold = device_.lfWeight == FW_BOLD && !(head_.flags & kFlagNoSyntheticBold);
  if (d.bold) {
    d.widening = h / 48;
    d.bold_step = h >= 6 ? 1 : 0;
  }
  d.italic = device_.lfItalic != 0 && !(head_.flags & kFlagNoSyntheticItalic);
  switch (device_.lfEscapement) {
    case 900: d.angle = 90; break;
    case 1800: d.angle = 180; break;
    case 2700: d.angle = 270; break;
    default: d.angle = 0; break;
  }
}

void CspRenderer::SelectCacheFace() {
  if (!cache_ready_) return;
  CacheFont f;
  f.face_name = FaceNameOf(device_).substr(0, 30);
  f.height = device_.lfHeight;
  f.escapement = device_.lfEscapement;
  f.weight = device_.lfWeight;
  f.italic = device_.lfItalic;
  f.char_set = device_.lfCharSet;
  cache_.Select(size_.cell_width, size_.cell_height, f);
}

uint8_t CspRenderer::CharSet() const {
  return device_.lfCharSet == DEFAULT_CHARSET ? uint8_t(head_.char_set & 0xFF) : device_.lfCharSet;
}

// ---- Glyphs -----------------------------------------------------------------------------

bool CspRenderer::FetchRecord(uint16_t code) {
  if (memo_ == code) return true;
  memo_ = -1;
  record_len_ = reader_.ReadGlyphRecord(code, record_.data(), record_.size());
  if (record_len_ == 0) return false;
  memo_ = code;
  return true;
}

namespace {
bool Upright400(const LOGFONTA& lf) { return lf.lfWeight == FW_NORMAL && lf.lfItalic == 0; }
}  // namespace

int32_t CspRenderer::Csp(int32_t slot, uint32_t code32, void* bits, CSX_GlyphMetrics* metrics) {
  if (!Bound(slot)) return 0;
  MakeCurrent(slot - 1);
  if (!selected_ || code32 > 0xFFFF) return 0;
  uint16_t code = uint16_t(code32);
  CSX_GlyphMetrics m{};
  if (metrics) m = *metrics;
  ++stats_.requests;
  int64_t asked = BitmapBytes(m.width, m.height);
  // Without a buffer the caller wants the size: a glyph the cache holds answers it.
  if (asked <= 0 && !bits) asked = int64_t(cache_.StoredSize(code));
  if (asked > 0) {
    GlyphMetrics gm;
    size_t hit = cache_.Lookup(code, static_cast<unsigned char*>(bits), size_t(asked), gm);
    if (hit > 0) {
      if (metrics) *metrics = {gm.width, gm.height, gm.origin_x, gm.origin_y, gm.advance, gm.sixth};
      ++stats_.cache_hits;
      return int32_t(hit);
    }
  }
  int32_t height = Abs32(device_.lfHeight);
  if (Upright400(device_) && height <= 0xFFFF) {
    std::vector<unsigned char> buf(kBitmapGlyphBuffer);
    size_t n = reader_.ReadBitmapGlyph(code, uint16_t(height), buf.data(), buf.size());
    if (n > 0) {
      if (auto g = ParseBitmapGlyph(buf.data(), n)) {
        int64_t size = BitmapBytes(g->width, g->height);
        if (size > 0) {
          if (bits) {
            size_t row_bytes = size_t((g->width + 15) / 16 * 2);
            auto* out = static_cast<unsigned char*>(bits);
            for (size_t r = 0; r < g->height; ++r)
              std::memcpy(out + r * row_bytes, g->rows + r * g->row_bytes, g->row_bytes);
          }
          if (metrics) *metrics = {g->width, g->height, g->origin_x, g->origin_y, g->advance, g->sixth};
          return int32_t(size);
        }
      }
    }
  }
  if (!metrics) metrics = &m;
  return RenderRecord(code, static_cast<unsigned char*>(bits), *metrics);
}

int32_t CspRenderer::RenderRecord(uint16_t code, unsigned char* bits, CSX_GlyphMetrics& metrics) {
  if (!FetchRecord(code)) return 0;
  auto rec = ParseGlyphRecord(record_.data(), record_len_);
  if (!rec) return 0;
  bool stroke = rec->kind == kStrokeGlyph;
  if (!stroke && IsEudc(CharSet(), code)) {
    size_t at = size_t(rec->body - record_.data());
    FitOutlineVertically(record_.data() + at, rec->body_length, int(head_.max_ascent) + head_.max_descent);
  }
  const DerivedSize& d = size_;
  GlyphLayoutInput in;
  in.cell_width = d.cell_width;
  in.cell_height = d.cell_height;
  in.line_height = d.line_height;
  in.widening = d.widening;
  in.units_per_em = head_.units_per_em;
  in.max_ascent = head_.max_ascent;
  in.max_descent = head_.max_descent;
  in.fixed_pitch = head_.pitch_kind == kPitchFixed;
  in.fixed_advance = code >= 256 ? Twice(d.single_advance) : d.single_advance;
  GlyphLayout lay = LayoutGlyph(*rec, in);
  int32_t gw = lay.width, gh = lay.height;
  int32_t box_w = d.cell_width - d.widening, box_h = d.cell_height - d.widening;
  if (gw <= 0 || gh <= 0 || box_w <= 0 || box_h <= 0) return 0;
  const int64_t reach = kMaxGlyphCells * std::max(d.cell_width, d.cell_height);
  if (gw > reach || gh > reach) return 0;
  if (!stroke && OutlineSubpixelBits(box_w, box_h) < 0) return 0;  // beyond 16-bit sub-pixels

  bool vertical = !face_.empty() && face_[0] == '@';
  int angle = d.angle;
  if (stroke && vertical) angle = (angle + 90) % 360;
  bool turned = angle == 90 || angle == 270;
  int64_t out_w = turned ? gh : gw, out_h = turned ? gw : gh;
  int italic_mode = kItalicNone;
  int32_t slant = SlantTotal(gh);
  if (d.italic) {
    if (angle == 0) italic_mode = kItalicUpright;
    else if (stroke && vertical && turned) italic_mode = angle == 90 ? kItalicVertical : kItalicVerticalBack;
    else italic_mode = kItalicTurned;
    (turned ? out_h : out_w) += slant;
  }
  int64_t size = BitmapBytes(out_w, out_h);
  if (size < 0) return 0;
  metrics = {int32_t(out_w), int32_t(out_h), lay.origin_x, lay.origin_y,
             lay.advance + (d.bold_step ? 2 : 0), 0};

  GlyphMetrics gm{metrics.width, metrics.height, metrics.originX, metrics.originY, metrics.advance, 0};
  std::vector<unsigned char> scratch;
  if (!bits) {
    // Rendered only when the cache will keep it, so that the sized call that follows hits.
    if (cache_.current() == GlyphCache::kNoFace || size > cache_.max_glyph_bytes()) return int32_t(size);
    scratch.assign(size_t(size), 0xFF);
    bits = scratch.data();
  }
  FillTarget target{bits, int((out_w + 15) / 16 * 2), int(out_h)};
  FillState fs;
  fs.first_row = 0;
  fs.last_row = std::max(d.line_height, gh) - 1;
  fs.right_limit = fs.w1 = gw - 1;
  fs.h1 = gh - 1;
  fs.angle = angle;
  fs.italic_mode = italic_mode;
  fs.slant_total = slant;
  fs.widening = d.widening;
  fs.bold_step = d.bold_step;
  fs.vertical_stroke = stroke && vertical;
  fs.set = false;
  int32_t window_rows = fs.last_row + 1;
  size_t batch = size_t(std::max(1, std::min(box_h, window_rows)));
  std::vector<Span> spans;
  const unsigned char* body = rec->body;
  if (stroke) {
    StrokeInterpreter interp(box_w, box_h, window_rows, [this](uint16_t id, unsigned char* b, size_t n) {
      return reader_.ReadStrokeProgram(id, b, n);
    });
    interp.Start(body, rec->body_length);
    while (interp.NextBatch(spans, batch) > 0) {
      FillSpans(target, fs, spans.data(), spans.size());
      spans.clear();
    }
  } else {
    OutlineGeometry g{box_w, box_h, rec->left, rec->top, window_rows};
    OutlineConverter conv(g, work_.empty() ? nullptr : work_.data());
    conv.Start(body, rec->body_length);
    while (conv.NextBatch(spans, batch) > 0) {
      FillSpans(target, fs, spans.data(), spans.size());
      spans.clear();
    }
  }
  cache_.Store(code, bits, size_t(size), gm);
  return int32_t(size);
}

template <typename F>
auto CspRenderer::WithDoubledFont(F render) {
  const LOGFONTA kept = device_;
  device_ = doubled_;
  Recompute();
  SelectCacheFace();
  auto result = render();
  device_ = kept;
  Recompute();
  SelectCacheFace();
  return result;
}

int32_t CspRenderer::RenderGrayGlyph(int32_t slot, uint32_t code32, uint8_t* gray, CSX_GlyphMetrics* metrics) {
  if (!Bound(slot)) return 0;
  MakeCurrent(slot - 1);
  if (!selected_ || code32 > 0xFFFF) return 0;
  const uint16_t code = uint16_t(code32);
  CSX_GlyphMetrics big{};
  std::vector<unsigned char> bits;  // the doubled glyph, ink 0, rows of 16-bit units
  const int32_t size = WithDoubledFont([&]() -> int32_t {
    auto cached = [&](size_t n) {
      GlyphMetrics gm;
      if (n == 0) return false;
      if (gray) bits.assign(n, 0xFF);
      if (cache_.Lookup(code, gray ? bits.data() : nullptr, n, gm) != n) return false;
      big = {gm.width, gm.height, gm.origin_x, gm.origin_y, gm.advance, gm.sixth};
      return true;
    };
    if (const size_t n = cache_.StoredSize(code); cached(n)) return int32_t(n);
    // The size first (the cache keeps the rendering when it can), then the bits.
    const int32_t n = RenderRecord(code, nullptr, big);
    if (n <= 0 || !gray) return n;
    if (cache_.StoredSize(code) == size_t(n) && cached(size_t(n))) return n;
    bits.assign(size_t(n), 0xFF);
    return RenderRecord(code, bits.data(), big);
  });
  if (size <= 0 || big.width <= 0 || big.height <= 0) return 0;
  // Where the text output puts the doubled bitmap's corner from the pen at this
  // escapement, and the origins that put a w x h image at (dx, dy) the same way.
  const int32_t esc = device_.lfEscapement;
  auto corner = [esc](int32_t ox, int32_t oy, int32_t w, int32_t h) {
    if (esc == 900) return std::pair<int32_t, int32_t>{oy, -(ox + h)};
    if (esc == 1800) return std::pair<int32_t, int32_t>{-(ox + w), -(oy + h)};
    if (esc == 2700) return std::pair<int32_t, int32_t>{-(oy + w), ox};
    return std::pair<int32_t, int32_t>{ox, oy};
  };
  auto origins = [esc](int32_t dx, int32_t dy, int32_t w, int32_t h) {
    if (esc == 900) return std::pair<int32_t, int32_t>{-dy - h, dx};
    if (esc == 1800) return std::pair<int32_t, int32_t>{-dx - w, -dy - h};
    if (esc == 2700) return std::pair<int32_t, int32_t>{dy, -dx - w};
    return std::pair<int32_t, int32_t>{dx, dy};
  };
  // The doubled glyph moves onto the grid of 2 by 2 blocks (a blank column on the left, a
  // blank row on top when its corner is odd), so that each block is one pixel of the
  // single size and the halved placement is exact.
  const auto [dx2, dy2] = corner(big.originX, big.originY, big.width, big.height);
  const int32_t pad_x = dx2 & 1, pad_y = dy2 & 1;
  const uint32_t w2 = uint32_t(big.width + pad_x), h2 = uint32_t(big.height + pad_y);
  const GrayImageShape shape = GrayShape(w2, h2);
  if (shape.bytes == 0) return 0;
  const auto [ox, oy] = origins((dx2 - pad_x) / 2, (dy2 - pad_y) / 2, int32_t(shape.width), int32_t(shape.height));
  if (metrics) *metrics = {int32_t(shape.width), int32_t(shape.height), ox, oy, big.advance / 2, big.sixth / 2};
  const int64_t out_size = int64_t(shape.row_bytes) * shape.height;
  if (out_size > INT32_MAX) return 0;
  if (gray) {
    // Ink 1 on rows of 32-bit units, as the reduction reads them.
    const size_t from_row = size_t((big.width + 15) / 16 * 2), to_row = MonoRowBytes(w2);
    std::vector<uint8_t> mono(to_row * h2, 0), levels(shape.bytes);
    for (size_t r = 0; r < size_t(big.height) && (r + 1) * from_row <= bits.size(); ++r)
      for (size_t x = 0; x < size_t(big.width); ++x)
        if (!(bits[r * from_row + x / 8] & (0x80 >> (x % 8)))) {
          const size_t nx = x + size_t(pad_x);
          mono[(r + size_t(pad_y)) * to_row + nx / 8] |= uint8_t(0x80 >> (nx % 8));
        }
    if (!ReduceToGrayLevels(mono.data(), mono.size(), w2, h2, levels.data(), levels.size())) return 0;
    std::memcpy(gray, levels.data(), size_t(out_size));
  }
  return int32_t(out_size);
}

// ---- Extents and information --------------------------------------------------------------

int32_t CspRenderer::CharAdvance(uint16_t code, bool for_text) {
  const DerivedSize& d = size_;
  int32_t base = code >= 256 ? Twice(d.single_advance) : d.single_advance;
  bool fixed = head_.pitch_kind == kPitchFixed;
  int32_t a = base;
  if (!fixed) {
    bool found = false;
    int32_t height = Abs32(device_.lfHeight);
    if (Upright400(device_) && height <= 0xFFFF) {
      std::vector<unsigned char> buf(kBitmapGlyphBuffer);
      size_t n = reader_.ReadBitmapGlyph(code, uint16_t(height), buf.data(), buf.size());
      if (auto g = n ? ParseBitmapGlyph(buf.data(), n) : std::nullopt) {
        a = g->advance;
        found = true;
      }
    }
    if (!found) {
      if (!FetchRecord(code)) return -1;
      auto rec = ParseGlyphRecord(record_.data(), record_len_);
      if (!rec) return -1;
      if (rec->has_metrics && head_.units_per_em != 0) {
        a = MulDiv(rec->advance, d.cell_width, head_.units_per_em);
        if (for_text) a = std::max(a, 1);
      } else if (for_text) {
        a = d.cell_width;
      }
    }
  } else if (for_text && d.cell_height > 10 && (a & 1)) {
    a += 1;
  }
  if (d.bold_step) a += 2;
  return a;
}

int32_t CspRenderer::GetCharExtent(int32_t slot, uint32_t code, int32_t* advance, int32_t* height) {
  if (advance) *advance = 0;
  if (height) *height = 0;
  if (!Bound(slot)) return 0;
  MakeCurrent(slot - 1);
  if (!selected_ || code > 0xFFFF) return 0;
  int32_t a = CharAdvance(uint16_t(code), false);
  if (height) *height = size_.line_height;
  if (a < 0) return 0;
  if (advance) *advance = a;
  return 1;
}

uint32_t CspRenderer::GetTextExtent(int32_t slot, const char* text, int32_t length) {
  Slot* s = Bound(slot);
  if (!s) return 0;
  MakeCurrent(slot - 1);
  if (!selected_ || !text || length <= 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  uint8_t cs = CharSet();
  uint16_t width = 0;
  for (size_t pos = 0, n = 0; pos < size_t(length); pos += n) {
    uint16_t code = NextCharacter(cs, p, size_t(length), pos, n);
    int32_t a = CharAdvance(code, true);
    width = uint16_t(width + uint16_t(std::max(a, 0)));
  }
  int32_t w = width, h = size_.line_height;
  if (!(s->window_x == 1 && s->window_y == 1 && s->viewport_x == 1 && s->viewport_y == 1)) {
    w = MulDiv(w, s->window_x, s->viewport_x);
    h = MulDiv(h, s->window_y, s->viewport_y);
  }
  return (uint32_t(uint16_t(h)) << 16) | uint16_t(w);
}

int32_t CspRenderer::QueryFontInfo(int32_t slot, CSX_FontInfo* info) {
  if (!Bound(slot) || !info) return 0;
  MakeCurrent(slot - 1);
  if (!selected_) return 0;
  uint32_t asked = info->size;
  if (asked < 126) return 0;
  const DerivedSize& d = size_;
  CSX_FontInfo out;
  std::memset(&out, 0, sizeof out);
  out.size = asked;
  out.charSet = head_.char_set;
  out.unitsPerEm = head_.units_per_em;
  out.thirdWord = head_.third_word;
  std::strncpy(out.faceName, head_.face_name.c_str(), sizeof out.faceName - 1);
  std::strncpy(out.secondName, head_.second_name.c_str(), sizeof out.secondName - 1);
  out.ascent = d.cell_height - d.max_descent;
  out.descent = d.max_descent;
  out.lineGap = d.line_height - d.cell_height;
  out.further = d.further;
  out.halfAdvance = d.half_advance;
  out.fullAdvance = d.full_advance;
  for (int i = 0; i < 4; ++i) out.lineMetric[i] = d.line_metric[i];
  // A record shorter than the whole gets only its own bytes.
  std::memcpy(info, &out, std::min<size_t>(asked, sizeof out));
  return 104;
}

}  // namespace qm::glyph
