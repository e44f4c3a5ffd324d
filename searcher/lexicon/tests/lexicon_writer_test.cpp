// The LexDB builder: term-list checks, the files it writes read back through the index
// readers (line offsets, entry offsets and positions of the postings), safe
// replacement, and the mklexdb program.
#include "searcher/lexicon/lexicon_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "index/index_format.h"
#include "index/index_reader.h"
#include "index/prefix_table.h"
#include "index/word_signature.h"
#include "searcher/lexicon/lexicon.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
namespace lf = lexicon_format;
using test::TempDir;
using test::read_file;

TEST(LexiconWriter, TermListChecks) {
  const std::string long_line = "1,a" + std::string(28, 'b');  // one entry of 31 bytes
  std::string too_long_line;
  for (int i = 0; i < 80; ++i) too_long_line += (i ? "+" : "") + std::string("1,abcdefghijklmnopqrstuvw");
  struct Case {
    std::string list;
    std::string error;  // empty: accepted
  } cases[] = {
      {"1,car+1,auto\n", ""},
      {"\xEF\xBB\xBF# masks: 1 noun\n\n 1 , car + 2 , auto \r\n", ""},
      {"4,\xE5\x8F\xB0\xE7\x81\xA3+4,abc \xE5\x8F\xB0\n", ""},  // 台灣, abc 台
      {"1,a" + std::string(28, 'b') + "\n", ""},                    // 29 bytes
      {"car+1,auto\n", "line 1: entry \"car\" is not mask,term"},
      {"1,car+\n", "line 1: entry \"\" is not mask,term"},
      {"x,car\n", "line 1: entry \"x,car\" has no decimal mask"},
      {"-1,car\n", "has no decimal mask"},
      {"4294967296,car\n", "has no decimal mask"},
      {"4294967295,car\n", ""},
      {"1,\n", "line 1: term \"\" has an empty term"},
      {"#x\n\n1,ok\n1,ice-cream\n", "line 4: term \"ice-cream\" has the reserved character '-'"},
      {"1,a*b\n", "reserved character '*'"},
      {"1,a(b\n", "reserved character '('"},
      {"1,a)b\n", "reserved character ')'"},
      {"1,a&b\n", "reserved character '&'"},
      {"1,a|b\n", "reserved character '|'"},
      {"1,a!b\n", "reserved character '!'"},
      {"1,a~b\n", "reserved character '~'"},
      {"1,a,b\n", "reserved character ','"},
      {"1,a\tb\n", "a control character"},
      {"1,\xF0\x9F\x98\x80\n", "is not UTF-8 text that Big5 can hold"},  // no Big5 form
      {"1,\xFF\xFE\n", "is not UTF-8 text that Big5 can hold"},
      {long_line + "c\n", "an English part longer than 29 bytes"},
      {"1," + std::string(11 * 3, '\0') + "\n", ""},  // replaced below: 11 Chinese characters
      {too_long_line + "\n", "line 1: longer than 2047 bytes in Big5"},
      {"# only a comment\n\n", "the term list holds no lines"},
  };
  // 11 characters 台 in a row, then 10 of them.
  std::string eleven, ten;
  for (int i = 0; i < 11; ++i) eleven += "\xE5\x8F\xB0";
  for (int i = 0; i < 10; ++i) ten += "\xE5\x8F\xB0";
  cases[std::size(cases) - 3] = {"1," + eleven + "\n2," + ten + "\n", "line 1: term"};

  for (const Case& c : cases) {
    std::vector<LexiconLine> lines;
    std::string error;
    const bool ok = lexicon_read_term_list(c.list, lines, error);
    if (c.error.empty()) {
      EXPECT_TRUE(ok) << c.list << ": " << error;
    } else {
      EXPECT_FALSE(ok) << c.list;
      EXPECT_NE(error.find(c.error), std::string::npos) << c.list << ": " << error;
    }
  }

  std::vector<LexiconLine> lines;
  std::string error;
  ASSERT_TRUE(lexicon_read_term_list(" 1 , car + 2 , auto \r\n4,\xE5\x8F\xB0\xE7\x81\xA3\n", lines, error));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (LexiconLine{{1, "car"}, {2, "auto"}}));
  EXPECT_EQ(lines[1], (LexiconLine{{4, "\xA5\x78\xC6\x57"}}));  // 台灣 in Big5
}

