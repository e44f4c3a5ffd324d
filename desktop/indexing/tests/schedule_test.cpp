// The job queue over scripted builders (shell scripts named "indexer" in a scratch
// program directory): results and events, the stop cascade, the counters, the helper
// process rule, and that no builder or helper outlives its job.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "desktop/indexing/command_line.h"
#include "desktop/indexing/schedule.h"
#include "desktop/indexing/window_queue.h"
#include "desktop/messages.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"
#include "testsupport/test_processes.h"

namespace qm {
namespace {

TEST(IndexerCommandLine, Variants) {
  struct Case {
    IndexerKind kind;
    const char* text;
  } cases[] = {
      {IndexerKind::Document, "/p/indexer -w1234 -f10 -x12"},
      {IndexerKind::MailWithAttachments, "/p/indexer -mail -ncl -w1234 -f10 -x12"},
      {IndexerKind::Mail, "/p/indexer -ncl -w1234 -f10 -x12"},
      {IndexerKind::AttachRebuild, "/p/indexer -ncl -mail -w1234 -f10 -x12"},
      {IndexerKind::DocumentRebuild, "/p/indexer -corvdoc -w1234 -f10 -x12"},
  };
  for (const Case& c : cases) {
    const IndexerCommandLine line = indexer_command_line("/p/", c.kind, 1234, 12);
    EXPECT_EQ(line.text, c.text);
    EXPECT_EQ(line.argv.front(), "/p/indexer");
    EXPECT_EQ(line.argv.back(), "-x12");
  }
  EXPECT_EQ(indexer_rebuild_kind(true, true), IndexerKind::AttachRebuild);
  EXPECT_EQ(indexer_rebuild_kind(false, true), IndexerKind::Mail);
  EXPECT_EQ(indexer_rebuild_kind(false, false), IndexerKind::DocumentRebuild);
}

// A scratch program directory whose "indexer" runs the shell text given for each
// database id ($id; $dir is the program directory). Every builder notes its pid.
class Builders {
 public:
  explicit Builders(const std::string& cases) {
    const std::string script = "#!/bin/sh\nfor a; do id=${a#-x}; done\ndir=" + dir_.path() +
                               "\necho $$ >> \"$dir/pids\"\ncase $id in\n" + cases + "\nesac\n";
    test::write_file(dir_ / "indexer", script);
    chmod((dir_ / "indexer").c_str(), 0755);
  }
  std::string program_dir() const { return dir_.path(); }
  std::string path(const std::string& name) const { return dir_ / name; }
  // Every pid the builders noted (and helpers in file "helpers").
  std::vector<pid_t> pids(const std::string& name = "pids") const {
    std::vector<pid_t> out;
    const std::string text = test::read_file(dir_ / name);
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      if (end > at) out.push_back(pid_t(std::stol(text.substr(at, end - at))));
      at = end + 1;
    }
    return out;
  }

