// Streaming coder and decoder of the PKWARE Data Compression Library "implode" format
// (code tables in dcl_tables.h). Both work in fixed buffers and talk to their caller
// through a read and a write callback, so a stream of any size passes through without
// being held in memory. pack_stream.cpp runs them from file to file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qm::dcl {

// Literal modes (byte 0 of a stream): plain 8-bit literals, or literals coded by a
// table tuned for text.
inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kAscii = 1;

// Result codes, shared with the packed-stream run.
inline constexpr int kOk = 0;
inline constexpr int kBadDictSize = 1;  // dictionary size byte not 4-6
inline constexpr int kBadMode = 2;      // literal mode byte not 0 or 1
inline constexpr int kShortData = 3;    // fewer than 5 bytes of compressed data
inline constexpr int kAborted = 4;      // data ended or broke before the end code, or a write failed
inline constexpr int kNoResources = 7;  // work area or file cannot be had

inline constexpr size_t kInputBlock = 2048;   // largest read asked of the read callback
inline constexpr size_t kOutputBlock = 4096;  // the decoder writes in blocks of this size

// Fills up to `size` bytes and returns how many; 0 means the input has ended.
using ReadFn = std::function<size_t(unsigned char* buf, size_t size)>;
// Takes `size` bytes; false means the write failed.
using WriteFn = std::function<bool(const unsigned char* buf, size_t size)>;

// Decodes one compressed stream. Reading stops at the end code.
int explode(const ReadFn& read, const WriteFn& write);

// Encodes everything `read` gives, with the given literal mode (kBinary or kAscii) and
// dictionary size in bits (4-6), and ends the stream with the end code.
int implode(const ReadFn& read, const WriteFn& write, uint8_t mode, int dict_bits);

}  // namespace qm::dcl
