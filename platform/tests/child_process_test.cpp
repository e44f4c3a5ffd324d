// Tests of ChildProcess, its line reader and the shell opener: a table of scripted
// children (lines split across writes, CR-only and CR CR LF ends, no end mark, silence
// past a limit, a grandchild left running, 1 MB of output), the child's exact environment
// and directory, and that no process of theirs survives.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/shell_open.h"
#include "testsupport/test_files.h"
#include "testsupport/test_processes.h"

namespace {

using qm::ChildLineReader;
using qm::ChildOptions;
using qm::ChildProcess;

using qm::test::process_stopped;
using qm::test::wait_stopped;

ChildOptions sh(const std::string& script) {
  ChildOptions o;
  o.argv = {"/bin/sh", "-c", script};
  return o;
}

struct Scripted {
  const char* name;
  const char* script;
  int limit_ms;                     // deadline for the whole output
  bool ends_in_time;                // the output ends before the deadline
  std::vector<std::string> lines;   // lines read, the unfinished last one included
};

TEST(ChildProcess, ScriptedChildrenTable) {
  const std::vector<Scripted> cases = {
      {"line split across writes", "printf 'ab'; sleep 0.1; printf 'c\\r\\nd\\n'", 5000, true,
       {"abc", "d"}},
      {"CR only", "printf '0 one\\r1 two\\r\\r3 x\\r'", 5000, true, {"0 one", "1 two", "", "3 x"}},
      {"CR CR LF", "printf 'a\\r\\r\\nb\\r\\r\\n\\r\\nc'", 5000, true, {"a", "b", "", "c"}},
      {"CR LF split between writes", "printf 'a\\r'; sleep 0.1; printf '\\nb\\r'; sleep 0.1; "
       "printf '\\r\\n'", 5000, true, {"a", "b"}},
      {"no end mark", "printf 'last'", 5000, true, {"last"}},
      {"standard error on the same pipe", "echo out; echo err >&2", 5000, true, {"out", "err"}},
      {"silence past the limit", "echo before; sleep 30", 300, false, {"before"}},
  };
  for (const Scripted& c : cases) {
    SCOPED_TRACE(c.name);
    ChildProcess child;
    ASSERT_TRUE(child.start(sh(c.script))) << child.error();
    const pid_t pid = child.pid();
    ChildLineReader reader;
    std::vector<std::string> lines;
    bool in_time = child.read_until_end(c.limit_ms, [&](std::string_view piece) {
      reader.feed(piece, lines);
      return true;
    });
    reader.finish(lines);
    EXPECT_EQ(in_time, c.ends_in_time);
    EXPECT_EQ(lines, c.lines);
    child.stop();
    EXPECT_TRUE(process_stopped(pid));
    if (c.ends_in_time) {
      EXPECT_TRUE(child.exited());
      EXPECT_EQ(child.exit_code(), 0);
    } else {
      EXPECT_EQ(child.term_signal(), SIGTERM);
    }
  }
}

TEST(ChildProcess, GrandchildLeftRunningIsEndedWithTheGroup) {
  // The grandchild keeps the pipe open; the child itself has long ended.
  ChildProcess child;
  ASSERT_TRUE(child.start(sh("sleep 30 & echo $!")));
  std::string out;
  while (out.find('\n') == std::string::npos &&
         child.read(out, 5000) == qm::ChildRead::Data) {
  }
  const pid_t grandchild = pid_t(std::stol(out));
  ASSERT_TRUE(child.wait_for_end(5000));
  EXPECT_FALSE(process_stopped(grandchild));
  child.stop();
  EXPECT_TRUE(child.exited());
  EXPECT_TRUE(wait_stopped(grandchild));
}

TEST(ChildProcess, ChildIgnoringTermIsKilled) {
  ChildProcess child;
  ASSERT_TRUE(child.start(sh("trap '' TERM; echo ready; while :; do sleep 1; done")));
  std::string out;
  ASSERT_EQ(child.read(out, 5000), qm::ChildRead::Data);
  const pid_t pid = child.pid();
  child.stop();
  EXPECT_EQ(child.term_signal(), SIGKILL);
  EXPECT_TRUE(process_stopped(pid));
}

TEST(ChildProcess, OneMegabyteIsReadWhileItRuns) {
  ChildProcess child;
  ASSERT_TRUE(child.start(sh("head -c 1048576 /dev/zero | tr '\\0' 'x'; printf '\\r\\n'")));
  std::string all;
  ASSERT_TRUE(child.read_until_end(20000, [&](std::string_view p) {
    all.append(p);
    return true;
  }));
  EXPECT_EQ(all.size(), 1048578u);
  ChildLineReader reader(8191);
  std::vector<std::string> lines;
  reader.feed(all, lines);
  reader.finish(lines);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(8191, 'x'));  // cut at the cap, the rest dropped
  EXPECT_EQ(reader.truncated(), 1u);
  child.stop();
  EXPECT_EQ(child.exit_code(), 0);
}

