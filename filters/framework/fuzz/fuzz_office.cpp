// libFuzzer target: the OOXML and ODF readers (ZIP caps, XML parts, styles, tables,
// sheets and number formats) over one input read as each of DOCX, ODT, XLSX and ODS, and
// the models they build, walked in full. Built with clang by scripts/fuzz; replay.cpp
// runs the committed corpus in CTest.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view s(reinterpret_cast<const char*>(data), size);
  for (uint32_t format : {KVXFI_DOCX, KVXFI_ODT, KVXFI_XLSX, KVXFI_ODS}) {
    kvx::ChunkBuilder b;
    if (kvx::readers::read_document(format, s, b) != KVX_OK) continue;
    if (auto m = b.finish()) {
      kvx::model_text(*m);
      std::string script;
      kvx::write_chunk_script(*m, script, nullptr);
    }
  }
  return 0;
}
