// A CGI program of the installation run as a child (see page_run.h).
#include "desktop/search/page_run.h"

#include <algorithm>

namespace qm {
namespace {

constexpr int kEndGraceMs = 200;

}  // namespace

bool PageRun::start(const std::string& program_dir, const std::string& name,
                    const std::string& query, Reader reader, int time_limit_ms) {
  stop();
  end_ = End::NotStarted;
  finishing_ = false;
  reader_ = std::move(reader);
  ChildOptions options;
  options.argv = {program_dir + name};
  options.working_dir = program_dir;
  options.env = {"REQUEST_METHOD=GET", "QUERY_STRING=" + query};
  if (!child_.start(options)) return false;
  end_ = End::Running;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(time_limit_ms);
  return true;
}

void PageRun::finish(End how) {
  end_ = how;
  finishing_ = false;
  child_.stop();
}

void PageRun::let_end(End how) {
  // A child whose page is complete is let end on its own for a moment (polled like the
  // output, so the caller keeps working) before it is stopped.
  finishing_ = true;
  finishing_end_ = how;
  grace_deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndGraceMs);
}

PageRun::End PageRun::poll(int wait_ms) {
  if (end_ != End::Running) return end_;
  if (finishing_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          grace_deadline_ - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 || child_.wait_for_end(static_cast<int>(std::min<long long>(wait_ms, left))))
      finish(finishing_end_);
    else if (std::chrono::steady_clock::now() >= grace_deadline_)
      finish(finishing_end_);
    return end_;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now >= deadline_) {
    finish(End::TimedOut);
    return end_;
  }
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
  std::string piece;
  switch (child_.read(piece, static_cast<int>(std::min<long long>(wait_ms, left)))) {
    case ChildRead::Data:
      if (reader_(piece)) let_end(End::ReaderDone);
      break;
    case ChildRead::End:
      let_end(End::OutputEnded);
      break;
    case ChildRead::Timeout:
      if (std::chrono::steady_clock::now() >= deadline_) finish(End::TimedOut);
      break;
  }
  return end_;
}

PageRun::End PageRun::run_to_end(int slice_ms, const std::function<void()>& between_polls) {
  while (poll(slice_ms) == End::Running)
    if (between_polls) between_polls();
  return end_;
}

void PageRun::stop() {
  if (child_.started()) child_.stop();
  if (end_ == End::Running) end_ = finishing_ ? finishing_end_ : End::ReaderDone;
  finishing_ = false;
}

}  // namespace qm
