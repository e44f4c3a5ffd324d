// IndexerProgressParser: cuts the index builder's output (indexer/progress.h writes it)
// into progress lines as it comes, in pieces of any size. A line ends at CR (one LF right
// after it is skipped) or at a bare LF; character 0 is its code, character 1 a separator
// and the text runs from character 2. A line of 255 bytes or more is cut to 254 bytes (on
// a Big5 character boundary) and the reading goes on after its end. Two 0x1A bytes at the
// start of a line are the end mark of a completed build; what follows them is not read.
// A '3' line ends the job; a '4' line names a helper process. Qt-free; used by the job
// queue's worker (schedule.cpp); tests in tests/progress_parser_test.cpp.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qm {

struct ProgressLine {
  char code = 0;
  std::string text;  // character 2 onward
};

class IndexerProgressParser {
 public:
  static constexpr size_t kLineLimit = 254;  // bytes of a line without its CR

  // Called for every line but '3' and '4' lines, in order.
  using LineHandler = std::function<void(const ProgressLine&)>;
  // Called for a '4' line with its number (0 when it holds none: no helper now).
  using HelperHandler = std::function<void(long)>;

  IndexerProgressParser(LineHandler on_line, HelperHandler on_helper)
      : on_line_(std::move(on_line)), on_helper_(std::move(on_helper)) {}

  // Feeds the next piece of output. Nothing is read after the end mark or a '3' line.
  void feed(std::string_view bytes);

  bool end_mark() const { return end_mark_; }
  bool failed() const { return failed_; }  // a '3' line came
  // The builder's own words: the text of its '3' line (why it ended), and of its last
  // '1' line (after a completed build, its closing count of documents indexed and skipped).
  const std::string& failure_text() const { return failure_text_; }
  const std::string& last_status() const { return last_status_; }
  bool done() const { return end_mark_ || failed_; }
  // Lines that were cut at the limit.
  size_t cut_lines() const { return cut_lines_; }

 private:
  void end_line();
  LineHandler on_line_;
  HelperHandler on_helper_;
  std::string line_;
  bool dropping_ = false;  // past the limit: bytes up to the line end are dropped
  bool after_cr_ = false;
  bool end_mark_ = false;
  bool failed_ = false;
  size_t cut_lines_ = 0;
  std::string failure_text_, last_status_;
};

// The decimal number at the start of text (leading blanks skipped); 0 when none, or when
// it does not fit a process id.
long progress_helper_pid(std::string_view text);

}  // namespace qm
