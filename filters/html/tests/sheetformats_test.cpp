// The format codes of the office fixtures, compiled by the framework's readers and written
// by the format-code formatter, against the texts LibreOffice stored in the fixtures' CSV
// (C locale: "." decimal point, "," thousands, AM/PM). Each row pairs a cell of
// office.sheet1.csv with the format code and value of that cell in the fixture sheets.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "filters/framework/readers/sheet_writer.h"
#include "filters/html/pc_fmtcode.h"

namespace {

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.push_back("");
    rows.push_back(cells);
  }
  return rows;
}

// The items of one compiled section, as the reader writes them into the format group.
std::vector<pc::FormatItem> SectionItems(const kvx::readers::FormatSection& s) {
  std::vector<pc::FormatItem> items;
  for (uint32_t e : s.elements) {
    pc::FormatItem it;
    if (e & kvx::readers::kElement) {
      it.kind = 24;
      it.field1 = e & 0xFFFF;
    } else {
      it.kind = 7;
      it.text = std::u16string(1, char16_t(e));
    }
    items.push_back(it);
  }
  items.push_back(pc::FormatItem{68, 0, 0, {}});
  return items;
}

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(char(c));
  return out;
}

std::string Format(const char* code, double value, uint32_t base, uint32_t flags) {
  kvx::readers::NumberFormat f = kvx::readers::compile_excel_format(code);
  // The second section takes negative values (shown without their sign).
  size_t section = value < 0 && f.sections.size() > 1 ? 1 : 0;
  if (section == 1) value = -value;
  std::vector<pc::FormatItem> items = SectionItems(f.sections[section]);
  pc::DateTimeContext c;
  c.formats.decimalSeparator = '.';
  c.formats.thousandsSeparator = ',';
  c.formats.dateSeparator = '/';
  uint32_t colour = 0, attribute = 0;
  return Narrow(pc::FUFormatNumber(pc::CompileNumberFormat(&items), value, base, flags, 0, &colour, &attribute, 256, c));
}

TEST(PagecastSheetFormats, MatchLibreOfficeCsv) {
  auto rows = ReadCsv(QM_FRAMEWORK_DATA "/office.sheet1.csv");
  ASSERT_GE(rows.size(), 5u);
  struct Case {
    size_t row, column;
    const char* code;
    double value;
  } cases[] = {
      {1, 1, "General", 1234.5},
      {2, 1, "0%", 0.25},
      {3, 1, "yyyy\\-mm\\-dd", 45306},
      {4, 2, "hh:mm:ss AM/PM", 0.4375},
  };
  for (const auto& c : cases) {
    ASSERT_LT(c.column, rows[c.row].size());
    EXPECT_EQ(Format(c.code, c.value, kvx::readers::kDateBase1900, kvx::readers::kDateFlagLeapDay), rows[c.row][c.column])
        << c.code;
  }
}

// Codes whose stored CSV text is the raw value rather than the shown one.
TEST(PagecastSheetFormats, GoldenCases) {
  EXPECT_EQ(Format("#,##0.00;[Red]\\-#,##0.00", -12.5, 0, 0), "-12.50");
  EXPECT_EQ(Format("#,##0.00", 1234567.891, 0, 0), "1,234,567.89");
  // The 1904 date system counts from 1 January 1904.
  EXPECT_EQ(Format("yyyy\\-mm\\-dd", 0, kvx::readers::kDateBase1904, 0), "1904-01-01");
}

}  // namespace
