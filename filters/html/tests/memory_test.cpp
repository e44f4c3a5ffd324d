// Memory utilities in-process: sized blocks and their guard, growable arrays with their
// stack and sorted-set operations, the numbering store, and the record cache with its
// ledger, including failed allocations part way.
#include <gtest/gtest.h>

#include <cstring>

#include "filters/html/pc_memory.h"

namespace pc::test {
namespace {

TEST(PagecastBlockTest, AllocGrowAndFree) {
  MemLedger l;
  MemLedgerInit(&l);
  void *h = nullptr, *p = nullptr;
  ASSERT_EQ(BlockAlloc(&h, &p, 10, &l.block_bytes), KVX_OK);
  EXPECT_EQ(l.block_bytes, 10u);
  EXPECT_TRUE(BlockGuardOk(h));
  std::memset(p, 0x5A, 10);
  void* before = p;
  EXPECT_EQ(BlockAlloc(&h, &p, 8, &l.block_bytes), KVX_OK);  // not larger: nothing changes
  EXPECT_EQ(p, before);
  EXPECT_EQ(l.block_bytes, 10u);
  ASSERT_EQ(BlockAlloc(&h, &p, 20, &l.block_bytes), KVX_OK);
  EXPECT_EQ(l.block_bytes, 20u);
  EXPECT_TRUE(BlockGuardOk(h));
  auto* b = static_cast<uint8_t*>(p);
  EXPECT_EQ(b[9], 0x5A);
  EXPECT_EQ(b[10], 0);
  EXPECT_EQ(b[19], 0);
  BlockFree(&h, &p, &l.block_bytes);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(l.block_bytes, 0u);
  mem_fail_after(1);
  EXPECT_EQ(BlockAlloc(&h, &p, 4, &l.block_bytes), KVXERR_NOMEMORY);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(l.block_bytes, 0u);
}

TEST(PagecastArrayTest, AppendInsertPopFindRemove) {
  MemLedger l;
  MemLedgerInit(&l);
  GrowArray* a = ArrayCreate(0, 100, 4, 0, 3, &l);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(l.arrays, 1u);
  uint32_t v = 7;
  EXPECT_EQ(ArrayAppend(a, &v), 100);  // capacity 0 grows by the step first
  EXPECT_EQ(a->capacity, 3u);
  v = 9;
  EXPECT_EQ(ArrayAppend(a, &v), 101);
  v = 8;
  EXPECT_EQ(ArrayInsertSorted(a, &v, 4, 0), KVX_OK);
  v = 8;
  EXPECT_EQ(ArrayInsertSorted(a, &v, 4, 0), KVX_OK);  // an equal key is not inserted again
  EXPECT_EQ(a->count, 3u);
  EXPECT_EQ(ArrayInsertSorted(a, &v, 4, 1), KVX_OK);  // duplicates allowed
  EXPECT_EQ(a->count, 4u);
  EXPECT_EQ(ArrayInsertSorted(a, &v, 3, 0), KVXERR_NOTFOUND);
  uint32_t got[4];
  std::memcpy(got, a->data, 16);
  EXPECT_EQ(got[0], 7u);
  EXPECT_EQ(got[1], 8u);
  EXPECT_EQ(got[2], 8u);
  EXPECT_EQ(got[3], 9u);
  v = 8;
  EXPECT_EQ(ArrayFindFromTop(a, &v, 4), KVX_OK);
  EXPECT_EQ(ArrayRemoveMatch(a, &v, 4), KVX_OK);
  EXPECT_EQ(ArrayRemoveMatch(a, &v, 4), KVX_OK);
  EXPECT_EQ(ArrayRemoveMatch(a, &v, 4), KVXERR_NOTFOUND);
  v = 1;
  EXPECT_EQ(ArrayInsertAt(a, &v, 0), KVX_OK);
  auto* top = static_cast<uint32_t*>(ArrayPop(a));
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(*top, 9u);
  EXPECT_EQ(a->count, 2u);
  EXPECT_EQ(ArrayInsertAt(nullptr, &v, 0), KVXERR_BADFORMAT);
  ArrayDestroy(&a, &l);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(l.arrays, 0u);
  EXPECT_EQ(ArrayPop(nullptr), nullptr);
  EXPECT_EQ(ArrayFindFromTop(nullptr, &v, 4), KVXERR_NOTFOUND);
}

TEST(PagecastNumberingTest, LevelsAndLeaves) {
  MemLedger l;
  MemLedgerInit(&l);
  NumberingStore* s = nullptr;
  ASSERT_EQ(NumberingCreate(&s, &l), KVX_OK);
  int32_t v = 0;
  EXPECT_EQ(NumberingGet(s, 5, 0, &v, 10), KVXERR_BADFORMAT);
  EXPECT_EQ(v, -1);
  // Level 0 items at 10 and 30, a level-1 item at 20 under the first.
  EXPECT_EQ(NumberingSet(s, 5, 0, 1, 10, &l), KVX_OK);
  EXPECT_EQ(NumberingSet(s, 5, 0, 2, 30, &l), KVX_OK);
  EXPECT_EQ(NumberingSet(s, 5, 0, 9, 10, &l), KVX_OK);  // the first value for a position stands
  EXPECT_EQ(NumberingGet(s, 5, 0, &v, 10), KVX_OK);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(NumberingGet(s, 5, 0, &v, 35), KVX_OK);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(NumberingGet(s, 5, 0, &v, 5), 1577);
  EXPECT_EQ(NumberingGet(s, 5, 1, &v, 20), 1577);  // no level 1 yet
  EXPECT_EQ(NumberingSet(s, 5, 1, 7, 20, &l), KVX_OK);
  // At 20 the governing level-0 entry opens level 1.
  EXPECT_EQ(NumberingGet(s, 5, 1, &v, 20), KVX_OK);
  EXPECT_EQ(v, 7);
  // At 35 the governing level-0 entry (30) is a leaf.
  EXPECT_EQ(NumberingGet(s, 5, 1, &v, 35), 1577);
  EXPECT_EQ(v, -1);
  NumberingDestroy(&s, &l);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(l.arrays, 0u);
}

TEST(PagecastNumberingTest, ManyEntriesAndEntriesOutOfOrder) {
  MemLedger l;
  MemLedgerInit(&l);
  NumberingStore* s = nullptr;
  ASSERT_EQ(NumberingCreate(&s, &l), KVX_OK);
  int32_t v = 0;
  // A long list in document order: each position finds the entry at or before it.
  for (uint32_t i = 1; i <= 2000; ++i) ASSERT_EQ(NumberingSet(s, 1, 0, i, 10 * i, &l), KVX_OK);
  for (uint32_t i : {1u, 2u, 999u, 1000u, 2000u}) {
    EXPECT_EQ(NumberingGet(s, 1, 0, &v, 10 * i), KVX_OK);
    EXPECT_EQ(v, int32_t(i));
    EXPECT_EQ(NumberingGet(s, 1, 0, &v, 10 * i + 9), KVX_OK);
    EXPECT_EQ(v, int32_t(i));
  }
  EXPECT_EQ(NumberingGet(s, 1, 0, &v, 9), 1577);
  EXPECT_EQ(NumberingSet(s, 1, 0, 77, 5000, &l), KVX_OK);  // a position already taken keeps its value
  EXPECT_EQ(NumberingGet(s, 1, 0, &v, 5000), KVX_OK);
  EXPECT_EQ(v, 500);

  // A level-1 entry after a later level-0 leaf puts the level's entries out of order
  // (100, 120, 200, then 150); lookups go through them in stored order.
  ASSERT_EQ(NumberingSet(s, 3, 0, 4, 100, &l), KVX_OK);
  ASSERT_EQ(NumberingSet(s, 3, 1, 6, 120, &l), KVX_OK);
  ASSERT_EQ(NumberingSet(s, 3, 0, 5, 200, &l), KVX_OK);
  ASSERT_EQ(NumberingSet(s, 3, 1, 8, 150, &l), KVX_OK);
  struct Case {
    uint32_t level, position;
    KVXSTATUS status;
    int32_t value;
  } cases[] = {{1, 160, KVX_OK, 8}, {1, 205, KVX_OK, 8}, {0, 250, KVX_OK, 5},
               {1, 130, KVX_OK, 6}, {0, 110, KVX_OK, 4}, {1, 110, 1577, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(NumberingGet(s, 3, c.level, &v, c.position), c.status) << c.level << " " << c.position;
    EXPECT_EQ(v, c.value) << c.level << " " << c.position;
  }
  // Level-0 entries placed among them (100, 120, 170, 180, 200, 150): at 190 the scan stops
  // at 200, so 180 governs, not the 150 stored last.
  ASSERT_EQ(NumberingSet(s, 3, 0, 11, 170, &l), KVX_OK);
  ASSERT_EQ(NumberingSet(s, 3, 0, 12, 180, &l), KVX_OK);
  EXPECT_EQ(NumberingGet(s, 3, 0, &v, 190), KVX_OK);
  EXPECT_EQ(v, 12);
  NumberingDestroy(&s, &l);
  EXPECT_EQ(l.arrays, 0u);
}

TEST(PagecastCacheTest, InitAddRetrieveEvictDeinit) {
  MemLedger l;
  MemLedgerInit(&l);
  MUCacheHeader h;
  MUCacheInit(1, 0, 8, 0, 0, &h, &l);
  EXPECT_EQ(h.grow_step, 2);
  EXPECT_EQ(h.max_entries, 2);
  EXPECT_EQ(l.caches, 1u);
  const char a[8] = "aaaaaaa", b[8] = "bbbbbbb", c[8] = "ccccccc";
  ASSERT_EQ(MUCacheAdd(a, 1, &h, &l.block_bytes), KVX_OK);
  ASSERT_EQ(MUCacheAdd(b, 2, &h, &l.block_bytes), KVX_OK);
  ASSERT_EQ(MUCacheAdd(c, 1, &h, &l.block_bytes), KVX_OK);  // overwrites key 1
  EXPECT_EQ(h.count, 2);
  EXPECT_STREQ(static_cast<char*>(MUCacheRetrieve(1, &h)), "ccccccc");
  uint32_t clock = h.clock;
  EXPECT_EQ(MUCacheRetrieve(9, &h), nullptr);
  EXPECT_EQ(h.clock, clock);
  EXPECT_EQ(MUCacheAdd(a, 3, &h, &l.block_bytes), KVXERR_NOTFOUND);  // full, no eviction
  EXPECT_NE(MUCacheRetrieve(2, &h), nullptr);
  MUCacheUnlock(&h);
  EXPECT_EQ(h.table, nullptr);
  MUCacheDeinit(&h, &l);
  EXPECT_EQ(l.caches, 0u);
  EXPECT_EQ(l.block_bytes, 0u);

  // With eviction the least recently used entry goes, the first one on a tie.
  MUCacheInit(2, 1, 8, 1, 0, &h, &l);
  MUCacheAdd(a, 1, &h, &l.block_bytes);
  MUCacheAdd(b, 2, &h, &l.block_bytes);
  MUCacheRetrieve(1, &h);
  ASSERT_EQ(MUCacheAdd(c, 3, &h, &l.block_bytes), KVX_OK);
  EXPECT_EQ(MUCacheRetrieve(2, &h), nullptr);
  EXPECT_STREQ(static_cast<char*>(MUCacheRetrieve(3, &h)), "ccccccc");
  MUCacheDeinit(&h, &l);
  EXPECT_EQ(l.block_bytes, 0u);
  EXPECT_EQ(MUCacheAdd(a, 1, nullptr, nullptr), KVXERR_NOTFOUND);
  EXPECT_EQ(MUCacheRetrieve(1, nullptr), nullptr);
}

TEST(PagecastCacheTest, FailedGrowthNeverCountsAnEntryWithoutItsBuffer) {
  for (uint32_t n = 1; n <= 4; ++n) {
    MemLedger l;
    MemLedgerInit(&l);
    MUCacheHeader h;
    MUCacheInit(10, 3, 16, 0, 0, &h, &l);
    mem_fail_after(n);
    const char d[16] = "data";
    KVXSTATUS st = MUCacheAdd(d, 1, &h, &l.block_bytes);
    mem_fail_after(0);
    if (st == KVX_OK) {
      EXPECT_EQ(h.count, 1);
    } else {
      EXPECT_EQ(st, KVXERR_NOMEMORY);
      EXPECT_EQ(h.count, 0);
    }
    for (uint16_t i = 0; i < h.allocated; ++i) EXPECT_NE(h.table[i].buffer, nullptr) << n;
    // A later add works and the ledger is whole afterwards.
    EXPECT_EQ(MUCacheAdd(d, 2, &h, &l.block_bytes), KVX_OK);
    EXPECT_STREQ(static_cast<char*>(MUCacheRetrieve(2, &h)), "data");
    MUCacheDeinit(&h, &l);
    EXPECT_EQ(l.block_bytes, 0u) << n;
  }
}

}  // namespace
}  // namespace pc::test
