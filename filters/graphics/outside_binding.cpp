// The pixport32 binding (see outside_binding.h): the in-memory bitmap source, the output
// sink with its 4,096-byte buffer, and one conversion that loads pixport32 and its two
// filter files, hands them the settings and runs the import, then unloads everything.
#include "filters/graphics/outside_binding.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters/common/kvx_entry.h"
#include "filters/graphics/image_writers.h"

namespace gfx {

namespace {

constexpr uint32_t kSinkCapacity = 4096;

// The directory the filter files are loaded from: that of libgfxcast.so, or the test
// hook $QM_PIXPORT_DIR.
std::string filter_dir() {
  if (const char* dir = std::getenv("QM_PIXPORT_DIR")) {
    std::string d = dir;
    if (!d.empty() && d.back() != '/') d += '/';
    return d;
  }
  std::string self = kvx::entry_module_path(reinterpret_cast<const void*>(&filter_dir));
  size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
}

void* load(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

template <class F>
F lookup(void* module, const char* name) {
  return module ? reinterpret_cast<F>(::dlsym(module, name)) : nullptr;
}

int32_t ProgressRoutine(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }

KVXSTATUS flush_sink(OutputSink& s) {
  if (s.held == 0) return KVX_OK;
  KVXSTATUS st = write_all(s.output, s.buffer, s.held);
  s.held = 0;
  if (st && !s.failed) s.failed = st;
  return st;
}

}  // namespace

void* LoadLibraryBeside(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return load(dir + pixport::kLibraryName);
}

int32_t SourceReadRoutine(void* handle, uint32_t op, void* buffer, uint32_t count) {
  auto* s = static_cast<MemorySource*>(handle);
  switch (op) {
    case pixport::IO_OPEN:
      s->position = 0;
      return 1;
    case pixport::IO_READ: {
      if (s->position > s->total) return -1;
      if (s->position == s->total) return 0;
      uint32_t n = count < s->total - s->position ? count : s->total - s->position;
      auto* out = static_cast<uint8_t*>(buffer);
      uint32_t done = 0;
      if (s->position < s->header_size) {
        uint32_t k = n < s->header_size - s->position ? n : s->header_size - s->position;
        std::memcpy(out, s->header + s->position, k);
        done = k;
      }
      if (done < n) std::memcpy(out + done, s->rows + (s->position + done - s->header_size), n - done);
      s->position += n;
      return int32_t(n);
    }
    case pixport::IO_WRITE: return -1;
    case pixport::IO_SEEK: {
      int32_t offset;
      std::memcpy(&offset, buffer, 4);
      int64_t at = count == 0 ? offset : count == 1 ? int64_t(s->position) + offset : int64_t(s->total) + offset - 1;
      if (at < 0 || at >= int64_t(s->total)) return -1;
      s->position = uint32_t(at);
      return int32_t(at);
    }
    default: return 0;
  }
}

int32_t SinkWriteRoutine(void* handle, uint32_t op, void* buffer, uint32_t count) {
  auto* s = static_cast<OutputSink*>(handle);
  KVXIO* io = s->output;
  switch (op) {
    case pixport::IO_OPEN: return io->Seek(io, KVXIO_SEEK_SET, 0) == KVX_OK ? 1 : 0;
    case pixport::IO_READ: {
      flush_sink(*s);
      uint32_t got = 0;
      KVXSTATUS st = io->Read(io, buffer, count, &got);
      if (st == KVXIO_EOF) return 0;
      return st ? -1 : int32_t(got);
    }
    case pixport::IO_WRITE: {
      const auto* p = static_cast<const uint8_t*>(buffer);
      uint32_t left = count;
      if (s->held + left > s->capacity) {
        if (flush_sink(*s)) return -1;
        while (left > s->capacity) {
          if (KVXSTATUS st = write_all(io, p, s->capacity)) {
            if (!s->failed) s->failed = st;
            return -1;
          }
          p += s->capacity, left -= s->capacity;
        }
      }
      std::memcpy(s->buffer + s->held, p, left);
      s->held += left;
      return int32_t(count);
    }
    case pixport::IO_SEEK: {
      flush_sink(*s);
      int32_t offset;
      std::memcpy(&offset, buffer, 4);
      uint32_t at = 0;
      if (io->Seek(io, count, offset) != KVX_OK || io->Tell(io, &at) != KVX_OK) return -1;
      return int32_t(at);
    }
    case pixport::IO_FLUSH:
      flush_sink(*s);
      return 0;
    default: return 0;
  }
}

KVXSTATUS OutsideLibraryWriter(KVXIO* output, const uint8_t* rows, uint32_t data_size, uint32_t format, uint32_t width,
                               int32_t height, uint32_t /*stride*/, const uint8_t* palette, uint32_t palette_count,
                               uint32_t export_type, uint32_t options[6]) {
  std::vector<uint8_t> header;
  try {
    header = BuildBitmapHeader(data_size, format, int32_t(width), height, palette, palette_count);
  } catch (...) {
    return KVXERR_NOMEMORY;
  }
  return FilterConversion(output, header.data(), uint32_t(header.size()), rows, data_size, export_type, options);
}

KVXSTATUS FilterConversion(KVXIO* output, const uint8_t* header, uint32_t header_size, const uint8_t* rows,
                           uint32_t data_size, uint32_t export_type, uint32_t options[6]) {
  const char* export_name = export_type == KVXEXPORT_TIFF   ? pixport::kTiffExportName
                            : export_type == KVXEXPORT_JPEG ? pixport::kJpegExportName
                                                            : nullptr;
  if (export_name == nullptr) return KVXERR_BADPARAM;
  std::string dir = filter_dir();
  std::string import_path = dir + pixport::kBmpImportName;
  void* library = LoadLibraryBeside(import_path);
  if (library == nullptr) return KVXERR_BADFORMAT;
  void* importer = load(import_path);
  void* exporter = load(dir + export_name);
  if (importer == nullptr || exporter == nullptr) {
    if (importer) ::dlclose(importer);
    if (exporter) ::dlclose(exporter);
    ::dlclose(library);
    return KVXERR_BADFORMAT;
  }
  auto setup_of = [](void* module) {
    auto create = lookup<pixport::CreateSetupFn>(module, "CreateSetup");
    return create ? create(0, 0, 0, 0) : 0u;
  };
  auto escape = [](void* module, uint32_t setup, uint32_t setting, uint32_t size, const void* value) {
    if (auto fn = lookup<pixport::EscapeSetupFn>(module, "EscapeSetup")) fn(setup, setting, size, value, 0, 0);
  };
  uint32_t import_setup = setup_of(importer), export_setup = setup_of(exporter);
  MemorySource source{0, header, header_size, rows, data_size, header_size + data_size};
  pixport::IoRoutine source_routine = SourceReadRoutine, sink_routine = SinkWriteRoutine;
  escape(importer, import_setup, pixport::SET_ROUTINE, sizeof source_routine, &source_routine);
  std::vector<uint8_t> buffer(kSinkCapacity);
  OutputSink sink{output, buffer.data(), kSinkCapacity, 0, KVX_OK};
  escape(exporter, export_setup, pixport::SET_ROUTINE, sizeof sink_routine, &sink_routine);
  if (export_type == KVXEXPORT_TIFF) {
    const uint32_t settings[6][2] = {{pixport::SET_TIFF_COMPRESSION, options[1]}, {pixport::SET_TIFF_ROWSPERSTRIP, options[2]},
                                     {pixport::SET_TIFF_PREDICTOR, options[3]},   {pixport::SET_TIFF_ORIENTATION, 3},
                                     {pixport::SET_TIFF_XDPI, options[4]},        {pixport::SET_TIFF_YDPI, options[5]}};
    for (const auto& s : settings) escape(exporter, export_setup, s[0], 4, &s[1]);
  } else {
    if (options[0] > 100) options[0] = 100;
    if (options[0] == 0) options[0] = 1;
    const uint32_t jpeg[2] = {242, options[0]};
    escape(exporter, export_setup, pixport::SET_JPEG, 8, jpeg);
  }
  static const char kEmpty[] = "";
  pixport::ExportTarget target{};
  target.progress = ProgressRoutine;
  target.sink = &sink;
  pixport::ImportRequest request{};
  request.import_setup = import_setup;
  request.export_setup = export_setup;
  request.texts[0] = request.texts[1] = request.texts[2] = kEmpty;
  request.target = &target;
  request.source = &source;
  KVXSTATUS status = KVX_OK;
  try {
    auto import_file = lookup<pixport::ImportFileFn>(importer, "ImportFile");
    void* entry = lookup<void*>(exporter, "RASTER_dd_entry");
    if (entry == nullptr) entry = lookup<void*>(exporter, "dd_entry");
    if (import_file == nullptr || entry == nullptr) {
      status = KVXERR_BADFORMAT;
    } else {
      target.entry = entry;
      if (import_file(0, kEmpty, kEmpty, kEmpty, &request) != 0) status = KVXERR_BADFORMAT;
    }
  } catch (...) {
    status = KVXERR_BADFORMAT;
  }
  if (auto destroy = lookup<pixport::DestroySetupFn>(importer, "DestroySetup")) destroy(import_setup);
  if (auto destroy = lookup<pixport::DestroySetupFn>(exporter, "DestroySetup")) destroy(export_setup);
  ::dlclose(importer);
  ::dlclose(exporter);
  ::dlclose(library);
  // Bytes still held go out before the buffer goes, so a file is never cut short.
  flush_sink(sink);
  // A short write is reported as such, whatever the filter made of it.
  if (sink.failed) status = sink.failed;
  return status;
}

}  // namespace gfx
