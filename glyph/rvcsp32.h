/* Public interface of librvcsp32.so, the glyph renderer for fonts embedded in page
 * documents: a caller binds an open document file and the offset of its font directory
 * to one of 20 document slots (CSX_SetDoc), selects a face by a LOGFONTA (CSX_SetFont),
 * and asks for glyph bitmaps, extents and font information. Slots are numbered 1 to 20;
 * results of 0 or below are failures. Every function has C linkage. The library keeps
 * one set of state for the process and expects one calling thread.
 * Built on the drawing layer's header (LOGFONTA); called by page-document viewers. */
#ifndef QM_GLYPH_RVCSP32_H
#define QM_GLYPH_RVCSP32_H

#include <stdint.h>

#include "platform/gdi/qmgdi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CSX_API __attribute__((visibility("default")))

/* Size and placement of one glyph bitmap, in device pixels. A caller that places the
 * width and height of a glyph it has seen before in the record can be served from the
 * glyph cache. */
typedef struct {
  int32_t width;
  int32_t height;
  int32_t originX;
  int32_t originY;
  int32_t advance;
  int32_t sixth;
} CSX_GlyphMetrics;

/* Font information; the caller sets `size` (126 or more) before the call. */
typedef struct {
  uint32_t size;
  uint32_t charSet;
  uint32_t unitsPerEm;
  uint32_t thirdWord;
  char faceName[32];
  char secondName[32];
  int32_t ascent;      /* cell height - scaled maximum descent */
  int32_t descent;     /* scaled maximum descent */
  int32_t lineGap;     /* line height - cell height */
  int32_t further;     /* scaled further metric */
  int32_t halfAdvance; /* scaled */
  int32_t fullAdvance; /* scaled */
  uint32_t zero[2];
  int32_t lineMetric[4]; /* underline thickness, position; strike-out thickness, position */
} CSX_FontInfo;

#ifdef __cplusplus
static_assert(sizeof(CSX_GlyphMetrics) == 24, "CSX_GlyphMetrics size");
static_assert(sizeof(CSX_FontInfo) == 128, "CSX_FontInfo size");
#endif

/* Binds the caller's open file descriptor (never closed here) and the byte offset of the
 * font directory in it. The slot number 1 to 20; -1 no free slot; -2 the directory holds
 * no fonts; -3 the directory cannot be read or the work buffer cannot be had. */
CSX_API int32_t CSX_SetDoc(int32_t fd, uint32_t directoryOffset);
/* 1 when the document face is selected; 0 for a bad slot, a face not in the document, an
 * escapement that is not a multiple of 90 or an installed font standing in. */
CSX_API int32_t CSX_SetFont(int32_t slot, const LOGFONTA* font);
/* Renders one glyph with ink 0 into `bits` (rows padded to 16 bits; the caller fills the
 * background first). Returns the bitmap size ((width + 15) / 16 * 2 * height), 0 for a
 * bad slot, no face or a missing glyph. With null `bits` the size and the metrics are
 * filled; a glyph the cache can keep is rendered into scratch memory and kept, so the
 * sized call that follows (and later null calls) are served from the cache. */
CSX_API int32_t CSX_CSP(int32_t slot, uint32_t code, void* bits, CSX_GlyphMetrics* metrics);
/* Ends the slot; the work buffer and the glyph cache go with the last one. */
CSX_API void CSX_End(int32_t slot);
/* 104, or 0 for a bad slot, no face or a size field below 126. */
CSX_API int32_t CSX_QueryFontInfo(int32_t slot, CSX_FontInfo* info);
/* 1 with the advance and the line height in device pixels; 0 otherwise. */
CSX_API int32_t CSX_GetCharExtent(int32_t slot, uint32_t code, int32_t* advance, int32_t* height);
/* Height << 16 | width in logical units; 0 for a bad slot, no face, null text or length 0. */
CSX_API uint32_t CSX_GetTextExtent(int32_t slot, const char* text, int32_t length);
CSX_API void CSX_EnableSystemFont(int32_t slot, int32_t on);
CSX_API int32_t CSX_SetWindowExt(int32_t slot, int32_t x, int32_t y);
CSX_API int32_t CSX_SetViewportExt(int32_t slot, int32_t x, int32_t y);
/* The gray output switch (0 off, the state at load): a changed value empties the glyph
 * cache and returns 1 (0 when its store cannot be had again); an unchanged value is
 * returned as it is. */
CSX_API int32_t CSX_SetGrayScale(uint32_t on);
/* ExtTextOutA of the font `lf` selected in the DC, in gray when the switch is on, the
 * text black, the device a display, the weight not bold and the device height below
 * 256: 1 when every character was drawn gray, 0 when one fell back to plain output;
 * otherwise ExtTextOutA's own result. */
CSX_API int32_t CSX_ExtTextOutG(const LOGFONTA* lf, HDC dc, int32_t x, int32_t y, uint32_t options,
                                const RECT* rect, const char* text, uint32_t length, const int32_t* advances);
/* With the switch on: the extent measured at twice the size and halved; otherwise
 * GetTextExtentPoint32A. */
/* Draws text in the document face of the slot as ExtTextOutA would (alignment, current
 * position, ETO_OPAQUE, ETO_CLIPPED, advance arrays, underline and strike-out): 1, or 0
 * for a bad slot or when no memory device context can be made. */
CSX_API int32_t RVExtTextOut(int32_t slot, HDC dc, int32_t x, int32_t y, uint32_t options, const RECT* rect,
                             const char* text, int32_t length, const int32_t* advances);
/* Mixed text: end-user-defined characters in the slot's document face, the rest in the
 * installed font of `lf` (slot -2: the installed font alone); the last run's result, 0
 * for a slot outside 1..20 and -2. */
CSX_API int32_t RVExtTextOutEU(int32_t slot, const LOGFONTA* lf, HDC dc, int32_t x, int32_t y, uint32_t options,
                               const RECT* rect, const char* text, int32_t length, const int32_t* advances);
/* The extent of such text: height in the high 16 bits, width in the low 16 bits. */
CSX_API uint32_t CSX_GetTextExtentEU(int32_t slot, const LOGFONTA* lf, HDC dc, const char* text, int32_t length);
CSX_API int32_t CSX_GetTextExtentPoint32G(const LOGFONTA* lf, HDC dc, const char* text, int32_t length, SIZE* out);

#ifdef __cplusplus
}
#endif

#endif /* QM_GLYPH_RVCSP32_H */
