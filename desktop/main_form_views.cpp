// The main window's hit views (see main_form.h): the start page, the brief view (the
// hit's excerpt, RBrief.htm) and the full view (the marked document from marker,
// RFull.htm, with a mail's header and the document's base address), both in the program
// directory and replaced safely; opening a hit's document by its kind (the marked page in
// the browser, a page document in its viewer at the hit's page, anything else with the
// shell opener); the preview's links. Page texts without Qt are desktop/search/full_view.h.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTextBrowser>
#include <QTreeView>
#include <QUrl>
#include <cstdio>
#include <sys/stat.h>

#include "common/big5_codec.h"
#include "common/strings.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/wait_msg_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/preview_pane.h"
#include "desktop/search/full_view.h"
#include "desktop/search/page_run.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/atomic_file.h"
#include "platform/shell_open.h"

namespace qm {
namespace {

constexpr int kMarkerLimitMs = 10000;
constexpr int kPollSliceMs = 20;

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool extension_is(std::string_view ext, std::string_view want) {
  return ext.size() == want.size() && string_nicmp(ext, want, want.size()) == 0;
}

QString shown_path(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// A label of the text table in the page's Big5.
std::string big5_label(int id) {
  std::string out;
  if (!big5_from_utf8(load_text(id), out)) out.clear();
  return out;
}

// Enter on the result list shows the selected row.
class ListKeys : public QObject {
 public:
  ListKeys(TMainForm* form) : QObject(form), form_(form) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        form_->ShowSelectedRow(false);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TMainForm* form_;
};

}  // namespace

int TMainForm::selected_row() const {
  const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  const int r = rows.first().row();
  return r < hits_->rowCount() ? r : -1;
}

std::string TMainForm::row_document_path(int row) const {
  if (row < 0 || row >= hits_->rowCount() || !catalog_) return {};
  const HitRow& h = hits_->row(row);
  return catalog_->HitDocumentPath(h.database_id, h.sub[kSubName]);
}

void TMainForm::ShowStartPage() {
  QApplication::processEvents();
  if (!preview_->show_file(program_dir_ + "vesprin.htm")) preview_->clear();
}

void TMainForm::ShowSelectedRow(bool force) {
  const int r = selected_row();
  if (r < 0) return;
  ListView1->setDragEnabled(true);
  statusPanels[3]->setText(shown_path(row_document_path(r)));
  if (mShowBrief->isChecked()) {
    ShowBriefView();
    last_full_row_.clear();
    return;
  }
  const std::string& caption = hits_->row(r).caption;
  if (caption != last_full_row_ || force) {
    last_full_row_ = caption;
    ShowFullView();
  }
}

void TMainForm::ShowBriefView() {
  const int r = selected_row();
  if (r < 0) return;
  const std::string page = program_dir_ + "RBrief.htm";
  std::string error;
  if (!atomic_replace(page, hits_->row(r).sub[kSubBrief], &error)) {
    std::fprintf(stderr, "quillmere: %s\n", error.c_str());
    return;
  }
  preview_->show_file(page);
}

bool TMainForm::CheckDocument() {
  const int r = selected_row();
  if (r < 0) return false;
  const std::string path = DocumentFile(row_document_path(r));
  if (!hits_->row(r).mail && !file_exists(path)) {
    ListView1->setDragEnabled(false);  // a row without its file cannot be dragged out
    ShowMessageById(text::kMsgFileGone, text::kCaptionError, kStyleStop);
    ShowStartPage();
    return false;
  }
  return true;
}

void TMainForm::ShowFullView() {
  if (!CheckDocument()) return;
  ShowFullText(false);
  preview_->show_file(program_dir_ + "RFull.htm");
}

void TMainForm::ShowFullText(bool openInBrowser) {
  const int r = selected_row();
  if (r < 0) return;
  const HitRow row = hits_->row(r);
  const std::string path = DocumentFile(row_document_path(r));
  if (row.sub[kSubMarker].empty() || row.sub[kSubMarker] == " ") return;
  const HitLink link = DatabaseCatalog::ParseHitLink(row.sub[kSubMarker]);
  std::vector<mail_side::AttachInfoRecord> attachments;
  if (row.mail) catalog_->ReadAttachInfo(link.database_id, link.document, attachments);

  MarkerPageReader reader;
  PageRun run;
  ++marker_runs_;
  if (run.start(program_dir_, "marker", MarkerQuery(row.sub[kSubMarker], row.mail, attachments),
                [&](std::string_view piece) { return reader.feed(piece); }, kMarkerLimitMs)) {
    run_ = &run;
    // The window paints meanwhile; clicks wait until the page is there.
    run.run_to_end(kPollSliceMs,
                   [] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    run_ = nullptr;
  } else {
    std::fprintf(stderr, "quillmere: %s\n", run.error().c_str());
  }
  reader.finish();
  std::string page = reader.page();

  if (row.mail) {
    MailHeader h;
    h.sender_label = big5_label(text::kMailHeaderSender);
    h.date_label = big5_label(text::kMailHeaderDate);
    h.subject_label = big5_label(text::kMailHeaderSubject);
    h.attach_label = big5_label(text::kMailHeaderAttach);
    std::string date;
    catalog_->ReadMailRecord(link.database_id, link.document, date, h.subject, h.sender);
    h.date = static_cast<int32_t>(string_leading_number(date));
    std::string work = catalog_->DatabaseWorkDir(link.database_id);
    if (!work.empty() && work.back() != '/') work += '/';
    h.attach_dir = work + "Attach/";
    h.document = link.document;
    for (const mail_side::AttachInfoRecord& a : attachments) h.attachments.push_back(a.name);
    page = InsertMailHeader(std::move(page), h);
  }
  page = InsertBaseReference(std::move(page), path);

  const std::string file = program_dir_ + "RFull.htm";
  std::string error;
  if (!atomic_replace(file, page, &error)) {
    std::fprintf(stderr, "quillmere: %s\n", error.c_str());
    return;
  }
  if (openInBrowser) OpenShellDocument(file);
}

bool TMainForm::OpenShellDocument(const std::string& path) {
  if (!shell_) shell_ = own_shell_ = new ShellOpener();
  if (shell_->open(path)) return true;
  std::fprintf(stderr, "quillmere: %s\n", shell_->error().c_str());
  return false;
}

void TMainForm::OpenDocument() {
  if (!wait_) wait_ = std::make_unique<TWaitMsgForm>();
  QApplication::processEvents();
  const int r = selected_row();
  if (r < 0) return;
  const std::string full = row_document_path(r);
  const std::string path = DocumentFile(full);
  if (!CheckDocument()) return;
  wait_->show_wait();
  const std::string ext = DocumentExtension(path);
  if (extension_is(ext, "htm") || extension_is(ext, "html") || hits_->row(r).mail) {
    ShowFullText(true);
  } else if (extension_is(ext, "pgx")) {
    OpenPageDocument(full);
  } else if (!OpenShellDocument(path)) {
    if (ShowMessageById(text::kAskOpenAsText, text::kCaptionQuestion, kStyleQuestionOkCancel) ==
        kAnswerOk)
      ShowFullText(true);
  }
  wait_->request_close();
}

void TMainForm::OpenPageDocument(const std::string& path) {
  // The hit's page stands in parentheses behind the path; page 1 without them.
  long long page = 1;
  const size_t paren = path.rfind('(');
  if (paren != std::string::npos) {
    page = string_leading_number(std::string_view(path).substr(paren + 1));
    if (page < 1) page = 1;
  }
  const size_t cut = path.rfind('(');
  const std::string document = cut == std::string::npos ? path : path.substr(0, cut);
  std::string keywords;
  if (!qstring_to_big5(cmbSrchHistory->currentText(), keywords)) keywords.clear();
  std::string viewer = page_viewer();
  if (!viewer.empty() && viewer.find('/') == std::string::npos) viewer = find_in_path(viewer);
  if (!shell_) shell_ = own_shell_ = new ShellOpener();
  // A viewer of our choice gets the page and the keywords; the opener only the file.
  const bool opened = viewer.empty()
                          ? shell_->open(document)
                          : shell_->run({viewer, document, "/" + std::to_string(page) + "/" + keywords});
  if (!opened) {
    std::fprintf(stderr, "quillmere: %s\n", shell_->error().c_str());
    ShowMessageById(text::kMsgShellFailed, text::kCaptionError, kStyleStop);
  }
}

void TMainForm::open_link(const QUrl& url) {
  const std::string target = url.isLocalFile() ? QFile::encodeName(url.toLocalFile()).toStdString()
                                               : url.toString().toStdString();
  if (!OpenShellDocument(target)) ShowMessageById(text::kMsgShellFailed, text::kCaptionError, kStyleStop);
}

void TMainForm::preview_mode(bool brief) {
  mShowBrief->setChecked(brief);
  mBrief->setChecked(brief);
  mShowFull->setChecked(!brief);
  mFullText->setChecked(!brief);
  if (hits_->rowCount() > 0) ShowSelectedRow(false);
}

}  // namespace qm

namespace qm {

void TMainForm::wire_view_commands() {
  preview_->set_opener([this](const QUrl& url) { open_link(url); });
  ListView1->installEventFilter(new ListKeys(this));
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!search_busy_) ShowSelectedRow(false);
  });
  connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { OpenDocument(); });
  for (QAction* a : {mDoc, mOpenFile}) connect(a, &QAction::triggered, this, [this] { OpenDocument(); });
  for (QAction* a : {mShowBrief, mBrief})
    connect(a, &QAction::triggered, this, [this] { preview_mode(true); });
  for (QAction* a : {mShowFull, mFullText})
    connect(a, &QAction::triggered, this, [this] { preview_mode(false); });
  connect(ShowBrief, &QAction::triggered, this, [this] { ShowBriefView(); });
  connect(ShowFull, &QAction::triggered, this, [this] { ShowFullView(); });
}

}  // namespace qm
