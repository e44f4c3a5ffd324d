// Replacing a database's file set: a rename that fails at any file leaves the old set
// byte-identical and readable, and a writer killed while it holds the lock blocks no
// later reader or build (the reader puts the old set back). The concurrent searches
// during rebuilds are tested end to end in searcher/app/tests/replace_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "index/index_lock.h"
#include "index/index_reader.h"
#include "index/index_replace.h"
#include "index/index_writer.h"
#include "index/tests/fixture.h"
#include "platform/fatal.h"

namespace qm {
namespace {

using test::TempDir;

// Every file of the directory with its bytes (the lock file is empty and stays).
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : test::list_dir(dir)) files[name] = test::read_file(dir + name);
  return files;
}

// A second collection that differs from the small fixture in every file.
std::vector<IndexDocument> other_fixture() {
  return {{"other.txt", 20200202, {{1, "Goodbye"}, {0, "\xA4\xE5 farewell words"}}},
          {"more/b.txt", 20210303, {{1, "Second"}, {0, "more text"}}},
          {"c.txt", 20220404, {{0, "third \xA4\xA4"}}}};
}

// Opens the set and reads all of it; the document count tells which build it is.
uint32_t open_and_walk(const std::string& dir, int index_type) {
  IndexFileSet set;
  EXPECT_TRUE(set.open(dir, index_type, true));
  test::walk_all(set);
  return set.document_count();
}

bool build_with(const std::string& dir, const std::vector<IndexDocument>& docs, IndexWriterOptions options,
                std::string* error = nullptr) {
  IndexWriter writer(dir, options);
  for (const IndexDocument& d : docs) writer.add_document(d);
  bool ok = writer.finish();
  if (error) *error = writer.error();
  return ok;
}

TEST(IndexReplace, FailedRenameAtEveryFileKeepsTheOldSet) {
  struct Case {
    bool old_phrase, new_phrase;  // phrase to character drops clist.db; the other way adds it
  };
  for (const Case c : {Case{false, false}, Case{true, false}, Case{false, true}}) {
    TempDir dir;
    IndexWriterOptions old_options;
    old_options.phrase = c.old_phrase;
    old_options.sync = false;
    test::build(dir.path(), test::small_fixture(), old_options);
    const auto before = snapshot(dir.path());
    const int old_type = c.old_phrase ? 1 : 0;

    // Count the renames of one replacement, then fail each of them in turn.
    int renames = 0;
    {
      TempDir probe;
      IndexWriterOptions counting = old_options;
      counting.phrase = c.new_phrase;
      counting.rename_hook = [&](const std::string& from, const std::string& to) {
        ++renames;
        return ::rename(from.c_str(), to.c_str());
      };
      ASSERT_TRUE(build_with(probe.path(), other_fixture(), counting));
    }
    ASSERT_GE(renames, 10);
    for (int failing = 0; failing < renames; ++failing) {
      SCOPED_TRACE("phrase " + std::to_string(c.old_phrase) + " -> " + std::to_string(c.new_phrase) +
                   ", rename " + std::to_string(failing) + " fails");
      IndexWriterOptions options = old_options;
      options.phrase = c.new_phrase;
      int call = 0;
      options.rename_hook = [&](const std::string& from, const std::string& to) {
        if (call++ == failing) {
          errno = EIO;
          return -1;
        }
        return ::rename(from.c_str(), to.c_str());
      };
      std::string error;
      EXPECT_FALSE(build_with(dir.path(), other_fixture(), options, &error));
      EXPECT_NE(error.find("cannot rename"), std::string::npos) << error;
      EXPECT_EQ(snapshot(dir.path()), before);  // byte-identical, nothing left beside it
      EXPECT_EQ(open_and_walk(dir.path(), old_type), 2u);
    }
    IndexWriterOptions options = old_options;
    options.phrase = c.new_phrase;
    ASSERT_TRUE(build_with(dir.path(), other_fixture(), options));
    EXPECT_EQ(open_and_walk(dir.path(), c.new_phrase ? 1 : 0), 3u);
    EXPECT_EQ(test::file_exists(dir / "clist.db"), c.new_phrase);
  }
}

TEST(IndexReplace, KilledWriterBlocksNoReaderOrBuild) {
  TempDir dir;
  IndexWriterOptions options;
  options.phrase = true;
  options.sync = false;
  test::build(dir.path(), test::small_fixture(), options);
  const auto before = snapshot(dir.path());

  // A writer that stops for good half way through its renames, holding the lock.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    IndexWriterOptions stuck = options;
    stuck.phrase = false;  // the new set would also drop clist.db
    int call = 0;
    stuck.rename_hook = [&](const std::string& from, const std::string& to) {
      if (call++ == 4) {
        (void)!::write(ready[1], "x", 1);
        for (;;) ::pause();
      }
      return ::rename(from.c_str(), to.c_str());
    };
    build_with(dir.path(), other_fixture(), stuck);
    ::_exit(1);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  // While it lives, its lock keeps readers out (they would give up after their wait).
  EXPECT_EQ(IndexLock::acquire(dir.path(), IndexLock::Mode::Shared, 1).state(), IndexLock::State::TimedOut);
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(index_replacement_pending(dir.path()));

  // The next reader finds the lock free, puts the old set back and reads it.
  EXPECT_EQ(open_and_walk(dir.path(), 1), 2u);
  EXPECT_FALSE(index_replacement_pending(dir.path()));
  auto after = snapshot(dir.path());
  for (auto it = after.begin(); it != after.end();) {  // the killed writer's temporary files
    if (it->first.find(".tmp") != std::string::npos)
      it = after.erase(it);
    else
      ++it;
  }
  EXPECT_EQ(after, before);

  // And a later build goes through.
  options.phrase = false;
  ASSERT_TRUE(build_with(dir.path(), other_fixture(), options));
  EXPECT_EQ(open_and_walk(dir.path(), 0), 3u);
  EXPECT_FALSE(test::file_exists(dir / "clist.db"));
}

TEST(IndexReplace, RecoveryPutsTheOldFilesBack) {
  // What recovery finds after a writer was killed half way: the old set comes back
  // whole, a new file without old version goes, and nothing is left beside the set.
  TempDir dir;
  IndexWriterOptions options;
  options.sync = false;
  test::build(dir.path(), test::small_fixture(), options);
  const auto before = snapshot(dir.path());
  // The marker (naming clist.db as new), three old files aside, one new file in place.
  test::write_file(dir / "index.replacing", "clist.db\n");
  test::write_file(dir / "clist.db", std::string(12, '\1'));
  for (const char* name : {"cross.db", "path.db", "fulltext.db"})
    ASSERT_EQ(::link((dir / name).c_str(), (dir / (std::string(name) + ".old")).c_str()), 0);
  test::write_file(dir / "cross.db.new", std::string(8 * 5, '\0'));
  ASSERT_EQ(::rename((dir / "cross.db.new").c_str(), (dir / "cross.db").c_str()), 0);
  std::string error;
  {
    IndexLock lock = IndexLock::acquire(dir.path(), IndexLock::Mode::Exclusive, 1000);
    ASSERT_TRUE(lock.held());
    ASSERT_TRUE(index_recover(dir.path(), error)) << error;
  }
  EXPECT_EQ(snapshot(dir.path()), before);
}

}  // namespace
}  // namespace qm
