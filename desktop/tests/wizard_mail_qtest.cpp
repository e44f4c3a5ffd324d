// Mail databases built through the index wizard with the real programs, offscreen: the
// indexer, the postbridge gateway and the stand-in mail-store library are linked from
// dist into a scratch program directory, and the main window searches the results with
// the real searcher. Covered: the mail-client kind over the committed fixture store
// (listed without its broken folder, two folders built by the wizard, a third added by
// the add/edit dialog with its four-field DataInputPort), the page's text when there is
// no store, and the mail-client store files (.mbx, .dbx, .toc, .snm) found by their masks
// and built. The searches check the hits' databases, the mail columns with the decoded
// subjects and senders, and the full view's saved attachments.
#include <QCheckBox>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <set>

#include "common/ini.h"
#include "desktop/app.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/mail_form.h"
#include "desktop/forms/rebuild_form.h"
#include "desktop/forms/wizard_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/indexing/command_line.h"
#include "desktop/indexing/property_file.h"
#include "desktop/indexing/schedule.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "platform/process.h"
#include "testsupport/test_files.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

const std::string kStore = std::string(QM_SOURCE_DIR) + "/mail/tests/store";
const std::string kStores = std::string(QM_SOURCE_DIR) + "/mail/tests/stores/";

// A program directory without databases: the programs, the gateway, the mail-store
// library and the tables linked from dist, and a search configuration.
struct ProgramDir {
  test::TempDir dir{"qm-wizard-mail-"};
  ProgramDir() {
    test::program_dir_from_dist(dir.path(), {"indexer", "searcher", "marker", "libpostbridge.so", "libmboxpull.so",
                                             "big5.dat", "big5.ref", "desktop_hits.htm"});
    test::write_file(dir / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\nResultCount=100\n");
  }
  std::string value(const std::string& sec, const std::string& key) const {
    IniTree ini;
    ini.load(dir / "vesprin.ini");
    return ini.get(sec, key).value_or("<none>");
  }
};

// The store folder for the mail-store library for the life of the value.
struct StoreVariable {
  explicit StoreVariable(const std::string& path) { setenv("MBOXPULL_STORE", path.c_str(), 1); }
  ~StoreVariable() { unsetenv("MBOXPULL_STORE"); }
};

// The databases of hits of a search, by id.
using Found = std::set<int>;

}  // namespace

class WizardMailTest : public QObject {
  Q_OBJECT

  ScriptedMessageSink sink_;

  // The wizard's mail road up to the list page with the kind chosen (and the folder
  // searched, for the store-file kinds).
  static void to_list(TWizardForm& f, QRadioButton* kind, const std::string& folder, bool attach) {
    f.radioMail->setChecked(true);
    kind->setChecked(true);
    f.chkAttach->setChecked(attach);
    f.btnNext->click();
    if (!folder.empty()) f.editMailFolder->setEditText(QString::fromStdString(folder));
    f.btnNext->click();
    QTRY_VERIFY(f.btnNext->isEnabled());
  }
  // Selects the rows whose column holds one of the texts, then builds them to Finish.
  static void build_rows(TWizardForm& f, int column, const QStringList& texts, int messages) {
    int chosen = 0;
    for (int i = 0; i < f.lvFind->topLevelItemCount(); ++i)
      if (texts.contains(f.lvFind->topLevelItem(i)->text(column))) {
        f.lvFind->topLevelItem(i)->setSelected(true);
        ++chosen;
      }
    QCOMPARE(chosen, texts.size());
    while (f.Step() < 6) {
      const int before = f.Step();
      f.btnNext->click();
      QVERIFY(f.Step() > before);  // the mail road passes over the index-folder step
    }
    f.schedule().WaitFinished();
    QVERIFY(f.btnFinish->isEnabled());
    // The counters: databases queued and built, and messages read.
    QCOMPARE(f.lbl1->text(), QString::number(texts.size()));
    QCOMPARE(f.lbl2->text(), QString::number(texts.size()));
    QCOMPARE(f.lbl3->text(), QString::number(messages));
    f.btnFinish->click();
  }
  // The main window over the program directory with every database checked; each query
  // gives the ids of the databases of its hits.
  void search(const ProgramDir& pd, const std::vector<std::pair<int, std::string>>& databases,
              const std::vector<std::pair<QString, Found>>& queries,
              const std::function<void(TMainForm&)>& more = {}) {
    std::vector<FolderNodeRecord> nodes{{true, 4, 0, -1, "Databases"}};
    for (const auto& [id, name] : databases) nodes.push_back({false, 4, 1, id, name});
    QVERIFY(folder_dat_write(pd.dir / "Folder.dat", nodes));
    auto form = desktop_create_main_window(pd.dir.path());
    QVERIFY(form);
    for (const auto& [id, name] : databases) {
      TreeNode* node = form->tvDB->model().find_database(id);
      QVERIFY(node);
      node->state = kStateChecked;
    }
    for (const auto& [query, expected] : queries) {
      form->cmbSrchHistory->setEditText(query);
      form->btnSearchClick();
      Found found;
      for (int r = 0; r < form->hits()->rowCount(); ++r) found.insert(form->hits()->row(r).database_id);
      QString ids;
      for (int id : found) ids += QString::number(id) + QLatin1Char(' ');
      QVERIFY2(found == expected, qPrintable(query + QStringLiteral(": ") + ids));
    }
    if (more) more(*form);
    form->close();
  }

