// A scratch folder per test: documents are written into it, and TMPDIR points at its
// "tmp" subfolder so the reader's temporary files can be counted and must be gone
// when the test ends.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::pgx::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pagedoc_testXXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    root_ = buf.data();
    std::filesystem::create_directory(tmp());
    const char* old = std::getenv("TMPDIR");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    ::setenv("TMPDIR", tmp().c_str(), 1);
  }
  ~ScratchDir() {
    if (had_old_)
      ::setenv("TMPDIR", old_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  std::string path(const std::string& name) const { return root_ + "/" + name; }
  std::string tmp() const { return root_ + "/tmp"; }
  // Names of the files in the temporary folder.
  std::vector<std::string> temp_files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp())) names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::string root_, old_;
  bool had_old_ = false;
};

}  // namespace qm::pgx::test
