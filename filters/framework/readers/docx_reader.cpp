// The DOCX reader: a WordprocessingML package through ZipPackage and libxml2. The main
// part's paragraphs and runs (bold, italic, underline, strike, sub- and superscript),
// tabs and breaks; paragraph styles with their outline levels (from the style's own
// w:outlineLvl, its "heading N" name, or its parents'); tables with w:gridSpan and
// w:vMerge as column and row spans; footnotes and endnotes at their references; hyperlinks
// (relationship targets and w:anchor bookmarks); bookmarks; the core properties. A package
// encrypted with a password is an OLE2 file holding an EncryptedPackage stream: refused
// with KVXERR_ENCRYPTED, as are encrypted ZIP entries.
#include <algorithm>
#include <cctype>
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

struct Style {
  std::string parent;
  int outline = -1;  // 0-8 as stored, -1 not given
  uint32_t number = 0;
};

int heading_of_name(std::string name) {
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (name.size() == 9 && name.starts_with("heading ") && name[8] >= '1' && name[8] <= '9') return name[8] - '1';
  return -1;
}

int small_number(const std::string& s, int limit) {
  if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string::npos) return -1;
  int v = std::stoi(s);
  return v <= limit ? v : -1;
}

class DocxReader : public OfficeReader<DocWriter> {
 public:
  using OfficeReader::OfficeReader;

  KVXSTATUS run() {
    XmlDoc doc;
    if (const KVXSTATUS st = read_main_part(zip_, "word/document.xml", doc); st != KVX_OK) return st;
    targets_ = read_relationships(zip_, "word/_rels/document.xml.rels");
    load_styles();
    load_notes("word/footnotes.xml", "footnote", footnotes_, footnotes_doc_);
    load_notes("word/endnotes.xml", "endnote", endnotes_, endnotes_doc_);
    w_.section();
    read_core_properties(zip_, w_);
    xmlNode* body = xml_child(xmlDocGetRootElement(doc.get()), "body");
    if (body) blocks(body, 0, false);
    return KVX_OK;
  }

 private:
  void load_styles() {
    XmlDoc d = read_xml_part(zip_, "word/styles.xml");
    if (!d) return;
    uint32_t number = 0;
    for (xmlNode* s = xmlDocGetRootElement(d.get())->children; s; s = s->next) {
      if (!xml_is(s, "style") || xml_attr(s, "type") != "paragraph") continue;
      Style st;
      st.number = ++number;
      if (xmlNode* b = xml_child(s, "basedOn")) st.parent = xml_attr(b, "val");
      if (xmlNode* p = xml_child(s, "pPr"))
        if (xmlNode* o = xml_child(p, "outlineLvl")) st.outline = small_number(xml_attr(o, "val"), 9);
      if (st.outline < 0)
        if (xmlNode* n = xml_child(s, "name")) st.outline = heading_of_name(xml_attr(n, "val"));
      styles_[xml_attr(s, "styleId")] = st;
    }
  }

  void load_notes(const char* part, const char* element, std::map<std::string, xmlNode*>& notes, XmlDoc& keep) {
    keep = read_xml_part(zip_, part);
    if (!keep) return;
    for (xmlNode* n = xmlDocGetRootElement(keep.get())->children; n; n = n->next)
      if (xml_is(n, element)) notes[xml_attr(n, "id")] = n;
  }

  // The outline level of a style, following its parents (at most 16 steps: cycles end).
  int outline_of(const std::string& id) const {
    std::string at = id;
    for (int step = 0; step < 16; ++step) {
      auto it = styles_.find(at);
      if (it == styles_.end()) return -1;
      if (it->second.outline >= 0) return it->second.outline;
      at = it->second.parent;
    }
    return -1;
  }

  // Block content: paragraphs and tables (and what wraps them). In a cell the last
  // paragraph ends with the cell, not with a paragraph end of its own.
  void blocks(xmlNode* parent, int depth, bool in_cell) {
    if (depth > kMaxDepth) return;
    xmlNode* last_para = nullptr;
    if (in_cell)
      for (xmlNode* c = parent->children; c; c = c->next)
        if (xml_is(c, "p") || xml_is(c, "tbl")) last_para = c;
    for (xmlNode* c = parent->children; c && !w_.failed(); c = c->next) {
      if (xml_is(c, "p")) paragraph(c, depth, !(in_cell && c == last_para));
      else if (xml_is(c, "tbl")) table(c, depth);
      else if (xml_is(c, "sdt")) {
        if (xmlNode* content = xml_child(c, "sdtContent")) blocks(content, depth + 1, false);
      } else if (xml_is(c, "customXml") || xml_is(c, "ins") || xml_is(c, "smartTag"))
        blocks(c, depth + 1, false);
      else if (xml_is(c, "bookmarkStart"))
        bookmark(c);
    }
  }

