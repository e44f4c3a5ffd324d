// Table-driven CRC-32 for packed-stream headers (crc32.h).
#include "pagedoc/crc32.h"

#include <array>

namespace qm::pgx {
namespace {

constexpr std::array<uint32_t, 256> make_table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint32_t, 256> kTable = make_table();

}  // namespace

uint32_t crc32_update(uint32_t state, const unsigned char* data, size_t n) {
  for (size_t i = 0; i < n; ++i) state = kTable[(state ^ data[i]) & 0xFF] ^ (state >> 8);
  return state;
}

uint32_t crc32(const unsigned char* data, size_t n) { return crc32_end(crc32_update(crc32_begin(), data, n)); }

}  // namespace qm::pgx
