// The raster engine (see raster.h): allocation in the block layer, the row converters,
// ConvertImage and ScaleImage.
#include "filters/graphics/raster.h"

#include <cstring>
#include <vector>

#include "filters/graphics/colour_reduce.h"

namespace gfx {

uint64_t row_bytes(uint32_t width, uint32_t bits) {
  return ((uint64_t(width) * bits + 7) / 8 + 3) / 4 * 4;
}

KVXSTATUS raster_alloc(RasterImage& image, uint32_t width, uint32_t height, uint32_t format) {
  image = RasterImage{};
  uint32_t bits = pix_bits(format);
  if (width == 0 || height == 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24)) return KVXERR_BADPARAM;
  uint64_t size = row_bytes(width, bits) * height;
  if (size > kMaxRasterBytes) return KVXERR_NOMEMORY;
  image.pixel_block = KVXBlockAlloc(KVXBLOCK_MOVABLE | KVXBLOCK_ZEROINIT, size_t(size));
  if (image.pixel_block == 0) return KVXERR_NOMEMORY;
  image.pixels = static_cast<uint8_t*>(KVXBlockLock(image.pixel_block));
  image.data_size = uint32_t(size);
  image.width = width;
  image.height = height;
  image.format = format;
  if (image.pixels == nullptr) {
    raster_free(image);
    return KVXERR_NOMEMORY;
  }
  if (bits <= 8) {
    image.palette_capacity = uint16_t(1u << bits);
    image.palette_block = KVXBlockAlloc(KVXBLOCK_MOVABLE | KVXBLOCK_ZEROINIT, size_t(image.palette_capacity) * 3);
    image.palette = image.palette_block ? static_cast<uint8_t*>(KVXBlockLock(image.palette_block)) : nullptr;
    if (image.palette == nullptr) {
      raster_free(image);
      return KVXERR_NOMEMORY;
    }
  }
  return KVX_OK;
}

void raster_free(RasterImage& image) {
  if (image.pixel_block) {
    if (image.pixels) KVXBlockUnlock(image.pixel_block);
    KVXBlockFree(image.pixel_block);
  }
  if (image.palette_block) {
    if (image.palette) KVXBlockUnlock(image.palette_block);
    KVXBlockFree(image.palette_block);
  }
  image = RasterImage{};
}

void raster_release_blocks(RasterImage& image, KVXBLOCK* pixel_block, KVXBLOCK* palette_block) {
  if (image.pixels) KVXBlockUnlock(image.pixel_block);
  if (image.palette) KVXBlockUnlock(image.palette_block);
  *pixel_block = image.pixel_block;
  *palette_block = image.palette_block;
  image = RasterImage{};
}

KVXSTATUS raster_copy(const RasterImage& from, RasterImage& to) {
  if (KVXSTATUS st = raster_alloc(to, from.width, from.height, from.format)) return st;
  std::memcpy(to.pixels, from.pixels, from.data_size);
  if (to.palette && from.palette) std::memcpy(to.palette, from.palette, size_t(to.palette_capacity) * 3);
  to.palette_count = from.palette_count;
  return KVX_OK;
}

// ---- Row converters ---------------------------------------------------------------------

