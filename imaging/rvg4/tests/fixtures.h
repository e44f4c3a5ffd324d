// Bilevel test images made in the test: white, black, checkerboard, random noise and
// text-like pages (lines of small glyph shapes), in any size. Rows are the filter's rows
// (pbm.h) with the bits past the width white.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/rvg4/pbm.h"

namespace qm::rvg4::test {

enum class Pattern { kWhite, kBlack, kChecker, kRandom, kText };

const char* pattern_name(Pattern p);
Bilevel make_image(Pattern p, int32_t width, int32_t height, uint32_t seed = 1);

// Every pattern, and the widths and heights the coding is tried at.
const std::vector<Pattern>& all_patterns();
const std::vector<int32_t>& fixture_widths();   // 1, 7, 8, 9, 1727, 1728, 2479
const std::vector<int32_t>& fixture_heights();  // 0, 1, 1000

// The rows of an image copied into rows of stride bytes (stride >= row bytes), the
// bytes past each row's own zero.
std::vector<unsigned char> with_stride(const Bilevel& image, int32_t stride);

}  // namespace qm::rvg4::test
