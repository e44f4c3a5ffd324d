// Attribute gathering over the export's chunker: the style definitions (identified groups
// 0xA008001C of range 16, each with its 28-byte record in range 3), attribute items,
// range-3 blocks and font names as an AttrSource, with the style cache over them; and the
// walkers and scanners of the item stream (group skipping, run and paragraph ends, the
// paragraph walker, leading attributes, text frame markers, scope ends, property groups,
// list markers). Builds on DecodeAttrs (pc_attrs.h), the style cache (pc_styles.h) and the
// font names of pc_fontnames.h; the element converters call it.
//
// A style definition: a group open {0x43, 0xA008001C, style id, c} whose c is the first
// byte in range 3 of its record {kind, word 3, word 4 (outline level), parent id, 0, 0, 0}
// (u32 each, little-endian; kind 0 character, 1 paragraph, 4 list; parent -1 none); the
// group's items are the definition, up to its close.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pc_styles.h"

namespace pc {

constexpr uint32_t kNoItemId = 0xFFFFFFFFu;
constexpr uint32_t kStyleGroup = 0xA008001Cu;
constexpr uint32_t kStyleRecordBytes = 28;

class ChunkerAttrs : public AttrSource, public StyleDefs {
 public:
  explicit ChunkerAttrs(KVXHANDLE chunker, uint32_t slotCount = 200);
  bool definition(uint32_t styleId, StyleDef& def) override;
  KVXSTATUS item(uint32_t id, uint32_t words[4], uint32_t* next) override;
  KVXSTATUS block(uint32_t id, uint32_t* words, uint32_t count) override;
  KVXSTATUS style(uint32_t styleId, uint32_t context, const StyleAttrRecord** record) override;
  std::u16string fontName(uint32_t fontId) override;
  StyleCache& cache() { return cache_; }
  KVXHANDLE chunker() const { return chunker_; }

 private:
  KVXHANDLE chunker_;
  StyleCache cache_;
  // Reads a style's definition from the stream.
  bool read_definition(uint32_t styleId, StyleDef& def);
  // The open of a style's group, as FindStyleItem(chunker, styleId, kStyleGroup) finds it.
  KVXSTATUS find_style_group(uint32_t styleId, uint32_t* open);

