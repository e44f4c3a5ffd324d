// Format changes of the HTML export filter: which character attributes differ between two
// run records, and the hand-over of the changed ones to the writer's setters in a fixed
// order. Builds on the run record of pc_attrs.h and the setters of pc_chars.h; the body
// converter and the list item writer call it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "pc_attrs.h"
#include "pc_state.h"

namespace pc {

// The bits of the attributes that differ between two run records; only attributes whose
// bit is set in either record are compared.
uint32_t CharAttrChanges(const CharAttrRecord& before, const CharAttrRecord& after);

// The face of a font id as it may go into markup (empty: the document's own font).
using FontFaceOf = std::function<std::string(uint16_t fontId)>;

// Hands each attribute whose bit is set in changes to the writer, in this order: the run's
// font by its id (0x80000000, through faceOf), the character codes of bits 0x1, 0x2, 0x20,
// 0x4, 0x8, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000, 0x10000, 0x40, 0x80,
// 0x100, 0x20000 and the codes 38 and 39 (bits 0x20000000, 0x40000000) with their values,
// the face (0x200000), the character set (0x40000, when not 0), the size (0x80000, when not
// 0), the colour (0x100000), the background (0x8000000) and the vertical alignment (0x10).
// Nothing happens for 0. The first nonzero status of a setter is returned.
KVXSTATUS WriteFormatChange(const CharAttrRecord& run, uint32_t changes, WriterState& s, const FontFaceOf& faceOf = {});

}  // namespace pc
