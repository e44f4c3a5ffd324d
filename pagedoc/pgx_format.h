// Stored layout of PGX page documents, shared by the reader (pgx_document.cpp,
// pgx_pagetext.cpp, pack_stream.cpp) and the test writer (tests/pgx_writer.cpp).
// Every integer is little-endian and read field by field with platform/le.h; the
// constants below are sizes and field offsets within one record.
//
// A document is an 8-byte header, a directory of 16-byte stream entries, and the
// streams. Any stream may be stored packed: a 24-byte pack header, then data in the
// implode format (dcl_codec.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qm::pgx {

// ---- Document header (at offset 0) --------------------------------------------------
inline constexpr std::string_view kDocMagic = "QDoc";
inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kHeaderEntryCountAt = 6;  // u16: directory entries that follow

// ---- Directory entry (from offset 8) ------------------------------------------------
inline constexpr size_t kDirEntrySize = 16;
inline constexpr size_t kDirTagAt = 0;     // 4 ASCII characters
inline constexpr size_t kDirPackedAt = 4;  // u32: non-zero when stored packed
inline constexpr size_t kDirOffsetAt = 8;  // u32: stream offset in the file
inline constexpr size_t kDirLengthAt = 12; // u32: stream length as stored
inline constexpr size_t kTagSize = 4;

inline constexpr std::string_view kTagPages = "pape";      // page table
inline constexpr std::string_view kTagInfo = "name";       // info items; never packed
inline constexpr std::string_view kTagIndex = "indx";      // index stream
inline constexpr std::string_view kTagStructure = "stru";  // structure stream
inline constexpr std::string_view kTagThumbs = "thum";     // thumbnail entries

// ---- Page table ("pape"): u16 page count, then the entries -------------------------
inline constexpr size_t kPageCountSize = 2;
inline constexpr size_t kPageEntrySize = 26;
inline constexpr size_t kPageDataOffsetAt = 10;  // u32: the page's record stream
inline constexpr size_t kPageDataLengthAt = 14;  // u32: its length as stored

// ---- Info table ("name"): 2 bytes, u16 count, entries, then the item texts ---------
inline constexpr size_t kInfoHeaderSize = 4;
inline constexpr size_t kInfoCountAt = 2;
inline constexpr size_t kInfoEntrySize = 10;
inline constexpr size_t kInfoIdAt = 0;      // u16 item id
inline constexpr size_t kInfoLengthAt = 2;  // u32 text length
inline constexpr size_t kInfoOffsetAt = 6;  // u32 text offset from the stream start

inline constexpr uint16_t kInfoTitle = 0;
inline constexpr uint16_t kInfoDescription = 1;
inline constexpr uint16_t kInfoAuthor = 2;
inline constexpr uint16_t kInfoRestricted = 3;  // non-empty: the document is refused

// ---- Pack header (at the start of every packed stream) -----------------------------
inline constexpr std::string_view kPackMagic = "CorvPKCP";
inline constexpr size_t kPackHeaderSize = 24;
inline constexpr size_t kPackReservedAt = 8;         // u32, written as 0
inline constexpr size_t kPackUnpackedLengthAt = 12;  // u32
inline constexpr size_t kPackPackedLengthAt = 16;    // u32: compressed bytes after the header
inline constexpr size_t kPackCrcAt = 20;             // u32: CRC-32 of the unpacked bytes

// ---- Page records: a 2-letter code (first letter in the low byte), then a body ------
constexpr uint16_t record_code(char a, char b) { return uint16_t(uint8_t(a) | uint8_t(b) << 8); }

enum class RecordBody {
  Text,      // "ET", "EU": u16 total length, then text runs
  PageEnd,   // "CT": no body, ends the page
  Fixed,     // a body of fixed size (record_fixed_size)
  Sized16,   // u16 length, then that many bytes
  Image,     // "SD": image record
  Other,     // u16 length; when 0, a u32 length follows; then that many bytes
};

constexpr RecordBody record_body(uint16_t code) {
  switch (code) {
    case record_code('E', 'T'): case record_code('E', 'U'): return RecordBody::Text;
    case record_code('C', 'T'): return RecordBody::PageEnd;
    case record_code('B', 'C'): case record_code('T', 'C'): case record_code('B', 'H'):
    case record_code('P', 'N'): case record_code('F', 'T'): case record_code('C', 'R'):
    case record_code('R', '2'): case record_code('B', 'M'): return RecordBody::Fixed;
    case record_code('C', 'A'): case record_code('C', 'H'): case record_code('C', 'I'):
    case record_code('P', 'I'): case record_code('P', 'L'): case record_code('A', 'P'):
    case record_code('C', 'P'): case record_code('E', 'P'): case record_code('W', 'P'):
    case record_code('A', 'Q'): case record_code('W', 'Q'): case record_code('A', 'R'):
    case record_code('F', 'R'): case record_code('R', 'R'): case record_code('R', 'T'):
      return RecordBody::Sized16;
    case record_code('S', 'D'): return RecordBody::Image;
    default: return RecordBody::Other;
  }
}

constexpr size_t record_fixed_size(uint16_t code) {
  switch (code) {
    case record_code('C', 'R'): return 8;
    case record_code('R', '2'): case record_code('B', 'M'): return 2;
    default: return 4;  // "BC", "TC", "BH", "PN", "FT"
  }
}

