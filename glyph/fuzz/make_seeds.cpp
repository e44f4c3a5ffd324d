// Writes seed font directories for the font fuzz target into the folder named on the
// command line: the hand-typed fixtures; outline glyphs converted from the installed
// TrueType fonts (DejaVu Sans for ASCII, AR PL UMing for Big5) by FreeType; and a face of
// stroke glyphs (stored and inline programs) with bitmap strikes at the sizes the target
// asks for. Built with QM_FUZZ; run by scripts/fuzz-seeds.
#include <fstream>
#include <map>
#include <string>

#include "glyph/tests/fixtures.h"
#include "glyph/tests/font_writer.h"
#include "glyph/tests/ttf_outlines.h"

using namespace qm::glyph::test;

namespace {

void put(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
}

std::string stroke_and_strikes() {
  HeadSpec h;
  h.face = "Ming";
  std::map<uint16_t, std::string> programs = {
      {1, Program(1, 2, "copyy 0 2; xadd0 0 2 256 0; draw 0 1; end 0 0")},
      {2, Program(0, 3, "curve 0 1 3 0 0 128 0 256 256; end 0 0")}};
  std::map<uint16_t, std::string> records = {
      {0x41, GlyphRecord(-1, MetricsSpec{200, 220, -10, 0, 256}, Call(1, {32}, {{112, 32}, {112, 223}}))},
      {0x42, GlyphRecord(-1, std::nullopt, Call(2, {}, {{0, 0}, {9, 9}, {200, 250}}))},
      {0xA440, GlyphRecord(-1, std::nullopt, InlineCall({7}, "line 2 3 112 32 143 32; end 0 0"))}};
  BitmapSpec g{5, 3, 0, 8, 6, 0, {"#.#.#", ".#.#.", "#####"}};
  std::vector<Strike> strikes = {{12, {{0x41, BitmapGlyphBytes(g)}}}, {16, {{0x42, BitmapGlyphBytes(g)}}}};
  return Directory({Font({{"head", HeadTable(h)}, {"strk", StrkTable(programs)}, {"cdat", CdatTable(records)},
                          {"bmpd", BmpdTable(strikes)}})});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  put(dir, "typed-full.fnt", FixtureFullFont());
  put(dir, "typed-two.fnt", FixtureTwoFonts());
  put(dir, "truetype-outlines.fnt", RealFontDirectory("Ming", {0x41, 0x67, 0xA440, 0xA4A4}));
  put(dir, "stroke-strikes.fnt", stroke_and_strikes());
  return 0;
}
