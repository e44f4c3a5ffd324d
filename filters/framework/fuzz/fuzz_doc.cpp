// libFuzzer target: the Word reader (the encryption check, antiword's DocBook read with
// libxml2, the notes set at their marks) and the model it builds, walked in full. Each
// input runs antiword once, so this target is slow. Built with clang by scripts/fuzz;
// testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include "filters/framework/fuzz/child_limits.h"
#include "filters/framework/fuzz/read_and_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvx::fuzz::limit_children();
  kvx::fuzz::read_and_walk(kvx::readers::read_doc, kvx::fuzz::bytes_of(data, size));
  return 0;
}
