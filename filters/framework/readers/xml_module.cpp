// libxml2 for libkvx.so, loaded the first time a document's XML is parsed, so that
// documents of other formats never map libxml2 and the ICU, zlib and lzma libraries behind
// it. The readers call libxml2 by its own names; these definitions (hidden inside
// libkvx.so) forward each call to the library opened here, by the soname the build found
// (KVX_SONAME_XML2). The static builds link libxml2 itself and leave this file out.
#include <dlfcn.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>

namespace {

struct XmlLibrary {
  decltype(&::xmlReadMemory) read_memory = nullptr;
  decltype(&::xmlDocGetRootElement) root_element = nullptr;
  decltype(&::xmlFreeDoc) free_doc = nullptr;
  bool ok = false;
};

template <class Fn>
void bind(void* lib, const char* name, Fn& fn, bool& ok) {
  fn = reinterpret_cast<Fn>(dlsym(lib, name));
  ok = ok && fn != nullptr;
}

// The library's functions; ok is false when it cannot be loaded, and then no document
// parses, so the functions that take a parsed tree are never reached.
const XmlLibrary& xml_library() {
  static const XmlLibrary lib = [] {
    XmlLibrary l;
    void* h = dlopen(KVX_SONAME_XML2, RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) return l;
    bool ok = true;
    bind(h, "xmlReadMemory", l.read_memory, ok);
    bind(h, "xmlDocGetRootElement", l.root_element, ok);
    bind(h, "xmlFreeDoc", l.free_doc, ok);
    l.ok = ok;
    return l;
  }();
  return lib;
}

}  // namespace

extern "C" {

xmlDocPtr xmlReadMemory(const char* buffer, int size, const char* url, const char* encoding, int options) {
  const XmlLibrary& l = xml_library();
  return l.ok ? l.read_memory(buffer, size, url, encoding, options) : nullptr;
}

xmlNodePtr xmlDocGetRootElement(const xmlDoc* doc) {
  const XmlLibrary& l = xml_library();
  return l.ok ? l.root_element(doc) : nullptr;
}

void xmlFreeDoc(xmlDocPtr doc) {
  const XmlLibrary& l = xml_library();
  if (l.ok) l.free_doc(doc);
}

}  // extern "C"
