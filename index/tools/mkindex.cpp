// mkindex: builds an index database from a folder of plain-text files (UTF-8 or Big5),
// for tests and fixtures. Usage: mkindex <folder> <dbdir> [--phrase]
// Each file is one document: its first line is the title paragraph, then one paragraph
// per block of lines between blank lines. Paths are stored relative to the folder.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "index/index_writer.h"
#include "index/tools/text_folder.h"

int main(int argc, char** argv) {
  std::string folder, dbdir;
  bool phrase = false;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--phrase") == 0)
      phrase = true;
    else if (positional == 0 && ++positional)
      folder = argv[i];
    else if (positional == 1 && ++positional)
      dbdir = argv[i];
    else
      positional = 3;
  }
  if (positional != 2) {
    std::fprintf(stderr, "usage: mkindex <folder> <dbdir> [--phrase]\n");
    return 2;
  }
  if (!std::filesystem::is_directory(folder)) {
    std::fprintf(stderr, "mkindex: %s is not a folder\n", folder.c_str());
    return 1;
  }
  if (dbdir.back() != '/') dbdir += '/';
  std::error_code ec;
  std::filesystem::create_directories(dbdir, ec);
  if (ec) {
    std::fprintf(stderr, "mkindex: cannot create %s: %s\n", dbdir.c_str(), ec.message().c_str());
    return 1;
  }

  qm::IndexWriterOptions options;
  options.phrase = phrase;
  qm::IndexWriter writer(dbdir, options);
  if (writer.failed()) {
    std::fprintf(stderr, "mkindex: %s\n", writer.error().c_str());
    return 1;
  }
  for (const std::string& relative : qm::text_folder_files(folder)) {
    qm::IndexDocument doc;
    if (!qm::text_file_document(folder, relative, doc)) {
      std::fprintf(stderr, "mkindex: skipped %s: cannot read it\n", relative.c_str());
      continue;
    }
    if (!writer.add_document(doc)) {
      if (writer.failed()) break;
      std::fprintf(stderr, "mkindex: skipped %s: %s\n", relative.c_str(), writer.error().c_str());
    }
  }
  if (writer.failed() || !writer.finish()) {
    std::fprintf(stderr, "mkindex: failed: %s\n", writer.error().c_str());
    return 1;
  }
  const qm::IndexWriterStats& s = writer.stats();
  std::printf("mkindex: %s database in %s: %u documents, %llu paragraphs, %llu %s postings "
              "(%llu keys), %llu word postings (%llu words)\n",
              phrase ? "phrase" : "character", dbdir.c_str(), s.documents,
              (unsigned long long)s.paragraphs, (unsigned long long)s.char_postings,
              phrase ? "pair" : "character", (unsigned long long)s.char_keys,
              (unsigned long long)s.word_postings, (unsigned long long)s.words);
  return 0;
}
