// The one Big5 codec of the system: Unicode to Big5 and back as glibc's iconv "CP950"
// table has it, built once into two lookup tables. The index builder converts incoming
// documents with it (common/charset.cpp) and the desktop converts at its Qt widgets
// (desktop/big5_qt.h). Big5 pairs are a lead byte 0xA1-0xFE and a trail byte 0x40-0xFE.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The Big5 pair (lead << 8 | trail) of a code point at or above U+0080, 0 when there is
// none. A code point that two pairs decode to takes the pair iconv itself writes.
uint16_t big5_pair_of(char32_t code);

// The code point of a Big5 pair, 0 when the pair is not in the table.
char32_t big5_code_of(unsigned char lead, unsigned char trail);

// Decodes one UTF-8 character at text[i]: its length, 0 when the sequence is not well
// formed (overlong, surrogate, past U+10FFFF or cut off), and the code point.
std::size_t utf8_decode(std::string_view text, std::size_t i, char32_t& code);

// Appends one code point as UTF-8.
void append_utf8(std::string& out, char32_t code);

// UTF-8 to Big5 text, refusing what cannot be stored: false when the text holds a
// character with no Big5 form or bytes that are not UTF-8; bad_at (when given) then gets
// the byte offset of the first such character. ASCII passes unchanged.
bool big5_from_utf8(std::string_view utf8, std::string& out, std::size_t* bad_at = nullptr);

// Big5 text to UTF-8 for showing: pairs the table lacks and stray high bytes become
// U+FFFD, so nothing shown is silently dropped.
std::string big5_to_utf8(std::string_view big5);

}  // namespace qm
