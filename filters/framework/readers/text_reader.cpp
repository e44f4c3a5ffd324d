// The plain-text reader: the source decoded by its mark or by the strict decode order
// (text_decode.h), one paragraph per line (LF, CR LF or CR), one wp section. A Big5 source
// also gets the document character-set item, so an export sees a Big5 document.
#include <algorithm>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

KVXSTATUS read_text(std::string_view bytes, ChunkBuilder& out) {
  DocWriter w(out);
  SourceEncoding enc = guess_encoding(bytes, nullptr);
  std::vector<uint16_t> units = decode(bytes, enc);
  w.section();
  if (enc == SourceEncoding::Big5) w.document_charset(KVXCS_BIG5);
  size_t start = 0;
  for (size_t i = 0; i <= units.size() && !w.failed(); ++i) {
    bool end = i == units.size();
    if (!end && units[i] != '\n' && units[i] != '\r') continue;
    if (end && start == i) break;  // no paragraph after a final line end
    w.text(std::vector<uint16_t>(units.begin() + long(start), units.begin() + long(i)));
    w.paragraph();
    if (!end && units[i] == '\r' && i + 1 < units.size() && units[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
