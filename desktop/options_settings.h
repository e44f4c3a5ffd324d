// The options dialog's settings without Qt: the keyword highlight (a size entry and two
// colours of the 16-colour grid, composed into MarkBeginText), the extra plain-text
// extensions (TxtExtType), the English matching thresholds (MatchRate, Precision), the
// indexing animation (IdxAnimate), the page size (ResultCount) and the per-database
// AutoIndex switch, read from and written to section VESPRIN of vesprin.ini through the
// common configuration engine (common/ini.h). Also the main window's re-application of a
// new highlight to the brief views it already holds. Used by forms/options_form.cpp and
// main_form_options.cpp; tests in tests/options_settings_test.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

// The colour grid: 16 colours, index -1 for none.
inline constexpr int kKeyColorCount = 16;
// 0xRRGGBB of a grid index (0 for an index outside the grid).
uint32_t KeyColorRgb(int index);
// Six lower-case hexadecimal digits rrggbb; "" for -1 or an index outside the grid.
std::string KeyColorText(int index);

struct HighlightChoice {
  int fg_index = 9;     // red
  int bg_index = 15;    // white
  int size_index = 0;   // entry of the size list: 0 gives SIZE=5 ... 5 gives no size
};

// What the main window needs of a highlight: size -1 and an empty colour switch a part
// of the mark off.
struct HighlightMarks {
  int size = -1;
  std::string fg, bg;
  bool operator==(const HighlightMarks&) const = default;
};

// "<FONT[ SIZE=n][ COLOR=#rrggbb][ STYLE=BACKGROUND:#rrggbb]>".
std::string MarkBeginText(const HighlightChoice& choice);
HighlightMarks HighlightMarksOf(const HighlightChoice& choice);
// The choice a mark text stands for: SIZE=n gives entry 5 - n (no size: entry 5), COLOR=#
// and BACKGROUND:# the grid index of that colour, -1 when absent; a colour outside the
// grid keeps what choice held. Read when the configuration lacks the index keys, so the
// dialog opens on the highlight in force rather than on its own defaults.
HighlightChoice HighlightFromMarkText(std::string_view mark, HighlightChoice choice);

// Puts a new highlight into a brief view already fetched, inside its "<FONT" tags only:
// the digit after "SIZE=", the six characters after "COLOR=#" and after "BACKGROUND:#"
// take the new values, or become blanks when that part is off (6, 13 and 18 blanks with
// their keywords). The view keeps its length; text outside the tags is never touched.
void ReapplyHighlight(std::string& view, const HighlightMarks& marks);

// ---- Plain-text extensions ----
// The eight extensions read by converters of their own, refused in the list.
bool OptionsExtOwnConverter(std::string_view ext);
// The edit's text as added: ASCII letters lower-cased.
std::string OptionsExtNormalise(std::string_view edit);
// Whether a normalised extension may be appended: not empty, at most 5 bytes, only
// ASCII letters and digits, not listed yet, not one of the eight.
bool OptionsExtAccept(const std::vector<std::string>& list, std::string_view ext);
// The list without the selected entries ("txt", the first, always stays).
std::vector<std::string> OptionsExtRemove(const std::vector<std::string>& list,
                                          const std::vector<int>& selected);

// ---- The other page ----
// The leading decimal number of a label ("85%" gives 85, "-20%" gives -20), 0 for none.
int OptionsLeadingNumber(std::string_view label);
// A track bar's label: the position and "%".
std::string OptionsPercentLabel(int position);
// ResultCount as the spin shows it: 50 when missing, not a number or below 10, at most 100.
int OptionsResultCount(std::string_view value);

// Every value the dialog edits.
struct OptionsValues {
  HighlightChoice highlight;
  std::vector<std::string> extensions{"txt"};  // "txt" first
  std::string match_rate_label, precision_label;
  bool idx_animate = false;
  int result_count = 50;
  // (database id, AutoIndex on) of the databases listed on the hidden page; empty while
  // that page has never been shown.
  std::vector<std::pair<int, bool>> auto_index;
};

// Reads the values of the configuration file (defaults for what is missing).
OptionsValues OptionsLoad(const std::string& config_path);
// AutoIndex of a database (section DB-<id>): on only for "1".
bool OptionsAutoIndex(const std::string& config_path, int database_id);
// The four save steps, each loading, setting, saving and freeing the file: TxtExtType;
// AutoIndex of each listed database; MarkBeginText, KeyColorIndex, KeyColorBGIndex,
// KeySize; and, only when the file could be loaded, MatchRate, Precision, IdxAnimate,
// ResultCount. Gives the highlight written; saved tells whether every step was saved.
HighlightMarks OptionsSave(const std::string& config_path, const OptionsValues& values,
                           bool* saved = nullptr);

}  // namespace qm
