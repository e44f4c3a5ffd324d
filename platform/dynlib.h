// Shared libraries opened at run time by the name a configuration gives ("x.dll" is
// libx.so here), looked for in a given folder and then in the program directory, or
// opened by path. A thin layer over dlopen; used by pbdrive and the mail tests.
#pragma once
#include <string>
#include <string_view>

namespace qm {

// The file name of a library: "x.dll" (any case) and "x" give "libx.so"; a name that
// already ends in ".so" is kept.
std::string dynlib_file_name(std::string_view name);

class DynLib {
 public:
  DynLib() = default;
  ~DynLib() { close(); }
  DynLib(const DynLib&) = delete;
  DynLib& operator=(const DynLib&) = delete;

  // A name with a "/" is opened as the path it is; any other name is looked for in
  // folder (when not empty), then in program_dir. False with error() when none opens.
  bool open(std::string_view name, const std::string& folder, const std::string& program_dir);
  // The address of an exported symbol; nullptr when missing.
  void* symbol(const char* name) const;
  void close();
  bool is_open() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
};

}  // namespace qm
