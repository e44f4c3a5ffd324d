// Encoder of the implode format (dcl_codec.h): greedy matching over hash chains keyed
// by the next two bytes, within the chosen dictionary. Input is read into a sliding
// buffer in blocks of at most 2,048 bytes; output is handed on in 4,096-byte blocks.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pagedoc/dcl_codec.h"
#include "pagedoc/dcl_tables.h"

namespace qm::dcl {
namespace {

constexpr int kMaxChain = 48;        // chain steps tried per position
constexpr size_t kLookahead = 8192;  // bytes read ahead of the coding position
constexpr uint32_t kRing = uint32_t(kMaxDictSize);

class Imploder {
 public:
  Imploder(const ReadFn& read, const WriteFn& write, uint8_t mode, int dict_bits)
      : read_(read), write_(write), mode_(mode), dict_bits_(dict_bits),
        dict_size_(uint32_t(64) << dict_bits) {}

  bool init() {
    head_.reset(new (std::nothrow) uint32_t[65536]());
    prev_.reset(new (std::nothrow) uint32_t[kRing]());
    buf_.reset(new (std::nothrow) unsigned char[kRing + kLookahead]);
    return head_ && prev_ && buf_;
  }

  int run() {
    out_[0] = mode_;
    out_[1] = uint8_t(dict_bits_);
    out_len_ = 2;
    if (!fill()) return kAborted;
    while (pos_ < end_) {
      if (end_ - pos_ < uint64_t(kMaxMatch) && !eof_ && !fill()) return kAborted;
      uint32_t dist = 0;
      int len = longest_match(dist);
      if (len >= kMinMatch && (len > 8 || match_cost(len, dist) < literal_cost(len))) {
        put_match(len, dist);
        for (int i = 0; i < len; ++i) insert(pos_++);
      } else {
        put_literal(at(pos_));
        insert(pos_++);
      }
      if (failed_) return kAborted;
    }
    put_length(kEndLength);
    if (bit_count_ > 0) emit(uint8_t(bit_buf_));
    // An empty input gives a 4-byte stream, which decoders refuse as too short; a zero
    // byte after the end code is never read and makes it acceptable.
    while (emitted_ < 5) emit(0);
    if (failed_ || (out_len_ > 0 && !write_(out_, out_len_))) return kAborted;
    return kOk;
  }

 private:
  unsigned char at(uint64_t p) const { return buf_[p - base_]; }

  // Reads more input, first dropping what lies beyond the dictionary behind pos_.
  bool fill() {
    uint64_t keep = pos_ > dict_size_ ? pos_ - dict_size_ : 0;
    if (keep < base_) keep = base_;
    if (keep > base_) {
      std::memmove(buf_.get(), buf_.get() + (keep - base_), size_t(end_ - keep));
      base_ = keep;
    }
    size_t cap = kRing + kLookahead;
    while (!eof_ && end_ - base_ < cap) {
      size_t want = cap - size_t(end_ - base_);
      if (want > kInputBlock) want = kInputBlock;
      size_t n = read_(buf_.get() + (end_ - base_), want);
      if (n == 0) eof_ = true;
      end_ += n;
    }
    return true;
  }

  void insert(uint64_t p) {
    if (p + 1 >= end_) return;
    uint32_t key = uint32_t(at(p)) | uint32_t(at(p + 1)) << 8;
    prev_[p % kRing] = head_[key];
    head_[key] = uint32_t(p + 1);  // stored plus one; 0 means none
  }

