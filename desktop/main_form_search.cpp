// The main window's search (see main_form.h): the request from the tree and the search
// controls, the searcher run as a child while the window keeps working, the rows it
// gives with their dates, mail senders and attachment icons, the search history, the
// page-size buttons' pages, and the sorting of the result list. The logic without Qt is in
// desktop/search/ (request, hit lines, sort kinds, child runs).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <cstdio>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/database_tree.h"
#include "desktop/forms/wait_msg_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/main_settings.h"
#include "desktop/messages.h"
#include "desktop/search/full_view.h"
#include "desktop/search/page_run.h"
#include "desktop/text_ids.h"

namespace qm {
namespace {

constexpr int kSearcherLimitMs = 20000;  // the searcher's run, as long as it may take
constexpr int kPollSliceMs = 20;         // the window works at least this often

// The sender as the list shows it: up to the first "<", double quotes as blanks, trimmed.
std::string sender_shown(std::string sender) {
  const size_t lt = sender.find('<');
  if (lt != std::string::npos) sender.resize(lt);
  std::replace(sender.begin(), sender.end(), '"', ' ');
  string_trim(sender, " ");
  return sender;
}

}  // namespace

std::string TMainForm::page_viewer() const {
  IniTree tree;
  tree.load(desktop_config_path(program_dir_));
  return tree.get("VESPRIN", "PageViewer").value_or(std::string());
}

void TMainForm::set_search_controls(bool enabled) {
  if (enabled) {
    refresh_search_controls();
    return;
  }
  btnSearch->setEnabled(false);
  btnSearchAdv->setEnabled(false);
  mSearcher->setEnabled(false);
  mSearchAdv->setEnabled(false);
}

std::optional<SearchRequestInput> TMainForm::request_from_controls() {
  SearchRequestInput in;
  mail_ids_.clear();
  FolderTree& tree = tvDB->model();
  if (tree.empty()) return std::nullopt;
  for (const TreeNode* node : tree.nodes()) {
    if (node == tree.root() || !node->is_database() || node->state != kStateChecked) continue;
    const int id = tree.NodeDatabaseId(node);
    if (id < 0) continue;
    in.database_ids.push_back(id);
    if (catalog_->IsMailDatabase(id)) mail_ids_.push_back(id);
  }
  if (in.database_ids.empty()) return std::nullopt;
  if (!qstring_to_big5_or_warn(cmbSrchHistory->currentText(), in.text)) return std::nullopt;
  in.homophone = chkH->isChecked();
  in.fault = chkF->isChecked();
  in.lexical = chkL->isChecked();
  in.rows_per_page = page_size_;
  in.page_start = page_start_;
  // An advanced search asks for the mail fields chosen in its form.
  if (advanced_pending_ && advanced_.mail_fields_wanted()) {
    in.mail_fields_wanted = true;
    for (int f = 0; f < 3; ++f) in.mail_fields[f] = advanced_.mail_fields[f];
  }
  return in;
}

void TMainForm::btnSearchClick() {
  if (search_busy_) return;
  page_start_ = 1;
  if (page_size_ != pending_page_size_) {
    page_size_ = pending_page_size_;
    relabel_page_buttons();
  }
  const std::optional<SearchRequestInput> request = request_from_controls();
  if (request) StartSearch(*request);
}

void TMainForm::StartSearch(const SearchRequestInput& request) {
  if (search_busy_) return;
  if (!wait_) wait_ = std::make_unique<TWaitMsgForm>();
  Panel3->setEnabled(false);
  set_search_controls(false);
  const std::optional<std::string> query = BuildSearchQuery(request);
  if (!query) {
    // Cutting the text would search for something else: the search is refused.
    ShowMessageById(text::kMsgRequestTooLong, text::kCaptionError, kStyleStop);
    advanced_pending_ = false;
    set_search_controls(true);
    Panel3->setEnabled(hit_count_ > 0);
    return;
  }
  ShowStartPage();
  search_busy_ = true;
  ListView1->setCursor(Qt::BusyCursor);
  wait_->show_wait();
  QApplication::processEvents();
  hits_->set_sender_column(false);
  catalog_->ClearCache();

  hits_->clear();
  statusPanels[1]->clear();
  statusPanels[3]->clear();
  last_full_row_.clear();
  std::vector<HitRow> rows;
  std::string hit_number;
  std::optional<int> first;
  // An advanced search: the first run fills the keyword cache and the filters rewrite it.
  const bool advanced = advanced_pending_;
  advanced_pending_ = false;
  last_search_advanced_ = advanced;
  if (!advanced || AdvancedPreRunAndFilter(*query, request)) RunSearcher(*query, rows, hit_number, first);
  last_request_ = request;
  have_request_ = true;
  QApplication::processEvents();

  for (HitRow& row : rows)
    row.mail = std::find(mail_ids_.begin(), mail_ids_.end(), row.database_id) != mail_ids_.end();
  if (!rows.empty()) FillHitDates(*catalog_, rows);
  hits_->set_rows(std::move(rows));
  if (hits_->rowCount() > 0) UpdateSearchHistory();
  statusPanels[1]->setText(big5_to_qstring(hit_number));
  ListView1->unsetCursor();
  // The list starts sorted by occurrences, most first.
  sort_directions_.set(kSortTimes, false);
  SortByKind(kSortTimes);
  search_busy_ = false;
  wait_->request_close();
  QApplication::processEvents();
  // A search ended by closing the window tells nothing more.
  if (hits_->rowCount() == 0 && !closing_done_)
    ShowMessageById(text::kMsgNoHits, text::kCaptionInformation, kStyleInformation);
  set_search_controls(true);
  FillMailColumns();
  const long long total = string_leading_number(hit_number);
  set_result_pages(first.value_or(request.page_start),
                   static_cast<int>(std::clamp<long long>(total, 0, 1 << 30)));
  catalog_->ClearCache();
}

bool TMainForm::RunSearcher(const std::string& query, std::vector<HitRow>& rows,
                            std::string& hit_number, std::optional<int>& page_start) {
  HitLineParser parser;
  PageRun run;
  const bool started = run.start(program_dir_, "searcher", query,
                                 [&](std::string_view piece) { return parser.feed(piece); },
                                 kSearcherLimitMs);
  if (!started) {
    std::fprintf(stderr, "quillmere: %s\n", run.error().c_str());
    return false;
  }
  run_ = &run;
  run.run_to_end(kPollSliceMs, [] { QApplication::processEvents(); });
  run_ = nullptr;
  parser.finish();
  if (parser.no_keyword()) return true;  // no usable keyword: no rows
  rows = std::move(parser.rows());
  hit_number = parser.hit_number();
  page_start = parser.page_start();
  return true;
}

void TMainForm::FillMailColumns() {
  bool any_mail = false;
  int last_db = -1;
  std::vector<int> with_attachments;
  hits_->update_rows([&](std::vector<HitRow>& rows) {
    for (HitRow& row : rows) {
      if (!row.mail) continue;
      any_mail = true;
      const HitLink link = DatabaseCatalog::ParseHitLink(row.sub[kSubMarker]);
      if (link.database_id != last_db) {
        last_db = link.database_id;
        with_attachments = catalog_->ListMailsWithAttachments(last_db);
      }
      if (std::find(with_attachments.begin(), with_attachments.end(), link.document) !=
          with_attachments.end())
        row.image = 2;
      std::string sender;
      if (catalog_->ReadMailSender(link.database_id, link.document, sender))
        row.sub[kSubSender] = sender_shown(sender);
    }
  });
  catalog_->CloseMailSenderFile();
  if (any_mail) hits_->set_sender_column(true);
}

void TMainForm::UpdateSearchHistory() {
  const QString text = cmbSrchHistory->currentText();
  for (int i = 0; i < cmbSrchHistory->count(); ++i) {
    const QString item = cmbSrchHistory->itemText(i);
    if (!item.isEmpty() && item == text) {
      cmbSrchHistory->removeItem(i);
      break;
    }
  }
  cmbSrchHistory->insertItem(0, text);
  cmbSrchHistory->setCurrentIndex(0);
  cmbSrchHistory->setEditText(text);
}

void TMainForm::SortByKind(int kind) {
  const bool ascending = sort_directions_.take(kind);
  if (kind >= kSortName && kind <= kSortSender) {
    mA->setChecked(ascending);
    mD->setChecked(!ascending);
    QAction* const items[] = {mSortName, mSortTimes, mSortTitle, mSortDate, mSender};
    for (int k = kSortName; k <= kSortSender; ++k) items[k - kSortName]->setChecked(k == kind);
  }
  hits_->sort_rows(kind, ascending);
}

void TMainForm::ListView1ColumnClick(int column) {
  if (column >= 0 && column <= 4) SortByKind(column + 1);
  else if (column == 5 && hits_->sender_column()) SortByKind(kSortSender);
}

void TMainForm::sort_menu_item(int kind) {
  QAction* const items[] = {mSortName, mSortTimes, mSortTitle, mSortDate, mSender};
  QAction* item = items[kind - kSortName];
  const bool allowed = hits_->rowCount() > 0 && (kind != kSortSender || hits_->sender_column());
  if (!allowed) {
    item->setChecked(!item->isChecked());  // the click changes nothing
    return;
  }
  SortByKind(kind);
}

void TMainForm::wire_hit_commands() {
  wire_view_commands();
  hits_->set_attachment_icon(style()->standardIcon(QStyle::SP_FileLinkIcon));
  hits_->set_path_of([this](const HitRow& row) {
    return catalog_ ? DocumentFile(catalog_->HitDocumentPath(row.database_id, row.sub[kSubName]))
                    : std::string();
  });
  connect(btnSearch, &QPushButton::clicked, this, &TMainForm::btnSearchClick);
  connect(mSearcher, &QAction::triggered, this, &TMainForm::btnSearchClick);
  connect(cmbSrchHistory->lineEdit(), &QLineEdit::returnPressed, this, [this] {
    if (btnSearch->isEnabled()) btnSearchClick();
  });
  connect(ListView1->header(), &QHeaderView::sectionClicked, this, &TMainForm::ListView1ColumnClick);
  const std::pair<QAction*, int> sorts[] = {{mSortName, kSortName}, {mSortTimes, kSortTimes},
                                            {mSortTitle, kSortTitle}, {mSortDate, kSortDate},
                                            {mSender, kSortSender}};
  for (auto [item, kind] : sorts)
    connect(item, &QAction::triggered, this, [this, kind = kind] { sort_menu_item(kind); });
  // mA, mD: every kind's direction at once, then the checked sort item again.
  auto all = [this](bool ascending) {
    sort_directions_.set_all(ascending);
    mA->setChecked(ascending);
    mD->setChecked(!ascending);
    const std::pair<QAction*, int> items[] = {{mSortName, kSortName}, {mSortTimes, kSortTimes},
                                              {mSortTitle, kSortTitle}, {mSortDate, kSortDate},
                                              {mSender, kSortSender}};
    for (auto [item, kind] : items)
      if (item->isChecked() && hits_->rowCount() > 0) SortByKind(kind);
  };
  connect(mA, &QAction::triggered, this, [all] { all(true); });
  connect(mD, &QAction::triggered, this, [all] { all(false); });
  // The page-size buttons ask for another page of the same request.
  connect(this, &TMainForm::pageRequested, this, [this](int first_row) {
    if (!have_request_ || search_busy_) return;
    SearchRequestInput request = last_request_;
    request.page_start = first_row;
    advanced_pending_ = last_search_advanced_;  // the pages of an advanced search are filtered too
    StartSearch(request);
  });
}

}  // namespace qm
