// Class names, CSS property lists and the style block (see pc_css.h).
#include "pc_css.h"

#include <algorithm>
#include <cstdio>

namespace pc {

namespace {

void after_prop(bool in_sheet, uint32_t& status, WriterState& s) {
  if (in_sheet || s.lineLength > kWrapColumn) EmitLineBreak(status, s);
}

void length(unsigned entry, int32_t twips, bool in_sheet, uint32_t& status, WriterState& s) {
  if (EmitTagNumber(true, " %s %dpt;", twips / 20, entry, status, s)) after_prop(in_sheet, status, s);
}

void colour(unsigned entry, uint32_t c, bool in_sheet, uint32_t& status, WriterState& s) {
  if (EmitTagColour(true, " %s #%2.2X%2.2X%2.2X;", c, (c ^ 1) & 0xFFFFFF, entry, status, s))
    after_prop(in_sheet, status, s);
}

// " name value;" with the value an entry of its own.
void word(unsigned entry, unsigned value, bool in_sheet, uint32_t& status, WriterState& s) {
  if (!EmitTag(true, " %s", entry, status, s)) return;
  EmitTag(true, " %s;", value, status, s);
  after_prop(in_sheet, status, s);
}

// A font name as a single-quoted CSS string: quotes and backslashes escaped, markup
// characters as references (the value may sit inside an attribute).
void font_name(const std::u16string& name, uint32_t& status, WriterState& s) {
  std::u16string escaped;
  for (char16_t c : name) {
    if (c == u'\'' || c == u'\\') escaped += u'\\';
    escaped += c;
  }
  // Never broken across lines: a line end inside a quoted CSS string ends the string.
  ++s.noLineBreaks;
  WriteUnicodeText(escaped, status, s);
  --s.noLineBreaks;
}

// The inline border properties: the sides top, right, bottom, left (words 1, 16, 11, 6 of
// the border block: width, colour, style code, spacing, extra margin), then the paddings.
void write_borders(const ParaAttrRecord& p, uint32_t& status, WriterState& s) {
  static const unsigned kSide[4] = {1, 16, 11, 6};
  int width[4];
  uint32_t colour[4];
  unsigned style[4];
  for (int i = 0; i < 4; ++i) {
    uint32_t w = p.borders[kSide[i]], code = p.borders[kSide[i] + 2];
    if (code == 1 || w == 0) {
      width[i] = 0, colour[i] = 0xFFFFFF, style[i] = 127;
      continue;
    }
    width[i] = std::max(1, int(w / 20));
    colour[i] = p.borders[kSide[i] + 1];
    switch (code) {
      case 0x20: style[i] = 126; break;
      case 0x80: case 0x100: case 0x200: style[i] = 125; break;
      case 2: case 0x400: case 0x800: case 0x1000: case 0x2000: case 0x4000:
        style[i] = 124;
        width[i] = std::max(2, width[i]);
        break;
      default: style[i] = 123; break;
    }
  }
  char b[64];
  if (EmitTag(true, " %s", 133, status, s)) {
    for (int w : width) {
      std::snprintf(b, sizeof b, " %dpt", w);
      EmitRaw(b, status, s);
    }
    EmitRaw(";", status, s);
    after_prop(false, status, s);
  }
  if (EmitTag(true, " %s", 134, status, s)) {
    for (uint32_t c : colour) {
      std::snprintf(b, sizeof b, " #%2.2X%2.2X%2.2X", unsigned(c & 0xFF), unsigned(c >> 8 & 0xFF), unsigned(c >> 16 & 0xFF));
      EmitRaw(b, status, s);
    }
    EmitRaw(";", status, s);
    after_prop(false, status, s);
  }
  if (EmitTag(true, " %s", 122, status, s)) {
    for (unsigned st : style) EmitTag(true, " %s", st, status, s);
    EmitRaw(";", status, s);
    after_prop(false, status, s);
  }
  static const struct {
    unsigned entry, word;
  } kPad[4] = {{128, 4}, {130, 9}, {131, 19}, {129, 14}};
  for (const auto& pad : kPad)
    if (p.borders[pad.word]) length(pad.entry, int32_t(p.borders[pad.word]), false, status, s);
}

}  // namespace

std::string ClassName(const std::u16string& name) {
  std::string out;
  for (char16_t c : name) {
    if (c == u'-') {
      out += "--";
    } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
      out += char(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "-%4.4x", unsigned(c));
      out += b;
    }
  }
  return out;
}

