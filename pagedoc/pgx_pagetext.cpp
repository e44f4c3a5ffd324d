// Page-text walk (pgx_pagetext.h). Records are read straight from the working file
// through a small buffer, never past the end of the page's data.
#include "pagedoc/pgx_pagetext.h"

#include <algorithm>
#include <cstring>

#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_io.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

// Sequential reads within [pos, end) of a file.
class SpanReader {
 public:
  SpanReader(int fd, uint64_t begin, uint64_t end) : fd_(fd), pos_(begin), end_(end) {}

  bool read(void* dst, size_t n) {
    if (n > end_ - pos_) return false;
    auto* out = static_cast<unsigned char*>(dst);
    while (n > 0) {
      if (buf_pos_ == buf_len_ && !refill()) return false;
      size_t take = std::min(n, buf_len_ - buf_pos_);
      std::memcpy(out, buf_ + buf_pos_, take);
      buf_pos_ += take;
      pos_ += take;
      out += take;
      n -= take;
    }
    return true;
  }

  bool skip(uint64_t n) {
    if (n > end_ - pos_) return false;
    uint64_t in_buf = std::min<uint64_t>(n, buf_len_ - buf_pos_);
    buf_pos_ += size_t(in_buf);
    pos_ += n;
    if (n > in_buf) buf_pos_ = buf_len_ = 0;  // past the buffer: read afresh from pos_
    return true;
  }

  bool u16(uint16_t& v) {
    unsigned char b[2];
    if (!read(b, 2)) return false;
    v = le::get16(b);
    return true;
  }

  bool u32(uint32_t& v) {
    unsigned char b[4];
    if (!read(b, 4)) return false;
    v = le::get32(b);
    return true;
  }

 private:
  bool refill() {
    size_t want = size_t(std::min<uint64_t>(sizeof buf_, end_ - pos_));
    buf_len_ = io_read_at(fd_, pos_, buf_, want);
    buf_pos_ = 0;
    return buf_len_ > 0;
  }

  int fd_;
  uint64_t pos_, end_;
  unsigned char buf_[4096];
  size_t buf_len_ = 0, buf_pos_ = 0;
};

// One "ET"/"EU" record: its runs, then a line end. False when the data breaks off.
bool text_record(SpanReader& r, std::string& out) {
  uint16_t total;
  if (!r.u16(total)) return false;
  uint16_t prev_y = 0;
  int16_t prev_end = 0;
  // Counted wide: a run that overshoots the total ends the record instead of wrapping
  // a 16-bit count round and reading the following records as runs.
  uint32_t consumed = 0;
  std::string held;
  do {
    unsigned char head[kRunHeaderSize];
    if (!r.read(head, sizeof head)) return false;
    consumed += kRunHeaderSize;
    uint16_t y = le::get16(head + kRunYAt);
    uint16_t count = le::get16(head + kRunCharCountAt);
    uint8_t flags = head[kRunFlagsAt];
    if (count > 0) {
      if (y != prev_y) out += ' ';
      prev_y = y;
      held.resize(count);
      if (!r.read(held.data(), count)) return false;
      consumed += count;
    }
    if (flags & kRunHasExtent) {
      unsigned char ext[kRunExtentSize];
      if (!r.read(ext, sizeof ext)) return false;
      consumed += kRunExtentSize;
      auto start = int16_t(le::get16(ext + kExtentStartAt));
      if (start >= prev_end) out += ' ';
      prev_end = int16_t(le::get16(ext + kExtentEndAt));
    }
    if (flags & kRunHasCharData) {
      if (!r.skip(uint64_t(count) * kRunCharDataPerChar)) return false;
      consumed += uint32_t(count) * kRunCharDataPerChar;
    }
    if (count > 0) out += held;
  } while (consumed < total);
  out += kLineEnd;
  return true;
}

// Steps over a record with a u16 length, or when that is 0, a u32 length.
bool skip_sized(SpanReader& r, bool wide_when_zero) {
  uint16_t len;
  if (!r.u16(len)) return false;
  if (len != 0 || !wide_when_zero) return r.skip(len);
  uint32_t wide;
  return r.u32(wide) && r.skip(wide);
}

bool skip_image(SpanReader& r) {
  uint16_t len;
  if (!r.u16(len)) return false;
  if (len != 0) return r.skip(len);
  unsigned char block[kImageBlockSize];
  if (!r.read(block, sizeof block)) return false;
  if (!r.skip(image_palette_size(le::get16(block + kImageBitCountAt)))) return false;
  uint32_t pixels;
  return r.u32(pixels) && r.skip(pixels);
}

}  // namespace

bool page_text(PgxDocument& doc, int page, PageUnpackState& state, std::string& out) {
  if (!doc.make_page_available(page, state)) return false;
  uint64_t begin, end;
  if (!doc.page_data(page, begin, end)) return false;
  SpanReader r(doc.working_fd(), begin, end);
  for (;;) {
    uint16_t code;
    if (!r.u16(code)) return true;  // no end record: keep what was read
    bool ok = true;
    switch (record_body(code)) {
      case RecordBody::PageEnd: return true;
      case RecordBody::Text: ok = text_record(r, out); break;
      case RecordBody::Fixed: ok = r.skip(record_fixed_size(code)); break;
      case RecordBody::Sized16: ok = skip_sized(r, false); break;
      case RecordBody::Image: ok = skip_image(r); break;
      case RecordBody::Other: ok = skip_sized(r, true); break;
    }
    if (!ok) return true;  // the data broke off inside a record
  }
}

}  // namespace qm::pgx
