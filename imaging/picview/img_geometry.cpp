// Cropping, scaling and rotation of picview images. ImgCopy makes a new image of a
// given size from an inclusive source rectangle: a crop when the sizes agree, else a
// nearest-pixel scale by step tables (each output pixel is one source pixel), with
// counting into gray levels or AND/OR merging for reduced 1-bit images. ImgRotate turns
// an image exactly by right angles, or by any angle with a background colour. Built on
// the image handles; called by the display class.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "imaging/picview/img_ops.h"

namespace {

// Output position i of n taken from a run of m source positions: the source position
// under the output pixel's centre, floor((2i + 1) m / 2n). Consecutive entries step by
// m / n or one more, spread evenly; an integer enlargement repeats each source pixel
// exactly n / m times.
std::vector<int32_t> step_table(int32_t n, int32_t m) {
  std::vector<int32_t> t(static_cast<size_t>(n));
  const int64_t den = 2 * int64_t(n);
  int64_t num = m;  // (2i + 1) m
  int64_t pos = num / den, rem = num % den;
  const int64_t step_q = (2 * int64_t(m)) / den, step_r = (2 * int64_t(m)) % den;
  for (int32_t i = 0; i < n; ++i) {
    t[size_t(i)] = int32_t(pos);
    pos += step_q;
    rem += step_r;
    if (rem >= den) {
      rem -= den;
      ++pos;
    }
  }
  return t;
}

// First source position covered by output position i of n over m (i = n gives m):
// the runs that a reduction merges or counts.
std::vector<int32_t> span_table(int32_t n, int32_t m) {
  std::vector<int32_t> t(static_cast<size_t>(n) + 1);
  for (int32_t i = 0; i <= n; ++i) t[size_t(i)] = int32_t(int64_t(i) * m / n);
  return t;
}

// Whether an output image of w x h pixels of bpp bits stays within 2 GiB, counting the
// step tables of a scale (one 32-bit entry per output column and row) when asked; every
// size is worked out in 64 bits, as w and h may come from a caller's scale.
bool fits(int32_t w, int32_t h, int32_t bpp, bool tables) {
  const uint64_t stride = uint64_t((int64_t(w) * bpp + 31) / 32 * 4);
  const uint64_t table_bytes = tables ? (uint64_t(w) + uint64_t(h) + 2) * 4 : 0;
  return stride * uint64_t(h) + table_bytes <= 0x7FFFFFFF;
}

// Number of bytes a row of w pixels of bpp bits fills.
size_t row_bytes(int32_t w, int32_t bpp) { return (size_t(w) * size_t(bpp) + 7) / 8; }

// Copies w pixels starting at source column x0 into the start of an output row.
void copy_run(const uint8_t* in, int32_t x0, uint8_t* out, int32_t w, int32_t bpp) {
  if (bpp >= 8) {
    std::memcpy(out, in + size_t(x0) * size_t(bpp / 8), size_t(w) * size_t(bpp / 8));
  } else if ((int64_t(x0) * bpp) % 8 == 0) {
    std::memcpy(out, in + size_t(x0) * size_t(bpp) / 8, row_bytes(w, bpp));
  } else {
    for (int32_t x = 0; x < w; ++x) ImgPixelSet(out, x, bpp, ImgPixelGet(in, x0 + x, bpp));
  }
  // Bits past the last pixel stay clear.
  if (bpp < 8 && (int64_t(w) * bpp) % 8) {
    size_t last = row_bytes(w, bpp) - 1;
    out[last] = uint8_t(out[last] & (0xFF00 >> ((int64_t(w) * bpp) % 8)));
  }
}

// Nearest-pixel scaling of one row through the column table; image_w is the width of
// the source image, whose last pixel ends its row.
void scale_row(const uint8_t* in, const int32_t* cols, int32_t w, uint8_t* out, int32_t bpp, int32_t image_w) {
  switch (bpp) {
    case 8:
      for (int32_t x = 0; x < w; ++x) out[x] = in[cols[x]];
      break;
    case 24: {
      // Four-byte moves where both rows go on past the pixel; the fourth byte is
      // rewritten by the next pixel. Nothing is read or written past a row.
      for (int32_t x = 0; x < w; ++x) {
        if (x + 1 < w && cols[x] + 1 < image_w) {
          uint32_t v;
          std::memcpy(&v, in + 3 * size_t(cols[x]), 4);
          std::memcpy(out + 3 * size_t(x), &v, 4);
        } else {
          std::memcpy(out + 3 * size_t(x), in + 3 * size_t(cols[x]), 3);
        }
      }
      break;
    }
    default:
      std::memset(out, 0, row_bytes(w, bpp));
      for (int32_t x = 0; x < w; ++x) ImgPixelSet(out, x, bpp, ImgPixelGet(in, cols[x], bpp));
      break;
  }
}

// Counts the 1 bits of a 1-bit run [x0, x1) of a row.
int32_t count_ones(const uint8_t* row, int32_t x0, int32_t x1) {
  int32_t n = 0;
  int32_t x = x0;
  while (x < x1 && (x & 7)) n += int32_t(ImgPixelGet(row, x++, 1));
  for (; x + 8 <= x1; x += 8) n += __builtin_popcount(row[x >> 3]);
  while (x < x1) n += int32_t(ImgPixelGet(row, x++, 1));
  return n;
}

struct Scale {
  const ImgDib* s;
  ImgDib* d;
  int32_t left, top, sw, sh, nw, nh, bpp;
};

// 1-bit reduction counted into gray levels of 4 or 8 bits.
void scale_gray(const Scale& c, int32_t depth) {
  std::vector<int32_t> cs = span_table(c.nw, c.sw), rs = span_table(c.nh, c.sh);
  const int32_t top_level = depth == 8 ? 255 : 15;
  for (int32_t y = 0; y < c.nh; ++y) {
    uint8_t* out = ImgRowFromTop(c.d, y);
    int32_t r0 = rs[size_t(y)], r1 = std::max(rs[size_t(y) + 1], r0 + 1);
    for (int32_t x = 0; x < c.nw; ++x) {
      int32_t c0 = cs[size_t(x)], c1 = std::max(cs[size_t(x) + 1], c0 + 1);
      int64_t cw = c1 - c0, rh = r1 - r0;
      // The counting kernel holds at most 512 pixels: halve both runs until it fits.
      while (cw * (rh + 1) > 512 && (cw > 1 || rh > 1)) {
        cw = std::max<int64_t>(1, cw / 2);
        rh = std::max<int64_t>(1, rh / 2);
      }
      int32_t ones = 0;
      for (int32_t yy = r0; yy < r0 + rh; ++yy)
        ones += count_ones(ImgRowFromTop(c.s, c.top + yy), c.left + c0, c.left + c0 + int32_t(cw));
      ImgPixelSet(out, x, depth, uint32_t(ones * top_level / int32_t(cw * rh)));
    }
  }
}

// 1-bit reduction merging the covered rows, then the covered columns, by AND or OR.
void scale_merge(const Scale& c, bool all) {
  std::vector<int32_t> cs = span_table(c.nw, c.sw), rs = span_table(c.nh, c.sh);
  std::vector<int32_t> cm = step_table(c.nw, c.sw), rm = step_table(c.nh, c.sh);
  const bool reduce_cols = c.nw < c.sw, reduce_rows = c.nh < c.sh;
  std::vector<uint8_t> merged(row_bytes(c.sw, 1) + 1);
  for (int32_t y = 0; y < c.nh; ++y) {
    int32_t r0 = reduce_rows ? rs[size_t(y)] : rm[size_t(y)];
    int32_t r1 = reduce_rows ? std::max(rs[size_t(y) + 1], r0 + 1) : r0 + 1;
    std::vector<uint8_t> line(row_bytes(c.sw, 1));
    copy_run(ImgRowFromTop(c.s, c.top + r0), c.left, line.data(), c.sw, 1);
    for (int32_t yy = r0 + 1; yy < r1; ++yy) {
      copy_run(ImgRowFromTop(c.s, c.top + yy), c.left, merged.data(), c.sw, 1);
      for (size_t i = 0; i < line.size(); ++i) line[i] = all ? line[i] & merged[i] : line[i] | merged[i];
    }
    uint8_t* out = ImgRowFromTop(c.d, y);
    std::memset(out, 0, row_bytes(c.nw, 1));
    for (int32_t x = 0; x < c.nw; ++x) {
      int32_t c0 = reduce_cols ? cs[size_t(x)] : cm[size_t(x)];
      int32_t c1 = reduce_cols ? std::max(cs[size_t(x) + 1], c0 + 1) : c0 + 1;
      int32_t ones = count_ones(line.data(), c0, c1);
      bool bit = all ? ones == c1 - c0 : ones > 0;
      ImgPixelSet(out, x, 1, bit);
    }
  }
}

// Nearest-pixel scaling; rows that repeat are copied from the finished output row.
void scale_plain(const Scale& c) {
  std::vector<int32_t> cm = step_table(c.nw, c.sw), rm = step_table(c.nh, c.sh);
  for (int32_t& v : cm) v += c.left;
  const size_t used = row_bytes(c.nw, c.bpp);
  for (int32_t y = 0; y < c.nh; ++y) {
    uint8_t* out = ImgRowFromTop(c.d, y);
    if (y > 0 && rm[size_t(y)] == rm[size_t(y) - 1]) {
      std::memcpy(out, ImgRowFromTop(c.d, y - 1), used);
      continue;
    }
    scale_row(ImgRowFromTop(c.s, c.top + rm[size_t(y)]), cm.data(), c.nw, out, c.bpp,
              c.s->info->bmiHeader.biWidth);
  }
}

// Index of the colour-table entry equal to a colour, else the nearest one (squared
// distance, the lowest index winning a tie).
uint32_t background_index(const BITMAPINFO* info, uint32_t colour) {
  uint32_t n = ImgDibColours(&info->bmiHeader);
  if (colour & 0x01000000) return (colour & 0xFF) < n ? colour & 0xFF : 0;
  int32_t r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  uint32_t best = 0;
  int64_t best_d = -1;
  for (uint32_t i = 0; i < n; ++i) {
    const RGBQUAD& q = info->bmiColors[i];
    int64_t dr = q.rgbRed - r, dg = q.rgbGreen - g, db = q.rgbBlue - b;
    int64_t d = dr * dr + dg * dg + db * db;
    if (best_d < 0 || d < best_d) {
      best_d = d;
      best = i;
    }
  }
  return best;
}

}  // namespace

