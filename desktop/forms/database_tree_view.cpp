// The database tree's looks (database_tree.h): its icons, the delegate that paints a
// database without an index with its own state icon in the check box's place and hands
// a typed name to the tree, and the hit test that tells state icon, icon, label, indent
// and empty area apart for clicks and drops.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "desktop/forms/database_tree.h"

namespace qm {

namespace {
constexpr int kStateRole = Qt::UserRole + 1;  // as in database_tree.cpp
}  // namespace

// Paints state 5 and hands the editor's text to the tree once the editor has closed.
class DatabaseTreeDelegate : public QStyledItemDelegate {
 public:
  explicit DatabaseTreeDelegate(DatabaseTreeWidget* tree)
      : QStyledItemDelegate(tree),
        tree_(tree),
        no_index_icon_(tree->style()->standardIcon(QStyle::SP_MessageBoxWarning)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (index.data(kStateRole).toInt() != kStateNoIndex) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    // Lay the row out as if it had a check box, draw the rest of the row right of the box
    // and the state icon in its place.
    QStyleOptionViewItem plain(option);
    initStyleOption(&plain, index);
    QStyleOptionViewItem boxed(plain);
    boxed.features |= QStyleOptionViewItem::HasCheckIndicator;
    boxed.checkState = Qt::Unchecked;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect slot = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &boxed, widget);
    const int shift = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &boxed, widget).left() -
                      style->subElementRect(QStyle::SE_ItemViewItemDecoration, &plain, widget).left();
    QStyleOptionViewItem rest(option);
    rest.rect.setLeft(option.rect.left() + std::max(0, shift));
    QStyledItemDelegate::paint(painter, rest, index);
    no_index_icon_.paint(painter, slot);
  }

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) return;
    // The tree decides on the name after the editor has gone (its messages must not
    // interrupt the editor's own closing).
    const QPersistentModelIndex where(index);
    const QString typed = line->text();
    DatabaseTreeWidget* tree = tree_;
    QMetaObject::invokeMethod(
        tree,
        [tree, where, typed] {
          if (where.isValid()) tree->on_edited(tree->itemFromIndex(where), typed);
        },
        Qt::QueuedConnection);
  }

 private:
  DatabaseTreeWidget* tree_;
  QIcon no_index_icon_;
};

DatabaseTreeWidget::DatabaseTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  header()->setStretchLastSection(true);
  setIconSize(QSize(16, 16));
  setItemDelegate(new DatabaseTreeDelegate(this));
  setEditTriggers(QAbstractItemView::NoEditTriggers);  // names are edited by command
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(false);
  QIcon folder;
  folder.addPixmap(style()->standardPixmap(QStyle::SP_DirClosedIcon), QIcon::Normal);
  folder.addPixmap(style()->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Selected);
  folder_icon_ = folder;
  database_icon_ = style()->standardIcon(QStyle::SP_DriveHDIcon);
  auto expanded = [this] {
    if (!rebuilding_) expanded_flag_ = true;
  };
  connect(this, &QTreeWidget::itemExpanded, this, expanded);
  connect(this, &QTreeWidget::itemCollapsed, this, expanded);
  // A change of the selected node ends the editing state; the menus follow the node
  // also when it is chosen by keyboard.
  connect(this, &QTreeWidget::currentItemChanged, this, [this] {
    editing_ = false;
    enable_commands();
  });
}

DatabaseTreeWidget::~DatabaseTreeWidget() = default;

void DatabaseTreeWidget::style_rects(QTreeWidgetItem* item, QRect& state, QRect& icon,
                                     QRect& label) const {
  const QModelIndex index = indexFromItem(item);
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(index);
  opt.index = index;
  opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                 QStyleOptionViewItem::HasDisplay;
  opt.checkState = Qt::Unchecked;
  opt.text = item->text(0);
  opt.icon = item->icon(0);
  QStyle* s = style();
  state = s->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
  icon = s->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, this);
  label = s->subElementRect(QStyle::SE_ItemViewItemText, &opt, this);
  // The text's own width, not the rest of the row.
  const int margin = s->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  label.setWidth(std::min(label.width(), opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin));
}

DatabaseTreeWidget::Hit DatabaseTreeWidget::hit_test(const QPoint& pos) const {
  QTreeWidgetItem* item = itemAt(pos);
  if (!item) return {nullptr, HitPlace::NoNode};
  const QRect row = visualItemRect(item);
  if (pos.x() < row.left()) return {item, HitPlace::Indent};
  QRect state, icon, label;
  style_rects(item, state, icon, label);
  if (pos.x() <= state.right()) return {item, HitPlace::StateIcon};
  if (pos.x() <= icon.right()) return {item, HitPlace::Icon};
  if (pos.x() <= label.right()) return {item, HitPlace::Label};
  return {item, HitPlace::Elsewhere};
}

QPoint DatabaseTreeWidget::point_at(QTreeWidgetItem* item, HitPlace place) const {
  if (place == HitPlace::NoNode || !item) {
    int bottom = 0;
    for (auto it = items_.cbegin(); it != items_.cend(); ++it)
      bottom = std::max(bottom, visualItemRect(it.value()).bottom());
    return QPoint(4, bottom + 4);
  }
  const QRect row = visualItemRect(item);
  QRect state, icon, label;
  style_rects(item, state, icon, label);
  const int y = row.center().y();
  switch (place) {
    case HitPlace::StateIcon:
      return QPoint(state.center().x(), y);
    case HitPlace::Icon:
      return QPoint(icon.center().x(), y);
    case HitPlace::Label:
      return QPoint(label.center().x(), y);
    case HitPlace::Indent:
      return QPoint(std::max(0, row.left() - indentation() / 2), y);
    case HitPlace::Elsewhere:
      return QPoint(label.right() + 8, y);
    case HitPlace::NoNode:
      break;
  }
  return QPoint();
}

}  // namespace qm
