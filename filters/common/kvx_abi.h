/* The conversion framework's binary interface: everything that crosses between libkvx.so
 * (the framework: documents, exports, the chunker, IO objects, strings and character
 * maps), the export filters it loads (pagecast, gfxcast, test filters) and its hosts
 * (docpress, kvxrun). One header for all of them; the framework implements the functions,
 * the filters implement the Vw entry routines.
 *
 * Conventions: every framework function returns a 32-bit status, 0 = success, unless its
 * comment says otherwise. Handles (documents, exports, module data, chunkers, memory
 * blocks) are 32-bit ids, 0 = none, so they fit the 32-bit words of records; IO objects,
 * texts and buffers are pointers. */
#ifndef QM_FILTERS_KVX_ABI_H
#define QM_FILTERS_KVX_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KVX_API __attribute__((visibility("default")))

typedef int32_t KVXSTATUS;
typedef uint32_t KVXHANDLE;
typedef uint32_t KVXBLOCK;
#define KVXHANDLE_NONE 0u

/* ---- Status numbers ------------------------------------------------------------------ */
#define KVX_OK 0
#define KVXERR_OPENFAILED 7      /* a document, object or file cannot be opened */
#define KVXERR_BADHANDLE 9       /* not a live handle of the kind the call needs */
#define KVXERR_UNSUPPORTED 11    /* the call or the character set is not available */
#define KVXERR_NOMEMORY 13       /* an allocation failed */
#define KVXERR_BADPARAM 15       /* an argument is out of range, or locks left open at close */
#define KVXERR_BADFORMAT 18      /* the document is malformed beyond the part that could be read */
#define KVXERR_UNKNOWNFORMAT 19  /* neither content, extension nor KVXOPT_FALLBACKFORMAT names a format */
#define KVXERR_ENCRYPTED 20      /* the document cannot be read without a password */
#define KVXERR_NOTOOL 21         /* a library or program that the format's reader needs is missing */
#define KVXERR_NOFILTER 23       /* no export filter handles the export type */
#define KVXERR_NOITEM 25         /* the chunker has no item at that id or index */
#define KVXERR_CREATEFAILED 34   /* an output file cannot be created */
#define KVXERR_NOTFOUND 37       /* option absent, name unknown, nothing found */
#define KVXERR_BUFFERTOOSMALL 46 /* the caller's buffer cannot hold the value */
#define KVXERR_SHORTWRITE 47     /* fewer bytes written than asked */
#define KVXERR_TRUNCATED 48      /* done in part: a limit cut the document (what fits is kept, the rest is dropped) */
#define KVXIO_EOF (-9)           /* read at the end of an IO object */

/* ---- Spec types (how a document or file is named) ------------------------------------ */
#define KVXSPEC_PATH 2        /* const char*: 8-bit path, bytes taken as they are */
#define KVXSPEC_WIDEPATH 4    /* const uint16_t*: UTF-16LE path, NUL-terminated */
#define KVXSPEC_IOOBJECT 13   /* KVXIO*: an IO object, adopted (shared: each holder closes once) */
#define KVXSPEC_EMBEDDED 16   /* const KVXEMBEDDEDSPEC*: an embedded object of an export's document */
#define KVXSPEC_REDIRECT 21   /* const KVXREDIRECTSPEC*: another IO object, not adopted */
#define KVXSPEC_MEMORY 22     /* const KVXMEMORYSPEC*: bytes in memory, read-only (copied) */

#define KVXREDIRECT_MAGIC 0x10FED3F1u

typedef struct KVXIO KVXIO;

typedef struct {
  uint32_t Size;       /* sizeof(KVXMEMORYSPEC) */
  const void* Data;
  uint32_t Length;     /* bytes, without a final NUL */
} KVXMEMORYSPEC;

typedef struct {
  uint32_t Magic;      /* KVXREDIRECT_MAGIC */
  KVXIO* Object;
} KVXREDIRECTSPEC;

typedef struct {
  uint32_t Size;       /* 24 */
  KVXHANDLE Export;    /* the export whose document holds the object */
  uint32_t ObjectId;   /* index of the object in range 13 of that document */
  uint32_t Word3;      /* 0xFFFFFFFF */
  uint32_t Word4, Word5;
} KVXEMBEDDEDSPEC;

/* ---- IO objects ---------------------------------------------------------------------- */
/* An IO object begins with its routines in this order. Read answers KVXIO_EOF when no byte
 * is left; Write answers KVXERR_SHORTWRITE when fewer bytes went out. Seek origin: 0 start,
 * 1 current, 2 end. */
#define KVXIO_SEEK_SET 0
#define KVXIO_SEEK_CUR 1
#define KVXIO_SEEK_END 2

/* GetInfo ids: the out argument points to the given type. */
#define KVXIOINFO_FILENAME 3     /* char[KVXIO_NAMEMAX], or uint16_t[KVXIO_NAMEMAX] for spec 4 */
#define KVXIOINFO_SIZE 11        /* uint32_t */
#define KVXIOINFO_SPECTYPE 14    /* uint32_t */
#define KVXIOINFO_RELATIVESPEC 15 /* the name's last component, in the form of id 3 */
#define KVXIO_NAMEMAX 2048

