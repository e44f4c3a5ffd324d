// Attribute gathering over a real chunker (a chunk script opened by the framework): style
// definitions from their identified groups resolved parent first, a style applied in a
// paragraph, skippable groups walked over, font names by id, the run-end scanner, group
// skipping and the text frame finder's empty range; scope ends, property groups, list
// markers and their fonts, and font names and texts in their byte layouts.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "filters/html/pc_chunkattrs.h"
#include "filters/html/pc_fontnames.h"

namespace pc::test {
namespace {

class PagecastChunkAttrs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(DAInit(), KVX_OK); }
  void TearDown() override {
    if (doc_) {
      EXPECT_EQ(DACloseDocument(doc_), KVX_OK);
    }
    EXPECT_EQ(DADeInit(), KVX_OK);
    EXPECT_EQ(KVXLiveHandleCount(), 0u);
  }
  KVXHANDLE open(const std::string& body) {
    script_ = "kvx-chunks 1\n" + body;
    KVXMEMORYSPEC spec = {sizeof spec, script_.data(), uint32_t(script_.size())};
    KVXHANDLE chunker = 0;
    EXPECT_EQ(DAOpenDocument(&doc_, KVXSPEC_MEMORY, &spec, 0), KVX_OK);
    EXPECT_EQ(DAGetHChunker(doc_, &chunker), KVX_OK);
    return chunker;
  }
  // The ids of the main stream in order.
  std::vector<uint32_t> ids(KVXHANDLE ch) {
    std::vector<uint32_t> out;
    uint32_t id = 0;
    EXPECT_EQ(CHGetItemId(ch, KVXRANGE_ITEMS, 0, &id), KVX_OK);
    while (id != kNoItemId && out.size() < 1000) {
      out.push_back(id);
      uint8_t b[16];
      uint32_t next = 0;
      if (CHGetItem(ch, KVXRANGE_ITEMS, id, b, &next) != KVX_OK) break;
      id = next;
    }
    return out;
  }
  std::string script_;
  KVXHANDLE doc_ = 0;
};

// A style record of range 3: kind, word 3, word 4, parent, three zero words.
std::string style_record(uint32_t kind, uint32_t outline, uint32_t parent) {
  char b[80];
  auto hex = [](uint32_t v) {
    char h[9];
    std::snprintf(h, sizeof h, "%02x%02x%02x%02x", v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24);
    return std::string(h);
  };
  std::snprintf(b, sizeof b, "record 3 %s%s%s%s%s\n", hex(kind).c_str(), hex(0).c_str(), hex(outline).c_str(),
                hex(parent).c_str(), std::string(24, '0').c_str());
  return b;
}

const std::string kStyles = style_record(1, 2, 0xFFFFFFFF) + style_record(1, 3, 1) + style_record(1, 0, 2) +
                            style_record(1, 0, 4) +
                            "group 0xA008001C 1 0\nitem 12 3 0 0\nitem 8 2 1 0\nend\n"
                            "group 0xA008001C 2 28\nitem 98 0 240 0\nitem 9 300 0 0\nend\n"
                            "group 0xA008001C 3 56\nitem 8 3 1 0\nend\n"      // parent 2
                            "group 0xA008001C 4 84\nitem 8 12 1 0\nend\n";    // its own parent

TEST_F(PagecastChunkAttrs, StylesResolveParentFirst) {
  KVXHANDLE ch = open("section wp\n" + kStyles + "text cp1252 \"x\"\npara\n");
  ChunkerAttrs src(ch, 2);
  const StyleAttrRecord* r = nullptr;
  int key = -1;
  ASSERT_EQ(src.cache().GatherStyle(2, 0, &r, &key), KVX_OK);
  EXPECT_EQ(r->para.alignment, 3);  // from style 1
  EXPECT_EQ(r->para.spaceBefore, 240u);
  EXPECT_EQ(r->chars.toggles[0], 1);
  EXPECT_EQ(r->chars.fontSize, 300);
  EXPECT_EQ(src.cache().StyleKeyWord(key), 3);
  // Two slots for three styles: the oldest slot is reused and gathered again on its next use.
  ASSERT_EQ(src.cache().GatherStyle(3, 0, &r, nullptr), KVX_OK);
  EXPECT_EQ(r->chars.toggles[1], 1);
  EXPECT_EQ(r->chars.toggles[0], 1);
  ASSERT_EQ(src.cache().GatherStyle(1, 0, &r, nullptr), KVX_OK);
  EXPECT_EQ(r->para.alignment, 3);
  EXPECT_EQ(r->chars.fontSize, 0);
  // A style that is its own parent has none; a style not defined gives the default.
  ASSERT_EQ(src.cache().GatherStyle(4, 0, &r, nullptr), KVX_OK);
  EXPECT_EQ(r->chars.toggles[9], 1);
  EXPECT_EQ(r->chars.toggles[0], 0);
  ASSERT_EQ(src.cache().GatherStyle(77, 0, &r, nullptr), KVX_OK);
  EXPECT_EQ(r->para.flags, 0u);
}

