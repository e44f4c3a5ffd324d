// The element dispatcher in-process over chunk-script documents opened through the
// framework: anchor names of every kind, the statuses of exists requests (37 not found, 25
// not there), both heading modes with the entries filled in for skipped levels, page parts
// by their definition's kind, and the counter texts of every kind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/html/pc_content.h"
#include "testsupport/test_files.h"

namespace pc {
namespace {

constexpr int32_t S = int32_t(0x80000002u), kBody = -8, kContents = -3, kTitle = -2, kImage = -7;
constexpr int32_t kHead1 = int32_t(0x86000001u), kHead2 = int32_t(0x86000002u), kHead3 = int32_t(0x86000003u);

class Doc {
 public:
  explicit Doc(const std::string& script) {
    EXPECT_EQ(DAInit(), KVX_OK);
    qm::test::write_file(dir_ / "doc.kvx", "kvx-chunks 1\n" + script);
    std::string path = dir_ / "doc.kvx";
    EXPECT_EQ(DAOpenDocument(&doc_, KVXSPEC_PATH, path.c_str(), 0), KVX_OK);
    EXPECT_EQ(DAGetHChunker(doc_, &x.chunker), KVX_OK);
    if (CHGetItemId(x.chunker, KVXRANGE_ITEMS, 0, &x.first_item) != KVX_OK) x.first_item = 0xFFFFFFFFu;
    x.ex = doc_;
  }
  ~Doc() {
    x.content.reset();
    DACloseDocument(doc_);
    DADeInit();
  }
  KVXSTATUS exists(std::vector<int32_t> items) {
    PathRec p;
    p.items = std::move(items);
    return element_request(x, p, kReqExists, nullptr, 0);
  }
  std::string name(std::vector<int32_t> items) {
    PathRec p;
    p.items = std::move(items);
    element_request(x, p, kReqName, nullptr, 0);
    return narrow(content(x).name);
  }
  Export x;

