/* Drawing layer of the imaging and glyph libraries (libqmgdi.so): device contexts over
 * memory surfaces, bitmaps and DIB sections, solid brushes, rectangle regions, palettes,
 * a process-wide screen whose kind a program chooses, global memory blocks, MulDiv, and
 * BMP and PNG files. The calls keep the names and argument orders the drawing code was
 * written against; every signed 32-bit field is int32_t and record sizes are fixed.
 * Built on the C++ standard library and libpng; called by picview, its tools and tests,
 * and the glyph renderer. One instance serves the whole process. */
#ifndef QM_PLATFORM_GDI_QMGDI_H
#define QM_PLATFORM_GDI_QMGDI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QMGDI_API __attribute__((visibility("default")))

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t COLORREF;

typedef struct QmGdiObject* HGDIOBJ;
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HPALETTE;
typedef HGDIOBJ HRGN;
typedef struct QmGdiDc* HDC;
typedef void* HGLOBAL;
typedef void* HANDLE;

typedef struct {
  int32_t left, top, right, bottom;
} RECT;
typedef struct {
  int32_t x, y;
} POINT;
typedef struct {
  int32_t cx, cy;
} SIZE;

typedef struct {
  BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
} RGBQUAD;

typedef struct {
  DWORD biSize;
  int32_t biWidth;
  int32_t biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO;

typedef struct {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
} BITMAPCOREHEADER;

typedef struct {
  BYTE peRed, peGreen, peBlue, peFlags;
} PALETTEENTRY;

typedef struct {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
} LOGPALETTE;

typedef struct {
  int32_t bmType;
  int32_t bmWidth;
  int32_t bmHeight;
  int32_t bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
} BITMAP;

/* A logical font: 28 bytes of sizes and styles, then the face name. */
#define LF_FACESIZE 32
typedef struct {
  int32_t lfHeight;
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[LF_FACESIZE];
} LOGFONTA;

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SHIFTJIS_CHARSET 128
#define HANGEUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define FW_NORMAL 400
#define FW_BOLD 700

#ifdef __cplusplus
static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA size");
static_assert(sizeof(RECT) == 16 && sizeof(POINT) == 8 && sizeof(SIZE) == 8, "rect sizes");
static_assert(sizeof(RGBQUAD) == 4 && sizeof(PALETTEENTRY) == 4, "colour entry sizes");
static_assert(sizeof(BITMAPINFOHEADER) == 40 && sizeof(BITMAPINFO) == 44, "DIB header sizes");
static_assert(sizeof(BITMAPCOREHEADER) == 12 && sizeof(LOGPALETTE) == 8, "header sizes");
static_assert(sizeof(BITMAP) == 16 + 4 + sizeof(void*) + (sizeof(void*) - 4), "BITMAP size");
#else
_Static_assert(sizeof(BITMAPINFOHEADER) == 40, "DIB header size");
#endif

/* Colours: red in the low byte. */
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define PALETTEINDEX(i) ((COLORREF)(0x01000000 | (DWORD)(WORD)(i)))
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))
#define CLR_INVALID 0xFFFFFFFFu

/* Compression of DIBs. */
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3

#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

/* Raster operations (ternary codes). */
#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define SRCERASE 0x00440328u
#define NOTSRCCOPY 0x00330008u
#define NOTSRCERASE 0x001100A6u
#define MERGECOPY 0x00C000CAu
#define MERGEPAINT 0x00BB0226u
#define PATCOPY 0x00F00021u
#define PATPAINT 0x00FB0A09u
#define PATINVERT 0x005A0049u
#define DSTINVERT 0x00550009u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u

/* Mapping modes. */
#define MM_TEXT 1
#define MM_ANISOTROPIC 8

/* Background modes. */
#define TRANSPARENT 1
#define OPAQUE 2

/* Stretch modes. */
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4

/* Text alignment bits. */
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

/* Region kinds returned by the clip calls. */
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2

/* Stock objects. */
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_PALETTE 15

/* Pen styles. */
#define PS_SOLID 0
#define PS_NULL 5

/* GetDeviceCaps indexes and answers. */
#define TECHNOLOGY 2
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define DT_RASDISPLAY 1
#define DT_RASPRINTER 2
#define RC_BITBLT 1
#define RC_BITMAP64 8
#define RC_DI_BITMAP 0x80
#define RC_PALETTE 0x100
#define RC_DIBTODEV 0x200
#define RC_STRETCHBLT 0x800
#define RC_STRETCHDIB 0x2000

