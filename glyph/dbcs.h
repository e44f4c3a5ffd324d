// Double-byte character rules of the glyph renderer: lead and trail bytes of the four
// East Asian character sets (128 Shift-JIS, 129 Hangul, 134 GB2312, 136 Big5), the text
// walk that takes a lead byte as the start of a two-byte character only when a valid
// trail byte follows, and the end-user-defined character (EUDC) areas. Builds on
// nothing; used by the renderer's text extents and outline fit.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qm::glyph {

bool IsLeadByte(uint8_t char_set, uint8_t b);
bool IsTrailByte(uint8_t char_set, uint8_t b);
// The character at text[pos] (of `length` bytes): its code and byte count (1 or 2).
uint16_t NextCharacter(uint8_t char_set, const unsigned char* text, size_t length, size_t pos, size_t& bytes);
// True when `code` lies in an EUDC range of the set and its trail byte is valid there.
bool IsEudc(uint8_t char_set, uint16_t code);

}  // namespace qm::glyph
