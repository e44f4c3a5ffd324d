// Computes the WordSignature of an English word (see word_signature.h).
#include "index/word_signature.h"

namespace qm {
namespace {

// Letter index a digit stands for: 0 o, 1 i, 2 z, 3 m, 4 f, 5 s, 6 b, 7 t, 8 q, 9 g.
constexpr uint32_t kDigitLetter[10] = {14, 8, 25, 12, 5, 18, 1, 19, 16, 6};
constexpr int kNoLetter = 26;

// Letter index 0..25 for a letter of either case or a digit's look-alike; 26 otherwise.
int letter_index(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= '0' && c <= '9') return int(kDigitLetter[c - '0']);
  return kNoLetter;
}

}  // namespace

WordSignature word_signature(std::string_view word) {
  WordSignature s;
  int prev = kNoLetter;
  for (unsigned char c : word) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
      s.letters |= (1u << letter_index(c)) | (1u << 26);
    else if (c >= '0' && c <= '9')
      s.letters |= (1u << letter_index(c)) | (1u << 27);
    int cur = letter_index(c);
    int d = prev - cur;
    s.transitions |= 1u << (d < 0 ? d + 26 : d);
    prev = cur;
  }
  uint32_t length = word.size() >= 31 ? 31 : uint32_t(word.size());
  s.transitions |= length << kSignatureLengthShift;
  return s;
}

}  // namespace qm
