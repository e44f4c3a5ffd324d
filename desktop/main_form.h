// TMainForm, the main window: tool bar, search box with its history, option boxes, the
// database tree panel, the result list with its page-size buttons, the preview, and four
// status panels. This file covers its creation, captions, first showing, layout and close,
// the search and the hit views; options, bookmarks, properties and the wizard connect to
// the controls left here (they stay disabled until then). Built in main_form_build.cpp
// (the widgets), main_form.cpp (behaviour), main_form_search.cpp (search, list, sorting,
// paging), main_form_views.cpp (preview, page files, opening documents) and
// main_form_bookmarks.cpp (bookmarks, hit properties, layout, about, web search); settings
// without Qt are main_settings.h, the search without Qt desktop/search/.
#pragma once
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/indexing/advanced_search.h"
#include "desktop/options_settings.h"
#include "desktop/search/hit_sort.h"
#include "desktop/search/search_request.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTextBrowser;
class QToolButton;
class QTreeView;
class QWidget;

namespace qm {

class DatabaseCatalog;
class DatabaseTreeWidget;
class HitListModel;
class PageRun;
class PreviewPane;
class ShellOpener;
class TOptionsForm;
class TSearchAdvForm;
class TWaitMsgForm;
class TBookmarkForm;
class TDocPtyForm;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // program_dir: the program directory, ending in "/".
  explicit TMainForm(std::string program_dir, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The creation steps: false when the configuration cannot be read (message 9005 under
  // 9001 has then been shown and the program ends with code 1).
  bool FormCreate();
  void ApplyLanguageTexts();
  void SetTreeCaption(const QString& text);
  // Called once, when the window is first shown (the program closes its splash here).
  void set_on_first_show(std::function<void()> f) { on_first_show_ = std::move(f); }
  // The opener of documents and addresses (tests give one that records).
  void set_shell_opener(ShellOpener* opener) { shell_ = opener; }

  const std::string& program_dir() const { return program_dir_; }
  int page_size() const { return page_size_; }
  int pending_page_size() const { return pending_page_size_; }
  std::vector<std::string> history_items() const;  // Big5, as stored

  // The hits of the current search (set by the search): the page-size buttons page through
  // them, asking for the page that starts at a row by pageRequested.
  void set_result_pages(int page_start, int hit_count);
  int page_start() const { return page_start_; }

  // After the wizard or the index window: the tree completed from the configuration and
  // saved, then the search controls.
  void RefreshTree();
  // btnIndex, mIndex: the index management window, modal; then the tree and search controls.
  void btnIndexClick();
  // btnWizard, mWizard: the index wizard, modal; then the tree and search controls.
  void btnWizardClick();
  // pProperty, mProperty: the add/edit form for the selected database node; after OK the
  // tree and the search controls.
  void pPropertyClick();
  DatabaseCatalog* catalog() const { return catalog_.get(); }

  // ---- Search (main_form_search.cpp) ----
  // The search button: the first page of the search text in the checked databases.
  void btnSearchClick();
  // Runs the searcher for the request and fills the list; the controls are off meanwhile.
  void StartSearch(const SearchRequestInput& request);
  bool search_busy() const { return search_busy_; }
  // Sorting: kinds 1-6 (desktop/search/hit_sort.h), as the column heads and menu do it.
  void SortByKind(int kind);
  void ListView1ColumnClick(int column);
  const SortDirections& sort_directions() const { return sort_directions_; }
  HitListModel* hits() const { return hits_; }
  // The program for page documents (VESPRIN key PageViewer), read at each opening.
  std::string page_viewer() const;

  // ---- Hit views (main_form_views.cpp) ----
  void ShowStartPage();
  void ShowSelectedRow(bool force);
  void ShowBriefView();
  bool CheckDocument();
  void ShowFullView();
  void ShowFullText(bool openInBrowser);
  void OpenDocument();
  bool OpenShellDocument(const std::string& path);
  void OpenPageDocument(const std::string& path);
  PreviewPane* preview() const { return preview_; }
  // The selected row, -1 for none.
  int selected_row() const;
  // The document of a row (HitDocumentPath).
  std::string row_document_path(int row) const;
  int marker_runs() const { return marker_runs_; }
  TWaitMsgForm* wait_window() const { return wait_.get(); }

  // ---- Advanced search and options (main_form_advanced.cpp, main_form_options.cpp) ----
  // btnSearchAdv, mSearchAdv: the advanced-search form (made at first use and kept); on
  // OK its text, switches, filters and mail fields are taken over and the search runs
  // with the searcher's first run and the filter over the keyword cache before the real
  // run. Filters without the keyword cache are refused (message 13041).
  void btnSearchAdvClick();
  TSearchAdvForm* search_adv_form() const { return search_adv_.get(); }
  // Whether the next search is the advanced one taken over from the form.
  bool advanced_pending() const { return advanced_pending_; }
  // The searcher's first runs made so far (one per advanced search).
  int pre_runs() const { return pre_runs_; }
  // mOptions, btnFont: the options form (made at first use and kept); after OK, and after
  // each Apply, its settings are taken over.
  void mOptionsClick();
  TOptionsForm* options_form() const { return options_.get(); }
  // The new highlight into every stored brief view (lengths kept).
  void ReapplyHighlightToViews(const HighlightMarks& marks);
  // The address of the web search site (the options form's editURL once taken over).
  const std::string& web_search_address() const { return web_search_address_; }
  // ---- Bookmarks, properties, layout, about, web search (main_form_bookmarks.cpp) ----
  // mEditBM: the bookmark manager, on top of all windows.
  void mEditBMClick();
  // mAddBM, popAddBM: the selected hit (not a mail) as a bookmark and a menu entry.
  void mAddBMClick();
  // A bookmark menu entry: opens the bookmark's document.
  void BookmarkClick(int tag);
  // mContent: the properties of the selected hit, modal.
  void mContentClick();
  // btnWebSearch, mWebSearch: the web search form, modal.
  void btnWebSearchClick();
  // menuLayout: the layout dialog, modal; then the tree caption follows the tree panel.
  void menuLayoutClick();
  // mAbout: the about box, modal.
  void mAboutClick();
  // At the first showing: the manager fills the bookmark menu and takes hits from the list.
  void SetUpBookmarks();
  // The web search site (the options' address; by default the maker's).
  void set_web_search_address(std::string address) { web_search_address_ = std::move(address); }
  TBookmarkForm* bookmark_form() const { return bookmarks_; }
  TDocPtyForm* doc_pty_form() const { return doc_pty_; }

  // The private messages of the old window, as queued calls.
  void post_rename_refused();   // 2024: a tree rename to an empty or duplicate name
  void post_renamed();          // 2124: a valid tree rename
  void post_options_applied(int page_size);  // 2224: the options were applied

  // Controls, named as the window's events are (public for the forms and tests that
  // connect to them).
  QMenu *mFile, *mEdit, *mView, *mSearch, *mTools, *mHelp, *mPreview, *mSort, *mBookMark,
      *mVesprin;
  QAction *mWizard, *mIndex, *mOpen, *mSave, *mBrowser, *mPrint, *N2, *mAddFolder, *mDelFolder,
      *mRename, *mProperty, *N6, *mClose;
  QAction *menuCopy, *mPaste, *mDelete, *mSelAll;
  QAction *mDoc, *menuLayout, *mShowBrief, *mShowFull, *mSortName, *mSortTimes, *mSortTitle,
      *mSortDate, *mPath, *mSize, *mAuthor, *mType, *mSender, *mReceiver, *mA, *mD;
  QAction *mSearcher, *mSearchAdv, *mLine, *mHomo, *mFault, *mLexical, *mClearHistory;
  QAction *mWebSearch, *mOptions, *mAddBM, *mEditBM;
  QAction *mContents, *mService, *mProduct, *mOnline, *mHome, *mAbout, *mUpdate;
  // Pop-up menus: the result list, the preview, the tree.
  QMenu *PopupMenuSearch, *PopupMenuPreview, *PopupMenuTree;
  QAction *mOpenFile, *mBrief, *mFullText, *mContent, *popAddBM;
  QAction *ShowBrief, *ShowFull, *mCopy, *mSelectAll;
  QAction *pAddFolder, *pDelFolder, *pRename, *pProperty;

  QWidget* panelTool;
  QToolButton *btnWizard, *btnIndex, *btnSearchAdv, *btnWebSearch, *btnFont, *btnHelp;
  QLabel* lblInput;
  QComboBox* cmbSrchHistory;
  QPushButton* btnSearch;
  QCheckBox *chkH, *chkF, *chkL;
  QSplitter *Splitter1, *Splitter2;
  QWidget* panelLeft;
  QWidget* panelTreeHead;
  QLabel* lblCaption;
  QToolButton *btnHide, *btnShow;
  DatabaseTreeWidget* tvDB;
  QWidget* panelPreview;
  QTreeView* ListView1;
  QWidget* Panel3;
  QPushButton *spdbtnLast, *spdbtnNext;
  QTextBrowser* HTML1;
  QLabel* mailHeaderLabels[4];
  QLabel* statusPanels[4];

 signals:
  void pageRequested(int first_row);

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build_widgets();
  void build_menus();
  void build_popups();
  void wire_commands();
  void load_history();
  void wire_hit_commands();
  void wire_view_commands();
  void set_search_controls(bool enabled);
  std::optional<SearchRequestInput> request_from_controls();
  bool RunSearcher(const std::string& query, std::vector<HitRow>& rows, std::string& hit_number,
                   std::optional<int>& page_start);
  void FillMailColumns();
  void UpdateSearchHistory();
  void sort_menu_item(int kind);
  void preview_mode(bool brief);
  void open_link(const QUrl& url);
  void restore_layout();
  void relabel_page_buttons();
  void refresh_search_controls();
  // After the tree's checks or databases changed: the search controls, and with nothing
  // to search the start page, an empty list and an empty status panel 1.
  void tree_changed();
  void open_with_shell(const std::string& target);
  void on_rename_refused();
  void on_renamed();
  void on_options_applied(int page_size);
  void page_by(int direction);
  // Advanced search and options.
  void wire_advanced_commands();
  void wire_options_commands();
  // The searcher's first run and the filter loop of an advanced search; false when the
  // window was closed meanwhile (no real run then).
  bool AdvancedPreRunAndFilter(const std::string& query, const SearchRequestInput& request);
  // The options form's settings taken over (OK, or the applied message).
  void take_over_options();
  // Bookmarks and the other windows of main_form_bookmarks.cpp.
  void create_bookmark_forms();
  void wire_bookmark_commands();

  std::string program_dir_;
  int page_size_ = 0;          // rows per page (0 until first shown)
  int page_start_ = 1;         // first row of the page shown
  int hit_count_ = 0;
  int pending_page_size_ = 100;
  bool homophone_shown_ = false, fault_shown_ = false, lexical_shown_ = false;
  bool first_show_done_ = false;
  bool closing_done_ = false;
  std::function<void()> on_first_show_;
  ShellOpener* shell_ = nullptr;
  ShellOpener* own_shell_ = nullptr;
  std::unique_ptr<DatabaseCatalog> catalog_;

  // Search and hit views.
  HitListModel* hits_ = nullptr;
  PreviewPane* preview_ = nullptr;
  std::unique_ptr<TWaitMsgForm> wait_;
  PageRun* run_ = nullptr;  // the searcher or marker run going on, stopped at close
  SearchRequestInput last_request_;
  bool have_request_ = false;
  std::vector<int> mail_ids_;
  SortDirections sort_directions_;
  bool search_busy_ = false;
  std::string last_full_row_;  // caption of the row shown last in full view
  int marker_runs_ = 0;

  // Advanced search and options.
  std::unique_ptr<TSearchAdvForm> search_adv_;
  std::unique_ptr<TOptionsForm> options_;
  AdvancedSearchChoice advanced_;
  bool advanced_pending_ = false;
  bool last_search_advanced_ = false;  // paging through it filters again
  int pre_runs_ = 0;
  // Bookmarks, properties, web search (children of the window).
  TBookmarkForm* bookmarks_ = nullptr;
  TDocPtyForm* doc_pty_ = nullptr;
  bool bookmarks_set_up_ = false;
  std::string web_search_address_;
};

}  // namespace qm
