// STAND-IN PROTOCOL. pixport32 and its raster filter files are an outside graphics
// library; this is the small stand-in of ours that gfxcast's binding loads for TIFF and
// JPEG pictures. Only the call sequence, the two routines and the records named in the
// binding are the library's; the setting meanings below, the raster hand-over from the
// import filter to the export filter and the file names are this stand-in's own.
//
// Files (beside libgfxcast.so): libpixport32.so (the library, near-empty), libpxbmpi.so
// (BMP import filter), libpxtiffo.so (TIFF export filter), libpxjpego.so (JPEG export).
// Each filter file exports CreateSetup, EscapeSetup and DestroySetup; the import filter
// ImportFile; the export filters RASTER_dd_entry. The import filter decodes the bitmap it
// reads through the source routine and hands the raster to the export filter's entry
// named in the export target, which writes through the sink routine.
//
// Test variants: $PIXPORT_STANDIN_FAIL = "import" (ImportFile answers 1), "throw" (an
// exception inside ImportFile), "noflush" (the export filter never asks for a flush).
#pragma once
#include <cstdint>

namespace pixport {

inline constexpr const char* kLibraryName = "libpixport32.so";
inline constexpr const char* kBmpImportName = "libpxbmpi.so";
inline constexpr const char* kTiffExportName = "libpxtiffo.so";
inline constexpr const char* kJpegExportName = "libpxjpego.so";

// Routine operations (source and sink).
enum : uint32_t { IO_OPEN = 1, IO_READ = 2, IO_WRITE = 3, IO_SEEK = 4, IO_FLUSH = 5 };
using IoRoutine = int32_t (*)(void* handle, uint32_t operation, void* buffer, uint32_t count);

// Settings handed with EscapeSetup.
enum : uint32_t {
  SET_ROUTINE = 81,        // the source (import) or sink (export) routine; value: IoRoutine
  SET_TIFF_COMPRESSION = 9,  // 0 none, 1 LZW, 2 deflate, 3 PackBits
  SET_TIFF_ROWSPERSTRIP = 10, // 0: the library's default
  SET_TIFF_PREDICTOR = 65,   // 0 none, 1 horizontal differencing (LZW and deflate)
  SET_TIFF_ORIENTATION = 18, // recorded; the binding hands 3
  SET_TIFF_XDPI = 11,
  SET_TIFF_YDPI = 12,
  SET_JPEG = 44,             // two words {242, quality 1..100}
};

using ProgressRoutine = int32_t (*)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

// A decoded raster as the import filter hands it on: rows top row first.
struct Raster {
  uint32_t width, height;
  uint32_t bits;           // 8 (through the palette) or 24 (blue, green, red)
  uint32_t stride;
  const uint8_t* rows;
  const uint8_t* palette;  // 256 blue, green, red entries for 8 bits
};

struct ExportTarget;
// The export filter's entry: writes the raster with its setup through the target's sink.
using ExportEntry = int32_t (*)(ExportTarget* target, uint32_t export_setup, const Raster* raster);

struct ExportTarget {
  uint16_t word0;
  uint32_t word1;
  ProgressRoutine progress;
  void* entry;             // ExportEntry, filled in by the binding
  uint32_t zero[8];
  void* sink;              // handed to the sink routine
  uint32_t last;
};

struct ImportRequest {
  uint16_t word0;
  uint32_t import_setup;
  uint32_t export_setup;
  const char* texts[3];
  ExportTarget* target;
  void* source;            // handed to the source routine
  uint32_t last;
};

using CreateSetupFn = uint32_t (*)(uint32_t, uint32_t, uint32_t, uint32_t);
using EscapeSetupFn = int32_t (*)(uint32_t setup, uint32_t setting, uint32_t size, const void* value, uint32_t,
                                  uint32_t);
using DestroySetupFn = int32_t (*)(uint32_t setup);
using ImportFileFn = int32_t (*)(uint32_t, const char* path, const char*, const char*, ImportRequest* request);

}  // namespace pixport
