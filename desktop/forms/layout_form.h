// TLayoutForm, the layout dialog: check boxes for the main window's tool bar, database
// tree and preview (the result list's box is always checked and disabled: the list cannot
// be hidden), applied by OK or Apply. The main window hands it its panels before showing
// (menuLayout); the about box TAboutF shows the product picture, name, version and maker
// and opens the service site through the caller's opener.
#pragma once
#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace qm {

class TLayoutForm : public QDialog {
  Q_OBJECT

 public:
  explicit TLayoutForm(QWidget* parent = nullptr);
  // The panes (splitter may be null: a Qt splitter hides a hidden pane's handle itself);
  // the boxes take their current visibility.
  void SetPanes(QWidget* tool, QWidget* tree, QWidget* preview, QWidget* splitter);
  void FormActivate();
  void btnOkClick();
  void btnApplyClick();

  QGroupBox* GroupBox1;
  QLabel *Label1, *Label2;
  QCheckBox *chkToolBar, *chkTreeView, *chkListView, *chkPreview;
  QPushButton *btnOk, *btnCancel, *btnApply;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void apply();
  QWidget *tool_ = nullptr, *tree_ = nullptr, *preview_ = nullptr, *splitter_ = nullptr;
};

class TAboutF : public QDialog {
  Q_OBJECT

 public:
  // open: the opener of the service address (the main window's shell opener).
  explicit TAboutF(std::function<void(const std::string&)> open, QWidget* parent = nullptr);
  void LabelServiceURLClick();

  QLabel *Image1, *LabelServiceURL, *lblProduct, *lblVersion, *lblOwner;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(const std::string&)> open_;
};

}  // namespace qm
