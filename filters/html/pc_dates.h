// Calendar conversions of the number formatters: Julian day numbers to Gregorian and
// Julian-calendar dates, weekdays, the time of day in a fractional day number, and DOS
// date-time words turned into day counts. Pure functions over plain integers and doubles;
// called by the display-type and format-code formatters of spreadsheet and database cells.
#pragma once
#include <cstdint>

namespace pc {

// The first day number with a date: 1 January of year 1 in the Julian calendar.
inline constexpr int64_t kFirstDatedDay = 1721424;
// 28 February 1900: with the leap-day correction every later day number is lowered by one.
inline constexpr int64_t kLeapDay1900 = 2415079;

struct CivilDate {
  int day = 0, month = 0, year = 0;
};

// Gregorian date of a Julian day number (day 0 gives 0, 0, 0).
CivilDate FUj2g(int64_t dayNumber);
// Julian-calendar date; day numbers below 1 January of year 1 give 0, 0, 0.
CivilDate FUj2j(int64_t dayNumber);
// 0 = Monday .. 6 = Sunday, for any day number.
int FUWeekday(int64_t dayNumber);

// The date of a day number with the leap-day correction (date flags bit 0) applied first;
// days before kFirstDatedDay give 0, 0, 0. weekday is that of the corrected day number.
CivilDate FUConvertJulianToDate(int64_t dayNumber, int* weekday, uint32_t dateFlags);

// Seconds of the time of day held in the day number's fraction, rounded to the nearest
// second (so 0.999999 of a day gives 86,400); hundredths of the second come out too.
int64_t FUConvertJulianToSeconds(double dayNumber, int* hundredths);

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
};
// Splits a count of seconds; the hour is brought into 0-23. A negative count has no time
// of day: the result is false and the time 0:00:00.
bool FUConvertSecondsToTime(int64_t seconds, TimeOfDay* time);

// Replaces a DOS date-time word (value truncated to 32 bits; year in bits 25-31) by the day
// count from 31 December 1979 plus the time as a fraction of a day. A value that is not a
// finite number within 0 .. 2^32 - 1 becomes 0.
void FUConvertDosDateToSODate(double* value);

}  // namespace pc
