// Tests of the outline scan conversion: small outlines as exact bitmaps (a square, a
// hole, a hairline, a curve), the first crossing of an edge that starts on a row
// boundary, bands (300 rows in two bands equal a row-by-row reference; a crowded band
// redone lower), batches, sub-pixel precision limits, the vertical fit of end-user-
// defined characters, and damaged bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "glyph/outline.h"
#include "glyph/span_fill.h"
#include "glyph/tests/bitmap_art.h"
#include "glyph/tests/font_writer.h"
#include "platform/le.h"

namespace qm::glyph::test {
namespace {

using Art = std::vector<std::string>;
using Pts = std::vector<std::pair<int16_t, int16_t>>;

struct Converted {
  std::vector<Span> spans;
  std::vector<int> bands;
};

Converted Convert(const OutlineGeometry& g, const std::string& body, size_t batch = 4096) {
  std::vector<int16_t> pool(kPoolUnits);
  OutlineConverter c(g, pool.data());
  c.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
  Converted r;
  while (c.NextBatch(r.spans, batch) > 0) {
  }
  r.bands = c.band_heights();
  return r;
}

OutlineGeometry Box(int size) { return {size, size, 0, 0, size}; }

Art Draw(int w, int h, const std::vector<Span>& spans) {
  Bitmap b(w, h);
  FillState s;
  s.last_row = h - 1;
  s.right_limit = s.w1 = w - 1;
  s.h1 = h - 1;
  FillSpans(b.target(), s, spans.data(), spans.size());
  return b.art();
}

Art DrawBody(int box, const std::string& body) { return Draw(box, box, Convert(Box(box), body).spans); }

const Art kSquare = {
    "................", "................", "................", "................",
    "....########....", "....########....", "....########....", "....########....",
    "....########....", "....########....", "....########....", "....########....",
    "....########....", "................", "................", "................"};

const Art kSquareWithHole = {
    "................", "................", "..############..", "..############..",
    "..############..", "..############..", "..############..", "..####....####..",
    "..####....####..", "..####....####..", "..############..", "..############..",
    "..############..", "..############..", "..############..", "................"};

TEST(OutlineConversion, SquareSamplesRowTopsWithEdgeRuns) {
  // 256..768 on the grid of a 16-pixel box is pixels 4..12: the top and bottom edges add
  // runs on rows 4 and 12, the sides cross rows 5 to 12.
  std::string body = OutlineBody({Polygon({{256, 256}, {768, 256}, {768, 768}, {256, 768}})});
  EXPECT_EQ(DrawBody(16, body), kSquare) << Show(DrawBody(16, body));
}

TEST(OutlineConversion, NestedContoursLeaveAHoleEitherWayRound) {
  for (bool reversed : {false, true}) {
    Pts inner = {{384, 384}, {640, 384}, {640, 640}, {384, 640}};
    if (reversed) std::reverse(inner.begin(), inner.end());
    std::string body = OutlineBody({Polygon({{128, 128}, {896, 128}, {896, 896}, {128, 896}}), Polygon(inner)});
    EXPECT_EQ(DrawBody(16, body), kSquareWithHole) << Show(DrawBody(16, body));
  }
}

TEST(OutlineConversion, EdgeStartingOnARowBoundaryCrossesTheNextRowFirst) {
  // A triangle whose apex lies exactly on the top of row 4: no crossing on row 4.
  std::string body = OutlineBody({Polygon({{512, 256}, {896, 768}, {128, 768}})});
  Converted r = Convert(Box(16), body);
  ASSERT_FALSE(r.spans.empty());
  int top = r.spans.front().row;
  for (const Span& s : r.spans)
    if (s.row != 12) top = std::min(top, s.row);  // row 12 also has the base's run
  EXPECT_EQ(top, 5);
}

TEST(OutlineConversion, HairlineThinnerThanARowStillShows) {
  // 64 pixels wide (plain shift), from y 3.2 to 3.6 pixels: all on row 3.
  std::string body = OutlineBody({Polygon({{0, 51}, {1023, 51}, {1023, 57}, {0, 57}})});
  Converted r = Convert(Box(64), body);
  ASSERT_FALSE(r.spans.empty());
  for (const Span& s : r.spans) {
    EXPECT_EQ(s.row, 3);
    EXPECT_EQ(s.left, 0);
    EXPECT_GE(s.right, 62);
  }
}

TEST(OutlineConversion, CurvesSplitIntoStraightPieces) {
  // A lens of two quadratic curves: symmetric about the vertical axis and widest in the
  // middle.
  OutlineContour c;
  c.x = 512;
  c.y = 64;
  c.groups.push_back({2, {{960, 512}, {512, 960}}});
  c.groups.push_back({2, {{64, 512}, {512, 64}}});
  Art a = DrawBody(32, OutlineBody({c}));
  size_t widest = 0;
  int widest_row = -1;
  for (int r = 0; r < 32; ++r) {
    size_t n = size_t(std::count(a[r].begin(), a[r].end(), '#'));
    if (n > widest) widest = n, widest_row = r;
    std::string mirrored(a[r].rbegin(), a[r].rend());
    int ink = int(std::count(a[r].begin(), a[r].end(), '#'));
    int ink_m = int(std::count(mirrored.begin(), mirrored.end(), '#'));
    EXPECT_EQ(ink, ink_m);
  }
  EXPECT_GE(widest, 12u) << Show(a);
  EXPECT_NEAR(widest_row, 16, 1) << Show(a);
  EXPECT_EQ(std::count(a[0].begin(), a[0].end(), '#'), 0) << Show(a);
}

// Row-by-row reference for polygons without horizontal edges: sample each row top,
// crossing the edges whose y range (y0, y1] holds it; pairs give the spans.
Art Reference(int box, const std::vector<Pts>& polys) {
  Bitmap b(box, box);
  int s = OutlineSubpixelBits(box, box);
  for (int r = 0; r < box; ++r) {
    int64_t y = int64_t(r) << s;
    std::vector<int64_t> xs;
    for (const Pts& p : polys) {
      for (size_t i = 0; i < p.size(); ++i) {
        auto map = [&](std::pair<int16_t, int16_t> q) {
          return std::pair<int64_t, int64_t>{(int64_t(q.first) << s) * box / 1024,
                                             (int64_t(q.second) << s) * box / 1024};
        };
        auto [x0, y0] = map(p[i]);
        auto [x1, y1] = map(p[(i + 1) % p.size()]);
        if (y0 > y1) std::swap(x0, x1), std::swap(y0, y1);
        if (y0 < y && y <= y1) xs.push_back(x0 + (y - y0) * (x1 - x0) / (y1 - y0));
      }
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2)
      for (int64_t x = xs[i] >> s; x <= (xs[i + 1] >> s) && x < box; ++x)
        b.bytes[size_t(r * b.row_bytes + x / 8)] |= uint8_t(0x80 >> (x % 8));
  }
  return b.art();
}

TEST(OutlineConversion, TallGlyphInTwoBandsEqualsRowByRowReference) {
  std::vector<Pts> polys = {{{512, 3}, {1000, 600}, {700, 1020}, {20, 800}},
                            {{512, 200}, {600, 700}, {300, 600}}};
  std::vector<OutlineContour> cs;
  for (const Pts& p : polys) cs.push_back(Polygon(p));
  Converted r = Convert(Box(300), OutlineBody(cs), 300);
  EXPECT_EQ(r.bands, (std::vector<int>{256, 44}));
  EXPECT_EQ(Draw(300, 300, r.spans), Reference(300, polys));
}

TEST(OutlineConversion, CrowdedBandIsRedoneAtHalfHeight) {
  // 48 thin slanted slivers over 256 rows need 96 x 256 crossings, more than the pool's
  // 8,192: the band is redone at 64 rows and the result still equals the reference.
  std::vector<Pts> polys;
  for (int i = 0; i < 48; ++i) {
    int16_t x = int16_t(10 + i * 21);
    polys.push_back({{x, 0}, {int16_t(x + 12), 1023}, {int16_t(x + 6), 512}});
  }
  std::vector<OutlineContour> cs;
  for (const Pts& p : polys) cs.push_back(Polygon(p));
  Converted r = Convert(Box(256), OutlineBody(cs), 256);
  ASSERT_GE(r.bands.size(), 2u);
  EXPECT_LT(r.bands.front(), 256);
  int total = 0;
  for (int h : r.bands) total += h;
  EXPECT_EQ(total, 256);
  EXPECT_EQ(Draw(256, 256, r.spans), Reference(256, polys));
}

TEST(OutlineConversion, SmallBatchesGiveTheSameSpans) {
  std::string body = OutlineBody({Polygon({{128, 128}, {896, 128}, {896, 896}, {128, 896}}),
                                  Polygon({{384, 384}, {640, 384}, {640, 640}, {384, 640}})});
  Converted all = Convert(Box(40), body);
  for (size_t batch : {1u, 3u, 7u}) EXPECT_EQ(Convert(Box(40), body, batch).spans, all.spans) << batch;
}

TEST(OutlineConversion, WithoutAWorkBufferNothingIsDrawn) {
  std::string body = OutlineBody({Polygon({{256, 256}, {768, 256}, {768, 768}, {256, 768}})});
  OutlineConverter c(Box(16), nullptr);
  c.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
  std::vector<Span> out;
  EXPECT_EQ(c.NextBatch(out, 16), 0u);
}

TEST(OutlineConversion, SubpixelBitsAndTheSixteenBitLimit) {
  struct Case {
    int w, h, bits;
  } cases[] = {{16, 16, 4}, {1024, 10, 4}, {1025, 1, 2}, {4096, 4096, 2}, {4097, 5, 1},
               {16383, 1, 1}, {16384, 1, -1}, {1, 20000, -1}, {-1, 5, -1}};
  for (const Case& c : cases) EXPECT_EQ(OutlineSubpixelBits(c.w, c.h), c.bits) << c.w << "x" << c.h;
}

TEST(OutlineConversion, VerticalFitOfEndUserCharacters) {
  // (lowest y, highest y) -> shift, for a line extent of 1000.
  struct Case {
    int16_t lo, hi;
    int shift;
  } cases[] = {{0, 1000, 0},    {100, 900, 0},   {200, 1100, -100}, {50, 1100, -50},
               {-100, 800, 100}, {-300, 800, 200}, {-100, 1100, 0}};
  for (const Case& c : cases) {
    std::string body = OutlineBody({Polygon({{10, c.lo}, {20, c.hi}, {30, int16_t((c.lo + c.hi) / 2)}})});
    std::string fitted = body;
    FitOutlineVertically(reinterpret_cast<unsigned char*>(fitted.data()), fitted.size(), 1000);
    // Start y at byte 6, then the group's y values at 12, 16.
    for (size_t at : {6u, 12u, 16u}) {
      int before = int16_t(le::get16(reinterpret_cast<const unsigned char*>(body.data()) + at));
      int after = int16_t(le::get16(reinterpret_cast<const unsigned char*>(fitted.data()) + at));
      EXPECT_EQ(after - before, c.shift) << c.lo << ".." << c.hi << " at " << at;
    }
  }
}

TEST(OutlineConversion, DamagedBodiesEndTheOutlineWithoutReadingPastIt) {
  std::string good = OutlineBody({Polygon({{128, 128}, {896, 128}, {896, 896}, {128, 896}}),
                                  Polygon({{384, 384}, {640, 384}, {640, 640}, {384, 640}})});
  std::mt19937 rng(42);
  for (int i = 0; i < 3000; ++i) {
    std::string body = good;
    if (i % 3 == 0) body.resize(rng() % (good.size() + 1));
    int flips = 1 + int(rng() % 6);
    for (int k = 0; k < flips && !body.empty(); ++k) body[rng() % body.size()] = char(rng());
    if (i % 5 == 0) {
      body.assign(rng() % 64, '\0');
      for (char& ch : body) ch = char(rng());
    }
    // Exact-size copies, so the sanitizer sees any read past the end.
    std::vector<unsigned char> exact(body.begin(), body.end());
    int box = 1 + int(rng() % 300);
    std::vector<int16_t> pool(kPoolUnits);
    OutlineConverter c({box, box, int16_t(rng() % 200) * -1, int16_t(rng() % 200) * -1, box}, pool.data());
    c.Start(exact.data(), exact.size());
    std::vector<Span> out;
    while (c.NextBatch(out, size_t(box)) > 0) {
    }
    FitOutlineVertically(exact.data(), exact.size(), int(rng() % 2000));
    for (const Span& s : out) {
      EXPECT_GE(s.row, 0);
      EXPECT_LT(s.row, box);
    }
  }
}

}  // namespace
}  // namespace qm::glyph::test
