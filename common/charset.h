// Character sets of incoming documents: tells UTF-8 from Big5 (and UTF-16 by its byte
// order mark), reads an HTML page's declared charset, and converts everything to the
// system's 8-bit text (ASCII and Big5 as glibc's iconv "CP950" table has it). A character
// with no Big5 form, a byte that forms no character and a control byte become a blank, so
// the words on either side stay apart (as the index writer's rule for stored text has
// it); only invisible format characters (soft hyphen, zero-width joiners) vanish. Used by
// the index builder's text and HTML extractors (indexer/text_blocks.h, html_text.h) and
// the mail decoder's header and body text (mail/decode/).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The charsets an HTML page declares, in order and each once: <?xml encoding=?> at the
// very start, then every <meta charset> and <meta http-equiv content="...;charset=">
// before <body> within the first 64 KiB. Labels iconv does not know are left out.
std::vector<CharsetChoice> html_declared_charsets(std::string_view bytes);
// The first of them; Unknown when there is none.
CharsetChoice html_declared_charset(std::string_view bytes);

// True when the bytes are strict Big5: every byte above ASCII begins a pair of a lead
// 0xA1-0xFE and a trail 0x40-0x7E or 0xA1-0xFE.
bool big5_is_strict(std::string_view bytes);
// True when the bytes decode in the charset without an error (a character cut off by the
// end is forgiven); true for UTF-16 and Unknown, which are not judged here.
bool charset_decodes_strictly(std::string_view bytes, const CharsetChoice& choice);

// The charset an HTML page is read in. One declaration that decodes the bytes strictly
// is taken. When declarations disagree (an <?xml encoding="UTF-8"?> over a
// <meta charset=big5> page), or the one declared does not fit, the bytes decide: valid
// UTF-8, else the first declared charset that decodes them strictly, else strict Big5,
// else the first declaration. Unknown when nothing is declared.
CharsetChoice html_choose_charset(std::string_view bytes);

// The charset label mapped to a choice: Big5 family and UTF-8 by name, anything else
// through iconv (Unknown when iconv has no such charset).
CharsetChoice charset_from_label(std::string_view label);

// Resolves Unknown: a byte order mark, then valid UTF-8 with some non-ASCII byte, else Big5.
Charset charset_detect(std::string_view bytes);

// ASCII and well-formed Big5 pairs (lead 0xA1-0xFE, trail 0x40-0xFE) are kept; NUL,
// other control bytes (tab, line breaks and form feed excepted) and stray high bytes
// become blanks.
std::string big5_clean(std::string_view bytes);

// Converts to Big5 text (cleaned as big5_clean does); a leading byte order mark is dropped.
std::string text_to_big5(std::string_view bytes, const CharsetChoice& choice);

// The Big5 (or ASCII) form of one Unicode code point appended to out; false (nothing
// appended) when it has none.
bool big5_append_code_point(std::string& out, char32_t code);
// The same, but a code point without a form appends a blank (an invisible format
// character appends nothing): for character references in text.
void big5_append_or_blank(std::string& out, char32_t code);

}  // namespace qm
