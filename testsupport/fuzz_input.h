// Helpers of the fuzz targets whose readers take a path rather than bytes: an input held
// in an anonymous memory file named by its /proc/self/fd path, and a scratch folder of
// the process (removed at exit) for readers that want a folder or a file name of their
// own. Used by the fuzz targets under */fuzz/ in libFuzzer and in the CTest replay.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace qm::fuzz {

// The bytes in a memory file; path() opens it again from the start. Aborts when the
// file cannot be made (the target cannot run at all then).
class MemFile {
 public:
  MemFile(const uint8_t* data, size_t size) {
    fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd_ < 0) std::abort();
    for (size_t done = 0; done < size;) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) std::abort();
      done += size_t(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemFile() { ::close(fd_); }
  MemFile(const MemFile&) = delete;
  MemFile& operator=(const MemFile&) = delete;
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// This process's scratch folder (in /dev/shm when it exists), made on first use.
inline const std::filesystem::path& scratch_dir() {
  static const std::filesystem::path dir = [] {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::filesystem::path d = base / ("qm-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::atexit([] {
      std::error_code e;
      std::filesystem::remove_all(scratch_dir(), e);
    });
    return std::filesystem::canonical(d);
  }();
  return dir;
}

// Writes the bytes to a file of the scratch folder (replacing it); its path.
inline std::string scratch_file(std::string_view name, const uint8_t* data, size_t size) {
  std::filesystem::path p = scratch_dir() / name;
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  if (!out) std::abort();
  return p.string();
}

}  // namespace qm::fuzz
