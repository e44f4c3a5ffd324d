// Shared helpers of the build-time language-data generators (mkhomophone, mkphrases):
// reading a source text (plain or bzip2-compressed), Big5 conversion through iconv's
// CP950 table, writing an output file safely, and failing loudly.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::langdata_tools {

// Prints "<tool>: error: <message>" on standard error and exits with code 1.
[[noreturn]] void fail(const std::string& message);
void set_tool_name(const char* name);

// The whole text of a source file; a name ending in ".bz2" is decompressed. Fails loudly
// when the file cannot be read or decompressed.
std::string read_source(const std::string& path);

// Splits a text into lines (LF or CR LF), keeping empty lines so line numbers stay right.
std::vector<std::string_view> split_lines(std::string_view text);
std::vector<std::string_view> split(std::string_view text, char separator);

// Writes the bytes to path through a temporary file in the same directory and a rename.
void write_file(const std::string& path, std::string_view bytes);

// Conversions through glibc iconv's CP950 table.
class Cp950 {
 public:
  Cp950();
  ~Cp950();
  Cp950(const Cp950&) = delete;
  Cp950& operator=(const Cp950&) = delete;
  // UTF-8 text to Big5 bytes; nothing when any character has no CP950 code.
  std::optional<std::string> from_utf8(std::string_view utf8);
  // One two-byte Big5 code to its Unicode scalar; nothing when CP950 does not map it to
  // exactly one character.
  std::optional<char32_t> decode_pair(unsigned char lead, unsigned char trail);

 private:
  void* to_big5_;
  void* from_big5_;
};

// The Unicode scalars of a UTF-8 text; nothing when it is not valid UTF-8.
std::optional<std::u32string> utf8_decode(std::string_view utf8);
std::string utf8_encode(char32_t c);

// Parses "U+XXXX" (4 to 6 hexadecimal digits); nothing when malformed.
std::optional<char32_t> parse_code_point(std::string_view text);

}  // namespace qm::langdata_tools
