// Embedded font reader (font_reader.h): directory, face lookup, index cache and the
// three glyph fetches, all bounded by the file's size and read with pread.
#include "glyph/font_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "glyph/font_format.h"
#include "platform/le.h"

namespace qm::glyph {

namespace {

bool SameNameCaseBlind(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = uint8_t(a[i]), y = uint8_t(b[i]);
    if (x >= 'A' && x <= 'Z') x = uint8_t(x + 32);
    if (y >= 'A' && y <= 'Z') y = uint8_t(y + 32);
    if (x != y) return false;
  }
  return true;
}

// A zero-terminated name of at most 31 characters from a 32-byte field.
std::string NameFrom(const unsigned char* p, size_t n) {
  size_t len = 0;
  while (len < n && len < kFaceNameSize - 1 && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

int16_t S16(const unsigned char* p) { return int16_t(le::get16(p)); }

}  // namespace

FontHeader ParseFontHeader(const unsigned char* content, size_t available, size_t stored_length) {
  unsigned char c[kHeadUsedSize] = {};
  std::memcpy(c, content, std::min({available, stored_length, kHeadUsedSize}));
  FontHeader h;
  h.char_set = le::get16(c + kHCharSet);
  h.units_per_em = le::get16(c + kHUnitsPerEm);
  h.third_word = le::get16(c + kHThirdWord);
  h.face_name = NameFrom(c + kHFaceName, kFaceNameSize);
  h.second_name = NameFrom(c + kHSecondName, kFaceNameSize);
  for (int i = 0; i < 4; ++i) h.line_metric[i] = S16(c + kHLineMetric1 + 2 * i);
  h.ascent = S16(c + kHAscent);
  h.descent = S16(c + kHDescent);
  h.pitch_kind = S16(c + kHPitchKind);
  h.flags = le::get16(c + kHFlags);
  if (stored_length >= kHeadUsedSize) {
    h.max_ascent = S16(c + kHMaxAscent);
    h.max_descent = S16(c + kHMaxDescent);
    h.line_gap = S16(c + kHLineGap);
    h.further_metric = S16(c + kHFurtherMetric);
    h.half_advance = S16(c + kHHalfAdvance);
    h.full_advance = S16(c + kHFullAdvance);
  } else {
    // A short head: the last six words come from the ascent, descent and em size.
    h.max_ascent = h.ascent;
    h.max_descent = int16_t(h.descent < 0 ? -h.descent : h.descent);
    h.line_gap = int16_t(h.ascent - h.descent - h.units_per_em);
    h.further_metric = 0;
    h.half_advance = int16_t(h.units_per_em >> 1);
    h.full_advance = int16_t(h.units_per_em);
  }
  return h;
}

std::optional<BitmapGlyph> ParseBitmapGlyph(const unsigned char* data, size_t length) {
  if (length < kBitmapGlyphHeaderSize) return std::nullopt;
  BitmapGlyph g;
  g.width = le::get16(data);
  g.height = le::get16(data + 2);
  g.origin_x = S16(data + 4);
  g.origin_y = S16(data + 6);
  g.advance = S16(data + 8);
  g.sixth = S16(data + 10);
  g.row_bytes = (size_t(g.width) + 7) / 8;
  if (g.row_bytes * g.height > length - kBitmapGlyphHeaderSize) return std::nullopt;
  g.rows = data + kBitmapGlyphHeaderSize;
  return g;
}

// ---- Bounded reads ------------------------------------------------------------------

bool FontReader::ReadAt(uint64_t pos, void* out, size_t n) const {
  if (fd_ < 0 || pos > file_size_ || n > file_size_ - pos) return false;
  auto* p = static_cast<unsigned char*>(out);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, p + done, n - done, off_t(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += size_t(r);
  }
  return true;
}

bool FontReader::Read16(uint64_t pos, uint16_t& v) const {
  unsigned char b[2];
  if (!ReadAt(pos, b, 2)) return false;
  v = le::get16(b);
  return true;
}

bool FontReader::Read32(uint64_t pos, uint32_t& v) const {
  unsigned char b[4];
  if (!ReadAt(pos, b, 4)) return false;
  v = le::get32(b);
  return true;
}

// ---- Directory ------------------------------------------------------------------------

int FontReader::LoadFontDirectory(int fd, uint64_t dir_offset) {
  ClearIndexCache();
  fonts_.clear();
  overflow_ = FontRecord{};
  current_ = kNone;
  fd_ = fd;
  dir_ = dir_offset;
  font_count_ = 0;
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 0) {
    fd_ = -1;
    return kDirUnreadable;
  }
  file_size_ = uint64_t(st.st_size);
  unsigned char head[kDirHeaderSize];
  if (!ReadAt(dir_offset, head, sizeof head)) return kDirUnreadable;
  uint16_t count = le::get16(head + kDirFontCountAt);
  if (count == 0) return kDirNoFonts;
  size_t indexed = std::min<size_t>(count, kIndexedFonts);
  // The offsets of the indexed fonts must all lie inside the file.
  std::vector<unsigned char> offsets(indexed * 4);
  if (!ReadAt(dir_offset + kDirOffsetsAt, offsets.data(), offsets.size())) return kDirUnreadable;
  font_count_ = count;
  fonts_.resize(indexed);
  for (size_t i = 0; i < indexed; ++i)
    ReadFontTables(dir_offset + le::get32(offsets.data() + 4 * i), fonts_[i], nullptr);
  return kDirLoaded;
}

bool FontReader::ReadFontTables(uint64_t font, FontRecord& rec, const std::string* want) const {
  rec = FontRecord{};
  uint16_t tables = 0;
  if (!Read16(font + kFontTableCountAt, tables)) return want == nullptr;
  for (size_t t = 0; t < tables; ++t) {
    unsigned char e[kTableEntrySize];
    if (!ReadAt(font + kFontEntriesAt + t * kTableEntrySize, e, sizeof e)) break;
    std::string_view tag(reinterpret_cast<const char*>(e), kTagSize);
    uint32_t rel = le::get32(e + kTagSize);
    if (rel == 0) continue;  // table absent
    uint64_t at = font + rel;
    if (tag == kTagHead) {
      rec.head = at;
      unsigned char name[kFaceNameSize] = {};
      uint64_t name_at = at + kHeadNameAt;
      size_t n = name_at < file_size_ ? size_t(std::min<uint64_t>(kFaceNameSize, file_size_ - name_at)) : 0;
      if (n > 0 && !ReadAt(name_at, name, n)) n = 0;
      rec.face_name = NameFrom(name, n);
      if (want && !SameNameCaseBlind(rec.face_name, *want)) return false;
    } else if (tag == kTagStrk) {
      rec.strk = at;
    } else if (tag == kTagCdat) {
      uint16_t n = 0;
      if (Read16(at + kCdatCountAt, n)) {
        rec.cdat = at;
        rec.cdat_count = n;
      }
    } else if (tag == kTagBmpd) {
      uint16_t k = 0;
      if (!Read16(at + kBmpdCountAt, k)) continue;
      rec.bmpd = at;
      for (size_t j = 0; j < k && j < kStrikeSlots; ++j) {
        unsigned char s[kIndexEntrySize];
        if (!ReadAt(at + kBmpdEntriesAt + j * kIndexEntrySize, s, sizeof s)) break;
        rec.strike_sizes[j] = le::get16(s);
        rec.strike_offsets[j] = at + le::get32(s + 2);
        rec.strike_count = uint16_t(j + 1);
      }
    }
  }
  return want == nullptr || SameNameCaseBlind(rec.face_name, *want);
}

// ---- Faces ----------------------------------------------------------------------------

const FontRecord* FontReader::current_face() const {
  if (current_ == kOverflow) return &overflow_;
  if (current_ >= 0 && size_t(current_) < fonts_.size()) return &fonts_[size_t(current_)];
  return nullptr;
}

bool FontReader::FindFace(std::string_view name) {
  if (name.empty() || fd_ < 0) return false;
  int found = kNone;
  for (size_t i = 0; i < fonts_.size(); ++i) {
    if (SameNameCaseBlind(fonts_[i].face_name, name)) {
      found = int(i);
      break;
    }
  }
  if (found == kNone && font_count_ >= kIndexedFonts) {
    // Fonts past the 30th are not indexed: look through them one by one.
    std::string want(name);
    for (size_t k = kIndexedFonts; k < font_count_; ++k) {
      uint32_t rel = 0;
      if (!Read32(dir_ + kDirOffsetsAt + 4 * k, rel)) break;
      FontRecord rec;
      if (ReadFontTables(dir_ + rel, rec, &want)) {
        overflow_ = rec;
        found = kOverflow;
        break;
      }
    }
  }
  if (found == kNone) return false;
  current_ = found;
  LoadIntoCache(*current_face());
  return true;
}

size_t FontReader::ReadHeadTable(std::string_view name, FontHeader& out) {
  out = FontHeader{};
  if (!FindFace(name)) return 0;
  const FontRecord* f = current_face();
  uint16_t stored = 0;
  if (f->head == 0 || !Read16(f->head, stored)) return 0;
  unsigned char content[kHeadUsedSize] = {};
  uint64_t at = f->head + kHeadContentAt;
  size_t want = std::min<size_t>(stored, kHeadUsedSize);
  size_t n = at < file_size_ ? size_t(std::min<uint64_t>(want, file_size_ - at)) : 0;
  if (n > 0 && !ReadAt(at, content, n)) n = 0;
  out = ParseFontHeader(content, n, stored);
  return stored;
}

// ---- Index cache ----------------------------------------------------------------------

void FontReader::ClearIndexCache() {
  for (CacheEntry& e : cache_) e = CacheEntry{};
}

std::array<std::string, FontReader::kCacheEntries> FontReader::cached_faces() const {
  std::array<std::string, kCacheEntries> names;
  for (size_t i = 0; i < kCacheEntries; ++i) names[i] = cache_[i].name;
  return names;
}

const FontReader::CacheEntry* FontReader::CurrentCache() const {
  const FontRecord* f = current_face();
  if (!f || f->face_name.empty()) return nullptr;
  for (const CacheEntry& e : cache_)
    if (e.name == f->face_name) return &e;
  return nullptr;
}

void FontReader::LoadIntoCache(const FontRecord& rec) {
  if (rec.face_name.empty() || CurrentCache() != nullptr) return;
  // Build the block first: a face whose cdat index or strk table would run past the
  // file is not cached (its lookups then read the file and fail where it is short).
  CacheEntry fresh;
  fresh.name = rec.face_name;
  size_t cdat_bytes = rec.cdat ? size_t(rec.cdat_count) * kIndexEntrySize : 0;
  uint64_t strk_len = 0;
  if (rec.strk) {
    uint16_t n = 0;
    if (!Read16(rec.strk + kStrkCountAt, n)) return;
    strk_len = kStrkIndexAt + uint64_t(n) * kIndexEntrySize;
    if (n > 0) {
      // The programs follow the index by offset; the last entry's program ends the table.
      uint32_t last = 0;
      uint16_t len = 0;
      if (!Read32(rec.strk + kStrkIndexAt + uint64_t(n - 1) * kIndexEntrySize + 2, last)) return;
      if (!Read16(rec.strk + last, len)) return;
      strk_len = std::max<uint64_t>(strk_len, uint64_t(last) + kLengthWordSize + len);
    }
    if (strk_len > file_size_) return;
    fresh.strk_count = n;
    fresh.has_strk = true;
  }
  fresh.cdat_count = rec.cdat ? rec.cdat_count : 0;
  fresh.strk_pos = cdat_bytes;
  fresh.block.resize(cdat_bytes + size_t(strk_len));
  if (cdat_bytes && !ReadAt(rec.cdat + kCdatIndexAt, fresh.block.data(), cdat_bytes)) return;
  if (strk_len && !ReadAt(rec.strk, fresh.block.data() + cdat_bytes, size_t(strk_len))) return;

  CacheEntry* slot = nullptr;
  for (CacheEntry& e : cache_)
    if (e.name.empty()) {
      slot = &e;
      break;
    }
  if (!slot) {  // evict the face with the fewest glyph records, the first such
    slot = &cache_[0];
    for (CacheEntry& e : cache_)
      if (e.cdat_count < slot->cdat_count) slot = &e;
  }
  *slot = std::move(fresh);
}

// ---- Lookups --------------------------------------------------------------------------

std::optional<uint32_t> FontReader::SearchMemory(const unsigned char* entries, size_t count,
                                                 uint16_t key) const {
  long lo = 0, hi = long(count) - 1;
  while (lo <= hi) {
    long mid = (lo + hi) / 2;
    const unsigned char* e = entries + size_t(mid) * kIndexEntrySize;
    uint16_t k = le::get16(e);
    if (k == key) return le::get32(e + 2);
    if (k < key) lo = mid + 1;
    else hi = mid - 1;
  }
  return std::nullopt;
}

std::optional<uint32_t> FontReader::SearchFile(uint64_t entries, size_t count, uint16_t key) const {
  long lo = 0, hi = long(count) - 1;
  while (lo <= hi) {
    long mid = (lo + hi) / 2;
    unsigned char e[kIndexEntrySize];
    if (!ReadAt(entries + uint64_t(mid) * kIndexEntrySize, e, sizeof e)) return std::nullopt;
    uint16_t k = le::get16(e);
    if (k == key) return le::get32(e + 2);
    if (k < key) lo = mid + 1;
    else hi = mid - 1;
  }
  return std::nullopt;
}

size_t FontReader::ReadFramed(uint64_t pos, unsigned char* buffer, size_t size) const {
  uint16_t len = 0;
  if (!Read16(pos, len) || len > size) return 0;
  if (len > 0 && !ReadAt(pos + kLengthWordSize, buffer, len)) return 0;
  return len;
}

bool FontReader::ReadStrokeParameters(StrokeParameters& out) {
  out = StrokeParameters{};
  const FontRecord* f = current_face();
  if (!f || f->strk == 0) return false;
  unsigned char p[kStrkIndexAt];
  const CacheEntry* c = CurrentCache();
  if (c && c->has_strk) std::memcpy(p, c->block.data() + c->strk_pos, sizeof p);
  else if (!ReadAt(f->strk, p, sizeof p)) return false;
  out.program_count = le::get16(p + kStrkCountAt);
  std::memcpy(out.block.data(), p + kStrkParamBlockAt, kStrkParamBlockSize);
  out.word = le::get16(p + kStrkParamWordAt);
  return true;
}

size_t FontReader::ReadGlyphRecord(uint16_t code, unsigned char* buffer, size_t size) {
  const FontRecord* f = current_face();
  if (!f || f->cdat == 0) return 0;
  const CacheEntry* c = CurrentCache();
  std::optional<uint32_t> rel = c ? SearchMemory(c->block.data(), c->cdat_count, code)
                                  : SearchFile(f->cdat + kCdatIndexAt, f->cdat_count, code);
  if (!rel) return 0;
  return ReadFramed(f->cdat + *rel, buffer, size);
}

size_t FontReader::ReadStrokeProgram(uint16_t id, unsigned char* buffer, size_t size) {
  const FontRecord* f = current_face();
  if (!f || f->strk == 0) return 0;
  const CacheEntry* c = CurrentCache();
  if (c && c->has_strk) {
    const unsigned char* table = c->block.data() + c->strk_pos;
    size_t table_len = c->block.size() - c->strk_pos;
    std::optional<uint32_t> rel = SearchMemory(table + kStrkIndexAt, c->strk_count, id);
    if (!rel) return 0;
    if (uint64_t(*rel) + kLengthWordSize <= table_len) {
      uint16_t len = le::get16(table + *rel);
      if (len > size) return 0;
      if (uint64_t(*rel) + kLengthWordSize + len <= table_len) {
        std::memcpy(buffer, table + *rel + kLengthWordSize, len);
        return len;
      }
    }
    return ReadFramed(f->strk + *rel, buffer, size);  // out of the cached span: the file
  }
  uint16_t n = 0;
  if (!Read16(f->strk + kStrkCountAt, n)) return 0;
  std::optional<uint32_t> rel = SearchFile(f->strk + kStrkIndexAt, n, id);
  if (!rel) return 0;
  return ReadFramed(f->strk + *rel, buffer, size);
}

size_t FontReader::ReadBitmapGlyph(uint16_t code, uint16_t pixel_size, unsigned char* buffer,
                                   size_t size) {
  const FontRecord* f = current_face();
  if (!f || f->bmpd == 0) return 0;
  int strike = -1;
  for (int j = 0; j < f->strike_count; ++j)
    if (f->strike_sizes[j] == pixel_size) strike = j;  // the last such strike
  if (strike < 0) return 0;
  uint64_t p = f->strike_offsets[strike];
  uint16_t n = 0;
  if (!Read16(p, n)) return 0;
  std::optional<uint32_t> rel = SearchFile(p + kStrikeIndexAt, n, code);
  if (!rel) return 0;
  return ReadFramed(p + *rel, buffer, size);
}

}  // namespace qm::glyph
