// Checks of the generated language data in the dist directory: the homophone tables'
// structure and limits, agreement with Unihan's readings (through an independent Python
// oracle), and the phrase files' format, plus the readers working on the real files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "common/strings.h"
#include "langdata/dictionary.h"
#include "langdata/homophone.h"
#include "platform/fatal.h"
#include "platform/le.h"
#include "testsupport/test_files.h"

namespace hf = qm::homophone_format;

namespace {

std::string dist_dir() {
  const char* env = std::getenv("QM_DIST_DIR");
  return env && *env ? env : QM_DIST_DIR;
}

std::string read_file(const std::string& name) {
  std::ifstream in(dist_dir() + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name << " missing in " << dist_dir();
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string code(uint16_t c) { return {char(c >> 8), char(c & 0xFF)}; }

// The codes of the big5.dat group at offset; fails the test on a malformed group.
std::vector<uint16_t> group_at(const std::string& dat, std::size_t offset) {
  std::vector<uint16_t> codes;
  std::size_t i = offset;
  for (; i + 1 < dat.size() && dat[i] != '\0'; i += 2) {
    const auto lead = uint8_t(dat[i]), trail = uint8_t(dat[i + 1]);
    EXPECT_TRUE(qm::big5_is_pair(lead, trail)) << "invalid pair at " << i;
    codes.push_back(uint16_t(lead << 8 | trail));
  }
  EXPECT_TRUE(i < dat.size() && dat[i] == '\0') << "group at " << offset << " has no NUL";
  EXPECT_LE(i + 1 - offset, hf::kGroupReadBytes) << "group at " << offset;
  return codes;
}

TEST(LangdataGeneratedHomophones, StayWithinTheFormatsLimits) {
  const std::string ref = read_file("big5.ref");
  const std::string dat = read_file("big5.dat");
  ASSERT_GT(ref.size(), hf::kRefEntryBase);
  ASSERT_LE(ref.size(), hf::kRefEntryBase + hf::kMaxEntryOffset + 1 + 2 * hf::kMaxGroups);
  ASSERT_LE(dat.size(), hf::kMaxGroupOffset + hf::kGroupReadBytes);
  const auto* r = reinterpret_cast<const unsigned char*>(ref.data());

  std::size_t with_homophones = 0;
  std::size_t max_group = 0;
  for (int lead = 0xA1; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const uint16_t c = uint16_t(lead << 8 | trail);
      const int value = int16_t(qm::le::get16(r + hf::big5_ref_index(uint8_t(lead), uint8_t(trail)) * 2));
      if (!qm::big5_is_pair(uint8_t(lead), uint8_t(trail)) || (trail > 0x7E && trail < 0xA1)) {
        EXPECT_EQ(value, 0) << std::hex << c << ": no Big5 character there";
        continue;
      }
      if (value < 1) continue;
      ++with_homophones;
      const std::size_t entry = hf::kRefEntryBase + std::size_t(value);
      ASSERT_LT(entry, ref.size()) << std::hex << c;
      const int groups = r[entry];
      ASSERT_GE(groups, 1) << std::hex << c;
      ASSERT_LE(groups, hf::kMaxGroups) << std::hex << c;
      ASSERT_LE(entry + 1 + 2 * std::size_t(groups), ref.size()) << std::hex << c;
      bool itself = false;
      for (int g = 0; g < groups; ++g) {
        const std::size_t offset = qm::le::get16(r + entry + 1 + 2 * g);
        ASSERT_LT(offset, dat.size()) << std::hex << c;
        const auto codes = group_at(dat, offset);
        ASSERT_FALSE(codes.empty());
        EXPECT_LE(codes.size(), hf::kMaxGroupCodes);
        EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()) &&
                    std::adjacent_find(codes.begin(), codes.end()) == codes.end())
            << "group at " << offset << " not ascending and unique";
        itself = itself || std::find(codes.begin(), codes.end(), c) != codes.end();
        max_group = std::max(max_group, codes.size());
      }
      EXPECT_TRUE(itself) << std::hex << c << " is missing from its own groups";
    }
  }
  // Big5 has 13,053 ideographs in its two levels plus a few extensions.
  EXPECT_GT(with_homophones, 13000u);
  EXPECT_GT(max_group, 50u);
}

