// libFuzzer target: the ".mbx" mailboxes (JMF6 records, or "From ???@???" separators
// with tagged bodies and converted attachments) read through the gateway's source
// dispatcher, every message decoded. Built with clang by scripts/fuzz;
// testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include "mail/fuzz/read_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::mail::fuzz::read_source("in.mbx", data, size);
  return 0;
}
