// Tests of the glyph cache: which faces are cached, table capacities, the 21st face,
// eviction by fewest hits, lookups only at the stored size, a larger glyph evicting a
// smaller one, the 1 MiB store limit and saturating hit counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyph/glyph_cache.h"

namespace qm::glyph {
namespace {

// "<prefix><n>", built by appending.
std::string Numbered(const char* prefix, int n) {
  std::string s(prefix);
  s.append(std::to_string(n));
  return s;
}

CacheFont Font(const std::string& name, int32_t height, uint8_t char_set = 136) {
  CacheFont f;
  f.face_name = name;
  f.height = height;
  f.char_set = char_set;
  return f;
}

std::vector<unsigned char> Bitmap(size_t n, unsigned char seed) {
  std::vector<unsigned char> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7);
  return b;
}

GlyphMetrics Metrics(int32_t w) { return {w, 16, -3, 12, w + 1, 0}; }

TEST(GlyphCache, WhichFacesAreCached) {
  struct Case {
    const char* name;
    int cell_w, cell_h;
    CacheFont font;
    bool cached;
  } cases[] = {
      {"64 pixels", 64, 64, Font("M", 64), true},
      {"64 pixels, negative height", 64, 64, Font("M", -64), true},
      {"65 pixels", 65, 65, Font("M", 65), false},
      {"cell not square", 32, 16, Font("M", 16), false},
      {"bold", 16, 16, [] { CacheFont f = Font("M", 16); f.weight = 700; return f; }(), false},
      {"italic", 16, 16, [] { CacheFont f = Font("M", 16); f.italic = 1; return f; }(), false},
      {"escapement 900", 16, 16, [] { CacheFont f = Font("M", 16); f.escapement = 900; return f; }(), true},
      {"escapement 450", 16, 16, [] { CacheFont f = Font("M", 16); f.escapement = 450; return f; }(), true},
      {"escapement 100", 16, 16, [] { CacheFont f = Font("M", 16); f.escapement = 100; return f; }(), false},
  };
  for (const Case& c : cases) {
    GlyphCache cache;
    ASSERT_TRUE(cache.Init());
    cache.Select(c.cell_w, c.cell_h, c.font);
    EXPECT_EQ(cache.current() != GlyphCache::kNoFace, c.cached) << c.name;
  }
}

TEST(GlyphCache, CapacityAndMaximumGlyphBytes) {
  GlyphCache cache;
  cache.Init();
  cache.Select(16, 16, Font("M", 16, 136));
  EXPECT_EQ(cache.capacity(), 1000);
  EXPECT_EQ(cache.max_glyph_bytes(), 2 * 16);
  cache.Select(17, 17, Font("M", 17, 0));
  EXPECT_EQ(cache.capacity(), 256);
  EXPECT_EQ(cache.max_glyph_bytes(), 4 * 17);
  cache.Select(64, 64, Font("M", -64, 0));
  EXPECT_EQ(cache.max_glyph_bytes(), 8 * 64);
}

TEST(GlyphCache, SameFaceIsFoundAgainAndThe21stEmptiesAll) {
  GlyphCache cache;
  cache.Init();
  for (int i = 0; i < 20; ++i) {
    cache.Select(16, 16, Font(Numbered("F", i), 16));
    EXPECT_EQ(cache.current(), i);
  }
  cache.Select(16, 16, Font("F7", 16));
  EXPECT_EQ(cache.current(), 7);
  auto bits = Bitmap(32, 1);
  cache.Store(0x41, bits.data(), bits.size(), Metrics(9));
  EXPECT_GT(cache.store_used(), 0u);
  cache.Select(16, 16, Font("F7", 15));  // another height: a 21st face
  EXPECT_EQ(cache.current(), 0);
  EXPECT_EQ(cache.face_count(), 1u);
  EXPECT_EQ(cache.store_used(), 0u);
  cache.Select(16, 16, Font("F7", 16));
  GlyphMetrics m;
  EXPECT_EQ(cache.Lookup(0x41, nullptr, 32, m), 0u);  // emptied
}

TEST(GlyphCache, StoreAndLookupRoundTrip) {
  GlyphCache cache;
  cache.Init();
  cache.Select(16, 16, Font("M", 16));
  auto a = Bitmap(32, 3), b = Bitmap(20, 9);
  cache.Store(0xA440, a.data(), a.size(), Metrics(12));
  cache.Store(0x41, b.data(), b.size(), Metrics(5));
  EXPECT_EQ(cache.codes(), (std::vector<uint16_t>{0x41, 0xA440}));
  std::vector<unsigned char> out(32, 0xEE);
  GlyphMetrics m;
  ASSERT_EQ(cache.Lookup(0xA440, out.data(), 32, m), 32u);
  EXPECT_EQ(out, a);
  EXPECT_EQ(m, Metrics(12));
  ASSERT_EQ(cache.Lookup(0x41, nullptr, 20, m), 20u);  // metrics only
  EXPECT_EQ(m, Metrics(5));
  struct Case {
    const char* name;
    uint16_t code;
    bool buffer;
    size_t size;
  } misses[] = {
      {"requested size 0", 0x41, false, 0},
      {"size other than stored (would read past it)", 0x41, true, 32},
      {"larger than the face's maximum", 0xA440, true, 33},
      {"code not stored", 0x42, true, 20},
  };
  for (const Case& c : misses) EXPECT_EQ(cache.Lookup(c.code, c.buffer ? out.data() : nullptr, c.size, m), 0u) << c.name;
  cache.Store(0x43, a.data(), 33, Metrics(1));  // larger than the maximum: not stored
  EXPECT_EQ(cache.entry_count(), 2);
}

TEST(GlyphCache, FullTableEvictsFewestHitsLowestCodeFirst) {
  GlyphCache cache;
  cache.Init();
  cache.Select(16, 16, Font("M", 16, 0));  // 256 entries
  auto bits = Bitmap(32, 0);
  GlyphMetrics m;
  for (uint16_t c = 0; c < 256; ++c) cache.Store(uint16_t(c * 2), bits.data(), 32, Metrics(c));
  for (uint16_t c = 0; c < 256; ++c)
    if (c != 40 && c != 90) cache.Lookup(uint16_t(c * 2), nullptr, 32, m);
  // Codes 80 and 180 have no hits; 80 is the lower one and gives way first.
  cache.Store(1001, bits.data(), 32, Metrics(7));
  EXPECT_EQ(cache.entry_count(), 256);
  EXPECT_EQ(cache.Lookup(80, nullptr, 32, m), 0u);
  EXPECT_EQ(cache.Lookup(1001, nullptr, 32, m), 32u);
  EXPECT_EQ(m, Metrics(7));
  auto codes = cache.codes();
  EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
  cache.Store(1003, bits.data(), 32, Metrics(8));  // now 180 (0 hits) before 1001 (1 hit)
  EXPECT_EQ(cache.Lookup(180, nullptr, 32, m), 0u);
  EXPECT_EQ(cache.Lookup(1001, nullptr, 32, m), 32u);
  size_t used = cache.store_used();
  cache.Store(1005, bits.data(), 32, Metrics(9));  // reuses the evicted room
  EXPECT_EQ(cache.store_used(), used);
}

TEST(GlyphCache, LargerGlyphEvictingSmallerTakesFreshRoom) {
  GlyphCache cache;
  cache.Init();
  cache.Select(64, 64, Font("M", 64, 0));
  GlyphMetrics m;
  auto small = Bitmap(2, 0);
  for (uint16_t c = 0; c < 256; ++c) cache.Store(c, small.data(), 2, Metrics(c));
  for (uint16_t c = 1; c < 256; ++c) cache.Lookup(c, nullptr, 2, m);
  size_t used = cache.store_used();
  auto big = Bitmap(512, 5);
  cache.Store(300, big.data(), 512, Metrics(64));  // evicts code 0, whose room holds 26 bytes
  EXPECT_EQ(cache.store_used(), used + 24 + 512);
  std::vector<unsigned char> out(512);
  ASSERT_EQ(cache.Lookup(300, out.data(), 512, m), 512u);
  EXPECT_EQ(out, big);
  for (uint16_t c = 1; c < 256; ++c) {  // the neighbours are untouched
    std::vector<unsigned char> two(2);
    ASSERT_EQ(cache.Lookup(c, two.data(), 2, m), 2u) << c;
    EXPECT_EQ(two, small);
    EXPECT_EQ(m, Metrics(c));
  }
}

TEST(GlyphCache, StoreGrowsInStepsAndStopsAtOneMebibyte) {
  GlyphCache cache;
  cache.Init();
  EXPECT_EQ(cache.store_size(), 65535u);
  auto big = Bitmap(512, 1);
  GlyphMetrics m;
  size_t stored = 0;
  for (int face = 0; face < 3; ++face) {
    cache.Select(64, 64, Font(Numbered("F", face), 64, 136));
    for (uint16_t c = 0; c < 1000; ++c) {
      cache.Store(c, big.data(), 512, Metrics(c));
      if (cache.Lookup(c, nullptr, 512, m) == 512) ++stored;
    }
  }
  EXPECT_LE(cache.store_size(), GlyphCache::kStoreLimit);
  EXPECT_EQ(cache.store_size() % GlyphCache::kStoreStep, 0u);
  EXPECT_EQ(stored, GlyphCache::kStoreLimit / GlyphCache::kStoreStep * GlyphCache::kStoreStep / 536);
  // A full store keeps what it has: a glyph that cannot be stored evicts nothing.
  cache.Select(64, 64, Font("F0", 64, 136));
  std::vector<unsigned char> out(512);
  ASSERT_EQ(cache.Lookup(5, out.data(), 512, m), 512u);
  EXPECT_EQ(out, big);
}

TEST(GlyphCache, HitCountsStopAtTheTop) {
  GlyphCache cache;
  cache.Init();
  cache.Select(16, 16, Font("M", 16, 0));
  auto bits = Bitmap(32, 0);
  GlyphMetrics m;
  for (uint16_t c = 0; c < 256; ++c) cache.Store(c, bits.data(), 32, Metrics(c));
  for (uint16_t c = 1; c < 256; ++c) cache.Lookup(c, nullptr, 32, m);
  for (int i = 0; i < 70000; ++i) cache.Lookup(0, nullptr, 32, m);  // would wrap past 65,535
  cache.Store(500, bits.data(), 32, Metrics(1));
  EXPECT_EQ(cache.Lookup(0, nullptr, 32, m), 32u);  // the popular glyph stays
  EXPECT_EQ(cache.Lookup(1, nullptr, 32, m), 0u);   // a one-hit glyph gave way
}

TEST(GlyphCache, NothingBeforeInitOrAfterFree) {
  GlyphCache cache;
  cache.Select(16, 16, Font("M", 16));
  EXPECT_EQ(cache.current(), GlyphCache::kNoFace);
  auto bits = Bitmap(32, 0);
  cache.Store(1, bits.data(), 32, Metrics(1));
  cache.Init();
  cache.Select(16, 16, Font("M", 16));
  cache.Store(1, bits.data(), 32, Metrics(1));
  cache.Free();
  GlyphMetrics m;
  EXPECT_EQ(cache.Lookup(1, nullptr, 32, m), 0u);
  EXPECT_EQ(cache.store_size(), 0u);
}

}  // namespace
}  // namespace qm::glyph
