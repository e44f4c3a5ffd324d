// The bundled samples indexed by the real `indexer` program, once as a character database
// and once as a phrase database, then searched through the search core: every word must
// find exactly the documents that a plain scan of the extracted text (the paragraphs the
// builder stored) finds. The scan knows nothing of postings, slots or pair lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/strings.h"
#include "index/index_reader.h"
#include "platform/process.h"
#include "searcher/database_search.h"
#include "searcher/phrase/phrase_hooks.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "testsupport/test_files.h"

namespace {

namespace fs = std::filesystem;
using Documents = std::set<uint32_t>;

// Builds samples/ into <root>db-<kind>/ with the program, as the desktop would run it.
std::string build(const std::string& root, const std::string& kind, const std::string& keys) {
  const std::string bin = root + "bin-" + kind + "/";
  const std::string work = root + "db-" + kind + "/";
  fs::create_directories(bin);
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin + "indexer");
  std::ofstream(bin + "vesprin.ini") << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << QM_SOURCE_DIR
                                     << "/samples/\nWorkDir=" << work
                                     << "\nLocalFileType=txt,htm,html\n" << keys;
  qm::ProcessOptions options;
  options.argv = {bin + "indexer", "-w0", "-f10", "-x1"};
  options.timeout_ms = 120000;
  const qm::ProcessResult r = qm::process_run(options);
  EXPECT_TRUE(r.exited && r.exit_code == 0) << r.error;
  EXPECT_TRUE(r.output.size() >= 2 && r.output.compare(r.output.size() - 2, 2, "\x1A\x1A") == 0)
      << r.output;
  return work;
}

// Every stored paragraph of every document.
std::vector<std::vector<std::string>> stored_text(const std::string& work) {
  std::vector<std::vector<std::string>> docs;
  qm::IndexFileSet set;
  EXPECT_TRUE(set.open(work, 0, false));
  for (uint32_t d = 0; d < set.document_count(); ++d) {
    qm::CrossRecord cross;
    uint16_t count = 0;
    EXPECT_TRUE(set.read_cross(d, cross));
    EXPECT_TRUE(set.read_paragraph_count(cross.fulltext_offset, count));
    std::vector<std::string> paragraphs;
    for (uint16_t p = 0; p < count; ++p) paragraphs.push_back(set.read_paragraph(cross.fulltext_offset, p).text);
    docs.push_back(std::move(paragraphs));
  }
  return docs;
}

std::string hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += qm::hex_byte_text(c);
  return out;
}

bool is_lead(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }
bool is_alnum(unsigned char c) { return c < 0x80 && std::isalnum(c); }

// Chinese: the word at a character start of some paragraph.
bool has_chinese(const std::string& text, const std::string& word) {
  for (size_t i = 0; i + word.size() <= text.size();) {
    if (text.compare(i, word.size(), word) == 0) return true;
    i += is_lead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  return false;
}

// English: a whole run of letters and digits equal to the word in its first 23 bytes,
// letter case aside (what the index keeps of a word).
std::vector<std::string> english_words(const std::string& text) {
  std::vector<std::string> words;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (is_lead(c) && i + 1 < text.size()) {
      i += 2;
      continue;
    }
    if (!is_alnum(c)) {
      ++i;
      continue;
    }
    std::string w;
    while (i < text.size() && is_alnum(static_cast<unsigned char>(text[i])))
      w += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
    words.push_back(w.substr(0, 23));
  }
  return words;
}

struct Vocabulary {
  std::map<std::string, Documents> chinese;  // runs of 1 to 4 characters
  std::map<std::string, Documents> english;
};

Vocabulary scan(const std::vector<std::vector<std::string>>& docs) {
  Vocabulary v;
  for (uint32_t d = 0; d < docs.size(); ++d)
    for (const std::string& text : docs[d]) {
      for (const std::string& w : english_words(text)) v.english[w].insert(d);
      for (size_t i = 0; i + 1 < text.size();) {
        if (!is_lead(static_cast<unsigned char>(text[i]))) {
          ++i;
          continue;
        }
        for (size_t n = 1; n <= 4 && i + 2 * n <= text.size(); ++n) {
          if (!is_lead(static_cast<unsigned char>(text[i + 2 * n - 2]))) break;
          v.chinese[text.substr(i, 2 * n)];
        }
        i += 2;
      }
    }
  // The documents of each Chinese word by a scan of its own, not by where it was seen.
  for (auto& [word, found] : v.chinese)
    for (uint32_t d = 0; d < docs.size(); ++d)
      for (const std::string& text : docs[d])
        if (has_chinese(text, word)) found.insert(d);
  return v;
}

Documents search(const std::string& work, bool phrase, std::string words) {
  if (!qm::query_parse(words)) return {};
  qm::SearchDatabase db;
  db.id = 1;
  db.work_dir = work;
  db.index_type = phrase ? 1 : 0;
  db.save_file = phrase;
  const qm::SearchOptions options;
  qm::SearchHooks hooks;
  const qm::QueryTermTable table = qm::term_table_build(words);
  qm::install_phrase_hooks(hooks, QM_DIST_DIR "/", table, options);
  const qm::HitList hits = qm::query_evaluate(
      table, qm::search_database({table, qm::homophone_slots_plain(table), {db}, options, hooks}), hooks);
  Documents out;
  for (const qm::HitRecord& h : hits) out.insert(h.document);
  return out;
}

TEST(IndexerSearchOracle, EveryWordOfTheSamplesFindsExactlyTheDocumentsThatHoldIt) {
  qm::test::TempDir tmp("qm-indexer-oracle-");
  const std::string characters = build(tmp.path(), "char", "");
  const std::string phrases = build(tmp.path(), "phrase", "SaveFile=1\nIndexType=1\n");

  const auto docs = stored_text(characters);
  ASSERT_EQ(docs.size(), 12u);
  ASSERT_EQ(stored_text(phrases), docs);  // one extraction, two kinds of index
  const Vocabulary v = scan(docs);
  ASSERT_GT(v.chinese.size(), 500u);
  ASSERT_GT(v.english.size(), 150u);

  for (const auto& [word, expected] : v.english)
    EXPECT_EQ(search(characters, false, word), expected) << word;
  for (const auto& [word, expected] : v.chinese) {
    EXPECT_EQ(search(characters, false, word), expected) << hex(word);
    // A phrase database holds character pairs: single characters find nothing there.
    if (word.size() >= 4) {
      EXPECT_EQ(search(phrases, true, word), expected) << hex(word);
    }
  }
  // Operators over words the scan knows: tea and river in one document, or either.
  const Documents& tea = v.english.at("TEA");
  const Documents& river = v.english.at("RIVER");
  Documents both, either = tea;
  std::set_intersection(tea.begin(), tea.end(), river.begin(), river.end(), std::inserter(both, both.end()));
  either.insert(river.begin(), river.end());
  EXPECT_EQ(search(characters, false, "tea&river"), both);
  EXPECT_EQ(search(characters, false, "tea+river"), either);
}

}  // namespace
