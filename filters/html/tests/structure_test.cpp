// Block structure of the HTML writer in-process: border words, border kinds and their
// reduction by flavour, cell widths, spans, alignment and background, nested tables that
// close in order, rules, indentation levels and lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/html/pc_structure.h"
#include "filters/html/tests/writer_harness.h"

namespace pc::test {
namespace {

TEST(PagecastStructure, BorderWordsAndKinds) {
  struct W {
    uint32_t flags;
    int line, thickness;
  } words[] = {{0x0800, 2, 1}, {0x1000, 2, 1}, {0x0400, 2, 4}, {0x4000, 2, 4}, {0x1, 0, 2},
               {0x2, 2, 2},    {0x0, 1, 2},    {0x4, 1, 1},    {0x8, 1, 4},    {0x3, 0, 2}};
  for (const W& w : words) {
    BorderWord b = ClassifyBorder(w.flags);
    EXPECT_EQ(b.line, w.line) << w.flags;
    EXPECT_EQ(b.thickness, w.thickness) << w.flags;
  }
  struct K {
    int o, a, b, kind;
  } kinds[] = {{0, 2, 0, 8}, {0, 2, 1, 10}, {0, 2, 2, 3}, {0, 0, 2, 7}, {0, 1, 2, 9}, {0, 0, 0, 1},
               {0, 1, 0, 2}, {0, 0, 1, 2},  {0, 1, 1, 2}, {1, 2, 0, 8}, {2, 2, 1, 8}, {1, 2, 2, 5},
               {2, 2, 2, 6}, {1, 0, 2, 7},  {2, 1, 2, 7}, {1, 0, 0, 4}, {2, 1, 1, 4}};
  for (const K& k : kinds) EXPECT_EQ(BorderKindFromLines(k.o, k.a, k.b), k.kind) << k.o << k.a << k.b;
}

TEST(PagecastStructure, BorderReduction) {
  // Kinds 0-11 (0 and 11 are outside the range) for a table with rows and columns, and
  // kind 2 without columns, per flavour.
  struct R {
    uint32_t flavour;
    int expect[12];
    int kind2_single;
  } rows[] = {
      {7, {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1}, 2},
      {12, {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1}, 2},
      {13, {1, 1, 4, 4, 4, 4, 4, 4, 4, 4, 4, 1}, 1},
      {9, {1, 1, 2, 3, 4, 5, 6, 4, 4, 2, 2, 1}, 2},
      {2, {1, 1, 4, 4, 4, 4, 4, 4, 4, 4, 4, 1}, 1},
  };
  for (const R& r : rows) {
    Flavour f;
    ConfigureFlavour(f, r.flavour, 0);
    for (int kind = 0; kind < 12; ++kind)
      EXPECT_EQ(ReduceBorderKind(kind, true, true, f), r.expect[kind]) << r.flavour << " kind " << kind;
    EXPECT_EQ(ReduceBorderKind(2, true, false, f), r.kind2_single) << r.flavour;
  }
  Flavour f;
  ConfigureFlavour(f, 11, 1);  // neither BORDER entry without the flag rule
  EXPECT_EQ(ReduceBorderKind(6, true, true, f), 1);
}

TEST(PagecastStructure, Cells) {
  struct C {
    uint32_t flavour, flags;
    uint32_t tableTwips;
    bool noFixed;
    CellSpec cell;
    bool empty;
    const char* expect;
  };
  auto cell = [](unsigned first, unsigned count, bool header) {
    CellSpec c;
    c.firstColumn = first;
    c.columnCount = count;
    c.header = header;
    return c;
  };
  CellSpec white = cell(0, 1, false), coloured = cell(0, 1, false), aligned = cell(1, 1, false);
  white.hasBackground = true;
  coloured.hasBackground = true;
  coloured.background = 0x000080FF;
  aligned.align = 3;
  aligned.valign = 1;
  aligned.rowSpan = 1;
  aligned.height = 30;
  aligned.noWrap = true;
  C cases[] = {
      {7, 0, 4320, false, cell(0, 3, false), false, "\r\n<TD WIDTH=\"100%\" COLSPAN=\"3\"></TD>"},
      {7, 0, 0, false, cell(0, 3, false), false, "\r\n<TD WIDTH=\"216\" COLSPAN=\"3\"></TD>"},
      {7, 0, 0, false, cell(0, 1, true), false, "\r\n<TH WIDTH=\"90\"><B></B></TH>"},
      {7, 0, 0, true, cell(0, 1, true), false, "\r\n<TH><B></B></TH>"},
      {11, 1, 0, true, cell(0, 1, true), true, "\r\n<TH><B>&#160;</B></TH>"},
      {7, 0, 0, true, cell(0, 1, true), true, "\r\n<TH><B>&nbsp;</B></TH>"},
      {1, 0, 0, true, cell(0, 1, true), true, "\r\n"},  // no cells in value 1
      {7, 0, 0, true, white, false, "\r\n<TD></TD>"},
      {7, 0, 0, true, coloured, false, "\r\n<TD BGCOLOR=\"#FF8000\"></TD>"},
      {7, 0, 0, true, aligned, false,
       "\r\n<TD NOWRAP=\"NOWRAP\" ALIGN=\"CENTER\" VALIGN=\"TOP\" ROWSPAN=\"2\" HEIGHT=\"30\"></TD>"},
  };
  for (const C& c : cases) {
    Harness h(c.flavour, c.flags);
    TableState t;
    t.columns = {1440, 1440, 1440};
    t.tableTwips = c.tableTwips;
    t.noFixedWidth = c.noFixed;
    uint32_t st = 0;
    EmitRaw("x", st, h.s);  // something on the line, so the cell starts a new one
    OpenCell(c.cell, false, st, h.s, t);
    CloseCell(c.empty, st, h.s, t);
    EXPECT_EQ(h.out().substr(1), c.expect) << c.flavour;
  }
}

TEST(PagecastStructure, NestedTablesCloseInOrder) {
  struct N {
    int kind;
    const char* expect;
  } cases[] = {
      {1, "<TABLE></TABLE>\r\n"},
      {4, "<TABLE BORDER=\"2\" CELLSPACING=\"0\"></TABLE>\r\n"},
      {3,
       "<TABLE BORDER=\"2\" CELLSPACING=\"0\">\r\n<TR><TD><TABLE CELLSPACING=\"0\" BORDER=\"2\">\r\n<TR><TD>"
       "<TABLE CELLSPACING=\"0\"></TABLE>\r\n</TD></TR>\r\n</TABLE>\r\n</TD></TR>\r\n</TABLE>\r\n"},
      {8, "<TABLE BORDER=\"2\" CELLSPACING=\"0\"><TR><TD></TD></TR>\r\n</TABLE>\r\n"},
  };
  for (const N& n : cases) {
    Harness h(7);
    std::vector<TableState> stack;
    TableState t;
    t.kind = n.kind;
    uint32_t st = 0;
    OpenTable(t, st, h.s, stack);
    CloseTable(st, h.s, stack);
    EXPECT_TRUE(stack.empty());
    EXPECT_EQ(h.out(), n.expect) << n.kind;
  }
}

TEST(PagecastStructure, RulesIndentsAndLists) {
  Harness h(7);
  uint32_t st = 0;
  WriteRule(50, 3, st, h.s);
  WriteRuleSized(2, st, h.s);
  EXPECT_EQ(h.out(), "<HR SIZE=\"50%\" ALIGN=\"CENTER\"></HR>\r\n<HR SIZE=\"2\"></HR>");
  for (auto [twips, levels] : {std::pair{0, 0}, {-720, 0}, {359, 0}, {360, 1}, {720, 1}, {1079, 1}, {1080, 2},
                               {100000, 10}})
    EXPECT_EQ(IndentLevels(twips), levels) << twips;

  Harness l(7);
  ListSpec numbers{2, "a", 3, true};
  StartList(numbers, st, l.s);
  EXPECT_EQ(StartListItem(11, 3, st, l.s), 18);
  EXPECT_EQ(StartListItem(10, 3, st, l.s), KVX_OK);
  EndListItem(false, st, l.s);
  EXPECT_EQ(StartListItem(10, 7, st, l.s), KVX_OK);
  EndListItem(true, st, l.s);
  EndList(st, l.s);
  EXPECT_EQ(l.out(), "<OL TYPE=\"a\" START=\"3\"><LI></LI><LI VALUE=\"7\">&nbsp;<BR></BR></LI></OL>\r\n");

  Harness c(13);
  StartList(ListSpec{1, "SQUARE", 1, true}, st, c.s);
  EndList(st, c.s);
  StartList(ListSpec{1, nullptr, 1, false}, st, c.s);
  EndList(st, c.s);
  EXPECT_EQ(c.out(), "<UL STYLE=\"list-style: square\"></UL>\r\n<UL STYLE=\"list-style: none\"></UL>\r\n");

  // Where the list tag cannot say its start, the first item's VALUE does.
  Harness v(13);
  StartList(ListSpec{2, "1", 3, true}, st, v.s);
  EXPECT_EQ(StartListItem(10, 3, st, v.s), KVX_OK);
  EndListItem(false, st, v.s);
  EndList(st, v.s);
  EXPECT_EQ(v.out(), "<OL STYLE=\"list-style: decimal\"><LI VALUE=\"3\"></LI></OL>\r\n");
}

TEST(PagecastStructure, IndentsAndFrames) {
  struct C {
    uint32_t flavour;
    int first, second;
    const char* expect;
  } cases[] = {
      // value 7: F5 and F8 on, the whole count anew as UL
      {7, 2, 1, "<UL><UL></UL>\r\n</UL>\r\n<UL></UL>\r\n"},
      // value 2: neither, only the change as BLOCKQUOTE; value 13 has no BLOCKQUOTE at all
      {2, 2, 1, "<BLOCKQUOTE><BLOCKQUOTE></BLOCKQUOTE>\r\n</BLOCKQUOTE>\r\n"},
      {2, 0, 0, ""},
      {13, 2, 1, ""},
  };
  for (const C& c : cases) {
    Harness h(c.flavour);
    uint32_t st = 0;
    StartIndent(c.first, st, h.s);
    StartIndent(c.second, st, h.s);
    EndIndent(st, h.s);
    EXPECT_EQ(h.out(), c.expect) << c.flavour;
  }
  struct F {
    uint32_t flavour;
    const char* expect;
  } frames[] = {
      {7, "<TABLE NOWRAP=\"NOWRAP\" ALIGN=\"RIGHT\" WIDTH=\"200\"><TR><TD>x</TD></TR>\r\n</TABLE>\r\n"},
      {13, "<DIV STYLE=\"width: 200px;\">x</DIV>\r\n"},
  };
  for (const F& f : frames) {
    Harness h(f.flavour);
    std::vector<TableState> stack;
    uint32_t st = 0;
    OpenFrame(200, 2, st, h.s, stack);
    EmitRaw("x", st, h.s);
    CloseFrame(st, h.s, stack);
    EXPECT_TRUE(stack.empty());
    EXPECT_EQ(h.out(), f.expect) << f.flavour;
  }
}

}  // namespace
}  // namespace pc::test
