// Whole documents converted end to end: every reader fixture of the framework but the
// spreadsheets goes through kvxrun with the built-in template, under kvxrun's defaults,
// under docpress's options and in two CSS flavours, and each output folder passes our own
// tag-stack check and the independent checks of check_page.py (balanced tags by
// html.parser, strict decoding in the page's charset, no NUL byte, internal links that
// resolve, the document's text) and tinycss2's reading of its style sheet and inline styles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "filters/html/tests/tag_stack.h"
#include "testsupport/test_files.h"

namespace {

using pc::test::stack_fault;

std::string check(const std::string& folder, const std::string& model) {
  std::string report;
  qm::test::command_output(std::string("python3 ") + QM_CHECK_PAGE + " " + folder + " out.htm " + model, report);
  return report;
}

struct OptionSet {
  const char* name;
  const char* args;
};

// tinycss2 (Debian's python3-tinycss2, under the system's python3) over the style-sheet
// files of a folder and every inline STYLE= of its pages: "ok" or the parse errors.
std::string css_check(const std::string& folder) {
  std::string script = folder + "/../css_check.py", out;
  qm::test::write_file(script,
                       "import glob, re, sys, tinycss2\n"
                       "bad = []\n"
                       "def check(name, text):\n"
                       "    for r in tinycss2.parse_stylesheet(text, skip_comments=True, skip_whitespace=True):\n"
                       "        if r.type == 'error': bad.append(name + ': ' + r.message); continue\n"
                       "        for d in tinycss2.parse_declaration_list(r.content, skip_comments=True, skip_whitespace=True):\n"
                       "            if d.type == 'error': bad.append(name + ': ' + d.message)\n"
                       "            elif any(t.type == 'error' for t in d.value): bad.append(name + ': bad value ' + d.name)\n"
                       "for f in glob.glob(sys.argv[1] + '/*.css'):\n"
                       "    check(f, open(f, encoding='utf-8', errors='replace').read())\n"
                       "for f in glob.glob(sys.argv[1] + '/*.htm'):\n"
                       "    page = open(f, encoding='latin-1').read()\n"
                       "    for v in re.findall(r'STYLE=\"([^\"]*)\"', page):\n"
                       "        check(f, 'x {' + v + '}')\n"
                       "print('\\n'.join(bad) if bad else 'ok')\n");
  qm::test::command_output("/usr/bin/python3 " + script + " " + folder, out);
  return out;
}

// docpress's options: text fallback, root-file callback, flavour 0, no pictures, numeric
// references, Big5 output in little-endian order, option 337890.
const OptionSet kOptionSets[] = {
    {"defaults", ""},
    {"docpress", "--set 2=1 --set 32=1 --set 7=0 --set 6=1998 --set 27=1 --set 1=0x13B60000 --set 31=2 --set 337890=1"},
    // Two CSS flavours: classes in a style-sheet file (2), inline styles only (10).
    {"css", "--set 7=2"},
    {"inline", "--set 7=10"},
};

// The fixtures the framework reads as documents (its spreadsheets are converted by the
// sheet writer; the flat ODF files are not read by the framework).
const char* const kFixtures[] = {"big5.html",  "latin.html", "latin.rtf",  "office.rtf", "sample.rtf",
                                 "office.doc", "office.docx", "sample.docx", "office.odt", "sample.odt",
                                 "office.pdf", "sample.pdf", "office.ppt", "pictures.docx", "pictures.odt",
                                 "pictures/page.html"};

// The default template writes bodies, footnotes and endnotes but no headers or footers, so
// the text a page is checked against is the document's text without its page parts.
TEST(PagecastConvertTest, ReaderFixturesConvertWithTheDefaultTemplate) {
  qm::test::TempDir dir{"pagecast-convert-"};
  for (const char* fixture : kFixtures) {
    std::string in = std::string(QM_FRAMEWORK_DATA) + "/" + fixture;
    std::string flat = fixture;  // the work files' names: a fixture's folder joined in
    std::replace(flat.begin(), flat.end(), '/', '_');
    std::string model = dir / (flat + ".txt"), ignored;
    ASSERT_EQ(qm::test::command_output(std::string(QM_KVXDUMP) + " --body-text " + in + " > " + model, ignored), 0)
        << fixture;
    for (const OptionSet& o : kOptionSets) {
      std::string folder = dir / (flat + "." + o.name);
      std::filesystem::create_directories(folder);
      std::string out;
      ASSERT_EQ(qm::test::command_output(std::string(QM_KVXRUN) + " " + o.args + " " + in + " " + folder + "/out.htm", out),
                0)
          << fixture << " " << o.name << ": " << out;
      for (const auto& f : std::filesystem::directory_iterator(folder)) {
        if (f.path().extension() != ".htm") continue;  // pictures stand beside the pages
        EXPECT_EQ(stack_fault(qm::test::read_file(f.path().string())), "") << fixture << " " << o.name << " " << f.path();
      }
      EXPECT_EQ(check(folder, model), "ok\n") << fixture << " " << o.name;
      EXPECT_EQ(css_check(folder), "ok\n") << fixture << " " << o.name;
    }
  }
}

// The page of a small HTML document through the HTML reader and the default template:
// the body's markup without line ends and without the section's own anchors.
std::string converted_body(const qm::test::TempDir& dir, const std::string& name, const std::string& html) {
  std::string in = dir / (name + ".html"), folder = dir / name, out;
  qm::test::write_file(in, html);
  std::filesystem::create_directories(folder);
  if (qm::test::command_output(std::string(QM_KVXRUN) + " " + in + " " + folder + "/out.htm", out) != 0) return "failed: " + out;
  std::string page = qm::test::read_file(folder + "/out.htm"), body;
  page = page.substr(std::min(page.size(), page.find("<body>")));
  for (char ch : page)
    if (ch != '\r' && ch != '\n') body += ch;
  for (const char* anchor : {"<A NAME=\"s1content\"></A>", "<A NAME=\"s1body\"></A>"})
    if (size_t at = body.find(anchor); at != std::string::npos) body.erase(at, std::strlen(anchor));
  return body;
}

// HTML lists come out as lists whose markers are the list's own: no number or bullet is
// written as text; the list type, start (on the first item where the default flavour has
// no START) and item values, and nesting, are kept. A font
// face ends with the element that set it.
TEST(PagecastConvertTest, ListsAndFontsOfHtmlDocuments) {
  qm::test::TempDir dir{"pagecast-lists-"};
  struct Case {
    const char* what;
    const char* html;
    const char* want;
  } cases[] = {
      {"bullets", "<ul><li>a</li><li>b</li></ul><p>after</p>",
       "<UL TYPE=\"DISC\"><LI><P>a</P></LI><LI><P>b</P></LI></UL><P>after</P>"},
      {"numbers from 3, an item's own value", "<ol type=\"i\" start=\"3\"><li>x</li><li value=\"7\">y</li><li>z</li></ol>",
       "<OL TYPE=\"i\"><LI VALUE=\"3\"><P>x</P></LI><LI VALUE=\"7\"><P>y</P></LI><LI><P>z</P></LI></OL>"},
      {"a list inside an item", "<ul><li>a<ol><li>b</li></ol></li><li>c</li></ul>",
       "<UL TYPE=\"DISC\"><LI><P>a</P><OL TYPE=\"1\"><LI><P>b</P></LI></OL></LI><LI><P>c</P></LI></UL>"},
      {"a line break inside an item", "<ol><li>a<br>b</li></ol>", "<OL TYPE=\"1\"><LI><P>a</P><P>b</P></LI></OL>"},
      {"a face ends with its element", "<p><font face=\"Mono\">x</font> y</p><p>z</p>",
       "<P><FONT FACE=\"Mono\">x</FONT> y</P><P>z</P>"},
  };
  for (const Case& k : cases) {
    std::string body = converted_body(dir, std::to_string(&k - cases), k.html);
    EXPECT_NE(body.find(k.want), std::string::npos) << k.what << ": " << body;
    EXPECT_EQ(stack_fault(body.substr(body.find("<body>") + 6, body.find("</body>") - body.find("<body>") - 6)), "")
        << k.what << ": " << body;
  }
}

// The checker itself finds the faults it is there for.
TEST(PagecastConvertTest, CheckerFindsFaults) {
  qm::test::TempDir dir{"pagecast-checker-"};
  std::string model = dir / "model.txt";
  qm::test::write_file(model, "abc");
  struct Case {
    const char* what;
    std::string page;
    const char* fault;
  } cases[] = {
      {"good", "<html><body><P><A NAME=\"x\"></A>abc<A HREF=\"#x\"></A></P></body></html>", "ok"},
      {"unbalanced", "<html><body><P>abc</B></P></body></html>", "does not close"},
      {"missing anchor", "<html><body><P>abc<A HREF=\"#y\"></A></P></body></html>", "missing anchor"},
      {"missing file", "<html><body><P>abc<A HREF=\"no.htm\"></A></P></body></html>", "missing file"},
      {"nul", std::string("<html><body><P>abc\0</P></body></html>", 35), "NUL"},
      {"bad big5", "<meta content=\"charset=big5\"></meta><P>abc\xA4</P>", "not cp950"},
      {"text", "<html><body><P>abd</P></body></html>", "text differs"},
  };
  for (const Case& c : cases) {
    std::string folder = dir / std::to_string(&c - cases);
    std::filesystem::create_directories(folder);
    qm::test::write_file(folder + "/out.htm", c.page);
    EXPECT_NE(check(folder, model).find(c.fault), std::string::npos) << c.what << ": " << check(folder, model);
  }
}

}  // namespace
