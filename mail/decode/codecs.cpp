// Content decoders of mail (see codecs.h): base64, quoted-printable, uuencode and
// BinHex 4.0 with its run-length coding and CRC-16 header check.
#include "mail/decode/codecs.h"

#include <cstdint>

namespace qm::mail {

namespace {

int base64_value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool line_is_end(std::string_view line) {
  if (line.size() != 3) return false;
  auto lower = [](char c) { return char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  return lower(line[0]) == 'e' && lower(line[1]) == 'n' && lower(line[2]) == 'd';
}

}  // namespace

bool base64_decode(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3 + 3);
  uint32_t group = 0;
  int have = 0;         // data characters of the current group
  bool padded = false;  // "=" after two characters: a second "=" must follow
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '=') {
      if (have == 2 && !padded) {
        padded = true;
      } else if (have == 2) {
        out.push_back(char(group >> 4));
        group = 0;
        have = 0;
        padded = false;
      } else if (have == 3) {
        out.push_back(char(group >> 10));
        out.push_back(char(group >> 2));
        group = 0;
        have = 0;
      } else {
        return false;  // "=" in the first two places of a group
      }
      continue;
    }
    const int v = base64_value(c);
    if (v < 0) continue;
    if (padded) return false;  // a character after a lone "=" in the third place
    group = group << 6 | uint32_t(v);
    if (++have == 4) {
      out.push_back(char(group >> 16));
      out.push_back(char(group >> 8));
      out.push_back(char(group));
      group = 0;
      have = 0;
    }
  }
  if (padded) return false;  // "=" in the third place without its partner
  // A group cut off by the end gives the whole bytes its characters hold.
  if (have == 2) out.push_back(char(group >> 4));
  if (have == 3) {
    out.push_back(char(group >> 10));
    out.push_back(char(group >> 2));
  }
  return true;
}

std::string quoted_printable_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t blanks_from = std::string::npos;  // where the current run of blanks began in out
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '=') {
      blanks_from = std::string::npos;
      if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
        ++i;  // soft line break: "=" CR LF, "=" CR or "=" LF
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        continue;
      }
      const int hi = i + 1 < text.size() ? hex_value(static_cast<unsigned char>(text[i + 1])) : -1;
      const int lo = i + 2 < text.size() ? hex_value(static_cast<unsigned char>(text[i + 2])) : -1;
      if (hi >= 0 && lo >= 0) {
        out.push_back(char(hi << 4 | lo));
        i += 2;
      } else {
        out.push_back('=');  // not an escape: kept as it stands
      }
      continue;
    }
    if (c == ' ' || c == '\t') {
      if (blanks_from == std::string::npos) blanks_from = out.size();
      out.push_back(c);
      continue;
    }
    if ((c == '\r' || c == '\n') && blanks_from != std::string::npos) out.resize(blanks_from);
    blanks_from = std::string::npos;
    out.push_back(c);
  }
  return out;
}

bool uu_decode_lines(std::string_view text, std::string& out) {
  out.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
    if (line_is_end(line)) break;
    const size_t count = size_t((static_cast<unsigned char>(line[0]) - 32) & 63);
    const size_t groups = (count + 2) / 3;
    // Every character that carries bits of the counted bytes must be there (trailing
    // blanks that only pad the last group may have been stripped in transit).
    if (line.size() < 1 + (count * 8 + 5) / 6) return false;
    size_t produced = 0;
    for (size_t g = 0; g < groups && produced < count; ++g) {
      uint32_t v = 0;
      for (size_t k = 0; k < 4; ++k) {
        const size_t at = 1 + g * 4 + k;
        const unsigned char ch = at < line.size() ? static_cast<unsigned char>(line[at]) : ' ';
        v = v << 6 | uint32_t((ch - 32) & 63);
      }
      for (int shift = 16; shift >= 0 && produced < count; shift -= 8, ++produced)
        out.push_back(char(v >> shift));
    }
  }
  return true;
}

