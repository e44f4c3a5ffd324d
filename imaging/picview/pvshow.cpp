// pvshow: shows a BMP file the way picview's callers do and writes what the screen
// shows as a PNG file. The BMP becomes a packed DIB in a global block, the image handle
// adopts it, and it is drawn at its own size on a screen of the chosen kind (true
// colour by default; -palette N for a palette device of N entries, whose palette the
// image's own colours are realised into; -printer for a printer). Built on picview's
// image handles and the drawing layer.
//
// Usage: pvshow [-palette N] [-printer] input.bmp output.png
// Exit status 0 on success, 1 when the picture cannot be shown or written, 2 for usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/picview/img_record.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: pvshow [-palette N] [-printer] input.bmp output.png\n");
  return 2;
}

const char* file_error(int32_t code) {
  switch (code) {
    case QMGDI_FILE_UNREADABLE: return "cannot read the file";
    case QMGDI_FILE_BAD: return "not a BMP file that can be shown, or damaged";
    case QMGDI_FILE_NOMEM: return "out of memory";
    case QMGDI_FILE_UNWRITABLE: return "cannot write the file";
    default: return "failed";
  }
}

}  // namespace

int main(int argc, char** argv) {
  QmScreenKind kind{0, 0, 0, 0};
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (std::strcmp(argv[i], "-palette") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long n = std::strtol(argv[++i], &end, 10);
      if (*end || n < 2 || n > 256) return usage();
      kind.paletteEntries = int32_t(n);
    } else if (std::strcmp(argv[i], "-printer") == 0) {
      kind.printer = 1;
    } else {
      return usage();
    }
  }
  if (argc - i != 2) return usage();
  const char* in = argv[i];
  const char* out = argv[i + 1];

  HGLOBAL dib = nullptr;
  if (int32_t r = QmReadBmpFile(in, &dib); r != QMGDI_FILE_OK) {
    std::fprintf(stderr, "pvshow: %s: %s\n", in, file_error(r));
    return 1;
  }
  HIMG img = ImgFromDIB(dib);
  if (!img) {
    std::fprintf(stderr, "pvshow: %s: %s (status %d, %s)\n", in, ImgStatusText(ImgGetStatus()), ImgGetStatus(),
                 ImgGetMessage());
    GlobalFree(dib);
    return 1;
  }
  const BITMAPINFOHEADER* h = ImgGetInfo(img, nullptr);
  kind.width = h->biWidth;
  kind.height = h->biHeight;
  if (!QmSetScreen(&kind)) {
    std::fprintf(stderr, "pvshow: %s: the picture is too large to show\n", in);
    ImgClose(img);
    return 1;
  }
  HDC screen = GetDC(nullptr);
  HPALETTE pal = ImgGetPalette(img);
  HPALETTE old = nullptr;
  if (pal) {
    old = SelectPalette(screen, pal, 0);
    RealizePalette(screen);
  }
  int old_mode = SetStretchBltMode(screen, COLORONCOLOR);
  RECT dest{0, 0, kind.width - 1, kind.height - 1};
  int32_t status = ImgDrawImage(img, screen, &dest, nullptr);
  SetStretchBltMode(screen, old_mode);
  if (pal) {
    SelectPalette(screen, old, 1);
    DeleteObject(pal);
  }
  ReleaseDC(nullptr, screen);
  ImgClose(img);
  if (status != IMG_OK) {
    std::fprintf(stderr, "pvshow: %s: %s (status %d)\n", in, ImgStatusText(status), status);
    return 1;
  }
  if (int32_t r = QmWritePngFile(out, QmScreenBitmap()); r != QMGDI_FILE_OK) {
    std::fprintf(stderr, "pvshow: %s: %s\n", out, file_error(r));
    return 1;
  }
  return 0;
}
