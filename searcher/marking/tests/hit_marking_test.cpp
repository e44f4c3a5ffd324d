// Hit marking: the marks sit around exactly the bytes the search matched, in every search
// mode, over Big5 text whose trail bytes look like ASCII, and never inside markup. Uses the
// search core's word_similarity and a small homophone table written by the test.
#include "searcher/marking/hit_marking.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/tests/random_text.h"
#include "testsupport/homophone_tables.h"
#include "testsupport/test_files.h"

namespace {

// Big5 characters used below (text in the comments).
#define ZHONG "\xA4\xA4"  // 中
#define WEN "\xA4\xE5"    // 文
#define ZI "\xA6\x72"     // 字 (trail byte "r")
#define JIAN "\xC0\xCB"   // 檢
#define SUO "\xAF\xC1"    // 索
#define XI "\xA8\x74"     // 系 (trail byte "t")
#define DA "\xA4\x6A"     // 大 (trail byte "j")
#define XU "\xB3\x5C"     // 許 (trail byte "\")
#define GONG "\xA5\x5C"   // 功 (trail byte "\")
#define TONG "\xA6\x50"   // 同 (trail byte "P")
#define TONG2 "\xB5\xA3"  // 童, sounds like 同
#define TONG3 "\xBB\xC9"  // 銅, sounds like 同
#define XUE "\xBE\xC7"    // 學
#define FWSP "\xA1\x40"   // full-width space

class HitMarking : public ::testing::Test {
 protected:
  void SetUp() override {
    // One group per list: every character of a group has that group as its homophones.
    qm::test::write_homophone_groups(dir_.path(), {TONG TONG2 TONG3, XUE, ZHONG, WEN, ZI, JIAN, SUO});
    tables_.set_paths(dir_.path());
  }

  qm::HitQuery query(std::vector<std::string> words, bool fault_tolerant, bool homophone,
                     int match_rate = 70) {
    std::vector<std::string> chinese;
    for (const std::string& w : words)
      if (!w.empty() && static_cast<unsigned char>(w[0]) >= 0x80) chinese.push_back(w);
    tables_.table_build(chinese, homophone);
    qm::HitQuery q;
    q.words = std::move(words);
    q.fault_tolerant = fault_tolerant;
    q.homophone = homophone;
    q.match_rate = match_rate;
    q.homophones = &tables_;
    return q;
  }

