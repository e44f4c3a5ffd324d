// Helpers of the setup helpers' tests: messages caught instead of written to standard
// error, a call run in a child process whose file-size limit makes every write past a
// few bytes fail (a failed write that also works for the super-user), and small scripts.
// Test code only.
#pragma once
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/test_files.h"

namespace qm::test {

// Messages caught by a sink that the tests install.
inline std::vector<std::pair<std::string, std::string>>& caught_messages() {
  static std::vector<std::pair<std::string, std::string>> messages;
  return messages;
}
inline void catch_message(const char* caption, const char* text) {
  caught_messages().emplace_back(caption, text);
}

// Runs call in a child process in which no file may grow past limit bytes; the call's
// result (0 or 1), or -1 when the child did not end normally.
inline int run_with_file_limit(size_t limit, const std::function<bool()>& call) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit r {limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &r);
    ::_exit(call() ? 1 : 0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An executable shell script.
inline void write_script(const std::string& path, const std::string& body) {
  write_file(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

}  // namespace qm::test
