// Attribute gathering over the export's chunker: the style definitions (identified groups
// 0xA008001C of range 16, each with its 28-byte record in range 3), attribute items,
// range-3 blocks and font names as an AttrSource, with the style cache over them; and the
// walkers and scanners of the item stream (group skipping, run and paragraph ends, the
// paragraph walker, leading attributes, text frame markers). Builds on DecodeAttrs
// (pc_attrs.h) and the style cache (pc_styles.h); the element converters call it.
//
// A style definition: a group open {0x43, 0xA008001C, style id, c} whose c is the first
// byte in range 3 of its record {kind, word 3, word 4 (outline level), parent id, 0, 0, 0}
// (u32 each, little-endian; kind 0 character, 1 paragraph, 4 list; parent -1 none); the
// group's items are the definition, up to its close.
#pragma once
#include <cstdint>
#include <string>

#include "pc_styles.h"

namespace pc {

constexpr uint32_t kNoItemId = 0xFFFFFFFFu;
constexpr uint32_t kStyleGroup = 0xA008001Cu;
constexpr uint32_t kStyleRecordBytes = 28;

class ChunkerAttrs : public AttrSource, public StyleDefs {
 public:
  explicit ChunkerAttrs(KVXHANDLE chunker, uint32_t slotCount = 200);
  bool definition(uint32_t styleId, StyleDef& def) override;
  KVXSTATUS item(uint32_t id, uint32_t words[4], uint32_t* next) override;
  KVXSTATUS block(uint32_t id, uint32_t* words, uint32_t count) override;
  KVXSTATUS style(uint32_t styleId, uint32_t context, const StyleAttrRecord** record) override;
  std::u16string fontName(uint32_t fontId) override;
  StyleCache& cache() { return cache_; }
  KVXHANDLE chunker() const { return chunker_; }

 private:
  KVXHANDLE chunker_;
  StyleCache cache_;
};

// The id after the close that matches the group whose first inner item is id (nested
// groups skipped), kNoItemId when an item cannot be read or the stream ends first. Iterative.
uint32_t SkipGroup(KVXHANDLE chunker, uint32_t id);

// The first item from first up to last that ends a run: a break of type 1, 2, 19, 20, 22
// (unless flags bit 1), a text run (7), kinds 26 and 224, a kind 24 other than 2, 4, 5,
// 12, 13; groups with bit 29 and 0x170000/0x180000 are skipped. 0 at the end of the range.
uint32_t FindParagraphEnd(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t flags);

// The walk of a paragraph: items from first to last.
struct WalkState {
  uint32_t item = kNoItemId;
  uint32_t last = kNoItemId;
  bool empty = true, hasContent = false;
  uint32_t largestFont = 0;
  int32_t left = 0, right = 0;  // positions of kind 20
  bool positions = false;
};

// The paragraph walker: decodes the paragraph's attribute items into para (and scratch
// character and frame records) up to the paragraph's end; ws.item ends at the stop item.
KVXSTATUS GatherParagraph(ChunkerAttrs& src, ParaAttrRecord& para, WalkState& ws);

// Decodes the attributes that lead a run (kinds 8-10, 25, 28, 60-65, 94, 95, 119) into
// chr; the id of the first item that is not one of them (kNoItemId at the end).
uint32_t GatherLeadingAttrs(ChunkerAttrs& src, CharAttrRecord& chr, WalkState& ws);

// The id of the first text frame marker (kind 804) from first to last whose 40-byte
// frame record (range 7, flags in its fifth word) shares a flag; kNoItemId when none.
uint32_t CUFindTextFrameId(KVXHANDLE chunker, uint32_t first, uint32_t last, uint32_t flags);

}  // namespace pc
