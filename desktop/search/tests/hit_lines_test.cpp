// The reader of the searcher's hit lines, fed in random pieces: rows from S1-S6, the
// rules of S2, S5 and S6, every line end the readers accept, "No keyword" inside and
// outside hit lines, output without "</HTML>", and silence.
#include <gtest/gtest.h>

#include <random>

#include "desktop/search/hit_lines.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

// Feeds text in pieces of 1..max_piece bytes; the parser's end state is what it read.
HitLineParser parse(const std::string& text, unsigned seed, size_t max_piece = 9) {
  HitLineParser p;
  std::mt19937 rng(seed);
  size_t at = 0;
  while (at < text.size() && !p.ended()) {
    const size_t n = std::uniform_int_distribution<size_t>(1, max_piece)(rng);
    p.feed(std::string_view(text).substr(at, n));
    at += n;
  }
  p.finish();
  return p;
}

std::string page(const std::string& eol) {
  return "Content-Type: text/html" + eol + eol + "HIT_NUMBER 2" + eol + "START_ITEM 1" + eol +
         "S1 1" + eol + "S2 report.txt ?n=12" + eol + "S3 Tea &amp; cakes" + eol + "S4 5" + eol +
         "S5 x<P>abc" + eol + "S6 m?s=4&i=120" + eol +
         "S1 2" + eol + "S2 a&amp;b.txt" + eol + "S3 Two" + eol + "S4 3" + eol +
         "S5 <B>tea</B> leaves<BR>" + eol + eol + "S6 /cgi-bin/marker?s=4&p=tea&i=7&h=1&f=1" + eol +
         "</HTML>";
}

TEST(HitLines, RowsFromEveryLineEndInRandomPieces) {
  for (const std::string eol : {"\n", "\r\n", "\r", "\r\r\n"}) {
    for (unsigned seed = 0; seed < 20; ++seed) {
      HitLineParser p = parse(page(eol), seed);
      SCOPED_TRACE(seed);
      EXPECT_TRUE(p.complete());
      EXPECT_FALSE(p.no_keyword());
      EXPECT_EQ(p.hit_number(), "2");
      EXPECT_EQ(p.page_start().value_or(-1), 1);
      ASSERT_EQ(p.rows().size(), 2u);
      const HitRow& a = p.rows()[0];
      EXPECT_EQ(a.caption, "1");
      EXPECT_EQ(a.sub[kSubName], "report.txt(12)");
      EXPECT_EQ(a.sub[kSubTitle], "Tea & cakes");
      EXPECT_EQ(a.sub[kSubTimes], "5");
      EXPECT_EQ(a.sub[kSubBrief], "x<P>");
      EXPECT_EQ(a.sub[kSubMarker], "s=4&i=120");
      EXPECT_EQ(a.sub[kSubNumber], "120");
      EXPECT_EQ(a.database_id, 4);
      EXPECT_EQ(a.sub[kSubDate], " ");  // filled later
      const HitRow& b = p.rows()[1];
      EXPECT_EQ(b.sub[kSubName], "a&b.txt");
      EXPECT_EQ(b.sub[kSubBrief], "<B>tea</B> leaves");
      // h and f behind the document number do not take its place.
      EXPECT_EQ(b.sub[kSubNumber], "7");
      EXPECT_EQ(b.sub[kSubMarker], "s=4&p=tea&i=7&h=1&f=1");
    }
  }
}

TEST(HitLines, SingleLineRules) {
  EXPECT_EQ(HitNameFromSource("report.txt ?n=12"), "report.txt(12)");
  EXPECT_EQ(HitNameFromSource("plain.txt"), "plain.txt");
  EXPECT_EQ(HitNameFromSource("x ?n=1234567890123"), "x(123456789)");
  EXPECT_EQ(HitNameFromSource("?n=3"), "(3)");
  // A question in a mail subject or a file name is no page part.
  EXPECT_EQ(HitNameFromSource("Lunch? Tea=yes"), "Lunch? Tea=yes");
  EXPECT_EQ(HitNameFromSource("why?.txt"), "why?.txt");
  EXPECT_EQ(HitNameFromSource("a?b=1 &amp; c"), "a?b=1 & c");
  EXPECT_EQ(HitBriefFromScript("x<P>abc"), "x<P>");
  EXPECT_EQ(HitBriefFromScript("ab"), "");
  EXPECT_EQ(HitBriefFromScript("text<BR>"), "text");
}

