// Offscreen tests of the index management window over a scratch program directory whose
// "indexer" is a script: checked rows rebuilt in list order with their kinds' command
// lines, the statuses of every ending, a run stopped by closing (after a Cancel that
// keeps it going), and removing a database by its row's id with its files.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <sys/stat.h>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/env_fulltext_form.h"
#include "desktop/forms/rebuild_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"
#include "testsupport/test_processes.h"

using namespace qm;

namespace {

// Databases 1 "Docs", 2 "Mail" (attachments), 3 "Letters" (mail), 4 "Slow"; the builder
// notes its arguments in "log" and, by id: 1 writes a fulltext.db and ends well, 2 ends
// well without one, 3 fails with a '3' line, 4 stays silent until it is stopped.
struct EnvDir {
  test::TempDir dir{"qm-env-"};
  EnvDir() {
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    test::write_file(dir / "quillmere.rcc", test::read_file(dist + "quillmere.rcc"));
    const std::string root = dir.path();
    std::string ini = "[VESPRIN]\nSearcher=/s\n[INDEX]\n1=1\n2=1\n3=1\n4=1\n";
    const char* names[] = {"Docs", "Mail", "Letters", "Slow"};
    const char* extra[] = {"", "Mail=1\nAttach=1\n", "Mail=1\n", ""};
    for (int id = 1; id <= 4; ++id) {
      const std::string work = dir.sub("DB/db-" + std::to_string(id));
      test::write_file(work + "fulltext.db", "");
      ini += "[DB-" + std::to_string(id) + "]\nDescription=" + names[id - 1] + "\nHtmlDir=" + root +
             "docs/\nWorkDir=" + work + "\n" + extra[id - 1];
    }
    test::write_file(dir / "vesprin.ini", ini);
    const std::string script =
        "#!/bin/sh\nfor a; do id=${a#-x}; done\necho \"$*\" >> " + root + "log\ncase $id in\n"
        "1) printf text > " + root + "DB/db-1/fulltext.db; printf '1 Reading\\r\\n0 a.htm\\r\\n"
        "1 1 documents indexed, 2 skipped\\r\\n\\032\\032';;\n"
        "2) printf '\\032\\032';;\n"
        "3) printf '3 broken\\r\\n';;\n"
        "4) echo $$ > " + root + "pid4; exec sleep 30;;\nesac\n";
    test::write_file(dir / "indexer", script);
    chmod((dir / "indexer").c_str(), 0755);
  }
  std::string path() const { return dir.path(); }
};

void check(TEnvFullTextForm& form, int id) { form.row_of(id)->setCheckState(0, Qt::Checked); }

}  // namespace

class EnvFullTextTest : public QObject {
  Q_OBJECT

  std::unique_ptr<EnvDir> dir_;
  std::unique_ptr<TEnvFullTextForm> form_;
  ScriptedMessageSink sink_;

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() {
    dir_ = std::make_unique<EnvDir>();
    QVERIFY(desktop_load_resources(dir_->path(), "en"));
    sink_ = ScriptedMessageSink();
    message_set_sink(&sink_);
    form_ = std::make_unique<TEnvFullTextForm>(dir_->path());
    form_->show();
    QCOMPARE(form_->listviewDB->topLevelItemCount(), 4);
  }
  void cleanup() {
    form_.reset();
    message_set_sink(nullptr);
    QCOMPARE(QString::fromStdString(sink_.failures()), QString());
    QCOMPARE(sink_.pending(), size_t(0));
    dir_.reset();
  }

  void checkedRowsRunInListOrder() {
    QVERIFY(!form_->btnReBuild->isEnabled());
    check(*form_, 2);
    check(*form_, 1);
    QVERIFY(form_->btnReBuild->isEnabled());
    QCOMPARE(form_->row_status(1), 0);
    form_->btnReBuildClick();
    QVERIFY(form_->busy());
    QVERIFY(form_->btnTerminate->isVisible());
    QVERIFY(!form_->btnRemoveDB->isEnabled());
    QTRY_VERIFY(!form_->busy());
    const std::string w = std::to_string(static_cast<uint64_t>(form_->winId()));
    QCOMPARE(QString::fromStdString(test::read_file(dir_->path() + "log")),
             QString::fromStdString("-corvdoc -w" + w + " -f10 -x1\n-ncl -mail -w" + w + " -f10 -x2\n"));
    QCOMPARE(form_->row_status(1), int(text::kBuildBuilt));
    QCOMPARE(form_->row_status(2), int(text::kBuildNotBuilt));
    // The builder's closing count stands beside the status.
    QCOMPARE(form_->row_of(1)->text(2), QStringLiteral("Built: 1 documents indexed, 2 skipped"));
    QCOMPARE(form_->row_of(2)->text(2), QString::fromStdString(load_text(text::kBuildNotBuilt)));
    QCOMPARE(form_->row_of(1)->checkState(0), Qt::Unchecked);
    QVERIFY(!form_->row_of(1)->text(1).isEmpty());
    QVERIFY(form_->btnReBuild->isVisible());
    QVERIFY(!form_->btnReBuild->isEnabled());
    QVERIFY(!form_->btnTerminate->isVisible());
    QVERIFY(form_->btnRemoveDB->isEnabled());
  }

  void failedBuildAndUncheckedRows() {
    check(*form_, 3);
    form_->row_of(3)->setCheckState(0, Qt::Unchecked);
    QVERIFY(!form_->btnReBuild->isEnabled());
    QCOMPARE(form_->row_status(3), int(text::kBuildNotBuilt));
    check(*form_, 3);
    form_->btnReBuildClick();
    QTRY_VERIFY(!form_->busy());
    QCOMPARE(QString::fromStdString(test::read_file(dir_->path() + "log")).split(' ').first(), QString("-ncl"));
    QCOMPARE(form_->row_status(3), int(text::kBuildFailed));
    // Why, in the builder's own words.
    QCOMPARE(form_->row_of(3)->text(2), QStringLiteral("Ended with an error: broken"));
  }