TEST_F(PagecastChunkAttrs, DefinitionsAreFoundWhereFindStyleItemFindsThem) {
  // Definitions are read once and kept: asked again, in any order, each answers as
  // FindStyleItem finds its group; styles that are nowhere stay missing.
  KVXHANDLE ch = open("section wp\n" + kStyles + "text cp1252 \"x\"\npara\n");
  ChunkerAttrs src(ch);
  struct Case {
    uint32_t id;
    bool found;
    std::array<uint32_t, 4> first;  // the definition's first item
    size_t items;                   // with the close
  } cases[] = {{3, true, {8, 3, 1, 0}, 2},  {77, false, {}, 0}, {1, true, {12, 3, 0, 0}, 3},
               {3, true, {8, 3, 1, 0}, 2},  {77, false, {}, 0}, {2, true, {98, 0, 240, 0}, 3},
               {kNoItemId, false, {}, 0}};
  for (const Case& c : cases) {
    uint32_t open = 0;
    EXPECT_EQ(FindStyleItem(ch, c.id, kStyleGroup, 0, &open, nullptr) == KVX_OK, c.found) << c.id;
    StyleDef def;
    ASSERT_EQ(src.definition(c.id, def), c.found) << c.id;
    if (!c.found) continue;
    ASSERT_EQ(def.items.size(), c.items) << c.id;
    EXPECT_EQ(def.items.front(), c.first) << c.id;
    EXPECT_EQ(def.items.back()[0], 68u) << c.id;
  }
}

TEST_F(PagecastChunkAttrs, ParagraphWalkerAppliesStylesAndSkipsGroups) {
  KVXHANDLE ch = open("section wp\n" + kStyles +
                      "item 28 0 2 0\nitem 13 720 0 720\n"
                      "group 0x20000010 0\nitem 12 2 0 0\nend\n"
                      "item 14 2 360 0\ntext cp1252 \"hello\"\npara\ntext cp1252 \"next\"\n");
  ChunkerAttrs src(ch);
  std::vector<uint32_t> all = ids(ch);
  // The paragraph starts at the style application after the definitions.
  size_t start = 0;
  while (start < all.size()) {
    uint8_t b[16];
    uint32_t next = 0, kind = 0;
    ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, all[start], b, &next), KVX_OK);
    std::memcpy(&kind, b, 4);
    if (kind == 28) break;
    ++start;
  }
  ASSERT_LT(start, all.size());
  ParaAttrRecord para;
  WalkState ws;
  ws.item = all[start];
  ASSERT_EQ(GatherParagraph(src, para, ws), KVX_OK);
  EXPECT_TRUE(para.flags & 0x4000);  // reset to style 2
  EXPECT_EQ(para.firstItem, all[start]);  // the style application starts the paragraph
  EXPECT_EQ(para.left, 720);
  EXPECT_TRUE(para.flags & 0x10);
  EXPECT_NE(para.alignment, 2);  // inside the skipped group
  EXPECT_EQ(para.lineHeight, 360u);
  EXPECT_EQ(para.largestFont, 300u);
  EXPECT_TRUE(ws.hasContent);
  EXPECT_FALSE(ws.empty);
  // It stopped at the paragraph break.
  uint8_t b[16];
  uint32_t next = 0, kind = 0, a = 0;
  ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, ws.item, b, &next), KVX_OK);
  std::memcpy(&kind, b, 4);
  std::memcpy(&a, b + 4, 4);
  EXPECT_EQ(kind, 0u);
  EXPECT_EQ(a, 1u);
  // The run end after the style application is the text run, past the skipped group.
  uint32_t end = FindParagraphEnd(ch, all[start], kNoItemId, 0);
  ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, end, b, &next), KVX_OK);
  std::memcpy(&kind, b, 4);
  EXPECT_EQ(kind, 7u);
  // Skipping the group from its first inner item lands on the line-height item.
  uint32_t group = all[start + 2];
  ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, group, b, &next), KVX_OK);
  EXPECT_EQ(SkipGroup(ch, next), all[start + 5]);
  EXPECT_EQ(CUFindTextFrameId(ch, all[start + 1], all[start], 1), kNoItemId);
}