struct KVXIO {
  KVXSTATUS (*Close)(KVXIO* io);
  KVXSTATUS (*Read)(KVXIO* io, void* buffer, uint32_t count, uint32_t* got);
  KVXSTATUS (*Write)(KVXIO* io, const void* buffer, uint32_t count, uint32_t* written);
  KVXSTATUS (*Seek)(KVXIO* io, uint32_t origin, int32_t offset);
  KVXSTATUS (*Tell)(KVXIO* io, uint32_t* position);
  KVXSTATUS (*GetInfo)(KVXIO* io, uint32_t id, void* out);
};

/* IOCreate modes: any mode creates (or empties) the file for reading and writing. */
#define KVXIO_CREATE 2
#define KVXIO_CREATE_READWRITE 3

/* IOOpen flags: KVXIO_OPEN_REGULAR refuses a path that names anything but a regular file
   (a device such as /dev/zero, a FIFO, a socket), without waiting at a FIFO; other spec
   types are not paths and open as without it. */
#define KVXIO_OPEN_REGULAR 1

KVX_API KVXSTATUS IOOpen(KVXIO** out, uint32_t specType, const void* spec, uint32_t flags);
KVX_API KVXSTATUS IOCreate(KVXIO** out, uint32_t specType, const void* spec, uint32_t mode);

/* ---- Export types, options and callbacks --------------------------------------------- */
#define KVXEXPORT_HTML 1101
#define KVXEXPORT_BMP 1500
#define KVXEXPORT_TIFF 1501
#define KVXEXPORT_GIF 1503
#define KVXEXPORT_JPEG 1535
#define KVXEXPORT_NONE 1998

#define KVXOPT_CHARSET 1
#define KVXOPT_FALLBACKFORMAT 2
#define KVXOPT_TEMPLATE 3
#define KVXOPT_GRAPHICWIDTH 4
#define KVXOPT_GRAPHICHEIGHT 5
#define KVXOPT_GRAPHICTYPE 6
#define KVXOPT_FLAVOR 7
#define KVXOPT_GRAPHICRECT 8
#define KVXOPT_FIELDFLAGS 15
#define KVXOPT_16 16
#define KVXOPT_GIFINTERLACE 17
#define KVXOPT_JPEGQUALITY 18
#define KVXOPT_19 19
#define KVXOPT_TIFF20 20
#define KVXOPT_TIFF21 21
#define KVXOPT_TIFF22 22
#define KVXOPT_TIFF23 23
#define KVXOPT_TIFF24 24
#define KVXOPT_25 25
#define KVXOPT_26 26
#define KVXOPT_WRITERFLAGS 27
#define KVXOPT_28 28
#define KVXOPT_FALLBACKPICTURE 29
#define KVXOPT_30 30
#define KVXOPT_CHARBYTEORDER 31
#define KVXOPT_ROOTFILECALLBACK 32
#define KVXOPT_33 33
#define KVXOPT_34 34
#define KVXOPT_35 35
#define KVXOPT_CHILDTIMEOUT 36 /* uint32_t ms: time limit of the readers' children (antiword, catppt); 30000 */
#define KVXOPT_337890 337890
#define KVXOPT_DATEFORMATS 338483
#define KVXOPT_NUMBERFORMATS 338681

/* Options the framework answers itself while they are not set. */
#define KVXDEFAULT_CHARSET 0x000B000Bu      /* UTF-8 */
#define KVXDEFAULT_GRAPHICTYPE KVXEXPORT_GIF
#define KVXDEFAULT_FLAVOR 11

/* The locale record of KVXOPT_NUMBERFORMATS (32 bytes; the framework answers English). */
typedef struct {
  char DecimalSeparator;
  char ThousandsSeparator;
  char DateSeparator;
  char TimeSeparator;
  char Currency[8];
  char Morning[8];
  char Afternoon[8];
  uint8_t CurrencyPlacement; /* bit 0 symbol first, bit 1 blank between */
  uint8_t Unused;
  uint16_t DateOrder;        /* 0 month day year, 1 day month year, 2 year month day */
} KVXNUMBERFORMATS;

#define KVXCB_USEDEFAULT 50
#define KVXCB_CREATEFILE 256
#define KVXCB_FILECREATED 257
#define KVXCB_EXPORTSTART 258
#define KVXCB_HOSTELEMENT 259
#define KVXCB_BEFORETEXT 260
#define KVXCB_ELEMENTTEXT 261
#define KVXCB_PROCESSLINK 262
#define KVXCB_GRAPHICDONE 279
#define KVXCB_GRAPHICFAILED 280

/* A host's callback: (export, the host's data word given to EXOpenExport, callback id,
 * callback data) -> answer. */
typedef KVXSTATUS (*KVXCALLBACK)(KVXHANDLE exportHandle, void* hostData, uint32_t id, void* data);

