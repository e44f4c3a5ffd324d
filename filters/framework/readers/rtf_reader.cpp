// The RTF reader, over a tokenizer of its own: groups (depth capped: deeper groups are
// read for their braces only), control words with bounded names and parameters, \binN
// checked against what is left, text bytes decoded in the current font's character set
// (\fcharset136 and \ansicpg950: Big5 \'xx pairs; else CP1252), \uN with \ucN,
// paragraphs, line breaks, tabs, character toggles, footnotes and endnotes (\footnote,
// \ftnalt) as notes at their place (in tables only their marks), bookmarks
// (\bkmkstart), the \info title, subject, author, keywords and comment as properties (the
// Unicode copy of \upr's \ud where a writer gives one), the
// result text of fields (HYPERLINK results inside hyperlink groups, outside tables), and
// headers and footers (\header, \footer and their l, r and f forms) as page parts at their
// place, tables (\trowd ... \cell ... \row, with horizontal \clmgf/\clmrg and vertical
// \clvmgf/\clvmrg merges as spans), text colours (\cf over the \colortbl entries, the
// enclosing colour back at a group's end), fonts and sizes (\f over the \fonttbl names,
// \fs, \plain back to \deff and 12 points, the enclosing ones back at a group's end).
// Destinations that hold no running text (font
// and style tables, pictures) are stepped over. A Big5 document also
// gets the document character-set item. Paragraph styles (\sN) come out as paragraph-style
// items with the outline level of their stylesheet entry (\outlinelevel, a "heading N"
// name, or their \sbasedon parents').
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {

constexpr size_t kMaxDepth = 200;
constexpr size_t kMaxWord = 32;
constexpr size_t kMaxBookmarkName = 1023;
constexpr size_t kMaxPropertyUnits = 4096;
constexpr size_t kMaxColours = 4096;
constexpr uint32_t kAutoColour = 0xFFFFFFFFu;  // a colour-table entry without components
constexpr size_t kMaxFontName = 160;
constexpr size_t kMaxFontEntries = 4096;

struct GroupState {
  int uc = 1;
  int font = -1;
  bool skip = false;
  bool bookmark = false;  // collecting a \bkmkstart name
  uint8_t attrs = 0;      // bits of kAttrs
  bool info = false;      // inside \info: only its properties give text
  uint8_t prop = 0;       // collecting the text of property number prop
  bool unicode = false;   // inside \*\ud: the Unicode copies of the \upr properties
  bool fldinst = false;   // collecting a field instruction
  bool link = false;      // a hyperlink group is open for this field result
  bool note = false;      // the group of a note's text
  bool part = false;      // the group of a header's or footer's text
  bool styles = false;    // inside \stylesheet: style entries, their text is their name
  bool colours = false;   // inside \colortbl: entries of \red, \green, \blue up to ';'
  int colour = 0;         // \cf: index in the colour table, 0 the default colour
  int size = 24;          // \fs: half-points
};

struct StyleDef {
  int32_t parent = -1;
  int32_t outline = -1;  // 0-8, -1 not given
};

// Property numbers of the \info destinations that are read.
uint8_t info_property(std::string_view w) {
  if (w == "title") return 6;
  if (w == "subject") return 5;
  if (w == "author") return 4;
  if (w == "keywords") return 2;
  if (w == "doccomm") return 1;
  return 0;
}

// The target of a HYPERLINK field instruction: its quoted (or first) argument, "#"
// before it when the \l switch names a bookmark; empty for other fields.
std::vector<uint16_t> hyperlink_target(const std::vector<uint16_t>& inst) {
  std::string s;
  for (uint16_t u : inst) s += u < 0x80 ? char(u) : '\x01';
  size_t at = s.find("HYPERLINK");
  if (at == std::string::npos || s.find_first_not_of(" ") != at) return {};
  at += 9;
  bool anchor = false;
  std::vector<uint16_t> out;
  while (at < s.size()) {
    while (at < s.size() && s[at] == ' ') ++at;
    if (s.compare(at, 2, "\\l") == 0) {
      anchor = true;
      at += 2;
      continue;
    }
    if (at >= s.size()) break;
    size_t end;
    if (s[at] == '"') {
      end = s.find('"', at + 1);
      if (end == std::string::npos) end = s.size();
      out.assign(inst.begin() + long(at + 1), inst.begin() + long(end));
    } else {
      end = s.find(' ', at);
      if (end == std::string::npos) end = s.size();
      out.assign(inst.begin() + long(at), inst.begin() + long(end));
    }
    break;
  }
  if (anchor && !out.empty()) out.insert(out.begin(), uint16_t('#'));
  return out;
}

constexpr uint32_t kAttrs[] = {KVXATTR_BOLD,      KVXATTR_ITALIC,      KVXATTR_UNDERLINE,
                               KVXATTR_STRIKE,    KVXATTR_SUBSCRIPT,   KVXATTR_SUPERSCRIPT};

int attr_bit(std::string_view w) {
  if (w == "b") return 0;
  if (w == "i") return 1;
  if (w == "ul") return 2;
  if (w == "strike" || w == "striked") return 3;
  if (w == "sub") return 4;
  if (w == "super") return 5;
  return -1;
}

// Headers (all pages, left, right, first) and footers.
uint32_t page_part_kind(std::string_view w) {
  if (w == "header" || w == "headerl" || w == "headerr" || w == "headerf") return DocWriter::kHeader;
  if (w == "footer" || w == "footerl" || w == "footerr" || w == "footerf") return DocWriter::kFooter;
  return 0;
}

bool skipped_destination(std::string_view w) {
  static constexpr std::string_view kWords[] = {
      "fonttbl", "colortbl", "pict", "object", "header", "footer", "headerl", "headerr",
      "headerf", "footerl", "footerr", "footerf", "xmlnstbl", "listtable",
      "listoverridetable", "rsidtbl", "generator", "themedata", "colorschememapping", "latentstyles", "datastore",
      "bkmkend", "filetbl", "revtbl", "shppict", "nonshppict", "pgdsctbl", "docvar", "userprops", "annotation",
      "atnid", "atnauthor", "comment", "private", "pntext", "pntxta", "pntxtb", "listtext", "mmathPr", "ftnsep",
      "ftnsepc", "aftnsep", "aftnsepc", "wgrffmtfilter", "defchp", "defpap"};
  for (std::string_view k : kWords)
    if (w == k) return true;
  return false;
}

// One table cell as recorded until the table ends (its row count is known only then).
struct Op {
  enum Kind { Text, Para, Line, Attr, Bookmark, CellEnd, RowEnd, Footnote, Colour, Font, Size } kind;
  std::vector<uint16_t> units;  // Text, Bookmark, Font (its face name)
  uint32_t a = 0, b = 0;        // Attr: attribute, on; Colour: 0x00BBGGRR; Size: twips
};

struct CellDef {
  bool hmerge_first = false, hmerge = false, vmerge_first = false, vmerge = false;
};

class RtfReader {
 public:
  RtfReader(std::string_view s, DocWriter& w) : s_(s), w_(w) {}

  void run() {
    stack_.push_back(GroupState{});
    size_t extra_depth = 0;
    while (pos_ < s_.size() && !w_.failed()) {
      char c = s_[pos_];
      if (c == '{') {
        ++pos_;
        flush_bytes();
        if (stack_.size() >= kMaxDepth) {
          ++extra_depth;
          continue;
        }
        stack_.push_back(stack_.back());
        stack_.back().bookmark = false;
        star_ = false;
        if (stack_.back().styles && stack_.size() == styles_depth_ + 2) {  // a style entry starts
          entry_style_ = 0;
          entry_ = StyleDef{};
          entry_name_.clear();
        }
      } else if (c == '}') {
        ++pos_;
        flush_bytes();
        if (extra_depth > 0) {
          --extra_depth;
          continue;
        }
        if (stack_.size() <= 1) break;  // the document's own group is closed
        end_group();
      } else if (c == '\\') {
        ++pos_;
        control();
      } else if (c == '\r' || c == '\n') {
        ++pos_;
      } else {
        ++pos_;
        if (extra_depth == 0) byte(uint8_t(c));
      }
    }
    flush_bytes();
    end_table();
  }

 private:
  GroupState& st() { return stack_.back(); }

  void end_group() {
    GroupState closed = stack_.back();
    if (closed.styles && stack_.size() == styles_depth_ + 2) end_style_entry();
    if (in_fonttbl() && stack_.size() == fonttbl_depth_ + 2) end_font_entry();
    stack_.pop_back();
    if (stack_.size() == fonttbl_depth_) fonttbl_depth_ = 0;
    if (closed.part && !st().part) {
      flush_bytes();
      end_table();
      w_.page_part_end();
      in_part_ = false;
    }
    if (closed.bookmark) {
      op_bookmark(bookmark_name_);
      bookmark_name_.clear();
    }
    // Character attributes end with their group.
    for (size_t k = 0; k < std::size(kAttrs); ++k) {
      bool was = closed.attrs >> k & 1, now = st().attrs >> k & 1;
      if (was != now && !closed.skip) op_attr(kAttrs[k], now);
    }
    if (closed.colour != st().colour && !closed.skip) op_colour(st().colour);
    if (stack_.size() > 1) sync_font();
    if (closed.fldinst && !st().fldinst) link_target_ = hyperlink_target(field_inst_);
    if (closed.link && !st().link) w_.hyperlink_end();
    if (closed.note && !st().note) {
      w_.note_end();
      in_note_ = false;
    }
    if (closed.info && !st().info) {
      for (uint8_t number : {6, 5, 4, 2, 1}) w_.property(number, props_[number]);
    }
  }

  bool big5_font() const { return big5_charset(stack_.back().font); }

  bool big5_charset(int32_t font) const {
    auto it = font_charset_.find(font);
    int cs = it == font_charset_.end() ? -1 : it->second;
    return cs == 136 || ((cs == -1 || cs == 0 || cs == 1) && ansicpg_ == 950);
  }

  void byte(uint8_t b) {
    if (skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    if (in_fonttbl()) {
      // A font entry's name: its own text up to ';', not that of groups inside it.
      size_t level = stack_.size() - 1;
      if (level != fonttbl_depth_ && level != fonttbl_depth_ + 1) return;
      if (b == ';') end_font_entry();
      else if (font_entry_.size() < kMaxFontName) font_entry_ += char(b);
      return;
    }
    if (st().colours) {
      if (b == ';' && colour_table_.size() < kMaxColours) {
        colour_table_.push_back(entry_colour_);
        entry_colour_ = kAutoColour;
      }
      return;
    }
    if (st().skip) return;
    bool big5 = big5_font();
    if (!bytes_.empty() && big5 != bytes_big5_) flush_bytes();
    bytes_big5_ = big5;
    bytes_ += char(b);
  }

  void flush_bytes() {
    if (bytes_.empty()) return;
    std::vector<uint16_t> units;
    if (bytes_big5_) {
      units = decode(bytes_, SourceEncoding::Big5);
    } else {
      units = decode(bytes_, SourceEncoding::Cp1252);
    }
    bytes_.clear();
    text(units);
  }

  void text(const std::vector<uint16_t>& units) {
    if (st().styles) {
      for (uint16_t u : units)
        if (entry_name_.size() < 64 && u != ';') entry_name_ += u < 0x80 ? char(std::tolower(u)) : '?';
      return;
    }
    if (st().prop) {
      std::vector<uint16_t>& p = props_[st().prop];
      for (uint16_t u : units)
        if (p.size() < kMaxPropertyUnits) p.push_back(u);
      return;
    }
    if (st().fldinst) {
      for (uint16_t u : units)
        if (field_inst_.size() < kMaxPropertyUnits) field_inst_.push_back(u);
      return;
    }
    if (st().info) return;
    if (st().bookmark) {
      for (uint16_t u : units)
        if (bookmark_name_.size() < kMaxBookmarkName) bookmark_name_.push_back(u);
      return;
    }
    if (in_table_) {
      if (!ops_.empty() && ops_.back().kind == Op::Text) ops_.back().units.insert(ops_.back().units.end(), units.begin(), units.end());
      else ops_.push_back({Op::Text, units});
      return;
    }
    w_.text(units);
  }

  bool in_fonttbl() const { return fonttbl_depth_ > 0 && stack_.size() > fonttbl_depth_; }

  void op_attr(uint32_t attr, bool on) {
    if (in_table_) ops_.push_back({Op::Attr, {}, attr, on ? 1u : 0u});
    else w_.attribute(attr, on);
  }
  // The text colour of table entry index; the default (black) for an automatic entry or
  // an index beyond the table.
  void op_colour(int index) {
    uint32_t bgr = index >= 0 && size_t(index) < colour_table_.size() ? colour_table_[size_t(index)] : kAutoColour;
    if (bgr == kAutoColour) bgr = 0;
    if (in_table_) ops_.push_back({Op::Colour, {}, bgr});
    else w_.text_colour(bgr);
  }
  void op_bookmark(const std::vector<uint16_t>& name) {
    if (in_table_) ops_.push_back({Op::Bookmark, name});
    else w_.bookmark(name);
  }
  void op(Op::Kind k) {
    flush_bytes();
    if (in_table_) ops_.push_back({k, {}});
    else if (k == Op::Para) w_.paragraph();
    else if (k == Op::Line) w_.line_break();
    else if (k == Op::Footnote) w_.footnote_reference();
  }

  // Reads a control word or symbol after its backslash.
  void control() {
    if (pos_ >= s_.size()) return;
    char c = s_[pos_];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++pos_;
      symbol(c);
      return;
    }
    std::string word;
    while (pos_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[pos_]))) {
      if (word.size() < kMaxWord) word += s_[pos_];
      ++pos_;
    }
    bool has_param = false, neg = false;
    long long param = 0;
    if (pos_ < s_.size() && s_[pos_] == '-') neg = true, ++pos_;
    while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
      has_param = true;
      param = std::min<long long>(param * 10 + (s_[pos_] - '0'), 0x7FFFFFFF);
      ++pos_;
    }
    if (neg) param = -param;
    if (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
    keyword(word, has_param, int32_t(param));
  }

  void symbol(char c) {
    if (c == '\'') {
      if (pos_ + 2 > s_.size()) {
        pos_ = s_.size();
        return;
      }
      char hex[3] = {s_[pos_], s_[pos_ + 1], 0};
      pos_ += 2;
      if (!std::isxdigit(static_cast<unsigned char>(hex[0])) || !std::isxdigit(static_cast<unsigned char>(hex[1]))) return;
      byte(uint8_t(std::strtoul(hex, nullptr, 16)));
      return;
    }
    if (c == '*') {
      star_ = true;
      return;
    }
    if (c == '\\' || c == '{' || c == '}') return byte(uint8_t(c));
    if (c == '\n' || c == '\r') {
      if (!st().skip) op(Op::Para);
      return;
    }
    if (skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    if (st().skip) return;
    flush_bytes();
    if (c == '~') text({0xA0});
    else if (c == '_') text({0x2011});
    else if (c == '|' || c == '-' || c == ':') return;
  }

  // Control words are compared as views: a length that differs settles most comparisons
  // at once, where comparing a string with a C string measured and compared every one.
  void keyword(std::string_view w, bool has_param, int32_t p) {
    bool starred = star_;
    star_ = false;
    if (w == "bin") {
      // Binary data: stepped over, never beyond the end.
      size_t n = has_param && p > 0 ? size_t(p) : 0;
      pos_ += std::min(n, s_.size() - pos_);
      return;
    }
    if (w == "ansicpg" && has_param) ansicpg_ = p;
    if (w == "fonttbl") fonttbl_depth_ = stack_.size() - 1;
    if (in_fonttbl() || (fonttbl_depth_ > 0 && stack_.size() - 1 == fonttbl_depth_)) {
      if (w == "f" && has_param) current_font_def_ = p, font_entry_.clear();
      if (w == "fcharset" && has_param) font_charset_[current_font_def_] = p;
    }
    if (w == "colortbl" && !st().skip) {
      flush_bytes();
      st().colours = true;
      colour_table_.clear();
      entry_colour_ = kAutoColour;
      return;
    }
    if (st().colours) {
      int shift = w == "red" ? 0 : w == "green" ? 8 : w == "blue" ? 16 : -1;
      if (shift >= 0 && has_param) {
        if (entry_colour_ == kAutoColour) entry_colour_ = 0;
        entry_colour_ = (entry_colour_ & ~(0xFFu << shift)) | uint32_t(std::clamp(p, 0, 255)) << shift;
      }
      return;
    }
    if (w == "stylesheet" && !st().skip) {
      flush_bytes();
      st().styles = true;
      styles_depth_ = stack_.size() - 1;
      return;
    }
    if (st().styles) {
      if ((w == "s" || w == "cs" || w == "ds" || w == "ts" || w == "tsrowd") && has_param)
        entry_style_ = w == "s" ? p : -1;
      else if (w == "sbasedon" && has_param) entry_.parent = p;
      else if (w == "outlinelevel" && has_param) entry_.outline = p;
      if (!starred) return;
    }
    if (w == "info" && !st().skip) {
      flush_bytes();
      st().info = true;
      return;
    }
    // {\upr{\title ANSI text}{\*\ud{\title Unicode text}}}: the Unicode copy wins over
    // the ANSI one, whose characters outside the code page are "?".
    if (w == "ud" && starred && st().info && !st().skip && !st().prop) {
      st().unicode = true;
      return;
    }
    if (st().info && !st().skip && !st().prop && info_property(w)) {
      flush_bytes();
      const uint8_t number = info_property(w);
      if (st().unicode) {
        if (!unicode_props_[number]) props_[number].clear();
        unicode_props_[number] = true;
      } else if (unicode_props_[number]) {
        st().skip = true;
        return;
      }
      st().prop = number;
      return;
    }
    if (w == "fldinst" && !st().skip) {
      flush_bytes();
      st().fldinst = true;
      field_inst_.clear();
      return;
    }
    if (st().fldinst && w == "l") {
      flush_bytes();
      text({'\\', 'l', ' '});
      return;
    }
    // Text after the last row of a table (\pard without \intbl) ends the table at once
    // where a note or a link needs the running text.
    if ((w == "fldrslt" || w == "footnote" || w == "chftn") && in_table_ && !intbl_ && !st().skip) end_table();
    if (w == "fldrslt" && !st().skip && !link_target_.empty() && !in_table_ && !in_note_) {
      flush_bytes();
      st().link = w_.hyperlink(link_target_);
      link_target_.clear();
      return;
    }
    if (uint32_t kind = page_part_kind(w); kind != 0 && !st().skip && !in_note_ && !in_part_ && !st().info) {
      if (in_table_ && !intbl_) end_table();
      if (!in_table_) {
        flush_bytes();
        st().part = in_part_ = true;
        w_.page_part(kind);
        return;
      }
    }
    if (w == "footnote" && !st().skip && !in_table_ && !in_note_ && !in_part_ && !st().info) {
      flush_bytes();
      bool endnote = s_.substr(pos_).starts_with("\\ftnalt");
      st().note = in_note_ = true;
      w_.note(endnote ? 2 : 1);
      return;
    }
    if ((w == "footnote" || w == "fldinst") || skipped_destination(w) ||
        (starred && w != "bkmkstart" && w != "fldrslt")) {
      flush_bytes();
      st().skip = true;
      return;
    }
    if (w == "bkmkstart") {
      flush_bytes();
      st().bookmark = true;
      return;
    }
    if (w == "uc" && has_param) {
      st().uc = std::clamp(p, 0, 16);
      return;
    }
    if (w == "u" && has_param) {
      if (st().skip) {
        skip_chars_ = size_t(st().uc);
        return;
      }
      flush_bytes();
      text({uint16_t(p < 0 ? p + 65536 : p)});
      skip_chars_ = size_t(st().uc);
      return;
    }
    if (skip_chars_ > 0) {  // a control word counts as one skipped character
      --skip_chars_;
      return;
    }
    if (w == "f" && has_param) {
      flush_bytes();
      st().font = p;
      sync_font();
      return;
    }
    if (w == "deff" && has_param) deff_ = p;
    if (st().skip) return;
    int bit = attr_bit(w);
    if (w == "ulnone") bit = 2, has_param = true, p = 0;
    if (w == "nosupersub") {
      set_attr(4, false);
      set_attr(5, false);
      return;
    }
    if (w == "plain") {
      for (int k = 0; k < 6; ++k) set_attr(k, false);
      set_colour(0);
      flush_bytes();
      st().font = deff_;
      st().size = 24;
      sync_font();
      return;
    }
    if (w == "fs") {
      flush_bytes();
      st().size = has_param && p > 0 ? std::min(p, 3276) : 24;
      sync_font();
      return;
    }
    if (w == "cf") {
      set_colour(has_param ? std::max(p, 0) : 0);
      return;
    }
    if (bit >= 0) {
      set_attr(bit, !has_param || p != 0);
      return;
    }
    if (w == "par" || w == "sect" || w == "page") {
      if (!intbl_ && in_table_) end_table();
      op(Op::Para);
    } else if (w == "line") {
      op(Op::Line);
    } else if (w == "chftn" && in_table_) {
      op(Op::Footnote);  // notes in tables keep only their marks
    } else if (w == "tab") {
      flush_bytes();
      text({'\t'});
    } else if (w == "emdash") {
      flush_bytes(), text({0x2014});
    } else if (w == "endash") {
      flush_bytes(), text({0x2013});
    } else if (w == "bullet") {
      flush_bytes(), text({0x2022});
    } else if (w == "lquote" || w == "rquote") {
      flush_bytes(), text({uint16_t(w[0] == 'l' ? 0x2018 : 0x2019)});
    } else if (w == "ldblquote" || w == "rdblquote") {
      flush_bytes(), text({uint16_t(w[0] == 'l' ? 0x201C : 0x201D)});
    } else if (w == "pard") {
      intbl_ = false;
    } else if ((w == "s" || w == "outlinelevel") && has_param && p >= 0 && !in_table_ && !st().info) {
      // A paragraph style (or a direct outline level) at the paragraph's start.
      flush_bytes();
      int32_t outline = w == "s" ? style_outline(p) : p;
      uint32_t level = outline >= 0 && outline <= 8 ? uint32_t(outline + 2) : 0;
      if (w == "outlinelevel" || level != 0 || p != 0) w_.paragraph_style(w == "s" ? uint32_t(p) : 0, level);
    } else if (w == "intbl") {
      intbl_ = true;
      if (!in_table_) begin_table();
    } else if (w == "trowd") {
      row_defs_.clear();
      next_def_ = CellDef{};
      if (!in_table_) begin_table();
    } else if (w == "clmgf") {
      next_def_.hmerge_first = true;
    } else if (w == "clmrg") {
      next_def_.hmerge = true;
    } else if (w == "clvmgf") {
      next_def_.vmerge_first = true;
    } else if (w == "clvmrg") {
      next_def_.vmerge = true;
    } else if (w == "cellx") {
      if (row_defs_.size() < DocWriter::kMaxTableColumns) row_defs_.push_back(next_def_);
      next_def_ = CellDef{};
    } else if (w == "cell" && in_table_) {
      op(Op::CellEnd);
    } else if (w == "row" && in_table_) {
      op(Op::RowEnd);
      rows_.push_back(row_defs_);
    }
  }

  void end_style_entry() {
    flush_bytes();
    if (entry_style_ < 0 || style_defs_.size() >= 4096) return;
    // A style named "heading N" without an outline level of its own is one of level N - 1.
    while (!entry_name_.empty() && entry_name_.back() == ' ') entry_name_.pop_back();
    size_t at = entry_name_.find_first_not_of(' ');
    std::string name = at == std::string::npos ? "" : entry_name_.substr(at);
    if (entry_.outline < 0 && name.size() == 9 && name.starts_with("heading ") && name[8] >= '1' && name[8] <= '9')
      entry_.outline = name[8] - '1';
    style_defs_[entry_style_] = entry_;
  }

  // The outline level of a style through its parents (at most 16 steps), -1 when none.
  int32_t style_outline(int32_t style) const {
    for (int step = 0; step < 16; ++step) {
      auto it = style_defs_.find(style);
      if (it == style_defs_.end()) return -1;
      if (it->second.outline >= 0) return it->second.outline;
      style = it->second.parent;
    }
    return -1;
  }

  // A font table entry ends: its name, decoded in its own character set, kept by number.
  void end_font_entry() {
    while (!font_entry_.empty() && font_entry_.back() == ' ') font_entry_.pop_back();
    size_t at = font_entry_.find_first_not_of(' ');
    if (at != std::string::npos && current_font_def_ >= 0 && font_names_.size() < kMaxFontEntries &&
        !font_names_.contains(current_font_def_))
      font_names_[current_font_def_] = decode(font_entry_.substr(at), big5_charset(current_font_def_)
                                                                         ? SourceEncoding::Big5
                                                                         : SourceEncoding::Cp1252);
    font_entry_.clear();
  }

  // Text that goes to the running text (not to a table, property, field or name).
  bool emitting() const {
    const GroupState& g = stack_.back();
    return !g.skip && !g.styles && !g.colours && !g.info && !g.fldinst && !g.bookmark && !in_fonttbl();
  }

  // The font and size in force written when they differ from the last ones written.
  void sync_font() {
    if (!emitting()) return;
    if (st().font != written_font_) {
      written_font_ = st().font;
      auto it = font_names_.find(st().font);
      std::vector<uint16_t> name = it == font_names_.end() ? std::vector<uint16_t>{} : it->second;
      if (in_table_) ops_.push_back({Op::Font, name});
      else w_.font(name);
    }
    if (st().size != written_size_) {
      written_size_ = st().size;
      uint32_t twips = uint32_t(st().size) * 10;
      if (in_table_) ops_.push_back({Op::Size, {}, twips});
      else w_.font_size(twips);
    }
  }

  void set_colour(int index) {
    if (st().colour == index) return;
    flush_bytes();
    st().colour = index;
    op_colour(index);
  }

  void set_attr(int bit, bool on) {
    bool was = st().attrs >> bit & 1;
    if (was == on) return;
    flush_bytes();
    st().attrs = uint8_t(on ? st().attrs | 1u << bit : st().attrs & ~(1u << bit));
    op_attr(kAttrs[bit], on);
  }

  void begin_table() {
    flush_bytes();
    in_table_ = true;
    ops_.clear();
    rows_.clear();
  }

  // Replays the recorded rows as a table: each row's cells from its definitions, merged
  // cells folded into the first of their merge.
  void end_table() {
    if (!in_table_) return;
    flush_bytes();
    in_table_ = false;
    std::vector<Op> ops = std::move(ops_);
    ops_.clear();
    // Rows end at RowEnd; what follows the last row is running text.
    size_t last_row_end = 0;
    uint32_t row_count = 0;
    for (size_t i = 0; i < ops.size(); ++i)
      if (ops[i].kind == Op::RowEnd) last_row_end = i + 1, ++row_count;
    uint32_t columns = 0;
    for (const auto& r : rows_) columns = std::max<uint32_t>(columns, uint32_t(r.size()));
    if (row_count > 0 && columns > 0 && w_.table_depth() == 0) {
      w_.table_start(row_count, columns);
      size_t row = 0, cell = 0;
      bool open = false, skip = false;
      for (size_t i = 0; i < last_row_end && !w_.failed(); ++i) {
        const Op& o = ops[i];
        if (o.kind == Op::RowEnd) {
          if (open) w_.end_cell();
          w_.end_row();
          ++row, cell = 0, open = false, skip = false;
          continue;
        }
        if (!open && !skip) {
          const std::vector<CellDef>& defs = rows_[row];
          CellDef d = cell < defs.size() ? defs[cell] : CellDef{};
          skip = d.hmerge || d.vmerge || cell >= defs.size();
          if (!skip) {
            uint32_t cs = 1, rs = 1;
            if (d.hmerge_first)
              while (cell + cs < defs.size() && defs[cell + cs].hmerge) ++cs;
            if (d.vmerge_first)
              while (row + rs < rows_.size() && cell < rows_[row + rs].size() && rows_[row + rs][cell].vmerge) ++rs;
            open = w_.cell(cs, rs);
          }
        }
        if (o.kind == Op::CellEnd) {
          if (open) w_.end_cell();
          open = skip = false;
          ++cell;
          continue;
        }
        if (skip) continue;
        replay(o);
      }
      w_.table_end();
    } else {
      last_row_end = 0;
    }
    for (size_t i = last_row_end; i < ops.size(); ++i) replay(ops[i]);
    rows_.clear();
  }

  void replay(const Op& o) {
    switch (o.kind) {
      case Op::Text: w_.text(o.units); break;
      case Op::Para: w_.paragraph(); break;
      case Op::Line: w_.line_break(); break;
      case Op::Attr: w_.attribute(o.a, o.b != 0); break;
      case Op::Colour: w_.text_colour(o.a); break;
      case Op::Font: w_.font(o.units); break;
      case Op::Size: w_.font_size(o.a); break;
      case Op::Bookmark: w_.bookmark(o.units); break;
      case Op::CellEnd: w_.text(uint16_t('\t')); break;
      case Op::RowEnd: w_.paragraph(); break;
      case Op::Footnote: w_.footnote_reference(); break;
    }
  }

  std::string_view s_;
  DocWriter& w_;
  size_t pos_ = 0;
  std::vector<GroupState> stack_;
  bool star_ = false;
  size_t skip_chars_ = 0;
  std::string bytes_;
  bool bytes_big5_ = false;
  int32_t ansicpg_ = 1252;
  size_t fonttbl_depth_ = 0;
  int32_t current_font_def_ = -1;
  std::map<int32_t, int32_t> font_charset_;
  std::map<int32_t, std::vector<uint16_t>> font_names_;
  std::string font_entry_;
  int32_t deff_ = -1;
  int written_font_ = -1, written_size_ = 24;
  std::vector<uint32_t> colour_table_;  // 0x00BBGGRR or kAutoColour per entry
  uint32_t entry_colour_ = kAutoColour;
  std::vector<uint16_t> bookmark_name_;
  std::vector<uint16_t> props_[7];
  bool unicode_props_[7] = {};  // props_[n] holds a \ud (Unicode) copy
  size_t styles_depth_ = 0;
  int32_t entry_style_ = -1;
  StyleDef entry_;
  std::string entry_name_;
  std::map<int32_t, StyleDef> style_defs_;
  std::vector<uint16_t> field_inst_, link_target_;
  bool in_note_ = false, in_part_ = false;
  bool intbl_ = false, in_table_ = false;
  std::vector<Op> ops_;
  std::vector<std::vector<CellDef>> rows_;
  std::vector<CellDef> row_defs_;
  CellDef next_def_;
};

}  // namespace

KVXSTATUS read_rtf(std::string_view bytes, ChunkBuilder& out) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (!bytes.starts_with("{\\rtf")) return KVXERR_BADFORMAT;
  DocWriter w(out);
  w.section();
  // A document whose code page or a font is Big5 is a Big5 document.
  if (bytes.find("\\ansicpg950") != std::string_view::npos || bytes.find("\\fcharset136") != std::string_view::npos)
    w.document_charset(KVXCS_BIG5);
  RtfReader r(bytes, w);
  r.run();
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
