// The index management window; see env_fulltext_form.h.
#include "desktop/forms/env_fulltext_form.h"

#include "desktop/forms/rebuild_form.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop/big5_qt.h"
#include "desktop/indexing/command_line.h"
#include "desktop/indexing/property_file.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

namespace {

QString T(int id) { return id == 0 ? QString() : QString::fromStdString(load_text(id)); }

int row_id(const QTreeWidgetItem* item) { return item->data(0, Qt::UserRole).toInt(); }


}  // namespace

TEnvFullTextForm::TEnvFullTextForm(std::string program_dir, QWidget* parent)
    : QDialog(parent), program_dir_(std::move(program_dir)), catalog_(program_dir_) {
  setObjectName("TEnvFullTextForm");
  window_ = std::make_unique<QtWindowThread>();
  schedule_ = std::make_unique<IndexSchedule>(*window_);

  listviewDB = new QTreeWidget(this);
  listviewDB->setObjectName("listviewDB");
  listviewDB->setColumnCount(3);
  listviewDB->setRootIsDecorated(false);
  listviewDB->setSelectionMode(QAbstractItemView::SingleSelection);
  auto button = [this](const char* name) {
    auto* b = new QPushButton(this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  btnReBuild = button("btnReBuild");
  btnTerminate = button("btnTerminate");
  btnAddDB = button("btnAddDB");
  btnRemoveDB = button("btnRemoveDB");
  btnPropertyDB = button("btnPropertyDB");
  btnClose = button("btnClose");
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    panels[i] = new QLabel(StatusBar1);
    StatusBar1->addWidget(panels[i], i == 2 ? 1 : 0);
  }

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {btnReBuild, btnTerminate, btnAddDB, btnRemoveDB, btnPropertyDB}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(btnClose);
  auto* body = new QHBoxLayout;
  body->addWidget(listviewDB, 1);
  body->addLayout(buttons);
  auto* all = new QVBoxLayout(this);
  all->addLayout(body, 1);
  all->addWidget(StatusBar1);
  resize(560, 360);

  // FormCreate: Rebuild off, Terminate hidden.
  btnReBuild->setEnabled(false);
  btnTerminate->setVisible(false);

  connect(listviewDB, &QTreeWidget::itemChanged, this, [this] {
    if (!filling_) listviewDBClick();
  });
  connect(btnReBuild, &QPushButton::clicked, this, [this] { btnReBuildClick(); });
  connect(btnTerminate, &QPushButton::clicked, this, [this] { btnTerminateClick(); });
  connect(btnRemoveDB, &QPushButton::clicked, this, [this] { btnRemoveDBClick(); });
  connect(btnAddDB, &QPushButton::clicked, this, [this] { btnAddDBClick(); });
  connect(btnPropertyDB, &QPushButton::clicked, this, [this] { btnPropertyDBClick(); });
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
}

TEnvFullTextForm::~TEnvFullTextForm() {
  // A run still going is stopped and waited for before the form goes.
  schedule_.reset();
}

void TEnvFullTextForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  // FormActivate: captions and the list.
  setWindowTitle(T(text::kEnvCaption));
  btnAddDB->setText(T(text::kButtonAdd));
  btnRemoveDB->setText(T(text::kButtonRemove));
  btnPropertyDB->setText(T(text::kPopProperty));
  btnReBuild->setText(T(text::kEnvRebuild));
  btnTerminate->setText(T(text::kBuildStopped));
  btnClose->setText(T(text::kEnvClose));
  listviewDB->setHeaderLabels({T(text::kEnvColumnName), T(text::kEnvColumnTime), T(text::kEnvColumnStatus)});
  FillDatabaseList();
}