HIMG ImgCopy(HIMG img, int32_t newWidth, int32_t newHeight, const RECT* source, uint32_t flags) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return nullptr;
  auto fail = [&](int32_t status) -> HIMG {
    GlobalUnlock(img);
    ImgSetError(status);
    return nullptr;
  };
  if (r->flags & IMG_FLAG_METAFILE || !r->pixels || !r->pixels->bits) return fail(IMG_COPY_METAFILE);
  const ImgDib* s = r->pixels;
  const BITMAPINFOHEADER& h = s->info->bmiHeader;
  RECT src = source ? *source : RECT{0, 0, h.biWidth - 1, h.biHeight - 1};
  // A rectangle that is inverted or reaches outside the image is refused.
  if (src.left < 0 || src.top < 0 || src.right < src.left || src.bottom < src.top || src.right >= h.biWidth ||
      src.bottom >= h.biHeight)
    return fail(IMG_SOURCE_OUTSIDE);
  const int32_t sw = src.right - src.left + 1, sh = src.bottom - src.top + 1;
  if (newWidth < 0 || newHeight < 0) return fail(IMG_BAD_ARGUMENT);
  const int32_t nw = newWidth ? newWidth : sw, nh = newHeight ? newHeight : sh;
  const int32_t bpp = h.biBitCount;
  const bool gray = (flags & (IMG_COPY_GRAY4 | IMG_COPY_GRAY8)) && bpp == 1 && nw <= sw && nh < sh;
  const int32_t depth = gray ? (flags & IMG_COPY_GRAY8 ? 8 : 4) : bpp;
  if (!fits(nw, nh, depth, true)) return fail(IMG_NO_MEMORY);
  ImgDib* d = ImgDibNew(nw, nh, depth, true, gray ? nullptr : s->info);
  if (!d) return fail(IMG_NO_MEMORY);
  BITMAPINFOHEADER& o = d->info->bmiHeader;
  o.biSizeImage = ImgDibImageSize(&o);
  if (gray) {
    uint32_t levels = 1u << depth, step = depth == 8 ? 1 : 17;
    o.biClrUsed = o.biClrImportant = levels;
    o.biXPelsPerMeter = h.biXPelsPerMeter;
    o.biYPelsPerMeter = h.biYPelsPerMeter;
    for (uint32_t k = 0; k < levels; ++k) {
      uint8_t v = uint8_t(k * step);
      d->info->bmiColors[k] = RGBQUAD{v, v, v, 0};
    }
  }
  Scale c{s, d, src.left, src.top, sw, sh, nw, nh, bpp};
  if (nw == sw && nh == sh) {
    for (int32_t y = 0; y < nh; ++y) copy_run(ImgRowFromTop(s, src.top + y), src.left, ImgRowFromTop(d, y), nw, bpp);
  } else if (gray) {
    scale_gray(c, depth);
  } else if (bpp == 1 && (flags & (IMG_COPY_AND | IMG_COPY_OR)) && (nw < sw || nh < sh)) {
    scale_merge(c, flags & IMG_COPY_AND);
  } else {
    scale_plain(c);
  }
  GlobalUnlock(img);
  return ImgWrap(d);
}

