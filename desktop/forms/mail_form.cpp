// The mail-store dialog (see mail_form.h).
#include "desktop/forms/mail_form.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue_paths.h"
#include "desktop/catalogue/entries.h"
#include "desktop/forms/browse_folder.h"
#include "desktop/forms/form_ui.h"
#include "desktop/mailfind/mail_store.h"
#include "desktop/mailfind/thread_stand.h"
#include "desktop/messages.h"
#include "desktop/path_qt.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

namespace {
// A UTF-8 text of the table as the walker's 8-bit text.
std::string big5_text(int id) {
  std::string out;
  qstring_to_big5(ui_text(id), out);
  return out;
}
}  // namespace

TMailForm::TMailForm(std::string program_dir, QWidget* parent)
    : QDialog(parent), program_dir_(std::move(program_dir)) {
  setObjectName(QStringLiteral("MailForm"));
  auto* layout = new QVBoxLayout(this);
  Label46 = new QLabel(this);
  Label47 = new QLabel(this);
  auto* row = new QHBoxLayout;
  editMailFolder = new QComboBox(this);
  editMailFolder->setObjectName(QStringLiteral("editMailFolder"));
  editMailFolder->setEditable(true);
  editMailFolder->setInsertPolicy(QComboBox::NoInsert);
  editMailFolder->installEventFilter(this);
  editMailFolder->lineEdit()->installEventFilter(this);
  btnSel = new QPushButton(QStringLiteral("..."), this);
  btnSel->setAutoDefault(false);
  btnFindMail = new QPushButton(this);
  btnFindMail->setAutoDefault(false);
  row->addWidget(editMailFolder, 1);
  row->addWidget(btnSel);
  row->addWidget(btnFindMail);
  Label45 = new QLabel(this);
  lvFind = new QTreeWidget(this);
  lvFind->setObjectName(QStringLiteral("lvFind"));
  lvFind->setRootIsDecorated(false);
  lvFind->setUniformRowHeights(true);
  lvFind->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvFind->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFind->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lblFind = new QLabel(this);
  lblFind->setObjectName(QStringLiteral("lblFind"));
  auto* buttons = new QHBoxLayout;
  btnTerminate = new QPushButton(this);
  btnTerminate->setAutoDefault(false);
  btnOk = new QPushButton(this);
  btnCancel = new QPushButton(this);
  btnCancel->setAutoDefault(false);
  buttons->addWidget(btnTerminate);
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  layout->addWidget(Label46);
  layout->addWidget(Label47);
  layout->addLayout(row);
  layout->addWidget(Label45);
  layout->addWidget(lvFind, 1);
  layout->addWidget(lblFind);
  layout->addLayout(buttons);
  btnTerminate->hide();
  resize(520, 380);

  connect(btnFindMail, &QPushButton::clicked, this, &TMailForm::btnFindMailClick);
  connect(btnTerminate, &QPushButton::clicked, this, &TMailForm::btnTerminateClick);
  connect(btnOk, &QPushButton::clicked, this, &TMailForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnSel, &QPushButton::clicked, this, &TMailForm::btnSel1Click);
  connect(editMailFolder, &QComboBox::editTextChanged, this, &TMailForm::editMailFolderChange);
}

TMailForm::~TMailForm() = default;

void TMailForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TMailForm::FormActivate() {
  lblFind->clear();
  outlook_ = FileMask == "*.pst";
  setWindowTitle(ui_text(text::kMailFindCaption));
  Label46->setText(ui_text(text::kMailFindDrive));
  Label47->setText(ui_text(text::kMailFindHint));
  Label45->setText(ui_text(text::kMailFindFound));
  btnFindMail->setText(ui_text(text::kMailFindButton));
  btnOk->setText(ui_text(text::kButtonOk));
  btnCancel->setText(ui_text(text::kButtonCancel));
  btnTerminate->setText(ui_text(text::kMailFindStop));
  lvFind->clear();
  if (outlook_) {
    lvFind->setColumnCount(1);
    lvFind->setHeaderLabels({ui_text(text::kMailColumnName)});
    lvFind->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  } else {
    lvFind->setColumnCount(4);
    lvFind->setHeaderLabels({ui_text(text::kMailColumnName), ui_text(text::kMailColumnFolder),
                             ui_text(text::kMailColumnSize), ui_text(text::kMailColumnDate)});
    const int widths[] = {102, 200, 62, 75};
    for (int c = 0; c < 4; ++c) lvFind->setColumnWidth(c, widths[c]);
    lvFind->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  }
  editMailFolder->setEditText(QDir::homePath());
  if (outlook_) {
    ListOutlookFolders();
  } else {
    for (QWidget* w : {static_cast<QWidget*>(Label46), static_cast<QWidget*>(editMailFolder),
                       static_cast<QWidget*>(btnSel), static_cast<QWidget*>(btnFindMail)})
      w->show();
    Label47->hide();
  }
  editMailFolderChange();
}

