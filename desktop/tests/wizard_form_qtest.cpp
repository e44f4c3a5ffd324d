// Offscreen tests of the index-database wizard over a scratch program directory whose
// "indexer" is a shell script: the refusals of each step with their messages, a document
// database written and built through the job queue up to Finish, Terminate during a slow
// build removing the new database again, and the mail road's page order.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeWidget>
#include <QtTest>

#include <signal.h>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <sys/stat.h>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/forms/wizard_form.h"
#include "desktop/indexing/schedule.h"
#include "desktop/messages.h"
#include "desktop/path_qt.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;

namespace {

// A program directory with one database (DB-1 on DB/one/), a document folder and an
// "indexer" that notes its pid and its arguments, then runs body.
struct Fixture {
  explicit Fixture(const std::string& body) {
    docs = dir.sub("docs");
    test::write_file(docs + "/a.txt", "alpha beta\n");
    test::write_file(dir / "vesprin.ini", "[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=" +
                                               dir.path() + "DB/one/\nHtmlDir=" + docs + "/\n");
    test::write_file(dir / "indexer", "#!/bin/sh\ndir=" + dir.path() +
                                           "\necho $$ >> \"$dir/pids\"\necho \"$@\" >> \"$dir/args\"\n" +
                                           body + "\n");
    chmod((dir / "indexer").c_str(), 0755);
  }
  std::string value(const std::string& sec, const std::string& key) const {
    IniTree ini;
    ini.load(dir / "vesprin.ini");
    return ini.get(sec, key).value_or("<none>");
  }
  // The keys of a section in file order, as Python's configparser reads them.
  std::string keys(const std::string& sec) const {
    test::write_file(dir / "keys.py",
                     "import configparser,sys\n"
                     "p=configparser.ConfigParser(interpolation=None,strict=True)\n"
                     "p.optionxform=str\n"
                     "p.read(sys.argv[1],encoding='latin-1')\n"
                     "print(','.join(p[sys.argv[2]].keys()),end='')\n");
    std::string out;
    test::command_output("python3 " + (dir / "keys.py") + " " + (dir / "vesprin.ini") + " " + sec, out);
    return out;
  }
  test::TempDir dir{"qm-wizard-"};
  std::string docs;
};

// Page index of each step for documents.
int page_of(const TWizardForm& f) { return f.PageControl1->currentIndex(); }

// The mail kind over folder, then on the found-files page the named files listed there
// and all selected.
void select_found_mail(TWizardForm& f, const std::string& folder, std::initializer_list<const char*> names) {
  f.radioMail->setChecked(true);
  f.btnNext->click();
  f.editMailFolder->setEditText(QString::fromStdString(folder));
  f.btnNext->click();
  QTRY_VERIFY(f.btnNext->isEnabled());
  for (const char* name : names) new QTreeWidgetItem(f.lvFind, QStringList{name, QString::fromStdString(folder)});
  f.lvFind->selectAll();
}

// Terminate during the build: the wizard is back on the page before the build with its
// navigation, and Finish stays off.
void terminate_build(TWizardForm& f) {
  f.btnTerminate->click();
  f.schedule().WaitFinished();
  QCOMPARE(f.Step(), 5);
  QCOMPARE(page_of(f), 5);
  QVERIFY(f.btnPrev->isEnabled() && f.btnCancel->isEnabled() && f.btnNext->isEnabled());
  QVERIFY(!f.btnFinish->isEnabled());
}

}  // namespace

class WizardFormTest : public QObject {
  Q_OBJECT

  void expect(int id) {
    sink_.expect(load_text(id), load_text(text::kCaptionInformation), kStyleInformation, kAnswerOk);
  }
  // Next from step 0 up to step `to` on the document road with valid fields.
  static void walk(TWizardForm& f, const std::string& docs, int to) {
    f.editHtmDir->setText(QString::fromStdString(docs));
    while (f.Step() < to) {
      const int before = f.Step();
      f.btnNext->click();
      QCOMPARE(f.Step(), before + 1);
    }
  }
  ScriptedMessageSink sink_;

 private slots:
  void initTestCase() { QVERIFY(test::load_texts_with_sink(sink_)); }
  void cleanupTestCase() { message_set_sink(nullptr); }
  void cleanup() { test::check_sink_done(sink_); }

