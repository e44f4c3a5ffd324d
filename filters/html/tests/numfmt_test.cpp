// Tests of display-type formatting: dates and times under layout words and flags, and
// numbers by display type (General, currency, percent, scientific, fixed, boolean, DOS date),
// with a locale record whose separators differ from the C locale's so swaps show.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "filters/html/pc_numfmt.h"

namespace {

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? char(c) : '?');
  return out;
}

pc::DateTimeContext Context() {
  pc::DateTimeContext c;
  c.formats.decimalSeparator = ',';
  c.formats.thousandsSeparator = '.';
  c.formats.dateSeparator = '-';
  c.formats.timeSeparator = ':';
  c.formats.currency = "EUR";
  c.texts = [](uint32_t id) {
    if (id >= pc::kTextMonth1 && id < pc::kTextMonth1 + 13) return u"M" + std::u16string(1, char16_t(u'@' + (id - pc::kTextMonth1)));
    if (id >= pc::kTextWeekday1 && id < pc::kTextWeekday1 + 7) return u"W" + std::u16string(1, char16_t(u'0' + (id - pc::kTextWeekday1)));
    if (id == pc::kTextInvalidDate) return std::u16string(u"bad date");
    if (id == pc::kTextInvalidTime) return std::u16string(u"bad time");
    if (id == pc::kTextTrue) return std::u16string(u"TRUE");
    if (id == pc::kTextFalse) return std::u16string(u"FALSE");
    return std::u16string();
  };
  return c;
}

uint16_t Slots(int weekday, int month, int day, int year, int time) {
  return uint16_t(weekday | (month << 3) | (day << 6) | (year << 9) | (time << 12));
}

TEST(PagecastDateTime, Layouts) {
  const double kBase2000 = 2451545;  // value 0 is 1 January 2000, a Saturday (weekday 5)
  struct Case {
    double value;
    int type;
    uint32_t flags;
    uint16_t layout;
    uint32_t dateFlags;
    const char* text;
  } cases[] = {
      {3723, 7, 0x40000, Slots(0, 0, 0, 0, 1), 0, "1:02:03 "},
      {0, 6, 0x100 | 0x1000 | 0x200000 | 0x8000, Slots(0, 1, 2, 3, 0), 0, "MA/1/2000 "},
      {0, 6, 0x4000 | 0x200000 | 0x8000, Slots(0, 1, 2, 3, 0), 0, "1-1-2000 "},
      {31.75, 5, 0x200 | 0x4000 | 0x200000 | 0x10000 | 0x400000 | 0xA0000, Slots(1, 2, 3, 4, 5), 0, "W1 2-1-2000 6:00 PM "},
      {0.5, 7, 0x140000, Slots(0, 0, 0, 0, 1), 0, "12h00m00s "},
      {-1, 7, 0x40000, Slots(0, 0, 0, 0, 1), 0, "bad time"},
      // The separator follows a date part whose neighbour slot holds a date part, even one
      // whose text is empty (no month name here).
      {0, 6, 0x200000 | 0x400 | 0x2000, Slots(0, 2, 1, 3, 0), 0, "1.2000 "},
      {-365, 6, 0x100 | 0x200000 | 0x10000, Slots(0, 0, 1, 2, 0), 0, "1/99 "},
      {1e10, 6, 0x200000, Slots(0, 0, 1, 0, 0), 0, "bad date"},
      {-2451545 + 1721423.0, 6, 0x200000, Slots(0, 0, 1, 0, 0), 0, "bad date"},
      {0, 6, 0x800 | 0x200000 | 0x10000, Slots(0, 0, 6, 1, 0), 0, "2000 "},  // slot 6 is not shown
  };
  pc::DateTimeContext c = Context();
  c.formats.morning = "AM";
  c.formats.afternoon = "PM";
  for (const auto& t : cases)
    EXPECT_EQ(Narrow(pc::FUFormatDateTime(t.value, t.type, t.flags, t.layout, kBase2000, t.dateFlags, 1, c)), t.text)
        << t.text;
}

TEST(PagecastDateTime, TwelveHourNeedsMorningTexts) {
  pc::DateTimeContext c = Context();
  c.formats.morning.clear();
  c.formats.afternoon.clear();
  EXPECT_EQ(Narrow(pc::FUFormatDateTime(0.75, 7, 0xC0000, Slots(0, 0, 0, 0, 1), 0, 0, 1, c)), "18:00:00 ");
  c.keepTwelveHour = true;
  EXPECT_EQ(Narrow(pc::FUFormatDateTime(0.75, 7, 0xC0000, Slots(0, 0, 0, 0, 1), 0, 0, 1, c)), "6:00:00  ");
}

TEST(PagecastDateTime, LeapDayCorrection) {
  pc::DateTimeContext c = Context();
  const uint16_t layout = Slots(0, 2, 1, 3, 0);
  const uint32_t flags = 0x400 | 0x4000 | 0x200000 | 0x8000;
  c.formats.dateOrder = 1;
  // Spreadsheet serial 60 is the nonexistent 29 February 1900: shown as 28 February.
  EXPECT_EQ(Narrow(pc::FUFormatDateTime(60, 6, flags, layout, 2415020, 1, 1, c)), "28-2-1900 ");
  EXPECT_EQ(Narrow(pc::FUFormatDateTime(61, 6, flags, layout, 2415020, 1, 1, c)), "1-3-1900 ");
  EXPECT_EQ(Narrow(pc::FUFormatDateTime(61, 6, flags, layout, 2415020, 0, 1, c)), "2-3-1900 ");
}

