// Progress for a person (see terminal_progress.h): at a terminal a bar redrawn in place
// with a carriage return and an erase to the line's end, in a log file plain lines; texts
// converted from Big5 with iconv.
#include "indexer/terminal_progress.h"

#include <iconv.h>
#include <langinfo.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/strings.h"

namespace qm {
namespace {

constexpr int kBarCells = 24;

// The width of a Big5 text as a terminal shows it: a pair takes two columns.
size_t big5_columns(std::string_view text) {
  size_t columns = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t len = big5_char_len(text, i);
    i += len == 0 ? 1 : len;
    columns += len == 2 ? 2 : 1;
  }
  return columns;
}

// The end of a Big5 text that fits columns, with "..." in front when it was cut.
std::string big5_tail(std::string_view text, size_t columns) {
  if (big5_columns(text) <= columns) return std::string(text);
  if (columns <= 3) return std::string(columns, '.');
  // Character starts, found from the front so a pair is never split.
  size_t start = 0, width = big5_columns(text);
  while (start < text.size() && width > columns - 3) {
    const size_t len = big5_char_len(text, start);
    width -= len == 2 ? 2 : 1;
    start += len == 0 ? 1 : len;
  }
  std::string out = "...";
  out.append(text.substr(start));
  return out;
}

}  // namespace

TerminalProgress::TerminalProgress(int fd, int columns, bool bar)
    : ProgressWriter(fd), columns_(columns), bar_(bar) {
  if (columns_ <= 0) {
    struct winsize ws;
    columns_ = bar && ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
  }
  const char* codeset = nl_langinfo(CODESET);
  if (codeset != nullptr && std::strcmp(codeset, "BIG5") != 0 && std::strcmp(codeset, "CP950") != 0)
    codeset_ = codeset;
  if (!bar && codeset_ == "ANSI_X3.4-1968") codeset_ = "UTF-8";
}

TerminalProgress::~TerminalProgress() { clear_bar(); }

std::string TerminalProgress::shown(std::string_view big5) const {
  bool ascii = true;
  for (char c : big5) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii || codeset_.empty()) return std::string(big5);
  iconv_t cd = iconv_open(codeset_.c_str(), "CP950");
  if (cd == iconv_t(-1)) return std::string(big5);
  std::string in(big5), out;
  char* ip = in.data();
  size_t il = in.size();
  char buffer[1024];
  while (il > 0) {
    char* op = buffer;
    size_t ol = sizeof buffer;
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buffer, size_t(op - buffer));
    if (r != size_t(-1)) break;
    if (errno == E2BIG) continue;
    out.push_back('?');  // no form in the terminal's character set
    ++ip;
    --il;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

std::string TerminalProgress::bar_line(size_t done, size_t total, int percent,
                                       std::string_view file, int columns) {
  const int filled = percent <= 0 ? 0 : percent >= 100 ? kBarCells : percent * kBarCells / 100;
  std::string line = "[";
  line.append(size_t(filled), '#');
  line.append(size_t(kBarCells - filled), '.');
  line.append("] ");
  char figures[64];
  std::snprintf(figures, sizeof figures, "%3d%%  %zu/%zu", percent, done, total);
  line += figures;
  const size_t room = columns > 1 ? size_t(columns - 1) : 0;
  if (!file.empty() && line.size() + 2 < room) {
    const std::string tail = big5_tail(file, room - line.size() - 2);
    line.append("  ").append(tail);
  }
  if (line.size() > room) line.resize(room);
  return line;
}

void TerminalProgress::clear_bar() {
  if (!bar_shown_) return;
  write_all("\r\x1B[K");
  bar_shown_ = false;
}

void TerminalProgress::draw() {
  if (!counting_ || !bar_) return;
  const std::string bar = bar_line(done_, total_, percent_, file_, columns_);
  if (bar_shown_ && bar == drawn_) return;
  std::string text = "\r";
  text.append(shown(bar)).append("\x1B[K");
  write_all(text);
  drawn_ = bar;
  bar_shown_ = true;
}

void TerminalProgress::line(std::string_view big5) {
  clear_bar();
  std::string text;
  for (char c : big5) text.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
  text = shown(text);
  text.push_back('\n');
  write_all(text);
  draw();
}

void TerminalProgress::status(std::string_view text) { line(text); }

void TerminalProgress::fatal(std::string_view text) {
  counting_ = false;
  std::string message = "Error: ";
  message.append(text);
  line(message);
}

void TerminalProgress::begin(size_t total) {
  total_ = total;
  counting_ = true;
  draw();
}

void TerminalProgress::reading(size_t index, std::string_view text) {
  done_ = index;
  file_ = std::string(text);
  draw();
}

void TerminalProgress::document(std::string_view text) {
  if (bar_) {
    draw();
    return;
  }
  std::string shown_line = "Indexed ";
  shown_line.append(text);
  line(shown_line);
}

void TerminalProgress::percent(int value) {
  percent_ = value;
  draw();
}

void TerminalProgress::summary(size_t indexed, size_t skipped) {
  counting_ = false;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char text[160];
  std::snprintf(text, sizeof text, "%zu documents indexed, %zu skipped in %.1f s", indexed,
                skipped, seconds);
  line(text);
}

}  // namespace qm
