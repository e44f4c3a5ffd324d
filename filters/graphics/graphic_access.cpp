// The graphic access routines of gfxcast (GA*): one picture of a framework document is
// opened as a module data block of kind 5 (GraphicModuleData), selected by a
// GraphicSelector, measured, and rendered as a raster in the block layer, onto a raster
// device or into a drawing context. Bitmap sections go through the raster engine
// (chunk_bitmap.cpp); drawings through the framework's drawing routines. The export
// writer (gfx_export.cpp) and the framework call these.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "filters/graphics/chunk_bitmap.h"
#include "filters/graphics/gfx_records.h"

namespace gfx {
namespace {

constexpr uint32_t kModuleKind = 5;
constexpr uint32_t kModuleSize = 656;
constexpr uint32_t kFlagSelected = 1u << 1;
constexpr uint32_t kFlagBit5 = 1u << 5;
constexpr uint32_t kNoItem = 0xFFFFFFFFu;
constexpr uint32_t kEmbeddedTag = 0xA0150000u;

using RoutineFn = void*;

struct GraphicModuleData {
  uint32_t kind;
  KVXHANDLE document;
  KVXHANDLE self;
  GraphicSelector selector;
  KVXHANDLE chunker;
  uint32_t filter;
  uintptr_t io;  // the document's IO object, -1 until known
  uint32_t file_id;
  int16_t section;
  uint16_t graphic_type;
  uint32_t data_item;
  char name[40];
  GraphicInfo info;
  uint32_t tr_kind, tr_threshold, tr_direction;  // the transparency request of a drawing
  uint32_t export_type;
  uint32_t device_output;
  uint32_t flags;
  KVXBLOCK list_block;
  uint32_t list_capacity;
  uint32_t numbered;
  uint32_t all_numbered;
  uint32_t ole_flag;
  void* ole;
  uint32_t ole_width, ole_height;
  KVXDRAWSTATE draw;
  uint32_t frame_found;
  RoutineFn routines[4];
};
static_assert(sizeof(GraphicModuleData) <= kModuleSize);

// Locks a graphic handle's module data for one call and unlocks it on every path.
class Locked {
 public:
  explicit Locked(KVXHANDLE h) : h_(h) {
    void* p = nullptr;
    status_ = DALockModuleData(h, &p);
    if (status_ == KVX_OK) md_ = static_cast<GraphicModuleData*>(p);
    if (status_ == KVX_OK && md_->kind != kModuleKind) status_ = KVXERR_BADPARAM;
  }
  ~Locked() {
    if (md_ != nullptr) DAUnlockModuleData(h_);
  }
  KVXSTATUS status() const { return status_; }
  GraphicModuleData* operator->() const { return md_; }
  GraphicModuleData& operator*() const { return *md_; }

