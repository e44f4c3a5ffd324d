// libFuzzer target: the notes of Word binaries (compound file, file-information block,
// piece table, note tables), every note's text read. Built with clang by scripts/fuzz;
// testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filters/framework/readers/doc_notes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static volatile size_t units = 0;
  for (const kvx::readers::WordNote& n : kvx::readers::word_notes(std::string_view(reinterpret_cast<const char*>(data), size)))
    units = units + n.text.size();
  return 0;
}
