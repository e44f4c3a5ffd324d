// Reader of Folder.dat (folder_dat_format.h) over the record file of
// common/record_file.h. Bounds every count, text and level it reads, so a damaged or
// hostile file gives a smaller tree, never a crash. Called by the catalogue when the
// tree is loaded.
#include <algorithm>

#include "common/record_file.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/catalogue/folder_dat_format.h"
#include "platform/le.h"

namespace qm {

FolderDatStatus folder_dat_parse(std::string_view bytes, std::vector<FolderNodeRecord>& out) {
  namespace fd = folder_dat;
  int previous = 0;
  return record_file_parse(bytes, fd::kRecordSize, out, [&previous](const unsigned char* b, size_t i) {
    FolderNodeRecord r;
    r.group = b[fd::kGroupAt] != 0;
    r.state = le::get32s(b + fd::kStateAt);
    r.database_id = le::get32s(b + fd::kDatabaseIdAt);
    r.text = record_file_text(b + fd::kTextAt, fd::kTextField, fd::kMaxText);
    // The first record is the root; every later one hangs below the root, at most one
    // level below the record before it.
    int level = le::get32s(b + fd::kLevelAt);
    if (i == 0) {
      level = 0;
    } else {
      level = std::clamp(level, 1, std::min(previous + 1, fd::kMaxLevels - 1));
    }
    r.level = previous = level;
    return r;
  });
}

FolderDatStatus folder_dat_read(const std::string& path, std::vector<FolderNodeRecord>& out) {
  return record_file_read(path, out, folder_dat_parse);
}

}  // namespace qm
