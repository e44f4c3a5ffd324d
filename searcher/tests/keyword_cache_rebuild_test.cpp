// The keyword cache across a rebuild of its database: the rebuild removes the database's
// cache folder while it still holds the set's lock, and a request that searched the old
// set neither writes its hits to the cache after the new set stands nor reads cached
// hits then, so later requests see the new set's hits only. A set that met a read error
// caches nothing either.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/files.h"
#include "index/index_lock.h"
#include "searcher/database_search.h"
#include "searcher/keyword_cache.h"
#include "searcher/query_evaluate.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

struct Rebuild {
  bool committed = false;
  bool lock_was_free = true;  // a reader could take the set's lock in the hook
};

// Rebuilds directory with the documents, removing the cache folder in the writer's
// committed hook as the indexer does.
void rebuild(const std::string& directory, const std::vector<IndexDocument>& documents,
             const std::string& cache_folder, Rebuild& seen) {
  IndexWriterOptions options;
  options.sync = false;
  options.committed = [&] {
    seen.committed = true;
    seen.lock_was_free = IndexLock::acquire(directory, IndexLock::Mode::Shared, 0).held();
    dir_remove_tree(cache_folder, false);
  };
  IndexWriter writer(directory, options);
  for (const IndexDocument& d : documents) ASSERT_TRUE(writer.add_document(d)) << writer.error();
  ASSERT_TRUE(writer.finish()) << writer.error();
}

class KeywordCacheRebuild : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.id = 0x1A;
    db_.work_dir = dir_.path() + "db/";
    // The old build has apple in documents 0 and 2, the new one in 1 and 3 (of more).
    old_docs_ = {test::make_document(0, {"apple"}), test::make_document(1, {"pear"}),
                 test::make_document(2, {"apple pie"})};
    new_docs_ = {test::make_document(0, {"plum"}), test::make_document(1, {"apple"}),
                 test::make_document(2, {"pear"}), test::make_document(3, {"apple tart"}),
                 test::make_document(4, {"fig"})};
    ASSERT_TRUE(test::write_database(db_.work_dir, old_docs_));
    on_.cache_enabled = true;
    on_.cache_dir = cache_.path();
    off_ = on_;
    off_.cache_enabled = false;
  }

  // The hits of "apple" in the set (a request's open set, or opened here when null).
  HitList apple(std::shared_ptr<IndexFileSet> set, const SearchOptions& options,
                SearchStats* stats = nullptr) {
    SearchDatabase db = db_;
    db.set = std::move(set);
    std::string expression = "apple";
    EXPECT_TRUE(query_parse(expression));
    return search_expression(expression, {db}, options, {}, stats);
  }

  std::shared_ptr<IndexFileSet> open_set() {
    auto set = std::make_shared<IndexFileSet>();
    EXPECT_TRUE(set->open(db_.work_dir, 0, true));
    return set;
  }

  std::string cache_file() const { return cache_.path() + "1A/41/50/50/4C/45/nos"; }
  std::string cache_folder() const { return cache_.path() + "1A/"; }

  test::TempDir dir_;
  test::TempDir cache_;
  SearchDatabase db_;
  std::vector<IndexDocument> old_docs_, new_docs_;
  SearchOptions on_, off_;
};

TEST_F(KeywordCacheRebuild, AnOldSetsHitsNeverReachTheCacheOfTheNewSet) {
  const HitList old_hits = apple(nullptr, off_);
  ASSERT_EQ(old_hits.size(), 2u);

  // A request opens the old set; the rebuild commits before it searches.
  std::shared_ptr<IndexFileSet> old_set = open_set();
  Rebuild seen;
  rebuild(db_.work_dir, new_docs_, cache_folder(), seen);
  ASSERT_TRUE(seen.committed);
  EXPECT_FALSE(old_set->is_current());

  // Its own page still comes from the old set, but its hits are not cached.
  SearchStats stats;
  EXPECT_EQ(apple(old_set, on_, &stats), old_hits);
  EXPECT_EQ(stats.cache_writes, 0u);
  EXPECT_FALSE(fs::exists(cache_file()));

  // A new request sees the new build's hits, with the cache and without it.
  const HitList new_hits = apple(nullptr, off_);
  ASSERT_EQ(new_hits.size(), 2u);
  ASSERT_NE(new_hits, old_hits);
  stats = {};
  EXPECT_EQ(apple(open_set(), on_, &stats), new_hits);
  EXPECT_EQ(stats.cache_writes, 1u);
  stats = {};
  EXPECT_EQ(apple(open_set(), on_, &stats), new_hits);
  EXPECT_EQ(stats.cache_reads, 1u);

  // The old request searching again reads no cache file of the new set either.
  stats = {};
  EXPECT_EQ(apple(old_set, on_, &stats), old_hits);
  EXPECT_EQ(stats.cache_reads, 0u);
  EXPECT_EQ(stats.cache_writes, 0u);
}

TEST_F(KeywordCacheRebuild, ARebuildLeavesNoCacheFileOfTheOldSet) {
  SearchStats stats;
  const HitList old_hits = apple(open_set(), on_, &stats);
  EXPECT_EQ(stats.cache_writes, 1u);
  ASSERT_TRUE(fs::exists(cache_file()));

  Rebuild seen;
  rebuild(db_.work_dir, new_docs_, cache_folder(), seen);
  ASSERT_TRUE(seen.committed);
  EXPECT_FALSE(seen.lock_was_free);  // removed under the writer's exclusive lock
  EXPECT_FALSE(fs::exists(cache_folder()));

  stats = {};
  EXPECT_EQ(apple(open_set(), on_, &stats), apple(nullptr, off_));
  EXPECT_EQ(stats.cache_reads, 0u);
  EXPECT_NE(apple(open_set(), on_), old_hits);
}

// A set that met a read error may have lost hits on the way: nothing it found is cached,
// and the next request, on a sound set, writes the cache file.
TEST_F(KeywordCacheRebuild, ASetThatFailedAReadCachesNothing) {
  std::shared_ptr<IndexFileSet> set = open_set();
  CrossRecord cross;
  EXPECT_FALSE(set->read_cross(1000, cross));  // beyond the last document
  ASSERT_TRUE(set->failed());
  SearchStats stats;
  EXPECT_EQ(apple(set, on_, &stats), apple(nullptr, off_));
  EXPECT_EQ(stats.cache_writes, 0u);
  EXPECT_FALSE(fs::exists(cache_file()));

  stats = {};
  apple(open_set(), on_, &stats);
  EXPECT_EQ(stats.cache_writes, 1u);
  EXPECT_TRUE(fs::exists(cache_file()));
}

}  // namespace
}  // namespace qm
