// Sheet and database sections through whole exports: chunk-script sheets written as tables
// with a header row of names and a first column of row numbers, cells in every form,
// number formats with conditions and colours, missing values and damaged grids.
#include <algorithm>
#include <regex>
#include <sstream>

#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const std::string kBody = "{VELMINS ELEMENT=Sections.1.Body}";

// The table's rows, each as its cells' texts (tags stripped).
std::vector<std::vector<std::string>> Grid(const std::string& html) {
  std::vector<std::vector<std::string>> rows;
  static const std::regex row("<TR>([\\s\\S]*?)</TR>"), cell("<T[HD][^>]*>([\\s\\S]*?)</T[HD]>"), tag("<[^>]*>");
  for (auto r = std::sregex_iterator(html.begin(), html.end(), row); r != std::sregex_iterator(); ++r) {
    std::string inner = (*r)[1];
    rows.emplace_back();
    for (auto c = std::sregex_iterator(inner.begin(), inner.end(), cell); c != std::sregex_iterator(); ++c)
      rows.back().push_back(std::regex_replace(std::string((*c)[1]), tag, ""));
  }
  return rows;
}

using Rows = std::vector<std::vector<std::string>>;
using PagecastSheetTest = PagecastTest;

// Grid() by plain searches, for tables whose rows are too long for std::regex.
Rows LongGrid(const std::string& html) {
  Rows rows;
  for (size_t at = html.find("<TR>"); at != std::string::npos; at = html.find("<TR>", at)) {
    size_t end = html.find("</TR>", at);
    if (end == std::string::npos) break;
    rows.emplace_back();
    for (size_t c = html.find("<T", at + 4); c < end; c = html.find("<T", c)) {
      size_t open = html.find('>', c), close = html.find("</T", open);
      std::string text;
      for (size_t k = open + 1, depth = 0; k < close; ++k) {
        if (html[k] == '<') ++depth;
        else if (html[k] == '>') --depth;
        else if (depth == 0) text += html[k];
      }
      rows.back().push_back(text);
      c = html.find('>', close);
    }
    at = end;
  }
  return rows;
}

TEST_F(PagecastSheetTest, ThreeByTwoSheetIsFourByThreeTable) {
  Result r = run(
      "section ss \"S\"\nitem 84 3 2 0\ncolumns 2\ncells 6\n"
      "cell\ntext cp1252 \"a\"\ncell\nvalue 1.5\n"
      "cell\ncell\nvalue -2\n"
      "cell\ntext cp1252 \"<b>\"\ncell\n",
      kBody);
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out.rfind("<A NAME=\"s1sheet\"></A><TABLE", 0), 0u) << r.out;
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;", "&nbsp;"},
                               {"1", "a", "1.5"},
                               {"2", "&nbsp;", "-2"},
                               {"3", "&lt;b&gt;", "&nbsp;"}}))
      << r.out;
  // Header cells in a spreadsheet, data cells as TD.
  EXPECT_NE(r.out.find("<TH WIDTH=\"22\"><B>1</B></TH>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<TD WIDTH=\"60\">a</TD>"), std::string::npos) << r.out;
}

TEST_F(PagecastSheetTest, DatabaseShowsItsFieldNames) {
  // Items 0-5: the field block (the names are the text runs at 3 and 4), then two records.
  Result r = run(
      "section db \"D\"\nitem 80 0 0 0\nitem 82 10 3 1\nitem 82 1440 4 2\n"
      "text cp1252 \"Name\"\ntext cp1252 \"Age\"\nitem 81 0 0 0\n"
      "item 83 0 0 0\nitem 83 0x40002 0 0\ncells 4\n"
      "item 70 0 0 0\ntext cp1252 \"Ann\"\nitem 74 0 0 0\nvalue 31\n"
      "item 70 0 1 0\ntext cp1252 \"Bo\"\nitem 74 1 1 0\nvalue 0.5\n",
      kBody);
  EXPECT_EQ(r.run, KVX_OK);
  // The second field's format is fixed with two decimals (display type 4).
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "Name", "Age"}, {"1", "Ann", "31.00"}, {"2", "Bo", "0.50"}})) << r.out;
  // Databases have no header cells; widths: 10 characters (1,200 twips) and 1,440 twips.
  EXPECT_EQ(r.out.find("<TH"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<TD WIDTH=\"60\">Name</TD>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<TD WIDTH=\"72\">Age</TD>"), std::string::npos) << r.out;
}

