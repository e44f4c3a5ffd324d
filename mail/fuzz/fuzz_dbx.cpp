// libFuzzer target: the ".dbx" folders of blocks (block search, chains, look-ahead, the
// marks of walked blocks) read through the gateway's source dispatcher, every message
// decoded. Built with clang by scripts/fuzz; testsupport/fuzz_replay.cpp runs the
// committed corpus in CTest.
#include "mail/fuzz/read_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::mail::fuzz::read_source("in.dbx", data, size);
  return 0;
}
