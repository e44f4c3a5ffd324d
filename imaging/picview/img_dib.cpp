// Pixel stores of picview images: adopting a caller's packed DIB (checked against its
// block, with core headers, V4/V5 headers and 16/32-bit pixels brought into one form: a
// 40-byte header, its colour table, then bits of 1, 4, 8 or 24 bits per pixel), copying
// a DIB into a DIB section, and making new stores. Built on the drawing layer's global
// memory and DIB sections; used by img_handles.cpp and the pixel operations.
#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/picview/img_record.h"
#include "platform/le.h"

namespace {

uint64_t stride64(int64_t width, int64_t bpp) { return uint64_t(((width * bpp + 31) / 32) * 4); }

bool known_depth(uint32_t bpp) { return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32; }

// One 8-bit channel out of a masked pixel; narrow channels repeat their bits.
uint8_t channel(uint32_t raw, uint32_t mask) {
  if (!mask) return 0;
  int shift = __builtin_ctz(mask);
  uint32_t v = (raw & mask) >> shift;
  int bits = 32 - __builtin_clz(mask >> shift);
  if (bits >= 8) return uint8_t(v >> (bits - 8));
  uint32_t out = 0;
  int have = 0;
  while (have < 8) {
    out = (out << bits) | v;
    have += bits;
  }
  return uint8_t(out >> (have - 8));
}

// What the adopt step learns of a packed DIB before it takes it.
struct Shape {
  bool core = false;
  uint32_t header = 0;   // bytes of the header as stored
  uint32_t entries = 0;  // colour-table entries as stored
  uint32_t entry_size = 4;
  uint32_t table = 0;    // bytes between the header and the bits
  int32_t width = 0, height = 0;
  uint32_t bpp = 0, compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};
  uint64_t image = 0;
};

bool read_shape(const uint8_t* p, size_t n, Shape& s) {
  if (n < 4) return false;
  uint32_t size = qm::le::get32(p);
  if (size == 12) {
    if (n < 12) return false;
    s.core = true;
    s.header = 12;
    s.width = qm::le::get16(p + 4);
    s.height = qm::le::get16(p + 6);
    s.bpp = qm::le::get16(p + 10);
    if (s.bpp != 1 && s.bpp != 4 && s.bpp != 8 && s.bpp != 24) return false;
    s.entries = s.bpp <= 8 ? 1u << s.bpp : 0;
    s.entry_size = 3;
    s.table = 3 * s.entries;
  } else {
    if (size < 40 || size > n) return false;
    s.header = size;
    s.width = qm::le::get32s(p + 4);
    s.height = qm::le::get32s(p + 8);
    s.bpp = qm::le::get16(p + 14);
    s.compression = qm::le::get32(p + 16);
    uint32_t used = qm::le::get32(p + 32);
    if (!known_depth(s.bpp)) return false;
    if (s.compression != BI_RGB && !(s.compression == BI_BITFIELDS && (s.bpp == 16 || s.bpp == 32))) return false;
    if (s.bpp <= 8 && used > (1u << s.bpp)) return false;
    if (s.bpp > 8 && used > 256) return false;
    s.entries = used ? used : (s.bpp <= 8 ? 1u << s.bpp : 0);
    s.table = 4 * s.entries;
    if (s.compression == BI_BITFIELDS) {
      const uint8_t* m = size >= 52 ? p + 40 : p + size;
      if (size < 52) {
        if (uint64_t(size) + 12 > n) return false;
        s.table += 12;
      }
      for (int i = 0; i < 3; ++i) s.masks[i] = qm::le::get32(m + 4 * i);
    } else if (s.bpp == 16) {
      s.masks[0] = 0x7C00;
      s.masks[1] = 0x03E0;
      s.masks[2] = 0x001F;
    } else if (s.bpp == 32) {
      s.masks[0] = 0xFF0000;
      s.masks[1] = 0xFF00;
      s.masks[2] = 0xFF;
    }
  }
  if (s.width <= 0 || s.height <= 0) return false;
  s.image = stride64(s.width, s.bpp) * uint64_t(s.height);
  if (s.image > 0x7FFFFFFF) return false;
  return uint64_t(s.header) + s.table + s.image <= n;
}

