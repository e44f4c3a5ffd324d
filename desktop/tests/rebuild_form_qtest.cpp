// Offscreen tests of the database add/edit dialog over a scratch program directory: a
// new document database with the next free id, an existing entry loaded and its
// refusals, three mail stores from the mail-store dialog saved as three consecutive ids
// (the list empties), a folder of the mail-client store saved and built by the real
// index builder, and no free id refused.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/forms/mail_form.h"
#include "desktop/forms/rebuild_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "platform/process.h"
#include "testsupport/test_files.h"

#include <unistd.h>

using namespace qm;

class RebuildFormTest : public QObject {
  Q_OBJECT

  static std::string value(const test::TempDir& dir, const std::string& sec, const std::string& key) {
    IniTree ini;
    ini.load(dir / "vesprin.ini");
    return ini.get(sec, key).value_or("<none>");
  }
  void expect(int id) {
    sink_.expect(load_text(id), load_text(text::kCaptionInformation), kStyleInformation, kAnswerOk);
  }
  ScriptedMessageSink sink_;

 private slots:
  void initTestCase() { QVERIFY(test::load_texts_with_sink(sink_)); }
  void cleanupTestCase() { message_set_sink(nullptr); }
  void cleanup() { test::check_sink_done(sink_); }

  void newDocumentDatabase() {
    test::TempDir dir{"qm-rebuild-"};
    const std::string docs = dir.sub("docs");
    test::write_file(dir / "vesprin.ini",
                     "[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=" + dir.path() + "DB/one/\n");
    TRebuildForm f(dir.path());
    f.show();
    QVERIFY(f.Adding());
    QCOMPARE(f.DatabaseId, 2);
    QVERIFY(f.chkPdf->isChecked());
    QVERIFY(!f.btnApply->isEnabled());
    f.editDBName->setText(QStringLiteral("0"));
    f.editHtmDir->setText(QString::fromStdString(docs));
    expect(text::kMsgNameEmpty);
    f.btnOk->click();
    QVERIFY(f.isVisible());
    f.editDBName->setText(QStringLiteral("  Papers "));
    for (QCheckBox* b : {f.chkPgx, f.chkWord, f.chkExcel, f.chkPower, f.chkPdf, f.chkRTF}) b->setChecked(false);
    expect(text::kMsgDatabaseAdded);
    f.btnOk->click();
    QCOMPARE(f.result(), int(QDialog::Accepted));
    QCOMPARE(f.editDBName->text(), QStringLiteral("Papers"));
    QCOMPARE(value(dir, "DB-2", "LocalFileType"), std::string("txt,htm,html"));
    QCOMPARE(value(dir, "INDEX", "2"), std::string("1"));
  }

  void existingEntryAndIndexFolderInUse() {
    test::TempDir dir{"qm-rebuild-"};
    const std::string docs = dir.sub("docs");
    test::write_file(dir / "vesprin.ini",
                     "[INDEX]\n1=1\n2=1\n[DB-1]\nDescription=One\nWorkDir=/x/db/\n"
                     "[DB-2]\nDescription=Two\nHtmlDir=" + docs + "\nWorkDir=/x/two/\nLocalFileType=txt,log,htm\n");
    TRebuildForm f(dir.path());
    f.DatabaseId = 2;
    f.show();
    QVERIFY(!f.Adding());
    QVERIFY(f.chkTxt->isChecked() && f.chkHtm->isChecked() && !f.chkPdf->isChecked());
    QCOMPARE(f.OtherExtensions(), std::string("log"));
    QVERIFY(!f.radioMail->isEnabled());
    f.editIndexDirMail->setText(QStringLiteral("/x/db"));
    expect(text::kMsgIndexDirUsed);
    f.btnApply->click();
    QVERIFY(f.btnApply->isEnabled());
    f.editIndexDirMail->setText(QStringLiteral("/x/two"));
    expect(text::kMsgDatabaseChanged);
    f.btnApply->click();
    QVERIFY(!f.btnApply->isEnabled());
    QCOMPARE(value(dir, "DB-2", "LocalFileType"), std::string("txt,htm,html,log"));
    QCOMPARE(value(dir, "DB-2", "WorkDir"), std::string("/x/two/"));
  }

