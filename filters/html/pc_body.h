// The body converter's state, shared by its two halves: pc_body.cpp (runs, paragraphs,
// tables, links and marks) and pc_lists.cpp (list items, their level records and the
// numbering fields, and the paragraph walker's last step). Builds on the content state
// (pc_content.h), the attribute gatherer (pc_chunkattrs.h) and the writer; nothing outside
// the body converter includes it.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pc_blocks.h"
#include "pc_chunkattrs.h"
#include "pc_content.h"
#include "pc_stylesheet.h"

namespace pc::bodyconv {

// One open table: what the table scan found and where the writing stands.
struct TableRun {
  uint32_t rows = 0, cols = 0;
  bool row_spans = false;
  bool row_open = false, cell_open = false, cell_text = false;
};

struct Body {
  // The writer's recorded character state: the style values and flags, the wanted
  // character codes and the font tag's face, size and colour.
  struct CharState {
    uint32_t flags, size, colour, background;
    std::string face;
    uint16_t codes;
    WriterState::FontTag font;

    static CharState of(const WriterState& s) {
      return {s.styleFlags, s.styleSize, s.styleColour, s.styleBackground, s.styleFace, s.wantedCodes, s.fontWanted};
    }
    void restore(WriterState& s) const {
      s.styleFlags = flags;
      s.styleSize = size;
      s.styleColour = colour;
      s.styleBackground = background;
      s.styleFace = face;
      s.wantedCodes = codes;
      s.fontWanted = font;
    }
  };
  Export& x;
  ContentState& c;
  WriterState& w;
  uint32_t flags;
  bool plain;  // tags suppressed: text only
  bool blank = false;  // plain text: a paragraph ended, a blank goes before more text
  bool wrote = false;  // plain text was written
  uint32_t status = 0;
  std::vector<TableRun> runs;
  std::vector<CharState> scopes;  // the character state at each open attribute scope
  std::vector<uint32_t> heading_ids;                   // heading starts of the range, sorted
  uint32_t content_anchor = kNoItem;                    // heading whose content anchor waits
  const char* name;
  std::vector<std::u16string> queued;  // anchors queued by this conversion
  // Lists: what the paragraph now read says of its list item (the list style applied,
  // its level, its own number), and the HTML lists open, innermost last.
  ListStyleCache list_cache{};
  std::map<std::pair<uint32_t, uint32_t>, std::array<uint32_t, 10>> level_records;  // word 9: found
  uint32_t para_style = kNoItem;
  int para_level = -1;
  int64_t para_number = 0;
  bool para_item = false;  // this paragraph is written as a list item
  struct OpenList {
    uint32_t style;
    int level;
    bool item_open;
  };
  std::vector<OpenList> lists;
  // Paragraph styles: whether the flavour writes paragraph STYLE= or classes, the first
  // item of the paragraph now read, and the style whose class chain the open paragraph
  // carries (its nested levels close before the paragraph).
  bool css = false;
  uint32_t para_first = kNoItem;
  uint32_t open_style = kNoStyleId;
  // Where the flavour has no classes: the character values of the open paragraph's style,
  // under the run's own in its spans.
  CharAttrRecord para_chars;
  // The character state recorded before a character style was applied: the style holds
  // until the next style application, which brings this state back.
  std::optional<CharState> before_char_style;
  // The marker kind of the paragraph now read when it is an item of a numbered list (8: a
  // text marker, 0 none), as the paragraph walker's last step settled it.
  uint32_t para_marker = 0;
  // The run attributes that reach the writer as format changes (background, vertical
  // offset), and their values saved at each attribute scope's open.
  CharAttrRecord run{};
  std::vector<CharAttrRecord> scope_runs{};
  // Paragraph borders written as rules (flavours without "border-style:"): the open group
  // of bordered paragraphs and the record of the paragraph before, which a paragraph
  // joins when its borders, indents and alignment are the same.
  BorderGroup border{};
  std::optional<ParaAttrRecord> border_para{};
  // Numbering: the record of the paragraph now read when it is numbered (gathered at its
  // start, gathered again where its attributes change), and its number from the store
  // (para_has_number false: none, as for a paragraph without text or without a level).
  ParaAttrRecord para_record{};
  bool para_numbered = false, para_has_number = false;
  int32_t para_value = -1;
};

// The export's attribute gatherer, made on first use.
inline ChunkerAttrs& attrs_of(Body& b) {
  if (!b.c.attrs) b.c.attrs = std::make_shared<ChunkerAttrs>(b.x.chunker);
  return *b.c.attrs;
}

// Ends the open group of bordered paragraphs, the open paragraph first (pc_body.cpp).
void end_border_group(Body& b);
// Ends the open paragraph (pc_body.cpp).
void end_para(Body& b);
// Writes count 16-bit characters of the set, opening the paragraph first (pc_body.cpp).
void write_units(Body& b, const uint16_t* units, uint32_t count, uint32_t set);

// Lists (pc_lists.cpp).
// The paragraph that starts at position p (items up to end): when its record is marked
// numbered, the numbering update gives it its number. again: its attributes change at p
// (kind 0x400), gathered over the record read so far.
void start_numbering(Body& b, size_t p, size_t end, bool again);
// Sets the paragraph walker's last step for the paragraph now read.
void finish_paragraph(Body& b, WalkState& ws);
// Ends the open list items and lists.
void close_lists(Body& b);
// Opens the list item of a numbering field that starts a list paragraph; false when the
// field is to be written as text.
bool open_list_item(Body& b);
// A numbering field: a list item, or the counter text of the paragraph's level.
void numbering_field(Body& b, const ChunkItem& it);
// Opens a list item (number) in the formatting of its level's marker group (group: the
// level record's marker word): the run record with the paragraph's font and the group's,
// written as a format change before the item opens; the writer's own formatting is back
// in force after it. 0 or a writer status.
KVXSTATUS WriteListMarkerFormat(Body& b, uint32_t group, int number);

}  // namespace pc::bodyconv
