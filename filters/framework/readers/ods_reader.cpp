// The ODS reader: an OpenDocument spreadsheet through ZipPackage and libxml2. Each
// table:table is an ss section with the ODF date base (serial 0 = 30 December 1899, no
// leap-day flag); rows and cells with their repeat counts (repeats of empty rows and
// cells take no room; repeats of filled ones are capped); strings as text, booleans as
// TRUE and FALSE; float, percentage, currency, date and time values as data values (dates
// and times turned into serials) in the number format of their cell style's data style
// (a cell without a style takes its row's default cell style, else its column's),
// compiled from the number:*-style elements with their style:map conditions. A package
// whose manifest holds encryption data is refused with KVXERR_ENCRYPTED.
//
// Cost: repeats of empty rows and cells only move the position, so a sheet costs what its
// filled cells cost in the sheet writer (sheet_writer.h), wherever they stand. A filled
// row or cell gives at most kMaxRepeat copies, and all copies of a document together at
// most kCopiesPerByte per byte of content.xml; so the cells are at most the cell elements
// plus 64 per byte, and the time at most kMaxRepeat walks of each row. Copies past either
// limit, and filled cells past row 1,048,576 or column 16,384, are left out and the
// document is marked cut.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <map>
#include <string>

#include "filters/framework/readers/office_common.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/sheet_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

