// The index builder's progress lines cut from its output; see progress_parser.h.
#include "desktop/indexing/progress_parser.h"

#include <climits>

#include "common/strings.h"

namespace qm {

namespace {

// The length of text cut to at most limit bytes without splitting a Big5 pair.
size_t big5_cut(std::string_view text, size_t limit) { return big5_prefix_length(text, limit); }

}  // namespace

long progress_helper_pid(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  long long value = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    any = true;
    if (value > INT_MAX) return 0;
  }
  return any ? static_cast<long>(value) : 0;
}

void IndexerProgressParser::end_line() {
  std::string line;
  line.swap(line_);
  dropping_ = false;
  if (line.empty()) return;
  ProgressLine out;
  out.code = line[0];
  if (line.size() > 2) out.text = line.substr(2);
  if (out.code == '3') {
    failed_ = true;
    failure_text_ = out.text;
  } else if (out.code == '4') {
    if (on_helper_) on_helper_(progress_helper_pid(out.text));
  } else {
    if (out.code == '1') last_status_ = out.text;
    if (on_line_) on_line_(out);
  }
}

void IndexerProgressParser::feed(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size() && !done(); ++i) {
    const char c = bytes[i];
    if (c == '\n' && after_cr_) {
      after_cr_ = false;
      continue;
    }
    after_cr_ = false;
    if (c == '\r' || c == '\n') {
      after_cr_ = c == '\r';
      end_line();
      continue;
    }
    if (dropping_) continue;
    line_.push_back(c);
    if (line_.size() == 2 && line_[0] == '\x1A' && line_[1] == '\x1A') {
      end_mark_ = true;
      line_.clear();
      return;
    }
    if (line_.size() > kLineLimit) {
      line_.resize(big5_cut(line_, kLineLimit));
      dropping_ = true;
      ++cut_lines_;
    }
  }
}

}  // namespace qm