  void threeStoresThreeIds() {
    test::TempDir dir{"qm-rebuild-"};
    const std::string mail = dir.sub("mail");
    for (const char* n : {"a.mbx", "b.mbx", "c.mbx"}) test::write_file(mail + n, std::string(2048, 'm'));
    test::write_file(dir / "vesprin.ini", "[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=/x/one/\n");
    TRebuildForm f(dir.path());
    f.show();
    f.radioMail->click();
    QCOMPARE(f.PageControl1->currentWidget(), f.TabSheet2);
    QTimer::singleShot(0, &f, [&] {
      TMailForm* m = f.mailForm();
      m->editMailFolder->setEditText(QString::fromStdString(mail));
      m->btnFindMail->click();
      QTRY_VERIFY(m->btnFindMail->isEnabled());
      for (int i = 0; i < m->lvFind->topLevelItemCount(); ++i) m->lvFind->topLevelItem(i)->setSelected(true);
      m->btnOk->click();
    });
    f.btnSel->click();
    QCOMPARE(f.cmbMailDBName->count(), 3);
    QVERIFY(f.cmbMailDBName->isVisible());
    QCOMPARE(f.editDBName->text(), QStringLiteral("a"));
    expect(text::kMsgDatabaseAdded);
    f.btnApply->click();
    QCOMPARE(f.cmbMailDBName->count(), 0);
    QCOMPARE(value(dir, "DB-2", "Description"), std::string("a"));
    QCOMPARE(value(dir, "DB-3", "Description"), std::string("b"));
    QCOMPARE(value(dir, "DB-4", "Description"), std::string("c"));
    QCOMPARE(value(dir, "DB-4", "DataInputPort"),
             dir.path() + "libpostbridge.so;" + mail + "c.mbx;" + dir.path() + "DB/c/");
  }

  // The mail-client kind over the stand-in mail-store library and the fixture store: the
  // folder chosen in the mail-store dialog is saved with its four-field DataInputPort, and
  // the real index builder builds it through the gateway.
  void storeFolderSavedAndBuilt() {
    test::TempDir dir{"qm-rebuild-"};
    for (const char* file : {"indexer", "libpostbridge.so", "libmboxpull.so"})
      QVERIFY(symlink((std::string(QM_DIST_DIR) + "/" + file).c_str(), (dir / file).c_str()) == 0);
    setenv("MBOXPULL_STORE", (std::string(QM_SOURCE_DIR) + "/mail/tests/store").c_str(), 1);
    test::write_file(dir / "vesprin.ini", "[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=/x/one/\n");
    TRebuildForm f(dir.path());
    f.show();
    f.radioMail->click();
    f.cmbMailType->setCurrentIndex(4);
    QTimer::singleShot(0, &f, [&] {
      TMailForm* m = f.mailForm();
      QVERIFY(m->OutlookMode());
      for (int i = 0; i < m->lvFind->topLevelItemCount(); ++i)
        if (m->lvFind->topLevelItem(i)->text(0) == QStringLiteral("store\\archive"))
          m->lvFind->topLevelItem(i)->setSelected(true);
      m->btnOk->click();
    });
    f.btnSel->click();
    QCOMPARE(f.editDBName->text(), QStringLiteral("archive"));
    expect(text::kMsgDatabaseAdded);
    f.btnApply->click();
    const std::string work = dir.path() + "DB/archive/";
    QCOMPARE(value(dir, "DB-2", "DataInputPort"),
             dir.path() + "libpostbridge.so;outlook:archive;" + work + ";store\\archive");

    ProcessOptions run;
    run.argv = {dir / "indexer", "-ncl", "-w0", "-f10", "-x2"};
    run.timeout_ms = 120000;
    const ProcessResult r = process_run(run);
    unsetenv("MBOXPULL_STORE");
    QVERIFY2(r.output.find("\x1A\x1A") != std::string::npos, r.output.c_str());
    QVERIFY(r.output.find("0 [archive] - 15\r") != std::string::npos);
    QCOMPARE(test::read_file(work + "MailProperty.db").size(), size_t(15 * 168));
  }

  void noFreeIdRefused() {
    test::TempDir dir{"qm-rebuild-"};
    std::string ini = "[INDEX]\n";
    for (int id = 1; id < 999; ++id) ini += std::to_string(id) + "=1\n";
    test::write_file(dir / "vesprin.ini", ini);
    TRebuildForm f(dir.path());
    f.show();
    f.editDBName->setText(QStringLiteral("Late"));
    expect(text::kMsgNoFreeDatabaseId);
    f.btnApply->click();
    QVERIFY(f.isVisible());
    QCOMPARE(value(dir, "DB--1", "Description"), std::string("<none>"));
  }
};

QTEST_MAIN(RebuildFormTest)
#include "rebuild_form_qtest.moc"
