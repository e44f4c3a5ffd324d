// Where libzip's part of the ZIP packages is for libkvx.so: libkvxzip.so beside it, loaded
// the first time a package is opened, so that documents of other formats never map libzip
// and libcrypto. The static builds use zip_direct.cpp instead.
#include <dlfcn.h>

#include <string>

#include "filters/framework/readers/zip_archive.h"

namespace kvx::readers {

const KvxZipFunctions* zip_functions() {
  static const KvxZipFunctions* table = [] () -> const KvxZipFunctions* {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&zip_functions), &info) == 0 || info.dli_fname == nullptr) return nullptr;
    std::string dir = info.dli_fname;
    size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    void* lib = dlopen((dir + "/libkvxzip.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return nullptr;
    auto get = reinterpret_cast<const KvxZipFunctions* (*)()>(dlsym(lib, "kvxzip_functions"));
    return get ? get() : nullptr;
  }();
  return table;
}

}  // namespace kvx::readers