uint32_t Word(int type, int decimals) { return (uint32_t(type) << 16) | uint32_t(decimals); }

TEST(PagecastNumber35, DisplayTypes) {
  struct Case {
    uint32_t word, flags;
    double value;
    const char* text;
    uint32_t colour;
  } cases[] = {
      {Word(0, 0), 0, 1234.5, "1234,5", 0},
      {Word(0, 0), 0, 0.000012, "0,000012", 0},
      {Word(0, 0), 0, 12345678901.0, "1,23E+10", 0},
      {Word(0, 0), 0, 1e10, "1E+10", 0},
      {Word(0, 0), 0, 0.00001234, "0,00001234", 0},
      {Word(0, 0), 0, 0.000001234, "1,23E-06", 0},
      {Word(0, 0), 0, 0, "0", 0},
      {Word(0, 0), 0, 7, "7", 0},
      {Word(1, 2), 0x1, -5, "(EUR5,00)", 0},
      {Word(1, 2), 0x2, -5, "-EUR5,00", 0xFF},
      {Word(1, 2), 0x4, -5, "(EUR5,00)", 0xFF},
      {Word(2, 1), 0, 0.1234, "12,3%", 0},
      {Word(3, 2), 0, 123456, "1,23E+05", 0},
      {Word(3, 2), 0, 9.999, "1,00E+01", 0},
      {Word(3, 0), 0, 0.05, "5E-02", 0},
      {Word(4, 2), 0x8, 1234567.891, "1.234.567,89", 0},
      {Word(4, 0), 0x8, -123456, "-123.456", 0},
      {Word(4, 2), 0, 0.006, "0,01", 0},
      {Word(4, 2), 0, 0.0006, "0,00", 0},
      {Word(4, 2), 0, 0.0996, "0,10", 0},
      {Word(4, 2), 0, 0.996, "1,00", 0},
      {Word(4, 0), 0, 0.6, "1", 0},
      {Word(4, 0), 0, 999.5, "1000", 0},
      {Word(4, 1), 0x10, 1234, "12,3", 0},
      {Word(4, 0), 0x20, 2, "10000", 0},
      {Word(4, 2), 0, NAN, "", 0},
      {Word(4, 2), 0, INFINITY, "", 0},
      {Word(4, 2), 0, 1e200, "", 0},
      {Word(4, 2), 0, 1e-200, "", 0},
      {Word(8, 0), 0, 0.7, "FALSE", 0},
      {Word(8, 0), 0, -1.2, "TRUE", 0},
      {Word(4, 300), 0, 1.0, nullptr, 0},
  };
  pc::DateTimeContext c = Context();
  for (const auto& t : cases) {
    uint32_t colour = 0;
    std::u16string s = pc::FUFormatNumber35(t.word, t.flags, t.value, 0, 0, &colour, 256, c);
    if (!t.text) {
      EXPECT_EQ(s.size(), 128u);  // one digit, separator, 126 decimals
      continue;
    }
    EXPECT_EQ(Narrow(s), t.text) << t.text;
    EXPECT_EQ(colour, t.colour) << t.text;
  }
}

TEST(PagecastNumber35, CurrencyPlacementAndCapacity) {
  pc::DateTimeContext c = Context();
  uint32_t colour = 0;
  c.formats.currencyPlacement = 2;
  EXPECT_EQ(Narrow(pc::FUFormatNumber35(Word(1, 0), 0, 3, 0, 0, &colour, 256, c)), "3 EUR");
  c.formats.currencyPlacement = 3;
  EXPECT_EQ(Narrow(pc::FUFormatNumber35(Word(1, 0), 0, 3, 0, 0, &colour, 256, c)), "EUR 3");
  EXPECT_EQ(Narrow(pc::FUFormatNumber35(Word(4, 2), 0, 123.456, 0, 0, &colour, 4, c)), "123");
  EXPECT_EQ(pc::FUFormatNumber35(Word(4, 2), 0, 123.456, 0, 0, &colour, 0, c).size(), 0u);
}

TEST(PagecastNumber35, DosDatesCountFrom1980) {
  pc::DateTimeContext c = Context();
  uint32_t colour = 0;
  double word = double((1u << 25) | (1u << 21) | (1u << 16) | (13u << 11));  // 1981-01-01 13:00
  uint32_t flags = 0x100 | 0x4000 | 0x200000 | 0x8000 | 0x20000;
  // Whatever the sheet's date base, the day count starts on 31 December 1979.
  EXPECT_EQ(Narrow(pc::FUFormatNumber35(Word(9, Slots(0, 1, 2, 3, 4)), flags, word, 2415020, 1, &colour, 256, c)),
            "1-1-1981 13:00 ");
}

TEST(PagecastNumber35, ReadsTheLocaleRecord) {
  unsigned char r[32] = {',', '.', '-', ';', 'k', 'r', 0, 0, 0, 0, 0, 0, 'a', 'm', 0, 0, 0, 0, 0, 0,
                         'p', 'm', 'x', 'y', 'z', 'w', 'v', 'u', 3, 0, 2, 0};
  pc::NumberFormats f = pc::ReadNumberFormatsRecord(r);
  EXPECT_EQ(f.decimalSeparator, ',');
  EXPECT_EQ(f.timeSeparator, ';');
  EXPECT_EQ(f.currency, "kr");
  EXPECT_EQ(f.morning, "am");
  EXPECT_EQ(f.afternoon, "pmxyzwvu");  // a full field without NUL stops at its end
  EXPECT_EQ(f.currencyPlacement, 3);
  EXPECT_EQ(f.dateOrder, 2);
}

}  // namespace
