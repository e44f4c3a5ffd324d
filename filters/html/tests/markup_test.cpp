// The HTML flavours and the markup primitives in-process: the permission rule of every
// entry for all sixteen flavours against the allowed flavours written out apart, the
// option-27 masks, the tag primitives with their refusals and error word, line breaking,
// blank space in the spacer and non-breaking flavours, and the date and time fields with
// a fixed clock.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "filters/html/pc_markup.h"
#include "filters/html/pc_tags.h"
#include "filters/html/pc_writer.h"
#include "filters/html/tests/writer_harness.h"

namespace pc::test {
namespace {

// Entries first-last, their flag, and the option values (1-16) whose flavour their mask holds.
struct MaskRow {
  unsigned first, last;
  int flag;
  const char* values;
};
const MaskRow kMaskRows[] = {
    {0, 0, 0, ""},
    {1, 1, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {2, 2, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {3, 3, 1, "1 2 3 4 5 6 7 8 9 10 11 12 15 16"},
    {4, 4, 1, "1 3 5 6 7 8 9 11 12"},
    {5, 5, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {6, 6, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {7, 7, 0, ""},
    {8, 8, 0, ""},
    {9, 9, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {10, 10, 1, "3 5 6 7 8 9 10"},
    {11, 11, 1, "3 6 7 9 12"},
    {12, 12, 1, "3 7 9 10"},
    {13, 13, 1, "3 5 6 7 9 12"},
    {14, 14, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {15, 15, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {16, 16, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {17, 17, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {18, 18, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {19, 19, 1, "2 3 4 5 6 7 9 10 12 13 14 15 16"},
    {20, 20, 1, "1 3 5 6 7 8 9 11 12"},
    {21, 21, 0, "2 3 4 7 10 13 14 15 16"},
    {22, 22, 1, "3 5 6 7 8 9 12"},
    {23, 23, 1, "3 5 6 7 8 9 12"},
    {24, 24, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {25, 25, 1, ""},
    {26, 26, 1, "3 6 7 8 12"},
    {27, 27, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {28, 28, 0, "2 3 4 6 7 10 13 14 15 16"},
    {29, 29, 0, "2 3 4 6 7 10 13 14 15 16"},
    {30, 30, 0, "7"},
    {31, 31, 0, "7"},
    {32, 32, 0, "7"},
    {33, 33, 1, "3 7 8 9 12"},
    {34, 34, 1, "2 3 4 6 7 8 10 15 16"},
    {35, 35, 1, "2 3 4 6 7 8 10 15 16"},
    {36, 36, 0, "2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {37, 37, 1, "2 3 4 7 9 10 13 14 15 16"},
    {38, 38, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {39, 39, 0, ""},
    {40, 40, 1, "2 3 4 5 6 7 10 13 14 15 16"},
    {41, 41, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {42, 42, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {43, 43, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {44, 44, 0, "2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {45, 45, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {46, 46, 1, "8"},
    {47, 47, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {48, 48, 0, ""},
    {49, 49, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {50, 50, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {51, 51, 1, "2 3 4 5 6 7 8 9 10 13 14 15 16"},
    {52, 52, 0, "2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {53, 53, 0, ""},
    {54, 54, 0, "2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {55, 55, 0, ""},
    {56, 56, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {57, 57, 1, "2 3 4 5 6 7 8 9 10 12 13 14 15 16"},
    {58, 58, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {59, 59, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {60, 60, 1, "3 7 8 9 12"},
    {61, 61, 1, "2 3 4 6 7 9 10 13 14 15 16"},
    {62, 62, 1, ""},
    {63, 63, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {64, 64, 0, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {65, 65, 0, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {66, 66, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {67, 67, 0, ""},
    {68, 68, 1, "5 6 7 15 16"},
    {69, 69, 1, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {70, 70, 0, "2 3 4 5 6 7 9 10 13 14 15 16"},
    {71, 71, 0, "2 3 4 6 7 9 10 13 14 15 16"},
    {72, 72, 0, "3 6 7 9"},
    {73, 73, 0, ""},
    {74, 74, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {75, 75, 0, "2 3 4 5 6 7 9 10 12 13 14 15 16"},
    {76, 76, 0, "2 4 10 13 14 15 16"},
    {77, 77, 0, "2 4 13 14 15 16"},
    {78, 78, 0, "2 4 13 14 15 16"},
    {79, 79, 0, "2 4 13 14 15 16"},
    {80, 80, 0, "2 4 10 13 14 15 16"},
    {81, 81, 0, "2 4 10 13 14 15 16"},
    {82, 85, 0, "2 4 10 13 14 15 16"},
    {86, 86, 0, "2 4 13 14 15 16"},
    {87, 90, 0, "2 4 10 13 14 15 16"},
    {91, 93, 0, "13 14"},
    {94, 97, 0, "2 4 10 13 14 15 16"},
    {98, 102, 0, "2 4 13 14 15 16"},
    {103, 105, 0, "13 14"},
    {106, 108, 0, "2 4 13 14 15 16"},
    {109, 114, 0, "2 4 10 13 14 15 16"},
    {115, 115, 0, "2 4 10 13 14 15 16"},
    {116, 119, 0, "2 4 10 13 14 15 16"},
    {120, 120, 0, "2 4 13 14 15 16"},
    {121, 121, 0, "10 13 14"},
    {122, 131, 0, "2 4 13 14 15 16"},
    {132, 132, 0, "2 4 10 13 14 15 16"},
    {133, 134, 0, "2 4 13 14 15 16"},
    {135, 135, 0, "10 13 14"},
    {136, 148, 0, "2 4 13 14 15 16"},
    {149, 149, 0, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
    {150, 150, 0, "2 4 10 13 14"},
};

// Flavours whose F12 word allows flag entries (0x39E7): values 1, 3 and 5-12.
const std::set<uint32_t> kFlagFlavours = {1, 3, 5, 6, 7, 8, 9, 10, 11, 12};

std::set<uint32_t> parse_values(const char* text) {
  std::set<uint32_t> out;
  std::istringstream in(text);
  uint32_t v;
  while (in >> v) out.insert(v);
  return out;
}

TEST(PagecastFlavours, EveryEntryAgainstItsAllowedFlavours) {
  unsigned next = 0;
  for (const MaskRow& row : kMaskRows) {
    ASSERT_EQ(row.first, next);
    next = row.last + 1;
    std::set<uint32_t> values = parse_values(row.values);
    for (unsigned i = row.first; i <= row.last; ++i) {
      for (uint32_t value = 1; value <= 16; ++value) {
        for (uint32_t flags : {0u, 1u}) {
          Flavour f;
          ConfigureFlavour(f, value, flags);
          bool expect = values.count(value) || (row.flag == 1 && flags == 0 && kFlagFlavours.count(value));
          EXPECT_EQ(TagAllowed(i, f), expect) << "entry " << i << " value " << value << " flags " << flags;
        }
      }
    }
  }
  EXPECT_EQ(next, kTagCount);
  Flavour f;
  ConfigureFlavour(f, 7, 0);
  EXPECT_FALSE(TagAllowed(kTagCount, f));
  EXPECT_FALSE(TagAllowed(0, f));
}

TEST(PagecastFlavours, Cases) {
  for (uint32_t value : {0u, 11u, 17u, 1000u}) EXPECT_EQ(FlavourBitFor(value), 0x0001) << value;
  for (uint32_t value = 1; value <= 16; ++value) {
    Flavour f;
    ConfigureFlavour(f, value, 0);
    EXPECT_EQ(TagAllowed(30, f), value == 7) << value;                               // SPACER
    EXPECT_EQ(TagAllowed(21, f), parse_values("2 3 4 7 10 13 14 15 16").count(value) == 1) << value;
    EXPECT_EQ(f.useClasses, parse_values("2 4 13 14 15 16").count(value) == 1) << value;
    ConfigureFlavour(f, value, 1);
    EXPECT_EQ(TagAllowed(46, f), value == 8) << value;
  }
  Flavour f;
  ConfigureFlavour(f, 1, 1);
  EXPECT_TRUE(TagAllowed(4, f));
  EXPECT_TRUE(f.numericRefs);
  for (unsigned w : {8u, 11u, 12u, 13u, 23u}) EXPECT_EQ(f.features[w], 0u) << w;
  EXPECT_EQ(f.features[4], 0x39E7u);
  ConfigureFlavour(f, 13, 0);
  for (unsigned i = 82; i <= 148; ++i) {
    if (i != 121 && i != 135) {
      EXPECT_TRUE(TagAllowed(i, f)) << i;
    }
  }
  EXPECT_STREQ(kTagTable[23].first, "ALIGN=\"CENTER\"");
  EXPECT_STREQ(kTagTable[19].second, "WIDTH=");
  EXPECT_STREQ(kTagTable[24].closing, "/P");
}

TEST(PagecastMarkup, TagPrimitives) {
  Harness h(11);
  uint32_t st = 0;
  EXPECT_EQ(EmitTag(true, "<%s", 36, st, h.s), 1);
  EXPECT_EQ(EmitTagColour(true, " %s\"#%2.2X%2.2X%2.2X\"", 0x00FFFFFF, 0xFFFFFF, 37, st, h.s), 1);
  EXPECT_EQ(EmitTagColour(true, " %s\"#%2.2X%2.2X%2.2X\"", 0x000080FF, 0xFFFFFF, 37, st, h.s), 1);
  EXPECT_EQ(EmitSizeAttrs(0, 0, 19, st, h.s), 1);
  EXPECT_EQ(EmitSizeAttrs(5, 0, 19, st, h.s), 1);
  EXPECT_EQ(EmitSizeAttrs(0, 6, 19, st, h.s), 1);
  EXPECT_EQ(EmitSizeAttrs(7, 8, 19, st, h.s), 1);
  EXPECT_EQ(EmitTagNumber(true, " %s\"%d%%\"", 50, 50, st, h.s), 1);
  EmitRaw(">", st, h.s);
  EXPECT_EQ(EmitTag(false, "<%s>", 36, st, h.s), 1);
  EXPECT_EQ(h.out(), "<TABLE BGCOLOR=\"#FF8000\" HEIGHT=\"5\" WIDTH=\"6\" HEIGHT=\"7\" WIDTH=\"8\" WIDTH=\"50%\"></TABLE>");
  EXPECT_EQ(st, 0u);
  EXPECT_EQ(h.s.lineLength, h.out().size());

  // Refused: value 1 has no TABLE, so the caller writes none of its attributes.
  Harness r(1);
  EXPECT_EQ(EmitTag(true, "<%s", 36, st, r.s), 0);
  EXPECT_EQ(EmitTagText(true, "<%s\"%s\"", "x", 30, st, r.s), 0);
  r.s.suppressOutput = 1;
  EXPECT_EQ(EmitTag(true, "<%s>", 1, st, r.s), 0);
  EXPECT_EQ(r.out(), "");

  // A failed write sets 47; later primitives write nothing but still answer allowed.
  Harness f(11);
  f.sink.fail_from = 2;
  EXPECT_EQ(EmitTag(true, "<%s>", 1, st, f.s), 1);
  EXPECT_EQ(EmitTag(false, "<%s>", 1, st, f.s), 1);
  EXPECT_EQ(st, 47u);
  EXPECT_EQ(EmitTag(true, "<%s>", 9, st, f.s), 1);
  EmitRaw("x", st, f.s);
  EXPECT_EQ(f.out(), "<A>");
  EXPECT_EQ(f.sink.writes, 2);
}

TEST(PagecastMarkup, LineBreaks) {
  Harness h(11);
  uint32_t st = 0;
  h.s.indent = 2;
  EmitLineBreak(st, h.s);  // nothing on the line yet
  EmitRaw(std::string(60, 'x').c_str(), st, h.s);
  h.s.wrapAllowed = 1;
  BreakIfLong(7, st, h.s);  // 67 columns still fit
  EXPECT_EQ(h.out().find('\r'), std::string::npos);
  BreakIfLong(8, st, h.s);
  EXPECT_EQ(h.out(), std::string(60, 'x') + "\r\n  ");
  EXPECT_EQ(h.s.lineLength, 0);

  Harness n(11);
  n.s.noLineBreaks = 1;
  n.s.indent = 3;
  EmitRaw("a", st, n.s);
  EmitLineBreak(st, n.s);
  EmitNbspLine(st, true, n.s);
  EXPECT_EQ(n.out(), "a&nbsp;<BR></BR>");
}

TEST(PagecastMarkup, Space) {
  struct Case {
    uint32_t flavour, flags, vertical, horizontal;
    bool reduce;
    const char* expect;
  } cases[] = {
      {7, 0, 480, 0, false, "<SPACER TYPE=\"VERTICAL\" SIZE=\"24\"></SPACER>"},
      {7, 0, 0, 200, false, "<SPACER TYPE=\"HORIZONTAL\" SIZE=\"10\"></SPACER>"},
      {7, 0, 480, 200, false, "<SPACER TYPE=\"BLOCK\" HEIGHT=\"24\" WIDTH=\"10\"></SPACER>"},
      {1, 0, 480, 0, false, "&#160;<BR></BR>&#160;<BR></BR>"},
      {1, 0, 0, 480, false, "&#160;&#160;&#160;&#160;"},
      {11, 0, 480, 0, true, "&nbsp;<BR></BR>"},
      {11, 1, 480, 0, true, "&#160;<BR></BR>"},
      {11, 0, 9, 9, false, ""},  // under half a pixel
      {13, 0, 480, 480, false, ""},
  };
  for (const Case& c : cases) {
    Harness h(c.flavour, c.flags);
    uint32_t st = 0;
    EmitSpace(c.vertical, c.horizontal, c.reduce, st, h.s);
    EXPECT_EQ(h.out(), c.expect) << c.flavour << " " << c.vertical << " " << c.horizontal;
  }
  Harness z(1);
  z.s.lineUnit = 0;  // counts as 240
  uint32_t st = 0;
  EmitSpace(0, 1u << 30, false, st, z.s);
  EXPECT_LT(z.out().size(), 10000u);
  EXPECT_GT(z.out().size(), 0u);
}

std::tm at(int hour, int minute) {
  std::tm tm{};
  tm.tm_year = 126;
  tm.tm_mon = 11;
  tm.tm_mday = 11;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  return tm;
}

TEST(PagecastMarkup, DateAndTimeFields) {
  struct Case {
    uint16_t order;
    uint32_t fieldFlags;
    int hour, minute;
    bool date;
    const char* expect;
  } cases[] = {
      {1, 0x100, 9, 9, true, "1/1/97"},     {2, 0x100, 9, 9, true, "97/1/01"},
      {0, 0x100, 9, 9, true, "1/1/97"},     {1, 0, 9, 9, true, "11/12/26"},
      {2, 0, 9, 9, true, "26/12/11"},       {0, 0, 9, 9, true, "12/11/26"},
      {0, 0, 0, 5, false, "12:05"},         {0, 0, 13, 7, false, "1:07"},
      {0, 0, 12, 30, false, "12:30"},       {0, 0x100, 13, 7, false, "12:00"},
  };
  for (const Case& c : cases) {
    Harness h(11);
    h.nf.DateOrder = c.order;
    h.fieldFlags = c.fieldFlags;
    int hour = c.hour, minute = c.minute;
    h.s.clock = [hour, minute] { return at(hour, minute); };
    EXPECT_EQ(c.date ? WriteDateField(h.s) : WriteTimeField(h.s), KVX_OK);
    EXPECT_EQ(h.out(), c.expect);
  }
  Harness h(11);
  h.haveFormats = false;
  EXPECT_EQ(WriteDateField(h.s), KVXERR_BADPARAM);
  EXPECT_EQ(h.out(), "");
}

}  // namespace
}  // namespace pc::test
