// Plain-text folders as documents for the index writer; see text_folder.h.
#include "index/tools/text_folder.h"

#include <iconv.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/strings.h"

namespace qm {

namespace {

// Length of the valid UTF-8 sequence at p, 0 when it is not one.
size_t utf8_length(const unsigned char* p, size_t n) {
  unsigned char c = p[0];
  size_t len;
  uint32_t min;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) len = 2, min = 0x80;
  else if (c >= 0xE0 && c <= 0xEF) len = 3, min = 0x800;
  else if (c >= 0xF0 && c <= 0xF4) len = 4, min = 0x10000;
  else return 0;
  if (len > n) return 0;
  uint32_t cp = c & (0x7F >> len);
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool is_utf8_with_high_bytes(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  bool high = false;
  for (size_t i = 0; i < s.size();) {
    size_t len = utf8_length(p + i, s.size() - i);
    if (len == 0) return false;
    high |= len > 1;
    i += len;
  }
  return high;
}

bool is_blank_line(std::string_view line) {
  return line.find_first_not_of(" \t\f\v") == std::string_view::npos;
}

// True when the text ends with a Big5 character (walking from the start).
bool ends_with_big5(std::string_view s) {
  bool last = false;
  for (size_t i = 0; i < s.size();) {
    size_t len = big5_char_len(s, i);
    if (len == 0) break;
    last = len == 2;
    i += len;
  }
  return last;
}

}  // namespace

std::string text_to_big5(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!is_utf8_with_high_bytes(bytes)) return std::string(bytes);
  iconv_t cd = iconv_open("CP950", "UTF-8");
  if (cd == iconv_t(-1)) return std::string(bytes);
  std::string out(bytes.size() + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char* dst = out.data();
  size_t out_left = out.size();
  while (in_left > 0) {
    size_t rc = iconv(cd, &in, &in_left, &dst, &out_left);
    if (rc != size_t(-1)) break;
    if (errno == EILSEQ || errno == EINVAL) {
      // No Big5 form: drop the character and go on.
      size_t len = utf8_length(reinterpret_cast<unsigned char*>(in), in_left);
      if (len == 0) len = 1;
      in += len;
      in_left -= len;
    } else {  // E2BIG cannot happen: Big5 never needs more bytes than UTF-8
      break;
    }
  }
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

std::vector<IndexParagraph> text_paragraphs(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t i = 0; i <= text.size();) {
    size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) {
      if (i < text.size()) lines.push_back(text.substr(i));
      break;
    }
    lines.push_back(text.substr(i, e - i));
    i = e + (text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n' ? 2 : 1);
  }
  std::vector<IndexParagraph> out;
  out.push_back({kTitleParagraph, lines.empty() ? std::string() : std::string(lines[0])});
  std::string block;
  bool open = false;
  auto close_block = [&] {
    if (open) out.push_back({kBodyParagraph, block});
    block.clear();
    open = false;
  };
  for (size_t i = 1; i < lines.size(); ++i) {
    if (is_blank_line(lines[i])) {
      close_block();
      continue;
    }
    if (open) {
      bool tight = ends_with_big5(block) && lines[i].size() >= 2 &&
                   big5_is_pair(static_cast<unsigned char>(lines[i][0]),
                                static_cast<unsigned char>(lines[i][1]));
      if (!tight) block += ' ';
    }
    block.append(lines[i]);
    open = true;
  }
  close_block();
  return out;
}

std::vector<std::string> text_folder_files(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  fs::path root(folder);
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file(ec)) files.push_back(fs::relative(it->path(), root, ec).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool text_file_document(const std::string& folder, const std::string& relative, IndexDocument& out) {
  std::string full = folder;
  if (!full.empty() && full.back() != '/') full += '/';
  full += relative;
  std::ifstream in(full, std::ios::binary);
  if (!in) return false;
  std::ostringstream buf;
  buf << in.rdbuf();
  if (in.bad()) return false;
  struct stat st {};
  int32_t date = 0;
  if (::stat(full.c_str(), &st) == 0) {
    struct tm tm {};
    time_t t = st.st_mtime;
    if (localtime_r(&t, &tm)) date = (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
  }
  out.path = relative;
  out.date = date;
  out.paragraphs = text_paragraphs(text_to_big5(buf.str()));
  return true;
}

}  // namespace qm
