// The program `indexer` as a person meets it and with hostile input: at a terminal (a
// pseudo-terminal here) it shows a progress bar and a summary, in a file plain lines,
// instead of the protocol lines; with no or unknown arguments it gives its usage text and
// exit code 2; words parted only by a control byte or a stray byte stay apart in the
// index; links that lead out of the document folder are not followed.
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

  // With standard output and standard error appended to a file (emptied first unless
  // append), as cron runs it: the "C" locale; the file's whole text.
  Outcome into_file(const std::vector<std::string>& args, bool append = false) {
    const std::string log = tmp_.path() + "indexer.log";
    if (!append) qm::test::write_file(log, "");
    std::string command = "LC_ALL=C " + bin_ + "indexer";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >>" + log + " 2>&1 </dev/null";
    Outcome run;
    std::string none;
    const int status = qm::test::command_output(command, none);
    EXPECT_TRUE(WIFEXITED(status));
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = qm::test::read_file(log);
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

// Where standard output goes decides the form: the desktop's records through a pipe, a
// bar at a terminal, plain lines in a file (a build run from cron with its output sent to
// a log). Each mark is looked for in the three outputs.
TEST_F(IndexerPersonTest, TheOutputSuitsWhereItGoes) {
  qm::test::write_file(docs_ + "a.txt", "alpha");
  qm::test::write_file(docs_ + "b.txt", "beta");
  ASSERT_EQ(mkfifo((docs_ + "c.txt").c_str(), 0600), 0);
  const std::vector<std::string> args = {"-w0", "-f10", "-x1"};
  const Outcome pipe = piped(args);
  const Outcome terminal = at_terminal(args);
  const Outcome file = into_file(args);
  for (const Outcome* o : {&pipe, &terminal, &file}) EXPECT_EQ(o->exit_code, 0) << o->out;

  const struct {
    const char* what;
    std::string text;
    bool in_pipe, at_terminal, in_file;
  } marks[] = {
      {"a document's record", "\r0 a.txt\r", true, false, false},
      {"a document's record", "\r0 b.txt\r", true, false, false},
      {"the closing record and the end mark", "\r1 2 documents indexed, 0 skipped\r\x1A\x1A", true,
       false, false},
      {"the end mark", "\x1A", true, false, false},
      {"CR", "\r", true, true, false},
      {"terminal control", "\x1B[", false, true, false},
      {"the bar at the start", "]   0%  0/2  a.txt", false, true, false},
      {"the bar at the end", "[########################] 100%  2/2", false, true, false},
      {"a line for each document", "\nIndexed a.txt\nIndexed b.txt\n", false, false, true},
      {"the count", "2 documents to index", true, true, true},
      {"a skipped file", "Skipped c.txt: not a regular file", true, true, true},
      {"the summary with the time", "2 documents indexed, 0 skipped in ", false, true, true},
  };
  for (const auto& m : marks) {
    SCOPED_TRACE(m.what);
    EXPECT_EQ(pipe.out.find(m.text) != std::string::npos, m.in_pipe) << pipe.out;
    EXPECT_EQ(terminal.out.find(m.text) != std::string::npos, m.at_terminal) << terminal.out;
    EXPECT_EQ(file.out.find(m.text) != std::string::npos, m.in_file) << file.out;
  }
  // The file holds nothing but lines of text.
  for (char c : file.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << file.out;
  EXPECT_EQ(file.out.back(), '\n');
  EXPECT_TRUE(fs::exists(tmp_.path() + "db/cross.db"));
}

// A log file shows Chinese names legibly in cron's plain "C" locale (as UTF-8), and a
// later run appends to it.
TEST_F(IndexerPersonTest, ALogFileShowsChineseNamesAndGrows) {
  qm::test::write_file(docs_ + "\xE8\x8C\xB6.txt", "tea");  // 茶.txt in UTF-8
  const Outcome first = into_file({"-x1"});
  EXPECT_EQ(first.exit_code, 0) << first.out;
  EXPECT_NE(first.out.find("\nIndexed \xE8\x8C\xB6.txt\n"), std::string::npos) << first.out;
  const Outcome second = into_file({"-x1"}, true);
  EXPECT_EQ(second.out.substr(0, first.out.size()), first.out);
  EXPECT_NE(second.out.find("\nIndexed \xE8\x8C\xB6.txt\n", first.out.size()), std::string::npos)
      << second.out;
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
    // Into a log file: the error and the usage as lines.
    const Outcome f = into_file(args);
    EXPECT_EQ(f.exit_code, 2);
    EXPECT_EQ(f.out.find("Error: "), 0u) << f.out;
    EXPECT_NE(f.out.find("Usage: indexer"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find('\r'), std::string::npos) << f.out;
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
