// Attribute gathering over the export's chunker (see pc_chunkattrs.h).
#include "pc_chunkattrs.h"

#include "pc_fontnames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pc {

namespace {

constexpr uint32_t kGroupOpen = 67, kGroupClose = 68;
constexpr uint32_t kMaxDefinitionItems = 4096;
constexpr uint32_t kMaxNameUnits = 80;

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool get(KVXHANDLE ch, uint32_t id, uint32_t w[4], uint32_t* next) {
  uint8_t b[16];
  if (CHGetItem(ch, KVXRANGE_ITEMS, id, b, next) != KVX_OK) return false;
  for (int i = 0; i < 4; ++i) w[i] = le32(b + 4 * i);
  return true;
}

// Reads the group index of range 16 in place (one lock) rather than entry by entry,
// handing each entry (open item, code, id word) to visit until it answers true. KVX_OK for
// an empty index; the lock's status when the index cannot be read.
template <class Visit>
KVXSTATUS scan_groups(KVXHANDLE ch, Visit visit) {
  uint32_t count = 0;
  if (CHGetItemCount(ch, KVXRANGE_GROUPS, &count) != KVX_OK || count == 0) return KVX_OK;
  void* data = nullptr;
  if (KVXSTATUS st = CHLockItemRange(ch, KVXRANGE_GROUPS, 0, count, &data)) return st;
  const uint8_t* index = static_cast<const uint8_t*>(data);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = index + size_t(i) * 12;
    if (visit(le32(e), le32(e + 4), le32(e + 8))) break;
  }
  CHUnlockItemRange(ch, KVXRANGE_GROUPS, 0);
  return KVX_OK;
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
  if (auto known = definitions_.find(styleId); known != definitions_.end()) {
    def = known->second;
    return true;
  }
  if (missing_.count(styleId)) return false;
  if (!read_definition(styleId, def)) return false;
  definitions_.emplace(styleId, def);
  return true;
}

KVXSTATUS ChunkerAttrs::find_style_group(uint32_t styleId, uint32_t* open) {
  if (styleId == kNoItemId) return 37;
  if (!style_groups_read_) {
    style_groups_read_ = true;
    // As FindStyleItem finds them: the index's first entry of an id, else the first open
    // on the stream from the index's last style group (from the stream's start when it
    // holds none), all found in one walk rather than one per style.
    uint32_t from = kNoItemId;
    if (scan_groups(chunker_, [&](uint32_t at, uint32_t code, uint32_t id) {
          if (code == kStyleGroup) {
            style_groups_.try_emplace(id, at);
            from = at;
          }
          return false;
        }) != KVX_OK) {
      style_groups_ok_ = false;  // each look-up then reads the index as FindStyleItem does
    } else if (from != kNoItemId || CHGetItemId(chunker_, KVXRANGE_ITEMS, 0, &from) == KVX_OK) {
      uint32_t w[4], next = 0;
      for (uint32_t at = from, steps = 0; at != kNoItemId && steps < 0x1000000; ++steps, at = next) {
        if (!get(chunker_, at, w, &next)) break;
        if (w[0] == kGroupOpen && w[1] == kStyleGroup) walked_style_groups_.try_emplace(w[2], at);
      }
    }
  }
  if (!style_groups_ok_) return FindStyleItem(chunker_, styleId, kStyleGroup, 0, open, nullptr);
  auto hit = style_groups_.find(styleId);
  if (hit == style_groups_.end()) {
    hit = walked_style_groups_.find(styleId);
    if (hit == walked_style_groups_.end()) return 37;
  }
  uint32_t w[4], next = 0;
  if (!get(chunker_, hit->second, w, &next) || w[0] != kGroupOpen || w[1] != kStyleGroup) return 37;
  *open = hit->second;
  return KVX_OK;
}