// Text run inside a text record: a 7-byte header, the characters, then the optional
// extent and per-character data.
inline constexpr size_t kRunHeaderSize = 7;
inline constexpr size_t kRunXAt = 0;          // u16
inline constexpr size_t kRunYAt = 2;          // u16
inline constexpr size_t kRunCharCountAt = 4;  // u16
inline constexpr size_t kRunFlagsAt = 6;      // u8
inline constexpr uint8_t kRunHasExtent = 0x01;
inline constexpr uint8_t kRunHasCharData = 0x02;
inline constexpr size_t kRunExtentSize = 8;   // four i16: start, second, end, fourth
inline constexpr size_t kExtentStartAt = 0;
inline constexpr size_t kExtentEndAt = 4;
inline constexpr size_t kRunCharDataPerChar = 2;

// Image record with u16 length 0: a 60-byte block (20-byte prefix, then a bitmap info
// header whose u16 bit count sits at byte 34 of the block), a colour table, a u32
// pixel length and the pixels.
inline constexpr size_t kImageBlockSize = 60;
inline constexpr size_t kImageBitCountAt = 34;
constexpr size_t image_palette_size(uint16_t bit_count) {
  return bit_count == 1 ? 8 : bit_count == 4 ? 64 : bit_count == 8 ? 1024 : 0;
}

inline constexpr std::string_view kLineEnd = "\r\n";

// ---- Index stream ("indx"): page objects and the keyword record --------------------
// Offsets inside the stream count from its first byte. A 26-byte header (u16 entry
// count at byte 6), then 14-byte entries: a 6-character tag padded with spaces, the
// u32 offset of the item, a u32 word not read.
inline constexpr size_t kIndexHeaderSize = 26;
inline constexpr size_t kIndexEntryCountAt = 6;  // u16
inline constexpr size_t kIndexEntrySize = 14;
inline constexpr size_t kIndexTagSize = 6;
inline constexpr size_t kIndexOffsetAt = 6;      // u32
inline constexpr size_t kIndexWordAt = 10;       // u32, not read

// Every item starts with a 10-byte header whose u16 at byte 8 counts its records.
inline constexpr size_t kItemHeaderSize = 10;
inline constexpr size_t kItemRecordCountAt = 8;

inline constexpr std::string_view kItemBookmarks = "BMARK ";
inline constexpr std::string_view kItemHighlights = "HLIGT ";
inline constexpr std::string_view kItemHyperlinks = "HLINK ";
inline constexpr std::string_view kItemHypertexts = "HTEXT ";
inline constexpr std::string_view kItemIndexEntries = "INDXE ";
inline constexpr std::string_view kItemNotes = "NOTE  ";
inline constexpr std::string_view kItemExtra = "XITEM ";

// Page-object records lie back to back after the item header. A text field is a u16
// length and that many bytes; every record ends with 32 bytes that are stepped over.
//   "BMARK ": text, text, block, trailer
//   "HLIGT ": block, trailer
//   "HLINK ": text, block, text, trailer
//   "HTEXT ": text, block, five u16, trailer
//   "INDXE ": text, five u16, trailer
//   "NOTE  ": title text, body text, i16 page, six u16, u16, trailer
// The block is, in order: u16, four u16, u16, u16, four u16, u16, u32 (12 u16 and a
// u32, 28 bytes).
//
// Block size: the block is sometimes given as 30 bytes, which its own field list
// contradicts (12 x 2 + 4 = 28). The reader takes the field list: it is the only
// reading that names every field; every other record of the format whose fields are
// listed is exactly their sum (directory entry 16, info entry 10, pack header 24, run
// header 7, image block 60, index entry 14, item entry 10, and the keyword record's
// offsets n + 2, n + 10, n + 12); and 30 bytes would need a field that is named
// nowhere, at a place that nothing gives. Only the bookmark, highlight, hyperlink and
// hypertext lists depend on it (notes, index entries and the keyword record hold no
// block), and none of those lists is handed out.
inline constexpr size_t kTextLengthSize = 2;
inline constexpr size_t kObjectTrailerSize = 32;
inline constexpr size_t kObjectBlockWords = 12;  // u16 fields of the block
inline constexpr size_t kObjectBlockSize = kObjectBlockWords * 2 + 4;
static_assert(kObjectBlockSize == 28);
inline constexpr size_t kObjectTailWords = 5;    // "HTEXT " and "INDXE "
inline constexpr size_t kNoteWords = 6;          // after the note's page
inline constexpr size_t kNotePageSize = 2;       // i16

// "XITEM ": after the item header come recordCount 10-byte entries (a 6-character tag,
// the u32 length of its record), then the records back to back in entry order.
inline constexpr size_t kItemEntrySize = 10;
inline constexpr size_t kItemEntryLengthAt = 6;
inline constexpr std::string_view kItemKeywords = "KEYWOD";

// Keyword record ("KEYWOD" in "XITEM "): u16 ID length n, the ID, 8 bytes not read,
// u16 keyword count, then each keyword as a u16 length and its bytes.
inline constexpr size_t kKeywordIdAt = 2;
inline constexpr size_t kKeywordGapSize = 8;
inline constexpr size_t kKeywordCountSize = 2;

}  // namespace qm::pgx
