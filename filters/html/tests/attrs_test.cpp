// DecodeAttrs over tables of item sequences from a fake item source: the fields and flags
// each kind sets, where decoding stops, skippable groups, indent changes, list numbering,
// styles applied and overridden, and failures passed on.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "filters/html/pc_attrs.h"

namespace pc::test {
namespace {

struct Item {
  uint32_t w[4];
};

// Items numbered from 100; blocks and styles by id.
class FakeSource : public AttrSource {
 public:
  std::vector<Item> items;
  std::map<uint32_t, std::vector<uint32_t>> blocks;
  std::map<uint32_t, StyleAttrRecord> styles;
  int styleCalls = 0;
  KVXSTATUS item(uint32_t id, uint32_t w[4], uint32_t* next) override {
    if (id < 100 || id - 100 >= items.size()) return 60;
    for (int i = 0; i < 4; ++i) w[i] = items[id - 100].w[i];
    *next = id + 1 - 100 < items.size() ? id + 1 : 0xFFFFFFFF;
    return KVX_OK;
  }
  KVXSTATUS block(uint32_t id, uint32_t* words, uint32_t count) override {
    auto it = blocks.find(id);
    if (it == blocks.end() || it->second.size() < count) return 37;
    for (uint32_t i = 0; i < count; ++i) words[i] = it->second[i];
    return KVX_OK;
  }
  KVXSTATUS style(uint32_t id, uint32_t, const StyleAttrRecord** r) override {
    ++styleCalls;
    auto it = styles.find(id);
    if (it == styles.end()) return 37;
    *r = &it->second;
    return KVX_OK;
  }
  std::u16string fontName(uint32_t id) override { return id == 5 ? u"Ming" : u""; }
};

struct Decoded {
  ParaAttrRecord para;
  CharAttrRecord chr;
  FrameAttrRecord frame;
  uint32_t next = 0;
  KVXSTATUS status = 0;
};

// Decodes the run starting at the first item of the list (id 100).
Decoded decode(FakeSource& src, uint32_t last = 0xFFFFFFFF) {
  Decoded d;
  d.next = src.items.size() > 1 ? 101 : 0xFFFFFFFF;
  d.status = DecodeAttrs(src, d.para, d.chr, d.frame, src.items[0].w, &d.next, last);
  return d;
}

TEST(PagecastAttrs, KindsAndStops) {
  FakeSource src;
  src.items = {{{8, 2, 1, 0}},      {{8, 3, 2, 0}},     {{9, 280, 0, 0}},   {{10, 5, 0, 0}},
               {{12, 3, 0, 0}},     {{13, 720, 360, 1080}}, {{14, 1, 9, 9}},  {{98, 1, 120, 0}},
               {{99, 1, 240, 0}},   {{60, 0, 0xFF, 0}}, {{61, 1, 0xFF, 0}}, {{94, 1, 60, 0}},
               {{154, 3, 50, 0}},   {{21, 0, 0, 0}},    {{7, 0, 0, 0}},     {{9, 999, 0, 0}}};
  Decoded d = decode(src);
  EXPECT_EQ(d.status, KVX_OK);
  EXPECT_EQ(d.next, 114u);  // the text run
  EXPECT_EQ(d.chr.toggles[0], 1);
  EXPECT_EQ(d.chr.toggles[1], 0);  // b = 2 changes nothing
  EXPECT_EQ(d.chr.flags, 0x1u | 0x80000 | 0x200000 | 0x100000 | 0x10);
  EXPECT_EQ(d.chr.fontSize, 280);
  EXPECT_EQ(d.para.largestFont, 280u);
  EXPECT_EQ(d.chr.fontNames[0], u"Ming");
  EXPECT_EQ(d.para.alignment, 3);
  EXPECT_EQ(d.para.left, 720);
  EXPECT_EQ(d.para.right, 360);
  EXPECT_EQ(d.para.firstLine, 360);
  EXPECT_EQ(d.para.flags, 0x1u | 0x10 | 0x40 | 0x20 | 0x2 | 0x4);  // kind 14 with a = 1 ignored
  EXPECT_EQ(d.para.spaceBefore, 120u);
  EXPECT_EQ(d.chr.colour, 0xFFu);
  EXPECT_EQ(d.chr.background, 0u);
  EXPECT_EQ(d.chr.verticalOffset, -60);
  EXPECT_EQ(d.frame.words[5], 3u);
  EXPECT_EQ(d.frame.words[6], 127u);

  // A run that begins with a kind not decoded changes nothing.
  FakeSource t;
  t.items = {{{7, 0, 0, 0}}, {{9, 200, 0, 0}}};
  Decoded e = decode(t);
  EXPECT_EQ(e.next, 101u);
  EXPECT_EQ(e.chr.flags, 0u);
  // The last id bounds the run.
  FakeSource l;
  l.items = {{{9, 200, 0, 0}}, {{12, 2, 0, 0}}, {{12, 3, 0, 0}}};
  Decoded f = decode(l, 101);
  EXPECT_EQ(f.para.alignment, 2);
  EXPECT_EQ(f.next, 102u);
}

TEST(PagecastAttrs, GroupsIndentsAndLists) {
  FakeSource g;
  g.items = {{{9, 200, 0, 0}}, {{67, 0x40000000, 0, 0}}, {{67, 0x40000000, 0, 0}}, {{12, 4, 0, 0}},
             {{68, 0, 0, 0}},  {{68, 0, 0, 0}},          {{12, 2, 0, 0}},          {{67, 0, 0, 0}}};
  Decoded d = decode(g);
  EXPECT_EQ(d.para.alignment, 2);  // nothing inside the skipped group
  EXPECT_EQ(d.next, 107u);         // a group without bit 30 ends decoding

  struct I {
    int16_t left, first;
    uint32_t which, mode;
    int16_t amount;
    int16_t expectLeft, expectRight, expectFirst;
  } indents[] = {
      {720, 0, 0, 0, 1440, 1440, 0, -720},  // the first line keeps its place on the page
      {720, 0, 0, 2, 1440, 1440, 0, 0},     {720, 0, 0, 4, 360, 1080, 0, 0},
      {720, 100, 1, 0, 300, 720, 300, 100}, {720, 100, 2, 0, 1000, 720, 0, 280},
      {720, 100, 2, 2, 50, 720, 0, 50},     {720, 100, 2, 4, 50, 720, 0, 150},
  };
  for (const I& i : indents) {
    FakeSource s;
    s.items = {{{97, i.which, i.mode, uint32_t(uint16_t(i.amount))}}};
    Decoded r;
    r.para.left = i.left;
    r.para.firstLine = i.first;
    r.next = 0xFFFFFFFF;
    DecodeAttrs(s, r.para, r.chr, r.frame, s.items[0].w, &r.next, 0xFFFFFFFF);
    EXPECT_EQ(r.para.left, i.expectLeft) << i.which << " " << i.mode;
    EXPECT_EQ(r.para.right, i.expectRight) << i.which << " " << i.mode;
    EXPECT_EQ(r.para.firstLine, i.expectFirst) << i.which << " " << i.mode;
  }

  FakeSource n;
  n.items = {{{93, 10, 2, 1}}};
  Decoded a = decode(n);
  EXPECT_EQ(a.para.listLevel, 3u);
  EXPECT_EQ(a.para.listValue, 1u);
  EXPECT_EQ(a.para.flags, 0x800u);
  Decoded b;
  b.para.listLevel = 13;
  b.next = 0xFFFFFFFF;
  DecodeAttrs(n, b.para, b.chr, b.frame, n.items[0].w, &b.next, 0xFFFFFFFF);
  EXPECT_EQ(b.para.listLevel, 0u);
  EXPECT_EQ(b.para.flags, 0u);
  EXPECT_EQ(b.para.listValue, 0u);
}

TEST(PagecastAttrs, StylesBlocksAndFailures) {
  FakeSource s;
  StyleAttrRecord heading;
  heading.kind = 1;
  heading.chars.fontSize = 400;
  heading.chars.toggles[0] = 1;
  heading.para.blockFlags = 1;
  heading.para.tabs[0] = 77;
  s.styles[9] = heading;
  s.blocks[3] = std::vector<uint32_t>(26, 5);
  s.items = {{{12, 2, 0, 0}}, {{28, 0, 9, 0}}, {{95, 2, 9, 4}}, {{95, 23, 9, 0}}, {{58, 1, 3, 0}}, {{59, 1, 4, 0}}};
  Decoded d = decode(s);
  EXPECT_EQ(d.status, KVX_OK);
  EXPECT_EQ(d.para.alignment, 0);  // cleared by the paragraph style
  EXPECT_EQ(d.para.styleKey, 9u);
  EXPECT_EQ(d.para.firstItem, 101u);
  EXPECT_EQ(d.para.tabs[0], 77u);
  EXPECT_EQ(d.para.flags, 0x4000u | 0x100);  // shading block 4 missing: unchanged
  EXPECT_EQ(d.para.borders[25], 5u);
  EXPECT_EQ(d.para.largestFont, 400u);
  EXPECT_EQ(d.chr.toggles[0], 0);  // inverted from the style
  EXPECT_EQ(d.chr.fontSize, 400);
  EXPECT_EQ(d.chr.flags, 0x80000000u | 0x1 | 0x80000);

  FakeSource f;
  f.items = {{{12, 2, 0, 0}}, {{28, 0, 8, 0}}, {{12, 3, 0, 0}}};
  Decoded e = decode(f);
  EXPECT_EQ(e.status, 37);
  EXPECT_EQ(e.para.alignment, 2);
}

}  // namespace
}  // namespace pc::test
