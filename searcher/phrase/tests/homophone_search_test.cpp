// Homophone search (h "1") with the generated homophone tables of the dist directory,
// against Unihan's readings as read by an independent Python oracle (the language data's
// langdata/tests/unihan_oracle.py): in a character database and in a phrase database alike, a word
// finds the documents where each of its characters is replaced by one pronounced alike,
// and never one where a character is replaced by one that is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "searcher/phrase/tests/phrase_test_support.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

std::string dist_dir() {
  const char* env = std::getenv("QM_DIST_DIR");
  std::string dir = env && *env ? env : QM_DIST_DIR;
  if (dir.back() != '/') dir += '/';
  return dir;
}

// Code -> the codes sharing one of its readings (itself included), from the oracle: the
// last field of its line ("<code> <main group> <all groups>", or "<code> -").
std::map<uint16_t, std::set<uint16_t>> oracle_homophones(const std::vector<uint16_t>& codes) {
  std::string command = "python3 '" QM_SOURCE_DIR "/langdata/tests/unihan_oracle.py' '" QM_UNIHAN_READINGS "'";
  char hex[8];
  for (uint16_t c : codes) {
    std::snprintf(hex, sizeof hex, " %04X", c);
    command += hex;
  }
  std::map<uint16_t, std::set<uint16_t>> out;
  std::string text;
  if (test::command_output(command, text) != 0) return {};
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string code, list;
    if (!(fields >> code >> list)) continue;
    for (std::string all; fields >> all;) list = all;  // past the main group: all groups
    std::set<uint16_t>& alike = out[uint16_t(std::stoul(code, nullptr, 16))];
    if (list == "-") continue;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');) alike.insert(uint16_t(std::stoul(item, nullptr, 16)));
  }
  return out;
}

// Common characters (their Big5 codes; the text in the comment).
// 同 音 中 文 書 海 龍 山 火 花 鳥 魚 雲 風 月 星 天 地 人
constexpr uint16_t kCandidates[] = {0xA650, 0xADB5, 0xA4A4, 0xA4E5, 0xAED1, 0xAEFC, 0xC073,
                                    0xA473, 0xA4F5, 0xAAE1, 0xB3BE, 0xB3BD, 0xB6B3, 0xADB7,
                                    0xA4EB, 0xAC50, 0xA4D1, 0xA661, 0xA448};

// Codes of frequently used characters only, where every Big5 table agrees.
bool common_code(uint16_t c) { return c >= 0xA440 && c <= 0xC67E; }

