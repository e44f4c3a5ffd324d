// Lexicon expansion over a fixture LexDB written by the builder: the whole-entry rules,
// category masks, the expression rewrite that query_parse reads back, damaged and
// missing lexicons, and the expansion feeding a real search.
#include "searcher/lexicon/lexicon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "index/index_format.h"
#include "platform/le.h"
#include "common/tests/random_text.h"
#include "searcher/lexicon/lexicon_writer.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Big5 forms of the characters of the fixture.
const std::string kTai = "\xA5\x78";      // 台
const std::string kTaiOld = "\xBB\x4F";   // 臺
const std::string kTaiDesk = "\xC2\x69";  // 檯
const std::string kTyphoon = "\xBB\xE4";  // 颱
const std::string kNorth = "\xA5\x5F";    // 北
const std::string kWan = "\xC6\x57";      // 灣

// One line per group. The 臺 line makes a second hop from 台 (北 is related to 臺 only,
// with a bit 台's entry there does not carry).
const char kFixture[] =
    "1,car+1,auto+1,automobile\n"
    "2,run+2,sprint\n"
    "1,car+1,railcar+1,railway car\n"
    "1,ice cream+1,sundae\n"
    "3,bank+1,shore+2,depend\n"
    "0,zero+1,one\n"
    "96,台+64,檯+96,臺+64,颱\n"
    "64,臺+64,台+16,北\n"
    "8,台灣+8,臺灣\n";

std::vector<LexiconLine> parse_list(const std::string& utf8) {
  std::vector<LexiconLine> lines;
  std::string error;
  EXPECT_TRUE(lexicon_read_term_list(utf8, lines, error)) << error;
  return lines;
}

// A program directory holding LexDB built from the fixture.
std::string make_program_dir(const TempDir& tmp, const std::string& list = kFixture) {
  std::string program = tmp.sub("program");
  std::string error;
  EXPECT_TRUE(lexicon_write(program + "LexDB/", parse_list(list), error)) << error;
  return program;
}

SearchOptions options(bool category_filter = false, bool fuzzy = false) {
  SearchOptions o;
  o.flags.lexicon = true;
  o.flags.category_filter = category_filter;
  o.flags.fault_tolerant = fuzzy;
  return o;
}

class LexiconTest : public ::testing::Test {
 protected:
  void SetUp() override { lexicon_reset(); }
  void TearDown() override { lexicon_reset(); }
};

TEST_F(LexiconTest, ParseEntry) {
  struct Case {
    std::string entry;
    bool parsed;
    uint32_t mask;
    std::string term;
  } cases[] = {
      {"1,car", true, 1, "car"},
      {" 12 ,  ice cream  ", true, 12, "ice cream"},
      {"5,car+1,auto", true, 5, "car"},      // the term stops at "+"
      {"5,car\r\n", true, 5, "car"},
      {",car", true, 0, "car"},               // no number: mask 0
      {"99999999999,x", true, UINT32_MAX, "x"},
      {"7,", true, 7, ""},
      {"car", false, 0, ""},
  };
  for (const Case& c : cases) {
    std::optional<LexiconEntry> e = lexicon_parse_entry(c.entry);
    ASSERT_EQ(e.has_value(), c.parsed) << c.entry;
    if (!e) continue;
    EXPECT_EQ(e->mask, c.mask) << c.entry;
    EXPECT_EQ(e->term, c.term) << c.entry;
  }
}

TEST_F(LexiconTest, SortUniqueAndGroupTerms) {
  EXPECT_EQ(terms_sort_unique("car+auto++automobile+car+"), "auto+automobile+car");
  EXPECT_EQ(terms_sort_unique(kTaiOld + "+" + kTai + "+Z+" + kTai), "Z+" + kTai + "+" + kTaiOld);
  EXPECT_EQ(terms_sort_unique(""), "");

  const std::string line = "3,bank+1,shore+2,depend+4,other";
  struct Case {
    size_t entry_offset;
    bool filter;
    std::string terms;
  } cases[] = {
      {0, false, "bank+shore+depend+other"},
      {0, true, "bank+shore+depend"},  // mask 3
      {7, true, "bank+shore"},         // "1,shore"
      {10, true, "bank+shore"},        // inside the entry: its start is found
      {15, true, "bank+depend"},       // "2,depend"
      {24, true, "other"},
      {999, true, "other"},            // past the end: the last entry
  };
  for (const Case& c : cases)
    EXPECT_EQ(lexicon_group_terms(line, c.entry_offset, c.filter), c.terms) << c.entry_offset;
  EXPECT_EQ(lexicon_group_terms("0,zero+1,one", 0, true), "");  // mask 0 shares no bit
}

