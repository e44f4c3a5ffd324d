// Colour reduction and transparency (see colour_reduce.h). The octree keeps a fixed pool
// of nodes per tree level (1, 8, 64 and 256 for each deeper level, 1,609 in all) and at
// most L colour records; running out of either merges a subtree instead of growing.
#include "filters/graphics/colour_reduce.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace gfx {

bool transparent_level(const TransparencyRequest& r, unsigned level) {
  return r.direction == 0 ? level >= r.threshold : level <= r.threshold;
}

void request_release(TransparencyRequest& r) { raster_free(r.mask); }

namespace {

// ---- Octree -----------------------------------------------------------------------------

constexpr int kLevels = 9;
constexpr int kLevelSlots[kLevels] = {1, 8, 64, 256, 256, 256, 256, 256, 256};
constexpr int kLevelBase[kLevels] = {0, 1, 9, 73, 329, 585, 841, 1097, 1353};
constexpr int kNodes = 1609;

struct Node {
  int depth = 0;
  int state = 0;  // 0 inner, 1 leaf, 2 merged leaf
  int record = -1;
  int children[8];
  int child_count = 0;
  int parent = -1;
  uint32_t key = 0;
  int64_t cached = -1;
};

struct Record {
  int node = -1;
  uint8_t blue = 0, green = 0, red = 0;
  int index = 0;
  uint64_t count = 0, sum_r = 0, sum_g = 0, sum_b = 0;
  int next = -1, prev = -1;
};

struct Octree {
  int limit = 0;
  Node nodes[kNodes];
  bool used[kNodes] = {};
  Record records[256];
  bool record_used[256] = {};
  int records_in_use = 0;
  int head = -1;

