// Whole keyword road over generated fixture databases: Chinese, English and boolean
// queries must return exactly the documents that a plain scan of the fixture text finds.
// The scan works on the text alone (never on the index), with its own Big5-aware walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "searcher/tests/search_fixture.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace qm {
namespace {

// ---- The scan ---------------------------------------------------------------------

bool is_pair(const std::string& s, size_t i) {
  auto lead = static_cast<unsigned char>(s[i]);
  return i + 1 < s.size() && lead >= 0xA1 && lead <= 0xFE && static_cast<unsigned char>(s[i + 1]) >= 0x40 &&
         static_cast<unsigned char>(s[i + 1]) <= 0xFE;
}

bool is_alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string upper23(std::string w) {
  for (char& c : w)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  if (w.size() > 23) w.resize(23);
  return w;
}

// The English words of a paragraph in order (Big5 pairs are not part of any word).
std::vector<std::string> english_words(const std::string& text) {
  std::vector<std::string> words;
  for (size_t i = 0; i < text.size();) {
    if (is_pair(text, i)) {
      i += 2;
    } else if (is_alnum(text[i])) {
      size_t j = i;
      while (j < text.size() && is_alnum(text[j])) ++j;
      words.push_back(upper23(text.substr(i, j - i)));
      i = j;
    } else {
      ++i;
    }
  }
  return words;
}

// Occurrences of a Chinese word starting at a character boundary.
int chinese_count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t i = 0; i < text.size(); i += is_pair(text, i) ? 2 : 1)
    if (text.compare(i, word.size(), word) == 0) ++n;
  return n;
}

// Occurrences of an English word or phrase (words next to each other, in order) among
// the words of a paragraph.
int english_count(const std::vector<std::string>& words, const std::string& phrase) {
  const std::vector<std::string> want = english_words(phrase);
  int n = 0;
  for (size_t i = 0; i + want.size() <= words.size(); ++i)
    if (std::equal(want.begin(), want.end(), words.begin() + long(i))) ++n;
  return n;
}

struct Leaf {
  std::string text;
  bool chinese = false;
};


// ---- Queries ----------------------------------------------------------------------

struct Node {
  enum Kind { Word, SameParagraph, Binary } kind = Word;
  Leaf a, b;  // Word: a; SameParagraph: a and b
  char op = 0;
  std::unique_ptr<Node> left, right;
};

struct Document {
  uint16_t database;
  uint32_t number;
  std::vector<std::string> paragraphs;
  std::vector<std::vector<std::string>> words;  // English words of each paragraph
};

int leaf_count(const Document& d, size_t paragraph, const Leaf& leaf) {
  return leaf.chinese ? chinese_count(d.paragraphs[paragraph], leaf.text)
                      : english_count(d.words[paragraph], leaf.text);
}

using DocKey = std::pair<uint16_t, uint32_t>;

bool paragraph_passes(size_t p, const std::string& k) {
  if (k.empty()) return true;
  if (k == "1") return p == 0;
  if (k == "2~3") return p == 1 || p == 2;
  if (k == "2~") return p >= 1;
  if (k == "1,3") return p == 0 || p == 2;
  ADD_FAILURE() << "unknown filter " << k;
  return false;
}

std::set<DocKey> oracle(const Node& n, const std::vector<Document>& docs, const std::string& k) {
  std::set<DocKey> out;
  if (n.kind == Node::Binary) {
    std::set<DocKey> l = oracle(*n.left, docs, k), r = oracle(*n.right, docs, k);
    if (n.op == '+') {
      out = l;
      out.insert(r.begin(), r.end());
    } else if (n.op == '*') {
      std::set_intersection(l.begin(), l.end(), r.begin(), r.end(), std::inserter(out, out.end()));
    } else {
      std::set_difference(l.begin(), l.end(), r.begin(), r.end(), std::inserter(out, out.end()));
    }
    return out;
  }
  for (const Document& d : docs) {
    for (size_t p = 0; p < d.paragraphs.size(); ++p) {
      if (!paragraph_passes(p, k)) continue;
      if (leaf_count(d, p, n.a) > 0 && (n.kind == Node::Word || leaf_count(d, p, n.b) > 0)) {
        out.insert({d.database, d.number});
        break;
      }
    }
  }
  return out;
}

