// Reader of Bookmark.dat (bookmark_format.h) over the record file of common/record_file.h.
// Bounds every count, text and level it reads, so a damaged or hostile file gives a
// smaller or flatter tree, never a crash. Called by the bookmark tree when it loads.
#include <algorithm>

#include "common/record_file.h"
#include "desktop/bookmarks/bookmark_dat.h"
#include "desktop/bookmarks/bookmark_format.h"
#include "platform/le.h"

namespace qm {

BookmarkDatStatus bookmark_dat_parse(std::string_view bytes, std::vector<BookmarkRecord>& out) {
  namespace bd = bookmark_dat;
  out.clear();
  size_t n = 0;
  const BookmarkDatStatus status = record_file_count(bytes, bd::kRecordSize, n);
  out.reserve(n);
  // The level of the deepest folder that later records may still hang in: the root's
  // level 0 first, then the last folder's level, or the parent level of the last bookmark.
  int open = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char* b = record_file_record(bytes, bd::kRecordSize, i);
    BookmarkRecord r;
    r.kind = b[bd::kKindAt] == bd::kKindBookmark ? bd::kKindBookmark : bd::kKindFolder;
    r.index = le::get32s(b + bd::kIndexAt);
    r.path = record_file_text(b + bd::kPathAt, bd::kPathField, bd::kMaxPath);
    r.caption = record_file_text(b + bd::kCaptionAt, bd::kCaptionField, bd::kMaxCaption);
    if (i == 0) {
      // The root is always a folder at level 0.
      r.kind = bd::kKindFolder;
      r.level = 0;
    } else {
      const int level = le::get32s(b + bd::kLevelAt);
      // A level that jumps, sits under a bookmark or reaches 30 joins the nearest open
      // folder; level 0 or less joins the root.
      const int parent = std::clamp(level > INT32_MIN ? level - 1 : 0, 0,
                                    std::min(open, bd::kMaxLevels - 2));
      r.level = parent + 1;
      open = r.kind == bd::kKindFolder ? r.level : parent;
    }
    out.push_back(std::move(r));
  }
  return status;
}

BookmarkDatStatus bookmark_dat_read(const std::string& path, std::vector<BookmarkRecord>& out) {
  std::string bytes;
  if (!record_file_load(path, bytes)) {
    out.clear();
    return BookmarkDatStatus::Missing;
  }
  return bookmark_dat_parse(bytes, out);
}

}  // namespace qm