 private:
  KVXHANDLE h_;
  GraphicModuleData* md_ = nullptr;
  KVXSTATUS status_;
};

// Runs body; an exception becomes the framework's status for it.
template <class F>
KVXSTATUS guarded(F body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return DAGetExceptionError(KVXERR_NOMEMORY);
  } catch (...) {
    return DAGetExceptionError(0);
  }
}

struct Item {
  uint32_t w[4];
};

// The first item of kind from id on; an item of kind 0 ends the search.
bool find_item(KVXHANDLE ch, uint32_t id, uint32_t kind, Item& out, uint32_t* at = nullptr) {
  for (uint32_t k = 0; k < (1u << 20) && id != kNoItem; ++k) {
    uint32_t next = kNoItem;
    if (CHGetItem(ch, KVXRANGE_ITEMS, id, &out, &next) != KVX_OK) return false;
    if (out.w[0] == kind) {
      if (at) *at = id;
      return true;
    }
    if (out.w[0] == KVXITEM_BREAK) return false;
    id = next;
  }
  return false;
}

uint32_t find_embedded_item(const GraphicModuleData& md, uint32_t locator_id) {
  uint32_t id = kNoItem;
  if (CHGetItemId(md.chunker, 0x10, 0, &id) != KVX_OK) return kNoItem;
  for (uint32_t k = 0; k < (1u << 20); ++k) {
    uint32_t rec[4] = {};
    if (CHGetItem(md.chunker, 0x10, id, rec, nullptr) != KVX_OK) return kNoItem;
    if (rec[2] == locator_id && rec[1] == kEmbeddedTag) return rec[0];
    if (CHNextItemId(md.chunker, 0x10, id, &id) != KVX_OK) return kNoItem;
  }
  return kNoItem;
}

KVXSTATUS read_section_kind(GraphicModuleData& md) {
  uint32_t id = 0;
  KVXSECTIONRECORD rec{};
  if (CHGetItemId(md.chunker, KVXRANGE_SECTIONS, uint32_t(uint16_t(md.section)), &id) != KVX_OK ||
      CHGetItem(md.chunker, KVXRANGE_SECTIONS, id, &rec, nullptr) != KVX_OK)
    return KVXERR_NOFILTER;
  md.graphic_type = uint16_t(rec.Type);
  md.data_item = rec.FirstItem;
  std::memset(md.name, 0, sizeof md.name);
  if (rec.NameUnit != kNoItem && rec.NameLength > 0) {
    uint32_t n = rec.NameLength < 39 ? rec.NameLength : 39;
    for (uint32_t i = 0; i < n; ++i) {
      uint16_t u = 0;
      if (CHGetItem(md.chunker, KVXRANGE_NAMES, rec.NameUnit + i, &u, nullptr) != KVX_OK) break;
      md.name[i] = char(u);
    }
  } else {
    static const uint32_t kNames[9] = {0x12EE1, 0x12EE2, 0x12EE4, 0, 0x12EE3, 0x12EE5, 0x12EE3, 0x12EE7, 0x12EE8};
    char text[40] = "";
    if (md.graphic_type < 9 && kNames[md.graphic_type] != 0) UTGetString(kNames[md.graphic_type], text, 28, 0);
    char number[16];
    std::snprintf(number, sizeof number, " %i", int(uint16_t(md.section)) + 1);
    std::string name = std::string(text) + number;
    std::memcpy(md.name, name.data(), name.size() < 39 ? name.size() : 39);
  }
  return KVX_OK;
}

KVXSTATUS select_graphic(GraphicModuleData& md, const GraphicSelector* s) {
  if (s == nullptr || s->size != 32 || s->kind != 1) return KVXERR_BADPARAM;
  if (md.section != -1 && uint16_t(md.section) != s->section) return KVXERR_BADPARAM;
  uint32_t n = s->graphic;
  if (n > md.numbered || (n == md.numbered && md.all_numbered)) return KVXERR_NOFILTER;
  if (md.list_capacity <= n + 1) {
    uint32_t cap = md.list_capacity + 20;
    KVXBLOCK b = md.list_block ? KVXBlockReAlloc(md.list_block, size_t(cap) * 8, KVXBLOCK_ZEROINIT)
                               : KVXBlockAlloc(KVXBLOCK_MOVABLE | KVXBLOCK_ZEROINIT, size_t(cap) * 8);
    if (b == 0) return KVXERR_NOMEMORY;
    md.list_block = b;
    md.list_capacity = cap;
  }
  if (n == md.numbered) ++md.numbered;
  if (md.section == -1) {
    md.section = int16_t(s->section);
    if (!md.ole_flag) {
      KVXOBJECTLOCATOR loc{};
      if (KVXSTATUS st = DAGetObjectLocator(md.document, &loc)) return st;
      if (loc.Kind == KVXLOCATOR_EMBEDDED) {
        md.graphic_type = loc.GraphicType;
        md.data_item = find_embedded_item(md, loc.Id);
      } else if (KVXSTATUS st = read_section_kind(md)) {
        return st;
      }
    }
  }
  md.selector = *s;
  md.flags = (md.flags | kFlagSelected) & ~kFlagBit5;
  return KVX_OK;
}

KVXSTATUS read_graphic_size(GraphicModuleData& md, GraphicInfo& info) {
  if (!(md.flags & kFlagSelected)) return KVXERR_BADFORMAT;
  if (md.ole_flag) {
    info.width = md.ole_width, info.height = md.ole_height, info.units_x = info.units_y = 1440;
    return KVX_OK;
  }
  Item it{};
  if (md.graphic_type == KVXSECTION_BM) {
    uint32_t hdr[4] = {};
    if (find_item(md.chunker, md.data_item, KVXITEM_BMHEADER, it) &&
        CHGetItem(md.chunker, KVXRANGE_BMHEADERS, it.w[1], hdr, nullptr) == KVX_OK)
      info.width = hdr[0], info.height = hdr[1], info.units_x = hdr[2], info.units_y = hdr[3];
  } else if (md.graphic_type >= 6 && md.graphic_type <= 8) {
    uint32_t at = 0;
    if (find_item(md.chunker, md.data_item, KVXITEM_DRAWFRAME, it, &at)) {
      md.draw.Chunker = md.chunker;
      md.draw.FrameItem = at;
      md.frame_found = 1;
      uint32_t flags = 0, mode = 0;
      if (GAPGetDrawingFrame(&md.draw, &info.width, &info.height, &info.units_x, &info.units_y, &flags, &mode) ==
              KVX_OK &&
          (flags & KVXDRAW_TRANSPARENT) && mode != 1 && md.export_type == KVXEXPORT_GIF)
        md.tr_kind = TR_MASK24, md.tr_threshold = 128, md.tr_direction = 0;
    }
  } else {
    info.width = info.height = info.units_x = info.units_y = 0;
  }
  return KVX_OK;
}

// Renders the selected picture as a raster of the wanted format.
KVXSTATUS render(GraphicModuleData& md, KVXHANDLE graphic, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t opt25, uint32_t opt26, uint32_t fallback, bool use_options, BitmapRead& rd) {
  if (md.graphic_type == KVXSECTION_BM && !md.ole_flag) {
    rd.chunker = md.chunker;
    rd.data_item = md.data_item;
    rd.selector = md.selector;
    rd.info = md.info;
    rd.wanted_format = format;
    rd.wanted_width = width, rd.wanted_height = height;
    rd.option25 = opt25, rd.option26 = opt26;
    rd.fallback_size = fallback;
    rd.export_type = md.export_type;
    uint32_t method = 0, size = 4;
    if (use_options && DAGetOption(graphic, KVXOPT_30, &method, &size) != KVX_OK) method = 0;
    rd.method = method;
    return read_chunk_bitmap(rd);
  }
  if (md.graphic_type < 6 || md.graphic_type > 8 || !md.frame_found) return KVXERR_NOFILTER;
  // Without a size, the resolution options size the drawing by its frame's units.
  GraphicInfo& f = md.info;
  if (width == 0 && height == 0 && opt25 && opt26 && f.units_x >= 1 && f.units_x <= 2400 && f.units_y >= 1 &&
      f.units_y <= 2400) {
    uint64_t w = (uint64_t(opt25) * f.width + f.units_x / 2) / f.units_x;
    uint64_t h = (uint64_t(opt26) * f.height + f.units_y / 2) / f.units_y;
    width = w > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(w ? w : 1);
    height = h > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(h ? h : 1);
  }
  KVXRASTER r{};
  if (KVXSTATUS st = GAPMetafileToHandle(&md.draw, width, height, &r)) return st;
  RasterImage img{};
  img.pixel_block = r.Pixels;
  img.pixels = static_cast<uint8_t*>(KVXBlockLock(r.Pixels));
  img.data_size = r.DataSize, img.width = r.Width, img.height = r.Height, img.format = PIX_24_BGR;
  if (img.pixels == nullptr) {
    KVXBlockFree(r.Pixels);
    return KVXERR_NOMEMORY;
  }
  TransparencyRequest req;
  bool give = md.tr_kind != 0 && pix_bits(format) <= 8;
  if (give) {
    // White paper and light colours are see-through: the drawing is its own mask.
    req.kind = md.tr_kind, req.threshold = uint16_t(md.tr_threshold), req.direction = uint16_t(md.tr_direction);
    if (KVXSTATUS st = raster_copy(img, req.mask)) {
      raster_free(img);
      return st;
    }
  }
  KVXSTATUS st = ConvertImage(img, format, 1, &rd.image, give ? &req : nullptr);
  raster_free(img);
  request_release(req);
  if (st == KVX_OK && give) rd.transparent = req.transparent, rd.transparent_index = req.transparent_index;
  return st;
}

}  // namespace
}  // namespace gfx

