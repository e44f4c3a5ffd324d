// The chunker calls on models built from chunk scripts, in-process: every CH call at
// both ends of every range (and one past each end, and below 0), range-0 ids across
// sections and the 65,536-item chunk boundary, section information, and no handle or
// IO object left after a test.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filters/framework/chunk_model.h"
#include "filters/framework/tests/chunk_fixtures.h"

namespace kvx::test {
namespace {

class ChunkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(DAInit(), KVX_OK); }
  void TearDown() override {
    EXPECT_EQ(DADeInit(), KVX_OK);
    EXPECT_EQ(KVXLiveHandleCount(), 0u);
  }
  KVXHANDLE open(const char* script) {
    KVXMEMORYSPEC spec = {sizeof spec, script, uint32_t(std::strlen(script))};
    KVXHANDLE doc = 0, chunker = 0;
    EXPECT_EQ(DAOpenDocument(&doc, KVXSPEC_MEMORY, &spec, 0), KVX_OK);
    EXPECT_EQ(DAGetHChunker(doc, &chunker), KVX_OK);
    doc_ = doc;
    return chunker;
  }
  KVXHANDLE doc_ = 0;
};

TEST_F(ChunkTest, EveryCallAtBothEndsOfEveryRange) {
  KVXHANDLE ch = open(kAllRangesScript);
  std::vector<uint8_t> buf(sizeof(KVXOBJECTITEM));  // the largest unit
  int ranges_with_units = 0;
  for (uint32_t r = 0; r < KVXRANGE_COUNT; ++r) {
    SCOPED_TRACE("range " + std::to_string(r));
    uint32_t n = 0;
    ASSERT_EQ(CHGetItemCount(ch, r, &n), KVX_OK);
    uint32_t size = range_unit_size(r);
    uint32_t id = 0;
    void* p = nullptr;
    EXPECT_EQ(CHGetItemId(ch, r, n, &id), KVXERR_NOITEM);
    EXPECT_EQ(CHGetItemId(ch, r, 0xFFFFFFFF, &id), KVXERR_NOITEM);  // below 0
    EXPECT_EQ(CHGetItem(ch, r, 0xFFFFFFFF, buf.data(), nullptr), KVXERR_NOITEM);
    if (n == 0) {
      EXPECT_EQ(CHGetItem(ch, r, 0, buf.data(), nullptr), KVXERR_NOITEM);
      EXPECT_EQ(CHLockItemRange(ch, r, 0, 0, &p), KVXERR_NOITEM);
      continue;
    }
    ++ranges_with_units;
    uint32_t first = 0, last = 0, next = 0, prev = 0;
    ASSERT_EQ(CHGetItemId(ch, r, 0, &first), KVX_OK);
    ASSERT_EQ(CHGetItemId(ch, r, n - 1, &last), KVX_OK);
    // First: read, no previous; next is the second (or none).
    EXPECT_EQ(CHGetItem(ch, r, first, buf.data(), &next), KVX_OK);
    EXPECT_EQ(CHPrevItemId(ch, r, first, &prev), KVXERR_NOITEM);
    if (n > 1) {
      uint32_t second = 0;
      EXPECT_EQ(CHGetItemId(ch, r, 1, &second), KVX_OK);
      EXPECT_EQ(next, second);
      EXPECT_EQ(CHPrevItemId(ch, r, last, &prev), KVX_OK);
    }
    // Last: read with next id none; nothing after it.
    EXPECT_EQ(CHGetItem(ch, r, last, buf.data(), &next), KVX_OK);
    EXPECT_EQ(next, 0xFFFFFFFFu);
    EXPECT_EQ(CHNextItemId(ch, r, last, &next), KVXERR_NOITEM);
    if (r != KVXRANGE_ITEMS) {
      EXPECT_EQ(CHGetItem(ch, r, last + 1, buf.data(), nullptr), KVXERR_NOITEM);
    }
    // Records: the whole range copies and locks; one byte or unit more does not.
    uint32_t bytes = n * size;
    std::vector<uint8_t> all(bytes + 1);
    EXPECT_EQ(CHGetItems(ch, r, first, all.data(), bytes), KVX_OK);
    EXPECT_EQ(CHGetItems(ch, r, first, all.data(), bytes + 1), KVXERR_NOITEM);
    EXPECT_EQ(CHGetItems(ch, r, last, all.data(), size), KVX_OK);
    EXPECT_EQ(std::memcmp(all.data(), buf.data(), size), 0);
    ASSERT_EQ(CHLockItemRange(ch, r, first, n, &p), KVX_OK);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(CHLockItemRange(ch, r, first, n + 1, &p), KVXERR_NOITEM);
    EXPECT_EQ(CHLockItemRange(ch, r, last, 1, &p), KVX_OK);
    EXPECT_EQ(CHUnlockItemRange(ch, r, last), KVX_OK);
    EXPECT_EQ(CHUnlockItemRange(ch, r, first), KVX_OK);
    EXPECT_EQ(CHUnlockItemRange(ch, r, first), KVXERR_BADPARAM);
  }
  EXPECT_EQ(ranges_with_units, KVXRANGE_COUNT);  // the script fills every range
  uint32_t n = 0;
  EXPECT_EQ(CHGetItemCount(ch, KVXRANGE_COUNT, &n), KVXERR_BADPARAM);
  EXPECT_EQ(CHGetItemCount(0, 0, &n), KVXERR_BADHANDLE);
  uint32_t filter = 0;
  EXPECT_EQ(CHGetFilter(ch, &filter), KVX_OK);
  EXPECT_EQ(filter, uint32_t(KVXFI_CHUNKSCRIPT));
  EXPECT_EQ(DACloseDocument(doc_), KVX_OK);  // every lock was given back
}