  void startsAtTheKindPage() {
    Fixture fx("printf '\\032\\032'");
    TWizardForm f(fx.dir.path());
    f.show();
    QCOMPARE(f.windowTitle(), QString::fromStdString(load_text(text::kWizardCaption)));
    QCOMPARE(f.Step(), 0);
    QVERIFY(f.radioDoc->isChecked());
    QVERIFY(!f.btnPrev->isEnabled());
    QVERIFY(!f.btnFinish->isEnabled());
    QVERIFY(f.btnNext->isEnabled());
    QVERIFY(f.chkPdf->isChecked());
    QCOMPARE(f.editDBName->text().isEmpty(), false);
    QCOMPARE(f.editGroup->text(), QString::fromStdString(load_text(12083)));
    QVERIFY(!f.Image1->pixmap().isNull());
    QVERIFY(!f.Image2->pixmap().isNull());
  }

  // The mail kinds and the folder label carry numbered texts; no page has a tab row and
  // the window keeps one size on every page.
  void kindTextsAndOneSizeOnEveryPage() {
    Fixture fx("");
    TWizardForm f(fx.dir.path());
    f.show();
    const std::pair<QWidget*, int> captions[] = {
        {f.radioIE5, text::kWizardText2034},  {f.radioIE4, text::kWizardText2035},
        {f.radio9798, text::kWizardText2036}, {f.radioNS, text::kWizardText2037},
        {f.radioEudora, text::kWizardText2038}};
    for (const auto& [w, id] : captions)
      QCOMPARE(static_cast<QRadioButton*>(w)->text(), QString::fromStdString(load_text(id)));
    QCOMPARE(f.lblMailFolder->text(), QString::fromStdString(load_text(text::kWizardText2039)));
    QVERIFY(f.findChildren<QTabBar*>().isEmpty());
    QApplication::processEvents();
    const QSize size = f.size();
    for (int page = 0; page < 10; ++page) {
      f.PageControl1->setCurrentIndex(page);
      QApplication::processEvents();
      QCOMPARE(f.size(), size);
    }
    f.radio9798->setChecked(true);
    QVERIFY(!f.lblMailFolder->isEnabled());
    f.radioNS->setChecked(true);
    QVERIFY(f.lblMailFolder->isEnabled());
  }

  void refusalsStayOnTheirPage() {
    Fixture fx("printf '\\032\\032'");
    enum Field { kFolderFile, kNoType, kNameZero, kNameEmpty, kNameInUse, kNoFolder, kNoIndex, kIndexInUse };
    const struct {
      Field field;
      int step;  // the step Next is pressed on
      int message;
    } cases[] = {
        {kFolderFile, 1, text::kMsgNoSuchFolder}, {kNoType, 2, text::kMsgNoType},
        {kNameZero, 3, text::kMsgNameEmpty},      {kNameEmpty, 3, text::kMsgNameEmpty},
        {kNameInUse, 3, text::kBadFolderName},
        {kNoFolder, 4, text::kMsgHtmlDirEmpty},   {kNoIndex, 4, text::kMsgIndexDirEmpty},
        {kIndexInUse, 4, text::kMsgIndexDirUsed},
    };
    for (const auto& c : cases) {
      TWizardForm f(fx.dir.path());
      f.show();
      walk(f, fx.docs, c.step);
      switch (c.field) {
        case kFolderFile: f.editHtmDir->setText(QString::fromStdString(fx.docs + "/a.txt")); break;
        case kNoType:
          for (QCheckBox* b : {f.chkTxt, f.chkHtm, f.chkPgx, f.chkWord, f.chkExcel, f.chkPower, f.chkPdf, f.chkRTF})
            b->setChecked(false);
          break;
        case kNameZero: f.editDBName->setText(QStringLiteral(" 0 ")); break;
        case kNameEmpty: f.editDBName->setText(QStringLiteral("  ")); break;
        // DB-1's name: a second "One" would stand twice in the tree.
        case kNameInUse: f.editDBName->setText(QStringLiteral(" One ")); break;
        case kNoFolder: f.editHtmDir->clear(); break;
        case kNoIndex: f.editIndexDir->clear(); break;
        // The same folder written another way still counts as used.
        case kIndexInUse: f.editIndexDir->setText(QString::fromStdString(fx.dir.path() + "DB/x/../one")); break;
      }
      expect(c.message);
      f.btnNext->click();
      QCOMPARE(f.Step(), c.step);
      QCOMPARE(page_of(f), c.step);
      QCOMPARE(fx.value("INDEX", "2"), std::string("<none>"));
    }
  }

