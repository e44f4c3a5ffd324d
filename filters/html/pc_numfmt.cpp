// Display-type formatting of numeric cells (see pc_numfmt.h): dates and times by layout
// slots, and numbers expanded to 127 significant digits, rounded to the display type's
// places and dressed with sign, parentheses, currency, percent and thousands separators.
#include "pc_numfmt.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "filters/html/pc_cellvalue.h"
#include "filters/html/pc_dates.h"

namespace pc {
namespace {

std::string FieldText(const unsigned char* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && p[i]; ++i) s.push_back(char(p[i]));
  return s;
}

std::u16string Widen(const std::string& s) {
  std::u16string w;
  FUstrcatBtoW(&w, s);
  return w;
}

std::u16string Cut(std::u16string s, size_t n) {
  if (s.size() > n) s.resize(n);
  return s;
}

std::u16string Text(const DateTimeContext& c, uint32_t id) { return c.texts ? c.texts(id) : std::u16string(); }

template <typename... Args>
std::string Format(const char* fmt, Args... args) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

enum Component { kWeekday, kMonth, kDay, kYear, kTime, kComponents };

}  // namespace

NumberFormats ReadNumberFormatsRecord(const unsigned char record[32]) {
  NumberFormats f;
  f.decimalSeparator = char(record[0]);
  f.thousandsSeparator = char(record[1]);
  f.dateSeparator = char(record[2]);
  f.timeSeparator = char(record[3]);
  f.currency = FieldText(record + 4, 8);
  f.morning = FieldText(record + 12, 8);
  f.afternoon = FieldText(record + 20, 8);
  f.currencyPlacement = record[28];
  f.dateOrder = uint16_t(record[30] | (record[31] << 8));
  return f;
}

