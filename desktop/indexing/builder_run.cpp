// One index-builder job run as a child; see builder_run.h.
#include "desktop/indexing/builder_run.h"

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/process.h"

namespace qm {

bool proc_stat_read(pid_t pid, ProcStat& out) {
  if (pid <= 0) return false;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all;
  if (!in || !std::getline(in, all)) return false;
  // The command name is in parentheses and may hold anything: read after the last ')'.
  const size_t close = all.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(all.substr(close + 1));
  std::string state;
  long long ppid = 0, pgrp = 0;
  if (!(rest >> state >> ppid >> pgrp)) return false;
  // Fields after the group: session, tty, tpgid, flags, minflt, cminflt, majflt,
  // cmajflt, utime, stime, cutime, cstime, priority, nice, threads, itrealvalue, then
  // the start time (field 22 of the whole line).
  std::string skip;
  for (int i = 0; i < 16; ++i)
    if (!(rest >> skip)) return false;
  unsigned long long start = 0;
  if (!(rest >> start)) return false;
  if (state == "Z" || state == "X") return false;  // ended, only not yet reaped
  out.ppid = static_cast<pid_t>(ppid);
  out.pgrp = static_cast<pid_t>(pgrp);
  out.start_time = start;
  return true;
}

namespace {

struct Helper {
  pid_t pid = 0;
  ProcStat stat;
};

// The helper named by a '4' line, when it belongs to the builder's family now.
bool take_helper(long pid, pid_t builder, Helper& out) {
  if (pid <= 1 || pid == getpid() || pid == builder) return false;
  ProcStat st;
  if (!proc_stat_read(static_cast<pid_t>(pid), st)) return false;
  if (st.ppid != builder && st.pgrp != builder) return false;
  out.pid = static_cast<pid_t>(pid);
  out.stat = st;
  return true;
}

// Ends the helper (its whole group when it leads one of its own), only while it is still
// the process that was announced.
void end_helper(const Helper& h) {
  if (h.pid <= 1) return;
  ProcStat now;
  if (!proc_stat_read(h.pid, now) || now.start_time != h.stat.start_time) return;
  if (now.pgrp == h.pid && now.pgrp != getpgrp())
    kill(-now.pgrp, SIGKILL);
  else
    kill(h.pid, SIGKILL);
}

}  // namespace

int builder_run(const std::vector<std::string>& argv, const std::atomic<bool>& stop,
                const std::function<void(const ProgressLine&)>& on_line, BuilderRunInfo* info) {
  if (stop.load()) return kJobStopped;  // stopped before it began: nothing is started
  ChildProcess child;
  ChildOptions options;
  options.argv = argv;
  if (!child.start(options)) {
    if (info) info->error = child.error();
    return kJobFailed;
  }
  const pid_t builder = child.pid();
  Helper helper;
  IndexerProgressParser parser(on_line, [&](long pid) {
    Helper taken;
    if (pid == 0 || !take_helper(pid, builder, taken)) {
      if (pid == 0) helper = Helper{};
      return;
    }
    helper = taken;
  });

  // The output is drained as it comes; the stop flag is looked at every 100 ms at least.
  std::string piece;
  while (!stop.load() && !parser.done()) {
    piece.clear();
    const ChildRead r = child.read(piece, 100);
    if (!piece.empty()) parser.feed(piece);
    if (r == ChildRead::End) break;  // without the end mark: the job failed
  }

  end_helper(helper);
  child.stop();
  if (info) {
    info->builder = builder;
    info->helper = helper.pid;
    info->cut_lines = parser.cut_lines();
    info->report = parser.failed() ? parser.failure_text()
                   : parser.end_mark() ? parser.last_status() : std::string();
  }
  if (parser.failed()) return kJobFailed;
  if (stop.load()) return kJobStopped;
  if (parser.end_mark()) return kJobCompleted;
  return kJobFailed;
}

}  // namespace qm
