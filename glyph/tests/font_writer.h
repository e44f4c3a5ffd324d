// A font-table writer for tests: builds font directories, head tables (full or short),
// cdat records (stroke or outline, with or without a metrics block), strk tables and
// bmpd strikes from the layout in glyph/font_format.h, plus a small stroke assembler
// that turns opcode mnemonics into program words and stroke calls. The system itself
// only reads embedded fonts; this exists so tests can make any font they need.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::glyph::test {

struct HeadSpec {
  uint16_t char_set = 136;
  uint16_t units_per_em = 256;
  uint16_t third_word = 0;
  std::string face = "Face";
  std::string second;
  int16_t line_metric[4] = {10, -20, 10, 80};
  int16_t ascent = 220;
  int16_t descent = -36;
  int16_t pitch_kind = 0;
  uint16_t flags = 0;
  int16_t max_ascent = 224;
  int16_t max_descent = 32;
  int16_t line_gap = 0;
  int16_t further_metric = 0;
  int16_t half_advance = 128;
  int16_t full_advance = 256;
  size_t stored_length = 104;  // content bytes written (fewer gives a short head)
};
std::string HeadTable(const HeadSpec& h);

struct MetricsSpec {
  uint16_t ink_width = 0, ink_height = 0;
  int16_t left = 0, top = 0, advance = 0;
};
// Glyph record content (without its length word): kind, metrics length and block, body.
std::string GlyphRecord(int16_t kind, const std::optional<MetricsSpec>& metrics,
                        const std::string& body);
// Records by code (contents); the writer frames each with its length word.
std::string CdatTable(const std::map<uint16_t, std::string>& records);
std::string StrkTable(const std::map<uint16_t, std::string>& programs,
                      const std::array<uint8_t, 16>& block = {}, uint16_t word = 0);

struct BitmapSpec {
  uint16_t width = 0, height = 0;
  int16_t origin_x = 0, origin_y = 0, advance = 0, sixth = 0;
  std::vector<std::string> rows;  // "#" ink, anything else blank; one string per row
};
std::string BitmapGlyphBytes(const BitmapSpec& g);
struct Strike {
  uint16_t pixel_size = 0;
  std::map<uint16_t, std::string> glyphs;  // contents (BitmapGlyphBytes)
};
std::string BmpdTable(const std::vector<Strike>& strikes);

// One font: its table directory followed by the tables in the order given. A table
// with `absent` set gets offset 0 and no bytes.
struct Table {
  std::string tag;
  std::string bytes;
  bool absent = false;
};
std::string Font(const std::vector<Table>& tables);
// The directory (first word `first_word`, then the count and offsets relative to the
// directory) followed by the fonts.
std::string Directory(const std::vector<std::string>& fonts, uint16_t first_word = 0);

// ---- Outline bodies ------------------------------------------------------------------
// A group of an outline contour: kind 1 straight lines, kind 2 a quadratic chain whose
// points are control points but the last (on the curve); any other kind is skipped.
struct OutlineGroup {
  uint8_t kind = 1;
  std::vector<std::pair<int16_t, int16_t>> points;
};
struct OutlineContour {
  int16_t x = 0, y = 0;  // start point
  std::vector<OutlineGroup> groups;
};
// Contour count, then per contour its length (from the length field), start and groups.
std::string OutlineBody(const std::vector<OutlineContour>& contours);
// A closed polygon as one contour of straight lines.
OutlineContour Polygon(const std::vector<std::pair<int16_t, int16_t>>& points);

// ---- Stroke assembler -----------------------------------------------------------------
// One instruction per line or ";": "mnemonic a b operand...". Mnemonics: line lineto
// draw curve curvefrom curveto (rotated points), sline slineto scurve scurvefrom
// scurveto (scaled points), yaddK ysubK xaddK xsubK (two operand words, K = 0..7),
// yaddcK ysubcK xaddcK xsubcK (one word), frame framex copyy copyx movea smovea nop nop2
// end end2, and "op N" for any opcode. ".r" after a drawing mnemonic selects the right
// side. Throws std::invalid_argument on a bad line.
std::string Assemble(std::string_view source);
// A strk program: parameter count, point count, then the assembled words.
std::string Program(uint8_t params, uint8_t points, std::string_view source);
// A stroke call of a stored program: one id byte (or 255 and a u16 id for 250 and up),
// the parameter bytes and the points as x, y bytes.
std::string Call(uint16_t id, const std::vector<uint8_t>& params,
                 const std::vector<std::pair<uint8_t, uint8_t>>& points);
// An inline program call: 250, n, parameters (padded to even), u16 length, words.
std::string InlineCall(const std::vector<uint8_t>& params, std::string_view source);

}  // namespace qm::glyph::test
