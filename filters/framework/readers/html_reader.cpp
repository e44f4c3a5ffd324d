// The HTML reader: the source's character set from its byte-order mark, else its meta
// charset, else the strict decode order (text_decode.h); the text decoded here and parsed
// as UTF-8 by our own HTML parser (html_tree.h), so a meta cannot decode the bytes twice. The title and the author, description,
// keywords and subject metas become properties; the body is walked into paragraphs (h1
// to h6 with paragraph styles of outline levels 2 to 7), line breaks, character
// attributes (b, i, u, s, sub, sup), font (face, size and colour) and the style attribute's
// font-family, font-size and color (the enclosing values restored at the element's end),
// lists (ul and ol as list styles by their markers, li as list items with their levels
// and numbers), hyperlinks (a href), bookmarks (a name, id) and
// tables with their column and row spans. Head, script and style give no text.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/big5_codec.h"
#include "filters/framework/kvx_charsets.h"
#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/html_tree.h"
#include "filters/framework/readers/pictures.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {

constexpr int kMaxDepth = 256;
constexpr uint32_t kMaxSpan = 1000;

using html::Node;

bool is(const Node* n, std::string_view name) { return n->element && n->name == name; }

// What the walk does with an element, by its name: looked up once per element in a
// table sorted by name instead of comparing the name with each list of names in turn.
enum TagFlag : uint32_t {
  kSkip = 1u << 0,      // head, script, style, title, noscript, template: no text
  kBreak = 1u << 1,     // br
  kImage = 1u << 2,     // img
  kTable = 1u << 3,     // table
  kAnchor = 1u << 4,    // a
  kBlock = 1u << 5,     // ends the paragraph before and after
  kList = 1u << 6,      // ul, ol, menu, dir
  kOrdered = 1u << 7,   // ol
  kItem = 1u << 8,      // li
  kFont = 1u << 9,      // font
  kPre = 1u << 10,      // pre
  kRow = 1u << 11,      // tr
  kRowGroup = 1u << 12, // thead, tbody, tfoot
  kCell = 1u << 13,     // td, th
  kCaption = 1u << 14,  // caption
};

struct Tag {
  std::string_view name;
  uint32_t flags;
  uint32_t attribute;  // character attribute switched on inside
  uint32_t heading;    // 1 to 6 for h1 to h6
};

