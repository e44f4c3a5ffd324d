// The Img operations of picview over image handles: making a record around a pixel
// store, closing it, the raster operation, header and palette queries, and drawing for
// the screen and for a printer through StretchDIBits. Every operation resets the
// thread's status, checks the handle's "IM20" signature and keeps the record locked only
// while it runs. Format handlers, metafiles and device bitmaps are not made by this
// library, so their paths are left out. Built on img_dib.cpp, img_status.cpp and the
// drawing layer; called by the image display class and pvshow.
#include <cstring>
#include <new>
#include <vector>

#include "imaging/picview/img_ops.h"

// Locks a handle and checks its signature; null (status 8) when it is not an image.
ImgRecord* ImgLockRecord(HIMG img) {
  if (!img) {
    ImgSetError(IMG_NOT_IMAGE);
    return nullptr;
  }
  if (GlobalSize(img) < sizeof(ImgRecord)) {
    ImgSetError(IMG_NOT_IMAGE);
    return nullptr;
  }
  auto* r = static_cast<ImgRecord*>(GlobalLock(img));
  if (!r) {
    ImgSetError(IMG_NOT_IMAGE);
    return nullptr;
  }
  if (std::memcmp(r->signature, kImgSignature, 4) != 0) {
    GlobalUnlock(img);
    ImgSetError(IMG_NOT_IMAGE);
    return nullptr;
  }
  return r;
}

namespace {

// A zeroed record block; null (status 6) when memory runs out.
HIMG new_record() {
  HIMG h = GlobalAlloc(kImgRecordAlloc, sizeof(ImgRecord));
  if (!h) ImgSetError(IMG_NO_MEMORY);
  return h;
}

// Fills a new record around a pixel store.
HIMG fill_record(HIMG h, ImgDib* dib) {
  auto* r = static_cast<ImgRecord*>(GlobalLock(h));
  std::memcpy(r->signature, kImgSignature, 4);
  r->info = dib->info;
  r->flags = IMG_FLAG_FROM_DIB;
  r->width = dib->info->bmiHeader.biWidth;
  r->height = dib->info->bmiHeader.biHeight;
  r->handler_cookie = 0;
  r->format_index = -1;
  r->device_bitmap = nullptr;
  r->metafile = nullptr;
  r->rop = SRCCOPY;
  r->handler_args[0] = r->handler_args[1] = 0;
  r->state_word = 1;
  r->pixels = dib;
  GlobalUnlock(h);
  return h;
}

void free_global_pointer(void* p) {
  if (!p) return;
  HGLOBAL h = GlobalHandle(p);
  if (!h) return;
  GlobalUnlock(h);
  GlobalFree(h);
}

// StretchDIBits of the pixels: inclusive rectangles, source rows counted from the bottom.
bool stretch(const ImgRecord& r, HDC dc, const RECT& dest, const RECT* source) {
  RECT src = source ? *source : RECT{0, 0, r.width - 1, r.height - 1};
  const ImgDib* px = r.pixels;
  if (!px || !px->bits || !px->info) return false;
  // Sizes are worked out in 64 bits and held to a range the drawing layer takes.
  auto held = [](int64_t v) { return int32_t(v < -0x3FFFFFFF ? -0x3FFFFFFF : v > 0x3FFFFFFF ? 0x3FFFFFFF : v); };
  return StretchDIBits(dc, dest.left, dest.top, held(int64_t(dest.right) - dest.left + 1),
                       held(int64_t(dest.bottom) - dest.top + 1), src.left, held(int64_t(r.height) - src.bottom - 1),
                       held(int64_t(src.right) - src.left + 1), held(int64_t(src.bottom) - src.top + 1), px->bits,
                       px->info, DIB_RGB_COLORS, r.rop) != 0;
}

}  // namespace

HIMG ImgFromDIB(HGLOBAL packedDib) {
  ImgResetStatus();
  // The record comes first, so that every failure leaves the caller its DIB.
  HIMG h = new_record();
  if (!h) return nullptr;
  int32_t status = IMG_OK;
  ImgDib* dib = ImgDibAdopt(packedDib, &status);
  if (!dib) {
    GlobalFree(h);
    ImgSetError(status);
    return nullptr;
  }
  return fill_record(h, dib);
}

HIMG ImgFrompDIB(ImgDib* dib) {
  ImgResetStatus();
  if (!dib || !dib->info) {
    ImgSetError(IMG_BAD_ARGUMENT);
    return nullptr;
  }
  HIMG h = new_record();
  return h ? fill_record(h, dib) : nullptr;
}

HIMG ImgWrap(ImgDib* dib) {
  HIMG h = ImgFrompDIB(dib);
  if (!h) ImgDibRelease(dib);
  return h;
}

int32_t ImgClose(HIMG img) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return 0;
  if (r->device_bitmap) DeleteObject(r->device_bitmap);
  if (r->pixels && r->info && r->info != r->pixels->info) free_global_pointer(r->info);
  ImgDibRelease(r->pixels);
  free_global_pointer(r->handler_data);
  free_global_pointer(r->spare);
  r->signature[0] = 0;  // a stale copy of the handle is no longer an image
  GlobalUnlock(img);
  GlobalFree(img);
  return 1;
}

int32_t ImgSetROP(HIMG img, uint32_t rop) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return 0;
  r->rop = rop;
  GlobalUnlock(img);
  return 1;
}

BITMAPINFOHEADER* ImgGetInfo(HIMG img, uint32_t* flags) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return nullptr;
  if (flags) *flags = r->flags;
  BITMAPINFOHEADER* h = r->info ? &r->info->bmiHeader : nullptr;
  GlobalUnlock(img);
  return h;
}

HPALETTE ImgGetPalette(HIMG img) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return nullptr;
  HPALETTE pal = nullptr;
  const BITMAPINFOHEADER* h = r->info ? &r->info->bmiHeader : nullptr;
  if (h && h->biBitCount <= 8) {
    uint32_t n = ImgDibColours(h);
    std::vector<uint8_t> buf(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * (n ? n - 1 : 0));
    auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = WORD(n);
    for (uint32_t i = 0; i < n; ++i) {
      const RGBQUAD& q = r->info->bmiColors[i];
      lp->palPalEntry[i] = PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    pal = CreatePalette(lp);
    if (!pal) ImgSetError(IMG_NO_MEMORY);
  }
  GlobalUnlock(img);
  return pal;
}

int32_t ImgDrawImage(HIMG img, HDC dc, const RECT* dest, const RECT* source) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return ImgGetStatus();
  if (!dest) {
    ImgSetError(IMG_BAD_ARGUMENT);
  } else {
    GdiFlush();
    if (!stretch(*r, dc, *dest, source)) ImgSetError(IMG_STRETCHDIBITS_FAILED);
  }
  GlobalUnlock(img);
  return ImgGetStatus();
}

int32_t ImgPrintImage(HIMG img, HDC dc, const RECT* dest, const RECT* source) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return 0;
  bool have_pixels = r->pixels && r->pixels->bits;
  if (have_pixels && dest) stretch(*r, dc, *dest, source);  // failures are not reported
  GlobalUnlock(img);
  return have_pixels ? 1 : 0;
}
