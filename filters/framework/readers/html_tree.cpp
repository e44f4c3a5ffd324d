// The HTML reader's own parser (html_tree.h). One pass over the bytes with a stack of open
// elements; the tree's nodes live in blocks that never move, so the links are plain pointers.
#include "filters/framework/readers/html_tree.h"

#include <algorithm>
#include <cstring>

#include "common/big5_codec.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers::html {

namespace {

// HTML 4's named character entities and &apos;, sorted by name.
constexpr std::pair<std::string_view, uint32_t> kEntities[] = {
    {"AElig", 0xC6}, {"Aacute", 0xC1}, {"Acirc", 0xC2}, {"Agrave", 0xC0}, {"Alpha", 0x391}, {"Aring",
    0xC5}, {"Atilde", 0xC3}, {"Auml", 0xC4}, {"Beta", 0x392}, {"Ccedil", 0xC7}, {"Chi", 0x3A7},
    {"Dagger", 0x2021}, {"Delta", 0x394}, {"ETH", 0xD0}, {"Eacute", 0xC9}, {"Ecirc", 0xCA}, {"Egrave",
    0xC8}, {"Epsilon", 0x395}, {"Eta", 0x397}, {"Euml", 0xCB}, {"Gamma", 0x393}, {"Iacute", 0xCD},
    {"Icirc", 0xCE}, {"Igrave", 0xCC}, {"Iota", 0x399}, {"Iuml", 0xCF}, {"Kappa", 0x39A}, {"Lambda",
    0x39B}, {"Mu", 0x39C}, {"Ntilde", 0xD1}, {"Nu", 0x39D}, {"OElig", 0x152}, {"Oacute", 0xD3},
    {"Ocirc", 0xD4}, {"Ograve", 0xD2}, {"Omega", 0x3A9}, {"Omicron", 0x39F}, {"Oslash", 0xD8},
    {"Otilde", 0xD5}, {"Ouml", 0xD6}, {"Phi", 0x3A6}, {"Pi", 0x3A0}, {"Prime", 0x2033}, {"Psi", 0x3A8},
    {"Rho", 0x3A1}, {"Scaron", 0x160}, {"Sigma", 0x3A3}, {"THORN", 0xDE}, {"Tau", 0x3A4}, {"Theta",
    0x398}, {"Uacute", 0xDA}, {"Ucirc", 0xDB}, {"Ugrave", 0xD9}, {"Upsilon", 0x3A5}, {"Uuml", 0xDC},
    {"Xi", 0x39E}, {"Yacute", 0xDD}, {"Yuml", 0x178}, {"Zeta", 0x396}, {"aacute", 0xE1}, {"acirc",
    0xE2}, {"acute", 0xB4}, {"aelig", 0xE6}, {"agrave", 0xE0}, {"alefsym", 0x2135}, {"alpha", 0x3B1},
    {"amp", 0x26}, {"and", 0x2227}, {"ang", 0x2220}, {"apos", 0x27}, {"aring", 0xE5}, {"asymp", 0x2248},
    {"atilde", 0xE3}, {"auml", 0xE4}, {"bdquo", 0x201E}, {"beta", 0x3B2}, {"brvbar", 0xA6}, {"bull",
    0x2022}, {"cap", 0x2229}, {"ccedil", 0xE7}, {"cedil", 0xB8}, {"cent", 0xA2}, {"chi", 0x3C7},
    {"circ", 0x2C6}, {"clubs", 0x2663}, {"cong", 0x2245}, {"copy", 0xA9}, {"crarr", 0x21B5}, {"cup",
    0x222A}, {"curren", 0xA4}, {"dArr", 0x21D3}, {"dagger", 0x2020}, {"darr", 0x2193}, {"deg", 0xB0},
    {"delta", 0x3B4}, {"diams", 0x2666}, {"divide", 0xF7}, {"eacute", 0xE9}, {"ecirc", 0xEA}, {"egrave",
    0xE8}, {"empty", 0x2205}, {"emsp", 0x2003}, {"ensp", 0x2002}, {"epsilon", 0x3B5}, {"equiv", 0x2261},
    {"eta", 0x3B7}, {"eth", 0xF0}, {"euml", 0xEB}, {"euro", 0x20AC}, {"exist", 0x2203}, {"fnof", 0x192},
    {"forall", 0x2200}, {"frac12", 0xBD}, {"frac14", 0xBC}, {"frac34", 0xBE}, {"frasl", 0x2044},
    {"gamma", 0x3B3}, {"ge", 0x2265}, {"gt", 0x3E}, {"hArr", 0x21D4}, {"harr", 0x2194}, {"hearts",
    0x2665}, {"hellip", 0x2026}, {"iacute", 0xED}, {"icirc", 0xEE}, {"iexcl", 0xA1}, {"igrave", 0xEC},
    {"image", 0x2111}, {"infin", 0x221E}, {"int", 0x222B}, {"iota", 0x3B9}, {"iquest", 0xBF}, {"isin",
    0x2208}, {"iuml", 0xEF}, {"kappa", 0x3BA}, {"lArr", 0x21D0}, {"lambda", 0x3BB}, {"lang", 0x2329},
    {"laquo", 0xAB}, {"larr", 0x2190}, {"lceil", 0x2308}, {"ldquo", 0x201C}, {"le", 0x2264}, {"lfloor",
    0x230A}, {"lowast", 0x2217}, {"loz", 0x25CA}, {"lrm", 0x200E}, {"lsaquo", 0x2039}, {"lsquo",
    0x2018}, {"lt", 0x3C}, {"macr", 0xAF}, {"mdash", 0x2014}, {"micro", 0xB5}, {"middot", 0xB7},
    {"minus", 0x2212}, {"mu", 0x3BC}, {"nabla", 0x2207}, {"nbsp", 0xA0}, {"ndash", 0x2013}, {"ne",
    0x2260}, {"ni", 0x220B}, {"not", 0xAC}, {"notin", 0x2209}, {"nsub", 0x2284}, {"ntilde", 0xF1},
    {"nu", 0x3BD}, {"oacute", 0xF3}, {"ocirc", 0xF4}, {"oelig", 0x153}, {"ograve", 0xF2}, {"oline",
    0x203E}, {"omega", 0x3C9}, {"omicron", 0x3BF}, {"oplus", 0x2295}, {"or", 0x2228}, {"ordf", 0xAA},
    {"ordm", 0xBA}, {"oslash", 0xF8}, {"otilde", 0xF5}, {"otimes", 0x2297}, {"ouml", 0xF6}, {"para",
    0xB6}, {"part", 0x2202}, {"permil", 0x2030}, {"perp", 0x22A5}, {"phi", 0x3C6}, {"pi", 0x3C0},
    {"piv", 0x3D6}, {"plusmn", 0xB1}, {"pound", 0xA3}, {"prime", 0x2032}, {"prod", 0x220F}, {"prop",
    0x221D}, {"psi", 0x3C8}, {"quot", 0x22}, {"rArr", 0x21D2}, {"radic", 0x221A}, {"rang", 0x232A},
    {"raquo", 0xBB}, {"rarr", 0x2192}, {"rceil", 0x2309}, {"rdquo", 0x201D}, {"real", 0x211C}, {"reg",
    0xAE}, {"rfloor", 0x230B}, {"rho", 0x3C1}, {"rlm", 0x200F}, {"rsaquo", 0x203A}, {"rsquo", 0x2019},
    {"sbquo", 0x201A}, {"scaron", 0x161}, {"sdot", 0x22C5}, {"sect", 0xA7}, {"shy", 0xAD}, {"sigma",
    0x3C3}, {"sigmaf", 0x3C2}, {"sim", 0x223C}, {"spades", 0x2660}, {"sub", 0x2282}, {"sube", 0x2286},
    {"sum", 0x2211}, {"sup", 0x2283}, {"sup1", 0xB9}, {"sup2", 0xB2}, {"sup3", 0xB3}, {"supe", 0x2287},
    {"szlig", 0xDF}, {"tau", 0x3C4}, {"there4", 0x2234}, {"theta", 0x3B8}, {"thetasym", 0x3D1},
    {"thinsp", 0x2009}, {"thorn", 0xFE}, {"tilde", 0x2DC}, {"times", 0xD7}, {"trade", 0x2122}, {"uArr",
    0x21D1}, {"uacute", 0xFA}, {"uarr", 0x2191}, {"ucirc", 0xFB}, {"ugrave", 0xF9}, {"uml", 0xA8},
    {"upsih", 0x3D2}, {"upsilon", 0x3C5}, {"uuml", 0xFC}, {"weierp", 0x2118}, {"xi", 0x3BE}, {"yacute",
    0xFD}, {"yen", 0xA5}, {"yuml", 0xFF}, {"zeta", 0x3B6}, {"zwj", 0x200D}, {"zwnj", 0x200C}
};

uint32_t entity_value(std::string_view name) {
  auto it = std::lower_bound(std::begin(kEntities), std::end(kEntities), name,
                             [](const auto& e, std::string_view n) { return e.first < n; });
  return it != std::end(kEntities) && it->first == name ? it->second : 0;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_start(char c) { return is_letter(c) || c == '_' || c == ':' || c == '.'; }
bool is_name_char(char c) { return is_letter(c) || is_digit(c) || c == ':' || c == '-' || c == '_' || c == '.'; }

// A name within a space-separated list of names.
bool listed(std::string_view list, std::string_view name) {
  for (size_t at = list.find(name); at != std::string_view::npos; at = list.find(name, at + 1)) {
    size_t end = at + name.size();
    if ((at == 0 || list[at - 1] == ' ') && (end == list.size() || list[end] == ' ')) return true;
  }
  return false;
}

// Which open elements a start tag closes when they stand on top of the stack.
struct StartClose {
  std::string_view tag, closes;
};
constexpr StartClose kStartClose[] = {
    {"a", "a"},
    {"address", "p head ul"},
    {"blockquote", "p head"},
    {"body", "head style link title p"},
    {"caption", "p"},
    {"center", "font b i p head"},
    {"col", "caption col p"},
    {"colgroup", "caption colgroup col p"},
    {"dd", "p menu dir address pre listing xmp head dt"},
    {"dir", "p head"},
    {"div", "p head"},
    {"dl", "p dt menu dir address pre listing xmp head"},
    {"dt", "p menu dir address pre listing xmp head dd"},
    {"fieldset", "legend p head h1 h2 h3 h4 h5 h6 pre listing xmp a"},
    {"form", "form p hr h1 h2 h3 h4 h5 h6 dl ul ol menu dir address pre listing xmp head"},
    {"frameset", "head style link title p"},
    {"h1", "p head"},
    {"h2", "p head"},
    {"h3", "p head"},
    {"h4", "p head"},
    {"h5", "p head"},
    {"h6", "p head"},
    {"head", "p"},
    {"hr", "p head"},
    {"li", "p h1 h2 h3 h4 h5 h6 dl address pre listing xmp head li"},
    {"listing", "p head"},
    {"menu", "p head ul"},
    {"noscript", "p head"},
    {"ol", "p head ul"},
    {"optgroup", "option"},
    {"option", "option"},
    {"p", "p head h1 h2 h3 h4 h5 h6 tt i b u s strike big small"},
    {"pre", "p head ul"},
    {"table", "p head h1 h2 h3 h4 h5 h6 pre listing xmp a"},
    {"tbody", "th td tr caption col colgroup thead tfoot tbody p"},
    {"td", "th td p span font a b i u"},
    {"tfoot", "th td tr caption col colgroup thead tbody p"},
    {"th", "th td p span font a b i u"},
    {"thead", "caption col colgroup"},
    {"title", "p"},
    {"tr", "th td tr caption col colgroup p"},
    {"ul", "p head ol menu dir address pre listing xmp"},
    {"xmp", "p head"},
};

// What may stand in the head; any other element ends it.
constexpr std::string_view kHeadContent = "base basefont link meta script style title template";

bool start_closes(std::string_view tag, std::string_view open) {
  if (open == "head" && !listed(kHeadContent, tag)) return true;
  auto it = std::lower_bound(std::begin(kStartClose), std::end(kStartClose), tag,
                             [](const StartClose& e, std::string_view t) { return e.tag < t; });
  return it != std::end(kStartClose) && it->tag == tag && listed(it->closes, open);
}

// An end tag closes the elements above its own only when none of them ranks higher: a
// stray </div> or </td> cannot break out of a table cell or a table.
int end_priority(std::string_view tag) {
  if (tag == "div") return 150;
  if (tag == "td" || tag == "th") return 160;
  if (tag == "tr") return 170;
  if (tag == "thead" || tag == "tbody" || tag == "tfoot") return 180;
  if (tag == "table") return 190;
  if (tag == "head" || tag == "body") return 200;
  if (tag == "html") return 220;
  return 100;
}

constexpr std::string_view kEmpty =
    "area base basefont br col embed frame hr img input isindex keygen link meta param source track wbr";

}  // namespace

class Builder {
 public:
  Builder(Tree& t, std::string_view s) : t_(t), s_(s) {
    t_.buffer_.reserve(s.size() + 16);
    t_.attributes_.reserve(64);
  }

