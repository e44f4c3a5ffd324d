// Item forms of the readers (see doc_writer.h); the table and bookmark forms are those of
// the chunk-script lines table, cell, endcell, endrow, endtable and bookmark.
#include "filters/framework/readers/doc_writer.h"

#include <algorithm>

namespace kvx::readers {

namespace {
constexpr uint32_t kCellStart = 0x12;
constexpr uint32_t kRowItem = 0x13;
constexpr uint32_t kNestOpen = 16, kNestClose = 17;
constexpr size_t kMaxRunUnits = 0x8000;
constexpr uint32_t kListLevelItem = 29, kApplyStyle = 28, kListNumbering = 93, kListNumber = 30;
constexpr uint32_t kNumberingField = 10;
}  // namespace

bool DocWriter::fail(const std::string& why) {
  if (!failed_) error_ = why;
  failed_ = true;
  return false;
}

bool DocWriter::item(uint32_t kind, uint32_t a, uint32_t b, uint32_t c, uint32_t* id) {
  if (failed_) return false;
  if (!started_ && !section()) return false;
  if (!b_.item(kind, a, b, c, id)) return fail(b_.error());
  ++written_;
  return true;
}

bool DocWriter::records(uint32_t range, std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes;
  for (uint32_t w : words) put_u32(bytes, w);
  if (!b_.append(range, bytes)) return fail(b_.error());
  return true;
}

bool DocWriter::section(uint32_t type) {
  if (failed_) return false;
  if (!b_.section(type, {})) return fail(b_.error());
  started_ = true;
  return true;
}

bool DocWriter::flush() {
  if (failed_) return false;
  if (!started_ && !section()) return false;
  // A hard space (U+00A0) is the special item the exports write as a non-breaking space,
  // not a character: a Big5 page has no code for it.
  std::vector<uint16_t> text;
  text.swap(pending_);
  size_t begin = 0;
  for (size_t k = 0; k <= text.size(); ++k) {
    if (k < text.size() && text[k] != kHardSpaceUnit) continue;
    pending_.assign(text.begin() + long(begin), text.begin() + long(k));
    if (!flush_run()) return false;
    if (k < text.size() && !item(kSpecialItem, kHardSpace, 0, 0)) return false;
    if (k < text.size()) open_paragraph_ = true;
    begin = k + 1;
  }
  return true;
}

bool DocWriter::flush_run() {
  size_t at = 0;
  while (at < pending_.size()) {
    size_t n = std::min(kMaxRunUnits, pending_.size() - at);
    // Never split a surrogate pair between runs.
    if (n < pending_.size() - at && pending_[at + n - 1] >= 0xD800 && pending_[at + n - 1] <= 0xDBFF) --n;
    std::vector<uint16_t> run(pending_.begin() + long(at), pending_.begin() + long(at + n));
    if (!b_.text(KVXCS_UNICODE, run)) return fail(b_.error());
    written_ += n;
    at += n;
    open_paragraph_ = true;
  }
  pending_.clear();
  return true;
}

bool DocWriter::paragraph() {
  if (!flush()) return false;
  open_paragraph_ = false;
  return item(KVXITEM_BREAK, KVXBREAK_PARAGRAPH, 0, 0);
}

bool DocWriter::line_break() { return flush() && item(KVXITEM_BREAK, KVXBREAK_LINE, 0, 0); }

bool DocWriter::page_break() {
  if (!flush()) return false;
  open_paragraph_ = false;
  return item(KVXITEM_BREAK, KVXBREAK_PAGE, 0, 0);
}

bool DocWriter::attribute(uint32_t attr, bool on) {
  if (!flush()) return false;
  open_paragraph_ = true;
  return item(KVXITEM_CHARATTR, attr, on ? 1 : 0, 0);
}

bool DocWriter::font(const std::vector<uint16_t>& name) {
  if (!flush()) return false;
  uint32_t id = kNoFont;
  std::vector<uint16_t> n(name.begin(), name.begin() + long(std::min<size_t>(name.size(), 80)));
  if (!n.empty()) {
    auto found = fonts_.find(n);
    if (found != fonts_.end()) {
      id = found->second;
    } else if (fonts_.size() < kMaxFonts) {
      std::vector<uint8_t> bytes;
      for (uint16_t u : n) put_u16(bytes, u);
      uint32_t first = 0;
      if (!b_.append(KVXRANGE_NAMES, bytes, &first)) return fail(b_.error());
      bytes.clear();
      for (uint32_t w : {0u, first, kFontName16, uint32_t(n.size()), 0u}) put_u32(bytes, w);
      if (!b_.append(KVXRANGE_FONTS, bytes, &id)) return fail(b_.error());
      fonts_.emplace(n, id);
    }
  }
  open_paragraph_ = true;
  return item(kFontItem, id, 0, 0);
}

bool DocWriter::font_size(uint32_t twips) {
  if (!flush()) return false;
  open_paragraph_ = true;
  return item(kFontSize, twips, 0, 0);
}

bool DocWriter::text_colour(uint32_t bgr) {
  if (!flush()) return false;
  open_paragraph_ = true;
  return item(kTextColour, 0, bgr & 0xFFFFFFu, 0);
}

bool DocWriter::document_charset(uint32_t set) { return flush() && item(KVXITEM_DOCCHARSET, set, 0, 0); }

bool DocWriter::footnote_reference() { return flush() && item(KVXITEM_FOOTNOTE, 1, 0, 0); }

bool DocWriter::bookmark(const std::vector<uint16_t>& name) {
  if (!flush()) return false;
  if (name.empty() || name.size() > 1023) return true;  // nothing a page could name
  std::vector<uint8_t> bytes;
  for (uint16_t u : name) put_u16(bytes, u);
  uint32_t first = 0;
  if (!b_.append(KVXRANGE_NAMES, bytes, &first)) return fail(b_.error());
  if (!started_ && !section()) return false;
  if (!b_.group_open(KVXGROUP_BOOKMARK, first, uint32_t(name.size()))) return fail(b_.error());
  if (!b_.group_close()) return fail(b_.error());
  written_ += 2;
  return true;
}

bool DocWriter::paragraph_style(uint32_t style, uint32_t outline_level) {
  return flush() && item(kParagraphStyle, style, outline_level, 0);
}

bool DocWriter::named_group(uint32_t code, const std::vector<uint16_t>& name) {
  if (!flush()) return false;
  if (groups_.size() >= 64) return fail("groups nested too deeply");
  std::vector<uint16_t> n(name.begin(), name.begin() + long(std::min<size_t>(name.size(), 2047)));
  std::vector<uint8_t> bytes;
  for (uint16_t u : n) put_u16(bytes, u);
  uint32_t first = 0;
  if (!b_.append(KVXRANGE_NAMES, bytes, &first)) return fail(b_.error());
  if (!b_.group_open(code, n.empty() ? 0xFFFFFFFFu : first, uint32_t(n.size()))) return fail(b_.error());
  groups_.push_back(code);
  ++written_;
  return true;
}

bool DocWriter::close_group(uint32_t code) {
  if (groups_.empty() || groups_.back() != code) return true;  // nothing of that kind open
  if (!flush()) return false;
  if (!b_.group_close()) return fail(b_.error());
  groups_.pop_back();
  ++written_;
  return true;
}

bool DocWriter::hyperlink(const std::vector<uint16_t>& target) {
  if (!started_ && !section()) return false;
  return named_group(KVXGROUP_HYPERLINK, target);
}

bool DocWriter::hyperlink_end() { return close_group(KVXGROUP_HYPERLINK); }

bool DocWriter::note(uint32_t type) {
  if (!flush()) return false;
  if (groups_.size() >= 64) return fail("groups nested too deeply");
  uint32_t number = ++notes_;
  if (!item(KVXITEM_FOOTNOTE, type, number, 0)) return false;
  if (!b_.group_open(kNoteGroup, number, type)) return fail(b_.error());
  groups_.push_back(kNoteGroup);
  ++written_;
  open_paragraph_ = false;
  return true;
}

bool DocWriter::note_end() {
  if (in_paragraph() && !paragraph()) return false;
  return close_group(kNoteGroup);
}

uint32_t DocWriter::list_style(uint32_t counter, bool lower, uint16_t bullet) {
  if (!flush()) return 0;
  if (!started_ && !section()) return 0;
  auto key = std::make_tuple(counter, lower, bullet);
  auto found = list_styles_.find(key);
  if (found != list_styles_.end()) return found->second;
  if (list_styles_.size() >= kMaxListStyles) return 0;
  uint32_t id = kFirstListStyle + uint32_t(list_styles_.size());
  bool numbered = counter != kCounterBullet;
  auto refused = [this]() {
    fail(b_.error());
    return 0u;
  };
  std::vector<uint8_t> rec;
  for (uint32_t w : {4u, 0u, 1u, 0xFFFFFFFFu, 0u, 0u, 0u}) put_u32(rec, w);
  uint32_t at = 0;
  if (!b_.append(KVXRANGE_RECORDS, rec, &at)) return refused();
  if (!b_.group_open(KVXGROUP_STYLE, id, at)) return refused();
  for (uint32_t level = 0; level < kListLevels; ++level) {
    rec.clear();
    for (uint32_t w : {0u, uint32_t(bullet), numbered ? 1u : 0u, 0u, 0u, 0u, id, 0u, counter | (lower ? 0x20000u : 0u)})
      put_u32(rec, w);
    if (!b_.append(KVXRANGE_RECORDS, rec, &at) || !b_.item(kListLevelItem, 0, level, at)) return refused();
  }
  if (!b_.group_open(kMarkerGroup, id, 0)) return refused();
  bool ok = numbered ? b_.item(KVXITEM_FIELD, kNumberingField, 0, 0) && b_.text(KVXCS_UNICODE, {'.'})
                     : b_.text(KVXCS_UNICODE, {bullet});
  if (!ok || !b_.group_close() || !b_.group_close()) return refused();
  written_ += kListLevels + 4;
  list_styles_.emplace(key, id);
  return id;
}

bool DocWriter::list_item(uint32_t style, uint32_t level, uint32_t number) {
  if (!flush()) return false;
  level = std::min(level, kListLevels - 1);
  if (!item(kApplyStyle, 0, style, 0) || !item(kListNumbering, 10, level, 1)) return false;
  if (number != 0 && !item(kListNumber, 10, level + 1, number)) return false;
  if (!item(KVXITEM_FIELD, kNumberingField, 0, 0)) return false;
  open_paragraph_ = true;  // the marker makes the paragraph, even without text
  return true;
}

bool DocWriter::page_part(uint32_t kind) {
  if (!flush()) return false;
  if (groups_.size() >= 64) return fail("groups nested too deeply");
  uint32_t number = ++parts_, id = 0;
  if (!item(kPagePartDefinition, kind, number, 0, &id)) return false;
  if (!b_.group_open(kPagePartGroup, number, kind)) return fail(b_.error());
  groups_.push_back(kPagePartGroup);
  open_parts_.emplace_back(id, number);
  ++written_;
  open_paragraph_ = false;
  return true;
}

bool DocWriter::page_part_end() {
  if (open_parts_.empty() || groups_.empty() || groups_.back() != kPagePartGroup) return true;
  if (in_paragraph() && !paragraph()) return false;
  if (!close_group(kPagePartGroup)) return false;
  auto [id, number] = open_parts_.back();
  open_parts_.pop_back();
  return item(kPagePartReference, id, number, 0);
}

bool DocWriter::property(uint32_t number, const std::vector<uint16_t>& value) {
  if (value.empty()) return true;
  if (!flush()) return false;
  if (!started_ && !section()) return false;
  if (!b_.group_open(kPropertyGroup, number, 0xFE)) return fail(b_.error());
  pending_.assign(value.begin(), value.begin() + long(std::min<size_t>(value.size(), 0x10000)));
  bool was_open = open_paragraph_;
  if (!flush()) return false;
  open_paragraph_ = was_open;
  if (!b_.group_close()) return fail(b_.error());
  written_ += 2;
  return true;
}

bool DocWriter::table_start(uint32_t rows, uint32_t columns) {
  if (!flush()) return false;
  if (tables_.size() >= kMaxTableDepth) return fail("tables nested too deeply");
  if (rows > kMaxTableRows || columns > kMaxTableColumns) return fail("table too large");
  uint32_t id = 0;
  if (!item(KVXITEM_TABLESTART, rows, columns, 0, &id)) return false;
  if (!records(KVXRANGE_NESTING, {kNestOpen, 0, 0, id})) return false;
  Table t;
  t.rows = rows;
  t.columns = columns;
  t.covered.assign(columns, 0);
  tables_.push_back(std::move(t));
  open_paragraph_ = false;
  return true;
}

bool DocWriter::cell(uint32_t colspan, uint32_t rowspan) {
  if (tables_.empty()) return fail("a cell outside a table");
  Table& t = tables_.back();
  if (t.in_cell && !end_cell()) return false;
  if (!flush()) return false;
  while (t.col < t.columns && t.covered[t.col] > 0) ++t.col;
  if (t.col >= t.columns) return fail("more cells than the table has columns");
  colspan = std::clamp<uint32_t>(colspan, 1, t.columns - t.col);
  rowspan = std::clamp<uint32_t>(rowspan, 1, std::max<uint32_t>(1, t.rows - std::min(t.row, t.rows)));
  colspan = std::min<uint32_t>(colspan, 0xFFFF);
  rowspan = std::min<uint32_t>(rowspan, 0xFFFF);
  uint32_t spans = colspan | rowspan << 16;
  if (!item(kCellStart, t.row, t.col, spans)) return false;
  if (!records(KVXRANGE_CELLS, {kCellStart, t.row, t.col, spans})) return false;
  for (uint32_t k = 0; k < colspan; ++k) t.covered[t.col + k] = rowspan;
  t.col += colspan;
  ++t.cells;
  t.in_cell = t.in_row = true;
  open_paragraph_ = false;
  return true;
}

bool DocWriter::end_cell() {
  if (tables_.empty() || !tables_.back().in_cell) return true;
  tables_.back().in_cell = false;
  if (!flush()) return false;
  open_paragraph_ = false;
  return item(KVXITEM_BREAK, KVXBREAK_CELL, 0, 0);
}

bool DocWriter::end_row() {
  if (tables_.empty()) return true;
  if (!end_cell()) return false;
  Table& t = tables_.back();
  if (!t.in_row) return true;
  if (!item(KVXITEM_BREAK, KVXBREAK_ROW, 0, 0)) return false;
  if (!records(KVXRANGE_ROWS, {kRowItem, t.row, t.row_first_cell, t.cells - t.row_first_cell})) return false;
  for (uint32_t& c : t.covered)
    if (c > 0) --c;
  ++t.row;
  t.col = 0;
  t.row_first_cell = t.cells;
  t.in_row = false;
  return true;
}

bool DocWriter::table_end() {
  if (tables_.empty()) return true;
  if (!end_row()) return false;
  tables_.pop_back();
  uint32_t id = 0;
  if (!item(KVXITEM_TABLEEND, 0, 0, 0, &id)) return false;
  return records(KVXRANGE_NESTING, {kNestClose, 0, 0, id});
}

bool DocWriter::finish() {
  if (!groups_.empty() && !pending_.empty() && !paragraph()) return false;
  while (!groups_.empty()) {
    if (!b_.group_close()) return fail(b_.error());
    groups_.pop_back();
  }
  while (!tables_.empty())
    if (!table_end()) return false;
  if (!pending_.empty() && !paragraph()) return false;
  if (!started_ && !section()) return false;
  return !failed_;
}

}  // namespace kvx::readers
