// English word matching: the similarity of word signatures (index/word_signature.h), the
// postings of a query word (exact, or every similar index word when fuzzy) and of an
// English token of several words searched as a phrase whose words stand as close as the
// Precision setting demands. Reads ehash.db, esign.db, eindex.db and rehash.db through
// the index readers (index/index_reader.h); used by database_search.cpp and by hit
// marking (word_similarity).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "index/index_reader.h"
#include "index/word_signature.h"
#include "searcher/postings.h"

namespace qm {

// 100 x |a AND b| / |a OR b| (integer division); 0 when a OR b is 0.
int bits_similarity(uint32_t a, uint32_t b);

// Similarity of a query word's signature with an index word's, 0..150; identical words
// score 150.
int signature_score(const WordSignature& query, const WordSignature& word);

// signature_score of two texts.
int word_similarity(std::string_view a, std::string_view b);

// The words of a phrase may stand at most this many words apart: w > 0 the next words
// within w, w < 0 either order within -w, 0 anywhere in the paragraph.
int phrase_window(int precision);

// The index words English words matched in one open set, looked up once and reused by
// later searches of the same set (the runs of one database's search). Cleared when
// another set is searched.
class EnglishLookups {
 public:
  struct Found {
    bool complete = true;                              // false: a file failed on the way
    std::vector<std::pair<uint32_t, uint32_t>> lists;  // eindex.db offset and entry count
  };
  const Found* find(std::string_view word, bool fuzzy, int match_rate) const;
  void keep(std::string_view word, bool fuzzy, int match_rate, Found found);
  void clear() { found_.clear(); }

 private:
  std::map<std::tuple<std::string, bool, int>, Found, std::less<>> found_;
};

// Postings of one English word in the open set. The set's rehash.db gives the
// signatures of the words sharing the query's first two characters; without it the
// whole esign.db is scanned. Without fuzzy only the word itself (any letter case)
// matches; with fuzzy every word whose signature scores at least match_rate, their
// postings merged into one ordered list. Every posting is kept, however many there are.
// The word is cut to the 23 bytes the index keeps.
// postings_read, when given, counts the entries of the lists found in eindex.db.
// documents, when given, keeps the postings to those documents, read in place; range
// keeps them to a run of documents; lookups, when given, saves looking a word up again.
PostingList english_word_postings(IndexFileSet& set, std::string_view word, bool fuzzy, int match_rate,
                                  uint64_t* postings_read = nullptr, const DocumentSet* documents = nullptr,
                                  DocumentRange range = {}, EnglishLookups* lookups = nullptr);

// Postings of an English token of one or more words separated by blanks: for a phrase,
// the postings of its last word where every word follows the one before within the
// window of precision (phrase_window), in one paragraph.
PostingList english_phrase_postings(IndexFileSet& set, std::string_view text, bool fuzzy, int match_rate,
                                    int precision, uint64_t* postings_read = nullptr,
                                    const DocumentSet* documents = nullptr, DocumentRange range = {},
                                    EnglishLookups* lookups = nullptr);

// The postings of a token that is one English word matching one index word, viewed in
// place in eindex.db (valid until the set closes): the same entries as
// english_phrase_postings gives, without copying them. False when the token has several
// words or matches several index words, or a file fails: the caller then searches it the
// usual way. A list outside eindex.db is reported and gives an empty span.
bool english_lone_word_span(IndexFileSet& set, std::string_view text, bool fuzzy, int match_rate,
                            PostingSpan& out, uint64_t* postings_read = nullptr);

// The postings of the token's least frequent word before any join (0 without words): what
// its search costs, for searching the cheap words of a query first.
uint64_t english_phrase_size(IndexFileSet& set, std::string_view text, bool fuzzy, int match_rate,
                             EnglishLookups* lookups = nullptr);

}  // namespace qm