// ---- Generation -------------------------------------------------------------------

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  size_t below(size_t n) { return size_t(rng_() % n); }

  std::string chinese_char() { return test::big5(kChars[below(std::size(kChars))]); }

  std::string english_word() {
    std::string w = kWords[below(std::size(kWords))];
    switch (below(3)) {
      case 0: return w;
      case 1: return upper23(w) + (w.size() > 23 ? w.substr(23) : "");
      default:
        if (w[0] >= 'a' && w[0] <= 'z') w[0] = char(w[0] - 'a' + 'A');
        return w;
    }
  }

  std::string paragraph() {
    std::string text;
    bool prev_english = false;
    const size_t tokens = 3 + below(18);
    for (size_t t = 0; t < tokens; ++t) {
      const bool english = below(2) == 0;
      static const char* kSeparators[] = {"", " ", ", ", " - ", "\xA1\x41"};  // last: a Big5 comma
      std::string sep = t == 0 ? "" : kSeparators[below(std::size(kSeparators))];
      if (sep.empty() && english && prev_english) sep = " ";
      text += sep;
      if (english) {
        text += english_word();
      } else {
        for (size_t c = 1 + below(4); c > 0; --c) text += chinese_char();
      }
      prev_english = english;
    }
    return text;
  }

  // A leaf: mostly taken from the fixture text (so it has hits), sometimes made up.
  Leaf leaf(const std::vector<Document>& docs) {
    const Document& d = docs[below(docs.size())];
    const std::string& p = d.paragraphs[below(d.paragraphs.size())];
    Leaf leaf;
    const size_t kind = below(10);
    if (kind < 5) {
      leaf.chinese = true;
      std::vector<size_t> starts;
      for (size_t i = 0; i < p.size(); i += is_pair(p, i) ? 2 : 1)
        if (is_pair(p, i)) starts.push_back(i);
      if (starts.empty() || below(5) == 0) {
        for (size_t c = 1 + below(3); c > 0; --c) leaf.text += chinese_char();
        return leaf;
      }
      size_t at = starts[below(starts.size())];
      for (size_t c = 1 + below(4); c > 0 && is_pair(p, at); --c, at += 2) leaf.text += p.substr(at, 2);
      return leaf;
    }
    std::vector<std::string> words = english_words(p);
    if (words.empty() || below(5) == 0) {
      leaf.text = english_word();
      if (kind == 9) leaf.text += " " + english_word();
      if (leaf.text.size() > kQueryTokenLimit && leaf.text.find(' ') != std::string::npos)
        leaf.text.resize(leaf.text.find(' '));  // a phrase must fit in one token
      return leaf;
    }
    size_t at = below(words.size());
    leaf.text = words[at];
    // A phrase, when it fits in one token.
    if (kind >= 8 && at + 1 < words.size() && leaf.text.size() + 1 + words[at + 1].size() <= kQueryTokenLimit)
      leaf.text += " " + words[at + 1];
    return leaf;
  }

  // A query and its tree: a word, two words in one paragraph, or two groups joined by
  // an operator (in one of its spellings).
  std::unique_ptr<Node> node(const std::vector<Document>& docs, int depth, std::string& text) {
    auto n = std::make_unique<Node>();
    const size_t kind = depth >= 2 ? below(2) : below(5);
    if (kind == 0) {
      n->a = leaf(docs);
      text = n->a.text;
    } else if (kind == 1) {
      n->kind = Node::SameParagraph;
      n->a = leaf(docs);
      n->b = leaf(docs);
      const bool blank = n->a.chinese && n->b.chinese && below(2) == 0;
      text = n->a.text + (blank ? " " : " ~ ") + n->b.text;
    } else {
      n->kind = Node::Binary;
      static const std::pair<char, const char*> kOps[] = {{'+', "+"}, {'+', " | "}, {'*', "*"},
                                                          {'*', " & "}, {'-', "-"}, {'-', " ! "}};
      auto [op, spelling] = kOps[below(std::size(kOps))];
      n->op = op;
      std::string l, r;
      n->left = node(docs, depth + 1, l);
      n->right = node(docs, depth + 1, r);
      text = "(" + l + ")" + spelling + "(" + r + ")";
    }
    return n;
  }

 private:
  // Big5 characters, among them trail bytes that are ASCII letters and the backslash.
  static constexpr uint16_t kChars[] = {0xA440, 0xA45C, 0xA461, 0xA4A4, 0xA4E5, 0xA5A4, 0xA65C,
                                        0xA77E, 0xB35C, 0xC940, 0xF9FE, 0xA6B3, 0xA8EC, 0xAA6B};
  static constexpr const char* kWords[] = {"alpha", "beta", "gamma", "delta", "echo",   "fox",
                                           "golf",  "hotel", "india", "kilo",  "x2",    "2024",
                                           "supercalifragilisticexpialidocious"};
  std::mt19937 rng_;
};

