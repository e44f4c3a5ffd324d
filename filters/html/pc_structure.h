// Block structure of the HTML writer: horizontal rules, indentation levels, lists, and
// tables with their border kinds, rows and cells (widths, spans, alignment, background).
// Builds on the markup primitives and the character side; called by the body, sheet and
// database converters.
#pragma once
#include <cstdint>
#include <vector>

#include "pc_chars.h"

namespace pc {

// Horizontal rules: width in percent with alignment (2 right, 3 centre), and the sized
// rule of paragraph borders (size in pixels) after the pending space.
void WriteRule(int widthPercent, int alignment, uint32_t& status, WriterState& s);
void WriteRuleSized(int size, uint32_t& status, WriterState& s);

// Levels of a left or right indentation in twips: nearest 720-twip step, halves up, at most 10.
int IndentLevels(int32_t twips);

// Indentation as nested levels ("UL" in F8 flavours, else "BLOCKQUOTE"): in F5 flavours
// the whole level count is written anew, elsewhere only its change; EndIndent closes all.
void StartIndent(int levels, uint32_t& status, WriterState& s);
void EndIndent(uint32_t& status, WriterState& s);

// Lists. kind 1 bullets, 2 numbers; style: for bullets "DISC", "CIRCLE", "SQUARE", for
// numbers "1", "a", "A", "i", "I"; marks false writes a list without marks.
struct ListSpec {
  int kind = 1;
  const char* type = "DISC";
  int start = 1;
  bool marks = true;
};
void StartList(const ListSpec& list, uint32_t& status, WriterState& s);
// code 10 opens an item (number written when it is not the next); other codes answer 18.
KVXSTATUS StartListItem(int code, int number, uint32_t& status, WriterState& s);
void EndListItem(bool empty, uint32_t& status, WriterState& s);
void EndList(uint32_t& status, WriterState& s);

// Tables.
struct BorderWord {
  int line;       // 0 none, 1 single, 2 double
  int thickness;  // pixels
};
BorderWord ClassifyBorder(uint32_t flags);
// The kind (1-10) from the line codes of outer frame and the two inner lines.
int BorderKindFromLines(int outer, int first, int second);
// The kind the flavour can draw.
int ReduceBorderKind(int kind, bool rows, bool columns, const Flavour& f);

struct TableState {
  int kind = 1;
  int width = 2;  // border width in pixels
  uint32_t tableTwips = 0;
  bool noFixedWidth = false;
  std::vector<uint32_t> columns;  // widths in twips
  uint64_t running = 0;           // twips of the cells written in the row
  int tablesWritten = 0;
  bool rowOpen = false, cellOpen = false, headerBold = false, rowWritten = false, cellWritten = false;
  unsigned cellEntry = 0;
  int rowValign = 0;
  // The outer frame's line code (0 none, 1 single, 2 double) and thickness in pixels, for
  // the opening in flavours with "border-style:".
  int outerLine = 0, outerThickness = 0;
  // The first columns of the open plain cells (a header cell written as TD included).
  std::vector<uint32_t> cellStarts;
};

// The cell-start record that the converters hand to the cell writer: four words (the
// default {1, 0x10000, 1, 0}) and the cell's 20 bytes of attributes.
struct CellStartRecord {
  uint32_t words[4] = {1, 0x10000, 1, 0};
  uint8_t attrs[20] = {};
};

// What the body converter lays a table out from: column edges (running totals) and
// widths in twips, the row height and the three border flag words (outer frame, first
// and second inner lines; ClassifyBorder).
struct TableGeometry {
  std::vector<uint32_t> edges, widths;
  uint32_t height = 0;
  uint32_t borders[3] = {};
};

struct CellSpec {
  unsigned firstColumn = 0, columnCount = 1;
  uint32_t rowSpan = 0;  // extra rows
  uint16_t height = 0;
  int align = 1, alignSub = 0;  // 1 left, 2 right, 3 centre, 4 justified, 5 decimal (sub 2: right)
  int valign = 0;               // 1 top, 2 bottom, 3 middle
  bool hasBackground = false;
  uint32_t background = 0xFFFFFF;
  bool noWrap = false, header = false;
  // In a table without column widths, span columnCount columns (sheets too wide for widths).
  bool spanWithoutWidths = false;
};

// Writers over the innermost table of the stack.
void OpenTable(TableState table, uint32_t& status, WriterState& s, std::vector<TableState>& stack);
void CloseTable(uint32_t& status, WriterState& s, std::vector<TableState>& stack);
void OpenRow(int valign, uint32_t& status, WriterState& s, TableState& t);
void CloseRow(uint32_t& status, WriterState& s, TableState& t);
void OpenCell(const CellSpec& cell, bool continuation, uint32_t& status, WriterState& s, TableState& t);
void CloseCell(bool empty, uint32_t& status, WriterState& s, TableState& t);

// A positioned text frame: a DIV with its width in style flavours, elsewhere a one-cell
// table (alignment 2 right, 3 centre). The frame's table state lives on the stack.
void OpenFrame(int widthPixels, int alignment, uint32_t& status, WriterState& s, std::vector<TableState>& stack);
void CloseFrame(uint32_t& status, WriterState& s, std::vector<TableState>& stack);

}  // namespace pc
