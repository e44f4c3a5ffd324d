// Query parsing: keyword text to normalised expression to term table (see query_parser.h).
#include "searcher/query_parser.h"

#include <cstdio>

#include "common/strings.h"

namespace qm {
namespace {

constexpr std::string_view kOperators = "+*-()&";
constexpr std::string_view kBinaryOperators = "*+-&";

bool is_binary(char c) { return kBinaryOperators.find(c) != std::string_view::npos; }

bool starts_big5_pair(std::string_view text, size_t i) {
  return i + 1 < text.size() &&
         big5_is_pair(static_cast<unsigned char>(text[i]), static_cast<unsigned char>(text[i + 1]));
}

bool starts_word(std::string_view token) {
  return !token.empty() &&
         (is_alnum_ascii(static_cast<unsigned char>(token[0])) || starts_big5_pair(token, 0));
}

// The kind of the previous token kept in the output.
enum class Prev { None, Word, Open, Close, Binary };

Prev kind_of_last(const std::string& out) {
  if (out.empty()) return Prev::None;
  char c = out.back();
  if (c == '(') return Prev::Open;
  if (c == ')') return Prev::Close;
  if (is_binary(c)) return Prev::Binary;
  return Prev::Word;  // operator bytes are below 0x40, so never a Big5 trail byte
}

}  // namespace

QueryFlags query_flags_from_request(std::string_view h, std::string_view f, std::string_view c,
                                    std::string_view l) {
  QueryFlags flags;
  flags.homophone = h == "1";
  flags.fault_tolerant = f == "1";
  flags.category_filter = c == "1";
  flags.lexicon = l == "1";
  flags.word_boundary = c == "9";
  return flags;
}

void query_cut_invalid(std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 32) break;
    if (c >= 0x80) {
      if (!starts_big5_pair(text, i)) break;
      i += 2;
    } else {
      ++i;
    }
  }
  text.erase(i);
}

const char* query_next_word(const char* pos, std::string& token) {
  token.clear();
  if (!pos) return nullptr;
  std::string piece;
  std::string collected;
  bool any = false;
  const char* p = pos;
  for (;;) {
    const char* next = string_next_word(p, piece, 30);
    if (!next) break;
    if (is_alnum_ascii(static_cast<unsigned char>(piece[0])) || piece == " ") {
      collected += piece;
      any = true;
      p = next;
      continue;
    }
    if (!any) {  // the stopping piece is the token itself
      token = piece;
      p = next;
    }
    break;
  }
  if (any) token = std::move(collected);
  if (token.empty()) return nullptr;
  if (token.size() > kQueryTokenLimit) token.resize(kQueryTokenLimit);
  while (!token.empty() && token.back() == ' ') token.pop_back();
  // Nothing but blanks left: the reading ends with this token.
  const char* rest = p;
  while (*rest == ' ') ++rest;
  if (*rest == '\0') p = rest;
  return p;
}

bool query_parse(std::string& keywords) {
  query_cut_invalid(keywords);
  std::string out;
  out.reserve(keywords.size() * 2 + 20);
  int depth = 0;
  int words = 0;
  Prev prev = Prev::None;

  // Drops an empty group or a dangling operator at the end of the output.
  auto drop_last = [&]() {
    if (out.back() == '(') --depth;
    out.pop_back();
    prev = kind_of_last(out);
  };

  std::string token;
  const char* p = keywords.c_str();
  while ((p = query_next_word(p, token)) != nullptr) {
    string_trim(token, " ");
    if (token.empty()) continue;

    bool word = starts_word(token);
    char op = 0;
    if (word) {
      if (static_cast<unsigned char>(token[0]) >= 0x80 && token.size() > kChineseWordBytes)
        token.resize(kChineseWordBytes);
    } else {
      op = token[0];
      switch (op) {
        case '&': op = '*'; break;
        case '|': op = '+'; break;
        case '!': op = '-'; break;
        case '~': op = '&'; break;
        default: break;
      }
      if (kOperators.find(op) == std::string_view::npos) continue;
      if (op == ')' && depth == 0) continue;
      if (op == '(' && depth >= kMaxQueryDepth) continue;
      if (is_binary(op) && words == 0) continue;  // no binary operator before the first word
    }

    if (!word) {
      if (prev == Prev::Binary && (is_binary(op) || op == ')')) {
        out.pop_back();  // the new operator (or the closing of the group) replaces it
        prev = kind_of_last(out);
      } else if (prev == Prev::Open && op == ')') {
        drop_last();  // empty group
        continue;
      } else if (prev == Prev::Open && is_binary(op)) {
        continue;
      } else if ((prev == Prev::Word || prev == Prev::Close) && op == '(') {
        out += '&';
      }
      out += op;
      if (op == '(') {
        ++depth;
        prev = Prev::Open;
      } else if (op == ')') {
        --depth;
        prev = Prev::Close;
      } else {
        prev = Prev::Binary;
      }
    } else {
      if (prev == Prev::Word || prev == Prev::Close) out += '&';
      out += token;
      ++words;
      prev = Prev::Word;
    }
  }

  // End of the text: dangling operators and empty groups go, open groups are closed.
  while (prev == Prev::Binary || prev == Prev::Open) drop_last();
  out.append(size_t(depth), ')');
  keywords = std::move(out);
  return words > 0;
}

QueryTermTable term_table_build(const std::string& expression) {
  QueryTermTable table;
  std::string token;
  const char* p = expression.c_str();
  while ((p = query_next_word(p, token)) != nullptr) {
    string_trim(token, " ");
    if (token.empty()) continue;
    QueryTerm term;
    if (kOperators.find(token[0]) != std::string_view::npos) {
      term.type = token[0];
    } else {
      term.type = 'a';
      term.text = token;
      if (static_cast<unsigned char>(token[0]) >= 0x80) {
        if (term.text.size() > kChineseWordBytes) term.text.resize(kChineseWordBytes);
        ++table.chinese_words;
      } else {
        string_upper_big5(term.text);
      }
    }
    table.terms.push_back(std::move(term));
  }
  return table;
}

std::string url_escape_keyword(std::string_view text, std::string_view user_agent) {
  static constexpr std::string_view kEscaped = "!@#$%^&*()|\\/+";
  const bool msie = user_agent.find("MSIE") != std::string_view::npos;
  std::string out;
  char buffer[8];
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (starts_big5_pair(text, i)) {
      if (msie) {
        out.append(text.substr(i, 2));
      } else {
        std::snprintf(buffer, sizeof buffer, "%%%02X%%%02X", c, static_cast<unsigned char>(text[i + 1]));
        out += buffer;
      }
      ++i;
    } else if ((c >= 0x80 && !msie) || kEscaped.find(char(c)) != std::string_view::npos) {
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace qm
