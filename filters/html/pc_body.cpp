// The body converter of the HTML export filter: turns a range of the document's items into
// HTML through the writer: text runs, paragraphs and breaks, headings, character
// formatting, special characters, numbering fields, framework texts, hyperlinks,
// bookmarks, index-entry anchors, note marks, tables with column and row spans, and
// paragraph borders as rules where the flavour has no border styles. Every
// element with running text is written by it (section bodies, headings, tables, notes,
// page parts, property values). In the CSS flavours paragraphs carry their style's class
// chain and their own values inline, and runs a span of their character state. Builds on
// the element scan (pc_scan.cpp), the attribute gatherer (pc_chunkattrs.h) and the writer
// (pc_blocks.h, pc_structure.h, pc_stylesheet.h); list items and numbering fields are
// pc_lists.cpp's, over the state of pc_body.h. Called by the dispatcher and the note and
// property writers.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "pc_blocks.h"
#include "pc_body.h"
#include "pc_chunkattrs.h"
#include "pc_content.h"
#include "pc_format.h"
#include "pc_pictures.h"
#include "pc_tags.h"

namespace pc {

namespace {

using bodyconv::Body;
using bodyconv::TableRun;
using namespace bodyconv;

constexpr uint32_t kColumnTwips = 1440;
constexpr uint32_t kMaxRunUnits = 0x100000;
constexpr size_t kMaxBookmarkName = 127;
constexpr uint32_t kScopeA = 0x20200008u, kScopeB = 0xA0090000u, kScopeC = 0xA00900D0u;
constexpr uint32_t kItemListNumber = 30, kItemListNumbering = 93;  // {30, 10, level + 1, n}, {93, 10, level, 1}

// Registers a character (0) or paragraph (1) style and its parents as style classes;
// the style's kind, -1 for any other style or one that cannot be resolved. A style
// without a name is "UnnamedStyle" and its ordinal among the unnamed ones, in hexadecimal.
int register_new_style(Body& b, uint32_t id) {
  HtmlWriter& h = b.x.writer;
  ChunkerAttrs& src = attrs_of(b);
  std::vector<std::pair<uint32_t, uint32_t>> chain;  // ids and parents, the style first
  int kind = -1;
  for (uint32_t at = id; at != kNoStyleId && chain.size() < kMaxStyleDepth;) {
    if (std::any_of(chain.begin(), chain.end(), [at](const auto& e) { return e.first == at; })) break;
    StyleDef def;
    if (!src.definition(at, def)) break;
    if (chain.empty()) {
      if (def.kind > 1) return -1;
      kind = int(def.kind);
    }
    chain.emplace_back(at, def.parent);
    at = def.parent;
  }
  if (kind < 0) return -1;
  // Parents first, so a child's class chain finds them.
  for (size_t k = chain.size(); k-- > 0;) {
    uint32_t st = 0;
    if (StyleFind(h, chain[k].first, st) >= 0) continue;
    const StyleAttrRecord* r = nullptr;
    if (src.cache().GatherStyle(chain[k].first, 0, &r, nullptr) != KVX_OK || r == nullptr) return -1;
    StyleAttrRecord record = *r;
    uint32_t parent = k + 1 < chain.size() ? chain[k].second : kNoStyleId;
    size_t unnamed = size_t(std::count_if(h.classes.begin(), h.classes.end(), [](const StyleClass& c) { return c.unnamed; }));
    char name[32];
    std::snprintf(name, sizeof name, "UnnamedStyle%zX", unnamed + 1);
    if (KVXSTATUS st = AddStyleClass(h, chain[k].first, parent, widen(name), record, nullptr)) {
      if (b.status == 0) b.status = st;  // no memory for the class table
      return -1;
    }
  }
  return kind;
}

// The kind of a style as register_new_style found it, each style looked up once per export.
int register_style(Body& b, uint32_t id) {
  auto known = b.c.style_kinds.find(id);
  if (known != b.c.style_kinds.end()) return known->second;
  int kind = register_new_style(b, id);
  b.c.style_kinds.emplace(id, kind);
  return kind;
}

// A style application ends the character style applied before it.
void end_char_style(Body& b) {
  if (!b.before_char_style) return;
  b.before_char_style->restore(b.w);
  b.before_char_style.reset();
}

// A style application item: a character style's values are applied over the state now
// recorded (parents first), to hold until the next style application.
void apply_char_style(Body& b, uint32_t id) {
  end_char_style(b);
  if (register_style(b, id) != 0) return;
  b.before_char_style = Body::CharState::of(b.w);
  ApplyCharStyle(id, true, true, b.status, b.x.writer);
}


// A character attribute item (bold, italic and the other toggles, size, face, colour,
// background, vertical offset): decoded into the run record, and the attributes the
// decoder set handed to the writer as a format change. A scope's close brings back the run
// record of its open.
void format_item(Body& b, const ChunkItem& it) {
  if (b.plain) return;
  ChunkerAttrs& src = attrs_of(b);
  CharAttrRecord now = b.run, item{};
  ParaAttrRecord para;
  FrameAttrRecord frame;
  uint32_t words[4] = {it.kind, it.a, it.b, it.c}, next = kNoItem;
  if (DecodeAttrs(src, para, now, frame, words, &next, it.id) != KVX_OK) return;
  // The change bits are the decoder's: the attributes this item sets, whatever the run
  // record held, since a character style applied in between changes the writer's state.
  next = kNoItem;
  if (DecodeAttrs(src, para, item, frame, words, &next, it.id) != KVX_OK) return;
  KVXSTATUS st = WriteFormatChange(now, item.flags, b.w);
  if (b.status == 0) b.status = st;
  b.run = now;
}

// Opens the pending paragraph from its gathered attributes: its first item's attributes
// gathered, its paragraph style's values taken where it sets none itself. In a CSS flavour
// the open tag is written here (with the style's class chain where the flavour writes
// classes) with, inline, the alignment, spacing and indents that differ from the style;
// true then. Elsewhere only the alignment goes to the writer, which opens the paragraph
// (false), as it does when the attributes cannot be gathered.
bool start_styled_paragraph(Body& b) {
  if (b.plain || b.para_first == kNoItem) return false;
  ChunkerAttrs& src = attrs_of(b);
  ParaAttrRecord para;
  WalkState ws;
  ws.item = b.para_first;
  finish_paragraph(b, ws);
  if (GatherParagraph(src, para, ws) != KVX_OK) return false;
  // Headings from paragraph outline levels: the paragraph's own level (HTML has six).
  if (b.c.heading_mode == 2 && b.w.paraPending && !b.w.paraOpen) b.w.headingLevel = para.headingLevel <= 6 ? int(para.headingLevel) : 0;
  b.para_chars = CharAttrRecord{};
  HtmlWriter& h = b.x.writer;
  WriterState& s = b.w;
  uint32_t st = 0;
  uint32_t style = kNoStyleId;
  if ((para.flags & 0x4000) && register_style(b, para.styleKey) == 1) style = para.styleKey;
  h.inTable = !b.runs.empty();
  h.inList = !b.lists.empty();
  h.paraStyle = kNoStyleId;
  if (style != kNoStyleId) {
    ApplyParaStyle(style, para, st, h);
    if (h.useClasses) {
      // The parents' classes are written too: their rules are in use.
      int i = StyleFind(h, style, st);
      for (unsigned n = 0; i >= 0 && n < kMaxStyleDepth; ++n) {
        uint32_t parent = h.classes[size_t(i)].parent;
        if (parent == kNoStyleId || (i = StyleFind(h, parent, st)) < 0) break;
        StyleCountUse(h, parent, st);
      }
    } else {
      // No class: every value goes inline, the character values in the runs' spans.
      int i = StyleFind(h, style, st);
      if (i >= 0 && b.css) b.para_chars = h.classes[size_t(i)].chr;
      h.paraStyle = kNoStyleId;
      style = kNoStyleId;
    }
  }
  if (!b.css) {
    if ((para.flags & 0x1) && para.alignment >= 1 && para.alignment <= 4) s.alignment = para.alignment;
    // Borders as rules: a bordered paragraph like the one before it goes on in its group.
    const std::optional<ParaAttrRecord>& before = b.border_para;
    bool same = before && std::equal(std::begin(before->borders), std::end(before->borders), std::begin(para.borders)) &&
                (before->flags & 0x100) == (para.flags & 0x100) && before->left == para.left &&
                before->right == para.right && before->firstLine == para.firstLine &&
                before->alignment == para.alignment && before->extraLeft == para.extraLeft;
    BorderGroupParagraph(para, same, st, s, b.border);
    b.border_para = para;
    // Without "margin-left:" the left indentation becomes nested levels around the
    // paragraph (not inside tables and lists, whose structure they would cross).
    if (!TagAllowed(116, s.flavour) && b.runs.empty() && b.lists.empty()) {
      int64_t left = (para.flags & 0x10) ? para.left : 0;
      if (para.flags & 0x200) left += para.extraLeft;
      StartIndent(IndentLevels(int32_t(std::clamp<int64_t>(left, 0, INT32_MAX))), st, s);
    }
    // Without "margin-top:" and "margin-bottom:" the paragraph's spacing becomes vertical
    // space before it and after it.
    if ((para.flags & 0x2) && !TagAllowed(114, s.flavour)) s.spaceBefore = para.spaceBefore;
    if ((para.flags & 0x4) && !TagAllowed(115, s.flavour)) s.spaceAfter = para.spaceAfter;
    if (b.status == 0) b.status = st;
    return false;
  }
  s.paraPending = false;
  bool heading = s.headingLevel > 0 && TagAllowed(149, s.flavour);
  h.headingLevel = s.headingLevel;
  if (style != kNoStyleId) {
    WriteClassTag(style, heading ? 149 : 27, true, true, st, h);
  } else if (heading) {
    EmitTagNumber(true, "<%s%d", s.headingLevel, 149, st, s);
  } else {
    EmitTag(true, "<%s", 27, st, s);
  }
  s.openHeading = heading ? s.headingLevel : 0;
  WriteParaStyleAttr(para, st, h);
  EmitRaw(">", st, s);
  s.paraOpen = true;
  s.firstIndent = 0;
  b.open_style = style;
  if (b.status == 0) b.status = st;
  return true;
}

// The run span of the CSS flavours: it holds the character state that the setters
// recorded, opened after the formatting tags and links before a text and closed before
// any of them changes, so it is always the innermost element.
void close_spans(Body& b) {
  HtmlWriter& h = b.x.writer;
  while (h.spanStack.size() > 1) CloseRunSpan(true, b.status, h);
}

bool spans_equal(const CharAttrRecord& a, const CharAttrRecord& c) {
  return a.flags == c.flags && a.fontSize == c.fontSize && a.colour == c.colour && a.background == c.background &&
         std::equal(std::begin(a.toggles), std::end(a.toggles), std::begin(c.toggles)) && a.fontNames[0] == c.fontNames[0];
}

// The run's recorded character state over the paragraph style's values: each property
// the run sets is its own, the others the style's.
CharAttrRecord under_style(const CharAttrRecord& style, const CharAttrRecord& run) {
  static const uint32_t kToggle[][2] = {{0x1, 0},     {0x2, 1},     {0x20, 3},    {0x10000, 9}, {0x2000, 2},
                                        {0x200, 13},  {0x400, 14},  {0x800, 16},  {0x1000, 15}};
  CharAttrRecord r = style;
  for (const auto& t : kToggle)
    if (run.flags & t[0]) r.toggles[t[1]] = run.toggles[t[1]];
  if (run.flags & 0x80000) r.fontSize = run.fontSize;
  if (run.flags & 0x100000) r.colour = run.colour;
  if (run.flags & 0x8000000) r.background = run.background;
  if (run.flags & 0x200000) r.fontNames[0] = run.fontNames[0];
  r.flags |= run.flags;
  return r;
}

// Before a text: the formatting is brought up to date, inside a span of the recorded
// character state where it differs from none.
void flush_format(Body& b) {
  HtmlWriter& h = b.x.writer;
  WriterState& s = b.w;
  if (!b.css) {
    FlushPendingFormat(b.status, s);
    return;
  }
  CharAttrRecord now = RecordedCharState(s);
  if (b.para_chars.flags != 0) now = under_style(b.para_chars, now);
  bool tags = !(s.fontWanted == s.fontOpen) || !s.pendingAnchors.empty() || AnyLinkPending(s) || s.openCodes != s.wantedCodes;
  if (!tags && h.spanStack.size() > 1 && spans_equal(now, h.spanStack.back())) return;
  close_spans(b);
  FlushPendingFormat(b.status, s);
  h.current = now;
  h.inTable = !b.runs.empty();
  OpenChangeSpan(b.status, h);
}


// Queues an anchor once per conversion.
void queue_anchor(Body& b, const std::u16string& name) {
  if (name.empty() || std::find(b.queued.begin(), b.queued.end(), name) != b.queued.end()) return;
  b.queued.push_back(name);
  AddPendingAnchor(name, b.w);
}

// The rows, columns and whether row spans can be written, from the table's cells.
TableRun scan_table(const ContentState& c, size_t pos, size_t end) {
  TableRun t;
  t.rows = c.items[pos].a;
  t.cols = c.items[pos].b;
  std::vector<uint32_t> occupied;  // per row: columns taken by its cells and spans from above
  std::vector<uint32_t> covered;   // per column: rows still covered from above
  std::vector<uint32_t> added;     // spans that start in the current row: rows below it
  uint32_t row_cells = 0, widest = 0;
  int depth = 0;
  bool any_cell = false;
  auto end_row = [&]() {
    uint32_t cov = 0;
    for (uint32_t& r : covered)
      if (r > 0) ++cov, --r;
    if (covered.size() < added.size()) covered.resize(added.size(), 0);
    for (size_t k = 0; k < added.size(); ++k) covered[k] = std::max(covered[k], added[k]);
    added.assign(added.size(), 0);
    occupied.push_back(row_cells + cov);
    widest = std::max(widest, row_cells + cov);
    row_cells = 0;
    any_cell = false;
  };
  for (size_t p = pos + 1; p < end; ++p) {
    const ChunkItem& it = c.items[p];
    if (it.kind == kItemTableStart) ++depth;
    if (it.kind == kItemTableEnd && depth-- == 0) break;
    if (depth > 0) continue;
    if (it.kind == kItemCellStart) {
      uint32_t span = std::max<uint32_t>(it.c & 0xFFFF, 1), down = std::max<uint32_t>(it.c >> 16, 1);
      row_cells += span;
      any_cell = true;
      if (down > 1 && it.b < 4096 && span < 4096) {
        if (added.size() < it.b + span) added.resize(it.b + span, 0);
        for (uint32_t k = it.b; k < it.b + span; ++k) added[k] = std::max(added[k], down - 1);
      }
    }
    if (it.kind == 0 && it.a == kBreakRow) end_row();
  }
  if (any_cell) end_row();
  if (t.rows == 0) t.rows = uint32_t(occupied.size());
  if (t.cols == 0) t.cols = widest;
  t.cols = std::min<uint32_t>(t.cols, 4096);
  t.row_spans = !occupied.empty();
  for (uint32_t o : occupied) t.row_spans = t.row_spans && o == occupied.front();
  return t;
}


void start_text(Body& b) {
  if (b.plain) {
    if (b.blank) WriteText8(" ", b.status, b.w);
    b.blank = false;
    b.wrote = true;
    return;
  }
  if (!b.runs.empty() && !b.runs.back().cell_open) {
    // Text inside a table but outside any cell gets a plain cell of its own.
    TableRun& t = b.runs.back();
    if (!t.row_open) OpenRow(0, b.status, b.w, b.c.tables.back());
    t.row_open = true;
    CellSpec spec;
    spec.firstColumn = t.cols;
    OpenCell(spec, false, b.status, b.w, b.c.tables.back());
    t.cell_open = true;
    BeginParagraph(0, 1, 0, 0, b.w);
  }
  if (!b.w.paraOpen && !b.w.paraPending) BeginParagraph(0, 1, 0, 0, b.w);
  if (b.w.paraPending && !b.w.paraOpen) {
    if (!b.para_item) close_lists(b);
    CloseFormatting(b.status, b.w);
    if (!start_styled_paragraph(b)) StartParagraph(b.status, b.w);
  }
  flush_format(b);
  if (!b.runs.empty()) b.runs.back().cell_text = true;
}


}  // namespace

namespace bodyconv {

void end_border_group(Body& b) {
  if (!b.border.open) {
    b.border_para.reset();
    return;
  }
  if (b.w.paraOpen) {
    end_para(b);
    BeginParagraph(0, 1, 0, 0, b.w);
  }
  BorderGroupEnd(b.status, b.w, b.border);
  b.border_para.reset();
}

// Ends the open paragraph; the nested levels of its class chain close inside it, after
// the formatting and links opened in it.
void end_para(Body& b) {
  close_spans(b);
  b.para_chars = CharAttrRecord{};
  if (b.open_style != kNoStyleId && b.w.paraOpen) {
    CloseFormatting(b.status, b.w);
    ClosePendingLinks(false, true, b.status, b.w);
    WriteClassTag(b.open_style, 24, false, false, b.status, b.x.writer);
  }
  b.open_style = kNoStyleId;
  EndParagraph(b.status, b.w);
}

void write_units(Body& b, const uint16_t* units, uint32_t count, uint32_t set) {
  if (count == 0) return;
  start_text(b);
  uint32_t saved = b.w.textCharset;
  b.w.textCharset = set;
  WriteText16(units, count, b.status, b.w);
  b.w.textCharset = saved;
}

}  // namespace bodyconv

namespace {

void write_ascii(Body& b, const std::string& text) {
  std::u16string u = widen(text);
  write_units(b, reinterpret_cast<const uint16_t*>(u.data()), uint32_t(u.size()), KVXCS_UNICODE);
}

// A paragraph end, or a line break (line) that goes on in the same list item.
void end_paragraph(Body& b, bool line = false) {
  if (!line) {
    b.para_style = kNoItem;
    b.para_level = -1;
    b.para_number = 0;
    b.para_item = false;
  }
  if (b.plain) {
    b.blank = b.wrote;
    return;
  }
  end_para(b);
  BeginParagraph(0, 1, 0, 0, b.w);
}

void close_cell(Body& b) {
  TableRun& t = b.runs.back();
  if (!t.cell_open) return;
  close_lists(b);
  end_para(b);
  end_border_group(b);
  CloseCell(!t.cell_text, b.status, b.w, b.c.tables.back());
  t.cell_open = false;
  t.cell_text = false;
}

void close_row(Body& b) {
  TableRun& t = b.runs.back();
  close_cell(b);
  if (t.row_open) CloseRow(b.status, b.w, b.c.tables.back());
  t.row_open = false;
}

void close_table(Body& b) {
  close_row(b);
  CloseTable(b.status, b.w, b.c.tables);
  b.runs.pop_back();
  BeginParagraph(0, 1, 0, 0, b.w);
}

void open_table(Body& b, size_t pos, size_t end) {
  const ChunkItem& it = b.c.items[pos];
  TableRun t = scan_table(b.c, pos, end);
  close_lists(b);
  end_para(b);
  end_border_group(b);
  AddPendingAnchor(make_element_name("table", ordinal_in(b.c.lists[kTables], it.id)), b.w);
  WritePendingLinks(b.status, b.w);
  WritePendingAnchors(true, b.status, b.w);
  TableState ts;
  ts.kind = 1;
  ts.noFixedWidth = true;
  ts.columns.assign(t.cols, kColumnTwips);
  OpenTable(ts, b.status, b.w, b.c.tables);
  b.runs.push_back(t);
}

void open_cell(Body& b, const ChunkItem& it) {
  TableRun& t = b.runs.back();
  close_cell(b);
  if (!t.row_open) OpenRow(0, b.status, b.w, b.c.tables.back());
  t.row_open = true;
  CellSpec spec;
  uint32_t row = it.a, col = it.b;
  uint32_t span = std::max<uint32_t>(it.c & 0xFFFF, 1), down = std::max<uint32_t>(it.c >> 16, 1);
  if (row < t.rows && col < t.cols) {
    spec.firstColumn = col;
    spec.columnCount = std::min(span, t.cols - col);
    spec.rowSpan = t.row_spans ? std::min(down, t.rows - row) - 1 : 0;
  } else {
    spec.firstColumn = t.cols;  // a cell the table scan did not count: written plain
  }
  b.c.tables.back().running = uint64_t(std::min(spec.firstColumn, t.cols)) * kColumnTwips;
  OpenCell(spec, false, b.status, b.w, b.c.tables.back());
  t.cell_open = true;
  BeginParagraph(0, 1, 0, 0, b.w);
}

// Closes the innermost link after the text written in it; formatting opened inside is
// closed first (and opened again before the next text).
void end_link(Body& b) {
  MarkLinkEnd(b.w);
  if (b.plain) return;
  close_spans(b);
  CloseFormatting(b.status, b.w);
  ClosePendingLinks(false, false, b.status, b.w);
}

// The link of a "#name" target or a bookmark name: the file of the bookmark, "#" and the
// name; empty when no bookmark has the name.
std::u16string bookmark_link(Body& b, std::u16string name, KVXIO* out) {
  name = name.substr(0, std::min(name.find(u'\0'), kMaxBookmarkName));  // as bookmark names are kept
  if (!b.c.bookmarks_named) {
    b.c.bookmarks_named = true;
    scan_for(b.c, -1, 0);
    for (uint32_t id : b.c.lists[kBookmarks]) {
      const ChunkItem& bm = b.c.items[position_of(b.c, id)];
      b.c.bookmark_ids.emplace(name_text(b.x, bm.b, bm.c, kMaxBookmarkName), id);
    }
  }
  auto it = b.c.bookmark_ids.find(name);
  if (it == b.c.bookmark_ids.end()) return u"";
  return file_link(b.x, out, it->second) + u"#" + name;
}

void open_link(Body& b, const ChunkItem& it, KVXIO* out) {
  uint32_t number = it.b;
  if (b.flags & kNoAnchorsFlag) return;
  std::u16string target = name_text(b.x, it.b, it.c, 1023);
  if (!target.empty() && target[0] == u'#') target = bookmark_link(b, target.substr(1), out);
  if (target.empty()) return;
  AddPendingLink(target, b.w);
  b.c.marks.push_back({'H', number});
}

void close_mark(Body& b, uint32_t letter) {
  for (size_t i = b.c.marks.size(); i-- > 0;) {
    if (b.c.marks[i].first != letter) continue;
    b.c.marks.erase(b.c.marks.begin() + long(i));
    if (letter != 'B') end_link(b);
    return;
  }
}

// A note mark group: a link to the note that carries the mark's number, unless the mark
// stands in that note's own text.
void open_note_mark(Body& b, size_t pos, KVXIO* out) {
  const ChunkItem& it = b.c.items[pos];
  int list = it.a == kMarkFootnote ? kFootnotes : it.a == kMarkEndnote ? kEndnotes : kAnnotations;
  uint32_t bit = list == kFootnotes ? 0x100 : list == kEndnotes ? 0x200 : 0x400;
  if (b.flags & (bit | kNoAnchorsFlag)) return;
  scan_for(b.c, -1, 0);
  const auto& l = b.c.lists[list];
  for (size_t n = 0; n < l.size(); ++n) {
    size_t ref = position_of(b.c, l[n]);
    if (ref >= b.c.items.size() || b.c.items[ref].b != it.b) continue;
    size_t first = 0, end = 0;
    if (note_text_range(b.c, ref, &first, &end) && pos >= first && pos < end) return;
    AddPendingLink(file_link(b.x, out, l[n]) + u"#" + make_element_name(note_prefix(list), uint32_t(n + 1)), b.w);
    b.c.marks.push_back({'F', it.b});
    return;
  }
}

// A note reference of the framework's form: the note's number as a raised mark linked to
// the note's anchor.
void note_reference_mark(Body& b, size_t pos, KVXIO* out) {
  const ChunkItem& it = b.c.items[pos];
  if (it.a < 1 || it.a > 3) return;
  int list = it.a == 1 ? kFootnotes : it.a == 2 ? kEndnotes : kAnnotations;
  size_t first = 0, end = 0;
  if (!note_text_range(b.c, pos, &first, &end)) return;
  uint32_t mark = it.a == 1 ? kMarkFootnote : it.a == 2 ? kMarkEndnote : kMarkAnnotation;
  for (size_t p = first; p < end; ++p)
    if (b.c.items[p].kind == kItemOpen && b.c.items[p].a == mark) return;  // the text has its marks
  if (pos > 0 && b.c.items[pos - 1].kind == kItemClose && b.c.items[pos - 1].a == mark) return;  // marked before
  if (it.a == 1 && b.c.first_footnote == kNoItem) b.c.first_footnote = pos > 0 ? b.c.items[pos - 1].id : 0;
  scan_for(b.c, -1, 0);
  uint32_t ordinal = ordinal_in(b.c.lists[list], it.id);
  bool link = !(b.flags & (kNoAnchorsFlag | (0x80u << it.a)));
  if (link) AddPendingLink(file_link(b.x, out, it.id) + u"#" + make_element_name(note_prefix(list), ordinal), b.w);
  SetCharAttribute(11, 1, b.w);
  write_ascii(b, std::to_string(it.b > 0 ? it.b : ordinal));
  SetCharAttribute(11, 0, b.w);
  if (link) end_link(b);
}

void write_text_item(Body& b, const ChunkItem& it) {
  if (it.c == 0 || it.c > kMaxRunUnits) return;
  std::vector<uint16_t> units(it.c);
  if (CHGetItems(b.x.chunker, KVXRANGE_TEXT, it.b, units.data(), it.c * 2) != KVX_OK) return;
  write_units(b, units.data(), it.c, it.a);
}

// The level (1-9) of the heading that starts at id in the settled mode; 0 for none.
int heading_level_at(const ContentState& c, uint32_t id) {
  const auto& lists = c.headings[c.heading_mode - 1];
  for (int l = 0; l < 9; ++l) {
    auto at = std::partition_point(lists[l].begin(), lists[l].end(), [id](uint32_t e) { return (e & ~kFiller) < id; });
    for (; at != lists[l].end() && (*at & ~kFiller) == id; ++at)
      if (!(*at & kFiller)) return l + 1;
  }
  return 0;
}

// Heading anchors: "body" at a heading's start, "content" at the paragraph after it
// unless that paragraph is the next heading of the same or a higher level (the heading
// then has no content of its own).
void heading_anchor(Body& b, uint32_t id, bool paragraph_start) {
  if (b.name == nullptr || b.plain) return;
  if (paragraph_start && b.content_anchor != kNoItem) {
    int here = heading_level_at(b.c, id);
    if (here == 0 || here > heading_level_at(b.c, b.content_anchor))
      queue_anchor(b, make_heading_name(b.c, b.content_anchor, "content"));
    b.content_anchor = kNoItem;
  }
  if (std::binary_search(b.heading_ids.begin(), b.heading_ids.end(), id)) {
    queue_anchor(b, make_heading_name(b.c, id, "body"));
    b.content_anchor = id;
  }
}

// A range written as contents: the heading it follows (the last heading start before
// it) has its "content" anchor at the range's start.
void contents_anchor(Body& b, uint32_t first_id) {
  uint32_t current = kNoItem;
  for (const auto& l : b.c.headings[b.c.heading_mode - 1]) {
    auto at = std::partition_point(l.begin(), l.end(), [first_id](uint32_t e) { return (e & ~kFiller) < first_id; });
    while (at != l.begin()) {
      --at;
      if (!(*at & kFiller)) {
        if (current == kNoItem || *at > current) current = *at;
        break;
      }
    }
  }
  if (current != kNoItem) queue_anchor(b, make_heading_name(b.c, current, "content"));
}

bool range_has_text(const ContentState& c, size_t first, size_t end) {
  for (size_t p = first; p < end; ++p) {
    const ChunkItem& it = c.items[p];
    if (it.kind == 0 && (it.a == kBreakPara || it.a == kBreakCell)) return true;
    if (it.kind == kItemText && it.c > 0) return true;
  }
  return false;
}

}  // namespace

using bodyconv::Body;

WriterState& content_writer(Export& x, KVXIO* out) {
  // The export's writer, configured when the export started: the element converters, the
  // picture side and the style sheet share its state.
  x.writer.s.output = out;
  return x.writer.s;
}

std::u16string file_link(Export& x, KVXIO* out, uint32_t id) {
  const Entry* best = nullptr;
  for (const Entry& e : x.entries) {
    if (e.element_id == kNoItem || e.element_id > id || !e.own_out) continue;
    if (best == nullptr || e.element_id > best->element_id) best = &e;
  }
  if (best == nullptr || best->out == out) return u"";
  return best->name;
}

std::u16string name_text(Export& x, uint32_t first, uint32_t count, uint32_t max) {
  std::u16string s;
  if (first == kNoItem || count == 0) return s;
  count = std::min(count, max);
  std::vector<uint16_t> units(count);
  if (CHGetItems(x.chunker, KVXRANGE_NAMES, first, units.data(), count * 2) != KVX_OK) return s;
  for (uint16_t u : units) {
    if (u == 0) break;
    s.push_back(char16_t(u));
  }
  return s;
}

KVXSTATUS write_plain(Export& x, KVXIO* out, const std::u16string& text) {
  WriterState& w = content_writer(x, out);
  uint32_t status = 0;
  WriteUnicodeText(text, status, w);
  return status;
}

KVXSTATUS convert_body(Export& x, KVXIO* out, size_t first, size_t end, uint32_t flags, const char* name,
                       const std::u16string& anchor) {
  ContentState& c = content(x);
  end = std::min(end, c.items.size());
  if (first >= end || !range_has_text(c, first, end)) return KVX_OK;
  WriterState& w = content_writer(x, out);
  Body b{x, c, w, flags, (flags & kNoAnchorsFlag) != 0, false, false, 0, {}, {}, {}, kNoItem, name, {}, {}, {},
         kNoItem, -1, 0, false, {}, false, kNoItem, kNoStyleId, {}, {}};
  // Paragraph and character styles go through the class and inline writers where the
  // flavour writes paragraph STYLE= or classes.
  b.css = !b.plain && (x.writer.useClasses || TagAllowed(132, w.flavour));
  scan_for(c, -1, 0);
  size_t tables_before = c.tables.size();
  if (!b.plain) {
    BeginElement((flags & 0x40000000u) ? 4 : 0, w);
    if (name != nullptr && section_type_at(c, first) == 0) {
      settle_headings(c);
      for (const auto& l : c.headings[c.heading_mode - 1])
        for (uint32_t e : l)
          if (!(e & kFiller) && e >= c.items[first].id && e <= c.items[end - 1].id) b.heading_ids.push_back(e);
      std::sort(b.heading_ids.begin(), b.heading_ids.end());
      if (first == 0 && !std::binary_search(b.heading_ids.begin(), b.heading_ids.end(), c.items[0].id))
        queue_anchor(b, make_heading_name(c, c.items[0].id, "content"));
      if (std::strcmp(name, "content") == 0 && !(flags & kNoAnchorsFlag)) contents_anchor(b, c.items[first].id);
    }
    if (!(flags & 0x40000000u)) queue_anchor(b, anchor);
    BeginParagraph(0, 1, 0, 0, w);
  }
  size_t marks_before = c.marks.size();
  bool para_start = true;
  bool para_begin = true;  // the next item is the first of a paragraph (not after a line break)
  for (size_t p = first; p < end && b.status == 0; ++p) {
    const ChunkItem& it = c.items[p];
    if (para_begin) {
      b.para_first = it.id;
      start_numbering(b, p, end, false);
      if (b.status != 0) break;
    }
    para_begin = false;
    heading_anchor(b, it.id, para_start);
    para_start = false;
    switch (it.kind) {
      case kItemText:
        write_text_item(b, it);
        break;
      case 0:
        if (!b.plain && !b.runs.empty() && it.a == kBreakRow) {
          close_row(b);
          para_begin = true;
        } else if (!b.plain && !b.runs.empty() && it.a == kBreakCell) {
          close_cell(b);
          para_begin = true;
        } else if (it.a == kBreakPara || it.a == kBreakLine || it.a == kBreakPage || it.a == kBreakRow ||
                   it.a == kBreakCell) {
          end_paragraph(b, it.a == kBreakLine);
          para_start = true;
          para_begin = it.a != kBreakLine;
        }
        break;
      case 0x400:
        // The paragraph's attributes change: gathered again from here, its numbering
        // updated, and a paragraph already open begins again.
        if (!b.plain && b.w.paraOpen) {
          end_para(b);
          BeginParagraph(0, 1, 0, 0, b.w);
        }
        b.para_first = it.id;
        start_numbering(b, p, end, true);
        break;
      case 0x401:
        end_paragraph(b);
        para_start = true;
        para_begin = true;
        break;
      case kItemTableStart:
        if (!b.plain && !(flags & kNoTablesFlag)) open_table(b, p, end);
        para_begin = true;
        break;
      case kItemTableEnd:
        if (!b.plain && !b.runs.empty()) close_table(b);
        para_begin = true;
        break;
      case kItemCellStart:
        if (!b.plain && !b.runs.empty()) open_cell(b, it);
        para_begin = true;
        break;
      case kItemGraphic:
        if (!b.plain) {
          // The graphic's ordinal among the document's graphics names its anchor.
          const std::vector<uint32_t>& graphics = c.lists[kGraphics];
          const auto at = std::lower_bound(graphics.begin(), graphics.end(), it.id);
          if (at != graphics.end() && *at == it.id) {
            start_text(b);
            b.status = WriteGraphic(x, flags, 0, it.id, uint32_t(at - graphics.begin()) + 1);
          }
        }
        break;
      case kItemParaStyle:
        if (!b.plain && w.paraPending && !w.paraOpen) w.headingLevel = it.b >= 2 && it.b <= 7 ? int(it.b) - 1 : 0;
        b.para_style = it.b;
        if (b.css) apply_char_style(b, it.b);
        break;
      case kItemListNumbering:
        if (it.a == 10) b.para_level = int(std::min<uint32_t>(it.b, 11));
        break;
      case kItemListNumber:
        if (it.a == 10) b.para_number = it.c;
        break;
      case kItemSpecial:
        if (it.a != 0) {
          start_text(b);
          WriteTextItem(it.a, b.status, w);
        }
        break;
      case kItemField:
        numbering_field(b, it);
        break;
      case kItemNoteRef:
        note_reference_mark(b, p, out);
        break;
      case kItemString: {
        char text[128] = {};
        if (UTGetString(it.a, text, sizeof text, 0) == KVX_OK) write_ascii(b, text);
        break;
      }
      case kItemCharAttr:
      case kItemFontSize:
      case kItemFont:
      case kItemColour:
      case kItemBackground:
      case kItemOffset:
        format_item(b, it);
        break;
      case kItemOpen:
        if (it.a == kGroupLinkKvx || it.a == kGroupLink12 || it.a == kGroupLink16) {
          open_link(b, it, out);
        } else if (it.a == kGroupBookmarkKvx || it.a == kGroupBookmark) {
          if (it.a == kGroupBookmarkKvx || !(it.c & 1)) {
            if (!b.plain) AddPendingAnchor(name_text(x, it.b, it.c, kMaxBookmarkName), w);
            c.marks.push_back({'B', it.b});
          }
        } else if (it.a == kGroupIndexEntry) {
          if (!b.plain) AddPendingAnchor(make_element_name("indexentry", ordinal_in(c.lists[kIndexEntries], it.id)), w);
          p = c.close_of[p];
        } else if (it.a == kMarkFootnote || it.a == kMarkEndnote || it.a == kMarkAnnotation) {
          open_note_mark(b, p, out);
        } else if (it.a == kScopeA || it.a == kScopeB || it.a == kScopeC) {
          b.scopes.push_back(Body::CharState::of(w));
          b.scope_runs.push_back(b.run);
        } else if (it.a == kGroupOutline || it.a == kGroupOutline2) {
          // The outline group holds the heading's running text: its paragraph is a heading.
          if (!b.plain && w.paraPending && !w.paraOpen) w.headingLevel = int(std::clamp<uint32_t>(it.b, 1, 6));
        } else if (it.a == 0x170000u || it.a == 0x180000u || (it.a & kGroupSkip)) {
          p = c.close_of[p];
        }
        break;
      case kItemClose:
        if (it.a == kGroupLinkKvx || it.a == kGroupLink12 || it.a == kGroupLink16) close_mark(b, 'H');
        else if (it.a == kGroupBookmarkKvx || it.a == kGroupBookmark) close_mark(b, 'B');
        else if (it.a == kMarkFootnote || it.a == kMarkEndnote || it.a == kMarkAnnotation) close_mark(b, 'F');
        else if ((it.a == kScopeA || it.a == kScopeB || it.a == kScopeC) && !b.scopes.empty()) {
          // The scope's formatting ends with it: the face, size and colour of the font tag
          // too, as the flags and codes.
          b.scopes.back().restore(w);
          b.scopes.pop_back();
          b.run = b.scope_runs.back();
          b.scope_runs.pop_back();
        }
        break;
      default:
        break;
    }
  }
  close_lists(b);
  while (!b.runs.empty()) close_table(b);
  if (!b.plain && !b.w.indentLevels.empty()) {
    if (b.w.paraOpen) end_para(b);
    EndIndent(b.status, b.w);
  }
  end_char_style(b);
  while (c.tables.size() > tables_before) CloseTable(b.status, w, c.tables);
  if (c.marks.size() > marks_before) {
    for (size_t i = marks_before; i < c.marks.size(); ++i)
      if (c.marks[i].first != 'B') MarkLinkEnd(w);
    c.marks.resize(marks_before);
  }
  if (!b.plain) {
    close_spans(b);
    if (b.open_style != kNoStyleId) end_para(b);
    end_border_group(b);
    KVXSTATUS st = EndElement(w);
    if (b.status == 0) b.status = st;
  } else {
    CloseFormatting(b.status, w);
  }
  return b.status;
}

}  // namespace pc
