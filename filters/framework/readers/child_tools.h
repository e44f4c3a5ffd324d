// Outside programs that readers run as children (antiword for Word, catppt for
// PowerPoint) and the libraries that read only from a path (libfreexl): the source's
// bytes in a private temporary file, the program run through platform/process.h with a
// time limit (its process group killed when it runs late), and the statuses that follow.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "filters/common/kvx_abi.h"

namespace kvx::readers {

// Programs, the time limit and the memory that a forked worker may take beyond what it
// has at its start (libfreexl holds a sheet's whole declared grid, a full BIFF8 sheet
// about 400 MB), process-wide; tests point them elsewhere.
struct ChildTools {
  std::string antiword = "antiword";
  std::string catppt = "catppt";
  int timeout_ms = 30000;
  size_t worker_memory = size_t(1) << 30;
};
ChildTools& child_tools();

// The bytes in a new file of the temporary directory (mode 0600), removed on destruction.
class TempSource {
 public:
  explicit TempSource(std::string_view bytes);
  ~TempSource();
  TempSource(const TempSource&) = delete;
  TempSource& operator=(const TempSource&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs argv (argv[0] a bare name looked up in PATH, or a path) with the time limit and
// collects its standard output: KVX_OK when it exited with 0; KVXERR_NOTOOL when it
// could not be started; KVXERR_BADFORMAT when it ran late or failed. *messages gets its
// standard error when asked for.
KVXSTATUS run_tool(const std::vector<std::string>& argv, std::string& output, std::string* messages = nullptr);

}  // namespace kvx::readers
