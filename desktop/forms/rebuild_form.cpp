// The database add/edit dialog (see rebuild_form.h).
#include "desktop/forms/rebuild_form.h"

#include <QCheckBox>
#include <algorithm>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/browse_folder.h"
#include "desktop/forms/entry_fields_ui.h"
#include "desktop/forms/form_ui.h"
#include "desktop/forms/local_adv_txt_form.h"
#include "desktop/forms/mail_form.h"
#include "desktop/messages.h"
#include "desktop/path_qt.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

namespace {
constexpr const char* kMailMasks[] = {"*.mbx", "*.dbx", "*.snm", "*.toc", "*.pst"};
}  // namespace

TRebuildForm::TRebuildForm(std::string program_dir, QWidget* parent)
    : QDialog(parent), program_dir_(std::move(program_dir)),
      catalog_(std::make_unique<DatabaseCatalog>(program_dir_)) {
  setObjectName(QStringLiteral("RebuildForm"));
  setWindowTitle(ui_text(text::kEnvCaption));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QFormLayout;
  editDBName = new QLineEdit(this);
  top->addRow(ui_text(text::kEnvDbName), editDBName);
  auto* kinds = new QHBoxLayout;
  radioDoc = new QRadioButton(ui_text(text::kTypeDocuments), this);
  radioMail = new QRadioButton(ui_text(text::kTypeMail), this);
  kinds->addWidget(radioDoc);
  kinds->addWidget(radioMail);
  top->addRow(ui_text(text::kMailKindLabel), kinds);
  layout->addLayout(top);

  PageControl1 = new QTabWidget(this);
  TabSheet1 = new QWidget;
  auto* doc = new QGridLayout(TabSheet1);
  editHtmDir = new QLineEdit(TabSheet1);
  btnHtml = new QPushButton(QStringLiteral("..."), TabSheet1);
  doc->addWidget(new QLabel(ui_text(text::kEnvHtmlDir), TabSheet1), 0, 0);
  doc->addWidget(editHtmDir, 0, 1, 1, 3);
  doc->addWidget(btnHtml, 0, 4);
  doc->addWidget(new QLabel(ui_text(text::kEnvTypes), TabSheet1), 1, 0);
  types_ = DocumentTypeBoxes::Make(TabSheet1);
  types_.NameIn(*this);
  for (int i = 0; i < 8; ++i) doc->addWidget(types_.all()[i], 2 + i / 4, i % 4);
  SpeedButton1 = new QPushButton(QStringLiteral(">>"), TabSheet1);
  doc->addWidget(SpeedButton1, 2, 4);
  PageControl1->addTab(TabSheet1, ui_text(text::kTypeDocuments));

  TabSheet2 = new QWidget;
  auto* mail = new QGridLayout(TabSheet2);
  cmbMailType = new QComboBox(TabSheet2);
  for (int id : {text::kMailTypeMbox, text::kMailTypeMbx, text::kMailTypeOutlookExpress,
                 text::kMailTypeOutlook, text::kMailTypeOther})
    cmbMailType->addItem(ui_text(id));
  editHtmDirMail = new QLineEdit(TabSheet2);
  btnSel = new QPushButton(QStringLiteral("..."), TabSheet2);
  cmbMailDBName = new QComboBox(TabSheet2);
  chkAttach = new QCheckBox(ui_text(text::kEnvAttach), TabSheet2);
  mail->addWidget(new QLabel(ui_text(text::kMailTypeLabel), TabSheet2), 0, 0);
  mail->addWidget(cmbMailType, 0, 1);
  mail->addWidget(new QLabel(ui_text(text::kMailFileLabel), TabSheet2), 1, 0);
  mail->addWidget(editHtmDirMail, 1, 1);
  mail->addWidget(btnSel, 1, 2);
  mail->addWidget(cmbMailDBName, 2, 1);
  mail->addWidget(chkAttach, 3, 1);
  PageControl1->addTab(TabSheet2, ui_text(text::kTypeMail));
  layout->addWidget(PageControl1);

  auto* index = new QHBoxLayout;
  editIndexDirMail = new QLineEdit(this);
  btnDB = new QPushButton(QStringLiteral("..."), this);
  index->addWidget(new QLabel(ui_text(text::kEnvIndexDir), this));
  index->addWidget(editIndexDirMail, 1);
  index->addWidget(btnDB);
  layout->addLayout(index);
  auto* buttons = new QHBoxLayout;
  btnOk = new QPushButton(ui_text(text::kButtonOk), this);
  btnCancel = new QPushButton(ui_text(text::kButtonCancel), this);
  btnApply = new QPushButton(ui_text(text::kButtonApply), this);
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnApply);
  layout->addLayout(buttons);
  for (QPushButton* b : {btnHtml, SpeedButton1, btnSel, btnDB, btnCancel, btnApply}) b->setAutoDefault(false);
  for (QCheckBox* b : types_.all()) b->setChecked(b != chkPdf);

  connect(btnOk, &QPushButton::clicked, this, &TRebuildForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnApply, &QPushButton::clicked, this, &TRebuildForm::btnApplyClick);
  connect(btnSel, &QPushButton::clicked, this, &TRebuildForm::btnSelClick);
  connect(btnDB, &QPushButton::clicked, this, &TRebuildForm::btnDBClick);
  connect(btnHtml, &QPushButton::clicked, this, &TRebuildForm::btnHtmlClick);
  connect(SpeedButton1, &QPushButton::clicked, this, &TRebuildForm::SpeedButton1Click);
  connect(radioDoc, &QRadioButton::clicked, this, [this] { PageControl1->setCurrentWidget(TabSheet1); });
  connect(radioMail, &QRadioButton::clicked, this, [this] { PageControl1->setCurrentWidget(TabSheet2); });
  connect(PageControl1, &QTabWidget::currentChanged, this, &TRebuildForm::PageControl1Change);
  connect(cmbMailDBName, QOverload<int>::of(&QComboBox::activated), this, &TRebuildForm::cmbMailDBNameClick);
  connect(cmbMailType, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
          [this] { editHtmDirMail->clear(); });
  for (QLineEdit* e : {editDBName, editIndexDirMail, editHtmDir, editHtmDirMail})
    connect(e, &QLineEdit::textChanged, this, &TRebuildForm::edit_changed);
  for (QCheckBox* b : {chkTxt, chkHtm, chkPgx, chkWord, chkExcel, chkPower, chkPdf, chkRTF, chkAttach})
    connect(b, &QCheckBox::clicked, this, [this] { btnApply->setEnabled(true); });
}