  // Style ids without a definition: a miss walks the stream, so it is walked once.
  std::unordered_set<uint32_t> missing_;
  // Definitions read so far: the style cache gathers list styles anew at every use, and
  // a document's model never changes, so each is read from the stream once.
  std::unordered_map<uint32_t, StyleDef> definitions_;
  // Style groups by id, gathered at the first look-up: from the group index, and from the
  // stream after the index's last style group.
  bool style_groups_read_ = false, style_groups_ok_ = true;
  std::unordered_map<uint32_t, uint32_t> style_groups_, walked_style_groups_;
};

// The id after the close that matches the group whose first inner item is id (nested
// groups skipped), kNoItemId when an item cannot be read or the stream ends first. Iterative.
uint32_t SkipGroup(KVXHANDLE chunker, uint32_t id);

// Backwards from the item before id to the open of the group that holds id (so from a
// group close to its own open), groups closed on the way stepped over; 37 when the stream
// begins first or an item cannot be read.
KVXSTATUS SkipGroupBack(KVXHANDLE chunker, uint32_t id, uint32_t* open);

// The first item from first up to last that ends a run: a break of type 1, 2, 19, 20, 22
// (unless flags bit 1), a text run (7), kinds 26 and 224, a kind 24 other than 2, 4, 5,
// 12, 13; groups with bit 29 and 0x170000/0x180000 are skipped. 0 at the end of the range.
uint32_t FindParagraphEnd(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t flags);

// The walk of a paragraph: items from first to last.
struct WalkState {
  uint32_t item = kNoItemId;
  uint32_t last = kNoItemId;
  bool empty = true, hasContent = false;
  uint32_t largestFont = 0;
  int32_t left = 0, right = 0;  // positions of kind 20
  bool positions = false;
  // The document's margin words (the smallest page layout values the element scan met):
  // the positions of kind 20 are measured from them.
  int32_t marginLeft = 0, marginRight = 0;
  // The walker's last step, the element side's: a list item's level style and marker kind
  // (CheckListMarker over the level's marker group), then the heading level word from the
  // heading lists. Its status is the walker's; unset, the record stays as gathered.
  std::function<KVXSTATUS(ParaAttrRecord&)> finishParagraph;
};

// The paragraph walker: decodes the paragraph's attribute items into para (and scratch
// character and frame records) up to the paragraph's end; ws.item ends at the stop item.
// The positions of kind 20 less the margin words (at least 0) become the extra indents.
KVXSTATUS GatherParagraph(ChunkerAttrs& src, ParaAttrRecord& para, WalkState& ws);

// Decodes the attributes that lead a run (kinds 8-10, 25, 28, 60-65, 94, 95, 119) into
// chr; the id of the first item that is not one of them (kNoItemId at the end).
uint32_t GatherLeadingAttrs(ChunkerAttrs& src, CharAttrRecord& chr, WalkState& ws);

// The id of the first text frame marker (kind 804) from first to last whose 40-byte
// frame record (range 7, flags in its fifth word) shares a flag; kNoItemId when none.
uint32_t CUFindTextFrameId(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t flags);

// Decodes every attribute item from first to last into para and chr (kinds 8-10, 12-14,
// 20-23, 25, 28-30, 56-65, 93-95, 97-103, 119), groups with bit 29 skipped.
KVXSTATUS GatherRunAttrs(ChunkerAttrs& src, ParaAttrRecord& para, CharAttrRecord& chr, uint32_t first, uint32_t last);

// The font of a paragraph for the list loader: chr's flags cleared, then only kinds 9, 28,
// 60 and 95 decoded from ws.item to ws.last; it stops at a paragraph break (kind 0, a = 1),
// the ends of a scope and the group closes 0xA00A0000 and 0xA0120000. 0.
KVXSTATUS CUGatherParaFontInfo(ChunkerAttrs& src, CharAttrRecord& chr, WalkState& ws);

// Style applications and frame words only (kinds 28, 147-154) from ws.item to ws.last.
KVXSTATUS GatherRunLimited(ChunkerAttrs& src, FrameAttrRecord& frame, WalkState& ws);

// The left and right indents (low and high 16 bits of *out) of a paragraph: with flags
// 0x4000 the style's where its paragraph flags have 0x10 (left) and 0x40 (right); flags
// 0x10 and 0x40 take the given pair's low and high halves instead.
KVXSTATUS StyleIndents(ChunkerAttrs& src, uint32_t flags, uint32_t styleId, uint32_t given, uint32_t* out);

// Forward scanners; each skips groups with bit 29 and answers kNoItemId at the end of its
// range (last included; kNoItemId: the stream's end).
uint32_t FindTabStop(KVXHANDLE chunker, uint32_t tabKind, uint32_t first, uint32_t last);    // kind 24, a = tabKind
uint32_t FindGroupOpen(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t code);     // group open a = code
uint32_t FindBreak(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t breakType);    // kind 0, a = type
// FindTabStop and FindGroupOpen also stop at the close of a group with bit 29 (the end of
// the scope they started in).

// 1 when item lies below end, can be read and is not a line break (kind 0, a = 2); else
// 0, also when it cannot be read.
int NextItemIsText(KVXHANDLE chunker, uint32_t item, uint32_t end);

// 1 and the group's code when the item is a group open, else 0 and code 0.
int FindGroupCode(KVXHANDLE chunker, uint32_t id, uint32_t* code);

// Backwards from start (excluded) to a break of the type or a group open with bit 29;
// groups closed with bit 29, 0x170000 or 0x180000 are stepped over whole.
uint32_t FindBreakBack(KVXHANDLE chunker, uint32_t start, uint32_t breakType);

// The first text run inside the group 0x201C0000 from first on, as bytes (a character
// above 0xFF as its two bytes, high first), at most 512 bytes, never a character cut.
// 37 when a break of type limit, the group's close or the close of a group 0xA0010004
// comes first.
KVXSTATUS FindFrameText(KVXHANDLE chunker, uint32_t first, uint32_t limit, std::string* text);

// Frame properties: from the item after first, kind-193 items until kind 194; a is the
// property bit (ORed into mask): 1 -> word 3, 2 -> 2, 4 -> 9, 8 -> 4 and 5, 16 -> 8 and 7,
// 64 -> 10, 128 -> 1, 256 -> 11 and 12, 512 -> 6 (from b, then c). 37 when no bit came.
struct FrameProps {
  uint32_t mask = 0;
  uint32_t words[13] = {};
};
KVXSTATUS ReadFrameProps(KVXHANDLE chunker, uint32_t first, FrameProps* out);

// Nesting over range 14 (kind 16 opens, 17 closes, word 3 the position): the position of
// the outermost open whose matching close lies after the position; of the close that ends
// the nesting open at the position. kNoItemId when none.
uint32_t FindEnclosingOpen(KVXHANDLE chunker, uint32_t position);
uint32_t FindMatchingClose(KVXHANDLE chunker, uint32_t position);

// The table scan: from the table start that encloses an item (kind 16) to its end (kind
// 17), one row entry per row: its cell count (breaks of type 20), the first values of
// kinds 18 and 19 in it; a break of type 19 ends a row. Nested tables are stepped over.
// Also the first row that ends at or after the given item and the widest row's count.
struct TableRowEntry {
  uint16_t cells = 0;
  uint32_t first18 = 0xFFFFFFFFu, first19 = 0xFFFFFFFFu;
};
struct TableScan {
  uint32_t start = 0xFFFFFFFFu, end = 0xFFFFFFFFu;
  std::vector<TableRowEntry> rows;
  uint32_t rowOfItem = 0xFFFFFFFFu;
  uint16_t widest = 0;
};
// 37 when the item is in no table; a failed read is passed on.
KVXSTATUS ScanTable(KVXHANDLE chunker, uint32_t item, TableScan* scan);
// The row item (range 10, by its index) and a cell item of that row (range 11, the cell
// counted from the row's first cell); 15 when the row or the cell is out of range.
KVXSTATUS TableRowItem(KVXHANDLE chunker, uint32_t row, uint32_t words[4]);
KVXSTATUS TableCellItem(KVXHANDLE chunker, uint32_t row, uint32_t cell, uint32_t words[4]);

}  // namespace pc