namespace {

constexpr char kBinHexAlphabet[] =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";

// The BinHex stream from `from` on: 6-bit characters to bytes up to the closing ":" or
// the end of the text (CR and LF passed over, any other character outside the alphabet
// ends it), then the run-length coding undone.
std::string binhex_stream(std::string_view text, size_t from) {
  int value[256];
  for (int& v : value) v = -1;
  for (int i = 0; kBinHexAlphabet[i] != 0; ++i) value[static_cast<unsigned char>(kBinHexAlphabet[i])] = i;
  std::string packed;
  uint32_t group = 0;
  int have = 0;
  for (size_t i = from; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') continue;
    if (value[c] < 0) break;  // ":" closes the stream
    group = group << 6 | uint32_t(value[c]);
    if (++have == 4) {
      packed.push_back(char(group >> 16));
      packed.push_back(char(group >> 8));
      packed.push_back(char(group));
      group = 0;
      have = 0;
    }
  }
  if (have == 2) packed.push_back(char(group >> 4));
  if (have == 3) {
    packed.push_back(char(group >> 10));
    packed.push_back(char(group >> 2));
  }
  // 0x90 n: the previous byte stands n times in all; 0x90 0 is a literal 0x90.
  std::string out;
  out.reserve(packed.size());
  for (size_t i = 0; i < packed.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(packed[i]);
    if (b != 0x90 || i + 1 >= packed.size()) {
      out.push_back(char(b));
      continue;
    }
    const unsigned char n = static_cast<unsigned char>(packed[++i]);
    if (n == 0) {
      out.push_back(char(0x90));
    } else if (!out.empty()) {
      const char prev = out.back();
      out.append(size_t(n - 1), prev);
    }
  }
  return out;
}

// CRC-16, polynomial 0x1021, starting at 0, with the two zero bytes of the check fed.
uint16_t binhex_crc(std::string_view bytes) {
  uint16_t crc = 0;
  for (char ch : bytes) {
    crc ^= uint16_t(static_cast<unsigned char>(ch) << 8);
    for (int k = 0; k < 8; ++k) crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint32_t be32(std::string_view b, size_t at) {
  return uint32_t(static_cast<unsigned char>(b[at])) << 24 |
         uint32_t(static_cast<unsigned char>(b[at + 1])) << 16 |
         uint32_t(static_cast<unsigned char>(b[at + 2])) << 8 | static_cast<unsigned char>(b[at + 3]);
}

}  // namespace

bool binhex_decode(std::string_view text, std::string& out, std::string* name) {
  out.clear();
  size_t start = 0;
  while (start < text.size() && (text[start] == '\r' || text[start] == '\n' || text[start] == ' '))
    ++start;
  if (text.substr(start, 10) != "(This file") return false;
  size_t at = text.find_first_of("\r\n", start);
  if (at == std::string_view::npos) return false;
  while (at < text.size() && (text[at] == '\r' || text[at] == '\n' || text[at] == ' ' || text[at] == '\t'))
    ++at;
  if (at >= text.size() || text[at] != ':') return false;
  const std::string bytes = binhex_stream(text, at + 1);
  // Header: name length n, name, version byte, type, creator, flags, data length,
  // resource length, then the header CRC.
  if (bytes.empty()) return false;
  const size_t n = static_cast<unsigned char>(bytes[0]);
  const size_t header = 1 + n + 1 + 4 + 4 + 2 + 4 + 4;
  if (bytes.size() < header + 2) return false;
  const std::string_view view(bytes);
  const uint16_t stored = uint16_t(static_cast<unsigned char>(bytes[header]) << 8 |
                                   static_cast<unsigned char>(bytes[header + 1]));
  if (binhex_crc(view.substr(0, header)) != stored) return false;
  const uint32_t data_length = be32(view, 1 + n + 1 + 4 + 4 + 2);
  const size_t data_at = header + 2;
  const size_t available = bytes.size() - data_at;
  out.assign(bytes, data_at, data_length < available ? size_t(data_length) : available);
  if (name) *name = bytes.substr(1, n < 63 ? n : 63);
  return true;
}

}  // namespace qm::mail
