// Positioned I/O helpers and temporary files (pgx_io.h).
#include "pagedoc/pgx_io.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qm::pgx {

size_t io_read_at(int fd, uint64_t offset, void* buf, size_t n) {
  size_t done = 0;
  auto* p = static_cast<unsigned char*>(buf);
  while (done < n) {
    ssize_t r = ::pread(fd, p + done, n - done, off_t(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += size_t(r);
  }
  return done;
}

bool io_write_at(int fd, uint64_t offset, const void* buf, size_t n) {
  size_t done = 0;
  auto* p = static_cast<const unsigned char*>(buf);
  while (done < n) {
    ssize_t r = ::pwrite(fd, p + done, n - done, off_t(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += size_t(r);
  }
  return true;
}

int64_t io_file_size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  return int64_t(st.st_size);
}

std::string io_temp_dir() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool TempFile::create(const std::string& prefix) {
  remove();
  std::string name = io_temp_dir() + "/" + prefix + "XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) return false;
  fd_ = fd;
  path_.assign(buf.data());
  return true;
}

void TempFile::remove() {
  if (fd_ >= 0) ::close(fd_);
  if (!path_.empty()) ::unlink(path_.c_str());
  fd_ = -1;
  path_.clear();
}

}  // namespace qm::pgx
