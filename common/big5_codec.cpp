// The Big5 codec (see big5_codec.h): both tables are built on first use from iconv's
// CP950 converter, one conversion per pair.
#include "common/big5_codec.h"

#include <iconv.h>

#include <vector>

#include "common/strings.h"

namespace qm {
namespace {


class Big5Tables {
 public:
  static const Big5Tables& get() {
    static const Big5Tables tables;
    return tables;
  }
  std::vector<uint16_t> to_big5 = std::vector<uint16_t>(0x10000, 0);
  std::vector<char32_t> to_unicode = std::vector<char32_t>(0x10000, 0);

 private:
  Big5Tables() {
    iconv_t dec = iconv_open("UTF-32LE", "CP950");
    if (dec == iconv_t(-1)) return;
    std::vector<uint8_t> seen(0x10000, 0);
    std::vector<char32_t> duplicates;
    for (unsigned lead = 0xA1; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        char in[2] = {char(lead), char(trail)};
        unsigned char out[8];
        char* ip = in;
        char* op = reinterpret_cast<char*>(out);
        size_t il = 2, ol = sizeof out;
        iconv(dec, nullptr, nullptr, nullptr, nullptr);
        if (iconv(dec, &ip, &il, &op, &ol) == size_t(-1) || il != 0 || ol != 4) continue;
        char32_t u = char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 |
                     char32_t(out[3]) << 24;
        if (u >= 0x10000 || u < 0x80) continue;
        to_unicode[lead << 8 | trail] = u;
        if (seen[u]++ == 0) {
          to_big5[u] = uint16_t(lead << 8 | trail);
        } else if (seen[u] == 2) {
          duplicates.push_back(u);
        }
      }
    }
    iconv_close(dec);
    // A code point reached from two pairs takes the one iconv itself writes.
    iconv_t enc = iconv_open("CP950", "UTF-32LE");
    if (enc == iconv_t(-1)) return;
    for (char32_t u : duplicates) {
      unsigned char in[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
      unsigned char out[4];
      char* ip = reinterpret_cast<char*>(in);
      char* op = reinterpret_cast<char*>(out);
      size_t il = 4, ol = sizeof out;
      iconv(enc, nullptr, nullptr, nullptr, nullptr);
      if (iconv(enc, &ip, &il, &op, &ol) != size_t(-1) && ol == 2 && big5_is_lead(out[0]) &&
          big5_is_trail(out[1]))
        to_big5[u] = uint16_t(out[0] << 8 | out[1]);
    }
    iconv_close(enc);
  }
};

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

size_t utf8_decode(std::string_view text, size_t i, char32_t& code) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  size_t n;
  char32_t min;
  if (c < 0x80) {
    code = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2, code = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, code = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, code = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    code = (code << 6) | (t & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

uint16_t big5_pair_of(char32_t code) {
  return code >= 0x80 && code < 0x10000 ? Big5Tables::get().to_big5[code] : 0;
}

char32_t big5_code_of(unsigned char lead, unsigned char trail) {
  if (!big5_is_lead(lead) || !big5_is_trail(trail)) return 0;
  return Big5Tables::get().to_unicode[lead << 8 | trail];
}

bool big5_from_utf8(std::string_view utf8, std::string& out, std::size_t* bad_at) {
  std::string result;
  result.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    size_t n = utf8_decode(utf8, i, code);
    uint16_t pair = n == 0 || code < 0x80 ? 0 : big5_pair_of(code);
    if (n == 0 || (code >= 0x80 && pair == 0)) {
      if (bad_at) *bad_at = i;
      return false;
    }
    if (code < 0x80) {
      result.push_back(char(code));
    } else {
      result.push_back(char(pair >> 8));
      result.push_back(char(pair & 0xFF));
    }
    i += n;
  }
  out = std::move(result);
  return true;
}

std::string big5_to_utf8(std::string_view big5) {
  std::string out;
  out.reserve(big5.size() * 3 / 2);
  for (size_t i = 0; i < big5.size();) {
    const unsigned char c = static_cast<unsigned char>(big5[i]);
    if (c < 0x80) {
      out.push_back(char(c));
      ++i;
      continue;
    }
    char32_t code = 0;
    if (i + 1 < big5.size()) code = big5_code_of(c, static_cast<unsigned char>(big5[i + 1]));
    if (code != 0) {
      append_utf8(out, code);
      i += 2;
    } else {
      append_utf8(out, 0xFFFD);
      i += big5_is_lead(c) && i + 1 < big5.size() && big5_is_trail(static_cast<unsigned char>(big5[i + 1]))
               ? 2
               : 1;
    }
  }
  return out;
}

}  // namespace qm
