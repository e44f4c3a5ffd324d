// Tests of the stroke interpreter: hand-drawn strokes (horizontal, vertical, curved,
// frame-turned) in the small and large coordinate modes as bitmaps, spans at the
// precisions used above 1,024 and 4,096 pixels, the pixel-centre rule, register
// opcodes, call forms and their limits, batches, and glyph record layout.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "glyph/glyph_record.h"
#include "glyph/span_fill.h"
#include "glyph/stroke_program.h"
#include "glyph/tests/bitmap_art.h"
#include "glyph/tests/font_writer.h"

namespace qm::glyph::test {
namespace {

using Art = std::vector<std::string>;

// Stored programs for the calls of a test.
struct Programs {
  std::map<uint16_t, std::string> by_id;
  ProgramFetch fetch() const {
    return [this](uint16_t id, unsigned char* buf, size_t size) -> size_t {
      auto it = by_id.find(id);
      if (it == by_id.end() || it->second.size() > size) return 0;
      std::copy(it->second.begin(), it->second.end(), buf);
      return it->second.size();
    };
  }
};

std::vector<Span> RunAll(int box_w, int box_h, const std::string& body, const Programs& progs = {},
                         size_t batch = 4096) {
  StrokeInterpreter in(box_w, box_h, box_h, progs.fetch());
  in.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
  std::vector<Span> out;
  while (in.NextBatch(out, batch) > 0) {
  }
  return out;
}

Art Draw(int box, const std::string& body, const Programs& progs = {}) {
  std::vector<Span> spans = RunAll(box, box, body, progs);
  Bitmap b(box, box);
  FillState s;
  s.last_row = box - 1;
  s.right_limit = s.w1 = box - 1;
  s.h1 = box - 1;
  FillSpans(b.target(), s, spans.data(), spans.size());
  return b.art();
}

const Art kHorizontalBar = {
    "................", "................", "................", "................",
    "................", "................", "................", "..############..",
    "..############..", "................", "................", "................",
    "................", "................", "................", "................"};

const Art kVerticalBar = {
    "................", "................", ".......##.......", ".......##.......",
    ".......##.......", ".......##.......", ".......##.......", ".......##.......",
    ".......##.......", ".......##.......", ".......##.......", ".......##.......",
    ".......##.......", ".......##.......", "................", "................"};

TEST(StrokeInterpreter, HorizontalStrokeSmallMode) {
  // Left side down x = 2 px, right side down x = 14 px, rows 7 and 8 (sub-pixels of 16).
  std::string body = InlineCall({}, "line 2 3 112 32 143 32; line.r 4 5 112 224 143 224; end 0 0");
  EXPECT_EQ(Draw(16, body), kHorizontalBar) << Show(Draw(16, body));
}

TEST(StrokeInterpreter, VerticalStrokeFromAStoredProgramWithParameters) {
  // Points 0 (top) and 1 (bottom); the right side lies parameter 0's width to the right.
  Programs p;
  p.by_id[5] = Program(1, 2,
                       "copyy 0 2; xadd0 0 2 256 0; copyy 1 3; xadd0 1 3 256 0;"
                       "draw 0 1; draw.r 2 3; end 0 0");
  // In a 16-pixel box a coordinate byte is its sub-pixel value: width 32 = 2 pixels.
  std::string body = Call(5, {32}, {{112, 32}, {112, 223}});
  EXPECT_EQ(Draw(16, body, p), kVerticalBar) << Show(Draw(16, body, p));
  // The same through the long id form.
  p.by_id[300] = p.by_id[5];
  EXPECT_EQ(Draw(16, Call(300, {32}, {{112, 32}, {112, 223}}), p), kVerticalBar);
}

TEST(StrokeInterpreter, CurvedStroke) {
  // Left side: the quadratic from (y 0, x 0) through (128, 0) to (256, 256), x = y^2/256,
  // so row r starts at r^2 sub-pixels; right side straight down x = 255.
  std::string body = InlineCall({}, "curve 0 1 3 0 0 128 0 256 256; line.r 2 3 0 255 255 255; end 0 0");
  const Art expected = {
      "################", "################", "################", ".###############",
      ".###############", "..##############", "..##############", "...#############",
      "....############", ".....###########", "......##########", "........########",
      ".........#######", "...........#####", "............####", "..............##"};
  EXPECT_EQ(Draw(16, body), expected) << Show(Draw(16, body));
}

TEST(StrokeInterpreter, FrameTurnedStroke) {
  // Frame origin (y 256, x 0) with axis (dy 0, dx 256): a rotated point (c, d) lands at
  // (y 256 - d, x c), so the sides below draw the vertical bar.
  std::string body = InlineCall({}, "movea 2 0 256 0; movea 3 0 256 256; frame 2 3;"
                                    "line 4 5 112 224 112 33; line.r 6 7 144 224 144 33; end 0 0");
  EXPECT_EQ(Draw(16, body), kVerticalBar) << Show(Draw(16, body));
}

TEST(StrokeInterpreter, LargeModeScalesSegmentEnds) {
  // Box 192: coordinates stay on the 256 grid (x 16 sub-pixels) and are scaled by 3/4
  // when drawn. Left x 512 -> 384 (pixel 24), right x 1024 -> 768 (pixel 48); rows
  // 1024 -> 768 (row 48) to 1194 -> 895 (row 55). Above 40 pixels: a plain shift.
  std::string body = InlineCall({}, "line 2 3 1024 512 1194 512; line.r 4 5 1024 1024 1194 1024; end 0 0");
  StrokeInterpreter in(192, 192, 192, {});
  EXPECT_FALSE(in.small_mode());
  EXPECT_EQ(in.subpixel_bits(), 4);
  std::vector<Span> expected;
  for (int r = 48; r <= 55; ++r) expected.push_back({r, 24, 48});
  EXPECT_EQ(RunAll(192, 192, body), expected);
}

TEST(StrokeInterpreter, TheFourStrokesInLargeMode) {
  // A box 256 wide and 16 high is past 128: coordinates stay on the 256 grid in
  // sub-pixels (x 16) and are scaled when drawn, x by 256/256 and y by 16/256; above 40
  // pixels spans are shifted plainly.
  Programs p;
  p.by_id[5] = Program(1, 2,
                       "copyy 0 2; xadd0 0 2 256 0; copyy 1 3; xadd0 1 3 256 0;"
                       "draw 0 1; draw.r 2 3; end 0 0");
  auto rows = [](int first, int last, int left, int right) {
    std::vector<Span> out;
    for (int r = first; r <= last; ++r) out.push_back({r, left, right});
    return out;
  };
  std::vector<Span> curve;
  for (int r = 0; r < 16; ++r) curve.push_back({r, r * r, 255});  // x = y^2 / 16: 16 r^2 sub-pixels
  struct Case {
    const char* name;
    std::string body;
    std::vector<Span> spans;
  } cases[] = {
      // x 512 -> pixel 32, 3000 -> 187; y 1792 -> 112 (row 7), 2300 -> 143 (row 8).
      {"horizontal", InlineCall({}, "line 2 3 1792 512 2300 512; line.r 4 5 1792 3000 2300 3000; end 0 0"),
       rows(7, 8, 32, 187)},
      // Point bytes become v x 16: x 112 -> 1792 (pixel 112); y 32 -> 512 -> 32 (row 2),
      // 223 -> 3568 -> 223 (row 13); width 32 -> 512 sub-pixels (pixel 144).
      {"vertical", Call(5, {32}, {{112, 32}, {112, 223}}), rows(2, 13, 112, 144)},
      {"curve", InlineCall({}, "curve 0 1 3 0 0 2048 0 4096 4096; line.r 2 3 0 4095 4095 4095; end 0 0"),
       curve},
      // Axis (dy 0, dx 4096) from (y 4096, x 0): (c, d) lands at (y 4096 - 16 d, x 16 c).
      {"frame-turned",
       InlineCall({}, "movea 2 0 4096 0; movea 3 0 4096 4096; frame 2 3;"
                      "line 4 5 112 224 112 33; line.r 6 7 144 224 144 33; end 0 0"),
       rows(2, 13, 112, 144)},
  };
  for (const Case& c : cases) {
    StrokeInterpreter in(256, 16, 16, {});
    EXPECT_FALSE(in.small_mode());
    EXPECT_EQ(RunAll(256, 16, c.body, p), c.spans) << c.name;
  }
}

TEST(StrokeInterpreter, StrokesHaveNoGapsBetweenRows) {
  // A thin diagonal: each row's span is widened to reach the span of the row above.
  std::string body = InlineCall({}, "line 2 3 0 0 63 192; line.r 4 5 0 16 63 208; end 0 0");
  Art art = Draw(16, body);
  art.resize(5);
  EXPECT_EQ(art, (Art{"#...............", ".###............", "....###.........", ".......######...",
                      "................"}))
      << Show(art);
}

TEST(StrokeInterpreter, RowsOfOneSidePairWithTheOtherSidesNearestRow) {
  // The left side covers rows 2..5, the right side rows 2..9.
  std::string body = InlineCall({}, "line 2 3 32 32 95 32; line.r 4 5 32 160 159 160; end 0 0");
  std::vector<Span> expected;
  for (int r = 2; r <= 9; ++r) expected.push_back({r, 2, 9});
  EXPECT_EQ(RunAll(16, 16, body), expected);
}

TEST(StrokeInterpreter, PrecisionAbove1024And4096Pixels) {
  struct Case {
    int box, bits;
    const char* program;
    int first_row, last_row, left, right;
  } cases[] = {
      // s = 2: x 400 -> 3125 (pixel 781), 800 -> 6250 (1562); y 512 -> 4000, 515 -> 4023.
      {2000, 2, "line 2 3 512 400 515 400; line.r 4 5 512 800 515 800; end 0 0", 1000, 1005, 781, 1562},
      // s = 1: x 100 -> 1953 (976), 300 -> 5859 (2929); y 256 -> 5000, 257 -> 5019.
      {5000, 1, "line 2 3 256 100 257 100; line.r 4 5 256 300 257 300; end 0 0", 2500, 2509, 976, 2929},
  };
  for (const Case& c : cases) {
    StrokeInterpreter in(c.box, c.box, c.box, {});
    EXPECT_EQ(in.subpixel_bits(), c.bits) << c.box;
    std::vector<Span> expected;
    for (int r = c.first_row; r <= c.last_row; ++r) expected.push_back({r, c.left, c.right});
    EXPECT_EQ(RunAll(c.box, c.box, InlineCall({}, c.program)), expected) << c.box;
  }
}

TEST(StrokeInterpreter, PixelCentreRule) {
  // Sub-pixel values at 4 bits (16 to a pixel): 0x28 is pixel 2 and one half.
  struct Case {
    int left, right;
    int px_left, px_right;
  } cases[] = {
      {0x20, 0x5F, 2, 5},  // whole left, right fraction 15/16: its own pixel
      {0x27, 0x58, 2, 5},  // 7/16 left: own pixel; right exactly one half: own pixel
      {0x28, 0x5C, 2, 5},  // left one half, right not one half: own pixel
      {0x28, 0x58, 3, 5},  // both one half: the left end moves on
      {0x29, 0x57, 3, 4},  // left above one half: next; right below: the pixel before
      {0x00, 0x07, 0, 0},  // right below one half at pixel 0 stays at 0
      {0x2C, 0x33, 2, 2},  // narrower than a pixel: the left end's pixel
  };
  for (const Case& c : cases) {
    Span px = SpanToPixels({0, c.left, c.right}, 4, false);
    EXPECT_EQ(px, (Span{0, c.px_left, c.px_right})) << std::hex << c.left << " " << c.right;
  }
  EXPECT_EQ(SpanToPixels({3, 0x29, 0x57}, 4, true), (Span{3, 2, 5}));  // plain shift
}

TEST(StrokeInterpreter, SidesMeetingOnOneRowGiveOnePixel) {
  std::string body = InlineCall({}, "line 2 3 80 72 95 72; line.r 4 5 80 72 95 72; end 0 0");
  EXPECT_EQ(RunAll(16, 16, body), (std::vector<Span>{{5, 4, 4}}));
}

TEST(StrokeInterpreter, RegisterOpcodes) {
  // A 16-pixel box: parameter bytes are their own sub-pixel values (H[3] = 64).
  struct Case {
    const char* name;
    std::string program;
    int point;
    int16_t x, y;
  } cases[] = {
      {"yadd3: 64 x 520 / 256 = 130, snapped to 128", "movea 0 0 10 20; yadd3 0 2 520 99", 2, 0, 138},
      {"ysub3", "movea 0 0 200 20; ysub3 0 2 520 0", 2, 0, 72},
      {"yaddc3", "movea 0 0 10 20; yaddc3 0 2 520", 2, 0, 138},
      {"xsubc1: W[1] = 32, 32 x 384 / 256 = 48", "movea 0 0 10 100; xsubc1 0 2 384", 2, 52, 0},
      {"xadd1", "movea 0 0 10 100; xadd1 0 2 384 7", 2, 148, 0},
      {"copyx", "movea 0 0 10 100; copyx 0 4", 4, 100, 0},
      {"copyy", "movea 0 0 10 100; copyy 0 4", 4, 0, 10},
      {"frame with axis (256, 0): (yo + c, xo + d)",
       "movea 2 0 32 16; movea 3 0 288 16; frame 2 3; movea 5 0 10 20", 5, 36, 42},
      {"framex: origin (y of a, x of b)", "movea 2 0 32 16; movea 3 0 32 48; framex 2 3; smovea 5 0 0 256",
       5, 48 + ((256 * (16 - 48)) >> 8), 32},
      {"16-bit wrap (x of point 1 is the preset corner)", "movea 0 0 32767 0; yadd3 0 1 1024 0", 1, 255,
       int16_t(32767 + 256 - 65536)},
  };
  for (const Case& c : cases) {
    StrokeInterpreter in(16, 16, 16, {});
    std::string body = InlineCall({0, 32, 0, 64}, c.program);
    in.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
    std::vector<Span> out;
    in.NextBatch(out, 100);
    EXPECT_EQ(in.point_x(size_t(c.point)), c.x) << c.name;
    EXPECT_EQ(in.point_y(size_t(c.point)), c.y) << c.name;
  }
}

TEST(StrokeInterpreter, NoOperationOpcodesChangeNothing) {
  const char* base = "movea 2 0 32 16; movea 3 0 96 80";
  for (const char* extra : {"nop 2 3", "nop2 2 3", "op 19 2 3", "op 200 2 3"}) {
    StrokeInterpreter a(16, 16, 16, {}), b(16, 16, 16, {});
    std::string pa = InlineCall({}, base), pb = InlineCall({}, std::string(base) + ";" + extra + "; end 0 0");
    a.Start(reinterpret_cast<const unsigned char*>(pa.data()), pa.size());
    b.Start(reinterpret_cast<const unsigned char*>(pb.data()), pb.size());
    std::vector<Span> sa, sb;
    a.NextBatch(sa, 100);
    b.NextBatch(sb, 100);
    EXPECT_TRUE(sb.empty()) << extra;
    for (size_t i = 0; i < 16; ++i) {
      EXPECT_EQ(a.point_x(i), b.point_x(i)) << extra;
      EXPECT_EQ(a.point_y(i), b.point_y(i)) << extra;
    }
  }
}

TEST(StrokeInterpreter, InlineCallPresetsTheFarCorner) {
  struct Case {
    int box;
    int16_t x, y;
  } cases[] = {{16, 255, 255}, {10, 159, 159}, {200, 4095, 4095}, {2000, 1023, 1023}};
  for (const Case& c : cases) {
    StrokeInterpreter in(c.box, c.box, c.box, {});
    std::string body = InlineCall({}, "nop 0 0");
    in.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
    std::vector<Span> out;
    in.NextBatch(out, 10);
    EXPECT_EQ(in.point_x(1), c.x) << c.box;
    EXPECT_EQ(in.point_y(1), c.y) << c.box;
  }
}

TEST(StrokeInterpreter, WithoutAFlushTheLastRowsAreDropped) {
  std::string flushed = InlineCall({}, "line 2 3 112 32 143 32; line.r 4 5 112 224 143 224; end 0 0");
  std::string unflushed = InlineCall({}, "line 2 3 112 32 143 32; line.r 4 5 112 224 143 224");
  EXPECT_EQ(RunAll(16, 16, flushed).size(), 2u);
  EXPECT_EQ(RunAll(16, 16, unflushed), (std::vector<Span>{{7, 2, 13}}));
}

TEST(StrokeInterpreter, CallFormsAndLimits) {
  Programs p;
  // 10 parameters and 17 points: the call carries them all, the program sees 8 and 16.
  p.by_id[9] = Program(10, 17, "copyy 15 2; copyx 15 3; end 0 0");
  std::vector<uint8_t> params(10, 1);
  std::vector<std::pair<uint8_t, uint8_t>> points(17, {0, 0});
  points[15] = {48, 64};
  points[16] = {200, 200};
  std::string bar = InlineCall({}, "line 2 3 112 32 143 32; line.r 4 5 112 224 143 224; end 0 0");
  std::string body = Call(9, params, points) + Call(77, {}, {}) /* missing: empty */ + bar;
  EXPECT_EQ(RunAll(16, 16, body, p).size(), 2u);  // the bar after both calls still draws
  StrokeInterpreter in(16, 16, 16, p.fetch());
  std::string first = Call(9, params, points);
  in.Start(reinterpret_cast<const unsigned char*>(first.data()), first.size());
  std::vector<Span> out;
  in.NextBatch(out, 10);
  EXPECT_EQ(in.point_y(2), 64);
  EXPECT_EQ(in.point_x(3), 48);

  // Truncated bodies end without reading past them.
  for (size_t cut = 0; cut < bar.size(); ++cut) {
    std::string part = bar.substr(0, cut);
    std::vector<unsigned char> exact(part.begin(), part.end());
    StrokeInterpreter t(16, 16, 16, {});
    t.Start(exact.data(), exact.size());
    std::vector<Span> spans;
    while (t.NextBatch(spans, 4) > 0) {
    }
  }
}

TEST(StrokeInterpreter, SpansComeOutInBatches) {
  std::string body = InlineCall({}, "line 2 3 0 32 255 32; line.r 4 5 0 224 255 224; end 0 0") +
                     InlineCall({}, "line 2 3 0 32 255 32; line.r 4 5 0 224 255 224; end 0 0");
  StrokeInterpreter in(16, 16, 16, {});
  in.Start(reinterpret_cast<const unsigned char*>(body.data()), body.size());
  std::vector<Span> out;
  std::vector<size_t> sizes;
  while (size_t n = in.NextBatch(out, 12)) sizes.push_back(n);
  EXPECT_EQ(sizes, (std::vector<size_t>{12, 12, 8}));
  EXPECT_EQ(out, RunAll(16, 16, body));
}

TEST(StrokeInterpreter, DeepCurvesAreSplitAtMost16Levels) {
  // A curve across the whole 16-bit range in a large box: splitting stops at 16 levels.
  std::string body = InlineCall({}, "curve 0 1 3 -32768 0 0 32767 32767 -32768; end 0 0");
  std::vector<Span> spans = RunAll(5000, 5000, body);
  for (const Span& s : spans) EXPECT_LT(s.row, 5000);
}

TEST(GlyphRecord, ParseAndLayout) {
  std::string with = GlyphRecord(-1, MetricsSpec{512, 900, -64, 32, 600}, "abc");
  auto v = ParseGlyphRecord(reinterpret_cast<const unsigned char*>(with.data()), with.size());
  ASSERT_TRUE(v);
  EXPECT_EQ(v->kind, kStrokeGlyph);
  EXPECT_TRUE(v->has_metrics);
  EXPECT_EQ(v->left, -64);
  EXPECT_EQ(v->top, 0);  // positive offsets are taken as 0
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v->body), v->body_length), "abc");
  GlyphLayoutInput in;
  in.cell_width = in.cell_height = 24;
  in.line_height = 26;
  in.units_per_em = 1024;
  in.max_ascent = 800;
  in.max_descent = 200;
  in.widening = 2;
  GlyphLayout l = LayoutGlyph(*v, in);
  EXPECT_EQ(l.width, MulDiv(512 + 64, 22, 1024) + 3);  // 12 + 3
  EXPECT_EQ(l.width, 15);
  EXPECT_EQ(l.height, 26);  // ink height within ascent + descent: the line height
  EXPECT_EQ(l.origin_x, MulDiv(-64, 24, 1024));
  EXPECT_EQ(l.advance, MulDiv(600, 24, 1024));
  in.max_ascent = 600;
  EXPECT_EQ(LayoutGlyph(*v, in).height, MulDiv(900, 22, 1024) + 3);

  std::string without = GlyphRecord(5, std::nullopt, "");
  auto w = ParseGlyphRecord(reinterpret_cast<const unsigned char*>(without.data()), without.size());
  ASSERT_TRUE(w);
  GlyphLayout c = LayoutGlyph(*w, in);
  EXPECT_EQ(c.width, 24);
  EXPECT_EQ(c.height, 26);
  EXPECT_EQ(c.advance, 24);

  struct Bad {
    const char* name;
    std::string bytes;
  } bad[] = {{"too short", std::string("\xFF\xFF\x00", 3)},
             {"metrics past the end", std::string("\xFF\xFF\x20\x00\x00\x00", 6)},
             {"negative metrics length", std::string("\xFF\xFF\x00\x80\x00\x00", 6)}};
  for (const Bad& b : bad)
    EXPECT_FALSE(ParseGlyphRecord(reinterpret_cast<const unsigned char*>(b.bytes.data()), b.bytes.size())) << b.name;
  std::string cut = GlyphRecord(-1, std::nullopt, "abcdef").substr(0, 9);  // body cut to 3 bytes
  auto k = ParseGlyphRecord(reinterpret_cast<const unsigned char*>(cut.data()), cut.size());
  ASSERT_TRUE(k);
  EXPECT_EQ(k->body_length, 3u);
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 2, 4), 3);
  EXPECT_EQ(MulDiv(1, 1, 3), 0);
  EXPECT_EQ(MulDiv(7, 9, 0), -1);
}

}  // namespace
}  // namespace qm::glyph::test
