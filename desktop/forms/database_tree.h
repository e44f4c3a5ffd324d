// The database tree of the main window (tvDB): a QTreeWidget that shows the catalogue's
// tree model (desktop/catalogue/folder_tree.h) and forwards the user's clicks, edits,
// drags and keys to it. Checked and unchecked nodes show a check box; a database without
// an index shows its own state icon instead and cannot be checked. The catalogue
// (desktop/catalogue/catalogue.h) loads, fills and saves the model and deletes and
// renames databases. Built by main_form_build.cpp; TMainForm wires its menus and the
// search controls to it. The hit test and painting are in database_tree_view.cpp.
#pragma once
#include <QHash>
#include <QIcon>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "desktop/catalogue/folder_tree.h"

class QAction;

namespace qm {

class DatabaseCatalog;

class DatabaseTreeWidget : public QTreeWidget {
  Q_OBJECT

 public:
  // Where a point of the viewport falls on a row.
  enum class HitPlace { StateIcon, Icon, Label, Indent, Elsewhere, NoNode };
  struct Hit {
    QTreeWidgetItem* item = nullptr;
    HitPlace place = HitPlace::NoNode;
  };

  explicit DatabaseTreeWidget(QWidget* parent = nullptr);
  ~DatabaseTreeWidget() override;

  // The catalogue that loads, fills and saves the tree (not owned).
  void set_catalog(DatabaseCatalog* catalog) { catalog_ = catalog; }
  // The menu items each tree command enables (main menu and pop-up menu).
  void set_command_items(std::vector<QAction*> add_folder, std::vector<QAction*> properties,
                         std::vector<QAction*> delete_rename);

  // At start: the model from Folder.dat (a new root named root_text when there is none),
  // completed from the configuration, then saved again.
  void load_at_start(const std::string& root_text);
  // After the wizard or the index window: databases added and pruned, Folder.dat saved.
  void refresh_tree();
  bool save_tree();

  FolderTree& model() { return model_; }
  // Some database is checked.
  bool AnyDatabaseChecked() const { return model_.AnyDatabaseChecked(); }
  TreeNode* node_of(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* item_of(const TreeNode* node) const { return items_.value(node, nullptr); }
  TreeNode* selected_node() const { return node_of(currentItem()); }
  bool editing() const { return editing_; }

  // ---- Commands ----
  // A new folder below the selected folder, named by text 1420 (with "(n)" when taken),
  // selected and put into editing.
  void add_folder();
  // Asks 1421 (folder) or 1422 (database) with the node's text; on OK deletes the
  // node's databases and the node.
  void delete_selected();
  void rename_selected();
  // After a refused name: the node edited gets its old name back and is edited again.
  void restore_old_name_and_edit();
  // The menu items follow the selected node.
  void enable_commands();

  // ---- Hit testing and dragging (viewport coordinates) ----
  Hit hit_test(const QPoint& pos) const;
  // A point of item's row at place (Elsewhere: right of the label; Indent: left of the
  // state icon); for tests and drags. NoNode: below the last row.
  QPoint point_at(QTreeWidgetItem* item, HitPlace place) const;
  // Whether a drag from source may be let go at pos.
  bool drag_accepts(const QPoint& pos, const QObject* source) const;
  // Moves the selected node as dropped at pos; false when the tree refuses.
  bool drop_at(const QPoint& pos);

 signals:
  // A node was clicked: the tree caption shows its text.
  void nodeClicked(const QString& text);
  // The checks or the tree's databases changed: the search controls follow.
  void treeChanged();
  // A typed name was refused (the window posts its message to restore it).
  void renameRefused();
  // A name was taken.
  void renamed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  using QTreeWidget::edit;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  friend class DatabaseTreeDelegate;
  // tvDBClick: the check flip unless the tree was just expanded or collapsed.
  void on_click();
  // tvDBEdited: the typed text of item's editor.
  void on_edited(QTreeWidgetItem* item, const QString& typed);
  // Rebuilds every row from the model, keeping expanded nodes and the selection.
  void rebuild();
  QTreeWidgetItem* make_item(TreeNode* node, QTreeWidgetItem* parent);
  void show_node(QTreeWidgetItem* item, const TreeNode* node);
  // Check boxes after the model's states changed.
  void sync_states();
  void style_rects(QTreeWidgetItem* item, QRect& state, QRect& icon, QRect& label) const;

  FolderTree model_;
  DatabaseCatalog* catalog_ = nullptr;
  QHash<const TreeNode*, QTreeWidgetItem*> items_;
  std::vector<QAction*> add_folder_items_, property_items_, delete_rename_items_;
  bool expanded_flag_ = false;    // set by expand and collapse, consumed by the next click
  bool state_click_ = false;      // the last press was on a state icon
  bool editing_ = false;
  bool rebuilding_ = false;       // rows are being made: expanding is not the user's
  QIcon folder_icon_, database_icon_;
};

}  // namespace qm
