// Sheets as ss sections and Excel format codes as format items (see sheet_writer.h).
#include "filters/framework/readers/sheet_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>

#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {

constexpr uint32_t kFormatGroup = 0xA0100000u;
constexpr uint32_t kSectionGroup = 0x20130000u;
constexpr uint32_t kElementItem = 24, kColourItem = 60, kConditionItem = 128;
constexpr uint32_t kDimensionsItem = 84, kColumnsItem = 75, kTextCell = 0x46, kNumberCell = 0x48, kRunItem = 0x57;
constexpr uint64_t kMaxRun = 0xFFFF;  // cells of one run item
constexpr size_t kMaxElements = 255;

bool ieq(std::string_view s, size_t at, std::string_view word) {
  if (at + word.size() > s.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(s[at + k])) != word[k]) return false;
  return true;
}

void literal(FormatSection& sec, std::string_view utf8) {
  std::vector<uint16_t> units;
  if (!decode_utf8(utf8, units)) units = decode(utf8, SourceEncoding::Utf8);
  for (uint16_t u : units) sec.elements.push_back(u);
}

uint32_t colour_of(std::string lower) {
  static const std::pair<const char*, uint32_t> kColours[] = {
      {"black", 0x000000}, {"red", 0x0000FF}, {"green", 0x00FF00}, {"blue", 0xFF0000},
      {"yellow", 0x00FFFF}, {"magenta", 0xFF00FF}, {"cyan", 0xFFFF00}, {"white", 0xFFFFFF}};
  for (auto [name, c] : kColours)
    if (lower == name) return c;
  return 0xFFFFFFFFu;
}

