// The HTML writer of one export as the engine and the element converters hold it: the
// writer state (pc_markup.h) with its lifecycle (start at export open, configure at the
// run, finish with the style sheet, stop at close), the table of style classes that the
// style sheet is written from, and the class and span writers that put CLASS= and STYLE=
// on paragraphs and runs in the CSS flavours. Builds on the character side (pc_chars.h)
// and the CSS property writer (pc_css.h); the engine (pc_engine.cpp) owns one HtmlWriter
// per export, the element converters call the rest.
//
// How an element converter drives it, in order:
//   BeginElement (pc_structure.h) ... then for each paragraph: WriteClassTag (open) or
//   BeginParagraph/StartParagraph; WriteParaStyleAttr on the open tag in CSS flavours;
//   per run: OpenRunSpan ... text ... CloseRunSpan; EndParagraph; EndElement.
//   Styles met in the document are registered with AddStyleClass (the engine's style
//   sheet then has a rule for each style whose use count is above 0: StyleCountUse).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pc_attrs.h"
#include "pc_css.h"

namespace pc {

constexpr uint32_t kNoStyleId = 0xFFFFFFFFu;
constexpr KVXSTATUS kStatusNoStyle = 18;
constexpr KVXSTATUS kStatusNoMemory = 13;

struct HtmlWriter {
  WriterState s;
  std::vector<StyleClass> classes;  // entry 0: the default style
  bool useClasses = false;          // CLASS= may be written (the style-sheet mode)
  // The character state of the open spans; record 0 is the paragraph's base.
  std::vector<CharAttrRecord> spanStack{CharAttrRecord{}};
  CharAttrRecord current;           // the character state the document wants now
  ParaAttrRecord paraBase;          // the paragraph state before its own attributes
  uint32_t paraStyle = kNoStyleId;  // the current paragraph's style (else the fallback)
  uint32_t fallbackStyle = kNoStyleId;
  bool inTable = false, inList = false, inListMarker = false;
  int headingLevel = 0;
  // The bookmark position kept by SaveBookmark.
  struct Bookmark {
    bool saved = false;
    uint16_t lineLength = 0;
    uint32_t pendingSpace = 0;
    int16_t pendingLines = 0;
    size_t anchors = 0, links = 0;
  } bookmark;
};

// At export open: an empty class table with the default style (id -1, named
// "Normal") as its first entry, the span stack with its base record, staging room.
KVXSTATUS StartWriter(HtmlWriter& w);
// At the start of the run: ConfigureWriter (pc_chars.h) plus the default face of option
// 35; *useClasses is the style-sheet mode.
KVXSTATUS ConfigureHtmlWriter(uint32_t outputCharset, uint16_t outputKind, HtmlWriter& w, bool* useClasses);
// At the end of the run: with kind 1 the style sheet (the style block) is written into
// output, in UTF-8 when the export's output is 16-bit and the flavour is in F15.
KVXSTATUS FinishWriter(int kind, KVXIO* output, HtmlWriter& w);
// The output kind the style sheet is written in: UTF-8 in place of a 16-bit output kind
// in F15 flavours, else the export's.
uint16_t StyleSheetKind(const HtmlWriter& w);
// Releases the table, the stacks and the staging text.
void StopWriter(HtmlWriter& w);

// Registers a style class (nothing when the id is there already). An unnamed style
// ("UnnamedStyle...") whose parent and records equal a registered unnamed one becomes
// its alias. *index gets the entry.
KVXSTATUS AddStyleClass(HtmlWriter& w, uint32_t styleId, uint32_t parent, const std::u16string& name,
                        const StyleAttrRecord& record, int* index);
// The entry of a style id; -1 and status 18 when there is none (nothing when status is
// already nonzero).
int StyleFind(const HtmlWriter& w, uint32_t styleId, uint32_t& status);
// Counts one use for the entry that stands for the style (through its alias).
void StyleCountUse(HtmlWriter& w, uint32_t styleId, uint32_t& status);

// Opens (parents first) or closes (innermost first) the element of a style with CLASS=:
// tag entries 27 "P", 149 "H", 71 "DIV", 76 "SPAN"; a style with a parent turns P and H
// into DIV, or SPAN in a table when paragraph STYLE= (entry 132) is not allowed. Closing
// P (entry 24) closes only the parents. keepOpen leaves the last tag without ">".
void WriteClassTag(uint32_t styleId, unsigned tag, bool open, bool keepOpen, uint32_t& status, HtmlWriter& w);

// At a run boundary: a SPAN with the paragraph style's class and the properties of the
// run that differ from the paragraph style, when any differ from the previous run; the
// run's state is pushed. Nothing when nothing changed.
void OpenRunSpan(const CharAttrRecord& run, uint32_t& status, HtmlWriter& w);
// Closes the top span when its state differs from the one below (or force): 1 when closed.
int CloseRunSpan(bool force, uint32_t& status, HtmlWriter& w);
// The paragraph's own properties that differ from its style, as STYLE= on the open tag;
// a pending vertical space is added to the space before and consumed.
void WriteParaStyleAttr(const ParaAttrRecord& para, uint32_t& status, HtmlWriter& w);

// Writes the character properties of a table entry that are set, in the fixed order
// (bold, italic, strike-through, the underlines, sub- and superscript, the cases, small
// capitals, attributes 19 and 20, hidden, vertical offset, size, colour, background,
// face): a property the flavour expresses by the SPAN class only when force is set,
// others through the writer's setters (pc_chars.h). With on false the values are the
// "off" ones (size 240, background white, no face). Stops at a nonzero status.
void WriteStyleTags(size_t entry, bool on, bool force, uint32_t& status, HtmlWriter& w);
// Applies a character style, parents first: its tags, then (outside a list marker, in
// flavours with the SPAN class) its values become the current character state, and a use
// is counted.
void ApplyCharStyle(uint32_t styleId, bool on, bool force, uint32_t& status, HtmlWriter& w);
// Applies a paragraph style: each paragraph property of the style that para does not set
// itself is copied into para; the style becomes the paragraph's style and a use is counted.
void ApplyParaStyle(uint32_t styleId, ParaAttrRecord& para, uint32_t& status, HtmlWriter& w);
// Inside a run: a SPAN with the properties of the current character state that differ
// from the top of the span stack; the state is pushed. Nothing when none differ.
void OpenChangeSpan(uint32_t& status, HtmlWriter& w);

// The character state that the setters recorded for the CSS flavours (pc_chars.h: the
// style flags with size, colour, background and face) as a character record, for the
// run spans: bold, italic, underline, strike-through, hidden, the cases, small capitals,
// size, colour, background, face.
CharAttrRecord RecordedCharState(const WriterState& s);

// Bookmark position: save and restore (argument 10; any other is 18).
KVXSTATUS SaveBookmark(int which, HtmlWriter& w);
KVXSTATUS RestoreBookmark(int which, HtmlWriter& w);

}  // namespace pc