  void run() {
    const size_t n = s_.size();
    while (i_ < n) {
      Node* top = open_.empty() ? nullptr : open_.back();
      if (top != nullptr && (top->name == "script" || top->name == "style")) {
        raw_text(top);
        continue;
      }
      if (s_[i_] == '<' && i_ + 1 < n) {
        char d = s_[i_ + 1];
        if (d == '/') {
          end_tag();
          continue;
        }
        if (is_letter(d)) {
          start_tag();
          continue;
        }
        if (d == '!' || d == '?') {
          if (s_.substr(i_, 4) == "<!--") {
            size_t end = s_.find("-->", i_ + 4);
            i_ = end == std::string_view::npos ? n : end + 3;
          } else {
            skip_past('>');
          }
          continue;
        }
      }
      text();
    }
    t_.top_ = doc_.children;
    for (size_t b = 0; b < t_.blocks_.size(); ++b) {
      Node* block = t_.blocks_[b].get();
      size_t count = b + 1 == t_.blocks_.size() ? t_.used_ : block_size(b);
      for (size_t k = 0; k < count; ++k)
        if (block[k].attributes != 0) block[k].attrs = t_.attributes_.data() + block[k].first_attribute;
    }
  }

 private:
  static constexpr size_t kBlock = 1024;
  // Open elements at most: deeper ones stay empty, which keeps every look-down the stack
  // short however the page nests (the reader walks no deeper than 256 anyway).
  static constexpr size_t kMaxOpen = 1024;
  // Attributes kept of one element, so that checking for repeats stays cheap.
  static constexpr size_t kMaxAttributes = 256;

