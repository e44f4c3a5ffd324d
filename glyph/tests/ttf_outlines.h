// Test converter: TrueType outlines read with FreeType (unscaled, unhinted) become the
// contours of outline glyph records on the 1,024-unit grid per em, y downward from the
// ascender, so that the test writer can build embedded fonts with real shapes. Also
// maps a converted outline to the converter's sub-pixel units and hands it back to
// FreeType as the same outline, for FreeType's rasteriser to serve as an oracle.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "glyph/tests/font_writer.h"

namespace qm::glyph::test {

inline const char* const kUmingPath = "/usr/share/fonts/truetype/arphic/uming.ttc";
inline const char* const kDejaVuPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct ConvertedGlyph {
  std::vector<OutlineContour> contours;
  int16_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;  // over all points, grid units
  int16_t advance = 0;                                // grid units
};

// A TrueType face opened once; glyphs are looked up by Unicode code point.
class TrueTypeFace {
 public:
  explicit TrueTypeFace(const char* path, long index = 0);
  ~TrueTypeFace();
  TrueTypeFace(const TrueTypeFace&) = delete;
  TrueTypeFace& operator=(const TrueTypeFace&) = delete;
  bool ok() const { return face_ != nullptr; }
  // nullopt when the face lacks the character or its outline is not quadratic.
  std::optional<ConvertedGlyph> Convert(uint32_t unicode) const;

 private:
  void* library_ = nullptr;
  void* face_ = nullptr;
};

// The contours mapped as the converter maps them for a box of box x box pixels with the
// given offsets: points in sub-pixel units (s bits), chain midpoints included, each
// contour a list of (x, y, on-curve) points.
struct MappedPoint {
  int32_t x, y;
  bool on;
};
std::vector<std::vector<MappedPoint>> MapContours(const std::vector<OutlineContour>& contours, int box,
                                                  int left, int top, int s);

// FreeType's mono rendering (even-odd) of mapped contours into width x rows pixels, the
// outline moved up by half a pixel so that pixel centres fall on the row tops the
// converter samples. Row-major bytes, 1 = ink.
std::vector<uint8_t> FreeTypeMono(const std::vector<std::vector<MappedPoint>>& contours, int s, int width,
                                  int rows);

// An outline glyph record of a converted glyph: metrics block (ink box, offsets of the
// parts left of and above the box origin, advance) and the outline body.
std::string OutlineGlyphRecord(const ConvertedGlyph& g);
// A font directory holding one face `face` (Big5, 1,024 units per em) with outline
// records for the given Big5 and ASCII codes, taken from AR PL UMing and DejaVu Sans.
std::string RealFontDirectory(const std::string& face, const std::vector<uint16_t>& codes);

// Big5 text to Unicode code points (glibc's CP950 through iconv); 0 for a bad character.
uint32_t Big5ToUnicode(uint16_t code);

}  // namespace qm::glyph::test