TEST_F(LexiconTest, ExpansionRules) {
  TempDir tmp;
  const std::string program = make_program_dir(tmp);
  ASSERT_TRUE(lexicon_open(program));
  struct Case {
    const char* what;
    std::string word;
    bool filter;
    std::string expansion;
  } cases[] = {
      // Two hits or more (car: two lines, and the word of "railway car"): the terms of
      // their groups in byte order, each once. One hit: its line's terms in line order.
      {"first term", "car", false, "auto+automobile+car+railcar+railway car"},
      {"letter case ignored", "CAR", false, "auto+automobile+car+railcar+railway car"},
      {"a later term of the line", "automobile", false, "car+auto+automobile"},
      {"a later term, shorter than the first", "auto", false, "car+auto+automobile"},
      {"phrase term", "railway car", false, "car+railcar+railway car"},
      {"word of a phrase term is no entry", "railway", false, "railway"},
      {"last word of a phrase term", "cream", false, "cream"},
      {"phrase in a later entry", "sundae", false, "ice cream+sundae"},
      {"unknown word", "xyzzy", false, "xyzzy"},
      {"no filter", "shore", false, "bank+shore+depend"},
      {"filter: shares bit 1", "shore", true, "bank+shore"},
      {"filter: mask 3 keeps all", "bank", true, "bank+shore+depend"},
      {"filter: mask 0 keeps nothing", "zero", true, "zero"},
      {"mask 0 without filter", "zero", false, "zero+one"},
      {"Chinese, second hop", kTai, false, kNorth + "+" + kTai + "+" + kTaiOld + "+" + kTyphoon + "+" + kTaiDesk},
      {"Chinese, filter drops the hop", kTai, true, kTai + "+" + kTaiOld + "+" + kTyphoon + "+" + kTaiDesk},
      {"Chinese, one group in line order", kTyphoon, false, kTai + "+" + kTaiDesk + "+" + kTaiOld + "+" + kTyphoon},
      {"Chinese word of two characters", kTai + kWan, false, kTai + kWan + "+" + kTaiOld + kWan},
      {"Chinese, inside a longer term", kWan, false, kWan},
      {"Chinese, unknown", kTai + kNorth, false, kTai + kNorth},
  };
  for (const Case& c : cases) {
    const std::string got = static_cast<unsigned char>(c.word[0]) >= 0x80
                                ? lexicon_expand_chinese(c.word, options(c.filter))
                                : lexicon_expand_english(c.word, options(c.filter));
    EXPECT_EQ(got, c.expansion) << c.what;
  }
  lexicon_close();
  EXPECT_EQ(lexicon_expand_english("car", options()), "car");  // closed: the word itself
}

TEST_F(LexiconTest, FuzzyMatchingStillNeedsAWholeEntry) {
  TempDir tmp;
  const std::string program = make_program_dir(tmp, "1,colour+1,hue\n1,sprint+1,dash\n");
  ASSERT_TRUE(lexicon_open(program));
  SearchOptions fuzzy = options(false, true);
  fuzzy.match_rate = 50;
  // "colour" is similar enough but longer than the keyword: not a whole entry.
  EXPECT_EQ(lexicon_expand_english("color", fuzzy), "color");
  // A spelling variant of the same length is.
  EXPECT_EQ(lexicon_expand_english("spr1nt", fuzzy), "sprint+dash");
  EXPECT_EQ(lexicon_expand_english("spr1nt", options()), "spr1nt");
}

