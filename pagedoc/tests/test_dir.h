// A scratch folder per test: documents are written into it, and TMPDIR points at its
// "tmp" subfolder so the reader's temporary files can be counted and must be gone
// when the test ends. ScratchTest is the fixture of the reader tests built on it.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/test_files.h"

namespace qm::pgx::test {

class ScratchDir {
 public:
  ScratchDir() : root_("pagedoc_test") {
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
  }
  std::string path(const std::string& name) const { return root_ / name; }
  std::string tmp() const { return root_ / "tmp"; }
  // Names of the files in the temporary folder.
  std::vector<std::string> temp_files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp())) names.push_back(e.path().filename().string());
    return names;
  }

 private:
  qm::test::TempDir root_;
  std::string old_;
  bool had_old_ = false;
};

// A fixture with a scratch folder: documents are written into it, and no temporary file
// of the reader may be left when the test ends.
class ScratchTest : public ::testing::Test {
 protected:
  ScratchDir dir;

  // Writes the document and gives its path.
  std::string write(const std::string& name, const std::string& bytes) {
    std::string p = dir.path(name);
    qm::test::write_file(p, bytes);
    return p;
  }
  std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
    return write(name, std::string(bytes.begin(), bytes.end()));
  }
  void TearDown() override { EXPECT_TRUE(dir.temp_files().empty()) << "temporary files left behind"; }
};

}  // namespace qm::pgx::test
