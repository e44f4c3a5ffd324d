// Code tables of the PKWARE Data Compression Library "implode" format, shared by the
// decoder (dcl_explode.cpp) and the encoder (dcl_implode.cpp).
//
// The stream is a little-endian bit stream: a 0 bit starts a literal, a 1 bit a
// length/distance pair. Literals are 8 plain bits (binary mode) or a prefix code (ASCII
// mode). A length is a prefix-coded symbol 0-15 plus extra bits; length 519 is the end
// code. A distance is a prefix-coded symbol 0-63 for its high bits, then its low bits
// (2 for length 2, else the dictionary size in bits). Prefix codes are canonical, sent
// most significant bit first with every bit inverted.
#pragma once
#include <cstdint>

namespace qm::dcl {

inline constexpr int kMinDictBits = 4;  // 1,024-byte dictionary
inline constexpr int kMaxDictBits = 6;  // 4,096-byte dictionary
inline constexpr int kMaxDictSize = 64 << kMaxDictBits;
inline constexpr int kMinMatch = 2;
inline constexpr int kMaxMatch = 518;
inline constexpr int kEndLength = 519;  // the length that ends the stream
inline constexpr int kMaxCodeBits = 13;

// Length symbols: length = kLengthBase[s] + (kLengthExtra[s] extra bits).
inline constexpr uint16_t kLengthBase[16] = {3, 2, 4, 5, 6, 7, 8, 9, 10, 12, 16, 24, 40, 72, 136, 264};
inline constexpr uint8_t kLengthExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

// Code lengths, run-length packed: each byte is (repeat - 1) << 4 | bit length, for
// consecutive symbols from 0.
inline constexpr uint8_t kLengthBits[] = {2, 35, 36, 53, 38, 23};
inline constexpr uint8_t kDistanceBits[] = {2, 20, 53, 230, 247, 151, 248};
inline constexpr uint8_t kLiteralBits[] = {
    11, 124, 8,   7,   28,  7,   188, 13,  76, 4,  10, 8,  12, 10,  12, 10,  8,   23, 8,   9,
    7,  6,   7,   8,   7,   6,   55,  8,   23, 24, 12, 11, 7,  9,   11, 12,  6,   7,  22,  5,
    7,  24,  6,   11,  9,   6,   7,   22,  7,  11, 38, 7,  9,  8,   25, 11,  8,   11, 9,   12,
    8,  12,  5,   38,  5,   38,  5,   11,  7,  5,  6,  21, 6,  10,  53, 8,   7,   24, 10,  27,
    44, 253, 253, 253, 252, 252, 252, 13,  12, 45, 12, 45, 12, 61,  12, 45,  44,  173};

// A canonical prefix code built from one of the packed length tables above.
struct PrefixCode {
  int symbols = 0;
  uint16_t count[kMaxCodeBits + 1] = {};  // codes per bit length
  uint16_t order[256] = {};               // symbols by (length, value)
  uint16_t code[256] = {};                // canonical code of each symbol (MSB first)
  uint8_t bits[256] = {};                 // bit length of each symbol
  // The bits as they go into the stream, first bit in bit 0 (inverted, reversed).
  uint16_t stream[256] = {};
};

// Builds the code from a packed length table; n is the number of entries.
PrefixCode build_prefix_code(const uint8_t* packed, int n);

const PrefixCode& literal_code();
const PrefixCode& length_code();
const PrefixCode& distance_code();

}  // namespace qm::dcl
