// The HTML writer's lifecycle, its table of style classes, the style sheet written at the
// end of an export, and the class and span writers of the CSS flavours (see
// pc_stylesheet.h). Builds on the character side (pc_chars.cpp) and the CSS property
// writer (pc_css.cpp).
#include "pc_stylesheet.h"

#include <algorithm>
#include <cstring>

#include "pc_charsets.h"
#include "pc_memory.h"
#include "pc_writer.h"

namespace pc {

namespace {

// Option 35: the default face as a text pointer and its kind (1: 16-bit text).
struct FaceOption {
  const void* text;
  uint16_t kind;
};
constexpr size_t kFaceMax = 256;

std::u16string read_default_face(WriterState& s) {
  FaceOption f{};
  uint32_t size = sizeof f;
  if (!s.getOption || s.getOption(KVXOPT_35, &f, &size) != KVX_OK || f.text == nullptr) return u"Arial";
  std::u16string face;
  if (f.kind == 1) {
    const auto* w = static_cast<const uint8_t*>(f.text);
    for (size_t i = 0; i < kFaceMax; ++i) {
      uint16_t c = 0;
      std::memcpy(&c, w + 2 * i, 2);
      if (c == 0) break;
      face.push_back(char16_t(c));
    }
  } else {
    const auto* c = static_cast<const unsigned char*>(f.text);
    for (size_t i = 0; i < kFaceMax && c[i] != 0; ++i) face.push_back(char16_t(c[i]));
  }
  return face.empty() ? u"Arial" : face;
}

bool same_records(const StyleClass& c, uint32_t parent, const StyleAttrRecord& r) {
  return c.parent == parent && std::memcmp(&c.para, &r.para, sizeof r.para) == 0 &&
         c.chr.flags == r.chars.flags && c.chr.fontSize == r.chars.fontSize && c.chr.colour == r.chars.colour &&
         c.chr.background == r.chars.background && std::memcmp(c.chr.toggles, r.chars.toggles, sizeof c.chr.toggles) == 0 &&
         c.chr.verticalOffset == r.chars.verticalOffset && c.chr.fontNames[0] == r.chars.fontNames[0];
}

// Character properties compared one by one: the flag bits that make each.
constexpr uint32_t kCharProps[] = {
    0x200000,                           // font-family
    0x80000,                            // font-size
    0x1,                                // font-weight
    0x2,                                // font-style
    0x1000,                             // font-variant
    0x20 | 0x40 | 0x80 | 0x100 | 0x10000,  // text-decoration
    0x200 | 0x400 | 0x800,              // text-transform
    0x4 | 0x8 | 0x10,                   // vertical-align
    0x2000,                             // display
    0x100000,                           // color
    0x8000000,                          // background-color
};

bool same_char_prop(const CharAttrRecord& a, const CharAttrRecord& b, uint32_t mask) {
  if ((a.flags & mask) != (b.flags & mask)) return false;
  if ((a.flags & mask) == 0) return true;
  switch (mask) {
    case 0x200000: return a.fontNames[0].substr(0, 80) == b.fontNames[0].substr(0, 80);
    case 0x80000: return a.fontSize == b.fontSize;
    case 0x100000: return a.colour == b.colour;
    case 0x8000000: return a.background == b.background;
    case 0x4 | 0x8 | 0x10:
      return a.toggles[7] == b.toggles[7] && a.toggles[8] == b.toggles[8] && a.verticalOffset == b.verticalOffset;
    default:
      break;
  }
  static const unsigned kToggleOf[][2] = {{0x1, 0},    {0x2, 1},     {0x1000, 15}, {0x2000, 2},   {0x20, 3},
                                          {0x40, 4},   {0x80, 5},    {0x100, 6},   {0x10000, 9},  {0x200, 13},
                                          {0x400, 14}, {0x800, 16}};
  for (const auto& t : kToggleOf)
    if ((mask & t[0]) && (a.flags & t[0]) && a.toggles[t[1]] != b.toggles[t[1]]) return false;
  return true;
}

const StyleClass* para_style(const HtmlWriter& w) {
  for (uint32_t id : {w.paraStyle, w.fallbackStyle})
    for (const StyleClass& c : w.classes)
      if (id != kNoStyleId && c.styleId == id) return &c;
  return nullptr;
}

// The class attribute of a style: CLASS="name" (with "--List" inside a list for a style
// with paragraph attributes, which marks the list variant as used).
void class_attr(unsigned entry, size_t index, uint32_t& status, HtmlWriter& w) {
  StyleClass& c = w.classes[index];
  std::string name = c.name;
  if (w.inList && c.para.flags != 0) {
    name += "--List";
    c.listVariant = true;
  }
  EmitTagText(true, " %s\"%s\"", name.c_str(), entry, status, w.s);
}

// The classes from the style up through its parents to the root, without loops.
std::vector<size_t> chain_of(const HtmlWriter& w, uint32_t styleId) {
  std::vector<size_t> chain;
  for (uint32_t id = styleId; id != kNoStyleId && chain.size() < 32;) {
    uint32_t st = 0;
    int i = StyleFind(w, id, st);
    if (i < 0) break;
    bool seen = false;
    for (size_t c : chain) seen = seen || c == size_t(i);
    if (seen) break;
    chain.push_back(size_t(i));
    id = w.classes[size_t(i)].parent;
  }
  return chain;
}

unsigned class_entry_of(unsigned tag) { return tag == 27 || tag == 149 ? 77 : tag == 71 ? 78 : 79; }

}  // namespace

KVXSTATUS StartWriter(HtmlWriter& w) {
  w.classes.clear();
  w.spanStack.assign(1, CharAttrRecord{});
  StyleClass def;
  def.name = "Normal";
  w.classes.push_back(def);
  w.s.staging.reserve(256);
  w.bookmark = HtmlWriter::Bookmark{};
  return KVX_OK;
}

KVXSTATUS ConfigureHtmlWriter(uint32_t outputCharset, uint16_t outputKind, HtmlWriter& w, bool* useClasses) {
  bool classes = false;
  if (KVXSTATUS st = ConfigureWriter(outputCharset, outputKind, w.s, &classes)) return st;
  w.s.defaultFace = read_default_face(w.s);
  w.useClasses = classes;
  if (useClasses) *useClasses = classes;
  return KVX_OK;
}

KVXSTATUS FinishWriter(int kind, KVXIO* output, HtmlWriter& w) {
  if (kind != 1 || output == nullptr) return KVX_OK;
  KVXIO* saved_out = w.s.output;
  uint16_t saved_kind = w.s.outputKind;
  uint16_t saved_line = w.s.lineLength;
  w.s.output = output;
  w.s.outputKind = StyleSheetKind(w);
  w.s.lineLength = 0;
  uint32_t status = 0;
  WriteStyleBlock(w.classes, w.s.defaultFace, status, w.s);
  w.s.output = saved_out;
  w.s.outputKind = saved_kind;
  w.s.lineLength = saved_line;
  return status;
}

uint16_t StyleSheetKind(const HtmlWriter& w) {
  bool wide = kind_bits(w.s.outputKind) & kKindWide;
  if (wide && !(kind_bits(w.s.outputKind) & kKindUtf8) && FeatureOn(w.s.flavour, kFStyleUtf8)) return kKindUTF8;
  return w.s.outputKind;
}

void StopWriter(HtmlWriter& w) {
  w.classes.clear();
  w.classes.shrink_to_fit();
  w.spanStack.assign(1, CharAttrRecord{});
  std::string().swap(w.s.staging);
  w.s.pendingAnchors.clear();
  w.s.pendingLinks.clear();
}

KVXSTATUS AddStyleClass(HtmlWriter& w, uint32_t styleId, uint32_t parent, const std::u16string& name,
                        const StyleAttrRecord& record, int* index) {
  for (size_t i = 0; i < w.classes.size(); ++i) {
    if (w.classes[i].styleId == styleId) {
      if (index) *index = int(i);
      return KVX_OK;
    }
  }
  StyleClass c;
  c.styleId = styleId;
  c.parent = parent;
  c.para = record.para;
  c.chr = record.chars;
  c.unnamed = name.rfind(u"UnnamedStyle", 0) == 0;
  if (c.unnamed) {
    for (size_t i = 0; i < w.classes.size(); ++i) {
      const StyleClass& o = w.classes[i];
      if (o.unnamed && !o.alias && o.styleId != kNoStyleId && same_records(o, parent, record)) {
        c.alias = true;
        c.aliasOf = int(i);
        c.name = o.name;
        break;
      }
    }
  }
  if (!c.alias) c.name = ClassName(name);
  if (w.classes.size() == w.classes.capacity() && !mem_permit()) return kStatusNoMemory;
  w.classes.push_back(std::move(c));
  if (index) *index = int(w.classes.size()) - 1;
  return KVX_OK;
}

int StyleFind(const HtmlWriter& w, uint32_t styleId, uint32_t& status) {
  if (status != 0) return -1;
  for (size_t i = 0; i < w.classes.size(); ++i)
    if (w.classes[i].styleId == styleId && styleId != kNoStyleId) return int(i);
  status = kStatusNoStyle;
  return -1;
}

void StyleCountUse(HtmlWriter& w, uint32_t styleId, uint32_t& status) {
  int i = StyleFind(w, styleId, status);
  for (unsigned hops = 0; i >= 0 && w.classes[size_t(i)].alias && hops < w.classes.size(); ++hops)
    i = w.classes[size_t(i)].aliasOf;
  if (i >= 0) ++w.classes[size_t(i)].uses;
}

void WriteClassTag(uint32_t styleId, unsigned tag, bool open, bool keepOpen, uint32_t& status, HtmlWriter& w) {
  // The chain from the style up to its root, without loops.
  std::vector<size_t> chain = chain_of(w, styleId);
  if (chain.empty()) {
    StyleFind(w, styleId, status);
    return;
  }
  unsigned nested = w.inTable && !TagAllowed(132, w.s.flavour) ? 76u : 71u;
  if (open) {
    for (size_t k = chain.size(); k-- > 0;) {
      bool root = k + 1 == chain.size();
      unsigned t = tag;
      if (!root && (tag == 27 || tag == 149)) t = nested;
      if (t == 149) {
        EmitTagNumber(true, "<%s%d", w.headingLevel, 149, status, w.s);
      } else {
        EmitTag(true, "<%s", t, status, w.s);
      }
      class_attr(class_entry_of(t), chain[k], status, w);
      if (k > 0 || !keepOpen) EmitRaw(">", status, w.s);
    }
    return;
  }
  if (tag == 24) {
    // The paragraph end: the caller closes the outermost P; the nested levels close here.
    for (size_t k = 1; k < chain.size(); ++k) EmitTag(false, "<%s>", nested, status, w.s);
    return;
  }
  for (size_t k = 0; k < chain.size(); ++k) {
    bool root = k + 1 == chain.size();
    unsigned t = !root && (tag == 27 || tag == 149) ? nested : tag;
    if (t == 149) {
      EmitTagNumber(false, "<%s%d>", w.headingLevel, 149, status, w.s);
    } else {
      EmitTag(false, "<%s>", t, status, w.s);
    }
  }
}

void OpenRunSpan(const CharAttrRecord& run, uint32_t& status, HtmlWriter& w) {
  if (status != 0) return;
  const CharAttrRecord& prev = w.spanStack.back();
  const StyleClass* ps = para_style(w);
  const CharAttrRecord* style = ps ? &ps->chr : nullptr;
  uint32_t changed = 0, different = 0;
  for (uint32_t mask : kCharProps) {
    if (!same_char_prop(run, prev, mask)) changed |= mask;
    if (!same_char_prop(run, style ? *style : prev, mask)) different |= mask;
  }
  if (changed == 0) return;
  if (!EmitTag(true, "<%s", 76, status, w.s)) return;
  BreakIfLong(0, status, w.s);
  if (ps != nullptr && TagAllowed(79, w.s.flavour)) class_attr(79, size_t(ps - w.classes.data()), status, w);
  CharAttrRecord diff = run;
  diff.flags = run.flags & different;
  if (EmitTag(true, " %s\"", 81, status, w.s)) {
    WriteCssProps(ParaAttrRecord{}, diff, 1, false, w.inTable, w.s.defaultFace, status, w.s);
    EmitRaw("\"", status, w.s);
  }
  EmitRaw(">", status, w.s);
  w.spanStack.push_back(run);
}

int CloseRunSpan(bool force, uint32_t& status, HtmlWriter& w) {
  if (w.spanStack.size() < 2) return 0;
  const CharAttrRecord& top = w.spanStack.back();
  const CharAttrRecord& below = w.spanStack[w.spanStack.size() - 2];
  bool differs = force;
  for (uint32_t mask : kCharProps) differs = differs || !same_char_prop(top, below, mask);
  if (!differs) return 0;
  w.spanStack.pop_back();
  EmitTag(false, "<%s>", 76, status, w.s);
  return 1;
}

void WriteParaStyleAttr(const ParaAttrRecord& para, uint32_t& status, HtmlWriter& w) {
  if (status != 0) return;
  const StyleClass* ps = para_style(w);
  ParaAttrRecord diff = para;
  diff.flags = 0;
  const ParaAttrRecord& base = w.paraBase;
  const ParaAttrRecord* style = ps ? &ps->para : nullptr;
  auto differs = [&](uint32_t flag, auto value) {
    bool changed = (para.flags & flag) != (base.flags & flag) || value(para) != value(base);
    bool other = style == nullptr || (para.flags & flag) != (style->flags & flag) || value(para) != value(*style);
    if ((para.flags & flag) && changed && other) diff.flags |= flag;
  };
  differs(0x1, [](const ParaAttrRecord& p) { return uint32_t(p.alignment); });
  differs(0x2, [](const ParaAttrRecord& p) { return p.spaceBefore; });
  differs(0x4, [](const ParaAttrRecord& p) { return p.spaceAfter; });
  differs(0x10, [](const ParaAttrRecord& p) { return uint32_t(p.left); });
  differs(0x40, [](const ParaAttrRecord& p) { return uint32_t(p.right); });
  differs(0x20, [](const ParaAttrRecord& p) { return uint32_t(p.firstLine); });
  differs(0x8, [](const ParaAttrRecord& p) { return p.lineHeight; });
  differs(0x200, [](const ParaAttrRecord& p) { return p.extraLeft ^ p.extraRight << 16; });
  differs(0x10000, [](const ParaAttrRecord& p) { return p.shading[0] ^ p.shading[1] ^ p.shading[2] ^ p.shading[3]; });
  diff.flags |= para.flags & 0x100;  // borders are always taken
  if (w.s.pendingSpace) {
    diff.spaceBefore = ((diff.flags | para.flags) & 0x2 ? para.spaceBefore : 0) + w.s.pendingSpace;
    diff.flags |= 0x2;
    w.s.pendingSpace = 0;
  }
  if (diff.flags == 0) return;
  if (EmitTag(true, " %s\"", 132, status, w.s)) {
    WriteCssProps(diff, CharAttrRecord{}, 2, false, w.inTable, w.s.defaultFace, status, w.s);
    EmitRaw("\"", status, w.s);
  }
}

namespace {

// A face name in the output set's bytes (double-byte characters as two bytes), at most
// 80 characters.
std::string face_bytes(const std::u16string& name, const WriterState& s) {
  std::vector<uint16_t> units(name.begin(), name.begin() + long(std::min<size_t>(name.size(), 80)));
  std::string out;
  if (s.outputCharset != KVXCS_UNICODE &&
      MapText16(units.data(), uint32_t(units.size()), KVXCS_UNICODE, s.outputCharset) == KVX_OK) {
    for (uint16_t u : units) {
      if (u > 0xFF) out.push_back(char(u >> 8));
      out.push_back(char(u & 0xFF));
    }
    return out;
  }
  for (uint16_t u : units) out.push_back(u < 0x100 ? char(u) : '?');
  return out;
}

struct ToggleProp {
  uint32_t flag;
  unsigned toggle, code, cssEntry;  // cssEntry 0: no style word
};
constexpr ToggleProp kToggleProps[] = {
    {0x1, 0, 2, 84},      {0x2, 1, 3, 89},      {0x10000, 9, 12, 96}, {0x20, 3, 4, 95},   {0x40, 4, 5, 95},
    {0x100, 6, 14, 95},   {0x80, 5, 13, 95},    {0x8, 8, 10, 104},    {0x4, 7, 11, 105},  {0x200, 13, 9, 99},
    {0x400, 14, 16, 100}, {0x800, 16, 17, 101}, {0x1000, 15, 6, 92},  {0x4000, 11, 19, 0}, {0x8000, 12, 20, 0},
    {0x2000, 2, 15, 108},
};

}  // namespace

void WriteStyleTags(size_t entry, bool on, bool force, uint32_t& status, HtmlWriter& w) {
  if (status != 0 || entry >= w.classes.size()) return;
  const CharAttrRecord c = w.classes[entry].chr;
  WriterState& s = w.s;
  bool classes = TagAllowed(79, s.flavour);
  auto by_class = [&](unsigned css) { return classes && css != 0 && TagAllowed(css, s.flavour); };
  for (const ToggleProp& p : kToggleProps) {
    if (!(c.flags & p.flag) || (by_class(p.cssEntry) && !force)) continue;
    SetCharAttribute(p.code, on ? c.toggles[p.toggle] : 0, s);
  }
  if ((c.flags & 0x10) && (!by_class(103) || force)) SetVerticalAlign(on ? c.verticalOffset : 0, s);
  if ((c.flags & 0x80000) && (!by_class(87) || force)) SetFontSize(on && c.fontSize ? c.fontSize : 240, s);
  if ((c.flags & 0x100000) && (!by_class(82) || force)) SetColour(on ? c.colour : 0, s);
  if ((c.flags & 0x8000000) && (!by_class(106) || force)) SetBackground(on ? c.background : 0xFFFFFF, s);
  if ((c.flags & 0x200000) && (!by_class(86) || force)) SetFace(on ? face_bytes(c.fontNames[0], s) : std::string(), s);
}

void ApplyCharStyle(uint32_t styleId, bool on, bool force, uint32_t& status, HtmlWriter& w) {
  if (status != 0) return;
  std::vector<size_t> chain = chain_of(w, styleId);
  if (chain.empty()) {
    StyleFind(w, styleId, status);
    return;
  }
  for (size_t k = chain.size(); k-- > 0;) WriteStyleTags(chain[k], on, force, status, w);
  if (w.inListMarker || status != 0) return;
  if (TagAllowed(79, w.s.flavour)) {
    for (size_t k = chain.size(); k-- > 0;) {
      const CharAttrRecord& c = w.classes[chain[k]].chr;
      CharAttrRecord& cur = w.current;
      for (const ToggleProp& p : kToggleProps)
        if (c.flags & p.flag) cur.toggles[p.toggle] = c.toggles[p.toggle];
      if (c.flags & 0x10) cur.verticalOffset = c.verticalOffset;
      if (c.flags & 0x80000) cur.fontSize = c.fontSize;
      if (c.flags & 0x100000) cur.colour = c.colour;
      if (c.flags & 0x8000000) cur.background = c.background;
      if (c.flags & 0x200000) cur.fontNames[0] = c.fontNames[0];
      cur.flags |= c.flags & ~0x80000000u;
    }
  }
  StyleCountUse(w, styleId, status);
}

void ApplyParaStyle(uint32_t styleId, ParaAttrRecord& para, uint32_t& status, HtmlWriter& w) {
  if (status != 0) return;
  int i = StyleFind(w, styleId, status);
  if (i < 0) return;
  const ParaAttrRecord& p = w.classes[size_t(i)].para;
  auto take = [&](uint32_t flag, auto copy) {
    if ((p.flags & flag) && !(para.flags & flag)) {
      copy();
      para.flags |= flag;
    }
  };
  take(0x1, [&] { para.alignment = p.alignment; });
  take(0x2, [&] { para.spaceBefore = p.spaceBefore; });
  take(0x4, [&] { para.spaceAfter = p.spaceAfter; });
  take(0x10, [&] { para.left = p.left; });
  take(0x40, [&] { para.right = p.right; });
  take(0x20, [&] { para.firstLine = p.firstLine; });
  take(0x8, [&] { para.lineHeight = p.lineHeight; });
  take(0x10000, [&] { std::copy(std::begin(p.shading), std::end(p.shading), std::begin(para.shading)); });
  w.paraStyle = styleId;
  StyleCountUse(w, styleId, status);
}

void OpenChangeSpan(uint32_t& status, HtmlWriter& w) {
  if (status != 0) return;
  const CharAttrRecord& top = w.spanStack.back();
  uint32_t changed = 0;
  for (uint32_t mask : kCharProps)
    if (!same_char_prop(w.current, top, mask)) changed |= mask;
  if (changed == 0) return;
  if (!EmitTag(true, "<%s", 76, status, w.s)) return;
  CharAttrRecord diff = w.current;
  diff.flags = w.current.flags & changed;
  if (EmitTag(true, " %s\"", 81, status, w.s)) {
    WriteCssProps(ParaAttrRecord{}, diff, 1, false, w.inTable, w.s.defaultFace, status, w.s);
    EmitRaw("\"", status, w.s);
  }
  EmitRaw(">", status, w.s);
  w.spanStack.push_back(w.current);
}

CharAttrRecord RecordedCharState(const WriterState& s) {
  // Style flag, record flag, toggle.
  static const uint32_t kMap[][3] = {
      {kStyleBold, 0x1, 0},          {kStyleItalic, 0x2, 1},       {kStyleUnderline, 0x20, 3},
      {kStyleStrike, 0x10000, 9},    {kStyleHidden, 0x2000, 2},    {kStyleUpper, 0x200, 13},
      {kStyleLower, 0x400, 14},      {kStyleCapitalise, 0x800, 16}, {kStyleSmallCaps, 0x1000, 15},
  };
  CharAttrRecord r;
  for (const auto& m : kMap) {
    if (!(s.styleFlags & m[0])) continue;
    r.flags |= m[1];
    r.toggles[m[2]] = 1;
  }
  if ((s.styleFlags & 0x80000) && s.styleSize != 0) {
    r.flags |= 0x80000;
    r.fontSize = uint16_t(std::min<uint32_t>(s.styleSize, 0xFFFF));
  }
  if (s.styleFlags & 0x100000) {
    r.flags |= 0x100000;
    r.colour = s.styleColour;
  }
  if (s.styleFlags & 0x8000000) {
    r.flags |= 0x8000000;
    r.background = s.styleBackground;
  }
  if ((s.styleFlags & 0x200000) && !s.styleFace.empty()) {
    r.flags |= 0x200000;
    r.fontNames[0].assign(s.styleFace.begin(), s.styleFace.end());
    for (char16_t& c : r.fontNames[0]) c = char16_t(uint8_t(c));  // the face's bytes, one character each
  }
  return r;
}

KVXSTATUS SaveBookmark(int which, HtmlWriter& w) {
  if (which != 10) return kStatusNoStyle;
  w.bookmark = {true, w.s.lineLength, w.s.pendingSpace, w.s.pendingLines, w.s.pendingAnchors.size(),
                w.s.pendingLinks.size()};
  return KVX_OK;
}

KVXSTATUS RestoreBookmark(int which, HtmlWriter& w) {
  if (which != 10) return kStatusNoStyle;
  if (!w.bookmark.saved) return KVX_OK;
  w.s.lineLength = w.bookmark.lineLength;
  w.s.pendingSpace = w.bookmark.pendingSpace;
  w.s.pendingLines = w.bookmark.pendingLines;
  if (w.s.pendingAnchors.size() > w.bookmark.anchors) w.s.pendingAnchors.resize(w.bookmark.anchors);
  if (w.s.pendingLinks.size() > w.bookmark.links) w.s.pendingLinks.resize(w.bookmark.links);
  w.bookmark.saved = false;
  return KVX_OK;
}

}  // namespace pc
