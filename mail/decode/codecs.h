// Content decoders of mail: base64, quoted-printable, uuencoded lines and BinHex 4.0.
// Each takes the encoded text and gives the decoded bytes, or nothing (false) when the
// text cannot be decoded. Used by the message parser (message.cpp) for bodies and parts,
// and by the header decoder (header.cpp) for encoded words.
#pragma once
#include <string>
#include <string_view>

namespace qm::mail {

// Standard alphabet; line ends and other characters outside it are passed over. "=" as
// the third character of a group must be followed by "=", "=" as the fourth ends the
// group; "=" anywhere else is an error. A group cut off by the end of the text gives the
// bytes its characters hold.
bool base64_decode(std::string_view text, std::string& out);

// "=" and two hexadecimal digits (either case) give that byte; "=" before a line end is a
// soft break and goes; an "=" without two digits is kept as it stands and decoding goes
// on. Blanks and tabs directly before a line end are dropped. "_" stays "_" (the header
// decoder makes it a blank in encoded words first).
std::string quoted_printable_decode(std::string_view text);

// uuencoded lines (no "begin" line): each line's first character gives its byte count,
// every four characters give three bytes; a line "end" (any case) ends the data. A line
// shorter than its count requires is an error.
bool uu_decode_lines(std::string_view text, std::string& out);

// The data fork of a BinHex 4.0 text ("(This file must be converted with BinHex 4.0)",
// then ":" and the encoded stream). False when the text is not BinHex or its header
// check fails; the data length is clamped to the decoded bytes.
bool binhex_decode(std::string_view text, std::string& out, std::string* name = nullptr);

}  // namespace qm::mail