  void documentDatabaseBuilt() {
    Fixture fx("printf '1 Sorting\\r\\n0 a.txt\\r\\n\\032\\032'");
    TWizardForm f(fx.dir.path());
    f.show();
    walk(f, fx.docs, 2);
    for (QCheckBox* b : {f.chkPgx, f.chkWord, f.chkExcel, f.chkPower, f.chkPdf, f.chkRTF}) b->setChecked(false);
    walk(f, fx.docs, 3);
    f.editDBName->setText(QStringLiteral("Papers"));
    f.btnNext->click();
    f.editIndexDir->setText(QString::fromStdString(fx.dir.path() + "DB/papers/"));
    walk(f, fx.docs, 6);
    QCOMPARE(page_of(f), 6);
    QVERIFY(!f.btnNext->isEnabled());
    QCOMPARE(f.DatabaseId(), 2);
    QCOMPARE(f.schedule().Count(), 1);
    f.schedule().WaitFinished();
    QVERIFY(f.btnFinish->isEnabled());
    QVERIFY(!f.btnTerminate->isVisible());
    QCOMPARE(f.lbl1->text(), QStringLiteral("1"));
    QCOMPARE(fx.value("INDEX", "2"), std::string("1"));
    QCOMPARE(fx.value("DB-2", "Description"), std::string("Papers"));
    QCOMPARE(fx.value("DB-2", "LocalFileType"), std::string("txt,htm,html"));
    QCOMPARE(fx.keys("DB-2"), std::string("Description,HtmlDir,WorkDir,LocalFileType"));
    QCOMPARE(fx.value("DB-2", "WorkDir"), fx.dir.path() + "DB/papers/");
    const std::string args = test::read_file(fx.dir / "args");
    QVERIFY2(args.find(" -f10 -x2") != std::string::npos && args.find("-corvdoc") == std::string::npos,
             args.c_str());
    f.btnFinish->click();
    QCOMPARE(f.result(), int(QDialog::Accepted));
  }

  // Document folders are file-system bytes end to end: a typed UTF-8 Chinese and accented
  // folder, and a Big5-named one the program holds (shown decoded, its bytes kept), are
  // written to the entry exactly as the file system has them.
  void documentFoldersStayFileSystemBytes() {
    Fixture fx("printf '\\032\\032'");
    const struct {
      const char* name;
      bool typed;
    } cases[] = {{"\xE9\x83\xB5\xE4\xBB\xB6", true}, {"jos\xC3\xA9", true}, {"\xB6\x6C\xA5\xF3", false}};
    int id = 2;
    for (const auto& c : cases) {
      const std::string folder = fx.dir.path() + c.name;
      std::filesystem::create_directories(folder);
      TWizardForm f(fx.dir.path());
      f.show();
      walk(f, fx.docs, 1);
      if (c.typed)
        f.editHtmDir->setText(QString::fromUtf8(folder.c_str()));
      else
        set_path_edit(f.editHtmDir, folder);
      f.btnNext->click();
      QCOMPARE(f.Step(), 2);
      f.btnNext->click();
      f.editDBName->setText(QStringLiteral("Docs %1").arg(id));
      f.btnNext->click();
      if (c.typed)
        f.editIndexDir->setText(QString::fromUtf8((folder + "-index/").c_str()));
      else
        set_path_edit(f.editIndexDir, folder + "-index/");
      while (f.Step() < 6) f.btnNext->click();
      f.schedule().WaitFinished();
      const std::string sec = "DB-" + std::to_string(id);
      QCOMPARE(fx.value(sec, "HtmlDir"), folder + "/");
      QCOMPARE(fx.value(sec, "WorkDir"), folder + "-index/");
      ++id;
    }
  }