 private slots:
  void initTestCase() { QVERIFY(test::load_texts_with_sink(sink_)); }
  void cleanupTestCase() { message_set_sink(nullptr); }
  void cleanup() { test::check_sink_done(sink_); }

  // The mail-client kind over the fixture store: the wizard lists its six readable folders
  // and builds two, the add/edit dialog adds a third that the builder builds from its
  // four-field DataInputPort, and a word of each is found in its own database.
  void storeFoldersBuiltAndSearched() {
    ProgramDir pd;
    StoreVariable store(kStore);
    {
      TWizardForm f(pd.dir.path());
      f.show();
      to_list(f, f.radio9798, "", false);
      QCOMPARE(f.lvFind->topLevelItemCount(), 6);
      for (int i = 0; i < 6; ++i) QVERIFY(!f.lvFind->topLevelItem(i)->text(1).contains(QStringLiteral("broken")));
      build_rows(f, 1, {QStringLiteral(".Work.Projects"), QStringLiteral("%E4%B8%AD%E6%96%87")}, 3 + 1);
    }
    QCOMPARE(pd.value("DB-1", "Description"), std::string("Projects"));
    QCOMPARE(pd.value("DB-2", "Description"), std::string("\xA4\xA4\xA4\xE5"));

    {
      TRebuildForm f(pd.dir.path());
      f.show();
      f.radioMail->click();
      f.cmbMailType->setCurrentIndex(4);
      QStringList listed;  // the folders of the mail-store dialog
      QTimer::singleShot(0, &f, [&] {
        TMailForm* m = f.mailForm();
        for (int i = 0; i < m->lvFind->topLevelItemCount(); ++i) listed << m->lvFind->topLevelItem(i)->text(0);
        for (int i = 0; i < m->lvFind->topLevelItemCount(); ++i)
          if (m->lvFind->topLevelItem(i)->text(0) == QStringLiteral("store\\archive"))
            m->lvFind->topLevelItem(i)->setSelected(true);
        m->btnOk->click();
      });
      f.btnSel->click();
      // The mail-store dialog lists the same six folders.
      QCOMPARE(listed.size(), 6);
      QVERIFY(!listed.join(QLatin1Char(';')).contains(QStringLiteral("broken")));
      f.chkAttach->setChecked(true);
      sink_.expect(load_text(text::kMsgDatabaseAdded), load_text(text::kCaptionInformation), kStyleInformation,
                   kAnswerOk);
      f.btnApply->click();
    }
    const std::string work = pd.dir.path() + "DB/archive/";
    QCOMPARE(pd.value("DB-3", "DataInputPort"),
             pd.dir.path() + "libpostbridge.so;outlook:archive;" + work + ";store\\archive");
    QCOMPARE(pd.value("DB-3", "Attach"), std::string("1"));
    // The build the desktop starts for a mail database with attachments.
    ProcessOptions run;
    run.argv = indexer_command_line(pd.dir.path(), indexer_rebuild_kind(true, true), 0, 3).argv;
    run.timeout_ms = 120000;
    const ProcessResult built = process_run(run);
    QVERIFY2(built.output.find("\x1A\x1A") != std::string::npos, built.output.c_str());
    BuildDatabaseProperties(pd.dir.path(), 3);

    // "Nested" stands only in a Projects message, "Hello" in the archive's (of the three);
    // the Big5 test mail of the 中文 folder and the encoded sender of Projects are in the
    // archive as well.
    search(pd, {{1, "Projects"}, {2, "\xA4\xA4\xA4\xE5"}, {3, "archive"}},
           {{QStringLiteral("nested"), {1}},
            {QStringLiteral("hello"), {3}},
            {QStringLiteral("測試"), {2, 3}},
            {QStringLiteral("encoded"), {1, 3}},
            // Words only in the archive's text attachments, one named by RFC 2231.
            {QStringLiteral("noteword"), {3}},
            {QStringLiteral("reportword"), {3}}},
           [&pd](TMainForm& form) {
             // Subject and sender come decoded from the mail-store library.
             form.cmbSrchHistory->setEditText(QStringLiteral("encoded"));
             form.btnSearchClick();
             QCOMPARE(form.hits()->rowCount(), 2);
             for (int i = 0; i < 2; ++i) {
               QCOMPARE(form.hits()->text(i, 1), QStringLiteral("encoded sender"));
               QVERIFY2(form.hits()->text(i, 5).contains(QStringLiteral("張三")), qPrintable(form.hits()->text(i, 5)));
             }
             form.cmbSrchHistory->setEditText(QStringLiteral("測試"));
             form.btnSearchClick();
             std::multiset<int> big5;  // the databases of the Big5 test mail's hits
             for (int i = 0; i < form.hits()->rowCount(); ++i)
               if (form.hits()->text(i, 1) == QStringLiteral("中文郵件 Big5")) {
                 QVERIFY(form.hits()->text(i, 5).contains(QStringLiteral("王小明")));
                 big5.insert(form.hits()->row(i).database_id);
               }
             QCOMPARE(big5, (std::multiset<int>{2, 3}));
             // The full view of the archive's attachment mail links its saved text attachment.
             form.cmbSrchHistory->setEditText(QStringLiteral("noteword"));
             form.btnSearchClick();
             QCOMPARE(form.hits()->rowCount(), 1);
             QCOMPARE(form.hits()->row(0).image, 2);
             form.mShowFull->trigger();
             form.ListView1->selectionModel()->select(
                 form.hits()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
             const std::string full = test::read_file(pd.dir / "RFull.htm");
             QVERIFY2(full.find("Quarterly figures attached.") != std::string::npos, full.c_str());
             const size_t link = full.find("notes.txt");
             QVERIFY2(link != std::string::npos, full.c_str());
             const size_t start = full.rfind("Attach/", link);
             QVERIFY2(start != std::string::npos, full.c_str());
             const std::string saved = full.substr(start, link + 9 - start);
             QVERIFY2(test::read_file(pd.value("DB-3", "WorkDir") + saved).find("noteword") != std::string::npos,
                      saved.c_str());
           });
  }

  // No store: the library refuses its login and the page says it cannot list.
  void noStoreShowsThePageText() {
    ProgramDir pd;
    StoreVariable store(pd.dir / "no-store");
    TWizardForm f(pd.dir.path());
    f.show();
    to_list(f, f.radio9798, "", false);
    QCOMPARE(f.lblFind->text(), QString::fromStdString(load_text(text::kMailFindNoLibrary)));
    QCOMPARE(f.lvFind->topLevelItemCount(), 0);
  }

  // The store files of the mail clients found by each kind's mask and built: the .mbx
  // pair and the .dbx of the generated stores, the .mbx beside its .toc (with its
  // converted attachment), and a mailbox beside its .snm summary.
  void storeFilesFoundByMasksBuiltAndSearched() {
    ProgramDir pd;
    const std::string ns = pd.dir.sub("nsmail");
    test::write_file(ns + "/Inbox",
                     test::read_file(std::string(QM_SOURCE_DIR) + "/mail/tests/fixtures/all-lf.mbox"));
    test::write_file(ns + "/Inbox.snm", "summary");
    const struct {
      QRadioButton* TWizardForm::*kind;
      std::string folder;
      bool attach;
      QStringList rows;
      int messages;
    } runs[] = {// The corpus's 27 messages; the .toc mailbox adds four of its own, and the
                // .dbx keeps out the one with neither sender nor recipient.
                {&TWizardForm::radioIE4, kStores, false, {"jmf6.mbx", "tocbox.mbx"}, 27 + 31},
                {&TWizardForm::radioIE5, kStores, false, {"folder.dbx"}, 26},
                {&TWizardForm::radioEudora, kStores, true, {"tocbox.mbx"}, 31},
                {&TWizardForm::radioNS, ns, true, {"Inbox"}, 27}};
    for (const auto& r : runs) {
      TWizardForm f(pd.dir.path());
      f.show();
      to_list(f, f.*r.kind, r.folder, r.attach);
      QCOMPARE(f.lvFind->topLevelItemCount(), r.rows.size());
      build_rows(f, 0, r.rows, r.messages);
    }
    const char* names[] = {"jmf6", "tocbox", "folder", "tocbox(2)", "Inbox"};
    std::vector<std::pair<int, std::string>> databases;
    for (int id = 1; id <= 5; ++id) {
      QCOMPARE(pd.value("DB-" + std::to_string(id), "Description"), std::string(names[id - 1]));
      QVERIFY(fs::file_size(pd.value("DB-" + std::to_string(id), "WorkDir") + "fulltext.db") > 0);
      databases.push_back({id, names[id - 1]});
    }
    // The plain message of the corpus is in every store; the converted attachment's text
    // only where attachments were read. "fork" stands only in the BinHex attachment of the
    // corpus message "binhex part", read in the .toc mailbox and the mbox: the mbox's hit
    // shows the mail columns and the attachment icon.
    search(pd, databases,
           {{QStringLiteral("hello"), {1, 2, 3, 4, 5}},
            {QStringLiteral("quarterly"), {4}},
            {QStringLiteral("fork"), {4, 5}}},
           [&pd](TMainForm& form) {
             QCOMPARE(form.hits()->rowCount(), 2);
             QCOMPARE(form.hits()->columnCount(), 6);
             const int r = form.hits()->row(0).database_id == 5 ? 0 : 1;
             QCOMPARE(form.hits()->row(r).database_id, 5);
             QCOMPARE(form.hits()->text(r, 1), QStringLiteral("binhex part"));
             QVERIFY(form.hits()->text(r, 4).contains(QLatin1Char('/')));
             QVERIFY(form.hits()->text(r, 5).contains(QStringLiteral("Ann")));
             QCOMPARE(form.hits()->row(r).image, 2);
             // The full view: the header table, the body without the attachment's text,
             // and a link to the saved attachment.
             form.mShowFull->trigger();
             form.ListView1->selectionModel()->select(
                 form.hits()->index(r, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
             const std::string full = test::read_file(pd.dir / "RFull.htm");
             QVERIFY2(full.find("<TABLE BGCOLOR=#DFE7FF WIDTH=90%>") != std::string::npos, full.c_str());
             QVERIFY2(full.find("A Mac file.") != std::string::npos, full.c_str());
             QVERIFY2(full.find("BinHex data") == std::string::npos, full.c_str());
             const size_t link = full.find("Attach/");
             QVERIFY2(link != std::string::npos, full.c_str());
             const std::string saved = full.substr(link, full.find_first_of("\"<> ", link) - link);
             QVERIFY2(fs::exists(pd.value("DB-5", "WorkDir") + saved), saved.c_str());
             QVERIFY(test::read_file(pd.value("DB-5", "WorkDir") + saved).find("fork") != std::string::npos);
             // The plain message's subject, date and sender as each store kind gives them.
             form.cmbSrchHistory->setEditText(QStringLiteral("hello"));
             form.btnSearchClick();
             QCOMPARE(form.hits()->rowCount(), 5);
             for (int i = 0; i < form.hits()->rowCount(); ++i) {
               QCOMPARE(form.hits()->text(i, 1), QStringLiteral("Plain ASCII message"));
               QCOMPARE(form.hits()->text(i, 4), form.hits()->text(0, 4));
               QVERIFY(form.hits()->text(i, 5).contains(QStringLiteral("Ann Lee")));
             }
           });
  }
};

QTEST_MAIN(WizardMailTest)
#include "wizard_mail_qtest.moc"
