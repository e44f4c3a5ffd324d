// The XLSX reader: a SpreadsheetML package through ZipPackage and libxml2. The workbook's
// sheets in order (through its relationships), each an ss section with the workbook's
// date system (1900 with the leap-day flag, or 1904); cells by their references: shared
// strings (rich runs joined, phonetic runs left out), inline strings, formula strings,
// booleans and errors as text; numbers as data values in the number format of their cell
// style (built-in format ids and the workbook's own codes, compiled to format items).
// Packages locked with a password are refused with KVXERR_ENCRYPTED.
//
// Cost: each part is read whole (ZipPackage: at most 64 MB inflated) and parsed once; a
// cell costs what the sheet writer's bound gives it (sheet_writer.h), whatever row and
// column its reference names, so time and memory stay linear in the parts' XML. Shared
// strings past kMaxSharedStrings are left out and the document is marked cut.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "filters/framework/readers/office_common.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/sheet_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

namespace {

constexpr size_t kMaxSharedStrings = 1u << 22;

// The built-in format codes of SpreadsheetML (ids 0-49 as the standard lists them).
const char* builtin_format(uint32_t id) {
  switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13: return "# ?" "?/?" "?";
    case 14: return "mm-dd-yy";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "m/d/yy h:mm";
    case 37: return "#,##0 ;(#,##0)";
    case 38: return "#,##0 ;[Red](#,##0)";
    case 39: return "#,##0.00;(#,##0.00)";
    case 40: return "#,##0.00;[Red](#,##0.00)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mmss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return "General";
  }
}

// "B12" -> row 11, column 1; false for anything else.
bool cell_ref(const std::string& ref, uint32_t& row, uint32_t& col) {
  size_t i = 0;
  uint64_t c = 0, r = 0;
  while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])) && i < 3)
    c = c * 26 + uint64_t(std::toupper(static_cast<unsigned char>(ref[i++])) - 'A' + 1);
  if (c == 0 || i == ref.size()) return false;
  for (; i < ref.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(ref[i])) || r > 10000000) return false;
    r = r * 10 + uint64_t(ref[i] - '0');
  }
  if (r == 0) return false;
  row = uint32_t(r - 1);
  col = uint32_t(c - 1);
  return true;
}

// Text of a string item: its t children, or those of its runs; phonetic runs left out.
std::string string_item(const xmlNode* si) {
  std::string out;
  for (const xmlNode* c = si->children; c; c = c->next) {
    if (xml_is(c, "t")) out += xml_text(c);
    else if (xml_is(c, "r"))
      if (const xmlNode* t = xml_child(c, "t")) out += xml_text(t);
  }
  return out;
}

bool parse_double(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return end && *end == '\0' && std::isfinite(v);
}

class XlsxReader : public OfficeReader<SheetWriter> {
 public:
  using OfficeReader::OfficeReader;

  KVXSTATUS run() {
    XmlDoc wb;
    if (const KVXSTATUS st = read_main_part(zip_, "xl/workbook.xml", wb); st != KVX_OK) return st;
    targets_ = read_relationships(zip_, "xl/_rels/workbook.xml.rels");
    if (!load_shared_strings()) w_.cut("shared strings past 4194304 left out");
    load_styles();
    xmlNode* root = xmlDocGetRootElement(wb.get());
    uint32_t base = kDateBase1900, flags = kDateFlagLeapDay;
    if (xmlNode* pr = xml_child(root, "workbookPr")) {
      std::string v = xml_attr(pr, "date1904");
      if (v == "1" || v == "true") base = kDateBase1904, flags = 0;
    }
    xmlNode* sheets = xml_child(root, "sheets");
    for (xmlNode* s = sheets ? sheets->children : nullptr; s; s = s->next) {
      if (!xml_is(s, "sheet")) continue;
      auto it = targets_.find(xml_attr(s, "id"));
      if (it == targets_.end()) continue;
      std::string path = it->second;
      path = path.starts_with("/") ? path.substr(1) : "xl/" + path;
      std::string bytes;
      KVXSTATUS part = zip_.read(path, bytes);
      if (part == KVXERR_ENCRYPTED) return part;
      w_.begin(utf16(xml_attr(s, "name")), base, flags);
      if (part == KVX_OK)
        if (XmlDoc d = parse_xml(bytes)) sheet(xmlDocGetRootElement(d.get()));
      if (!w_.end()) break;
    }
    return w_.sheets() > 0 ? KVX_OK : KVXERR_BADFORMAT;
  }

