// The main window's advanced search and options with the real searcher (CacheFile 1) over
// fixture databases of known names, dates and sizes, offscreen: the form opened with the
// text before its first operator, the file filters and the mail date filter through the
// window, the refusal without the keyword cache, and the options taken over after Apply
// (stored brief views re-marked with their lengths and document text kept, the selected
// row shown again, the next search marked by the new MarkBeginText).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <ctime>
#include <filesystem>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/options_form.h"
#include "desktop/forms/search_adv_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/indexing/property_file.h"
#include "desktop/indexing/tests/dated_docs.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "index/index_writer.h"
#include "mail/side_files_format.h"
#include "testsupport/test_files.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

// Database 1 "Docs": a.htm (1 KB, 2000-01-05), b.txt (20 KB, 2001-06-01), c.htm (5 KB,
// 2002-03-03), e.htm (12 KB, 2000-02-01); database 2 "Mail": three messages received
// 2001-02-03, 2001-02-04 and 1999-12-31. Both checked in the tree.
struct AdvancedDir {
  test::TempDir dir{"qm-advviews-"};
  bool ok = false;
  AdvancedDir() {
    test::program_dir_from_dist(dir.path(), {"searcher", "big5.dat", "big5.ref", "desktop_hits.htm"});
    const std::string docs = dir.sub("docs");
    const auto index = test::write_dated_docs(docs, {
        {"a.htm", 500, test::local_day(2000, 1, 5), "Green tea leaf SIZE=7 and black tea."},
        {"b.txt", 20000, test::local_day(2001, 6, 1), "black tea with green tea leaf"},
        {"c.htm", 5000, test::local_day(2002, 3, 3), "leaf of the green tea"},
        {"e.htm", 12000, test::local_day(2000, 2, 1), "tea and leaf"},
    });
    const std::string work = dir.path() + "db/docs/", mail = dir.path() + "db/mail/";
    if (!test::write_index(work, index) || !BuildPropertyFile(work, docs)) return;
    if (!test::write_index(mail, {{"Tea party", "Come for tea."}, {"Re: tea", "More tea, please."},
                            {"Old tea", "Tea of last year."}}))
      return;
    namespace ms = mail_side;
    test::write_file(mail + "MailProperty.db",
                     ms::encode(ms::MailPropertyRecord{20010203, "Tea party", "Ann"}) +
                         ms::encode(ms::MailPropertyRecord{20010204, "Re: tea", "Bob"}) +
                         ms::encode(ms::MailPropertyRecord{19991231, "Old tea", "Cy"}));
    if (!BuildMailPropertyFile(mail)) return;
    // Database 3 "Many": m0.htm, m1.txt, m2.htm ... m29.txt, all about tea.
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 30; ++i) many.push_back({"m" + std::to_string(i) + (i % 2 ? ".txt" : ".htm"), "tea"});
    if (!test::write_index(dir.path() + "db/many/", many) || !BuildPropertyFile(dir.path() + "db/many/", docs)) return;
    write_ini("1");
    folder_dat_write(dir / "Folder.dat", {{true, 4, 0, -1, "Databases"},
                                          {false, 3, 1, 1, "Docs"},
                                          {false, 3, 1, 2, "Mail"},
                                          {false, 4, 1, 3, "Many"}});
    ok = true;
  }
  void write_ini(const char* cache) {
    const std::string root = dir.path();
    test::write_file(dir / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\nResultCount=100\nCacheFile=" + std::string(cache) +
                         "\n[INDEX]\n1=1\n2=1\n3=1\n"
                         "[DB-1]\nDescription=Docs\nWorkDir=" + root + "db/docs/\nHtmlDir=" + root + "docs/\n"
                         "[DB-2]\nDescription=Mail\nWorkDir=" + root + "db/mail/\nHtmlDir=" + root +
                         "db/mail/\nMail=1\n"
                         "[DB-3]\nDescription=Many\nWorkDir=" + root + "db/many/\nHtmlDir=" + root + "docs/\n");
  }
  std::string path() const { return dir.path(); }
};

void check_only(TMainForm& form, std::initializer_list<int> ids) {
  for (int id = 1; id <= 3; ++id)
    form.tvDB->model().find_database(id)->state =
        std::find(ids.begin(), ids.end(), id) != ids.end() ? kStateChecked : kStateUnchecked;
}

}  // namespace

class AdvancedViewsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<AdvancedDir> dir_;
  std::unique_ptr<TMainForm> form_;
  ScriptedMessageSink sink_;

  // The names (column 1) the list shows, sorted.
  QStringList names() const {
    QStringList out;
    for (int r = 0; r < form_->hits()->rowCount(); ++r) out << form_->hits()->text(r, 1);
    out.sort();
    return out;
  }

  // The advanced search with the text in the search box; set() fills the form before OK.
  void advanced(const char* text, const std::function<void(TSearchAdvForm&)>& set) {
    form_->cmbSrchHistory->setEditText(QString::fromUtf8(text));
    QTimer::singleShot(0, form_.get(), [this, set] {
      TSearchAdvForm* f = form_->search_adv_form();
      if (!f) return;
      set(*f);
      f->btnOk->click();
    });
    form_->btnSearchAdvClick();
  }

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() {
    dir_ = std::make_unique<AdvancedDir>();
    QVERIFY(dir_->ok);
    form_ = test::open_main_window(dir_->path(), sink_);
    QVERIFY(form_);
    check_only(*form_, {1});
  }
  void cleanup() {
    test::check_sink_done(sink_);
    test::close_main_window(form_);
    dir_.reset();
  }

  void formOpensWithTheFirstKeyword() {
    form_->cmbSrchHistory->setEditText(QStringLiteral("  leaf+black "));
    QTimer::singleShot(0, form_.get(), [this] {
      TSearchAdvForm* f = form_->search_adv_form();
      QVERIFY(f);
      QCOMPARE(f->cmbSrhAdv->currentText(), QStringLiteral("leaf"));
      QVERIFY(f->btnOk->isEnabled());
      f->btnCancel->click();
    });
    form_->btnSearchAdvClick();
    QCOMPARE(form_->cmbSrchHistory->currentText(), QStringLiteral("leaf+black"));
    QCOMPARE(form_->pre_runs(), 0);
    QVERIFY(!form_->advanced_pending());
  }

  void fileFiltersThroughTheWindow() {
    struct Case {
      const char* name;
      std::function<void(TSearchAdvForm&)> set;
      QStringList shown;
    } cases[] = {
        {"name", [](TSearchAdvForm& f) {
           f.chkFilterName->setChecked(true);
           f.cmbFilterName->setEditText(QStringLiteral("*.htm"));
         }, {"a.htm", "c.htm", "e.htm"}},
        {"date", [](TSearchAdvForm& f) {
           f.chkFilterName->setChecked(false);
           f.chkFilterDate->setChecked(true);
           f.editTimeF->setDate(QDate(2000, 1, 1));
           f.editTimeT->setDate(QDate(2000, 12, 31));
         }, {"a.htm", "e.htm"}},
        {"size", [](TSearchAdvForm& f) {
           f.chkFilterDate->setChecked(false);
           f.chkFilterSize->setChecked(true);
           f.cmbSize->setValue(5);
           f.cmbKB->setCurrentIndex(1);  // at most 5 KB
         }, {"a.htm", "c.htm"}},
        {"all three", [](TSearchAdvForm& f) {
           f.chkFilterName->setChecked(true);
           f.cmbFilterName->setEditText(QStringLiteral("*.htm"));
           f.chkFilterDate->setChecked(true);
           f.editTimeF->setDate(QDate(2000, 1, 1));
           f.editTimeT->setDate(QDate(2000, 12, 31));
           f.chkFilterSize->setChecked(true);
           f.cmbSize->setValue(10);
           f.cmbKB->setCurrentIndex(0);  // at least 10 KB
         }, {"e.htm"}},
    };
    int runs = 0;
    for (const Case& c : cases) {
      advanced("tea", c.set);
      QVERIFY2(names() == c.shown, (c.name + (": " + names().join(',').toStdString())).c_str());
      QCOMPARE(form_->pre_runs(), ++runs);
      QVERIFY(!form_->advanced_pending());
    }
    // A paragraph "and" in the text keeps its operator for the searcher.
    advanced("tea & leaf", [](TSearchAdvForm& f) {
      f.chkFilterDate->setChecked(false);
      f.chkFilterSize->setChecked(false);
    });
    QCOMPARE(names(), (QStringList{"a.htm", "c.htm", "e.htm"}));
    // The next plain search is not filtered.
    form_->cmbSrchHistory->setEditText(QStringLiteral("tea"));
    form_->btnSearchClick();
    QCOMPARE(names(), (QStringList{"a.htm", "b.txt", "c.htm", "e.htm"}));
    QCOMPARE(form_->pre_runs(), runs + 1);
  }

  void composedTextAndSwitches() {
    advanced("leaf", [](TSearchAdvForm& f) {
      f.cmbStr1->setEditText(QStringLiteral("black"));
      f.cmbOperator1->setCurrentIndex(2);  // "-"
      f.chkH->setChecked(true);
    });
    QCOMPARE(form_->cmbSrchHistory->currentText(), QStringLiteral("leaf-black"));
    QVERIFY(form_->chkH->isChecked() && form_->mHomo->isChecked());
    QCOMPARE(names(), (QStringList{"c.htm", "e.htm"}));
  }

  void mailDateFilter() {
    check_only(*form_, {1, 2});
    advanced("tea", [](TSearchAdvForm& f) {
      f.chkFilterName->setChecked(true);
      f.cmbFilterName->setEditText(QStringLiteral("b*"));
      f.chkMailDate->setChecked(true);
      f.editMailF->setDate(QDate(2001, 1, 1));
      f.editMailT->setDate(QDate(2001, 12, 31));
    });
    QCOMPARE(names(), (QStringList{"Re: tea", "Tea party", "b.txt"}));
    // The form keeps its own file filter values.
    QVERIFY(form_->search_adv_form()->chkFilterName->isChecked());
    QCOMPARE(form_->search_adv_form()->cmbFilterName->currentText(), QStringLiteral("b*"));
  }

  // The next page of an advanced search is filtered as the first was.
  void pagesOfAnAdvancedSearchAreFiltered() {
    check_only(*form_, {3});
    form_->post_options_applied(10);
    QApplication::processEvents();
    advanced("tea", [](TSearchAdvForm& f) {
      f.chkFilterName->setChecked(true);
      f.cmbFilterName->setEditText(QStringLiteral("*.htm"));
    });
    QCOMPARE(form_->statusPanels[1]->text(), QStringLiteral("15"));
    QCOMPARE(form_->hits()->rowCount(), 10);
    QVERIFY(form_->spdbtnNext->isEnabled());
    form_->spdbtnNext->click();
    QCOMPARE(form_->page_start(), 11);
    QCOMPARE(form_->hits()->rowCount(), 5);
    for (const QString& name : names()) QVERIFY2(name.endsWith(QLatin1String(".htm")), qPrintable(name));
    QCOMPARE(form_->pre_runs(), 2);
  }

  void refusedWithoutTheKeywordCache() {
    dir_->write_ini("0");
    sink_.expect(load_text(text::kMsgFilterNeedsCache), load_text(text::kCaptionError), kStyleStop, kAnswerOk);
    advanced("tea", [](TSearchAdvForm& f) {
      f.chkFilterName->setChecked(true);
      f.cmbFilterName->setEditText(QStringLiteral("*.htm"));
    });
    QCOMPARE(form_->pre_runs(), 0);
    QCOMPARE(form_->hits()->rowCount(), 0);
    QVERIFY(!form_->advanced_pending());
    // Without a filter the advanced search still runs.
    advanced("tea", [](TSearchAdvForm& f) { f.chkFilterName->setChecked(false); });
    QCOMPARE(names(), (QStringList{"a.htm", "b.txt", "c.htm", "e.htm"}));
  }

  void optionsAppliedToTheStoredViews() {
    form_->cmbSrchHistory->setEditText(QStringLiteral("tea"));
    form_->btnSearchClick();
    QCOMPARE(form_->hits()->rowCount(), 4);
    std::vector<std::string> before;
    int with_size = -1;
    for (int r = 0; r < form_->hits()->rowCount(); ++r) {
      before.push_back(form_->hits()->row(r).sub[kSubBrief]);
      QVERIFY(before.back().find("<FONT COLOR=#FF0000>") != std::string::npos);
      if (before.back().find("SIZE=7") != std::string::npos) with_size = r;
    }
    QVERIFY(with_size >= 0);
    form_->ListView1->selectionModel()->select(
        form_->hits()->index(with_size, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    test::write_file(dir_->path() + "RBrief.htm", "stale");

    QTimer::singleShot(0, form_.get(), [this] {
      TOptionsForm* o = form_->options_form();
      QVERIFY(o);
      QTest::mouseClick(o->keyColor, Qt::LeftButton, {}, o->keyColor->CellRect(12).center());
      o->lbSize->setCurrentRow(2);
      o->cspedtRstCnt->setValue(30);
      o->btnApply->click();  // taken over at once
      QCOMPARE(form_->pending_page_size(), 30);
      o->btnCancel->click();
    });
    form_->btnFont->click();
    for (int r = 0; r < form_->hits()->rowCount(); ++r) {
      const std::string& view = form_->hits()->row(r).sub[kSubBrief];
      QCOMPARE(view.size(), before[size_t(r)].size());
      QVERIFY2(view.find("<FONT COLOR=#0000ff>") != std::string::npos, view.c_str());
    }
    // The document's own "SIZE=7" is text, not a mark.
    QVERIFY(form_->hits()->row(with_size).sub[kSubBrief].find("SIZE=7") != std::string::npos);
    // The selected row was shown again: its page written anew.
    QCOMPARE(QString::fromStdString(test::read_file(dir_->path() + "RBrief.htm")),
             QString::fromStdString(form_->hits()->row(with_size).sub[kSubBrief]));

    // The next search is marked by the new MarkBeginText, with the new page size.
    form_->btnSearchClick();
    QCOMPARE(form_->page_size(), 30);
    const std::string view = form_->hits()->row(0).sub[kSubBrief];
    // Only the colour and the size were changed: the mark in force had no background.
    QVERIFY2(view.find("<FONT SIZE=3 COLOR=#0000ff>") != std::string::npos, view.c_str());
  }

  void optionsOkTakesTheWebAddress() {
    QTimer::singleShot(0, form_.get(), [this] {
      TOptionsForm* o = form_->options_form();
      QVERIFY(o);
      o->editURL->setText(QStringLiteral("http://find.example.net/"));
      o->btnOk->click();
    });
    form_->mOptions->trigger();
    QCOMPARE(QString::fromStdString(form_->web_search_address()), QStringLiteral("http://find.example.net/"));
  }
};

QTEST_MAIN(AdvancedViewsTest)
#include "advanced_views_qtest.moc"
