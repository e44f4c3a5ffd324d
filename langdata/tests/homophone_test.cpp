// Homophone table reader and query slots over small tables written by the tests.
#include "langdata/homophone.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/fatal.h"
#include "platform/le.h"

namespace fs = std::filesystem;
namespace hf = qm::homophone_format;

namespace {

std::string code(uint16_t c) { return {char(c >> 8), char(c & 0xFF)}; }
std::string codes(std::initializer_list<uint16_t> list) {
  std::string s;
  for (uint16_t c : list) s += code(c);
  return s;
}

// Writes big5.ref / big5.dat: groups are appended to big5.dat as given; each character gets
// an entry listing group numbers, or a raw index value.
class FixtureTables {
 public:
  // Appends a group (codes then NUL, unless nul is false) and returns its number.
  int group(const std::string& group_codes, bool nul = true) {
    offsets_.push_back(dat_.size());
    dat_ += group_codes;
    if (nul) dat_ += '\0';
    return int(offsets_.size()) - 1;
  }
  void entry(uint16_t character, std::vector<int> groups) {
    std::vector<uint16_t> offs;
    for (int g : groups) offs.push_back(g < 0 ? uint16_t(0xFFF0) : uint16_t(offsets_[std::size_t(g)]));
    raw_entry(character, uint8_t(groups.size()), offs);
  }
  void raw_entry(uint16_t character, uint8_t count, const std::vector<uint16_t>& offs) {
    index_[character] = int16_t(entries_.size());
    entries_ += char(count);
    for (uint16_t o : offs) qm::le::append16(entries_, o);
  }
  void raw_index(uint16_t character, int16_t value) { index_[character] = value; }

  void write(const fs::path& dir, std::size_t truncate_ref = std::string::npos) const {
    std::string ref;
    for (std::size_t i = 0; i < hf::kRefIndexCount; ++i) qm::le::append16(ref, 0);
    for (auto [c, v] : index_) {
      std::size_t at = hf::big5_ref_index(uint8_t(c >> 8), uint8_t(c & 0xFF)) * 2;
      qm::le::put16(reinterpret_cast<unsigned char*>(ref.data()) + at, uint16_t(v));
    }
    ref += entries_;
    if (truncate_ref != std::string::npos) ref.resize(truncate_ref);
    std::ofstream(dir / "big5.ref", std::ios::binary) << ref;
    std::ofstream(dir / "big5.dat", std::ios::binary) << dat_;
  }

 private:
  std::string dat_;
  std::vector<std::size_t> offsets_;
  std::string entries_ = std::string(1, '\0');  // offset 0 is never an entry
  std::map<uint16_t, int16_t> index_;
};

class LangdataHomophone : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::fatal_reset();
    qm::homophone_reset();
    dir_ = fs::temp_directory_path() /
           ("qm_homophone_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    qm::homophone_reset();
    qm::fatal_reset();
    fs::remove_all(dir_);
  }
  void use(const FixtureTables& t, std::size_t truncate_ref = std::string::npos) {
    t.write(dir_, truncate_ref);
    qm::homophone_set_paths(dir_.string());
  }
  fs::path dir_;
};

