// Calendar conversions of the number formatters (see pc_dates.h): the Gregorian conversion
// of the ACM's Collected Algorithms no. 199, the Julian calendar counted in four-year cycles,
// times of day and DOS date-time words. Used by the cell formatters.
#include "pc_dates.h"

#include <cmath>

namespace pc {

CivilDate FUj2g(int64_t dayNumber) {
  CivilDate out;
  if (dayNumber == 0) return out;
  int64_t j = dayNumber - 1721119;
  int64_t y = (4 * j - 1) / 146097;
  j = 4 * j - 1 - 146097 * y;
  int64_t d = j / 4;
  j = (4 * d + 3) / 1461;
  d = 4 * d + 3 - 1461 * j;
  d = (d + 4) / 4;
  int64_t m = (5 * d - 3) / 153;
  d = 5 * d - 3 - 153 * m;
  d = (d + 5) / 5;
  y = 100 * y + j;
  if (m < 10) {
    m += 3;
  } else {
    m -= 9;
    ++y;
  }
  out.day = int(d);
  out.month = int(m);
  out.year = int(y);
  return out;
}

CivilDate FUj2j(int64_t dayNumber) {
  CivilDate out;
  if (dayNumber < kFirstDatedDay) return out;
  // Days since 1 January of year 1; the +3 puts each leap day at the end of its cycle's
  // fourth year, so 1 January of year 2 (n = 365) is already year 2.
  int64_t n = dayNumber - kFirstDatedDay;
  int64_t year = (4 * n + 3) / 1461 + 1;
  int64_t dayOfYear = n - 365 * (year - 1) - (year - 1) / 4;
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  for (; month < 12; ++month) {
    int len = kMonthDays[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
    if (dayOfYear < len) break;
    dayOfYear -= len;
  }
  out.day = int(dayOfYear) + 1;
  out.month = month + 1;
  out.year = int(year);
  return out;
}

int FUWeekday(int64_t dayNumber) {
  int64_t w = (dayNumber - 2445128) % 7;
  return int(w < 0 ? w + 7 : w);
}

CivilDate FUConvertJulianToDate(int64_t dayNumber, int* weekday, uint32_t dateFlags) {
  if ((dateFlags & 1) && dayNumber > kLeapDay1900) --dayNumber;
  if (weekday) *weekday = FUWeekday(dayNumber);
  if (dayNumber < kFirstDatedDay) return CivilDate{};
  return FUj2g(dayNumber);
}

int64_t FUConvertJulianToSeconds(double dayNumber, int* hundredths) {
  double fraction = 0;
  if (std::isfinite(dayNumber)) fraction = dayNumber - std::floor(dayNumber);
  int64_t tenths = int64_t(fraction * 864000.0);
  if (tenths % 10 >= 5) tenths += 5;
  if (hundredths) *hundredths = int(int64_t(fraction * 8640000.0) % 100);
  return tenths / 10;
}

bool FUConvertSecondsToTime(int64_t seconds, TimeOfDay* time) {
  *time = TimeOfDay{};
  if (seconds < 0) return false;
  time->hour = int((seconds / 3600) % 24);
  time->minute = int((seconds % 3600) / 60);
  time->second = int(seconds % 60);
  return true;
}

namespace {
bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
}  // namespace

void FUConvertDosDateToSODate(double* value) {
  double v = *value;
  if (!std::isfinite(v) || v < 0 || v >= 4294967296.0) {
    *value = 0;
    return;
  }
  uint32_t w = uint32_t(v);
  int seconds = int(w & 0x1F) * 2;
  int minutes = int((w >> 5) & 0x3F);
  int hours = int((w >> 11) & 0x1F);
  int day = int((w >> 16) & 0x1F);
  int month = int((w >> 21) & 0x0F);
  int year = 1980 + int((w >> 25) & 0x7F);
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int64_t days = 365 * int64_t(year - 1980);
  for (int y = 1980; y < year; ++y) days += IsLeap(y) ? 1 : 0;
  for (int m = 1; m < month && m <= 12; ++m) days += kMonthDays[m - 1] + (m == 2 && IsLeap(year) ? 1 : 0);
  days += day;
  *value = double(days) + double(hours * 3600 + minutes * 60 + seconds) / 86400.0;
}

}  // namespace pc
