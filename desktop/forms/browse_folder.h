// TBrowseFolder, the folder browser: a dialog with a tree of the file system's folders
// (QFileSystemModel, directories only) under a chosen root, an initial selection, the
// selected path compressed into a status line (CompressString, mailfind/browse_text.h),
// OK only on a directory, and an optional extra button whose clicks are a signal. The
// index wizard, the mail form and the database add/edit form ask for folders with it:
// set the properties, Execute(), read Directory.
#pragma once
#include <QDialog>
#include <QString>

class QComboBox;
class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace qm {

// Browse options; the computer, printer and domain flags are kept for callers but have no
// meaning on this system.
enum TBrowseInfoFlags : unsigned {
  bfFileSysDirsOnly = 0x1,
  bfDontGoBelowDomain = 0x2,
  bfStatusText = 0x4,
  bfFileSysAncestors = 0x8,
  bfBrowseForComputer = 0x1000,
  bfBrowseForPrinter = 0x2000,
};

enum class TSHFolders {
  foDesktop, foDesktopExpanded, foPrograms, foControlPanel, foPrinters, foPersonal,
  foFavorites, foStartup, foRecent, foSendto, foRecycleBin, foStartMenu, foDesktopDirectory,
  foMyComputer, foNetwork, foNetworkNeighborhood, foFonts, foTemplates,
};

// The folder a root stands for: the user's desktop, documents, applications, fonts and
// templates folders where the system names them, "/" for the rest.
QString RootFolderPath(TSHFolders root);

class TBrowseFolder : public QDialog {
  Q_OBJECT

 public:
  explicit TBrowseFolder(QWidget* parent = nullptr);

  QString Directory;  // initial selection; the chosen folder after a true Execute
  QString Title;
  unsigned Flags = 0;
  bool ShowPathInStatusArea = false;
  TSHFolders RootFolder = TSHFolders::foDesktopExpanded;
  bool CustomButtonVisible = false;
  bool SyncCustomButton = false;

  bool CustomButtonEnabled() const { return custom_enabled_; }
  void SetCustomButtonEnabled(bool on);
  QString CustomButtonCaption() const { return custom_caption_; }
  void SetCustomButtonCaption(const QString& caption);
  int CustomButtonWidth() const { return custom_width_; }
  void SetCustomButtonWidth(int width) { custom_width_ = width > 0 ? width : 75; }

  // Runs the dialog; true when a folder was chosen (Directory then holds it).
  bool Execute();

  // While the dialog is open.
  void SetStatusText(const QString& text);
  void SetSelectionPath(const QString& path);
  void EnableOK(bool on);
  // The current selection's path ("" without one).
  QString SelectionPath() const { return selection_; }

  QTreeView* tree() const { return tree_; }
  QLabel* statusLabel() const { return status_; }
  QPushButton* okButton() const;
  QPushButton* customButton() const { return custom_; }

 signals:
  void OnInitialized(TBrowseFolder* sender);
  void OnSelectionChanged(TBrowseFolder* sender, const QString& directory);
  void OnCustomButtonClick(TBrowseFolder* sender);

 private:
  void selection_changed();

  QFileSystemModel* model_;
  QTreeView* tree_;
  QLabel* title_;
  QLabel* status_;
  QDialogButtonBox* buttons_;
  QPushButton* custom_;
  QString selection_;
  bool custom_enabled_ = true;
  QString custom_caption_;
  int custom_width_ = 75;
};

// A folder history in a combo box: its current text joins the list unless an entry equals
// it ignoring case; the text stays as typed.
void RememberFolderText(QComboBox* box);

}  // namespace qm
