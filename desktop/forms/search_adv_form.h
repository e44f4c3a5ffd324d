// TSearchAdvForm, the advanced-search dialog: a main keyword box with its history and two
// further keyword boxes behind operator boxes ("*", "+", "-"), the homophone,
// fault-tolerant and near-concept switches, a file page (name mask, modification date
// range, size at least or at most in KB) and a mail page (fields searched, received date
// range). The main window creates it at first use and keeps it, so every box keeps its
// state between openings; after OK the main window reads Choice(). Texts are Big5 inside
// and meet QString only here. The logic without Qt is desktop/indexing/advanced_search.h.
#pragma once
#include <QDialog>

#include "desktop/indexing/advanced_search.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace qm {

class TSearchAdvForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSearchAdvForm(QWidget* parent = nullptr);

  // Set by the main window before showing: whether its near-concept box is enabled.
  bool NearConceptAllowed = true;
  // The choices of the last OK.
  const AdvancedSearchChoice& Choice() const { return choice_; }
  // The texts of the keyword boxes (Big5; a character Big5 lacks is refused at OK).
  void SetKeyword(const std::string& big5);

  void FormCreate();
  void FormActivate();
  void cmbSrhAdvChange();
  void btnOkClick();

  QWidget* Panel2;
  QLabel* lblString;
  QComboBox *cmbSrhAdv, *cmbOperator1, *cmbStr1, *cmbOperator2, *cmbStr2;
  QPushButton *btnOk, *btnCancel;
  QCheckBox *chkH, *chkF, *chkL;
  QTabWidget* PageControl1;
  QWidget *TabSheet2, *TabSheet3;
  QGroupBox* groupFilter;
  QCheckBox *chkFilterName, *chkFilterDate, *chkFilterSize;
  QComboBox* cmbFilterName;
  QDateEdit *editTimeF, *editTimeT;
  QLabel *labelFrom, *labelTo, *labelKB;
  QSpinBox* cmbSize;  // with its arrows (UpDown1)
  QComboBox* cmbKB;
  QGroupBox *groupMailItem, *groupMFilter;
  QCheckBox *chkMailSubject, *chkMailSender, *chkMailContent, *chkMailDate;
  QDateEdit *editMailF, *editMailT;
  QLabel *labelF, *labelT;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build();
  void place_switches();
  AdvancedSearchChoice choice_;
};

}  // namespace qm