constexpr Tag kTags[] = {
    {"a", kAnchor, 0, 0},
    {"address", kBlock, 0, 0},
    {"article", kBlock, 0, 0},
    {"aside", kBlock, 0, 0},
    {"b", 0, KVXATTR_BOLD, 0},
    {"blockquote", kBlock, 0, 0},
    {"body", kBlock, 0, 0},
    {"br", kBreak, 0, 0},
    {"caption", kBlock | kCaption, 0, 0},
    {"center", kBlock, 0, 0},
    {"cite", 0, KVXATTR_ITALIC, 0},
    {"dd", kBlock, 0, 0},
    {"del", 0, KVXATTR_STRIKE, 0},
    {"dfn", 0, KVXATTR_ITALIC, 0},
    {"dir", kList, 0, 0},
    {"div", kBlock, 0, 0},
    {"dl", kBlock, 0, 0},
    {"dt", kBlock, 0, 0},
    {"em", 0, KVXATTR_ITALIC, 0},
    {"fieldset", kBlock, 0, 0},
    {"figcaption", kBlock, 0, 0},
    {"figure", kBlock, 0, 0},
    {"font", kFont, 0, 0},
    {"footer", kBlock, 0, 0},
    {"form", kBlock, 0, 0},
    {"h1", kBlock, 0, 1},
    {"h2", kBlock, 0, 2},
    {"h3", kBlock, 0, 3},
    {"h4", kBlock, 0, 4},
    {"h5", kBlock, 0, 5},
    {"h6", kBlock, 0, 6},
    {"head", kSkip, 0, 0},
    {"header", kBlock, 0, 0},
    {"hr", kBlock, 0, 0},
    {"html", kBlock, 0, 0},
    {"i", 0, KVXATTR_ITALIC, 0},
    {"img", kImage, 0, 0},
    {"ins", 0, KVXATTR_UNDERLINE, 0},
    {"li", kBlock | kItem, 0, 0},
    {"main", kBlock, 0, 0},
    {"menu", kList, 0, 0},
    {"nav", kBlock, 0, 0},
    {"noscript", kSkip, 0, 0},
    {"ol", kBlock | kList | kOrdered, 0, 0},
    {"p", kBlock, 0, 0},
    {"pre", kBlock | kPre, 0, 0},
    {"s", 0, KVXATTR_STRIKE, 0},
    {"script", kSkip, 0, 0},
    {"section", kBlock, 0, 0},
    {"strike", 0, KVXATTR_STRIKE, 0},
    {"strong", 0, KVXATTR_BOLD, 0},
    {"style", kSkip, 0, 0},
    {"sub", 0, KVXATTR_SUBSCRIPT, 0},
    {"sup", 0, KVXATTR_SUPERSCRIPT, 0},
    {"table", kBlock | kTable, 0, 0},
    {"tbody", kRowGroup, 0, 0},
    {"td", kBlock | kCell, 0, 0},
    {"template", kSkip, 0, 0},
    {"tfoot", kRowGroup, 0, 0},
    {"th", kBlock | kCell, 0, 0},
    {"thead", kRowGroup, 0, 0},
    {"title", kSkip, 0, 0},
    {"tr", kBlock | kRow, 0, 0},
    {"u", 0, KVXATTR_UNDERLINE, 0},
    {"ul", kBlock | kList, 0, 0},
    {"var", 0, KVXATTR_ITALIC, 0},
};

constexpr Tag kNoTag = {"", 0, 0, 0};

// The table entry of an element (of a node that is no element: no flags).
const Tag& tag_of(const Node* n) {
  if (!n->element) return kNoTag;
  auto it = std::lower_bound(std::begin(kTags), std::end(kTags), n->name,
                             [](const Tag& t, std::string_view name) { return t.name < name; });
  return it != std::end(kTags) && it->name == n->name ? *it : kNoTag;
}

bool has(const Node* n, uint32_t flag) { return (tag_of(n).flags & flag) != 0; }

// An attribute's value; empty when the element has none.
std::string attr(const Node* n, std::string_view name) {
  const std::string_view* v = html::attribute(n, name);
  return v ? std::string(*v) : std::string();
}

uint32_t span(const Node* n, std::string_view name) {
  std::string v = attr(n, name);
  uint32_t x = 0;
  for (char c : v) {
    if (c < '0' || c > '9') break;
    x = std::min<uint32_t>(x * 10 + uint32_t(c - '0'), kMaxSpan);
  }
  return std::max<uint32_t>(x, 1);
}

std::vector<uint16_t> utf16_of(const std::string& utf8) {
  std::vector<uint16_t> out;
  if (!decode_utf8(utf8, out)) out = decode(utf8, SourceEncoding::Utf8);
  return out;
}

// The charset named by a meta tag near the start, as a decoder; false when none is named
// or the name is not one of ours.
bool meta_encoding(std::string_view s, SourceEncoding& enc) {
  std::string head(s.substr(0, 4096));
  for (char& c : head) c = char(std::tolower(static_cast<unsigned char>(c)));
  size_t at = 0;
  while ((at = head.find("charset", at)) != std::string::npos) {
    at += 7;
    size_t p = head.find_first_not_of(" \t\r\n", at);
    if (p == std::string::npos || head[p] != '=') continue;
    p = head.find_first_not_of(" \t\r\n\"'", p + 1);
    if (p == std::string::npos) return false;
    size_t e = head.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.:", p);
    uint32_t set = resolve_charset(charset_from_name(head.substr(p, e == std::string::npos ? e : e - p)));
    if (set == KVXCS_BIG5) enc = SourceEncoding::Big5;
    else if (set == KVXCS_UNICODE) enc = SourceEncoding::Utf8;
    else if (set == KVXCS_CP1252) enc = SourceEncoding::Cp1252;
    else return false;
    return true;
  }
  return false;
}

