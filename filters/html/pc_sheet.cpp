// Sheets and databases as HTML tables (see pc_sheet.h). The grid is the section's column
// count wide plus the row-number column; rows run while their first cell exists. Every
// cell of the grid gets a table cell: a cell the section lacks, or whose items open none,
// is written empty; a run of empty cells gives one cell per row it touches (spanning its
// columns there) and no row where it covers the row whole.
#include "filters/html/pc_sheet.h"

#include <algorithm>
#include <string>

#include "filters/html/pc_blocks.h"
#include "filters/html/pc_state.h"

namespace pc {

namespace {

constexpr uint32_t kTextItem = 7, kBreakItem = 0, kGroupOpen = 0x43, kGroupClose = 0x44;
constexpr uint32_t kCell = 0x46, kStyledCell = 0x47, kNumberCell = 0x48, kTextCell = 0x49, kField = 0x4A;
constexpr uint32_t kSheetCell = 0x57, kValue = 0xE0;
// A display type ({83, type << 16 | layout, flags, 0}): of a database field, or of a general
// cell's value when it stands between the cell and its value (dates and times of a sheet).
constexpr uint32_t kDisplayType = 83;
constexpr uint32_t kSkipGroupBit = 0x20000000u;
// Width of the row-number column, in the unit of the column widths.
constexpr uint32_t kRowNumberWidth = 360;
// A column without a width of its own: ten characters of 120.
constexpr uint32_t kDefaultColumnWidth = 1200;
// A damaged column count cannot make the writer allocate or loop without end (columns past
// it are cut).
constexpr uint32_t kMaxColumns = 16384;
// The writer walks the column widths for every cell; wider sheets are written without
// widths, so each cell costs the same.
constexpr uint32_t kMaxSizedColumns = 256;
constexpr uint64_t kMaxCells = uint64_t(1) << 24;
// Table cells of one sheet at most (the row-number cells counted).
constexpr uint64_t kMaxTableCells = uint64_t(1) << 24;
constexpr uint32_t kMaxTextUnits = 0x8000;

TableState& Table(SheetContext& c) { return c.tables.back(); }

// The first item of cell (row, column): the cell index runs row by row, so with the count
// given the column is the first index.
uint32_t CellBegin(SheetContext& c, const SheetSectionParams& p, uint32_t row, uint32_t column) {
  return p.countGiven ? CUGetSSCellBeginId(&c.cursor, c.section, column, row, c.src)
                      : CUGetSSCellBeginId(&c.cursor, c.section, row, column, c.src);
}

void OpenPlainCell(SheetContext& c, bool header, uint32_t& status, unsigned columns = 1) {
  CellSpec spec;
  spec.firstColumn = c.column;
  spec.columnCount = columns;
  spec.spanWithoutWidths = true;
  spec.header = header;
  OpenCell(spec, false, status, c.w, Table(c));
}

// For a cell item that is a run of empty cells: the grid index one past the run and the
// runs that directly follow it (a long empty stretch is several runs; the cursor stands at
// the run after CellBegin found it); 0 for anything else.
uint64_t RunEnd(SheetContext& c, uint32_t item) {
  uint32_t w[4];
  if (item == kNoItem || item != c.cursor.scanItem || c.src.item(0, item, w) != KVX_OK || w[0] != kSheetCell)
    return 0;
  uint64_t end = uint64_t(c.cursor.scanCell) + (w[1] >> 16);
  for (uint32_t id = item, next; c.src.nextId(0, id, &next) == KVX_OK && c.src.item(0, next, w) == KVX_OK; id = next) {
    if (w[0] != kSheetCell || (w[1] >> 16) == 0) break;
    end += w[1] >> 16;
  }
  return end;
}

// Text of the writer's current text set, formatting brought in line first.
void WriteCellText(const std::u16string& text, uint32_t charset, SheetContext& c, uint32_t& status) {
  if (text.empty()) return;
  FlushPendingFormat(status, c.w);
  uint32_t saved = c.w.textCharset;
  c.w.textCharset = charset;
  WriteText16(reinterpret_cast<const uint16_t*>(text.data()), uint32_t(text.size()), status, c.w);
  c.w.textCharset = saved;
  c.cellWritten = true;
}

// A header or row-number cell holding text, across columns table columns.
void HeaderCell(const std::u16string& text, uint32_t charset, bool header, SheetContext& c, uint32_t& status,
                unsigned columns = 1) {
  OpenPlainCell(c, header, status, columns);
  c.cellWritten = false;
  WriteCellText(text, charset, c, status);
  CloseCell(!c.cellWritten, status, c.w, Table(c));
}

// The text of a column or field name: the text run the name id names.
std::u16string NameText(SheetSource& src, uint32_t nameId, uint32_t* charset) {
  uint32_t w[4];
  std::u16string text;
  *charset = KVXCS_UNICODE;
  if (nameId == kNoItem || src.item(0, nameId, w) != KVX_OK || w[0] != kTextItem) return text;
  if (src.text(w[2], std::min<uint32_t>(w[3], 1024), &text) != KVX_OK) text.clear();
  *charset = w[1];
  return text;
}

// The colour of the value in force: a change is written as a format change.
void ApplyColour(uint32_t colour, SheetContext& c) {
  if (colour == c.colour) return;
  c.colour = colour;
  if (colour != 0) {
    SetColour(colour, c.w);
  } else {
    // Back to the default colour: nothing is wanted any more.
    c.w.styleFlags &= ~0x100000u;
    c.w.fontWanted.colour = -1;
  }
}

}  // namespace

KVXSTATUS WriteCellContent(const uint32_t item[4], uint32_t itemId, SheetContext& c) {
  if (c.tables.empty()) return KVX_OK;  // cells are written only inside a sheet's table
  uint32_t status = 0;
  uint32_t kind = item[0];
  if (kind == kValue) {
    if (c.pendingKind != kNumberCell && c.pendingKind != kField && c.pendingKind != kCell) return KVX_OK;
    double value = 0;
    uint32_t pending = c.pendingKind;
    c.pendingKind = 0;
    if (!FUDataVal(c.src, itemId, &value)) return KVX_OK;  // no value: the cell stays empty
    uint32_t colour = c.colour;
    std::u16string text;
    if (pending == kNumberCell) {
      text = FormatCellNumber(c.formats, c.src, c.pendingFormat, value, double(c.dateBase), c.dateFlags, &colour,
                              c.src.context());
    } else {
      uint32_t w[4] = {};
      if ((pending == kField || pending == kCell) && c.pendingFormat != kNoItem &&
          c.src.item(0, c.pendingFormat, w) != KVX_OK)
        w[1] = w[2] = 0;
      text = FUFormatNumber35(w[1], w[2], value, double(c.dateBase), c.dateFlags, &colour, 256, c.src.context());
    }
    ApplyColour(colour, c);
    WriteCellText(text, KVXCS_UNICODE, c, status);
    return status;
  }
  if (kind == kDisplayType) {
    if (c.pendingKind == kCell) c.pendingFormat = itemId;
    return KVX_OK;
  }
  if (kind < kCell || (kind > kField && kind != kSheetCell)) return KVX_OK;
  // A cell start: one table cell per grid cell, however many start items it holds.
  if (!Table(c).cellOpen) OpenPlainCell(c, false, status);
  c.pendingKind = 0;
  switch (kind) {
    case kCell:
      c.pendingKind = kCell;
      c.pendingFormat = kNoItem;  // general, unless a display type follows
      break;
    case kStyledCell: {
      static const unsigned kCodes[4] = {2, 3, 4, 12};  // bold, italic, underline, strike-through
      for (unsigned bit = 0; bit < 4; ++bit)
        if (item[3] & (1u << bit)) SetCharAttribute(kCodes[bit], 1, c.w);
      break;
    }
    case kNumberCell:
      c.pendingKind = kNumberCell;
      c.pendingFormat = item[3];
      break;
    case kTextCell: {
      uint32_t colour = c.colour, attribute = 0;
      if (FormatTextCellColour(c.formats, c.src, item[3], &colour, &attribute) == 0) ApplyColour(colour, c);
      break;
    }
    case kField: {
      uint32_t first = kNoItem, last = kNoItem;
      c.pendingKind = kField;
      c.pendingFormat = kNoItem;
      if (c.src.sectionInfo(c.section, &first, &last) == KVX_OK) {
        uint32_t block = CUFindDBStartFieldInfoId(first, last, c.src);
        if (block != kNoItem && c.column >= 1) c.pendingFormat = CUGetDBCellFormatId(block, c.column - 1, c.src);
      }
      break;
    }
    default:
      break;
  }
  return status;
}

KVXSTATUS ConvertSheetCell(uint32_t firstItem, uint32_t endItem, SheetContext& c) {
  if (c.tables.empty()) return KVX_OK;
  uint32_t id = firstItem, w[4];
  for (uint64_t guard = 0; guard < kMaxCells; ++guard) {
    if (c.src.item(0, id, w) != KVX_OK) return KVX_OK;  // a read error ends the cell
    uint32_t status = 0;
    if (w[0] == kTextItem) {
      if (!Table(c).cellOpen) OpenPlainCell(c, false, status);
      std::u16string text;
      if (w[3] <= kMaxTextUnits && c.src.text(w[2], w[3], &text) == KVX_OK) WriteCellText(text, w[1], c, status);
    } else if (w[0] == kBreakItem && id != firstItem && (w[1] == KVXBREAK_PARAGRAPH || w[1] == KVXBREAK_LINE)) {
      if (Table(c).cellOpen) WriteTextItem(4, status, c.w);
    } else if (w[0] == kGroupOpen && (w[1] & kSkipGroupBit)) {
      // Skipped with its content (format definitions and the like).
      for (int depth = 1; depth > 0 && id < endItem;) {
        if (c.src.nextId(0, id, &id) != KVX_OK || c.src.item(0, id, w) != KVX_OK) return KVX_OK;
        depth += w[0] == kGroupOpen ? 1 : w[0] == kGroupClose ? -1 : 0;
      }
    } else if ((w[0] >= kCell && w[0] <= kField) || w[0] == kSheetCell || w[0] == kValue || w[0] == kDisplayType) {
      status = WriteCellContent(w, id, c);
    }
    if (status) return status;
    if (id >= endItem || c.src.nextId(0, id, &id) != KVX_OK) return KVX_OK;
  }
  return KVX_OK;
}

KVXSTATUS WriteSheetCell(uint32_t section, uint32_t row, uint32_t column, SheetContext& c) {
  SheetSectionParams p;
  if (c.cursor.section == section) {
    p.countGiven = c.cursor.countGiven;
  } else if (KVXSTATUS s = CUGetSSSectionParams(section, &p, c.src)) {
    return s;
  }
  c.section = section;
  uint32_t first = CellBegin(c, p, row, column);
  if (first == kNoItem) return kCellNotFound;
  uint32_t w[4];
  if (c.src.item(0, first, w) != KVX_OK) return kCellNotFound;
  uint32_t end = w[0] == kSheetCell ? first : CUFindSSDBCellEndId(first, c.src);
  if (end == kNoItem) end = first;
  c.column = column + 1;
  return ConvertSheetCell(first, end, c);
}

KVXSTATUS WriteSheet(uint32_t sectionNumber, uint32_t sectionType, SheetContext& c) {
  if (sectionNumber == 0) return kCellNotFound;
  c.section = sectionNumber - 1;
  c.sectionType = sectionType;
  c.cursor = SheetCellCursor{};
  c.cursor.section = kNoItem;
  c.tables.clear();
  c.src.dates(c.section, &c.dateBase, &c.dateFlags);

  SheetSectionParams p;
  if (KVXSTATUS s = CUGetSSSectionParams(c.section, &p, c.src)) return s;
  if (CellBegin(c, p, 0, 0) == kNoItem) return KVX_OK;
  uint32_t first = kNoItem, last = kNoItem;
  if (KVXSTATUS s = c.src.sectionInfo(c.section, &first, &last)) return s;
  uint32_t columns = std::min(p.columns, kMaxColumns);
  if (columns < p.columns) c.cut = true;

  std::vector<uint32_t> widths(columns, 0), names(columns, kNoItem);
  size_t got = 0;
  KVXSTATUS s = CUGatherSSDBCellWidths(first, widths.data(), widths.size(), &got, c.src);
  if (s != KVX_OK && s != kCellNotFound) return s;
  s = CUFindSSDBCellNameIds(first, names.data(), names.size(), &got, c.src);
  if (s != KVX_OK && s != kCellNotFound) return s;
  if (s == kCellNotFound) std::fill(names.begin(), names.end(), kNoItem);
  const bool header = sectionType == KVXSECTION_SS;

  uint32_t status = 0;
  BeginElement(0, c.w);
  c.w.textCharset = c.documentCharset;
  AddPendingAnchor(u"s" + widen(std::to_string(sectionNumber)) + u"sheet", c.w);
  WritePendingAnchors(true, status, c.w);
  TableState table;
  table.kind = ReduceBorderKind(BorderKindFromLines(1, 1, 1), true, true, c.w.flavour);
  table.width = 1;
  if (columns <= kMaxSizedColumns) {
    table.columns.push_back(kRowNumberWidth);
    for (uint32_t width : widths) table.columns.push_back(width != 0 ? width : kDefaultColumnWidth);
  }
  OpenTable(table, status, c.w, c.tables);

  // Header row: an empty corner, then the column or field names. In a sheet too wide for
  // widths, columns without a name in a row share one header cell, so the row costs its
  // names rather than the sheet's width.
  OpenRow(0, status, c.w, Table(c));
  c.column = 0;
  HeaderCell(u"", KVXCS_UNICODE, header, c, status);
  for (uint32_t col = 0; col < columns;) {
    uint32_t charset = KVXCS_UNICODE;
    std::u16string name = NameText(c.src, names[col], &charset);
    unsigned span = 1;
    if (name.empty() && columns > kMaxSizedColumns)
      while (col + span < columns && NameText(c.src, names[col + span], &charset).empty()) ++span;
    c.column = col + 1;
    HeaderCell(name, charset, header, c, status, span);
    col += span;
  }
  CloseRow(status, c.w, Table(c));

  uint64_t written = 0;  // table cells of the rows
  bool full = false;
  for (uint64_t row = 0; status == 0 && row <= 0xFFFFFFFFu; ++row) {
    const uint64_t rowStart = row * columns;
    const uint32_t first = CellBegin(c, p, uint32_t(row), 0);
    if (row > 0 && first == kNoItem) break;
    // Rows that a run covers whole are left out.
    if (uint64_t end = RunEnd(c, first); columns > 0 && end >= rowStart + columns) {
      row = end / columns - 1;
      continue;
    }
    OpenRow(0, status, c.w, Table(c));
    c.column = 0;
    HeaderCell(widen(std::to_string(row + 1)), KVXCS_UNICODE, header, c, status);
    ++written;
    for (uint32_t col = 0; col < columns && status == 0;) {
      if (written >= kMaxTableCells) {
        full = true;
        break;
      }
      c.column = col + 1;
      // The part of a run in this row: one empty cell across its columns.
      uint64_t end = RunEnd(c, CellBegin(c, p, uint32_t(row), col));
      uint32_t span = end > rowStart + col ? uint32_t(std::min<uint64_t>(end - rowStart - col, columns - col)) : 1;
      ++written;
      if (span > 1) {
        OpenPlainCell(c, false, status, span);
        CloseCell(true, status, c.w, Table(c));
        col += span;
        continue;
      }
      c.cellWritten = false;
      c.pendingKind = 0;
      KVXSTATUS st = WriteSheetCell(c.section, uint32_t(row), col, c);
      if (st != KVX_OK && st != kCellNotFound) {
        status = st;
        break;
      }
      c.column = col + 1;
      if (!Table(c).cellOpen) OpenPlainCell(c, false, status);
      ApplyColour(0, c);
      CloseCell(!c.cellWritten, status, c.w, Table(c));
      ++col;
    }
    CloseRow(status, c.w, Table(c));
    if (full) {
      c.cut = true;
      break;
    }
  }
  while (!c.tables.empty()) CloseTable(status, c.w, c.tables);
  KVXSTATUS end = EndElement(c.w);
  return status ? status : end;
}

KVXSTATUS WriteSheetElement(Export& x, KVXIO* out, uint32_t sectionNumber, uint32_t sectionType) {
  WriterState w;
  w.output = out;
  w.getOption = [&x](uint32_t id, void* buffer, uint32_t* size) { return DAGetOption(x.ex, id, buffer, size); };
  bool classes = false;
  if (KVXSTATUS s = ConfigureWriter(x.out_charset, x.out_kind, w, &classes)) return s;
  ChunkerSheetSource src(x.chunker, x.ex);
  if (sectionNumber == 0 || !src.bind(sectionNumber - 1)) return KVX_OK;
  SheetContext c(src, w);
  c.documentCharset = document_charset(x);
  KVXSTATUS st = WriteSheet(sectionNumber, sectionType, c);
  if (c.cut) x.cut = true;
  return st;
}

}  // namespace pc
