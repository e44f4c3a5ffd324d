// Plain mailbox reader (see mailbox_reader.h): separator search over a sliding window,
// the window's growth for long messages and the skip of messages past the limit.
#include "mail/postbridge/mailbox_reader.h"

#include <algorithm>

namespace qm::mail {

namespace {

bool only_blank(const std::string& text, size_t from) {
  for (size_t i = from; i < text.size(); ++i)
    if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') return false;
  return true;
}

}  // namespace

MailboxReader::~MailboxReader() {
  if (file_) std::fclose(file_);
}

bool MailboxReader::open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
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

// The window holds one unfinished message from its start: double the window, or pass the
// message over when the window would grow past its limit.
bool MailboxReader::grow_or_skip() {
  if (capacity_ * 2 > limits_.max) return skip_message();
  capacity_ *= 2;
  read_more(capacity_ > window_.size() ? capacity_ - window_.size() : 0);
  return true;
}

// Reads on in steps of the initial window, keeping the separator's length less one byte
// of the previous step, until a separator begins the next message.
bool MailboxReader::skip_message() {
  ++skipped_;
  capacity_ = limits_.initial;
  const std::string& sep = separator_.text;
  std::string keep = window_.substr(window_.size() - std::min(window_.size(), sep.size() - 1));
  // The kept bytes cannot hold the long message's own start (it is far behind them).
  while (true) {
    window_ = keep;
    window_.reserve(limits_.initial + keep.size());
    scan_ = 0;
    const size_t got = read_more(limits_.initial);
    const size_t at = window_.find(sep);
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
    keep = window_.substr(window_.size() - std::min(window_.size(), sep.size() - 1));
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
    const size_t at = window_.find(separator_.text, scan_ + 1);  // never the separator that opens it
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
