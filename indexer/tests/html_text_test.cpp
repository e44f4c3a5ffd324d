// Tests of HTML text extraction: title, paragraphs at block elements, references,
// dropped scripts, styles and comments, and the declared charset.
#include "indexer/html_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "common/tests/random_text.h"
#include "common/charset.h"

namespace {

using Blocks = std::vector<std::string>;

// Big5: 中 A4A4, 文 A4E5. UTF-8: 中 E4B8AD, 文 E69687.
const std::string kZhong = "\xA4\xA4";
const std::string kWen = "\xA4\xE5";
const std::string kUtf8Zhongwen = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(ExtractHtml, TitleBlocksAndMarkup) {
  struct Case {
    const char* what;
    std::string page;
    std::string title;
    Blocks blocks;
  } cases[] = {
      {"title and paragraphs",
       "<html><head><title> My \n Page </title></head><body><p>One</p><p>Two</p></body></html>",
       "My Page", {"One", "Two"}},
      {"no title", "<p>text</p>", "", {"text"}},
      {"references in the title", "<title>A &amp; B</title>", "A & B", {}},
      {"inline elements do not split", "<p>foo<b>bar</b> <i>baz</i></p>", "", {"foobar baz"}},
      {"upper-case tags, unclosed paragraphs", "<P>One<P>Two<DIV>Three</DIV>Four", "",
       {"One", "Two", "Three", "Four"}},
      {"scripts and styles dropped",
       "<p>keep</p><script type=\"x\">var s = '<p>no</p>';</script><STYLE>p { x: 1 }</STYLE>"
       "<p>also</p>",
       "", {"keep", "also"}},
      {"script never closed hides the rest", "<p>a</p><script>b<p>c</p>", "", {"a"}},
      {"comments dropped", "<p>a<!-- hidden <p>x</p> -->b</p><!doctype html><?php x ?>c", "",
       {"ab", "c"}},
      {"one br breaks the line, two end the paragraph", "line1<br>line2<br/><br>para2", "",
       {"line1 line2", "para2"}},
      {"br between Chinese characters joins", kZhong + "<br>" + kWen, "", {kZhong + kWen}},
      {"source line break between Chinese characters joins", "<p>" + kZhong + "\n   " + kWen,
       "", {kZhong + kWen}},
      {"pre keeps its paragraphs", "<pre>a\nb\n\nc</pre>d", "", {"a b", "c", "d"}},
      {"literal less-than", "<p>1 < 2 and 3 > 2 <= x</p>", "", {"1 < 2 and 3 > 2 <= x"}},
      {"quoted greater-than inside a tag", "<p title=\"a>b\" class='c>d'>text</p>", "",
       {"text"}},
      {"table cells", "<table><tr><td>A</td><td>B</td></tr><tr><th>C</th></tr></table>", "",
       {"A", "B", "C"}},
      {"list items and headings", "<h1>Head</h1><ul><li>x<li>y</ul>", "",
       {"Head", "x", "y"}},
      // Names are matched whole: one that only begins like a known element is inline.
      {"unknown and look-alike elements are inline",
       "<p>a<blockquotex>b</blockquotex><my-custom-element>c</my-custom-element><pre2>d<brx>e"
       "</script>f</p>",
       "", {"abcdef"}},
      {"stray closing title ends a paragraph", "a</title>b<BR/>c", "", {"a", "b c"}},
      {"Big5 trail bytes that look like markup", "<p>\xA5\x5C\xB1\x7E</p>", "",
       {"\xA5\x5C\xB1\x7E"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qm::ExtractedText t = qm::html_extract(c.page);
    EXPECT_EQ(t.title, c.title);
    EXPECT_EQ(t.blocks, c.blocks);
  }
}

TEST(ExtractHtml, CharacterReferences) {
  struct Case {
    std::string page;
    Blocks blocks;
  } cases[] = {
      {"a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;", {"a & b <c> \"d\" 'e'"}},
      {"&#65;&#x42;&#X43;&#0068;", {"ABCD"}},
      {"&#20013;&#x6587;", {kZhong + kWen}},
      {"x&nbsp;&nbsp;y", {"x y"}},
      {"AT&T &unknown; & &#; &#xZZ;", {"AT&T &unknown; & &#; &#xZZ;"}},
      {"no semicolon &amp then &#65 end", {"no semicolon & then A end"}},
      {"dropped: &#0; &#xD800; &#x110000; &#128512; end", {"dropped: end"}},
      // A reference with no Big5 form parts words; an invisible one does not.
      {"a&#1;b&#128512;c&shy;d&#x200D;e", {"a b cde"}},
      {"&lt;p&gt; is text, not a tag", {"<p> is text, not a tag"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    EXPECT_EQ(qm::html_extract(c.page).blocks, c.blocks);
  }
}

TEST(ExtractHtml, DeclaredCharsetAndDetection) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string title;
  } cases[] = {
      {"declared utf-8",
       "<meta charset=\"utf-8\"><title>" + kUtf8Zhongwen + "</title>", kZhong + kWen},
      {"declared big5", "<meta charset=big5><title>" + kZhong + kWen + "</title>", kZhong + kWen},
      {"undeclared utf-8", "<title>" + kUtf8Zhongwen + "</title>", kZhong + kWen},
      {"undeclared big5", "<title>" + kZhong + kWen + "</title>", kZhong + kWen},
      {"western label ignored", "<meta charset=iso-8859-1><title>" + kZhong + kWen + "</title>",
       kZhong + kWen},
      {"byte order mark outranks the label",
       "\xEF\xBB\xBF<meta charset=big5><title>" + kUtf8Zhongwen + "</title>", kZhong + kWen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(qm::html_extract_raw(c.bytes).title, c.title);
  }
}

// A Big5 page of the kind Debian's Traditional Chinese manuals are: an XML declaration
// that says UTF-8 over a <meta> that says Big5. The bytes are Big5, so its text is read.
TEST(ExtractHtml, ContradictingDeclarationsGiveWayToTheBytes) {
  std::ifstream in(std::string(QM_SOURCE_DIR) + "/indexer/tests/data/xml-utf8-meta-big5.htm",
                   std::ios::binary);
  ASSERT_TRUE(in);
  const std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(qm::html_declared_charset(page).charset, qm::Charset::Utf8);  // the first one
  qm::ExtractedText t = qm::html_extract_raw(page);
  EXPECT_EQ(t.title, "Debian \xB0\xD1\xA6\xD2\xA4\xE2\xA5\x55");  // 參考手冊
  ASSERT_EQ(t.blocks.size(), 2u);
  EXPECT_NE(t.blocks[0].find("\xA8\x74\xB2\xCE\xB1\xD0\xBE\xC7"), std::string::npos);  // 系統教學
  EXPECT_NE(t.blocks[1].find("\xA8\xCF\xA5\xCE\xAA\xCC"), std::string::npos);  // 使用者
}

TEST(ExtractHtml, EveryBreakEndsAParagraphWhenAsked) {
  qm::HtmlOptions o;
  o.br_ends_paragraph = true;
  EXPECT_EQ(qm::html_extract("one<br>\ntwo<br>\n", o).blocks, (Blocks{"one", "two"}));
}

// Seeded random and mutated pages, declared charsets included: nothing reads out of
// bounds (the sanitizer build) and the title and paragraphs hold only printable ASCII and
// whole Big5 pairs.
TEST(HtmlExtractRobustness, RandomPagesGiveCleanText) {
  const std::vector<std::string> samples = {
      "<html><head><title>\xA4\xA4\xA4\xE5 &amp; tea</title><meta charset=big5></head><body>"
      "<p>one<br><br>two &#x4E2D;&#20013; &nbsp;&copy;<script>x<y</script><!-- c --></p>"
      "<style>p{}</style><div>\xB3\x5C\xA5\x5C</div></body></html>",
      "<?xml encoding=\"utf-8\"?><title>\xE4\xB8\xAD</title><p>\xE6\x96\x87&#0;&#xD800;&#1114112;",
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=x-unknown\"><TITLE>a",
  };
  std::vector<std::string> inputs = {"<", "&", "&#", "&#x", "<title>", "<script", "<!--",
                                     "<title>\xA4", "&#99999999999;", "<p>\xA4<br>\x40"};
  qm::test::RandomText rnd(0x47E);
  for (int n = 0; n < 1500; ++n) inputs.push_back(rnd.input(samples, 400));

  for (const std::string& input : inputs) {
    qm::test::InputTrace trace(input);
    for (bool raw : {false, true}) {
      qm::HtmlOptions options;
      options.br_ends_paragraph = raw;
      qm::ExtractedText text = raw ? qm::html_extract_raw(input, options) : qm::html_extract(input, options);
      EXPECT_TRUE(qm::test::only_ascii_and_pairs(text.title)) << ::testing::PrintToString(text.title);
      for (const std::string& block : text.blocks)
        EXPECT_TRUE(qm::test::only_ascii_and_pairs(block)) << ::testing::PrintToString(block);
    }
  }
}

}  // namespace
