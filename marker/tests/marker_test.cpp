// marker: the keywords it marks, the page of one document of a database written by the
// index writer, its errors, and the built program run as the desktop runs it (empty
// environment but REQUEST_METHOD and QUERY_STRING, vesprin.ini in its directory).
#include "marker/marker_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "common/html.h"
#include "common/strings.h"
#include "index/index_writer.h"
#include "platform/fatal.h"
#include "platform/process.h"
#include "searcher/english_match.h"
#include "searcher/lexicon/lexicon_writer.h"
#include "testsupport/homophone_tables.h"
#include "testsupport/test_files.h"

namespace fs = std::filesystem;

namespace {

#define ZHONG "\xA4\xA4"  // 中
#define WEN "\xA4\xE5"    // 文
#define ZI "\xA6\x72"     // 字 (trail byte "r")
#define XU "\xB3\x5C"     // 許 (trail byte "\")
#define GONG "\xA5\x5C"   // 功 (trail byte "\")
#define TONG "\xA6\x50"   // 同
#define TONG2 "\xB5\xA3"  // 童, sounds like 同

class Marker : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::fatal_reset();
    qm::html_reset();
    root_ = tmp_.dir();
    fs::create_directories(root_ / "prog");
    fs::create_directories(root_ / "db");
    prog_ = (root_ / "prog").string() + "/";

    qm::IndexWriterOptions options;
    options.sync = false;
    qm::IndexWriter writer((root_ / "db").string() + "/", options);
    ASSERT_FALSE(writer.failed()) << writer.error();
    ASSERT_TRUE(writer.add_document({"docs\\tea.htm", 20240105,
                                     {{1, "Green tea & black tea"},
                                      {0, XU GONG ZHONG WEN ZI " r <tea>"},
                                      {0, ""}}}));
    ASSERT_TRUE(writer.add_document({"docs/" TONG2 ".txt", 20240106, {{0, TONG2 ZI " tea"}}}));
    ASSERT_TRUE(writer.finish()) << writer.error();

    // The index folder written the way the desktop writes it, with "\" separators.
    std::string work_dir = (root_ / "db").string();
    std::replace(work_dir.begin(), work_dir.end(), '/', '\\');
    qm::test::write_file(root_ / "prog" / "vesprin.ini",
               "[VESPRIN]\r\nSearcher=/cgi-bin/searcher\r\nHomePage=/\r\nSystemAdm=admin\r\n"
               "MarkBeginText=<B>\r\nMarkEndText=</B>\r\n"
               "[INDEX]\r\n3=1\r\n4=0\r\n"
               "[DB-3]\r\nWorkDir=" + work_dir + "\r\n"
               "[DB-4]\r\nWorkDir=" + (root_ / "missing").string() + "\r\n");
    qm::test::write_homophone_groups(root_ / "prog", {TONG TONG2, ZI});
  }
  void TearDown() override {
    qm::fatal_reset();
    qm::html_reset();
  }

  // Runs marker_run in-process on a query string; gives what it wrote.
  std::string run(const std::string& query_string, std::string* fatal_message = nullptr) {
    qm::html_reset();  // a header per run, as per process
    std::FILE* output = std::tmpfile();
    qm::prog_set_output(output);
    qm::SearchRequest request;
    qm::cgi_parse_params(request, query_string, prog_);
    try {
      if (auto failure = qm::marker_run(request, prog_)) qm::marker_end_run(*failure);
    } catch (const qm::FatalError& e) {
      if (fatal_message) *fatal_message = e.what();
    }
    qm::prog_set_output(nullptr);
    std::string text = qm::test::file_contents(output);
    std::fclose(output);
    return text;
  }

  qm::test::TempDir tmp_{"qm_marker_"};
  fs::path root_;
  std::string prog_;
};

