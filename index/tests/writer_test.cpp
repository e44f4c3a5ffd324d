// The index writer: byte layouts of a small fixture, round trips through the readers
// against a plain model, spill/merge identity, text rules and safe replacement.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "index/index_reader.h"
#include "index/index_writer.h"
#include "index/tests/fixture.h"
#include "platform/le.h"

namespace qm {
namespace {

namespace fmt = index_format;
using test::TempDir;
using test::read_file;

// Little-endian byte builder for expected file contents.
struct Bytes {
  std::string s;
  Bytes& u16(uint16_t v) { le::append16(s, v); return *this; }
  Bytes& u32(uint32_t v) { le::append32(s, v); return *this; }
  Bytes& text(std::string_view t) { s.append(t); return *this; }
  Bytes& posting(uint32_t d, uint16_t p, uint16_t pos) { return u32(d).u16(p).u16(pos); }
  Bytes& word(std::string_view w, uint32_t offset) {
    std::string field(24, '\0');
    field.replace(0, w.size(), w);
    s += field;
    return u32(offset);
  }
};

const uint32_t kZhong = fmt::char_slot(0xA4, 0xA4);  // 中 9403
const uint32_t kWen = fmt::char_slot(0xA4, 0xE5);    // 文 15513

std::string chash_with(std::map<uint32_t, std::pair<uint32_t, uint32_t>> slots) {
  std::string out(fmt::kCharHashFileSize, '\0');
  for (auto [slot, rec] : slots) {
    le::put32(reinterpret_cast<unsigned char*>(out.data()) + slot * 8, rec.first);
    le::put32(reinterpret_cast<unsigned char*>(out.data()) + slot * 8 + 4, rec.second);
  }
  return out;
}

TEST(IndexWriter, CharacterDatabaseBytes) {
  TempDir dir;
  test::build(dir.path(), test::small_fixture());

  EXPECT_EQ(read_file(dir / "cross.db"), Bytes().u32(0).u32(0).u32(38).u32(7).s);
  EXPECT_EQ(read_file(dir / "path.db"), std::string("d0.txt\0sub/d1.txt\0", 18));
  EXPECT_EQ(read_file(dir / "property.db"), Bytes().u32(20240105).u32(19991231).s);
  Bytes fulltext;
  fulltext.u16(2).u32(10).u32(18)
      .u16(1).u16(4).text("\xA4\xA4\xA4\xE5")
      .u16(0).u16(16).text("Hello \xA4\xA4\xA4\xA4 world")
      .u16(2).u32(48).u32(78)
      .u16(1).u16(26).text("abcdefghijklmnopqrstuvwxyz")
      .u16(0).u16(10).text("hello \xA4\xE5\xA4\xA4");
  EXPECT_EQ(read_file(dir / "fulltext.db"), fulltext.s);

  // 中 (slot 9403) before 文 (slot 15513); the repeated 中 is posted twice.
  EXPECT_EQ(read_file(dir / "cindex.db"), Bytes()
                                              .posting(0, 0, 0).posting(0, 1, 6).posting(0, 1, 8).posting(1, 1, 8)
                                              .posting(0, 0, 2).posting(1, 1, 6).s);
  EXPECT_EQ(read_file(dir / "chash.db"), chash_with({{kZhong, {4, 0}}, {kWen, {2, 32}}}));
  EXPECT_FALSE(test::file_exists(dir / "clist.db"));

  // Words sorted by bytes; the 26-letter word is stored as its first 23 letters.
  EXPECT_EQ(read_file(dir / "ehash.db"),
            Bytes().word("ABCDEFGHIJKLMNOPQRSTUVW", 0).word("HELLO", 8).word("WORLD", 24).s);
  EXPECT_EQ(read_file(dir / "eindex.db"),
            Bytes().posting(1, 0, 0).posting(0, 1, 0).posting(1, 1, 0).posting(0, 1, 1).s);
  Bytes sign;
  for (const char* w : {"ABCDEFGHIJKLMNOPQRSTUVW", "HELLO", "WORLD"}) {
    WordSignature s = word_signature(w);
    sign.u32(s.letters).u32(s.transitions);
  }
  EXPECT_EQ(read_file(dir / "esign.db"), sign.s);
  EXPECT_EQ(signature_length(word_signature("ABCDEFGHIJKLMNOPQRSTUVW")), 23u);

  std::string rehash(fmt::kPrefixFileSize, '\0');
  auto put = [&](int slot, uint32_t first, uint32_t count) {
    le::put32(reinterpret_cast<unsigned char*>(rehash.data()) + slot * 8, first);
    le::put32(reinterpret_cast<unsigned char*>(rehash.data()) + slot * 8 + 4, count);
  };
  put(407, 0, 1);   // AB
  put(662, 1, 1);   // HE
  put(1212, 2, 1);  // WO
  EXPECT_EQ(read_file(dir / "rehash.db"), rehash);

  // Only the set's files and its lock remain: no temporary names, no runs, no old files
  // kept aside, no replacement marker.
  EXPECT_EQ(test::list_dir(dir.path()),
            (std::vector<std::string>{"chash.db", "cindex.db", "cross.db", "ehash.db", "eindex.db",
                                      "esign.db", "fulltext.db", "index.lock", "path.db",
                                      "property.db", "rehash.db"}));
}

TEST(IndexWriter, PhraseDatabaseBytes) {
  TempDir dir;
  IndexWriterOptions options;
  options.phrase = true;
  test::build(dir.path(), test::small_fixture(), options);

  // Pairs: 中文 (0,0,0), 中中 (0,1,6), 文中 (1,1,6). Under 中 the following characters
  // ascend by code: 中 0xA4A4 before 文 0xA4E5.
  EXPECT_EQ(read_file(dir / "cindex.db"), Bytes().posting(0, 1, 6).posting(0, 0, 0).posting(1, 1, 6).s);
  EXPECT_EQ(read_file(dir / "clist.db"), Bytes()
                                             .u16(0xA4A4).u16(0).u32(1).u32(0)
                                             .u16(0xA4E5).u16(0).u32(1).u32(8)
                                             .u16(0xA4A4).u16(0).u32(1).u32(16).s);
  EXPECT_EQ(read_file(dir / "chash.db"), chash_with({{kZhong, {2, 0}}, {kWen, {1, 24}}}));
  // The English side does not change with the kind of database.
  EXPECT_EQ(read_file(dir / "eindex.db"),
            Bytes().posting(1, 0, 0).posting(0, 1, 0).posting(1, 1, 0).posting(0, 1, 1).s);
}

// ---- Round trip against a plain model ---------------------------------------------------

struct Model {
  std::map<uint32_t, std::vector<PostingEntry>> chinese;  // slot << 16 | following code
  std::map<std::string, std::vector<PostingEntry>> words;
};

// Deterministic random documents mixing Big5, English words of all lengths, digits,
// punctuation and bytes the writer must blank.
std::vector<IndexDocument> random_corpus(uint32_t seed, int documents) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  const char* const words[] = {"the", "Quick", "BROWN", "fox", "x1", "2024", "a", "supercalifragilistic"
                               "expialidocious", "Zebra", "zebra9"};
  std::vector<IndexDocument> docs;
  for (int d = 0; d < documents; ++d) {
    IndexDocument doc;
    doc.path = "dir/doc" + std::to_string(d) + ".txt";
    doc.date = 20000101 + d;
    int paras = 1 + pick(4);
    for (int p = 0; p < paras; ++p) {
      std::string t;
      int items = pick(40);
      for (int i = 0; i < items; ++i) {
        switch (pick(6)) {
          case 0: case 1: {  // a few Big5 characters from a small alphabet
            int n = 1 + pick(4);
            for (int k = 0; k < n; ++k) {
              t += char(0xA4 + pick(3));
              t += char(pick(2) ? 0x40 + pick(4) : 0xA1 + pick(4));
            }
            break;
          }
          case 2: case 3: t += words[pick(std::size(words))]; break;
          case 4: t += ' '; break;
          default: t += "\t\x80\xFF.,\n"[pick(6)]; break;
        }
      }
      doc.paragraphs.push_back({uint16_t(p), t});
    }
    docs.push_back(std::move(doc));
  }
  return docs;
}

Model model_of(const std::vector<IndexDocument>& docs, bool phrase) {
  Model m;
  for (uint32_t d = 0; d < docs.size(); ++d) {
    for (uint16_t p = 0; p < docs[d].paragraphs.size(); ++p) {
      std::string t = index_sanitize_text(docs[d].paragraphs[p].text);
      uint16_t ordinal = 0;
      for (size_t i = 0; i < t.size();) {
        unsigned char c = t[i];
        if (c >= 0x80) {
          uint32_t slot = fmt::char_slot(c, t[i + 1]);
          if (!phrase)
            m.chinese[slot << 16].push_back({d, p, uint16_t(i)});
          else if (i + 3 < t.size() && (unsigned char)t[i + 2] >= 0x80)
            m.chinese[slot << 16 | fmt::char_code(t[i + 2], t[i + 3])].push_back({d, p, uint16_t(i)});
          i += 2;
        } else if (isalnum(c)) {
          size_t j = i;
          while (j < t.size() && isalnum((unsigned char)t[j])) ++j;
          std::string w = t.substr(i, std::min<size_t>(j - i, 23));
          for (char& ch : w) ch = char(toupper((unsigned char)ch));
          m.words[w].push_back({d, p, ordinal++});
          i = j;
        } else {
          ++i;
        }
      }
    }
  }
  return m;
}

bool same(const std::vector<PostingEntry>& a, const std::vector<PostingEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (posting_compare(a[i], b[i]) != 0) return false;
  return true;
}

void expect_matches_model(const std::string& dir, const std::vector<IndexDocument>& docs, bool phrase) {
  Model m = model_of(docs, phrase);
  IndexFileSet set;
  ASSERT_TRUE(set.open(dir, phrase ? 1 : 0, true));
  ASSERT_EQ(set.document_count(), docs.size());
  for (uint32_t d = 0; d < docs.size(); ++d) {
    CrossRecord cross;
    ASSERT_TRUE(set.read_cross(d, cross));
    std::string path;
    ASSERT_TRUE(set.read_path(d, path));
    EXPECT_EQ(path, docs[d].path);
    PropertyValue date = 0;
    ASSERT_TRUE(set.read_property(d, date));
    EXPECT_EQ(date, docs[d].date);
    for (uint32_t p = 0; p < docs[d].paragraphs.size(); ++p) {
      Paragraph para = set.read_paragraph(cross.fulltext_offset, p);
      EXPECT_EQ(para.kind, docs[d].paragraphs[p].kind);
      EXPECT_EQ(para.text, index_sanitize_text(docs[d].paragraphs[p].text));
    }
  }
  std::map<uint32_t, std::vector<PostingEntry>> chinese;
  for (uint32_t slot = 0; slot < fmt::kCharSlots; ++slot) {
    CharHashRecord h;
    ASSERT_TRUE(set.read_char_hash(slot, h));
    if (h.count == 0) continue;
    if (!phrase) {
      ASSERT_TRUE(set.append_char_postings(h.offset, h.count, chinese[slot << 16]));
      continue;
    }
    std::vector<CharPairRecord> pairs;
    ASSERT_TRUE(set.read_char_pairs(h.offset, h.count, pairs));
    for (size_t i = 0; i < pairs.size(); ++i) {
      if (i > 0) {
        EXPECT_LT(pairs[i - 1].code, pairs[i].code);
      }
      ASSERT_TRUE(set.append_char_postings(pairs[i].offset, pairs[i].count, chinese[slot << 16 | pairs[i].code]));
    }
  }
  EXPECT_EQ(chinese.size(), m.chinese.size());
  for (const auto& [key, list] : m.chinese) EXPECT_TRUE(same(chinese[key], list)) << key;

  ASSERT_EQ(set.word_count(), m.words.size());
  std::vector<WordSignature> sigs;
  ASSERT_TRUE(set.read_word_signatures(0, set.word_count(), sigs));
  uint32_t w = 0;
  for (const auto& [word, list] : m.words) {
    WordHashRecord rec;
    ASSERT_TRUE(set.read_word_hash(w, rec));
    EXPECT_EQ(rec.word, word);
    EXPECT_EQ(sigs[w], word_signature(word));
    uint32_t offset = 0, count = 0;
    ASSERT_TRUE(set.word_list_range(w, offset, count));
    std::vector<PostingEntry> got;
    ASSERT_TRUE(set.append_word_postings(offset, count, got));
    EXPECT_TRUE(same(got, list)) << word;
    ++w;
  }
}

TEST(IndexWriter, RoundTripMatchesModel) {
  auto docs = random_corpus(7, 300);
  for (bool phrase : {false, true}) {
    TempDir dir;
    IndexWriterOptions options;
    options.phrase = phrase;
    IndexWriterStats stats = test::build(dir.path(), docs, options);
    EXPECT_EQ(stats.documents, docs.size());
    EXPECT_EQ(stats.runs, 0u);
    expect_matches_model(dir.path(), docs, phrase);
  }
}

TEST(IndexWriter, SpilledRunsGiveIdenticalFiles) {
  auto docs = random_corpus(11, 400);
  for (bool phrase : {false, true}) {
    TempDir whole, spilled;
    IndexWriterOptions options;
    options.phrase = phrase;
    test::build(whole.path(), docs, options);
    options.memory_budget = 1;  // a run after every paragraph
    IndexWriterStats stats = test::build(spilled.path(), docs, options);
    EXPECT_GT(stats.runs, 100u);
    auto names = test::list_dir(whole.path());
    EXPECT_EQ(names, test::list_dir(spilled.path()));  // the runs are gone too
    for (const auto& name : names)
      EXPECT_TRUE(read_file(whole / name) == read_file(spilled / name)) << name << " phrase=" << phrase;
    expect_matches_model(spilled.path(), docs, phrase);
  }
}

// ---- Text rules -------------------------------------------------------------------------

TEST(IndexWriter, SanitizeKeepsAsciiAndBig5Only) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"plain text", "plain text"},
      {"a\tb\r\nc", "a b  c"},
      {"\xA4\xA4\xA4\xE5", "\xA4\xA4\xA4\xE5"},       // valid pairs stay
      {"\xA4\x40\xFE\xFE", "\xA4\x40\xFE\xFE"},       // trail 0x40 and 0xFE
      {"ab\x80" "cd", "ab cd"},                       // a stray byte splits the word
      {"\xA4\x20x", "  x"},                           // lead before a bad trail
      {"x\xA4", "x "},                                // lead at the end
      {"\xFF\xA0\x7F", "   "},
      {std::string("a\0b", 3), "a b"},
      {"\xA4\xA4\x5C", "\xA4\xA4\x5C"},               // trail 0x5C is not a backslash walk
  };
  for (const auto& c : cases) EXPECT_EQ(index_sanitize_text(c.in), c.out) << c.in;
}

