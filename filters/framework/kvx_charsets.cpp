// Character sets over glibc's iconv (see kvx_charsets.h). Each character is converted on
// its own through cached conversion descriptors, so a set's units never depend on the
// characters around them. Code points travel as glibc's built-in UCS-4LE, checked here as
// UTF-32 would check them, so that no conversion module but the document's own set's is
// loaded; UTF-16 is this file's own arithmetic.
#include "filters/framework/kvx_charsets.h"

#include <errno.h>
#include <iconv.h>

#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <unordered_map>

#include "filters/common/kvx_abi.h"

namespace kvx {

namespace {

struct SetRow {
  uint32_t id;
  const char* name;   // written name
  const char* iconv;  // glibc name; "" when glibc has no table
};

// The framework's sets. Names in the first column are also accepted by charset_from_name.
const SetRow kSets[] = {
    {KVXCS_CP1252, "cp1252", "CP1252"},
    {KVXCS_BIG5, "big5", "CP950"},
    {KVXCS_UNICODE, "unicode", "UTF-16LE"},
    {0x14E20100, "cp1250", "CP1250"},
    {0x14E30100, "cp1251", "CP1251"},
    {0x14E50100, "cp1253", "CP1253"},
    {0x14E60100, "cp1254", "CP1254"},
    {0x14E70100, "cp1255", "CP1255"},
    {0x14E80100, "cp1256", "CP1256"},
    {0x14E90100, "cp1257", "CP1257"},
    {0x136A0100, "cp874", "CP874"},
    {0x00080101, "iso-8859-1", "ISO-8859-1"},
    {0x00080102, "iso-8859-2", "ISO-8859-2"},
    {0x00080103, "iso-8859-3", "ISO-8859-3"},
    {0x00080104, "iso-8859-4", "ISO-8859-4"},
    {0x00080105, "iso-8859-5", "ISO-8859-5"},
    {0x00080106, "iso-8859-6", "ISO-8859-6"},
    {0x00080107, "iso-8859-7", "ISO-8859-7"},
    {0x00080108, "iso-8859-8", "ISO-8859-8"},
    {0x00080109, "iso-8859-9", "ISO-8859-9"},
    {0x80000100, "x-mac-roman", "MACINTOSH"},
    {0x80070100, "x-mac-ce", "MAC-CENTRALEUROPE"},
    {0x80050100, "x-mac-cyrillic", "MAC-CYRILLIC"},
    {0x80060100, "x-mac-greek", ""},
    {0x80030100, "x-mac-turkish", ""},
    {0x13A80000, "gb2312", "CP936"},
    {0x13A40000, "shift_jis", "CP932"},
    {0x000A0101, "koi8-r", "KOI8-R"},
    {0x13B50000, "euc-kr", "CP949"},
    {0x15510000, "johab", "JOHAB"},
    {0x0F0D0000, "euc-jp", "EUC-JP"},
    {0x0F0C0000, "iso-2022-jp", ""},  // stateful: no single-character units
};

// Further names by which hosts and templates name sets.
const std::pair<const char*, uint32_t> kAliases[] = {
    {"windows-1252", KVXCS_CP1252}, {"x-cp1252", KVXCS_CP1252},  {"us-ascii", KVXCS_ASCII},
    {"ascii", KVXCS_ASCII},         {"cp950", KVXCS_BIG5},        {"utf-8", KVXCS_UTF8},
    {"iso-10646", KVXCS_UNICODE},   {"utf-16", KVXCS_UNICODE},    {"utf-16le", KVXCS_UNICODE},
    {"x-cp1250", 0x14E20100},       {"windows-1250", 0x14E20100}, {"x-cp1251", 0x14E30100},
    {"windows-1251", 0x14E30100},   {"windows-1253", 0x14E50100}, {"windows-1254", 0x14E60100},
    {"windows-1255", 0x14E70100},   {"windows-1256", 0x14E80100}, {"windows-1257", 0x14E90100},
    {"windows-874", 0x136A0100},
};

const SetRow* row_of(uint32_t set) {
  for (const SetRow& r : kSets)
    if (r.id == set) return &r;
  return nullptr;
}

std::string lower(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A cached descriptor from one glibc set to another; (iconv_t)-1 when unavailable.
struct DescriptorCache {
  std::map<std::pair<std::string, std::string>, iconv_t> open;
  ~DescriptorCache() {
    for (auto& [key, cd] : open)
      if (cd != (iconv_t)-1) ::iconv_close(cd);
  }
};

iconv_t descriptor(const std::string& to, const std::string& from) {
  static DescriptorCache cache;
  auto key = std::make_pair(to, from);
  auto it = cache.open.find(key);
  if (it != cache.open.end()) return it->second;
  iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
  cache.open.emplace(key, cd);
  return cd;
}

// Converts one whole input; false unless every byte was used.
bool convert(iconv_t cd, const char* in, size_t in_len, char* out, size_t& out_len) {
  if (cd == (iconv_t)-1) return false;
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* ip = const_cast<char*>(in);
  size_t il = in_len;
  char* op = out;
  size_t room = out_len;
  size_t r = ::iconv(cd, &ip, &il, &op, &room);
  if (r == size_t(-1) || il != 0) return false;
  // Flush any shift state.
  if (::iconv(cd, nullptr, nullptr, &op, &room) == size_t(-1)) return false;
  out_len = out_len - room;
  return true;
}

// The code points UTF-32 admits: no surrogates, nothing past U+10FFFF.
bool valid_code_point(uint32_t cp) { return cp < 0x110000 && (cp < 0xD800 || cp > 0xDFFF); }

// Code points as units of 4 bytes, little-endian (glibc's built-in set, no module).
const char kCodePoints[] = "UCS-4LE";

}  // namespace

uint32_t resolve_charset(uint32_t id) {
  switch (id) {
    case 0: case KVXCS_GENERIC1: case KVXCS_GENERIC2: case KVXCS_ASCII: return KVXCS_CP1252;
    case KVXCS_UTF8: return KVXCS_UNICODE;
    default: return id;
  }
}

bool charset_supported(uint32_t set) {
  set = resolve_charset(set);
  if (set == KVXCS_UNICODE) return true;  // converted without iconv
  const SetRow* r = row_of(set);
  return r != nullptr && r->iconv[0] != '\0' && descriptor(kCodePoints, r->iconv) != (iconv_t)-1;
}

std::string charset_name(uint32_t set) {
  const SetRow* r = row_of(set);
  return r == nullptr ? std::string() : std::string(r->name);
}

uint32_t charset_from_name(const std::string& name) {
  std::string n = lower(name);
  for (const SetRow& r : kSets)
    if (n == r.name) return r.id;
  for (const auto& [alias, id] : kAliases)
    if (n == alias) return id;
  return 0;
}

bool is_double_byte(uint32_t set) {
  set = resolve_charset(set);
  return set != KVXCS_UNICODE && (set & 0x100) == 0 && charset_supported(set);
}

bool is_lead_byte(uint32_t set, uint8_t byte) {
  set = resolve_charset(set);
  if (!is_double_byte(set)) return false;
  static std::map<uint32_t, std::array<int8_t, 256>> tables;
  auto it = tables.find(set);
  if (it == tables.end()) {
    std::array<int8_t, 256> t{};
    iconv_t cd = descriptor(kCodePoints, row_of(set)->iconv);
    for (int b = 0; b < 256; ++b) {
      // A lead byte alone is an incomplete character.
      ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
      char in = char(b);
      char* ip = &in;
      size_t il = 1;
      char out[16];
      char* op = out;
      size_t ol = sizeof out;
      size_t r = ::iconv(cd, &ip, &il, &op, &ol);
      t[b] = (r == size_t(-1) && errno == EINVAL) ? 1 : 0;
    }
    it = tables.emplace(set, t).first;
  }
  return it->second[byte] != 0;
}

namespace {

// One character through iconv; unit_to_unicode remembers the answers.
bool convert_unit(uint32_t set, uint16_t unit, uint32_t& code_point) {
  if (set == KVXCS_UNICODE) {
    if (unit >= 0xD800 && unit <= 0xDFFF) return false;
    code_point = unit;
    return true;
  }
  const SetRow* r = row_of(set);
  if (r == nullptr || r->iconv[0] == '\0') return false;
  char in[2];
  size_t n = 0;
  if (unit > 0xFF) {
    if (!is_lead_byte(set, uint8_t(unit >> 8))) return false;
    in[n++] = char(unit >> 8);
  }
  in[n++] = char(unit & 0xFF);
  if (n == 1 && is_lead_byte(set, uint8_t(unit))) return false;
  char out[16];
  size_t out_len = sizeof out;
  if (!convert(descriptor(kCodePoints, r->iconv), in, n, out, out_len) || out_len != 4) return false;
  std::memcpy(&code_point, out, 4);
  return valid_code_point(code_point);
}

// One code point through iconv; unicode_to_unit remembers the answers.
bool convert_code_point(uint32_t set, uint32_t code_point, uint16_t& unit) {
  if (set == KVXCS_UNICODE) {
    if (code_point > 0xFFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) return false;
    unit = uint16_t(code_point);
    return true;
  }
  const SetRow* r = row_of(set);
  if (r == nullptr || r->iconv[0] == '\0' || !valid_code_point(code_point)) return false;
  char in[4];
  std::memcpy(in, &code_point, 4);
  char out[16];
  size_t out_len = sizeof out;
  if (!convert(descriptor(r->iconv, kCodePoints), in, 4, out, out_len)) return false;
  if (out_len == 1) {
    unit = uint8_t(out[0]);
  } else if (out_len == 2) {
    unit = uint16_t(uint8_t(out[0]) << 8 | uint8_t(out[1]));
  } else {
    return false;
  }
  return true;
}

// Answers of the two conversions by set and character: each character converts on its
// own, so an answer never changes, and a document repeats few characters many times.
// Keys are the set above the character; -1 stands for "no such character".
using Memo = std::unordered_map<uint64_t, int64_t>;
Memo& units_memo() {
  static Memo answers;
  return answers;
}
Memo& code_points_memo() {
  static Memo answers;
  return answers;
}

}  // namespace

bool unit_to_unicode(uint32_t set, uint16_t unit, uint32_t& code_point) {
  set = resolve_charset(set);
  auto [it, fresh] = units_memo().try_emplace(uint64_t(set) << 32 | unit, -1);
  if (fresh) {
    uint32_t cp = 0;
    if (convert_unit(set, unit, cp)) it->second = cp;
  }
  if (it->second < 0) return false;
  code_point = uint32_t(it->second);
  return true;
}

bool unicode_to_unit(uint32_t set, uint32_t code_point, uint16_t& unit) {
  set = resolve_charset(set);
  auto [it, fresh] = code_points_memo().try_emplace(uint64_t(set) << 32 | code_point, -1);
  if (fresh) {
    uint16_t u = 0;
    if (convert_code_point(set, code_point, u)) it->second = u;
  }
  if (it->second < 0) return false;
  unit = uint16_t(it->second);
  return true;
}

bool utf8_to_units(uint32_t set, const std::string& utf8, std::vector<uint16_t>& units) {
  units.clear();
  // Decode UTF-8 with iconv so malformed input is refused the same way everywhere.
  std::string out(utf8.size() * 4 + 4, '\0');
  size_t out_len = out.size();
  if (!convert(descriptor(kCodePoints, "UTF-8"), utf8.data(), utf8.size(), out.data(), out_len)) return false;
  for (size_t i = 0; i + 4 <= out_len; i += 4) {
    uint32_t cp;
    std::memcpy(&cp, out.data() + i, 4);
    if (!valid_code_point(cp)) return false;
    if (resolve_charset(set) == KVXCS_UNICODE && cp > 0xFFFF) {
      cp -= 0x10000;
      units.push_back(uint16_t(0xD800 + (cp >> 10)));
      units.push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
      continue;
    }
    uint16_t u;
    if (!unicode_to_unit(set, cp, u)) return false;
    units.push_back(u);
  }
  return true;
}

bool units_to_utf8(uint32_t set, const std::vector<uint16_t>& units, std::string& utf8) {
  utf8.clear();
  std::string cps;
  bool unicode = resolve_charset(set) == KVXCS_UNICODE;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t cp;
    if (unicode && units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + (uint32_t(units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (!unit_to_unicode(set, units[i], cp)) {
      return false;
    }
    if (!valid_code_point(cp)) return false;
    cps.append(reinterpret_cast<const char*>(&cp), 4);
  }
  std::string out(cps.size() + 4, '\0');
  size_t out_len = out.size();
  if (!convert(descriptor("UTF-8", kCodePoints), cps.data(), cps.size(), out.data(), out_len)) return false;
  utf8.assign(out.data(), out_len);
  return true;
}

}  // namespace kvx
