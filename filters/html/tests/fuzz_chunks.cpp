// Fuzz target of the content side: each input is a chunk script (the magic line is added
// when missing), exported through libkvx.so in one of four flavours (two of them CSS) with
// the built-in template or, by the input's size, with a template that walks headings, tables, notes, page parts, bookmarks and
// properties; the export must end with a documented status and leave no handle open.
// Built with libFuzzer under clang (pagecast_chunks_fuzz, with -dict=tests/fuzz_chunks.dict
// for the script's words); otherwise the same function
// replays the files or folders named on the command line (the corpus in
// tests/fuzz_chunks_corpus, run by CTest under the sanitizers).
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

const char* const kWalk =
    "{VELMREP ELEMENT=Sections}{VELMINS ELEMENT=Sections.Current.Body.Title}|"
    "{VELMREP ELEMENT=Sections.Current.Body.Contents.Headings}"
    "{VELMINS ELEMENT=Sections.Current.Body.Contents.Headings.Current.Body.Title}"
    "{VELMREP ELEMENT=Sections.Current.Body.Contents.Headings.Current.Body.Contents.Headings}"
    "[{VELMINS ELEMENT=Sections.Current.Body.Contents.Headings.Current.Body.Contents.Headings.Current.Body}]"
    "{/VELMREP}{VELMINS ELEMENT=Sections.Current.Body.Contents.Headings.Current.Body.Contents.Preface}{/VELMREP}"
    "{VELMREP ELEMENT=Sections.Current.Footnotes}{VELMINS ELEMENT=Sections.Current.Footnotes.Current.Content}"
    "{VELMINS ELEMENT=Sections.Current.Footnotes.Current.Reference}{/VELMREP}"
    "{VELMREP ELEMENT=Sections.Current.Endnotes}{VELMINS ELEMENT=Sections.Current.Endnotes.Current.Body}{/VELMREP}"
    "{VELMREP ELEMENT=Sections.Current.Headers}{VELMINS ELEMENT=Sections.Current.Headers.Current.Body}{/VELMREP}"
    "{VELMREP ELEMENT=Sections.Current.Footers}{VELMINS ELEMENT=Sections.Current.Footers.Current.Body}{/VELMREP}"
    "{VELMREP ELEMENT=Sections.Current.Bookmarks}"
    "<a href=\"{VELMLINK ELEMENT=Sections.Current.Bookmarks.Current.Body TEMPLATE=part.tpt}\"></a>{/VELMREP}"
    "{VELMINS ELEMENT=Sections.Current.Footnotes.1.Separator}{VELMINS ELEMENT=Sections.Current.Body}"
    "{/VELMREP}{VELMREP ELEMENT=Property.All}{VELMINS ELEMENT=Property.All.Current.Name}="
    "{VELMINS ELEMENT=Property.All.Current.Body}{/VELMREP}{VELMINS ELEMENT=Property.Others.1.Name}";

std::filesystem::path work_dir() {
  static std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("pagecast-chunks-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::ofstream(d / "walk.tpt") << kWalk;
    std::ofstream(d / "part.tpt") << "{VELMINS ELEMENT=Sections.1.Body}";
    return d;
  }();
  return dir;
}

bool documented(KVXSTATUS st) {
  return st == 0 || st == 9 || st == 13 || st == 18 || st == 25 || st == 34 || st == 37 || st == 47 ||
         (st >= 1536 && st <= 1589);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = DAInit() == KVX_OK;
  if (!ready) std::abort();
  std::filesystem::path dir = work_dir();
  for (const auto& f : std::filesystem::directory_iterator(dir))
    if (f.path().filename().string().rfind("out", 0) == 0) std::filesystem::remove(f.path());
  std::string script(reinterpret_cast<const char*>(data), size);
  if (script.rfind("kvx-chunks 1\n", 0) != 0) script = "kvx-chunks 1\n" + script;
  std::string in = (dir / "doc.kvx").string(), out = (dir / "out.htm").string();
  std::ofstream(in, std::ios::binary | std::ios::trunc) << script;
  KVXHANDLE doc = 0, ex = 0;
  if (DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0) != KVX_OK) std::abort();
  // The output set and the template follow from the input's size.
  const uint32_t charsets[] = {KVXCS_BIG5, KVXCS_CP1252, KVXCS_UTF8};
  // Flavours: 0 and 11 without style words, 2 (classes and a style sheet) and 10 (inline
  // STYLE= only).
  const uint32_t flavours[2][2] = {{0, 11}, {2, 10}};
  uint32_t charset = charsets[size % 3], flavour = flavours[(size / 12) % 2][(size / 3) % 2], graphics = KVXEXPORT_NONE;
  DASetOption(doc, KVXOPT_CHARSET, &charset, 4);
  DASetOption(doc, KVXOPT_FLAVOR, &flavour, 4);
  DASetOption(doc, KVXOPT_GRAPHICTYPE, &graphics, 4);
  if ((size / 6) % 2 == 1) {
    std::string tpl = (dir / "walk.tpt").string();
    DASetOption(doc, KVXOPT_TEMPLATE, tpl.c_str(), uint32_t(tpl.size() + 1));
  }
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
