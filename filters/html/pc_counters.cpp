// Counters and default section names of the HTML export filter: the text of a numbering
// field's value under a list level's counter kind (decimal, letters, roman numerals,
// bullet), and the name written for a section without a title. Called by the body
// converter (pc_body.cpp) and the dispatcher (pc_elements.cpp).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pc_content.h"

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
