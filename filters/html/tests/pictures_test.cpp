// The picture side of pagecast in-process against libkvx.so and the installed gfxcast:
// the spacer and placeholder GIFs (decoded by giflib), the code packer, sizes and crops,
// border words, picture sections and embedded objects converted by nested exports, the
// placeholders of failed conversions, links offered to the host and the callback that
// passes the graphics filter's failure on.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "filters/graphics/placeholders.h"
#include "filters/html/pc_gif.h"
#include "filters/html/pc_pictures.h"
#include "filters/html/pc_stylesheet.h"
#include "filters/html/tests/writer_harness.h"
#include "testsupport/test_files.h"

namespace pc::test {
namespace {

std::string hex(const void* data, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<const uint8_t*>(data)[i];
    out += d[b >> 4];
    out += d[b & 15];
  }
  return out;
}
std::string hex(const std::string& s) { return hex(s.data(), s.size()); }

// Decodes a GIF file with giflib: its size, transparent index (-1 none) and the colours of
// its pixels as 0xRRGGBB.
struct Decoded {
  bool ok = false;
  int width = 0, height = 0, transparent = -1;
  std::vector<uint32_t> colours;
  std::vector<int> indexes;
};
Decoded decode_gif(const std::string& file) {
  Decoded d;
  int err = 0;
  GifFileType* gif = DGifOpenFileName(file.c_str(), &err);
  if (gif == nullptr) return d;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount >= 1) {
    const SavedImage& im = gif->SavedImages[0];
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = -1;
    if (DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK) d.transparent = gcb.TransparentColor;
    d.width = im.ImageDesc.Width;
    d.height = im.ImageDesc.Height;
    for (int i = 0; i < d.width * d.height; ++i) {
      int k = im.RasterBits[i];
      d.indexes.push_back(k);
      const GifColorType& c = map->Colors[k];
      d.colours.push_back(uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    }
    d.ok = true;
  }
  DGifCloseFile(gif, &err);
  return d;
}

TEST(PagecastGif, SpacerAndPlaceholderAreExactAndDecode) {
  qm::test::TempDir dir;
  KVXIO* io = nullptr;
  ASSERT_EQ(DAInit(), KVX_OK);
  // Mode 1 rewinds: what stood in the file before is overwritten from its start.
  ASSERT_EQ(IOCreate(&io, KVXSPEC_PATH, (dir / "s.gif").c_str(), KVXIO_CREATE), KVX_OK);
  uint32_t w = 0;
  io->Write(io, "xxxx", 4, &w);
  EXPECT_EQ(WriteGIF(io, 1), KVX_OK);
  io->Close(io);
  std::string spacer = qm::test::read_file(dir / "s.gif");
  EXPECT_EQ(hex(spacer),
            "474946383961010001" "00F00100" "FFFFFF808080" "21F90401000001" "00" "2C00000000010001" "0000"
            "08" "0400030404" "00" "3B");
  EXPECT_EQ(spacer.size(), 45u);
  Decoded d = decode_gif(dir / "s.gif");
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 1);
  EXPECT_EQ(d.transparent, 1);
  EXPECT_EQ(d.indexes, std::vector<int>{1});

  ASSERT_EQ(IOCreate(&io, KVXSPEC_PATH, (dir / "p.gif").c_str(), KVXIO_CREATE), KVX_OK);
  EXPECT_EQ(WriteGIF(io, 0), KVX_OK);
  io->Close(io);
  std::string placeholder = qm::test::read_file(dir / "p.gif");
  EXPECT_EQ(placeholder, std::string(reinterpret_cast<const char*>(gfx::kPlaceholderGif), 85));
  EXPECT_TRUE(decode_gif(dir / "p.gif").ok);
  EXPECT_EQ(DADeInit(), KVX_OK);
}

