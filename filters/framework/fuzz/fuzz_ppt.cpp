// libFuzzer target: the PowerPoint reader (catppt's text, and the compound file and text
// atoms of the "PowerPoint Document" stream when catppt gives none) and the model it
// builds, walked in full. Each input runs catppt once. Built with clang by scripts/fuzz;
// testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include "filters/framework/fuzz/child_limits.h"
#include "filters/framework/fuzz/read_and_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvx::fuzz::limit_children();
  kvx::fuzz::read_and_walk(kvx::readers::read_ppt, kvx::fuzz::bytes_of(data, size));
  return 0;
}
