// Writer of Folder.dat (folder_dat_format.h): header and one record per node, fields
// little-endian one by one, through the record file of common/record_file.h (replaced
// safely). Called by the catalogue when the tree is saved.
#include "common/record_file.h"
#include "common/strings.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/catalogue/folder_dat_format.h"
#include "platform/le.h"

namespace qm {

std::string folder_dat_cut_text(std::string_view text, size_t max) {
  return std::string(text.substr(0, big5_prefix_length(text, max)));
}

std::string folder_dat_serialize(const std::vector<FolderNodeRecord>& records) {
  namespace fd = folder_dat;
  return record_file_serialize(records, fd::kRecordSize, [](const FolderNodeRecord& r, unsigned char* b) {
    b[fd::kGroupAt] = r.group ? 1 : 0;
    le::put32(b + fd::kStateAt, static_cast<uint32_t>(r.state));
    le::put32(b + fd::kLevelAt, static_cast<uint32_t>(r.level));
    le::put32(b + fd::kDatabaseIdAt, static_cast<uint32_t>(r.database_id));
    record_file_put_text(b + fd::kTextAt, r.text, fd::kMaxText);
  });
}

bool folder_dat_write(const std::string& path, const std::vector<FolderNodeRecord>& records) {
  return record_file_save(path, folder_dat_serialize(records));
}

}  // namespace qm
