// TLocalAdvTxtF, the plain-text extensions dialog: a list with "txt" first and the
// caller's extra extensions after it, an edit of at most 5 characters with Add (also
// Enter) and Remove, and OK handing the extensions back joined with ",". The rules of the
// list are plain_ext.h's. The database add/edit form and the index wizard open it from
// their ">>" button: set ExtensionText, exec(), read ExtensionText back.
#pragma once
#include <QDialog>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qm {

class TLocalAdvTxtF : public QDialog {
  Q_OBJECT

 public:
  explicit TLocalAdvTxtF(QWidget* parent = nullptr);

  // The extensions without "txt", joined with "," (8-bit text as in the configuration).
  std::string ExtensionText;

  void FormActivate();
  void btnAddClick();
  void btnRemoveClick();
  void btnOkClick();

  QGroupBox* GroupBox1;
  QLabel* LabelTxtType;
  QLineEdit* editTxtType;
  QListWidget* listboxTxtType;
  QPushButton* btnAdd;
  QPushButton* btnRemove;
  QPushButton* btnOk;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qm
