// Cross-check of the implode coder with StormLib's independent implementation of the
// same format: each side decodes the other's streams, in both literal modes and all
// three dictionary sizes. StormLib exports its coder as the C functions implode() and
// explode() (not declared in its public header), with read and write callbacks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pagedoc/dcl_codec.h"
#include "pagedoc/tests/codec_data.h"

extern "C" {
typedef unsigned int (*storm_read_t)(char* buf, unsigned int* size, void* param);
typedef void (*storm_write_t)(char* buf, unsigned int* size, void* param);
unsigned int implode(storm_read_t read, storm_write_t write, char* work, void* param, unsigned int* type,
                     unsigned int* dict_size);
unsigned int explode(storm_read_t read, storm_write_t write, char* work, void* param);
}

namespace qm::pgx {
namespace {

constexpr size_t kStormWork = 1 << 18;  // more than either of its work areas needs

struct StormIo {
  const std::string* in;
  size_t pos = 0;
  std::string out;
};

unsigned int storm_read(char* buf, unsigned int* size, void* param) {
  auto* io = static_cast<StormIo*>(param);
  size_t n = std::min<size_t>(*size, io->in->size() - io->pos);
  std::memcpy(buf, io->in->data() + io->pos, n);
  io->pos += n;
  return unsigned(n);
}

void storm_write(char* buf, unsigned int* size, void* param) {
  static_cast<StormIo*>(param)->out.append(buf, *size);
}

std::string storm_implode(const std::string& data, unsigned type, int bits) {
  std::vector<char> work(kStormWork);
  StormIo io{&data, 0, {}};
  unsigned dict = 64u << bits;
  EXPECT_EQ(implode(storm_read, storm_write, work.data(), &io, &type, &dict), 0u);
  return io.out;
}

unsigned storm_explode(const std::string& packed, std::string& out) {
  std::vector<char> work(kStormWork);
  StormIo io{&packed, 0, {}};
  unsigned rc = explode(storm_read, storm_write, work.data(), &io);
  out = io.out;
  return rc;
}

std::string our_implode(const std::string& data, uint8_t mode, int bits) {
  size_t pos = 0;
  std::string out;
  int rc = dcl::implode(
      [&](unsigned char* b, size_t n) {
        n = std::min(n, data.size() - pos);
        std::memcpy(b, data.data() + pos, n);
        pos += n;
        return n;
      },
      [&](const unsigned char* b, size_t n) {
        out.append(reinterpret_cast<const char*>(b), n);
        return true;
      },
      mode, bits);
  EXPECT_EQ(rc, dcl::kOk);
  return out;
}

int our_explode(const std::string& packed, std::string& out) {
  size_t pos = 0;
  out.clear();
  return dcl::explode(
      [&](unsigned char* b, size_t n) {
        n = std::min(n, packed.size() - pos);
        std::memcpy(b, packed.data() + pos, n);
        pos += n;
        return n;
      },
      [&](const unsigned char* b, size_t n) {
        out.append(reinterpret_cast<const char*>(b), n);
        return true;
      });
}

TEST(PagedocOracle, EachSideDecodesTheOther) {
  for (const auto& in : test::codec_inputs()) {
    if (in.data.empty()) continue;  // StormLib's coder expects at least one byte
    for (uint8_t mode : {dcl::kBinary, dcl::kAscii}) {
      for (int bits = 4; bits <= 6; ++bits) {
        SCOPED_TRACE(std::string(in.name) + " mode " + std::to_string(mode) + " bits " + std::to_string(bits));
        std::string out;
        std::string ours = our_implode(in.data, mode, bits);
        ASSERT_EQ(storm_explode(ours, out), 0u);
        EXPECT_EQ(out, in.data);

        std::string theirs = storm_implode(in.data, mode, bits);
        ASSERT_EQ(uint8_t(theirs[0]), mode);
        ASSERT_EQ(uint8_t(theirs[1]), bits);
        ASSERT_EQ(our_explode(theirs, out), dcl::kOk);
        EXPECT_EQ(out, in.data);
      }
    }
  }
}

TEST(PagedocOracle, EmptyStreamOfOursDecodes) {
  std::string out;
  ASSERT_EQ(storm_explode(our_implode("", dcl::kBinary, 4), out), 0u);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace qm::pgx
