// The packed-stream run (pack_stream.h): header handling and file I/O around the
// implode coder, with the CRC-32 of the unpacked bytes.
#include "pagedoc/pack_stream.h"

#include <cstring>
#include <new>
#include <unistd.h>

#include "pagedoc/crc32.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_io.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

int unpack(int source, uint64_t source_offset, int target, uint64_t target_offset, uint64_t& written) {
  unsigned char header[kPackHeaderSize];
  if (io_read_at(source, source_offset, header, kPackHeaderSize) != kPackHeaderSize ||
      std::memcmp(header, kPackMagic.data(), kPackMagic.size()) != 0)
    return kPackBadMagic;
  uint64_t limit = le::get32(header + kPackPackedLengthAt);
  uint64_t in_pos = source_offset + kPackHeaderSize;
  uint64_t in_end = in_pos + limit;
  auto read = [&](unsigned char* buf, size_t size) -> size_t {
    uint64_t left = in_end - in_pos;
    if (size > left) size = size_t(left);
    size_t n = io_read_at(source, in_pos, buf, size);
    in_pos += n;
    return n;
  };
  auto write = [&](const unsigned char* buf, size_t size) -> bool {
    if (!io_write_at(target, target_offset + written, buf, size)) return false;
    written += size;
    return true;
  };
  return dcl::explode(read, write);
}

int pack(int source, uint64_t source_offset, uint64_t source_length, int target, uint64_t target_offset,
         uint64_t& written) {
  if (source_length > 0xFFFFFFFFu) return dcl::kNoResources;
  unsigned char header[kPackHeaderSize] = {};
  std::memcpy(header, kPackMagic.data(), kPackMagic.size());
  le::put32(header + kPackReservedAt, 0);
  le::put32(header + kPackUnpackedLengthAt, uint32_t(source_length));
  le::put32(header + kPackPackedLengthAt, 0);
  le::put32(header + kPackCrcAt, 0xFFFFFFFFu);
  if (!io_write_at(target, target_offset, header, kPackHeaderSize)) return dcl::kAborted;
  written = kPackHeaderSize;

  uint64_t in_pos = source_offset, in_end = source_offset + source_length;
  bool short_source = false;
  uint32_t crc = crc32_begin();
  auto read = [&](unsigned char* buf, size_t size) -> size_t {
    uint64_t left = in_end - in_pos;
    if (size > left) size = size_t(left);
    size_t n = io_read_at(source, in_pos, buf, size);
    if (n < size) short_source = true;
    in_pos += n;
    crc = crc32_update(crc, buf, n);
    return n;
  };
  auto write = [&](const unsigned char* buf, size_t size) -> bool {
    if (!io_write_at(target, target_offset + written, buf, size)) return false;
    written += size;
    return true;
  };
  int dict_bits = source_length <= 4096 ? 4 : 6;
  int rc = dcl::implode(read, write, dcl::kBinary, dict_bits);
  if (rc != dcl::kOk) return rc;
  if (short_source) return dcl::kAborted;
  le::put32(header + kPackPackedLengthAt, uint32_t(written - kPackHeaderSize));
  le::put32(header + kPackCrcAt, crc32_end(crc));
  if (!io_write_at(target, target_offset, header, kPackHeaderSize)) return dcl::kAborted;
  return kPackOk;
}

}  // namespace

int pack_run(int source, uint64_t source_offset, uint64_t source_length, int target, uint64_t target_offset,
             PackDirection direction, uint64_t* written) {
  uint64_t count = 0;
  if (written) *written = 0;
  if (source < 0 || target < 0) return dcl::kNoResources;
  int rc;
  try {
    rc = direction == PackDirection::Unpack ? unpack(source, source_offset, target, target_offset, count)
                                            : pack(source, source_offset, source_length, target, target_offset, count);
  } catch (const std::bad_alloc&) {
    rc = dcl::kNoResources;
  }
  ::lseek(target, off_t(target_offset + count), SEEK_SET);
  if (written) *written = count;
  return rc;
}

}  // namespace qm::pgx
