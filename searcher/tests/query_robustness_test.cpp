// Seeded random and mutated keyword texts for the query parser, the term table and the
// link escaping: nothing reads out of bounds (the sanitizer build), the normalised
// expression holds only words and operators in a well-formed order with balanced groups
// at most 10 deep, parsing it again (in input spelling) changes nothing, the term table spells it back, and
// the escaped keywords decode to the keywords.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/strings.h"
#include "common/tests/random_text.h"
#include "searcher/query_parser.h"

namespace qm {
namespace {

// Checks the shape of a normalised expression; gives the number of words in it.
int expect_well_formed(const std::string& expr) {
  int depth = 0;
  int words = 0;
  char prev = 0;  // 0 start, 'w' word, '(' , ')', 'b' binary operator
  for (size_t i = 0; i < expr.size();) {
    char c = expr[i];
    if (c == '(' || c == ')' || c == '+' || c == '*' || c == '-' || c == '&') {
      if (c == '(') {
        EXPECT_TRUE(prev == 0 || prev == '(' || prev == 'b') << "'(' after " << prev;
        EXPECT_LE(++depth, kMaxQueryDepth);
        prev = '(';
      } else if (c == ')') {
        EXPECT_TRUE(prev == 'w' || prev == ')') << "')' after " << prev;
        EXPECT_GE(--depth, 0);
        prev = ')';
      } else {
        EXPECT_TRUE(prev == 'w' || prev == ')') << "operator after " << prev;
        prev = 'b';
      }
      ++i;
      continue;
    }
    // A word: an English run (letters, digits, inner blanks, at most 29 bytes) or a
    // run of Big5 pairs (at most 20 bytes).
    EXPECT_TRUE(prev == 0 || prev == '(' || prev == 'b') << "word after " << prev;
    size_t start = i;
    if (big5_char_len(expr, i) == 2) {
      while (big5_char_len(expr, i) == 2) i += 2;
      EXPECT_LE(i - start, kChineseWordBytes);
    } else {
      while (i < expr.size() && (is_alnum_ascii(static_cast<unsigned char>(expr[i])) || expr[i] == ' '))
        ++i;
      EXPECT_GT(i, start) << "stray byte " << int(static_cast<unsigned char>(expr[i]));
      if (i == start) return words;
      EXPECT_NE(expr[start], ' ');
      EXPECT_NE(expr[i - 1], ' ');
      EXPECT_LE(i - start, kQueryTokenLimit);
    }
    ++words;
    prev = 'w';
  }
  EXPECT_EQ(depth, 0);
  if (!expr.empty()) {
    EXPECT_TRUE(prev == 'w' || prev == ')') << "ends with " << prev;
  }
  return words;
}

std::string decode_link(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && is_hex_digit(text[i + 1]) &&
               is_hex_digit(text[i + 2])) {
      out += char(hex_digit_value(text[i + 1]) * 16 + hex_digit_value(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

TEST(QueryRobustness, ParseTableAndEscapeOnRandomText) {
  const std::vector<std::string> samples = {
      "apple & (pie | \xA4\xA4\xA4\xE5) ! tart ~ \xB3\x5C\xA5\x5C",
      "((((((((((((a)))))))))))) b c + - * ~ ( ) ( | )",
      "\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4 "
      "averyveryverylongenglishwordthatgoesonandon",
  };
  std::vector<std::string> inputs = {"", "(", ")", "&", "((((((((((((", "a (", "( a", "a & )",
                                     std::string("\xA4", 1), "a \xA4", "!a", "a|", "(((a"};
  test::RandomText rnd(0x9E7);
  for (int n = 0; n < 3000; ++n) inputs.push_back(rnd.input(samples, 200));

  for (const std::string& input : inputs) {
    test::InputTrace trace(input);
    std::string expr = input;
    bool valid = query_parse(expr);
    int words = expect_well_formed(expr);
    EXPECT_EQ(valid, words > 0);
    // Read back in input form ("~" is the input spelling of the paragraph "and").
    std::string again = expr;
    std::replace(again.begin(), again.end(), '&', '~');
    EXPECT_EQ(query_parse(again), valid);
    EXPECT_EQ(again, expr) << "parsing is not stable";

    // The term table spells the expression (English words upper-cased).
    QueryTermTable table = term_table_build(expr);
    std::string spelled;
    int chinese = 0;
    for (const QueryTerm& term : table.terms) {
      if (term.is_word()) {
        EXPECT_FALSE(term.text.empty());
        spelled += term.text;
        chinese += term.is_chinese() ? 1 : 0;
      } else {
        EXPECT_NE(std::string_view("+*-&()").find(term.type), std::string_view::npos);
        spelled += term.type;
      }
    }
    std::string upper = expr;
    string_upper_big5(upper);
    EXPECT_EQ(spelled, upper);
    EXPECT_EQ(table.chinese_words, chinese);

    for (std::string_view agent : {"Mozilla/5.0", "Mozilla/4.0 (compatible; MSIE 6.0)"}) {
      std::string link = url_escape_keyword(input, agent);
      EXPECT_EQ(decode_link(link), input);
      if (agent.find("MSIE") == std::string_view::npos) {
        for (char c : link) {
          EXPECT_TRUE(c != ' ' && static_cast<unsigned char>(c) < 0x80) << int(c);
        }
      }
    }
  }
}

}  // namespace
}  // namespace qm
