// Number formatting by format codes (see pc_fmtcode.h). The digit string is built from a
// 17-digit expansion; integer, fraction and exponent digits are then handed to the format's
// placeholders in order.
#include "pc_fmtcode.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filters/html/pc_cellvalue.h"
#include "filters/html/pc_dates.h"

namespace pc {
namespace {

bool IsDigitCode(uint32_t code) { return code >= 0x100 && code <= 0x102; }
bool IsDateCode(uint32_t code) { return code >= 0x120 && code <= 0x135; }

std::u16string Widen(const std::string& s) {
  std::u16string w;
  FUstrcatBtoW(&w, s);
  return w;
}

std::u16string Text30(const DateTimeContext& c, uint32_t id) {
  std::u16string s = c.texts ? c.texts(id) : std::u16string();
  if (s.size() > 30) s.resize(30);
  return s;
}

// Adds one to the digit string's last digit with carry through "9"s (skipping anything
// that is not a digit); true when the carry ran out of the first digit.
bool IncrementDigits(std::string* s, size_t end) {
  size_t i = end;
  while (i > 0) {
    --i;
    char& c = (*s)[i];
    if (c < '0' || c > '9') continue;
    if (c != '9') {
      ++c;
      return false;
    }
    c = '0';
  }
  return true;
}

// Splits a prepared digit string into its parts.
struct DigitParts {
  std::string integer, fraction, exponentSign, exponent;
};
DigitParts Split(const std::string& s) {
  DigitParts p;
  size_t e = s.find('E');
  std::string mantissa = s.substr(0, e);
  if (e != std::string::npos) {
    p.exponentSign = s.substr(e + 1, 1);
    p.exponent = s.substr(e + 2);
  }
  size_t dot = mantissa.find('.');
  p.integer = mantissa.substr(0, dot);
  if (dot != std::string::npos) p.fraction = mantissa.substr(dot + 1);
  return p;
}

}  // namespace

CompiledNumberFormat CompileNumberFormat(const std::vector<FormatItem>* items) {
  CompiledNumberFormat f;
  if (!items) {
    f.elements.push_back(kElementCode | 0x100);
    f.integerCount = 1;
    f.flags = kFmtGeneral | kFmtDigits;
    f.pointIndex = 1;
    return f;
  }
  bool seenPoint = false, seenExponent = false;
  for (const FormatItem& item : *items) {
    if (item.kind == 68 || f.elements.size() >= kMaxFormatElements) break;
    if (item.kind == 7) {
      if (item.text == u"/" && !(f.flags & kFmtDateTime)) {
        f.flags = kFmtGeneral;
        break;
      }
      for (char16_t c : item.text) {
        if (f.elements.size() >= kMaxFormatElements) break;
        f.elements.push_back(c);
      }
    } else if (item.kind == 24) {
      uint32_t code = item.field1 & 0xFFFF;
      if (IsDigitCode(code)) {
        (seenExponent ? f.exponentCount : seenPoint ? f.fractionCount : f.integerCount)++;
        f.flags |= kFmtDigits;
      }
      if (code == 0x103 && !seenPoint) {
        seenPoint = true;
        f.pointIndex = f.elements.size();
      }
      if (code == 0x10B) {
        seenExponent = true;
        f.flags |= kFmtScientific;
      }
      if (code == 0x104) f.flags |= kFmtPercent;
      if (code == 0x10D) f.flags |= kFmtGeneral | kFmtDigits;
      if (code == 0x132) f.flags |= kFmt24Hour;
      if (IsDateCode(code)) f.flags |= kFmtDateTime;
      if ((code >= 0x120 && code <= 0x128) || (code >= 0x133 && code <= 0x135)) f.flags |= kFmtCalendar;
      f.elements.push_back(kElementCode | code);
    } else if (item.kind == 25) {
      f.attribute = item.field1;
      f.flags |= kFmtAttribute;
    } else if (item.kind == 60 && !(item.field1 & 1)) {
      f.colour = item.field2;
      f.flags |= kFmtColour;
    }
  }
  if (!seenPoint) f.pointIndex = f.elements.size();
  if (f.elements.empty()) f.flags |= kFmtGeneral;
  return f;
}

namespace {
bool ConditionHolds(uint32_t test, double value, double constant) {
  switch (test) {
    case 1: return value < constant;
    case 2: return value > constant;
    case 3: return value == constant;
    case 4: return value <= constant;
    case 5: return value >= constant;
    case 6: return value != constant;
    case 8: return true;
    default: return false;
  }
}
constexpr int kMaxSectionDepth = 4;
}  // namespace

const std::vector<FormatItem>* SelectFormatSection(const std::vector<FormatItem>* items, double value,
                                                   const FormatSectionResolver& resolve) {
  for (int depth = 0; items; ++depth) {
    const std::vector<FormatItem>* target = nullptr;
    bool found = false;
    for (size_t i = 0; i < items->size(); ++i) {
      const FormatItem& it = (*items)[i];
      if (it.kind == 68) break;
      if (it.kind != 128) continue;
      double constant = i + 1 < items->size() && (*items)[i + 1].kind == 224 ? (*items)[i + 1].number : 0;
      if (!ConditionHolds(it.field1 & 0xFFFF, value, constant)) continue;
      target = resolve ? resolve(it.field3, (it.field1 >> 16) & 1) : nullptr;
      found = true;
      break;
    }
    if (!found) return items;
    if (!target || depth >= kMaxSectionDepth) return nullptr;
    items = target;
  }
  return items;
}

int FUFormatTextCell(const std::vector<FormatItem>* items, const FormatSectionResolver& resolve, uint32_t* colour,
                     uint32_t* attribute) {
  if (!items) return 37;
  for (int depth = 0; depth <= kMaxSectionDepth; ++depth) {
    const std::vector<FormatItem>* next = nullptr;
    for (const FormatItem& it : *items) {
      if (it.kind == 68) return 0;
      if (it.kind == 25) *attribute = it.field1;
      if (it.kind == 60) *colour = it.field2;
      if (it.kind == 128 && (it.field1 & 0xFFFF) == 8) {
        next = resolve ? resolve(it.field3, false) : nullptr;
        if (next) break;
      }
    }
    if (!next) return 0;
    items = next;
  }
  return 0;
}

std::string PrepareDigitString(double value, const CompiledNumberFormat& format, uint32_t exponentFlags) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16e", std::fabs(value));
  std::string digits;
  for (const char* p = buf; *p && *p != 'e'; ++p)
    if (*p != '.') digits.push_back(*p);
  int point = value == 0 ? 1 : std::atoi(std::strchr(buf, 'e') + 1) + 1;
  if ((format.flags & kFmtPercent) && value != 0) point += 2;
  bool general = format.flags & kFmtGeneral;
  bool scientific = (format.flags & kFmtScientific) || (general && (point <= -19 || point >= 19));
  std::string integer, fraction;
  int exponent = 0;
  if (!scientific) {
    if (point <= 0) {
      integer = "0";
      fraction = std::string(size_t(-point), '0') + digits;
    } else {
      std::string padded = digits;
      if (padded.size() < size_t(point)) padded.append(size_t(point) - padded.size(), '0');
      integer = padded.substr(0, size_t(point));
      fraction = padded.substr(size_t(point));
    }
  } else {
    exponent = value == 0 ? 0 : point - 1;
    int n = format.integerCount;
    int moved = 0;
    if (n > 1 && value != 0) {
      // Keep the exponent a multiple of n, flooring negative exponents.
      moved = exponent % n;
      if (moved < 0) moved += n;
    }
    integer = digits.substr(0, size_t(1 + moved));
    fraction = digits.substr(size_t(1 + moved));
    exponent -= moved;
  }
  size_t keep = scientific ? 1 : size_t(format.fractionCount);
  auto trim = [&] {
    while (fraction.size() > keep && fraction.back() == '0') fraction.pop_back();
  };
  trim();
  if (fraction.size() > 5) {
    // Conversion noise: a run of four "0"s or "9"s after the first fraction digit.
    for (size_t i = 1; i + 3 < fraction.size(); ++i) {
      char c = fraction[i];
      if ((c == '0' || c == '9') && fraction.compare(i, 4, std::string(4, c)) == 0) {
        fraction.resize(i);
        if (c == '9') {
          std::string whole = integer + fraction;
          if (IncrementDigits(&whole, whole.size())) whole = "1" + whole;
          integer = whole.substr(0, whole.size() - fraction.size());
          fraction = whole.substr(whole.size() - fraction.size());
        }
        break;
      }
    }
    trim();
  }
  std::string s = integer + "." + fraction;
  if (exponent != 0 || scientific) {
    int a = std::abs(exponent);
    s += exponent < 0 ? "E-" : "E+";
    if (a < 10 && !((exponentFlags & 2) && format.exponentCount < 2)) s += "0";
    s += std::to_string(a);
  }
  return s;
}

