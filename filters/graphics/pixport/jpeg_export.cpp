// STAND-IN. libpxjpego.so: pixport32's JPEG export filter. Its entry compresses the
// raster handed on by the import filter with libjpeg, through a destination manager
// that writes with the sink routine set on its setup, at the quality of setting 44, and
// asks for a final flush.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "filters/graphics/pixport/standin_setup.h"

namespace {

constexpr size_t kBufferSize = 4096;

struct Destination {
  jpeg_destination_mgr mgr;
  pixport::IoRoutine io;
  void* sink;
  std::vector<JOCTET> buffer;
  bool failed;
};

struct ErrorManager {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void init_destination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->mgr.next_output_byte = d->buffer.data();
  d->mgr.free_in_buffer = d->buffer.size();
}

boolean empty_output_buffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  if (d->io(d->sink, pixport::IO_WRITE, d->buffer.data(), uint32_t(d->buffer.size())) != int32_t(d->buffer.size()))
    d->failed = true;
  d->mgr.next_output_byte = d->buffer.data();
  d->mgr.free_in_buffer = d->buffer.size();
  return TRUE;
}

void term_destination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  uint32_t n = uint32_t(d->buffer.size() - d->mgr.free_in_buffer);
  if (n > 0 && d->io(d->sink, pixport::IO_WRITE, d->buffer.data(), n) != int32_t(n)) d->failed = true;
  if (!pixport::variant("noflush")) d->io(d->sink, pixport::IO_FLUSH, nullptr, 0);
}

void error_exit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }
void no_message(j_common_ptr) {}

// Compresses; false on a libjpeg error. Kept free of C++ objects with destructors, since
// an error jumps out of it.
bool compress(jpeg_compress_struct* cinfo, ErrorManager* err, Destination* dest, const pixport::Raster* r,
              int quality, JOCTET* line) {
  if (setjmp(err->jump)) {
    jpeg_destroy_compress(cinfo);
    return false;
  }
  jpeg_create_compress(cinfo);
  cinfo->dest = &dest->mgr;
  cinfo->image_width = r->width;
  cinfo->image_height = r->height;
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  if (quality >= 100) {
    // Full chroma at the top quality.
    for (int i = 0; i < cinfo->num_components; ++i) cinfo->comp_info[i].h_samp_factor = cinfo->comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    const uint8_t* row = r->rows + size_t(cinfo->next_scanline) * r->stride;
    for (uint32_t x = 0; x < r->width; ++x) {
      const uint8_t* p = r->bits == 8 ? r->palette + 3 * size_t(row[x]) : row + 3 * size_t(x);
      line[3 * x] = p[2], line[3 * x + 1] = p[1], line[3 * x + 2] = p[0];
    }
    JSAMPROW rows[1] = {line};
    jpeg_write_scanlines(cinfo, rows, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return true;
}

}  // namespace

PIXPORT_DEFINE_SETUP_ENTRIES()

PIXPORT_API int32_t RASTER_dd_entry(pixport::ExportTarget* target, uint32_t setup, const pixport::Raster* r) {
  pixport::Setup* s = pixport::find_setup(setup);
  if (s == nullptr || s->routine == nullptr || target == nullptr || r == nullptr) return 1;
  Destination dest{};
  dest.io = s->routine;
  dest.sink = target->sink;
  dest.buffer.resize(kBufferSize);
  dest.mgr.init_destination = init_destination;
  dest.mgr.empty_output_buffer = empty_output_buffer;
  dest.mgr.term_destination = term_destination;
  if (dest.io(dest.sink, pixport::IO_OPEN, nullptr, 0) == 0) return 2;
  jpeg_compress_struct cinfo{};
  ErrorManager err{};
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = error_exit;
  err.mgr.output_message = no_message;
  std::vector<JOCTET> line(size_t(r->width) * 3);
  int quality = int(s->jpeg_quality < 1 ? 1 : s->jpeg_quality > 100 ? 100 : s->jpeg_quality);
  if (!compress(&cinfo, &err, &dest, r, quality, line.data())) return 3;
  return dest.failed ? 4 : 0;
}
