// Stored layout of the fonts embedded in page documents, shared by the reader
// (font_reader.cpp) and the test writer (tests/font_writer.cpp). Every integer is
// little-endian and read field by field with platform/le.h; the constants below are
// sizes and field offsets within one structure.
//
// A font directory at offset D lists the fonts of a document; each font is a small
// table directory naming its "head", "strk", "cdat" and "bmpd" tables. Offsets are
// relative to the structure named beside them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qm::glyph {

// ---- Font directory (at D) -----------------------------------------------------------
inline constexpr size_t kDirFontCountAt = 2;   // u16; the word at D+0 is not read
inline constexpr size_t kDirOffsetsAt = 4;     // count x u32, each relative to D
inline constexpr size_t kDirHeaderSize = 4;

// Fonts beyond this many are reached only by the rescan of FindFace.
inline constexpr size_t kIndexedFonts = 30;

// ---- Font (at F = D + font offset) ---------------------------------------------------
inline constexpr size_t kFontTableCountAt = 0;  // u16 T
inline constexpr size_t kFontEntriesAt = 2;     // T x 8-byte entries
inline constexpr size_t kTableEntrySize = 8;    // char tag[4], u32 offset relative to F
inline constexpr size_t kTagSize = 4;

inline constexpr std::string_view kTagHead = "head";
inline constexpr std::string_view kTagStrk = "strk";
inline constexpr std::string_view kTagCdat = "cdat";
inline constexpr std::string_view kTagBmpd = "bmpd";

// ---- head (at H): u16 length L, then L bytes of header content -----------------------
inline constexpr size_t kHeadContentAt = 2;
inline constexpr size_t kHeadUsedSize = 104;    // only this much content is used
inline constexpr size_t kHeadNameAt = 8;        // face name, from H (content offset 6)
inline constexpr size_t kFaceNameSize = 32;

// Content offsets.
inline constexpr size_t kHCharSet = 0;          // u16
inline constexpr size_t kHUnitsPerEm = 2;       // u16
inline constexpr size_t kHThirdWord = 4;        // u16
inline constexpr size_t kHFaceName = 6;         // char[32]
inline constexpr size_t kHSecondName = 38;      // char[32]
inline constexpr size_t kHLineMetric1 = 70;     // i16 underline thickness
inline constexpr size_t kHLineMetric2 = 72;     // i16 underline position
inline constexpr size_t kHLineMetric3 = 74;     // i16 strike-out thickness
inline constexpr size_t kHLineMetric4 = 76;     // i16 strike-out position
inline constexpr size_t kHAscent = 78;          // i16
inline constexpr size_t kHDescent = 80;         // i16, signed
inline constexpr size_t kHPitchKind = 82;       // i16; 9 = fixed advances
inline constexpr size_t kHFlags = 84;           // u16: bit 0 no synthetic bold, bit 1 no italic
inline constexpr size_t kHMaxAscent = 86;       // i16 } these six words get defaults
inline constexpr size_t kHMaxDescent = 88;      // i16 } when fewer than 104 bytes
inline constexpr size_t kHLineGap = 90;         // i16 } are stored
inline constexpr size_t kHFurtherMetric = 92;   // i16 }
inline constexpr size_t kHHalfAdvance = 94;     // i16 }
inline constexpr size_t kHFullAdvance = 96;     // i16 }

inline constexpr int kPitchFixed = 9;
inline constexpr uint16_t kFlagNoSyntheticBold = 0x0001;
inline constexpr uint16_t kFlagNoSyntheticItalic = 0x0002;

// ---- 6-byte index entries of cdat, strk and strikes: u16 key, u32 offset -----------
inline constexpr size_t kIndexEntrySize = 6;

// ---- cdat (at G): u16 glyph count, then the index; records are u16 length + bytes ----
inline constexpr size_t kCdatCountAt = 0;
inline constexpr size_t kCdatIndexAt = 2;
inline constexpr size_t kGlyphRecordBuffer = 5120;  // every caller's record buffer

// ---- strk (at S): u16 count, 16-byte parameter block, u16 word, then the index -------
inline constexpr size_t kStrkCountAt = 0;
inline constexpr size_t kStrkParamBlockAt = 2;
inline constexpr size_t kStrkParamBlockSize = 16;
inline constexpr size_t kStrkParamWordAt = 18;
inline constexpr size_t kStrkIndexAt = 20;
inline constexpr size_t kStrokeProgramBuffer = 4096;

// ---- bmpd (at B): u16 strike count, then 6-byte strike entries {u16 size, u32 offset}
inline constexpr size_t kBmpdCountAt = 0;
inline constexpr size_t kBmpdEntriesAt = 2;
inline constexpr size_t kStrikeSlots = 4;       // strikes past the fourth are not read
// A strike (at P): u16 glyph count, then the index {u16 code, u32 offset relative to P}.
inline constexpr size_t kStrikeIndexAt = 2;
// A bitmap glyph: u16 length, then u16 width, u16 height, four i16 metric words, rows.
inline constexpr size_t kBitmapGlyphHeaderSize = 12;

// Each record of cdat, strk and a strike starts with its u16 length.
inline constexpr size_t kLengthWordSize = 2;

}  // namespace qm::glyph
