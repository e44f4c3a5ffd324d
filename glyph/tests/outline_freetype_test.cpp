// The outline scan conversion against FreeType's mono rasteriser: about 200 real glyphs
// (Big5 characters of AR PL UMing, ASCII of DejaVu Sans), converted to outline records on
// the 1,024 grid, at 12, 16, 24, 48, 100 and 300 pixels. FreeType renders the same
// mapped outline (even-odd, moved up half a pixel, since the converter samples row tops
// and FreeType pixel centres). Pixels more than a pixel away from the outline must be
// equal; of those on the edge, at most half the perimeter (in pixels) may differ up to
// 40 pixels (the pixel-centre rule), at most the perimeter above (plain shift).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "glyph/outline.h"
#include "glyph/span_fill.h"
#include "glyph/tests/ttf_outlines.h"

namespace qm::glyph::test {
namespace {

struct Sample {
  std::string name;
  ConvertedGlyph glyph;
};

std::vector<Sample> Samples() {
  std::vector<Sample> out;
  TrueTypeFace uming(kUmingPath), dejavu(kDejaVuPath);
  EXPECT_TRUE(uming.ok() && dejavu.ok()) << "the test fonts are installed by scripts/setup";
  // Every 37th Big5 code of the common characters, up to 106 glyphs.
  for (uint32_t code = 0xA440; code < 0xF9D5 && out.size() < 106; code += 37) {
    uint8_t trail = code & 0xFF;
    if (!((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE))) continue;
    uint32_t u = Big5ToUnicode(uint16_t(code));
    if (!u) continue;
    if (auto g = uming.Convert(u)) out.push_back({"big5 " + std::to_string(code), *g});
  }
  for (uint32_t c = 0x21; c < 0x7F; ++c)
    if (auto g = dejavu.Convert(c)) out.push_back({"dejavu " + std::string(1, char(c)), *g});
  return out;
}

// The converter's bitmap, row-major bytes (1 = ink).
std::vector<uint8_t> Ours(const std::vector<OutlineContour>& contours, const OutlineGeometry& g, int width) {
  std::string body = OutlineBody(contours);
  std::vector<int16_t> pool(kPoolUnits);
  OutlineConverter c(g, pool.data());
  c.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
  int row_bytes = (width + 7) / 8;
  std::vector<unsigned char> bits(size_t(row_bytes) * size_t(g.row_count), 0);
  FillTarget t{bits.data(), row_bytes, g.row_count};
  FillState s;
  s.last_row = g.row_count - 1;
  s.right_limit = s.w1 = width - 1;
  s.h1 = g.row_count - 1;
  std::vector<Span> spans;
  while (c.NextBatch(spans, size_t(g.box_height)) > 0) {
    FillSpans(t, s, spans.data(), spans.size());
    spans.clear();
  }
  std::vector<uint8_t> out(size_t(width) * size_t(g.row_count));
  for (int y = 0; y < g.row_count; ++y)
    for (int x = 0; x < width; ++x)
      out[size_t(y * width + x)] = (bits[size_t(y * row_bytes + x / 8)] >> (7 - x % 8)) & 1;
  return out;
}

// The outline as a polyline in pixels: curves (control point between two on-curve
// points, as MapContours gives them) flattened to 32 pieces each.
std::vector<std::vector<std::pair<double, double>>> Flatten(const std::vector<std::vector<MappedPoint>>& contours,
                                                            int s) {
  double unit = double(1 << s);
  std::vector<std::vector<std::pair<double, double>>> out;
  for (const auto& c : contours) {
    std::vector<std::pair<double, double>> line;
    size_t n = c.size();
    for (size_t i = 0; i < n; ++i) {
      const MappedPoint& p = c[i];
      if (p.on) {
        line.push_back({p.x / unit, p.y / unit});
        continue;
      }
      const MappedPoint& a = c[(i + n - 1) % n];
      const MappedPoint& b = c[(i + 1) % n];
      for (int k = 1; k < 32; ++k) {
        double t = k / 32.0, u = 1 - t;
        line.push_back({(u * u * a.x + 2 * u * t * p.x + t * t * b.x) / unit,
                        (u * u * a.y + 2 * u * t * p.y + t * t * b.y) / unit});
      }
    }
    out.push_back(line);
  }
  return out;
}

// Pixels within one pixel of the outline, walked in steps of a tenth of a pixel.
std::vector<uint8_t> EdgeMask(const std::vector<std::vector<std::pair<double, double>>>& lines, int width,
                              int rows) {
  std::vector<uint8_t> mask(size_t(width) * size_t(rows), 0);
  auto mark = [&](double x, double y) {
    int cx = int(std::floor(x)), cy = int(std::floor(y));
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        int px = cx + dx, py = cy + dy;
        if (px >= 0 && py >= 0 && px < width && py < rows) mask[size_t(py * width + px)] = 1;
      }
  };
  for (const auto& l : lines)
    for (size_t i = 0; i < l.size(); ++i) {
      auto [ax, ay] = l[i];
      auto [bx, by] = l[(i + 1) % l.size()];
      int steps = int(std::hypot(bx - ax, by - ay) * 10) + 1;
      for (int k = 0; k <= steps; ++k) mark(ax + (bx - ax) * k / steps, ay + (by - ay) * k / steps);
    }
  return mask;
}

double Perimeter(const std::vector<std::vector<std::pair<double, double>>>& lines) {
  double total = 0;
  for (const auto& l : lines)
    for (size_t i = 0; i < l.size(); ++i) {
      auto [ax, ay] = l[i];
      auto [bx, by] = l[(i + 1) % l.size()];
      total += std::hypot(bx - ax, by - ay);
    }
  return total;
}

TEST(OutlineAgainstFreeType, RealGlyphsAtSixSizes) {
  std::vector<Sample> samples = Samples();
  ASSERT_GE(samples.size(), 190u);
  int compared = 0;
  for (int size : {12, 16, 24, 48, 100, 300}) {
    for (const Sample& smp : samples) {
      const ConvertedGlyph& cg = smp.glyph;
      OutlineGeometry g;
      g.box_width = g.box_height = size;
      g.left = std::min<int>(0, cg.min_x);
      g.top = std::min<int>(0, cg.min_y);
      int width = int((int64_t(cg.max_x) - g.left) * size / 1024) + 3;
      g.row_count = int((int64_t(cg.max_y) - g.top) * size / 1024) + 3;
      int s = OutlineSubpixelBits(size, size);
      auto mapped = MapContours(cg.contours, size, g.left, g.top, s);
      std::vector<uint8_t> ours = Ours(cg.contours, g, width);
      std::vector<uint8_t> theirs = FreeTypeMono(mapped, s, width, g.row_count);
      auto lines = Flatten(mapped, s);
      std::vector<uint8_t> edge = EdgeMask(lines, width, g.row_count);
      int differing = 0;
      for (int y = 0; y < g.row_count; ++y)
        for (int x = 0; x < width; ++x) {
          size_t i = size_t(y * width + x);
          if (ours[i] == theirs[i]) continue;
          ++differing;
          EXPECT_TRUE(edge[i]) << smp.name << " at " << size << " px: pixel " << x << "," << y << " off the edge";
        }
      // Up to 40 pixels the pixel-centre rule matches FreeType but for thin strokes, which
      // keep one pixel; above, the plain shift takes the pixels of both span ends, so up
      // to one pixel per pixel of edge may differ.
      double limit = size <= 40 ? 0.5 : 1.0;
      EXPECT_LE(differing, Perimeter(lines) * limit + 1) << smp.name << " at " << size << " px";
      ++compared;
    }
  }
  EXPECT_EQ(compared, int(samples.size()) * 6);
}

}  // namespace
}  // namespace qm::glyph::test