/* Callback data that filters hand to hosts. */
typedef struct { /* KVXCB_CREATEFILE, KVXCB_FILECREATED */
  KVXIO* ReferringFile;  /* null for the root file */
  uint32_t ExportType;
  uint32_t FileKind;     /* 516 root file, 513 a file made for a link, include or content */
  uint32_t ContentType;  /* 1101 .htm, 1142 .css, 1503 .gif, 1535 .jpg, 1528 .cgm, 4000 .txt */
  uint32_t NamingState;  /* 3 when the filter named the file itself */
  uint32_t SpecType;
  void* Spec;            /* the path to create; the host fills it when it names the file */
  void* NameRecord;      /* u16 0x0808 (8-bit) or 0x1008 (16-bit names), u16 0, the name, u32 number */
  const void* TemplateName; /* the open template's file name in the name record's text form, null when none */
} KVXFILEREQUEST;

typedef struct { /* KVXCB_GRAPHICFAILED */
  KVXIO* Output;
  uint32_t* Width;
  uint32_t* Height;
  uint32_t ExportType;
  KVXSTATUS Status;
} KVXGRAPHICFAILURE;

typedef struct { /* KVXCB_GRAPHICDONE */
  uint32_t Width;
  uint32_t Height;
} KVXGRAPHICDONE;

typedef struct { /* KVXCB_PROCESSLINK */
  void* Text;            /* in a 2,048-byte block of the export, unless the host replaces it */
  uint32_t CharacterSet;
  uint32_t FileId;       /* 1998: the object cannot be opened; 1999: unknown */
  uint32_t Action;       /* set by a host answering 0: 1 refer to the link, 2 drop the object */
  uint32_t Flags;        /* bit 0 convert the text, bit 1 BORDER, bit 2 HEIGHT and WIDTH */
} KVXLINKRECORD;

typedef struct { /* KVXCB_BEFORETEXT */
  uint32_t Size;         /* 24 */
  uint32_t ElementId;
  uint32_t Word;
  uint32_t Position;     /* 0x0FFFFFFF when unknown */
  uint32_t Length;       /* 16-bit characters */
  int32_t PositionKnown; /* 0, or -1 when the position cannot be read */
} KVXBEFORETEXT;

typedef struct { /* KVXCB_HOSTELEMENT */
  KVXIO* File;
  const void* Text;      /* 8-bit, or 16-bit with wide names */
} KVXHOSTELEMENT;

typedef struct { /* KVXCB_ELEMENTTEXT */
  KVXIO* File;
  const void* Text;
  const void* End;       /* after the terminating NUL */
} KVXELEMENTTEXT;

/* The selection handed to EXOpenExport (the filter's information record): three words;
 * the low 16 bits of the third (byte 8) is a section number. */
typedef struct {
  uint32_t Words[3];
} KVXSELECTION;

/* ---- Character sets ------------------------------------------------------------------ */
#define KVXCS_ASCII 0x00030100u     /* generic 8-bit ids (0 too): resolve to CP1252 */
#define KVXCS_GENERIC1 0x00010100u
#define KVXCS_GENERIC2 0x00020100u
#define KVXCS_CP1252 0x14E40100u
#define KVXCS_BIG5 0x13B60000u      /* glibc's CP950; a character is lead << 8 | trail */
#define KVXCS_UNICODE 0x14B00000u   /* 16-bit Unicode */
#define KVXCS_UTF8 0x000B000Bu

/* The descriptor of UTCreateMap (416 bytes). */
typedef struct {
  uint16_t Size;         /* 416 */
  uint16_t Replacement;  /* character given for one that does not map */
  uint16_t Word2;        /* 1 */
  uint32_t Word3;        /* 0 */
  uint32_t Source;       /* set ids */
  uint32_t Target;
  uint8_t Reserved[396];
} KVXCHARMAPREQUEST;

/* A map: its first 16-bit word is the page (c & 0xFF00) whose 256 entries are loaded in
 * Page (each entry as UTMapCharRtn's result); then the framework's own fields. */
typedef struct {
  uint16_t LoadedPage;
  uint16_t Pad;
  uint32_t Page[256];
} KVXCHARMAP;

/* ---- Chunker ------------------------------------------------------------------------- */
/* A document is a set of ranges. Range 0 is the main item stream: items of four 32-bit
 * words {kind, a, b, c} with ids chunk << 16 | index (a new chunk at every section and every
 * 65,536 items). The other ranges are arrays of units addressed by index; CHGetItem copies
 * one unit, CHGetItems any number of bytes from a unit on, CHLockItemRange lends a pointer. */
