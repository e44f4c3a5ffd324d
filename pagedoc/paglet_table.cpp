// The open-document table (paglet_table.h).
#include "pagedoc/paglet_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pagedoc/paglet.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_pagetext.h"

namespace qm::pgx {

bool DocumentTable::is_open(int handle) const {
  return handle >= 0 && handle < kSlots && slots_[size_t(handle)].doc != nullptr;
}

PgxDocument* DocumentTable::document(int handle) { return is_open(handle) ? slots_[size_t(handle)].doc.get() : nullptr; }

bool DocumentTable::valid_page(int handle, int page) const {
  return is_open(handle) && page >= 1 && page <= slots_[size_t(handle)].doc->page_count();
}

int DocumentTable::open(const std::string& path) {
  int handle = -1;
  for (int i = 0; i < kSlots && handle < 0; ++i)
    if (!slots_[size_t(i)].doc) handle = i;
  if (handle < 0) return PGLT_ERR_NOSLOT;

  std::unique_ptr<PgxDocument> doc(new (std::nothrow) PgxDocument);
  if (!doc) return PGLT_ERR_NOMEMORY;
  try {
    if (!doc->open(path)) return PGLT_ERR_OPEN;  // the document removes its working copy
    if (!doc->info_item(kInfoRestricted).empty()) return PGLT_ERR_REFUSED;
    Slot& s = slots_[size_t(handle)];
    s.texts.assign(size_t(doc->page_count()), std::string());
    s.extracted.assign(size_t(doc->page_count()), false);
    s.unpack = PageUnpackState{};
    s.doc = std::move(doc);
  } catch (const std::bad_alloc&) {
    return PGLT_ERR_NOMEMORY;
  }
  return handle;
}

int DocumentTable::close(int handle) {
  if (!is_open(handle)) return 0;
  Slot& s = slots_[size_t(handle)];
  s.doc.reset();  // closes the files and removes the working copy
  s.texts.clear();
  s.texts.shrink_to_fit();
  s.extracted.clear();
  s.unpack = PageUnpackState{};
  return 1;
}

void DocumentTable::close_all() {
  for (int i = 0; i < kSlots; ++i) close(i);
}

int DocumentTable::page_count(int handle) const {
  if (!is_open(handle)) return PGLT_ERR_HANDLE;
  return slots_[size_t(handle)].doc->page_count();
}

bool DocumentTable::ensure_text(int handle, int page) {
  Slot& s = slots_[size_t(handle)];
  size_t i = size_t(page - 1);
  if (s.extracted[i]) return true;
  std::string text;
  try {
    text.reserve(1024);
    if (!page_text(*s.doc, page, s.unpack, text)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (text.size() > size_t(INT32_MAX)) return false;  // lengths are handed out as int
  s.texts[i] = std::move(text);
  s.extracted[i] = true;
  return true;
}

int DocumentTable::text_length(int handle, int page) {
  if (!valid_page(handle, page)) return PGLT_ERR_PAGE;
  if (!ensure_text(handle, page)) return PGLT_ERR_EXTRACT;
  return int(slots_[size_t(handle)].texts[size_t(page - 1)].size());
}

int DocumentTable::text(int handle, int page, char* buffer, int size) {
  if (!valid_page(handle, page)) return PGLT_ERR_PAGE;
  if (!ensure_text(handle, page)) return PGLT_ERR_EXTRACT;
  if (size < 1 || !buffer) return 0;
  const std::string& t = slots_[size_t(handle)].texts[size_t(page - 1)];
  size_t n = std::min(size_t(size), t.size());
  std::memcpy(buffer, t.data(), n);
  return int(n);
}

int DocumentTable::author_title_description(int handle, char* author, int author_size, char* title,
                                            int title_size, char* description, int description_size) {
  if (!is_open(handle)) return 0;
  const PgxDocument& doc = *slots_[size_t(handle)].doc;
  struct Item {
    char* buf;
    int size;
    uint16_t id;
  };
  const Item items[] = {{author, author_size, kInfoAuthor},
                        {title, title_size, kInfoTitle},
                        {description, description_size, kInfoDescription}};
  try {
    for (const Item& it : items) {
      if (!it.buf) continue;
      if (it.size < 1) return 0;
      std::string text = doc.info_item(it.id);
      size_t n = std::min(text.size(), size_t(it.size - 1));
      std::memcpy(it.buf, text.data(), n);
      it.buf[n] = '\0';
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

}  // namespace qm::pgx