  // The real indexer through the queue: the counters show the folder's documents and the
  // property file is built after the job.
  void realIndexerBuildsTheDatabase() {
    Fixture fx("");
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    std::filesystem::remove(fx.dir / "indexer");
    for (const char* name : {"indexer", "big5.dat", "big5.ref"})
      std::filesystem::create_symlink(dist + name, fx.dir / name);
    test::write_file(fx.docs + "/b.txt", "gamma delta epsilon\n");
    TWizardForm f(fx.dir.path());
    f.show();
    walk(f, fx.docs, 2);
    for (QCheckBox* b : {f.chkHtm, f.chkPgx, f.chkWord, f.chkExcel, f.chkPower, f.chkPdf, f.chkRTF})
      b->setChecked(false);
    walk(f, fx.docs, 6);
    f.schedule().WaitFinished();
    QVERIFY(f.btnFinish->isEnabled());
    QCOMPARE(f.lbl1->text(), QStringLiteral("1"));
    QCOMPARE(f.lbl3->text(), QStringLiteral("2"));
    const std::string work = fx.value("DB-2", "WorkDir");
    QVERIFY(std::filesystem::file_size(work + "fulltext.db") > 0);
    QVERIFY(std::filesystem::exists(work + "property.db"));
  }

  // Page documents chosen: the builder is asked to read them.
  void pageDocumentsAskTheBuilder() {
    Fixture fx("printf '\\032\\032'");
    TWizardForm f(fx.dir.path());
    f.show();
    walk(f, fx.docs, 6);
    f.schedule().WaitFinished();
    QVERIFY(test::read_file(fx.dir / "args").find("-corvdoc -w") != std::string::npos);
  }

  void terminateRemovesTheDatabase() {
    Fixture fx("printf '0 a.txt\\r\\n'; exec sleep 30");
    TWizardForm f(fx.dir.path());
    f.show();
    walk(f, fx.docs, 6);
    QCOMPARE(fx.value("INDEX", "2"), std::string("1"));
    QTRY_VERIFY(QFile::exists(QString::fromStdString(fx.dir / "pids")));
    QVERIFY(f.Building());
    QVERIFY(!f.btnCancel->isEnabled());
    QVERIFY(!f.btnPrev->isEnabled());
    QVERIFY(!f.close());  // refused while the build runs
    QTest::keyClick(&f, Qt::Key_Escape);
    QVERIFY(f.isVisible());
    terminate_build(f);
    QCOMPARE(fx.value("INDEX", "2"), std::string("<none>"));
    QCOMPARE(fx.value("DB-2", "Description"), std::string("<none>"));
    const pid_t pid = pid_t(std::stol(test::read_file(fx.dir / "pids")));
    QVERIFY(kill(pid, 0) != 0);
    QVERIFY(f.close());
  }

  // IdxAnimate "1" plays the animation during the build, "0" shows the still picture, a
  // missing animation file hides the panel; the extra plain-text extensions are read too.
  void animationAndStoredExtensions() {
    // A two-frame 1x1 GIF.
    static const char kGif[] =
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
        "!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
        "!\xf9\x04\x00\x0a\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00"
        "!\xf9\x04\x00\x0a\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02L\x01\x00;";
    const struct {
      const char* animate;
      bool gif;
      bool still, panel, plays;
    } cases[] = {{"1", true, false, true, true}, {"0", true, true, false, false},
                 {"1", false, false, false, false}};
    for (const auto& c : cases) {
      Fixture fx("printf '0 a\\r\\n'; exec sleep 30");
      std::string ini = test::read_file(fx.dir / "vesprin.ini");
      test::write_file(fx.dir / "vesprin.ini",
                       "[VESPRIN]\nIdxAnimate=" + std::string(c.animate) + "\nTxtExtType=log,ini\n" + ini);
      if (c.gif) test::write_file(fx.dir / "quillanim.gif", std::string(kGif, sizeof kGif - 1));
      TWizardForm f(fx.dir.path());
      f.show();
      QCOMPARE(f.OtherExtensions(), std::string("log,ini"));
      walk(f, fx.docs, 6);
      QCOMPARE(f.Image2->isVisible(), c.still);
      QCOMPARE(f.PanelAVI->isVisible(), c.panel);
      QTRY_VERIFY(f.Building());
      QCOMPARE(f.movie()->state() == QMovie::Running, c.plays);
      f.btnTerminate->click();
      f.schedule().WaitFinished();
      QCOMPARE(f.movie()->state(), QMovie::NotRunning);
    }
  }

