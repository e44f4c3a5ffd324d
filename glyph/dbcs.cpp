// Double-byte character rules (dbcs.h): tables of lead bytes, trail bytes and EUDC areas.
#include "glyph/dbcs.h"

namespace qm::glyph {

namespace {

struct Range {
  uint16_t lo, hi;
};

bool In(const Range* ranges, size_t n, uint16_t v) {
  for (size_t i = 0; i < n; ++i)
    if (v >= ranges[i].lo && v <= ranges[i].hi) return true;
  return false;
}

template <size_t N>
bool In(const Range (&ranges)[N], uint16_t v) {
  return In(ranges, N, v);
}

constexpr Range kLead128[] = {{0x81, 0x9F}, {0xE0, 0xFC}};
constexpr Range kTrail128[] = {{0x40, 0x7E}, {0x80, 0xFC}};
constexpr Range kLead129[] = {{0xA1, 0xFE}};
constexpr Range kTrail129[] = {{0xA1, 0xFE}};
constexpr Range kLead134[] = {{0x81, 0xFE}};
constexpr Range kTrail134[] = {{0x40, 0x7E}, {0x80, 0xFE}};
constexpr Range kLead136[] = {{0x81, 0xFE}};
constexpr Range kTrail136[] = {{0x40, 0x7E}, {0xA1, 0xFE}};

constexpr Range kEudc128[] = {{0xF040, 0xF9FC}};
constexpr Range kEudcTrail128[] = {{0x40, 0x7E}, {0x80, 0xFC}};
constexpr Range kEudc129[] = {{0xC9A1, 0xC9FE}, {0xFEA1, 0xFEFE}};
constexpr Range kEudc134[] = {{0xAAA1, 0xAFFE}, {0xF8A1, 0xFEFE}};
constexpr Range kEudcTrailA1[] = {{0xA1, 0xFE}};
constexpr Range kEudc136[] = {{0x8140, 0xA0FE}, {0xC6A1, 0xC8FE}, {0xFA40, 0xFEFE}};
constexpr Range kEudcTrail136[] = {{0x40, 0x7E}, {0xA1, 0xFE}};

}  // namespace

bool IsLeadByte(uint8_t char_set, uint8_t b) {
  switch (char_set) {
    case 128: return In(kLead128, b);
    case 129: return In(kLead129, b);
    case 134: return In(kLead134, b);
    case 136: return In(kLead136, b);
    default: return false;
  }
}

bool IsTrailByte(uint8_t char_set, uint8_t b) {
  switch (char_set) {
    case 128: return In(kTrail128, b);
    case 129: return In(kTrail129, b);
    case 134: return In(kTrail134, b);
    case 136: return In(kTrail136, b);
    default: return false;
  }
}

uint16_t NextCharacter(uint8_t char_set, const unsigned char* text, size_t length, size_t pos, size_t& bytes) {
  uint8_t b = text[pos];
  if (pos + 1 < length && IsLeadByte(char_set, b) && IsTrailByte(char_set, text[pos + 1])) {
    bytes = 2;
    return uint16_t(b << 8 | text[pos + 1]);
  }
  bytes = 1;
  return b;
}

bool IsEudc(uint8_t char_set, uint16_t code) {
  uint8_t trail = uint8_t(code & 0xFF);
  switch (char_set) {
    case 128: return In(kEudc128, code) && In(kEudcTrail128, trail);
    case 129: return In(kEudc129, code) && In(kEudcTrailA1, trail);
    case 134: return In(kEudc134, code) && In(kEudcTrailA1, trail);
    case 136: return In(kEudc136, code) && In(kEudcTrail136, trail);
    default: return false;
  }
}

}  // namespace qm::glyph
