// The prefix table (rehash.db, layout in index_format.h): built from the words of an
// ehash.db in record order. Used by the index writer (index_writer.cpp), the lexicon
// writer (searcher/lexicon) and tests; the readers in index_reader.h read the table.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "index/index_format.h"

namespace qm {

// rehash.db contents (1,332 records) from the words of an ehash.db in record order:
// runs of records sharing their first two bytes, stored at the run's prefix slot (a
// later run of the same prefix replaces an earlier one; a prefix without slot is not
// stored). The writer feeds it word by word; prefix_table_build feeds it a whole file.
class PrefixTableBuilder {
 public:
  void add(std::string_view word);  // the record's word (only its first two bytes count)
  std::string finish();             // the 1,332 x 8 bytes of rehash.db
 private:
  void store();
  std::string table_ = std::string(index_format::kPrefixFileSize, '\0');
  char run_[2] = {0, 0};
  uint32_t run_first_ = 0;
  uint32_t next_ = 0;
};
std::string prefix_table_build(std::string_view word_hash_bytes);

// Builds directory's rehash.db from its ehash.db (written safely: temporary file,
// rename). 1, or 0 when ehash.db cannot be read or rehash.db cannot be written.
int index_build_prefix_table(const std::string& directory);

}  // namespace qm
