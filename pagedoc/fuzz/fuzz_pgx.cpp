// libFuzzer target: the PGX page-document reader through paglet's flat functions, as the
// indexer calls them: the directory, page and info tables, packed streams unpacked page
// by page, every page's text, the keyword record, each page's notes, and the author,
// title and description. Built with clang by scripts/fuzz; testsupport/fuzz_replay.cpp
// runs the committed corpus in CTest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pagedoc/paglet.h"
#include "testsupport/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = PGLT_StartUp() == 0;
  if (!started) std::abort();
  qm::fuzz::MemFile file(data, size);
  int h = PGLT_OpenPGX(file.path().c_str());
  if (h < 0) return 0;
  std::vector<char> buf(4096);
  const int pages = PGLT_GetPageCount(h);
  for (int p = 1; p <= pages && p <= 64; ++p) {
    PGLT_GetTextLengthInPage(h, p);
    PGLT_GetTextInPage(h, p, buf.data(), int(buf.size()));
    const int notes = PGLT_GetNoteStructInPage(h, p);
    if (notes >= 0) {
      for (int i = 0; i < notes && i < 64; ++i) {
        PGLT_GetNoteTitleLengthInPage(h, p, i);
        PGLT_GetNoteTextLengthInPage(h, p, i);
        PGLT_GetNoteTitleInPage(h, p, i, buf.data(), int(buf.size()));
        PGLT_GetNoteTextInPage(h, p, i, buf.data(), int(buf.size()));
      }
      PGLT_ReleaseNoteStructInPage(h, p);
    }
  }
  if (PGLT_GetKeywordStruct(h) == 1) {
    PGLT_GetDocumentID(h, buf.data(), int(buf.size()) - 1);  // the NUL goes after size bytes
    const int keywords = PGLT_GetKeywordCount(h);
    for (int k = 0; k < keywords && k < 256; ++k) PGLT_GetKeyword(h, k, buf.data(), int(buf.size()) - 1);
    PGLT_ReleaseKeywordStruct(h);
  }
  char author[256], title[256], description[1024];
  PGLT_GetAuthorTitleDescription(h, author, sizeof author, title, sizeof title, description, sizeof description);
  PGLT_ClosePGX(h);
  return 0;
}
