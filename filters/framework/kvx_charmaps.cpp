// The UT character calls of the framework: maps between two sets (UTCreateMap,
// UTMapCharRtn, UTReleaseMap), set resolution and names, lead bytes, widening of 8-bit
// text, and the 16-bit string helpers. The sets themselves are in kvx_charsets.cpp.
#include <cstring>
#include <string>

#include "filters/common/kvx_abi.h"
#include "filters/framework/kvx_charsets.h"

using namespace kvx;

namespace {

struct MapObj {
  KVXCHARMAP pub;  // first: the caller's view
  uint32_t source = 0;
  uint32_t target = 0;
  uint16_t replacement = '@';
};

uint32_t map_one(const MapObj& m, uint32_t c) {
  uint32_t cp;
  uint16_t unit;
  if (c <= 0xFFFF && unit_to_unicode(m.source, uint16_t(c), cp) && unicode_to_unit(m.target, cp, unit))
    return uint32_t(unit) << 16;
  return uint32_t(m.replacement) << 16 | 1;
}

}  // namespace

extern "C" {

KVXSTATUS UTCreateMap(KVXCHARMAP** map, const KVXCHARMAPREQUEST* request) {
  if (map == nullptr || request == nullptr) return KVXERR_BADPARAM;
  *map = nullptr;
  if (request->Size != sizeof(KVXCHARMAPREQUEST)) return KVXERR_BADPARAM;
  uint32_t source = resolve_charset(request->Source);
  uint32_t target = resolve_charset(request->Target);
  if (!charset_supported(source) || !charset_supported(target)) return KVXERR_UNSUPPORTED;
  auto* m = new (std::nothrow) MapObj;
  if (m == nullptr) return KVXERR_NOMEMORY;
  m->source = source;
  m->target = target;
  m->replacement = request->Replacement;
  m->pub.LoadedPage = 0;
  m->pub.Pad = 0;
  for (uint32_t c = 0; c < 256; ++c) m->pub.Page[c] = map_one(*m, c);
  *map = &m->pub;
  return KVX_OK;
}

KVXSTATUS UTMapCharRtn(KVXCHARMAP* map, uint32_t character, uint32_t* result) {
  if (map == nullptr || result == nullptr) return KVXERR_BADPARAM;
  *result = map_one(*reinterpret_cast<MapObj*>(map), character);
  return KVX_OK;
}

KVXSTATUS UTReleaseMap(KVXCHARMAP* map) {
  if (map == nullptr) return KVXERR_BADPARAM;
  delete reinterpret_cast<MapObj*>(map);
  return KVX_OK;
}

uint32_t UTGetUnknownCharSet(uint32_t charset) { return resolve_charset(charset); }

uint32_t UTCharSetFromName(const uint16_t* name) {
  if (name == nullptr) return 0;
  std::string ascii;
  for (size_t i = 0; name[i] != 0; ++i) {
    if (name[i] > 0x7F || i > 64) return 0;
    ascii += char(name[i]);
  }
  return charset_from_name(ascii);
}

int32_t UTIsLeadByte(uint32_t charset, uint8_t byte) { return is_lead_byte(charset, byte) ? 1 : 0; }

uint32_t UTMultiToDoubleByte(uint32_t charset, const char* text, uint32_t length, uint16_t* out, uint32_t capacity) {
  if (text == nullptr || out == nullptr || capacity == 0) return 0;
  uint32_t n = 0;
  for (uint32_t i = 0; i < length && text[i] != '\0' && n + 1 < capacity; ++i) {
    uint8_t b = uint8_t(text[i]);
    if (is_lead_byte(charset, b) && i + 1 < length && text[i + 1] != '\0') {
      out[n++] = uint16_t(b << 8 | uint8_t(text[i + 1]));
      ++i;
    } else {
      out[n++] = b;
    }
  }
  out[n] = 0;
  return n;
}

uint32_t UTwstrlen(const uint16_t* text) {
  uint32_t n = 0;
  while (text != nullptr && text[n] != 0) ++n;
  return n;
}

uint16_t* UTwstrcpy(uint16_t* to, const uint16_t* from) {
  uint32_t n = UTwstrlen(from);
  std::memmove(to, from, (n + 1) * 2);
  return to;
}

uint16_t* UTwstrcat(uint16_t* to, const uint16_t* from) {
  UTwstrcpy(to + UTwstrlen(to), from);
  return to;
}

int32_t UTwstrcmp(const uint16_t* a, const uint16_t* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (*a == 0) return 0;
  }
}

const char* UTGetFileNameFromPath(const char* path) {
  if (path == nullptr) return nullptr;
  // 8-bit paths are ASCII or Big5: a trail byte 0x5C inside a character is no separator.
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (is_lead_byte(KVXCS_BIG5, uint8_t(*p)) && p[1] != '\0') {
      ++p;
    } else if (*p == '/' || *p == '\\') {
      name = p + 1;
    }
  }
  return name;
}

const uint16_t* UTGetWideFileNameFromPath(const uint16_t* path) {
  if (path == nullptr) return nullptr;
  const uint16_t* name = path;
  for (const uint16_t* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}

}  // extern "C"