// Format 1 of two sections: "0.00" for values of 0 and above, "(0.00)" in red below;
// format 2 of one section: "0.0".
const char* const kFormats =
    "group 0xA0100000 1\n"
    "group 0x20130000 1\nitem 128 0x10001 0 2\nvalue 0\nitem 24 0x100 0 0\nitem 24 0x103 0 0\n"
    "item 24 0x100 0 0\nitem 24 0x100 0 0\nend\n"
    "group 0x20130000 2\nitem 60 0 0xFF 0\ntext cp1252 \"(\"\nitem 24 0x100 0 0\nitem 24 0x103 0 0\n"
    "item 24 0x100 0 0\nitem 24 0x100 0 0\ntext cp1252 \")\"\nend\nend\n"
    "group 0xA0100000 2\ngroup 0x20130000 1\nitem 24 0x100 0 0\nitem 24 0x103 0 0\nitem 24 0x100 0 0\nend\nend\n";

TEST_F(PagecastSheetTest, NumberFormatsWithConditionsAndColours) {
  Result r = run(std::string("section ss \"F\"\n") + kFormats +
                     "item 84 2 3 0\ncolumns 3\ncells 6\n"
                     "cell 1\nvalue 3.14159\ncell 1\nvalue -2.5\ncell 2\nvalue -1.25\n"
                     "cell 1\ncell 7\nvalue 4\ncell 2\nvalue 0\n",
                 kBody, {word(KVXOPT_FLAVOR, 3)});
  EXPECT_EQ(r.run, KVX_OK);
  // The negative section carries its own signs; a format of one section writes the sign.
  // A number cell without a value is empty; a format the document lacks is General.
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;", "&nbsp;", "&nbsp;"},
                               {"1", "3.14", "(2.50)", "-1.3"},
                               {"2", "&nbsp;", "4", "0.0"}}))
      << r.out;
  EXPECT_NE(r.out.find("<FONT COLOR=\"#FF0000\">(2.50)</FONT>"), std::string::npos) << r.out;
  // The colour ends with its cell.
  EXPECT_EQ(r.out.find("COLOR", r.out.find("(2.50)")), std::string::npos) << r.out;
}

// A condition without the group tag names another format by its number: format 3 always
// goes on to format 4, which is blue and brackets its number.
TEST_F(PagecastSheetTest, ConditionsNamingOtherFormats) {
  Result r = run(
      "section ss \"O\"\n"
      "group 0xA0100000 3\ngroup 0x20130000 1\nitem 128 8 0 4\nitem 24 0x100 0 0\nend\nend\n"
      "group 0xA0100000 4\ngroup 0x20130000 1\nitem 60 0 0xFF0000 0\ntext cp1252 \"[\"\nitem 24 0x100 0 0\n"
      "text cp1252 \"]\"\nend\nend\n"
      "columns 2\ncells 2\nitem 0x49 0 0 3\ntext cp1252 \"t\"\ncell 3\nvalue -7\n",
      kBody, {word(KVXOPT_FLAVOR, 3)});
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;", "&nbsp;"}, {"1", "t", "[7]"}})) << r.out;
  EXPECT_NE(r.out.find("<FONT COLOR=\"#0000FF\">t</FONT>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<FONT COLOR=\"#0000FF\">[7]</FONT>"), std::string::npos) << r.out;
}