TEST(MarkerKeywords, TakesTheWordsOfTheTermTable) {
  struct {
    std::string keywords;
    std::vector<std::string> words;
  } cases[] = {
      {"tea " ZHONG WEN, {"TEA", ZHONG WEN}},
      {"green tea+(milk -sugar)", {"GREEN TEA", "MILK", "SUGAR"}},
      {"NULL", {}},
      {"", {}},
      {"+ - ( )", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::marker_keywords(c.keywords), c.words) << c.keywords;
}

TEST_F(Marker, WritesTheDocumentWithItsKeywordsMarked) {
  const std::string page = run("s=3&i=0&p=tea+%A4%E5%A6r");
  const std::string expected =
      "Content-Type: text/html\r\n\r\n"
      "<HTML>\r\n<HEAD>\r\n"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=big5\">\r\n"
      "<TITLE>Green tea &amp; black tea</TITLE>\r\n</HEAD>\r\n<BODY>\r\n"
      "<P><A HREF=\"/cgi-bin/searcher?s=3&amp;p=tea%20%A4%E5%A6r\">Back to the result list</A>\r\n"
      "<P>Green <B>tea</B> &amp; black <B>tea</B>\r\n"
      "<P>" XU GONG ZHONG "<B>" WEN ZI "</B> r &lt;<B>tea</B>&gt;\r\n"
      "<P>\r\n"
      "</BODY>\r\n</html>\r\n";
  EXPECT_EQ(page, expected);
}

// k: the paragraphs shown, as the desktop asks for a mail's body ("2", "0,v-1", "2,v-1").
TEST_F(Marker, ShowsTheParagraphRangeOfK) {
  struct {
    std::string k;
    std::vector<std::string> shown;  // the paragraph lines, or empty with an error
    bool error;
  } cases[] = {
      {"", {"Green tea &amp; black tea", XU GONG ZHONG WEN ZI " r &lt;tea&gt;", ""}, false},
      {"&k=", {"Green tea &amp; black tea", XU GONG ZHONG WEN ZI " r &lt;tea&gt;", ""}, false},
      {"&k=1", {XU GONG ZHONG WEN ZI " r &lt;tea&gt;", ""}, false},
      {"&k=0,0", {"Green tea &amp; black tea"}, false},
      {"&k=0%2C1", {"Green tea &amp; black tea", XU GONG ZHONG WEN ZI " r &lt;tea&gt;"}, false},
      {"&k=2,9", {""}, false},
      {"&k=7", {}, false},
      {"&k=2,1", {}, true},
      {"&k=x", {}, true},
      {"&k=1,", {}, true},
      {"&k=-1", {}, true},
      {"&k=70000", {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.k);
    std::string message;
    const std::string page = run("s=3&i=0&p=NULL" + c.k, &message);
    if (c.error) {
      EXPECT_EQ(message, qm::kMsgBadRange);
      continue;
    }
    std::vector<std::string> lines;
    for (size_t at = page.find("\r\n<P>"); at != std::string::npos; at = page.find("\r\n<P>", at + 1)) {
      const size_t start = at + 5;
      lines.push_back(page.substr(start, page.find("\r\n", start) - start));
    }
    EXPECT_EQ(lines, c.shown);
    EXPECT_NE(page.find("<TITLE>Green tea &amp; black tea</TITLE>"), std::string::npos);
  }
}

// The page's frame: the document's title (from TitleParagraph on), and a link that searches the list again with the request's
// database, keywords and modes. The desktop reads the page by lines: an optional
// Content-Type line, "<BODY" as written, a last line "</html>".
TEST_F(Marker, FramesTheTextWithTitleAndBackLink) {
  qm::test::write_file(root_ / "prog" / "titles.ini",
                       "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=admin\n"
                       "[INDEX]\n3=1\n[DB-3]\nTitleParagraph=2\nWorkDir=" + (root_ / "db").string() + "\n");
  struct {
    std::string query;
    std::string title;  // "" for no <TITLE> check
    std::string link;   // "" for no link
  } cases[] = {
      {"s=3&i=0&p=tea", "Green tea &amp; black tea", "/cgi-bin/searcher?s=3&amp;p=tea"},
      {"s=3&i=1&p=tea", TONG2 ZI " tea", "/cgi-bin/searcher?s=3&amp;p=tea"},
      {"s=3&i=0&p=tea&d=titles.ini", XU GONG ZHONG WEN ZI " r &lt;tea&gt;",
       "/cgi-bin/searcher?s=3&amp;p=tea&amp;d=" + prog_ + "titles.ini"},
      {"s=3&i=0&p=NULL", "Green tea &amp; black tea", ""},
      {"s=3&i=0&p=%A6P&h=1&f=1&l=1&c=1&k=2", "",
       "/cgi-bin/searcher?s=3&amp;p=%A6P&amp;h=1&amp;f=1&amp;l=1&amp;c=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const std::string page = run(c.query);
    if (!c.title.empty()) {
      EXPECT_NE(page.find("\r\n<TITLE>" + c.title + "</TITLE>\r\n"), std::string::npos) << page;
    }
    const size_t link = page.find("<A HREF=");
    if (c.link.empty()) {
      EXPECT_EQ(link, std::string::npos) << page;
    } else {
      EXPECT_NE(page.find("\r\n<P><A HREF=\"" + c.link + "\">Back to the result list</A>\r\n"), std::string::npos)
          << page;
    }
    EXPECT_EQ(page.rfind("Content-Type: text/html\r\n\r\n", 0), 0u);
    EXPECT_NE(page.find("\r\n<BODY>\r\n"), std::string::npos);
    EXPECT_TRUE(page.ends_with("\r\n</html>\r\n"));
  }
}

TEST_F(Marker, FollowsTheSearchModes) {
  // Homophones only with h=1; the table comes from the program directory.
  EXPECT_NE(run("s=3&i=1&p=%A6P%A6r&h=1").find("<P><B>" TONG2 ZI "</B> tea\r\n"), std::string::npos);
  std::string plain = run("s=3&i=1&p=%A6P%A6r");
  EXPECT_EQ(plain.find("<B>"), std::string::npos);
  // Similar English words only with f=1 (MatchRate 70 by default).
  EXPECT_EQ(run("s=3&i=0&p=grean").find("<B>"), std::string::npos);
  EXPECT_NE(run("s=3&i=0&p=grean&f=1").find("<P><B>Green</B> tea"), std::string::npos);
  // Related words of the lexicon only with l=1, as the search looked for them.
  std::vector<qm::LexiconLine> lines;
  std::string error;
  ASSERT_TRUE(qm::lexicon_read_term_list("1,beverage+1,tea\n", lines, error)) << error;
  ASSERT_TRUE(qm::lexicon_write(prog_ + "LexDB/", lines, error)) << error;
  EXPECT_EQ(run("s=3&i=0&p=beverage").find("<B>"), std::string::npos);
  EXPECT_NE(run("s=3&i=0&p=beverage&l=1").find("<P>Green <B>tea</B> &amp; black <B>tea</B>\r\n"),
            std::string::npos);
  // No keywords: the text unmarked.
  std::string none = run("s=3&i=0&p=NULL");
  EXPECT_NE(none.find("<P>Green tea &amp; black tea\r\n"), std::string::npos);
}

TEST_F(Marker, RefusesRequestsThatNameNoDocument) {
  struct {
    std::string query;
    std::string message;
  } cases[] = {
      {"i=0&p=tea", qm::kMsgBadDatabase},
      {"s=abc&i=0&p=tea", qm::kMsgBadDatabase},
      {"s=70000&i=0&p=tea", qm::kMsgBadDatabase},
      {"s=9&i=0&p=tea", qm::kMsgBadDatabase},     // not in INDEX
      {"s=3&p=tea", qm::kMsgBadDocument},
      {"s=3&i=-1&p=tea", qm::kMsgBadDocument},
      {"s=3&i=2&p=tea", qm::kMsgBadDocument},     // beyond the last document
      {"s=4&i=0&p=tea", qm::kIndexReadError},     // index files missing
  };
  for (const auto& c : cases) {
    std::string message;
    std::string out = run(c.query, &message);
    EXPECT_EQ(message, c.message) << c.query;
    EXPECT_EQ(out.find("<BODY>"), std::string::npos) << c.query;
  }
}

// The built program, copied beside a vesprin.ini of its own, run with only the CGI
// variables in its environment.
TEST_F(Marker, ProgramWritesThePageEndToEnd) {
  const fs::path program = fs::path(QM_DIST_DIR) / "marker";
  ASSERT_TRUE(fs::exists(program)) << program;
  fs::copy_file(program, root_ / "prog" / "marker");
  auto run_program = [&](const std::string& query) {
    qm::ProcessOptions options;
    options.argv = {"/usr/bin/env", "-i", "REQUEST_METHOD=GET", "QUERY_STRING=" + query,
                    (root_ / "prog" / "marker").string()};
    options.timeout_ms = 30000;
    return qm::process_run(options);
  };

  qm::ProcessResult ok = run_program("s=3&p=tea&i=0&h=1&f=1&k=0,1");
  ASSERT_TRUE(ok.exited);
  EXPECT_EQ(ok.exit_code, 0);
  EXPECT_EQ(ok.output.rfind("Content-Type: text/html\r\n\r\n<HTML>\r\n", 0), 0u) << ok.output;
  EXPECT_NE(ok.output.find("<P>Green <B>tea</B> &amp; black <B>tea</B>\r\n"), std::string::npos);
  EXPECT_TRUE(ok.output.ends_with("</BODY>\r\n</html>\r\n")) << ok.output;

  qm::ProcessResult bad = run_program("s=3&p=tea&i=7");
  ASSERT_TRUE(bad.exited);
  EXPECT_EQ(bad.exit_code, 255);
  EXPECT_EQ(bad.output.rfind("Content-Type: text/html\r\n\r\n", 0), 0u) << bad.output;
  EXPECT_NE(bad.output.find(qm::kMsgBadDocument), std::string::npos);
  EXPECT_TRUE(bad.output.ends_with("</html>\r\n")) << bad.output;

  qm::ProcessResult unreadable = run_program("s=4&p=tea&i=0");
  ASSERT_TRUE(unreadable.exited);
  EXPECT_EQ(unreadable.exit_code, 255);
  EXPECT_NE(unreadable.output.find(qm::kIndexReadError), std::string::npos);
  EXPECT_TRUE(unreadable.output.ends_with("</html>\r\n")) << unreadable.output;
}

}  // namespace
