// The binding of gfxcast to the outside graphics library pixport32 for TIFF and JPEG:
// the raster is wrapped as an in-memory Windows bitmap, read by pixport32's BMP import
// filter through our source routine and written by its TIFF or JPEG export filter through
// our sink routine into the export's output IO object. Everything is loaded from the
// directory of libgfxcast.so at each conversion and unloaded afterwards.
#pragma once
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"
#include "filters/graphics/pixport/pixport_protocol.h"

namespace gfx {

// quality and the values of KVXOPT_TIFF20 to KVXOPT_TIFF24 (the quality is clamped to
// 1..100 in place for JPEG). 0, 13, 15 or 18; 47 when the output comes up short.
KVXSTATUS OutsideLibraryWriter(KVXIO* output, const uint8_t* rows, uint32_t data_size, uint32_t format, uint32_t width,
                               int32_t height, uint32_t stride, const uint8_t* palette, uint32_t palette_count,
                               uint32_t export_type, uint32_t options[6]);
KVXSTATUS FilterConversion(KVXIO* output, const uint8_t* header, uint32_t header_size, const uint8_t* rows,
                           uint32_t data_size, uint32_t export_type, uint32_t options[6]);
// The directory part of path (up to and including its last '/', else "") with the file
// name of pixport32 appended; the module, or null.
void* LoadLibraryBeside(const std::string& path);

// The in-memory bitmap seen by the import filter, and our two routines (exposed for tests).
struct MemorySource {
  uint32_t position;
  const uint8_t* header;
  uint32_t header_size;
  const uint8_t* rows;
  uint32_t data_size;
  uint32_t total;
};
struct OutputSink {
  KVXIO* output;
  uint8_t* buffer;
  uint32_t capacity;
  uint32_t held;
  KVXSTATUS failed;  // the first failed write, kept for the export's status
};
int32_t SourceReadRoutine(void* source, uint32_t operation, void* buffer, uint32_t count);
int32_t SinkWriteRoutine(void* sink, uint32_t operation, void* buffer, uint32_t count);

}  // namespace gfx
