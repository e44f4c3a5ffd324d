// The reader of plain mailbox files (messages separated by lines that begin "From -",
// with CR LF or LF line ends). It reads through a window of 1 MB that doubles while one
// message does not fit, up to 32 MB; a longer message is passed over in 1 MB steps to
// the next separator, so memory stays bounded for any file. Used by the source
// dispatcher (sources.h).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace qm::mail {

struct WindowLimits {
  size_t initial = size_t(1) << 20;  // also the step of the skip
  size_t max = size_t(32) << 20;
};

class MailboxReader {
 public:
  explicit MailboxReader(WindowLimits limits = {}) : limits_(limits) {}
  ~MailboxReader();
  MailboxReader(const MailboxReader&) = delete;
  MailboxReader& operator=(const MailboxReader&) = delete;

  // Opens the file and reads the first window; false when it cannot be opened or read.
  bool open(const std::string& path);
  // The next message's raw text (from its "From -" line, without the line end before the
  // next separator); false at the end of the file. The last message runs to the end.
  bool next(std::string& message);

  // The largest window held so far, and the number of messages passed over as too long.
  size_t largest_window() const { return largest_; }
  size_t skipped() const { return skipped_; }

 private:
  size_t read_more(size_t bytes);  // appends up to bytes from the file; the count read
  bool grow_or_skip();
  bool skip_message();

  WindowLimits limits_;
  std::FILE* file_ = nullptr;
  bool at_end_ = false;    // the file is read to its end
  bool finished_ = false;  // every message handed out
  std::string window_;
  size_t scan_ = 0;        // start of the next message in the window
  size_t capacity_ = 0;    // the window's current size limit
  size_t largest_ = 0;
  size_t skipped_ = 0;
};

}  // namespace qm::mail
