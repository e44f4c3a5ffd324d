// Offscreen tests of the bookmark manager: the example tree of root, folder A holding
// bookmark b and a separator, saved and mirrored into a menu after its first three
// entries; drags (zones with the red line, a hit dropped on a bookmark lands after it,
// mail hits refused, a node moved into a folder); the root that cannot be deleted, the
// separator that cannot be renamed and offers no New folder, a folder deleted with its
// bookmarks; properties changing caption and path; a rename saved by the queued reload.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTimer>
#include <QtTest>

#include "common/big5_codec.h"
#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/forms/bookmark_form.h"
#include "desktop/forms/property_forms.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;

namespace {

struct Setup {
  test::TempDir dir{"qm-bookmarks-"};
  QMenu menu;
  std::vector<int> clicked;
  std::optional<BookmarkHit> hit;
  std::unique_ptr<TBookmarkForm> form;
  QWidget list;  // stands for the result list

  // A Bookmark.dat of the records given (none: no file).
  explicit Setup(const std::vector<BookmarkRecord>& records = {}) {
    if (!records.empty()) bookmark_dat_write(dir / "Bookmark.dat", records);
    for (const char* name : {"Add", "Organize"}) menu.addAction(QString::fromLatin1(name));
    menu.addSeparator();
    form = std::make_unique<TBookmarkForm>(dir.path());
    form->SetBookmarkMenu(&menu, [this](int tag) { clicked.push_back(tag); });
    form->SetHitSource(&list, [this] { return hit; });
    form->resize(400, 400);
    form->show();
  }
  std::vector<BookmarkRecord> stored() const {
    std::vector<BookmarkRecord> out;
    bookmark_dat_read(dir / "Bookmark.dat", out);
    return out;
  }
  std::string shape() const {
    std::string out;
    for (const BookmarkRecord& r : stored()) out += std::to_string(r.level) + r.caption + " ";
    return out;
  }
  BookmarkNode* node(int position) const { return form->tree().node_at(position); }
  QRect rect_of(int position) const {
    return form->tvBM->visualItemRect(form->item_of(node(position)));
  }
};

// The open name editor of the tree (closed editors wait for their deletion).
QLineEdit* open_editor(TBookmarkForm& form) {
  for (QLineEdit* e : form.tvBM->findChildren<QLineEdit*>())
    if (e->isVisible()) return e;
  return nullptr;
}

BookmarkRecord rec(uint8_t kind, int level, const char* caption, std::string path = {}) {
  BookmarkRecord r;
  r.kind = kind;
  r.level = level;
  r.caption = caption;
  r.path = std::move(path);
  return r;
}

std::string separator() {
  std::string big5;
  big5_from_utf8(load_text(text::kBookmarkSeparatorLabel), big5);
  return big5;
}

}  // namespace

class BookmarkFormTest : public QObject {
  Q_OBJECT

  ScriptedMessageSink sink_;

 private slots:
  void initTestCase() { QVERIFY(desktop_load_resources(std::string(QM_DIST_DIR) + "/", "en")); }
  void init() { message_set_sink(&sink_); }
  void cleanup() {
    QCOMPARE(QString::fromStdString(sink_.failures()), QString());
    QCOMPARE(sink_.pending(), size_t(0));
    message_set_sink(nullptr);
  }

