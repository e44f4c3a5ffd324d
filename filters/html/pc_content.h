// The content side of the HTML export filter: the state that the element dispatcher
// (pc_elements.cpp), the element scan (pc_scan.cpp), the body converter (pc_body.cpp),
// notes and page parts (pc_notes.cpp), properties (pc_props.cpp) and counters
// (pc_counters.cpp) share for one export. The document's items are read from the chunker
// once; the per-kind element lists fill lazily as requests ask for later elements.
// Writing goes through the HTML writer (pc_blocks.h, pc_structure.h).
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pc_cells.h"  // kNoItem
#include "pc_numbering.h"
#include "pc_state.h"
#include "pc_structure.h"

namespace pc {

constexpr KVXSTATUS kNotFound = 37;
constexpr KVXSTATUS kNotThere = 25;
constexpr uint32_t kFiller = 0x80000000u;  // a heading entry filled in for a skipped level

// Request bits of the dispatcher.
constexpr uint32_t kReqExists = 1, kReqName = 2, kReqWrite = 4, kReqLink = 8;

// Item kinds and group codes read here (the framework's forms beside the ones of the
// element tree).
constexpr uint32_t kItemText = 7, kItemCharAttr = 8, kItemFontSize = 9, kItemFont = 10, kItemTableStart = 0x10,
                   kItemTableEnd = 0x11, kItemCellStart = 0x12, kItemLayout = 0x14, kItemSpecial = 0x18,
                   kItemDocCharset = 0x19, kItemGraphic = 0x1A, kItemParaStyle = 0x1C, kItemField = 0x1F,
                   kItemPagePartRef = 0x2B, kItemNoteRef = 0x2C, kItemPagePartDef = 0x2F, kItemNoteSettings = 0x30,
                   kItemColour = 60, kItemBackground = 61, kItemOffset = 94, kItemString = 0x5A, kItemCharset2 = 0x7B, kItemOpen = 0x43, kItemClose = 0x44;
constexpr uint32_t kBreakPara = 1, kBreakRow = 0x13, kBreakCell = 0x14, kBreakLine = 0x16, kBreakPage = 0x17,
                   kBreakSection = 0xFE;
constexpr uint32_t kGroupSkip = 0x20000000u, kGroupIndexEntry = 0x200C0000u, kGroupOutline = 0x160008u,
                   kGroupOutline2 = 0x20160008u, kGroupBookmark = 0x80020008u, kGroupBookmarkKvx = 0x20000002u,
                   kGroupLinkKvx = 0x20000001u, kGroupLink12 = 0x8003000Cu, kGroupLink16 = 0x801D0010u,
                   kGroupListDef = 0xA008001Cu, kGroupNote = 0xA00A0000u, kGroupProperty = 0xA0010004u,
                   kMarkFootnote = 0x80050000u, kMarkEndnote = 0x80070000u, kMarkAnnotation = 0x80060000u;

// The element lists.
enum ListKind : int {
  kTables, kGraphics, kFootnotes, kEndnotes, kAnnotations, kComments, kOthernotes, kHeaders, kFooters,
  kWatermarks, kBookmarks, kIndexEntries, kSeparators, kListCount
};

struct ChunkItem {
  uint32_t id, kind, a, b, c;
};

class ChunkerAttrs;  // pc_chunkattrs.h

struct ContentState {
  bool loaded = false;
  KVXSTATUS load_status = 0;
  std::vector<ChunkItem> items;
  std::vector<uint32_t> close_of;  // position of a group open's close (items.size() when none)
  std::vector<std::pair<uint32_t, uint32_t>> sections;  // first item id, type
  // The attribute gatherer of the body converter (styles resolved and definitions found
  // once per export), made on first use.
  std::shared_ptr<ChunkerAttrs> attrs;
  std::map<uint32_t, int> style_kinds;  // style id: 0 character, 1 paragraph, -1 other or none
  std::map<uint32_t, uint32_t> list_kinds;  // list style id: its list kind
  std::map<uint32_t, uint32_t> marker_kinds;  // marker group id: CheckListMarker's answer
  // Marker group id: its open item and scope end (kNoItemId when there is no such group).
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> marker_groups;

