// Cell lookups of spreadsheet and database sections (see pc_cells.h). Every walk reads one
// item at a time and stops at the section's end item (kind 0), so damaged counts and runs
// cannot carry a walk past its section.
#include "pc_cells.h"

namespace pc {
namespace {

bool IsCellStart(uint32_t kind) { return kind >= 70 && kind <= 74; }

// Reads the item at id and moves id to the next one.
KVXSTATUS ReadNext(SheetItemSource& src, uint32_t* id, uint32_t words[4]) {
  if (KVXSTATUS s = src.item(0, *id, words)) return s;
  return src.nextId(0, *id, id);
}

// Walks the first column or field block from firstItem, handing each column item on.
template <typename Take>
KVXSTATUS WalkColumns(uint32_t firstItem, SheetItemSource& src, Take take) {
  uint32_t id = firstItem, w[4];
  for (;;) {
    if (KVXSTATUS s = ReadNext(src, &id, w)) return s;
    if (w[0] == 0) return kCellNotFound;
    if (w[0] == 76 || w[0] == 80) break;
  }
  uint32_t column = w[0] == 76 ? 77 : 82, end = w[0] == 76 ? 78 : 81;
  for (;;) {
    if (KVXSTATUS s = ReadNext(src, &id, w)) return s;
    if (w[0] == end || w[0] == 0) return 0;
    if (w[0] == column) take(w);
  }
}

uint32_t Width(const uint32_t w[4]) {
  if (w[3] & 1) return w[1] * 120;
  if (w[3] & 2) return w[1];
  return 0;
}

}  // namespace

KVXSTATUS CUGetSSSectionParams(uint32_t section, SheetSectionParams* p, SheetItemSource& src) {
  *p = SheetSectionParams{};
  p->section = section;
  uint32_t entry, w[4];
  if (KVXSTATUS s = src.itemId(1, section, &entry)) return s;
  if (KVXSTATUS s = src.item(1, entry, w)) return s;
  uint32_t id = w[3];
  for (;;) {
    uint32_t at = id;
    if (KVXSTATUS s = ReadNext(src, &id, w)) return s;
    if (w[0] == 0) return 0;
    if (((w[0] == 76 && !p->countGiven) || w[0] == 80) && p->blockStart == kNoItem) p->blockStart = at;
    if (w[0] == 84) {
      p->dim1 = w[1];
      p->dim2 = w[2];
    } else if (w[0] == 75) {
      p->countGiven = 1;
      p->columns = w[2];
      p->countedColumns = p->columns;
    } else if ((w[0] == 76 && !p->countGiven) || w[0] == 80) {
      bool sheet = w[0] == 76;
      uint32_t counted = 0;
      for (;;) {
        if (KVXSTATUS s = ReadNext(src, &id, w)) return s;
        if (w[0] == 0) return 0;
        if (w[0] == (sheet ? 78u : 81u)) break;
        if (w[0] == (sheet ? 77u : 82u)) ++counted;
      }
      p->columns = sheet ? counted : p->columns + counted;
      p->countedColumns = p->columns;
    }
  }
}

KVXSTATUS CUGatherSSDBCellWidths(uint32_t firstItem, uint32_t* widths, size_t capacity, size_t* count,
                                 SheetItemSource& src) {
  *count = 0;
  return WalkColumns(firstItem, src, [&](const uint32_t w[4]) {
    if (*count < capacity) widths[(*count)++] = Width(w);
  });
}

KVXSTATUS CUFindSSDBCellNameIds(uint32_t firstItem, uint32_t* names, size_t capacity, size_t* count,
                                SheetItemSource& src) {
  *count = 0;
  return WalkColumns(firstItem, src, [&](const uint32_t w[4]) {
    if (*count < capacity) names[(*count)++] = w[2];
  });
}

namespace {

bool RebuildCursor(SheetCellCursor* c, uint32_t section, SheetItemSource& src) {
  *c = SheetCellCursor{};
  SheetSectionParams p;
  if (CUGetSSSectionParams(section, &p, src)) return false;
  uint32_t first, last;
  if (src.sectionInfo(section, &first, &last)) return false;
  c->columns = p.columns;
  c->countedColumns = p.countedColumns;
  c->dim1 = p.dim1;
  c->dim2 = p.dim2;
  c->countGiven = p.countGiven;
  c->blockStart = p.blockStart;
  c->lastItem = last;
  uint32_t range, w[4];
  if (src.itemId(15, 0, &range)) return false;
  for (;;) {
    if (src.item(15, range, w)) return false;
    if ((w[1] >> 16) >= (first >> 16)) break;
    if (src.nextId(15, range, &range)) return false;
  }
  if (w[1] > last) return false;
  c->firstRange = c->range = range;
  c->rangeFirstCell = 0;
  c->rangeCells = w[2];
  c->rangeFirstItem = c->scanItem = w[1];
  c->scanCell = 0;
  c->section = section;
  return true;
}

}  // namespace

uint32_t CUGetSSCellBeginId(SheetCellCursor* c, uint32_t section, uint32_t first, uint32_t second,
                            SheetItemSource& src) {
  if (c->section != section && !RebuildCursor(c, section, src)) {
    c->section = kNoItem;
    return kNoItem;
  }
  uint64_t index;
  if (!c->countGiven) {
    if (second >= c->columns) return kNoItem;
    index = uint64_t(first) * c->columns + second;
  } else {
    if (first >= c->columns) return kNoItem;
    index = uint64_t(second) * c->columns + first;
  }
  uint32_t w[4];
  if (c->rangeFirstItem == kNoItem || index < c->rangeFirstCell) {
    // Restart at the first range of the section.
    if (src.item(15, c->firstRange, w)) return kNoItem;
    c->range = c->firstRange;
    c->rangeFirstCell = 0;
    c->rangeCells = w[2];
    c->rangeFirstItem = c->scanItem = w[1];
    c->scanCell = 0;
  }
  while (index >= uint64_t(c->rangeFirstCell) + c->rangeCells) {
    uint32_t next;
    if (src.nextId(15, c->range, &next) || src.item(15, next, w)) return kNoItem;
    // A long section spans several chunks of ids, so only the section's end bounds a range.
    if (w[1] > c->lastItem) {
      c->rangeFirstItem = kNoItem;
      return kNoItem;
    }
    c->rangeFirstCell += c->rangeCells;
    c->rangeCells = w[2];
    c->range = next;
    c->rangeFirstItem = c->scanItem = w[1];
    c->scanCell = c->rangeFirstCell;
  }
  if (c->scanCell > index) {
    c->scanItem = c->rangeFirstItem;
    c->scanCell = c->rangeFirstCell;
  }
  for (;;) {
    uint32_t id = c->scanItem;
    if (src.item(0, id, w)) return kNoItem;
    if (w[0] == 0) return kNoItem;
    uint64_t cells = IsCellStart(w[0]) ? 1 : w[0] == 87 ? (w[1] >> 16) : 0;
    if (cells && index < uint64_t(c->scanCell) + cells) return id;
    uint64_t nextCell = uint64_t(c->scanCell) + cells;
    if (nextCell > 0xFFFFFFFFu) return kNoItem;
    uint32_t next;
    if (src.nextId(0, id, &next)) return kNoItem;
    c->scanCell = uint32_t(nextCell);
    c->scanItem = next;
  }
}

namespace {

// From the item after a group start at id, moves past the matching group end.
bool SkipGroup(SheetItemSource& src, uint32_t* id) {
  uint32_t w[4];
  for (int depth = 1; depth > 0;) {
    if (ReadNext(src, id, w)) return false;
    if (w[0] == 67) ++depth;
    if (w[0] == 68) --depth;
    if (w[0] == 0) return false;
  }
  return true;
}

}  // namespace

uint32_t CUFindSSDBCellEndId(uint32_t firstItem, SheetItemSource& src) {
  uint32_t w[4], id, previous = firstItem;
  if (src.item(0, firstItem, w) || src.nextId(0, firstItem, &id)) return kNoItem;
  if (w[0] == 67 && ((w[1] >> 29) & 1) && !SkipGroup(src, &id)) return kNoItem;
  for (;;) {
    if (src.item(0, id, w)) return kNoItem;
    if (w[0] == 0 || w[0] == 45 || w[0] == 110 || IsCellStart(w[0]) || w[0] == 87) return previous;
    uint32_t next;
    if (src.nextId(0, id, &next)) return kNoItem;
    if (w[0] == 67) {
      if (((w[1] >> 29) & 1) && !SkipGroup(src, &next)) return kNoItem;
      // The item after a group counts as its own predecessor.
      previous = next;
    } else {
      previous = id;
    }
    id = next;
  }
}

uint32_t CUFindSSCellTagInLineId(uint32_t firstItem, SheetItemSource& src) {
  uint32_t id = firstItem, w[4];
  for (;;) {
    uint32_t at = id;
    if (ReadNext(src, &id, w)) return kNoItem;
    if (w[0] == 0 || IsCellStart(w[0]) || w[0] == 87) return kNoItem;
    if (w[0] == 67 && w[1] == 0x20130000u) return at;
  }
}

uint32_t CUFindDBStartFieldInfoId(uint32_t firstItem, uint32_t lastItem, SheetItemSource& src) {
  uint32_t id = firstItem, w[4];
  while (id <= lastItem) {
    uint32_t at = id;
    if (ReadNext(src, &id, w)) return kNoItem;
    if (w[0] == 80) return at;
    if (w[0] == 0) return kNoItem;
  }
  return kNoItem;
}

uint32_t CUGetDBCellFormatId(uint32_t firstItem, uint32_t n, SheetItemSource& src) {
  uint32_t id = firstItem, w[4], seen = 0;
  for (;;) {
    uint32_t at = id;
    if (ReadNext(src, &id, w)) return kNoItem;
    if (w[0] == 0) return kNoItem;
    if (w[0] == 83 && seen++ == n) return at;
  }
}

}  // namespace pc
