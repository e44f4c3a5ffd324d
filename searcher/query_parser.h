// Query parsing: turns the keyword text of a request (English words, Big5 words and
// operators) into a normalised boolean expression, then into the QueryTermTable that
// the word searches walk (database_search.h) and the evaluation combines
// (query_evaluate.h). Also holds the request flags that switch the search variants on
// and the escaping of keywords for links. Builds on common/strings.h only.
//
// Operators of the normalised expression: "+" or, "*" and (same document), "-" and not,
// "&" and (same paragraph), "(" and ")". In user input "&", "|", "!" and "~" stand for
// "*", "+", "-" and "&".
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Longest token query_next_word hands out (English tokens; pieces are read 30 at a time).
inline constexpr size_t kQueryTokenLimit = 29;
// A Chinese word is searched as its first 10 characters.
inline constexpr size_t kChineseWordBytes = 20;
inline constexpr size_t kChineseWordCharacters = kChineseWordBytes / 2;
// Deepest nesting of groups; a further "(" is dropped.
inline constexpr int kMaxQueryDepth = 10;

// The request values that switch search variants on.
struct QueryFlags {
  bool homophone = false;        // h "1": homophone alternatives of Chinese characters
  bool fault_tolerant = false;   // f "1": missing characters, fuzzy English words
  bool category_filter = false;  // c "1": lexicon groups filtered by category bits
  bool lexicon = false;          // l "1": lexicon expansion
  bool word_boundary = false;    // c "9": drop Chinese hits that cut a dictionary word
};

// Flags from the request values h, f, c and l (a missing value is the empty text).
QueryFlags query_flags_from_request(std::string_view h, std::string_view f, std::string_view c,
                                    std::string_view l);

// Cuts the text at its first byte below 32, or at its first byte of 0x80 or above that
// does not begin a valid Big5 pair.
void query_cut_invalid(std::string& text);

// The next token at pos: a run of ASCII letters, digits and blanks (an English word or
// phrase, cut to 29 bytes, trailing blanks removed), a run of Big5 pairs, or one other
// byte. Gives the position after the token, or nullptr (token empty) at the end.
const char* query_next_word(const char* pos, std::string& token);

// Rewrites the keywords in place as a normalised expression: operator aliases mapped,
// implicit "&" between neighbouring words and groups, stray and doubled operators and
// empty groups dropped, at most 10 nested groups, open groups closed. True when the
// expression holds at least one word ("Invalid keyword !" otherwise, by the caller).
bool query_parse(std::string& keywords);

// One entry of the term table: an operator ('+', '*', '-', '&', '(' or ')', empty text)
// or a word (type 'a'; English text upper-cased, Chinese text at most 20 bytes).
struct QueryTerm {
  char type = 0;
  std::string text;

  bool is_word() const { return type == 'a'; }
  // A Chinese word begins with a byte of 0x80 or above.
  bool is_chinese() const { return is_word() && !text.empty() && static_cast<unsigned char>(text[0]) >= 0x80; }
};

struct QueryTermTable {
  std::vector<QueryTerm> terms;
  int chinese_words = 0;  // homophone slots are allocated per Chinese word, in order
};

// The term table of a normalised expression (as query_parse leaves it).
QueryTermTable term_table_build(const std::string& expression);

// Escaping of a keyword text for links. With "MSIE" in the user agent Big5 pairs stay as
// they are; otherwise each pair becomes two "%XX" escapes. Bytes of 0x80 or above (without
// "MSIE") and the characters !@#$%^&*()|\/+ become "%XX", a blank becomes "+".
std::string url_escape_keyword(std::string_view text, std::string_view user_agent);

}  // namespace qm
