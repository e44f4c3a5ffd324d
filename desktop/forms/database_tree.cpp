// The database tree's behaviour (database_tree.h): rows made from the tree model, the
// check flip on a click of the state icon, the folder, rename and delete commands, the
// Delete key, and dragging nodes within the tree. The model's rules are in
// desktop/catalogue/folder_tree.cpp; loading, filling, renaming and deleting databases in
// the catalogue (desktop/catalogue/catalogue_tree.cpp).
#include "desktop/forms/database_tree.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSet>

#include "common/big5_codec.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {
namespace {

constexpr int kNodeRole = Qt::UserRole;       // the TreeNode* of a row
constexpr int kStateRole = Qt::UserRole + 1;  // the node's state index

// A numbered text as Big5 (the tree's texts are Big5, the text tables UTF-8).
std::string big5_text(int id) {
  std::string big5;
  if (!big5_from_utf8(load_text(id), big5)) big5 = load_text(id);
  return big5;
}

DropPlace drop_place_of(DatabaseTreeWidget::HitPlace place) {
  switch (place) {
    case DatabaseTreeWidget::HitPlace::StateIcon:
    case DatabaseTreeWidget::HitPlace::Icon:
      return DropPlace::Icon;
    case DatabaseTreeWidget::HitPlace::Label:
      return DropPlace::Label;
    case DatabaseTreeWidget::HitPlace::Indent:
      return DropPlace::Indent;
    case DatabaseTreeWidget::HitPlace::NoNode:
      return DropPlace::NoNode;
    case DatabaseTreeWidget::HitPlace::Elsewhere:
      break;
  }
  return DropPlace::Elsewhere;
}

}  // namespace

void DatabaseTreeWidget::set_command_items(std::vector<QAction*> add_folder,
                                           std::vector<QAction*> properties,
                                           std::vector<QAction*> delete_rename) {
  add_folder_items_ = std::move(add_folder);
  property_items_ = std::move(properties);
  delete_rename_items_ = std::move(delete_rename);
  enable_commands();
}

// ---- Loading and saving ----------------------------------------------------------------

void DatabaseTreeWidget::load_at_start(const std::string& root_text) {
  model_.clear();
  if (catalog_) {
    catalog_->LoadFolderTree(model_, root_text);
    catalog_->FillDatabaseTree(model_);
    catalog_->SaveFolderTree(model_);
  } else {
    model_.make_root(root_text);
  }
  rebuild();
  if (QTreeWidgetItem* root = item_of(model_.root())) {
    rebuilding_ = true;
    root->setExpanded(true);
    rebuilding_ = false;
  }
  enable_commands();
}

void DatabaseTreeWidget::refresh_tree() {
  if (catalog_ && !model_.empty()) {
    catalog_->FillDatabaseTree(model_);
    catalog_->SaveFolderTree(model_);
  }
  rebuild();
  enable_commands();
}

bool DatabaseTreeWidget::save_tree() { return catalog_ && catalog_->SaveFolderTree(model_); }

// ---- Rows ------------------------------------------------------------------------------

TreeNode* DatabaseTreeWidget::node_of(const QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  auto* node = reinterpret_cast<TreeNode*>(item->data(0, kNodeRole).value<quintptr>());
  // A row of an earlier rebuild names no node any more.
  return node && items_.value(node, nullptr) == item ? node : nullptr;
}

void DatabaseTreeWidget::show_node(QTreeWidgetItem* item, const TreeNode* node) {
  item->setText(0, big5_to_qstring(node->text));
  item->setData(0, kStateRole, node->state);
  // Checked and unchecked nodes show a check box; other states their own state icon,
  // painted by the delegate in the check box's place.
  if (node->state == kStateChecked)
    item->setCheckState(0, Qt::Checked);
  else if (node->state == kStateUnchecked)
    item->setCheckState(0, Qt::Unchecked);
  else
    item->setData(0, Qt::CheckStateRole, QVariant());
}

QTreeWidgetItem* DatabaseTreeWidget::make_item(TreeNode* node, QTreeWidgetItem* parent) {
  auto* item = new QTreeWidgetItem();
  // The check box is ours: Qt never flips it itself (a click goes through the model).
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (node != model_.root()) flags |= Qt::ItemIsDragEnabled | Qt::ItemIsEditable;
  if (node->folder) flags |= Qt::ItemIsDropEnabled;
  item->setFlags(flags);
  item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
  item->setIcon(0, node->folder ? folder_icon_ : database_icon_);
  show_node(item, node);
  items_.insert(node, item);
  if (parent)
    parent->addChild(item);
  else
    addTopLevelItem(item);
  return item;
}

void DatabaseTreeWidget::rebuild() {
  QSet<const TreeNode*> expanded;
  for (auto it = items_.cbegin(); it != items_.cend(); ++it)
    if (it.value()->isExpanded()) expanded.insert(it.key());
  const TreeNode* current = selected_node();

  rebuilding_ = true;
  items_.clear();
  clear();
  for (TreeNode* node : model_.nodes())
    make_item(node, node->parent ? item_of(node->parent) : nullptr);
  for (const TreeNode* node : expanded)
    if (QTreeWidgetItem* item = item_of(node)) item->setExpanded(true);
  if (QTreeWidgetItem* item = item_of(current)) setCurrentItem(item);
  rebuilding_ = false;
}

void DatabaseTreeWidget::sync_states() {
  for (auto it = items_.cbegin(); it != items_.cend(); ++it)
    if (it.value()->data(0, kStateRole).toInt() != it.key()->state) show_node(it.value(), it.key());
}

