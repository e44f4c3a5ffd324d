// Tests of the database id set: ordered insertion, the all state, the size limit and
// filling from section INDEX.
#include "common/dbid.h"

#include <gtest/gtest.h>

#include "common/ini.h"

using qm::DatabaseIdSet;

TEST(DatabaseIdSet, AddKeepsIdsSortedAndUnique) {
  DatabaseIdSet set;
  EXPECT_TRUE(set.is_all());
  EXPECT_EQ(set.count(), 0u);
  EXPECT_TRUE(set.add(7, true));
  EXPECT_FALSE(set.is_all());
  EXPECT_TRUE(set.add(3, false));
  EXPECT_FALSE(set.add(7, false));  // duplicate refused, flag unchanged
  EXPECT_TRUE(set.add(5, true));
  EXPECT_EQ(set.ids(), (std::vector<uint16_t>{3, 5, 7}));
  EXPECT_FALSE(set.active(0));
  EXPECT_TRUE(set.active(2));
  EXPECT_EQ(set.slot_of(5), 1);
  EXPECT_EQ(set.slot_of(4), -1);
  EXPECT_EQ(set.slot_of(0), -1);
}

TEST(DatabaseIdSet, IdZeroStartsAnEmptySet) {
  DatabaseIdSet set;
  EXPECT_FALSE(set.add(0, true));
  EXPECT_FALSE(set.is_all());
  EXPECT_EQ(set.count(), 0u);
  set.add(4, true);
  set.reset(true);
  EXPECT_TRUE(set.is_all());
  EXPECT_TRUE(set.include_inactive());
  EXPECT_EQ(set.count(), 0u);
}

TEST(DatabaseIdSet, AThousandIdsAreNotTakenForAll) {
  DatabaseIdSet set;
  for (uint16_t id = 1000; id >= 1; --id) ASSERT_TRUE(set.add(id, true)) << id;
  EXPECT_EQ(set.count(), 1000u);
  EXPECT_FALSE(set.is_all());
  EXPECT_FALSE(set.add(1001, true));  // past the limit
  EXPECT_FALSE(set.add(5000, true));
  EXPECT_EQ(set.count(), 1000u);
  EXPECT_EQ(set.id(0), 1);
  EXPECT_EQ(set.id(999), 1000);
}

TEST(DatabaseIdSet, FillsFromIndex) {
  struct Case {
    const char* what;
    const char* ini;
    bool include_inactive;
    std::vector<uint16_t> ids;
    std::vector<bool> active;
  };
  const Case cases[] = {
      {"inactive left out", "[INDEX]\n9=1\n2=1\n4=0\n", false, {2, 9}, {true, true}},
      {"inactive taken", "[INDEX]\n9=1\n2=1\n4=0\n", true, {2, 4, 9}, {true, false, true}},
      {"odd values are inactive", "[INDEX]\n3=yes\n5=1x\n", true, {3, 5}, {false, true}},
      {"keys that are no id skipped", "[INDEX]\nabc=1\n0=1\n-3=1\n70000=1\n65535=1\n 8=1\n", false,
       {8, 65535}, {true, true}},
      {"missing section: empty, not all", "[VESPRIN]\nx=1\n", true, {}, {}},
      {"empty section", "[INDEX]\n[DB-1]\n", true, {}, {}},
      {"only inactive ones, left out", "[INDEX]\n1=0\n", false, {}, {}},
      {"first INDEX section only", "[index]\n1=1\n[INDEX]\n2=1\n", false, {1}, {true}},
  };
  for (const Case& c : cases) {
    qm::IniTree tree;
    tree.parse(c.ini);
    DatabaseIdSet set;
    set.reset(c.include_inactive);
    set.load_index(tree);
    EXPECT_FALSE(set.is_all()) << c.what;
    EXPECT_EQ(set.ids(), c.ids) << c.what;
    std::vector<bool> active;
    for (size_t i = 0; i < set.count(); ++i) active.push_back(set.active(i));
    EXPECT_EQ(active, c.active) << c.what;
  }
}

TEST(DatabaseIdSet, LoadsFromTheSharedTree) {
  qm::ini_free();
  qm::ini_tree().parse("[INDEX]\n2=1\n1=0\n");
  qm::DatabaseIdSet set;
  set.reset(false);
  set.load_index(qm::ini_tree());
  EXPECT_EQ(set.ids(), (std::vector<uint16_t>{2}));
  set.reset(false);
  EXPECT_TRUE(set.is_all());
  EXPECT_TRUE(set.add(6, true));
  EXPECT_EQ(set.ids(), (std::vector<uint16_t>{6}));
  qm::ini_free();
}