/* Global memory flags. */
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE 0x2000
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

/* ---- Global memory ------------------------------------------------------------------ */
QMGDI_API HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
QMGDI_API HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t bytes, UINT flags);
QMGDI_API size_t GlobalSize(HGLOBAL mem);
QMGDI_API void* GlobalLock(HGLOBAL mem);
QMGDI_API BOOL GlobalUnlock(HGLOBAL mem);
QMGDI_API UINT GlobalFlags(HGLOBAL mem);
QMGDI_API HGLOBAL GlobalHandle(const void* locked);
QMGDI_API HGLOBAL GlobalFree(HGLOBAL mem);
/* a * b / c with a 64-bit product, rounded half away from zero; -1 when c is 0 or the
 * result does not fit. */
QMGDI_API int32_t MulDiv(int32_t a, int32_t b, int32_t c);

/* ---- The screen --------------------------------------------------------------------- */
typedef struct {
  int32_t paletteEntries; /* 0: true colour; 2..256: a palette device of that many entries */
  int32_t printer;        /* nonzero: the device reports itself as a raster printer */
  int32_t width, height;  /* pixels of the screen surface */
} QmScreenKind;
/* Chooses the kind of the process-wide screen; its surface is cleared to white and its
 * system palette reset. FALSE for a kind out of range. */
QMGDI_API BOOL QmSetScreen(const QmScreenKind* kind);
QMGDI_API HDC GetDC(void* window); /* window must be null: the screen */
QMGDI_API int32_t ReleaseDC(void* window, HDC dc);
QMGDI_API HBITMAP QmScreenBitmap(void);

/* ---- Objects ------------------------------------------------------------------------ */
QMGDI_API HGDIOBJ GetStockObject(int32_t which);
QMGDI_API BOOL DeleteObject(HGDIOBJ obj);
QMGDI_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
QMGDI_API int32_t GetObjectA(HGDIOBJ obj, int32_t size, void* out);
QMGDI_API HBRUSH CreateSolidBrush(COLORREF colour);
QMGDI_API HPEN CreatePen(int32_t style, int32_t width, COLORREF colour);
QMGDI_API HBITMAP CreateBitmap(int32_t width, int32_t height, UINT planes, UINT bitCount, const void* bits);
QMGDI_API HBITMAP CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height);
QMGDI_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                   DWORD offset);
QMGDI_API HRGN CreateRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom);
QMGDI_API HPALETTE CreatePalette(const LOGPALETTE* palette);
QMGDI_API UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, PALETTEENTRY* out);
QMGDI_API UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF colour);
QMGDI_API UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* out);
/* Live GDI objects and global blocks, not counting stock objects and the screen: a
 * check for leaks. */
QMGDI_API int32_t QmLiveGdiObjects(void);
QMGDI_API int32_t QmLiveGlobalBlocks(void);

/* ---- Installed fonts ---------------------------------------------------------------- */
/* Called once per installed face of the family asked for, with its LOGFONTA (face name in
 * the asked character set); a zero return stops the enumeration. The two middle pointers
 * are always null here. */
typedef int32_t (*FONTENUMPROCA)(const LOGFONTA* font, const void* metrics, DWORD type, intptr_t data);
/* Enumerates the installed faces (fontconfig) of `family`, a name in the character set
 * of `charSet` (136 CP950, 134 CP936, 128 CP932, 129 CP949, else Latin-1); the result is
 * the last callback's, or 0 when there was none. A null family is one call per family. */
QMGDI_API int32_t EnumFontFamiliesA(HDC dc, const char* family, FONTENUMPROCA proc, intptr_t data);
QMGDI_API int32_t QmEnumFontFamiliesCharSet(HDC dc, const char* family, BYTE charSet, FONTENUMPROCA proc,
                                            intptr_t data);