TEST(PagecastGif, CodePackerWidensResetsAndSplitsBlocks) {
  // 256 (9 bits), widen, 300 (10 bits), 256 (10 bits, then back to 9), 5 (9 bits): 38 bits.
  std::vector<uint8_t> p = PackGifCodes({kGifClear, kGifWiden, 300, kGifClear, 5});
  uint64_t bits = 256 | uint64_t(300) << 9 | uint64_t(256) << 19 | uint64_t(5) << 29;
  std::vector<uint8_t> want = {5};
  for (int i = 0; i < 5; ++i) want.push_back(uint8_t(bits >> (8 * i)));
  EXPECT_EQ(p, want);
  // Widening stops at 12 bits; 1,000 codes of 12 bits are 1,500 bytes: 255 x 5 + 225.
  std::vector<uint16_t> codes(8, kGifWiden);
  codes.insert(codes.end(), 1000, 0xABC);
  std::vector<uint8_t> big = PackGifCodes(codes);
  ASSERT_EQ(big.size(), 1500u + 6);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(big[size_t(k) * 256], 255);
  EXPECT_EQ(big[5 * 256], 225);
  EXPECT_EQ(big[1], 0xBC);
  EXPECT_EQ(big[2], 0xCA);
}

TEST(PagecastPictures, SizesCropsAndBorders) {
  struct Px {
    int32_t twips;
    uint32_t dpi, want;
  } px[] = {{1440, 96, 96}, {1440, 72, 72}, {720, 72, 36}, {1440, 2400, 2400}, {10, 72, 1},
            {2000000000, 2400, 0x7FFFFFFF}, {-1440, 96, 0}, {0, 96, 0}};
  for (const Px& c : px) EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.want) << c.twips << " at " << c.dpi;
  struct Crop {
    int32_t crop, natural, want;
  } crops[] = {{144, 1440, 10}, {0, 0, 0}, {500, 0, 0}, {2000, 1000, 100}, {-5, 100, 0}, {2000000000, 3, 100}};
  for (const Crop& c : crops) EXPECT_EQ(CropPercent(c.crop, c.natural), c.want) << c.crop << "/" << c.natural;
  struct Border {
    uint32_t word;
    int a, b;
  } borders[] = {{0x800, 2, 1}, {0x1000 | 0x400, 2, 1}, {0x2000, 2, 4}, {0x1, 0, 2}, {0x2 | 0x4, 2, 1},
                 {0x8, 1, 4}, {0, 1, 2}};
  for (const Border& c : borders) {
    BorderDecode d = DecodeObjectBorder(c.word);
    EXPECT_EQ(d.a, c.a) << c.word;
    EXPECT_EQ(d.b, c.b) << c.word;
  }
}

// ---- Exports through the framework --------------------------------------------------------

struct LinkHost {
  KVXSTATUS link_answer = KVXCB_USEDEFAULT;
  uint32_t action = 0;
  const char* replace = nullptr;  // text the host puts in the link record
  KVXSTATUS failed_answer = KVXCB_USEDEFAULT;
  KVXLINKRECORD seen{};
  std::u16string seen_text;
  int links = 0, failures = 0;
};

KVXSTATUS link_host(KVXHANDLE, void* data, uint32_t id, void* cb) {
  auto* h = static_cast<LinkHost*>(data);
  if (id == KVXCB_PROCESSLINK) {
    ++h->links;
    auto* l = static_cast<KVXLINKRECORD*>(cb);
    h->seen = *l;
    for (const char* t = static_cast<const char*>(l->Text); t != nullptr && *t; ++t) h->seen_text.push_back(char16_t(uint8_t(*t)));
    if (h->link_answer == KVX_OK) {
      l->Action = h->action;
      if (h->replace) l->Text = const_cast<char*>(h->replace);
    }
    return h->link_answer;
  }
  if (id == KVXCB_GRAPHICFAILED) {
    ++h->failures;
    return h->failed_answer;
  }
  return KVXCB_USEDEFAULT;
}

struct ObjectSpec {
  std::string bytes;  // the embedded document
  int32_t natural_w = 1440, natural_h = 720, display_w = 0, display_h = 0;
  uint32_t border_a = 0, border_b = 0, flags = 0;
  int32_t crop[4] = {};
  bool link = false;
};