  int longest_match(uint32_t& best_dist) {
    uint64_t avail = end_ - pos_;
    if (avail < uint64_t(kMinMatch)) return 0;
    int limit = avail < uint64_t(kMaxMatch) ? int(avail) : kMaxMatch;
    uint32_t key = uint32_t(at(pos_)) | uint32_t(at(pos_ + 1)) << 8;
    uint32_t cand = head_[key];
    int best = 0;
    for (int steps = 0; cand != 0 && steps < kMaxChain; ++steps) {
      uint64_t c = cand - 1;
      uint64_t dist = pos_ - c;
      if (dist > dict_size_ || c < base_) break;
      int len = 2;  // the key matched both bytes
      while (len < limit && at(c + len) == at(pos_ + len)) ++len;
      if (len > best && (len > 2 || dist <= 256)) {
        best = len;
        best_dist = uint32_t(dist);
        if (len == limit) break;
      }
      uint32_t next = prev_[c % kRing];
      if (next >= cand) break;  // a stale ring entry
      cand = next;
    }
    return best;
  }

  static int length_symbol(int len) {
    for (int s = 15; s >= 0; --s)
      if (s != 0 && len >= kLengthBase[s] && len < kLengthBase[s] + (1 << kLengthExtra[s])) return s;
    return 0;  // length 3
  }

  int literal_cost(int n) const {
    if (mode_ == kBinary) return 9 * n;
    int cost = 0;
    for (int i = 0; i < n; ++i) cost += 1 + literal_code().bits[at(pos_ + i)];
    return cost;
  }

  int match_cost(int len, uint32_t dist) const {
    int s = length_symbol(len);
    int low = len == 2 ? 2 : dict_bits_;
    return 1 + length_code().bits[s] + kLengthExtra[s] + distance_code().bits[(dist - 1) >> low] + low;
  }

  void put_bits(uint32_t value, int n) {
    bit_buf_ |= uint64_t(value) << bit_count_;
    bit_count_ += n;
    while (bit_count_ >= 8) {
      emit(uint8_t(bit_buf_));
      bit_buf_ >>= 8;
      bit_count_ -= 8;
    }
  }

  void put_code(const PrefixCode& c, int sym) { put_bits(c.stream[sym], c.bits[sym]); }

  void put_literal(unsigned char b) {
    put_bits(0, 1);
    if (mode_ == kAscii)
      put_code(literal_code(), b);
    else
      put_bits(b, 8);
  }

  void put_length(int len) {
    put_bits(1, 1);
    int s = length_symbol(len);
    put_code(length_code(), s);
    put_bits(uint32_t(len - kLengthBase[s]), kLengthExtra[s]);
  }

  void put_match(int len, uint32_t dist) {
    put_length(len);
    int low = len == 2 ? 2 : dict_bits_;
    put_code(distance_code(), int((dist - 1) >> low));
    put_bits((dist - 1) & ((1u << low) - 1), low);
  }

  void emit(uint8_t b) {
    ++emitted_;
    out_[out_len_++] = b;
    if (out_len_ == kOutputBlock) {
      if (!failed_ && !write_(out_, out_len_)) failed_ = true;
      out_len_ = 0;
    }
  }

  const ReadFn& read_;
  const WriteFn& write_;
  uint8_t mode_;
  int dict_bits_;
  uint32_t dict_size_;
  std::unique_ptr<uint32_t[]> head_, prev_;
  std::unique_ptr<unsigned char[]> buf_;
  uint64_t base_ = 0, pos_ = 0, end_ = 0;  // absolute input positions
  bool eof_ = false, failed_ = false;
  uint64_t bit_buf_ = 0;
  int bit_count_ = 0;
  unsigned char out_[kOutputBlock];
  size_t out_len_ = 0;
  uint64_t emitted_ = 2;  // the two header bytes
};

}  // namespace

int implode(const ReadFn& read, const WriteFn& write, uint8_t mode, int dict_bits) {
  if (dict_bits < kMinDictBits || dict_bits > kMaxDictBits) return kBadDictSize;
  if (mode != kBinary && mode != kAscii) return kBadMode;
  std::unique_ptr<Imploder> e(new (std::nothrow) Imploder(read, write, mode, dict_bits));
  if (!e || !e->init()) return kNoResources;
  return e->run();
}

}  // namespace qm::dcl
