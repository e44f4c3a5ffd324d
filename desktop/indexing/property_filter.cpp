// The property filter over the searcher's keyword cache; see property_filter.h.
#include "desktop/indexing/property_filter.h"

#include <algorithm>
#include <cstdio>

#include "common/dbid.h"
#include "desktop/catalogue/catalogue.h"
#include "index/doc_property_format.h"
#include "index/index_reader.h"
#include "searcher/keyword_cache.h"
#include "searcher/lexicon/lexicon.h"
#include "searcher/search_options.h"

namespace qm {

namespace {

unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

bool same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The first occurrence of needle in hay at from or later; npos when none.
size_t find_blind(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.size() > hay.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i)
    if (same(hay.substr(i, needle.size()), needle)) return i;
  return std::string_view::npos;
}

// The leading decimal digits of text (blanks first), at most nine of them.
long long leading_number(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  long long n = 0;
  for (int digits = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 9; ++i, ++digits)
    n = n * 10 + (text[i] - '0');
  return n;
}

}  // namespace

WildcardPattern CompileWildcard(std::string_view mask) {
  WildcardPattern out;
  size_t i = 0;
  while (i < mask.size()) {
    WildcardPart part;
    if (mask[i] == '*') {
      part.kind = '*';
      ++i;
      while (i < mask.size() && (mask[i] == '*' || mask[i] == '?')) ++i;
    } else if (mask[i] == '?') {
      part.kind = '?';
      ++i;
    }
    const size_t end = mask.find_first_of("*?", i);
    const size_t stop = end == std::string_view::npos ? mask.size() : end;
    part.literal.assign(mask.substr(i, stop - i));
    i = stop;
    out.parts.push_back(std::move(part));
  }
  return out;
}

bool MatchWildcard(std::string_view s, const WildcardPattern& pattern, size_t d) {
  const size_t count = pattern.parts.size();
  if (d >= count) return s.empty();
  const WildcardPart& part = pattern.parts[d];
  const std::string_view literal = part.literal;
  const size_t n = literal.size();
  const bool last = d + 1 == count;
  switch (part.kind) {
    case '*': {
      if (n == 0) return true;
      if (last) return s.size() >= n && same(s.substr(s.size() - n), literal);
      for (size_t at = find_blind(s, literal, 0); at != std::string_view::npos; at = find_blind(s, literal, at + 1))
        if (MatchWildcard(s.substr(at + n), pattern, d + 1)) return true;
      return false;
    }
    case '?': {
      if (s.empty()) return false;
      s.remove_prefix(1);
      if (s.size() < n || !same(s.substr(0, n), literal)) return false;
      return MatchWildcard(s.substr(n), pattern, d + 1);
    }
    default:
      if (last) return same(s, literal);
      if (s.size() < n || !same(s.substr(0, n), literal)) return false;
      return MatchWildcard(s.substr(n), pattern, d + 1);
  }
}

long long ParseDateText(std::string_view text) {
  long long y = 0, m = 0, d = 0;
  const size_t first = text.find('/');
  if (first != std::string_view::npos) {
    y = leading_number(text.substr(0, first));
    const std::string_view rest = text.substr(first + 1);
    const size_t second = rest.find('/');
    if (second != std::string_view::npos) {
      m = leading_number(rest.substr(0, second));
      d = leading_number(rest.substr(second + 1));
    } else {
      m = leading_number(rest);
    }
  }
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04lld%02lld%02lld", y, m, d);
  return std::strtoll(buffer, nullptr, 10);
}

long long RecordDateNumber(int32_t year, int32_t month, int32_t day) {
  // The number "%04d%02d%02d" writes; plain arithmetic while every field fits its width.
  if (year >= 0 && year <= 9999 && month >= 0 && month <= 99 && day >= 0 && day <= 99)
    return year * 10000LL + month * 100LL + day;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", year, month, day);
  return std::strtoll(buffer, nullptr, 10);
}

PropertyFilter::PropertyFilter(std::string program_dir) : program_dir_(std::move(program_dir)) {}

void PropertyFilter::SetFilterDirectories(const std::string& index_dir, const std::string& document_dir) {
  index_dir_ = index_dir;
  document_dir_ = document_dir;
  table_.clear();
  table_loaded_ = false;
}

void PropertyFilter::SetFilterKeywords(const std::string& keywords, int database_id) {
  keywords_ = keywords;
  database_id_ = database_id;
}

