// The readers' side of the ChunkBuilder: running text gathered into Unicode runs,
// paragraphs and line breaks, character attributes, bookmarks, notes, headers and
// footers, and tables in the item
// forms that chunk scripts write, so a reader states structure and never builds items by
// hand. Every count a reader hands in is bounded here; after the first refused call the
// writer stays failed and error() says why.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "filters/framework/chunk_model.h"

namespace kvx::readers {

class DocWriter {
 public:
  // Tables nested deeper than this are read as running text.
  static constexpr uint32_t kMaxTableDepth = 32;
  // Rows or columns beyond these are refused: the reader keeps the part read so far.
  static constexpr uint32_t kMaxTableRows = 1u << 20;
  static constexpr uint32_t kMaxTableColumns = 4096;

  explicit DocWriter(ChunkBuilder& builder) : b_(builder) {}

  bool section(uint32_t type = KVXSECTION_WP);
  // Running text; flushed as one KVXCS_UNICODE run at the next structural call.
  void text(const std::vector<uint16_t>& units) { pending_.insert(pending_.end(), units.begin(), units.end()); }
  void text(uint16_t unit) { pending_.push_back(unit); }
  bool paragraph();
  bool line_break();
  bool page_break();
  bool attribute(uint32_t attr, bool on);
  bool document_charset(uint32_t set);
  // A footnote reference mark in the running text.
  bool footnote_reference();
  // An anchor: an empty bookmark group named by name (kept in range 9).
  bool bookmark(const std::vector<uint16_t>& name);
  // The style of the paragraph that starts here: item {0x1C, style, outline level, 0};
  // outline levels 2 to 10 make headings of levels 1 to 9, 0 is body text.
  bool paragraph_style(uint32_t style, uint32_t outline_level);
  // A hyperlink around the text up to hyperlink_end: group KVXGROUP_HYPERLINK whose id
  // word and third word give its target in range 9 (a "#name" target names a bookmark).
  bool hyperlink(const std::vector<uint16_t>& target);
  bool hyperlink_end();
  // A note: its reference item {0x2C, type (1 footnote, 2 endnote), number, 0} in the
  // running text, then its text inside group kNoteGroup (id word = number) up to note_end.
  bool note(uint32_t type);
  bool note_end();
  // A header or footer: its definition item {kPagePartDefinition, kind (kHeader or
  // kFooter), number, 0}, its text inside group kPagePartGroup (id word = number, third
  // word = kind) up to page_part_end, then its reference {kPagePartReference, the
  // definition's item id, number, 0}, where the part comes into force.
  bool page_part(uint32_t kind);
  bool page_part_end();
  // Lists. A list style per marker (counter kind, lower case, bullet character), defined
  // at its first use: group KVXGROUP_STYLE (id word = style id from kFirstListStyle, third
  // word = the byte offset in range 3 of its 28-byte record {kind 4 (list), outline level
  // 0, list kind 1, parent -1, 0, 0, 0}) holding one level item {29, 0, level, offset of
  // the level's 36-byte record} per level 0-11, whose words 0-8 are {0, bullet character,
  // numbered (1) or not (0), 0, 0, 0, marker group id, 0, counter kind | 0x20000 for lower
  // case} (word 1 the bullet, word 6 the marker group, word 8 the counter kind, as the
  // HTML export reads a list level), and the marker group kMarkerGroup (id word = the style id) holding a
  // numbering field and "." for numbered lists, the bullet character for the others.
  // Returns the style id, 0 when no more styles can be defined.
  static constexpr uint32_t kCounterDecimal = 1, kCounterLetters = 2, kCounterRoman = 3, kCounterBullet = 8;
  static constexpr uint32_t kListLevels = 12, kFirstListStyle = 0x100, kMaxListStyles = 256;
  static constexpr uint32_t kMarkerGroup = 0xA0120000u;
  uint32_t list_style(uint32_t counter, bool lower, uint16_t bullet);
  // A list item's paragraph starts here: the list style applied {28, 0, style, 0}, its
  // level {93, 10, level, 1}, its own number {30, 10, level + 1, number} when number is
  // not 0, and the numbering field {0x1F, 10, 0, 0} where its marker stands.
  bool list_item(uint32_t style, uint32_t level, uint32_t number);
  // A document property: group kPropertyGroup {number, 0xFE} around its value's text.
  // Numbers: 1 comment, 2 keywords, 4 author, 5 subject, 6 title.
  bool property(uint32_t number, const std::vector<uint16_t>& value);

