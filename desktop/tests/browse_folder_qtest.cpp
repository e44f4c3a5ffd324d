// Offscreen tests of the folder browser: the initial selection and its compressed status
// text, OK only on a directory, the extra button (width, sync with OK, its signal), the
// chosen folder handed back, and Cancel leaving Directory unchanged.
#include <QPushButton>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include "desktop/forms/browse_folder.h"
#include "desktop/mailfind/browse_text.h"
#include "testsupport/test_files.h"

using namespace qm;

class BrowseFolderTest : public QObject {
  Q_OBJECT

 private slots:
  void selectionStatusAndCustomButton() {
    test::TempDir dir{"qm-browse-"};
    const std::string deep = dir.sub("one/two/three/four/five");
    const QString target = QString::fromStdString(deep).chopped(1);  // without the last "/"
    TBrowseFolder b;
    b.Directory = target;
    b.Title = QStringLiteral("Pick");
    b.ShowPathInStatusArea = true;
    b.CustomButtonVisible = true;
    b.SyncCustomButton = true;
    b.SetCustomButtonCaption(QStringLiteral("New"));
    b.SetCustomButtonWidth(0);
    QCOMPARE(b.CustomButtonWidth(), 75);
    QSignalSpy initialized(&b, &TBrowseFolder::OnInitialized);
    QSignalSpy custom(&b, &TBrowseFolder::OnCustomButtonClick);
    bool checked = false;
    QTimer::singleShot(0, &b, [&] {
      QCOMPARE(b.SelectionPath(), target);
      QCOMPARE(b.statusLabel()->text(),
               QString::fromStdString(CompressString(target.toStdString(), "/", "...", 35)));
      QVERIFY(b.statusLabel()->text().size() <= 35 || target.count('/') <= 3);
      QVERIFY(b.okButton()->isEnabled());
      QCOMPARE(b.customButton()->width(), 75);
      QCOMPARE(b.customButton()->text(), QStringLiteral("New"));
      b.customButton()->click();
      // No selection: OK and the synchronised button are off.
      b.tree()->setCurrentIndex(QModelIndex());
      QVERIFY(!b.okButton()->isEnabled());
      QVERIFY(!b.CustomButtonEnabled());
      b.SetSelectionPath(target);
      QVERIFY(b.okButton()->isEnabled());
      checked = true;
      b.okButton()->click();
    });
    QVERIFY(b.Execute());
    QVERIFY(checked);
    QCOMPARE(b.Directory, target);
    QCOMPARE(initialized.count(), 1);
    QCOMPARE(custom.count(), 1);
  }

  void cancelKeepsDirectory() {
    test::TempDir dir{"qm-browse-"};
    const QString start = QString::fromStdString(dir.sub("a")).chopped(1);
    const QString other = QString::fromStdString(dir.sub("b")).chopped(1);
    TBrowseFolder b;
    b.Directory = start;
    QTimer::singleShot(0, &b, [&] {
      b.SetSelectionPath(other);
      QCOMPARE(b.SelectionPath(), other);
      b.reject();
    });
    QVERIFY(!b.Execute());
    QCOMPARE(b.Directory, start);
  }

  void rootFolders() {
    QCOMPARE(RootFolderPath(TSHFolders::foDesktopExpanded), QStringLiteral("/"));
    QCOMPARE(RootFolderPath(TSHFolders::foPrinters), QStringLiteral("/"));
    QVERIFY(!RootFolderPath(TSHFolders::foPersonal).isEmpty());
  }
};

QTEST_MAIN(BrowseFolderTest)
#include "browse_folder_qtest.moc"
