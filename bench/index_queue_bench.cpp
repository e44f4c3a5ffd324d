// Timings of index builds through the desktop's job queue against the index builder run
// alone: a folder of generated documents (20,000 by default) indexed by the real indexer
// from dist, first alone (a child whose output is drained as it comes), then through the
// index management window (offscreen: the queue's worker, the progress panels, the
// statuses and the property build that follows). A 2 ms timer measures the longest time
// the window thread went without handling events during the run. Last, property.db is
// built for a database of 100,000 documents. Prints the medians. Plain program (no Google
// Benchmark); builds on desktop/indexing/ and desktop/forms/env_fulltext_form.h.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/forms/env_fulltext_form.h"
#include "desktop/indexing/builder_run.h"
#include "desktop/indexing/command_line.h"
#include "desktop/indexing/property_file.h"
#include "desktop/messages.h"
#include "index/index_writer.h"

namespace fs = std::filesystem;

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double elapsed_ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class QuietSink : public qm::MessageSink {
 public:
  int show(const std::string& text, const std::string&, int) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return qm::kAnswerOk;
  }
};

std::string document_text(int i) {
  std::string text = "Note " + std::to_string(i) + ": green tea and black tea, leaf " + std::to_string(i % 97) + ".\n";
  for (int k = 0; k < 6; ++k) text += "Paragraph " + std::to_string(k) + " of document " + std::to_string(i) + ".\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3, documents = 20000, property_documents = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[++i]));
    else if (std::string(argv[i]) == "--docs") documents = std::max(1, std::atoi(argv[++i]));
    else if (std::string(argv[i]) == "--property-docs") property_documents = std::max(1, std::atoi(argv[++i]));
  }
  QApplication app(argc, argv);
  const fs::path root = fs::temp_directory_path() / ("qm-index-queue-bench-" + std::to_string(getpid()));
  const std::string dir = root.string() + "/";
  fs::create_directories(root / "docs");
  const std::string dist = std::string(QM_DIST_DIR) + "/";
  fs::create_symlink(dist + "indexer", dir + "indexer");
  fs::copy_file(dist + "quillmere.rcc", dir + "quillmere.rcc");
  for (int i = 0; i < documents; ++i) write(dir + "docs/n" + std::to_string(i) + ".txt", document_text(i));
  write(dir + "vesprin.ini", "[VESPRIN]\nSearcher=/s\n[INDEX]\n1=1\n[DB-1]\nDescription=Bench\nHtmlDir=" + dir +
                                 "docs/\nWorkDir=" + dir + "db/\nLocalFileType=txt\n");
  fs::create_directories(root / "db");

  qm::common_set_desktop_profile(true);
  QuietSink sink;
  qm::message_set_sink(&sink);
  qm::desktop_load_resources(dir, "en");

  std::vector<double> alone, queued, property_small;
  double longest_stall = 0;
  for (int r = 0; r < runs; ++r) {
    // The builder alone, drained as the queue drains it.
    std::atomic<bool> stop{false};
    auto start = std::chrono::steady_clock::now();
    const int result = qm::builder_run(qm::indexer_command_line(dir, qm::IndexerKind::DocumentRebuild, 1, 1).argv,
                                       stop, [](const qm::ProgressLine&) {});
    alone.push_back(elapsed_ms(start));
    if (result != 0) std::fprintf(stderr, "builder alone: result %d\n", result);

    start = std::chrono::steady_clock::now();
    qm::BuildPropertyFile(dir + "db/", dir + "docs/");
    property_small.push_back(elapsed_ms(start));

    // Through the window.
    qm::TEnvFullTextForm form(dir);
    form.show();
    QApplication::processEvents();
    form.row_of(1)->setCheckState(0, Qt::Checked);
    QElapsedTimer since_tick;
    double stall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      stall = std::max(stall, double(since_tick.nsecsElapsed()) / 1e6);
      since_tick.restart();
    });
    ticker.start(2);
    since_tick.start();
    start = std::chrono::steady_clock::now();
    form.btnReBuildClick();
    while (form.busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    queued.push_back(elapsed_ms(start));
    ticker.stop();
    longest_stall = std::max(longest_stall, stall);
  }

  // property.db of a large database (paths of files that exist, each examined).
  const std::string big = dir + "big/";
  fs::create_directories(big + "docs");
  {
    qm::IndexWriterOptions options;
    options.sync = false;
    qm::IndexWriter writer(big, options);
    for (int i = 0; i < property_documents; ++i) {
      const std::string name = "d" + std::to_string(i) + ".txt";
      write(big + "docs/" + name, "x");
      qm::IndexDocument doc;
      doc.path = name;
      doc.paragraphs.push_back({0, "tea"});
      writer.add_document(doc);
    }
    writer.finish();
  }
  std::vector<double> property_big;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    qm::BuildPropertyFile(big, big + "docs/");
    property_big.push_back(elapsed_ms(start));
  }

  const double a = median(alone), q = median(queued), p = median(property_small);
  std::printf("documents                              %d\n", documents);
  std::printf("builder alone (ms)                     %.0f\n", a);
  std::printf("through the window, with property.db   %.0f\n", q);
  std::printf("property.db of those documents (ms)    %.0f\n", p);
  std::printf("queue overhead without property.db     %.1f%%\n", (q - p - a) / a * 100);
  std::printf("longest window stall (ms)              %.1f\n", longest_stall);
  std::printf("property.db of %d documents (ms)   %.0f\n", property_documents, median(property_big));
  qm::message_set_sink(nullptr);
  fs::remove_all(root);
  return 0;
}