namespace {

inline unsigned bit_at(const uint8_t* row, uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline unsigned nibble_at(const uint8_t* row, uint32_t x) { return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4; }

void bits_copy(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  std::memset(d, 0, (n + 7) / 8);
  for (uint32_t i = 0; i < n; ++i)
    if (bit_at(s, start + i)) d[i >> 3] |= uint8_t(0x80 >> (i & 7));
}
void bits_to_index(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  for (uint32_t i = 0; i < n; ++i) d[i] = uint8_t(bit_at(s, start + i));
}
void white_to_gray(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  for (uint32_t i = 0; i < n; ++i) d[i] = bit_at(s, start + i) ? 255 : 0;
}
void black_to_gray(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  for (uint32_t i = 0; i < n; ++i) d[i] = bit_at(s, start + i) ? 0 : 255;
}
void bits_to_bgr(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t* pal) {
  for (uint32_t i = 0; i < n; ++i) std::memcpy(d + 3 * i, pal + 3 * bit_at(s, start + i), 3);
}
void nibbles_copy(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  std::memcpy(d, s + start / 2, (n + 1) / 2);
}
void nibbles_to_index(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  for (uint32_t i = 0; i < n; ++i) d[i] = uint8_t(nibble_at(s, start + i));
}
void nibbles_to_bgr(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t* pal) {
  for (uint32_t i = 0; i < n; ++i) std::memcpy(d + 3 * i, pal + 3 * nibble_at(s, start + i), 3);
}
void bytes_copy(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  std::memcpy(d, s + start, n);
}
void index_to_bgr(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t* pal) {
  for (uint32_t i = 0; i < n; ++i) std::memcpy(d + 3 * i, pal + 3 * s[start + i], 3);
}
void gray_to_bgr(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  for (uint32_t i = 0; i < n; ++i) d[3 * i] = d[3 * i + 1] = d[3 * i + 2] = s[start + i];
}
void bgr_copy(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  std::memcpy(d, s + 3 * size_t(start), 3 * size_t(n));
}
void rgb_to_bgr(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t*) {
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* p = s + 3 * size_t(start + i);
    d[3 * i] = p[2], d[3 * i + 1] = p[1], d[3 * i + 2] = p[0];
  }
}

// Nibble copies need an even start pixel.
void nibbles_copy_checked(const uint8_t* s, uint32_t start, uint32_t n, uint8_t* d, const uint8_t* p) {
  if (start & 1) {
    std::memset(d, 0, (n + 1) / 2);
    for (uint32_t i = 0; i < n; ++i) d[i / 2] |= uint8_t(nibble_at(s, start + i) << ((i & 1) ? 0 : 4));
    return;
  }
  nibbles_copy(s, start, n, d, p);
}

bool is_one_bit(uint32_t f) { return f == PIX_1_INDEXED || f == PIX_1_WHITE || f == PIX_1_BLACK; }

}  // namespace

RowConverter find_row_converter(uint32_t source, uint32_t target) {
  uint32_t s = pix_topdown_form(source), t = pix_topdown_form(target);
  if (is_one_bit(s)) {
    if (t == s || t == PIX_1_INDEXED) return bits_copy;
    if (t == PIX_8_INDEXED) return bits_to_index;
    if (t == PIX_8_GRAY && s == PIX_1_WHITE) return white_to_gray;
    if (t == PIX_8_GRAY && s == PIX_1_BLACK) return black_to_gray;
    if (t == PIX_24_BGR) return bits_to_bgr;
    return nullptr;
  }
  if (s == PIX_4_INDEXED) {
    if (t == PIX_4_INDEXED) return nibbles_copy_checked;
    if (t == PIX_8_INDEXED) return nibbles_to_index;
    if (t == PIX_24_BGR) return nibbles_to_bgr;
    return nullptr;
  }
  if ((s == PIX_8_INDEXED || s == PIX_8_GRAY) && t == s) return bytes_copy;
  if (s == PIX_8_INDEXED && t == PIX_24_BGR) return index_to_bgr;
  if (s == PIX_8_GRAY && t == PIX_24_BGR) return gray_to_bgr;
  if (s == PIX_24_BGR && t == PIX_24_BGR) return bgr_copy;
  if (s == PIX_24_RGB && t == PIX_24_RGB) return bgr_copy;
  if (s == PIX_24_RGB && t == PIX_24_BGR) return rgb_to_bgr;
  return nullptr;
}

bool row_to_bgr(const RasterImage& image, uint32_t y, uint8_t* out) {
  uint32_t f = pix_topdown_form(image.format);
  static const uint8_t kWhiteFirst[6] = {255, 255, 255, 0, 0, 0}, kBlackFirst[6] = {0, 0, 0, 255, 255, 255};
  const uint8_t* pal = image.palette;
  if (f == PIX_1_WHITE) pal = kBlackFirst;
  if (f == PIX_1_BLACK) pal = kWhiteFirst;
  if (f == PIX_8_GRAY) {
    gray_to_bgr(image.row(y), 0, image.width, out, nullptr);
    return true;
  }
  RowConverter conv = find_row_converter(f, PIX_24_BGR);
  if (conv == nullptr || (pix_bits(f) <= 8 && pal == nullptr)) return false;
  conv(image.row(y), 0, image.width, out, pal);
  return true;
}

// ---- ConvertImage -----------------------------------------------------------------------

