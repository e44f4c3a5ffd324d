// gfxcast end to end through libkvx.so: bitmap sections and drawings of chunk-script
// documents exported as GIF and bitmap files and read back by giflib and Pillow; sizes,
// crops and scaling; the size limit; placeholders and the two callbacks; the graphic
// access routines on their own.
#include <gif_lib.h>

#include <cstring>
#include <random>

#include <dlfcn.h>

#include "filters/graphics/gfx_records.h"
#include "filters/graphics/tests/gfx_fixtures.h"
#include "filters/graphics/tests/gfx_export_fixture.h"

namespace gfx::test {
namespace {

// A 24-bit picture of w x h whose pixel (x, y) is (r, g, b) = (x * 10, y * 10, 77); rows
// stored top first unless bottom_up.
std::string picture24(uint32_t w, uint32_t h, bool bottom_up = false, uint32_t band_rows = 0) {
  uint32_t stride = (w * 3 + 3) / 4 * 4;
  std::string s = "section bm\nbitmap " + std::to_string(w) + " " + std::to_string(h) + " 24 0 " +
                  (bottom_up ? "8" : "0") + " 96 96\n";
  if (band_rows == 0) band_rows = h;
  for (uint32_t first = 0; first < h; first += band_rows) {
    uint32_t n = std::min(band_rows, h - first);
    std::vector<uint8_t> bytes(size_t(stride) * n, 0);
    for (uint32_t r = 0; r < n; ++r) {
      uint32_t stored = first + r;
      uint32_t y = bottom_up ? h - 1 - stored : stored;
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t* p = &bytes[size_t(r) * stride + 3 * x];
        p[0] = 77, p[1] = uint8_t(y * 10), p[2] = uint8_t(x * 10);
      }
    }
    s += "band " + std::to_string(w) + " " + std::to_string(n) + " " + hexs(bytes) + "\n";
  }
  return s + "endbitmap\n";
}

std::string expected24(uint32_t w, uint32_t h, uint32_t x0 = 0, uint32_t y0 = 0) {
  std::string s = std::to_string(w) + " " + std::to_string(h) + "\n";
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      s += std::to_string((x + x0) * 10) + "," + std::to_string((y + y0) * 10) + ",77" + (y + 1 == h && x + 1 == w ? "\n" : " ");
  return s;
}

TEST_F(GfxExportTest, BitmapOfABitmapSection) {
  Host host;
  RunResult r = run(picture24(3, 2), KVXEXPORT_BMP, {}, host);
  ASSERT_EQ(r.open, KVX_OK);
  ASSERT_EQ(r.run, KVX_OK);
  ASSERT_EQ(r.bytes.size(), 78u);
  int32_t height;
  std::memcpy(&height, &r.bytes[22], 4);
  EXPECT_EQ(height, -2);
  qm::test::write_file(path("a.bmp"), r.bytes);
  EXPECT_EQ(pillow_rgb(path("a.bmp")), expected24(3, 2));
  EXPECT_EQ(host.done_calls, 1);
  EXPECT_EQ(host.failed_calls, 0);
  EXPECT_EQ(host.done_width, 3u);
  EXPECT_EQ(host.done_height, 2u);
}

TEST_F(GfxExportTest, RowOrderBandsAndCrops) {
  struct Case {
    bool bottom_up;
    uint32_t band_rows;
    std::vector<uint32_t> rect;  // empty: none
    uint32_t w, h, x0, y0;
  } cases[] = {
      {true, 0, {}, 20, 10, 0, 0},
      {false, 3, {}, 20, 10, 0, 0},
      {true, 4, {10, 20, 10, 0}, 16, 8, 2, 2},  // 10 % of 20 columns each side, 20 % of the rows on top
      {false, 1, {0, 0, 60, 70}, 8, 3, 0, 0},
      {false, 0, {60, 0, 60, 0}, 20, 10, 0, 0},   // an empty box is the whole picture
      {false, 0, {250, 0, 0, 0}, 20, 10, 0, 0},   // clamped to 100: empty too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    Host host;
    std::map<uint32_t, std::vector<uint32_t>> opts;
    if (!c.rect.empty()) opts[KVXOPT_GRAPHICRECT] = c.rect;
    RunResult r = run(picture24(20, 10, c.bottom_up, c.band_rows), KVXEXPORT_BMP, opts, host);
    ASSERT_EQ(r.run, KVX_OK);
    qm::test::write_file(path("c.bmp"), r.bytes);
    EXPECT_EQ(pillow_rgb(path("c.bmp")), expected24(c.w, c.h, c.x0, c.y0));
  }
}

TEST_F(GfxExportTest, WantedSizes) {
  struct Case {
    std::map<uint32_t, std::vector<uint32_t>> opts;
    uint32_t w, h;
  } cases[] = {
      {{{KVXOPT_GRAPHICWIDTH, {40}}}, 40, 20},
      {{{KVXOPT_GRAPHICHEIGHT, {5}}}, 10, 5},
      {{{KVXOPT_GRAPHICWIDTH, {7}}, {KVXOPT_GRAPHICHEIGHT, {9}}, {KVXOPT_30, {1}}}, 7, 9},
      {{{KVXOPT_25, {192}}, {KVXOPT_26, {48}}}, 40, 5},  // 96 units per inch
      {{{KVXOPT_GRAPHICWIDTH, {32000}}, {KVXOPT_GRAPHICHEIGHT, {2}}}, 32000, 2},
  };
  for (const Case& c : cases) {
    Host host;
    RunResult r = run(picture24(20, 10), KVXEXPORT_GIF, c.opts, host);
    ASSERT_EQ(r.run, KVX_OK);
    EXPECT_EQ(host.done_width, c.w);
    EXPECT_EQ(host.done_height, c.h);
    ASSERT_GE(r.bytes.size(), 10u);
    EXPECT_EQ(uint8_t(r.bytes[6]) | uint8_t(r.bytes[7]) << 8, int(c.w));
  }
}

// Decodes a GIF with giflib: the colours of its pixels as 0xRRGGBB and the transparent index.
std::vector<uint32_t> gif_colours(const std::string& file, int& transparent, std::vector<uint8_t>* indexes = nullptr) {
  int err = 0;
  std::vector<uint32_t> out;
  GifFileType* gif = DGifOpenFileName(file.c_str(), &err);
  EXPECT_NE(gif, nullptr);
  if (gif == nullptr) return out;
  EXPECT_EQ(DGifSlurp(gif), GIF_OK);
  SavedImage& img = gif->SavedImages[0];
  size_t n = size_t(img.ImageDesc.Width) * size_t(img.ImageDesc.Height);
  for (size_t i = 0; i < n; ++i) {
    GifColorType c = gif->SColorMap->Colors[img.RasterBits[i]];
    out.push_back(uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    if (indexes) indexes->push_back(img.RasterBits[i]);
  }
  GraphicsControlBlock gcb{};
  transparent = DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK ? gcb.TransparentColor : -1;
  DGifCloseFile(gif, &err);
  return out;
}

TEST_F(GfxExportTest, GifOfIndexedAndTransparentPictures) {
  // 8-bit, 5 colours, one of them (0x00FF00) transparent by colour.
  const char* colours[] = {"ff0000", "00ff00", "0000ff", "123456", "ffffff"};
  std::mt19937 rng(3);
  std::vector<uint8_t> rows(8 * 6);
  for (auto& b : rows) b = uint8_t(rng() % 5);
  std::string body = "section bm\npalette";
  for (auto c : colours) body += std::string(" ") + c;
  body += "\nbitmap 8 6 8 5 0x800\ntransparency 0x00FF00\nband 8 6 " + hexs(rows) + "\nendbitmap\n";
  Host host;
  RunResult r = run(body, KVXEXPORT_GIF, {}, host);
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("t.gif"), r.bytes);
  int transparent = -2;
  std::vector<uint8_t> idx;
  auto got = gif_colours(path("t.gif"), transparent, &idx);
  ASSERT_EQ(got.size(), rows.size());
  ASSERT_GE(transparent, 0);
  const uint32_t rgb[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(idx[i] == transparent, rows[i] == 1) << i;
    if (rows[i] != 1) {
      EXPECT_EQ(got[i], rgb[rows[i]]) << i;
    }
  }
  // Without the flag: no extension, the same colours.
  body.replace(body.find("0x800"), 5, "0");
  r = run(body, KVXEXPORT_GIF, {{KVXOPT_GIFINTERLACE, {0}}}, host);
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("u.gif"), r.bytes);
  got = gif_colours(path("u.gif"), transparent);
  EXPECT_EQ(transparent, -1);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(got[i], rgb[rows[i]]);
  }
  EXPECT_EQ(r.bytes[13 + 768 + 9], 0);  // not interlaced
}

