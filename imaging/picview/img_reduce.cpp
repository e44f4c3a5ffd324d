// Colour reduction of picview images: ImgReduceColors turns an image into a 4- or 8-bit
// palette image of at most a given number of colours. The palette comes from median cut
// over a 15-bit histogram, an octree, a fixed palette or the caller's palette; pixels
// are mapped through a 15-bit inverse map filled by nearest-colour search, with or
// without Floyd-Steinberg diffusion. Two colours and gray output go to the tone
// conversions. Built on the image handles and img_tone.cpp; called by the display class.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/picview/img_ops.h"

const uint8_t kImgFixed16[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0x80}, {0x00, 0x80, 0x00}, {0x00, 0x80, 0x80}, {0x80, 0x00, 0x00}, {0x80, 0x00, 0x80},
    {0x80, 0x80, 0x00}, {0xC0, 0xC0, 0xC0}, {0x80, 0x80, 0x80}, {0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0x00, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF}};

namespace {

// A colour of the hue circle (degrees, a multiple of 15 or 24) between a largest and a
// smallest channel value, rounded half up.
void hue_colour(double hue, double hi, double lo, uint8_t out[3]) {
  double h = std::fmod(hue, 360.0) / 60.0;
  int sector = int(h);
  double f = h - sector, up = lo + (hi - lo) * f, down = hi - (hi - lo) * f;
  double rgb[3];
  switch (sector) {
    case 0: rgb[0] = hi, rgb[1] = up, rgb[2] = lo; break;
    case 1: rgb[0] = down, rgb[1] = hi, rgb[2] = lo; break;
    case 2: rgb[0] = lo, rgb[1] = hi, rgb[2] = up; break;
    case 3: rgb[0] = lo, rgb[1] = down, rgb[2] = hi; break;
    case 4: rgb[0] = up, rgb[1] = lo, rgb[2] = hi; break;
    default: rgb[0] = hi, rgb[1] = lo, rgb[2] = down; break;
  }
  for (int i = 0; i < 3; ++i) out[i] = uint8_t(std::floor(rgb[i] + 0.5));
}

// The fixed 256-colour palette. Entries 16-196 are rings of 24 hues (the last ring 13)
// at 15-degree steps starting at 15 degrees; ring k has its largest channel at
// 244 - 28k and its smallest at that times 170 / 244, so the first ring runs F4BDAA,
// F4CFAA, F4E2AA, F4F4AA, E2F4AA, ... Entries 206-235 are two pale rings of 15 hues at
// 24-degree steps starting at 24 degrees, between FF and E0, then between F0 and C8.
struct Fixed256 {
  uint8_t c[256][3];
  Fixed256() {
    static const uint32_t head[16] = {0x000000, 0xC00000, 0x00C000, 0xC0C000, 0x0000C0, 0xC000C0, 0x00C0C0, 0xC0C0C0,
                                      0xC0DCC0, 0xA4C8F0, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080};
    static const uint32_t grays[9] = {0x303030, 0x474747, 0x5F5F5F, 0x777777, 0x8F8F8F,
                                      0xA7A7A7, 0xBEBEBE, 0xD6D6D6, 0xEEEEEE};
    static const uint32_t tail[10] = {0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00,
                                      0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    auto put = [&](int i, uint32_t rgb) {
      c[i][0] = uint8_t(rgb >> 16);
      c[i][1] = uint8_t(rgb >> 8);
      c[i][2] = uint8_t(rgb);
    };
    for (int i = 0; i < 16; ++i) put(i, head[i]);
    for (int e = 0; e < 181; ++e) {
      int k = e / 24, j = e % 24;
      double hi = 244 - 28 * k;
      hue_colour(15.0 * (j + 1), hi, hi * 170.0 / 244.0, c[16 + e]);
    }
    for (int i = 0; i < 9; ++i) put(197 + i, grays[i]);
    for (int e = 0; e < 30; ++e) {
      int k = e / 15, j = e % 15;
      hue_colour(24.0 * (j + 1), k ? 0xF0 : 0xFF, k ? 0xC8 : 0xE0, c[206 + e]);
    }
    for (int i = 0; i < 10; ++i) put(236 + i, tail[i]), put(246 + i, tail[i]);
  }
};

constexpr uint16_t kUnknown = 0xFFFF;

inline uint32_t key15(uint32_t r, uint32_t g, uint32_t b) { return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3); }

// Nearest-colour search over a palette sorted by red (ties: palette index), with a
// start position per red value.
struct ColourSearch {
  struct Entry {
    uint32_t index;
    uint8_t r, g, b;
  };
  std::vector<Entry> sorted;
  uint32_t start[256];

