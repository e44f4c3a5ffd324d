// g4tool: codes PBM images as Group 4 streams and back through librvg4.so, loaded with
// dlopen from the program directory as a filter host would load it.
//
//   g4tool [--log] [--tiff] enc in.pbm out.g4
//   g4tool [--log] dec --width W --height H in.g4 out.pbm
//
// --tiff wraps the coded strip in a minimal TIFF (g4_tiff_format.h) so that other
// tools can read it; --log prints the size of every Transfer call on standard output.
// Output files are replaced safely. Exit code 0, or 1 with a message on standard error.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/rvg4/g4_tiff_format.h"
#include "imaging/rvg4/pbm.h"
#include "imaging/rvg4/rvg4.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace {

using qm::rvg4::Bilevel;

constexpr int32_t kRowsPerCall = 128;

int fail(const std::string& message) {
  std::fprintf(stderr, "g4tool: %s\n", message.c_str());
  return 1;
}

int usage() {
  return fail(
      "usage: g4tool [--log] [--tiff] enc in.pbm out.g4\n"
      "       g4tool [--log] dec --width W --height H in.g4 out.pbm");
}

bool read_all(const std::string& path, std::string& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// The host's stream: coded bytes collected (encoder) or served (decoder).
struct HostStream {
  FilterStream base;
  std::string* coded;
  size_t served = 0;
  bool log = false;
};

int32_t collect(FilterStream* self, void* buffer, int32_t byteCount) {
  auto* s = reinterpret_cast<HostStream*>(self);
  if (s->log) std::printf("Transfer %d\n", byteCount);
  s->coded->append(static_cast<const char*>(buffer), size_t(byteCount));
  return byteCount;
}

int32_t serve(FilterStream* self, void* buffer, int32_t byteCount) {
  auto* s = reinterpret_cast<HostStream*>(self);
  size_t n = std::min(size_t(byteCount), s->coded->size() - s->served);
  std::memcpy(buffer, s->coded->data() + s->served, n);
  s->served += n;
  if (s->log) std::printf("Transfer %d -> %zu\n", byteCount, n);
  return int32_t(n);
}

int encode(const FilterOpeners* openers, bool log, bool tiff, const std::string& in, const std::string& out) {
  std::string bytes, error;
  Bilevel image;
  if (!read_all(in, bytes)) return fail("cannot read " + in);
  if (!qm::rvg4::pbm_parse(bytes, image, error)) return fail(in + ": " + error);
  if (image.width > RVG4_MAX_WIDTH) return fail(in + ": image wider than " + std::to_string(RVG4_MAX_WIDTH));
  std::string coded;
  HostStream stream{{collect}, &coded, 0, log};
  FilterParams params{image.width, image.row_bytes(), &stream.base};
  FilterPipe* pipe = openers->OpenEncoder(&params);
  if (!pipe) return fail("cannot open the encoder");
  bool ok = true;
  for (int32_t row = 0; row < image.height && ok; row += kRowsPerCall) {
    int32_t rows = std::min(kRowsPerCall, image.height - row);
    int32_t bytes_in = rows * image.row_bytes();
    ok = pipe->WriteRows(pipe, image.bits.data() + size_t(row) * image.row_bytes(), bytes_in) == bytes_in;
  }
  if (pipe->Close(pipe) < 0 || !ok) return fail("coding failed");
  if (tiff) {
    std::string file(qm::rvg4::kG4TiffStripAt, '\0');
    qm::rvg4::put_g4_tiff_directory(reinterpret_cast<unsigned char*>(file.data()), uint32_t(image.width),
                                    uint32_t(image.height), uint32_t(coded.size()));
    coded = file + coded;
  }
  if (!qm::atomic_replace(out, coded, &error)) return fail(out + ": " + error);
  return 0;
}

int decode(const FilterOpeners* openers, bool log, int32_t width, int32_t height, const std::string& in,
           const std::string& out) {
  std::string coded, error;
  if (!read_all(in, coded)) return fail("cannot read " + in);
  Bilevel image;
  image.width = width;
  image.height = height;
  image.bits.assign(size_t(image.row_bytes()) * size_t(height), 0);
  HostStream stream{{serve}, &coded, 0, log};
  FilterParams params{width, image.row_bytes(), &stream.base};
  FilterPipe* pipe = openers->OpenDecoder(&params);
  if (!pipe) return fail("cannot open the decoder");
  int32_t row = 0;
  while (row < height) {
    int32_t rows = std::min(kRowsPerCall, height - row);
    int32_t got = pipe->ReadRows(pipe, image.bits.data() + size_t(row) * image.row_bytes(), rows * image.row_bytes());
    row += got / image.row_bytes();
    if (got < rows * image.row_bytes()) break;
  }
  pipe->Close(pipe);
  if (row < height)
    return fail(in + ": the stream holds " + std::to_string(row) + " of " + std::to_string(height) + " rows");
  if (!qm::atomic_replace(out, qm::rvg4::pbm_format(image), &error)) return fail(out + ": " + error);
  return 0;
}

bool parse_count(const char* text, int32_t low, int32_t& value) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!end || *end || end == text || v < low || v > INT32_MAX) return false;
  value = int32_t(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool log = false, tiff = false;
  int32_t width = -1, height = -1;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--log") {
      log = true;
    } else if (a == "--tiff") {
      tiff = true;
    } else if (a == "--width" || a == "--height") {
      if (i + 1 >= argc || !parse_count(argv[++i], a == "--width" ? 1 : 0, a == "--width" ? width : height))
        return fail(a + " needs a number");
    } else {
      args.push_back(a);
    }
  }
  if (args.size() != 3 || (args[0] != "enc" && args[0] != "dec")) return usage();
  if (args[0] == "dec" && (width < 1 || height < 0)) return fail("dec needs --width and --height");
  if (args[0] == "dec" && tiff) return fail("--tiff applies to enc");
  if (width > RVG4_MAX_WIDTH) return fail("--width above " + std::to_string(RVG4_MAX_WIDTH));
  if (width > 0 && int64_t((width + 7) / 8) * height > int64_t(1) << 31)
    return fail("image too large");

  std::string library = qm::path_join(qm::program_dir_from_argv0(argv[0]), "librvg4.so");
  void* lib = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return fail(std::string("cannot load ") + library + ": " + ::dlerror());
  auto get_info = reinterpret_cast<int32_t (*)(FilterInfo**)>(::dlsym(lib, "DllGetFilterInfo"));
  FilterInfo* info = nullptr;
  if (!get_info || get_info(&info) != 1 || !info || !info->openers) return fail(library + ": no G4 filter");
  int rc = args[0] == "enc" ? encode(info->openers, log, tiff, args[1], args[2])
                            : decode(info->openers, log, width, height, args[1], args[2]);
  std::fflush(stdout);
  ::dlclose(lib);
  return rc;
}
