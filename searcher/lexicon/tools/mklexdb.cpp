// mklexdb: builds the lexicon folder LexDB from a term list.
//
//   mklexdb <term list> <LexDB folder>
//
// The term list is UTF-8 text, one group of related terms a line, each entry a decimal
// category mask, "," and the term, entries joined by "+" ("1,car+1,auto+1,automobile");
// blank lines and lines beginning with "#" are skipped. Terms are converted to Big5.
// A bad line stops the build with its line number and leaves an existing LexDB as it was.
// Exit code 0 on success, 1 on failure, 2 on a wrong command line.
#include <cstdio>
#include <string>

#include "searcher/lexicon/lexicon_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mklexdb <term list> <LexDB folder>\n");
    return 2;
  }
  std::string text;
  std::FILE* in = std::fopen(argv[1], "rb");
  bool read = in != nullptr;
  if (in) {
    char block[1 << 16];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0) text.append(block, n);
    read = std::ferror(in) == 0;
    std::fclose(in);
  }
  if (!read) {
    std::fprintf(stderr, "mklexdb: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string folder = argv[2];
  if (folder.empty() || folder.back() != '/') folder += '/';

  std::vector<qm::LexiconLine> lines;
  std::string error;
  if (!qm::lexicon_read_term_list(text, lines, error)) {
    std::fprintf(stderr, "mklexdb: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  qm::LexiconWriteStats stats;
  if (!qm::lexicon_write(folder, lines, error, &stats)) {
    std::fprintf(stderr, "mklexdb: %s\n", error.c_str());
    return 1;
  }
  std::printf("mklexdb: %u lines, %llu entries, %u English words, %llu character postings\n",
              stats.lines, static_cast<unsigned long long>(stats.entries), stats.words,
              static_cast<unsigned long long>(stats.char_postings));
  return 0;
}