TEST_F(LexiconTest, ExpandQueryKeepsTheExpressionParseable) {
  TempDir tmp;
  const std::string program = make_program_dir(tmp);
  struct Case {
    std::string keywords;  // as the user types them
    std::string expanded;  // lexicon_expand_query of the parsed text
    std::string reparsed;  // query_parse of the expansion
  } cases[] = {
      {"car", "(auto+automobile+car+railcar+railway car)", "(auto+automobile+car+railcar+railway car)"},
      {"xyzzy", "(xyzzy)", "(xyzzy)"},
      // The paragraph "and" survives the second parse.
      {"run sundae", "(run sundae)", "(run sundae)"},
      {"run~sundae", "(run+sprint)~(ice cream+sundae)", "(run+sprint)&(ice cream+sundae)"},
      {"run&sundae", "(run+sprint)*(ice cream+sundae)", "(run+sprint)*(ice cream+sundae)"},
      {"(run|xyzzy)!car", "((run+sprint)+(xyzzy))-(auto+automobile+car+railcar+railway car)",
       "((run+sprint)+(xyzzy))-(auto+automobile+car+railcar+railway car)"},
      {"run" + kTai + kWan, "(run+sprint)~(" + kTai + kWan + "+" + kTaiOld + kWan + ")",
       "(run+sprint)&(" + kTai + kWan + "+" + kTaiOld + kWan + ")"},
  };
  for (const Case& c : cases) {
    std::string parsed = c.keywords;
    ASSERT_TRUE(query_parse(parsed)) << c.keywords;
    std::string expanded = lexicon_expand_query(program, parsed, options());
    EXPECT_EQ(expanded, c.expanded) << c.keywords;
    query_parse(expanded);
    EXPECT_EQ(expanded, c.reparsed) << c.keywords;
  }
  EXPECT_FALSE(lexicon().is_open());  // closed again before the databases are searched
}

TEST_F(LexiconTest, WordTenGroupsDeepStaysBare) {
  TempDir tmp;
  const std::string program = make_program_dir(tmp);
  std::string parsed = "((((((((((run))))))))))+car";
  ASSERT_TRUE(query_parse(parsed));
  std::string expanded = lexicon_expand_query(program, parsed, options());
  EXPECT_EQ(expanded, "((((((((((run))))))))))+(auto+automobile+car+railcar+railway car)");
  std::string reparsed = expanded;
  query_parse(reparsed);
  EXPECT_EQ(reparsed, expanded);
}

TEST_F(LexiconTest, FolderIsFoundCaseBlindAndNothingElseIsNeeded) {
  TempDir tmp;
  const std::string program = tmp.sub("program");
  std::string error;
  ASSERT_TRUE(lexicon_write(program + "lexdb/", parse_list(kFixture), error)) << error;
  EXPECT_EQ(lexicon_expand_query(program, "sundae", options()), "(ice cream+sundae)");
}

TEST_F(LexiconTest, PrefixTableComesFromTheLexiconFolder) {
  TempDir tmp;
  const std::string program = make_program_dir(tmp);
  // A prefix table and signatures in the current directory that know no words at all.
  const std::string elsewhere = tmp.sub("cwd");
  std::ofstream(elsewhere + "rehash.db", std::ios::binary)
      << std::string(index_format::kPrefixFileSize, '\0');
  std::ofstream(elsewhere + "esign.db", std::ios::binary);
  const fs::path saved = fs::current_path();
  fs::current_path(elsewhere);
  std::string with_table = lexicon_expand_query(program, "sundae", options());
  fs::remove(program + "LexDB/rehash.db");  // without one the whole esign.db is read
  std::string without_table = lexicon_expand_query(program, "sundae", options());
  fs::current_path(saved);
  EXPECT_EQ(with_table, "(ice cream+sundae)");
  EXPECT_EQ(without_table, "(ice cream+sundae)");
}

// The bytes of one LexDB file, to damage.
struct FileEdit {
  std::string path;
  std::string bytes;
  explicit FileEdit(std::string p) : path(std::move(p)) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  ~FileEdit() { std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes; }
};

