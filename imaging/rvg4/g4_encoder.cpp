// The Group 4 encoder codec (g4_codec.h) over libtiff. A write-mode TIFF of one strip
// (compression 4, min-is-white, most-significant-bit-first fill order) is opened over
// memory procedures: libtiff codes each row into the pipe's 4,096-byte buffer and
// flushes it through our write procedure whenever it is full, which hands it straight
// to the host. Only strip data passes; the TIFF header and directory that libtiff also
// writes are swallowed. Made by rvg4.cpp's encoder opener.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/rvg4/g4_codec.h"
#include "imaging/rvg4/tiff_glue.h"

namespace qm::rvg4 {
namespace {

// The end-of-facsimile-block code (two EOLs, 000000000001 twice) on its own: the whole
// stream of an empty strip.
constexpr unsigned char kEmptyStrip[] = {0x00, 0x10, 0x01};

class G4Encoder final : public G4Codec {
 public:
  explicit G4Encoder(int32_t width) : width_(width), row_((size_t(width) + 7) / 8) {}
  ~G4Encoder() override { close_tiff(); }

  void SetCallback(G4Callback callback, void* context) override {
    callback_ = callback;
    context_ = context;
  }
  void SetBuffer(unsigned char* data, int32_t size) override {
    buffer_ = data;
    buffer_size_ = size;
  }

  bool Reset() override {
    close_tiff();
    rows_ = 0;
    failed_ = false;
    passing_ = false;
    file_pos_ = file_size_ = 0;
    messages_.clear();
    if (!buffer_ || buffer_size_ <= 0 || !callback_) return false;
    TiffOpenOptions options(messages_);
    if (!options.get()) return false;
    // BigTIFF, so that a long strip never meets the 4 GB offset limit of classic TIFF.
    tif_ = TIFFClientOpenExt("G4", "w8", this, read_proc, write_proc, seek_proc, close_proc, size_proc,
                             map_proc, unmap_proc, options.get());
    if (!tif_) return false;
    bool ok = TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, uint32_t(width_)) &&
              TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, uint32_t(0)) &&
              TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, uint16_t(1)) &&
              TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1)) &&
              TIFFSetField(tif_, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4)) &&
              TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISWHITE)) &&
              TIFFSetField(tif_, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB)) &&
              TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG)) &&
              // One strip however many rows come: the image grows with each row written.
              TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, uint32_t(0xFFFFFFFF)) &&
              // The coder fills our buffer and flushes it whole, buffer_size_ bytes a time.
              TIFFWriteBufferSetup(tif_, buffer_, buffer_size_);
    if (!ok) close_tiff();
    return ok;
  }

  int32_t Process(unsigned char* rows, int32_t row_count, int32_t stride) override {
    if (!tif_ || failed_) return 0;
    int32_t done = 0;
    passing_ = true;
    for (; done < row_count; ++done) {
      if (rows_ == 0xFFFFFFFFu) break;  // the most rows a TIFF strip can count
      // libtiff wants a writable row; the caller's rows are read-only to us.
      std::memcpy(row_.data(), rows + size_t(done) * size_t(stride), row_.size());
      if (TIFFWriteScanline(tif_, row_.data(), rows_, 0) < 0 || failed_) {
        failed_ = true;
        break;
      }
      ++rows_;
    }
    passing_ = false;
    return done;
  }

  int32_t Finish() override {
    if (!tif_) return -1;
    int64_t before = handed_;
    if (!failed_) {
      passing_ = true;
      if (rows_ == 0) {
        // libtiff writes no code at all for a strip without rows.
        std::memcpy(buffer_, kEmptyStrip, sizeof kEmptyStrip);
        hand_over(buffer_, sizeof kEmptyStrip);
      } else if (!TIFFFlushData(tif_)) {  // the end-of-block code, then the rest
        failed_ = true;
      }
      passing_ = false;
    }
    close_tiff();
    return failed_ ? -1 : int32_t(handed_ - before);
  }

 private:
  void close_tiff() {
    if (!tif_) return;
    passing_ = false;  // the directory libtiff writes on closing is swallowed
    TIFFClose(tif_);
    tif_ = nullptr;
  }

  // Hands size bytes to the host; a host that takes fewer loses coded data.
  bool hand_over(unsigned char* data, int32_t size) {
    int32_t taken = callback_(context_, data, size);
    if (taken != size) {
      failed_ = true;
      return false;
    }
    handed_ += size;
    return true;
  }

  static tmsize_t read_proc(thandle_t, void*, tmsize_t) { return 0; }
  static tmsize_t write_proc(thandle_t h, void* data, tmsize_t size) {
    auto* self = static_cast<G4Encoder*>(h);
    if (size < 0) return -1;
    if (self->passing_ && size > 0) {
      if (self->failed_ || size > self->buffer_size_) return -1;
      if (!self->hand_over(static_cast<unsigned char*>(data), int32_t(size))) return -1;
    }
    self->file_pos_ += uint64_t(size);
    self->file_size_ = std::max(self->file_size_, self->file_pos_);
    return size;
  }
  static toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
    auto* self = static_cast<G4Encoder*>(h);
    if (whence == SEEK_CUR)
      self->file_pos_ += offset;
    else if (whence == SEEK_END)
      self->file_pos_ = self->file_size_ + offset;
    else
      self->file_pos_ = offset;
    return self->file_pos_;
  }
  static int close_proc(thandle_t) { return 0; }
  static toff_t size_proc(thandle_t h) { return static_cast<G4Encoder*>(h)->file_size_; }
  static int map_proc(thandle_t, void**, toff_t*) { return 0; }
  static void unmap_proc(thandle_t, void*, toff_t) {}

  int32_t width_;
  std::vector<unsigned char> row_;
  G4Callback callback_ = nullptr;
  void* context_ = nullptr;
  unsigned char* buffer_ = nullptr;
  int32_t buffer_size_ = 0;
  TIFF* tif_ = nullptr;
  TiffMessages messages_;
  uint32_t rows_ = 0;
  bool failed_ = false;
  bool passing_ = false;  // writes are strip data for the host (else TIFF structure)
  int64_t handed_ = 0;    // bytes the host has taken
  uint64_t file_pos_ = 0, file_size_ = 0;
};

}  // namespace

G4Codec* make_encoder(int32_t width) {
  try {
    return new G4Encoder(width);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace qm::rvg4
