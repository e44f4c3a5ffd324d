// Fuzz target of the template parser: each input is a template, exported through libkvx.so
// over a fixed three-section chunk script; the export must end with a documented status
// and leave no handle open. Built with libFuzzer under clang (pagecast_fuzz); otherwise
// the same function replays the files or folders named on the command line (the corpus
// in tests/fuzz_corpus, run by CTest under the sanitizers).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "filters/common/kvx_abi.h"

namespace {

const char* const kScript =
    "kvx-chunks 1\nsection wp \"One\"\ntext cp1252 \"first & <b>\"\npara\ntext big5 \"中文\"\npara\n"
    "section ss \"Two\"\ntext cp1252 \"b\"\nsection db \"Three\"\ntext cp1252 \"c\"\n";

std::filesystem::path work_dir() {
  static std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("pagecast-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::ofstream(d / "doc.kvx") << kScript;
    std::ofstream(d / "inc.tpt") << "<{VELMINS ELEMENT=Sections.Current.Type}>";
    return d;
  }();
  return dir;
}

bool documented(KVXSTATUS st) {
  return st == 0 || st == 9 || st == 13 || st == 34 || st == 47 || (st >= 1536 && st <= 1589);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = DAInit() == KVX_OK;
  if (!ready) std::abort();
  std::filesystem::path dir = work_dir();
  for (const auto& f : std::filesystem::directory_iterator(dir))
    if (f.path().filename().string().rfind("out", 0) == 0) std::filesystem::remove(f.path());
  KVXMEMORYSPEC mem{sizeof(KVXMEMORYSPEC), data, uint32_t(size)};
  KVXIO* tpl = nullptr;
  if (IOOpen(&tpl, KVXSPEC_MEMORY, &mem, 0) != KVX_OK) std::abort();
  KVXREDIRECTSPEC redirect{KVXREDIRECT_MAGIC, tpl};
  KVXHANDLE doc = 0, ex = 0;
  std::string in = (dir / "doc.kvx").string(), out = (dir / "out.htm").string();
  if (DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0) != KVX_OK) std::abort();
  // The output form and the name width follow from the input's size, so every template
  // meets each of them without a byte of its own spent on the choice.
  const uint32_t charsets[] = {KVXCS_CP1252, KVXCS_BIG5, KVXCS_UNICODE, KVXCS_UNICODE, KVXCS_UTF8};
  uint32_t charset = charsets[size % 5], order = size % 5 == 2 ? 2 : 1, wide = (size / 5) % 2, before = 201;
  DASetOption(doc, KVXOPT_CHARSET, &charset, 4);
  DASetOption(doc, KVXOPT_CHARBYTEORDER, &order, 4);
  DASetOption(doc, KVXOPT_ROOTFILECALLBACK, &wide, 4);
  DASetOption(doc, KVXOPT_16, &before, 4);
  DASetOption(doc, KVXOPT_TEMPLATE, &redirect, sizeof redirect);
  KVXSTATUS st = EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex);
  if (st == KVX_OK) {
    st = EXRunExport(ex);
    if (EXCloseExport(ex) != KVX_OK) std::abort();
  }
  if (DACloseDocument(doc) != KVX_OK) std::abort();
  tpl->Close(tpl);
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
