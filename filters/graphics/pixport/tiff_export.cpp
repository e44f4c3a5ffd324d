// STAND-IN. libpxtiffo.so: pixport32's TIFF export filter. Its entry writes the raster
// handed on by the import filter with libtiff, opened with TIFFClientOpen over the sink
// routine set on its setup (settings in pixport_protocol.h), and asks for a final flush.
#include <tiffio.h>

#include <vector>

#include "filters/graphics/pixport/standin_setup.h"

namespace {

struct Client {
  pixport::IoRoutine io;
  void* sink;
};

tsize_t client_read(thandle_t h, tdata_t buf, tsize_t n) {
  auto* c = static_cast<Client*>(h);
  return c->io(c->sink, pixport::IO_READ, buf, uint32_t(n));
}
tsize_t client_write(thandle_t h, tdata_t buf, tsize_t n) {
  auto* c = static_cast<Client*>(h);
  return c->io(c->sink, pixport::IO_WRITE, buf, uint32_t(n));
}
toff_t client_seek(thandle_t h, toff_t off, int whence) {
  auto* c = static_cast<Client*>(h);
  int32_t o = int32_t(off);
  int32_t at = c->io(c->sink, pixport::IO_SEEK, &o, uint32_t(whence));
  return at < 0 ? toff_t(-1) : toff_t(at);
}
int client_close(thandle_t) { return 0; }
toff_t client_size(thandle_t h) {
  auto* c = static_cast<Client*>(h);
  int32_t zero = 0;
  int32_t here = c->io(c->sink, pixport::IO_SEEK, &zero, 1);
  int32_t end = c->io(c->sink, pixport::IO_SEEK, &zero, 2);
  c->io(c->sink, pixport::IO_SEEK, &here, 0);
  return end < 0 ? 0 : toff_t(end);
}
int client_map(thandle_t, tdata_t*, toff_t*) { return 0; }
void client_unmap(thandle_t, tdata_t, toff_t) {}

void quiet(const char*, const char*, va_list) {}

uint32_t value(const pixport::Setup& s, uint32_t setting, uint32_t fallback) {
  auto it = s.values.find(setting);
  return it == s.values.end() ? fallback : it->second;
}

}  // namespace

PIXPORT_DEFINE_SETUP_ENTRIES()

PIXPORT_API int32_t RASTER_dd_entry(pixport::ExportTarget* target, uint32_t setup, const pixport::Raster* r) {
  pixport::Setup* s = pixport::find_setup(setup);
  if (s == nullptr || s->routine == nullptr || target == nullptr || r == nullptr) return 1;
  Client client{s->routine, target->sink};
  if (client.io(client.sink, pixport::IO_OPEN, nullptr, 0) == 0) return 2;
  TIFFSetErrorHandler(quiet);
  TIFFSetWarningHandler(quiet);
  TIFF* tif = TIFFClientOpen("pixport", "w", &client, client_read, client_write, client_seek, client_close, client_size,
                             client_map, client_unmap);
  if (tif == nullptr) return 3;
  uint32_t compression = value(*s, pixport::SET_TIFF_COMPRESSION, 0);
  uint16_t scheme = compression == 1 ? COMPRESSION_LZW : compression == 2 ? COMPRESSION_ADOBE_DEFLATE
                    : compression == 3 ? COMPRESSION_PACKBITS : COMPRESSION_NONE;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, r->width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, r->height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, scheme);
  if (value(*s, pixport::SET_TIFF_PREDICTOR, 0) == 1 && scheme != COMPRESSION_NONE && scheme != COMPRESSION_PACKBITS)
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  uint32_t per_strip = value(*s, pixport::SET_TIFF_ROWSPERSTRIP, 0);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, per_strip ? per_strip : TIFFDefaultStripSize(tif, 0));
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(value(*s, pixport::SET_TIFF_XDPI, 72)));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(value(*s, pixport::SET_TIFF_YDPI, 72)));
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<uint8_t> line(size_t(r->width) * 3);
  bool ok = true;
  for (uint32_t y = 0; y < r->height && ok; ++y) {
    const uint8_t* row = r->rows + size_t(y) * r->stride;
    for (uint32_t x = 0; x < r->width; ++x) {
      const uint8_t* p = r->bits == 8 ? r->palette + 3 * size_t(row[x]) : row + 3 * size_t(x);
      line[3 * x] = p[2], line[3 * x + 1] = p[1], line[3 * x + 2] = p[0];
    }
    ok = TIFFWriteScanline(tif, line.data(), y, 0) == 1;
  }
  TIFFClose(tif);
  if (!pixport::variant("noflush")) client.io(client.sink, pixport::IO_FLUSH, nullptr, 0);
  return ok ? 0 : 4;
}