namespace {

// Gray ramp of a palette (entry i = 255 * i / (n - 1)).
void gray_ramp(RasterImage& image) {
  uint32_t n = image.palette_capacity;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t v = uint8_t(n > 1 ? 255 * i / (n - 1) : 0);
    image.palette[3 * i] = image.palette[3 * i + 1] = image.palette[3 * i + 2] = v;
  }
  image.palette_count = uint16_t(n);
}

KVXSTATUS reverse_rows(const RasterImage& image, RasterImage& out) {
  if (KVXSTATUS st = raster_copy(image, out)) return st;
  uint32_t stride = image.stride();
  for (uint32_t y = 0; y < image.height; ++y) std::memcpy(out.row(y), image.row(image.height - 1 - y), stride);
  out.format = image.format ^ (PIX_TOPDOWN | PIX_BOTTOMUP);
  return KVX_OK;
}

// A new image of the target format (the input's row order) converted row by row; palettes
// are copied between indexed formats and gray targets get a ramp.
KVXSTATUS convert_rows(const RasterImage& in, uint32_t target, RasterImage& out) {
  uint32_t have = pix_topdown_form(in.format), want = pix_topdown_form(target);
  RowConverter conv = find_row_converter(have, want);
  if (conv == nullptr) return KVXERR_BADPARAM;
  const uint8_t* pal = in.palette;
  static const uint8_t kWhiteFirst[6] = {255, 255, 255, 0, 0, 0}, kBlackFirst[6] = {0, 0, 0, 255, 255, 255};
  if (have == PIX_1_WHITE) pal = kBlackFirst;
  if (have == PIX_1_BLACK) pal = kWhiteFirst;
  if (pix_bits(have) <= 8 && pal == nullptr) return KVXERR_BADFORMAT;
  if (KVXSTATUS st = raster_alloc(out, in.width, in.height,
                                  (target & ~(PIX_TOPDOWN | PIX_BOTTOMUP)) | (in.format & (PIX_TOPDOWN | PIX_BOTTOMUP))))
    return st;
  for (uint32_t y = 0; y < in.height; ++y) conv(in.row(y), 0, in.width, out.row(y), pal);
  if (out.palette != nullptr) {
    if (want == PIX_8_GRAY) {
      gray_ramp(out);
    } else if (have == PIX_1_WHITE || have == PIX_1_BLACK) {
      std::memcpy(out.palette, pal, 6);
      out.palette_count = 2;
    } else if (in.palette != nullptr) {
      uint16_t n = in.palette_count < out.palette_capacity ? in.palette_count : out.palette_capacity;
      std::memcpy(out.palette, in.palette, size_t(n) * 3);
      out.palette_count = n;
    }
  }
  return KVX_OK;
}

}  // namespace

KVXSTATUS ConvertImage(RasterImage& image, uint32_t target, uint32_t method, RasterImage* result,
                       TransparencyRequest* request) {
  if (target == 0) {
    if (result != nullptr) return raster_copy(image, *result);
    return KVX_OK;
  }
  // Each step leaves its image in cur; owned says whether cur is an intermediate of ours.
  RasterImage work{};
  bool owned = false;
  const RasterImage* cur = &image;
  auto replace = [&](RasterImage& next) {
    if (owned) raster_free(work);
    work = next;
    owned = true;
    cur = &work;
  };
  auto fail = [&](KVXSTATUS st) {
    if (owned) raster_free(work);
    return st;
  };
  uint32_t bits = pix_bits(target);
  if (bits <= 8) {
    RasterImage reduced{};
    KVXSTATUS st = ReduceColours(*cur, bits, method, &reduced, request);
    if (st == KVX_OK) {
      if (request != nullptr && request->kind != 0) {
        st = MarkTransparency(*cur, reduced, *request);
        if (st != KVX_OK) {
          raster_free(reduced);
          return fail(st);
        }
      }
      replace(reduced);
    } else if (st == kNothingToDo) {
      if (request != nullptr && request->kind != 0) {
        RasterImage copy{};
        st = pix_bits(cur->format) == bits ? raster_copy(*cur, copy) : convert_rows(*cur, target, copy);
        if (st) return fail(st);
        if ((st = MarkTransparency(*cur, copy, *request))) {
          raster_free(copy);
          return fail(st);
        }
        replace(copy);
      }
    } else {
      return fail(st);
    }
  }
  // Row order.
  uint32_t order = target & (PIX_TOPDOWN | PIX_BOTTOMUP);
  if (order != 0 && order != PIX_TOPDOWN + PIX_BOTTOMUP && (cur->format & (PIX_TOPDOWN | PIX_BOTTOMUP)) != order) {
    RasterImage rev{};
    if (KVXSTATUS st = reverse_rows(*cur, rev)) return fail(st);
    replace(rev);
  }
  // Format.
  uint32_t have = pix_topdown_form(cur->format), want = pix_topdown_form(target);
  if (have != want && !(want == PIX_8_INDEXED && have == PIX_8_GRAY)) {
    RasterImage out{};
    if (KVXSTATUS st = convert_rows(*cur, target, out)) return fail(st);
    replace(out);
  }
  if (!owned) {
    RasterImage copy{};
    if (KVXSTATUS st = raster_copy(image, copy)) return st;
    replace(copy);
  }
  if (result != nullptr) {
    *result = work;
  } else {
    raster_free(image);
    image = work;
  }
  return KVX_OK;
}