TEST_F(PagecastChunkAttrs, LeadingAttributesAndFontNames) {
  // Font item 0: name "Courier" (16-bit text) at unit 0 of range 9.
  KVXHANDLE ch = open(
      "section wp\nrecord 9 43006f0075007200690065007200\nrecord 12 0000000000000000"
      "0000b0140700000000000000\n"
      "item 10 0 0 0\nitem 8 3 1 0\nitem 60 0 255 0\ntext cp1252 \"x\"\n");
  ChunkerAttrs src(ch);
  EXPECT_EQ(src.fontName(0), u"Courier");
  EXPECT_EQ(src.fontName(5), u"");
  std::vector<uint32_t> all = ids(ch);
  size_t at = 0;
  for (; at < all.size(); ++at) {
    uint8_t b[16];
    uint32_t next = 0, kind = 0;
    ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, all[at], b, &next), KVX_OK);
    std::memcpy(&kind, b, 4);
    if (kind == 10) break;
  }
  ASSERT_LT(at, all.size());
  CharAttrRecord chr;
  WalkState ws;
  ws.item = all[at];
  uint32_t stop = GatherLeadingAttrs(src, chr, ws);
  EXPECT_EQ(stop, all[at + 3]);
  EXPECT_EQ(chr.fontNames[0], u"Courier");
  EXPECT_EQ(chr.toggles[1], 1);
  EXPECT_EQ(chr.colour, 255u);
  EXPECT_EQ(chr.flags & (0x200000 | 0x2 | 0x100000), 0x200000u | 0x2 | 0x100000);
}

// The kind and a of an item.
std::pair<uint32_t, uint32_t> kind_of(KVXHANDLE ch, uint32_t id) {
  uint8_t b[16];
  uint32_t next = 0, kind = 0, a = 0;
  if (CHGetItem(ch, KVXRANGE_ITEMS, id, b, &next) != KVX_OK) return {0xFFFFFFFF, 0};
  std::memcpy(&kind, b, 4);
  std::memcpy(&a, b + 4, 4);
  return {kind, a};
}

TEST_F(PagecastChunkAttrs, Scanners) {
  KVXHANDLE ch = open(
      "section wp\n"
      "item 24 7 0 0\n"                                        // 1 a tab of kind 7
      "group 0x20000010 0\nitem 24 9 0 0\nend\n"               // 2-4 skipped whole
      "item 24 9 0 0\n"                                        // 5
      "group 0x201C0000 0\ntext unicode \"\\u{6846}x\"\nend\n"  // 6-8 a frame's text
      "break 20\n"                                             // 9
      "para\n"                                                 // 10
      "item 193 8 11 12\nitem 193 512 13 0\nitem 194 0 0 0\n"  // 11-13 frame properties
      "text cp1252 \"t\"\n");                                  // 14
  std::vector<uint32_t> all = ids(ch);
  ASSERT_EQ(all.size(), 14u);
  auto at = [&](size_t i) { return all[i - 1]; };  // the numbers in the script's comments
  EXPECT_EQ(FindTabStop(ch, 9, at(1), kNoItemId), at(5));
  EXPECT_EQ(FindTabStop(ch, 9, at(1), at(4)), kNoItemId);
  // Started inside the skipped group, its close ends the scope.
  EXPECT_EQ(FindTabStop(ch, 8, at(3), kNoItemId), at(4));
  EXPECT_EQ(FindGroupOpen(ch, at(1), kNoItemId, 0x201C0000u), at(6));
  EXPECT_EQ(FindBreak(ch, at(1), kNoItemId, 20), at(9));
  EXPECT_EQ(FindBreak(ch, at(1), at(8), 20), kNoItemId);
  uint32_t code = 1;
  EXPECT_EQ(FindGroupCode(ch, at(6), &code), 1);
  EXPECT_EQ(code, 0x201C0000u);
  EXPECT_EQ(FindGroupCode(ch, at(5), &code), 0);
  // Whether the line goes on: anything but a line break below the end.
  EXPECT_EQ(NextItemIsText(ch, at(5), at(14)), 1);
  EXPECT_EQ(NextItemIsText(ch, at(5), at(5)), 0);
  EXPECT_EQ(NextItemIsText(ch, all.back() + 1, kNoItemId), 0);
  EXPECT_EQ(code, 0u);
  // Backwards from the paragraph break: the break of type 20; from the tab after the
  // skipped group: back over it to the start.
  EXPECT_EQ(FindBreakBack(ch, at(10), 20), at(9));
  EXPECT_EQ(FindBreakBack(ch, at(5), 20), kNoItemId);
  // The frame's text keeps the double-byte character whole.
  std::string text;
  ASSERT_EQ(FindFrameText(ch, at(1), 1, &text), KVX_OK);
  EXPECT_EQ(text, "\x68\x46x");
  EXPECT_EQ(FindFrameText(ch, at(8), 1, &text), 37);
  FrameProps fp;
  ASSERT_EQ(ReadFrameProps(ch, at(10), &fp), KVX_OK);
  EXPECT_EQ(fp.mask, 8u | 512);
  EXPECT_EQ(fp.words[4], 11u);
  EXPECT_EQ(fp.words[5], 12u);
  EXPECT_EQ(fp.words[6], 13u);
  EXPECT_EQ(ReadFrameProps(ch, at(12), &fp), 37);
}

