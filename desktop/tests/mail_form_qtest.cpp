// Offscreen tests of the mail-store dialog: the mail-client mode over a scripted
// mail-store library (the refused folder skipped; a failed load lists nothing), a file
// search of .snm pairs handed back as TMailObjects, the history without case-blind
// duplicates, message 12019 with nothing selected, and the terminate button's status.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <stdlib.h>

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
    unsetenv("QM_FAKE_MBOX_LOGIN_FAILS");
    TMailForm f(QM_FAKE_MBOX_DIR);
    f.FileMask = "*.pst";
    QComboBox target;
    f.TargetCombo = &target;
    f.show();
    QVERIFY(f.OutlookMode());
    QCOMPARE(f.lvFind->topLevelItemCount(), 2);
    QCOMPARE(f.lvFind->topLevelItem(0)->text(0), QStringLiteral("Inbox"));
    QCOMPARE(f.lvFind->topLevelItem(1)->text(0), QStringLiteral("Sent Items"));
    QVERIFY(f.editMailFolder->isHidden());
    f.lvFind->topLevelItem(1)->setSelected(true);
    f.btnOk->click();
    QCOMPARE(target.count(), 1);
    QCOMPARE(target.itemText(0), QStringLiteral("Sent Items"));
    const auto obj = target.itemData(0).value<TMailObject>();
    QCOMPARE(obj.FolderKey, std::string("k/sent"));
    QCOMPARE(obj.SourcePath, std::string("Sent Items"));
    QCOMPARE(obj.IndexDirectory, std::string(QM_FAKE_MBOX_DIR) + "DB/Sent Items/");
    QCOMPARE(f.ResultFolderKey, std::string("k/sent"));

    setenv("QM_FAKE_MBOX_LOGIN_FAILS", "1", 1);
    TMailForm failed(QM_FAKE_MBOX_DIR);
    failed.FileMask = "*.pst";
    failed.show();
    QCOMPARE(failed.lvFind->topLevelItemCount(), 0);
    unsetenv("QM_FAKE_MBOX_LOGIN_FAILS");
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