  // Three selected mail files: three databases on consecutive free ids with the group, and
  // three jobs in list order, "-mail -ncl" with attachments and "-ncl" without.
  void mailFilesBecomeDatabases() {
    for (bool attach : {true, false}) {
      Fixture fx("printf '\\032\\032'");
      TWizardForm f(fx.dir.path());
      f.show();
      f.radioMail->setChecked(true);
      f.chkAttach->setChecked(attach);
      f.btnNext->click();
      f.editMailFolder->setEditText(QString::fromStdString(fx.docs));
      f.btnNext->click();
      QTRY_VERIFY(f.btnNext->isEnabled());
      for (const char* name : {"inbox.mbx", "sent.mbx", "skip.mbx", "old.mbx"}) {
        auto* row = new QTreeWidgetItem(f.lvFind, QStringList{name, QString::fromStdString(fx.docs)});
        row->setSelected(std::string(name) != "skip.mbx");
      }
      f.editGroup->setText(QStringLiteral("Mail"));
      while (f.Step() < 6) f.btnNext->click();
      f.schedule().WaitFinished();
      QVERIFY(f.btnFinish->isEnabled());
      const char* names[] = {"inbox", "sent", "old"};
      const std::string folder = fx.docs.back() == '/' ? fx.docs : fx.docs + "/";
      for (int i = 0; i < 3; ++i) {
        const std::string sec = "DB-" + std::to_string(2 + i);
        QCOMPARE(fx.value("INDEX", std::to_string(2 + i)), std::string("1"));
        QCOMPARE(fx.value(sec, "Description"), std::string(names[i]));
        QCOMPARE(QString::fromStdString(fx.value(sec, "HtmlDir")),
                 QString::fromStdString(folder + names[i] + ".mbx"));
        QCOMPARE(fx.value(sec, "Group"), std::string("Mail"));
        QCOMPARE(fx.value(sec, "Attach"), std::string(attach ? "1" : "0"));
        QCOMPARE(fx.value(sec, "Mail"), std::string("1"));
        QCOMPARE(fx.keys(sec), std::string("Description,HtmlDir,WorkDir,DataInputPort,Group,Mail,MailType,Attach"));
      }
      const std::string opts = attach ? "-mail -ncl -w" : "-ncl -w";
      const std::string args = test::read_file(fx.dir / "args");
      const size_t a = args.find(opts), b = args.find("-x2\n"), c = args.find("-x3\n"), d = args.find("-x4\n");
      QVERIFY2(a == 0 && b < c && c < d && d != std::string::npos, args.c_str());
    }
  }

  // A builder that gives up on one database ('3') is not a stop: the next job still runs,
  // both databases stay, and Finish follows. While the run goes the waiting text and the
  // status panels show; after it the closing texts instead, which do not call the run
  // built: each database's result says what became of it.
  void givingUpIsNotAStop() {
    Fixture fx("until test -e \"$dir/go\"; do sleep 0.05; done\n"
               "case \"$*\" in *-x2) printf '3 no mail\\r\\n' ;; *) printf '1 Sorting\\r\\n\\032\\032' ;; esac");
    TWizardForm f(fx.dir.path());
    f.show();
    select_found_mail(f, fx.docs, {"a.mbx", "b.mbx"});
    while (f.Step() < 6) f.btnNext->click();
    QVERIFY(f.Building());
    QVERIFY(f.labelProgress->isVisible() && f.GroupBox2->isVisible() && f.btnTerminate->isVisible());
    QVERIFY(!f.labelBuilt->isVisible() && !f.labelFinish->isVisible());
    test::write_file(fx.dir / "go", "");
    f.schedule().WaitFinished();
    QCOMPARE(f.Step(), 6);
    QVERIFY(f.btnFinish->isEnabled());
    QVERIFY(!f.labelProgress->isVisible() && !f.GroupBox2->isVisible() && !f.btnTerminate->isVisible());
    QVERIFY(!f.labelBuilt->isVisible() && f.labelResult->isVisible() && f.labelFinish->isVisible());
    QCOMPARE(f.labelResult->text(), QStringLiteral("a: ") + QString::fromStdString(load_text(text::kBuildFailed)) +
                                        QStringLiteral(": no mail\nb: Sorting"));
    QCOMPARE(f.lbl2->text(), QStringLiteral("2"));
    QCOMPARE(fx.value("INDEX", "2"), std::string("1"));
    QCOMPARE(fx.value("INDEX", "3"), std::string("1"));
    const std::string args = test::read_file(fx.dir / "args");
    QVERIFY2(args.find("-x2\n") < args.find("-x3\n") && args.find("-x3\n") != std::string::npos, args.c_str());
  }

