// The advanced-search form offscreen: the composed search text, the dates handed to the
// filter under a day-month-year locale, the mail fields of the request, OK disabled while
// the main box is empty, the enabling check boxes, and the state kept across openings.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "desktop/app.h"
#include "desktop/forms/search_adv_form.h"
#include "desktop/messages.h"
#include "desktop/search/search_request.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;

class SearchAdvTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TempDir> dir_;

  // Shows the form modally as the main window does, runs the steps while it is open.
  static int open(TSearchAdvForm& form, const std::function<void()>& steps) {
    QTimer::singleShot(0, &form, steps);
    return form.exec();
  }

 private slots:
  void initTestCase() {
    dir_ = std::make_unique<test::TempDir>("qm-advform-");
    test::write_file(dir_->path() + "quillmere.rcc",
                     test::read_file(std::string(QM_DIST_DIR) + "/quillmere.rcc"));
    QVERIFY(desktop_load_resources(dir_->path(), "en"));
  }
  void cleanupTestCase() { desktop_texts().clear(); }

  void composedQueryAndOperators() {
    struct Case {
      const char *main, *str1;
      int op1;
      const char* str2;
      int op2;
      const char* query;
    } cases[] = {
        {"x", "y", 0, "z", 2, "x*y-z"},
        {"x", "   ", 0, "z", 1, "x+z"},
        {"tea", "", 0, "", 1, "tea"},
    };
    TSearchAdvForm form;
    QCOMPARE(form.cmbOperator1->count(), 3);
    QCOMPARE(form.cmbOperator1->currentIndex(), 0);
    QCOMPARE(form.cmbOperator2->currentIndex(), 1);
    for (const Case& c : cases) {
      const int result = open(form, [&] {
        form.SetKeyword(c.main);
        form.cmbStr1->setEditText(QString::fromLatin1(c.str1));
        form.cmbOperator1->setCurrentIndex(c.op1);
        form.cmbStr2->setEditText(QString::fromLatin1(c.str2));
        form.cmbOperator2->setCurrentIndex(c.op2);
        form.btnOk->click();
      });
      QCOMPARE(result, int(QDialog::Accepted));
      QCOMPARE(QString::fromStdString(form.Choice().query), QString::fromLatin1(c.query));
    }
    // The boxes that held text keep it in their lists; the blank box added nothing.
    QCOMPARE(form.cmbStr1->count(), 1);
    QCOMPARE(form.cmbStr1->itemText(0), QStringLiteral("y"));
    QCOMPARE(form.cmbSrhAdv->count(), 3);
  }

  void okNeedsTheMainText() {
    TSearchAdvForm form;
    open(form, [&] {
      form.SetKeyword("");
      QVERIFY(!form.btnOk->isEnabled());
      form.cmbSrhAdv->setEditText(QStringLiteral("t"));
      QVERIFY(form.btnOk->isEnabled());
      form.cmbSrhAdv->setEditText(QString());
      QVERIFY(!form.btnOk->isEnabled());
      QTest::keyClick(&form, Qt::Key_Escape);
    });
    QCOMPARE(form.result(), int(QDialog::Rejected));
  }

  void datesUnderADayMonthYearLocale() {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));  // dd/MM/yyyy
    TSearchAdvForm form;
    // Created with today and 90 days earlier.
    QCOMPARE(form.editTimeT->date(), QDate::currentDate());
    QCOMPARE(form.editTimeF->date(), QDate::currentDate().addDays(-90));
    QCOMPARE(form.editMailF->date(), QDate::currentDate().addDays(-90));
    QVERIFY(!form.editTimeF->isEnabled() && !form.cmbSize->isEnabled() && !form.editMailF->isEnabled());
    QVERIFY(form.chkMailContent->isChecked());
    QCOMPARE(form.cmbSize->minimum(), 0);
    QCOMPARE(form.cmbSize->maximum(), 30000);
    QCOMPARE(form.cmbSize->value(), 1);
    open(form, [&] {
      form.SetKeyword("tea");
      form.chkFilterDate->setChecked(true);
      QVERIFY(form.editTimeF->isEnabled() && form.editTimeT->isEnabled());
      form.editTimeF->setDate(QDate(2000, 3, 5));
      form.editTimeT->setDate(QDate(2001, 12, 31));
      form.chkFilterSize->setChecked(true);
      QVERIFY(form.cmbSize->isEnabled() && form.cmbKB->isEnabled());
      form.cmbSize->setValue(40000);  // beyond the arrows' range
      form.cmbKB->setCurrentIndex(1);
      form.chkFilterName->setChecked(true);
      form.cmbFilterName->setEditText(QStringLiteral("*.htm"));
      form.chkMailDate->setChecked(true);
      form.editMailF->setDate(QDate(1999, 1, 2));
      form.btnOk->click();
    });
    QLocale::setDefault(before);
    const AdvancedSearchChoice& c = form.Choice();
    QCOMPARE(QString::fromStdString(c.files.from_date), QStringLiteral("2000/3/5"));
    QCOMPARE(QString::fromStdString(c.files.to_date), QStringLiteral("2001/12/31"));
    QCOMPARE(QString::fromStdString(c.mail_date.from_date), QStringLiteral("1999/1/2"));
    QVERIFY(c.files.date_on && c.files.size_on && c.files.name_on && c.mail_date.on);
    QCOMPARE(c.files.size_limit, 30000);
    QVERIFY(!c.files.at_least);
    QCOMPARE(QString::fromStdString(c.files.name_mask), QStringLiteral("*.htm"));
    QVERIFY(!c.mail_search);
  }

  void mailFieldsOfTheRequest() {
    struct Case {
      bool mail_page, subject, sender, content;
      const char* k;  // the request's k part, "" for none
    } cases[] = {
        {true, true, false, true, "&k=1,3&"},
        {true, false, true, false, "&k=2&"},
        {true, false, false, false, ""},
        {false, true, true, true, ""},
    };
    TSearchAdvForm form;
    for (const Case& c : cases) {
      open(form, [&] {
        form.SetKeyword("tea");
        form.chkMailSubject->setChecked(c.subject);
        form.chkMailSender->setChecked(c.sender);
        form.chkMailContent->setChecked(c.content);
        form.PageControl1->setCurrentWidget(c.mail_page ? form.TabSheet3 : form.TabSheet2);
        form.btnOk->click();
      });
      SearchRequestInput in;
      in.database_ids = {1};
      in.homophone = true;
      in.text = form.Choice().query;
      in.mail_fields_wanted = form.Choice().mail_fields_wanted();
      for (int f = 0; f < 3; ++f) in.mail_fields[f] = form.Choice().mail_fields[f];
      const std::string q = *BuildSearchQuery(in);
      if (*c.k) {
        QVERIFY2(q.find(std::string("h=1") + c.k + "a=") != std::string::npos, q.c_str());
      } else {
        QVERIFY2(q.find("&k=") == std::string::npos, q.c_str());
      }
    }
  }

  void stateKeptAcrossOpenings() {
    TSearchAdvForm form;
    open(form, [&] {
      form.SetKeyword("tea");
      form.chkFilterName->setChecked(true);
      form.cmbFilterName->setEditText(QStringLiteral("a*"));
      form.chkMailSender->setChecked(true);
      form.cmbStr1->setEditText(QStringLiteral("leaf"));
      form.chkH->setChecked(true);
      form.btnOk->click();
    });
    open(form, [&] {
      // Every box as it was; the further keyword boxes start empty; the file page first.
      QVERIFY(form.chkFilterName->isChecked() && form.cmbFilterName->isEnabled());
      QCOMPARE(form.cmbFilterName->currentText(), QStringLiteral("a*"));
      QVERIFY(form.chkMailSender->isChecked());
      QVERIFY(form.chkH->isChecked());
      QCOMPARE(form.cmbStr1->currentText(), QString());
      QCOMPARE(form.cmbStr1->itemText(0), QStringLiteral("leaf"));
      QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet2);
      form.btnCancel->click();
    });
    QCOMPARE(QString::fromStdString(form.Choice().query), QStringLiteral("tea*leaf"));
  }

  void nearConceptFollowsTheMainWindow() {
    TSearchAdvForm form;
    form.NearConceptAllowed = false;
    open(form, [&] {
      QVERIFY(!form.chkL->isEnabled());
      form.btnCancel->click();
    });
    form.NearConceptAllowed = true;
    open(form, [&] {
      QVERIFY(form.chkL->isEnabled());
      form.btnCancel->click();
    });
  }
};

QTEST_MAIN(SearchAdvTest)
#include "search_adv_qtest.moc"