 private:
  qm::test::TempDir dir_{"pagecast-elements-"};
  KVXHANDLE doc_ = 0;
};

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string footnotes(int n) {
  std::string out;
  for (int i = 1; i <= n; ++i)
    out += "text cp1252 \"x\"\nitem 0x2C 1 " + std::to_string(i) + " 0\ngroup 0xA00A0000 " + std::to_string(i) +
           " 1\ntext cp1252 \"note\"\npara\nend\n";
  return out + "para\n";
}

TEST(PagecastElementsTest, AnchorNamesOfEveryKind) {
  Doc tables("section wp\n" + repeat("table 1 1\ncell\ntext cp1252 \"t\"\nendcell\nendrow\nendtable\n", 16));
  EXPECT_EQ(tables.name({S, 1, kBody, int32_t(0x82000002u), 1}), "table1");
  EXPECT_EQ(tables.name({S, 1, kBody, int32_t(0x82000002u), 10}), "tablea");
  EXPECT_EQ(tables.name({S, 1, kBody, int32_t(0x82000002u), 16}), "table10");
  EXPECT_EQ(tables.exists({S, 1, kBody, int32_t(0x82000002u), 17}), kNotFound);

  Doc notes("section wp\n" + footnotes(11));
  EXPECT_EQ(notes.name({S, 1, int32_t(0x83000001u), 11, kBody}), "FNoteb");

  Doc heads("section wp\nitem 0x1C 1 2 0\ntext cp1252 \"A\"\npara\nitem 0x1C 1 2 0\ntext cp1252 \"B\"\npara\n"
            "text cp1252 \"under B\"\npara\n");
  EXPECT_EQ(heads.name({S, 1, kBody, kContents, kHead1, 2, kBody}), "h1.2body");
  EXPECT_EQ(heads.name({S, 1, kBody, kContents, kHead1, 2, kBody, kContents}), "h1.2content");

  Doc kinds("section ss \"Sheet\"\ncolumns 1\ncell\nvalue 1\nsection bm\nitem 0 0xFE 0 0\n");
  EXPECT_EQ(kinds.exists({S, 1, kBody}), KVX_OK);  // written by the sheet writer
  EXPECT_EQ(kinds.name({S, 1, kBody}), "s1sheet");
  EXPECT_EQ(kinds.name({S, 2, kImage}), "s2image");
  EXPECT_EQ(kinds.exists({S, 1, kImage}), kNotFound);
}

TEST(PagecastElementsTest, ExistsAnswers) {
  Doc d("section wp\n" + footnotes(2) +
        "item 0x2F 7 0x10 0\ngroup 0xA00B0000 0 0\ntext cp1252 \"foot\"\nend\nitem 0x2B 7 0 0\n"
        "group 0xA0010004 4 0xFE\ntext cp1252 \"Ann\"\nend\ngroup 0xA0010004 9 0xFE\ntext cp1252 \"Co\"\nend\n"
        "section 3\ntext cp1252 \"odd\"\npara\n");
  struct Case {
    std::vector<int32_t> path;
    KVXSTATUS want;
  } cases[] = {
      {{S, 1, int32_t(0x83000001u), 2, kBody}, KVX_OK},
      {{S, 1, int32_t(0x83000001u), 3, kBody}, kNotFound},            // two footnotes only
      {{S, 1, int32_t(0x83000006u), 1, kBody}, kNotFound},            // defined as a footer
      {{S, 1, int32_t(0x83000007u), 1, kBody}, KVX_OK},
      {{int32_t(0x85000000u), int32_t(0x85000005u)}, kNotThere},     // no style sheet file
      {{int32_t(0x85000000u), int32_t(0x85000001u)}, KVX_OK},
      {{int32_t(0x81000000u), int32_t(0x81000002u)}, kNotFound},     // no title property
      {{int32_t(0x81000000u), int32_t(0x81000001u)}, KVX_OK},        // author
      {{int32_t(0x81000000u), -1, 2, kBody}, KVX_OK},
      {{int32_t(0x81000000u), -1, 3, kBody}, kNotFound},             // a repetition over All ends
      {{int32_t(0x81000000u), -4, 1, -5}, KVX_OK},
      {{int32_t(0x81000000u), -4, 2, -5}, kNotFound},
      {{S, 2}, kNotFound},                                            // section type 3
      {{S, 2, kBody}, kNotFound},
      {{S, 3}, kNotFound},
      {{}, kNotFound},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (int32_t v : c.path) shown += std::to_string(v) + " ";
    EXPECT_EQ(d.exists(c.path), c.want) << shown;
  }
  EXPECT_EQ(d.name({S, 1, int32_t(0x83000007u), 1, kBody}), "Footer1");
}

TEST(PagecastElementsTest, HeadingModesWithSkippedLevels) {
  // Mode 1: outline groups; a level-3 heading right after a level-1 one.
  Doc one("section wp\ngroup 0x160008 1\ntext cp1252 \"One\"\npara\nend\ntext cp1252 \"x\"\npara\n"
          "group 0x160008 3\ntext cp1252 \"Three\"\npara\nend\ntext cp1252 \"y\"\npara\n"
          "group 0x160008 1\ntext cp1252 \"Next\"\npara\nend\n");
  EXPECT_EQ(one.exists({S, 1, kBody, kContents, kHead1, 2, kBody}), KVX_OK);
  EXPECT_EQ(one.exists({S, 1, kBody, kContents, kHead1, 3, kBody}), kNotFound);
  // The level-2 entry under One is filled in for the skipped level: it has a body but no title.
  EXPECT_EQ(one.exists({S, 1, kBody, kContents, kHead1, 1, kBody, kContents, kHead2, 1, kBody}), KVX_OK);
  EXPECT_EQ(one.exists({S, 1, kBody, kContents, kHead1, 1, kBody, kContents, kHead2, 1, kBody, kTitle}),
            kNotFound);
  EXPECT_EQ(one.name({S, 1, kBody, kContents, kHead1, 1, kBody, kContents, kHead2, 1, kBody, kContents, kHead3, 1,
                      kBody}),
            "h2.1body");
  EXPECT_EQ(one.x.content->heading_mode, 1);

  // Mode 2: paragraph outline levels, a level-2 heading first.
  Doc two("section wp\nitem 0x1C 1 3 0\ntext cp1252 \"Sub\"\npara\nitem 0x1C 1 2 0\ntext cp1252 \"Top\"\npara\n");
  EXPECT_EQ(two.exists({S, 1, kBody, kContents, kHead1, 2, kBody}), KVX_OK);
  EXPECT_EQ(two.exists({S, 1, kBody, kContents, kHead1, 1, kBody, kTitle}), kNotFound);  // filled in
  EXPECT_EQ(two.name({S, 1, kBody, kContents, kHead1, 2, kBody}), "h1.2body");
  EXPECT_EQ(two.x.content->heading_mode, 2);

  // Without either, headings come from paragraph levels (none here).
  Doc none("section wp\ntext cp1252 \"plain\"\npara\n");
  EXPECT_EQ(none.exists({S, 1, kBody, kContents, kHead1, 1, kBody}), kNotFound);
  EXPECT_EQ(none.x.content->heading_mode, 2);
  EXPECT_EQ(none.name({S, 1, kBody}), "s1body");
}

TEST(PagecastElementsTest, DocumentCharsetFromTheStream) {
  Doc big5("section wp\nitem 0x19 0x14E40100 0 0\nitem 0x19 0x13B60000 0 0\ntext big5 \"\xE4\xB8\xAD\"\npara\n");
  EXPECT_EQ(document_charset(big5.x), 0x13B60000u);  // a set with bit 0x100 is not taken
  Doc plain("section wp\ntext cp1252 \"a\"\npara\n");
  EXPECT_EQ(document_charset(plain.x), uint32_t(KVXCS_CP1252));
}

TEST(PagecastElementsTest, CounterTexts) {
  struct Case {
    uint32_t kind;
    int64_t number;
    uint32_t capacity;
    const char* want;
  } cases[] = {
      {1, 12345, 512, "12345"}, {1, 12345, 3, "34"}, {1, 0, 512, "0"},     {4, 7, 512, "7"},
      {2, 3, 512, "C"},         {2, 25, 512, "Y"},   {2, 26, 512, "Z"},    {2, 27, 512, "AA"},
      {2, 52, 512, "AZ"},       {2, 703, 512, "AAA"}, {2, 0, 512, ""},     {0x20002, 3, 512, "c"},
      {3, 1999, 512, "MCMXCIX"}, {3, 1000, 512, "M"}, {3, 3999, 512, "MMMCMXCIX"}, {3, 4000, 512, "4000"},
      {3, 14, 512, "XIV"},      {0x20003, 4, 512, "iv"}, {11, 5, 512, "*"}, {1, 5, 0, ""},
  };
  for (const Case& c : cases) {
    uint32_t level[9] = {};
    level[8] = c.kind;
    uint16_t out[512] = {};
    uint32_t n = FUGenerateCounterNumber(level, 0, out, c.capacity, c.number);
    std::string got;
    for (uint32_t i = 0; i < n; ++i) got.push_back(char(out[i]));
    EXPECT_EQ(got, c.want) << c.kind << " " << c.number;
  }
  // Bullets, and the 8-bit form in place.
  uint32_t bullet[9] = {0, 0x2022, 0, 0, 0, 0, 0, 0, 8};
  uint16_t out[4] = {};
  EXPECT_EQ(FUGenerateCounterNumber(bullet, 0, out, 4, 1), 1u);
  EXPECT_EQ(out[0], 0x2022);
  uint32_t dec[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(FUGenerateCounterNumber(dec, 1, out, 4, 42), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), "42");
}

TEST(PagecastElementsTest, ListStyleLevels) {
  // Style 42: level 0 roman whose marker group (id 5) holds a numbering field, level 1
  // decimal whose marker group (id 6) holds only text.
  Doc d("section wp\nrecord 3 000000002220000001000000000000000000000000000000050000000000000003000000\nrecord 3 00000000cf25000001000000000000000000000000000000060000000000000001000000\n"
        "group 0xA008001C 42\nitem 29 0 0 0\nitem 29 0 1 36\nend\n"
        "group 0xA0120000 5\nfield 10\nend\ngroup 0xA0120000 6\ntext cp1252 \"o\"\nend\n"
        "text cp1252 \"x\"\npara\n");
  ListStyleCache cache;
  cache.chunker = d.x.chunker;
  uint32_t level[9] = {};
  ASSERT_EQ(CULoadListLevelStyle(cache, 42, 0, level), KVX_OK);
  EXPECT_EQ(level[8], 3u);
  EXPECT_EQ(level[2], 1u);
  ASSERT_EQ(CULoadListLevelStyle(cache, 42, 1, level), KVX_OK);
  EXPECT_EQ(level[8], 8u);  // no numbering field: the bullet
  EXPECT_EQ(level[2], 0u);
  EXPECT_EQ(level[1], 0x25CFu);
  uint32_t twelve[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(CULoadListLevelStyle(cache, 42, 12, twelve), kNotFound);
  for (uint32_t w : twelve) EXPECT_EQ(w, 0u);
  EXPECT_EQ(CULoadListLevelStyle(cache, 42, 13, level), kNotFound);
  EXPECT_EQ(CULoadListLevelStyle(cache, kNoItem, 0, level), kNotFound);
  EXPECT_EQ(CULoadListLevelStyle(cache, 43, 0, level), kNotFound);  // no such style: nothing cached
  EXPECT_EQ(cache.loaded, kNoItem);
}

TEST(PagecastElementsTest, ElementRangesEndWhereTheNextPartStarts) {
  Doc d("section wp\ntext cp1252 \"a\"\npara\ntable 1 1\ncell\ntext cp1252 \"t\"\nendcell\nendrow\nendtable\n"
        "text cp1252 \"after\"\npara\nsection wp\ntext cp1252 \"b\"\npara\n");
  auto range = [&d](std::vector<int32_t> items, uint32_t* end) {
    PathRec p;
    p.items = std::move(items);
    return element_id(d.x, p, end);
  };
  constexpr int32_t kTables = int32_t(0x82000002u);
  uint32_t end1 = 0, end2 = 0, table_end = 0;
  uint32_t first1 = range({S, 1, kBody}, &end1);
  uint32_t first2 = range({S, 2, kBody}, &end2);
  uint32_t table = range({S, 1, kBody, kTables, 1}, &table_end);
  EXPECT_EQ(end1, first2);  // the first section ends where the second starts
  EXPECT_EQ(end2, kNoItem);  // the last runs to the stream's end
  const ContentState& c = *d.x.content;
  auto at = [&c](uint32_t id) {
    size_t p = 0;
    while (p < c.items.size() && c.items[p].id != id) ++p;
    return p;
  };
  ASSERT_LT(at(table), c.items.size());
  EXPECT_EQ(c.items[at(table)].kind, kItemTableStart);
  ASSERT_LT(at(table_end), c.items.size());
  EXPECT_EQ(c.items[at(table_end) - 1].kind, kItemTableEnd);  // just past the table's end
  EXPECT_LT(first1, table);
  // An element that is not there has no range.
  uint32_t none = 0;
  EXPECT_EQ(range({S, 3, kBody}, &none), kNoItem);
  EXPECT_EQ(none, kNoItem);
}

TEST(PagecastElementsTest, ListStyleKinds) {
  // Style 7's record (range 3 byte 0) has list kind 1 as its third word, style 8's (byte
  // 28) kind 4.
  Doc d("section wp\nrecord 3 04000000000000000100000000000000000000000000000000000000\n"
        "record 3 04000000000000000400000000000000000000000000000000000000\n"
        "group 0xA008001C 7 0\nend\ngroup 0xA008001C 8 28\nend\ntext cp1252 \"x\"\npara\n");
  EXPECT_EQ(GetListStyleKind(d.x.chunker, 7), 1u);
  EXPECT_EQ(GetListStyleKind(d.x.chunker, 8), 4u);
  EXPECT_EQ(GetListStyleKind(d.x.chunker, 9), kNotThere);  // no definition
  EXPECT_EQ(GetListStyleKind(d.x.chunker, kNoItem), 15u);
  EXPECT_EQ(GetListStyleKind(0, 7), 15u);
}

TEST(PagecastElementsTest, NextHeadingLevelIsTheParagraphsOwn) {
  // Headings from paragraph outline levels: Sub (level 3, so heading level 2), a body
  // paragraph, Top (level 2) whose outline item sits inside a skipped group's neighbour.
  Doc two("section wp\nitem 0x1C 1 3 0\ntext cp1252 \"Sub\"\npara\ntext cp1252 \"body\"\npara\n"
          "item 0x1C 1 2 0\ngroup 0x20170000 1\nitem 0x1C 1 9 0\nend\ntext cp1252 \"Top\"\npara\n");
  ASSERT_EQ(two.exists({S, 1, kBody}), KVX_OK);
  const ContentState& c = *two.x.content;
  std::vector<uint32_t> starts, breaks;  // paragraph first items and their ends
  bool fresh = true;
  for (const ChunkItem& it : c.items) {
    if (it.kind == kItemOpen && it.a == 0x80000000u) continue;
    if (fresh && (it.kind == kItemParaStyle || it.kind == kItemText)) starts.push_back(it.id), fresh = false;
    if (it.kind == 0 && it.a == kBreakPara) breaks.push_back(it.id), fresh = true;
  }
  ASSERT_EQ(starts.size(), 3u);
  ASSERT_EQ(breaks.size(), 3u);
  struct Case {
    size_t para;
    uint32_t want;
    const char* what;
  } cases[] = {
      {0, 2, "outline level 3"},
      {1, 0, "the next heading starts after the paragraph"},
      {2, 1, "outline level 2; the skipped group's item does not count"},
  };
  for (const Case& k : cases)
    EXPECT_EQ(NextHeadingLevel(*two.x.content, starts[k.para], breaks[k.para]), k.want) << k.what;
  // Past the last heading there is none.
  EXPECT_EQ(NextHeadingLevel(*two.x.content, breaks[2] + 1, breaks[2] + 1), 0u);

  // Headings from outline groups are their groups' own: the word stays 0 and the mode,
  // which names their anchors, stays as the scan settled it.
  Doc one("section wp\ngroup 0x160008 1\ntext cp1252 \"One\"\npara\nend\n");
  ASSERT_EQ(one.exists({S, 1, kBody}), KVX_OK);
  EXPECT_EQ(NextHeadingLevel(*one.x.content, 0, 0xFFFFFFF0u), 0u);
  EXPECT_EQ(one.x.content->heading_mode, 1);
}

TEST(PagecastElementsTest, DefaultSectionNames) {
  char buf[64] = {};
  EXPECT_EQ(FUGetDefaultSectionString(3, 1, buf, sizeof buf), 13u);
  EXPECT_STREQ(buf, "Spreadsheet 3");
  char small[8] = {};
  FUGetDefaultSectionString(12, 0, small, sizeof small);  // cut within the buffer
  EXPECT_STREQ(small, "Documen");
  char kept[16] = "left";
  EXPECT_EQ(FUGetDefaultSectionString(1, 3, kept, sizeof kept), 4u);  // no text for type 3
  EXPECT_STREQ(kept, "left");
}

}  // namespace
}  // namespace pc
