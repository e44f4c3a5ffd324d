// The PDF reader over poppler-cpp: one wp section; the info dictionary's Title, Subject,
// Author and Keywords as properties; each page's text in reading order, one paragraph
// per line, and a page break item after every page but the last. A
// document that needs a password is refused with KVXERR_ENCRYPTED; one that poppler
// cannot load at all is KVXERR_BADFORMAT. poppler's own messages are kept off stderr.
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <climits>
#include <memory>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {
void quiet(const std::string&, void*) {}
}  // namespace

KVXSTATUS read_pdf(std::string_view bytes, ChunkBuilder& out) {
  if (bytes.size() > size_t(INT_MAX)) return KVXERR_BADFORMAT;
  poppler::set_debug_error_function(quiet, nullptr);
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_raw_data(bytes.data(), int(bytes.size())));
  if (!doc) return KVXERR_BADFORMAT;
  if (doc->is_locked()) return KVXERR_ENCRYPTED;
  DocWriter w(out);
  w.section();
  static const std::pair<const char*, uint32_t> kInfo[] = {
      {"Title", 6}, {"Subject", 5}, {"Author", 4}, {"Keywords", 2}};
  for (auto [key, number] : kInfo) {
    poppler::byte_array v = doc->info_key(key).to_utf8();
    w.property(number, decode(std::string_view(v.data(), v.size()), SourceEncoding::Utf8));
  }
  int pages = doc->pages();
  for (int i = 0; i < pages && !w.failed(); ++i) {
    std::unique_ptr<poppler::page> page(doc->create_page(i));
    if (page) {
      poppler::byte_array utf8 = page->text(poppler::rectf(), poppler::page::physical_layout).to_utf8();
      std::vector<uint16_t> units = decode(std::string_view(utf8.data(), utf8.size()), SourceEncoding::Utf8);
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
    if (i + 1 < pages) w.page_break();
  }
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
