// In-process tests of the renderer class behind librvcsp32.so: glyph requests served
// from the cache (null-buffer size requests and the sized calls after them) for a
// cacheable face and not for a bold one, gray glyphs reduced from the doubled glyph, glyphs
// far larger than the cell refused, Reset back to the state at load, and the ANSI code
// page taken from the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "glyph/renderer.h"
#include "glyph/tests/font_file.h"
#include "glyph/tests/font_writer.h"

namespace qm::glyph::test {
namespace {

std::string Document() {
  HeadSpec h;
  h.face = "Ming";
  h.units_per_em = 1024;
  h.max_ascent = 900;
  h.max_descent = 124;
  std::string square = OutlineBody({Polygon({{256, 256}, {768, 256}, {768, 768}, {256, 768}})});
  std::map<uint16_t, std::string> recs;
  for (uint16_t c : {0xA440, 0xA441, 0xA442}) recs[c] = GlyphRecord(0, MetricsSpec{1024, 1024, 0, 0, 1024}, square);
  // Glyphs reaching left of and above their origin: odd doubled origins at some sizes.
  recs[0xA443] = GlyphRecord(0, MetricsSpec{1024, 1024, -30, -30, 1024}, square);
  recs[0xA444] = GlyphRecord(0, MetricsSpec{1024, 1024, -50, -50, 1024}, square);
  return Directory({Font({{"head", HeadTable(h)}, {"cdat", CdatTable(recs)}})});
}

// The face "Ming" of the slot at this height, character set Big5.
LOGFONTA Ming(int32_t height) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfCharSet = 136;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
  return lf;
}

// Draws `codes` as text output does: size by a null call, then the sized call.
void Draw(CspRenderer& r, int slot, const std::vector<uint16_t>& codes) {
  for (uint16_t c : codes) {
    CSX_GlyphMetrics m{};
    int32_t size = r.Csp(slot, c, nullptr, &m);
    ASSERT_GT(size, 0);
    std::vector<unsigned char> buf(size_t(size), 0xFF);
    ASSERT_EQ(r.Csp(slot, c, buf.data(), &m), size);
  }
}

// A gray glyph: the doubled glyph's metrics halved, the image one byte a pixel in rows of
// 4 bytes, each pixel the level of its 2 by 2 block of the doubled 1-bit glyph (counted
// here from the doubled CSX_CSP bitmap), the blocks counted from even doubled pixels (an
// odd origin reads one blank column or row first); the face's own size is left as it was.
TEST(Renderer, GrayGlyphIsTheDoubledGlyphReduced) {
  FontFile f(Document());
  for (int32_t height : {-24, -31, -37}) {
    for (uint16_t code : {0xA440, 0xA443, 0xA444}) {
      CspRenderer r;
      int slot = r.SetDoc(f.fd(), 0);
      LOGFONTA lf{};
      lf.lfHeight = height;
      lf.lfWeight = FW_BOLD;  // no bitmap strike, no cache: the record at both sizes
      lf.lfCharSet = 136;
      std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
      LOGFONTA twice = lf;
      twice.lfHeight = height * 2;
      ASSERT_EQ(r.SetFont(slot, &twice), 1);
      CSX_GlyphMetrics big{};
      const int32_t big_size = r.Csp(slot, code, nullptr, &big);
      ASSERT_GT(big_size, 0);
      std::vector<unsigned char> bits(size_t(big_size), 0xFF);
      ASSERT_EQ(r.Csp(slot, code, bits.data(), &big), big_size);
      ASSERT_EQ(r.SetFont(slot, &lf), 1);
      const DerivedSize before = r.derived();

      const int px = big.originX & 1, py = big.originY & 1;
      CSX_GlyphMetrics m{};
      const int32_t size = r.RenderGrayGlyph(slot, code, nullptr, &m);
      const int32_t w = (big.width + px + 1) / 2, h = (big.height + py + 1) / 2, row = (w + 3) / 4 * 4;
      EXPECT_EQ(size, row * h);
      EXPECT_EQ(m.width, w);
      EXPECT_EQ(m.height, h);
      EXPECT_EQ(m.originX * 2, big.originX - px);
      EXPECT_EQ(m.originY * 2, big.originY - py);
      EXPECT_EQ(m.advance, big.advance / 2);
      std::vector<uint8_t> gray(size_t(size), 0xEE);
      ASSERT_EQ(r.RenderGrayGlyph(slot, code, gray.data(), &m), size);
      const int big_row = (big.width + 15) / 16 * 2;
      auto lit = [&](int x, int y) {
        x -= px, y -= py;
        return x >= 0 && y >= 0 && x < big.width && y < big.height &&
               !(bits[size_t(y * big_row + x / 8)] & (0x80 >> (x % 8)));
      };
      int full = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int s =
              2 * lit(2 * x, 2 * y) + lit(2 * x + 1, 2 * y) + 2 * lit(2 * x, 2 * y + 1) + lit(2 * x + 1, 2 * y + 1);
          ASSERT_EQ(gray[size_t(y * row + x)], s < 6 ? (s + 1) / 2 : 4) << x << "," << y << " " << height;
          full += s == 6;
        }
      EXPECT_GT(full, 0);
      EXPECT_EQ(r.derived().cell_height, before.cell_height);
      EXPECT_EQ(r.device_font().lfHeight, height);
      EXPECT_EQ(r.RenderGrayGlyph(slot, 0xA4FF, nullptr, &m), 0);  // missing
    }
  }
}

