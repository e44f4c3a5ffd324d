// Fuzz target of the template parser: each input is a template, exported through libkvx.so
// over a fixed three-section chunk script; the export must end with a documented status
// and leave no handle open. Built with libFuzzer under clang (pagecast_fuzz); otherwise
// the same function replays the files or folders named on the command line (the corpus
// in tests/fuzz_corpus, run by CTest under the sanitizers).
#include <cstdint>
#include <filesystem>
#include <string>

#include "filters/html/tests/fuzz_replay.h"

namespace {

const char* const kScript =
    "kvx-chunks 1\nsection wp \"One\"\ntext cp1252 \"first & <b>\"\npara\ntext big5 \"中文\"\npara\n"
    "section ss \"Two\"\ntext cp1252 \"b\"\nsection db \"Three\"\ntext cp1252 \"c\"\n";

bool documented(KVXSTATUS st) {
  return st == 0 || st == 9 || st == 13 || st == 34 || st == 47 || (st >= 1536 && st <= 1589);
}

}  // namespace

std::filesystem::path pagecast_fuzz::work_dir() {
  static const std::filesystem::path dir =
      scratch_dir("pagecast-fuzz-",
                  {{"doc.kvx", kScript}, {"inc.tpt", "<{VELMINS ELEMENT=Sections.Current.Type}>"}});
  return dir;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::filesystem::path dir = pagecast_fuzz::start();
  pagecast_fuzz::clear_outputs(dir);
  KVXMEMORYSPEC mem{sizeof(KVXMEMORYSPEC), data, uint32_t(size)};
  KVXIO* tpl = nullptr;
  if (IOOpen(&tpl, KVXSPEC_MEMORY, &mem, 0) != KVX_OK) std::abort();
  KVXREDIRECTSPEC redirect{KVXREDIRECT_MAGIC, tpl};
  KVXHANDLE doc = 0;
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
  KVXSTATUS st = pagecast_fuzz::export_and_close(doc, out);
  tpl->Close(tpl);
  pagecast_fuzz::check_end(st, documented);
  return 0;
}