TEST(LexiconWriter, WritesTheLayoutTheReaderExpects) {
  TempDir tmp;
  const std::string folder = tmp.path() + "LexDB/";
  // Line 0 at offset 0: "1,car+1,auto\n" (13 bytes); line 1 at 13: "12,railway car+3,台灣".
  std::vector<LexiconLine> lines = {{{1, "car"}, {1, "auto"}},
                                    {{12, "railway car"}, {3, "\xA5\x78\xC6\x57"}}};
  std::string error;
  LexiconWriteStats stats;
  ASSERT_TRUE(lexicon_write(folder, lines, error, &stats, 0x5C)) << error;
  EXPECT_EQ(stats.lines, 2u);
  EXPECT_EQ(stats.entries, 4u);
  EXPECT_EQ(stats.words, 3u);  // AUTO CAR RAILWAY
  EXPECT_EQ(stats.char_postings, 2u);

  // The text: scrambled lines, the key byte last.
  std::string text = read_file(folder + "fulltext.db");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(static_cast<unsigned char>(text.back()), 0x5C);
  text.pop_back();
  lf::scramble(text, 0x5C);
  EXPECT_EQ(text, "1,car+1,auto\n12,railway car+3,\xA5\x78\xC6\x57\n");

  IndexFileSet set;
  ASSERT_TRUE(set.open_lexicon(folder));
  std::map<std::string, std::vector<std::tuple<uint32_t, uint16_t, uint16_t>>> words;
  for (uint32_t i = 0; i < set.word_count(); ++i) {
    WordHashRecord record;
    uint32_t offset = 0, count = 0;
    ASSERT_TRUE(set.read_word_hash(i, record));
    ASSERT_TRUE(set.word_list_range(i, offset, count));
    std::vector<PostingEntry> list;
    ASSERT_TRUE(set.append_word_postings(offset, count, list));
    for (const PostingEntry& e : list) words[record.word].emplace_back(e.document, e.paragraph, e.position);
  }
  using P = std::tuple<uint32_t, uint16_t, uint16_t>;
  EXPECT_EQ(words["CAR"], (std::vector<P>{{0, 0, 0}, {13, 0, 1}}));  // second: word 1 of "railway car"
  EXPECT_EQ(words["AUTO"], (std::vector<P>{{0, 6, 0}}));
  EXPECT_EQ(words["RAILWAY"], (std::vector<P>{{13, 0, 0}}));
  EXPECT_EQ(words.size(), 3u);

  auto char_postings = [&](unsigned char lead, unsigned char trail) {
    CharHashRecord r;
    EXPECT_TRUE(set.read_char_hash(index_format::char_slot(lead, trail), r));
    std::vector<PostingEntry> list;
    EXPECT_TRUE(set.append_char_postings(r.offset, r.count, list));
    std::vector<P> out;
    for (const PostingEntry& e : list) out.emplace_back(e.document, e.paragraph, e.position);
    return out;
  };
  EXPECT_EQ(char_postings(0xA5, 0x78), (std::vector<P>{{13, 15, 0}}));  // 台: first of its term
  EXPECT_EQ(char_postings(0xC6, 0x57), (std::vector<P>{{13, 15, 2}}));  // 灣: second
  EXPECT_TRUE(char_postings(0xA4, 0x40).empty());

  // Signatures and the prefix table, as the index writer makes them.
  std::vector<WordSignature> signatures;
  ASSERT_TRUE(set.read_word_signatures(0, set.word_count(), signatures));
  ASSERT_EQ(signatures.size(), 3u);
  EXPECT_EQ(signatures[0], word_signature("AUTO"));
  EXPECT_EQ(read_file(folder + "rehash.db"), prefix_table_build(read_file(folder + "ehash.db")));
  auto prefix = index_load_prefix_signatures(folder, "RAILWAY");
  ASSERT_TRUE(prefix.has_value());
  EXPECT_EQ(prefix->first, 2u);
  EXPECT_EQ(prefix->count, 1u);
}

TEST(LexiconWriter, BadLinesLeaveThePreviousLexicon) {
  TempDir tmp;
  const std::string folder = tmp.path() + "LexDB/";
  std::string error;
  ASSERT_TRUE(lexicon_write(folder, {{{1, "car"}, {1, "auto"}}}, error)) << error;
  const std::string before = read_file(folder + "fulltext.db");

  struct Case {
    std::vector<LexiconLine> lines;
    std::string error;
  } cases[] = {
      {{}, "no lines"},
      {{{{1, "ok"}}, {}}, "line 2: no entries"},
      {{{{1, "ice-cream"}}}, "line 1: the reserved character '-'"},
      {{{{1, "a\xA5"}}}, "not a Big5 character"},
      {{{{1, " car"}}}, "blanks around it"},
  };
  for (const Case& c : cases) {
    error.clear();
    EXPECT_FALSE(lexicon_write(folder, c.lines, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  EXPECT_EQ(read_file(folder + "fulltext.db"), before);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ++files;
    EXPECT_EQ(entry.path().extension(), ".db") << entry.path();  // no temporary left
  }
  EXPECT_EQ(files, 7u);
}

TEST(LexiconWriter, MklexdbProgram) {
  TempDir tmp;
  const std::string program = std::string(QM_DIST_DIR) + "/mklexdb";
  const std::string list = tmp.path() + "terms.txt";
  const std::string folder = tmp.path() + "LexDB";
  const std::string log = tmp.path() + "log.txt";
  auto run = [&](const std::string& args) {
    int status = std::system((program + " " + args + " >" + log + " 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };

  std::ofstream(list) << "# test list\n1,car+1,auto+1,automobile\n";
  ASSERT_EQ(run(list + " " + folder), 0) << read_file(log);
  Lexicon lex;
  ASSERT_TRUE(lex.open(tmp.path()));
  EXPECT_EQ(lex.expand_english("auto", SearchOptions{}), "car+auto+automobile");
  lex.close();

  const std::string before = read_file(folder + "/fulltext.db");
  std::ofstream(list) << "1,car+1,auto\n1,well-being\n";
  EXPECT_EQ(run(list + " " + folder), 1);
  EXPECT_NE(read_file(log).find("line 2: term \"well-being\" has the reserved character '-'"), std::string::npos)
      << read_file(log);
  EXPECT_EQ(read_file(folder + "/fulltext.db"), before);

  EXPECT_EQ(run(tmp.path() + "missing.txt " + folder), 1);
  EXPECT_EQ(run(list), 2);
}

}  // namespace
}  // namespace qm
