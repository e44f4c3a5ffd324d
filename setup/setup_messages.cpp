// Messages of the setup helpers: the sink (standard error or the installer's handler)
// and the conversion of Big5 texts to the locale's charset through iconv.
// See setup_messages.h.
#include "setup/setup_messages.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qm {
namespace {
SetupMessageSink g_sink = nullptr;
}  // namespace

void setup_set_message_sink(SetupMessageSink sink) { g_sink = sink; }

std::string setup_format(std::string_view text, std::string_view argument) {
  std::string out(text);
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, argument);
  return out;
}

std::string setup_big5_to_locale(std::string_view text) {
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || !*codeset) return std::string(text);
  iconv_t cd = iconv_open(codeset, "CP950");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  std::string in(text);
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char chunk[256];
  bool ok = true;
  while (in_left > 0) {
    char* out_ptr = chunk;
    size_t out_left = sizeof chunk;
    size_t r = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    out.append(chunk, sizeof chunk - out_left);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  // A text the locale cannot show (Big5 in an ASCII locale) stays in Big5, as stored.
  return ok ? out : std::string(text);
}

void setup_message(std::string_view caption, std::string_view text) {
  std::string c(caption), t(text);
  if (g_sink) {
    g_sink(c.c_str(), t.c_str());
    return;
  }
  std::string line = setup_big5_to_locale(c) + ": " + setup_big5_to_locale(t) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace qm
