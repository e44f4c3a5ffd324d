// The shell opener (see shell_open.h): xdg-open run as a ChildProcess.
#include "platform/shell_open.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/process.h"

namespace qm {

std::string find_in_path(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && dir[0] == '/') {
      std::string candidate = dir + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return "";
}

ShellOpener::ShellOpener(std::string opener, int wait_ms)
    : opener_(std::move(opener)), wait_ms_(wait_ms) {}

namespace {
// An opener still running after the wait is waited for on a thread of its own, so it is
// reaped as soon as it ends rather than lingering as a zombie until the next open.
void reap_when_done(pid_t pid) {
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}
}  // namespace

bool ShellOpener::open(const std::string& target) {
  std::string program = opener_.empty() ? find_in_path("xdg-open") : opener_;
  if (program.empty()) {
    error_ = "xdg-open: not found";
    return false;
  }
  return run({program, target});
}

bool ShellOpener::run(const std::vector<std::string>& argv) {
  error_.clear();
  ChildOptions options;
  options.argv = argv;
  options.discard_output = true;
  ChildProcess child;
  if (!child.start(options)) {
    error_ = child.error();
    return false;
  }
  if (!child.wait_for_end(wait_ms_)) {
    reap_when_done(child.release());
    return true;
  }
  // Whatever the opener started in its group (the browser) must live on: reap the opener
  // alone instead of stopping the group.
  int status = 0;
  pid_t pid = child.release();
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  error_ = argv[0] + " failed on " + (argv.size() > 1 ? argv[1] : std::string());
  return false;
}

}  // namespace qm
