// Paragraph numbering through whole exports of chunk scripts: each numbered paragraph's
// number comes from the numbering store as the paragraph starts (a list's start value, the
// last value plus the step, an own number, a level gone back to, a new list), and a
// numbering field after the paragraph's text writes it in decimal.
#include <regex>

#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const std::vector<Option> kCp1252 = {word(KVXOPT_CHARSET, KVXCS_CP1252)};

std::string hex_words(std::initializer_list<uint32_t> words) {
  std::string s;
  char b[9];
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) {
      std::snprintf(b, sizeof b, "%02x", (w >> (8 * i)) & 0xFF);
      s += b;
    }
  return s;
}

// Range 3: four numbering records of nine words {flags, start, step, ...} at byte offsets
// 0, 36, 72 and 108, then the 28-byte records of two list styles (kind 4, no parent) at
// 144 and 172.
constexpr uint32_t kOneByOne = 0, kThreeByTwo = 36, kOwnSteps = 72, kRestarting = 108;
constexpr uint32_t kListA = 0x300, kListB = 0x301;
const std::string kRecords = "record 3 " + hex_words({0, 1, 1, 0, 0, 0, 0, 0, 0}) + "\nrecord 3 " +
                             hex_words({0, 3, 2, 0, 0, 0, 0, 0, 0}) + "\nrecord 3 " +
                             hex_words({0x10, 3, 2, 0, 0, 0, 0, 0, 0}) + "\nrecord 3 " +
                             hex_words({0x20, 1, 1, 0, 0, 0, 0, 0, 0}) + "\nrecord 3 " +
                             hex_words({4, 0, 0, 0xFFFFFFFFu, 0, 0, 0}) + "\nrecord 3 " +
                             hex_words({4, 0, 0, 0xFFFFFFFFu, 0, 0, 0}) + "\n";
const std::string kListStyles = "section wp\ngroup 0xA008001C 0x300 144\nend\ngroup 0xA008001C 0x301 172\nend\n";

constexpr uint32_t kNone = 0xFFFFFFFFu;

// One paragraph: its list style applied (kNone: none), its numbering record (kNone: none
// of its own), its level and mark (kind 93; mark 0x80000001 gives no level), its own
// number (kind 30, kNone: none), its text ("" none) and a numbering field after the text.
struct P {
  const char* text;
  uint32_t level = 0;
  uint32_t record = kOneByOne;
  uint32_t own = kNone;
  uint32_t list = kNone;
  uint32_t mark = 1;
};

std::string para(const P& p) {
  std::string s;
  if (p.list != kNone) s += "item 28 0 " + std::to_string(p.list) + " 0\n";
  if (p.record != kNone) s += "item 29 10 0 " + std::to_string(p.record) + "\n";
  s += "item 93 10 " + std::to_string(p.level) + " " + std::to_string(p.mark) + "\n";
  if (p.own != kNone) s += "item 30 10 " + std::to_string(p.level + 1) + " " + std::to_string(p.own) + "\n";
  if (*p.text) s += std::string("text cp1252 \"") + p.text + "=\"\n";
  return s + "item 0x1F 10 0 0\npara\n";
}

// The running text of a body: tags and line ends dropped.
std::string text_of(const std::string& html) {
  return std::regex_replace(std::regex_replace(html, std::regex("<[^>]*>"), ""), std::regex("\r\n"), "");
}

using PagecastParagraphNumberingTest = PagecastTest;

