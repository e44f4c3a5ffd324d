// Tests of the child-process layer: output capture past the pipe's size, exit codes,
// time-outs that kill the whole group, and the child's surroundings.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "testsupport/test_processes.h"

namespace {

qm::ProcessResult run_sh(const std::string& script, int timeout_ms = 0,
                         qm::ProcessStderr err = qm::ProcessStderr::Discard) {
  qm::ProcessOptions o;
  o.argv = {"/bin/sh", "-c", script};
  o.timeout_ms = timeout_ms;
  o.stderr_mode = err;
  return qm::process_run(o);
}

using qm::test::process_stopped;
using qm::test::wait_stopped;

TEST(ProcessRun, CapturesOutputLargerThanThePipe) {
  // 340,000 bytes cannot sit in a 64 KiB pipe: the child only finishes if we read as it runs.
  qm::ProcessResult r = run_sh("yes 0123456789abcdef | head -c 340000", 20000);
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(r.timed_out);
  ASSERT_EQ(r.output.size(), 340000u);
  EXPECT_EQ(r.output.substr(0, 17), "0123456789abcdef\n");
  EXPECT_EQ(r.output.substr(340000 - 17), "0123456789abcdef\n");
}

TEST(ProcessRun, OutputPastTheCapIsDrainedNotKept) {
  qm::ProcessOptions o;
  o.argv = {"/bin/sh", "-c", "head -c 200000 /dev/zero; echo done >&2; exit 4"};
  o.max_output = 1000;
  o.timeout_ms = 20000;
  o.stderr_mode = qm::ProcessStderr::Discard;
  qm::ProcessResult r = qm::process_run(o);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exit_code, 4);  // the child was not stalled by the cap
  EXPECT_EQ(r.output.size(), 1000u);
  EXPECT_TRUE(r.truncated);
}

TEST(ProcessRun, ReportsExitCodesAndSignals) {
  struct Case {
    const char* script;
    bool exited;
    int code;
    int signal;
  } cases[] = {
      {"exit 0", true, 0, 0},
      {"exit 3", true, 3, 0},
      {"exit 255", true, 255, 0},
      {"kill -TERM $$", false, -1, SIGTERM},
      {"kill -KILL $$", false, -1, SIGKILL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    qm::ProcessResult r = run_sh(c.script, 10000);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exited, c.exited);
    EXPECT_EQ(r.exit_code, c.code);
    EXPECT_EQ(r.signal, c.signal);
    EXPECT_FALSE(r.timed_out);
  }
}

TEST(ProcessRun, MissingProgramIsNotStarted) {
  qm::ProcessOptions o;
  o.argv = {"/nonexistent/qm-no-such-program"};
  qm::ProcessResult r = qm::process_run(o);
  EXPECT_FALSE(r.started);
  EXPECT_NE(r.error.find("qm-no-such-program"), std::string::npos);

  o.argv = {"qm-no-such-program-in-path"};
  EXPECT_FALSE(qm::process_run(o).started);

  o.argv = {};
  EXPECT_FALSE(qm::process_run(o).started);
}

TEST(ProcessRun, TimeOutKillsTheWholeGroup) {
  // The shell starts a grandchild in the background and names it, then waits far longer
  // than the limit. Both must be gone once process_run returns.
  qm::ProcessResult r = run_sh("sleep 60 & echo $!; sleep 60; echo never", 300);
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.timed_out);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.signal, SIGKILL);
  pid_t grandchild = pid_t(std::stol(r.output));
  ASSERT_GT(grandchild, 0);
  EXPECT_TRUE(wait_stopped(grandchild));
  EXPECT_TRUE(process_stopped(r.pid));
  EXPECT_EQ(r.output.find("never"), std::string::npos);
}

TEST(ProcessRun, LeftoverHolderOfThePipeDoesNotHangTheCaller) {
  // The child ends at once but leaves a process holding its output open; without a
  // time limit the call must still return, with the output, and the leftover killed.
  qm::ProcessResult r = run_sh("sleep 60 & echo $!; echo bye");
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(r.timed_out);
  std::istringstream lines(r.output);
  long leftover = 0;
  std::string bye;
  lines >> leftover >> bye;
  EXPECT_EQ(bye, "bye");
  ASSERT_GT(leftover, 0);
  EXPECT_TRUE(wait_stopped(pid_t(leftover)));
}

