// The plain-text extension list (see plain_ext.h).
#include "desktop/plain_ext.h"

#include <algorithm>

namespace qm {

std::vector<std::string> PlainExtList(std::string_view text) {
  std::vector<std::string> list{"txt"};
  if (text.empty()) return list;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string_view piece = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    if (piece.empty()) break;
    list.emplace_back(piece.substr(0, kPlainExtTextMax));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return list;
}

std::string PlainExtNormalise(std::string_view edit) {
  std::string out(edit);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool PlainExtAccept(const std::vector<std::string>& list, std::string_view ext) {
  if (ext.empty()) return false;
  for (char c : ext) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!ok) return false;
  }
  static constexpr std::string_view kRefused[] = {"htm", "html", "doc", "xls", "ppt", "txt"};
  if (std::find(std::begin(kRefused), std::end(kRefused), ext) != std::end(kRefused)) return false;
  return std::find(list.begin(), list.end(), ext) == list.end();
}

std::string PlainExtText(const std::vector<std::string>& list) {
  std::string out;
  for (size_t i = 1; i < list.size(); ++i) {
    const size_t need = list[i].size() + (out.empty() ? 0 : 1);
    if (out.size() + need > kPlainExtTextMax) continue;
    if (!out.empty()) out += ',';
    out += list[i];
  }
  return out;
}

}  // namespace qm
