// Children and temporary copies of the readers (see child_tools.h).
#include "filters/framework/readers/child_tools.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/process.h"

namespace kvx::readers {

ChildTools& child_tools() {
  static ChildTools tools;
  return tools;
}

TempSource::TempSource(std::string_view bytes) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) dir = "/tmp";
  std::string path = (dir / "kvx-source-XXXXXX").string();
  int fd = ::mkstemp(path.data());
  if (fd < 0) return;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  bool ok = done == bytes.size();
  if (::close(fd) != 0) ok = false;
  if (ok) path_ = path;
  else ::unlink(path.c_str());
}

TempSource::~TempSource() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

KVXSTATUS run_tool(const std::vector<std::string>& argv, std::string& output, std::string* messages) {
  qm::ProcessOptions opt;
  opt.argv = argv;
  opt.timeout_ms = child_tools().timeout_ms;
  opt.max_output = size_t(64) << 20;
  opt.stderr_mode = messages ? qm::ProcessStderr::Merge : qm::ProcessStderr::Discard;
  qm::ProcessResult r = qm::process_run(opt);
  output = std::move(r.output);
  if (messages) *messages = output;
  if (!r.started || (r.exited && r.exit_code == 127 && output.empty())) return KVXERR_NOTOOL;
  if (r.timed_out || !r.exited || r.exit_code != 0 || r.truncated) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
