// Process checks for the tests, from /proc/<pid>/stat (see test_processes.h).
#include "testsupport/test_processes.h"

#include <unistd.h>

#include <fstream>
#include <string>

namespace qm::test {

bool process_stopped(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  if (!in) return true;
  std::string line;
  std::getline(in, line);
  std::size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

bool wait_stopped(pid_t pid) {
  for (int i = 0; i < 200 && !process_stopped(pid); ++i) usleep(10000);
  return process_stopped(pid);
}

}  // namespace qm::test
