// The main window's widgets, menus and pop-up menus (see main_form.h). Every control gets
// its name as object name, so forms and tests find it by that name. Captions are set by
// ApplyLanguageTexts (main_form.cpp), never here.
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "desktop/forms/form_ui.h"
#include "desktop/main_form.h"
#include "desktop/forms/database_tree.h"
#include "desktop/hit_list_model.h"
#include "desktop/preview_pane.h"

namespace qm {
namespace {

QAction* separator(QMenu* menu, const char* name) {
  QAction* a = menu->addSeparator();
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

QToolButton* tool_button(QWidget* parent, QHBoxLayout* row, const char* name) {
  auto* b = named(new QToolButton(parent), name);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  b->setAutoRaise(true);
  row->addWidget(b);
  return b;
}

}  // namespace

void TMainForm::build_widgets() {
  auto* central = named(new QWidget(this), "panelMain");
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(2, 2, 2, 2);
  outer->setSpacing(2);

  // Tool bar panel: the tool buttons, then the search line.
  panelTool = named(new QWidget(central), "panelTool");
  auto* toolRows = new QVBoxLayout(panelTool);
  toolRows->setContentsMargins(0, 0, 0, 0);
  auto* buttons = new QHBoxLayout;
  btnWizard = tool_button(panelTool, buttons, "btnWizard");
  btnIndex = tool_button(panelTool, buttons, "btnIndex");
  btnSearchAdv = tool_button(panelTool, buttons, "btnSearchAdv");
  btnWebSearch = tool_button(panelTool, buttons, "btnWebSearch");
  btnFont = tool_button(panelTool, buttons, "btnFont");
  btnHelp = tool_button(panelTool, buttons, "btnHelp");
  buttons->addStretch(1);
  toolRows->addLayout(buttons);
  auto* searchRow = new QHBoxLayout;
  lblInput = named(new QLabel(panelTool), "lblInput");
  cmbSrchHistory = named(new QComboBox(panelTool), "cmbSrchHistory");
  cmbSrchHistory->setEditable(true);
  cmbSrchHistory->setInsertPolicy(QComboBox::NoInsert);
  cmbSrchHistory->setMinimumWidth(260);
  btnSearch = named(new QPushButton(panelTool), "btnSearch");
  chkH = named(new QCheckBox(panelTool), "chkH");
  chkF = named(new QCheckBox(panelTool), "chkF");
  chkL = named(new QCheckBox(panelTool), "chkL");
  searchRow->addWidget(lblInput);
  searchRow->addWidget(cmbSrchHistory, 1);
  searchRow->addWidget(btnSearch);
  // Left to right in this order; a hidden box leaves no gap.
  searchRow->addWidget(chkH);
  searchRow->addWidget(chkF);
  searchRow->addWidget(chkL);
  toolRows->addLayout(searchRow);
  outer->addWidget(panelTool);

  // Below: the tree panel beside the list and preview.
  Splitter1 = named(new QSplitter(Qt::Horizontal, central), "Splitter1");
  panelLeft = named(new QWidget(Splitter1), "panelLeft");
  auto* leftColumn = new QVBoxLayout(panelLeft);
  leftColumn->setContentsMargins(0, 0, 0, 0);
  panelTreeHead = named(new QWidget(panelLeft), "panelTreeHead");
  auto* head = new QHBoxLayout(panelTreeHead);
  head->setContentsMargins(4, 0, 0, 0);
  lblCaption = named(new QLabel(panelTreeHead), "lblCaption");
  btnHide = named(new QToolButton(panelTreeHead), "btnHide");
  btnHide->setText(QStringLiteral("x"));
  btnHide->setAutoRaise(true);
  head->addWidget(lblCaption, 1);
  head->addWidget(btnHide);
  leftColumn->addWidget(panelTreeHead);
  // The database tree (filled by the catalogue) with its pop-up menu.
  tvDB = named(new DatabaseTreeWidget(panelLeft), "tvDB");
  tvDB->setContextMenuPolicy(Qt::CustomContextMenu);
  leftColumn->addWidget(tvDB);
  // Splitter1CanResize: the tree keeps at least 30 pixels with the splitter's handle.
  panelLeft->setMinimumWidth(std::max(0, 30 - Splitter1->handleWidth()));

  auto* right = named(new QWidget(Splitter1), "panelRight");
  auto* rightColumn = new QVBoxLayout(right);
  rightColumn->setContentsMargins(0, 0, 0, 0);
  btnShow = named(new QToolButton(right), "btnShow");
  btnShow->setVisible(false);
  rightColumn->addWidget(btnShow, 0, Qt::AlignLeft);
  Splitter2 = named(new QSplitter(Qt::Vertical, right), "Splitter2");
  auto* listPanel = named(new QWidget(Splitter2), "panelList");
  auto* listColumn = new QVBoxLayout(listPanel);
  listColumn->setContentsMargins(0, 0, 0, 0);
  ListView1 = named(new QTreeView(listPanel), "ListView1");
  hits_ = new HitListModel(this);
  ListView1->setModel(hits_);
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setAcceptDrops(false);  // ListView1DragOver refuses every drop
  ListView1->setDragDropMode(QAbstractItemView::DragOnly);
  ListView1->header()->setSectionsClickable(true);
  ListView1->header()->setSortIndicatorShown(false);
  {
    const int widths[] = {40, 150, 60, 150, 75};
    for (int c = 0; c < 5; ++c) ListView1->header()->resizeSection(c, widths[c]);
  }
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  listColumn->addWidget(ListView1);
  Panel3 = named(new QWidget(listPanel), "Panel3");
  auto* paging = new QHBoxLayout(Panel3);
  paging->setContentsMargins(0, 0, 0, 0);
  spdbtnLast = named(new QPushButton(Panel3), "spdbtnLast");
  spdbtnNext = named(new QPushButton(Panel3), "spdbtnNext");
  paging->addStretch(1);
  paging->addWidget(spdbtnLast);
  paging->addWidget(spdbtnNext);
  listColumn->addWidget(Panel3);
  panelPreview = named(new QWidget(Splitter2), "panelPreview");
  auto* previewColumn = new QVBoxLayout(panelPreview);
  previewColumn->setContentsMargins(0, 0, 0, 0);
  auto* mailHeader = new QHBoxLayout;
  static const char* const kMailNames[4] = {"lblMailSender", "lblMailDate", "lblMailSubject",
                                            "lblMailAttach"};
  for (int i = 0; i < 4; ++i) {
    mailHeaderLabels[i] = named(new QLabel(panelPreview), kMailNames[i]);
    mailHeaderLabels[i]->setVisible(false);  // shown with a mail hit
    mailHeader->addWidget(mailHeaderLabels[i]);
  }
  previewColumn->addLayout(mailHeader);
  HTML1 = named(new QTextBrowser(panelPreview), "HTML1");
  HTML1->setOpenLinks(false);
  preview_ = new PreviewPane(HTML1, this);
  HTML1->setContextMenuPolicy(Qt::CustomContextMenu);
  previewColumn->addWidget(HTML1);
  rightColumn->addWidget(Splitter2, 1);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({220, 780});
  Splitter2->setSizes({300, 300});
  outer->addWidget(Splitter1, 1);
  setCentralWidget(central);

  // "Ready", the total, "Hits" and the document's path: the total stands right beside its
  // label and the path takes the rest of the bar.
  for (int i = 0; i < 4; ++i) {
    statusPanels[i] = new QLabel(this);
    statusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    statusPanels[i]->setMinimumWidth(i == 3 ? 300 : i == 0 ? 120 : 60);
    if (i == 1) statusPanels[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addWidget(statusPanels[i], i == 3 ? 1 : 0);
  }
}

void TMainForm::build_menus() {
  QMenuBar* bar = menuBar();
  mFile = named(bar->addMenu(QString()), "mFile");
  mWizard = named_action(mFile, "mWizard");
  mIndex = named_action(mFile, "mIndex");
  mFile->addSeparator();
  mOpen = named_action(mFile, "mOpen");
  mSave = named_action(mFile, "mSave");
  mBrowser = named_action(mFile, "mBrowser");
  mPrint = named_action(mFile, "mPrint");
  N2 = separator(mFile, "N2");
  mAddFolder = named_action(mFile, "mAddFolder");
  mDelFolder = named_action(mFile, "mDelFolder");
  mRename = named_action(mFile, "mRename");
  mProperty = named_action(mFile, "mProperty");
  N6 = separator(mFile, "N6");
  mClose = named_action(mFile, "mClose");

  mEdit = named(bar->addMenu(QString()), "mEdit");
  menuCopy = named_action(mEdit, "menuCopy");
  mPaste = named_action(mEdit, "mPaste");
  mDelete = named_action(mEdit, "mDelete");
  mSelAll = named_action(mEdit, "mSelAll");

  mView = named(bar->addMenu(QString()), "mView");
  mDoc = named_action(mView, "mDoc");
  menuLayout = named_action(mView, "menuLayout");
  mPreview = named(mView->addMenu(QString()), "mPreview");
  mShowBrief = named_action(mPreview, "mShowBrief");
  mShowFull = named_action(mPreview, "mShowFull");
  mShowBrief->setCheckable(true);
  mShowFull->setCheckable(true);
  mSort = named(mView->addMenu(QString()), "mSort");
  for (QAction** a : {&mSortName, &mSortTimes, &mSortTitle, &mSortDate, &mPath, &mSize, &mAuthor,
                      &mType, &mSender, &mReceiver}) {
    *a = mSort->addAction(QString());
    (*a)->setCheckable(true);
  }
  static const char* const kSortNames[] = {"mSortName", "mSortTimes", "mSortTitle", "mSortDate",
                                           "mPath",     "mSize",      "mAuthor",    "mType",
                                           "mSender",   "mReceiver"};
  QList<QAction*> sortItems = mSort->actions();
  for (int i = 0; i < sortItems.size(); ++i) sortItems[i]->setObjectName(kSortNames[i]);
  mSort->addSeparator();
  mA = named_action(mSort, "mA");
  mD = named_action(mSort, "mD");
  mA->setCheckable(true);
  mD->setCheckable(true);

  mSearch = named(bar->addMenu(QString()), "mSearch");
  mSearcher = named_action(mSearch, "mSearcher");
  mSearchAdv = named_action(mSearch, "mSearchAdv");
  mLine = separator(mSearch, "mLine");
  mHomo = named_action(mSearch, "mHomo");
  mFault = named_action(mSearch, "mFault");
  mLexical = named_action(mSearch, "mLexical");
  for (QAction* a : {mHomo, mFault, mLexical}) a->setCheckable(true);
  mSearch->addSeparator();
  mClearHistory = named_action(mSearch, "mClearHistory");

  mTools = named(bar->addMenu(QString()), "mTools");
  mWebSearch = named_action(mTools, "mWebSearch");
  mOptions = named_action(mTools, "mOptions");
  mBookMark = named(mTools->addMenu(QString()), "mBookMark");
  mAddBM = named_action(mBookMark, "mAddBM");
  mEditBM = named_action(mBookMark, "mEditBM");
  mBookMark->addSeparator();  // the bookmark entries follow

  mHelp = named(bar->addMenu(QString()), "mHelp");
  mContents = named_action(mHelp, "mContents");
  mVesprin = named(mHelp->addMenu(QString()), "mVesprin");
  mService = named_action(mVesprin, "mService");
  mProduct = named_action(mVesprin, "mProduct");
  mOnline = named_action(mVesprin, "mOnline");
  mHome = named_action(mVesprin, "mHome");
  mUpdate = named_action(mHelp, "mUpdate");
  mHelp->addSeparator();
  mAbout = named_action(mHelp, "mAbout");
}

void TMainForm::build_popups() {
  PopupMenuSearch = named(new QMenu(this), "PopupMenuSearch");
  mOpenFile = named_action(PopupMenuSearch, "mOpenFile");
  mBrief = named_action(PopupMenuSearch, "mBrief");
  mBrief->setCheckable(true);
  mFullText = named_action(PopupMenuSearch, "mFullText");
  mFullText->setCheckable(true);
  PopupMenuSearch->addSeparator();
  popAddBM = named_action(PopupMenuSearch, "popAddBM");
  mContent = named_action(PopupMenuSearch, "mContent");

  PopupMenuPreview = named(new QMenu(this), "PopupMenuPreview");
  ShowBrief = named_action(PopupMenuPreview, "ShowBrief");
  ShowFull = named_action(PopupMenuPreview, "ShowFull");
  PopupMenuPreview->addSeparator();
  mCopy = named_action(PopupMenuPreview, "mCopy");
  mSelectAll = named_action(PopupMenuPreview, "mSelectAll");

  PopupMenuTree = named(new QMenu(this), "PopupMenuTree");
  pAddFolder = named_action(PopupMenuTree, "pAddFolder");
  pDelFolder = named_action(PopupMenuTree, "pDelFolder");
  pRename = named_action(PopupMenuTree, "pRename");
  PopupMenuTree->addSeparator();
  pProperty = named_action(PopupMenuTree, "pProperty");
}

}  // namespace qm
