// The index wizard from the main window, offscreen, with the real indexer, searcher and
// marker linked from dist: a first start with only the tree's root offers the wizard,
// Yes opens it, a document database is built over a fixture folder, and after Finish the
// tree shows the new database checked and a search in the main window finds a word of
// the folder.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <functional>

#include "desktop/app.h"
#include "desktop/catalogue/folder_tree.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/wizard_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/indexing/schedule.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

// A program directory without databases: the built programs and tables linked from dist,
// a search configuration and a folder of two plain-text documents.
struct EmptyProgramDir {
  test::TempDir dir{"qm-wizard-main-"};
  std::string docs;
  EmptyProgramDir() {
    test::program_dir_from_dist(dir.path(),
                                {"indexer", "searcher", "marker", "big5.dat", "big5.ref", "desktop_hits.htm"});
    docs = dir.sub("docs");
    test::write_file(docs + "/teas.txt", "Oolong and pu-erh are fermented teas.\n");
    test::write_file(docs + "/coffee.txt", "Arabica beans grow in the highlands.\n");
    test::write_file(dir / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\nResultCount=100\n");
  }
};

}  // namespace

class WizardMainTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void cleanup() { test::drop_sink_and_texts(); }

  void builtDatabaseIsCheckedAndSearchable() {
    EmptyProgramDir pd;
    QVERIFY(desktop_load_resources(pd.dir.path(), "en"));
    ScriptedMessageSink sink;
    sink.expect(load_text(text::kAskStartWizard), load_text(text::kCaptionQuestion),
                kStyleQuestionYesNo, kAnswerYes);
    message_set_sink(&sink);
    auto form = desktop_create_main_window(pd.dir.path());
    QVERIFY(form);

    // The wizard is modal: it is driven from the event loop once it shows.
    bool finished = false;
    std::string trouble;
    std::function<void()> drive = [&] {
      auto* w = qobject_cast<TWizardForm*>(QApplication::activeModalWidget());
      if (!w) return QTimer::singleShot(10, drive);
      w->editHtmDir->setText(QString::fromStdString(pd.docs));
      w->btnNext->click();
      w->btnNext->click();
      for (QCheckBox* b : {w->chkHtm, w->chkPgx, w->chkWord, w->chkExcel, w->chkPower, w->chkPdf, w->chkRTF})
        b->setChecked(false);
      w->editDBName->setText(QStringLiteral("Beverages"));
      while (w->Step() < 6) {
        const int before = w->Step();
        w->btnNext->click();
        if (w->Step() == before) {
          trouble = "stuck at step " + std::to_string(before);
          return w->btnCancel->click();
        }
      }
      w->schedule().WaitFinished();
      if (!w->btnFinish->isEnabled()) trouble = "Finish not enabled after the build";
      if (w->lbl3->text() != QLatin1String("2")) trouble = "documents counted: " + w->lbl3->text().toStdString();
      finished = true;
      w->btnFinish->click();
    };
    QTimer::singleShot(0, drive);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTRY_VERIFY_WITH_TIMEOUT(finished, 60000);
    QVERIFY2(trouble.empty(), trouble.c_str());
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    QCOMPARE(sink.pending(), size_t(0));

    // The tree holds the new database, checked, and searching is possible.
    TreeNode* node = form->tvDB->model().find_database(1);
    QVERIFY(node);
    QCOMPARE(node->text, std::string("Beverages"));
    QCOMPARE(node->state, int(kStateChecked));
    QVERIFY(fs::exists(pd.dir.path() + "Folder.dat"));

    form->cmbSrchHistory->setEditText(QStringLiteral("oolong"));
    QVERIFY(form->btnSearch->isEnabled());
    form->btnSearchClick();
    QCOMPARE(form->hits()->rowCount(), 1);
    QCOMPARE(form->hits()->text(0, 1), QStringLiteral("teas.txt"));
    form->close();
  }
};

QTEST_MAIN(WizardMainTest)
#include "wizard_main_qtest.moc"
