// The Word (.doc) reader: antiword runs as a child on a temporary copy of the source
// (antiword -x db: DocBook, UTF-8) and its output is read with libxml2: the book's title,
// subtitle and author as properties (in the code page of the document's own summary
// information where it has one); section titles as headings (outline levels by
// depth); paragraphs with bold and other emphasis; each table group as a table; notes;
// links. antiword marks notes "[?]" and gives no footnote text: the notes are read by
// doc_notes.cpp and the automatically numbered ones set in order at those marks
// (footnotes left without a mark at the end), and antiword's own closing paragraphs of endnote text ("[i] text") are dropped
// for the endnotes so set. A document whose file-information block says it is encrypted is refused with
// KVXERR_ENCRYPTED before antiword runs; a missing antiword is KVXERR_NOTOOL.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/big5_codec.h"
#include "filters/framework/readers/child_tools.h"
#include "filters/framework/readers/doc_notes.h"
#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/ole_file.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

namespace {

constexpr int kMaxDepth = 64;

uint16_t u16(std::string_view s, size_t at) {
  return at + 2 <= s.size() ? uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8) : 0;
}
uint32_t u32(std::string_view s, size_t at) { return uint32_t(u16(s, at)) | uint32_t(u16(s, at + 2)) << 16; }

// The WordDocument stream's first sector holds the file-information block, whose flag
// word (offset 0x0A) has fEncrypted in bit 8. The stream is found by its directory entry
// in the first directory sector (the stream is never in the mini stream: it is larger
// than the cut-off).
bool word_encrypted(std::string_view s) {
  if (!s.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return false;
  uint16_t shift = u16(s, 0x1E);
  if (shift < 9 || shift > 12) return false;
  size_t sector = size_t(1) << shift;
  uint64_t dir = (uint64_t(u32(s, 0x30)) + 1) * sector;
  static const char kName[] = "WordDocument";
  for (uint64_t at = dir; at + 128 <= s.size() && at < dir + sector; at += 128) {
    if (u16(s, size_t(at + 0x40)) != sizeof kName * 2) continue;
    bool same = true;
    for (size_t k = 0; k + 1 < sizeof kName && same; ++k) same = u16(s, size_t(at + 2 * k)) == uint8_t(kName[k]);
    if (!same) continue;
    uint64_t first = (uint64_t(u32(s, size_t(at + 0x74))) + 1) * sector;
    return first + 12 <= s.size() && u16(s, size_t(first)) == 0xA5EC && (u16(s, size_t(first + 0x0A)) & 0x0100);
  }
  return false;
}

// The title, subject and author of the SummaryInformation property set, in UTF-16, read
// in the set's own code page. antiword reads these strings as single bytes, so a title
// that LibreOffice stores in UTF-8 (code page 65001), or Word in UTF-16 or Big5, comes
// out garbled; this is the form the document means. A code page other than UTF-8, UTF-16,
// Big5 (950) and CP1252 leaves a property empty, and antiword's text is kept.
struct SummaryInfo {
  std::vector<uint16_t> title, subject, author;
};

SummaryInfo summary_info(std::string_view bytes) {
  SummaryInfo info;
  OleFile ole;
  std::string s;
  if (!ole.open(bytes) || !ole.read("\x05SummaryInformation", s)) return info;
  // Header: byte order 0xFFFE, ..., the first set's format id at 28 and its offset at 44.
  if (u16(s, 0) != 0xFFFE || u32(s, 24) < 1) return info;
  const size_t set = u32(s, 44);
  if (set + 8 > s.size()) return info;
  const uint32_t count = std::min<uint32_t>(u32(s, set + 4), uint32_t((s.size() - set - 8) / 8));
  uint32_t codepage = 0;
  std::string_view values[5];  // the string bytes of properties 2 (title), 3, 4
  uint32_t types[5] = {};
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t id = u32(s, set + 8 + 8 * size_t(k));
    const size_t at = set + size_t(u32(s, set + 12 + 8 * size_t(k)));
    if (at + 8 > s.size()) continue;
    const uint32_t type = u16(s, at);
    if (id == 1 && type == 2) codepage = u16(s, at + 4);  // VT_I2
    if (id < 2 || id > 4 || (type != 0x1E && type != 0x1F)) continue;  // VT_LPSTR, VT_LPWSTR
    const uint64_t length = u32(s, at + 4) * uint64_t(type == 0x1F ? 2 : 1);
    if (at + 8 + length > s.size()) continue;
    values[id] = std::string_view(s).substr(at + 8, size_t(length));
    types[id] = type;
  }
  std::vector<uint16_t>* out[5] = {nullptr, nullptr, &info.title, &info.subject, &info.author};
  for (uint32_t id = 2; id <= 4; ++id) {
    std::string_view v = values[id];
    std::vector<uint16_t> units;
    if (types[id] == 0x1F || (types[id] == 0x1E && codepage == 1200)) {
      decode_utf16(v.substr(0, v.size() & ~size_t(1)), false, units);
    } else if (types[id] == 0x1E) {
      v = v.substr(0, std::min(v.find('\0'), v.size()));
      bool ok = codepage == 65001 ? decode_utf8(v, units)
                : codepage == 950 ? decode_big5(v, units)
                : codepage == 1252 ? decode_cp1252(v, units)
                                   : false;
      if (!ok) units.clear();
    }
    while (!units.empty() && units.back() == 0) units.pop_back();
    *out[id] = std::move(units);
  }
  return info;
}

