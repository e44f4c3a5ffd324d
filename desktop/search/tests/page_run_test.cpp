// The searcher and marker runs as children, with scripted programs: the CGI environment
// and working directory they get, the end by the reader, by the end of output and by the
// time limit (the child and its group stopped each time), the caller's work between
// polls while the child is silent, and a program that cannot be run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "desktop/search/page_run.h"
#include "testsupport/test_files.h"
#include "testsupport/test_processes.h"

namespace qm {
namespace {

void script(const test::TempDir& dir, const std::string& name, const std::string& body) {
  test::write_file(dir / name, "#!/bin/sh\n" + body);
  chmod((dir / name).c_str(), 0755);
}

TEST(PageRun, EnvironmentWorkingDirectoryAndOutputEnd) {
  test::TempDir dir;
  script(dir, "searcher", "echo \"$REQUEST_METHOD|$QUERY_STRING|$(pwd)/\"\n");
  std::string out;
  PageRun run;
  ASSERT_TRUE(run.start(dir.path(), "searcher", "s=1&p=tea",
                        [&](std::string_view piece) { out += piece; return false; }, 10000));
  EXPECT_EQ(run.run_to_end(20, nullptr), PageRun::End::OutputEnded);
  EXPECT_EQ(out, "GET|s=1&p=tea|" + dir.path() + "\n");
}

TEST(PageRun, ReaderEndStopsTheChildAndItsGroup) {
  test::TempDir dir;
  script(dir, "searcher", "sleep 30 &\necho $! > " + dir.path() + "kid\nprintf 'S1 1\\n</HTML>'\nsleep 30\n");
  PageRun run;
  ASSERT_TRUE(run.start(dir.path(), "searcher", "",
                        [](std::string_view piece) { return piece.find("</HTML>") != piece.npos; },
                        20000));
  const pid_t pid = run.pid();
  EXPECT_EQ(run.run_to_end(20, nullptr), PageRun::End::ReaderDone);
  EXPECT_TRUE(test::wait_stopped(pid));
  const pid_t kid = static_cast<pid_t>(std::stol(test::read_file(dir / "kid")));
  EXPECT_TRUE(test::wait_stopped(kid));
}

TEST(PageRun, SilentChildEndsAtTheLimitWhileTheCallerWorks) {
  test::TempDir dir;
  script(dir, "marker", "sleep 30\n");
  PageRun run;
  ASSERT_TRUE(run.start(dir.path(), "marker", "", [](std::string_view) { return false; }, 300));
  const pid_t pid = run.pid();
  int polls = 0;
  EXPECT_EQ(run.run_to_end(20, [&] { ++polls; }), PageRun::End::TimedOut);
  EXPECT_GT(polls, 1);
  EXPECT_TRUE(test::wait_stopped(pid));
}

TEST(PageRun, MissingProgramIsNotStarted) {
  test::TempDir dir;
  PageRun run;
  EXPECT_FALSE(run.start(dir.path(), "searcher", "", [](std::string_view) { return true; }, 100));
  EXPECT_EQ(run.end(), PageRun::End::NotStarted);
  EXPECT_FALSE(run.error().empty());
  EXPECT_EQ(run.poll(0), PageRun::End::NotStarted);
}

}  // namespace
}  // namespace qm
