// The result list's model: one HitRow (desktop/search/hit_lines.h) per row, shown by the
// main window's QTreeView ListView1. Each row carries everything that belongs to it (its
// brief HTML, marker query, database id and icon), so sorting moves it whole. Columns:
// hit number, name, occurrences, title, date, and the sender while mail hits are shown. A
// document's name is shown as a file name, a mail's subject and sender as Big5. Rows drag
// out as the documents' file addresses; nothing can be dropped on the list.
#pragma once
#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "desktop/search/hit_lines.h"

namespace qm {

class HitListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit HitListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

  // Captions of columns 0-4, and of the sender column.
  void set_headers(const QStringList& five, const QString& sender);
  // The sender column (column 5) is shown.
  void set_sender_column(bool shown);
  bool sender_column() const { return sender_column_; }
  void set_attachment_icon(const QIcon& icon) { attachment_icon_ = icon; }
  // The document path of a row, for dragging (set by the window).
  void set_path_of(std::function<std::string(const HitRow&)> f) { path_of_ = std::move(f); }

  void set_rows(std::vector<HitRow> rows);
  void clear() { set_rows({}); }
  const std::vector<HitRow>& rows() const { return rows_; }
  const HitRow& row(int i) const { return rows_[size_t(i)]; }
  // Changes rows in place (dates, senders, icons) and tells the views.
  void update_rows(const std::function<void(std::vector<HitRow>&)>& change);
  // Stable sort by a sort kind (desktop/search/hit_sort.h).
  void sort_rows(int kind, bool ascending);

  // Text of a row's column as shown.
  QString text(int row, int column) const;

 private:
  std::vector<HitRow> rows_;
  QStringList headers_;
  QString sender_header_;
  bool sender_column_ = false;
  QIcon attachment_icon_;
  std::function<std::string(const HitRow&)> path_of_;
};

}  // namespace qm