TEST_F(PagecastSheetTest, SheetsWithoutCellsAndDamagedGrids) {
  struct Case {
    const char* script;
    Rows grid;
  } cases[] = {
      // No cells at all, or no items: nothing is written.
      {"section ss \"E\"\ntext cp1252 \"stray\"\npara\n", {}},
      {"section db \"E\"\n", {}},
      // A range entry that claims more cells than the section holds: rows end with the cells.
      {"section ss \"R\"\ncolumns 1\ncells 50\ncell\ntext cp1252 \"x\"\n", {{"&nbsp;", "&nbsp;"}, {"1", "x"}}},
      // Cells of a run item answer for each cell they cover; they are written empty, and a
      // row that the run covers whole is left out.
      {"section ss \"U\"\ncolumns 2\ncells 4\ncell\ntext cp1252 \"a\"\nitem 87 0x30000 0 0\n",
       {{"&nbsp;", "&nbsp;", "&nbsp;"}, {"1", "a", "&nbsp;"}}},
      // A value item whose unit is missing gives an empty cell.
      {"section ss \"V\"\ncolumns 1\ncells 1\ncell\nitem 0xE0 99 0 0\n", {{"&nbsp;", "&nbsp;"}, {"1", "&nbsp;"}}},
  };
  for (const Case& c : cases) {
    Result r = run(c.script, kBody);
    EXPECT_EQ(r.run, KVX_OK) << c.script;
    EXPECT_EQ(Grid(r.out), c.grid) << c.script << "\n" << r.out;
    if (c.grid.empty()) {
      EXPECT_EQ(r.out, "") << c.script;
    }
  }
}

// Runs of empty cells cost one table cell per row they touch: the part of a row that a run
// covers is one cell spanning those columns, and rows covered whole are left out, the row
// numbers telling which rows are shown.
TEST_F(PagecastSheetTest, RunsOfEmptyCellsSpanTheirColumnsAndSkipTheirRows) {
  std::string far = "section ss \"F\"\ncolumns 1\ncells 1048576\n";
  for (int k = 0; k < 16; ++k) far += "item 87 0xFFFF0000 0 0\n";
  far += "item 87 0x000F0000 0 0\ncell\ntext cp1252 \"far\"\n";
  const std::string corner = "&nbsp;";
  struct Case {
    std::string script;
    Rows grid;
  } cases[] = {
      {"section ss \"S\"\ncolumns 3\ncells 9\ncell\ntext cp1252 \"a\"\nitem 87 0x50000 1 0\n"
       "cell\ntext cp1252 \"b\"\nitem 87 0x20000 1 2\n",
       {{corner, corner, corner, corner}, {"1", "a", "&nbsp;"}, {"3", "b", "&nbsp;"}}},
      // Runs that follow each other are one stretch: rows 2 and 3 lie across two runs.
      {"section ss \"C\"\ncolumns 3\ncells 12\ncell\ntext cp1252 \"a\"\nitem 87 0x40000 1 0\n"
       "item 87 0x40000 2 1\ncell\ntext cp1252 \"b\"\nitem 87 0x20000 1 3\n",
       {{corner, corner, corner, corner}, {"1", "a", "&nbsp;"}, {"4", "b", "&nbsp;"}}},
      // A million rows of one column in runs write no row for them.
      {far, {{corner, corner}, {"1048576", "far"}}},
  };
  for (const Case& c : cases) {
    Result r = run(c.script, kBody);
    EXPECT_EQ(r.run, KVX_OK);
    EXPECT_EQ(Grid(r.out), c.grid) << r.out.substr(0, 2000);
    if (c.grid[0].size() > 2) {
      EXPECT_NE(r.out.find("COLSPAN=\"2\""), std::string::npos) << r.out;
    }
  }
}

