// A small PGX writer for tests: builds page record streams and whole documents
// (plain or packed) from the layout in pagedoc/pgx_format.h. The system itself only
// reads PGX documents; this exists so tests can make any document they need.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// Packs bytes into a packed stream (pack header and implode data) with the pack run.
std::string pack_bytes(const std::string& raw);
// Unpacks a packed stream with the pack run; *code receives its result.
std::string unpack_bytes(const std::string& packed, int* code);

bool write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

}  // namespace qm::pgx::test
