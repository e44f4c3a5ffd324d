// Big5-aware text operations, text lists, progress output and share-path mapping; see
// strings.h.
#include "common/strings.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <thread>

#include "platform/paths.h"
#include "platform/shares.h"

namespace qm {
namespace {

bool g_desktop = false;

unsigned char byte_at(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool in_set(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

bool pair_at(const char* p) {
  return p[0] != 0 && big5_is_pair(static_cast<unsigned char>(p[0]), static_cast<unsigned char>(p[1]));
}

// Case-blind match of pattern at text[pos], stepping over Big5 pairs of the text, whose
// bytes must match exactly.
bool match_at(std::string_view text, size_t pos, std::string_view pattern) {
  size_t k = 0;
  while (k < pattern.size()) {
    size_t len = big5_char_len(text, pos + k);
    if (len == 2) {
      if (text[pos + k] != pattern[k]) return false;
      if (k + 1 < pattern.size() && text[pos + k + 1] != pattern[k + 1]) return false;
      k += 2;
    } else {
      if (ascii_lower(text[pos + k]) != ascii_lower(pattern[k])) return false;
      ++k;
    }
  }
  return true;
}

// Progress state.
bool g_quiet = false;
long long g_last_mark = 2;
bool g_wrote_100 = false;
std::FILE* g_output = nullptr;
std::atomic<bool> g_busy{false};

}  // namespace

void common_set_desktop_profile(bool desktop) { g_desktop = desktop; }
bool common_desktop_profile() { return g_desktop; }

// ---- Comparison and search ----------------------------------------------------------

int string_icmp(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    // Both bytes of a Big5 pair compare as they are.
    bool pair = big5_char_len(a, i) == 2;
    unsigned char x = static_cast<unsigned char>(ascii_lower(a[i]));
    unsigned char y = static_cast<unsigned char>(ascii_lower(b[i]));
    if (pair && i + 1 < n) {
      x = byte_at(a, i);
      y = byte_at(b, i);
      if (x == y) {
        ++i;
        x = byte_at(a, i);
        y = byte_at(b, i);
      }
    }
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int string_nicmp(std::string_view a, std::string_view b, size_t n) {
  return string_icmp(a.substr(0, std::min(n, a.size())), b.substr(0, std::min(n, b.size())));
}

size_t string_find(std::string_view text, std::string_view pattern) {
  if (pattern.size() > text.size()) return std::string_view::npos;
  for (size_t i = 0; i + pattern.size() <= text.size();) {
    if (match_at(text, i, pattern)) return i;
    i += big5_char_len(text, i);
  }
  return std::string_view::npos;
}

int url_is_http(std::string& text) {
  if (string_nicmp(text, "http:/", 6) == 0 && text.size() >= 6) {
    text.replace(0, 6, "http:/");
    return g_desktop ? 1 : 6;
  }
  if (!g_desktop && text.size() >= 7 && string_nicmp(text, "https:/", 7) == 0) {
    text.replace(0, 7, "https:/");
    return 7;
  }
  return 0;
}

size_t big5_find_char(std::string_view text, std::string_view ch) {
  if (ch.size() < 2) return std::string_view::npos;
  for (size_t i = 0; i < text.size();) {
    size_t len = big5_char_len(text, i);
    if (len == 2 && text[i] == ch[0] && text[i + 1] == ch[1]) return i;
    i += len;
  }
  return std::string_view::npos;
}

int posting_compare(const PostingEntry& a, const PostingEntry& b) {
  if (a.document != b.document) return a.document < b.document ? -1 : 1;
  if (a.paragraph != b.paragraph) return a.paragraph < b.paragraph ? -1 : 1;
  if (a.position != b.position) return a.position < b.position ? -1 : 1;
  return 0;
}

// ---- Editing ------------------------------------------------------------------------

void string_trim(std::string& text, std::string_view set) {
  size_t end = text.size();
  while (end > 0 && in_set(text[end - 1], set)) --end;
  text.erase(end);
  size_t start = 0;
  while (start < text.size() && in_set(text[start], set)) ++start;
  text.erase(0, start);
}

size_t string_skip_set(std::string_view text, std::string_view set) {
  size_t i = 0;
  while (i < text.size() && in_set(text[i], set)) ++i;
  return i;
}

void string_remove_set(std::string& text, std::string_view set) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (!in_set(c, set)) out += c;
  text.swap(out);
}

void string_remove_chars(std::string& text, std::string_view set) { string_remove_set(text, set); }

void string_upper_big5(std::string& text) {
  for (size_t i = 0; i < text.size();) {
    size_t len = big5_char_len(text, i);
    if (len == 1) text[i] = ascii_upper(text[i]);
    i += len;
  }
}

void string_lower_big5(std::string& text) {
  for (size_t i = 0; i < text.size();) {
    size_t len = big5_char_len(text, i);
    if (len == 1) text[i] = ascii_lower(text[i]);
    i += len;
  }
}

void string_replace_all(std::string& text, std::string_view find, std::string_view replace,
                        bool case_blind) {
  if (find.empty()) return;
  size_t from = 0;
  while (from <= text.size()) {
    size_t at;
    if (case_blind) {
      at = string_find(std::string_view(text).substr(from), find);
      if (at != std::string_view::npos) at += from;
    } else {
      at = text.find(find, from);
    }
    if (at == std::string::npos) break;
    text.replace(at, find.size(), replace);
    from = at + replace.size();
  }
}

void string_cut_words(std::string& text, size_t n) {
  if (text.size() <= n) return;
  size_t cut = 0;   // last word end within n
  size_t safe = 0;  // last character boundary within n
  size_t i = 0;
  while (i < text.size() && i < n) {
    size_t len = big5_char_len(text, i);
    if (len == 2) {
      if (i + 2 > n) break;
      i += 2;
      cut = safe = i;
    } else if (is_alnum_ascii(byte_at(text, i))) {
      size_t j = i;
      while (j < text.size() && is_alnum_ascii(byte_at(text, j))) ++j;
      safe = std::min(j, n);
      if (j > n) break;
      cut = i = j;
    } else {
      i += 1;
      safe = i;
    }
  }
  // A single word longer than n has no end within n: it is cut at n.
  text.erase(cut > 0 ? cut : safe);
}

void bytes_move(void* destination, const void* source, size_t n) {
  if (n) std::memmove(destination, source, n);
}

// ---- Splitting ----------------------------------------------------------------------

const char* string_next_token(const char* text, std::string_view delimiters, std::string& out,
                              size_t max) {
  out.clear();
  if (!text || !*text || delimiters.empty()) return nullptr;
  const char* p = text;
  while (*p && in_set(*p, delimiters)) ++p;
  while (*p && !in_set(*p, delimiters)) {
    if (!g_desktop && pair_at(p)) {
      if (out.size() + 2 > max) break;
      out.append(p, 2);
      p += 2;
    } else {
      if (out.size() + 1 > max) break;
      out += *p++;
    }
  }
  return p;
}

const char* string_next_word(const char* text, std::string& out, size_t max) {
  out.clear();
  if (!text || !*text) return nullptr;
  const char* p = text;
  if (is_alnum_ascii(static_cast<unsigned char>(*p))) {
    while (*p && is_alnum_ascii(static_cast<unsigned char>(*p))) {
      if (out.size() < max) out += *p;
      ++p;
    }
  } else if (static_cast<unsigned char>(*p) > 127) {
    while (static_cast<unsigned char>(*p) > 127) {
      size_t len = p[1] != 0 ? 2 : 1;
      if (out.size() + len <= max) out.append(p, len);
      p += len;
    }
  } else {
    if (max > 0) out += *p;
    ++p;
  }
  return p;
}

const char* string_copy_word(const char* text, std::string& out, size_t n) {
  out.clear();
  if (!text) return nullptr;
  const char* p = text;
  while (*p && out.size() < n && is_alnum_ascii(static_cast<unsigned char>(*p))) out += *p++;
  return p;
}

bool is_alnum_ascii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool big5_is_pair(unsigned char lead, unsigned char trail) { return big5_is_lead(lead) && big5_is_trail(trail); }

size_t big5_char_len(std::string_view text, size_t pos) {
  if (pos >= text.size()) return 0;
  if (pos + 1 < text.size() && big5_is_pair(byte_at(text, pos), byte_at(text, pos + 1))) return 2;
  return 1;
}

std::string_view big5_after_last(std::string_view text, char c) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); i += big5_char_len(text, i))
    if (text[i] == c && big5_char_len(text, i) == 1) start = i + 1;
  return text.substr(start);
}

