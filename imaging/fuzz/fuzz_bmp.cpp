// libFuzzer target: BMP files as picview's callers show them: the drawing layer's BMP
// reader makes a packed DIB, the image display class copies it (Initial) and shows it
// on a small screen, cropped, scaled, rotated, with gamma, brightness and dithering, on
// a true-colour or palette screen, for the screen or the printer path; the settings
// follow from the input's size, so every file meets each of them. Built with clang by
// scripts/fuzz; testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include <cstddef>
#include <cstdint>

#include "imaging/picview/img_ops.h"
#include "imaging/picview/picview.h"
#include "testsupport/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::fuzz::MemFile file(data, size);
  HGLOBAL dib = nullptr;
  if (QmReadBmpFile(file.path().c_str(), &dib) != QMGDI_FILE_OK) return 0;
  CRVImageDisplay display;
  display.Initial(dib);
  GlobalFree(dib);
  const size_t pick = size;
  const int32_t scales[][2] = {{1, 1}, {1, 2}, {3, 2}, {2, 5}, {7, 3}};
  display.SetScale(scales[pick % 5][0], scales[pick % 5][1]);
  const uint32_t angles[] = {0, 9000, 18000, 27000, 4500, 1234};
  display.SetRotate(angles[(pick / 5) % 6]);
  display.EnableDither(int32_t(pick / 3 % 2));
  display.EnableGamma(int32_t(pick / 7 % 2), 150);
  display.EnableBrightness(int32_t(pick / 11 % 2), -20);
  const int32_t palettes[] = {0, 16, 256, 2};
  QmScreenKind kind{palettes[pick / 2 % 4], int32_t(pick / 13 % 2), 32, 24};
  if (!QmSetScreen(&kind)) return 0;
  RECT source{0, 0, display.m_width / 2 + 1, display.m_height / 2 + 1};
  RECT dest{0, 0, kind.width - 1, kind.height - 1};
  HDC screen = GetDC(nullptr);
  display.Display(CRVDC{screen}, pick % 2 ? &source : nullptr, &dest, kind.printer, SRCCOPY);
  ReleaseDC(nullptr, screen);
  ImgGetStatus();
  return 0;
}
