// What both codecs need of libtiff around the coder itself: open options whose error
// and warning handlers belong to one open file (libtiff's global handlers stay the
// host's), and the record those handlers fill. Used by g4_encoder.cpp and
// g4_decoder.cpp.
#pragma once
#include <tiffio.h>

namespace qm::rvg4 {

// Errors and warnings libtiff gave for one open file since the last clear().
struct TiffMessages {
  int count = 0;
  void clear() { count = 0; }
};

// TIFFOpenOptions whose handlers write into messages and stop libtiff from passing the
// message on to any global handler. Owns the options.
class TiffOpenOptions {
 public:
  explicit TiffOpenOptions(TiffMessages& messages);
  ~TiffOpenOptions();
  TiffOpenOptions(const TiffOpenOptions&) = delete;
  TiffOpenOptions& operator=(const TiffOpenOptions&) = delete;
  TIFFOpenOptions* get() const { return options_; }

 private:
  TIFFOpenOptions* options_;
};

}  // namespace qm::rvg4
