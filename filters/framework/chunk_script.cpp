// Chunk scripts (see chunk_script.h). The reader turns each line into its expansion (the
// items, records and group calls it stands for) and hands that to the ChunkBuilder; the
// writer walks a model's items, guesses the line for each, and keeps the line only when
// its expansion matches the model at the current position of every range, else it falls
// back to the raw forms. Units that no line accounts for are written as "record" lines
// just before the first line that needs a later position, so a written script builds
// the same model again.
//
// Lines (numbers decimal or 0x hex; texts in double quotes, UTF-8, with \\ \" \n \r \t and
// \u{hhhh} for a raw 16-bit unit):
//   section <wp|ss|db|bm|ar|dr|pr|ch|number> ["name"] [date <base> <flags>]
//                            a section (its name in range 9; a sheet's date base and flags)
//   text <set> "text"        a text run of the set (big5, cp1252, unicode, ...)
//   para / break <n>         item {0, 1} / {0, n}
//   group <code> <id> [<c>]  group open; end: the matching close
//   bookmark "name"          group open 0x20000002 naming a bookmark (name in range 9)
//   footnote                 item {0x2C, 1}: a footnote reference
//   field <n> / string <id>  items {0x1F, n} / {0x5A, id}
//   table <rows> <cols>      table start (and its nesting open in range 14)
//   cell [<colspan> <rowspan>]  a table cell, or in a sheet section the next sheet cell
//   cell <format>            in a sheet section: the next cell, a number shown in a format
//                            {0x48, column, row, format number}
//   endcell / endrow / endtable  cell end, row end (and its row item), table end
//   columns <n>              sheet column count {75, n}
//   cells <n>                a range-15 entry: n sheet cells from the next item on
//   value <number>           a data value (range 17) and its item {0xE0, unit}
//   object <type> <hex>      an embedded object: its bytes in range 3, its record in range 13
//                            and the item {0x1A, record index} that names it
//   item <kind> <a> <b> <c> [<hex>]   a raw item (hex: bytes appended to range 3 first)
//   bitmap <w> <h> <bits> <palette size> <flags> [<x units> <y units>]   a bitmap header
//   palette <rrggbb>...      the bitmap's palette (range 8)
//   transparency <colour or index> [<rrggbb>...]   the transparency item and its palette
//   band <width> <rows> <hex>  a band of pixel rows (range 5); endbitmap: the end item
//   drawing <x1> <y1> <x2> <y2> <x units> <y units> [<flags> <mode>]   a drawing frame
//   rect <l> <t> <r> <b> <rrggbb> / gradient <l> <t> <r> <b> <rrggbb> <rrggbb> <0|1>
//                            display-list entries (range 6); enddrawing: the list's end
//   record <range> <hex>     raw units of a range
#include "filters/framework/chunk_script.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>

#include "filters/framework/kvx_charsets.h"
#include "filters/framework/sheet_text.h"

namespace kvx {

namespace {

constexpr uint32_t kCellStart = 0x12;
constexpr uint32_t kRowItem = 0x13;
constexpr uint32_t kSheetColumns = 75;
constexpr uint32_t kSheetCell = 0x46;
constexpr uint32_t kSheetSize = 84, kEmptyRun = 0x57;
constexpr uint32_t kNumberCell = 0x48;
constexpr uint32_t kPropertyGroup = 0xA0010004u;
constexpr uint32_t kNoteGroup = 0xA00A0000u;
constexpr uint32_t kFormatGroup = 0xA0100000u;
constexpr uint32_t kPagePartGroup = 0xA00B0000u;  // a header's or footer's text

const char* const kSectionWords[] = {"wp", "ss", "db", "", "bm", "ar", "dr", "pr", "ch"};

struct Item {
  uint32_t w[4];
};

// What one line stands for.
struct Expansion {
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;  // before the items
  bool section = false;
  uint32_t section_type = 0;
  std::vector<uint16_t> section_name;
  uint32_t date_base = 0, date_flags = 0;
  std::vector<Item> items;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> after;  // records after the items
  int group = 0;  // +1 the first item opens a group, -1 it closes one
  bool text = false;
  uint32_t text_set = 0;
  std::vector<uint16_t> text_units;
};

// Table and sheet position shared by the reader and the writer.
struct State {
  uint32_t section_type = 0;
  uint32_t row = 0, col = 0, row_first_cell = 0, cells = 0;
  uint32_t sheet_columns = 0, sheet_cell = 0, range_cells = 0;
  std::vector<uint32_t> groups;
  std::array<uint32_t, KVXRANGE_COUNT> cursor{};  // units appended so far
  uint32_t next_item_id = 0;
};

std::vector<uint8_t> words(std::initializer_list<uint32_t> ws) {
  std::vector<uint8_t> out;
  for (uint32_t w : ws) put_u32(out, w);
  return out;
}

std::vector<uint8_t> units_bytes(const std::vector<uint16_t>& units) {
  std::vector<uint8_t> out;
  for (uint16_t u : units) put_u16(out, u);
  return out;
}

// ---- Lexing ------------------------------------------------------------------------------

struct Token {
  bool quoted = false;
  std::string text;  // raw UTF-8 of a quoted text with escapes kept as \u{..} markers
  std::vector<std::pair<bool, uint32_t>> pieces;  // quoted: (raw unit?, code point or unit)
};

bool split_line(const std::string& line, std::vector<Token>& out, std::string& why) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    Token t;
    if (line[i] == '"') {
      t.quoted = true;
      ++i;
      std::string plain;
      auto flush = [&]() -> bool {
        if (plain.empty()) return true;
        std::vector<uint16_t> u;
        if (!utf8_to_units(KVXCS_UNICODE, plain, u)) return false;
        for (size_t k = 0; k < u.size(); ++k) {
          uint32_t cp = u[k];
          if (cp >= 0xD800 && cp <= 0xDBFF && k + 1 < u.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (u[k + 1] - 0xDC00);
            ++k;
          }
          t.pieces.push_back({false, cp});
        }
        plain.clear();
        return true;
      };
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          plain += c;
          continue;
        }
        if (i >= line.size()) break;
        char e = line[i++];
        if (e == 'n') plain += '\n';
        else if (e == 'r') plain += '\r';
        else if (e == 't') plain += '\t';
        else if (e == '\\' || e == '"') plain += e;
        else if (e == 'u' && i < line.size() && line[i] == '{') {
          size_t close = line.find('}', i);
          if (close == std::string::npos || close - i - 1 == 0 || close - i - 1 > 4) {
            why = "bad \\u{} escape";
            return false;
          }
          std::string hex = line.substr(i + 1, close - i - 1);
          if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            why = "bad \\u{} escape";
            return false;
          }
          if (!flush()) {
            why = "text is not UTF-8";
            return false;
          }
          t.pieces.push_back({true, uint32_t(std::strtoul(hex.c_str(), nullptr, 16))});
          i = close + 1;
        } else {
          why = std::string("unknown escape \\") + e;
          return false;
        }
      }
      if (!closed) {
        why = "text without its closing quote";
        return false;
      }
      if (!flush()) {
        why = "text is not UTF-8";
        return false;
      }
    } else {
      size_t end = line.find_first_of(" \t", i);
      if (end == std::string::npos) end = line.size();
      t.text = line.substr(i, end - i);
      i = end;
    }
    out.push_back(std::move(t));
  }
  return true;
}

