// libFuzzer target: the OOXML and ODF readers (ZIP caps, XML parts, styles, tables,
// sheets and number formats) over one input read as each of DOCX, ODT, XLSX and ODS, and
// the models they build, walked in full. Built with clang by scripts/fuzz; testsupport/fuzz_replay.cpp
// runs the committed corpus in CTest.
#include "filters/framework/fuzz/read_and_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (auto reader : {kvx::readers::read_docx, kvx::readers::read_odt, kvx::readers::read_xlsx, kvx::readers::read_ods})
    kvx::fuzz::read_and_walk(reader, kvx::fuzz::bytes_of(data, size));
  return 0;
}
