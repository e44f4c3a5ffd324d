// libpng, libjpeg, giflib and FreeXL for libkvx.so, each loaded the first time a reader
// calls it (a picture of that kind is decoded, an Excel book is read), so that documents
// without them never map these libraries. The readers call the libraries by their own
// names; these definitions (hidden inside libkvx.so) forward each call. A library that
// cannot be loaded ends the program as the dynamic loader would have at start. The
// sonames come from the build (KVX_SONAME_*). The static builds link the libraries
// themselves and leave this file out.
#include <dlfcn.h>
#include <freexl.h>
#include <gif_lib.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

namespace {

void* library(const char* soname) {
  void* h = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "error while loading shared libraries: %s\n", dlerror());
    _exit(127);
  }
  return h;
}

void* symbol(void* lib, const char* name) {
  void* fn = dlsym(lib, name);
  if (fn == nullptr) {
    std::fprintf(stderr, "symbol lookup error: %s\n", dlerror());
    _exit(127);
  }
  return fn;
}

void* png_library() {
  static void* h = library(KVX_SONAME_PNG);
  return h;
}
void* jpeg_library() {
  static void* h = library(KVX_SONAME_JPEG);
  return h;
}
void* gif_library() {
  static void* h = library(KVX_SONAME_GIF);
  return h;
}
void* freexl_library() {
  static void* h = library(KVX_SONAME_FREEXL);
  return h;
}

}  // namespace

// One forwarding definition: the library's function, looked up on the first call.
#define KVX_FORWARD(lib, ret, name, params, args)                                      \
  extern "C" ret name params {                                                         \
    static const auto fn = reinterpret_cast<decltype(&::name)>(symbol(lib(), #name)); \
    return fn args;                                                                    \
  }

KVX_FORWARD(png_library, int, png_image_begin_read_from_memory,
            (png_imagep image, png_const_voidp memory, size_t size), (image, memory, size))
KVX_FORWARD(png_library, int, png_image_finish_read,
            (png_imagep image, png_const_colorp background, void* buffer, png_int_32 row_stride, void* colormap),
            (image, background, buffer, row_stride, colormap))
KVX_FORWARD(png_library, void, png_image_free, (png_imagep image), (image))

KVX_FORWARD(jpeg_library, struct jpeg_error_mgr*, jpeg_std_error, (struct jpeg_error_mgr * err), (err))
KVX_FORWARD(jpeg_library, void, jpeg_CreateDecompress, (j_decompress_ptr cinfo, int version, size_t structsize),
            (cinfo, version, structsize))
KVX_FORWARD(jpeg_library, void, jpeg_destroy_decompress, (j_decompress_ptr cinfo), (cinfo))
KVX_FORWARD(jpeg_library, void, jpeg_mem_src, (j_decompress_ptr cinfo, const unsigned char* inbuffer, unsigned long insize),
            (cinfo, inbuffer, insize))
KVX_FORWARD(jpeg_library, int, jpeg_read_header, (j_decompress_ptr cinfo, boolean require_image), (cinfo, require_image))
KVX_FORWARD(jpeg_library, boolean, jpeg_start_decompress, (j_decompress_ptr cinfo), (cinfo))
KVX_FORWARD(jpeg_library, JDIMENSION, jpeg_read_scanlines,
            (j_decompress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION max_lines), (cinfo, scanlines, max_lines))
KVX_FORWARD(jpeg_library, boolean, jpeg_finish_decompress, (j_decompress_ptr cinfo), (cinfo))

KVX_FORWARD(gif_library, GifFileType*, DGifOpen, (void* userPtr, InputFunc readFunc, int* Error),
            (userPtr, readFunc, Error))
KVX_FORWARD(gif_library, int, DGifSlurp, (GifFileType * GifFile), (GifFile))
KVX_FORWARD(gif_library, int, DGifCloseFile, (GifFileType * GifFile, int* ErrorCode), (GifFile, ErrorCode))
KVX_FORWARD(gif_library, int, DGifSavedExtensionToGCB, (GifFileType * GifFile, int ImageIndex, GraphicsControlBlock* GCB),
            (GifFile, ImageIndex, GCB))

KVX_FORWARD(freexl_library, int, freexl_open, (const char* path, const void** xls_handle), (path, xls_handle))
KVX_FORWARD(freexl_library, int, freexl_open_info, (const char* path, const void** xls_handle), (path, xls_handle))
KVX_FORWARD(freexl_library, int, freexl_close, (const void* xls_handle), (xls_handle))
KVX_FORWARD(freexl_library, int, freexl_get_info, (const void* xls_handle, unsigned short what, unsigned int* info),
            (xls_handle, what, info))
KVX_FORWARD(freexl_library, int, freexl_get_worksheet_name,
            (const void* xls_handle, unsigned short sheet_index, const char** string), (xls_handle, sheet_index, string))
KVX_FORWARD(freexl_library, int, freexl_select_active_worksheet, (const void* xls_handle, unsigned short sheet_index),
            (xls_handle, sheet_index))
KVX_FORWARD(freexl_library, int, freexl_worksheet_dimensions,
            (const void* xls_handle, unsigned int* rows, unsigned short* columns), (xls_handle, rows, columns))
KVX_FORWARD(freexl_library, int, freexl_get_cell_value,
            (const void* xls_handle, unsigned int row, unsigned short column, FreeXL_CellValue* value),
            (xls_handle, row, column, value))
