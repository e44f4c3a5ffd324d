// Word dictionary reader, dictionary-word finder, word-boundary check and hit windows over
// small phrase files written by the tests.
#include "langdata/dictionary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Big5 characters used in the fixtures.
const std::string kShang = "\xA4\x57";  // 上
const std::string kHai = "\xAE\xFC";    // 海
const std::string kXian = "\xC2\x41";   // 鮮
const std::string kHua = "\xAA\xE1";    // 花
const std::string kDa = "\xA4\x6A";     // 大
const std::string kXue = "\xBE\xC7";    // 學
const std::string kSheng = "\xA5\xCD";  // 生
const std::string kHuo = "\xAC\xA1";    // 活
const std::string kRen = "\xA4\x48";    // 人

class LangdataDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::phrase_reset();
    dir_ = fs::temp_directory_path() /
           ("qm_dictionary_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    qm::phrase_reset();
    fs::remove_all(dir_);
  }
  void write(int n, const std::string& bytes) {
    std::ofstream(dir_ / ("phrase-" + std::to_string(n) + ".txt"), std::ios::binary) << bytes;
  }
  // The standard fixture: 上海, 鮮花, 大學, 生活 / 大學生 / 大學生活.
  void write_standard() {
    write(2, kDa + kXue + "\r\n" + kShang + kHai + "\r\n" + kSheng + kHuo + "\r\n" + kXian + kHua + "\r\n");
    write(3, kDa + kXue + kSheng + "\r\n");
    write(4, kDa + kXue + kSheng + kHuo + "\r\n");
    ASSERT_EQ(qm::phrase_lists_load(dir_.string()), 4);
  }
  fs::path dir_;
};

TEST_F(LangdataDictionary, ListsLoadStopsAtTheFirstMissingOrEmptyFile) {
  struct Case {
    const char* name;
    std::map<int, std::string> files;
    int largest;
    std::vector<int> loaded;  // lists that hold words afterwards
  } cases[] = {
      {"all three", {{2, kDa + kXue + "\r\n"}, {3, kDa + kXue + kSheng + "\r\n"}, {4, kDa + kXue + kSheng + kHuo + "\r\n"}}, 4, {2, 3, 4}},
      {"no phrase-3", {{2, kDa + kXue + "\r\n"}, {4, kDa + kXue + kSheng + kHuo + "\r\n"}}, 2, {2}},
      {"empty phrase-2", {{2, ""}, {3, kDa + kXue + kSheng + "\r\n"}}, 1, {}},
      {"blank lines only", {{2, "\r\n\r\n"}}, 1, {}},
      {"none", {}, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qm::phrase_reset();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& [n, bytes] : c.files) write(n, bytes);
    EXPECT_EQ(qm::phrase_lists_load(dir_.string()), c.largest);
    for (int n = 2; n <= 4; ++n) {
      const bool expected = std::find(c.loaded.begin(), c.loaded.end(), n) != c.loaded.end();
      EXPECT_EQ(qm::phrase_dictionary().list_size(n) > 0, expected) << "list " << n;
    }
  }
  // Freeing empties every list; loading one list alone works afterwards.
  write(2, kDa + kXue + "\r\n");
  qm::phrase_lists_free();
  EXPECT_FALSE(qm::phrase_list_contains(kDa + kXue, 2));
  EXPECT_TRUE(qm::phrase_list_load(dir_.string(), 2));
  EXPECT_TRUE(qm::phrase_list_contains(kDa + kXue, 2));
  EXPECT_FALSE(qm::phrase_list_load(dir_.string(), 5));
}

TEST_F(LangdataDictionary, ContainsFindsEveryWordWhateverTheLineEnds) {
  // Unsorted, mixed line ends, a blank line, trailing blanks; the last line has no end.
  write(2, kSheng + kHuo + "\n" + kShang + kHai + "\r" + "\r\n" + kXian + kHua + " \t\r\n" + kDa + kXue);
  ASSERT_TRUE(qm::phrase_list_load(dir_.string(), 2));
  EXPECT_EQ(qm::phrase_dictionary().list_size(2), 4u);
  struct Case {
    std::string word;
    bool found;
  } cases[] = {
      {kSheng + kHuo, true}, {kShang + kHai, true}, {kXian + kHua, true}, {kDa + kXue, true},
      {kHai + kXian, false}, {kDa, false}, {"", false}, {kDa + kXue + kSheng, false},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::phrase_list_contains(c.word, 2), c.found);
  EXPECT_FALSE(qm::phrase_list_contains(kDa + kXue, 3));
}

