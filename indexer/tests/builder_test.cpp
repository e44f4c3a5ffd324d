// Tests of the builder's parts: the command line, the progress line format, the job read
// from vesprin.ini, the document walk and the removal of a killed build's leftovers.
#include "indexer/builder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/config.h"
#include "indexer/progress.h"
#include "testsupport/test_files.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace {

namespace fs = std::filesystem;

// A scratch tree (testsupport's TempDir: the test stops when it cannot be made, and only
// the folder it made is removed) with a helper that writes a file inside it.
class TempTree {
 public:
  const std::string& path() const { return dir_.path(); }
  std::string file(const std::string& rel, const std::string& text = "x") const {
    fs::create_directories(fs::path(path() + rel).parent_path());
    std::ofstream(path() + rel, std::ios::binary) << text;
    return path() + rel;
  }

 private:
  qm::test::TempDir dir_{"qm-builder-"};
};

TEST(IndexerCommand, ParsesTheQueuedCommandLines) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    long id;
    bool mail, ncl, corvdoc;
  } cases[] = {
      {{"indexer", "-w1234", "-f10", "-x12"}, true, 12, false, false, false},
      {{"indexer", "-mail", "-ncl", "-w1", "-f10", "-x3"}, true, 3, true, true, false},
      {{"indexer", "-ncl", "-w1", "-f10", "-x998"}, true, 998, false, true, false},
      {{"indexer", "-corvdoc", "-w1", "-f10", "-x7"}, true, 7, false, false, true},
      {{"indexer", "-w1", "-f10"}, false, 0, false, false, false},
      {{"indexer", "-w1", "-f10", "-x"}, false, 0, false, false, false},
      {{"indexer", "-w1", "-f10", "-x12a"}, false, 0, false, false, false},
      {{"indexer", "-w1", "-f10", "-x0"}, false, 0, false, false, false},
      {{"indexer", "-w1", "-f10", "-x-4"}, false, 0, false, false, false},
      {{"indexer", "-bogus", "-x1"}, false, 0, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<std::string>(c.args.begin(), c.args.end())));
    qm::IndexerCommand command;
    std::string error;
    ASSERT_EQ(qm::indexer_parse_command(int(c.args.size()), c.args.data(), command, error), c.ok);
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(command.id, c.id);
    EXPECT_EQ(command.mail, c.mail);
    EXPECT_EQ(command.ncl, c.ncl);
    EXPECT_EQ(command.corvdoc, c.corvdoc);
  }
}

TEST(IndexerProgressLines, FormatAndLimits) {
  struct Case {
    const char* what;
    char code;
    std::string text;
    std::string expected;
  } cases[] = {
      {"document", '0', "report.doc", "0 report.doc\r"},
      {"line breaks inside the text", '1', "a\rb\nc\x1A", "1 a b c \r"},
      // The reader ends the text at a NUL: none may reach it.
      {"NUL inside the text", '1', std::string("a\0b", 3), "1 a b\r"},
      {"bytes that are no Big5 pair", '1', "x\x80\xFFy\xA4", "1 x  y \r"},
      {"long text cut", '1', std::string(300, 'a'), "1 " + std::string(251, 'a') + "\r"},
      // 125 pairs fill 250 bytes; a 126th would pass the limit: never half of one.
      {"Big5 cut between pairs", '0', "a" + std::string(300, '\xA4'),
       "0 a" + std::string(250, '\xA4') + "\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string line = qm::ProgressWriter::format(c.code, c.text);
    EXPECT_EQ(line, c.expected);
    EXPECT_LT(line.size(), 255u);
  }
}

TEST(IndexerProgressLines, PercentOnlyWhenItChanges) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    qm::ProgressWriter p(fds[1]);
    p.percent(0);
    p.percent(0);
    p.percent(5);
    p.helper(3120);
    p.end_mark();
  }
  close(fds[1]);
  char buffer[256];
  ssize_t n = read(fds[0], buffer, sizeof buffer);
  close(fds[0]);
  EXPECT_EQ(std::string(buffer, size_t(n)), "2 0\r2 5\r4 3120\r\x1A\x1A");
}

