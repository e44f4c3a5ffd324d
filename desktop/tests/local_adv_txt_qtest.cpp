// Offscreen tests of the plain-text extensions dialog: the list shown from the caller's
// text, Add through the button and Enter (lower-cased, refusals silent), Remove keeping
// "txt", OK handing the text back and Esc leaving it unchanged.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "desktop/app.h"
#include "desktop/forms/local_adv_txt_form.h"

using namespace qm;

class LocalAdvTxtTest : public QObject {
  Q_OBJECT

  static QStringList items(const TLocalAdvTxtF& f) {
    QStringList out;
    for (int i = 0; i < f.listboxTxtType->count(); ++i) out << f.listboxTxtType->item(i)->text();
    return out;
  }

 private slots:
  void initTestCase() { QVERIFY(desktop_load_resources(std::string(QM_DIST_DIR) + "/", "en")); }

  void loadsAddsAndSavesBack() {
    TLocalAdvTxtF f;
    f.ExtensionText = "log,htm";  // a refused extension from an old file is still shown
    f.show();
    QCOMPARE(items(f), (QStringList{"txt", "log", "htm"}));
    QCOMPARE(f.windowTitle(), QStringLiteral("Plain-Text Extensions"));

    const struct {
      const char* edit;
      bool added;
    } cases[] = {{"INI", true}, {"ini", false}, {"TXT", false}, {"html", false},
                 {"a.b", false}, {"", false}, {"c99", true}};
    for (const auto& c : cases) {
      const int before = f.listboxTxtType->count();
      f.editTxtType->setText(QString::fromLatin1(c.edit));
      QTest::keyClick(f.editTxtType, Qt::Key_Return);
      QCOMPARE(f.listboxTxtType->count(), before + (c.added ? 1 : 0));
      QCOMPARE(f.editTxtType->text(), QString::fromLatin1(c.edit).toLower());
    }
    QCOMPARE(items(f), (QStringList{"txt", "log", "htm", "ini", "c99"}));
    f.btnOk->click();
    QCOMPARE(f.ExtensionText, std::string("log,htm,ini,c99"));
    QCOMPARE(f.result(), int(QDialog::Accepted));
  }

  void removeKeepsTxtAndEscKeepsText() {
    TLocalAdvTxtF f;
    f.ExtensionText = "log,ini,cfg";
    f.show();
    for (int i = 0; i < f.listboxTxtType->count(); ++i)
      if (i != 2) f.listboxTxtType->item(i)->setSelected(true);
    f.btnRemove->click();
    QCOMPARE(items(f), (QStringList{"txt", "ini"}));
    QTest::keyClick(&f, Qt::Key_Escape);
    QCOMPARE(f.ExtensionText, std::string("log,ini,cfg"));
    f.show();
    QCOMPARE(items(f), (QStringList{"txt", "log", "ini", "cfg"}));
    for (int i = 1; i < 4; ++i) f.listboxTxtType->item(i)->setSelected(true);
    f.btnRemove->click();
    f.btnOk->click();
    QCOMPARE(f.ExtensionText, std::string());
  }
};

QTEST_MAIN(LocalAdvTxtTest)
#include "local_adv_txt_qtest.moc"