// A two-pixel picture (red, blue) as an embedded chunk script for the object item id.
std::string picture_object(uint32_t object_id) {
  return "kvx-chunks 1\nsection bm\ngroup 0xA0150000 " + std::to_string(object_id) +
         "\nbitmap 2 1 24 0 0 96 96\nband 2 1 0000FFFF00000000\nendbitmap\nend\n";
}

class PicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KVX_PLUGINS", QM_KVX_TESTFILTER, 1);
    ASSERT_EQ(DAInit(), KVX_OK);
    blocks_ = KVXBlockLiveCount();
  }
  void TearDown() override {
    close();
    EXPECT_EQ(DADeInit(), KVX_OK);
    EXPECT_EQ(KVXBlockLiveCount(), blocks_);
    ::unsetenv("KVX_PLUGINS");
  }

  // Document: section 0 (wp): a link text run (item 0), a link source (item 1), the
  // object (item 2); section 1: a 3 x 2 bitmap. Opens an HTML export over it with the
  // picture side's state.
  void open(const ObjectSpec& o, uint32_t graphic_type = KVXEXPORT_GIF, int32_t resolution = -1) {
    std::string bytes = o.bytes;
    KVXOBJECTITEM rec{};
    rec.GraphicType = 4;
    rec.DataFirst = 0;
    rec.DataLength = uint32_t(bytes.size());
    rec.LinkText = o.link ? 1 : 0;
    rec.NaturalWidth = o.natural_w;
    rec.NaturalHeight = o.natural_h;
    rec.DisplayWidth = o.display_w;
    rec.DisplayHeight = o.display_h;
    rec.BorderA = o.border_a;
    rec.BorderB = o.border_b;
    rec.Flags = o.flags;
    for (int i = 0; i < 4; ++i) rec.Crop[i] = o.crop[i];
    rec.LinkSource = 1;
    std::string script = "kvx-chunks 1\nsection wp\ntext cp1252 \"pics/h\xC3\xA9.gif\"\nitem 128 0 0 0\n";
    if (!bytes.empty()) script += "record 3 " + hex(bytes) + "\n";
    script += "record 13 " + hex(&rec, sizeof rec) + "\nitem 26 0 0 0\npara\n";
    script += "section bm\nbitmap 3 2 24 0 0 96 96\nband 3 2 0000FF00FF00FF0000000000FFFFFF000000000000000000\nendbitmap\n";
    qm::test::write_file(dir_ / "doc.kvx", script);
    open_document(dir_ / "doc.kvx", graphic_type, resolution);
  }

  void open_document(const std::string& path, uint32_t graphic_type = KVXEXPORT_GIF, int32_t resolution = -1) {
    ASSERT_EQ(DAOpenDocument(&doc_, KVXSPEC_PATH, path.c_str(), 0), KVX_OK);
    ASSERT_EQ(DASetOption(doc_, KVXOPT_GRAPHICTYPE, &graphic_type, 4), KVX_OK);
    if (resolution >= 0) {
      ASSERT_EQ(DASetOption(doc_, KVXOPT_34, &resolution, 4), KVX_OK);
    }
    ASSERT_EQ(EXOpenExport(doc_, KVXEXPORT_HTML, KVXSPEC_PATH, (dir_ / "page.htm").c_str(), 0, nullptr, link_host,
                           &host_, &ex_),
              KVX_OK);
    x_.ex = ex_;
    ASSERT_EQ(DAGetHChunker(doc_, &x_.chunker), KVX_OK);
    ASSERT_EQ(IOCreate(&x_.root_out, KVXSPEC_PATH, (dir_ / "page.htm").c_str(), KVXIO_CREATE), KVX_OK);
    x_.root_spec_type = KVXSPEC_PATH;
    x_.cur_entry = -1;
    ASSERT_EQ(StartWriter(x_.writer), KVX_OK);
    KVXHANDLE ex = ex_;
    x_.writer.s.getOption = [ex](uint32_t id, void* b, uint32_t* n) { return DAGetOption(ex, id, b, n); };
    bool classes = false;
    ASSERT_EQ(ConfigureHtmlWriter(KVXCS_CP1252, kKind8, x_.writer, &classes), KVX_OK);
    sink_.io.Write = sink_write;
    x_.writer.s.output = &sink_.io;
  }

  void close() {
    StopWriter(x_.writer);
    if (x_.root_out) x_.root_out->Close(x_.root_out), x_.root_out = nullptr;
    if (ex_) {
      EXPECT_EQ(EXCloseExport(ex_), KVX_OK);
      ex_ = 0;
    }
    if (doc_) {
      EXPECT_EQ(DACloseDocument(doc_), KVX_OK);
      doc_ = 0;
    }
    x_ = Export{};
  }

  std::string file(const std::string& name) { return qm::test::read_file(dir_ / name); }
  bool exists(const std::string& name) { return std::filesystem::exists(dir_ / name); }

  qm::test::TempDir dir_;
  uint32_t blocks_ = 0;
  KVXHANDLE doc_ = 0, ex_ = 0;
  Export x_;
  Sink sink_{};
  LinkHost host_;
};