TEST_F(GfxExportTest, GifOfManyColoursThroughTheOctree) {
  Host host;
  RunResult r = run(picture24(30, 30), KVXEXPORT_GIF, {}, host);  // 900 colours
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("o.gif"), r.bytes);
  std::string out = pillow_rgb(path("o.gif"));
  EXPECT_EQ(out.substr(0, 6), "30 30\n");
}

TEST_F(GfxExportTest, OneBitAndGrayPictures) {
  struct Case {
    std::string header;
    std::string band;
    std::string want;
  } cases[] = {
      {"bitmap 4 1 1 0 1", "a0000000", "4 1\n255,255,255 0,0,0 255,255,255 0,0,0\n"},  // bilevel white
      {"bitmap 4 1 1 0 3", "a0000000", "4 1\n0,0,0 255,255,255 0,0,0 255,255,255\n"},  // bilevel black
      {"bitmap 2 1 8 0 4", "00800000", "2 1\n0,0,0 128,128,128\n"},                     // gray
      {"bitmap 2 1 4 16 0", "1f000000", "2 1\n0,0,85 255,255,255\n"},                   // standard palette? no: 4-bit
  };
  for (size_t i = 0; i < 3; ++i) {
    const Case& c = cases[i];
    Host host;
    RunResult r = run("section bm\n" + c.header + "\nband " + c.header.substr(7, 1) + " 1 " + c.band + "\nendbitmap\n",
                      KVXEXPORT_BMP, {}, host);
    ASSERT_EQ(r.run, KVX_OK) << c.header;
    qm::test::write_file(path("b.bmp"), r.bytes);
    EXPECT_EQ(pillow_rgb(path("b.bmp")), c.want) << c.header;
  }
  // A 4-bit picture with a palette size and no palette item is 15 (the standard palette
  // needs 256 entries).
  Host host;
  RunResult r = run("section bm\nbitmap 2 1 4 16 0\nband 2 1 1f000000\nendbitmap\n", KVXEXPORT_BMP, {}, host);
  EXPECT_EQ(r.run, KVXERR_BADPARAM);
}

