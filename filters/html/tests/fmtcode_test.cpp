// Tests of number formatting by format codes: formats built as item lists (element codes and
// literal text), the General rendering with its noise cleaning, grouping, placeholders and
// rounding, exponents, percent, currency, date and time elements, and missing values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filters/html/pc_fmtcode.h"

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
  c.texts = [](uint32_t id) -> std::u16string {
    if (id >= pc::kTextWeekday1 && id < pc::kTextWeekday1 + 7) return u"W" + std::u16string(1, char16_t(u'0' + (id - pc::kTextWeekday1)));
    if (id >= pc::kTextWeekday2 && id < pc::kTextWeekday2 + 7) return u"V" + std::u16string(1, char16_t(u'0' + (id - pc::kTextWeekday2)));
    if (id >= pc::kTextMonth1 && id < pc::kTextMonth1 + 13) return u"M" + std::u16string(1, char16_t(u'@' + (id - pc::kTextMonth1)));
    if (id == pc::kTextNoNumber) return u"n/a";
    if (id == pc::kTextInvalidDate) return u"bad date";
    if (id == pc::kTextTrue) return u"TRUE";
    if (id == pc::kTextFalse) return u"FALSE";
    return u"";
  };
  return c;
}

// A format from a compact description: each code is an element; a negative number -c is a
// literal character c.
std::vector<pc::FormatItem> Items(std::initializer_list<int> codes) {
  std::vector<pc::FormatItem> items;
  for (int code : codes) {
    pc::FormatItem it;
    if (code < 0) {
      it.kind = 7;
      it.text = std::u16string(1, char16_t(-code));
    } else {
      it.kind = 24;
      it.field1 = uint32_t(code);
    }
    items.push_back(it);
  }
  items.push_back(pc::FormatItem{68, 0, 0, {}});
  return items;
}

std::string Fmt(const std::vector<pc::FormatItem>* items, double value, double base = 0, uint32_t dateFlags = 0,
                uint32_t expFlags = 0) {
  pc::CompiledNumberFormat f = pc::CompileNumberFormat(items);
  uint32_t colour = 7, attribute = 0;
  return Narrow(pc::FUFormatNumber(f, value, base, dateFlags, expFlags, &colour, &attribute, 256, Context()));
}

TEST(PagecastFormatCodes, GeneralRendering) {
  const std::pair<double, const char*> cases[] = {
      {1234.5, "1234,5"}, {0.30000000000000004, "0,3"}, {0.999999999, "1"}, {1e25, "1,0E+25"},
      {-2.5, "-2,5"},     {0, "0"},                      {1.0 / 3, "0,33333"}, {123456.1234567, "123456,12346"},
      {9.9999995, "10"},  {1e-25, "1,0E-25"},
  };
  for (const auto& [v, text] : cases) EXPECT_EQ(Fmt(nullptr, v), text) << v;
  std::vector<pc::FormatItem> slash = {{7, 0, 0, u"/"}, {68, 0, 0, {}}};
  EXPECT_EQ(Fmt(&slash, 1234.5), "1234,5");
  std::vector<pc::FormatItem> empty = {{68, 0, 0, {}}};
  EXPECT_EQ(Fmt(&empty, 0.25), "0,25");
}

