// Image handles of picview: the image record kept in a movable global block, the pixel
// store behind it, the per-thread status, and the Img operations that create, query,
// draw and free images. Built on the drawing layer (platform/gdi); used by the image
// display class, the pixel operations and the pvshow tool.
#pragma once
#include <cstdint>

#include "platform/gdi/qmgdi.h"

// An image handle: a movable global block holding an ImgRecord.
typedef HGLOBAL HIMG;

// Statuses of the per-thread record.
enum ImgStatus : int32_t {
  IMG_OK = 1,
  IMG_NO_MEMORY = 6,
  IMG_NOT_IMAGE = 8,
  IMG_CANNOT_REDUCE = 9,
  IMG_COPY_METAFILE = 10,
  IMG_SOURCE_OUTSIDE = 13,
  IMG_PIXELS_METAFILE = 14,
  // 17, 20, 22 and 23 belong to format handlers, device bitmaps and metafiles, which no
  // image of this library has; they stay defined for completeness.
  IMG_HANDLER_LACKS_OPERATION = 17,
  IMG_STRETCHBLT_FAILED = 20,
  IMG_STRETCHDIBITS_FAILED = 21,
  IMG_PLAYMETAFILE_FAILED = 22,
  IMG_HANDLER_READ_FAILED = 23,
  IMG_BAD_ARGUMENT = 29,
};

// Flags word of a record.
enum : uint32_t {
  IMG_FLAG_HANDLER_DRAWS = 1,
  IMG_FLAG_HANDLER_PRINTS = 2,
  IMG_FLAG_METAFILE_PRINTS_AS_SCREEN = 4,
  IMG_FLAG_METAFILE = 8,
  IMG_FLAG_FROM_DIB = 16,
};

// Allocation flags of a record: movable, zero-initialised, shareable.
constexpr UINT kImgRecordAlloc = 0x2042;
constexpr char kImgSignature[4] = {'I', 'M', '2', '0'};

// The pixel store. global: the owned block (a packed DIB, or the header block of a copy
// or a new store), or 0; bits and info point into it or into the DIB section.
struct ImgDib {
  HGLOBAL global = nullptr;
  uint8_t* bits = nullptr;
  BITMAPINFO* info = nullptr;
  HBITMAP section = nullptr;
};

typedef int32_t (*ImgProgress)(HIMG record, int32_t percent, uint32_t data);

struct ImgRecord {
  char signature[4];
  BITMAPINFO* info;
  uint32_t flags;
  int32_t width;
  int32_t height;
  int32_t handler_cookie;
  int32_t format_index;  // -1: no format handler
  uint32_t reserved;
  HBITMAP device_bitmap;
  void* metafile;
  int32_t metafile_box[4];
  uint32_t rop;
  int32_t handler_args[2];
  ImgProgress progress;
  uint32_t callback_data;
  uint32_t progress_word;
  int32_t state_word;
  uint32_t reserved2;
  void* handler_data;  // locked global blocks, freed at close
  void* spare;
  ImgDib* pixels;
};

// ---- Pixel stores (img_dib.cpp) -------------------------------------------------------
// Row stride, padding and size of a header's pixels; header size with its colour table.
uint32_t ImgDibStride(const BITMAPINFOHEADER* h);
uint32_t ImgDibPadding(const BITMAPINFOHEADER* h);
uint32_t ImgDibImageSize(const BITMAPINFOHEADER* h);
uint32_t ImgDibHeaderSize(const BITMAPINFOHEADER* h);
// Number of colour-table entries: colours used, or 2^bit count; 0 over 8 bits.
uint32_t ImgDibColours(const BITMAPINFOHEADER* h);
// Adopts a packed DIB: on success the store owns the block (which may have been
// replaced by a 40-byte-header, 24-bit form of it); on failure the caller keeps it and
// *status says why (29 for a DIB this library refuses, 6 for memory).
ImgDib* ImgDibAdopt(HGLOBAL packed, int32_t* status);
// Copies header, colour table and bits into a new store with a DIB section.
ImgDib* ImgDibCopy(const BITMAPINFO* info, const void* bits);
// A new store of the given size and depth, from a template header or a fresh one.
ImgDib* ImgDibNew(int32_t width, int32_t height, int32_t bitCount, bool makeSection, const BITMAPINFO* tmpl);
void ImgDibRelease(ImgDib* dib);

// ---- Per-thread status (img_status.cpp) ----------------------------------------------
// The calling thread's last status and its "prefix;text" message.
int32_t ImgGetStatus();
const char* ImgGetMessage();
// Resets the thread's status to 1 at the start of an operation.
void ImgResetStatus();
// Stores a failure: the status and the message "Invalid File;" (no image of this library
// has a format handler to name a file).
void ImgSetError(int32_t status);
// A text for each status, for the tools.
const char* ImgStatusText(int32_t status);

// ---- Image handles (img_handles.cpp) --------------------------------------------------
HIMG ImgFromDIB(HGLOBAL packedDib);
HIMG ImgFrompDIB(ImgDib* dib);
int32_t ImgClose(HIMG img);
int32_t ImgSetROP(HIMG img, uint32_t rop);
BITMAPINFOHEADER* ImgGetInfo(HIMG img, uint32_t* flags);
HPALETTE ImgGetPalette(HIMG img);
int32_t ImgDrawImage(HIMG img, HDC dc, const RECT* dest, const RECT* source);
int32_t ImgPrintImage(HIMG img, HDC dc, const RECT* dest, const RECT* source);
