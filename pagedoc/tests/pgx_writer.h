// A small PGX writer for tests: builds page record streams and whole documents
// (plain or packed) from the layout in pagedoc/pgx_format.h. The system itself only
// reads PGX documents; this exists so tests can make any document they need.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pagedoc/pgx_index.h"
#include "testsupport/test_files.h"

namespace qm::pgx::test {

struct TextRun {
  uint16_t x = 0, y = 0;
  std::string text;
  bool has_extent = false;
  int16_t extent[4] = {0, 0, 0, 0};  // start, second, end, fourth
  bool char_data = false;            // 2 bytes per character follow
};

// The record stream of one page.
class PageWriter {
 public:
  // "ET" (or "EU") with the given runs; the total length is the runs' size unless given.
  PageWriter& text(const std::vector<TextRun>& runs, bool eu = false, int total_override = -1);
  // Any record: the two code letters, then the body as given.
  PageWriter& record(const char code[2], const std::string& body);
  // A record whose body is a u16 length and that many bytes.
  PageWriter& sized(const char code[2], const std::string& body);
  // An "SD" image record with length 0: block with the bit count, its colour table,
  // pixel data.
  PageWriter& image(uint16_t bit_count, const std::string& pixels);
  PageWriter& end();  // "CT"
  PageWriter& raw(const std::string& bytes);
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

struct Stream {
  std::string tag;  // 4 characters
  std::string data;
  bool packed = false;
};

struct DocSpec {
  std::vector<std::string> pages;  // record streams
  bool packed = false;             // page table and page data stored packed
  std::vector<std::pair<uint16_t, std::string>> info;
  std::vector<Stream> extra;       // further streams, after the page table and info
  bool with_page_table = true;
  bool with_info = true;
};

struct Written {
  std::string bytes;
  uint32_t page_table_offset = 0;
  uint32_t info_offset = 0;
  std::vector<uint32_t> page_offsets;  // where each page's (possibly packed) data lies
};

Written write_pgx(const DocSpec& spec);

// ---- Index streams ------------------------------------------------------------------
// Bytes the reader steps over are written as fillers: 0xEE in the stream header and
// the item headers, 0x33 in every record's 32-byte trailer. Each entry's further word
// holds its item's length.

// One item of an index stream: its 6-character tag and its bytes (item header and
// records); an item with no bytes gets an entry that points at the end of the stream.
struct IndexItem {
  std::string tag;
  std::string bytes;
};

std::string bookmarks_item(const std::vector<PgxBookmark>& records);
std::string highlights_item(const std::vector<PgxHighlight>& records);
std::string hyperlinks_item(const std::vector<PgxHyperlink>& records);
std::string hypertexts_item(const std::vector<PgxHypertext>& records);
std::string index_terms_item(const std::vector<PgxIndexTerm>& records);
std::string notes_item(const std::vector<PgxNote>& records);
// "XITEM ": the entries (tag, record length), then the records in the same order.
std::string extra_item(const std::vector<std::pair<std::string, std::string>>& records);
// A keyword record: ID length, ID, the 8 bytes given, count, then each keyword.
std::string keyword_record(const std::string& id, const std::vector<std::string>& keywords,
                           const std::string& gap = std::string(8, '\0'));

// The whole stream: header, one entry per item in order, the items back to back.
std::string index_stream(const std::vector<IndexItem>& items);

// A stream with the items of the lists that are not empty, in the order bookmarks,
// highlights, hyperlinks, hypertext, index entries, notes, then "XITEM " with the
// keyword record when `keywords` is given (id first, then the keywords).
struct IndexSpec {
  std::vector<PgxBookmark> bookmarks;
  std::vector<PgxHighlight> highlights;
  std::vector<PgxHyperlink> hyperlinks;
  std::vector<PgxHypertext> hypertexts;
  std::vector<PgxIndexTerm> index_terms;
  std::vector<PgxNote> notes;
  bool with_keywords = false;
  std::string id;
  std::vector<std::string> keywords;
};
std::string index_stream(const IndexSpec& spec);

// Packs bytes into a packed stream (pack header and implode data) with the pack run.
std::string pack_bytes(const std::string& raw);
// Unpacks a packed stream with the pack run; *code receives its result.
std::string unpack_bytes(const std::string& packed, int* code);

// Whole files, for the tests that use this writer.
using qm::test::read_file;
using qm::test::write_file;

}  // namespace qm::pgx::test