// One section of a format code. Month and minute share "m": it is a minute right after
// an hour or right before a second.
FormatSection compile_section(std::string_view s) {
  FormatSection sec;
  bool has_hour = false, has_ampm = false, seen_digit = false, after_point = false;
  std::vector<size_t> m_at;  // element indexes of "m" and "mm" to settle
  for (size_t i = 0; i < s.size() && sec.elements.size() < kMaxElements;) {
    char c = s[i];
    char lc = char(std::tolower(static_cast<unsigned char>(c)));
    if (c == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string_view::npos) end = s.size();
      literal(sec, s.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == '\\' && i + 1 < s.size()) {
      size_t len = 1;
      while (i + 1 + len < s.size() && (uint8_t(s[i + 1 + len]) & 0xC0) == 0x80) ++len;
      literal(sec, s.substr(i + 1, len));
      i += 1 + len;
    } else if (c == '_' && i + 1 < s.size()) {
      sec.elements.push_back(' ');
      i += 2;
    } else if (c == '*' && i + 1 < s.size()) {
      i += 2;  // fill characters take no room in a cell of text
    } else if (c == '[') {
      size_t end = s.find(']', i);
      if (end == std::string_view::npos) end = s.size();
      std::string inner(s.substr(i + 1, end - i - 1));
      std::string lower = inner;
      for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
      if (uint32_t col = colour_of(lower); col != 0xFFFFFFFFu) {
        sec.colour = col;
      } else if (!inner.empty() && inner[0] == '$') {
        size_t dash = inner.find('-');
        literal(sec, inner.substr(1, dash == std::string::npos ? std::string::npos : dash - 1));
      } else if (!inner.empty() && (inner[0] == '<' || inner[0] == '>' || inner[0] == '=')) {
        size_t k = 1;
        bool eq = k < inner.size() && inner[k] == '=';
        bool ne = inner[0] == '<' && k < inner.size() && inner[k] == '>';
        if (eq || ne) ++k;
        sec.test = inner[0] == '=' ? 3 : ne ? 6 : inner[0] == '<' ? (eq ? 4 : 1) : (eq ? 5 : 2);
        sec.constant = std::atof(inner.c_str() + k);
      } else if (lower == "h" || lower == "hh") {
        sec.elements.push_back(kElement | (lower == "hh" ? kFmtHour2 : kFmtHour));
        has_hour = true;
      } else if (lower == "m" || lower == "mm") {
        sec.elements.push_back(kElement | (lower == "mm" ? kFmtMinute2 : kFmtMinute));
      } else if (lower == "s" || lower == "ss") {
        sec.elements.push_back(kElement | kFmtSecond);
      }
      i = end + 1;
    } else if (ieq(s, i, "general")) {
      sec.elements.push_back(kElement | kFmtGeneral);
      i += 7;
    } else if (ieq(s, i, "am/pm") || ieq(s, i, "a/p")) {
      sec.elements.push_back(kElement | kFmtAmPm);
      has_ampm = true;
      i += ieq(s, i, "am/pm") ? 5 : 3;
    } else if (c == '0' || c == '#' || c == '?') {
      sec.elements.push_back(kElement | (c == '0' ? kFmtZero : c == '#' ? kFmtDigit : kFmtBlank));
      seen_digit = true;
      ++i;
    } else if (c == '.') {
      sec.elements.push_back(kElement | kFmtPoint);
      after_point = true;
      ++i;
    } else if (c == ',') {
      // Grouping between digit placeholders; trailing commas scale, which is not shown;
      // anywhere else a comma is text.
      bool digit_after = i + 1 < s.size() && (s[i + 1] == '0' || s[i + 1] == '#' || s[i + 1] == '?');
      bool digit_before = i > 0 && (s[i - 1] == '0' || s[i - 1] == '#' || s[i - 1] == '?' || s[i - 1] == ',');
      if (seen_digit && digit_after && !after_point) sec.elements.push_back(kElement | kFmtThousands);
      else if (!digit_before) sec.elements.push_back(',');
      ++i;
    } else if (c == '%') {
      sec.elements.push_back(kElement | kFmtPercent);
      ++i;
    } else if (c == '@') {
      sec.elements.push_back(kElement | kFmtNumber);
      ++i;
    } else if ((lc == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
      sec.elements.push_back(kElement | kFmtExponent);
      i += 2;
    } else if (lc == 'y' || lc == 'd' || lc == 'h' || lc == 's' || lc == 'm') {
      size_t n = 1;
      while (i + n < s.size() && std::tolower(static_cast<unsigned char>(s[i + n])) == lc) ++n;
      uint32_t code = 0;
      if (lc == 'y') code = n > 2 ? kFmtYear4 : kFmtYear2;
      if (lc == 'd') code = n >= 4 ? kFmtWeekday : n == 3 ? kFmtWeekday2 : n == 2 ? kFmtDay2 : kFmtDay;
      if (lc == 'h') code = n >= 2 ? kFmtHour2 : kFmtHour, has_hour = true;
      if (lc == 's') code = kFmtSecond;
      if (lc == 'm') {
        code = n >= 4 ? kFmtMonthName : n == 3 ? kFmtMonthName2 : n == 2 ? kFmtMonth2 : kFmtMonth;
        if (n <= 2) m_at.push_back(sec.elements.size());
      }
      sec.elements.push_back(kElement | code);
      i += n;
    } else {
      size_t len = 1;
      while (i + len < s.size() && (uint8_t(s[i + len]) & 0xC0) == 0x80) ++len;
      literal(sec, s.substr(i, len));
      i += len;
    }
  }
  // "m" after an hour (literals between) or before a second is a minute.
  for (size_t at : m_at) {
    auto code_at = [&](size_t k) { return sec.elements[k] & kElement ? sec.elements[k] & ~kElement : 0u; };
    bool minute = false;
    for (size_t k = at; k-- > 0;) {
      uint32_t code = code_at(k);
      if (code == 0) continue;
      minute = code == kFmtHour || code == kFmtHour2;
      break;
    }
    for (size_t k = at + 1; k < sec.elements.size() && !minute; ++k) {
      uint32_t code = code_at(k);
      if (code == 0) continue;
      minute = code == kFmtSecond;
      break;
    }
    if (minute) sec.elements[at] = kElement | (code_at(at) == kFmtMonth2 ? kFmtMinute2 : kFmtMinute);
  }
  if (has_hour && !has_ampm) sec.elements.insert(sec.elements.begin(), kElement | kFmt24Hour);
  return sec;
}

}  // namespace

bool NumberFormat::operator<(const NumberFormat& o) const {
  auto key = [](const FormatSection& s) { return std::tie(s.elements, s.colour, s.test, s.constant); };
  return std::lexicographical_compare(sections.begin(), sections.end(), o.sections.begin(), o.sections.end(),
                                      [&](const FormatSection& a, const FormatSection& b) { return key(a) < key(b); });
}

NumberFormat compile_excel_format(std::string_view code) {
  NumberFormat f;
  size_t start = 0;
  bool quoted = false;
  for (size_t i = 0; i <= code.size() && f.sections.size() < 4; ++i) {
    if (i < code.size() && code[i] == '"') quoted = !quoted;
    if (i < code.size() && code[i] == '\\' && !quoted) {
      ++i;
      continue;
    }
    if (i == code.size() || (code[i] == ';' && !quoted)) {
      f.sections.push_back(compile_section(code.substr(start, i - start)));
      start = i + 1;
    }
  }
  if (f.sections.empty() || (f.sections.size() == 1 && f.sections[0].elements.empty()))
    f.sections.assign(1, FormatSection{{kElement | kFmtGeneral}, 0xFFFFFFFFu, 0, 0});
  return f;
}

