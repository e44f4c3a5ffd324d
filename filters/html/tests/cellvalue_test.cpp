// Tests of the cell values: every storage type in both byte orders where it has two, scale
// codes, packed BCD and compact words, 80-bit reals built from x86-64 long double, and the
// digit-string utilities of the formatters.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "filters/html/pc_cellvalue.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Le(uint64_t v, int n) {
  Bytes b(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) b[size_t(i)] = uint8_t(v >> (8 * i));
  return b;
}
Bytes Be(uint64_t v, int n) {
  Bytes b = Le(v, n);
  return Bytes(b.rbegin(), b.rend());
}
uint64_t BitsOf(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}
uint32_t BitsOf(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
Bytes Extended(long double v) {
  unsigned char raw[sizeof(long double)] = {};
  std::memcpy(raw, &v, sizeof v);
  return Bytes(raw, raw + 10);
}

TEST(PagecastCellValues, StorageTypes) {
  Bytes bcd = {0x39, 0x12, 0x34, 0x50, 0, 0, 0, 0};
  struct Case {
    uint32_t type;
    Bytes bytes;
    int result;
    double value;
  } cases[] = {
      {0, Le(uint32_t(-123), 4), 1, -123},
      {13, Be(uint32_t(-123), 4), 1, -123},
      {1, Le(0xFFFFFFFFu, 4), 1, 4294967295.0},
      {14, Be(0xFFFFFFFFu, 4), 1, 4294967295.0},
      {2, Le(BitsOf(1.5f), 4), 1, 1.5},
      {3, Be(BitsOf(-2.25f), 4), 1, -2.25},
      {4, Le(BitsOf(1234.5678), 8), 1, 1234.5678},
      {5, Be(BitsOf(-1234.5678), 8), 1, -1234.5678},
      {4, {1, 2, 3, 4, 5, 6, 0xFF, 0xFF}, 0, 0},
      {4, {1, 2, 3, 4, 5, 6, 0xFF, 0x7F}, 1, DBL_MAX},  // only both bytes 0xFF mean no value
      {6, Extended(3.75L), 1, 3.75},
      {7, [] { Bytes b = Extended(-3.75L); return Bytes(b.rbegin(), b.rend()); }(), 1, -3.75},
      {8, bcd, 1, 1.2345},
      {15, Le(0x1D5, 4), 1, 0.00007},
      {9, Le(1, 8), 0, 0},
      {10, Le(1, 8), 0, 0},
      {11, Le(1, 8), 0, 0},
      {12, Le(1, 8), 0, 0},
      {16, Le(1, 8), 0, 0},
      {5, Le(0, 7), 0, 0},  // too few bytes
  };
  cases[9].value = [] {
    uint64_t u = 0x7FFF060504030201ull;
    double d;
    std::memcpy(&d, &u, 8);
    return d;
  }();
  for (const auto& c : cases) {
    double v = -1;
    EXPECT_EQ(pc::FUDataValFromUnion(c.bytes.data(), c.bytes.size(), 0, c.type, &v), c.result) << c.type;
    if (std::isnan(c.value)) continue;
    EXPECT_NEAR(v, c.value, std::fabs(c.value) * 1e-12) << c.type;
  }
}

TEST(PagecastCellValues, ScaleCodes) {
  const std::pair<uint32_t, double> cases[] = {
      {320, 5000}, {321, 1000}, {322, 500}, {323, 0.05}, {324, 0.005}, {325, 0.0005}, {326, 0.00005},
      {327, 0.0625}, {328, 0.015625}, {329, 0.01}, {319, 1}, {330, 1}, {0, 1},
  };
  Bytes eight = Le(8, 4);
  for (const auto& [code, factor] : cases) {
    double v = 0;
    EXPECT_EQ(pc::FUDataValFromUnion(eight.data(), eight.size(), code, 0, &v), 1);
    EXPECT_DOUBLE_EQ(v, 8 * factor) << code;
  }
}

TEST(PagecastCellValues, BcdAndCompactWords) {
  struct Bcd {
    Bytes bytes;
    double value;
  } bcds[] = {
      {{0x39, 0x12, 0x34, 0x50, 0, 0, 0, 0}, 1.2345},
      {{0xB9, 0x12, 0x34, 0x50, 0, 0, 0, 0}, -1.2345},
      {{0x00, 0x12, 0x34, 0x50, 0, 0, 0, 0}, 0},
      {{0x46, 0, 0, 0, 0, 0, 0, 0x99}, 99},
      {{0x50, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99}, 99999999999999e10},
  };
  for (const auto& c : bcds) EXPECT_NEAR(pc::FUConvertBCDToDouble(c.bytes.data()), c.value, std::fabs(c.value) * 1e-12);
  const std::pair<uint32_t, double> words[] = {
      {0x1D5, 0.00007}, {0x1F5, -0.00007}, {0x1C5, 700000}, {0x1E5, -700000}, {0xFFFFFFC0u, 67108863}, {0, 0},
  };
  for (const auto& [w, v] : words) EXPECT_NEAR(pc::FUConvertCompactToDouble(w), v, std::fabs(v) * 1e-12) << w;
}

// Random long doubles (never an exact halfway mantissa) convert as the hardware does.
TEST(PagecastCellValues, ExtendedRealsMatchTheHardware) {
  std::mt19937_64 rng(31);
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    uint64_t mantissa = rng() | (uint64_t(1) << 63);
    if ((mantissa & 0x7FF) == 0x400) continue;  // halfway: the hardware rounds to even
    int exponent = int(rng() % 2000) - 1000;
    long double v = std::ldexp((long double)mantissa, exponent - 63);
    if (rng() & 1) v = -v;
    Bytes b = Extended(v);
    EXPECT_EQ(BitsOf(pc::FUSFloat10to8(b.data())), BitsOf(double(v))) << i;
    ++checked;
  }
  EXPECT_GT(checked, 19000);
  // Rounding that carries into the exponent.
  Bytes b = Extended(std::nextafter(2.0L, 0.0L));
  EXPECT_EQ(pc::FUSFloat10to8(b.data()), 2.0);
  // Out of range, infinities, NaN and zero give 0.
  for (long double v : {0.0L, 1e4000L, 1e-4000L, std::numeric_limits<long double>::infinity(),
                        std::numeric_limits<long double>::quiet_NaN()}) {
    Bytes z = Extended(v);
    EXPECT_EQ(pc::FUSFloat10to8(z.data()), 0.0) << double(v);
  }
  // An unnormalised mantissa is shifted up first.
  Bytes u = {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F};  // 0.5 x 2^0 without the leading bit
  EXPECT_EQ(pc::FUSFloat10to8(u.data()), 0.5);
}