// Data values in the framework's double form and in stored forms of their own (bytes from
// the unit's fifth on, storage type and scale code in the value item).
TEST_F(PagecastSheetTest, DataValuesOfEveryForm) {
  struct Case {
    const char* unit;    // 16 bytes in hex
    const char* fields;  // scale code and storage type
    const char* text;
  } cases[] = {
      {"01000000000000000000000000000440", "0 0", "2.5"},      // the readers' double
      {"00000000000004d20000000000000000", "329 13", "12.34"},  // big-endian i32 times 0.01
      {"00000000f50100000000000000000000", "0 15", "-0.00007"}, // compact word 0x1F5 (its sign bit set)
      {"00000000000000000000000000c0ff3f", "0 9", "&nbsp;"},    // a type without a value
      {"0000000000000000000000c0ff3f0000", "0 6", "1.5"},       // 80-bit real
      {"00000000d2040000000000000000ffff", "321 0", "1234000"}, // little-endian i32 times 1000
  };
  for (const Case& c : cases) {
    Result r = run(std::string("section ss \"V\"\ncolumns 1\ncells 1\nrecord 17 ") + c.unit + "\ncell\nitem 0xE0 0 " +
                       c.fields + "\n",
                   kBody);
    EXPECT_EQ(r.run, KVX_OK);
    EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;"}, {"1", c.text}})) << c.unit << "\n" << r.out;
  }
}

TEST_F(PagecastSheetTest, WideSheetsAreWrittenWithoutWidths) {
  Result narrow = run("section ss \"N\"\ncolumns 256\ncells 1\ncell\ntext cp1252 \"x\"\n", kBody);
  Result wide = run("section ss \"W\"\ncolumns 257\ncells 1\ncell\ntext cp1252 \"x\"\n", kBody);
  EXPECT_NE(narrow.out.find("<TD WIDTH=\"60\">x</TD>"), std::string::npos);
  EXPECT_NE(wide.out.find("<TD>x</TD>"), std::string::npos);
  EXPECT_EQ(wide.out.find("WIDTH"), std::string::npos);
  EXPECT_EQ(Grid(wide.out).size(), 2u);
  EXPECT_EQ(Grid(wide.out)[1].size(), 258u);
}

// A section of more than 65,536 items spans several chunks of item ids: a cell range that
// starts in a later chunk than the section's last item still holds its cells.
TEST_F(PagecastSheetTest, RangesOfLongSectionsInEveryChunk) {
  std::string script = "section ss \"L\"\ncolumns 2\ncells 2\ncell\ntext cp1252 \"A1\"\ncell\ntext cp1252 \"B1\"\n"
                       "cells 2\ncell\ntext cp1252 \"A2\"\ncell\ntext cp1252 \"B2\"\n";
  for (int i = 0; i < 70000; ++i) script += "item 200 0 0 0\n";
  script += "section ss \"M\"\ncolumns 1\ncells 1\ncell\ntext cp1252 \"next\"\n";
  Result r = run(script, kBody);
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;", "&nbsp;"}, {"1", "A1", "B1"}, {"2", "A2", "B2"}}));
}

// The host's locale record and the framework's texts reach the display-type formatter.
TEST_F(PagecastSheetTest, LocaleOptionAndFrameworkTexts) {
  KVXNUMBERFORMATS nf = {',', '.', '-', '.', "EUR", "vm", "nm", 0, 0, 1};
  Option locale{KVXOPT_NUMBERFORMATS, std::string(reinterpret_cast<const char*>(&nf), sizeof nf)};
  Result r = run(
      "section db \"L\"\nitem 80 0 0 0\nitem 82 10 0 1\nitem 82 10 0 1\nitem 82 10 0 1\nitem 81 0 0 0\n"
      "item 83 0x40002 8 0\nitem 83 0x80000 0 0\nitem 83 0 0 0\ncells 3\n"
      "item 74 0 0 0\nvalue 1234567.891\nitem 74 1 0 0\nvalue 0.7\nitem 74 2 0 0\nvalue 2.5\n",
      kBody, {locale});
  EXPECT_EQ(r.run, KVX_OK);
  // Fixed with grouping; a boolean of 0.7 is false (it truncates to 0); General.
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;", "&nbsp;", "&nbsp;"}, {"1", "1.234.567,89", "FALSE", "2,5"}}))
      << r.out;
}