bool is_date_format(const NumberFormat& f) {
  if (f.sections.empty()) return false;
  for (uint32_t e : f.sections[0].elements)
    if ((e & kElement) && (e & ~kElement) >= 0x120 && (e & ~kElement) <= 0x135) return true;
  return false;
}

// ---- SheetWriter ----------------------------------------------------------------------

bool SheetWriter::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  return false;
}

void SheetWriter::begin(const std::vector<uint16_t>& name, uint32_t date_base, uint32_t date_flags) {
  name_ = name;
  date_base_ = date_base;
  date_flags_ = date_flags;
  formats_.clear();
  by_number_.clear();
  cells_.clear();
}

uint32_t SheetWriter::format(const NumberFormat& f) {
  if (f.sections.size() == 1 && f.sections[0].elements == std::vector<uint32_t>{kElement | kFmtGeneral} &&
      f.sections[0].colour == 0xFFFFFFFFu)
    return 0;
  auto [it, added] = formats_.try_emplace(f, uint32_t(by_number_.size() + 1));
  if (added) by_number_.push_back(&it->first);
  return it->second;
}

void SheetWriter::set(uint32_t row, uint32_t column, SheetCell cell) {
  if (!cell.number && cell.text.empty()) return;
  if (column >= kMaxColumns || row >= kMaxRows) return cut("cells beyond row 1048576 or column 16384 left out");
  if (cell.text.size() > kMaxCellUnits) {
    cell.text.resize(kMaxCellUnits);
    cut("cell texts cut at 32768 characters");
  }
  auto [it, added] = cells_.try_emplace({row, column});
  if (added && document_cells_ >= kMaxCells) {
    cells_.erase(it);
    return cut("cells past 4194304 left out");
  }
  if (text_units_ - it->second.text.size() + cell.text.size() > kMaxTextUnits) {
    if (added) cells_.erase(it);
    return cut("cell texts past 67108864 characters left out");
  }
  document_cells_ += added ? 1 : 0;
  text_units_ = text_units_ - it->second.text.size() + cell.text.size();
  it->second = std::move(cell);
}

DisplayFormat date_display(uint32_t type) {
  // Slots: month 1, day 2, year 3 (the locale reorders them), time 4; the time alone 1.
  constexpr uint32_t kMonthSlot = 1u << 3, kDaySlot = 2u << 6, kYearSlot = 3u << 9;
  constexpr uint32_t kLocaleDate = 0x4000, kYear4 = 0x8000, kDayNumber = 0x200000, kTime24Seconds = 0x40000;
  DisplayFormat d;
  uint32_t date = kMonthSlot | kDaySlot | kYearSlot, date_flags = kLocaleDate | kYear4 | kDayNumber;
  if (type == kDisplayDate) d = {kDisplayDate << 16 | date, date_flags};
  else if (type == kDisplayDateTime) d = {kDisplayDateTime << 16 | date | 4u << 12, date_flags | kTime24Seconds};
  else d = {kDisplayTime << 16 | 1u << 12, kTime24Seconds};
  return d;
}

bool SheetWriter::value(double v) {
  std::vector<uint8_t> rec;
  put_u32(rec, 1);
  put_u32(rec, 0);
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  put_u32(rec, uint32_t(bits));
  put_u32(rec, uint32_t(bits >> 32));
  uint32_t unit = 0;
  if (!b_.append(KVXRANGE_VALUES, rec, &unit)) return fail(b_.error());
  return b_.item(KVXITEM_DATAVALUE, unit, 0, 0) || fail(b_.error());
}

bool SheetWriter::write_format(uint32_t number, const NumberFormat& f) {
  if (!b_.group_open(kFormatGroup, number)) return fail(b_.error());
  for (size_t s = 0; s < f.sections.size(); ++s) {
    const FormatSection& sec = f.sections[s];
    if (!b_.group_open(kSectionGroup, uint32_t(s + 1))) return fail(b_.error());
    if (s == 0) {
      // Which section a value takes: explicit conditions, else negative and zero by place.
      for (size_t k = 1; k < f.sections.size() && k < 3; ++k) {
        uint32_t test = f.sections[k].test;
        double constant = f.sections[k].constant;
        if (test == 0 && f.sections[0].test == 0) test = k == 1 ? 1 : 3, constant = 0;
        if (test == 0) continue;
        if (!b_.item(kConditionItem, test | 0x10000, 0, uint32_t(k + 1)) || !value(constant))
          return fail(b_.error());
      }
    }
    if (sec.colour != 0xFFFFFFFFu && !b_.item(kColourItem, 0, sec.colour, 0)) return fail(b_.error());
    std::vector<uint16_t> pending;
    auto flush = [&]() {
      if (pending.empty()) return true;
      bool ok = b_.text(KVXCS_UNICODE, pending);
      pending.clear();
      return ok || fail(b_.error());
    };
    for (uint32_t e : sec.elements) {
      if (!(e & kElement)) {
        pending.push_back(uint16_t(e));
        continue;
      }
      if (!flush() || !b_.item(kElementItem, e & ~kElement, 0, 0)) return fail(b_.error());
    }
    if (!flush() || !b_.group_close()) return fail(b_.error());
  }
  return b_.group_close() || fail(b_.error());
}

