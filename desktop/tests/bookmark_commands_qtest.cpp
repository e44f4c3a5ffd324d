// Offscreen tests of the main window's bookmark and property commands: a hit bookmarked
// from the list (not a mail; the path cut before its page part) gets a menu entry whose
// click opens it through the recording opener; a deleted file gives 9026; a failing
// opener asks 9019 and OK opens the temp.htm copy; the bookmarks and the layout chosen in
// the layout dialog are stored at close; the hit properties of a document and a mail; the
// web search form on the maker's host.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/bookmark_form.h"
#include "desktop/forms/layout_form.h"
#include "desktop/forms/property_forms.h"
#include "desktop/forms/web_srch_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/maker_pages.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/shell_open.h"
#include "testsupport/test_files.h"

using namespace qm;

namespace {

struct Program {
  test::TempDir dir{"qm-bmcmd-"};
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<ShellOpener> shell;
  std::string log;

  // opener_body: the shell script that stands for the opener ("$1" is the target).
  explicit Program(const std::string& opener_body) {
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    const std::string root = dir.path();
    test::write_file(dir / "quillmere.rcc", test::read_file(dist + "quillmere.rcc"));
    test::write_file(dir / "vesprin.htm", test::read_file(dist + "vesprin.htm"));
    test::write_file(dir / "vesprin.ini",
                     "[VESPRIN]\nA=1\n[INDEX]\n1=1\n2=1\n"
                     "[DB-1]\nDescription=Docs\nWorkDir=" + root + "db/\nHtmlDir=" + root + "docs/\n"
                     "[DB-2]\nDescription=Letters\nWorkDir=" + root + "mdb/\nHtmlDir=" + root +
                     "mail.mbx\nMail=1\n");
    dir.sub("docs/sub");
    test::write_file(dir / "docs/sub/a.htm", "<p>a</p>");
    log = dir / "opened";
    test::write_file(dir / "opener", "#!/bin/sh\n" + opener_body);
    chmod((dir / "opener").c_str(), 0755);
    desktop_load_resources(root, "en");
    form = desktop_create_main_window(root);
    shell = std::make_unique<ShellOpener>(dir / "opener", 5000);
    form->set_shell_opener(shell.get());
    form->SetUpBookmarks();
    HitRow doc;
    doc.caption = "1";
    doc.sub[kSubName] = "sub/a.htm";
    doc.sub[kSubTitle] = "Title A";
    doc.sub[kSubDate] = "2024/01/02 AM 09:30";
    doc.database_id = 1;
    HitRow mail = doc;
    mail.caption = "2";
    mail.sub[kSubName] = "Tea party";
    mail.sub[kSubSender] = "0";
    mail.database_id = 2;
    mail.mail = true;
    form->hits()->set_rows({doc, mail});
  }
  void select(int row) {
    form->ListView1->selectionModel()->select(
        form->hits()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  std::string opened() const { return test::read_file(log); }
  QAction* last_entry() const { return form->mBookMark->actions().last(); }
};

const std::string kRecord = "echo \"$1\" >> ";

}  // namespace

class BookmarkCommandsTest : public QObject {
  Q_OBJECT

  ScriptedMessageSink sink_;

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() { message_set_sink(&sink_); }
  void cleanup() {
    QCOMPARE(QString::fromStdString(sink_.failures()), QString());
    QCOMPARE(sink_.pending(), size_t(0));
    message_set_sink(nullptr);
    desktop_texts().clear();
  }

  void addedBookmarkOpensAndIsSavedAtClose() {
    Program p("");
    p.log = p.dir / "opened";
    test::write_file(p.dir / "opener", "#!/bin/sh\n" + kRecord + p.log + "\n");
    QCOMPARE(p.form->mBookMark->actions().size(), 3);
    // A mail hit is not bookmarked.
    p.select(1);
    p.form->popAddBM->trigger();
    QCOMPARE(p.form->mBookMark->actions().size(), 3);
    p.select(0);
    p.form->mAddBM->trigger();
    QCOMPARE(p.form->mBookMark->actions().size(), 4);
    QCOMPARE(p.last_entry()->text(), QStringLiteral("sub/a.htm"));
    QCOMPARE(p.last_entry()->data().toInt(), 1);
    p.last_entry()->trigger();
    QCOMPARE(QString::fromStdString(p.opened()), QString::fromStdString(p.dir / "docs/sub/a.htm\n"));
    // The file is gone: 9026, nothing opened.
    std::remove((p.dir / "docs/sub/a.htm").c_str());
    sink_.expect(load_text(text::kMsgBookmarkMissing), load_text(text::kCaptionError), kStyleStop,
                 kAnswerOk);
    p.last_entry()->trigger();
    QCOMPARE(QString::fromStdString(p.opened()), QString::fromStdString(p.dir / "docs/sub/a.htm\n"));
    // A file name in UTF-8 becomes a Big5 caption that shows as the list shows it.
    p.form->hits()->update_rows([](std::vector<HitRow>& rows) { rows[0].sub[kSubName] = "sub/\xE4\xB8\xAD.htm"; });
    p.form->mAddBM->trigger();
    QCOMPARE(p.last_entry()->text(), QStringLiteral("sub/\u4e2d.htm"));
    // Closing the window stores the bookmarks.
    p.form->close();
    std::vector<BookmarkRecord> records;
    QCOMPARE(bookmark_dat_read(p.dir / "Bookmark.dat", records), BookmarkDatStatus::Ok);
    QCOMPARE(records.size(), size_t(3));
    QCOMPARE(records[2].caption, std::string("sub/\xA4\xA4.htm"));
    QCOMPARE(QString::fromStdString(records[1].path), QString::fromStdString(p.dir / "docs/sub/a.htm"));
  }