 private:
  test::TempDir dir_{"qm-builders-"};
};

struct QueueRun {
  std::vector<std::pair<int, int>> events;  // (database id, code)
  std::vector<std::string> order;           // "started", "event", "finished", "work"
  int finished = -1;
  ProgressView last_view;
  int views = 0;
  std::map<int, std::string> reports;  // JobReport at each job's result
};

// Runs the jobs for ids to their end; on_event may act on the schedule (Stop).
void run_jobs(const Builders& b, const std::vector<int>& ids, QueueRun& run, bool labels, bool status_bar,
              const std::function<void(IndexSchedule&, int, int)>& on_event = {},
              const std::function<void(IndexSchedule&)>& while_running = {}) {
  WindowQueue window;
  IndexSchedule schedule(window);
  schedule.Reset(int(ids.size()));
  for (int id : ids)
    schedule.AddJob(indexer_command_line(b.program_dir(), IndexerKind::Document, 7, id), id,
                    [&](int db, int code) {
                      run.events.emplace_back(db, code);
                      if (code == kJobCompleted || code == kJobFailed) run.reports[db] = schedule.JobReport(db);
                      run.order.push_back("event " + std::to_string(db) + " " + std::to_string(code));
                      if (on_event) on_event(schedule, db, code);
                    });
  if (labels) schedule.SetCounterLabels();
  if (status_bar)
    schedule.status_bar = [&](const ProgressView& v) {
      run.last_view = v;
      ++run.views;
    };
  schedule.OnQueueStarted = [&] { run.order.push_back("started"); };
  schedule.OnQueueFinished = [&](bool stopped) {
    run.finished = stopped;
    run.order.push_back("finished");
  };
  schedule.job_work = [&](int id) { run.order.push_back("work " + std::to_string(id)); };
  schedule.Start();
  while (schedule.Running()) {
    window.pump();
    if (while_running) while_running(schedule);
  }
}

void expect_all_stopped(const std::vector<pid_t>& pids) {
  for (pid_t pid : pids) EXPECT_TRUE(test::wait_stopped(pid)) << pid;
}

TEST(IndexSchedule, ResultsOfScriptedBuilders) {
  Builders b(
      "1) printf '1 Sorting\\r\\n0 a.htm\\r\\n0 b.htm\\r\\n2 45\\r\\n9 odd\\r\\n\\032\\032';;\n"
      "2) printf '0 a\\r\\n3 broken\\r\\n'; sleep 30;;\n"
      "3) printf '0 a\\r\\n';;\n"
      "4) printf '1 %0300d\\r\\n0 after\\r\\n\\032\\032' 0;;\n"
      "5) printf '0 x\\r\\n'; exec sleep 30;;\n"
      "6) printf '\\032\\032'; exec sleep 30;;\n");
  QueueRun run;
  run_jobs(b, {1, 2, 3, 4, 6}, run, true, true);
  const std::vector<std::pair<int, int>> want = {{1, 9}, {1, 0}, {2, 9}, {2, 1}, {3, 9}, {3, 1},
                                                 {4, 9}, {4, 0}, {6, 9}, {6, 0}};
  EXPECT_EQ(run.events, want);
  EXPECT_EQ(run.finished, 0);
  EXPECT_EQ(run.last_view.documents_label, "5");  // a.htm, b.htm, a, a, after
  EXPECT_EQ(run.last_view.done_label, "5");
  EXPECT_EQ(run.last_view.total_label, "5");
  EXPECT_EQ(run.last_view.panels[0], "");  // cleared after every job
  // Worker work runs only after completed jobs, before their event 0.
  std::vector<std::string> works;
  for (size_t i = 0; i < run.order.size(); ++i)
    if (run.order[i].rfind("work", 0) == 0) {
      works.push_back(run.order[i]);
      ASSERT_LT(i + 1, run.order.size());
      EXPECT_EQ(run.order[i + 1], "event " + run.order[i].substr(5) + " 0");
    }
  EXPECT_EQ(works, (std::vector<std::string>{"work 1", "work 4", "work 6"}));
  // Each job's end in the builder's words: its last status line after a completed build,
  // the reason of its '3' line, nothing from a builder that just ended.
  const std::map<int, std::string> reports = {{1, "Sorting"}, {2, "broken"}, {3, ""}, {6, ""}};
  for (const auto& [id, report] : reports) EXPECT_EQ(run.reports[id], report) << id;
  EXPECT_EQ(run.reports[4].substr(0, 4), "0000");
  expect_all_stopped(b.pids());
}

// A library's message box relayed by the builder on a '5' line is shown through the
// message sink on the window thread, Big5 text as UTF-8, before the job's result; the
// job then fails on its '3' line.
TEST(IndexSchedule, BuilderMessageBoxIsShownThroughTheSink) {
  Builders b("1) printf '5 Fail to login !\\r\\n5 \\244\\244\\r\\n3 refused\\r\\n';;\n");
  desktop_texts().parse("9001\tError\n");
  ScriptedMessageSink sink;
  message_set_sink(&sink);
  sink.expect("Fail to login !", "Error", kStyleStop, kAnswerOk);
  sink.expect("\xE4\xB8\xAD", "Error", kStyleStop, kAnswerOk);  // Big5 A4A4 is U+4E2D
  QueueRun run;
  run_jobs(b, {1}, run, false, true);
  EXPECT_EQ(sink.failures(), "");
  EXPECT_EQ(sink.pending(), 0u);
  EXPECT_EQ(run.events, (std::vector<std::pair<int, int>>{{1, 9}, {1, 1}}));
  message_set_sink(nullptr);
  desktop_texts().clear();
}

TEST(IndexSchedule, MissingBuilderFailsEveryJob) {
  test::TempDir empty("qm-nobuilder-");
  Builders b("");
  WindowQueue window;
  IndexSchedule schedule(window);
  std::vector<std::pair<int, int>> events;
  int finished = -1;
  schedule.Reset(2);
  for (int id : {1, 2})
    schedule.AddJob(indexer_command_line(empty.path(), IndexerKind::Document, 7, id), id,
                    [&](int db, int code) { events.emplace_back(db, code); });
  schedule.OnQueueFinished = [&](bool stopped) { finished = stopped; };
  schedule.Start();
  schedule.WaitFinished();
  // No status bar: no event 9.
  EXPECT_EQ(events, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));
  // Why it failed: the builder could not be started.
  EXPECT_FALSE(schedule.JobReport(2).empty());
  EXPECT_EQ(finished, 0);
}

