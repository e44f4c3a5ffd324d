// Timing of the mail-file walker through the mail-store dialog: a tree of 5,000 folders
// holding 50,000 mail files (sparse, 2 KB each, so they take no disk) searched from the
// dialog offscreen, with a 2 ms timer measuring the longest time the window thread went
// without handling events. Prints entries listed per second and the longest stall over
// three runs. Plain program (no Google Benchmark); builds on desktop/forms/mail_form.h
// and desktop/mailfind/thread_stand.h.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QComboBox>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "desktop/app.h"
#include "desktop/forms/mail_form.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  qm::desktop_load_resources(std::string(QM_DIST_DIR) + "/", "en");
  const fs::path root = fs::temp_directory_path() / ("qm_mail_walk_bench_" + std::to_string(getpid()));
  const int kFolders = 5000, kPerFolder = 10;
  for (int d = 0; d < kFolders; ++d) {
    const fs::path folder = root / ("g" + std::to_string(d / 100)) / ("f" + std::to_string(d));
    fs::create_directories(folder);
    for (int i = 0; i < kPerFolder; ++i) {
      const std::string p = (folder / ("box" + std::to_string(i) + ".mbx")).string();
      int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ftruncate(fd, 2048) != 0) return 1;
      close(fd);
    }
  }
  for (int run = 0; run < 3; ++run) {
    qm::TMailForm form("/nowhere/");
    form.FileMask = "*.mbx";
    form.show();
    form.editMailFolder->setEditText(QString::fromStdString(root.string()));
    qint64 longest = 0;
    QElapsedTimer tick;
    QTimer stall;
    stall.setInterval(2);
    QObject::connect(&stall, &QTimer::timeout, [&] {
      longest = std::max(longest, tick.restart());
    });
    QElapsedTimer clock;
    clock.start();
    tick.start();
    stall.start();
    form.btnFindMail->click();
    while (!form.btnFindMail->isEnabled()) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double secs = clock.elapsed() / 1000.0;
    stall.stop();
    const int rows = form.lvFind->topLevelItemCount();
    std::printf("run %d: %d entries in %.2f s = %.0f entries/s; longest window stall %lld ms\n", run,
                rows, secs, rows / secs, static_cast<long long>(longest));
  }
  fs::remove_all(root);
  return 0;
}
