// Opening PGX documents and making their pages readable (pgx_document.h). Every
// length and count taken from the file is checked against the stream and the file
// before anything is read with it.
#include "pagedoc/pgx_document.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pagedoc/pack_stream.h"
#include "pagedoc/pgx_format.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO given as a document from
// blocking the open; anything but a regular file is refused.
int open_read_only(const std::string& path) {
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  int fd = ::open(path.c_str(), flags);
  if (fd < 0) fd = ::open(path.c_str(), flags);  // one more try, as a busy file may free up
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The end of a stream: its stored length, but never past the end of the file.
uint64_t stream_end(const PgxDirEntry& e, int64_t file_size) {
  uint64_t end = uint64_t(e.offset) + e.length;
  return std::min<uint64_t>(end, file_size < 0 ? 0 : uint64_t(file_size));
}

}  // namespace

bool PgxDocument::fail(const std::string& why) {
  error_ = why;
  close();
  working_copy_.remove();
  return false;
}

const PgxDirEntry* PgxDocument::find_stream(std::string_view tag) const {
  for (const auto& e : directory_)
    if (e.tag == tag) return &e;
  return nullptr;
}

bool PgxDocument::read_directory(int fd, std::vector<PgxDirEntry>& dir, std::vector<unsigned char>* raw) {
  unsigned char header[kHeaderSize];
  if (io_read_at(fd, 0, header, kHeaderSize) != kHeaderSize) return false;
  size_t count = le::get16(header + kHeaderEntryCountAt);
  std::vector<unsigned char> bytes(count * kDirEntrySize);
  if (io_read_at(fd, kHeaderSize, bytes.data(), bytes.size()) != bytes.size()) return false;
  dir.clear();
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = bytes.data() + i * kDirEntrySize;
    PgxDirEntry e;
    e.tag.assign(reinterpret_cast<const char*>(p + kDirTagAt), kTagSize);
    e.packed = le::get32(p + kDirPackedAt);
    e.offset = le::get32(p + kDirOffsetAt);
    e.length = le::get32(p + kDirLengthAt);
    dir.push_back(e);
  }
  if (raw) {
    raw->assign(header, header + kHeaderSize);
    raw->insert(raw->end(), bytes.begin(), bytes.end());
  }
  return true;
}

bool PgxDocument::open(const std::string& path) {
  destroy();
  error_.clear();
  doc_fd_ = open_read_only(path);
  if (doc_fd_ < 0) return fail("cannot open the file");
  char magic[4];
  if (io_read_at(doc_fd_, 0, magic, 4) != 4 || std::memcmp(magic, kDocMagic.data(), 4) != 0)
    return fail("not a PGX document");
  path_ = path;

  std::vector<unsigned char> raw_dir;
  if (!read_directory(doc_fd_, directory_, &raw_dir)) return fail("the directory is cut short");
  const PgxDirEntry* pape = find_stream(kTagPages);
  if (!pape) return fail("no page table");
  if (!find_stream(kTagInfo)) return fail("no info table");
  packed_ = pape->packed != 0;

  if (packed_) {
    if (!working_copy_.create("tst")) return fail("cannot make a working copy");
    if (!io_write_at(working_copy_.fd(), 0, raw_dir.data(), raw_dir.size()))
      return fail("cannot write the working copy");
    if (!unpack_page_table(*pape)) return false;
  }

  // From here on everything is read from the working file.
  if (!read_directory(working_fd(), directory_, nullptr)) return fail("the directory is cut short");
  if (!load_page_table() || !load_info_table()) return false;
  const PgxDirEntry* stru = find_stream(kTagStructure);
  structure_offset_ = stru ? stru->offset : 0;
  second_fd_ = open_read_only(path);
  if (second_fd_ < 0) return fail("cannot open the file");
  return true;
}

// Unpacks the page table to the end of the working copy and points the copy's
// directory entry at it.
bool PgxDocument::unpack_page_table(const PgxDirEntry& pape) {
  uint64_t start = kHeaderSize + directory_.size() * kDirEntrySize;
  uint64_t written = 0;
  int rc = pack_run(doc_fd_, pape.offset, 0, working_copy_.fd(), start, PackDirection::Unpack, &written);
  if (rc != kPackOk) return fail("the page table cannot be unpacked (code " + std::to_string(rc) + ")");
  if (start > 0xFFFFFFFFu || written > 0xFFFFFFFFu) return fail("the page table is too large");
  for (size_t i = 0; i < directory_.size(); ++i) {
    if (directory_[i].tag != kTagPages) continue;
    unsigned char fields[12];
    le::put32(fields, 0);
    le::put32(fields + 4, uint32_t(start));
    le::put32(fields + 8, uint32_t(written));
    if (!io_write_at(working_copy_.fd(), kHeaderSize + i * kDirEntrySize + kDirPackedAt, fields, sizeof fields))
      return fail("cannot write the working copy");
    break;
  }
  return true;
}