 private:
  // False when strings past the limit were left out.
  bool load_shared_strings() {
    if (XmlDoc d = read_xml_part(zip_, "xl/sharedStrings.xml"))
      for (xmlNode* si = xmlDocGetRootElement(d.get())->children; si; si = si->next) {
        if (!xml_is(si, "si")) continue;
        if (strings_.size() == kMaxSharedStrings) return false;
        strings_.push_back(utf16(string_item(si)));
      }
    return true;
  }

  // Cell styles (cellXfs) to their number format codes.
  void load_styles() {
    XmlDoc d = read_xml_part(zip_, "xl/styles.xml");
    if (!d) return;
    xmlNode* root = xmlDocGetRootElement(d.get());
    std::map<uint32_t, std::string> custom;
    if (xmlNode* fmts = xml_child(root, "numFmts"))
      for (xmlNode* f = fmts->children; f; f = f->next)
        if (xml_is(f, "numFmt")) custom[uint32_t(std::strtoul(xml_attr(f, "numFmtId").c_str(), nullptr, 10))] =
            xml_attr(f, "formatCode");
    if (xmlNode* xfs = xml_child(root, "cellXfs"))
      for (xmlNode* xf = xfs->children; xf && style_codes_.size() < 65536; xf = xf->next) {
        if (!xml_is(xf, "xf")) continue;
        uint32_t id = uint32_t(std::strtoul(xml_attr(xf, "numFmtId").c_str(), nullptr, 10));
        auto it = custom.find(id);
        style_codes_.push_back(it != custom.end() ? it->second : builtin_format(id));
      }
  }

  void sheet(xmlNode* root) {
    xmlNode* data = xml_child(root, "sheetData");
    uint32_t next_row = 0;
    for (xmlNode* row = data ? data->children : nullptr; row; row = row->next) {
      if (!xml_is(row, "row")) continue;
      uint32_t r = next_row;
      std::string rn = xml_attr(row, "r");
      if (!rn.empty() && rn.size() < 9) r = uint32_t(std::max(1L, std::atol(rn.c_str())) - 1);
      next_row = r + 1;
      uint32_t next_col = 0;
      for (xmlNode* c = row->children; c; c = c->next) {
        if (!xml_is(c, "c")) continue;
        uint32_t rr = r, cc = next_col;
        std::string ref = xml_attr(c, "r");
        if (!ref.empty() && !cell_ref(ref, rr, cc)) continue;
        next_col = cc + 1;
        cell(c, rr, cc);
      }
    }
  }

  void cell(xmlNode* c, uint32_t row, uint32_t col) {
    std::string type = xml_attr(c, "t");
    xmlNode* v = xml_child(c, "v");
    std::string value = v ? xml_text(v) : std::string();
    SheetCell out;
    if (type == "s") {
      size_t k = size_t(std::strtoul(value.c_str(), nullptr, 10));
      if (value.empty() || k >= strings_.size()) return;
      out.text = strings_[k];
    } else if (type == "inlineStr") {
      if (xmlNode* is = xml_child(c, "is")) out.text = utf16(string_item(is));
    } else if (type == "str" || type == "e" || type == "d") {
      out.text = utf16(value);
    } else if (type == "b") {
      out.text = utf16(value == "1" ? "TRUE" : "FALSE");
    } else {
      if (!parse_double(value, out.value)) return;
      out.number = true;
      std::string s = xml_attr(c, "s");
      size_t style = s.empty() ? 0 : size_t(std::strtoul(s.c_str(), nullptr, 10));
      if (style < style_codes_.size()) out.format = format_number(style_codes_[style]);
    }
    w_.set(row, col, std::move(out));
  }

  uint32_t format_number(const std::string& code) {
    auto it = compiled_.find(code);
    if (it == compiled_.end()) it = compiled_.emplace(code, compile_excel_format(code)).first;
    return w_.format(it->second);
  }

  std::map<std::string, std::string> targets_;
  std::vector<std::vector<uint16_t>> strings_;
  std::vector<std::string> style_codes_;
  std::map<std::string, NumberFormat> compiled_;
};

}  // namespace

KVXSTATUS read_xlsx(std::string_view bytes, ChunkBuilder& out) {
  return read_office_package<XlsxReader>(bytes, OfficePackage::kOoxml, out);
}

}  // namespace kvx::readers
