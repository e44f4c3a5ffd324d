// Timings of the desktop catalogue with a full configuration of 998 databases: loading
// the table, filling the tree model at start (Folder.dat plus the configuration, first
// run with Group placement and later runs), checking the root, and saving and loading
// Folder.dat; then the same with the main window's tree view (desktop/forms/database_tree.h,
// offscreen): the rows made at start and a click on the root's state icon. Plain program
// (no Google Benchmark); prints the median of several runs. Builds on desktop/catalogue/.
#include <QApplication>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/database_tree.h"

namespace fs = std::filesystem;

namespace {

double median_ms(int runs, const std::function<void()>& before, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    if (before) before();
    auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 11;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[++i]));
  qm::common_set_desktop_profile(true);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  std::string dir = (fs::temp_directory_path() / "qm-catalogue-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  dir += "/";
  // 998 databases; every tenth carries a Group of five; every other one is indexed.
  std::string ini = "[VESPRIN]\nCacheDir=" + dir + "Cache/\n[INDEX]\n";
  for (int id = 1; id <= 998; ++id) ini += std::to_string(id) + "=1\n";
  for (int id = 1; id <= 998; ++id) {
    std::string work = dir + "DB/db-" + std::to_string(id) + "/";
    fs::create_directories(work);
    if (id % 2) write(work + "fulltext.db", "text");
    ini += "[DB-" + std::to_string(id) + "]\nDescription=Database " + std::to_string(id) +
           "\nHtmlDir=" + dir + "docs/\nWorkDir=" + work + "\nLocalFileType=txt,htm,html\n";
    if (id % 10 == 0) ini += "Group=Group " + std::to_string(id % 50 / 10) + "\nMail=1\n";
  }
  write(dir + "vesprin.ini", ini);

  qm::DatabaseCatalog catalog(dir);
  double load = median_ms(runs, nullptr, [&] {
    catalog.OpenConfig();
    catalog.CloseConfig();
  });

  // First start: no Folder.dat, every database placed, Group keys cleared.
  qm::FolderTree tree;
  auto first_start = std::chrono::steady_clock::now();
  catalog.LoadFolderTree(tree, "Index folders");
  catalog.FillDatabaseTree(tree);
  catalog.SaveFolderTree(tree);
  double first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - first_start).count();
  size_t nodes = tree.nodes().size();

  // Later starts: Folder.dat and the configuration, as the main window starts.
  double start = median_ms(runs, nullptr, [&] {
    qm::FolderTree t;
    catalog.LoadFolderTree(t, "Index folders");
    catalog.FillDatabaseTree(t);
    catalog.SaveFolderTree(t);
  });
  double check = median_ms(runs, nullptr, [&] { tree.click_state(tree.root()); });
  double save = median_ms(runs, nullptr, [&] { catalog.SaveFolderTree(tree); });
  double read = median_ms(runs, nullptr, [&] {
    std::vector<qm::FolderNodeRecord> records;
    qm::folder_dat_read(catalog.FolderDatPath(), records);
  });
  double load_tree = median_ms(runs, nullptr, [&] {
    qm::FolderTree t;
    catalog.LoadFolderTree(t, "Index folders");
  });

  // The tree view at start: Folder.dat + configuration + fill + save + the rows.
  std::unique_ptr<qm::DatabaseTreeWidget> view;
  double view_start = median_ms(
      runs, [&] { view = std::make_unique<qm::DatabaseTreeWidget>(); },
      [&] {
        view->set_catalog(&catalog);
        view->load_at_start("Index folders");
      });
  // A click on the root's state icon: every node below takes the state, the rows follow.
  view->resize(400, 600);
  view->show();
  QApplication::processEvents();
  QTreeWidgetItem* root = view->topLevelItem(0);
  const QPoint at = view->point_at(root, qm::DatabaseTreeWidget::HitPlace::StateIcon);
  const int state_before = view->node_of(root)->state;
  double view_check = median_ms(runs, nullptr, [&] {
    QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, view->viewport()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QApplication::sendEvent(view->viewport(), &release);
  });
  const int root_state = view->node_of(root)->state;
  view.reset();

  std::printf("databases 998, tree nodes %zu, Folder.dat %lld bytes, median of %d runs\n", nodes,
              static_cast<long long>(fs::file_size(catalog.FolderDatPath())), runs);
  std::printf("%-52s %9.2f ms\n", "catalogue table load (OpenConfig)", load);
  std::printf("%-52s %9.2f ms\n", "first start: load + fill (Group placement) + save", first);
  std::printf("%-52s %9.2f ms\n", "start: Folder.dat + configuration + fill + save", start);
  std::printf("%-52s %9.2f ms\n", "check the root (model)", check);
  std::printf("%-52s %9.2f ms\n", "Folder.dat save", save);
  std::printf("%-52s %9.2f ms\n", "Folder.dat read (records)", read);
  std::printf("%-52s %9.2f ms\n", "Folder.dat load into the model (states, names)", load_tree);
  std::printf("%-52s %9.2f ms\n", "tree view at start (model as above + rows)", view_start);
  std::printf("%-52s %9.2f ms (root state %d, then %d)\n",
              "tree view: click on the root's state icon", view_check, state_before, root_state);
  fs::remove_all(dir);
  return 0;
}
