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
  // A child whose page is complete is let end on its own for a moment before the stop.
  if (how == End::ReaderDone || how == End::OutputEnded) child_.wait_for_end(kEndGraceMs);
  child_.stop();
}

PageRun::End PageRun::poll(int wait_ms) {
  if (end_ != End::Running) return end_;
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
      if (reader_(piece)) finish(End::ReaderDone);
      break;
    case ChildRead::End:
      finish(End::OutputEnded);
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
  if (end_ == End::Running) end_ = End::ReaderDone;
}

}  // namespace qm
