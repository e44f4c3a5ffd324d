// The common step of the reader fuzz targets: one reader over the input, then the model
// it built walked in full (its text and its chunk script), so that every item the reader
// wrote is read back. Included by the fuzz_*.cpp targets beside it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"

namespace kvx::fuzz {

using Reader = KVXSTATUS (*)(std::string_view bytes, ChunkBuilder& out);

// Runs the reader and walks the model when it gives one; the reader's status.
inline KVXSTATUS read_and_walk(Reader reader, std::string_view bytes) {
  ChunkBuilder b;
  KVXSTATUS st = reader(bytes, b);
  if (st != KVX_OK) return st;
  if (auto m = b.finish()) {
    model_text(*m);
    std::string script;
    write_chunk_script(*m, script, nullptr);
  }
  return st;
}

inline std::string_view bytes_of(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace kvx::fuzz
