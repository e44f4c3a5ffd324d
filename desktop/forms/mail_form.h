// TMailForm, the mail-store dialog of the database add/edit form: for a mail kind given
// by its file mask ("*.mbx", "*.dbx", "*.snm", "*.toc") it searches a folder tree with
// the walker TThreadStand (mailfind/thread_stand.h) and lists the stores it finds; for
// the mail-client kind ("*.pst") it lists the readable folders of the mail-store library
// (mailfind/mail_store.h). On OK every selected entry goes into the caller's combo box as
// its name with a TMailObject; the four result texts keep the last one.
#pragma once
#include <QDialog>
#include <QMetaType>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace qm {

class TBrowseFolder;
class TThreadStand;
struct MailFileRow;

// The walker's rows as list items: the name and folder shown through the file-name codec
// with their bytes kept (path_qt.h), the size right-aligned, the date when the list has
// a fourth column. The mail form and the wizard list their finds with it.
void AddMailFileRows(QTreeWidget* list, const std::vector<MailFileRow>& rows);
// A walker status in a label: a folder as a path, a closing text as Big5.
void ShowWalkStatus(QLabel* label, const std::string& status, bool folder);

// The data of each combo box entry (8-bit texts as in the configuration).
struct TMailObject {
  std::string SourcePath;
  std::string IndexDirectory;
  std::string FolderKey;  // mail-client stores only
};

class TMailForm : public QDialog {
  Q_OBJECT

 public:
  // program_dir ends in "/": the mail-store library and the DB folder are there.
  explicit TMailForm(std::string program_dir, QWidget* parent = nullptr);
  ~TMailForm() override;

  std::string FileMask;               // set by the caller before showing
  QComboBox* TargetCombo = nullptr;   // the caller's combo box
  bool OutlookMode() const { return outlook_; }
  std::string ResultName, ResultSource, ResultIndexDir, ResultFolderKey;

  void FormActivate();
  void btnFindMailClick();
  void btnTerminateClick();
  void btnOkClick();
  void btnSel1Click();
  void editMailFolderChange();
  // The walker's end, on the window thread.
  void SearchDone();

  QLabel* Label45;
  QLabel* Label46;
  QLabel* Label47;
  QLabel* lblFind;
  QComboBox* editMailFolder;
  QPushButton* btnSel;
  QPushButton* btnFindMail;
  QTreeWidget* lvFind;
  QPushButton* btnOk;
  QPushButton* btnCancel;
  QPushButton* btnTerminate;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ListOutlookFolders();
  void SetSearching(bool on);

  std::string program_dir_;
  bool outlook_ = false;
  std::unique_ptr<TThreadStand> thread_;
  TBrowseFolder* browser_ = nullptr;
};

}  // namespace qm

Q_DECLARE_METATYPE(qm::TMailObject)
