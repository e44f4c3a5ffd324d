// The open-document table behind the PGLT_ functions (paglet.cpp): 128 slots, each
// with an open PgxDocument, its page-text cache and its page-unpacking state. The
// exported functions are thin wrappers over one instance, so tests can make their own.
#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "pagedoc/pgx_document.h"

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

  // The document in an open slot, or null.
  PgxDocument* document(int handle);

 private:
  struct Slot {
    std::unique_ptr<PgxDocument> doc;
    std::vector<std::string> texts;  // cached page texts
    std::vector<bool> extracted;
    PageUnpackState unpack;
  };

  bool is_open(int handle) const;
  bool valid_page(int handle, int page) const;
  // Extracts and caches a page's text; false when it cannot be extracted.
  bool ensure_text(int handle, int page);

  std::array<Slot, kSlots> slots_;
};

}  // namespace qm::pgx
