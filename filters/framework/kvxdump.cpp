// kvxdump: prints a document (a chunk script, or any source a reader of readers/ takes;
// --fallback reads an unrecognised source as plain text; --by-content tells the format by the
// bytes alone, never by the name's extension) as the framework's chunker holds it. Default:
// every range with its units (range 0 and the word ranges as words, the text ranges as
// units, the byte ranges as hex) and the sections; --text: the plain text (text runs in
// UTF-8, a line end at each paragraph, cell and row end); --body-text: the same without the
// texts of headers and footers (what a page without page parts shows); --title with
// either: the document's title property on the line before the text (an empty line when
// it has none), as the index builder reads it; --script: the
// chunk script that builds the same model again. Exit codes: 0 done; 1 the file cannot be
// read or its reader fails; 2 a wrong command line; 3 no reader takes the source (its
// format is unknown or has no reader), which the index builder reports as such.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "filters/framework/chunk_script.h"
#include "filters/framework/kvx_charsets.h"
#include "filters/framework/readers/reader.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: kvxdump [--ranges|--text|--body-text|--script] [--title] [--fallback] [--by-content] FILE\n");
  return 2;
}

void print_ranges(const kvx::ChunkModel& m) {
  for (size_t s = 0; s < m.sections().size(); ++s) {
    const kvx::SectionSpan& span = m.sections()[s];
    std::printf("section %zu type %u items %u-%u\n", s, span.type, span.first_index, span.end_index);
  }
  for (uint32_t r = 0; r < KVXRANGE_COUNT; ++r) {
    uint32_t n = m.unit_count(r);
    if (n == 0) continue;
    uint32_t size = kvx::range_unit_size(r);
    std::printf("range %u: %u units of %u bytes\n", r, n, size);
    for (uint32_t i = 0; i < n; ++i) {
      std::printf("  %08X:", m.id_at(r, i));
      const uint8_t* u = m.bytes(r).data() + size_t(i) * size;
      if (size % 4 == 0) {
        for (uint32_t w = 0; w < size / 4; ++w) std::printf(" %08X", m.word(r, i, w));
      } else {
        for (uint32_t b = size; b-- > 0;) std::printf("%s%02X", b == size - 1 ? " " : "", u[b]);
      }
      std::printf("\n");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = "--ranges";
  const char* path = nullptr;
  bool fallback = false;
  bool by_content = false;
  bool title = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fallback") == 0)
      fallback = true;
    else if (std::strcmp(argv[i], "--by-content") == 0)
      by_content = true;
    else if (std::strcmp(argv[i], "--title") == 0)
      title = true;
    else if (std::strncmp(argv[i], "--", 2) == 0)
      mode = argv[i];
    else if (path == nullptr)
      path = argv[i];
    else
      return usage();
  }
  if (path == nullptr || (mode != "--ranges" && mode != "--text" && mode != "--body-text" && mode != "--script")) return usage();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kvxdump: cannot read %s\n", path);
    return 1;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  std::unique_ptr<kvx::ChunkModel> model;
  std::string error;
  const std::string bytes = buf.str();
  uint32_t format = kvx::readers::detect_format(bytes, by_content ? "" : path);
  if (format == KVXFI_CHUNKSCRIPT) {
    if (kvx::read_chunk_script(bytes, model, &error) != KVX_OK) {
      std::fprintf(stderr, "kvxdump: %s: %s\n", path, error.c_str());
      return 1;
    }
  } else {
    if (format == KVXFI_UNKNOWN && fallback) format = KVXFI_TEXT;
    kvx::ChunkBuilder builder;
    KVXSTATUS st = kvx::readers::read_document(format, bytes, builder);
    if (st == KVX_OK) model = builder.finish();
    if (!model) {
      std::fprintf(stderr, "kvxdump: %s: format %u, status %d %s\n", path, unsigned(format), int(st),
                   builder.error().c_str());
      return st == KVXERR_UNKNOWNFORMAT || st == KVXERR_UNSUPPORTED ? 3 : 1;
    }
  }
  if (mode == "--text" || mode == "--body-text") {
    {
      std::string text;
      if (title) {
        // One line: the property's own line ends become blanks.
        text = kvx::model_property(*model, 6);
        for (char& c : text)
          if (c == '\n' || c == '\r') c = ' ';
        text += '\n';
      }
      text += kvx::model_text(*model, mode == "--text");
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
  } else if (mode == "--script") {
    std::string script;
    if (!kvx::write_chunk_script(*model, script, &error)) {
      std::fprintf(stderr, "kvxdump: %s: %s\n", path, error.c_str());
      return 1;
    }
    std::fwrite(script.data(), 1, script.size(), stdout);
  } else {
    print_ranges(*model);
  }
  return 0;
}