  void bookmark(xmlNode* n) {
    std::string name = xml_attr(n, "name");
    if (!name.empty() && name != "_GoBack") w_.bookmark(utf16(name));
  }

  void paragraph(xmlNode* p, int depth, bool end) {
    int outline = -1;
    uint32_t style = 0;
    if (xmlNode* ppr = xml_child(p, "pPr")) {
      if (xmlNode* ps = xml_child(ppr, "pStyle")) {
        std::string id = xml_attr(ps, "val");
        auto it = styles_.find(id);
        if (it != styles_.end()) style = it->second.number;
        outline = outline_of(id);
      }
      if (xmlNode* o = xml_child(ppr, "outlineLvl")) {
        int v = small_number(xml_attr(o, "val"), 9);
        if (v >= 0) outline = v;
      }
    }
    if (outline > 8) outline = -1;  // 9 is body text
    if (style != 0 || outline >= 0) w_.paragraph_style(style, outline >= 0 ? uint32_t(outline + 2) : 0);
    inline_content(p, depth + 1);
    set_attrs(0);
    if (end) w_.paragraph();
  }

  void inline_content(xmlNode* parent, int depth) {
    if (depth > kMaxDepth) return;
    for (xmlNode* c = parent->children; c && !w_.failed(); c = c->next) {
      if (xml_is(c, "r")) run(c);
      else if (xml_is(c, "hyperlink")) {
        std::string target;
        std::string rid = xml_attr(c, "id");
        if (!rid.empty()) {
          auto it = targets_.find(rid);
          if (it != targets_.end()) target = it->second;
        }
        std::string anchor = xml_attr(c, "anchor");
        if (!anchor.empty()) target += "#" + anchor;
        set_attrs(0);
        bool linked = !target.empty() && w_.hyperlink(utf16(target));
        inline_content(c, depth + 1);
        set_attrs(0);
        if (linked) w_.hyperlink_end();
      } else if (xml_is(c, "bookmarkStart")) {
        bookmark(c);
      } else if (xml_is(c, "ins") || xml_is(c, "smartTag") || xml_is(c, "fldSimple") || xml_is(c, "customXml") ||
                 xml_is(c, "dir") || xml_is(c, "bdo")) {
        inline_content(c, depth + 1);
      } else if (xml_is(c, "sdt")) {
        if (xmlNode* content = xml_child(c, "sdtContent")) inline_content(content, depth + 1);
      }
    }
  }

  static uint32_t run_attrs(xmlNode* r) {
    xmlNode* rpr = xml_child(r, "rPr");
    if (!rpr) return 0;
    auto on = [&](const char* name) {
      xmlNode* n = xml_child(rpr, name);
      if (!n) return false;
      std::string v = xml_attr(n, "val");
      return v.empty() || (v != "0" && v != "false" && v != "off" && v != "none");
    };
    uint32_t bits = 0;
    if (on("b")) bits |= 1u << KVXATTR_BOLD;
    if (on("i")) bits |= 1u << KVXATTR_ITALIC;
    if (on("u")) bits |= 1u << KVXATTR_UNDERLINE;
    if (on("strike") || on("dstrike")) bits |= 1u << KVXATTR_STRIKE;
    if (xmlNode* va = xml_child(rpr, "vertAlign")) {
      std::string v = xml_attr(va, "val");
      if (v == "superscript") bits |= 1u << KVXATTR_SUPERSCRIPT;
      if (v == "subscript") bits |= 1u << KVXATTR_SUBSCRIPT;
    }
    return bits;
  }

  void set_attrs(uint32_t bits) { switch_attributes(w_, attrs_, bits); }

  // A run's attributes are set when it gives text, so runs that only hold a note
  // reference or a break leave no empty toggles.
  void run(xmlNode* r) {
    uint32_t bits = run_attrs(r);
    auto put = [&](const std::vector<uint16_t>& units) {
      if (units.empty()) return;
      set_attrs(bits);
      w_.text(units);
    };
    for (xmlNode* c = r->children; c && !w_.failed(); c = c->next) {
      if (xml_is(c, "t")) put(utf16(xml_text(c)));
      else if (xml_is(c, "tab") || xml_is(c, "ptab")) put({uint16_t('\t')});
      else if (xml_is(c, "noBreakHyphen")) put({uint16_t(0x2011)});
      else if (xml_is(c, "softHyphen")) put({uint16_t(0xAD)});
      else if (xml_is(c, "cr")) w_.line_break();
      else if (xml_is(c, "br")) {
        if (xml_attr(c, "type") == "page") w_.page_break();
        else w_.line_break();
      } else if (xml_is(c, "footnoteReference")) note(1, xml_attr(c, "id"), footnotes_);
      else if (xml_is(c, "endnoteReference")) note(2, xml_attr(c, "id"), endnotes_);
      else if (xml_is(c, "drawing") || xml_is(c, "pict") || xml_is(c, "AlternateContent")) docx_picture(w_, zip_, c, targets_);
    }
  }

