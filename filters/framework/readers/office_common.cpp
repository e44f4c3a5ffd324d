// Package opening, parts, properties and outcomes of the office readers (see
// office_common.h).
#include "filters/framework/readers/office_common.h"

#include <string>

namespace kvx::readers {

namespace {

constexpr uint32_t kComment = 1, kKeywords = 2, kAuthor = 4, kSubject = 5, kTitle = 6;

// Properties from the children of a root: each local name mapped to its number, the first
// of each number kept; keywords given one per element are joined with blanks.
void properties_of(xmlNode* root, std::initializer_list<std::pair<const char*, uint32_t>> names, DocWriter& w) {
  std::string values[7];
  for (xmlNode* c = root ? root->children : nullptr; c; c = c->next)
    for (auto [name, number] : names) {
      if (!xml_is(c, name)) continue;
      std::string v = xml_text(c);
      if (number == kKeywords && !values[number].empty()) values[number] += " " + v;
      else if (values[number].empty()) values[number] = v;
    }
  for (uint32_t number : {kTitle, kSubject, kAuthor, kKeywords, kComment})
    if (!values[number].empty()) w.property(number, utf16(values[number]));
}

// An OLE2 compound file holding an EncryptedPackage stream.
bool is_encrypted_ooxml(std::string_view bytes) {
  if (!bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return false;
  static const std::string name = [] {
    std::string s;
    for (char c : std::string_view("EncryptedPackage")) s += {c, '\0'};
    return s;
  }();
  return bytes.find(name) != std::string_view::npos;
}

// An ODF package whose manifest lists encryption data for a part.
bool is_encrypted_odf(const ZipPackage& zip) {
  std::string manifest;
  if (zip.read("META-INF/manifest.xml", manifest) != KVX_OK) return false;
  return manifest.find("encryption-data") != std::string::npos;
}

}  // namespace

KVXSTATUS open_office_package(std::string_view bytes, OfficePackage kind, ZipPackage& zip) {
  if (kind == OfficePackage::kOoxml && is_encrypted_ooxml(bytes)) return KVXERR_ENCRYPTED;
  const KVXSTATUS st = zip.open(bytes);
  if (st != KVX_OK) return st;
  if (kind == OfficePackage::kOdf && is_encrypted_odf(zip)) return KVXERR_ENCRYPTED;
  return KVX_OK;
}

KVXSTATUS read_main_part(const ZipPackage& zip, const char* name, XmlDoc& doc, size_t* size) {
  std::string bytes;
  const KVXSTATUS st = zip.read(name, bytes);
  if (st != KVX_OK) return st == KVXERR_NOTFOUND ? KVXERR_BADFORMAT : st;
  if (size) *size = bytes.size();
  doc = parse_xml(bytes);
  return doc ? KVX_OK : KVXERR_BADFORMAT;
}

XmlDoc read_xml_part(const ZipPackage& zip, const char* name) {
  std::string bytes;
  if (zip.read(name, bytes) != KVX_OK) return nullptr;
  return parse_xml(bytes);
}

std::map<std::string, std::string> read_relationships(const ZipPackage& zip, const char* name) {
  std::map<std::string, std::string> targets;
  if (XmlDoc d = read_xml_part(zip, name))
    for (xmlNode* r = xmlDocGetRootElement(d.get())->children; r; r = r->next)
      if (xml_is(r, "Relationship")) targets[xml_attr(r, "Id")] = xml_attr(r, "Target");
  return targets;
}

void read_core_properties(const ZipPackage& zip, DocWriter& w) {
  XmlDoc d = read_xml_part(zip, "docProps/core.xml");
  if (!d) return;
  properties_of(xmlDocGetRootElement(d.get()),
                {{"title", kTitle}, {"subject", kSubject}, {"creator", kAuthor}, {"keywords", kKeywords},
                 {"description", kComment}},
                w);
}

void read_odf_meta(const ZipPackage& zip, DocWriter& w) {
  XmlDoc d = read_xml_part(zip, "meta.xml");
  if (!d) return;
  xmlNode* meta = xml_child(xmlDocGetRootElement(d.get()), "meta");
  properties_of(meta,
                {{"title", kTitle}, {"subject", kSubject}, {"initial-creator", kAuthor}, {"creator", kAuthor},
                 {"keyword", kKeywords}, {"description", kComment}},
                w);
}

void switch_attributes(DocWriter& w, uint32_t& attrs, uint32_t bits) {
  for (uint32_t a : {KVXATTR_BOLD, KVXATTR_ITALIC, KVXATTR_UNDERLINE, KVXATTR_STRIKE, KVXATTR_SUBSCRIPT,
                     KVXATTR_SUPERSCRIPT}) {
    bool was = attrs >> a & 1, now = bits >> a & 1;
    if (was != now) w.attribute(a, now);
  }
  attrs = bits;
}

KVXSTATUS document_status(KVXSTATUS run, DocWriter& w) {
  if (run != KVX_OK) return run;
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

KVXSTATUS sheets_status(KVXSTATUS run, const SheetWriter& w) {
  return run != KVX_OK && w.sheets() == 0 ? run : KVX_OK;
}

}  // namespace kvx::readers
