// WordSignature: the 64-bit sketch of an English word kept in esign.db, one per
// ehash.db record. The index writer computes it for every stored word and the
// English word search computes it for query words, so both live here.
#pragma once
#include <cstdint>
#include <string_view>

namespace qm {

// word 1 (letters): bit (letter - 'a') and bit 26 for every letter; bit D(digit) and
//   bit 27 for every digit, with D mapping 0..9 to the look-alike letters
//   o, i, z, m, f, s, b, t, q, g.
// word 2 (transitions): bits 0..26 one bit per step from a character's predecessor
//   (x(prev) - x(cur), taken + 26 when negative); bits 27..31 the character count,
//   31 for words of 31 characters or more.
struct WordSignature {
  uint32_t letters = 0;
  uint32_t transitions = 0;
  bool operator==(const WordSignature&) const = default;
};

constexpr uint32_t kSignatureLengthShift = 27;
constexpr uint32_t kSignatureTransitionMask = 0x7FFFFFF;

WordSignature word_signature(std::string_view word);

// The character count held in word 2 (0..31).
inline uint32_t signature_length(const WordSignature& s) { return s.transitions >> kSignatureLengthShift; }

}  // namespace qm
