// The sheet and database writer: a spreadsheet or database section written as one HTML
// table with a header row of column or field names and a first column of row numbers,
// each cell's items converted in cell mode (cell starts, values formatted by their number
// format or display type, text runs). Builds on the cell lookups (pc_cells), the document
// source and format cache (pc_sheet_source), the number formatters (pc_fmtcode, pc_numfmt)
// and the HTML writer's table and text calls (pc_structure, pc_blocks, pc_chars). Called
// by the element side for sheet and database section bodies.
#pragma once
#include <cstdint>
#include <vector>

#include "filters/html/pc_sheet_source.h"
#include "filters/html/pc_structure.h"

namespace pc {

struct Export;

// The writer's state for one sheet.
struct SheetContext {
  SheetContext(SheetSource& source, WriterState& writer) : src(source), w(writer) {}
  SheetSource& src;
  WriterState& w;
  std::vector<TableState> tables;
  SheetCellCursor cursor;
  FormatCache formats;
  uint32_t section = 0;  // 0-based
  uint32_t sectionType = 1;
  uint32_t documentCharset = KVXCS_ASCII;
  uint32_t dateBase = 0, dateFlags = 0;
  uint32_t column = 0;  // 1-based table column of the cell being written
  // The cell whose value is awaited: its kind (0 none), its format (number format or
  // display-type item) and the colour in force.
  uint32_t pendingKind = 0, pendingFormat = 0, colour = 0;
  bool cellWritten = false;  // the cell has content
  bool cut = false;          // the table ended at kMaxTableCells
};

// Writes section sectionNumber (1-based) of type 1 (ss) or 2 (db). A section without a
// first cell writes nothing. Other statuses of the lookups and the writer are returned.
// Empty runs (items 0x57 of many cells) cost one table cell a row: the part of a row that
// a run covers is one empty cell spanning those columns, and rows that runs cover whole
// are left out (the row numbers show which rows are there); in a sheet wider than 256
// columns the header row has one cell per named column and per stretch of unnamed ones.
// So the table has at most two cells per item of the section besides the header row, the
// row numbers and 256 header cells; past kMaxTableCells cells its rows end and c.cut is set.
KVXSTATUS WriteSheet(uint32_t sectionNumber, uint32_t sectionType, SheetContext& c);
// One cell of the grid (row and column from 0); 37 when the cell does not exist.
KVXSTATUS WriteSheetCell(uint32_t section, uint32_t row, uint32_t column, SheetContext& c);
// Converts the items firstItem to endItem of one cell inside the open table.
KVXSTATUS ConvertSheetCell(uint32_t firstItem, uint32_t endItem, SheetContext& c);
// One cell or field item (kinds 0x46 to 0x4A, 0x57, 0xE0) at itemId.
KVXSTATUS WriteCellContent(const uint32_t item[4], uint32_t itemId, SheetContext& c);

// The element side's entry: the body of section sectionNumber written into out.
KVXSTATUS WriteSheetElement(Export& x, KVXIO* out, uint32_t sectionNumber, uint32_t sectionType);

}  // namespace pc