#define KVXRANGE_ITEMS 0       /* 16-byte items */
#define KVXRANGE_SECTIONS 1    /* 24-byte KVXSECTIONRECORD */
#define KVXRANGE_TEXT 2        /* 16-bit text units */
#define KVXRANGE_RECORDS 3     /* bytes: style, list-level, tab and id records */
#define KVXRANGE_FRAMES 7      /* 40-byte frame records */
#define KVXRANGE_NAMES 9       /* 16-bit text units of names */
#define KVXRANGE_ROWS 10       /* 16-byte row items */
#define KVXRANGE_CELLS 11      /* 16-byte cell items */
#define KVXRANGE_FONTS 12      /* 20-byte font items {kind, a, b, c, d} */
#define KVXRANGE_OBJECTS 13    /* 136-byte object records (KVXOBJECTITEM) */
#define KVXRANGE_NESTING 14    /* 16-byte items: kind 16 open, 17 close, word 3 position */
#define KVXRANGE_CELLRANGES 15 /* 16-byte {first item id, first cell, cell count, 0} */
#define KVXRANGE_GROUPS 16     /* 12-byte {item id, group code, id} of identified groups */
#define KVXRANGE_VALUES 17     /* 16-byte data values */
#define KVXRANGE_COUNT 18

/* Item kinds the framework itself builds. */
#define KVXITEM_BREAK 0
#define KVXITEM_TEXT 7         /* a = character set, b = first unit in range 2, c = count */
#define KVXITEM_CHARATTR 8     /* a = attribute (KVXATTR_*), b = 1 on, 0 off */
#define KVXITEM_DOCCHARSET 0x19 /* a = the source's character set (Big5 sources) */
#define KVXITEM_TABLESTART 0x10
#define KVXITEM_TABLEEND 0x11
#define KVXITEM_FIELD 0x1F     /* a = 10: numbering field */
#define KVXITEM_FOOTNOTE 0x2C
#define KVXITEM_GROUPOPEN 0x43 /* a = group code, b = group's id word */
#define KVXITEM_GROUPCLOSE 0x44
#define KVXITEM_CELL 0x46
#define KVXITEM_DATAVALUE 0xE0 /* a = unit in range 17 */
#define KVXITEM_STRING 0x5A    /* a = string id */

/* Character attributes of KVXITEM_CHARATTR. */
#define KVXATTR_BOLD 2
#define KVXATTR_ITALIC 3
#define KVXATTR_UNDERLINE 4
#define KVXATTR_SUBSCRIPT 10
#define KVXATTR_SUPERSCRIPT 11
#define KVXATTR_STRIKE 12

#define KVXBREAK_PARAGRAPH 1
#define KVXBREAK_ROW 0x13
#define KVXBREAK_CELL 0x14
#define KVXBREAK_LINE 0x16
#define KVXBREAK_PAGE 0x17     /* a page ends (PDF, PGX) */

#define KVXGROUP_STYLE 0xA008001Cu
#define KVXGROUP_PICTURE 0xA0150000u
#define KVXGROUP_BOOKMARK 0x20000002u
#define KVXGROUP_HYPERLINK 0x20000001u

/* Section types (the template's section words). */
#define KVXSECTION_WP 0
#define KVXSECTION_SS 1
#define KVXSECTION_DB 2
#define KVXSECTION_BM 4
#define KVXSECTION_AR 5
#define KVXSECTION_DR 6
#define KVXSECTION_PR 7
#define KVXSECTION_CH 8

/* Range 13: an embedded object or picture. An object is named by the id of its range-0
 * item (kind 0x1A), whose word a is the index of this record. */
#define KVXITEM_GRAPHIC 0x1A
typedef struct {
  uint32_t GraphicType;   /* 0x00 */
  uint32_t DataFirst;     /* 0x04: the object's bytes start here in range 3 */
  uint8_t LinkText;       /* 0x08: bit 0 set: the object has link text */
  uint8_t Pad1[3];
  uint16_t OpenFlags;     /* 0x0C: handed to DAOpenDocument */
  uint16_t Pad2;
  int32_t NaturalHeight;  /* 0x10, twips */
  int32_t NaturalWidth;   /* 0x14 */
  int32_t Crop[4];        /* 0x18: vertical, horizontal, vertical, horizontal */
  int32_t DisplayHeight;  /* 0x28 */
  int32_t DisplayWidth;   /* 0x2C */
  uint32_t DataLength;    /* 0x30: bytes in range 3 */
  uint32_t Pad3;
  uint32_t BorderA;       /* 0x38 */
  uint32_t Pad4[4];
  uint32_t BorderB;       /* 0x4C */
  uint32_t Pad5[12];
  uint32_t Flags;         /* 0x80: bit 2 set: no usable size for a link */
  uint32_t LinkSource;    /* 0x84: item holding the object's link source */
} KVXOBJECTITEM;

