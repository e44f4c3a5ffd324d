// Positioned file reads and writes on POSIX descriptors, and the temporary files that
// the page-document reader works in (working copies). Used by pack_stream.cpp and
// pgx_document.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::pgx {

// Reads up to n bytes at offset; returns the count read (short at end of file or error).
size_t io_read_at(int fd, uint64_t offset, void* buf, size_t n);
// Writes all n bytes at offset; false on any failure.
bool io_write_at(int fd, uint64_t offset, const void* buf, size_t n);
// Size of an open file, or -1.
int64_t io_file_size(int fd);

// The system's temporary folder: $TMPDIR when set and not empty, else /tmp.
std::string io_temp_dir();

// A uniquely named file made with mkstemp in the temporary folder, named
// <prefix>XXXXXX, open read/write. It is closed and removed when the object goes.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool create(const std::string& prefix);  // false when no file can be made
  void remove();                           // closes and deletes; safe to repeat
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace qm::pgx
