// Elements, paragraphs and aligned blocks of the HTML writer (see pc_blocks.h).
#include "pc_blocks.h"

#include "pc_structure.h"

namespace pc {

void BeginElement(uint32_t flags, WriterState& s) {
  if (s.depth++ > 0) return;
  s.depth = 1;
  s.suppressOutput = flags & 2;
  s.noAnchors = flags & 4;
  s.pendingSpace = 0;
  s.pendingLines = 0;
  s.lineLength = 0;
  s.indent = 0;
  s.openCodes = 0;
  s.wantedCodes = 0;
  s.pendingAnchors.clear();
  s.pendingLinks.clear();
  s.paraPending = s.paraOpen = false;
  s.headingLevel = s.openHeading = 0;
  s.alignment = 1;
  s.spaceBefore = s.spaceAfter = 0;
  s.alignedBlocks.clear();
  s.fontWanted = s.fontOpen = WriterState::FontTag{};
  s.fontTagOpen = false;
  s.styleFlags = 0;
  s.lineUnit = kDefaultLineUnit;
}

KVXSTATUS EndElement(WriterState& s) {
  if (s.depth <= 0) return kStatusNoElement;
  if (--s.depth > 0) return KVX_OK;
  uint32_t status = 0;
  CloseFormatting(status, s);
  WritePendingLinks(status, s);
  ClosePendingLinks(true, true, status, s);
  WritePendingAnchors(true, status, s);
  EndParagraph(status, s);
  while (!s.alignedBlocks.empty()) EndAlignedBlock(status, s);
  EmitLineBreak(status, s);
  return status;
}

void BeginParagraph(int level, int alignment, uint32_t before, uint32_t after, WriterState& s) {
  s.paraPending = true;
  s.headingLevel = level > 0 && level <= 6 ? level : 0;
  s.alignment = alignment;
  s.spaceBefore = before;
  s.spaceAfter = after;
}

void StartParagraph(uint32_t& status, WriterState& s) {
  s.paraPending = false;
  uint32_t space = s.pendingSpace + s.spaceBefore;
  s.pendingSpace = 0;
  if (space) EmitSpace(space, 0, true, status, s);
  bool open = s.headingLevel > 0 && TagAllowed(149, s.flavour)
                  ? EmitTagNumber(true, "<%s%d", s.headingLevel, 149, status, s)
                  : EmitTag(true, "<%s", 27, status, s);
  s.openHeading = s.headingLevel > 0 && TagAllowed(149, s.flavour) ? s.headingLevel : 0;
  if (!open) return;
  if (!TagAllowed(132, s.flavour)) {
    if (s.alignment == 2) EmitTag(true, " %s\"RIGHT\"", 26, status, s);
    else if (s.alignment == 3) EmitTag(true, " %s", 23, status, s);
    else if (s.alignment == 4) EmitTag(true, " %s", 25, status, s);
  }
  EmitRaw(">", status, s);
  s.paraOpen = true;
  if (s.firstIndent > 0 && !TagAllowed(118, s.flavour)) EmitSpace(0, s.firstIndent, false, status, s);
  s.firstIndent = 0;
}

void EndParagraph(uint32_t& status, WriterState& s) {
  s.paraPending = false;
  if (!s.paraOpen) return;
  CloseFormatting(status, s);
  ClosePendingLinks(false, true, status, s);  // a link never spans a paragraph end
  if (s.openHeading > 0)
    EmitTagNumber(false, "<%s%d>", s.openHeading, 149, status, s);
  else
    EmitTag(false, "<%s>", 24, status, s);
  s.paraOpen = false;
  s.openHeading = 0;
  s.pendingSpace += s.spaceAfter;
  FlushPendingLines(status, s);
  EmitLineBreak(status, s);
}

namespace {

// A side of the border block (word 1 top, 11 bottom) that draws a line: its width in
// twips, else 0.
uint32_t side_width(const ParaAttrRecord& p, unsigned word) {
  if (!(p.flags & 0x100) || p.borders[word + 2] == 1) return 0;
  return p.borders[word];
}

void rule(uint32_t width, uint32_t& status, WriterState& s) {
  int pixels = int((width + 10) / 20);
  WriteRuleSized(pixels < 1 ? 1 : pixels, status, s);
}

}  // namespace

void BorderGroupParagraph(const ParaAttrRecord& p, bool same, uint32_t& status, WriterState& s, BorderGroup& g) {
  if (TagAllowed(122, s.flavour)) return;
  uint32_t top = side_width(p, 1), bottom = side_width(p, 11);
  bool bordered = top != 0 || bottom != 0;
  if (g.open && bordered && same) {
    g.spaceAfter = (p.flags & 0x4) ? p.spaceAfter : 0;
    return;  // the group goes on: no rule between its paragraphs
  }
  BorderGroupEnd(status, s, g);
  if (!bordered) return;
  g.open = true;
  g.bottomWidth = bottom;
  g.bottomSpacing = p.borders[14];
  g.spaceAfter = (p.flags & 0x4) ? p.spaceAfter : 0;
  if (top == 0) return;
  s.pendingSpace += p.borders[4];
  if (!TagAllowed(114, s.flavour) && (p.flags & 0x2)) {
    s.pendingSpace += p.spaceBefore;
    s.spaceBefore = 0;  // said before the rule, not again after it
  }
  rule(top, status, s);
}

void BorderGroupEnd(uint32_t& status, WriterState& s, BorderGroup& g) {
  if (!g.open) return;
  g.open = false;
  if (g.bottomWidth == 0) return;
  s.pendingSpace += g.bottomSpacing;
  if (!TagAllowed(115, s.flavour)) s.pendingSpace += g.spaceAfter;
  rule(g.bottomWidth, status, s);
}

void WriteParagraphText(const char* text, uint32_t& status, WriterState& s) {
  if (s.paraPending && !s.paraOpen) {
    CloseFormatting(status, s);
    StartParagraph(status, s);
  }
  FlushPendingFormat(status, s);
  WriteText8(text, status, s);
}

void StartAlignedBlock(int alignment, uint32_t& status, WriterState& s) {
  unsigned entry = 0;
  if (alignment == 3 && !FeatureOn(s.flavour, kFAlignDiv)) {
    if (EmitTag(true, "<%s>", 74, status, s)) entry = 74;
  } else if (EmitTag(true, "<%s", 71, status, s)) {
    entry = 71;
    const char* format = alignment == 2 ? " %s\"RIGHT\"" : alignment == 3 ? " %s\"CENTER\"" : " %s\"LEFT\"";
    EmitTag(true, format, 72, status, s);
    EmitRaw(">", status, s);
  }
  s.alignedBlocks.push_back(entry);
}

void EndAlignedBlock(uint32_t& status, WriterState& s) {
  if (s.alignedBlocks.empty()) return;
  unsigned entry = s.alignedBlocks.back();
  s.alignedBlocks.pop_back();
  if (entry == 0) return;
  EmitTag(false, "<%s>", entry, status, s);
  EmitLineBreak(status, s);
}

}  // namespace pc