TEST_F(PicturesTest, EmbeddedObjectBecomesAGifOfItsColours) {
  ObjectSpec o;
  o.bytes = picture_object(2);
  open(o);
  ASSERT_EQ(WriteGraphic(x_, 0, 0, 2, 1), KVX_OK);
  // 1,440 x 720 twips at 96 dots per inch.
  EXPECT_NE(sink_.bytes.find("<IMG SRC=\"page_1.gif\" HEIGHT=\"48\" WIDTH=\"96\"></IMG>"), std::string::npos)
      << sink_.bytes;
  EXPECT_EQ(sink_.bytes.find("ALT="), std::string::npos);
  Decoded d = decode_gif(dir_ / "page_1.gif");
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 96);
  EXPECT_EQ(d.height, 48);
  std::set<uint32_t> colours(d.colours.begin(), d.colours.end());
  EXPECT_EQ(colours, (std::set<uint32_t>{0xFF0000, 0x0000FF}));
  EXPECT_EQ(host_.failures, 0);
}

TEST_F(PicturesTest, PictureSectionBecomesAGifWithBorderZero) {
  open(ObjectSpec{});
  ASSERT_EQ(WriteSectionImage(x_, 1, 0, 0), KVX_OK);
  EXPECT_NE(sink_.bytes.find("<IMG SRC=\"page_1.gif\" BORDER=\"0\" HEIGHT=\"2\" WIDTH=\"3\"></IMG>"), std::string::npos)
      << sink_.bytes;
  EXPECT_NE(sink_.bytes.find("s2image"), std::string::npos) << sink_.bytes;
  Decoded d = decode_gif(dir_ / "page_1.gif");
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.colours, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x000000}));
  // The template's size is handed to the nested export.
  sink_.bytes.clear();
  ASSERT_EQ(WriteSectionImage(x_, 1, 6, 4), KVX_OK);
  EXPECT_NE(sink_.bytes.find("SRC=\"page_2.gif\" BORDER=\"0\" HEIGHT=\"4\" WIDTH=\"6\""), std::string::npos)
      << sink_.bytes;
  // A section that holds no picture: the placeholder and the ALT text.
  sink_.bytes.clear();
  ASSERT_EQ(WriteSectionImage(x_, 0, 0, 0), KVX_OK);
  EXPECT_NE(sink_.bytes.find("SRC=\"page_3.gif\" BORDER=\"0\" ALT=\"Unconverted image\">"), std::string::npos)
      << sink_.bytes;
  EXPECT_EQ(file("page_3.gif").size(), 85u);
  EXPECT_EQ(host_.failures, 1);
}

