// Attribute gathering over the export's chunker (see pc_chunkattrs.h).
#include "pc_chunkattrs.h"

#include <cstring>
#include <vector>

namespace pc {

namespace {

constexpr uint32_t kGroupOpen = 67, kGroupClose = 68;
constexpr uint32_t kFontText16 = 0x14B00000;
constexpr uint32_t kMaxDefinitionItems = 4096;
constexpr uint32_t kMaxNameUnits = 80;

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool get(KVXHANDLE ch, uint32_t id, uint32_t w[4], uint32_t* next) {
  uint8_t b[16];
  if (CHGetItem(ch, KVXRANGE_ITEMS, id, b, next) != KVX_OK) return false;
  for (int i = 0; i < 4; ++i) w[i] = le32(b + 4 * i);
  return true;
}

bool skippable(const uint32_t w[4]) {
  return w[0] == kGroupOpen && ((w[1] >> 29 & 1) || w[1] == 0x170000 || w[1] == 0x180000);
}

// Kinds a walker hands to DecodeAttrs.
bool leading_kind(uint32_t k) {
  return (k >= 8 && k <= 10) || k == 25 || k == 28 || (k >= 60 && k <= 65) || k == 94 || k == 95 || k == 119;
}

bool paragraph_kind(uint32_t k) {
  return (k >= 12 && k <= 14) || (k >= 21 && k <= 23) || (k >= 28 && k <= 30) || (k >= 56 && k <= 59) || k == 93 ||
         k == 95 || (k >= 97 && k <= 103);
}

bool ends_scope(const uint32_t w[4]) {
  uint32_t k = w[0];
  if (k == 45 || (k >= 70 && k <= 74) || k == 87 || k == 110 || k == 1025) return true;
  return k == kGroupClose && (w[1] == 0xA00A0000u || w[1] == 0xA0120000u || w[1] == 0x20200008u);
}

}  // namespace

ChunkerAttrs::ChunkerAttrs(KVXHANDLE chunker, uint32_t slotCount)
    : chunker_(chunker), cache_(*this, *this, slotCount) {}

bool ChunkerAttrs::definition(uint32_t styleId, StyleDef& def) {
  if (styleId == kNoItemId) return false;
  uint32_t count = 0;
  if (CHGetItemCount(chunker_, KVXRANGE_GROUPS, &count) != KVX_OK) return false;
  uint32_t open = kNoItemId;
  for (uint32_t i = 0; i < count && open == kNoItemId; ++i) {
    uint8_t e[12];
    uint32_t next = 0;
    if (CHGetItem(chunker_, KVXRANGE_GROUPS, i, e, &next) != KVX_OK) return false;
    if (le32(e + 4) == kStyleGroup && le32(e + 8) == styleId) open = le32(e);
  }
  uint32_t w[4], next = 0;
  if (open == kNoItemId || !get(chunker_, open, w, &next) || w[0] != kGroupOpen || w[1] != kStyleGroup) return false;
  uint8_t rec[kStyleRecordBytes];
  if (CHGetItems(chunker_, KVXRANGE_RECORDS, w[3], rec, kStyleRecordBytes) != KVX_OK) return false;
  def.kind = le32(rec);
  def.word3 = le32(rec + 4);
  def.word4 = le32(rec + 8);
  def.parent = le32(rec + 12);
  def.items.clear();
  // The definition: the group's items up to its close, nested groups kept whole.
  unsigned depth = 0;
  for (uint32_t id = next; id != kNoItemId && def.items.size() < kMaxDefinitionItems;) {
    uint32_t after = 0;
    if (!get(chunker_, id, w, &after)) return false;
    def.items.push_back({w[0], w[1], w[2], w[3]});
    if (w[0] == kGroupOpen) ++depth;
    if (w[0] == kGroupClose) {
      if (depth == 0) return true;
      --depth;
    }
    id = after;
  }
  def.items.push_back({kGroupClose, kStyleGroup, 0, 0});
  return true;
}

KVXSTATUS ChunkerAttrs::item(uint32_t id, uint32_t words[4], uint32_t* next) {
  uint8_t b[16];
  if (KVXSTATUS st = CHGetItem(chunker_, KVXRANGE_ITEMS, id, b, next)) return st;
  for (int i = 0; i < 4; ++i) words[i] = le32(b + 4 * i);
  return KVX_OK;
}

KVXSTATUS ChunkerAttrs::block(uint32_t id, uint32_t* words, uint32_t count) {
  std::vector<uint8_t> b(size_t(count) * 4);
  if (KVXSTATUS st = CHGetItems(chunker_, KVXRANGE_RECORDS, id, b.data(), uint32_t(b.size()))) return st;
  for (uint32_t i = 0; i < count; ++i) words[i] = le32(b.data() + 4 * i);
  return KVX_OK;
}

KVXSTATUS ChunkerAttrs::style(uint32_t styleId, uint32_t context, const StyleAttrRecord** record) {
  return cache_.GatherStyle(styleId, context, record, nullptr);
}

std::u16string ChunkerAttrs::fontName(uint32_t fontId) {
  // Font item {kind, first name unit in range 9, character set, length, 0}.
  uint8_t f[20];
  uint32_t next = 0;
  std::u16string name;
  if (CHGetItem(chunker_, KVXRANGE_FONTS, fontId, f, &next) != KVX_OK) return name;
  uint32_t unit = le32(f + 4), set = le32(f + 8), length = le32(f + 12);
  if (length > kMaxNameUnits) length = kMaxNameUnits;
  std::vector<uint8_t> b(size_t(length) * 2);
  if (length == 0 || CHGetItems(chunker_, KVXRANGE_NAMES, unit, b.data(), uint32_t(b.size())) != KVX_OK) return name;
  for (uint32_t i = 0; i < length; ++i) {
    auto c = char16_t(b[2 * i] | b[2 * i + 1] << 8);
    if (c == 0) break;
    // 8-bit names keep a byte per unit; 16-bit names are taken as they are.
    name.push_back(set == kFontText16 ? c : char16_t(c & 0xFF));
  }
  return name;
}

uint32_t SkipGroup(KVXHANDLE chunker, uint32_t id) {
  unsigned depth = 0;
  for (uint32_t steps = 0; id != kNoItemId && steps < 0x1000000; ++steps) {
    uint32_t w[4], next = 0;
    if (!get(chunker, id, w, &next)) return kNoItemId;
    if (w[0] == kGroupOpen) ++depth;
    if (w[0] == kGroupClose) {
      if (depth == 0) return next;
      --depth;
    }
    id = next;
  }
  return kNoItemId;
}

uint32_t FindParagraphEnd(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t flags) {
  for (uint32_t id = first; id != kNoItemId;) {
    uint32_t w[4], next = 0;
    if (!get(chunker, id, w, &next)) return kNoItemId;
    if (skippable(w)) {
      uint32_t after = SkipGroup(chunker, next);
      if (after == kNoItemId || (last != kNoItemId && after > last)) return 0;
      id = after;
      continue;
    }
    uint32_t k = w[0], a = w[1];
    if (k == 0 && !(flags & 2) && (a == 1 || a == 2 || a == 19 || a == 20 || a == 22)) return id;
    if (k == 7 || k == 26 || k == 224) return id;
    if (k == 24 && a != 2 && a != 4 && a != 5 && a != 12 && a != 13) return id;
    if (id == last) return 0;
    id = next;
  }
  return 0;
}

KVXSTATUS GatherParagraph(ChunkerAttrs& src, ParaAttrRecord& para, WalkState& ws) {
  CharAttrRecord chr;
  FrameAttrRecord frame;
  ws.empty = true;
  ws.hasContent = false;
  uint32_t first = ws.item;
  for (uint32_t id = ws.item; id != kNoItemId;) {
    uint32_t w[4], next = 0;
    if (src.item(id, w, &next) != KVX_OK) break;  // the walkers stop quietly
    ws.item = id;
    uint32_t k = w[0];
    if (k == kGroupOpen && (w[1] >> 29 & 1)) {
      id = SkipGroup(src.chunker(), next);
      continue;
    }
    if (k == 0 && (w[1] == 1 || w[1] == 2 || w[1] == 20 || w[1] == 22)) break;
    if (ends_scope(w)) break;
    if (k == 7 || k == 26 || k == 224) {
      ws.hasContent = true;
      ws.empty = false;
    } else if (k == 24) {
      ws.hasContent = true;
    } else if (k == 9) {
      if (w[1] > para.largestFont) para.largestFont = w[1];
    } else if (k == 20) {
      ws.left = int32_t(w[1]);
      ws.right = int32_t(w[2]);
      ws.positions = true;
    } else if (paragraph_kind(k)) {
      uint32_t after = next;
      if (KVXSTATUS st = DecodeAttrs(src, para, chr, frame, w, &after, ws.last)) return st;
      if (after == id) after = next;
      if (ws.last != kNoItemId && id == ws.last) break;
      id = after;
      continue;
    }
    if (ws.last != kNoItemId && id == ws.last) break;
    id = next;
  }
  if (para.firstItem == 0) para.firstItem = first;
  if ((chr.flags & 0x80000) && chr.fontSize > para.largestFont) para.largestFont = chr.fontSize;
  if (ws.positions) {
    para.extraLeft = uint32_t(ws.left > 0 ? ws.left : 0);
    para.extraRight = uint32_t(ws.right > 0 ? ws.right : 0);
    para.flags |= 0x200;
  }
  return KVX_OK;
}

uint32_t GatherLeadingAttrs(ChunkerAttrs& src, CharAttrRecord& chr, WalkState& ws) {
  ParaAttrRecord para;
  FrameAttrRecord frame;
  chr.flags = 0;
  for (uint32_t id = ws.item; id != kNoItemId;) {
    uint32_t w[4], next = 0;
    if (src.item(id, w, &next) != KVX_OK) return kNoItemId;
    if (!leading_kind(w[0])) return id;
    uint32_t after = next;
    if (DecodeAttrs(src, para, chr, frame, w, &after, ws.last) != KVX_OK) return kNoItemId;
    if (after == id) return id;
    id = after;
  }
  return kNoItemId;
}

uint32_t CUFindTextFrameId(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t flags) {
  if (first == kNoItemId || (last != kNoItemId && first > last)) return kNoItemId;
  for (uint32_t id = first; id != kNoItemId;) {
    uint32_t w[4], next = 0;
    if (!get(chunker, id, w, &next)) return kNoItemId;
    if (w[0] == 804) {
      uint8_t rec[40];
      if (CHGetItems(chunker, KVXRANGE_FRAMES, w[1], rec, sizeof rec) == KVX_OK && (le32(rec + 16) & flags)) return id;
    }
    if (id == last) break;
    id = next;
  }
  return kNoItemId;
}

}  // namespace pc
