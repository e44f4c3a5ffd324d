// Test converter from TrueType outlines (ttf_outlines.h), over FreeType and iconv.
#include "glyph/tests/ttf_outlines.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <iconv.h>

#include <cmath>
#include <cstring>
#include <map>

namespace qm::glyph::test {

TrueTypeFace::TrueTypeFace(const char* path, long index) {
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib) != 0) return;
  library_ = lib;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, path, index, &face) == 0) face_ = face;
}

TrueTypeFace::~TrueTypeFace() {
  if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

std::optional<ConvertedGlyph> TrueTypeFace::Convert(uint32_t unicode) const {
  if (!face_) return std::nullopt;
  FT_Face face = static_cast<FT_Face>(face_);
  FT_UInt index = FT_Get_Char_Index(face, unicode);
  if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return std::nullopt;
  if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return std::nullopt;
  const FT_Outline& o = face->glyph->outline;
  double upm = face->units_per_EM, asc = face->ascender;
  auto gx = [&](FT_Pos x) { return int16_t(std::lround(double(x) * 1024.0 / upm)); };
  auto gy = [&](FT_Pos y) { return int16_t(std::lround((asc - double(y)) * 1024.0 / upm)); };
  ConvertedGlyph out;
  out.advance = gx(face->glyph->metrics.horiAdvance);
  bool first_point = true;
  auto see = [&](int16_t x, int16_t y) {
    if (first_point) {
      out.min_x = out.max_x = x;
      out.min_y = out.max_y = y;
      first_point = false;
    }
    out.min_x = std::min(out.min_x, x);
    out.max_x = std::max(out.max_x, x);
    out.min_y = std::min(out.min_y, y);
    out.max_y = std::max(out.max_y, y);
  };
  int start = 0;
  for (int c = 0; c < o.n_contours; ++c) {
    int end = o.contours[c];
    int n = end - start + 1;
    std::vector<std::pair<int16_t, int16_t>> pts;
    std::vector<bool> on;
    for (int i = start; i <= end; ++i) {
      int tag = FT_CURVE_TAG(o.tags[i]);
      if (tag == FT_CURVE_TAG_CUBIC) return std::nullopt;
      pts.push_back({gx(o.points[i].x), gy(o.points[i].y)});
      on.push_back(tag == FT_CURVE_TAG_ON);
      see(pts.back().first, pts.back().second);
    }
    start = end + 1;
    if (n < 2) continue;
    // Start at an on-curve point (or the midpoint of two control points).
    int first = -1;
    for (int i = 0; i < n; ++i)
      if (on[size_t(i)]) {
        first = i;
        break;
      }
    std::vector<std::pair<int16_t, int16_t>> seq;
    std::vector<bool> seq_on;
    if (first < 0) {
      auto a = pts[0], b = pts[1];
      seq.push_back({int16_t((a.first + b.first) >> 1), int16_t((a.second + b.second) >> 1)});
      seq_on.push_back(true);
      for (int i = 1; i <= n; ++i) {
        seq.push_back(pts[size_t(i % n)]);
        seq_on.push_back(false);
      }
      seq.push_back(seq[0]);
      seq_on.push_back(true);
    } else {
      for (int i = 0; i <= n; ++i) {
        seq.push_back(pts[size_t((first + i) % n)]);
        seq_on.push_back(on[size_t((first + i) % n)]);
      }
    }
    OutlineContour contour;
    contour.x = seq[0].first;
    contour.y = seq[0].second;
    size_t i = 1;
    while (i < seq.size()) {
      OutlineGroup g;
      if (seq_on[i]) {
        g.kind = 1;
        while (i < seq.size() && seq_on[i] && g.points.size() < 255) g.points.push_back(seq[i++]);
      } else {
        g.kind = 2;
        while (i < seq.size() && !seq_on[i]) g.points.push_back(seq[i++]);
        if (i >= seq.size() || g.points.size() > 254) return std::nullopt;
        g.points.push_back(seq[i++]);
      }
      contour.groups.push_back(g);
    }
    out.contours.push_back(contour);
  }
  return out;
}

std::vector<std::vector<MappedPoint>> MapContours(const std::vector<OutlineContour>& contours, int box,
                                                  int left, int top, int s) {
  auto map = [&](int16_t x, int16_t y) {
    int64_t dx = int64_t(x) - left, dy = int64_t(y) - top;
    if (box > 128) return MappedPoint{int32_t((dx << s) * box / 1024), int32_t((dy << s) * box / 1024), true};
    return MappedPoint{int32_t((dx * box / 1024) << s), int32_t((dy * box / 1024) << s), true};
  };
  std::vector<std::vector<MappedPoint>> out;
  for (const OutlineContour& c : contours) {
    std::vector<MappedPoint> pts{map(c.x, c.y)};
    for (const OutlineGroup& g : c.groups) {
      if (g.kind == 1) {
        for (auto [x, y] : g.points) pts.push_back(map(x, y));
      } else if (g.kind == 2) {
        for (size_t i = 0; i < g.points.size(); ++i) {
          MappedPoint p = map(g.points[i].first, g.points[i].second);
          bool last = i + 1 == g.points.size();
          p.on = last;
          pts.push_back(p);
          if (!last && i + 2 < g.points.size()) {
            MappedPoint q = map(g.points[i + 1].first, g.points[i + 1].second);
            pts.push_back({(p.x + q.x) >> 1, (p.y + q.y) >> 1, true});
          }
        }
      }
    }
    out.push_back(pts);
  }
  return out;
}

std::vector<uint8_t> FreeTypeMono(const std::vector<std::vector<MappedPoint>>& contours, int s, int width,
                                  int rows) {
  std::vector<FT_Vector> points;
  std::vector<char> tags;
  std::vector<short> ends;
  int unit = 64 >> s;
  for (const auto& c : contours) {
    for (const MappedPoint& p : c) {
      points.push_back({FT_Pos(p.x) * unit, FT_Pos(rows) * 64 - FT_Pos(p.y) * unit - 32});
      tags.push_back(p.on ? FT_CURVE_TAG_ON : FT_CURVE_TAG_CONIC);
    }
    ends.push_back(short(points.size() - 1));
  }
  std::vector<uint8_t> out(size_t(width) * size_t(rows), 0);
  if (points.empty()) return out;
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib) != 0) return out;
  FT_Outline o{};
  o.n_contours = short(ends.size());
  o.n_points = short(points.size());
  o.points = points.data();
  o.tags = tags.data();
  o.contours = ends.data();
  o.flags = FT_OUTLINE_EVEN_ODD_FILL | FT_OUTLINE_IGNORE_DROPOUTS;
  int pitch = (width + 7) / 8;
  std::vector<unsigned char> bits(size_t(pitch) * size_t(rows), 0);
  FT_Bitmap bm{};
  bm.rows = unsigned(rows);
  bm.width = unsigned(width);
  bm.pitch = pitch;
  bm.buffer = bits.data();
  bm.num_grays = 2;
  bm.pixel_mode = FT_PIXEL_MODE_MONO;
  FT_Outline_Get_Bitmap(lib, &o, &bm);
  FT_Done_FreeType(lib);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < width; ++x)
      out[size_t(y * width + x)] = (bits[size_t(y * pitch + x / 8)] >> (7 - x % 8)) & 1;
  return out;
}

