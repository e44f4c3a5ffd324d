// Hand-typed embedded fonts (fixtures.h). Offsets in the comments are file offsets.
#include "glyph/tests/fixtures.h"

#include <initializer_list>

namespace qm::glyph::test {

namespace {

// Concatenates typed byte lists; Zeros(n) stands for a run of n zero bytes.
struct Zeros {
  size_t n;
};
struct Piece {
  Piece(std::initializer_list<unsigned char> b) : bytes(b.begin(), b.end()) {}
  Piece(Zeros z) : bytes(z.n, '\0') {}
  std::string bytes;
};
std::string Cat(std::initializer_list<Piece> pieces) {
  std::string out;
  for (const Piece& p : pieces) out += p.bytes;
  return out;
}

}  // namespace

std::string FixtureFullFont() {
  return Cat({
      // 0: directory: word 0, font count 1, font at 8
      {0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00},
      // 8: font: 2 tables; "head" at font+18, "cdat" at font+124
      {0x02, 0x00},
      {'h', 'e', 'a', 'd', 0x12, 0x00, 0x00, 0x00},
      {'c', 'd', 'a', 't', 0x7C, 0x00, 0x00, 0x00},
      // 26: head: length 104
      {0x68, 0x00},
      //   character set 136, 256 units per em, third word 0
      {0x88, 0x00, 0x00, 0x01, 0x00, 0x00},
      //   face name "Ming" in 32 bytes, second name empty
      {'M', 'i', 'n', 'g'}, Zeros{28}, Zeros{32},
      //   line metrics 10, -20, 10, 80
      {0x0A, 0x00, 0xEC, 0xFF, 0x0A, 0x00, 0x50, 0x00},
      //   ascent 220, descent -36, pitch kind 0, flags 0
      {0xDC, 0x00, 0xDC, 0xFF, 0x00, 0x00, 0x00, 0x00},
      //   maximum ascent 224, maximum descent 32, line gap 0, further metric 0
      {0xE0, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00},
      //   half advance 128, full advance 256, 6 unused bytes
      {0x80, 0x00, 0x00, 0x01}, Zeros{6},
      // 132: cdat: 1 glyph; code 0xA440 at cdat+8
      {0x01, 0x00, 0x40, 0xA4, 0x08, 0x00, 0x00, 0x00},
      // 140: record length 9: kind -1, no metrics, body length 3: program 7, point (16, 32)
      {0x09, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x03, 0x00, 0x07, 0x10, 0x20},
  });
}

std::string FixtureShortHeadFont() {
  return Cat({
      // 0: bytes before the directory
      {'P', 'G', 'X', '!'},
      // 4: directory: word 7, font count 1, font at directory+8 (12)
      {0x07, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00},
      // 12: font: 3 tables; "head" at font+26, "strk" at font+98, "bmpd" at font+132
      {0x03, 0x00},
      {'h', 'e', 'a', 'd', 0x1A, 0x00, 0x00, 0x00},
      {'s', 't', 'r', 'k', 0x62, 0x00, 0x00, 0x00},
      {'b', 'm', 'p', 'd', 0x84, 0x00, 0x00, 0x00},
      // 38: head: length 70: character set 0, 1000 units per em, third word 5
      {0x46, 0x00, 0x00, 0x00, 0xE8, 0x03, 0x05, 0x00},
      //   face name "Sans", second name "Alt"
      {'S', 'a', 'n', 's'}, Zeros{28}, {'A', 'l', 't'}, Zeros{29},
      // 110: strk: 1 program, parameter block 1..16, word 0x1234
      {0x01, 0x00},
      {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
       0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10},
      {0x34, 0x12},
      //   program 3 at strk+26
      {0x03, 0x00, 0x1A, 0x00, 0x00, 0x00},
      //   length 6: 0 parameters, 2 points, "draw 0 1" (0x0103), "end" (0x0070)
      {0x06, 0x00, 0x00, 0x02, 0x03, 0x01, 0x70, 0x00},
      // 144: bmpd: 1 strike of 12 pixels at bmpd+8
      {0x01, 0x00, 0x0C, 0x00, 0x08, 0x00, 0x00, 0x00},
      // 152: strike: 1 glyph; code 0x41 at strike+8
      {0x01, 0x00, 0x41, 0x00, 0x08, 0x00, 0x00, 0x00},
      // 160: glyph length 14: 3 by 2, origin (0, 10), advance 4, sixth 0, rows A0 40
      {0x0E, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x04, 0x00, 0x00, 0x00},
      {0xA0, 0x40},
  });
}

std::string FixtureTwoFonts() {
  return Cat({
      // 0: directory: word 0, 2 fonts at 12 and 72
      {0x00, 0x00, 0x02, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00},
      // 12: font "A": "kern" at font+18, "head" at font+20
      {0x02, 0x00},
      {'k', 'e', 'r', 'n', 0x12, 0x00, 0x00, 0x00},
      {'h', 'e', 'a', 'd', 0x14, 0x00, 0x00, 0x00},
      // 30: kern bytes
      {'z', 'z'},
      // 32: head: length 38: character set 136, 256 units per em, third word 0, "A"
      {0x26, 0x00, 0x88, 0x00, 0x00, 0x01, 0x00, 0x00, 'A'}, Zeros{31},
      // 72: font "B": "cdat" absent (offset 0), "head" at font+18
      {0x02, 0x00},
      {'c', 'd', 'a', 't', 0x00, 0x00, 0x00, 0x00},
      {'h', 'e', 'a', 'd', 0x12, 0x00, 0x00, 0x00},
      // 90: head: length 38, "B"
      {0x26, 0x00, 0x88, 0x00, 0x00, 0x01, 0x00, 0x00, 'B'}, Zeros{31},
  });
}

}  // namespace qm::glyph::test
