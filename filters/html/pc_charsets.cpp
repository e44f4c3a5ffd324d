// Output character sets (see pc_charsets.h), over the framework's option and map calls.
#include "pc_charsets.h"

#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace pc {

namespace {

const CharsetRow kRows[] = {
    {0x00030100, "us-ascii"},      {0x00010100, "us-ascii"},      {0x00020100, "x-mac-roman"},
    {0x00080101, "iso-8859-1"},    {0x00080102, "iso-8859-2"},    {0x00080103, "iso-8859-3"},
    {0x00080104, "iso-8859-4"},    {0x00080105, "iso-8859-5"},    {0x00080106, "iso-8859-6"},
    {0x00080107, "iso-8859-7"},    {0x00080108, "iso-8859-8"},    {0x00080109, "iso-8859-9"},
    {0x80000100, "x-mac-roman"},   {0x80070100, "x-mac-ce"},      {0x80060100, "x-mac-greek"},
    {0x80050100, "x-mac-cyrillic"}, {0x80030100, "x-mac-turkish"}, {0x13A80000, "gb2312"},
    {0x13B60000, "big5"},          {0x13A40000, "Shift_JIS"},     {0x000A0101, "koi8-r"},
    {0x14E20100, "x-cp1250"},      {0x14E30100, "x-cp1251"},      {0x14E40100, "us-ascii"},
    {0x14E50100, "windows-1253"},  {0x14E60100, "windows-1254"},  {0x14E70100, "windows-1255"},
    {0x14E80100, "windows-1256"},  {0x14E90100, "windows-1257"},  {0x13B50000, "euc-kr"},
    {0x15510000, "euc-kr"},        {0x14B00000, "ISO-10646"},     {0x000B000B, "UTF-8"},
    {0x0F0D0000, "euc-jp"},        {0x136A0100, "windows-874"},   {0x0F0C0000, "iso-2022-jp"},
};

constexpr uint32_t kSingleByte = 0x100;

bool windows_code_page(uint32_t id) {
  return (id >= 0x14E20100 && id <= 0x14E90100 && (id & 0xFFFF) == 0x0100) || id == KVXCS_UNICODE;
}

uint16_t ascii_replacement(uint16_t c) {
  switch (c) {
    case 0x91: case 0x92: return 0x27;
    case 0x93: case 0x94: return 0x22;
    case 0x96: case 0x97: return 0x2D;
    default: return 0x40;
  }
}

}  // namespace

const CharsetRow* charset_table(size_t* count) {
  *count = sizeof kRows / sizeof *kRows;
  return kRows;
}

CharsetRow charset_row(uint32_t id) {
  for (const CharsetRow& r : kRows)
    if (r.id == id) return r;
  return kRows[0];
}

KVXSTATUS ReadOutputCharset(KVXHANDLE ex, uint32_t doc_set, uint32_t* out) {
  uint32_t requested = 0, size = 4;
  if (KVXSTATUS st = DAGetOption(ex, KVXOPT_CHARSET, &requested, &size)) return st;
  if (doc_set == 0) doc_set = KVXCS_ASCII;
  bool doc_single = (doc_set & kSingleByte) != 0;
  if ((requested & kSingleByte) && doc_set != KVXCS_UNICODE && !doc_single)
    *out = doc_set;
  else
    *out = requested;
  return KVX_OK;
}

KVXSTATUS SetOutputCharset(KVXHANDLE ex, uint32_t doc_set, uint32_t* row_id, uint32_t* state_id, std::string* name) {
  uint32_t set = 0;
  if (KVXSTATUS st = ReadOutputCharset(ex, doc_set, &set)) return st;
  CharsetRow row = charset_row(set);
  *row_id = row.id;
  *state_id = row.id == KVXCS_UTF8 ? KVXCS_UNICODE : row.id;
  *name = row.name;
  return KVX_OK;
}

KVXSTATUS CreateCharMap(KVXCHARMAP** map, uint32_t sourceSet, uint32_t targetSet, uint16_t replacement) {
  KVXCHARMAPREQUEST req;
  std::memset(&req, 0, sizeof req);
  req.Size = sizeof req;
  req.Replacement = replacement;
  req.Word2 = 1;
  req.Source = sourceSet;
  req.Target = targetSet;
  return UTCreateMap(map, &req);
}

KVXSTATUS MapText16(uint16_t* text, uint32_t count, uint32_t source, uint32_t target) {
  if (UTGetUnknownCharSet(source) == UTGetUnknownCharSet(target)) return KVX_OK;
  // Mapped units are kept per pair of sets for the thread, so each unit meets the
  // framework's map once (0 marks a unit not mapped yet); the map itself is made once per
  // pair, when a unit first needs it.
  struct Memo {
    std::vector<uint16_t> known;
    std::unique_ptr<KVXCHARMAP, KVXSTATUS (*)(KVXCHARMAP*)> map{nullptr, UTReleaseMap};
  };
  thread_local std::map<std::pair<uint32_t, uint32_t>, Memo> memo;
  Memo& m = memo[{source, target}];
  std::vector<uint16_t>& known = m.known;
  if (known.empty()) known.assign(0x10000, 0);
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t c = text[i];
    if (known[c] != 0) {
      text[i] = known[c];
      continue;
    }
    if (m.map == nullptr) {
      KVXCHARMAP* made = nullptr;
      if (KVXSTATUS st = CreateCharMap(&made, source, target, 0x40)) return st;
      m.map.reset(made);
    }
    KVXCHARMAP* map = m.map.get();
    uint32_t result = 0;
    if ((c & 0xFF00) == map->LoadedPage)
      result = map->Page[c & 0xFF];
    else
      UTMapCharRtn(map, c, &result);
    uint16_t unit = uint16_t(result >> 16);
    if (unit == 0) unit = 0x40;
    if (unit == 0x40 && c >= 0x90 && c <= 0x97 && (target & kSingleByte)) {
      if ((target & 0x10080000) && windows_code_page(source)) {
        unit = ascii_replacement(c);
      } else if (source & 0x80000) {
        if (windows_code_page(target) && target != KVXCS_UNICODE)
          unit = (c == 0x90 || c == 0x95) ? 0x40 : c;
        else if (target & 0x10080000)
          unit = ascii_replacement(c);
      }
    }
    known[c] = unit;
    text[i] = unit;
  }
  return KVX_OK;
}

}  // namespace pc