TEST_F(LangdataHomophone, LookupReadsGroupsOfAnEntry) {
  FixtureTables t;
  const int g1 = t.group(codes({0xA440, 0xA441, 0xA442}));
  const int g2 = t.group(codes({0xA441, 0xA450, 0xA451}));
  const int g3 = t.group(codes({0xA451, 0xA460, 0xA440}));
  t.entry(0xA440, {g1});
  t.entry(0xA441, {g1, g2, g3});
  t.raw_entry(0xA442, 7, {0, 0, 0, 0, 0, 0, 0});  // seven groups: read as none
  t.raw_index(0xA443, 0);
  t.raw_index(0xA444, -5);
  t.entry(0xA445, {-1});                          // group offset beyond big5.dat
  t.entry(0xA446, {-1, g2});
  t.raw_index(0xA447, 30000);                     // entry offset beyond big5.ref
  t.raw_entry(0xA448, 0, {});                     // entry without groups
  t.entry(0xA449, {g1, g1, g1, g1, g1, g2});      // six groups are all read
  const int bad = t.group("\xA4\x40\x20\x41\xA4\x41");  // an invalid pair inside
  t.entry(0xA44A, {bad});
  const int twice = t.group(codes({0xA450, 0xA441, 0xA450}));  // a code listed twice
  t.entry(0xA44B, {twice});
  t.entry(0xA44C, {-1, twice});
  use(t);

  struct Case {
    uint16_t character;
    bool found;
    std::string slot;
  } cases[] = {
      {0xA440, true, codes({0xA440, 0xA441, 0xA442})},
      {0xA441, true, codes({0xA440, 0xA441, 0xA442, 0xA450, 0xA451, 0xA460})},
      {0xA442, true, code(0xA442)},
      {0xA443, false, code(0xA443)},
      {0xA444, false, code(0xA444)},
      {0xA445, true, code(0xA445)},
      {0xA446, true, codes({0xA441, 0xA450, 0xA451})},
      {0xA447, true, code(0xA447)},
      {0xA448, true, code(0xA448)},
      {0xA449, true, codes({0xA440, 0xA441, 0xA442, 0xA450, 0xA451})},
      {0xA44A, true, codes({0xA440, 0xA441})},
      {0xA44B, true, codes({0xA450, 0xA441})},  // each code once
      {0xA44C, true, codes({0xA450, 0xA441})},
      {0xC940, false, code(0xC940)},  // not in the index at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.character);
    qm::HomophoneSlot slot = "stale";
    EXPECT_EQ(qm::homophone_lookup(code(c.character), slot), c.found);
    EXPECT_EQ(slot, c.slot);
  }
}

TEST_F(LangdataHomophone, GroupsAndMergedSlotsStayWithinTheirLimits) {
  // A group without a NUL is read as at most 512 bytes (256 codes); merged groups stop at
  // 256 codes so that a slot of 513 bytes never overflows.
  std::string long_group;
  for (int i = 0; i < 300; ++i) long_group += code(uint16_t(0xA440 + (i / 63) * 0x100 + i % 63));
  std::string first, second;
  for (int i = 0; i < 200; ++i) first += code(uint16_t(0xB040 + (i / 63) * 0x100 + i % 63));
  for (int i = 0; i < 200; ++i) second += code(uint16_t(0xC140 + (i / 63) * 0x100 + i % 63));
  FixtureTables t;
  const int g1 = t.group(first);
  const int g2 = t.group(second);
  const int unended = t.group(long_group, false);
  t.entry(0xB040, {g1, g2});
  t.entry(0xA440, {unended});
  use(t);

  qm::HomophoneSlot slot;
  EXPECT_TRUE(qm::homophone_lookup(code(0xB040), slot));
  EXPECT_EQ(slot.size(), hf::kMaxSlotCodes * 2);
  EXPECT_EQ(slot, first + second.substr(0, 56 * 2));

  EXPECT_TRUE(qm::homophone_lookup(code(0xA440), slot));
  EXPECT_EQ(slot, long_group.substr(0, hf::kGroupReadBytes));
}

TEST_F(LangdataHomophone, TruncatedIndexMeansNoHomophones) {
  FixtureTables t;
  t.entry(0xF9D5, {t.group(codes({0xF9D5, 0xA440}))});
  use(t, 1000);
  qm::HomophoneSlot slot;
  EXPECT_FALSE(qm::homophone_lookup(code(0xF9D5), slot));
  EXPECT_EQ(slot, code(0xF9D5));
}