TRebuildForm::~TRebuildForm() = default;

void TRebuildForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

TMailForm* TRebuildForm::mailForm() {
  if (!mail_form_) mail_form_ = new TMailForm(program_dir_, this);
  return mail_form_;
}

DatabaseEntryFields TRebuildForm::gather() const {
  DatabaseEntryFields f = DocumentEntryFields(editDBName, editHtmDir, editIndexDirMail, types_, other_ext_);
  f.mail = radioMail->isChecked();
  f.mail_file = path_edit_bytes(editHtmDirMail);
  f.mail_type = cmbMailType->currentIndex();
  f.attach = chkAttach->isChecked();
  f.mail_key = mail_key_;
  return f;
}

void TRebuildForm::put(const DatabaseEntryFields& f) {
  editDBName->setText(big5_to_qstring(f.name));
  set_path_edit(editHtmDir, f.doc_folder);
  set_path_edit(editIndexDirMail, f.index_folder);
  types_.Show(f);
  other_ext_ = f.other_ext;
  chkAttach->setChecked(f.attach);
  mail_key_ = f.mail_key;
  if (f.mail) {
    const QSignalBlocker block(cmbMailType);
    cmbMailType->setCurrentIndex(f.mail_type);
  }
  set_path_edit(editHtmDirMail, f.mail_file);
}

void TRebuildForm::FormActivate() {
  cmbMailDBName->hide();
  no_id_ = false;
  if (DatabaseId == -1) {
    PageControl1->setCurrentWidget(TabSheet1);
    radioDoc->setEnabled(true);
    radioMail->setEnabled(true);
    radioDoc->setChecked(true);
    DatabaseEntryFields blank;
    blank.pdf = true;  // a new database starts with all eight types
    put(blank);
    cmbMailType->setCurrentIndex(0);
    editHtmDirMail->clear();
    cmbMailDBName->clear();
    catalog_->OpenConfig();
    const int id = catalog_->NextFreeDatabaseId();
    if (id > 0) {
      DatabaseId = id;
      set_path_edit(editIndexDirMail, catalog_->DefaultIndexDirectory());
    } else {
      no_id_ = true;
    }
    catalog_->CloseConfig();
    adding_ = true;
    saved_ = false;
  } else {
    DatabaseEntryFields f;
    LoadDatabaseEntry(*catalog_, DatabaseId, f);
    put(f);
    radioMail->setChecked(f.mail);
    radioDoc->setChecked(!f.mail);
    radioDoc->setEnabled(!f.mail);
    radioMail->setEnabled(f.mail);
    PageControl1->setCurrentWidget(f.mail ? TabSheet2 : TabSheet1);
    adding_ = false;
    saved_ = true;
  }
  btnApply->setEnabled(false);
  prev_mail_item_ = -1;
  cmbMailType->setEnabled(true);
  chkPgx->setEnabled(true);
  chkPdf->setEnabled(true);
}

bool TRebuildForm::SaveOne() {
  if (no_id_) {
    ShowMessageById(text::kMsgNoFreeDatabaseId, text::kCaptionInformation, kStyleInformation);
    return false;
  }
  DatabaseEntryFields f = gather();
  const int result = SaveDatabaseEntry(*catalog_, DatabaseId, f, adding_);
  editDBName->setText(big5_to_qstring(f.name));
  set_path_edit(editHtmDir, f.doc_folder);
  set_path_edit(editHtmDirMail, f.mail_file);
  set_path_edit(editIndexDirMail, f.index_folder);
  if (result > 0) ShowMessageById(result, text::kCaptionInformation, kStyleInformation);
  return result == 0;
}