class IndexerJobTest : public testing::Test {
 protected:
  bool load(const std::string& ini, long id = 1) {
    tree_.file("vesprin.ini", ini);
    error_.clear();
    return qm::indexer_load_job(tree_.path() + "vesprin.ini", id, job_, error_);
  }
  TempTree tree_;
  qm::IndexerJob job_;
  std::string error_;
};

TEST_F(IndexerJobTest, ReadsTheDatabaseSection) {
  ASSERT_TRUE(load("[VESPRIN]\nCacheDir=C:\\cache\\\nMaxParsingTime=5\n"
                   "[INDEX]\n26=1\n"
                   "[DB-26]\nHtmlDir=\\data\\docs\nWorkDir=/data/db/news\\\n"
                   "LocalFileType=*.htm; txt,*.\nSaveFile=1\nIndexType=1\n"
                   "[StopPath-26]\n1=\\data\\docs\\private\\\n2=drafts\n3=\n"
                   "5=after-a-gap\n",
                   26))
      << error_;
  EXPECT_EQ(job_.id, 26);
  EXPECT_EQ(job_.html_dir, "/data/docs/");
  EXPECT_EQ(job_.work_dir, "/data/db/news/");
  EXPECT_TRUE(qm::db_has_extension(job_.file_types, "a.HTM"));
  EXPECT_TRUE(qm::db_has_extension(job_.file_types, "README"));
  EXPECT_FALSE(qm::db_has_extension(job_.file_types, "a.html"));
  EXPECT_TRUE(job_.phrase);
  // The list ends at the first missing number (4): key 5 is not part of it.
  EXPECT_EQ(job_.stop_paths, (std::vector<std::string>{"/data/docs/private", "/data/docs/drafts"}));
  EXPECT_EQ(job_.cache_dir, "C:/cache/1A/");
  EXPECT_EQ(job_.converter_timeout_ms, 60000);  // below 10 s means the default
}

