// The result list's date column from the catalogue (catalogue_view.h).
#include "desktop/catalogue_view.h"

#include <QTreeWidget>

#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"

namespace qm {

void FillHitDates(DatabaseCatalog& catalog, QTreeWidget* list) {
  catalog.OpenConfig();  // one table for every row
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = list->topLevelItem(i);
    const int id = row->data(0, kHitDatabaseRole).toInt();
    std::string name;
    if (!qstring_to_big5(row->text(kHitColumnName), name)) name.clear();
    const std::string number = row->text(kHitColumnNumber).toStdString();
    row->setText(kHitColumnDate, big5_to_qstring(catalog.HitDateText(id, name, number)));
  }
  catalog.CloseConfig();
}

}  // namespace qm
