// libpaglet.so as an outside program sees it: loaded with dlopen from the dist folder
// once per test run, its exports bound by name (paglet_functions.h). A missing library
// or export fails the test that asked for it.
#pragma once
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "pagedoc/paglet_functions.h"

namespace qm::pgx {

struct Paglet : PagletFunctions {
  void* lib = nullptr;

  Paglet() {
    std::string path = std::string(QM_DIST_DIR) + "/libpaglet.so";
    lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      ADD_FAILURE() << "dlopen " << path << ": " << ::dlerror();
      return;
    }
    for (const std::string& name : paglet_bind(lib, *this)) ADD_FAILURE() << "missing export " << name;
  }
};

// The one loaded library of the run.
inline Paglet& paglet() {
  static Paglet p;
  return p;
}

}  // namespace qm::pgx