  int child_index(const uint8_t* bgr, int depth) const {  // the child at depth + 1
    int bit = 7 - depth;
    return ((bgr[2] >> bit) & 1) << 2 | ((bgr[1] >> bit) & 1) << 1 | ((bgr[0] >> bit) & 1);
  }
  int free_slot(int depth) const {
    for (int s = 0; s < kLevelSlots[depth]; ++s)
      if (!used[kLevelBase[depth] + s]) return kLevelBase[depth] + s;
    return -1;
  }
  int new_node(int depth, int parent, uint32_t key) {
    int n = free_slot(depth);
    if (n < 0) return -1;
    used[n] = true;
    Node& nd = nodes[n];
    nd = Node{};
    std::fill(nd.children, nd.children + 8, -1);
    nd.depth = depth, nd.state = 1, nd.parent = parent, nd.key = key;
    return n;
  }
  int new_record(int node) {
    for (int i = 0; i < limit; ++i)
      if (!record_used[i]) {
        record_used[i] = true;
        ++records_in_use;
        records[i] = Record{};
        records[i].node = node;
        // List ordered by key, largest first.
        uint32_t key = nodes[node].key;
        int at = head, before = -1;
        while (at >= 0 && nodes[records[at].node].key > key) before = at, at = records[at].next;
        records[i].prev = before;
        records[i].next = at;
        if (before >= 0) records[before].next = i; else head = i;
        if (at >= 0) records[at].prev = i;
        return i;
      }
    return -1;
  }
  void free_record(int r) {
    if (r < 0 || !record_used[r]) return;
    Record& rec = records[r];
    if (rec.prev >= 0) records[rec.prev].next = rec.next; else head = rec.next;
    if (rec.next >= 0) records[rec.next].prev = rec.prev;
    record_used[r] = false;
    --records_in_use;
  }
  void clear_cache(int n) {
    for (; n >= 0; n = nodes[n].parent) nodes[n].cached = -1;
  }
  int64_t subtree_count(int n) {
    Node& nd = nodes[n];
    if (nd.cached >= 0) return nd.cached;
    int64_t c = nd.record >= 0 ? int64_t(records[nd.record].count) : 0;
    for (int k = 0; k < 8; ++k)
      if (nd.children[k] >= 0) c += subtree_count(nd.children[k]);
    nd.cached = c;
    return c;
  }
  // Adds the subtree's records into acc and frees its nodes and records (not n itself).
  void collect(int n, Record& acc) {
    Node& nd = nodes[n];
    for (int k = 0; k < 8; ++k) {
      int c = nd.children[k];
      if (c < 0) continue;
      collect(c, acc);
      if (nodes[c].record >= 0) {
        Record& r = records[nodes[c].record];
        acc.count += r.count, acc.sum_r += r.sum_r, acc.sum_g += r.sum_g, acc.sum_b += r.sum_b;
        if (acc.count == 0) acc.blue = r.blue, acc.green = r.green, acc.red = r.red;
        free_record(nodes[c].record);
      }
      used[c] = false;
      nd.children[k] = -1;
    }
    nd.child_count = 0;
  }
  void merge(int n) {
    Record acc{};
    if (nodes[n].record >= 0) {
      acc = records[nodes[n].record];
      free_record(nodes[n].record);
      nodes[n].record = -1;
    }
    collect(n, acc);
    int r = new_record(n);
    if (r >= 0) {
      Record& rec = records[r];
      rec.count = acc.count, rec.sum_r = acc.sum_r, rec.sum_g = acc.sum_g, rec.sum_b = acc.sum_b;
      rec.blue = acc.blue, rec.green = acc.green, rec.red = acc.red;
    }
    nodes[n].record = r;
    nodes[n].state = 2;
    nodes[n].cached = -1;
  }
  // Merges one subtree; false when nothing can be merged.
  bool reduce() {
    for (int pass = 0; pass < 2; ++pass) {
      for (int depth = 7; depth >= (pass == 0 ? 1 : 0); --depth) {
        int best = -1;
        int64_t best_count = -1;
        int last = kLevelSlots[depth] - (pass == 0 ? 1 : 0);
        for (int s = 0; s < last; ++s) {
          int n = kLevelBase[depth] + s;
          if (!used[n] || nodes[n].state != 0 || nodes[n].child_count < (pass == 0 ? 2 : 1)) continue;
          int64_t c = subtree_count(n);
          if (c > best_count) best = n, best_count = c;
          if (best_count <= 1) break;
        }
        if (best >= 0) {
          merge(best);
          return true;
        }
      }
    }
    return false;
  }
  // Walks as far as nodes exist for the colour.
  int walk(const uint8_t* bgr) const {
    int n = 0;
    while (nodes[n].state == 0 && nodes[n].depth < 8) {
      int c = nodes[n].children[child_index(bgr, nodes[n].depth)];
      if (c < 0) break;
      n = c;
    }
    return n;
  }
  // Puts the colour's leaf in place (making room when needed); -1 when impossible.
  int place(const uint8_t* bgr) {
    for (int guard = 0; guard < 4 * kNodes; ++guard) {
      int n = walk(bgr);
      if (nodes[n].depth == 8 || nodes[n].state != 0) {
        if (nodes[n].record < 0) {
          if (records_in_use >= limit && !reduce()) return -1;
          if (records_in_use >= limit) continue;
          if (nodes[n].record < 0) nodes[n].record = new_record(n);
        }
        return n;
      }
      if (records_in_use >= limit) {
        if (!reduce()) return -1;
        continue;
      }
      bool full = false;
      for (int d = nodes[n].depth + 1; d <= 8; ++d)
        if (free_slot(d) < 0) full = true;
      if (full) {
        if (!reduce()) return -1;
        continue;
      }
      int cur = n;
      while (nodes[cur].depth < 8) {
        int k = child_index(bgr, nodes[cur].depth);
        int d = nodes[cur].depth + 1;
        int c = new_node(d, cur, nodes[cur].key | uint32_t(k) << (3 * (8 - d)));
        if (nodes[cur].record >= 0) {
          free_record(nodes[cur].record);
          nodes[cur].record = -1;
        }
        nodes[cur].state = 0;
        nodes[cur].children[k] = c;
        ++nodes[cur].child_count;
        cur = c;
      }
      nodes[cur].record = new_record(cur);
      return cur;
    }
    return -1;
  }
  void add(const uint8_t* bgr) {
    int n = place(bgr);
    if (n < 0 || nodes[n].record < 0) return;
    Record& r = records[nodes[n].record];
    ++r.count;
    r.sum_b += bgr[0], r.sum_g += bgr[1], r.sum_r += bgr[2];
    clear_cache(n);
  }
};

// The exact pass: indexes of up to limit colours in order of first appearance; false when
// the picture has more. The palette gets the first min(count, limit) colours either way.
bool exact_palette(const RasterImage& bgr, RasterImage& out, int limit, std::vector<uint32_t>& colours) {
  std::vector<uint32_t> sorted;   // keys
  std::vector<uint16_t> order;    // index of each sorted key
  for (uint32_t y = 0; y < bgr.height; ++y) {
    const uint8_t* s = bgr.row(y);
    uint8_t* d = out.row(y);
    for (uint32_t x = 0; x < bgr.width; ++x) {
      uint32_t key = uint32_t(s[3 * x]) << 16 | uint32_t(s[3 * x + 1]) << 8 | s[3 * x + 2];
      auto it = std::lower_bound(sorted.begin(), sorted.end(), key);
      if (it != sorted.end() && *it == key) {
        if (pix_bits(out.format) == 8) d[x] = uint8_t(order[size_t(it - sorted.begin())]);
        else {
          unsigned bits = pix_bits(out.format), idx = order[size_t(it - sorted.begin())];
          unsigned per = 8 / bits, shift = 8 - bits * (x % per + 1);
          d[x / per] |= uint8_t(idx << shift);
        }
        continue;
      }
      if (int(colours.size()) >= limit) {
        colours.push_back(key);
        return false;
      }
      uint16_t idx = uint16_t(colours.size());
      order.insert(order.begin() + (it - sorted.begin()), idx);
      sorted.insert(it, key);
      colours.push_back(key);
      unsigned bits = pix_bits(out.format);
      if (bits == 8) d[x] = uint8_t(idx);
      else {
        unsigned per = 8 / bits, shift = 8 - bits * (x % per + 1);
        d[x / per] |= uint8_t(idx << shift);
      }
    }
  }
  return true;
}

void put_index(RasterImage& out, uint32_t y, uint32_t x, unsigned idx) {
  unsigned bits = pix_bits(out.format);
  uint8_t* d = out.row(y);
  if (bits == 8) {
    d[x] = uint8_t(idx);
    return;
  }
  unsigned per = 8 / bits, shift = 8 - bits * (x % per + 1);
  unsigned mask = ((1u << bits) - 1) << shift;
  d[x / per] = uint8_t((d[x / per] & ~mask) | (idx << shift));
}

unsigned get_index(const RasterImage& img, uint32_t y, uint32_t x) {
  unsigned bits = pix_bits(img.format);
  const uint8_t* d = img.row(y);
  if (bits == 8) return d[x];
  unsigned per = 8 / bits, shift = 8 - bits * (x % per + 1);
  return (d[x / per] >> shift) & ((1u << bits) - 1);
}

KVXSTATUS octree(const RasterImage& bgr, RasterImage& out, int limit, const std::vector<uint32_t>& seeds) {
  KVXBLOCK block = KVXBlockAlloc(KVXBLOCK_MOVABLE, sizeof(Octree));
  void* mem = block ? KVXBlockLock(block) : nullptr;
  if (mem == nullptr) {
    if (block) KVXBlockFree(block);
    return KVXERR_NOMEMORY;
  }
  Octree* t = new (mem) Octree;
  t->limit = limit;
  t->nodes[t->new_node(0, -1, 0)].state = 0;  // the root grows children before holding colours
  for (int i = 0; i < limit && i < int(seeds.size()); ++i) {
    uint8_t c[3] = {uint8_t(seeds[size_t(i)] >> 16), uint8_t(seeds[size_t(i)] >> 8), uint8_t(seeds[size_t(i)])};
    int n = t->place(c);
    if (n >= 0 && t->nodes[n].record >= 0) {
      Record& r = t->records[t->nodes[n].record];
      if (r.count == 0) r.blue = c[0], r.green = c[1], r.red = c[2];
    }
  }
  for (uint32_t y = 0; y < bgr.height; ++y) {
    const uint8_t* s = bgr.row(y);
    for (uint32_t x = 0; x < bgr.width; ++x) t->add(s + 3 * size_t(x));
  }
  int i = 0;
  for (int r = t->head; r >= 0 && i < limit; r = t->records[r].next, ++i) {
    Record& rec = t->records[r];
    rec.index = i;
    if (rec.count != 0) {
      rec.blue = uint8_t(rec.sum_b / rec.count);
      rec.green = uint8_t(rec.sum_g / rec.count);
      rec.red = uint8_t(rec.sum_r / rec.count);
    }
    out.palette[3 * i] = rec.blue, out.palette[3 * i + 1] = rec.green, out.palette[3 * i + 2] = rec.red;
  }
  out.palette_count = uint16_t(i);
  for (uint32_t y = 0; y < bgr.height; ++y) {
    const uint8_t* s = bgr.row(y);
    for (uint32_t x = 0; x < bgr.width; ++x) {
      int n = t->walk(s + 3 * size_t(x));
      int r = t->nodes[n].record;
      put_index(out, y, x, r >= 0 ? unsigned(t->records[r].index) : 0);
    }
  }
  t->~Octree();
  KVXBlockUnlock(block);
  KVXBlockFree(block);
  return KVX_OK;
}

}  // namespace

