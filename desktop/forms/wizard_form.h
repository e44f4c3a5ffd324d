// TWizardForm, the index-database wizard: ten pages in a stacked widget switched by Next
// and Previous, steps 0-6 (documents: kind, folder, types, name, index folder, ready,
// progress; mail: kind, client and folder, mail files, group, ready, progress, skipping
// step 4 both ways), each step's check with its numbered message, and on the last step
// the document database's entry written (catalogue/database_entry.h) and its build queued
// (indexing/schedule.h) with the counters, the status panels and a picture of the build's
// progress on the progress page; afterwards each database's result in the builder's own
// words. A stopped build removes every database it made and did not build. The main
// window opens it: exec(), then refresh its tree.
#pragma once
#include <QDialog>
#include <QPixmap>
#include <QStringList>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "desktop/forms/entry_fields_ui.h"
#include "desktop/indexing/command_line.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMovie;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedLayout;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {
class DatabaseCatalog;
class IndexSchedule;
class TThreadStand;
class QtWindowThread;
struct ProgressView;

class TWizardForm : public QDialog {
  Q_OBJECT
 public:
  // program_dir ends in "/": vesprin.ini, DB/ and the indexer are there.
  explicit TWizardForm(std::string program_dir, QWidget* parent = nullptr);
  ~TWizardForm() override;

  void FormActivate();
  void btnNextClick();
  void btnPrevClick();
  void btnCancelClick();
  void btnFinishClick();
  void btnTerminateClick();
  void SpeedButton1Click();
  int Step() const { return step_; }
  int DatabaseId() const { return db_id_; }
  bool Building() const { return !may_close_; }
  IndexSchedule& schedule() { return *schedule_; }
  const std::string& OtherExtensions() const { return other_ext_; }

  QStackedWidget* PageControl1;
  QLabel* Image1;  // the side picture
  QWidget* TabSheet[10];
  QRadioButton* radioDoc;
  QRadioButton* radioMail;
  QLineEdit* editHtmDir;
  QPushButton* btnBrowse;
  QCheckBox* chkTxt;
  QCheckBox* chkHtm;
  QCheckBox* chkPgx;
  QCheckBox* chkWord;
  QCheckBox* chkExcel;
  QCheckBox* chkPower;
  QCheckBox* chkPdf;
  QCheckBox* chkRTF;
  QPushButton* SpeedButton1;
  QLineEdit* editDBName;
  QLineEdit* editIndexDir;
  QPushButton* btnBrowser2;
  QLabel* labelProgress;
  QLabel* Image2;
  QLabel* PanelAVI;  // the animation (quillanim.gif beside the program) while building
  QMovie* movie() const { return movie_; }
  QLabel* labelBuilt;   // after a build: the database is built
  QLabel* labelFinish;  // after a build: press Finish
  QLabel* labelResult;  // after a build: each database's result in the builder's words
  QFrame* GroupBox1;    // the counters
  QWidget* GroupBox2;   // the status panels
  QLabel* lbl1;
  QLabel* lbl2;
  QLabel* lbl3;
  QLabel* panels[3];
  QRadioButton* radioIE5;
  QRadioButton* radioIE4;
  QRadioButton* radio9798;
  QRadioButton* radioNS;
  QRadioButton* radioEudora;
  QLabel* lblMailFolder;
  QComboBox* editMailFolder;  // with the folders searched before
  QPushButton* btnSel;
  QCheckBox* chkAttach;
  QTreeWidget* lvFind;
  QLabel* lblFind;
  QComboBox* cmbDrive;  // one root: drives have no meaning here; kept hidden
  QLineEdit* editGroup;
  QPushButton* btnNext;
  QPushButton* btnPrev;
  QPushButton* btnCancel;
  QPushButton* btnFinish;
  QPushButton* btnTerminate;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  bool mail() const;
  void show_step();
  bool check_document();
  bool name_used();
  void on_job_event(int id, int code);
  void show_build_picture(double fraction);
  void create_and_queue();
  void create_mail_and_queue();
  void queue_builds(IndexerKind kind, const std::vector<int>& ids);
  void start_mail_search();
  void list_store_folders();
  void mail_search_done();
  void on_queue_started();
  void on_queue_finished(bool stopped);
  void show_progress(const ProgressView& view);
  bool pick_folder(QLineEdit* edit);
  bool pick_folder(QComboBox* edit);
  std::string program_dir_;
  std::unique_ptr<DatabaseCatalog> catalog_;
  std::unique_ptr<QtWindowThread> window_;
  std::unique_ptr<IndexSchedule> schedule_;
  int step_ = 0;
  int db_id_ = 0;
  // The databases of the running (or last) build, those it built, and the mail-file row
  // each was made from.
  std::vector<int> run_ids_;
  std::set<int> built_;
  std::map<int, QTreeWidgetItem*> row_of_;
  QStringList results_;
  QPixmap build_picture_;
  bool may_close_ = true;
  bool stop_requested_ = false;
  std::string other_ext_;
  DocumentTypeBoxes types_;
  QMovie* movie_ = nullptr;
  QStackedLayout* turns_ = nullptr;  // the waiting text, or the two closing texts
  std::unique_ptr<TThreadStand> thread_;
  bool animate_ = false;
};

}  // namespace qm
