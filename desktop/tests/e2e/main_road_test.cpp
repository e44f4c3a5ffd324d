// The desktop's main road on a fresh installation, under an X server of its own: the
// program runs through quillmere_main() on the xcb platform, with the real window, wizard,
// indexer, searcher and marker; messages go to a scripted sink and the shell to an opener
// that records what it is given. Driven from inside the program's event loop: the first
// showing offers the wizard (Yes), the wizard defines and builds "Samples" over a copy of
// samples/, a Chinese and an English search fill the list as the searcher alone writes the
// hits, the brief and full views show the marked word, opening hits goes to the opener,
// and closing writes the history, the layout and Folder.dat, which a second start reads.
// Screenshots of the whole screen go to <build>/screenshots/desktop/. Every wait polls
// with a deadline.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/folder_tree.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/wait_msg_form.h"
#include "desktop/forms/wizard_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/preview_pane.h"
#include "desktop/search/hit_lines.h"
#include "desktop/search/hit_sort.h"
#include "desktop/search/page_run.h"
#include "desktop/search/search_request.h"
#include "desktop/tests/e2e/e2e_install.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "index/index_format.h"
#include "platform/shell_open.h"
#include "testsupport/xvfb_server.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

constexpr int kBuildLimitMs = 120000;
constexpr int kStepLimitMs = 30000;

// Polls done() while the event loop runs, until it holds or the limit passes.
bool poll(const std::function<bool()>& done, int limit_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit_ms) return false;
    QTest::qWait(20);
  }
  return true;
}

// The keys and values of one section of an INI text, in file order.
std::vector<std::pair<std::string, std::string>> section_of(const std::string& text,
                                                            const std::string& section) {
  std::vector<std::pair<std::string, std::string>> keys;
  bool inside = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inside = line == "[" + section + "]";
    } else if (inside && line.find('=') != std::string::npos) {
      const size_t eq = line.find('=');
      keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
  }
  return keys;
}

std::string big5(const QString& text) {
  std::string out;
  EXPECT_TRUE(qstring_to_big5(text, out));
  return out;
}

// The hits the searcher writes for a request when it runs alone in the installation.
struct AloneRun {
  std::vector<HitRow> rows;
  std::string hit_number;
};

AloneRun run_searcher_alone(const std::string& program_dir, const SearchRequestInput& request) {
  AloneRun result;
  const std::optional<std::string> query = BuildSearchQuery(request);
  EXPECT_TRUE(query.has_value());
  if (!query) return result;
  HitLineParser parser;
  PageRun run;
  EXPECT_TRUE(run.start(program_dir, "searcher", *query,
                        [&](std::string_view piece) { return parser.feed(piece); }, kStepLimitMs))
      << run.error();
  run.run_to_end(20, {});
  parser.finish();
  result.rows = std::move(parser.rows());
  result.hit_number = parser.hit_number();
  return result;
}

// A row as the comparison sees it: the searcher's fields (the date is the desktop's own).
std::string row_key(const HitRow& r) {
  return r.caption + "|" + r.sub[kSubName] + "|" + r.sub[kSubTimes] + "|" + r.sub[kSubTitle] +
         "|" + r.sub[kSubBrief] + "|" + r.sub[kSubMarker] + "|" + std::to_string(r.database_id);
}

std::vector<std::string> row_keys(const std::vector<HitRow>& rows) {
  std::vector<std::string> keys;
  for (const HitRow& r : rows) keys.push_back(row_key(r));
  std::sort(keys.begin(), keys.end());
  return keys;
}

class MainRoad {
 public:
  explicit MainRoad(e2e::Installation& inst)
      : inst_(inst), opener_(inst / "opener", 5000), shots_(e2e::screenshot_dir()) {
    test::write_file(inst / "opener", "#!/bin/sh\necho \"$1\" >> " + (inst / "opened") + "\n");
    chmod((inst / "opener").c_str(), 0755);
  }

  // The first start: the wizard, the build, the searches and views, then Close.
  int first_start() {
    DesktopStartHooks hooks;
    hooks.sink = &sink_;
    hooks.opener = &opener_;
    hooks.on_window = [this](TMainForm& form) {
      form_ = &form;
      sink_.expect(load_text(text::kAskStartWizard), load_text(text::kCaptionQuestion),
                   kStyleQuestionYesNo, kAnswerYes);
      QTimer::singleShot(0, [this] { drive_wizard(); });
    };
    return start(hooks);
  }

