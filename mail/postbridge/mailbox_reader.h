// The reader of mailbox files cut by a separator: plain mailboxes, and with other
// separators the mail-client mailboxes of store_readers.h. A plain mailbox's messages
// begin with a line "From -" (the Netscape kind) or with a "From " line of the RFC 4155
// shape ("From sender Fri Dec 11 11:52:53 2026", as mutt, Thunderbird, mail servers and
// Python's mailbox module write them) at the file's start or after a blank line; line
// ends CR LF or LF. The quoting of body lines as ">From " is undone by
// mailbox_unquote_from_lines. It reads through a window of 1 MB that doubles while one
// message does not fit, up to 32 MB; a longer message is passed over in 1 MB steps to
// the next separator, so memory stays bounded for any file. Its own library
// (qm_mailbox): used by the source dispatcher (sources.h), store_readers.h and the
// mboxpull stand-in's mbox folders (mail/mboxpull/folder_reader.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace qm::mail {

struct WindowLimits {
  size_t initial = size_t(1) << 20;  // also the step of the skip
  size_t max = size_t(32) << 20;
};

// Where one message ends and the next begins. The first `step` bytes of a found
// separator end the message before it; the rest opens the next one. With trim_cr a CR
// before the separator is dropped from the message too.
// With from_lines, a line end followed by a From_ line (is_from_line) after a blank line
// separates too.
struct MailboxSeparator {
  std::string text = "\nFrom -";
  size_t step = 1;
  bool trim_cr = true;
  bool from_lines = true;
};

// The longest From_ line taken as a separator (the line length mail allows).
inline constexpr size_t kMaxFromLine = 998;

// Whether line (without its line end; a CR at its end is passed over) has the shape of
// an RFC 4155 From_ line: "From ", a sender, then an asctime date: day name, month name,
// day, time "h:mm" or "h:mm:ss", and a four-digit year next or after one more word (a
// zone). Names compare case-blind; more words may follow.
bool is_from_line(std::string_view line);

// The mboxrd quoting undone: every line that begins with one or more ">" followed by
// "From " loses one ">". False, with out untouched, when text holds no such line.
bool mailbox_unquote_from_lines(std::string_view text, std::string& out);

class MailboxReader {
 public:
  explicit MailboxReader(WindowLimits limits = {}, MailboxSeparator separator = {})
      : limits_(limits), separator_(std::move(separator)) {}
  ~MailboxReader();
  MailboxReader(const MailboxReader&) = delete;
  MailboxReader& operator=(const MailboxReader&) = delete;

  // Opens the file and reads the first window; false when it cannot be opened or read.
  bool open(const std::string& path);
  // The same over a file opened by the caller, which the reader then owns and closes.
  bool open(std::FILE* file);
  // The next message's raw text (from its separator line, without the line end before
  // the next separator); false at the end of the file. The last message runs to the end
  // (less the blank line that closes it, in a plain mailbox).
  // A file whose first bytes are not a separator gives them as its first message.
  bool next(std::string& message);
  // The same without a copy: the view points into the window and stays valid until the
  // next call of next() or release_window().
  bool next(std::string_view& message);
  // Gives back a window grown for a long message once that message has been used, so
  // its buffer is not held while the message is worked on; next() calls it first.
  void release_window();

  // The largest window held so far, and the number of messages passed over as too long.
  size_t largest_window() const { return largest_; }
  size_t skipped() const { return skipped_; }
  // True once the last message has been handed out.
  bool finished() const { return finished_; }

 private:
  size_t read_more(size_t bytes);  // appends up to bytes from the file; the count read
  // The next separator at from or later, npos when none; more is set when a From_ line
  // candidate runs past the window's end while the file goes on.
  size_t find_separator(size_t from, bool& more) const;
  bool after_blank_line(size_t at) const;
  bool grow_or_skip();
  bool skip_message();

  WindowLimits limits_;
  MailboxSeparator separator_;
  std::FILE* file_ = nullptr;
  bool at_end_ = false;    // the file is read to its end
  bool finished_ = false;  // every message handed out
  bool release_ = false;   // the window's start holds handed-out text to drop first
  std::string window_;
  size_t scan_ = 0;        // start of the next message in the window
  size_t capacity_ = 0;    // the window's current size limit
  size_t largest_ = 0;
  size_t skipped_ = 0;
};

}  // namespace qm::mail
