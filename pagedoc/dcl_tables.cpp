// Builds the canonical prefix codes of the implode format once, for the encoder and
// the decoder (see dcl_tables.h).
#include "pagedoc/dcl_tables.h"

namespace qm::dcl {

PrefixCode build_prefix_code(const uint8_t* packed, int n) {
  PrefixCode c;
  for (int i = 0; i < n; ++i) {
    int repeat = (packed[i] >> 4) + 1;
    int len = packed[i] & 15;
    while (repeat-- > 0) c.bits[c.symbols++] = uint8_t(len);
  }
  for (int s = 0; s < c.symbols; ++s) c.count[c.bits[s]]++;
  uint16_t offs[kMaxCodeBits + 2] = {};
  uint16_t next[kMaxCodeBits + 2] = {};
  int first = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    offs[len + 1] = uint16_t(offs[len] + c.count[len]);
    next[len] = uint16_t(first);
    first = (first + c.count[len]) << 1;
  }
  for (int s = 0; s < c.symbols; ++s) {
    int len = c.bits[s];
    c.order[offs[len]++] = uint16_t(s);
    c.code[s] = next[len]++;
    uint16_t stream = 0;
    for (int i = 0; i < len; ++i) {
      int bit = ((c.code[s] >> (len - 1 - i)) & 1) ^ 1;
      stream = uint16_t(stream | (bit << i));
    }
    c.stream[s] = stream;
  }
  return c;
}

const PrefixCode& literal_code() {
  static const PrefixCode c = build_prefix_code(kLiteralBits, int(sizeof kLiteralBits));
  return c;
}
const PrefixCode& length_code() {
  static const PrefixCode c = build_prefix_code(kLengthBits, int(sizeof kLengthBits));
  return c;
}
const PrefixCode& distance_code() {
  static const PrefixCode c = build_prefix_code(kDistanceBits, int(sizeof kDistanceBits));
  return c;
}

}  // namespace qm::dcl
