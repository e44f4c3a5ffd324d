// Robustness of the language-data readers against damaged files: seeded random
// corruptions (byte flips, truncations, extreme u16/u32 fields, appended garbage) of
// valid homophone tables and phrase files, each loaded and looked up in full. Nothing
// may crash or read out of bounds (the sanitizers watch), every slot and found word
// must be well formed, and damage to bytes the lookups never reach must change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/strings.h"
#include "langdata/dictionary.h"
#include "langdata/homophone.h"
#include "testsupport/corrupt.h"
#include "platform/fatal.h"
#include "testsupport/homophone_tables.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace hf = homophone_format;
using test::Corruptor;
using test::Edit;
using test::Edits;
using test::Ranges;

std::string code(uint16_t c) { return {char(c >> 8), char(c & 0xFF)}; }

// Characters of the fixture tables, and two that have no entry.
const uint16_t kCodes[] = {0xA4A4, 0xA4E5, 0xA641, 0xB0EA, 0xAFF9, 0xA440, 0xFEFE, 0xC94A};
const uint16_t kUnlisted[] = {0xA140, 0xF9D5};

// Looks every fixture character up, builds the slots of a few query words and matches
// texts against them; describes the results and puts malformed ones in `faults`.
std::string look_up_all(const std::string& dir, std::vector<std::string>& faults) {
  std::string out;
  homophone_reset();
  homophone_set_paths(dir);
  std::string all;
  for (uint16_t c : kCodes) all += code(c);
  for (uint16_t c : kUnlisted) all += code(c);
  try {
    for (size_t i = 0; i < all.size(); i += 2) {
      std::string ch = all.substr(i, 2);
      HomophoneSlot slot;
      bool found = homophone_lookup(ch, slot);
      bool well_formed = !slot.empty() && slot.size() % 2 == 0 && slot.size() <= hf::kMaxSlotCodes * 2;
      for (size_t k = 0; well_formed && k < slot.size(); k += 2) {
        well_formed = big5_char_len(slot, k) == 2;
        if (well_formed && big5_find_char(slot.substr(0, k), slot.substr(k, 2)) != std::string::npos)
          faults.push_back("a code twice in one slot");
      }
      if (!well_formed) faults.push_back("a malformed slot for " + ch);
      if (!found && slot != ch) faults.push_back("a character without homophones does not stand for itself");
      out += (found ? "+" : "-") + slot + "\n";
    }
    // Words of 1, 5 and 12 characters (only the first 10 get slots).
    const std::vector<std::string> words = {all.substr(0, 2), all.substr(2, 10), all + all.substr(0, 4)};
    for (bool on : {true, false}) {
      homophone_table_build(words, on);
      const HomophoneTables& t = homophone_tables();
      for (size_t w = 0; w < t.word_count(); ++w) {
        if (t.word_chars(w) > hf::kMaxWordChars) faults.push_back("a word of more than 10 slots");
        for (size_t p = 0; p < hf::kSlotsPerWord; ++p) out += std::string(t.slot(w, p)) + "|";
        for (int n = 0; n < int(words.size()); ++n) out += homophone_word_matches(words[w], n) ? "1" : "0";
        out += homophone_word_matches(std::string(t.slot(w, 0)).substr(0, 2), int(w)) ? "1" : "0";
        out += "\n";
      }
      homophone_table_free();
    }
  } catch (const FatalError& e) {
    faults.push_back(std::string("fatal: ") + e.what());
  }
  homophone_reset();
  return out;
}

// Loads the phrase files and finds words in a few texts; describes the results and
// puts malformed ones in `faults`.
std::string find_all(const std::string& dir, const std::vector<std::string>& texts,
                     const std::vector<std::string>& words, std::vector<std::string>& faults) {
  std::string out;
  phrase_reset();
  int largest = phrase_lists_load(dir);
  if (largest < 1 || largest > kPhraseMaxChars) faults.push_back("phrase_lists_load gave " + std::to_string(largest));
  out += std::to_string(largest) + "\n";
  for (const std::string& w : words) out += phrase_list_contains(w, int(w.size() / 2)) ? "1" : "0";
  for (int n = 0; n <= kPhraseMaxChars + 1; ++n) phrase_list_load(dir, n);  // loaded ones and bad n: no-ops
  for (const std::string& text : texts) {
    auto found = phrase_find_words(text, kBoundaryMaxWords);
    if (found.size() > kBoundaryMaxWords) faults.push_back("more words than asked for");
    for (const DictionaryWord& w : found) {
      if (w.length < 4 || size_t(w.offset) + w.length > text.size()) faults.push_back("a word outside its text");
// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about the string copies it inlines here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
      out += " " + std::to_string(w.offset) + "+" + std::to_string(w.length);
#pragma GCC diagnostic pop
    }
    out += "\n";
  }
  phrase_reset();
  return out;
}