bool SheetWriter::end() {
  uint32_t rows = 0, columns = 0;
  for (const auto& [at, cell] : cells_) {
    rows = std::max(rows, at.first + 1);
    columns = std::max(columns, at.second + 1);
  }
  // The grid's cell indexes are 32-bit: rows past that are dropped.
  if (columns > 0 && uint64_t(rows) * columns > 0xFFFFFFFFu) {
    rows = uint32_t(0xFFFFFFFFu / columns);
    cut("rows past a grid of 4294967295 cells left out");
  }
  // So are the rows from the first cell whose gap needs more runs than the document has
  // left: the sheet ends with the row of the cell before it.
  uint64_t runs_needed = 0, after = 0;
  uint32_t last_row = 0;
  for (const auto& [at, cell] : cells_) {
    if (at.first >= rows) break;
    const uint64_t index = uint64_t(at.first) * columns + at.second;
    if (index - after > kMaxEmptyCells) runs_needed += (index - after + kMaxRun - 1) / kMaxRun;
    if (run_items_ + runs_needed + 1 > kMaxRunItems) {
      rows = last_row + 1;
      cut("cells past 1048576 runs of empty cells left out");
      break;
    }
    last_row = at.first;
    after = index + 1;
  }
  ++sheets_;
  if (!b_.section(KVXSECTION_SS, name_, date_base_, date_flags_)) return fail(b_.error());
  for (size_t k = 0; k < by_number_.size(); ++k)
    if (!write_format(uint32_t(k + 1), *by_number_[k])) return false;
  if (columns == 0) return true;
  if (!b_.item(kDimensionsItem, rows, columns, 0) || !b_.item(kColumnsItem, columns, 0, 0)) return fail(b_.error());
  uint64_t next = 0;  // grid index of the next cell to write
  // The range entry starts at the grid's first item and covers the whole grid.
  auto item = [&](uint32_t kind, uint32_t a, uint32_t b, uint32_t c) {
    uint32_t id = 0;
    if (!b_.item(kind, a, b, c, &id)) return fail(b_.error());
    if (next != 0) return true;
    std::vector<uint8_t> entry;
    for (uint32_t w : {id, 0u, uint32_t(uint64_t(rows) * columns), 0u}) put_u32(entry, w);
    return b_.append(KVXRANGE_CELLRANGES, entry) || fail(b_.error());
  };
  // Empty cells up to grid index to: one by one, or in runs when there are many.
  auto empty_to = [&](uint64_t to) {
    bool runs = to - next > kMaxEmptyCells;
    while (next < to) {
      uint64_t n = runs ? std::min<uint64_t>(to - next, kMaxRun) : 1;
      run_items_ += runs ? 1 : 0;
      if (!item(runs ? kRunItem : kTextCell, runs ? uint32_t(n << 16) : uint32_t(next % columns),
                uint32_t(runs ? next % columns : next / columns), runs ? uint32_t(next / columns) : 0))
        return false;
      next += n;
    }
    return true;
  };
  for (const auto& [at, cell] : cells_) {
    if (at.first >= rows) break;
    const uint64_t index = uint64_t(at.first) * columns + at.second;
    if (!empty_to(index)) return false;
    bool formatted = cell.number && cell.format != 0;
    if (!item(formatted ? kNumberCell : kTextCell, at.second, at.first, formatted ? cell.format : 0)) return false;
    next = index + 1;
    if (cell.number) {
      if (!formatted && cell.display.word != 0 &&
          !b_.item(kDisplayFormatItem, cell.display.word, cell.display.flags, 0))
        return fail(b_.error());
      if (!value(cell.value)) return false;
    } else if (!b_.text(KVXCS_UNICODE, cell.text)) {
      return fail(b_.error());
    }
  }
  return empty_to(uint64_t(rows) * columns);
}

}  // namespace kvx::readers