bool PgxDocument::load_page_table() {
  const PgxDirEntry* pape = find_stream(kTagPages);
  if (!pape) return fail("no page table");
  uint64_t end = stream_end(*pape, io_file_size(working_fd()));
  unsigned char count_bytes[kPageCountSize];
  if (uint64_t(pape->offset) + kPageCountSize > end ||
      io_read_at(working_fd(), pape->offset, count_bytes, kPageCountSize) != kPageCountSize)
    return fail("the page table is cut short");
  size_t count = le::get16(count_bytes);
  std::vector<unsigned char> table(count * kPageEntrySize);
  uint64_t at = uint64_t(pape->offset) + kPageCountSize;
  if (at + table.size() > end || io_read_at(working_fd(), at, table.data(), table.size()) != table.size())
    return fail("the page table is cut short");
  pages_.assign(count, {});
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = table.data() + i * kPageEntrySize;
    pages_[i].offset = le::get32(p + kPageDataOffsetAt);
    pages_[i].length = le::get32(p + kPageDataLengthAt);
  }
  if (packed_) {
    saved_pages_ = pages_;
    for (auto& s : pages_) s = {};
  }
  return true;
}

bool PgxDocument::load_info_table() {
  const PgxDirEntry* name = find_stream(kTagInfo);
  if (!name) return fail("no info table");
  info_begin_ = name->offset;
  info_end_ = stream_end(*name, io_file_size(doc_fd_));
  // Only the 4 bytes up to the entry count are needed, so an info stream with no
  // entries that ends the file (4 bytes long) still opens.
  unsigned char header[kInfoHeaderSize];
  if (info_begin_ + kInfoHeaderSize > info_end_ ||
      io_read_at(doc_fd_, info_begin_, header, kInfoHeaderSize) != kInfoHeaderSize)
    return fail("the info table is cut short");
  size_t count = le::get16(header + kInfoCountAt);
  std::vector<unsigned char> table(count * kInfoEntrySize);
  uint64_t at = info_begin_ + kInfoHeaderSize;
  if (at + table.size() > info_end_ || io_read_at(doc_fd_, at, table.data(), table.size()) != table.size())
    return fail("the info table is cut short");
  info_.assign(count, {});
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = table.data() + i * kInfoEntrySize;
    info_[i].id = le::get16(p + kInfoIdAt);
    info_[i].length = le::get32(p + kInfoLengthAt);
    info_[i].offset = le::get32(p + kInfoOffsetAt);
  }
  return true;
}

void PgxDocument::close() {
  close_fd(doc_fd_);
  close_fd(second_fd_);
}

void PgxDocument::destroy() {
  close();
  working_copy_.remove();
  directory_.clear();
  pages_.clear();
  saved_pages_.clear();
  info_.clear();
  packed_ = false;
  structure_offset_ = 0;
  info_begin_ = info_end_ = 0;
}

std::string PgxDocument::info_item(uint16_t id) const {
  int fd = second_fd_ >= 0 ? second_fd_ : doc_fd_;
  for (const auto& e : info_) {
    if (e.id != id) continue;
    uint64_t at = info_begin_ + e.offset;
    if (at >= info_end_) return {};
    uint64_t n = std::min<uint64_t>(e.length, info_end_ - at);
    std::string text(size_t(n), '\0');
    text.resize(io_read_at(fd, at, text.data(), text.size()));
    return text;
  }
  return {};
}

bool PgxDocument::make_page_available(int page, PageUnpackState& state) {
  if (page < 1 || page > page_count()) return false;
  if (!packed_) return true;
  if (state.first_extraction) {
    state.first_extraction = false;
    int64_t size = io_file_size(working_copy_.fd());
    if (size < 0) return false;
    state.unpack_offset = uint64_t(size);
  }
  if (state.current_page > 0 && state.current_page <= page_count()) pages_[size_t(state.current_page - 1)] = {};
  state.current_page = 0;
  PgxPageSpan& span = pages_[size_t(page - 1)];
  if (span.offset != 0 && span.length != 0) return true;
  state.current_page = page;
  uint64_t written = 0;
  int rc = pack_run(second_fd_, saved_pages_[size_t(page - 1)].offset, 0, working_copy_.fd(), state.unpack_offset,
                    PackDirection::Unpack, &written);
  if (rc != kPackOk) return false;
  span.offset = state.unpack_offset;
  span.length = written;
  return true;
}

bool PgxDocument::page_data(int page, uint64_t& begin, uint64_t& end) const {
  if (page < 1 || page > page_count()) return false;
  const PgxPageSpan& span = pages_[size_t(page - 1)];
  int64_t size = io_file_size(working_fd());
  if (size < 0) return false;
  if (packed_) {
    if (span.offset == 0) return false;  // not unpacked
  } else if (span.offset > uint64_t(size)) {
    return false;  // the page lies past the end of the file
  }
  begin = span.offset;
  end = std::min<uint64_t>(span.offset + span.length, uint64_t(size));
  // A plain document's page with no stored length runs to the end of the file.
  if (!packed_ && span.length == 0) end = uint64_t(size);
  return true;
}

}  // namespace qm::pgx
