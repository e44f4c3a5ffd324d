// The Group 4 decoder codec (g4_codec.h) over libtiff. The coded bytes received so far
// sit behind a small classic-TIFF directory (g4_tiff_format.h): one strip of those
// bytes, inside an image longer than any strip, mapped into libtiff so that it decodes
// in place. Rows come from TIFFReadScanline one at a time.
//
// libtiff cannot resume a strip once its data has run out, and running out looks like
// a strip's end: past the data the coder sees zero bits, which read as the
// end-of-block code or as a code error, and the row before may have been finished
// with those zeros. So a row is handed out only once the row after it has decoded
// cleanly. When a row ends the strip (end mark, end of data, libtiff error or warning)
// and the host may have more, the codec asks for more 4,096-byte blocks (three times
// the data so far at each retry, so that the strip is decoded again only a few times)
// and decodes again from the strip start, skipping the rows handed out. The end is
// taken as real once the host has no more data, once the data holds the end-of-block
// code, or once the data reaches two longest possible rows past where that end was
// first seen: the rows around it then lie wholly inside the data. Made by rvg4.cpp's
// decoder opener.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/rvg4/g4_codec.h"
#include "imaging/rvg4/g4_tiff_format.h"
#include "imaging/rvg4/tiff_glue.h"

namespace qm::rvg4 {
namespace {

constexpr size_t kStripAt = kG4TiffStripAt;
// The image is longer than any strip; its rows are counted in 32 bits.
constexpr uint32_t kImageRows = 0xFFFFFFFFu;
// Classic TIFF offsets are 32-bit: the data may not grow past this.
constexpr uint64_t kMaxData = 0xFFFFFFFFull - kStripAt;
// A retry never asks for more than this at once.
constexpr uint64_t kMaxRetryBytes = uint64_t(64) << 20;

class G4Decoder final : public G4Codec {
 public:
  explicit G4Decoder(int32_t width)
      : width_(width),
        row_bytes_((size_t(width) + 7) / 8),
        // Bounds the code of any valid row: at most about 14 bits a pixel.
        max_row_code_(2 * uint64_t(width) + 16) {
    rows_[0].resize(row_bytes_);
    rows_[1].resize(row_bytes_);
    file_.resize(kStripAt);
  }
  ~G4Decoder() override { close_tiff(); }

  void SetCallback(G4Callback callback, void* context) override {
    callback_ = callback;
    context_ = context;
  }
  void SetBuffer(unsigned char* data, int32_t size) override {
    buffer_ = data;
    if (size <= 0 || !data)
      exhausted_ = true;
    else
      file_.insert(file_.end(), data, data + std::min(size, kTransferSize));
  }

  bool Reset() override {
    close_tiff();
    decoded_ = handed_ = 0;
    ended_ = false;
    final_ = false;
    end_row_ = 0;
    settle_known_ = false;
    return true;
  }

  int32_t Process(unsigned char* rows, int32_t row_count, int32_t stride) override {
    int32_t done = 0;
    for (; done < row_count; ++done) {
      if (!confirm_next_row()) break;
      unsigned char* out = rows + size_t(done) * size_t(stride);
      std::memcpy(out, rows_[handed_ & 1].data(), row_bytes_);
      std::memset(out + row_bytes_, 0, size_t(stride) - row_bytes_);
      ++handed_;
    }
    return done;
  }

 private:
  uint64_t data_size() const { return file_.size() - kStripAt; }

  // True when row handed_ is known to be a row of the strip; it is then in
  // rows_[handed_ & 1].
  bool confirm_next_row() {
    for (;;) {
      if (final_) return handed_ < end_row_;
      if (ended_) {
        settle();
        continue;
      }
      if (decoded_ >= handed_ + 2) return true;
      decode_row();
    }
  }

  // Decodes row decoded_ of the current pass, opening the pass when needed. Rows
  // handed out before are decoded again only for their runs (the next row's
  // reference), without drawing their pixels.
  void decode_row() {
    if (!tif_ && !open_pass()) return end_at(decoded_);
    if (decoded_ == kImageRows) return end_at(decoded_);
    set_drawing(decoded_ >= handed_);
    unsigned char* row = rows_[decoded_ & 1].data();
    messages_.clear();
    int r = TIFFReadScanline(tif_, row, uint32_t(decoded_), 0);
    if (r < 0 || messages_.count > 0) return end_at(decoded_);
    if (width_ % 8) row[row_bytes_ - 1] &= uint8_t(0xFF << (8 - width_ % 8));
    ++decoded_;
  }

