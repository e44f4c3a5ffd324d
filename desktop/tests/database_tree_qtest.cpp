// Offscreen tests of the main window's database tree over a scratch program directory
// (configuration, index folders, Folder.dat): checks handed down past a database without
// an index, a click after expanding, the search button following the checks, new folder
// names, refused and taken renames, deleting with its question and the Delete key, the
// drop rules through real hit tests, Folder.dat after a refresh and at close, and the
// result list's date column from the catalogue.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/search/hit_lines.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/forms/database_tree.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

using namespace qm;
using Place = DatabaseTreeWidget::HitPlace;

namespace {

// Databases 1 "Alpha" and 2 "Beta" indexed, 3 "Gamma" without an index; Folder.dat:
//   Databases / Docs / Sub, Alpha, Gamma;  Databases / Beta
struct TreeDir {
  test::TempDir dir{"qm-tree-"};
  TreeDir() {
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    test::write_file(dir / "quillmere.rcc", test::read_file(dist + "quillmere.rcc"));
    test::write_file(dir / "vesprin.htm", test::read_file(dist + "vesprin.htm"));
    write_ini({{1, "Alpha", true}, {2, "Beta", true}, {3, "Gamma", false}});
    std::vector<FolderNodeRecord> records = {
        {true, 4, 0, -1, "Databases"}, {true, 4, 1, -1, "Docs"},  {true, 4, 2, -1, "Sub"},
        {false, 4, 2, 1, "Alpha"},     {false, 4, 2, 3, "Gamma"}, {false, 4, 1, 2, "Beta"}};
    folder_dat_write(dir / "Folder.dat", records);
  }
  struct Db {
    int id;
    std::string name;
    bool indexed;
  };
  void write_ini(const std::vector<Db>& dbs) {
    std::string ini = "[VESPRIN]\nSearcher=/s\n[INDEX]\n";
    for (const Db& db : dbs) ini += std::to_string(db.id) + "=1\n";
    for (const Db& db : dbs) {
      const std::string work = dir.sub("DB/db-" + std::to_string(db.id));
      test::write_file(work + "fulltext.db", db.indexed ? "text" : "");
      ini += "[DB-" + std::to_string(db.id) + "]\nDescription=" + db.name + "\nHtmlDir=" +
             dir.path() + "docs/\nWorkDir=" + work + "\n";
    }
    test::write_file(dir / "vesprin.ini", ini);
  }
  std::string path() const { return dir.path(); }
  std::string ini_value(const std::string& section, const std::string& key) const {
    IniTree t;
    t.load(dir / "vesprin.ini");
    return t.get(section, key).value_or("<none>");
  }
};

QTreeWidgetItem* item(DatabaseTreeWidget* tree, const char* text) {
  const auto found = tree->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive);
  return found.size() == 1 ? found.front() : nullptr;
}

int state(DatabaseTreeWidget* tree, const char* text) {
  QTreeWidgetItem* i = item(tree, text);
  return i && tree->node_of(i) ? tree->node_of(i)->state : -1;
}

void click(DatabaseTreeWidget* tree, QTreeWidgetItem* i, Place place) {
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->point_at(i, place));
}

QString S(int id) { return QString::fromStdString(load_text(id)); }

// The editor of the row being edited.
QLineEdit* editor_of(DatabaseTreeWidget* tree) {
  return qobject_cast<QLineEdit*>(tree->indexWidget(tree->currentIndex()));
}

// Types text into the open editor and presses Enter; the tree decides after the editor
// has closed, and a refusal restores the name by a queued message.
void type_name(DatabaseTreeWidget* tree, const QString& text) {
  QLineEdit* editor = editor_of(tree);
  QVERIFY(editor);
  editor->setText(text);
  QTest::keyClick(editor, Qt::Key_Return);
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

}  // namespace

class DatabaseTreeTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TreeDir> dir_;
  std::unique_ptr<TMainForm> form_;
  DatabaseTreeWidget* tree_ = nullptr;

  void open_form() {
    QVERIFY(desktop_load_resources(dir_->path(), "en"));
    form_ = desktop_create_main_window(dir_->path());
    QVERIFY(form_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    tree_ = form_->tvDB;
  }

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() {
    dir_ = std::make_unique<TreeDir>();
    open_form();
  }
  void cleanup() {
    form_.reset();
    message_set_sink(nullptr);
    desktop_texts().clear();
    dir_.reset();
  }

  void checksPassStateFiveAndSkipTheClickAfterExpanding() {
    QCOMPARE(tree_->topLevelItemCount(), 1);
    QCOMPARE(state(tree_, "Gamma"), int(kStateNoIndex));
    QVERIFY(!item(tree_, "Gamma")->data(0, Qt::CheckStateRole).isValid());  // no check box
    QCOMPARE(item(tree_, "Alpha")->checkState(0), Qt::Unchecked);
    form_->cmbSrchHistory->setEditText(QStringLiteral("needle"));
    QVERIFY(!form_->btnSearch->isEnabled());

    // Expanding Docs by its indent: the next click on a state icon checks nothing.
    QTreeWidgetItem* docs = item(tree_, "Docs");
    QVERIFY(!docs->isExpanded());
    click(tree_, docs, Place::Indent);
    QVERIFY(docs->isExpanded());
    QVERIFY(!tree_->grab().isNull());  // Gamma's state icon is painted in the check box's place
    click(tree_, docs, Place::StateIcon);
    QCOMPARE(state(tree_, "Docs"), int(kStateUnchecked));
    QCOMPARE(form_->lblCaption->text(), QStringLiteral("Docs"));

    // A click on a label checks nothing either; one on the state icon hands the check
    // down to the subfolder and the indexed database, not to Gamma (state 5).
    click(tree_, docs, Place::Label);
    QCOMPARE(state(tree_, "Docs"), int(kStateUnchecked));
    click(tree_, docs, Place::StateIcon);
    QCOMPARE(state(tree_, "Docs"), int(kStateChecked));
    QCOMPARE(state(tree_, "Sub"), int(kStateChecked));
    QCOMPARE(state(tree_, "Alpha"), int(kStateChecked));
    QCOMPARE(item(tree_, "Alpha")->checkState(0), Qt::Checked);
    QCOMPARE(state(tree_, "Gamma"), int(kStateNoIndex));
    QCOMPARE(state(tree_, "Beta"), int(kStateUnchecked));
    QVERIFY(form_->btnSearch->isEnabled());
    QVERIFY(form_->mSearchAdv->isEnabled());

    // Clicking Gamma's state icon changes nothing; unchecking Alpha leaves nothing to search.
    click(tree_, item(tree_, "Gamma"), Place::StateIcon);
    QCOMPARE(state(tree_, "Gamma"), int(kStateNoIndex));
    click(tree_, item(tree_, "Alpha"), Place::StateIcon);
    QCOMPARE(state(tree_, "Alpha"), int(kStateUnchecked));
    QVERIFY(!form_->btnSearch->isEnabled());
    QVERIFY(!form_->mSearchAdv->isEnabled());
  }

  void newFoldersAreNumberedAndRenamesAreChecked() {
    ScriptedMessageSink sink;
    message_set_sink(&sink);
    QTreeWidgetItem* root = tree_->topLevelItem(0);
    const QString base = S(text::kNewFolderName);
    QVERIFY(!base.isEmpty());
    for (const QString& expected : {base, base + "(2)", base + "(3)"}) {
      tree_->setCurrentItem(root);
      tree_->enable_commands();
      QVERIFY(form_->mAddFolder->isEnabled());
      form_->mAddFolder->trigger();
      QCOMPARE(tree_->currentItem()->text(0), expected);
      QCOMPARE(tree_->currentItem()->parent(), root);
      QVERIFY(tree_->editing());
      QTest::keyClick(editor_of(tree_), Qt::Key_Escape);
      QVERIFY(!tree_->editing());
    }
    // The root keeps its name; a database takes no folder.
    tree_->setCurrentItem(root);
    tree_->enable_commands();
    QVERIFY(!form_->mRename->isEnabled());
    QVERIFY(!form_->pDelFolder->isEnabled());
    tree_->rename_selected();
    QVERIFY(!tree_->editing());
    tree_->setCurrentItem(item(tree_, "Beta"));
    tree_->enable_commands();
    QVERIFY(!form_->pAddFolder->isEnabled());
    QVERIFY(form_->pRename->isEnabled());

    // Empty, duplicate and non-Big5 names are refused; the old name comes back in edit.
    tree_->setCurrentItem(item(tree_, (base + "(2)").toUtf8().constData()));
    form_->mRename->trigger();
    const std::string bad = load_text(text::kBadFolderName);
    const std::string error = load_text(text::kCaptionError);
    struct Case {
      QString typed;
      std::string message;
    } refused[] = {{QStringLiteral("   "), bad},
                   {QStringLiteral("Docs"), bad},
                   {QStringLiteral("Alpha  "), bad},
                   {QString::fromUtf8("a\xF0\x9F\x98\x80"), load_text(text::kMsgNotBig5)}};
    for (const Case& c : refused) {
      sink.expect(c.message, error, kStyleStop, kAnswerOk);
      type_name(tree_, c.typed);
      QCOMPARE(tree_->currentItem()->text(0), base + "(2)");
      QVERIFY(tree_->editing());
      QVERIFY(editor_of(tree_));
    }
    // Its own name again is no duplicate; a new name is taken with trailing blanks cut.
    type_name(tree_, base + "(2)");
    QCOMPARE(tree_->currentItem()->text(0), base + "(2)");
    tree_->setCurrentItem(item(tree_, (base + "(2)").toUtf8().constData()));
    form_->pRename->trigger();
    type_name(tree_, QStringLiteral("Reports  "));
    QVERIFY(item(tree_, "Reports"));
    QVERIFY(!tree_->editing());

    // A database's new name is its Description.
    tree_->setCurrentItem(item(tree_, "Beta"));
    form_->mRename->trigger();
    type_name(tree_, QString::fromUtf8("中文"));
    QCOMPARE(dir_->ini_value("DB-2", "Description"), std::string("\xA4\xA4\xA4\xE5"));
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    QCOMPARE(sink.pending(), size_t(0));

    // Folder.dat keeps the new folders at close.
    form_->close();
    std::vector<FolderNodeRecord> records;
    folder_dat_read(dir_->path() + "Folder.dat", records);
    QCOMPARE(records.size(), size_t(9));
    QCOMPARE(QString::fromStdString(records.back().text), base + "(3)");
  }

  void deletingAsksFirstAndTheDeleteKeyFollowsEditing() {
    ScriptedMessageSink sink;
    message_set_sink(&sink);
    const std::string question = load_text(text::kCaptionQuestion);
    const std::string ask_db = load_text(text::kAskDeleteDatabase) + " -- [Beta]";
    // Cancel keeps everything.
    tree_->setCurrentItem(item(tree_, "Beta"));
    sink.expect(ask_db, question, kStyleQuestionOkCancel, kAnswerCancel);
    form_->mDelFolder->trigger();
    QVERIFY(item(tree_, "Beta"));
    QCOMPARE(dir_->ini_value("INDEX", "2"), std::string("1"));

    // The Delete key does nothing while a name is edited, nor on the root.
    tree_->setCurrentItem(item(tree_, "Beta"));
    form_->mRename->trigger();
    QVERIFY(tree_->editing());
    QTest::keyClick(tree_, Qt::Key_Delete);
    QTest::keyClick(editor_of(tree_), Qt::Key_Escape);
    tree_->setCurrentItem(tree_->topLevelItem(0));
    QTest::keyClick(tree_, Qt::Key_Delete);
    QCOMPARE(QString::fromStdString(sink.failures()), QString());

    // Delete on a database asks 1422; OK deletes the database and its files.
    tree_->setCurrentItem(item(tree_, "Beta"));
    sink.expect(ask_db, question, kStyleQuestionOkCancel, kAnswerOk);
    QTest::keyClick(tree_, Qt::Key_Delete);
    QVERIFY(!item(tree_, "Beta"));
    QCOMPARE(dir_->ini_value("INDEX", "2"), std::string("<none>"));
    QVERIFY(!QFile::exists(QString::fromStdString(dir_->path() + "DB/db-2/fulltext.db")));

    // A folder asks 1421 and takes its databases along.
    tree_->setCurrentItem(item(tree_, "Docs"));
    sink.expect(load_text(text::kAskDeleteFolder) + " -- [Docs]", question, kStyleQuestionOkCancel,
                kAnswerOk);
    form_->pDelFolder->trigger();
    QVERIFY(!item(tree_, "Docs") && !item(tree_, "Alpha") && !item(tree_, "Gamma"));
    QCOMPARE(dir_->ini_value("INDEX", "1"), std::string("<none>"));
    QCOMPARE(dir_->ini_value("INDEX", "3"), std::string("<none>"));
    QCOMPARE(tree_->currentItem(), tree_->topLevelItem(0));
    QCOMPARE(QString::fromStdString(sink.failures()), QString());
    QCOMPARE(sink.pending(), size_t(0));
  }

  void dropRulesThroughHitTests() {
    tree_->expandAll();
    struct Case {
      const char* dragged;
      const char* target;  // nullptr: below the last row
      Place place;
      bool accepted;       // the drag may be let go there
      bool moved;
      const char* parent;  // where it then is
      int index;
    } cases[] = {
        {"Beta", "Alpha", Place::Label, false, false, "Databases", 1},   // database target
        {"Docs", "Sub", Place::Label, true, false, "Databases", 0},      // own descendant
        {"Docs", "Docs", Place::Icon, true, false, "Databases", 0},      // itself
        {"Beta", "Sub", Place::Label, true, true, "Sub", 0},             // label: last child
        {"Beta", "Docs", Place::StateIcon, true, true, "Docs", 3},       // icon: last child
        {"Beta", "Docs", Place::Indent, true, true, "Databases", 0},     // indent: in front
        {"Sub", "Docs", Place::Elsewhere, true, false, "Docs", 0},       // right of the label
        {"Sub", nullptr, Place::NoNode, true, true, "Databases", 2},     // empty area: last
        {"Databases", "Docs", Place::Label, true, false, nullptr, 0},    // the root stays
    };
    for (const Case& c : cases) {
      const QByteArray what = QByteArray(c.dragged) + " -> " + (c.target ? c.target : "nothing");
      QTreeWidgetItem* target = c.target ? item(tree_, c.target) : nullptr;
      const QPoint at = tree_->point_at(target, c.place);
      const DatabaseTreeWidget::Hit hit = tree_->hit_test(at);
      QVERIFY2(hit.item == target && hit.place == c.place, what.constData());
      tree_->setCurrentItem(item(tree_, c.dragged));
      QVERIFY2(tree_->drag_accepts(at, tree_) == c.accepted, what.constData());
      QVERIFY2(!tree_->drag_accepts(at, form_.get()), what.constData());  // only drags of this tree
      QVERIFY2(tree_->drop_at(at) == c.moved, what.constData());
      QTreeWidgetItem* moved = item(tree_, c.dragged);
      QVERIFY2(moved, what.constData());
      if (!c.parent) {
        QCOMPARE(moved, tree_->topLevelItem(0));
        continue;
      }
      QVERIFY2(moved->parent() && moved->parent()->text(0) == c.parent, what.constData());
      QVERIFY2(moved->parent()->indexOfChild(moved) == c.index, what.constData());
    }
    QCOMPARE(tree_->topLevelItemCount(), 1);
  }

  void refreshAddsNewDatabasesAndSaves() {
    form_->cmbSrchHistory->setEditText(QStringLiteral("needle"));
    QVERIFY(!form_->btnSearch->isEnabled());
    dir_->write_ini({{1, "Alpha", true}, {2, "Beta", true}, {3, "Gamma", true}, {4, "Delta", true}});
    form_->RefreshTree();
    // A new indexed database comes in checked; Gamma now has its index.
    QCOMPARE(state(tree_, "Delta"), int(kStateChecked));
    QCOMPARE(item(tree_, "Delta")->parent(), tree_->topLevelItem(0));
    QCOMPARE(state(tree_, "Gamma"), int(kStateUnchecked));
    QVERIFY(form_->btnSearch->isEnabled());
    std::vector<FolderNodeRecord> records;
    folder_dat_read(dir_->path() + "Folder.dat", records);
    QCOMPARE(records.size(), size_t(7));
    QCOMPARE(records.back().database_id, 4);
  }

  void hitDatesFillTheDateColumn() {
    // Alpha's documents: a text file and a page document whose "(page)" part is cut off.
    const std::string docs = dir_->dir.sub("docs");
    test::write_file(docs + "a.txt", "a");
    test::write_file(docs + "b.pgx", "b");
    struct Row {
      int id;
      const char* name;
      std::string expected;
    } rows[] = {{1, "a.txt", DatabaseCatalog::FileTimeText(docs + "a.txt")},
                {1, "b.pgx(3)", DatabaseCatalog::FileTimeText(docs + "b.pgx")},
                {1, "gone.txt", ""},
                {99, "a.txt", ""}};
    QVERIFY(!rows[0].expected.empty());
    std::vector<HitRow> list;
    for (const Row& r : rows) {
      HitRow h;
      h.database_id = r.id;
      h.sub[kSubName] = r.name;
      h.sub[kSubNumber] = "1";
      list.push_back(h);
    }
    FillHitDates(*form_->catalog(), list);
    for (int i = 0; i < 4; ++i)
      QCOMPARE(QString::fromStdString(list[size_t(i)].sub[kSubDate]), QString::fromStdString(rows[i].expected));
  }
};

QTEST_MAIN(DatabaseTreeTest)
#include "database_tree_qtest.moc"
