// One run of a CGI program of the installation (the searcher or marker) as the desktop
// runs it: "<program dir><name>" by absolute path, the program directory as working
// directory, REQUEST_METHOD=GET and the request in QUERY_STRING, its output read in pieces
// while the caller's window keeps working between polls. The run ends when the reader
// says so, when the output ends, or at the time limit; the child is then stopped with its
// whole process group. Plain C++ over platform/process.h (ChildProcess); used by the main
// window's search and full view; tests in tests/page_run_test.cpp.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace qm {

class PageRun {
 public:
  // Takes each piece of output; returns true once it has read all it wants.
  using Reader = std::function<bool(std::string_view)>;
  enum class End { Running, ReaderDone, OutputEnded, TimedOut, NotStarted };

  PageRun() = default;
  ~PageRun() { stop(); }
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;

  // Starts program_dir + name with the request; false (End::NotStarted, error()) when it
  // cannot be run.
  bool start(const std::string& program_dir, const std::string& name, const std::string& query,
             Reader reader, int time_limit_ms);
  // Reads what the child has written, waiting at most wait_ms for it; the end state once
  // the run has ended (the child is stopped then), else End::Running.
  End poll(int wait_ms);
  // Polls until the run ends, calling between_polls (may be empty) after each poll that
  // found the run going; slice_ms bounds each wait.
  End run_to_end(int slice_ms, const std::function<void()>& between_polls);
  // Stops the child and its group (also done by the destructor).
  void stop();

  End end() const { return end_; }
  const std::string& error() const { return child_.error(); }
  pid_t pid() const { return child_.pid(); }

 private:
  void finish(End how);
  void let_end(End how);
  ChildProcess child_;
  Reader reader_;
  End end_ = End::NotStarted;
  std::chrono::steady_clock::time_point deadline_;
  // The reader is done or the output ended: the child gets a moment to end by itself.
  bool finishing_ = false;
  End finishing_end_ = End::ReaderDone;
  std::chrono::steady_clock::time_point grace_deadline_;
};

}  // namespace qm