  // The mail-client kind without its library: the page says so and nothing is listed.
  void mailClientKindWithoutLibrary() {
    Fixture fx("");
    TWizardForm f(fx.dir.path());
    f.show();
    f.radioMail->setChecked(true);
    f.radio9798->setChecked(true);
    QVERIFY(!f.editMailFolder->isEnabled());
    f.btnNext->click();
    f.btnNext->click();
    QCOMPARE(page_of(f), 8);
    QCOMPARE(f.lblFind->text(), QString::fromStdString(load_text(text::kMailFindNoLibrary)));
    QCOMPARE(f.lvFind->topLevelItemCount(), 0);
    QVERIFY(f.btnNext->isEnabled() && f.btnPrev->isEnabled());
  }

  // The mail-client kind over the stand-in library and the fixture store: its readable
  // folders are listed with their keys, and each selected folder becomes a database named
  // after the display name's last part, with its key, in list order.
  void mailClientKindListsTheStore() {
    Fixture fx("printf '\\032\\032'");
    std::filesystem::create_symlink(std::string(QM_DIST_DIR) + "/libmboxpull.so", fx.dir / "libmboxpull.so");
    const std::string store = std::string(QM_SOURCE_DIR) + "/mail/tests/store";
    setenv("MBOXPULL_STORE", store.c_str(), 1);
    TWizardForm f(fx.dir.path());
    f.show();
    f.radioMail->setChecked(true);
    f.radio9798->setChecked(true);
    f.btnNext->click();
    f.btnNext->click();
    QCOMPARE(page_of(f), 8);
    QVERIFY(f.btnNext->isEnabled() && f.btnPrev->isEnabled() && f.btnCancel->isEnabled());
    QVERIFY(!f.btnTerminate->isVisible());
    // The fixture's six readable folders (the broken one is left out).
    QCOMPARE(f.lvFind->topLevelItemCount(), 6);
    QCOMPARE(f.lvFind->topLevelItem(2)->text(0), QStringLiteral("store\\Work\\Projects"));
    QCOMPARE(f.lvFind->topLevelItem(2)->text(1), QStringLiteral(".Work.Projects"));
    QCOMPARE(f.lblFind->text(), QString::fromStdString(load_text(text::kMsgFoundBefore) + "6" +
                                                       load_text(text::kMsgFoundAfter)));
    f.lvFind->topLevelItem(2)->setSelected(true);
    f.lvFind->topLevelItem(5)->setSelected(true);
    while (f.Step() < 6) f.btnNext->click();
    f.schedule().WaitFinished();
    unsetenv("MBOXPULL_STORE");
    QVERIFY(f.btnFinish->isEnabled());
    const char* names[] = {"Projects", "\xA4\xA4\xA4\xE5"};
    const char* sources[] = {"store\\Work\\Projects", "store\\\xA4\xA4\xA4\xE5"};
    const char* keys[] = {"outlook:.Work.Projects", "outlook:%E4%B8%AD%E6%96%87"};
    const char* folders[] = {"Projects", "中文"};  // index folders are named in UTF-8
    for (int i = 0; i < 2; ++i) {
      const std::string sec = "DB-" + std::to_string(2 + i);
      const std::string work = fx.dir.path() + "DB/" + folders[i] + "/";
      QCOMPARE(fx.value(sec, "Description"), std::string(names[i]));
      QCOMPARE(fx.value(sec, "HtmlDir"), std::string(sources[i]));
      QCOMPARE(fx.value(sec, "MailKey"), std::string(keys[i]));
      QCOMPARE(fx.value(sec, "MailType"), std::string("4"));
      QCOMPARE(fx.keys(sec),
               std::string("MailKey,Description,HtmlDir,WorkDir,DataInputPort,Group,Mail,MailType,Attach"));
      QCOMPARE(fx.value(sec, "WorkDir"), work);
      QCOMPARE(fx.value(sec, "DataInputPort"),
               fx.dir.path() + "libpostbridge.so;" + keys[i] + ";" + work + ";" + sources[i]);
    }
    const std::string args = test::read_file(fx.dir / "args");
    QVERIFY2(args.find("-ncl -w") == 0 && args.find("-x2\n") < args.find("-x3\n"), args.c_str());
  }

