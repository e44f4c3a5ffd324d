// Strict decoding of 8- and 16-bit sources into UTF-16 units, shared by the text and HTML
// readers: a byte-order mark decides; else UTF-8, Big5 (CP950) and CP1252 are tried in
// that order and the first that decodes every byte wins.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace kvx::readers {

enum class SourceEncoding { Utf8, Utf16Le, Utf16Be, Big5, Cp1252 };

// The encoding of bytes and the length of its byte-order mark (0 when none).
SourceEncoding guess_encoding(std::string_view bytes, size_t* mark_length);

// True when every byte sequence is a character of the set, as the strict decoders take it.
bool is_utf8(std::string_view bytes);
bool is_big5(std::string_view bytes);

// Strict decoders: false at the first byte sequence that is not a character of the set.
bool decode_utf8(std::string_view bytes, std::vector<uint16_t>& out);
bool decode_big5(std::string_view bytes, std::vector<uint16_t>& out);
// CP1252's five undefined bytes give U+FFFD (and false); the rest is decoded.
bool decode_cp1252(std::string_view bytes, std::vector<uint16_t>& out);
void decode_utf16(std::string_view bytes, bool big_endian, std::vector<uint16_t>& out);

// Decodes bytes (mark included) in the given encoding; an undecodable byte becomes U+FFFD.
std::vector<uint16_t> decode(std::string_view bytes, SourceEncoding enc);

}  // namespace kvx::readers
