// Header texts of mail: RFC 2047 encoded words decoded into the system's 8-bit text
// (Big5 or ASCII), header blocks split into unfolded fields, parameters of structured
// fields, and the Big5-aware helpers that cut and clean the texts postbridge shows and
// stores. Builds on codecs.h and common/charset.h; used by message.cpp and postbridge.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qm::mail {

// Text of a declared charset made Big5: Big5 (and ASCII) stays byte for byte; UTF-8
// and other charsets iconv knows are converted (a character without a Big5 form becomes
// a blank). Undeclared or Western-labelled text is judged by its bytes: valid UTF-8 with
// a byte above ASCII is converted, anything else stays as it is.
std::string mail_text_to_big5(std::string_view bytes, std::string_view charset_label);

// Decodes every encoded word "=?charset?B|Q?text?=" (encoding letter in either case) in
// one pass; decoded text is not scanned again. In a "Q" word "_" is a blank. Blanks and
// line breaks between two adjacent encoded words go. A malformed word (a "?" or a blank
// inside its text, no closing "?=", a bad base64 text) is left as it stands and the scan
// goes on. Text outside the words is judged by mail_text_to_big5 with no label.
// Time and memory are linear in the text's length, whatever it holds (a value of
// megabytes full of unclosed "=?" included): every byte is read by a bounded number of
// attempts. The one header decoder of the gateway and of the mboxpull stand-in.
std::string decode_encoded_words(std::string_view text);

// Control bytes (NUL, CR, LF, tab and the rest below 0x20, and 0x7F) become blanks.
void blank_controls(std::string& text);

// The longest prefix of at most max bytes that does not end inside a Big5 pair (a lead
// 0xA1-0xFE followed by a trail 0x40-0xFE).
std::string_view big5_cut(std::string_view text, size_t max);

// One header field, unfolded: the name as written and the value with the line breaks
// of its folding removed (the blanks that open continuation lines stay), trimmed of
// blanks and tabs at both ends.
struct HeaderField {
  std::string name;
  std::string value;
};

// The fields of a header block (lines split at CR LF, CR or LF). A line that begins with
// blanks or tabs continues the field before it; a line without "name:" (such as a
// mailbox's "From - " line) is passed over.
std::vector<HeaderField> parse_header_block(std::string_view block);

// The value of the first field called name (case-blind); nullptr when there is none.
const std::string* find_field(const std::vector<HeaderField>& fields, std::string_view name);

// The leading value of a structured field ("text/plain" of "text/plain; charset=big5"),
// trimmed, at most max bytes.
std::string field_main_value(std::string_view value, size_t max);

// A parameter of a structured field (name case-blind): a quoted value runs to its closing
// quote, an unquoted one stops at ";" or a blank. Empty when missing.
std::string field_parameter(std::string_view value, std::string_view name);

// Case-blind ASCII comparison helpers.
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view text, std::string_view prefix);
size_t ifind(std::string_view text, std::string_view pattern, size_t from = 0);

}  // namespace qm::mail
