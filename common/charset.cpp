// Character-set detection and conversion to Big5 (see charset.h). The Unicode-to-Big5
// table is the common codec's (common/big5_codec.h); other charsets reach it through
// iconv's conversion to UTF-8.
#include "common/charset.h"

#include "common/big5_codec.h"
#include "common/strings.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace qm {
namespace {


// The ASCII bytes converted text keeps: printable ones, tab, line feed, carriage return
// and form feed (big5_clean's rule).
constexpr std::array<bool, 128> kKeptAscii = [] {
  std::array<bool, 128> keep{};
  for (int c = 0x20; c < 0x7F; ++c) keep[size_t(c)] = true;
  for (char c : {'\t', '\n', '\r', '\f'}) keep[size_t(c)] = true;
  return keep;
}();

// Length of the run of ASCII bytes from p[i] that are all kept.
size_t kept_ascii_run(const unsigned char* p, size_t i, size_t n) {
  size_t j = i;
  while (j < n && p[j] < 0x80 && kKeptAscii[p[j]]) ++j;
  return j - i;
}

// Unicode (BMP) to Big5 pair, 0 where there is none: the common codec's table.
struct Big5Table {
  static const Big5Table& get() {
    static const Big5Table table;
    return table;
  }
  uint16_t lookup(char32_t code) const { return big5_pair_of(code); }
};

// Characters that only shape the text around them (soft hyphen, zero-width joiners, word
// joiner, byte order mark): they vanish instead of parting words.
bool is_invisible(char32_t code) {
  return code == 0xAD || code == 0x200C || code == 0x200D || code == 0x2060 || code == 0xFEFF;
}

// Appends the Big5 form of a code point; spaces and line separators of Unicode become
// their ASCII forms. False when the character has no form.
bool append_code(std::string& out, char32_t code, const Big5Table& table) {
  if (code < 0x80) {
    out.push_back(char(code));
    return true;
  }
  if (code == 0xA0 || (code >= 0x2000 && code <= 0x200A) || code == 0x202F || code == 0x205F) {
    out.push_back(' ');
    return true;
  }
  if (code == 0x2028 || code == 0x2029 || code == 0x85) {
    out.push_back('\n');
    return true;
  }
  uint16_t b = table.lookup(code);
  if (b == 0) return false;
  out.push_back(char(b >> 8));
  out.push_back(char(b & 0xFF));
  return true;
}

// A character that cannot be kept parts the words around it, as the index writer's
// blank does: a blank takes its place (invisible format characters excepted).
void append_code_or_blank(std::string& out, char32_t code, const Big5Table& table) {
  if (!append_code(out, code, table) && !is_invisible(code)) out.push_back(' ');
}

// Cleaned as big5_clean does, in the same pass: runs of kept ASCII go in at once, other
// ASCII control bytes and bytes that form no character become blanks, and every other
// character appends a whole Big5 pair, a blank or a line feed.
std::string utf8_to_big5(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const Big5Table& table = Big5Table::get();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < size;) {
    if (p[i] < 0x80) {
      const size_t run = kept_ascii_run(p, i, size);
      out.append(bytes.data() + i, run);
      if (run == 0) out.push_back(' ');  // a control byte parts words
      i += run == 0 ? 1 : run;
      continue;
    }
    char32_t code;
    size_t n = utf8_decode(bytes, i, code);
    if (n == 0) {
      out.push_back(' ');  // not a character: the byte parts words
      ++i;
      continue;
    }
    append_code_or_blank(out, code, table);
    i += n;
  }
  return out;
}

// Any charset iconv knows, to UTF-8; bytes it cannot read are skipped (unit bytes at a
// time, 2 for UTF-16).
std::string iconv_to_utf8(std::string_view bytes, const char* from, size_t unit) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == iconv_t(-1)) return out;
  out.reserve(bytes.size() * 2);
  std::string in(bytes);
  char* ip = in.data();
  size_t il = in.size();
  char buffer[16384];
  while (il > 0) {
    char* op = buffer;
    size_t ol = sizeof buffer;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buffer, size_t(op - buffer));
    if (r != size_t(-1)) break;
    if (errno == E2BIG) continue;
    if (errno == EILSEQ) {
      out.push_back(' ');  // what cannot be read parts words
      size_t skip = std::min(unit, il);
      ip += skip;
      il -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    break;  // EINVAL: a character cut at the end
  }
  iconv_close(cd);
  return out;
}

