// The lexicon that the build installs in the dist directory (WordNet synonym sets and
// Unihan variants): it opens, expands known words, and a keyword finds a document that
// holds only a synonym.
#include <gtest/gtest.h>

#include "searcher/lexicon/lexicon.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

const std::string kDist = std::string(QM_DIST_DIR) + "/";

SearchOptions options(bool category_filter = false) {
  SearchOptions o;
  o.flags.lexicon = true;
  o.flags.category_filter = category_filter;
  return o;
}

bool holds(const std::string& expansion, const std::string& term) {
  return ("+" + expansion + "+").find("+" + term + "+") != std::string::npos;
}

TEST(LexiconData, InstalledLexiconExpands) {
  lexicon_reset();
  ASSERT_TRUE(lexicon_open(kDist)) << "LexDB missing from " << kDist;
  struct Case {
    std::string word;
    std::vector<std::string> terms;
  } cases[] = {
      {"car", {"auto", "automobile", "car", "motorcar", "railcar"}},
      {"Automobile", {"auto", "car", "motorcar"}},
      {"ice cream", {"ice cream", "icecream"}},
      {"quickly", {"quickly", "rapidly", "speedily"}},
      {"\xA5\x78", {"\xA5\x78", "\xBB\x4F"}},  // 台: 臺
      {"\xBB\x4F", {"\xA5\x78", "\xBB\x4F"}},  // 臺: 台
      {"\xB8\xCC", {"\xB8\xCC", "\xF9\xD8"}},  // 裡: 裏
  };
  for (const Case& c : cases) {
    const bool chinese = static_cast<unsigned char>(c.word[0]) >= 0x80;
    std::string expansion = chinese ? lexicon_expand_chinese(c.word, options())
                                    : lexicon_expand_english(c.word, options());
    for (const std::string& term : c.terms) EXPECT_TRUE(holds(expansion, term)) << c.word << ": " << expansion;
  }
  // A keyword that WordNet lacks stays as it is.
  EXPECT_EQ(lexicon_expand_english("qzxv", options()), "qzxv");
  lexicon_close();
}

TEST(LexiconData, SynonymFindsTheDocument) {
  test::TempDir tmp;
  const std::string db = tmp.path() + "db/";
  ASSERT_TRUE(test::write_database(db, {
      test::make_document(0, {"She drove her automobile to the coast."}),
      test::make_document(1, {"A bicycle leans on the wall."}),
      test::make_document(2, {"\xBB\x4F\xA5\x5F"}),  // 臺北
  }));
  const std::vector<SearchDatabase> databases = {{1, db, 0, false}};
  auto documents = [&](std::string keywords) {
    EXPECT_TRUE(query_parse(keywords));
    keywords = lexicon_expand_query(kDist, keywords, options());
    query_parse(keywords);
    std::vector<uint32_t> found;
    for (const HitRecord& h : search_expression(keywords, databases, options())) found.push_back(h.document);
    return found;
  };
  EXPECT_EQ(documents("car"), std::vector<uint32_t>{0});
  EXPECT_EQ(documents("motorcar"), std::vector<uint32_t>{0});
  EXPECT_EQ(documents("\xA5\x78"), std::vector<uint32_t>{2});  // 台 finds 臺北
  EXPECT_EQ(documents("car|\xA5\x78"), (std::vector<uint32_t>{0, 2}));
}

}  // namespace
}  // namespace qm