KVXSTATUS ReduceColours(const RasterImage& image, uint32_t depth, uint32_t /*method*/, RasterImage* result,
                        TransparencyRequest* request) {
  uint32_t p = depth < 32 ? 1u << depth : 0;
  bool palette_request = request != nullptr && (request->kind == TR_MASKBRIGHT || request->kind == TR_BRIGHT) &&
                         request->palette_count >= p;
  if (!(depth < pix_bits(image.format) || palette_request)) return kNothingToDo;
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return KVXERR_BADPARAM;
  if (result == nullptr) return KVXERR_BADFORMAT;
  bool even = request != nullptr && request->kind != 0 && (request->kind & 1) == 0;
  int limit = int(even ? p - 1 : p);
  if (request != nullptr && request->kind != 0) request->reserved = 1;
  // Work on 24-bit blue, green, red.
  RasterImage bgr{};
  const RasterImage* src = &image;
  if (pix_topdown_form(image.format) != PIX_24_BGR) {
    if (KVXSTATUS st = raster_alloc(bgr, image.width, image.height, (image.format & (PIX_TOPDOWN | PIX_BOTTOMUP)) |
                                                                      (PIX_24_BGR & 0xFFFFFF)))
      return st;
    for (uint32_t y = 0; y < image.height; ++y)
      if (!row_to_bgr(image, y, bgr.row(y))) {
        raster_free(bgr);
        return KVXERR_BADPARAM;
      }
    src = &bgr;
  }
  RasterImage out{};
  uint32_t format = (image.format & (PIX_TOPDOWN | PIX_BOTTOMUP)) | depth << 16;
  if (KVXSTATUS st = raster_alloc(out, image.width, image.height, format == 0 ? depth << 16 : format)) {
    raster_free(bgr);
    return st;
  }
  std::vector<uint32_t> colours;
  KVXSTATUS st = KVX_OK;
  if (exact_palette(*src, out, limit, colours)) {
    for (size_t i = 0; i < colours.size(); ++i) {
      out.palette[3 * i] = uint8_t(colours[i] >> 16);
      out.palette[3 * i + 1] = uint8_t(colours[i] >> 8);
      out.palette[3 * i + 2] = uint8_t(colours[i]);
    }
    out.palette_count = uint16_t(colours.size());
  } else {
    std::memset(out.pixels, 0, out.data_size);
    st = octree(*src, out, limit, colours);
  }
  raster_free(bgr);
  if (st != KVX_OK || out.pixels == nullptr) {
    raster_free(out);
    return st ? st : KVXERR_BADFORMAT;
  }
  *result = out;
  return KVX_OK;
}