  explicit ColourSearch(const RGBQUAD* pal, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) sorted.push_back({i, pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue});
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return a.r < b.r; });
    for (uint32_t r = 0; r < 256; ++r) {
      uint32_t p = 0;
      while (p < sorted.size() && sorted[p].r < r) ++p;
      start[r] = p < sorted.size() ? p : uint32_t(sorted.size() - 1);
    }
  }
  static int32_t dist(const Entry& e, int32_t r, int32_t g, int32_t b) {
    return (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b);
  }
  uint32_t nearest(int32_t r, int32_t g, int32_t b) const {
    const int32_t n = int32_t(sorted.size());
    int32_t s = int32_t(start[r]);
    int32_t best = dist(sorted[size_t(s)], r, g, b);
    uint32_t answer = sorted[size_t(s)].index;
    int32_t down = s - 1, up = s + 1;
    bool go_down = true, go_up = true;
    while (go_down || go_up) {
      if (go_down) {
        if (down < 0) go_down = false;
        else {
          const Entry& e = sorted[size_t(down)];
          if ((e.r - r) * (e.r - r) > best) go_down = false;
          else {
            int32_t d = dist(e, r, g, b);
            if (d < best) best = d, answer = e.index;
            --down;
          }
        }
      }
      if (go_up) {
        if (up >= n) go_up = false;
        else {
          const Entry& e = sorted[size_t(up)];
          if ((e.r - r) * (e.r - r) > best) go_up = false;
          else {
            int32_t d = dist(e, r, g, b);
            if (d < best) best = d, answer = e.index;
            ++up;
          }
        }
      }
    }
    return answer;
  }
};

// Reads the colour of every pixel of a 1/4/8/24-bit image (through the colour table
// below 24 bits) as red, green, blue.
struct PixelReader {
  const ImgDib* s;
  int32_t bpp;
  uint32_t entries;
  void at(const uint8_t* row, int32_t x, int32_t* r, int32_t* g, int32_t* b) const {
    uint32_t v = ImgPixelGet(row, x, bpp);
    if (bpp == 24) {
      *r = int32_t(v >> 16 & 255), *g = int32_t(v >> 8 & 255), *b = int32_t(v & 255);
      return;
    }
    if (v >= entries) {
      *r = *g = *b = 0;
      return;
    }
    const RGBQUAD& q = s->info->bmiColors[v];
    *r = q.rgbRed, *g = q.rgbGreen, *b = q.rgbBlue;
  }
};

// ---- Median cut ---------------------------------------------------------------------
struct Box {
  uint32_t first, last;  // into the key list
  uint64_t count;
  uint8_t lo[3], hi[3];
  int axis;              // 0 red, 1 green, 2 blue
  uint8_t mean[3];
};

inline uint32_t channel(uint32_t key, int axis) { return key >> (10 - 5 * axis) & 31; }

void box_stats(Box& b, const std::vector<uint32_t>& keys, const std::vector<uint32_t>& hist) {
  uint64_t sum[3] = {0, 0, 0};
  b.count = 0;
  for (int a = 0; a < 3; ++a) b.lo[a] = 31, b.hi[a] = 0;
  for (uint32_t i = b.first; i <= b.last; ++i) {
    uint32_t k = keys[i];
    uint64_t n = hist[k];
    b.count += n;
    for (int a = 0; a < 3; ++a) {
      uint8_t v = uint8_t(channel(k, a));
      b.lo[a] = std::min(b.lo[a], v);
      b.hi[a] = std::max(b.hi[a], v);
      sum[a] += v * n;
    }
  }
  int rr = b.hi[0] - b.lo[0], gr = b.hi[1] - b.lo[1], br = b.hi[2] - b.lo[2];
  b.axis = rr >= gr && rr >= br ? 0 : gr >= br ? 1 : 2;
  // The mean in 8-bit steps, each 5-bit value standing for the centre of its cell
  // (8v + 4), rounded: truncating to the 5-bit step and scaling the cell's bottom would
  // darken every colour by 4 to 11 levels.
  for (int a = 0; a < 3; ++a) {
    uint64_t m = b.count ? (sum[a] * 8 + 4 * b.count + b.count / 2) / b.count : 0;
    b.mean[a] = uint8_t(m > 255 ? 255 : m);
  }
}