TEST_F(PagecastSheetTest, SecondSheetOfAWorkbook) {
  Result r = run(
      "section wp \"W\"\ntext cp1252 \"words\"\npara\n"
      "section ss \"A\"\ncolumns 1\ncells 1\ncell\ntext cp1252 \"first\"\n"
      "section ss \"B\"\ncolumns 1\ncells 2\ncell\ntext cp1252 \"second\"\ncell\nvalue 2\n",
      "{VELMINS ELEMENT=Sections.3.Body}");
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out.rfind("<A NAME=\"s3sheet\">", 0), 0u) << r.out;
  EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;"}, {"1", "second"}, {"2", "2"}})) << r.out;
}

}  // namespace
}  // namespace pc::test

namespace pc::test {
namespace {

class PagecastWorkbookTest : public PagecastTest {
 protected:
  // Exports one section body of a document file into UTF-8 (or another set's) output.
  Result convert(const std::string& path, int section, uint32_t charset = KVXCS_UTF8) {
    std::string tpl = file("t.tpt", "{VELMINS ELEMENT=Sections." + std::to_string(section) + ".Body}");
    return export_file(path, {text(KVXOPT_TEMPLATE, tpl), word(KVXOPT_CHARSET, charset), word(KVXOPT_FLAVOR, 3)});
  }
};

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(qm::test::read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    rows.emplace_back();
    size_t start = 0;
    for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
      rows.back().push_back(line.substr(start, comma - start));
    rows.back().push_back(line.substr(start));
  }
  return rows;
}

// The data cells of a converted sheet: the header row and the row numbers dropped, empty
// cells as "" and the markup characters read back.
std::vector<std::vector<std::string>> DataCells(const std::string& html) {
  std::vector<std::vector<std::string>> grid = Grid(html), data;
  for (size_t r = 1; r < grid.size(); ++r) {
    data.emplace_back();
    for (size_t c = 1; c < grid[r].size(); ++c) {
      std::string t = grid[r][c];
      if (t == "&nbsp;") t.clear();
      for (auto [from, to] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
        for (size_t at; (at = t.find(from)) != std::string::npos;) t.replace(at, from.size(), to);
      data.back().push_back(t);
    }
  }
  return data;
}

// Each workbook's sheets against LibreOffice's CSV of them. Where a cell differs, the
// difference is listed with its cause.
TEST_F(PagecastWorkbookTest, FixturesMatchLibreOfficeCsv) {
  struct Difference {
    const char* file;
    size_t sheet, row, column;
    const char* ours;
  } differences[] = {
      // The CSV keeps the raw value of "#,##0.00;[Red]\-#,##0.00"; it is written formatted.
      {"office.xlsx", 1, 4, 1, "-12.50"},
      {"office.ods", 1, 4, 1, "-12.50"},
      // The time cell's format in these files is "hh:mm"; the CSV shows the source's.
      {"office.xlsx", 1, 4, 2, "10:30"},
      {"office.ods", 1, 4, 2, "10:30"},
      // The binary reader keeps no percent format and gives a boolean as 1; its dates and
      // times carry display types: the locale's short date and a 24-hour time, each part
      // followed by its separator or a blank.
      {"office.xls", 1, 2, 1, "0.25"},
      {"office.xls", 1, 3, 1, "1/15/2024 "},
      {"office.xls", 1, 4, 2, "10:30:00 "},
      {"office.xls", 1, 6, 0, "1"},
  };
  for (const char* name : {"office.xls", "office.xlsx", "office.ods"}) {
    for (size_t sheet = 1; sheet <= 2; ++sheet) {
      Result r = convert(std::string(QM_FRAMEWORK_DATA "/") + name, int(sheet));
      EXPECT_EQ(r.run, KVX_OK) << name;
      auto expected = ReadCsv(QM_FRAMEWORK_DATA "/office.sheet" + std::to_string(sheet) + ".csv");
      for (const Difference& d : differences)
        if (d.file == std::string(name) && d.sheet == sheet) expected[d.row][d.column] = d.ours;
      auto got = DataCells(r.out);
      // The CSV's rows are as wide as the sheet's used columns.
      for (auto& row : expected) row.resize(got.empty() ? 0 : got[0].size());
      auto all_empty = [](const std::vector<std::string>& row) {
        return std::all_of(row.begin(), row.end(), [](const std::string& cell) { return cell.empty(); });
      };
      while (!expected.empty() && all_empty(expected.back())) expected.pop_back();
      EXPECT_EQ(got, expected) << name << " sheet " << sheet << "\n" << r.out;
    }
  }
  // Big5 output: the Chinese cell in its two-byte form (Python's cp950 gives the bytes).
  Result big5 = convert(QM_FRAMEWORK_DATA "/office.xlsx", 1, KVXCS_BIG5);
  std::string bytes = python(dir_.path(), "import sys\nsys.stdout.write('\\u4e2d\\u6587\\u6e2c\\u8a66'.encode('cp950').hex())\n");
  std::string expected;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) expected.push_back(char(std::stoi(bytes.substr(i, 2), nullptr, 16)));
  EXPECT_NE(big5.out.find("<TD WIDTH=\"60\">" + expected + "</TD>"), std::string::npos) << big5.out;
}

// Sparse sheets as LibreOffice's CSV has them: all 1,000 rows of the sheet with one cell in
// its last column (the empty stretch of each row one spanning cell), and the single cell
// of the last row; the pages stay as small as the sheets' cells.
TEST_F(PagecastWorkbookTest, SparseSheetsWholeAndSmall) {
  for (const char* name : {"sparse.xlsx", "sparse.ods"}) {
    SCOPED_TRACE(name);
    Result r = convert(std::string(QM_FRAMEWORK_DATA "/") + name, 1);
    EXPECT_EQ(r.run, KVX_OK);
    Rows grid = LongGrid(r.out);
    ASSERT_EQ(grid.size(), 1001u);
    EXPECT_EQ(grid[1], (std::vector<std::string>{"1", "1", "&nbsp;", "note"}));
    for (size_t row = 2; row <= 1000; ++row)
      EXPECT_EQ(grid[row], (std::vector<std::string>{std::to_string(row), std::to_string(row), "&nbsp;"}));
    EXPECT_NE(r.out.find("COLSPAN=\"16383\""), std::string::npos);
    EXPECT_LT(r.out.size(), 1u << 20);
  }
  for (const char* name : {"far.xlsx", "far.ods"}) {
    SCOPED_TRACE(name);
    Result r = convert(std::string(QM_FRAMEWORK_DATA "/") + name, 1);
    EXPECT_EQ(r.run, KVX_OK);
    EXPECT_EQ(Grid(r.out), (Rows{{"&nbsp;", "&nbsp;"}, {"1048576", "far"}})) << r.out.substr(0, 2000);
  }
}

// A document that its reader cut is exported as far as it was read, and the export says so.
TEST_F(PagecastWorkbookTest, CutSheetIsWrittenAndReported) {
  Result r = convert(QM_FRAMEWORK_DATA "/repeat.ods", 1);
  EXPECT_EQ(r.run, KVXERR_TRUNCATED);
  Rows grid = LongGrid(r.out);
  ASSERT_EQ(grid.size(), 2u);
  ASSERT_EQ(grid[1].size(), 1025u);
  EXPECT_EQ(std::count(grid[1].begin() + 1, grid[1].end(), "r"), 1024);
}

}  // namespace
}  // namespace pc::test
