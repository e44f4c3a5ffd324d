// The per-document property values of one database, read from its property.db for the
// property step (property_step.h). Two layouts share the file name (index_format.h):
// one i32 yyyymmdd per document as the index writer stores it, or the desktop's
// 232-byte DocPropertyRecord per document, of which only year, month and day are read.
// The layout is told by the file size against the number of documents N (cross.db
// records), as the index reader (index/index_reader.h) tells it: N x 4 or N x 232; any
// other size, a missing file or a missing cross.db give no values at all.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "index/index_reader.h"

namespace qm {

struct PropertyTable {
  PropertyLayout layout = PropertyLayout::None;
  std::vector<PropertyValue> values;  // document number = index

  // True when the database has property values to filter and group by.
  bool has_values() const { return !values.empty(); }
  // The document's value; 0 for a document beyond the file.
  PropertyValue value(uint32_t document) const {
    return document < values.size() ? values[document] : 0;
  }
};

// Reads the values of the database in directory (ending with "/"). property.db and
// cross.db fall back to a case-blind match of their names.
PropertyTable property_table_load(const std::string& directory);

// The values from an open set (opened with its property.db): the same table, read from
// the build the rest of the request reads.
PropertyTable property_table_from_set(IndexFileSet& set);

// The date of a DocPropertyRecord as yyyymmdd; 0 when year, month or day lie outside
// 0..9999, 0..99, 0..99 (a damaged record must not overflow). record holds 232 bytes.
PropertyValue property_record_date(const unsigned char* record);

}  // namespace qm