void insert_box(std::vector<Box>& list, const Box& b) {
  auto at = std::find_if(list.begin(), list.end(), [&](const Box& o) { return o.count < b.count; });
  list.insert(at, b);
}

// Median cut: palette entries in box order, and the map of every key inside a box.
void median_cut(const PixelReader& px, uint32_t count, RGBQUAD* pal, uint16_t* map) {
  const BITMAPINFOHEADER& h = px.s->info->bmiHeader;
  std::vector<uint32_t> hist(32768, 0);
  // Palette sources count their colour-table colours; 24-bit ones their pixels.
  for (int32_t y = 0; y < h.biHeight; ++y) {
    const uint8_t* row = ImgRowFromTop(px.s, y);
    for (int32_t x = 0; x < h.biWidth; ++x) {
      int32_t r, g, b;
      px.at(row, x, &r, &g, &b);
      ++hist[key15(uint32_t(r), uint32_t(g), uint32_t(b))];
    }
  }
  std::vector<uint32_t> keys;
  for (uint32_t k = 0; k < 32768; ++k)
    if (hist[k]) keys.push_back(k);
  std::vector<Box> list;
  Box all{0, uint32_t(keys.size() - 1), 0, {}, {}, 0, {}};
  box_stats(all, keys, hist);
  list.push_back(all);
  const size_t target = std::min<size_t>(count, keys.size());
  while (list.size() < target) {
    auto it = std::find_if(list.begin(), list.end(), [](const Box& b) { return b.last > b.first; });
    if (it == list.end()) break;
    Box b = *it;
    list.erase(it);
    int axis = b.axis;
    std::stable_sort(keys.begin() + b.first, keys.begin() + b.last + 1,
                     [axis](uint32_t x, uint32_t y) { return channel(x, axis) < channel(y, axis); });
    uint64_t half = b.count / 2, run = 0;
    uint32_t k = b.first;
    for (; k <= b.last; ++k) {
      run += hist[keys[k]];
      if (run > half) break;
    }
    if (k > b.last) k = b.last;
    Box lo = b, hi = b;
    if (k == b.last) {
      lo.last = b.last - 1;
      hi.first = b.last;
    } else {
      lo.last = k;
      hi.first = k + 1;
    }
    box_stats(lo, keys, hist);
    box_stats(hi, keys, hist);
    insert_box(list, lo);
    insert_box(list, hi);
  }
  for (size_t i = 0; i < list.size(); ++i) {
    const Box& b = list[i];
    pal[i] = RGBQUAD{b.mean[2], b.mean[1], b.mean[0], 0};
    for (uint32_t r = b.lo[0]; r <= b.hi[0]; ++r)
      for (uint32_t g = b.lo[1]; g <= b.hi[1]; ++g)
        for (uint32_t bl = b.lo[2]; bl <= b.hi[2]; ++bl) map[r << 10 | g << 5 | bl] = uint16_t(i);
  }
}

// ---- Octree -------------------------------------------------------------------------
struct Octree {
  struct Node {
    bool leaf = false;
    uint64_t count = 0, sum[3] = {0, 0, 0};
    int32_t child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  };
  std::vector<Node> nodes;
  std::vector<int32_t> reducible[8];
  uint32_t leaves = 0;

  // The root is reducible too, so that any count of 1 or more can be reached.
  Octree() {
    nodes.emplace_back();
    reducible[0].push_back(0);
  }

  void insert(uint32_t r, uint32_t g, uint32_t b) {
    int32_t n = 0;
    for (int level = 0; level < 8 && !nodes[size_t(n)].leaf; ++level) {
      uint32_t bit = 0x80u >> level;
      int c = (r & bit ? 4 : 0) | (g & bit ? 2 : 0) | (b & bit ? 1 : 0);
      int32_t next = nodes[size_t(n)].child[c];
      if (next < 0) {
        next = int32_t(nodes.size());
        nodes.emplace_back();
        nodes[size_t(n)].child[c] = next;
        if (level == 7) {
          nodes[size_t(next)].leaf = true;
          ++leaves;
        } else {
          reducible[level + 1].push_back(next);
        }
      }
      n = next;
    }
    Node& leaf = nodes[size_t(n)];
    ++leaf.count;
    leaf.sum[0] += r, leaf.sum[1] += g, leaf.sum[2] += b;
  }