// Rows of a table: its tr children, also those inside thead, tbody and tfoot.
void table_rows(const Node* table, std::vector<const Node*>& rows) {
  for (const Node* c = table->children; c; c = c->next) {
    uint32_t flags = tag_of(c).flags;
    if (flags & kRow) rows.push_back(c);
    else if (flags & kRowGroup)
      for (const Node* r = c->children; r; r = r->next)
        if (has(r, kRow)) rows.push_back(r);
  }
}

class Walker {
 public:
  explicit Walker(DocWriter& w) : w_(w) {}

  void walk(const Node* n, int depth) {
    for (; n && !w_.failed(); n = n->next) node(n, depth);
  }

 private:
  void node(const Node* n, int depth) {
    if (!n->element) {
      text(n->text);
      return;
    }
    if (depth > kMaxDepth) return;
    const Tag& tag = tag_of(n);
    if (tag.flags & kSkip) return;
    if (tag.flags & kBreak) {
      w_.line_break();
      at_start_ = true;
      return;
    }
    if (tag.flags & kImage) {
      if (const std::string_view* src = html::attribute(n, "src"))
        html_picture(w_, std::string(*src), html::attribute(n, "width"), html::attribute(n, "height"));
      return;
    }
    if ((tag.flags & kTable) && w_.table_depth() < DocWriter::kMaxTableDepth) {
      table(n, depth);
      return;
    }
    bool anchor = (tag.flags & kAnchor) != 0;
    std::string name = attr(n, anchor ? "name" : "id");
    if (!name.empty()) w_.bookmark(utf16_of(name));
    uint32_t attribute = tag.attribute;
    bool block = (tag.flags & kBlock) != 0;
    if (block) end_paragraph();
    bool list = (tag.flags & kList) != 0;
    if (list) list_open(n, (tag.flags & kOrdered) != 0);
    if (tag.flags & kItem) list_item(n);
    if (tag.heading) w_.paragraph_style(0, tag.heading + 1);
    std::string href = anchor && !in_link_ ? attr(n, "href") : std::string();
    bool linked = !href.empty() && w_.hyperlink(utf16_of(href));
    if (linked) in_link_ = true;
    if (attribute) toggle(attribute, +1);
    Font outer = font_;
    if (tag.flags & kFont) font_open(n);
    style_open(n);
    bool was_pre = pre_;
    if (tag.flags & kPre) pre_ = true;
    walk(n->children, depth + 1);
    pre_ = was_pre;
    font_close(outer);
    if (attribute) toggle(attribute, -1);
    if (linked) {
      w_.hyperlink_end();
      in_link_ = false;
    }
    if (block) end_paragraph();
    if (list) lists_.pop_back();
  }

  // Lists: each ul or ol is one level deeper (at most 12); ol's type (1, a, A, i, I) and
  // start, ul's type (disc, circle, square; by depth when not given: disc, circle, then
  // square) choose the marker's list style; li's value sets the number from there on.
  struct List {
    uint32_t style = 0;
    bool numbered = false;
    uint32_t next = 1;
  };

  static uint32_t number_attr(const std::string& v, uint32_t fallback) {
    size_t p = v.find_first_not_of(" \t\r\n");
    if (p == std::string::npos || v[p] < '0' || v[p] > '9') return fallback;
    uint32_t x = 0;
    for (; p < v.size() && v[p] >= '0' && v[p] <= '9'; ++p) x = std::min<uint32_t>(x * 10 + uint32_t(v[p] - '0'), 0x7FFFFFFF);
    return x;
  }

