// STAND-IN. libpxbmpi.so: pixport32's BMP import filter. ImportFile reads a Windows
// bitmap (8 or 24 bits, uncompressed, either row order) only through the source routine
// set on its setup, and hands the raster to the export filter's entry named in the
// request's export target. Loaded by gfxcast's pixport32 binding.
#include <stdexcept>
#include <vector>

#include "filters/graphics/pixport/standin_setup.h"

namespace {

using pixport::IoRoutine;

uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool read_exact(IoRoutine io, void* src, uint8_t* out, uint32_t n) {
  while (n > 0) {
    int32_t got = io(src, pixport::IO_READ, out, n);
    if (got <= 0) return false;
    out += got, n -= uint32_t(got);
  }
  return true;
}

[[maybe_unused]] int32_t import(pixport::ImportRequest* req) {
  pixport::Setup* s = pixport::find_setup(req->import_setup);
  if (s == nullptr || s->routine == nullptr || req->target == nullptr || req->target->entry == nullptr) return 2;
  IoRoutine io = s->routine;
  void* src = req->source;
  if (io(src, pixport::IO_OPEN, nullptr, 0) == 0) return 3;
  // The size: a seek from the end with offset 0 lands on the last byte.
  int32_t zero = 0;
  int32_t last = io(src, pixport::IO_SEEK, &zero, 2);
  if (last < 0) return 3;
  uint64_t total = uint64_t(last) + 1;
  if (io(src, pixport::IO_SEEK, &zero, 0) != 0) return 3;
  uint8_t h[54];
  if (!read_exact(io, src, h, 54) || h[0] != 'B' || h[1] != 'M' || u32(h + 14) != 40) return 4;
  uint32_t offset = u32(h + 10), width = u32(h + 18), bits = uint32_t(h[28]) | uint32_t(h[29]) << 8;
  int32_t height = int32_t(u32(h + 22));
  uint32_t rows = uint32_t(height < 0 ? -int64_t(height) : height);
  if (width == 0 || rows == 0 || width > 65535 || rows > 65535 || (bits != 8 && bits != 24) || u32(h + 30) != 0) return 4;
  uint32_t stride = (width * bits + 31) / 32 * 4;
  if (offset < 54 || uint64_t(offset) + uint64_t(stride) * rows > total) return 4;
  std::vector<uint8_t> palette(256 * 3, 0);
  if (bits == 8) {
    uint32_t n = (offset - 54) / 4;
    std::vector<uint8_t> raw(size_t(n) * 4);
    if (n > 0 && !read_exact(io, src, raw.data(), uint32_t(raw.size()))) return 4;
    for (uint32_t i = 0; i < n && i < 256; ++i) std::memcpy(&palette[3 * i], &raw[4 * i], 3);
  }
  int32_t at = int32_t(offset);
  if (io(src, pixport::IO_SEEK, &at, 0) != at) return 4;
  std::vector<uint8_t> data(size_t(stride) * rows);
  for (uint32_t y = 0; y < rows; ++y) {
    uint32_t to = height > 0 ? rows - 1 - y : y;  // top row first
    if (!read_exact(io, src, &data[size_t(to) * stride], stride)) return 4;
  }
  pixport::Raster r{width, rows, bits, stride, data.data(), palette.data()};
  auto entry = reinterpret_cast<pixport::ExportEntry>(req->target->entry);
  return entry(req->target, req->export_setup, &r) == 0 ? 0 : 5;
}

}  // namespace

PIXPORT_DEFINE_SETUP_ENTRIES()

#ifndef PIXPORT_WITHOUT_IMPORTFILE
PIXPORT_API int32_t ImportFile(uint32_t, const char*, const char*, const char*, pixport::ImportRequest* request) {
  if (request == nullptr) return 1;
  if (pixport::variant("import")) return 1;
  if (pixport::variant("throw")) throw std::runtime_error("import filter failure");
  return import(request);
}
#endif
