// gfxcast's export entry: the plug-in skeleton (filters/common/kvx_entry.h) with gfxcast's
// constants, and one export per picture: VwExportOpen opens the graphic and creates the
// output file, VwExportWrite reads the options, asks GAGraphicToHandle for the raster in
// the type's pixel format, writes it with the GIF, bitmap or outside-library writer,
// falls back to a placeholder picture when the host allows it, reports through the two
// graphic callbacks and releases everything. libkvx.so loads this library.
#include <cstddef>
#include <cstring>

#include "filters/common/kvx_entry.h"
#include "filters/graphics/gfx_records.h"
#include "filters/graphics/image_writers.h"
#include "filters/graphics/outside_binding.h"
#include "filters/graphics/placeholders.h"
#include "filters/graphics/raster.h"

namespace gfx {
namespace {

constexpr uint32_t kMaxSide = 32000;
constexpr uint32_t kFallbackSize = 200;

struct FilterData {  // 204 bytes of filter data
  KVXHANDLE document;
  KVXHANDLE graphic;
  GraphicSelector selector;
  DrawParams params;
  OutputImage image;
  KVXIO* output;
  KVXHANDLE export_handle;
  uint32_t export_type;
  uint32_t height, width, option25, option26;
  uint32_t interlace;
  uint32_t quality;  // followed by the five TIFF words: one six-word record
  uint32_t tiff[5];
  uint32_t cb_width, cb_height;
};
static_assert(sizeof(FilterData) <= 204);
static_assert(offsetof(FilterData, tiff) == offsetof(FilterData, quality) + 4);

const uint16_t kExportIds[] = {KVXEXPORT_GIF, KVXEXPORT_JPEG, KVXEXPORT_TIFF, KVXEXPORT_BMP};
const kvx::FilterInfo kInfo = {204, 2, 400, 440, kExportIds, 4, "Oct 26 1999", "23:44:24"};

FilterData& data(void* instance) { return *static_cast<FilterData*>(instance); }

uint32_t pixel_format_for(uint32_t type) {
  if (type == KVXEXPORT_GIF) return PIX_8_INDEXED;
  if (type == KVXEXPORT_BMP) return PIX_24_BGR;
  return PIX_24_BGR ^ (PIX_TOPDOWN | PIX_BOTTOMUP);  // 0x2180000
}

void release_export(FilterData& d) {
  if (d.image.palette_block) KVXBlockFree(d.image.palette_block), d.image.palette_block = 0;
  if (d.image.pixel_block) KVXBlockFree(d.image.pixel_block), d.image.pixel_block = 0;
  if (d.graphic) GACloseGraphic(d.graphic), d.graphic = 0;
  if (d.output) d.output->Close(d.output), d.output = nullptr;
}

KVXSTATUS export_open(uint32_t spec_type, const void* spec, uint32_t export_type, KVXHANDLE export_handle,
                      const void* info, uint32_t /*word6*/, void* instance) {
  FilterData& d = data(instance);
  std::memset(&d, 0, sizeof d);
  d.interlace = 1;
  d.quality = 100;
  d.tiff[3] = d.tiff[4] = 72;
  d.export_type = export_type;
  d.export_handle = export_handle;
  d.selector.size = 32;
  d.selector.kind = 1;
  if (info != nullptr) d.selector.section = uint16_t(static_cast<const KVXSELECTION*>(info)->Words[2]);
  if (KVXSTATUS st = DARetrieveDocHandle(export_handle, &d.document)) return st;
  if (KVXSTATUS st = GAOpenGraphic(export_handle, &d.graphic)) return st;
  if (KVXSTATUS st = IOCreate(&d.output, spec_type, spec, KVXIO_CREATE_READWRITE)) {
    GACloseGraphic(d.graphic);
    d.graphic = 0;
    d.output = nullptr;
    return st;
  }
  return KVX_OK;
}

void read_option(KVXHANDLE h, uint32_t id, void* value, uint32_t size) {
  uint32_t got = size;
  DAGetOption(h, id, value, &got);
}

KVXSTATUS export_write(uint32_t /*word*/, void* instance) {
  FilterData& d = data(instance);
  KVXHANDLE h = d.export_handle;
  read_option(h, KVXOPT_GRAPHICWIDTH, &d.width, 4);
  read_option(h, KVXOPT_GRAPHICHEIGHT, &d.height, 4);
  read_option(h, KVXOPT_GIFINTERLACE, &d.interlace, 4);
  read_option(h, KVXOPT_JPEGQUALITY, &d.quality, 4);
  read_option(h, KVXOPT_25, &d.option25, 4);
  read_option(h, KVXOPT_26, &d.option26, 4);
  for (uint32_t i = 0; i < 5; ++i) read_option(h, KVXOPT_TIFF20 + i, &d.tiff[i], 4);
  KVXSTATUS status = KVX_OK;
  if (d.width > kMaxSide || d.height > kMaxSide) {
    status = KVXERR_BADPARAM;
  } else {
    d.params = DrawParams{36, 0, 0, d.option25, d.option26, (d.option25 && d.option26) ? 2u : 0u, 0, 0, d.export_type};
    d.image = OutputImage{52, d.width, d.height, d.option25, d.option26, 0, 0, pixel_format_for(d.export_type),
                          0, 0, 0, 0, 0, 0};
    uint32_t size = 16;
    if (DAGetOption(h, KVXOPT_GRAPHICRECT, d.selector.rect, &size) == KVX_OK) d.selector.rect_given = 1;
    status = GAGraphicToHandle(d.graphic, &d.selector, &d.params, &d.image, kFallbackSize);
    if (status == KVX_OK) {
      if (d.image.height == 0 || d.image.width == 0) {
        status = KVXERR_BADPARAM;  // the stride divides by the height
      } else {
        uint32_t stride = d.image.data_size / d.image.height;
        auto* rows = static_cast<const uint8_t*>(KVXBlockLock(d.image.pixel_block));
        auto* pal = d.image.palette_block ? static_cast<const uint8_t*>(KVXBlockLock(d.image.palette_block)) : nullptr;
        if (rows == nullptr) {
          status = KVXERR_NOMEMORY;
        } else {
          WriterInput in{d.output, rows, d.image.data_size, d.image.format, d.image.width, -int32_t(d.image.height),
                         stride, pal, d.image.palette_count};
          switch (d.export_type) {
            case KVXEXPORT_BMP: status = WriteBitmap(in); break;
            case KVXEXPORT_GIF:
              status = WriteGif(in, d.interlace != 0, d.image.transparent != 0, uint8_t(d.image.transparent_index));
              break;
            case KVXEXPORT_TIFF:
            case KVXEXPORT_JPEG:
              status = OutsideLibraryWriter(d.output, rows, d.image.data_size, d.image.format, d.image.width,
                                            int32_t(d.image.height), stride, pal, d.image.palette_count,
                                            d.export_type, &d.quality);
              break;
            default: status = KVXERR_BADPARAM;
          }
          KVXBlockUnlock(d.image.pixel_block);
        }
        if (pal) KVXBlockUnlock(d.image.palette_block);
      }
    }
  }
  d.cb_width = d.image.width;
  d.cb_height = d.image.height;
  if (status != KVX_OK) {
    uint32_t fallback = 0;
    read_option(h, KVXOPT_FALLBACKPICTURE, &fallback, 4);
    KVXGRAPHICFAILURE failure{d.output, &d.cb_width, &d.cb_height, d.export_type, status};
    KVXSTATUS answer = EXDoCallback(h, KVXCB_GRAPHICFAILED, &failure);
    if (answer == KVXCB_USEDEFAULT && fallback != 0 && d.output != nullptr) {
      if (d.export_type == KVXEXPORT_GIF) WritePlaceholderGif(d.output);
      if (d.export_type == KVXEXPORT_JPEG) WritePlaceholderJpeg(d.output);
    }
  }
  KVXGRAPHICDONE done{d.cb_width, d.cb_height};
  EXDoCallback(h, KVXCB_GRAPHICDONE, &done);
  release_export(d);
  return status;
}

KVXSTATUS export_close(uint32_t /*word*/, void* instance) {
  release_export(data(instance));
  return KVX_OK;
}

}  // namespace
}  // namespace gfx

using gfx::kInfo;
KVX_DEFINE_FILTER_ENTRY(kInfo, gfx::export_open, gfx::export_close, gfx::export_write)
