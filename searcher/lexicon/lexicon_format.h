// Layout of the lexicon folder LexDB (program directory + "LexDB/"): the term text and
// the meaning of its index files. Shared by the lexicon reader (lexicon.h) and the
// builder (lexicon_writer.h); the index files themselves have the layouts of
// index/index_format.h.
//
//   fulltext.db  the term text: one line per group of related terms, every byte of
//                every line (its LF included) XOR-ed with one key byte, which is stored
//                unscrambled as the file's last byte. A line is entries separated by
//                "+"; an entry is a decimal category mask, "," and the term (English or
//                Big5):  1,car+1,auto+1,automobile
//   chash.db,    the terms' Big5 characters and English words, as in a database, but
//   cindex.db,   a PostingEntry's document is the byte offset of the line in
//   ehash.db,    fulltext.db, its paragraph the byte offset of the entry within the
//   esign.db,    line, and its position: for a Big5 character its byte offset within
//   eindex.db    the term (0 for the term's first character); for an English word its
//   rehash.db    ordinal among the term's words (0, 1, ...). rehash.db is the prefix
//                table of ehash.db, read from this folder.
//
// A line is read in one block of kLineBlock bytes, so a line with its LF fits in it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::lexicon_format {

inline constexpr char kFolderName[] = "LexDB";
inline constexpr size_t kLineBlock = 2048;
inline constexpr size_t kMaxLineBytes = kLineBlock - 1;  // without the LF
inline constexpr char kEntrySeparator = '+';
inline constexpr char kMaskSeparator = ',';
inline constexpr unsigned char kDefaultKey = 0xA7;

// Bytes a term may not hold (outside Big5 pairs): the entry syntax and every operator
// of a keyword expression, aliases included, so an expanded group parses back as the
// terms it lists.
inline constexpr std::string_view kReservedBytes = "+,*-()&|!~";

constexpr bool is_line_end(char c) { return c == '\r' || c == '\n'; }
constexpr bool ends_entry(char c) { return c == kEntrySeparator || is_line_end(c); }

// Category masks of the lexicon that the build generates (a list of one's own may use
// any bits). English lines are WordNet synonym sets, every entry marked with the set's
// part of speech. Chinese lines are one character (marked with all its relations'
// bits) followed by its variant forms, each marked with its relation to it.
inline constexpr uint32_t kMaskNoun = 1;
inline constexpr uint32_t kMaskVerb = 2;
inline constexpr uint32_t kMaskAdjective = 4;
inline constexpr uint32_t kMaskAdverb = 8;
inline constexpr uint32_t kMaskGlyphVariant = 16;       // same character, another glyph
inline constexpr uint32_t kMaskSemanticVariant = 32;    // interchangeable in meaning
inline constexpr uint32_t kMaskSimplifiedPair = 64;     // traditional and simplified forms

// One entry of a line.
struct LexiconEntry {
  uint32_t mask = 0;
  std::string term;
  bool operator==(const LexiconEntry&) const = default;
};

// XOR of every byte with the key (scrambles and unscrambles alike).
inline void scramble(std::string& bytes, unsigned char key) {
  for (char& c : bytes) c = char(static_cast<unsigned char>(c) ^ key);
}

}  // namespace qm::lexicon_format
