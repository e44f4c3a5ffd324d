// TWebSrchForm, the web search form: the typed words and one of four scopes become the
// address of the web search service (desktop/web_search.h), which the caller's opener
// hands to the browser; the picture opens the service's home page. The main window
// shows it modally (btnWebSearch, mWebSearch) with the host of its web search address.
#pragma once
#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qm {

class TWebSrchForm : public QDialog {
  Q_OBJECT

 public:
  // host: the service's host (or address); open: the opener of addresses.
  TWebSrchForm(std::string host, std::function<void(const std::string&)> open,
               QWidget* parent = nullptr);
  void FormActivate();
  void BtnOkClick();
  void Image1Click();
  char scope() const { return scope_; }

  QLineEdit* editStrings;
  QRadioButton *radio1, *radio2, *radio3, *radio4;
  QLabel *lbl1, *lbl2, *lbl3, *lbl4, *lblOperator, *Image1;
  QPushButton *BtnOk, *btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void editStringsChange();
  std::string host_;
  std::function<void(const std::string&)> open_;
  char scope_ = '0';
};

}  // namespace qm
