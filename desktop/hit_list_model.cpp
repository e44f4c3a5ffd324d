// The result list's model (see hit_list_model.h).
#include "desktop/hit_list_model.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>

#include "desktop/big5_qt.h"
#include "desktop/path_qt.h"
#include "desktop/search/hit_sort.h"

namespace qm {

HitListModel::HitListModel(QObject* parent) : QAbstractTableModel(parent) {}

int HitListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HitListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (sender_column_ ? 6 : 5);
}

QString HitListModel::text(int r, int column) const {
  if (r < 0 || size_t(r) >= rows_.size()) return {};
  const HitRow& row = rows_[size_t(r)];
  switch (column) {
    case 0: return big5_to_qstring(row.caption);
    case 1:
      // A document's name is a path as the file system holds it; a mail's subject is Big5.
      return row.mail ? big5_to_qstring(row.sub[kSubName]) : path_to_qstring(row.sub[kSubName]);
    case 2: return big5_to_qstring(row.sub[kSubTimes]);
    case 3: return big5_to_qstring(row.sub[kSubTitle]);
    case 4: return big5_to_qstring(row.sub[kSubDate]);
    case 5: return big5_to_qstring(row.sub[kSubSender]);
    default: return {};
  }
}

QVariant HitListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || size_t(index.row()) >= rows_.size()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return text(index.row(), index.column());
  if (role == Qt::DecorationRole && index.column() == 0 && rows_[size_t(index.row())].image == 2)
    return attachment_icon_;
  return {};
}

QVariant HitListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section == 5) return sender_header_;
  return section >= 0 && section < headers_.size() ? headers_[section] : QVariant();
}

Qt::ItemFlags HitListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList HitListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* HitListModel::mimeData(const QModelIndexList& indexes) const {
  QList<QUrl> urls;
  int last = -1;
  for (const QModelIndex& i : indexes) {
    if (!i.isValid() || i.row() == last || !path_of_) continue;
    last = i.row();
    const std::string path = path_of_(rows_[size_t(i.row())]);
    if (!path.empty()) urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
  }
  auto* mime = new QMimeData;
  mime->setUrls(urls);
  return mime;
}

void HitListModel::set_headers(const QStringList& five, const QString& sender) {
  headers_ = five;
  sender_header_ = sender;
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void HitListModel::set_sender_column(bool shown) {
  if (shown == sender_column_) return;
  if (shown) {
    beginInsertColumns(QModelIndex(), 5, 5);
    sender_column_ = true;
    endInsertColumns();
  } else {
    beginRemoveColumns(QModelIndex(), 5, 5);
    sender_column_ = false;
    endRemoveColumns();
  }
}

void HitListModel::set_rows(std::vector<HitRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void HitListModel::update_rows(const std::function<void(std::vector<HitRow>&)>& change) {
  change(rows_);
  if (!rows_.empty())
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void HitListModel::sort_rows(int kind, bool ascending) {
  emit layoutAboutToBeChanged();
  const std::vector<size_t> order = HitSortOrder(rows_, kind, ascending);
  std::vector<HitRow> sorted;
  sorted.reserve(rows_.size());
  std::vector<int> new_place(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) {
    new_place[order[i]] = int(i);
    sorted.push_back(std::move(rows_[order[i]]));
  }
  rows_ = std::move(sorted);
  // The selection and the current row follow their rows.
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  for (const QModelIndex& i : before)
    after << index(new_place[size_t(i.row())], i.column());
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

}  // namespace qm