  // Blocks grow from 64 nodes to kBlock, so a small page touches little memory.
  static size_t block_size(size_t index) { return index >= 4 ? kBlock : size_t(64) << index; }

  Node* new_node() {
    if (t_.blocks_.empty() || t_.used_ == block_size(t_.blocks_.size() - 1)) {
      t_.blocks_.push_back(std::make_unique<Node[]>(block_size(t_.blocks_.size())));
      t_.used_ = 0;
    }
    return &t_.blocks_.back()[t_.used_++];
  }

  void append(Node* child) {
    Node* parent = open_.empty() ? &doc_ : open_.back();
    if (parent->last != nullptr) const_cast<Node*>(parent->last)->next = child;
    else parent->children = child;
    parent->last = child;
  }

  // Adds an element and opens it; false when the stack is full and the element stays
  // empty (its content then goes to the element that holds it).
  bool push(std::string_view name, uint32_t first_attribute = 0, uint32_t attributes = 0) {
    Node* e = new_node();
    e->element = true;
    e->name = name;
    e->first_attribute = first_attribute;
    e->attributes = attributes;
    append(e);
    if (name == "head") state_ = std::max(state_, 3);
    if (name == "body") state_ = std::max(state_, 10);
    if (open_.size() >= kMaxOpen) return false;
    open_.push_back(e);
    return true;
  }

