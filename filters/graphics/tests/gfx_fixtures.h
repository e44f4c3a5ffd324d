// Shared helpers of the graphics filter tests: an IO object over a string (with a byte
// budget after which writes come up short), rasters filled from tables or at random,
// and the block-count check around each test.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "filters/graphics/raster.h"

namespace gfx::test {

struct MemoryIO {
  KVXIO io{};
  std::string bytes;
  size_t pos = 0;
  size_t budget = SIZE_MAX;  // bytes that writes still take
  MemoryIO() {
    io.Close = [](KVXIO*) { return KVX_OK; };
    io.Read = [](KVXIO* p, void* b, uint32_t n, uint32_t* got) {
      auto* m = reinterpret_cast<MemoryIO*>(p);
      if (m->pos >= m->bytes.size()) {
        *got = 0;
        return KVXSTATUS(KVXIO_EOF);
      }
      size_t k = std::min<size_t>(n, m->bytes.size() - m->pos);
      std::memcpy(b, m->bytes.data() + m->pos, k);
      m->pos += k;
      *got = uint32_t(k);
      return KVXSTATUS(KVX_OK);
    };
    io.Write = [](KVXIO* p, const void* b, uint32_t n, uint32_t* w) {
      auto* m = reinterpret_cast<MemoryIO*>(p);
      size_t k = std::min<size_t>(n, m->budget);
      m->budget -= k;
      if (m->pos + k > m->bytes.size()) m->bytes.resize(m->pos + k);
      std::memcpy(&m->bytes[m->pos], b, k);
      m->pos += k;
      *w = uint32_t(k);
      return KVXSTATUS(k == n ? KVX_OK : KVXERR_SHORTWRITE);
    };
    io.Seek = [](KVXIO* p, uint32_t origin, int32_t off) {
      auto* m = reinterpret_cast<MemoryIO*>(p);
      int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(m->pos) : int64_t(m->bytes.size());
      if (base + off < 0) return KVXSTATUS(KVXERR_BADPARAM);
      m->pos = size_t(base + off);
      return KVXSTATUS(KVX_OK);
    };
    io.Tell = [](KVXIO* p, uint32_t* at) {
      *at = uint32_t(reinterpret_cast<MemoryIO*>(p)->pos);
      return KVXSTATUS(KVX_OK);
    };
    io.GetInfo = [](KVXIO*, uint32_t, void*) { return KVXSTATUS(KVXERR_UNSUPPORTED); };
  }
};
static_assert(offsetof(MemoryIO, io) == 0);

// Checks that a test leaves no block of the block layer behind.
class BlockTest : public ::testing::Test {
 protected:
  void SetUp() override { blocks_ = KVXBlockLiveCount(); }
  void TearDown() override { EXPECT_EQ(KVXBlockLiveCount(), blocks_); }
  uint32_t blocks_ = 0;
};

// A raster of the format whose pixel (x, y) bytes come from fill.
template <class F>
RasterImage make_image(uint32_t w, uint32_t h, uint32_t format, F fill) {
  RasterImage img;
  EXPECT_EQ(raster_alloc(img, w, h, format), KVX_OK);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) fill(img.row(y), x, y);
  return img;
}

inline RasterImage random_bgr(uint32_t w, uint32_t h, uint32_t colours, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> table(colours);
  for (auto& c : table) c = rng() & 0xFFFFFF;
  return make_image(w, h, PIX_24_BGR, [&](uint8_t* row, uint32_t x, uint32_t) {
    uint32_t c = table[rng() % colours];
    row[3 * x] = uint8_t(c), row[3 * x + 1] = uint8_t(c >> 8), row[3 * x + 2] = uint8_t(c >> 16);
  });
}

}  // namespace gfx::test