TEST_F(LexiconTest, MissingOrDamagedLexiconLeavesTheExpression) {
  const std::string kParsed = "car&" + kTai;
  const std::string kExpanded =
      "(auto+automobile+car+railcar+railway car)~(" + kNorth + "+" + kTai + "+" + kTaiOld + "+" + kTyphoon +
      "+" + kTaiDesk + ")";
  // Every Chinese term of the fixture in byte order.
  const std::string kChineseTerms = kNorth + "+" + kTai + "+" + kTai + kWan + "+" + kTaiOld + "+" + kTaiOld +
                                    kWan + "+" + kTyphoon + "+" + kTaiDesk;
  auto put32 = [](std::string& bytes, size_t at, uint32_t v) {
    le::put32(reinterpret_cast<unsigned char*>(bytes.data()) + at, v);
  };
  struct Case {
    const char* what;
    std::function<void(const std::string& folder)> damage;
    std::string expected;
  } cases[] = {
      {"intact", [](const std::string&) {}, kExpanded},
      {"no LexDB", [](const std::string& f) { fs::remove_all(f); }, kParsed},
      {"empty folder", [](const std::string& f) { fs::remove_all(f); fs::create_directory(f); }, kParsed},
      {"no cindex.db", [](const std::string& f) { fs::remove(f + "cindex.db"); }, kParsed},
      {"no esign.db", [](const std::string& f) { fs::remove(f + "esign.db"); }, kParsed},
      {"empty fulltext.db", [](const std::string& f) { FileEdit(f + "fulltext.db").bytes.clear(); }, kParsed},
      {"short chash.db", [](const std::string& f) { FileEdit(f + "chash.db").bytes.resize(100); }, kParsed},
      {"short cindex.db",
       [](const std::string& f) { FileEdit e(f + "cindex.db"); e.bytes.resize(e.bytes.size() - 8); }, kParsed},
      {"short esign.db",
       [](const std::string& f) { FileEdit e(f + "esign.db"); e.bytes.resize(e.bytes.size() - 8); }, kParsed},
      {"ehash.db list beyond eindex.db",
       [&](const std::string& f) { FileEdit e(f + "ehash.db"); put32(e.bytes, 24, 0x7FFFFFF8); }, kParsed},
      {"chash.db list beyond cindex.db",
       [&](const std::string& f) {
         FileEdit e(f + "chash.db");
         put32(e.bytes, index_format::char_slot(0xA5, 0x78) * 8 + 4, 0x10000);
       },
       kParsed},
      // Postings that point outside the text or the line: those hits are skipped.
      {"postings beyond the text",
       [&](const std::string& f) {
         FileEdit e(f + "eindex.db");
         for (size_t at = 0; at < e.bytes.size(); at += 8) put32(e.bytes, at, 0xFFFFFF00);
         FileEdit c(f + "cindex.db");
         for (size_t at = 0; at + 8 <= c.bytes.size(); at += 8) put32(c.bytes, at + 4, 0xFFFF);  // entry offset
       },
       "(car)~(" + kTai + ")"},
      // A text without line ends is read within one block and within the file.
      {"no line ends",
       [](const std::string& f) {
         FileEdit e(f + "fulltext.db");
         const char key = e.bytes.back();
         for (size_t i = 0; i + 1 < e.bytes.size(); ++i)
           if ((e.bytes[i] ^ key) == '\n') e.bytes[i] = char('+' ^ key);
       },
       "(auto+automobile+bank+car+depend+ice cream+one+railcar+railway car+run+shore+sprint+sundae+zero+" +
           kChineseTerms + ")~(" + kChineseTerms + ")"},
  };
  for (const Case& c : cases) {
    TempDir tmp;
    const std::string program = make_program_dir(tmp);
    c.damage(program + "LexDB/");
    std::string got;
    ASSERT_NO_THROW(got = lexicon_expand_query(program, kParsed, options())) << c.what;
    EXPECT_EQ(got, c.expected) << c.what;
    EXPECT_FALSE(lexicon().is_open()) << c.what;
  }
}

