// Message boxes of library code (see message_box.h), over dlsym.
#include "platform/message_box.h"

#include <dlfcn.h>

#include <cstdio>

namespace qm {

int message_box(const std::string& text, const std::string& caption, int style) {
  const auto handler = reinterpret_cast<MessageBoxHandler>(dlsym(RTLD_DEFAULT, kMessageBoxSymbol));
  if (handler != nullptr) return handler(text.c_str(), caption.c_str(), style);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return kBoxAnswerOk;
}

}  // namespace qm
