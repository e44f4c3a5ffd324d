// Tests of paragraph building: white space, line joining between Chinese characters,
// plain-text paragraphs, long-block splitting and the document's paragraph list.
#include "indexer/text_blocks.h"

#include <gtest/gtest.h>

#include "common/tests/random_text.h"

#include <random>

#include "common/charset.h"

namespace {

using Blocks = std::vector<std::string>;

// Big5: 中 A4A4, 文 A4E5, 。 A143, full-width space A140.
const std::string kZhong = "\xA4\xA4";
const std::string kWen = "\xA4\xE5";
const std::string kStop = "\xA1\x43";
const std::string kWideSpace = "\xA1\x40";

// The paragraphs that plain text makes, title line included.
Blocks plain_blocks(std::string_view text) {
  qm::BlockBuilder builder;
  qm::PlainTextFeeder feeder(builder);
  feeder.feed(text);
  feeder.finish();
  return builder.take();
}

TEST(ExtractTextBlocks, PlainTextParagraphsAndLineJoining) {
  struct Case {
    const char* what;
    std::string text;
    Blocks expected;
  } cases[] = {
      {"wrapped English", "Hello\nworld", {"Hello world"}},
      {"wrapped Chinese word", kZhong + "\n" + kWen, {kZhong + kWen}},
      {"blanks around the break", kZhong + "  \r\n   " + kWen, {kZhong + kWen}},
      {"blank within a line stays", kZhong + " " + kWen, {kZhong + " " + kWen}},
      {"break between English and Chinese", "abc\n" + kZhong, {"abc " + kZhong}},
      {"blank lines of any kind", "p1 a\np1 b\n\n \t \np2\r\rp3\r\n\r\np4",
       {"p1 a p1 b", "p2", "p3", "p4"}},
      {"form feed", "page1\fpage2", {"page1", "page2"}},
      {"full-width indent starts a paragraph",
       kWideSpace + kWideSpace + kZhong + "\n" + kWideSpace + kWideSpace + kWen,
       {kZhong, kWen}},
      {"line of full-width spaces is blank", "a\n" + kWideSpace + "\nb", {"a", "b"}},
      {"runs of blanks fold", "a \t\t b", {"a b"}},
      {"only blanks", " \n\t\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(plain_blocks(c.text), c.expected);
  }
}

TEST(ExtractTextBlocks, TitleIsTheFirstNonBlankLineAndCountsOnce) {
  EXPECT_EQ(qm::text_extract("").title, "");
  struct Case {
    const char* what;
    std::string text;
    std::string title;
    Blocks body;
  } cases[] = {
      {"after blank lines", "\n \n  Title   line  \nbody", "Title line", {"body"}},
      {"first line of a paragraph", "Tea notes\ngreen tea\n\nmore", "Tea notes",
       {"green tea", "more"}},
      {"alone", "Tea", "Tea", {}},
      {"CR LF lines", "Tea\r\n\r\nbody\r\n", "Tea", {"body"}},
      {"Chinese", kZhong + kWen + "\n" + kWen, kZhong + kWen, {kWen}},
      {"same words later stay", "Tea\nTea time", "Tea", {"Tea time"}},
      // A line longer than a title: the rest of it starts the body.
      {"long line", std::string(200, 'a') + " " + std::string(100, 'b') + " tail\nnext",
       std::string(200, 'a'), {std::string(100, 'b') + " tail next"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qm::ExtractedText t = qm::text_extract(c.text);
    EXPECT_EQ(t.title, c.title);
    EXPECT_EQ(t.blocks, c.body);
    EXPECT_LE(t.title.size(), qm::kTitleLimit);
  }
  // The document: the title paragraph, then the body, no word twice.
  EXPECT_EQ(qm::document_from_text(qm::text_extract("Tea notes\ngreen tea"), "f").paragraphs,
            (Blocks{"Tea notes", "green tea"}));
}

// A control byte or a stray high byte parts words, as a blank does (the index writer's
// rule): it never glues the words on either side into one.
TEST(ExtractTextBlocks, ControlAndStrayBytesPartWords) {
  const std::string text("alpha\0beta gamma\vdelta epsilon\xFFzeta eta\x01\x7Ftheta", 46);
  EXPECT_EQ(plain_blocks(text), Blocks{"alpha beta gamma delta epsilon zeta eta theta"});
  qm::BlockBuilder b;
  b.text(kZhong + "\x80" + kWen + "x\x1By");
  EXPECT_EQ(b.take(), Blocks{kZhong + " " + kWen + "x y"});
}

TEST(ExtractTextBlocks, FeederJoinsLinesAcrossPieces) {
  // A CR LF split between two pieces is one line end, not a blank line; a line split
  // across pieces is one line.
  qm::BlockBuilder builder;
  qm::PlainTextFeeder feeder(builder);
  feeder.feed("first\r");
  feeder.feed("\nsec");
  feeder.feed("ond " + kZhong + "\n");
  feeder.feed(kWen + "\n\nnext");
  feeder.finish();
  EXPECT_EQ(builder.take(), (Blocks{"first second " + kZhong + kWen, "next"}));
}

TEST(ExtractTextBlocks, SplitsLongBlocksAtSentenceEnds) {
  struct Case {
    const char* what;
    std::string block;
    size_t limit;
    Blocks expected;
  } cases[] = {
      {"short block untouched", "One two.", 20, {"One two."}},
      {"at the sentence end", "One two. Three four five six.", 20,
       {"One two.", "Three four five six."}},
      {"at a blank when no sentence ends", "aaaa bbbb cccc dddd", 10, {"aaaa bbbb", "cccc dddd"}},
      {"hard cut without blanks", "abcdefghijklmnopqrstuvwxyz", 10,
       {"abcdefghij", "klmnopqrst", "uvwxyz"}},
      {"full-width full stop", kZhong + kWen + kZhong + kStop + kWen + kWen + kZhong, 10,
       {kZhong + kWen + kZhong + kStop, kWen + kWen + kZhong}},
      {"a pair is never cut", "a" + kZhong + kWen + kZhong, 4, {"a" + kZhong, kWen + kZhong}},
      {"a period inside a number is no sentence end", "pi is 3.14159 and e is 2.71828", 16,
       {"pi is 3.14159", "and e is 2.71828"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(qm::split_long_block(c.block, c.limit), c.expected);
  }
}

TEST(ExtractTextBlocks, SplittingKeepsEveryCharacterWhole) {
  // Random mixtures of ASCII, Big5 pairs (some with trail bytes that look like ASCII),
  // blanks and sentence marks: every piece fits, is clean Big5, and together the pieces
  // hold the block's text.
  std::mt19937 random(7);
  const std::string atoms[] = {"a", "Z", " ", ".", "\xA4\xA4", "\xA5\x5C", "\xA1\x43", "\xB1\x7E",
                               "\xA6\x72", "?"};
  for (int round = 0; round < 200; ++round) {
    std::string block;
    size_t n = 1 + random() % 400;
    for (size_t i = 0; i < n; ++i) block += atoms[random() % std::size(atoms)];
    size_t limit = 2 + random() % 60;
    Blocks pieces = qm::split_long_block(block, limit);
    std::string joined, original;
    for (const std::string& p : pieces) {
      ASSERT_LE(p.size(), limit);
      ASSERT_FALSE(p.empty());
      ASSERT_EQ(qm::big5_clean(p), p) << "a pair was cut";
      joined += p;
    }
    for (char c : block)
      if (c != ' ') original.push_back(c);
    std::string joined_no_blanks;
    for (char c : joined)
      if (c != ' ') joined_no_blanks.push_back(c);
    ASSERT_EQ(joined_no_blanks, original);
  }
}

TEST(ExtractTextBlocks, DocumentParagraphsAndTitleFallbacks) {
  {
    qm::ExtractedText t{"  The   Title ", {"one", "two"}};
    qm::ExtractedDocument d = qm::document_from_text(t, "file.txt");
    EXPECT_EQ(d.paragraphs, (Blocks{"The Title", "one", "two"}));
    EXPECT_FALSE(d.cut);
  }
  {
    // A first block that is the title line alone is not repeated; a longer one stays whole.
    qm::ExtractedText t{"Tea", {"Tea", "one"}};
    EXPECT_EQ(qm::document_from_text(t, "f").paragraphs, (Blocks{"Tea", "one"}));
    qm::ExtractedText u{"Tea", {"Tea house by the river", "Tea"}};
    EXPECT_EQ(qm::document_from_text(u, "f").paragraphs, (Blocks{"Tea", "Tea house by the river", "Tea"}));
  }
  {
    // No title: the first block's start.
    qm::ExtractedText t{"", {std::string(300, 'x'), "two"}};
    qm::ExtractedDocument d = qm::document_from_text(t, "file.txt");
    ASSERT_EQ(d.paragraphs.size(), 3u);
    EXPECT_EQ(d.paragraphs[0], std::string(qm::kTitleLimit, 'x'));
  }
  {
    // No text at all: the file name, its UTF-8 bytes made Big5.
    qm::ExtractedDocument d = qm::document_from_text({}, "\xE4\xB8\xAD\xE6\x96\x87.txt");
    EXPECT_EQ(d.paragraphs, (Blocks{kZhong + kWen + ".txt"}));
  }
  {
    // A block past the limit is split; no paragraph exceeds it.
    std::string big;
    for (int i = 0; i < 20000; ++i) big += "word" + kStop + " ";
    qm::ExtractedDocument d = qm::document_from_text({"t", {big}}, "f");
    ASSERT_GT(d.paragraphs.size(), 2u);
    for (const std::string& p : d.paragraphs) EXPECT_LE(p.size(), qm::kParagraphLimit);
  }
  {
    // More paragraphs than a document may hold: the rest is left out and said so.
    qm::ExtractedText t;
    t.blocks.assign(qm::kParagraphCountLimit + 10, "p");
    qm::ExtractedDocument d = qm::document_from_text(std::move(t), "f");
    EXPECT_EQ(d.paragraphs.size(), qm::kParagraphCountLimit);
    EXPECT_TRUE(d.cut);
  }
}

// Seeded random and mutated plain texts: nothing reads out of bounds (the sanitizer
// build), the title and paragraphs hold only printable ASCII and whole Big5 pairs, and a
// document's paragraphs stay within the paragraph limit and the title within its own.
TEST(TextExtractRobustness, RandomTextGivesCleanParagraphs) {
  const std::vector<std::string> samples = {
      "Title line\r\n\r\n\xA4\xA4\xA4\xE5\n\xA4\xE5 word\f\xA1\x40\xA1\x40indent. Next! \xA1\x43",
      "\n\n   \r\r\x1a\xA4\n\xA4\x40",
  };
  std::vector<std::string> inputs = {std::string("\xA4", 1), "\n", "\r", std::string("\xA4\n\x40", 3),
                                     std::string(70000, 'a'), std::string(70001, '\xA4')};
  qm::test::RandomText rnd(0x7E87);
  for (int n = 0; n < 1500; ++n) inputs.push_back(rnd.input(samples, 400));

  for (const std::string& input : inputs) {
    qm::test::InputTrace trace(input);
    qm::ExtractedText text = qm::text_extract(input);
    EXPECT_TRUE(qm::test::only_ascii_and_pairs(text.title)) << ::testing::PrintToString(text.title);
    for (const std::string& block : text.blocks)
      EXPECT_TRUE(qm::test::only_ascii_and_pairs(block)) << ::testing::PrintToString(block);
    qm::ExtractedDocument doc = qm::document_from_text(text, "name\xA4.txt");
    ASSERT_FALSE(doc.paragraphs.empty());
    EXPECT_LE(doc.paragraphs[0].size(), qm::kTitleLimit);
    for (const std::string& p : doc.paragraphs) {
      EXPECT_LE(p.size(), qm::kParagraphLimit);
      EXPECT_TRUE(qm::test::only_ascii_and_pairs(p)) << ::testing::PrintToString(p);
    }
  }
}

}  // namespace