bool number(const Token& t, uint32_t& v) {
  if (t.quoted || t.text.empty()) return false;
  const char* s = t.text.c_str();
  char* end = nullptr;
  errno = 0;
  unsigned long long x = std::strtoull(s, &end, 0);
  if (*end != '\0' || errno != 0 || x > 0xFFFFFFFFull || s[0] == '-' || s[0] == '+') return false;
  v = uint32_t(x);
  return true;
}

bool hex_bytes(const Token& t, std::vector<uint8_t>& out) {
  if (t.quoted || t.text.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < t.text.size(); i += 2) {
    char pair[3] = {t.text[i], t.text[i + 1], 0};
    if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || !std::isxdigit(static_cast<unsigned char>(pair[1])))
      return false;
    out.push_back(uint8_t(std::strtoul(pair, nullptr, 16)));
  }
  return true;
}

// Units of a quoted text in a set: characters encoded, \u{} units taken as they are.
bool text_units(const Token& t, uint32_t set, std::vector<uint16_t>& units, std::string& why) {
  units.clear();
  bool unicode = resolve_charset(set) == KVXCS_UNICODE;
  for (auto [raw, v] : t.pieces) {
    if (raw) {
      units.push_back(uint16_t(v));
    } else if (unicode && v > 0xFFFF) {
      units.push_back(uint16_t(0xD800 + ((v - 0x10000) >> 10)));
      units.push_back(uint16_t(0xDC00 + ((v - 0x10000) & 0x3FF)));
    } else {
      uint16_t u;
      if (!unicode_to_unit(set, v, u)) {
        char b[64];
        std::snprintf(b, sizeof b, "U+%04X has no character in set %s", unsigned(v), charset_name(set).c_str());
        why = b;
        return false;
      }
      units.push_back(u);
    }
  }
  return true;
}

// ---- Expansion of one line ---------------------------------------------------------------

