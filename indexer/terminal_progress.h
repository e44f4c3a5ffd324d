// The index builder's progress for a person. At a terminal (TerminalProgress): status
// texts as lines of their own, one progress bar kept on the last line (documents done of
// all, the share, the file being read) and a closing summary with the time taken. In a
// file, such as the log of a build run from cron (LogProgress): the same lines without
// the bar, and a line for each document indexed. Texts arrive in Big5 (progress.h) and
// are shown in the locale's character set. run_indexer chooses one of them by where
// standard output goes; through a pipe the protocol lines of progress.h are written
// instead, as the desktop reads them.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "indexer/progress.h"

namespace qm {

class TerminalProgress : public ProgressWriter {
 public:
  // columns 0: the terminal's width (80 when it cannot be told).
  explicit TerminalProgress(int fd, int columns = 0) : TerminalProgress(fd, columns, true) {}
  ~TerminalProgress() override;

  void document(std::string_view text) override;
  void status(std::string_view text) override;
  void percent(int value) override;
  void fatal(std::string_view text) override;
  void message(std::string_view text) override { line(text); }
  void helper(long) override {}
  void end_mark() override {}
  void begin(size_t total) override;
  void reading(size_t index, std::string_view text) override;
  void summary(size_t indexed, size_t skipped) override;

  // The bar line for the state given, at most columns - 1 columns wide (Big5 text is
  // measured as it shows: a pair takes two columns). Without its terminal conversion.
  static std::string bar_line(size_t done, size_t total, int percent, std::string_view file,
                              int columns);

 protected:
  // bar false: lines only (LogProgress).
  TerminalProgress(int fd, int columns, bool bar);

 private:
  void line(std::string_view big5);  // a line above the bar
  void draw();
  void clear_bar();
  std::string shown(std::string_view big5) const;

  int columns_;
  bool bar_;
  std::string codeset_;  // of the terminal; empty: the bytes go as they are
  bool bar_shown_ = false;
  bool counting_ = false;
  size_t total_ = 0;
  size_t done_ = 0;
  int percent_ = 0;
  std::string file_;
  std::string drawn_;  // the bar on the screen
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Progress as plain lines for a file a person reads later: no bar and no terminal
// control bytes, each line ended by LF. A locale of plain ASCII (cron's usual "C") gives
// UTF-8, so that Chinese paths are not lost to "?".
class LogProgress : public TerminalProgress {
 public:
  explicit LogProgress(int fd) : TerminalProgress(fd, 0, false) {}
};

}  // namespace qm