TEST_F(IndexerJobTest, DefaultsAndRefusals) {
  ASSERT_TRUE(load("[INDEX]\n1=1\n[DB-1]\nHtmlDir=/d\nWorkDir=/w\n")) << error_;
  EXPECT_TRUE(qm::db_has_extension(job_.file_types, "a.htm"));
  EXPECT_TRUE(qm::db_has_extension(job_.file_types, "a.txt"));
  EXPECT_FALSE(qm::db_has_extension(job_.file_types, "a.doc"));
  EXPECT_FALSE(job_.phrase);
  EXPECT_EQ(job_.cache_dir, "");
  ASSERT_TRUE(load("[VESPRIN]\nMaxParsingTime=1000\n[INDEX]\n1=0\n[DB-1]\nHtmlDir=/d\nWorkDir=/w\n"))
      << error_;  // an inactive database is built too
  EXPECT_EQ(job_.converter_timeout_ms, 600000);

  struct Case {
    const char* what;
    std::string ini;
    const char* error_part;
  } cases[] = {
      {"no section", "[DB-2]\nHtmlDir=/d\nWorkDir=/w\n", "DB-1"},
      {"not listed in INDEX", "[DB-1]\nHtmlDir=/d\nWorkDir=/w\n", "INDEX"},
      {"no WorkDir", "[DB-1]\nHtmlDir=/d\n", "WorkDir"},
      {"no HtmlDir", "[DB-1]\nWorkDir=/w\n", "HtmlDir"},
      {"web address", "[DB-1]\nHtmlDir=http://example.com/\nWorkDir=/w\n", "Web"},
      {"phrase without IndexType", "[DB-1]\nHtmlDir=/d\nWorkDir=/w\nSaveFile=1\n", "IndexType"},
      {"IndexType without phrase", "[DB-1]\nHtmlDir=/d\nWorkDir=/w\nIndexType=1\n", "SaveFile"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool listed = std::string(c.what) != "not listed in INDEX";
    EXPECT_FALSE(load(listed ? "[INDEX]\n1=1\n" + c.ini : c.ini));
    EXPECT_NE(error_.find(c.error_part), std::string::npos) << error_;
  }
  EXPECT_FALSE(qm::indexer_load_job(tree_.path() + "missing.ini", 1, job_, error_));
}

TEST(IndexerWalk, OrderSkipsAndLoops) {
  TempTree t;
  const std::string docs = t.path() + "docs/";
  t.file("docs/b.txt");
  t.file("docs/A.HTM");
  t.file("docs/sub/c.htm");
  t.file("docs/sub/deeper/d.txt");
  t.file("docs/skip.doc");          // not listed
  t.file("docs/.hidden.txt");       // hidden
  t.file("docs/.cache/e.txt");      // inside a hidden folder
  t.file("docs/private/secret.txt");  // excluded
  t.file("docs/index/cross.txt");   // the index folder itself
  fs::create_directory_symlink("..", docs + "sub/loop");           // a loop
  fs::create_directory_symlink(docs + "sub", docs + "zlink");      // a second way in
  fs::create_symlink(docs + "gone.txt", docs + "dangling.txt");    // nowhere
  fs::create_symlink(docs + "b.txt", docs + "linked.txt");         // a file through a link
  // Links that lead out of the document folder are not followed, even to a place whose
  // name begins like the folder's.
  t.file("outside/secret.txt");
  t.file("docs-private/secret.txt");
  fs::create_directory_symlink(t.path() + "outside", docs + "out-dir");
  fs::create_symlink(t.path() + "outside/secret.txt", docs + "out-file.txt");
  fs::create_directory_symlink(t.path() + "docs-private", docs + "out-lookalike");
  fs::create_symlink("../../outside", docs + "sub/out-relative");
  fs::create_symlink("loop-b.txt", docs + "loop-a.txt");           // a loop of links
  fs::create_symlink("loop-a.txt", docs + "loop-b.txt");
  ASSERT_EQ(mkfifo((docs + "pipe.txt").c_str(), 0600), 0);         // would block a reader

  qm::IndexerJob job;
  job.html_dir = docs;
  job.work_dir = docs + "index/";
  job.file_types = qm::string_split_list("htm,txt");
  job.stop_paths = {docs + "PRIVATE"};  // compared case-blind
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  qm::ProgressWriter progress(fds[1]);
  std::vector<std::string> found = qm::indexer_collect_documents(job, progress);
  close(fds[1]);
  std::string lines;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) lines.append(buffer, size_t(n));
  close(fds[0]);
  EXPECT_EQ(found, (std::vector<std::string>{docs + "A.HTM", docs + "b.txt", docs + "linked.txt",
                                             docs + "sub/c.htm", docs + "sub/deeper/d.txt"}));
  // Every entry passed over for what it is, not for its name, has its status line.
  const std::vector<std::string> expected = {
      "1 Skipped dangling.txt: a symbolic link that leads nowhere\r",
      "1 Skipped loop-a.txt: a symbolic link that leads round in a loop\r",
      "1 Skipped loop-b.txt: a symbolic link that leads round in a loop\r",
      "1 Skipped out-dir: a symbolic link that leads outside the document folder\r",
      "1 Skipped out-file.txt: a symbolic link that leads outside the document folder\r",
      "1 Skipped out-lookalike: a symbolic link that leads outside the document folder\r",
      "1 Skipped pipe.txt: not a regular file (a device, FIFO or socket)\r",
      "1 Skipped sub/loop: a symbolic link to a folder that is indexed already\r",
      "1 Skipped sub/out-relative: a symbolic link that leads outside the document folder\r",
      "1 Skipped zlink: a symbolic link to a folder that is indexed already\r",
  };
  std::string all;
  for (const std::string& e : expected) all += e;
  EXPECT_EQ(lines, all);
}

TEST(IndexerStaleTemporaries, OnlyThoseOfDeadBuildsGo) {
  TempTree t;
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead);
  const std::string me = std::to_string(getpid());
  std::vector<std::string> gone = {"cross.db." + d + "-0.tmp", "run-c-3." + d + "-1.tmp"};
  std::vector<std::string> kept = {"cross.db", "cross.db." + me + "-0.tmp", "notes.tmp",
                                   "letter." + d + "-0.tmp"};
  for (const auto& n : gone) t.file(n);
  for (const auto& n : kept) t.file(n);
  qm::indexer_remove_stale_temporaries(t.path());
  for (const auto& n : gone) EXPECT_FALSE(fs::exists(t.path() + n)) << n;
  for (const auto& n : kept) EXPECT_TRUE(fs::exists(t.path() + n)) << n;
}

}  // namespace
