// The style resolver of the HTML writer: a cache of resolved style records in a fixed
// number of slots, reused round-robin, with a key entry per style id met. A style is
// resolved parent first; a parent chain that loops is cut (the looping parent counts as
// none) and its depth is bounded. Definitions come through a StyleDefs source (the
// chunker's style items in the export, tables in tests); their items are decoded with
// DecodeAttrs (pc_attrs.h).
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "pc_attrs.h"

namespace pc {

constexpr uint32_t kNoParent = 0xFFFFFFFF;
constexpr unsigned kMaxStyleDepth = 32;

struct StyleDef {
  uint32_t kind = 0;  // 0 character, 1 paragraph, 4 list
  uint32_t parent = kNoParent;
  uint32_t word3 = 0, word4 = 0;  // word4: the outline level
  std::vector<std::array<uint32_t, 4>> items;  // the definition, up to its end item (kind 68)
};

class StyleDefs {
 public:
  virtual ~StyleDefs() = default;
  virtual bool definition(uint32_t styleId, StyleDef& def) = 0;
};

struct StyleKeyEntry {
  uint32_t id, parent, kind, word3, word4, slot;
  bool bound;
};

class StyleCache {
 public:
  // base serves blocks and font names for the definitions' items.
  StyleCache(StyleDefs& defs, AttrSource& base, uint32_t slotCount);
  // The key index of the id, a new entry when missing; -1 when the table cannot grow.
  int StyleKeyFind(uint32_t styleId);
  // The fourth word of a key entry (the outline level), -1 out of range.
  int64_t StyleKeyWord(int index) const;
  // Resolves a style; *record is valid until the next call. Unknown styles give the
  // default record.
  KVXSTATUS GatherStyle(uint32_t styleId, uint32_t context, const StyleAttrRecord** record, int* keyIndex);
  const std::vector<StyleKeyEntry>& keys() const { return keys_; }
  uint32_t slotOf(uint32_t styleId) const;

 private:
  KVXSTATUS gather(uint32_t styleId, uint32_t context, std::vector<uint32_t>& chain, StyleAttrRecord& out,
                   int* keyIndex);
  StyleAttrRecord* take_slot(uint32_t& slot);

  StyleDefs& defs_;
  AttrSource& base_;
  uint32_t slotCount_;
  uint32_t nextReuse_ = 0;
  unsigned active_ = 0;  // nested GatherStyle calls (styles applied inside definitions)
  std::vector<StyleKeyEntry> keys_;
  std::deque<StyleAttrRecord> slots_;  // grown as slots are first taken; records never move
  std::vector<bool> valid_;
  StyleAttrRecord default_;
};

}  // namespace pc