void TEnvFullTextForm::FillDatabaseList() {
  std::vector<int> checked;
  for (int r = 0; r < listviewDB->topLevelItemCount(); ++r) {
    QTreeWidgetItem* item = listviewDB->topLevelItem(r);
    if (item->checkState(0) == Qt::Checked) checked.push_back(row_id(item));
  }
  filling_ = true;
  listviewDB->clear();
  status_.clear();
  for (const DatabaseRow& row : catalog_.DatabaseRows(checked)) {
    auto* item = new QTreeWidgetItem(listviewDB);
    item->setData(0, Qt::UserRole, row.id);
    item->setText(0, big5_to_qstring(row.text));
    item->setText(1, QString::fromStdString(row.time_text));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
    status_[row.id] = row.status_text;
    item->setText(2, T(row.status_text));
  }
  filling_ = false;
  btnReBuild->setEnabled(!busy_ && !checked.empty());
}

QTreeWidgetItem* TEnvFullTextForm::row_of(int id) const {
  for (int r = 0; r < listviewDB->topLevelItemCount(); ++r)
    if (row_id(listviewDB->topLevelItem(r)) == id) return listviewDB->topLevelItem(r);
  return nullptr;
}

int TEnvFullTextForm::row_status(int id) const {
  auto it = status_.find(id);
  return it == status_.end() ? 0 : it->second;
}

void TEnvFullTextForm::set_status(int id, int text_id) {
  status_[id] = text_id;
  if (QTreeWidgetItem* item = row_of(id)) {
    filling_ = true;
    item->setText(2, T(text_id));
    filling_ = false;
  }
}

void TEnvFullTextForm::listviewDBClick() {
  if (busy_) return;
  bool any = false;
  catalog_.OpenConfig();
  for (int r = 0; r < listviewDB->topLevelItemCount(); ++r) {
    QTreeWidgetItem* item = listviewDB->topLevelItem(r);
    const int id = row_id(item);
    if (item->checkState(0) == Qt::Checked) {
      any = true;
      set_status(id, 0);
    } else if (row_status(id) == 0) {
      const int i = catalog_.DatabaseIndexOf(id);
      set_status(id, i >= 0 && catalog_.FulltextSize(i) > 0 ? kTextIndexed : kTextNotIndexed);
    }
  }
  catalog_.CloseConfig();
  btnReBuild->setEnabled(any);
}

void TEnvFullTextForm::btnReBuildClick() {
  if (busy_) return;
  const uint64_t window_id = static_cast<uint64_t>(winId());
  schedule_->OnQueueStarted = [this] { OnQueueStarted(); };
  schedule_->OnQueueFinished = [this](bool stopped) { OnQueueFinished(stopped); };
  schedule_->status_bar = [this](const ProgressView& view) { ShowProgress(view); };
  const std::string program_dir = program_dir_;
  schedule_->job_work = [program_dir](int id) { BuildDatabaseProperties(program_dir, id); };

  std::vector<int> ids;
  for (int r = 0; r < listviewDB->topLevelItemCount(); ++r)
    if (listviewDB->topLevelItem(r)->checkState(0) == Qt::Checked) ids.push_back(row_id(listviewDB->topLevelItem(r)));
  schedule_->Reset(int(ids.size()));
  catalog_.OpenConfig();
  for (int id : ids) {
    const IndexerKind kind = indexer_rebuild_kind(catalog_.HasAttachments(id), catalog_.IsMailDatabase(id));
    set_status(id, text::kBuildQueued);
    schedule_->AddJob(indexer_command_line(program_dir_, kind, window_id, id), id,
                      [this](int db, int code) { OnJobEvent(db, code); });
  }
  catalog_.CloseConfig();
  schedule_->Start();
}

void TEnvFullTextForm::btnTerminateClick() {
  schedule_->Stop();
  stop_requested_ = true;
}