class DocBookWalker {
 public:
  DocBookWalker(DocWriter& w, const std::vector<WordNote>& notes, SummaryInfo summary)
      : w_(w), notes_(notes.begin(), notes.end()), summary_(std::move(summary)) {}

  void book(xmlNode* root) {
    std::string title, subtitle, author;
    if (xmlNode* info = xml_child(root, "bookinfo")) {
      if (xmlNode* t = xml_child(info, "title")) title = xml_text(t);
      if (xmlNode* t = xml_child(info, "subtitle")) subtitle = xml_text(t);
      if (xmlNode* a = xml_child(info, "author")) {
        for (xmlNode* c = a->children; c; c = c->next)
          if (c->type == XML_ELEMENT_NODE) {
            if (!author.empty()) author += ' ';
            author += squeeze(xml_text(c));
          }
      }
    }
    if (title.empty())
      if (xmlNode* t = xml_child(root, "title")) title = xml_text(t);
    // The property set's own reading where it has one (see summary_info).
    auto chosen = [](const std::vector<uint16_t>& summary, const std::string& antiword) {
      return summary.empty() ? utf16(antiword) : utf16(squeeze(utf8_of(summary)));
    };
    w_.property(6, chosen(summary_.title, squeeze(title)));
    w_.property(5, chosen(summary_.subject, squeeze(subtitle)));
    w_.property(4, chosen(summary_.author, author));
    blocks(root, 0, 0);
    // Footnotes without a mark of antiword's (whose text antiword drops) go at the end;
    // endnotes without one are in antiword's text already.
    end_paragraph();
    for (const Note& n : notes_)
      if (n.type == 1 && !n.placed) note(n);
  }

