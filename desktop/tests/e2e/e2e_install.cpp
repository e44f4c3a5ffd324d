// The end-to-end tests' installation and process checks (see e2e_install.h).
#include "desktop/tests/e2e/e2e_install.h"

#include <QFontDatabase>
#include <QStringList>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace qm::e2e {

Installation::Installation() {
  // Everything the build put into dist/, but the files a desktop installation makes or
  // owns itself: its configuration, its tree, bookmarks, databases and page files.
  static const std::set<std::string> own = {"vesprin.ini", "Folder.dat", "Bookmark.dat", "DB",
                                            "RBrief.htm", "RFull.htm"};
  for (const fs::directory_entry& e : fs::directory_iterator(QM_DIST_DIR)) {
    const std::string name = e.path().filename().string();
    if (!own.count(name)) fs::create_symlink(e.path(), dir_ / name);
  }
  fs::copy_file(QM_SOURCE_DIR "/desktop/resources/vesprin.ini", dir_ / "vesprin.ini");
  docs_ = dir_.sub("samples");
  static const std::set<std::string> indexed = {".txt", ".htm", ".html", ".pgx", ".doc",
                                                ".xls", ".ppt", ".pdf", ".rtf"};
  for (const fs::directory_entry& e : fs::directory_iterator(QM_SOURCE_DIR "/samples")) {
    if (!e.is_regular_file()) continue;
    fs::copy_file(e.path(), docs_ + e.path().filename().string());
    if (indexed.count(e.path().extension().string())) ++documents_;
  }
}

// The command name of a process, from /proc/<pid>/stat's "(<comm>)"; empty when gone.
std::string command_name(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  const size_t open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  return line.substr(open + 1, close - open - 1);
}

std::vector<std::string> child_names(pid_t pid) {
  std::vector<std::string> names;
  // The kernel's list of the main thread's children when it has one (quick enough to
  // catch a short-lived child), else every process's parent.
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  if (children) {
    std::string child;
    while (children >> child)
      if (std::string name = command_name(child); !name.empty()) names.push_back(name);
    return names;
  }
  for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
    const std::string id = e.path().filename().string();
    if (id.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(e.path() / "stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // "<pid> (<comm>) <state> <ppid> ...": the name may hold blanks and parentheses.
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > line.size())
      continue;
    const std::string rest = line.substr(close + 2);
    const size_t blank = rest.find(' ');
    if (blank == std::string::npos) continue;
    if (std::atol(rest.c_str() + blank + 1) == pid)
      names.push_back(line.substr(open + 1, close - open - 1));
  }
  return names;
}

bool has_child(pid_t pid, const std::string& name) {
  for (const std::string& n : child_names(pid))
    if (n == name) return true;
  return false;
}

std::string screenshot_dir() {
  const std::string dir = QM_BINARY_DIR "/screenshots/desktop/";
  fs::create_directories(dir);
  return dir;
}

std::string chinese_font_trouble() {
  if (!QFontDatabase::families(QFontDatabase::TraditionalChinese).isEmpty()) return {};
  return "no Traditional Chinese font is installed (fonts-arphic-uming, scripts/setup): the "
         "Chinese texts would show as boxes";
}

}  // namespace qm::e2e
