// The searcher program run as a web server runs it (only the CGI variables in its
// environment) over the fixture databases: every page must equal its golden file byte
// for byte, and the exit code must be the one of the table. The program directory's path
// appears in pages that carry d; it is written "@DIR@" in the golden files.
//
// QM_UPDATE_GOLDEN=1 rewrites the golden files from the program's output (then read
// them: they are the reference only once checked by hand).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fixture.h"

namespace qm::test {
namespace {

struct Case {
  const char* name;
  std::vector<std::string> env;  // besides nothing: the run sees only these
  std::string body;              // standard input
  int exit_code;
};

std::string golden_path(const std::string& name) {
  return std::string(QM_SOURCE_DIR) + "/searcher/app/tests/golden/" + name + ".out";
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> get(const std::string& query) {
  return {"REQUEST_METHOD=GET", "QUERY_STRING=" + query};
}

TEST(SearcherGolden, PagesAndExitCodes) {
  SearcherSite site;
  const std::string post_body = "s=1&p=%AF%F9&h=1&f=1";  // p = 茶 (AF F9) as a Big5 form sends it
  const std::vector<Case> cases = {
      // Result pages.
      {"first_page", get("s=1&p=tea&a=5"), "", 0},
      {"next_page", get("s=1&p=tea&a=5&b=6"), "", 0},
      {"page_start_out_of_range", get("s=1&p=tea&a=5&b=99"), "", 0},
      {"zero_hit", get("s=1&p=coffee"), "", 0},
      {"zero_hit_first_template", get("s=1&p=coffee&d=nozero.ini"), "", 0},
      {"post_big5", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=" + std::to_string(post_body.size())},
       post_body, 0},
      {"titles_only", get("s=1&p=tea&t=1"), "", 0},
      {"property_range", get("s=1&z=20010101%2C20011231&o=3"), "", 0},
      {"group_by_date", get("s=1&p=tea&m=1"), "", 0},
      {"web_addresses", get("s=2&p=river&l=1&g=7"), "", 0},
      {"reflected_values", get("s=1&p=%3Cb%3Etea%22&l=1&c=%22%3E%3Cx&g=a%22b&o=%22"), "", 0},
      {"two_databases", get("s=2,1&p=river"), "", 0},
      // The desktop's hit lines (it always sends a and b), and its "No keyword" page.
      {"desktop_hits", get("s=1&h=1&f=1&a=3&b=1&p=tea&d=desktop.ini"), "", 0},
      {"desktop_no_keyword", get("s=1&a=3&b=1&p=&d=desktop.ini"), "", 255},
      // Failures while the CGI input is read: plain text after the header.
      {"no_request_method", {"QUERY_STRING=s=1&p=tea"}, "", 255},
      {"get_without_query", {"REQUEST_METHOD=get"}, "", 255},
      {"post_empty", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=0"}, "", 255},
      {"post_too_long", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=2000"}, "", 255},
      {"post_short_body", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=20"}, "s=1&p=tea", 255},
      {"query_too_long", get("s=1&p=" + std::string(1020, 'a')), "", 255},
      // Failures of the request: the error template.
      {"no_database", get("p=tea"), "", 255},
      {"no_keyword", get("s=1"), "", 255},
      {"unknown_database", get("s=9&p=tea"), "", 255},
      {"invalid_keyword", get("s=1&p=%2B-%2B"), "", 255},
      {"outside_big5", get("s=1&p=%26%2323398%3B"), "", 255},  // 学 as a Big5 form sends it
      {"index_files_missing", get("s=3&p=tea"), "", 255},
      {"no_error_template", get("p=tea&d=plain.ini"), "", 255},
      {"configuration_key_missing", get("s=1&p=tea&d=nosearcher.ini"), "", 255},
      // Ordinary ends without a page of the program's own.
      {"template_missing", get("s=1&p=tea&d=notmpl.ini"), "", 0},
      {"forward_fails", get("s=1&p=tea&d=forward.ini"), "", 0},
  };

  const bool update = std::getenv("QM_UPDATE_GOLDEN") != nullptr;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = run_program({site.program()}, c.env, c.body);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const std::string page = replace_all(r.out, site.bin(), "@DIR@");
    if (update) {
      write_file(golden_path(c.name), page);
      continue;
    }
    const std::string golden = read_file(golden_path(c.name));
    ASSERT_FALSE(golden.empty()) << "no golden file " << golden_path(c.name);
    EXPECT_EQ(page, golden);
  }
}

// A Big5 form sends a character that Big5 lacks as a character reference; such keywords
// are refused with a message instead of being searched as the reference's digits. A
// reference to a character Big5 has, and a bare "&", are searched as typed.
TEST(SearcherGolden, CharactersOutsideBig5AreRefused) {
  SearcherSite site;
  const struct {
    const char* p;
    bool refused;
  } cases[] = {
      {"%26%2323398%3B", true},          // 学 (simplified)
      {"tea+%26%2323398%3B", true},      // mixed with a word Big5 has
      {"%AF%F9%26%23x5B66%3B", true},    // 茶 and 学 as a hexadecimal reference
      {"%26%23128512%3B", true},         // an emoji
      {"%26%2399999999999%3B", true},    // past the last code point
      {"%26%2333590%3B", false},         // 茶 written as a reference
      {"AT%26T+%26%23+%26%2312x", false},  // "&" and "&#" that begin no reference
      {"%AF%F9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.p);
    const RunResult r = run_program({site.program()}, get(std::string("s=1&p=") + c.p));
    const bool said = r.out.find("<p id=error>Only characters in Big5 (traditional Chinese) can be searched !</p>") !=
                      std::string::npos;
    EXPECT_EQ(said, c.refused) << r.out;
    EXPECT_EQ(r.exit_code, c.refused ? 255 : 0) << r.out;
  }
}

// The configuration path d is taken only inside the program directory: a file outside
// it leaves the default configuration, and d is not carried on.
TEST(SearcherGolden, ConfigurationOutsideProgramDirectoryIsIgnored) {
  SearcherSite site;
  write_file(site.root() + "outside.ini", "[VESPRIN]\nSearcher=/evil\nHomePage=/\nSystemAdm=x\n");
  for (const std::string& d : {site.root() + "outside.ini", std::string("../outside.ini")}) {
    const RunResult r = run_program({site.program()}, get("s=1&p=tea&d=" + d));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("action=\"/cgi-bin/searcher\""), std::string::npos);
    EXPECT_EQ(r.out.find("/evil"), std::string::npos);
    EXPECT_EQ(r.out.find("NAME=d"), std::string::npos);
  }
}

// A homophone search without its tables ends with the table's message as plain text
// after the header (not the error template), exit code 255; without h the tables are
// not needed.
TEST(SearcherGolden, MissingHomophoneTablesGiveThePlainTextMessage) {
  const struct {
    const char* table;
    std::string message;
  } cases[] = {
      // "同音索引檔讀入失敗!!"
      {"big5.ref", "\xA6\x50\xAD\xB5\xAF\xC1\xA4\xDE\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!"},
      // "同音字元集檔讀入失敗!!"
      {"big5.dat", "\xA6\x50\xAD\xB5\xA6\x72\xA4\xB8\xB6\xB0\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    SearcherSite site;
    std::filesystem::remove(site.bin() + c.table);
    const RunResult r = run_program({site.program()}, get("s=1&p=%AF%F9&h=1"));  // 茶
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, "Content-Type: text/html\r\n\r\n" + c.message + "\n");
    EXPECT_EQ(run_program({site.program()}, get("s=1&p=%AF%F9")).exit_code, 0);
  }
}

// Near-concept search through the LexDB built from WordNet: "beverage" alone is in no
// document, but with l=1 it also searches its synonym "drink", and the page marks the
// synonym in the abstract.
TEST(SearcherGolden, LexiconFindsSynonyms) {
  SearcherSite site;
  std::filesystem::create_directory_symlink(std::string(QM_DIST_DIR) + "/LexDB", site.bin() + "LexDB");
  const RunResult plain = run_program({site.program()}, get("s=1&p=beverage"));
  EXPECT_EQ(plain.exit_code, 0);
  EXPECT_NE(plain.out.find("No document"), std::string::npos) << plain.out;
  const RunResult near = run_program({site.program()}, get("s=1&p=beverage&l=1"));
  EXPECT_EQ(near.exit_code, 0) << near.err;
  EXPECT_NE(near.out.find("<FONT COLOR=#FF0000>drink</FONT> of China"), std::string::npos) << near.out;
  // The page shows the keywords as the user gave them, not the expansion.
  EXPECT_NE(near.out.find("for <b>beverage</b>"), std::string::npos) << near.out;
}

// The desktop application runs the searcher with b and reads the lines of the next-query
// template by their first characters (line ends LF, CR LF or CR; the output ends with
// "</HTML>"). A template written for it gives the hit count, the page start and one
// group of S lines per hit; the marker link of S6 yields the database id (after its
// last "?"), the marker query (after its first "?") and the document number (after its
// last "&"), so it must reach the page unescaped.
TEST(SearcherGolden, NextQueryTemplateGivesTheDesktopHitLines) {
  SearcherSite site;
  write_file(site.bin() + "hitlines.htm",
             "<HTML><BODY>\n"
             "HIT_NUMBER <!%HIT_NUMBER%!>\n"
             "START_ITEM <!%START_ITEM%!>\n"
             "<!% T_Loop 100 NOT_SKIP_ALL %!>\n"
             "S1 <!%REC_NO%!>\n"
             "S2 <!%REC_SOURCE_URL%!>\n"
             "S3 <!%REC_TITLE%!>\n"
             "S4 <!%REC_SCORE%!>\n"
             "S5 <!%REC_SCRIPT%!>"  // the abstract ends with its own line end
             "S6 <!%REC_MARKER%!>\n"
             "<!% /T_Loop %!>\n"
             "</BODY></HTML>");
  std::string ini = read_file(site.bin() + "vesprin.ini");
  const std::string from = "TmplNextQuery=search_next.htm";
  ini.replace(ini.find(from), from.size(), "TmplNextQuery=hitlines.htm");
  write_file(site.bin() + "vesprin.ini", ini);

  // The request as the desktop builds it: ids, rows per page, page start, keywords.
  const RunResult r = run_program({site.program()}, get("s=1&a=5&b=6&p=tea"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GE(r.out.size(), 7u);
  EXPECT_EQ(r.out.substr(r.out.size() - 7), "</HTML>");

  struct Row {
    std::string caption, name, title, count, brief, query;
    long database = 0, document = 0;
  };
  std::map<std::string, std::string> figures;
  std::vector<Row> rows;
  for (size_t at = 0; at < r.out.size();) {
    const size_t end = std::min(r.out.find_first_of("\r\n", at), r.out.size());
    const std::string line = r.out.substr(at, end - at);
    at = end + (r.out.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    const std::string tag = line.substr(0, 2);
    const std::string value = line.size() > 3 ? line.substr(3) : "";
    if (line.rfind("HIT_NUMBER", 0) == 0 || line.rfind("START_ITEM", 0) == 0)
      figures[line.substr(0, 10)] = line.substr(11);
    if (tag == "S1") rows.emplace_back().caption = value;
    if (rows.empty()) continue;
    Row& row = rows.back();
    if (tag == "S2") row.name = value;
    if (tag == "S3") row.title = value;
    if (tag == "S4") row.count = value;
    if (tag == "S5") row.brief = value;
    if (tag == "S6") {
      row.database = std::atol(value.c_str() + value.rfind('?') + 3);
      row.query = value.substr(value.find('?') + 1);
      row.document = std::atol(value.c_str() + value.rfind('&') + 3);
    }
  }
  EXPECT_EQ(figures["HIT_NUMBER"], "7");
  EXPECT_EQ(figures["START_ITEM"], "6");
  ASSERT_EQ(rows.size(), 2u) << r.out;
  EXPECT_EQ(rows[0].caption, "6");
  EXPECT_EQ(rows[0].name, "/docs/herbal.txt");
  EXPECT_EQ(rows[0].title, "Herbal tea");
  EXPECT_EQ(rows[0].count, "3");
  EXPECT_EQ(rows[0].brief,
            "Herbal <FONT COLOR=#FF0000>tea</FONT> holds no <FONT COLOR=#FF0000>tea</FONT> leaves at all.<BR>");
  EXPECT_EQ(rows[0].query, "s=1&p=tea&i=5");
  EXPECT_EQ(rows[0].database, 1);
  EXPECT_EQ(rows[0].document, 5);
  EXPECT_EQ(rows[1].caption, "7");
  EXPECT_EQ(rows[1].query, "s=1&p=tea&i=6");
  EXPECT_EQ(rows[1].database, 1);
  EXPECT_EQ(rows[1].document, 6);
}

// A page template or configuration file named as a device or a FIFO is refused at once:
// never read without end (/dev/zero) nor waited on (a FIFO without a writer).
TEST(SearcherGolden, TemplatesAndConfigurationsThatAreNoRegularFilesAreRefused) {
  SearcherSite site;
  ASSERT_EQ(mkfifo((site.bin() + "fifo.htm").c_str(), 0600), 0);
  const std::string ini = read_file(site.bin() + "vesprin.ini");
  for (const std::string tmpl : {"/dev/zero", "fifo.htm"}) {
    SCOPED_TRACE(tmpl);
    write_file(site.bin() + "device.ini",
               replace_all(ini, "TmplFirstQuery=search_result.htm", "TmplFirstQuery=" + tmpl));
    RunResult r = run_program({site.program()}, get("s=1&p=tea&d=device.ini"));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Template file is not found !"), std::string::npos) << r.out;
    // The error template likewise: the plain message is written instead.
    write_file(site.bin() + "device.ini", replace_all(ini, "TmplError=error.htm", "TmplError=" + tmpl));
    r = run_program({site.program()}, get("s=9&p=tea&d=device.ini"));
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_LT(r.out.size(), 4096u) << r.out.substr(0, 200);
  }
  // vesprin.ini itself a FIFO: the run ends with the configuration error.
  ASSERT_EQ(unlink((site.bin() + "vesprin.ini").c_str()), 0);
  ASSERT_EQ(mkfifo((site.bin() + "vesprin.ini").c_str(), 0600), 0);
  const RunResult r = run_program({site.program()}, get("s=1&p=tea"));
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(r.out.find("Fail to open INI file!"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace qm::test
