// STAND-IN. libpixport32.so: the graphics library itself, near-empty; its filter files
// (bmp_import.cpp, tiff_export.cpp, jpeg_export.cpp) do the work. gfxcast loads it
// beside the import filter before the filter files and unloads it after them.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) uint32_t PixportVersion() { return 1; }
