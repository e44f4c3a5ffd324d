// Plain mailbox reader (see mailbox_reader.h): separator search over a sliding window
// (the fixed separator text, and From_ lines after a blank line), the window's growth
// for long messages, the skip of messages past the limit, and the ">From " unquoting.
#include "mail/postbridge/mailbox_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "mail/decode/header.h"

namespace qm::mail {

namespace {

bool only_blank(const std::string& text, size_t from) {
  for (size_t i = from; i < text.size(); ++i)
    if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') return false;
  return true;
}

bool is_digits(std::string_view s, size_t min, size_t max) {
  if (s.size() < min || s.size() > max) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool is_one_of(std::string_view word, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (iequals(word, name)) return true;
  return false;
}

// "h:mm" or "h:mm:ss", the hour of one or two digits.
bool is_clock(std::string_view s) {
  const size_t colon = s.find(':');
  if (colon == std::string_view::npos || !is_digits(s.substr(0, colon), 1, 2)) return false;
  s.remove_prefix(colon + 1);
  if (!is_digits(s.substr(0, 2), 2, 2)) return false;
  s.remove_prefix(2);
  return s.empty() || (s.front() == ':' && is_digits(s.substr(1), 2, 2));
}

}  // namespace

bool is_from_line(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxFromLine || line.substr(0, 5) != "From ") return false;
  std::vector<std::string_view> words;
  for (size_t i = 5; i < line.size() && words.size() < 8;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    if (end > i) words.push_back(line.substr(i, end - i));
    i = end;
  }
  // sender, day name, month, day, time, then the year or a zone and the year.
  if (words.size() < 6) return false;
  return is_one_of(words[1], {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}) &&
         is_one_of(words[2], {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}) &&
         is_digits(words[3], 1, 2) && is_clock(words[4]) &&
         (is_digits(words[5], 4, 4) || (words.size() > 6 && is_digits(words[6], 4, 4)));
}

bool mailbox_unquote_from_lines(std::string_view text, std::string& out) {
  // A quoted line: at the start or after a line end, ">"s and then "From ".
  auto quoted_at = [&text](size_t at) {
    if (at >= text.size() || text[at] != '>') return false;
    size_t i = at;
    while (i < text.size() && text[i] == '>') ++i;
    return text.substr(i, 5) == "From ";
  };
  std::vector<size_t> drops;
  if (quoted_at(0)) drops.push_back(0);
  for (size_t at = text.find(">From "); at != std::string_view::npos; at = text.find(">From ", at + 1)) {
    size_t start = at;
    while (start > 0 && text[start - 1] == '>') --start;
    if (start > 0 && (text[start - 1] == '\n' || text[start - 1] == '\r') &&
        (drops.empty() || drops.back() != start))
      drops.push_back(start);
  }
  if (drops.empty()) return false;
  out.clear();
  out.reserve(text.size());
  size_t from = 0;
  for (size_t at : drops) {
    out.append(text.substr(from, at - from));
    from = at + 1;  // the first ">" of the line goes
  }
  out.append(text.substr(from));
  return true;
}

MailboxReader::~MailboxReader() {
  if (file_) std::fclose(file_);
}

bool MailboxReader::open(const std::string& path) { return open(std::fopen(path.c_str(), "rb")); }

bool MailboxReader::open(std::FILE* file) {
  if (file_) std::fclose(file_);
  file_ = file;
  if (!file_) return false;
  capacity_ = limits_.initial;
  read_more(capacity_);
  return !std::ferror(file_);
}

size_t MailboxReader::read_more(size_t bytes) {
  if (at_end_ || !file_ || bytes == 0) return 0;
  const size_t old = window_.size();
  window_.resize(old + bytes);
  const size_t got = std::fread(window_.data() + old, 1, bytes, file_);
  window_.resize(old + got);
  if (got < bytes) at_end_ = true;
  if (window_.size() > largest_) largest_ = window_.size();
  return got;
}

// The line end at window_[at] closes a blank line: "\n\n", or "\n\r\n". A window starts
// at the file's start or right behind a separator's line end, so a CR at its start
// closes a blank line too.
bool MailboxReader::after_blank_line(size_t at) const {
  if (at == 0) return false;
  if (window_[at - 1] == '\n') return true;
  return window_[at - 1] == '\r' && (at == 1 || window_[at - 2] == '\n');
}

size_t MailboxReader::find_separator(size_t from, bool& more) const {
  more = false;
  const size_t fixed = window_.find(separator_.text, from);
  if (!separator_.from_lines) return fixed;
  static constexpr std::string_view kFrom = "\nFrom ";
  for (size_t at = window_.find(kFrom, from); at != std::string::npos && at < fixed;
       at = window_.find(kFrom, at + 1)) {
    if (!after_blank_line(at)) continue;
    const size_t line = at + 1;
    const size_t room = std::min(window_.size() - line, kMaxFromLine + 1);
    const void* eol = std::memchr(window_.data() + line, '\n', room);
    size_t length = eol ? size_t(static_cast<const char*>(eol) - (window_.data() + line)) : room;
    if (!eol && !at_end_ && room <= kMaxFromLine) {
      more = true;  // the line goes on past the window: decided once it is read
      return std::string::npos;
    }
    if (length > kMaxFromLine) continue;
    if (is_from_line(std::string_view(window_).substr(line, length))) return at;
  }
  return fixed;
}

// The window holds one unfinished message from its start: double the window, or pass the
// message over when the window would grow past its limit.
bool MailboxReader::grow_or_skip() {
  if (capacity_ * 2 > limits_.max) return skip_message();
  capacity_ *= 2;
  read_more(capacity_ > window_.size() ? capacity_ - window_.size() : 0);
  return true;
}

// Reads on in steps of the initial window, keeping the tail of the previous step, until
// a separator begins the next message. The tail holds the fixed separator's length less
// one byte, or with From_ lines the longest such line and the blank line before it (at
// most one initial window); the search starts where the previous step could not decide.
bool MailboxReader::skip_message() {
  ++skipped_;
  capacity_ = limits_.initial;
  const std::string& sep = separator_.text;
  size_t tail = sep.size() - 1;
  size_t undecided = tail;
  if (separator_.from_lines) {
    tail = std::max(tail, std::min(kMaxFromLine + 8, limits_.initial));
    undecided = tail > 5 ? tail - 5 : tail;
  }
  std::string keep = window_.substr(window_.size() - std::min(window_.size(), tail));
  // The kept bytes cannot hold the long message's own start (it is far behind them).
  while (true) {
    window_ = keep;
    window_.reserve(limits_.initial + keep.size());
    scan_ = 0;
    const size_t got = read_more(limits_.initial);
    bool more = false;
    const size_t at = find_separator(keep.size() > undecided ? keep.size() - undecided : 0, more);
    if (at != std::string::npos) {
      window_.erase(0, at + separator_.step);
      read_more(capacity_ > window_.size() ? capacity_ - window_.size() : 0);
      return true;
    }
    if (got == 0 || at_end_) {
      window_.clear();
      finished_ = true;
      return false;
    }
    keep = window_.substr(window_.size() - std::min(window_.size(), tail));
  }
}

bool MailboxReader::next(std::string& message) {
  std::string_view view;
  if (!next(view)) return false;
  message.assign(view);
  return true;
}

void MailboxReader::release_window() {
  if (!release_) return;
  release_ = false;
  // An ordinary window stays: its refill moves the unread rest when it runs dry.
  if (capacity_ <= limits_.initial) return;
  window_.erase(0, scan_);
  scan_ = 0;
  if (window_.size() < limits_.initial) {
    capacity_ = limits_.initial;
    std::string(window_).swap(window_);  // give the grown buffer back
  }
}

bool MailboxReader::next(std::string_view& message) {
  release_window();
  if (finished_ || !file_) return false;
  while (true) {
    bool more = false;
    const size_t at = find_separator(scan_ + 1, more);  // never the separator that opens it
    if (at != std::string::npos) {
      const size_t end = separator_.trim_cr && at > scan_ && window_[at - 1] == '\r' ? at - 1 : at;
      message = std::string_view(window_).substr(scan_, end - scan_);
      scan_ = at + separator_.step;
      release_ = true;
      return true;
    }
    if (at_end_) {
      finished_ = true;
      if (only_blank(window_, scan_)) return false;
      message = std::string_view(window_).substr(scan_);
      // The blank line that closes the last message, like every other, is the mailbox's.
      if (separator_.from_lines && message.ends_with("\n\n")) message.remove_suffix(1);
      else if (separator_.from_lines && message.ends_with("\n\r\n")) message.remove_suffix(2);
      scan_ = window_.size();
      release_ = true;
      return true;
    }
    if (scan_ == 0) {
      if (window_.size() < capacity_) {
        read_more(capacity_ - window_.size());
      } else if (!grow_or_skip()) {
        return false;  // the file ended inside a message past the limit
      }
      continue;
    }
    // Move the unread rest to the window's start and fill it; a grown window falls back
    // to its first size once the rest fits.
    window_.erase(0, scan_);
    scan_ = 0;
    if (window_.size() < limits_.initial) {
      capacity_ = limits_.initial;
      std::string(window_).swap(window_);  // give the grown buffer back
    }
    read_more(capacity_ > window_.size() ? capacity_ - window_.size() : 0);
  }
}

}  // namespace qm::mail
