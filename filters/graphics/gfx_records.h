// The records that cross between gfxcast's export writer, its graphic access routines
// (exported as GA*) and their callers: the graphic selector, drawing parameters, the
// output image and the graphic information record, with their binary sizes.
#pragma once
#include <cstdint>

#include "filters/common/kvx_abi.h"

namespace gfx {

struct GraphicSelector {  // 32 bytes
  uint32_t size;          // 32
  uint32_t kind;          // 1
  uint16_t section;
  uint16_t graphic;
  int32_t rect[4];        // crop amounts in percent: left, top, right, bottom
  uint32_t rect_given;
};

struct DrawParams {  // 36 bytes
  uint32_t size;     // 36
  uint32_t zero1, zero2;
  uint32_t option25, option26;
  uint32_t mode;
  uint32_t zero3, zero4;
  uint32_t export_type;
};

struct OutputImage {  // 52 bytes
  uint32_t size;      // 52
  uint32_t width, height;
  uint32_t option25, option26;
  uint32_t request_flags;  // bit 1: device output
  KVXBLOCK pixel_block;
  uint32_t format;
  uint32_t data_size;
  KVXBLOCK palette_block;
  uint32_t palette_count;
  uint32_t transparent;
  uint16_t transparent_index;
  uint16_t pad;
};

struct GraphicInfo {  // 20 bytes
  uint32_t size;      // 20
  uint32_t width, height;
  uint32_t units_x, units_y;
};

static_assert(sizeof(GraphicSelector) == 32 && sizeof(DrawParams) == 36 && sizeof(OutputImage) == 52 &&
              sizeof(GraphicInfo) == 20);

}  // namespace gfx

extern "C" {
KVX_API KVXSTATUS GAOpenGraphic(KVXHANDLE owner, KVXHANDLE* graphic);
KVX_API KVXSTATUS GACloseGraphic(KVXHANDLE graphic);
KVX_API KVXSTATUS GAGetGraphicInfo(KVXHANDLE graphic, gfx::GraphicSelector* selector, gfx::GraphicInfo* info);
KVX_API KVXSTATUS GAGraphicToHandle(KVXHANDLE graphic, gfx::GraphicSelector* selector, gfx::DrawParams* params,
                                    gfx::OutputImage* image, uint32_t fallback_size);
KVX_API KVXSTATUS GAGraphicToDevice(KVXHANDLE graphic, gfx::GraphicSelector* selector, void* drawing, KVXDEVICE* device);
KVX_API KVXSTATUS GAGraphicToContext(KVXHANDLE graphic, gfx::GraphicSelector* selector, KVXDEVICE* device,
                                     KVXCONTEXT* context);
}