  // Element scan.
  size_t scan_pos = 0;
  std::vector<uint32_t> lists[kListCount];
  std::vector<uint32_t> headings[2][9];
  int heading_mode = 0;
  bool outline_groups = false;  // the 0x160008 form was met
  std::vector<std::pair<uint32_t, int>> outline_open;  // open outline groups: item id, level
  int last_level[2] = {0, 0};
  bool candidate = false, candidate_text = false;
  int candidate_level = 0;
  uint32_t candidate_id = 0;
  uint32_t charset = 0x30100;
  bool charset_found = false, charset_settled = false;
  std::vector<std::pair<uint32_t, uint32_t>> defs;  // page-part definitions: id, kind bits
  uint32_t layout[2] = {0, 0};
  bool layout_seen = false, layout_differ = false;

  // Writer and converter.
  std::vector<TableState> tables;
  std::vector<std::pair<uint32_t, uint32_t>> marks;  // open marks: letter, number
  uint32_t first_footnote = kNoItem;
  std::map<uint32_t, int64_t> numbering;  // fields outside numbered paragraphs: by list level
  NumberingState numbers;  // numbered paragraphs: the last one and the store
  std::u16string name;  // the last anchor name made
  std::map<std::u16string, uint32_t> bookmark_ids;  // by name (first of a name), made on first use
  bool bookmarks_named = false;
};

ContentState& content(Export& x);
// Reads the document's items once; the status of a failed read.
KVXSTATUS load_items(Export& x, ContentState& c);
// Position of the first item whose id is at or above id.
size_t position_of(const ContentState& c, uint32_t id);
// Type of the section that holds the item at pos.
uint32_t section_type_at(const ContentState& c, size_t pos);
// The range of section n (1-based): first and end positions; false when there is none.
bool section_range(const ContentState& c, int32_t n, size_t* first, size_t* end);

// ---- Dispatcher (pc_elements.cpp) ----
// One request over an element path: 0 when the element exists (and was written for
// kReqWrite), 37 when it does not, 25 for a leaf that is not there; the anchor name of a
// name request is left in content(x).name.
KVXSTATUS element_request(Export& x, const PathRec& p, uint32_t request, KVXIO* out, uint32_t flags);

// ---- Element scan (pc_scan.cpp) ----
// Scans on until list holds n entries (0: to the end); 0 found, 37 not.
KVXSTATUS scan_for(ContentState& c, int list, size_t n);
// Scans to the end and settles the heading mode (2 when nothing settled it).
void settle_headings(ContentState& c);
// The ordinal of the entry of list at item id: entries below it + 1.
uint32_t ordinal_in(const std::vector<uint32_t>& list, uint32_t id);
// "table" + ordinal in lower-case hexadecimal.
std::u16string make_element_name(const char* prefix, uint32_t ordinal);
// "h" + level + "." + position + suffix of the heading at id, else "s1" + suffix.
std::u16string make_heading_name(ContentState& c, uint32_t id, const char* suffix);
// The heading level of the paragraph whose items run from position to stop (ids): the
// first heading start at or after position, when it lies in the paragraph and the headings
// come from paragraph outline levels, gives the outline level - 1 of the last paragraph
// style item of its paragraph (up to the first paragraph end, cell end or line break;
// skipped groups stepped over); otherwise 0. Headings from outline groups are left to
// their groups, so their mode and names stay as the scan settled them.
uint32_t NextHeadingLevel(ContentState& c, uint32_t position, uint32_t stop);
// The document character set (the scan's, else the first text run's).
uint32_t content_charset(Export& x, ContentState& c);

// ---- Body converter (pc_body.cpp) ----
constexpr uint32_t kNoAnchorsFlag = 0x80000000u, kNoTablesFlag = 4;
// Converts the items at positions [first, end) into out. mode 1: running text in an
// element block. name: "body" or "content" writes heading anchors; null none. anchor:
// the element's own anchor, queued at the start.
KVXSTATUS convert_body(Export& x, KVXIO* out, size_t first, size_t end, uint32_t flags, const char* name,
                       const std::u16string& anchor = u"");
// The writer of the export bound to out (configured on first use).
WriterState& content_writer(Export& x, KVXIO* out);
// The output-file link of the element at item id: empty when it is in the current file.
std::u16string file_link(Export& x, KVXIO* out, uint32_t id);
// The text of range 9 (names) units [first, first + count), at most max units.
std::u16string name_text(Export& x, uint32_t first, uint32_t count, uint32_t max);
// Writes 16-bit Unicode text as running text.
KVXSTATUS write_plain(Export& x, KVXIO* out, const std::u16string& text);

// ---- Notes and page parts (pc_notes.cpp) ----
// kind: the element code 0x83000001-0x83000008; reference: 0x84000004-0x84000006.
KVXSTATUS note_element(Export& x, KVXIO* out, uint32_t kind, int32_t n, size_t first, size_t end, uint32_t request,
                       uint32_t flags, uint32_t* item);
KVXSTATUS note_reference(Export& x, KVXIO* out, uint32_t kind, int32_t n, size_t first, size_t end,
                         uint32_t request);
KVXSTATUS note_separator(Export& x, KVXIO* out, uint32_t kind, size_t first, uint32_t request);
// The note text range of the note reference at pos; false when none.
bool note_text_range(const ContentState& c, size_t pos, size_t* first, size_t* end);
const char* note_prefix(int list);

// ---- Properties (pc_props.cpp) ----
// kind: 0x81000001-0x81000006 named, or -1 all / -4 others with n; request bit 2 names.
KVXSTATUS property_element(Export& x, KVXIO* out, int32_t kind, int32_t n, uint32_t request);

// ---- Counters, list styles, default section names (pc_counters.cpp) ----
// The counter text of number under the level record (nine words; word 8 the kind, bit
// 17 lower case, word 1 the bullet). flags bit 0: 8-bit in place. Returns the length.
uint32_t FUGenerateCounterNumber(const uint32_t level[9], uint32_t flags, uint16_t* out, uint32_t capacity,
                                 int64_t number);
// The list styles of the document, loaded one at a time: 13 level records of nine words.
struct ListStyleCache {
  KVXHANDLE chunker = 0;
  uint32_t loaded = kNoItem;
  uint32_t levels[13][9] = {};
};
// Loads the list style whose definition group (0xA008001C) has the id: the records of its
// levels 0-11 (items {29, ?, level, record unit}, 36 bytes each in range 3). 0, or the
// status of a failed read (0 also when no level was found; then nothing is cached).
KVXSTATUS CULoadListStyle(ListStyleCache& cache, uint32_t styleId);
// One level's record: 37 for a level above 12, a style id of -1, a style that cannot be
// loaded, and level 12 (which no definition fills; its record is zeroed). A level whose
// marker group (0xA0120000, id word 6) holds no numbering field shows its bullet (kind 8).
KVXSTATUS CULoadListLevelStyle(ListStyleCache& cache, uint32_t styleId, uint32_t level, uint32_t out[9]);
// The list kind of a list style: the third word of the 28-byte record its definition
// group (0xA008001C) names in range 3; 15 without a chunker or for id -1, 25 when the
// definition or its record cannot be read. Kind 1 lists are numbered by their levels.
uint32_t GetListStyleKind(KVXHANDLE chunker, uint32_t styleId);
// 1 when an item of kind 31 lies from first up to, not including, end; 0 otherwise.
int CURangeHasPutCounter(uint32_t first, uint32_t end, KVXHANDLE chunker);

// The section type's text, a blank and the number, appended within the buffer's size.
uint32_t FUGetDefaultSectionString(uint32_t number, uint32_t type, char* buffer, uint32_t size);

}  // namespace pc
