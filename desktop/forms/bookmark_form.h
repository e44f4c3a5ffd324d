// TBookmarkForm, the bookmark manager: the bookmark tree (desktop/bookmarks/
// bookmark_tree.h) shown in tvBM with its folder, bookmark and separator pictures, kept in
// Bookmark.dat in the program directory and mirrored into the main window's bookmark
// menu after its first three entries. New folder, new separator, delete, rename and
// properties (TBMPtyForm) work on the selection; nodes are dragged within the tree to
// before, into or after a node, and hits are dragged in from the main window's result
// list. Every structural change saves and reloads. The main window creates it at start,
// hands it the menu, its click handler and the hit source, adds bookmarks and asks for
// the path of a menu entry's tag.
#pragma once
#include <QMainWindow>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>

#include "desktop/bookmarks/bookmark_tree.h"

class QAction;
class QMenu;
class QStatusBar;

namespace qm {

class TBMPtyForm;
class TBookmarkForm;

// A hit dragged from the result list: caption (its first sub-item), the document path
// (cut before its page part by the manager) and whether it is a mail.
struct BookmarkHit {
  std::string caption;
  std::string path;
  bool mail = false;
};

// One bookmark entry of a menu: the caption (Big5), the bookmark picture, the tag and the
// click handler. The manager's load and the main window's Add Bookmark both make them.
QAction* bookmark_menu_entry(QMenu* menu, const std::string& caption, int tag,
                             const std::function<void(int)>& click);

// tvBM: the tree view, which hands drags over and drops to its form.
class BookmarkTreeView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit BookmarkTreeView(TBookmarkForm* form, QWidget* parent);
  // The insertion line (viewport y), or none.
  void set_line(std::optional<int> y);
  std::optional<int> line() const { return line_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // 0 not ours, 1 from the tree itself, 2 from the hit list.
  int source_kind(const QDropEvent* event) const;
  TBookmarkForm* form_;
  std::optional<int> line_;
};

class TBookmarkForm : public QMainWindow {
  Q_OBJECT

 public:
  // program_dir ends in "/".
  explicit TBookmarkForm(std::string program_dir, QWidget* parent = nullptr);
  ~TBookmarkForm() override;

  // ---- For the main window ----
  // The menu under which bookmarks are listed and the handler of their entries; then load.
  void SetBookmarkMenu(QMenu* menu, std::function<void(int)> click);
  // The result list that hits are dragged from, and the hit being dragged.
  void SetHitSource(QWidget* list, std::function<std::optional<BookmarkHit>()> hit);
  // A bookmark as last child of the root; gives its tree position (the menu tag).
  int AddBookmark(const std::string& caption, const std::string& path);
  // The path of the bookmark whose index is tag; "Error" when there is none.
  std::string PathOfTag(int tag) const { return tree_.path_of_tag(tag); }
  // Loads Bookmark.dat into the tree and the menu.
  void Load();
  // Writes the tree to Bookmark.dat (nothing before the first load: a tree never read
  // would replace the user's file).
  bool Save();
  void SaveAndReload();
  // The queued save and reload after an in-place rename.
  void PostSaveAndReload();
  std::string FilePath() const;

  // ---- Handlers ----
  void FormActivate();
  void tvBMChange();
  void bmNewFolderClick();
  void bmSeparateClick();
  void bmDeleteClick();
  void bmRenameClick();
  void bmPropertyClick();
  // Drag over and drop at a viewport point; from_hits: the source is the result list.
  bool tvBMDragOver(const QPoint& pos, bool from_hits);
  bool tvBMDragDrop(const QPoint& pos, bool from_hits);
  void tvBMDragLeave();

  BookmarkTree& tree() { return tree_; }
  BookmarkNode* selected_node() const;
  void select_node(BookmarkNode* node);
  QTreeWidgetItem* item_of(const BookmarkNode* node) const;
  QWidget* hit_list() const { return hit_list_; }
  TBMPtyForm* property_form();
  bool loaded() const { return loaded_; }

  BookmarkTreeView* tvBM;
  QStatusBar* StatusBarMsg;
  QMenu *mFile, *PopupMenu1;
  QAction *mAddFolder, *mSeparate, *mDel, *mRename, *mProperty, *mClose;
  QAction *bmNewFolder, *bmSeparate, *bmDelete, *bmRename, *bmProperty;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void rebuild_view();
  void rebuild_menu();
  void item_edited(QTreeWidgetItem* item);
  std::string root_caption() const;
  // The drop target and zone at a point (nullptr when none or refused).
  BookmarkNode* drop_target(const QPoint& pos, BookmarkDrop& zone, int& line_y) const;

  std::string program_dir_;
  BookmarkTree tree_;
  bool loaded_ = false;
  bool rebuilding_ = false;
  QMenu* menu_ = nullptr;
  std::function<void(int)> click_;
  QWidget* hit_list_ = nullptr;
  std::function<std::optional<BookmarkHit>()> hit_;
  TBMPtyForm* pty_ = nullptr;
};

}  // namespace qm
