// Offscreen tests of the main window: captions and title in both languages, the refusal
// without a configuration (message 9005 through the sink; the program's exit code 1),
// CacheDir written at creation, the history loaded and stored at close, the layout
// restored at first showing, the page-size captions, near-concept search without the
// lexicon, and the option boxes that follow their menu items.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QSignalSpy>
#include <QApplication>
#include <QTimer>
#include <functional>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/env_fulltext_form.h"
#include "desktop/forms/rebuild_form.h"
#include "desktop/maker_pages.h"
#include "platform/shell_open.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;

namespace {

// A program directory with the built resources beside a configuration of our own.
struct ProgramDir {
  test::TempDir dir{"qm-desktop-"};
  explicit ProgramDir(const std::string& ini) {
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    test::write_file(dir / "quillmere.rcc", test::read_file(dist + "quillmere.rcc"));
    test::write_file(dir / "vesprin.htm", test::read_file(dist + "vesprin.htm"));
    if (!ini.empty()) test::write_file(dir / "vesprin.ini", ini);
  }
  std::string path() const { return dir.path(); }
};

QString T(int id) { return QString::fromStdString(load_text(id)); }

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  // The program reads its configuration with the desktop's rules (the tree's catalogue).
  void initTestCase() { common_set_desktop_profile(true); }
  void cleanup() { test::drop_sink_and_texts(); }

  void captionsInBothLanguages() {
    ProgramDir pd("[VESPRIN]\nSearcher=/s\n");
    for (const char* language : {"en", "zh_TW"}) {
      QVERIFY(desktop_load_resources(pd.path(), language));
      auto form = desktop_create_main_window(pd.path());
      QVERIFY(form);
      QCOMPARE(form->windowTitle(), T(text::kTitleProduct) + "  " + T(text::kTitleVersion));
      QCOMPARE(form->mFile->title(), T(text::kMenuFile));
      QCOMPARE(form->mLexical->text(), T(text::kMenuLexical));
      QCOMPARE(form->mContent->text(), T(text::kPopProperty));
      QCOMPARE(form->btnSearch->text(), T(text::kButtonSearch));
      QCOMPARE(form->chkL->text(), T(text::kCheckLexical));
      QCOMPARE(form->ListView1->model()->headerData(4, Qt::Horizontal).toString(), T(text::kColumnDate));
      QCOMPARE(form->statusPanels[2]->text(), T(text::kStatusHits));
      QCOMPARE(form->lblCaption->text(), T(text::kTreeCaption));
      QVERIFY(!form->mFile->title().isEmpty());
    }
    QCOMPARE(QString::fromStdString(load_text(text::kMenuFile)), QString::fromUtf8("檔案(&F)"));
    QCOMPARE(QString::fromStdString(load_text(text::kTitleProduct)) + "  " +
                 QString::fromStdString(load_text(text::kTitleVersion)),
             QStringLiteral("Quillmere  2000"));
  }

  void missingResourcesLeaveTextsEmpty() {
    test::TempDir dir;
    test::write_file(dir / "vesprin.ini", "[VESPRIN]\nA=1\n");
    QVERIFY(!desktop_load_resources(dir.path(), "en"));
    auto form = desktop_create_main_window(dir.path());
    QVERIFY(form);  // the program goes on
    QCOMPARE(form->mFile->title(), QString());
  }

  void noConfigurationIsRefusedWithMessage9005() {
    ProgramDir pd("");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    ScriptedMessageSink sink;
    sink.expect(load_text(text::kMsgNoConfiguration), load_text(text::kCaptionError), kStyleStop,
                kAnswerOk);
    message_set_sink(&sink);
    QVERIFY(!desktop_create_main_window(pd.path()));
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    QCOMPARE(sink.pending(), size_t(0));
    QVERIFY(!QFile::exists(QString::fromStdString(pd.path() + "vesprin.ini")));
  }

