// poppler's part of the PDF reader: the info dictionary's Title, Subject, Author and
// Keywords and each page's text in reading order, as UTF-8, through pdf_extract.h's sink.
// Built into libkvxpdf.so (loaded by pdf_module.cpp) and into the static kvx_core.
// poppler's own messages are kept off stderr.
#include "filters/framework/readers/pdf_extract.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <climits>
#include <memory>

#include "filters/common/kvx_abi.h"

namespace {
void quiet(const std::string&, void*) {}
}  // namespace

extern "C" int kvxpdf_extract(const char* data, size_t size, const KvxPdfSink* sink) {
  if (size > size_t(INT_MAX)) return KVXERR_BADFORMAT;
  poppler::set_debug_error_function(quiet, nullptr);
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_raw_data(data, int(size)));
  if (!doc) return KVXERR_BADFORMAT;
  if (doc->is_locked()) return KVXERR_ENCRYPTED;
  static const std::pair<const char*, uint32_t> kInfo[] = {
      {"Title", 6}, {"Subject", 5}, {"Author", 4}, {"Keywords", 2}};
  for (auto [key, number] : kInfo) {
    poppler::byte_array v = doc->info_key(key).to_utf8();
    sink->property(sink->context, number, v.data(), v.size());
  }
  int pages = doc->pages();
  for (int i = 0; i < pages; ++i) {
    std::unique_ptr<poppler::page> page(doc->create_page(i));
    int go;
    if (page) {
      poppler::byte_array utf8 = page->text(poppler::rectf(), poppler::page::physical_layout).to_utf8();
      go = sink->page(sink->context, i, pages, utf8.data(), utf8.size());
    } else {
      go = sink->page(sink->context, i, pages, nullptr, 0);
    }
    if (!go) break;
  }
  return KVX_OK;
}
