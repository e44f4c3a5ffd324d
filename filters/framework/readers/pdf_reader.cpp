// The PDF reader over poppler-cpp: one wp section; the info dictionary's Title, Subject,
// Author and Keywords as properties; each page's text in reading order, one paragraph
// per line, and a page break item after every page but the last. A
// document that needs a password is refused with KVXERR_ENCRYPTED; one that poppler
// cannot load at all is KVXERR_BADFORMAT. poppler's part is pdf_extract.cpp, reached
// through pdf_extractor() (KVXERR_NOTOOL when libkvxpdf.so cannot be loaded).
#include <climits>
#include <vector>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/pdf_extract.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {

// The section opens at the first thing reported, so a document poppler refuses leaves
// nothing behind.
struct PdfContext {
  DocWriter w;
  bool started = false;
  DocWriter& begin() {
    if (!started) w.section();
    started = true;
    return w;
  }
};

void on_property(void* context, uint32_t number, const char* utf8, size_t size) {
  static_cast<PdfContext*>(context)->begin().property(number, decode(std::string_view(utf8, size), SourceEncoding::Utf8));
}

int on_page(void* context, int index, int count, const char* utf8, size_t size) {
  DocWriter& w = static_cast<PdfContext*>(context)->begin();
  if (w.failed()) return 0;
  if (utf8 != nullptr) {
    std::vector<uint16_t> units = decode(std::string_view(utf8, size), SourceEncoding::Utf8);
    size_t start = 0;
    for (size_t k = 0; k <= units.size() && !w.failed(); ++k) {
      bool end = k == units.size();
      if (!end && units[k] != '\n' && units[k] != '\f') continue;
      if (k > start) {
        size_t e = k;
        if (units[e - 1] == '\r') --e;
        w.text(std::vector<uint16_t>(units.begin() + long(start), units.begin() + long(e)));
        w.paragraph();
      }
      start = k + 1;
    }
  }
  if (index + 1 < count) w.page_break();
  return w.failed() ? 0 : 1;
}

}  // namespace

KVXSTATUS read_pdf(std::string_view bytes, ChunkBuilder& out) {
  if (bytes.size() > size_t(INT_MAX)) return KVXERR_BADFORMAT;
  KvxPdfExtractFn extract = pdf_extractor();
  if (extract == nullptr) return KVXERR_NOTOOL;
  PdfContext context{DocWriter(out)};
  KvxPdfSink sink{&context, &on_property, &on_page};
  int status = extract(bytes.data(), bytes.size(), &sink);
  if (status != KVX_OK) return status;
  DocWriter& w = context.begin();
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
