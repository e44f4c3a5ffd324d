// Query parsing: normalised expressions, tokens, the term table and link escaping.
#include "searcher/query_parser.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

const std::string kZhong = "\xA4\xA4";  // 中
const std::string kWen = "\xA4\xE5";    // 文
const std::string kXu = "\xB3\x5C";     // 許 (trail byte is a backslash)
const std::string kGong = "\xA5\x5C";   // 功 (trail byte is a backslash)

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(QueryParse, NormalisesExpressions) {
  struct Case {
    std::string input;
    std::string expected;
    bool valid;
  };
  const Case cases[] = {
      {"apple", "apple", true},
      {"apple pie", "apple pie", true},  // one English token: a phrase
      {"  apple   pie  ", "apple   pie", true},
      {"apple+pie", "apple+pie", true},
      // Aliases: & | ! ~ stand for * + - &.
      {"apple & pie", "apple*pie", true},
      {"apple | pie", "apple+pie", true},
      {"apple ! pie", "apple-pie", true},
      {"apple ~ pie", "apple&pie", true},
      {"a * b - c & d ~ e", "a*b-c*d&e", true},
      // Stray and doubled operators.
      {"+apple+", "apple", true},
      {"apple + * pie", "apple*pie", true},
      {"- + apple", "apple", true},
      {"apple + (", "apple", true},
      // Empty groups, unmatched and unclosed parentheses.
      {"() apple", "apple", true},
      {"apple ()", "apple", true},
      {"apple (pie", "apple&(pie)", true},
      {"apple) pie", "apple&pie", true},
      {"(apple + )", "(apple)", true},
      {"apple ((", "apple", true},
      {"apple (() pie", "apple&(pie)", true},
      {"(( ) apple", "(apple)", true},
      // Implicit "&" between words and groups.
      {"(apple)(pie)", "(apple)&(pie)", true},
      {"apple(pie)", "apple&(pie)", true},
      {"(apple)pie", "(apple)&pie", true},
      {"a - (b + c)", "a-(b+c)", true},
      {kZhong + kWen + " " + kXu + kGong, kZhong + kWen + "&" + kXu + kGong, true},
      {"abc" + kZhong, "abc&" + kZhong, true},
      {kZhong + "abc", kZhong + "&abc", true},
      {kXu + kGong + "+x", kXu + kGong + "+x", true},
      // Depth limit: an eleventh nested group is not opened.
      {repeat("(", 11) + "a" + repeat(")", 11), repeat("(", 10) + "a" + repeat(")", 10), true},
      // Length limits: Chinese words to 10 characters, English tokens to 29 bytes.
      {repeat(kZhong, 12), repeat(kZhong, 10), true},
      {"abcdefghijklmnopqrstuvwxyz0123456789", "abcdefghijklmnopqrstuvwxyz012", true},
      // Invalid bytes cut the text.
      {"abc\x01 def", "abc", true},
      {"ab\x80" "cd", "ab", true},
      {"ab\xA4\x30" "cd", "ab", true},
      // Nothing to search.
      {"+ - ( )", "", false},
      {"!@#", "", false},
      {"(", "", false},
      {"", "", false},
      {"   ", "", false},
  };
  for (const Case& c : cases) {
    std::string text = c.input;
    EXPECT_EQ(query_parse(text), c.valid) << c.input;
    EXPECT_EQ(text, c.expected) << c.input;
  }
}

TEST(QueryParse, ReadsTokens) {
  struct Case {
    std::string input;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"ab cd+ef", {"ab cd", "+", "ef"}},
      {"ab  ", {"ab"}},
      {kZhong + kWen + "x y", {kZhong + kWen, "x y"}},
      {kXu + kGong + kZhong, {kXu + kGong + kZhong}},
      {"(a)", {"(", "a", ")"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> tokens;
    std::string token;
    for (const char* p = c.input.c_str(); (p = query_next_word(p, token)) != nullptr;) tokens.push_back(token);
    EXPECT_EQ(tokens, c.tokens) << c.input;
  }
}

TEST(QueryParse, BuildsTermTable) {
  std::string text = "apple pie | " + kZhong + kWen + " (x)";
  ASSERT_TRUE(query_parse(text));
  QueryTermTable table = term_table_build(text);
  std::vector<std::pair<char, std::string>> got;
  for (const QueryTerm& t : table.terms) got.emplace_back(t.type, t.text);
  const std::vector<std::pair<char, std::string>> expected = {
      {'a', "APPLE PIE"}, {'+', ""}, {'a', kZhong + kWen}, {'&', ""}, {'(', ""}, {'a', "X"}, {')', ""}};
  EXPECT_EQ(got, expected);
  EXPECT_EQ(table.chinese_words, 1);
  EXPECT_TRUE(table.terms[2].is_chinese());
  EXPECT_FALSE(table.terms[0].is_chinese());
}

TEST(QueryParse, FlagsFromRequest) {
  QueryFlags f = query_flags_from_request("1", "1", "9", "");
  EXPECT_TRUE(f.homophone && f.fault_tolerant && f.word_boundary);
  EXPECT_FALSE(f.category_filter || f.lexicon);
  f = query_flags_from_request("", "0", "1", "1");
  EXPECT_TRUE(f.category_filter && f.lexicon);
  EXPECT_FALSE(f.homophone || f.fault_tolerant || f.word_boundary);
}

TEST(QueryParse, EscapesKeywordsForLinks) {
  struct Case {
    std::string text;
    std::string agent;
    std::string expected;
  };
  const Case cases[] = {
      {kZhong, "Mozilla/5.0", "%A4%A4"},
      {kXu, "Mozilla/5.0", "%B3%5C"},
      {kXu, "Mozilla/4.0 (compatible; MSIE 6.0)", kXu},
      {"a b+c", "", "a+b%2Bc"},
      {"!@#$%^&*()|\\/+", "", "%21%40%23%24%25%5E%26%2A%28%29%7C%5C%2F%2B"},
      {"x-y_z.", "", "x-y_z."},
  };
  for (const Case& c : cases) EXPECT_EQ(url_escape_keyword(c.text, c.agent), c.expected) << c.text;
}

}  // namespace
}  // namespace qm
