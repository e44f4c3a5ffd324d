// Per-open libtiff message handlers (tiff_glue.h): every error or warning of one open
// file is counted in its TiffMessages, and none reaches the process's global handlers
// or standard error.
#include "imaging/rvg4/tiff_glue.h"

#include <cstdarg>
#include <cstdio>

namespace qm::rvg4 {
namespace {

int on_message(TIFF*, void* user_data, const char* module, const char* fmt, va_list ap) {
  auto* messages = static_cast<TiffMessages*>(user_data);
  if (messages->count++ == 0) {
    char text[256];
    std::vsnprintf(text, sizeof text, fmt, ap);
    try {  // nothing may unwind through libtiff
      messages->first = std::string(module ? module : "") + ": " + text;
    } catch (...) {
      messages->first.clear();
    }
  }
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
