// The options dialog's settings without Qt (see options_settings.h).
#include "desktop/options_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/config.h"
#include "common/ini.h"

namespace qm {
namespace {

constexpr uint32_t kGrid[kKeyColorCount] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xc0c0c0, 0xff0000, 0x00ff00, 0xffff00, 0x0000ff, 0xff00ff, 0x00ffff, 0xffffff};

constexpr const char* kSection = "VESPRIN";

bool is_ascii_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A grid index read back: the default when missing, empty or outside -1..15.
int index_value(const IniTree& tree, const char* key, int fallback, int low, int high) {
  const std::optional<std::string> v = tree.get(kSection, key);
  if (!v || v->empty()) return fallback;
  const int n = OptionsLeadingNumber(*v);
  return n < low || n > high ? fallback : n;
}

// Overwrites, inside [from, to) of view, each keyword occurrence: the `width` bytes after
// it take `value` (when not empty), else the keyword and those bytes become blanks.
void replace_after(std::string& view, size_t from, size_t to, std::string_view keyword,
                   std::string_view value, size_t width) {
  for (size_t at = view.find(keyword, from); at != std::string::npos && at < to;
       at = view.find(keyword, at + keyword.size())) {
    const size_t body = at + keyword.size();
    if (body + width > to) break;
    if (value.empty())
      std::fill(view.begin() + static_cast<long>(at), view.begin() + static_cast<long>(body + width), ' ');
    else
      view.replace(body, width, value.substr(0, width));
  }
}

}  // namespace

uint32_t KeyColorRgb(int index) {
  return index >= 0 && index < kKeyColorCount ? kGrid[index] : 0;
}

std::string KeyColorText(int index) {
  if (index < 0 || index >= kKeyColorCount) return {};
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%06x", static_cast<unsigned>(kGrid[index]));
  return buffer;
}

std::string MarkBeginText(const HighlightChoice& choice) {
  std::string text = "<FONT";
  const int size = 5 - choice.size_index;
  if (size != 0) text += " SIZE=" + std::to_string(size);
  if (choice.fg_index != -1) text += " COLOR=#" + KeyColorText(choice.fg_index);
  if (choice.bg_index != -1) text += " STYLE=BACKGROUND:#" + KeyColorText(choice.bg_index);
  return text + ">";
}

namespace {
// The six hexadecimal digits after keyword in text, as a grid index; -1 without the
// keyword; -2 for a colour outside the grid.
int grid_index_after(std::string_view text, std::string_view keyword) {
  const size_t at = text.find(keyword);
  if (at == std::string_view::npos) return -1;
  const std::string_view hex = text.substr(at + keyword.size(), 6);
  uint32_t rgb = 0;
  if (hex.size() != 6) return -2;
  for (char c : hex) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return -2;
    rgb = rgb * 16 + uint32_t(d);
  }
  for (int i = 0; i < kKeyColorCount; ++i)
    if (kGrid[i] == rgb) return i;
  return -2;
}
}  // namespace

HighlightChoice HighlightFromMarkText(std::string_view mark, HighlightChoice choice) {
  std::string upper(mark);
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  const size_t size_at = upper.find("SIZE=");
  choice.size_index = 5;
  if (size_at != std::string::npos && size_at + 5 < upper.size()) {
    const int n = upper[size_at + 5] - '0';
    if (n >= 1 && n <= 5) choice.size_index = 5 - n;
  }
  const int fg = grid_index_after(upper, "COLOR=#");
  if (fg != -2) choice.fg_index = fg;
  const int bg = grid_index_after(upper, "BACKGROUND:#");
  if (bg != -2) choice.bg_index = bg;
  return choice;
}

HighlightMarks HighlightMarksOf(const HighlightChoice& choice) {
  HighlightMarks m;
  const int size = 5 - choice.size_index;
  m.size = size != 0 ? size : -1;
  m.fg = KeyColorText(choice.fg_index);
  m.bg = KeyColorText(choice.bg_index);
  return m;
}

void ReapplyHighlight(std::string& view, const HighlightMarks& marks) {
  const std::string size_digit = marks.size < 0 ? std::string() : std::to_string(marks.size).substr(0, 1);
  for (size_t tag = view.find("<FONT"); tag != std::string::npos; tag = view.find("<FONT", tag + 1)) {
    const size_t after = tag + 5;
    if (after < view.size() && view[after] != ' ' && view[after] != '>') continue;  // <FONTX
    size_t end = view.find('>', after);
    if (end == std::string::npos) end = view.size();
    replace_after(view, after, end, "SIZE=", size_digit, 1);
    replace_after(view, after, end, "COLOR=#", marks.fg, 6);
    replace_after(view, after, end, "BACKGROUND:#", marks.bg, 6);
  }
}

bool OptionsExtOwnConverter(std::string_view ext) {
  static constexpr std::string_view kOwn[] = {"htm", "html", "doc", "xls", "ppt", "txt", "pgx", "pdf"};
  return std::find(std::begin(kOwn), std::end(kOwn), ext) != std::end(kOwn);
}