  // Terminate during a mail run of three databases, the first built and the second
  // building: the built one stays, the stopped one and the one never started are removed
  // with their entries, no builder is left running, and a retry builds only the two
  // that are missing, so no database stands twice.
  void terminateDuringAMailRun() {
    Fixture fx("case \"$*\" in *-x2) printf '1 1 documents indexed, 0 skipped\\r\\032\\032'; exit 0;; esac\n"
               "printf '0 m\\r\\n'; exec sleep 30");
    auto builders = [&fx] {
      const std::string pids = test::read_file(fx.dir / "pids");
      return std::count(pids.begin(), pids.end(), '\n');
    };
    TWizardForm f(fx.dir.path());
    f.show();
    select_found_mail(f, fx.docs, {"a.mbx", "b.mbx", "c.mbx"});
    while (f.Step() < 6) f.btnNext->click();
    QTRY_COMPARE(builders(), 2L);
    QVERIFY(f.Building());
    terminate_build(f);
    QCOMPARE(fx.value("INDEX", "2"), std::string("1"));
    QCOMPARE(fx.value("DB-2", "Description"), std::string("a"));
    for (const char* id : {"3", "4"}) {
      QCOMPARE(fx.value("INDEX", id), std::string("<none>"));
      QCOMPARE(fx.value(std::string("DB-") + id, "Description"), std::string("<none>"));
    }
    // The builders are gone.
    std::istringstream pids(test::read_file(fx.dir / "pids"));
    for (std::string pid; std::getline(pids, pid);) QVERIFY(kill(pid_t(std::stol(pid)), 0) != 0);
    // The built mail file leaves the choice; the other two stay chosen.
    QVERIFY(!f.lvFind->topLevelItem(0)->isSelected() && f.lvFind->topLevelItem(0)->isDisabled());
    QVERIFY(f.lvFind->topLevelItem(1)->isSelected() && f.lvFind->topLevelItem(2)->isSelected());

    f.btnNext->click();
    QTRY_COMPARE(builders(), 3L);
    terminate_build(f);
    const std::string args = test::read_file(fx.dir / "args");
    QVERIFY2(args.find("-x2\n") == args.rfind("-x2\n") && args.find("-x3\n") != args.rfind("-x3\n"), args.c_str());
    QCOMPARE(fx.value("INDEX", "2"), std::string("1"));
    for (const char* id : {"3", "4", "5"}) QCOMPARE(fx.value("INDEX", id), std::string("<none>"));
  }

  // A build that fails says why in the builder's words, and a completed one how many
  // files it skipped; the wizard does not call a failed database built.
  void buildResultsInTheBuildersWords() {
    Fixture fx("case \"$*\" in *-x2) printf '1 3 documents indexed, 2 skipped\\r\\032\\032';;\n"
               "*) printf '3 The document folder does not exist: /gone\\r';; esac");
    TWizardForm f(fx.dir.path());
    f.show();
    select_found_mail(f, fx.docs, {"a.mbx", "b.mbx"});
    while (f.Step() < 6) f.btnNext->click();
    f.schedule().WaitFinished();
    QVERIFY(f.btnFinish->isEnabled());
    QCOMPARE(f.labelResult->text(),
             QStringLiteral("a: 3 documents indexed, 2 skipped\nb: ") + QString::fromStdString(load_text(text::kBuildFailed)) +
                 QStringLiteral(": The document folder does not exist: /gone"));
    QVERIFY(f.labelBuilt->isHidden());
  }

