// Attribute decoding of the HTML writer: DecodeAttrs turns a run of attribute items of
// the chunker's item stream into the paragraph, character and frame records that the
// element converters and the style sheet read (a field counts only when its flag bit is
// set). Items, ranges, styles and font names come through an AttrSource, which the
// export fills from the chunker and the style cache and tests fill from tables.
#pragma once
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"

namespace pc {

struct CharAttrRecord {
  uint32_t flags = 0;
  uint32_t underlineDetail = 0, styleKey = 0, kind25 = 0;
  uint16_t fontSize = 0, kind62b = 0, kind62a = 0;
  uint32_t colour = 0, background = 0;
  uint16_t toggles[25] = {};
  int16_t verticalOffset = 0;
  uint16_t fontIds[5] = {};
  std::u16string fontNames[5];
  uint8_t alternativeFonts = 0;
};

struct ParaAttrRecord {
  uint32_t firstItem = 0, headingLevel = 0, flags = 0, styleKey = 0;
  uint16_t alignment = 0, kind57 = 0, lineRule = 0, beforeRule = 0, afterRule = 0;
  uint32_t lineHeight = 0, largestFont = 0, spaceBefore = 0, spaceAfter = 0;
  int16_t left = 0, right = 0, firstLine = 0;
  uint32_t kind56 = 0, extraLeft = 0, extraRight = 0;
  // Numbering (pc_numbering.h reads them): listStyleKey is the list id (a list style
  // applied, flag 0x2000); listLevel the level + 1 and listValue the numbered mark (kind
  // 93, flag 0x800); kind30 the paragraph's own number (flag 0x1000); tabs the nine-word
  // numbering record of kind 29 (flags, start value, step, ...), present with blockFlags
  // bit 0.
  uint32_t listLevelPlus1 = 0, listStyleKey = 0, listLevel = 0, listValue = 0, kind30 = 0;
  uint32_t blockFlags = 0;
  uint32_t shading[5] = {};
  uint32_t tabs[9] = {};
  uint32_t borders[26] = {};
  uint32_t kind103 = 0;
};

struct FrameAttrRecord {
  uint32_t words[11] = {};  // words 1-10 used
};

// A resolved style: its kind (0 character, 1 paragraph, 4 list), key index and records.
struct StyleAttrRecord {
  uint32_t kind = 0, keyIndex = 0;
  ParaAttrRecord para;
  CharAttrRecord chars;
};

class AttrSource {
 public:
  virtual ~AttrSource() = default;
  // The four words of item id and the id after it; a framework status on failure.
  virtual KVXSTATUS item(uint32_t id, uint32_t words[4], uint32_t* next) = 0;
  // count 32-bit words of range type 3 at id.
  virtual KVXSTATUS block(uint32_t id, uint32_t* words, uint32_t count) = 0;
  // Resolves a style in a context; the record stays valid until the next call.
  virtual KVXSTATUS style(uint32_t styleId, uint32_t context, const StyleAttrRecord** record) = 0;
  // The name of a font id (empty when unknown).
  virtual std::u16string fontName(uint32_t fontId) = 0;
};

// Index of a character attribute id (kind 8) in the toggles, with its flag; false when
// the id is not decoded.
bool CharToggle(uint32_t id, unsigned* index, uint32_t* flag);

// Decodes the item {kind, a, b, c} and the attribute items after it up to lastId
// (0xFFFFFFFF: the whole run). *next starts as the id after the item and ends at the
// first item not decoded. 0, or the status of a failed fetch, block read or style.
KVXSTATUS DecodeAttrs(AttrSource& src, ParaAttrRecord& para, CharAttrRecord& chr, FrameAttrRecord& frame,
                      const uint32_t item[4], uint32_t* next, uint32_t lastId);

}  // namespace pc
