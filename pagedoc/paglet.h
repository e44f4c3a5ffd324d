/* paglet: page-document text extraction. An outside program opens PGX page documents
 * and gets their page count, each page's plain text, and the document's author, title
 * and description. Handles are small integers 0-127; pages are numbered from 1.
 * Call PGLT_StartUp first and PGLT_End last; calls come from one thread at a time. */
#ifndef QM_PAGEDOC_PAGLET_H
#define QM_PAGEDOC_PAGLET_H

#ifdef __cplusplus
extern "C" {
#endif

#define PGLT_API __attribute__((visibility("default")))

enum {
  PGLT_ERR_NOMEMORY = -1,   /* an object cannot be allocated (or the library is not started) */
  PGLT_ERR_NOSLOT = -2,     /* all 128 handles are in use */
  PGLT_ERR_OPEN = -3,       /* not openable, not a PGX document, or its page table is unreadable */
  PGLT_ERR_HANDLE = -4,     /* the handle is outside 0-127 or not open */
  PGLT_ERR_PAGE = -5,       /* bad handle, or page outside 1..page count */
  PGLT_ERR_EXTRACT = -6,    /* the page's text cannot be extracted */
  PGLT_ERR_REFUSED = -7,    /* the document carries a restricted info item */
  PGLT_ERR_BUFFER = -8,
  PGLT_ERR_BUSY = -9,
  PGLT_ERR_NONOTES = -10,
  PGLT_ERR_OTHERPAGE = -11,
  PGLT_ERR_INDEX = -12,
  PGLT_ERR_NOSTRUCT = -13
};

#define PGLT_MAX_DOCUMENTS 128

/* 0, or -1. Starting again discards every open document. */
PGLT_API int PGLT_StartUp(void);
/* Closes every open document and frees the library's state. */
PGLT_API void PGLT_End(void);
/* A handle 0-127, or -1, -2, -3, -7. */
PGLT_API int PGLT_OpenPGX(const char* path);
/* 1 after a close; 0 when the handle is not open. */
PGLT_API int PGLT_ClosePGX(int handle);
/* The page count, or -4. */
PGLT_API int PGLT_GetPageCount(int handle);
/* Copies min(size, text length) bytes of the page's text (no terminator) and returns
 * the count; 0 when size < 1; -5 or -6 on failure. */
PGLT_API int PGLT_GetTextInPage(int handle, int page, char* buffer, int size);
/* The page text's length in bytes, or -5, -6. */
PGLT_API int PGLT_GetTextLengthInPage(int handle, int page);
/* Fills each given (non-null) buffer with at most size - 1 bytes and a NUL: author,
 * title, description. 1, or 0 when the handle is not open or a given size is below 1. */
PGLT_API int PGLT_GetAuthorTitleDescription(int handle, char* author, int author_size, char* title,
                                            int title_size, char* description, int description_size);

#ifdef __cplusplus
}
#endif

#endif
