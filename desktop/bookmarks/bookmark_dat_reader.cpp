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
  // The level of the deepest folder that later records may still hang in: the root's
  // level 0 first, then the last folder's level, or the parent level of the last bookmark.
  int open = 0;
  return record_file_parse(bytes, bd::kRecordSize, out, [&open](const unsigned char* b, size_t i) {
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
    return r;
  });
}

BookmarkDatStatus bookmark_dat_read(const std::string& path, std::vector<BookmarkRecord>& out) {
  return record_file_read(path, out, bookmark_dat_parse);
}

}  // namespace qm