  // Terminate on the mail-file page stops the search: the page says so and the navigation
  // comes back.
  void terminateStopsTheMailSearch() {
    Fixture fx("");
    const std::string tree = fx.dir.sub("tree");
    for (int i = 0; i < 40; ++i)
      for (int j = 0; j < 40; ++j)
        std::filesystem::create_directories(tree + "/" + std::to_string(i) + "/" + std::to_string(j));
    TWizardForm f(fx.dir.path());
    f.show();
    f.radioMail->setChecked(true);
    f.btnNext->click();
    f.editMailFolder->setEditText(QString::fromStdString(tree));
    f.btnNext->click();
    QVERIFY(f.btnTerminate->isVisible());
    QVERIFY(!f.btnNext->isEnabled() && !f.btnPrev->isEnabled() && !f.btnCancel->isEnabled());
    f.btnTerminate->click();
    QTRY_VERIFY(f.btnNext->isEnabled());
    QVERIFY(f.btnPrev->isEnabled() && f.btnCancel->isEnabled());
    QVERIFY(!f.btnTerminate->isVisible());
    QCOMPARE(f.lblFind->text(), QString::fromStdString(load_text(text::kMsgSearchStopped)));
  }

  // Each folder searched joins the folder list once, whatever its letter case; the
  // mail-client kind searches no folder and adds none.
  void mailFolderHistory() {
    Fixture fx("");
    TWizardForm f(fx.dir.path());
    f.show();
    QCOMPARE(f.cmbDrive->currentIndex(), 0);
    QVERIFY(f.cmbDrive->isHidden());
    f.radioMail->setChecked(true);
    f.btnNext->click();
    const QString other = QString::fromStdString(fx.dir.sub("Other"));
    const struct {
      QString folder;
      bool store;
      int count;
    } cases[] = {{QString::fromStdString(fx.docs), false, 1},
                 {QString::fromStdString(fx.docs).toUpper(), false, 1},
                 {other, false, 2},
                 {QString::fromStdString(fx.dir.path()), true, 2}};
    for (const auto& c : cases) {
      (c.store ? f.radio9798 : f.radioIE5)->setChecked(true);
      f.editMailFolder->setEditText(c.folder);
      f.btnNext->click();
      QCOMPARE(f.Step(), 2);
      QTRY_VERIFY(f.btnPrev->isEnabled());
      QCOMPARE(f.editMailFolder->count(), c.count);
      QCOMPARE(f.editMailFolder->currentText(), c.folder);
      f.btnPrev->click();
    }
    QCOMPARE(f.editMailFolder->itemText(1), other);
  }

  void mailRoadSkipsTheIndexFolderPage() {
    Fixture fx("printf '\\032\\032'");
    TWizardForm f(fx.dir.path());
    f.show();
    f.radioMail->setChecked(true);
    f.radioIE4->setChecked(true);
    test::write_file(fx.docs + "/inbox.mbx", std::string(2000, 'x'));
    test::write_file(fx.docs + "/tiny.mbx", "x");  // under 1,024 bytes: not listed
    f.btnNext->click();
    QCOMPARE(page_of(f), 7);
    f.editMailFolder->setEditText(QString::fromStdString(fx.docs));
    f.btnNext->click();
    QCOMPARE(page_of(f), 8);
    QTRY_VERIFY(f.btnNext->isEnabled());  // the search has ended
    QVERIFY(!f.btnTerminate->isVisible());
    QCOMPARE(f.lvFind->topLevelItemCount(), 1);
    QCOMPARE(f.lvFind->topLevelItem(0)->text(0), QStringLiteral("inbox.mbx"));
    expect(text::kMsgNoMailChosen);
    f.btnNext->click();
    QCOMPARE(f.Step(), 2);
    f.lvFind->topLevelItem(0)->setSelected(true);
    f.btnNext->click();
    QCOMPARE(page_of(f), 9);
    f.btnNext->click();
    QCOMPARE(f.Step(), 5);
    QCOMPARE(page_of(f), 5);
    f.btnPrev->click();
    QCOMPARE(f.Step(), 3);
    QCOMPARE(page_of(f), 9);
    f.btnPrev->click();
    QCOMPARE(page_of(f), 8);
    QTRY_VERIFY(f.btnNext->isEnabled());
  }
};

QTEST_MAIN(WizardFormTest)
#include "wizard_form_qtest.moc"