using namespace gfx;

extern "C" {

KVXSTATUS GAOpenGraphic(KVXHANDLE owner, KVXHANDLE* graphic) {
  if (graphic == nullptr) return KVXERR_BADPARAM;
  *graphic = 0;
  return guarded([&]() -> KVXSTATUS {
    if (KVXSTATUS st = DAPreOpenDocument(owner)) return st;
    KVXHANDLE h = 0;
    if (KVXSTATUS st = DACreateModuleData(&h, owner, 0, kModuleSize, kModuleKind)) return st;
    void* p = nullptr;
    if (KVXSTATUS st = DALockModuleData(h, &p)) {
      DADestroyModuleData(h);
      return st;
    }
    auto* md = static_cast<GraphicModuleData*>(p);
    uint32_t kind = md->kind;
    std::memset(static_cast<void*>(md), 0, sizeof *md);
    md->kind = kind;
    md->self = h;
    md->info.size = 20;
    md->section = -1;
    md->io = uintptr_t(-1);
    md->routines[0] = reinterpret_cast<void*>(&GAOpenGraphic);
    md->routines[1] = reinterpret_cast<void*>(&GACloseGraphic);
    md->routines[2] = reinterpret_cast<void*>(&GAGetGraphicInfo);
    md->routines[3] = reinterpret_cast<void*>(&GAGraphicToContext);
    md->draw.Size = sizeof(KVXDRAWSTATE);
    KVXSTATUS st = GAPInitGADataDU(&md->draw);
    if (st == 17) st = KVX_OK;
    if (!st) st = DARetrieveDocHandle(h, &md->document);
    if (!st) {
      if (DAGetHChunker(md->document, &md->chunker) == KVX_OK) {
        CHGetFilter(md->chunker, &md->filter);
      } else if (DAGetOLEObject(md->document, &md->ole) == KVX_OK) {
        md->ole_flag = 1;
      }
      DAGetFileId(h, &md->file_id);
      KVXIO* io = nullptr;
      st = DAGetHFile(h, &io);
      if (!st) md->io = uintptr_t(io);
    }
    if (st) {
      GAPDeinitGADataDU(&md->draw);
      DAUnlockModuleData(h);
      DADestroyModuleData(h);
      return st;
    }
    DAUnlockModuleData(h);
    *graphic = h;
    return KVX_OK;
  });
}

KVXSTATUS GACloseGraphic(KVXHANDLE graphic) {
  return guarded([&]() -> KVXSTATUS {
    KVXSTATUS st = KVX_OK;
    {
      Locked md(graphic);
      st = md.status();
      if (st == KVX_OK) {
        if (md->flags & kFlagSelected) md->flags &= ~(kFlagSelected | kFlagBit5);
        GAPDeinitGADataDU(&md->draw);
        if (md->list_block) KVXBlockFree(md->list_block);
        md->list_block = 0, md->list_capacity = 0;
        md->flags = 0;
      }
    }
    // A block of another kind is destroyed too; its status stays the answer.
    KVXSTATUS destroyed = DADestroyModuleData(graphic);
    return st ? st : destroyed;
  });
}

KVXSTATUS GAGetGraphicInfo(KVXHANDLE graphic, GraphicSelector* selector, GraphicInfo* info) {
  if (info == nullptr || info->size != 20) return KVXERR_BADPARAM;
  return guarded([&]() -> KVXSTATUS {
    Locked md(graphic);
    if (md.status()) return md.status();
    if (KVXSTATUS st = select_graphic(*md, selector)) return st;
    if (KVXSTATUS st = read_graphic_size(*md, *info)) return st;
    if (info->width == 0 || info->height == 0) {
      uint16_t t = md->graphic_type;
      if (t == 0) return KVXERR_NOFILTER;  // nothing to measure a text section by
      if (t != 4 && (t < 6 || t > 8)) info->width = 11520, info->height = 15840, info->units_x = info->units_y = 1440;
    }
    return KVX_OK;
  });
}

KVXSTATUS GAGraphicToHandle(KVXHANDLE graphic, GraphicSelector* selector, DrawParams* params, OutputImage* image,
                            uint32_t fallback_size) {
  if (params == nullptr || image == nullptr) return KVXERR_BADPARAM;
  return guarded([&]() -> KVXSTATUS {
    Locked md(graphic);
    if (md.status()) return md.status();
    md->device_output = (image->request_flags >> 1) & 1;
    if (KVXSTATUS st = select_graphic(*md, selector)) return st;
    md->export_type = params->export_type;
    md->tr_kind = 0;
    md->info.size = 20;
    if (KVXSTATUS st = read_graphic_size(*md, md->info)) return st;
    BitmapRead rd;
    if (KVXSTATUS st = render(*md, graphic, image->format, image->width, image->height, image->option25,
                              image->option26, fallback_size, true, rd))
      return st;
    image->width = rd.image.width;
    image->height = rd.image.height;
    image->format = rd.image.format;
    image->data_size = rd.image.data_size;
    image->palette_count = rd.image.palette_count;
    image->transparent = rd.transparent;
    image->transparent_index = rd.transparent_index;
    raster_release_blocks(rd.image, &image->pixel_block, &image->palette_block);
    return KVX_OK;
  });
}

KVXSTATUS GAGraphicToDevice(KVXHANDLE graphic, GraphicSelector* selector, void* /*drawing*/, KVXDEVICE* device) {
  if (device == nullptr || device->Size != sizeof(KVXDEVICE)) return KVXERR_BADPARAM;
  return guarded([&]() -> KVXSTATUS {
    Locked md(graphic);
    if (md.status()) return md.status();
    md->device_output = (device->Flags >> 1) & 1;
    if (KVXSTATUS st = select_graphic(*md, selector)) return st;
    md->tr_kind = 0;
    if (KVXSTATUS st = read_graphic_size(*md, md->info)) return st;
    if (md->graphic_type != KVXSECTION_BM || md->ole_flag) return GAPMetafileToDevice(&md->draw, device);
    BitmapRead rd;
    if (KVXSTATUS st = render(*md, graphic, PIX_24_BGR, device->Width, device->Height, 0, 0, 0, false, rd)) return st;
    device->Width = rd.image.width, device->Height = rd.image.height;
    device->Left = device->Top = 0;
    KVXSTATUS st = GABitmapToDeviceNP(rd.image.pixels, rd.image.width, rd.image.height, rd.image.stride(), device);
    raster_free(rd.image);
    return st;
  });
}

KVXSTATUS GAGraphicToContext(KVXHANDLE graphic, GraphicSelector* selector, KVXDEVICE* device, KVXCONTEXT* context) {
  if (device == nullptr || context == nullptr) return KVXERR_BADPARAM;
  return guarded([&]() -> KVXSTATUS {
    Locked md(graphic);
    if (md.status()) return md.status();
    if (KVXSTATUS st = select_graphic(*md, selector)) return st;
    md->tr_kind = 0;
    if (KVXSTATUS st = read_graphic_size(*md, md->info)) return st;
    if (md->graphic_type != KVXSECTION_BM || md->ole_flag) return GAPMetafileToContext(&md->draw, context);
    if (KVXSTATUS st = GARetrieveContextDeviceNP(context, device)) return st;
    BitmapRead rd;
    if (KVXSTATUS st = render(*md, graphic, PIX_24_BGR, device->Width, device->Height, 0, 0, 0, false, rd)) return st;
    device->Width = rd.image.width, device->Height = rd.image.height;
    KVXSTATUS st = GABitmapToDeviceNP(rd.image.pixels, rd.image.width, rd.image.height, rd.image.stride(), device);
    raster_free(rd.image);
    return st;
  });
}

}  // extern "C"
