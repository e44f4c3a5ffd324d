// Fixture of the searcher's program tests: a program directory of its own (the searcher
// program, homophone tables and templates linked from dist, configuration files and
// small index databases written with the index writer), a runner that starts the real
// program with a given CGI environment and standard input, and a lighttpd server on
// loopback that runs it as a CGI program.
#pragma once
#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

#include "testsupport/test_files.h"

namespace qm::test {

// The program directory of the tests: <root>bin/ holds searcher (a link to dist's),
// big5.dat, big5.ref, the templates and these configuration files:
//   vesprin.ini     databases 1 (tea notes), 2 (web pages), 3 (index files missing);
//                   every template set
//   nozero.ini      without TmplZeroHit
//   plain.ini       without TmplError
//   notmpl.ini      TmplFirstQuery names a missing file
//   nosearcher.ini  without the required key Searcher
//   forward.ini     ActivePage names a closed port of this computer
//   desktop.ini     TmplNextQuery is the desktop's hit-line template
// <root>www/ holds the home page (index.htm) for the web server, and the documents
// of database 1 under docs/.
class SearcherSite {
 public:
  SearcherSite();
  const std::string& root() const { return dir_.path(); }
  std::string bin() const { return root() + "bin/"; }
  std::string www() const { return root() + "www/"; }
  std::string program() const { return bin() + "searcher"; }
  // <root>fwd/ holds a second searcher whose vesprin.ini sends every query on to the
  // searcher at /cgi-bin/searcher of 127.0.0.1:port (ActivePage).
  void write_forwarder(int port) const;

 private:
  TempDir dir_{"qm-searcher-"};
};

struct RunResult {
  int exit_code = -1;  // -1 when it did not end by exit()
  std::string out;
  std::string err;
};

// Runs program with exactly the given environment (NAME=value entries, nothing
// inherited) and input on its standard input.
RunResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      const std::string& input = {});

// A free TCP port on 127.0.0.1 (bound and released).
int free_port();

// lighttpd serving site.www() on 127.0.0.1:port, with the searcher as CGI program at
// /cgi-bin/searcher (and the forwarding one of <root>fwd/ at /cgi-bin/forwarder). Started by the constructor (started() tells whether it answers),
// stopped by its process id in the destructor.
class WebServer {
 public:
  explicit WebServer(const SearcherSite& site);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;
  bool started() const { return started_; }
  int port() const { return port_; }
  std::string url(const std::string& path) const;
  const std::string& log() const { return log_; }

 private:
  int port_ = 0;
  pid_t pid_ = -1;
  bool started_ = false;
  std::string log_;
};

// curl's output (body, or headers and body with include_headers) for a GET of url, or a
// POST of body when post is set.
RunResult curl(const std::string& url, bool include_headers = false, const std::string* post = nullptr);

}  // namespace qm::test
