// Pictures of the HTML export: picture sections and embedded objects become picture files
// through nested exports of the framework (gfxcast answers the graphics export types),
// and the page refers to them with IMG elements. An embedded object may instead be
// offered to the host as a link (KVXCB_PROCESSLINK): the host can point the IMG element
// at its own text (action 1) or drop the object (action 2). When a conversion fails and
// the host answers KVXCB_USEDEFAULT, the placeholder picture stands in the file and the
// IMG element carries ALT="Unconverted image".
//
// Builds on the output files (pc_files.cpp), the HTML writer (pc_markup.h, pc_chars.h,
// pc_blocks.h) and the framework's DA, EX and CH calls. The element converters call the
// three functions under "For the element converters"; the EU and Html routines and
// pagecastCallback are also exported by name (extern "C" below).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "filters/common/kvx_abi.h"
#include "pc_state.h"

extern "C" {

// The caller's size record of one conversion (the nested export's callback data). Flags
// (selections only): bit 16 a width is given, bit 0 a height is given. After a successful
// nested export it holds the written picture's pixel size.
typedef struct {
  uint32_t Flags;
  uint32_t Width;
  uint32_t Height;
  KVXHANDLE Export;  // the HTML export (set by the setup routines)
} PCGRAPHICSIZE;

// One prepared conversion, in a movable block of the block layer, made by a setup routine
// and consumed (freed) by EUDoConversion.
typedef struct {
  uint32_t ExportType;   // the graphics export type of the nested export (1503 GIF, 1535 JPEG ...)
  KVXIO* Output;         // the picture file, already created; the nested export shares it
  uint16_t OpenFlags;    // objects: the object's open flags; selections: 1
  uint32_t Kind;         // 2 embedded object, 1 selection
  KVXSELECTION Selection;
  uint32_t ObjectId;     // 0xFFFFFFFF for selections
  PCGRAPHICSIZE* Size;
  int32_t Crop[4];       // percentages 0-100: left, top, right, bottom
  uint32_t ItemFlags;    // the object record's flags word; 0 for selections
  uint32_t Resolution;   // dots per inch, at most 2,400
} PCGRAPHICCONVERSION;

// The output file record HtmlExportGraphicObject reads: the 16-bit file name follows the
// first word.
typedef struct {
  uint32_t Word;
  uint16_t Name[KVXIO_NAMEMAX];
} PCPICTUREFILE;

// The IMG element of an embedded object: url is 16-bit Unicode text (host order); flags as
// the link record's (bit 1 BORDER, bits 1 and 2 HEIGHT and WIDTH); a nonzero unconverted
// adds ALT="Unconverted image". Returns 0, 47 or the status of the pending-text flush.
KVX_API KVXSTATUS HtmlExportEmbeddedObject(int32_t height, int32_t width, const KVXOBJECTITEM* object,
                                           const uint16_t* url, uint32_t flags, KVXSTATUS unconverted,
                                           void* instance);
// The IMG element of a converted picture section (BORDER="0" always, no alignment block).
KVX_API KVXSTATUS HtmlExportGraphicObject(int32_t height, int32_t width, const PCPICTUREFILE* file,
                                          KVXSTATUS unconverted, void* instance);
// Offers the object objectId (its range-0 item; object its record, linkSource the first
// words of its link-source item) to the host as a link. 0: the host answered and link
// holds its answer (the text stays held until EUCleanupAfterLink); else the host's answer
// (50 included) or the failing status. The text the host puts in link->Text: 8-bit text in
// link->CharacterSet, NUL-terminated (16-bit units high byte first for Unicode).
KVX_API KVXSTATUS EUProcessLink(uint32_t objectId, const KVXOBJECTITEM* object, const uint32_t* linkSource,
                                KVXLINKRECORD* link, void* instance);
KVX_API void EUCleanupAfterLink(void* instance);
// 0 or 13; *conversion gets the block.
KVX_API KVXSTATUS EUSetupObjectConversion(uint32_t objectId, uint32_t exportType, KVXIO* output, uint32_t unused,
                                          KVXBLOCK* conversion, PCGRAPHICSIZE* size, KVXHANDLE chunker,
                                          void* instance);
KVX_API KVXSTATUS EUSetupSelectionConversion(const KVXSELECTION* selection, uint32_t exportType, KVXIO* output,
                                             uint32_t unused, PCGRAPHICSIZE* size, KVXBLOCK* conversion,
                                             void* instance);
// Runs the nested export: its status, or 7 when it cannot be started. The block is freed
// on every path but a failed lock.
KVX_API KVXSTATUS EUDoConversion(KVXBLOCK conversion, KVXHANDLE chunker, void* instance);
// Reports the failure to the host (KVXCB_GRAPHICFAILED); on KVXCB_USEDEFAULT the
// placeholder picture of the export type is written over the file.
KVX_API void EUHandleConversionFailure(KVXHANDLE exportHandle, const PCGRAPHICCONVERSION* conversion,
                                       KVXSTATUS status);
// The nested export's callback: 279 fills the size record; 280 goes on to the HTML
// export's host (15 when the export's module data is not the HTML filter's); else 0.
KVX_API KVXSTATUS pagecastCallback(KVXHANDLE nested, void* sizeRecord, uint32_t id, void* data);

}  // extern "C"