  // Row `row` does not decode: the strip ends there for this pass.
  void end_at(uint64_t row) {
    close_tiff();
    ended_ = true;
    end_row_ = row;
    // Rows already handed out decoded cleanly before, with less data; should one not
    // now, no further row can be trusted.
    if (row < handed_) {
      final_ = true;
      end_row_ = handed_;
    }
  }

  // Decides whether the end seen in this pass is the strip's own; if not, gets more
  // data and starts a new pass.
  void settle() {
    ended_ = false;
    if (exhausted_ || holds_end_mark()) return finish();
    const uint64_t before = data_size();
    uint64_t more;
    if (!settle_known_ || end_row_ > settle_row_) {
      // The strip went on past the last end seen, so most likely the data ran out here
      // too: ask for three times the data so far, so that it grows fourfold a retry.
      settle_known_ = true;
      settle_row_ = end_row_;
      settle_data_ = before;
      more = std::clamp<uint64_t>(3 * before, 1, kMaxRetryBytes);
    } else {
      // The same end again: it is real once the rows around it lie inside the data.
      const uint64_t wanted = settle_data_ + 2 * max_row_code_;
      if (before >= wanted) return finish();
      more = wanted - before;
    }
    fetch(more);
    if (data_size() == before) return finish();
    decoded_ = 0;  // decode again from the strip start
  }

  void finish() {
    final_ = true;
    ended_ = true;
    if (exhausted_ && end_row_ > handed_ && !holds_end_mark()) check_last_row();
  }

  // Whether the data holds the end-of-block code (000000000001 twice) anywhere. Valid
  // code never holds eleven zero bits in a row, so the decoder cannot have read past
  // it: whatever ended the strip lies inside the data, and no row ran into the zero bits
  // libtiff reads past the data. Scans only the bytes added since the last call.
  bool holds_end_mark() {
    const unsigned char* data = file_.data() + kStripAt;
    for (; !mark_found_ && mark_scanned_ < data_size(); ++mark_scanned_) {
      mark_window_ = (mark_window_ << 8) | data[mark_scanned_];
      for (int shift = 0; shift < 8 && !mark_found_; ++shift)
        mark_found_ = ((mark_window_ >> shift) & 0xFFFFFF) == 0x001001;
    }
    return mark_found_;
  }

  // The data ended without the end code. The last row before the end may have been
  // finished with the zero bits read past the data; decoded again with one bits there
  // instead, such a row comes out differently, and is then no row of the strip.
  void check_last_row() {
    const uint64_t last = end_row_ - 1;
    std::vector<unsigned char> kept = rows_[last & 1];
    const size_t real = file_.size();
    file_.insert(file_.end(), size_t(max_row_code_ + 8), 0xFF);
    bool same = open_pass();
    for (uint64_t r = 0; same && r <= last; ++r) {
      set_drawing(r == last);
      messages_.clear();
      same = TIFFReadScanline(tif_, rows_[r & 1].data(), uint32_t(r), 0) >= 0 && messages_.count == 0;
    }
    if (same) {
      unsigned char* row = rows_[last & 1].data();
      if (width_ % 8) row[row_bytes_ - 1] &= uint8_t(0xFF << (8 - width_ % 8));
      same = rows_[last & 1] == kept;
    }
    close_tiff();
    file_.resize(real);
    rows_[last & 1] = kept;
    if (!same) end_row_ = last;
  }

  // Asks the host for blocks of 4,096 bytes until at least `more` bytes have come or
  // the host has no more.
  void fetch(uint64_t more) {
    const uint64_t target = data_size() + more;
    while (data_size() < target && !exhausted_) {
      if (data_size() + kTransferSize > kMaxData) {
        exhausted_ = true;
        break;
      }
      int32_t got = callback_ ? callback_(context_, buffer_, kTransferSize) : 0;
      if (got <= 0) {
        exhausted_ = true;
        break;
      }
      got = std::min(got, kTransferSize);
      file_.insert(file_.end(), buffer_, buffer_ + got);
    }
  }