TEST(HitLines, EndsOfReading) {
  // "No keyword" in an error page ends the reading with no rows.
  HitLineParser err = parse("Content-Type: text/html\n\n<p>No keyword is input !!</p>\n"
                            "S1 1\n</html>\n", 3);
  EXPECT_TRUE(err.no_keyword());
  EXPECT_TRUE(err.rows().empty());

  // Inside a hit line it is only text.
  HitLineParser inside = parse("S1 1\nS5 No keyword here.<BR>\nS1 2\n</HTML>", 4);
  EXPECT_FALSE(inside.no_keyword());
  ASSERT_EQ(inside.rows().size(), 2u);
  EXPECT_EQ(inside.rows()[0].sub[kSubBrief], "No keyword here.");

  // Lines after "</HTML>" are not read.
  HitLineParser after = parse("S1 1\n</HTML>S1 2\nS1 3\n", 5, 1);
  EXPECT_TRUE(after.complete());
  EXPECT_EQ(after.rows().size(), 1u);

  // Output that ends without "</HTML>": every line, the last one too, is read.
  HitLineParser open = parse("S1 1\nS1 2\nS3 last", 6);
  EXPECT_FALSE(open.complete());
  ASSERT_EQ(open.rows().size(), 2u);
  EXPECT_EQ(open.rows()[1].sub[kSubTitle], "last");

  // Silence: nothing.
  HitLineParser silent;
  silent.finish();
  EXPECT_TRUE(silent.ended());
  EXPECT_TRUE(silent.rows().empty());
  EXPECT_EQ(silent.hit_number(), "");

  // Hit lines before the first S1 have no row.
  HitLineParser early = parse("S2 x.txt\nS6 m?s=1&i=2\nS1 1\n</HTML>", 7);
  ASSERT_EQ(early.rows().size(), 1u);
  EXPECT_EQ(early.rows()[0].sub[kSubName], " ");
}

// The searcher's own page of hit lines (its golden file for the desktop template).
TEST(HitLines, TheSearchersPage) {
  const std::string page =
      test::read_file(std::string(QM_SOURCE_DIR) + "/searcher/app/tests/golden/desktop_hits.out");
  ASSERT_FALSE(page.empty());
  HitLineParser p = parse(page, 11, 64);
  EXPECT_TRUE(p.complete());
  EXPECT_EQ(p.hit_number(), "7");
  ASSERT_EQ(p.rows().size(), 5u);
  const HitRow& a = p.rows()[0];
  EXPECT_EQ(a.caption, "1");
  EXPECT_EQ(a.sub[kSubName], "/docs/green.txt");
  EXPECT_EQ(a.sub[kSubTitle], "Green tea");
  EXPECT_EQ(a.sub[kSubTimes], "2");
  EXPECT_EQ(a.sub[kSubBrief],
            "Green <FONT COLOR=#FF0000>tea</FONT> is picked in spring &amp; steamed &lt;quickly&gt;.");
  EXPECT_EQ(a.sub[kSubMarker], "s=1&p=tea&i=0&h=1&f=1&d=desktop.ini");
  EXPECT_EQ(a.database_id, 1);
  EXPECT_EQ(p.rows()[4].sub[kSubNumber], "4");
  // A Big5 path whose second byte is a backslash stays as written.
  EXPECT_EQ(p.rows()[2].sub[kSubName], "/docs/tea/\xB3\\.txt");
}

TEST(HitLines, OverLongLineIsCut) {
  const std::string title(20000, 't');
  HitLineParser p = parse("S1 1\nS3 " + title + "\nS4 9\n</HTML>", 8, 5000);
  ASSERT_EQ(p.rows().size(), 1u);
  EXPECT_EQ(p.rows()[0].sub[kSubTitle].size(), kHitLineMax - 3);
  EXPECT_EQ(p.rows()[0].sub[kSubTimes], "9");
  EXPECT_EQ(p.lines_cut(), 1u);
}

}  // namespace
}  // namespace qm
