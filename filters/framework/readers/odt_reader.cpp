// The ODT reader: an OpenDocument text package through ZipPackage and libxml2. content.xml's
// paragraphs and headings (text:outline-level, or the paragraph style's default outline
// level through its parents), spans with the bold, italic, underline, strike and text
// position of their automatic or common styles, text:s, tabs and line breaks, lists and
// sections, tables with column and row spans (covered cells are the spans' own), notes
// (footnotes and endnotes at their citations), hyperlinks, bookmarks, and the meta.xml
// properties. A package whose manifest holds encryption data is refused with
// KVXERR_ENCRYPTED.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/pictures.h"
#include "filters/framework/readers/office_common.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

namespace {

constexpr int kMaxDepth = 128;
constexpr uint32_t kMaxRepeat = 1000;

struct OdfStyle {
  std::string parent;
  int outline = 0;      // default outline level, 0 none
  uint32_t set = 0;     // attribute bits set by the style
  uint32_t clear = 0;   // attribute bits the style switches off
  uint32_t number = 0;
};

uint32_t repeat_of(const xmlNode* n, const char* name) {
  std::string v = xml_attr(n, name);
  if (v.empty() || v.size() > 7 || v.find_first_not_of("0123456789") != std::string::npos) return 1;
  return std::clamp<uint32_t>(uint32_t(std::stoul(v)), 1, kMaxRepeat);
}

class OdtReader : public OfficeReader<DocWriter> {
 public:
  using OfficeReader::OfficeReader;

  KVXSTATUS run() {
    XmlDoc doc;
    if (const KVXSTATUS st = read_main_part(zip_, "content.xml", doc); st != KVX_OK) return st;
    XmlDoc styles_doc = read_xml_part(zip_, "styles.xml");
    if (styles_doc) load_styles(xmlDocGetRootElement(styles_doc.get()));
    load_styles(xmlDocGetRootElement(doc.get()));
    w_.section();
    read_odf_meta(zip_, w_);
    xmlNode* body = xml_child(xmlDocGetRootElement(doc.get()), "body");
    xmlNode* text = body ? xml_child(body, "text") : nullptr;
    if (text) blocks(text, 0, false);
    return KVX_OK;
  }

 private:
  void load_styles(xmlNode* root) {
    for (xmlNode* group = root ? root->children : nullptr; group; group = group->next) {
      if (!xml_is(group, "styles") && !xml_is(group, "automatic-styles")) continue;
      for (xmlNode* s = group->children; s; s = s->next) {
        if (!xml_is(s, "style")) continue;
        OdfStyle st;
        st.number = ++numbered_;
        st.parent = xml_attr(s, "parent-style-name");
        std::string level = xml_attr(s, "default-outline-level");
        if (level.size() == 1 && level[0] >= '1' && level[0] <= '9') st.outline = level[0] - '0';
        if (xmlNode* tp = xml_child(s, "text-properties")) {
          auto flag = [&](bool on, bool off, uint32_t attr) {
            if (on) st.set |= 1u << attr;
            if (off) st.clear |= 1u << attr;
          };
          std::string weight = xml_attr(tp, "font-weight"), style = xml_attr(tp, "font-style");
          std::string under = xml_attr(tp, "text-underline-style"), strike = xml_attr(tp, "text-line-through-style");
          std::string pos = xml_attr(tp, "text-position");
          flag(weight == "bold" || (weight.size() == 3 && weight >= "600"), weight == "normal", KVXATTR_BOLD);
          flag(style == "italic" || style == "oblique", style == "normal", KVXATTR_ITALIC);
          flag(!under.empty() && under != "none", under == "none", KVXATTR_UNDERLINE);
          flag(!strike.empty() && strike != "none", strike == "none", KVXATTR_STRIKE);
          flag(pos.starts_with("super") || (!pos.empty() && pos[0] >= '1' && pos[0] <= '9'), false,
               KVXATTR_SUPERSCRIPT);
          flag(pos.starts_with("sub") || pos.starts_with("-"), false, KVXATTR_SUBSCRIPT);
        }
        styles_[xml_attr(s, "name")] = st;
      }
    }
  }

  // Attribute bits of a style with its parents (at most 16 steps).
  uint32_t style_attrs(const std::string& name) const {
    uint32_t set = 0, decided = 0;
    std::string at = name;
    for (int step = 0; step < 16 && !at.empty(); ++step) {
      auto it = styles_.find(at);
      if (it == styles_.end()) break;
      set |= it->second.set & ~decided;
      decided |= it->second.set | it->second.clear;
      at = it->second.parent;
    }
    return set;
  }

