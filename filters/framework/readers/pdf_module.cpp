// Where the PDF extractor is for libkvx.so: libkvxpdf.so beside it, loaded the first time
// a PDF is read, so that documents of other formats never map poppler and its libraries.
// The static builds use pdf_direct.cpp instead.
#include <dlfcn.h>

#include <string>

#include "filters/framework/readers/pdf_extract.h"

namespace kvx::readers {

KvxPdfExtractFn pdf_extractor() {
  static KvxPdfExtractFn fn = [] () -> KvxPdfExtractFn {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pdf_extractor), &info) == 0 || info.dli_fname == nullptr) return nullptr;
    std::string dir = info.dli_fname;
    size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    void* lib = dlopen((dir + "/libkvxpdf.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return nullptr;
    return reinterpret_cast<KvxPdfExtractFn>(dlsym(lib, "kvxpdf_extract"));
  }();
  return fn;
}

}  // namespace kvx::readers