TEST_F(PagecastChunkAttrs, NestingOfTables) {
  KVXHANDLE ch = open(
      "section wp\ntable 1 1\ncell\ntable 1 1\ncell\ntext cp1252 \"in\"\nendcell\nendrow\nendtable\n"
      "endcell\nendrow\nendtable\ntext cp1252 \"after\"\n");
  uint32_t count = 0;
  ASSERT_EQ(CHGetItemCount(ch, KVXRANGE_NESTING, &count), KVX_OK);
  ASSERT_EQ(count, 4u);
  uint32_t pos[4];
  for (uint32_t i = 0; i < 4; ++i) {
    uint8_t b[16];
    uint32_t next = 0;
    ASSERT_EQ(CHGetItem(ch, KVXRANGE_NESTING, i, b, &next), KVX_OK);
    std::memcpy(&pos[i], b + 12, 4);
  }
  // Opens at pos[0] (outer) and pos[1] (inner); closes pos[2] (inner), pos[3] (outer).
  EXPECT_EQ(FindEnclosingOpen(ch, pos[1] + 1), pos[0]);
  EXPECT_EQ(FindEnclosingOpen(ch, pos[3] + 1), kNoItemId);
  EXPECT_EQ(FindMatchingClose(ch, pos[0]), pos[3]);
  EXPECT_EQ(FindMatchingClose(ch, pos[1]), pos[2]);
}

TEST_F(PagecastChunkAttrs, RunGatherersPickTheirKinds) {
  KVXHANDLE ch = open("section wp\n" + kStyles +
                      "item 9 400 0 0\nitem 12 2 0 0\nitem 8 2 1 0\nitem 60 0 255 0\n"
                      "group 0x20000010 0\nitem 9 999 0 0\nend\n"
                      "item 147 5 0 0\nitem 154 1 50 0\npara\nitem 9 100 0 0\n");
  ChunkerAttrs src(ch);
  std::vector<uint32_t> all = ids(ch);
  size_t first = 0;
  while (first < all.size() && kind_of(ch, all[first]) != std::make_pair(9u, 400u)) ++first;
  ASSERT_LT(first, all.size());
  ParaAttrRecord para;
  CharAttrRecord chr;
  ASSERT_EQ(GatherRunAttrs(src, para, chr, all[first], kNoItemId), KVX_OK);
  EXPECT_EQ(chr.fontSize, 100);  // the last size item, not the one in the skipped group
  EXPECT_EQ(para.alignment, 2);
  EXPECT_EQ(chr.toggles[0], 1);
  // The list loader's font walk stops at the paragraph break and takes only its kinds.
  CharAttrRecord font;
  font.flags = 0xFFFF;
  WalkState ws;
  ws.item = all[first];
  ASSERT_EQ(CUGatherParaFontInfo(src, font, ws), KVX_OK);
  EXPECT_EQ(font.fontSize, 400);
  EXPECT_EQ(font.colour, 255u);
  EXPECT_EQ(font.flags, 0x80000u | 0x100000);
  FrameAttrRecord frame;
  ASSERT_EQ(GatherRunLimited(src, frame, ws), KVX_OK);
  EXPECT_EQ(frame.words[2], 5u);
  EXPECT_EQ(frame.words[6], 127u);
  // Indents: the given halves where the flags say; without the style flag nothing else.
  uint32_t out = 0;
  ASSERT_EQ(StyleIndents(src, 0x10 | 0x40, 1, 100 | 200 << 16, &out), KVX_OK);
  EXPECT_EQ(out, 100u | 200u << 16);
  ASSERT_EQ(StyleIndents(src, 0, 1, 100 | 200 << 16, &out), KVX_OK);
  EXPECT_EQ(out, 0u);
}

}  // namespace
}  // namespace pc::test

