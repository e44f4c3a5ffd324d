// Number formatting by format codes: a format's items (literal text, element codes, colour
// and attribute words) compiled into format elements, the value prepared as a digit string
// (17 significant digits, conversion noise cleaned), and the elements written one by one:
// digit placeholders, separators, sign, percent, currency, exponent, literal text, date and
// time parts, General. Builds on pc_numfmt (locale record, framework texts) and pc_dates;
// called by the sheet and database writer for cells whose format is a code list.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "filters/html/pc_numfmt.h"

namespace pc {

// One item of a format as the reader hands it over: kind 7 literal text, 24 element code
// (field1), 25 attribute word (field1), 60 colour (field2 when field1 bit 0 is clear),
// 68 end. Other kinds are passed over.
// Kind 128 is a condition: field1 low 16 bits the test (1 <, 2 >, 3 =, 4 <=, 5 >=, 6 !=,
// 8 always), bit 16 how the target is found, field3 the target; the item after it holds
// the constant (kind 224, its value read into number).
struct FormatItem {
  uint32_t kind = 0;
  uint32_t field1 = 0, field2 = 0;
  std::u16string text;
  uint32_t field3 = 0;
  double number = 0;
};

// Finds the section a condition names (byGroupTag: after the group tag 0x20130000 whose
// field 2 is the target; else the style-item range of the target); nullptr when none.
using FormatSectionResolver = std::function<const std::vector<FormatItem>*(uint32_t target, bool byGroupTag)>;

// The items to format a value with: a condition that holds sends the value to its section,
// at most four sections deep (deeper, or a section that cannot be found: nullptr, the
// default General format).
const std::vector<FormatItem>* SelectFormatSection(const std::vector<FormatItem>* items, double value,
                                                   const FormatSectionResolver& resolve);

// The colour and attribute word of a text cell's format: kind 25 gives the attribute, kind
// 60 the colour (field 2), kind 68 ends; a condition with test 8 continues in its section
// (at most four deep). 37 when there are no items.
int FUFormatTextCell(const std::vector<FormatItem>* items, const FormatSectionResolver& resolve, uint32_t* colour,
                     uint32_t* attribute);

inline constexpr uint32_t kFmtGeneral = 0x001, kFmtScientific = 0x002, kFmtDateTime = 0x004, kFmtPercent = 0x008,
                          kFmtDigits = 0x010, kFmt24Hour = 0x020, kFmtColour = 0x040, kFmtAttribute = 0x080,
                          kFmtCalendar = 0x100;
// Framework text shown for a cell that holds no number.
inline constexpr uint32_t kTextNoNumber = 0x10106;
inline constexpr size_t kMaxFormatElements = 256;
inline constexpr uint32_t kElementCode = 0x80000000u;

struct CompiledNumberFormat {
  std::vector<uint32_t> elements;  // bit 31: element code in the low bits; else a character
  size_t pointIndex = 0;           // index of the decimal-point element, or the count
  int fractionCount = 0, integerCount = 0, exponentCount = 0;
  uint32_t colour = 0, attribute = 0, flags = 0;
};

// Compiles items up to the first kind 68 (or 256 elements). nullptr or no items: General.
CompiledNumberFormat CompileNumberFormat(const std::vector<FormatItem>* items);

// Formats value under a compiled format; *colour keeps its value unless the format gives
// one, *attribute receives the format's attribute word. At most min(capacity - 1, 255)
// characters. exponentFlags bit 1 allows a one-digit exponent.
std::u16string FUFormatNumber(const CompiledNumberFormat& format, double value, double dateBase, uint32_t dateFlags,
                              uint32_t exponentFlags, uint32_t* colour, uint32_t* attribute, size_t capacity,
                              const DateTimeContext& context);

// The prepared digit string of a value ("1234.5", "1.0E+25"), as the formatter builds it.
std::string PrepareDigitString(double value, const CompiledNumberFormat& format, uint32_t exponentFlags);

}  // namespace pc
