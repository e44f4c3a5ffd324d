// kvxdump: prints a chunk-script document as the framework's chunker holds it. Default:
// every range with its units (range 0 and the word ranges as words, the text ranges as
// units, the byte ranges as hex) and the sections; --text: the plain text (text runs in
// UTF-8, a line end at each paragraph, cell and row end); --script: the chunk script
// that builds the same model again.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "filters/framework/chunk_script.h"
#include "filters/framework/kvx_charsets.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: kvxdump [--ranges|--text|--script] FILE\n");
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

void print_text(const kvx::ChunkModel& m) {
  std::string out;
  for (uint32_t i = 0; i < m.unit_count(0); ++i) {
    uint32_t kind = m.word(0, i, 0), a = m.word(0, i, 1), b = m.word(0, i, 2), c = m.word(0, i, 3);
    if (kind == KVXITEM_TEXT) {
      std::vector<uint16_t> units;
      for (uint32_t k = 0; k < c && b + k < m.unit_count(KVXRANGE_TEXT); ++k) {
        const uint8_t* p = m.bytes(KVXRANGE_TEXT).data() + size_t(b + k) * 2;
        units.push_back(uint16_t(p[0] | p[1] << 8));
      }
      std::string utf8;
      for (uint16_t u : units) {
        std::string one;
        out += kvx::units_to_utf8(a, {u}, one) ? one : "?";
      }
    } else if (kind == KVXITEM_BREAK && (a == KVXBREAK_PARAGRAPH || a == KVXBREAK_ROW || a == KVXBREAK_LINE)) {
      out += "\n";
    } else if (kind == KVXITEM_BREAK && a == KVXBREAK_CELL) {
      out += "\t";
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = "--ranges";
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--", 2) == 0)
      mode = argv[i];
    else if (path == nullptr)
      path = argv[i];
    else
      return usage();
  }
  if (path == nullptr || (mode != "--ranges" && mode != "--text" && mode != "--script")) return usage();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kvxdump: cannot read %s\n", path);
    return 1;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  std::unique_ptr<kvx::ChunkModel> model;
  std::string error;
  if (kvx::read_chunk_script(buf.str(), model, &error) != KVX_OK) {
    std::fprintf(stderr, "kvxdump: %s: %s\n", path, error.c_str());
    return 1;
  }
  if (mode == "--text") {
    print_text(*model);
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