std::string OptionsExtNormalise(std::string_view edit) {
  std::string out(edit);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool OptionsExtAccept(const std::vector<std::string>& list, std::string_view ext) {
  if (ext.empty() || ext.size() > 5) return false;
  for (char c : ext)
    if (!is_ascii_alnum(static_cast<unsigned char>(c))) return false;
  if (OptionsExtOwnConverter(ext)) return false;
  return std::find(list.begin(), list.end(), ext) == list.end();
}

std::vector<std::string> OptionsExtRemove(const std::vector<std::string>& list,
                                          const std::vector<int>& selected) {
  std::vector<std::string> out;
  for (size_t i = 0; i < list.size(); ++i) {
    const bool chosen = std::find(selected.begin(), selected.end(), static_cast<int>(i)) != selected.end();
    if (i == 0 || !chosen) out.push_back(list[i]);
  }
  return out;
}

int OptionsLeadingNumber(std::string_view label) {
  size_t i = 0;
  while (i < label.size() && label[i] == ' ') ++i;
  bool negative = false;
  if (i < label.size() && (label[i] == '-' || label[i] == '+')) negative = label[i++] == '-';
  long long n = 0;
  for (int digits = 0; i < label.size() && label[i] >= '0' && label[i] <= '9' && digits < 9; ++i, ++digits)
    n = n * 10 + (label[i] - '0');
  return static_cast<int>(negative ? -n : n);
}

std::string OptionsPercentLabel(int position) { return std::to_string(position) + "%"; }

int OptionsResultCount(std::string_view value) {
  const int n = OptionsLeadingNumber(value);
  if (n < 10) return 50;
  return n > 100 ? 100 : n;
}

OptionsValues OptionsLoad(const std::string& config_path) {
  OptionsValues v;
  IniTree tree;
  tree.load(config_path);
  // Without the index keys the highlight in force is the one MarkBeginText writes (the
  // search engine's own when that is missing too).
  const HighlightChoice in_force = HighlightFromMarkText(
      tree.get(kSection, "MarkBeginText").value_or(kDefaultMarkBeginText), HighlightChoice{});
  v.highlight.fg_index = index_value(tree, "KeyColorIndex", in_force.fg_index, -1, kKeyColorCount - 1);
  v.highlight.bg_index = index_value(tree, "KeyColorBGIndex", in_force.bg_index, -1, kKeyColorCount - 1);
  v.highlight.size_index = index_value(tree, "KeySize", in_force.size_index, 0, 5);
  // "txt", then the stored items up to the first empty one.
  const std::string ext = tree.get(kSection, "TxtExtType").value_or(std::string());
  size_t start = 0;
  while (start < ext.size()) {
    const size_t comma = ext.find(',', start);
    const std::string item =
        ext.substr(start, (comma == std::string::npos ? ext.size() : comma) - start).substr(0, 1023);
    if (item.empty()) break;
    v.extensions.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  v.match_rate_label = tree.get(kSection, "MatchRate").value_or(std::string());
  v.precision_label = tree.get(kSection, "Precision").value_or(std::string());
  const std::string animate = tree.get(kSection, "IdxAnimate").value_or("0");
  v.idx_animate = !animate.empty() && animate[0] == '1';
  v.result_count = OptionsResultCount(tree.get(kSection, "ResultCount").value_or("50"));
  return v;
}

bool OptionsAutoIndex(const std::string& config_path, int database_id) {
  IniTree tree;
  tree.load(config_path);
  return tree.get("DB-" + std::to_string(database_id), "AutoIndex").value_or(std::string()) == "1";
}

HighlightMarks OptionsSave(const std::string& config_path, const OptionsValues& values, bool* saved) {
  bool all = true;
  bool readable = false;  // the file could be read before the first step
  // Loads the file, or starts it empty under its name; false when it could not be loaded.
  auto open = [&](IniTree& tree) {
    if (tree.load(config_path)) return true;
    tree.free();
    tree.set_file(config_path);
    return false;
  };
  {  // 1. The extensions after "txt".
    IniTree tree;
    readable = open(tree);
    std::string text;
    for (size_t i = 1; i < values.extensions.size(); ++i) {
      const std::string piece = (text.empty() ? "" : ",") + values.extensions[i];
      if (text.size() + piece.size() > 1023) break;
      text += piece;
    }
    tree.set(kSection, "TxtExtType", text);
    all = tree.save() && all;
  }
  if (!values.auto_index.empty()) {  // 2. AutoIndex of the listed databases.
    IniTree tree;
    open(tree);
    for (const auto& [id, on] : values.auto_index)
      tree.set("DB-" + std::to_string(id), "AutoIndex", on ? "1" : "0");
    all = tree.save() && all;
  }
  const HighlightMarks marks = HighlightMarksOf(values.highlight);
  {  // 3. The highlight.
    IniTree tree;
    open(tree);
    tree.set(kSection, "MarkBeginText", MarkBeginText(values.highlight));
    tree.set(kSection, "KeyColorIndex", std::to_string(values.highlight.fg_index));
    tree.set(kSection, "KeyColorBGIndex", std::to_string(values.highlight.bg_index));
    tree.set(kSection, "KeySize", std::to_string(values.highlight.size_index));
    all = tree.save() && all;
  }
  {  // 4. The other page, only into a file that could be read.
    IniTree tree;
    if (readable && tree.load(config_path)) {
      tree.set(kSection, "MatchRate", values.match_rate_label);
      tree.set(kSection, "Precision", values.precision_label);
      tree.set(kSection, "IdxAnimate", values.idx_animate ? "1" : "0");
      tree.set(kSection, "ResultCount", std::to_string(values.result_count));
      all = tree.save() && all;
    } else {
      all = false;
    }
  }
  if (saved) *saved = all;
  return marks;
}

}  // namespace qm
