// The image display class CRVImageDisplay of libpicview.so: it keeps a private copy of
// the caller's packed DIB and, on Display, runs the pipeline crop, scale, rotate, gamma,
// brightness, dither to the screen palette, draw (for the screen or a printer), closing
// the working image at the end. Failed steps leave the last good image in place. Also the
// flat C functions over the class. Built on the image handles and pixel operations;
// called by picview's outside callers and by pvshow.
#include <atomic>
#include <cstring>
#include <new>

#include "imaging/picview/img_ops.h"
#include "imaging/picview/picview.h"
#include "platform/le.h"

// The inner object: the DIB copy until the working image adopts it, and what Initial
// learnt of the DIB.
class CRVImageData {
 public:
  HGLOBAL dib_copy = nullptr;
  HIMG image = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits_per_sample = 0;
  int32_t samples_per_pixel = 0;

  void release() {
    if (image) ImgClose(image);
    if (dib_copy) GlobalFree(dib_copy);
    image = nullptr;
    dib_copy = nullptr;
  }
};

namespace {

// The screen's palette size, asked once per process: 0 for a device without a palette.
std::atomic<int32_t> g_screen_colours{-1};

int32_t screen_colours() {
  int32_t n = g_screen_colours.load();
  if (n >= 0) return n;
  HDC screen = GetDC(nullptr);
  n = 0;
  if (screen) {
    if (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) n = GetDeviceCaps(screen, SIZEPALETTE);
    ReleaseDC(nullptr, screen);
  }
  g_screen_colours.store(n);
  return n;
}

// Replaces the working image by a step's result (when there is one).
bool take(HIMG& image, HIMG result) {
  if (!result) return false;
  ImgClose(image);
  image = result;
  return true;
}

void draw(HIMG image, HDC dc, RECT* destination, int printPath, uint32_t rop) {
  HPALETTE pal = ImgGetPalette(image);
  ImgSetROP(image, rop);
  HPALETTE old = nullptr;
  if (pal) {
    old = SelectPalette(dc, pal, 0);
    RealizePalette(dc);
  }
  if (!printPath) {
    int mode = SetStretchBltMode(dc, COLORONCOLOR);
    ImgDrawImage(image, dc, destination, nullptr);
    SetStretchBltMode(dc, mode);
  } else {
    ImgPrintImage(image, dc, destination, nullptr);
  }
  if (pal) {
    SelectPalette(dc, old, 1);
    DeleteObject(pal);
  }
}

}  // namespace

CRVImageDisplay::CRVImageDisplay()
    : m_scaleNumerator(1),
      m_scaleDenominator(1),
      m_rotation(0),
      m_ditherOn(0),
      m_gammaOn(0),
      m_gammaValue(0),
      m_brightnessOn(0),
      m_brightnessValue(0),
      m_bitsPerSample(0),
      m_samplesPerPixel(0),
      m_width(0),
      m_height(0),
      m_data(new (std::nothrow) CRVImageData) {}

CRVImageDisplay::~CRVImageDisplay() {
  if (m_data) m_data->release();
  delete m_data;
}

void CRVImageDisplay::Initial(void* packedDib) {
  if (!m_data) return;
  m_data->release();
  auto* handle = static_cast<HGLOBAL>(packedDib);
  size_t size = handle ? GlobalSize(handle) : 0;
  const auto* p = size ? static_cast<const uint8_t*>(GlobalLock(handle)) : nullptr;
  if (!p) return;
  // Width, height and bit count from a header of 40 bytes or more (the later header
  // kinds begin as the 40-byte one), else from a core header; a block too short for the
  // header it names is not taken.
  int32_t w = 0, h = 0, bpp = 0;
  bool ok = false;
  if (size >= 4 && qm::le::get32(p) >= 40) {
    if (size >= 40) {
      w = qm::le::get32s(p + 4), h = qm::le::get32s(p + 8), bpp = qm::le::get16(p + 14);
      ok = true;
    }
  } else if (size >= 12) {
    w = qm::le::get16(p + 4), h = qm::le::get16(p + 6), bpp = qm::le::get16(p + 10);
    ok = true;
  }
  HGLOBAL copy = ok ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size) : nullptr;
  if (copy) {
    std::memcpy(GlobalLock(copy), p, size);
    GlobalUnlock(copy);
  }
  GlobalUnlock(handle);
  if (!copy) return;
  m_data->dib_copy = copy;
  m_data->width = w;
  m_data->height = h;
  m_data->bits_per_sample = bpp >= 8 ? 8 : bpp;
  m_data->samples_per_pixel = bpp >= 24 ? 3 : 1;
  m_width = w;
  m_height = h;
  m_bitsPerSample = m_data->bits_per_sample;
  m_samplesPerPixel = m_data->samples_per_pixel;
}

void CRVImageDisplay::Display(CRVDC dc, RECT* source, RECT* destination, int printPath, uint32_t rop) {
  Run(&dc, 1, source, destination, printPath, rop);
}

void CRVImageDisplay::Display2(CRVDC* dcs, RECT* source, RECT* destination, int printPath, uint32_t rop) {
  Run(dcs, 2, source, destination, printPath, rop);
}