bool expand(const std::vector<Token>& tok, State& st, Expansion& x, std::string& why) {
  const std::string& op = tok[0].text;
  auto n = [&](size_t i, uint32_t& v) {
    if (i >= tok.size() || !number(tok[i], v)) {
      why = "argument " + std::to_string(i) + " of " + op + " must be a number";
      return false;
    }
    return true;
  };
  auto count = [&](size_t lo, size_t hi) {
    if (tok.size() - 1 < lo || tok.size() - 1 > hi) {
      why = op + " takes " + (lo == hi ? std::to_string(lo) : std::to_string(lo) + "-" + std::to_string(hi)) +
            " arguments";
      return false;
    }
    return true;
  };
  uint32_t a = 0, b = 0, c = 0, d = 0;
  if (op == "section") {
    if (!count(1, 5)) return false;
    x.section = true;
    bool found = false;
    for (uint32_t i = 0; i < 9; ++i)
      if (tok[1].text == kSectionWords[i] && kSectionWords[i][0]) x.section_type = i, found = true;
    if (!found && !n(1, x.section_type)) return false;
    size_t at = 2;
    if (tok.size() > at && tok[at].quoted) {
      if (!text_units(tok[at], KVXCS_UNICODE, x.section_name, why)) return false;
      ++at;
    }
    if (tok.size() > at) {
      if (tok.size() != at + 3 || tok[at].text != "date") return why = "section takes a quoted name and date <base> <flags>", false;
      if (!n(at + 1, x.date_base) || !n(at + 2, x.date_flags)) return false;
    }
    return true;
  }
  if (op == "text") {
    if (!count(2, 2)) return false;
    uint32_t set = charset_from_name(tok[1].text);
    if (set == 0 && !n(1, set)) return why = "unknown character set " + tok[1].text, false;
    if (!tok[2].quoted) return why = "the text is quoted", false;
    x.text = true;
    x.text_set = set;
    return text_units(tok[2], set, x.text_units, why);
  }
  if (op == "para" || op == "footnote" || op == "endcell" || op == "endtable" || op == "end") {
    if (!count(0, 0)) return false;
    if (op == "para") x.items.push_back({{KVXITEM_BREAK, KVXBREAK_PARAGRAPH, 0, 0}});
    if (op == "footnote") x.items.push_back({{KVXITEM_FOOTNOTE, 1, 0, 0}});
    if (op == "endcell") x.items.push_back({{KVXITEM_BREAK, KVXBREAK_CELL, 0, 0}});
    if (op == "endtable") {
      x.items.push_back({{KVXITEM_TABLEEND, 0, 0, 0}});
      x.after.push_back({KVXRANGE_NESTING, words({17, 0, 0, st.next_item_id})});
    }
    if (op == "end") {
      if (st.groups.empty()) return why = "end without an open group", false;
      x.items.push_back({{KVXITEM_GROUPCLOSE, st.groups.back(), 0, 0}});
      x.group = -1;
    }
    return true;
  }
  if (op == "break" || op == "field" || op == "string" || op == "columns" || op == "cells") {
    if (!count(1, 1) || !n(1, a)) return false;
    if (op == "break") x.items.push_back({{KVXITEM_BREAK, a, 0, 0}});
    if (op == "field") x.items.push_back({{KVXITEM_FIELD, a, 0, 0}});
    if (op == "string") x.items.push_back({{KVXITEM_STRING, a, 0, 0}});
    if (op == "columns") x.items.push_back({{kSheetColumns, a, 0, 0}});
    if (op == "cells") x.records.push_back({KVXRANGE_CELLRANGES, words({st.next_item_id, st.range_cells, a, 0})});
    return true;
  }
  if (op == "group") {
    if (!count(2, 3) || !n(1, a) || !n(2, b) || (tok.size() == 4 && !n(3, c))) return false;
    x.items.push_back({{KVXITEM_GROUPOPEN, a, b, c}});
    x.group = 1;
    return true;
  }
  if (op == "bookmark") {
    if (!count(1, 1) || !tok[1].quoted) return why = "bookmark takes a quoted name", false;
    std::vector<uint16_t> name;
    if (!text_units(tok[1], KVXCS_UNICODE, name, why)) return false;
    x.records.push_back({KVXRANGE_NAMES, units_bytes(name)});
    x.items.push_back({{KVXITEM_GROUPOPEN, KVXGROUP_BOOKMARK, st.cursor[KVXRANGE_NAMES], uint32_t(name.size())}});
    x.group = 1;
    return true;
  }
  if (op == "table") {
    if (!count(2, 2) || !n(1, a) || !n(2, b)) return false;
    x.items.push_back({{KVXITEM_TABLESTART, a, b, 0}});
    x.after.push_back({KVXRANGE_NESTING, words({16, 0, 0, st.next_item_id})});
    return true;
  }
  if (op == "cell" && tok.size() == 2 && (st.section_type == KVXSECTION_SS || st.section_type == KVXSECTION_DB)) {
    if (!n(1, c)) return false;
    if (st.sheet_columns == 0) return why = "a sheet cell before columns", false;
    x.items.push_back({{kNumberCell, st.sheet_cell % st.sheet_columns, st.sheet_cell / st.sheet_columns, c}});
    return true;
  }
  if (op == "cell") {
    if (tok.size() != 1 && !count(2, 2)) return false;
    c = 1, d = 1;
    if (tok.size() == 3 && (!n(1, c) || !n(2, d))) return false;
    if (c > 0xFFFF || d > 0xFFFF) return why = "spans above 65535", false;
    if (st.section_type == KVXSECTION_SS || st.section_type == KVXSECTION_DB) {
      if (tok.size() != 1) return why = "sheet cells have no spans", false;
      if (st.sheet_columns == 0) return why = "a sheet cell before columns", false;
      x.items.push_back({{kSheetCell, st.sheet_cell % st.sheet_columns, st.sheet_cell / st.sheet_columns, 0}});
      return true;
    }
    uint32_t spans = c | d << 16;
    x.items.push_back({{kCellStart, st.row, st.col, spans}});
    x.after.push_back({KVXRANGE_CELLS, words({kCellStart, st.row, st.col, spans})});
    return true;
  }
  if (op == "endrow") {
    if (!count(0, 0)) return false;
    x.items.push_back({{KVXITEM_BREAK, KVXBREAK_ROW, 0, 0}});
    x.after.push_back({KVXRANGE_ROWS, words({kRowItem, st.row, st.row_first_cell, st.cells - st.row_first_cell})});
    return true;
  }
  if (op == "value") {
    if (!count(1, 1) || tok[1].quoted) return why = "value takes a number", false;
    char* end = nullptr;
    double v = std::strtod(tok[1].text.c_str(), &end);
    if (*end != '\0' || tok[1].text.empty() || !std::isfinite(v)) return why = "value takes a number", false;
    std::vector<uint8_t> rec = words({1, 0});
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    put_u32(rec, uint32_t(bits));
    put_u32(rec, uint32_t(bits >> 32));
    x.records.push_back({KVXRANGE_VALUES, rec});
    x.items.push_back({{KVXITEM_DATAVALUE, st.cursor[KVXRANGE_VALUES], 0, 0}});
    return true;
  }
  if (op == "object") {
    std::vector<uint8_t> bytes;
    if (!count(2, 2) || !n(1, a)) return false;
    if (!hex_bytes(tok[2], bytes)) return why = "object bytes must be hex pairs", false;
    x.records.push_back({KVXRANGE_RECORDS, bytes});
    KVXOBJECTITEM rec{};
    rec.GraphicType = a;
    rec.DataFirst = st.cursor[KVXRANGE_RECORDS];
    rec.DataLength = uint32_t(bytes.size());
    const auto* raw = reinterpret_cast<const uint8_t*>(&rec);
    x.records.push_back({KVXRANGE_OBJECTS, std::vector<uint8_t>(raw, raw + sizeof rec)});
    x.items.push_back({{KVXITEM_GRAPHIC, st.cursor[KVXRANGE_OBJECTS], 0, 0}});
    return true;
  }
  // Pictures: bitmap sections and drawings (kvx_abi.h, picture content).
  auto colour = [&](size_t i, uint32_t& v) {
    std::vector<uint8_t> rgb;
    if (i >= tok.size() || !hex_bytes(tok[i], rgb) || rgb.size() != 3) {
      why = "argument " + std::to_string(i) + " of " + op + " must be a colour rrggbb";
      return false;
    }
    v = uint32_t(rgb[0]) | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]) << 16;
    return true;
  };
  // Colours from token i on as a range-8 record padded to whole units.
  auto colour_record = [&](size_t i, uint32_t& n) {
    std::vector<uint8_t> rec;
    for (n = 0; i + n < tok.size(); ++n) {
      uint32_t v;
      if (!colour(i + n, v)) return false;
      put_u32(rec, v);
    }
    while (rec.size() % 16 != 0) rec.push_back(0);
    if (!rec.empty()) x.records.push_back({KVXRANGE_PALETTES, rec});
    return true;
  };
  if (op == "bitmap") {
    uint32_t e = 0, f = 0, g = 0;
    if (!count(5, 7) || !n(1, a) || !n(2, b) || !n(3, c) || !n(4, d) || !n(5, e)) return false;
    if (tok.size() == 8 && (!n(6, f) || !n(7, g))) return false;
    if (tok.size() == 7) return why = "bitmap units come in pairs", false;
    if (d > 0xFFFF || c > 0xFFFF) return why = "bits and palette size are 16-bit", false;
    x.records.push_back({KVXRANGE_BMHEADERS, words({a, b, f, g})});
    x.items.push_back({{KVXITEM_BMHEADER, st.cursor[KVXRANGE_BMHEADERS], c | d << 16, e}});
    return true;
  }
  if (op == "palette") {
    uint32_t count_colours;
    if (tok.size() < 2) return why = "palette takes colours", false;
    if (!colour_record(1, count_colours)) return false;
    x.items.push_back({{KVXITEM_BMPALETTE, st.cursor[KVXRANGE_PALETTES], count_colours, 0}});
    return true;
  }
  if (op == "transparency") {
    uint32_t count_colours = 0;
    if (tok.size() < 2 || !n(1, a)) return false;
    if (!colour_record(2, count_colours)) return false;
    x.items.push_back({{KVXITEM_BMTRANSPARENCY, a, count_colours ? st.cursor[KVXRANGE_PALETTES] : 0, count_colours}});
    return true;
  }
  if (op == "band") {
    std::vector<uint8_t> bytes;
    if (!count(3, 3) || !n(1, a) || !n(2, b)) return false;
    if (!hex_bytes(tok[3], bytes)) return why = "band bytes must be hex pairs", false;
    while (bytes.size() % 16 != 0) bytes.push_back(0);
    if (!bytes.empty()) x.records.push_back({KVXRANGE_PIXELS, bytes});
    x.items.push_back({{KVXITEM_BMBAND, st.cursor[KVXRANGE_PIXELS], a, b}});
    return true;
  }
  if (op == "endbitmap") {
    if (!count(0, 0)) return false;
    x.items.push_back({{KVXITEM_BREAK, 0, 0, 0}});
    return true;
  }
  if (op == "drawing") {
    uint32_t e = 0, f = 0, g = 0, h = 0;
    if (!count(6, 8) || !n(1, a) || !n(2, b) || !n(3, c) || !n(4, d) || !n(5, e) || !n(6, f)) return false;
    if (tok.size() == 9 && (!n(7, g) || !n(8, h))) return false;
    if (tok.size() == 8) return why = "drawing flags and mode come in a pair", false;
    x.records.push_back({KVXRANGE_DRAWINGS, words({a, b, c, d, e, f, 0, 0})});
    x.items.push_back({{KVXITEM_DRAWFRAME, st.cursor[KVXRANGE_DRAWINGS], g, h}});
    return true;
  }
  if (op == "rect" || op == "gradient") {
    uint32_t c1, c2 = 0, dir = 0;
    bool rect = op == "rect";
    if (!count(rect ? 5 : 7, rect ? 5 : 7) || !n(1, a) || !n(2, b) || !n(3, c) || !n(4, d) || !colour(5, c1)) return false;
    if (!rect && (!colour(6, c2) || !n(7, dir))) return false;
    if (rect && (a > 0x7FFF || b > 0x7FFF || c > 0x7FFF || d > 0x7FFF)) return why = "rect corners above 32767", false;
    x.records.push_back({KVXRANGE_DRAWINGS, rect ? words({KVXDRAWOP_RECT, c1, a | b << 16, c | d << 16})
                                                 : words({KVXDRAWOP_GRADIENT, c1, c2, dir, a, b, c, d})});
    return true;
  }
  if (op == "enddrawing") {
    if (!count(0, 0)) return false;
    x.records.push_back({KVXRANGE_DRAWINGS, words({KVXDRAWOP_END, 0, 0, 0})});
    return true;
  }
  if (op == "item") {
    if (!count(4, 5) || !n(1, a) || !n(2, b) || !n(3, c) || !n(4, d)) return false;
    if (a == KVXITEM_GROUPOPEN || a == KVXITEM_GROUPCLOSE) return why = "groups are opened with group and closed with end", false;
    if (tok.size() == 6) {
      std::vector<uint8_t> bytes;
      if (!hex_bytes(tok[5], bytes)) return why = "item bytes must be hex pairs", false;
      x.records.push_back({KVXRANGE_RECORDS, bytes});
    }
    x.items.push_back({{a, b, c, d}});
    return true;
  }
  if (op == "record") {
    std::vector<uint8_t> bytes;
    if (!count(2, 2) || !n(1, a)) return false;
    if (!hex_bytes(tok[2], bytes)) return why = "record bytes must be hex pairs", false;
    x.records.push_back({a, bytes});
    return true;
  }
  why = "unknown line " + op;
  return false;
}

