// The request driver's settings steps and the result page's texts, run in-process over
// a program directory of its own: rows per page, the template choice, the error page's
// message, the request texts carried to the next page, paging, source addresses, and the
// title and abstract of hits read from a small index database.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "index/index_reader.h"
#include "index/index_writer.h"
#include "platform/fatal.h"
#include "searcher/app/searcher_app.h"
#include "searcher/page/cgi_input.h"
#include "testsupport/test_files.h"

namespace qm::test {
namespace {

// A program directory with vesprin.ini (settings given per test) and databases 1 and 2.
class ResultPageTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override {
    index_set().close();
    reset();
  }

  void reset() {
    fatal_reset();
    run_ = std::make_unique<SearchRun>();
  }
  SearchRun& run() { return *run_; }

  // Writes vesprin.ini with the required keys, the given VESPRIN lines and databases 1
  // (with the given DB-1 lines) and 2, then runs the driver's steps up to the loaded
  // configuration for the request text.
  void start(const std::string& query, const std::string& vesprin = "", const std::string& db = "") {
    reset();
    write_file(dir_ / "vesprin.ini",
               "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/home.htm\nSystemAdm=a@b\n"
               "TmplFirstQuery=first.htm\n" + vesprin +
               "[INDEX]\n1=1\n2=1\n[DB-1]\nWorkDir=" + dir_.path() + "db\nHomeUrl=/docs/\n" + db +
               "[DB-2]\nWorkDir=" + dir_.path() + "db\n");
    run().state.program_dir = dir_.path();
    run().config.set_program_dir(dir_.path());
    cgi_parse_params(run().params, query, dir_.path());
    std::string error;
    request_database_set(run(), error);
    ASSERT_TRUE(run().config.load(run().params.config_path));
  }