bool ChunkerAttrs::read_definition(uint32_t styleId, StyleDef& def) {
  uint32_t open = kNoItemId, w[4], next = 0;
  if (find_style_group(styleId, &open) != KVX_OK) {
    missing_.insert(styleId);
    return false;
  }
  if (!get(chunker_, open, w, &next)) return false;
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
  std::u16string name;
  uint32_t charset = 0;
  if (ReadFontNameById(chunker_, fontId, (kMaxNameUnits + 1) * 2, &name, &charset) != KVX_OK) name.clear();
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

KVXSTATUS SkipGroupBack(KVXHANDLE chunker, uint32_t id, uint32_t* open) {
  unsigned depth = 0;
  for (uint32_t steps = 0; steps < 0x1000000; ++steps) {
    uint32_t prev = kNoItemId, w[4], next = 0;
    if (CHPrevItemId(chunker, KVXRANGE_ITEMS, id, &prev) != KVX_OK || prev == kNoItemId) return 37;
    id = prev;
    if (!get(chunker, id, w, &next)) return 37;
    if (w[0] == kGroupClose) {
      ++depth;
    } else if (w[0] == kGroupOpen) {
      if (depth == 0) {
        *open = id;
        return KVX_OK;
      }
      --depth;
    }
  }
  return 37;
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
      // A paragraph style applied by the run's first item: the decoder does not know that
      // item's id, which the paragraph's start takes.
      if (para.firstItem == kNoItemId) para.firstItem = id;
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
    int64_t left = int64_t(ws.left) - ws.marginLeft, right = int64_t(ws.right) - ws.marginRight;
    para.extraLeft = uint32_t(std::clamp<int64_t>(left, 0, INT32_MAX));
    para.extraRight = uint32_t(std::clamp<int64_t>(right, 0, INT32_MAX));
    para.flags |= 0x200;
  }
  return ws.finishParagraph ? ws.finishParagraph(para) : KVX_OK;
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

namespace {

// Decodes the one item id (words w) into the records.
KVXSTATUS decode_one(ChunkerAttrs& src, ParaAttrRecord& para, CharAttrRecord& chr, FrameAttrRecord& frame,
                     uint32_t id, const uint32_t w[4], uint32_t next) {
  uint32_t after = next;
  return DecodeAttrs(src, para, chr, frame, w, &after, id);
}

bool run_kind(uint32_t k) {
  return (k >= 8 && k <= 10) || (k >= 12 && k <= 14) || (k >= 20 && k <= 23) || k == 25 || (k >= 28 && k <= 30) ||
         (k >= 56 && k <= 65) || (k >= 93 && k <= 95) || (k >= 97 && k <= 103) || k == 119;
}

// Walks items from first to last, skipping groups with bit 29; visit answers true to stop
// (the id is then returned). kNoItemId at the end of the range or on a read failure.
template <typename Visit>
uint32_t walk(KVXHANDLE ch, uint32_t first, uint32_t last, bool stopAtScopeClose, Visit visit) {
  for (uint32_t id = first; id != kNoItemId;) {
    uint32_t w[4], next = 0;
    if (!get(ch, id, w, &next)) return kNoItemId;
    if (visit(id, w, next)) return id;
    if (stopAtScopeClose && w[0] == kGroupClose && (w[1] >> 29 & 1)) return id;
    if (w[0] == kGroupOpen && (w[1] >> 29 & 1)) {
      uint32_t after = SkipGroup(ch, next);
      if (after == kNoItemId || (last != kNoItemId && after > last)) return kNoItemId;
      id = after;
      continue;
    }
    if (id == last) return kNoItemId;
    id = next;
  }
  return kNoItemId;
}

uint32_t lo16(uint32_t v) { return v & 0xFFFF; }

}  // namespace

KVXSTATUS GatherRunAttrs(ChunkerAttrs& src, ParaAttrRecord& para, CharAttrRecord& chr, uint32_t first, uint32_t last) {
  FrameAttrRecord frame;
  KVXSTATUS status = KVX_OK;
  walk(src.chunker(), first, last, false, [&](uint32_t id, const uint32_t* w, uint32_t next) {
    if (!run_kind(w[0])) return false;
    status = decode_one(src, para, chr, frame, id, w, next);
    return status != KVX_OK;
  });
  return status;
}

KVXSTATUS CUGatherParaFontInfo(ChunkerAttrs& src, CharAttrRecord& chr, WalkState& ws) {
  ParaAttrRecord para;
  FrameAttrRecord frame;
  chr.flags = 0;
  walk(src.chunker(), ws.item, ws.last, false, [&](uint32_t id, const uint32_t* w, uint32_t next) {
    uint32_t k = w[0];
    if ((k == 0 && w[1] == 1) || ends_scope(w)) return true;
    if (k == 9 || k == 28 || k == 60 || k == 95) decode_one(src, para, chr, frame, id, w, next);
    return false;
  });
  return KVX_OK;
}

KVXSTATUS GatherRunLimited(ChunkerAttrs& src, FrameAttrRecord& frame, WalkState& ws) {
  ParaAttrRecord para;
  CharAttrRecord chr;
  KVXSTATUS status = KVX_OK;
  walk(src.chunker(), ws.item, ws.last, false, [&](uint32_t id, const uint32_t* w, uint32_t next) {
    if (w[0] == 28 || (w[0] >= 147 && w[0] <= 154)) status = decode_one(src, para, chr, frame, id, w, next);
    return status != KVX_OK;
  });
  return status;
}

KVXSTATUS StyleIndents(ChunkerAttrs& src, uint32_t flags, uint32_t styleId, uint32_t given, uint32_t* out) {
  uint32_t left = 0, right = 0;
  if (flags & 0x4000) {
    const StyleAttrRecord* r = nullptr;
    if (KVXSTATUS st = src.cache().GatherStyle(styleId, 0, &r, nullptr)) return st;
    if (r->para.flags & 0x10) left = uint16_t(r->para.left);
    if (r->para.flags & 0x40) right = uint16_t(r->para.right);
  }
  if (flags & 0x10) left = lo16(given);
  if (flags & 0x40) right = given >> 16;
  *out = left | right << 16;
  return KVX_OK;
}

uint32_t FindTabStop(KVXHANDLE ch, uint32_t tabKind, uint32_t first, uint32_t last) {
  return walk(ch, first, last, true, [&](uint32_t, const uint32_t* w, uint32_t) { return w[0] == 24 && w[1] == tabKind; });
}

uint32_t FindGroupOpen(KVXHANDLE ch, uint32_t first, uint32_t last, uint32_t code) {
  return walk(ch, first, last, true,
              [&](uint32_t, const uint32_t* w, uint32_t) { return w[0] == kGroupOpen && w[1] == code; });
}

uint32_t FindBreak(KVXHANDLE ch, uint32_t first, uint32_t last, uint32_t breakType) {
  return walk(ch, first, last, false, [&](uint32_t, const uint32_t* w, uint32_t) { return w[0] == 0 && w[1] == breakType; });
}

int NextItemIsText(KVXHANDLE ch, uint32_t item, uint32_t end) {
  uint32_t w[4], next = 0;
  if (item == kNoItemId || item >= end || !get(ch, item, w, &next)) return 0;
  return w[0] == 0 && w[1] == 2 ? 0 : 1;
}

int FindGroupCode(KVXHANDLE ch, uint32_t id, uint32_t* code) {
  uint32_t w[4], next = 0;
  *code = 0;
  if (!get(ch, id, w, &next) || w[0] != kGroupOpen) return 0;
  *code = w[1];
  return 1;
}

uint32_t FindBreakBack(KVXHANDLE ch, uint32_t start, uint32_t breakType) {
  uint32_t id = start;
  unsigned depth = 0;  // inside groups stepped over backwards
  for (uint32_t steps = 0; steps < 0x1000000; ++steps) {
    uint32_t prev = 0;
    if (CHPrevItemId(ch, KVXRANGE_ITEMS, id, &prev) != KVX_OK || prev == kNoItemId) return kNoItemId;
    id = prev;
    uint32_t w[4], next = 0;
    if (!get(ch, id, w, &next)) return kNoItemId;
    if (w[0] == kGroupClose && (depth > 0 || (w[1] >> 29 & 1) || w[1] == 0x170000 || w[1] == 0x180000)) {
      ++depth;
      continue;
    }
    if (depth > 0) {
      if (w[0] == kGroupOpen) --depth;
      continue;
    }
    if (w[0] == 0 && w[1] == breakType) return id;
    if (w[0] == kGroupOpen && (w[1] >> 29 & 1)) return id;
  }
  return kNoItemId;
}

KVXSTATUS FindFrameText(KVXHANDLE ch, uint32_t first, uint32_t limit, std::string* text) {
  constexpr uint32_t kFrameGroup = 0x201C0000u, kIdGroup = 0xA0010004u;
  constexpr size_t kMax = 512;
  text->clear();
  bool inside = false;
  std::vector<uint32_t> open;  // codes of the groups opened on the way
  for (uint32_t id = first; id != kNoItemId;) {
    uint32_t w[4], next = 0;
    if (!get(ch, id, w, &next)) return 37;
    if (w[0] == 0 && w[1] == limit) return 37;
    if (w[0] == kGroupOpen) {
      open.push_back(w[1]);
      if (w[1] == kFrameGroup) inside = true;
    } else if (w[0] == kGroupClose) {
      uint32_t code = open.empty() ? w[1] : open.back();
      if (!open.empty()) open.pop_back();
      if (code == kFrameGroup || code == kIdGroup || w[1] == kFrameGroup || w[1] == kIdGroup) return 37;
    } else if (w[0] == KVXITEM_TEXT && inside) {
      uint32_t count = std::min<uint32_t>(w[3], uint32_t(kMax));
      std::vector<uint8_t> b(size_t(count) * 2);
      if (count && CHGetItems(ch, KVXRANGE_TEXT, w[2], b.data(), uint32_t(b.size())) != KVX_OK) return 37;
      for (uint32_t i = 0; i < count; ++i) {
        uint16_t c = uint16_t(b[2 * i] | b[2 * i + 1] << 8);
        size_t need = c > 0xFF ? 2 : 1;
        if (text->size() + need > kMax) break;  // never half a character
        if (c > 0xFF) text->push_back(char(c >> 8));
        text->push_back(char(c & 0xFF));
      }
      return KVX_OK;
    }
    id = next;
  }
  return 37;
}

KVXSTATUS ReadFrameProps(KVXHANDLE ch, uint32_t first, FrameProps* out) {
  *out = FrameProps{};
  uint32_t w[4], next = 0;
  if (!get(ch, first, w, &next)) return 37;
  for (uint32_t id = next; id != kNoItemId;) {
    if (!get(ch, id, w, &next) || w[0] == 194) break;
    if (w[0] == 193) {
      uint32_t bit = w[1], b = w[2], c = w[3];
      out->mask |= bit;
      switch (bit) {
        case 1: out->words[3] = b; break;
        case 2: out->words[2] = b; break;
        case 4: out->words[9] = b; break;
        case 8: out->words[4] = b, out->words[5] = c; break;
        case 16: out->words[8] = b, out->words[7] = c; break;
        case 64: out->words[10] = b; break;
        case 128: out->words[1] = b; break;
        case 256: out->words[11] = b, out->words[12] = c; break;
        case 512: out->words[6] = b; break;
        default: break;
      }
    }
    id = next;
  }
  return out->mask ? KVX_OK : 37;
}

namespace {

// The nesting items of range 14: {kind, a, b, position}.
std::vector<std::array<uint32_t, 2>> nesting(KVXHANDLE ch) {
  std::vector<std::array<uint32_t, 2>> out;
  uint32_t count = 0;
  if (CHGetItemCount(ch, KVXRANGE_NESTING, &count) != KVX_OK) return out;
  for (uint32_t i = 0; i < count && i < 0x100000; ++i) {
    uint8_t b[16];
    uint32_t next = 0;
    if (CHGetItem(ch, KVXRANGE_NESTING, i, b, &next) != KVX_OK) break;
    out.push_back({le32(b), le32(b + 12)});
  }
  return out;
}

}  // namespace

uint32_t FindEnclosingOpen(KVXHANDLE ch, uint32_t position) {
  std::vector<std::array<uint32_t, 2>> n = nesting(ch);
  std::vector<uint32_t> stack;
  for (const auto& e : n) {
    if (e[0] == 16) {
      stack.push_back(e[1]);
    } else if (e[0] == 17 && !stack.empty()) {
      uint32_t open = stack.back();
      stack.pop_back();
      if (stack.empty() && open <= position && e[1] > position) return open;  // the outermost
    }
  }
  return kNoItemId;
}

uint32_t FindMatchingClose(KVXHANDLE ch, uint32_t position) {
  std::vector<std::array<uint32_t, 2>> n = nesting(ch);
  int depth = -1;
  for (const auto& e : n) {
    if (depth < 0) {
      if (e[0] == 16 && e[1] == position) depth = 0;
      continue;
    }
    if (e[0] == 16) ++depth;
    if (e[0] == 17 && depth-- == 0) return e[1];
  }
  return kNoItemId;
}

KVXSTATUS ScanTable(KVXHANDLE ch, uint32_t item, TableScan* scan) {
  *scan = TableScan{};
  uint32_t start = FindEnclosingOpen(ch, item);
  if (start == kNoItemId) return 37;
  scan->start = start;
  uint32_t w[4], next = 0;
  if (!get(ch, start, w, &next)) return 37;
  TableRowEntry row;
  bool rowHasContent = false;
  for (uint32_t id = next; id != kNoItemId;) {
    uint8_t b[16];
    if (KVXSTATUS st = CHGetItem(ch, KVXRANGE_ITEMS, id, b, &next)) return st;
    uint32_t k = le32(b), a = le32(b + 4);
    if (k == KVXITEM_TABLESTART) {  // a nested table: step over it
      uint32_t close = FindMatchingClose(ch, id);
      if (close == kNoItemId) return 37;
      if (KVXSTATUS st = CHGetItem(ch, KVXRANGE_ITEMS, close, b, &next)) return st;
      id = next;
      continue;
    }
    if (k == KVXITEM_TABLEEND) {
      scan->end = id;
      break;
    }
    if (k == 18 && row.first18 == kNoItemId) row.first18 = a, rowHasContent = true;
    if (k == 19 && row.first19 == kNoItemId) row.first19 = a, rowHasContent = true;
    if (k == 0 && a == KVXBREAK_CELL && row.cells < 0xFFFF) ++row.cells, rowHasContent = true;
    if (k == 0 && a == KVXBREAK_ROW) {
      if (scan->rows.size() >= 0x100000) return 13;
      scan->rows.push_back(row);
      if (row.cells > scan->widest) scan->widest = row.cells;
      if (scan->rowOfItem == kNoItemId && id >= item) scan->rowOfItem = uint32_t(scan->rows.size() - 1);
      row = TableRowEntry{};
      rowHasContent = false;
    }
    id = next;
  }
  if (rowHasContent) {  // a last row without its end
    scan->rows.push_back(row);
    if (row.cells > scan->widest) scan->widest = row.cells;
  }
  return KVX_OK;
}

KVXSTATUS TableRowItem(KVXHANDLE ch, uint32_t row, uint32_t words[4]) {
  uint32_t count = 0, next = 0;
  uint8_t b[16];
  if (CHGetItemCount(ch, KVXRANGE_ROWS, &count) != KVX_OK || row >= count) return 15;
  if (KVXSTATUS st = CHGetItem(ch, KVXRANGE_ROWS, row, b, &next)) return st;
  for (int i = 0; i < 4; ++i) words[i] = le32(b + 4 * i);
  return KVX_OK;
}

KVXSTATUS TableCellItem(KVXHANDLE ch, uint32_t row, uint32_t cell, uint32_t words[4]) {
  uint32_t r[4];
  if (KVXSTATUS st = TableRowItem(ch, row, r)) return st;
  uint32_t count = 0, next = 0;
  // Row item {kind, row, first cell, cell count}.
  if (cell >= r[3] || CHGetItemCount(ch, KVXRANGE_CELLS, &count) != KVX_OK || r[2] + cell >= count) return 15;
  uint8_t b[16];
  if (KVXSTATUS st = CHGetItem(ch, KVXRANGE_CELLS, r[2] + cell, b, &next)) return st;
  for (int i = 0; i < 4; ++i) words[i] = le32(b + 4 * i);
  return KVX_OK;
}

}  // namespace pc