namespace pc {

// The id of the last item of the scope that holds id: the item just before the group
// close that ends it. Groups opened on the way are stepped over whole; when id is itself
// a group open, the last item inside that group. kNoItemId when the stream ends first.
uint32_t FindScopeEnd(KVXHANDLE chunker, uint32_t id);

// A group found by code and id word (kind 67 {67, code, id, c}): first through the
// identified groups of range 16, then by walking the stream on from the last of them of
// that code (from the stream's start when the index holds none of the code).
// *item is the group open, *end the last item of the group (FindScopeEnd); with flags
// bit 0 the open's four words go to words. 37 for id kNoItemId or when none is found.
KVXSTATUS FindStyleItem(KVXHANDLE chunker, uint32_t id, uint32_t code, uint32_t flags, uint32_t* item, uint32_t* end,
                        uint32_t words[4] = nullptr);

// The first property group (0xA0010004) from first on whose id word equals *id, or the
// first one at all when *id is 0 (its id word then goes to *id); *item is its open.
// Groups with bit 29 of other codes are stepped over. 37 when a break of type limit
// comes first or the stream ends.
KVXSTATUS FindIdGroup(KVXHANDLE chunker, uint32_t first, uint32_t limit, uint32_t* item, uint32_t* id);

// The marker kind of a list level whose marker group (0xA0120000) has the id word
// group: 8 (a text marker) when a text run comes before the group's first separator
// (kind 31) or its close, else 0; 0 too when the group cannot be found.
uint32_t CheckListMarker(KVXHANDLE chunker, uint32_t group);

// The font of one part of a list marker: like CUGatherParaFontInfo (kinds 9, 28, 60 and
// 95 from first to last, the same stops), but it adds to chr as it stands and stops at
// the separator (kind 31) that brings their count to the given number (the first
// separator for 0 and 1). 0.
KVXSTATUS GatherCellFont(ChunkerAttrs& src, CharAttrRecord& chr, uint32_t separators, uint32_t first, uint32_t last);

}  // namespace pc
