// Path texts of the folder browser (see browse_text.h).
#include "desktop/mailfind/browse_text.h"

namespace qm {

int BreakApart(std::string_view text, std::string_view separator, std::vector<std::string>& list) {
  list.clear();
  if (separator.empty()) {
    list.emplace_back(text);
    return 1;
  }
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      list.emplace_back(text.substr(start));
      break;
    }
    list.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  return static_cast<int>(list.size());
}

namespace {
std::string join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += separator;
    out += parts[i];
  }
  return out;
}
}  // namespace

std::string CompressString(std::string_view text, std::string_view separator,
                           std::string_view replacement, int max_length) {
  if (max_length < 0 || text.size() <= static_cast<size_t>(max_length)) return std::string(text);
  std::vector<std::string> parts;
  if (BreakApart(text, separator, parts) <= 2) return std::string(text);
  parts[1] = std::string(replacement);
  std::string out = join(parts, separator);
  while (out.size() > static_cast<size_t>(max_length) && parts.size() > 3) {
    parts.erase(parts.begin() + 2);
    out = join(parts, separator);
  }
  return out;
}

}  // namespace qm
