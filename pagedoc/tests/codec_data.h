// Test inputs for the packed-stream codec: random bytes and structured data of the
// kinds that PGX documents hold.
#pragma once
#include <random>
#include <string>
#include <vector>

namespace qm::pgx::test {

struct CodecInput {
  const char* name;
  std::string data;
};

inline std::vector<CodecInput> codec_inputs() {
  std::mt19937 rng(20240613);
  auto random_bytes = [&](size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = char(rng() & 0xFF);
    return s;
  };
  std::string text;
  const char* words[] = {"page ", "document ", "index ", "search ", "\xA4\xA4\xA4\xE5 ", "the ", "of ", "\r\n"};
  while (text.size() < 60000) text += words[rng() % 8];
  std::string records;
  for (int i = 0; records.size() < 30000; ++i) {
    records += "ET";
    records += char(20), records += char(0);
    records += std::string("\x0A\x00", 2) + char(i & 0xFF) + char(i >> 8) + std::string("\x05\x00\x00", 3) + "Hello";
    records += "BC" + std::string(4, char(i));
  }
  std::string far;  // repeats exactly 4,096 bytes back: the largest distance
  std::string block = random_bytes(4096);
  far = block + block + random_bytes(100) + block.substr(0, 700);
  std::string period;
  for (int i = 0; i < 20000; ++i) period += char("ab\x01"[i % 3]);
  return {
      {"empty", ""},
      {"one_byte", "x"},
      {"two_bytes", "xx"},
      {"random_small", random_bytes(300)},
      {"random_large", random_bytes(70000)},
      {"zeros", std::string(50000, '\0')},
      {"text", text},
      {"records", records},
      {"far_repeat", far},
      {"period_3", period},
      {"limit_4096", random_bytes(4096)},
      {"limit_4097", random_bytes(4097)},
  };
}

}  // namespace qm::pgx::test