std::string OutlineGlyphRecord(const ConvertedGlyph& g) {
  int left = std::min<int>(0, g.min_x), top = std::min<int>(0, g.min_y);
  MetricsSpec m{uint16_t(g.max_x - left), uint16_t(g.max_y - top), int16_t(left), int16_t(top), g.advance};
  return GlyphRecord(0, m, OutlineBody(g.contours));
}

std::string RealFontDirectory(const std::string& face, const std::vector<uint16_t>& codes) {
  TrueTypeFace uming(kUmingPath), dejavu(kDejaVuPath);
  std::map<uint16_t, std::string> recs;
  for (uint16_t code : codes) {
    std::optional<ConvertedGlyph> g = code < 0x80 ? dejavu.Convert(code) : uming.Convert(Big5ToUnicode(code));
    if (g) recs[code] = OutlineGlyphRecord(*g);
  }
  HeadSpec h;
  h.face = face;
  h.units_per_em = 1024;
  h.max_ascent = 900;
  h.max_descent = 124;
  h.half_advance = 512;
  h.full_advance = 1024;
  // Underline and strike-out of DejaVu Sans (post and OS/2 tables) on the 1,024 grid.
  h.line_metric[0] = 45;
  h.line_metric[1] = -65;
  h.line_metric[2] = 51;
  h.line_metric[3] = 265;
  return Directory({Font({{"head", HeadTable(h)}, {"cdat", CdatTable(recs)}})});
}

uint32_t Big5ToUnicode(uint16_t code) {
  iconv_t cd = iconv_open("UTF-32LE", "CP950");
  if (cd == iconv_t(-1)) return 0;
  char in[2] = {char(code >> 8), char(code & 0xFF)};
  unsigned char out[8] = {};
  char* src = in;
  char* dst = reinterpret_cast<char*>(out);
  size_t src_left = 2, dst_left = sizeof out;
  size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == size_t(-1) || dst_left != 4) return 0;
  return uint32_t(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

}  // namespace qm::glyph::test
