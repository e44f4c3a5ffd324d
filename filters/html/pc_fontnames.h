// Font names and short texts read from the export's chunker: a font's name by a font
// reference or by its font id (range 12 items {kind, first name unit in range 9,
// character set, length, 0}), the text of an item whose units lie in range 9, and the
// byte layouts these names travel in between 8-bit and 16-bit buffers. Builds on the
// framework's chunker and lead-byte test; the attribute gatherers, the list loader and
// the element converters call it.
//
// The byte layout of a name: for the 16-bit set 0x14B00000 each character as two bytes,
// high byte first, ended by two zero bytes; for any other set each character as its high
// byte (when nonzero) and its low byte, ended by one zero byte.
#pragma once
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"

namespace pc {

constexpr uint32_t kSet16 = 0x14B00000u;

// The name of the font a reference names: reference word 0 holds flags (bit 1: the font id
// is word 2; else bit 7: word 1); the name goes to *name in the byte layout above, its
// terminator within size bytes, and the font's set to *charset. 37 when the reference
// names no font or the font cannot be read, 46 when size is too small.
KVXSTATUS ReadFontName(KVXHANDLE chunker, const uint32_t reference[4], uint32_t size, std::string* name,
                       uint32_t* charset);

// The name of font id as Unicode text: at most size / 2 - 1 characters (room for the
// terminator of a size-byte buffer), up to its first zero unit, mapped from the font's
// set ("@" for what Unicode lacks); the font's set in *charset. 37 when the font is not
// there; the map's status when the set has none.
KVXSTATUS ReadFontNameById(KVXHANDLE chunker, uint32_t fontId, uint32_t size, std::u16string* name, uint32_t* charset);

// At most count characters of the text of item id (units b to b + c of range 9); the
// number of characters copied, 0 on any failure.
uint32_t ReadTextItem(KVXHANDLE chunker, uint32_t id, std::u16string* text, uint32_t count);

// A name in the byte layout back to 16-bit text: pairs swapped back for 0x14B00000, else
// widened, a lead byte of the set and its trail byte making one character. The text and
// its terminator must fit size bytes (46); a lead byte or an odd byte at the end is 15.
KVXSTATUS TextToWide(const std::string& bytes, uint32_t size, uint32_t charset, std::u16string* text);

// 16-bit text into the byte layout (terminator not counted in the result's size).
std::string NarrowToBytes(const std::u16string& text, uint32_t charset);

// Removes the zero bytes of bytes in place; the new length.
size_t DropZeroBytes(std::string& bytes);

}  // namespace pc