bool canonical(const Shape& s) {
  return !s.core && s.header == 40 && s.compression == BI_RGB && s.bpp != 16 && s.bpp != 32 &&
         (s.bpp <= 8 || s.entries == 0);
}

// Builds the one form of a DIB that every pixel operation reads: 40-byte header, RGBQUAD
// colour table, bits of 1, 4, 8 or 24 bits per pixel.
HGLOBAL rebuild(const uint8_t* p, const Shape& s) {
  uint32_t bpp_out = s.bpp == 16 || s.bpp == 32 ? 24 : s.bpp;
  uint32_t entries_out = bpp_out <= 8 ? s.entries : 0;
  uint64_t stride_out = stride64(s.width, bpp_out);
  uint64_t total = 40 + 4 * uint64_t(entries_out) + stride_out * uint64_t(s.height);
  if (total > 0x7FFFFFFF) return nullptr;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size_t(total));
  if (!h) return nullptr;
  auto* out = static_cast<uint8_t*>(GlobalLock(h));
  BITMAPINFOHEADER bh{40, s.width, s.height, 1, WORD(bpp_out), BI_RGB, uint32_t(stride_out * uint64_t(s.height)),
                      0, 0, 0, 0};
  if (!s.core) {
    bh.biXPelsPerMeter = qm::le::get32s(p + 24);
    bh.biYPelsPerMeter = qm::le::get32s(p + 28);
    if (bpp_out <= 8) {
      bh.biClrUsed = qm::le::get32(p + 32);
      bh.biClrImportant = qm::le::get32(p + 36);
    }
  }
  std::memcpy(out, &bh, 40);
  const uint8_t* table = p + s.header;
  for (uint32_t i = 0; i < entries_out; ++i) {
    const uint8_t* e = table + size_t(i) * s.entry_size;
    uint8_t* q = out + 40 + 4 * size_t(i);
    q[0] = e[0];
    q[1] = e[1];
    q[2] = e[2];
    q[3] = 0;
  }
  const uint8_t* bits = p + s.header + s.table;
  uint8_t* obits = out + 40 + 4 * size_t(entries_out);
  uint64_t stride_in = stride64(s.width, s.bpp);
  for (int32_t y = 0; y < s.height; ++y) {
    const uint8_t* in = bits + stride_in * uint64_t(y);
    uint8_t* o = obits + stride_out * uint64_t(y);
    if (bpp_out == s.bpp) {
      std::memcpy(o, in, size_t(stride_in));
      continue;
    }
    for (int32_t x = 0; x < s.width; ++x) {
      uint32_t raw = s.bpp == 16 ? qm::le::get16(in + 2 * size_t(x)) : qm::le::get32(in + 4 * size_t(x));
      o[3 * x] = channel(raw, s.masks[2]);
      o[3 * x + 1] = channel(raw, s.masks[1]);
      o[3 * x + 2] = channel(raw, s.masks[0]);
    }
  }
  return h;
}

}  // namespace

uint32_t ImgDibStride(const BITMAPINFOHEADER* h) { return uint32_t(stride64(h->biWidth, h->biBitCount)); }

uint32_t ImgDibPadding(const BITMAPINFOHEADER* h) {
  return ImgDibStride(h) - uint32_t((int64_t(h->biWidth) * h->biBitCount + 7) / 8);
}

uint32_t ImgDibImageSize(const BITMAPINFOHEADER* h) {
  return ImgDibStride(h) * uint32_t(h->biHeight < 0 ? -h->biHeight : h->biHeight);
}

uint32_t ImgDibColours(const BITMAPINFOHEADER* h) {
  if (h->biBitCount > 8) return 0;
  return h->biClrUsed ? h->biClrUsed : 1u << h->biBitCount;
}

uint32_t ImgDibHeaderSize(const BITMAPINFOHEADER* h) { return 40 + 4 * ImgDibColours(h); }