  bool in_stack(std::string_view name) const {
    return std::any_of(open_.begin(), open_.end(), [name](const Node* e) { return e->name == name; });
  }

  // Closes the open elements that the start of tag implies the end of.
  void auto_close(std::string_view tag) {
    while (!open_.empty() && start_closes(tag, open_.back()->name)) open_.pop_back();
  }

  // The html, head and body elements a start tag needs and the document lacks.
  void implied(std::string_view tag) {
    if (tag == "html") return;
    if (open_.empty()) push("html");
    if (tag == "body" || tag == "head") return;
    if (open_.size() <= 1 && listed("script style meta link title base", tag)) {
      if (state_ >= 3) return;
      push("head");
    } else if (tag != "noframes" && tag != "frame" && tag != "frameset") {
      if (state_ >= 10 || in_stack("body") || in_stack("head")) return;
      push("body");
    }
  }

  // Text needs a paragraph where no element or only html or head is open.
  void check_paragraph() {
    if (!open_.empty() && open_.back()->name != "html" && open_.back()->name != "head") return;
    auto_close("p");
    implied("p");
    push("p");
  }

  void skip_past(char c) {
    size_t at = s_.find(c, i_);
    i_ = at == std::string_view::npos ? s_.size() : at + 1;
  }

  void skip_blanks() {
    while (i_ < s_.size() && is_blank(s_[i_])) ++i_;
  }

