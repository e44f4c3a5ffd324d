// Child processes: runs one program with a time limit and collects its output.
// The child gets its own process group, standard input from /dev/null and one pipe
// for its output, which is read while it runs (a Linux pipe holds only 64 KiB, so a
// child that is not read blocks). A late child is killed with its whole group, so
// grandchildren go too; stragglers of the group are killed when the child ends, and
// the child is always reaped. Used by the index builder to run document converters and
// by the mail gateway to run docpress.
//
// ChildProcess is the same for programs that run longer and talk while they run (the
// desktop's searcher, marker and index-builder children): the caller reads the output as
// it comes, with deadlines of its own, and stops the child when done. ChildLineReader cuts
// that output into lines. Implemented in child_process.cpp.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class ProcessStderr {
  Discard,  // standard error goes to /dev/null
  Merge,    // standard error shares the output pipe
  Inherit,  // standard error is the caller's
};

struct ProcessOptions {
  // argv[0] is the program: an absolute path, or a bare name looked up in PATH.
  std::vector<std::string> argv;
  // Milliseconds from the start; 0 means no limit.
  int timeout_ms = 0;
  // Output beyond this many bytes is read and thrown away (the child is not stalled);
  // ProcessResult::truncated tells.
  std::size_t max_output = std::size_t(256) << 20;
  ProcessStderr stderr_mode = ProcessStderr::Discard;
  // Called once the child runs, with its process id (also its process-group id).
  std::function<void(pid_t)> on_start;
  // Working directory of the child; empty: ours.
  std::string working_dir;
  // A signal the child gets when the thread that started it ends (SIGKILL: a helper that
  // must never outlive its caller); 0: none.
  int parent_death_signal = 0;
};

struct ProcessResult {
  bool started = false;    // false: the program could not be run (see error)
  bool exited = false;     // ended through exit(); exit_code is valid
  int exit_code = -1;      // 0..255 when exited
  int signal = 0;          // the signal that ended it, when not exited
  bool timed_out = false;  // killed because the time limit passed
  bool truncated = false;  // output went past max_output
  pid_t pid = -1;
  std::string output;
  std::string error;  // why it could not be started
};

// Runs the program and waits for it (and its output) to end or the limit to pass.
ProcessResult process_run(const ProcessOptions& options);

struct ChildOptions {
  // argv[0] must be an absolute path; no PATH lookup.
  std::vector<std::string> argv;
  // Working directory of the child; empty: ours.
  std::string working_dir;
  // "NAME=value" entries added to (or replacing those of) our environment. The CGI
  // variables REQUEST_METHOD, QUERY_STRING, CONTENT_LENGTH and HTTP_USER_AGENT of our own
  // environment are never passed on; a child that needs them gets them here.
  std::vector<std::string> env;
  // Standard output and standard error to /dev/null instead of the pipe (a child that is
  // left running on its own, such as a browser started by the shell opener).
  bool discard_output = false;
};

// The environment a child gets: ours without the CGI variables, plus extra (an entry of
// extra replaces ours of the same name).
std::vector<std::string> child_environment(const std::vector<std::string>& extra);

enum class ChildRead {
  Data,     // bytes were appended
  Timeout,  // nothing came within the wait
  End,      // the output pipe is closed (the child and all it left behind are done with it)
};

// One running child: its own process group, standard input /dev/null, standard output and
// standard error on one pipe. Not copyable; the destructor stops it.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the program; false (with error()) when it cannot be run. A started child must
  // be stopped (stop() or the destructor) before another start.
  bool start(const ChildOptions& options);
  const std::string& error() const { return error_; }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The read end of the output pipe (non-blocking), for an event loop to watch; -1 once
  // the output has ended.
  int output_fd() const { return read_fd_; }

  // Appends what the child has written, waiting at most wait_ms for the first byte
  // (0: no wait, negative: no limit). At most 64 KiB per call.
  ChildRead read(std::string& out, int wait_ms);
  // Reads until the output ends or timeout_ms passes (negative: no limit), handing each
  // piece to on_output, which returns false to stop reading early. true when the output
  // ended (or on_output stopped it) in time.
  bool read_until_end(int timeout_ms, const std::function<bool(std::string_view)>& on_output);

  // True once the child itself has ended (it is not reaped before stop()).
  bool has_ended();
  // Waits up to timeout_ms (negative: no limit) for the child to end.
  bool wait_for_end(int timeout_ms);

  // Ends the child and every process of its group: SIGTERM to the group, SIGKILL to the
  // group after 500 ms when anything of it is left; then reaps the child (only its own
  // pid). Safe to call again; after it exited() and exit_code() or term_signal() tell.
  void stop();
  // Forgets the child without stopping it (its output must be discarded); the caller
  // takes over reaping the pid.
  pid_t release();
  bool exited() const { return exited_; }
  int exit_code() const { return exit_code_; }
  int term_signal() const { return signal_; }

 private:
  void close_pipe();
  pid_t pid_ = -1;
  int read_fd_ = -1;
  int pidfd_ = -1;
  bool exited_ = false;
  int exit_code_ = -1;
  int signal_ = 0;
  std::string error_;
};

// Cuts a child's output into lines. A line ends at LF, CR LF, CR CR LF (text-mode writers
// on the old system doubled the CR) or a bare CR; a CR is taken as a line end at once, so
// a CR-ended progress line is not held back until more output comes. Lines longer than
// the cap are cut there and the rest up to the line end is dropped (truncated() counts
// them).
class ChildLineReader {
 public:
  explicit ChildLineReader(std::size_t max_line = 65536) : max_line_(max_line) {}
  // Feeds bytes; every line they complete is appended to lines (without its end).
  void feed(std::string_view bytes, std::vector<std::string>& lines);
  // The output has ended: an unfinished last line (no end mark) is appended.
  void finish(std::vector<std::string>& lines);
  // The bytes of the line not yet ended.
  const std::string& pending() const { return line_; }
  std::size_t truncated() const { return truncated_; }

 private:
  enum class State { Text, AfterCr, AfterCrCr };
  void end_line(std::vector<std::string>& lines);
  std::size_t max_line_;
  std::string line_;
  bool dropping_ = false;
  State state_ = State::Text;
  std::size_t truncated_ = 0;
};

}  // namespace qm