TEST(IndexSchedule, StopBeforeAJobStartsRunsNoBuilder) {
  Builders b("*) printf '\\032\\032';;\n");
  QueueRun run;
  run_jobs(b, {1, 2}, run, false, true, [](IndexSchedule& s, int db, int code) {
    if (db == 1 && code == 9) s.Stop();
  });
  EXPECT_EQ(run.events, (std::vector<std::pair<int, int>>{{1, 9}, {1, 2}, {2, 2}}));
  EXPECT_EQ(run.finished, 1);
  EXPECT_TRUE(b.pids().empty());
}

TEST(IndexSchedule, ZeroJobsFinishAtOnce) {
  Builders b("");
  QueueRun run;
  run_jobs(b, {}, run, true, true);
  EXPECT_EQ(run.order, (std::vector<std::string>{"started", "finished"}));
  EXPECT_EQ(run.finished, 0);
  EXPECT_TRUE(b.pids().empty());
}

TEST(IndexSchedule, StopDuringJobTwoOfFour) {
  // Job 2 (counting from 0) is silent; stopping it ends it within the read wait.
  Builders b(
      "1|2|4) printf '0 d\\r\\n\\032\\032';;\n"
      "3) exec sleep 30;;\n");
  QueueRun run;
  bool stopped = false;
  run_jobs(b, {1, 2, 3, 4}, run, true, true, {}, [&](IndexSchedule& s) {
    // Once the third builder runs (its pid noted), it is silent until stopped.
    if (!stopped && b.pids().size() == 3) {
      s.Stop();
      stopped = true;
    }
  });
  const std::vector<std::pair<int, int>> want = {{1, 9}, {1, 0}, {2, 9}, {2, 0},
                                                 {3, 9}, {3, 2}, {4, 2}};
  EXPECT_EQ(run.events, want);
  EXPECT_EQ(run.finished, 1);
  EXPECT_EQ(run.last_view.done_label, "2");
  EXPECT_EQ(b.pids().size(), 3u);
  expect_all_stopped(b.pids());
}

TEST(IndexSchedule, HelperOfTheBuilderIsEnded) {
  // A helper in the builder's group, and one leading a group of its own.
  Builders b(
      "1) sleep 60 & echo $! >> \"$dir/helpers\"; printf \"4 $!\\r\\n\\032\\032\"; exec sleep 30;;\n"
      "2) setsid sleep 60 & h=$!; echo $h >> \"$dir/helpers\"; sleep 0.2;"
      " printf \"4 $h\\r\\n\\032\\032\"; sleep 30;;\n"
      "3) sleep 60 & printf \"4 $!\\r\\n4 0\\r\\n\\032\\032\";;\n");
  QueueRun run;
  run_jobs(b, {1, 2, 3}, run, false, true);
  EXPECT_EQ(run.events, (std::vector<std::pair<int, int>>{{1, 9}, {1, 0}, {2, 9}, {2, 0}, {3, 9}, {3, 0}}));
  ASSERT_EQ(b.pids("helpers").size(), 2u);
  expect_all_stopped(b.pids("helpers"));
  expect_all_stopped(b.pids());
}

TEST(IndexSchedule, HelperOutsideTheBuilderIsLeftAlone) {
  const pid_t stranger = fork();
  ASSERT_GE(stranger, 0);
  if (stranger == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string names = "1 " + std::to_string(getpid()) + " " + std::to_string(stranger);
  Builders b("1) for p in " + names + "; do printf \"4 $p\\r\\n\"; done; printf '\\032\\032';;\n");
  QueueRun run;
  run_jobs(b, {1}, run, false, true);
  EXPECT_EQ(run.events, (std::vector<std::pair<int, int>>{{1, 9}, {1, 0}}));
  EXPECT_FALSE(test::process_stopped(stranger));
  kill(stranger, SIGKILL);
  waitpid(stranger, nullptr, 0);
}

}  // namespace
}  // namespace qm