  // The second start: the tree read back, no wizard offered.
  int second_start() {
    ScriptedMessageSink quiet;
    DesktopStartHooks hooks;
    hooks.sink = &quiet;
    hooks.opener = &opener_;
    hooks.on_window = [this](TMainForm& form) {
      form_ = &form;
      window_waits_ = 0;
      QTimer::singleShot(0, [this] {
        when_on_screen([this] {
          const TreeNode* node = form_->tvDB->model().find_database(1);
          EXPECT_TRUE(node && node->text == "Samples" && node->state == kStateChecked);
          shoot("second-start");
        });
      });
    };
    const int code = start(hooks);
    EXPECT_EQ(quiet.failures(), "");
    return code;
  }

  const ScriptedMessageSink& sink() const { return sink_; }
  const std::vector<std::string>& shots() const { return shot_paths_; }
  bool road_done() const { return road_done_; }
  int documents_counted() const { return documents_counted_; }

 private:
  int start(const DesktopStartHooks& hooks) {
    std::string argv0 = inst_ / "quillmere";
    char* argv[] = {argv0.data(), nullptr};
    return quillmere_main(1, argv, &hooks);
  }

  // The whole screen, dialogs included, as the next numbered PNG.
  void shoot(const std::string& name) {
    // The waiting window closes at its next tick after a search or a marker run.
    EXPECT_TRUE(poll([this] { return !form_->wait_window() || !form_->wait_window()->isVisible(); },
                     kStepLimitMs));
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) w->repaint();
    QApplication::processEvents();
    std::string number = std::to_string(++shot_count_);
    if (number.size() < 2) number.insert(0, "0");
    const std::string path = shots_ + number + "-" + name + ".png";
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(path), "PNG")) << path;
    shot_paths_.push_back(path);
  }

  // The wizard is modal; it is driven from its own event loop once it shows.
  void drive_wizard() {
    auto* w = qobject_cast<TWizardForm*>(QApplication::activeModalWidget());
    if (!w) {
      if (++wizard_waits_ * 10 > kStepLimitMs) {
        ADD_FAILURE() << "the wizard did not show";
        form_->close();
        return;
      }
      return QTimer::singleShot(10, [this] { drive_wizard(); });
    }
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    w->radioDoc->click();
    shoot("wizard-start");
    w->btnNext->click();
    w->editHtmDir->setText(QString::fromStdString(inst_.docs()));
    w->btnNext->click();
    for (QCheckBox* b : {w->chkTxt, w->chkHtm, w->chkPgx, w->chkWord, w->chkExcel, w->chkPower,
                         w->chkPdf, w->chkRTF})
      b->setChecked(true);
    w->btnNext->click();
    w->editDBName->setText(QStringLiteral("Samples"));
    while (w->Step() < 6) {
      const int before = w->Step();
      w->btnNext->click();
      if (w->Step() == before) {
        ADD_FAILURE() << "the wizard stays at step " << before;
        w->btnCancel->click();
        return;
      }
    }
    EXPECT_TRUE(poll([w] { return w->btnFinish->isEnabled(); }, kBuildLimitMs))
        << "the build did not finish";
    documents_counted_ = w->lbl3->text().toInt();
    shoot("wizard-progress");
    w->btnFinish->click();
    // The rest runs once the wizard's own loop and the window's first showing have ended
    // and the window is on the screen.
    QTimer::singleShot(0, [this] { when_on_screen([this] { drive_main_window(); }); });
  }

  // Runs then() once the main window is on the screen and no dialog is open, then closes
  // the window. Polls by timers, without nesting an event loop: while the window's first
  // showing still runs, the window cannot come onto the screen.
  void when_on_screen(std::function<void()> then) {
    QWindow* window = form_->windowHandle();
    if (!window || !window->isExposed() || QApplication::activeModalWidget()) {
      if (++window_waits_ * 10 > kStepLimitMs) {
        ADD_FAILURE() << "the main window did not show";
        form_->close();
        return;
      }
      QTimer::singleShot(10, [this, then] { when_on_screen(then); });
      return;
    }
    then();
    form_->close();
  }

  void drive_main_window() {
    TMainForm& f = *form_;

    // The configuration, the index files, the tree, no builder left.
    const std::string ini = test::read_file(inst_ / "vesprin.ini");
    const auto index = section_of(ini, "INDEX");
    ASSERT_EQ(index.size(), 1u) << ini;
    EXPECT_EQ(index[0], (std::pair<std::string, std::string>("1", "1")));
    const auto db = section_of(ini, "DB-1");
    std::vector<std::string> keys;
    for (const auto& kv : db) keys.push_back(kv.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"Description", "HtmlDir", "WorkDir", "LocalFileType"}))
        << ini;
    ASSERT_EQ(db.size(), 4u);
    EXPECT_EQ(db[0].second, "Samples");
    EXPECT_EQ(db[1].second + (db[1].second.back() == '/' ? "" : "/"), inst_.docs());
    EXPECT_EQ(db[3].second, "txt,htm,html,pgx,doc,xls,ppt,pdf,rtf");
    const std::string work = db[2].second;
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.back(), '/');
    EXPECT_EQ(work.rfind(inst_.path(), 0), 0u) << work;
    using namespace index_format;
    // The files every set of Chinese and English documents has (clist.db only when built for phrase search).
    for (const char* file : {kCrossFile, kPathFile, kFulltextFile, kCharHashFile, kCharIndexFile,
                             kWordHashFile, kWordSignFile, kWordIndexFile, kPrefixFile})
      EXPECT_TRUE(fs::exists(work + file)) << work << file;
    EXPECT_EQ(documents_counted_, inst_.document_count());
    std::error_code ec;
    EXPECT_EQ(fs::file_size(work + kPropertyFile, ec), uintmax_t(inst_.document_count()) * 232u);
    const TreeNode* node = f.tvDB->model().find_database(1);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->text, "Samples");
    EXPECT_EQ(node->state, int(kStateChecked));
    EXPECT_TRUE(poll([] { return !e2e::has_child(getpid(), "indexer"); }, kStepLimitMs));

    // 茶 (tea) typed, and Enter.
    search(QString::fromUtf8("\xE8\x8C\xB6"));
    shoot("hits-chinese");

    // The first row in the brief view, then the full view.
    if (!f.mShowBrief->isChecked()) f.mShowBrief->trigger();
    QAbstractItemView* list = f.ListView1;
    const QModelIndex first = list->model()->index(0, 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(first).center());
    const std::string brief_file = inst_ / "RBrief.htm";
    EXPECT_TRUE(poll([&] { return f.preview()->shown_file() == brief_file; }, kStepLimitMs));
    const std::string tea_big5 = big5(QString::fromUtf8("\xE8\x8C\xB6"));
    EXPECT_NE(test::read_file(brief_file).find("<FONT COLOR=#FF0000>" + tea_big5), std::string::npos)
        << test::read_file(brief_file);
    EXPECT_TRUE(f.HTML1->toPlainText().contains(QString::fromUtf8("\xE8\x8C\xB6")));
    const qsizetype brief_length = f.HTML1->toPlainText().size();
    shoot("brief-view");

    const int runs = f.marker_runs();
    f.mShowFull->trigger();
    const std::string full_file = inst_ / "RFull.htm";
    EXPECT_TRUE(poll([&] { return f.preview()->shown_file() == full_file; }, kStepLimitMs));
    EXPECT_EQ(f.marker_runs(), runs + 1);
    const std::string full = test::read_file(full_file);
    const std::string shown = f.row_document_path(f.selected_row());
    EXPECT_NE(full.find("<BASE HREF=\"file://" + inst_.docs()), std::string::npos) << full.substr(0, 400);
    EXPECT_NE(full.find("<FONT COLOR=#FF0000>" + tea_big5), std::string::npos);
    // The whole document: its last line of text is in the pane.
    const std::string document = test::read_file(inst_.docs() + fs::path(shown).filename().string());
    if (shown.size() > 4 && shown.substr(shown.size() - 4) == ".txt") {
      std::string last = document.substr(0, document.find_last_not_of("\r\n") + 1);
      last = last.substr(last.find_last_of('\n') + 1);
      EXPECT_TRUE(f.HTML1->toPlainText().contains(big5_to_qstring(last).trimmed()))
          << "not in the full view: " << last;
    }
    EXPECT_GT(f.HTML1->toPlainText().size(), brief_length);
    shoot("full-view");

    // "tea", sorted by title; a text row and a page row opened.
    f.mShowBrief->trigger();
    search(QStringLiteral("tea"));
    shoot("hits-english");
    f.mSortTitle->trigger();
    std::vector<std::string> titles;
    for (const HitRow& r : f.hits()->rows()) titles.push_back(r.sub[kSubTitle]);
    EXPECT_TRUE(std::is_sorted(titles.begin(), titles.end()) ||
                std::is_sorted(titles.rbegin(), titles.rend()));
    shoot("hits-by-title");
    // A text document goes to the opener itself; a page, marked, as RFull.htm.
    const std::string text_row = open_row(".txt");
    const std::string page_row = open_row(".htm");
    EXPECT_EQ(test::read_file(inst_ / "opened"),
              inst_.docs() + text_row + "\n" + full_file + "\n");
    EXPECT_NE(test::read_file(full_file).find("<BASE HREF=\"file://" + inst_.docs() + page_row),
              std::string::npos);
    road_done_ = true;
  }

  // Types the text into the search box, presses Enter, and compares the rows with the
  // searcher's own.
  void search(const QString& text) {
    TMainForm& f = *form_;
    QLineEdit* edit = f.cmbSrchHistory->lineEdit();
    edit->setFocus();
    edit->clear();
    // QTest's key clicks take Latin-1 characters only; others go as key events with text.
    for (const QChar c : text) {
      if (c.unicode() < 0x80)
        QTest::keyClick(edit, char(c.unicode()));
      else
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    EXPECT_EQ(edit->text(), text);
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(poll([&f] { return !f.search_busy() && f.hits()->rowCount() > 0; }, kStepLimitMs))
        << "no rows for " << text.toStdString();
    SearchRequestInput request;
    request.database_ids = {1};
    request.homophone = f.chkH->isChecked();
    request.fault = f.chkF->isChecked();
    request.lexical = f.chkL->isChecked();
    request.rows_per_page = f.page_size();
    request.text = big5(text);
    const AloneRun alone = run_searcher_alone(inst_.path(), request);
    EXPECT_EQ(row_keys(f.hits()->rows()), row_keys(alone.rows));
    EXPECT_EQ(f.statusPanels[1]->text(), big5_to_qstring(alone.hit_number));
    EXPECT_FALSE(alone.hit_number.empty());
    ASSERT_FALSE(f.history_items().empty());
    EXPECT_EQ(f.history_items()[0], request.text);
  }

  // Double-clicks the first row whose document ends so and waits for the opener; the
  // row's document name.
  std::string open_row(const std::string& ending) {
    TMainForm& f = *form_;
    const auto& rows = f.hits()->rows();
    int row = -1;
    for (size_t i = 0; i < rows.size() && row < 0; ++i) {
      const std::string& name = rows[i].sub[kSubName];
      if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
        row = int(i);
    }
    if (row < 0) {
      ADD_FAILURE() << "no " << ending << " row";
      return {};
    }
    const std::string log = inst_ / "opened";
    const size_t before = test::read_file(log).size();
    QAbstractItemView* list = f.ListView1;
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(poll([&] { return test::read_file(log).size() > before; }, kStepLimitMs))
        << "nothing opened for " << rows[size_t(row)].sub[kSubName];
    return rows[size_t(row)].sub[kSubName];
  }

  e2e::Installation& inst_;
  ScriptedMessageSink sink_;
  ShellOpener opener_;
  std::string shots_;
  std::vector<std::string> shot_paths_;
  TMainForm* form_ = nullptr;
  int shot_count_ = 0;
  int wizard_waits_ = 0;
  int window_waits_ = 0;
  int documents_counted_ = -1;
  bool road_done_ = false;
};

}  // namespace