// The expansion feeding the search core: a document holding only a related term.
TEST_F(LexiconTest, ExpandedQueryFindsRelatedTerms) {
  TempDir tmp;
  const std::string program = make_program_dir(tmp);
  const std::string db = tmp.path() + "db/";
  ASSERT_TRUE(test::write_database(db, {
      test::make_document(0, {"the automobile was parked"}),
      test::make_document(1, {"a bicycle"}),
      test::make_document(2, {kTaiOld + "\xA5\x5F"}),     // 臺北
      test::make_document(3, {"automobile", "sundae"}),   // two paragraphs
      test::make_document(4, {"automobile and sundae"}),  // one paragraph
  }));
  const std::vector<SearchDatabase> databases = {{1, db, 0, false}};

  auto documents = [&](std::string keywords, bool expand) {
    if (!query_parse(keywords)) return std::vector<uint32_t>{};
    if (expand) {
      keywords = lexicon_expand_query(program, keywords, options());
      query_parse(keywords);
    }
    std::vector<uint32_t> found;
    for (const HitRecord& h : search_expression(keywords, databases, options())) found.push_back(h.document);
    return found;
  };
  EXPECT_EQ(documents("car", false), std::vector<uint32_t>{});
  EXPECT_EQ(documents("car", true), (std::vector<uint32_t>{0, 3, 4}));
  EXPECT_EQ(documents(kTai, false), std::vector<uint32_t>{});
  EXPECT_EQ(documents(kTai, true), std::vector<uint32_t>{2});
  // "~" (same paragraph) keeps its meaning through the expansion; "&" is same document.
  EXPECT_EQ(documents("car~ice cream", true), std::vector<uint32_t>{4});
  EXPECT_EQ(documents("car&ice cream", true), (std::vector<uint32_t>{3, 4}));
}

// Seeded random and mutated entries, lines and term lists: nothing reads out of bounds
// (the sanitizer build); parsed terms hold no separator and no blanks around them; sorted
// term lists are sorted, unique and stable; a term list the reader accepts gives lines
// whose stored text reads back as the same entries.
TEST(LexiconRobustness, EntriesLinesAndTermListsOnRandomText) {
  const std::vector<std::string> samples = {
      "1,car+1,auto+ 2 , automobile +4,\xA4\xA4\xA4\xE5\r\n",
      "# comment\n1,car+1,auto\n\n3,\xE4\xB8\xAD\xE6\x96\x87+3,ice cream\r\n",
      "4294967295,x+4294967296,y+,z+1,+1,a b  c\n",
  };
  std::vector<std::string> inputs = {",", "+", "1,", ",+", "1,\r", "99999999999999999999,a",
                                     std::string("1,\xA4", 3), "\xEF\xBB\xBF" "1,a"};
  test::RandomText rnd(0x1E7);
  for (int n = 0; n < 2000; ++n) inputs.push_back(rnd.input(samples, 300));

  for (const std::string& input : inputs) {
    test::InputTrace trace(input);
    std::optional<LexiconEntry> entry = lexicon_parse_entry(input);
    EXPECT_EQ(entry.has_value(), input.find(',') != std::string::npos);
    if (entry) {
      EXPECT_EQ(entry->term.find_first_of("+\r\n"), std::string::npos);
      if (!entry->term.empty()) {
        EXPECT_TRUE(entry->term.front() != ' ' && entry->term.back() != ' ');
      }
    }
    for (size_t offset : {size_t(0), input.size() / 2, input.size(), input.size() + 5}) {
      for (bool filter : {false, true}) {
        std::string group = lexicon_group_terms(input, offset, filter);
        EXPECT_EQ(group.find("++"), std::string::npos);
        EXPECT_TRUE(group.empty() || (group.front() != '+' && group.back() != '+'));
      }
    }
    std::string sorted = terms_sort_unique(input);
    EXPECT_EQ(terms_sort_unique(sorted), sorted);
    EXPECT_EQ(sorted.find("++"), std::string::npos);

    std::vector<LexiconLine> lines;
    std::string error;
    if (!lexicon_read_term_list(input, lines, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    for (const LexiconLine& line : lines) {
      std::string text = lexicon_line_text(line);
      EXPECT_LE(text.size(), lexicon_format::kMaxLineBytes);
      std::string terms;
      for (const LexiconEntry& e : line) {
        EXPECT_EQ(lexicon_term_problem(e.term), "");
        if (!terms.empty()) terms += '+';
        terms += e.term;
      }
      EXPECT_EQ(lexicon_group_terms(text, 0, false), terms);
      size_t at = 0;
      for (const LexiconEntry& e : line) {
        size_t end = std::min(text.find('+', at), text.size());
        EXPECT_EQ(lexicon_parse_entry(std::string_view(text).substr(at, end - at)), e);
        at = end + 1;
      }
    }
  }
}

}  // namespace
}  // namespace qm
