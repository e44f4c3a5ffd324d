// The style resolver: chains resolved parent first, each style in its own slot; slots
// reused round-robin with their keys re-gathered; parent cycles cut; list styles gathered
// on every request and bound to the context; unknown styles give the default record.
#include <gtest/gtest.h>

#include <map>

#include "filters/html/pc_styles.h"

namespace pc::test {
namespace {

class Defs : public StyleDefs {
 public:
  std::map<uint32_t, StyleDef> defs;
  std::map<uint32_t, int> reads;
  bool definition(uint32_t id, StyleDef& def) override {
    ++reads[id];
    auto it = defs.find(id);
    if (it == defs.end()) return false;
    def = it->second;
    return true;
  }
};

class NoSource : public AttrSource {
 public:
  KVXSTATUS item(uint32_t, uint32_t[4], uint32_t*) override { return 37; }
  KVXSTATUS block(uint32_t, uint32_t*, uint32_t) override { return 37; }
  KVXSTATUS style(uint32_t, uint32_t, const StyleAttrRecord**) override { return 37; }
  std::u16string fontName(uint32_t) override { return u""; }
};

StyleDef def(uint32_t kind, uint32_t parent, std::vector<std::array<uint32_t, 4>> items) {
  StyleDef d;
  d.kind = kind;
  d.parent = parent;
  d.items = std::move(items);
  d.items.push_back({68, 0, 0, 0});
  return d;
}

TEST(PagecastStyles, ChainsParentFirstThroughSlotReuse) {
  Defs d;
  // 1 <- 2 <- 3 <- 4: sizes from the root, bold from 2, alignment from 4.
  d.defs[1] = def(1, kNoParent, {{9, 200, 0, 0}});
  d.defs[2] = def(1, 1, {{8, 2, 1, 0}});
  d.defs[3] = def(0, 2, {{9, 300, 0, 0}});
  d.defs[4] = def(1, 3, {{12, 3, 0, 0}});
  NoSource src;
  for (uint32_t slots : {1u, 2u, 8u}) {
    StyleCache cache(d, src, slots);
    for (int round = 0; round < 2; ++round) {
      const StyleAttrRecord* r = nullptr;
      int key = -1;
      ASSERT_EQ(cache.GatherStyle(4, 0, &r, &key), KVX_OK);
      EXPECT_EQ(r->chars.fontSize, 300) << slots;
      EXPECT_EQ(r->chars.toggles[0], 1) << slots;
      EXPECT_EQ(r->para.alignment, 3) << slots;
      EXPECT_EQ(cache.keys()[size_t(key)].id, 4u);
      ASSERT_EQ(cache.GatherStyle(2, 0, &r, &key), KVX_OK);
      EXPECT_EQ(r->chars.fontSize, 200) << slots;
      EXPECT_EQ(r->para.alignment, 0) << slots;
    }
    if (slots == 8) {
      EXPECT_EQ(d.reads[4], 1);  // cached after the first round
    }
    d.reads.clear();
  }
}

TEST(PagecastStyles, CyclesListsAndUnknowns) {
  Defs d;
  d.defs[1] = def(1, 2, {{9, 200, 0, 0}});
  d.defs[2] = def(1, 1, {{12, 2, 0, 0}});
  d.defs[5] = def(4, kNoParent, {});
  d.defs[6] = def(1, 6, {{12, 4, 0, 0}});
  NoSource src;
  StyleCache cache(d, src, 4);
  const StyleAttrRecord* r = nullptr;
  int key = -1;
  ASSERT_EQ(cache.GatherStyle(1, 0, &r, &key), KVX_OK);
  EXPECT_EQ(r->chars.fontSize, 200);
  EXPECT_EQ(r->para.alignment, 2);
  ASSERT_EQ(cache.GatherStyle(6, 0, &r, &key), KVX_OK);  // its own parent
  EXPECT_EQ(r->para.alignment, 4);

  ASSERT_EQ(cache.GatherStyle(5, 77, &r, &key), KVX_OK);
  ASSERT_EQ(cache.GatherStyle(5, 77, &r, &key), KVX_OK);
  EXPECT_EQ(d.reads[5], 2);  // list styles every time
  EXPECT_EQ(cache.keys()[size_t(key)].parent, 77u);
  EXPECT_TRUE(cache.keys()[size_t(key)].bound);

  ASSERT_EQ(cache.GatherStyle(99, 0, &r, &key), KVX_OK);
  EXPECT_EQ(r->chars.flags, 0u);
  EXPECT_EQ(cache.StyleKeyWord(-1), -1);
  EXPECT_EQ(cache.StyleKeyWord(1000), -1);

  // A definition that applies itself ends.
  d.defs[7] = def(1, kNoParent, {{28, 0, 7, 0}, {12, 3, 0, 0}});
  ASSERT_EQ(cache.GatherStyle(7, 0, &r, &key), KVX_OK);

  // A chain longer than the depth bound resolves without running away.
  Defs deep;
  for (uint32_t i = 1; i <= 200; ++i) deep.defs[i] = def(1, i + 1, {{9, i, 0, 0}});
  StyleCache dc(deep, src, 3);
  ASSERT_EQ(dc.GatherStyle(1, 0, &r, &key), KVX_OK);
  EXPECT_EQ(r->chars.fontSize, 1);
}

}  // namespace
}  // namespace pc::test
