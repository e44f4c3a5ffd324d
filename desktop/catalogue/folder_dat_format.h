// Stored layout of Folder.dat, the saved shape of the desktop's database tree (folders
// and the databases inside them), in the program directory. Written by
// folder_dat_writer.cpp and read by folder_dat_reader.cpp (both declared in
// folder_dat.h); every integer is little-endian and handled field by field.
//
//   header   8 bytes    i32 node count N, i32 deepest level (written, never used)
//   N x FolderNodeRecord, 116 bytes each, in tree order (depth first, parents first):
//       0    u8         group flag: 1 folder node, 0 database node
//       1    3 bytes    unused (written as zero, read as anything)
//       4    i32        state index (3 checked, 4 unchecked, 5 database without index)
//       8    i32        level (root 0)
//       12   i32        database id (database nodes; -1 or 0 for folders)
//       16   char[100]  node text (Big5 or ASCII), NUL-terminated
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/record_file.h"

namespace qm::folder_dat {

inline constexpr char kFileName[] = "Folder.dat";

// The header of every record file (common/record_file.h).
inline constexpr size_t kHeaderSize = record_file::kHeaderSize;
inline constexpr size_t kCountAt = record_file::kCountAt;
inline constexpr size_t kDeepestAt = record_file::kDeepestAt;

inline constexpr size_t kRecordSize = 116;
inline constexpr size_t kGroupAt = 0;
inline constexpr size_t kStateAt = 4;
inline constexpr size_t kLevelAt = 8;
inline constexpr size_t kDatabaseIdAt = 12;
inline constexpr size_t kTextAt = 16;
inline constexpr size_t kTextField = 100;

// Bounds applied on both sides: a text keeps at most 99 bytes (the NUL always fits)
// and the tree has at most 30 levels (0 to 29).
inline constexpr size_t kMaxText = kTextField - 1;
inline constexpr int kMaxLevels = 30;

}  // namespace qm::folder_dat