  // libtiff's "fill function" pseudo-tag: the routine that draws a decoded row's runs.
  using FillFunction = void (*)(unsigned char*, uint32_t*, uint32_t*, uint32_t);
  static void draw_nothing(unsigned char*, uint32_t*, uint32_t*, uint32_t) {}

  void set_drawing(bool on) {
    if (on == drawing_ || !libtiff_fill_) return;
    if (TIFFSetField(tif_, TIFFTAG_FAXFILLFUNC, on ? libtiff_fill_ : &draw_nothing)) drawing_ = on;
  }

  bool open_pass() {
    if (data_size() == 0) return false;
    put_g4_tiff_directory(file_.data(), uint32_t(width_), kImageRows, uint32_t(data_size()));
    file_pos_ = 0;
    TiffOpenOptions options(messages_);
    if (!options.get()) return false;
    tif_ = TIFFClientOpenExt("G4", "r", this, read_proc, write_proc, seek_proc, close_proc, size_proc,
                             map_proc, unmap_proc, options.get());
    if (!tif_) return false;
    drawing_ = true;
    libtiff_fill_ = nullptr;
    if (!TIFFGetField(tif_, TIFFTAG_FAXFILLFUNC, &libtiff_fill_)) libtiff_fill_ = nullptr;
    return true;
  }

  void close_tiff() {
    if (tif_) TIFFClose(tif_);
    tif_ = nullptr;
  }

  static tmsize_t read_proc(thandle_t h, void* data, tmsize_t size) {
    auto* self = static_cast<G4Decoder*>(h);
    if (size <= 0 || self->file_pos_ >= self->file_.size()) return 0;
    size_t n = std::min<uint64_t>(uint64_t(size), self->file_.size() - self->file_pos_);
    std::memcpy(data, self->file_.data() + self->file_pos_, n);
    self->file_pos_ += n;
    return tmsize_t(n);
  }
  static tmsize_t write_proc(thandle_t, void*, tmsize_t) { return -1; }
  static toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
    auto* self = static_cast<G4Decoder*>(h);
    if (whence == SEEK_CUR)
      self->file_pos_ += offset;
    else if (whence == SEEK_END)
      self->file_pos_ = self->file_.size() + offset;
    else
      self->file_pos_ = offset;
    return self->file_pos_;
  }
  static int close_proc(thandle_t) { return 0; }
  static toff_t size_proc(thandle_t h) { return static_cast<G4Decoder*>(h)->file_.size(); }
  static int map_proc(thandle_t h, void** base, toff_t* size) {
    auto* self = static_cast<G4Decoder*>(h);
    *base = self->file_.data();
    *size = self->file_.size();
    return 1;
  }
  static void unmap_proc(thandle_t, void*, toff_t) {}

  int32_t width_;
  size_t row_bytes_;
  uint64_t max_row_code_;
  G4Callback callback_ = nullptr;
  void* context_ = nullptr;
  unsigned char* buffer_ = nullptr;
  std::vector<unsigned char> file_;  // directory, then every coded byte received
  uint64_t file_pos_ = 0;
  bool exhausted_ = false;           // the host has no more data
  TIFF* tif_ = nullptr;
  TiffMessages messages_;
  FillFunction libtiff_fill_ = nullptr;
  bool drawing_ = true;
  std::vector<unsigned char> rows_[2];  // row r of the pass is in rows_[r & 1]
  uint64_t decoded_ = 0;                // rows decoded cleanly in this pass
  uint64_t handed_ = 0;                 // rows handed out
  bool ended_ = false;                  // this pass ended at end_row_
  bool final_ = false;                  // the strip ends at end_row_
  uint64_t end_row_ = 0;
  bool settle_known_ = false;  // an end was seen at settle_row_ with settle_data_ bytes
  uint64_t settle_row_ = 0;
  uint64_t settle_data_ = 0;
  uint64_t mark_scanned_ = 0;          // data bytes searched for the end code
  uint32_t mark_window_ = 0xFFFFFFFF;  // the last four of them (ones before the data)
  bool mark_found_ = false;
};

}  // namespace

G4Codec* make_decoder(int32_t width) {
  try {
    return new G4Decoder(width);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace qm::rvg4
