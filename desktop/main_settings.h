// The main window's settings in vesprin.ini, without Qt: the search history (section
// HISTORY), the window layout (section SIZE), the pending page size (ResultCount), the
// cache directory written at start, the page-size button captions, and the checks made at
// start (configuration present, lexicon for near-concept search). Reads and writes the
// file through the common configuration engine (common/ini.h). Used by main_form.cpp.
#pragma once
#include <string>
#include <vector>

#include "common/ini.h"

namespace qm {

// The configuration file of a program directory (ending in "/"): vesprin.ini, or a file
// of that name in another case.
std::string desktop_config_path(const std::string& program_dir);
// True when the configuration file exists and holds something the engine can read.
bool desktop_config_readable(const std::string& program_dir);

// CacheDir := program_dir + "Cache/" in section VESPRIN (the file is loaded, or started
// empty under its name, then saved). false when it cannot be saved.
bool desktop_write_cache_dir(const std::string& program_dir);

// Near-concept search needs the lexicon's character index: LexDB/cindex.db under the
// program directory, each name matched case-blind.
bool desktop_lexicon_present(const std::string& program_dir);

// Section HISTORY: keys "0", "1", ... read in order up to the first missing one.
std::vector<std::string> history_read(const IniTree& tree);
// Replaces section HISTORY by the items as keys 0..n-1 (no section when there are none).
void history_write(IniTree& tree, const std::vector<std::string>& items);

struct WindowLayout {
  bool maximized = false;
  int width = 0, height = 0, left = 0, top = 0;
  bool tool = true, catalog = true, preview = true;
};
// Section SIZE as the window is shown on a screen of the given size: sizes missing,
// negative or larger than the screen become the screen's; a position beyond the screen
// is moved so the window ends at its edge; a panel is hidden only by "0".
WindowLayout layout_read(const IniTree& tree, int screen_width, int screen_height);
void layout_write(IniTree& tree, const WindowLayout& layout);

// ResultCount of VESPRIN: default 100, and 100 for a value below 10.
int pending_page_size(const IniTree& tree);

// Captions and hints of the two page-size buttons for a page size (UTF-8).
struct PageButtonTexts {
  std::string last, next, last_hint, next_hint;
};
PageButtonTexts page_button_texts(int page_size);

// The first row of the page the page-size buttons move to: direction -1 (spdbtnLast) or
// +1 (spdbtnNext) from the page starting at row start (1-based) of hits rows. The same
// start when there is no such page.
int page_start_after(int start, int page_size, int hits, int direction);

// The close-time store: loads the file (or starts it empty), writes HISTORY and SIZE,
// saves. false when the file cannot be saved.
bool desktop_store_on_close(const std::string& program_dir,
                            const std::vector<std::string>& history, const WindowLayout& layout);

}  // namespace qm