  qm::test::TempDir dir_{"qm_marking_"};
  qm::HomophoneTables tables_;
};

const qm::MarkTexts kBrackets{"[", "]"};

struct Case {
  const char* what;
  std::string text;
  std::vector<std::string> words;
  bool fault_tolerant;
  bool homophone;
  std::string marked;
};

TEST_F(HitMarking, MarksExactlyTheMatchedBytes) {
  const Case cases[] = {
      // English words.
      {"english word", "The quick brown fox", {"QUICK"}, false, false, "The [quick] brown fox"},
      {"letter case is ignored", "FOX fox Fox", {"FOX"}, false, false, "[FOX] [fox] [Fox]"},
      {"hit at the very end", "abc fox", {"FOX"}, false, false, "abc [fox]"},
      {"word inside a longer word is no hit", "foxes", {"FOX"}, false, false, "foxes"},
      {"similar word needs fault tolerance", "serach", {"SEARCH"}, false, false, "serach"},
      {"similar word with fault tolerance", "serach", {"SEARCH"}, true, false, "[serach]"},
      {"digit for a look-alike letter", "c0lor", {"COLOR"}, true, false, "[c0lor]"},
      // English phrases.
      {"phrase", "quick brown fox", {"BROWN FOX"}, false, false, "quick [brown fox]"},
      {"phrase over punctuation and a tag", "brown, <b>fox</b>!", {"BROWN FOX"}, false, false,
       "[brown, <b>fox]</b>!"},
      {"phrase over a full-width space", "brown" FWSP "fox", {"BROWN FOX"}, false, false,
       "[brown" FWSP "fox]"},
      {"phrase broken by a Chinese character", "brown" ZHONG "fox", {"BROWN FOX"}, false, false,
       "brown" ZHONG "fox"},
      {"phrase needs its last word", "brown", {"BROWN FOX"}, false, false, "brown"},
      {"phrase with a fuzzy word", "serach engine", {"SEARCH ENGINE"}, true, false,
       "[serach engine]"},
      // Chinese words.
      {"chinese word", ZHONG WEN ZI, {WEN ZI}, false, false, ZHONG "[" WEN ZI "]"},
      {"chinese word split by a line break and blanks", ZHONG WEN "\r\n  " ZI, {WEN ZI}, false,
       false, ZHONG "[" WEN "\r\n  " ZI "]"},
      {"chinese word split by a tag and a full-width space", WEN "<br>" FWSP ZI, {WEN ZI}, false,
       false, "[" WEN "<br>" FWSP ZI "]"},
      {"chinese word at the very end", "x " WEN ZI, {WEN ZI}, false, false, "x [" WEN ZI "]"},
      {"chinese word cut by the end of the text", WEN, {WEN ZI}, false, false, WEN},
      {"chinese word with an ascii byte inside", WEN "a" ZI, {WEN ZI}, false, false, WEN "a" ZI},
      // Big5 trail bytes that look like ASCII.
      {"trail byte t is no english word", XI " t", {"T"}, false, false, XI " [t]"},
      {"trail byte j is no english word", DA "j", {"J"}, false, false, DA "[j]"},
      {"pairs ending in a backslash stay whole", XU GONG ZHONG, {ZHONG}, false, false,
       XU GONG "[" ZHONG "]"},
      {"a word across two characters is no hit", "\xA5\xA4" WEN, {ZHONG}, false, false,
       "\xA5\xA4" WEN},
      {"lone lead byte before a tag", "\xA4<b>" ZHONG "</b>", {ZHONG}, false, false,
       "\xA4<b>[" ZHONG "]</b>"},
      {"lone lead byte before a greater-than", "\xA4>" ZHONG, {ZHONG}, false, false,
       "\xA4>[" ZHONG "]"},
      // Overlapping and touching hits make one run.
      {"two words at one place", ZHONG WEN ZI "x", {ZHONG WEN, ZHONG WEN ZI}, false, false,
       "[" ZHONG WEN ZI "]x"},
      {"longer word first", ZHONG WEN ZI "x", {ZHONG WEN ZI, ZHONG WEN}, false, false,
       "[" ZHONG WEN ZI "]x"},
      {"touching words", ZHONG WEN ZI, {ZHONG WEN, ZI}, false, false, "[" ZHONG WEN ZI "]"},
      {"overlapping words", ZHONG WEN ZI, {ZHONG WEN, WEN ZI}, false, false,
       "[" ZHONG WEN ZI "]"},
      {"separate hits", "fox " ZHONG " fox", {"FOX", ZHONG}, false, false,
       "[fox] [" ZHONG "] [fox]"},
      // Homophones.
      {"homophone of the first character", TONG2 XUE, {TONG XUE}, false, true,
       "[" TONG2 XUE "]"},
      {"another homophone", "a " TONG3 XUE, {TONG XUE}, false, true, "a [" TONG3 XUE "]"},
      {"homophones need the flag", TONG2 XUE, {TONG XUE}, false, false, TONG2 XUE},
      {"homophone word must be whole", TONG2 ZHONG, {TONG XUE}, false, true, TONG2 ZHONG},
      // Fault tolerance: a 4-character word may miss one character.
      {"four characters, third missing", ZHONG WEN SUO "x", {ZHONG WEN JIAN SUO}, true, false,
       "[" ZHONG WEN SUO "]x"},
      {"four characters, first missing", WEN JIAN SUO, {ZHONG WEN JIAN SUO}, true, false,
       "[" WEN JIAN SUO "]"},
      {"four characters, last missing", ZHONG WEN JIAN "x", {ZHONG WEN JIAN SUO}, true, false,
       "[" ZHONG WEN JIAN "]x"},
      {"four characters, two missing", ZHONG SUO "xyzw", {ZHONG WEN JIAN SUO}, true, false,
       ZHONG SUO "xyzw"},
      {"other characters between", ZHONG XI WEN JIAN SUO, {ZHONG WEN JIAN SUO}, true, false,
       "[" ZHONG XI WEN JIAN SUO "]"},
      {"missing character needs the flag", ZHONG WEN SUO "x", {ZHONG WEN JIAN SUO}, false,
       false, ZHONG WEN SUO "x"},
      {"three characters must all be there", WEN ZI SUO "xx", {WEN ZI JIAN}, true, false,
       WEN ZI SUO "xx"},
      {"three characters, whole", "x" WEN ZI JIAN, {WEN ZI JIAN}, true, false,
       "x[" WEN ZI JIAN "]"},
      {"fault tolerance with homophones", TONG2 XUE, {TONG XUE}, true, true,
       "[" TONG2 XUE "]"},
      {"fault tolerance over a line break", ZHONG WEN "\n" SUO, {ZHONG WEN JIAN SUO}, true,
       false, "[" ZHONG WEN "\n" SUO "]"},
  };
  for (const Case& c : cases) {
    qm::HitQuery q = query(c.words, c.fault_tolerant, c.homophone);
    EXPECT_EQ(qm::hits_mark(q, c.text, false, kBrackets), c.marked) << c.what;
  }
  // A Chinese word is never scored against an English text word, not even at the lowest
  // match rate, where the trail byte "r" of ZI would score 50 against the word "r".
  EXPECT_EQ(qm::hits_mark(query({ZI}, true, false, 50), "r " ZI, false, kBrackets), "r [" ZI "]");
}

TEST_F(HitMarking, NeverMarksInsideMarkup) {
  const Case cases[] = {
      {"tag attributes", "<a href=\"fox.htm\" title=\"fox\">x</a> fox", {"FOX"}, false, false,
       "<a href=\"fox.htm\" title=\"fox\">x</a> [fox]"},
      {"comment", "<!-- fox --> fox", {"FOX"}, false, false, "<!-- fox --> [fox]"},
      {"script block", "<SCRIPT>var fox = 1;</SCRIPT> fox", {"FOX"}, false, false,
       "<SCRIPT>var fox = 1;</SCRIPT> [fox]"},
      {"chinese in comment and script", "<!--" ZHONG WEN "--><script>" ZHONG WEN "</script>" ZHONG WEN,
       {ZHONG WEN}, false, false,
       "<!--" ZHONG WEN "--><script>" ZHONG WEN "</script>[" ZHONG WEN "]"},
      {"unclosed script", "fox <script> fox", {"FOX"}, false, false, "[fox] <script> fox"},
      {"entities of an escaped text", "a &lt; b &amp; lt &#60; gt", {"LT", "GT", "AMP", "60"},
       false, false, "a &lt; b &amp; [lt] &#60; [gt]"},
      {"ampersand that starts no entity", "AT&T", {"T"}, false, false, "AT&[T]"},
  };
  for (const Case& c : cases) {
    qm::HitQuery q = query(c.words, c.fault_tolerant, c.homophone);
    EXPECT_EQ(qm::hits_mark(q, c.text, false, kBrackets), c.marked) << c.what;
  }
}

TEST_F(HitMarking, FindReportsSpansInOrder) {
  qm::HitQuery q = query({"FOX", ZHONG}, false, false);
  const std::string text = "<b>fox</b> " ZHONG "fox";
  std::vector<qm::HitSpan> all = qm::hits_find(q, text, false);
  EXPECT_EQ(all, (std::vector<qm::HitSpan>{{3, 3}, {11, 2}, {13, 3}}));
  EXPECT_EQ(qm::hits_find(q, text, true), (std::vector<qm::HitSpan>{{3, 3}}));
  EXPECT_TRUE(qm::hits_find(q, "no hit here", false).empty());
}

TEST_F(HitMarking, TextWithoutHitsComesBackUnchanged) {
  qm::HitQuery q = query({"FOX", ZHONG}, false, false);
  const std::string text = "plain " XU GONG " text\r\n";
  EXPECT_EQ(qm::hits_mark(q, text, false), text);
  EXPECT_EQ(qm::hits_mark(q, "", false), "");
}

TEST_F(HitMarking, SpansStayWithinTheirLimits) {
  qm::HitQuery q = query({"FOX"}, false, false);
  std::string many;
  for (int i = 0; i < 2100; ++i) many += "fox ";
  std::vector<qm::HitSpan> spans = qm::hits_find(q, many, false);
  ASSERT_EQ(spans.size(), qm::kMaxHitSpans);
  EXPECT_EQ(spans.back().start, (qm::kMaxHitSpans - 1) * 4);

  // A match whose length an i16 cannot hold (a word split by a huge tag) is not marked;
  // the word standing whole after it is.
  qm::HitQuery zh = query({WEN ZI}, false, false);
  const std::string tag = "<p title=\"" + std::string(40000, 'x') + "\">";
  const std::string text = WEN + tag + ZI " " WEN ZI;
  EXPECT_EQ(qm::hits_mark(zh, text, false, kBrackets), WEN + tag + ZI " [" WEN ZI "]");
}

TEST_F(HitMarking, UsesTheGivenMarkTexts) {
  qm::HitQuery q = query({"FOX"}, false, false);
  EXPECT_EQ(qm::hits_mark(q, "a fox", false), "a <FONT COLOR=#FF0000>fox</FONT>");
  EXPECT_EQ(qm::hits_mark(q, "a fox", false, {"<B>", "</B>"}), "a <B>fox</B>");
}

TEST_F(HitMarking, WrapBreaksLongLinesOutsideWords) {
  qm::HitQuery q = query({"FOX"}, false, false);
  const std::string word(75, 'w');
  // A break after more than 70 columns, only where no letter or digit stands.
  EXPECT_EQ(qm::hits_mark(q, word + " fox", true, kBrackets), word + "<BR>\n [fox]");
  const std::string line = std::string(69, 'a') + " bb cc";
  EXPECT_EQ(qm::hits_mark(q, line, true, kBrackets), std::string(69, 'a') + " bb<BR>\n cc");
  EXPECT_EQ(qm::hits_mark(q, line, false, kBrackets), line);
  // Big5 pairs count two columns and are never split.
  std::string zh;
  for (int i = 0; i < 36; ++i) zh += WEN;
  EXPECT_EQ(qm::hits_mark(q, zh + "." + ZI, true, kBrackets), zh + "<BR>\n." ZI);
  // The marker's text is HTML-encoded: a line reaching 70 columns inside a reference or a
  // tag breaks after it, never inside it.
  const std::string head(69, 'a');
  const struct {
    std::string text, wrapped;
  } html[] = {
      {head + "&gt; fox", head + "&gt;<BR>\n [fox]"},
      {head + "&#22909; fox", head + "&#22909;<BR>\n [fox]"},
      {head + "<BR>\rcc fox", head + "<BR><BR>\n\rcc [fox]"},
      {head + "&amp fox", head + "&amp<BR>\n [fox]"},  // no ";": not a reference
  };
  for (const auto& c : html) EXPECT_EQ(qm::hits_mark(q, c.text, true, kBrackets), c.wrapped) << c.text;
}

TEST_F(HitMarking, FuzzyMatchOfCollectedText) {
  query({ZHONG WEN JIAN SUO, "ENGLISH", WEN ZI}, true, false);
  struct {
    std::string collected;
    std::string word;
    int number;
    size_t length;
  } cases[] = {
      {ZHONG WEN JIAN SUO, ZHONG WEN JIAN SUO, 0, 8},
      {ZHONG WEN SUO XI, ZHONG WEN JIAN SUO, 0, 6},
      {JIAN SUO ZHONG WEN, ZHONG WEN JIAN SUO, 0, 0},  // starts too far into the word
      {SUO ZHONG WEN JIAN, ZHONG WEN JIAN SUO, 0, 0},  // the word's last character first
      {ZHONG "ab" WEN JIAN, ZHONG WEN JIAN SUO, 0, 8},  // single bytes passed over
      {WEN ZI, WEN ZI, 1, 4},
      {WEN XI, WEN ZI, 1, 0},
      // A word without homophone slots must stand whole at the start.
      {WEN ZI XI, WEN ZI, 5, 4},
      {WEN XI ZI, WEN ZI, -1, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qm::chinese_fuzzy_match(c.collected, c.word, c.number, tables_), c.length)
        << c.collected;
  EXPECT_EQ(qm::hit_tolerance(4), 1);
  EXPECT_EQ(qm::hit_tolerance(10), 3);
  EXPECT_EQ(qm::hit_tolerance(12), 3);
}

TEST_F(HitMarking, PhraseMatchGivesTheMatchedLength) {
  qm::HitQuery q = query({}, false, false);
  const std::string text = "brown -- fox jumps";
  EXPECT_EQ(qm::english_phrase_match(q, "BROWN FOX", 5, "brown", text.c_str()), 12u);
  EXPECT_EQ(qm::english_phrase_match(q, "BROWN  FOX JUMPS", 5, "brown", text.c_str()), 18u);
  EXPECT_EQ(qm::english_phrase_match(q, "BROWN CAT", 5, "brown", text.c_str()), 0u);
  EXPECT_EQ(qm::english_phrase_match(q, "BROWN FOX JUMPS HIGH", 5, "brown", text.c_str()), 0u);
}

}  // namespace

// Seeded random and mutated paragraphs, every search mode: nothing reads past the text
// (the sanitizer build), spans lie inside the text in order of their start, and the
// marked text with its marks taken out is the text itself, with every begin mark closed.
TEST_F(HitMarking, RandomTextKeepsMarkInvariants) {
  const std::vector<std::string> samples = {
      "<P>" ZHONG WEN " search <B>engine</B> " TONG2 XUE FWSP ZI "&amp; <!-- " ZHONG " -->",
      "<SCRIPT>" ZHONG "</SCRIPT>" XU GONG " full text, search; engines " DA XI,
      "a&#x4E2D;b &lt;" TONG "&nbsp;" XUE "searchengine searching",
  };
  std::vector<std::string> inputs = {std::string("\xA4", 1), "<", "<!--", "&#", "&#x",
                                     "search<", ZHONG "<script"};
  qm::test::RandomText rnd(0x3A4C);
  for (int n = 0; n < 1500; ++n) inputs.push_back(rnd.input(samples, 250));

  // Mark texts no input holds (the inputs lose their 0x02 bytes).
  const qm::MarkTexts marks{"\x02" "B\x03", "\x02" "E\x03"};
  for (std::string& input : inputs) std::erase(input, '\x02');
  const std::vector<qm::HitQuery> queries = {
      query({"SEARCH", ZHONG WEN, "ENGINE"}, false, false),
      query({"SEARCH ENGINE", TONG XUE, ZHONG WEN ZI JIAN SUO}, true, true, 60),
      query({ZHONG, "A", XU GONG, "FULL TEXT"}, true, false),
  };
  auto strip = [](std::string s, std::string_view piece) {
    for (size_t at; (at = s.find(piece)) != std::string::npos;) s.erase(at, piece.size());
    return s;
  };
  for (size_t n = 0; n < inputs.size(); ++n) {
    const std::string& input = inputs[n];
    qm::test::InputTrace trace(input);
    const qm::HitQuery& q = queries[n % queries.size()];
    // The text as the marker sees it (zero-ended), in a buffer of exactly its size.
    std::unique_ptr<char[]> text(new char[input.size() + 1]);
    std::memcpy(text.get(), input.data(), input.size());
    text[input.size()] = 0;
    const std::string visible(text.get());

    std::vector<qm::HitSpan> spans = qm::hits_find(q, text.get(), false);
    for (size_t k = 0; k < spans.size(); ++k) {
      EXPECT_GT(spans[k].length, 0);
      EXPECT_LE(size_t(spans[k].start) + size_t(spans[k].length), visible.size());
      if (k > 0) {
        EXPECT_LE(spans[k - 1].start, spans[k].start);
      }
    }
    std::string marked = qm::hits_mark(q, text.get(), n % 2 == 0, marks);
    // Marks alternate, begin first, and every run is closed.
    int open = 0;
    for (size_t at = 0; at + 2 < marked.size(); ++at) {
      if (marked.compare(at, 3, "\x02" "B\x03") == 0) {
        EXPECT_EQ(open++, 0);
      }
      if (marked.compare(at, 3, "\x02" "E\x03") == 0) {
        EXPECT_EQ(--open, 0);
      }
    }
    EXPECT_EQ(open, 0);
    std::string plain = strip(strip(marked, "\x02" "B\x03"), "\x02" "E\x03");
    if (n % 2 == 0) {
      EXPECT_EQ(strip(plain, "<BR>\n"), strip(visible, "<BR>\n"));
    } else {
      EXPECT_EQ(plain, visible);
    }
  }
}
