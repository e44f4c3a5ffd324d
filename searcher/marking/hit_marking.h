// Hit marking: finds where the search words of a query occur in a paragraph's HTML text
// and wraps each occurrence in the mark texts (MarkBeginText / MarkEndText), following the
// request's search mode (exact, fault-tolerant, homophone) for Big5 and English words
// alike, so the marks fall on what the search itself matched. Tags, comments, script
// blocks and character entities are stepped over and never marked.
//
// Works with langdata/homophone.h (the query's homophone slots, which also serve the
// fault-tolerant Chinese match), common/html.h (the markup scanner) and
// searcher/english_match.h (word_similarity, the English score).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "langdata/homophone.h"

namespace qm {

// At most this many spans are found in one text.
inline constexpr size_t kMaxHitSpans = 2000;
// A text word (a run of ASCII letters and digits) is compared by its first 20 bytes.
inline constexpr size_t kTextWordMax = 20;

// One occurrence: byte offset in the text and length in bytes. A match longer than an
// i16 length can hold (a word split by a huge tag) is not recorded.
struct HitSpan {
  uint32_t start = 0;
  int16_t length = 0;
  bool operator==(const HitSpan&) const = default;
};

// Score of two English words, 0..150 (identical words score 150).
using WordSimilarity = std::function<int(std::string_view, std::string_view)>;

// What the finder looks for.
struct HitQuery {
  // The word entries of the query's term table, in table order: English words and
  // phrases upper-cased (phrase words separated by blanks), Chinese words as Big5 text.
  // The Chinese words are numbered 0, 1, ... in this order; that number selects the
  // word's homophone slots.
  std::vector<std::string> words;
  bool fault_tolerant = false;  // request value f "1"
  bool homophone = false;       // request value h "1"
  // MatchRate setting; English words need this score with fault tolerance, 100 without.
  int match_rate = 70;
  // English similarity; empty: the search core's word_similarity.
  WordSimilarity similarity;
  // The query's homophone slots (built for the Chinese words of `words`, in order);
  // nullptr: the process-wide homophone_tables().
  const HomophoneTables* homophones = nullptr;
};

// The texts written around a marked run.
struct MarkTexts {
  std::string begin = "<FONT COLOR=#FF0000>";
  std::string end = "</FONT>";
};

// The number of a Chinese word's characters that a fault-tolerant match may miss, by the
// word's length in characters (0..10; longer words use the value for 10).
int hit_tolerance(size_t chars);

// The spans of the query's words in a zero-ended HTML text, in order of their start
// (several may share a start). With first_only the walk ends at the first span.
std::vector<HitSpan> hits_find(const HitQuery& query, const char* text, bool first_only);
inline std::vector<HitSpan> hits_find(const HitQuery& query, const std::string& text,
                                      bool first_only) {
  return hits_find(query, text.c_str(), first_only);
}

// Fault-tolerant match of Chinese word `number` (of `word`) at the start of the collected
// text: the word's characters (or their homophones) in order, up to the tolerance
// missing, other characters in between passed over. Gives the collected length up to and
// including the last matched character, 0 for no match. A word without homophone slots
// must stand at the start exactly.
size_t chinese_fuzzy_match(std::string_view collected, std::string_view word, int number,
                           const HomophoneTables& tables);

// Match of an English phrase (words separated by blanks; first_blank is the position of
// its first blank) at text position `text`, whose first text word is first_text_word:
// each phrase word must reach the match rate against the next text word, with only
// punctuation, full-width spaces and markup between text words (a Chinese character
// between them ends the match). Gives the length in bytes of the matched text, 0 for no
// match.
size_t english_phrase_match(const HitQuery& query, std::string_view phrase, size_t first_blank,
                            std::string_view first_text_word, const char* text);

// The text with every hit wrapped in the mark texts; overlapping or touching hits make
// one marked run. With wrap, "<BR>\n" breaks a line once it is longer than 70 columns, at
// a byte that is not an ASCII letter or digit and not inside a character reference or a
// tag of the text.
std::string hits_mark(const HitQuery& query, const char* text, bool wrap,
                      const MarkTexts& marks = {});
inline std::string hits_mark(const HitQuery& query, const std::string& text, bool wrap,
                             const MarkTexts& marks = {}) {
  return hits_mark(query, text.c_str(), wrap, marks);
}

}  // namespace qm
