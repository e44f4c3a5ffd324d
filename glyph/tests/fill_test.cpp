// Tests of the span fill: byte masks, turns (each equal to the upright bitmap turned),
// italic slants, bold widening, set against clear, and clipping of every write to the
// bitmap whatever the turn, slant or bold.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "glyph/span_fill.h"
#include "glyph/tests/bitmap_art.h"

namespace qm::glyph::test {
namespace {

FillState Upright(int width, int height) {
  FillState s;
  s.first_row = 0;
  s.last_row = height - 1;
  s.right_limit = width - 1;
  s.w1 = width - 1;
  s.h1 = height - 1;
  return s;
}

TEST(SpanFill, RowMasks) {
  struct Case {
    int x1, x2;
    std::vector<unsigned char> row;
  } cases[] = {
      {3, 3, {0x10, 0x00, 0x00}},
      {6, 17, {0x03, 0xFF, 0xC0}},
      {17, 6, {0x03, 0xFF, 0xC0}},  // ends in either order
      {0, 7, {0xFF, 0x00, 0x00}},
      {8, 8, {0x00, 0x80, 0x00}},
      {2, 5, {0x3C, 0x00, 0x00}},
      {0, 23, {0xFF, 0xFF, 0xFF}},
      {20, 40, {0x00, 0x00, 0x0F}},  // cut at the right limit (23)
  };
  for (const Case& c : cases) {
    Bitmap b(24, 1);
    FillState s = Upright(24, 1);
    Span sp{0, c.x1, c.x2};
    FillSpans(b.target(), s, &sp, 1);
    EXPECT_EQ(b.bytes, c.row) << c.x1 << ".." << c.x2;
  }
}

TEST(SpanFill, SpansOutsideTheWindowOrNegativeAreNotWritten) {
  Bitmap b(16, 4);
  FillState s = Upright(16, 4);
  s.first_row = 1;
  s.last_row = 2;
  std::vector<Span> spans = {{0, 0, 15}, {3, 0, 15}, {1, -2, 4}, {2, 4, 5}, {-1, 0, 3}};
  FillSpans(b.target(), s, spans.data(), spans.size());
  EXPECT_EQ(b.art(), (std::vector<std::string>{"................", "................",
                                                "....##..........", "................"}));
}

TEST(SpanFill, AngleNinetyPutsRowZeroInTheLeftColumn) {
  // An upright 6 wide by 4 high glyph turned by 90: 4 wide by 6 high.
  Bitmap b(4, 6);
  FillState s = Upright(6, 4);
  s.first_row = 0;
  s.last_row = 5;  // the window of the turned bitmap's rows
  s.angle = 90;
  Span sp{0, 0, 5};
  FillSpans(b.target(), s, &sp, 1);
  EXPECT_EQ(b.art(), (std::vector<std::string>{"#...", "#...", "#...", "#...", "#...", "#..."}));
}

// The upright bitmap turned by `angle` in the same sense as the fill turns it.
Bitmap Turn(const Bitmap& up, int angle) {
  int w = up.width, h = up.height;
  Bitmap out(angle % 180 ? h : w, angle % 180 ? w : h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!up.at(x, y)) continue;
      int tx = x, ty = y;
      if (angle == 90) tx = y, ty = w - 1 - x;
      if (angle == 180) tx = w - 1 - x, ty = h - 1 - y;
      if (angle == 270) tx = h - 1 - y, ty = x;
      out.bytes[size_t(ty * out.row_bytes + tx / 8)] |= uint8_t(0x80 >> (tx % 8));
    }
  return out;
}

TEST(SpanFill, EachTurnEqualsTheUprightBitmapTurned) {
  // An "F"-like glyph, 7 wide by 9 high: no symmetry.
  const int w = 7, h = 9;
  std::vector<Span> spans = {{0, 0, 6}, {1, 0, 1}, {2, 0, 1}, {3, 0, 4}, {4, 0, 4},
                             {5, 0, 1}, {6, 0, 1}, {7, 0, 1}, {8, 0, 0}};
  Bitmap up(w, h);
  FillSpans(up.target(), Upright(w, h), spans.data(), spans.size());
  EXPECT_EQ(up.art(), (std::vector<std::string>{"#######", "##.....", "##.....", "#####..", "#####..",
                                                "##.....", "##.....", "##.....", "#......"}));
  for (int angle : {90, 180, 270}) {
    Bitmap turned(angle % 180 ? h : w, angle % 180 ? w : h);
    FillState s = Upright(w, h);
    s.angle = angle;
    s.last_row = std::max(w, h) - 1;  // the window covers both the unturned and turned rows
    FillSpans(turned.target(), s, spans.data(), spans.size());
    EXPECT_EQ(turned.art(), Turn(up, angle).art()) << angle << Show(turned.art());
  }
}

TEST(SpanFill, UprightItalicShiftsTheTopRowByTheSlantTotal) {
  const int w = 48, h = 32;
  Bitmap b(w, h);
  FillState s = Upright(w, h);
  s.italic_mode = kItalicUpright;
  s.slant_total = SlantTotal(h);
  ASSERT_EQ(s.slant_total, 10);
  std::vector<Span> spans;
  for (int r = 0; r < h; ++r) spans.push_back({r, 0, 0});
  FillSpans(b.target(), s, spans.data(), spans.size());
  auto art = b.art();
  EXPECT_EQ(art[0].find('#'), 10u);
  EXPECT_EQ(art[31].find('#'), 0u);
  for (int r = 1; r < h; ++r) EXPECT_LE(art[size_t(r)].find('#'), art[size_t(r - 1)].find('#')) << r;
}

TEST(SpanFill, TurnedItalicShiftsColumnsAlongTheirRows) {
  Bitmap b(8, 20);
  FillState s = Upright(16, 8);
  s.angle = 270;
  s.last_row = 19;
  s.italic_mode = kItalicTurned;
  s.slant_total = SlantTotal(8);
  Span sp{7, 0, 3};  // c = 7 x 83 / 256 = 2: rows 2..5 of column 0
  FillSpans(b.target(), s, &sp, 1);
  auto art = b.art();
  for (int r = 0; r < 20; ++r) EXPECT_EQ(art[size_t(r)][0] == '#', r >= 2 && r <= 5) << r;
}

TEST(SpanFill, VerticalFaceSlantsRunFromEndToEndMonotonically) {
  // A row span across the whole width: mode 1536 steps down from the row itself to
  // row + T; mode 2048 starts at row + T and steps back to the row.
  const int w = 40, h = 32;
  for (int mode : {kItalicVertical, kItalicVerticalBack}) {
    Bitmap b(w, h + 16);
    FillState s = Upright(w, h);
    s.last_row = h + 15;
    s.italic_mode = mode;
    s.slant_total = SlantTotal(h);
    Span sp{2, 0, w - 1};
    FillSpans(b.target(), s, &sp, 1);
    std::vector<int> row_of(w, -1);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < b.height; ++y)
        if (b.at(x, y)) {
          EXPECT_EQ(row_of[size_t(x)], -1) << "one pixel per column";
          row_of[size_t(x)] = y;
        }
    int first = mode == kItalicVertical ? 2 : 2 + 10, last = mode == kItalicVertical ? 2 + 10 : 2;
    EXPECT_EQ(row_of.front(), first) << mode;
    EXPECT_EQ(row_of.back(), last) << mode;
    for (int x = 1; x < w; ++x) {
      int step = row_of[size_t(x)] - row_of[size_t(x - 1)];
      EXPECT_TRUE(mode == kItalicVertical ? (step == 0 || step == 1) : (step == 0 || step == -1)) << x;
    }
  }
}