  // The columns are the name, the last index time and the status, headed so.
  void columnHeads() {
    const QTreeWidgetItem* head = form_->listviewDB->headerItem();
    const int ids[] = {text::kEnvColumnName, text::kEnvColumnTime, text::kEnvColumnStatus};
    for (int c = 0; c < 3; ++c) QCOMPARE(head->text(c), QString::fromStdString(load_text(ids[c])));
    QCOMPARE(head->text(1), QStringLiteral("Last indexed"));
    QCOMPARE(head->text(2), QStringLiteral("Status"));
    QVERIFY(!form_->row_of(1)->text(1).isEmpty() && form_->row_of(1)->text(1).contains(QLatin1Char('/')));
  }

  void closingWhileBusyAsksAndStops() {
    check(*form_, 4);
    form_->btnReBuildClick();
    QTRY_COMPARE(form_->row_status(4), int(text::kBuildBuilding));
    QTRY_VERIFY(!test::read_file(dir_->path() + "pid4").empty());
    const pid_t pid = pid_t(std::stol(test::read_file(dir_->path() + "pid4")));
    sink_.expect(load_text(text::kAskStopBuild), load_text(text::kCaptionQuestion), kStyleQuestionOkCancel,
                 kAnswerCancel);
    QVERIFY(!form_->close());
    QVERIFY(form_->isVisible());
    QVERIFY(form_->busy());
    QVERIFY(!test::process_stopped(pid));
    sink_.expect(load_text(text::kAskStopBuild), load_text(text::kCaptionQuestion), kStyleQuestionOkCancel,
                 kAnswerOk);
    QVERIFY(form_->close());
    QVERIFY(!form_->busy());
    QCOMPARE(form_->row_status(4), int(text::kBuildStopped));
    QVERIFY(test::wait_stopped(pid));
  }

  void addAndPropertiesRefillTheList() {
    QVERIFY(form_->btnAddDB->isEnabled());
    const std::string docs = dir_->dir.sub("docs");
    QTimer::singleShot(0, form_.get(), [&] {
      auto* edit = qobject_cast<TRebuildForm*>(QApplication::activeModalWidget());
      QVERIFY(edit);
      QCOMPARE(edit->DatabaseId, 5);
      edit->editDBName->setText(QStringLiteral("Added"));
      edit->editHtmDir->setText(QString::fromStdString(docs));
      sink_.expect(load_text(text::kMsgDatabaseAdded), load_text(text::kCaptionInformation),
                   kStyleInformation, kAnswerOk);
      edit->btnOk->click();
      if (edit->isVisible()) edit->reject();  // a refusal shows in the sink's failures
    });
    form_->btnAddDB->click();
    QCOMPARE(form_->listviewDB->topLevelItemCount(), 5);
    QVERIFY(form_->row_of(5));
    QCOMPARE(form_->row_of(5)->text(0), QStringLiteral("5.Added"));

    form_->listviewDB->setCurrentItem(form_->row_of(1));
    QTimer::singleShot(0, form_.get(), [&] {
      auto* edit = qobject_cast<TRebuildForm*>(QApplication::activeModalWidget());
      QVERIFY(edit);
      QCOMPARE(edit->DatabaseId, 1);
      QCOMPARE(edit->editDBName->text(), QStringLiteral("Docs"));
      edit->editDBName->setText(QStringLiteral("Renamed"));
      edit->chkTxt->setChecked(true);  // the entry names no document type
      sink_.expect(load_text(text::kMsgDatabaseChanged), load_text(text::kCaptionInformation),
                   kStyleInformation, kAnswerOk);
      edit->btnOk->click();
      if (edit->isVisible()) edit->reject();  // a refusal shows in the sink's failures
    });
    form_->btnPropertyDB->click();
    QCOMPARE(form_->row_of(1)->text(0), QStringLiteral("1.Renamed"));
  }

  void removeDeletesByRowId() {
    form_->listviewDB->setCurrentItem(form_->row_of(3));
    sink_.expect(load_text(text::kAskRemoveDatabase) + " -- [3.Letters]", load_text(text::kCaptionQuestion),
                 kStyleQuestionOkCancel, kAnswerCancel);
    form_->btnRemoveDBClick();
    QVERIFY(form_->row_of(3));
    sink_.expect(load_text(text::kAskRemoveDatabase) + " -- [3.Letters]", load_text(text::kCaptionQuestion),
                 kStyleQuestionOkCancel, kAnswerOk);
    sink_.expect(load_text(text::kMsgDatabaseRemoved), load_text(text::kCaptionInformation), kStyleInformation,
                 kAnswerOk);
    form_->btnRemoveDBClick();
    QVERIFY(!form_->row_of(3));
    QCOMPARE(form_->listviewDB->topLevelItemCount(), 3);
    QVERIFY(!QFile::exists(QString::fromStdString(dir_->path() + "DB/db-3/fulltext.db")));
    QVERIFY(QFile::exists(QString::fromStdString(dir_->path() + "DB/db-4/fulltext.db")));
    IniTree ini;
    QVERIFY(ini.load(dir_->path() + "vesprin.ini"));
    QVERIFY(!ini.get("INDEX", "3"));
    QVERIFY(ini.get("INDEX", "4"));
  }
};

QTEST_MAIN(EnvFullTextTest)
#include "env_fulltext_qtest.moc"
