// libFuzzer target: plain mailboxes ("From -" separators, CR LF or LF line ends) read
// through the gateway's source dispatcher, every message decoded. Built with clang by
// scripts/fuzz; testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include "mail/fuzz/read_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::mail::fuzz::read_source("box", data, size);
  return 0;
}
