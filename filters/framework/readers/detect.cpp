// Format detection (see reader.h): magic numbers and markers in the bytes first, the
// name's extension second. OLE2 compound files are told apart by the names of their
// directory entries, ZIP packages by their [Content_Types].xml parts or ODF mimetype.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"
#include "pagedoc/pgx_format.h"

namespace kvx::readers {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

uint16_t u16_at(std::string_view s, size_t at) {
  return at + 2 <= s.size() ? uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8) : 0;
}

// OLE2: the directory is made of 128-byte entries at 128-byte steps after the 512-byte
// header (any sector size is a multiple of 128). A stream entry (type 2) whose UTF-16 name
// and name length match is taken for the stream, wherever its sector lies.
bool ole_has_stream(std::string_view s, std::string_view name) {
  for (size_t at = 512; at + 128 <= s.size(); at += 128) {
    if (u16_at(s, at + 0x40) != (name.size() + 1) * 2 || uint8_t(s[at + 0x42]) != 2) continue;
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k)
      same = std::tolower(u16_at(s, at + 2 * k)) == std::tolower(static_cast<unsigned char>(name[k])) &&
             u16_at(s, at + 2 * k) < 0x80;
    if (same) return true;
  }
  return false;
}

uint32_t detect_ole(std::string_view s) {
  if (ole_has_stream(s, "WordDocument")) return KVXFI_DOC;
  if (ole_has_stream(s, "Workbook") || ole_has_stream(s, "Book")) return KVXFI_XLS;
  if (ole_has_stream(s, "PowerPoint Document")) return KVXFI_PPT;
  return KVXFI_UNKNOWN;
}

// ZIP: an ODF package stores its mimetype first and uncompressed; an OOXML package names
// its main part in the local and central headers.
uint32_t detect_zip(std::string_view s) {
  static constexpr std::pair<std::string_view, uint32_t> kOdf[] = {
      {"application/vnd.oasis.opendocument.text", KVXFI_ODT},
      {"application/vnd.oasis.opendocument.spreadsheet", KVXFI_ODS},
      {"application/vnd.oasis.opendocument.presentation", KVXFI_ODP}};
  if (s.size() > 38 && s.substr(30, 8) == "mimetype") {
    std::string_view rest = s.substr(38);
    for (auto [mime, id] : kOdf)
      if (rest.starts_with(mime) && (rest.size() == mime.size() || rest[mime.size()] != '-')) return id;
  }
  static constexpr std::pair<std::string_view, uint32_t> kOoxml[] = {
      {"word/document.xml", KVXFI_DOCX}, {"xl/workbook.xml", KVXFI_XLSX}, {"ppt/presentation.xml", KVXFI_PPTX}};
  if (s.find("[Content_Types].xml") != std::string_view::npos)
    for (auto [part, id] : kOoxml)
      if (s.find(part) != std::string_view::npos) return id;
  return KVXFI_UNKNOWN;
}

// HTML markers near the start of a source (ASCII, or UTF-16 read as its low bytes).
bool looks_like_html(std::string_view s) {
  std::string head;
  bool utf16 = s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF");
  size_t limit = std::min<size_t>(s.size(), 2048);
  for (size_t i = utf16 ? 2 : 0; i < limit; ++i) {
    if (utf16 && ((i % 2 == 0) != s.starts_with("\xFF\xFE"))) continue;
    head += char(std::tolower(static_cast<unsigned char>(s[i])));
  }
  size_t at = head.find_first_not_of(" \t\r\n\xef\xbb\xbf");
  if (at == std::string::npos) return false;
  std::string_view h = std::string_view(head).substr(at);
  for (std::string_view m : {"<!doctype html", "<html", "<head", "<body", "<title"})
    if (h.starts_with(m)) return true;
  return head.find("<html") != std::string::npos || head.find("<body") != std::string::npos;
}

uint32_t by_extension(std::string_view name) {
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return KVXFI_UNKNOWN;
  std::string ext = lower(name.substr(dot + 1));
  static constexpr std::pair<std::string_view, uint32_t> kTable[] = {
      {"txt", KVXFI_TEXT},  {"text", KVXFI_TEXT},  {"htm", KVXFI_HTML}, {"html", KVXFI_HTML},
      {"rtf", KVXFI_RTF},   {"pdf", KVXFI_PDF},    {"pgx", KVXFI_PGX},  {"doc", KVXFI_DOC},
      {"xls", KVXFI_XLS},   {"ppt", KVXFI_PPT},    {"docx", KVXFI_DOCX}, {"xlsx", KVXFI_XLSX},
      {"pptx", KVXFI_PPTX}, {"odt", KVXFI_ODT},    {"ods", KVXFI_ODS},  {"odp", KVXFI_ODP}};
  for (auto [e, id] : kTable)
    if (ext == e) return id;
  return KVXFI_UNKNOWN;
}

}  // namespace

uint32_t detect_format(std::string_view s, std::string_view name) {
  if (is_chunk_script(std::string(s.substr(0, 64)))) return KVXFI_CHUNKSCRIPT;
  if (s.substr(0, 1024).find("%PDF-") != std::string_view::npos) return KVXFI_PDF;
  if (s.starts_with(qm::pgx::kDocMagic)) return KVXFI_PGX;
  if (s.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
    uint32_t id = detect_ole(s);
    if (id != KVXFI_UNKNOWN) return id;
  }
  if (s.starts_with("PK\x03\x04")) {
    uint32_t id = detect_zip(s);
    if (id != KVXFI_UNKNOWN) return id;
  }
  std::string_view body = s;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  if (body.starts_with("{\\rtf")) return KVXFI_RTF;
  if (looks_like_html(s)) return KVXFI_HTML;
  if (s.starts_with("\xEF\xBB\xBF") || s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF")) return KVXFI_TEXT;
  return by_extension(name);
}

KVXSTATUS read_document(uint32_t file_id, std::string_view bytes, ChunkBuilder& out) {
  if (bytes.size() > kMaxSourceBytes) return KVXERR_BADFORMAT;
  switch (file_id) {
    case KVXFI_TEXT:
      return read_text(bytes, out);
    case KVXFI_HTML:
      return read_html(bytes, out);
    case KVXFI_RTF:
      return read_rtf(bytes, out);
    case KVXFI_PDF:
      return read_pdf(bytes, out);
    case KVXFI_PGX:
      return read_pgx(bytes, out);
    case KVXFI_DOCX:
      return read_docx(bytes, out);
    case KVXFI_ODT:
      return read_odt(bytes, out);
    case KVXFI_DOC:
      return read_doc(bytes, out);
    case KVXFI_XLS:
      return read_xls(bytes, out);
    case KVXFI_PPT:
      return read_ppt(bytes, out);
    case KVXFI_XLSX:
      return read_xlsx(bytes, out);
    case KVXFI_ODS:
      return read_ods(bytes, out);
    case KVXFI_UNKNOWN:
      return KVXERR_UNKNOWNFORMAT;
    default:
      return KVXERR_UNSUPPORTED;
  }
}

}  // namespace kvx::readers