namespace pc {

uint32_t FindScopeEnd(KVXHANDLE ch, uint32_t id) {
  uint32_t w[4], next = 0;
  if (!get(ch, id, w, &next)) return kNoItemId;
  if (w[0] == kGroupClose) {  // a close ends its own scope
    uint32_t prev = kNoItemId;
    return CHPrevItemId(ch, KVXRANGE_ITEMS, id, &prev) == KVX_OK ? prev : kNoItemId;
  }
  // From a group open the scope is the group itself; any other item is in the scope
  // that is open around it. Groups opened on the way are stepped over by their depth.
  uint32_t prev = id;
  unsigned depth = 0;
  for (uint32_t steps = 0; next != kNoItemId && steps < 0x1000000; ++steps) {
    id = next;
    if (!get(ch, id, w, &next)) return kNoItemId;
    if (w[0] == kGroupOpen) {
      ++depth;
    } else if (w[0] == kGroupClose) {
      if (depth == 0) return prev;
      --depth;
    }
    prev = id;
  }
  return kNoItemId;
}

KVXSTATUS FindStyleItem(KVXHANDLE ch, uint32_t id, uint32_t code, uint32_t flags, uint32_t* item, uint32_t* end,
                        uint32_t words[4]) {
  if (id == kNoItemId) return 37;
  uint32_t open = kNoItemId, from = kNoItemId;
  if (KVXSTATUS st = scan_groups(ch, [&](uint32_t at, uint32_t c, uint32_t i) {
        if (c != code) return false;
        if (i == id) open = at;
        from = at;
        return open != kNoItemId;
      }))
    return st;
  uint32_t w[4], next = 0;
  if (open == kNoItemId) {
    // Groups the index does not hold: the stream on from its last entry of the code, or
    // from the start for a code it does not index at all (an entry of another code can
    // lie past the group).
    if (from == kNoItemId && CHGetItemId(ch, KVXRANGE_ITEMS, 0, &from) != KVX_OK) return 37;
    for (uint32_t at = from, steps = 0; at != kNoItemId && steps < 0x1000000; ++steps) {
      if (!get(ch, at, w, &next)) return 37;
      if (w[0] == kGroupOpen && w[1] == code && w[2] == id) {
        open = at;
        break;
      }
      at = next;
    }
    if (open == kNoItemId) return 37;
  }
  if (!get(ch, open, w, &next) || w[0] != kGroupOpen || w[1] != code) return 37;
  if (item) *item = open;
  if (end) *end = FindScopeEnd(ch, open);
  if ((flags & 1) && words) std::copy(w, w + 4, words);
  return KVX_OK;
}

KVXSTATUS FindIdGroup(KVXHANDLE ch, uint32_t first, uint32_t limit, uint32_t* item, uint32_t* id) {
  constexpr uint32_t kIdGroup = 0xA0010004u;
  bool limited = false;
  uint32_t found = walk(ch, first, kNoItemId, false, [&](uint32_t, const uint32_t* w, uint32_t) {
    if (w[0] == 0 && w[1] == limit) return limited = true;
    return w[0] == kGroupOpen && w[1] == kIdGroup && (*id == 0 || w[2] == *id);
  });
  if (found == kNoItemId || limited) return 37;
  uint32_t w[4], next = 0;
  if (!get(ch, found, w, &next)) return 37;
  *item = found;
  *id = w[2];
  return KVX_OK;
}

uint32_t CheckListMarker(KVXHANDLE ch, uint32_t group) {
  constexpr uint32_t kMarkerGroup = 0xA0120000u;
  uint32_t open = kNoItemId, end = kNoItemId;
  if (FindStyleItem(ch, group, kMarkerGroup, 0, &open, &end) != KVX_OK) return 0;
  uint32_t w[4], next = 0;
  if (!get(ch, open, w, &next)) return 0;
  unsigned depth = 0;  // groups without bit 29 entered (the others are stepped over)
  uint32_t text = walk(ch, next, end, false, [&](uint32_t, const uint32_t* v, uint32_t) {
    if (v[0] == kGroupOpen && !(v[1] >> 29 & 1)) ++depth;
    if (v[0] == kGroupClose && depth > 0) return --depth, false;
    return v[0] == KVXITEM_TEXT || v[0] == 31 || v[0] == kGroupClose;
  });
  return text != kNoItemId && get(ch, text, w, &next) && w[0] == KVXITEM_TEXT ? 8 : 0;
}

KVXSTATUS GatherCellFont(ChunkerAttrs& src, CharAttrRecord& chr, uint32_t separators, uint32_t first, uint32_t last) {
  ParaAttrRecord para;
  FrameAttrRecord frame;
  uint32_t met = 0;
  walk(src.chunker(), first, last, false, [&](uint32_t id, const uint32_t* w, uint32_t next) {
    uint32_t k = w[0];
    if ((k == 0 && w[1] == 1) || ends_scope(w)) return true;
    if (k == 31) return ++met >= separators;
    if (k == 9 || k == 28 || k == 60 || k == 95) decode_one(src, para, chr, frame, id, w, next);
    return false;
  });
  return KVX_OK;
}

}  // namespace pc
