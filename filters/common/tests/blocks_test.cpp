// Tests of the filters' block layer in libkvx.so: handles, locks, moves, the live count
// and the fail-the-nth-allocation hook.
#include <gtest/gtest.h>

#include <cstring>

#include "filters/common/kvx_abi.h"

namespace {

class BlocksTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = KVXBlockLiveCount(); }
  void TearDown() override {
    KVXBlockFailAfter(0);
    EXPECT_EQ(KVXBlockLiveCount(), live_);
  }
  uint32_t live_ = 0;
};

TEST_F(BlocksTest, AllocLockUnlockFree) {
  KVXBLOCK h = KVXBlockAlloc(KVXBLOCK_MOVABLE | KVXBLOCK_ZEROINIT, 100);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(KVXBlockLiveCount(), live_ + 1);
  EXPECT_EQ(KVXBlockSize(h), 100u);
  auto* p = static_cast<unsigned char*>(KVXBlockLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(KVXBlockLock(h), p);
  EXPECT_EQ(KVXBlockUnlock(h), 1);
  EXPECT_EQ(KVXBlockUnlock(h), 0);
  EXPECT_EQ(KVXBlockUnlock(h), -1);  // not locked
  EXPECT_EQ(KVXBlockFree(h), 0u);
  // A freed handle is refused everywhere, also after its slot is reused.
  KVXBLOCK again = KVXBlockAlloc(KVXBLOCK_FIXED, 8);
  EXPECT_NE(again, h);
  EXPECT_EQ(KVXBlockLock(h), nullptr);
  EXPECT_EQ(KVXBlockFree(h), h);
  EXPECT_EQ(KVXBlockSize(h), 0u);
  EXPECT_EQ(KVXBlockFree(again), 0u);
  EXPECT_EQ(KVXBlockLock(0), nullptr);
}

TEST_F(BlocksTest, ReAllocKeepsContentAndRefusesToGrowALockedBlock) {
  KVXBLOCK h = KVXBlockAlloc(KVXBLOCK_MOVABLE, 4);
  std::memcpy(KVXBlockLock(h), "abcd", 4);
  EXPECT_EQ(KVXBlockReAlloc(h, 4096, 0), 0u);  // locked: cannot move
  EXPECT_EQ(KVXBlockReAlloc(h, 2, 0), h);      // shrinking stays in place
  KVXBlockUnlock(h);
  ASSERT_EQ(KVXBlockReAlloc(h, 4096, KVXBLOCK_ZEROINIT), h);
  auto* p = static_cast<char*>(KVXBlockLock(h));
  EXPECT_EQ(std::string(p, 2), "ab");
  EXPECT_EQ(p[4095], 0);
  KVXBlockUnlock(h);
  KVXBlockFree(h);
}

TEST_F(BlocksTest, FailAfterFailsExactlyTheNthAllocation) {
  for (uint32_t n = 1; n <= 3; ++n) {
    KVXBlockFailAfter(n);
    KVXBLOCK got[3] = {};
    for (uint32_t i = 0; i < 3; ++i) got[i] = KVXBlockAlloc(KVXBLOCK_FIXED, 16);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(got[i] == 0, i + 1 == n) << "n=" << n << " i=" << i;
    for (KVXBLOCK h : got)
      if (h) KVXBlockFree(h);
  }
  KVXBLOCK h = KVXBlockAlloc(KVXBLOCK_FIXED, 16);
  KVXBlockFailAfter(1);
  EXPECT_EQ(KVXBlockReAlloc(h, 64, 0), 0u);  // a reallocation counts too; the block stays
  EXPECT_EQ(KVXBlockSize(h), 16u);
  KVXBlockFree(h);
}

}  // namespace
