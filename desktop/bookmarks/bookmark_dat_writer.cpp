// Writer of Bookmark.dat (bookmark_format.h): header and one record per node, fields
// little-endian one by one, through the record file of common/record_file.h (replaced
// safely). Called by the bookmark tree when it saves.
#include "common/record_file.h"
#include "common/strings.h"
#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/bookmarks/bookmark_format.h"
#include "platform/le.h"

namespace qm {

std::string bookmark_cut_text(std::string_view text, size_t max) {
  return std::string(text.substr(0, big5_prefix_length(text, max)));
}

std::string bookmark_dat_serialize(const std::vector<BookmarkRecord>& records) {
  namespace bd = bookmark_dat;
  return record_file_serialize(records, bd::kRecordSize, [](const BookmarkRecord& r, unsigned char* b) {
    b[bd::kKindAt] = r.kind;
    le::put32(b + bd::kIndexAt, static_cast<uint32_t>(r.index));
    record_file_put_text(b + bd::kPathAt, r.path, bd::kMaxPath);
    le::put32(b + bd::kLevelAt, static_cast<uint32_t>(r.level));
    record_file_put_text(b + bd::kCaptionAt, r.caption, bd::kMaxCaption);
  });
}

bool bookmark_dat_write(const std::string& path, const std::vector<BookmarkRecord>& records) {
  return record_file_save(path, bookmark_dat_serialize(records));
}

}  // namespace qm