void TEnvFullTextForm::OnJobEvent(int id, int code) {
  int status = 0;
  switch (code) {
    case kJobStarting: status = text::kBuildBuilding; break;
    case kJobFailed: status = text::kBuildFailed; break;
    case kJobStopped: status = text::kBuildStopped; break;
    case kJobCompleted: {
      catalog_.OpenConfig();
      const int i = catalog_.DatabaseIndexOf(id);
      status = i >= 0 && catalog_.FulltextSize(i) > 0 ? text::kBuildBuilt : text::kBuildNotBuilt;
      catalog_.CloseConfig();
      break;
    }
    default: return;
  }
  set_status(id, status);
  // UpdateDatabaseRow: the last index time again, the row unchecked.
  if (QTreeWidgetItem* item = row_of(id)) {
    filling_ = true;
    // After the job, the builder's own words: why it failed, or how many documents it
    // indexed and skipped.
    const std::string report = code == kJobCompleted || code == kJobFailed ? schedule_->JobReport(id) : "";
    if (!report.empty()) {
      const QString shown = T(status) + QStringLiteral(": ") + big5_to_qstring(report);
      item->setText(2, shown);
      item->setToolTip(2, shown);
    }
    if (auto row = catalog_.UpdatedDatabaseRow(id, code)) item->setText(1, QString::fromStdString(row->time_text));
    item->setCheckState(0, Qt::Unchecked);
    filling_ = false;
  }
}

void TEnvFullTextForm::OnQueueStarted() {
  btnReBuild->setVisible(false);
  btnTerminate->setVisible(true);
  busy_ = true;
  for (QPushButton* b : {btnAddDB, btnRemoveDB, btnPropertyDB}) b->setEnabled(false);
}

void TEnvFullTextForm::OnQueueFinished(bool) {
  btnReBuild->setVisible(true);
  btnReBuild->setEnabled(false);
  btnTerminate->setVisible(false);
  busy_ = false;
  stop_requested_ = false;
  for (QPushButton* b : {btnAddDB, btnRemoveDB, btnPropertyDB}) b->setEnabled(true);
}

void TEnvFullTextForm::btnAddDBClick() {
  if (busy_) return;
  TRebuildForm form(program_dir_, this);
  form.DatabaseId = -1;
  if (form.exec() == QDialog::Accepted) FillDatabaseList();
}

void TEnvFullTextForm::btnPropertyDBClick() {
  if (busy_) return;
  QTreeWidgetItem* item = listviewDB->currentItem();
  if (!item) return;
  TRebuildForm form(program_dir_, this);
  form.DatabaseId = row_id(item);
  form.DatabaseIndex = listviewDB->indexOfTopLevelItem(item);
  if (form.exec() == QDialog::Accepted) FillDatabaseList();
}

void TEnvFullTextForm::ShowProgress(const ProgressView& view) {
  for (int i = 0; i < 3; ++i) panels[i]->setText(big5_to_qstring(view.panels[i]));
}

void TEnvFullTextForm::btnRemoveDBClick() {
  if (busy_) return;
  QTreeWidgetItem* item = listviewDB->currentItem();
  if (!item) return;
  // The row's database id, never its position: the list and the table may differ.
  const int id = row_id(item);
  const std::string text = load_text(text::kAskRemoveDatabase) + " -- [" + item->text(0).toStdString() + "]";
  if (ShowMessageText(text, text::kCaptionQuestion, kStyleQuestionOkCancel) != kAnswerOk) return;
  if (!catalog_.HasDatabase(id)) return;
  catalog_.DeleteDatabase(id);
  ShowMessageById(text::kMsgDatabaseRemoved, text::kCaptionInformation, kStyleInformation);
  FillDatabaseList();
}

bool TEnvFullTextForm::may_close() {
  if (!busy_) return true;
  if (ShowMessageById(text::kAskStopBuild, text::kCaptionQuestion, kStyleQuestionOkCancel) != kAnswerOk) return false;
  btnTerminateClick();
  schedule_->WaitFinished();
  return true;
}

void TEnvFullTextForm::reject() {
  if (may_close()) QDialog::reject();
}

void TEnvFullTextForm::closeEvent(QCloseEvent* event) {
  if (!may_close()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace qm
