// BMP files to and from packed DIBs, and PNG pictures of bitmaps. The BMP reader checks
// every length against the file and keeps the header kind it finds (core, 40-byte, V4,
// V5), placing the colour table or masks right after the header and the bits right
// after them. Built on platform/le.h, platform/atomic_file.h and libpng; used by pvshow
// and the tests of the imaging code.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/le.h"

using namespace qm::gdi;

namespace {

bool read_whole(const char* path, std::string& out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Sizes of a DIB's parts: header, colour table or masks, bits.
struct DibLayout {
  uint32_t header = 0, table = 0;
  uint64_t bits = 0;
};

// Works out the layout of a DIB header at p (n bytes available); false when the header
// is not one this layer reads.
bool layout_of(const unsigned char* p, size_t n, DibLayout& out) {
  if (n < 4) return false;
  uint32_t size = qm::le::get32(p);
  if (size == 12) {
    if (n < 12) return false;
    uint32_t w = qm::le::get16(p + 4), h = qm::le::get16(p + 6), planes = qm::le::get16(p + 8),
             bpp = qm::le::get16(p + 10);
    if (planes != 1 || w == 0 || h == 0 || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24)) return false;
    out.header = 12;
    out.table = bpp <= 8 ? 3u << bpp : 0;
    out.bits = uint64_t(dib_stride(w, int(bpp))) * h;
    return true;
  }
  if (size != 40 && size != 52 && size != 56 && size != 64 && size != 108 && size != 124) return false;
  if (n < size) return false;
  int32_t w = qm::le::get32s(p + 4), h = qm::le::get32s(p + 8);
  uint32_t planes = qm::le::get16(p + 12), bpp = qm::le::get16(p + 14), comp = qm::le::get32(p + 16),
           used = qm::le::get32(p + 32);
  if (planes != 1 || w <= 0 || h == 0 || h == INT32_MIN) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (comp != BI_RGB && !(comp == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
  if (bpp <= 8 ? used > (1u << bpp) : used > 256) return false;
  out.header = size;
  uint32_t entries = used ? used : (bpp <= 8 ? 1u << bpp : 0);
  out.table = 4 * entries + (comp == BI_BITFIELDS && size == 40 ? 12 : 0);
  out.bits = uint64_t(dib_stride(w, int(bpp))) * uint64_t(h < 0 ? -int64_t(h) : h);
  return out.bits <= (uint64_t(1) << 31);
}

void png_write_to_string(png_structp png, png_bytep data, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}
void png_flush_nothing(png_structp) {}

// Encodes RGB rows; false when libpng fails. Kept free of objects with destructors
// because libpng reports errors by longjmp.
bool encode_png(const std::vector<png_bytep>& rows, uint32_t w, uint32_t h, std::string* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, out, png_write_to_string, png_flush_nothing);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

extern "C" {

int32_t QmReadBmpFile(const char* path, HGLOBAL* packedDib) {
  if (!packedDib) return QMGDI_FILE_BAD;
  *packedDib = nullptr;
  std::string file;
  if (!path || !read_whole(path, file)) return QMGDI_FILE_UNREADABLE;
  const auto* p = reinterpret_cast<const unsigned char*>(file.data());
  if (file.size() < 14 + 12 || p[0] != 'B' || p[1] != 'M') return QMGDI_FILE_BAD;
  uint32_t off_bits = qm::le::get32(p + 10);
  DibLayout l;
  if (!layout_of(p + 14, file.size() - 14, l)) return QMGDI_FILE_BAD;
  uint64_t table_end = 14 + uint64_t(l.header) + l.table;
  if (table_end > file.size()) return QMGDI_FILE_BAD;
  uint64_t bits_at = off_bits >= table_end ? off_bits : table_end;
  if (bits_at + l.bits > file.size()) return QMGDI_FILE_BAD;
  uint64_t total = uint64_t(l.header) + l.table + l.bits;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size_t(total));
  if (!h) return QMGDI_FILE_NOMEM;
  auto* out = static_cast<unsigned char*>(GlobalLock(h));
  std::memcpy(out, p + 14, size_t(l.header) + l.table);
  std::memcpy(out + l.header + l.table, p + bits_at, size_t(l.bits));
  GlobalUnlock(h);
  *packedDib = h;
  return QMGDI_FILE_OK;
}

int32_t QmWriteBmpFile(const char* path, const BITMAPINFO* info, size_t bytes) {
  if (!path || !info) return QMGDI_FILE_BAD;
  const auto* p = reinterpret_cast<const unsigned char*>(info);
  DibLayout l;
  if (!layout_of(p, bytes, l)) return QMGDI_FILE_BAD;
  uint64_t total = uint64_t(l.header) + l.table + l.bits;
  if (total > bytes || 14 + total > UINT32_MAX) return QMGDI_FILE_BAD;
  std::string out;
  out += "BM";
  qm::le::append32(out, uint32_t(14 + total));
  qm::le::append32(out, 0);
  qm::le::append32(out, 14 + l.header + l.table);
  out.append(reinterpret_cast<const char*>(p), size_t(total));
  return qm::atomic_replace(path, out) ? QMGDI_FILE_OK : QMGDI_FILE_UNWRITABLE;
}

int32_t QmWritePngFile(const char* path, HBITMAP hbm) {
  if (!path) return QMGDI_FILE_UNWRITABLE;
  std::vector<unsigned char> pixels;
  uint32_t w, h;
  {
    std::lock_guard<std::recursive_mutex> lock(state().mu);
    Bitmap* b = find<Bitmap>(hbm, Kind::Bitmap);
    if (!b) return QMGDI_FILE_BAD;
    w = uint32_t(b->width);
    h = uint32_t(b->height);
    pixels.resize(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        COLORREF c = b->to_rgb(b->get(int32_t(x), int32_t(y)));
        unsigned char* q = &pixels[(size_t(y) * w + x) * 3];
        q[0] = GetRValue(c);
        q[1] = GetGValue(c);
        q[2] = GetBValue(c);
      }
  }
  std::vector<png_bytep> rows(h);
  for (uint32_t y = 0; y < h; ++y) rows[y] = &pixels[size_t(y) * w * 3];
  std::string out;
  if (!encode_png(rows, w, h, &out)) return QMGDI_FILE_NOMEM;
  return qm::atomic_replace(path, out) ? QMGDI_FILE_OK : QMGDI_FILE_UNWRITABLE;
}

}  // extern "C"