  void list_open(const Node* n, bool ordered) {
    List l;
    std::string type = attr(n, "type");
    if (ordered) {
      l.numbered = true;
      uint32_t counter = DocWriter::kCounterDecimal;
      bool lower = false;
      if (type == "a" || type == "A") counter = DocWriter::kCounterLetters, lower = type == "a";
      if (type == "i" || type == "I") counter = DocWriter::kCounterRoman, lower = type == "i";
      l.style = w_.list_style(counter, lower, 0);
      l.next = number_attr(attr(n, "start"), 1);
    } else {
      size_t bullets = 0;
      for (const List& outer : lists_) bullets += outer.numbered ? 0 : 1;
      type = trimmed_lower(type);
      uint16_t bullet = type == "disc" ? 0x2022 : type == "circle" ? 0x25E6 : type == "square" ? 0x25AA
                        : bullets == 0 ? 0x2022 : bullets == 1 ? 0x25E6 : 0x25AA;
      l.style = w_.list_style(DocWriter::kCounterBullet, false, bullet);
    }
    lists_.push_back(l);
  }

  void list_item(const Node* n) {
    if (lists_.empty()) {  // an li outside any list: a bulleted item of its own
      uint32_t style = w_.list_style(DocWriter::kCounterBullet, false, 0x2022);
      if (style != 0) w_.list_item(style, 0, 0);
      return;
    }
    List& l = lists_.back();
    if (l.style == 0) return;
    uint32_t number = 0;
    if (l.numbered) {
      number = number_attr(attr(n, "value"), l.next);
      l.next = number < 0x7FFFFFFF ? number + 1 : number;
    }
    w_.list_item(l.style, uint32_t(std::min<size_t>(lists_.size() - 1, DocWriter::kListLevels - 1)), number);
  }

  // The font in force: face (empty: the document's), size in twips (12 points, HTML's
  // size 3, the default) and colour 0x00BBGGRR (kNoColour: the default, black).
  static constexpr uint32_t kNoColour = 0xFFFFFFFFu;
  static constexpr uint32_t kDefaultTwips = 240, kMinTwips = 20, kMaxTwips = 32760;
  struct Font {
    std::vector<uint16_t> face;
    uint32_t twips = kDefaultTwips;
    uint32_t colour = kNoColour;
  };

  // Twips of HTML's font sizes 1 to 7: 8, 10, 12, 14, 18, 24 and 36 points.
  static uint32_t twips_of(int size) {
    static const uint32_t kPoints[] = {8, 10, 12, 14, 18, 24, 36};
    return kPoints[std::clamp(size, 1, 7) - 1] * 20;
  }

  static std::string trimmed_lower(std::string v) {
    for (char& c : v) c = char(std::tolower(static_cast<unsigned char>(c)));
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
    v.erase(0, std::min(v.size(), v.find_first_not_of(" \t\r\n")));
    return v;
  }

  // "#rrggbb", "rrggbb", "#rgb", "rgb(r, g, b)" (numbers or percentages) or one of HTML's
  // sixteen colour names; kNoColour when none of these.
  static uint32_t colour_of(std::string v) {
    v = trimmed_lower(v);
    if (v.starts_with("rgb(") && v.back() == ')') {
      uint32_t bgr = 0;
      std::string args = v.substr(4, v.size() - 5);
      for (int k = 0; k < 3; ++k) {
        size_t comma = args.find(',');
        if ((comma == std::string::npos) != (k == 2)) return kNoColour;
        std::string part = trimmed_lower(args.substr(0, comma));
        args = comma == std::string::npos ? "" : args.substr(comma + 1);
        char* end = nullptr;
        double x = std::strtod(part.c_str(), &end);
        if (part.empty() || end == part.c_str()) return kNoColour;
        if (*end == '%') x = x * 255 / 100, ++end;
        if (*end != '\0' || !(x == x)) return kNoColour;
        bgr |= uint32_t(std::clamp(x, 0.0, 255.0) + 0.5) << (8 * k);
      }
      return bgr;
    }
    static const std::pair<const char*, const char*> kNames[] = {
        {"black", "000000"}, {"silver", "c0c0c0"}, {"gray", "808080"},   {"white", "ffffff"},
        {"maroon", "800000"}, {"red", "ff0000"},   {"purple", "800080"}, {"fuchsia", "ff00ff"},
        {"green", "008000"}, {"lime", "00ff00"},   {"olive", "808000"},  {"yellow", "ffff00"},
        {"navy", "000080"},  {"blue", "0000ff"},   {"teal", "008080"},   {"aqua", "00ffff"}};
    for (auto [name, hex] : kNames)
      if (v == name) v = hex;
    if (!v.empty() && v[0] == '#') v.erase(0, 1);
    if (v.size() == 3) v = {v[0], v[0], v[1], v[1], v[2], v[2]};
    if (v.size() != 6 || v.find_first_not_of("0123456789abcdef") != std::string::npos) return kNoColour;
    uint32_t rgb = uint32_t(std::stoul(v, nullptr, 16));
    return (rgb >> 16) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
  }

