// The catalogue's rows shown in the main window's Qt lists: the date column of the result
// list (ListView1), filled from DatabaseCatalog::HitDateText (desktop/catalogue/catalogue.h)
// after a search. The row layout here is the one the search fills: the database of a hit
// on column 0 under kHitDatabaseRole, sub-item n of the old list view in column n + 1.
#pragma once
#include <Qt>

class QTreeWidget;

namespace qm {

class DatabaseCatalog;

inline constexpr int kHitDatabaseRole = Qt::UserRole + 10;  // int, on column 0
inline constexpr int kHitColumnName = 1;    // file name or mail subject (sub-item 0)
inline constexpr int kHitColumnDate = 4;    // date (sub-item 3)
inline constexpr int kHitColumnNumber = 7;  // document number, not shown (sub-item 6)

// Every row's date: a mail's received date, else the document file's last write time.
void FillHitDates(DatabaseCatalog& catalog, QTreeWidget* list);

}  // namespace qm
