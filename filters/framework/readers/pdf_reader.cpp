// The PDF reader over poppler-cpp: one wp section; the info dictionary's Title, Subject,
// Author and Keywords as properties; each page's text in reading order, one paragraph
// per line, and a page break item after every page but the last. A
// document that needs a password is refused with KVXERR_ENCRYPTED; one that poppler
// cannot load at all, or whose object numbers are far beyond what its size can hold, is
// KVXERR_BADFORMAT. poppler's part is pdf_extract.cpp, reached
// through pdf_extractor() (KVXERR_NOTOOL when libkvxpdf.so cannot be loaded).
#include <algorithm>
#include <climits>
#include <cstdint>
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

// poppler sizes its cross-reference table by the largest object number it meets (an
// "N G obj" header when it rebuilds the table of a damaged file, or a /Size entry),
// whatever the file's size: one header "7000000 0 obj" in 5 KB makes it allocate 320 MB.
// A file holds at most a few objects per byte even packed in object streams, so numbers
// past 16 a byte (and past 65,536 for small files) mark a damaged file, refused here.
constexpr uint64_t kObjectsPerByte = 16, kMinObjectBound = 65536;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_pdf_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

// The number that ends at `end` (exclusive) after blanks; false when there is none.
bool number_before(std::string_view s, size_t end, size_t& start, uint64_t& value) {
  while (end > 0 && is_pdf_space(s[end - 1])) --end;
  start = end;
  while (start > 0 && is_digit(s[start - 1])) --start;
  if (start == end) return false;
  value = 0;
  for (size_t k = start; k < end; ++k) value = end - start > 18 ? UINT64_MAX : value * 10 + uint64_t(s[k] - '0');
  return true;
}

bool object_numbers_fit(std::string_view s) {
  const uint64_t bound = std::max(kMinObjectBound, kObjectsPerByte * s.size());
  for (size_t at = s.find("obj"); at != std::string_view::npos; at = s.find("obj", at + 3)) {
    size_t generation_at = 0, number_at = 0;
    uint64_t generation = 0, number = 0;
    if (number_before(s, at, generation_at, generation) && number_before(s, generation_at, number_at, number) &&
        number > bound)
      return false;
  }
  for (size_t at = s.find("/Size"); at != std::string_view::npos; at = s.find("/Size", at + 5)) {
    size_t k = at + 5;
    while (k < s.size() && is_pdf_space(s[k])) ++k;
    uint64_t size = 0;
    for (size_t digits = 0; k < s.size() && is_digit(s[k]); ++k, ++digits)
      size = digits >= 18 ? UINT64_MAX : size * 10 + uint64_t(s[k] - '0');
    if (size > bound) return false;
  }
  return true;
}

}  // namespace

KVXSTATUS read_pdf(std::string_view bytes, ChunkBuilder& out) {
  if (bytes.size() > size_t(INT_MAX) || !object_numbers_fit(bytes)) return KVXERR_BADFORMAT;
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
