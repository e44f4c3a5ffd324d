// The two property dialogs, created once by the main window and reused:
// TDocPtyForm shows one hit's properties (a document or a mail: caption line, type,
// database, sender, title, date, path; the sender line only for mail), filled by the
// main window's properties command; TBMPtyForm edits one bookmark's caption and target,
// with a file browser, for the bookmark manager (bookmark_form.h). Texts are given as
// QStrings: the callers convert Big5 and file-name bytes at this boundary.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace qm {

struct DocProperties {
  QString caption;   // file name or mail subject line
  QString type;      // documents or mail
  QString database;  // the database's Description
  QString sender;    // "" or "0" for a document: the sender line is hidden
  QString title;
  QString date;
  QString path;
};

class TDocPtyForm : public QDialog {
  Q_OBJECT

 public:
  explicit TDocPtyForm(QWidget* parent = nullptr);
  void FormActivate();
  // Before showing: the seven texts.
  void ShowProperties(const DocProperties& p);

  QLabel *lblCaption, *lblDBName, *lblType, *lblMailFile, *lblDate, *lblTitle, *lblSender;
  QLineEdit *editDocType, *editHtmlDir, *editDate, *editTitle, *editSender;
  QPushButton* btnOk;

 protected:
  void showEvent(QShowEvent* event) override;
};

// The filter of the bookmark file browser from text 12085: "description|pattern" pairs
// become Qt's "description (patterns)" entries joined by ";;", and the patterns inside
// parentheses are separated by blanks (a "," or ";" between them would be read as part
// of a pattern).
QString bookmark_file_filter(const QString& text);

class TBMPtyForm : public QDialog {
  Q_OBJECT

 public:
  explicit TBMPtyForm(QWidget* parent = nullptr);
  void FormActivate();
  // Before showing: the caption and the target path.
  void SetBookmark(const QString& caption, const QString& target);
  // The file browser (tests give one that answers at once): gets the filter, gives the
  // chosen file or "" for none.
  void set_file_chooser(std::function<QString(QWidget*, const QString&)> f) { choose_ = std::move(f); }
  QString filter() const { return filter_; }

  void SpeedButton1Click();
  void btnOkClick();

  // The accepted caption and target after OK (empty until then).
  QString AcceptedCaption, AcceptedTarget;

  QLineEdit *edtCaption, *editBookMark;
  QToolButton* SpeedButton1;
  QPushButton *btnOk, *btnCancel;
  QLabel *lblBookMark, *lblBMName;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void edit_changed(QLineEdit* edit);
  QString filter_;
  std::function<QString(QWidget*, const QString&)> choose_;
};

}  // namespace qm