  void exampleTreeSavedAndMirrored() {
    Setup s;
    QCOMPARE(s.form->tvBM->topLevelItem(0)->text(0), QStringLiteral("Bookmarks"));
    QCOMPARE(s.menu.actions().size(), 3);
    s.form->select_node(s.form->tree().root());
    QVERIFY(s.form->bmNewFolder->isEnabled());
    s.form->bmNewFolderClick();
    // The new folder is being edited; its name typed and committed.
    QTreeWidgetItem* item = s.form->tvBM->currentItem();
    QVERIFY(item);
    QCOMPARE(item->text(0), QStringLiteral("New Folder"));
    auto* editor = open_editor(*s.form);
    QVERIFY(editor);
    editor->setText(QStringLiteral("A"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(QString::fromStdString(s.shape()), QStringLiteral("0Bookmarks 1A "));
    s.form->select_node(s.node(1));
    s.form->bmSeparateClick();
    s.hit = BookmarkHit{"b", "/docs/b.htm", false};
    const QRect a = s.rect_of(1);
    QVERIFY(s.form->tvBMDragDrop(a.center(), true));
    QCOMPARE(QString::fromStdString(s.shape()),
             QString::fromStdString("0Bookmarks 1A 2b 1" + separator() + " "));
    const std::vector<BookmarkRecord> records = s.stored();
    const int kinds[] = {1, 1, 0, 1};
    for (int i = 0; i < 4; ++i) QCOMPARE(int(records[size_t(i)].kind), kinds[i]);

    // The menu: a submenu A holding b, then a separator.
    const QList<QAction*> actions = s.menu.actions();
    QCOMPARE(actions.size(), 5);
    QVERIFY(actions[3]->menu());
    QCOMPARE(actions[3]->text(), QStringLiteral("A"));
    QCOMPARE(actions[3]->menu()->actions().size(), 1);
    QAction* b = actions[3]->menu()->actions()[0];
    QCOMPARE(b->text(), QStringLiteral("b"));
    QCOMPARE(b->data().toInt(), 2);
    QVERIFY(!b->icon().isNull());
    QVERIFY(actions[4]->isSeparator());
    b->trigger();
    QCOMPARE(s.clicked, std::vector<int>{2});
    QCOMPARE(QString::fromStdString(s.form->PathOfTag(2)), QStringLiteral("/docs/b.htm"));
    QCOMPARE(QString::fromStdString(s.form->PathOfTag(9)), QStringLiteral("Error"));

    // A second load replaces the entries after the first three.
    s.form->Load();
    QCOMPARE(s.menu.actions().size(), 5);
  }

  void dragZonesHitsAndMoves() {
    Setup s({rec(1, 0, "root"), rec(1, 1, "A"), rec(0, 2, "b", "/d/b.htm"), rec(0, 1, "c", "/d/c.htm")});
    s.hit = BookmarkHit{"new", "/d/new.pgx(3)", false};
    // Over bookmark b: the top quarter draws the line at its top, the middle is refused.
    const QRect b = s.rect_of(2);
    QVERIFY(s.form->tvBMDragOver(QPoint(b.center().x(), b.top() + 1), true));
    QCOMPARE(s.form->tvBM->line(), std::optional<int>(b.top()));
    QVERIFY(!s.form->tvBMDragOver(b.center(), true));
    QCOMPARE(s.form->tvBM->line(), std::nullopt);
    QVERIFY(s.form->tvBMDragOver(QPoint(b.center().x(), b.bottom()), true));
    QCOMPARE(s.form->tvBM->line(), std::optional<int>(b.top() + b.height() - 1));
    // Dropped in the bottom quarter of b: the new bookmark follows b, in folder A.
    QVERIFY(s.form->tvBMDragDrop(QPoint(b.center().x(), b.bottom()), true));
    QCOMPARE(QString::fromStdString(s.shape()), QStringLiteral("0root 1A 2b 2new 1c "));
    QCOMPARE(QString::fromStdString(s.stored()[3].path), QStringLiteral("/d/new.pgx"));
    QCOMPARE(s.form->tvBM->line(), std::nullopt);
    // A mail hit is refused everywhere.
    s.hit->mail = true;
    QVERIFY(!s.form->tvBMDragOver(s.rect_of(0).center(), true));
    QVERIFY(!s.form->tvBMDragDrop(s.rect_of(0).center(), true));
    // The root takes a hit only into it, wherever the pointer is.
    s.hit->mail = false;
    const QRect root = s.rect_of(0);
    QVERIFY(s.form->tvBMDragOver(QPoint(root.center().x(), root.top()), true));
    QCOMPARE(s.form->tvBM->line(), std::nullopt);
    // Within the tree: c dragged into A; A cannot go into its own bookmark.
    s.form->select_node(s.node(4));
    QVERIFY(s.form->tvBMDragDrop(s.rect_of(1).center(), false));
    QCOMPARE(QString::fromStdString(s.shape()), QStringLiteral("0root 1A 2b 2new 2c "));
    s.form->select_node(s.node(1));
    QVERIFY(!s.form->tvBMDragOver(QPoint(s.rect_of(2).center().x(), s.rect_of(2).bottom()), false));
  }

  void deleteRenameAndSeparatorRules() {
    Setup s({rec(1, 0, "root"), rec(1, 1, "A"), rec(0, 2, "b", "/d/b.htm"), rec(1, 1, "-")});
    s.form->tree().set_separator_labels({separator(), "-"});
    s.form->Load();
    // The root: no Delete; the key does nothing either.
    s.form->select_node(s.form->tree().root());
    QVERIFY(!s.form->bmDelete->isEnabled());
    QTest::keyClick(s.form->tvBM, Qt::Key_Delete);
    QCOMPARE(s.form->tree().nodes().size(), size_t(4));
    // The separator: no Rename, no New folder, no Properties.
    s.form->select_node(s.node(3));
    QVERIFY(!s.form->bmRename->isEnabled());
    QVERIFY(!s.form->bmNewFolder->isEnabled());
    QVERIFY(!s.form->mProperty->isEnabled());
    QVERIFY(!(s.form->item_of(s.node(3))->flags() & Qt::ItemIsEditable));
    // Folder A: Cancel keeps it, OK deletes it with its bookmark.
    s.form->select_node(s.node(1));
    const std::string ask = load_text(text::kAskDeleteBookmark) + " -- [A]";
    const std::string caption = load_text(text::kCaptionQuestion);
    sink_.expect(ask, caption, kStyleQuestionOkCancel, kAnswerCancel);
    s.form->bmDeleteClick();
    QCOMPARE(s.form->tree().nodes().size(), size_t(4));
    sink_.expect(ask, caption, kStyleQuestionOkCancel, kAnswerOk);
    QTest::keyClick(s.form->tvBM, Qt::Key_Delete);
    QCOMPARE(QString::fromStdString(s.shape()), QStringLiteral("0root 1- "));
    QCOMPARE(s.menu.actions().size(), 4);
  }

  void propertiesChangeCaptionAndPath() {
    Setup s({rec(1, 0, "root"), rec(0, 1, "b", "/d/b.htm")});
    s.form->select_node(s.node(1));
    QVERIFY(s.form->bmProperty->isEnabled());
    QTimer::singleShot(0, [&s] {
      TBMPtyForm* f = s.form->property_form();
      QCOMPARE(f->edtCaption->text(), QStringLiteral("b"));
      QCOMPARE(f->editBookMark->text(), QStringLiteral("/d/b.htm"));
      f->set_file_chooser([](QWidget*, const QString&) { return QStringLiteral("/e/report.doc"); });
      f->SpeedButton1->click();
      f->edtCaption->setText(QStringLiteral("  My report "));
      f->btnOk->click();
    });
    s.form->bmPropertyClick();
    const std::vector<BookmarkRecord> r = s.stored();
    QCOMPARE(QString::fromStdString(r[1].caption), QStringLiteral("My report"));
    QCOMPARE(QString::fromStdString(r[1].path), QStringLiteral("/e/report.doc"));
    QCOMPARE(s.menu.actions()[3]->text(), QStringLiteral("My report"));
  }

  void renameEndsInASavedReload() {
    Setup s({rec(1, 0, "root"), rec(0, 1, "b", "/d/b.htm")});
    s.form->select_node(s.node(1));
    s.form->bmRenameClick();
    auto* editor = open_editor(*s.form);
    QVERIFY(editor);
    editor->setText(QStringLiteral("dropped"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QApplication::processEvents();
    QCOMPARE(QString::fromStdString(s.shape()), QStringLiteral("0root 1b "));
    s.form->bmRenameClick();
    editor = open_editor(*s.form);
    QVERIFY(editor);
    editor->setText(QStringLiteral("kept"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(QString::fromStdString(s.shape()), QStringLiteral("0root 1kept "));
    QCOMPARE(s.menu.actions()[3]->text(), QStringLiteral("kept"));
  }

  void fileOfAnotherCaseIsRead() {
    test::TempDir dir("qm-bookmarks-");
    BookmarkRecord kept = rec(0, 1, "kept", "/k");
    kept.index = 1;
    bookmark_dat_write(dir / "BOOKMARK.DAT", {rec(1, 0, "old root"), kept});
    QMenu menu;
    for (int i = 0; i < 3; ++i) menu.addAction(QStringLiteral("x"));
    TBookmarkForm form(dir.path());
    form.SetBookmarkMenu(&menu, [](int) {});
    QCOMPARE(QString::fromStdString(form.PathOfTag(1)), QStringLiteral("/k"));
    QVERIFY(form.Save());
    std::vector<BookmarkRecord> records;
    QCOMPARE(bookmark_dat_read(dir / "Bookmark.dat", records), BookmarkDatStatus::Ok);
    QCOMPARE(QString::fromStdString(records[0].caption), QStringLiteral("old root"));
  }

  void closingSavesAndEscCloses() {
    Setup s;
    s.form->tree().add_bookmark("x", "/x");
    QTest::keyClick(s.form.get(), Qt::Key_Escape);
    QVERIFY(!s.form->isVisible());
    QCOMPARE(QString::fromStdString(s.shape()), QStringLiteral("0Bookmarks 1x "));
    QCOMPARE(s.menu.actions().size(), 4);
  }
};

QTEST_MAIN(BookmarkFormTest)
#include "bookmark_form_qtest.moc"
