// libFuzzer target: message decoding (header fields and encoded words, dates, MIME parts
// and nesting, base64, quoted-printable, uuencode and BinHex, file names, charsets to
// Big5), the line-end normalising and the tagged-body recovery over one raw message.
// Built with clang by scripts/fuzz; testsupport/fuzz_replay.cpp runs the committed corpus
// in CTest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/decode/message.h"
#include "mail/postbridge/store_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  qm::mail::MessageRecord record = qm::mail::parse_message(raw);
  qm::mail::normalize_line_ends(raw);
  std::string body;
  qm::mail::recover_tagged_body(raw, body);
  return 0;
}
