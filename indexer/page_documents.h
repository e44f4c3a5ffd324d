// Page documents (PGX) for the index builder. libpaglet.so is loaded at run time by its
// path in the program directory and started once (PagletLibrary); each document is read
// through its PGLT_ functions (PageDocumentReader): the document's title, author,
// description, document ID and keywords, then page by page the page's text and notes.
// page_document_paragraphs turns one page into the paragraph list of one indexed
// document, which the builder (builder.cpp) stores under page_document_path: the file's
// path, "??p=" and the page number. The desktop's result list shows that entry as
// "name.pgx(3)" and its property build cuts it at "??".
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "indexer/text_blocks.h"
#include "pagedoc/paglet_functions.h"

namespace qm {

// The library file's name in the program directory.
inline constexpr const char* kPagletLibraryName = "libpaglet.so";

// "<path>??p=<page>": the stored path of one page's document.
std::string page_document_path(const std::string& path, int page);

class PagletLibrary {
 public:
  using Functions = PagletFunctions;

  PagletLibrary() = default;
  ~PagletLibrary();  // PGLT_End, then the library is unloaded
  PagletLibrary(const PagletLibrary&) = delete;
  PagletLibrary& operator=(const PagletLibrary&) = delete;

  // Loads the library file, finds every function and starts it (PGLT_StartUp); false
  // with the reason, and nothing stays loaded.
  bool load(const std::string& library_path, std::string& error);
  bool ready() const { return started_; }
  const Functions& fn() const { return f_; }

 private:
  void unload();
  void* handle_ = nullptr;
  bool started_ = false;
  Functions f_;
};

struct PageNote {
  std::string title, text;  // as the document holds them (8-bit)
};

struct PageDocumentInfo {
  std::string title, author, description;
  std::string id;  // document ID; empty when the document has no keyword record
  std::vector<std::string> keywords;
  int page_count = 0;
};

struct PageContent {
  int number = 0;
  std::string text;  // ASCII/Big5, "\r\n" after each text record
  std::vector<PageNote> notes;
  bool cut = false;  // the text or a note was longer than the limit: its start was taken
};

// One open document; closed when the reader goes.
class PageDocumentReader {
 public:
  explicit PageDocumentReader(const PagletLibrary& library) : lib_(library) {}
  ~PageDocumentReader();
  PageDocumentReader(const PageDocumentReader&) = delete;
  PageDocumentReader& operator=(const PageDocumentReader&) = delete;

  // Opens the document and reads its info and keywords; false with the reason.
  bool open(const std::string& path, std::string& error);
  const PageDocumentInfo& info() const { return info_; }
  // Page 1..page count: its text (at most max_text_bytes) and its notes (each title and
  // text at most max_text_bytes). False when the page's text cannot be extracted.
  bool read_page(int page, PageContent& out, std::size_t max_text_bytes);

 private:
  void read_info();
  void read_keywords();
  const PagletLibrary& lib_;
  int handle_ = -1;
  PageDocumentInfo info_;
};

// The reason for a PGLT_OpenPGX failure code, for a status line.
std::string page_document_open_error(int code);

// The paragraphs of one page's indexed document: [0] the title, then the page's text in
// paragraphs, then each note's title and text. The first page also carries what belongs
// to the whole document: its title is the document's title (the file name when it has
// none), and the description, author, document ID and each keyword follow as
// paragraphs of their own; so a search for them finds the document once, at page 1.
// Other pages take their title from their own first line. Empty for a page with
// neither text nor notes (other than the first page, which is always indexed).
ExtractedDocument page_document_paragraphs(const PageDocumentInfo& info, const PageContent& page,
                                           std::string_view file_name, bool first_page);

}  // namespace qm
