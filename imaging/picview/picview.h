/* Public interface of libpicview.so: the image display class CRVImageDisplay, which shows
 * one packed DIB (held in a global memory block) in a device context with cropping,
 * scaling, rotation, gamma, brightness and dithering, and flat C functions over it for C
 * callers. The member order and types are fixed; C code may hold the object as the
 * struct below (for example on its stack) and construct it through the exported
 * constructor symbol named here. Built on the drawing layer's types (qmgdi.h). */
#ifndef QM_IMAGING_PICVIEW_PICVIEW_H
#define QM_IMAGING_PICVIEW_PICVIEW_H

#include <stddef.h>
#include <stdint.h>

#include "platform/gdi/qmgdi.h"

#define PICVIEW_API __attribute__((visibility("default")))

/* Exported symbols of the class's constructor and destructor, for C callers that place
 * the object themselves: each takes the object's address. */
#define CRVIMAGEDISPLAY_CONSTRUCTOR_SYMBOL "_ZN15CRVImageDisplayC1Ev"
#define CRVIMAGEDISPLAY_DESTRUCTOR_SYMBOL "_ZN15CRVImageDisplayD1Ev"

#ifdef __cplusplus
class CRVImageData;

/* The caller's device-context value: exactly one HDC. */
class CRVDC {
 public:
  HDC m_hDC;
};

class PICVIEW_API CRVImageDisplay {
 public:
  CRVImageDisplay();
  ~CRVImageDisplay();
  CRVImageDisplay(const CRVImageDisplay&) = delete;
  CRVImageDisplay& operator=(const CRVImageDisplay&) = delete;

  void Initial(void* packedDib);
  void Display(CRVDC dc, RECT* source, RECT* destination, int printPath, uint32_t rop);
  void Display2(CRVDC* dcs, RECT* source, RECT* destination, int printPath, uint32_t rop);
  void SetScale(int32_t numerator, int32_t denominator);
  void SetRotate(uint32_t angle);
  void EnableDither(int32_t on);
  void EnableGamma(int32_t on, int32_t value);
  void EnableBrightness(int32_t on, int32_t value);

  int32_t m_scaleNumerator;
  int32_t m_scaleDenominator;
  uint32_t m_rotation;
  int32_t m_ditherOn;
  int32_t m_gammaOn;
  int32_t m_gammaValue;
  int32_t m_brightnessOn;
  int32_t m_brightnessValue;
  int32_t m_bitsPerSample;
  int32_t m_samplesPerPixel;
  int32_t m_width;
  int32_t m_height;
  CRVImageData* m_data;

 private:
  void Run(CRVDC* dcs, int count, RECT* source, RECT* destination, int printPath, uint32_t rop);
};

static_assert(offsetof(CRVImageDisplay, m_scaleNumerator) == 0, "layout");
static_assert(offsetof(CRVImageDisplay, m_scaleDenominator) == 4, "layout");
static_assert(offsetof(CRVImageDisplay, m_rotation) == 8, "layout");
static_assert(offsetof(CRVImageDisplay, m_ditherOn) == 12, "layout");
static_assert(offsetof(CRVImageDisplay, m_gammaOn) == 16, "layout");
static_assert(offsetof(CRVImageDisplay, m_gammaValue) == 20, "layout");
static_assert(offsetof(CRVImageDisplay, m_brightnessOn) == 24, "layout");
static_assert(offsetof(CRVImageDisplay, m_brightnessValue) == 28, "layout");
static_assert(offsetof(CRVImageDisplay, m_bitsPerSample) == 32, "layout");
static_assert(offsetof(CRVImageDisplay, m_samplesPerPixel) == 36, "layout");
static_assert(offsetof(CRVImageDisplay, m_width) == 40, "layout");
static_assert(offsetof(CRVImageDisplay, m_height) == 44, "layout");
static_assert(offsetof(CRVImageDisplay, m_data) == 48, "layout");
static_assert(sizeof(CRVDC) == sizeof(HDC), "CRVDC holds one HDC");

extern "C" {
#else
/* The object as C code sees it: the same members in the same order. */
typedef struct CRVImageDisplay {
  int32_t m_scaleNumerator;
  int32_t m_scaleDenominator;
  uint32_t m_rotation;
  int32_t m_ditherOn;
  int32_t m_gammaOn;
  int32_t m_gammaValue;
  int32_t m_brightnessOn;
  int32_t m_brightnessValue;
  int32_t m_bitsPerSample;
  int32_t m_samplesPerPixel;
  int32_t m_width;
  int32_t m_height;
  void* m_data;
} CRVImageDisplay;
_Static_assert(offsetof(CRVImageDisplay, m_data) == 48, "layout");
#endif

/* Flat functions over the class. New returns a heap object that Delete frees; the others
 * also take an object constructed in place. */
PICVIEW_API CRVImageDisplay* CRVImageDisplay_New(void);
PICVIEW_API void CRVImageDisplay_Delete(CRVImageDisplay* self);
PICVIEW_API void CRVImageDisplay_Initial(CRVImageDisplay* self, void* packedDib);
PICVIEW_API void CRVImageDisplay_Display(CRVImageDisplay* self, HDC dc, RECT* source, RECT* destination,
                                         int printPath, uint32_t rop);
PICVIEW_API void CRVImageDisplay_Display2(CRVImageDisplay* self, HDC dcs[2], RECT* source, RECT* destination,
                                          int printPath, uint32_t rop);
PICVIEW_API void CRVImageDisplay_SetScale(CRVImageDisplay* self, int32_t numerator, int32_t denominator);
PICVIEW_API void CRVImageDisplay_SetRotate(CRVImageDisplay* self, uint32_t angle);
PICVIEW_API void CRVImageDisplay_EnableDither(CRVImageDisplay* self, int32_t on);
PICVIEW_API void CRVImageDisplay_EnableGamma(CRVImageDisplay* self, int32_t on, int32_t value);
PICVIEW_API void CRVImageDisplay_EnableBrightness(CRVImageDisplay* self, int32_t on, int32_t value);

#ifdef __cplusplus
}
#endif
#endif