namespace {

constexpr uint32_t kMaxRepeat = 1024;    // copies of one filled cell or row
constexpr uint32_t kMaxRows = SheetWriter::kMaxRows;  // rows of a sheet, repeats counted
constexpr uint64_t kCopiesPerByte = 64;  // copies of filled cells per byte of content.xml

uint32_t repeat_of(const xmlNode* n, const char* name, uint32_t cap) {
  std::string v = xml_attr(n, name);
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return 1;
  return std::clamp<uint32_t>(uint32_t(std::stoul(v)), 1, cap);
}

int64_t julian_day(int64_t y, int64_t m, int64_t d) {
  int64_t a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// "2024-01-15" or "2024-01-15T10:30:00.5" as a serial of the ODF date base.
bool date_serial(const std::string& s, double& out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double sec = 0;
  int n = std::sscanf(s.c_str(), "%5d-%2d-%2dT%2d:%2d:%lf", &y, &mo, &d, &h, &mi, &sec);
  if (n < 3 || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
  out = double(julian_day(y, mo, d) - int64_t(kDateBaseOdf)) + (h * 3600 + mi * 60 + sec) / 86400.0;
  return std::isfinite(out);
}

// "PT10H30M05S" (days and fractions allowed) as a fraction of a day.
bool time_serial(const std::string& s, double& out) {
  if (!s.starts_with("PT") && !s.starts_with("-PT") && !s.starts_with("P")) return false;
  double total = 0, num = 0, frac = 0, scale = 0;
  bool in_time = false, have = false;
  for (size_t i = s[0] == '-' ? 2 : 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == 'T') in_time = true;
    else if (c >= '0' && c <= '9') {
      if (scale > 0) frac += (c - '0') * (scale /= 10);
      else num = num * 10 + (c - '0');
      have = true;
    } else if (c == '.') scale = 1;
    else {
      double v = num + frac;
      if (c == 'D') total += v * 86400;
      else if (c == 'H' && in_time) total += v * 3600;
      else if (c == 'M' && in_time) total += v * 60;
      else if (c == 'S' && in_time) total += v;
      else return false;
      num = frac = scale = 0;
    }
  }
  out = (s[0] == '-' ? -total : total) / 86400.0;
  return have && std::isfinite(out);
}

// The text of a cell's paragraphs, joined by line ends.
void cell_text(const xmlNode* n, std::string& out, int depth) {
  for (const xmlNode* c = n->children; c && depth < 64; c = c->next) {
    if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
      out += reinterpret_cast<const char*>(c->content);
    else if (xml_is(c, "s")) out.append(repeat_of(c, "c", 1000), ' ');
    else if (xml_is(c, "tab")) out += '\t';
    else if (xml_is(c, "line-break")) out += '\n';
    else if (xml_is(c, "p") || xml_is(c, "h")) {
      if (!out.empty()) out += '\n';
      cell_text(c, out, depth + 1);
    } else if (xml_is(c, "annotation") || xml_is(c, "note-citation")) {
    } else if (c->type == XML_ELEMENT_NODE) cell_text(c, out, depth + 1);
  }
}

class OdsReader : public OfficeReader<SheetWriter> {
 public:
  using OfficeReader::OfficeReader;

  KVXSTATUS run() {
    XmlDoc doc;
    size_t content_size = 0;
    if (const KVXSTATUS st = read_main_part(zip_, "content.xml", doc, &content_size); st != KVX_OK) return st;
    copies_left_ = kCopiesPerByte * content_size;
    XmlDoc styles_doc = read_xml_part(zip_, "styles.xml");
    if (styles_doc) load_styles(xmlDocGetRootElement(styles_doc.get()));
    load_styles(xmlDocGetRootElement(doc.get()));
    xmlNode* body = xml_child(xmlDocGetRootElement(doc.get()), "body");
    xmlNode* sheet = body ? xml_child(body, "spreadsheet") : nullptr;
    for (xmlNode* t = sheet ? sheet->children : nullptr; t; t = t->next) {
      if (!xml_is(t, "table")) continue;
      w_.begin(utf16(xml_attr(t, "name")), kDateBaseOdf, 0);
      column_styles_.clear();
      uint32_t column = 0;
      columns(t, column, 0);
      uint32_t row = 0;
      rows(t, row, 0);
      if (!w_.end()) break;
    }
    return w_.sheets() > 0 ? KVX_OK : KVXERR_BADFORMAT;
  }

 private:
  void load_styles(xmlNode* root) {
    for (xmlNode* group = root ? root->children : nullptr; group; group = group->next) {
      if (!xml_is(group, "styles") && !xml_is(group, "automatic-styles")) continue;
      for (xmlNode* s = group->children; s; s = s->next) {
        std::string name = xml_attr(s, "name");
        if (xml_is(s, "style")) {
          cell_styles_[name] = {xml_attr(s, "parent-style-name"), xml_attr(s, "data-style-name")};
        } else if (s->type == XML_ELEMENT_NODE &&
                   std::string_view(reinterpret_cast<const char*>(s->name)).ends_with("-style")) {
          number_styles_[name] = s;
        }
      }
    }
  }

  std::string data_style_of(const std::string& cell_style) const {
    std::string at = cell_style;
    for (int step = 0; step < 16 && !at.empty(); ++step) {
      auto it = cell_styles_.find(at);
      if (it == cell_styles_.end()) return {};
      if (!it->second.second.empty()) return it->second.second;
      at = it->second.first;
    }
    return {};
  }

  // One number style as a format section; its maps become further sections with their
  // conditions (one level deep).
  FormatSection section_of(const xmlNode* style) const {
    FormatSection sec;
    bool percent = xml_is(style, "percentage-style");
    bool has_hour = false, has_ampm = false;
    auto lit = [&](const std::string& utf8) {
      for (uint16_t u : utf16(utf8)) sec.elements.push_back(u);
    };
    auto el = [&](uint32_t code) { sec.elements.push_back(kElement | code); };
    for (const xmlNode* c = style->children; c && sec.elements.size() < 255; c = c->next) {
      bool long_style = xml_attr(c, "style") == "long";
      if (xml_is(c, "number") || xml_is(c, "scientific-number") || xml_is(c, "fraction")) {
        uint32_t places = repeat_of(c, "decimal-places", 15);
        if (xml_attr(c, "decimal-places").empty() || xml_attr(c, "decimal-places") == "0") places = 0;
        std::string minp = xml_attr(c, "min-decimal-places");
        uint32_t min_places = minp.empty() ? places : std::min(places, uint32_t(std::atoi(minp.c_str())));
        std::string mind = xml_attr(c, "min-integer-digits");
        uint32_t digits = mind.empty() ? 0 : std::min(uint32_t(std::atoi(mind.c_str())), 30u);
        bool grouping = xml_attr(c, "grouping") == "true";
        if (grouping) {
          uint32_t total = std::max<uint32_t>(digits, 4);
          for (uint32_t k = total; k > 0; --k) {
            el(k <= digits ? kFmtZero : kFmtDigit);
            if (k == 4) el(kFmtThousands);
          }
        } else if (digits == 0) {
          el(kFmtDigit);
        } else {
          for (uint32_t k = 0; k < digits; ++k) el(kFmtZero);
        }
        if (places > 0) {
          el(kFmtPoint);
          for (uint32_t k = 0; k < places; ++k) el(k < min_places ? kFmtZero : kFmtDigit);
        }
        if (xml_is(c, "scientific-number")) {
          el(kFmtExponent);
          for (uint32_t k = std::max<uint32_t>(repeat_of(c, "min-exponent-digits", 4), 2); k > 0; --k) el(kFmtZero);
        }
      } else if (xml_is(c, "text")) {
        std::string t = xml_text(c);
        size_t pct = percent ? t.find('%') : std::string::npos;
        if (pct != std::string::npos) {
          lit(t.substr(0, pct));
          el(kFmtPercent);
          lit(t.substr(pct + 1));
        } else {
          lit(t);
        }
      } else if (xml_is(c, "currency-symbol")) {
        lit(xml_text(c));
      } else if (xml_is(c, "year")) {
        el(long_style ? kFmtYear4 : kFmtYear2);
      } else if (xml_is(c, "month")) {
        bool textual = xml_attr(c, "textual") == "true";
        el(textual ? (long_style ? kFmtMonthName : kFmtMonthName2) : (long_style ? kFmtMonth2 : kFmtMonth));
      } else if (xml_is(c, "day")) {
        el(long_style ? kFmtDay2 : kFmtDay);
      } else if (xml_is(c, "day-of-week")) {
        el(long_style ? kFmtWeekday : kFmtWeekday2);
      } else if (xml_is(c, "hours")) {
        el(long_style ? kFmtHour2 : kFmtHour);
        has_hour = true;
      } else if (xml_is(c, "minutes")) {
        el(long_style ? kFmtMinute2 : kFmtMinute);
      } else if (xml_is(c, "seconds")) {
        el(kFmtSecond);
      } else if (xml_is(c, "am-pm")) {
        el(kFmtAmPm);
        has_ampm = true;
      } else if (xml_is(c, "boolean") || xml_is(c, "text-content")) {
        el(kFmtGeneral);
      } else if (xml_is(c, "text-properties")) {
        std::string colour = xml_attr(c, "color");
        if (colour.size() == 7 && colour[0] == '#') {
          uint32_t rgb = uint32_t(std::strtoul(colour.c_str() + 1, nullptr, 16));
          sec.colour = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
        }
      }
    }
    if (has_hour && !has_ampm) sec.elements.insert(sec.elements.begin(), kElement | kFmt24Hour);
    if (sec.elements.empty()) sec.elements.push_back(kElement | kFmtGeneral);
    return sec;
  }

  // "value()<0" and the like as a test and its constant.
  static bool condition(const std::string& text, uint32_t& test, double& constant) {
    size_t at = text.find("value()");
    if (at == std::string::npos) return false;
    std::string rest = text.substr(at + 7);
    static const std::pair<const char*, uint32_t> kOps[] = {{"<=", 4}, {">=", 5}, {"!=", 6}, {"<", 1}, {">", 2}, {"=", 3}};
    for (auto [op, t] : kOps)
      if (rest.starts_with(op)) {
        test = t;
        constant = std::atof(rest.c_str() + std::strlen(op));
        return true;
      }
    return false;
  }

  uint32_t format_of(const std::string& data_style, const char* fallback) {
    auto it = number_styles_.find(data_style);
    NumberFormat f;
    if (it != number_styles_.end()) {
      // The maps' sections come first in the style's own order; the style itself last,
      // taken when no condition holds. Written as: own section first, conditions after.
      f.sections.push_back(section_of(it->second));
      for (const xmlNode* c = it->second->children; c && f.sections.size() < 4; c = c->next) {
        if (!xml_is(c, "map")) continue;
        auto target = number_styles_.find(xml_attr(c, "apply-style-name"));
        uint32_t test = 0;
        double constant = 0;
        if (target == number_styles_.end() || !condition(xml_attr(c, "condition"), test, constant)) continue;
        FormatSection sec = section_of(target->second);
        sec.test = test;
        sec.constant = constant;
        f.sections.push_back(sec);
      }
    } else if (fallback) {
      f = compile_excel_format(fallback);
    } else {
      return 0;
    }
    return w_.format(f);
  }

  // The columns' default cell styles, as runs {first column past the run, style}: a cell
  // without a style of its own takes its row's default, else its column's.
  void columns(xmlNode* parent, uint32_t& column, int depth) {
    for (xmlNode* c = parent->children; c && depth < 8 && column < SheetWriter::kMaxColumns; c = c->next) {
      if (xml_is(c, "table-columns") || xml_is(c, "table-header-columns") || xml_is(c, "table-column-group")) {
        columns(c, column, depth + 1);
      } else if (xml_is(c, "table-column")) {
        column = uint32_t(std::min<uint64_t>(uint64_t(column) + repeat_of(c, "number-columns-repeated", SheetWriter::kMaxColumns),
                                             SheetWriter::kMaxColumns));
        column_styles_.emplace_back(column, xml_attr(c, "default-cell-style-name"));
      }
    }
  }

  std::string column_style(uint32_t column) const {
    auto it = std::upper_bound(column_styles_.begin(), column_styles_.end(), column,
                               [](uint32_t col, const auto& run) { return col < run.first; });
    return it == column_styles_.end() ? std::string() : it->second;
  }

  // Whether copy k (from 0) of a filled cell or row may be made; an extra one (not the
  // element's own cell) takes one from the document's allowance. Notes the cut when not.
  bool copy(uint32_t k, bool extra) {
    if (k >= kMaxRepeat || (extra && copies_left_ == 0)) {
      w_.cut("repeated cells past their limit left out");
      return false;
    }
    if (extra) --copies_left_;
    return true;
  }

  void rows(xmlNode* parent, uint32_t& row, int depth) {
    if (depth >= 8) return w_.cut("row groups nested past 8 levels left out");
    for (xmlNode* r = parent->children; r; r = r->next) {
      if (xml_is(r, "table-header-rows") || xml_is(r, "table-rows") || xml_is(r, "table-row-group")) {
        rows(r, row, depth + 1);
        continue;
      }
      if (!xml_is(r, "table-row")) continue;
      uint32_t repeat = repeat_of(r, "number-rows-repeated", kMaxRows);
      bool filled = false;
      for (xmlNode* c = r->children; c && !filled; c = c->next)
        filled = xml_is(c, "table-cell") && (xml_has_attr(c, "value-type") || xml_child(c, "p"));
      if (!filled) {
        row = uint32_t(std::min<uint64_t>(uint64_t(row) + repeat, kMaxRows));
        continue;
      }
      for (uint32_t k = 0; k < repeat && copy(k, k > 0); ++k) {
        if (row >= kMaxRows) return w_.cut("cells beyond row 1048576 left out");
        cells(r, row++, k > 0);
      }
    }
  }

  // The cells of one row; those of a row's copy count as copies.
  void cells(xmlNode* r, uint32_t row, bool row_copy) {
    uint32_t col = 0;
    for (xmlNode* c = r->children; c; c = c->next) {
      bool covered = xml_is(c, "covered-table-cell");
      if (!covered && !xml_is(c, "table-cell")) continue;
      uint32_t repeat = repeat_of(c, "number-columns-repeated", SheetWriter::kMaxColumns);
      bool filled = !covered && (xml_has_attr(c, "value-type") || xml_child(c, "p"));
      if (!filled) {
        col = uint32_t(std::min<uint64_t>(uint64_t(col) + repeat, SheetWriter::kMaxColumns));
        continue;
      }
      std::string style = xml_attr(c, "style-name");
      if (style.empty()) style = xml_attr(r, "default-cell-style-name");
      if (style.empty()) style = column_style(col);
      SheetCell cell = cell_of(c, style);
      for (uint32_t k = 0; k < repeat && copy(k, row_copy || k > 0); ++k) {
        if (col >= SheetWriter::kMaxColumns) return w_.cut("cells beyond column 16384 left out");
        w_.set(row, col++, cell);
      }
    }
  }

  SheetCell cell_of(xmlNode* c, const std::string& cell_style) {
    SheetCell out;
    std::string type = xml_attr(c, "value-type");
    std::string style = data_style_of(cell_style);
    double v = 0;
    bool numeric = type == "float" || type == "percentage" || type == "currency";
    if (numeric && std::isfinite(v = std::atof(xml_attr(c, "value").c_str()))) {
      out.number = true;
      out.value = v;
      out.format = format_of(style, type == "percentage" ? "0%" : nullptr);
    } else if (type == "date" && date_serial(xml_attr(c, "date-value"), v)) {
      out.number = true;
      out.value = v;
      out.format = format_of(style, "yyyy-mm-dd");
    } else if (type == "time" && time_serial(xml_attr(c, "time-value"), v)) {
      out.number = true;
      out.value = v;
      out.format = format_of(style, "hh:mm:ss");
    } else if (type == "boolean") {
      std::string b = xml_attr(c, "boolean-value");
      out.text = utf16(b == "true" || b == "1" ? "TRUE" : "FALSE");
    } else {
      std::string text;
      cell_text(c, text, 0);
      out.text = utf16(text);
    }
    return out;
  }

  std::map<std::string, std::pair<std::string, std::string>> cell_styles_;  // parent, data style
  std::map<std::string, const xmlNode*> number_styles_;
  std::vector<std::pair<uint32_t, std::string>> column_styles_;  // of the sheet being read
  uint64_t copies_left_ = 0;
};

}  // namespace

KVXSTATUS read_ods(std::string_view bytes, ChunkBuilder& out) {
  return read_office_package<OdsReader>(bytes, OfficePackage::kOdf, out);
}

}  // namespace kvx::readers
