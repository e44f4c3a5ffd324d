// Bitmap pictures of the chunks (see chunk_bitmap.h): the header walk, source and working
// formats, the palette, the transparency request, the band walk with its checks, then
// ScaleImage and ConvertImage.
#include "filters/graphics/chunk_bitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace gfx {

namespace {

constexpr uint32_t kNoItem = 0xFFFFFFFFu;
constexpr uint32_t kMaxWalk = 1u << 20;  // items looked at before giving up

struct Items {
  uint32_t w[4];
};

uint32_t clamp_percent(int32_t v) { return v < 0 ? 0 : v > 100 ? 100 : uint32_t(v); }

// Locks count units of a range, copies bytes out, unlocks.
bool copy_units(KVXHANDLE chunker, uint32_t range, uint32_t first, size_t bytes, std::vector<uint8_t>& out) {
  uint32_t units = uint32_t((bytes + 15) / 16);
  if (units == 0) units = 1;
  void* p = nullptr;
  if (CHLockItemRange(chunker, range, first, units, &p) != KVX_OK || p == nullptr) return false;
  out.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + bytes);
  CHUnlockItemRange(chunker, range, first);
  return true;
}

// count 32-bit colours (red in the low byte) of range 8 as blue, green, red entries.
bool read_colours(KVXHANDLE chunker, uint32_t first, uint32_t count, uint8_t* out, uint32_t capacity) {
  std::vector<uint8_t> raw;
  uint32_t n = std::min(count, capacity);
  if (n == 0) return true;
  if (!copy_units(chunker, KVXRANGE_PALETTES, first, size_t(n) * 4, raw)) return false;
  for (uint32_t i = 0; i < n; ++i) {
    out[3 * i] = raw[4 * i + 2], out[3 * i + 1] = raw[4 * i + 1], out[3 * i + 2] = raw[4 * i];
  }
  return true;
}

}  // namespace

void crop_box(const GraphicSelector& s, uint32_t w, uint32_t h, uint32_t box[4]) {
  box[0] = 0, box[1] = 0, box[2] = w ? w - 1 : 0, box[3] = h ? h - 1 : 0;
  if (!s.rect_given || w == 0 || h == 0) return;
  uint64_t l = uint64_t(clamp_percent(s.rect[0])) * w / 100, t = uint64_t(clamp_percent(s.rect[1])) * h / 100;
  uint64_t r = uint64_t(clamp_percent(s.rect[2])) * w / 100, b = uint64_t(clamp_percent(s.rect[3])) * h / 100;
  // An empty box means the whole picture.
  if (l + r >= w || t + b >= h) return;
  box[0] = uint32_t(l), box[1] = uint32_t(t), box[2] = uint32_t(w - r - 1), box[3] = uint32_t(h - b - 1);
}

void wanted_size(const BitmapRead& rd, uint32_t bw, uint32_t bh, uint32_t& w, uint32_t& h) {
  w = rd.wanted_width, h = rd.wanted_height;
  if (bw < 1 || bh < 1) {
    uint32_t f = rd.fallback_size ? rd.fallback_size : 200;
    w = h = f;
    return;
  }
  if (w && !h) {
    h = uint32_t(uint64_t(w) * bh / bw);
  } else if (h && !w) {
    w = uint32_t(uint64_t(h) * bw / bh);
  } else if (!w && !h) {
    uint32_t ux = rd.info.units_x, uy = rd.info.units_y;
    if (ux >= 1 && ux <= 2400 && uy >= 1 && uy <= 2400 && rd.option25 && rd.option26) {
      w = uint32_t((uint64_t(rd.option25) * bw + ux / 2) / ux);
      h = uint32_t((uint64_t(rd.option26) * bh + uy / 2) / uy);
    } else {
      w = bw, h = bh;
    }
  }
  if (w == 0) w = 1;
  if (h == 0) h = 1;
}