// Moves the table and sheet state past an expansion (after it was applied).
void advance(State& st, const Expansion& x, const std::string& op) {
  if (x.section) {
    st = State{st.section_type, 0, 0, 0, 0, 0, 0, 0, {}, st.cursor, st.next_item_id};
    st.section_type = x.section_type;
  }
  if (op == "table") st.row = st.col = st.row_first_cell = st.cells = 0;
  if (op == "cell" && !x.items.empty() && x.items[0].w[0] == kCellStart) {
    st.col += x.items[0].w[3] & 0xFFFF;
    ++st.cells;
  }
  if (op == "cell" && !x.items.empty() && (x.items[0].w[0] == kSheetCell || x.items[0].w[0] == kNumberCell))
    ++st.sheet_cell;
  if (op == "endrow") {
    ++st.row;
    st.col = 0;
    st.row_first_cell = st.cells;
  }
  if (op == "columns") st.sheet_columns = x.items[0].w[1];
  if (op == "cells") st.range_cells += x.records[0].second.size() >= 12 ? uint32_t(x.records[0].second[8]) |
                                                                            uint32_t(x.records[0].second[9]) << 8 |
                                                                            uint32_t(x.records[0].second[10]) << 16 |
                                                                            uint32_t(x.records[0].second[11]) << 24
                                                                      : 0;
  if (x.group > 0) st.groups.push_back(x.items[0].w[1]);
  if (x.group < 0) st.groups.pop_back();
}

