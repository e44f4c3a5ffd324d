// The replacement lock of a database directory; see index_lock.h.
#include "index/index_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "index/index_format.h"

namespace qm {

IndexLock::IndexLock(IndexLock&& other) noexcept
    : fd_(other.fd_), state_(other.state_), error_(std::move(other.error_)) {
  other.fd_ = -1;
  other.state_ = State::Released;
}

IndexLock& IndexLock::operator=(IndexLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    state_ = other.state_;
    error_ = std::move(other.error_);
    other.fd_ = -1;
    other.state_ = State::Released;
  }
  return *this;
}

void IndexLock::release() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor drops the flock lock
  fd_ = -1;
  if (state_ == State::Held) state_ = State::Released;
}

IndexLock IndexLock::acquire(const std::string& directory, Mode mode, int wait_ms) {
  IndexLock lock;
  const std::string path = directory + index_format::kLockFile;
  if (mode == Mode::Exclusive) {
    lock.fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  } else {
    lock.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (lock.fd_ < 0 && errno == ENOENT) {
      lock.fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
      if (lock.fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        lock.state_ = State::NoLockFile;
        return lock;
      }
    }
  }
  if (lock.fd_ < 0) {
    lock.error_ = "cannot open " + path + ": " + std::strerror(errno);
    lock.state_ = State::Failed;
    return lock;
  }
  // Polled rather than blocking, so that the wait has an end; the pause grows from 1 ms
  // to 20 ms, as renames take milliseconds.
  const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::flock(lock.fd_, operation) == 0) {
      lock.state_ = State::Held;
      return lock;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      lock.error_ = "cannot lock " + path + ": " + std::strerror(errno);
      lock.state_ = State::Failed;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.error_ = mode == Mode::Exclusive ? "the database is in use by another program: " + path
                                            : "the database is being replaced by another program: " + path;
      lock.state_ = State::TimedOut;
      break;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
  ::close(lock.fd_);
  lock.fd_ = -1;
  return lock;
}

}  // namespace qm
