// The packed-stream codec: CRC-32 against zlib, implode/explode round trips in every
// literal mode and dictionary size, decoder failures, and the file-to-file pack run
// with its header and result codes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "pagedoc/crc32.h"
#include "pagedoc/dcl_codec.h"
#include "pagedoc/pack_stream.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_io.h"
#include "pagedoc/tests/codec_data.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

using test::codec_inputs;

struct Io {
  std::string in;
  size_t pos = 0;
  size_t max_read = 0, reads = 0;  // largest request seen
  size_t max_write = 0;
  size_t chunk = SIZE_MAX;  // the most one read hands out
  long fail_after = -1;     // writes before the write callback fails
  std::string out;
  dcl::ReadFn reader() {
    return [this](unsigned char* b, size_t n) {
      max_read = std::max(max_read, n);
      ++reads;
      n = std::min({n, in.size() - pos, chunk});
      std::memcpy(b, in.data() + pos, n);
      pos += n;
      return n;
    };
  }
  dcl::WriteFn writer() {
    return [this](const unsigned char* b, size_t n) {
      if (fail_after == 0) return false;
      if (fail_after > 0) --fail_after;
      max_write = std::max(max_write, n);
      out.append(reinterpret_cast<const char*>(b), n);
      return true;
    };
  }
};

std::string implode_str(const std::string& data, uint8_t mode, int bits, size_t chunk = SIZE_MAX) {
  Io io;
  io.in = data;
  io.chunk = chunk;
  EXPECT_EQ(dcl::implode(io.reader(), io.writer(), mode, bits), dcl::kOk);
  EXPECT_LE(io.max_read, dcl::kInputBlock);
  return io.out;
}

int explode_str(const std::string& packed, std::string& out, size_t chunk = SIZE_MAX) {
  Io io;
  io.in = packed;
  io.chunk = chunk;
  int rc = dcl::explode(io.reader(), io.writer());
  EXPECT_LE(io.max_read, dcl::kInputBlock);
  EXPECT_LE(io.max_write, dcl::kOutputBlock);
  out = io.out;
  return rc;
}

TEST(PagedocCrc, AgreesWithZlib) {
  for (const auto& in : codec_inputs()) {
    auto* p = reinterpret_cast<const unsigned char*>(in.data.data());
    uLong z = ::crc32(0L, p, uInt(in.data.size()));
    EXPECT_EQ(crc32(p, in.data.size()), uint32_t(z)) << in.name;
    // The running form over uneven pieces gives the same value.
    uint32_t s = crc32_begin();
    for (size_t i = 0; i < in.data.size(); i += 777) s = crc32_update(s, p + i, std::min<size_t>(777, in.data.size() - i));
    EXPECT_EQ(crc32_end(s), uint32_t(z)) << in.name;
  }
}

TEST(PagedocCodec, RoundTripsEveryModeAndDictionary) {
  for (const auto& in : codec_inputs()) {
    for (uint8_t mode : {dcl::kBinary, dcl::kAscii}) {
      for (int bits = 4; bits <= 6; ++bits) {
        SCOPED_TRACE(std::string(in.name) + " mode " + std::to_string(mode) + " bits " + std::to_string(bits));
        std::string packed = implode_str(in.data, mode, bits);
        ASSERT_GE(packed.size(), 2u);
        EXPECT_EQ(uint8_t(packed[0]), mode);
        EXPECT_EQ(uint8_t(packed[1]), bits);
        std::string out;
        ASSERT_EQ(explode_str(packed, out), dcl::kOk);
        EXPECT_EQ(out, in.data);
      }
    }
  }
}

TEST(PagedocCodec, CompressesRepetitiveData) {
  std::string zeros(50000, '\0');
  EXPECT_LT(implode_str(zeros, dcl::kBinary, 6).size(), 1000u);
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "the quick brown fox ";
  EXPECT_LT(implode_str(text, dcl::kAscii, 4).size(), text.size() / 10);
}

TEST(PagedocCodec, ByteAtATimeInputGivesTheSameStream) {
  for (const auto& in : codec_inputs()) {
    std::string whole = implode_str(in.data, dcl::kBinary, 5);
    std::string trickled = implode_str(in.data, dcl::kBinary, 5, 1);
    std::string out;
    ASSERT_EQ(explode_str(trickled, out, 1), dcl::kOk) << in.name;
    EXPECT_EQ(out, in.data) << in.name;
    // Both streams are valid; trickled input must not change correctness.
    ASSERT_EQ(explode_str(whole, out, 3), dcl::kOk) << in.name;
    EXPECT_EQ(out, in.data) << in.name;
  }
}

