// The index builder's progress lines, read by the desktop's job queue through a pipe:
// each line is a code character, a blank and a text, ended by CR and shorter than 255
// bytes; a completed build ends with two 0x1A bytes. Codes: '0' a document indexed,
// '1' a status text, '2' a percentage, '3' the build ended abnormally, '4' the process id
// of a helper process (0: none is running now), '5' a message box of a library the
// builder loaded (the mail gateway's refused login), which the desktop shows.
//
// At a terminal or into a file the builder shows a person its progress instead
// (terminal_progress.h), through the same calls; begin, reading and summary exist for
// that view and add no line of their own to the protocol beyond the closing status line
// of summary.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

inline constexpr size_t kProgressLineLimit = 254;  // bytes with the CR

class ProgressWriter {
 public:
  explicit ProgressWriter(int fd) : fd_(fd) {}
  virtual ~ProgressWriter() = default;
  ProgressWriter(const ProgressWriter&) = delete;
  ProgressWriter& operator=(const ProgressWriter&) = delete;

  virtual void document(std::string_view text) { line('0', text); }
  virtual void status(std::string_view text) { line('1', text); }
  virtual void percent(int value);  // written only when it differs from the last one
  virtual void fatal(std::string_view text) { line('3', text); }
  virtual void helper(long pid) { line('4', std::to_string(pid)); }
  virtual void message(std::string_view text) { line('5', text); }
  virtual void end_mark();
  // The number of documents found, before the first is read.
  virtual void begin(size_t /*total*/) {}
  // Document number index (from 0) is being read now; text is its shown path.
  virtual void reading(size_t /*index*/, std::string_view /*text*/) {}
  // The closing status line: "<n> documents indexed, <m> skipped".
  virtual void summary(size_t indexed, size_t skipped);

  // False once a write has failed (the reader is gone).
  bool ok() const { return ok_; }

  // The line as written: control bytes become blanks, the text is cut (never inside a
  // Big5 pair) so that code, blank, text and CR fit the limit.
  static std::string format(char code, std::string_view text);

 protected:
  void write_all(std::string_view bytes);
  int fd() const { return fd_; }

 private:
  void line(char code, std::string_view text);
  int fd_;
  bool ok_ = true;
  int last_percent_ = -1;
};

}  // namespace qm
