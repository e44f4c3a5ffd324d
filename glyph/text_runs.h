// Run splitting for mixed-face text output: a string is cut where the kind of character
// changes, so that each run can go to one face. Builds on the double-byte rules
// (dbcs.h); used by RVExtTextOutEU and CSX_GetTextExtentEU in librvcsp32.so.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm::glyph {

struct TextRun {
  size_t start = 0;
  size_t length = 0;
  bool special = false;  // EUDC run, or a byte of 0x80 or more in a single-byte text
};

// Runs of end-user-defined characters and of everything else, for the double-byte sets
// 128, 129, 134 and 136; any other set gives one ordinary run. A lead byte without a
// valid trail byte is a single ordinary character. An empty text gives no runs.
std::vector<TextRun> SplitEudcRuns(uint8_t char_set, const unsigned char* text, size_t length);

// For single-byte text: runs of bytes below 0x80, and every byte of 0x80 or more as a
// run of its own (special).
std::vector<TextRun> SplitHighByteRuns(const unsigned char* text, size_t length);

}  // namespace qm::glyph
