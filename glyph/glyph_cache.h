// Cache of rendered glyphs shared by all document slots: up to 20 face caches, one per
// (face name, height, escapement), each indexing its glyphs by character code, with all
// glyph data (24-byte metrics, then the 1-bit bitmap) in one byte store that grows in
// steps of 65,535 bytes up to 1 MiB. A full entry table gives way by fewest hits.
//
// Each entry keeps its glyph's size, so a lookup is a hit only for the size stored and
// never copies past a stored glyph, and a glyph larger than an evicted glyph's room
// takes fresh store room (or is not stored when the store is full). Hit counts stop at
// 65,535. Builds on nothing; called by the renderer's glyph requests and text output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm::glyph {

// The metrics that go with a glyph bitmap (six 32-bit words, 24 bytes when stored).
struct GlyphMetrics {
  int32_t width = 0, height = 0, origin_x = 0, origin_y = 0, advance = 0, sixth = 0;
  bool operator==(const GlyphMetrics&) const = default;
};

// What the cache needs of the device font.
struct CacheFont {
  std::string face_name;
  int32_t height = 0;      // device height (negative: character height)
  int32_t escapement = 0;  // tenths of a degree
  int32_t weight = 400;
  uint8_t italic = 0;
  uint8_t char_set = 0;
};

class GlyphCache {
 public:
  static constexpr size_t kMaxFaces = 20;
  static constexpr size_t kStoreStep = 65535;
  static constexpr size_t kStoreLimit = 1048576;
  static constexpr size_t kMetricsSize = 24;
  static constexpr uint16_t kWideCapacity = 1000;  // fonts of a double-byte character set
  static constexpr uint16_t kNarrowCapacity = 256;
  static constexpr int kNoFace = -1;

  // Empties every face cache and the store; true (allocation is by the standard library,
  // whose failure is not caught here).
  bool Init();
  // Chooses or creates the current face cache; none when the face is not cacheable.
  void Select(int cell_width, int cell_height, const CacheFont& font);
  // The requested size on a hit (metrics and, with a buffer, the bitmap copied), else 0.
  size_t Lookup(uint16_t code, unsigned char* bitmap, size_t size, GlyphMetrics& metrics);
  // Bitmap size stored for `code` in the current face cache, 0 when it holds none.
  size_t StoredSize(uint16_t code) const;
  // Adds (or replaces) a glyph in the current face cache.
  void Store(uint16_t code, const unsigned char* bitmap, size_t size, const GlyphMetrics& metrics);
  void Free();

  // For tests.
  int current() const { return current_; }
  size_t face_count() const { return faces_.size(); }
  uint16_t capacity() const;
  uint16_t entry_count() const;
  uint16_t max_glyph_bytes() const;
  size_t store_size() const { return store_size_; }
  size_t store_used() const { return used_; }
  // Codes of the current face cache in table order.
  std::vector<uint16_t> codes() const;

 private:
  struct Entry {
    uint16_t code = 0;
    uint16_t hits = 0;
    uint32_t offset = 0;
    uint32_t size = 0;  // bitmap bytes of the glyph stored
    uint32_t room = 0;  // store bytes reserved at the offset (metrics included)
  };
  struct Face {
    std::string name;
    int32_t escapement = 0;
    int32_t height = 0;
    uint16_t max_bytes = 0;
    uint16_t capacity = 0;
    std::vector<Entry> entries;  // ascending by code
  };

  // Takes `n` bytes of fresh store room; false when the store cannot grow that far.
  bool Take(size_t n, uint32_t& offset);
  void Write(const Entry& e, const unsigned char* bitmap, const GlyphMetrics& m);

  std::vector<Face> faces_;
  std::vector<unsigned char> store_;
  size_t store_size_ = 0;
  size_t used_ = 0;
  int current_ = kNoFace;
};

}  // namespace qm::glyph
