// The framework's drawing routines (kvxdu): drawings of a document's chunks are a frame
// and a short display list (filled rectangles, linear gradients) in range 6; these
// routines measure them and rasterise them into 24-bit rows, onto an off-screen raster
// device of ours or into a drawing context. gfxcast's graphic access routines call them;
// bitmaps are drawn onto a device by GABitmapToDeviceNP.
#include <cstring>
#include <vector>

#include "filters/framework/kvx_state.h"

using namespace kvx;

namespace {

constexpr uint32_t kMaxSide = 32000;
constexpr uint32_t kMaxUnits = 4096;  // display-list units read at most

struct Frame {
  int32_t x1, y1, x2, y2;
  uint32_t units_x, units_y;
  uint32_t flags, mode;
  uint32_t first_unit;  // range-6 unit of the frame
};

KVXSTATUS read_frame(const KVXDRAWSTATE* s, const ChunkModel*& model, Frame& f) {
  if (s == nullptr || s->Size != sizeof(KVXDRAWSTATE)) return KVXERR_BADPARAM;
  ChunkerObj* c = framework().find<ChunkerObj>(s->Chunker);
  if (c == nullptr) return KVXERR_BADHANDLE;
  model = c->model.get();
  uint32_t index;
  if (!model->index_of(KVXRANGE_ITEMS, s->FrameItem, index)) return KVXERR_NOFILTER;
  if (model->word(KVXRANGE_ITEMS, index, 0) != KVXITEM_DRAWFRAME) return KVXERR_NOFILTER;
  f.first_unit = model->word(KVXRANGE_ITEMS, index, 1);
  f.flags = model->word(KVXRANGE_ITEMS, index, 2);
  f.mode = model->word(KVXRANGE_ITEMS, index, 3);
  uint32_t n = model->unit_count(KVXRANGE_DRAWINGS);
  if (f.first_unit >= n || n - f.first_unit < 2) return KVXERR_NOFILTER;
  f.x1 = int32_t(model->word(KVXRANGE_DRAWINGS, f.first_unit, 0));
  f.y1 = int32_t(model->word(KVXRANGE_DRAWINGS, f.first_unit, 1));
  f.x2 = int32_t(model->word(KVXRANGE_DRAWINGS, f.first_unit, 2));
  f.y2 = int32_t(model->word(KVXRANGE_DRAWINGS, f.first_unit, 3));
  f.units_x = model->word(KVXRANGE_DRAWINGS, f.first_unit + 1, 0);
  f.units_y = model->word(KVXRANGE_DRAWINGS, f.first_unit + 1, 1);
  return KVX_OK;
}

int64_t span(int32_t a, int32_t b) { return a < b ? int64_t(b) - a : int64_t(a) - b; }

// Natural pixel size: the frame at 96 dots per inch (1 unit = 1 pixel without units).
void natural_size(const Frame& f, uint32_t& w, uint32_t& h) {
  int64_t fw = span(f.x1, f.x2), fh = span(f.y1, f.y2);
  w = uint32_t(f.units_x ? (fw * 96 + f.units_x / 2) / f.units_x : fw);
  h = uint32_t(f.units_y ? (fh * 96 + f.units_y / 2) / f.units_y : fh);
}

struct Target {
  uint8_t* pixels;
  uint32_t stride, dev_w, dev_h;
  int32_t left, top;
  uint32_t width, height;  // the picture's size on the target
};

void put(const Target& t, int64_t x, int64_t y, uint32_t colour) {
  int64_t dx = t.left + x, dy = t.top + y;
  if (dx < 0 || dy < 0 || dx >= t.dev_w || dy >= t.dev_h) return;
  uint8_t* p = t.pixels + size_t(dy) * t.stride + 3 * size_t(dx);
  p[0] = uint8_t(colour >> 16), p[1] = uint8_t(colour >> 8), p[2] = uint8_t(colour);
}

uint32_t mix(uint32_t a, uint32_t b, int64_t num, int64_t den) {
  uint32_t out = 0;
  for (int sh = 0; sh < 24; sh += 8) {
    int64_t ca = (a >> sh) & 0xFF, cb = (b >> sh) & 0xFF;
    out |= uint32_t(den ? ca + (cb - ca) * num / den : ca) << sh;
  }
  return out;
}

// Plays the display list into the target: frame coordinates map onto its width x height.
KVXSTATUS play(const ChunkModel& m, const Frame& f, const Target& t) {
  int64_t fw = span(f.x1, f.x2), fh = span(f.y1, f.y2);
  if (fw == 0 || fh == 0) return KVXERR_BADFORMAT;
  int32_t ox = f.x1 < f.x2 ? f.x1 : f.x2, oy = f.y1 < f.y2 ? f.y1 : f.y2;
  auto px = [&](int64_t v) { return (v - ox) * int64_t(t.width) / fw; };
  auto py = [&](int64_t v) { return (v - oy) * int64_t(t.height) / fh; };
  uint32_t n = m.unit_count(KVXRANGE_DRAWINGS);
  uint32_t u = f.first_unit + 2;
  for (uint32_t guard = 0; guard < kMaxUnits; ++guard) {
    if (u >= n) return KVXERR_BADFORMAT;  // no end
    uint32_t op = m.word(KVXRANGE_DRAWINGS, u, 0);
    if (op == KVXDRAWOP_END) return KVX_OK;
    int64_t l, tp, r, b;
    uint32_t c1, c2 = 0, dir = 0;
    if (op == KVXDRAWOP_RECT) {
      c1 = m.word(KVXRANGE_DRAWINGS, u, 1);
      uint32_t lt = m.word(KVXRANGE_DRAWINGS, u, 2), rb = m.word(KVXRANGE_DRAWINGS, u, 3);
      l = int16_t(lt & 0xFFFF), tp = int16_t(lt >> 16), r = int16_t(rb & 0xFFFF), b = int16_t(rb >> 16);
      u += 1;
    } else if (op == KVXDRAWOP_GRADIENT) {
      if (u + 1 >= n) return KVXERR_BADFORMAT;
      c1 = m.word(KVXRANGE_DRAWINGS, u, 1), c2 = m.word(KVXRANGE_DRAWINGS, u, 2), dir = m.word(KVXRANGE_DRAWINGS, u, 3);
      l = int32_t(m.word(KVXRANGE_DRAWINGS, u + 1, 0)), tp = int32_t(m.word(KVXRANGE_DRAWINGS, u + 1, 1));
      r = int32_t(m.word(KVXRANGE_DRAWINGS, u + 1, 2)), b = int32_t(m.word(KVXRANGE_DRAWINGS, u + 1, 3));
      u += 2;
    } else {
      return KVXERR_BADFORMAT;
    }
    int64_t x0 = px(l), x1 = px(r), y0 = py(tp), y1 = py(b);
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    // Clip to the picture before walking, so a huge rectangle costs nothing.
    x0 = x0 < 0 ? 0 : x0, y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > int64_t(t.width) ? t.width : x1, y1 = y1 > int64_t(t.height) ? t.height : y1;
    for (int64_t y = y0; y < y1; ++y)
      for (int64_t x = x0; x < x1; ++x) {
        uint32_t c = c1;
        if (op == KVXDRAWOP_GRADIENT)
          c = dir == 0 ? mix(c1, c2, x - x0, x1 - x0 > 1 ? x1 - x0 - 1 : 1) : mix(c1, c2, y - y0, y1 - y0 > 1 ? y1 - y0 - 1 : 1);
        put(t, x, y, c);
      }
  }
  return KVXERR_BADFORMAT;
}

}  // namespace

