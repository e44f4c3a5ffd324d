// Seeded corruptions of bitmap and drawing items: a well-formed picture written as raw
// item and record lines, one word or byte of it replaced per variant, read through
// GAGraphicToHandle for GIF, bitmap and TIFF formats. Any status will do; nothing may
// crash, and no handle or block is left behind (checked by the fixture).
#include <random>

#include "filters/graphics/gfx_records.h"
#include "filters/graphics/tests/gfx_export_fixture.h"

namespace gfx::test {
namespace {

struct Line {
  bool item;  // item <kind> <a> <b> <c>, else record <range> <hex>
  uint32_t range;
  std::vector<uint32_t> words;
};

std::string le_hex(const std::vector<uint32_t>& words) {
  std::vector<uint8_t> b;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(w >> (8 * i)));
  return hexs(b);
}

std::string render(const std::string& section, const std::vector<Line>& lines) {
  std::string s = "section " + section + "\n";
  for (const Line& l : lines) {
    if (l.item) {
      s += "item";
      for (uint32_t w : l.words) s += " " + std::to_string(w);
      s += "\n";
    } else if (!l.words.empty()) {
      s += "record " + std::to_string(l.range) + " " + le_hex(l.words) + "\n";
    }
  }
  return s;
}

// An 8-bit 6 x 4 picture with a palette, a brightness transparency palette and two bands.
std::vector<Line> bitmap_lines() {
  std::vector<uint32_t> band1(8, 0x03020100), band2(8, 0x01010101);
  return {
      {false, KVXRANGE_BMHEADERS, {6, 4, 96, 96}},
      {false, KVXRANGE_PALETTES, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080, 0x101010, 0, 0}},
      {false, KVXRANGE_PALETTES, {0xFFFFFF, 0, 0x808080, 0xFFFFFF}},
      {false, KVXRANGE_PIXELS, band1},
      {false, KVXRANGE_PIXELS, band2},
      {true, 0, {KVXITEM_BMPALETTE, 0, 6, 0}},
      {true, 0, {KVXITEM_BMHEADER, 0, 8 | 6 << 16, KVXBM_BRIGHTNESS | KVXBM_BOTTOMUP}},
      {true, 0, {KVXITEM_BMTRANSPARENCY, 0, 2, 4}},
      {true, 0, {KVXITEM_BMBAND, 0, 6, 2}},
      {true, 0, {KVXITEM_BMBAND, 2, 6, 2}},
      {true, 0, {0, 0, 0, 0}},
  };
}

std::vector<Line> drawing_lines() {
  return {
      {false, KVXRANGE_DRAWINGS, {0, 0, 1440, 720, 1440, 1440, 0, 0}},
      {false, KVXRANGE_DRAWINGS, {KVXDRAWOP_RECT, 0x0000FF, 0 | 0 << 16, 720 | 720u << 16}},
      {false, KVXRANGE_DRAWINGS, {KVXDRAWOP_GRADIENT, 0, 0xFF0000, 1, 720, 0, 1440, 720}},
      {false, KVXRANGE_DRAWINGS, {KVXDRAWOP_END, 0, 0, 0}},
      {true, 0, {KVXITEM_DRAWFRAME, 0, KVXDRAW_TRANSPARENT, 0}},
  };
}

const uint32_t kValues[] = {0, 1, 2, 3, 4, 7, 8, 24, 255, 256, 4095, 32001, 65535, 65536, 0x7FFFFFFF, 0xFFFFFFFF};

// Replaces one word of one line; the mutation is described in *what.
void mutate(std::vector<Line>& lines, std::mt19937& rng, std::string* what) {
  Line& l = lines[rng() % lines.size()];
  size_t i = rng() % l.words.size();
  if (l.item && i == 0 && rng() % 2) return;  // keep most kinds: they steer the walks
  uint32_t v = rng() % 3 ? kValues[rng() % std::size(kValues)] : uint32_t(rng());
  if (!l.item && rng() % 4 == 0) {
    l.words.resize(rng() % (l.words.size() + 1));  // a short record
    *what += " cut " + std::to_string(l.words.size());
    return;
  }
  l.words[i] = v;
  *what += " word " + std::to_string(i) + "=" + std::to_string(v);
}

using CorruptTest = GfxExportTest;

void run_variant(const std::string& path, uint32_t section) {
  KVXHANDLE doc = 0, graphic = 0;
  if (DAOpenDocument(&doc, KVXSPEC_PATH, path.c_str(), 0) != KVX_OK) return;
  if (GAOpenGraphic(doc, &graphic) == KVX_OK) {
    for (uint32_t format : {0x1080000u, 0x1180000u, 0x2180000u}) {
      GraphicSelector sel{32, 1, uint16_t(section), 0, {0, 0, 0, 0}, 0};
      DrawParams params{36, 0, 0, 0, 0, 0, 0, 0, format == 0x1080000u ? 1503u : 1500u};
      OutputImage out{52, 0, 0, 0, 0, 0, 0, format, 0, 0, 0, 0, 0, 0};
      if (GAGraphicToHandle(graphic, &sel, &params, &out, 200) == KVX_OK) {
        EXPECT_NE(out.pixel_block, 0u);
        EXPECT_GE(KVXBlockSize(out.pixel_block), size_t(out.data_size));
      }
      if (out.pixel_block) KVXBlockFree(out.pixel_block);
      if (out.palette_block) KVXBlockFree(out.palette_block);
      GraphicInfo info{20, 0, 0, 0, 0};
      GAGetGraphicInfo(graphic, &sel, &info);
    }
    EXPECT_EQ(GACloseGraphic(graphic), KVX_OK);
  }
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(CorruptTest, BitmapAndDrawingItemsNeverCrash) {
  struct Base {
    const char* section;
    std::vector<Line> lines;
  } bases[] = {{"bm", bitmap_lines()}, {"dr", drawing_lines()}};
  for (const Base& base : bases) {
    // The unmutated picture works.
    std::string clean = script(render(base.section, base.lines), "clean.kvx");
    KVXHANDLE doc = 0, graphic = 0;
    ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, clean.c_str(), 0), KVX_OK);
    ASSERT_EQ(GAOpenGraphic(doc, &graphic), KVX_OK);
    GraphicSelector sel{32, 1, 0, 0, {0, 0, 0, 0}, 0};
    DrawParams params{36, 0, 0, 0, 0, 0, 0, 0, 1503};
    OutputImage out{52, 0, 0, 0, 0, 0, 0, 0x1080000, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(GAGraphicToHandle(graphic, &sel, &params, &out, 200), KVX_OK) << base.section;
    EXPECT_EQ(out.transparent, 1u);
    KVXBlockFree(out.pixel_block);
    KVXBlockFree(out.palette_block);
    EXPECT_EQ(GACloseGraphic(graphic), KVX_OK);
    EXPECT_EQ(DACloseDocument(doc), KVX_OK);
    for (uint32_t seed = 1; seed <= 150; ++seed) {
      std::mt19937 rng(seed * 7919 + base.lines.size());
      std::vector<Line> lines = base.lines;
      std::string what;
      mutate(lines, rng, &what);
      if (rng() % 3 == 0) mutate(lines, rng, &what);
      SCOPED_TRACE(std::string(base.section) + " seed " + std::to_string(seed) + what);
      run_variant(script(render(base.section, lines), "v.kvx"), 0);
    }
  }
}

}  // namespace
}  // namespace gfx::test
