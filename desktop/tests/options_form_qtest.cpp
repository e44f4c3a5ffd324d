// The options form offscreen: the colour grid's clicks and the clearing panel, the
// composed MarkBeginText, the extension rules as typed, the values read back (ResultCount
// 5 shows 50, MatchRate 85% puts the bar at 85), the Apply button's enable rules,
// settingsApplied only on Apply, Cancel saving nothing, and the hidden pages and address.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/forms/options_form.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;

namespace {

std::string key(const std::string& ini, const char* section, const char* name) {
  IniTree tree;
  tree.load(ini);
  return tree.get(section, name).value_or("<none>");
}

}  // namespace

class OptionsFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TempDir> dir_;
  std::string ini_;

  static int open(TOptionsForm& form, const std::function<void()>& steps) {
    QTimer::singleShot(0, &form, steps);
    return form.exec();
  }

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() {
    dir_ = std::make_unique<test::TempDir>("qm-options-");
    test::write_file(dir_->path() + "quillmere.rcc",
                     test::read_file(std::string(QM_DIST_DIR) + "/quillmere.rcc"));
    QVERIFY(desktop_load_resources(dir_->path(), "en"));
    ini_ = dir_->path() + "vesprin.ini";
    test::write_file(ini_, "[VESPRIN]\nCacheFile=1\nResultCount=5\nMatchRate=85%\nTxtExtType=c,h,,bas\n"
                           "[INDEX]\n3=1\n[DB-3]\nDescription=Docs\nWorkDir=" + dir_->path() +
                           "db/\nHtmlDir=" + dir_->path() + "\nAutoIndex=1\n");
  }
  void cleanup() {
    desktop_texts().clear();
    dir_.reset();
  }

  void valuesReadBack() {
    TOptionsForm form(dir_->path());
    open(form, [&] {
      QCOMPARE(form.cspedtRstCnt->value(), 50);  // "5" shows 50
      QCOMPARE(form.MatchRateBar->value(), 85);
      QCOMPARE(form.MatchRateLable->text(), QStringLiteral("85%"));
      QCOMPARE(form.PrecisionLable->text(), QString());
      QCOMPARE(form.listboxTxtType->count(), 3);  // txt, c, h: reading stops at the empty item
      QCOMPARE(form.listboxTxtType->item(0)->text(), QStringLiteral("txt"));
      QCOMPARE(form.keyColor->ForegroundIndex(), 9);
      // No highlight keys: the dialog opens on the search engine's own mark, red text of
      // the page's size without a background.
      QCOMPARE(form.keyColor->BackgroundIndex(), -1);
      QVERIFY(form.lblFG->isHidden() && !form.lblBG->isHidden());
      QCOMPARE(form.lbSize->currentRow(), 5);
      QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet1);
      QVERIFY(!form.PageControl1->isTabVisible(2) && !form.PageControl1->isTabVisible(3));
      QVERIFY(form.GroupBox2->isHidden());
      QVERIFY(form.editURL->isReadOnly() && !form.editURL->text().isEmpty());
      QVERIFY(!form.btnApply->isEnabled());
      form.btnCancel->click();
    });
  }

  void colourGridAndMarkBeginText() {
    TOptionsForm form(dir_->path());
    open(form, [&] {
      // Left click on cell 12 (blue) for the text, right click on cell 0 for the background.
      QTest::mouseClick(form.keyColor, Qt::LeftButton, {}, form.keyColor->CellRect(12).center());
      QTest::mouseClick(form.keyColor, Qt::RightButton, {}, form.keyColor->CellRect(0).center());
      QCOMPARE(form.keyColor->ForegroundIndex(), 12);
      QCOMPARE(form.keyColor->BackgroundIndex(), 0);
      QVERIFY(form.btnApply->isEnabled());
      form.btnOk->click();
    });
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "MarkBeginText")),
             QStringLiteral("<FONT COLOR=#0000ff STYLE=BACKGROUND:#000000>"));
    QCOMPARE(form.Marks(), (HighlightMarks{-1, "0000ff", "000000"}));

    // The clearing panel: left clears the text colour, right the background; size entry 5.
    open(form, [&] {
      QTest::mouseClick(form.Panel1, Qt::LeftButton);
      QTest::mouseClick(form.Panel1, Qt::RightButton);
      QVERIFY(!form.lblFG->isHidden() && !form.lblBG->isHidden());
      form.lbSize->setCurrentRow(5);
      form.btnOk->click();
    });
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "MarkBeginText")), QStringLiteral("<FONT>"));
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "KeyColorIndex")), QStringLiteral("-1"));
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "KeySize")), QStringLiteral("5"));
    QCOMPARE(form.Marks(), (HighlightMarks{-1, "", ""}));
    // Opened again: the marks shown for the cleared colours.
    open(form, [&] {
      QVERIFY(!form.lblFG->isHidden() && !form.lblBG->isHidden());
      QCOMPARE(form.lbSize->currentRow(), 5);
      form.btnCancel->click();
    });
  }

  void extensionsAsTyped() {
    TOptionsForm form(dir_->path());
    open(form, [&] {
      QCOMPARE(form.editTxtType->maxLength(), 5);
      for (const char* typed : {"TXT", "Pdf", "c++", "C", "pgx"}) {
        form.editTxtType->setText(QString::fromLatin1(typed));
        form.btnAdd->click();
      }
      QVERIFY(!form.btnApply->isEnabled());  // nothing was added
      QCOMPARE(form.editTxtType->text(), QStringLiteral("pgx"));
      form.editTxtType->setText(QStringLiteral("Log"));
      QTest::keyClick(form.editTxtType, Qt::Key_Return);  // Enter adds too
      QCOMPARE(form.listboxTxtType->count(), 4);
      QCOMPARE(form.listboxTxtType->item(3)->text(), QStringLiteral("log"));
      QVERIFY(form.btnApply->isEnabled());
      // Removing a selection that holds "txt" keeps "txt" first.
      form.listboxTxtType->item(0)->setSelected(true);
      form.listboxTxtType->item(1)->setSelected(true);
      form.btnRemove->click();
      QCOMPARE(form.listboxTxtType->count(), 3);
      QCOMPARE(form.listboxTxtType->item(0)->text(), QStringLiteral("txt"));
      form.btnOk->click();
    });
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "TxtExtType")), QStringLiteral("h,log"));
  }

  void applyRulesAndSignal() {
    TOptionsForm form(dir_->path());
    QSignalSpy applied(&form, &TOptionsForm::settingsApplied);
    open(form, [&] {
      QVERIFY(!form.btnApply->isEnabled());
      struct Change {
        const char* name;
        std::function<void()> make;
      } changes[] = {
          {"match rate", [&] { form.MatchRateBar->setValue(90); }},
          {"precision", [&] { form.PrecisionBar->setValue(-12); }},
          {"animation", [&] { form.chkWizard->setChecked(!form.chkWizard->isChecked()); }},
          {"page size", [&] { form.cspedtRstCnt->setValue(70); }},
          {"size", [&] { form.lbSize->setCurrentRow(2); }},
          {"colour", [&] { QTest::mouseClick(form.keyColor, Qt::LeftButton, {}, form.keyColor->CellRect(3).center()); }},
      };
      for (const Change& c : changes) {
        c.make();
        QVERIFY2(form.btnApply->isEnabled(), c.name);
        form.btnApply->click();
        QVERIFY2(!form.btnApply->isEnabled(), c.name);
      }
      QCOMPARE(form.MatchRateLable->text(), QStringLiteral("90%"));
      QCOMPARE(form.PrecisionLable->text(), QStringLiteral("-12%"));
      QCOMPARE(applied.count(), 6);
      form.cspedtRstCnt->setValue(80);
      form.btnCancel->click();  // not saved
    });
    QCOMPARE(applied.count(), 6);
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "ResultCount")), QStringLiteral("70"));
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "MatchRate")), QStringLiteral("90%"));
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "Precision")), QStringLiteral("-12%"));
    // OK saves without the signal.
    open(form, [&] {
      QVERIFY(!form.btnApply->isEnabled());  // disabled at every activation
      form.cspedtRstCnt->setValue(100);
      form.btnOk->click();
    });
    QCOMPARE(applied.count(), 6);
    QCOMPARE(QString::fromStdString(key(ini_, "VESPRIN", "ResultCount")), QStringLiteral("100"));
  }

  void hiddenAutoIndexPage() {
    TOptionsForm form(dir_->path());
    open(form, [&] {
      form.TabSheet3Show();
      QCOMPARE(form.listviewDB->topLevelItemCount(), 1);
      QCOMPARE(form.listviewDB->topLevelItem(0)->text(0), QStringLiteral("Docs"));
      QCOMPARE(form.listviewDB->topLevelItem(0)->checkState(0), Qt::Checked);
      form.listviewDB->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
      QVERIFY(form.btnApply->isEnabled());
      form.btnOk->click();
    });
    QCOMPARE(QString::fromStdString(key(ini_, "DB-3", "AutoIndex")), QStringLiteral("0"));
  }
};

QTEST_MAIN(OptionsFormTest)
#include "options_form_qtest.moc"
