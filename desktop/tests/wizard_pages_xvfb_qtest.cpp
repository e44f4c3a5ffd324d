// Screenshots of every page of the index wizard for a person to look at, under a real X
// server: the test starts its own Xvfb (-displayfd, stopped by its pid at the end), runs
// the wizard on it in English and Chinese, and saves one PNG per page into
// build/wizard-pages/ (the document road up to the progress page during and after a
// scripted build, then the mail pages). Each page is checked for widgets that stick out
// of the window or lie over each other. Skipped when Xvfb is not installed.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>

#include <sys/stat.h>

#include "desktop/app.h"
#include "desktop/forms/wizard_form.h"
#include "desktop/indexing/schedule.h"
#include "desktop/messages.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"
#include "testsupport/xvfb_server.h"

using namespace qm;

namespace {

// What went wrong starting the X server, when it is installed but gave no display.
std::string g_server_trouble;

const QString kShots = QStringLiteral(QM_DIST_DIR "/../wizard-pages/");

// Visible widgets of the page that are not inside the window, or that overlap a sibling
// (layouts never let siblings overlap; a clipped or crowded page does).
QStringList layout_faults(QWidget* window) {
  QStringList faults;
  auto shown = [window](QObject* o) {
    auto* w = qobject_cast<QWidget*>(o);
    return w && !w->isWindow() && w->isVisibleTo(window) ? w : nullptr;
  };
  QList<QWidget*> parents{window};
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!shown(w)) continue;
    parents << w;
    if (!window->rect().contains(QRect(w->mapTo(window, QPoint(0, 0)), w->size())))
      faults << w->metaObject()->className() + QStringLiteral(" outside");
  }
  for (QWidget* p : parents) {
    const QObjectList& kids = p->children();
    for (int i = 0; i < kids.size(); ++i)
      for (int j = i + 1; j < kids.size(); ++j) {
        QWidget* a = shown(kids[i]);
        QWidget* b = shown(kids[j]);
        if (a && b && a->geometry().intersects(b->geometry()))
          faults << QString::fromLatin1(a->metaObject()->className()) + " over " + b->metaObject()->className();
      }
  }
  return faults;
}

}  // namespace

class WizardPagesTest : public QObject {
  Q_OBJECT

  test::TempDir dir_{"qm-wizard-shots-"};
  std::string docs_;
  ScriptedMessageSink sink_;  // no message is expected

  void shoot(TWizardForm& f, const QString& name) {
    QApplication::processEvents();
    QTest::qWait(50);
    const QStringList faults = layout_faults(&f);
    QVERIFY2(faults.isEmpty(), qPrintable(name + ": " + faults.join(", ")));
    const QPixmap shot = f.screen()->grabWindow(f.winId());
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(kShots + name + ".png"));
  }

 private slots:
  void initTestCase() {
    QVERIFY2(g_server_trouble.empty(), g_server_trouble.c_str());
    if (qEnvironmentVariableIsEmpty("DISPLAY")) QSKIP("Xvfb is needed (scripts/setup)");
    common_set_desktop_profile(true);
    message_set_sink(&sink_);
    QVERIFY(QDir().mkpath(kShots));
    docs_ = dir_.sub("docs");
    test::write_file(docs_ + "/a.txt", "alpha\n");
    test::write_file(docs_ + "/inbox.mbx", std::string(4000, 'x'));
    test::write_file(docs_ + "/sent.mbx", std::string(9000, 'x'));
    test::write_file(dir_ / "vesprin.ini", "[VESPRIN]\nA=1\n");
    // A builder that reports one document and waits for its go file, then ends well.
    test::write_file(dir_ / "indexer", "#!/bin/sh\nprintf '1 Sorting\\r\\n0 " + docs_ +
                                           "/a.txt\\r\\n2 45\\r\\n'\nuntil test -e " + dir_.path() +
                                           "go; do sleep 0.05; done\nprintf '\\032\\032'\n");
    chmod((dir_ / "indexer").c_str(), 0755);
  }

  void cleanupTestCase() {
    message_set_sink(nullptr);
    QCOMPARE(QString::fromStdString(sink_.failures()), QString());
  }

  void everyPage_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("en") << QStringLiteral("en");
    QTest::newRow("zh_TW") << QStringLiteral("zh_TW");
  }

  void everyPage() {
    QFETCH(QString, language);
    QVERIFY(desktop_load_resources(std::string(QM_DIST_DIR) + "/", language.toStdString()));
    std::remove((dir_ / "go").c_str());
    TWizardForm f(dir_.path());
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QString prefix = language + "-";
    shoot(f, prefix + "0-kind");
    f.editHtmDir->setText(QString::fromStdString(docs_));
    const char* names[] = {"1-folder", "2-types", "3-name", "4-index-folder", "5-ready"};
    for (const char* name : names) {
      f.btnNext->click();
      shoot(f, prefix + name);
    }
    f.btnNext->click();
    QCOMPARE(f.Step(), 6);
    QTRY_COMPARE(f.lbl3->text(), QStringLiteral("1"));
    shoot(f, prefix + "6-progress-building");
    test::write_file(dir_ / "go", "");
    f.schedule().WaitFinished();
    QVERIFY(f.btnFinish->isEnabled());
    shoot(f, prefix + "6-progress-built");
    f.btnFinish->click();

    // The mail road, from a new start.
    f.show();
    f.radioMail->setChecked(true);
    f.btnNext->click();
    f.editMailFolder->setEditText(QString::fromStdString(docs_));
    f.radioIE4->setChecked(true);
    shoot(f, prefix + "7-mail-kind");
    f.btnNext->click();
    QTRY_VERIFY(f.btnNext->isEnabled());
    QCOMPARE(f.lvFind->topLevelItemCount(), 2);
    f.lvFind->topLevelItem(0)->setSelected(true);
    shoot(f, prefix + "8-mail-files");
    f.btnNext->click();
    shoot(f, prefix + "9-mail-group");
    f.btnCancel->click();
  }
};

// The X server of this run: started before the application, stopped by its pid after it.
int main(int argc, char** argv) {
  test::XvfbServer server;
  if (server.start()) {
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  } else if (server.installed()) {
    g_server_trouble = server.error();
  }
  if (server.display().empty()) {
    // No server of our own: the pages are skipped, offscreen.
    unsetenv("DISPLAY");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    WizardPagesTest test;
    result = QTest::qExec(&test, argc, argv);
  }
  if (!server.display().empty() && !server.stop()) result = 1;
  return result;
}

#include "wizard_pages_xvfb_qtest.moc"
