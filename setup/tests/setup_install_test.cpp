// End to end: an installation with quillmere-setup on a web site of its own. The test
// lays out a web root and a script root with the program directory cgi-bin/qm (searcher,
// indexer, language data, and an index of samples/ built by the real indexer), writes a
// lighttpd configuration in Debian's form, runs `quillmere-setup install`, serves the
// site with lighttpd on loopback, fetches the rewritten home page with curl and submits
// its search form with a Big5 word.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::command_output;
using test::read_file;
using test::TempDir;
using test::write_file;

int free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

bool port_answers(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

// lighttpd -D on a configuration, stopped by its process id.
class Server {
 public:
  Server(const std::string& conf, int port) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl("/usr/sbin/lighttpd", "lighttpd", "-D", "-f", conf.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 250 && pid_ > 0; ++i) {
      if (port_answers(port)) {
        started_ = true;
        break;
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      ::usleep(20000);
    }
  }
  ~Server() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  bool started() const { return started_; }

 private:
  pid_t pid_ = -1;
  bool started_ = false;
};

void link_from_dist(const std::string& name, const std::string& dir) {
  fs::create_symlink(std::string(QM_DIST_DIR) + "/" + name, dir + name);
}

TEST(SetupInstall, TheInstalledHomePageSearches) {
  TempDir site("qm-setup-site-");
  const std::string www = site.sub("www");
  const std::string qm = site.sub("cgi-bin/qm");
  for (const char* name : {"searcher", "indexer", "libpaglet.so", "big5.dat", "big5.ref", "phrase-2.txt",
                           "phrase-3.txt", "phrase-4.txt", "LexDB"})
    link_from_dist(name, qm);
  fs::create_symlink(QM_SOURCE_DIR "/samples", www + "docs");
  // The databases, written before the installation adds its keys.
  write_file(qm + "vesprin.ini",
             "[VESPRIN]\nContentType=text/html; charset=big5\nParaPerPage=10\n"
             "TmplNextQuery=" + www + "search/search_next.htm\nTmplZeroHit=" + www + "search/zero_hit.htm\n"
             "\n[INDEX]\n1=1\n\n[DB-1]\nHtmlDir=" QM_SOURCE_DIR "/samples\nWorkDir=" + site.sub("db") +
             "\nHomeUrl=/docs/\nDescription=Samples\nLocalFileType=htm,html,txt\n");
  std::string out;
  ASSERT_EQ(command_output("cd '" + qm + "' && ./indexer -w0 -f10 -x1 2>&1", out), 0) << out;
  ASSERT_TRUE(fs::exists(site.path() + "db/cross.db")) << out;

  // Debian's form: the CGI alias inside an $HTTP["url"] block, through an include.
  const int port = free_port();
  const std::string conf = site / "lighttpd.conf";
  site.sub("conf-enabled");
  write_file(conf,
             "server.modules = (\"mod_indexfile\", \"mod_access\", \"mod_alias\")\n"
             "server.document-root = \"" + www + "\"\n"
             "server.bind = \"127.0.0.1\"\nserver.port = " + std::to_string(port) + "\n"
             "server.errorlog = \"" + site.path() + "lighttpd.log\"\n"
             "index-file.names = (\"index.htm\")\n"
             "mimetype.assign = (\".htm\" => \"text/html\", \".txt\" => \"text/plain; charset=big5\")\n"
             "server.http-parseopts = (\"url-normalize\" => \"disable\")\n"
             "include \"conf-enabled/*.conf\"\n");
  write_file(site.path() + "conf-enabled/10-cgi.conf",
             "server.modules += ( \"mod_cgi\" )\n"
             "$HTTP[\"url\"] =~ \"^/cgi-bin/\" {\n\tcgi.assign = ( \"\" => \"\" )\n"
             "\talias.url += ( \"/cgi-bin/\" => \"" + site.path() + "cgi-bin/\" )\n}\n");

  out.clear();
  ASSERT_EQ(command_output("QUILLMERE_LIGHTTPD_CONF='" + conf + "' " QM_DIST_DIR "/quillmere-setup install 2>&1", out), 0)
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("^http://[^/]+/search/index\\.htm\n$"))) << out;
  const std::string ini = read_file(qm + "vesprin.ini");
  EXPECT_NE(ini.find("Searcher=/cgi-bin/qm/searcher\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("TmplFirstQuery=" + www + "search/search_result.htm\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[DB-1]"), std::string::npos) << ini;

  Server server(conf, port);
  ASSERT_TRUE(server.started()) << read_file(site.path() + "lighttpd.log");
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  std::string page;
  ASSERT_EQ(command_output("curl -sS " + base + "/search/index.htm", page), 0);
  std::smatch action;
  ASSERT_TRUE(std::regex_search(page, action, std::regex("<form id=search action=\"([^\"]*)\""))) << page;
  EXPECT_EQ(action[1].str(), "/cgi-bin/qm/searcher");
  EXPECT_EQ(page.find("<!%"), std::string::npos);
  std::string admin;
  ASSERT_EQ(command_output("curl -sS " + base + "/search/sysadm.htm", admin), 0);
  EXPECT_NE(admin.find("href=\"/cgi-bin/qm/sysadm\""), std::string::npos) << admin;

  // The form as a browser sends it: its hidden fields and 茶 (tea) in Big5.
  std::string query;
  std::regex hidden("<input type=hidden name=(\\w+) value=\"([^\"]*)\">");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), hidden); it != std::sregex_iterator(); ++it)
    query += (*it)[1].str() + "=" + (*it)[2].str() + "&";
  query += "p=%AF%F9&o=2";
  std::string result;
  ASSERT_EQ(command_output("curl -sS '" + base + action[1].str() + "?" + query + "'", result), 0);
  std::smatch hits;
  ASSERT_TRUE(std::regex_search(result, hits, std::regex("<b>([0-9]+)</b> hits for"))) << result.substr(0, 2000);
  EXPECT_GT(std::stoi(hits[1].str()), 0);
}

}  // namespace
}  // namespace qm
