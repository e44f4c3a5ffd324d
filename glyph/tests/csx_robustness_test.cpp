// Seeded corruptions of a document with real outline glyphs (AR PL UMing and DejaVu
// shapes) through librvcsp32.so: flipped bytes anywhere in the directory, the tables and
// the outline records, and truncated files, bound and drawn at several sizes, turns and
// weights. Nothing may crash or read outside the file or the buffers (sanitizer build).
#include <gtest/gtest.h>

#include <random>

#include "glyph/tests/csx_loader.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/font_writer.h"
#include "glyph/tests/ttf_outlines.h"

namespace qm::glyph::test {
namespace {

struct Document {
  std::string bytes;
  std::vector<uint16_t> codes;
};

Document RealOutlines() {
  Document d;
  TrueTypeFace uming(kUmingPath), dejavu(kDejaVuPath);
  std::map<uint16_t, std::string> recs;
  auto add = [&](uint16_t code, const std::optional<ConvertedGlyph>& g) {
    if (!g) return;
    MetricsSpec m{uint16_t(g->max_x - std::min<int>(0, g->min_x)), uint16_t(g->max_y - std::min<int>(0, g->min_y)),
                  int16_t(std::min<int>(0, g->min_x)), int16_t(std::min<int>(0, g->min_y)), g->advance};
    recs[code] = GlyphRecord(0, m, OutlineBody(g->contours));
    d.codes.push_back(code);
  };
  for (uint16_t big5 : {0xA440, 0xA4A4, 0xB0EA, 0xC5E9, 0xFA40})
    add(big5, uming.Convert(Big5ToUnicode(big5 == 0xFA40 ? 0xA4A4 : big5)));
  for (char c : {'A', 'g', 'Q', '@'}) add(uint8_t(c), dejavu.Convert(uint8_t(c)));
  HeadSpec h;
  h.face = "Real";
  h.units_per_em = 1024;
  h.max_ascent = 900;
  h.max_descent = 124;
  h.half_advance = 512;
  h.full_advance = 1024;
  d.bytes = Directory({Font({{"head", HeadTable(h)}, {"cdat", CdatTable(recs)}})});
  return d;
}

TEST(CsxRobustness, CorruptDocumentsThroughEveryGlyphRequest) {
  Document doc = RealOutlines();
  ASSERT_GE(doc.codes.size(), 8u);
  csx().EndAll();
  std::mt19937 rng(20261211);
  const int32_t heights[] = {-12, -16, -24, -48, -100, 7, -1, 0};
  const int32_t escapements[] = {0, 900, 1800, 2700};
  for (int round = 0; round < 300; ++round) {
    std::string bytes = doc.bytes;
    int flips = round == 0 ? 0 : 1 + int(rng() % 12);
    for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] = char(rng());
    if (round % 7 == 3) bytes.resize(rng() % bytes.size());
    FontFile f(bytes);
    int slot = csx().SetDoc(f.fd(), 0);
    if (slot <= 0) continue;
    LOGFONTA lf = Font("Real", heights[rng() % 8], escapements[rng() % 4], rng() % 3 ? 400 : 700);
    lf.lfItalic = uint8_t(rng() % 4 == 0);
    if (csx().SetFont(slot, &lf) == 1) {
      for (uint16_t code : doc.codes) {
        Glyph g = Render(slot, code);
        if (round == 0) {
          EXPECT_GT(g.result, 0) << code;
        }
        int32_t a = 0, h = 0;
        csx().GetCharExtent(slot, code, &a, &h);
      }
      csx().GetTextExtent(slot, "\xA4\x40" "Ag" "\xFA\x40", 6);
    }
    csx().End(slot);
  }
}

}  // namespace
}  // namespace qm::glyph::test
