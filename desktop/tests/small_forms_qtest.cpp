// Offscreen tests of the small windows: the document property dialog for a document and
// for a mail (sender "0" hidden), the bookmark property dialog (browsing sets the caption
// to the file name, blanks disable OK), the layout dialog (three boxes cleared hide tool
// bar, tree and preview, the list's box stays checked and disabled), the web search form
// (a+b in scope 2 and the home page through the opener) and the about box's service link.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include <stdexcept>

#include "desktop/app.h"
#include "desktop/forms/layout_form.h"
#include "desktop/forms/property_forms.h"
#include "desktop/forms/web_srch_form.h"
#include "desktop/maker_pages.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

using namespace qm;

class SmallFormsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(desktop_load_resources(std::string(QM_DIST_DIR) + "/", "en")); }

  // An exception that no handler caught is shown once, with its own text, before the
  // program ends; a body that returns is not reported.
  void uncaughtExceptionIsShown() {
    ScriptedMessageSink sink;
    message_set_sink(&sink);
    const std::string error = load_text(text::kCaptionError);
    sink.expect(load_text(text::kMsgProgramError) + "disk on fire", error, kStyleStop, kAnswerOk);
    QVERIFY(!desktop_catch([] { throw std::runtime_error("disk on fire"); }));
    sink.expect(load_text(text::kMsgProgramError) + "unknown exception", error, kStyleStop, kAnswerOk);
    QVERIFY(!desktop_catch([] { throw 42; }));
    bool ran = false;
    QVERIFY(desktop_catch([&] { ran = true; }));
    QVERIFY(ran);
    QVERIFY2(sink.failures().empty(), sink.failures().c_str());
    QCOMPARE(sink.pending(), size_t(0));
    message_set_sink(nullptr);
  }

  void documentProperties() {
    TDocPtyForm f;
    f.show();
    QCOMPARE(f.windowTitle(), QString::fromStdString(load_text(text::kDocPtyCaption)));
    const struct {
      const char* sender;
      bool shown;
    } cases[] = {{"", false}, {"0", false}, {"ann@example.org", true}, {"00", true}};
    for (const auto& c : cases) {
      f.ShowProperties({"a.htm", "Documents", "Docs", QString::fromLatin1(c.sender), "Title",
                        "2024/01/02", "/d/a.htm"});
      QCOMPARE(f.lblSender->isVisible(), c.shown);
      QCOMPARE(f.editSender->isVisible(), c.shown);
    }
    QCOMPARE(f.lblCaption->text(), QStringLiteral("a.htm"));
    QCOMPARE(f.lblDBName->text(), QStringLiteral("Docs"));
    QCOMPARE(f.editHtmlDir->text(), QStringLiteral("/d/a.htm"));
    QVERIFY(f.editTitle->isReadOnly());
    QTest::keyClick(&f, Qt::Key_Escape);
    QVERIFY(!f.isVisible());
  }

  void bookmarkPropertiesBrowseAndBlanks() {
    TBMPtyForm f;
    QString filter_seen;
    f.set_file_chooser([&filter_seen](QWidget*, const QString& filter) {
      filter_seen = filter;
      return QStringLiteral("/some/folder/a.doc");
    });
    f.SetBookmark(QStringLiteral("old"), QStringLiteral("/old.htm"));
    f.show();
    QVERIFY(f.btnOk->isEnabled());
    f.SpeedButton1->click();
    QCOMPARE(f.edtCaption->text(), QStringLiteral("a.doc"));
    QCOMPARE(f.editBookMark->text(), QStringLiteral("/some/folder/a.doc"));
    QCOMPARE(filter_seen, f.filter());
    f.edtCaption->clear();
    QTest::keyClicks(f.edtCaption, QStringLiteral("   "));
    QCOMPARE(f.edtCaption->text(), QString());
    QVERIFY(!f.btnOk->isEnabled());
    QTest::keyClicks(f.edtCaption, QStringLiteral("my doc "));
    QCOMPARE(f.edtCaption->text(), QStringLiteral("my doc "));
    QVERIFY(f.btnOk->isEnabled());
    f.btnOk->click();
    QCOMPARE(f.AcceptedCaption, QStringLiteral("my doc"));
    QCOMPARE(f.AcceptedTarget, QStringLiteral("/some/folder/a.doc"));
    QCOMPARE(f.result(), int(QDialog::Accepted));
  }

  void fileFilters() {
    const struct {
      const char* text;
      const char* filter;
    } cases[] = {
        {"Web pages (*.htm, *.html)", "Web pages (*.htm *.html)"},
        {"All files (*.*)|*.*|HTML (*.htm;*.html)|*.htm;*.html", "All files (*.*);;HTML (*.htm *.html)"},
        {"Text (*.txt);;Word (*.doc)", "Text (*.txt);;Word (*.doc)"},
    };
    for (const auto& c : cases)
      QCOMPARE(bookmark_file_filter(QString::fromLatin1(c.text)), QString::fromLatin1(c.filter));
  }

  void layoutHidesAllButTheList() {
    QWidget tool, tree, preview, list;
    for (QWidget* w : {&tool, &tree, &preview, &list}) w->show();
    TLayoutForm f;
    f.SetPanes(&tool, &tree, &preview, nullptr);
    f.show();
    QVERIFY(f.chkToolBar->isChecked() && f.chkTreeView->isChecked() && f.chkPreview->isChecked());
    QVERIFY(f.chkListView->isChecked());
    QVERIFY(!f.chkListView->isEnabled());
    QVERIFY(!f.btnApply->isEnabled());
    for (QCheckBox* b : {f.chkToolBar, f.chkTreeView, f.chkPreview}) b->click();
    QVERIFY(f.btnApply->isEnabled());
    f.btnApply->click();
    QVERIFY(!f.btnApply->isEnabled());
    QVERIFY(tool.isHidden() && tree.isHidden() && preview.isHidden());
    QVERIFY(!list.isHidden());
    // Cancel applies nothing.
    f.chkPreview->click();
    f.btnCancel->click();
    QVERIFY(preview.isHidden());
  }

  void webSearchAddresses() {
    std::vector<std::string> opened;
    TWebSrchForm f("search.example.org", [&opened](const std::string& a) { opened.push_back(a); });
    f.show();
    QVERIFY(f.radio4->isChecked());
    QCOMPARE(f.scope(), '0');
    QVERIFY(!f.BtnOk->isEnabled());
    QTest::keyClicks(f.editStrings, QStringLiteral(" "));
    QVERIFY(!f.BtnOk->isEnabled());
    QTest::keyClicks(f.editStrings, QStringLiteral("a+b"));
    QVERIFY(f.BtnOk->isEnabled());
    f.radio2->click();
    QCOMPARE(f.scope(), '2');
    f.BtnOk->click();
    QTest::mouseClick(f.Image1, Qt::LeftButton);
    QCOMPARE(opened, (std::vector<std::string>{
                         "http://search.example.org/cgi-bin/vesprin/tsearch?p=a%2Bb&func=2&a=15&w=2000",
                         "http://search.example.org/vesprin/"}));
    // A Big5 word goes as %XX pairs for both of its bytes.
    opened.clear();
    f.show();
    f.editStrings->setText(QStringLiteral("\u4e2d x"));
    f.radio1->click();
    f.BtnOk->click();
    QCOMPARE(opened, std::vector<std::string>{
                         "http://search.example.org/cgi-bin/vesprin/tsearch?p=%A4%A4 x&func=1&a=15&w=2000"});
  }

  void aboutOpensTheServiceSite() {
    std::vector<std::string> opened;
    TAboutF f([&opened](const std::string& a) { opened.push_back(a); });
    f.show();
    QVERIFY(!f.Image1->pixmap().isNull());
    QTest::mouseClick(f.LabelServiceURL, Qt::LeftButton);
    QCOMPARE(opened, std::vector<std::string>{maker::kService});
  }
};

QTEST_MAIN(SmallFormsTest)
#include "small_forms_qtest.moc"
