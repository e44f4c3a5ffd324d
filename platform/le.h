// Little-endian field helpers for every stored binary record: records are read and
// written field by field, never by casting a struct over bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::le {

inline uint16_t get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t get32s(const unsigned char* p) { return int32_t(get32(p)); }

inline void put16(unsigned char* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void put32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// Appending forms for writers that build a record in a byte string.
inline void append16(std::string& out, uint16_t v) {
  unsigned char b[2];
  put16(b, v);
  out.append(reinterpret_cast<char*>(b), 2);
}
inline void append32(std::string& out, uint32_t v) {
  unsigned char b[4];
  put32(b, v);
  out.append(reinterpret_cast<char*>(b), 4);
}

}  // namespace qm::le
