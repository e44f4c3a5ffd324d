// picview's stream layer: file open modes, short reads, single bytes through the read
// buffer, and memory streams with growth and clamped seeks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "imaging/picview/img_stream.h"
#include "testsupport/test_files.h"

namespace {

TEST(PicviewFileStream, OpenModes) {
  qm::test::TempDir dir("qm-stream-");
  std::string existing = dir / "existing", missing = dir / "missing";
  qm::test::write_file(existing, "abcdef");
  struct Case {
    uint32_t mode;
    bool on_missing;       // open the missing file instead
    int32_t want;
    bool stream;           // a stream is handed out
    const char* content;   // the file afterwards ("" when it should not exist)
    bool exists_after;
  } cases[] = {
      {IMG_FILE_READ, false, IMG_STREAM_OK, true, "abcdef", true},
      {IMG_FILE_READ, true, IMG_STREAM_OPEN_FAILED, false, "", false},
      {IMG_FILE_WRITE, false, IMG_STREAM_OK, true, "abcdef", true},
      {IMG_FILE_WRITE, true, IMG_STREAM_OK, true, "", true},
      {IMG_FILE_READ_WRITE, true, IMG_STREAM_OK, true, "", true},
      {IMG_FILE_CREATE, false, IMG_STREAM_OK, true, "", true},
      {IMG_FILE_TEST, false, IMG_STREAM_OK, false, "abcdef", true},
      {IMG_FILE_TEST, true, IMG_STREAM_OPEN_FAILED, false, "", false},
      {0x77, false, IMG_STREAM_OPEN_FAILED, false, "abcdef", true},
  };
  for (const Case& c : cases) {
    qm::test::write_file(existing, "abcdef");
    unlink(missing.c_str());
    const std::string& path = c.on_missing ? missing : existing;
    ImgFileStream* s = reinterpret_cast<ImgFileStream*>(1);
    EXPECT_EQ(ImgFileOpen(path.c_str(), c.mode, &s), c.want) << std::hex << c.mode;
    EXPECT_EQ(s != nullptr, c.stream) << std::hex << c.mode;
    ImgFileClose(s);
    EXPECT_EQ(access(path.c_str(), F_OK) == 0, c.exists_after) << std::hex << c.mode;
    if (c.exists_after) {
      EXPECT_EQ(qm::test::read_file(path), c.content) << std::hex << c.mode;
    }
  }
}

TEST(PicviewFileStream, ShortReadsBytesAndSeeks) {
  qm::test::TempDir dir("qm-stream-");
  std::string path = dir / "data";
  std::string data(70000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7);
  qm::test::write_file(path, data);
  ImgFileStream* s = nullptr;
  ASSERT_EQ(ImgFileOpen(path.c_str(), IMG_FILE_READ, &s), IMG_STREAM_OK);
  // Single bytes come through the buffer; a block read goes on from where they stopped.
  EXPECT_EQ(ImgFileGetByte(s), 0);
  EXPECT_EQ(ImgFileGetByte(s), 7);
  std::vector<char> buf(80000);
  EXPECT_EQ(ImgFileRead(s, buf.data(), 10), 10u);
  EXPECT_EQ(std::string(buf.data(), 10), data.substr(2, 10));
  EXPECT_EQ(s->error, 0);
  // A read past the end returns what there was and sets the error state.
  EXPECT_EQ(ImgFileRead(s, buf.data(), 80000), 70000u - 12);
  EXPECT_EQ(std::string(buf.data(), 70000 - 12), data.substr(12));
  EXPECT_EQ(s->error, kImgStreamIoError);
  EXPECT_STREQ(ImgFileErrorText(s), "Error reading/writing to file.");
  EXPECT_EQ(ImgFileGetByte(s), -1);
  // Seeks empty the buffer, also relative to the reader's position.
  EXPECT_EQ(ImgFileSeek(s, 100, SEEK_SET), 100);
  EXPECT_EQ(ImgFileGetByte(s), uint8_t(100 * 7));
  EXPECT_EQ(ImgFileSeek(s, 5, SEEK_CUR), 106);
  EXPECT_EQ(ImgFileGetByte(s), uint8_t(106 * 7));
  ImgFileClose(s);
  // Writing goes through too.
  ASSERT_EQ(ImgFileOpen(path.c_str(), IMG_FILE_CREATE, &s), IMG_STREAM_OK);
  EXPECT_EQ(ImgFileWrite(s, data.data(), 70000), 70000u);
  ImgFileClose(s);
  EXPECT_EQ(qm::test::read_file(path), data);
}

TEST(PicviewMemoryStream, ReadsStopAtTheEndAndSeeksClamp) {
  HGLOBAL h = GlobalAlloc(GHND, 100);
  ImgMemStream desc;
  desc.global = h;
  desc.base = static_cast<uint8_t*>(GlobalLock(h));
  desc.allocated = 100;
  desc.used = 10;
  for (int i = 0; i < 10; ++i) desc.base[i] = uint8_t('0' + i);
  EXPECT_EQ(ImgMemOpen(&desc, IMG_FILE_TEST, nullptr), IMG_STREAM_OPEN_FAILED);
  desc.flags = IMG_MEM_EXISTS;
  EXPECT_EQ(ImgMemOpen(&desc, IMG_FILE_TEST, nullptr), IMG_STREAM_OK);
  desc.flags = 0;
  ImgMemStream* s = nullptr;
  ASSERT_EQ(ImgMemOpen(&desc, IMG_FILE_READ, &s), IMG_STREAM_OK);
  ASSERT_NE(s, &desc);
  char buf[32];
  EXPECT_EQ(ImgMemRead(s, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(ImgMemRead(s, buf, 32), 6u);
  struct Case {
    int64_t offset;
    int whence;
    int64_t want;
  } seeks[] = {
      {5, SEEK_SET, 5},    {-50, SEEK_SET, 0}, {3, SEEK_CUR, 3},   {-1, SEEK_END, 9},
      {500, SEEK_SET, 99}, {1, SEEK_END, 11},  {-20, SEEK_END, 0},
  };
  for (const Case& c : seeks) EXPECT_EQ(ImgMemSeek(s, c.offset, c.whence), c.want) << c.offset << " " << c.whence;
  s->flags = IMG_MEM_EXISTS;  // any flag lifts the upper clamp
  EXPECT_EQ(ImgMemSeek(s, 500, SEEK_SET), 500);
  ImgMemClose(s, &desc);
  GlobalUnlock(h);
  GlobalFree(h);
}

TEST(PicviewMemoryStream, WritesGrowByWholeSteps) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ImgMemStream desc;
  desc.global = h;
  desc.base = static_cast<uint8_t*>(GlobalLock(h));
  desc.allocated = 16;
  desc.flags = IMG_MEM_USE_DESCRIPTOR;
  ImgMemStream* s = nullptr;
  ASSERT_EQ(ImgMemOpen(&desc, IMG_FILE_WRITE, &s), IMG_STREAM_OK);
  EXPECT_EQ(s, &desc);
  std::string data(100000, 'x');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i % 251);
  EXPECT_EQ(ImgMemWrite(s, data.data(), 10), 10u);
  EXPECT_EQ(s->allocated, 16u);
  EXPECT_EQ(ImgMemWrite(s, data.data() + 10, 99990), 99990u);
  EXPECT_EQ(s->allocated, 0x40000u);  // the next whole step beyond 100,000
  EXPECT_EQ(s->used, 100000u);
  EXPECT_EQ(GlobalSize(h), 0x40000u);
  ImgMemSeek(s, 0x40000 - 10, SEEK_SET);
  EXPECT_EQ(ImgMemWrite(s, data.data(), 20), 20u);
  EXPECT_EQ(s->allocated, 0x80000u);
  EXPECT_EQ(s->used, 0x40000u + 10);
  ImgMemSeek(s, 0, SEEK_SET);
  std::string back(100000, '\0');
  EXPECT_EQ(ImgMemRead(s, back.data(), 100000), 100000u);
  EXPECT_EQ(back, data);
  // Without a block to grow, a write past the end empties the stream.
  ImgMemStream fixed;
  uint8_t room[8];
  fixed.base = room;
  fixed.allocated = 8;
  fixed.flags = IMG_MEM_USE_DESCRIPTOR;
  ImgMemStream* f = nullptr;
  ImgMemOpen(&fixed, IMG_FILE_WRITE, &f);
  EXPECT_EQ(ImgMemWrite(f, "1234", 4), 4u);
  EXPECT_EQ(ImgMemWrite(f, "123456789", 9), 0u);
  EXPECT_EQ(f->used, 0u);
  ImgMemClose(s, &desc);
  GlobalUnlock(h);
  GlobalFree(h);
}

}  // namespace
