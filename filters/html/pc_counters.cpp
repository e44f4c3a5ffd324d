// Counters, list styles and default section names of the HTML export filter: the text of a
// numbering field's value under a list level's counter kind (decimal, letters, roman
// numerals, bullet), the list-style cache that hands out level records from the chunker,
// and the name written for a section without a title. Called by the body converter
// (pc_body.cpp) and the dispatcher (pc_elements.cpp).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pc_chunkattrs.h"
#include "pc_content.h"
#include "platform/le.h"

namespace pc {

namespace {

// Roman digit patterns, reversed: the counter text is built from its last character.
const char* const kRoman[10] = {"", "I", "II", "III", "VI", "V", "IV", "IIV", "IIIV", "XI"};
const char kDecades[3][3] = {{'I', 'V', 'X'}, {'X', 'L', 'C'}, {'C', 'D', 'M'}};

}  // namespace

uint32_t FUGenerateCounterNumber(const uint32_t level[9], uint32_t flags, uint16_t* out, uint32_t capacity,
                                 int64_t number) {
  if (capacity == 0 || out == nullptr) return 0;
  uint32_t kind = level[8] & 0xFFFF;
  bool lower = (level[8] & 0x20000) != 0;
  std::u16string rev;  // the text from its last character
  uint64_t v = number < 0 ? 0 : uint64_t(number);
  switch (kind) {
    case 1: case 4: case 5: case 6: case 7: case 9: case 10:
      do {
        rev.push_back(char16_t('0' + v % 10));
        v /= 10;
      } while (v != 0);
      break;
    case 2:
      // Bijective base 26: 26 is Z, 27 AA.
      while (v != 0) {
        --v;
        rev.push_back(char16_t('A' + v % 26));
        v /= 26;
      }
      break;
    case 3:
      if (v >= 4000) {  // beyond what roman numerals write: decimal
        do {
          rev.push_back(char16_t('0' + v % 10));
          v /= 10;
        } while (v != 0);
        break;
      }
      for (int d = 0; d < 3; ++d, v /= 10)
        for (const char* p = kRoman[v % 10]; *p; ++p)
          rev.push_back(char16_t(kDecades[d][*p == 'I' ? 0 : *p == 'V' ? 1 : 2]));
      for (uint64_t m = v; m > 0; --m) rev.push_back(u'M');
      break;
    case 8:
      rev.push_back(char16_t(level[1] & 0xFFFF));
      break;
    default:
      rev.push_back(u'*');
      break;
  }
  if ((kind == 2 || kind == 3) && lower)
    for (char16_t& ch : rev)
      if (ch >= 'A' && ch <= 'Z') ch = char16_t(ch + 32);
  std::u16string text(rev.rbegin(), rev.rend());
  // The last capacity characters fit; the terminator takes the last place when full.
  uint32_t len = uint32_t(std::min<size_t>(text.size(), capacity));
  if (len < text.size()) text = text.substr(text.size() - len);
  if (len == capacity) --len;
  for (uint32_t i = 0; i < len; ++i) out[i] = text[i];
  out[len] = 0;
  if (flags & 1) {
    auto* bytes = reinterpret_cast<uint8_t*>(out);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < len * 2; ++i)
      if (bytes[i] != 0) bytes[kept++] = bytes[i];
    bytes[kept] = 0;
    return kept;
  }
  return len;
}

namespace {

constexpr uint32_t kListLevelItem = 29, kMarkerGroup = 0xA0120000u, kCounterItem = 31;

// The first group open of the code whose id word is id, from the chunker's item stream.
bool find_group(KVXHANDLE chunker, uint32_t code, uint32_t id, uint32_t* at) {
  uint32_t item = 0;
  if (CHGetItemId(chunker, KVXRANGE_ITEMS, 0, &item) != KVX_OK) return false;
  while (item != kNoItem) {
    uint32_t w[4] = {}, next = kNoItem;
    if (CHGetItem(chunker, KVXRANGE_ITEMS, item, w, &next) != KVX_OK) return false;
    if (w[0] == kItemOpen && w[1] == code && w[2] == id) {
      *at = item;
      return true;
    }
    item = next;
  }
  return false;
}

// The id after the close of the group that opens at item (kNoItem at the stream's end).
uint32_t group_end(KVXHANDLE chunker, uint32_t item) {
  int depth = 0;
  while (item != kNoItem) {
    uint32_t w[4] = {}, next = kNoItem;
    if (CHGetItem(chunker, KVXRANGE_ITEMS, item, w, &next) != KVX_OK) return kNoItem;
    if (w[0] == kItemOpen) ++depth;
    if (w[0] == kItemClose && --depth == 0) return next;
    item = next;
  }
  return kNoItem;
}

}  // namespace

