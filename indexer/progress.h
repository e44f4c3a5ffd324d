// The index builder's progress lines, read by the desktop's job queue through a pipe:
// each line is a code character, a blank and a text, ended by CR and shorter than 255
// bytes; a completed build ends with two 0x1A bytes. Codes: '0' a document indexed,
// '1' a status text, '2' a percentage, '3' the build ended abnormally, '4' the process id
// of a helper process (0: none is running now).
#pragma once
#include <string>
#include <string_view>

namespace qm {

inline constexpr size_t kProgressLineLimit = 254;  // bytes with the CR

class ProgressWriter {
 public:
  explicit ProgressWriter(int fd) : fd_(fd) {}

  void document(std::string_view text) { line('0', text); }
  void status(std::string_view text) { line('1', text); }
  void percent(int value);  // written only when it differs from the last one
  void fatal(std::string_view text) { line('3', text); }
  void helper(long pid) { line('4', std::to_string(pid)); }
  void end_mark();

  // False once a write has failed (the reader is gone).
  bool ok() const { return ok_; }

  // The line as written: control bytes become blanks, the text is cut (never inside a
  // Big5 pair) so that code, blank, text and CR fit the limit.
  static std::string format(char code, std::string_view text);

 private:
  void line(char code, std::string_view text);
  void write_all(std::string_view bytes);
  int fd_;
  bool ok_ = true;
  int last_percent_ = -1;
};

}  // namespace qm