// Damage at the very end of a file, which the random variants reach only by chance:
// read on every run. `shows` is a piece of the result that proves the case reached its
// place.
struct BoundaryCase {
  const char* file;
  Edits edits;
  const char* shows;
};
const BoundaryCase kBoundaryCases[] = {
    // big5.ref ends after the group count of the last entry (FEFE's), or inside its
    // first offset: FEFE stands for itself
    {"big5.ref", {{Edit::Truncate, 35941, 0}}, "+\xFE\xFE\n"},
    {"big5.ref", {{Edit::Truncate, 35942, 0}}, "+\xFE\xFE\n"},
    // big5.dat ends inside the last group, before its NUL: FEFE finds it all the same
    {"big5.dat", {{Edit::Truncate, 26, 0}}, "+\xFE\xFE\xC9\x4A\n"},
    // phrase-2.txt ends inside its last word, and the list has a 3-byte word
    {"phrase-2.txt", {{Edit::Truncate, 21, 0}}, "4\n1110"},
    // phrase-4.txt holds a lone lead byte: a list without four-character words
    {"phrase-4.txt", {{Edit::Truncate, 1, 0}}, "4\n1111110"},
};

class LangdataRobustness : public ::testing::Test {
 protected:
  void SetUp() override { fatal_reset(); }
  void TearDown() override {
    homophone_reset();
    phrase_reset();
    fatal_reset();
  }
  test::TempDir dir;
  test::VariantTrace trace;
  int failed_variants = 0;

  // Writes the damaged file, reads through `read`, compares and restores the file.
  template <class Read>
  void run(const std::string& file, const std::string& original, const Edits& edits, const std::string& baseline,
           bool harmless, Read read, const std::string& shows = {}) {
    std::string bytes = original;
    test::apply_edits(bytes, edits);
    trace.set(file, edits);
    test::write_file(dir / file, bytes);
    std::vector<std::string> faults;
    std::string got = read(faults);
    if (harmless && got != baseline) faults.push_back("a change to unread bytes changed the result");
    if (got.find(shows) == std::string::npos) faults.push_back("the result does not show what the case is for:\n" + got);
    test::write_file(dir / file, original);
    if (faults.empty() || ++failed_variants > 5) return;
    std::string all;
    for (const auto& s : faults) all += "\n  " + s;
    ADD_FAILURE() << file << " {" << test::describe(edits) << "}:" << all;
  }
};

