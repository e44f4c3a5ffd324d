// The PGLT_ functions of libpaglet.so as a table of pointers, for programs that load the
// library at run time by its path (dlopen) instead of linking it: the index builder
// (indexer/page_documents.cpp) and the library's own tests. The types come from the
// public header pagedoc/paglet.h; nothing here links the library.
#pragma once
#include <dlfcn.h>

#include <string>
#include <vector>

#include "pagedoc/paglet.h"

namespace qm {

// Every function once, in the order they are looked up (X(name) for PGLT_<name>).
#define QM_PAGLET_FUNCTIONS(X)                                                                \
  X(StartUp) X(End) X(OpenPGX) X(ClosePGX) X(GetPageCount) X(GetTextInPage)                  \
  X(GetTextLengthInPage) X(GetDocumentID) X(GetKeywordCount) X(GetKeyword)                   \
  X(GetKeywordStruct) X(ReleaseKeywordStruct) X(GetNoteStructInPage)                         \
  X(ReleaseNoteStructInPage) X(GetNoteTitleLengthInPage) X(GetNoteTextLengthInPage)          \
  X(GetNoteTitleInPage) X(GetNoteTextInPage) X(GetAuthorTitleDescription)

// One member per function, named without the PGLT_ prefix; null until bound.
struct PagletFunctions {
#define QM_PAGLET_MEMBER(name) decltype(&PGLT_##name) name = nullptr;
  QM_PAGLET_FUNCTIONS(QM_PAGLET_MEMBER)
#undef QM_PAGLET_MEMBER
};

// Looks every function up in a library opened with dlopen and fills f; returns the
// names ("PGLT_...") of those the library lacks, in lookup order (empty: all found).
inline std::vector<std::string> paglet_bind(void* handle, PagletFunctions& f) {
  std::vector<std::string> missing;
#define QM_PAGLET_BIND(name)                                                   \
  f.name = reinterpret_cast<decltype(f.name)>(::dlsym(handle, "PGLT_" #name)); \
  if (f.name == nullptr) missing.push_back("PGLT_" #name);
  QM_PAGLET_FUNCTIONS(QM_PAGLET_BIND)
#undef QM_PAGLET_BIND
  return missing;
}

}  // namespace qm
