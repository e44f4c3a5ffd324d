// Hand-typed embedded fonts (fixtures.cpp), typed from the byte tables of the format so
// that the test writer and the reader cannot share one misreading.
#pragma once
#include <string>

namespace qm::glyph::test {

// Directory at 0, one font "Ming": a full 104-byte head and a cdat table with one
// stroke glyph 0xA440 (no metrics, body: a call of program 7 with one point (16, 32)).
std::string FixtureFullFont();
// Four bytes "PGX!", then the directory at 4 (first word 7), one font "Sans": a short
// 70-byte head (character set 0, 1000 units per em, third word 5, second name "Alt"),
// a strk table (parameter block 1..16, word 0x1234, program 3: 0 parameters, 2 points,
// "draw 0 1; end") and a bmpd table with one 12-pixel strike holding glyph 0x41
// (3 by 2: "#.#", ".#.", origin (0, 10), advance 4).
std::string FixtureShortHeadFont();
inline constexpr unsigned kShortHeadDirOffset = 4;
// Directory at 0 with two fonts: "A" (an unknown "kern" table, then a 38-byte head) and
// "B" (an absent cdat table, then a 38-byte head).
std::string FixtureTwoFonts();

}  // namespace qm::glyph::test
