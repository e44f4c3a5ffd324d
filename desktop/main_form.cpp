// The main window's behaviour (see main_form.h): creation, captions, the search history,
// the start page, layout restore at first showing, the store at close, the option boxes
// and menu items that toggle together, the edit commands, the maker's pages and help.
#include "desktop/main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cstdio>

#include "common/big5_codec.h"
#include "common/ini.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/bookmark_form.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/env_fulltext_form.h"
#include "desktop/forms/form_ui.h"
#include "desktop/forms/options_form.h"
#include "desktop/forms/search_adv_form.h"
#include "desktop/forms/rebuild_form.h"
#include "desktop/forms/wizard_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/preview_pane.h"
#include "desktop/forms/wait_msg_form.h"
#include "desktop/search/page_run.h"
#include "desktop/main_settings.h"
#include "desktop/maker_pages.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/shell_open.h"

namespace qm {
TMainForm::TMainForm(std::string program_dir, QWidget* parent)
    : QMainWindow(parent), program_dir_(std::move(program_dir)) {
  setObjectName(QStringLiteral("MainForm"));
  build_widgets();
  build_menus();
  build_popups();
  wire_commands();
  wire_hit_commands();
  wire_advanced_commands();
  wire_bookmark_commands();
  resize(1000, 700);
}

TMainForm::~TMainForm() {
  delete own_shell_;
  tvDB->set_catalog(nullptr);
}

bool TMainForm::FormCreate() {
  if (!desktop_config_readable(program_dir_)) {
    ShowMessageById(text::kMsgNoConfiguration, text::kCaptionError, kStyleStop);
    return false;
  }
  if (!desktop_write_cache_dir(program_dir_))
    std::fprintf(stderr, "quillmere: cannot write CacheDir to %s\n",
                 desktop_config_path(program_dir_).c_str());

  // Until a database is checked there is nothing to search.
  for (QWidget* w : {static_cast<QWidget*>(btnSearch), static_cast<QWidget*>(btnSearchAdv)})
    w->setEnabled(false);
  mSearcher->setEnabled(false);
  mSearchAdv->setEnabled(false);
  mShowBrief->setChecked(true);
  mBrief->setChecked(true);
  for (QAction* a : {mOpen, mSave, mBrowser, mPrint, N2, N6, mPath, mSize, mAuthor, mType,
                     mReceiver})
    a->setVisible(false);
  // The commands of the forms still to come stay disabled until they are connected.
  for (QAction* a : {menuLayout, mWebSearch, mAddBM,
                     mEditBM, mAbout, mContent, popAddBM})
    a->setEnabled(false);
  for (QToolButton* b : {btnWebSearch}) b->setEnabled(false);
  Panel3->setEnabled(false);
  load_history();
  ShowStartPage();

  ApplyLanguageTexts();
  SetTreeCaption(ui_text(text::kTreeCaption));
  // The tree: Folder.dat completed from the configuration, then saved again.
  catalog_ = std::make_unique<DatabaseCatalog>(program_dir_);
  tvDB->set_catalog(catalog_.get());
  std::string root_text;
  if (!big5_from_utf8(load_text(text::kTreeCaption), root_text)) root_text.clear();
  tvDB->load_at_start(root_text);
  // The database property form is still to come: its items stay disabled.
  tvDB->set_command_items({mAddFolder, pAddFolder}, {}, {mDelFolder, pDelFolder, mRename, pRename});
  create_bookmark_forms();

  page_size_ = 0;
  mHomo->setVisible(homophone_shown_);
  mFault->setVisible(fault_shown_);
  mLexical->setVisible(lexical_shown_);
  chkH->setVisible(homophone_shown_);
  chkF->setVisible(fault_shown_);
  chkL->setVisible(lexical_shown_);
  mLine->setVisible(homophone_shown_ || fault_shown_ || lexical_shown_);
  refresh_search_controls();
  return true;
}

void TMainForm::ApplyLanguageTexts() {
  const QString title = ui_text(text::kTitleProduct) + QStringLiteral("  ") + ui_text(text::kTitleVersion);
  setWindowTitle(title);
  QApplication::setApplicationName(title);

  const bool lexicon = desktop_lexicon_present(program_dir_);
  chkL->setEnabled(lexicon);
  mLexical->setEnabled(lexicon);

  struct Caption {
    int id;
    QAction* item;
  };
  const Caption captions[] = {
      {text::kMenuWizard, mWizard},        {text::kMenuIndex, mIndex},
      {text::kMenuOpen, mOpen},            {text::kMenuSave, mSave},
      {text::kMenuBrowser, mBrowser},      {text::kMenuPrint, mPrint},
      {text::kMenuClose, mClose},          {text::kMenuAddFolder, mAddFolder},
      {text::kMenuDelFolder, mDelFolder},  {text::kMenuRename, mRename},
      {text::kMenuProperty, mProperty},    {text::kMenuCopy, menuCopy},
      {text::kMenuPaste, mPaste},          {text::kMenuDelete, mDelete},
      {text::kMenuSelectAll, mSelAll},     {text::kMenuDocument, mDoc},
      {text::kMenuLayout, menuLayout},     {text::kMenuShowBrief, mShowBrief},
      {text::kMenuShowBrief, mBrief},      {text::kMenuShowFull, mShowFull},
      {text::kMenuSortName, mSortName},    {text::kMenuSortTimes, mSortTimes},
      {text::kMenuSortTitle, mSortTitle},  {text::kMenuSortDate, mSortDate},
      {text::kMenuPath, mPath},            {text::kMenuSize, mSize},
      {text::kMenuAuthor, mAuthor},        {text::kMenuType, mType},
      {text::kMenuSender, mSender},        {text::kMenuReceiver, mReceiver},
      {text::kMenuAscending, mA},          {text::kMenuDescending, mD},
      {text::kMenuSearcher, mSearcher},    {text::kMenuSearchAdv, mSearchAdv},
      {text::kMenuHomophone, mHomo},       {text::kMenuFault, mFault},
      {text::kMenuClearHistory, mClearHistory}, {text::kMenuLexical, mLexical},
      {text::kMenuWebSearch, mWebSearch},  {text::kMenuOptions, mOptions},
      {text::kMenuAddBookmark, mAddBM},    {text::kMenuEditBookmarks, mEditBM},
      {text::kMenuContents, mContents},    {text::kMenuService, mService},
      {text::kMenuProduct, mProduct},      {text::kMenuOnline, mOnline},
      {text::kMenuHome, mHome},            {text::kMenuAbout, mAbout},
      {text::kMenuUpdate, mUpdate},        {text::kPopOpenFile, mOpenFile},
      {text::kPopFullText, mFullText},     {text::kPopShowBrief, ShowBrief},
      {text::kPopShowFull, ShowFull},      {text::kPopCopy, mCopy},
      {text::kPopSelectAll, mSelectAll},   {text::kPopAddBookmark, popAddBM},
      {text::kPopAddFolder, pAddFolder},   {text::kPopDelFolder, pDelFolder},
      {text::kPopRename, pRename},         {text::kPopProperty, pProperty},
      {text::kPopProperty, mContent},
  };
  for (const Caption& c : captions) c.item->setText(ui_text(c.id));
  struct MenuCaption {
    int id;
    QMenu* menu;
  };
  const MenuCaption menus[] = {
      {text::kMenuFile, mFile},     {text::kMenuEdit, mEdit},       {text::kMenuView, mView},
      {text::kMenuPreview, mPreview}, {text::kMenuSort, mSort},     {text::kMenuSearch, mSearch},
      {text::kMenuTools, mTools},   {text::kMenuBookmark, mBookMark}, {text::kMenuHelp, mHelp},
      {text::kMenuVesprin, mVesprin},
  };
  for (const MenuCaption& m : menus) m.menu->setTitle(ui_text(m.id));
  btnWizard->setText(ui_text(text::kToolWizard));
  btnIndex->setText(ui_text(text::kToolIndex));
  btnSearchAdv->setText(ui_text(text::kToolSearchAdv));
  btnHelp->setText(ui_text(text::kToolHelp));
  btnWebSearch->setText(ui_text(text::kWebSearch));
  btnFont->setText(ui_text(text::kToolFont));
  lblInput->setText(ui_text(text::kLabelInput));
  btnSearch->setText(ui_text(text::kButtonSearch));
  chkH->setText(ui_text(text::kCheckHomophone));
  chkF->setText(ui_text(text::kCheckFault));
  chkL->setText(ui_text(text::kCheckLexical));
  panelTreeHead->setToolTip(ui_text(text::kTreeHead));
  hits_->set_headers({ui_text(text::kColumnNumber), ui_text(text::kColumnName), ui_text(text::kColumnTimes),
                      ui_text(text::kColumnTitle), ui_text(text::kColumnDate)},
                     ui_text(text::kAdvMailSender));
  statusPanels[0]->setText(ui_text(text::kStatusReady));
  statusPanels[2]->setText(ui_text(text::kStatusHits));
  const int mailIds[4] = {text::kMailHeaderSender, text::kMailHeaderDate, text::kMailHeaderSubject,
                          text::kMailHeaderAttach};
  for (int i = 0; i < 4; ++i) mailHeaderLabels[i]->setText(ui_text(mailIds[i]));
  homophone_shown_ = fault_shown_ = lexical_shown_ = true;
}

void TMainForm::SetTreeCaption(const QString& text) {
  lblCaption->setText(text);
  btnShow->setText(text);
  btnShow->setFixedWidth(lblCaption->sizeHint().width() + 13);
  btnShow->setVisible(panelLeft->isHidden());
  lblCaption->setVisible(!panelLeft->isHidden());
}

std::vector<std::string> TMainForm::history_items() const {
  std::vector<std::string> items;
  for (int i = 0; i < cmbSrchHistory->count(); ++i) {
    std::string big5;
    if (qstring_to_big5(cmbSrchHistory->itemText(i), big5)) items.push_back(big5);
  }
  return items;
}

void TMainForm::load_history() {
  IniTree tree;
  tree.load(desktop_config_path(program_dir_));
  for (const std::string& item : history_read(tree))
    cmbSrchHistory->addItem(big5_to_qstring(item));
  cmbSrchHistory->setCurrentIndex(-1);
  cmbSrchHistory->setEditText(QString());
}

void TMainForm::relabel_page_buttons() {
  const PageButtonTexts t = page_button_texts(page_size_);
  spdbtnLast->setText(utf8_to_qstring(t.last));
  spdbtnNext->setText(utf8_to_qstring(t.next));
  spdbtnLast->setToolTip(utf8_to_qstring(t.last_hint));
  spdbtnNext->setToolTip(utf8_to_qstring(t.next_hint));
}

void TMainForm::restore_layout() {
  IniTree tree;
  tree.load(desktop_config_path(program_dir_));
  const QSize screenSize = screen() ? screen()->geometry().size() : QSize(1024, 768);
  const WindowLayout l = layout_read(tree, screenSize.width(), screenSize.height());
  if (l.maximized) {
    setWindowState(windowState() | Qt::WindowMaximized);
  } else {
    setGeometry(l.left, l.top, l.width, l.height);
  }
  panelTool->setVisible(l.tool);
  panelLeft->setVisible(l.catalog);
  panelPreview->setVisible(l.preview);
  SetTreeCaption(lblCaption->text());
  pending_page_size_ = qm::pending_page_size(tree);
  if (page_size_ == 0) {
    page_size_ = pending_page_size_;
    relabel_page_buttons();
  }
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // FormActivate: the search controls follow the tree on every activation.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) refresh_search_controls();
}

void TMainForm::set_result_pages(int page_start, int hit_count) {
  page_start_ = page_start;
  hit_count_ = hit_count;
  Panel3->setEnabled(hit_count > 0);
  spdbtnLast->setEnabled(page_start > 1);
  spdbtnNext->setEnabled(page_start + SearcherRowsPerPage(page_size_) <= hit_count);
}

void TMainForm::page_by(int direction) {
  // The searcher's pages hold at most 100 rows whatever size was asked for.
  const int start =
      page_start_after(page_start_, SearcherRowsPerPage(page_size_), hit_count_, direction);
  if (start != page_start_) emit pageRequested(start);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (first_show_done_) return;
  first_show_done_ = true;
  QApplication::processEvents();
  restore_layout();
  // Typing goes to the search box from the start.
  cmbSrchHistory->setFocus();
  SetUpBookmarks();
  if (on_first_show_) on_first_show_();
  // No database yet (the tree holds only its root): the wizard is offered.
  if (tvDB->model().nodes().size() < 2 &&
      ShowMessageById(text::kAskStartWizard, text::kCaptionQuestion, kStyleQuestionYesNo) == kAnswerYes)
    btnWizardClick();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A searcher or marker still running ends with the window.
  if (run_) run_->stop();
  if (wait_) wait_->close();
  if (!closing_done_) {
    closing_done_ = true;
    WindowLayout l;
    l.maximized = isMaximized();
    const QRect g = l.maximized ? normalGeometry() : geometry();
    l.left = g.x();
    l.top = g.y();
    l.width = g.width();
    l.height = g.height();
    l.tool = !panelTool->isHidden();
    l.catalog = !panelLeft->isHidden();
    l.preview = !panelPreview->isHidden();
    if (!desktop_store_on_close(program_dir_, history_items(), l))
      std::fprintf(stderr, "quillmere: cannot save %s\n",
                   desktop_config_path(program_dir_).c_str());
    if (catalog_ && !tvDB->save_tree())
      std::fprintf(stderr, "quillmere: cannot save %s\n", catalog_->FolderDatPath().c_str());
    if (bookmarks_ && bookmarks_->loaded() && !bookmarks_->Save())
      std::fprintf(stderr, "quillmere: cannot save %s\n", bookmarks_->FilePath().c_str());
  }
  event->accept();
}

void TMainForm::refresh_search_controls() {
  // The controls stay off while a search runs (it turns them on again at its end).
  if (search_busy_) return;
  // A database must be checked in the tree before anything can be searched.
  const bool anyChecked = tvDB->AnyDatabaseChecked();
  btnSearch->setEnabled(anyChecked);
  btnSearchAdv->setEnabled(anyChecked);
  mSearchAdv->setEnabled(anyChecked);
  if (anyChecked && cmbSrchHistory->currentText().isEmpty()) btnSearch->setEnabled(false);
  mSearcher->setEnabled(btnSearch->isEnabled());
}

void TMainForm::tree_changed() {
  refresh_search_controls();
  if (btnSearch->isEnabled()) return;
  ShowStartPage();
  hits_->clear();
  statusPanels[1]->clear();
  have_request_ = false;
  set_result_pages(1, 0);
}

void TMainForm::RefreshTree() {
  tvDB->refresh_tree();
  tree_changed();
}

void TMainForm::open_with_shell(const std::string& target) {
  if (!shell_) shell_ = own_shell_ = new ShellOpener();
  if (!shell_->open(target)) {
    std::fprintf(stderr, "quillmere: %s\n", shell_->error().c_str());
    ShowMessageById(text::kMsgShellFailed, text::kCaptionError, kStyleStop);
  }
}

void TMainForm::post_rename_refused() {
  QMetaObject::invokeMethod(this, [this] { on_rename_refused(); }, Qt::QueuedConnection);
}
void TMainForm::post_renamed() {
  QMetaObject::invokeMethod(this, [this] { on_renamed(); }, Qt::QueuedConnection);
}
void TMainForm::post_options_applied(int page_size) {
  QMetaObject::invokeMethod(this, [this, page_size] { on_options_applied(page_size); },
                            Qt::QueuedConnection);
}

void TMainForm::on_rename_refused() {
  // The selected node shows its old name again and is edited again.
  tvDB->restore_old_name_and_edit();
}

void TMainForm::on_renamed() {
  // Nothing more: the tree's rename has stored a database's new name as its Description
  // already (DatabaseCatalog::RenameTreeNode).
}

void TMainForm::btnIndexClick() {
  {
    TEnvFullTextForm form(program_dir_, this);
    form.exec();
  }
  // The catalogue reads the configuration the window changed.
  catalog_->RefreshConfig();
  RefreshTree();
}

void TMainForm::btnWizardClick() {
  {
    TWizardForm form(program_dir_, this);
    form.exec();
  }
  catalog_->RefreshConfig();
  RefreshTree();
}

void TMainForm::pPropertyClick() {
  TreeNode* node = tvDB->selected_node();
  if (!node || !node->is_database()) return;
  TRebuildForm form(program_dir_, this);
  form.DatabaseId = node->database_id;
  form.DatabaseIndex = catalog_->DatabaseIndexOf(node->database_id);
  if (form.exec() != QDialog::Accepted) return;
  catalog_->RefreshConfig();
  RefreshTree();
}

void TMainForm::on_options_applied(int page_size) {
  pending_page_size_ = page_size < 10 ? 100 : page_size;
  ShowSelectedRow(true);
}

void TMainForm::wire_commands() {
  connect(mClose, &QAction::triggered, this, &QWidget::close);
  connect(mIndex, &QAction::triggered, this, [this] { btnIndexClick(); });
  connect(mProperty, &QAction::triggered, this, [this] { pPropertyClick(); });
  connect(pProperty, &QAction::triggered, this, [this] { pPropertyClick(); });
  connect(btnIndex, &QToolButton::clicked, this, [this] { btnIndexClick(); });
  connect(mWizard, &QAction::triggered, this, [this] { btnWizardClick(); });
  connect(btnWizard, &QToolButton::clicked, this, [this] { btnWizardClick(); });
  // A menu item and its option box always agree.
  const std::pair<QCheckBox*, QAction*> pairs[] = {{chkH, mHomo}, {chkF, mFault}, {chkL, mLexical}};
  for (auto [box, item] : pairs) {
    connect(item, &QAction::toggled, box, [box](bool on) {
      if (box->isChecked() != on) box->setChecked(on);
    });
    connect(box, &QCheckBox::toggled, item, [item](bool on) {
      if (item->isChecked() != on) item->setChecked(on);
    });
  }
  connect(mClearHistory, &QAction::triggered, this, [this] {
    const QString text = cmbSrchHistory->currentText();
    cmbSrchHistory->clear();
    cmbSrchHistory->setEditText(text);
  });
  connect(cmbSrchHistory, &QComboBox::editTextChanged, this, [this] { refresh_search_controls(); });
  connect(menuCopy, &QAction::triggered, HTML1, &QTextBrowser::copy);
  connect(mPaste, &QAction::triggered, this, [this] { cmbSrchHistory->lineEdit()->paste(); });
  connect(mDelete, &QAction::triggered, this, [this] { cmbSrchHistory->lineEdit()->del(); });
  connect(mSelAll, &QAction::triggered, this, [this] { cmbSrchHistory->lineEdit()->selectAll(); });
  // The preview pop-up's Copy and Select All act on the preview.
  connect(mCopy, &QAction::triggered, HTML1, &QTextBrowser::copy);
  connect(mSelectAll, &QAction::triggered, HTML1, &QTextBrowser::selectAll);
  connect(mService, &QAction::triggered, this, [this] { open_with_shell(maker::kService); });
  connect(mProduct, &QAction::triggered, this, [this] { open_with_shell(maker::kProduct); });
  connect(mOnline, &QAction::triggered, this, [this] { open_with_shell(maker::kOnline); });
  connect(mHome, &QAction::triggered, this, [this] { open_with_shell(maker::kHome); });
  connect(mUpdate, &QAction::triggered, this, [this] { open_with_shell(maker::kDownload); });
  auto help = [this] { open_with_shell(program_dir_ + "help/index.html"); };
  connect(mContents, &QAction::triggered, this, help);
  connect(btnHelp, &QToolButton::clicked, this, help);
  connect(btnHide, &QToolButton::clicked, this, [this] {
    panelLeft->hide();
    SetTreeCaption(lblCaption->text());
  });
  connect(btnShow, &QToolButton::clicked, this, [this] {
    panelLeft->show();
    SetTreeCaption(lblCaption->text());
  });
  connect(HTML1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { PopupMenuPreview->popup(HTML1->mapToGlobal(p)); });
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    // PopupMenuSearchPopup: the hit commands need rows.
    const bool rows = hits_->rowCount() > 0;
    for (QAction* a : {mOpenFile, mBrief, mFullText, mContent, popAddBM}) a->setEnabled(rows);
    PopupMenuSearch->popup(ListView1->viewport()->mapToGlobal(p));
  });
  connect(tvDB, &DatabaseTreeWidget::nodeClicked, this, &TMainForm::SetTreeCaption);
  connect(tvDB, &DatabaseTreeWidget::treeChanged, this, &TMainForm::tree_changed);
  connect(tvDB, &DatabaseTreeWidget::renameRefused, this, &TMainForm::post_rename_refused);
  connect(tvDB, &DatabaseTreeWidget::renamed, this, &TMainForm::post_renamed);
  for (QAction* a : {mAddFolder, pAddFolder})
    connect(a, &QAction::triggered, tvDB, &DatabaseTreeWidget::add_folder);
  for (QAction* a : {mDelFolder, pDelFolder})
    connect(a, &QAction::triggered, tvDB, &DatabaseTreeWidget::delete_selected);
  for (QAction* a : {mRename, pRename})
    connect(a, &QAction::triggered, tvDB, &DatabaseTreeWidget::rename_selected);
  connect(tvDB, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { PopupMenuTree->popup(tvDB->viewport()->mapToGlobal(p)); });
  connect(spdbtnLast, &QPushButton::clicked, this, [this] { page_by(-1); });
  connect(spdbtnNext, &QPushButton::clicked, this, [this] { page_by(+1); });
}

}  // namespace qm