/* Picture content. A bitmap picture is a section of type KVXSECTION_BM whose items are:
 * a palette {KVXITEM_BMPALETTE, first unit in range 8, entry count, 0} (optional); the
 * header {KVXITEM_BMHEADER, unit in range 4, bits per pixel | palette size << 16, flags};
 * a transparency item {KVXITEM_BMTRANSPARENCY, colour 0x00BBGGRR or index, first unit in
 * range 8 of its palette, its entry count} (optional); then its pixel bands
 * {KVXITEM_BMBAND, first unit in range 5, band width, band rows}, each band's rows padded
 * to 4 bytes and followed by its mask rows when the header asks for a mask; an item of
 * kind 0 ends the picture. A drawing is a section of type KVXSECTION_DR (or 7, 8) whose
 * item {KVXITEM_DRAWFRAME, first unit in range 6, flags, mode} names its frame: two units
 * {x1, y1, x2, y2} and {horizontal units per inch, vertical units per inch, 0, 0}, then a
 * display list of units until one of operation 0 (KVXDRAWOP_*). */
#define KVXITEM_BMPALETTE 2
#define KVXITEM_BMHEADER 3
#define KVXITEM_BMBAND 4
#define KVXITEM_DRAWFRAME 5
#define KVXITEM_BMTRANSPARENCY 0xA9
#define KVXRANGE_BMHEADERS 4   /* 16-byte {width, height, horizontal, vertical units per inch} */
#define KVXRANGE_PIXELS 5      /* 16-byte units of row bytes */
#define KVXRANGE_DRAWINGS 6    /* 16-byte frame and display-list units */
#define KVXRANGE_PALETTES 8    /* 16-byte units of four 32-bit colours, red in the low byte */

/* Bitmap header flags. */
#define KVXBM_BILEVEL 0x0001u     /* 1 bit, set = white (black with KVXBM_INVERSE) */
#define KVXBM_INVERSE 0x0002u
#define KVXBM_GRAY 0x0004u
#define KVXBM_BOTTOMUP 0x0008u    /* the bands hold the bottom row first */
#define KVXBM_MASK8 0x0100u       /* transparency by an 8-bit mask behind each band */
#define KVXBM_MASK24 0x0200u      /* transparency by a 24-bit mask behind each band */
#define KVXBM_BRIGHTNESS 0x0400u  /* by brightness through the transparency item's palette */
#define KVXBM_TRCOLOUR 0x0800u    /* one colour, in the transparency item */
#define KVXBM_TRINDEX 0x1000u     /* one palette index, in the transparency item */
#define KVXBM_INVTHRESHOLD 0x2000u /* transparent at or below 127 instead of at or above 128 */

/* Drawing frame flags and display-list operations. */
#define KVXDRAW_TRANSPARENT 0x10000000u /* white is see-through (with a mode other than 1) */
#define KVXDRAWOP_END 0
#define KVXDRAWOP_RECT 1       /* {1, colour 0x00BBGGRR, left | top << 16, right | bottom << 16} */
#define KVXDRAWOP_GRADIENT 2   /* {2, from colour, to colour, 0 left to right | 1 top to bottom}, then
                                * {left, top, right, bottom} */

/* Range 1: one record per section. */
typedef struct {
  uint32_t Type;       /* section type (low 16 bits) */
  uint32_t NameUnit;   /* first unit of the name in range 9, 0xFFFFFFFF none */
  uint32_t NameLength; /* units */
  uint32_t FirstItem;  /* id of the section's first item in range 0 */
  uint32_t DateBase;   /* sheets: Julian day number of serial 0 (0 elsewhere) */
  uint32_t DateFlags;  /* sheets: bit 0 = the 1900 leap-day correction */
} KVXSECTIONRECORD;

/* CHGetSectionInfo. */
typedef struct {
  uint32_t Type;
  uint32_t FirstItem;
  uint32_t LastItem;
  uint32_t Section;
  uint32_t ItemCount;
  uint32_t CharacterSet; /* the set of the section's first text run, 0 when none */
} KVXSECTIONINFO;

/* File ids (DAGetFileId, CHGetFilter; KVXOPT_FALLBACKFORMAT takes KVXFI_TEXT). A format
 * that is recognised but has no reader yet answers KVXERR_UNSUPPORTED at DAGetHChunker. */
#define KVXFI_CHUNKSCRIPT 1200
#define KVXFI_TEXT 4012
#define KVXFI_HTML 4013
#define KVXFI_RTF 4014
#define KVXFI_PDF 4015
#define KVXFI_PGX 4016
#define KVXFI_DOC 4017       /* OLE2 with a WordDocument stream */
#define KVXFI_XLS 4018       /* OLE2 with a Workbook or Book stream */
#define KVXFI_PPT 4019       /* OLE2 with a PowerPoint Document stream */
#define KVXFI_DOCX 4020
#define KVXFI_XLSX 4021
#define KVXFI_PPTX 4022
#define KVXFI_ODT 4023
#define KVXFI_ODS 4024
#define KVXFI_ODP 4025
#define KVXFI_UNKNOWN 1999

/* Object locator (DAGetObjectLocator). */
#define KVXLOCATOR_EMBEDDED 0x4000
typedef struct {
  uint16_t GraphicType;
  uint16_t Pad;
  uint32_t Kind;       /* KVXLOCATOR_EMBEDDED for an object opened by spec 16, else 0 */
  uint32_t Id;         /* the object's id */
} KVXOBJECTLOCATOR;

