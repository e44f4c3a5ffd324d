// Global memory blocks and MulDiv of the drawing layer.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gdi/qmgdi.h"

namespace {

TEST(GlobalMemory, MovableBlockKeepsItsHandleAndContentThroughGrowth) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 16u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0);
  std::memcpy(p, "0123456789abcdef", 16);
  EXPECT_EQ(GlobalFlags(h), 1u);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GlobalReAlloc(h, 100000, GMEM_ZEROINIT), h);
  EXPECT_EQ(GlobalSize(h), 100000u);
  p = static_cast<unsigned char*>(GlobalLock(h));
  EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
  EXPECT_EQ(p[99999], 0);
  EXPECT_EQ(GlobalHandle(p), h);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, FixedBlockHandleIsItsAddress) {
  HGLOBAL h = GlobalAlloc(GPTR, 8);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), h);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, StaleAndForeignHandlesAreRefused) {
  int local = 0;
  HGLOBAL h = GlobalAlloc(GHND, 4);
  int before = QmLiveGlobalBlocks();
  ASSERT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(QmLiveGlobalBlocks(), before - 1);
  for (HGLOBAL bad : {h, static_cast<HGLOBAL>(&local), static_cast<HGLOBAL>(nullptr)}) {
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalReAlloc(bad, 8, 0), nullptr);
    EXPECT_EQ(GlobalFree(bad), bad);
  }
}

TEST(MulDiv, RoundsHalfAwayFromZeroAndRefusesOverflow) {
  struct Case {
    int32_t a, b, c, want;
  } cases[] = {
      {10, 3, 2, 15},        {1, 1, 2, 1},           {-1, 1, 2, -1},         {1, -1, 2, -1},
      {-3, -1, 2, 2},        {5, 1, 3, 2},           {4, 1, 3, 1},           {-5, 1, 3, -2},
      {7, 0, 5, 0},          {1, 1, 0, -1},          {INT32_MAX, 2, 2, INT32_MAX},
      {INT32_MAX, 2, 1, -1}, {INT32_MIN, 1, 1, INT32_MIN}, {INT32_MIN, -1, 1, -1},
      {65536, 65536, 65536, 65536}, {100, 7, -3, -233},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << " * " << c.b << " / " << c.c;
}

}  // namespace
