// Running children that talk while they run (see process.h): ChildProcess starts a program
// with posix_spawn in a process group of its own and hands its output out as it comes;
// stop() ends the whole group and reaps only the child's own pid. ChildLineReader cuts the
// output into lines. Used by the desktop for the searcher, marker and index-builder runs
// and by ShellOpener.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "platform/process.h"

extern char** environ;

namespace qm {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTermGraceMs = 500;  // from SIGTERM to SIGKILL

long ms_since(Clock::time_point start) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Milliseconds left of a limit (negative limit: none, given as -1).
int left_of(int limit_ms, Clock::time_point start) {
  if (limit_ms < 0) return -1;
  long left = limit_ms - ms_since(start);
  return left > 0 ? int(left) : 0;
}

std::string_view env_name(std::string_view entry) {
  size_t eq = entry.find('=');
  return eq == std::string_view::npos ? entry : entry.substr(0, eq);
}

bool is_cgi_variable(std::string_view name) {
  return name == "REQUEST_METHOD" || name == "QUERY_STRING" || name == "CONTENT_LENGTH" ||
         name == "HTTP_USER_AGENT";
}

// True when some process of the group other than a zombie is left.
bool group_has_live_members(pid_t group) {
  DIR* dir = opendir("/proc");
  if (!dir) return kill(-group, 0) == 0;
  bool live = false;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) continue;
    // Fields after the name: state, ppid, pgrp.
    char state = stat[close + 2];
    long ppid = 0, pgrp = 0;
    if (std::sscanf(stat.c_str() + close + 3, " %ld %ld", &ppid, &pgrp) != 2) continue;
    if (pgrp == group && state != 'Z' && state != 'X') {
      live = true;
      break;
    }
  }
  closedir(dir);
  return live;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
};

}  // namespace

