// Buffered files of the index writer: OutFile writes a temporary index or run file
// through a 256 KiB buffer, InFile reads a run file back through a 64 KiB buffer. A
// failure throws WriterFailure with "<what> <path>: <reason>", which the writer turns
// into its error. Used by index_writer.cpp and run_merge.cpp only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/le.h"

namespace qm::index_build {

struct WriterFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws "<what> <path>: <reason of errno>".
[[noreturn]] void fail_io(const std::string& what, const std::string& path);

// A varint (7 bits a byte, low first, high bit: more follow) from source.get(); false when
// it runs past five bytes, with v holding what was read.
template <class Source>
bool get_varint(Source& source, uint32_t& v) {
  v = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    unsigned char b = source.get();
    v |= uint32_t(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

// The descriptor and path of one buffered file, closed when it goes.
class FileHandle {
 public:
  FileHandle() = default;
  FileHandle(const FileHandle&) = delete;
  ~FileHandle();
  const std::string& path() const { return path_; }

 protected:
  // Opens path with flags; a failure ends the build with "<failure> <path>: <reason>".
  void open_fd(const std::string& path, int flags, const char* failure);
  int fd_ = -1;
  std::string path_;
};

class OutFile : public FileHandle {
 public:
  static constexpr size_t kBuffer = 256 * 1024;

  void open(const std::string& path);  // created or truncated
  bool is_open() const { return fd_ >= 0; }
  uint64_t size() const { return written_ + used_; }

  void write(const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    if (used_ + n > kBuffer) {
      flush_buffer();
      if (n >= kBuffer) {
        write_raw(p, n);
        return;
      }
    }
    std::memcpy(buf_.get() + used_, p, n);
    used_ += n;
  }
  void put16(uint16_t v) { le::put16(room(2), v); }
  void put32(uint32_t v) { le::put32(room(4), v); }
  void posting(uint32_t document, uint16_t paragraph, uint16_t position) {
    unsigned char* b = room(8);
    le::put32(b, document);
    le::put16(b + 4, paragraph);
    le::put16(b + 6, position);
  }

  // Writes what is buffered and closes; with sync, flushes the file to disk first.
  void close(bool sync);

 private:
  // n bytes of buffer to fill in place (n is small).
  unsigned char* room(size_t n) {
    if (used_ + n > kBuffer) flush_buffer();
    unsigned char* p = reinterpret_cast<unsigned char*>(buf_.get()) + used_;
    used_ += n;
    return p;
  }
  void flush_buffer() {
    write_raw(buf_.get(), used_);
    used_ = 0;
  }
  void write_raw(const char* p, size_t n);

  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  uint64_t written_ = 0;
};

class InFile : public FileHandle {
 public:
  static constexpr size_t kBuffer = 64 * 1024;

  void open(const std::string& path);
  bool at_end() {
    if (pos_ < end_) return false;
    refill();
    return pos_ == end_;
  }
  unsigned char get() {
    if (pos_ == end_) {
      refill();
      if (pos_ == end_) throw WriterFailure("temporary run file is truncated: " + path_);
    }
    ++consumed_;
    return buf_[pos_++];
  }
  uint32_t varint() {
    uint32_t v = 0;
    if (!get_varint(*this, v)) throw WriterFailure("temporary run file is damaged: " + path_);
    return v;
  }
  uint32_t get32() {
    unsigned char b[4] = {get(), get(), get(), get()};
    return le::get32(b);
  }
  uint64_t consumed() const { return consumed_; }

 private:
  void refill();

  std::unique_ptr<unsigned char[]> buf_;
  size_t pos_ = 0, end_ = 0;
  uint64_t consumed_ = 0;
};

}  // namespace qm::index_build