TEST_F(PicturesTest, ResolutionOptionSizesObjects) {
  struct Case {
    int32_t option;  // -1 absent
    uint32_t object_w, object_h, selection_resolution;
  } cases[] = {{-1, 96, 48, 0}, {5000, 2400, 1200, 2400}, {144, 144, 72, 144}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    ObjectSpec o;
    o.bytes = picture_object(2);
    open(o, KVXEXPORT_GIF, c.option);
    Export* px = &x_;
    void* instance = &px;  // the instance block holds the export's pointer
    PCGRAPHICSIZE size{};
    KVXBLOCK conv = 0;
    ASSERT_EQ(EUSetupObjectConversion(2, KVXEXPORT_GIF, nullptr, 0, &conv, &size, x_.chunker, instance), KVX_OK);
    EXPECT_EQ(size.Width, c.object_w);
    EXPECT_EQ(size.Height, c.object_h);
    EXPECT_EQ(size.Export, ex_);
    auto* g = static_cast<PCGRAPHICCONVERSION*>(KVXBlockLock(conv));
    EXPECT_EQ(g->Kind, 2u);
    EXPECT_EQ(g->Resolution, c.object_w);
    KVXBlockUnlock(conv);
    KVXBlockFree(conv);
    KVXSELECTION sel{{7, 8, 0x10001}};
    PCGRAPHICSIZE ss{1, 50, 60, 0};  // only a height is given
    ASSERT_EQ(EUSetupSelectionConversion(&sel, KVXEXPORT_GIF, nullptr, 0, &ss, &conv, instance), KVX_OK);
    EXPECT_EQ(ss.Width, 0u);
    EXPECT_EQ(ss.Height, 60u);
    g = static_cast<PCGRAPHICCONVERSION*>(KVXBlockLock(conv));
    EXPECT_EQ(g->Resolution, c.selection_resolution);
    EXPECT_EQ(g->Selection.Words[0], 0u);
    EXPECT_EQ(g->Selection.Words[2], 0x10001u);
    EXPECT_EQ(g->ObjectId, 0xFFFFFFFFu);
    KVXBlockUnlock(conv);
    KVXBlockFree(conv);
    close();
  }
}

TEST_F(PicturesTest, CropPercentagesAreClamped) {
  ObjectSpec o;
  o.bytes = picture_object(2);
  o.crop[0] = 72;     // first vertical: 10 % of 720
  o.crop[1] = 2880;   // first horizontal: 200 % of 1,440, cut to 100
  o.crop[2] = -10;    // second vertical: below 0
  o.crop[3] = 144;    // second horizontal: 10 %
  o.flags = 0x40;
  open(o);
  Export* px = &x_;
  PCGRAPHICSIZE size{};
  KVXBLOCK conv = 0;
  ASSERT_EQ(EUSetupObjectConversion(2, KVXEXPORT_GIF, nullptr, 0, &conv, &size, x_.chunker, &px), KVX_OK);
  auto* g = static_cast<PCGRAPHICCONVERSION*>(KVXBlockLock(conv));
  EXPECT_EQ(std::vector<int32_t>(g->Crop, g->Crop + 4), (std::vector<int32_t>{100, 10, 10, 0}));
  EXPECT_EQ(g->ItemFlags, 0x40u);
  KVXBlockUnlock(conv);
  KVXBlockFree(conv);
}

TEST_F(PicturesTest, FailedConversionsLeaveThePlaceholder) {
  struct Case {
    std::string bytes;  // the embedded document
    uint32_t type;
    size_t size;
  } cases[] = {
      {"kvx-chunks 1\nsection bm\n", KVXEXPORT_GIF, 85},   // no picture in the object
      {"not a picture at all", KVXEXPORT_GIF, 85},           // nothing the framework reads
      {"kvx-chunks 1\nsection bm\n", KVXEXPORT_JPEG, 283},
      {"", KVXEXPORT_GIF, 85},                               // the object cannot be opened
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes + " " + std::to_string(c.type));
    ObjectSpec o;
    o.bytes = c.bytes;
    open(o, c.type);
    ASSERT_EQ(WriteGraphic(x_, 0, 0, 2, 1), KVX_OK);
    std::string name = c.type == KVXEXPORT_JPEG ? "page_1.jpg" : "page_1.gif";
    EXPECT_NE(sink_.bytes.find("SRC=\"" + name + "\""), std::string::npos) << sink_.bytes;
    EXPECT_NE(sink_.bytes.find("ALT=\"Unconverted image\""), std::string::npos) << sink_.bytes;
    std::string bytes = file(name);
    EXPECT_EQ(bytes.size(), c.size);
    if (c.type == KVXEXPORT_GIF) {
      EXPECT_TRUE(decode_gif(dir_ / name).ok);
    }
    EXPECT_GE(host_.failures, 1);
    close();
    sink_.bytes.clear();
    host_ = LinkHost{};
    std::filesystem::remove(dir_ / name);
  }
}