  void failingOpenerOffersTheTempCopy() {
    Program p("");
    p.log = p.dir / "opened";
    // The opener fails for the document and opens file addresses.
    test::write_file(p.dir / "opener", "#!/bin/sh\ncase \"$1\" in file://*) " + kRecord + p.log +
                                           ";; *) exit 1;; esac\n");
    p.select(0);
    p.form->mAddBM->trigger();
    const std::string ask = load_text(text::kAskOpenAsText);
    const std::string caption = load_text(text::kCaptionQuestion);
    sink_.expect(ask, caption, kStyleQuestionOkCancel, kAnswerCancel);
    p.last_entry()->trigger();
    QCOMPARE(p.opened(), std::string());
    sink_.expect(ask, caption, kStyleQuestionOkCancel, kAnswerOk);
    p.last_entry()->trigger();
    QCOMPARE(QString::fromStdString(p.opened()), QString::fromStdString("file://" + p.dir / "temp.htm\n"));
    QCOMPARE(test::read_file(p.dir / "temp.htm"), std::string("<p>a</p>"));
  }

  void propertiesOfADocumentAndAMail() {
    Program p("");
    struct Seen {
      QString caption, type, database, title, date, path;
      bool sender;
    } seen{};
    auto look = [&p, &seen] {
      QTimer::singleShot(0, [&p, &seen] {
        TDocPtyForm* f = p.form->doc_pty_form();
        seen = {f->lblCaption->text(), f->editDocType->text(), f->lblDBName->text(),
                f->editTitle->text(), f->editDate->text(), f->editHtmlDir->text(),
                f->editSender->isVisible()};
        f->btnOk->click();
      });
    };
    p.select(0);
    look();
    p.form->mContent->trigger();
    QCOMPARE(seen.caption, QStringLiteral("a.htm"));
    QCOMPARE(seen.type, QString::fromStdString(load_text(text::kTypeDocuments)));
    QCOMPARE(seen.database, QStringLiteral("Docs"));
    QCOMPARE(seen.title, QStringLiteral("Title A"));
    QCOMPARE(seen.date, QStringLiteral("2024/01/02 AM 09:30"));
    QCOMPARE(seen.path, QString::fromStdString(p.dir / "docs/sub/a.htm"));
    QVERIFY(!seen.sender);
    p.select(1);
    look();
    p.form->mContent->trigger();
    QCOMPARE(seen.caption, QStringLiteral("Tea party"));
    QCOMPARE(seen.type, QString::fromStdString(load_text(text::kTypeMail)));
    QCOMPARE(seen.database, QStringLiteral("Letters"));
    // The mail database's HtmlDir as the catalogue gives it.
    QCOMPARE(seen.path, QString::fromStdString(p.form->catalog()->HitDocumentPath(2, "x")));
    QVERIFY(seen.path.startsWith(QString::fromStdString(p.dir / "mail.mbx")));
    QVERIFY(!seen.sender);  // the sender "0"
  }

  void layoutChosenIsStoredAtClose() {
    Program p("");
    QTimer::singleShot(0, [] {
      auto* f = qobject_cast<TLayoutForm*>(QApplication::activeModalWidget());
      QVERIFY(f);
      for (QCheckBox* b : {f->chkToolBar, f->chkTreeView, f->chkPreview}) b->click();
      f->btnOk->click();
    });
    p.form->menuLayout->trigger();
    QVERIFY(p.form->panelTool->isHidden() && p.form->panelLeft->isHidden() &&
            p.form->panelPreview->isHidden());
    QVERIFY(!p.form->ListView1->isHidden());
    p.form->close();
    IniTree ini;
    QVERIFY(ini.load(p.dir / "vesprin.ini"));
    for (const char* key : {"Tool", "Catalog", "Preview"})
      QCOMPARE(QString::fromStdString(ini.get("SIZE", key).value_or("?")), QStringLiteral("0"));
  }

  void webSearchOnTheMakersHost() {
    Program p("");
    p.log = p.dir / "opened";
    test::write_file(p.dir / "opener", "#!/bin/sh\n" + kRecord + p.log + "\n");
    QTimer::singleShot(0, [] {
      auto* f = qobject_cast<TWebSrchForm*>(QApplication::activeModalWidget());
      QVERIFY(f);
      f->editStrings->setText(QStringLiteral("tea"));
      f->BtnOk->click();
    });
    p.form->btnWebSearch->click();
    QCOMPARE(p.opened(), std::string("http://") + maker::kWebSearchHost +
                             "/cgi-bin/vesprin/tsearch?p=tea&func=0&a=15&w=2000\n");
  }
};

QTEST_MAIN(BookmarkCommandsTest)
#include "bookmark_commands_qtest.moc"
