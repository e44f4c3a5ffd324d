// The output text writer (see pc_writer.h): direct writes when the source already has the
// output form, else chunks of at most 8,191 characters converted into a 16,384-byte
// staging buffer (byte to unit, byte swap, low byte, UTF-8) and written one by one.
#include "pc_writer.h"

#include <cstring>
#include <vector>

namespace pc {

namespace {

KVXSTATUS put(KVXIO* out, const uint8_t* bytes, uint32_t n, uint32_t* written) {
  if (n == 0) return KVX_OK;
  uint32_t got = 0;
  KVXSTATUS st = out->Write(out, bytes, n, &got);
  if (written) *written += got;
  if (st == KVX_OK && got != n) return KVXERR_SHORTWRITE;
  if (st == KVXERR_SHORTWRITE) return st;
  return st;
}

// Unit i of a 16-bit source whose bytes are little-endian when little is set.
inline uint16_t unit_at(const uint8_t* p, uint32_t i, bool little) {
  return little ? uint16_t(p[2 * i] | p[2 * i + 1] << 8) : uint16_t(p[2 * i] << 8 | p[2 * i + 1]);
}

// Converts source characters from index *pos on (at most kChunkChars of them) into
// stage; returns the bytes produced and moves *pos past what was converted.
uint32_t convert_chunk(uint8_t* stage, const uint8_t* src, uint32_t count, uint32_t* pos, uint16_t src_kind,
                       uint16_t out_kind) {
  bool src_wide = src_kind & kKindWide;
  bool src_little = src_kind & kKindLittle;
  uint32_t end = *pos + kChunkChars < count ? *pos + kChunkChars : count;
  uint32_t n = 0, i = *pos;
  if (out_kind & kKindUtf8) {
    if (!src_wide) {  // 8-bit text passes unchanged into a UTF-8 file
      for (; i < end && n < kStageBytes; ++i) stage[n++] = src[i];
    } else {
      for (; i < end;) {
        uint32_t u = unit_at(src, i, src_little), cp = u, used = 1;
        if (u >= 0xD800 && u <= 0xDBFF) {
          if (i + 1 < count) {
            uint16_t lo = unit_at(src, i + 1, src_little);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
              if (i + 1 >= end && i > *pos) break;  // keep the pair together in the next chunk
              cp = 0x10000 + (u - 0xD800) * 0x400 + (lo - 0xDC00);
              used = 2;
            } else {
              cp = 0xFFFD;
            }
          } else {
            cp = 0xFFFD;
          }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
          cp = 0xFFFD;
        }
        uint32_t need = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (n + need > kStageBytes) break;
        if (need == 1) {
          stage[n++] = uint8_t(cp);
        } else if (need == 2) {
          stage[n++] = uint8_t(0xC0 | cp >> 6);
          stage[n++] = uint8_t(0x80 | (cp & 0x3F));
        } else if (need == 3) {
          stage[n++] = uint8_t(0xE0 | cp >> 12);
          stage[n++] = uint8_t(0x80 | (cp >> 6 & 0x3F));
          stage[n++] = uint8_t(0x80 | (cp & 0x3F));
        } else {
          stage[n++] = uint8_t(0xF0 | cp >> 18);
          stage[n++] = uint8_t(0x80 | (cp >> 12 & 0x3F));
          stage[n++] = uint8_t(0x80 | (cp >> 6 & 0x3F));
          stage[n++] = uint8_t(0x80 | (cp & 0x3F));
        }
        i += used;
      }
    }
  } else if (!(out_kind & kKindWide)) {  // 16-bit source to 8-bit: the low-order byte
    for (; i < end && n < kStageBytes; ++i) stage[n++] = uint8_t(unit_at(src, i, src_little) & 0xFF);
  } else {
    bool out_little = out_kind & kKindLittle;
    for (; i < end && n + 2 <= kStageBytes; ++i) {
      uint16_t u = src_wide ? unit_at(src, i, src_little) : src[i];
      stage[n++] = uint8_t(out_little ? u & 0xFF : u >> 8);
      stage[n++] = uint8_t(out_little ? u >> 8 : u & 0xFF);
    }
  }
  *pos = i;
  return n;
}

}  // namespace

KVXSTATUS write_counted(KVXIO* out, const void* text, uint32_t count, uint16_t src_kind, uint16_t out_kind,
                        uint32_t* written) {
  uint32_t dummy = 0;
  if (written == nullptr) written = &dummy;
  *written = 0;
  if (out == nullptr) return KVXERR_BADPARAM;
  if (count == 0) return KVX_OK;
  auto* src = static_cast<const uint8_t*>(text);
  bool src_wide = src_kind & kKindWide;
  if (!src_wide && !(out_kind & kKindWide)) return put(out, src, count, written);
  if (src_wide && !(out_kind & kKindUtf8) && kind_bits(src_kind) == kind_bits(out_kind))
    return put(out, src, count * 2, written);
  std::vector<uint8_t> stage(kStageBytes);
  uint32_t pos = 0;
  while (pos < count) {
    uint32_t n = convert_chunk(stage.data(), src, count, &pos, src_kind, out_kind);
    if (KVXSTATUS st = put(out, stage.data(), n, written)) return st;
  }
  return KVX_OK;
}

KVXSTATUS WriteOutputText(KVXIO* out, const void* text, uint16_t src_kind, uint16_t out_kind, uint32_t* written) {
  if (text == nullptr) return KVXERR_BADPARAM;
  uint32_t count = 0;
  if (src_kind & kKindWide) {
    auto* p = static_cast<const uint8_t*>(text);
    while (p[2 * count] != 0 || p[2 * count + 1] != 0) ++count;
  } else {
    count = uint32_t(std::strlen(static_cast<const char*>(text)));
  }
  return write_counted(out, text, count, src_kind, out_kind, written);
}

KVXSTATUS write_units(KVXIO* out, const std::u16string& units, uint16_t out_kind) {
  std::string bytes(units.size() * 2, '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = char(units[i] & 0xFF);
    bytes[2 * i + 1] = char(units[i] >> 8);
  }
  return write_counted(out, bytes.data(), uint32_t(units.size()), kKindLE, out_kind, nullptr);
}

KVXSTATUS write_text8(KVXIO* out, const std::string& text, uint16_t out_kind) {
  return write_counted(out, text.data(), uint32_t(text.size()), kKind8, out_kind, nullptr);
}

}  // namespace pc