/* ---- Fonts and text (FreeType over the fontconfig match) ----------------------------- */
typedef HGDIOBJ HFONT;
typedef struct {
  int32_t tmHeight, tmAscent, tmDescent, tmInternalLeading, tmExternalLeading;
  int32_t tmAveCharWidth, tmMaxCharWidth, tmWeight, tmOverhang;
  int32_t tmDigitizedAspectX, tmDigitizedAspectY;
  BYTE tmFirstChar, tmLastChar, tmDefaultChar, tmBreakChar;
  BYTE tmItalic, tmUnderlined, tmStruckOut, tmPitchAndFamily, tmCharSet;
} TEXTMETRICA;
typedef struct {
  UINT gmBlackBoxX, gmBlackBoxY;
  POINT gmptGlyphOrigin;
  int16_t gmCellIncX, gmCellIncY;
} GLYPHMETRICS;
typedef struct {
  WORD fract;
  int16_t value;
} FIXED;
typedef struct {
  FIXED eM11, eM12, eM21, eM22;
} MAT2;
#define GGO_METRICS 0
#define GGO_BITMAP 1
#define GDI_ERROR 0xFFFFFFFFu
#define ETO_OPAQUE 2
#define ETO_CLIPPED 4

/* A font of the LOGFONTA: the face name, read in the character set of lfCharSet, is
 * matched by fontconfig with weight and slant (the nearest installed face stands in).
 * A negative lfHeight is the em height, a positive one the cell height (ascent plus
 * descent), 0 a 16-pixel cell; logical units, mapped by the DC the font is used in. */
QMGDI_API HFONT CreateFontIndirectA(const LOGFONTA* font);
QMGDI_API BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* out);
/* Width of the advances of the text (bytes decoded by the font's lfCharSet: 0 CP1252,
 * 136 CP950, 134 CP936, 128 CP932, 129 CP949) and the cell height. */
QMGDI_API BOOL GetTextExtentPoint32A(HDC dc, const char* text, int32_t length, SIZE* out);
QMGDI_API BOOL GetTextExtentPointA(HDC dc, const char* text, int32_t length, SIZE* out);
/* GGO_METRICS or GGO_BITMAP (rows of 32-bit units, top row first, most significant bit
 * leftmost); bytes of the bitmap, or GDI_ERROR. A code above 255 in a double-byte set is
 * a two-byte character. Only the identity matrix is taken. */
QMGDI_API DWORD GetGlyphOutlineA(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                                 const MAT2* matrix);
/* Bytes of an sfnt table of the selected font (tag in file byte order, lowest byte
 * first; 0 the whole file) from `offset`; with a null buffer the bytes available. */
QMGDI_API DWORD GetFontData(HDC dc, DWORD table, DWORD offset, void* buffer, DWORD size);
/* Text in the text colour at the alignment of the DC (TA_UPDATECP, TA_LEFT/RIGHT/CENTER,
 * TA_TOP/BOTTOM/BASELINE); an opaque background mode fills the cells with the background
 * colour. ETO_OPAQUE fills the rectangle first, ETO_CLIPPED clips to it; an advance array
 * gives the step after each character (one entry per byte). */
QMGDI_API BOOL ExtTextOutA(HDC dc, int32_t x, int32_t y, UINT options, const RECT* rect, const char* text,
                           UINT length, const int32_t* advances);
QMGDI_API BOOL TextOutA(HDC dc, int32_t x, int32_t y, const char* text, int32_t length);

