// Reading and writing Bookmark.dat (layout in bookmark_format.h): the bookmark tree as
// flat records with levels. The tree model (bookmark_tree.h) turns them into nodes and
// back; the bookmark manager (desktop/forms/bookmark_form.h) chooses the file.
//
// The reader trusts nothing in the file: the count is bounded by the file's size, a
// short record ends the reading, texts end at their first NUL or the field's end and are
// cut (caption 99, path 199 bytes) on a character boundary, the first record is made the
// root folder, and every later level is made sound: at most one level below the last
// open folder (a bookmark opens none) and below 30, else the record joins the nearest
// open folder.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/record_file.h"

namespace qm {

struct BookmarkRecord {
  uint8_t kind = 1;  // bookmark_dat::kKindFolder or kKindBookmark
  int32_t index = 0;
  std::string path;
  int32_t level = 0;
  std::string caption;
};

// Ok, Missing (no file, a short header, or a count of 0 or less: no records) or Damaged
// (fewer records than announced; those read are kept), as for every record file.
using BookmarkDatStatus = RecordFileStatus;

// Reads the records of the file at path into out (replacing it).
BookmarkDatStatus bookmark_dat_read(const std::string& path, std::vector<BookmarkRecord>& out);
// The same over bytes already read.
BookmarkDatStatus bookmark_dat_parse(std::string_view bytes, std::vector<BookmarkRecord>& out);

// Replaces the file at path safely with the records (texts cut as the reader cuts them).
// false, the old file whole, when it cannot be written.
bool bookmark_dat_write(const std::string& path, const std::vector<BookmarkRecord>& records);
std::string bookmark_dat_serialize(const std::vector<BookmarkRecord>& records);

// text cut to at most max bytes without splitting a Big5 pair.
std::string bookmark_cut_text(std::string_view text, size_t max);

}  // namespace qm