std::string CssSelectorName(const std::string& name) {
  if (name.empty()) return name;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (digit(name[0])) return std::string("\\3") + name[0] + " " + name.substr(1);
  if (name[0] == '-' && name.size() > 1 && digit(name[1])) return "\\" + name;
  return name;
}

void WriteCssProps(const ParaAttrRecord& p, const CharAttrRecord& c, int mode, bool in_sheet, bool in_table,
                   const std::u16string& default_face, uint32_t& status, WriterState& s) {
  bool shading_written = false;
  if (mode & 2) {
    bool borders = (p.flags & 0x100) != 0;
    int32_t top_extra = borders ? int32_t(p.borders[5]) : 0, left_extra = borders ? int32_t(p.borders[10]) : 0;
    int32_t bottom_extra = borders ? int32_t(p.borders[15]) : 0, right_extra = borders ? int32_t(p.borders[20]) : 0;
    if ((p.flags & 0x2) || top_extra) length(114, int32_t(p.spaceBefore) + top_extra, in_sheet, status, s);
    if ((p.flags & 0x4) || bottom_extra) length(115, int32_t(p.spaceAfter) + bottom_extra, in_sheet, status, s);
    bool extra = (p.flags & 0x200) != 0 && !in_table;
    if ((p.flags & 0x10) || (extra && p.extraLeft) || left_extra) {
      int32_t total = p.left + (extra ? int32_t(p.extraLeft) : 0) + left_extra;
      length(116, total < 0 ? 0 : total, in_sheet, status, s);
    }
    if ((p.flags & 0x40) || (extra && p.extraRight) || right_extra) {
      int32_t total = p.right + (extra ? int32_t(p.extraRight) : 0) + right_extra;
      length(117, total < 0 ? 0 : total, in_sheet, status, s);
    }
    if (borders && !in_sheet && TagAllowed(122, s.flavour)) write_borders(p, status, s);
    if ((p.flags & 0x1) && p.alignment >= 1 && p.alignment <= 4) word(109, 109 + p.alignment, in_sheet, status, s);
    if ((p.flags & 0x20) && p.firstLine >= 0) length(118, p.firstLine, in_sheet, status, s);
    if ((p.flags & 0x8) && p.lineHeight) length(119, int32_t(p.lineHeight), in_sheet, status, s);
    if ((p.flags & 0x10000) && TagAllowed(120, s.flavour)) {
      uint32_t fg = p.shading[2], bg = p.shading[3], pct = p.shading[1] & 0xFF, out = bg;
      if (p.shading[0] == 13) {
        out = 0;
        for (int sh = 0; sh < 24; sh += 8) {
          int32_t f = int32_t(fg >> sh & 0xFF), b = int32_t(bg >> sh & 0xFF);
          out |= uint32_t(b + (f - b) * int32_t(pct) / 255) << sh;
        }
      }
      if ((out & 0xFFFFFF) != 0xFFFFFF) {
        colour(120, out, in_sheet, status, s);
        shading_written = true;
      }
    }
  }
  if (mode & 1) {
    if ((c.flags & 0x200000) && !c.fontNames[0].empty() && EmitTag(true, " %s '", 86, status, s)) {
      font_name(c.fontNames[0], status, s);
      EmitRaw("'", status, s);
      if (!default_face.empty() && default_face.substr(0, 40) != c.fontNames[0].substr(0, 40)) {
        EmitRaw(", '", status, s);
        font_name(default_face, status, s);
        EmitRaw("'", status, s);
      }
      EmitRaw(";", status, s);
      after_prop(in_sheet, status, s);
    }
    if (c.flags & 0x80000) length(87, c.fontSize, in_sheet, status, s);
    if (c.flags & 0x1) word(83, c.toggles[0] ? 84 : 85, in_sheet, status, s);
    if (c.flags & 0x2) word(88, c.toggles[1] ? 89 : 90, in_sheet, status, s);
    if (c.flags & 0x1000) word(91, c.toggles[15] ? 92 : 93, in_sheet, status, s);
    if (c.flags & (0x20 | 0x40 | 0x80 | 0x100 | 0x10000)) {
      bool under = c.toggles[3] || c.toggles[4] || c.toggles[5] || c.toggles[6], strike = c.toggles[9];
      if (EmitTag(true, " %s", 94, status, s)) {
        if (under) EmitTag(true, " %s", 95, status, s);
        if (strike) EmitTag(true, " %s", 96, status, s);
        if (!under && !strike) EmitTag(true, " %s", 97, status, s);
        EmitRaw(";", status, s);
        after_prop(in_sheet, status, s);
      }
    }
    if (c.flags & (0x200 | 0x400 | 0x800)) {
      if (EmitTag(true, " %s", 98, status, s)) {
        if (c.toggles[13]) EmitTag(true, " %s", 99, status, s);
        if (c.toggles[14]) EmitTag(true, " %s", 100, status, s);
        if (c.toggles[16]) EmitTag(true, " %s", 101, status, s);
        if (!c.toggles[13] && !c.toggles[14] && !c.toggles[16]) EmitTag(true, " %s", 102, status, s);
        EmitRaw(";", status, s);
        after_prop(in_sheet, status, s);
      }
    }
    bool offset = (c.flags & 0x10) && c.verticalOffset != 0;
    if (c.toggles[8] || c.toggles[7] || offset)
      word(103, c.toggles[8] || (offset && c.verticalOffset < 0) ? 104 : 105, in_sheet, status, s);
    if ((c.flags & 0x2000) && c.toggles[2]) word(107, 108, in_sheet, status, s);
    if (c.flags & 0x100000) colour(82, c.colour, in_sheet, status, s);
    if ((c.flags & 0x8000000) && !shading_written) colour(106, c.background, in_sheet, status, s);
  }
}