  // A note's text at its reference; notes inside notes are not followed.
  void note(uint32_t type, const std::string& id, const std::map<std::string, xmlNode*>& notes) {
    auto it = notes.find(id);
    if (it == notes.end() || in_note_) return;
    uint32_t saved = attrs_;
    set_attrs(0);
    in_note_ = true;
    w_.note(type);
    blocks(it->second, 1, true);
    set_attrs(0);
    w_.note_end();
    in_note_ = false;
    set_attrs(saved);
  }

  struct CellPlan {
    xmlNode* node;
    uint32_t col, colspan, rowspan;
    bool restart;  // a vMerge start
    bool cont;     // a vMerge continuation
    bool taken = false;  // a continuation that a start above covers
  };

  void table(xmlNode* tbl, int depth) {
    if (depth > kMaxDepth || w_.table_depth() >= DocWriter::kMaxTableDepth) {
      blocks_of_table_as_text(tbl, depth);
      return;
    }
    std::vector<std::vector<CellPlan>> rows;
    uint32_t columns = 0;
    for (xmlNode* tr = tbl->children; tr; tr = tr->next) {
      if (!xml_is(tr, "tr")) continue;
      std::vector<CellPlan> row;
      uint32_t col = 0;
      if (xmlNode* trpr = xml_child(tr, "trPr"))
        if (xmlNode* gb = xml_child(trpr, "gridBefore"))
          col = uint32_t(std::max(0, small_number(xml_attr(gb, "val"), 63)));
      for (xmlNode* tc = tr->children; tc; tc = tc->next) {
        if (!xml_is(tc, "tc")) continue;
        uint32_t span = 1;
        bool restart = false, cont = false;
        if (xmlNode* pr = xml_child(tc, "tcPr")) {
          if (xmlNode* gs = xml_child(pr, "gridSpan"))
            span = uint32_t(std::max(1, small_number(xml_attr(gs, "val"), 63)));
          if (xmlNode* vm = xml_child(pr, "vMerge")) {
            std::string v = xml_attr(vm, "val");
            restart = v == "restart";
            cont = !restart;
          }
        }
        if (col + span > DocWriter::kMaxTableColumns) break;
        row.push_back({tc, col, span, 1, restart, cont});
        col += span;
      }
      columns = std::max(columns, col);
      rows.push_back(std::move(row));
      if (rows.size() >= DocWriter::kMaxTableRows) break;
    }
    // Row spans: a restart cell covers the continuation cells below it in its column.
    for (size_t r = 0; r < rows.size(); ++r)
      for (CellPlan& cell : rows[r]) {
        if (!cell.restart) continue;
        size_t k = r + 1;
        for (; k < rows.size(); ++k) {
          auto it = std::find_if(rows[k].begin(), rows[k].end(), [&](const CellPlan& c) {
            return c.col == cell.col && c.colspan == cell.colspan;
          });
          if (it == rows[k].end() || !it->cont || it->taken) break;
          it->taken = true;
        }
        cell.rowspan = uint32_t(k - r);
      }
    if (rows.empty() || columns == 0) return;
    if (w_.in_paragraph()) w_.paragraph();
    if (!w_.table_start(uint32_t(rows.size()), columns)) return;
    for (auto& row : rows) {
      for (CellPlan& cell : row) {
        if (w_.failed()) return;
        if (cell.taken) continue;
        if (!w_.cell(cell.colspan, cell.rowspan)) return;
        blocks(cell.node, depth + 1, true);
        set_attrs(0);
        w_.end_cell();
      }
      w_.end_row();
    }
    w_.table_end();
  }

  void blocks_of_table_as_text(xmlNode* tbl, int depth) {
    if (depth > kMaxDepth) return;
    for (xmlNode* tr = tbl->children; tr; tr = tr->next)
      for (xmlNode* tc = tr->children; tc; tc = tc->next)
        if (xml_is(tc, "tc")) blocks(tc, depth + 1, false);
  }

  std::map<std::string, std::string> targets_;
  std::map<std::string, Style> styles_;
  std::map<std::string, xmlNode*> footnotes_, endnotes_;
  XmlDoc footnotes_doc_, endnotes_doc_;
  uint32_t attrs_ = 0;
  bool in_note_ = false;
};

}  // namespace

KVXSTATUS read_docx(std::string_view bytes, ChunkBuilder& out) {
  return read_office_package<DocxReader>(bytes, OfficePackage::kOoxml, out);
}

}  // namespace kvx::readers
