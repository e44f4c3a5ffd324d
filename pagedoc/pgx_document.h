// Reader of the PGX container (layout in pgx_format.h): opens a document, keeps its
// directory, page table and info table, and for a packed document a working copy
// (a temporary file) that holds the unpacked page table and, one page at a time, the
// unpacked data of the page being read. pgx_pagetext.cpp walks a page's records;
// paglet_table.cpp holds the open documents.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pagedoc/pgx_io.h"

namespace qm::pgx {

struct PgxDirEntry {
  std::string tag;  // 4 characters
  uint32_t packed = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
};

struct PgxInfoEntry {
  uint16_t id = 0;
  uint32_t length = 0;
  uint32_t offset = 0;  // from the start of the info stream
};

// Where a page's record stream lies: in the working file for the working table, in
// the document file (as a packed stream) for the saved table of a packed document.
struct PgxPageSpan {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Per-document state of the page unpacking, held by the document table.
struct PageUnpackState {
  bool first_extraction = true;
  int current_page = 0;        // page whose data is unpacked now; 0 = none
  uint64_t unpack_offset = 0;  // where page data goes in the working copy
};

class PgxDocument {
 public:
  PgxDocument() = default;
  ~PgxDocument() { destroy(); }
  PgxDocument(const PgxDocument&) = delete;
  PgxDocument& operator=(const PgxDocument&) = delete;

  // Opens the document; false on any failure (error() says why), after which the
  // handles are closed and the working copy is gone.
  bool open(const std::string& path);
  // Closes the file handles.
  void close();
  // Closes, removes the working copy and clears the tables.
  void destroy();

  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  bool packed() const { return packed_; }
  int page_count() const { return int(pages_.size()); }
  const std::vector<PgxDirEntry>& directory() const { return directory_; }
  // The first directory entry with this tag, or null.
  const PgxDirEntry* find_stream(std::string_view tag) const;
  uint32_t structure_offset() const { return structure_offset_; }

  // The text of the first info item with this id; empty when there is none.
  std::string info_item(uint16_t id) const;

  // Makes page `page` (1-based) readable in the working file; for a packed document it
  // unpacks the page's stream over the previous page's data. False when it cannot.
  bool make_page_available(int page, PageUnpackState& state);
  // The readable extent [begin, end) of the page's records in the working file; false
  // when the page's data is not available.
  bool page_data(int page, uint64_t& begin, uint64_t& end) const;

  int working_fd() const { return packed_ ? working_copy_.fd() : doc_fd_; }
  // A separate read-only handle on the document file.
  int document_fd() const { return second_fd_; }
  // Path of the working copy; empty for a plain document.
  const std::string& working_copy_path() const { return working_copy_.path(); }
  // The page table entries (working table), for diagnostics and tests.
  const PgxPageSpan& page_span(int page) const { return pages_[size_t(page - 1)]; }

 private:
  bool fail(const std::string& why);
  bool read_directory(int fd, std::vector<PgxDirEntry>& dir, std::vector<unsigned char>* raw);
  bool unpack_page_table(const PgxDirEntry& pape);
  bool load_page_table();
  bool load_info_table();

  std::string path_;
  std::string error_;
  int doc_fd_ = -1;     // the document file; the working file of a plain document
  int second_fd_ = -1;  // second read-only handle on the document file
  TempFile working_copy_;
  bool packed_ = false;
  std::vector<PgxDirEntry> directory_;
  std::vector<PgxPageSpan> pages_;        // working table
  std::vector<PgxPageSpan> saved_pages_;  // packed document: packed streams in the document
  std::vector<PgxInfoEntry> info_;
  uint64_t info_begin_ = 0, info_end_ = 0;  // extent of the info stream in the document
  uint32_t structure_offset_ = 0;
};

}  // namespace qm::pgx