TEST_F(LangdataDictionary, FindWordsTakesTheLongestWordAtEachPlace) {
  write_standard();
  using W = qm::DictionaryWord;
  struct Case {
    const char* name;
    std::string text;
    std::size_t maximum;
    std::vector<W> words;
  } cases[] = {
      {"two words, the last at the end", kShang + kHai + kXian + kHua, 10, {{0, 4}, {4, 4}}},
      {"longest first", kDa + kXue + kSheng + kHuo + kRen, 10, {{0, 8}}},
      {"three-character word", kDa + kXue + kSheng + kRen, 10, {{0, 6}}},
      {"split by a line end", kShang + "\r\n" + kHai + kRen, 10, {{0, 6}}},
      {"split by blanks inside a longer word", kDa + kXue + " \t" + kSheng + kHuo, 10, {{0, 10}}},
      {"ASCII stops collecting", kShang + "x" + kHai + kXian + kHua, 10, {{5, 4}}},
      {"odd start", "ab" + kRen + kShang + kHai, 10, {{4, 4}}},
      {"maximum", kShang + kHai + kXian + kHua + kDa + kXue, 2, {{0, 4}, {4, 4}}},
      {"no words", kRen + kHai + kRen, 10, {}},
      {"trailing lead byte", kShang + kHai + "\xA4", 10, {{0, 4}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qm::phrase_find_words(c.text, c.maximum), c.words);
  }
}

TEST_F(LangdataDictionary, BoundaryCheckDropsHitsThatCutAWord) {
  write_standard();
  struct Case {
    const char* name;
    std::string window;
    std::size_t offset;
    std::size_t chars;
    bool keeps;
  } cases[] = {
      // 上海鮮花: 海鮮 starts inside 上海 and ends inside 鮮花.
      {"cuts two words", kShang + kHai + kXian + kHua, 2, 2, false},
      {"is a word", kShang + kHai + kXian + kHua, 0, 2, true},
      {"spans whole words", kShang + kHai + kXian + kHua, 0, 4, true},
      {"inside a word", kDa + kXue + kSheng + kHuo, 2, 2, true},
      {"ends a word", kDa + kXue + kSheng + kHuo, 4, 2, true},
      // 人大: starts before 大學 and ends inside it.
      {"starts before, ends inside", kRen + kDa + kXue + kRen, 0, 2, false},
      // 學人 in 大學人: starts inside 大學 and ends after it.
      {"starts inside, ends after", kRen + kDa + kXue + kRen, 4, 2, false},
      {"no dictionary word", kRen + kHai + kRen, 2, 2, true},
      // The line end inside 上\r\n海 belongs to the word, so 海鮮 still cuts it.
      {"word across a line end", kShang + "\r\n" + kHai + kXian + kHua, 4, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qm::phrase_boundary_keeps(qm::phrase_dictionary(), c.window, c.offset, c.chars), c.keeps);
  }
}

TEST(LangdataHitWindow, CutsAroundTheHitOnCharacterBoundaries) {
  // 40 Big5 characters: 80 bytes, then an ASCII tail.
  std::string paragraph;
  for (int i = 0; i < 40; ++i) paragraph += std::string{char(0xA4), char(0x40 + i)};
  const std::string mixed = "abc" + paragraph.substr(0, 20) + "defgh" + paragraph.substr(20, 30);
  auto none = [](std::string_view) -> std::optional<std::size_t> { return std::nullopt; };
  auto at = [](std::size_t where) {
    return [where](std::string_view) -> std::optional<std::size_t> { return where; };
  };

  struct Case {
    const char* name;
    std::string text;
    std::size_t position;
    std::size_t chars;
    qm::FirstHitFinder finder;
    std::size_t from, to, offset, position_after;
  } cases[] = {
      // W = 2n + 16 = 20; half 10.
      {"short paragraph is whole", paragraph.substr(0, 20), 6, 2, none, 0, 20, 6, 6},
      {"middle", paragraph, 40, 2, none, 30, 50, 10, 40},
      {"near the start", paragraph, 8, 2, none, 0, 18, 8, 8},
      {"near the end", paragraph, 74, 2, none, 64, 80, 10, 74},
      {"inside a character", paragraph, 41, 2, none, 30, 50, 10, 40},
      {"finder moves the hit", paragraph, 40, 2, at(6), 36, 56, 10, 46},
      // Mixed text: the window edges round up to the next character start.
      {"odd edges", mixed, 27, 2, none, 17, 38, 10, 27},
      {"position past the end", paragraph.substr(0, 30), 99, 2, none, 20, 30, 10, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto w = qm::paragraph_hit_window(c.text, c.position, c.chars, c.finder);
    EXPECT_EQ(w.text, c.text.substr(c.from, c.to - c.from));
    EXPECT_EQ(w.offset, c.offset);
    EXPECT_EQ(w.position, c.position_after);
  }
}

}  // namespace
