// The output text writer in-process, over a recording IO object: direct writes, the
// converters of every source and output form, UTF-8 against Python's encoder, chunking of
// long texts, and short writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/html/pc_writer.h"
#include "testsupport/test_files.h"

namespace pc::test {
namespace {

// An IO object that keeps what is written and the size of every write; it can take one
// byte less than given from the nth write on.
struct Sink {
  KVXIO io;
  std::string bytes;
  std::vector<uint32_t> writes;
  int short_from = 0;
};

KVXSTATUS sink_write(KVXIO* io, const void* buffer, uint32_t count, uint32_t* written) {
  auto* s = reinterpret_cast<Sink*>(io);
  s->writes.push_back(count);
  uint32_t n = count;
  if (s->short_from > 0 && int(s->writes.size()) >= s->short_from && n > 0) --n;
  s->bytes.append(static_cast<const char*>(buffer), n);
  *written = n;
  return KVX_OK;
}

Sink make_sink() {
  Sink s{};
  s.io.Write = sink_write;
  return s;
}

std::string le(const std::u16string& u) {
  std::string b;
  for (char16_t c : u) {
    b.push_back(char(c & 0xFF));
    b.push_back(char(c >> 8));
  }
  return b + std::string(2, '\0');
}
std::string be(const std::u16string& u) {
  std::string b;
  for (char16_t c : u) {
    b.push_back(char(c >> 8));
    b.push_back(char(c & 0xFF));
  }
  return b + std::string(2, '\0');
}

TEST(PagecastWriterTest, ConvertersByFormTable) {
  struct Case {
    std::string text;  // terminated by the source form
    uint16_t source, output;
    std::string expected;
  } cases[] = {
      {"", kKind8, kKindLE, ""},
      {std::string("<B>") + '\0', kKind8, kKind8, "<B>"},
      {std::string("<B>") + '\0', kKind8, kKindLE, std::string("<\0B\0>\0", 6)},
      {std::string("<B>") + '\0', kKind8, kKindBE, std::string("\0<\0B\0>", 6)},
      {std::string("<B>") + '\0', kKind8, kKindBE2, std::string("\0<\0B\0>", 6)},
      {std::string("\xC3\xA9") + '\0', kKind8, kKindUTF8, "\xC3\xA9"},
      {le(u"\u00E9\u4E2D"), kKindLE, kKindUTF8, "\xC3\xA9\xE4\xB8\xAD"},
      {le(u"\U0001F600"), kKindLE, kKindUTF8, "\xF0\x9F\x98\x80"},
      {le(u"a\xD83D"), kKindLE, kKindUTF8, "a\xEF\xBF\xBD"},    // a lone surrogate
      {le(u"\xDE00z"), kKindLE, kKindUTF8, "\xEF\xBF\xBDz"},
      {be(u"\u0141A"), kKindBE2, kKindLE, std::string("\x41\x01\x41\0", 4)},
      {be(u"\u0141A"), kKindBE, kKind8, "AA"},
      {le(u"\u0141A"), kKindLE, kKind8, "AA"},
      {le(u"xy"), kKindLE, kKindLE, std::string("x\0y\0", 4)},
      {be(u"xy"), kKindBE2, kKindBE, std::string("\0x\0y", 4)},  // 0x4001 is 0x0001
      {le(u"xy"), kKindLE, kKindBE2, std::string("\0x\0y", 4)},
  };
  for (const Case& c : cases) {
    Sink s = make_sink();
    uint32_t written = 99;
    EXPECT_EQ(WriteOutputText(&s.io, c.text.data(), c.source, c.output, &written), KVX_OK);
    EXPECT_EQ(s.bytes, c.expected) << c.source << " " << c.output;
    EXPECT_EQ(written, c.expected.size());
  }
}

TEST(PagecastWriterTest, TwentyThousandCharactersGoInThreeChunks) {
  std::u16string text;
  for (int i = 0; i < 20000; ++i) text.push_back(char16_t(i % 2 ? 0xE9 : 'a'));
  Sink s = make_sink();
  uint32_t written = 0;
  ASSERT_EQ(WriteOutputText(&s.io, le(text).data(), kKindLE, kKindUTF8, &written), KVX_OK);
  EXPECT_EQ(s.writes.size(), 3u);
  EXPECT_EQ(written, 30000u);
  EXPECT_EQ(s.bytes.size(), 30000u);
  // A surrogate pair at a chunk's end is never split.
  std::u16string pairs;
  for (int i = 0; i < 5000; ++i) pairs += u"\U0001F600";
  Sink p = make_sink();
  ASSERT_EQ(WriteOutputText(&p.io, le(u"x" + pairs).data(), kKindLE, kKindUTF8, &written), KVX_OK);
  EXPECT_EQ(p.bytes.size(), 1u + 4u * 5000u);
  EXPECT_EQ(p.bytes.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(PagecastWriterTest, ShortWriteIs47AndStopsTheText) {
  std::u16string text(20000, u'a');
  Sink s = make_sink();
  s.short_from = 1;
  uint32_t written = 0;
  EXPECT_EQ(WriteOutputText(&s.io, le(text).data(), kKindLE, kKind8, &written), KVXERR_SHORTWRITE);
  EXPECT_EQ(s.writes.size(), 1u);
  EXPECT_EQ(written, 8190u);
  Sink d = make_sink();
  d.short_from = 1;
  EXPECT_EQ(WriteOutputText(&d.io, "abc", kKind8, kKind8, &written), KVXERR_SHORTWRITE);
}

TEST(PagecastWriterTest, Utf8AgreesWithPython) {
  // Every 64th code point of the BMP outside the surrogates, and some above it.
  std::u16string text;
  std::string list;
  for (uint32_t cp = 1; cp < 0x110000; cp += cp < 0x10000 ? 61 : 0x1001) {
    if (cp >= 0xD800 && cp < 0xE000) continue;
    if (cp < 0x10000) {
      text.push_back(char16_t(cp));
    } else {
      text.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    list += std::to_string(cp) + ",";
  }
  Sink s = make_sink();
  uint32_t written = 0;
  ASSERT_EQ(WriteOutputText(&s.io, le(text).data(), kKindLE, kKindUTF8, &written), KVX_OK);
  qm::test::TempDir dir("pagecast-writer-");
  qm::test::write_file(dir / "o.py", "import sys\nsys.stdout.write(''.join(chr(c) for c in [" + list +
                                         "]).encode('utf-8').hex())\n");
  std::string hex;
  ASSERT_EQ(qm::test::command_output("python3 " + dir / "o.py", hex), 0);
  std::string mine;
  for (unsigned char c : s.bytes) {
    char b[3];
    std::snprintf(b, sizeof b, "%02x", c);
    mine += b;
  }
  EXPECT_EQ(mine, hex);
}

}  // namespace
}  // namespace pc::test
