// libFuzzer target: format detection over any bytes and names made of them. Built with
// clang by scripts/fuzz; testsupport/fuzz_replay.cpp
// runs the committed corpus in CTest.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filters/framework/readers/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view s(reinterpret_cast<const char*>(data), size);
  // The last bytes double as a file name, so the extension table is walked too.
  std::string_view name = s.substr(size > 12 ? size - 12 : 0);
  kvx::readers::detect_format(s, name);
  kvx::readers::detect_format(s, "");
  return 0;
}