TEST_F(PagecastParagraphNumberingTest, NumberedParagraphsTakeTheirNumbersFromTheStore) {
  const uint32_t kNoLevel = 0x80000001u;
  struct Case {
    const char* what;
    std::vector<P> paras;
    const char* want;
  } cases[] = {
      {"a list begins at its start value and goes on by its step",
       {{"a", 0, kThreeByTwo}, {"b", 0, kThreeByTwo}, {"c", 0, kThreeByTwo}}, "a=3b=5c=7"},
      {"a paragraph without a record goes on with the one before; its own record begins again",
       {{"a", 0, kThreeByTwo}, {"b", 0, kNone}, {"c", 0, kThreeByTwo}}, "a=3b=5c=3"},
      {"an own number stands as given and the next goes on from it",
       {{"a", 0, kThreeByTwo}, {"b", 0, kThreeByTwo, 4}, {"c", 0, kThreeByTwo}}, "a=3b=4c=6"},
      {"with flag 0x10 an own number counts steps from the start",
       {{"a", 0, kOwnSteps}, {"b", 0, kOwnSteps, 4}, {"c", 0, kOwnSteps}}, "a=3b=11c=13"},
      {"a deeper level starts, and going back continues the earlier level",
       {{"a", 0}, {"b", 1}, {"c", 1}, {"d", 0}, {"e", 1}}, "a=1b=1c=2d=2e=1"},
      {"a paragraph without text records nothing and writes no number",
       {{"a", 0}, {"", 0}, {"c", 0}}, "a=1c=2"},
      {"no level: nothing recorded, no number, and the list goes on after it",
       {{"a", 0}, {"b", 0, kOneByOne, kNone, kNone, kNoLevel}, {"c", 0}}, "a=1b=c=2"},
      {"with flag 0x20 another list starts again, and so does the first one after it",
       {{"a", 0, kRestarting, kNone, kListA},
        {"b", 0, kRestarting, kNone, kListA},
        {"c", 0, kRestarting, kNone, kListB},
        {"d", 0, kRestarting, kNone, kListA}},
       "a=1b=2c=1d=1"},
      {"without flag 0x20 each list goes on from its own last value",
       {{"a", 0, kOneByOne, kNone, kListA},
        {"b", 0, kOneByOne, kNone, kListA},
        {"c", 0, kOneByOne, kNone, kListB},
        {"d", 0, kOneByOne, kNone, kListA}},
       "a=1b=2c=1d=3"},
      {"a paragraph that applies no list stays in the list before it",
       {{"a", 0, kOneByOne, kNone, kListB},
        {"b", 0, kOneByOne, kNone, kListA},
        {"c", 0},
        {"d", 0, kOneByOne, kNone, kListA}},
       "a=1b=1c=2d=3"},
  };
  for (const Case& k : cases) {
    std::string doc = "section wp\n" + kRecords;
    for (const P& p : k.paras) doc += para(p);
    Result r = run(doc + kListStyles, "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
    ASSERT_EQ(r.run, KVX_OK) << k.what;
    EXPECT_EQ(text_of(r.out), k.want) << k.what << "\n" << r.out;
  }
}

// Attributes that change inside a paragraph (item 0x400) are gathered again from there:
// the numbering that comes after them numbers the paragraph, which begins again.
TEST_F(PagecastParagraphNumberingTest, ChangedAttributesNumberTheParagraphAgain) {
  std::string doc = "section wp\n" + kRecords + para({"a", 0}) + "text cp1252 \"b\"\nitem 0x400 0 0 0\n" +
                    "item 29 10 0 0\nitem 93 10 0 1\ntext cp1252 \"c=\"\nitem 0x1F 10 0 0\npara\n";
  Result r = run(doc, "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>a=1</P>\r\n<P>b</P>\r\n<P>c=2</P>\r\n");
}

// A body converted twice (the section, then the same text again) shows the same numbers:
// the first value recorded at a paragraph stands.
TEST_F(PagecastParagraphNumberingTest, NumbersStandWhenTheTextIsConvertedAgain) {
  std::string doc = "section wp\n" + kRecords + para({"a", 0}) + para({"b", 0}) + para({"c", 1});
  Result r = run(doc, "{VELMINS ELEMENT=Sections.1.Body}|{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(text_of(r.out), "a=1b=2c=1|a=1b=2c=1") << r.out;
}

// A paragraph style whose list level lies far beyond the last one (kind 122 in its
// definition) numbers nothing, and the paragraphs around it go on.
TEST_F(PagecastParagraphNumberingTest, LevelsBeyondTheLastAreNone) {
  // Paragraph style 0x302 (its 28-byte record at 200) applies list style A and sets a
  // numbered mark, then a level word far out of range.
  std::string doc = "section wp\n" + kRecords + "record 3 " + hex_words({1, 0, 0, 0xFFFFFFFFu, 0, 0, 0}) + "\n" +
                    para({"a", 0}) + "item 28 0 0x302 0\nitem 29 10 0 0\ntext cp1252 \"b=\"\nitem 0x1F 10 0 0\npara\n" +
                    para({"c", 0}) + kListStyles +
                    "group 0xA008001C 0x302 200\nitem 28 0 0x300 0\nitem 93 10 0 1\nitem 122 0xFFFFFFF0 0 0\nend\n";
  Result r = run(doc, "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(text_of(r.out), "a=1b=c=1") << r.out;
}

}  // namespace
}  // namespace pc::test
