// Seeded corruption of stored files for the robustness tests of the binary readers
// (pagedoc, index, langdata): random byte flips, truncations, u16/u32 fields set to
// extreme values and appended garbage. A variant is a short list of edits that can be
// printed and replayed, so a variant that breaks a reader becomes a fixed table case.
// Header-only; the generator is a plain mt19937, so a seed gives the same variants on
// every machine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace qm::test {

struct Edit {
  enum Kind { Flip, Truncate, Set16, Set32, Append };
  Kind kind = Flip;
  size_t at = 0;       // byte offset; Truncate: the new size; Append: the number of bytes
  uint32_t value = 0;  // Flip: the xor mask; Set16/Set32: the value (little-endian);
                       // Append: seed of the garbage bytes
};
using Edits = std::vector<Edit>;

// Byte ranges [first, second) of a file.
using Ranges = std::vector<std::pair<size_t, size_t>>;

// Applies the edits in order; an edit that reaches past the end of the bytes is dropped.
inline void apply_edits(std::string& bytes, const Edits& edits) {
  for (const Edit& e : edits) {
    switch (e.kind) {
      case Edit::Flip:
        if (e.at < bytes.size()) bytes[e.at] = char(uint8_t(bytes[e.at]) ^ uint8_t(e.value));
        break;
      case Edit::Truncate:
        if (e.at < bytes.size()) bytes.resize(e.at);
        break;
      case Edit::Set16:
      case Edit::Set32: {
        size_t n = e.kind == Edit::Set16 ? 2 : 4;
        if (e.at + n > bytes.size()) break;
        for (size_t i = 0; i < n; ++i) bytes[e.at + i] = char((e.value >> (8 * i)) & 0xFF);
        break;
      }
      case Edit::Append: {
        uint32_t x = e.value | 1;
        for (size_t i = 0; i < e.at; ++i) {
          x = x * 1103515245u + 12345u;
          bytes.push_back(char(x >> 24));
        }
        break;
      }
    }
  }
}

inline std::string describe(const Edits& edits) {
  static const char* const kNames[] = {"flip", "truncate", "set16", "set32", "append"};
  std::string s;
  char buf[64];
  for (const Edit& e : edits) {
    std::snprintf(buf, sizeof buf, "%s{%s, %zu, 0x%X}", s.empty() ? "" : ", ", kNames[e.kind], e.at,
                  unsigned(e.value));
    s += buf;
  }
  return s;
}

class Corruptor {
 public:
  explicit Corruptor(uint32_t seed) : rng_(seed) {}

  uint32_t next() { return uint32_t(rng_()); }
  size_t below(size_t n) { return n == 0 ? 0 : size_t(next() % n); }

  // One to three edits anywhere in a file of `size` bytes.
  Edits any(size_t size) {
    Edits out;
    size_t n = 1 + below(3);
    for (size_t i = 0; i < n; ++i) {
      Edit e;
      switch (below(8)) {
        case 0: case 1: case 2:
          e = {Edit::Flip, below(size), 1 + uint32_t(below(255))};
          break;
        case 3:
          e = {Edit::Truncate, below(size), 0};
          break;
        case 4: case 5:
          e = {Edit::Set16, below(size > 1 ? size - 1 : 1), extreme16()};
          break;
        case 6:
          e = {Edit::Set32, below(size > 3 ? size - 3 : 1), extreme32()};
          break;
        default:
          e = {Edit::Append, 1 + below(64), next()};
          break;
      }
      out.push_back(e);
    }
    return out;
  }

  // Edits that leave every byte a reader looks at alone: flips and extreme fields
  // inside the given ranges (which the reader steps over), or garbage appended.
  Edits harmless(const Ranges& ranges) {
    Edits out;
    size_t n = 1 + below(3);
    for (size_t i = 0; i < n; ++i) {
      if (ranges.empty() || below(4) == 0) {
        out.push_back({Edit::Append, 1 + below(64), next()});
        continue;
      }
      auto [lo, hi] = ranges[below(ranges.size())];
      size_t width = hi - lo;
      if (width >= 4 && below(3) == 0)
        out.push_back({Edit::Set32, lo + below(width - 3), extreme32()});
      else if (width >= 2 && below(2) == 0)
        out.push_back({Edit::Set16, lo + below(width - 1), extreme16()});
      else
        out.push_back({Edit::Flip, lo + below(width), 1 + uint32_t(below(255))});
    }
    return out;
  }

 private:
  uint32_t extreme16() {
    static const uint32_t kValues[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF};
    return kValues[below(std::size(kValues))];
  }
  uint32_t extreme32() {
    static const uint32_t kValues[] = {0, 1, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
    return kValues[below(std::size(kValues))];
  }

  std::mt19937 rng_;
};

// Names the variant being read, so that a sanitizer report (which ends the process)
// is followed by the edits that led to it.
class VariantTrace {
 public:
  VariantTrace() {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(&VariantTrace::print);
#endif
  }
  ~VariantTrace() {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(nullptr);
#endif
    current().clear();
  }
  VariantTrace(const VariantTrace&) = delete;
  VariantTrace& operator=(const VariantTrace&) = delete;

  void set(const std::string& file, const Edits& edits) { current() = file + ": " + describe(edits); }

 private:
  static std::string& current() {
    static std::string text;
    return text;
  }
  static void print() { std::fprintf(stderr, "corrupted variant: %s\n", current().c_str()); }
};

}  // namespace qm::test
