// Strict source decoding (see text_decode.h). Big5 and CP1252 go through the framework's
// character tables (kvx_charsets.h), so readers and the UT calls agree on every character.
#include "filters/framework/readers/text_decode.h"

#include "common/big5_codec.h"
#include "filters/common/kvx_abi.h"
#include "filters/framework/kvx_charsets.h"

namespace kvx::readers {

namespace {
constexpr uint16_t kReplacement = 0xFFFD;

void push_code_point(uint32_t cp, std::vector<uint16_t>& out) {
  if (cp > 0xFFFF) {
    cp -= 0x10000;
    out.push_back(uint16_t(0xD800 + (cp >> 10)));
    out.push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(uint16_t(cp));
  }
}
}  // namespace

bool decode_utf8(std::string_view s, std::vector<uint16_t>& out) {
  out.clear();
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    char32_t cp = 0;
    size_t len = qm::utf8_decode(s, i, cp);
    if (len == 0) return false;
    push_code_point(cp, out);
    i += len;
  }
  return true;
}

bool is_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (uint8_t(s[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t cp = 0;
    size_t len = qm::utf8_decode(s, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

bool is_big5(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) continue;
    uint32_t cp = 0;
    if (!is_lead_byte(KVXCS_BIG5, c) || i + 1 >= s.size() ||
        !unit_to_unicode(KVXCS_BIG5, uint16_t(c << 8 | uint8_t(s[i + 1])), cp))
      return false;
    ++i;
  }
  return true;
}

bool decode_big5(std::string_view s, std::vector<uint16_t>& out) {
  out.clear();
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      continue;
    }
    if (!is_lead_byte(KVXCS_BIG5, c) || i + 1 >= s.size()) return false;
    uint32_t cp = 0;
    if (!unit_to_unicode(KVXCS_BIG5, uint16_t(c << 8 | uint8_t(s[i + 1])), cp)) return false;
    push_code_point(cp, out);
    ++i;
  }
  return true;
}

bool decode_cp1252(std::string_view s, std::vector<uint16_t>& out) {
  out.clear();
  out.reserve(s.size());
  bool all = true;
  for (char ch : s) {
    uint8_t c = uint8_t(ch);
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0 && !unit_to_unicode(KVXCS_CP1252, c, cp)) {
      cp = kReplacement;
      all = false;
    }
    out.push_back(uint16_t(cp));
  }
  return all;
}

void decode_utf16(std::string_view s, bool big_endian, std::vector<uint16_t>& out) {
  out.clear();
  out.reserve(s.size() / 2);
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    uint8_t a = uint8_t(s[i]), b = uint8_t(s[i + 1]);
    out.push_back(big_endian ? uint16_t(a << 8 | b) : uint16_t(b << 8 | a));
  }
  if (s.size() % 2) out.push_back(kReplacement);  // a cut last unit
}

SourceEncoding guess_encoding(std::string_view s, size_t* mark_length) {
  size_t mark = 0;
  SourceEncoding enc;
  if (s.starts_with("\xEF\xBB\xBF")) {
    mark = 3;
    enc = SourceEncoding::Utf8;
  } else if (s.starts_with("\xFF\xFE")) {
    mark = 2;
    enc = SourceEncoding::Utf16Le;
  } else if (s.starts_with("\xFE\xFF")) {
    mark = 2;
    enc = SourceEncoding::Utf16Be;
  } else if (is_utf8(s)) {
    enc = SourceEncoding::Utf8;
  } else if (is_big5(s)) {
    enc = SourceEncoding::Big5;
  } else {
    enc = SourceEncoding::Cp1252;
  }
  if (mark_length) *mark_length = mark;
  return enc;
}

std::vector<uint16_t> decode(std::string_view s, SourceEncoding enc) {
  std::vector<uint16_t> out;
  switch (enc) {
    case SourceEncoding::Utf16Le:
    case SourceEncoding::Utf16Be:
      if (s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF")) s.remove_prefix(2);
      decode_utf16(s, enc == SourceEncoding::Utf16Be, out);
      return out;
    case SourceEncoding::Utf8:
      if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);
      if (decode_utf8(s, out)) return out;
      break;
    case SourceEncoding::Big5:
      if (decode_big5(s, out)) return out;
      break;
    case SourceEncoding::Cp1252:
      decode_cp1252(s, out);
      return out;
  }
  // A source that does not decode whole in the set asked for: byte by byte, bad bytes
  // replaced, so the text read so far is kept.
  out.clear();
  std::vector<uint16_t> one;
  size_t i = 0;
  while (i < s.size()) {
    size_t take = 1;
    bool ok = false;
    for (size_t n = 1; n <= 4 && i + n <= s.size() && !ok; ++n) {
      std::string_view piece = s.substr(i, n);
      ok = enc == SourceEncoding::Big5 ? decode_big5(piece, one) : decode_utf8(piece, one);
      if (ok) take = n;
    }
    if (ok) out.insert(out.end(), one.begin(), one.end());
    else out.push_back(kReplacement);
    i += take;
  }
  return out;
}

}  // namespace kvx::readers
