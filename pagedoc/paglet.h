/* paglet: page-document text extraction. An outside program opens PGX page documents
 * and gets their page count, each page's plain text, the document's ID and keywords,
 * the notes on each page, and the document's author, title and description. Handles
 * are small integers 0-127; pages are numbered from 1. Call PGLT_StartUp first and
 * PGLT_End last; calls come from one thread at a time.
 *
 * The keyword record and the note block are held by the library, at most one of each
 * at a time: load one, read it, give it back with its release function. One left
 * loaded for a closed document is dropped when its handle is given to another
 * document. */
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
  PGLT_ERR_BUFFER = -8,     /* the note block cannot be allocated */
  PGLT_ERR_BUSY = -9,       /* a note block is loaded already */
  PGLT_ERR_NONOTES = -10,   /* the page has no notes */
  PGLT_ERR_OTHERPAGE = -11, /* the loaded note block belongs to another handle or page */
  PGLT_ERR_INDEX = -12,     /* the note index is negative or not below the note count */
  PGLT_ERR_NOSTRUCT = -13   /* no note block is loaded */
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

/* Keywords. PGLT_GetKeywordStruct loads the document's keyword record: 1, or 0 when the
 * handle is not open, a record is loaded already (for any handle), or the document has
 * no record (or one shorter than its lengths say). PGLT_ReleaseKeywordStruct gives it
 * back: 1, or 0 when none is loaded for this handle. */
PGLT_API int PGLT_GetKeywordStruct(int handle);
PGLT_API int PGLT_ReleaseKeywordStruct(int handle);
/* Copies min(ID length, size) bytes of the document ID and a NUL after them (the buffer
 * holds size + 1 bytes): 1, or 0 when no record is loaded for this handle, the buffer
 * is null or size is negative. */
PGLT_API int PGLT_GetDocumentID(int handle, char* buffer, int size);
/* The keyword count, or 0 when no record is loaded for this handle. */
PGLT_API int PGLT_GetKeywordCount(int handle);
/* Keyword `index` (from 0) as PGLT_GetDocumentID copies the ID: 1, or 0 when no record
 * is loaded for this handle or index is outside 0..count-1. */
PGLT_API int PGLT_GetKeyword(int handle, int index, char* buffer, int size);

/* Notes. PGLT_GetNoteStructInPage loads the notes of one page: the note count, or -5,
 * -8, -9, -10. PGLT_ReleaseNoteStructInPage gives them back: 0, or -11 when no block
 * is loaded for this handle and page. */
PGLT_API int PGLT_GetNoteStructInPage(int handle, int page);
PGLT_API int PGLT_ReleaseNoteStructInPage(int handle, int page);
/* Note `index` (from 0) of the loaded block; each gives -13 when none is loaded, -11
 * when it belongs to another handle or page, -12 for a bad index. The lengths are in
 * bytes; the copies take min(size - 1, length) bytes and a NUL and return the count
 * (0, with nothing written, when size < 1 or the buffer is null). */
PGLT_API int PGLT_GetNoteTitleLengthInPage(int handle, int page, int index);
PGLT_API int PGLT_GetNoteTextLengthInPage(int handle, int page, int index);
PGLT_API int PGLT_GetNoteTitleInPage(int handle, int page, int index, char* buffer, int size);
PGLT_API int PGLT_GetNoteTextInPage(int handle, int page, int index, char* buffer, int size);

/* Fills each given (non-null) buffer with at most size - 1 bytes and a NUL: author,
 * title, description. 1, or 0 when the handle is not open or a given size is below 1. */
PGLT_API int PGLT_GetAuthorTitleDescription(int handle, char* author, int author_size, char* title,
                                            int title_size, char* description, int description_size);

#ifdef __cplusplus
}
#endif

#endif