namespace pc::test {
namespace {

TEST_F(PagecastChunkAttrs, TableScanRowsCellsAndNesting) {
  KVXHANDLE ch = open(
      "section wp\ntable 2 3\n"
      "cell\ntext cp1252 \"a\"\nendcell\ncell 2 1\ntext cp1252 \"b\"\nendcell\nendrow\n"
      "cell\ntable 1 1\ncell\ntext cp1252 \"in\"\nendcell\nendrow\nendtable\nendcell\n"
      "cell\nendcell\ncell\ntext cp1252 \"z\"\nendcell\nendrow\nendtable\n");
  std::vector<uint32_t> all = ids(ch);
  // The item of "z": the scan from inside the outer table's second row.
  size_t z = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    uint8_t b[16];
    uint32_t next = 0, kind = 0, count = 0;
    ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, all[i], b, &next), KVX_OK);
    std::memcpy(&kind, b, 4);
    std::memcpy(&count, b + 12, 4);
    if (kind == KVXITEM_TEXT && count == 1) z = i;  // "a", "b", "z": the last one wins
  }
  ASSERT_LT(z, all.size());
  TableScan scan;
  ASSERT_EQ(ScanTable(ch, all[z], &scan), KVX_OK);
  EXPECT_EQ(scan.start, all[0]);
  ASSERT_EQ(scan.rows.size(), 2u);
  EXPECT_EQ(scan.rows[0].cells, 2);
  EXPECT_EQ(scan.rows[1].cells, 3);  // the nested table's cell is not counted
  EXPECT_EQ(scan.widest, 3);
  EXPECT_EQ(scan.rowOfItem, 1u);
  EXPECT_EQ(scan.end, all.back());
  EXPECT_EQ(ScanTable(ch, all.back() + 1, &scan), 37);
  // Rows and cells of the ranges: the outer table's first row has two cells.
  uint32_t w[4];
  ASSERT_EQ(TableRowItem(ch, 0, w), KVX_OK);
  ASSERT_EQ(TableCellItem(ch, 0, 1, w), KVX_OK);
  EXPECT_EQ(w[3], 2u | 1u << 16);  // the spans of "cell 2 1"
  EXPECT_EQ(TableCellItem(ch, 0, 2, w), 15);
  EXPECT_EQ(TableRowItem(ch, 99, w), 15);
}

}  // namespace
}  // namespace pc::test

