// Safe file replacement: temporary file in the same directory, flush, fsync, rename;
// see atomic_file.h.
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace qm {
namespace {

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

// The file the path stands for: a symbolic link is replaced through its target.
std::string resolve_target(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(path.c_str(), nullptr);
    if (real) {
      std::string out(real);
      std::free(real);
      return out;
    }
  }
  return path;
}

void sync_directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { abort(); }

bool AtomicFileWriter::open(const std::string& path) {
  abort();
  failed_ = false;
  error_.clear();
  if (path.empty()) {
    error_ = "empty file name";
    return false;
  }
  target_ = resolve_target(path);
  size_t slash = target_.rfind('/');
  std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);

  struct stat old;
  bool has_old = stat(target_.c_str(), &old) == 0;
  if (has_old && !S_ISREG(old.st_mode)) {
    error_ = target_ + ": not a regular file";
    return false;
  }

  std::random_device rd;
  std::mt19937 gen(rd());
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = dir + "." + base + ".tmp" + std::to_string(gen() % 1000000);
    // Mode 0666 lets the umask decide for a new file; an old file's mode is copied below.
    fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error_ = errno_text(temp_);
    temp_.clear();
    return false;
  }
  if (has_old && fchmod(fd, old.st_mode & 07777) != 0) {
    error_ = errno_text(temp_);
    ::close(fd);
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  file_ = fdopen(fd, "wb");
  if (!file_) {
    error_ = errno_text(temp_);
    ::close(fd);
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  return true;
}

bool AtomicFileWriter::write(std::string_view data) {
  if (!file_) return false;
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
    failed_ = true;
    error_ = errno_text(temp_);
    return false;
  }
  return true;
}

bool AtomicFileWriter::commit() {
  if (!file_) {
    if (error_.empty()) error_ = "no file open";
    return false;
  }
  bool ok = !failed_ && !std::ferror(file_);
  if (ok && std::fflush(file_) != 0) ok = false;
  if (ok && fsync(fileno(file_)) != 0) ok = false;
  if (!ok && error_.empty()) error_ = errno_text(temp_);
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    error_ = errno_text(temp_);
  }
  file_ = nullptr;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) {
    ok = false;
    error_ = errno_text(target_);
  }
  if (!ok) {
    unlink(temp_.c_str());
  } else {
    sync_directory_of(target_);
  }
  temp_.clear();
  return ok;
}

void AtomicFileWriter::abort() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
}

bool atomic_replace(const std::string& path, std::string_view data, std::string* error) {
  AtomicFileWriter w;
  bool ok = w.open(path) && w.write(data) && w.commit();
  if (!ok && error) *error = w.error();
  return ok;
}

}  // namespace qm
