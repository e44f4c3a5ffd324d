// ZIP packages and XML parts (see zip_package.h).
#include "filters/framework/readers/zip_package.h"

#include <libxml/parser.h>
#include <zip.h>

#include <climits>
#include <cstring>

#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

ZipPackage::~ZipPackage() {
  if (zip_) zip_discard(zip_);
}

KVXSTATUS ZipPackage::open(std::string_view bytes) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
  if (src == nullptr) {
    zip_error_fini(&err);
    return KVXERR_BADFORMAT;
  }
  zip_ = zip_open_from_source(src, ZIP_RDONLY, &err);
  zip_error_fini(&err);
  if (zip_ == nullptr) {
    zip_source_free(src);
    return KVXERR_BADFORMAT;
  }
  zip_int64_t n = zip_get_num_entries(zip_, 0);
  if (n < 0 || uint64_t(n) > kMaxEntries) return KVXERR_BADFORMAT;
  return KVX_OK;
}

bool ZipPackage::has(const std::string& name) const {
  return zip_ && zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

std::vector<std::string> ZipPackage::names() const {
  std::vector<std::string> out;
  if (!zip_) return out;
  zip_int64_t n = zip_get_num_entries(zip_, 0);
  for (zip_int64_t i = 0; i < n && uint64_t(i) < kMaxEntries; ++i) {
    const char* name = zip_get_name(zip_, zip_uint64_t(i), 0);
    if (name) out.emplace_back(name);
  }
  return out;
}

KVXSTATUS ZipPackage::read(const std::string& name, std::string& out) const {
  out.clear();
  if (!zip_) return KVXERR_NOTFOUND;
  zip_int64_t index = zip_name_locate(zip_, name.c_str(), 0);
  if (index < 0) return KVXERR_NOTFOUND;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_, zip_uint64_t(index), 0, &st) != 0) return KVXERR_BADFORMAT;
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) return KVXERR_ENCRYPTED;
  if ((st.valid & ZIP_STAT_SIZE) && st.size > kMaxPartBytes) return KVXERR_BADFORMAT;
  zip_file_t* f = zip_fopen_index(zip_, zip_uint64_t(index), 0);
  if (f == nullptr) {
    int ze = zip_get_error(zip_)->zip_err;
    return ze == ZIP_ER_NOPASSWD || ze == ZIP_ER_WRONGPASSWD || ze == ZIP_ER_ENCRNOTSUPP ? KVXERR_ENCRYPTED
                                                                                          : KVXERR_BADFORMAT;
  }
  // The stated size is not trusted: reading stops at the cap whatever the header says.
  char buf[65536];
  KVXSTATUS status = KVX_OK;
  for (;;) {
    zip_int64_t got = zip_fread(f, buf, sizeof buf);
    if (got < 0) {
      status = out.empty() ? KVXERR_BADFORMAT : KVX_OK;  // a damaged tail keeps what was read
      break;
    }
    if (got == 0) break;
    if (out.size() + uint64_t(got) > kMaxPartBytes) {
      status = KVXERR_BADFORMAT;
      break;
    }
    out.append(buf, size_t(got));
  }
  zip_fclose(f);
  return status;
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
