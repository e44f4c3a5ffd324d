// Tests of the cell lookups over an in-memory item source: section parameters, widths and
// names with a capacity, cells found ascending, descending and inside runs, cell ends past
// skipped groups, cell tags, database field blocks and cell formats, and damaged sections.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "filters/html/pc_cells.h"

namespace {

struct Item {
  uint32_t kind, f1 = 0, f2 = 0, f3 = 0;
};

class MemorySource : public pc::SheetItemSource {
 public:
  std::map<uint32_t, std::vector<Item>> streams;  // stream 0 ids: section << 16 | index
  std::map<uint32_t, std::vector<Item>> sections;

  KVXSTATUS item(uint32_t stream, uint32_t id, uint32_t w[4]) override {
    const Item* it = find(stream, id);
    if (!it) return 9;
    w[0] = it->kind;
    w[1] = it->f1;
    w[2] = it->f2;
    w[3] = it->f3;
    return 0;
  }
  KVXSTATUS itemId(uint32_t stream, uint32_t index, uint32_t* id) override {
    if (stream == 0 || index >= streams[stream].size()) return 9;
    *id = index;
    return 0;
  }
  KVXSTATUS nextId(uint32_t stream, uint32_t id, uint32_t* next) override {
    if (stream != 0 && id + 1 >= streams[stream].size()) return 9;
    *next = id + 1;
    return 0;
  }
  KVXSTATUS sectionInfo(uint32_t section, uint32_t* first, uint32_t* last) override {
    auto it = sections.find(section);
    if (it == sections.end() || it->second.empty()) return 9;
    *first = section << 16;
    *last = (section << 16) + uint32_t(it->second.size()) - 1;
    return 0;
  }
  // A section's items; its entry in stream 1 points at its first item.
  void addSection(uint32_t section, std::vector<Item> items) {
    sections[section] = items;
    auto& s1 = streams[1];
    if (s1.size() <= section) s1.resize(section + 1, Item{0});
    s1[section] = Item{0, 0, 0, section << 16};
  }
  void addRange(uint32_t firstItem, uint32_t cells) { streams[15].push_back(Item{0, firstItem, cells}); }