ImgDib* ImgDibAdopt(HGLOBAL packed, int32_t* status) {
  *status = IMG_BAD_ARGUMENT;
  size_t n = GlobalSize(packed);
  auto* p = static_cast<uint8_t*>(GlobalLock(packed));
  if (!p) return nullptr;
  Shape s;
  if (!read_shape(p, n, s)) {
    GlobalUnlock(packed);
    return nullptr;
  }
  auto* dib = new (std::nothrow) ImgDib;
  if (!dib) {
    GlobalUnlock(packed);
    *status = IMG_NO_MEMORY;
    return nullptr;
  }
  if (canonical(s)) {
    dib->global = packed;
    dib->info = reinterpret_cast<BITMAPINFO*>(p);
    dib->bits = p + 40 + s.table;
    *status = IMG_OK;
    return dib;
  }
  HGLOBAL h = rebuild(p, s);
  GlobalUnlock(packed);
  if (!h) {
    delete dib;
    *status = IMG_NO_MEMORY;
    return nullptr;
  }
  GlobalFree(packed);
  auto* q = static_cast<uint8_t*>(GlobalLock(h));
  dib->global = h;
  dib->info = reinterpret_cast<BITMAPINFO*>(q);
  dib->bits = q + ImgDibHeaderSize(&dib->info->bmiHeader);
  *status = IMG_OK;
  return dib;
}

ImgDib* ImgDibCopy(const BITMAPINFO* info, const void* bits) {
  if (!info || !bits) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40 + 256 * 4);
  if (!block) return nullptr;
  auto* head = static_cast<uint8_t*>(GlobalLock(block));
  // Only the entries the source holds are read; the rest of the table stays zero.
  uint32_t entries = ImgDibColours(&h);
  if (entries > 256) entries = 256;
  std::memcpy(head, &h, 40);
  std::memcpy(head + 40, info->bmiColors, 4 * size_t(entries));
  auto* hinfo = reinterpret_cast<BITMAPINFO*>(head);
  hinfo->bmiHeader.biSize = 40;
  void* section_bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, hinfo, DIB_RGB_COLORS, &section_bits, nullptr, 0);
  auto* dib = section ? new (std::nothrow) ImgDib : nullptr;
  if (!dib) {
    if (section) DeleteObject(section);
    GlobalUnlock(block);
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(section_bits, bits, ImgDibImageSize(&h));
  dib->global = block;
  dib->info = hinfo;
  dib->bits = static_cast<uint8_t*>(section_bits);
  dib->section = section;
  return dib;
}

ImgDib* ImgDibNew(int32_t width, int32_t height, int32_t bitCount, bool makeSection, const BITMAPINFO* tmpl) {
  if (width <= 0 || height <= 0 || !known_depth(uint32_t(bitCount))) return nullptr;
  size_t table = bitCount <= 8 ? 4 * (size_t(1) << bitCount) : 0;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40 + table);
  if (!block) return nullptr;
  auto* head = static_cast<uint8_t*>(GlobalLock(block));
  auto* info = reinterpret_cast<BITMAPINFO*>(head);
  if (tmpl) {
    // The template's own colour entries only: it may hold fewer than 2^bit count.
    uint32_t held = ImgDibColours(&tmpl->bmiHeader);
    std::memcpy(head, tmpl, 40 + std::min<size_t>(table, 4 * size_t(held)));
    info->bmiHeader.biSize = 40;
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
  } else {
    info->bmiHeader.biSize = 40;
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = WORD(bitCount);
    if (bitCount == 1) {
      info->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
      std::memcpy(head + 44, "\xFF\xFF\xFF\x00", 4);
    }
  }
  auto* dib = new (std::nothrow) ImgDib;
  if (!dib) {
    GlobalUnlock(block);
    GlobalFree(block);
    return nullptr;
  }
  dib->global = block;
  dib->info = info;
  if (makeSection) {
    void* bits = nullptr;
    dib->section = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib->section) {
      ImgDibRelease(dib);
      return nullptr;
    }
    dib->bits = static_cast<uint8_t*>(bits);
  }
  return dib;
}

void ImgDibRelease(ImgDib* dib) {
  if (!dib) return;
  if (dib->global) {
    GlobalUnlock(dib->global);
    GlobalFree(dib->global);
  }
  if (dib->section) DeleteObject(dib->section);
  delete dib;
}
