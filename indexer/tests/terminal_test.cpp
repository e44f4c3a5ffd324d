// The program `indexer` as a person meets it and with hostile input: at a terminal (a
// pseudo-terminal here) it shows a progress bar and a summary instead of the protocol
// lines; with no or unknown arguments it gives its usage text and exit code 2; words
// parted only by a control byte or a stray byte stay apart in the index; links that lead
// out of the document folder are not followed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "index/index_reader.h"
#include "indexer/terminal_progress.h"
#include "testsupport/test_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class IndexerPersonTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(bin_);
    fs::create_directories(docs_);
    fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin_ + "indexer");
    qm::test::write_file(bin_ + "vesprin.ini", "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" + docs_ +
                                                   "\nWorkDir=" + tmp_.path() + "db\n");
  }

  // Through pipes: standard error apart from standard output (into a file), or merged
  // into it.
  Outcome piped(const std::vector<std::string>& args, bool merge = false) {
    std::string command = bin_ + "indexer";
    for (const std::string& a : args) command += " '" + a + "'";
    command += merge ? " 2>&1" : " 2>" + tmp_.path() + "stderr";
    command += " </dev/null";
    Outcome run;
    const int status = qm::test::command_output(command, run.out);
    EXPECT_TRUE(WIFEXITED(status));
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!merge) run.err = qm::test::read_file(tmp_.path() + "stderr");
    return run;
  }

  // With standard output and standard error on a pseudo-terminal 100 columns wide.
  Outcome at_terminal(const std::vector<std::string>& args) {
    Outcome run;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    struct winsize ws {};
    ws.ws_col = 100;
    ws.ws_row = 30;
    ioctl(master, TIOCSWINSZ, &ws);
    const std::string slave = ptsname(master);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, slave.c_str(), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> argv = {bin_ + "indexer"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Read until the terminal closes (EIO once the program and its children are gone).
    char buffer[4096];
    for (;;) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 60000) <= 0) break;
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      run.out.append(buffer, size_t(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  qm::test::TempDir tmp_{"qm-indexer-person-"};
  std::string bin_ = tmp_.path() + "bin/";
  std::string docs_ = tmp_.path() + "docs/";
};

TEST(IndexerTerminalBar, FitsTheWidthAndShowsTheFileBeingRead) {
  struct Case {
    const char* what;
    size_t done, total;
    int percent;
    std::string file;
    int columns;
    std::string expected;
  } cases[] = {
      {"start", 0, 12, 0, "", 80, "[........................]   0%  0/12"},
      {"half", 6, 12, 50, "a.txt", 80, "[############............]  50%  6/12  a.txt"},
      {"done", 12, 12, 100, "", 80, "[########################] 100%  12/12"},
      // A long path keeps its end; a Big5 pair (two columns) is never split.
      {"long path", 1, 2, 50, "folder/sub/deeper/name.txt", 52,
       "[############............]  50%  1/2  ...r/name.txt"},
      {"Big5 path", 1, 2, 50, "\xA4\xA4\xA4\xE5\xA4\xA4.txt", 48,
       "[############............]  50%  1/2  ...\xA4\xA4.txt"},
      {"narrow terminal", 1, 2, 50, "a.txt", 10, "[########"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string line = qm::TerminalProgress::bar_line(c.done, c.total, c.percent, c.file, c.columns);
    EXPECT_EQ(line, c.expected);
  }
}

TEST_F(IndexerPersonTest, AtATerminalAPersonSeesABarAndASummary) {
  qm::test::write_file(docs_ + "a.txt", "alpha");
  qm::test::write_file(docs_ + "b.txt", "beta");
  ASSERT_EQ(mkfifo((docs_ + "c.txt").c_str(), 0600), 0);
  const Outcome r = at_terminal({"-w0", "-f10", "-x1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("2 documents to index"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Skipped c.txt: not a regular file"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("]   0%  0/2  a.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[########################] 100%  2/2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 documents indexed, 0 skipped in "), std::string::npos) << r.out;
  // None of the protocol: no code lines, no end mark.
  EXPECT_EQ(r.out.find("0 a.txt"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\x1A"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(tmp_.path() + "db/cross.db"));

  // Through a pipe the same build writes the protocol lines as before.
  const Outcome p = piped({"-w0", "-f10", "-x1"});
  EXPECT_EQ(p.exit_code, 0);
  EXPECT_NE(p.out.find("\r0 a.txt\r"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("\r0 b.txt\r"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("\r1 2 documents indexed, 0 skipped\r\x1A\x1A"), std::string::npos) << p.out;
  EXPECT_EQ(p.out.find("\x1B["), std::string::npos) << p.out;
}

TEST_F(IndexerPersonTest, NoOrUnknownArgumentsGiveTheUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-q"}, {"--help"}, {"-w0", "-f10"}, {"-x0"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    const Outcome t = at_terminal(args);
    EXPECT_EQ(t.exit_code, 2);
    EXPECT_NE(t.out.find("Error: "), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("Usage: indexer"), std::string::npos) << t.out;
    // Through a pipe: the '3' line the desktop ends a job on, the usage on standard error.
    const Outcome p = piped(args);
    EXPECT_EQ(p.exit_code, 2);
    EXPECT_EQ(p.out.substr(0, 2), "3 ");
    EXPECT_EQ(p.out.find('\r'), p.out.size() - 1) << p.out;  // one line
    EXPECT_NE(p.err.find("Usage: indexer"), std::string::npos) << p.err;
    // Both on the desktop's one pipe: the protocol alone.
    const Outcome m = piped(args, true);
    EXPECT_EQ(m.exit_code, 2);
    EXPECT_EQ(m.out, p.out);
  }
}

// The words of the stored index, upper-cased.
std::set<std::string> index_words(const std::string& work) {
  std::set<std::string> words;
  qm::IndexFileSet set;
  if (!set.open(work, 0, false)) return words;
  for (uint32_t i = 0; i < set.word_count(); ++i) {
    qm::WordHashRecord w;
    if (set.read_word_hash(i, w)) words.insert(w.word);
  }
  return words;
}

TEST_F(IndexerPersonTest, HostileDocumentsAndLinks) {
  using namespace std::string_literals;
  // Words parted only by NUL, a vertical tab, a stray high byte or other control bytes.
  qm::test::write_file(docs_ + "glued.txt",
                       "title\nalpha\0beta gamma\vdelta epsilon\xFFzeta eta\x01theta"s);
  qm::test::write_file(docs_ + "glued.htm",
                       "<p>iota\0kappa lambda&#1;mu nu\x80xi</p>"s);
  // A folder outside the document folder, reached through links.
  fs::create_directories(tmp_.path() + "private");
  qm::test::write_file(tmp_.path() + "private/secret.txt", "classified");
  fs::create_directory_symlink(tmp_.path() + "private", docs_ + "private");
  fs::create_symlink(tmp_.path() + "private/secret.txt", docs_ + "secret.txt");
  const Outcome p = piped({"-w0", "-f10", "-x1"});
  ASSERT_EQ(p.exit_code, 0) << p.out;
  EXPECT_NE(p.out.find("1 Skipped private: a symbolic link that leads outside the document folder\r"),
            std::string::npos) << p.out;
  EXPECT_NE(p.out.find("1 Skipped secret.txt: a symbolic link that leads outside the document folder\r"),
            std::string::npos) << p.out;
  EXPECT_NE(p.out.find("1 2 documents indexed, 0 skipped\r"), std::string::npos) << p.out;

  const std::set<std::string> words = index_words(tmp_.path() + "db/");
  for (const char* word : {"ALPHA", "BETA", "GAMMA", "DELTA", "EPSILON", "ZETA", "ETA", "THETA",
                           "IOTA", "KAPPA", "LAMBDA", "MU", "NU", "XI"})
    EXPECT_TRUE(words.count(word)) << word;
  for (const char* word : {"ALPHABETA", "GAMMADELTA", "EPSILONZETA", "ETATHETA", "IOTAKAPPA",
                           "LAMBDAMU", "NUXI", "CLASSIFIED"})
    EXPECT_FALSE(words.count(word)) << word;
}

}  // namespace
