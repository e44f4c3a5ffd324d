// Timings of one desktop search against the searcher's own run: a database of generated
// documents that all hold one word (100,000 by default), the searcher run alone as the
// desktop runs it (child process, hit lines read as they come), then the main window's
// whole search (offscreen): request, run, rows, dates, history, sort, mail columns. A
// 2 ms timer measures the longest time the window thread went without handling events
// during the search. Prints the medians, the search's added time, the longest stall, and
// the rows and total shown. Plain program (no Google Benchmark); builds on
// desktop/search/ and the main window (desktop/main_form.h); needs the searcher from dist.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QComboBox>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/search/hit_lines.h"
#include "desktop/search/page_run.h"
#include "desktop/search/search_request.h"
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

void write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Messages (9015 when nothing is found) are answered without a dialog.
class QuietSink : public qm::MessageSink {
 public:
  int show(const std::string& text, const std::string&, int) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return qm::kAnswerOk;
  }
};

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  int documents = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[++i]));
    else if (std::string(argv[i]) == "--docs") documents = std::max(1, std::atoi(argv[++i]));
  }
  qm::common_set_desktop_profile(true);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  std::string dir = (fs::temp_directory_path() / "qm-desktop-search-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  dir += "/";
  const std::string dist = std::string(QM_DIST_DIR) + "/";
  for (const char* name : {"searcher", "marker", "big5.dat", "big5.ref", "desktop_hits.htm",
                           "quillmere.rcc", "vesprin.htm"})
    fs::create_symlink(dist + name, dir + name);
  {
    fs::create_directories(dir + "db");
    qm::IndexWriterOptions options;
    options.sync = false;
    qm::IndexWriter writer(dir + "db/", options);
    for (int i = 0; i < documents; ++i) {
      qm::IndexDocument d;
      d.path = "note" + std::to_string(i) + ".txt";
      d.date = 20010101;
      d.paragraphs.push_back({1, "Note " + std::to_string(i)});
      d.paragraphs.push_back({0, "A cup of tea, number " + std::to_string(i) + "."});
      if (!writer.add_document(d)) return std::fprintf(stderr, "%s\n", writer.error().c_str()), 1;
    }
    if (!writer.finish()) return std::fprintf(stderr, "%s\n", writer.error().c_str()), 1;
  }
  write(dir + "vesprin.ini",
        "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
        "TmplNextQuery=desktop_hits.htm\nResultCount=100\n[INDEX]\n1=1\n"
        "[DB-1]\nDescription=Notes\nWorkDir=" + dir + "db/\nHtmlDir=" + dir + "docs/\n");
  qm::folder_dat_write(dir + "Folder.dat", {{true, 3, 0, -1, "Databases"}, {false, 3, 1, 1, "Notes"}});

  // The searcher alone, run and read as the desktop does it.
  qm::SearchRequestInput request;
  request.database_ids = {1};
  request.rows_per_page = 100;
  request.text = "tea";
  const std::string query = qm::BuildSearchQuery(request).value_or("");
  std::vector<double> searcher_ms;
  size_t searcher_rows = 0;
  for (int r = 0; r < runs; ++r) {
    qm::HitLineParser parser;
    qm::PageRun run;
    const auto start = std::chrono::steady_clock::now();
    if (!run.start(dir, "searcher", query, [&](std::string_view p) { return parser.feed(p); }, 60000))
      return std::fprintf(stderr, "%s\n", run.error().c_str()), 1;
    run.run_to_end(20, nullptr);
    parser.finish();
    searcher_ms.push_back(elapsed_ms(start));
    searcher_rows = parser.rows().size();
  }

  // The main window's whole search.
  QuietSink sink;
  qm::message_set_sink(&sink);
  qm::desktop_load_resources(dir, "en");
  auto form = qm::desktop_create_main_window(dir);
  if (!form) return 1;
  form->show();
  QApplication::processEvents();
  form->cmbSrchHistory->setEditText(QStringLiteral("tea"));
  std::vector<double> desktop_ms;
  double longest_stall = 0;
  for (int r = 0; r < runs; ++r) {
    QElapsedTimer since_tick;
    double stall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      stall = std::max(stall, double(since_tick.nsecsElapsed()) / 1e6);
      since_tick.restart();
    });
    ticker.start(2);
    QApplication::processEvents();
    since_tick.start();
    const auto start = std::chrono::steady_clock::now();
    form->btnSearchClick();
    desktop_ms.push_back(elapsed_ms(start));
    stall = std::max(stall, double(since_tick.nsecsElapsed()) / 1e6);
    longest_stall = std::max(longest_stall, stall);
  }

  const double s = median(searcher_ms), d = median(desktop_ms);
  std::printf("documents                       %d\n", documents);
  std::printf("searcher alone (median, ms)     %.1f  (%zu rows)\n", s, searcher_rows);
  std::printf("desktop search (median, ms)     %.1f\n", d);
  std::printf("added by the desktop (ms)       %.1f\n", d - s);
  std::printf("longest window stall (ms)       %.1f\n", longest_stall);
  std::printf("rows shown / total              %d / %s\n", form->hits()->rowCount(),
              form->statusPanels[1]->text().toUtf8().constData());
  form->close();
  form.reset();
  qm::message_set_sink(nullptr);
  fs::remove_all(dir);
  return 0;
}
