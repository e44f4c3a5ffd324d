// Packed streams: the run that unpacks a packed stream (pack header, see pgx_format.h,
// then implode data, dcl_codec.h) from one open file to another, and its pack
// direction, which writes the same format. Used by pgx_document.cpp for the page table
// and page data, and by the test writer.
#pragma once
#include <cstdint>

#include "pagedoc/dcl_codec.h"

namespace qm::pgx {

// Result codes: 0 and the codec's codes (dcl_codec.h), plus a bad magic.
inline constexpr int kPackOk = dcl::kOk;
inline constexpr int kPackBadMagic = 8;

enum class PackDirection { Unpack = 0, Pack = 1 };

// Runs one stream from `source` (at source_offset) to `target` (at target_offset).
// Both descriptors stay open and belong to the caller; afterwards the target's file
// position is just past what the run wrote. source_length is used only when packing:
// the bytes to pack. *written (when given) receives the bytes written to the target.
//
// Unpacking reads the header, then at most its packedLength bytes of compressed data
// in blocks of 2,048 bytes, and writes the unpacked bytes at the target offset. The
// header's length and CRC are not checked against the data.
// Packing writes the header, compresses in binary mode (a 1,024-byte dictionary up to
// 4,096 source bytes, else 4,096 bytes) and rewrites the header with the compressed
// length and the CRC-32 of the source bytes. A source shorter than source_length
// fails with dcl::kAborted.
int pack_run(int source, uint64_t source_offset, uint64_t source_length, int target,
             uint64_t target_offset, PackDirection direction, uint64_t* written = nullptr);

}  // namespace qm::pgx
