// Process-wide fatal sink; see fatal.h.
#include "platform/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace qm {
namespace {
FatalProfile g_profile = FatalProfile::Test;
FatalWriter g_writer;
}  // namespace

void fatal_set_profile(FatalProfile profile) { g_profile = profile; }
FatalProfile fatal_profile() { return g_profile; }
void fatal_set_writer(FatalWriter writer) { g_writer = std::move(writer); }

void fatal_reset() {
  g_profile = FatalProfile::Test;
  g_writer = nullptr;
}

void fatal(const std::string& message) {
  switch (g_profile) {
    case FatalProfile::Test:
      throw FatalError(message);
    case FatalProfile::Cgi:
      if (g_writer) {
        // A writer that fails must not keep the process alive.
        try {
          g_writer(message);
        } catch (...) {
        }
      } else {
        std::fputs(message.c_str(), stdout);
        std::fputc('\n', stdout);
      }
      std::fflush(stdout);
      std::exit(255);
  }
  throw FatalError(message);  // not reached: every profile ends above
}

}  // namespace qm