  TempDir dir_{"qm-result-page-"};
  std::unique_ptr<SearchRun> run_;
};

IndexDocument document(std::string path, std::vector<std::string> paragraphs) {
  IndexDocument d;
  d.path = std::move(path);
  d.date = 20010305;
  for (std::string& p : paragraphs) d.paragraphs.push_back({0, std::move(p)});
  return d;
}

void write_database(const std::string& dir, const std::vector<IndexDocument>& documents) {
  IndexWriterOptions options;
  options.sync = false;
  IndexWriter writer(dir, options);
  for (const IndexDocument& d : documents) ASSERT_TRUE(writer.add_document(d)) << writer.error();
  ASSERT_TRUE(writer.finish()) << writer.error();
}

TEST_F(ResultPageTest, RowsPerPage) {
  struct Case {
    std::string para_per_page;  // "" when the key is absent
    std::string query;
    int rows;
  };
  const std::vector<Case> cases = {
      {"", "s=1&p=x", 15},          {"20", "s=1&p=x", 20},      {"2", "s=1&p=x", 5},
      {"300", "s=1&p=x", 100},      {"20", "s=1&p=x&t=1", 50},  {"20", "s=1&p=x&t=1&a=7", 7},
      {"20", "s=1&p=x&a=3", 5},     {"20", "s=1&p=x&a=500", 100}, {"20", "s=1&p=x&t=2", 20},
      {"20", "s=1&p=x&a=-4", 5},    {"20", "s=1&p=x&a=99999999999", 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.para_per_page + " " + c.query);
    start(c.query, c.para_per_page.empty() ? "" : "ParaPerPage=" + c.para_per_page + "\n");
    EXPECT_EQ(rows_per_page_setup(run()), c.rows);
    EXPECT_EQ(run().state.rows, c.rows);
  }
}

TEST_F(ResultPageTest, TemplateChoice) {
  struct Case {
    std::string vesprin;
    std::string query;
    std::string chosen;
  };
  const std::string next = "TmplNextQuery=next.htm\n";
  const std::vector<Case> cases = {
      {next, "s=1&p=x", "first.htm"},
      {next, "s=1&p=x&b=11", "next.htm"},
      {next, "s=1&p=x&g=4", "next.htm"},
      {next + "UseOtherSearcher=http://other/\n", "s=1&p=x&b=11", "next.htm"},
      {next + "UseOtherSearcher=http://other/\n", "s=1&p=x&g=4", "first.htm"},
      {next + "UseOtherSearcher=http://other/\n", "s=1&p=x", "first.htm"},
      // Without TmplNextQuery the next-query choice is the first-query template.
      {"", "s=1&p=x&b=11", "first.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vesprin + c.query);
    start(c.query, c.vesprin);
    EXPECT_EQ(template_choice(run()), c.chosen);
  }
}

// The error page shows the message with "\" made "/" (not the second byte of a Big5
// character) and CR and LF made blanks; without a loadable template it is the bare
// message and "\n".
TEST_F(ResultPageTest, ErrorPageMessage) {
  write_file(dir_ / "error.htm", "[<!%ERR_MSG%!>] <!%HOME_URL%!>");
  start("s=1&p=x");
  // 許 (B3 5C) keeps its second byte; the lone "\" and the line ends do not stay.
  const std::string message = "C:\\db\\\xB3\x5C.txt\r\nline<2>";
  run().state.tmpl_error = "error.htm";
  EXPECT_EQ(error_page_text(run(), message), "[C:/db/\xB3\x5C.txt  line&lt;2&gt;] /home.htm");
  // B3 5C is stepped over whole, so only the second "\" of the three changes.
  EXPECT_EQ(error_page_text(run(), "x\xB3\\\\"), "[x\xB3\\/] /home.htm");

  run().state.tmpl_error = "missing.htm";
  EXPECT_EQ(error_page_text(run(), message), message + "\n");
  run().state.tmpl_error = "";
  EXPECT_EQ(error_page_text(run(), message), message + "\n");
  run().state.tmpl_error.reset();
  EXPECT_EQ(error_page_text(run(), message), message + "\n");
}

// Every carried parameter in its place: hidden fields, query text and searcher link
// text; m only in the page pass; p last, escaped for links.
TEST_F(ResultPageTest, RequestTextsCarryTheRequestInOrder) {
  start("s=1&p=x");
  write_file(dir_ / "other.ini", read_file(dir_ / "vesprin.ini"));
  start("s=1&p=tea+cup&l=1&c=9&o=3&h=1&f=1&t=1&d=other.ini&a=7&g=x&z=1%2C2&k=1~2&m=1&b=4");
  const std::string d = dir_.path() + "other.ini";
  const RequestTexts record = result_request_texts(run(), RequestTextMode::Record);
  EXPECT_EQ(record.hidden,
            "<INPUT TYPE=HIDDEN NAME=s VALUE=\"1\">\n"
            "<INPUT TYPE=HIDDEN NAME=l VALUE=\"1\">\n"
            "<INPUT TYPE=HIDDEN NAME=c VALUE=\"9\">\n"
            "<INPUT TYPE=HIDDEN NAME=o VALUE=\"3\">\n"
            "<INPUT TYPE=HIDDEN NAME=h VALUE=\"1\">\n"
            "<INPUT TYPE=HIDDEN NAME=f VALUE=\"1\">\n"
            "<INPUT TYPE=HIDDEN NAME=t VALUE=\"1\">\n"
            "<INPUT TYPE=HIDDEN NAME=d VALUE=\"" + d + "\">\n"
            "<INPUT TYPE=HIDDEN NAME=a VALUE=\"7\">\n"
            "<INPUT TYPE=HIDDEN NAME=g VALUE=\"x\">\n"
            "<INPUT TYPE=HIDDEN NAME=z VALUE=\"1,2\">\n"
            "<INPUT TYPE=HIDDEN NAME=k VALUE=\"1~2\">\n");
  EXPECT_EQ(record.query, "s=1&l=1&c=9&o=3&h=1&f=1&t=1&d=" + d + "&a=7&g=x&z=1,2&k=1~2&p=tea%20cup");
  EXPECT_EQ(record.searcher_link,
            "/cgi-bin/searcher?s=1&h=1&f=1&t=1&d=" + d + "&a=7&g=x&z=1,2&k=1~2&p=tea%20cup");

  const RequestTexts page = result_request_texts(run(), RequestTextMode::Page);
  EXPECT_EQ(page.hidden, record.hidden + "<INPUT TYPE=HIDDEN NAME=m VALUE=\"1\">\n");
  EXPECT_EQ(page.query, "s=1&l=1&c=9&o=3&h=1&f=1&t=1&d=" + d + "&a=7&g=x&z=1,2&k=1~2&m=1&p=tea%20cup");
  EXPECT_EQ(page.searcher_link,
            "/cgi-bin/searcher?s=1&h=1&f=1&t=1&d=" + d + "&a=7&g=x&z=1,2&k=1~2&m=1&p=tea%20cup");

  // The defaults carry only s, k, m and p; an o of "0" and an empty z are left out.
  start("s=2,1&p=x&o=0");
  const RequestTexts plain = result_request_texts(run(), RequestTextMode::Page);
  EXPECT_EQ(plain.query, "s=2,1&k=&m=0&p=x");
  EXPECT_EQ(plain.searcher_link, "/cgi-bin/searcher?s=2,1&k=&m=0&p=x");
}

TEST(ResultPaging, Range) {
  struct Case {
    int total, rows;
    std::optional<std::string> b;
    int start, end;
  };
  const std::vector<Case> cases = {
      {37, 10, "31", 31, 37}, {37, 10, std::nullopt, 1, 10}, {37, 10, "0", 1, 10},
      {37, 10, "38", 1, 10},  {37, 10, "37", 37, 37},        {37, 10, "-5", 1, 10},
      {37, 10, "x", 1, 10},   {0, 10, "5", 0, 0},            {3, 10, std::nullopt, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + " " + c.b.value_or("-"));
    const PagingRange r = result_paging(c.total, c.rows, c.b);
    EXPECT_EQ(r.start, c.start);
    EXPECT_EQ(r.end, c.end);
  }
}

TEST(ResultSourceAddress, StoredPathToAddress) {
  struct Case {
    std::string path, home_url, address;
  };
  const std::vector<Case> cases = {
      {"notes/a.txt", "/docs/", "/docs/notes/a.txt"},
      {"HTTP://example.org/a.htm", "/docs/", "HTTP://example.org/a.htm"},
      {"https://example.org/a.htm", "http://", "https://example.org/a.htm"},
      {"www.example.com/cgi-bin/find.asp_id=5$x.htm", "http://",
       "http://www.example.com/cgi-bin/find.asp?id=5/x"},
      {"host/run.EXE_a=1$b$c.htm", "http://", "http://host/run.EXE?a=1/b/c"},
      // ".htm" goes only in exact case; a later kind does not count once one is found.
      {"host/x.cgi_q=1.HTM", "http://", "http://host/x.cgi?q=1.HTM"},
      {"host/x.dll_a$b.pl_c", "http://", "http://host/x.dll?a/b.pl_c"},
      {"www.example.com/page.cgi.htm", "http://", "http://www.example.com/page.cgi"},
      {"h/page.PL.HTM", "http://", "http://h/page.PL"},
      {".asp.htm", "http://", "http://.asp.htm"},  // not longer than 8 bytes
      {"h/page.htm", "http://", "http://h/page.htm"},
      // Only a HomeUrl of exactly "http://" rewrites.
      {"host/find.asp_id=5.htm", "http://www/", "http://www/host/find.asp_id=5.htm"},
  };
  for (const Case& c : cases) EXPECT_EQ(result_source_address(c.path, c.home_url), c.address) << c.path;
}

// Titles: from paragraph TitleParagraph on, the first that gives 3 bytes or more once
// its leading bytes below "0" are dropped, cut within 50 bytes at a word end, "..." when
// the paragraph is longer than 50 bytes; the hit's own paragraph when none does.
TEST_F(ResultPageTest, RecordTitle) {
  const std::string long_title = "Tea and the history of its trade along the old roads of Asia";  // 60 bytes
  write_database(dir_.sub("db"),
                 {
                     document("a.txt", {"First", "Second paragraph", "Third"}),
                     document("b.txt", {"..", "- ab", "...Real title"}),
                     document("c.txt", {"ab", "--", "x"}),
                     document("d.txt", {long_title}),
                     // 18 Big5 characters (36 bytes) then "abcdefghijklmnopq": the cut
                     // keeps the Big5 characters and drops the whole English word.
                     document("e.txt", {std::string(36, '\xA4') + " abcdefghijklmnopq"}),
                     document("f.txt", {}),
                 });
  struct Case {
    std::string title_paragraph;  // "" when the key is absent
    uint32_t document;
    uint16_t hit_paragraph;
    std::string title;
  };
  const std::string big5(36, '\xA4');
  const std::vector<Case> cases = {
      {"", 0, 2, "First"},
      {"2", 0, 2, "Second paragraph"},
      {"3", 0, 0, "Third"},
      {"9", 0, 0, "Third"},  // beyond the count: the last paragraph
      {"0", 0, 0, "First"},
      {"-3", 0, 0, "First"},
      {"", 1, 0, "Real title"},
      {"", 2, 2, "x"},  // no paragraph gives 3 bytes: the hit's own paragraph
      {"", 3, 0, "Tea and the history of its trade along the old..."},
      {"", 4, 0, big5 + "..."},
      {"", 5, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title_paragraph + " " + std::to_string(c.document));
    start("s=1&p=tea", "", c.title_paragraph.empty() ? "" : "TitleParagraph=" + c.title_paragraph + "\n");
    ASSERT_TRUE(index_set().open(dir_.path() + "db/", 0, false));
    HitRecord hit;
    hit.database = 1;
    hit.document = c.document;
    hit.paragraph = c.hit_paragraph;
    EXPECT_EQ(result_record_link(run(), index_set(), hit).title, c.title);
  }
}

// The marker query carries the database, the escaped keywords, the document (the path
// for a data-source database) and the search flags.
TEST_F(ResultPageTest, RecordMarkerQueryAndLink) {
  write_database(dir_.sub("db"), {document("dir\\x&y.txt", {"Tea"})});
  struct Case {
    std::string query, db;
    std::string marker_query, source;
    std::string link = "";  // "": the source address
  };
  const std::vector<Case> cases = {
      {"s=1&p=tea", "", "s=1&p=tea&i=0", "/docs/dir/x&y.txt"},
      // A mail hit opens its marked text: a message has no file behind its path.
      {"s=1&p=tea", "Mail=1\n", "s=1&p=tea&i=0", "/docs/dir/x&y.txt",
       "/cgi-bin/marker?s=1&p=tea&i=0"},
      {"s=1&z=1%2C2", "Mail=1\n", "s=1&p=&i=0", "/docs/dir/x&y.txt",
       "/cgi-bin/marker?s=1&p=&i=0&p=NULL"},
      {"s=1&p=tea", "Mail=0\n", "s=1&p=tea&i=0", "/docs/dir/x&y.txt"},
      {"s=1&p=%AF%F9+a%26b&l=1&c=9&h=1&f=1", "",
       "s=1&p=%AF%F9%20a%26b&i=0&l=1&c=9&h=1&f=1", "/docs/dir/x&y.txt"},
      {"s=1&p=tea&l=1", "", "s=1&p=tea&i=0&l=1&c=0", "/docs/dir/x&y.txt"},
      {"s=1&p=tea&d=vesprin.ini", "", "s=1&p=tea&i=0&d=vesprin.ini", "/docs/dir/x&y.txt"},
      {"s=1&z=1%2C2", "", "s=1&p=&i=0", "/docs/dir/x&y.txt"},
      {"s=1&p=tea", "DB_Kind=odbc\nASP=/rec.asp\n", "s=1&p=tea&i=dir/x%26y.txt", "/docs/dir/x&y.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query + " " + c.db);
    start(c.query, "", c.db);
    ASSERT_TRUE(index_set().open(dir_.path() + "db/", 0, false));
    HitRecord hit;
    hit.database = 1;
    const RecordTexts texts = result_record_link(run(), index_set(), hit);
    EXPECT_EQ(texts.marker_query, c.marker_query);
    EXPECT_EQ(texts.source, c.source);
    EXPECT_EQ(texts.link, c.link.empty() ? c.source : c.link);
  }
}

// The abstract: the window of MaxDisplayRows x 60 bytes around the first keyword
// (whose offset goes into the hit), cut at character starts, trailing blanks dropped,
// escaped, marked, "<BR>\n".
TEST_F(ResultPageTest, Abstract) {
  const std::string words = "one two three four five six seven eight nine ten eleven twelve thirteen";
  const std::string a29(29, 'a');
  // 一 (A4 40) x 30 after one byte: the pairs start at odd offsets, and the window start
  // P - 30 = 32 falls inside one, so the window begins at the next pair.
  std::string big5 = "A";
  for (int i = 0; i < 30; ++i) big5 += "\xA4\x40";
  write_database(dir_.sub("db"),
                 {
                     document("a.txt", {"Short tea & <milk>   "}),
                     document("b.txt", {std::string(99, 'a') + " tea " + words}),
                     document("c.txt", {words + " tea"}),
                     document("d.txt", {"no keyword here"}),
                     document("e.txt", {big5 + " tea " + std::string(200, 'z')}),
                 });
  std::string pairs14;
  for (int i = 0; i < 14; ++i) pairs14 += "\xA4\x40";
  const std::string tea = "<FONT COLOR=#FF0000>tea</FONT>";
  struct Case {
    uint32_t document;
    std::string rows;  // MaxDisplayRows
    std::string abstract;
    uint16_t position;
  };
  const std::vector<Case> cases = {
      {0, "1", "Short " + tea + " &amp; &lt;milk&gt;<BR>\n", 6},
      // P = 100 > 30: bytes 70 to 130, a word cut in the middle.
      {1, "1", a29 + " " + tea + " one two three four five si<BR>\n", 100},
      // The keyword 3 bytes before the end: the window runs to the end.
      {2, "1", "ne ten eleven twelve thirteen " + tea + "<BR>\n", 72},
      // Two rows: 120 bytes hold the whole 75-byte text.
      {2, "2", words + " " + tea + "<BR>\n", 72},
      {3, "1", "no keyword here<BR>\n", 0},
      {4, "1", pairs14 + " " + tea + " " + std::string(26, 'z') + "<BR>\n", 62},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.document) + " rows " + c.rows);
    start("s=1&p=tea", "", "MaxDisplayRows=" + c.rows + "\n");
    run().state.search_words = {"TEA"};
    ASSERT_TRUE(index_set().open(dir_.path() + "db/", 0, false));
    HitRecord hit;
    hit.database = 1;
    hit.document = c.document;
    const RecordTexts texts = result_record_link(run(), index_set(), hit);
    EXPECT_EQ(result_abstract(run(), index_set(), hit, texts.fulltext_offset), c.abstract);
    EXPECT_EQ(hit.position, c.position);
  }
}

}  // namespace
}  // namespace qm::test
