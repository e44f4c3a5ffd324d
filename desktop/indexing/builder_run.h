// One run of the index builder as a job of the queue: the program started by absolute
// path (its own process group, standard input /dev/null, standard output and error on one
// pipe, platform/process.h), its output drained as it comes and cut by the progress
// parser (progress_parser.h). The run ends at the end mark (completed), a '3' line
// (failed), the stop flag (stopped, seen within 100 ms even while the builder is silent),
// or the end of its output without the end mark (failed); a builder that cannot be
// started fails too. Then the builder's group and the announced helper's group are ended
// and the builder is reaped. A '4' helper is taken only while /proc shows it a child or a
// group member of the builder, never pid 1 or ourselves; "4 0" clears it. Qt-free; used
// by the job queue's worker (schedule.cpp); tests in tests/schedule_test.cpp.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "desktop/indexing/progress_parser.h"

namespace qm {

// Job results, also the event codes of a job.
enum JobResult : int {
  kJobCompleted = 0,
  kJobFailed = 1,
  kJobStopped = 2,
  kJobStarting = 9,  // the event before a job runs
};

struct BuilderRunInfo {
  pid_t builder = -1;
  pid_t helper = 0;        // the helper ended at the end; 0 when none
  size_t cut_lines = 0;
  std::string error;       // why the builder could not be started
  std::string report;      // the builder's own words on how the job ended, Big5: its '3'
                           // line's text, else after a completed job its last status line
};

// Runs argv (argv[0] absolute) to its end; on_line gets every shown line ('0', '1', '2'
// and unknown codes) on the calling thread.
int builder_run(const std::vector<std::string>& argv, const std::atomic<bool>& stop,
                const std::function<void(const ProgressLine&)>& on_line, BuilderRunInfo* info = nullptr);

// What /proc says of a process: its parent, group and start time; false when it is gone.
struct ProcStat {
  pid_t ppid = 0;
  pid_t pgrp = 0;
  unsigned long long start_time = 0;
};
bool proc_stat_read(pid_t pid, ProcStat& out);

}  // namespace qm
