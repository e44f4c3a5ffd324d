// libFuzzer target: the Excel reader (libfreexl in its forked worker, the worker's records
// read back, dates turned into serials, the sheets written) and the model it builds,
// walked in full. A fault of libfreexl inside the worker ends the worker only (see
// child_limits.h); what counts is this process. Built with clang by scripts/fuzz;
// testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include "filters/framework/fuzz/child_limits.h"
#include "filters/framework/fuzz/read_and_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvx::fuzz::limit_children();
  kvx::fuzz::read_and_walk(kvx::readers::read_xls, kvx::fuzz::bytes_of(data, size));
  return 0;
}
