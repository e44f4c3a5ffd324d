// Package properties and password tests of the office readers (see office_common.h).
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

}  // namespace

bool is_encrypted_ooxml(std::string_view bytes) {
  if (!bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return false;
  static const std::string name = [] {
    std::string s;
    for (char c : std::string_view("EncryptedPackage")) s += {c, '\0'};
    return s;
  }();
  return bytes.find(name) != std::string_view::npos;
}

bool is_encrypted_odf(const ZipPackage& zip) {
  std::string manifest;
  if (zip.read("META-INF/manifest.xml", manifest) != KVX_OK) return false;
  return manifest.find("encryption-data") != std::string::npos;
}

void read_core_properties(const ZipPackage& zip, DocWriter& w) {
  std::string bytes;
  if (zip.read("docProps/core.xml", bytes) != KVX_OK) return;
  XmlDoc d = parse_xml(bytes);
  if (!d) return;
  properties_of(xmlDocGetRootElement(d.get()),
                {{"title", kTitle}, {"subject", kSubject}, {"creator", kAuthor}, {"keywords", kKeywords},
                 {"description", kComment}},
                w);
}

void read_odf_meta(const ZipPackage& zip, DocWriter& w) {
  std::string bytes;
  if (zip.read("meta.xml", bytes) != KVX_OK) return;
  XmlDoc d = parse_xml(bytes);
  if (!d) return;
  xmlNode* meta = xml_child(xmlDocGetRootElement(d.get()), "meta");
  properties_of(meta,
                {{"title", kTitle}, {"subject", kSubject}, {"initial-creator", kAuthor}, {"creator", kAuthor},
                 {"keyword", kKeywords}, {"description", kComment}},
                w);
}

}  // namespace kvx::readers
