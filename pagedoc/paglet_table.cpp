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

const PgxPageObjects* DocumentTable::page_objects(int handle) const {
  return is_open(handle) ? &slots_[size_t(handle)].objects : nullptr;
}

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
    PgxPageObjects objects;
    objects.load(*doc);  // a document whose page objects cannot be read still opens
    Slot& s = slots_[size_t(handle)];
    s.texts.assign(size_t(doc->page_count()), std::string());
    s.extracted.assign(size_t(doc->page_count()), false);
    s.unpack = PageUnpackState{};
    s.objects = std::move(objects);
    s.doc = std::move(doc);
  } catch (const std::bad_alloc&) {
    Slot& s = slots_[size_t(handle)];
    s.texts.clear();
    s.extracted.clear();
    return PGLT_ERR_NOMEMORY;
  }
  // A keyword record or note block still loaded for the slot's previous document
  // belongs to that document; it goes now, so the new one starts with none loaded.
  if (keywords_.handle == handle) keywords_ = LoadedKeywords{};
  if (notes_.handle == handle) {
    notes_.block.release();
    notes_.handle = notes_.page = -1;
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
  s.objects.release();
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

// ---- Keyword record ------------------------------------------------------------------

const DocumentTable::LoadedKeywords* DocumentTable::keywords_of(int handle) const {
  return keywords_.handle >= 0 && keywords_.handle == handle ? &keywords_ : nullptr;
}

int DocumentTable::load_keywords(int handle) {
  if (!is_open(handle) || keywords_.handle >= 0) return 0;
  const PgxDocument& doc = *slots_[size_t(handle)].doc;
  if (doc.document_fd() < 0) return 0;
  try {
    LoadedKeywords k;
    if (!load_keyword_record(doc, k.record, k.layout)) return 0;
    k.handle = handle;
    keywords_ = std::move(k);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

int DocumentTable::release_keywords(int handle) {
  if (!keywords_of(handle)) return 0;
  keywords_ = LoadedKeywords{};
  return 1;
}

namespace {

// Copies min(length, size) bytes and a NUL after them: the buffer holds size + 1 bytes.
int copy_keyword_text(const std::string& record, const KeywordLayout::Span& span, char* buffer, int size) {
  if (!buffer || size < 0) return 0;
  size_t n = std::min(span.length, size_t(size));
  std::memcpy(buffer, record.data() + span.at, n);
  buffer[n] = '\0';
  return 1;
}

}  // namespace

int DocumentTable::document_id(int handle, char* buffer, int size) const {
  const LoadedKeywords* k = keywords_of(handle);
  return k ? copy_keyword_text(k->record, k->layout.id, buffer, size) : 0;
}

int DocumentTable::keyword_count(int handle) const {
  const LoadedKeywords* k = keywords_of(handle);
  return k ? int(k->layout.keywords.size()) : 0;
}

int DocumentTable::keyword(int handle, int index, char* buffer, int size) const {
  const LoadedKeywords* k = keywords_of(handle);
  if (!k || index < 0 || size_t(index) >= k->layout.keywords.size()) return 0;
  return copy_keyword_text(k->record, k->layout.keywords[size_t(index)], buffer, size);
}

// ---- Note block ----------------------------------------------------------------------

int DocumentTable::load_notes(int handle, int page) {
  if (notes_.block.loaded()) return PGLT_ERR_BUSY;
  if (!valid_page(handle, page)) return PGLT_ERR_PAGE;
  try {
    std::vector<const PgxNote*> notes = slots_[size_t(handle)].objects.notes_of_page(page);
    if (notes.empty()) return PGLT_ERR_NONOTES;
    if (!notes_.block.build(notes)) return PGLT_ERR_BUFFER;
  } catch (const std::bad_alloc&) {
    return PGLT_ERR_BUFFER;
  }
  notes_.handle = handle;
  notes_.page = page;
  return notes_.block.count();
}

int DocumentTable::release_notes(int handle, int page) {
  // With nothing loaded there is nothing to give back, whatever pair is named.
  if (!notes_.block.loaded() || handle != notes_.handle || page != notes_.page) return PGLT_ERR_OTHERPAGE;
  notes_.block.release();
  notes_.handle = notes_.page = -1;
  return 0;
}

int DocumentTable::check_note(int handle, int page, int index) const {
  if (!notes_.block.loaded()) return PGLT_ERR_NOSTRUCT;
  if (handle != notes_.handle || page != notes_.page) return PGLT_ERR_OTHERPAGE;
  if (index < 0 || index >= notes_.block.count()) return PGLT_ERR_INDEX;
  return 0;
}

int DocumentTable::copy_note(std::string_view s, char* buffer, int size) {
  if (!buffer || size < 1) return 0;
  size_t n = std::min(s.size(), size_t(size - 1));
  std::memcpy(buffer, s.data(), n);
  buffer[n] = '\0';
  return int(n);
}

int DocumentTable::note_title_length(int handle, int page, int index) const {
  int rc = check_note(handle, page, index);
  return rc != 0 ? rc : int(notes_.block.title(index).size());
}

int DocumentTable::note_text_length(int handle, int page, int index) const {
  int rc = check_note(handle, page, index);
  return rc != 0 ? rc : int(notes_.block.text(index).size());
}

int DocumentTable::note_title(int handle, int page, int index, char* buffer, int size) const {
  int rc = check_note(handle, page, index);
  return rc != 0 ? rc : copy_note(notes_.block.title(index), buffer, size);
}

int DocumentTable::note_text(int handle, int page, int index, char* buffer, int size) const {
  int rc = check_note(handle, page, index);
  return rc != 0 ? rc : copy_note(notes_.block.text(index), buffer, size);
}

}  // namespace qm::pgx
