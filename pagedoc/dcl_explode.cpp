// Decoder of the implode format (dcl_codec.h). Input comes in blocks of at most 2,048
// bytes; output collects in an 8,192-byte window that is emptied 4,096 bytes at a time,
// which always keeps the largest distance (4,096) of history.
#include <algorithm>
#include <cstring>
#include <new>

#include "pagedoc/dcl_codec.h"
#include "pagedoc/dcl_tables.h"

namespace qm::dcl {
namespace {

constexpr size_t kWindow = 2 * kOutputBlock;

class Exploder {
 public:
  Exploder(const ReadFn& read, const WriteFn& write) : read_(read), write_(write) {}

  int run() {
    // Streams shorter than 5 bytes are refused (the coder pads an empty one to 5).
    for (size_t n = 1; in_len_ < 5 && n > 0; in_len_ += n) n = read_(in_ + in_len_, kInputBlock - in_len_);
    if (in_len_ < 5) return kShortData;
    mode_ = in_[0];
    dict_bits_ = in_[1];
    in_pos_ = 2;
    if (dict_bits_ < kMinDictBits || dict_bits_ > kMaxDictBits) return kBadDictSize;
    if (mode_ != kBinary && mode_ != kAscii) return kBadMode;

    const PrefixCode& lit = literal_code();
    const PrefixCode& len = length_code();
    const PrefixCode& dist = distance_code();
    for (;;) {
      int flag = bits(1);
      if (flag < 0) return kAborted;
      if (flag == 0) {
        int c = mode_ == kAscii ? decode(lit) : bits(8);
        if (c < 0 || !put(uint8_t(c))) return kAborted;
        continue;
      }
      int sym = decode(len);
      if (sym < 0) return kAborted;
      int extra = bits(kLengthExtra[sym]);
      if (extra < 0) return kAborted;
      int length = kLengthBase[sym] + extra;
      if (length == kEndLength) break;
      int low_bits = length == 2 ? 2 : dict_bits_;
      int high = decode(dist);
      int low = high < 0 ? -1 : bits(low_bits);
      if (low < 0) return kAborted;
      uint64_t distance = (uint64_t(high) << low_bits) + uint64_t(low) + 1;
      if (distance > total_) return kAborted;  // reaches before the first byte
      while (length-- > 0)
        if (!put(window_[out_ - distance])) return kAborted;
    }
    for (size_t done = 0; done < out_; done += kOutputBlock)
      if (!write_(window_ + done, std::min(kOutputBlock, out_ - done))) return kAborted;
    return kOk;
  }

 private:
  // Next input byte, reading a new block when needed; -1 at the end of the input.
  int next_byte() {
    if (in_pos_ == in_len_) {
      in_len_ = read_(in_, kInputBlock);
      in_pos_ = 0;
      if (in_len_ == 0) return -1;
    }
    return in_[in_pos_++];
  }

  // n bits, first bit lowest; -1 when the input ends first.
  int bits(int n) {
    while (bit_count_ < n) {
      int b = next_byte();
      if (b < 0) return -1;
      bit_buf_ |= uint32_t(b) << bit_count_;
      bit_count_ += 8;
    }
    int v = int(bit_buf_ & ((1u << n) - 1));
    bit_buf_ >>= n;
    bit_count_ -= n;
    return v;
  }

  // One symbol of a canonical code whose bits are stored inverted, MSB first.
  int decode(const PrefixCode& c) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
      int b = bits(1);
      if (b < 0) return -1;
      code |= b ^ 1;
      int count = c.count[len];
      if (code - first < count) return c.order[index + code - first];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;  // cannot happen: every code table is complete
  }

  bool put(uint8_t b) {
    if (out_ == kWindow) {
      if (!write_(window_, kOutputBlock)) return false;
      std::memmove(window_, window_ + kOutputBlock, kWindow - kOutputBlock);
      out_ -= kOutputBlock;
    }
    window_[out_++] = b;
    ++total_;
    return true;
  }

  const ReadFn& read_;
  const WriteFn& write_;
  unsigned char in_[kInputBlock];
  size_t in_len_ = 0, in_pos_ = 0;
  uint32_t bit_buf_ = 0;
  int bit_count_ = 0;
  int mode_ = 0, dict_bits_ = 0;
  unsigned char window_[kWindow];
  size_t out_ = 0;
  uint64_t total_ = 0;
};

}  // namespace

int explode(const ReadFn& read, const WriteFn& write) {
  Exploder* e = new (std::nothrow) Exploder(read, write);
  if (!e) return kNoResources;
  int rc = e->run();
  delete e;
  return rc;
}

}  // namespace qm::dcl
