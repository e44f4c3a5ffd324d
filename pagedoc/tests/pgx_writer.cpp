// Test writer of PGX documents (pgx_writer.h).
#include "pagedoc/tests/pgx_writer.h"

#include <cstring>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

#include "pagedoc/pack_stream.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_io.h"
#include "platform/le.h"

namespace qm::pgx::test {
namespace {

std::string code2(const char code[2]) { return std::string(code, 2); }

// An anonymous in-memory file holding `bytes`.
int memory_file(const std::string& bytes) {
  int fd = ::memfd_create("pgx_writer", MFD_CLOEXEC);
  if (fd < 0) throw std::runtime_error("memfd_create failed");
  if (!io_write_at(fd, 0, bytes.data(), bytes.size())) throw std::runtime_error("memfd write failed");
  return fd;
}

std::string whole(int fd) {
  std::string out(size_t(io_file_size(fd)), '\0');
  out.resize(io_read_at(fd, 0, out.data(), out.size()));
  return out;
}

}  // namespace

PageWriter& PageWriter::text(const std::vector<TextRun>& runs, bool eu, int total_override) {
  std::string body;
  for (const TextRun& r : runs) {
    le::append16(body, r.x);
    le::append16(body, r.y);
    le::append16(body, uint16_t(r.text.size()));
    body += char((r.has_extent ? kRunHasExtent : 0) | (r.char_data ? kRunHasCharData : 0));
    body += r.text;
    if (r.has_extent)
      for (int16_t v : r.extent) le::append16(body, uint16_t(v));
    if (r.char_data) body.append(r.text.size() * kRunCharDataPerChar, '\x07');
  }
  bytes_ += eu ? "EU" : "ET";
  le::append16(bytes_, uint16_t(total_override >= 0 ? total_override : int(body.size())));
  bytes_ += body;
  return *this;
}

PageWriter& PageWriter::record(const char code[2], const std::string& body) {
  bytes_ += code2(code) + body;
  return *this;
}

PageWriter& PageWriter::sized(const char code[2], const std::string& body) {
  bytes_ += code2(code);
  le::append16(bytes_, uint16_t(body.size()));
  bytes_ += body;
  return *this;
}

PageWriter& PageWriter::image(uint16_t bit_count, const std::string& pixels) {
  bytes_ += "SD";
  le::append16(bytes_, 0);
  std::string block(kImageBlockSize, '\0');
  le::put16(reinterpret_cast<unsigned char*>(block.data()) + kImageBitCountAt, bit_count);
  bytes_ += block;
  bytes_.append(image_palette_size(bit_count), '\x01');
  le::append32(bytes_, uint32_t(pixels.size()));
  bytes_ += pixels;
  return *this;
}

PageWriter& PageWriter::end() {
  bytes_ += "CT";
  return *this;
}

PageWriter& PageWriter::raw(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

std::string pack_bytes(const std::string& raw) {
  int src = memory_file(raw);
  int dst = ::memfd_create("pgx_writer", MFD_CLOEXEC);
  int rc = pack_run(src, 0, raw.size(), dst, 0, PackDirection::Pack);
  std::string out = whole(dst);
  ::close(src);
  ::close(dst);
  if (rc != kPackOk) throw std::runtime_error("pack failed: " + std::to_string(rc));
  return out;
}

std::string unpack_bytes(const std::string& packed, int* code) {
  int src = memory_file(packed);
  int dst = ::memfd_create("pgx_writer", MFD_CLOEXEC);
  int rc = pack_run(src, 0, 0, dst, 0, PackDirection::Unpack);
  std::string out = whole(dst);
  ::close(src);
  ::close(dst);
  if (code) *code = rc;
  return out;
}

Written write_pgx(const DocSpec& spec) {
  struct Planned {
    std::string tag;
    bool packed;
    std::string data;
  };
  Written w;
  size_t entries = (spec.with_page_table ? 1 : 0) + (spec.with_info ? 1 : 0) + spec.extra.size();
  uint64_t at = kHeaderSize + entries * kDirEntrySize;

  // Page data first, so the page table can point at it.
  std::string page_area;
  std::vector<std::pair<uint32_t, uint32_t>> spans;
  for (const std::string& p : spec.pages) {
    std::string data = spec.packed ? pack_bytes(p) : p;
    spans.emplace_back(uint32_t(at + page_area.size()), uint32_t(data.size()));
    w.page_offsets.push_back(uint32_t(at + page_area.size()));
    page_area += data;
  }
  at += page_area.size();

  std::string table;
  le::append16(table, uint16_t(spec.pages.size()));
  for (auto [off, len] : spans) {
    std::string e(kPageEntrySize, '\x5A');  // bytes the reader does not use
    auto* p = reinterpret_cast<unsigned char*>(e.data());
    le::put32(p + kPageDataOffsetAt, off);
    le::put32(p + kPageDataLengthAt, len);
    table += e;
  }

  std::string info(kInfoHeaderSize, '\0');
  le::put16(reinterpret_cast<unsigned char*>(info.data()) + kInfoCountAt, uint16_t(spec.info.size()));
  uint32_t text_at = uint32_t(kInfoHeaderSize + spec.info.size() * kInfoEntrySize);
  std::string texts;
  for (const auto& [id, text] : spec.info) {
    le::append16(info, id);
    le::append32(info, uint32_t(text.size()));
    le::append32(info, uint32_t(text_at + texts.size()));
    texts += text;
  }
  info += texts;

  std::vector<Planned> streams;
  if (spec.with_page_table) streams.push_back({std::string(kTagPages), spec.packed, table});
  if (spec.with_info) streams.push_back({std::string(kTagInfo), false, info});
  for (const Stream& s : spec.extra) streams.push_back({s.tag, s.packed, s.data});

  std::string dir, body;
  for (Planned& s : streams) {
    std::string data = s.packed ? pack_bytes(s.data) : s.data;
    uint32_t off = uint32_t(at + body.size());
    if (s.tag == kTagPages) w.page_table_offset = off;
    if (s.tag == kTagInfo) w.info_offset = off;
    std::string tag = (s.tag + "    ").substr(0, kTagSize);
    dir += tag;
    le::append32(dir, s.packed ? 1 : 0);
    le::append32(dir, off);
    le::append32(dir, uint32_t(data.size()));
    body += data;
  }

  w.bytes = std::string(kDocMagic);
  le::append16(w.bytes, 0);
  le::append16(w.bytes, uint16_t(streams.size()));
  w.bytes += dir + page_area + body;
  return w;
}

namespace {

void append_text(std::string& out, const std::string& text) {
  le::append16(out, uint16_t(text.size()));
  out += text;
}

void append_block(std::string& out, const PgxObjectBlock& b) {
  for (uint32_t w : b.words) le::append16(out, uint16_t(w));
  le::append32(out, b.value);
}

template <size_t N>
void append_words(std::string& out, const std::array<uint32_t, N>& words) {
  for (uint32_t w : words) le::append16(out, uint16_t(w));
}

std::string item_header(size_t count) {
  std::string h(kItemRecordCountAt, '\xEE');
  le::append16(h, uint16_t(count));
  return h;
}

// The item header, then each record written by `put` and its trailer.
template <class T, class Put>
std::string object_item(const std::vector<T>& records, Put put) {
  std::string out = item_header(records.size());
  for (const T& r : records) {
    put(out, r);
    out.append(kObjectTrailerSize, '\x33');
  }
  return out;
}

}  // namespace

std::string bookmarks_item(const std::vector<PgxBookmark>& records) {
  return object_item(records, [](std::string& out, const PgxBookmark& r) {
    append_text(out, r.text1);
    append_text(out, r.text2);
    append_block(out, r.block);
  });
}

std::string highlights_item(const std::vector<PgxHighlight>& records) {
  return object_item(records, [](std::string& out, const PgxHighlight& r) { append_block(out, r.block); });
}

std::string hyperlinks_item(const std::vector<PgxHyperlink>& records) {
  return object_item(records, [](std::string& out, const PgxHyperlink& r) {
    append_text(out, r.text1);
    append_block(out, r.block);
    append_text(out, r.text2);
  });
}

std::string hypertexts_item(const std::vector<PgxHypertext>& records) {
  return object_item(records, [](std::string& out, const PgxHypertext& r) {
    append_text(out, r.text);
    append_block(out, r.block);
    append_words(out, r.words);
  });
}

std::string index_terms_item(const std::vector<PgxIndexTerm>& records) {
  return object_item(records, [](std::string& out, const PgxIndexTerm& r) {
    append_text(out, r.text);
    append_words(out, r.words);
  });
}

std::string notes_item(const std::vector<PgxNote>& records) {
  return object_item(records, [](std::string& out, const PgxNote& r) {
    append_text(out, r.title);
    append_text(out, r.text);
    le::append16(out, uint16_t(int16_t(r.page)));
    append_words(out, r.words);
    le::append16(out, uint16_t(r.last));
  });
}

std::string extra_item(const std::vector<std::pair<std::string, std::string>>& records) {
  std::string out = item_header(records.size());
  for (const auto& [tag, bytes] : records) {
    out += (tag + "      ").substr(0, kIndexTagSize);
    le::append32(out, uint32_t(bytes.size()));
  }
  for (const auto& r : records) out += r.second;
  return out;
}

std::string keyword_record(const std::string& id, const std::vector<std::string>& keywords, const std::string& gap) {
  std::string out;
  append_text(out, id);
  out += gap;
  le::append16(out, uint16_t(keywords.size()));
  for (const std::string& k : keywords) append_text(out, k);
  return out;
}

std::string index_stream(const std::vector<IndexItem>& items) {
  std::string out(kIndexHeaderSize, '\xEE');
  le::put16(reinterpret_cast<unsigned char*>(out.data()) + kIndexEntryCountAt, uint16_t(items.size()));
  uint32_t at = uint32_t(kIndexHeaderSize + items.size() * kIndexEntrySize);
  std::string body;
  for (const IndexItem& item : items) {
    out += (item.tag + "      ").substr(0, kIndexTagSize);
    le::append32(out, uint32_t(at + body.size()));
    le::append32(out, uint32_t(item.bytes.size()));
    body += item.bytes;
  }
  return out + body;
}

std::string index_stream(const IndexSpec& spec) {
  std::vector<IndexItem> items;
  if (!spec.bookmarks.empty()) items.push_back({std::string(kItemBookmarks), bookmarks_item(spec.bookmarks)});
  if (!spec.highlights.empty()) items.push_back({std::string(kItemHighlights), highlights_item(spec.highlights)});
  if (!spec.hyperlinks.empty()) items.push_back({std::string(kItemHyperlinks), hyperlinks_item(spec.hyperlinks)});
  if (!spec.hypertexts.empty()) items.push_back({std::string(kItemHypertexts), hypertexts_item(spec.hypertexts)});
  if (!spec.index_terms.empty())
    items.push_back({std::string(kItemIndexEntries), index_terms_item(spec.index_terms)});
  if (!spec.notes.empty()) items.push_back({std::string(kItemNotes), notes_item(spec.notes)});
  if (spec.with_keywords)
    items.push_back({std::string(kItemExtra),
                     extra_item({{std::string(kItemKeywords), keyword_record(spec.id, spec.keywords)}})});
  return index_stream(items);
}

}  // namespace qm::pgx::test
