// List handling of the body converter: a numbered paragraph's list level record and marker
// kind (the paragraph walker's last step, with the paragraph's heading level), HTML lists
// opened and closed to an item's level, items whose marker is a text opened in their
// marker's formatting, and numbering fields written as list items or as counter text.
// Builds on the list styles and counters of pc_counters.cpp, the attribute gatherer, format
// changes (pc_format.h), the list writer of pc_structure.h and the numbering update of
// pc_numbering.h, which numbers each numbered paragraph as it starts; called by the body
// converter (pc_body.cpp).
#include <algorithm>
#include <cstring>
#include <iterator>

#include "pc_blocks.h"
#include "pc_body.h"
#include "pc_format.h"
#include "pc_numbering.h"
#include "pc_structure.h"

namespace pc::bodyconv {

namespace {

// A list level's record, looked up once per conversion (each lookup walks the stream).
bool level_record(Body& b, uint32_t style, uint32_t level, uint32_t rec[9]) {
  auto [at, fresh] = b.level_records.try_emplace({style, level});
  if (fresh) {
    if (b.list_cache.chunker == 0) b.list_cache.chunker = b.x.chunker;
    at->second[9] = CULoadListLevelStyle(b.list_cache, style, level, at->second.data()) == KVX_OK;
  }
  std::memcpy(rec, at->second.data(), 9 * sizeof(uint32_t));
  return at->second[9] != 0;
}

// The HTML list of a level record: numbers of its counter kind, or bullets of its shape.
ListSpec list_spec(const uint32_t rec[9]) {
  ListSpec l;
  uint32_t kind = rec[8] & 0xFFFF;
  bool lower = (rec[8] & 0x20000) != 0;
  if (kind == 2 || kind == 3) {
    l.kind = 2;
    l.type = kind == 2 ? (lower ? "a" : "A") : (lower ? "i" : "I");
  } else if (kind == 1 || (kind >= 4 && kind <= 10 && kind != 8)) {
    l.kind = 2;
    l.type = "1";
  } else {
    uint32_t bullet = rec[1] & 0xFFFF;
    l.type = bullet == 0x25E6 || bullet == 0x25CB || bullet == 'o' ? "CIRCLE"
             : bullet == 0x25AA || bullet == 0x25A0 || bullet == 0x25FE ? "SQUARE" : "DISC";
  }
  return l;
}

// The marker kind of a list paragraph that does not carry its own number: 8 when its
// level's marker group holds a text marker, else 0.
uint32_t marker_kind(Body& b, bool own_number) {
  if (b.para_style == kNoItem || b.para_level < 0 || own_number) return 0;
  auto kind = b.c.list_kinds.try_emplace(b.para_style, 0);
  if (kind.second) kind.first->second = GetListStyleKind(b.x.chunker, b.para_style);
  uint32_t rec[9] = {};
  if (kind.first->second != 1 || !level_record(b, b.para_style, uint32_t(b.para_level), rec)) return 0;
  // Asked for every item of a list, and a group the style index lacks is looked for
  // through the whole stream, so each group is checked once.
  auto marker = b.c.marker_kinds.try_emplace(rec[6], 0);
  if (marker.second) marker.first->second = CheckListMarker(b.x.chunker, rec[6]);
  return marker.first->second;
}

// The number a list item shows: the numbered paragraph's from the store, else its own.
int64_t item_number(const Body& b) { return b.para_numbered && b.para_has_number ? b.para_value : b.para_number; }

// Whether the paragraph from position p may be numbered: a list level (kind 93, a = 10)
// or a style application (a paragraph style may bring list fields) before its end.
bool numbering_candidate(const ContentState& c, size_t p, size_t end) {
  for (size_t q = p; q < end; ++q) {
    const ChunkItem& it = c.items[q];
    const bool ends = it.a == kBreakPara || it.a == 2 || it.a == kBreakRow || it.a == kBreakCell || it.a == kBreakLine;
    if (it.kind == 0 && ends) return false;
    if (it.kind == 0x401 || it.kind == kItemTableStart || it.kind == kItemTableEnd || it.kind == kItemCellStart ||
        (it.kind == 0x400 && q != p))
      return false;
    if ((it.kind == 93 && it.a == 10) || it.kind == kItemParaStyle) return true;
  }
  return false;
}

}  // namespace

KVXSTATUS WriteListMarkerFormat(Body& b, uint32_t group, int number) {
  // Looked up once per group: a group the style index lacks is searched for through the
  // whole stream.
  auto [found, fresh] = b.c.marker_groups.try_emplace(group, kNoItemId, kNoItemId);
  if (fresh && FindStyleItem(b.x.chunker, group, 0xA0120000u, 1, &found->second.first, &found->second.second) != KVX_OK)
    found->second = {kNoItemId, kNoItemId};
  const auto [first, last] = found->second;
  if (first == kNoItemId) {
    StartListItem(10, number, b.status, b.w);
    return KVX_OK;  // no marker group: the item in the formatting in force
  }
  // The marker's font: the run record with the paragraph's font and the marker group's.
  ChunkerAttrs& src = attrs_of(b);
  CharAttrRecord marker = b.run;
  WalkState ws;
  ws.item = b.para_first;
  // The group's own items: from the one after its open (a walk from the open would step
  // over the whole group).
  uint8_t open[16];
  uint32_t inner = kNoItemId;
  bool gathered = CHGetItem(b.x.chunker, KVXRANGE_ITEMS, first, open, &inner) == KVX_OK && inner != kNoItemId &&
                  CUGatherParaFontInfo(src, marker, ws) == KVX_OK && GatherCellFont(src, marker, 0, inner, last) == KVX_OK;
  // The writer's own formatting, put back after the item opens so that the item's text
  // goes on in the paragraph's formatting whatever the marker set (an attribute the
  // marker sets and the run record lacks would otherwise run on into the text).
  WriterState& s = b.w;
  const Body::CharState saved = Body::CharState::of(s);
  const uint32_t unit = s.lineUnit;
  KVXSTATUS st = KVX_OK;
  if (gathered) st = WriteFormatChange(marker, marker.flags & ~0x40000u, s);  // the marker keeps the text's set
  if (st == KVX_OK) st = StartListItem(10, number, b.status, s);
  saved.restore(s);
  s.lineUnit = unit;
  return st;
}

// The paragraph walker's last step: a paragraph of a numbered list (list kind 1) that
// does not carry its own number has its level's record loaded and its marker kind
// settled; then the heading level word from the heading lists.
void finish_paragraph(Body& b, WalkState& ws) {
  ws.finishParagraph = [&b, &ws](ParaAttrRecord& para) -> KVXSTATUS {
    b.para_marker = marker_kind(b, (para.flags & 0x1000) != 0);
    para.headingLevel = NextHeadingLevel(b.c, para.firstItem, ws.item);
    return KVX_OK;
  };
}

// Ends the open list items and lists (the paragraph of the last item first).
void close_lists(Body& b) {
  if (b.lists.empty() || b.plain) return;
  if (b.w.paraOpen) {
    end_para(b);
    BeginParagraph(0, 1, 0, 0, b.w);
  }
  while (!b.lists.empty()) {
    if (b.lists.back().item_open) EndListItem(false, b.status, b.w);
    EndList(b.status, b.w);
    b.lists.pop_back();
  }
}

void start_numbering(Body& b, size_t p, size_t end, bool again) {
  if (!again) {
    b.para_record = ParaAttrRecord{};
    b.para_numbered = b.para_has_number = false;
    b.para_value = -1;
  }
  if (!numbering_candidate(b.c, p, end)) return;
  WalkState ws;
  ws.item = b.c.items[p].id;
  ws.last = b.c.items[end - 1].id;
  if (GatherParagraph(attrs_of(b), b.para_record, ws) != KVX_OK || !NumberingMarked(b.para_record)) return;
  int32_t number = -1;
  bool has = false;
  KVXSTATUS st = UpdateNumbering(b.c.numbers, b.para_record, !ws.empty, &b.x.ledger, &number, &has);
  if (st != KVX_OK) {
    if (b.status == 0) b.status = st;
    return;
  }
  b.para_numbered = true;
  b.para_has_number = has;
  b.para_value = number;
}

// The numbering field that starts a list item's paragraph (the paragraph applied a list
// style and gave its level): the item is written as an HTML list item, in lists opened or
// closed to its level, and its marker is the list's own (the item's number goes to the
// list when it is not the next). False when the field is to be written as text: no list
// style, a level the style lacks, or text already written in the paragraph.
bool open_list_item(Body& b) {
  if (b.plain || b.para_style == kNoItem || b.para_level < 0 || b.w.paraOpen) return false;
  uint32_t rec[9] = {};
  if (!level_record(b, b.para_style, uint32_t(b.para_level), rec)) return false;
  ListSpec spec = list_spec(rec);
  const int64_t given = item_number(b);
  size_t depth = size_t(b.para_level) + 1;
  while (!b.lists.empty() &&
         (b.lists.size() > depth || (b.lists.size() == depth && b.lists.back().style != b.para_style))) {
    if (b.lists.back().item_open) EndListItem(false, b.status, b.w);
    EndList(b.status, b.w);
    b.lists.pop_back();
  }
  if (b.lists.size() == depth && b.lists.back().item_open) {
    EndListItem(false, b.status, b.w);
    b.lists.back().item_open = false;
  }
  while (b.lists.size() < depth) {
    uint32_t outer[9] = {};
    int level = int(b.lists.size());
    ListSpec l = level == b.para_level || !level_record(b, b.para_style, uint32_t(level), outer)
                     ? spec
                     : list_spec(outer);
    if (level == b.para_level && l.kind == 2 && given > 0 && given < 0x7FFFFFFF) l.start = int(given);
    StartList(l, b.status, b.w);
    b.lists.push_back({b.para_style, level, false});
  }
  int number = b.w.listStack.empty() ? 1 : b.w.listStack.back().next;
  if (spec.kind == 2 && given > 0 && given < 0x7FFFFFFF) number = int(given);
  // A marker settled as a text marker opens the item in the marker's own formatting.
  b.para_marker = marker_kind(b, b.para_number > 0);
  if (b.para_marker != 0) {
    KVXSTATUS st = WriteListMarkerFormat(b, rec[6], number);
    if (b.status == 0) b.status = st;
  } else {
    StartListItem(10, number, b.status, b.w);
  }
  b.lists.back().item_open = true;
  b.para_item = true;
  return true;
}

void numbering_field(Body& b, const ChunkItem& it) {
  if (it.a != 10) return;
  if (open_list_item(b)) return;
  int64_t value = b.para_value;
  if (b.para_numbered) {
    // A numbered paragraph's number is the store's; one without (no text, no level) has
    // none to write.
    if (!b.para_has_number) return;
  } else {
    // Outside numbered paragraphs the fields count by their own levels; one that carries
    // its own number restarts the count of its level there.
    uint32_t level = std::min<uint32_t>(it.b, 11);
    value = b.para_number > 0 && b.para_number < 0x7FFFFFFF ? b.para_number : b.c.numbering[level] + 1;
    b.c.numbering[level] = value;
    for (auto i = b.c.numbering.upper_bound(level); i != b.c.numbering.end(); ++i) i->second = 0;
  }
  // The counter of the paragraph's list level where its list style gives one, else the
  // field's own kind.
  uint32_t rec[9] = {};
  if (b.para_style == kNoItem || b.para_level < 0 || !level_record(b, b.para_style, uint32_t(b.para_level), rec)) {
    std::fill(std::begin(rec), std::end(rec), 0u);
    rec[1] = '*';  // no list record here: the plain bullet
    rec[8] = it.c == 0 ? 1 : it.c;
  }
  uint16_t text[512];
  uint32_t n = FUGenerateCounterNumber(rec, 0, text, 512, value);
  write_units(b, text, n, KVXCS_UNICODE);
}

}  // namespace pc::bodyconv
