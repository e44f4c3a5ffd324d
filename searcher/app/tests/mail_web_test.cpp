// A mail database behind the web server: the real indexer builds it through
// libpostbridge.so from a small mailbox, lighttpd runs the searcher, and the result page
// shows a mail hit by its subject and date with a link to its marked text; marker then
// shows the ranges of the message the desktop asks for.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fixture.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SearcherMailWeb, MailHitsShowSubjectDateAndMarkerLink) {
  SearcherSite site;
  const std::string build_dir = site.root() + "mailbin/", work = site.root() + "db/mail/";
  const std::string box = site.root() + "inbox.mbox";
  fs::create_directories(build_dir);
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", build_dir + "indexer");
  std::ofstream(box, std::ios::binary)
      << "From - Mon Mar 13 10:00:00 2000\nFrom: Other Person <o@x.tw>\n"
         "Subject: nothing here\nDate: Mon, 13 Mar 2000 10:00:00 +0800\n\nplain words\n\n"
         "From - Tue Mar 14 10:00:00 2000\nFrom: Zed Sendword <z@x.tw>\n"
         "Subject: the subjword note\nDate: Tue, 14 Mar 2000 10:00:00 +0800\n\n"
         "the bodyword text\n\n";
  const std::string db = "[DB-4]\nWorkDir=" + work + "\nHtmlDir=" + box + "\nMail=1\nDescription=Inbox\n"
                         "DataInputPort=" + std::string(QM_DIST_DIR) + "/postbridge.dll;" + box + ";" + work + "\n";
  std::ofstream(build_dir + "vesprin.ini") << "[VESPRIN]\n[INDEX]\n4=1\n" << db;
  const RunResult built = run_program({build_dir + "indexer", "-ncl", "-w0", "-f10", "-x4"}, {});
  ASSERT_TRUE(contains(built.out, "\x1A\x1A")) << built.out << built.err;

  // The site's configuration with the mail database added, chosen by d.
  std::string ini = slurp(site.bin() + "vesprin.ini");
  ini.replace(ini.find("[INDEX]\n"), 8, "[INDEX]\n4=1\n");
  std::ofstream(site.bin() + "mail.ini") << ini << db;

  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();
  const RunResult page = curl(server.url("/cgi-bin/searcher?s=4&p=bodyword&d=mail.ini"));
  ASSERT_EQ(page.exit_code, 0) << page.err;
  EXPECT_TRUE(contains(page.out, "<b>1</b> hits")) << page.out;
  const std::string marker = "/cgi-bin/marker?s=4&amp;p=bodyword&amp;i=1&amp;d=mail.ini";
  EXPECT_TRUE(contains(page.out, "<a class=title href=\"" + marker + "\">the subjword note</a>")) << page.out;
  EXPECT_TRUE(contains(page.out, "2000/03/14")) << page.out;

  // marker over the same database: the whole message, then the body alone (k=2).
  fs::create_symlink(std::string(QM_DIST_DIR) + "/marker", site.bin() + "marker");
  auto mark = [&](const std::string& k) {
    return run_program({site.bin() + "marker"},
                       {"REQUEST_METHOD=GET", "QUERY_STRING=s=4&p=bodyword&i=1&d=mail.ini" + k});
  };
  const RunResult whole = mark("");
  EXPECT_TRUE(contains(whole.out, "<P>the subjword note\r\n")) << whole.out;
  EXPECT_TRUE(contains(whole.out, "<P>Zed Sendword {z@x.tw}\r\n")) << whole.out;
  const RunResult body = mark("&k=2");
  EXPECT_FALSE(contains(body.out, "<P>the subjword note")) << body.out;
  EXPECT_FALSE(contains(body.out, "Sendword")) << body.out;
  EXPECT_TRUE(contains(body.out, "bodyword")) << body.out;
}

}  // namespace
}  // namespace qm::test
