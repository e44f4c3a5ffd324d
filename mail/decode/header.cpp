// Header texts of mail (see header.h): encoded words, unfolded fields and parameters,
// Big5-aware cuts. Charset conversion goes through common/charset.h.
#include "mail/decode/header.h"

#include <algorithm>

#include "common/charset.h"
#include "common/strings.h"
#include "mail/decode/codecs.h"

namespace qm::mail {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

bool has_high_byte(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// One encoded word found at text[at] ("=?"): its end (one past "?=") and decoded bytes
// made Big5; false when the word is malformed. The encoded text runs to the next "?"
// (RFC 2047 allows none inside it), which must open the closing "?=": so each attempt
// reads only up to the third "?" after its start, and a value full of unclosed words
// costs time in proportion to its length, never a scan to the end per word.
bool read_encoded_word(std::string_view text, size_t at, size_t& end, std::string& out) {
  const size_t q1 = text.find('?', at + 2);
  if (q1 == std::string_view::npos || q1 == at + 2) return false;
  std::string_view charset = text.substr(at + 2, q1 - at - 2);
  for (char c : charset)
    if (is_space(c) || c == '=') return false;
  if (q1 + 2 >= text.size() || text[q1 + 2] != '?') return false;
  const char kind = lower(text[q1 + 1]);
  if (kind != 'b' && kind != 'q') return false;
  const size_t from = q1 + 3;
  const size_t close = text.find('?', from);
  if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != '=') return false;
  const std::string_view encoded = text.substr(from, close - from);
  for (char c : encoded)
    if (is_space(c)) return false;  // an encoded word holds no blanks
  std::string bytes;
  if (kind == 'b') {
    if (!base64_decode(encoded, bytes)) return false;
  } else {
    // In a "Q" word "_" stands for a blank (RFC 2047 4.2); "=5F" is the underscore.
    std::string q(encoded);
    std::replace(q.begin(), q.end(), '_', ' ');
    bytes = quoted_printable_decode(q);
  }
  const size_t star = charset.find('*');  // RFC 2231 language suffix
  if (star != std::string_view::npos) charset = charset.substr(0, star);
  out = mail_text_to_big5(bytes, charset);
  end = close + 2;
  return true;
}

}  // namespace

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool istarts_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

size_t ifind(std::string_view text, std::string_view pattern, size_t from) {
  if (pattern.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (size_t i = from; i + pattern.size() <= text.size(); ++i)
    if (iequals(text.substr(i, pattern.size()), pattern)) return i;
  return std::string_view::npos;
}

std::string mail_text_to_big5(std::string_view bytes, std::string_view charset_label) {
  if (!has_high_byte(bytes) && charset_label.empty()) return std::string(bytes);
  CharsetChoice choice;
  if (!charset_label.empty()) choice = charset_from_label(charset_label);
  switch (choice.charset) {
    case Charset::Big5:
      return std::string(bytes);
    case Charset::Unknown:
      if (has_high_byte(bytes) && utf8_is_valid(bytes)) return text_to_big5(bytes, {Charset::Utf8, {}});
      return std::string(bytes);
    default:
      // A declaration that does not fit bytes which are strict Big5 is a mislabel.
      if (!charset_decodes_strictly(bytes, choice) && big5_is_strict(bytes)) return std::string(bytes);
      return text_to_big5(bytes, choice);
  }
}

std::string decode_encoded_words(std::string_view text) {
  std::string out;
  size_t pos = 0;         // start of the text not yet copied
  bool after_word = false;  // the text from pos follows an encoded word
  size_t scan = 0;
  while (true) {
    const size_t at = text.find("=?", scan);
    if (at == std::string_view::npos) break;
    size_t end = 0;
    std::string decoded;
    if (!read_encoded_word(text, at, end, decoded)) {
      scan = at + 2;  // left as it stands
      continue;
    }
    std::string_view between = text.substr(pos, at - pos);
    bool only_space = true;
    for (char c : between)
      if (!is_space(c)) only_space = false;
    if (!(after_word && only_space)) out += mail_text_to_big5(between, {});
    out += decoded;
    pos = scan = end;
    after_word = true;
  }
  out += mail_text_to_big5(text.substr(pos), {});
  return out;
}

void blank_controls(std::string& text) {
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
}

std::string_view big5_cut(std::string_view text, size_t max) {
  if (text.size() <= max) return text;
  return text.substr(0, big5_prefix_length(text, max));
}

std::vector<HeaderField> parse_header_block(std::string_view block) {
  std::vector<HeaderField> fields;
  bool current = false;
  size_t pos = 0;
  while (pos < block.size()) {
    size_t end = block.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(pos, end - pos);
    pos = end;
    if (pos < block.size() && block[pos] == '\r') ++pos;
    if (pos < block.size() && block[pos] == '\n') ++pos;
    if (line.empty()) {
      current = false;
      continue;
    }
    if (is_blank(line[0])) {
      if (current) fields.back().value.append(line);
      continue;
    }
    const size_t colon = line.find(':');
    bool named = colon != std::string_view::npos && colon > 0;
    if (named)
      for (size_t i = 0; i < colon; ++i)
        if (static_cast<unsigned char>(line[i]) <= 0x20 || static_cast<unsigned char>(line[i]) >= 0x7F)
          named = false;
    current = named;
    if (named) fields.push_back({std::string(line.substr(0, colon)), std::string(line.substr(colon + 1))});
  }
  for (HeaderField& f : fields) f.value = std::string(trim(f.value));
  return fields;
}

const std::string* find_field(const std::vector<HeaderField>& fields, std::string_view name) {
  for (const HeaderField& f : fields)
    if (iequals(f.name, name)) return &f.value;
  return nullptr;
}

std::string field_main_value(std::string_view value, size_t max) {
  const size_t semi = value.find(';');
  std::string_view main = trim(value.substr(0, semi));
  while (!main.empty() && is_space(main.back())) main.remove_suffix(1);
  return std::string(main.substr(0, max));
}

std::string field_parameter(std::string_view value, std::string_view name) {
  size_t pos = value.find(';');
  while (pos != std::string_view::npos && pos < value.size()) {
    size_t i = pos + 1;
    while (i < value.size() && is_space(value[i])) ++i;
    const bool match = istarts_with(value.substr(i), name);
    size_t j = i + name.size();
    if (match) {
      while (j < value.size() && is_space(value[j])) ++j;
    }
    if (match && j < value.size() && value[j] == '=') {
      ++j;
      while (j < value.size() && is_space(value[j])) ++j;
      if (j < value.size() && value[j] == '"') {
        std::string out;
        for (++j; j < value.size() && value[j] != '"'; ++j) {
          if (value[j] == '\\' && j + 1 < value.size()) ++j;
          out.push_back(value[j]);
        }
        return out;
      }
      size_t e = j;
      while (e < value.size() && value[e] != ';' && !is_space(value[e])) ++e;
      return std::string(value.substr(j, e - j));
    }
    // On to the next ";" outside quotes.
    bool quoted = false;
    size_t k = i;
    for (; k < value.size(); ++k) {
      if (value[k] == '"') quoted = !quoted;
      if (value[k] == ';' && !quoted) break;
    }
    pos = k < value.size() ? k : std::string_view::npos;
  }
  return {};
}

}  // namespace qm::mail
