// The GIF and bitmap writers (see image_writers.h). The GIF coder builds the whole code
// stream first (a dictionary tree searched through child lists, codes of 9 to 12 bits, a
// clear code when the dictionary would pass 4,095), then packs it into 255-byte
// sub-blocks through a 4,096-byte output buffer.
#include "filters/graphics/image_writers.h"

#include <cstring>
#include <new>

#include "filters/graphics/raster.h"
#include "platform/le.h"

namespace gfx {

KVXSTATUS write_all(KVXIO* io, const void* data, uint32_t size) {
  if (size == 0) return KVX_OK;
  uint32_t written = 0;
  KVXSTATUS st = io->Write(io, data, size, &written);
  if (st != KVX_OK || written != size) return KVXERR_SHORTWRITE;
  return KVX_OK;
}

namespace {

constexpr uint16_t kClear = 256, kEnd = 257, kWidthMark = 0xFFFF;

struct Entry {
  std::vector<std::pair<uint8_t, uint16_t>> children;
};

// Output row y of the input (row order by the height's sign).
const uint8_t* out_row(const WriterInput& in, uint32_t y) {
  uint32_t h = uint32_t(in.height < 0 ? -int64_t(in.height) : in.height);
  uint32_t m = in.height < 0 ? y : h - 1 - y;
  return in.rows + size_t(m) * in.stride;
}

bool rows_fit(const WriterInput& in, uint32_t bytes_per_row) {
  uint64_t h = uint64_t(in.height < 0 ? -int64_t(in.height) : in.height);
  return in.rows != nullptr && in.width > 0 && h > 0 && in.stride >= bytes_per_row &&
         uint64_t(in.stride) * h <= in.data_size;
}

}  // namespace

KVXSTATUS gif_codes(const WriterInput& in, bool interlace, std::vector<uint16_t>& codes) {
  try {
    uint32_t h = uint32_t(in.height < 0 ? -int64_t(in.height) : in.height);
    std::vector<uint32_t> order;
    if (interlace) {
      static const uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (uint32_t y = start[p]; y < h; y += step[p]) order.push_back(y);
    } else {
      for (uint32_t y = 0; y < h; ++y) order.push_back(y);
    }
    std::vector<Entry> dict(4097);
    auto reset = [&]() {
      for (auto& e : dict) e.children.clear();
    };
    codes.clear();
    codes.reserve(size_t(in.width) * h / 2 + 16);
    codes.push_back(kClear);
    uint32_t width = 9, next = 258, threshold = 512;
    uint16_t cur = out_row(in, order[0])[0];
    bool first = true;
    for (uint32_t y : order) {
      const uint8_t* row = out_row(in, y);
      for (uint32_t x = 0; x < in.width; ++x) {
        if (first) {
          first = false;
          continue;
        }
        uint8_t k = row[x];
        bool found = false;
        for (auto& [byte, child] : dict[cur].children)
          if (byte == k) {
            cur = child;
            found = true;
            break;
          }
        if (found) continue;
        codes.push_back(cur);
        auto& list = dict[cur].children;
        if (list.size() == list.capacity()) list.reserve(list.size() + 8);
        list.push_back({k, uint16_t(next)});
        uint32_t created = next++;
        if (created >= threshold) {
          codes.push_back(kWidthMark);
          if (width < 12) {
            ++width;
            threshold *= 2;
          } else {
            codes.push_back(kClear);
            reset();
            width = 9, next = 258, threshold = 512;
          }
        }
        cur = k;
      }
    }
    codes.push_back(cur);
    codes.push_back(kEnd);
    return KVX_OK;
  } catch (const std::bad_alloc&) {
    return KVXERR_NOMEMORY;
  }
}

namespace {

// Packs codes into sub-blocks and hands full 4,096-byte buffers to the IO object.
class GifPacker {
 public:
  explicit GifPacker(KVXIO* io) : io_(io) {}
  KVXSTATUS put(uint16_t code, uint32_t width) {
    acc_ |= uint64_t(code) << nbits_;
    nbits_ += width;
    while (nbits_ >= 8) {
      if (KVXSTATUS st = byte(uint8_t(acc_))) return st;
      acc_ >>= 8;
      nbits_ -= 8;
    }
    return KVX_OK;
  }
  KVXSTATUS finish() {
    if (nbits_ > 0)
      if (KVXSTATUS st = byte(uint8_t(acc_))) return st;
    if (KVXSTATUS st = flush_block()) return st;
    return raw(0);
  }
  KVXSTATUS raw(uint8_t b) {
    if (out_.size() == 4096)
      if (KVXSTATUS st = flush()) return st;
    out_.push_back(b);
    return KVX_OK;
  }
  KVXSTATUS raw(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (KVXSTATUS st = raw(p[i])) return st;
    return KVX_OK;
  }
  KVXSTATUS flush() {
    KVXSTATUS st = write_all(io_, out_.data(), uint32_t(out_.size()));
    out_.clear();
    return st;
  }