TEST(Renderer, RepeatedGlyphsComeFromTheCache) {
  struct Case {
    int32_t weight;
    uint64_t hits;
  } cases[] = {{400, 2 * 6 - 3}, {700, 0}};  // 6 requests of 3 distinct codes, 2 calls each
  for (const Case& c : cases) {
    FontFile f(Document());
    CspRenderer r;
    int slot = r.SetDoc(f.fd(), 0);
    LOGFONTA lf{};
    lf.lfHeight = -24;
    lf.lfWeight = c.weight;
    lf.lfCharSet = 136;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
    ASSERT_EQ(r.SetFont(slot, &lf), 1);
    Draw(r, slot, {0xA440, 0xA441, 0xA440, 0xA442, 0xA441, 0xA440});
    EXPECT_EQ(r.stats().requests, 12u);
    EXPECT_EQ(r.stats().cache_hits, c.hits) << c.weight;
  }
}

// A glyph is drawn up to eight cells across and down; a record whose ink box claims more
// (here up to 65,535 units on a 256-unit em), or a face whose line is 117 ems high, gives
// missing glyphs, for the 1-bit and the gray glyph alike, instead of bitmaps of hundreds
// of megabytes.
TEST(Renderer, GlyphsReachingFarPastTheCellAreMissing) {
  struct Case {
    uint16_t ink;
    int16_t max_ascent;  // a glyph no taller than the face's line is as tall as the line
    bool drawn;
  } cases[] = {{200, 224, true}, {768, 224, true}, {20000, 224, false}, {65535, 224, false}, {200, 30000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ink << " " << c.max_ascent);
    HeadSpec h;
    h.face = "Ming";
    h.max_ascent = c.max_ascent;
    std::string square = OutlineBody({Polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}})});
    FontFile f(Directory({Font({{"head", HeadTable(h)},
                                {"cdat", CdatTable({{0xA440, GlyphRecord(0, MetricsSpec{c.ink, c.ink, 0, 0, 256},
                                                                         square)}})}})}));
    CspRenderer r;
    int slot = r.SetDoc(f.fd(), 0);
    const LOGFONTA lf = Ming(-32);
    ASSERT_EQ(r.SetFont(slot, &lf), 1);
    CSX_GlyphMetrics m{};
    EXPECT_EQ(r.Csp(slot, 0xA440, nullptr, &m) > 0, c.drawn);
    EXPECT_EQ(r.RenderGrayGlyph(slot, 0xA440, nullptr, &m) > 0, c.drawn);
    if (c.drawn) {
      EXPECT_LE(m.width, 8 * 32);
    }
  }
}

TEST(Renderer, ResetForgetsSlotsAndBuffers) {
  FontFile f(Document());
  CspRenderer r;
  ASSERT_EQ(r.SetDoc(f.fd(), 0), 1);
  EXPECT_TRUE(r.has_work_buffer());
  r.Reset();
  EXPECT_EQ(r.bound_slots(), 0);
  EXPECT_FALSE(r.has_work_buffer());
  EXPECT_EQ(r.SetDoc(f.fd(), 0), 1);
  r.End(1);
  EXPECT_FALSE(r.has_work_buffer());
}

TEST(Renderer, GraySwitchEmptiesTheCacheOnChangeOnly) {
  FontFile f(Document());
  CspRenderer r;
  EXPECT_EQ(r.gray_scale(), 0u);
  EXPECT_EQ(r.SetGrayScale(0), 0);  // unchanged: the value itself
  int slot = r.SetDoc(f.fd(), 0);
  const LOGFONTA lf = Ming(-24);
  ASSERT_EQ(r.SetFont(slot, &lf), 1);
  Draw(r, slot, {0xA440, 0xA441});
  ASSERT_GT(r.cache().entry_count(), 0u);
  EXPECT_EQ(r.SetGrayScale(7), 1);
  EXPECT_EQ(r.cache().entry_count(), 0u);  // the face in use starts empty
  Draw(r, slot, {0xA440});  // the cache works again
  EXPECT_GT(r.cache().entry_count(), 0u);
  EXPECT_EQ(r.SetGrayScale(7), 7);  // unchanged: kept, value returned
  EXPECT_GT(r.cache().entry_count(), 0u);
  EXPECT_EQ(r.gray_scale(), 7u);
  r.Reset();
  EXPECT_EQ(r.gray_scale(), 0u);
  EXPECT_EQ(r.SetGrayScale(1), 1);  // no slot bound: nothing to empty
}

// Sets (or, with null, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

TEST(Renderer, AnsiCodePageFromTheEnvironment) {
  struct Case {
    const char* forced;
    const char* lang;
    int page;
  } cases[] = {{nullptr, "zh_TW.Big5", 950},   {nullptr, "zh_TW.BIG5-HKSCS", 950}, {nullptr, "zh_CN.GBK", 936},
               {nullptr, "ja_JP.SJIS", 932},   {nullptr, "ko_KR.EUC-KR", 949},    {nullptr, "en_US.UTF-8", 1252},
               {nullptr, "C", 1252},           {"950", "en_US.UTF-8", 950},       {"abc", "zh_CN.GB2312", 936}};
  for (const Case& c : cases) {
    ScopedEnv forced("QUILLMERE_CODEPAGE", c.forced);
    ScopedEnv all("LC_ALL", nullptr), ctype("LC_CTYPE", nullptr), lang("LANG", c.lang);
    EXPECT_EQ(AnsiCodePage(), c.page) << c.lang;
  }
}

}  // namespace
}  // namespace qm::glyph::test