TEST_F(LangdataHomophone, MissingTablesEndTheRunWithTheirMessages) {
  struct Case {
    const char* remove;
    const char* message;
  } cases[] = {
      // "同音索引檔讀入失敗!!"
      {"big5.ref", "\xA6\x50\xAD\xB5\xAF\xC1\xA4\xDE\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!"},
      // "同音字元集檔讀入失敗!!"
      {"big5.dat", "\xA6\x50\xAD\xB5\xA6\x72\xA4\xB8\xB6\xB0\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remove);
    use(FixtureTables());
    fs::remove(dir_ / c.remove);
    // The lookup returns, the character standing for itself, and the message waits for
    // the program's entry, which ends the run with it.
    qm::HomophoneSlot slot;
    EXPECT_FALSE(qm::homophone_lookup(code(0xA440), slot));
    EXPECT_EQ(slot, code(0xA440));
    EXPECT_EQ(qm::homophone_tables().error(), c.message);
    EXPECT_FALSE(qm::homophone_lookup(code(0xA440), slot));
    EXPECT_EQ(qm::homophone_tables().error(), c.message);
  }
}

TEST_F(LangdataHomophone, TableBuildSwitchesHomophonesOffAfterTheFirstCharacterWithout) {
  FixtureTables t;
  const int ga = t.group(codes({0xA440, 0xA441}));
  const int gc = t.group(codes({0xA450, 0xA451}));
  t.entry(0xA440, {ga});
  t.entry(0xA450, {gc});
  t.entry(0xA460, {gc});
  use(t);
  const std::string a = code(0xA440), b = code(0xA442), c = code(0xA450), d = code(0xA460);

  struct Case {
    const char* name;
    std::vector<std::string> words;
    bool homophone_on;
    std::vector<std::vector<std::string>> slots;  // per word, per character
  } cases[] = {
      {"all found", {a + c, d}, true, {{codes({0xA440, 0xA441}), codes({0xA450, 0xA451})},
                                       {codes({0xA450, 0xA451})}}},
      // b has no homophones: c after it and d in the next word get themselves alone.
      {"switch off", {a + b + c, d}, true, {{codes({0xA440, 0xA441}), b, c}, {d}}},
      {"flag off", {a + c}, false, {{a, c}}},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    qm::homophone_table_build(cs.words, cs.homophone_on);
    auto& tables = qm::homophone_tables();
    ASSERT_EQ(tables.word_count(), cs.slots.size());
    for (std::size_t w = 0; w < cs.slots.size(); ++w) {
      ASSERT_EQ(tables.word_chars(w), cs.slots[w].size());
      for (std::size_t i = 0; i < cs.slots[w].size(); ++i) EXPECT_EQ(tables.slot(w, i), cs.slots[w][i]);
      EXPECT_TRUE(tables.slot(w, cs.slots[w].size()).empty());
    }
    qm::homophone_table_free();
    EXPECT_EQ(tables.word_count(), 0u);
  }

  // A word of 12 characters gets slots for its first 10; no word builds nothing.
  std::string twelve;
  for (int i = 0; i < 12; ++i) twelve += code(uint16_t(0xB040 + i));
  qm::homophone_table_build({twelve}, false);
  EXPECT_EQ(qm::homophone_tables().word_chars(0), 10u);
  EXPECT_EQ(qm::homophone_tables().slot(0, 9), code(0xB049));
  EXPECT_TRUE(qm::homophone_tables().slot(0, 10).empty());
  qm::homophone_table_build({}, true);
  EXPECT_EQ(qm::homophone_tables().word_count(), 0u);
}

TEST_F(LangdataHomophone, WordMatchesAlternativesCharacterByCharacter) {
  FixtureTables t;
  const int g = t.group(codes({0xA440, 0xA441}));
  const int h = t.group(codes({0xA450, 0xA451}));
  t.entry(0xA440, {g});
  t.entry(0xA441, {g});
  t.entry(0xA450, {h});
  use(t);
  // Word 0: A440 A450; word 1: A441.
  qm::homophone_table_build({codes({0xA440, 0xA450}), code(0xA441)}, true);

  struct Case {
    std::string text;
    int word;
    bool matches;
  } cases[] = {
      {codes({0xA440, 0xA450}), 0, true},
      {codes({0xA441, 0xA451}), 0, true},          // homophones of both characters
      {codes({0xA450, 0xA440}), 0, false},         // alternatives of the wrong position
      {codes({0xA441, 0xA450, 0xA440}), 0, false},  // one character too many
      {code(0xA441), 0, false},                     // one too few
      {code(0xA440), 1, true},
      {std::string("A") + code(0xA440).substr(1) + code(0xA450), 0, false},  // an ASCII byte
      {code(0xA440), 2, false},
      {code(0xA440), -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "word " << c.word);
    EXPECT_EQ(qm::homophone_word_matches(c.text, c.word), c.matches);
  }
}

}  // namespace
