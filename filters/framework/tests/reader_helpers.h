// Helpers shared by the reader tests: a source read into a chunk model, the model's chunk
// script, and a text's words joined by one blank (for comparing with other extractors).
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "filters/framework/chunk_model.h"
#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"

namespace kvx::test {

inline std::unique_ptr<ChunkModel> read(uint32_t format, const std::string& bytes, KVXSTATUS* st = nullptr) {
  ChunkBuilder b;
  KVXSTATUS s = readers::read_document(format, bytes, b);
  if (st) *st = s;
  return s == KVX_OK ? b.finish() : nullptr;
}

inline std::string script_of(const ChunkModel& m) {
  std::string out;
  EXPECT_TRUE(write_chunk_script(m, out, nullptr));
  return out;
}

// Words split at blanks, tabs, line and page ends, joined by one blank.
inline std::string words(const std::string& s) {
  std::string out, word;
  for (char c : s + " ") {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      if (!word.empty()) {
        if (!out.empty()) out += ' ';
        out += word;
      }
      word.clear();
    } else {
      word += c;
    }
  }
  return out;
}

}  // namespace kvx::test