TEST(PagecastCellValues, DigitStrings) {
  std::string s;
  const std::pair<uint32_t, const char*> nums[] = {{0, "0"}, {65535, "65535"}, {65536, "0"}, {70000, "4464"}};
  for (const auto& [n, text] : nums) {
    EXPECT_EQ(pc::FUNumToString(n, &s), int(std::strlen(text)));
    EXPECT_EQ(s, text);
  }
  struct Round {
    const char* source;
    size_t n;
    const char* out;
    int carry;
  } rounds[] = {
      {"12345", 3, "123", 0}, {"12355", 3, "124", 0}, {"1295", 3, "130", 0},
      {"9995", 3, "000", 1},  {"12", 4, "1200", 0},   {"5", 0, "", 1},
  };
  for (const auto& r : rounds) {
    std::string out;
    EXPECT_EQ(pc::FURoundCopy(&out, r.source, r.n), r.carry) << r.source;
    EXPECT_EQ(out, r.out) << r.source;
    std::u16string wide, wsrc;
    pc::FUstrcatBtoW(&wsrc, r.source);
    EXPECT_EQ(pc::FURoundCopyW(&wide, wsrc, r.n), r.carry);
    std::u16string wexp;
    pc::FUstrcatBtoW(&wexp, r.out);
    EXPECT_EQ(wide, wexp);
  }
  s = "1234";
  pc::FUInsertCh(&s, '.', 2);
  pc::FUInsertCh(&s, '!', 99);
  EXPECT_EQ(s, "12.34!");
  unsigned char src[3] = {1, 2, 3}, dst[3] = {};
  pc::FUReverseByteCopy(dst, src, 3);
  EXPECT_EQ(dst[0], 3);
  EXPECT_EQ(dst[2], 1);
  std::u16string w = u"a";
  EXPECT_EQ(pc::FUstrcatBtoW(&w, "\xA4\x40"), 2u);
  EXPECT_EQ(w, std::u16string(u"a\u00A4\u0040"));
}

}  // namespace
