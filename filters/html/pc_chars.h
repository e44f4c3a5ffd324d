// The character side of the HTML writer: the character table that turns each byte of
// 8-bit output text into what is written (references for markup characters, numeric
// references in entity mode), 8-bit text runs through it, the character codes (bold,
// italic, underline ...) with their nesting order, and the setters that choose a style
// word or a tag for a property. Builds on the markup primitives (pc_markup.h); called by
// the element converters.
#pragma once
#include <cstdint>
#include <string>

#include "pc_markup.h"

namespace pc {

// Character codes; a lower code is opened earlier and closed later.
enum CharCode : unsigned {
  kCodeIns = 4,
  kCodeDel = 5,
  kCodeSub = 7,
  kCodeSup = 8,
  kCodeBold = 9,
  kCodeItalic = 10,
  kCodeStrike = 11,
  kCodeEm = 12,
  kCodeWordUnderline = 13,
  kCodeUnderline = 14,
};

// Style properties recorded for style-sheet flavours.
constexpr uint32_t kStyleBold = 0x1, kStyleItalic = 0x2, kStyleVertical = 0x8, kStyleUnderline = 0x20,
                   kStyleStrike = 0x40000, kStyleHidden = 0x80000000u, kStyleLower = 0x400000,
                   kStyleCapitalise = 0x800000, kStyleUpper = 0x1000000, kStyleSmallCaps = 0x2000000;

// Builds the table for the state's flavour: entityMode writes bytes from 0x80 of a
// single-byte output set as "&#N;" with N the byte's Unicode code point in that set.
void BuildCharTable(WriterState& s, uint32_t outputCharset);

// Configures the writer for an export run through the state's option reader: the
// flavour (option 7; a failed read is returned), writer flags (27), no line breaks (33),
// the output set and kind, and the character table. *useClasses: whether style classes
// may be written.
KVXSTATUS ConfigureWriter(uint32_t outputCharset, uint16_t outputKind, WriterState& s, bool* useClasses);

// Vertical alignment: 0 none, negative subscript, positive superscript.
void SetVerticalAlign(int16_t value, WriterState& s);

// Writes 8-bit text through the character table; a failed write sets 47.
void WriteText8(const char* text, uint32_t& status, WriterState& s);

// Writes count 16-bit characters of the state's textCharset, mapped to the output set
// ("@" for unmappable ones): single-byte sets through the character table, double-byte
// sets as two bytes high first (iso-2022-jp with its mode escapes), Unicode as units in
// the output kind. A blank allows a line break before the next word once the line is
// longer than 67 columns.
void WriteText16(const uint16_t* text, uint32_t count, uint32_t& status, WriterState& s);

// The set of the text runs that follow: the generic ids (0, 0x00010100, 0x00020100,
// 0x00030100) stand for the set named by charsetName when there is one, else for the
// document's set; any other id for itself. The map to the output set is tried once; its
// status is returned (the set is kept only on success).
KVXSTATUS SetTextCharset(uint32_t charset, WriterState& s);

// 16-bit Unicode text through the same path.
void WriteUnicodeText(const std::u16string& text, uint32_t& status, WriterState& s);

// Anchors and links waiting to be written. Anchors are recorded only while noAnchors is 0
// and "NAME=" is allowed; links only when "HREF=" is allowed.
void AddPendingAnchor(const std::u16string& name, WriterState& s);
void AddPendingLink(const std::u16string& target, WriterState& s);
// Marks the last link to be closed.
void MarkLinkEnd(WriterState& s);
void WritePendingAnchors(bool write, uint32_t& status, WriterState& s);
void WritePendingLinks(uint32_t& status, WriterState& s);
void ClosePendingLinks(bool all, bool force, uint32_t& status, WriterState& s);
bool AnyLinkPending(const WriterState& s);

// Font setters: a style property where the flavour has the style word, else the FONT
// tag's attribute where allowed, else dropped. Sizes are twips (0: 240 once a size was
// set); colours 0x00BBGGRR.
void SetFontSize(uint32_t twips, WriterState& s);
void SetColour(uint32_t colour, WriterState& s);
void SetBackground(uint32_t colour, WriterState& s);
void SetFace(const std::string& face, WriterState& s);
// The FONT step of a size in twips (1-7).
int FontStep(uint32_t twips);

// Brings the output in line with the wanted formatting before text: on a font change or
// waiting links and anchors everything is closed and reopened (FONT outermost), else only
// the character codes from the lowest difference up.
void FlushPendingFormat(uint32_t& status, WriterState& s);
// Closes the character codes and the FONT tag (element end).
void CloseFormatting(uint32_t& status, WriterState& s);

// One document character (codes above 256) or special item (1 tab: before the
// paragraph's first text it adds 720 twips to the first-line indentation, 4-5 line breaks,
// 6 hard space, 7 hard hyphen, 9 date, 10 time; others nothing).
void WriteTextItem(uint32_t code, uint32_t& status, WriterState& s);

// "<!-- text -->", with "--" inside the text written "- -".
void WriteComment(const std::string& text, uint32_t& status, WriterState& s);

// Opens or closes the tag of one character code.
void EmitCharCode(unsigned code, bool open, uint32_t& status, WriterState& s);

// Brings the open codes in line with the wanted ones: from the lowest differing code up,
// open codes are closed from the top down and wanted ones reopened in order.
void FlushCodes(uint32_t& status, WriterState& s);

// Closes every open character code (element end).
void CloseCodes(uint32_t& status, WriterState& s);

// A character attribute (codes 2-20) on (value nonzero) or off: recorded as a style
// property where the flavour has its style word, else as a wanted tag, else dropped.
void SetCharAttribute(unsigned code, uint32_t value, WriterState& s);

}  // namespace pc
