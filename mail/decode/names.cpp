// Safe attachment file names (see names.h).
#include "mail/decode/names.h"

#include "common/strings.h"
#include "mail/decode/header.h"

namespace qm::mail {

std::string safe_attachment_name(std::string_view name, std::string_view fallback, size_t max) {
  // The last component, walking Big5 pairs whole so a 0x5C trail byte is no separator.
  size_t start = 0;
  for (size_t i = 0; i < name.size();) {
    if (big5_char_len(name, i) == 2) {
      i += 2;
      continue;
    }
    const char c = name[i];
    if (c == '/' || c == '\\') start = i + 1;
    ++i;
  }
  std::string out(name.substr(start));
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '_';
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  if (out.empty() || out == "." || out == "..") out = std::string(fallback);
  if (out.size() <= max) return out;
  // Cut the stem, keep a short extension.
  const size_t dot = out.rfind('.');
  std::string_view extension;
  if (dot != std::string::npos && dot > 0 && out.size() - dot <= 16) extension = std::string_view(out).substr(dot);
  const std::string_view stem = std::string_view(out).substr(0, out.size() - extension.size());
  std::string cut(big5_cut(stem, max - extension.size()));
  cut += extension;
  return cut;
}

}  // namespace qm::mail
