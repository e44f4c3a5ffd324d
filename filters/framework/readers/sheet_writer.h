// The readers' side of spreadsheet sections: a sheet gathered cell by cell (in any order)
// and written as one ss section in the item forms of chunk scripts: the section record
// with the workbook's date base and leap-day flag, the number formats the sheet uses as
// format groups, its size {84, rows, columns, 0}, the column count {75, n}, one range-15
// entry over the grid, and the grid row by row: {0x46, column, row, 0} for text, empty and
// General numbers, {0x48, column, row, format number} for numbers shown in a format, each
// number followed by its data-value item (range 17); a number in a display type (dates of
// workbooks that keep no format codes) is a 0x46 cell with its display-type format item
// before the value. A sheet stays as sparse as its source: a stretch of more than
// kMaxEmptyCells empty cells (in row order) is written as runs {0x57, n << 16, column, row}
// of at most 65,535 empty cells each, shorter ones cell by cell.
//
// Cost: memory and time linear in the cells set (at most kMaxCells, with at most
// kMaxCellUnits of text each and kMaxTextUnits in all), whatever the rows and columns
// they name: the model holds each cell with at most kMaxEmptyCells empty cells before it,
// and one run per 65,535 cells of a longer gap, at most kMaxRunItems runs (20 MB) in a
// document. Cells past kMaxRows, kMaxColumns, those counts, or a grid of more than
// 2^32 - 1 cells are dropped, and the builder is told (ChunkBuilder::note_cut), so the
// document reports that it was cut.
//
// A format group is group 0xA0100000 (id word = format number, from 1) holding one group
// 0x20130000 per section of the format (id word = section number, from 1); a section holds
// its elements as items {24, element code, 0, 0} and its literal text as text runs; the
// first section starts with conditions {128, test | 0x10000, 0, target section} each
// followed by the data value it compares with, and a colour is item {60, 0, colour, 0}.
// Also the compiler of Excel format codes into those elements.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filters/framework/chunk_model.h"

namespace kvx::readers {

// Workbook date systems: the Julian day number of serial 0 and the date flags.
inline constexpr uint32_t kDateBase1900 = 2415020, kDateBase1904 = 2416481, kDateBaseOdf = 2415019;
inline constexpr uint32_t kDateFlagLeapDay = 1;

// One section of a number format: its elements (bit 31 clear: a literal 16-bit unit,
// set: an element code), its colour (0xFFFFFFFF none) and the condition that selects it.
struct FormatSection {
  std::vector<uint32_t> elements;
  uint32_t colour = 0xFFFFFFFFu;
  uint32_t test = 0;  // 0: by position (second section: negative, third: zero)
  double constant = 0;
};
struct NumberFormat {
  std::vector<FormatSection> sections;
  bool operator<(const NumberFormat& o) const;
};

inline constexpr uint32_t kElement = 0x80000000u;
// Element codes of the format items (kind 24).
enum : uint32_t {
  kFmtZero = 0x100, kFmtDigit = 0x101, kFmtBlank = 0x102, kFmtPoint = 0x103, kFmtPercent = 0x104,
  kFmtNumber = 0x105, kFmtThousands = 0x10A, kFmtExponent = 0x10B, kFmtGeneral = 0x10D,
  kFmtWeekday2 = 0x120, kFmtDay2 = 0x121, kFmtDay = 0x122, kFmtMonth2 = 0x123, kFmtMonth = 0x124,
  kFmtMonthName = 0x125, kFmtMonthName2 = 0x126, kFmtYear4 = 0x127, kFmtYear2 = 0x128, kFmtHour2 = 0x129,
  kFmtHour = 0x12A, kFmtMinute2 = 0x12B, kFmtMinute = 0x12C, kFmtSecond = 0x12D, kFmtAmPm = 0x12F,
  kFmt24Hour = 0x132, kFmtWeekday = 0x133,
};

// Compiles an Excel format code ("#,##0.00;[Red]-0.00", "yyyy-mm-dd hh:mm", ...). At most
// four sections and 255 elements a section; unknown pieces are kept as literal text.
NumberFormat compile_excel_format(std::string_view code);
// True when the format shows dates or times.
bool is_date_format(const NumberFormat& f);

// A display-type cell format: {kDisplayFormatItem, type << 16 | layout word, flags, 0}
// between a cell item {0x46, ...} and its data value. Types 5 date and time, 6 date, 7
// time; the layout word holds 3-bit slots (weekday, month, day, year, time from bit 0)
// giving each part's position; the flags say how each part is written.
inline constexpr uint32_t kDisplayFormatItem = 83;
enum : uint32_t { kDisplayDateTime = 5, kDisplayDate = 6, kDisplayTime = 7 };
struct DisplayFormat {
  uint32_t word = 0, flags = 0;
};
// The locale's short date (its order and separator, four-digit year, day and month as
// numbers), the 24-hour time with seconds, or both.
DisplayFormat date_display(uint32_t type);

struct SheetCell {
  bool number = false;
  double value = 0;
  uint32_t format = 0;          // sheet format number (0: General)
  DisplayFormat display;        // a display type instead of a format (word 0: none)
  std::vector<uint16_t> text;   // text cells
};

class SheetWriter {
 public:
  // Excel's largest sheet, and the limits on what one document's sheets keep.
  static constexpr uint32_t kMaxColumns = 16384;
  static constexpr uint32_t kMaxRows = 1u << 20;
  static constexpr uint64_t kMaxCells = uint64_t(1) << 22;
  static constexpr size_t kMaxCellUnits = 0x8000;
  static constexpr uint64_t kMaxTextUnits = uint64_t(1) << 26;
  // Longer stretches of empty cells are written as runs, at most kMaxRunItems of them in
  // a document.
  static constexpr uint64_t kMaxEmptyCells = 16;
  static constexpr uint64_t kMaxRunItems = uint64_t(1) << 20;

  explicit SheetWriter(ChunkBuilder& b) : b_(b) {}

  // Starts gathering a sheet.
  void begin(const std::vector<uint16_t>& name, uint32_t date_base, uint32_t date_flags);
  // The sheet's number for a format (formats are shared by equal content).
  uint32_t format(const NumberFormat& f);
  // Keeps a cell (an empty one is skipped); one past the limits is dropped and noted.
  void set(uint32_t row, uint32_t column, SheetCell cell);
  // Notes that the reader dropped part of the source itself.
  void cut(const std::string& why) { b_.note_cut(why); }
  // Writes the gathered sheet as a section; false (error() says why) when the builder
  // refuses a call.
  bool end();
  const std::string& error() const { return error_; }
  uint64_t sheets() const { return sheets_; }

 private:
  bool fail(const std::string& why);
  bool write_format(uint32_t number, const NumberFormat& f);
  bool value(double v);

  ChunkBuilder& b_;
  std::vector<uint16_t> name_;
  uint32_t date_base_ = 0, date_flags_ = 0;
  std::map<NumberFormat, uint32_t> formats_;
  std::vector<const NumberFormat*> by_number_;
  std::map<std::pair<uint32_t, uint32_t>, SheetCell> cells_;
  uint64_t sheets_ = 0;
  uint64_t document_cells_ = 0, text_units_ = 0, run_items_ = 0;  // in all sheets so far
  std::string error_;
};

}  // namespace kvx::readers
