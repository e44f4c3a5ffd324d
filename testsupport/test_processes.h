// Helpers shared by the tests of child processes: whether a process has stopped, read
// from /proc. Test code only.
#pragma once
#include <sys/types.h>

namespace qm::test {

// A process that is gone, or a zombie waiting for some parent to reap it, has stopped.
bool process_stopped(pid_t pid);

// Waits up to two seconds for the process to stop; true when it has.
bool wait_stopped(pid_t pid);

}  // namespace qm::test
