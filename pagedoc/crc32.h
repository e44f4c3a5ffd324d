// The common CRC-32 (reflected polynomial 0xEDB88320, start 0xFFFFFFFF, result
// complemented), table-driven; carried by every packed-stream header (pack_stream.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace qm::pgx {

// Running form: start with crc32_begin(), feed blocks, finish with crc32_end().
inline constexpr uint32_t crc32_begin() { return 0xFFFFFFFFu; }
uint32_t crc32_update(uint32_t state, const unsigned char* data, size_t n);
inline constexpr uint32_t crc32_end(uint32_t state) { return ~state; }

uint32_t crc32(const unsigned char* data, size_t n);

}  // namespace qm::pgx
