// Cell lookups of spreadsheet and database sections: the section's dimensions and column
// count, column widths and name ids, the item where a cell begins (through the cell range
// index and a cursor kept between calls), where it ends, the cell tag inside a line, the
// database field block and the n-th database cell format. Walks items through a small
// source interface over the framework's chunker; called by the sheet and database writer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "filters/common/kvx_abi.h"

namespace pc {

inline constexpr uint32_t kNoItem = 0xFFFFFFFFu;
inline constexpr KVXSTATUS kCellNotFound = 37;

// Items of the framework's streams: words[0] is the kind, words[1..3] its fields.
class SheetItemSource {
 public:
  virtual ~SheetItemSource() = default;
  virtual KVXSTATUS item(uint32_t stream, uint32_t id, uint32_t words[4]) = 0;
  // The id of the index-th item of a stream (stream 1: sections, stream 15: cell ranges).
  virtual KVXSTATUS itemId(uint32_t stream, uint32_t index, uint32_t* id) = 0;
  virtual KVXSTATUS nextId(uint32_t stream, uint32_t id, uint32_t* next) = 0;
  // The first and last item ids of a section in stream 0.
  virtual KVXSTATUS sectionInfo(uint32_t section, uint32_t* first, uint32_t* last) = 0;
};

struct SheetSectionParams {
  uint32_t section = 0, dim1 = 0, dim2 = 0, blockStart = kNoItem, countGiven = 0, columns = 0, countedColumns = 0;
};

struct SheetCellCursor {
  uint32_t firstRange = kNoItem, range = kNoItem, rangeFirstCell = 0, rangeCells = 0, rangeFirstItem = kNoItem;
  uint32_t scanItem = kNoItem, scanCell = 0, columns = 0, countedColumns = 0;
  uint32_t section = kNoItem, dim1 = 0, dim2 = 0, countGiven = 0, lastItem = kNoItem, blockStart = kNoItem;
};

KVXSTATUS CUGetSSSectionParams(uint32_t section, SheetSectionParams* params, SheetItemSource& src);
// One width (or name id) per column item, at most capacity of them; *count gets the number
// written. 37 when the section ends before a column or field block.
KVXSTATUS CUGatherSSDBCellWidths(uint32_t firstItem, uint32_t* widths, size_t capacity, size_t* count,
                                 SheetItemSource& src);
KVXSTATUS CUFindSSDBCellNameIds(uint32_t firstItem, uint32_t* names, size_t capacity, size_t* count,
                                SheetItemSource& src);
uint32_t CUGetSSCellBeginId(SheetCellCursor* cursor, uint32_t section, uint32_t first, uint32_t second,
                            SheetItemSource& src);
uint32_t CUFindSSDBCellEndId(uint32_t firstItem, SheetItemSource& src);
uint32_t CUFindSSCellTagInLineId(uint32_t firstItem, SheetItemSource& src);
uint32_t CUFindDBStartFieldInfoId(uint32_t firstItem, uint32_t lastItem, SheetItemSource& src);
uint32_t CUGetDBCellFormatId(uint32_t firstItem, uint32_t n, SheetItemSource& src);

}  // namespace pc