TEST_F(LangdataRobustness, CorruptHomophoneTablesLoadSafely) {
  // Groups: 0 {A4A4 A4E5 A641}, 1 {A641 B0EA}, 2 {AFF9 A440 A4A4}, 3 {FEFE C94A}.
  test::write_homophone_tables(dir.path(),
                               {{0xA4A4, 0xA4E5, 0xA641}, {0xA641, 0xB0EA}, {0xAFF9, 0xA440, 0xA4A4}, {0xFEFE, 0xC94A}},
                               {{0xA4A4, {0, 2}}, {0xA4E5, {0}}, {0xA641, {1, 0, 2}}, {0xB0EA, {1}},
                                {0xAFF9, {2, 3}}, {0xA440, {2}}, {0xFEFE, {3}}, {0xC94A, {3, 3}}});
  const std::string ref = test::read_file(dir / "big5.ref");
  const std::string dat = test::read_file(dir / "big5.dat");
  auto read = [&](std::vector<std::string>& faults) { return look_up_all(dir.path(), faults); };
  std::vector<std::string> faults;
  const std::string baseline = read(faults);
  ASSERT_TRUE(faults.empty()) << faults[0];

  // The index values of the characters looked up, and the entries: where damage to
  // big5.ref matters. Every other index value is never read.
  Ranges ref_read = {{hf::kRefEntryBase, ref.size()}}, ref_unread;
  {
    std::vector<size_t> at;
    for (uint16_t c : kCodes) at.push_back(hf::big5_ref_index(uint8_t(c >> 8), uint8_t(c)) * 2);
    for (uint16_t c : kUnlisted) at.push_back(hf::big5_ref_index(uint8_t(c >> 8), uint8_t(c)) * 2);
    std::sort(at.begin(), at.end());
    size_t from = 0;
    for (size_t a : at) {
      ref_read.push_back({a, a + 2});
      if (a > from) ref_unread.push_back({from, a});
      from = a + 2;
    }
    ref_unread.push_back({from, hf::kRefEntryBase});
  }

  constexpr int kVariants = 1000;
  Corruptor corrupt(1125);
  for (const BoundaryCase& c : kBoundaryCases)
    if (c.file == std::string("big5.ref") || c.file == std::string("big5.dat"))
      run(c.file, c.file == std::string("big5.ref") ? ref : dat, c.edits, baseline, false, read, c.shows);
  for (int i = 0; i < kVariants; ++i) {
    bool is_ref = i % 2 == 0;
    const std::string& original = is_ref ? ref : dat;
    bool harmless = i % 8 < 2;
    Edits edits;
    if (harmless) {
      // Garbage after either file, or damage to index values no lookup reads.
      edits = is_ref ? corrupt.harmless(ref_unread) : corrupt.harmless({});
    } else if (is_ref && corrupt.below(4) != 0) {
      // Most damage goes where the lookups read: the entries (half of it) and the
      // index values of the characters looked up.
      auto [lo, hi] = ref_read[corrupt.below(2) == 0 ? 0 : corrupt.below(ref_read.size())];
      edits = corrupt.any(hi - lo);
      for (Edit& e : edits)
        if (e.kind != Edit::Append) e.at += lo;
    } else {
      edits = corrupt.any(original.size());
    }
    run(is_ref ? "big5.ref" : "big5.dat", original, edits, baseline, harmless, read);
  }
}

TEST_F(LangdataRobustness, CorruptPhraseFilesLoadSafely) {
  // 上海 大學 生活 鮮花 / 大學生 / 大學生活
  const std::string shang = "\xA4\x57", hai = "\xAE\xFC", da = "\xA4\x6A", xue = "\xBE\xC7",
                    sheng = "\xA5\xCD", huo = "\xAC\xA1", xian = "\xC2\x41", hua = "\xAA\xE1";
  const std::map<std::string, std::string> files = {
      {"phrase-2.txt", da + xue + "\r\n" + shang + hai + "\r\n" + sheng + huo + "\r\n" + xian + hua + "\r\n"},
      {"phrase-3.txt", da + xue + sheng + "\r\n" + shang + hai + da + "\r\n"},
      {"phrase-4.txt", da + xue + sheng + huo + "\r\n"},
  };
  const std::vector<std::string> words = {da + xue, shang + hai, sheng + huo, xian + hua, da + xue + sheng,
                                          shang + hai + da, da + xue + sheng + huo};
  const std::vector<std::string> texts = {
      shang + hai + da + xue + sheng + huo + " " + xian + hua,
      da + "\r\n" + xue + " \t" + sheng + huo + "abc" + shang + hai,
      std::string(3, '\xA4') + da + xue + "\xA4",
  };
  for (const auto& [name, bytes] : files) test::write_file(dir / name, bytes);
  auto read = [&](std::vector<std::string>& faults) { return find_all(dir.path(), texts, words, faults); };
  std::vector<std::string> faults;
  const std::string baseline = read(faults);
  ASSERT_TRUE(faults.empty()) << faults[0];
  ASSERT_EQ(baseline.substr(0, 2), "4\n");

  constexpr int kVariants = 1500;
  Corruptor corrupt(1126);
  for (const BoundaryCase& c : kBoundaryCases)
    if (files.count(c.file)) run(c.file, files.at(c.file), c.edits, baseline, false, read, c.shows);
  for (int i = 0; i < kVariants; ++i) {
    auto it = std::next(files.begin(), long(corrupt.below(files.size())));
    run(it->first, it->second, corrupt.any(it->second.size()), baseline, false, read);
  }
}

}  // namespace
}  // namespace qm
