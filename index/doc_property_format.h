// Layout of the desktop's property.db: a headerless array of DocPropertyRecords, 232
// bytes each, little-endian; record i describes document i (the record index of
// cross.db). Written by the desktop's property build (desktop/indexing/property_file.h),
// whose reader is beside it; the searcher reads only the date fields
// (searcher/property/property_file.h), telling this layout from the index writer's one
// value per document by the file size (index_format.h).
//
//   bytes    field    type      meaning
//   0-3      -        4 bytes   reserved, written as 0
//   4-203    path     char[200] NUL-terminated: a document's folder + path, or a
//                               message's subject
//   204-205  size     u16       kilobytes: file bytes / 1024 + 1, at most 65,535;
//                               0 for mail and for a file that cannot be opened
//   206-207  -        2 bytes   reserved, written as 0
//   208-211  year     i32       four-digit year (0: unknown)
//   212-215  month    i32       1-12
//   216-219  day      i32       1-31
//   220-223  hour     i32       1-12 on the 12-hour clock (0 for mail)
//   224-227  minute   i32       0-59
//   228-231  ampm     char[4]   "AM" or "PM", NUL-terminated; empty when unknown
#pragma once
#include <cstddef>

namespace qm::doc_property_format {

inline constexpr size_t kRecordSize = 232;
inline constexpr size_t kPath = 4;
inline constexpr size_t kPathSize = 200;  // with the NUL: at most 199 bytes of text
inline constexpr size_t kSize = 204;      // u16
inline constexpr size_t kYear = 208;      // i32
inline constexpr size_t kMonth = 212;     // i32
inline constexpr size_t kDay = 216;       // i32
inline constexpr size_t kHour = 220;      // i32
inline constexpr size_t kMinute = 224;    // i32
inline constexpr size_t kAmPm = 228;      // char[4]
inline constexpr size_t kAmPmSize = 4;

}  // namespace qm::doc_property_format
