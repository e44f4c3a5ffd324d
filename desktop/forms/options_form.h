// TOptionsForm, the options dialog: the keyword highlight (a 4 x 4 colour grid, left click
// for the text colour and right click for the background, a panel that clears either
// colour, and six sizes), the extra plain-text extensions, the English matching
// thresholds, the indexing animation and the hits per page; hidden pages keep the
// per-database automatic indexing switch and the browser list, and a hidden group the web
// search address (editURL). OK saves and closes; Apply saves and emits settingsApplied;
// Cancel and Esc close without saving. The settings logic without Qt is
// desktop/options_settings.h; the main window opens the form from mOptions and btnFont.
#pragma once
#include <QDialog>
#include <QFrame>
#include <string>

#include "desktop/options_settings.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace qm {

class DatabaseCatalog;

// The 16-colour grid, 4 x 4: a left click picks the foreground, a right click the
// background; each chosen cell carries its mark ("F", "B").
class TColorGrid : public QFrame {
  Q_OBJECT

 public:
  explicit TColorGrid(QWidget* parent = nullptr);
  int ForegroundIndex() const { return fg_; }
  int BackgroundIndex() const { return bg_; }
  void SetForegroundIndex(int index);
  void SetBackgroundIndex(int index);
  // The cell under a point, -1 for none.
  int IndexAt(const QPoint& point) const;
  QRect CellRect(int index) const;
  QSize sizeHint() const override;

 signals:
  void changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int fg_ = 9, bg_ = 15;
};

class TOptionsForm : public QDialog {
  Q_OBJECT

 public:
  // program_dir ends with "/": its configuration file is the one edited.
  explicit TOptionsForm(std::string program_dir, QWidget* parent = nullptr);
  ~TOptionsForm() override;

  // The highlight written by the last save (OK or Apply), for the main window.
  const HighlightMarks& Marks() const { return marks_; }
  int ResultCount() const;
  // The web search address of the hidden group.
  std::string WebAddress() const;

  void FormActivate();
  void btnOkClick();
  void btnApplyClick();
  void btnAddClick();
  void btnRemoveClick();
  void Panel1MouseDown(Qt::MouseButton button);
  void TabSheet3Show();
  // The values the controls hold now.
  OptionsValues Values() const;

  QTabWidget* PageControl1;
  QWidget *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4, *TabSheet5;
  QLabel *Label4, *Label5, *Label6;
  TColorGrid* keyColor;
  QListWidget* lbSize;
  QFrame* Panel1;
  QLabel *lblFG, *lblBG, *lblSample;  // the panel's marks and its caption
  QLabel *Label1, *Label2, *LabelTxtType;
  QListWidget* listboxTxtType;
  QLineEdit* editTxtType;
  QPushButton *btnAdd, *btnRemove;
  QTreeWidget* listviewDB;
  QTreeWidget* lvBrowser;
  QGroupBox* GroupBox1;
  QLabel *LabelMatchRateBar, *LabelPrecisionBar;
  QSlider *MatchRateBar, *PrecisionBar;
  QLabel *MatchRateLable, *PrecisionLable;
  QCheckBox* chkWizard;
  QLabel *Label9, *Label10;
  QSpinBox* cspedtRstCnt;
  QGroupBox* GroupBox2;
  QLabel* Label8;
  QLineEdit* editURL;
  QPushButton *btnOk, *btnCancel, *btnApply;

 signals:
  // The settings were applied (Apply): the main window takes them over.
  void settingsApplied();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void set_captions();
  void changed();
  void show_sample();  // the panel's caption in the chosen colours
  void save();

  std::string program_dir_;
  DatabaseCatalog* catalog_;
  HighlightMarks marks_;
  bool loading_ = false;  // control changes while loading are no user changes
};

}  // namespace qm
