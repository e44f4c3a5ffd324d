// A running indexer for the tests that stop or kill a build in the middle: started with its
// output on a pipe, which is read on demand (each read waits at most poll_ms).
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern char** environ;

namespace qm::test {

class LiveIndexer {
 public:
  LiveIndexer(const std::vector<std::string>& argv, int poll_ms) : poll_ms_(poll_ms) {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    fd_ = fds[0];
  }
  ~LiveIndexer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(fd_);
  }
  LiveIndexer(const LiveIndexer&) = delete;
  LiveIndexer& operator=(const LiveIndexer&) = delete;

  // Reads until a line starting with prefix (whose value is not "0") has come; its text,
  // "" when the output ended first.
  std::string wait_for(const std::string& prefix) {
    for (;;) {
      size_t at = 0;
      while ((at = out_.find(prefix, at)) != std::string::npos) {
        if (at == 0 || out_[at - 1] == '\r') {
          size_t cr = out_.find('\r', at);
          if (cr == std::string::npos) break;
          std::string text = out_.substr(at + prefix.size(), cr - at - prefix.size());
          if (text != "0") return text;
        }
        ++at;
      }
      if (!read_more()) return "";
    }
  }
  // Reads until the first document line ("0 ...") has come; false when the output ended first.
  bool wait_for_document() {
    while (out_.rfind("0 ", 0) != 0 && out_.find("\r0 ") == std::string::npos)
      if (!read_more()) return false;
    return true;
  }
  // The whole output, read to its end.
  std::string rest() {
    while (read_more()) {
    }
    return out_;
  }
  void signal(int s) { kill(pid_, s); }
  void reap() {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // Signals the build, reads its output to the end and reaps it.
  std::string stop(int s) {
    signal(s);
    rest();
    reap();
    return out_;
  }

 private:
  bool read_more() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, poll_ms_) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) return false;
    out_.append(buffer, size_t(n));
    return true;
  }
  int poll_ms_;
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string out_;
};

}  // namespace qm::test