TEST_F(ChunkTest, SectionInfoAndTheRecordsOfTheFixture) {
  KVXHANDLE ch = open(kDocumentScript);
  KVXSECTIONINFO info{};
  ASSERT_EQ(CHGetSectionInfo(ch, 0, &info), KVX_OK);
  EXPECT_EQ(info.Type, uint32_t(KVXSECTION_WP));
  EXPECT_EQ(info.FirstItem, 0u);
  EXPECT_EQ(info.LastItem, 24u);
  EXPECT_EQ(info.CharacterSet, KVXCS_BIG5);
  ASSERT_EQ(CHGetSectionInfo(ch, 1, &info), KVX_OK);
  EXPECT_EQ(info.Type, uint32_t(KVXSECTION_SS));
  EXPECT_EQ(info.FirstItem, 1u << 16);
  EXPECT_EQ(info.LastItem, 1u << 16 | 12);
  EXPECT_EQ(CHGetSectionInfo(ch, 2, &info), KVXERR_NOITEM);
  // Range 1: the section record names its first item and its name in range 9.
  KVXSECTIONRECORD rec{};
  uint32_t id = 0;
  ASSERT_EQ(CHGetItemId(ch, KVXRANGE_SECTIONS, 1, &id), KVX_OK);
  ASSERT_EQ(CHGetItem(ch, KVXRANGE_SECTIONS, id, &rec, nullptr), KVX_OK);
  EXPECT_EQ(rec.FirstItem, 1u << 16);
  EXPECT_EQ(rec.NameLength, 6u);
  void* name = nullptr;
  ASSERT_EQ(CHLockItemRange(ch, KVXRANGE_NAMES, rec.NameUnit, rec.NameLength, &name), KVX_OK);
  EXPECT_EQ(static_cast<uint16_t*>(name)[0], 'S');
  EXPECT_EQ(CHUnlockItemRange(ch, KVXRANGE_NAMES, rec.NameUnit), KVX_OK);
  // A text run locks its Big5 units.
  uint32_t item[4];
  ASSERT_EQ(CHGetItem(ch, 0, 0, item, nullptr), KVX_OK);
  void* text = nullptr;
  ASSERT_EQ(CHLockItemRange(ch, KVXRANGE_TEXT, item[2], item[3], &text), KVX_OK);
  EXPECT_EQ(static_cast<uint16_t*>(text)[1], 0xA4E5);  // 文
  EXPECT_EQ(CHUnlockItemRange(ch, KVXRANGE_TEXT, item[2]), KVX_OK);
}

TEST(ChunkBuilderTest, IdsStartAChunkAtEverySectionAndEvery65536Items) {
  ChunkBuilder b;
  EXPECT_FALSE(b.item(1, 0, 0, 0));
  EXPECT_EQ(b.error(), "an item before the first section");
  ASSERT_TRUE(b.section(0, {}));
  uint32_t id = 0;
  for (uint32_t i = 0; i <= 0x10000; ++i) ASSERT_TRUE(b.item(1, i, 0, 0, &id));
  EXPECT_EQ(id, 1u << 16);  // item 65,536 opens chunk 1
  ASSERT_TRUE(b.section(1, {}));
  ASSERT_TRUE(b.item(1, 0, 0, 0, &id));
  EXPECT_EQ(id, 2u << 16);
  ASSERT_TRUE(b.section(2, {}));  // an empty section keeps its own chunk
  ASSERT_TRUE(b.section(0, {}));
  ASSERT_TRUE(b.item(1, 0, 0, 0, &id));
  EXPECT_EQ(id, 4u << 16);
  EXPECT_FALSE(b.group_close());
  ASSERT_TRUE(b.group_open(KVXGROUP_STYLE, 3));
  EXPECT_FALSE(b.section(0, {}));
  EXPECT_EQ(b.finish(), nullptr);
  ASSERT_TRUE(b.group_close());
  auto m = b.finish();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->unit_count(KVXRANGE_GROUPS), 1u);
  EXPECT_EQ(m->word(KVXRANGE_GROUPS, 0, 1), KVXGROUP_STYLE);
  uint32_t index = 0;
  EXPECT_TRUE(m->index_of(0, 1u << 16, index));
  EXPECT_EQ(index, 0x10000u);
  EXPECT_FALSE(m->index_of(0, 1u << 16 | 1, index));
  EXPECT_FALSE(b.item(1, 0, 0, 0));  // finished
}

}  // namespace
}  // namespace kvx::test