TEST_F(GfxExportTest, DrawingsAreRendered) {
  std::string body =
      "section dr\ndrawing 0 0 1440 720 1440 1440\nrect 0 0 720 720 ff0000\n"
      "gradient 720 0 1440 720 000000 0000ff 0\nenddrawing\n";
  Host host;
  RunResult r = run(body, KVXEXPORT_BMP, {{KVXOPT_GRAPHICWIDTH, {10}}}, host);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(host.done_width, 10u);
  EXPECT_EQ(host.done_height, 5u);
  qm::test::write_file(path("d.bmp"), r.bytes);
  std::string out = pillow_rgb(path("d.bmp"));
  std::string first_row = out.substr(out.find('\n') + 1, std::string("255,0,0 ").size() * 5);
  EXPECT_EQ(first_row, "255,0,0 255,0,0 255,0,0 255,0,0 255,0,0 ");
  EXPECT_NE(out.find(" 0,0,0 0,0,63 0,0,127 0,0,191 0,0,255"), std::string::npos) << out;
  // The natural size: 1 x 0.5 inch at 96 dots per inch; a broken list fails.
  r = run(body, KVXEXPORT_GIF, {}, host);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(host.done_width, 96u);
  EXPECT_EQ(host.done_height, 48u);
  r = run(body, KVXEXPORT_GIF, {{KVXOPT_25, {300}}, {KVXOPT_26, {30}}}, host);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(host.done_width, 300u);
  EXPECT_EQ(host.done_height, 15u);
  r = run("section dr\ndrawing 0 0 100 100 0 0\nrecord 6 09000000000000000000000000000000\n", KVXEXPORT_GIF, {}, host);
  EXPECT_EQ(r.run, KVXERR_BADFORMAT);
}

