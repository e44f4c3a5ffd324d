// The index-build job queue: an IndexSchedule of IndexJobs, run one after another by one
// worker thread (TThreadBuildIndex), each job one builder process (builder_run.h).
//
// Everything the forms see happens on their window thread, through a WindowThread the
// form gives the schedule (a Qt one in desktop/forms, a pumped queue in tests): the
// started and finished handlers, every job event (9 before a job, then its result 0, 1
// or 2; a stop sends 2 to the stopped job and every later one) and the status panels
// and counter labels (ProgressView). Events are delivered in order, each waited for by the
// worker. Progress lines are counted on the worker as they come; the view reaches the
// window at most every 50 ms, and always at the start and end of a job. A job's worker
// work (the property build) runs on the worker after a completed job, before its event 0.
// A '5' line is a message box of a library the builder loaded (the mail gateway's refused
// login): it is shown through the desktop's message sink (desktop/messages.h) on the
// window thread, caption "Error" and the stop sign, the worker waiting for it.
//
// Qt-free; used by the environment form and the wizard; tests in tests/schedule_test.cpp.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "desktop/indexing/builder_run.h"
#include "desktop/indexing/command_line.h"
#include "desktop/indexing/progress_parser.h"

namespace qm {

// The window thread as the worker reaches it.
class WindowThread {
 public:
  virtual ~WindowThread() = default;
  // Runs fn on the window thread, after everything posted before, and waits for it.
  virtual void call(std::function<void()> fn) = 0;
  // Runs fn on the window thread later, in order.
  virtual void post(std::function<void()> fn) = 0;
  // On the window thread: runs what is waiting (and waits a little for more).
  virtual void pump() = 0;
};

// What the status bar and the counter labels show.
struct ProgressView {
  std::string panels[3];
  bool counters_shown = false;
  std::string total_label, done_label, documents_label;
  int documents_in_job = 0;
  int documents_in_run = 0;
  int percent = -1;  // the running job's last '2' line, -1 before one
  std::string saved_status;

  // One shown progress line: '0' a document, '1' a status text, '2' a percentage.
  void apply(const ProgressLine& line);
};

using JobEventHandler = std::function<void(int database_id, int code)>;

struct IndexJob {
  IndexerCommandLine command;
  int database_id = 0;
  JobEventHandler on_event;
};

class TThreadBuildIndex;

class IndexSchedule {
 public:
  explicit IndexSchedule(WindowThread& window) : window_(window) {}
  // Stops a run and waits for its worker, pumping the window thread meanwhile; no handler
  // is called any more.
  ~IndexSchedule();
  IndexSchedule(const IndexSchedule&) = delete;
  IndexSchedule& operator=(const IndexSchedule&) = delete;

  void Reset(int capacity);
  // Ignored once capacity jobs are queued, and while a run is going.
  void AddJob(IndexerCommandLine command, int database_id, JobEventHandler on_event);
  // Counters shown: total, done and documents labels start at "0".
  void SetCounterLabels();
  int Count() const { return int(jobs_.size()); }
  const std::vector<IndexJob>& Jobs() const { return jobs_; }

  // Set before Start. status_bar: the form's panels and labels (none: no panels and no
  // event 9). job_work: on the worker after a completed job, with its database id.
  std::function<void(const ProgressView&)> status_bar;
  std::function<void()> OnQueueStarted;
  std::function<void(bool stopped)> OnQueueFinished;
  std::function<void(int database_id)> job_work;

  void Start();
  // Sets the running worker's stop flag.
  void Stop();
  // A worker has been started and has not delivered its finish yet.
  bool Running() const { return running_; }
  // Pumps the window thread until the run has finished (its finish delivered).
  void WaitFinished();
  // The builder's own words (Big5) on how the database's job of this run ended: why it
  // failed ('3' line, or why it could not start), or after a completed build its closing
  // status line (documents indexed and skipped); "" when it said nothing. Ready when the
  // job's result event is delivered.
  std::string JobReport(int database_id) const;

 private:
  friend class TThreadBuildIndex;
  void job_done(size_t j, int result, const std::string& report);  // window thread
  void run_finished(bool stopped);      // window thread
  void join();

  WindowThread& window_;
  size_t capacity_ = 0;
  std::vector<IndexJob> jobs_;
  std::map<int, std::string> reports_;
  bool counters_shown_ = false;
  bool running_ = false;
  bool closing_ = false;
  std::unique_ptr<TThreadBuildIndex> thread_;
};

// The worker of one run.
class TThreadBuildIndex {
 public:
  TThreadBuildIndex(IndexSchedule& schedule, std::vector<IndexJob> jobs, bool counters_shown);
  ~TThreadBuildIndex();
  void Start();
  void Stop() { stop_ = true; }
  void Join();

 private:
  void Execute();
  int RunJob(size_t j);
  void on_line(const ProgressLine& line);
  // The view to the window now (wait: as a waited call).
  void show_view(bool wait);

  IndexSchedule& schedule_;
  WindowThread& window_;
  std::vector<IndexJob> jobs_;
  bool has_status_bar_;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  std::mutex view_mutex_;
  ProgressView view_;
  std::shared_ptr<std::atomic<bool>> post_pending_ = std::make_shared<std::atomic<bool>>(false);
  std::chrono::steady_clock::time_point last_post_{};
  std::string report_;  // the running job's BuilderRunInfo::report
};

}  // namespace qm