TEST_F(PicturesTest, NoGraphicTypeWritesNoPictureFile) {
  ObjectSpec o;
  o.bytes = picture_object(2);
  open(o, KVXEXPORT_NONE);
  ASSERT_EQ(WriteGraphic(x_, 0, 0, 2, 1), KVX_OK);
  ASSERT_EQ(WriteSectionImage(x_, 1, 0, 0), KVX_OK);
  EXPECT_EQ(sink_.bytes, "");
  EXPECT_FALSE(exists("page_1.gif"));
}

TEST_F(PicturesTest, LinksOfferedToTheHost) {
  // Action 1: the page refers to the host's text at 72 dots per inch; action 2: the object
  // goes; the default answer: the object is converted as usual.
  struct Case {
    KVXSTATUS answer;
    uint32_t action;
    const char* replace;
    std::string img;  // expected in the page ("" nothing)
    bool file;
  } cases[] = {
      {KVX_OK, 1, nullptr, "<IMG SRC=\"pics/h\xE9.gif\" HEIGHT=\"36\" WIDTH=\"72\"></IMG>", false},
      {KVX_OK, 1, "http://host/x.gif", "<IMG SRC=\"http://host/x.gif\" HEIGHT=\"36\" WIDTH=\"72\"></IMG>", false},
      {KVX_OK, 2, nullptr, "", false},
      {KVXCB_USEDEFAULT, 0, nullptr, "<IMG SRC=\"page_1.gif\"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.img);
    ObjectSpec o;
    o.bytes = picture_object(2);
    o.link = true;
    open(o);
    host_.link_answer = c.answer;
    host_.action = c.action;
    host_.replace = c.replace;
    ASSERT_EQ(WriteGraphic(x_, 0, 0, 2, 1), KVX_OK);
    EXPECT_EQ(host_.links, 1);
    EXPECT_EQ(host_.seen.Flags, 7u);
    EXPECT_EQ(host_.seen.CharacterSet, KVXCS_CP1252);
    EXPECT_EQ(host_.seen_text, u"pics/h\u00e9.gif");
    EXPECT_EQ(host_.seen.FileId, uint32_t(KVXFI_CHUNKSCRIPT));
    if (c.img.empty()) {
      EXPECT_EQ(sink_.bytes.find("IMG"), std::string::npos) << sink_.bytes;
    } else {
      EXPECT_NE(sink_.bytes.find(c.img), std::string::npos) << sink_.bytes;
    }
    EXPECT_EQ(exists("page_1.gif"), c.file);
    close();
    sink_.bytes.clear();
    host_ = LinkHost{};
    std::filesystem::remove(dir_ / "page_1.gif");
  }
}

TEST_F(PicturesTest, ObjectBordersFollowTheirWords) {
  struct Case {
    uint32_t a, b;
    std::string border;  // "" none
  } cases[] = {{0, 0, ""}, {0x2, 0x2, " BORDER=\"2\""}, {0x2 | 0x4, 0x2 | 0x4, " BORDER=\"1\""},
               {0x2 | 0x4, 0x2 | 0x8, " BORDER=\"2\""}, {0x1, 0x2, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a);
    ObjectSpec o;
    o.bytes = picture_object(2);
    o.border_a = c.a;
    o.border_b = c.b;
    open(o);
    KVXOBJECTITEM rec{};
    ASSERT_EQ(CHGetItem(x_.chunker, KVXRANGE_OBJECTS, 0, &rec, nullptr), KVX_OK);
    ASSERT_EQ(EmbeddedObjectTag(x_, 5, 0, rec, u"a.gif", 7, 0), KVX_OK);
    EXPECT_NE(sink_.bytes.find("<IMG SRC=\"a.gif\"" + c.border + " HEIGHT=\"5\">"), std::string::npos) << sink_.bytes;
    close();
    sink_.bytes.clear();
  }
}

TEST_F(PicturesTest, FailureCallbackGoesOnlyToTheHtmlFiltersHost) {
  open(ObjectSpec{});
  KVXGRAPHICFAILURE f{};
  PCGRAPHICSIZE size{0, 0, 0, ex_};
  host_.failed_answer = 77;
  EXPECT_EQ(pagecastCallback(0, &size, KVXCB_GRAPHICFAILED, &f), 77);
  EXPECT_EQ(host_.failures, 1);
  KVXGRAPHICDONE done{12, 34};
  EXPECT_EQ(pagecastCallback(0, &size, KVXCB_GRAPHICDONE, &done), KVX_OK);
  EXPECT_EQ(size.Width, 12u);
  EXPECT_EQ(size.Height, 34u);
  EXPECT_EQ(pagecastCallback(0, &size, 1234, nullptr), KVX_OK);
  // An export of another kind: its module data is not the HTML filter's.
  KVXHANDLE other = 0, md = 0;
  ASSERT_EQ(EXOpenExport(doc_, 9901, KVXSPEC_PATH, (dir_ / "o").c_str(), 0, nullptr, link_host, &host_, &other), KVX_OK);
  size.Export = other;
  EXPECT_EQ(pagecastCallback(0, &size, KVXCB_GRAPHICFAILED, &f), KVXERR_NOTFOUND);
  ASSERT_EQ(DACreateModuleData(&md, other, 0, 16, 5), KVX_OK);
  EXPECT_EQ(pagecastCallback(0, &size, KVXCB_GRAPHICFAILED, &f), KVXERR_BADPARAM);
  EXPECT_EQ(host_.failures, 1);
  EXPECT_EQ(EXCloseExport(other), KVX_OK);
}

TEST_F(PicturesTest, SpacerPictureIsMadeOnce) {
  open(ObjectSpec{});
  std::string link, again;
  ASSERT_TRUE(SpacerPicture(x_, link));
  EXPECT_EQ(link, "page_1.gif");
  EXPECT_EQ(file("page_1.gif").size(), 45u);
  ASSERT_TRUE(SpacerPicture(x_, again));
  EXPECT_EQ(again, link);
  EXPECT_FALSE(exists("page_2.gif"));
  // The writer's blank space uses it in the flavours that emulate space with a picture.
  InstallSpacerPicture(x_);
  ASSERT_TRUE(x_.writer.s.spacerPicture);
  std::string hook;
  EXPECT_TRUE(x_.writer.s.spacerPicture(hook));
  EXPECT_EQ(hook, link);
}

// Pillow's RGB colours of a picture file, 0xRRGGBB per pixel ("w h" first), transparent
// pixels as -1.
std::vector<int64_t> pillow_pixels(const std::string& path, int& w, int& h) {
  std::string out;
  std::string cmd = "/usr/bin/python3 -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]).convert('RGBA'); "
                    "print(im.size[0], im.size[1]); print(' '.join(str(-1 if a < 128 else r << 16 | g << 8 | b) "
                    "for r, g, b, a in im.getdata()))\" " + path;
  std::vector<int64_t> px;
  if (qm::test::command_output(cmd, out) != 0 || std::sscanf(out.c_str(), "%d %d", &w, &h) != 2) return px;
  std::istringstream in(out.substr(out.find('\n') + 1));
  for (int64_t v; in >> v;) px.push_back(v);
  return px;
}

TEST_F(PicturesTest, PicturesOfARealPageConvertToTheirColours) {
  const std::string data = std::string(QM_FRAMEWORK_DATA) + "/pictures/";
  open_document(data + "page.html");
  std::vector<uint32_t> items;
  uint32_t count = 0;
  ASSERT_EQ(CHGetItemCount(x_.chunker, KVXRANGE_ITEMS, &count), KVX_OK);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0, item[4] = {};
    ASSERT_EQ(CHGetItemId(x_.chunker, KVXRANGE_ITEMS, i, &id), KVX_OK);
    ASSERT_EQ(CHGetItem(x_.chunker, KVXRANGE_ITEMS, id, item, nullptr), KVX_OK);
    if (item[0] == KVXITEM_GRAPHIC) items.push_back(id);
  }
  ASSERT_EQ(items.size(), 5u);
  for (size_t k = 0; k < items.size(); ++k) ASSERT_EQ(WriteGraphic(x_, 0, 0, items[k], uint32_t(k + 1)), KVX_OK);
  struct Want {
    const char* source;  // null: the placeholder
    int w, h;
    bool exact;  // at most 256 colours and not scaled: pixel for pixel
  } want[] = {{"red.gif", 40, 30, false}, {"icon.png", 5, 5, true}, {"grad.png", 20, 20, false},
              {"photo.jpg", 48, 32, false}, {nullptr, 1, 1, false}};
  for (size_t k = 0; k < items.size(); ++k) {
    SCOPED_TRACE(k);
    std::string name = "page_" + std::to_string(k + 1) + ".gif";
    EXPECT_NE(sink_.bytes.find("SRC=\"" + name + "\""), std::string::npos) << sink_.bytes;
    Decoded d = decode_gif(dir_ / name);
    ASSERT_TRUE(d.ok);
    if (want[k].source == nullptr) {
      EXPECT_EQ(file(name).size(), 85u);
      continue;
    }
    EXPECT_EQ(d.width, want[k].w);
    EXPECT_EQ(d.height, want[k].h);
    int sw = 0, sh = 0;
    std::vector<int64_t> src = pillow_pixels(data + want[k].source, sw, sh);
    ASSERT_EQ(src.size(), size_t(sw) * size_t(sh));
    std::set<int64_t> source_colours(src.begin(), src.end()), gif_colours;
    for (size_t i = 0; i < d.colours.size(); ++i) gif_colours.insert(d.indexes[i] == d.transparent ? int64_t(-1) : int64_t(d.colours[i]));
    if (want[k].exact) {
      std::vector<int64_t> got;
      for (size_t i = 0; i < d.colours.size(); ++i) got.push_back(d.indexes[i] == d.transparent ? int64_t(-1) : int64_t(d.colours[i]));
      EXPECT_EQ(got, src);
    } else if (source_colours.size() <= 256) {
      EXPECT_EQ(gif_colours, source_colours);
    }
  }
  EXPECT_NE(sink_.bytes.find("ALT=\"Unconverted image\""), std::string::npos);
}

