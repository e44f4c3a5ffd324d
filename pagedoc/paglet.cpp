// The exported PGLT_ functions of libpaglet.so (paglet.h): thin wrappers over the one
// DocumentTable of the process (paglet_table.h), created by PGLT_StartUp and
// destroyed by PGLT_End. No exception leaves the library.
#include "pagedoc/paglet.h"

#include <memory>
#include <new>

#include "pagedoc/paglet_table.h"

namespace {

std::unique_ptr<qm::pgx::DocumentTable> g_table;

}  // namespace

extern "C" {

PGLT_API int PGLT_StartUp(void) {
  g_table.reset();
  g_table.reset(new (std::nothrow) qm::pgx::DocumentTable);
  return g_table ? 0 : PGLT_ERR_NOMEMORY;
}

PGLT_API void PGLT_End(void) { g_table.reset(); }

PGLT_API int PGLT_OpenPGX(const char* path) {
  if (!g_table) return PGLT_ERR_NOMEMORY;
  if (!path) return PGLT_ERR_OPEN;
  try {
    return g_table->open(path);
  } catch (const std::bad_alloc&) {
    return PGLT_ERR_NOMEMORY;
  }
}

PGLT_API int PGLT_ClosePGX(int handle) { return g_table ? g_table->close(handle) : 0; }

PGLT_API int PGLT_GetPageCount(int handle) { return g_table ? g_table->page_count(handle) : PGLT_ERR_HANDLE; }

PGLT_API int PGLT_GetTextInPage(int handle, int page, char* buffer, int size) {
  return g_table ? g_table->text(handle, page, buffer, size) : PGLT_ERR_PAGE;
}

PGLT_API int PGLT_GetTextLengthInPage(int handle, int page) {
  return g_table ? g_table->text_length(handle, page) : PGLT_ERR_PAGE;
}

PGLT_API int PGLT_GetKeywordStruct(int handle) { return g_table ? g_table->load_keywords(handle) : 0; }

PGLT_API int PGLT_ReleaseKeywordStruct(int handle) { return g_table ? g_table->release_keywords(handle) : 0; }

PGLT_API int PGLT_GetDocumentID(int handle, char* buffer, int size) {
  return g_table ? g_table->document_id(handle, buffer, size) : 0;
}

PGLT_API int PGLT_GetKeywordCount(int handle) { return g_table ? g_table->keyword_count(handle) : 0; }

PGLT_API int PGLT_GetKeyword(int handle, int index, char* buffer, int size) {
  return g_table ? g_table->keyword(handle, index, buffer, size) : 0;
}

PGLT_API int PGLT_GetNoteStructInPage(int handle, int page) {
  return g_table ? g_table->load_notes(handle, page) : PGLT_ERR_PAGE;
}

PGLT_API int PGLT_ReleaseNoteStructInPage(int handle, int page) {
  return g_table ? g_table->release_notes(handle, page) : PGLT_ERR_OTHERPAGE;
}

PGLT_API int PGLT_GetNoteTitleLengthInPage(int handle, int page, int index) {
  return g_table ? g_table->note_title_length(handle, page, index) : PGLT_ERR_NOSTRUCT;
}

PGLT_API int PGLT_GetNoteTextLengthInPage(int handle, int page, int index) {
  return g_table ? g_table->note_text_length(handle, page, index) : PGLT_ERR_NOSTRUCT;
}

PGLT_API int PGLT_GetNoteTitleInPage(int handle, int page, int index, char* buffer, int size) {
  return g_table ? g_table->note_title(handle, page, index, buffer, size) : PGLT_ERR_NOSTRUCT;
}

PGLT_API int PGLT_GetNoteTextInPage(int handle, int page, int index, char* buffer, int size) {
  return g_table ? g_table->note_text(handle, page, index, buffer, size) : PGLT_ERR_NOSTRUCT;
}

PGLT_API int PGLT_GetAuthorTitleDescription(int handle, char* author, int author_size, char* title, int title_size,
                                            char* description, int description_size) {
  if (!g_table) return 0;
  return g_table->author_title_description(handle, author, author_size, title, title_size, description,
                                           description_size);
}

}  // extern "C"
