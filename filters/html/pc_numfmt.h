// Display-type formatting of numeric cells: the locale record of number formats, dates and
// times under a date-time layout (FUFormatDateTime) and numbers by display type (General,
// currency, percent, scientific, fixed, date, time, boolean, DOS date; FUFormatNumber35).
// Builds on the calendar conversions (pc_dates) and cell values (pc_cellvalue); framework
// texts (month and weekday names, invalid-date texts) come through a lookup the caller
// gives. Called by the sheet and database writer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace pc {

// The framework's number-format record (32 bytes; see ReadNumberFormatsRecord).
struct NumberFormats {
  char decimalSeparator = '.';
  char thousandsSeparator = ',';
  char dateSeparator = '/';
  char timeSeparator = ':';
  std::string currency = "$";
  std::string morning = "AM";
  std::string afternoon = "PM";
  uint8_t currencyPlacement = 1;  // bit 0: symbol before the number; bit 1: a blank between
  uint16_t dateOrder = 0;         // 0 month day year, 1 day month year, 2 year month day
};
// Reads the 32-byte record; texts stop at their NUL or at the end of their field.
NumberFormats ReadNumberFormatsRecord(const unsigned char record[32]);

// Framework text ids used by the formatters.
inline constexpr uint32_t kTextWeekday1 = 0x100C8, kTextWeekday2 = 0x100CF;
inline constexpr uint32_t kTextMonth1 = 0x100DB, kTextMonth2 = 0x100EF;
inline constexpr uint32_t kTextInvalidDate = 0x10104, kTextInvalidTime = 0x10105;
inline constexpr uint32_t kTextTrue = 0x10107, kTextFalse = 0x10108;
using FrameworkTexts = std::function<std::u16string(uint32_t id)>;

struct DateTimeContext {
  NumberFormats formats;
  FrameworkTexts texts;
  bool keepTwelveHour = false;  // the framework's date-format option bit 1
};

// Writes a date (type 6), a time (type 7) or both (type 5) under the format flags and the
// layout word of five 3-bit slots. At most 100 characters.
std::u16string FUFormatDateTime(double value, int type, uint32_t formatFlags, uint16_t layout, double dateBase,
                                uint32_t dateFlags, double timeScale, const DateTimeContext& context);

// Day 0 of display type 9: 31 December 1979.
inline constexpr double kDosDateBase = 2444239;

// Formats value under display type (high 16 bits of the format word) with decimals or date
// layout (low 16 bits) and the format flags; *colour becomes 0xFF for a negative value
// shown in red. The text is cut to capacity - 1 characters.
std::u16string FUFormatNumber35(uint32_t formatWord, uint32_t formatFlags, double value, double dateBase,
                                uint32_t dateFlags, uint32_t* colour, size_t capacity, const DateTimeContext& context);

}  // namespace pc
