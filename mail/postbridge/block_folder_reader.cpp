// Folder-of-blocks reader (see block_folder_reader.h): the search for blocks whose first
// word is their own offset, the header-line test, the chain walk and the acceptance test.
#include "mail/postbridge/block_folder_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "mail/decode/header.h"
#include "mail/postbridge/block_folder_format.h"
#include "platform/le.h"

namespace qm::mail {

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_name_char(char c) {
  return is_upper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

bool is_header_line(std::string_view bytes) {
  if (bytes.empty() || !is_upper(bytes[0])) return false;
  size_t i = 1;
  while (i < bytes.size() && is_name_char(bytes[i])) ++i;
  return i + 1 < bytes.size() && bytes[i] == ':' && bytes[i + 1] == ' ';
}

bool is_acceptable_message(std::string_view text) {
  if (text.empty() || text[0] == ':') return false;
  const size_t end = text.find("\r\n\r\n");
  const std::string_view header = text.substr(0, end);
  bool sender = false, recipient = false;
  for (size_t at = 0; at <= header.size();) {
    size_t eol = header.find("\r\n", at);
    if (eol == std::string_view::npos) eol = header.size();
    const std::string_view line = header.substr(at, std::min<size_t>(eol - at, 80));
    sender = sender || istarts_with(line, "From:") || istarts_with(line, "Sender:");
    recipient = recipient || istarts_with(line, "To:") || istarts_with(line, "CC:");
    at = eol + 2;
  }
  return sender && recipient;
}

BlockFolderReader::~BlockFolderReader() { close(); }

void BlockFolderReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool BlockFolderReader::open(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st{};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    close();
    return false;
  }
  size_ = uint64_t(st.st_size);
  offset_ = 0;
  started_ = false;
  ahead_from_ = UINT64_MAX;
  walked_.assign(size_t(size_ / 4 + 1), false);
  walked_odd_.clear();
  return true;
}

bool BlockFolderReader::read_at(uint64_t offset, void* buffer, size_t bytes) const {
  if (fd_ < 0 || offset > size_ || bytes > size_ - offset) return false;
  size_t got = 0;
  while (got < bytes) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + got, bytes - got, off_t(offset + got));
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

bool BlockFolderReader::read_block(uint64_t offset, Block& block) const {
  unsigned char b[dbx::kBlockHeaderSize];
  if (!read_at(offset, b, sizeof b)) return false;
  block.self = le::get32(b + dbx::kSelfAt);
  block.kind = le::get32(b + dbx::kKindAt);
  block.length = le::get32(b + dbx::kLengthAt);
  block.next = le::get32(b + dbx::kNextAt);
  return true;
}

// The next block after the last candidate whose data begins with a header line.
bool BlockFolderReader::find_candidate(uint64_t& found) {
  uint64_t pos = started_ ? offset_ + 4 : 0;
  started_ = true;
  std::vector<unsigned char> words(dbx::kSearchWords * 4);
  std::string probe(dbx::kHeaderLineProbe, '\0');
  // A word can only equal an offset below 4 GB.
  while (pos + 4 <= size_ && pos <= UINT32_MAX) {
    const size_t count = size_t(std::min<uint64_t>(dbx::kSearchWords, (size_ - pos) / 4));
    if (!read_at(pos, words.data(), count * 4)) return false;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t at = pos + 4 * i;
      if (le::get32(words.data() + 4 * i) != at || walked(at)) continue;
      const uint64_t data = at + dbx::kBlockHeaderSize;
      if (data >= size_) continue;
      const size_t n = size_t(std::min<uint64_t>(dbx::kHeaderLineProbe, size_ - data));
      if (!read_at(data, probe.data(), n)) continue;
      if (!is_header_line(std::string_view(probe.data(), n))) continue;
      found = at;
      return true;
    }
    pos += 4 * count;
  }
  return false;
}

// The first block after from (word equal to its offset) with at most a message block's
// data, read in bounded steps up to the file's end. The last answer is kept: a later
// start before the block found gives the same block, so the search stays linear.
bool BlockFolderReader::look_ahead(uint64_t from, uint64_t& found) {
  if (ahead_from_ != UINT64_MAX && from >= ahead_from_ && (!ahead_any_ || from + 4 <= ahead_found_)) {
    found = ahead_found_;
    return ahead_any_;
  }
  ahead_from_ = from;
  ahead_any_ = false;
  std::vector<unsigned char> step(dbx::kLookAheadStep);
  for (uint64_t pos = from + 4; pos + dbx::kBlockHeaderSize <= size_ && pos <= UINT32_MAX;) {
    const size_t n = size_t(std::min<uint64_t>(step.size(), (size_ - pos) & ~uint64_t(3)));
    if (n < 4 || !read_at(pos, step.data(), n)) break;
    for (size_t i = 0; i + 4 <= n; i += 4) {
      if (le::get32(step.data() + i) != pos + i) continue;
      Block block;
      if (read_block(pos + i, block) && block.length <= dbx::kMessageBlockData) {
        ahead_found_ = found = pos + i;
        ahead_any_ = true;
        return true;
      }
    }
    pos += n;
  }
  return false;
}

bool BlockFolderReader::walked(uint64_t offset) const {
  if (offset % 4 == 0) return offset / 4 < walked_.size() && walked_[size_t(offset / 4)];
  return walked_odd_.count(offset) != 0;
}

void BlockFolderReader::mark(uint64_t offset) {
  if (offset % 4 == 0 && offset / 4 < walked_.size()) walked_[size_t(offset / 4)] = true;
  else walked_odd_.insert(offset);
}

bool BlockFolderReader::read_chain(uint64_t start, std::string& message) {
  message.clear();
  Block block;
  if (!read_block(start, block)) return false;
  if (block.length > dbx::kMessageBlockData) {
    if (!look_ahead(start, start) || walked(start) || !read_block(start, block)) return false;
  }
  if (block.kind == dbx::kFreedChain) return false;
  uint64_t at = start;
  // A block walked before (by this chain or an earlier one) ends the chain.
  while (!walked(at)) {
    mark(at);
    if (!read_block(at, block)) break;
    const uint64_t data = at + dbx::kBlockHeaderSize;
    // Data past the file's end is cut, and so is a message longer than the file.
    uint64_t length = std::min<uint64_t>(block.length, size_ - data);
    length = std::min<uint64_t>(length, size_ - message.size());
    const size_t old = message.size();
    message.resize(old + size_t(length));
    if (length && !read_at(data, message.data() + old, size_t(length))) {
      message.resize(old);
      break;
    }
    if (block.next == 0 || uint64_t(block.next) + dbx::kBlockHeaderSize > size_) break;
    at = block.next;
  }
  // The text ends at its first NUL.
  const size_t nul = message.find('\0');
  if (nul != std::string::npos) message.resize(nul);
  return true;
}

bool BlockFolderReader::next(std::string& message) {
  while (fd_ >= 0) {
    uint64_t candidate = 0;
    if (!find_candidate(candidate)) {
      close();
      return false;
    }
    offset_ = candidate;
    if (read_chain(candidate, message) && is_acceptable_message(message)) return true;
  }
  return false;
}

}  // namespace qm::mail