std::u16string FUFormatDateTime(double value, int type, uint32_t flags, uint16_t layout, double dateBase,
                                uint32_t dateFlags, double timeScale, const DateTimeContext& context) {
  const NumberFormats& nf = context.formats;
  CivilDate date;
  int weekday = 0;
  TimeOfDay time;
  bool hasDate = type == 5 || type == 6, hasTime = type == 5 || type == 7;
  if (hasDate) {
    double serial = dateBase + value;
    if (!(serial <= 4026531840.0 && serial >= -4026531840.0)) return Cut(Text(context, kTextInvalidDate), 79);
    date = FUConvertJulianToDate(int64_t(serial), &weekday, dateFlags);
    if (date.year < 0 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31)
      return Cut(Text(context, kTextInvalidDate), 79);
    if (type == 5) FUConvertSecondsToTime(FUConvertJulianToSeconds(serial, nullptr), &time);
  } else if (type == 7) {
    // A whole value counts seconds; a fraction is part of a day. A negative or unbounded
    // time has no time of day.
    double scaled = value * timeScale;
    bool valid = std::isfinite(value) && std::isfinite(scaled) && value >= 0 && scaled >= 0 && value < 1e15;
    int64_t seconds = -1;
    if (valid) seconds = value == std::floor(value) ? int64_t(value) : FUConvertJulianToSeconds(scaled, nullptr);
    if (!FUConvertSecondsToTime(seconds, &time)) return Cut(Text(context, kTextInvalidTime), 79);
  } else {
    return u"";
  }

  int position[kComponents];
  for (int i = 0; i < kComponents; ++i) position[i] = (layout >> (3 * i)) & 7;
  std::string separator;
  if (flags & 0x4000) {
    separator = std::string(1, nf.dateSeparator);
    int next = 1;
    int renumbered[kComponents] = {};
    if (position[kWeekday]) renumbered[kWeekday] = next++;
    static const Component kOrders[3][3] = {{kMonth, kDay, kYear}, {kDay, kMonth, kYear}, {kYear, kMonth, kDay}};
    if (nf.dateOrder < 3)
      for (Component c : kOrders[nf.dateOrder])
        if (position[c]) renumbered[c] = next++;
    if (position[kTime]) renumbered[kTime] = next++;
    for (int i = 0; i < kComponents; ++i) position[i] = renumbered[i];
  } else if (flags & 0x100) {
    separator = "/";
  } else if (flags & 0x200) {
    separator = "-";
  } else if (flags & 0x400) {
    separator = ".";
  } else if (flags & 0x800) {
    separator = " ";
  }
  if (!context.keepTwelveHour && nf.morning.empty() && nf.afternoon.empty()) flags &= ~0x80000u;

  std::u16string text[kComponents];
  if (hasTime) {
    int h = time.hour, h12 = (time.hour + 11) % 12 + 1;
    const char* ampm = time.hour < 12 ? nf.morning.c_str() : nf.afternoon.c_str();
    char sep = nf.timeSeparator;
    std::string t;
    switch (flags & 0x1E0000) {
      case 0x20000: t = Format("%i%c%.2i", h, sep, time.minute); break;
      case 0x40000: t = Format("%i%c%2.2i%c%2.2i", h, sep, time.minute, sep, time.second); break;
      case 0xA0000: t = Format("%i%c%.2i %s", h12, sep, time.minute, ampm); break;
      case 0xC0000: t = Format("%i%c%2.2i%c%2.2i %s", h12, sep, time.minute, sep, time.second, ampm); break;
      case 0x120000: t = Format("%ih%.2im", h, time.minute); break;
      case 0x140000: t = Format("%ih%2.2im%2.2is", h, time.minute, time.second); break;
      default: break;
    }
    text[kTime] = Widen(t);
  }
  if (hasDate) {
    if (flags & 0x200000) text[kDay] = Widen(Format("%i", date.day));
    if (flags & 0x1000) {
      text[kMonth] = Text(context, kTextMonth1 + uint32_t(date.month));
    } else if (flags & 0x2000) {
      text[kMonth] = Text(context, kTextMonth2 + uint32_t(date.month));
    } else if (flags & 0x4000) {
      text[kMonth] = Widen(Format("%i", date.month));
    }
    if ((flags & 0x8000) || date.year < 1900 || date.year > 1999) {
      text[kYear] = Widen(Format("%4.4i", date.year));
    } else if (flags & 0x10000) {
      text[kYear] = Widen(Format("%2.2i", date.year % 100));
    }
    if (flags & 0x400000) {
      text[kWeekday] = Text(context, kTextWeekday1 + uint32_t(weekday));
    } else if (flags & 0x800000) {
      text[kWeekday] = Text(context, kTextWeekday2 + uint32_t(weekday));
    }
  }
  auto isDatePart = [&](int pos) {
    return pos >= 1 && pos <= 5 && (position[kMonth] == pos || position[kDay] == pos || position[kYear] == pos);
  };
  std::u16string out;
  for (int pos = 1; pos <= 5; ++pos) {
    for (int c = 0; c < kComponents; ++c) {
      if (position[c] != pos || text[c].empty()) continue;
      out += Cut(text[c], 19);
      bool datePart = c == kMonth || c == kDay || c == kYear;
      out += datePart && isDatePart(pos + 1) ? Widen(separator) : u" ";
    }
  }
  return Cut(out, 100);
}

namespace {

double FlagScale(uint32_t flags) {
  switch (flags & 0xF0) {
    case 0x10: return 0.01;
    case 0x20: return 5000;
    case 0x30: return 500;
    case 0x40: return 0.05;
    case 0x50: return 0.005;
    case 0x60: return 0.0005;
    case 0x70: return 0.00005;
    case 0x80: return 0.0625;
    case 0x90: return 0.015625;
    case 0xA0: return 0.0001;
    default: return 1;
  }
}

}  // namespace

