// Writer of Bookmark.dat (bookmark_format.h): header and one record per node, fields
// little-endian one by one, replaced safely through platform/atomic_file.h. Called by
// the bookmark tree when it saves.
#include <algorithm>

#include "common/strings.h"
#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/bookmarks/bookmark_format.h"
#include "platform/atomic_file.h"
#include "platform/le.h"

namespace qm {

std::string bookmark_cut_text(std::string_view text, size_t max) {
  return std::string(text.substr(0, big5_prefix_length(text, max)));
}

std::string bookmark_dat_serialize(const std::vector<BookmarkRecord>& records) {
  namespace bd = bookmark_dat;
  int32_t deepest = 0;
  for (const BookmarkRecord& r : records) deepest = std::max(deepest, r.level);
  std::string out;
  out.reserve(bd::kHeaderSize + records.size() * bd::kRecordSize);
  le::append32(out, static_cast<uint32_t>(records.size()));
  le::append32(out, static_cast<uint32_t>(deepest));
  for (const BookmarkRecord& r : records) {
    unsigned char b[bd::kRecordSize] = {};
    b[bd::kKindAt] = r.kind;
    le::put32(b + bd::kIndexAt, static_cast<uint32_t>(r.index));
    const std::string path = bookmark_cut_text(r.path, bd::kMaxPath);
    std::copy(path.begin(), path.end(), b + bd::kPathAt);
    le::put32(b + bd::kLevelAt, static_cast<uint32_t>(r.level));
    const std::string caption = bookmark_cut_text(r.caption, bd::kMaxCaption);
    std::copy(caption.begin(), caption.end(), b + bd::kCaptionAt);
    out.append(reinterpret_cast<const char*>(b), sizeof b);
  }
  return out;
}

bool bookmark_dat_write(const std::string& path, const std::vector<BookmarkRecord>& records) {
  return atomic_replace(path, bookmark_dat_serialize(records));
}

}  // namespace qm