/* ---- Device contexts ---------------------------------------------------------------- */
QMGDI_API HDC CreateCompatibleDC(HDC dc);
QMGDI_API BOOL DeleteDC(HDC dc);
QMGDI_API int32_t GetDeviceCaps(HDC dc, int32_t index);
QMGDI_API HPALETTE SelectPalette(HDC dc, HPALETTE pal, BOOL forceBackground);
QMGDI_API UINT RealizePalette(HDC dc);
QMGDI_API int32_t SaveDC(HDC dc);
QMGDI_API BOOL RestoreDC(HDC dc, int32_t saved);
QMGDI_API int32_t SetMapMode(HDC dc, int32_t mode);
QMGDI_API int32_t GetMapMode(HDC dc);
QMGDI_API BOOL SetWindowOrgEx(HDC dc, int32_t x, int32_t y, POINT* old);
QMGDI_API BOOL SetWindowExtEx(HDC dc, int32_t x, int32_t y, SIZE* old);
QMGDI_API BOOL SetViewportOrgEx(HDC dc, int32_t x, int32_t y, POINT* old);
QMGDI_API BOOL SetViewportExtEx(HDC dc, int32_t x, int32_t y, SIZE* old);
QMGDI_API BOOL GetWindowOrgEx(HDC dc, POINT* out);
QMGDI_API BOOL GetWindowExtEx(HDC dc, SIZE* out);
QMGDI_API BOOL GetViewportOrgEx(HDC dc, POINT* out);
QMGDI_API BOOL GetViewportExtEx(HDC dc, SIZE* out);
QMGDI_API BOOL LPtoDP(HDC dc, POINT* points, int32_t count);
QMGDI_API BOOL DPtoLP(HDC dc, POINT* points, int32_t count);
QMGDI_API COLORREF SetTextColor(HDC dc, COLORREF colour);
QMGDI_API COLORREF GetTextColor(HDC dc);
QMGDI_API COLORREF SetBkColor(HDC dc, COLORREF colour);
QMGDI_API COLORREF GetBkColor(HDC dc);
QMGDI_API int32_t SetBkMode(HDC dc, int32_t mode);
QMGDI_API int32_t GetBkMode(HDC dc);
QMGDI_API UINT SetTextAlign(HDC dc, UINT align);
QMGDI_API UINT GetTextAlign(HDC dc);
QMGDI_API int32_t SetStretchBltMode(HDC dc, int32_t mode);
QMGDI_API int32_t GetStretchBltMode(HDC dc);
QMGDI_API BOOL MoveToEx(HDC dc, int32_t x, int32_t y, POINT* old);
/* A line in the selected pen from the current position up to (not including) the point,
 * which becomes the current position. Solid pens only; a pen wider than one pixel draws
 * a square of its width centred on every point of the line. */
QMGDI_API BOOL LineTo(HDC dc, int32_t x, int32_t y);
QMGDI_API BOOL GetCurrentPositionEx(HDC dc, POINT* out);
QMGDI_API int32_t SelectClipRgn(HDC dc, HRGN rgn);
QMGDI_API int32_t IntersectClipRect(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
QMGDI_API int32_t GetClipBox(HDC dc, RECT* out);

/* ---- Drawing ------------------------------------------------------------------------ */
QMGDI_API BOOL BitBlt(HDC dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HDC src, int32_t sx, int32_t sy,
                      DWORD rop);
QMGDI_API BOOL StretchBlt(HDC dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HDC src, int32_t sx,
                          int32_t sy, int32_t scx, int32_t scy, DWORD rop);
QMGDI_API BOOL PatBlt(HDC dc, int32_t x, int32_t y, int32_t cx, int32_t cy, DWORD rop);
QMGDI_API int32_t FillRect(HDC dc, const RECT* rect, HBRUSH brush);
/* Rows drawn, or 0 on failure. */
QMGDI_API int32_t StretchDIBits(HDC dc, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t sx, int32_t sy,
                                int32_t scx, int32_t scy, const void* bits, const BITMAPINFO* info, UINT usage,
                                DWORD rop);
QMGDI_API int32_t GetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, void* bits, BITMAPINFO* info,
                            UINT usage);
QMGDI_API COLORREF GetPixel(HDC dc, int32_t x, int32_t y);
QMGDI_API COLORREF SetPixel(HDC dc, int32_t x, int32_t y, COLORREF colour);
QMGDI_API BOOL GdiFlush(void);

/* ---- Files -------------------------------------------------------------------------- */
/* Error codes of the file calls. */
#define QMGDI_FILE_OK 0
#define QMGDI_FILE_UNREADABLE 1 /* cannot open or read the file */
#define QMGDI_FILE_BAD 2        /* not a BMP file this layer reads, or damaged */
#define QMGDI_FILE_NOMEM 3
#define QMGDI_FILE_UNWRITABLE 4
/* Reads a BMP file (core, 40-byte, V4 and V5 headers; 1/4/8/16/24/32 bits) into a new
 * movable global block holding the packed DIB: header, colour table or masks, bits. */
QMGDI_API int32_t QmReadBmpFile(const char* path, HGLOBAL* packedDib);
/* Writes a packed DIB as a BMP file (replaced safely). */
QMGDI_API int32_t QmWriteBmpFile(const char* path, const BITMAPINFO* info, size_t bytes);
/* Writes the picture of a bitmap as an 8-bit RGB PNG file (replaced safely). */
QMGDI_API int32_t QmWritePngFile(const char* path, HBITMAP bm);

#ifdef __cplusplus
}
#endif
#endif