std::u16string FUFormatNumber35(uint32_t formatWord, uint32_t flags, double value, double dateBase,
                                uint32_t dateFlags, uint32_t* colour, size_t capacity, const DateTimeContext& context) {
  const NumberFormats& nf = context.formats;
  int type = int(formatWord >> 16);
  int decimals = int(formatWord & 0xFFFF);
  double factor = FlagScale(flags);
  if (type == 2) factor *= 100;
  auto fit = [&](std::u16string s) { return Cut(std::move(s), capacity ? capacity - 1 : 0); };

  if (type >= 5 && type <= 9) {
    std::u16string s;
    if (type == 8) {
      bool truth = std::isfinite(value) && std::trunc(value) != 0;
      s = Text(context, truth ? kTextTrue : kTextFalse);
    } else if (type == 9) {
      FUConvertDosDateToSODate(&value);
      s = FUFormatDateTime(value, 5, flags, uint16_t(decimals), kDosDateBase, 0, 1, context);
    } else {
      s = FUFormatDateTime(value, type, flags, uint16_t(decimals), dateBase, dateFlags, 1, context);
    }
    return fit(Cut(s, 80));
  }

  double v = value * factor;
  if (!std::isfinite(v)) return u"";
  bool negative = v < 0;
  // 127 significant digits with the point position (digits before the point).
  char expanded[200];
  std::snprintf(expanded, sizeof expanded, "%.126e", std::fabs(v));
  std::string digits;
  for (const char* p = expanded; *p && *p != 'e'; ++p)
    if (*p != '.') digits.push_back(*p);
  int point = v == 0 ? 1 : std::atoi(std::strchr(expanded, 'e') + 1) + 1;
  if (point > 126 || point < -126) return u"";

  bool parens = flags & 0x5;
  std::string s;
  if (negative) {
    s += parens ? "(" : "-";
    if (flags & 0x6) *colour = 0xFF;
  }
  if (type == 1 && (nf.currencyPlacement & 1)) {
    s += nf.currency;
    if (nf.currencyPlacement & 2) s += ' ';
  }
  bool general = type == 0;
  bool scientific = type == 3 || (general && (point > 9 || point < -4));
  if (general) decimals = scientific ? 2 : point >= 1 ? std::min(9 - point, 5) : -point + 8;
  if (decimals > 126) decimals = 126;  // digits stay within the 127 expanded
  const char dot = '.';
  std::string number;
  if (scientific) {
    std::string mantissa;
    if (FURoundCopy(&mantissa, digits, size_t(decimals) + 1)) {
      mantissa = "1" + mantissa.substr(0, size_t(decimals));
      ++point;
    }
    if (decimals > 0) FUInsertCh(&mantissa, dot, 1);
    if (general && decimals > 0) {
      while (mantissa.back() == '0') mantissa.pop_back();
      if (mantissa.back() == dot) mantissa.pop_back();
    }
    number = mantissa + Format(point >= 1 ? "E+%2.2i" : "E%2.2i", point - 1);
  } else {
    if (point < 1) {
      number = "0";
      int zeros = -point;
      if (zeros >= decimals) {
        number.append(size_t(decimals), '0');
        if (zeros == decimals && digits[0] > '4') number.back() = '1';
      } else {
        number.append(size_t(zeros), '0');
        std::string rest;
        if (FURoundCopy(&rest, digits, size_t(decimals - zeros))) number.back() = '1';
        number += rest;
      }
      if (decimals != 0 || general) FUInsertCh(&number, dot, 1);
    } else {
      if (point + decimals > 127) decimals = 0;
      if (FURoundCopy(&number, digits, size_t(point + decimals))) {
        number = "1" + number;
        ++point;
      }
      if (decimals > 0) FUInsertCh(&number, dot, size_t(point));
    }
    if (general && number.find(dot) != std::string::npos) {
      while (number.back() == '0') number.pop_back();
      if (number.back() == dot) number.pop_back();
    }
  }
  for (char& c : number)
    if (c == dot) c = nf.decimalSeparator;
  s += number;

  std::u16string out = Widen(s);
  if (flags & 0x8) {
    size_t begin = 0;
    while (begin < out.size() && !(out[begin] >= u'0' && out[begin] <= u'9')) ++begin;
    size_t end = begin;
    while (end < out.size() && out[end] >= u'0' && out[end] <= u'9') ++end;
    for (size_t at = end; at >= begin + 4; at -= 3) out.insert(out.begin() + std::ptrdiff_t(at - 3), char16_t(uint8_t(nf.thousandsSeparator)));
  }
  if (type == 2) out += u"%";
  if (negative && parens) out += u")";
  if (type == 1 && !(nf.currencyPlacement & 1)) {
    if (nf.currencyPlacement & 2) out += u" ";
    out += Widen(nf.currency);
  }
  return fit(out);
}

}  // namespace pc
