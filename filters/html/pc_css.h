// Style sheets of the HTML writer: class names made from style names, the CSS property
// lists of paragraph and character records (in the style block or inline in STYLE=), and
// the style block with its fixed rules and one rule per used class. Builds on the markup
// primitives, whose tag table holds the property words; called by the element side.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pc_attrs.h"
#include "pc_chars.h"

namespace pc {

// The class name of a style name: "-" becomes "--", ASCII letters and digits stay, any
// other character "-" and four hex digits. Never cut, so names stay distinct.
std::string ClassName(const std::u16string& styleName);

// The class name as a CSS selector word: a leading digit, or a "-" before a digit (a
// style name that starts with a character outside ASCII), is escaped so that the rule
// still selects CLASS="name".
std::string CssSelectorName(const std::string& className);

// Mode bit 1: paragraph properties, bit 0: character properties. inSheet: the style
// block (a line break after each property) or a STYLE= value (breaks after column 67).
void WriteCssProps(const ParaAttrRecord& para, const CharAttrRecord& chr, int mode, bool inSheet, bool inTable,
                   const std::u16string& defaultFace, uint32_t& status, WriterState& s);

struct StyleClass {
  std::string name;
  uint32_t styleId = 0xFFFFFFFFu;  // none: the default entry, never written as a rule
  uint32_t parent = 0xFFFFFFFFu;
  uint32_t uses = 0;
  bool alias = false, listVariant = false, unnamed = false;
  int aliasOf = -1;  // the entry an alias stands for
  ParaAttrRecord para;
  CharAttrRecord chr;
};

// The five fixed lines, then a rule per used, non-alias class when classes are allowed;
// nothing when the table is empty.
void WriteStyleBlock(const std::vector<StyleClass>& classes, const std::u16string& defaultFace, uint32_t& status,
                     WriterState& s);

}  // namespace pc
