// Seeded random texts for the parsers' robustness tests: mixtures of ASCII, Big5 pairs
// (trail bytes 0x5C and "|" included), lone lead bytes, NUL, line ends, 0x1A, "%" escapes,
// operator characters, markup fragments, entities and very long tokens, and mutations of
// well-formed samples. Header-only, so every component's tests can include it. The same
// seed always gives the same texts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace qm::test {

class RandomText {
 public:
  explicit RandomText(uint32_t seed) : rng_(seed) {}

  size_t below(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng_) : 0; }
  bool chance(int percent) { return below(100) < size_t(percent); }
  unsigned char byte() { return static_cast<unsigned char>(below(256)); }

  // A Big5 pair; every fourth one ends in 0x5C, the trail byte that equals "\".
  std::string pair() {
    std::string p(1, char(0xA1 + below(0xFE - 0xA1 + 1)));
    p += below(4) == 0 ? char(0x5C) : char(0x40 + below(0xFE - 0x40 + 1));
    return p;
  }

  // One fragment of the kinds the parsers meet.
  std::string fragment() {
    static const char* const kPieces[] = {
        "<!%", "%!>", "<script", "</script>", "<SCRIPT>", "<!--", "-->", "<", ">", "</",
        "<p>", "<br>", "<title>", "</title>", "<style>", "<meta charset=big5>", "&amp;", "&lt;",
        "&gt;", "&nbsp;", "&quot;", "&#", "&#x", "&#65;", "&#x4E2D;", "&#99999999999;", "&",
        "%", "%4", "%41", "%A4%A4", "%zz", "+", "=", "&p=", "[", "]", "[sec]", "key=value",
        "(", ")", "*", "-", "|", "!", "~", "\"", " ", "  ", "\t", ",", ";", ".", "\\", "/",
        "http://", "https://", ":", "HTTP/1.0 200 OK\r\n", "Content-Type: text/html\r\n",
        "\r\n\r\n", "\n\n", "T_Loop 3", "/T_Loop", "T_Declare", "/T_Declare", "T_CONST A=b",
        "SQL_CMD select", "NOT_SKIP_ALL", "1,", "+", "\xA1\x40", "\xA1\xA1", "\xEF\xBB\xBF",
        "\xE4\xB8\xAD", "\xFF\xFE", "\xFE\xFF",
    };
    switch (below(12)) {
      case 0:
      case 1: return kPieces[below(std::size(kPieces))];
      case 2: return pair();
      case 3: return std::string(1, char(0xA1 + below(0xFE - 0xA1 + 1)));  // lone lead byte
      case 4: {
        static const char kControls[] = {'\0', '\r', '\n', '\x1a', '\t', '\f', '\x01'};
        return std::string(1, kControls[below(sizeof kControls)]);
      }
      case 5: return std::string(1, char(byte()));
      case 6: {  // a long token: letters, or Big5 pairs
        std::string t;
        size_t n = 20 + below(below(10) == 0 ? 3000 : 60);
        bool chinese = chance(40);
        while (t.size() < n) t += chinese ? pair() : std::string(1, char('a' + below(26)));
        return t;
      }
      default: {  // a short ASCII word
        std::string t;
        size_t n = 1 + below(8);
        for (size_t i = 0; i < n; ++i) t += char(chance(20) ? '0' + below(10) : 'a' + below(26));
        return t;
      }
    }
  }

  // A text of fragments, at most about max bytes; sometimes it ends in a lone lead byte.
  std::string text(size_t max = 200) {
    std::string t;
    size_t target = below(max + 1);
    while (t.size() < target) t += fragment();
    if (chance(15)) t += char(0xA1 + below(0xFE - 0xA1 + 1));
    return t;
  }

  // The sample with a few bytes inserted, replaced, deleted or a fragment spliced in.
  std::string mutate(std::string_view sample) {
    std::string t(sample);
    size_t n = 1 + below(4);
    for (size_t k = 0; k < n; ++k) {
      size_t at = below(t.size() + 1);
      switch (below(5)) {
        case 0: t.insert(at, 1, char(byte())); break;
        case 1: if (at < t.size()) t[at] = char(byte()); break;
        case 2: if (at < t.size()) t.erase(at, 1 + below(4)); break;
        case 3: t.insert(at, fragment()); break;
        default: t.resize(at); break;
      }
    }
    return t;
  }

  // Either a fresh random text or a mutation of one of the samples.
  std::string input(const std::vector<std::string>& samples, size_t max = 200) {
    if (!samples.empty() && chance(50)) return mutate(samples[below(samples.size())]);
    return text(max);
  }

  std::mt19937& engine() { return rng_; }

 private:
  std::mt19937 rng_;
};

// True when the text is ASCII 0x20..0x7E (and the listed control bytes) and valid Big5
// pairs only.
inline bool only_ascii_and_pairs(std::string_view text, std::string_view allowed_controls = "") {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c <= 0x7E) continue;
    if (c < 0x20 && allowed_controls.find(char(c)) != std::string_view::npos) continue;
    if (c >= 0xA1 && c <= 0xFE && i + 1 < text.size()) {
      unsigned char t = static_cast<unsigned char>(text[i + 1]);
      if (t >= 0x40 && t <= 0xFE) {
        ++i;
        continue;
      }
    }
    return false;
  }
  return true;
}

// Names the input of the first failure of a test (cheaper than a trace per input).
class InputTrace {
 public:
  explicit InputTrace(const std::string& input)
      : input_(input), failed_before_(::testing::Test::HasFailure()) {}
  ~InputTrace() {
    if (!failed_before_ && ::testing::Test::HasFailure())
      ADD_FAILURE() << "failing input: " << ::testing::PrintToString(input_);
  }
  InputTrace(const InputTrace&) = delete;
  InputTrace& operator=(const InputTrace&) = delete;

 private:
  const std::string& input_;
  bool failed_before_;
};

// The bytes in a heap buffer of exactly their size, so a read past the end is caught.
class ExactBytes {
 public:
  explicit ExactBytes(std::string_view text) : size_(text.size()), bytes_(new char[text.size()]) {
    std::memcpy(bytes_.get(), text.data(), text.size());
  }
  std::string_view view() const { return {bytes_.get(), size_}; }

 private:
  size_t size_;
  std::unique_ptr<char[]> bytes_;
};

}  // namespace qm::test
