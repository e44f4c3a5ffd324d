// An X server without a screen for the tests that show real windows: Xvfb started with
// -displayfd, so tests running side by side never share a display, and stopped by its
// process id. Builds on platform/process.h; used by the desktop's Xvfb and end-to-end
// tests. Test code only.
#pragma once
#include <sys/types.h>

#include <string>

#include "platform/process.h"

namespace qm::test {

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer() { stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb (looked up in PATH) with one screen of the size given ("1024x768x24") and
  // waits up to 20 s for its display number. false with error() when Xvfb is missing, does
  // not start or names no display; installed() tells the first case apart.
  bool start(const std::string& screen = "1024x768x24");
  bool installed() const { return installed_; }
  const std::string& error() const { return error_; }
  // ":<n>", empty until started.
  const std::string& display() const { return display_; }
  pid_t pid() const { return pid_; }
  // Stops the server and its process group; true when the process is gone afterwards.
  bool stop();

 private:
  ChildProcess server_;
  std::string display_;
  std::string error_;
  pid_t pid_ = 0;
  bool installed_ = true;
};

// The display number in Xvfb's -displayfd output: the first line of digits only (the
// server may warn on the same pipe first); -1 when there is none yet.
int xvfb_display_number(const std::string& output);

}  // namespace qm::test