bool TRebuildForm::Save() {
  bool ok;
  if (radioMail->isChecked() && cmbMailDBName->count() >= 2) {
    cmbMailDBNameClick(cmbMailDBName->currentIndex());  // the edits back into the item
    int i = 0;
    while (i < cmbMailDBName->count()) {
      prev_mail_item_ = -1;
      cmbMailDBName->setCurrentIndex(i);
      cmbMailDBNameClick(i);
      if (!SaveOne()) {
        ++i;
        continue;
      }
      cmbMailDBName->removeItem(i);
      prev_mail_item_ = -1;
      catalog_->OpenConfig();
      const int id = catalog_->NextFreeDatabaseId();
      catalog_->CloseConfig();
      if (id > 0) DatabaseId = id;
      else no_id_ = true;
    }
    ok = cmbMailDBName->count() == 0;
    if (!ok) {
      prev_mail_item_ = -1;
      cmbMailDBName->setCurrentIndex(0);
      cmbMailDBNameClick(0);
    }
  } else {
    ok = SaveOne();
  }
  if (ok)
    ShowMessageById(adding_ ? text::kMsgDatabaseAdded : text::kMsgDatabaseChanged,
                    text::kCaptionInformation, kStyleInformation);
  saved_ = ok;
  btnApply->setEnabled(!ok);
  return ok;
}

void TRebuildForm::btnApplyClick() { Save(); }

void TRebuildForm::btnOkClick() {
  if ((!btnApply->isEnabled() && saved_) || Save()) accept();
}

void TRebuildForm::btnSelClick() {
  TMailForm* form = mailForm();
  const int kind = std::clamp(cmbMailType->currentIndex(), 0, 4);
  form->FileMask = kMailMasks[kind];
  form->TargetCombo = cmbMailDBName;
  if (form->exec() != QDialog::Accepted) return;
  prev_mail_item_ = -1;
  if (cmbMailDBName->count() < 2) {
    cmbMailDBName->hide();
    editDBName->setText(big5_to_qstring(form->ResultName));
    set_path_edit(editHtmDirMail, form->ResultSource);
    set_path_edit(editIndexDirMail, form->ResultIndexDir);
    mail_key_ = kMailKeyPrefix + form->ResultFolderKey;
  } else {
    cmbMailDBName->show();
    cmbMailDBName->setCurrentIndex(0);
    cmbMailDBNameClick(0);
  }
  btnApply->setEnabled(true);
}

void TRebuildForm::cmbMailDBNameClick(int index) {
  if (prev_mail_item_ >= 0 && prev_mail_item_ < cmbMailDBName->count()) {
    if (!editDBName->text().isEmpty()) cmbMailDBName->setItemText(prev_mail_item_, editDBName->text());
    std::string dir = path_edit_bytes(editIndexDirMail);
    if (!dir.empty()) {
      auto obj = cmbMailDBName->itemData(prev_mail_item_).value<TMailObject>();
      obj.IndexDirectory = dir;
      cmbMailDBName->setItemData(prev_mail_item_, QVariant::fromValue(obj));
    }
  }
  if (index < 0 || index >= cmbMailDBName->count()) return;
  const auto obj = cmbMailDBName->itemData(index).value<TMailObject>();
  editDBName->setText(cmbMailDBName->itemText(index));
  set_path_edit(editHtmDirMail, obj.SourcePath);
  set_path_edit(editIndexDirMail, obj.IndexDirectory);
  mail_key_ = kMailKeyPrefix + obj.FolderKey;
  prev_mail_item_ = index;
}

bool TRebuildForm::pick_folder(QLineEdit* edit) {
  if (!browser_) browser_ = new TBrowseFolder(this);
  QString start = edit->text();
  if (!start.isEmpty()) start.chop(1);
  browser_->Directory = start;
  if (!browser_->Execute()) return false;
  edit->setText(browser_->Directory);
  btnApply->setEnabled(true);
  return true;
}

void TRebuildForm::btnDBClick() { pick_folder(editIndexDirMail); }
void TRebuildForm::btnHtmlClick() { pick_folder(editHtmDir); }

void TRebuildForm::SpeedButton1Click() {
  if (!ext_form_) ext_form_ = new TLocalAdvTxtF(this);
  ext_form_->ExtensionText = other_ext_;
  if (ext_form_->exec() == QDialog::Accepted) other_ext_ = ext_form_->ExtensionText;
  btnApply->setEnabled(true);
}

void TRebuildForm::PageControl1Change() {
  const bool mail = PageControl1->currentWidget() == TabSheet2;
  (mail ? radioMail : radioDoc)->setChecked(true);
  cmbMailDBName->setVisible(mail && cmbMailDBName->count() >= 2);
}

void TRebuildForm::edit_changed(const QString& text) {
  if (text.isEmpty()) {
    btnApply->setEnabled(false);
    saved_ = false;
  } else {
    btnApply->setEnabled(true);
  }
}

}  // namespace qm
