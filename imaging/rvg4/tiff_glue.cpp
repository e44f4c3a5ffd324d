// Per-open libtiff message handlers (tiff_glue.h): every error or warning of one open
// file is counted in its TiffMessages (the codecs act on the count, not the text), and
// none reaches the process's global handlers or standard error.
#include "imaging/rvg4/tiff_glue.h"

#include <cstdarg>

namespace qm::rvg4 {
namespace {

int on_message(TIFF*, void* user_data, const char*, const char*, va_list) {
  ++static_cast<TiffMessages*>(user_data)->count;
  return 1;  // handled: libtiff calls no other handler
}

}  // namespace

TiffOpenOptions::TiffOpenOptions(TiffMessages& messages) : options_(TIFFOpenOptionsAlloc()) {
  if (!options_) return;
  TIFFOpenOptionsSetErrorHandlerExtR(options_, on_message, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options_, on_message, &messages);
}

TiffOpenOptions::~TiffOpenOptions() {
  if (options_) TIFFOpenOptionsFree(options_);
}

}  // namespace qm::rvg4