  // face: the first family named; size: 1 to 7, or +n and -n from the default 3.
  void font_open(const Node* n) {
    std::vector<uint16_t> face = utf16_of(first_family(attr(n, "face")));
    if (!face.empty()) {
      font_.face = face;
      w_.font(font_.face);
    }
    std::string size = attr(n, "size");
    size_t p = size.find_first_not_of(" \t\r\n");
    if (p != std::string::npos) {
      int sign = size[p] == '+' ? 1 : size[p] == '-' ? -1 : 0;
      if (sign) ++p;
      if (p < size.size() && size[p] >= '0' && size[p] <= '9') {
        int v = std::min(size[p] - '0', 9);
        font_.twips = twips_of(std::clamp(sign ? 3 + sign * v : v, 1, 7));
        w_.font_size(font_.twips);
      }
    }
    uint32_t colour = colour_of(attr(n, "color"));
    if (colour != kNoColour) {
      font_.colour = colour;
      w_.text_colour(colour);
    }
  }

  // The first family of a font-family list (or of a face attribute), unquoted; empty when
  // it names none.
  static std::string first_family(const std::string& list) {
    std::string face = list.substr(0, list.find(','));
    size_t b = face.find_first_not_of(" \t\r\n'\""), e = face.find_last_not_of(" \t\r\n'\"");
    return b == std::string::npos ? std::string() : face.substr(b, e - b + 1);
  }