 private:
  KVXSTATUS byte(uint8_t b) {
    block_[block_len_++] = b;
    return block_len_ == 255 ? flush_block() : KVX_OK;
  }
  KVXSTATUS flush_block() {
    if (block_len_ == 0) return KVX_OK;
    if (KVXSTATUS st = raw(uint8_t(block_len_))) return st;
    if (KVXSTATUS st = raw(block_, block_len_)) return st;
    block_len_ = 0;
    return KVX_OK;
  }
  KVXIO* io_;
  std::vector<uint8_t> out_;
  uint8_t block_[255];
  size_t block_len_ = 0;
  uint64_t acc_ = 0;
  uint32_t nbits_ = 0;
};

}  // namespace

KVXSTATUS WriteGif(const WriterInput& in, bool interlace, bool transparent, uint8_t transparent_index) {
  if (pix_bits(in.format) != 8 || !rows_fit(in, in.width)) return KVXERR_BADPARAM;
  uint32_t h = uint32_t(in.height < 0 ? -int64_t(in.height) : in.height);
  if (in.width > 0xFFFF || h > 0xFFFF) return KVXERR_BADPARAM;
  std::vector<uint16_t> codes;
  if (KVXSTATUS st = gif_codes(in, interlace, codes)) return st;
  try {
    GifPacker pack(in.output);
    uint8_t head[13] = {'G', 'I', 'F', '8', '9', 'a'};
    qm::le::put16(head + 6, uint16_t(in.width));
    qm::le::put16(head + 8, uint16_t(h));
    head[10] = 0xF7, head[11] = 0xFF, head[12] = 0;
    KVXSTATUS st = pack.raw(head, 13);
    uint8_t table[768] = {};
    uint32_t n = in.palette == nullptr ? 0 : (in.palette_count > 256 ? 256 : in.palette_count);
    for (uint32_t i = 0; i < n; ++i) {
      table[3 * i] = in.palette[3 * i + 2];
      table[3 * i + 1] = in.palette[3 * i + 1];
      table[3 * i + 2] = in.palette[3 * i];
    }
    if (!st) st = pack.raw(table, 768);
    if (!st && transparent) {
      const uint8_t ext[8] = {0x21, 0xF9, 0x04, 0x01, 0, 0, transparent_index, 0};
      st = pack.raw(ext, 8);
    }
    uint8_t desc[11] = {0x2C, 0, 0, 0, 0};
    qm::le::put16(desc + 5, uint16_t(in.width));
    qm::le::put16(desc + 7, uint16_t(h));
    desc[9] = interlace ? 0x40 : 0x00;
    desc[10] = 8;
    if (!st) st = pack.raw(desc, 11);
    uint32_t width = 9;
    for (size_t i = 0; i < codes.size() && !st; ++i) {
      uint16_t c = codes[i];
      if (c == kWidthMark) {
        if (width < 12) ++width;
        continue;
      }
      st = pack.put(c, width);
      if (c == kClear) width = 9;
    }
    if (!st) st = pack.finish();
    if (!st) st = pack.raw(0x3B);
    if (!st) st = pack.flush();
    return st;
  } catch (const std::bad_alloc&) {
    return KVXERR_NOMEMORY;
  }
}

std::vector<uint8_t> BuildBitmapHeader(uint32_t data_size, uint32_t format, int32_t width, int32_t height,
                                       const uint8_t* palette, uint32_t palette_count) {
  uint32_t bits = pix_bits(format);
  uint32_t n = palette != nullptr && bits < 9 ? palette_count : 0;
  if (bits < 9 && n > (1u << bits)) n = 1u << bits;
  uint32_t c = n;
  if ((bits == 1 && n == 2) || (bits == 4 && n == 16) || (bits == 8 && n == 256) ||
      (bits != 1 && bits != 4 && bits != 8))
    c = 0;
  std::vector<uint8_t> h(54 + 4 * size_t(n), 0);
  h[0] = 'B', h[1] = 'M';
  qm::le::put32(&h[2], uint32_t(uint64_t(data_size) + 54 + 4 * n));
  qm::le::put32(&h[10], 54 + 4 * n);
  qm::le::put32(&h[14], 40);
  qm::le::put32(&h[18], uint32_t(width));
  qm::le::put32(&h[22], uint32_t(height));
  qm::le::put16(&h[26], 1);
  qm::le::put16(&h[28], uint16_t(bits));
  qm::le::put32(&h[46], c);
  qm::le::put32(&h[50], c);
  for (uint32_t i = 0; i < n; ++i) std::memcpy(&h[54 + 4 * i], palette + 3 * i, 3);
  return h;
}

KVXSTATUS WriteBitmap(const WriterInput& in) {
  std::vector<uint8_t> header;
  try {
    header = BuildBitmapHeader(in.data_size, in.format, int32_t(in.width), in.height, in.palette, in.palette_count);
  } catch (const std::bad_alloc&) {
    return KVXERR_NOMEMORY;
  }
  if (KVXSTATUS st = write_all(in.output, header.data(), uint32_t(header.size()))) return st;
  return write_all(in.output, in.rows, in.data_size);
}

}  // namespace gfx