TEST(ProcessRun, ChildRunsInItsOwnGroupWithNullInput) {
  pid_t announced = -1;
  qm::ProcessOptions o;
  // Field 5 of /proc/<pid>/stat is the process group; cat must see end of input at once.
  o.argv = {"/bin/sh", "-c", "echo $$; cut -d' ' -f5 /proc/$$/stat; cat; echo end"};
  o.timeout_ms = 10000;
  o.on_start = [&](pid_t pid) { announced = pid; };
  qm::ProcessResult r = qm::process_run(o);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(announced, r.pid);
  std::string expected = std::to_string(r.pid) + "\n" + std::to_string(r.pid) + "\nend\n";
  EXPECT_EQ(r.output, expected);
  EXPECT_NE(getpgrp(), r.pid);
}

TEST(ProcessRun, StandardErrorModes) {
  const char* script = "echo out; echo err >&2";
  EXPECT_EQ(run_sh(script, 10000, qm::ProcessStderr::Discard).output, "out\n");
  EXPECT_EQ(run_sh(script, 10000, qm::ProcessStderr::Merge).output, "out\nerr\n");
}

TEST(ProcessRun, ExceptionFromTheStartHookStillReapsTheChild) {
  qm::ProcessOptions o;
  o.argv = {"/bin/sh", "-c", "sleep 60"};
  pid_t pid = -1;
  o.on_start = [&](pid_t p) {
    pid = p;
    throw std::runtime_error("hook");
  };
  EXPECT_THROW(qm::process_run(o), std::runtime_error);
  ASSERT_GT(pid, 0);
  // Reaped: the pid no longer names a child of ours.
  EXPECT_TRUE(process_stopped(pid));
  EXPECT_EQ(kill(pid, 0), -1);
}

TEST(ProcessRun, WorkingDirectoryAndParentDeathSignalForEitherStart) {
  // Both ways of starting (posix_spawn, and fork for the parent-death signal) give the
  // same surroundings: the working directory, its own group, null input, exec errors.
  for (int death : {0, SIGKILL}) {
    SCOPED_TRACE(death);
    qm::ProcessOptions o;
    o.argv = {"/bin/sh", "-c", "pwd; cut -d' ' -f5 /proc/$$/stat; cat; echo end"};
    o.working_dir = "/proc/self/..";
    o.parent_death_signal = death;
    o.timeout_ms = 10000;
    qm::ProcessResult r = qm::process_run(o);
    ASSERT_TRUE(r.exited) << r.error;
    EXPECT_EQ(r.output, "/proc\n" + std::to_string(r.pid) + "\nend\n");

    o.working_dir = "/nonexistent/qm-no-such-dir";
    EXPECT_FALSE(qm::process_run(o).started);
    o.working_dir.clear();
    o.argv = {"/nonexistent/qm-no-such-program"};
    qm::ProcessResult missing = qm::process_run(o);
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.error.find("qm-no-such-program"), std::string::npos);
  }
}

TEST(ProcessRun, ChildWithParentDeathSignalDiesWithItsCaller) {
  // A helper process runs the child without a limit and is then killed from outside:
  // the child, which would sleep a minute, must go with it.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t helper = fork();
  ASSERT_GE(helper, 0);
  if (helper == 0) {
    close(fds[0]);
    qm::ProcessOptions o;
    o.argv = {"/bin/sh", "-c", "exec sleep 60"};
    o.parent_death_signal = SIGKILL;
    o.on_start = [&](pid_t pid) {
      ssize_t w = write(fds[1], &pid, sizeof pid);
      (void)w;
    };
    qm::process_run(o);
    _exit(0);
  }
  close(fds[1]);
  pid_t child = -1;
  ASSERT_EQ(read(fds[0], &child, sizeof child), ssize_t(sizeof child));
  close(fds[0]);
  ASSERT_GT(child, 0);
  EXPECT_FALSE(process_stopped(child));
  kill(helper, SIGKILL);
  int status = 0;
  waitpid(helper, &status, 0);
  EXPECT_TRUE(wait_stopped(child));
}

}  // namespace