namespace pc {

// ---- For the element converters ----------------------------------------------------------
// Where a converter meets a picture, it calls one of these with the export; the IMG
// element goes into the writer's current output (x.writer.s). Each returns the status of
// the writer or of a file it could not create; a failed conversion is not an error here
// (the placeholder and "Unconverted image" stand for it).

// The image of a picture-like section (types 4, 6, 7, 8): section is its index, width and
// height the template's WIDTH and HEIGHT (0: the picture's own). With KVXOPT_GRAPHICTYPE
// 1998 nothing is written. Writes the anchor "s<section + 1>image".
KVXSTATUS WriteSectionImage(Export& x, uint32_t section, uint32_t width, uint32_t height);

// One graphic of the body: itemId names the range-0 item of kind 0x1A, ordinal numbers
// the anchor "graphic<ordinal>". converterFlags bit 2 or elementFlags bit 31 set: the
// object is only offered as a link, never converted.
KVXSTATUS WriteGraphic(Export& x, uint32_t converterFlags, uint32_t elementFlags, uint32_t itemId,
                       uint32_t ordinal);

// Makes the export's transparent spacer picture (once per export, a GIF beside the root
// file) and gives its link; false when the file cannot be made. Installed as the writer's
// spacerPicture hook by InstallSpacerPicture.
bool SpacerPicture(Export& x, std::string& link);
void InstallSpacerPicture(Export& x);

// While set, the Html routines write only the picture's file name (a link target).
void SetPictureLinkOnly(Export& x, bool on);

// The Html routines on the writer, for the functions above and the tests.
KVXSTATUS EmbeddedObjectTag(Export& x, long height, long width, const KVXOBJECTITEM& object,
                            const std::u16string& url, uint32_t flags, KVXSTATUS unconverted);
KVXSTATUS GraphicObjectTag(Export& x, long height, long width, const std::u16string& name, KVXSTATUS unconverted);

// Border weight and width of one border word (shared with the table borders).
struct BorderDecode {
  int a, b;
};
BorderDecode DecodeObjectBorder(uint32_t word);

// Pixels of t twips at resolution dots per inch, (t x resolution + 720) / 1440 in 64 bits,
// kept within 0 .. 2^31 - 1.
uint32_t TwipsToPixels(int32_t twips, uint32_t resolution);
// A crop amount as a percentage of the natural size, clamped to 0-100 (0 when natural is 0).
int32_t CropPercent(int32_t crop, int32_t natural);

}  // namespace pc