TEST(PagedocCodec, DecoderFailures) {
  std::string good = implode_str("hello hello hello hello", dcl::kBinary, 4);
  std::string bad_dict = good, bad_dict_high = good, bad_mode = good;
  bad_dict[1] = 3;
  bad_dict_high[1] = 7;
  bad_mode[0] = 2;
  // First symbol a match of length 3 at distance 1: nothing has been written yet.
  // Bits: flag 1, length symbol 0 (code 00, sent inverted: 1 1), distance symbol 0
  // (code 00, inverted: 1 1), 4 low bits 0; then padding.
  std::string before_start = std::string("\x00\x04", 2) + char(0x1F) + std::string("\x00\x00\x00", 3);
  struct Case {
    const char* name;
    std::string data;
    int code;
  } cases[] = {
      {"dictionary 3", bad_dict, dcl::kBadDictSize},
      {"dictionary 7", bad_dict_high, dcl::kBadDictSize},
      {"mode 2", bad_mode, dcl::kBadMode},
      {"four bytes", good.substr(0, 4), dcl::kShortData},
      {"empty", "", dcl::kShortData},
      {"cut before the end code", good.substr(0, good.size() - 2), dcl::kAborted},
      {"distance before the start", before_start, dcl::kAborted},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(explode_str(c.data, out), c.code) << c.name;
  }
}

TEST(PagedocCodec, WriteFailureAbortsBothWays) {
  std::string data = codec_inputs()[4].data;  // random, large
  std::string packed = implode_str(data, dcl::kBinary, 6);
  for (long after : {0L, 1L, 5L}) {
    Io io;
    io.in = packed;
    io.fail_after = after;
    EXPECT_EQ(dcl::explode(io.reader(), io.writer()), dcl::kAborted) << after;
    Io enc;
    enc.in = data;
    enc.fail_after = after;
    EXPECT_EQ(dcl::implode(enc.reader(), enc.writer(), dcl::kBinary, 6), dcl::kAborted) << after;
  }
  // A failure of the last, short write is a failure too.
  Io io;
  io.in = implode_str("short", dcl::kBinary, 4);
  io.fail_after = 0;
  EXPECT_EQ(dcl::explode(io.reader(), io.writer()), dcl::kAborted);
}

TEST(PagedocCodec, EncoderRejectsBadParameters) {
  Io io;
  EXPECT_EQ(dcl::implode(io.reader(), io.writer(), dcl::kBinary, 3), dcl::kBadDictSize);
  EXPECT_EQ(dcl::implode(io.reader(), io.writer(), dcl::kBinary, 7), dcl::kBadDictSize);
  EXPECT_EQ(dcl::implode(io.reader(), io.writer(), 2, 4), dcl::kBadMode);
}

// ---- The file-to-file run -------------------------------------------------------------

struct MemFile {
  int fd;
  explicit MemFile(const std::string& bytes = "") : fd(::memfd_create("codec_test", MFD_CLOEXEC)) {
    io_write_at(fd, 0, bytes.data(), bytes.size());
  }
  ~MemFile() { ::close(fd); }
  std::string bytes() const {
    std::string s(size_t(io_file_size(fd)), '\0');
    io_read_at(fd, 0, s.data(), s.size());
    return s;
  }
};

TEST(PagedocPackRun, PacksWithHeaderAndUnpacksAtOffsets) {
  for (const auto& in : codec_inputs()) {
    SCOPED_TRACE(in.name);
    MemFile src("PREFIX" + in.data + "SUFFIX");
    MemFile packed("0123456789");
    uint64_t written = 0;
    ASSERT_EQ(pack_run(src.fd, 6, in.data.size(), packed.fd, 10, PackDirection::Pack, &written), kPackOk);
    std::string p = packed.bytes();
    ASSERT_EQ(p.size(), 10 + written);
    EXPECT_EQ(::lseek(packed.fd, 0, SEEK_CUR), off_t(p.size()));  // positioned at the end
    auto* h = reinterpret_cast<const unsigned char*>(p.data()) + 10;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h), 8), kPackMagic);
    EXPECT_EQ(le::get32(h + kPackReservedAt), 0u);
    EXPECT_EQ(le::get32(h + kPackUnpackedLengthAt), in.data.size());
    EXPECT_EQ(le::get32(h + kPackPackedLengthAt), written - kPackHeaderSize);
    EXPECT_EQ(le::get32(h + kPackCrcAt),
              uint32_t(::crc32(0L, reinterpret_cast<const Bytef*>(in.data.data()), uInt(in.data.size()))));
    EXPECT_EQ(h[kPackHeaderSize], dcl::kBinary);
    EXPECT_EQ(h[kPackHeaderSize + 1], in.data.size() <= 4096 ? 4 : 6);

    // Unpack into the middle of another file; trailing bytes of the source are not read.
    MemFile src2(p + "GARBAGE");
    MemFile out("ab");
    ASSERT_EQ(pack_run(src2.fd, 10, 0, out.fd, 2, PackDirection::Unpack, &written), kPackOk);
    EXPECT_EQ(written, in.data.size());
    EXPECT_EQ(out.bytes(), "ab" + in.data);
  }
}

