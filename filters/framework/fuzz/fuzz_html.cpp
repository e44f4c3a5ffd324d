// libFuzzer target: the HTML reader (character-set choice, our HTML parser, style
// attributes, fonts, lists, tables with spans) and the model it builds, walked in full.
// Built with clang by scripts/fuzz; replay.cpp runs the committed corpus in CTest.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvx::ChunkBuilder b;
  if (kvx::readers::read_html(std::string_view(reinterpret_cast<const char*>(data), size), b) != KVX_OK) return 0;
  if (auto m = b.finish()) {
    kvx::model_text(*m);
    std::string script;
    kvx::write_chunk_script(*m, script, nullptr);
  }
  return 0;
}