  // A CSS font size in twips: a length (pt, px, pc, in, cm, mm), a size relative to the
  // enclosing one (em, %, larger, smaller) or a keyword (xx-small to xx-large, HTML's
  // sizes 1 to 6 about medium = 3); 0 when the value is none of these.
  static uint32_t css_twips(const std::string& value, uint32_t current) {
    std::string v = trimmed_lower(value);
    static const std::pair<const char*, uint32_t> kKeywords[] = {
        {"xx-small", 140}, {"x-small", 160}, {"small", 200},    {"medium", 240},
        {"large", 280},    {"x-large", 360}, {"xx-large", 480}, {"xxx-large", 720}};
    for (auto [word, twips] : kKeywords)
      if (v == word) return twips;
    double x = 0;
    if (v == "larger") x = current * 1.2;
    else if (v == "smaller") x = current / 1.2;
    else {
      char* end = nullptr;
      x = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || !(x == x) || x <= 0) return 0;
      std::string unit = trimmed_lower(end);
      static const std::pair<const char*, double> kUnits[] = {
          {"pt", 20}, {"px", 15}, {"pc", 240}, {"in", 1440}, {"cm", 1440 / 2.54}, {"mm", 144 / 2.54}};
      bool known = false;
      for (auto [name, factor] : kUnits)
        if (unit == name) x *= factor, known = true;
      if (unit == "em" || unit == "rem") x *= current, known = true;
      if (unit == "%") x = x * current / 100, known = true;
      if (!known) return 0;
    }
    return uint32_t(std::clamp(x, double(kMinTwips), double(kMaxTwips)) + 0.5);
  }

  // An element's style attribute: its font-family, font-size and color declarations.
  void style_open(const Node* n) {
    std::string style = attr(n, "style");
    size_t at = 0;
    while (at < style.size()) {
      size_t end = style.find(';', at);
      if (end == std::string::npos) end = style.size();
      std::string decl = style.substr(at, end - at);
      at = end + 1;
      size_t colon = decl.find(':');
      if (colon == std::string::npos) continue;
      std::string name = trimmed_lower(decl.substr(0, colon)), value = decl.substr(colon + 1);
      size_t bang = value.find('!');  // "!important" changes nothing here
      if (bang != std::string::npos) value.erase(bang);
      if (name == "font-family") {
        std::vector<uint16_t> face = utf16_of(first_family(value));
        if (!face.empty() && face != font_.face) {
          font_.face = face;
          w_.font(face);
        }
      } else if (name == "font-size") {
        uint32_t twips = css_twips(value, font_.twips);
        if (twips != 0 && twips != font_.twips) {
          font_.twips = twips;
          w_.font_size(twips);
        }
      } else if (name == "color") {
        uint32_t colour = colour_of(value);
        if (colour != kNoColour && colour != font_.colour) {
          font_.colour = colour;
          w_.text_colour(colour);
        }
      }
    }
  }

  // Back to the enclosing font, for what the closing element had changed.
  void font_close(const Font& outer) {
    if (font_.face != outer.face) w_.font(outer.face);
    if (font_.twips != outer.twips) w_.font_size(outer.twips);
    if (font_.colour != outer.colour) w_.text_colour(outer.colour == kNoColour ? 0 : outer.colour);
    font_ = outer;
  }

  void toggle(uint32_t attribute, int step) {
    int& count = counts_[attribute];
    if ((step > 0 && count++ == 0) || (step < 0 && --count == 0)) w_.attribute(attribute, step > 0);
  }

  void end_paragraph() {
    if (w_.in_paragraph()) w_.paragraph();
    at_start_ = true;
  }

  // Whitespace collapsed to one blank, none at a paragraph's start; in pre, lines kept.
  void text(std::string_view bytes) {
    if (!decode_utf8(bytes, units_)) units_ = decode(bytes, SourceEncoding::Utf8);
    for (uint16_t u : units_) {
      if (pre_ && (u == '\n' || u == '\r')) {
        if (u == '\n') w_.paragraph();
        at_start_ = true;
        continue;
      }
      bool blank = u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == '\f';
      if (blank && !pre_) {
        if (at_start_ || last_blank_) continue;
        u = ' ';
      }
      w_.text(u);
      last_blank_ = blank;
      at_start_ = false;
    }
  }

  void table(const Node* t, int depth) {
    end_paragraph();
    for (const Node* c = t->children; c; c = c->next)
      if (has(c, kCaption)) {
        walk(c->children, depth + 1);
        end_paragraph();
      }
    std::vector<const Node*> rows;
    table_rows(t, rows);
    // Columns: the widest row once the row spans from above are counted.
    std::vector<uint32_t> covered;
    uint32_t columns = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
      uint32_t col = 0;
      for (const Node* c = rows[r]->children; c; c = c->next) {
        if (!has(c, kCell)) continue;
        while (col < covered.size() && covered[col] > 0) ++col;
        uint32_t cs = span(c, "colspan"), rs = std::min<uint32_t>(span(c, "rowspan"), uint32_t(rows.size() - r));
        if (col + cs > DocWriter::kMaxTableColumns) break;
        if (covered.size() < col + cs) covered.resize(col + cs, 0);
        for (uint32_t k = 0; k < cs; ++k) covered[col + k] = rs;
        col += cs;
      }
      columns = std::max(columns, std::max<uint32_t>(col, uint32_t(covered.size())));
      for (uint32_t& c : covered)
        if (c > 0) --c;
    }
    if (rows.empty() || columns == 0) return;
    if (!w_.table_start(uint32_t(rows.size()), columns)) return;
    for (const Node* row : rows) {
      for (const Node* c = row->children; c && !w_.failed(); c = c->next) {
        if (!has(c, kCell)) continue;
        if (!w_.cell(span(c, "colspan"), span(c, "rowspan"))) break;
        at_start_ = true;
        walk(c->children, depth + 1);
        w_.end_cell();
      }
      w_.end_row();
    }
    w_.table_end();
    at_start_ = true;
  }

  DocWriter& w_;
  std::vector<List> lists_;
  std::vector<uint16_t> units_;  // the text node being written, reused
  std::array<int, 16> counts_{};
  Font font_;
  bool at_start_ = true, last_blank_ = false, pre_ = false, in_link_ = false;
};