/* ---- Documents, options and module data (kvxda) -------------------------------------- */
KVX_API KVXSTATUS DAInit(void);
KVX_API KVXSTATUS DADeInit(void);
KVX_API KVXSTATUS DAOpenDocument(KVXHANDLE* out, uint32_t specType, const void* spec, uint32_t flags);
KVX_API KVXSTATUS DACloseDocument(KVXHANDLE document);
/* Checks that handle (a document, export or module data) is live. */
KVX_API KVXSTATUS DAPreOpenDocument(KVXHANDLE handle);
/* The document behind a handle: itself for a document, an export's document (which may be
 * an export handle itself), a module data's owner resolved the same way. */
KVX_API KVXSTATUS DARetrieveDocHandle(KVXHANDLE handle, KVXHANDLE* document);
KVX_API KVXSTATUS DAGetHChunker(KVXHANDLE handle, KVXHANDLE* chunker);
KVX_API KVXSTATUS DAGetHFile(KVXHANDLE handle, KVXIO** file);
KVX_API KVXSTATUS DAGetFileId(KVXHANDLE handle, uint32_t* fileId);
KVX_API KVXSTATUS DAGetSelection(KVXHANDLE handle, KVXSELECTION* selection);
KVX_API KVXSTATUS DAGetOLEObject(KVXHANDLE handle, void** object); /* always KVXERR_UNSUPPORTED */
KVX_API KVXSTATUS DAGetObjectLocator(KVXHANDLE handle, KVXOBJECTLOCATOR* locator);
/* The status for an exception code met inside a filter (returned, not a status word). */
KVX_API KVXSTATUS DAGetExceptionError(uint32_t exceptionCode);
/* 0 and the value written, *size set to its length; KVXERR_NOTFOUND (absent) or
 * KVXERR_BUFFERTOOSMALL leave the buffer untouched. */
KVX_API KVXSTATUS DAGetOption(KVXHANDLE handle, uint32_t id, void* buffer, uint32_t* size);
KVX_API KVXSTATUS DASetOption(KVXHANDLE handle, uint32_t id, const void* value, uint32_t size);
/* Module data: a zero-filled block of size bytes whose first word is kind, owned by a
 * document or export handle and answering the document calls for its owner. Locking an
 * owner's handle locks the first module data it owns. */
KVX_API KVXSTATUS DACreateModuleData(KVXHANDLE* out, KVXHANDLE owner, uint32_t flags, uint32_t size, uint32_t kind);
KVX_API KVXSTATUS DALockModuleData(KVXHANDLE handle, void** data);
KVX_API KVXSTATUS DAUnlockModuleData(KVXHANDLE handle);
KVX_API KVXSTATUS DADestroyModuleData(KVXHANDLE handle);

/* ---- Exports (kvxex) ----------------------------------------------------------------- */
/* EXOpenExport finds the filter for the export type, allocates its instance, hands it the
 * user words (export handle, flags) and runs its VwExportOpen (output spec type, output
 * spec, export type, export handle, selection, flags, instance); a failed open frees the
 * instance. document may be an export (a nested export). EXCloseExport closes the export's
 * nested exports first; the export is gone even when its filter's close fails. */
KVX_API KVXSTATUS EXOpenExport(KVXHANDLE document, uint32_t exportType, uint32_t outputSpecType,
                               const void* outputSpec, uint32_t flags, const KVXSELECTION* selection,
                               KVXCALLBACK callback, void* hostData, KVXHANDLE* out);
KVX_API KVXSTATUS EXRunExport(KVXHANDLE exportHandle);
KVX_API KVXSTATUS EXCloseExport(KVXHANDLE exportHandle);
/* The host's answer; KVXCB_USEDEFAULT when the export has no callback. */
KVX_API KVXSTATUS EXDoCallback(KVXHANDLE exportHandle, uint32_t id, void* data);

/* ---- Chunker (kvxch) ----------------------------------------------------------------- */
/* Ids and indexes outside a range answer KVXERR_NOITEM; a range above 17 KVXERR_BADPARAM.
 * CHGetItem's buffer holds one unit of the range; its next id is 0xFFFFFFFF after the
 * last unit. Every CHLockItemRange is given back by CHUnlockItemRange with the same range
 * and first id; DACloseDocument answers KVXERR_BADPARAM when locks are left (and closes). */
KVX_API KVXSTATUS CHGetItem(KVXHANDLE chunker, uint32_t range, uint32_t id, void* item, uint32_t* nextId);
KVX_API KVXSTATUS CHGetItems(KVXHANDLE chunker, uint32_t range, uint32_t id, void* buffer, uint32_t size);
KVX_API KVXSTATUS CHGetItemId(KVXHANDLE chunker, uint32_t range, uint32_t index, uint32_t* id);
KVX_API KVXSTATUS CHGetItemCount(KVXHANDLE chunker, uint32_t range, uint32_t* count);
KVX_API KVXSTATUS CHNextItemId(KVXHANDLE chunker, uint32_t range, uint32_t id, uint32_t* next);
KVX_API KVXSTATUS CHPrevItemId(KVXHANDLE chunker, uint32_t range, uint32_t id, uint32_t* prev);
KVX_API KVXSTATUS CHLockItemRange(KVXHANDLE chunker, uint32_t range, uint32_t first, uint32_t count, void** data);
KVX_API KVXSTATUS CHUnlockItemRange(KVXHANDLE chunker, uint32_t range, uint32_t first);
KVX_API KVXSTATUS CHGetSectionInfo(KVXHANDLE chunker, uint32_t section, KVXSECTIONINFO* info);
KVX_API KVXSTATUS CHGetFilter(KVXHANDLE chunker, uint32_t* filter);