  int style_outline(const std::string& name) const {
    std::string at = name;
    for (int step = 0; step < 16 && !at.empty(); ++step) {
      auto it = styles_.find(at);
      if (it == styles_.end()) break;
      if (it->second.outline > 0) return it->second.outline;
      at = it->second.parent;
    }
    return 0;
  }

  void blocks(xmlNode* parent, int depth, bool in_cell) {
    if (depth > kMaxDepth) return;
    xmlNode* last = nullptr;
    if (in_cell)
      for (xmlNode* c = parent->children; c; c = c->next)
        if (xml_is(c, "p") || xml_is(c, "h") || xml_is(c, "table") || xml_is(c, "list")) last = c;
    for (xmlNode* c = parent->children; c && !w_.failed(); c = c->next) {
      bool end = !(in_cell && c == last);
      if (xml_is(c, "p") || xml_is(c, "h")) paragraph(c, depth, end);
      else if (xml_is(c, "table")) table(c, depth);
      else if (xml_is(c, "list") || xml_is(c, "list-item") || xml_is(c, "list-header") || xml_is(c, "section") ||
               xml_is(c, "index-body") || xml_is(c, "table-of-content") || xml_is(c, "alphabetical-index") ||
               xml_is(c, "illustration-index") || xml_is(c, "table-index") || xml_is(c, "bibliography") ||
               xml_is(c, "user-index") || xml_is(c, "object-index") || xml_is(c, "index-title"))
        blocks(c, depth + 1, in_cell && c == last);
      else if (xml_is(c, "bookmark") || xml_is(c, "bookmark-start"))
        w_.bookmark(utf16(xml_attr(c, "name")));
    }
  }

  void paragraph(xmlNode* p, int depth, bool end) {
    std::string style = xml_attr(p, "style-name");
    int outline = 0;
    if (xml_is(p, "h")) {
      std::string level = xml_attr(p, "outline-level");
      outline = level.empty() ? style_outline(style) : (level.size() <= 2 ? std::atoi(level.c_str()) : 0);
      if (outline == 0 && level.empty()) outline = 1;
    } else {
      outline = style_outline(style);
    }
    if (outline < 0 || outline > 9) outline = 0;
    auto it = styles_.find(style);
    uint32_t number = it == styles_.end() ? 0 : it->second.number;
    if (number != 0 || outline > 0) w_.paragraph_style(number, outline > 0 ? uint32_t(outline + 1) : 0);
    blank_ = true;
    inline_content(p, depth + 1, style_attrs(style));
    set_attrs(0);
    if (end) w_.paragraph();
  }

  void text(const char* utf8) {
    for (uint16_t u : utf16(utf8)) {
      bool space = u == ' ' || u == '\t' || u == '\n' || u == '\r';
      if (space) {
        if (blank_) continue;
        u = ' ';
      }
      w_.text(u);
      blank_ = space;
    }
  }

  void inline_content(xmlNode* parent, int depth, uint32_t attrs) {
    if (depth > kMaxDepth) return;
    for (xmlNode* c = parent->children; c && !w_.failed(); c = c->next) {
      if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        set_attrs(attrs);
        if (c->content) text(reinterpret_cast<const char*>(c->content));
        continue;
      }
      if (c->type != XML_ELEMENT_NODE) continue;
      if (xml_is(c, "s")) {
        set_attrs(attrs);
        for (uint32_t k = repeat_of(c, "c"); k > 0; --k) w_.text(uint16_t(' '));
        blank_ = false;
      } else if (xml_is(c, "tab")) {
        set_attrs(attrs);
        w_.text(uint16_t('\t'));
        blank_ = false;
      } else if (xml_is(c, "line-break")) {
        w_.line_break();
        blank_ = true;
      } else if (xml_is(c, "span")) {
        std::string s = xml_attr(c, "style-name");
        uint32_t bits = attrs;
        // A span's style decides the attributes it names; the others come from outside.
        for (std::string at = s; !at.empty();) {
          auto it = styles_.find(at);
          if (it == styles_.end()) break;
          bits &= ~it->second.clear;
          at = it->second.parent;
        }
        inline_content(c, depth + 1, bits | style_attrs(s));
      } else if (xml_is(c, "a")) {
        std::string href = xml_attr(c, "href");
        set_attrs(0);
        bool linked = !href.empty() && w_.hyperlink(utf16(href));
        inline_content(c, depth + 1, attrs);
        set_attrs(0);
        if (linked) w_.hyperlink_end();
      } else if (xml_is(c, "bookmark") || xml_is(c, "bookmark-start")) {
        w_.bookmark(utf16(xml_attr(c, "name")));
      } else if (xml_is(c, "note")) {
        note(c, depth);
      } else if (xml_is(c, "frame") && odt_picture(w_, zip_, c)) {
        // a picture: an embedded object
      } else if (xml_is(c, "annotation") || xml_is(c, "annotation-end") || xml_is(c, "frame") ||
                 xml_is(c, "tracked-changes") || xml_is(c, "change") || xml_is(c, "note-citation") ||
                 xml_is(c, "soft-page-break") || xml_is(c, "bookmark-end")) {
        // no running text
      } else {
        inline_content(c, depth + 1, attrs);  // fields, ruby, meta: their text
      }
    }
  }

