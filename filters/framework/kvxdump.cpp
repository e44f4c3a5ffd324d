// kvxdump: prints a document (a chunk script, or any source a reader of readers/ takes;
// --fallback reads an unrecognised source as plain text; --by-content tells the format by the
// bytes alone, never by the name's extension) as the framework's chunker holds it. Default:
// every range with its units (range 0 and the word ranges as words, the text ranges as
// units, the byte ranges as hex) and the sections; --text: the plain text (text runs in
// UTF-8, a line end at each paragraph, cell and row end); --body-text: the same without the
// texts of headers and footers (what a page without page parts shows); --title with
// either: the document's title property on the line before the text (an empty line when
// it has none), as the index builder reads it; --script: the chunk script that builds the
// same model again. Exit codes: 0 done; 1 a source that cannot be read (more than the
// readers' 256 MB included), a reader that fails, or memory that runs out; 2 a wrong
// command line; 3 no reader takes the source (its format is unknown or has no reader),
// which the index builder reports as such; 4 the reader reached one of its limits and cut
// the document (what it kept is printed, the reason goes to standard error).
//
// Cost: a regular file is judged by its size before it is read; a special file or pipe is
// read up to 256 MB + 1 byte and no further (at most twice that in memory while the
// buffer grows); then the reader's own bound (readers/*.cpp) and the printed form of the
// model it built.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
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

enum class Source { kRead, kUnreadable, kTooLarge };

// The file whole when it holds at most limit bytes: a regular file is judged by its size
// before any byte is read, anything else by reading at most limit + 1 bytes.
Source read_source(const char* path, size_t limit, std::string& out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return Source::kUnreadable;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, std::fclose);
  struct stat st;
  if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode)) {
    if (uint64_t(st.st_size) > limit) return Source::kTooLarge;
    out.reserve(size_t(st.st_size));
  }
  char chunk[65536];
  size_t n;
  while (out.size() <= limit && (n = std::fread(chunk, 1, std::min(sizeof chunk, limit + 1 - out.size()), f)) > 0)
    out.append(chunk, n);
  if (std::ferror(f)) return Source::kUnreadable;
  return out.size() > limit ? Source::kTooLarge : Source::kRead;
}

int dump(int argc, char** argv) {
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
  std::string bytes;
  Source source = read_source(path, kvx::readers::kMaxSourceBytes, bytes);
  if (source == Source::kUnreadable) {
    std::fprintf(stderr, "kvxdump: cannot read %s\n", path);
    return 1;
  }
  if (source == Source::kTooLarge) {
    std::fprintf(stderr, "kvxdump: %s: larger than %zu MB\n", path, kvx::readers::kMaxSourceBytes >> 20);
    return 1;
  }
  std::unique_ptr<kvx::ChunkModel> model;
  std::string error, cut;
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
    cut = builder.cut();
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
  if (!cut.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "kvxdump: %s: cut short: %s\n", path, cut.c_str());
    return 4;
  }
  return 0;
}

int main(int argc, char** argv) {
  try {
    return dump(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "kvxdump: out of memory\n");
    return 1;
  }
}
