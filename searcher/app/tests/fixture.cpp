// Program directory, databases, process runner and web server of the searcher's tests;
// see fixture.h.
#include "fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "index/index_writer.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace qm::test {
namespace {

void fail(const std::string& what) { throw std::runtime_error(what); }

void link_from_dist(const std::string& name, const std::string& dir) {
  const std::string source = std::string(QM_DIST_DIR) + "/" + name;
  if (!fs::exists(source)) fail("missing " + source + " (build the searcher, templates and langdata)");
  fs::create_symlink(source, dir + name);
}

IndexDocument document(std::string path, int32_t date, std::vector<std::string> paragraphs) {
  IndexDocument d;
  d.path = std::move(path);
  d.date = date;
  for (size_t i = 0; i < paragraphs.size(); ++i)
    d.paragraphs.push_back({static_cast<uint16_t>(i == 0 ? 1 : 0), std::move(paragraphs[i])});
  return d;
}

void write_database(const std::string& dir, const std::vector<IndexDocument>& documents) {
  fs::create_directories(dir);
  IndexWriterOptions options;
  options.sync = false;
  IndexWriter writer(dir, options);
  for (const IndexDocument& d : documents)
    if (!writer.add_document(d)) fail("fixture document rejected: " + writer.error());
  if (!writer.finish()) fail("fixture database: " + writer.error());
}

// Database 1: notes about tea, Chinese and English; seven documents hold "tea", two
// hold "茶" (AF F9).
std::vector<IndexDocument> tea_notes() {
  return {
      document("green.txt", 20010305,
               {"Green tea", "Green tea is picked in spring & steamed <quickly>."}),
      document("black.txt", 20010415,
               {"Black tea", "Black tea is fermented. Tea drinkers in England add milk to their tea."}),
      // Path "tea\許.txt": a "\" separator and 許 (B3 5C), whose second byte is "\".
      document("tea\\\xB3\x5C.txt", 20020101,
               // 茶經 / 茶是中國的飲料。Tea is the drink of China.
               {"\xAF\xF9\xB8\x67",
                "\xAF\xF9\xAC\x4F\xA4\xA4\xB0\xEA\xAA\xBA\xB6\xBC\xAE\xC6\xA1\x43Tea is the drink of China."}),
      // A title paragraph shorter than 3 bytes moves the title on to the next one.
      document("oolong.txt", 20010501, {"..", "Oolong", "Oolong tea is half fermented."}),
      document("long.txt", 20010601,
               {"A long title that goes on and on about the history of tea in Asia",
                "Long ago, before ships and trains carried goods across the seas, merchants walked "
                "the mountain roads with loads on their backs and traded salt, silk and horses for "
                "tea leaves pressed into bricks, which kept for years and could be carried a long "
                "way without harm; later the bricks gave way to loose leaves."}),
      document("herbal.txt", 20010501, {"Herbal tea", "Herbal tea holds no tea leaves at all."}),
      // A tea house (茶館) stands by the river (河).
      document("river.txt", 20020315,
               {"River tea house", "A tea house (\xAF\xF9\xC0\x5D) stands by the river (\xAA\x65)."}),
      // 天氣 today is fine.
      document("weather.txt", 20020401, {"Weather", "\xA4\xD1\xAE\xF0 today is fine."}),
  };
}

// Database 2: pages fetched from the web (HomeUrl "http://").
std::vector<IndexDocument> web_pages() {
  return {
      document("www.example.com/cgi-bin/find.asp_id=5$x.htm", 20030101,
               {"River report", "The river is high today."}),
      document("http://example.org/river.htm", 20030102, {"River walk", "Walk along the river."}),
      document("www.example.com/page.cgi.htm", 20030103, {"River page", "Another river page."}),
      document("www.example.com/a\"b<c>&d.htm", 20030104, {"River \"quoted\" <page>", "The river."}),
  };
}

std::string settings(const std::string& without, const std::string& extra) {
  std::string text = "[VESPRIN]\n";
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"Searcher", "/cgi-bin/searcher"},   {"HomePage", "/index.htm"},
      {"SystemAdm", "admin@example.com"},  {"TmplFirstQuery", "search_result.htm"},
      {"TmplNextQuery", "search_next.htm"}, {"TmplZeroHit", "zero_hit.htm"},
      {"TmplError", "error.htm"},
  };
  for (const auto& [key, value] : keys)
    if (key != without) text += key + "=" + value + "\n";
  return text + extra;
}

std::string databases(const std::string& root) {
  return "[INDEX]\n1=1\n2=1\n3=1\n"
         "[DB-1]\nWorkDir=" + root + "db/tea\nHomeUrl=/docs/\nDescription=Tea notes\nMaxDisplayRows=1\n"
         "[DB-2]\nWorkDir=" + root + "db/web\nHomeUrl=http://\nDescription=Web pages\n"
         "[DB-3]\nWorkDir=" + root + "db/missing\nHomeUrl=/\nDescription=Lost\n";
}

}  // namespace

