// Buffered files of the index writer; see buffered_file.h.
#include "index/buffered_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace qm::index_build {

void fail_io(const std::string& what, const std::string& path) {
  throw WriterFailure(what + " " + path + ": " + std::strerror(errno));
}

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

void FileHandle::open_fd(const std::string& path, int flags, const char* failure) {
  path_ = path;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd_ < 0) fail_io(failure, path);
}

void OutFile::open(const std::string& path) {
  open_fd(path, O_WRONLY | O_CREAT | O_TRUNC, "cannot create");
  buf_.reset(new char[kBuffer]);
  used_ = 0;
  written_ = 0;
}

void OutFile::close(bool sync) {
  if (fd_ < 0) return;
  flush_buffer();
  if (sync && ::fsync(fd_) != 0) fail_io("cannot write", path_);
  int rc = ::close(fd_);
  fd_ = -1;
  buf_.reset();
  if (rc != 0) fail_io("cannot write", path_);
}

void OutFile::write_raw(const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) fail_io("cannot write", path_);
    p += w;
    n -= size_t(w);
    written_ += uint64_t(w);
  }
}

void InFile::open(const std::string& path) {
  open_fd(path, O_RDONLY, "cannot open");
  buf_.reset(new unsigned char[kBuffer]);
}

void InFile::refill() {
  pos_ = end_ = 0;
  for (;;) {
    ssize_t r = ::read(fd_, buf_.get(), kBuffer);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) fail_io("cannot read", path_);
    end_ = size_t(r);
    return;
  }
}

}  // namespace qm::index_build