KVXSTATUS CULoadListStyle(ListStyleCache& cache, uint32_t styleId) {
  cache.loaded = kNoItem;
  uint32_t item = 0;
  if (!find_group(cache.chunker, kGroupListDef, styleId, &item)) return KVX_OK;
  uint32_t next = kNoItem, w[4] = {};
  if (CHGetItem(cache.chunker, KVXRANGE_ITEMS, item, w, &next) != KVX_OK) return kNotThere;
  int found = 0;
  for (item = next; item != kNoItem;) {
    if (KVXSTATUS st = CHGetItem(cache.chunker, KVXRANGE_ITEMS, item, w, &next)) return st;
    if (w[0] == kItemClose) break;
    if (w[0] == kItemOpen && (w[1] & kGroupSkip)) {
      item = group_end(cache.chunker, item);
      continue;
    }
    if (w[0] == kListLevelItem && (w[2] & 0xFFFF) < 12) {
      uint8_t rec[36];
      if (KVXSTATUS st = CHGetItems(cache.chunker, KVXRANGE_RECORDS, w[3], rec, sizeof rec)) return st;
      for (int k = 0; k < 9; ++k)
        cache.levels[w[2] & 0xFFFF][k] = uint32_t(rec[4 * k]) | uint32_t(rec[4 * k + 1]) << 8 |
                                         uint32_t(rec[4 * k + 2]) << 16 | uint32_t(rec[4 * k + 3]) << 24;
      ++found;
    }
    item = next;
  }
  if (found > 0) cache.loaded = styleId;
  return KVX_OK;
}

int CURangeHasPutCounter(uint32_t first, uint32_t end, KVXHANDLE chunker) {
  for (uint32_t item = first; item != kNoItem && item != end;) {
    uint32_t w[4] = {}, next = kNoItem;
    if (CHGetItem(chunker, KVXRANGE_ITEMS, item, w, &next) != KVX_OK) return 0;
    if (w[0] == kCounterItem) return 1;
    item = next;
  }
  return 0;
}

KVXSTATUS CULoadListLevelStyle(ListStyleCache& cache, uint32_t styleId, uint32_t level, uint32_t out[9]) {
  if (level > 12 || styleId == kNoItem) return kNotFound;
  if (cache.loaded != styleId && (CULoadListStyle(cache, styleId) != KVX_OK || cache.loaded != styleId))
    return kNotFound;
  if (level == 12) {  // no definition fills it: a zeroed record, not found
    std::memset(out, 0, 9 * sizeof(uint32_t));
    return kNotFound;
  }
  std::memcpy(out, cache.levels[level], 9 * sizeof(uint32_t));
  uint32_t marker = 0;
  if (!find_group(cache.chunker, kMarkerGroup, out[6], &marker)) return KVX_OK;
  if (!CURangeHasPutCounter(marker, group_end(cache.chunker, marker), cache.chunker)) {
    out[2] = 0;
    out[8] = 8;
  }
  return KVX_OK;
}

uint32_t GetListStyleKind(KVXHANDLE chunker, uint32_t styleId) {
  if (chunker == 0 || styleId == kNoItem) return 15;
  uint32_t open = kNoItemId, end = kNoItemId, words[4] = {};
  if (FindStyleItem(chunker, styleId, kStyleGroup, 1, &open, &end, words) != KVX_OK) return kNotThere;
  uint8_t rec[kStyleRecordBytes];
  if (CHGetItems(chunker, KVXRANGE_RECORDS, words[3], rec, sizeof rec) != KVX_OK) return kNotThere;
  return qm::le::get32(rec + 8);
}

uint32_t FUGetDefaultSectionString(uint32_t number, uint32_t type, char* buffer, uint32_t size) {
  static const uint32_t kTexts[9] = {0x12EE1, 0x12EE2, 0x12EE4, 0, 0x12EE3, 0x12EE5, 0x12EE3, 0x12EE7, 0x12EE8};
  if (buffer == nullptr || size == 0) return 0;
  if (type > 8 || kTexts[type] == 0) return uint32_t(strnlen(buffer, size));
  char text[128] = {};
  if (UTGetString(kTexts[type], text, sizeof text, 0) != KVX_OK) return uint32_t(strnlen(buffer, size));
  std::snprintf(buffer, size, "%s %u", text, number);
  return uint32_t(strnlen(buffer, size));
}

}  // namespace pc
