// Opening a document or an address with the desktop's chosen program, as the old system's
// shell "open" did: xdg-open runs as a child (by absolute path, in its own process group).
// It succeeds when the opener exits with 0, or is still running after the wait (some
// openers stay until the program they started ends); such an opener is left running and
// reaped by a waiting thread the moment it ends. Builds on platform/process.h; used by the desktop's help, web-page and
// document commands.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace qm {

class ShellOpener {
 public:
  // opener: absolute path of the opener; empty: "xdg-open" looked up in PATH.
  explicit ShellOpener(std::string opener = {}, int wait_ms = 5000);
  // Opens target (a path or an address). false with error() when the opener is missing,
  // cannot be run or exits with a failure code.
  bool open(const std::string& target);
  // The same for a program of the caller's choice: argv[0] by absolute path, then its
  // arguments (a viewer started at a place in a document).
  bool run(const std::vector<std::string>& argv);
  const std::string& error() const { return error_; }

 private:
  std::string opener_;
  int wait_ms_;
  std::string error_;
};

// The absolute path of a program found in PATH; empty when there is none.
std::string find_in_path(const std::string& name);

}  // namespace qm