std::string pack_string(const std::string& data) {
  MemFile src(data), dst;
  EXPECT_EQ(pack_run(src.fd, 0, data.size(), dst.fd, 0, PackDirection::Pack), kPackOk);
  return dst.bytes();
}

TEST(PagedocPackRun, ResultCodes) {
  std::string good = pack_string("some page data, some page data");
  auto with = [&](size_t at, const std::string& bytes) {
    std::string s = good;
    s.replace(at, bytes.size(), bytes);
    return s;
  };
  std::string short_data = good.substr(0, kPackHeaderSize) + std::string("\x00\x04\x00\x00", 4);
  {
    unsigned char* h = reinterpret_cast<unsigned char*>(short_data.data());
    le::put32(h + kPackPackedLengthAt, 4);
  }
  std::string limited = good;  // packed length one short of the real data
  {
    unsigned char* h = reinterpret_cast<unsigned char*>(limited.data());
    le::put32(h + kPackPackedLengthAt, uint32_t(good.size() - kPackHeaderSize - 1));
  }
  struct Case {
    const char* name;
    std::string stream;
    int code;
  } cases[] = {
      {"good", good, kPackOk},
      {"wrong CRC is not checked", with(kPackCrcAt, "\x01\x02\x03\x04"), kPackOk},
      {"wrong unpacked length is not checked", with(kPackUnpackedLengthAt, "\x09\x00\x00\x00"), kPackOk},
      {"wrong magic", with(0, "CorvPKCQ"), kPackBadMagic},
      {"header cut short", good.substr(0, 20), kPackBadMagic},
      {"dictionary byte", with(kPackHeaderSize + 1, "\x07"), dcl::kBadDictSize},
      {"mode byte", with(kPackHeaderSize, "\x05"), dcl::kBadMode},
      {"four bytes of data", short_data, dcl::kShortData},
      {"read limit before the end code", limited, dcl::kAborted},
      {"file cut short", good.substr(0, good.size() - 1), dcl::kAborted},
  };
  for (const auto& c : cases) {
    MemFile src(c.stream), dst;
    EXPECT_EQ(pack_run(src.fd, 0, 0, dst.fd, 0, PackDirection::Unpack), c.code) << c.name;
    if (c.code == kPackBadMagic) {
      EXPECT_EQ(dst.bytes(), "") << c.name << ": nothing written";
    }
    if (c.code == kPackOk) {
      EXPECT_EQ(dst.bytes(), "some page data, some page data") << c.name;
    }
  }
}

TEST(PagedocPackRun, FileFailures) {
  MemFile src("abcdef"), dst;
  EXPECT_EQ(pack_run(-1, 0, 6, dst.fd, 0, PackDirection::Pack), dcl::kNoResources);
  EXPECT_EQ(pack_run(src.fd, 0, 6, -1, 0, PackDirection::Pack), dcl::kNoResources);
  // A source shorter than the length to pack.
  EXPECT_EQ(pack_run(src.fd, 0, 100, dst.fd, 0, PackDirection::Pack), dcl::kAborted);
  // A target that cannot be written.
  int ro = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(ro, 0);
  EXPECT_EQ(pack_run(src.fd, 0, 6, ro, 0, PackDirection::Pack), dcl::kAborted);
  MemFile packed;
  ASSERT_EQ(pack_run(src.fd, 0, 6, packed.fd, 0, PackDirection::Pack), kPackOk);
  EXPECT_EQ(pack_run(packed.fd, 0, 0, ro, 0, PackDirection::Unpack), dcl::kAborted);
  ::close(ro);
}

}  // namespace
}  // namespace qm::pgx
