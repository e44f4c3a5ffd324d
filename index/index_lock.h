// The replacement lock of a database directory: index.lock in the directory, locked with
// flock(2). A reader holds it shared while it opens and maps the files of the set (the
// mappings stay valid to its end, whatever replaces the files later); the writer holds it
// exclusively while it puts a new set in place (index_replace.h). The kernel drops a
// flock lock when its holder dies, so a killed writer leaves no lock behind, and both
// sides wait only a bounded time. Used by the readers (index_reader.cpp) and the
// replacement step of the writer.
#pragma once
#include <string>

namespace qm {

// How long a reader waits for a writer's renames (milliseconds) and a writer for the
// readers that are mapping the set; either holds the lock for milliseconds only.
inline constexpr int kIndexReaderWaitMs = 10000;
inline constexpr int kIndexWriterWaitMs = 60000;

class IndexLock {
 public:
  enum class Mode { Shared, Exclusive };
  enum class State {
    Released,    // not held (default, or after release())
    Held,
    NoLockFile,  // a reader found no lock file and cannot create one: no writer has
                 // replaced a set here, so there is nothing to wait for
    TimedOut,
    Failed,      // the lock file cannot be opened (error() tells)
  };

  IndexLock() = default;
  IndexLock(IndexLock&& other) noexcept;
  IndexLock& operator=(IndexLock&& other) noexcept;
  IndexLock(const IndexLock&) = delete;
  IndexLock& operator=(const IndexLock&) = delete;
  ~IndexLock() { release(); }

  // Takes the lock of directory (ending with "/"), waiting up to wait_ms. A shared lock
  // opens the file read-only (creating it when the directory allows); an exclusive one
  // creates it.
  static IndexLock acquire(const std::string& directory, Mode mode, int wait_ms);

  State state() const { return state_; }
  bool held() const { return state_ == State::Held; }
  const std::string& error() const { return error_; }
  void release();

 private:
  int fd_ = -1;
  State state_ = State::Released;
  std::string error_;
};

}  // namespace qm