namespace {

std::string GeneralRendering(const std::string& work, bool negative) {
  DigitParts p = Split(work);
  std::string out = negative ? "-" : "";
  std::string suffix = p.exponent.empty() ? "" : "E" + p.exponentSign + p.exponent;
  if (p.fraction.size() <= 5) return out + p.integer + (p.fraction.empty() ? "" : "." + p.fraction) + suffix;
  std::string rounded;
  size_t n = p.exponent.empty() ? 5 : 2;
  if (FURoundCopy(&rounded, p.fraction, n)) {
    std::string integer = p.integer;
    if (IncrementDigits(&integer, integer.size())) integer = "1" + integer;
    return out + integer + suffix;
  }
  return out + p.integer + "." + rounded + suffix;
}

}  // namespace

std::u16string FUFormatNumber(const CompiledNumberFormat& format, double value, double dateBase, uint32_t dateFlags,
                              uint32_t exponentFlags, uint32_t* colour, uint32_t* attribute, size_t capacity,
                              const DateTimeContext& context) {
  const NumberFormats& nf = context.formats;
  size_t cap = std::min<size_t>(capacity ? capacity - 1 : 0, 255);
  auto fit = [&](std::u16string s) {
    if (s.size() > cap) s.resize(cap);
    return s;
  };
  if (format.flags & kFmtColour) *colour = format.colour;
  if (attribute && (format.flags & kFmtAttribute)) *attribute = format.attribute;
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  if ((bits >> 48) == 0xFFFF || !std::isfinite(value)) return fit(Text30(context, kTextNoNumber));

  bool negative = value < 0;
  std::string work = PrepareDigitString(value, format, exponentFlags);
  auto toLocale = [&](std::string s) {
    for (char& c : s)
      if (c == '.') c = nf.decimalSeparator;
    return Widen(s);
  };
  if ((format.flags & kFmtGeneral) && format.elements.size() < 2) return fit(toLocale(GeneralRendering(work, negative)));

  // Date and time parts.
  CivilDate date;
  int weekday = 0;
  TimeOfDay time;
  if (format.flags & kFmtDateTime) {
    double serial = dateBase + value;
    if (!(format.flags & kFmtCalendar)) serial -= std::floor(serial);
    if (!(serial <= 4026531840.0 && serial >= -4026531840.0)) return fit(Text30(context, kTextInvalidDate));
    bool lowered = false;
    if ((dateFlags & 1) && serial > double(kLeapDay1900)) {
      serial -= 1;
      lowered = true;
    }
    if (format.flags & kFmtCalendar) {
      int64_t whole = int64_t(std::floor(serial));
      date = FUj2g(whole);
      if (date.year < 0 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31)
        return fit(Text30(context, kTextInvalidDate));
      weekday = FUWeekday((dateFlags & 1) && !lowered ? whole - 1 : whole);
    }
    FUConvertSecondsToTime(FUConvertJulianToSeconds(serial, nullptr), &time);
  }

  DigitParts parts = Split(work);
  if (format.flags & kFmtGeneral) {
    parts = Split(GeneralRendering(work, false));
  }
  if (parts.integer == "0") parts.integer.clear();
  bool dateFormat = format.flags & kFmtDateTime;
  std::string out;  // 8-bit while digits are placed; wide text parts collected in order
  std::u16string wide;
  std::vector<bool> literal;  // per unit of wide: literal text, which a carry passes over
  auto flush = [&] {
    std::u16string placed = Widen(out);
    wide += placed;
    literal.insert(literal.end(), placed.size(), false);
    out.clear();
  };
  auto addLiteral = [&](const std::u16string& text) {
    flush();
    wide += text;
    literal.insert(literal.end(), text.size(), true);
  };
  // Carries one into the digits already placed in wide; false when it runs out of the
  // first of them, which *first then names (wide.size() when there is none).
  auto carryIntoWide = [&](size_t* first) {
    *first = wide.size();
    for (size_t i = wide.size(); i > 0;) {
      --i;
      if (literal[i] || wide[i] < u'0' || wide[i] > u'9') continue;
      *first = i;
      if (wide[i] != u'9') {
        ++wide[i];
        return true;
      }
      wide[i] = u'0';
    }
    return false;
  };
  if (negative && (format.flags & kFmtDigits) && !(format.flags & kFmtGeneral)) out += '-';
  size_t intPos = 0, fracPos = 0, expPos = 0;
  int intUsed = 0, fracUsed = 0, expUsed = 0;
  bool grouping = false, inFraction = false, inExponent = false;
  auto roundFraction = [&] {
    if (fracPos < parts.fraction.size() && parts.fraction[fracPos] > '4') {
      // The carry runs through the placed digits, passing over literal text between them.
      size_t firstPlaced = 0;
      if (IncrementDigits(&out, out.size()) && !carryIntoWide(&firstPlaced)) {
        if (firstPlaced < wide.size()) {
          wide.insert(firstPlaced, 1, u'1');
          literal.insert(literal.begin() + long(firstPlaced), false);
        } else {
          size_t first = out.find_first_of("0123456789");
          if (first != std::string::npos) out.insert(first, "1");
        }
      }
      fracPos = parts.fraction.size();
    }
  };
  const auto& el = format.elements;
  for (size_t i = 0; i < el.size(); ++i) {
    uint32_t e = el[i];
    if (!(e & kElementCode)) {
      int remaining = format.integerCount - intUsed;
      if (!dateFormat && !inFraction && !inExponent && intUsed > 0 && int(parts.integer.size() - intPos) > remaining) {
        size_t surplus = parts.integer.size() - intPos - size_t(remaining);
        out += parts.integer.substr(intPos, surplus);
        intPos += surplus;
      }
      addLiteral(std::u16string(1, char16_t(e)));
      continue;
    }
    uint32_t code = e & 0xFFFF;
    if (IsDigitCode(code)) {
      char pad = code == 0x100 ? '0' : code == 0x102 ? ' ' : '\0';
      if (inExponent) {
        int left = int(parts.exponent.size() - expPos), places = format.exponentCount - expUsed;
        ++expUsed;
        if (left < places) {
          if (pad) out += pad;
        } else if (expPos < parts.exponent.size()) {
          out += parts.exponent[expPos++];
        }
      } else if (inFraction) {
        ++fracUsed;
        if (fracPos < parts.fraction.size()) {
          out += parts.fraction[fracPos++];
        } else if (pad) {
          out += pad;
        }
        if (fracUsed == format.fractionCount) roundFraction();
      } else {
        int left = int(parts.integer.size() - intPos), places = format.integerCount - intUsed;
        ++intUsed;
        if (left < places) {
          if (pad) out += pad;
        } else if (places == 1) {
          out += parts.integer.substr(intPos);
          intPos = parts.integer.size();
        } else {
          out += parts.integer[intPos++];
        }
      }
      continue;
    }
    switch (code) {
      case 0x103:
        if (dateFormat) {
          out += '.';
          break;
        }
        if (!inFraction) {
          out += parts.integer.substr(intPos);
          intPos = parts.integer.size();
          if (grouping) {
            size_t first = out.find_first_of("0123456789");
            if (first != std::string::npos)
              for (size_t at = out.size(); at > first + 3;) {
                at -= 3;
                out.insert(at, 1, nf.thousandsSeparator);
              }
          }
          inFraction = true;
        }
        out += nf.decimalSeparator;
        break;
      case 0x104: out += '%'; break;
      case 0x105:
        if (negative && !(format.flags & kFmtDigits)) out += '-';
        out += GeneralRendering(work, false);
        break;
      case 0x106:
        for (char& c : parts.integer) c = '*';
        for (char& c : parts.fraction) c = '*';
        break;
      case 0x107:
        if (i + 1 < el.size()) out += char(el[++i] & 0xFF);
        break;
      case 0x108:
        if (i + 1 < el.size()) {
          char c = char(el[++i] & 0xFF);
          if (value > 0) out.append(size_t(std::min(std::ceil(value), 255.0)), c);
        }
        break;
      case 0x109: out += nf.currency; break;
      case 0x10A: grouping = true; break;
      case 0x10B:
        if (!inFraction) {
          out += parts.integer.substr(intPos);
          intPos = parts.integer.size();
        }
        roundFraction();
        out += 'E';
        out += parts.exponentSign.empty() ? "+" : parts.exponentSign;
        if (int(parts.exponent.size()) > format.exponentCount) {
          size_t extra = parts.exponent.size() - size_t(format.exponentCount);
          out += parts.exponent.substr(0, extra);
          expPos = extra;
        }
        inExponent = true;
        inFraction = false;
        break;
      case 0x10C:
        addLiteral(Text30(context, value == 0 ? kTextFalse : kTextTrue));
        break;
      case 0x10D: out += GeneralRendering(work, negative); break;
      case 0x120: addLiteral(Text30(context, kTextWeekday2 + uint32_t(weekday))); break;
      case 0x133: addLiteral(Text30(context, kTextWeekday1 + uint32_t(weekday))); break;
      case 0x121: out += std::string(date.day < 10 ? "0" : "") + std::to_string(date.day); break;
      case 0x122: out += std::to_string(date.day); break;
      case 0x123: out += std::string(date.month < 10 ? "0" : "") + std::to_string(date.month); break;
      case 0x124: out += std::to_string(date.month); break;
      case 0x125: addLiteral(Text30(context, kTextMonth1 + uint32_t(date.month))); break;
      case 0x126: addLiteral(Text30(context, kTextMonth2 + uint32_t(date.month))); break;
      case 0x127: {
        char b[16];
        std::snprintf(b, sizeof b, "%4.4i", date.year);
        out += b;
        break;
      }
      case 0x128: {
        char b[16];
        std::snprintf(b, sizeof b, "%2.2i", date.year % 100);
        out += b;
        break;
      }
      case 0x129:
      case 0x12A: {
        int h = time.hour;
        if (!(format.flags & kFmt24Hour)) h = h > 12 ? h - 12 : h == 0 ? 12 : h;
        if (code == 0x129 && h < 10) out += '0';
        out += std::to_string(h);
        break;
      }
      case 0x12B:
      case 0x12C:
        if (code == 0x12B && time.minute < 10) out += '0';
        out += std::to_string(time.minute);
        break;
      case 0x12D:
        if (time.second < 10) out += '0';
        out += std::to_string(time.second);
        break;
      case 0x12F: out += time.hour < 12 ? nf.morning : nf.afternoon; break;
      case 0x130: out += nf.dateSeparator; break;
      case 0x131: out += nf.timeSeparator; break;
      case 0x134:
        addLiteral(Text30(context, kTextWeekday1 + uint32_t(weekday)) + u"," +
                   Text30(context, kTextMonth1 + uint32_t(date.month)) + u" " + Widen(std::to_string(date.day)) + u", ");
        {
          char b[16];
          std::snprintf(b, sizeof b, "%4.4i", date.year);
          out += b;
        }
        break;
      case 0x135: {
        std::string d = std::to_string(date.day), m = std::to_string(date.month);
        char y[16];
        std::snprintf(y, sizeof y, "%2.2i", date.year % 100);
        std::string sep(1, nf.dateSeparator);
        out += nf.dateOrder == 1 ? d + sep + m + sep + y : nf.dateOrder == 2 ? std::string(y) + sep + m + sep + d : m + sep + d + sep + y;
        break;
      }
      default: break;
    }
  }
  // Integer digits no placeholder took (a format without a decimal point).
  if (!inFraction && !inExponent && intPos < parts.integer.size() && intUsed > 0) out += parts.integer.substr(intPos);
  flush();
  return fit(wide);
}

}  // namespace pc
