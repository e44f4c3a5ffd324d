// Big5-aware text operations, numbers, lists, progress marks and share-path mapping.
#include "common/strings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/shares.h"
#include "testsupport/test_files.h"

namespace {

using qm::common_set_desktop_profile;

// Big5 literals used below:
//   "\xA4\xA4\xA4\xE5" 中文   "\xB3\x5C" 許 (trail is "\")   "\xA5\x78" 台 (trail is "x")
//   "\xAA\x65" 河 (trail is "e")  "\xAF\xF9" 茶

struct ProfileGuard {
  ~ProfileGuard() { common_set_desktop_profile(false); }
};

// Reads what a function wrote on the program's output.
class OutputCapture {
 public:
  OutputCapture() : file_(std::tmpfile()) { qm::prog_set_output(file_); }
  ~OutputCapture() {
    qm::prog_set_output(nullptr);
    std::fclose(file_);
  }
  std::string text() { return qm::test::file_contents(file_); }

 private:
  std::FILE* file_;
};

TEST(Big5, PairsAndHashSlots) {
  struct Case {
    unsigned char lead, trail;
    bool pair;
  } cases[] = {{0xA4, 0x40, true}, {0xA4, 0x3F, false}, {0xFF, 0x40, false}, {0xA1, 0xFE, true},
               {0xA0, 0x40, false}, {0xFE, 0xFF, false}, {0xB3, 0x5C, true}};
  for (const auto& c : cases) EXPECT_EQ(qm::big5_is_pair(c.lead, c.trail), c.pair) << int(c.lead) << "," << int(c.trail);
  EXPECT_EQ(qm::big5_index(0xA1, 0x40), 0);
  EXPECT_EQ(qm::big5_index(0xFE, 0xFE), 17953);
  EXPECT_EQ(qm::big5_index(0xA2, 0x41), 94 + 1);
}

TEST(StringFind, CaseBlindAndBig5Aware) {
  struct Case {
    std::string text, pattern;
    size_t at;
  } cases[] = {
      {"Green Tea leaves", "TEA", 6},
      {"abc", "abcd", std::string::npos},
      {"", "a", std::string::npos},
      // the trail byte of 台 is "x": it must not be found as a letter
      {"\xA5\x78 tax", "X", 5},
      {"\xA5\x78", "x", std::string::npos},
      // Big5 bytes compare exactly: 河 (trail "e") is not 河 with trail "E"
      {"\xAA\x45\xAA\x65", "\xAA\x65", 2},
      {"\xA4\xA4\xA4\xE5\xAF\xF9", "\xA4\xE5", 2},  // 中文茶: 文 found at its own start
      // "\xA4\xA4" 中 then "\xA4\xE5" 文: a match straddling two characters is refused
      {"\xA4\xA4\xA4\xE5", "\xA4\xA4\xE5", std::string::npos},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::string_find(c.text, c.pattern), c.at) << c.text << " / " << c.pattern;
  EXPECT_EQ(qm::big5_find_char("a\xA5\x78\xB3\x5C", "\xB3\x5C"), 3u);
  EXPECT_EQ(qm::big5_find_char("\xA4\xB3\x5C", "\xB3\x5C"), std::string::npos);  // 0xB3 is a trail here
}

TEST(Big5, AfterLastSeparator) {
  // "\xA5\x5C" is a Big5 character whose second byte is a backslash.
  const struct {
    const char* text;
    const char* after;
  } cases[] = {
      {"store\\Work\\Projects", "Projects"},
      {"Projects", "Projects"},
      {"store\\", ""},
      {"store\\\xA5\x5C", "\xA5\x5C"},
      {"a\\\xA5\x5C\\b\xA5\x5C", "b\xA5\x5C"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::big5_after_last(c.text, '\\'), c.after) << c.text;
}

TEST(StringCompare, CaseBlindAsciiOnly) {
  EXPECT_EQ(qm::string_icmp("Vesprin.INI", "vesprin.ini"), 0);
  EXPECT_LT(qm::string_icmp("abc", "abd"), 0);
  EXPECT_GT(qm::string_icmp("abcd", "ABC"), 0);
  EXPECT_EQ(qm::string_nicmp("DB-12", "db-99", 3), 0);
  EXPECT_NE(qm::string_icmp("\xAA\x45", "\xAA\x65"), 0);  // a trail byte is not a letter
}

TEST(StringEdit, UpperLowerTrimReplace) {
  std::string s = "tea \xA5\x78 pot";  // 台's trail byte "x" stays lower case
  qm::string_upper_big5(s);
  EXPECT_EQ(s, "TEA \xA5\x78 POT");
  qm::string_lower_big5(s);
  EXPECT_EQ(s, "tea \xA5\x78 pot");

  std::string t = " ,;a b;, ";
  qm::string_trim(t, " ,;");
  EXPECT_EQ(t, "a b");
  EXPECT_EQ(qm::string_skip_set("  \tx", " \t"), 3u);
  std::string r = "a-b--c";
  qm::string_remove_set(r, "-");
  EXPECT_EQ(r, "abc");

  struct Case {
    std::string text, find, replace;
    bool blind;
    std::string expect;
  } cases[] = {
      {"aXa", "a", "aa", false, "aaXaa"},  // goes on after each replacement
      {"Tea tea TEA", "tea", "x", true, "x x x"},
      {"Tea tea", "tea", "x", false, "Tea x"},
      {"abc", "", "x", false, "abc"},
      {"\xA5\x78x", "X", "y", true, "\xA5\x78y"},  // 台's trail byte is not replaced
  };
  for (auto c : cases) {
    qm::string_replace_all(c.text, c.find, c.replace, c.blind);
    EXPECT_EQ(c.text, c.expect);
  }
}

TEST(StringCutWords, EndsAtWordOrCharacterEnd) {
  struct Case {
    std::string text;
    size_t n;
    std::string expect;
  } cases[] = {
      {"short", 10, "short"},
      {"green tea leaves", 12, "green tea"},
      {"green tea leaves", 9, "green tea"},
      {"\xA4\xA4\xA4\xE5\xAF\xF9", 5, "\xA4\xA4\xA4\xE5"},  // 茶 would end at 6: not taken
      {"\xA4\xA4\xA4\xE5\xAF\xF9", 4, "\xA4\xA4\xA4\xE5"},
      {"ab\xA4\xA4\xA4\xE5", 5, "ab\xA4\xA4"},
      {"supercalifragilistic", 5, "super"},  // one long word: cut at n
      {"x\xA4\xA4", 2, "x"},
  };
  for (auto c : cases) {
    qm::string_cut_words(c.text, c.n);
    EXPECT_EQ(c.text, c.expect) << c.n;
  }
}

TEST(StringNextToken, Big5PairsStayWholeExceptInDesktopProfile) {
  ProfileGuard guard;
  std::string out;
  const char* text = "green, tea";
  const char* p = qm::string_next_token(text, " ,;.", out, 100);
  EXPECT_EQ(out, "green");
  p = qm::string_next_token(p, " ,;.", out, 100);
  EXPECT_EQ(out, "tea");
  EXPECT_EQ(*p, '\0');
  EXPECT_EQ(qm::string_next_token(p, " ,", out, 100), nullptr);
  EXPECT_EQ(qm::string_next_token("abc", "", out, 100), nullptr);

  // 許 ends in 0x5C: with "\" as delimiter the character is one token piece.
  std::string big5 = "\xB3\x5C\xA5\x78\\next";
  p = qm::string_next_token(big5.c_str(), "\\", out, 100);
  EXPECT_EQ(out, "\xB3\x5C\xA5\x78");
  qm::string_next_token(p, "\\", out, 100);
  EXPECT_EQ(out, "next");
  // max never splits a pair
  qm::string_next_token("\xA4\xA4\xA4\xE5", " ", out, 3);
  EXPECT_EQ(out, "\xA4\xA4");

  common_set_desktop_profile(true);
  qm::string_next_token(big5.c_str(), "\\", out, 100);
  EXPECT_EQ(out, "\xB3");
}

TEST(StringNextWord, RunsOfLettersDoubleBytesAndOthers) {
  std::string text = "Tea2go\xA4\xA4\xA4\xE5, x";
  std::vector<std::string> words;
  std::string w;
  for (const char* p = text.c_str(); (p = qm::string_next_word(p, w, 4));) words.push_back(w);
  EXPECT_EQ(words, (std::vector<std::string>{"Tea2", "\xA4\xA4\xA4\xE5", ",", " ", "x"}));
  const char* after = qm::string_copy_word("abc-d", w, 2);
  EXPECT_EQ(w, "ab");
  EXPECT_EQ(*after, 'c');
}

TEST(Numbers, IntToTextAndHex) {
  struct Case {
    long long v;
    int base;
    const char* expect;
  } cases[] = {{-255, 16, "-FF"}, {255, 2, "11111111"}, {0, 10, "0"},          {1000, 10, "1000"},
               {35, 17, "0"},      {10, 1, "0"},       {-9223372036854775807LL - 1, 16, "-8000000000000000"}};
  for (const auto& c : cases) EXPECT_EQ(qm::int_to_text(c.v, c.base), c.expect);
  EXPECT_TRUE(qm::is_hex_digit('f'));
  EXPECT_FALSE(qm::is_hex_digit('g'));
  EXPECT_EQ(qm::hex_digit_value('c'), 12);
  EXPECT_EQ(qm::hex_byte_text(0x5C), "5C");
}

TEST(Numbers, LeadingNumber) {
  struct Case {
    const char* text;
    long long expect;
  } cases[] = {{"42", 42},   {" \t-17x", -17}, {"+8,9", 8},  {"", 0},         {"x1", 0},
               {"- 3", 0},   {"\n5", 0},       {"007", 7},   {"2147483647", 2147483647LL}};
  for (const auto& c : cases) EXPECT_EQ(qm::string_leading_number(c.text), c.expect) << c.text;
  // Past the int range the value stays above INT_MAX without overflowing.
  for (const char* big : {"2147483648", "99999999999999999999999", "-99999999999999999999"}) {
    const long long v = qm::string_leading_number(big);
    EXPECT_GT(v < 0 ? -v : v, 2147483647LL) << big;
    EXPECT_LE(v < 0 ? -v : v, 21474836479LL) << big;
  }
}

TEST(UrlIsHttp, PrefixRewrittenInLowerCase) {
  ProfileGuard guard;
  struct Case {
    std::string text;
    int search, desktop;
    std::string rewritten;
  } cases[] = {{"HTTP://host/x", 6, 1, "http://host/x"},
               {"Https://host", 7, 0, "https://host"},
               {"ftp://x", 0, 0, "ftp://x"},
               {"", 0, 0, ""},
               {"http:", 0, 0, "http:"}};
  for (const auto& c : cases) {
    common_set_desktop_profile(false);
    std::string t = c.text;
    EXPECT_EQ(qm::url_is_http(t), c.search) << c.text;
    EXPECT_EQ(t, c.rewritten);
    common_set_desktop_profile(true);
    t = c.text;
    EXPECT_EQ(qm::url_is_http(t), c.desktop) << c.text;
  }
}

TEST(StringList, OrderAndMembership) {
  qm::StringList list;
  qm::stringlist_prepend(list, "txt");
  qm::stringlist_prepend(list, "HTM");
  qm::stringlist_push_after_head(list, "doc");
  EXPECT_TRUE(qm::stringlist_contains(list, "htm"));
  EXPECT_FALSE(qm::stringlist_contains_exact(list, "htm"));
  EXPECT_TRUE(qm::stringlist_contains_exact(list, "HTM"));
  std::string out;
  std::vector<std::string> order;
  while (qm::stringlist_pop_head(list, out)) order.push_back(out);
  EXPECT_EQ(order, (std::vector<std::string>{"HTM", "doc", "txt"}));
  EXPECT_FALSE(qm::stringlist_pop_first(list, out));
}

TEST(PostingCompare, DocumentThenParagraphThenPosition) {
  using P = qm::PostingEntry;
  struct Case {
    P a, b;
    int expect;
  } cases[] = {{{1, 9, 9}, {2, 0, 0}, -1}, {{2, 1, 9}, {2, 2, 0}, -1}, {{2, 2, 5}, {2, 2, 4}, 1},
               {{7, 7, 7}, {7, 7, 7}, 0},  {{0x80000000u, 0, 0}, {1, 0, 0}, 1}};
  for (const auto& c : cases) EXPECT_EQ(qm::posting_compare(c.a, c.b), c.expect);
}

TEST(ProgPercent, MarksTensAndHundredOnce) {
  ProfileGuard guard;
  {
    OutputCapture cap;
    qm::prog_percent(0, 0);
    for (int i = 0; i <= 100; ++i) qm::prog_percent(i, 100);
    qm::prog_percent(100, 100);
    EXPECT_EQ(cap.text(),
              "++++10++++20++++30++++40++++50++++60++++70++++80++++90++++100\n");
  }
  {
    OutputCapture cap;  // a jump writes every mark in between
    qm::prog_percent(0, 0);
    EXPECT_EQ(qm::prog_percent(25, 100), 25);
    EXPECT_EQ(cap.text(), "++++10++++20++");
  }
  {
    OutputCapture cap;  // 64-bit arithmetic for large totals
    qm::prog_percent(0, 0);
    EXPECT_EQ(qm::prog_percent(3000000000LL, 6000000000LL), 50);
  }
  {
    OutputCapture cap;
    qm::prog_percent(0, 0);
    common_set_desktop_profile(true);
    EXPECT_EQ(qm::prog_percent(100, 100), 100);
    qm::prog_quiet(0);
    qm::prog_print("hidden");
    qm::prog_quiet(1);
    EXPECT_EQ(cap.text(), "");
  }
  qm::prog_percent(0, 0);
}

class PathToShare : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("qm-share-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    conf_ = (dir_ / "smb.conf").string();
    std::ofstream(conf_) << "[global]\n  workgroup = HOME\n  path = /nowhere\n"
                            "[Docs]\n  path = /srv/docs\n"
                            "[cache]\n  Path = /var/cache/qm/\n"
                            "[\xB3\x5C]\n  path = /srv/big5\n";
    qm::shares_set_config_path(conf_);
    host_ = qm::computer_name();
  }
  void TearDown() override {
    qm::shares_set_config_path("");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  std::string conf_, host_;
};

TEST_F(PathToShare, MapsSharesOfThisComputerOnly) {
  ASSERT_FALSE(host_.empty());
  std::string upper = host_;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    std::string path;
    int result;
    std::string out;
  } cases[] = {
      {"\\\\" + upper + "\\docs\\tea\\notes.txt", 1, "/srv/docs/tea/notes.txt"},
      {"  //" + host_ + "/Docs/a", 1, "/srv/docs/a"},
      {"\\\\" + host_ + "\\cache\\q1\\", 1, "/var/cache/qm/q1/"},
      {"\\\\" + host_ + "\\cache\\", 1, "/var/cache/qm/"},
      {"\\\\" + host_ + "\\\xB3\x5C\\r", 1, "/srv/big5/r"},  // share name 許 ends in 0x5C
      {"\\\\other-computer-x\\docs\\a", 0, "untouched"},
      {"\\\\" + host_ + "\\global\\a", 0, "untouched"},
      {"\\\\" + host_ + "\\missing\\a", 0, "untouched"},
      {"\\\\" + host_ + "\\docs", 0, "untouched"},
      {"\\\\" + host_, 0, "untouched"},
      {"C:\\docs\\a", 0, "untouched"},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(qm::path_to_share(c.path, out), c.result) << c.path;
    EXPECT_EQ(out, c.out) << c.path;
  }
}

TEST_F(PathToShare, NoSambaConfigurationMapsNothing) {
  qm::shares_set_config_path((dir_ / "absent.conf").string());
  std::string out = "untouched";
  EXPECT_EQ(qm::path_to_share("\\\\" + host_ + "\\docs\\a", out), 0);
  EXPECT_EQ(out, "untouched");
}

}  // namespace
