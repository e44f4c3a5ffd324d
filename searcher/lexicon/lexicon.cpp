// Lexicon expansion (see lexicon.h). Reads LexDB through the index readers
// (index/index_reader.h) and finds words with the search core (database_search.h).
#include "searcher/lexicon/lexicon.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "common/strings.h"
#include "platform/le.h"
#include "platform/paths.h"
#include "searcher/database_search.h"
#include "searcher/query_parser.h"

namespace qm {
namespace lf = lexicon_format;
namespace fmt = index_format;

namespace {

// The options of a lexicon search: the request's flags and word-matching settings, but
// no paragraph filter (a lexicon "paragraph" is an entry offset) and no cache.
SearchOptions lexicon_search_options(const SearchOptions& options) {
  SearchOptions o = options;
  o.paragraphs.clear();
  o.cache_enabled = false;
  return o;
}

// True when the entry starting at (or containing) entry_offset holds a term of exactly
// word_bytes bytes: the byte after "," + the word is the line end, CR, LF or "+".
bool entry_is_whole_word(std::string_view line, size_t entry_offset, size_t word_bytes) {
  if (entry_offset >= line.size()) return false;
  size_t comma = entry_offset;
  while (comma < line.size() && line[comma] != lf::kMaskSeparator) {
    if (lf::ends_entry(line[comma])) return false;  // the entry has no ","
    ++comma;
  }
  if (comma >= line.size()) return false;
  size_t end = comma + 1 + word_bytes;
  if (end > line.size()) return false;
  return end == line.size() || lf::ends_entry(line[end]);
}

bool unsigned_less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

}  // namespace

// ---- Lexicon -------------------------------------------------------------------------

bool Lexicon::open(const std::string& program_dir) {
  return open_folder(path_find_case_blind(program_dir, lf::kFolderName) + "/");
}

bool Lexicon::open_folder(const std::string& folder) {
  close();
  if (!set_.open_lexicon(folder)) return false;
  if (!validate()) {
    close();
    return false;
  }
  std::string_view text = set_.file_bytes(IndexFile::Fulltext);
  key_ = static_cast<unsigned char>(text.back());
  return true;
}

void Lexicon::close() {
  set_.close();
  key_ = 0;
}

// Every list that the word searches may read must lie inside its file, so that a
// damaged LexDB is refused here instead of failing in the middle of a search.
bool Lexicon::validate() const {
  if (set_.file_bytes(IndexFile::Fulltext).empty()) return false;  // not even the key

  std::string_view chash = set_.file_bytes(IndexFile::CharHash);
  const uint64_t cindex_size = set_.file_bytes(IndexFile::CharIndex).size();
  if (chash.size() != fmt::kCharHashFileSize) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(chash.data());
  for (uint32_t slot = 0; slot < fmt::kCharSlots; ++slot, p += fmt::kCharHashRecordSize) {
    uint64_t count = le::get32(p), offset = le::get32(p + 4);
    if (count == 0) continue;
    if (offset % fmt::kPostingSize != 0 || offset + count * fmt::kPostingSize > cindex_size) return false;
  }

  std::string_view ehash = set_.file_bytes(IndexFile::WordHash);
  const uint64_t eindex_size = set_.file_bytes(IndexFile::WordIndex).size();
  uint64_t previous = 0;
  for (size_t at = 0; at + fmt::kWordHashRecordSize <= ehash.size(); at += fmt::kWordHashRecordSize) {
    uint64_t offset =
        le::get32(reinterpret_cast<const unsigned char*>(ehash.data()) + at + fmt::kWordTextSize);
    if (offset < previous || offset % fmt::kPostingSize != 0 || offset > eindex_size) return false;
    previous = offset;
  }
  return true;
}

std::optional<std::string> Lexicon::read_line(uint32_t offset) const {
  std::string_view text = set_.file_bytes(IndexFile::Fulltext);
  if (text.empty()) return std::nullopt;
  text.remove_suffix(1);  // the key byte
  if (offset >= text.size()) return std::nullopt;
  std::string_view block = text.substr(offset, lf::kLineBlock);
  std::string line;
  for (char c : block) {
    char plain = char(static_cast<unsigned char>(c) ^ key_);
    if (lf::is_line_end(plain)) break;
    line += plain;
  }
  return line;
}

bool Lexicon::append_group(uint32_t line_offset, uint32_t entry_offset, size_t word_bytes,
                           bool category_filter, std::string& out) const {
  std::optional<std::string> line = read_line(line_offset);
  if (!line || !entry_is_whole_word(*line, entry_offset, word_bytes)) return false;
  std::string group = lexicon_group_terms(*line, entry_offset, category_filter);
  if (group.empty()) return true;  // every term filtered out: the group counts, adds nothing
  if (!out.empty()) out += lf::kEntrySeparator;
  out += group;
  return true;
}

std::string Lexicon::expand_english(std::string_view word, const SearchOptions& options) {
  std::string out;
  if (is_open() && !word.empty()) {
    const SearchOptions o = lexicon_search_options(options);
    // Stored words are upper-case; so must be the key of the prefix table.
    std::string upper(word);
    string_upper_big5(upper);
    HitList hits = search_english_word(set_, 0, upper, o);
    const HitRecord* previous = nullptr;
    for (const HitRecord& hit : hits) {
      // Several words of one entry (a phrase) give one group.
      if (previous && previous->document == hit.document && previous->paragraph == hit.paragraph)
        continue;
      previous = &hit;
      append_group(hit.document, hit.paragraph, word.size(), o.flags.category_filter, out);
    }
    // A single hit gives its line's terms as the line lists them.
    if (hits.size() >= 2) out = terms_sort_unique(out);
  }
  return out.empty() ? std::string(word) : out;
}

std::string Lexicon::expand_chinese(std::string_view word, const SearchOptions& options) {
  std::string out;
  CharacterSlots slots;
  bool valid = !word.empty() && word.size() % 2 == 0;
  for (size_t i = 0; valid && i < word.size(); i += 2) {
    auto lead = static_cast<unsigned char>(word[i]), trail = static_cast<unsigned char>(word[i + 1]);
    valid = big5_is_pair(lead, trail);
    slots.push_back({fmt::char_code(lead, trail)});  // each character alone, no homophones
  }
  if (valid && is_open()) {
    const SearchOptions o = lexicon_search_options(options);
    HitList hits = search_chinese_word(set_, 0, slots, o);
    int groups = 0;
    for (const HitRecord& hit : hits) {
      if (hit.position != 0) continue;  // the term must begin with the word
      if (append_group(hit.document, hit.paragraph, word.size(), o.flags.category_filter, out))
        ++groups;
    }
    // A single group gives its line's terms as the line lists them.
    if (groups >= 2) out = terms_sort_unique(out);
  }
  return out.empty() ? std::string(word) : out;
}

// ---- The process-wide lexicon ----------------------------------------------------------

namespace {
std::unique_ptr<Lexicon>& lexicon_instance() {
  static std::unique_ptr<Lexicon> instance = std::make_unique<Lexicon>();
  return instance;
}
}  // namespace

Lexicon& lexicon() { return *lexicon_instance(); }
void lexicon_reset() { lexicon_instance() = std::make_unique<Lexicon>(); }

bool lexicon_open(const std::string& program_dir) { return lexicon().open(program_dir); }
void lexicon_close() { lexicon().close(); }

std::string lexicon_expand_english(std::string_view word, const SearchOptions& options) {
  return lexicon().expand_english(word, options);
}

std::string lexicon_expand_chinese(std::string_view word, const SearchOptions& options) {
  return lexicon().expand_chinese(word, options);
}

std::string lexicon_expand_query(const std::string& program_dir, const std::string& expression,
                                 const SearchOptions& options) {
  Lexicon& lex = lexicon();
  if (!lex.open(program_dir)) return expression;
  std::string out;
  out.reserve(expression.size() + 2048);
  int depth = 0;
  std::string token;
  for (const char* p = expression.c_str(); (p = query_next_word(p, token)) != nullptr;) {
    if (token.empty()) continue;
    const auto c0 = static_cast<unsigned char>(token[0]);
    const bool english = is_alnum_ascii(c0);
    const bool chinese = token.size() >= 2 && big5_is_pair(c0, static_cast<unsigned char>(token[1]));
    if (english || chinese) {
      if (depth >= kMaxQueryDepth) {
        out += token;  // a group here would be dropped by the parser
        continue;
      }
      out += '(';
      out += english ? lex.expand_english(token, options) : lex.expand_chinese(token, options);
      out += ')';
      continue;
    }
    if (token == "(") ++depth;
    if (token == ")" && depth > 0) --depth;
    // The parser reads "&" as the document "and"; its alias "~" gives the paragraph "and".
    out += token == "&" ? std::string("~") : token;
  }
  lex.close();
  return out;
}

// ---- Line and term helpers -------------------------------------------------------------

std::string lexicon_group_terms(std::string_view line, size_t entry_offset, bool category_filter) {
  size_t start = std::min(entry_offset, line.size());
  while (start > 0 && !lf::ends_entry(line[start - 1])) --start;
  size_t end = start;
  while (end < line.size() && !lf::ends_entry(line[end])) ++end;
  std::optional<LexiconEntry> matched = lexicon_parse_entry(line.substr(start, end - start));
  const uint32_t mask = matched ? matched->mask : 0;

  std::string out;
  for (size_t i = 0; i <= line.size();) {
    size_t j = i;
    while (j < line.size() && !lf::ends_entry(line[j])) ++j;
    std::optional<LexiconEntry> entry = lexicon_parse_entry(line.substr(i, j - i));
    if (entry && !entry->term.empty() && (!category_filter || (entry->mask & mask) != 0)) {
      if (!out.empty()) out += lf::kEntrySeparator;
      out += entry->term;
    }
    i = j + 1;
  }
  return out;
}

std::optional<LexiconEntry> lexicon_parse_entry(std::string_view entry) {
  size_t comma = entry.find(lf::kMaskSeparator);
  if (comma == std::string_view::npos) return std::nullopt;
  LexiconEntry out;
  size_t i = 0;
  while (i < comma && entry[i] == ' ') ++i;
  uint64_t mask = 0;
  for (; i < comma && entry[i] >= '0' && entry[i] <= '9'; ++i)
    mask = std::min<uint64_t>(mask * 10 + uint64_t(entry[i] - '0'), UINT32_MAX);
  out.mask = uint32_t(mask);
  std::string_view term = entry.substr(comma + 1);
  size_t stop = 0;
  while (stop < term.size() && !lf::ends_entry(term[stop])) ++stop;
  out.term.assign(term.substr(0, stop));
  string_trim(out.term, " \t");
  return out;
}

std::string terms_sort_unique(std::string_view terms) {
  std::vector<std::string> list;
  for (size_t i = 0; i <= terms.size();) {
    size_t j = terms.find(lf::kEntrySeparator, i);
    if (j == std::string_view::npos) j = terms.size();
    if (j > i) list.emplace_back(terms.substr(i, j - i));
    i = j + 1;
  }
  std::sort(list.begin(), list.end(), unsigned_less);
  list.erase(std::unique(list.begin(), list.end()), list.end());
  std::string out;
  for (const std::string& t : list) {
    if (!out.empty()) out += lf::kEntrySeparator;
    out += t;
  }
  return out;
}

}  // namespace qm
