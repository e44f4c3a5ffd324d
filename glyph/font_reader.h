// Reader of the fonts embedded in page documents (layout in font_format.h): the
// per-document font index built when a document is bound, the lookup of a face by
// name (with the rescan past the first 30 fonts), the index cache of four faces, and
// the fetches of glyph records, stroke programs and bitmap glyphs.
//
// Every read is a pread on the caller's file descriptor, so the caller's file position
// never moves, and every count, offset and length taken from the file is checked
// against the file's size before it is used: a damaged font gives "absent" or
// "missing", never a read outside the file. Called by the glyph renderer's document
// slots; the interpreter (stroke_program.h) fetches programs through it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::glyph {

// Results of LoadFontDirectory.
inline constexpr int kDirLoaded = 1;
inline constexpr int kDirNoFonts = -2;     // the font count is 0
inline constexpr int kDirUnreadable = -3;  // the directory (or its offset table) cannot be read

// The head content of a face, with the defaults of a short head filled in.
struct FontHeader {
  uint16_t char_set = 0;      // low byte: 128 Shift-JIS, 129 Hangul, 134 GB2312, 136 Big5
  uint16_t units_per_em = 0;
  uint16_t third_word = 0;
  std::string face_name;
  std::string second_name;
  int16_t line_metric[4] = {0, 0, 0, 0};  // underline thickness, position; strike-out ditto
  int16_t ascent = 0;
  int16_t descent = 0;
  int16_t pitch_kind = 0;
  uint16_t flags = 0;
  int16_t max_ascent = 0;
  int16_t max_descent = 0;
  int16_t line_gap = 0;
  int16_t further_metric = 0;
  int16_t half_advance = 0;
  int16_t full_advance = 0;
};

// Parses head content of stored length `stored_length`, of which `content` holds the
// first min(stored_length, 104) bytes (`available` bytes). Fields past the stored bytes
// are 0; when fewer than 104 bytes are stored the last six words get their defaults.
FontHeader ParseFontHeader(const unsigned char* content, size_t available, size_t stored_length);

// The strk parameters handed to the interpreter.
struct StrokeParameters {
  uint16_t program_count = 0;
  std::array<uint8_t, 16> block{};
  uint16_t word = 0;
};

// One bitmap glyph as fetched by ReadBitmapGlyph.
struct BitmapGlyph {
  uint16_t width = 0, height = 0;
  int16_t origin_x = 0, origin_y = 0, advance = 0, sixth = 0;
  const unsigned char* rows = nullptr;  // height rows of (width + 7) / 8 bytes, inside the buffer
  size_t row_bytes = 0;
};
// Views a fetched glyph; nullopt when its length cannot hold its rows.
std::optional<BitmapGlyph> ParseBitmapGlyph(const unsigned char* data, size_t length);

// The tables of one font, as absolute file offsets (0 = absent).
struct FontRecord {
  uint64_t head = 0, strk = 0, cdat = 0, bmpd = 0;
  uint64_t strike_offsets[4] = {0, 0, 0, 0};
  uint16_t strike_count = 0;  // strikes read into the four slots
  uint16_t strike_sizes[4] = {0, 0, 0, 0};
  uint16_t cdat_count = 0;
  std::string face_name;      // from the head content; "" when there is none
};

class FontReader {
 public:
  static constexpr size_t kCacheEntries = 4;

  // Binds the directory at `dir_offset` of the open file `fd` (never closed here) and
  // indexes its first 30 fonts. Clears the index cache and the current face.
  int LoadFontDirectory(int fd, uint64_t dir_offset);

  // Makes the face named `name` (case-blind) current and brings it into the index
  // cache. False when no font carries the name (an empty name matches nothing).
  bool FindFace(std::string_view name);

  // Selects `name` and reads its head: the stored length L (0 when the face or its
  // head is missing); `out` gets the parsed content.
  size_t ReadHeadTable(std::string_view name, FontHeader& out);

  // The strk parameters of the current face; false when it has no strk table.
  bool ReadStrokeParameters(StrokeParameters& out);

  // The fetches of the current face. Each returns the length copied into `buffer`, or 0
  // when the table, the key or the record is missing, the record is longer than `size`,
  // or it cannot be read whole.
  size_t ReadGlyphRecord(uint16_t code, unsigned char* buffer, size_t size);
  size_t ReadStrokeProgram(uint16_t id, unsigned char* buffer, size_t size);
  size_t ReadBitmapGlyph(uint16_t code, uint16_t pixel_size, unsigned char* buffer, size_t size);

  void ClearIndexCache();

  // For tests and the renderer's bookkeeping.
  const std::vector<FontRecord>& fonts() const { return fonts_; }
  const FontRecord* current_face() const;
  bool current_is_overflow() const { return current_ == kOverflow; }
  uint16_t directory_font_count() const { return font_count_; }
  // Face names held by the index cache ("" for a free entry).
  std::array<std::string, kCacheEntries> cached_faces() const;

 private:
  struct CacheEntry {
    std::string name;                 // "" = free
    std::vector<unsigned char> block;  // cdat index, then the strk table from S
    uint16_t cdat_count = 0;
    uint16_t strk_count = 0;
    size_t strk_pos = 0;
    bool has_strk = false;
  };
  static constexpr int kNone = -1;
  static constexpr int kOverflow = -2;

  bool ReadAt(uint64_t pos, void* out, size_t n) const;
  bool Read16(uint64_t pos, uint16_t& v) const;
  bool Read32(uint64_t pos, uint32_t& v) const;
  // Reads the tables of the font at `font` into `rec`. With `want`, stops as soon as
  // the head's name differs from it; returns false then.
  bool ReadFontTables(uint64_t font, FontRecord& rec, const std::string* want) const;
  void LoadIntoCache(const FontRecord& rec);
  const CacheEntry* CurrentCache() const;
  // Binary search over `count` 6-byte entries, in memory or at a file position.
  std::optional<uint32_t> SearchMemory(const unsigned char* entries, size_t count, uint16_t key) const;
  std::optional<uint32_t> SearchFile(uint64_t entries, size_t count, uint16_t key) const;
  size_t ReadFramed(uint64_t pos, unsigned char* buffer, size_t size) const;

  int fd_ = -1;
  uint64_t file_size_ = 0;
  uint64_t dir_ = 0;
  uint16_t font_count_ = 0;
  std::vector<FontRecord> fonts_;
  FontRecord overflow_;
  int current_ = kNone;
  int current_cache_ = kNone;
  std::array<CacheEntry, kCacheEntries> cache_;
};

}  // namespace qm::glyph
