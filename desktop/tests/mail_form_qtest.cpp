// Offscreen tests of the mail-store dialog: the mail-client mode over the stand-in
// mail-store library and the fixture store (the broken folder skipped, the database named
// after the folder's short name; with no store nothing is listed), a file
// search of .snm pairs handed back as TMailObjects, the history without case-blind
// duplicates, message 12019 with nothing selected, and the terminate button's status.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <stdlib.h>

#include <filesystem>

#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/forms/mail_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;

class MailFormTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(desktop_load_resources(std::string(QM_DIST_DIR) + "/", "en")); }

  void mailClientMode() {
    const std::string program = std::string(QM_DIST_DIR) + "/";
    const std::string store = std::string(QM_SOURCE_DIR) + "/mail/tests/store";
    setenv("MBOXPULL_STORE", store.c_str(), 1);
    TMailForm f(program);
    f.FileMask = "*.pst";
    QComboBox target;
    f.TargetCombo = &target;
    f.show();
    QVERIFY(f.OutlookMode());
    // The fixture's folders without the broken one, by their display names.
    const QStringList want = {QStringLiteral("store"), QStringLiteral("store\\Work"),
                              QStringLiteral("store\\Work\\Projects"), QStringLiteral("store\\archive"),
                              QStringLiteral("store\\lists.mbox"), QStringLiteral("store\\中文")};
    QCOMPARE(f.lvFind->topLevelItemCount(), want.size());
    for (int i = 0; i < want.size(); ++i) QCOMPARE(f.lvFind->topLevelItem(i)->text(0), want[i]);
    QVERIFY(f.editMailFolder->isHidden());
    f.lvFind->topLevelItem(2)->setSelected(true);
    f.lvFind->topLevelItem(5)->setSelected(true);
    f.btnOk->click();
    QCOMPARE(target.count(), 2);
    // Each database is named after the part of the display name behind its last "\".
    QCOMPARE(target.itemText(0), QStringLiteral("Projects"));
    QCOMPARE(target.itemText(1), QStringLiteral("中文"));
    const auto obj = target.itemData(0).value<TMailObject>();
    QCOMPARE(obj.FolderKey, std::string(".Work.Projects"));
    QCOMPARE(obj.SourcePath, std::string("store\\Work\\Projects"));
    QCOMPARE(obj.IndexDirectory, program + "DB/Projects/");
    QCOMPARE(f.ResultFolderKey, std::string("%E4%B8%AD%E6%96%87"));
    QCOMPARE(f.ResultIndexDir, program + "DB/中文/");  // index folders are named in UTF-8

    test::TempDir none{"qm-mailform-nostore-"};
    setenv("MBOXPULL_STORE", (none / "missing").c_str(), 1);
    TMailForm failed(program);
    failed.FileMask = "*.pst";
    failed.show();
    QCOMPARE(failed.lvFind->topLevelItemCount(), 0);
    unsetenv("MBOXPULL_STORE");
  }

  void fileSearchHandsBackPairs() {
    test::TempDir dir{"qm-mailform-"};
    dir.sub("a");
    dir.sub("b");
    test::write_file(dir / "a/inbox.snm", "x");
    test::write_file(dir / "a/inbox", std::string(3000, 'm'));
    test::write_file(dir / "b/sent.snm", "x");
    test::write_file(dir / "b/sent", std::string(1024, 'm'));
    test::write_file(dir / "b/tiny.snm", "x");
    test::write_file(dir / "b/tiny", std::string(1023, 'm'));
    ScriptedMessageSink sink;
    message_set_sink(&sink);
    TMailForm f("/prog/");
    f.FileMask = "*.snm";
    QComboBox target;
    f.TargetCombo = &target;
    f.show();
    QVERIFY(!f.OutlookMode());
    const QString start = QString::fromStdString(dir.dir());
    f.editMailFolder->setEditText(start);
    f.btnFindMail->click();
    QTRY_VERIFY(f.btnFindMail->isEnabled());
    QVERIFY(f.btnTerminate->isHidden());
    QCOMPARE(f.lvFind->topLevelItemCount(), 2);
    QCOMPARE(f.lblFind->text(), utf8_to_qstring(load_text(text::kMsgFoundBefore)) + "2" +
                                    utf8_to_qstring(load_text(text::kMsgFoundAfter)));
    QCOMPARE(f.lvFind->topLevelItem(0)->text(0), QStringLiteral("inbox"));
    QCOMPARE(f.lvFind->topLevelItem(1)->text(2), QStringLiteral("2KB"));

    // The same folder in other case adds no second history entry.
    f.editMailFolder->setEditText(start.toUpper());
    f.btnFindMail->click();
    QTRY_VERIFY(f.btnFindMail->isEnabled());
    QCOMPARE(f.editMailFolder->count(), 1);

    // Nothing selected: 12019, the dialog stays.
    f.editMailFolder->setEditText(start);
    f.btnFindMail->click();
    QTRY_VERIFY(f.btnFindMail->isEnabled());
    sink.expect(load_text(text::kMsgNoMailChosen), load_text(text::kCaptionInformation),
                kStyleInformation, kAnswerOk);
    f.btnOk->click();
    QCOMPARE(sink.pending(), size_t(0));
    QVERIFY(f.isVisible());
    for (int i = 0; i < 2; ++i) f.lvFind->topLevelItem(i)->setSelected(true);
    f.btnOk->click();
    QCOMPARE(target.count(), 2);
    QCOMPARE(target.itemData(0).value<TMailObject>().SourcePath, dir / "a/inbox");
    QCOMPARE(target.itemData(1).value<TMailObject>().SourcePath, dir / "b/sent");
    QCOMPARE(f.ResultName, std::string("sent"));
    QCOMPARE(f.ResultIndexDir, std::string("/prog/DB/sent/"));
    QVERIFY2(sink.failures().empty(), sink.failures().c_str());
    message_set_sink(nullptr);
  }

  // Folders and file names are the file system's bytes: searched under the typed folder's
  // own bytes, shown through the file-name codec, handed back byte for byte; the database
  // is named by the name's Big5 form.
  void pathsStayFileSystemBytes() {
    const struct {
      const char* folder;  // under the scratch folder; typed as the start folder
      const char* sub;     // below it, holding the mail file
      const char* file;
      const char* name;    // the database's name, Big5
      const char* shown;   // the file and its folder's last part as the list shows them
    } cases[] = {
        {"\xE9\x83\xB5", "\xE4\xBB\xB6", "\xE6\x94\xB6.mbx", "\xA6\xAC", "收.mbx 件"},  // UTF-8
        {"jos\xC3\xA9", "caf\xC3\xA9", "box.mbx", "box", "box.mbx café"},                    // accented
        {"plain", "\xB6\x6C\xA5\xF3", "\xA6\xAC.mbx", "\xA6\xAC", "收.mbx 郵件"},         // Big5 names
        {"plain", "ascii", "\xE4\xB8\xAD.mbx", "\xA4\xA4", "中.mbx ascii"},  // UTF-8 below plain folders
    };
    for (const auto& c : cases) {
      test::TempDir dir{"qm-mailform-"};
      const std::string folder = dir / (std::string(c.folder) + "/" + c.sub + "/");
      std::filesystem::create_directories(folder);
      test::write_file(folder + c.file, std::string(2000, 'm'));
      TMailForm f("/prog/");
      f.FileMask = "*.mbx";
      QComboBox target;
      f.TargetCombo = &target;
      f.show();
      f.editMailFolder->setEditText(QString::fromUtf8((dir / c.folder).c_str()));
      f.btnFindMail->click();
      QTRY_VERIFY(f.btnFindMail->isEnabled());
      QCOMPARE(f.lvFind->topLevelItemCount(), 1);
      QTreeWidgetItem* row = f.lvFind->topLevelItem(0);
      const QStringList shown = QString::fromUtf8(c.shown).split(QLatin1Char(' '));
      QCOMPARE(row->text(0), shown[0]);
      QVERIFY2(row->text(1).endsWith(QLatin1Char('/') + shown[1] + QLatin1Char('/')), qPrintable(row->text(1)));
      row->setSelected(true);
      f.btnOk->click();
      QCOMPARE(f.ResultSource, folder + c.file);
      QCOMPARE(f.ResultName, std::string(c.name));
      QCOMPARE(target.itemText(0), big5_to_qstring(c.name));
    }
  }

  void terminateGivesStoppedText() {
    test::TempDir dir{"qm-mailform-"};
    dir.sub("a");
    test::write_file(dir / "a/box.mbx", std::string(2000, 'm'));
    TMailForm f("/prog/");
    f.FileMask = "*.mbx";
    f.show();
    f.editMailFolder->setEditText(QString::fromStdString(dir.dir()));
    f.btnFindMail->click();
    f.btnTerminate->click();
    QTRY_VERIFY(f.btnFindMail->isEnabled());
    // The walk may end before the stop is seen; then one file was found.
    const QString stopped = utf8_to_qstring(load_text(text::kMsgSearchStopped));
    QVERIFY(f.lblFind->text() == stopped || f.lvFind->topLevelItemCount() == 1);
  }
};

QTEST_MAIN(MailFormTest)
#include "mail_form_qtest.moc"
