// Pictures of real documents: PNG, JPEG and GIF decoded against Pillow's reading of the
// same files, damaged pictures refused, and the HTML, DOCX and ODT readers putting their
// images into the model as embedded objects whose documents hold the bitmaps (or nothing,
// for a picture that cannot be read).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/framework/chunk_model.h"
#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/pictures.h"
#include "filters/framework/readers/reader.h"
#include "testsupport/test_files.h"

namespace kvx::readers {
namespace {

const std::string kData = std::string(QM_READERS_DATA) + "/";

// Pillow's RGBA pixels of a picture file: "w h" and the bytes.
bool pillow_rgba(const std::string& path, uint32_t& w, uint32_t& h, std::vector<uint8_t>& rgba) {
  std::string out;
  std::string cmd = "/usr/bin/python3 -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]).convert('RGBA'); "
                    "print(im.size[0], im.size[1]); print(im.tobytes().hex())\" " + path;
  if (qm::test::command_output(cmd, out) != 0) return false;
  size_t nl = out.find('\n');
  if (std::sscanf(out.c_str(), "%u %u", &w, &h) != 2 || nl == std::string::npos) return false;
  std::string hex = out.substr(nl + 1);
  while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r')) hex.pop_back();
  rgba.clear();
  for (size_t i = 0; i + 1 < hex.size(); i += 2) rgba.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return true;
}

TEST(ReaderPictures, DecodedAsPillowReadsThem) {
  struct Case {
    const char* file;
    int tolerance;  // per channel (JPEG's decoders may differ by rounding)
  } cases[] = {{"red.gif", 0}, {"icon.png", 0}, {"grad.png", 0}, {"photo.jpg", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = kData + "pictures/" + c.file;
    DecodedPicture pic;
    ASSERT_TRUE(decode_picture(qm::test::read_file(path), pic));
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> want;
    ASSERT_TRUE(pillow_rgba(path, w, h, want));
    ASSERT_EQ(pic.width, w);
    ASSERT_EQ(pic.height, h);
    ASSERT_EQ(pic.rgba.size(), want.size());
    for (size_t i = 0; i < want.size(); i += 4) {
      EXPECT_EQ(pic.rgba[i + 3], want[i + 3]) << "pixel " << i / 4;
      if (want[i + 3] == 0) continue;  // see-through: its colour does not matter
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(pic.rgba[i + k], want[i + k], c.tolerance) << "pixel " << i / 4;
    }
  }
}

TEST(ReaderPictures, DamagedPicturesAreRefused) {
  std::string png = qm::test::read_file(kData + "pictures/icon.png");
  std::string jpg = qm::test::read_file(kData + "pictures/photo.jpg");
  std::string gif = qm::test::read_file(kData + "pictures/red.gif");
  std::string huge_gif = gif;
  huge_gif[6] = huge_gif[8] = char(0xFF), huge_gif[7] = huge_gif[9] = char(0xFF);  // screen 65535 x 65535
  const std::string cases[] = {"",
                               "not a picture",
                               png.substr(0, png.size() / 2),
                               jpg.substr(0, 40),
                               gif.substr(0, 14),
                               std::string("\x89PNG\r\n\x1A\n", 8) + "garbage"};
  for (const std::string& bytes : cases) {
    DecodedPicture pic;
    EXPECT_FALSE(decode_picture(bytes, pic)) << bytes.size();
    EXPECT_EQ(pic.width, 0u);
    EXPECT_TRUE(pic.rgba.empty());
  }
  DecodedPicture pic;  // a large screen with a small image in it reads the image
  EXPECT_TRUE(decode_picture(huge_gif, pic));
  EXPECT_EQ(pic.width, 4u);
}

TEST(ReaderPictures, DocumentOfAPictureIsABitmapSectionNamingTheObject) {
  DecodedPicture pic;
  pic.width = 2, pic.height = 1;
  pic.rgba = {255, 0, 0, 255, 0, 0, 255, 0};  // red, and a see-through pixel
  EXPECT_EQ(picture_document(&pic, 0x10005),
            "kvx-chunks 1\nsection bm\ngroup 0xA0150000 65541\npalette FF0000 FFFFFF\n"
            "bitmap 2 1 8 2 0x1000 96 96\ntransparency 1\nband 2 1 00010000\nendbitmap\nend\n");
  EXPECT_EQ(picture_document(nullptr, 3), "kvx-chunks 1\nsection bm\n");
  // More than 256 colours: 24 bits, see-through pixels over white.
  DecodedPicture many;
  many.width = 300, many.height = 1;
  for (uint32_t x = 0; x < 300; ++x) many.rgba.insert(many.rgba.end(), {uint8_t(x), uint8_t(x >> 8), 7, 255});
  many.rgba[3] = 0;
  std::string doc = picture_document(&many, 1);
  EXPECT_NE(doc.find("bitmap 300 1 24 0 0 96 96\nband 300 1 FFFFFF07"), std::string::npos) << doc.substr(0, 200);
}

// The object records of a model with their embedded documents and range-0 ids.
struct Object {
  uint32_t id;
  KVXOBJECTITEM rec;
  std::string doc;
};
std::vector<Object> objects(const ChunkModel& m) {
  std::vector<Object> out;
  for (uint32_t i = 0; i < m.unit_count(KVXRANGE_ITEMS); ++i) {
    if (m.word(KVXRANGE_ITEMS, i, 0) != KVXITEM_GRAPHIC) continue;
    Object o{m.id_at(KVXRANGE_ITEMS, i), {}, {}};
    std::memcpy(&o.rec, m.bytes(KVXRANGE_OBJECTS).data() + size_t(m.word(KVXRANGE_ITEMS, i, 1)) * sizeof o.rec,
                sizeof o.rec);
    o.doc.assign(reinterpret_cast<const char*>(m.bytes(KVXRANGE_RECORDS).data()) + o.rec.DataFirst, o.rec.DataLength);
    out.push_back(o);
  }
  return out;
}

TEST(ReaderPictures, HtmlImagesBecomeObjects) {
  std::string page = qm::test::read_file(kData + "pictures/page.html");
  ChunkBuilder b;
  {
    PictureSourceScope scope(kData + "pictures/");
    ASSERT_EQ(read_html(page, b), KVX_OK);
  }
  EXPECT_EQ(picture_source_dir(), "");
  auto m = b.finish();
  ASSERT_TRUE(m);
  std::vector<Object> obs = objects(*m);
  ASSERT_EQ(obs.size(), 5u);  // the http: picture is not read
  struct Want {
    int32_t natural_w, natural_h, display_w, display_h;
    bool bitmap;
  } want[] = {{60, 45, 600, 450, true},  // width 40 given: the height keeps the shape
              {75, 75, 0, 0, true},
              {300, 300, 0, 0, true},
              {360, 240, 720, 480, true},
              {0, 0, 0, 0, false}};
  for (size_t i = 0; i < obs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(obs[i].rec.GraphicType, uint32_t(KVXSECTION_BM));
    EXPECT_EQ(obs[i].rec.NaturalWidth, want[i].natural_w);
    EXPECT_EQ(obs[i].rec.NaturalHeight, want[i].natural_h);
    EXPECT_EQ(obs[i].rec.DisplayWidth, want[i].display_w);
    EXPECT_EQ(obs[i].rec.DisplayHeight, want[i].display_h);
    if (want[i].bitmap)
      EXPECT_NE(obs[i].doc.find("group 0xA0150000 " + std::to_string(obs[i].id) + "\n"), std::string::npos);
    else
      EXPECT_EQ(obs[i].doc, "kvx-chunks 1\nsection bm\n");
  }
  EXPECT_NE(model_text(*m).find("Before between"), std::string::npos) << model_text(*m);
  // Devices, pipes and folders are never read: their objects have no bitmap.
  ChunkBuilder b3;
  ASSERT_EQ(read_html("<p><img src=\"/dev/stdin\"><img src=\"/dev/zero\"><img src=\"/tmp\"></p>", b3), KVX_OK);
  auto m3 = b3.finish();
  std::vector<Object> odd = objects(*m3);
  ASSERT_EQ(odd.size(), 3u);
  for (const Object& o : odd) EXPECT_EQ(o.doc, "kvx-chunks 1\nsection bm\n");
  // Without a folder (a page from memory) local pictures cannot be found.
  ChunkBuilder b2;
  ASSERT_EQ(read_html(page, b2), KVX_OK);
  auto m2 = b2.finish();
  EXPECT_EQ(objects(*m2).size(), 0u);
}

TEST(ReaderPictures, OfficeImagesBecomeObjects) {
  struct Case {
    const char* file;
    uint32_t format;
    int32_t natural_w, natural_h, display_w, display_h;
    const char* text;
  } cases[] = {{"pictures.docx", KVXFI_DOCX, 75, 75, 1440, 720, "Logo: end."},
               {"pictures.odt", KVXFI_ODT, 60, 45, 1440, 1440, "Chart: done."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ChunkBuilder b;
    ASSERT_EQ(read_document(c.format, qm::test::read_file(kData + c.file), b), KVX_OK);
    auto m = b.finish();
    ASSERT_TRUE(m);
    std::vector<Object> obs = objects(*m);
    ASSERT_EQ(obs.size(), 1u);
    EXPECT_EQ(obs[0].rec.NaturalWidth, c.natural_w);
    EXPECT_EQ(obs[0].rec.NaturalHeight, c.natural_h);
    EXPECT_EQ(obs[0].rec.DisplayWidth, c.display_w);
    EXPECT_EQ(obs[0].rec.DisplayHeight, c.display_h);
    EXPECT_NE(obs[0].doc.find("bitmap "), std::string::npos);
    EXPECT_NE(model_text(*m).find(c.text), std::string::npos) << model_text(*m);
  }
}

TEST(ReaderPictures, OpenedPagesFindTheirPicturesBesideThem) {
  ASSERT_EQ(DAInit(), KVX_OK);
  KVXHANDLE doc = 0, chunker = 0;
  std::string path = kData + "pictures/page.html";
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, path.c_str(), 0), KVX_OK);
  ASSERT_EQ(DAGetHChunker(doc, &chunker), KVX_OK);
  uint32_t count = 0;
  ASSERT_EQ(CHGetItemCount(chunker, KVXRANGE_OBJECTS, &count), KVX_OK);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  EXPECT_EQ(DADeInit(), KVX_OK);
}

}  // namespace
}  // namespace kvx::readers