 private:
  static std::string squeeze(const std::string& s) {
    std::string out;
    bool blank = true;
    for (char c : s) {
      bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
      if (space && blank) continue;
      out += space ? ' ' : c;
      blank = space;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }

  void blocks(xmlNode* parent, int depth, int level) {
    if (depth > kMaxDepth) return;
    for (xmlNode* c = parent->children; c && !w_.failed(); c = c->next) {
      if (xml_is(c, "bookinfo")) continue;
      if (xml_is(c, "title")) {
        if (squeeze(xml_text(c)).empty() || level == 0) continue;
        w_.paragraph_style(0, uint32_t(std::min(level, 9) + 1));
        inline_content(c, depth + 1);
        end_paragraph();
      } else if (xml_is(c, "para") || xml_is(c, "simpara")) {
        if (placed_endnote(squeeze(xml_text(c)))) continue;
        inline_content(c, depth + 1);
        end_paragraph();
      } else if (xml_is(c, "informaltable") || xml_is(c, "table")) {
        for (xmlNode* g = c->children; g; g = g->next)
          if (xml_is(g, "tgroup")) table(g, depth + 1);
      } else if (xml_is(c, "chapter") || xml_is(c, "sect1") || xml_is(c, "sect2") || xml_is(c, "sect3") ||
                 xml_is(c, "sect4") || xml_is(c, "sect5") || xml_is(c, "section")) {
        blocks(c, depth + 1, level + 1);
      } else if (c->type == XML_ELEMENT_NODE) {
        blocks(c, depth + 1, level);
      }
    }
  }

  void end_paragraph() {
    set_attrs(0);
    if (w_.in_paragraph()) w_.paragraph();
    blank_ = true;
    space_ = false;
  }

  // DocBook's layout blanks collapse to one; none at a paragraph's start or end.
  void text(const char* utf8) {
    for (uint16_t u : utf16(utf8)) {
      if (u == ' ' || u == '\n' || u == '\r' || u == '\t') {
        space_ = !blank_;
        continue;
      }
      if (space_) w_.text(uint16_t(' '));
      w_.text(u);
      space_ = blank_ = false;
    }
  }

  // Text with antiword's note marks: each "[?]" takes the next note while notes last.
  void marked_text(const char* utf8) {
    std::string_view t(utf8);
    size_t at;
    while ((at = t.find("[?]")) != std::string_view::npos) {
      while (next_note_ < notes_.size() && !notes_[next_note_].numbered) ++next_note_;
      if (next_note_ >= notes_.size()) break;
      text(std::string(t.substr(0, at)).c_str());
      Note& n = notes_[next_note_++];
      n.placed = true;
      set_attrs(0);
      note(n);
      if (n.type == 2) endnotes_.push_back(squeeze(utf8_of(n.text)));
      set_attrs(attrs_);
      t.remove_prefix(at + 3);
    }
    text(std::string(t).c_str());
  }

  void note(const WordNote& n) {
    w_.note(n.type);
    for (uint16_t u : n.text) {
      if (u == '\n') w_.paragraph();
      else w_.text(u);
    }
    w_.note_end();
  }

  static std::string utf8_of(const std::vector<uint16_t>& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
      uint32_t cp = units[i];
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
        cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
      else if (cp >= 0xD800 && cp <= 0xDFFF)
        cp = 0xFFFD;
      qm::append_utf8(out, cp);
    }
    return out;
  }

  // True (and the endnote taken off the list) when a paragraph is antiword's "[mark]
  // text" of an endnote already set at its mark.
  bool placed_endnote(const std::string& para) {
    if (endnotes_.empty() || !para.starts_with("[")) return false;
    size_t close = para.find("] ");
    if (close == std::string::npos) return false;
    auto it = std::find(endnotes_.begin(), endnotes_.end(), para.substr(close + 2));
    if (it == endnotes_.end()) return false;
    endnotes_.erase(it);
    return true;
  }

