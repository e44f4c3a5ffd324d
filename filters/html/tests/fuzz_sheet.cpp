// Fuzz target of the sheet and database writer: each input is the body of a chunk script
// whose first three section bodies are exported through libkvx.so into 8-bit and UTF-8
// output; inputs that do not read as a script are passed over. The export must end with a
// documented status and leave no handle open. Built with libFuzzer under clang
// (pagecast_sheet_fuzz); otherwise the same function replays the files or folders named on
// the command line (the corpus in tests/fuzz_sheet_corpus, run by CTest under the sanitizers).
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "filters/html/tests/fuzz_replay.h"

namespace {

const char* const kTemplate =
    "[{VELMINS ELEMENT=Sections.1.Body}][{VELMINS ELEMENT=Sections.2.Body}][{VELMINS ELEMENT=Sections.3.Body}]";

bool documented(KVXSTATUS st) {
  // 48: a sheet cut at the writer's limits, written in part.
  return st == 0 || st == 9 || st == 13 || st == 15 || st == 25 || st == 34 || st == 47 || st == 48 ||
         (st >= 1536 && st <= 1589);
}

}  // namespace

std::filesystem::path pagecast_fuzz::work_dir() {
  static const std::filesystem::path dir = scratch_dir("pagecast-sheet-fuzz-", {{"t.tpt", kTemplate}});
  return dir;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::filesystem::path dir = pagecast_fuzz::start();
  std::string in = (dir / "doc.kvx").string(), out = (dir / "out.htm").string(), tpl = (dir / "t.tpt").string();
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f << "kvx-chunks 1\n";
    f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  std::filesystem::remove(out);
  KVXHANDLE doc = 0;
  if (DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0) != KVX_OK) return 0;
  KVXHANDLE chunker = 0;
  if (DAGetHChunker(doc, &chunker) != KVX_OK) {
    if (DACloseDocument(doc) != KVX_OK) std::abort();
    return 0;
  }
  uint32_t charset = size % 2 ? KVXCS_UTF8 : KVXCS_CP1252, flavour = uint32_t(size / 2 % 13);
  DASetOption(doc, KVXOPT_CHARSET, &charset, 4);
  DASetOption(doc, KVXOPT_FLAVOR, &flavour, 4);
  DASetOption(doc, KVXOPT_TEMPLATE, tpl.c_str(), uint32_t(tpl.size() + 1));
  KVXSTATUS st = pagecast_fuzz::export_and_close(doc, out);
  pagecast_fuzz::check_end(st, documented);
  return 0;
}
