// Progress lines of the index builder (see progress.h), written straight to the file
// descriptor so each line leaves at once.
#include "indexer/progress.h"

#include <unistd.h>

#include <cerrno>

#include "common/strings.h"

namespace qm {

std::string ProgressWriter::format(char code, std::string_view text) {
  std::string out;
  out.push_back(code);
  out.push_back(' ');
  const size_t room = kProgressLineLimit - 3;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool pair =
        i + 1 < text.size() && big5_is_pair(c, static_cast<unsigned char>(text[i + 1]));
    const size_t len = pair ? 2 : 1;
    if (out.size() - 2 + len > room) break;
    if (pair) {
      out.append(text.substr(i, 2));
    } else {
      out.push_back(c < 0x20 || c == 0x7F || c >= 0x80 ? ' ' : char(c));
    }
    i += len;
  }
  out.push_back('\r');
  return out;
}

void ProgressWriter::write_all(std::string_view bytes) {
  while (ok_ && !bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok_ = false;
      return;
    }
    bytes.remove_prefix(size_t(n));
  }
}

void ProgressWriter::line(char code, std::string_view text) { write_all(format(code, text)); }

void ProgressWriter::percent(int value) {
  if (value == last_percent_) return;
  last_percent_ = value;
  line('2', std::to_string(value));
}

void ProgressWriter::end_mark() { write_all("\x1A\x1A"); }

void ProgressWriter::summary(size_t indexed, size_t skipped) {
  status(std::to_string(indexed) + " documents indexed, " + std::to_string(skipped) + " skipped");
}

}  // namespace qm
