// Seeded corruptions of embedded fonts read through every fetch, and random stroke
// bodies and programs run through the interpreter and the span fill. Each variant must
// give missing glyphs or partial spans: no crash, no read outside the buffers (the
// sanitizer build checks), no span outside the glyph's rows.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "glyph/font_format.h"
#include "glyph/font_reader.h"
#include "glyph/glyph_record.h"
#include "glyph/span_fill.h"
#include "glyph/stroke_program.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/font_writer.h"
#include "testsupport/corrupt.h"

namespace qm::glyph::test {
namespace {

// "<prefix><n>", built by appending.
std::string Numbered(const char* prefix, int n) {
  std::string s(prefix);
  s.append(std::to_string(n));
  return s;
}

// A font with every table: stroke glyphs calling stored and inline programs, an outline
// record, and two strikes.
std::string RichFont(const std::string& face) {
  HeadSpec h;
  h.face = face;
  std::map<uint16_t, std::string> programs = {
      {1, Program(1, 2, "copyy 0 2; xadd0 0 2 256 0; copyy 1 3; xadd0 1 3 256 0; draw 0 1; draw.r 2 3; end 0 0")},
      {2, Program(0, 3, "curve 0 1 3 0 0 128 0 256 256; line.r 2 3 0 255 255 255; end 0 0")},
      {260, Program(2, 1, "yadd0 0 1 300 0; xadd1 0 2 200 0; frame 0 1; line 3 4 10 10 200 30; end 0 0")}};
  std::string body = Call(1, {32}, {{112, 32}, {112, 223}}) + Call(2, {}, {{0, 0}, {1, 1}, {2, 2}}) +
                     Call(260, {40, 50}, {{20, 30}}) +
                     InlineCall({7}, "line 2 3 112 32 143 32; line.r 4 5 112 224 143 224; end 0 0");
  std::map<uint16_t, std::string> records = {
      {0x41, GlyphRecord(-1, MetricsSpec{200, 220, -10, 0, 256}, body)},
      {0x42, GlyphRecord(-1, std::nullopt, Call(2, {}, {{0, 0}, {9, 9}, {200, 250}}))},
      {0xA440, GlyphRecord(3, std::nullopt, std::string(20, '\x01'))}};
  BitmapSpec g{9, 3, 0, 8, 10, 0, {"#.#.#.#.#", ".#.#.#.#.", "#########"}};
  std::vector<Strike> strikes = {{12, {{0x41, BitmapGlyphBytes(g)}, {0x42, BitmapGlyphBytes(g)}}},
                                 {16, {{0x41, BitmapGlyphBytes(g)}}}};
  return Font({{"head", HeadTable(h)}, {"strk", StrkTable(programs)}, {"cdat", CdatTable(records)},
               {"bmpd", BmpdTable(strikes)}});
}

// Reads everything a renderer would from the file and draws every glyph.
void ReadEverything(int fd, const std::vector<std::string>& faces) {
  FontReader r;
  if (r.LoadFontDirectory(fd, 0) != kDirLoaded) return;
  std::vector<unsigned char> record(kGlyphRecordBuffer), bitmap(kGlyphRecordBuffer);
  for (const std::string& face : faces) {
    FontHeader h;
    r.ReadHeadTable(face, h);
    if (!r.FindFace(face)) continue;
    StrokeParameters p;
    r.ReadStrokeParameters(p);
    for (uint16_t code : {0x41, 0x42, 0x43, 0xA440}) {
      size_t n = r.ReadGlyphRecord(code, record.data(), record.size());
      std::vector<unsigned char> exact(record.begin(), record.begin() + long(n));
      auto rec = ParseGlyphRecord(exact.data(), exact.size());
      if (rec && rec->kind == kStrokeGlyph) {
        const int box = 24;
        StrokeInterpreter in(box, box, box, [&r](uint16_t id, unsigned char* buf, size_t size) {
          return r.ReadStrokeProgram(id, buf, size);
        });
        in.Start(rec->body, rec->body_length);
        std::vector<unsigned char> bits(size_t((box + 7) / 8 * box));
        FillState s;
        s.last_row = box - 1;
        s.right_limit = s.w1 = s.h1 = box - 1;
        std::vector<Span> spans;
        while (in.NextBatch(spans, box) > 0) {
          for (const Span& sp : spans) ASSERT_TRUE(sp.row >= 0 && sp.row < box);
          FillSpans({bits.data(), (box + 7) / 8, box}, s, spans.data(), spans.size());
          spans.clear();
        }
      }
      for (uint16_t size : {12, 16}) {
        size_t m = r.ReadBitmapGlyph(code, size, bitmap.data(), bitmap.size());
        std::vector<unsigned char> glyph(bitmap.begin(), bitmap.begin() + long(m));
        if (auto g = ParseBitmapGlyph(glyph.data(), glyph.size())) {
          unsigned sum = 0;
          for (size_t i = 0; i < g->row_bytes * g->height; ++i) sum += g->rows[i];
          (void)sum;
        }
      }
    }
  }
  r.FindFace("Nowhere");
}

TEST(GlyphRobustness, CorruptedFontsThroughEveryFetch) {
  std::vector<std::string> fonts = {RichFont("One"), RichFont("Two")};
  for (int i = 0; i < 30; ++i) fonts.push_back(RichFont(Numbered("F", i)));  // 32: a rescan
  std::string base = Directory(fonts);
  std::vector<std::string> faces = {"One", "Two", "F27", "F28", "F29"};
  {
    FontFile f(base);
    FontReader r;
    ASSERT_EQ(r.LoadFontDirectory(f.fd(), 0), kDirLoaded);
    ASSERT_TRUE(r.FindFace("F29"));
    EXPECT_TRUE(r.current_is_overflow());
    unsigned char buf[kGlyphRecordBuffer];
    EXPECT_GT(r.ReadGlyphRecord(0x41, buf, sizeof buf), 0u);
  }
  qm::test::Corruptor c(20261211);
  qm::test::VariantTrace trace;
  // Most edits land in the first fonts, where the reader looks first.
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = base;
    qm::test::Edits edits = c.any(round % 2 ? bytes.size() : 2200);
    qm::test::apply_edits(bytes, edits);
    trace.set("font directory", edits);
    FontFile f(bytes);
    ReadEverything(f.fd(), faces);
  }
}

TEST(GlyphRobustness, RandomBodiesAndProgramsThroughInterpreterAndFill) {
  std::mt19937 rng(4242);
  auto bytes = [&rng](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += char(rng() & 0xFF);
    return s;
  };
  const int boxes[] = {1, 5, 16, 40, 41, 128, 129, 300, 1025, 5000};
  for (int round = 0; round < 3000; ++round) {
    std::map<uint16_t, std::string> programs;
    for (int k = 0; k < 4; ++k) {
      // Small parameter and point counts most of the time, so bodies parse further.
      std::string p = bytes(2 + rng() % 64);
      p[0] = char(rng() % 12);
      p[1] = char(rng() % 20);
      programs[uint16_t(rng() % 8)] = p;
    }
    std::string body;
    size_t calls = 1 + rng() % 5;
    for (size_t k = 0; k < calls; ++k) {
      if (rng() % 3 == 0) body += char(250) + bytes(1 + rng() % 40);
      else body += char(rng() % 8) + bytes(rng() % 40);
    }
    int box = boxes[rng() % std::size(boxes)];
    int rows = box;
    std::vector<unsigned char> stored;  // exact size, for the sanitizer
    StrokeInterpreter in(box, box, rows, [&](uint16_t id, unsigned char* buf, size_t size) -> size_t {
      auto it = programs.find(id);
      if (it == programs.end() || it->second.size() > size) return 0;
      std::copy(it->second.begin(), it->second.end(), buf);
      return it->second.size();
    });
    std::vector<unsigned char> exact(body.begin(), body.end());
    in.Start(exact.data(), exact.size());
    int side = std::min(box, 64);
    std::vector<unsigned char> bits(size_t((side + 7) / 8 * side));
    FillState s;
    s.last_row = side - 1;
    s.right_limit = s.w1 = s.h1 = side - 1;
    s.angle = 90 * int(rng() % 4);
    s.widening = int(rng() % 3);
    s.bold_step = int(rng() % 2);
    s.italic_mode = int(rng() % 5) * 512;
    s.slant_total = SlantTotal(side);
    std::vector<Span> spans;
    int batches = 0;
    while (in.NextBatch(spans, size_t(std::max(1, side))) > 0 && ++batches < 100000) {
      for (const Span& sp : spans) ASSERT_TRUE(sp.row >= 0 && sp.row < rows) << round;
      FillSpans({bits.data(), (side + 7) / 8, side}, s, spans.data(), spans.size());
      spans.clear();
    }
  }
}

}  // namespace
}  // namespace qm::glyph::test