  void inline_content(xmlNode* parent, int depth) {
    if (depth > kMaxDepth) return;
    for (xmlNode* c = parent->children; c && !w_.failed(); c = c->next) {
      if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content) {
        std::string_view t(reinterpret_cast<const char*>(c->content));
        if (space_ && t.find_first_not_of(" \n\r\t") != std::string_view::npos) {
          w_.text(uint16_t(' '));  // the blank before a change of attributes stays outside it
          space_ = false;
          blank_ = true;
        }
        set_attrs(attrs_);
        marked_text(reinterpret_cast<const char*>(c->content));
      } else if (xml_is(c, "emphasis")) {
        uint32_t saved = attrs_;
        attrs_ |= 1u << (xml_attr(c, "role") == "bold" ? KVXATTR_BOLD : KVXATTR_ITALIC);
        inline_content(c, depth + 1);
        attrs_ = saved;
      } else if (xml_is(c, "ulink")) {
        std::string url = xml_attr(c, "url");
        set_attrs(0);
        bool linked = !url.empty() && w_.hyperlink(utf16(url));
        inline_content(c, depth + 1);
        set_attrs(0);
        if (linked) w_.hyperlink_end();
      } else if (xml_is(c, "footnote")) {
        set_attrs(0);
        w_.note(1);
        blank_ = true;
        blocks(c, depth + 1, 0);
        w_.note_end();
        blank_ = false;
      } else if (xml_is(c, "informaltable") || xml_is(c, "table")) {
        end_paragraph();
        for (xmlNode* g = c->children; g; g = g->next)
          if (xml_is(g, "tgroup")) table(g, depth + 1);
      } else if (c->type == XML_ELEMENT_NODE) {
        inline_content(c, depth + 1);
      }
    }
  }

  void set_attrs(uint32_t bits) {
    for (uint32_t a : {KVXATTR_BOLD, KVXATTR_ITALIC}) {
      bool was = shown_ >> a & 1, now = bits >> a & 1;
      if (was != now) w_.attribute(a, now);
    }
    shown_ = bits;
  }

  void table(xmlNode* tgroup, int depth) {
    std::vector<xmlNode*> rows;
    uint32_t columns = 0;
    for (xmlNode* part = tgroup->children; part; part = part->next)
      if (xml_is(part, "thead") || xml_is(part, "tbody") || xml_is(part, "tfoot"))
        for (xmlNode* r = part->children; r; r = r->next) {
          if (!xml_is(r, "row") || rows.size() >= DocWriter::kMaxTableRows) continue;
          rows.push_back(r);
          uint32_t n = 0;
          for (xmlNode* e = r->children; e; e = e->next) n += xml_is(e, "entry");
          columns = std::max(columns, std::min(n, DocWriter::kMaxTableColumns));
        }
    if (rows.empty() || columns == 0 || depth > kMaxDepth || w_.table_depth() >= DocWriter::kMaxTableDepth) return;
    end_paragraph();
    if (!w_.table_start(uint32_t(rows.size()), columns)) return;
    for (xmlNode* r : rows) {
      uint32_t n = 0;
      for (xmlNode* e = r->children; e && n < columns && !w_.failed(); e = e->next) {
        if (!xml_is(e, "entry")) continue;
        ++n;
        if (!w_.cell(1, 1)) return;
        blank_ = true;
        inline_content(e, depth + 1);
        set_attrs(0);
        w_.end_cell();
      }
      w_.end_row();
    }
    w_.table_end();
    blank_ = true;
  }

  DocWriter& w_;
  // antiword's "[?]" stands for the automatic numbers only: other notes are not placed
  // at marks.
  struct Note : WordNote {
    Note(const WordNote& n) : WordNote(n) {}
    bool placed = false;
  };
  std::vector<Note> notes_;
  size_t next_note_ = 0;
  SummaryInfo summary_;
  std::vector<std::string> endnotes_;  // texts of the endnotes set at their marks
  uint32_t attrs_ = 0, shown_ = 0;
  bool blank_ = true, space_ = false;
};

}  // namespace

KVXSTATUS read_doc(std::string_view bytes, ChunkBuilder& out) {
  if (word_encrypted(bytes)) return KVXERR_ENCRYPTED;
  TempSource src(bytes);
  if (!src.ok()) return KVXERR_OPENFAILED;
  std::string xml;
  KVXSTATUS st = run_tool({child_tools().antiword, "-x", "db", src.path()}, xml);
  if (st != KVX_OK) return st;
  XmlDoc doc = parse_xml(xml);
  if (!doc) return KVXERR_BADFORMAT;
  DocWriter w(out);
  w.section();
  DocBookWalker walker(w, word_notes(bytes), summary_info(bytes));
  walker.book(xmlDocGetRootElement(doc.get()));
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