TEST(PagecastFormatCodes, Placeholders) {
  struct Case {
    std::vector<pc::FormatItem> items;
    double value;
    const char* text;
  } cases[] = {
      {Items({0x101, 0x10A, 0x101, 0x101, 0x100, 0x103, 0x100, 0x100}), 1234567.891, "1.234.567,89"},
      {Items({0x101, 0x10A, 0x101, 0x101, 0x100}), 1234567, "1234567"},  // no point, no grouping
      {Items({0x100, 0x100, 0x100, 0x103, 0x100}), 5.25, "005,3"},
      {Items({0x100, 0x103, 0x100, 0x100}), 9.999, "10,00"},
      {Items({0x102, 0x102, 0x102, 0x103, 0x102, 0x102}), 0.5, "   ,50"},
      {Items({0x101, 0x103, 0x101, 0x101}), 0.5, ",50"},  // fraction digits are kept down to the placeholder count,
      {Items({0x109, 0x101, 0x10A, 0x101, 0x101, 0x100, 0x103, 0x100, 0x100}), -5, "-EUR5,00"},
      {Items({0x100, 0x104}), 0.25, "25%"},
      {Items({0x100, 0x100, -'-', 0x100, 0x100}), 123456, "1234-56"},
      // A fraction carry runs back across literal text between placed digits; a literal
      // digit is not carried into.
      {Items({0x100, 0x103, 0x100, -'-', 0x100}), 9.996, "10,0-0"},
      {Items({0x100, 0x103, 0x100, -'7', 0x100}), 0.396, "0,470"},
      {Items({0x100, 0x103, 0x100, 0x100, 0x10B, 0x100, 0x100}), 12345, "1,23E+04"},
      {Items({0x100, 0x103, 0x100, 0x100, 0x10B, 0x100, 0x100}), 0.000123, "1,23E-04"},
      {Items({0x101, 0x101, 0x100, 0x103, 0x100, 0x10B, 0x100}), 12345, "12,3E+03"},
      {Items({0x10C}), 0, "FALSE"},
      {Items({0x10C}), 3, "TRUE"},
      {Items({-'[', 0x107, 'x', -']'}), 1, "[x]"},
      {Items({0x108, '*'}), 2.5, "***"},
  };
  for (const auto& c : cases) EXPECT_EQ(Fmt(&c.items, c.value), c.text) << c.text;
  auto eng = Items({0x101, 0x101, 0x100, 0x103, 0x100, 0x10B, 0x100});
  EXPECT_EQ(Fmt(&eng, 12345, 0, 0, 2), "12,3E+3");
  EXPECT_EQ(Fmt(&eng, 0.00012345, 0, 0, 2), "123,5E-6");  // negative exponents floor to a multiple of 3
}

TEST(PagecastFormatCodes, DatesAndTimes) {
  auto time12 = Items({0x12A, 0x131, 0x12B, -' ', 0x12F});
  auto time24 = Items({0x132, 0x12A, 0x131, 0x12B});
  pc::DateTimeContext c = Context();
  EXPECT_EQ(Fmt(&time12, 2.75), "6:00 PM");
  EXPECT_EQ(Fmt(&time24, 2.75), "18:00");
  auto date = Items({0x122, 0x130, 0x124, 0x130, 0x127, -' ', 0x133});
  std::string expected = "28-2-1900 W" + std::to_string((2415079 - 2445128) % 7 + 7);
  EXPECT_EQ(Fmt(&date, 2415080, 0, 1), expected);
  EXPECT_EQ(Fmt(&date, 2451545), "1-1-2000 W5");
  auto longDate = Items({0x134});
  EXPECT_EQ(Fmt(&longDate, 0, 2451545), "W5,MA 1, 2000");
  auto shortDate = Items({0x135, -' ', 0x121, 0x123, 0x128});
  EXPECT_EQ(Fmt(&shortDate, 31, 2451545), "2-1-00 0102" "00");
  EXPECT_EQ(Fmt(&date, 1e10), "bad date");
}

TEST(PagecastFormatCodes, MissingValuesAndColour) {
  double none;
  uint64_t bits = 0xFFFF000000000001ull;
  std::memcpy(&none, &bits, 8);
  EXPECT_EQ(Fmt(nullptr, none), "n/a");
  std::vector<pc::FormatItem> coloured = {{60, 0, 0xFF, {}}, {25, 42, 0, {}}, {24, 0x100, 0, {}}, {68, 0, 0, {}}};
  pc::CompiledNumberFormat f = pc::CompileNumberFormat(&coloured);
  uint32_t colour = 7, attribute = 0;
  pc::FUFormatNumber(f, 1, 0, 0, 0, &colour, &attribute, 256, Context());
  EXPECT_EQ(colour, 0xFFu);
  EXPECT_EQ(attribute, 42u);
  colour = 7;
  pc::FUFormatNumber(pc::CompileNumberFormat(nullptr), 1, 0, 0, 0, &colour, &attribute, 256, Context());
  EXPECT_EQ(colour, 7u);
  // The digit string holds the whole double range; the output stops at 255 characters.
  auto fixed = Items({0x100, 0x103, 0x100, 0x100});
  std::string big = Fmt(&fixed, 1e300);
  EXPECT_EQ(big.size(), 255u);
  EXPECT_EQ(big.substr(0, 3), "100");
  EXPECT_EQ(Fmt(nullptr, 1e-300), "1,0E-300");
  EXPECT_EQ(Fmt(nullptr, -1.5e200), "-1,5E+200");
  // Output stops at the capacity, and never passes 255 characters.
  auto many = Items({0x108, 'x'});
  EXPECT_EQ(Fmt(&many, 1e9).size(), 255u);
}

}  // namespace

