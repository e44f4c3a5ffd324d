// The index-build job queue and its worker; see schedule.h.
#include "desktop/indexing/schedule.h"

#include <algorithm>

#include "common/big5_codec.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"

namespace qm {

namespace {
constexpr auto kViewInterval = std::chrono::milliseconds(50);
}

void ProgressView::apply(const ProgressLine& line) {
  switch (line.code) {
    case '0':
      panels[2] = line.text;
      ++documents_in_job;
      panels[1] = std::to_string(documents_in_job);
      if (counters_shown) documents_label = std::to_string(++documents_in_run);
      break;
    case '1':
      panels[2] = line.text;
      saved_status = line.text;
      break;
    case '2': {
      percent = std::clamp(int(progress_helper_pid(line.text)), 0, 100);
      const std::string t = "  " + line.text + "%";
      if (counters_shown)
        panels[2] = saved_status + t;
      else
        panels[1] = t;
      break;
    }
    default: break;
  }
}

// ---- IndexSchedule ------------------------------------------------------------------

IndexSchedule::~IndexSchedule() {
  closing_ = true;
  if (thread_) thread_->Stop();
  WaitFinished();
  join();
}

void IndexSchedule::Reset(int capacity) {
  if (running_) return;
  join();
  jobs_.clear();
  capacity_ = capacity > 0 ? size_t(capacity) : 0;
  jobs_.reserve(capacity_);
  counters_shown_ = false;
}

void IndexSchedule::AddJob(IndexerCommandLine command, int database_id, JobEventHandler on_event) {
  if (running_ || jobs_.size() >= capacity_) return;
  jobs_.push_back(IndexJob{std::move(command), database_id, std::move(on_event)});
}

void IndexSchedule::SetCounterLabels() { counters_shown_ = true; }

void IndexSchedule::Start() {
  if (running_) return;
  join();
  running_ = true;
  reports_.clear();
  thread_ = std::make_unique<TThreadBuildIndex>(*this, jobs_, counters_shown_);
  thread_->Start();
  if (OnQueueStarted) OnQueueStarted();
}

void IndexSchedule::Stop() {
  if (running_ && thread_) thread_->Stop();
}

void IndexSchedule::WaitFinished() {
  while (running_) window_.pump();
}

void IndexSchedule::join() {
  if (thread_) {
    thread_->Join();
    thread_.reset();
  }
}

std::string IndexSchedule::JobReport(int database_id) const {
  const auto it = reports_.find(database_id);
  return it == reports_.end() ? std::string() : it->second;
}

void IndexSchedule::job_done(size_t j, int result, const std::string& report) {
  if (closing_ || j >= jobs_.size()) return;
  reports_[jobs_[j].database_id] = report;
  if (jobs_[j].on_event) jobs_[j].on_event(jobs_[j].database_id, result);
  if (result == kJobStopped)
    for (size_t k = j + 1; k < jobs_.size(); ++k)
      if (jobs_[k].on_event) jobs_[k].on_event(jobs_[k].database_id, kJobStopped);
}

void IndexSchedule::run_finished(bool stopped) {
  running_ = false;
  if (!closing_ && OnQueueFinished) OnQueueFinished(stopped);
}

// ---- TThreadBuildIndex --------------------------------------------------------------

TThreadBuildIndex::TThreadBuildIndex(IndexSchedule& schedule, std::vector<IndexJob> jobs, bool counters_shown)
    : schedule_(schedule),
      window_(schedule.window_),
      jobs_(std::move(jobs)),
      has_status_bar_(bool(schedule.status_bar)) {
  view_.counters_shown = counters_shown;
  if (counters_shown) {
    view_.total_label.assign(1, '0');
    view_.done_label.assign(1, '0');
    view_.documents_label.assign(1, '0');
  }
}

TThreadBuildIndex::~TThreadBuildIndex() { Join(); }

void TThreadBuildIndex::Start() { thread_ = std::thread([this] { Execute(); }); }

void TThreadBuildIndex::Join() {
  if (thread_.joinable()) thread_.join();
}

void TThreadBuildIndex::show_view(bool wait) {
  if (!has_status_bar_ && !view_.counters_shown) return;
  IndexSchedule* schedule = &schedule_;
  auto deliver = [this, schedule] {
    if (schedule->closing_ || !schedule->status_bar) return;
    ProgressView copy;
    {
      std::lock_guard<std::mutex> lock(view_mutex_);
      copy = view_;
    }
    schedule->status_bar(copy);
  };
  if (wait) {
    window_.call(deliver);
    return;
  }
  auto pending = post_pending_;
  window_.post([deliver, pending] {
    pending->store(false);
    deliver();
  });
}

void TThreadBuildIndex::on_line(const ProgressLine& line) {
  if (line.code == '5') {
    const std::string text = big5_to_utf8(line.text);
    window_.call([text] { ShowMessageText(text, text::kCaptionError, kStyleStop); });
    return;
  }
  {
    std::lock_guard<std::mutex> lock(view_mutex_);
    view_.apply(line);
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - last_post_ >= kViewInterval && !post_pending_->load()) {
    last_post_ = now;
    post_pending_->store(true);
    show_view(false);
  }
}

int TThreadBuildIndex::RunJob(size_t j) {
  {
    std::lock_guard<std::mutex> lock(view_mutex_);
    view_.documents_in_job = 0;
    view_.percent = -1;
  }
  BuilderRunInfo info;
  const int result = builder_run(jobs_[j].command.argv, stop_,
                                 [this](const ProgressLine& line) { on_line(line); }, &info);
  report_ = info.error.empty() ? info.report : info.error;
  if (has_status_bar_) {
    std::lock_guard<std::mutex> lock(view_mutex_);
    for (std::string& p : view_.panels) p.clear();
  }
  return result;
}

void TThreadBuildIndex::Execute() {
  size_t j = 0;
  IndexSchedule* schedule = &schedule_;
  for (; j < jobs_.size(); ++j) {
    const IndexJob& job = jobs_[j];
    {
      std::lock_guard<std::mutex> lock(view_mutex_);
      if (view_.counters_shown) {
        view_.total_label = std::to_string(jobs_.size());
        view_.done_label = std::to_string(j);
      }
      view_.percent = -1;
      if (has_status_bar_) view_.panels[0] = std::to_string(job.database_id);
    }
    show_view(true);
    if (has_status_bar_) {
      const int id = job.database_id;
      window_.call([schedule, j, id] {
        if (!schedule->closing_ && schedule->jobs_[j].on_event) schedule->jobs_[j].on_event(id, kJobStarting);
      });
    }
    const int result = RunJob(j);
    if (result == kJobCompleted && schedule_.job_work) schedule_.job_work(job.database_id);
    show_view(true);
    window_.call([schedule, j, result, report = report_] { schedule->job_done(j, result, report); });
    if (stop_) {
      // A stop that came as the job ended anyway: the later jobs are stopped all the same.
      if (result != kJobStopped)
        window_.call([schedule, j] {
          for (size_t k = j + 1; k < schedule->jobs_.size(); ++k)
            if (!schedule->closing_ && schedule->jobs_[k].on_event)
              schedule->jobs_[k].on_event(schedule->jobs_[k].database_id, kJobStopped);
        });
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(view_mutex_);
    if (view_.counters_shown) view_.done_label = std::to_string(j);
  }
  show_view(true);
  const bool stopped = stop_;
  window_.call([schedule, stopped] { schedule->run_finished(stopped); });
}

}  // namespace qm