TEST_F(GfxExportTest, TransparentDrawingMarksLightPixels) {
  std::string body = "section dr\ndrawing 0 0 4 1 0 0 0x10000000 0\nrect 0 0 2 1 000080\nenddrawing\n";
  Host host;
  RunResult r = run(body, KVXEXPORT_GIF, {}, host);
  ASSERT_EQ(r.run, KVX_OK);
  qm::test::write_file(path("t.gif"), r.bytes);
  int transparent = -2;
  std::vector<uint8_t> idx;
  gif_colours(path("t.gif"), transparent, &idx);
  ASSERT_EQ(idx.size(), 4u);
  EXPECT_EQ(transparent, 255);
  EXPECT_EQ(std::vector<uint8_t>(idx.begin(), idx.end()), (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST_F(GfxExportTest, TransparencyOfBitmapSections) {
  // A 4 x 2 picture of palette indexes 0..3 per row; masks mark columns 2 and 3.
  const std::string palette = "palette 101010 202020 f0f0f0 404040\n";
  const std::string band8 = "0001020300010203";
  struct Case {
    std::string body;
    std::map<uint32_t, std::vector<uint32_t>> opts;
    std::vector<bool> want;  // per pixel of the first row (the second is the same)
  } cases[] = {
      // 8-bit mask behind the pixel rows.
      {"section bm\n" + palette + "bitmap 4 2 8 4 0x100\nband 4 2 " + band8 + "0000ffff0000ffff\nendbitmap\n", {},
       {false, false, true, true}},
      // 24-bit mask.
      {"section bm\n" + palette + "bitmap 4 2 8 4 0x200\nband 4 2 " + band8 +
           "000000000000ffffffffffff000000000000ffffffffffff\nendbitmap\n",
       {}, {false, false, true, true}},
      // Brightness through the transparency palette (entries 1 and 3 light), and inverted.
      {"section bm\n" + palette + "bitmap 4 2 8 4 0x400\ntransparency 0 000000 ffffff 000000 ffffff\nband 4 2 " + band8 +
           "\nendbitmap\n",
       {}, {false, true, false, true}},
      {"section bm\n" + palette + "bitmap 4 2 8 4 0x2400\ntransparency 0 000000 ffffff 000000 ffffff\nband 4 2 " +
           band8 + "\nendbitmap\n",
       {}, {true, false, true, false}},
      // One index: kept as it is, or through an index mask when scaled.
      {"section bm\n" + palette + "bitmap 4 2 8 4 0x1000\ntransparency 2\nband 4 2 " + band8 + "\nendbitmap\n", {},
       {false, false, true, false}},
      {"section bm\n" + palette + "bitmap 4 2 8 4 0x1000\ntransparency 2\nband 4 2 " + band8 + "\nendbitmap\n",
       {{KVXOPT_GRAPHICWIDTH, {8}}, {KVXOPT_GRAPHICHEIGHT, {2}}}, {false, false, false, false, true, true, false, false}},
  };
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(k);
    Host host;
    RunResult r = run(c.body, KVXEXPORT_GIF, c.opts, host);
    ASSERT_EQ(r.run, KVX_OK);
    qm::test::write_file(path("m.gif"), r.bytes);
    int transparent = -2;
    std::vector<uint8_t> idx;
    gif_colours(path("m.gif"), transparent, &idx);
    ASSERT_GE(transparent, 0);
    ASSERT_EQ(idx.size(), 2 * c.want.size());
    for (size_t i = 0; i < idx.size(); ++i) EXPECT_EQ(idx[i] == transparent, c.want[i % c.want.size()]) << i;
  }
}

TEST_F(GfxExportTest, PictureLinesOfChunkScripts) {
  struct Case {
    const char* body;
    KVXSTATUS status;
  } cases[] = {
      {"section bm\nbitmap 2 1 8 2 0 96 96\npalette ff0000 00ff00\ntransparency 1 ffffff\nband 2 1 0001\nendbitmap\n", KVX_OK},
      {"section dr\ndrawing 0 0 10 10 0 0 0x10000000 0\nrect 0 0 5 5 ff0000\ngradient 5 0 10 10 000000 ffffff 1\nenddrawing\n", KVX_OK},
      {"section bm\nbitmap 2 1 8 2 0 96\n", KVXERR_BADFORMAT},             // units come in pairs
      {"section bm\nbitmap 2 1 70000 2 0\n", KVXERR_BADFORMAT},           // bits are 16-bit
      {"section bm\npalette red\n", KVXERR_BADFORMAT},                    // not a colour
      {"section bm\nband 2 1 0g\n", KVXERR_BADFORMAT},                    // not hex
      {"section dr\nrect 0 0 40000 5 ff0000\n", KVXERR_BADFORMAT},        // corner too large
      {"section dr\ndrawing 0 0 10 10 0 0 1\n", KVXERR_BADFORMAT},        // flags without a mode
      {"section dr\nenddrawing 1\n", KVXERR_BADFORMAT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    std::string in = script(c.body);
    KVXHANDLE doc = 0, chunker = 0;
    ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
    EXPECT_EQ(DAGetHChunker(doc, &chunker), c.status);
    EXPECT_EQ(DACloseDocument(doc), KVX_OK);
    if (c.status == KVX_OK) {
      // kvxdump writes a script that builds the same model again.
      std::string once = shell(std::string(QM_DIST_DIR) + "/kvxdump --script " + in);
      qm::test::write_file(path("again.kvx"), once);
      EXPECT_EQ(shell(std::string(QM_DIST_DIR) + "/kvxdump --script " + path("again.kvx")), once);
      EXPECT_EQ(shell(std::string(QM_DIST_DIR) + "/kvxdump --ranges " + path("again.kvx")),
                shell(std::string(QM_DIST_DIR) + "/kvxdump --ranges " + in));
    }
  }
}

TEST_F(GfxExportTest, SizeLimitAndPlaceholders) {
  const std::string good = picture24(3, 2);
  const std::string broken = "section bm\nbitmap 3 2 7 0 0\nendbitmap\n";  // 7 bits: 15
  struct Case {
    std::string body;
    uint32_t type;
    std::map<uint32_t, std::vector<uint32_t>> opts;
    KVXSTATUS answer;
    KVXSTATUS status;
    size_t size;  // output bytes
  } cases[] = {
      {good, KVXEXPORT_GIF, {{KVXOPT_GRAPHICWIDTH, {32001}}}, 0, KVXERR_BADPARAM, 0},
      {good, KVXEXPORT_GIF, {{KVXOPT_GRAPHICHEIGHT, {0xFFFFFFFF}}}, 0, KVXERR_BADPARAM, 0},
      // 32,000 x 32,000 passes the size test but is more than the engine makes.
      {good, KVXEXPORT_BMP, {{KVXOPT_GRAPHICWIDTH, {32000}}, {KVXOPT_GRAPHICHEIGHT, {32000}}}, 0, KVXERR_NOMEMORY, 0},
      {broken, KVXEXPORT_GIF, {{KVXOPT_FALLBACKPICTURE, {1}}}, KVXCB_USEDEFAULT, KVXERR_BADPARAM, 85},
      {broken, KVXEXPORT_GIF, {{KVXOPT_FALLBACKPICTURE, {0}}}, KVXCB_USEDEFAULT, KVXERR_BADPARAM, 0},
      {broken, KVXEXPORT_GIF, {{KVXOPT_FALLBACKPICTURE, {1}}}, 0, KVXERR_BADPARAM, 0},
      {broken, KVXEXPORT_JPEG, {{KVXOPT_FALLBACKPICTURE, {1}}}, KVXCB_USEDEFAULT, KVXERR_BADPARAM, 283},
      {broken, KVXEXPORT_BMP, {{KVXOPT_FALLBACKPICTURE, {1}}}, KVXCB_USEDEFAULT, KVXERR_BADPARAM, 0},
      {broken, KVXEXPORT_TIFF, {{KVXOPT_FALLBACKPICTURE, {1}}}, KVXCB_USEDEFAULT, KVXERR_BADPARAM, 0},
      {"section wp\ntext cp1252 \"x\"\n", KVXEXPORT_GIF, {{KVXOPT_FALLBACKPICTURE, {1}}}, KVXCB_USEDEFAULT,
       KVXERR_NOFILTER, 85},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.size));
    Host host;
    host.answer_failed = c.answer;
    RunResult r = run(c.body, c.type, c.opts, host);
    ASSERT_EQ(r.open, KVX_OK);
    EXPECT_EQ(r.run, c.status);
    EXPECT_EQ(r.bytes.size(), c.size);
    EXPECT_EQ(host.failed_calls, 1);
    EXPECT_EQ(host.failed_status, c.status);
    EXPECT_EQ(host.done_calls, 1);
    // The output image's size as it stood: nothing made yet, or the size asked for.
    EXPECT_EQ(host.done_width, c.status == KVXERR_NOMEMORY ? 32000u : 0u);
    if (c.size == 85) {
      EXPECT_EQ(r.bytes.substr(0, 6), "GIF89a");
      qm::test::write_file(path("p.gif"), r.bytes);
      EXPECT_EQ(pillow_rgb(path("p.gif")), "1 1\n128,128,128\n");
    }
    if (c.size == 283) {
      qm::test::write_file(path("p.jpg"), r.bytes);
      std::string out = shell("djpeg -pnm " + path("p.jpg") + " | head -c 15");
      EXPECT_EQ(out.substr(0, 13), "P6\n16 16\n255\n");
      EXPECT_EQ(shell("djpeg " + path("p.jpg") + " 2>&1 >/dev/null | wc -c"), "0\n");  // no warning
    }
  }
}

TEST_F(GfxExportTest, HostRewritesTheSizeInTheFailureRecord) {
  Host host;
  host.rewrite_width = 640, host.rewrite_height = 480;
  RunResult r = run("section bm\nbitmap 3 2 7 0 0\nendbitmap\n", KVXEXPORT_GIF, {}, host);
  EXPECT_EQ(r.run, KVXERR_BADPARAM);
  EXPECT_EQ(host.done_width, 640u);
  EXPECT_EQ(host.done_height, 480u);
}

TEST_F(GfxExportTest, GraphicAccessRoutines) {
  std::string in = script(picture24(6, 4) + "section dr\ndrawing 0 0 1440 1440 1440 1440\nrect 0 0 1440 1440 00ff00\nenddrawing\n");
  KVXHANDLE doc = 0, graphic = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(GAOpenGraphic(doc, &graphic), KVX_OK);
  GraphicSelector sel{32, 1, 0, 0, {0, 0, 0, 0}, 0};
  GraphicInfo info{20, 0, 0, 0, 0};
  ASSERT_EQ(GAGetGraphicInfo(graphic, &sel, &info), KVX_OK);
  EXPECT_EQ(info.width, 6u);
  EXPECT_EQ(info.height, 4u);
  EXPECT_EQ(info.units_x, 96u);
  info.size = 19;
  EXPECT_EQ(GAGetGraphicInfo(graphic, &sel, &info), KVXERR_BADPARAM);
  info.size = 20;
  GraphicSelector other = sel;
  other.section = 1;
  EXPECT_EQ(GAGetGraphicInfo(graphic, &other, &info), KVXERR_BADPARAM);  // another section
  other = sel;
  other.graphic = 5;
  EXPECT_EQ(GAGetGraphicInfo(graphic, &other, &info), KVXERR_NOFILTER);  // not numbered
  other = sel;
  other.size = 31;
  EXPECT_EQ(GAGetGraphicInfo(graphic, &other, &info), KVXERR_BADPARAM);
  // Onto a device: 8 x 8, the picture at its size.
  std::vector<uint8_t> pixels(8 * 24, 0);
  KVXDEVICE dev{sizeof(KVXDEVICE), 0, 0, 0, 0, 0, pixels.data(), 8, 8, 24};
  ASSERT_EQ(GAGraphicToDevice(graphic, &sel, nullptr, &dev), KVX_OK);
  EXPECT_EQ(dev.Width, 6u);
  EXPECT_EQ(pixels[24 * 3 + 3 * 5 + 2], 50);  // (5, 3): red 50, green 30
  EXPECT_EQ(pixels[24 * 3 + 3 * 5 + 1], 30);
  EXPECT_EQ(pixels[24 * 3 + 3 * 6 + 2], 0);   // outside the picture
  EXPECT_EQ(GACloseGraphic(graphic), KVX_OK);
  // The drawing into a context.
  ASSERT_EQ(GAOpenGraphic(doc, &graphic), KVX_OK);
  sel.section = 1;
  std::fill(pixels.begin(), pixels.end(), 0);
  KVXCONTEXT ctx{sizeof(KVXCONTEXT), {sizeof(KVXDEVICE), 0, 2, 2, 4, 4, pixels.data(), 8, 8, 24}};
  KVXDEVICE out{};
  ASSERT_EQ(GAGraphicToContext(graphic, &sel, &out, &ctx), KVX_OK);
  EXPECT_EQ(pixels[24 * 2 + 3 * 2 + 1], 255);
  EXPECT_EQ(pixels[24 * 5 + 3 * 5 + 1], 255);
  EXPECT_EQ(pixels[24 * 6 + 3 * 6 + 1], 0);
  EXPECT_EQ(GACloseGraphic(graphic), KVX_OK);
  // A module data block of another kind: 15, and destroyed all the same.
  KVXHANDLE foreign = 0;
  ASSERT_EQ(DACreateModuleData(&foreign, doc, 0, 656, 4), KVX_OK);
  EXPECT_EQ(GACloseGraphic(foreign), KVXERR_BADPARAM);
  void* p = nullptr;
  EXPECT_NE(DALockModuleData(foreign, &p), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}


TEST_F(GfxExportTest, ShortWritesTakeTheFailurePath) {
  std::string in = script(picture24(40, 30));
  for (uint32_t type : {KVXEXPORT_GIF, KVXEXPORT_BMP, KVXEXPORT_JPEG, KVXEXPORT_TIFF}) {
    SCOPED_TRACE(type);
    MemoryIO io;
    io.budget = 100;
    Host host;
    KVXHANDLE doc = 0, ex = 0;
    ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
    ASSERT_EQ(EXOpenExport(doc, type, KVXSPEC_IOOBJECT, &io.io, 0, nullptr, host_callback, &host, &ex), KVX_OK);
    EXPECT_EQ(EXRunExport(ex), KVXERR_SHORTWRITE);
    EXPECT_EQ(host.failed_calls, 1);
    EXPECT_EQ(host.failed_status, KVXERR_SHORTWRITE);
    EXPECT_EQ(host.done_width, 40u);
    EXPECT_EQ(EXCloseExport(ex), KVX_OK);
    EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  }
}

TEST(GfxEntry, RoutineTableAndInformation) {
  void* lib = ::dlopen(QM_GFXCAST, RTLD_NOW);
  ASSERT_NE(lib, nullptr);
  auto get_rtns = reinterpret_cast<VwGetRtnsFn>(::dlsym(lib, "VwGetRtns"));
  ASSERT_NE(get_rtns, nullptr);
  VwRtns table{};
  ASSERT_EQ(get_rtns(&table, VWRTNS_VERSION), &table);
  auto info = reinterpret_cast<VwGetInfoFn>(table.Slots[VWRTN_GETINFO]);
  uint16_t v16 = 0;
  ASSERT_EQ(info(&v16, VWINFO_DATASIZE), 1);
  EXPECT_EQ(v16, 204);
  ASSERT_EQ(info(&v16, 3), 1);
  EXPECT_EQ(v16, 2);
  ASSERT_EQ(info(&v16, VWINFO_EXPORTCOUNT), 1);
  EXPECT_EQ(v16, 4);
  uint16_t ids[4] = {};
  ASSERT_EQ(info(ids, VWINFO_EXPORTIDS), 1);
  EXPECT_EQ(std::vector<uint16_t>(ids, ids + 4), (std::vector<uint16_t>{1503, 1535, 1501, 1500}));
  char text[12] = {};
  ASSERT_EQ(info(text, VWINFO_BUILDDATE), 1);
  EXPECT_STREQ(text, "Oct 26 1999");
  ASSERT_EQ(info(text, VWINFO_BUILDTIME), 1);
  EXPECT_STREQ(text, "23:44:24");
  EXPECT_EQ(info(text, 0), 0);
  EXPECT_EQ(info(text, 14), 0);
  // The instance: 204 bytes of filter data, two user words, its own handle.
  auto alloc = reinterpret_cast<VwAllocProcFn>(table.Slots[VWRTN_ALLOCPROC]);
  auto free_proc = reinterpret_cast<VwFreeProcFn>(table.Slots[VWRTN_FREEPROC]);
  void* instance = alloc();
  ASSERT_NE(instance, nullptr);
  uint32_t own = 0;
  std::memcpy(&own, static_cast<char*>(instance) + 212, 4);
  EXPECT_EQ(KVXBlockSize(own), 216u);
  free_proc(instance);
  ::dlclose(lib);
}

}  // namespace
}  // namespace gfx::test