HIMG ImgRotate(HIMG img, uint32_t angle, uint32_t background) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return nullptr;
  if (r->flags & IMG_FLAG_METAFILE || !r->pixels || !r->pixels->bits) {
    GlobalUnlock(img);
    ImgSetError(IMG_PIXELS_METAFILE);
    return nullptr;
  }
  const ImgDib* s = r->pixels;
  const BITMAPINFOHEADER& h = s->info->bmiHeader;
  const int32_t w = h.biWidth, ht = h.biHeight, bpp = h.biBitCount;
  ImgDib* d = nullptr;
  if (angle % 9000 == 0) {
    const uint32_t degrees = (angle / 100) % 360;
    const bool turn = degrees == 90 || degrees == 270;
    const int32_t ow = turn ? ht : w, oh = turn ? w : ht;
    if (fits(ow, oh, bpp, false)) d = ImgDibNew(ow, oh, bpp, true, s->info);
    if (d) {
      d->info->bmiHeader.biSizeImage = ImgDibImageSize(&d->info->bmiHeader);
      std::memset(d->bits, 0, ImgDibImageSize(&d->info->bmiHeader));
      // With y counted from the top: 90 sends (x, y) to (y, w - 1 - x), 270 to
      // (h - 1 - y, x), 180 to (w - 1 - x, h - 1 - y).
      for (int32_t y = 0; y < ht; ++y) {
        const uint8_t* in = ImgRowFromTop(s, y);
        for (int32_t x = 0; x < w; ++x) {
          uint32_t v = ImgPixelGet(in, x, bpp);
          int32_t ox = x, oy = y;
          if (degrees == 90) ox = y, oy = w - 1 - x;
          else if (degrees == 270) ox = ht - 1 - y, oy = x;
          else if (degrees == 180) ox = w - 1 - x, oy = ht - 1 - y;
          ImgPixelSet(ImgRowFromTop(d, oy), ox, bpp, v);
        }
      }
    }
  } else {
    // Coordinates are the DIB's (rows counted upward), so every angle turns
    // counter-clockwise on screen, like the right angles. The angle is taken within one
    // turn first, so that a huge angle turns exactly as its remainder does.
    const double a = double(angle % 36000) * 0.01 * std::numbers::pi / 180.0, ca = std::cos(a), sa = std::sin(a);
    const double xs[4] = {0, double(w), 0, double(w)}, ys[4] = {0, 0, double(ht), double(ht)};
    double minx = 1e300, maxx = -1e300, miny = 1e300, maxy = -1e300;
    for (int i = 0; i < 4; ++i) {
      double tx = ca * xs[i] - sa * ys[i], ty = sa * xs[i] + ca * ys[i];
      minx = std::min(minx, tx), maxx = std::max(maxx, tx), miny = std::min(miny, ty), maxy = std::max(maxy, ty);
    }
    const double fw = maxx - minx + 0.5, fh = maxy - miny + 0.5;
    const int32_t ow = fw < 1 ? 1 : int32_t(fw), oh = fh < 1 ? 1 : int32_t(fh);
    if (fits(ow, oh, bpp, false)) d = ImgDibNew(ow, oh, bpp, true, s->info);
    if (d) {
      d->info->bmiHeader.biSizeImage = ImgDibImageSize(&d->info->bmiHeader);
      const uint32_t bg = bpp <= 8 ? background_index(d->info, background)
                                   : (GetBValue(background) | GetGValue(background) << 8 | GetRValue(background) << 16);
      const size_t sstride = ImgDibStride(&h), dstride = ImgDibStride(&d->info->bmiHeader);
      // Source positions in 16.16 fixed point, stepped along each output row.
      const int64_t one = 65536, dx = std::llround(ca * one), dy = std::llround(-sa * one);
      const int64_t wl = int64_t(w) * one, hl = int64_t(ht) * one;
      for (int32_t oy = 0; oy < oh; ++oy) {
        uint8_t* out = d->bits + dstride * size_t(oy);
        const double px = minx + 0.5, py = miny + oy + 0.5;
        int64_t sx = std::llround((ca * px + sa * py) * one), sy = std::llround((-sa * px + ca * py) * one);
        for (int32_t ox = 0; ox < ow; ++ox, sx += dx, sy += dy) {
          uint32_t v = bg;
          if (sx >= 0 && sy >= 0 && sx < wl && sy < hl)
            v = ImgPixelGet(s->bits + sstride * size_t(sy >> 16), int32_t(sx >> 16), bpp);
          ImgPixelSet(out, ox, bpp, v);
        }
      }
    }
  }
  GlobalUnlock(img);
  if (!d) {
    ImgSetError(IMG_NO_MEMORY);
    return nullptr;
  }
  return ImgWrap(d);
}