KVXSTATUS read_chunk_bitmap(BitmapRead& rd) {
  KVXHANDLE ch = rd.chunker;
  // The picture's items up to its first band.
  bool have_header = false, have_palette = false, have_tr = false;
  Items header{}, palette{}, tr{};
  uint32_t hdr[4] = {};
  uint32_t id = rd.data_item, band_item = kNoItem;
  for (uint32_t k = 0; k < kMaxWalk && id != kNoItem; ++k) {
    Items it{};
    uint32_t next = kNoItem;
    if (CHGetItem(ch, KVXRANGE_ITEMS, id, &it, &next) != KVX_OK) break;
    if (it.w[0] == KVXITEM_BREAK) break;
    if (it.w[0] == KVXITEM_BMPALETTE) palette = it, have_palette = true;
    if (it.w[0] == KVXITEM_BMTRANSPARENCY) tr = it, have_tr = true;
    if (it.w[0] == KVXITEM_BMHEADER && CHGetItem(ch, KVXRANGE_BMHEADERS, it.w[1], hdr, nullptr) == KVX_OK)
      header = it, have_header = true;
    if (it.w[0] == KVXITEM_BMBAND) {
      band_item = id;
      break;
    }
    id = next;
  }
  if (!have_header) return KVXERR_BADFORMAT;
  uint32_t w = hdr[0], h = hdr[1];
  uint32_t bits = header.w[2] & 0xFFFF, palette_size = header.w[2] >> 16, flags = header.w[3];
  uint32_t source;
  if (flags & KVXBM_BILEVEL) source = (flags & KVXBM_INVERSE) ? PIX_1_BLACK : PIX_1_WHITE;
  else if (bits == 1) source = PIX_1_INDEXED;
  else if (bits == 4) source = PIX_4_INDEXED;
  else if (bits == 8) source = (flags & KVXBM_GRAY) ? PIX_8_GRAY : PIX_8_INDEXED;
  else if (bits == 24) source = PIX_24_BGR;
  else return KVXERR_BADPARAM;
  if (w == 0 || h == 0 || w > 65535 || h > 65535) return KVXERR_BADPARAM;
  uint32_t box[4];
  crop_box(rd.selector, w, h, box);
  uint32_t bw = box[2] - box[0] + 1, bh = box[3] - box[1] + 1;
  uint32_t ww, wh;
  wanted_size(rd, bw, bh, ww, wh);
  bool scaled = ww != bw || wh != bh;
  bool gray_like = source == PIX_8_GRAY || source == PIX_1_WHITE || source == PIX_1_BLACK;
  uint32_t method = rd.method;
  bool smooth = (method == 1 || method == 2) && scaled && bw < 4096 && bh < 4096 && ww < 4096 && wh < 4096;
  uint32_t working = source;
  if (pix_bits(rd.wanted_format) == 24 || pix_bits(rd.wanted_format) < pix_bits(source) || smooth)
    working = gray_like ? PIX_8_GRAY : PIX_24_BGR;
  if (find_row_converter(source, working) == nullptr) return KVXERR_BADFORMAT;

  // The source palette.
  uint8_t src_palette[256 * 3] = {};
  if (pix_bits(source) <= 8) {
    uint32_t cap = 1u << pix_bits(source);
    if (have_palette) {
      if (!read_colours(ch, palette.w[1], palette.w[2], src_palette, cap)) return KVXERR_BADFORMAT;
    } else {
      if (palette_size == 0 && !(flags & (KVXBM_GRAY | KVXBM_BILEVEL))) return KVXERR_BADPARAM;
      RasterImage tmp{};
      tmp.palette = src_palette;
      tmp.palette_capacity = uint16_t(cap);
      uint32_t pf = 0;
      if (flags & KVXBM_GRAY) pf |= kPictureGray;
      if (flags & KVXBM_INVERSE) pf |= kPictureInverse;
      if (KVXSTATUS st = StandardPalette(tmp, source, pf)) return st;
    }
  }

  // The transparency request (GIF only).
  TransparencyRequest req;
  if (rd.export_type == KVXEXPORT_GIF) {
    if (flags & KVXBM_MASK8) req.kind = TR_MASK8;
    else if (flags & KVXBM_MASK24) req.kind = TR_MASK24;
    else if (flags & KVXBM_BRIGHTNESS) req.kind = (pix_bits(working) == 24 && scaled) ? TR_MASKBRIGHT : TR_BRIGHT;
    else if (flags & KVXBM_TRCOLOUR) req.kind = TR_COLOUR;
    else if (flags & KVXBM_TRINDEX) req.kind = scaled ? TR_INDEXMASK : TR_INDEX;
    if (flags & KVXBM_INVTHRESHOLD) req.threshold = 127, req.direction = 1;
    if (req.kind != 0 && !have_tr && req.kind != TR_MASK8 && req.kind != TR_MASK24) return KVXERR_BADFORMAT;
    if (req.kind == TR_COLOUR) req.red = uint8_t(tr.w[1]), req.green = uint8_t(tr.w[1] >> 8), req.blue = uint8_t(tr.w[1] >> 16);
    if (req.kind == TR_INDEX || req.kind == TR_INDEXMASK) req.index = uint16_t(tr.w[1] & 0xFF);
    if (req.kind == TR_BRIGHT || req.kind == TR_MASKBRIGHT) {
      if (!read_colours(ch, tr.w[2], tr.w[3], req.palette, 256)) return KVXERR_BADFORMAT;
      req.palette_count = uint16_t(std::min<uint32_t>(tr.w[3], 256));
    }
    if (req.kind == TR_MASKBRIGHT && pix_bits(source) > 8) req.kind = 0;
    if (req.kind == TR_BRIGHT && pix_bits(working) > 8) req.kind = 0;
  }

  RasterImage raster{};
  if (KVXSTATUS st = raster_alloc(raster, bw, bh, working)) return st;
  auto fail = [&](KVXSTATUS st) {
    raster_free(raster);
    request_release(req);
    return st;
  };
  bool need_mask = req.kind == TR_MASK8 || req.kind == TR_MASK24 || req.kind == TR_MASKBRIGHT || req.kind == TR_INDEXMASK;
  if (need_mask)
    if (KVXSTATUS st = raster_alloc(req.mask, bw, bh, (req.kind == TR_MASK24 || req.kind == TR_MASKBRIGHT) ? PIX_24_BGR : PIX_8_GRAY))
      return fail(st);

  // The bands.
  RowConverter conv = find_row_converter(source, working);
  RowConverter to_index = find_row_converter(source, PIX_8_INDEXED);
  RowConverter to_bgr = find_row_converter(source, PIX_24_BGR);
  uint64_t src_row = row_bytes(w, pix_bits(source));
  uint64_t mask_row = req.kind == TR_MASK8 ? row_bytes(w, 8) : req.kind == TR_MASK24 ? row_bytes(w, 24) : 0;
  std::vector<uint8_t> tmp(size_t(w) * 3 + 4);
  uint32_t stored = 0;
  id = band_item;
  for (uint32_t k = 0; k < kMaxWalk && id != kNoItem && stored < h; ++k) {
    Items it{};
    uint32_t next = kNoItem;
    if (CHGetItem(ch, KVXRANGE_ITEMS, id, &it, &next) != KVX_OK) break;
    if (it.w[0] == KVXITEM_BREAK) break;
    id = next;
    if (it.w[0] != KVXITEM_BMBAND) continue;
    uint32_t band_w = it.w[2], rows = it.w[3];
    if (band_w != w || rows == 0 || rows > h - stored) return fail(KVXERR_BADFORMAT);
    uint64_t bytes = (src_row + mask_row) * rows;
    if (bytes > kMaxRasterBytes) return fail(KVXERR_BADFORMAT);
    void* p = nullptr;
    uint32_t units = uint32_t((bytes + 15) / 16);
    if (CHLockItemRange(ch, KVXRANGE_PIXELS, it.w[1], units, &p) != KVX_OK || p == nullptr)
      return fail(KVXERR_BADFORMAT);
    const uint8_t* band = static_cast<const uint8_t*>(p);
    for (uint32_t r = 0; r < rows; ++r, ++stored) {
      uint32_t y = (flags & KVXBM_BOTTOMUP) ? h - 1 - stored : stored;
      if (y < box[1] || y > box[3]) continue;
      uint32_t ry = y - box[1];
      const uint8_t* src = band + size_t(r) * src_row;
      conv(src, box[0], bw, raster.row(ry), src_palette);
      if (req.kind == TR_MASK8 || req.kind == TR_MASK24) {
        const uint8_t* m = band + size_t(rows) * src_row + size_t(r) * mask_row;
        uint32_t bpp = req.kind == TR_MASK8 ? 1 : 3;
        std::memcpy(req.mask.row(ry), m + size_t(box[0]) * bpp, size_t(bw) * bpp);
      } else if (req.kind == TR_MASKBRIGHT && to_bgr != nullptr) {
        to_bgr(src, box[0], bw, req.mask.row(ry), req.palette);
      } else if (req.kind == TR_INDEXMASK && to_index != nullptr) {
        to_index(src, box[0], bw, tmp.data(), nullptr);
        for (uint32_t x = 0; x < bw; ++x) {
          bool hit = tmp[x] == req.index;
          req.mask.row(ry)[x] = uint8_t((hit != (req.inverse != 0)) ? 255 : 0);
        }
      }
    }
    CHUnlockItemRange(ch, KVXRANGE_PIXELS, it.w[1]);
  }

  // The working palette.
  if (raster.palette != nullptr) {
    if (working == source) {
      std::memcpy(raster.palette, src_palette, size_t(raster.palette_capacity) * 3);
      raster.palette_count = raster.palette_capacity;
      if (have_palette) raster.palette_count = uint16_t(std::min<uint32_t>(palette.w[2], raster.palette_capacity));
    } else {
      StandardPalette(raster, working, kPictureGray);
    }
  }

  // Scale, then convert.
  RasterImage scaled_image{};
  KVXSTATUS st = ScaleImage(raster, ww, wh, method, &scaled_image, need_mask ? &req : nullptr);
  if (st == KVX_OK) {
    raster_free(raster);
    raster = scaled_image;
  } else if (st != kNothingToDo) {
    return fail(st);
  }
  TransparencyRequest* give = rd.export_type == KVXEXPORT_GIF && req.kind != 0 ? &req : nullptr;
  RasterImage out{};
  st = ConvertImage(raster, rd.wanted_format, 1, &out, give);
  if (st != KVX_OK) return fail(st);
  raster_free(raster);
  request_release(req);
  rd.image = out;
  rd.transparent = give ? req.transparent : 0;
  rd.transparent_index = give ? req.transparent_index : 0;
  return KVX_OK;
}

}  // namespace gfx
