// Mail date normalisation (see date.h): a small scanner of the date forms, the month
// table (English and Big5 numerals), and the move from the message's zone to the local
// day through timegm and localtime_r.
#include "mail/decode/date.h"

#include <ctime>
#include <string>

#include "mail/decode/header.h"

namespace qm::mail {

namespace {

struct Scanner {
  std::string_view t;
  size_t i = 0;

  void skip_blanks() {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\r' || t[i] == '\n')) ++i;
  }
  bool number(long& out, size_t max_digits = 9) {
    skip_blanks();
    size_t j = i;
    bool negative = false;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) negative = t[j++] == '-';
    const size_t digits_at = j;
    long v = 0;
    while (j < t.size() && t[j] >= '0' && t[j] <= '9' && j - digits_at < max_digits) v = v * 10 + (t[j++] - '0');
    if (j == digits_at) return false;
    out = negative ? -v : v;
    i = j;
    return true;
  }
  bool literal(char c) {
    if (i < t.size() && t[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  // A word up to the next blank.
  std::string_view word() {
    skip_blanks();
    const size_t from = i;
    while (i < t.size() && t[i] != ' ' && t[i] != '\t') ++i;
    return t.substr(from, i - from);
  }
};

int month_of_word(std::string_view w) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (w.empty()) return 0;
  if (static_cast<unsigned char>(w[0]) < 0x80) {
    if (w.size() < 3) return 0;
    for (int m = 0; m < 12; ++m)
      if (iequals(w.substr(0, 3), kMonths[m])) return m + 1;
    return 0;
  }
  // Big5 numerals one to twelve before the character for month: the first character when
  // the word is shorter than five bytes, else the first two.
  static const char* const kNumerals[] = {
      "\xA4\x40", "\xA4\x47", "\xA4\x54", "\xA5\x7C", "\xA4\xAD", "\xA4\xBB",
      "\xA4\x43", "\xA4\x4B", "\xA4\x45", "\xA4\x51", "\xA4\x51\xA4\x40", "\xA4\x51\xA4\x47"};
  const std::string_view key = w.substr(0, w.size() < 5 ? 2 : 4);
  for (int m = 0; m < 12; ++m)
    if (key == kNumerals[m]) return m + 1;
  return 0;
}

int days_in_month(long year, long month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

long full_year(long year) {
  if (year < 50) return year + 2000;
  if (year < 100) return year + 1900;
  if (year <= 1900) return year + 1900;  // years counted from 1900
  return year;
}

// day month year [hh:mm[:ss]] [zone]; the month read by month_of_word.
int32_t read_day_month_year(std::string_view text) {
  Scanner s{text};
  long day = 0, year = 0, hour = 0, minute = 0, second = 0, zone = 0;
  if (!s.number(day, 2)) return 0;
  const int month = month_of_word(s.word());
  if (month == 0 || !s.number(year, 4)) return 0;
  if (s.number(hour, 2) && s.literal(':') && s.number(minute, 2) && s.literal(':')) s.number(second, 2);
  s.skip_blanks();
  if (s.i < text.size() && (text[s.i] == '+' || text[s.i] == '-')) {
    long z = 0;
    const bool negative = text[s.i] == '-';
    ++s.i;
    const size_t at = s.i;
    if (s.number(z, 4) && s.i - at == 4) zone = (negative ? -1 : 1) * ((z / 100) * 60 + z % 100);
  }
  year = full_year(year);
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || year > 9999) return 0;
  std::tm tm{};
  tm.tm_year = int(year - 1900);
  tm.tm_mon = month - 1;
  tm.tm_mday = int(day);
  tm.tm_hour = int(hour);
  tm.tm_min = int(minute);
  tm.tm_sec = int(second);
  const time_t utc = timegm(&tm) - time_t(zone) * 60;
  std::tm local{};
  if (!localtime_r(&utc, &local)) return 0;
  return int32_t((local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday);
}

}  // namespace

int32_t mail_date_value(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (text.empty()) return 0;
  const size_t comma = text.find(',');
  if (static_cast<unsigned char>(text[0]) >= 0x80) {
    if (comma == std::string_view::npos) return 0;
    return read_day_month_year(text.substr(comma + 1));
  }
  if (comma != std::string_view::npos) return read_day_month_year(text.substr(comma + 1));
  if (text.find('/') != std::string_view::npos) {
    Scanner s{text};
    long year = 0, month = 0, day = 0;
    if (!s.number(year, 4) || !s.literal('/') || !s.number(month, 2) || !s.literal('/') || !s.number(day, 2))
      return 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return 0;
    return int32_t(year * 10000 + month * 100 + day);
  }
  return read_day_month_year(text);
}

}  // namespace qm::mail