extern "C" {

KVXSTATUS GAPInitGADataDU(KVXDRAWSTATE* state) {
  if (state == nullptr) return KVXERR_BADPARAM;
  if (state->Flags & 1) return 17;
  state->Size = sizeof(KVXDRAWSTATE);
  state->Flags |= 1;
  return KVX_OK;
}

KVXSTATUS GAPDeinitGADataDU(KVXDRAWSTATE* state) {
  if (state == nullptr) return KVXERR_BADPARAM;
  if (!(state->Flags & 1)) return 17;
  state->Flags &= ~1u;
  return KVX_OK;
}

KVXSTATUS GAPGetDrawingFrame(const KVXDRAWSTATE* state, uint32_t* width, uint32_t* height, uint32_t* units_x,
                             uint32_t* units_y, uint32_t* flags, uint32_t* mode) {
  const ChunkModel* m;
  Frame f;
  if (KVXSTATUS st = read_frame(state, m, f)) return st;
  if (width) *width = uint32_t(span(f.x1, f.x2));
  if (height) *height = uint32_t(span(f.y1, f.y2));
  if (units_x) *units_x = f.units_x;
  if (units_y) *units_y = f.units_y;
  if (flags) *flags = f.flags;
  if (mode) *mode = f.mode;
  return KVX_OK;
}

KVXSTATUS GAPMetafileToHandle(const KVXDRAWSTATE* state, uint32_t width, uint32_t height, KVXRASTER* raster) {
  if (raster == nullptr) return KVXERR_BADPARAM;
  *raster = KVXRASTER{};
  const ChunkModel* m;
  Frame f;
  if (KVXSTATUS st = read_frame(state, m, f)) return st;
  uint32_t nw, nh;
  natural_size(f, nw, nh);
  if (width == 0 && height == 0) width = nw, height = nh;
  else if (width == 0) width = nh ? uint32_t(uint64_t(height) * nw / nh) : height;
  else if (height == 0) height = nw ? uint32_t(uint64_t(width) * nh / nw) : width;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return KVXERR_BADPARAM;
  uint32_t stride = (width * 3 + 3) / 4 * 4;
  uint64_t size = uint64_t(stride) * height;
  if (size > (uint64_t(1) << 30)) return KVXERR_NOMEMORY;
  KVXBLOCK b = KVXBlockAlloc(KVXBLOCK_MOVABLE, size_t(size));
  uint8_t* p = b ? static_cast<uint8_t*>(KVXBlockLock(b)) : nullptr;
  if (p == nullptr) {
    if (b) KVXBlockFree(b);
    return KVXERR_NOMEMORY;
  }
  std::memset(p, 0xFF, size_t(size));  // white paper
  KVXSTATUS st = play(*m, f, Target{p, stride, width, height, 0, 0, width, height});
  KVXBlockUnlock(b);
  if (st != KVX_OK) {
    KVXBlockFree(b);
    return st;
  }
  *raster = KVXRASTER{b, width, height, uint32_t(size)};
  return KVX_OK;
}

KVXSTATUS GAPMetafileToDevice(const KVXDRAWSTATE* state, KVXDEVICE* d) {
  if (d == nullptr || d->Size != sizeof(KVXDEVICE) || d->Pixels == nullptr || d->Stride < uint64_t(d->DeviceWidth) * 3)
    return KVXERR_BADPARAM;
  const ChunkModel* m;
  Frame f;
  if (KVXSTATUS st = read_frame(state, m, f)) return st;
  if (d->Width == 0 || d->Height == 0) natural_size(f, d->Width, d->Height);
  if (d->Width > kMaxSide || d->Height > kMaxSide) return KVXERR_BADPARAM;
  return play(*m, f, Target{d->Pixels, d->Stride, d->DeviceWidth, d->DeviceHeight, d->Left, d->Top, d->Width, d->Height});
}

KVXSTATUS GAPMetafileToContext(const KVXDRAWSTATE* state, KVXCONTEXT* context) {
  if (context == nullptr || context->Size != sizeof(KVXCONTEXT)) return KVXERR_BADPARAM;
  return GAPMetafileToDevice(state, &context->Device);
}

KVXSTATUS GABitmapToDeviceNP(const uint8_t* rows, uint32_t width, uint32_t height, uint32_t stride, KVXDEVICE* d) {
  if (rows == nullptr || d == nullptr || d->Size != sizeof(KVXDEVICE) || d->Pixels == nullptr ||
      stride < uint64_t(width) * 3 || d->Stride < uint64_t(d->DeviceWidth) * 3)
    return KVXERR_BADPARAM;
  Target t{d->Pixels, d->Stride, d->DeviceWidth, d->DeviceHeight, d->Left, d->Top, width, height};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* s = rows + size_t(y) * stride + 3 * size_t(x);
      put(t, x, y, uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2]);
    }
  return KVX_OK;
}

KVXSTATUS GARetrieveContextDeviceNP(const KVXCONTEXT* context, KVXDEVICE* device) {
  if (context == nullptr || device == nullptr || context->Size != sizeof(KVXCONTEXT)) return KVXERR_BADPARAM;
  *device = context->Device;
  return KVX_OK;
}

}  // extern "C"
