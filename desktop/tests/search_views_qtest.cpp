// The main window's search and hit views with the real searcher and marker over fixture
// databases (documents, mail with side files, 250 hits for paging), offscreen: rows,
// status panel, dates, history, sorting, the brief and full views and their page files,
// mail columns and header, the recorded opener, the missing file, paging, the refusals,
// and the waiting window.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeView>
#include <QtTest>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/wait_msg_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/preview_pane.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "index/index_writer.h"
#include "mail/side_files_format.h"
#include "platform/shell_open.h"
#include "testsupport/test_files.h"

using namespace qm;
namespace fs = std::filesystem;
namespace ms = qm::mail_side;

namespace {

IndexDocument document(std::string path, std::vector<std::string> paragraphs) {
  IndexDocument d;
  d.path = std::move(path);
  d.date = 20010305;
  for (size_t i = 0; i < paragraphs.size(); ++i)
    d.paragraphs.push_back({static_cast<uint16_t>(i == 0 ? 1 : 0), std::move(paragraphs[i])});
  return d;
}

void write_database(const std::string& dir, const std::vector<IndexDocument>& documents) {
  fs::create_directories(dir);
  IndexWriterOptions options;
  options.sync = false;
  IndexWriter writer(dir, options);
  for (const IndexDocument& d : documents) QVERIFY(writer.add_document(d));
  QVERIFY(writer.finish());
}

void make_script(const std::string& path, const std::string& body) {
  test::write_file(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}

// Program directory: the built programs and tables linked from dist; database 1 "Docs"
// (four documents, gone.txt missing on disk), 2 "Mail" (two messages, the first with an
// attachment), 3 "Many" (250 documents). Folder.dat: Docs checked, the others not.
struct SearchDir {
  test::TempDir dir{"qm-search-"};
  SearchDir() {
    test::program_dir_from_dist(dir.path(), {"searcher", "marker", "big5.dat", "big5.ref", "desktop_hits.htm"});
    const std::string docs = dir.sub("docs");
    test::write_file(docs + "green.txt", "green");
    test::write_file(docs + "black.txt", "black");
    test::write_file(docs + "page.htm", "<p>page</p>");
    test::write_file(docs + "report.pgx", "pgx");
    test::write_file(docs + "notes (1).txt", "notes");
    write_database(dir.sub("db/docs"),
                   {document("green.txt", {"Green tea", "Green tea is picked in spring & steamed."}),
                    document("black.txt", {"Black tea", "Black tea, tea and more tea for tea lovers."}),
                    document("page.htm", {"Tea page", "A page about tea."}),
                    document("gone.txt", {"Gone", "This tea file is gone."}),
                    // A page document's hit names its page behind the path.
                    document("report.pgx ?n=12", {"Report", "Page twelve holds the tea."}),
                    document("notes (1).txt", {"Notes", "Notes on tea."})});
    write_database(dir.sub("db/mail"), {document("Tea party", {"Tea party", "Come for tea."}),
                                        document("Re: tea", {"Re: tea", "More tea, please."})});
    const std::string mw = dir.path() + "db/mail/";
    test::write_file(mw + "MailProperty.db",
                     ms::encode(ms::MailPropertyRecord{20010203, "Tea party", "\"Ann\" <ann@x>"}) +
                         ms::encode(ms::MailPropertyRecord{20010204, "Re: tea", " Bob <bob@y>"}));
    test::write_file(mw + "AttachIdx.db", ms::encode(ms::AttachIndexRecord{1, 0}) +
                                              ms::encode(ms::AttachIndexRecord{0, 266}));
    test::write_file(mw + "AttachInfo.db", ms::encode(ms::AttachInfoRecord{1, 9, "menu & list.txt"}));
    std::vector<IndexDocument> many;
    for (int i = 0; i < 250; ++i)
      many.push_back(document("m" + std::to_string(i) + ".txt", {"Note " + std::to_string(i), "tea"}));
    write_database(dir.sub("db/many"), many);
    write_ini(100);
    folder_dat_write(dir / "Folder.dat", {{true, 4, 0, -1, "Databases"},
                                          {false, 3, 1, 1, "Docs"},
                                          {false, 4, 1, 2, "Mail"},
                                          {false, 4, 1, 3, "Many"}});
  }
  void write_ini(int page_size, const std::string& extra = "") {
    const std::string root = dir.path();
    test::write_file(dir / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\nResultCount=" + std::to_string(page_size) + "\n" +
                     extra + "[INDEX]\n1=1\n2=1\n3=1\n"
                     "[DB-1]\nDescription=Docs\nWorkDir=" + root + "db/docs/\nHtmlDir=" + root + "docs/\n"
                     "[DB-2]\nDescription=Mail\nWorkDir=" + root + "db/mail/\nHtmlDir=" + root +
                     "db/mail/\nMail=1\nAttach=1\n"
                     "[DB-3]\nDescription=Many\nWorkDir=" + root + "db/many/\nHtmlDir=" + root + "many/\n");
  }
  std::string path() const { return dir.path(); }
};

QString T(int id) { return QString::fromStdString(load_text(id)); }

int row_of(TMainForm& form, const char* name) {
  for (int r = 0; r < form.hits()->rowCount(); ++r)
    if (form.hits()->text(r, 1) == QLatin1String(name)) return r;
  return -1;
}

void select(TMainForm& form, int row) {
  form.ListView1->selectionModel()->select(
      form.hits()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void check_only(TMainForm& form, std::initializer_list<int> ids) {
  for (int id = 1; id <= 3; ++id)
    form.tvDB->model().find_database(id)->state =
        std::find(ids.begin(), ids.end(), id) != ids.end() ? kStateChecked : kStateUnchecked;
}

// The smallest and largest hit number of the list, "min-max".
std::string caption_range(TMainForm& form) {
  long long lo = 1LL << 40, hi = -1;
  for (int r = 0; r < form.hits()->rowCount(); ++r) {
    const long long n = string_leading_number(form.hits()->row(r).caption);
    lo = std::min(lo, n);
    hi = std::max(hi, n);
  }
  return std::to_string(lo) + "-" + std::to_string(hi);
}

}  // namespace

class SearchViewsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SearchDir> dir_;
  std::unique_ptr<TMainForm> form_;
  ScriptedMessageSink sink_;

  void search(const char* text) {
    form_->cmbSrchHistory->setEditText(QString::fromUtf8(text));
    form_->btnSearchClick();
  }

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() {
    dir_ = std::make_unique<SearchDir>();
    form_ = test::open_main_window(dir_->path(), sink_);
    QVERIFY(form_);
  }
  void cleanup() {
    test::check_sink_done(sink_);
    test::close_main_window(form_);
    dir_.reset();
  }

  // A document's name is shown as the file system holds it: UTF-8 names through the
  // file-name codec, a Big5 name from the old system as Big5, never as replacement marks;
  // a mail's subject is Big5 text.
  void hitNamesAsTheFileSystemHoldsThem() {
    const struct {
      const char* name;
      bool mail;
      const char* shown;
    } cases[] = {
        {"/d/\xE9\x83\xB5\xE4\xBB\xB6.txt", false, "/d/郵件.txt"},
        {"/d/jos\xC3\xA9.txt", false, "/d/josé.txt"},
        {"/d/\xB6\x6C\xA5\xF3.txt", false, "/d/郵件.txt"},
        {"/d/\xB3\x5C.pgx(12)", false, "/d/許.pgx(12)"},
        {"\xB6\x6C\xA5\xF3", true, "郵件"},
    };
    std::vector<HitRow> rows;
    for (const auto& c : cases) {
      HitRow r;
      r.sub[kSubName] = c.name;
      r.mail = c.mail;
      rows.push_back(r);
    }
    HitListModel model;
    model.set_rows(rows);
    for (int i = 0; i < int(std::size(cases)); ++i) QCOMPARE(model.text(i, 1), QString::fromUtf8(cases[i].shown));
  }

  void rowsDatesHistoryAndSorting() {
    search("tea");
    QCOMPARE(form_->hits()->rowCount(), 6);
    QCOMPARE(form_->statusPanels[1]->text(), QStringLiteral("6"));
    QVERIFY(row_of(*form_, "report.pgx(12)") >= 0);
    QCOMPARE(form_->hits()->columnCount(), 5);
    // Most occurrences first; mD and mSortTimes checked.
    QCOMPARE(form_->hits()->text(0, 1), QStringLiteral("black.txt"));
    QVERIFY(form_->mD->isChecked() && form_->mSortTimes->isChecked() && !form_->mA->isChecked());
    const int green = row_of(*form_, "green.txt");
    QVERIFY(green >= 0);
    QCOMPARE(form_->hits()->text(green, 3), QStringLiteral("Green tea"));
    QCOMPARE(form_->hits()->text(green, 4),
             QString::fromStdString(DatabaseCatalog::FileTimeText(dir_->path() + "docs/green.txt")));
    QCOMPARE(form_->cmbSrchHistory->itemText(0), QStringLiteral("tea"));
    QVERIFY(form_->btnSearch->isEnabled());

    // The title column twice: descending, then ascending; rows keep their briefs.
    const std::string brief = form_->hits()->row(green).sub[kSubBrief];
    form_->ListView1ColumnClick(3);
    QCOMPARE(form_->hits()->text(0, 3), QStringLiteral("Tea page"));
    form_->ListView1ColumnClick(3);
    QCOMPARE(form_->hits()->text(0, 3), QStringLiteral("Black tea"));
    QCOMPARE(form_->hits()->row(row_of(*form_, "green.txt")).sub[kSubBrief], brief);
    // mD while mSortTitle is checked: by title, descending.
    form_->mD->trigger();
    QCOMPARE(form_->hits()->text(0, 3), QStringLiteral("Tea page"));
    QVERIFY(form_->mSortTitle->isChecked());

    // The brief view writes the hit's excerpt with the marked word.
    select(*form_, row_of(*form_, "green.txt"));
    const std::string rbrief = test::read_file(dir_->path() + "RBrief.htm");
    QCOMPARE(QString::fromStdString(rbrief), QString::fromStdString(brief));
    QVERIFY(rbrief.find("<FONT COLOR=#FF0000>tea") != std::string::npos ||
            rbrief.find("<FONT COLOR=#FF0000>Tea") != std::string::npos);
    QVERIFY(form_->HTML1->toPlainText().contains(QStringLiteral("picked in spring & steamed")));
    QCOMPARE(form_->statusPanels[3]->text(), QString::fromStdString(dir_->path() + "docs/green.txt"));
  }

  void fullViewRunsMarkerOnceAndKeepsTheBase() {
    search("tea");
    form_->mShowFull->trigger();
    QVERIFY(form_->mFullText->isChecked() && !form_->mShowBrief->isChecked());
    select(*form_, row_of(*form_, "green.txt"));
    QCOMPARE(form_->marker_runs(), 1);
    form_->ShowSelectedRow(false);
    QCOMPARE(form_->marker_runs(), 1);  // the same row again: no new run
    form_->ShowSelectedRow(true);
    QCOMPARE(form_->marker_runs(), 2);
    const std::string full = test::read_file(dir_->path() + "RFull.htm");
    QVERIFY(full.find("<BASE HREF=\"file://" + dir_->path() + "docs/green.txt\">") != std::string::npos);
    QVERIFY(full.find("<FONT COLOR=#FF0000>") != std::string::npos);
    QVERIFY(full.find("Content-Type: text/html") == std::string::npos);
    QCOMPARE(form_->preview()->base().toString(),
             QString::fromStdString("file://" + dir_->path() + "docs/green.txt"));
    QVERIFY2(form_->HTML1->toPlainText().contains(QStringLiteral("picked in spring")),
             (form_->HTML1->toPlainText().toStdString() + "\n----\n" + full).c_str());

    // A marker whose page has a lower-case body gets no base reference.
    fs::remove(dir_->path() + "marker");
    make_script(dir_->path() + "marker",
                "printf 'Content-Type: text/html\\r\\n\\r\\n<html><body>plain %s</body>\\r\\n</html>' \"$QUERY_STRING\"\n");
    select(*form_, row_of(*form_, "black.txt"));
    const std::string plain = test::read_file(dir_->path() + "RFull.htm");
    QVERIFY(plain.find("\n<html><body>plain s=1&") == 0);
    QVERIFY(plain.find("BASE") == std::string::npos);
  }

  void mailColumnsHeaderAndBackToFiles() {
    fs::remove(dir_->path() + "marker");
    make_script(dir_->path() + "marker",
                "printf '<HTML><BODY BGCOLOR=white>\\r\\n%s\\r\\n</BODY>\\r\\n</html>' \"$QUERY_STRING\"\n");
    check_only(*form_, {1, 2});
    search("tea");
    QCOMPARE(form_->hits()->columnCount(), 6);
    QCOMPARE(form_->hits()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
             T(text::kAdvMailSender));
    const int party = row_of(*form_, "Tea party");
    const int re = row_of(*form_, "Re: tea");
    QVERIFY(party >= 0 && re >= 0);
    QCOMPARE(form_->hits()->text(party, 5), QStringLiteral("Ann"));
    QCOMPARE(form_->hits()->text(re, 5), QStringLiteral("Bob"));
    QCOMPARE(form_->hits()->row(party).image, 2);
    QCOMPARE(form_->hits()->row(re).image, -1);
    QCOMPARE(form_->hits()->text(party, 4), QStringLiteral("2001/02/03"));
    QVERIFY(!form_->hits()->data(form_->hits()->index(party, 0), Qt::DecorationRole).isNull());

    form_->mShowFull->trigger();
    select(*form_, party);
    const std::string full = test::read_file(dir_->path() + "RFull.htm");
    QVERIFY(full.find("<TABLE BGCOLOR=#DFE7FF WIDTH=90%>") != std::string::npos);
    QVERIFY(full.find("&quot;Ann&quot; &lt;ann@x&gt;") != std::string::npos);
    QVERIFY(full.find("From:&quot;Ann&quot; &lt;ann@x&gt;<BR>Date:2001/02/03<BR>Subject:Tea party<BR>"
                      "Attachments:<A HREF=") != std::string::npos);
    QVERIFY(full.find("file://" + dir_->path() + "db/mail/Attach/1~menu%20%26%20list.txt") !=
            std::string::npos);
    QVERIFY(full.find(">menu &amp; list.txt</A>") != std::string::npos);
    QVERIFY(full.find("&k=0,0") != std::string::npos);  // first attachment record starts at 1
    select(*form_, re);
    QVERIFY(test::read_file(dir_->path() + "RFull.htm").find("&k=2\r") == std::string::npos);
    QVERIFY(test::read_file(dir_->path() + "RFull.htm").find("&k=2") != std::string::npos);

    // A mail page whose body tag is in lower case gets neither the header nor the base.
    fs::remove(dir_->path() + "marker");
    make_script(dir_->path() + "marker", "printf '<html><body>\\r\\nmail text\\r\\n</html>'\n");
    select(*form_, party);
    QCOMPARE(QString::fromStdString(test::read_file(dir_->path() + "RFull.htm")),
             QStringLiteral("<html><body>\nmail text\n</html>"));

    // The sender column sorts; then a search of files only has five columns again.
    form_->mSender->trigger();
    QVERIFY(form_->mSender->isChecked());
    check_only(*form_, {1});
    search("tea");
    QCOMPARE(form_->hits()->columnCount(), 5);
  }

  void openerMissingFileAndFailingOpener() {
    const std::string log = dir_->path() + "opened";
    make_script(dir_->path() + "opener", "echo \"$1\" >> " + log + "\n");
    ShellOpener shell(dir_->path() + "opener", 5000);
    form_->set_shell_opener(&shell);
    search("tea");
    select(*form_, row_of(*form_, "green.txt"));
    form_->OpenDocument();
    select(*form_, row_of(*form_, "page.htm"));
    form_->OpenDocument();
    select(*form_, row_of(*form_, "notes (1).txt"));
    form_->OpenDocument();
    QCOMPARE(QString::fromStdString(test::read_file(log)),
             QString::fromStdString(dir_->path() + "docs/green.txt\n" + dir_->path() + "RFull.htm\n" +
                                    dir_->path() + "docs/notes (1).txt\n"));
    QVERIFY(test::read_file(dir_->path() + "RFull.htm").find("Tea page") != std::string::npos);

    // A missing file: 9025 and the start page.
    sink_.expect(load_text(text::kMsgFileGone), load_text(text::kCaptionError), kStyleStop, kAnswerOk);
    select(*form_, row_of(*form_, "gone.txt"));
    form_->OpenDocument();
    QCOMPARE(sink_.pending(), size_t(0));
    QVERIFY(form_->HTML1->toPlainText().contains(QString::fromUtf8("全文檢索")) ||
            form_->preview()->shown_file() == dir_->path() + "vesprin.htm");
    QVERIFY(!form_->ListView1->dragEnabled());

    // A failing opener asks 9019; Cancel opens nothing more.
    ShellOpener failing("/bin/false", 5000);
    form_->set_shell_opener(&failing);
    sink_.expect(load_text(text::kAskOpenAsText), load_text(text::kCaptionQuestion),
                 kStyleQuestionOkCancel, kAnswerCancel);
    select(*form_, row_of(*form_, "black.txt"));
    form_->OpenDocument();
    QVERIFY(form_->ListView1->dragEnabled());
  }

  void pageDocumentsOpenAtTheirPage() {
    const std::string log = dir_->path() + "opened";
    make_script(dir_->path() + "opener", "echo \"$1\" >> " + log + "\n");
    make_script(dir_->path() + "viewer", "echo \"$1|$2\" >> " + log + "\n");
    ShellOpener shell(dir_->path() + "opener", 5000);
    form_->set_shell_opener(&shell);
    search("tea");
    select(*form_, row_of(*form_, "report.pgx(12)"));
    form_->OpenDocument();  // no viewer set: the opener gets the file
    dir_->write_ini(100, "PageViewer=" + dir_->path() + "viewer\n");
    form_->OpenDocument();
    form_->OpenPageDocument(dir_->path() + "docs/report.pgx");  // no page: page 1
    const std::string doc = dir_->path() + "docs/report.pgx";
    QCOMPARE(QString::fromStdString(test::read_file(log)),
             QString::fromStdString(doc + "\n" + doc + "|/12/tea\n" + doc + "|/1/tea\n"));
  }

  void pagingThroughTwoHundredFiftyHits() {
    check_only(*form_, {3});
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    search("tea");
    QCOMPARE(form_->hits()->rowCount(), 100);
    QCOMPARE(form_->statusPanels[1]->text(), QStringLiteral("250"));
    QVERIFY(form_->Panel3->isEnabled());
    QVERIFY(!form_->spdbtnLast->isEnabled());
    form_->ListView1ColumnClick(0);  // hit numbers
    form_->ListView1ColumnClick(0);
    QCOMPARE(form_->hits()->row(0).caption, std::string("1"));
    form_->spdbtnNext->click();
    QCOMPARE(form_->hits()->rowCount(), 100);
    QCOMPARE(form_->page_start(), 101);
    QCOMPARE(caption_range(*form_), std::string("101-200"));
    form_->spdbtnNext->click();
    QCOMPARE(form_->hits()->rowCount(), 50);
    QCOMPARE(form_->page_start(), 201);
    QCOMPARE(caption_range(*form_), std::string("201-250"));
    QVERIFY(!form_->spdbtnNext->isEnabled());
    form_->spdbtnLast->click();
    QCOMPARE(form_->page_start(), 101);
    QCOMPARE(form_->hits()->rowCount(), 100);

    // A page size above the searcher's 100 rows pages by the rows it shows.
    form_->post_options_applied(150);
    QCoreApplication::processEvents();
    search("tea");
    QCOMPARE(form_->page_size(), 150);
    QCOMPARE(form_->hits()->rowCount(), 100);
    form_->spdbtnNext->click();
    QCOMPARE(form_->page_start(), 101);
    QCOMPARE(caption_range(*form_), std::string("101-200"));
    form_->close();
  }

  void refusalsAndEmptyResults() {
    // No usable keyword: the searcher says so, the list stays empty, 9015.
    sink_.expect(load_text(text::kMsgNoHits), load_text(text::kCaptionInformation),
                 kStyleInformation, kAnswerOk);
    search("");
    QCOMPARE(form_->hits()->rowCount(), 0);
    QCOMPARE(sink_.pending(), size_t(0));
    sink_.expect(load_text(text::kMsgNoHits), load_text(text::kCaptionInformation),
                 kStyleInformation, kAnswerOk);
    search("coffee");
    QCOMPARE(sink_.pending(), size_t(0));
    // A text too long for the searcher is refused before any run, never cut.
    search("tea");
    QCOMPARE(form_->hits()->rowCount(), 6);
    sink_.expect(load_text(text::kMsgRequestTooLong), load_text(text::kCaptionError), kStyleStop,
                 kAnswerOk);
    search(std::string(1100, 'a').c_str());
    QCOMPARE(sink_.pending(), size_t(0));
    QCOMPARE(form_->hits()->rowCount(), 6);  // the list keeps what it showed
    QVERIFY(form_->btnSearch->isEnabled());
  }

  void previewLinksAndTheWindowDuringASearch() {
    // Links: a local page opens in the pane, anything else goes to the opener.
    const std::string log = dir_->path() + "opened";
    make_script(dir_->path() + "opener", "echo \"$1\" >> " + log + "\n");
    ShellOpener shell(dir_->path() + "opener", 5000);
    form_->set_shell_opener(&shell);
    test::write_file(dir_->path() + "docs/next.htm", "<p>the next page</p>");
    test::write_file(dir_->path() + "docs/list.htm",
                     "<p><a href=\"next.htm\">next</a> <a href=\"green.txt\">text</a> "
                     "<a href=\"http://example.org/x\">web</a></p>");
    QVERIFY(form_->preview()->show_file(dir_->path() + "docs/list.htm"));
    form_->preview()->follow(QUrl(QStringLiteral("next.htm")));
    QVERIFY(form_->HTML1->toPlainText().contains(QStringLiteral("the next page")));
    form_->preview()->follow(QUrl(QStringLiteral("green.txt")));
    form_->preview()->follow(QUrl(QStringLiteral("http://example.org/x")));
    QCOMPARE(QString::fromStdString(test::read_file(log)),
             QString::fromStdString(dir_->path() + "docs/green.txt\nhttp://example.org/x\n"));

    // A slow searcher: the window keeps working, and closing it ends the child.
    fs::remove(dir_->path() + "searcher");
    make_script(dir_->path() + "searcher", "echo $$ > " + dir_->path() + "pid\nsleep 30\n");
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QTimer::singleShot(400, form_.get(), [this] { form_->close(); });
    QElapsedTimer clock;
    clock.start();
    search("tea");
    QVERIFY(clock.elapsed() < 15000);  // ended by the close, not the searcher's limit
    QVERIFY(ticks > 5);
    const pid_t pid = static_cast<pid_t>(string_leading_number(test::read_file(dir_->path() + "pid")));
    QVERIFY(pid > 0);
    QVERIFY(kill(pid, 0) != 0);  // stopped and reaped
  }

  void waitWindowDots() {
    TWaitMsgForm wait;
    QVERIFY(wait.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(wait.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(wait.Timer1->interval(), 200);
    wait.show_wait();
    QVERIFY(wait.Timer1->isActive());
    const QString message = T(text::kWaitSearching);
    const int dots[] = {1, 2, 3, 4, 5, 1, 2};
    for (int n : dots) {
      wait.Timer1Timer();
      QCOMPARE(wait.Label1->text(), message + QString(n, QLatin1Char('.')));
    }
    wait.request_close();
    wait.Timer1Timer();
    QVERIFY(!wait.Timer1->isActive());
    QVERIFY(!wait.isVisible());
  }
};

QTEST_MAIN(SearchViewsTest)
#include "search_views_qtest.moc"