 private:
  const Item* find(uint32_t stream, uint32_t id) {
    if (stream == 0) {
      auto it = sections.find(id >> 16);
      if (it == sections.end() || (id & 0xFFFF) >= it->second.size()) return nullptr;
      return &it->second[id & 0xFFFF];
    }
    auto& s = streams[stream];
    return id < s.size() ? &s[id] : nullptr;
  }
};

constexpr uint32_t S1 = 1u << 16;

MemorySource Sheet() {
  MemorySource m;
  m.addSection(0, {{70}, {0}});
  m.addSection(1, {
                      {84, 3, 2},        // 0
                      {76},              // 1
                      {77, 10, 100, 1},  // 2: ten characters
                      {77, 500, 101, 2}, // 3
                      {78},              // 4
                      {70},              // 5 cell 0
                      {7},               // 6
                      {70},              // 7 cell 1
                      {67, 1u << 29},    // 8 skipped group
                      {7},               // 9
                      {68},              // 10
                      {71},              // 11 cell 2
                      {67, 0x20130000},  // 12 cell tag
                      {72},              // 13 cell 3
                      {72},              // 14 cell 4
                      {87, 5u << 16},    // 15 cells 5-9
                      {45},              // 16
                      {0},               // 17
                  });
  m.addRange(0, 1);
  m.addRange(S1 | 5, 3);
  m.addRange(S1 | 13, 7);
  return m;
}

TEST(PagecastCells, SectionParamsWidthsAndNames) {
  MemorySource m = Sheet();
  pc::SheetSectionParams p;
  ASSERT_EQ(pc::CUGetSSSectionParams(1, &p, m), 0);
  EXPECT_EQ(p.dim1, 3u);
  EXPECT_EQ(p.dim2, 2u);
  EXPECT_EQ(p.columns, 2u);
  EXPECT_EQ(p.blockStart, S1 | 1);
  EXPECT_EQ(p.countGiven, 0u);
  uint32_t widths[3] = {}, names[3] = {};
  size_t n = 0;
  ASSERT_EQ(pc::CUGatherSSDBCellWidths(S1, widths, 3, &n, m), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(widths[0], 1200u);
  EXPECT_EQ(widths[1], 500u);
  ASSERT_EQ(pc::CUGatherSSDBCellWidths(S1, widths, 1, &n, m), 0);  // stops at the capacity
  EXPECT_EQ(n, 1u);
  ASSERT_EQ(pc::CUFindSSDBCellNameIds(S1, names, 3, &n, m), 0);
  EXPECT_EQ(names[1], 101u);
  EXPECT_EQ(pc::CUGatherSSDBCellWidths(0, widths, 3, &n, m), pc::kCellNotFound);  // no block
  EXPECT_NE(pc::CUGetSSSectionParams(7, &p, m), 0);
}

TEST(PagecastCells, CellsAscendingDescendingAndInRuns) {
  MemorySource m = Sheet();
  const uint32_t expected[10] = {5, 7, 11, 13, 14, 15, 15, 15, 15, 15};
  pc::SheetCellCursor cursor;
  for (uint32_t cell = 0; cell < 10; ++cell)
    EXPECT_EQ(pc::CUGetSSCellBeginId(&cursor, 1, cell / 2, cell % 2, m), S1 | expected[cell]) << cell;
  for (uint32_t cell = 10; cell-- > 0;)
    EXPECT_EQ(pc::CUGetSSCellBeginId(&cursor, 1, cell / 2, cell % 2, m), S1 | expected[cell]) << cell;
  EXPECT_EQ(pc::CUGetSSCellBeginId(&cursor, 1, 5, 0, m), pc::kNoItem);  // past the last range
  EXPECT_EQ(pc::CUGetSSCellBeginId(&cursor, 1, 0, 2, m), pc::kNoItem);  // column = count
  EXPECT_EQ(pc::CUGetSSCellBeginId(&cursor, 1, 1, 1, m), S1 | 13);     // still usable
  pc::SheetCellCursor fresh;
  EXPECT_EQ(pc::CUGetSSCellBeginId(&fresh, 9, 0, 0, m), pc::kNoItem);   // no such section
}

TEST(PagecastCells, CountGivenPutsTheFirstIndexSecond) {
  MemorySource m;
  m.addSection(0, {{75, 0, 3}, {76}, {77}, {77}, {78}, {70}, {70}, {70}, {70}, {70}, {70}, {0}});
  m.addRange(5, 6);
  pc::SheetSectionParams p;
  ASSERT_EQ(pc::CUGetSSSectionParams(0, &p, m), 0);
  EXPECT_EQ(p.columns, 3u);
  EXPECT_EQ(p.countGiven, 1u);
  pc::SheetCellCursor c;
  EXPECT_EQ(pc::CUGetSSCellBeginId(&c, 0, 2, 1, m), 5u + 1 * 3 + 2);
  EXPECT_EQ(pc::CUGetSSCellBeginId(&c, 0, 3, 0, m), pc::kNoItem);
}

TEST(PagecastCells, CellEndsAndTags) {
  MemorySource m = Sheet();
  const std::pair<uint32_t, uint32_t> ends[] = {
      {5, 6}, {7, 11}, {13, 13}, {15, 15}, {16, 16},
  };
  for (const auto& [first, end] : ends) EXPECT_EQ(pc::CUFindSSDBCellEndId(S1 | first, m), S1 | end) << first;
  EXPECT_EQ(pc::CUFindSSDBCellEndId(S1 | 99, m), pc::kNoItem);
  EXPECT_EQ(pc::CUFindSSCellTagInLineId(S1 | 11, m), pc::kNoItem);  // the cell start itself is a boundary
  EXPECT_EQ(pc::CUFindSSCellTagInLineId(S1 | 12, m), S1 | 12);
  EXPECT_EQ(pc::CUFindSSCellTagInLineId(S1 | 6, m), pc::kNoItem);
}

TEST(PagecastCells, DatabaseFields) {
  MemorySource m;
  m.addSection(2, {{80}, {82, 10, 7, 1}, {82, 10, 8, 1}, {82, 10, 9, 1}, {81}, {83}, {83}, {83}, {74}, {0}});
  const uint32_t s2 = 2u << 16;
  pc::SheetSectionParams p;
  ASSERT_EQ(pc::CUGetSSSectionParams(2, &p, m), 0);
  EXPECT_EQ(p.columns, 3u);
  uint32_t widths[3];
  size_t n;
  ASSERT_EQ(pc::CUGatherSSDBCellWidths(s2, widths, 3, &n, m), 0);
  ASSERT_EQ(n, 3u);
  for (uint32_t w : widths) EXPECT_EQ(w, 1200u);
  EXPECT_EQ(pc::CUFindDBStartFieldInfoId(s2, s2 | 9, m), s2);
  EXPECT_EQ(pc::CUFindDBStartFieldInfoId(s2 | 1, s2 | 9, m), pc::kNoItem);
  EXPECT_EQ(pc::CUGetDBCellFormatId(s2, 2, m), s2 | 7);
  EXPECT_EQ(pc::CUGetDBCellFormatId(s2, 3, m), pc::kNoItem);
}

}  // namespace

namespace {

// Damaged sections: random kinds, run lengths, counts and range entries. Every answer is
// an item of the section or no item, and every walk ends.
TEST(PagecastCells, DamagedSectionsStayInside) {
  std::mt19937 rng(28);
  const uint32_t kinds[] = {0, 45, 67, 68, 70, 72, 74, 75, 76, 77, 78, 80, 81, 82, 83, 84, 87, 110, 7};
  for (int round = 0; round < 300; ++round) {
    MemorySource m;
    std::vector<Item> items;
    size_t n = 1 + rng() % 40;
    for (size_t i = 0; i < n; ++i) {
      Item it{kinds[rng() % std::size(kinds)], uint32_t(rng()), uint32_t(rng() % 8), uint32_t(rng() % 4)};
      if (it.kind == 67 && rng() % 2) it.f1 |= 1u << 29;
      items.push_back(it);
    }
    if (rng() % 4) items.push_back(Item{0});
    m.addSection(1, items);
    for (int r = 0, ranges = int(rng() % 4); r < ranges; ++r) m.addRange(S1 | uint32_t(rng() % (n + 3)), uint32_t(rng()));
    const uint32_t last = S1 + uint32_t(items.size()) - 1;
    auto inside = [&](uint32_t id) { return id == pc::kNoItem || (id >= S1 && id <= last); };
    pc::SheetSectionParams p;
    pc::CUGetSSSectionParams(1, &p, m);
    uint32_t widths[4];
    size_t count;
    pc::CUGatherSSDBCellWidths(S1, widths, 4, &count, m);
    EXPECT_LE(count, 4u);
    pc::SheetCellCursor cursor;
    for (int q = 0; q < 20; ++q) EXPECT_TRUE(inside(pc::CUGetSSCellBeginId(&cursor, 1, rng() % 6, rng() % 6, m)));
    for (uint32_t id = S1; id <= last; ++id) {
      EXPECT_TRUE(inside(pc::CUFindSSDBCellEndId(id, m)));
      EXPECT_TRUE(inside(pc::CUFindSSCellTagInLineId(id, m)));
      EXPECT_TRUE(inside(pc::CUGetDBCellFormatId(id, rng() % 3, m)));
      EXPECT_TRUE(inside(pc::CUFindDBStartFieldInfoId(id, last, m)));
    }
  }
}

}  // namespace
