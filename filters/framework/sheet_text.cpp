// The plain text of numeric sheet cells (see sheet_text.h): format groups read as they go
// by (only their first section counts: its element codes say date, time, percent and
// decimal places), cells remembered until their data value comes.
#include "filters/framework/sheet_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filters/framework/readers/sheet_writer.h"

namespace kvx {

namespace {

constexpr uint32_t kFormatGroup = 0xA0100000u, kFormatSectionGroup = 0x20130000u;
constexpr uint32_t kFormatElementItem = 24;
constexpr uint32_t kSheetCell = 0x46, kNumberCell = 0x48, kDatabaseField = 0x4A, kEmptyRun = 0x57;
constexpr uint64_t kLastJulianDay = 5373484;  // 31 December 9999

// The Gregorian date of a Julian day number.
void civil(int64_t jd, int64_t& y, int64_t& m, int64_t& d) {
  int64_t a = jd + 32044, b = (4 * a + 3) / 146097, c = a - 146097 * b / 4;
  int64_t dd = (4 * c + 3) / 1461, e = c - 1461 * dd / 4, mm = (5 * e + 2) / 153;
  d = e - (153 * mm + 2) / 5 + 1;
  m = mm + 3 - 12 * (mm / 10);
  y = 100 * b + dd - 4800 + mm / 10;
}

}  // namespace

std::string shortest_number(double v) {
  char buf[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

void SheetValueText::item(uint32_t i, uint32_t kind, uint32_t a, uint32_t b, uint32_t c, std::string& out) {
  using namespace readers;
  const auto& sections = m_.sections();
  bool moved = false;
  while (section_ < sections.size() && i >= sections[section_].end_index) ++section_, moved = true;
  if (moved || i == 0) {
    // A sheet's format numbers are its own; its dates count from its own base.
    formats_.clear();
    pending_ = false;
    format_depth_ = 0;
    date_base_ = section_ < sections.size() ? m_.word(KVXRANGE_SECTIONS, uint32_t(section_), 4) : 0;
    date_flags_ = section_ < sections.size() ? m_.word(KVXRANGE_SECTIONS, uint32_t(section_), 5) : 0;
  }
  if (format_depth_ == 0 && kind == KVXITEM_GROUPOPEN && a == kFormatGroup) {
    format_depth_ = 1;
    format_ = b;
    format_section_ = 0;
    formats_[b] = Shown{};
    return;
  }
  if (format_depth_ > 0) {
    if (kind == KVXITEM_GROUPOPEN) {
      ++format_depth_;
      if (a == kFormatSectionGroup) format_section_ = b, after_point_ = false;
    } else if (kind == KVXITEM_GROUPCLOSE) {
      --format_depth_;
    } else if (kind == kFormatElementItem && format_section_ == 1) {
      Shown& f = formats_[format_];
      if ((a >= kFmtWeekday2 && a <= kFmtYear2) || a == kFmtWeekday) f.date = true;
      else if ((a >= kFmtHour2 && a <= kFmtAmPm) || a == kFmt24Hour) {
        f.time = true;
        f.twelve_hour |= a == kFmtAmPm;
        f.short_hour |= a == kFmtHour;
        f.seconds |= a == kFmtSecond;
      } else if (a == kFmtPercent) f.percent = true;
      else if (a == kFmtPoint) after_point_ = true;
      else if (a == kFmtGeneral || a == kFmtExponent || a == kFmtNumber) f.general = true;
      else if (a == kFmtZero || a == kFmtDigit || a == kFmtBlank) {
        f.digits = true;
        if (after_point_ && f.max_places < 15) {
          ++f.max_places;
          if (a == kFmtZero) f.min_places = f.max_places;
        }
      }
    }
    return;
  }
  if ((kind >= kSheetCell && kind <= kDatabaseField) || kind == kEmptyRun) {
    pending_ = kind == kSheetCell || kind == kNumberCell || kind == kDatabaseField;
    pending_shown_ = Shown{};
    if (kind == kNumberCell)
      if (auto it = formats_.find(c); it != formats_.end()) pending_shown_ = it->second;
  } else if (kind == kDisplayFormatItem && pending_) {
    uint32_t type = a >> 16;
    pending_shown_.date = type == kDisplayDateTime || type == kDisplayDate;
    pending_shown_.time = pending_shown_.seconds = type == kDisplayDateTime || type == kDisplayTime;
  } else if (kind == KVXITEM_DATAVALUE && pending_) {
    pending_ = false;
    if (a >= m_.unit_count(KVXRANGE_VALUES) || m_.word(KVXRANGE_VALUES, a, 0) != 1) return;
    uint64_t bits = uint64_t(m_.word(KVXRANGE_VALUES, a, 2)) | uint64_t(m_.word(KVXRANGE_VALUES, a, 3)) << 32;
    double v;
    std::memcpy(&v, &bits, 8);
    if (std::isfinite(v)) out += render(v, pending_shown_);
  }
}

std::string SheetValueText::render(double v, const Shown& f) const {
  char buf[64];
  if ((f.date || f.time) && v >= 0 && v < double(kLastJulianDay)) {
    int64_t day = int64_t(std::floor(v));
    int64_t secs = std::llround((v - double(day)) * 86400);
    if (secs >= 86400) ++day, secs -= 86400;
    std::string out;
    if (f.date) {
      // In the 1900 system with the leap-day flag serial 60 is 29 February 1900, a day
      // that never was; the days after it count one more.
      bool leap = date_flags_ & readers::kDateFlagLeapDay;
      int64_t jd = int64_t(date_base_) + day - (leap && day > 60 ? 1 : 0);
      int64_t y = 1900, m = 2, d = 29;
      if (!(leap && day == 60)) civil(jd, y, m, d);
      if (jd >= 0 && uint64_t(jd) <= kLastJulianDay) {
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", (long long)y, (long long)m, (long long)d);
        out = buf;
      }
    }
    if (f.time || out.empty()) {
      int64_t hours = f.twelve_hour ? (secs / 3600 + 11) % 12 + 1 : secs / 3600;
      std::snprintf(buf, sizeof buf, f.short_hour ? "%lld:%02lld" : "%02lld:%02lld", (long long)hours,
                    (long long)(secs / 60 % 60));
      if (f.seconds) std::snprintf(buf + std::strlen(buf), 8, ":%02lld", (long long)(secs % 60));
      out += (out.empty() ? "" : " ") + std::string(buf);
      if (f.twelve_hour) out += secs < 43200 ? " AM" : " PM";
    }
    return out;
  }
  double x = f.percent ? v * 100 : v;
  std::string out;
  double scale = std::pow(10.0, f.max_places);
  if (f.digits && !f.general && std::fabs(x) * scale < 4503599627370496.0) {
    // Halves round away from zero, as spreadsheets show them.
    x = std::round(x * scale) / scale;
    std::snprintf(buf, sizeof buf, "%.*f", f.max_places, x);
    out = buf;
    if (f.max_places > f.min_places) {
      size_t keep = out.size() - size_t(f.max_places - f.min_places);
      while (out.size() > keep && out.back() == '0') out.pop_back();
      if (out.back() == '.') out.pop_back();
    }
    if (out[0] == '-' && out.find_first_of("123456789") == std::string::npos) out.erase(0, 1);
  } else if (x == 0 || (std::fabs(x) >= 1e-5 && std::fabs(x) < 1e15)) {
    // General: 15 significant digits at most, as spreadsheets show them, with the fewest
    // decimals that give that value back, and no exponent.
    std::snprintf(buf, sizeof buf, "%.15g", x);
    x = std::strtod(buf, nullptr);
    for (int places = 0; places <= 20; ++places) {
      std::snprintf(buf, sizeof buf, "%.*f", places, x);
      if (std::strtod(buf, nullptr) == x) break;
    }
    out = buf;
  } else {
    out = shortest_number(x);
  }
  return f.percent ? out + "%" : out;
}

}  // namespace kvx
