// pgxdump: prints a PGX page document's info items and the plain text of its pages,
// for people and tests. Usage: pgxdump FILE [PAGE]
//   Without PAGE: "pages: N", "title: ...", "author: ...", "description: ...", then
//   each page as a "--- page I (L bytes) ---" line followed by its text.
//   With PAGE: that page's text only, byte for byte.
// Exit code 0 on success, 1 on bad usage or a document that cannot be read.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pagedoc/paglet.h"
#include "pagedoc/paglet_table.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: pgxdump FILE [PAGE]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return usage();
  qm::pgx::DocumentTable table;
  int h = table.open(argv[1]);
  if (h < 0) {
    std::fprintf(stderr, "pgxdump: %s: cannot open (code %d)\n", argv[1], h);
    return 1;
  }
  int pages = table.page_count(h);
  auto dump_page = [&](int page) -> bool {
    int len = table.text_length(h, page);
    if (len < 0) {
      std::fprintf(stderr, "pgxdump: page %d: cannot extract (code %d)\n", page, len);
      return false;
    }
    std::string text(size_t(len), '\0');
    int n = table.text(h, page, text.data(), len);
    std::fwrite(text.data(), 1, size_t(n > 0 ? n : 0), stdout);
    return true;
  };

  if (argc == 3) {
    char* end = nullptr;
    long page = std::strtol(argv[2], &end, 10);
    if (!end || *end || page < 1 || page > pages) {
      std::fprintf(stderr, "pgxdump: no page %s (the document has %d)\n", argv[2], pages);
      return 1;
    }
    return dump_page(int(page)) ? 0 : 1;
  }

  std::string author(256, '\0'), title(256, '\0'), description(4096, '\0');
  table.author_title_description(h, author.data(), int(author.size()), title.data(), int(title.size()),
                                 description.data(), int(description.size()));
  std::printf("pages: %d\ntitle: %s\nauthor: %s\ndescription: %s\n", pages, title.c_str(), author.c_str(),
              description.c_str());
  bool ok = true;
  for (int p = 1; p <= pages; ++p) {
    int len = table.text_length(h, p);
    std::printf("--- page %d (%d bytes) ---\n", p, len);
    if (!dump_page(p)) ok = false;
  }
  return ok ? 0 : 1;
}
