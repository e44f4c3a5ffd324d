// Rules, indentation levels, lists and tables of the HTML writer (see pc_structure.h).
#include "pc_structure.h"

#include <string>

namespace pc {

void WriteRule(int percent, int alignment, uint32_t& status, WriterState& s) {
  if (!EmitTag(true, "<%s", 16, status, s)) return;
  EmitTagNumber(true, " %s\"%d%%\"", percent, 14, status, s);
  if (alignment == 2) EmitTag(true, " %s\"RIGHT\"", 15, status, s);
  else if (alignment == 3) EmitTag(true, " %s\"CENTER\"", 15, status, s);
  EmitRaw(">", status, s);
  EmitTag(false, "<%s>", 16, status, s);
}

void WriteRuleSized(int size, uint32_t& status, WriterState& s) {
  uint32_t space = s.pendingSpace;
  s.pendingSpace = 0;
  if (space) EmitSpace(space, 0, false, status, s);
  EmitLineBreak(status, s);
  if (!EmitTag(true, "<%s", 16, status, s)) return;
  EmitTagNumber(true, " %s\"%d\"", size, 14, status, s);  // a size, not a percentage
  EmitRaw(">", status, s);
  EmitTag(false, "<%s>", 16, status, s);
}

int IndentLevels(int32_t twips) {
  if (twips <= 0) return 0;
  int levels = (twips / 360 + 1) / 2;
  return levels > 10 ? 10 : levels;
}

namespace {

void close_indent_level(uint32_t& status, WriterState& s) {
  unsigned entry = s.indentLevels.back();
  s.indentLevels.pop_back();
  EmitTag(false, "<%s>", entry, status, s);
  EmitLineBreak(status, s);
}

}  // namespace

void StartIndent(int levels, uint32_t& status, WriterState& s) {
  if (levels < 0) levels = 0;
  if (levels > 10) levels = 10;
  if (FeatureOn(s.flavour, kFIndentNested)) {
    while (!s.indentLevels.empty()) close_indent_level(status, s);
  }
  while (int(s.indentLevels.size()) > levels) close_indent_level(status, s);
  unsigned entry = FeatureOn(s.flavour, kFIndentUl) ? 59 : 3;
  while (int(s.indentLevels.size()) < levels) {
    if (!EmitTag(true, "<%s>", entry, status, s)) break;
    s.indentLevels.push_back(entry);
  }
}

void EndIndent(uint32_t& status, WriterState& s) {
  while (!s.indentLevels.empty()) close_indent_level(status, s);
}

namespace {

bool list_numbered(const ListSpec& l) { return l.kind == 2; }

const char* list_style_word(const ListSpec& l) {
  if (!l.marks) return "none";
  std::string t = l.type ? l.type : "";
  if (!list_numbered(l)) return t == "CIRCLE" ? "circle" : t == "SQUARE" ? "square" : "disc";
  if (t == "a") return "lower-alpha";
  if (t == "A") return "upper-alpha";
  if (t == "i") return "lower-roman";
  if (t == "I") return "upper-roman";
  return "decimal";
}

}  // namespace

void StartList(const ListSpec& l, uint32_t& status, WriterState& s) {
  EmitLineBreak(status, s);
  unsigned entry = list_numbered(l) ? 64 : 59;
  if (!EmitTag(true, "<%s", entry, status, s)) return;
  int next = 1;  // a start the tag cannot carry goes on the first item's VALUE instead
  if (TagAllowed(138, s.flavour)) {
    if (EmitTag(true, " %s\"", 137, status, s)) {
      EmitRaw("list-style: ", status, s);
      EmitRaw(list_style_word(l), status, s);
      EmitRaw("\"", status, s);
    }
  } else {
    if (l.marks && l.type) EmitTagText(true, " %s\"%s\"", l.type, 69, status, s);
    if (list_numbered(l) && l.start != 1 && EmitTagNumber(true, " %s\"%d\"", l.start, 70, status, s)) next = l.start;
    if (!l.marks) EmitTag(true, " %s", 67, status, s);
  }
  EmitRaw(">", status, s);
  s.listStack.push_back({entry, next});
}

KVXSTATUS StartListItem(int code, int number, uint32_t& status, WriterState& s) {
  if (code != 10) return 18;
  if (!EmitTag(true, "<%s", 65, status, s)) return KVX_OK;
  if (!s.listStack.empty()) {
    WriterState::ListLevel& level = s.listStack.back();
    if (number != level.next) EmitTagNumber(true, " %s\"%d\"", number, 66, status, s);
    level.next = number + 1;
  }
  EmitRaw(">", status, s);
  return KVX_OK;
}

void EndListItem(bool empty, uint32_t& status, WriterState& s) {
  if (empty) EmitNbspLine(status, false, s);
  CloseFormatting(status, s);
  EmitTag(false, "<%s>", 65, status, s);
}

void EndList(uint32_t& status, WriterState& s) {
  if (s.listStack.empty()) return;
  unsigned entry = s.listStack.back().entry;
  s.listStack.pop_back();
  EmitTag(false, "<%s>", entry, status, s);
  EmitLineBreak(status, s);
}

BorderWord ClassifyBorder(uint32_t f) {
  if (f & (0x0800 | 0x1000)) return {2, 1};
  if (f & (0x0400 | 0x2000 | 0x4000)) return {2, 4};
  int line = (f & 1) ? 0 : (f & 2) ? 2 : 1;
  int thickness = (f & 4) ? 1 : (f & 8) ? 4 : 2;
  return {line, thickness};
}

int BorderKindFromLines(int o, int a, int b) {
  if (o == 0) {
    if (a == 2) return b == 0 ? 8 : b == 1 ? 10 : 3;
    if (b == 2) return a == 0 ? 7 : 9;
    return a == 0 && b == 0 ? 1 : 2;
  }
  if (a == 2) {
    if (b != 2) return 8;
    return o == 1 ? 5 : 6;
  }
  return b == 2 ? 7 : 4;
}

int ReduceBorderKind(int kind, bool rows, bool columns, const Flavour& f) {
  if (!TagAllowed(40, f) && !TagAllowed(38, f)) return 1;
  bool f1 = FeatureOn(f, kFBorderNested), f2 = FeatureOn(f, kFBorderKeep5810), f3 = FeatureOn(f, kFBorderKeep579);
  if (kind < 1 || kind > 10) kind = 1;
  for (int guard = 0; guard < 16; ++guard) {
    int next = kind;
    switch (kind) {
      case 2: next = f1 ? 2 : (rows && columns ? 4 : 1); break;
      case 3:
      case 6: next = f1 ? kind : 5; break;
      case 5: next = f1 || (f2 && f3) ? 5 : 4; break;
      case 7: next = f3 ? 7 : 4; break;
      case 8: next = f2 ? 8 : 4; break;
      case 9: next = f3 && f1 ? 9 : 2; break;
      case 10: next = f2 && f1 ? 10 : 2; break;
      default: break;
    }
    if (next == kind) break;
    kind = next;
  }
  return kind;
}

namespace {

// " BORDER="w"", or " BORDER" when that is refused.
void border_attr(int width, uint32_t& status, WriterState& s) {
  if (!EmitTagNumber(true, " %s\"%d\"", width, 40, status, s)) EmitTag(true, " %s", 38, status, s);
}

void inner_table(bool border, bool padding, uint32_t& status, WriterState& s, TableState& t) {
  if (!EmitTag(true, "<%s", 36, status, s)) return;
  ++t.tablesWritten;
  EmitTag(true, " %s\"0\"", 42, status, s);
  if (border) border_attr(t.width, status, s);
  if (padding) EmitTag(true, " %s\"0\"", 41, status, s);
  EmitRaw(">", status, s);
}

// A line break and one row and cell opened: the nested table's frame.
void frame_cell(bool header, uint32_t& status, WriterState& s, TableState& t) {
  EmitLineBreak(status, s);
  OpenRow(0, status, s, t);
  CellSpec c;
  c.header = header;
  c.columnCount = 0;
  OpenCell(c, true, status, s, t);
}

void empty_row(uint32_t& status, WriterState& s, TableState& t) {
  OpenRow(0, status, s, t);
  CellSpec c;
  c.columnCount = 0;
  OpenCell(c, true, status, s, t);
  CloseCell(false, status, s, t);
  CloseRow(status, s, t);
}

}  // namespace

void OpenTable(TableState t, uint32_t& status, WriterState& s, std::vector<TableState>& stack) {
  t.tablesWritten = 0;
  stack.push_back(t);
  TableState& cur = stack.back();
  if (!EmitTag(true, "<%s", 36, status, s)) return;
  cur.tablesWritten = 1;
  if (TagAllowed(122, s.flavour)) {  // the borders go into the table's inline style
    if (cur.outerLine != 0 && !EmitTag(true, " %s\"1\"", 40, status, s)) EmitTag(true, " %s", 38, status, s);
    if (cur.outerLine == 1) EmitTag(true, " %s\"0\"", 42, status, s);
    if (EmitTag(true, " %s\"", 150, status, s)) {
      EmitTag(true, " %s", 122, status, s);
      EmitTag(true, " %s;", cur.outerLine == 0 ? 127 : cur.outerLine == 1 ? 123 : 124, status, s);
      if (cur.outerLine != 0 && EmitTag(true, " %s", 133, status, s))
        EmitFormatted(" %upx;", uint16_t(cur.outerThickness < 1 ? 1 : cur.outerThickness), status, s);
      EmitRaw("\"", status, s);
    }
    EmitRaw(">", status, s);
    EmitLineBreak(status, s);
    cur.rowOpen = cur.cellOpen = false;
    cur.running = 0;
    return;
  }
  if (cur.kind != 1) {
    border_attr(cur.width, status, s);
    EmitTag(true, " %s\"0\"", 42, status, s);
  }
  switch (cur.kind) {
    case 2:
      EmitTag(true, " %s\"FRAME\">", 39, status, s);
      EmitRaw(">", status, s);
      frame_cell(false, status, s, cur);
      inner_table(false, false, status, s, cur);
      break;
    case 3:
      EmitRaw(">", status, s);
      frame_cell(false, status, s, cur);
      inner_table(true, false, status, s, cur);
      frame_cell(false, status, s, cur);
      inner_table(false, false, status, s, cur);
      break;
    case 5:
      EmitRaw(">", status, s);
      if (FeatureOn(s.flavour, kFBorderNested)) {
        frame_cell(false, status, s, cur);
        inner_table(true, false, status, s, cur);
      } else {
        empty_row(status, s, cur);
      }
      break;
    case 6:
      EmitTag(true, " %s\"0\"", 41, status, s);
      EmitRaw(">", status, s);
      frame_cell(false, status, s, cur);
      inner_table(false, true, status, s, cur);
      break;
    case 8:
      EmitRaw(">", status, s);
      empty_row(status, s, cur);
      break;
    case 9:
      EmitRaw(">", status, s);
      frame_cell(true, status, s, cur);
      inner_table(false, false, status, s, cur);
      break;
    case 10:
      EmitRaw(">", status, s);
      empty_row(status, s, cur);
      frame_cell(false, status, s, cur);
      inner_table(false, false, status, s, cur);
      break;
    default:
      EmitRaw(">", status, s);
      break;
  }
  cur.rowOpen = cur.cellOpen = false;
  cur.running = 0;
}

void CloseTable(uint32_t& status, WriterState& s, std::vector<TableState>& stack) {
  if (stack.empty()) return;
  TableState& t = stack.back();
  for (int i = 0; i < t.tablesWritten; ++i) {
    if (i > 0) {  // the frame cell and row around the inner table
      EmitTag(false, "<%s>", t.cellEntry ? t.cellEntry : 44, status, s);
      EmitTag(false, "<%s>", 54, status, s);
      EmitLineBreak(status, s);
    }
    EmitTag(false, "<%s>", 36, status, s);
    EmitLineBreak(status, s);
  }
  stack.pop_back();
}

void OpenRow(int valign, uint32_t& status, WriterState& s, TableState& t) {
  t.running = 0;
  t.rowValign = valign;
  t.rowWritten = false;
  unsigned entry = TagAllowed(54, s.flavour) ? 54 : 55;
  if (!EmitTag(true, "<%s", entry, status, s)) return;
  if (valign == 1) EmitTag(true, " %s\"TOP\"", 56, status, s);
  else if (valign == 2) EmitTag(true, " %s\"BOTTOM\"", 56, status, s);
  EmitRaw(">", status, s);
  t.rowOpen = true;
}

void CloseRow(uint32_t& status, WriterState& s, TableState& t) {
  if (!t.rowOpen) return;
  if (!t.rowWritten) EmitNbspLine(status, false, s);
  EmitTag(false, "<%s>", 54, status, s);
  EmitLineBreak(status, s);
  t.rowOpen = false;
}

void OpenCell(const CellSpec& c, bool continuation, uint32_t& status, WriterState& s, TableState& t) {
  if (!continuation) EmitLineBreak(status, s);
  unsigned entry = 0;
  static const unsigned header_entries[] = {52, 53, 44, 48};
  for (unsigned i = c.header ? 0 : 2; i < 4; ++i) {
    if (TagAllowed(header_entries[i], s.flavour)) {
      entry = header_entries[i];
      break;
    }
  }
  t.cellOpen = false;
  if (entry == 0 || !EmitTag(true, "<%s", entry, status, s)) return;
  t.cellOpen = true;
  t.rowWritten = true;
  t.cellEntry = entry;
  if (entry == 44 || entry == 48) t.cellStarts.push_back(c.firstColumn);
  uint64_t twips = 0, pixels = 0;
  for (unsigned i = c.firstColumn; i < c.firstColumn + c.columnCount && i < t.columns.size(); ++i) {
    twips += t.columns[i];
    pixels += t.columns[i] / 20;
  }
  if (c.header && entry == 52) pixels += pixels / 4;
  if (twips > 0 && t.tableTwips > 0)
    EmitTagNumber(true, " %s\"%d%%\"", long(twips * 100 / t.tableTwips), 50, status, s);
  else if (twips > 0 && !t.noFixedWidth)
    EmitTagNumber(true, " %s\"%d\"", long(pixels), 50, status, s);
  if (!continuation) {
    if (c.noWrap) EmitTag(true, " %s", 51, status, s);
    if (c.align == 2 || (c.align == 5 && c.alignSub == 2)) EmitTag(true, " %s\"RIGHT\"", 47, status, s);
    else if (c.align == 3) EmitTag(true, " %s\"CENTER\"", 47, status, s);
    else if (c.align == 4) EmitTag(true, " %s", 46, status, s);
    if (c.valign != 0 && c.valign != t.rowValign) {
      if (c.valign == 1) EmitTag(true, " %s\"TOP\"", 49, status, s);
      else if (c.valign == 2) EmitTag(true, " %s\"BOTTOM\"", 49, status, s);
      else if (c.valign == 3 && t.rowValign != 0) EmitTag(true, " %s\"MIDDLE\"", 49, status, s);
    }
  }
  if (c.hasBackground)
    EmitTagColour(true, " %s\"#%2.2X%2.2X%2.2X\"", c.background, 0xFFFFFF, 37, status, s);
  // Columns whose edge the running width reaches or passes.
  uint64_t before = t.running, edge = 0;
  t.running += twips;
  long span = 0;
  for (uint32_t w : t.columns) {
    edge += w;
    if (edge > before && edge <= t.running) ++span;
  }
  if (t.columns.empty() && c.spanWithoutWidths) span = long(c.columnCount);
  if (span > 1) EmitTagNumber(true, " %s\"%d\"", span, 43, status, s);
  if (c.rowSpan > 0) EmitTagNumber(true, " %s\"%d\"", long(c.rowSpan) + 1, 57, status, s);
  if (c.height > 0) EmitTagNumber(true, " %s\"%d\"", c.height, 45, status, s);
  EmitRaw(">", status, s);
  t.headerBold = c.header && !continuation && EmitTag(true, "<%s>", 4, status, s);
}

void CloseCell(bool empty, uint32_t& status, WriterState& s, TableState& t) {
  if (!t.cellOpen) return;
  if (empty) EmitRaw(NbspText(s), status, s);
  CloseFormatting(status, s);
  if (t.headerBold) EmitTag(false, "<%s>", 4, status, s);
  t.headerBold = false;
  EmitTag(false, "<%s>", t.cellEntry, status, s);
  if ((t.cellEntry == 44 || t.cellEntry == 48) && !t.cellStarts.empty()) t.cellStarts.pop_back();
  t.cellOpen = false;
}

void OpenFrame(int width, int alignment, uint32_t& status, WriterState& s, std::vector<TableState>& stack) {
  EmitLineBreak(status, s);
  TableState t;
  t.kind = 0;  // marks a frame
  if (TagAllowed(80, s.flavour) && TagAllowed(71, s.flavour)) {
    if (EmitTag(true, "<%s", 71, status, s)) {
      EmitTag(true, " %s\"", 80, status, s);
      EmitFormatted("width: %upx;", uint16_t(width < 0 ? 0 : width > 0xFFFF ? 0xFFFF : width), status, s);
      EmitRaw("\">", status, s);
      t.tablesWritten = -1;  // a DIV
    }
    stack.push_back(t);
    return;
  }
  if (EmitTag(true, "<%s", 36, status, s)) {
    t.tablesWritten = 1;
    EmitTag(true, " %s", 58, status, s);
    if (alignment == 2) EmitTag(true, " %s\"RIGHT\"", 61, status, s);
    else if (alignment == 3) EmitTag(true, " %s\"CENTER\"", 61, status, s);
    if (width > 0) EmitTagNumber(true, " %s\"%d\"", width, 75, status, s);
    EmitRaw(">", status, s);
    OpenRow(0, status, s, t);
    CellSpec c;
    c.columnCount = 0;
    OpenCell(c, true, status, s, t);
  }
  stack.push_back(t);
}

void CloseFrame(uint32_t& status, WriterState& s, std::vector<TableState>& stack) {
  if (stack.empty()) return;
  TableState& t = stack.back();
  CloseFormatting(status, s);
  if (t.tablesWritten < 0) {
    EmitTag(false, "<%s>", 71, status, s);
  } else if (t.tablesWritten > 0) {
    CloseCell(false, status, s, t);
    t.rowWritten = true;
    CloseRow(status, s, t);
    EmitTag(false, "<%s>", 36, status, s);
  }
  EmitLineBreak(status, s);
  stack.pop_back();
}

}  // namespace pc