TEST(IndexWriter, SplitsLongTextAtCharacterAndWordBoundaries) {
  // Big5 only: the cut never falls inside a pair.
  std::string zh;
  for (int i = 0; i < 10; ++i) zh += "\xA4\xA4";
  const std::string text = "x" + zh;  // x + 中...: 1 + 2k bytes
  auto pieces = index_split_text(text, 8);
  size_t total = 0;
  for (auto p : pieces) {
    EXPECT_LE(p.size(), 8u);
    EXPECT_EQ((p.size() - (p[0] == 'x')) % 2, 0u) << p;
    total += p.size();
  }
  EXPECT_EQ(total, 21u);
  // English words are not cut when a boundary lies in reach.
  pieces = index_split_text("alpha beta gamma", 12);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "alpha beta ");
  EXPECT_EQ(pieces[1], "gamma");
  // One endless word is cut anyway.
  const std::string word(25, 'a');
  EXPECT_EQ(index_split_text(word, 10).size(), 3u);
  EXPECT_EQ(index_split_text("").size(), 1u);
}

TEST(IndexWriter, LongParagraphBecomesSeveralWithoutPositionWrap) {
  TempDir dir;
  std::string text;
  while (text.size() < 70000) text += "\xA4\xA4 word ";  // 中 word
  IndexDocument doc{"long.txt", 1, {{3, text}}};
  IndexWriterStats stats = test::build(dir.path(), {doc});
  EXPECT_EQ(stats.split_paragraphs, 1u);
  IndexFileSet set;
  ASSERT_TRUE(set.open(dir.path(), 0, false));
  CrossRecord cross;
  ASSERT_TRUE(set.read_cross(0, cross));
  uint16_t count = 0;
  ASSERT_TRUE(set.read_paragraph_count(cross.fulltext_offset, count));
  ASSERT_EQ(count, 2);
  Paragraph a = set.read_paragraph(cross.fulltext_offset, 0);
  Paragraph b = set.read_paragraph(cross.fulltext_offset, 1);
  EXPECT_EQ(a.kind, 3);
  EXPECT_EQ(b.kind, 3);
  EXPECT_LE(a.text.size(), 65535u);
  EXPECT_EQ(a.text + b.text, text);
  CharHashRecord h;
  ASSERT_TRUE(set.read_char_hash(fmt::char_slot(0xA4, 0xA4), h));
  std::vector<PostingEntry> list;
  ASSERT_TRUE(set.append_char_postings(h.offset, h.count, list));
  for (size_t i = 1; i < list.size(); ++i) ASSERT_LT(posting_compare(list[i - 1], list[i]), 0);
  for (const auto& e : list) {
    const std::string& t = e.paragraph == 0 ? a.text : b.text;
    ASSERT_EQ(t.substr(e.position, 2), "\xA4\xA4");
  }
}