bool PropertyFilter::load_settings() {
  if (settings_loaded_) return true;
  // The settings by the search engine's rules (the desktop's own reading leaves out the
  // cache keys), without any database.
  DatabaseCatalog catalogue(program_dir_);
  DatabaseIdSet none;
  none.add(0, true);
  Config config(none);
  std::string error;
  if (!config.load_for_build(catalogue.ConfigPath(), error)) return false;
  settings_ = config.settings;
  settings_loaded_ = true;
  return true;
}

std::string PropertyFilter::CacheFileName(int database_id, std::string_view word) {
  if (!load_settings() || settings_.CacheDir.empty()) return {};
  return keyword_cache_path(settings_.CacheDir, uint16_t(database_id), word, CacheKind::Plain, flags_);
}

std::vector<std::string> PropertyFilter::FilterWords() {
  std::vector<std::string> words;
  std::string expression = keywords_;
  if (expression.empty() || !query_parse(expression)) return words;
  if (flags_.lexicon && load_settings()) {
    const SearchOptions options = search_options_from_settings(settings_, flags_, "");
    expression = lexicon_expand_query(program_dir_, expression, options);
    query_parse(expression);
  }
  for (const QueryTerm& term : term_table_build(expression).terms)
    if (term.is_word() && std::find(words.begin(), words.end(), term.text) == words.end())
      words.push_back(term.text);
  return words;
}

bool PropertyFilter::LoadPropertyTable() {
  table_loaded_ = true;
  if (!qm::LoadPropertyTable(index_dir_, table_)) return false;
  restore_cut_paths();
  return true;
}

// property.db keeps a path cut to its field, which may cut off the file name the name
// mask is matched with: such a path is taken whole from the index it was built from,
// when the index's path still begins with the stored one.
void PropertyFilter::restore_cut_paths() {
  constexpr size_t kMaybeCut = doc_property_format::kPathSize - 2;  // a Big5 cut leaves 198
  std::vector<size_t> cut;
  for (size_t i = 0; i < table_.size(); ++i)
    if (table_[i].path.size() >= kMaybeCut) cut.push_back(i);
  if (cut.empty() || !index_check_files(index_dir_)) return;
  IndexFileSet set;
  if (!set.open(index_dir_, 0, false)) return;
  for (size_t i : cut) {
    if (i >= set.document_count()) break;
    std::string full = doc_property_path(set, uint32_t(i), document_dir_);
    if (full.size() > table_[i].path.size() && full.starts_with(table_[i].path)) table_[i].path = std::move(full);
  }
  set.close();
}

bool PropertyFilter::MatchProperties(uint32_t document) {
  if (!options_ || !options_->any()) return true;
  if (!table_loaded_) LoadPropertyTable();
  if (document >= table_.size()) return false;
  const DocPropertyRecord& r = table_[document];
  if (options_->name_on) {
    const size_t cut = r.path.find_last_of("/\\");
    const std::string_view name = cut == std::string::npos ? std::string_view(r.path)
                                                           : std::string_view(r.path).substr(cut + 1);
    if (!mask_compiled_ || mask_text_ != options_->name_mask) {
      mask_ = CompileWildcard(options_->name_mask);
      mask_text_ = options_->name_mask;
      mask_compiled_ = true;
    }
    if (!MatchWildcard(name, mask_, 0)) return false;
  }
  if (options_->date_on) {
    // The range is read once per pair of texts, not once per hit.
    if (!range_parsed_ || range_from_text_ != options_->from_date || range_to_text_ != options_->to_date) {
      range_from_text_ = options_->from_date;
      range_to_text_ = options_->to_date;
      range_from_ = ParseDateText(range_from_text_);
      range_to_ = ParseDateText(range_to_text_);
      range_parsed_ = true;
    }
    const long long date = RecordDateNumber(r.year, r.month, r.day);
    if (date < range_from_ || date > range_to_) return false;
  }
  if (options_->size_on) {
    if (options_->at_least ? r.size_kb < options_->size_limit : r.size_kb > options_->size_limit) return false;
  }
  return true;
}

bool PropertyFilter::FilterCacheFile(const std::string& path) {
  HitList hits;
  if (!keyword_cache_read(path, hits)) return false;
  HitList kept;
  kept.reserve(hits.size());
  for (const HitRecord& hit : hits)
    if (MatchProperties(hit.document)) kept.push_back(hit);
  return keyword_cache_write(path, kept);
}

int PropertyFilter::FilterKeywordCaches() {
  int rewritten = 0;
  LoadPropertyTable();
  for (const std::string& word : FilterWords()) {
    const std::string path = CacheFileName(database_id_, word);
    if (!path.empty() && FilterCacheFile(path)) ++rewritten;
  }
  return rewritten;
}

}  // namespace qm
