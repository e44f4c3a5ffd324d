// Writer of Folder.dat (folder_dat_format.h): header and one record per node, fields
// little-endian one by one, replaced safely through platform/atomic_file.h. Called by
// the catalogue when the tree is saved.
#include <algorithm>

#include "common/strings.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/catalogue/folder_dat_format.h"
#include "platform/atomic_file.h"
#include "platform/le.h"

namespace qm {

std::string folder_dat_cut_text(std::string_view text, size_t max) {
  size_t end = 0;
  while (end < text.size()) {
    size_t len = big5_char_len(text, end);
    if (end + len > max) break;
    end += len;
  }
  return std::string(text.substr(0, end));
}

std::string folder_dat_serialize(const std::vector<FolderNodeRecord>& records) {
  namespace fd = folder_dat;
  int32_t deepest = 0;
  for (const FolderNodeRecord& r : records) deepest = std::max(deepest, r.level);
  std::string out;
  out.reserve(fd::kHeaderSize + records.size() * fd::kRecordSize);
  le::append32(out, static_cast<uint32_t>(records.size()));
  le::append32(out, static_cast<uint32_t>(deepest));
  for (const FolderNodeRecord& r : records) {
    unsigned char b[fd::kRecordSize] = {};
    b[fd::kGroupAt] = r.group ? 1 : 0;
    le::put32(b + fd::kStateAt, static_cast<uint32_t>(r.state));
    le::put32(b + fd::kLevelAt, static_cast<uint32_t>(r.level));
    le::put32(b + fd::kDatabaseIdAt, static_cast<uint32_t>(r.database_id));
    std::string text = folder_dat_cut_text(r.text, fd::kMaxText);
    std::copy(text.begin(), text.end(), b + fd::kTextAt);
    out.append(reinterpret_cast<const char*>(b), sizeof b);
  }
  return out;
}

bool folder_dat_write(const std::string& path, const std::vector<FolderNodeRecord>& records) {
  return atomic_replace(path, folder_dat_serialize(records));
}

}  // namespace qm