// Title and metas of the head as properties: 6 title, 4 author, 1 description (the
// comment), 2 keywords, 5 subject; the first of each.
void head_properties(const Node* root, DocWriter& w) {
  const Node* head = nullptr;
  for (const Node* c = root ? root->children : nullptr; c && !head; c = c->next)
    if (is(c, "head")) head = c;
  if (!head) return;
  std::string values[7];
  for (const Node* c = head->children; c; c = c->next) {
    if (is(c, "title") && values[6].empty()) {
      values[6] = html::text_content(c);
    } else if (is(c, "meta")) {
      std::string name = attr(c, "name");
      for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
      static const std::pair<const char*, uint32_t> kMetas[] = {
          {"author", 4}, {"description", 1}, {"keywords", 2}, {"subject", 5}};
      for (auto [meta, number] : kMetas)
        if (name == meta && values[number].empty()) values[number] = attr(c, "content");
    }
  }
  for (uint32_t number : {6u, 5u, 4u, 2u, 1u}) {
    std::string& v = values[number];
    // Blanks collapsed, none at the ends.
    std::string clean;
    for (char ch : v) {
      bool blank = ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
      if (blank && (clean.empty() || clean.back() == ' ')) continue;
      clean += blank ? ' ' : ch;
    }
    while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    w.property(number, utf16_of(clean));
  }
}

}  // namespace

KVXSTATUS read_html(std::string_view bytes, ChunkBuilder& out) {
  size_t mark = 0;
  const SourceEncoding guessed = guess_encoding(bytes, &mark);
  SourceEncoding enc = guessed;
  if (mark == 0) meta_encoding(bytes, enc);
  std::string utf8;
  std::vector<uint16_t> units;
  std::string_view plain = bytes;
  if (enc == SourceEncoding::Utf8 && plain.starts_with("\xEF\xBB\xBF")) plain.remove_prefix(3);
  std::string_view source;  // UTF-8 without NUL bytes
  // Without a byte-order mark the guess has already found out whether the bytes are UTF-8.
  bool as_is = enc == SourceEncoding::Utf8 && (mark == 0 ? guessed == SourceEncoding::Utf8 : is_utf8(plain));
  if (as_is && plain.find('\0') == std::string_view::npos) {
    source = plain;  // already what the parser takes: read in place
  } else if (as_is) {
    // NULs replaced as below.
    utf8.reserve(plain.size());
    for (size_t at = 0; at < plain.size();) {
      size_t nul = plain.find('\0', at);
      utf8.append(plain.substr(at, nul == std::string_view::npos ? std::string_view::npos : nul - at));
      if (nul == std::string_view::npos) break;
      utf8 += "\xEF\xBF\xBD";
      at = nul + 1;
    }
  } else {
    units = decode(bytes, enc);
    utf8.reserve(units.size() + units.size() / 2);
  }
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    else if (cp >= 0xD800 && cp <= 0xDFFF)
      cp = 0xFFFD;
    if (cp == 0) cp = 0xFFFD;
    qm::append_utf8(utf8, cp);
  }
  if (source.data() == nullptr) source = utf8;
  if (source.size() > size_t(INT32_MAX)) return KVXERR_BADFORMAT;
  DocWriter w(out);
  w.section();
  if (enc == SourceEncoding::Big5) w.document_charset(KVXCS_BIG5);
  {
    html::Tree tree(source);
    const Node* root = tree.root();
    while (root != nullptr && !root->element) root = root->next;
    head_properties(root, w);
    Walker walker(w);
    walker.walk(root, 0);
  }
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
