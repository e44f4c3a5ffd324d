// The property filter of the advanced search: between the searcher's two runs it rewrites
// the keyword cache files of the request (searcher/keyword_cache.h), dropping the hits
// whose document fails the name mask, the date range or the size limit by its
// DocPropertyRecord (property_file.h).
//
// The words whose cache files are filtered are those of the term table the searcher
// builds for the request (searcher/query_parser.h, with the lexicon's expansion when the
// request asks for it), so every cache file the second run reads is filtered, whatever
// operators, groups or phrases the keywords hold. A document beyond property.db fails an
// active filter. Masks of any length compile whole. The name mask meets the file name of
// the document's full path: a path that property.db holds cut is read whole from the
// index (index/index_reader.h).
//
// Qt-free; called by the advanced search of the main window; tests in
// tests/property_filter_test.cpp (tables) and tests/property_searcher_test.cpp (with the
// real searcher).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/config.h"
#include "desktop/indexing/property_file.h"
#include "searcher/query_parser.h"

namespace qm {

// A compiled file-name mask: parts of a kind ('*', '?' or 0 for none) and a literal.
struct WildcardPart {
  char kind = 0;
  std::string literal;
};
struct WildcardPattern {
  std::vector<WildcardPart> parts;
};

// A run of '*' and '?' after a '*' is one '*' (so "*?x" and "**x" mean "*x"); a '?'
// takes exactly one byte.
WildcardPattern CompileWildcard(std::string_view mask);
// Whether name from part first on matches; ASCII letters compare case-blind, byte by byte.
bool MatchWildcard(std::string_view name, const WildcardPattern& pattern, size_t first = 0);
// "y/m/d" as the number yyyymmdd (the three numbers written "%04d%02d%02d"); numbers
// missing for want of a '/' are 0; each number is its leading decimal digits.
long long ParseDateText(std::string_view text);
// A record's date as the number of "%04d%02d%02d" over year, month and day.
long long RecordDateNumber(int32_t year, int32_t month, int32_t day);

struct PropertyFilterOptions {
  bool name_on = false, date_on = false, size_on = false;
  std::string name_mask;
  std::string from_date, to_date;
  int32_t size_limit = 0;  // kilobytes
  bool at_least = false;   // keep sizes >= limit; else <= limit

  bool any() const { return name_on || date_on || size_on; }
};

class PropertyFilter {
 public:
  // program_dir ends with "/": the configuration file there gives CacheDir (and the
  // settings of the lexicon expansion).
  explicit PropertyFilter(std::string program_dir);

  void SetFilterDirectories(const std::string& index_dir, const std::string& document_dir);
  void SetFilterKeywords(const std::string& keywords, int database_id);
  // The request's switches h, f, c and l, as the searcher reads them.
  void SetFilterExpansion(const QueryFlags& flags) { flags_ = flags; }
  void SetFilterOptions(const PropertyFilterOptions* options) { options_ = options; }

  // Filters the cache file of every word of the request for the set database; the
  // number of files rewritten.
  int FilterKeywordCaches();
  bool FilterCacheFile(const std::string& path);
  bool MatchProperties(uint32_t document);
  std::string CacheFileName(int database_id, std::string_view word);
  // The words of the request's term table, in order, each once.
  std::vector<std::string> FilterWords();

  bool LoadPropertyTable();
  const std::vector<DocPropertyRecord>& Table() const { return table_; }

 private:
  bool load_settings();
  void restore_cut_paths();

  std::string program_dir_;
  std::string index_dir_, document_dir_;
  std::string keywords_;
  int database_id_ = 0;
  QueryFlags flags_;
  const PropertyFilterOptions* options_ = nullptr;
  std::vector<DocPropertyRecord> table_;
  bool table_loaded_ = false;
  bool settings_loaded_ = false;
  SearchSettings settings_;
  WildcardPattern mask_;
  std::string mask_text_;
  bool mask_compiled_ = false;
  std::string range_from_text_, range_to_text_;
  long long range_from_ = 0, range_to_ = 0;
  bool range_parsed_ = false;
};

}  // namespace qm