TEST(PhraseHomophones, FindWhatUnihanReadingsSayIsPronouncedAlike) {
  if (!std::filesystem::exists(QM_UNIHAN_READINGS)) GTEST_SKIP() << "no Unihan readings at " QM_UNIHAN_READINGS;
  ASSERT_TRUE(std::filesystem::exists(dist_dir() + "big5.ref")) << "generated tables missing in " << dist_dir();
  const auto alike = oracle_homophones(std::vector<uint16_t>(std::begin(kCandidates), std::end(kCandidates)));
  ASSERT_EQ(alike.size(), std::size(kCandidates)) << "the oracle failed";

  // Every code the oracle named, as a pool of replacements that are not homophones.
  std::vector<uint16_t> pool;
  for (const auto& [code, set] : alike)
    for (uint16_t c : set)
      if (common_code(c)) pool.push_back(c);

  // Query words: neighbouring candidates that both have homophones (a slot holds at most
  // 256 codes, so only modest groups are compared whole).
  std::vector<std::string> queries;
  std::vector<std::pair<uint16_t, uint16_t>> query_codes;
  auto usable = [&](uint16_t code) {
    const std::set<uint16_t>& same = alike.at(code);
    const auto common = std::count_if(same.begin(), same.end(), [&](uint16_t c) { return c != code && common_code(c); });
    return common > 0 && same.size() <= 200;
  };
  for (size_t i = 0; i + 1 < std::size(kCandidates); ++i) {
    if (!usable(kCandidates[i]) || !usable(kCandidates[i + 1])) continue;
    query_codes.push_back({kCandidates[i], kCandidates[i + 1]});
    queries.push_back(test::big5(kCandidates[i]) + test::big5(kCandidates[i + 1]));
  }
  ASSERT_GE(queries.size(), 8u);

  // Documents: each query word itself, and each of its characters replaced by a random
  // homophone and by a random character that is not one.
  std::mt19937 rng(4242);
  auto pick = [&](const std::vector<uint16_t>& from) { return from[rng() % from.size()]; };
  std::vector<std::string> texts;
  for (const auto& [c0, c1] : query_codes) {
    texts.push_back(test::big5(c0) + test::big5(c1));
    for (int position = 0; position < 2; ++position) {
      const uint16_t original = position == 0 ? c0 : c1;
      const std::set<uint16_t>& same = alike.at(original);
      std::vector<uint16_t> homophones, others;
      for (uint16_t c : same)
        if (c != original && common_code(c)) homophones.push_back(c);
      for (uint16_t c : pool)
        if (!same.count(c)) others.push_back(c);
      for (uint16_t replacement : {pick(homophones), pick(others)}) {
        const uint16_t r0 = position == 0 ? replacement : c0;
        const uint16_t r1 = position == 1 ? replacement : c1;
        texts.push_back("zz " + test::big5(r0) + test::big5(r1) + " zz");
      }
    }
  }
  std::vector<IndexDocument> documents;
  for (size_t i = 0; i < texts.size(); ++i) documents.push_back(test::make_document(i, {texts[i]}));
  test::TempDir dir;
  SearchDatabase chars, phrase;
  chars.id = 1;
  chars.work_dir = dir.path() + "chars/";
  phrase.id = 2;
  phrase.work_dir = dir.path() + "phrase/";
  phrase.index_type = 1;
  phrase.save_file = true;
  ASSERT_TRUE(test::write_database(chars.work_dir, documents));
  ASSERT_TRUE(test::write_database(phrase.work_dir, documents, true));

  size_t homophone_only = 0;
  for (size_t q = 0; q < queries.size(); ++q) {
    const auto [c0, c1] = query_codes[q];
    // The scan: some two neighbouring characters of the text sound like the word's.
    std::vector<uint32_t> want_plain, want_alike;
    for (uint32_t d = 0; d < texts.size(); ++d) {
      const std::string& t = texts[d];
      bool plain = false, sounds = false;
      for (size_t i = 0; i + 4 <= t.size();) {
        if (static_cast<unsigned char>(t[i]) < 0xA1) {
          ++i;
          continue;
        }
        const uint16_t a = uint16_t(static_cast<unsigned char>(t[i]) << 8 | static_cast<unsigned char>(t[i + 1]));
        const uint16_t b = uint16_t(static_cast<unsigned char>(t[i + 2]) << 8 | static_cast<unsigned char>(t[i + 3]));
        if (static_cast<unsigned char>(t[i + 2]) >= 0xA1) {
          plain |= a == c0 && b == c1;
          sounds |= alike.at(c0).count(a) && alike.at(c1).count(b);
        }
        i += 2;
      }
      if (plain) want_plain.push_back(d);
      if (sounds) want_alike.push_back(d);
    }
    homophone_only += want_alike.size() - want_plain.size();

    for (const SearchDatabase* db : {&chars, &phrase}) {
      SearchOptions options;
      const std::string label = "query " + std::to_string(q) + (db == &phrase ? " phrase db" : " character db");
      EXPECT_EQ(test::hit_documents(test::phrase_run_query(queries[q], {*db}, options, dist_dir())), want_plain)
          << label;
      options.flags.homophone = true;
      EXPECT_EQ(test::hit_documents(test::phrase_run_query(queries[q], {*db}, options, dist_dir())), want_alike)
          << label << " with homophones";
    }
  }
  // Every query has its two documents of homophones.
  EXPECT_GE(homophone_only, 2 * queries.size());
}

}  // namespace
}  // namespace qm