/* ---- Strings and character maps (kvxut) ---------------------------------------------- */
/* The NUL-terminated text of a string id, cut to size - 1 bytes; KVXERR_NOTFOUND for an
 * unknown id (buffer set to ""). */
KVX_API KVXSTATUS UTGetString(uint32_t id, char* buffer, uint32_t size, uint32_t flags);
KVX_API KVXSTATUS UTCreateMap(KVXCHARMAP** map, const KVXCHARMAPREQUEST* request);
/* *result: the mapped character in the high 16 bits; low 16 bits 0, or 1 when the
 * replacement character was given. */
KVX_API KVXSTATUS UTMapCharRtn(KVXCHARMAP* map, uint32_t character, uint32_t* result);
KVX_API KVXSTATUS UTReleaseMap(KVXCHARMAP* map);
/* Returns the set that an id stands for (generic ids: CP1252; UTF-8: Unicode). */
KVX_API uint32_t UTGetUnknownCharSet(uint32_t charset);
/* Returns the set id of a UTF-16 name ("big5", "windows-1252", ...), 0 when unknown. */
KVX_API uint32_t UTCharSetFromName(const uint16_t* name);
/* Returns 1 when byte starts a double-byte character of the set, else 0. */
KVX_API int32_t UTIsLeadByte(uint32_t charset, uint8_t byte);
/* Widens 8-bit text (up to its NUL or length bytes) into 16-bit units, a double-byte
 * character as lead << 8 | trail; writes at most capacity - 1 units and a 0; returns the
 * count of units written. */
KVX_API uint32_t UTMultiToDoubleByte(uint32_t charset, const char* text, uint32_t length, uint16_t* out, uint32_t capacity);
KVX_API uint32_t UTwstrlen(const uint16_t* text);
KVX_API uint16_t* UTwstrcpy(uint16_t* to, const uint16_t* from);
KVX_API uint16_t* UTwstrcat(uint16_t* to, const uint16_t* from);
KVX_API int32_t UTwstrcmp(const uint16_t* a, const uint16_t* b);
/* The file-name part (after the last '/' or '\\') of a path, as a pointer into it. */
KVX_API const char* UTGetFileNameFromPath(const char* path);
KVX_API const uint16_t* UTGetWideFileNameFromPath(const uint16_t* path);

/* ---- Drawing (kvxdu) ----------------------------------------------------------------- */
/* The drawing state a graphics filter keeps in its module data for a picture. */
typedef struct {
  uint32_t Size;          /* sizeof(KVXDRAWSTATE) */
  KVXHANDLE Chunker;
  uint32_t FrameItem;     /* id of the drawing's KVXITEM_DRAWFRAME item */
  uint32_t Flags;         /* bit 0: initialised */
} KVXDRAWSTATE;

/* A raster the drawing routines hand out: rows of 24-bit blue, green, red, top row first,
 * padded to 4 bytes, in a movable block of the block layer (the caller frees it). */
typedef struct {
  KVXBLOCK Pixels;
  uint32_t Width;
  uint32_t Height;
  uint32_t DataSize;
} KVXRASTER;

/* The off-screen raster device of GAGraphicToDevice and GAGraphicToContext: Pixels is
 * Height rows of Stride bytes of blue, green, red, top row first, owned by the caller. */
typedef struct {
  uint32_t Size;          /* sizeof(KVXDEVICE) */
  uint32_t Flags;         /* bit 1: device output */
  int32_t Left, Top;      /* where the picture goes */
  uint32_t Width, Height; /* the picture's size on the device (0, 0: its natural size) */
  uint8_t* Pixels;
  uint32_t DeviceWidth, DeviceHeight, Stride;
} KVXDEVICE;

/* A drawing context: a device and nothing else. */
typedef struct {
  uint32_t Size;          /* sizeof(KVXCONTEXT) */
  KVXDEVICE Device;
} KVXCONTEXT;

/* 0 (17 when already initialised) */
KVX_API KVXSTATUS GAPInitGADataDU(KVXDRAWSTATE* state);
KVX_API KVXSTATUS GAPDeinitGADataDU(KVXDRAWSTATE* state);
/* The drawing's frame: its size in units and units per inch; 23 without a frame. */
KVX_API KVXSTATUS GAPGetDrawingFrame(const KVXDRAWSTATE* state, uint32_t* width, uint32_t* height,
                                     uint32_t* unitsX, uint32_t* unitsY, uint32_t* flags, uint32_t* mode);
