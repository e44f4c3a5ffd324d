// Helpers shared by the tests of every component: a scratch directory removed with its
// contents, whole-file reading and writing, and the output of a shell command. Test
// code only; nothing of the system links it.
#pragma once
#include <cstdio>
#include <string>

namespace qm::test {

// A fresh directory under the temporary directory ($TMPDIR, else /tmp) named
// <prefix>XXXXXX, removed with its contents when the object goes. Throws
// std::runtime_error when it cannot be made.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "qm-test-");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The resolved path (no symbolic links), ending with "/".
  const std::string& path() const { return path_; }
  // The same without the final "/".
  std::string dir() const { return path_.substr(0, path_.size() - 1); }
  std::string operator/(const std::string& name) const { return path_ + name; }
  // <path>name/, created with its parents.
  std::string sub(const std::string& name) const;

 private:
  std::string path_;
};

// The whole file as stored; "" when it cannot be read.
std::string read_file(const std::string& path);
// Creates or replaces the file with bytes; throws std::runtime_error when it cannot.
void write_file(const std::string& path, const std::string& bytes);

// Everything written to file so far: flushes it and reads it from the start.
std::string file_contents(std::FILE* file);

// Runs command with the shell (popen), appends its standard output to output, and gives
// its wait status (pclose); -1 when it cannot be started.
int command_output(const std::string& command, std::string& output);

}  // namespace qm::test