  void creationWritesCacheDirAndLoadsHistory() {
    ProgramDir pd("[VESPRIN]\nSearcher=/s\n[HISTORY]\n0=alpha\n1=\xA4\xA4\xA4\xE5\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    QVERIFY(form);
    IniTree t;
    QVERIFY(t.load(pd.path() + "vesprin.ini"));
    QCOMPARE(QString::fromStdString(t.get("VESPRIN", "CacheDir").value_or("")),
             QString::fromStdString(pd.path() + "Cache/"));
    QCOMPARE(form->cmbSrchHistory->count(), 2);
    QCOMPARE(form->cmbSrchHistory->itemText(1), QString::fromUtf8("中文"));
    QVERIFY(!form->btnSearch->isEnabled());
    QVERIFY(form->mWizard->isEnabled());
    QVERIFY(form->HTML1->toPlainText().contains(QString::fromUtf8("全文檢索")));

    form->cmbSrchHistory->addItem(QString::fromUtf8("第三"));
    form->close();
    QVERIFY(t.load(pd.path() + "vesprin.ini"));
    QVERIFY(t.get("HISTORY", "2") == std::string("\xB2\xC4\xA4\x54"));  // 第三 in Big5
    QVERIFY(t.get("SIZE", "Width").has_value());
  }

  void firstShowingRestoresLayoutAndPageSize() {
    ProgramDir pd("[VESPRIN]\nResultCount=5\n[SIZE]\nWidth=5000\nHeight=300\nLeft=3000\n"
                  "Catalog=0\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    QVERIFY(form);
    bool splashClosed = false;
    form->set_on_first_show([&] { splashClosed = true; });
    // Only the tree's root: the wizard is offered; No leaves the window as it is.
    ScriptedMessageSink sink;
    sink.expect(load_text(text::kAskStartWizard), load_text(text::kCaptionQuestion),
                kStyleQuestionYesNo, kAnswerNo);
    message_set_sink(&sink);
    bool wizard_shown = false;
    QTimer::singleShot(0, [&] { wizard_shown = QApplication::activeModalWidget() != nullptr; });
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    message_set_sink(nullptr);
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    QCOMPARE(sink.pending(), size_t(0));
    QVERIFY(!wizard_shown);
    QVERIFY(splashClosed);
    // The search box has the focus, so typing searches from the start.
    QVERIFY(form->focusWidget() == form->cmbSrchHistory ||
            form->focusWidget() == form->cmbSrchHistory->lineEdit());
    const QSize screen = form->screen()->geometry().size();
    QCOMPARE(form->geometry().width(), screen.width());
    QCOMPARE(form->geometry().height(), 300);
    QCOMPARE(form->pending_page_size(), 100);
    QCOMPARE(form->page_size(), 100);
    QCOMPARE(form->spdbtnNext->text(), T(text::kPageNext) + "100" + T(text::kPageUnit));
    QCOMPARE(form->spdbtnLast->toolTip(), T(text::kPageHintBefore) + form->spdbtnLast->text() +
                                              T(text::kPageHintAfter));
    QVERIFY(form->panelLeft->isHidden());
    QVERIFY(form->btnShow->isVisible());
    form->btnShow->click();
    QVERIFY(!form->panelLeft->isHidden());
    QVERIFY(!form->btnShow->isVisible());
    form->close();
  }

  // Yes to the first offer opens the wizard; a tree with a database asks nothing.
  void firstShowingOffersTheWizard() {
    ProgramDir pd("[VESPRIN]\nA=1\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    ScriptedMessageSink sink;
    sink.expect(load_text(text::kAskStartWizard), load_text(text::kCaptionQuestion),
                kStyleQuestionYesNo, kAnswerYes);
    message_set_sink(&sink);
    QString opened;
    std::function<void()> close_wizard = [&] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w) return QTimer::singleShot(10, close_wizard);
      opened = w->objectName();
      w->close();
    };
    QTimer::singleShot(0, close_wizard);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    message_set_sink(nullptr);
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    QCOMPARE(sink.pending(), size_t(0));
    QCOMPARE(opened, QStringLiteral("TWizardForm"));
    form->close();

    ProgramDir with("[VESPRIN]\nA=1\n[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=/nowhere/\n");
    auto second = desktop_create_main_window(with.path());
    ScriptedMessageSink none;
    message_set_sink(&none);
    second->show();
    QVERIFY(QTest::qWaitForWindowExposed(second.get()));
    message_set_sink(nullptr);
    QCOMPARE(QString::fromStdString(none.failures()), QString());
    second->close();
  }

  void nearConceptNeedsTheLexicon() {
    ProgramDir pd("[VESPRIN]\nA=1\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto without = desktop_create_main_window(pd.path());
    QVERIFY(!without->chkL->isEnabled());
    QVERIFY(!without->mLexical->isEnabled());
    QVERIFY(without->chkH->isEnabled());
    test::write_file(pd.dir.sub("LexDB") + "cindex.db", "x");
    auto with = desktop_create_main_window(pd.path());
    QVERIFY(with->chkL->isEnabled());
    QVERIFY(with->mLexical->isEnabled());
  }

  void optionBoxesFollowTheirMenuItems() {
    ProgramDir pd("[VESPRIN]\nA=1\n[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=/nowhere/\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    form->mHomo->trigger();
    QVERIFY(form->mHomo->isChecked());
    QVERIFY(form->chkH->isChecked());
    form->chkF->click();
    QVERIFY(form->mFault->isChecked());
    form->mFault->trigger();
    QVERIFY(!form->chkF->isChecked());
    form->mClearHistory->trigger();
    QCOMPARE(form->cmbSrchHistory->count(), 0);

    // With the fault-tolerant box hidden, the near-concept box stands right of homophone.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->chkF->hide();
    QCoreApplication::processEvents();
    QVERIFY(form->chkL->geometry().left() > form->chkH->geometry().right());
    QVERIFY(form->chkL->geometry().left() - form->chkH->geometry().right() < 30);
    form->close();
  }

  void pagingQueuedMessagesAndBig5Refusal() {
    ProgramDir pd("[VESPRIN]\nResultCount=20\n[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=/nowhere/\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QSignalSpy pages(form.get(), &TMainForm::pageRequested);
    QVERIFY(!form->Panel3->isEnabled());  // no hits yet
    form->set_result_pages(1, 45);
    QVERIFY(!form->spdbtnLast->isEnabled());
    form->spdbtnNext->click();
    QCOMPARE(pages.count(), 1);
    QCOMPARE(pages.at(0).at(0).toInt(), 21);

    // The options' page size arrives as a queued call, not at once.
    form->post_options_applied(5);
    form->post_options_applied(30);
    QCOMPARE(form->pending_page_size(), 20);
    QCoreApplication::processEvents();
    QCOMPARE(form->pending_page_size(), 30);

    // A typed character without a Big5 form is refused with message 13001.
    ScriptedMessageSink sink;
    sink.expect(load_text(text::kMsgNotBig5), load_text(text::kCaptionError), kStyleStop, kAnswerOk);
    message_set_sink(&sink);
    std::string big5 = "kept";
    QVERIFY(!qstring_to_big5_or_warn(QString::fromUtf8("a\xF0\x9F\x98\x80"), big5));
    QCOMPARE(big5, std::string("kept"));
    QVERIFY(qstring_to_big5_or_warn(QString::fromUtf8("中文"), big5));
    QCOMPARE(big5, std::string("\xA4\xA4\xA4\xE5"));
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    form->close();
  }

  void helpAndMakerPagesGoToTheShellOpener() {
    ProgramDir pd("[VESPRIN]\nA=1\n");
    const std::string log = pd.path() + "opened";
    const std::string opener = pd.path() + "opener";
    test::write_file(opener, "#!/bin/sh\necho \"$1\" >> " + log + "\n");
    QFile::setPermissions(QString::fromStdString(opener), QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    ShellOpener shell(opener, 5000);
    form->set_shell_opener(&shell);
    form->btnHelp->click();
    form->mHome->trigger();
    QCOMPARE(QString::fromStdString(test::read_file(log)),
             QString::fromStdString(pd.path() + "help/index.html\n" + maker::kHome + "\n"));
  }

  // btnIndex and mIndex open the index window modally; a database added meanwhile is in
  // the tree afterwards.
  void indexWindowFromButtonAndMenu() {
    ProgramDir pd("[VESPRIN]\nA=1\n[INDEX]\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    QVERIFY(form->btnIndex->isEnabled());
    QVERIFY(form->mIndex->isEnabled());
    int opened = 0;
    auto close_when_open = [&] {
      QTimer::singleShot(0, [&] {
        auto* env = qobject_cast<TEnvFullTextForm*>(QApplication::activeModalWidget());
        QVERIFY(env);
        ++opened;
        test::write_file(pd.path() + "vesprin.ini",
                         "[VESPRIN]\nA=1\n[INDEX]\n5=1\n[DB-5]\nDescription=Late\nWorkDir=" + pd.path() +
                             "db/\nHtmlDir=" + pd.path() + "\n");
        env->close();
      });
    };
    close_when_open();
    form->btnIndex->click();
    close_when_open();
    form->mIndex->trigger();
    QCOMPARE(opened, 2);
    QVERIFY(form->tvDB->model().find_database(5));
  }

  void treePropertiesRenameTheNode() {
    ProgramDir pd("");
    test::write_file(pd.path() + "vesprin.ini",
                     "[VESPRIN]\nA=1\n[INDEX]\n5=1\n[DB-5]\nDescription=Late\nWorkDir=" + pd.path() +
                         "db/\nHtmlDir=" + pd.path() + "\nLocalFileType=txt\n");
    QVERIFY(desktop_load_resources(pd.path(), "en"));
    auto form = desktop_create_main_window(pd.path());
    TreeNode* node = form->tvDB->model().find_database(5);
    QVERIFY(node);
    form->tvDB->setCurrentItem(form->tvDB->item_of(node));
    QVERIFY(form->pProperty->isEnabled());
    ScriptedMessageSink sink;
    message_set_sink(&sink);
    sink.expect(load_text(text::kMsgDatabaseChanged), load_text(text::kCaptionInformation),
                kStyleInformation, kAnswerOk);
    QTimer::singleShot(0, [&] {
      auto* edit = qobject_cast<TRebuildForm*>(QApplication::activeModalWidget());
      QVERIFY(edit);
      QCOMPARE(edit->DatabaseId, 5);
      edit->editDBName->setText(QStringLiteral("Renamed"));
      edit->btnOk->click();
      if (edit->isVisible()) edit->reject();
    });
    form->pProperty->trigger();
    message_set_sink(nullptr);
    QVERIFY2(sink.failures().empty(), sink.failures().c_str());
    node = form->tvDB->model().find_database(5);
    QVERIFY(node);
    QCOMPARE(QString::fromStdString(node->text), QStringLiteral("Renamed"));
  }
};

QTEST_MAIN(MainFormTest)
#include "main_form_qtest.moc"
