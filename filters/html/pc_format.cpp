// Format changes of the HTML export filter: the differing attributes of two run records
// and their hand-over to the writer's setters (pc_chars.h). Called by the body converter.
#include "pc_format.h"

#include <algorithm>

#include "pc_chars.h"

namespace pc {

namespace {

// The character codes of the toggle bits, in the order they go to the writer.
struct CodeBit {
  uint32_t bit;
  unsigned code;
};
constexpr CodeBit kCodes[] = {
    {0x1, 2},      {0x2, 3},      {0x20, 4},     {0x4, 11},     {0x8, 10},     {0x200, 9},        {0x400, 16},
    {0x800, 17},   {0x1000, 6},   {0x2000, 15},  {0x4000, 19},  {0x8000, 20},  {0x10000, 12},     {0x40, 5},
    {0x80, 13},    {0x100, 14},   {0x20000, 21}, {0x20000000, 38}, {0x40000000, 39},
};

uint16_t toggle_of(const CharAttrRecord& r, unsigned code) {
  unsigned index = 0;
  uint32_t flag = 0;
  return CharToggle(code, &index, &flag) ? r.toggles[index] : 0;
}

}  // namespace

uint32_t CharAttrChanges(const CharAttrRecord& a, const CharAttrRecord& b) {
  uint32_t either = a.flags | b.flags, out = 0;
  for (const CodeBit& c : kCodes)
    if ((either & c.bit) && toggle_of(a, c.code) != toggle_of(b, c.code)) out |= c.bit;
  auto differ = [&](uint32_t bit, bool d) {
    if ((either & bit) && d) out |= bit;
  };
  differ(0x80000000u, a.fontIds[0] != b.fontIds[0]);
  differ(0x200000, a.fontNames[0] != b.fontNames[0]);
  differ(0x40000, a.kind25 != b.kind25);
  differ(0x80000, a.fontSize != b.fontSize);
  differ(0x100000, a.colour != b.colour);
  differ(0x8000000, a.background != b.background);
  differ(0x10, a.verticalOffset != b.verticalOffset);
  return out;
}

KVXSTATUS WriteFormatChange(const CharAttrRecord& run, uint32_t changes, WriterState& s, const FontFaceOf& faceOf) {
  if (changes == 0) return KVX_OK;
  KVXSTATUS status = KVX_OK;
  if ((changes & 0x80000000u) && faceOf) SetFace(faceOf(run.fontIds[0]), s);
  for (const CodeBit& c : kCodes)
    if (changes & c.bit) SetCharAttribute(c.code, toggle_of(run, c.code), s);
  if (changes & 0x200000) {
    // Only a plain name goes into markup; any other leaves the face to the document.
    const std::u16string& name = run.fontNames[0];
    std::string face;
    if (std::all_of(name.begin(), name.end(), [](char16_t ch) { return ch >= 0x20 && ch <= 0x7E && ch != '"'; }))
      face.assign(name.begin(), name.end());
    SetFace(face, s);
  }
  if ((changes & 0x40000) && run.kind25 != 0) {
    KVXSTATUS st = SetTextCharset(run.kind25, s);
    if (status == KVX_OK) status = st;
  }
  if ((changes & 0x80000) && run.fontSize != 0) SetFontSize(run.fontSize, s);
  if (changes & 0x100000) SetColour(run.colour, s);
  if (changes & 0x8000000) SetBackground(run.background, s);
  if (changes & 0x10) SetVerticalAlign(run.verticalOffset, s);
  return status;
}

}  // namespace pc