namespace {

TEST(PagecastFormatCodes, ConditionalSections) {
  // Negative values go to section 1 ("(0)"), zero to section 2 (literal "nil").
  std::vector<pc::FormatItem> negative = {{24, 0x100, 0, {}}, {68, 0, 0, {}}};
  std::vector<pc::FormatItem> nil = {{7, 0, 0, u"nil"}, {68, 0, 0, {}}};
  std::vector<pc::FormatItem> loop;  // sends every value to itself
  pc::FormatItem cond{128, 1, 0, {}, 1, 0};
  pc::FormatItem constant{224, 0, 0, {}, 0, 0};
  pc::FormatItem condZero{128, 3 | (1u << 16), 0, {}, 2, 0};
  std::vector<pc::FormatItem> main = {cond, constant, condZero, constant, {24, 0x100, 0, {}}, {24, 0x103, 0, {}},
                                      {24, 0x100, 0, {}}, {68, 0, 0, {}}};
  loop = {{128, 8, 0, {}, 3, 0}, {68, 0, 0, {}}};
  pc::FormatSectionResolver resolve = [&](uint32_t target, bool byTag) -> const std::vector<pc::FormatItem>* {
    if (target == 1 && !byTag) return &negative;
    if (target == 2 && byTag) return &nil;
    if (target == 3) return &loop;
    return nullptr;
  };
  EXPECT_EQ(pc::SelectFormatSection(&main, -3, resolve), &negative);
  EXPECT_EQ(pc::SelectFormatSection(&main, 0, resolve), &nil);
  EXPECT_EQ(pc::SelectFormatSection(&main, 2.5, resolve), &main);
  EXPECT_EQ(pc::SelectFormatSection(&loop, 1, resolve), nullptr);  // four deep, then General
  std::vector<pc::FormatItem> lost = {{128, 8, 0, {}, 9, 0}, {68, 0, 0, {}}};
  EXPECT_EQ(pc::SelectFormatSection(&lost, 1, resolve), nullptr);
  EXPECT_EQ(Fmt(pc::SelectFormatSection(&main, 0, resolve), 0), "nil");
  EXPECT_EQ(Fmt(pc::SelectFormatSection(&main, 2.5, resolve), 2.54), "2,5");
}

TEST(PagecastFormatCodes, TextCellColourAndAttribute) {
  std::vector<pc::FormatItem> target = {{60, 1, 0x00FF00, {}}, {68, 0, 0, {}}};
  std::vector<pc::FormatItem> items = {{25, 5, 0, {}}, {128, 1, 0, {}, 7, 0}, {128, 8, 0, {}, 7, 0}, {60, 0, 0xFF, {}}};
  pc::FormatSectionResolver resolve = [&](uint32_t t, bool) { return t == 7 ? &target : nullptr; };
  uint32_t colour = 0, attribute = 0;
  EXPECT_EQ(pc::FUFormatTextCell(&items, resolve, &colour, &attribute), 0);
  EXPECT_EQ(attribute, 5u);
  EXPECT_EQ(colour, 0x00FF00u);  // whatever field 1 holds
  EXPECT_EQ(pc::FUFormatTextCell(nullptr, resolve, &colour, &attribute), 37);
  std::vector<pc::FormatItem> self = {{128, 8, 0, {}, 1, 0}};
  pc::FormatSectionResolver selfResolve = [&](uint32_t, bool) { return &self; };
  EXPECT_EQ(pc::FUFormatTextCell(&self, selfResolve, &colour, &attribute), 0);
}

}  // namespace
