// The tests' X server (see xvfb_server.h): Xvfb by its absolute path, its output read until
// the display number arrives, stopped with its process group by ChildProcess.
#include "testsupport/xvfb_server.h"


#include "platform/shell_open.h"
#include "testsupport/test_processes.h"

namespace qm::test {

int xvfb_display_number(const std::string& output) {
  size_t start = 0;
  for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = output.substr(start, end - start);
    if (!line.empty() && line.size() < 9 &&
        line.find_first_not_of("0123456789") == std::string::npos)
      return std::stoi(line);
  }
  return -1;
}

bool XvfbServer::start(const std::string& screen) {
  const std::string xvfb = find_in_path("Xvfb");
  if (xvfb.empty()) {
    installed_ = false;
    error_ = "Xvfb is not installed (scripts/setup)";
    return false;
  }
  ChildOptions o;
  o.argv = {xvfb, "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  if (!server_.start(o)) {
    error_ = "Xvfb did not start: " + server_.error();
    return false;
  }
  pid_ = server_.pid();
  std::string out;
  for (int waited = 0; waited < 20000 && xvfb_display_number(out) < 0; waited += 50)
    if (server_.read(out, 50) == ChildRead::End) break;
  const int number = xvfb_display_number(out);
  if (number < 0) {
    error_ = "Xvfb gave no display: " + out;
    stop();
    return false;
  }
  display_ = ":" + std::to_string(number);
  return true;
}

bool XvfbServer::stop() {
  if (!server_.started()) return pid_ == 0 || process_stopped(pid_);
  server_.stop();
  display_.clear();
  return wait_stopped(pid_);
}

}  // namespace qm::test
