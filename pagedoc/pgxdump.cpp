// pgxdump: prints a PGX page document's info items, ID, keywords, and the plain text
// and notes of its pages, for people and tests. Usage: pgxdump FILE [PAGE]
//   Without PAGE: "pages: N", "title: ...", "author: ...", "description: ..."; when
//   the document has a keyword record, "id: ...", "keywords: K" and a "keyword: ..."
//   line for each; then each page as a "--- page I (L bytes) ---" line followed by
//   its text, and when the page has notes, a "--- page I notes: M ---" line and a
//   "title: ..." and a "text: ..." line for each note.
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
  if (table.load_keywords(h) == 1) {
    std::string id(65536, '\0');
    table.document_id(h, id.data(), int(id.size()) - 1);
    int count = table.keyword_count(h);
    std::printf("id: %s\nkeywords: %d\n", id.c_str(), count);
    for (int i = 0; i < count; ++i) {
      table.keyword(h, i, id.data(), int(id.size()) - 1);
      std::printf("keyword: %s\n", id.c_str());
    }
    table.release_keywords(h);
  }
  auto dump_notes = [&](int page) {
    int count = table.load_notes(h, page);
    if (count <= 0) return;
    std::printf("--- page %d notes: %d ---\n", page, count);
    for (int i = 0; i < count; ++i) {
      std::string title(size_t(table.note_title_length(h, page, i)) + 1, '\0');
      std::string text(size_t(table.note_text_length(h, page, i)) + 1, '\0');
      table.note_title(h, page, i, title.data(), int(title.size()));
      table.note_text(h, page, i, text.data(), int(text.size()));
      std::printf("title: %s\ntext: %s\n", title.c_str(), text.c_str());
    }
    table.release_notes(h, page);
  };
  bool ok = true;
  for (int p = 1; p <= pages; ++p) {
    int len = table.text_length(h, p);
    std::printf("--- page %d (%d bytes) ---\n", p, len);
    if (!dump_page(p)) ok = false;
    dump_notes(p);
  }
  return ok ? 0 : 1;
}
