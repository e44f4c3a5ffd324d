// The bookmark manager (see bookmark_form.h). The tree's data and edits are
// desktop/bookmarks/bookmark_tree.h's; this file shows them, mirrors them into the main
// window's bookmark menu and turns mouse, keyboard and drags into those edits.
#include "desktop/forms/bookmark_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragMoveEvent>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>

#include "common/big5_codec.h"
#include "desktop/big5_qt.h"
#include "desktop/bookmarks/bookmark_format.h"
#include "desktop/forms/form_ui.h"
#include "desktop/forms/property_forms.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/paths.h"

namespace qm {
namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

// Menu texts show "&" as itself.
QString menu_text(const std::string& big5) {
  return big5_to_qstring(big5).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QString path_text(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QIcon separator_icon() {
  QPixmap p(16, 16);
  p.fill(Qt::transparent);
  QPainter painter(&p);
  painter.setPen(QPen(Qt::darkGray, 2));
  painter.drawLine(1, 8, 14, 8);
  return QIcon(p);
}

// The pictures of tree and menu: 0 folder (1 when selected), 2 bookmark, 3 separator;
// made once, as a tree of a thousand nodes shows them a thousand times.
const QIcon& tree_icon(int image) {
  static const QIcon icons[3] = {
      [] {
        QStyle* s = QApplication::style();
        QIcon icon = s->standardIcon(QStyle::SP_DirClosedIcon);
        icon.addPixmap(s->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16), QIcon::Selected);
        return icon;
      }(),
      QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon),
      separator_icon(),
  };
  return icons[image == kImageFolder ? 0 : image == kImageBookmark ? 1 : 2];
}

// Text 12092 of every language table: a separator stays one after the language changes.
std::vector<std::string> separator_labels() {
  std::vector<std::string> labels;
  auto add = [&labels](const std::string& utf8) {
    std::string big5;
    if (!utf8.empty() && big5_from_utf8(utf8, big5) &&
        std::find(labels.begin(), labels.end(), big5) == labels.end())
      labels.push_back(big5);
  };
  add(load_text(text::kBookmarkSeparatorLabel));
  for (const char* language : {"en", "zh_TW"}) {
    QFile file(QStringLiteral(":/quillmere/strings-%1.tsv").arg(QLatin1String(language)));
    if (!file.open(QIODevice::ReadOnly)) continue;
    TextTable table;
    table.parse(file.readAll().toStdString());
    add(table.text(text::kBookmarkSeparatorLabel));
  }
  return labels;
}

}  // namespace

QAction* bookmark_menu_entry(QMenu* menu, const std::string& caption, int tag,
                             const std::function<void(int)>& click) {
  QAction* a = menu->addAction(tree_icon(kImageBookmark), menu_text(caption));
  a->setData(tag);
  QObject::connect(a, &QAction::triggered, menu, [click, tag] {
    if (click) click(tag);
  });
  return a;
}

// ---- BookmarkTreeView ----

BookmarkTreeView::BookmarkTreeView(TBookmarkForm* form, QWidget* parent)
    : QTreeWidget(parent), form_(form) {
  setObjectName(QStringLiteral("tvBM"));
  setHeaderHidden(true);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(false);
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  setContextMenuPolicy(Qt::CustomContextMenu);
}

void BookmarkTreeView::set_line(std::optional<int> y) {
  if (line_ == y) return;
  line_ = y;
  viewport()->update();
}

int BookmarkTreeView::source_kind(const QDropEvent* event) const {
  const QObject* source = event->source();
  if (source == this) return 1;
  if (source && form_->hit_list() && source == form_->hit_list()) return 2;
  return 0;
}

