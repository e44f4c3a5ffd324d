// g4tool: codes PBM images as Group 4 streams and back through librvg4.so, loaded with
// dlopen from the program directory as a filter host would load it.
//
//   g4tool [--log] [--tiff] enc in.pbm out.g4
//   g4tool [--log] dec --width W --height H in.g4 out.pbm
//
// --tiff wraps the coded strip in a minimal TIFF (g4_tiff_format.h) so that other
// tools can read it; --log prints the size of every Transfer call on standard output.
// Output files are replaced safely. Exit code 0, or 1 with a message on standard error
// (running out of memory included).
//
// Cost: enc holds the PBM and its code (about twice the input). dec reads the stream as
// the decoder asks for it and writes each batch of rows as it is decoded, so it holds
// 128 rows whatever --width and --height declare; as a Group 4 row can be coded in one bit,
// its time and output are at most one row (W / 8 bytes) per bit of input, and at most the
// 2 GiB that W x H allows.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
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

// The host's stream: coded bytes collected (encoder) or served from a file (decoder).
struct HostStream {
  FilterStream base;
  std::string* coded;
  std::FILE* source = nullptr;
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
  size_t n = byteCount > 0 ? std::fread(buffer, 1, size_t(byteCount), s->source) : 0;
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
  HostStream stream{{collect}, &coded, nullptr, log};
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
  std::FILE* source = std::fopen(in.c_str(), "rb");
  if (!source) return fail("cannot read " + in);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(source, std::fclose);
  const int32_t row_bytes = (width + 7) / 8;
  qm::AtomicFileWriter file;
  if (!file.open(out)) return fail(out + ": " + file.error());
  file.write("P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n");
  std::vector<unsigned char> rows(size_t(kRowsPerCall) * size_t(row_bytes));
  HostStream stream{{serve}, nullptr, source, log};
  FilterParams params{width, row_bytes, &stream.base};
  FilterPipe* pipe = openers->OpenDecoder(&params);
  if (!pipe) return fail("cannot open the decoder");
  int32_t row = 0;
  bool written = true;
  while (row < height && written) {
    int32_t want = std::min(kRowsPerCall, height - row);
    int32_t got = pipe->ReadRows(pipe, rows.data(), want * row_bytes) / row_bytes;
    written = file.write(std::string_view(reinterpret_cast<const char*>(rows.data()), size_t(got) * size_t(row_bytes)));
    row += got;
    if (got < want) break;
  }
  pipe->Close(pipe);
  if (std::ferror(source)) return fail("cannot read " + in);
  if (!written) return fail(out + ": " + file.error());
  if (row < height)
    return fail(in + ": the stream holds " + std::to_string(row) + " of " + std::to_string(height) + " rows");
  if (!file.commit()) return fail(out + ": " + file.error());
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
  int rc = 1;
  try {
    rc = args[0] == "enc" ? encode(info->openers, log, tiff, args[1], args[2])
                          : decode(info->openers, log, width, height, args[1], args[2]);
  } catch (const std::bad_alloc&) {
    rc = fail("out of memory");
  }
  std::fflush(stdout);
  ::dlclose(lib);
  return rc;
}
