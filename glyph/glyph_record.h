// The glyph record of the cdat table (kind, optional metrics block, body) and the size
// of the bitmap it is drawn into. Built on the reader's fetched bytes (font_reader.h);
// used by the stroke interpreter and the renderer's glyph requests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

namespace qm::glyph {

inline constexpr int16_t kStrokeGlyph = -1;

struct GlyphRecordView {
  int16_t kind = 0;
  bool has_metrics = false;
  uint16_t ink_width = 0, ink_height = 0;
  int16_t left = 0, top = 0;  // already taken as 0 when positive
  int16_t advance = 0;
  const unsigned char* body = nullptr;
  size_t body_length = 0;     // cut to the bytes the record holds
};

// Views a record of `length` bytes (after its length word); nullopt when the metrics
// block or the body length word runs past the record.
std::optional<GlyphRecordView> ParseGlyphRecord(const unsigned char* data, size_t length);

struct GlyphLayoutInput {
  int32_t cell_width = 0, cell_height = 0;
  int32_t line_height = 0;
  int32_t widening = 0;        // synthetic bold w
  int32_t units_per_em = 0;
  int32_t max_ascent = 0, max_descent = 0;
  bool fixed_pitch = false;
  int32_t fixed_advance = 0;   // the face's fixed advance for this code
};

struct GlyphLayout {
  int32_t width = 0, height = 0, origin_x = 0, origin_y = 0, advance = 0;
};

// Bitmap size, origin and advance of a glyph record.
GlyphLayout LayoutGlyph(const GlyphRecordView& rec, const GlyphLayoutInput& in);

}  // namespace qm::glyph
