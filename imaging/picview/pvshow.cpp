// pvshow: shows a BMP file the way picview's callers do and writes what the screen
// shows as a PNG file. The BMP becomes a packed DIB in a global block that the image
// display class copies (Initial); Display then crops, scales, rotates, adjusts, dithers
// and draws it on a screen of the chosen kind (true colour, or a palette device of N
// entries), for the screen or the printer path. With two --out files, Display2 draws
// into the screen and into a second surface of the same kind. Built on the display
// class, picview's image handles (for the status) and the drawing layer.
//
// Usage: pvshow in.bmp [--src l,t,r,b] [--scale n/d] [--rotate a] [--gamma g]
//          [--bright b] [--dither] [--screen truecolor|palette:N] [--printer] [--rop r]
//          [--size w,h] --out x.png [--out y.png]
// The surface is --size, else the size the pipeline gives the picture. Exit status 0 on
// success, 1 when the picture cannot be shown or written (the status and its text are
// printed), 2 for usage.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "imaging/picview/img_ops.h"
#include "imaging/picview/picview.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: pvshow in.bmp [--src l,t,r,b] [--scale n/d] [--rotate a] [--gamma g] [--bright b] "
               "[--dither] [--screen truecolor|palette:N] [--printer] [--rop r] [--size w,h] --out x.png "
               "[--out y.png]\n");
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

// Whole-string integers, separated by one character.
bool parse_ints(const char* text, char sep, int n, int64_t* out) {
  const char* p = text;
  for (int i = 0; i < n; ++i) {
    char* end = nullptr;
    long long v = std::strtoll(p, &end, 0);
    if (end == p) return false;
    if (v < INT32_MIN || v > int64_t(UINT32_MAX)) return false;
    out[i] = v;
    if (i + 1 < n) {
      if (*end != sep) return false;
      p = end + 1;
    } else if (*end) {
      return false;
    }
  }
  return true;
}

