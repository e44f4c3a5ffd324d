// The markup primitives of the HTML writer: every tag, attribute and style word goes out
// through them. They consult the flavour's tag table (pc_tags.h), format into the writer's
// staging string, keep the column count that drives line breaking at 67 columns, and hand
// the text to the output text writer (pc_writer.h). Also here: blank space emulation
// (spacer tags, non-breaking spaces and line breaks) and the date and time fields.
// Options come through the state's option reader, so a test harness can run all of it
// without the template engine.
#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "pc_tags.h"

namespace pc {

constexpr uint32_t kStatusWriteFailed = 47;
constexpr unsigned kWrapColumn = 67;
constexpr uint32_t kDefaultLineUnit = 240;  // twips of one text line

// A link waiting to be written: its target and where it stands.
struct PendingLink {
  std::u16string target;
  bool openPending = true;
  bool closePending = false;
  bool closed = false;
};

struct WriterState {
  KVXIO* output = nullptr;
  uint16_t outputKind = 0;
  Flavour flavour;
  std::string staging;  // grows to what it must hold
  uint16_t lineLength = 0;
  int16_t indent = 0;
  uint32_t noLineBreaks = 0;
  uint32_t suppressOutput = 0;
  uint32_t wrapAllowed = 0;
  uint32_t lineUnit = kDefaultLineUnit;
  uint32_t pendingSpace = 0;
  int16_t pendingLines = 0;
  // What each byte of 8-bit output text is written as (BuildCharTable).
  std::string charText[256];
  uint32_t outputCharset = 0x00080101;  // the output set (pc_charsets.h)
  uint32_t textCharset = 0x14B00000;    // the set of the text runs now written
  uint32_t noAnchors = 0;  // anchor names are not recorded
  std::u16string defaultFace = u"Arial";  // option 35: the face added after a font name
  // The set of the document (for the generic ids) and the name that stands for it when the
  // document's set is unnamed (SetTextCharset).
  uint32_t documentCharset = 0x00030100;
  std::u16string charsetName;
  // The paragraph's first-line indentation in twips, written as blank space after its
  // start tag in flavours without "text-indent:"; a tab before the first text adds 720.
  uint32_t firstIndent = 0;
  bool linkOpen = false;
  std::vector<std::u16string> pendingAnchors;
  std::vector<PendingLink> pendingLinks;
  // Tag-side font values (flavours without style words): wanted and written; -1 unset.
  struct FontTag {
    int32_t colour = -1, step = -1;
    std::string face;
    bool operator==(const FontTag&) const = default;
  } fontWanted, fontOpen;
  bool fontTagOpen = false;
  uint32_t styleSize = 0, styleColour = 0, styleBackground = 0;
  std::string styleFace;
  int16_t depth = 0;  // element nesting
  // Paragraph state: the paragraph waiting to start or open, its heading level (0 none),
  // alignment (1 left, 2 right, 3 centre, 4 justified) and space before in twips.
  bool paraPending = false, paraOpen = false;
  int headingLevel = 0, openHeading = 0, alignment = 1;
  uint32_t spaceBefore = 0, spaceAfter = 0;
  std::vector<unsigned> alignedBlocks;  // entries of the open aligned blocks
  struct ListLevel {
    unsigned entry;  // UL or OL
    int next;        // the number the next item takes unless given
  };
  std::vector<ListLevel> listStack;
  std::vector<unsigned> indentLevels;  // UL or BLOCKQUOTE per open indentation level
  uint16_t openCodes = 0;    // character codes open in the output (bit k: code k)
  uint16_t wantedCodes = 0;  // character codes the document wants
  uint32_t styleFlags = 0;   // style properties recorded for style-sheet flavours
  // Reads an export option (id, buffer, size in/out); unset: every read fails.
  std::function<KVXSTATUS(uint32_t, void*, uint32_t*)> getOption;
  // The local time for the date and time fields; unset: the system clock.
  std::function<std::tm()> clock;
  // Makes the transparent spacer picture and gives its link; unset or false: no picture.
  std::function<bool(std::string& link)> spacerPicture;
  // Flushes character formatting that waits to be written (before fields).
  std::function<void(uint32_t& status)> flushFormatting;
};

// Tag primitives: 1 when the entry is allowed and output is not suppressed (also when the
// status word already held an error, then nothing is written), else 0.
int EmitTag(bool open, const char* format, unsigned index, uint32_t& status, WriterState& s);
int EmitTagText(bool open, const char* format, const char* text, unsigned index, uint32_t& status,
                WriterState& s);
int EmitTagNumber(bool open, const char* format, long number, unsigned index, uint32_t& status,
                  WriterState& s);
int EmitTagColour(bool open, const char* format, uint32_t colour, uint32_t skip, unsigned index,
                  uint32_t& status, WriterState& s);
int EmitSizeAttrs(long height, long width, unsigned index, uint32_t& status, WriterState& s);
int EmitTagPair(const char* format, long a, long b, unsigned index, uint32_t& status, WriterState& s);

void EmitRaw(const char* text, uint32_t& status, WriterState& s);
void EmitFormatted(const char* format, uint16_t number, uint32_t& status, WriterState& s);
void EmitLineBreak(uint32_t& status, WriterState& s);
void BreakIfLong(unsigned count, uint32_t& status, WriterState& s);
void EmitNbspLine(uint32_t& status, bool withBreak, WriterState& s);
// The flavour's non-breaking space: "&nbsp;" in F23 flavours, else "&#160;".
const char* NbspText(const WriterState& s);

void EmitSpace(uint32_t vertical, uint32_t horizontal, bool reduceByLine, uint32_t& status, WriterState& s);
void FlushPendingLines(uint32_t& status, WriterState& s);

KVXSTATUS WriteDateField(WriterState& s);
KVXSTATUS WriteTimeField(WriterState& s);

}  // namespace pc
