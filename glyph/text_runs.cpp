// Run splitting (text_runs.h) over the double-byte text walk of dbcs.h.
#include "text_runs.h"

#include "glyph/dbcs.h"

namespace qm::glyph {

namespace {
bool IsDoubleByteSet(uint8_t char_set) {
  return char_set == 128 || char_set == 129 || char_set == 134 || char_set == 136;
}

void Append(std::vector<TextRun>& runs, size_t pos, size_t bytes, bool special, bool merge) {
  if (merge && !runs.empty() && runs.back().special == special) {
    runs.back().length += bytes;
    return;
  }
  runs.push_back(TextRun{pos, bytes, special});
}
}  // namespace

std::vector<TextRun> SplitEudcRuns(uint8_t char_set, const unsigned char* text, size_t length) {
  std::vector<TextRun> runs;
  if (text == nullptr || length == 0) return runs;
  if (!IsDoubleByteSet(char_set)) {
    runs.push_back(TextRun{0, length, false});
    return runs;
  }
  for (size_t pos = 0; pos < length;) {
    size_t bytes = 1;
    const uint16_t code = NextCharacter(char_set, text, length, pos, bytes);
    Append(runs, pos, bytes, bytes == 2 && IsEudc(char_set, code), true);
    pos += bytes;
  }
  return runs;
}

std::vector<TextRun> SplitHighByteRuns(const unsigned char* text, size_t length) {
  std::vector<TextRun> runs;
  if (text == nullptr) return runs;
  for (size_t pos = 0; pos < length; ++pos) {
    const bool high = text[pos] >= 0x80;
    Append(runs, pos, 1, high, !high);
  }
  return runs;
}

}  // namespace qm::glyph