bool ieq_prefix(std::string_view text, size_t pos, std::string_view word) {
  if (pos + word.size() > text.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    char a = text[pos + k];
    if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
    if (a != word[k]) return false;
  }
  return true;
}

// Finds "key" (lower case) case-blind from pos up to end; npos when absent.
size_t ifind(std::string_view text, std::string_view key, size_t pos, size_t end) {
  for (size_t i = pos; i + key.size() <= end; ++i)
    if (ieq_prefix(text, i, key)) return i;
  return std::string_view::npos;
}

// The label after "key" [blanks] "=" [blanks] [quote] within [pos, end).
std::string label_after(std::string_view text, std::string_view key, size_t pos, size_t end) {
  size_t at = ifind(text, key, pos, end);
  if (at == std::string_view::npos) return {};
  size_t i = at + key.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  if (i >= end || text[i] != '=') return {};
  ++i;
  while (i < end && (text[i] == ' ' || text[i] == '\t' || text[i] == '"' || text[i] == '\'')) ++i;
  std::string label;
  while (i < end && label.size() < 40) {
    char c = text[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
          c == '_' || c == '.' || c == ':'))
      break;
    label.push_back(c);
    ++i;
  }
  return label;
}

}  // namespace

bool utf8_is_valid(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t code;
    size_t n = utf8_decode(bytes, i, code);
    if (n == 0) {
      // A character cut off by the end of the text is not held against it.
      const unsigned char c = static_cast<unsigned char>(bytes[i]);
      size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
      if (need == 0 || i + need <= bytes.size() || c > 0xF4) return false;
      for (size_t k = i + 1; k < bytes.size(); ++k)
        if ((static_cast<unsigned char>(bytes[k]) & 0xC0) != 0x80) return false;
      return true;
    }
    i += n;
  }
  return true;
}

CharsetChoice charset_from_label(std::string_view label) {
  std::string l;
  for (char c : label) l.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
  CharsetChoice choice;
  static const char* const kBig5[] = {"big5",  "big-5",       "x-x-big5",     "cn-big5",
                                      "csbig5", "cp950",      "windows-950",  "ms950",
                                      "x-windows-950", "big5-hkscs", "big5hkscs"};
  static const char* const kUtf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8"};
  // Western single-byte labels hold no character with a Big5 form beyond ASCII, and old
  // Chinese pages often carry them by mistake: such pages are judged by their bytes.
  static const char* const kWestern[] = {"iso-8859-1", "iso8859-1", "latin1", "l1",
                                         "us-ascii",   "ascii",     "windows-1252",
                                         "cp1252",     "x-user-defined"};
  for (const char* n : kBig5)
    if (l == n) return {Charset::Big5, {}};
  for (const char* n : kUtf8)
    if (l == n) return {Charset::Utf8, {}};
  for (const char* n : kWestern)
    if (l == n) return choice;
  if (l.empty() || l.rfind("utf-16", 0) == 0 || l.rfind("utf-32", 0) == 0) return choice;
  std::string name = l;
  if (l == "gb2312" || l == "gbk" || l == "x-gbk" || l == "euc-cn" || l == "cp936") name = "GB18030";
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == iconv_t(-1)) return choice;
  iconv_close(cd);
  return {Charset::Other, name};
}

std::vector<CharsetChoice> html_declared_charsets(std::string_view bytes) {
  std::vector<CharsetChoice> out;
  auto add = [&out](const std::string& label) {
    CharsetChoice c = charset_from_label(label);
    if (c.charset == Charset::Unknown) return;
    for (const CharsetChoice& seen : out)
      if (seen.charset == c.charset && seen.name == c.name) return;
    out.push_back(std::move(c));
  };
  size_t end = std::min(bytes.size(), size_t(65536));
  size_t body = ifind(bytes, "<body", 0, end);
  if (body != std::string_view::npos) end = body;
  if (ieq_prefix(bytes, 0, "<?xml")) {
    size_t close = bytes.find("?>");
    if (close != std::string_view::npos && close < end) add(label_after(bytes, "encoding", 0, close));
  }
  for (size_t pos = 0;;) {
    size_t meta = ifind(bytes, "<meta", pos, end);
    if (meta == std::string_view::npos) break;
    size_t close = bytes.find('>', meta);
    if (close == std::string_view::npos || close > end) close = end;
    std::string label = label_after(bytes, "charset", meta, close);
    if (!label.empty()) add(label);
    pos = close;
  }
  return out;
}

CharsetChoice html_declared_charset(std::string_view bytes) {
  std::vector<CharsetChoice> declared = html_declared_charsets(bytes);
  return declared.empty() ? CharsetChoice{} : declared.front();
}

