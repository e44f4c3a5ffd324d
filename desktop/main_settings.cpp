// The main window's settings (see main_settings.h).
#include "desktop/main_settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/paths.h"

namespace qm {
namespace {

// Leading blanks, an optional sign and digits, as the configuration's numbers are read.
std::optional<int> number(const IniTree& tree, std::string_view section, std::string_view key) {
  std::optional<std::string> v = tree.get(section, key);
  if (!v) return std::nullopt;
  return std::atoi(v->c_str());
}

bool flag_shown(const IniTree& tree, std::string_view key) {
  std::optional<std::string> v = tree.get("SIZE", key);
  return !(v && *v == "0");
}

void load_or_start(IniTree& tree, const std::string& path) {
  if (!tree.load(path)) {
    tree.free();
    tree.set_file(path);
  }
}

}  // namespace

std::string desktop_config_path(const std::string& program_dir) {
  return path_find_case_blind(program_dir, "vesprin.ini");
}

bool desktop_config_readable(const std::string& program_dir) {
  IniTree tree;
  return tree.load(desktop_config_path(program_dir));
}

bool desktop_write_cache_dir(const std::string& program_dir) {
  IniTree tree;
  load_or_start(tree, desktop_config_path(program_dir));
  tree.set("VESPRIN", "CacheDir", program_dir + "Cache/");
  return tree.save();
}

bool desktop_lexicon_present(const std::string& program_dir) {
  std::string lexdb = path_find_case_blind(program_dir, "LexDB");
  std::string index = path_find_case_blind(lexdb, "cindex.db");
  struct stat st;
  return stat(index.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> history_read(const IniTree& tree) {
  std::vector<std::string> items;
  for (int i = 0;; ++i) {
    std::optional<std::string> v = tree.get("HISTORY", std::to_string(i));
    if (!v) break;
    items.push_back(*v);
  }
  return items;
}

void history_write(IniTree& tree, const std::vector<std::string>& items) {
  while (tree.delete_section("HISTORY")) {
  }
  for (size_t i = 0; i < items.size(); ++i) tree.set("HISTORY", std::to_string(i), items[i]);
}

WindowLayout layout_read(const IniTree& tree, int screen_width, int screen_height) {
  WindowLayout l;
  std::optional<std::string> max = tree.get("SIZE", "MAXIMIZED");
  l.maximized = max && *max == "1";
  l.width = number(tree, "SIZE", "Width").value_or(screen_width);
  if (l.width < 0 || l.width > screen_width) l.width = screen_width;
  l.height = number(tree, "SIZE", "Height").value_or(screen_height);
  if (l.height < 0 || l.height > screen_height) l.height = screen_height;
  l.left = number(tree, "SIZE", "Left").value_or(0);
  if (l.left > screen_width) l.left = screen_width - l.width;
  l.top = number(tree, "SIZE", "Top").value_or(0);
  if (l.top > screen_height) l.top = screen_height - l.height;
  l.tool = flag_shown(tree, "Tool");
  l.catalog = flag_shown(tree, "Catalog");
  l.preview = flag_shown(tree, "Preview");
  return l;
}

void layout_write(IniTree& tree, const WindowLayout& l) {
  tree.set("SIZE", "MAXIMIZED", l.maximized ? "1" : "0");
  tree.set("SIZE", "Width", std::to_string(l.width));
  tree.set("SIZE", "Height", std::to_string(l.height));
  tree.set("SIZE", "Left", std::to_string(l.left));
  tree.set("SIZE", "Top", std::to_string(l.top));
  tree.set("SIZE", "Tool", l.tool ? "1" : "0");
  tree.set("SIZE", "Catalog", l.catalog ? "1" : "0");
  tree.set("SIZE", "Preview", l.preview ? "1" : "0");
}

int pending_page_size(const IniTree& tree) {
  int n = number(tree, "VESPRIN", "ResultCount").value_or(100);
  return n < 10 ? 100 : n;
}

PageButtonTexts page_button_texts(int page_size) {
  PageButtonTexts t;
  const std::string size = std::to_string(page_size);
  t.last = load_text(text::kPagePrevious) + size + load_text(text::kPageUnit);
  t.next = load_text(text::kPageNext) + size + load_text(text::kPageUnit);
  t.last_hint = load_text(text::kPageHintBefore) + t.last + load_text(text::kPageHintAfter);
  t.next_hint = load_text(text::kPageHintBefore) + t.next + load_text(text::kPageHintAfter);
  return t;
}

int page_start_after(int start, int page_size, int hits, int direction) {
  if (page_size <= 0 || start < 1) return start;
  if (direction < 0) return start > 1 ? std::max(1, start - page_size) : start;
  return start + page_size <= hits ? start + page_size : start;
}

bool desktop_store_on_close(const std::string& program_dir,
                            const std::vector<std::string>& history, const WindowLayout& layout) {
  IniTree tree;
  load_or_start(tree, desktop_config_path(program_dir));
  history_write(tree, history);
  layout_write(tree, layout);
  return tree.save();
}

}  // namespace qm
