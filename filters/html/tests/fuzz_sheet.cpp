// Fuzz target of the sheet and database writer: each input is the body of a chunk script
// whose first three section bodies are exported through libkvx.so into 8-bit and UTF-8
// output; inputs that do not read as a script are passed over. The export must end with a
// documented status and leave no handle open. Built with libFuzzer under clang
// (pagecast_sheet_fuzz); otherwise the same function replays the files or folders named on
// the command line (the corpus in tests/fuzz_sheet_corpus, run by CTest under the sanitizers).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "filters/common/kvx_abi.h"

namespace {

const char* const kTemplate =
    "[{VELMINS ELEMENT=Sections.1.Body}][{VELMINS ELEMENT=Sections.2.Body}][{VELMINS ELEMENT=Sections.3.Body}]";

std::filesystem::path work_dir() {
  static std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("pagecast-sheet-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::ofstream(d / "t.tpt") << kTemplate;
    return d;
  }();
  return dir;
}

bool documented(KVXSTATUS st) {
  return st == 0 || st == 9 || st == 13 || st == 15 || st == 25 || st == 34 || st == 47 || (st >= 1536 && st <= 1589);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = DAInit() == KVX_OK;
  if (!ready) std::abort();
  std::filesystem::path dir = work_dir();
  std::string in = (dir / "doc.kvx").string(), out = (dir / "out.htm").string(), tpl = (dir / "t.tpt").string();
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f << "kvx-chunks 1\n";
    f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  std::filesystem::remove(out);
  KVXHANDLE doc = 0, ex = 0;
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
  KVXSTATUS st = EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex);
  if (st == KVX_OK) {
    st = EXRunExport(ex);
    if (EXCloseExport(ex) != KVX_OK) std::abort();
  }
  if (DACloseDocument(doc) != KVX_OK) std::abort();
  if (!documented(st)) {
    std::fprintf(stderr, "undocumented status %d\n", st);
    std::abort();
  }
  if (KVXLiveHandleCount() != 0) std::abort();
  return 0;
}

#ifndef QM_LIBFUZZER
int main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& f : std::filesystem::directory_iterator(argv[i])) inputs.push_back(f.path());
    } else {
      inputs.push_back(argv[i]);
    }
    for (const auto& p : inputs) {
      std::ifstream f(p, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++files;
    }
  }
  std::filesystem::remove_all(work_dir());
  DADeInit();
  std::printf("%d inputs replayed\n", files);
  return files > 0 ? 0 : 1;
}
#endif