namespace pc::test {
namespace {

TEST_F(PagecastChunkAttrs, ScopeEndsAndPropertyGroups) {
  KVXHANDLE ch = open(
      "section wp\n"
      "text cp1252 \"a\"\n"                                       // 1
      "group 0xA0010004 6 0xFE\ntext cp1252 \"title\"\n"          // 2-3 property 6
      "group 0x10 0\ntext cp1252 \"x\"\nend\n"                    // 4-6 a group inside it
      "text cp1252 \"y\"\nend\n"                                  // 7-8
      "group 0xA0010004 2 0xFE\ntext cp1252 \"kw\"\nend\n"        // 9-11 property 2
      "break 20\n"                                                // 12
      "group 0xA0010004 4 0xFE\ntext cp1252 \"au\"\nend\n"        // 13-15 property 4
      "group 0xA00A0000 1 1\n"                                    // 16 a note
      "group 0xA0010004 7 0xFE\ntext cp1252 \"n\"\nend\nend\n");  // 17-20 property 7 in it
  std::vector<uint32_t> all = ids(ch);
  ASSERT_EQ(all.size(), 20u);
  auto at = [&](size_t i) { return all[i - 1]; };
  // Scope ends: from a group open its last inner item, a group inside stepped over; from
  // an item the last item of the group around it; a close ends its own group.
  struct Scope {
    size_t from, end;
  } scopes[] = {{2, 7}, {3, 7}, {5, 5}, {6, 5}, {4, 5}, {16, 19}, {17, 18}};
  for (const Scope& s : scopes) EXPECT_EQ(FindScopeEnd(ch, at(s.from)), at(s.end)) << s.from;
  EXPECT_EQ(FindScopeEnd(ch, at(1)), kNoItemId);  // no group around it: the stream ends
  // Backwards to the open of the group that holds an item, closes on the way stepped over.
  struct Back {
    size_t from;
    KVXSTATUS status;
    size_t open;
  } backs[] = {{8, KVX_OK, 2}, {7, KVX_OK, 2}, {6, KVX_OK, 4}, {3, KVX_OK, 2}, {20, KVX_OK, 16},
               {18, KVX_OK, 17}, {12, 37, 0}, {1, 37, 0}};
  for (const Back& b : backs) {
    uint32_t open = kNoItemId;
    EXPECT_EQ(SkipGroupBack(ch, at(b.from), &open), b.status) << b.from;
    if (b.status == KVX_OK) {
      EXPECT_EQ(open, at(b.open)) << b.from;
    }
  }
  // Property groups by number, the first when the number is 0; a break of the limit's
  // type ends the search; a property inside a skipped group is not found.
  struct Find {
    uint32_t id, limit;
    KVXSTATUS status;
    size_t item;
    uint32_t idOut;
  } finds[] = {{0, 20, KVX_OK, 2, 6}, {6, 20, KVX_OK, 2, 6}, {2, 20, KVX_OK, 9, 2},
               {4, 20, 37, 0, 4},     {4, 19, KVX_OK, 13, 4}, {7, 19, 37, 0, 7}, {99, 19, 37, 0, 99}};
  for (const Find& f : finds) {
    uint32_t item = kNoItemId, id = f.id;
    EXPECT_EQ(FindIdGroup(ch, at(1), f.limit, &item, &id), f.status) << f.id;
    if (f.status == KVX_OK) {
      EXPECT_EQ(item, at(f.item)) << f.id;
    }
    EXPECT_EQ(id, f.idOut) << f.id;
  }
  uint32_t item = 0, id = 0;
  EXPECT_EQ(FindIdGroup(ch, at(3), 20, &item, &id), KVX_OK);  // from inside the first one on
  EXPECT_EQ(item, at(9));
}

TEST_F(PagecastChunkAttrs, ListMarkersAndTheirFonts) {
  KVXHANDLE ch = open("section wp\n" + kStyles +
                      "group 0xA0120000 5 0\ntext cp1252 \"Chapter \"\nitem 31 0 0 0\nfield 10\nend\n"
                      "group 0xA0120000 6 0\nitem 31 0 0 0\ntext cp1252 \"x\"\nend\n"
                      "group 0xA0120000 7 0\ngroup 0x10 0\nend\ntext cp1252 \"z\"\nend\n"
                      "group 0xA0120000 8 0\nitem 9 200 0 0\nitem 31 0 0 0\nitem 60 0 255 0\nitem 31 0 0 0\n"
                      "item 9 400 0 0\nend\ntext cp1252 \"body\"\ngroup 0xA0150000 1 0\nend\n");
  // The marker groups are not in the index of range 16: found by walking the stream from
  // its start (the picture the index holds lies past them).
  uint32_t open = 0, end = 0, words[4] = {};
  ASSERT_EQ(FindStyleItem(ch, 8, 0xA0120000u, 1, &open, &end, words), KVX_OK);
  EXPECT_EQ(words[0], 67u);
  EXPECT_EQ(words[2], 8u);
  EXPECT_EQ(kind_of(ch, end), std::make_pair(9u, 400u));
  EXPECT_EQ(FindStyleItem(ch, 9, 0xA0120000u, 1, &open, &end, words), 37);
  EXPECT_EQ(FindStyleItem(ch, kNoItemId, 0xA0120000u, 1, &open, &end, words), 37);
  // Styles are still found through the index.
  ASSERT_EQ(FindStyleItem(ch, 3, kStyleGroup, 0, &open, &end), KVX_OK);
  EXPECT_EQ(kind_of(ch, end), std::make_pair(8u, 3u));
  // A text before the first separator makes a text marker; a group entered on the way
  // does not end the search; an unknown group is no marker.
  struct Marker {
    uint32_t group, kind;
  } markers[] = {{5, 8}, {6, 0}, {7, 8}, {8, 0}, {99, 0}};
  for (const Marker& m : markers) EXPECT_EQ(CheckListMarker(ch, m.group), m.kind) << m.group;
  // The font of the marker's parts: up to the separator that brings the count to n, added
  // to what the record holds.
  ASSERT_EQ(FindStyleItem(ch, 8, 0xA0120000u, 0, &open, &end), KVX_OK);
  uint8_t b[16];
  uint32_t first = 0;
  ASSERT_EQ(CHGetItem(ch, KVXRANGE_ITEMS, open, b, &first), KVX_OK);
  ChunkerAttrs src(ch);
  struct Font {
    uint32_t separators;
    uint16_t size;
    uint32_t colour, flags;
  } fonts[] = {{0, 200, 0, 0x80000}, {1, 200, 0, 0x80000}, {2, 200, 255, 0x80000 | 0x100000},
               {9, 400, 255, 0x80000 | 0x100000}};
  for (const Font& f : fonts) {
    CharAttrRecord chr;
    chr.flags = 0x4;
    ASSERT_EQ(GatherCellFont(src, chr, f.separators, first, end), KVX_OK);
    EXPECT_EQ(chr.fontSize, f.size) << f.separators;
    EXPECT_EQ(chr.colour, f.colour) << f.separators;
    EXPECT_EQ(chr.flags, f.flags | 0x4) << f.separators;
  }
}

// Range 9: "Courier" (units 0-6), the Big5 name of U+4E2D U+6587 (units 7-8), 0x80 "A"
// (units 9-10); range 12: font 0 the 16-bit "Courier", font 1 the Big5 name, font 2 units
// 9-10 in CP1252, font 3 the same in a set the framework does not know.
const char kFonts[] =
    "record 9 43006f0075007200690065007200a4a4e5a480004100\n"
    "record 12 00000000000000000000b014070000000000000000000000070000000000b6130200000000000000"
    "00000000090000000001e41402000000000000000000000009000000777700000200000000000000\n";

TEST_F(PagecastChunkAttrs, FontNamesByReferenceAndById) {
  KVXHANDLE ch = open(std::string("section wp\n") + kFonts + "bookmark \"Intro\"\ntext cp1252 \"x\"\nend\n");
  struct Case {
    uint32_t ref[4], size;
    KVXSTATUS status;
    std::string name;
    uint32_t charset;
  } cases[] = {
      {{0x2, 9, 0, 0}, 16, KVX_OK, std::string("\0C\0o\0u\0r\0i\0e\0r", 14), KVXCS_UNICODE},  // id in word 2
      {{0x2, 9, 0, 0}, 15, 46, "", KVXCS_UNICODE},                                          // no room for the 0 pair
      {{0x82, 9, 1, 0}, 16, KVX_OK, "\xA4\xA4\xA4\xE5", KVXCS_BIG5},                         // bit 1 first
      {{0x80, 1, 0, 0}, 5, KVX_OK, "\xA4\xA4\xA4\xE5", KVXCS_BIG5},                          // id in word 1
      {{0x80, 1, 0, 0}, 4, 46, "", KVXCS_BIG5},  // length + 1 is 3, but the characters are double-byte
      {{0, 0, 0, 0}, 64, 37, "", 0},             // the reference names no font
      {{0x80, 7, 0, 0}, 64, 37, "", 0},          // no such font
  };
  for (const Case& c : cases) {
    std::string name = "old";
    uint32_t charset = 0;
    EXPECT_EQ(ReadFontName(ch, c.ref, c.size, &name, &charset), c.status) << c.ref[0] << " " << c.size;
    if (c.status == KVX_OK) {
      EXPECT_EQ(name, c.name);
      EXPECT_EQ(charset, c.charset);
      // Back to 16 bits: the units of range 9.
      std::u16string wide;
      ASSERT_EQ(TextToWide(name, 64, charset, &wide), KVX_OK);
      EXPECT_EQ(wide, charset == KVXCS_UNICODE ? u"Courier" : u"\xA4A4\xA4E5");
      EXPECT_EQ(NarrowToBytes(wide, charset), name);
    }
  }
  std::u16string name;
  uint32_t charset = 0;
  ASSERT_EQ(ReadFontNameById(ch, 0, 8, &name, &charset), KVX_OK);
  EXPECT_EQ(name, u"Cou");  // a buffer of 8 bytes holds three characters and the terminator
  EXPECT_EQ(charset, KVXCS_UNICODE);
  // Names in other sets are mapped to Unicode, as the writer takes them.
  ASSERT_EQ(ReadFontNameById(ch, 1, 64, &name, &charset), KVX_OK);
  EXPECT_EQ(name, u"\u4E2D\u6587");
  EXPECT_EQ(charset, KVXCS_BIG5);
  ASSERT_EQ(ReadFontNameById(ch, 2, 64, &name, &charset), KVX_OK);
  EXPECT_EQ(name, u"\u20ACA");
  EXPECT_NE(ReadFontNameById(ch, 3, 64, &name, &charset), KVX_OK);
  EXPECT_EQ(ReadFontNameById(ch, 4, 64, &name, &charset), 37);
  ChunkerAttrs src(ch);
  EXPECT_EQ(src.fontName(1), u"\u4E2D\u6587");
  EXPECT_EQ(src.fontName(3), u"");
  // An item's text from range 9: the bookmark's name, cut to the count asked for.
  std::vector<uint32_t> all = ids(ch);
  std::u16string text;
  EXPECT_EQ(ReadTextItem(ch, all[0], &text, 3), 3u);
  EXPECT_EQ(text, u"Int");
  EXPECT_EQ(ReadTextItem(ch, all[0], &text, 99), 5u);
  EXPECT_EQ(text, u"Intro");
  EXPECT_EQ(ReadTextItem(ch, all.back() + 7, &text, 99), 0u);
  EXPECT_EQ(text, u"");
}

TEST_F(PagecastChunkAttrs, ParagraphPositionsFromTheMarginsAndTheLastStep) {
  KVXHANDLE ch = open("section wp\nitem 20 1800 900 0\ntext cp1252 \"x\"\npara\nbreak 2\n");
  ChunkerAttrs src(ch);
  std::vector<uint32_t> all = ids(ch);
  struct Case {
    int32_t marginLeft, marginRight;
    uint32_t left, right;
  } cases[] = {{0, 0, 1800, 900}, {1440, 1200, 360, 0}, {-100, 900, 1900, 0}};
  for (const Case& c : cases) {
    ParaAttrRecord para;
    WalkState ws;
    ws.item = all[0];
    ws.marginLeft = c.marginLeft;
    ws.marginRight = c.marginRight;
    ASSERT_EQ(GatherParagraph(src, para, ws), KVX_OK);
    EXPECT_EQ(para.extraLeft, c.left) << c.marginLeft;
    EXPECT_EQ(para.extraRight, c.right) << c.marginLeft;
    EXPECT_TRUE(para.flags & 0x200);
  }
  // The element side's last step sees the gathered record; its status is the walker's.
  ParaAttrRecord para;
  WalkState ws;
  ws.item = all[0];
  uint32_t seen = 0;
  ws.finishParagraph = [&](ParaAttrRecord& p) {
    seen = p.extraLeft;
    p.headingLevel = 3;
    return KVXSTATUS(KVX_OK);
  };
  ASSERT_EQ(GatherParagraph(src, para, ws), KVX_OK);
  EXPECT_EQ(seen, 1800u);
  EXPECT_EQ(para.headingLevel, 3u);
  ws.item = all[0];
  ws.finishParagraph = [](ParaAttrRecord&) { return KVXSTATUS(37); };
  EXPECT_EQ(GatherParagraph(src, para, ws), 37);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(NextItemIsText(ch, all[3], kNoItemId), 0);  // a line break
  EXPECT_EQ(NextItemIsText(ch, all[2], kNoItemId), 1);  // a paragraph end is not one
}

TEST(PagecastFontNames, ByteLayouts) {
  struct Wide {
    std::string bytes;
    uint32_t size, charset;
    KVXSTATUS status;
    std::u16string text;
  } wides[] = {
      {std::string("\0A\x4E\x2D", 4), 6, KVXCS_UNICODE, KVX_OK, u"A\u4E2D"},
      {std::string("\0A\x4E\x2D", 4), 5, KVXCS_UNICODE, 46, u""},       // the terminator must fit
      {std::string("\0A\x4E", 3), 64, KVXCS_UNICODE, 15, u""},          // half a character
      {"a\xA4\xA4z", 8, KVXCS_BIG5, KVX_OK, u"a\xA4A4z"},
      {"a\xA4", 64, KVXCS_BIG5, 15, u""},                               // a lead byte ends the text
      {"a\xA4", 64, KVXCS_CP1252, KVX_OK, u"a\u00A4"},                  // no lead bytes in 1252
      {"abc", 7, KVXCS_CP1252, 46, u""},
  };
  for (const Wide& w : wides) {
    std::u16string text = u"old";
    EXPECT_EQ(TextToWide(w.bytes, w.size, w.charset, &text), w.status) << w.bytes;
    EXPECT_EQ(text, w.text) << w.bytes;
  }
  EXPECT_EQ(NarrowToBytes(u"A\u4E2D", KVXCS_UNICODE), std::string("\0A\x4E\x2D", 4));
  EXPECT_EQ(NarrowToBytes(u"\u00E9x", KVXCS_CP1252), "\xE9x");
  EXPECT_EQ(NarrowToBytes(u"\u4100z", KVXCS_BIG5), "\x41");  // a zero low byte ends it
  EXPECT_EQ(NarrowToBytes(std::u16string(u"ab\0c", 4), KVXCS_UNICODE), std::string("\0a\0b", 4));
  std::string bytes("\0a\0\0b\0", 6);
  EXPECT_EQ(DropZeroBytes(bytes), 2u);
  EXPECT_EQ(bytes, "ab");
}

}  // namespace
}  // namespace pc::test
