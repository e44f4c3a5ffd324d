// Character sets of incoming documents: tells UTF-8 from Big5 (and UTF-16 by its byte
// order mark), reads an HTML page's declared charset, and converts everything to the
// system's 8-bit text (ASCII and Big5 as glibc's iconv "CP950" table has it). Characters
// with no Big5 form are dropped; so are bytes that form no character. Used by the text
// and HTML extractors (text_blocks.h, html_text.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

enum class Charset {
  Unknown,  // not declared: decided by validity
  Big5,
  Utf8,
  Utf16LE,
  Utf16BE,
  Other,  // a charset iconv knows by the name given with it
};

struct CharsetChoice {
  Charset charset = Charset::Unknown;
  std::string name;  // the iconv name for Charset::Other
};

// True when the bytes are valid UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF). A text cut in the middle of its last character still counts as valid.
bool utf8_is_valid(std::string_view bytes);

// The charset of an HTML page's <meta charset>, <meta http-equiv content="...;charset=">
// or <?xml encoding=?>, looked for before <body> within the first 64 KiB. Unknown when
// none is declared or iconv does not know the name.
CharsetChoice html_declared_charset(std::string_view bytes);

// The charset label mapped to a choice: Big5 family and UTF-8 by name, anything else
// through iconv (Unknown when iconv has no such charset).
CharsetChoice charset_from_label(std::string_view label);

// Resolves Unknown: a byte order mark, then valid UTF-8 with some non-ASCII byte, else Big5.
Charset charset_detect(std::string_view bytes);

// ASCII and well-formed Big5 pairs (lead 0xA1-0xFE, trail 0x40-0xFE) are kept; NUL,
// other control bytes (tab, line breaks and form feed excepted) and stray high bytes go.
std::string big5_clean(std::string_view bytes);

// Converts to Big5 text (cleaned as big5_clean does); a leading byte order mark is dropped.
std::string text_to_big5(std::string_view bytes, const CharsetChoice& choice);

// The Big5 (or ASCII) form of one Unicode code point appended to out; false (nothing
// appended) when it has none.
bool big5_append_code_point(std::string& out, char32_t code);

}  // namespace qm
