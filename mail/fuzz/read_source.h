// The common step of the mailbox fuzz targets: the input written as a file of the given
// name in the scratch folder (the name's extension picks the kind of mail store, as the
// gateway's dispatcher does), opened with a small reading window so that growing it and
// skipping an over-long message are reached by small inputs, and every message decoded.
// Included by fuzz_mbox.cpp, fuzz_mbx.cpp and fuzz_dbx.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

#include "mail/decode/message.h"
#include "mail/postbridge/sources.h"
#include "testsupport/fuzz_input.h"

namespace qm::mail::fuzz {

inline void read_source(const char* name, const uint8_t* data, size_t size) {
  std::string path = qm::fuzz::scratch_file(name, data, size);
  MailSource source;
  WindowLimits limits;
  limits.initial = 1024;
  limits.max = 8192;
  if (!source.open(path, limits)) return;
  MessageRecord record;
  for (size_t n = 0; n < 100000 && source.next(record); ++n) {
  }
}

}  // namespace qm::mail::fuzz