TEST(SpanFill, BoldWidensDownAndRight) {
  Bitmap b(12, 8);
  FillState s = Upright(12, 8);
  s.widening = 2;
  s.bold_step = 1;
  Span sp{3, 2, 4};
  FillSpans(b.target(), s, &sp, 1);
  EXPECT_EQ(b.art(), (std::vector<std::string>{"............", "............", "............",
                                                "..######....", "..######....", "..######....",
                                                "............", "............"}));
  // A span on a row within w of the window's bottom is left out.
  Bitmap c(12, 8);
  Span low{6, 2, 4};
  FillSpans(c.target(), s, &low, 1);
  EXPECT_EQ(c.bytes, std::vector<unsigned char>(c.bytes.size(), 0));
}

TEST(SpanFill, VerticalFaceStrokesAddTheBoldStepOnTheRowSide) {
  // A 4 high glyph turned by 270 with b = 1: w + b + 1 = 2 rows, columns H1 + b - r, and
  // no extension of the right end.
  Bitmap b(8, 8);
  FillState s = Upright(4, 4);
  s.last_row = 7;
  s.angle = 270;
  s.bold_step = 1;
  s.vertical_stroke = true;
  Span sp{0, 0, 2};
  FillSpans(b.target(), s, &sp, 1);
  EXPECT_EQ(b.art(), (std::vector<std::string>{"...##...", "...##...", "...##...", "........", "........",
                                                "........", "........", "........"}));
}

TEST(SpanFill, SetAndClearAreInverse) {
  std::mt19937 rng(7);
  std::vector<Span> spans;
  for (int i = 0; i < 60; ++i) spans.push_back({int(rng() % 20), int(rng() % 30), int(rng() % 30)});
  for (int angle : {0, 90, 180, 270}) {
    Bitmap on(30, 30, 0x00), off(30, 30, 0xFF);
    FillState s = Upright(30, 20);
    s.last_row = 29;
    s.angle = angle;
    s.widening = 1;
    s.bold_step = 1;
    FillSpans(on.target(), s, spans.data(), spans.size());
    s.set = false;
    FillSpans(off.target(), s, spans.data(), spans.size());
    for (size_t i = 0; i < on.bytes.size(); ++i) ASSERT_EQ(on.bytes[i], uint8_t(~off.bytes[i])) << angle << " " << i;
  }
}

TEST(SpanFill, WritesStayInsideTheBitmapWhateverTheState) {
  // Exact-size buffers: the sanitizer build reports any write outside them.
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    int width = 1 + int(rng() % 40), height = 1 + int(rng() % 40);
    std::vector<unsigned char> bits(size_t((width + 7) / 8 * height));
    FillTarget t{bits.data(), (width + 7) / 8, height};
    FillState s;
    s.first_row = int(rng() % 50) - 5;
    s.last_row = int(rng() % 80);
    s.right_limit = int(rng() % 80);
    s.w1 = int(rng() % 80);
    s.h1 = int(rng() % 80);
    s.angle = 90 * int(rng() % 4);
    const int modes[] = {0, 512, 1024, 1536, 2048};
    s.italic_mode = modes[rng() % 5];
    s.slant_total = int(rng() % 30);
    s.widening = int(rng() % 4);
    s.bold_step = int(rng() % 2);
    s.vertical_stroke = rng() % 2;
    s.set = rng() % 2;
    std::vector<Span> spans;
    for (int i = 0; i < 8; ++i)
      spans.push_back({int(rng() % 100) - 10, int(rng() % 100) - 10, int(rng() % 100) - 10});
    FillSpans(t, s, spans.data(), spans.size());
  }
}

}  // namespace
}  // namespace qm::glyph::test
