// searcher_process_bench: the searcher program end to end, one process per query as a
// web server runs it (process start, configuration, index open, search, page), over a
// database built from a folder of text files (samples/ by default). Prints the median
// and the spread of the wall time per query.
//
// Usage: searcher_process_bench [--runs N] [--folder DIR] [--dist DIR]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "index/index_writer.h"
#include "index/tools/text_folder.h"

namespace fs = std::filesystem;

namespace {

struct Query {
  const char* label;
  std::string query_string;
};

// Runs the program once with only the CGI variables in its environment; its page is
// read and thrown away. Returns the exit code, or -1.
int run_once(const std::string& program, const std::string& query_string) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::string method = "REQUEST_METHOD=GET";
  std::string query = "QUERY_STRING=" + query_string;
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  char* envp[] = {method.data(), query.data(), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return -1;
  }
  char buffer[65536];
  while (read(out[0], buffer, sizeof buffer) > 0) {
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool build_site(const std::string& dir, const std::string& dist, const std::string& folder) {
  fs::create_directories(dir + "db");
  for (const char* name : {"searcher", "big5.dat", "big5.ref", "search_result.htm",
                           "search_next.htm", "zero_hit.htm", "error.htm"}) {
    std::error_code ec;
    fs::create_symlink(dist + "/" + name, dir + name, ec);
    if (ec) {
      std::fprintf(stderr, "cannot link %s/%s: %s\n", dist.c_str(), name, ec.message().c_str());
      return false;
    }
  }
  qm::IndexWriterOptions options;
  options.sync = false;
  qm::IndexWriter writer(dir + "db/", options);
  for (const std::string& relative : qm::text_folder_files(folder)) {
    qm::IndexDocument doc;
    if (qm::text_file_document(folder, relative, doc)) writer.add_document(doc);
  }
  if (writer.failed() || !writer.finish()) {
    std::fprintf(stderr, "index: %s\n", writer.error().c_str());
    return false;
  }
  std::ofstream ini(dir + "vesprin.ini");
  ini << "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/index.htm\nSystemAdm=admin\n"
         "TmplFirstQuery=search_result.htm\nTmplNextQuery=search_next.htm\n"
         "TmplZeroHit=zero_hit.htm\nTmplError=error.htm\n"
         "[INDEX]\n1=1\n[DB-1]\nWorkDir=" << dir << "db\nHomeUrl=/docs/\nDescription=Bench\n";
  return static_cast<bool>(ini);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 31;
  std::string folder = std::string(QM_SOURCE_DIR) + "/samples";
  std::string dist = QM_DIST_DIR;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    else if (std::strcmp(argv[i], "--folder") == 0) folder = argv[i + 1];
    else if (std::strcmp(argv[i], "--dist") == 0) dist = argv[i + 1];
  }

  std::string dir = (fs::temp_directory_path() / "qm-searcher-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  dir += "/";
  if (!build_site(dir, dist, folder)) {
    fs::remove_all(dir);
    return 1;
  }
  const std::string program = dir + "searcher";

  const std::vector<Query> queries = {
      {"english word", "s=1&p=tea"},
      {"english, next page", "s=1&p=tea&a=5&b=6"},
      {"chinese word (tea)", "s=1&p=%AF%F9"},
      {"chinese, homophones", "s=1&p=%AF%F9&h=1"},
      {"two words, and", "s=1&p=river+weather"},
      {"zero hits", "s=1&p=zzzzqx"},
      {"error page", "p=tea"},
  };

  std::printf("searcher end to end, %d runs per query (median / min / max, ms)\n", runs);
  for (const Query& q : queries) {
    std::vector<double> ms;
    int code = 0;
    for (int r = 0; r < runs; ++r) {
      const auto start = std::chrono::steady_clock::now();
      code = run_once(program, q.query_string);
      const auto end = std::chrono::steady_clock::now();
      ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-22s exit %3d  %8.3f  %8.3f  %8.3f\n", q.label, code, ms[ms.size() / 2],
                ms.front(), ms.back());
  }
  fs::remove_all(dir);
  return 0;
}
