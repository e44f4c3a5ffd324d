// Lexicon expansion: with request value l "1" every word of the parsed keyword expression
// becomes an or-group of the terms that the lexicon LexDB (layout in lexicon_format.h)
// lists with it. Words are found in LexDB's index files with the search core's word
// searches (searcher/database_search.h); a word counts only where it is a whole entry
// of a line. With the category filter (c "1") a group keeps the terms whose mask shares
// a bit with the matched entry's mask.
//
// The open lexicon is one Lexicon; the flat lexicon_* functions work on one process-wide
// instance (lexicon_reset() gives tests a fresh one). A missing, incomplete or damaged
// LexDB leaves the expression as it was and reports nothing.
//
// The request driver's keyword step: after query_parse, when l is "1",
//   expression = lexicon_expand_query(program_dir, parsed, options);
//   query_parse(expression);   // verdict not used
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "index/index_reader.h"
#include "searcher/lexicon/lexicon_format.h"
#include "searcher/search_options.h"

namespace qm {

using lexicon_format::LexiconEntry;

class Lexicon {
 public:
  // Opens program_dir's LexDB folder (found case-blind); false when it is missing,
  // incomplete or damaged (then nothing is open).
  bool open(const std::string& program_dir);
  // Opens a LexDB folder given by its own path (ending with "/").
  bool open_folder(const std::string& folder);
  void close();
  bool is_open() const { return set_.is_open(); }

  // The word's expansion, a "+"-separated term list: the terms of the one matching line
  // in line order, or of several (English: the search gave 2 hits or more; Chinese: 2
  // lines or more matched) in byte order without repeats; the word itself when the
  // lexicon has no entry that is the whole word.
  std::string expand_english(std::string_view word, const SearchOptions& options);
  std::string expand_chinese(std::string_view word, const SearchOptions& options);

  // The unscrambled line at a byte offset of fulltext.db, read within one block and
  // within the text (the key byte excluded); nothing when the offset lies outside.
  std::optional<std::string> read_line(uint32_t offset) const;

 private:
  bool validate() const;
  // Appends the group of the hit's line when the entry at entry_offset is the whole
  // word of word_bytes bytes; true when it was (an empty group appends no text).
  bool append_group(uint32_t line_offset, uint32_t entry_offset, size_t word_bytes,
                    bool category_filter, std::string& out) const;

  IndexFileSet set_;
  unsigned char key_ = 0;
};

Lexicon& lexicon();
void lexicon_reset();

// ---- The flat functions over the process-wide lexicon ----------------------------------
bool lexicon_open(const std::string& program_dir);
void lexicon_close();
std::string lexicon_expand_english(std::string_view word, const SearchOptions& options);
std::string lexicon_expand_chinese(std::string_view word, const SearchOptions& options);

// The expression with every word replaced by "(" + its expansion + ")"; operators are
// kept so that query_parse reads them back unchanged (the paragraph "and" is written as
// its input alias "~", since query_parse reads "&" as the document "and"). A word
// nested 10 groups deep stays bare (a further group would be dropped by the parser).
// Opens and closes the lexicon; without one the expression comes back unchanged.
std::string lexicon_expand_query(const std::string& program_dir, const std::string& expression,
                                 const SearchOptions& options);

// The terms of the line's entries, "+"-separated. With category_filter, only entries
// whose mask shares a bit with the mask of the entry at entry_offset.
std::string lexicon_group_terms(std::string_view line, size_t entry_offset, bool category_filter);

// Mask (decimal number before the first ",") and term (after it, up to LF, CR or "+",
// blanks trimmed); nothing for an entry without ",".
std::optional<LexiconEntry> lexicon_parse_entry(std::string_view entry);

// The "+"-separated terms sorted by unsigned byte value, repeats and empty terms dropped.
std::string terms_sort_unique(std::string_view terms);

}  // namespace qm
