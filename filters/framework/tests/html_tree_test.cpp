// The HTML reader's parser: the trees it builds from well-formed and broken pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "filters/framework/readers/html_tree.h"

namespace {

using kvx::readers::html::Node;
using kvx::readers::html::Tree;

// A tree as text: name[attribute=value,...](children) for elements, "..." for texts.
std::string shape(const Node* n) {
  std::string out;
  for (; n != nullptr; n = n->next) {
    if (!out.empty()) out += ' ';
    if (!n->element) {
      out += '"' + std::string(n->text) + '"';
      continue;
    }
    out += n->name;
    if (n->attributes != 0) {
      out += '[';
      for (uint32_t k = 0; k < n->attributes; ++k)
        out += (k ? "," : "") + std::string(n->attrs[k].name) + "=" + std::string(n->attrs[k].value);
      out += ']';
    }
    if (n->children != nullptr) out += "(" + shape(n->children) + ")";
  }
  return out;
}

struct Case {
  const char* what;
  std::string html;
  const char* tree;
};

TEST(HtmlTree, BuildsTheTreeAnHtmlParserWould) {
  const Case cases[] = {
      {"bare text gets html, body and p", "Hello", R"(html(body(p("Hello"))))"},
      {"head elements go to an implied head", "<title>T</title><p>x", R"(html(head(title("T")) body(p("x"))))"},
      {"any other element ends the head", "<head><title>T</title><b>x</b>",
       R"(html(head(title("T")) body(b("x"))))"},
      {"text in the head moves to the body", "<html><head>junk</head></html>", R"(html(head body(p("junk"))))"},
      {"a div ends a p; the stray </p> is ignored", "<p>a<div>b</div>c</p>", R"(html(body(p("a") div("b") "c")))"},
      {"p ends inline styles", "<b>a<p>b</p></b>", R"(html(body(b("a") p("b"))))"},
      {"li ends li", "<ul><li>a<li>b</ul>", R"(html(body(ul(li("a") li("b")))))"},
      {"cells and rows end each other", "<table><tr><td>a<td>b<tr><th>c</table>y",
       R"(html(body(table(tr(td("a") td("b")) tr(th("c"))) "y")))"},
      {"an end tag closes what stands above it", "<table><tr><td><div><i>x</td></tr></table>",
       R"(html(body(table(tr(td(div(i("x"))))))))"},
      {"a stray </div> cannot leave a cell", "<div><table><tr><td>x</div>y</td></tr></table>",
       R"(html(body(div(table(tr(td("x" "y")))))))"},
      {"empty elements and />", "<p>a<br>b<img src=x.png alt='A &amp; B'/>c<span/>d",
       R"(html(body(p("a" br "b" img[src=x.png,alt=A & B] "c" span "d"))))"},
      {"script and style are raw text", "<script>if (a<b) x='</p>';</script><p>t<style>p{}</STYLE>",
       R"(html(head(script("if (a<b) x='</p>';")) body(p("t" style("p{}")))))"},
      {"a longer end tag stays script text", "<script>a</scripts>b</script>",
       R"(html(head(script("a" "</scripts" ">b"))))"},
      {"names and attribute names in lower case, values as written", "<P CLASS=Big Id=\"a b\">x</P>",
       R"(html(body(p[class=Big,id=a b]("x"))))"},
      {"the first of a repeated attribute counts", "<a href=1 HREF=2 checked>x</a>",
       R"(html(body(a[href=1,checked=]("x"))))"},
      {"comments, declarations and instructions go", "<!DOCTYPE html><!-- c --><?xml x?><p>a<!-- <b> -->b<![if x]>c</p>",
       R"(html(body(p("a" "b" "c"))))"},
      {"a '<' that starts no tag is text", "<p>a < b <3</p>", R"(html(body(p("a " "< b " "<3"))))"},
      {"misplaced html and body tags and their ends are ignored", "<html><body>a<html><body>b</body>c",
       R"(html(body("a" "b" "c")))"},
      {"blanks outside every element go", "  <p>x</p>  ", R"(html(body(p("x") "  ")))"},
      {"control characters are dropped", "<p>a\x01" "b\x1F" "c\xEF\xBF\xBE</p>", R"(html(body(p("abc"))))"},
      {"an unterminated comment runs to the end", "<p>a<!-- never <b>x", R"(html(body(p("a"))))"},
      {"an unterminated tag is an empty element", "<p>a<div class='x", R"(html(body(p("a") div[class=x])))"},
      {"a bogus attribute is skipped", "<p =x \"y\" a=1>t", R"(html(body(p[a=1]("t"))))"},
  };
  for (const Case& c : cases) {
    Tree tree(c.html);
    EXPECT_EQ(shape(tree.root()), c.tree) << c.what;
  }
}

TEST(HtmlTree, DecodesReferencesInTextAndValues) {
  const Case cases[] = {
      {"named, decimal and hex", "&lt;&amp;&gt;&quot;&apos;&nbsp;&copy;&euro;&#65;&#x42;&#X263a;", "<&>\"'\u00A0\u00A9\u20AC" "AB\u263A"},
      {"no semicolon after a number", "&#65x&#x42 y", "Ax" "B y"},
      {"unknown, unterminated or empty references stay text", "&bogus; &amp &#; &#x; & x &;", "&bogus; &amp &#; &#x; & x &;"},
      {"invalid numbers become U+FFFD, controls are dropped", "[&#0;][&#xD800;][&#x110000;][&#1;][&#9;]",
       "[\uFFFD][\uFFFD][\uFFFD][][\t]"},
      {"astral code points", "&#128512;&#x1F600;", "\U0001F600\U0001F600"},
      {"names are case-sensitive", "&Eacute;&eacute;&EACUTE;", "\u00C9\u00E9&EACUTE;"},
  };
  for (const Case& c : cases) {
    std::string in_text = "<p>" + c.html + "</p>", in_value = "<p title=\"" + c.html + "\">";
    Tree text(in_text);
    const Node* p = text.root()->children->children;
    EXPECT_EQ(kvx::readers::html::text_content(p), c.tree) << c.what;
    Tree value(in_value);
    const std::string_view* v = kvx::readers::html::attribute(value.root()->children->children, "title");
    ASSERT_NE(v, nullptr) << c.what;
    EXPECT_EQ(*v, c.tree) << c.what;
  }
}

TEST(HtmlTree, TextContentJoinsTheTextsBelow) {
  Tree tree("<title>A <b>B <i>C</i></b> &amp; D</title>");
  EXPECT_EQ(kvx::readers::html::text_content(tree.root()->children->children), "A B C & D");
  EXPECT_EQ(kvx::readers::html::attribute(tree.root(), "lang"), nullptr);
}

// Elements in a tree and how deep they go.
void count(const Node* n, int depth, int& elements, int& deepest) {
  for (; n != nullptr; n = n->next) {
    if (!n->element) continue;
    ++elements;
    deepest = std::max(deepest, depth);
    count(n->children, depth + 1, elements, deepest);
  }
}

TEST(HtmlTree, ManyNodesAndDeepNesting) {
  // Blocks of nodes and the value buffer must hold across growth; nesting deeper than
  // the open-element limit keeps every element and the text, the deepest ones side by side.
  std::string deep;
  for (int k = 0; k < 20000; ++k) deep += "<span>";
  deep += "x";
  Tree nested(deep);
  int elements = 0, deepest = 0;
  count(nested.root(), 0, elements, deepest);
  EXPECT_EQ(elements, 20000 + 2);  // html and body too
  EXPECT_EQ(deepest, 1024);
  EXPECT_EQ(kvx::readers::html::text_content(nested.root()), "x");
  std::string wide;
  for (int k = 0; k < 50000; ++k) wide += "<b>&amp;" + std::to_string(k) + "</b>";
  Tree flat(wide);
  std::string all = kvx::readers::html::text_content(flat.root());
  EXPECT_EQ(all.substr(0, 6), "&0&1&2");
  EXPECT_EQ(all.substr(all.size() - 6), "&49999");
}

}  // namespace
