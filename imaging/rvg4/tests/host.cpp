// The test host of host.h.
#include "imaging/rvg4/tests/host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imaging/rvg4/tests/fixtures.h"

namespace qm::rvg4::test {
namespace {

int32_t sink_transfer(FilterStream* self, void* buffer, int32_t byteCount) {
  auto* s = reinterpret_cast<Sink*>(self);
  size_t index = s->calls.size();
  s->calls.push_back(byteCount);
  int32_t taken = s->take ? s->take(index, byteCount) : byteCount;
  taken = std::max(0, std::min(taken, byteCount));
  s->coded.append(static_cast<const char*>(buffer), size_t(taken));
  return taken;
}

int32_t source_transfer(FilterStream* self, void* buffer, int32_t byteCount) {
  auto* s = reinterpret_cast<Source*>(self);
  s->asks.push_back(byteCount);
  size_t n = std::min(size_t(std::max(byteCount, 0)), s->coded.size() - s->served);
  if (s->piece > 0) n = std::min(n, size_t(s->piece));
  std::memcpy(buffer, s->coded.data() + s->served, n);
  s->served += n;
  return int32_t(n);
}

struct Library {
  void* handle = nullptr;
  FilterInfo* info = nullptr;
  Library() {
    std::string path = std::string(QM_DIST_DIR) + "/librvg4.so";
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    auto get = reinterpret_cast<int32_t (*)(FilterInfo**)>(::dlsym(handle, "DllGetFilterInfo"));
    if (get && get(&info) != 1) info = nullptr;
  }
};

Library& library() {
  static Library lib;
  return lib;
}

}  // namespace

Sink::Sink() : base{sink_transfer} {}
Source::Source(std::string bytes) : base{source_transfer}, coded(std::move(bytes)) {}

FilterInfo* g4_info() {
  Library& lib = library();
  if (!lib.info) ADD_FAILURE() << "librvg4.so or its DllGetFilterInfo cannot be loaded: " << ::dlerror();
  return lib.info;
}

const FilterOpeners* g4_openers() {
  FilterInfo* info = g4_info();
  return info ? info->openers : nullptr;
}

Encoded encode(const Bilevel& image, int32_t rows_per_call, int32_t stride) {
  Encoded result;
  const FilterOpeners* openers = g4_openers();
  if (!openers) return result;
  if (stride == 0) stride = image.row_bytes();
  std::vector<unsigned char> rows = with_stride(image, stride);
  Sink sink;
  FilterParams params{image.width, stride, &sink.base};
  FilterPipe* pipe = openers->OpenEncoder(&params);
  if (!pipe) return result;
  result.opened = true;
  for (int32_t y = 0; y < image.height; y += rows_per_call) {
    int32_t n = std::min(rows_per_call, image.height - y);
    int32_t got = pipe->WriteRows(pipe, rows.data() + size_t(y) * stride, n * stride);
    EXPECT_EQ(got, n * stride) << "rows " << y << ".." << y + n;
  }
  size_t before_close = sink.calls.size();
  result.close_result = pipe->Close(pipe);
  result.calls.assign(sink.calls.begin(), sink.calls.begin() + long(before_close));
  result.close_calls.assign(sink.calls.begin() + long(before_close), sink.calls.end());
  result.coded = sink.coded;
  return result;
}

Decoded decode(const std::string& coded, int32_t width, int32_t max_rows, int32_t rows_per_call, int32_t piece) {
  Decoded result;
  const FilterOpeners* openers = g4_openers();
  if (!openers) return result;
  Source source(coded);
  source.piece = piece;
  Bilevel& im = result.image;
  im.width = width;
  FilterParams params{width, im.row_bytes(), &source.base};
  FilterPipe* pipe = openers->OpenDecoder(&params);
  if (!pipe) return result;
  result.opened = true;
  std::vector<unsigned char> chunk(size_t(rows_per_call) * im.row_bytes());
  while (im.height < max_rows) {
    int32_t n = std::min(rows_per_call, max_rows - im.height);
    int32_t got = pipe->ReadRows(pipe, chunk.data(), n * im.row_bytes());
    EXPECT_EQ(got % im.row_bytes(), 0);
    int32_t rows = got / im.row_bytes();
    im.bits.insert(im.bits.end(), chunk.begin(), chunk.begin() + long(got));
    im.height += rows;
    if (rows < n) break;
  }
  EXPECT_EQ(pipe->Close(pipe), 0);
  result.asks = source.asks;
  result.served = source.served;
  return result;
}

}  // namespace qm::rvg4::test
