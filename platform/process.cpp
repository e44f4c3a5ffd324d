// Child processes: see process.h. The child is started with posix_spawn in a new
// process group (with fork and exec when it needs a parent-death signal); the parent
// polls the output pipe and a pidfd for the child's end (or, where pidfds are missing,
// checks the child every 10 ms) until the deadline.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace qm {
namespace {

using Clock = std::chrono::steady_clock;

// How long the output pipe may stay open after the child itself has ended (some
// process it left behind still holds it); then the group is killed.
constexpr int kAfterExitGraceMs = 1000;

int open_pidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  int fd = int(syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
#else
  (void)pid;
  return -1;
#endif
}

// True once the child has ended; it stays a zombie (not reaped), so its process-group
// id cannot be reused while we still signal the group.
bool child_has_ended(pid_t pid) {
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return errno == ECHILD;
  return info.si_pid == pid;
}

void reap(pid_t pid, ProcessResult& result) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return;
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
}

struct SpawnAttributes {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnAttributes() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnAttributes() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
};


// The signals a child starts with at their default action, whatever the caller set.
const int kDefaultSignals[] = {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2};

std::vector<char*> argv_of(const ProcessOptions& options) {
  std::vector<char*> argv;
  for (const std::string& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Starts the child with posix_spawn; 0 or an errno value.
int spawn_child(const ProcessOptions& options, int write_fd, pid_t& pid) {
  SpawnAttributes sa;
  posix_spawn_file_actions_addopen(&sa.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&sa.actions, write_fd, 1);
  switch (options.stderr_mode) {
    case ProcessStderr::Discard:
      posix_spawn_file_actions_addopen(&sa.actions, 2, "/dev/null", O_WRONLY, 0);
      break;
    case ProcessStderr::Merge:
      posix_spawn_file_actions_adddup2(&sa.actions, write_fd, 2);
      break;
    case ProcessStderr::Inherit:
      break;
  }
  if (!options.working_dir.empty())
    posix_spawn_file_actions_addchdir_np(&sa.actions, options.working_dir.c_str());
  // Own process group; default signal handling and an empty mask, whatever the caller set.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : kDefaultSignals) sigaddset(&defaults, s);
  posix_spawnattr_setpgroup(&sa.attr, 0);
  posix_spawnattr_setsigmask(&sa.attr, &none);
  posix_spawnattr_setsigdefault(&sa.attr, &defaults);
  posix_spawnattr_setflags(&sa.attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv = argv_of(options);
  return posix_spawnp(&pid, argv[0], &sa.actions, &sa.attr, argv.data(), environ);
}

// Starts the child with fork and exec, for what posix_spawn cannot set up: the
// parent-death signal. The child only makes system calls before exec; a failure on its
// side comes back as an errno value through a close-on-exec pipe. 0 or an errno value.
int fork_child(const ProcessOptions& options, int write_fd, pid_t& pid) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  std::vector<char*> argv = argv_of(options);
  const char* dir = options.working_dir.empty() ? nullptr : options.working_dir.c_str();
  const pid_t parent = getpid();
  pid = fork();
  if (pid < 0) {
    const int e = errno;
    close(report[0]);
    close(report[1]);
    return e;
  }
  if (pid == 0) {
    setpgid(0, 0);
    int e = 0;
    if (prctl(PR_SET_PDEATHSIG, options.parent_death_signal) != 0) e = errno;
    if (e == 0 && getppid() != parent) _exit(127);  // the caller is already gone
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : kDefaultSignals) signal(s, SIG_DFL);
    const int in = open("/dev/null", O_RDONLY);
    if (in < 0 || dup2(in, 0) < 0 || dup2(write_fd, 1) < 0) e = e ? e : errno;
    if (options.stderr_mode == ProcessStderr::Discard) {
      const int null_out = open("/dev/null", O_WRONLY);
      if (null_out < 0 || dup2(null_out, 2) < 0) e = e ? e : errno;
    } else if (options.stderr_mode == ProcessStderr::Merge) {
      if (dup2(write_fd, 2) < 0) e = e ? e : errno;
    }
    if (e == 0 && dir && chdir(dir) != 0) e = errno;
    if (e == 0) {
      execvp(argv[0], argv.data());
      e = errno;
    }
    ssize_t w = write(report[1], &e, sizeof e);
    (void)w;
    _exit(127);
  }
  setpgid(pid, pid);  // also here, so the group exists before we may signal it
  close(report[1]);
  int child_error = 0;
  ssize_t got;
  while ((got = read(report[0], &child_error, sizeof child_error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got == ssize_t(sizeof child_error) && child_error != 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    return child_error;
  }
  return 0;
}

}  // namespace

ProcessResult process_run(const ProcessOptions& options) {
  ProcessResult result;
  if (options.argv.empty() || options.argv[0].empty()) {
    result.error = "no program given";
    return result;
  }

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    result.error = std::string("pipe: ") + std::strerror(errno);
    return result;
  }
  int read_fd = fds[0];
  const int write_fd = fds[1];

  const Clock::time_point start = Clock::now();
  pid_t pid = -1;
  int rc = options.parent_death_signal != 0 ? fork_child(options, write_fd, pid)
                                            : spawn_child(options, write_fd, pid);
  close(write_fd);
  if (rc != 0) {
    close(read_fd);
    result.error = options.argv[0] + ": " + std::strerror(rc);
    return result;
  }
  result.started = true;
  result.pid = pid;

  int pidfd = open_pidfd(pid);
  bool ended = false;
  Clock::time_point ended_at{};

  try {
    if (options.on_start) options.on_start(pid);

    char buffer[65536];
    while (read_fd >= 0 || !ended) {
      const Clock::time_point now = Clock::now();
      long wait_ms = -1;
      if (options.timeout_ms > 0) {
        long left = options.timeout_ms -
                    long(std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count());
        if (left <= 0) {
          result.timed_out = true;
          break;
        }
        wait_ms = left;
      }
      if (ended) {
        long left = kAfterExitGraceMs -
                    long(std::chrono::duration_cast<std::chrono::milliseconds>(now - ended_at).count());
        if (left <= 0) break;  // something left behind holds the pipe
        wait_ms = wait_ms < 0 ? left : std::min(wait_ms, left);
      } else if (pidfd < 0) {
        wait_ms = wait_ms < 0 ? 10 : std::min(wait_ms, 10L);
      }

      pollfd pfds[2];
      int n = 0;
      int pipe_slot = -1;
      if (read_fd >= 0) {
        pipe_slot = n;
        pfds[n++] = {read_fd, POLLIN, 0};
      }
      if (!ended && pidfd >= 0) pfds[n++] = {pidfd, POLLIN, 0};
      int pr = poll(pfds, nfds_t(n), int(wait_ms));
      if (pr < 0 && errno != EINTR) break;

      if (pr > 0 && pipe_slot >= 0 && pfds[pipe_slot].revents != 0) {
        ssize_t got = read(read_fd, buffer, sizeof buffer);
        if (got > 0) {
          std::size_t room = options.max_output > result.output.size()
                                 ? options.max_output - result.output.size()
                                 : 0;
          std::size_t keep = std::min(room, std::size_t(got));
          result.output.append(buffer, keep);
          if (keep < std::size_t(got)) result.truncated = true;
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
          close(read_fd);
          read_fd = -1;
        }
      }
      if (!ended && child_has_ended(pid)) {
        ended = true;
        ended_at = Clock::now();
      }
    }
  } catch (...) {
    kill(-pid, SIGKILL);
    if (read_fd >= 0) close(read_fd);
    if (pidfd >= 0) close(pidfd);
    reap(pid, result);
    throw;
  }

  // Kill the group: the child itself when late, and whatever it left running. The
  // child is not reaped yet, so the group id still belongs to it.
  kill(-pid, SIGKILL);
  if (read_fd >= 0) close(read_fd);
  if (pidfd >= 0) close(pidfd);
  reap(pid, result);
  return result;
}

}  // namespace qm