  // Folds the most recent node of the deepest reducible level; false when none is left.
  bool reduce() {
    int level = 7;
    while (level > 0 && reducible[level].empty()) --level;
    if (reducible[level].empty()) return false;
    int32_t n = reducible[level].back();
    reducible[level].pop_back();
    Node& node = nodes[size_t(n)];
    uint32_t children = 0;
    for (int32_t& c : node.child) {
      if (c < 0) continue;
      const Node& ch = nodes[size_t(c)];
      node.count += ch.count;
      for (int a = 0; a < 3; ++a) node.sum[a] += ch.sum[a];
      c = -1;
      ++children;
    }
    node.leaf = true;
    leaves = leaves - children + 1;
    return true;
  }

  void palette(int32_t n, RGBQUAD* pal, uint32_t& i) const {
    const Node& node = nodes[size_t(n)];
    if (node.leaf) {
      uint64_t c = node.count ? node.count : 1;
      pal[i++] = RGBQUAD{uint8_t(node.sum[2] / c), uint8_t(node.sum[1] / c), uint8_t(node.sum[0] / c), 0};
      return;
    }
    for (int32_t c : node.child)
      if (c >= 0) palette(c, pal, i);
  }
};

void octree(const PixelReader& px, uint32_t count, RGBQUAD* pal) {
  const BITMAPINFOHEADER& h = px.s->info->bmiHeader;
  Octree tree;
  for (int32_t y = 0; y < h.biHeight; ++y) {
    const uint8_t* row = ImgRowFromTop(px.s, y);
    for (int32_t x = 0; x < h.biWidth; ++x) {
      int32_t r, g, b;
      px.at(row, x, &r, &g, &b);
      tree.insert(uint32_t(r), uint32_t(g), uint32_t(b));
      while (tree.leaves > count && tree.reduce()) {
      }
    }
  }
  uint32_t i = 0;
  tree.palette(0, pal, i);
}

// Maps every pixel to the output table, by nearest colour or with Floyd-Steinberg
// diffusion (errors in sixteenths).
void map_pixels(const PixelReader& px, ImgDib* d, const ColourSearch& search, uint16_t* map, bool diffuse) {
  const BITMAPINFOHEADER& h = px.s->info->bmiHeader;
  const int32_t w = h.biWidth, depth = d->info->bmiHeader.biBitCount;
  const RGBQUAD* pal = d->info->bmiColors;
  auto lookup = [&](int32_t r, int32_t g, int32_t b) {
    uint32_t k = key15(uint32_t(r), uint32_t(g), uint32_t(b));
    if (map[k] == kUnknown) map[k] = uint16_t(search.nearest(r, g, b));
    return map[k];
  };
  std::vector<int32_t> cur(diffuse ? 3 * (size_t(w) + 2) : 0), next(cur.size());
  for (int32_t y = 0; y < h.biHeight; ++y) {
    const uint8_t* in = ImgRowFromTop(px.s, y);
    uint8_t* out = ImgRowFromTop(d, y);
    for (int32_t x = 0; x < w; ++x) {
      int32_t c[3];
      px.at(in, x, &c[0], &c[1], &c[2]);
      if (!diffuse) {
        ImgPixelSet(out, x, depth, lookup(c[0], c[1], c[2]));
        continue;
      }
      int32_t* e = cur.data() + 3 * (size_t(x) + 1);
      for (int a = 0; a < 3; ++a) c[a] = ImgClamp(c[a] + (e[a] >> 4));
      uint16_t idx = lookup(c[0], c[1], c[2]);
      ImgPixelSet(out, x, depth, idx);
      const int32_t got[3] = {pal[idx].rgbRed, pal[idx].rgbGreen, pal[idx].rgbBlue};
      int32_t* n = next.data() + 3 * (size_t(x) + 1);
      for (int a = 0; a < 3; ++a) {
        int32_t dd = c[a] - got[a];
        e[3 + a] += 7 * dd;
        n[a - 3] += 3 * dd;
        n[a] += 5 * dd;
        n[a + 3] += dd;
      }
    }
    if (diffuse) {
      cur.swap(next);
      std::fill(next.begin(), next.end(), 0);
    }
  }
}

}  // namespace

