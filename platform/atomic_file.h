// Safe replacement of files people would lose work in: the new content goes to a
// temporary file in the same directory, is flushed to disk and renamed over the old
// file, which keeps its permission bits. A failed write removes the temporary file and
// leaves the old file whole. A path that is a symbolic link replaces the link's target.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace qm {

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();  // an uncommitted file is abandoned
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file for path; false (with error()) when it cannot.
  bool open(const std::string& path);
  // The stream to write to; valid between open() and commit()/abort().
  std::FILE* file() const { return file_; }
  bool write(std::string_view data);
  // Flushes, syncs and renames over the target; false (old file whole) on any failure.
  bool commit();
  void abort();
  const std::string& error() const { return error_; }

 private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::string error_;
};

// Replaces path with data; false (and error text) on failure, the old file untouched.
bool atomic_replace(const std::string& path, std::string_view data, std::string* error = nullptr);

}  // namespace qm