void WriteStyleBlock(const std::vector<StyleClass>& classes, const std::u16string& face, uint32_t& status,
                     WriterState& s) {
  if (classes.empty()) return;
  static const char* const fixed[] = {
      "P { margin-top:0pt; margin-bottom:0pt;}",
      "/* In certain situations, Netscape collapses vertical margins which results in unreadable tables. */",
      "/* Forcing padding into the P tag prevents the collapse. */",
      "TD P { padding-top:1pt; padding-bottom:1pt;}",
      "TH P { padding-top:1pt; padding-bottom:1pt;}",
  };
  for (const char* line : fixed) {
    EmitRaw(line, status, s);
    EmitLineBreak(status, s);
  }
  bool classes_allowed = TagAllowed(77, s.flavour);
  for (const StyleClass& c : classes) {
    if (!classes_allowed || c.styleId == 0xFFFFFFFFu || c.uses == 0 || c.alias) continue;
    for (int variant = 0; variant < (c.listVariant ? 2 : 1); ++variant) {
      EmitRaw(("." + CssSelectorName(c.name) + (variant ? "--List" : "") + "{").c_str(), status, s);
      EmitLineBreak(status, s);
      WriteCssProps(c.para, c.chr, variant ? 1 : 3, true, false, face, status, s);
      EmitRaw("}", status, s);
      EmitLineBreak(status, s);
    }
  }
}

}  // namespace pc
