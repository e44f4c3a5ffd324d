// Tests of the calendar conversions: Gregorian and Julian dates, weekdays, times of day and
// DOS date words as tables of hand-checked cases, the committed day table (Python's datetime
// and a Julian-calendar formula) and a full walk that checks every day number follows its
// predecessor by exactly one day.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "filters/html/pc_dates.h"

namespace {

struct DateCase {
  int64_t jd;
  int day, month, year;
};

TEST(PagecastDates, GregorianCases) {
  const DateCase cases[] = {
      {2451545, 1, 1, 2000}, {2415080, 1, 3, 1900}, {2415079, 28, 2, 1900}, {0, 0, 0, 0}, {2299161, 15, 10, 1582},
  };
  for (const auto& c : cases) {
    pc::CivilDate d = pc::FUj2g(c.jd);
    EXPECT_EQ(d.day, c.day) << c.jd;
    EXPECT_EQ(d.month, c.month) << c.jd;
    EXPECT_EQ(d.year, c.year) << c.jd;
  }
}

TEST(PagecastDates, JulianCalendarCases) {
  // 1 January of year 2 and 31 December of year 4 are where a plain n * 4 / 1461 goes wrong.
  const DateCase cases[] = {
      {1721424, 1, 1, 1}, {2299160, 4, 10, 1582}, {1721424 + 365, 1, 1, 2}, {1721424 + 364, 31, 12, 1},
      {1721424 + 1460, 31, 12, 4}, {1721424 + 1461, 1, 1, 5}, {1721423, 0, 0, 0}, {0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    pc::CivilDate d = pc::FUj2j(c.jd);
    EXPECT_EQ(d.day, c.day) << c.jd;
    EXPECT_EQ(d.month, c.month) << c.jd;
    EXPECT_EQ(d.year, c.year) << c.jd;
  }
}

TEST(PagecastDates, DayTableFromPython) {
  std::ifstream in(QM_PAGECAST_DATA "/day_table.txt");
  ASSERT_TRUE(in) << "day_table.txt";
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int64_t jd;
    int gy, gm, gd, jy, jm, jdd;
    fields >> jd >> gy >> gm >> gd >> jy >> jm >> jdd;
    pc::CivilDate g = pc::FUj2g(jd);
    pc::CivilDate j = pc::FUj2j(jd);
    ASSERT_TRUE(g.year == gy && g.month == gm && g.day == gd) << "Gregorian " << jd;
    ASSERT_TRUE(j.year == jy && j.month == jm && j.day == jdd) << "Julian " << jd;
    ++rows;
  }
  EXPECT_GT(rows, 9000);
}

// Every day number from 1 January of year 1 to 2,800,000 is the day after its predecessor
// in both calendars.
TEST(PagecastDates, EveryDayFollowsThePrevious) {
  auto next = [](pc::CivilDate d, bool gregorian) {
    static const int kLen[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = gregorian ? (d.year % 4 == 0 && (d.year % 100 != 0 || d.year % 400 == 0)) : d.year % 4 == 0;
    int len = kLen[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
    if (++d.day > len) {
      d.day = 1;
      if (++d.month > 12) {
        d.month = 1;
        ++d.year;
      }
    }
    return d;
  };
  pc::CivilDate g = pc::FUj2g(1721426), j = pc::FUj2j(1721426);
  for (int64_t jd = 1721427; jd <= 2800000; ++jd) {
    pc::CivilDate eg = next(g, true), ej = next(j, false);
    g = pc::FUj2g(jd);
    j = pc::FUj2j(jd);
    ASSERT_TRUE(g.day == eg.day && g.month == eg.month && g.year == eg.year) << jd;
    ASSERT_TRUE(j.day == ej.day && j.month == ej.month && j.year == ej.year) << jd;
  }
}

TEST(PagecastDates, WeekdaysAndLeapDayCorrection) {
  EXPECT_EQ(pc::FUWeekday(2451545), 5);  // Saturday
  EXPECT_EQ(pc::FUWeekday(2445128), 0);
  EXPECT_EQ(pc::FUWeekday(2445127), 6);  // before the reference day too
  EXPECT_EQ(pc::FUWeekday(0), pc::FUWeekday(7));
  struct Case {
    int64_t jd;
    uint32_t flags;
    int day, month, year, weekday;
  } cases[] = {
      {2415080, 1, 28, 2, 1900, pc::FUWeekday(2415079)}, {2415079, 1, 28, 2, 1900, pc::FUWeekday(2415079)},
      {2415080, 0, 1, 3, 1900, pc::FUWeekday(2415080)},  {1721423, 0, 0, 0, 0, pc::FUWeekday(1721423)},
      {2451546, 1, 1, 1, 2000, 5},
  };
  for (const auto& c : cases) {
    int weekday = -1;
    pc::CivilDate d = pc::FUConvertJulianToDate(c.jd, &weekday, c.flags);
    EXPECT_EQ(d.day, c.day) << c.jd;
    EXPECT_EQ(d.month, c.month) << c.jd;
    EXPECT_EQ(d.year, c.year) << c.jd;
    EXPECT_EQ(weekday, c.weekday) << c.jd;
  }
}

TEST(PagecastDates, TimesOfDay) {
  struct Case {
    double dayNumber;
    int64_t seconds;
    int hour, minute, second;
  } cases[] = {
      {0.999999, 86400, 0, 0, 0}, {0.5, 43200, 12, 0, 0}, {2451545.25, 21600, 6, 0, 0},
      {3723.0 / 86400.0, 3723, 1, 2, 3}, {-0.25, 64800, 18, 0, 0}, {NAN, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    int hundredths = -1;
    int64_t s = pc::FUConvertJulianToSeconds(c.dayNumber, &hundredths);
    EXPECT_EQ(s, c.seconds) << c.dayNumber;
    EXPECT_GE(hundredths, 0);
    EXPECT_LT(hundredths, 100);
    pc::TimeOfDay t;
    EXPECT_TRUE(pc::FUConvertSecondsToTime(s, &t));
    EXPECT_EQ(t.hour, c.hour) << c.dayNumber;
    EXPECT_EQ(t.minute, c.minute) << c.dayNumber;
    EXPECT_EQ(t.second, c.second) << c.dayNumber;
  }
  pc::TimeOfDay t;
  EXPECT_TRUE(pc::FUConvertSecondsToTime(50 * 3600 + 61, &t));
  EXPECT_EQ(t.hour, 2);
  EXPECT_EQ(t.minute, 1);
  EXPECT_EQ(t.second, 1);
  EXPECT_FALSE(pc::FUConvertSecondsToTime(-1, &t));
}

double DosWord(int year, int month, int day, int hour, int minute, int second) {
  return double((uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) | (uint32_t(hour) << 11) |
         (uint32_t(minute) << 5) | uint32_t(second / 2));
}

TEST(PagecastDates, DosDateWords) {
  struct Case {
    double word;
    double expected;
  } cases[] = {
      {DosWord(1981, 1, 1, 0, 0, 0), 367},
      {DosWord(1980, 12, 31, 0, 0, 0), 366},
      {DosWord(1980, 1, 1, 12, 0, 0), 1.5},
      {DosWord(2044, 3, 1, 0, 0, 0), 0},  // year 64 needs the seventh bit
      {DosWord(2101, 3, 1, 6, 30, 10), 0},
      {-1, 0},
      {1e20, 0},
  };
  // Python's datetime gives the day counts of the dates past 2043 (from 31 December 1979).
  cases[3].expected = 23437;
  cases[4].expected = 44255 + (6 * 3600 + 30 * 60 + 10) / 86400.0;
  for (const auto& c : cases) {
    double v = c.word;
    pc::FUConvertDosDateToSODate(&v);
    EXPECT_DOUBLE_EQ(v, c.expected) << c.word;
  }
}

}  // namespace