const uint8_t (*ImgFixed256())[3] {
  static const Fixed256 table;
  return table.c;
}

HIMG ImgReduceColors(HIMG img, uint32_t count, uint32_t flags) { return ImgReduceColors(img, count, flags, nullptr); }

HIMG ImgReduceColors(HIMG img, uint32_t count, uint32_t flags, HPALETTE palette) {
  ImgResetStatus();
  ImgRecord* r = ImgLockRecord(img);
  if (!r) return nullptr;
  auto fail = [&](int32_t status) -> HIMG {
    GlobalUnlock(img);
    if (status != IMG_OK) ImgSetError(status);
    return nullptr;
  };
  if (r->flags & IMG_FLAG_METAFILE || !r->pixels || !r->pixels->bits) return fail(IMG_CANNOT_REDUCE);
  std::vector<PALETTEENTRY> caller;
  if (palette) {
    uint32_t n = GetPaletteEntries(palette, 0, 0, nullptr);
    caller.resize(n);
    if (n) GetPaletteEntries(palette, 0, n, caller.data());
    count = n;
  }
  if (count == 0) return fail(IMG_BAD_ARGUMENT);
  const ImgDib* s = r->pixels;
  const BITMAPINFOHEADER& h = s->info->bmiHeader;
  const int32_t bpp = h.biBitCount;
  if (count == 2) {
    if (bpp == 1) return fail(IMG_CANNOT_REDUCE);
    GlobalUnlock(img);
    return ImgToBilevel(img, flags);
  }
  if (count > 256) return fail(IMG_BAD_ARGUMENT);
  if (flags & IMG_REDUCE_GRAY) {
    GlobalUnlock(img);
    return ImgToGray(img);
  }
  if (bpp < 8 && count > (1u << bpp)) return fail(IMG_CANNOT_REDUCE);
  const int32_t depth = count > 16 ? 8 : 4;
  const uint32_t entries = depth == 8 ? 256 : 16;
  std::unique_ptr<uint16_t[]> map(new (std::nothrow) uint16_t[32768]);
  std::unique_ptr<RGBQUAD[]> pal(new (std::nothrow) RGBQUAD[256]());
  if (!map || !pal) return fail(IMG_NO_MEMORY);
  std::fill(map.get(), map.get() + 32768, kUnknown);
  PixelReader px{s, bpp, ImgDibColours(&h)};
  if (palette) {
    for (uint32_t i = 0; i < count && i < 256; ++i)
      pal[i] = RGBQUAD{caller[i].peBlue, caller[i].peGreen, caller[i].peRed, 0};
  } else if (flags & IMG_REDUCE_FIXED) {
    // The fixed palettes' maps start all unknown and fill by nearest colour.
    if (depth == 8) {
      const uint8_t(*f)[3] = ImgFixed256();
      for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{f[i][2], f[i][1], f[i][0], 0};
    } else {
      for (int i = 0; i < 16; ++i) pal[i] = RGBQUAD{kImgFixed16[i][2], kImgFixed16[i][1], kImgFixed16[i][0], 0};
    }
  } else if (bpp <= 8 && count == (1u << bpp)) {
    return fail(IMG_CANNOT_REDUCE);
  } else if (flags & IMG_REDUCE_MEDIAN_CUT) {
    median_cut(px, count, pal.get(), map.get());
  } else {
    octree(px, count, pal.get());
  }
  ImgDib* d = ImgDibNew(h.biWidth, h.biHeight, depth, true, nullptr);
  if (!d) return fail(IMG_NO_MEMORY);
  BITMAPINFOHEADER& o = d->info->bmiHeader;
  o.biXPelsPerMeter = h.biXPelsPerMeter;
  o.biYPelsPerMeter = h.biYPelsPerMeter;
  o.biSizeImage = ImgDibImageSize(&o);
  std::memcpy(d->info->bmiColors, pal.get(), 4 * size_t(entries));
  ColourSearch search(d->info->bmiColors, entries);
  map_pixels(px, d, search, map.get(), flags & (IMG_REDUCE_DIFFUSE | IMG_REDUCE_DIFFUSE2));
  GlobalUnlock(img);
  return ImgWrap(d);
}
