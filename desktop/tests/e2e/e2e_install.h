// What the desktop's end-to-end tests share: a temporary installation (links to the
// programs and data of the build's dist/, the default vesprin.ini copied, no Folder.dat,
// a copy of samples/ as the document folder), the names of a process's children read
// from /proc, the screenshot folder, and the check for a Traditional Chinese font. Used by
// main_road_test.cpp and outside_test.cpp. Test code only.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "testsupport/test_files.h"

namespace qm::e2e {

class Installation {
 public:
  Installation();
  // The program directory, ending in "/".
  const std::string& path() const { return dir_.path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }
  // The copy of samples/, ending in "/".
  const std::string& docs() const { return docs_; }
  // The number of documents of the copy that a database of every type indexes.
  int document_count() const { return documents_; }

 private:
  test::TempDir dir_{"qm-e2e-"};
  std::string docs_;
  int documents_ = 0;
};

// The command names of the processes whose parent is pid, from /proc.
std::vector<std::string> child_names(pid_t pid);
bool has_child(pid_t pid, const std::string& name);

// <build>/screenshots/desktop/ (made when missing), ending in "/".
std::string screenshot_dir();

// Empty when Qt knows a Traditional Chinese font (a QGuiApplication must exist); else the
// message the tests fail with, so that no screenshot shows boxes for the Chinese texts.
std::string chinese_font_trouble();

}  // namespace qm::e2e
