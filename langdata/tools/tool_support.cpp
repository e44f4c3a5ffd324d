// Helpers of the language-data generators; see tool_support.h.
#include "langdata/tools/tool_support.h"

#include <bzlib.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qm::langdata_tools {

namespace {
const char* g_tool = "langdata";

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string decompress_bz2(const std::string& path, const std::string& compressed) {
  bz_stream z{};
  if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK) fail("cannot start bzip2 decompression");
  std::string out;
  char buffer[1 << 16];
  z.next_in = const_cast<char*>(compressed.data());
  z.avail_in = static_cast<unsigned>(compressed.size());
  int rc = BZ_OK;
  while (rc == BZ_OK) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    rc = BZ2_bzDecompress(&z);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (rc == BZ_OK && z.avail_in == 0 && z.avail_out != 0) break;  // truncated stream
  }
  BZ2_bzDecompressEnd(&z);
  if (rc != BZ_STREAM_END) fail(path + ": not a complete bzip2 stream (code " + std::to_string(rc) + ")");
  return out;
}
}  // namespace

void set_tool_name(const char* name) { g_tool = name; }

void fail(const std::string& message) {
  std::fprintf(stderr, "%s: error: %s\n", g_tool, message.c_str());
  std::exit(1);
}

std::string read_source(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot open " + path + " (" + std::strerror(errno) + ")");
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) fail("cannot read " + path);
  if (ends_with(path, ".bz2")) return decompress_bz2(path, bytes);
  return bytes;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  for (;;) {
    std::size_t end = text.find(separator, i);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(i));
      return parts;
    }
    parts.push_back(text.substr(i, end - i));
    i = end + 1;
  }
}

std::vector<std::string_view> split_lines(std::string_view text) {
  auto lines = split(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  for (auto& line : lines)
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return lines;
}

void write_file(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) fail("cannot create " + temp + " (" + std::strerror(errno) + ")");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool flushed = std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!written || !flushed || !closed) {
    std::remove(temp.c_str());
    fail("cannot write " + temp);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    fail("cannot rename " + temp + " to " + path + " (" + std::strerror(errno) + ")");
  }
}

Cp950::Cp950() {
  to_big5_ = ::iconv_open("CP950", "UTF-8");
  from_big5_ = ::iconv_open("UTF-32LE", "CP950");
  if (to_big5_ == reinterpret_cast<void*>(-1) || from_big5_ == reinterpret_cast<void*>(-1))
    fail("iconv has no CP950 conversion");
}

Cp950::~Cp950() {
  ::iconv_close(static_cast<iconv_t>(to_big5_));
  ::iconv_close(static_cast<iconv_t>(from_big5_));
}

std::optional<std::string> Cp950::from_utf8(std::string_view utf8) {
  auto cd = static_cast<iconv_t>(to_big5_);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in(utf8);
  std::string out(in.size() * 2 + 8, '\0');
  char* src = in.data();
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  if (::iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) return {};
  out.resize(out.size() - dst_left);
  return out;
}

std::optional<char32_t> Cp950::decode_pair(unsigned char lead, unsigned char trail) {
  auto cd = static_cast<iconv_t>(from_big5_);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  unsigned char out[16];
  char* src = in;
  std::size_t src_left = 2;
  char* dst = reinterpret_cast<char*>(out);
  std::size_t dst_left = sizeof out;
  if (::iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) return {};
  if (src_left != 0 || sizeof out - dst_left != 4) return {};
  return char32_t(out[0] | (out[1] << 8) | (out[2] << 16) | (uint32_t(out[3]) << 24));
}

std::optional<std::u32string> utf8_decode(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + std::size_t(extra) >= s.size()) return {};
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + std::size_t(k)]);
      if ((t & 0xC0) != 0x80) return {};
      cp = (cp << 6) | (t & 0x3F);
    }
    out.push_back(cp);
    i += std::size_t(extra) + 1;
  }
  return out;
}

std::string utf8_encode(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
  return out;
}

std::optional<char32_t> parse_code_point(std::string_view text) {
  if (text.size() < 6 || text.size() > 8 || text.substr(0, 2) != "U+") return {};
  char32_t cp = 0;
  for (char c : text.substr(2)) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return {};
    cp = cp * 16 + char32_t(d);
  }
  if (cp > 0x10FFFF) return {};
  return cp;
}

}  // namespace qm::langdata_tools