/* Renders the drawing at width x height pixels (0: the frame at 96 dots per inch) into a
 * new raster; 15 for a size above 32,000, 13, 18 for a broken display list. */
KVX_API KVXSTATUS GAPMetafileToHandle(const KVXDRAWSTATE* state, uint32_t width, uint32_t height, KVXRASTER* raster);
/* Draws it into the device's rectangle (its natural size when Width or Height is 0). */
KVX_API KVXSTATUS GAPMetafileToDevice(const KVXDRAWSTATE* state, KVXDEVICE* device);
KVX_API KVXSTATUS GAPMetafileToContext(const KVXDRAWSTATE* state, KVXCONTEXT* context);
/* Copies a raster of 24-bit rows (top row first, stride padded to 4) into the device at
 * its Left, Top, clipped. */
KVX_API KVXSTATUS GABitmapToDeviceNP(const uint8_t* rows, uint32_t width, uint32_t height, uint32_t stride,
                                     KVXDEVICE* device);
/* Fills device from a context. */
KVX_API KVXSTATUS GARetrieveContextDeviceNP(const KVXCONTEXT* context, KVXDEVICE* device);

/* ---- Memory blocks (the filters' global memory) ------------------------------------- */
#define KVXBLOCK_FIXED 0x0000u
#define KVXBLOCK_MOVABLE 0x0002u
#define KVXBLOCK_ZEROINIT 0x0040u
KVX_API KVXBLOCK KVXBlockAlloc(uint32_t flags, size_t size);           /* 0 on failure */
KVX_API KVXBLOCK KVXBlockReAlloc(KVXBLOCK block, size_t size, uint32_t flags); /* 0 on failure, block kept */
KVX_API void* KVXBlockLock(KVXBLOCK block);                              /* null on a bad handle */
KVX_API int32_t KVXBlockUnlock(KVXBLOCK block); /* locks left; -1 on a bad or unlocked handle */
KVX_API KVXBLOCK KVXBlockFree(KVXBLOCK block);  /* 0 when freed, else the handle */
KVX_API size_t KVXBlockSize(KVXBLOCK block);
KVX_API uint32_t KVXBlockLiveCount(void);
/* The nth allocation from now (1 = the next) fails, once; 0 switches the hook off. */
KVX_API void KVXBlockFailAfter(uint32_t n);

/* ---- Test hooks --------------------------------------------------------------------- */
/* The next call of the named DA or EX function fails with status before doing anything.
 * Hosts run as programs arm the same hook with $KVX_FAIL_CALL="Function[:nth[:status]]",
 * read by the first DAInit. */
KVX_API void KVXTestFailCall(const char* function, KVXSTATUS status);
/* Live handles of every kind (documents, exports, module data, chunkers) plus the IO
 * objects the framework made that are still open. */
KVX_API uint32_t KVXLiveHandleCount(void);
/* 1: UTGetString answers "#<hex id>#" for every id. */
KVX_API void KVXTestStringMode(int32_t on);

/* ---- The filter side: routine table and entry routines ------------------------------ */
#define VWRTNS_SLOTS 22
#define VWRTN_GETINFO 5
#define VWRTN_LOCALUP 8
#define VWRTN_LOCALDOWN 9
#define VWRTN_ALLOCPROC 10
#define VWRTN_FREEPROC 11
#define VWRTN_SETUSER 12
#define VWRTN_SLOT18 18
#define VWRTN_EXPORTOPEN 19
#define VWRTN_EXPORTCLOSE 20
#define VWRTN_EXPORTWRITE 21
#define VWRTNS_VERSION 22

typedef struct {
  void* Slots[VWRTNS_SLOTS];
} VwRtns;

#define VWINFO_DATASIZE 2
#define VWINFO_EXPORTCOUNT 6
#define VWINFO_EXPORTIDS 7
#define VWINFO_BUILDDATE 8
#define VWINFO_BUILDTIME 9
#define VWINFO_MAGIC 12
#define VWINFO_MAGICVALUE 0x12345678u

typedef VwRtns* (*VwGetRtnsFn)(VwRtns* table, uint16_t version);
typedef int32_t (*VwGetInfoFn)(void* buffer, uint32_t id);
typedef void (*VwLocalFn)(void);
typedef void* (*VwAllocProcFn)(void);
typedef void (*VwFreeProcFn)(void* instance);
typedef void (*VwSetUserFn)(uint32_t word1, uint32_t word2, void* instance);
typedef KVXSTATUS (*VwExportOpenFn)(uint32_t outputSpecType, const void* outputSpec, uint32_t exportType,
                                    KVXHANDLE exportHandle, const void* info, uint32_t word6, void* instance);
typedef KVXSTATUS (*VwExportCloseFn)(uint32_t word, void* instance);
typedef KVXSTATUS (*VwExportWriteFn)(uint32_t word, void* instance);

#ifdef __cplusplus
}
#endif

#endif
