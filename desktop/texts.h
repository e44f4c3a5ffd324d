// The desktop's user texts: numbered texts and picture names read from a table of
// "id<TAB>text" lines (UTF-8; "#" lines are comments), one table per language, chosen by
// the locale (Chinese for zh_TW and zh_HK, else English). The tables are built into
// dist/quillmere.rcc (resources/); desktop/app.cpp loads the chosen one at start, the
// forms read texts by the numbers of text_ids.h. A number the table lacks gives "".
#pragma once
#include <map>
#include <string>
#include <string_view>

namespace qm {

class TextTable {
 public:
  // Replaces the table by the lines of a table file. Lines without a TAB, or whose key is
  // neither a number nor a picture name (IDB_...), are skipped and counted.
  void parse(std::string_view table);
  void clear();
  bool empty() const { return texts_.empty() && pictures_.empty(); }
  // The text of id (UTF-8), "" when the table lacks it.
  const std::string& text(int id) const;
  // The file name of a picture (IDB_WELCOME ...), "" when the table lacks it.
  const std::string& picture(std::string_view name) const;
  const std::map<int, std::string>& texts() const { return texts_; }
  const std::map<std::string, std::string, std::less<>>& pictures() const { return pictures_; }
  // Keys met more than once while parsing (the later line wins), and bad lines.
  int duplicates() const { return duplicates_; }
  int bad_lines() const { return bad_lines_; }

 private:
  std::map<int, std::string> texts_;
  std::map<std::string, std::string, std::less<>> pictures_;
  int duplicates_ = 0;
  int bad_lines_ = 0;
};

// "zh_TW" for a locale name of Traditional Chinese (zh_TW, zh_HK, zh-Hant...), else "en".
std::string texts_language_for(std::string_view locale_name);

// The process-wide table the forms read (empty until loaded).
TextTable& desktop_texts();
// Shorthand for desktop_texts().text(id).
const std::string& load_text(int id);

}  // namespace qm