bool apply(ChunkBuilder& builder, State& st, const Expansion& x, std::string& why) {
  auto add_records = [&](const auto& list) {
    for (const auto& [range, bytes] : list) {
      uint32_t first = 0;
      if (!builder.append(range, bytes, &first)) return why = builder.error(), false;
      st.cursor[range] = first + uint32_t(bytes.size() / range_unit_size(range));
    }
    return true;
  };
  if (!add_records(x.records)) return false;
  if (x.section) {
    if (!builder.section(x.section_type, x.section_name, x.date_base, x.date_flags)) return why = builder.error(), false;
    st.cursor[KVXRANGE_NAMES] += uint32_t(x.section_name.size());
  }
  if (x.text) {
    if (!builder.text(x.text_set, x.text_units)) return why = builder.error(), false;
    st.cursor[KVXRANGE_TEXT] += uint32_t(x.text_units.size());
  }
  for (size_t i = 0; i < x.items.size(); ++i) {
    const Item& it = x.items[i];
    bool ok = (i == 0 && x.group > 0) ? builder.group_open(it.w[1], it.w[2], it.w[3])
              : (i == 0 && x.group < 0) ? builder.group_close()
                                        : builder.item(it.w[0], it.w[1], it.w[2], it.w[3]);
    if (!ok) return why = builder.error(), false;
  }
  if (!add_records(x.after)) return false;
  return true;
}

}  // namespace

bool is_chunk_script(const std::string& head) {
  std::string magic = kChunkScriptMagic;
  return head.compare(0, magic.size(), magic) == 0 &&
         (head.size() == magic.size() || head[magic.size()] == '\n' || head[magic.size()] == '\r');
}

KVXSTATUS read_chunk_script(const std::string& text, std::unique_ptr<ChunkModel>& model, std::string* error) {
  model.reset();
  ChunkBuilder builder;
  State st;
  std::istringstream in(text);
  std::string line;
  size_t number_of_line = 0;
  uint32_t chunk = 0, in_chunk = 0;
  bool started = false;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(number_of_line) + ": " + why;
    return KVXERR_BADFORMAT;
  };
  while (std::getline(in, line)) {
    ++number_of_line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number_of_line == 1) {
      if (line != kChunkScriptMagic) return fail("not a chunk script");
      continue;
    }
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::vector<Token> tok;
    std::string why;
    if (!split_line(line, tok, why)) return fail(why);
    if (tok[0].quoted) return fail("a line starts with its name");
    // The id the next item gets (a new chunk at each section and every 65,536 items).
    st.next_item_id = in_chunk == 0x10000 ? (chunk + 1) << 16 : (chunk << 16 | in_chunk);
    Expansion x;
    if (!expand(tok, st, x, why)) return fail(why);
    if (x.section) {
      chunk = started ? chunk + 1 : 0;
      in_chunk = 0;
      started = true;
    }
    if (!apply(builder, st, x, why)) return fail(why);
    size_t n_items = x.items.size() + (x.text ? 1 : 0);
    for (size_t i = 0; i < n_items; ++i) {
      if (in_chunk == 0x10000) {
        ++chunk;
        in_chunk = 0;
      }
      ++in_chunk;
    }
    advance(st, x, tok[0].text);
  }
  if (number_of_line == 0) return fail("empty file");
  model = builder.finish();
  if (!model) return fail(builder.error());
  return KVX_OK;
}

namespace {

std::string num(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, v < 0x10000 ? "%u" : "0x%X", unsigned(v));
  return b;
}

