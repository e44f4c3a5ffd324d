// Elements and paragraphs of the HTML writer: the element bracket that resets and
// flushes the writer state, paragraphs and headings with their alignment, and aligned
// blocks (DIV or CENTER by flavour). Builds on the character side (pc_chars.h) and the
// markup primitives; called by the element converters.
#pragma once
#include <cstdint>

#include "pc_attrs.h"
#include "pc_chars.h"

namespace pc {

constexpr KVXSTATUS kStatusNoElement = 21;

// Element flags: bit 1 writes nothing, bit 2 records no anchor names.
void BeginElement(uint32_t flags, WriterState& s);
// Closes the outermost element: formatting, links, anchors, the paragraph and the line.
// 21 when no element is open; else the first status met.
KVXSTATUS EndElement(WriterState& s);

// A paragraph (heading level 0) or heading to start before the next text.
void BeginParagraph(int headingLevel, int alignment, uint32_t spaceBefore, uint32_t spaceAfter, WriterState& s);
// Writes the pending space and the start tag with its alignment.
void StartParagraph(uint32_t& status, WriterState& s);
// Closes formatting and the open paragraph or heading, then pending lines and a break.
void EndParagraph(uint32_t& status, WriterState& s);

// Paragraph borders in flavours without "border-style:" (entry 122): a sized rule before
// the first paragraph of a group of bordered paragraphs and after its last, with the
// border's spacing (and the paragraph's space before or after where the flavour has no
// margin words) as blank space around it. BorderGroupParagraph is called before each
// paragraph starts (sameAsBefore: same record, indentation and alignment as the one
// before); BorderGroupEnd after the last paragraph of the element.
struct BorderGroup {
  bool open = false;
  uint32_t bottomWidth = 0, bottomSpacing = 0, spaceAfter = 0;
};
void BorderGroupParagraph(const ParaAttrRecord& para, bool sameAsBefore, uint32_t& status, WriterState& s,
                          BorderGroup& g);
void BorderGroupEnd(uint32_t& status, WriterState& s, BorderGroup& g);

// Text with the paragraph started and the formatting brought in line first.
void WriteParagraphText(const char* text, uint32_t& status, WriterState& s);

// An aligned block (2 right, 3 centre, other left) and its end.
void StartAlignedBlock(int alignment, uint32_t& status, WriterState& s);
void EndAlignedBlock(uint32_t& status, WriterState& s);

}  // namespace pc