TEST(ChildProcess, ExactEnvironmentAndDirectory) {
  qm::test::TempDir dir;
  setenv("QUERY_STRING", "s=1&p=leak", 1);
  setenv("REQUEST_METHOD", "POST", 1);
  setenv("QM_CHILD_TEST_KEEP", "kept", 1);
  setenv("QM_CHILD_TEST_REPLACED", "old", 1);
  ChildOptions o;
  o.argv = {"/bin/sh", "-c", "pwd; env"};
  o.working_dir = dir.dir();
  o.env = {"REQUEST_METHOD=GET", "QM_CHILD_TEST_REPLACED=new"};
  ChildProcess child;
  ASSERT_TRUE(child.start(o));
  std::string out;
  child.read_until_end(5000, [&](std::string_view p) {
    out.append(p);
    return true;
  });
  child.stop();
  unsetenv("QUERY_STRING");
  unsetenv("REQUEST_METHOD");
  std::vector<std::string> lines;
  ChildLineReader reader;
  reader.feed(out, lines);
  reader.finish(lines);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], dir.dir());
  std::vector<std::string> got(lines.begin() + 1, lines.end());
  // The shell adds a few of its own; everything else must be exactly what we passed.
  std::erase_if(got, [](const std::string& e) {
    return e.rfind("PWD=", 0) == 0 || e.rfind("SHLVL=", 0) == 0 || e.rfind("_=", 0) == 0 ||
           e.rfind("OLDPWD=", 0) == 0;
  });
  std::vector<std::string> want = qm::child_environment(o.env);
  std::erase_if(want, [](const std::string& e) {
    return e.rfind("PWD=", 0) == 0 || e.rfind("SHLVL=", 0) == 0 || e.rfind("_=", 0) == 0 ||
           e.rfind("OLDPWD=", 0) == 0 || e.find('\n') != std::string::npos;
  });
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  EXPECT_NE(std::find(got.begin(), got.end(), "REQUEST_METHOD=GET"), got.end());
  EXPECT_NE(std::find(got.begin(), got.end(), "QM_CHILD_TEST_KEEP=kept"), got.end());
  EXPECT_NE(std::find(got.begin(), got.end(), "QM_CHILD_TEST_REPLACED=new"), got.end());
  for (const std::string& e : got) EXPECT_NE(e.rfind("QUERY_STRING=", 0), 0u) << e;
  unsetenv("QM_CHILD_TEST_KEEP");
  unsetenv("QM_CHILD_TEST_REPLACED");
}

TEST(ChildProcess, RefusesRelativeProgramAndReportsMissingOne) {
  ChildProcess child;
  ChildOptions o;
  o.argv = {"sh", "-c", "true"};
  EXPECT_FALSE(child.start(o));
  EXPECT_FALSE(child.error().empty());
  o.argv = {"/nonexistent/program"};
  EXPECT_FALSE(child.start(o));
  EXPECT_FALSE(child.started());
}

TEST(ShellOpener, ExitCodeOrStillRunningDecides) {
  qm::test::TempDir dir;
  struct Case {
    const char* script;
    bool ok;
  };
  const Case cases[] = {{"exit 0", true}, {"exit 3", false}, {"sleep 2", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const std::string opener = dir / "opener";
    qm::test::write_file(opener, std::string("#!/bin/sh\necho \"$1\" > ") + dir.path() +
                                     "target\n" + c.script + "\n");
    chmod(opener.c_str(), 0755);
    qm::ShellOpener shell(opener, 300);
    EXPECT_EQ(shell.open("/some/file name.htm"), c.ok);
    EXPECT_EQ(qm::test::read_file(dir / "target"), "/some/file name.htm\n");
  }
  qm::ShellOpener missing(dir / "no-opener", 300);
  EXPECT_FALSE(missing.open("x"));
}

// An opener that outlives the wait is reaped when it ends, not at the next open: no zombie
// child of ours stays behind.
TEST(ShellOpener, OpenerLeftRunningIsReapedWhenItEnds) {
  qm::test::TempDir dir;
  const std::string opener = dir / "opener";
  qm::test::write_file(opener, "#!/bin/sh\necho $$ > " + dir.path() + "pid\nsleep 0.8\n");
  chmod(opener.c_str(), 0755);
  qm::ShellOpener shell(opener, 200);
  ASSERT_TRUE(shell.open("/d/a.htm"));
  const pid_t pid = pid_t(std::stol(qm::test::read_file(dir / "pid")));
  // Gone from /proc altogether: reaped, not merely ended.
  bool gone = false;
  for (int i = 0; i < 300 && !gone; ++i) {
    gone = access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone) << "the opener " << pid << " is left unreaped";
}

TEST(ShellOpener, MissingOpenerAndProgramOfOwnChoice) {
  qm::test::TempDir dir;
  qm::ShellOpener missing(dir / "no-opener", 300);
  EXPECT_FALSE(missing.open("x"));

  // A program of the caller's choice with arguments of its own.
  const std::string viewer = dir / "viewer";
  qm::test::write_file(viewer, "#!/bin/sh\necho \"$1|$2\" > " + dir.path() + "args\n");
  chmod(viewer.c_str(), 0755);
  qm::ShellOpener shell;
  EXPECT_TRUE(shell.run({viewer, "/d/report.pgx", "/12/tea"}));
  EXPECT_EQ(qm::test::read_file(dir / "args"), "/d/report.pgx|/12/tea\n");
}

}  // namespace
