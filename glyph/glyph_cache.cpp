// Glyph cache (glyph_cache.h): face caches, binary-searched entry tables, the growing
// byte store and eviction by fewest hits.
#include "glyph/glyph_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/le.h"

namespace qm::glyph {

bool GlyphCache::Init() {
  faces_.clear();
  used_ = 0;
  current_ = kNoFace;
  if (store_size_ == 0) {
    store_size_ = kStoreStep;
    store_.assign(store_size_, 0);
  }
  return true;
}

void GlyphCache::Free() {
  faces_.clear();
  store_.clear();
  store_.shrink_to_fit();
  store_size_ = 0;
  used_ = 0;
  current_ = kNoFace;
}

uint16_t GlyphCache::capacity() const { return current_ < 0 ? 0 : faces_[size_t(current_)].capacity; }
uint16_t GlyphCache::entry_count() const {
  return current_ < 0 ? 0 : uint16_t(faces_[size_t(current_)].entries.size());
}
uint16_t GlyphCache::max_glyph_bytes() const {
  return current_ < 0 ? 0 : faces_[size_t(current_)].max_bytes;
}
std::vector<uint16_t> GlyphCache::codes() const {
  std::vector<uint16_t> out;
  if (current_ >= 0)
    for (const Entry& e : faces_[size_t(current_)].entries) out.push_back(e.code);
  return out;
}

void GlyphCache::Select(int cell_width, int cell_height, const CacheFont& font) {
  current_ = kNoFace;
  if (store_size_ == 0) return;  // not initialised
  int32_t h = font.height < 0 ? -font.height : font.height;
  if (h >= 65 || cell_width != cell_height || font.weight == 700 || font.italic != 0 ||
      font.escapement % 90 != 0)
    return;
  std::string name = font.face_name.substr(0, 30);
  for (size_t i = 0; i < faces_.size(); ++i) {
    const Face& f = faces_[i];
    if (f.name == name && f.height == font.height && f.escapement == font.escapement) {
      current_ = int(i);
      return;
    }
  }
  if (faces_.size() >= kMaxFaces) {  // all face caches are emptied and reused from the first
    faces_.clear();
    used_ = 0;
  }
  Face f;
  f.name = name;
  f.escapement = font.escapement;
  f.height = font.height;
  f.max_bytes = uint16_t((h + 15) / 16 * 2 * h);
  f.capacity = font.char_set != 0 ? kWideCapacity : kNarrowCapacity;
  f.entries.reserve(f.capacity);
  faces_.push_back(std::move(f));
  current_ = int(faces_.size() - 1);
}

size_t GlyphCache::Lookup(uint16_t code, unsigned char* bitmap, size_t size, GlyphMetrics& metrics) {
  if (current_ < 0 || size == 0) return 0;
  Face& f = faces_[size_t(current_)];
  if (bitmap && size > f.max_bytes) return 0;
  auto it = std::lower_bound(f.entries.begin(), f.entries.end(), code,
                             [](const Entry& e, uint16_t c) { return e.code < c; });
  if (it == f.entries.end() || it->code != code || it->size != size) return 0;
  if (it->hits < 0xFFFF) ++it->hits;
  const unsigned char* p = store_.data() + it->offset;
  metrics.width = le::get32s(p);
  metrics.height = le::get32s(p + 4);
  metrics.origin_x = le::get32s(p + 8);
  metrics.origin_y = le::get32s(p + 12);
  metrics.advance = le::get32s(p + 16);
  metrics.sixth = le::get32s(p + 20);
  if (bitmap) std::memcpy(bitmap, p + kMetricsSize, size);
  return size;
}

size_t GlyphCache::StoredSize(uint16_t code) const {
  if (current_ < 0) return 0;
  const Face& f = faces_[size_t(current_)];
  auto it = std::lower_bound(f.entries.begin(), f.entries.end(), code,
                             [](const Entry& e, uint16_t c) { return e.code < c; });
  return it == f.entries.end() || it->code != code ? 0 : it->size;
}

bool GlyphCache::Take(size_t n, uint32_t& offset) {
  if (used_ + n > store_size_) {
    size_t grown = store_size_ + kStoreStep;
    if (grown > kStoreLimit || used_ + n > grown) return false;
    store_size_ = grown;
    store_.resize(store_size_, 0);
  }
  offset = uint32_t(used_);
  used_ += n;
  return true;
}

void GlyphCache::Write(const Entry& e, const unsigned char* bitmap, const GlyphMetrics& m) {
  unsigned char* p = store_.data() + e.offset;
  const int32_t words[6] = {m.width, m.height, m.origin_x, m.origin_y, m.advance, m.sixth};
  for (int i = 0; i < 6; ++i) le::put32(p + 4 * i, uint32_t(words[i]));
  if (e.size) std::memcpy(p + kMetricsSize, bitmap, e.size);
}

void GlyphCache::Store(uint16_t code, const unsigned char* bitmap, size_t size, const GlyphMetrics& metrics) {
  if (current_ < 0) return;
  Face& f = faces_[size_t(current_)];
  if (size > f.max_bytes || (size > 0 && !bitmap)) return;
  size_t need = kMetricsSize + size;
  auto by_code = [](const Entry& e, uint16_t c) { return e.code < c; };
  auto at = std::lower_bound(f.entries.begin(), f.entries.end(), code, by_code);

  if (at != f.entries.end() && at->code == code) {
    // The code is cached at another size: replace it in its room when it fits.
    Entry e = *at;
    if (need > e.room) {
      if (!Take(need, e.offset)) return;
      e.room = uint32_t(need);
    }
    e.size = uint32_t(size);
    *at = e;
    Write(e, bitmap, metrics);
    return;
  }

  Entry e;
  e.code = code;
  if (f.entries.size() < f.capacity) {
    if (!Take(need, e.offset)) return;
    e.room = uint32_t(need);
  } else {
    // Full table: the entry with the fewest hits (the first such in code order) gives way.
    auto victim = std::min_element(f.entries.begin(), f.entries.end(),
                                   [](const Entry& a, const Entry& b) { return a.hits < b.hits; });
    if (need <= victim->room) {
      e.offset = victim->offset;
      e.room = victim->room;
    } else {
      if (!Take(need, e.offset)) return;  // nothing evicted when nothing can be stored
      e.room = uint32_t(need);
    }
    f.entries.erase(victim);
    at = std::lower_bound(f.entries.begin(), f.entries.end(), code, by_code);
  }
  e.size = uint32_t(size);
  f.entries.insert(at, e);
  Write(e, bitmap, metrics);
}

}  // namespace qm::glyph