void CRVImageDisplay::Run(CRVDC* dcs, int count, RECT* source, RECT* destination, int printPath, uint32_t rop) {
  if (!m_data || !m_data->dib_copy) return;
  CRVImageData& d = *m_data;
  // 1. The working image adopts the DIB copy.
  HIMG image = ImgFromDIB(d.dib_copy);
  if (!image) return;
  d.dib_copy = nullptr;
  d.image = image;
  auto refresh = [&] {
    const BITMAPINFOHEADER* h = ImgGetInfo(image, nullptr);
    d.width = h->biWidth;
    d.height = h->biHeight;
  };
  refresh();
  // 2. Crop to an exclusive source rectangle other than the whole image.
  if (source && !(source->left == 0 && source->top == 0 && source->right == m_width && source->bottom == m_height)) {
    // Sizes in 64 bits; an empty or inverted rectangle is no crop (its right or bottom
    // edge may be INT32_MIN, so the inclusive edges are made only for a positive size).
    int64_t w = int64_t(source->right) - source->left, h = int64_t(source->bottom) - source->top;
    if (w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX) {
      RECT inclusive{source->left, source->top, source->right - 1, source->bottom - 1};
      if (take(image, ImgCopy(image, int32_t(w), int32_t(h), &inclusive, 0))) refresh();
    }
  }
  // 3. Scale; a numerator or denominator of 0 or less skips the step, and a size that
  // truncates to 0 becomes 1.
  if (m_scaleNumerator != m_scaleDenominator && m_scaleNumerator > 0 && m_scaleDenominator > 0) {
    int64_t w = int64_t(d.width) * m_scaleNumerator / m_scaleDenominator;
    int64_t h = int64_t(d.height) * m_scaleNumerator / m_scaleDenominator;
    w = w < 1 ? 1 : w;
    h = h < 1 ? 1 : h;
    int32_t depth = d.bits_per_sample * d.samples_per_pixel;
    uint32_t flags = depth == 1 ? uint32_t(IMG_COPY_GRAY4) : depth == 8 ? uint32_t(IMG_COPY_GRAY8) : depth == 24 ? uint32_t(IMG_COPY_COLOUR) : 0u;
    if (w <= INT32_MAX && h <= INT32_MAX && take(image, ImgCopy(image, int32_t(w), int32_t(h), nullptr, flags)))
      refresh();
  }
  // 4. Rotate on a white background.
  if (m_rotation != 0 && m_rotation != 36000 && take(image, ImgRotate(image, m_rotation, 0xFFFFFF))) refresh();
  // 5, 6. Gamma and brightness in place.
  if (m_gammaOn) ImgGamma(image, m_gammaValue);
  if (m_brightnessOn && m_brightnessValue != 0) ImgBrightness(image, m_brightnessValue);
  // 7. Dither to the screen's palette.
  if (m_ditherOn) {
    int32_t colours = screen_colours();
    if (colours > 0 && take(image, ImgReduceColors(image, uint32_t(colours), 0x42, nullptr))) {
      refresh();
      int32_t bits = 0;
      while ((2 << bits) <= colours) ++bits;
      m_bitsPerSample = bits;
      m_samplesPerPixel = 1;
    }
  }
  d.image = image;
  // 8, 9. Draw into each device context.
  for (int i = 0; i < count; ++i) draw(image, dcs[i].m_hDC, destination, printPath, rop);
  // 10. The working image (and with it the DIB copy) is gone.
  ImgClose(image);
  d.image = nullptr;
}

void CRVImageDisplay::SetScale(int32_t numerator, int32_t denominator) {
  m_scaleNumerator = numerator;
  m_scaleDenominator = denominator;
}

void CRVImageDisplay::SetRotate(uint32_t angle) { m_rotation = angle; }

void CRVImageDisplay::EnableDither(int32_t on) { m_ditherOn = on; }

void CRVImageDisplay::EnableGamma(int32_t on, int32_t value) {
  m_gammaOn = on;
  m_gammaValue = value;
}

void CRVImageDisplay::EnableBrightness(int32_t on, int32_t value) {
  m_brightnessOn = on;
  m_brightnessValue = value;
}

extern "C" {

CRVImageDisplay* CRVImageDisplay_New(void) { return new (std::nothrow) CRVImageDisplay; }
void CRVImageDisplay_Delete(CRVImageDisplay* self) { delete self; }
void CRVImageDisplay_Initial(CRVImageDisplay* self, void* packedDib) { self->Initial(packedDib); }
void CRVImageDisplay_Display(CRVImageDisplay* self, HDC dc, RECT* source, RECT* destination, int printPath,
                             uint32_t rop) {
  self->Display(CRVDC{dc}, source, destination, printPath, rop);
}
void CRVImageDisplay_Display2(CRVImageDisplay* self, HDC dcs[2], RECT* source, RECT* destination, int printPath,
                              uint32_t rop) {
  CRVDC pair[2] = {CRVDC{dcs[0]}, CRVDC{dcs[1]}};
  self->Display2(pair, source, destination, printPath, rop);
}
void CRVImageDisplay_SetScale(CRVImageDisplay* self, int32_t numerator, int32_t denominator) {
  self->SetScale(numerator, denominator);
}
void CRVImageDisplay_SetRotate(CRVImageDisplay* self, uint32_t angle) { self->SetRotate(angle); }
void CRVImageDisplay_EnableDither(CRVImageDisplay* self, int32_t on) { self->EnableDither(on); }
void CRVImageDisplay_EnableGamma(CRVImageDisplay* self, int32_t on, int32_t value) { self->EnableGamma(on, value); }
void CRVImageDisplay_EnableBrightness(CRVImageDisplay* self, int32_t on, int32_t value) {
  self->EnableBrightness(on, value);
}

}  // extern "C"
