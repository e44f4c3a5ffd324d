// The open-document table behind the PGLT_ functions (paglet.cpp): 128 slots, each
// with an open PgxDocument, its page objects (pgx_index.h), its page-text cache and
// its page-unpacking state; beside them the one loaded keyword record and the one
// loaded note block (note_struct.h). The exported functions are thin wrappers over one
// instance, so tests can make their own.
#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "pagedoc/note_struct.h"
#include "pagedoc/pgx_document.h"
#include "pagedoc/pgx_index.h"

namespace qm::pgx {

class DocumentTable {
 public:
  static constexpr int kSlots = 128;

  DocumentTable() = default;
  ~DocumentTable() { close_all(); }
  DocumentTable(const DocumentTable&) = delete;
  DocumentTable& operator=(const DocumentTable&) = delete;

  // The PGLT_ operations; results as the public header (paglet.h) states.
  int open(const std::string& path);
  int close(int handle);
  void close_all();
  int page_count(int handle) const;
  int text_length(int handle, int page);
  int text(int handle, int page, char* buffer, int size);
  int author_title_description(int handle, char* author, int author_size, char* title, int title_size,
                               char* description, int description_size);

  // Keyword record: at most one loaded, for one handle.
  int load_keywords(int handle);
  int release_keywords(int handle);
  int document_id(int handle, char* buffer, int size) const;
  int keyword_count(int handle) const;
  int keyword(int handle, int index, char* buffer, int size) const;

  // Note block: at most one loaded, for one handle and page.
  int load_notes(int handle, int page);
  int release_notes(int handle, int page);
  int note_title_length(int handle, int page, int index) const;
  int note_text_length(int handle, int page, int index) const;
  int note_title(int handle, int page, int index, char* buffer, int size) const;
  int note_text(int handle, int page, int index, char* buffer, int size) const;

  // The document in an open slot, or null.
  PgxDocument* document(int handle);
  // The page objects of an open slot, or null.
  const PgxPageObjects* page_objects(int handle) const;

 private:
  struct Slot {
    std::unique_ptr<PgxDocument> doc;
    std::vector<std::string> texts;  // cached page texts
    std::vector<bool> extracted;
    PageUnpackState unpack;
    PgxPageObjects objects;
  };
  struct LoadedKeywords {
    int handle = -1;  // -1: none loaded
    std::string record;
    KeywordLayout layout;
  };
  struct LoadedNotes {
    int handle = -1, page = -1;  // both -1: none loaded
    NoteStruct block;
  };

  bool is_open(int handle) const;
  bool valid_page(int handle, int page) const;
  // Extracts and caches a page's text; false when it cannot be extracted.
  bool ensure_text(int handle, int page);
  // The loaded record when it belongs to `handle`, else null.
  const LoadedKeywords* keywords_of(int handle) const;
  // Checks a note accessor's arguments: 0 when they name a loaded note, else its code.
  int check_note(int handle, int page, int index) const;
  static int copy_note(std::string_view s, char* buffer, int size);

  std::array<Slot, kSlots> slots_;
  LoadedKeywords keywords_;
  LoadedNotes notes_;
};

}  // namespace qm::pgx
