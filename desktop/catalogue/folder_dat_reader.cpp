// Reader of Folder.dat (folder_dat_format.h). Bounds every count, text and level it
// reads, so a damaged or hostile file gives a smaller tree, never a crash. Called by
// the catalogue when the tree is loaded.
#include <algorithm>

#include "common/files.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/catalogue/folder_dat_format.h"
#include "platform/le.h"

namespace qm {

FolderDatStatus folder_dat_parse(std::string_view bytes, std::vector<FolderNodeRecord>& out) {
  namespace fd = folder_dat;
  out.clear();
  if (bytes.size() < fd::kHeaderSize) return FolderDatStatus::Missing;
  const auto* base = reinterpret_cast<const unsigned char*>(bytes.data());
  int32_t count = le::get32s(base + fd::kCountAt);
  if (count <= 0) return FolderDatStatus::Missing;
  size_t room = (bytes.size() - fd::kHeaderSize) / fd::kRecordSize;
  size_t n = std::min(static_cast<size_t>(count), room);
  out.reserve(n);
  int previous = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char* b = base + fd::kHeaderSize + i * fd::kRecordSize;
    FolderNodeRecord r;
    r.group = b[fd::kGroupAt] != 0;
    r.state = le::get32s(b + fd::kStateAt);
    r.database_id = le::get32s(b + fd::kDatabaseIdAt);
    std::string_view field(reinterpret_cast<const char*>(b + fd::kTextAt), fd::kTextField);
    field = field.substr(0, std::min(field.find('\0'), field.size()));
    r.text = folder_dat_cut_text(field, fd::kMaxText);
    // The first record is the root; every later one hangs below the root, at most one
    // level below the record before it.
    int level = le::get32s(b + fd::kLevelAt);
    if (i == 0) {
      level = 0;
    } else {
      level = std::clamp(level, 1, std::min(previous + 1, fd::kMaxLevels - 1));
    }
    r.level = previous = level;
    out.push_back(std::move(r));
  }
  return n < static_cast<size_t>(count) ? FolderDatStatus::Damaged : FolderDatStatus::Ok;
}

FolderDatStatus folder_dat_read(const std::string& path, std::vector<FolderNodeRecord>& out) {
  std::string bytes;
  if (!file_read_all_binary(path, bytes)) {
    out.clear();
    return FolderDatStatus::Missing;
  }
  return folder_dat_parse(bytes, out);
}

}  // namespace qm
