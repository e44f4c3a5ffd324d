// Font names and short texts from the chunker (see pc_fontnames.h).
#include "pc_fontnames.h"

#include <algorithm>
#include <vector>

#include "filters/html/pc_charsets.h"
#include "platform/le.h"

namespace pc {

namespace {

constexpr uint32_t kMaxUnits = 0x10000;

struct Font {
  uint32_t unit = 0, charset = 0, length = 0;
};

bool font_item(KVXHANDLE ch, uint32_t fontId, Font* f) {
  uint8_t b[20];
  uint32_t next = 0;
  if (CHGetItem(ch, KVXRANGE_FONTS, fontId, b, &next) != KVX_OK) return false;
  f->unit = qm::le::get32(b + 4);
  f->charset = qm::le::get32(b + 8);
  f->length = std::min(qm::le::get32(b + 12), kMaxUnits);
  return true;
}

// count units of range 9 from first; false when they cannot be read.
bool name_units(KVXHANDLE ch, uint32_t first, uint32_t count, std::u16string* out) {
  out->clear();
  if (count == 0) return true;
  std::vector<uint8_t> b(size_t(count) * 2);
  if (CHGetItems(ch, KVXRANGE_NAMES, first, b.data(), uint32_t(b.size())) != KVX_OK) return false;
  for (uint32_t i = 0; i < count; ++i) out->push_back(char16_t(qm::le::get16(b.data() + 2 * i)));
  return true;
}

}  // namespace

KVXSTATUS ReadFontName(KVXHANDLE ch, const uint32_t reference[4], uint32_t size, std::string* name, uint32_t* charset) {
  name->clear();
  uint32_t id = 0;
  if (reference[0] & 0x2) {
    id = reference[2];
  } else if (reference[0] & 0x80) {
    id = reference[1];
  } else {
    return 37;
  }
  Font f;
  std::u16string units;
  if (!font_item(ch, id, &f) || !name_units(ch, f.unit, f.length, &units)) return 37;
  *charset = f.charset;
  if (f.charset == kSet16) {
    if (uint64_t(f.length) * 2 + 2 > size) return 46;
  } else if (uint64_t(f.length) + 1 > size) {
    return 46;
  }
  std::string out = NarrowToBytes(units, f.charset);
  // The 8-bit layout can need two bytes a character: the terminator must still fit.
  if (out.size() + (f.charset == kSet16 ? 2 : 1) > size) return 46;
  *name = std::move(out);
  return KVX_OK;
}

KVXSTATUS ReadFontNameById(KVXHANDLE ch, uint32_t fontId, uint32_t size, std::u16string* name, uint32_t* charset) {
  name->clear();
  Font f;
  std::u16string units;
  if (!font_item(ch, fontId, &f)) return 37;
  uint32_t room = size / 2 > 0 ? size / 2 - 1 : 0;
  if (!name_units(ch, f.unit, std::min(f.length, room), &units)) return 37;
  *charset = f.charset;
  units = units.substr(0, units.find(u'\0'));
  // The writer takes face names as Unicode: other sets are mapped.
  if (f.charset != kSet16 && !units.empty()) {
    std::vector<uint16_t> u(units.begin(), units.end());
    if (KVXSTATUS st = MapText16(u.data(), uint32_t(u.size()), f.charset, kSet16)) return st;
    units.assign(u.begin(), u.end());
  }
  *name = std::move(units);
  return KVX_OK;
}

uint32_t ReadTextItem(KVXHANDLE ch, uint32_t id, std::u16string* text, uint32_t count) {
  text->clear();
  uint8_t b[16];
  uint32_t next = 0;
  if (CHGetItem(ch, KVXRANGE_ITEMS, id, b, &next) != KVX_OK) return 0;
  uint32_t n = std::min({qm::le::get32(b + 12), count, kMaxUnits});
  if (!name_units(ch, qm::le::get32(b + 8), n, text)) {
    text->clear();
    return 0;
  }
  return n;
}

KVXSTATUS TextToWide(const std::string& bytes, uint32_t size, uint32_t charset, std::u16string* text) {
  text->clear();
  std::u16string out;
  auto byte = [&](size_t i) { return uint8_t(bytes[i]); };
  if (charset == kSet16) {
    if (bytes.size() % 2) return 15;
    for (size_t i = 0; i < bytes.size(); i += 2) out.push_back(char16_t(byte(i) << 8 | byte(i + 1)));
  } else {
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (UTIsLeadByte(charset, byte(i))) {
        if (i + 1 >= bytes.size()) return 15;
        out.push_back(char16_t(byte(i) << 8 | byte(i + 1)));
        ++i;
      } else {
        out.push_back(char16_t(byte(i)));
      }
    }
  }
  if ((uint64_t(out.size()) + 1) * 2 > size) return 46;
  *text = std::move(out);
  return KVX_OK;
}

std::string NarrowToBytes(const std::u16string& text, uint32_t charset) {
  std::string out;
  for (char16_t c : text) {
    if (c == 0) break;
    if (charset == kSet16) {
      out.push_back(char(c >> 8));
      out.push_back(char(c & 0xFF));
      continue;
    }
    if (c >> 8) out.push_back(char(c >> 8));
    if ((c & 0xFF) == 0) break;  // a zero byte ends the 8-bit layout
    out.push_back(char(c & 0xFF));
  }
  return out;
}

size_t DropZeroBytes(std::string& bytes) {
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  return bytes.size();
}

}  // namespace pc