void TMailForm::ListOutlookFolders() {
  for (QWidget* w : {static_cast<QWidget*>(Label46), static_cast<QWidget*>(editMailFolder),
                     static_cast<QWidget*>(btnSel), static_cast<QWidget*>(btnFindMail)})
    w->hide();
  Label47->show();
  lblFind->setText(ui_text(text::kMailFindListing));
  MailStoreLibrary store;
  LoadMailStoreLibrary(store, program_dir_);
  lvFind->clear();
  for (const MailStoreFolder& f : ListMailStoreFolders(store)) {
    auto* item = new QTreeWidgetItem(lvFind);
    item->setText(0, big5_to_qstring(f.name));
    item->setData(0, Qt::UserRole, QByteArray::fromStdString(f.key));
    lblFind->setText(big5_to_qstring(f.name));
  }
  lblFind->setText(ui_text(text::kMsgFoundBefore) + QString::number(lvFind->topLevelItemCount()) +
                   ui_text(text::kMsgFoundAfter));
  UnloadMailStoreLibrary(store);
}

void TMailForm::SetSearching(bool on) {
  btnTerminate->setVisible(on);
  btnFindMail->setEnabled(!on);
  btnOk->setEnabled(!on);
  btnCancel->setEnabled(!on);
  btnSel->setEnabled(!on);
}

void TMailForm::btnFindMailClick() {
  if (thread_) return;
  SetSearching(true);
  lvFind->clear();
  const std::string start = qstring_to_path(editMailFolder->currentText().trimmed());
  thread_ = std::make_unique<TThreadStand>([this](std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
  });
  thread_->SetMasks("*.", FileMask);
  thread_->SetRowsSink([this](std::vector<MailFileRow> rows) { AddMailFileRows(lvFind, rows); });
  thread_->SetLabel([this](const std::string& s, bool folder) { ShowWalkStatus(lblFind, s, folder); });
  thread_->SetTexts(big5_text(text::kMsgSearchStopped), big5_text(text::kMsgFoundBefore),
                    big5_text(text::kMsgFoundAfter));
  thread_->SetCallback([](void* user) { static_cast<TMailForm*>(user)->SearchDone(); }, this);
  thread_->SetStartFolder(start);
  thread_->Start();
  RememberFolderText(editMailFolder);
}

void TMailForm::SearchDone() {
  if (thread_) thread_->Wait();
  thread_.reset();
  SetSearching(false);
  editMailFolderChange();
}

void TMailForm::btnTerminateClick() {
  if (thread_) thread_->Stop();
}

void TMailForm::btnSel1Click() {
  if (!browser_) browser_ = new TBrowseFolder(this);
  browser_->Directory = editMailFolder->currentText();
  if (!browser_->Execute()) return;
  editMailFolder->setEditText(browser_->Directory);
  editMailFolderChange();
  if (btnFindMail->isEnabled()) btnFindMailClick();
}

void TMailForm::editMailFolderChange() {
  btnFindMail->setEnabled(!thread_ && !editMailFolder->currentText().trimmed().isEmpty());
}

void TMailForm::btnOkClick() {
  QList<QTreeWidgetItem*> selected;
  for (int i = 0; i < lvFind->topLevelItemCount(); ++i)
    if (lvFind->topLevelItem(i)->isSelected()) selected << lvFind->topLevelItem(i);
  if (selected.isEmpty()) {
    ShowMessageById(text::kMsgNoMailChosen, text::kCaptionInformation, kStyleInformation);
    return;
  }
  if (TargetCombo) TargetCombo->clear();
  for (QTreeWidgetItem* item : selected) {
    std::string name;
    TMailObject obj;
    if (outlook_) {
      // A mail-store folder's display name is Big5 text.
      std::string caption;
      qstring_to_big5(item->text(0), caption);
      name = MailStoreShortName(caption);
      obj.SourcePath = caption;
      obj.FolderKey = item->data(0, Qt::UserRole).toByteArray().toStdString();
    } else {
      // A file found: its folder and name stay the file system's bytes; the database is
      // named by the name's Big5 form.
      const std::string caption = path_cell_bytes(item, 0);
      const size_t dot = caption.rfind('.');
      const std::string stem = dot == std::string::npos ? caption : caption.substr(0, dot);
      obj.SourcePath = path_cell_bytes(item, 1) + (FileMask == "*.snm" ? stem : caption);
      name = mail_database_name(stem);
    }
    // The index folder is named as the catalogue names folders (UTF-8, no "/", never "..").
    std::string folder_name = catalogue_file_name(name);
    if (folder_name.empty()) folder_name = "mail";
    obj.IndexDirectory = program_dir_ + "DB/" + folder_name + "/";
    if (TargetCombo) TargetCombo->addItem(big5_to_qstring(name), QVariant::fromValue(obj));
    ResultName = name;
    ResultSource = obj.SourcePath;
    ResultIndexDir = obj.IndexDirectory;
    ResultFolderKey = obj.FolderKey;
  }
  accept();
}

void AddMailFileRows(QTreeWidget* list, const std::vector<MailFileRow>& rows) {
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const MailFileRow& r : rows) {
    auto* item = new QTreeWidgetItem;
    set_path_cell(item, 0, r.name);
    set_path_cell(item, 1, r.folder);
    item->setText(2, QString::fromStdString(r.size_text));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    if (list->columnCount() > 3) item->setText(3, QString::fromStdString(r.date_text));
    items << item;
  }
  list->addTopLevelItems(items);
}

void ShowWalkStatus(QLabel* label, const std::string& status, bool folder) {
  label->setText(folder ? path_to_qstring(status) : big5_to_qstring(status));
}

void TMailForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    if (!thread_) reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TMailForm::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == editMailFolder || watched == editMailFolder->lineEdit()) &&
      event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (btnFindMail->isEnabled()) btnFindMailClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qm
