// User-text tables (see texts.h).
#include "desktop/texts.h"

#include <cctype>

namespace qm {

void TextTable::clear() {
  texts_.clear();
  pictures_.clear();
  duplicates_ = 0;
  bad_lines_ = 0;
}

void TextTable::parse(std::string_view table) {
  clear();
  size_t pos = 0;
  while (pos < table.size()) {
    size_t end = table.find('\n', pos);
    if (end == std::string_view::npos) end = table.size();
    std::string_view line = table.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0) {
      ++bad_lines_;
      continue;
    }
    std::string_view key = line.substr(0, tab);
    std::string value(line.substr(tab + 1));
    bool digits = key.size() <= 9;
    for (char c : key) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (digits) {
      int id = std::stoi(std::string(key));
      if (!texts_.emplace(id, value).second) {
        ++duplicates_;
        texts_[id] = value;
      }
    } else if (key.substr(0, 4) == "IDB_") {
      std::string name(key);
      if (!pictures_.emplace(name, value).second) {
        ++duplicates_;
        pictures_[name] = value;
      }
    } else {
      ++bad_lines_;
    }
  }
}

const std::string& TextTable::text(int id) const {
  static const std::string none;
  auto it = texts_.find(id);
  return it == texts_.end() ? none : it->second;
}

const std::string& TextTable::picture(std::string_view name) const {
  static const std::string none;
  auto it = pictures_.find(name);
  return it == pictures_.end() ? none : it->second;
}

std::string texts_language_for(std::string_view locale_name) {
  auto starts = [&](std::string_view p) { return locale_name.substr(0, p.size()) == p; };
  if (starts("zh_TW") || starts("zh_HK") || starts("zh-TW") || starts("zh-HK") ||
      starts("zh_Hant") || starts("zh-Hant"))
    return "zh_TW";
  return "en";
}

TextTable& desktop_texts() {
  static TextTable table;
  return table;
}

const std::string& load_text(int id) { return desktop_texts().text(id); }

}  // namespace qm