namespace {

unsigned brightness(const uint8_t* bgr) { return (unsigned(bgr[0]) + bgr[1] + bgr[2]) / 3; }

// With no entry kept free, frees the last one: its pixels go to the nearest other entry
// that is not the transparent colour.
void free_last_entry(RasterImage& img, const TransparencyRequest& r, unsigned last) {
  if (img.palette_count <= last) {
    img.palette_count = uint16_t(last + 1);
    return;
  }
  const uint8_t* e = img.palette + 3 * last;
  int best = -1;
  long best_d = 0;
  for (unsigned i = 0; i < last; ++i) {
    const uint8_t* c = img.palette + 3 * i;
    if (r.kind == TR_COLOUR && c[0] == r.blue && c[1] == r.green && c[2] == r.red) continue;
    long d = long(c[0] - e[0]) * (c[0] - e[0]) + long(c[1] - e[1]) * (c[1] - e[1]) + long(c[2] - e[2]) * (c[2] - e[2]);
    if (best < 0 || d < best_d) best = int(i), best_d = d;
  }
  for (uint32_t y = 0; y < img.height; ++y)
    for (uint32_t x = 0; x < img.width; ++x)
      if (get_index(img, y, x) == last) put_index(img, y, x, best < 0 ? 0 : unsigned(best));
}

}  // namespace