  // Character formatting in force from here: the font of a face name, item {10, font
  // id}, the id that of a range-12 font item {0, first unit of the name in range 9,
  // kFontName16, name length, 0}, one per distinct name; an empty name gives {10, kNoFont},
  // the document's own font. The size in twips {9, twips}; the text colour {60, 0,
  // 0x00BBGGRR}.
  bool font(const std::vector<uint16_t>& name);
  bool font_size(uint32_t twips);
  bool text_colour(uint32_t bgr);

  // An embedded picture (PNG, JPEG or GIF bytes) in the running text, sized in twips (0:
  // its pixels at 96 per inch); defined with the picture decoders (pictures.cpp).
  bool picture(std::string_view image, int32_t width_twips, int32_t height_twips);

  static constexpr uint32_t kParagraphStyle = 0x1C;
  // Special characters: item {0x18, kind, 0, 0}; kind 6 is a hard space, which the text
  // gives as U+00A0.
  static constexpr uint32_t kSpecialItem = 0x18, kHardSpace = 6;
  static constexpr uint16_t kHardSpaceUnit = 0xA0;
  static constexpr uint32_t kFontItem = 10, kFontSize = 9, kTextColour = 60;
  static constexpr uint32_t kFontName16 = 0x14B00000u;
  static constexpr uint32_t kNoFont = 0xFFFFFFFFu;
  static constexpr size_t kMaxFonts = 4096;
  static constexpr uint32_t kNoteGroup = 0xA00A0000u;
  static constexpr uint32_t kPropertyGroup = 0xA0010004u;
  static constexpr uint32_t kPagePartDefinition = 0x2F, kPagePartReference = 0x2B;
  static constexpr uint32_t kPagePartGroup = 0xA00B0000u;
  static constexpr uint32_t kHeader = 8, kFooter = 0x10;

  // Tables: start with their size, then per row cells (each closed by end_cell) and
  // end_row; a cell's row and column are counted here, skipping columns that a row span
  // above still covers.
  bool table_start(uint32_t rows, uint32_t columns);
  bool cell(uint32_t colspan, uint32_t rowspan);
  bool end_cell();
  bool end_row();
  bool table_end();
  uint32_t table_depth() const { return uint32_t(tables_.size()); }

  // Flushes pending text and closes what the reader left open (cells, rows, tables).
  bool finish();
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  // Text units and structural items written so far (0: nothing was read).
  uint64_t written() const { return written_; }
  bool in_paragraph() const { return !pending_.empty() || open_paragraph_; }

 private:
  struct Table {
    uint32_t rows = 0, columns = 0;
    uint32_t row = 0, col = 0, cells = 0, row_first_cell = 0;
    bool in_cell = false, in_row = false;
    std::vector<uint32_t> covered;  // per column: rows still covered by a span from above
  };
  bool flush();
  bool flush_run();  // pending_ as text runs
  bool item(uint32_t kind, uint32_t a, uint32_t b, uint32_t c, uint32_t* id = nullptr);
  bool records(uint32_t range, std::initializer_list<uint32_t> words);
  bool fail(const std::string& why);
  bool named_group(uint32_t code, const std::vector<uint16_t>& name);
  bool close_group(uint32_t code);

  ChunkBuilder& b_;
  std::vector<uint16_t> pending_;
  std::vector<Table> tables_;
  std::vector<uint32_t> groups_;  // codes of the groups opened by hyperlink and note
  std::map<std::vector<uint16_t>, uint32_t> fonts_;  // face name -> range-12 font id
  uint32_t notes_ = 0;
  std::map<std::tuple<uint32_t, bool, uint16_t>, uint32_t> list_styles_;
  uint32_t parts_ = 0;
  std::vector<std::pair<uint32_t, uint32_t>> open_parts_;  // definition item id, number
  bool open_paragraph_ = false;  // text or attributes since the last paragraph end
  bool failed_ = false;
  bool started_ = false;
  uint64_t written_ = 0;
  std::string error_;
};

}  // namespace kvx::readers