SearcherSite::SearcherSite() {
  const std::string b = bin();
  fs::create_directories(b);
  for (const char* name : {"searcher", "big5.dat", "big5.ref", "search_result.htm", "search_next.htm",
                           "zero_hit.htm", "error.htm", "desktop_hits.htm"})
    link_from_dist(name, b);
  const std::string dbs = databases(root());
  write_file(b + "vesprin.ini", settings("", dbs));
  write_file(b + "nozero.ini", settings("TmplZeroHit", dbs));
  write_file(b + "plain.ini", settings("TmplError", dbs));
  write_file(b + "notmpl.ini", settings("TmplFirstQuery", "TmplFirstQuery=missing.htm\n" + dbs));
  write_file(b + "nosearcher.ini", settings("Searcher", dbs));
  write_file(b + "forward.ini", settings("", "ActivePage=http://127.0.0.1:1/search\n" + dbs));
  write_file(b + "desktop.ini", settings("TmplNextQuery", "TmplNextQuery=desktop_hits.htm\n" + dbs));
  write_database(root() + "db/tea/", tea_notes());
  write_database(root() + "db/web/", web_pages());

  // A second program directory whose searcher forwards every query (write_forwarder).
  fs::create_directories(root() + "fwd");
  for (const char* name : {"searcher", "big5.dat", "big5.ref", "error.htm"})
    link_from_dist(name, root() + "fwd/");

  fs::create_directories(www() + "docs");
  // The home page as an installation makes it: the template with the searcher's address
  // of vesprin.ini put in by quillmere-setup.
  for (const char* page : {"index.htm", "sysadm.htm"})
    fs::copy_file(std::string(QM_DIST_DIR) + "/" + page, www() + page);
  std::string setup_output;
  if (command_output(std::string(QM_DIST_DIR) + "/quillmere-setup ModifyHomePage '" + b + "vesprin.ini," +
                         www() + "' 2>&1",
                     setup_output) != 0)
    fail("quillmere-setup could not make the home page: " + setup_output);
  for (const IndexDocument& d : tea_notes()) {
    std::string text;
    for (const IndexParagraph& p : d.paragraphs) text += p.text + "\n\n";
    const std::string name = path_backslash_to_slash(d.path);
    fs::create_directories(fs::path(www() + "docs/" + name).parent_path());
    write_file(www() + "docs/" + name, text);
  }
}

void SearcherSite::write_forwarder(int port) const {
  write_file(root() + "fwd/vesprin.ini",
             settings("", "ActivePage=http://127.0.0.1:" + std::to_string(port) + "/cgi-bin/searcher\n" +
                              databases(root())));
}

RunResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      const std::string& input) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) || pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC))
    fail("pipe failed");
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) fail("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  if (input.empty()) close(in_pipe[1]), in_pipe[1] = -1;

  RunResult r;
  pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {in_pipe[1], POLLOUT, 0}};
  int open_outputs = 2;
  char buffer[65536];
  while (open_outputs > 0) {
    const nfds_t n = in_pipe[1] >= 0 ? 3 : 2;
    // A program silent for two minutes is taken as hung (Chromium on a busy machine can
    // stay silent for many seconds before it writes the page).
    if (poll(fds, n, 120000) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? r.out : r.err).append(buffer, static_cast<size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_outputs;
      }
    }
    if (in_pipe[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t put = write(in_pipe[1], input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<size_t>(put);
      if (put <= 0 || written == input.size()) {
        close(in_pipe[1]);
        in_pipe[1] = -1;
      }
    }
  }
  for (int i = 0; i < 2; ++i)
    if (fds[i].fd >= 0) close(fds[i].fd);
  if (in_pipe[1] >= 0) close(in_pipe[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  return r;
}

int free_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(s);
    fail("no free port");
  }
  const int port = ntohs(a.sin_port);
  close(s);
  return port;
}

namespace {

bool port_answers(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

}  // namespace

WebServer::WebServer(const SearcherSite& site) {
  port_ = free_port();
  const std::string conf = site.root() + "lighttpd.conf";
  write_file(conf,
             "server.modules = (\"mod_alias\", \"mod_access\", \"mod_cgi\")\n"
             "server.document-root = \"" + site.www() + "\"\n"
             "server.bind = \"127.0.0.1\"\n"
             "server.port = " + std::to_string(port_) + "\n"
             "server.errorlog = \"" + site.root() + "lighttpd.log\"\n"
             "index-file.names = (\"index.htm\")\n"
             "mimetype.assign = (\".htm\" => \"text/html; charset=big5\", "
             "\".txt\" => \"text/plain; charset=big5\")\n"
             "alias.url = (\"/cgi-bin/searcher\" => \"" + site.program() + "\", "
             "\"/cgi-bin/forwarder\" => \"" + site.root() + "fwd/searcher\")\n"
             "cgi.assign = (\"/searcher\" => \"\")\n"
             // The default URL normalisation answers 400 ("invalid character in URI") to
             // the %XX escapes of Big5 bytes that Big5 forms send.
             "server.http-parseopts = (\"url-normalize\" => \"disable\")\n");
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execl("/usr/sbin/lighttpd", "lighttpd", "-D", "-f", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200 && pid_ > 0; ++i) {
    if (port_answers(port_)) {
      started_ = true;
      break;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    usleep(20000);
  }
  if (!started_) log_ = read_file(site.root() + "lighttpd.log");
}

WebServer::~WebServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 250; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) return;
    usleep(20000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
}

std::string WebServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

RunResult curl(const std::string& url, bool include_headers, const std::string* post) {
  std::vector<std::string> argv = {"/usr/bin/curl", "-sS", "--max-time", "20", "--noproxy", "*"};
  if (include_headers) argv.push_back("-i");
  if (post) {
    argv.push_back("--data-binary");
    argv.push_back(*post);
  }
  argv.push_back(url);
  return run_program(argv, {"PATH=/usr/bin:/bin"});
}

}  // namespace qm::test