  void note(xmlNode* n, int depth) {
    if (in_note_) return;
    xmlNode* body = xml_child(n, "note-body");
    if (!body) return;
    uint32_t saved = attrs_;
    bool blank = blank_;
    set_attrs(0);
    in_note_ = true;
    w_.note(xml_attr(n, "note-class") == "endnote" ? 2 : 1);
    blocks(body, depth + 1, true);
    set_attrs(0);
    w_.note_end();
    in_note_ = false;
    blank_ = blank;
    set_attrs(saved);
  }

  void set_attrs(uint32_t bits) { switch_attributes(w_, attrs_, bits); }

  static void collect_rows(xmlNode* parent, std::vector<xmlNode*>& rows, int depth) {
    for (xmlNode* c = parent->children; c && depth < 8; c = c->next) {
      if (xml_is(c, "table-row")) {
        for (uint32_t k = repeat_of(c, "number-rows-repeated"); k > 0 && rows.size() < DocWriter::kMaxTableRows; --k)
          rows.push_back(c);
      } else if (xml_is(c, "table-header-rows") || xml_is(c, "table-rows") || xml_is(c, "table-row-group")) {
        collect_rows(c, rows, depth + 1);
      }
    }
  }

  void table(xmlNode* t, int depth) {
    std::vector<xmlNode*> rows;
    collect_rows(t, rows, 0);
    uint32_t columns = 0;
    for (xmlNode* r : rows) {
      uint32_t col = 0;
      for (xmlNode* c = r->children; c; c = c->next)
        if (xml_is(c, "table-cell") || xml_is(c, "covered-table-cell"))
          col += repeat_of(c, "number-columns-repeated");
      columns = std::max(columns, std::min(col, DocWriter::kMaxTableColumns));
    }
    if (rows.empty() || columns == 0) return;
    if (depth > kMaxDepth || w_.table_depth() >= DocWriter::kMaxTableDepth) {
      for (xmlNode* r : rows)
        for (xmlNode* c = r->children; c; c = c->next)
          if (xml_is(c, "table-cell")) blocks(c, depth + 1, false);
      return;
    }
    if (w_.in_paragraph()) w_.paragraph();
    if (!w_.table_start(uint32_t(rows.size()), columns)) return;
    for (xmlNode* r : rows) {
      // Covered cells right after a cell that spans columns are that cell's own; others
      // lie under a row span from above. Cells past the table's width are dropped.
      uint32_t col = 0, own = 0;
      for (xmlNode* c = r->children; c && !w_.failed(); c = c->next) {
        if (xml_is(c, "covered-table-cell")) {
          for (uint32_t k = repeat_of(c, "number-columns-repeated"); k > 0; --k) {
            if (own > 0) --own;
            else ++col;
          }
          continue;
        }
        if (!xml_is(c, "table-cell")) continue;
        for (uint32_t k = repeat_of(c, "number-columns-repeated"); k > 0 && col < columns; --k) {
          uint32_t cs = std::min(repeat_of(c, "number-columns-spanned"), columns - col);
          uint32_t rs = repeat_of(c, "number-rows-spanned");
          if (!w_.cell(cs, rs)) return;
          blocks(c, depth + 1, true);
          set_attrs(0);
          w_.end_cell();
          col += cs;
          own = cs - 1;
        }
      }
      w_.end_row();
    }
    w_.table_end();
  }

  std::map<std::string, OdfStyle> styles_;
  uint32_t numbered_ = 0;
  uint32_t attrs_ = 0;
  bool blank_ = true;
  bool in_note_ = false;
};

}  // namespace

KVXSTATUS read_odt(std::string_view bytes, ChunkBuilder& out) {
  return read_office_package<OdtReader>(bytes, OfficePackage::kOdf, out);
}

}  // namespace kvx::readers
