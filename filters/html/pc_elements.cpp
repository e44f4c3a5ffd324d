// The element side of the HTML export filter as it stands now: sections (existence, type,
// count, name, body as plain text), Pragma.Charset and Pragma.SourceFileName. Body text
// is read from the chunker's text runs, mapped to the output set and written through the
// output text writer with "&", "<" and ">" escaped and a line end per paragraph. Called by
// the statement handlers (existence, names, ids) and the replay (writing).
#include <vector>

#include "pc_charsets.h"
#include "pc_sheet.h"
#include "pc_state.h"
#include "pc_writer.h"

namespace pc {

namespace {

constexpr uint32_t kSections = 0x80000002u;
constexpr uint32_t kPragma = 0x85000000u;
constexpr uint32_t kCharset = 0x85000001u;
constexpr uint32_t kSectionType = 0x85000002u;
constexpr uint32_t kSourceFile = 0x85000004u;
constexpr int32_t kBody = -8, kTitle = -2;

uint32_t section_count(Export& x) {
  uint32_t n = 0;
  return CHGetItemCount(x.chunker, KVXRANGE_SECTIONS, &n) == KVX_OK ? n : 0;
}

bool section_record(Export& x, int32_t index, KVXSECTIONRECORD* rec) {
  uint32_t id = 0, next = 0;
  return index >= 1 && CHGetItemId(x.chunker, KVXRANGE_SECTIONS, uint32_t(index - 1), &id) == KVX_OK &&
         CHGetItem(x.chunker, KVXRANGE_SECTIONS, id, rec, &next) == KVX_OK;
}

std::u16string section_name(Export& x, int32_t index) {
  KVXSECTIONRECORD rec{};
  std::u16string s;
  if (!section_record(x, index, &rec) || rec.NameUnit == 0xFFFFFFFFu || rec.NameLength == 0 || rec.NameLength > 4096)
    return s;
  std::vector<uint16_t> units(rec.NameLength);
  if (CHGetItems(x.chunker, KVXRANGE_NAMES, rec.NameUnit, units.data(), rec.NameLength * 2) != KVX_OK) return s;
  for (uint16_t u : units) s.push_back(char16_t(u));
  return s;
}

std::u16string source_file_name(Export& x) {
  KVXIO* doc = nullptr;
  uint32_t spec = 0;
  std::u16string s;
  if (DAGetHFile(x.ex, &doc) != KVX_OK || doc == nullptr || doc->GetInfo(doc, KVXIOINFO_SPECTYPE, &spec) != KVX_OK)
    return s;
  if (spec == KVXSPEC_WIDEPATH) {
    std::vector<uint16_t> w(KVXIO_NAMEMAX + 1, 0);
    if (doc->GetInfo(doc, KVXIOINFO_RELATIVESPEC, w.data()) == KVX_OK)
      for (size_t i = 0; w[i] != 0; ++i) s.push_back(char16_t(w[i]));
  } else {
    std::vector<char> c(KVXIO_NAMEMAX + 1, 0);
    if (doc->GetInfo(doc, KVXIOINFO_RELATIVESPEC, c.data()) == KVX_OK) s = widen(c.data());
  }
  return s;
}

// Writes 16-bit text of set `set` in the output form: mapped to the output set, 8-bit
// output as bytes (a double-byte character as its two bytes).
KVXSTATUS write_document_text(Export& x, KVXIO* out, std::vector<uint16_t> units, uint32_t set) {
  if (units.empty()) return KVX_OK;
  uint32_t target = x.out_kind == 0 ? x.out_charset : KVXCS_UNICODE;
  if (MapText16(units.data(), uint32_t(units.size()), set, target) != KVX_OK)
    for (uint16_t& u : units)
      if (u > 0x7F) u = 0x40;
  if (x.out_kind == 0) {
    std::string bytes;
    for (uint16_t u : units) {
      if (u > 0xFF) bytes.push_back(char(u >> 8));
      bytes.push_back(char(u & 0xFF));
    }
    return write_text8(out, bytes, 0);
  }
  return write_units(out, std::u16string(units.begin(), units.end()), x.out_kind);
}

KVXSTATUS write_escaped(Export& x, KVXIO* out, const std::vector<uint16_t>& units, uint32_t set) {
  std::vector<uint16_t> run;
  for (uint16_t u : units) {
    const char* entity = u == '&' ? "&amp;" : u == '<' ? "&lt;" : u == '>' ? "&gt;" : nullptr;
    if (entity == nullptr) {
      run.push_back(u);
      continue;
    }
    if (KVXSTATUS st = write_document_text(x, out, run, set)) return st;
    run.clear();
    if (KVXSTATUS st = write_text8(out, entity, x.out_kind)) return st;
  }
  return write_document_text(x, out, run, set);
}

KVXSTATUS write_section_body(Export& x, KVXIO* out, int32_t index) {
  KVXSECTIONINFO info{};
  if (index < 1 || CHGetSectionInfo(x.chunker, uint32_t(index - 1), &info) != KVX_OK) return kIoFailed;
  if (info.FirstItem == 0xFFFFFFFFu) return KVX_OK;
  uint32_t id = info.FirstItem;
  for (uint32_t n = 0; n < info.ItemCount; ++n) {
    uint32_t item[4] = {}, next = 0;
    if (CHGetItem(x.chunker, KVXRANGE_ITEMS, id, item, &next) != KVX_OK) return kIoFailed;
    if (item[0] == KVXITEM_TEXT && item[3] > 0 && item[3] <= 0x100000) {
      std::vector<uint16_t> units(item[3]);
      if (CHGetItems(x.chunker, KVXRANGE_TEXT, item[2], units.data(), item[3] * 2) != KVX_OK) return kIoFailed;
      if (KVXSTATUS st = write_escaped(x, out, units, item[1])) return st;
    } else if (item[0] == KVXITEM_BREAK &&
               (item[1] == KVXBREAK_PARAGRAPH || item[1] == KVXBREAK_LINE || item[1] == KVXBREAK_PAGE)) {
      if (KVXSTATUS st = write_text8(out, "\r\n", x.out_kind)) return st;
    }
    if (id == info.LastItem || next == 0xFFFFFFFFu) break;
    id = next;
  }
  return KVX_OK;
}

KVXSTATUS write_name(Export& x, KVXIO* out, const std::u16string& name) {
  std::vector<uint16_t> units(name.begin(), name.end());
  return write_escaped(x, out, units, KVXCS_UNICODE);
}

}  // namespace

bool element_exists(Export& x, const PathRec& p) {
  if (p.host) return true;
  const auto& it = p.items;
  if (it.empty()) return false;
  uint32_t k0 = uint32_t(it[0]);
  if (k0 == kSections && it.size() >= 2) {
    if (it[1] < 1 || uint32_t(it[1]) > section_count(x)) return false;
    if (it.size() == 2) return true;
    if (it.size() == 3 && (it[2] == kBody || uint32_t(it[2]) == kSectionType)) return true;
    if (it.size() == 4 && it[2] == kBody && it[3] == kTitle) return !section_name(x, it[1]).empty();
    return false;
  }
  if (k0 == kPragma && it.size() == 2) {
    if (uint32_t(it[1]) == kCharset) return true;
    if (uint32_t(it[1]) == kSourceFile) return !source_file_name(x).empty();
  }
  return false;
}

KVXSTATUS pass_element(Export& x, KVXIO* out, const PathRec& p) {
  if (p.ends_in_type) {
    uint32_t type = 0;
    if (KVXSTATUS st = section_type_of_path(x, p, &type)) return st;
    return write_text8(out, std::to_string(type), x.out_kind);
  }
  const auto& it = p.items;
  if (it.empty()) return KVX_OK;
  if (uint32_t(it[0]) == kPragma && it.size() == 2) {
    if (uint32_t(it[1]) == kCharset) return write_text8(out, x.charset_name, x.out_kind);
    if (uint32_t(it[1]) == kSourceFile) return write_name(x, out, source_file_name(x));
    return KVX_OK;
  }
  if (uint32_t(it[0]) == kSections && it.size() >= 2) {
    if (it.size() == 4 && it[3] == kTitle) return write_name(x, out, section_name(x, it[1]));
    KVXSECTIONRECORD rec{};
    if (it.size() == 3 && it[2] == kBody && section_record(x, it[1], &rec) &&
        ((rec.Type & 0xFFFF) == KVXSECTION_SS || (rec.Type & 0xFFFF) == KVXSECTION_DB))
      return WriteSheetElement(x, out, uint32_t(it[1]), rec.Type & 0xFFFF);
    return write_section_body(x, out, it[1]);
  }
  return KVX_OK;
}

uint32_t element_id(Export& x, const PathRec& p) {
  if (p.items.size() >= 2 && uint32_t(p.items[0]) == kSections) {
    KVXSECTIONINFO info{};
    if (p.items[1] >= 1 && CHGetSectionInfo(x.chunker, uint32_t(p.items[1] - 1), &info) == KVX_OK) return info.FirstItem;
  }
  return 0xFFFFFFFFu;
}

std::u16string element_name(Export& x, const PathRec& p) {
  if (p.items.size() >= 2 && uint32_t(p.items[0]) == kSections) return section_name(x, p.items[1]);
  return u"";
}

uint32_t document_charset(Export& x) {
  KVXSECTIONINFO info{};
  if (CHGetSectionInfo(x.chunker, 0, &info) == KVX_OK && info.CharacterSet != 0) return info.CharacterSet;
  return KVXCS_ASCII;
}

}  // namespace pc