std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string_view entry(*e);
    std::string_view name = env_name(entry);
    if (is_cgi_variable(name)) continue;
    bool replaced = std::any_of(extra.begin(), extra.end(),
                                [&](const std::string& x) { return env_name(x) == name; });
    if (!replaced) env.emplace_back(entry);
  }
  for (const std::string& x : extra) env.push_back(x);
  return env;
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::start(const ChildOptions& options) {
  error_.clear();
  if (pid_ > 0) {
    error_ = "a child is still running";
    return false;
  }
  exited_ = false;
  exit_code_ = -1;
  signal_ = 0;
  if (options.argv.empty() || options.argv[0].empty() || options.argv[0][0] != '/') {
    error_ = "the program must be given by absolute path";
    return false;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  SpawnSetup ss;
  posix_spawn_file_actions_addopen(&ss.actions, 0, "/dev/null", O_RDONLY, 0);
  if (options.discard_output) {
    posix_spawn_file_actions_addopen(&ss.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&ss.actions, 1, 2);
  } else {
    posix_spawn_file_actions_adddup2(&ss.actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&ss.actions, fds[1], 2);
  }
  if (!options.working_dir.empty())
    posix_spawn_file_actions_addchdir_np(&ss.actions, options.working_dir.c_str());
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, s);
  posix_spawnattr_setpgroup(&ss.attr, 0);
  posix_spawnattr_setsigmask(&ss.attr, &none);
  posix_spawnattr_setsigdefault(&ss.attr, &defaults);
  posix_spawnattr_setflags(&ss.attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  for (const std::string& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env = child_environment(options.env);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &ss.actions, &ss.attr, argv.data(), envp.data());
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    error_ = options.argv[0] + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  read_fd_ = fds[0];
  fcntl(read_fd_, F_SETFL, fcntl(read_fd_, F_GETFL) | O_NONBLOCK);
#ifdef SYS_pidfd_open
  pidfd_ = int(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd_ >= 0) fcntl(pidfd_, F_SETFD, FD_CLOEXEC);
#endif
  return true;
}

void ChildProcess::close_pipe() {
  if (read_fd_ >= 0) close(read_fd_);
  read_fd_ = -1;
}

ChildRead ChildProcess::read(std::string& out, int wait_ms) {
  if (read_fd_ < 0) return ChildRead::End;
  const Clock::time_point start = Clock::now();
  for (;;) {
    char buffer[65536];
    ssize_t got = ::read(read_fd_, buffer, sizeof buffer);
    if (got > 0) {
      out.append(buffer, size_t(got));
      return ChildRead::Data;
    }
    if (got == 0) {
      close_pipe();
      return ChildRead::End;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      close_pipe();
      return ChildRead::End;
    }
    int left = left_of(wait_ms, start);
    if (left == 0) return ChildRead::Timeout;
    pollfd p{read_fd_, POLLIN, 0};
    if (poll(&p, 1, left) == 0) return ChildRead::Timeout;
  }
}

bool ChildProcess::read_until_end(int timeout_ms,
                                  const std::function<bool(std::string_view)>& on_output) {
  const Clock::time_point start = Clock::now();
  for (;;) {
    std::string piece;
    switch (read(piece, left_of(timeout_ms, start))) {
      case ChildRead::End:
        return true;
      case ChildRead::Timeout:
        return false;
      case ChildRead::Data:
        if (!on_output(piece)) return true;
        break;
    }
  }
}

bool ChildProcess::has_ended() {
  if (pid_ <= 0) return true;
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  // WNOWAIT: the child stays a zombie, so its group id cannot be reused before stop().
  if (waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return errno == ECHILD;
  return info.si_pid == pid_;
}

bool ChildProcess::wait_for_end(int timeout_ms) {
  const Clock::time_point start = Clock::now();
  while (!has_ended()) {
    int left = left_of(timeout_ms, start);
    if (left == 0) return false;
    if (pidfd_ >= 0) {
      pollfd p{pidfd_, POLLIN, 0};
      poll(&p, 1, left);
    } else {
      usleep(5000);
    }
  }
  return true;
}

pid_t ChildProcess::release() {
  pid_t pid = pid_;
  close_pipe();
  if (pidfd_ >= 0) close(pidfd_);
  pidfd_ = -1;
  pid_ = -1;
  return pid;
}

void ChildProcess::stop() {
  if (pid_ <= 0) return;
  close_pipe();
  bool ended = has_ended();
  if (!ended || group_has_live_members(pid_)) {
    kill(-pid_, SIGTERM);
    const Clock::time_point start = Clock::now();
    for (;;) {
      ended = has_ended();
      if (ended && !group_has_live_members(pid_)) break;
      if (ms_since(start) >= kTermGraceMs) {
        kill(-pid_, SIGKILL);
        break;
      }
      usleep(5000);
    }
  }
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    exited_ = true;
    exit_code_ = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    signal_ = WTERMSIG(status);
  }
  if (pidfd_ >= 0) close(pidfd_);
  pidfd_ = -1;
  pid_ = -1;
}

// ---- Lines ------------------------------------------------------------------------

void ChildLineReader::end_line(std::vector<std::string>& lines) {
  lines.push_back(std::move(line_));
  line_.clear();
  dropping_ = false;
}

void ChildLineReader::feed(std::string_view bytes, std::vector<std::string>& lines) {
  for (char c : bytes) {
    if (state_ == State::AfterCr) {
      if (c == '\n') {
        state_ = State::Text;
        continue;
      }
      if (c == '\r') {
        state_ = State::AfterCrCr;  // CR CR LF, or an empty line ended by a bare CR
        continue;
      }
      state_ = State::Text;
    } else if (state_ == State::AfterCrCr) {
      if (c == '\n') {
        state_ = State::Text;
        continue;
      }
      end_line(lines);  // the second CR ended an empty line
      if (c == '\r') continue;  // and this one may start another CR CR LF
      state_ = State::Text;
    }
    if (c == '\r') {
      end_line(lines);
      state_ = State::AfterCr;
    } else if (c == '\n') {
      end_line(lines);
    } else if (line_.size() < max_line_) {
      line_.push_back(c);
    } else if (!dropping_) {
      dropping_ = true;
      ++truncated_;
    }
  }
}

void ChildLineReader::finish(std::vector<std::string>& lines) {
  if (state_ == State::AfterCrCr) end_line(lines);
  state_ = State::Text;
  if (!line_.empty()) end_line(lines);
}

}  // namespace qm
