// The PDF text extractor's plain interface: poppler's part of the PDF reader, kept apart so
// that libkvx.so maps poppler (and the thirty libraries behind it) only when a PDF is
// opened. pdf_extract.cpp implements it; pdf_reader.cpp turns what it reports into chunks;
// pdf_direct.cpp (static builds) and pdf_module.cpp (libkvx.so, over libkvxpdf.so) say
// where the extractor is.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

// What the extractor reports, in order: the info properties (number, UTF-8 text), then
// every page (index, page count, UTF-8 text or null for a page poppler cannot make).
// page returns 0 to stop.
struct KvxPdfSink {
  void* context;
  void (*property)(void* context, uint32_t number, const char* utf8, size_t size);
  int (*page)(void* context, int index, int count, const char* utf8, size_t size);
};

// KVX_OK, KVXERR_BADFORMAT (not loadable) or KVXERR_ENCRYPTED (needs a password).
typedef int (*KvxPdfExtractFn)(const char* data, size_t size, const KvxPdfSink* sink);

// The extractor, exported under this name by libkvxpdf.so.
__attribute__((visibility("default"))) int kvxpdf_extract(const char* data, size_t size, const KvxPdfSink* sink);
}

namespace kvx::readers {
// The extractor, or null when it cannot be loaded.
KvxPdfExtractFn pdf_extractor();
}  // namespace kvx::readers
