// The tag table, the feature masks and the permission rule of the HTML flavours (see
// pc_tags.h). The table is fixed data shared by every export.
#include "pc_tags.h"

namespace pc {

const TagEntry kTagTable[kTagCount] = {
    {"", "", "", 0, 0x0000},  // 0
    {"A", "", "/A", 1, 0xFFFF},  // 1
    {"HREF=", "", "", 1, 0xFFFF},  // 2
    {"BLOCKQUOTE", "", "/BLOCKQUOTE", 1, 0x3FFF},  // 3
    {"B", "", "/B", 1, 0x19E7},  // 4
    {"NAME=", "", "", 1, 0xFFFF},  // 5
    {"BR", "", "/BR", 1, 0xFFFF},  // 6
    {"DEL", "", "/DEL", 0, 0x0000},  // 7
    {"INS", "", "/INS", 0, 0x0000},  // 8
    {"EM", "", "/EM", 1, 0xFFFF},  // 9
    {"FONT", "", "/FONT", 1, 0x31E4},  // 10
    {"COLOR=", "", "", 1, 0x1984},  // 11
    {"FACE=", "", "", 1, 0x3104},  // 12
    {"SIZE=", "", "", 1, 0x19C4},  // 13
    {"SIZE=", "", "", 1, 0xFFFC},  // 14
    {"ALIGN=", "", "", 1, 0xFFFC},  // 15
    {"HR", "", "/HR", 1, 0xFFFF},  // 16
    {"IMG SRC=", "", "/IMG", 1, 0xFFFF},  // 17
    {"BORDER=", "", "", 1, 0xFFFC},  // 18
    {"HEIGHT=", "WIDTH=", "", 1, 0xFFDC},  // 19
    {"I", "", "/I", 1, 0x19E7},  // 20
    {"NOSCRIPT", "", "/NOSCRIPT", 0, 0xE71C},  // 21
    {"STRIKE", "", "/STRIKE", 1, 0x19E4},  // 22
    {"ALIGN=\"CENTER\"", "", "", 1, 0x19E4},  // 23
    {"", "", "/P", 1, 0xFFFF},  // 24
    {"ALIGN=\"JUSTIFY\"", "", "", 1, 0x0000},  // 25
    {"ALIGN=", "", "", 1, 0x09A4},  // 26
    {"P", "", "", 1, 0xFFFF},  // 27
    {"SCRIPT", "", "/SCRIPT", 0, 0xE79C},  // 28
    {"LANGUAGE=\"JAVASCRIPT\"", "", "", 0, 0xE79C},  // 29
    {"SPACER TYPE=", "", "/SPACER", 0, 0x0100},  // 30
    {"HEIGHT=", "WIDTH=", "", 0, 0x0100},  // 31
    {"SIZE=", "", "", 0, 0x0100},  // 32
    {"S", "", "/S", 1, 0x1924},  // 33
    {"SUB", "", "/SUB", 1, 0x27BC},  // 34
    {"SUP", "", "/SUP", 1, 0x27BC},  // 35
    {"TABLE", "", "/TABLE", 0, 0xFFFD},  // 36
    {"BGCOLOR=", "", "", 1, 0xF71C},  // 37
    {"BORDER", "", "", 1, 0xFFFC},  // 38
    {"BORDERSTYLE=", "", "", 0, 0x0000},  // 39
    {"BORDER=", "", "", 1, 0xE7DC},  // 40
    {"CELLPADDING=", "", "", 1, 0xF7DC},  // 41
    {"CELLSPACING=", "", "", 1, 0xF7DC},  // 42
    {"COLSPAN=", "", "", 1, 0xFFFC},  // 43
    {"TD", "", "/TD", 0, 0xFFFD},  // 44
    {"HEIGHT=", "", "", 1, 0xF7DC},  // 45
    {"ALIGN=\"JUSTIFY\"", "", "", 1, 0x0020},  // 46
    {"ALIGN=", "", "", 1, 0xFFFC},  // 47
    {"TD", "", "", 0, 0x0000},  // 48
    {"VALIGN=", "", "", 1, 0xFFFC},  // 49
    {"WIDTH=", "", "", 1, 0xF7DC},  // 50
    {"NOWRAP=\"NOWRAP\"", "", "", 1, 0xF7FC},  // 51
    {"TH", "", "/TH", 0, 0xFFFD},  // 52
    {"TH", "", "", 0, 0x0000},  // 53
    {"TR", "", "/TR", 0, 0xFFFD},  // 54
    {"TR", "", "", 0, 0x0000},  // 55
    {"VALIGN=", "", "", 1, 0xFFFC},  // 56
    {"ROWSPAN=", "", "", 1, 0xFFFC},  // 57
    {"NOWRAP=\"NOWRAP\"", "", "", 1, 0xF7DC},  // 58
    {"UL", "", "/UL", 1, 0xFFFF},  // 59
    {"U", "", "/U", 1, 0x1924},  // 60
    {"ALIGN=", "", "", 1, 0xF79C},  // 61
    {"ALIGN=\"JUSTIFY\"", "", "", 1, 0x0000},  // 62
    {"ALT=", "", "", 1, 0xFFFF},  // 63
    {"OL", "", "/OL", 0, 0xFFFF},  // 64
    {"LI", "", "/LI", 0, 0xFFFF},  // 65
    {"VALUE=", "", "", 1, 0xF7DC},  // 66
    {"PLAIN", "", "", 0, 0x0000},  // 67
    {"TYPE=", "", "", 1, 0x07C0},  // 68
    {"TYPE=", "", "", 1, 0xF7DC},  // 69
    {"START=", "", "", 0, 0xF7DC},  // 70
    {"DIV", "", "/DIV", 0, 0xF79C},  // 71
    {"ALIGN=", "", "", 0, 0x1184},  // 72
    {"ALIGN=\"JUSTIFY\"", "", "", 0, 0x0000},  // 73
    {"CENTER", "", "/CENTER", 1, 0xFFFF},  // 74
    {"WIDTH=", "", "", 0, 0xFFDC},  // 75
    {"SPAN", "", "/SPAN", 0, 0xE618},  // 76
    {"CLASS=", "", "", 0, 0xC618},  // 77
    {"CLASS=", "", "", 0, 0xC618},  // 78
    {"CLASS=", "", "", 0, 0xC618},  // 79
    {"STYLE=", "", "", 0, 0xE618},  // 80
    {"STYLE=", "", "", 0, 0xE618},  // 81
    {"color:", "", "", 0, 0xE618},  // 82
    {"font-weight:", "", "", 0, 0xE618},  // 83
    {"bold", "", "", 0, 0xE618},  // 84
    {"normal", "", "", 0, 0xE618},  // 85
    {"font-family:", "", "", 0, 0xC618},  // 86
    {"font-size:", "", "", 0, 0xE618},  // 87
    {"font-style:", "", "", 0, 0xE618},  // 88
    {"italic", "", "", 0, 0xE618},  // 89
    {"normal", "", "", 0, 0xE618},  // 90
    {"font-variant:", "", "", 0, 0xC000},  // 91
    {"small-caps", "", "", 0, 0xC000},  // 92
    {"normal", "", "", 0, 0xC000},  // 93
    {"text-decoration:", "", "", 0, 0xE618},  // 94
    {"underline", "", "", 0, 0xE618},  // 95
    {"line-through", "", "", 0, 0xE618},  // 96
    {"normal", "", "", 0, 0xE618},  // 97
    {"text-transform:", "", "", 0, 0xC618},  // 98
    {"uppercase", "", "", 0, 0xC618},  // 99
    {"lowercase", "", "", 0, 0xC618},  // 100
    {"capitalize", "", "", 0, 0xC618},  // 101
    {"none", "", "", 0, 0xC618},  // 102
    {"vertical-align:", "", "", 0, 0xC000},  // 103
    {"sub", "", "", 0, 0xC000},  // 104
    {"super", "", "", 0, 0xC000},  // 105
    {"background-color:", "", "", 0, 0xC618},  // 106
    {"display:", "", "", 0, 0xC618},  // 107
    {"none", "", "", 0, 0xC618},  // 108
    {"text-align:", "", "", 0, 0xE618},  // 109
    {"left", "", "", 0, 0xE618},  // 110
    {"right", "", "", 0, 0xE618},  // 111
    {"center", "", "", 0, 0xE618},  // 112
    {"justify", "", "", 0, 0xE618},  // 113
    {"margin-top:", "", "", 0, 0xE618},  // 114
    {"margin-bottom:", "", "", 0, 0xE618},  // 115
    {"margin-left:", "", "", 0, 0xE618},  // 116
    {"margin-right:", "", "", 0, 0xE618},  // 117
    {"text-indent:", "", "", 0, 0xE618},  // 118
    {"line-height:", "", "", 0, 0xE618},  // 119
    {"background-color:", "", "", 0, 0xC618},  // 120
    {"STYLE=", "", "", 0, 0xE000},  // 121
    {"border-style:", "", "", 0, 0xC618},  // 122
    {"solid", "", "", 0, 0xC618},  // 123
    {"double", "", "", 0, 0xC618},  // 124
    {"dashed", "", "", 0, 0xC618},  // 125
    {"dotted", "", "", 0, 0xC618},  // 126
    {"none", "", "", 0, 0xC618},  // 127
    {"padding-top:", "", "", 0, 0xC618},  // 128
    {"padding-bottom:", "", "", 0, 0xC618},  // 129
    {"padding-left:", "", "", 0, 0xC618},  // 130
    {"padding-right:", "", "", 0, 0xC618},  // 131
    {"STYLE=", "", "", 0, 0xE618},  // 132
    {"border-width:", "", "", 0, 0xC618},  // 133
    {"border-color:", "", "", 0, 0xC618},  // 134
    {"line-height:", "", "", 0, 0xE000},  // 135
    {"STYLE=", "", "", 0, 0xC618},  // 136
    {"STYLE=", "", "", 0, 0xC618},  // 137
    {"list-style:", "", "", 0, 0xC618},  // 138
    {"none", "", "", 0, 0xC618},  // 139
    {"disc", "", "", 0, 0xC618},  // 140
    {"circle", "", "", 0, 0xC618},  // 141
    {"square", "", "", 0, 0xC618},  // 142
    {"decimal", "", "", 0, 0xC618},  // 143
    {"upper-alpha", "", "", 0, 0xC618},  // 144
    {"lower-alpha", "", "", 0, 0xC618},  // 145
    {"upper-roman", "", "", 0, 0xC618},  // 146
    {"lower-roman", "", "", 0, 0xC618},  // 147
    {"STYLE=", "", "", 0, 0xC618},  // 148
    {"H", "", "/H", 0, 0xFFFF},  // 149
    {"STYLE=", "", "", 0, 0xE018},  // 150
};

const uint32_t kFeatureMasks[kFeatureCount] = {
    0x0000, 0x39C4, 0x09E0, 0x09E0, 0x39E7, 0x31C4, 0x0800, 0x39E7, 0x39E4, 0x0000, 0x39E7, 0x0000,
    0x39E7, 0x39E5, 0xF79C, 0x0618, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFC, 0xFFFC, 0xFFFD,
};

uint16_t FlavourBitFor(uint32_t value) {
  static const uint16_t bits[17] = {0x0001, 0x0002, 0x0008, 0x0004, 0x0010, 0x0040, 0x0080, 0x0100, 0x0020,
                                    0x1000, 0x2000, 0x0001, 0x0800, 0x4000, 0x8000, 0x0200, 0x0400};
  return value >= 1 && value <= 16 ? bits[value] : uint16_t(0x0001);
}

void ConfigureFlavour(Flavour& f, uint32_t value, uint32_t writer_flags) {
  f.bit = FlavourBitFor(value);
  for (unsigned i = 0; i < kFeatureCount; ++i) f.features[i] = kFeatureMasks[i];
  f.numericRefs = (writer_flags & 1) != 0;
  if (f.numericRefs) {
    for (unsigned i : {unsigned(kFIndentUl), unsigned(kFFieldScripts), unsigned(kFFlagEntries),
                       unsigned(kFListMarks), unsigned(kFNbspEntity)})
      f.features[i] = 0;
  }
  f.useClasses = TagAllowed(77, f) || TagAllowed(78, f) || TagAllowed(79, f);
}

KVXSTATUS SelectFlavour(KVXHANDLE ex, Flavour& f) {
  uint32_t value = 0, size = sizeof value;
  if (KVXSTATUS st = DAGetOption(ex, KVXOPT_FLAVOR, &value, &size)) return st;
  uint32_t flags = 0;
  size = sizeof flags;
  if (DAGetOption(ex, KVXOPT_WRITERFLAGS, &flags, &size) != KVX_OK) flags = 0;
  ConfigureFlavour(f, value, flags);
  return KVX_OK;
}

bool TagAllowed(unsigned index, const Flavour& f) {
  if (index >= kTagCount) return false;
  const TagEntry& e = kTagTable[index];
  return (e.mask & f.bit) != 0 || (e.flag == 1 && (f.features[kFFlagEntries] & f.bit) != 0);
}

}  // namespace pc
