// libFuzzer target: the RTF reader (its tokenizer, group depth, \\bin, fonts and code
// pages, tables) and
// the model it builds, walked in full. Built with clang by scripts/fuzz; testsupport/fuzz_replay.cpp
// runs
// the committed corpus in CTest.
#include "filters/framework/fuzz/read_and_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvx::fuzz::read_and_walk(kvx::readers::read_rtf, kvx::fuzz::bytes_of(data, size));
  return 0;
}
