// Stored layout of Bookmark.dat, the bookmark manager's tree of folders, separators and
// bookmarks, in the program directory. Written by bookmark_dat_writer.cpp and read by
// bookmark_dat_reader.cpp (both declared in bookmark_dat.h); every integer is
// little-endian and handled field by field.
//
//   header   8 bytes    i32 record count N, i32 deepest level (written, never used)
//   N x BookmarkRecord, 312 bytes each, in tree order (a node, then its children):
//       0    u8         kind: 1 folder (also the root and separators), 0 bookmark
//       1    3 bytes    unused (written as zero, read as anything)
//       4    i32        index: the node's position in tree order when saved
//       8    char[200]  document path, NUL-terminated (empty for folders)
//       208  i32        level (root 0, its children 1, ...)
//       212  char[100]  caption (Big5 or ASCII), NUL-terminated
//
// The first record is the root. A separator is a folder whose caption is the separator
// label.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/record_file.h"

namespace qm::bookmark_dat {

inline constexpr char kFileName[] = "Bookmark.dat";

// The header of every record file (common/record_file.h).
inline constexpr size_t kHeaderSize = record_file::kHeaderSize;
inline constexpr size_t kCountAt = record_file::kCountAt;
inline constexpr size_t kDeepestAt = record_file::kDeepestAt;

inline constexpr size_t kRecordSize = 312;
inline constexpr size_t kKindAt = 0;
inline constexpr size_t kIndexAt = 4;
inline constexpr size_t kPathAt = 8;
inline constexpr size_t kPathField = 200;
inline constexpr size_t kLevelAt = 208;
inline constexpr size_t kCaptionAt = 212;
inline constexpr size_t kCaptionField = 100;

inline constexpr uint8_t kKindBookmark = 0;
inline constexpr uint8_t kKindFolder = 1;

// Bounds applied on both sides: a caption keeps at most 99 bytes and a path 199 (the NUL
// always fits), and the tree has at most 30 levels (0 to 29).
inline constexpr size_t kMaxCaption = kCaptionField - 1;
inline constexpr size_t kMaxPath = kPathField - 1;
inline constexpr int kMaxLevels = 30;

}  // namespace qm::bookmark_dat
