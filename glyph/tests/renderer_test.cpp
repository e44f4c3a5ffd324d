// In-process tests of the renderer class behind librvcsp32.so: glyph requests served
// from the cache (null-buffer size requests and the sized calls after them) for a
// cacheable face and not for a bold one, Reset back to the state at load, and the ANSI
// code page taken from the environment.
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
  return Directory({Font({{"head", HeadTable(h)}, {"cdat", CdatTable(recs)}})});
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
  LOGFONTA lf{};
  lf.lfHeight = -24;
  lf.lfCharSet = 136;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
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
