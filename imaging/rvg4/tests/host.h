// A filter host for the tests: librvg4.so loaded with dlopen from the dist folder, as an
// outside host would, and streams that record every Transfer call. encode() and
// decode() run whole images through the G4 filter.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/rvg4/pbm.h"
#include "imaging/rvg4/rvg4.h"

namespace qm::rvg4::test {

// The G4 filter's openers (null, with a test failure, when the library cannot be had).
const FilterOpeners* g4_openers();
// The record the library hands out.
FilterInfo* g4_info();

// The encoder's host stream: collects what it is handed. take, when set, decides how
// many of the bytes of call `index` are taken (default: all).
struct Sink {
  FilterStream base;
  std::string coded;
  std::vector<int32_t> calls;  // byteCount of each call
  std::function<int32_t(size_t index, int32_t byteCount)> take;
  Sink();
};

// The decoder's host stream: serves coded bytes. piece, when set, limits each answer
// (a host may give fewer bytes than asked and still have more).
struct Source {
  FilterStream base;
  std::string coded;
  size_t served = 0;
  std::vector<int32_t> asks;  // byteCount of each call
  int32_t piece = 0;
  explicit Source(std::string bytes);
};

struct Encoded {
  bool opened = false;
  std::string coded;
  std::vector<int32_t> calls;      // Transfer sizes while rows were written
  std::vector<int32_t> close_calls;  // Transfer sizes during Close
  int32_t close_result = 0;
};

// Codes the image in calls of rows_per_call rows, rows stride bytes apart (0: row bytes).
Encoded encode(const Bilevel& image, int32_t rows_per_call = 64, int32_t stride = 0);

struct Decoded {
  bool opened = false;
  Bilevel image;  // the rows read (height = rows read)
  std::vector<int32_t> asks;
  size_t served = 0;
};

// Reads up to max_rows rows of width pixels in calls of rows_per_call rows.
Decoded decode(const std::string& coded, int32_t width, int32_t max_rows, int32_t rows_per_call = 64,
               int32_t piece = 0);

}  // namespace qm::rvg4::test