TEST_F(PicturesTest, PicturesOfOfficePackagesConvertToTheirColours) {
  const std::string data = std::string(QM_FRAMEWORK_DATA) + "/";
  struct Case {
    const char* document;
    const char* source;
    int w, h;  // the display size at 96 per inch
  } cases[] = {{"pictures.docx", "pictures/icon.png", 96, 48}, {"pictures.odt", "pictures/red.gif", 96, 96}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    open_document(data + c.document);
    uint32_t count = 0, object = 0xFFFFFFFFu;
    ASSERT_EQ(CHGetItemCount(x_.chunker, KVXRANGE_ITEMS, &count), KVX_OK);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t id = 0, item[4] = {};
      CHGetItemId(x_.chunker, KVXRANGE_ITEMS, i, &id);
      if (CHGetItem(x_.chunker, KVXRANGE_ITEMS, id, item, nullptr) == KVX_OK && item[0] == KVXITEM_GRAPHIC) object = id;
    }
    ASSERT_NE(object, 0xFFFFFFFFu);
    ASSERT_EQ(WriteGraphic(x_, 0, 0, object, 1), KVX_OK);
    Decoded d = decode_gif(dir_ / "page_1.gif");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, c.w);
    EXPECT_EQ(d.height, c.h);
    int sw = 0, sh = 0;
    std::vector<int64_t> src = pillow_pixels(data + c.source, sw, sh);
    std::set<int64_t> source_colours(src.begin(), src.end()), gif_colours;
    for (size_t i = 0; i < d.colours.size(); ++i)
      gif_colours.insert(d.indexes[i] == d.transparent ? int64_t(-1) : int64_t(d.colours[i]));
    EXPECT_EQ(gif_colours, source_colours);
    close();
    sink_.bytes.clear();
    std::filesystem::remove(dir_ / "page_1.gif");
  }
}

}  // namespace
}  // namespace pc::test
