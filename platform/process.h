// Child processes: runs one program with a time limit and collects its output.
// The child gets its own process group, standard input from /dev/null and one pipe
// for its output, which is read while it runs (a Linux pipe holds only 64 KiB, so a
// child that is not read blocks). A late child is killed with its whole group, so
// grandchildren go too; stragglers of the group are killed when the child ends, and
// the child is always reaped. Used by the index builder to run document converters.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
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

}  // namespace qm
