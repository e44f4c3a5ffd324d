// TEnvFullTextForm, the index management window: the list of every index database with
// its last index time and status, from which the checked databases are rebuilt one after
// another through the job queue (desktop/indexing/schedule.h), a build is terminated, and
// a database is removed with its files. A completed build is followed, on the worker, by
// its property.db (desktop/indexing/property_file.h) when its fulltext.db is not empty.
// Closing while a build runs asks first; OK stops the run and waits for it. Add and
// Properties open the database add/edit form (rebuild_form.h) and refill the list after OK.
// Opened modally by the main window's btnIndex and mIndex.
#pragma once
#include <QDialog>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/qt_window_thread.h"
#include "desktop/indexing/schedule.h"

class QLabel;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {

class TEnvFullTextForm : public QDialog {
  Q_OBJECT

 public:
  explicit TEnvFullTextForm(std::string program_dir, QWidget* parent = nullptr);
  ~TEnvFullTextForm() override;

  // The list from the configuration (rows keep their checks).
  void FillDatabaseList();
  void listviewDBClick();
  void btnReBuildClick();
  void btnTerminateClick();
  void btnRemoveDBClick();
  void btnAddDBClick();
  void btnPropertyDBClick();
  bool busy() const { return busy_; }
  // The row of a database id; nullptr when the list has none.
  QTreeWidgetItem* row_of(int id) const;
  // The status text id a row shows (0: empty).
  int row_status(int id) const;
  IndexSchedule& schedule() { return *schedule_; }

  QTreeWidget* listviewDB;
  QPushButton *btnReBuild, *btnTerminate, *btnAddDB, *btnRemoveDB, *btnPropertyDB, *btnClose;
  QStatusBar* StatusBar1;
  QLabel* panels[3];

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnJobEvent(int database_id, int code);
  void OnQueueStarted();
  void OnQueueFinished(bool stopped);
  void ShowProgress(const ProgressView& view);
  void set_status(int id, int text_id);
  // Asks before closing while busy; false when the user keeps the form open.
  bool may_close();

  std::string program_dir_;
  DatabaseCatalog catalog_;
  std::unique_ptr<QtWindowThread> window_;
  std::unique_ptr<IndexSchedule> schedule_;
  std::map<int, int> status_;  // database id -> status text id
  bool busy_ = false;
  bool stop_requested_ = false;
  bool filling_ = false;
  bool shown_once_ = false;
};

}  // namespace qm
