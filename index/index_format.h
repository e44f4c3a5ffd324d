// Layout of the index file set: one database directory holding the files below, written
// by the index writer (index_writer.h) and read by the readers (index_reader.h). Every
// number is little-endian; text is 8-bit (ASCII or Big5).
//
//   cross.db     CrossRecord        8 bytes   u32 fulltext.db offset, u32 path.db offset;
//                                             record i is document i
//   path.db      text                         NUL-terminated paths, <= 260 bytes each
//   fulltext.db  FulltextEntry                u16 paragraph count N, N x u32 absolute
//                                             offsets of the document's ParagraphRecords
//                ParagraphRecord              u16 kind, u16 length L, L bytes of text
//   chash.db     CharHashRecord     8 bytes   u32 count, u32 offset; one per character
//                                             slot. Character database: PostingEntries
//                                             in cindex.db. Phrase database:
//                                             CharPairRecords in clist.db.
//   clist.db     CharPairRecord    12 bytes   u16 following character (lead*256+trail),
//                                             2 bytes unused, u32 count, u32 cindex.db
//                                             offset; per first character, ascending by
//                                             the following character
//   cindex.db    PostingEntry       8 bytes   u32 document, u16 paragraph, u16 position
//   ehash.db     WordHashRecord    28 bytes   char[24] upper-case word, NUL-terminated;
//                                             u32 eindex.db offset. Sorted by bytes; a
//                                             list ends where the next record's begins
//                                             (the last one at the end of eindex.db)
//   esign.db     WordSignature      8 bytes   one per WordHashRecord, same order
//   eindex.db    PostingEntry       8 bytes   English word lists
//   rehash.db    PrefixRangeRecord  8 bytes   1,332 records: u32 first WordHashRecord
//                                             with the prefix, u32 their number
//   property.db  PropertyValue      4 bytes   i32 yyyymmdd per document; or the
//                                             desktop's 232-byte DocPropertyRecord per
//                                             document (date in year/month/day fields)
//   index.lock   (empty)                      flock(2) lock: shared while a reader maps
//                                             the set, exclusive while it is replaced
//
// Positions: for characters and character pairs the byte offset of the (first)
// character in the paragraph text, so neighbouring Big5 characters differ by 2; for
// English words the ordinal of the word among the paragraph's words (0, 1, 2, ...).
// Lists are ascending by (document, paragraph, position).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/doc_property_format.h"

namespace qm::index_format {

// ---- File names (appended directly to the directory, which ends with "/") ----------
inline constexpr char kCrossFile[] = "cross.db";
inline constexpr char kPathFile[] = "path.db";
inline constexpr char kFulltextFile[] = "fulltext.db";
inline constexpr char kCharHashFile[] = "chash.db";
inline constexpr char kCharPairFile[] = "clist.db";
inline constexpr char kCharIndexFile[] = "cindex.db";
inline constexpr char kWordHashFile[] = "ehash.db";
inline constexpr char kWordSignFile[] = "esign.db";
inline constexpr char kWordIndexFile[] = "eindex.db";
inline constexpr char kPrefixFile[] = "rehash.db";
inline constexpr char kPropertyFile[] = "property.db";

// Replacement of a set (index_lock.h, index_replace.h): the lock file that readers and the
// writer agree on, the marker that a replacement is under way (its lines name the files
// that had no old version), and the suffix of an old file kept aside until the new set is
// whole.
inline constexpr char kLockFile[] = "index.lock";
inline constexpr char kReplaceMarkerFile[] = "index.replacing";
inline constexpr char kAsideSuffix[] = ".old";

// ---- Record sizes ---------------------------------------------------------------------
inline constexpr size_t kCrossRecordSize = 8;
inline constexpr size_t kCharHashRecordSize = 8;
inline constexpr size_t kCharPairRecordSize = 12;
inline constexpr size_t kPostingSize = 8;
inline constexpr size_t kWordHashRecordSize = 28;
inline constexpr size_t kWordTextSize = 24;  // char[24], NUL-terminated
inline constexpr size_t kWordSignatureSize = 8;
inline constexpr size_t kPrefixRangeRecordSize = 8;
inline constexpr size_t kPropertyValueSize = 4;
inline constexpr size_t kFulltextEntryHeaderSize = 2;   // u16 count, then u32 offsets
inline constexpr size_t kParagraphHeaderSize = 4;       // u16 kind, u16 length

// The desktop's DocPropertyRecord (doc_property_format.h): only the date fields are read here.
inline constexpr size_t kDocPropertyRecordSize = doc_property_format::kRecordSize;
inline constexpr size_t kDocPropertyYear = doc_property_format::kYear;    // i32
inline constexpr size_t kDocPropertyMonth = doc_property_format::kMonth;  // i32
inline constexpr size_t kDocPropertyDay = doc_property_format::kDay;      // i32

// ---- Limits -------------------------------------------------------------------------
inline constexpr uint32_t kCharSlots = 17954;  // 191 trail values x 94 lead values
inline constexpr size_t kCharHashFileSize = kCharSlots * kCharHashRecordSize;  // 143,632
inline constexpr size_t kMaxWordLength = kWordTextSize - 1;  // 23 stored bytes
inline constexpr size_t kMaxPathBytes = 260;                 // including the NUL
inline constexpr size_t kMaxParagraphText = 65535;           // u16 length
inline constexpr size_t kMaxParagraphs = 65535;              // u16 count
inline constexpr uint32_t kPrefixSlots = 1332;               // 37 x 36
inline constexpr size_t kPrefixFileSize = kPrefixSlots * kPrefixRangeRecordSize;

// ---- Slot formulas ------------------------------------------------------------------
// Character slot of a Big5 pair (lead 0xA1..0xFE, trail 0x40..0xFE):
// (trail - 0x40) * 94 + (lead - 0xA1), 0..17953. Same as big5_index in common/strings.h.
constexpr uint32_t char_slot(unsigned char lead, unsigned char trail) {
  return uint32_t(trail - 0x40) * 94 + uint32_t(lead - 0xA1);
}

// A character pair's following-character code in clist.db.
constexpr uint16_t char_code(unsigned char lead, unsigned char trail) {
  return uint16_t(lead << 8 | trail);
}

// Position of c in "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"; -1 outside it (lower-case
// letters included: stored words are upper-case, callers upper-case query words).
constexpr int prefix_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

// Prefix slot of rehash.db: d(c0) for a one-character word, (d(c0) + 1) * 36 + d(c1)
// for a longer one; -1 when the word is empty or a prefix character has no digit.
constexpr int prefix_slot(std::string_view word) {
  if (word.empty() || word[0] == '\0') return -1;
  int d0 = prefix_digit(static_cast<unsigned char>(word[0]));
  if (d0 < 0) return -1;
  if (word.size() == 1 || word[1] == '\0') return d0;
  int d1 = prefix_digit(static_cast<unsigned char>(word[1]));
  if (d1 < 0) return -1;
  return (d0 + 1) * 36 + d1;
}

}  // namespace qm::index_format