// The size the display pipeline gives the picture: crop, scale, rotation.
void predicted_size(const CRVImageDisplay& d, const RECT* src, int64_t* w, int64_t* h) {
  *w = d.m_width, *h = d.m_height;
  if (src && src->right > src->left && src->bottom > src->top) {
    *w = int64_t(src->right) - src->left;
    *h = int64_t(src->bottom) - src->top;
  }
  if (d.m_scaleNumerator > 0 && d.m_scaleDenominator > 0 && d.m_scaleNumerator != d.m_scaleDenominator) {
    *w = std::max<int64_t>(1, *w * d.m_scaleNumerator / d.m_scaleDenominator);
    *h = std::max<int64_t>(1, *h * d.m_scaleNumerator / d.m_scaleDenominator);
  }
  uint32_t a = d.m_rotation;
  if (a == 0 || a == 36000) return;
  if (a % 9000 == 0) {
    if ((a / 9000) % 2) std::swap(*w, *h);
    return;
  }
  double r = (a % 36000) * 0.01 * std::numbers::pi / 180.0, c = std::fabs(std::cos(r)), s = std::fabs(std::sin(r));
  double nw = c * double(*w) + s * double(*h), nh = s * double(*w) + c * double(*h);
  *w = std::max<int64_t>(1, int64_t(nw + 0.5));
  *h = std::max<int64_t>(1, int64_t(nh + 0.5));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return usage();
  const char* in = argv[1];
  CRVImageDisplay display;
  QmScreenKind kind{0, 0, 0, 0};
  RECT src{}, *srcp = nullptr;
  int64_t size[2] = {0, 0};
  bool have_size = false;
  int print_path = 0;
  uint32_t rop = SRCCOPY;
  std::vector<std::string> outs;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    int64_t n[4];
    if (a == "--dither") {
      display.EnableDither(1);
    } else if (a == "--printer") {
      print_path = 1;
      kind.printer = 1;
    } else if (!v) {
      return usage();
    } else if (a == "--src" && parse_ints(v, ',', 4, n)) {
      src = RECT{int32_t(n[0]), int32_t(n[1]), int32_t(n[2]), int32_t(n[3])};
      srcp = &src;
      ++i;
    } else if (a == "--scale" && parse_ints(v, '/', 2, n)) {
      display.SetScale(int32_t(n[0]), int32_t(n[1]));
      ++i;
    } else if (a == "--rotate" && parse_ints(v, 0, 1, n) && n[0] >= 0) {
      display.SetRotate(uint32_t(n[0]));
      ++i;
    } else if (a == "--gamma" && parse_ints(v, 0, 1, n)) {
      display.EnableGamma(1, int32_t(n[0]));
      ++i;
    } else if (a == "--bright" && parse_ints(v, 0, 1, n)) {
      display.EnableBrightness(1, int32_t(n[0]));
      ++i;
    } else if (a == "--rop" && parse_ints(v, 0, 1, n) && n[0] >= 0) {
      rop = uint32_t(n[0]);
      ++i;
    } else if (a == "--size" && parse_ints(v, ',', 2, n) && n[0] > 0 && n[1] > 0) {
      size[0] = n[0], size[1] = n[1];
      have_size = true;
      ++i;
    } else if (a == "--screen" && std::strcmp(v, "truecolor") == 0) {
      kind.paletteEntries = 0;
      ++i;
    } else if (a == "--screen" && std::strncmp(v, "palette:", 8) == 0 && parse_ints(v + 8, 0, 1, n) && n[0] >= 2 &&
               n[0] <= 256) {
      kind.paletteEntries = int32_t(n[0]);
      ++i;
    } else if (a == "--out") {
      outs.push_back(v);
      ++i;
    } else {
      return usage();
    }
  }
  if (outs.empty() || outs.size() > 2) return usage();

  HGLOBAL dib = nullptr;
  if (int32_t r = QmReadBmpFile(in, &dib); r != QMGDI_FILE_OK) {
    std::fprintf(stderr, "pvshow: %s: %s\n", in, file_error(r));
    return 1;
  }
  display.Initial(dib);
  GlobalFree(dib);  // the class keeps its own copy
  int64_t w = size[0], h = size[1];
  if (!have_size) predicted_size(display, srcp, &w, &h);
  if (w > 30000 || h > 30000 || w * h > (int64_t(1) << 26)) {
    std::fprintf(stderr, "pvshow: %s: the picture is too large to show (%lldx%lld)\n", in, (long long)w,
                 (long long)h);
    return 1;
  }
  kind.width = int32_t(w);
  kind.height = int32_t(h);
  if (!QmSetScreen(&kind)) {
    std::fprintf(stderr, "pvshow: %s: the screen cannot be made\n", in);
    return 1;
  }
  // The class hands the destination to an inclusive draw, so the exact size is asked
  // for with the last pixel's coordinates.
  RECT dest{0, 0, kind.width - 1, kind.height - 1};
  HDC screen = GetDC(nullptr);
  HDC second = nullptr;
  HBITMAP second_bm = nullptr;
  HGDIOBJ second_old = nullptr;
  if (outs.size() == 2) {
    second = CreateCompatibleDC(screen);
    second_bm = CreateCompatibleBitmap(screen, kind.width, kind.height);
    second_old = SelectObject(second, second_bm);
    PatBlt(second, 0, 0, kind.width, kind.height, WHITENESS);
    CRVDC dcs[2] = {CRVDC{screen}, CRVDC{second}};
    display.Display2(dcs, srcp, &dest, print_path, rop);
  } else {
    display.Display(CRVDC{screen}, srcp, &dest, print_path, rop);
  }
  int32_t status = ImgGetStatus();
  int rc = 0;
  if (status != IMG_OK) {
    std::fprintf(stderr, "pvshow: %s: status %d: %s\n", in, status, ImgStatusText(status));
    rc = 1;
  } else if (int32_t r = QmWritePngFile(outs[0].c_str(), QmScreenBitmap()); r != QMGDI_FILE_OK) {
    std::fprintf(stderr, "pvshow: %s: %s\n", outs[0].c_str(), file_error(r));
    rc = 1;
  } else if (second) {
    if (int32_t r2 = QmWritePngFile(outs[1].c_str(), second_bm); r2 != QMGDI_FILE_OK) {
      std::fprintf(stderr, "pvshow: %s: %s\n", outs[1].c_str(), file_error(r2));
      rc = 1;
    }
  }
  if (second) {
    SelectObject(second, second_old);
    DeleteObject(second_bm);
    DeleteDC(second);
  }
  ReleaseDC(nullptr, screen);
  if (rc == 0) std::printf("status 1: %s\n", ImgStatusText(IMG_OK));
  return rc;
}