void BookmarkTreeView::dragEnterEvent(QDragEnterEvent* event) {
  if (source_kind(event) == 0) {
    event->ignore();
    return;
  }
  event->setDropAction(source_kind(event) == 1 ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
}

void BookmarkTreeView::dragMoveEvent(QDragMoveEvent* event) {
  const int kind = source_kind(event);
  if (kind != 0 && form_->tvBMDragOver(event->position().toPoint(), kind == 2)) {
    event->setDropAction(kind == 1 ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void BookmarkTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
  form_->tvBMDragLeave();
  QTreeWidget::dragLeaveEvent(event);
}

void BookmarkTreeView::dropEvent(QDropEvent* event) {
  const int kind = source_kind(event);
  // The tree is rebuilt by the drop: Qt's own move must not run on top of it.
  if (kind != 0 && form_->tvBMDragDrop(event->position().toPoint(), kind == 2)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void BookmarkTreeView::paintEvent(QPaintEvent* event) {
  QTreeWidget::paintEvent(event);
  if (!line_) return;
  QPainter painter(viewport());
  painter.setPen(QPen(Qt::red, 2));
  painter.drawLine(0, *line_, viewport()->width(), *line_);
}

void BookmarkTreeView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
    form_->bmDeleteClick();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

// ---- TBookmarkForm ----

TBookmarkForm::TBookmarkForm(std::string program_dir, QWidget* parent)
    : QMainWindow(parent, Qt::Window), program_dir_(std::move(program_dir)) {
  setObjectName(QStringLiteral("BookmarkForm"));
  tvBM = new BookmarkTreeView(this, this);
  setCentralWidget(tvBM);
  StatusBarMsg = new QStatusBar(this);
  StatusBarMsg->setObjectName(QStringLiteral("StatusBarMsg"));
  setStatusBar(StatusBarMsg);
  mFile = menuBar()->addMenu(QString());
  mFile->setObjectName(QStringLiteral("mFile"));
  mAddFolder = named_action(mFile, "mAddFolder");
  mSeparate = named_action(mFile, "mSeparate");
  mFile->addSeparator();
  mDel = named_action(mFile, "mDel");
  mRename = named_action(mFile, "mRename");
  mProperty = named_action(mFile, "mProperty");
  mFile->addSeparator();
  mClose = named_action(mFile, "mClose");
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  bmNewFolder = named_action(PopupMenu1, "bmNewFolder");
  bmSeparate = named_action(PopupMenu1, "bmSeparate");
  PopupMenu1->addSeparator();
  bmDelete = named_action(PopupMenu1, "bmDelete");
  bmRename = named_action(PopupMenu1, "bmRename");
  bmProperty = named_action(PopupMenu1, "bmProperty");
  resize(420, 460);

  tree_.set_separator_labels(separator_labels());
  tree_.load_records({}, root_caption());
  rebuild_view();

  for (QAction* a : {mAddFolder, bmNewFolder})
    connect(a, &QAction::triggered, this, &TBookmarkForm::bmNewFolderClick);
  for (QAction* a : {mSeparate, bmSeparate})
    connect(a, &QAction::triggered, this, &TBookmarkForm::bmSeparateClick);
  for (QAction* a : {mDel, bmDelete})
    connect(a, &QAction::triggered, this, &TBookmarkForm::bmDeleteClick);
  for (QAction* a : {mRename, bmRename})
    connect(a, &QAction::triggered, this, &TBookmarkForm::bmRenameClick);
  for (QAction* a : {mProperty, bmProperty})
    connect(a, &QAction::triggered, this, &TBookmarkForm::bmPropertyClick);
  connect(mClose, &QAction::triggered, this, &QWidget::close);
  connect(tvBM, &QTreeWidget::currentItemChanged, this, &TBookmarkForm::tvBMChange);
  connect(tvBM, &QTreeWidget::itemChanged, this, &TBookmarkForm::item_edited);
  // tvBMEdited: an edit that ends (not by Esc) saves and reloads, queued, so the editor is
  // gone first; a new folder's name thus reaches the menu even when kept as it was.
  connect(tvBM->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
          [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
            if (hint != QAbstractItemDelegate::RevertModelCache) PostSaveAndReload();
          });
  connect(tvBM, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    // The node under the mouse is selected for any button.
    if (QTreeWidgetItem* item = tvBM->itemAt(p)) tvBM->setCurrentItem(item);
    PopupMenu1->popup(tvBM->viewport()->mapToGlobal(p));
  });
}

TBookmarkForm::~TBookmarkForm() {
  // An editor still open closes with the view; its signals must not reach this form then.
  tvBM->itemDelegate()->disconnect(this);
  tvBM->disconnect(this);
}

std::string TBookmarkForm::root_caption() const {
  std::string big5;
  if (!big5_from_utf8(load_text(text::kBookmarkRoot), big5)) big5.clear();
  return big5;
}

std::string TBookmarkForm::FilePath() const {
  return path_find_case_blind(program_dir_, bookmark_dat::kFileName);
}

void TBookmarkForm::SetBookmarkMenu(QMenu* menu, std::function<void(int)> click) {
  menu_ = menu;
  click_ = std::move(click);
  Load();
}

void TBookmarkForm::SetHitSource(QWidget* list, std::function<std::optional<BookmarkHit>()> hit) {
  hit_list_ = list;
  hit_ = std::move(hit);
}

void TBookmarkForm::Load() {
  tree_.load(FilePath(), root_caption());
  loaded_ = true;
  rebuild_view();
  rebuild_menu();
}

bool TBookmarkForm::Save() {
  if (!loaded_) return false;
  // Written under its own spelling (an old file read under another case is left); a file
  // that cannot be written leaves the previous one.
  return tree_.save(program_dir_ + bookmark_dat::kFileName);
}

void TBookmarkForm::SaveAndReload() {
  const int position = tree_.position_of(selected_node());
  tvBM->setUpdatesEnabled(false);
  Save();
  Load();
  tvBM->setUpdatesEnabled(true);
  if (QTreeWidgetItem* root = tvBM->topLevelItem(0)) root->setExpanded(true);
  if (BookmarkNode* again = tree_.node_at(position)) select_node(again);
}

void TBookmarkForm::PostSaveAndReload() {
  QMetaObject::invokeMethod(this, [this] { SaveAndReload(); }, Qt::QueuedConnection);
}

void TBookmarkForm::rebuild_view() {
  rebuilding_ = true;
  const QSignalBlocker block(tvBM);
  tvBM->clear();
  std::function<void(BookmarkNode*, QTreeWidgetItem*)> add = [&](BookmarkNode* node,
                                                                 QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvBM);
    item->setText(0, big5_to_qstring(node->caption));
    item->setIcon(0, tree_icon(tree_.image_of(*node)));
    item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (node->parent) flags |= Qt::ItemIsDragEnabled;
    if (!tree_.is_separator(*node)) flags |= Qt::ItemIsEditable;  // tvBMEditing
    item->setFlags(flags);
    for (auto& child : node->children) add(child.get(), item);
  };
  add(tree_.root(), nullptr);
  tvBM->expandAll();
  rebuilding_ = false;
  tvBMChange();
}

void TBookmarkForm::rebuild_menu() {
  if (!menu_) return;
  // The menu keeps its first three entries (Add, Organize and the line below them).
  const QList<QAction*> actions = menu_->actions();
  for (qsizetype i = 3; i < actions.size(); ++i) {
    QAction* a = actions[i];
    menu_->removeAction(a);
    if (QMenu* sub = a->menu()) {
      sub->deleteLater();
    } else if (a->parent() == menu_) {
      a->deleteLater();
    }
  }
  std::function<void(const BookmarkNode*, QMenu*)> add = [&](const BookmarkNode* node, QMenu* menu) {
    for (const auto& child : node->children) {
      if (child->is_bookmark()) {
        bookmark_menu_entry(menu, child->caption, child->index, click_);
      } else if (tree_.is_separator(*child)) {
        menu->addSeparator();
        add(child.get(), menu);
      } else {
        QMenu* sub = menu->addMenu(tree_icon(kImageFolder), menu_text(child->caption));
        add(child.get(), sub);
      }
    }
  };
  add(tree_.root(), menu_);
}

BookmarkNode* TBookmarkForm::selected_node() const {
  QTreeWidgetItem* item = tvBM->currentItem();
  if (!item) return nullptr;
  return reinterpret_cast<BookmarkNode*>(item->data(0, kNodeRole).value<quintptr>());
}

QTreeWidgetItem* TBookmarkForm::item_of(const BookmarkNode* node) const {
  for (QTreeWidgetItemIterator it(tvBM); *it; ++it)
    if (reinterpret_cast<BookmarkNode*>((*it)->data(0, kNodeRole).value<quintptr>()) == node)
      return *it;
  return nullptr;
}

void TBookmarkForm::select_node(BookmarkNode* node) {
  if (QTreeWidgetItem* item = item_of(node)) tvBM->setCurrentItem(item);
}

TBMPtyForm* TBookmarkForm::property_form() {
  if (!pty_) pty_ = new TBMPtyForm(this);
  return pty_;
}

void TBookmarkForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormActivate();
}

void TBookmarkForm::FormActivate() {
  setWindowTitle(ui_text(text::kBookmarkCaption));
  mFile->setTitle(ui_text(text::kBookmarkFile));
  for (QAction* a : {mAddFolder, bmNewFolder}) a->setText(ui_text(text::kBookmarkNewFolder));
  for (QAction* a : {mSeparate, bmSeparate}) a->setText(ui_text(text::kBookmarkSeparator));
  mClose->setText(ui_text(text::kBookmarkClose));
  for (QAction* a : {mRename, bmRename}) a->setText(ui_text(text::kBookmarkRename));
  for (QAction* a : {mDel, bmDelete}) a->setText(ui_text(text::kBookmarkDelete));
  for (QAction* a : {mProperty, bmProperty}) a->setText(ui_text(text::kBookmarkProperty));
  if (QTreeWidgetItem* root = tvBM->topLevelItem(0)) root->setExpanded(true);
  tvBMChange();
}

void TBookmarkForm::closeEvent(QCloseEvent* event) {
  if (loaded_) {
    Save();
    Load();
  }
  setWindowFlag(Qt::WindowStaysOnTopHint, false);
  event->accept();
}

void TBookmarkForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void TBookmarkForm::tvBMChange() {
  if (rebuilding_) return;
  const BookmarkNode* node = selected_node();
  const bool root = node && !node->parent;
  const bool separator = node && tree_.is_separator(*node);
  const bool bookmark = node && node->is_bookmark();
  const bool folder = node && tree_.is_plain_folder(*node);
  for (QAction* a : {mDel, bmDelete}) a->setEnabled(node && !root);
  for (QAction* a : {mRename, bmRename}) a->setEnabled(node && !separator);
  for (QAction* a : {mProperty, bmProperty}) a->setEnabled(bookmark);
  for (QAction* a : {mAddFolder, bmNewFolder, mSeparate, bmSeparate}) a->setEnabled(folder);
  StatusBarMsg->showMessage(bookmark ? path_text(node->path) : QStringLiteral("Quillmere 2000"));
}

void TBookmarkForm::bmNewFolderClick() {
  BookmarkNode* made = tree_.add_folder_beside(selected_node(), "New Folder");
  if (!made) return;
  rebuild_view();
  select_node(made);
  // The name is edited at once; the edit's end saves and reloads.
  if (QTreeWidgetItem* item = item_of(made)) tvBM->editItem(item);
}

void TBookmarkForm::bmSeparateClick() {
  tree_.add_separator_beside(selected_node());
  SaveAndReload();
}

void TBookmarkForm::bmDeleteClick() {
  BookmarkNode* node = selected_node();
  if (!node || !node->parent) return;
  const std::string question = load_text(text::kAskDeleteBookmark) + " -- [" +
                               big5_to_qstring(node->caption).toStdString() + "]";
  if (ShowMessageText(question, text::kCaptionQuestion, kStyleQuestionOkCancel) == kAnswerCancel)
    return;
  tree_.remove(node);
  SaveAndReload();
}

void TBookmarkForm::bmRenameClick() {
  BookmarkNode* node = selected_node();
  if (!node || tree_.is_separator(*node)) return;
  if (QTreeWidgetItem* item = item_of(node)) tvBM->editItem(item);
}

void TBookmarkForm::item_edited(QTreeWidgetItem* item) {
  if (rebuilding_ || !item) return;
  auto* node = reinterpret_cast<BookmarkNode*>(item->data(0, kNodeRole).value<quintptr>());
  if (!node) return;
  std::string caption;
  if (!qstring_to_big5_or_warn(item->text(0), caption)) {
    const QSignalBlocker block(tvBM);
    item->setText(0, big5_to_qstring(node->caption));
    return;
  }
  tree_.set_caption(node, caption);
}

void TBookmarkForm::bmPropertyClick() {
  BookmarkNode* node = selected_node();
  if (!node || !node->is_bookmark()) return;
  TBMPtyForm* form = property_form();
  form->SetBookmark(big5_to_qstring(node->caption), path_text(node->path));
  if (form->exec() != QDialog::Accepted) return;
  std::string caption;
  if (!qstring_to_big5_or_warn(form->AcceptedCaption, caption)) return;
  tree_.set_caption(node, caption);
  tree_.set_path(node, QFile::encodeName(form->AcceptedTarget).toStdString());
  SaveAndReload();
}

BookmarkNode* TBookmarkForm::drop_target(const QPoint& pos, BookmarkDrop& zone, int& line_y) const {
  QTreeWidgetItem* item = tvBM->itemAt(pos);
  if (!item) return nullptr;
  auto* node = reinterpret_cast<BookmarkNode*>(item->data(0, kNodeRole).value<quintptr>());
  const QRect r = tvBM->visualItemRect(item);
  const int top = r.top(), bottom = r.top() + r.height();
  zone = bookmark_drop_zone(top, bottom, pos.y(), !node->parent, tree_.is_plain_folder(*node));
  line_y = zone == BookmarkDrop::Before ? top : bottom - 1;
  return zone == BookmarkDrop::None ? nullptr : node;
}

bool TBookmarkForm::tvBMDragOver(const QPoint& pos, bool from_hits) {
  tvBM->set_line(std::nullopt);
  if (from_hits) {
    const std::optional<BookmarkHit> hit = hit_ ? hit_() : std::nullopt;
    if (!hit || hit->mail) return false;  // mail cannot be bookmarked
  }
  BookmarkDrop zone = BookmarkDrop::None;
  int line_y = 0;
  BookmarkNode* target = drop_target(pos, zone, line_y);
  if (!target) return false;
  if (!from_hits) {
    BookmarkNode* dragged = selected_node();
    if (!dragged || !dragged->parent) return false;
    for (const BookmarkNode* p = target; p; p = p->parent)
      if (p == dragged) return false;
  }
  if (zone != BookmarkDrop::Into) tvBM->set_line(line_y);
  return true;
}

void TBookmarkForm::tvBMDragLeave() { tvBM->set_line(std::nullopt); }

bool TBookmarkForm::tvBMDragDrop(const QPoint& pos, bool from_hits) {
  tvBM->set_line(std::nullopt);
  BookmarkDrop zone = BookmarkDrop::None;
  int line_y = 0;
  BookmarkNode* target = drop_target(pos, zone, line_y);
  if (!target) return false;
  if (from_hits) {
    const std::optional<BookmarkHit> hit = hit_ ? hit_() : std::nullopt;
    if (!hit || hit->mail) return false;
    if (!tree_.drop_bookmark(target, zone, hit->caption, bookmark_hit_path(hit->path)))
      return false;
  } else if (!tree_.move(selected_node(), target, zone)) {
    return false;
  }
  SaveAndReload();
  return true;
}

int TBookmarkForm::AddBookmark(const std::string& caption, const std::string& path) {
  const int tag = tree_.add_bookmark(caption, path);
  rebuild_view();
  return tag;
}

}  // namespace qm