// ---- ScaleImage -------------------------------------------------------------------------

namespace {

struct MapEntry {
  uint32_t index;
  uint32_t frac;
};

std::vector<MapEntry> position_map(uint32_t old_n, uint32_t new_n) {
  std::vector<MapEntry> map(size_t(new_n) + 1);
  for (uint32_t i = 0; i < new_n; ++i) {
    uint64_t p = uint64_t(i) * 256 * old_n / new_n;
    map[i] = {uint32_t(p / 256), uint32_t(p % 256)};
  }
  map[new_n] = {old_n, 0};  // old x 256
  return map;
}

// One line of channels pixels (ch bytes each) resampled from old_n to new_n; src and dst
// step by their pixel strides.
void resample(const uint8_t* src, size_t src_step, uint32_t old_n, uint8_t* dst, size_t dst_step, uint32_t new_n,
              uint32_t ch, const std::vector<MapEntry>& map) {
  for (uint32_t i = 0; i < new_n; ++i) {
    uint8_t* out = dst + dst_step * i;
    if (new_n < old_n) {
      uint32_t a = map[i].index, b = map[i + 1].index;
      uint32_t wa = 256 - map[i].frac, wb = map[i + 1].frac;
      for (uint32_t c = 0; c < ch; ++c) {
        uint64_t sum = 0, weight = 0;
        sum += uint64_t(src[src_step * a + c]) * wa, weight += wa;
        for (uint32_t k = a + 1; k < b; ++k) sum += uint64_t(src[src_step * k + c]) * 256, weight += 256;
        if (wb != 0 && b < old_n) sum += uint64_t(src[src_step * b + c]) * wb, weight += wb;
        out[c] = uint8_t(weight ? sum / weight : 0);
      }
    } else {
      uint32_t a = map[i].index, f = map[i].frac;
      for (uint32_t c = 0; c < ch; ++c) {
        if (a + 1 >= old_n) {
          out[c] = src[src_step * a + c];
        } else {
          out[c] = uint8_t((src[src_step * a + c] * (256 - f) + src[src_step * (a + 1) + c] * f) / 256);
        }
      }
    }
  }
}

KVXSTATUS scale_nearest(const RasterImage& image, uint32_t nw, uint32_t nh, RasterImage& out) {
  uint32_t bits = pix_bits(image.format);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return KVXERR_BADPARAM;
  if (KVXSTATUS st = raster_alloc(out, nw, nh, image.format)) return st;
  if (image.palette) std::memcpy(out.palette, image.palette, size_t(out.palette_capacity) * 3);
  out.palette_count = image.palette_count;
  uint64_t xstep = (uint64_t(image.width) << 8) / nw, ystep = (uint64_t(image.height) << 8) / nh;
  for (uint32_t y = 0; y < nh; ++y) {
    uint32_t sy = uint32_t((y * ystep) >> 8);
    if (sy >= image.height) sy = image.height - 1;
    const uint8_t* s = image.row(sy);
    uint8_t* d = out.row(y);
    for (uint32_t x = 0; x < nw; ++x) {
      uint32_t sx = uint32_t((x * xstep) >> 8);
      if (sx >= image.width) sx = image.width - 1;
      if (bits == 24) {
        std::memcpy(d + 3 * size_t(x), s + 3 * size_t(sx), 3);
      } else if (bits == 8) {
        d[x] = s[sx];
      } else if (bits == 4) {
        d[x / 2] |= uint8_t(nibble_at(s, sx) << ((x & 1) ? 0 : 4));
      } else if (bit_at(s, sx)) {
        d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      }
    }
  }
  return KVX_OK;
}

// Area average (shrink) and linear (grow) of a PIX_24_BGR or PIX_8_GRAY image.
KVXSTATUS scale_area(const RasterImage& in, uint32_t nw, uint32_t nh, RasterImage& out) {
  uint32_t ch = pix_bits(in.format) / 8;
  RasterImage cur{};
  if (KVXSTATUS st = raster_copy(in, cur)) return st;
  auto width_pass = [&](uint32_t w) -> KVXSTATUS {
    RasterImage next{};
    if (KVXSTATUS st = raster_alloc(next, w, cur.height, cur.format)) return st;
    if (cur.palette) std::memcpy(next.palette, cur.palette, size_t(next.palette_capacity) * 3);
    next.palette_count = cur.palette_count;
    auto map = position_map(cur.width, w);
    for (uint32_t y = 0; y < cur.height; ++y) resample(cur.row(y), ch, cur.width, next.row(y), ch, w, ch, map);
    raster_free(cur);
    cur = next;
    return KVX_OK;
  };
  auto height_pass = [&](uint32_t h) -> KVXSTATUS {
    RasterImage next{};
    if (KVXSTATUS st = raster_alloc(next, cur.width, h, cur.format)) return st;
    if (cur.palette) std::memcpy(next.palette, cur.palette, size_t(next.palette_capacity) * 3);
    next.palette_count = cur.palette_count;
    auto map = position_map(cur.height, h);
    for (uint32_t x = 0; x < cur.width; ++x)
      resample(cur.pixels + size_t(x) * ch, cur.stride(), cur.height, next.pixels + size_t(x) * ch, next.stride(),
               h, ch, map);
    raster_free(cur);
    cur = next;
    return KVX_OK;
  };
  KVXSTATUS st = KVX_OK;
  if (nw < cur.width) st = width_pass(nw);
  if (!st && nh < cur.height) st = height_pass(nh);
  if (!st && nh > cur.height) st = height_pass(nh);
  if (!st && nw > cur.width) st = width_pass(nw);
  if (st) {
    raster_free(cur);
    return st;
  }
  out = cur;
  return KVX_OK;
}

KVXSTATUS scale_one(const RasterImage& image, uint32_t nw, uint32_t nh, uint32_t method, RasterImage& out) {
  uint32_t f = pix_topdown_form(image.format);
  bool small = image.width < 4096 && image.height < 4096 && nw < 4096 && nh < 4096;
  if (method == 2 && f != PIX_8_GRAY && f != PIX_1_WHITE && f != PIX_1_BLACK) method = 0;
  if (!small) method = 0;
  if (method == 0) return scale_nearest(image, nw, nh, out);
  if (f == PIX_24_BGR || f == PIX_8_GRAY) return scale_area(image, nw, nh, out);
  RasterImage bgr{};
  if (KVXSTATUS st = ConvertImage(const_cast<RasterImage&>(image), (image.format & (PIX_TOPDOWN | PIX_BOTTOMUP)) |
                                                                     (PIX_24_BGR & 0xFFFFFF),
                                  0, &bgr, nullptr))
    return st;
  KVXSTATUS st = scale_area(bgr, nw, nh, out);
  raster_free(bgr);
  return st;
}

}  // namespace

KVXSTATUS ScaleImage(const RasterImage& image, uint32_t nw, uint32_t nh, uint32_t method, RasterImage* result,
                     TransparencyRequest* request) {
  if (result == nullptr) return KVXERR_BADFORMAT;
  if (method > 2) return KVXERR_BADPARAM;
  if (image.width >= 65536 || image.height >= 65536 || nw >= 65536 || nh >= 65536 || nw == 0 || nh == 0)
    return KVXERR_BADPARAM;
  if (nw == image.width && nh == image.height) return kNothingToDo;
  RasterImage out{};
  if (KVXSTATUS st = scale_one(image, nw, nh, method, out)) return st;
  if (request != nullptr && request->mask.pixels != nullptr) {
    RasterImage mask{};
    if (KVXSTATUS st = scale_one(request->mask, nw, nh, method, mask)) {
      raster_free(out);
      return st;
    }
    raster_free(request->mask);
    request->mask = mask;
  }
  *result = out;
  return KVX_OK;
}

}  // namespace gfx