// ---- The fixture ------------------------------------------------------------------

class SearchOracle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    docs_ = new std::vector<Document>;
    Generator gen(20240611);
    for (uint16_t id : {3, 7}) {
      std::vector<IndexDocument> written;
      const size_t count = id == 3 ? 70 : 45;
      for (uint32_t i = 0; i < count; ++i) {
        Document d{id, i, {}, {}};
        for (size_t p = 1 + gen.below(4); p > 0; --p) {
          d.paragraphs.push_back(gen.paragraph());
          d.words.push_back(english_words(d.paragraphs.back()));
        }
        written.push_back(test::make_document(i, d.paragraphs));
        docs_->push_back(std::move(d));
      }
      SearchDatabase db;
      db.id = id;
      db.work_dir = dir_->path() + "db" + std::to_string(id) + "/";
      ASSERT_TRUE(test::write_database(db.work_dir, written));
      databases_.push_back(db);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete docs_;
    databases_.clear();
  }

  static test::TempDir* dir_;
  static std::vector<Document>* docs_;
  static std::vector<SearchDatabase> databases_;
};
test::TempDir* SearchOracle::dir_ = nullptr;
std::vector<Document>* SearchOracle::docs_ = nullptr;
std::vector<SearchDatabase> SearchOracle::databases_;

TEST_F(SearchOracle, GeneratedQueriesFindWhatTheTextHolds) {
  Generator gen(7);
  static const char* kFilters[] = {"1", "2~3", "2~", "1,3"};
  size_t with_hits = 0;
  for (int q = 0; q < 400; ++q) {
    std::string text;
    std::unique_ptr<Node> tree = gen.node(*docs_, 0, text);
    SearchOptions options;
    if (gen.below(4) == 0) options.paragraphs = kFilters[gen.below(std::size(kFilters))];

    std::string expression = text;
    ASSERT_TRUE(query_parse(expression)) << text;
    HitList hits = search_expression(expression, databases_, options);

    std::set<DocKey> expected = oracle(*tree, *docs_, options.paragraphs);
    std::vector<DocKey> got;
    for (const HitRecord& h : hits) got.push_back({h.database, h.document});
    ASSERT_TRUE(std::is_sorted(got.begin(), got.end())) << text;
    ASSERT_EQ(std::set<DocKey>(got.begin(), got.end()).size(), got.size()) << "one record per document: " << text;
    ASSERT_EQ(std::set<DocKey>(got.begin(), got.end()), expected)
        << "query " << q << ": " << text << " -> " << expression << " k=" << options.paragraphs;
    with_hits += expected.empty() ? 0 : 1;

    // A single word (of distinct characters) scores its occurrences in the document.
    if (tree->kind != Node::Word) continue;
    std::set<std::string> chars;
    for (size_t i = 0; tree->a.chinese && i < tree->a.text.size(); i += 2) chars.insert(tree->a.text.substr(i, 2));
    if (tree->a.chinese && chars.size() * 2 != tree->a.text.size()) continue;
    for (const HitRecord& h : hits) {
      const Document& d = *std::find_if(docs_->begin(), docs_->end(), [&](const Document& x) {
        return x.database == h.database && x.number == h.document;
      });
      int count = 0;
      for (size_t p = 0; p < d.paragraphs.size(); ++p)
        if (paragraph_passes(p, options.paragraphs)) count += leaf_count(d, p, tree->a);
      EXPECT_EQ(h.score, count) << text << " in " << h.database << ":" << h.document;
    }
  }
  // The generator is meant to find things most of the time.
  EXPECT_GT(with_hits, 200u);
}

}  // namespace
}  // namespace qm
