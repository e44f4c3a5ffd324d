// ZIP packages (OOXML and ODF) read from memory through libzip (zip_archive.h), for the DOCX, ODT, XLSX
// and ODS readers: parts by name, each capped in size, the package capped in entries, and
// encrypted entries told apart from damaged ones. Also the libxml2 parse of a part with
// the network and entity expansion off, and small helpers over the parsed tree.
#pragma once
#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filters/common/kvx_abi.h"

struct KvxZipFunctions;  // zip_archive.h

namespace kvx::readers {

class ZipPackage {
 public:
  static constexpr uint64_t kMaxEntries = 10000;
  static constexpr uint64_t kMaxPartBytes = uint64_t(64) << 20;

  ~ZipPackage();
  // KVX_OK; KVXERR_BADFORMAT when the bytes are no ZIP archive or hold too many entries;
  // KVXERR_NOTOOL when libzip cannot be loaded.
  KVXSTATUS open(std::string_view bytes);
  bool has(const std::string& name) const;
  // The part's bytes: KVX_OK, KVXERR_NOTFOUND (no such part), KVXERR_ENCRYPTED,
  // KVXERR_BADFORMAT (too large, or damaged).
  KVXSTATUS read(const std::string& name, std::string& out) const;
  // Names of all parts, in the archive's order.
  std::vector<std::string> names() const;

 private:
  const KvxZipFunctions* fn_ = nullptr;
  void* zip_ = nullptr;  // the archive, through fn_
};

// An XML document parsed without network access or entity expansion; null when the
// bytes hold no well-formed root (libxml2's recovery keeps what it can).
struct XmlDocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;
XmlDoc parse_xml(const std::string& bytes);

// Element tests and attribute values by local name (namespaces are not compared: the
// prefixes of the formats' own vocabularies do not clash within one part).
bool xml_is(const xmlNode* n, const char* local);
std::string xml_attr(const xmlNode* n, const char* local);
bool xml_has_attr(const xmlNode* n, const char* local);
xmlNode* xml_child(const xmlNode* n, const char* local);
// Text content of a node and its descendants, in UTF-8.
std::string xml_text(const xmlNode* n);
// UTF-8 to UTF-16 units (undecodable bytes become U+FFFD).
std::vector<uint16_t> utf16(std::string_view utf8);

}  // namespace kvx::readers