  // A tag or attribute name, lower case; empty when none starts here.
  std::string_view name() {
    size_t start = i_;
    if (i_ >= s_.size() || !is_name_start(s_[i_])) return {};
    bool upper = false;
    while (i_ < s_.size() && is_name_char(s_[i_])) upper |= s_[i_] >= 'A' && s_[i_] <= 'Z', ++i_;
    std::string_view raw = s_.substr(start, i_ - start);
    if (!upper) return raw;
    std::string lower(raw);
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    return keep(lower);
  }

  // Keeps characters for the tree's lifetime.
  std::string_view keep(std::string_view v) {
    std::string& b = t_.buffer_;
    if (b.size() + v.size() > b.capacity()) return t_.spill_.emplace_back(v);
    size_t at = b.size();
    b.append(v);
    return std::string_view(b).substr(at, v.size());
  }

  // A character reference at s[at] == '&', read no further than n: appends what it stands
  // for and returns the position after it, or returns at when it is no reference (the '&'
  // is then plain text).
  size_t reference(size_t at, size_t n, std::string& out) const {
    size_t p = at + 1;
    if (p < n && s_[p] == '#') {
      ++p;
      bool hex = p < n && (s_[p] == 'x' || s_[p] == 'X');
      if (hex) ++p;
      size_t digits = p;
      uint32_t cp = 0;
      for (; p < n; ++p) {
        char c = s_[p];
        int v = is_digit(c) ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) break;
        cp = std::min<uint32_t>(cp * (hex ? 16 : 10) + uint32_t(v), 0x110000);
      }
      if (p == digits) return at;
      if (p < n && s_[p] == ';') ++p;
      if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
      // Control characters and the two non-characters are no text: dropped.
      if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF) return p;
      qm::append_utf8(out, cp);
      return p;
    }
    if (p >= n || !(is_letter(s_[p]) || s_[p] == '_' || s_[p] == ':')) return at;
    size_t start = p;
    while (p < n && is_name_char(s_[p])) ++p;
    if (p >= n || s_[p] != ';') return at;
    uint32_t cp = entity_value(s_.substr(start, p - start));
    if (cp == 0) return at;
    qm::append_utf8(out, cp);
    return p + 1;
  }

  // True when the bytes hold something a text or value cannot keep as it stands: a
  // reference, a control character or the start of U+FFFE or U+FFFF.
  static bool needs_decoding(std::string_view v) {
    for (char ch : v) {
      auto c = static_cast<unsigned char>(ch);
      if (c == '&' || c == 0xEF || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) return true;
    }
    return false;
  }

  // The characters of s[from, to) with references decoded and control characters dropped.
  std::string_view decoded(size_t from, size_t to) {
    std::string_view raw = s_.substr(from, to - from);
    if (!needs_decoding(raw)) return raw;
    std::string out;
    out.reserve(raw.size());
    for (size_t p = from; p < to;) {
      auto c = static_cast<unsigned char>(s_[p]);
      if (c == '&') {
        size_t after = reference(p, to, out);
        if (after != p) {
          p = after;
          continue;
        }
      } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        ++p;
        continue;
      } else if (c == 0xEF && p + 2 < to && uint8_t(s_[p + 1]) == 0xBF && (uint8_t(s_[p + 2]) & 0xFE) == 0xBE) {
        p += 3;
        continue;
      }
      out += char(c);
      ++p;
    }
    return keep(out);
  }

  void add_text(std::string_view v) {
    Node* t = new_node();
    t->text = v;
    append(t);
  }

  // Characters up to the next '<' (a '<' that starts no markup is one of them).
  void text() {
    size_t from = i_;
    size_t end = s_.find('<', i_ + 1);
    if (end == std::string_view::npos) end = s_.size();
    i_ = end;
    std::string_view v = decoded(from, end);
    if (v.empty()) return;
    bool blank = std::all_of(v.begin(), v.end(), is_blank);
    if (blank) {
      if (!open_.empty()) add_text(v);  // blanks outside every element are dropped
      return;
    }
    check_paragraph();
    add_text(v);
  }

  // The content of a script or style element, up to the end tag of its name.
  void raw_text(const Node* top) {
    size_t from = i_, at = i_;
    const size_t n = s_.size();
    for (;; ++at) {
      at = s_.find("</", at);
      if (at == std::string_view::npos) {
        at = n;
        break;
      }
      std::string_view tail = s_.substr(at + 2, top->name.size());
      if (tail.size() == top->name.size() &&
          std::equal(tail.begin(), tail.end(), top->name.begin(),
                     [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a + 32) : a) == b; }))
        break;
    }
    if (at > from) add_text(s_.substr(from, at - from));
    i_ = at;
    if (at == n) open_.pop_back();  // never ended: closed at the end
    else end_tag_named(top);
  }

  // The end tag of the element on top after raw text; a longer name ("</scripts") is no
  // end tag of it, and its characters are read as raw text again.
  void end_tag_named(const Node* top) {
    size_t mark = i_;
    i_ += 2;
    std::string_view tag = name();
    if (tag != top->name) {
      add_text(s_.substr(mark, i_ - mark));
      return;
    }
    skip_blanks();
    if (i_ < s_.size() && s_[i_] == '>') ++i_;
    else skip_past('>');
    open_.pop_back();
  }

  void start_tag() {
    ++i_;
    std::string_view tag = name();
    auto_close(tag);
    implied(tag);
    bool discard = false;
    if (tag == "html" && !open_.empty()) discard = true, ++discarded_;
    if (tag == "head" && open_.size() != 1) discard = true, ++discarded_;
    if (tag == "body")
      for (const Node* e : open_)
        if (e->name == "body") discard = true, ++discarded_;

    auto first = uint32_t(t_.attributes_.size());
    const size_t n = s_.size();
    skip_blanks();
    while (i_ < n && s_[i_] != '>' && !(s_[i_] == '/' && i_ + 1 < n && s_[i_ + 1] == '>')) {
      size_t before = i_;
      std::string_view attr = name();
      if (attr.empty()) {
        // No attribute name here: the bogus characters up to a blank or the tag's end go.
        while (i_ < n && !is_blank(s_[i_]) && s_[i_] != '>' && !(s_[i_] == '/' && i_ + 1 < n && s_[i_ + 1] == '>')) ++i_;
      } else {
        std::string_view value;
        skip_blanks();
        if (i_ < n && s_[i_] == '=') {
          ++i_;
          skip_blanks();
          value = attribute_value();
        }
        bool seen = t_.attributes_.size() - first >= kMaxAttributes;
        for (size_t k = first; k < t_.attributes_.size() && !seen; ++k) seen = t_.attributes_[k].name == attr;
        if (!seen) t_.attributes_.push_back({attr, value});
      }
      skip_blanks();
      if (i_ == before) ++i_;
    }
    auto count = uint32_t(t_.attributes_.size() - first);
    if (discard) {
      t_.attributes_.resize(first);
      count = 0;
    }
    bool open = !discard && push(tag, first, count);
    if (i_ < n && s_[i_] == '/') {  // "/>": an element without content
      i_ += 2;
      if (open) open_.pop_back();
    } else if (i_ < n) {
      ++i_;
      if (open && listed(kEmpty, tag)) open_.pop_back();
    } else if (open) {
      open_.pop_back();  // the tag never ended
    }
  }

  std::string_view attribute_value() {
    const size_t n = s_.size();
    if (i_ < n && (s_[i_] == '"' || s_[i_] == '\'')) {
      char quote = s_[i_++];
      size_t end = s_.find(quote, i_);
      if (end == std::string_view::npos) end = n;
      std::string_view v = decoded(i_, end);
      i_ = std::min(end + 1, n);
      return v;
    }
    size_t from = i_;
    while (i_ < n && !is_blank(s_[i_]) && s_[i_] != '>') ++i_;
    return decoded(from, i_);
  }

  void end_tag() {
    i_ += 2;
    std::string_view tag = name();
    if (tag.empty()) {  // "</" and no name: dropped up to the next '>'
      skip_past('>');
      return;
    }
    skip_blanks();
    if (i_ < s_.size() && s_[i_] == '>') ++i_;
    else skip_past('>');
    if (discarded_ > 0 && (tag == "html" || tag == "body" || tag == "head")) {
      --discarded_;
      return;
    }
    int priority = end_priority(tag);
    size_t k = open_.size();
    while (k > 0 && open_[k - 1]->name != tag) {
      if (end_priority(open_[k - 1]->name) > priority) return;
      --k;
    }
    if (k == 0) return;  // not open: ignored
    open_.resize(k - 1);
  }

  Tree& t_;
  std::string_view s_;
  size_t i_ = 0;
  Node doc_;
  std::vector<Node*> open_;
  int state_ = 0;       // 3 once a head was opened, 10 once a body was
  int discarded_ = 0;   // misplaced html, head and body start tags, whose end tags are ignored
};

Tree::Tree(std::string_view utf8) {
  Builder b(*this, utf8);
  b.run();
}

const std::string_view* attribute(const Node* n, std::string_view name) {
  for (uint32_t k = 0; k < n->attributes; ++k)
    if (n->attrs[k].name == name) return &n->attrs[k].value;
  return nullptr;
}

std::string text_content(const Node* n) {
  std::string out;
  if (!n->element) return std::string(n->text);
  std::vector<const Node*> stack;
  for (const Node* c = n->children; c != nullptr || !stack.empty();) {
    if (c == nullptr) {
      c = stack.back()->next;
      stack.pop_back();
      continue;
    }
    if (!c->element) {
      out += c->text;
      c = c->next;
    } else if (c->children != nullptr) {
      stack.push_back(c);
      c = c->children;
    } else {
      c = c->next;
    }
  }
  return out;
}

}  // namespace kvx::readers::html
