/* A C caller of libpicview.so built only against its public header: it loads the
 * library with dlopen, constructs the display class on its own stack through the
 * exported constructor, shows a 2 x 2 DIB doubled into a memory surface through the
 * flat functions, destroys the object and prints the pixels it got.
 * Usage: picview_c_client /path/to/libpicview.so */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "imaging/picview/picview.h"

typedef void (*Method)(CRVImageDisplay*);
typedef void (*InitialFn)(CRVImageDisplay*, void*);
typedef void (*ScaleFn)(CRVImageDisplay*, int32_t, int32_t);
typedef void (*DisplayFn)(CRVImageDisplay*, HDC, RECT*, RECT*, int, uint32_t);

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW);
  if (!lib) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  Method construct = (Method)dlsym(lib, CRVIMAGEDISPLAY_CONSTRUCTOR_SYMBOL);
  Method destruct = (Method)dlsym(lib, CRVIMAGEDISPLAY_DESTRUCTOR_SYMBOL);
  InitialFn initial = (InitialFn)dlsym(lib, "CRVImageDisplay_Initial");
  ScaleFn scale = (ScaleFn)dlsym(lib, "CRVImageDisplay_SetScale");
  DisplayFn display = (DisplayFn)dlsym(lib, "CRVImageDisplay_Display");
  if (!construct || !destruct || !initial || !scale || !display) {
    fprintf(stderr, "missing symbol\n");
    return 1;
  }
  int blocks = QmLiveGlobalBlocks(), objects = QmLiveGdiObjects();

  /* A 2 x 2, 24-bit DIB: bottom row red, green; top row blue, white. */
  BITMAPINFOHEADER h = {40, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  static const uint8_t bits[16] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
  HGLOBAL dib = GlobalAlloc(GHND, 40 + sizeof bits);
  uint8_t* p = (uint8_t*)GlobalLock(dib);
  memcpy(p, &h, 40);
  memcpy(p + 40, bits, sizeof bits);
  GlobalUnlock(dib);

  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = 40;
  bi.bmiHeader.biWidth = 4;
  bi.bmiHeader.biHeight = -4;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* canvas_bits = NULL;
  HBITMAP canvas = CreateDIBSection(NULL, &bi, DIB_RGB_COLORS, &canvas_bits, NULL, 0);
  HDC dc = CreateCompatibleDC(NULL);
  HGDIOBJ old = SelectObject(dc, canvas);

  CRVImageDisplay object; /* on this program's stack */
  construct(&object);
  printf("constructed %d/%d %u\n", object.m_scaleNumerator, object.m_scaleDenominator, object.m_rotation);
  initial(&object, dib);
  printf("initial %dx%d %d %d\n", object.m_width, object.m_height, object.m_bitsPerSample, object.m_samplesPerPixel);
  scale(&object, 2, 1);
  RECT dest = {0, 0, 3, 3};
  display(&object, dc, NULL, &dest, 0, SRCCOPY);
  destruct(&object);
  GlobalFree(dib);

  const uint32_t* px = (const uint32_t*)canvas_bits;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) printf("%06X%s", px[y * 4 + x] & 0xFFFFFF, x == 3 ? "\n" : " ");
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(canvas);
  printf("leaks %d %d\n", QmLiveGlobalBlocks() - blocks, QmLiveGdiObjects() - objects);
  dlclose(lib);
  return 0;
}