KVXSTATUS MarkTransparency(const RasterImage& source, RasterImage& reduced, TransparencyRequest& r) {
  unsigned p = reduced.palette_capacity;
  if (p == 0 || reduced.width != source.width || reduced.height != source.height) return KVXERR_BADFORMAT;
  unsigned index = p - 1;
  if (r.kind == TR_INDEX) {
    r.transparent = 1;
    r.transparent_index = r.index;
    return KVX_OK;
  }
  if (r.kind == TR_INDEXMASK && !r.reserved) index = r.index;
  bool needs_mask = r.kind == TR_MASK8 || r.kind == TR_MASK24 || r.kind == TR_INDEXMASK || r.kind == TR_MASKBRIGHT;
  if (r.kind != TR_COLOUR && r.kind != TR_BRIGHT && !needs_mask) return KVXERR_BADFORMAT;
  if (needs_mask && (r.mask.pixels == nullptr || r.mask.width != reduced.width || r.mask.height != reduced.height))
    return KVXERR_BADFORMAT;
  if (r.kind == TR_BRIGHT && pix_bits(source.format) > 8) return KVXERR_BADFORMAT;
  if (!r.reserved && index == p - 1) free_last_entry(reduced, r, index);
  std::vector<uint8_t> row(size_t(source.width) * 3);
  for (uint32_t y = 0; y < reduced.height; ++y) {
    if (r.kind == TR_COLOUR && !row_to_bgr(source, y, row.data())) return KVXERR_BADFORMAT;
    for (uint32_t x = 0; x < reduced.width; ++x) {
      bool t = false;
      if (r.kind == TR_COLOUR) {
        const uint8_t* c = row.data() + 3 * size_t(x);
        t = c[0] == r.blue && c[1] == r.green && c[2] == r.red;
      } else if (r.kind == TR_BRIGHT) {
        unsigned i = get_index(source, y, x);
        t = i < r.palette_count && transparent_level(r, brightness(r.palette + 3 * i));
      } else if (r.kind == TR_MASK24 || r.kind == TR_MASKBRIGHT) {
        t = transparent_level(r, brightness(r.mask.row(y) + 3 * size_t(x)));
      } else {
        t = transparent_level(r, r.mask.row(y)[x]);
      }
      if (t) put_index(reduced, y, x, index);
    }
  }
  if (r.kind == TR_COLOUR && index < p) {
    reduced.palette[3 * index] = r.blue;
    reduced.palette[3 * index + 1] = r.green;
    reduced.palette[3 * index + 2] = r.red;
  }
  r.transparent = 1;
  r.transparent_index = uint16_t(index);
  request_release(r);
  return KVX_OK;
}

KVXSTATUS StandardPalette(RasterImage& image, uint32_t format, uint32_t flags) {
  uint32_t bits = pix_bits(format);
  if (bits > 8 || image.palette == nullptr) return KVX_OK;
  uint32_t n = 1u << bits;
  if (n > image.palette_capacity) return KVXERR_BADPARAM;
  uint32_t f = pix_topdown_form(format);
  uint8_t* pal = image.palette;
  auto set = [&](uint32_t i, uint8_t b, uint8_t g, uint8_t r) { pal[3 * i] = b, pal[3 * i + 1] = g, pal[3 * i + 2] = r; };
  if (f == PIX_1_WHITE) {
    set(0, 0, 0, 0), set(1, 255, 255, 255);
  } else if (f == PIX_1_BLACK) {
    set(0, 255, 255, 255), set(1, 0, 0, 0);
  } else if (f != PIX_8_GRAY && !(flags & kPictureGray)) {
    if (n != 256) return KVXERR_BADPARAM;
    static const uint8_t level8[8] = {0, 36, 73, 109, 146, 198, 233, 255}, level4[4] = {0, 85, 170, 255};
    for (uint32_t i = 0; i < 256; ++i) set(i, level8[i / 32], level8[(i / 4) % 8], level4[i % 4]);
  } else if (f != PIX_8_GRAY && (flags & kPictureInverse)) {
    set(0, 255, 255, 255);
    for (uint32_t i = 1; i < n; ++i) {
      uint8_t v = uint8_t((256 - 256 * i / n) % 256);
      set(i, v, v, v);
    }
  } else {
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t v = uint8_t((256 * i / n) % 256);
      set(i, v, v, v);
    }
  }
  image.palette_count = uint16_t(n);
  return KVX_OK;
}

}  // namespace gfx