TEST(IndexWriter, RejectsBadPathsAndGoesOn) {
  TempDir dir;
  IndexWriterOptions options;
  options.sync = false;
  IndexWriter writer(dir.path(), options);
  struct Case { std::string path; bool accepted; };
  const Case cases[] = {
      {std::string(259, 'p'), true},
      {std::string(260, 'p'), false},
      {"", false},
      {std::string("a\0b", 3), false},
      {"ok.txt", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(writer.add_document({c.path, 0, {{0, "text"}}}), c.accepted) << c.path.size();
    EXPECT_FALSE(writer.failed());
  }
  ASSERT_TRUE(writer.finish()) << writer.error();
  EXPECT_EQ(writer.stats().documents, 2u);
  EXPECT_EQ(writer.stats().rejected_documents, 3u);
  IndexFileSet set;
  ASSERT_TRUE(set.open(dir.path(), 0, false));
  std::string path;
  ASSERT_TRUE(set.read_path(0, path));
  EXPECT_EQ(path, std::string(259, 'p'));
  ASSERT_TRUE(set.read_path(1, path));
  EXPECT_EQ(path, "ok.txt");
}

TEST(IndexWriter, EmptyCollectionAndEmptyParagraphs) {
  TempDir dir;
  test::build(dir.path(), {});
  IndexFileSet set;
  ASSERT_TRUE(set.open(dir.path(), 0, true));
  EXPECT_EQ(set.document_count(), 0u);
  EXPECT_EQ(set.word_count(), 0u);
  EXPECT_EQ(read_file(dir / "chash.db"), std::string(fmt::kCharHashFileSize, '\0'));
  EXPECT_EQ(read_file(dir / "rehash.db"), std::string(fmt::kPrefixFileSize, '\0'));

  TempDir dir2;
  test::build(dir2.path(), {{"e.txt", 0, {}}, {"f.txt", 0, {{0, ""}, {0, "x"}}}});
  ASSERT_TRUE(set.open(dir2.path(), 0, false));
  CrossRecord cross;
  ASSERT_TRUE(set.read_cross(1, cross));
  uint16_t count = 9;
  ASSERT_TRUE(set.read_paragraph_count(cross.fulltext_offset, count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(set.read_paragraph(cross.fulltext_offset, 1).text, "x");
}

// ---- Safe replacement -------------------------------------------------------------------

TEST(IndexWriter, UnfinishedOrFailedBuildLeavesOldSet) {
  TempDir dir;
  test::build(dir.path(), test::small_fixture());
  std::map<std::string, std::string> before;
  for (const auto& n : test::list_dir(dir.path())) before[n] = read_file(dir / n);

  {  // abandoned in the middle, after runs were spilled
    IndexWriterOptions options;
    options.memory_budget = 1;
    IndexWriter writer(dir.path(), options);
    for (const auto& d : random_corpus(3, 20)) ASSERT_TRUE(writer.add_document(d));
    EXPECT_GT(writer.stats().runs, 0u);
  }
  std::map<std::string, std::string> after;
  for (const auto& n : test::list_dir(dir.path())) after[n] = read_file(dir / n);
  EXPECT_TRUE(before == after);

  IndexWriter nowhere(dir / "missing/", {});
  EXPECT_TRUE(nowhere.failed());
  EXPECT_FALSE(nowhere.error().empty());
  EXPECT_FALSE(nowhere.add_document({"a", 0, {}}));
  EXPECT_FALSE(nowhere.finish());
}

TEST(IndexWriter, CharacterBuildRemovesStalePairList) {
  TempDir dir;
  IndexWriterOptions phrase;
  phrase.phrase = true;
  test::build(dir.path(), test::small_fixture(), phrase);
  ASSERT_TRUE(test::file_exists(dir / "clist.db"));
  test::build(dir.path(), test::small_fixture());
  EXPECT_FALSE(test::file_exists(dir / "clist.db"));
}

}  // namespace
}  // namespace qm