size_t big5_prefix_length(std::string_view text, size_t max) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t step = big5_char_len(text, i);
    if (i + step > max) break;
    i += step;
  }
  return i;
}

// ---- Numbers ------------------------------------------------------------------------

bool is_hex_digit(int c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hex_digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

std::string hex_byte_text(unsigned char byte) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[byte >> 4], digits[byte & 15]};
}

long long string_leading_number(std::string_view text) {
  size_t i = string_skip_set(text, " \t");
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

std::string int_to_text(long long value, int base) {
  if (base < 2 || base > 16) return "0";
  static const char digits[] = "0123456789ABCDEF";
  unsigned long long magnitude =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  std::string out;
  do {
    out.insert(out.begin(), digits[magnitude % unsigned(base)]);
    magnitude /= unsigned(base);
  } while (magnitude);
  if (value < 0) out.insert(out.begin(), '-');
  return out;
}

int big5_index(unsigned char lead, unsigned char trail) {
  return (int(trail) - 0x40) * 94 + (int(lead) - 0xA1);
}

// ---- Text lists ---------------------------------------------------------------------

void stringlist_prepend(StringList& list, std::string_view text) { list.emplace_front(text); }

void stringlist_push_after_head(StringList& list, std::string_view text) {
  if (list.empty())
    list.emplace_front(text);
  else
    list.emplace_after(list.begin(), text);
}

bool stringlist_pop_head(StringList& list, std::string& out) {
  if (list.empty()) return false;
  out = std::move(list.front());
  list.pop_front();
  return true;
}

bool stringlist_pop_first(StringList& list, std::string& out) { return stringlist_pop_head(list, out); }

void stringlist_free(StringList& list) { list.clear(); }

int stringlist_contains(const StringList& list, std::string_view text) {
  for (const auto& s : list)
    if (string_icmp(s, text) == 0) return 1;
  return 0;
}

int stringlist_contains_exact(const StringList& list, std::string_view text) {
  for (const auto& s : list)
    if (s == text) return 1;
  return 0;
}

// ---- Progress output ----------------------------------------------------------------

void prog_set_output(std::FILE* out) { g_output = out; }
std::FILE* prog_output() { return g_output ? g_output : stdout; }

void prog_print(const char* format, ...) {
  if (g_quiet) return;
  std::FILE* out = prog_output();
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  std::fflush(out);
}

void prog_quiet(int enabled) { g_quiet = (enabled == 0); }
bool prog_is_quiet() { return g_quiet; }

int prog_percent(long long done, long long total) {
  if (total == 0) {
    g_last_mark = 2;
    g_wrote_100 = false;
    return 0;
  }
  long long p = done * 100 / total;
  if (g_desktop) return int(p);
  if (p >= g_last_mark + 2) {
    long long v = g_last_mark;
    for (; v < p; v += 2) {
      if (v % 10 == 0)
        prog_print("%lld", v);
      else
        prog_print("+");
    }
    g_last_mark = v;
  }
  if (p == 100 && !g_wrote_100) {
    prog_print("100\n");
    g_wrote_100 = true;
  }
  return int(p);
}

void prog_hook() {}

void prog_wait_lock(int flag) {
  if (flag == 0) {
    g_busy.store(false);
    return;
  }
  while (g_busy.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::string last_error_text() { return std::strerror(errno); }

// ---- Network shares -----------------------------------------------------------------

int path_to_share(std::string_view path, std::string& out) {
  while (!path.empty() && path.front() == ' ') path.remove_prefix(1);
  std::string p = path_backslash_to_slash(path);
  if (p.size() < 2 || p[0] != '/' || p[1] != '/') return 0;
  size_t host_end = p.find('/', 2);
  if (host_end == std::string::npos) return 0;
  if (!is_this_computer(std::string_view(p).substr(2, host_end - 2))) return 0;
  size_t share_end = p.find('/', host_end + 1);
  if (share_end == std::string::npos || share_end == host_end + 1) return 0;
  auto local = share_local_path(std::string_view(p).substr(host_end + 1, share_end - host_end - 1));
  if (!local) return 0;
  // A share's root ("\\host\share\", empty rest) maps as well: on this system the
  // unmapped network path names nothing, so a folder set to a share root stays usable.
  std::string rest = p.substr(share_end + 1);
  std::string result = *local;
  // The share's local path and the rest are joined with one separator.
  if (!rest.empty() && !result.empty() && result.back() != '/') result += '/';
  result += rest;
  out = result;
  return 1;
}

}  // namespace qm