TEST(DesktopMainRoad, DefinesBuildsSearchesAndViewsSamples) {
  test::XvfbServer server;
  if (!server.start()) {
    if (!server.installed()) GTEST_SKIP() << server.error();
    FAIL() << server.error();
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  {
    int argc = 1;
    char name[] = "desktop_e2e_main_road";
    char* argv[] = {name, nullptr};
    QGuiApplication fonts(argc, argv);
    const std::string trouble = e2e::chinese_font_trouble();
    ASSERT_EQ(trouble, "") << trouble;
  }

  e2e::Installation inst;
  ASSERT_FALSE(fs::exists(inst / "Folder.dat"));
  MainRoad road(inst);
  EXPECT_EQ(road.first_start(), 0);
  EXPECT_TRUE(road.road_done());
  EXPECT_EQ(road.sink().failures(), "");
  EXPECT_EQ(road.sink().pending(), 0u);

  // What closing wrote.
  const std::string ini = test::read_file(inst / "vesprin.ini");
  const auto history = section_of(ini, "HISTORY");
  ASSERT_GE(history.size(), 2u) << ini;
  EXPECT_EQ(history[0], (std::pair<std::string, std::string>("0", "tea")));
  EXPECT_EQ(history[1].first, "1");
  EXPECT_EQ(history[1].second, "\xAF\xF9");  // 茶
  EXPECT_FALSE(section_of(ini, "SIZE").empty()) << ini;
  EXPECT_TRUE(fs::exists(inst / "Folder.dat"));

  // The second start in Chinese: the window's own texts in Traditional Chinese as well.
  setenv("LC_ALL", "zh_TW.UTF-8", 1);
  EXPECT_EQ(road.second_start(), 0);
  for (const std::string& shot : road.shots()) std::printf("screenshot: %s\n", shot.c_str());
  EXPECT_TRUE(server.stop());
}
