// Turned glyphs of real outlines (AR PL UMing and DejaVu Sans converted to outline
// records) through the renderer: the glyph at escapement 900, 1800 and 2700 is the upright
// glyph turned by 90, 180 and 270 degrees, bit for bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyph/renderer.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/ttf_outlines.h"

namespace qm::glyph::test {
namespace {

const std::vector<uint16_t> kCodes = {0xA4A4, 0xA4E5, 0xA672, 'P', 'G', 'g', '4'};

// A glyph as a grid of ink flags.
struct Grid {
  int w = 0, h = 0;
  std::vector<bool> ink;
  bool at(int x, int y) const { return ink[size_t(y * w + x)]; }
};

Grid Render(CspRenderer& r, int slot, uint16_t code) {
  CSX_GlyphMetrics m{};
  const int32_t size = r.Csp(slot, code, nullptr, &m);
  EXPECT_GT(size, 0) << code;
  std::vector<unsigned char> bits(size_t(std::max(size, 0)), 0xFF);
  if (size > 0) {
    EXPECT_EQ(r.Csp(slot, code, bits.data(), &m), size);
  }
  Grid g{m.width, m.height, std::vector<bool>(size_t(m.width * m.height))};
  const int row = (m.width + 15) / 16 * 2;
  for (int y = 0; y < m.height && size > 0; ++y)
    for (int x = 0; x < m.width; ++x) g.ink[size_t(y * m.width + x)] = !(bits[size_t(y * row + x / 8)] & (0x80 >> (x % 8)));
  return g;
}

// The grid turned anticlockwise on the screen by quarter turns.
Grid Turn(const Grid& g, int quarters) {
  Grid out = g;
  for (int q = 0; q < quarters; ++q) {
    Grid t{out.h, out.w, std::vector<bool>(out.ink.size())};
    for (int y = 0; y < out.h; ++y)
      for (int x = 0; x < out.w; ++x) t.ink[size_t((out.w - 1 - x) * t.w + y)] = out.at(x, y);
    out = t;
  }
  return out;
}

TEST(TurnedGlyphs, EqualTheUprightGlyphTurned) {
  FontFile f(RealFontDirectory("Ming", kCodes));
  for (int32_t height : {-16, -24, -31}) {
    for (int32_t weight : {FW_NORMAL}) {  // synthetic bold widens on one side of the turn
      CspRenderer r;
      const int slot = r.SetDoc(f.fd(), 0);
      ASSERT_GT(slot, 0);
      LOGFONTA lf{};
      lf.lfHeight = height;
      lf.lfWeight = weight;
      lf.lfCharSet = 136;
      std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
      ASSERT_EQ(r.SetFont(slot, &lf), 1);
      std::vector<Grid> upright;
      for (uint16_t c : kCodes) upright.push_back(Render(r, slot, c));
      for (int quarters = 1; quarters < 4; ++quarters) {
        lf.lfEscapement = quarters * 900;
        ASSERT_EQ(r.SetFont(slot, &lf), 1);
        for (size_t i = 0; i < kCodes.size(); ++i) {
          const Grid want = Turn(upright[i], quarters), got = Render(r, slot, kCodes[i]);
          EXPECT_EQ(got.w, want.w) << kCodes[i] << " " << quarters;
          EXPECT_EQ(got.h, want.h) << kCodes[i] << " " << quarters;
          EXPECT_TRUE(got.ink == want.ink) << "code " << kCodes[i] << " turned " << quarters * 90 << " height "
                                           << height << " weight " << weight;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qm::glyph::test
