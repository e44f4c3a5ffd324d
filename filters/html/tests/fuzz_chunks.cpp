// Fuzz target of the content side: each input is a chunk script (the magic line is added
// when missing), exported through libkvx.so in one of four flavours (two of them CSS) with
// the built-in template or, by the input's size, with a template that walks headings, tables, notes, page parts, bookmarks and
// properties; the export must end with a documented status and leave no handle open.
// Built with libFuzzer under clang (pagecast_chunks_fuzz, with -dict=tests/fuzz_chunks.dict
// for the script's words); otherwise the same function
// replays the files or folders named on the command line (the corpus in
// tests/fuzz_chunks_corpus, run by CTest under the sanitizers).
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "filters/html/tests/fuzz_replay.h"

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

bool documented(KVXSTATUS st) {
  // 48: a sheet cut at the writer's limits, written in part.
  return st == 0 || st == 9 || st == 13 || st == 18 || st == 25 || st == 34 || st == 37 || st == 47 || st == 48 ||
         (st >= 1536 && st <= 1589);
}

}  // namespace

std::filesystem::path pagecast_fuzz::work_dir() {
  static const std::filesystem::path dir =
      scratch_dir("pagecast-chunks-fuzz-",
                  {{"walk.tpt", kWalk}, {"part.tpt", "{VELMINS ELEMENT=Sections.1.Body}"}});
  return dir;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::filesystem::path dir = pagecast_fuzz::start();
  pagecast_fuzz::clear_outputs(dir);
  std::string script(reinterpret_cast<const char*>(data), size);
  if (script.rfind("kvx-chunks 1\n", 0) != 0) script = "kvx-chunks 1\n" + script;
  std::string in = (dir / "doc.kvx").string(), out = (dir / "out.htm").string();
  std::ofstream(in, std::ios::binary | std::ios::trunc) << script;
  KVXHANDLE doc = 0;
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
  KVXSTATUS st = pagecast_fuzz::export_and_close(doc, out);
  pagecast_fuzz::check_end(st, documented);
  return 0;
}