TEST(LangdataGeneratedHomophones, AgreeWithUnihanReadings) {
  // 同 音 和 的 臺 行 長 學, and the full-width space (no reading).
  const std::vector<uint16_t> samples = {0xA650, 0xADB5, 0xA94D, 0xAABA, 0xBB4F,
                                         0xA6E6, 0xAAF8, 0xBEC7, 0xA140};
  std::string command = "python3 '" QM_SOURCE_DIR "/langdata/tests/unihan_oracle.py' '" QM_UNIHAN_READINGS "'";
  for (uint16_t c : samples) {
    char hex[8];
    std::snprintf(hex, sizeof hex, " %04X", c);
    command += hex;
  }
  std::string output;
  ASSERT_EQ(qm::test::command_output(command, output), 0) << "oracle failed: " << command;

  auto parse = [](const std::string& list) {
    std::vector<uint16_t> codes;
    std::stringstream s(list);
    for (std::string item; std::getline(s, item, ',');) codes.push_back(uint16_t(std::stoul(item, nullptr, 16)));
    return codes;
  };
  auto slot_codes = [](const std::string& slot) {
    std::vector<uint16_t> codes;
    for (std::size_t i = 0; i + 1 < slot.size(); i += 2)
      codes.push_back(uint16_t(uint8_t(slot[i]) << 8 | uint8_t(slot[i + 1])));
    return codes;
  };

  qm::fatal_reset();
  qm::homophone_reset();
  qm::homophone_set_paths(dist_dir());
  std::stringstream lines(output);
  std::size_t checked = 0;
  for (std::string line; std::getline(lines, line);) {
    std::stringstream fields(line);
    std::string hex, main_group, all;
    fields >> hex >> main_group >> all;
    const uint16_t c = uint16_t(std::stoul(hex, nullptr, 16));
    SCOPED_TRACE(hex);
    qm::HomophoneSlot slot;
    const bool found = qm::homophone_lookup(code(c), slot);
    ++checked;
    if (main_group == "-") {
      EXPECT_FALSE(found);
      EXPECT_EQ(slot, code(c));
      continue;
    }
    EXPECT_TRUE(found);
    const auto got = slot_codes(slot);
    const auto expected_main = parse(main_group);
    auto expected_all = parse(all);
    ASSERT_LE(expected_all.size(), hf::kMaxSlotCodes);
    // The main reading's group comes first, whole; then the other readings' new codes.
    ASSERT_GE(got.size(), expected_main.size());
    EXPECT_EQ(std::vector<uint16_t>(got.begin(), got.begin() + std::ptrdiff_t(expected_main.size())), expected_main);
    auto sorted = got;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, expected_all);
  }
  EXPECT_EQ(checked, samples.size());
  qm::homophone_reset();
}

TEST(LangdataGeneratedPhrases, AreSortedUniqueBig5WordsWithCrLf) {
  for (int n = 2; n <= 4; ++n) {
    SCOPED_TRACE(n);
    const std::string text = read_file("phrase-" + std::to_string(n) + ".txt");
    ASSERT_FALSE(text.empty());
    ASSERT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n");
    std::string previous;
    std::size_t words = 0;
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t end = text.find("\r\n", i);
      ASSERT_NE(end, std::string::npos);
      const std::string word = text.substr(i, end - i);
      ASSERT_EQ(word.size(), std::size_t(2 * n)) << "line " << words + 1;
      for (std::size_t k = 0; k < word.size(); k += 2)
        ASSERT_TRUE(qm::big5_is_pair(uint8_t(word[k]), uint8_t(word[k + 1])) && uint8_t(word[k]) >= 0xA4)
            << "line " << words + 1 << " is not Big5 ideographs";
      if (words > 0) {
        ASSERT_LT(previous, word) << "line " << words + 1 << " out of order or repeated";
      }
      previous = word;
      ++words;
      i = end + 2;
    }
    EXPECT_GT(words, 1000u);
  }
}

TEST(LangdataGeneratedPhrases, ReadersFindRealWords) {
  qm::phrase_reset();
  ASSERT_EQ(qm::phrase_lists_load(dist_dir()), 4);
  const std::string da_xue = "\xA4\x6A\xBE\xC7";  // 大學
  const std::string shang_hai = "\xA4\x57\xAE\xFC";  // 上海
  const std::string xian_hua = "\xC2\x41\xAA\xE1";   // 鮮花
  EXPECT_TRUE(qm::phrase_list_contains(da_xue, 2));
  EXPECT_TRUE(qm::phrase_list_contains(shang_hai, 2));
  EXPECT_TRUE(qm::phrase_list_contains(xian_hua, 2));
  // 海鮮 in 上海鮮花 cuts both words; 上海 in it does not.
  const std::string text = shang_hai + xian_hua;
  EXPECT_FALSE(qm::phrase_boundary_keeps(qm::phrase_dictionary(), text, 2, 2));
  EXPECT_TRUE(qm::phrase_boundary_keeps(qm::phrase_dictionary(), text, 0, 2));
  qm::phrase_reset();
}

}  // namespace
