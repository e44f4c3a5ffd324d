// g4_bench: speed of the G4 filter (librvg4.so, loaded with dlopen as a host would)
// against libtiff's own tiffcp on the same pages: 200 text-like pages of 1,728 x 2,200
// pixels. Encoding through the filter is set against `tiffcp -c g4` of the pages as one
// uncompressed multi-page TIFF; decoding against `tiffcp -c none` of the resulting G4
// TIFF. tiffcp's times include its file reading and writing (in a temporary folder);
// the filter's include the copying of rows and coded bytes through the host. Every
// decoded page is checked against the original. Prints rows per second and the ratios.
//
//   build/bench/g4_bench [pages]
#include <dlfcn.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/rvg4/rvg4.h"
#include "imaging/rvg4/tests/fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;
using qm::rvg4::Bilevel;

constexpr int32_t kWidth = 1728, kHeight = 2200, kRowBytes = kWidth / 8;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Sink {
  FilterStream base;
  std::string coded;
};
int32_t collect(FilterStream* self, void* buffer, int32_t n) {
  reinterpret_cast<Sink*>(self)->coded.append(static_cast<const char*>(buffer), size_t(n));
  return n;
}
struct Source {
  FilterStream base;
  const std::string* coded;
  size_t served;
};
int32_t serve(FilterStream* self, void* buffer, int32_t n) {
  auto* s = reinterpret_cast<Source*>(self);
  size_t k = std::min(size_t(n), s->coded->size() - s->served);
  std::memcpy(buffer, s->coded->data() + s->served, k);
  s->served += k;
  return int32_t(k);
}

bool write_pages(const std::string& path, const std::vector<Bilevel>& pages) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  for (const Bilevel& im : pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(kWidth));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(kHeight));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISWHITE));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(kHeight));
    if (TIFFWriteEncodedStrip(tif, 0, const_cast<unsigned char*>(im.bits.data()), tmsize_t(im.bits.size())) < 0)
      return false;
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return true;
}

double run_timed(const std::string& command) {
  auto start = Clock::now();
  int rc = std::system(command.c_str());
  double s = seconds_since(start);
  if (rc != 0) {
    std::fprintf(stderr, "g4_bench: failed: %s\n", command.c_str());
    std::exit(1);
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  int pages_count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (pages_count < 1) pages_count = 200;
  void* lib = ::dlopen(QM_DIST_DIR "/librvg4.so", RTLD_NOW | RTLD_LOCAL);
  auto get = lib ? reinterpret_cast<int32_t (*)(FilterInfo**)>(::dlsym(lib, "DllGetFilterInfo")) : nullptr;
  FilterInfo* info = nullptr;
  if (!get || get(&info) != 1) {
    std::fprintf(stderr, "g4_bench: cannot load %s/librvg4.so\n", QM_DIST_DIR);
    return 1;
  }
  const FilterOpeners* openers = info->openers;

  std::vector<Bilevel> pages;
  for (int i = 0; i < pages_count; ++i)
    pages.push_back(qm::rvg4::test::make_image(qm::rvg4::test::Pattern::kText, kWidth, kHeight, uint32_t(i + 1)));
  const double rows = double(pages_count) * kHeight;

  // Encoding through the filter, one pipe a page, 64 rows a call.
  std::vector<std::string> streams;
  auto start = Clock::now();
  for (const Bilevel& im : pages) {
    Sink sink{{collect}, {}};
    FilterParams params{kWidth, kRowBytes, &sink.base};
    FilterPipe* pipe = openers->OpenEncoder(&params);
    for (int32_t y = 0; y < kHeight; y += 64) {
      int32_t n = std::min(64, kHeight - y);
      pipe->WriteRows(pipe, im.bits.data() + size_t(y) * kRowBytes, n * kRowBytes);
    }
    pipe->Close(pipe);
    streams.push_back(std::move(sink.coded));
  }
  double enc = seconds_since(start);

  // Decoding through the filter, 64 rows a call, checked.
  std::vector<unsigned char> rows_buf(size_t(kHeight) * kRowBytes);
  start = Clock::now();
  for (size_t i = 0; i < pages.size(); ++i) {
    Source source{{serve}, &streams[i], 0};
    FilterParams params{kWidth, kRowBytes, &source.base};
    FilterPipe* pipe = openers->OpenDecoder(&params);
    for (int32_t y = 0; y < kHeight; y += 64) {
      int32_t n = std::min(64, kHeight - y);
      pipe->ReadRows(pipe, rows_buf.data() + size_t(y) * kRowBytes, n * kRowBytes);
    }
    pipe->Close(pipe);
    if (rows_buf != pages[i].bits) {
      std::fprintf(stderr, "g4_bench: page %zu decoded wrongly\n", i);
      return 1;
    }
  }
  double dec = seconds_since(start);

  // The same through tiffcp, files in a temporary folder.
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/g4_bench_XXXXXX";
  if (!::mkdtemp(dir.data())) return 1;
  std::string plain = dir + "/plain.tif", g4 = dir + "/g4.tif", back = dir + "/back.tif";
  if (!write_pages(plain, pages)) return 1;
  double tenc = run_timed("tiffcp -c g4 -r " + std::to_string(kHeight) + " " + plain + " " + g4);
  double tdec = run_timed("tiffcp -c none " + g4 + " " + back);
  size_t coded = 0;
  for (const auto& s : streams) coded += s.size();
  std::error_code ec;
  uintmax_t tiff_size = std::filesystem::file_size(g4, ec);
  std::filesystem::remove_all(dir, ec);

  std::printf("pages %d of %dx%d, %.0f rows; coded %zu bytes (tiffcp's G4 TIFF %ju bytes)\n", pages_count, kWidth,
              kHeight, rows, coded, tiff_size);
  std::printf("encode  filter %10.0f rows/s   tiffcp -c g4   %10.0f rows/s   ratio %.2f (goal >= 0.9)\n", rows / enc,
              rows / tenc, tenc / enc);
  std::printf("decode  filter %10.0f rows/s   tiffcp -c none %10.0f rows/s   ratio %.2f (goal >= 0.7)\n", rows / dec,
              rows / tdec, tdec / dec);
  ::dlclose(lib);
  return 0;
}
