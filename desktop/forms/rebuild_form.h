// TRebuildForm, the database add/edit dialog: a document database (folder, index folder,
// the eight document types and other plain-text extensions) or a mail database (store
// kind, store found with the mail-store dialog, index folder, attachments) written to
// the configuration without the wizard; several stores from the mail-store dialog become
// several databases with consecutive ids. The entry logic is
// catalogue/database_entry.h's. The environment form's Add and Properties and the
// database tree's Properties open it: set DatabaseId (-1 for new), exec(); Accepted
// means an entry was saved.
#pragma once
#include <QDialog>
#include <memory>
#include <string>

#include "desktop/catalogue/database_entry.h"
#include "desktop/forms/entry_fields_ui.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace qm {

class DatabaseCatalog;
class TBrowseFolder;
class TLocalAdvTxtF;
class TMailForm;

class TRebuildForm : public QDialog {
  Q_OBJECT

 public:
  // program_dir ends in "/": vesprin.ini, DB/ and the mail-store library are there.
  explicit TRebuildForm(std::string program_dir, QWidget* parent = nullptr);
  ~TRebuildForm() override;

  int DatabaseIndex = -1;
  int DatabaseId = -1;  // -1: a new database; after activation the id being edited
  bool Adding() const { return adding_; }
  bool Saved() const { return saved_; }
  const std::string& OtherExtensions() const { return other_ext_; }
  const std::string& MailKey() const { return mail_key_; }

  void FormActivate();
  void btnOkClick();
  void btnApplyClick();
  void btnSelClick();
  void btnDBClick();
  void btnHtmlClick();
  void SpeedButton1Click();
  void cmbMailDBNameClick(int index);
  void PageControl1Change();
  // Saves the form; true when every entry was written.
  bool Save();

  QLineEdit* editDBName;
  QLineEdit* editIndexDirMail;
  QRadioButton* radioDoc;
  QRadioButton* radioMail;
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QLineEdit* editHtmDir;
  QPushButton* btnHtml;
  QCheckBox* chkTxt;
  QCheckBox* chkHtm;
  QCheckBox* chkPgx;
  QCheckBox* chkWord;
  QCheckBox* chkExcel;
  QCheckBox* chkPower;
  QCheckBox* chkPdf;
  QCheckBox* chkRTF;
  QPushButton* SpeedButton1;
  QComboBox* cmbMailType;
  QLineEdit* editHtmDirMail;
  QPushButton* btnSel;
  QComboBox* cmbMailDBName;
  QCheckBox* chkAttach;
  QPushButton* btnDB;
  QPushButton* btnOk;
  QPushButton* btnCancel;
  QPushButton* btnApply;

  // The mail-store dialog (created at first use; tests drive it).
  TMailForm* mailForm();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  DatabaseEntryFields gather() const;
  void put(const DatabaseEntryFields& f);
  bool SaveOne();
  void edit_changed(const QString& text);
  bool pick_folder(QLineEdit* edit);

  std::string program_dir_;
  std::unique_ptr<DatabaseCatalog> catalog_;
  bool adding_ = false;
  bool saved_ = false;
  bool no_id_ = false;
  std::string other_ext_;
  DocumentTypeBoxes types_;
  std::string mail_key_;
  int prev_mail_item_ = -1;
  TBrowseFolder* browser_ = nullptr;
  TLocalAdvTxtF* ext_form_ = nullptr;
  TMailForm* mail_form_ = nullptr;
};

}  // namespace qm
