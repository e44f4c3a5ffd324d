// Timings of the bookmark manager with a Bookmark.dat of 1,000 bookmarks in 50 folders:
// reading the records, building the tree, and the manager's whole load (tree view and the
// bookmark menu mirrored, offscreen); then a save. Plain program (no Google Benchmark);
// prints the median of several runs. Builds on desktop/bookmarks/ and
// desktop/forms/bookmark_form.h.
#include <QApplication>
#include <QMenu>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/bookmarks/bookmark_tree.h"
#include "desktop/forms/bookmark_form.h"

namespace fs = std::filesystem;

namespace {

double median_ms(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 11;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const fs::path dir = fs::temp_directory_path() / ("qm-bookmark-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string program_dir = dir.string() + "/";
  std::vector<qm::BookmarkRecord> records;
  records.push_back({1, -1, "", 0, "Bookmarks"});
  for (int f = 0; f < 50; ++f) {
    records.push_back({1, int(records.size()), "", 1, "Folder " + std::to_string(f)});
    for (int b = 0; b < 20; ++b)
      records.push_back({0, int(records.size()),
                         "/home/user/documents/folder" + std::to_string(f) + "/report-" + std::to_string(b) + ".htm",
                         2, "Report " + std::to_string(f) + "-" + std::to_string(b)});
  }
  const std::string file = program_dir + "Bookmark.dat";
  if (!qm::bookmark_dat_write(file, records)) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return 1;
  }

  std::vector<qm::BookmarkRecord> read;
  const double t_read = median_ms(runs, [&] { qm::bookmark_dat_read(file, read); });
  qm::BookmarkTree tree;
  const double t_tree = median_ms(runs, [&] { tree.load(file, "Bookmarks"); });

  QMenu menu;
  menu.addAction(QStringLiteral("Add"));
  menu.addAction(QStringLiteral("Organize"));
  menu.addSeparator();
  qm::TBookmarkForm form(program_dir);
  form.SetBookmarkMenu(&menu, [](int) {});
  const double t_load = median_ms(runs, [&] {
    form.Load();
    QApplication::processEvents();  // the menu entries of the last load go
  });
  const double t_save = median_ms(runs, [&] { form.Save(); });

  std::printf("Bookmark.dat: %zu records, %ju bytes; median of %d runs\n", records.size(),
              static_cast<uintmax_t>(fs::file_size(file)), runs);
  std::printf("| step                                              |    ms |\n");
  std::printf("|---------------------------------------------------|------:|\n");
  std::printf("| read the records                                  | %5.1f |\n", t_read);
  std::printf("| build the tree                                    | %5.1f |\n", t_tree);
  std::printf("| manager load: tree, view and menu (offscreen)     | %5.1f |\n", t_load);
  std::printf("| save (atomic replace)                             | %5.1f |\n", t_save);
  fs::remove_all(dir);
  return 0;
}
