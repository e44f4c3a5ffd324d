// libzip's part of the ZIP packages, behind a plain table of functions, so that libkvx.so
// maps libzip (and libcrypto behind it) only when an OOXML or ODF package is opened.
// zip_archive.cpp implements it; zip_package.cpp reads parts through it; zip_direct.cpp
// (static builds) and zip_module.cpp (libkvx.so, over libkvxzip.so) say where it is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {

struct KvxZipFunctions {
  // The archive over bytes that outlive it; null when they are no ZIP archive.
  void* (*open)(const char* data, size_t size);
  void (*close)(void* archive);
  // Entries in the archive (negative when unknown), an entry's name (null when it has
  // none), and the index of a name (negative when absent).
  int64_t (*count)(void* archive);
  const char* (*name)(void* archive, uint64_t index);
  int64_t (*locate)(void* archive, const char* name);
  // An entry's bytes into out, at most cap of them: KVX_OK, KVXERR_ENCRYPTED or
  // KVXERR_BADFORMAT (larger than cap, or damaged before anything was read).
  int (*read)(void* archive, uint64_t index, uint64_t cap, std::string* out);
};

// The table, exported under this name by libkvxzip.so.
__attribute__((visibility("default"))) const KvxZipFunctions* kvxzip_functions();
}

namespace kvx::readers {
// The table, or null when it cannot be loaded.
const KvxZipFunctions* zip_functions();
}  // namespace kvx::readers
