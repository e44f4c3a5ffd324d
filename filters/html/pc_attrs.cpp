// DecodeAttrs and the character attribute ids (see pc_attrs.h).
#include "pc_attrs.h"

namespace pc {

namespace {

struct Toggle {
  uint32_t id;
  unsigned index;
  uint32_t flag;
};
// Toggle order: bold, italic, hidden, underline, word underline, dotted underline, double
// underline, superscript, subscript, strike, 21, 19, 20, upper, lower, small caps,
// initial caps, 7, 8, 18, 22, kind 64, kind 65, 38, 39.
const Toggle kToggles[] = {
    {2, 0, 0x1},        {3, 1, 0x2},        {15, 2, 0x2000},     {4, 3, 0x20},       {42, 3, 0x20},
    {46, 3, 0x20},      {5, 4, 0x40},       {13, 5, 0x80},       {14, 6, 0x100},     {43, 6, 0x100},
    {44, 6, 0x100},     {45, 6, 0x100},     {11, 7, 0x4},        {10, 8, 0x8},       {12, 9, 0x10000},
    {21, 10, 0x20000},  {19, 11, 0x4000},   {20, 12, 0x8000},    {9, 13, 0x200},     {16, 14, 0x400},
    {6, 15, 0x1000},    {17, 16, 0x800},    {7, 17, 0x400000},   {8, 18, 0x800000},  {18, 19, 0x1000000},
    {22, 20, 0x2000000}, {38, 23, 0x20000000}, {39, 24, 0x40000000},
};
constexpr unsigned kToggle64 = 21, kToggle65 = 22;

bool decoded_kind(uint32_t k) {
  return (k >= 8 && k <= 10) || (k >= 12 && k <= 14) || (k >= 21 && k <= 23) || k == 25 || (k >= 28 && k <= 30) ||
         (k >= 56 && k <= 65) || k == 67 || (k >= 70 && k <= 73) || (k >= 93 && k <= 95) || (k >= 97 && k <= 103) ||
         k == 119 || k == 122 || (k >= 147 && k <= 154);
}

void reset_char_to(CharAttrRecord& chr, uint32_t key) {
  chr = CharAttrRecord{};
  chr.flags = 0x80000000u;
  chr.styleKey = key;
}

KVXSTATUS apply_style(AttrSource& src, ParaAttrRecord& para, CharAttrRecord& chr, FrameAttrRecord& frame,
                      uint32_t item_id, uint32_t style_id) {
  const StyleAttrRecord* st = nullptr;
  uint32_t before = para.largestFont;
  if (KVXSTATUS s = src.style(style_id, para.styleKey, &st)) return s;
  if (st->kind == 0 || st->kind == 1) {
    frame = FrameAttrRecord{};
    reset_char_to(chr, style_id);
    if (st->kind == 1) {
      para = ParaAttrRecord{};
      para.styleKey = style_id;
      para.firstItem = item_id;
      para.flags = 0x4000;
      if (st->para.flags & 0x2000) {
        para.listStyleKey = st->para.listStyleKey;
        para.listLevel = st->para.listLevel;
        para.listValue = st->para.listValue;
        para.blockFlags = st->para.blockFlags;
        para.flags |= 0x2000 | 0x800;
      }
      if (st->para.blockFlags & 1) {
        for (int i = 0; i < 9; ++i) para.tabs[i] = st->para.tabs[i];
        para.blockFlags |= 1;
      }
    }
    para.largestFont = st->chars.fontSize > before ? st->chars.fontSize : before;
  } else if (st->kind == 4) {
    para.listStyleKey = st->keyIndex;
    if (st->para.blockFlags) para.blockFlags = st->para.blockFlags;
    para.flags |= 0x2000;
  }
  return KVX_OK;
}

KVXSTATUS override_attr(AttrSource& src, ParaAttrRecord& para, CharAttrRecord& chr, uint32_t id, uint32_t style_id,
                        bool invert) {
  const StyleAttrRecord* st = nullptr;
  if (KVXSTATUS s = src.style(style_id, para.styleKey, &st)) return s;
  const CharAttrRecord& sc = st->chars;
  unsigned index;
  uint32_t flag;
  if (id != 42 && id != 43 && id != 44 && id != 45 && id != 46 && id != 7 && id != 8 && id != 18 && id != 22 &&
      CharToggle(id, &index, &flag)) {
    chr.toggles[index] = invert ? (sc.toggles[index] == 0 ? 1 : 0) : sc.toggles[index];
    chr.flags |= flag;
    return KVX_OK;
  }
  switch (id) {
    case 23:
      chr.fontSize = sc.fontSize;
      chr.flags |= 0x80000;
      if (sc.fontSize > para.largestFont) para.largestFont = sc.fontSize;
      break;
    case 24:
      chr.fontIds[0] = sc.fontIds[0];
      chr.fontNames[0] = sc.fontNames[0];
      chr.flags |= 0x200000;
      break;
    case 25:
    case 262: chr.colour = sc.colour; chr.flags |= 0x100000; break;
    case 27: chr.kind62b = sc.kind62b; chr.flags |= 0x4000000; break;
    case 28: chr.underlineDetail = sc.underlineDetail; chr.flags |= 0x20; break;
    case 30: chr.toggles[kToggle64] = sc.toggles[kToggle64]; break;
    case 31: chr.toggles[kToggle65] = sc.toggles[kToggle65]; chr.flags |= 0x10000000; break;
    case 32: chr.kind25 = sc.kind25; chr.flags |= 0x40000; break;
    case 37: chr.verticalOffset = sc.verticalOffset; chr.flags |= 0x10; break;
    case 33: reset_char_to(chr, style_id); break;
    case 34:
      para = ParaAttrRecord{};
      para.flags = 0x4000;
      para.styleKey = style_id;
      break;
    default: break;
  }
  return KVX_OK;
}

// Skips the group whose first inner item is id: the id after its matching close, or
// 0xFFFFFFFF. Iterative, with a depth counter.
uint32_t skip_group(AttrSource& src, uint32_t id) {
  uint32_t depth = 1, w[4], next;
  while (id != 0xFFFFFFFF) {
    if (src.item(id, w, &next) != KVX_OK) return 0xFFFFFFFF;
    if (w[0] == 67) ++depth;
    else if (w[0] == 68 && --depth == 0) return next;
    id = next;
  }
  return 0xFFFFFFFF;
}

}  // namespace

bool CharToggle(uint32_t id, unsigned* index, uint32_t* flag) {
  for (const Toggle& t : kToggles) {
    if (t.id == id) {
      *index = t.index;
      *flag = t.flag;
      return true;
    }
  }
  return false;
}

KVXSTATUS DecodeAttrs(AttrSource& src, ParaAttrRecord& para, CharAttrRecord& chr, FrameAttrRecord& frame,
                      const uint32_t first[4], uint32_t* next, uint32_t last) {
  uint32_t w[4] = {first[0], first[1], first[2], first[3]};
  uint32_t item_id = 0xFFFFFFFF;  // the id of the current item is not known for the first
  for (;;) {
    uint32_t kind = w[0], a = w[1], b = w[2], c = w[3];
    if (!decoded_kind(kind)) return KVX_OK;
    if (kind == 67 && !(a & 0x40000000)) return KVX_OK;
    uint32_t after = *next;
    switch (kind) {
      case 8: {
        unsigned index;
        uint32_t flag;
        if ((b == 0 || b == 1) && CharToggle(a, &index, &flag)) {
          chr.toggles[index] = uint16_t(b);
          chr.flags |= flag;
        }
        break;
      }
      case 9:
        chr.fontSize = uint16_t(a);
        chr.flags |= 0x80000;
        if (a > para.largestFont) para.largestFont = a;
        break;
      case 10:
        chr.fontIds[0] = uint16_t(a);
        chr.fontNames[0] = src.fontName(a);
        chr.flags |= 0x200000;
        break;
      case 12: para.alignment = uint16_t(a); para.flags |= 0x1; break;
      case 13:
        para.left = int16_t(a);
        para.right = int16_t(b);
        para.firstLine = int16_t(int32_t(c) - int32_t(a));
        para.flags |= 0x10 | 0x40 | 0x20;
        break;
      case 14:
        if (a != 1) {
          para.lineRule = uint16_t(a);
          para.lineHeight = b;
          para.flags |= 0x8;
        }
        break;
      case 25: chr.kind25 = a; chr.flags |= 0x40000; break;
      case 28:
        if (KVXSTATUS s = apply_style(src, para, chr, frame, item_id, b)) return s;
        break;
      case 29:
        if (a == 10) {
          if (KVXSTATUS s = src.block(c, para.tabs, 9)) return s;
          para.blockFlags |= 1;
        }
        break;
      case 30:
        if (a == 10 && para.listLevel == b) {
          para.listLevelPlus1 = b + 1;
          para.kind30 = c;
          para.flags |= 0x1000;
        }
        break;
      case 56: para.kind56 = a; para.flags |= 0x40000; break;
      case 57: para.kind57 = uint16_t(a); para.flags |= 0x20000; break;
      case 58:
        if (a == 1) {
          uint32_t tmp[26];
          if (src.block(b, tmp, 26) == KVX_OK) {
            for (int i = 0; i < 26; ++i) para.borders[i] = tmp[i];
            para.flags |= 0x100;
          }
        } else {
          for (uint32_t& x : para.borders) x = 0;
          para.flags &= ~0x100u;
        }
        break;
      case 59:
        if (a == 1) {
          uint32_t tmp[5];
          if (src.block(b, tmp, 5) == KVX_OK) {
            for (int i = 0; i < 5; ++i) para.shading[i] = tmp[i];
            para.flags |= 0x10000;
          }
        } else {
          for (uint32_t& x : para.shading) x = 0;
          para.flags &= ~0x10000u;
        }
        break;
      case 60: if (!(a & 1)) { chr.colour = b; chr.flags |= 0x100000; } break;
      case 61: if (!(a & 1)) { chr.background = b; chr.flags |= 0x8000000; } break;
      case 62: chr.kind62b = uint16_t(b); chr.kind62a = uint16_t(a); chr.flags |= 0x4000000; break;
      case 63: chr.underlineDetail = a; chr.flags |= 0x20; break;
      case 64: chr.toggles[kToggle64] = uint16_t(a == 0 ? 0 : b); break;
      case 65: chr.toggles[kToggle65] = uint16_t(a); chr.flags |= 0x10000000; break;
      case 67: after = skip_group(src, after); break;
      case 70:
      case 71: frame.words[2] = c >> 16; break;
      case 72:
      case 73:
        if (a & 1) {
          const StyleAttrRecord* st = nullptr;
          if (KVXSTATUS s = src.style(b, para.styleKey, &st)) return s;
          reset_char_to(chr, b);
          para.flags |= 0x4000;
          para.styleKey = b;
        }
        break;
      case 93:
        if (a == 10) {
          if (para.listLevel >= 13) {
            para.listLevel = 0;
          } else {
            para.flags |= 0x800;
            if ((c & 0xFFFF) == 1 && !(c & 0x80000000u)) {
              para.listLevel = b + 1;
            } else {
              para.listLevel = 0;
            }
            para.listValue = c;
            if (para.listLevel >= 13) para.listLevel = 0;
          }
        }
        break;
      case 94:
        chr.verticalOffset = int16_t((a & 1) ? -int32_t(b) : int32_t(b));
        chr.flags |= 0x10;
        break;
      case 95:
        if (KVXSTATUS s = override_attr(src, para, chr, a, b, c == 4)) return s;
        break;
      case 97: {
        int16_t amount = int16_t(c & 0xFFFF);
        if (a == 0) {
          if (b & 4) {
            para.left = int16_t(para.left + amount);
          } else {
            if (!(b & 2)) para.firstLine = int16_t(para.firstLine + para.left - amount);
            para.left = amount;
          }
          para.flags |= 0x10;
        } else if (a == 1) {
          para.right = (b & 4) ? int16_t(para.right + amount) : amount;
          para.flags |= 0x40;
        } else if (a == 2) {
          if (b & 4) para.firstLine = int16_t(para.firstLine + amount);
          else if (b & 2) para.firstLine = amount;
          else para.firstLine = int16_t(amount - para.left);
          para.flags |= 0x20;
        }
        break;
      }
      case 98: para.beforeRule = uint16_t(a); para.spaceBefore = b; para.flags |= 0x2; break;
      case 99: para.afterRule = uint16_t(a); para.spaceAfter = b; para.flags |= 0x4; break;
      case 103: para.kind103 = a; para.flags |= 0x8000; break;
      case 119:
        if (b < 5) {
          chr.fontIds[b] = uint16_t(a);
          chr.fontNames[b] = src.fontName(a);
          chr.alternativeFonts = 1;
        }
        break;
      case 122: para.listLevel = a; break;
      case 147: frame.words[2] = a; break;
      case 148: frame.words[3] = a; break;
      case 150: frame.words[4] = a & 0xFFFF; break;
      case 151: frame.words[1] = a; break;
      case 152: frame.words[7] = a; break;
      case 153: frame.words[8] = a; break;
      case 154: frame.words[5] = a; frame.words[6] = b * 255 / 100; break;
      default: break;  // 21-23, 100-102, 149: consumed
    }
    *next = after;
    if (after == 0xFFFFFFFF || (last != 0xFFFFFFFF && after > last)) return KVX_OK;
    item_id = after;
    if (KVXSTATUS s = src.item(after, w, next)) {
      *next = after;
      return s;
    }
    // *next now names the item after this one; keep the current id in *next for the caller
    // until the item is consumed.
    uint32_t following = *next;
    *next = after;
    if (!decoded_kind(w[0]) || (w[0] == 67 && !(w[1] & 0x40000000))) return KVX_OK;
    *next = following;
  }
}

}  // namespace pc