std::string hex(const uint8_t* p, size_t n) {
  static const char* const digits = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

void put_utf8(std::string& out, uint32_t cp) {
  std::vector<uint16_t> u;
  if (cp > 0xFFFF) {
    u = {uint16_t(0xD800 + ((cp - 0x10000) >> 10)), uint16_t(0xDC00 + ((cp - 0x10000) & 0x3FF))};
  } else {
    u = {uint16_t(cp)};
  }
  std::string s;
  units_to_utf8(KVXCS_UNICODE, u, s);
  out += s;
}

// A quoted text of units in a set: characters that come back as the same unit are written
// as UTF-8, every other unit as \u{hhhh}.
std::string quote(uint32_t set, const uint16_t* units, size_t n) {
  std::string out = "\"";
  bool unicode = resolve_charset(set) == KVXCS_UNICODE;
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = 0;
    uint16_t back = 0;
    bool ok;
    if (unicode && units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + (uint32_t(units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      put_utf8(out, cp);
      ++i;
      continue;
    }
    ok = unit_to_unicode(set, units[i], cp) && unicode_to_unit(set, cp, back) && back == units[i] && cp >= 0x20 &&
         cp != 0x7F && !(cp >= 0x80 && cp < 0xA0);
    if (ok && (cp == '"' || cp == '\\')) {
      out += '\\';
      out += char(cp);
    } else if (ok) {
      put_utf8(out, cp);
    } else {
      char b[16];
      std::snprintf(b, sizeof b, "\\u{%04X}", unsigned(units[i]));
      out += b;
    }
  }
  return out + "\"";
}

class Writer {
 public:
  Writer(const ChunkModel& m, std::string& out) : m_(m), out_(out) {}

  bool run(std::string& why) {
    out_ = std::string(kChunkScriptMagic) + "\n";
    const auto& sections = m_.sections();
    size_t s = 0;
    uint32_t count = m_.unit_count(0);
    for (uint32_t i = 0; i <= count; ++i) {
      while (s < sections.size() && sections[s].first_index == i) {
        if (!section(s++, why)) return false;
      }
      if (i == count) break;
      st_.next_item_id = m_.id_at(0, i);
      cells_entry();
      if (!item(i, why)) return false;
    }
    for (uint32_t r = 2; r < KVXRANGE_COUNT; ++r) gap(r, m_.unit_count(r));
    return true;
  }

 private:
  const uint8_t* unit(uint32_t range, uint32_t index) const {
    return m_.bytes(range).data() + size_t(index) * range_unit_size(range);
  }

  // Writes the units of a range from its cursor up to index as record lines.
  void gap(uint32_t range, uint32_t index) {
    if (range == KVXRANGE_GROUPS || index <= st_.cursor[range]) return;
    uint32_t size = range_unit_size(range);
    uint32_t per_line = std::max<uint32_t>(1, 32 / size);
    for (uint32_t u = st_.cursor[range]; u < index; u += per_line) {
      uint32_t n = std::min(per_line, index - u);
      out_ += "record " + num(range) + " " + hex(unit(range, u), size_t(n) * size) + "\n";
    }
    st_.cursor[range] = index;
  }

  // True when the expansion's records lie in the model at the range cursors.
  bool records_match(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& list,
                     std::array<uint32_t, KVXRANGE_COUNT>& cursor) const {
    for (const auto& [range, bytes] : list) {
      if (range >= KVXRANGE_COUNT) return false;
      size_t at = size_t(cursor[range]) * range_unit_size(range);
      const std::vector<uint8_t>& b = m_.bytes(range);
      if (at + bytes.size() > b.size() || std::memcmp(b.data() + at, bytes.data(), bytes.size()) != 0) return false;
      cursor[range] += uint32_t(bytes.size() / range_unit_size(range));
    }
    return true;
  }

  // Tries a line: expands it and keeps it when it yields exactly the model's items from
  // index i (and its records at the cursors).
  bool try_line(const std::string& line, uint32_t i, uint32_t& used) {
    std::vector<Token> tok;
    std::string why;
    Expansion x;
    State probe = st_;
    if (!split_line(line, tok, why) || !expand(tok, probe, x, why)) return false;
    std::array<uint32_t, KVXRANGE_COUNT> cursor = st_.cursor;
    if (!records_match(x.records, cursor)) return false;
    std::vector<Item> items = x.items;
    if (x.text) {
      if (cursor[KVXRANGE_TEXT] + x.text_units.size() > m_.unit_count(KVXRANGE_TEXT)) return false;
      for (size_t k = 0; k < x.text_units.size(); ++k) {
        uint16_t u = uint16_t(unit(KVXRANGE_TEXT, cursor[KVXRANGE_TEXT] + uint32_t(k))[0] |
                              unit(KVXRANGE_TEXT, cursor[KVXRANGE_TEXT] + uint32_t(k))[1] << 8);
        if (u != x.text_units[k]) return false;
      }
      items.insert(items.begin(), Item{{KVXITEM_TEXT, x.text_set, cursor[KVXRANGE_TEXT], uint32_t(x.text_units.size())}});
      cursor[KVXRANGE_TEXT] += uint32_t(x.text_units.size());
    }
    for (size_t k = 0; k < items.size(); ++k) {
      if (i + k >= m_.unit_count(0)) return false;
      for (uint32_t w = 0; w < 4; ++w)
        if (m_.word(0, i + uint32_t(k), w) != items[k].w[w]) return false;
    }
    if (!records_match(x.after, cursor)) return false;
    if (x.group > 0 && (items[0].w[1] == KVXGROUP_STYLE || items[0].w[1] == KVXGROUP_PICTURE)) ++cursor[KVXRANGE_GROUPS];
    out_ += line + "\n";
    st_.cursor = cursor;
    advance(st_, x, tok[0].text);
    st_.cursor = cursor;
    used = uint32_t(items.size());
    return true;
  }

  bool section(size_t s, std::string& why) {
    uint32_t type = m_.word(KVXRANGE_SECTIONS, uint32_t(s), 0);
    uint32_t name_unit = m_.word(KVXRANGE_SECTIONS, uint32_t(s), 1);
    uint32_t name_len = m_.word(KVXRANGE_SECTIONS, uint32_t(s), 2);
    std::string line = "section ";
    line += type < 9 && kSectionWords[type][0] ? std::string(kSectionWords[type]) : num(type);
    if (name_len > 0) {
      if (name_unit < st_.cursor[KVXRANGE_NAMES] || name_unit + uint64_t(name_len) > m_.unit_count(KVXRANGE_NAMES))
        return why = "a section name out of order", false;
      gap(KVXRANGE_NAMES, name_unit);
      std::vector<uint16_t> name(name_len);
      for (uint32_t k = 0; k < name_len; ++k)
        name[k] = uint16_t(unit(KVXRANGE_NAMES, name_unit + k)[0] | unit(KVXRANGE_NAMES, name_unit + k)[1] << 8);
      line += " " + quote(KVXCS_UNICODE, name.data(), name.size());
    }
    uint32_t date_base = m_.word(KVXRANGE_SECTIONS, uint32_t(s), 4), date_flags = m_.word(KVXRANGE_SECTIONS, uint32_t(s), 5);
    if (date_base != 0 || date_flags != 0) line += " date " + num(date_base) + " " + num(date_flags);
    std::vector<Token> tok;
    Expansion x;
    if (!split_line(line, tok, why) || !expand(tok, st_, x, why)) return false;
    out_ += line + "\n";
    st_.cursor[KVXRANGE_NAMES] += name_len;
    ++st_.cursor[KVXRANGE_SECTIONS];
    advance(st_, x, "section");
    return true;
  }

  // A range-15 entry that starts at the next item becomes a "cells" line.
  void cells_entry() {
    uint32_t c = st_.cursor[KVXRANGE_CELLRANGES];
    if (c >= m_.unit_count(KVXRANGE_CELLRANGES)) return;
    if (m_.word(KVXRANGE_CELLRANGES, c, 0) != st_.next_item_id) return;
    uint32_t dummy = 0;
    try_line("cells " + num(m_.word(KVXRANGE_CELLRANGES, c, 2)), 0, dummy);
  }

  bool item(uint32_t& i, std::string& why) {
    uint32_t k = m_.word(0, i, 0), a = m_.word(0, i, 1), b = m_.word(0, i, 2), c = m_.word(0, i, 3);
    std::vector<std::string> lines;
    switch (k) {
      case KVXITEM_TEXT:
        if (b >= st_.cursor[KVXRANGE_TEXT] && uint64_t(b) + c <= m_.unit_count(KVXRANGE_TEXT)) {
          gap(KVXRANGE_TEXT, b);
          std::vector<uint16_t> u(c);
          for (uint32_t n = 0; n < c; ++n) u[n] = uint16_t(unit(KVXRANGE_TEXT, b + n)[0] | unit(KVXRANGE_TEXT, b + n)[1] << 8);
          std::string set = charset_name(a).empty() ? num(a) : charset_name(a);
          lines.push_back("text " + set + " " + quote(a, u.data(), u.size()));
        }
        break;
      case KVXITEM_BREAK:
        if (b == 0 && c == 0) {
          if (a == KVXBREAK_PARAGRAPH) lines.push_back("para");
          if (a == KVXBREAK_CELL) lines.push_back("endcell");
          if (a == KVXBREAK_ROW) lines.push_back("endrow");
          lines.push_back("break " + num(a));
        }
        break;
      case KVXITEM_GROUPOPEN:
        if (a == KVXGROUP_BOOKMARK && b >= st_.cursor[KVXRANGE_NAMES] && uint64_t(b) + c <= m_.unit_count(KVXRANGE_NAMES)) {
          std::vector<uint16_t> u(c);
          for (uint32_t n = 0; n < c; ++n) u[n] = uint16_t(unit(KVXRANGE_NAMES, b + n)[0] | unit(KVXRANGE_NAMES, b + n)[1] << 8);
          uint32_t saved = st_.cursor[KVXRANGE_NAMES];
          st_.cursor[KVXRANGE_NAMES] = b;
          uint32_t used = 0;
          std::string line = "bookmark " + quote(KVXCS_UNICODE, u.data(), u.size());
          st_.cursor[KVXRANGE_NAMES] = saved;
          // The gap goes out only when the line will be kept.
          State keep = st_;
          std::string out_keep = out_;
          gap(KVXRANGE_NAMES, b);
          if (try_line(line, i, used)) {
            i += used - 1;
            return true;
          }
          st_ = keep;
          out_ = out_keep;
        }
        lines.push_back("group " + num(a) + " " + num(b) + (c ? " " + num(c) : std::string()));
        break;
      case KVXITEM_GROUPCLOSE:
        lines.push_back("end");
        break;
      case KVXITEM_FOOTNOTE:
        if (a == 1 && b == 0 && c == 0) lines.push_back("footnote");
        break;
      case KVXITEM_FIELD:
        if (b == 0 && c == 0) lines.push_back("field " + num(a));
        break;
      case KVXITEM_STRING:
        if (b == 0 && c == 0) lines.push_back("string " + num(a));
        break;
      case kSheetColumns:
        if (b == 0 && c == 0) lines.push_back("columns " + num(a));
        break;
      case KVXITEM_TABLESTART:
        if (c == 0) lines.push_back("table " + num(a) + " " + num(b));
        break;
      case KVXITEM_TABLEEND:
        lines.push_back("endtable");
        break;
      case kCellStart:
        lines.push_back((c & 0xFFFF) == 1 && (c >> 16) == 1 ? "cell" : "cell " + num(c & 0xFFFF) + " " + num(c >> 16));
        break;
      case kSheetCell:
        lines.push_back("cell");
        break;
      case kNumberCell:
        lines.push_back("cell " + num(c));
        break;
      case KVXITEM_DATAVALUE:
        if (a < m_.unit_count(KVXRANGE_VALUES) && a >= st_.cursor[KVXRANGE_VALUES] && m_.word(KVXRANGE_VALUES, a, 0) == 1) {
          uint64_t bits = uint64_t(m_.word(KVXRANGE_VALUES, a, 2)) | uint64_t(m_.word(KVXRANGE_VALUES, a, 3)) << 32;
          double v;
          std::memcpy(&v, &bits, 8);
          if (std::isfinite(v)) {
            gap(KVXRANGE_VALUES, a);
            lines.push_back("value " + shortest_number(v));
          }
        }
        break;
      case KVXITEM_GRAPHIC:
        if (a < m_.unit_count(KVXRANGE_OBJECTS) && a >= st_.cursor[KVXRANGE_OBJECTS]) {
          uint32_t first = m_.word(KVXRANGE_OBJECTS, a, 1), len = m_.word(KVXRANGE_OBJECTS, a, 12);
          if (first >= st_.cursor[KVXRANGE_RECORDS] && uint64_t(first) + len <= m_.unit_count(KVXRANGE_RECORDS)) {
            gap(KVXRANGE_OBJECTS, a);
            gap(KVXRANGE_RECORDS, first);
            lines.push_back("object " + num(m_.word(KVXRANGE_OBJECTS, a, 0)) + " " + hex(unit(KVXRANGE_RECORDS, first), len));
          }
        }
        break;
      default:
        break;
    }
    if (k != KVXITEM_GROUPOPEN && k != KVXITEM_GROUPCLOSE) lines.push_back("item " + num(k) + " " + num(a) + " " + num(b) + " " + num(c));
    for (const std::string& line : lines) {
      uint32_t used = 0;
      if (try_line(line, i, used)) {
        i += used - 1;
        return true;
      }
    }
    return why = "item " + num(m_.id_at(0, i)) + " cannot be written", false;
  }

  const ChunkModel& m_;
  std::string& out_;
  State st_;
};

}  // namespace

bool write_chunk_script(const ChunkModel& model, std::string& out, std::string* error) {
  std::string why;
  Writer w(model, out);
  if (!w.run(why)) {
    if (error) *error = why;
    return false;
  }
  return true;
}

namespace {

// A text run {KVXITEM_TEXT, charset, first unit, count} in UTF-8 at the end of out.
void append_run(const ChunkModel& m, uint32_t charset, uint32_t first, uint32_t count, std::string& out) {
  const std::vector<uint8_t>& text = m.bytes(KVXRANGE_TEXT);
  std::vector<uint16_t> units;
  for (uint32_t k = 0; k < count && first + k < m.unit_count(KVXRANGE_TEXT); ++k)
    units.push_back(uint16_t(text[size_t(first + k) * 2] | text[size_t(first + k) * 2 + 1] << 8));
  // Surrogate pairs of Unicode runs go together; any other unit on its own.
  for (size_t k = 0; k < units.size(); ++k) {
    std::vector<uint16_t> one{units[k]};
    if (resolve_charset(charset) == KVXCS_UNICODE && units[k] >= 0xD800 && units[k] <= 0xDBFF && k + 1 < units.size())
      one.push_back(units[++k]);
    std::string utf8;
    out += units_to_utf8(charset, one, utf8) ? utf8 : "?";
  }
}

}  // namespace

std::string model_property(const ChunkModel& m, uint32_t number) {
  std::string out;
  uint32_t depth = 0;  // groups open inside the property's group, itself counted
  for (uint32_t i = 0; i < m.unit_count(KVXRANGE_ITEMS); ++i) {
    uint32_t kind = m.word(0, i, 0), a = m.word(0, i, 1), b = m.word(0, i, 2), c = m.word(0, i, 3);
    if (depth == 0) {
      if (kind == KVXITEM_GROUPOPEN && a == kPropertyGroup && b == number) depth = 1;
      continue;
    }
    if (kind == KVXITEM_GROUPOPEN) ++depth;
    else if (kind == KVXITEM_GROUPCLOSE && --depth == 0) break;
    else if (kind == KVXITEM_TEXT) append_run(m, a, b, c, out);
  }
  return out;
}

std::string model_text(const ChunkModel& m, bool page_parts) {
  std::string out;
  uint32_t in_property = 0;  // open property, format and style groups: no running text
  uint32_t in_part = 0;      // groups open since a page part's group opened (left out)
  uint64_t sheet_columns = 0, sheet_row = 0;  // of the sheet's size item, and the row reached
  SheetValueText values(m);                   // numeric cells' values as text
  for (uint32_t i = 0; i < m.unit_count(KVXRANGE_ITEMS); ++i) {
    uint32_t kind = m.word(0, i, 0), a = m.word(0, i, 1), b = m.word(0, i, 2), c = m.word(0, i, 3);
    if (!page_parts && (in_part > 0 || (kind == KVXITEM_GROUPOPEN && a == kPagePartGroup))) {
      if (kind == KVXITEM_GROUPOPEN) ++in_part;
      else if (kind == KVXITEM_GROUPCLOSE) --in_part;
      continue;
    }
    values.item(i, kind, a, b, c, out);
    if ((kind == KVXITEM_GROUPOPEN || kind == KVXITEM_GROUPCLOSE) && (a == kPropertyGroup || a == kFormatGroup || a == KVXGROUP_STYLE)) {
      if (kind == KVXITEM_GROUPOPEN) ++in_property;
      else if (in_property > 0) --in_property;
      continue;
    }
    if (in_property > 0) continue;
    if (kind == KVXITEM_GROUPOPEN && a == kNoteGroup) out += " ";  // a note's text apart from the word before
    // Sheet cells {0x46..0x4A, column, row} and runs of empty cells {0x57, count << 16,
    // column, row}: a tab between cells, a line end where a later row starts.
    if (kind == kSheetSize) sheet_columns = b;
    if ((kind >= kSheetCell && kind <= 0x4A) || kind == kEmptyRun) {
      uint32_t column = kind == kEmptyRun ? b : a, row = kind == kEmptyRun ? c : b;
      if (column > 0 || row > 0) out += row != sheet_row ? "\n" : "\t";
      sheet_row = row;
      if (kind == kEmptyRun && sheet_columns > 0 && (a >> 16) > 0)
        sheet_row = (uint64_t(row) * sheet_columns + column + (a >> 16) - 1) / sheet_columns;
    }
    if (kind == KVXITEM_TEXT) {
      append_run(m, a, b, c, out);
    } else if (kind == KVXITEM_BREAK &&
               (a == KVXBREAK_PARAGRAPH || a == KVXBREAK_ROW || a == KVXBREAK_LINE || a == KVXBREAK_PAGE)) {
      out += "\n";
    } else if (kind == KVXITEM_BREAK && a == KVXBREAK_CELL) {
      out += "\t";
    }
  }
  return out;
}

}  // namespace kvx
