// ZIP packages and XML parts (see zip_package.h); libzip is reached through
// zip_archive.h's table (KVXERR_NOTOOL when libkvxzip.so cannot be loaded).
#include "filters/framework/readers/zip_package.h"

#include <libxml/parser.h>

#include <climits>
#include <cstring>

#include "filters/framework/readers/text_decode.h"
#include "filters/framework/readers/zip_archive.h"

namespace kvx::readers {

ZipPackage::~ZipPackage() {
  if (zip_) fn_->close(zip_);
}

KVXSTATUS ZipPackage::open(std::string_view bytes) {
  fn_ = zip_functions();
  if (fn_ == nullptr) return KVXERR_NOTOOL;
  zip_ = fn_->open(bytes.data(), bytes.size());
  if (zip_ == nullptr) return KVXERR_BADFORMAT;
  int64_t n = fn_->count(zip_);
  if (n < 0 || uint64_t(n) > kMaxEntries) return KVXERR_BADFORMAT;
  return KVX_OK;
}

bool ZipPackage::has(const std::string& name) const {
  return zip_ && fn_->locate(zip_, name.c_str()) >= 0;
}

std::vector<std::string> ZipPackage::names() const {
  std::vector<std::string> out;
  if (!zip_) return out;
  int64_t n = fn_->count(zip_);
  for (int64_t i = 0; i < n && uint64_t(i) < kMaxEntries; ++i) {
    const char* name = fn_->name(zip_, uint64_t(i));
    if (name) out.emplace_back(name);
  }
  return out;
}

KVXSTATUS ZipPackage::read(const std::string& name, std::string& out) const {
  out.clear();
  if (!zip_) return KVXERR_NOTFOUND;
  int64_t index = fn_->locate(zip_, name.c_str());
  if (index < 0) return KVXERR_NOTFOUND;
  return fn_->read(zip_, uint64_t(index), kMaxPartBytes, &out);
}

XmlDoc parse_xml(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > size_t(INT_MAX)) return nullptr;
  xmlDoc* d = xmlReadMemory(bytes.data(), int(bytes.size()), nullptr, nullptr,
                            XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                XML_PARSE_COMPACT);
  if (d == nullptr) return nullptr;
  if (xmlDocGetRootElement(d) == nullptr) {
    xmlFreeDoc(d);
    return nullptr;
  }
  return XmlDoc(d);
}

bool xml_is(const xmlNode* n, const char* local) {
  return n && n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), local) == 0;
}

static const xmlAttr* find_attr(const xmlNode* n, const char* local) {
  if (!n || n->type != XML_ELEMENT_NODE) return nullptr;
  for (const xmlAttr* a = n->properties; a; a = a->next)
    if (std::strcmp(reinterpret_cast<const char*>(a->name), local) == 0) return a;
  return nullptr;
}

bool xml_has_attr(const xmlNode* n, const char* local) { return find_attr(n, local) != nullptr; }

std::string xml_attr(const xmlNode* n, const char* local) {
  const xmlAttr* a = find_attr(n, local);
  if (!a) return {};
  std::string out;
  for (const xmlNode* c = a->children; c; c = c->next)
    if (c->content) out += reinterpret_cast<const char*>(c->content);
  return out;
}

xmlNode* xml_child(const xmlNode* n, const char* local) {
  if (!n) return nullptr;
  for (xmlNode* c = n->children; c; c = c->next)
    if (xml_is(c, local)) return c;
  return nullptr;
}

static void gather_text(const xmlNode* n, std::string& out, int depth) {
  for (const xmlNode* c = n->children; c && depth < 256; c = c->next) {
    if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
      out += reinterpret_cast<const char*>(c->content);
    else if (c->type == XML_ELEMENT_NODE)
      gather_text(c, out, depth + 1);
  }
}

std::string xml_text(const xmlNode* n) {
  std::string out;
  if (n) gather_text(n, out, 0);
  return out;
}

std::vector<uint16_t> utf16(std::string_view utf8) {
  std::vector<uint16_t> out;
  if (!decode_utf8(utf8, out)) out = decode(utf8, SourceEncoding::Utf8);
  return out;
}

}  // namespace kvx::readers
