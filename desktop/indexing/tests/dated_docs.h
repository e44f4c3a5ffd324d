// Shared fixtures of the tests that run the real searcher over document databases of known
// names, sizes and dates (the property and advanced searcher tests, the main window's
// advanced views): a local day's time, documents written with their size and time, and a
// small index of (path, text) pairs built with IndexWriter.
#pragma once
#include <sys/time.h>

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "index/index_writer.h"
#include "testsupport/test_files.h"

namespace qm::test {

// 10:00 local time of the day, so that the day does not move with the time zone.
inline std::time_t local_day(int y, int m, int d) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = m - 1;
  tm.tm_mday = d;
  tm.tm_hour = 10;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// A fixture document: its file of `bytes` bytes, dated `when`, indexed with `text`.
struct DatedDoc {
  const char* name;
  size_t bytes;
  std::time_t when;
  const char* text;
};

// Writes each document's file into the folder `docs` (ending in '/') with its size and
// time; returns the (path, text) pairs to index.
inline std::vector<std::pair<std::string, std::string>> write_dated_docs(const std::string& docs,
                                                                         const std::vector<DatedDoc>& list) {
  std::vector<std::pair<std::string, std::string>> index;
  for (const DatedDoc& d : list) {
    write_file(docs + d.name, std::string(d.bytes, 'x'));
    struct timeval tv[2] = {{d.when, 0}, {d.when, 0}};
    utimes((docs + d.name).c_str(), tv);
    index.push_back({d.name, d.text});
  }
  return index;
}

// An index in `dir` of one document a pair: the path as its title paragraph, the text
// as its body. False when the writer refuses.
inline bool write_index(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& docs) {
  std::filesystem::create_directories(dir);
  IndexWriterOptions options;
  options.sync = false;
  IndexWriter writer(dir, options);
  for (const auto& [path, text] : docs) {
    IndexDocument doc;
    doc.path = path;
    doc.paragraphs.push_back({1, path});
    doc.paragraphs.push_back({0, text});
    if (!writer.add_document(doc)) return false;
  }
  return writer.finish();
}

}  // namespace qm::test
