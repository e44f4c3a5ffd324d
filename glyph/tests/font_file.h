// Test helper: bytes written to a scratch file and opened read-only, so the reader gets
// a real file descriptor as the renderer's callers give it.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "testsupport/test_files.h"

namespace qm::glyph::test {

class FontFile {
 public:
  explicit FontFile(const std::string& bytes) : dir_("qm-glyph-") {
    qm::test::write_file(dir_ / "font.bin", bytes);
    fd_ = ::open((dir_ / "font.bin").c_str(), O_RDONLY);
  }
  ~FontFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  FontFile(const FontFile&) = delete;
  FontFile& operator=(const FontFile&) = delete;
  int fd() const { return fd_; }

 private:
  qm::test::TempDir dir_;
  int fd_ = -1;
};

}  // namespace qm::glyph::test
