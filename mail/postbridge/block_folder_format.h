// The folder files of blocks (".dbx"), as far as the mail gateway reads them: a message
// is a chain of blocks, each a 16-byte header of four little-endian 32-bit words
// followed by its data. The first word of a block is its own offset in the file, which
// is how blocks are found. Shared by the reader (block_folder_reader.h) and the test
// store generator (mail/tests/tools/make_stores.py writes the same layout).
#pragma once
#include <cstddef>
#include <cstdint>

namespace qm::mail::dbx {

inline constexpr size_t kBlockHeaderSize = 16;
// Header words: own offset, kind word, data length, next block's offset (0 = last).
inline constexpr size_t kSelfAt = 0;
inline constexpr size_t kKindAt = 4;
inline constexpr size_t kLengthAt = 8;
inline constexpr size_t kNextAt = 12;

// A kind word of 508 marks a freed chain, which holds no message.
inline constexpr uint32_t kFreedChain = 508;
// Message blocks hold at most this much data; a first block claiming more sends the
// reader ahead to the next block that holds no more.
inline constexpr uint32_t kMessageBlockData = 512;

// The block search reads this many words at a time.
inline constexpr size_t kSearchWords = 2000;
// The look-ahead for a message block reads in steps of this many bytes.
inline constexpr size_t kLookAheadStep = 65536;
// Bytes behind a block header tested for a header line.
inline constexpr size_t kHeaderLineProbe = 80;

}  // namespace qm::mail::dbx
