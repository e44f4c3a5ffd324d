// Slot formulas of the index format and the English word signature.
#include <gtest/gtest.h>

#include "index/index_format.h"
#include "index/word_signature.h"

namespace qm {
namespace {

namespace fmt = index_format;

TEST(IndexFormat, CharacterSlots) {
  EXPECT_EQ(fmt::char_slot(0xA1, 0x40), 0u);
  EXPECT_EQ(fmt::char_slot(0xFE, 0xFE), 17953u);
  EXPECT_EQ(fmt::char_slot(0xA4, 0xA4), 9403u);  // 中: trail-major order
  EXPECT_EQ(fmt::char_slot(0xA2, 0x40), 1u);
  EXPECT_EQ(fmt::char_slot(0xA1, 0x41), 94u);
  EXPECT_EQ(fmt::kCharHashFileSize, 143632u);
  EXPECT_EQ(fmt::char_code(0xA4, 0xE5), 0xA4E5);
}

TEST(IndexFormat, PrefixSlots) {
  struct Case { const char* word; int slot; };
  const Case cases[] = {
      {"A", 10}, {"AB", 407}, {"0", 0}, {"00", 36}, {"ZZ", 1331}, {"Z", 35},
      {"HELLO", 662}, {"", -1}, {"a", -1}, {"Ab", -1}, {"-A", -1}, {"A-", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(fmt::prefix_slot(c.word), c.slot) << c.word;
  EXPECT_EQ(fmt::prefix_slot(std::string_view("A\0X", 3)), 10);  // a stored one-letter word
}

TEST(WordSignature, HandComputed) {
  struct Case { const char* word; uint32_t letters; uint32_t transitions; };
  const Case cases[] = {
      // A: letter bit 0 + bit 26; from "none" (26) to A (0): d = 26.
      {"A", 1u << 0 | 1u << 26, 1u << 26 | 1u << 27},
      // AB: bits 0, 1, 26; none->A d=26, A->B d=-1 -> bit 25; length 2.
      {"AB", 1u << 0 | 1u << 1 | 1u << 26, 1u << 26 | 1u << 25 | 2u << 27},
      // Case does not matter.
      {"ab", 1u << 0 | 1u << 1 | 1u << 26, 1u << 26 | 1u << 25 | 2u << 27},
      // 0 stands for o (14): bit 14 + bit 27; none->o d=12.
      {"0", 1u << 14 | 1u << 27, 1u << 12 | 1u << 27},
      // AA: A->A d=0.
      {"AA", 1u << 0 | 1u << 26, 1u << 26 | 1u << 0 | 2u << 27},
      // -: no letter bits; none->other d=0.
      {"-", 0, 1u << 0 | 1u << 27},
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    WordSignature s = word_signature(c.word);
    EXPECT_EQ(s.letters, c.letters) << c.word;
    EXPECT_EQ(s.transitions, c.transitions) << c.word;
  }
  // The digit 0 and the letter O share their letter bit; only bit 26/27 tells them apart.
  EXPECT_EQ(word_signature("G00D").letters & 0x3FFFFFF, word_signature("GOOD").letters & 0x3FFFFFF);
  EXPECT_EQ(signature_length(word_signature(std::string(30, 'X'))), 30u);
  EXPECT_EQ(signature_length(word_signature(std::string(31, 'X'))), 31u);
  EXPECT_EQ(signature_length(word_signature(std::string(40, 'X'))), 31u);
}

}  // namespace
}  // namespace qm