void DatabaseTreeWidget::enable_commands() {
  const TreeCommands c = model_.commands_for(selected_node());
  for (QAction* a : add_folder_items_) a->setEnabled(c.add_folder);
  for (QAction* a : property_items_) a->setEnabled(c.properties);
  for (QAction* a : delete_rename_items_) a->setEnabled(c.delete_rename);
}

// ---- Clicks and keys ------------------------------------------------------------------

void DatabaseTreeWidget::mousePressEvent(QMouseEvent* event) {
  // Remember whether the press is on a state icon; the press selects the row (also with
  // the right button, before the pop-up menu) and expands or collapses on the indent.
  state_click_ = hit_test(event->position().toPoint()).place == HitPlace::StateIcon;
  QTreeWidget::mousePressEvent(event);
  enable_commands();
}

void DatabaseTreeWidget::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) on_click();
}

void DatabaseTreeWidget::on_click() {
  QTreeWidgetItem* item = currentItem();
  TreeNode* node = node_of(item);
  if (!node) return;
  emit nodeClicked(item->text(0));
  // A click that expanded or collapsed a node, or one off the state icon, checks nothing.
  if (expanded_flag_ || !state_click_) {
    expanded_flag_ = false;
    return;
  }
  if (model_.click_state(node)) sync_states();
  enable_commands();
  emit treeChanged();
}

void DatabaseTreeWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) {
    if (model_.delete_key_deletes(selected_node(), editing_)) delete_selected();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Escape) editing_ = false;
  QTreeWidget::keyPressEvent(event);
}

// ---- Commands -------------------------------------------------------------------------

void DatabaseTreeWidget::add_folder() {
  TreeNode* parent = selected_node();
  if (!parent || !model_.commands_for(parent).add_folder) return;
  TreeNode* node = model_.add_new_folder(parent, big5_text(text::kNewFolderName));
  if (!node) return;
  QTreeWidgetItem* item = make_item(node, item_of(parent));
  rebuilding_ = true;
  item_of(parent)->setExpanded(true);
  rebuilding_ = false;
  setCurrentItem(item);
  scrollToItem(item);
  enable_commands();
  editItem(item);
}

void DatabaseTreeWidget::rename_selected() {
  QTreeWidgetItem* item = currentItem();
  if (model_.commands_for(node_of(item)).delete_rename) editItem(item);
}

void DatabaseTreeWidget::delete_selected() {
  TreeNode* node = selected_node();
  const int question = model_.delete_question(node);
  if (question == 0) return;  // nothing selected, or the root
  const std::string text = load_text(question) + " -- [" + big5_to_utf8(node->text) + "]";
  if (ShowMessageText(text, text::kCaptionQuestion, kStyleQuestionOkCancel) != kAnswerOk) return;
  TreeNode* parent = node->parent;
  const bool removed = catalog_ ? catalog_->DeleteTreeNode(model_, node) : model_.remove(node);
  if (!removed) return;
  rebuild();
  if (QTreeWidgetItem* item = item_of(parent)) setCurrentItem(item);
  enable_commands();
  emit treeChanged();
}

// ---- Editing names --------------------------------------------------------------------

bool DatabaseTreeWidget::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool started = QTreeWidget::edit(index, trigger, event);
  if (started) editing_ = true;
  return started;
}

void DatabaseTreeWidget::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  // The edit is over however it ended, so the Delete key deletes again.
  editing_ = false;
  QTreeWidget::closeEditor(editor, hint);
}

void DatabaseTreeWidget::on_edited(QTreeWidgetItem* item, const QString& typed) {
  TreeNode* node = node_of(item);
  if (!node) return;
  std::string big5;
  if (!qstring_to_big5_or_warn(typed, big5)) {
    emit renameRefused();
    return;
  }
  int result = 0;
  if (catalog_) {
    result = catalog_->RenameTreeNode(model_, node, big5);
  } else {
    switch (model_.rename(node, big5)) {
      case RenameResult::Accepted:
      case RenameResult::Unchanged:
        break;
      case RenameResult::Refused:
        result = kTextBadName;
        break;
      case RenameResult::NotAllowed:
        result = -1;
        break;
    }
  }
  if (result == kTextBadName) {
    ShowMessageById(text::kBadFolderName, text::kCaptionError, kStyleStop);
    emit renameRefused();
    return;
  }
  if (result != 0) return;
  show_node(item, node);  // the trimmed name
  emit renamed();
}

void DatabaseTreeWidget::restore_old_name_and_edit() {
  QTreeWidgetItem* item = currentItem();
  const TreeNode* node = node_of(item);
  if (!node) return;
  show_node(item, node);  // the model kept the old name
  editItem(item);
}

// ---- Dragging -------------------------------------------------------------------------

bool DatabaseTreeWidget::drag_accepts(const QPoint& pos, const QObject* source) const {
  if (source != this) return false;
  const Hit hit = hit_test(pos);
  return FolderTree::can_drag_over(node_of(hit.item));
}

bool DatabaseTreeWidget::drop_at(const QPoint& pos) {
  TreeNode* node = selected_node();
  const Hit hit = hit_test(pos);
  if (!node || !model_.drop(node, node_of(hit.item), drop_place_of(hit.place))) return false;
  rebuild();
  if (QTreeWidgetItem* item = item_of(node)) {
    setCurrentItem(item);
    scrollToItem(item);
  }
  enable_commands();
  return true;
}

void DatabaseTreeWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() == this)
    event->acceptProposedAction();
  else
    event->ignore();
}

void DatabaseTreeWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (drag_accepts(event->position().toPoint(), event->source()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void DatabaseTreeWidget::dropEvent(QDropEvent* event) {
  if (event->source() != this) {
    event->ignore();
    return;
  }
  drop_at(event->position().toPoint());
  // The rows were remade from the model: the drag's source rows must not be removed as
  // after a move.
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

}  // namespace qm