bool big5_is_strict(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (p[i] < 0x80) continue;
    if (!big5_is_lead(p[i]) || i + 1 >= bytes.size()) return false;
    const unsigned char t = p[++i];
    if (!((t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE))) return false;
  }
  return true;
}

bool charset_decodes_strictly(std::string_view bytes, const CharsetChoice& choice) {
  switch (choice.charset) {
    case Charset::Big5:
      return big5_is_strict(bytes);
    case Charset::Utf8:
      return utf8_is_valid(bytes);
    case Charset::Other: {
      iconv_t cd = iconv_open("UTF-8", choice.name.c_str());
      if (cd == iconv_t(-1)) return false;
      std::string in(bytes);
      char* ip = in.data();
      size_t il = in.size();
      char buffer[16384];
      bool ok = true;
      while (il > 0) {
        char* op = buffer;
        size_t ol = sizeof buffer;
        if (iconv(cd, &ip, &il, &op, &ol) != size_t(-1)) break;
        if (errno == E2BIG) continue;
        ok = errno == EINVAL;  // only a character cut off by the end is forgiven
        break;
      }
      iconv_close(cd);
      return ok;
    }
    case Charset::Utf16LE:
    case Charset::Utf16BE:
    case Charset::Unknown:
      break;
  }
  return true;
}

CharsetChoice html_choose_charset(std::string_view bytes) {
  const std::vector<CharsetChoice> declared = html_declared_charsets(bytes);
  if (declared.empty()) return {};
  if (declared.size() == 1 && charset_decodes_strictly(bytes, declared.front()))
    return declared.front();
  // The declarations disagree, or the one given does not fit the bytes: the bytes decide.
  const bool high = std::any_of(bytes.begin(), bytes.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (!high) return declared.front();  // ASCII reads the same in every one of them
  if (utf8_is_valid(bytes)) return {Charset::Utf8, {}};
  for (const CharsetChoice& c : declared)
    if (charset_decodes_strictly(bytes, c)) return c;
  if (big5_is_strict(bytes)) return {Charset::Big5, {}};
  // Nothing fits whole: the first declaration is still the best guess (a page with a
  // few damaged bytes).
  return declared.front();
}

Charset charset_detect(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return Charset::Utf8;
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return Charset::Utf16LE;
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return Charset::Utf16BE;
  // Only text with a byte above ASCII can be told; the ASCII before it is valid anyway.
  const auto high = std::find_if(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (high != bytes.end() && utf8_is_valid(bytes.substr(size_t(high - bytes.begin()))))
    return Charset::Utf8;
  return Charset::Big5;
}

std::string big5_clean(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < size;) {
    const unsigned char c = p[i];
    if (c >= 0x80) {
      if (big5_is_lead(c) && i + 1 < size && big5_is_trail(p[i + 1])) {
        out.append(bytes.data() + i, 2);
        i += 2;
      } else {
        out.push_back(' ');  // a stray high byte parts words
        ++i;
      }
      continue;
    }
    const size_t run = kept_ascii_run(p, i, size);
    out.append(bytes.data() + i, run);
    if (run == 0) out.push_back(' ');  // so does a control byte
    i += run == 0 ? 1 : run;
  }
  return out;
}

std::string text_to_big5(std::string_view bytes, const CharsetChoice& choice) {
  Charset cs = choice.charset == Charset::Unknown ? charset_detect(bytes) : choice.charset;
  switch (cs) {
    case Charset::Utf8:
      return utf8_to_big5(bytes);
    case Charset::Utf16LE:
      if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") bytes.remove_prefix(2);
      return utf8_to_big5(iconv_to_utf8(bytes, "UTF-16LE", 2));
    case Charset::Utf16BE:
      if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") bytes.remove_prefix(2);
      return utf8_to_big5(iconv_to_utf8(bytes, "UTF-16BE", 2));
    case Charset::Other:
      return utf8_to_big5(iconv_to_utf8(bytes, choice.name.c_str(), 1));
    case Charset::Big5:
    case Charset::Unknown:
      break;
  }
  return big5_clean(bytes);
}

bool big5_append_code_point(std::string& out, char32_t code) {
  if (code == 0 || (code < 0x20 && code != '\t' && code != '\n' && code != '\r')) return false;
  return append_code(out, code, Big5Table::get());
}

void big5_append_or_blank(std::string& out, char32_t code) {
  if (!big5_append_code_point(out, code) && !is_invisible(code)) out.push_back(' ');
}

}  // namespace qm
