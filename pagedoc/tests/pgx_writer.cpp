// Test writer of PGX documents (pgx_writer.h).
#include "pagedoc/tests/pgx_writer.h"

#include <cstring>
#include <fstream>
#include <sstream>
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

bool write_file(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(f);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace qm::pgx::test
